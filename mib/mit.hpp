// Conceptual tables: rows read from a kernel source, kept ordered by their index so that
// a GetNext step is a binary search. A walk goes down column 1 in index order, then
// column 2, and so on; rows with equal indexes appear once (the first as read).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <type_traits>
#include <utility>

#include "asn/asn.hpp"
#include "common/nomem.hpp"
#include "mib/idx.hpp"
#include "mib/mix.hpp"

inline constexpr int kMitMaxIndexArcs = 10;  // address, port, address, port

class MitTable {
 public:
  virtual ~MitTable() = default;

  // `arcs` follow the table's entry: the column, then the row index. Get refreshes the
  // rows and answers the cell that the Get lookup finds, or null.
  Asn get(const std::uint32_t* arcs, int n);
  // The first cell after the name (`open`: see IdxName), with its column and index written
  // at `out` (at most `room` bytes, their number in *written), or null past the table.
  // Only a step from a row index inside a column uses the rows as last read; every other
  // name enters the table and refreshes it first. A walk that steps out of the table lets go
  // of big rows that a refresh reads again, so a big table is held only while it is walked.
  Asn next(const std::uint32_t* arcs, int n, bool open, std::uint8_t* out, int room, int* written);
  // The same from the suffix of a name, for a table registered at its entry; `room` is what
  // the name buffer leaves after the entry.
  Asn entryGet(const std::uint8_t* suffix, int length);
  Asn entryNext(std::uint8_t* suffix, int* length, int room);

 protected:
  explicit constexpr MitTable(int columns) : columns_(columns) {}

  virtual void refresh() = 0;
  virtual int rowCount() const = 0;
  virtual int compareRow(int row, const std::uint32_t* arcs, int n) const = 0;
  virtual int indexArcs(int row, std::uint32_t* arcs) const = 0;
  virtual Asn cell(int row, int column) const = 0;
  virtual int find(const std::uint32_t* arcs, int n) const = 0;  // Get's lookup, -1 for none
  virtual bool release() = 0;  // gives big rows back where a refresh reads them again

 private:
  void reload();
  int successor(const std::uint32_t* arcs, int n, bool open) const;

  int columns_;
  bool loaded_ = false;
};

// The Get and Next slots of a table registered at its entry (`entry` bytes long), so that
// the suffix starts at the column: atGet and atNext for atTable, and so on.
template <auto& table, int entry>
Asn mitEntryGet(void*, const std::uint8_t* suffix, int length) {
  return table.entryGet(suffix, length);
}
template <auto& table, int entry>
Asn mitEntryNext(void*, std::uint8_t* suffix, int* length) {
  return table.entryNext(suffix, length, kMixOidBuffer - entry);
}

// Orders `count` rows of `size` bytes by `compare` (stable), then keeps the first of each run
// of equal rows: the number kept. One copy of the sort serves every row type.
using MitCompare = int (*)(const void* a, const void* b, const void* context);
std::size_t mitOrder(void* rows, std::size_t count, std::size_t size, MitCompare compare,
                     const void* context);
inline constexpr std::size_t kMitMaxRowBytes = 64;

// A table's rows: a growable array that reports running out of memory instead of throwing,
// so that a refresh keeps what it has read.
template <class Row>
class MitVector {
  static_assert(std::is_trivially_copyable_v<Row>, "rows move with realloc and memcpy");
  static_assert(sizeof(Row) <= kMitMaxRowBytes, "mitOrder moves a row through the stack");
  static constexpr std::size_t kKeptBytes = 64 * 1024;

 public:
  MitVector() = default;
  MitVector(const MitVector&) = delete;
  MitVector& operator=(const MitVector&) = delete;
  ~MitVector() { std::free(rows_); }

  // False, with the row left out and the loss noted, when memory runs out.
  bool push_back(const Row& row) {
    if (size_ == capacity_ && !reserve(capacity_ == 0 ? 16 : 2 * capacity_)) {
      nomemNote();
      return false;
    }
    std::memcpy(static_cast<void*>(rows_ + size_++), &row, sizeof(Row));
    return true;
  }
  template <class It>
  bool assign(It first, It last) {
    clear();
    for (; first != last; ++first) {
      if (!push_back(*first)) return false;
    }
    return true;
  }
  void clear() { size_ = 0; }
  // Keeps the first `size` rows. A big table also gives back the room beyond them, so that its
  // rows are held no longer than needed; a small one keeps its room for the next refresh.
  void truncate(std::size_t size) {
    size_ = std::min(size, size_);
    if (!big() || size_ == capacity_) return;
    if (size_ == 0) {
      std::free(rows_);
      rows_ = nullptr;
      capacity_ = 0;
    } else {
      reserve(size_);
    }
  }
  bool big() const { return capacity_ * sizeof(Row) > kKeptBytes; }
  Row* begin() { return rows_; }
  Row* end() { return rows_ + size_; }
  const Row* begin() const { return rows_; }
  const Row* end() const { return rows_ + size_; }
  const Row* data() const { return rows_; }
  std::size_t size() const { return size_; }
  const Row& operator[](std::size_t i) const { return rows_[i]; }
  operator std::span<const Row>() const { return {rows_, size_}; }

