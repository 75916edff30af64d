// The IP group (1.3.6.1.2.1.4): the kernel's IP counters, and the address, route and
// net-to-media tables of the agent's own Ethernet interfaces.
#pragma once

#include <cstdint>

#include "asn/asn.hpp"

int ipInit();  // registers the group; misExport's status

// The interfaces as last queried, in interface-number order.
struct IpInfo {
  std::uint8_t address[4];
  std::uint8_t netmask[4];
  std::uint8_t hardware[6];
  std::uint8_t number;  // ifIndex
};
void get_ip_addr_info();  // re-queries the interfaces
Asn ipaddrRetrieve(const IpInfo& row, int column);
Asn ipnetRetrieve(const IpInfo& row, int column);

// A route of /proc/net/route on eth0 or eth1.
struct IpRoute {
  std::uint8_t destination[4];  // the row's index
  std::uint8_t nextHop[4];      // the gateway, or the interface's own address
  std::int32_t metric;
  std::uint8_t mask[4];
  std::int32_t mtu;
  std::uint32_t number;  // ifIndex
};
void get_iproute_info();  // re-reads the route table
Asn iprouteRetrieve(const IpRoute& row, int column);
