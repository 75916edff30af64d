#include "groups/tcp_vars.hpp"

#include <cstring>

#include "common/sockfile.hpp"
#include "mib/general.hpp"
#include "mib/mig.hpp"
#include "mib/mis.hpp"

namespace {

constexpr std::uint8_t kTcpOid[] = {0x2B, 6, 1, 2, 1, 6};
constexpr int kTcpOidLength = sizeof kTcpOid;

// Kernel state number to tcpConnState; any other number is closed.
constexpr std::uint32_t kStates[] = {
    1,   // (none)
    5,   // established
    3,   // SYN sent: synSent
    4,   // SYN received: synReceived
    6,   // FIN wait 1: finWait1
    7,   // FIN wait 2: finWait2
    11,  // TIME wait: timeWait
    1,   // close: closed
    8,   // close wait: closeWait
    9,   // last ACK: lastAck
    2,   // listen
    10,  // closing
};

void tcpIndex(const TcpAddr& row, std::uint32_t* arcs) {
  idxAddressArcs(row.local, arcs);
  arcs[4] = row.localPort;
  idxAddressArcs(row.remote, arcs + 5);
  arcs[9] = row.remotePort;
}

constexpr MitSchema<TcpAddr> kTcpConnSchema{5,      10, get_tcpaddr_info, tcpIndex, tcpconnRetrieve,
                                            nullptr};
MitRows<TcpAddr, kTcpConnSchema> tcpconnTable;

constexpr ValKind kCounter = ValKind::kCounter;
constexpr ValKind kUnsigned = ValKind::kUnsigned;

// Positions are those of kernels whose line carries no InCsumErrors field.
constexpr MigObject kTcpObjects[] = {
    migScalar(1, kUnsigned, "RtoAlgorithm", 1),     // tcpRtoAlgorithm
    migScalar(2, kUnsigned, "RtoMin", 2),           // tcpRtoMin
    migScalar(3, kUnsigned, "RtoMax", 3),           // tcpRtoMax
    migScalar(4, ValKind::kInteger, "MaxConn", 4),  // tcpMaxConn: -1 is dynamic
    migScalar(5, kCounter, "ActiveOpens", 5),       // tcpActiveOpens
    migScalar(6, kCounter, "PassiveOpens", 6),      // tcpPassiveOpens
    migScalar(7, kCounter, "AttemptFails", 7),      // tcpAttemptFails
    migScalar(8, kCounter, "EstabResets", 8),       // tcpEstabResets
    migScalar(9, ValKind::kGauge, "CurrEstab", 9),  // tcpCurrEstab
    migScalar(10, kCounter, "InSegs", 10),          // tcpInSegs
    migScalar(11, kCounter, "OutSegs", 11),         // tcpOutSegs
    migScalar(12, kCounter, "RetransSegs", 12),     // tcpRetransSegs
    migTable(13, &tcpconnTable),                    // tcpConnTable
    migScalar(14, kCounter, "InErrs", 13),          // tcpInErrs
    migScalar(15, kCounter, "OutRsts", 14),         // tcpOutRsts
};

constexpr MigGroup kTcpGroup{kTcpOid, kTcpObjects,
                             "Tcp:", "tcpRetrieve() Error opening /proc/net/snmp\n"};
constexpr MixOps tcpOps = GeneralOps(migGroupNext<kTcpGroup>, migGroupGet<kTcpGroup>);

}  // namespace

void get_tcpaddr_info() {
  tcpconnTable.rebuild([](MitVector<TcpAddr>& rows) {
    sockfileRows("/proc/net/tcp", [&rows](const SockLine& socket) {
      TcpAddr row;
      std::memcpy(row.local, socket.local, 4);
      row.localPort = socket.localPort;
      std::memcpy(row.remote, socket.remote, 4);
      row.remotePort = socket.remotePort;
      row.state = socket.state < std::size(kStates) ? kStates[socket.state] : 1;
      rows.push_back(row);
    });
  });
}

Asn tcpconnRetrieve(const TcpAddr& row, int column) {
  switch (column) {
    case 1:  // tcpConnState
      return valUnsigned(row.state);
    case 2:  // tcpConnLocalAddress
      return valIpAddress(row.local);
    case 3:  // tcpConnLocalPort
      return valUnsigned(row.localPort);
    case 4:  // tcpConnRemAddress
      return valIpAddress(row.remote);
    case 5:  // tcpConnRemPort
      return valUnsigned(row.remotePort);
  }
  return nullptr;
}

int tcpInit() {
  return misExport(kTcpOid, kTcpOidLength, &tcpOps, nullptr);
}
