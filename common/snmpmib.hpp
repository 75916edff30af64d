// The agent's own SNMP statistics: the snmp group of RFC 1213 (1.3.6.1.2.1.11).
// Word n-1 holds object 1.3.6.1.2.1.11.n. The decoder, the MIB defaults and the
// engine all bump these words, so the record sits beneath all of them.
#pragma once

#include <array>
#include <cstdint>

inline constexpr int kSnmpMibWords = 120;  // 480 bytes; words 30..119 are never used

enum SnmpCounter : int {
  snmpInPkts = 0,
  snmpOutPkts = 1,
  snmpInBadVersions = 2,
  snmpInBadCommunityNames = 3,
  snmpInBadCommunityUses = 4,
  snmpInASNParseErrs = 5,
  snmpUnused7 = 6,  // .11.7 is not assigned by RFC 1213
  snmpInTooBigs = 7,
  snmpInNoSuchNames = 8,
  snmpInBadValues = 9,
  snmpInReadOnlys = 10,
  snmpInGenErrs = 11,
  snmpInTotalReqVars = 12,
  snmpInTotalSetVars = 13,
  snmpInGetRequests = 14,
  snmpInGetNexts = 15,
  snmpInSetRequests = 16,
  snmpInGetResponses = 17,
  snmpInTraps = 18,
  snmpOutTooBigs = 19,
  snmpOutNoSuchNames = 20,
  snmpOutBadValues = 21,
  snmpUnused23 = 22,  // .11.23 is not assigned by RFC 1213
  snmpOutGenErrs = 23,
  snmpOutGetRequests = 24,
  snmpOutGetNexts = 25,
  snmpOutSetRequests = 26,
  snmpOutGetResponses = 27,
  snmpOutTraps = 28,
  snmpEnableAuthenTraps = 29,
};

extern std::array<std::uint32_t, kSnmpMibWords> SnmpMib;

// Unsigned arithmetic: a counter at 2^32-1 wraps to 0.
inline void snmpCount(SnmpCounter counter) {
  ++SnmpMib[counter];
}
