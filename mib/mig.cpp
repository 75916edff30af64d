#include "mib/mig.hpp"

#include <cstdio>

#include "common/counterline.hpp"

Asn migCounter(const char* prefix, const char* message, const MigObject& object) {
  std::int64_t number = object.constant;
  CounterRead read = CounterRead::kValue;
  if (object.field != nullptr) {
    read = readCounterLine(prefix, object.field, object.position, &number);
  } else if (!counterFileReadable()) {
    read = CounterRead::kNoFile;
  }
  if (read == CounterRead::kNoFile) std::fputs(message, stdout);
  return read == CounterRead::kValue ? valNumber(object.kind, number) : nullptr;
}

Asn migGet(const MigGroup& group, const std::uint8_t* suffix, int length) {
  IdxName name;
  idxDecode(suffix, length, &name);
  if (name.open || name.count < 2) return nullptr;
  for (const MigObject& object : group.objects) {
    if (object.sub != name.arc[0]) continue;
    if (object.table != nullptr) {
      return name.arc[1] == 1 ? object.table->get(name.arc + 2, name.count - 2) : nullptr;
    }
    return name.count == 2 && name.arc[1] == 0 ? group.scalar(object) : nullptr;
  }
  return nullptr;
}

Asn migNext(const MigGroup& group, std::uint8_t* suffix, int* length) {
  IdxName name;
  idxDecode(suffix, *length, &name);
  for (const MigObject& object : group.objects) {
    const std::uint32_t sub = object.sub;
    if (name.count > 0 && sub < name.arc[0]) continue;
    const bool same = name.count > 0 && sub == name.arc[0];
    if (object.table == nullptr) {
      const std::uint32_t instance[2] = {sub, 0};
      const int order = idxCompare(instance, 2, name.arc, name.count);
      if (order < 0 || (order == 0 && !name.open)) continue;
      Asn value = group.scalar(object);
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
    Asn value = inside
                    ? object.table->next(name.arc + 2, name.count - 2, name.open, suffix + 2,
                                         group.room - 2, &written)
                    : object.table->next(nullptr, 0, false, suffix + 2, group.room - 2, &written);
    if (!value) continue;
    suffix[0] = object.sub;
    suffix[1] = 1;
    *length = 2 + written;
    return value;
  }
  return nullptr;
}
