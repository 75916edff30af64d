#include "groups/kyrel_vars.hpp"

#include <algorithm>
#include <span>
#include <string_view>
#include <type_traits>

#include "common/counterline.hpp"
#include "common/sysfile.hpp"
#include "mib/general.hpp"
#include "mib/mis.hpp"
#include "mib/mit.hpp"
#include "mib/miv.hpp"
#include "mib/val.hpp"

namespace {

constexpr const char* kStatusFile = "/proc/driver/kyrel";

constexpr std::uint8_t kRs232Number[] = {0x2B, 6, 1, 2, 1, 10, 33, 1};
constexpr std::uint8_t kPortEntry[] = {0x2B, 6, 1, 2, 1, 10, 33, 2, 1};
constexpr std::uint8_t kAsyncPortEntry[] = {0x2B, 6, 1, 2, 1, 10, 33, 3, 1};
constexpr std::uint8_t kInSigEntry[] = {0x2B, 6, 1, 2, 1, 10, 33, 5, 1};
constexpr std::uint8_t kOutSigEntry[] = {0x2B, 6, 1, 2, 1, 10, 33, 6, 1};
constexpr int kEntryLength = sizeof kPortEntry;

std::int32_t kyrelNumberInt = 0;

// What a column serves: the row's port or signal code, a constant, a number of the port's
// line, or the state of the row's signal.
enum class KyrelValue : std::uint8_t { kPort, kSignal, kConstant, kNumber, kState };
struct KyrelColumn {
  KyrelValue value;
  std::uint8_t n;  // the constant, or the line's number
};

constexpr KyrelColumn kGenColumns[] = {
    {KyrelValue::kPort, 0},              // rs232PortIndex
    {KyrelValue::kNumber, kKyrelType},   // rs232PortType
    {KyrelValue::kConstant, 3},          // rs232PortInSigNumber
    {KyrelValue::kConstant, 2},          // rs232PortOutSigNumber
    {KyrelValue::kNumber, kKyrelSpeed},  // rs232PortInSpeed
    {KyrelValue::kNumber, kKyrelSpeed},  // rs232PortOutSpeed
};
constexpr KyrelColumn kAsyncColumns[] = {
    {KyrelValue::kPort, 0},                 // rs232AsyncPortIndex
    {KyrelValue::kNumber, kKyrelBits},      // rs232AsyncPortBits
    {KyrelValue::kNumber, kKyrelStopBits},  // rs232AsyncPortStopBits
    {KyrelValue::kNumber, kKyrelParity},    // rs232AsyncPortParity
};
constexpr KyrelColumn kSigColumns[] = {
    {KyrelValue::kPort, 0},    // rs232InSigPortIndex, rs232OutSigPortIndex
    {KyrelValue::kSignal, 0},  // rs232InSigName, rs232OutSigName
    {KyrelValue::kState, 0},   // rs232InSigState, rs232OutSigState
};

// A signal's code in the MIB, and the number of the port's line that holds its state.
struct KyrelSignal {
  std::uint8_t code;
  std::uint8_t field;
};
constexpr KyrelSignal kInSignals[] = {{2, kKyrelCts}, {3, kKyrelDsr}, {6, kKyrelDcd}};
constexpr KyrelSignal kOutSignals[] = {{1, kKyrelRts}, {4, kKyrelDtr}};

// A port, and in the signal tables one of its signals.
struct KyrelRow {
  std::uint32_t port;
  KyrelSignal signal;
};

Asn kyrelCell(std::span<const KyrelColumn> columns, const KyrelRow& row, int column) {
  if (column < 1 || column > static_cast<int>(columns.size())) return nullptr;
  const KyrelColumn& c = columns[column - 1];
  std::uint32_t n = c.n;
  if (c.value == KyrelValue::kPort) n = row.port;
  if (c.value == KyrelValue::kSignal) n = row.signal.code;
  if (c.value == KyrelValue::kNumber || c.value == KyrelValue::kState) {
    KyrelPortInfo info;
    kyrel_get_info(&info, static_cast<int>(row.port) - 1);
    n = info.number[c.value == KyrelValue::kState ? row.signal.field : c.n];
  }
  return valUnsigned(n);  // the driver's codes pass unchecked, a negative one as its 32-bit pattern
}

Asn signalCell(std::span<const KyrelSignal> signals, int port, int signal, int column) {
  for (const KyrelSignal& s : signals) {
    if (s.code == signal) {
      return kyrelCell(kSigColumns, KyrelRow{static_cast<std::uint32_t>(port), s}, column);
    }
  }
  return nullptr;
}

void portIndex(const KyrelRow& row, std::uint32_t* arcs) {
  arcs[0] = row.port;
}
void signalIndex(const KyrelRow& row, std::uint32_t* arcs) {
  arcs[0] = row.port;
  arcs[1] = row.signal.code;
}

// A table of `columns` whose cells are those `retrieve` computes, from the port alone or
// from the port and one of its signals; the rows are indexed the same way.
template <auto retrieve>
constexpr bool kBySignal = std::is_invocable_v<decltype(retrieve), int, int, int>;

template <auto retrieve>
Asn retrievedCell(const KyrelRow& row, int column) {
  const int port = static_cast<int>(row.port);
  if constexpr (kBySignal<retrieve>) {
    return retrieve(port, row.signal.code, column);
  } else {
    return retrieve(port, column);
  }
}

template <const auto& columns, auto retrieve>
constexpr MitSchema<KyrelRow> kyrelSchema{
    std::size(columns),
    kBySignal<retrieve> ? 2 : 1,
    nullptr,  // the rows are fixed at start-up; only the cells are read again
    kBySignal<retrieve> ? signalIndex : portIndex,
    retrievedCell<retrieve>,
    nullptr,
    true};

MitRows<KyrelRow, kyrelSchema<kGenColumns, kyrelGenRetrieve>> kyrelGenTable;
MitRows<KyrelRow, kyrelSchema<kAsyncColumns, kyrelAsyncRetrieve>> kyrelAsyncTable;
MitRows<KyrelRow, kyrelSchema<kSigColumns, kyrelInSigRetrieve>> kyrelInSigTable;
MitRows<KyrelRow, kyrelSchema<kSigColumns, kyrelOutSigRetrieve>> kyrelOutSigTable;

// The operations of a table registered at its entry: kyrelGenOps for kyrelGenTable, and so on.
template <auto& table>
constexpr MixOps kyrelOps = GeneralOps(mitEntryNext<table, kEntryLength>,
                                       mitEntryGet<table, kEntryLength>);

// Ports 1 to `ports`, each with the signals given (none: one row a port).
bool setRows(auto& table, int ports, std::span<const KyrelSignal> signals) {
  return table.rebuild([&](MitVector<KyrelRow>& rows) {
    for (int port = 1; port <= ports; ++port) {
      const auto p = static_cast<std::uint32_t>(port);
      if (signals.empty()) rows.push_back(KyrelRow{p, {}});
      for (const KyrelSignal& s : signals) rows.push_back(KyrelRow{p, s});
    }
  });
}

}  // namespace

