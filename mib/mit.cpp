#include "mib/mit.hpp"

#ifdef SNMPD_HAVE_MALLOC_TRIM
#include <malloc.h>
#endif

#include <cstring>

Asn MitTable::get(const std::uint32_t* arcs, int n) {
  if (n < 1 || arcs[0] < 1 || arcs[0] > static_cast<std::uint32_t>(columns_)) return nullptr;
  reload();
  const int row = find(arcs + 1, n - 1);
  return row < 0 ? nullptr : cell(row, static_cast<int>(arcs[0]));
}

// Rows that may have been cut short by memory are read afresh by the next step as well.
void MitTable::reload() {
  refresh();
  loaded_ = !nomemShort;
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
#ifdef SNMPD_HAVE_MALLOC_TRIM
    malloc_trim(0);  // the heap that growing the rows left behind
#endif
  }
  return nullptr;
}

namespace {

struct Order {
  std::size_t size;
  MitCompare compare;
  const void* context;
  bool before(const std::uint8_t* a, const std::uint8_t* b) const {
    return compare(a, b, context) < 0;
  }
};

// Stable and in place; for short runs, and for any run when memory is out.
void insertionSort(std::uint8_t* rows, std::size_t count, const Order& order) {
  const std::size_t size = order.size;
  std::uint8_t held[kMitMaxRowBytes];
  for (std::size_t i = 1; i < count; ++i) {
    std::size_t j = i;
    while (j > 0 && order.before(rows + i * size, rows + (j - 1) * size)) --j;
    if (j == i) continue;
    std::memcpy(held, rows + i * size, size);
    std::memmove(rows + (j + 1) * size, rows + j * size, (i - j) * size);
    std::memcpy(rows + j * size, held, size);
  }
}

// Stable merge sort in place, with room for count / 2 rows in `spare`: each half is sorted,
// then the first is set aside and merged back with the second. Ties take the first half's row.
void mergeSort(std::uint8_t* rows, std::size_t count, std::uint8_t* spare, const Order& order) {
  constexpr std::size_t kShortRun = 8;
  if (count <= kShortRun) return insertionSort(rows, count, order);
  const std::size_t size = order.size, half = count / 2;
  std::uint8_t* const second = rows + half * size;
  mergeSort(rows, half, spare, order);
  mergeSort(second, count - half, spare, order);
  if (!order.before(second, second - size)) return;  // the halves are already in order
  std::memcpy(spare, rows, half * size);
  const std::uint8_t *a = spare, *const aEnd = spare + half * size;
  const std::uint8_t *b = second, *const bEnd = rows + count * size;
  std::uint8_t* out = rows;  // never passes b: it has written only what a and b gave up
  while (a < aEnd && b < bEnd) {
    const bool right = order.before(b, a);
    std::memcpy(out, right ? b : a, size);
    (right ? b : a) += size;
    out += size;
  }
  std::memcpy(out, a, static_cast<std::size_t>(aEnd - a));  // what is left of b is in place
}

}  // namespace

std::size_t mitOrder(void* rows, std::size_t count, std::size_t size, MitCompare compare,
                     const void* context) {
  auto* base = static_cast<std::uint8_t*>(rows);
  if (count < 2) return count;
  const Order order{size, compare, context};
  if (auto* spare = static_cast<std::uint8_t*>(std::malloc(count / 2 * size))) {
    mergeSort(base, count, spare, order);
    std::free(spare);
  } else {
    insertionSort(base, count, order);
  }
  std::size_t kept = 1;
  for (std::size_t i = 1; i < count; ++i) {
    std::uint8_t* row = base + i * size;
    if (compare(base + (kept - 1) * size, row, context) == 0) continue;
    if (kept != i) std::memcpy(base + kept * size, row, size);
    ++kept;
  }
  return kept;
}

Asn MitTable::entryGet(const std::uint8_t* suffix, int length) {
  IdxName name;
  idxDecode(suffix, length, &name);
  if (name.open) return nullptr;
  return get(name.arc, name.count);
}

Asn MitTable::entryNext(std::uint8_t* suffix, int* length, int room) {
  IdxName name;
  idxDecode(suffix, *length, &name);
  return next(name.arc, name.count, name.open, suffix, room, length);
}
