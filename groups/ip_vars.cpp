#include "groups/ip_vars.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>

#include "common/ifq.hpp"
#include "common/sysfile.hpp"
#include "mib/general.hpp"
#include "mib/mig.hpp"
#include "mib/mis.hpp"

namespace {

constexpr std::uint8_t kIpOid[] = {0x2B, 6, 1, 2, 1, 4};
constexpr int kIpOidLength = sizeof kIpOid;

std::array<IpInfo, kIfqInterfaces> ipinfo{};

void addressIndex(const IpInfo& row, std::uint32_t* arcs) {
  idxAddressArcs(row.address, arcs);
}

void netIndex(const IpInfo& row, std::uint32_t* arcs) {
  arcs[0] = row.number;
  idxAddressArcs(row.address, arcs + 1);
}

// Net-to-media rows are found by their address alone, the first in interface order.
const IpInfo* findNet(std::span<const IpInfo> rows, const std::uint32_t* arcs, int n) {
  std::uint8_t address[4];
  if (n < 1 || !idxAddress(arcs + 1, n - 1, address)) return nullptr;
  for (const IpInfo& row : rows) {
    if (std::memcmp(row.address, address, 4) == 0) return &row;
  }
  return nullptr;
}

void routeIndex(const IpRoute& row, std::uint32_t* arcs) {
  idxAddressArcs(row.destination, arcs);
}

constexpr MitSchema<IpInfo> kIpAddrSchema{5,      4, get_ip_addr_info, addressIndex, ipaddrRetrieve,
                                          nullptr};
constexpr MitSchema<IpInfo> kIpNetSchema{4, 5, get_ip_addr_info, netIndex, ipnetRetrieve, findNet};
constexpr MitSchema<IpRoute> kIpRouteSchema{
    13, 4, get_iproute_info, routeIndex, iprouteRetrieve, nullptr};

MitRows<IpInfo, kIpAddrSchema> ipaddrTable;
MitRows<IpInfo, kIpNetSchema> ipnetTable;
MitRows<IpRoute, kIpRouteSchema> iprouteTable;

constexpr ValKind kCounter = ValKind::kCounter;
constexpr ValKind kInteger = ValKind::kUnsigned;  // the kernel's settings are never negative

constexpr MigObject kIpObjects[] = {
    migScalar(1, kInteger, "Forwarding", 1),       // ipForwarding
    migScalar(2, kInteger, "DefaultTTL", 2),       // ipDefaultTTL
    migScalar(3, kCounter, "InReceives", 3),       // ipInReceives
    migScalar(4, kCounter, "InHdrErrors", 4),      // ipInHdrErrors
    migScalar(5, kCounter, "InAddrErrors", 5),     // ipInAddrErrors
    migScalar(6, kCounter, "ForwDatagrams", 6),    // ipForwDatagrams
    migScalar(7, kCounter, "InUnknownProtos", 7),  // ipInUnknownProtos
    migScalar(8, kCounter, "InDiscards", 8),       // ipInDiscards
    migScalar(9, kCounter, "InDelivers", 9),       // ipInDelivers
    migScalar(10, kCounter, "OutRequests", 10),    // ipOutRequests
    migScalar(11, kCounter, "OutDiscards", 11),    // ipOutDiscards
    migScalar(12, kCounter, "OutNoRoutes", 12),    // ipOutNoRoutes
    migScalar(13, kInteger, "ReasmTimeout", 13),   // ipReasmTimeout
    migScalar(14, kCounter, "ReasmReqds", 14),     // ipReasmReqds
    migScalar(15, kCounter, "ReasmOKs", 15),       // ipReasmOKs
    migScalar(16, kCounter, "ReasmFails", 16),     // ipReasmFails
    migScalar(17, kCounter, "FragOKs", 17),        // ipFragOKs
    migScalar(18, kCounter, "FragFails", 18),      // ipFragFails
    migScalar(19, kCounter, "FragCreates", 19),    // ipFragCreates
    migTable(20, &ipaddrTable),                    // ipAddrTable
    migTable(21, &iprouteTable),                   // ipRouteTable
    migTable(22, &ipnetTable),                     // ipNetToMediaTable
    migConstant(23, kInteger, 0),                  // ipRoutingDiscards
};

constexpr MigGroup kIpGroup{kIpOid, kIpObjects,
                            "Ip:", "ipRetrieve() Error opening /proc/net/snmp\n"};
constexpr MixOps ipOps = GeneralOps(migGroupNext<kIpGroup>, migGroupGet<kIpGroup>);

// One line of /proc/net/route, or false for the header and malformed lines.
bool parseRoute(std::string_view line, IpRoute* route) {
  char text[SysLines::kLineMax + 1];
  std::memcpy(text, line.data(), line.size());
  text[line.size()] = '\0';
  char name[32];
  unsigned destination, gateway, flags, use, mask, window, irtt;
  int references, metric, mtu;
  if (std::sscanf(text, "%31s\t%08X\t%08X\t%04X\t%d\t%u\t%d\t%08X\t%d\t%u\t%u", name, &destination,
                  &gateway, &flags, &references, &use, &metric, &mask, &mtu, &window,
                  &irtt) != 11) {
    return false;
  }
  // Whole names only: "eth0:1" is an alias, not eth0.
  const std::string_view interface(name);
  if (interface == kIfqNames[0]) {
    route->number = 1;
  } else if (interface == kIfqNames[1]) {
    route->number = 2;
  } else {
    return false;
  }
  // The kernel prints each address as the word it holds in memory: network order.
  std::memcpy(route->destination, &destination, 4);
  if (gateway != 0) {
    std::memcpy(route->nextHop, &gateway, 4);
  } else {
    std::memcpy(route->nextHop, ipinfo[route->number - 1].address, 4);
  }
  std::memcpy(route->mask, &mask, 4);
  route->metric = metric;
  route->mtu = mtu;
  return true;
}

}  // namespace

