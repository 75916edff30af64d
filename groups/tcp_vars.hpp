// The TCP group (1.3.6.1.2.1.6): the kernel's TCP counters and its connection table.
#pragma once

#include <cstdint>

#include "asn/asn.hpp"

int tcpInit();  // registers the group; misExport's status

// A connection of /proc/net/tcp; a socket bound to every address is one row per
// addressed interface.
struct TcpAddr {
  std::uint8_t local[4];
  std::uint32_t localPort;
  std::uint8_t remote[4];
  std::uint32_t remotePort;
  std::uint32_t state;  // tcpConnState
};
void get_tcpaddr_info();  // re-reads the connection table
Asn tcpconnRetrieve(const TcpAddr& row, int column);
