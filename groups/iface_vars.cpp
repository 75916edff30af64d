#include "groups/iface_vars.hpp"

#include <array>
#include <cstdio>
#include <string_view>

#include "common/counterline.hpp"
#include "common/ifq.hpp"
#include "common/sysfile.hpp"
#include "groups/kyrel_vars.hpp"
#include "mib/general.hpp"
#include "mib/mis.hpp"
#include "mib/mit.hpp"
#include "mib/miv.hpp"
#include "mib/val.hpp"

namespace {

constexpr std::uint8_t kIfNumber[] = {0x2B, 6, 1, 2, 1, 2, 1};
constexpr std::uint8_t kIfEntry[] = {0x2B, 6, 1, 2, 1, 2, 2, 1};
constexpr int kIfEntryLength = sizeof kIfEntry;

constexpr std::uint32_t kEthernetSpeed = 100000000;
constexpr int kDevNumbers = 16;  // a /proc/net/dev line's receive and transmit numbers
constexpr int kUp = 0x01, kRunning = 0x40;

// Where a cell's value comes from. Ethernet rows read /proc/net/dev for the first sixteen
// and query the interface for the next five; serial rows read the port's status line.
enum IfaceSource : std::uint8_t {
  kRxBytes,  // /proc/net/dev, in the kernel's order
  kRxPackets,
  kRxErrors,
  kRxDrops,
  kRxFifo,
  kRxFrame,
  kRxCompressed,
  kRxMulticast,
  kTxBytes,
  kTxPackets,
  kTxErrors,
  kTxDrops,
  kTxFifo,
  kTxCollisions,
  kTxCarrier,
  kTxCompressed,
  kMtu,  // the interface queries
  kTxQueue,
  kAdmin,
  kOper,
  kPhysAddress,
  kSpeed,  // fixed for Ethernet, the status line's for a serial port
  kIndex,  // fixed by the index
  kType,
  kZero,
  kDescr,
  kSpecific,
  kSources
};

struct IfaceColumn {
  ValKind kind;  // a number's type
  IfaceSource source;
};

constexpr IfaceColumn kIfaceColumns[] = {
    {ValKind::kUnsigned, kIndex},        // ifIndex
    {ValKind::kUnsigned, kDescr},        // ifDescr
    {ValKind::kUnsigned, kType},         // ifType
    {ValKind::kUnsigned, kMtu},          // ifMtu
    {ValKind::kGauge, kSpeed},           // ifSpeed
    {ValKind::kUnsigned, kPhysAddress},  // ifPhysAddress
    {ValKind::kUnsigned, kAdmin},        // ifAdminStatus: the running flag
    {ValKind::kUnsigned, kOper},         // ifOperStatus: the up flag
    {ValKind::kTimeTicks, kZero},        // ifLastChange
    {ValKind::kCounter, kRxBytes},       // ifInOctets
    {ValKind::kCounter, kRxPackets},     // ifInUcastPkts
    {ValKind::kCounter, kZero},          // ifInNUcastPkts
    {ValKind::kCounter, kRxDrops},       // ifInDiscards
    {ValKind::kCounter, kRxErrors},      // ifInErrors
    {ValKind::kCounter, kZero},          // ifInUnknownProtos
    {ValKind::kCounter, kTxBytes},       // ifOutOctets
    {ValKind::kCounter, kTxPackets},     // ifOutUcastPkts
    {ValKind::kCounter, kZero},          // ifOutNUcastPkts
    {ValKind::kCounter, kTxDrops},       // ifOutDiscards
    {ValKind::kCounter, kTxErrors},      // ifOutErrors
    {ValKind::kGauge, kTxQueue},         // ifOutQLen
    {ValKind::kUnsigned, kSpecific},     // ifSpecific
};
constexpr int kIfaceColumnCount = sizeof kIfaceColumns / sizeof kIfaceColumns[0];

// One interface as a cell sees it; what the cell's source does not need stays 0.
struct IfaceStats {
  std::array<std::uint32_t, kSources> number{};
  std::uint8_t hardware[6] = {};
  int flags = 0;
};

std::int32_t ifaceNumberInt = kIfqInterfaces;

std::string_view trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Only the line whose name before the colon is exactly the interface's supplies its numbers
// ("veth1:" and "eth10:" are not eth1's), and they start right after the colon: the kernel
// glues a wide first number to it. A line that yields fewer than sixteen leaves what it gave
// and the next line of the name is tried.
void readDevNumbers(const char* name, IfaceStats* stats) {
  SysLines lines("/proc/net/dev");
  for (std::string_view line; lines.next(&line);) {
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || trimmed(line.substr(0, colon)) != name) continue;
    std::int64_t numbers[kDevNumbers];
    const int read = readNumbers(line.substr(colon + 1), numbers, kDevNumbers);
    for (int i = 0; i < read; ++i) stats->number[i] = static_cast<std::uint32_t>(numbers[i]);
    if (read == kDevNumbers) return;
  }
}

