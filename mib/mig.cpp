#include "mib/mig.hpp"

#include <cstdio>

#include "common/counterline.hpp"

namespace {

// A scalar from the group's counter lines, or a constant, served only while that file opens.
Asn migCounter(const MigGroup& group, const MigObject& object) {
  std::int64_t number = object.constant;
  CounterRead read = CounterRead::kValue;
  if (object.field != nullptr) {
    read = readCounterLine(group.line, object.field, object.position, &number);
  } else if (!counterFileReadable()) {
    read = CounterRead::kNoFile;
  }
  if (read == CounterRead::kNoFile) std::fputs(group.message, stdout);
  return read == CounterRead::kValue ? valNumber(object.kind, number) : nullptr;
}

}  // namespace

Asn migGet(const MigGroup& group, const std::uint8_t* suffix, int length) {
  IdxName name;
  idxDecode(suffix, length, &name);
  if (name.open || name.count < 2) return nullptr;
  for (const MigObject& object : group.objects) {
    if (object.sub != name.arc[0]) continue;
    if (object.table != nullptr) {
      return name.arc[1] == 1 ? object.table->get(name.arc + 2, name.count - 2) : nullptr;
    }
    return name.count == 2 && name.arc[1] == 0 ? migCounter(group, object) : nullptr;
  }
  return nullptr;
}

Asn migNext(const MigGroup& group, std::uint8_t* suffix, int* length) {
  IdxName name;
  idxDecode(suffix, *length, &name);
  // What the name buffer leaves a table's column and index after sub.1.
  const int room = kMixOidBuffer - static_cast<int>(group.oid.size()) - 2;
  for (const MigObject& object : group.objects) {
    const std::uint32_t sub = object.sub;
    if (name.count > 0 && sub < name.arc[0]) continue;
    const bool same = name.count > 0 && sub == name.arc[0];
    if (object.table == nullptr) {
      const std::uint32_t instance[2] = {sub, 0};
      const int order = idxCompare(instance, 2, name.arc, name.count);
      if (order < 0 || (order == 0 && !name.open)) continue;
      Asn value = migCounter(group, object);
      if (!value) continue;
      suffix[0] = object.sub;
      suffix[1] = 0;
      *length = 2;
      return value;
    }
    // Instances sub.1.column.index: a name inside the entry steps from where it points,
    // any other name before the table enters it.
    if (same && name.count >= 2 && name.arc[1] > 1) continue;
    const bool inside = same && name.count >= 2 && name.arc[1] == 1;
    int written = 0;
    Asn value = inside ? object.table->next(name.arc + 2, name.count - 2, name.open, suffix + 2,
                                            room, &written)
                       : object.table->next(nullptr, 0, false, suffix + 2, room, &written);
    if (!value) continue;
    suffix[0] = object.sub;
    suffix[1] = 1;
    *length = 2 + written;
    return value;
  }
  return nullptr;
}
