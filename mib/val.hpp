// The values that MIB objects serve, by their SNMP names, and the SNMPv1
// error-status codes that object operations return.
#pragma once

#include <cstdint>

#include "asn/asn.hpp"

enum SnmpStatus : int {
  kSnmpNoError = 0,
  kSnmpTooBig = 1,
  kSnmpNoSuchName = 2,
  kSnmpBadValue = 3,
  kSnmpReadOnly = 4,
  kSnmpGenErr = 5,
};

inline Asn valCounter(std::uint32_t n) {
  return asnUnsl(kAsnApplication, 1, n);
}
inline Asn valGauge(std::uint32_t n) {
  return asnUnsl(kAsnApplication, 2, n);
}
inline Asn valTimeTicks(std::uint32_t n) {
  return asnUnsl(kAsnApplication, 3, n);
}
inline Asn valUnsigned(std::uint32_t n) {
  return asnUnsl(kAsnUniversal, 2, n);
}  // INTEGER
inline Asn valInteger(std::int32_t n) {
  return asnIntl(kAsnUniversal, 2, n);
}
inline Asn valIpAddress(const std::uint8_t address[4]) {
  return asnOctetString(kAsnApplication, 0, address, 4);
}
inline Asn valOctets(const std::uint8_t* bytes, int length) {
  return asnOctetString(kAsnUniversal, 4, bytes, length);
}
inline Asn valObjectId(const std::uint8_t* bytes, int length) {
  return asnObjectId(kAsnUniversal, 6, bytes, length);
}

// How a number read from the kernel becomes a value.
enum class ValKind : std::uint8_t { kCounter, kGauge, kTimeTicks, kUnsigned, kInteger };

// Counters, gauges and ticks are served modulo 2^32.
inline Asn valNumber(ValKind kind, std::int64_t n) {
  const auto low = static_cast<std::uint32_t>(n);
  switch (kind) {
    case ValKind::kCounter:
      return valCounter(low);
    case ValKind::kGauge:
      return valGauge(low);
    case ValKind::kTimeTicks:
      return valTimeTicks(low);
    case ValKind::kUnsigned:
      return valUnsigned(low);
    case ValKind::kInteger:
      return valInteger(static_cast<std::int32_t>(low));
  }
  return nullptr;
}
