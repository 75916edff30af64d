#include "groups/udp_vars.hpp"

#include <cstring>

#include "common/sockfile.hpp"
#include "mib/general.hpp"
#include "mib/mig.hpp"
#include "mib/mis.hpp"

namespace {

constexpr std::uint8_t kUdpOid[] = {0x2B, 6, 1, 2, 1, 7};
constexpr int kUdpOidLength = sizeof kUdpOid;

void udpIndex(const UdpAddr& row, std::uint32_t* arcs) {
  idxAddressArcs(row.local, arcs);
  arcs[4] = row.localPort;
}

constexpr MitSchema<UdpAddr> kUdpAddrSchema{2,      5, get_udpaddr_info, udpIndex, udpaddrRetrieve,
                                            nullptr};
MitRows<UdpAddr, kUdpAddrSchema> udpaddrTable;

constexpr ValKind kCounter = ValKind::kCounter;

constexpr MigObject kUdpObjects[] = {
    migScalar(1, kCounter, "InDatagrams", 1),   // udpInDatagrams
    migScalar(2, kCounter, "NoPorts", 2),       // udpNoPorts
    migScalar(3, kCounter, "InErrors", 3),      // udpInErrors
    migScalar(4, kCounter, "OutDatagrams", 4),  // udpOutDatagrams
    migTable(5, &udpaddrTable),                 // udpTable
};

constexpr MigGroup kUdpGroup{kUdpOid, kUdpObjects,
                             "Udp:", "udpRetrieve() Error opening /proc/net/snmp\n"};
constexpr MixOps udpOps = GeneralOps(migGroupNext<kUdpGroup>, migGroupGet<kUdpGroup>);

}  // namespace

void get_udpaddr_info() {
  udpaddrTable.rebuild([](MitVector<UdpAddr>& rows) {
    sockfileRows("/proc/net/udp", [&rows](const SockLine& socket) {
      UdpAddr row;
      std::memcpy(row.local, socket.local, 4);
      row.localPort = socket.localPort;
      rows.push_back(row);
    });
  });
}

Asn udpaddrRetrieve(const UdpAddr& row, int column) {
  switch (column) {
    case 1:  // udpLocalAddress
      return valIpAddress(row.local);
    case 2:  // udpLocalPort
      return valUnsigned(row.localPort);
  }
  return nullptr;
}

int udpInit() {
  return misExport(kUdpOid, kUdpOidLength, &udpOps, nullptr);
}
