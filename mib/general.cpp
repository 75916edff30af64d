#include "mib/general.hpp"

#include "common/snmpmib.hpp"
#include "mib/val.hpp"

int GeneralRelease(void*) {
  return kSnmpGenErr;
}

int GeneralCreate(void*, const std::uint8_t*, int, const Asn&) {
  return kSnmpGenErr;
}

int GeneralDestroy(void*, const std::uint8_t*, int) {
  return kSnmpGenErr;
}

int GeneralSet(void*, const std::uint8_t*, int, const Asn&) {
  snmpCount(snmpInTotalSetVars);
  return kSnmpReadOnly;
}
