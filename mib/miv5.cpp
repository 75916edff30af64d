// Scalar octet-string variables.
#include "common/snmpmib.hpp"
#include "mib/general.hpp"
#include "mib/mis.hpp"
#include "mib/miv.hpp"

namespace {

constexpr int kValueTag = 4;

bool isInstance(const std::uint8_t* suffix, int length) {
  return length == 1 && suffix[0] == 0;
}

Asn mivValue(void* object) {
  const auto* holder = static_cast<const MivBuffer*>(object);
  return asnOctetString(kAsnUniversal, kValueTag, holder->bytes, holder->length);
}

Asn mivGet(void* object, const std::uint8_t* suffix, int length) {
  return isInstance(suffix, length) ? mivValue(object) : nullptr;
}

Asn mivNext(void* object, std::uint8_t* suffix, int* length) {
  if (*length != 0) return nullptr;
  suffix[0] = 0;
  *length = 1;
  return mivValue(object);
}

int badValue() {
  snmpCount(snmpInBadValues);
  snmpCount(snmpOutBadValues);
  return 3;
}

int mivSet(void* object, const std::uint8_t* suffix, int length, const Asn& value) {
  if (!isInstance(suffix, length)) {
    snmpCount(snmpInNoSuchNames);
    return 2;
  }
  auto* holder = static_cast<MivBuffer*>(object);
  if (!value || asnTag(value) != kValueTag) return badValue();
  if (asnClass(value) != kAsnUniversal) return badValue();
  int n = asnLength(value);
  if (n >= holder->capacity) return badValue();
  if (asnContents(value, holder->bytes, n) != n) return badValue();
  holder->length = n;
  return 0;
}

constexpr MixOps mivOpsRO{GeneralRelease, GeneralCreate, GeneralDestroy,
                          mivNext,        mivGet,        GeneralSet};
constexpr MixOps mivOpsRW{GeneralRelease, GeneralCreate, GeneralDestroy, mivNext, mivGet, mivSet};

}  // namespace

int mivStringRO(const std::uint8_t* oid, int length, MivBuffer* holder) {
  return misExport(oid, length, &mivOpsRO, holder);
}

int mivStringRW(const std::uint8_t* oid, int length, MivBuffer* holder) {
  return misExport(oid, length, &mivOpsRW, holder);
}
