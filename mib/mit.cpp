#include "mib/mit.hpp"

#include <malloc.h>

Asn MitTable::get(const std::uint32_t* arcs, int n) {
  if (n < 1 || arcs[0] < 1 || arcs[0] > static_cast<std::uint32_t>(columns_)) return nullptr;
  reload();
  const int row = find(arcs + 1, n - 1);
  return row < 0 ? nullptr : cell(row, static_cast<int>(arcs[0]));
}

void MitTable::reload() {
  refresh();
  loaded_ = true;
}

// The first row whose index comes after the arcs (at or after them when `open`).
int MitTable::successor(const std::uint32_t* arcs, int n, bool open) const {
  int low = 0, high = rowCount();
  while (low < high) {
    const int middle = low + (high - low) / 2;
    const int order = compareRow(middle, arcs, n);
    if (order > 0 || (open && order == 0)) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

Asn MitTable::next(const std::uint32_t* arcs, int n, bool open, std::uint8_t* out, int room,
                   int* written) {
  const auto last = static_cast<std::uint32_t>(columns_);
  if (n >= 1 && arcs[0] > last) return nullptr;
  const bool stepping = n >= 2 && arcs[0] >= 1;
  // Rows never read are not rows as last read: a first step from an index reads them too.
  if (!stepping || !loaded_) reload();
  const int count = rowCount();
  if (count == 0) return nullptr;
  std::uint32_t column = n == 0 || arcs[0] < 1 ? 1 : arcs[0];
  int row = stepping ? successor(arcs + 1, n - 1, open) : 0;
  for (; column <= last; ++column, row = 0) {
    if (row >= count) continue;
    std::uint32_t name[1 + kMitMaxIndexArcs];
    name[0] = column;
    const int arcCount = 1 + indexArcs(row, name + 1);
    const int bytes = idxEncode(out, room, name, arcCount);
    if (bytes < 0) return nullptr;
    *written = bytes;
    return cell(row, static_cast<int>(column));
  }
  if (release()) {
    loaded_ = false;
    malloc_trim(0);  // the heap that growing the rows left behind
  }
  return nullptr;
}

Asn mitEntryGet(MitTable& table, const std::uint8_t* suffix, int length) {
  IdxName name;
  idxDecode(suffix, length, &name);
  if (name.open) return nullptr;
  return table.get(name.arc, name.count);
}

Asn mitEntryNext(MitTable& table, std::uint8_t* suffix, int* length, int room) {
  IdxName name;
  idxDecode(suffix, *length, &name);
  return table.next(name.arc, name.count, name.open, suffix, room, length);
}
