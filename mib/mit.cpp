#include "mib/mit.hpp"

#ifdef SNMPD_HAVE_MALLOC_TRIM
#include <malloc.h>
#endif

#include <algorithm>
#include <cstring>

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
#ifdef SNMPD_HAVE_MALLOC_TRIM
    malloc_trim(0);  // the heap that growing the rows left behind
#endif
  }
  return nullptr;
}

namespace {

// Merges the sorted runs [a, a + na) and [b, b + nb) into out; ties take the left run's row.
void mergeRuns(const std::uint8_t* a, std::size_t na, const std::uint8_t* b, std::size_t nb,
               std::uint8_t* out, std::size_t size, MitCompare compare, const void* context) {
  const std::uint8_t* const aEnd = a + na * size;
  const std::uint8_t* const bEnd = b + nb * size;
  while (a < aEnd && b < bEnd) {
    const bool right = compare(b, a, context) < 0;
    std::memcpy(out, right ? b : a, size);
    (right ? b : a) += size;
    out += size;
  }
  std::memcpy(out, a, static_cast<std::size_t>(aEnd - a));
  out += aEnd - a;
  std::memcpy(out, b, static_cast<std::size_t>(bEnd - b));
}

// Without room for a second array: insertion, slow but stable and in place.
void insertionSort(std::uint8_t* rows, std::size_t count, std::size_t size, MitCompare compare,
                   const void* context) {
  std::uint8_t held[kMitMaxRowBytes];
  for (std::size_t i = 1; i < count; ++i) {
    std::size_t j = i;
    while (j > 0 && compare(rows + i * size, rows + (j - 1) * size, context) < 0) --j;
    if (j == i) continue;
    std::memcpy(held, rows + i * size, size);
    std::memmove(rows + (j + 1) * size, rows + j * size, (i - j) * size);
    std::memcpy(rows + j * size, held, size);
  }
}

}  // namespace

std::size_t mitOrder(void* rows, std::size_t count, std::size_t size, MitCompare compare,
                     const void* context) {
  auto* base = static_cast<std::uint8_t*>(rows);
  if (count < 2) return count;
  if (auto* spare = static_cast<std::uint8_t*>(std::malloc(count * size))) {
    // Bottom-up merge sort, the runs doubling each pass between the two arrays.
    std::uint8_t *from = base, *to = spare;
    for (std::size_t width = 1; width < count; width *= 2) {
      for (std::size_t start = 0; start < count; start += 2 * width) {
        const std::size_t left = std::min(width, count - start);
        const std::size_t right = std::min(width, count - start - left);
        mergeRuns(from + start * size, left, from + (start + left) * size, right, to + start * size,
                  size, compare, context);
      }
      std::swap(from, to);
    }
    if (from != base) std::memcpy(base, from, count * size);
    std::free(spare);
  } else {
    insertionSort(base, count, size, compare, context);
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