void get_ip_addr_info() {
  ipinfo = {};
  IfqSocket socket;
  for (int i = 0; i < kIfqInterfaces; ++i) {
    IpInfo& row = ipinfo[i];
    row.number = static_cast<std::uint8_t>(i + 1);
    if (!socket.valid()) continue;
    socket.address(kIfqNames[i], row.address);
    socket.netmask(kIfqNames[i], row.netmask);
    socket.hardware(kIfqNames[i], row.hardware);
  }
  auto fill = [](MitVector<IpInfo>& rows) { rows.assign(ipinfo.begin(), ipinfo.end()); };
  ipaddrTable.rebuild(fill);
  ipnetTable.rebuild(fill);
}

Asn ipaddrRetrieve(const IpInfo& row, int column) {
  switch (column) {
    case 1:  // ipAdEntAddr
      return valIpAddress(row.address);
    case 2:  // ipAdEntIfIndex
      return valUnsigned(row.number);
    case 3:  // ipAdEntNetMask
      return valIpAddress(row.netmask);
    case 4:  // ipAdEntBcastAddr
      return valUnsigned(1);
    case 5:  // ipAdEntReasmMaxSize
      return valUnsigned(65535);
  }
  return nullptr;
}

Asn ipnetRetrieve(const IpInfo& row, int column) {
  switch (column) {
    case 1:  // ipNetToMediaIfIndex
      return valUnsigned(row.number);
    case 2:  // ipNetToMediaPhysAddress
      return valOctets(row.hardware, sizeof row.hardware);
    case 3:  // ipNetToMediaNetAddress
      return valIpAddress(row.address);
    case 4:  // ipNetToMediaType: static
      return valUnsigned(4);
  }
  return nullptr;
}

void get_iproute_info() {
  get_ip_addr_info();  // the next hop of connected routes is the interface's address
  iprouteTable.rebuild([](MitVector<IpRoute>& rows) {
    SysLines lines("/proc/net/route");
    IpRoute route;
    for (std::string_view line; lines.next(&line);) {
      if (parseRoute(line, &route)) rows.push_back(route);
    }
  });
}

Asn iprouteRetrieve(const IpRoute& row, int column) {
  static constexpr std::uint8_t kNullOid[] = {0x00};  // 0.0
  switch (column) {
    case 1:  // ipRouteDest
      return valIpAddress(row.destination);
    case 2:  // ipRouteIfIndex
      return valUnsigned(row.number);
    case 3:  // ipRouteMetric1
      return valUnsigned(static_cast<std::uint32_t>(row.metric));
    case 4:   // ipRouteMetric2
    case 5:   // ipRouteMetric3
    case 6:   // ipRouteMetric4
    case 12:  // ipRouteMetric5
      return valInteger(-1);
    case 7:  // ipRouteNextHop
      return valIpAddress(row.nextHop);
    case 8:  // ipRouteType
      return valUnsigned(3);
    case 9:  // ipRouteProto
      return valUnsigned(2);
    case 10:  // ipRouteAge: the kernel's MTU field
      return valUnsigned(static_cast<std::uint32_t>(row.mtu));
    case 11:  // ipRouteMask
      return valIpAddress(row.mask);
    case 13:  // ipRouteInfo
      return valObjectId(kNullOid, sizeof kNullOid);
  }
  return nullptr;
}

int ipInit() {
  return misExport(kIpOid, kIpOidLength, &ipOps, nullptr);
}
