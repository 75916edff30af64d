// The snmp group (1.3.6.1.2.1.11): the counters record served read-only.
#include <cstdint>

#include "common/snmpmib.hpp"
#include "engine/smp.hpp"
#include "mib/general.hpp"
#include "mib/mis.hpp"

namespace {

constexpr std::uint8_t kSnmpGroupOid[] = {0x2B, 6, 1, 2, 1, 11};
constexpr int kSnmpLast = 30;  // snmpEnableAuthenTraps
// RFC 1213 leaves .7 and .23 unassigned: Get answers them, GetNext skips them.
constexpr bool unassigned(int n) {
  return n == 7 || n == 23;
}

Asn nextInstance(std::uint8_t* suffix, int* length, int n) {
  suffix[0] = static_cast<std::uint8_t>(n);
  suffix[1] = 0;
  *length = 2;
  return snmpRetrieve(n);
}

}  // namespace

const MixOps snmpOps = GeneralOps(snmpNext, snmpGet);

int smpInit() {
  SnmpMib.fill(0);
  SnmpMib[snmpEnableAuthenTraps] = 2;  // disabled
  return misExport(kSnmpGroupOid, sizeof kSnmpGroupOid, &snmpOps, nullptr);
}

Asn snmpRetrieve(int n) {
  if (n < 1 || n > kSnmpLast) return nullptr;
  if (n == kSnmpLast) return asnUnsl(kAsnUniversal, 2, SnmpMib[n - 1]);
  return asnUnsl(kAsnApplication, 1, SnmpMib[n - 1]);  // Counter
}

Asn snmpGet(void*, const std::uint8_t* suffix, int length) {
  if (length != 2 || suffix[0] < 1 || suffix[0] > kSnmpLast || suffix[1] != 0) return nullptr;
  return snmpRetrieve(suffix[0]);
}

// Instances are n.0 for n = 1..30; the successor of a suffix is the first
// instance above it.
Asn snmpNext(void*, std::uint8_t* suffix, int* length) {
  if (*length == 0 || suffix[0] == 0) return nextInstance(suffix, length, 1);
  const int first = suffix[0];
  if (*length == 1) return first <= kSnmpLast ? nextInstance(suffix, length, first) : nullptr;
  if (first >= kSnmpLast) return nullptr;
  int n = first + 1;
  if (unassigned(n)) ++n;
  return nextInstance(suffix, length, n);
}
