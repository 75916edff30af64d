#include "mib/general.hpp"

#include "common/snmpmib.hpp"

int GeneralRelease(void*) {
  return 5;
}

int GeneralCreate(void*, const std::uint8_t*, int, const Asn&) {
  return 5;
}

int GeneralDestroy(void*, const std::uint8_t*, int) {
  return 5;
}

int GeneralSet(void*, const std::uint8_t*, int, const Asn&) {
  snmpCount(snmpInTotalSetVars);
  return 4;
}
