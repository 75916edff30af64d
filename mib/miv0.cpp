// Scalar integer variables.
#include "common/snmpmib.hpp"
#include "mib/general.hpp"
#include "mib/mis.hpp"
#include "mib/miv.hpp"
#include "mib/miv_buffer.hpp"

namespace {

constexpr int kIntegerTag = 2;
constexpr int kIntegerBytes = 4;

Asn mivValue(void* object) {
  return asnIntl(kAsnUniversal, kIntegerTag, *static_cast<const std::int32_t*>(object));
}

Asn mivGet(void* object, const std::uint8_t* suffix, int length) {
  return mivIsInstance(suffix, length) ? mivValue(object) : nullptr;
}

Asn mivNext(void* object, std::uint8_t* suffix, int* length) {
  if (*length != 0) return nullptr;
  suffix[0] = 0;
  *length = 1;
  return mivValue(object);
}

int mivSet(void* object, const std::uint8_t* suffix, int length, const Asn& value) {
  if (!mivIsInstance(suffix, length)) {
    snmpCount(snmpInNoSuchNames);
    return kSnmpNoSuchName;
  }
  if (!value) return mivBadValue();
  int n = asnLength(value);
  if (n > kIntegerBytes) return mivBadValue();
  if (asnTag(value) != kIntegerTag) return mivBadValue();
  if (asnClass(value) != kAsnUniversal) return mivBadValue();
  std::uint8_t bytes[kIntegerBytes];
  if (n < 1 || asnContents(value, bytes, kIntegerBytes) != n) return mivBadValue();
  // Extend the sign, so that a negative value read by Get sets back unchanged.
  std::uint32_t number = asnNumber(bytes, n);
  if (n < kIntegerBytes && (bytes[0] & 0x80) != 0) number |= ~std::uint32_t{0} << (8 * n);
  *static_cast<std::int32_t*>(object) = static_cast<std::int32_t>(number);
  return 0;
}

constexpr MixOps mivOpsRO = GeneralOps(mivNext, mivGet);
constexpr MixOps mivOpsRW = GeneralOps(mivNext, mivGet, mivSet);

}  // namespace

int mivIntlRO(const std::uint8_t* oid, int length, std::int32_t* value) {
  return misExport(oid, length, &mivOpsRO, value);
}

int mivIntlRW(const std::uint8_t* oid, int length, std::int32_t* value) {
  return misExport(oid, length, &mivOpsRW, value);
}
