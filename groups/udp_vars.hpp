// The UDP group (1.3.6.1.2.1.7): the kernel's UDP counters and its listener table.
#pragma once

#include <cstdint>

#include "asn/asn.hpp"

int udpInit();  // registers the group; misExport's status

// A local endpoint of /proc/net/udp; a socket bound to every address is one row per
// addressed interface.
struct UdpAddr {
  std::uint8_t local[4];
  std::uint32_t localPort;
};
void get_udpaddr_info();  // re-reads the listener table
Asn udpaddrRetrieve(const UdpAddr& row, int column);
