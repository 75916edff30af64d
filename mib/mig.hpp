// A MIB group as a table of its objects: scalars (instance n.0) and conceptual tables
// (instances n.1.column.index), in ascending sub-identifier order. Get and GetNext on the
// group's suffix follow from these rows: GetNext is the lexicographic successor, and a
// table with nothing further falls through to the next object.
#pragma once

#include <cstdint>
#include <span>

#include "asn/asn.hpp"
#include "mib/mit.hpp"
#include "mib/val.hpp"

struct MigObject {
  std::uint8_t sub;       // sub-identifier under the group, below 128
  ValKind kind;           // a scalar's type
  const char* field;      // a scalar's kernel field name; null for a constant
  std::uint8_t position;  // its place in a counter line without header (1 = first)
  std::int32_t constant;  // a constant scalar's value
  MitTable* table;        // non-null: a table object
};

constexpr MigObject migScalar(std::uint8_t sub, ValKind kind, const char* field,
                              std::uint8_t position) {
  return MigObject{sub, kind, field, position, 0, nullptr};
}
constexpr MigObject migConstant(std::uint8_t sub, ValKind kind, std::int32_t value) {
  return MigObject{sub, kind, nullptr, 0, value, nullptr};
}
constexpr MigObject migTable(std::uint8_t sub, MitTable* table) {
  return MigObject{sub, ValKind::kInteger, nullptr, 0, 0, table};
}

struct MigGroup {
  std::span<const std::uint8_t> oid;  // where the group is registered
  std::span<const MigObject> objects;
  const char* line;     // the prefix of its counter lines in /proc/net/snmp ("Ip:")
  const char* message;  // goes to standard output when that file does not open
};

Asn migGet(const MigGroup& group, const std::uint8_t* suffix, int length);
Asn migNext(const MigGroup& group, std::uint8_t* suffix, int* length);

// The Get and Next slots of a group registered as one object (ipGet and ipNext for the IP
// group, and so on), generated from its table of objects.
template <const MigGroup& group>
Asn migGroupGet(void*, const std::uint8_t* suffix, int length) {
  return migGet(group, suffix, length);
}
template <const MigGroup& group>
Asn migGroupNext(void*, std::uint8_t* suffix, int* length) {
  return migNext(group, suffix, length);
}