 private:
  bool reserve(std::size_t capacity) {
    if (capacity > SIZE_MAX / sizeof(Row)) return false;
    void* grown = std::realloc(static_cast<void*>(rows_), capacity * sizeof(Row));
    if (grown == nullptr) return false;
    rows_ = static_cast<Row*>(grown);
    capacity_ = capacity;
    return true;
  }

  Row* rows_ = nullptr;
  std::size_t size_ = 0, capacity_ = 0;
};

// What a table of Row records is: its columns, its index and its source.
template <class Row>
struct MitSchema {
  int columns;
  int indexArcs;      // at most kMitMaxIndexArcs
  void (*refresh)();  // re-reads the source into the table; null: rows change only by rebuild
  void (*index)(const Row& row, std::uint32_t* arcs);
  Asn (*cell)(const Row& row, int column);  // column 1 to columns
  // Get's lookup from the arcs after the column; null: the row whose index the leading
  // arcs are (arcs after the index are ignored).
  const Row* (*find)(std::span<const Row> rows, const std::uint32_t* arcs, int n);
  bool exact = false;  // the default lookup: no arcs may follow the index
};

// The table of one schema; its operations are bound when it is compiled, so the schema's
// functions are called directly.
template <class Row, const MitSchema<Row>& schema>
class MitRows final : public MitTable {
 public:
  constexpr MitRows() : MitTable(schema.columns) {}

  // Replaces the rows with those `fill` appends in source order, then orders them by
  // index, keeping the first of equal indexes. Memory running out keeps what was read: false.
  template <class Fill>
  bool rebuild(Fill fill) {
    const bool earlier = std::exchange(nomemShort, false);
    rows_.clear();
    fill(rows_);
    rows_.truncate(mitOrder(rows_.begin(), rows_.size(), sizeof(Row), &compareRows, nullptr));
    const bool whole = !nomemShort;
    nomemShort = nomemShort || earlier;
    return whole;
  }
  std::span<const Row> rows() const { return rows_; }

 private:
  static int compareRows(const void* a, const void* b, const void*) {
    std::uint32_t x[kMitMaxIndexArcs], y[kMitMaxIndexArcs];
    schema.index(*static_cast<const Row*>(a), x);
    schema.index(*static_cast<const Row*>(b), y);
    return idxCompare(x, schema.indexArcs, y, schema.indexArcs);
  }
  void refresh() override {
    if (schema.refresh != nullptr) schema.refresh();
  }
  bool release() override {
    if (schema.refresh == nullptr || !rows_.big()) return false;
    rows_.truncate(0);
    return true;
  }
  int rowCount() const override { return static_cast<int>(rows_.size()); }
  int compareRow(int row, const std::uint32_t* arcs, int n) const override {
    std::uint32_t x[kMitMaxIndexArcs];
    schema.index(rows_[row], x);
    return idxCompare(x, schema.indexArcs, arcs, n);
  }
  int indexArcs(int row, std::uint32_t* arcs) const override {
    schema.index(rows_[row], arcs);
    return schema.indexArcs;
  }
  Asn cell(int row, int column) const override { return schema.cell(rows_[row], column); }
  int find(const std::uint32_t* arcs, int n) const override {
    if (schema.find != nullptr) {
      const Row* found = schema.find(rows_, arcs, n);
      return found == nullptr ? -1 : static_cast<int>(found - rows_.data());
    }
    if (n < schema.indexArcs || (schema.exact && n != schema.indexArcs)) return -1;
    auto at = std::lower_bound(rows_.begin(), rows_.end(), arcs, [this](const Row& r, auto key) {
      return compareRow(static_cast<int>(&r - rows_.data()), key, schema.indexArcs) < 0;
    });
    if (at == rows_.end()) return -1;
    const int row = static_cast<int>(at - rows_.begin());
    return compareRow(row, arcs, schema.indexArcs) == 0 ? row : -1;
  }

  MitVector<Row> rows_;
};
