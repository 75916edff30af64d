// The octet-string and object-identifier scalars share one shape and differ
// only in the tag of the value they serve and accept; each module instantiates
// this with its tag.
#pragma once

#include <cstdint>

#include "common/snmpmib.hpp"
#include "mib/general.hpp"
#include "mib/miv.hpp"
#include "mib/mix.hpp"
#include "mib/val.hpp"

inline bool mivIsInstance(const std::uint8_t* suffix, int length) {
  return length == 1 && suffix[0] == 0;
}

inline int mivBadValue() {
  snmpCount(snmpInBadValues);
  snmpCount(snmpOutBadValues);
  return kSnmpBadValue;
}

template <std::int32_t Tag>
struct MivBufferKind {
  static Asn mivValue(void* object) {
    const auto* holder = static_cast<const MivBuffer*>(object);
    return asnOctetString(kAsnUniversal, Tag, holder->bytes, holder->length);
  }

  static Asn mivGet(void* object, const std::uint8_t* suffix, int length) {
    return mivIsInstance(suffix, length) ? mivValue(object) : nullptr;
  }

  static Asn mivNext(void* object, std::uint8_t* suffix, int* length) {
    if (*length != 0) return nullptr;
    suffix[0] = 0;
    *length = 1;
    return mivValue(object);
  }

  static int mivSet(void* object, const std::uint8_t* suffix, int length, const Asn& value) {
    if (!mivIsInstance(suffix, length)) {
      snmpCount(snmpInNoSuchNames);
      return kSnmpNoSuchName;
    }
    auto* holder = static_cast<MivBuffer*>(object);
    if (!value || asnTag(value) != Tag) return mivBadValue();
    if (asnClass(value) != kAsnUniversal) return mivBadValue();
    const int n = asnLength(value);
    if (n >= holder->capacity) return mivBadValue();
    if (asnContents(value, holder->bytes, n) != n) return mivBadValue();
    holder->length = n;
    return 0;
  }

  static constexpr MixOps mivOpsRO = GeneralOps(mivNext, mivGet);
  static constexpr MixOps mivOpsRW = GeneralOps(mivNext, mivGet, mivSet);
};