void readQueries(const char* name, IfaceStats* stats) {
  IfqSocket socket;
  int mtu = 0, queue = 0;
  socket.flags(name, &stats->flags);
  socket.hardware(name, stats->hardware);
  socket.txqlen(name, &queue);
  socket.mtu(name, &mtu);
  stats->number[kMtu] = static_cast<std::uint32_t>(mtu);
  stats->number[kTxQueue] = static_cast<std::uint32_t>(queue);
}

IfaceStats ifaceStats(int ix, IfaceSource source) {
  IfaceStats stats;
  if (ix <= kIfqInterfaces) {
    stats.number[kSpeed] = kEthernetSpeed;
    stats.number[kType] = 6;  // ethernetCsmacd
    if (source < kMtu) readDevNumbers(kIfqNames[ix - 1], &stats);
    if (source >= kMtu && source <= kPhysAddress) readQueries(kIfqNames[ix - 1], &stats);
  } else {
    stats.number[kType] = 1;  // other
    if (source <= kSpeed) {
      KyrelPortInfo port;
      kyrel_get_info(&port, ix - kIfqInterfaces - 1);
      stats.number[kRxBytes] = port.number[kKyrelRxBytes];
      stats.number[kTxBytes] = port.number[kKyrelTxBytes];
      stats.number[kSpeed] = port.number[kKyrelSpeed];
      stats.flags = port.number[kKyrelStatus] == 1 ? kUp | kRunning : 0;
    }
  }
  stats.number[kIndex] = static_cast<std::uint32_t>(ix);
  stats.number[kAdmin] = (stats.flags & kRunning) != 0 ? 1 : 2;
  stats.number[kOper] = (stats.flags & kUp) != 0 ? 1 : 2;
  return stats;
}

void rowIndex(const std::uint32_t& ix, std::uint32_t* arcs) {
  arcs[0] = ix;
}

constexpr MitSchema<std::uint32_t> kIfaceSchema{
    kIfaceColumnCount,
    1,
    nullptr,  // the rows are fixed at start-up; only the cells are read again
    rowIndex,
    [](const std::uint32_t& ix, int column) { return ifaceRetrieve(static_cast<int>(ix), column); },
    nullptr,
    true};
MitRows<std::uint32_t, kIfaceSchema> ifaceTable;

constexpr MixOps ifaceOps =
    GeneralOps(mitEntryNext<ifaceTable, kIfEntryLength>, mitEntryGet<ifaceTable, kIfEntryLength>);

}  // namespace

Asn ifaceRetrieve(int ix, int column) {
  if (ix < 1 || column < 1 || column > kIfaceColumnCount) return nullptr;
  const IfaceColumn& c = kIfaceColumns[column - 1];
  static constexpr std::uint8_t kZeroByte[] = {0x00};  // a serial port's address; 0.0
  if (c.source == kDescr) {
    if (ix <= kIfqInterfaces) {
      const std::string_view name = kIfqNames[ix - 1];
      return valOctets(reinterpret_cast<const std::uint8_t*>(name.data()),
                       static_cast<int>(name.size()));
    }
    char text[32];
    const int n = std::snprintf(text, sizeof text, "Serial port %d", ix - kIfqInterfaces - 1);
    return valOctets(reinterpret_cast<const std::uint8_t*>(text), n);
  }
  if (c.source == kSpecific) return valObjectId(kZeroByte, sizeof kZeroByte);
  const IfaceStats stats = ifaceStats(ix, c.source);
  if (c.source == kPhysAddress) {
    return ix <= kIfqInterfaces ? valOctets(stats.hardware, sizeof stats.hardware)
                                : valOctets(kZeroByte, sizeof kZeroByte);
  }
  return valNumber(c.kind, stats.number[c.source]);
}

int ifaceInit() {
  ifaceNumberInt = kIfqInterfaces + kyrel_get_count();
  const bool whole = ifaceTable.rebuild([](MitVector<std::uint32_t>& rows) {
    for (int ix = 1; ix <= ifaceNumberInt; ++ix) rows.push_back(static_cast<std::uint32_t>(ix));
  });
  if (!whole) return 1;
  return mivIntlRO(kIfNumber, sizeof kIfNumber, &ifaceNumberInt) |
         misExport(kIfEntry, kIfEntryLength, &ifaceOps, nullptr);
}