int kyrel_get_count() {
  SysLines lines(kStatusFile);
  std::string_view line;
  std::int64_t count = 0;
  if (!lines.next(&line) || readNumbers(line, &count, 1) != 1) return 0;
  return static_cast<int>(std::clamp<std::int64_t>(count, 0, kKyrelMaxPorts));
}

void kyrel_get_info(KyrelPortInfo* info, int n) {
  *info = KyrelPortInfo{};
  if (n < 0) return;
  SysLines lines(kStatusFile);
  std::string_view line;
  for (int skip = 0; skip <= n; ++skip) {  // the count's line, then n ports' lines
    if (!lines.next(&line)) return;
  }
  if (!lines.next(&line)) return;
  std::int64_t numbers[kKyrelFields];
  const int read = readNumbers(line, numbers, kKyrelFields);
  for (int i = 0; i < read; ++i) info->number[i] = static_cast<std::uint32_t>(numbers[i]);
}

Asn kyrelGenRetrieve(int port, int column) {
  return kyrelCell(kGenColumns, KyrelRow{static_cast<std::uint32_t>(port), {}}, column);
}

Asn kyrelAsyncRetrieve(int port, int column) {
  return kyrelCell(kAsyncColumns, KyrelRow{static_cast<std::uint32_t>(port), {}}, column);
}

Asn kyrelInSigRetrieve(int port, int signal, int column) {
  return signalCell(kInSignals, port, signal, column);
}

Asn kyrelOutSigRetrieve(int port, int signal, int column) {
  return signalCell(kOutSignals, port, signal, column);
}

int kyrelInit() {
  kyrelNumberInt = kyrel_get_count();
  const bool whole = setRows(kyrelGenTable, kyrelNumberInt, {}) &&
                     setRows(kyrelAsyncTable, kyrelNumberInt, {}) &&
                     setRows(kyrelInSigTable, kyrelNumberInt, kInSignals) &&
                     setRows(kyrelOutSigTable, kyrelNumberInt, kOutSignals);
  if (!whole) return 1;
  if (kyrelNumberInt == 0) return 0;
  return mivIntlRO(kRs232Number, sizeof kRs232Number, &kyrelNumberInt) |
         misExport(kPortEntry, kEntryLength, &kyrelOps<kyrelGenTable>, nullptr) |
         misExport(kAsyncPortEntry, kEntryLength, &kyrelOps<kyrelAsyncTable>, nullptr) |
         misExport(kInSigEntry, kEntryLength, &kyrelOps<kyrelInSigTable>, nullptr) |
         misExport(kOutSigEntry, kEntryLength, &kyrelOps<kyrelOutSigTable>, nullptr);
}
