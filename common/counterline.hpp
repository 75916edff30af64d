// The kernel's counter lines in /proc/net/snmp: for each protocol a header line naming
// the fields ("Ip: Forwarding DefaultTTL InReceives ...") and then a values line
// ("Ip: 1 64 2201 ..."). Kernels add fields over time, so fields are found by name.
#pragma once

#include <cstdint>
#include <string_view>

enum class CounterRead { kValue, kMissing, kNoFile };

// The field named `field` of the first values line after `prefix` ("Ip:") that holds it:
// by the field's place in the preceding header line, or by `position` (1 for the first
// number) where there is no header or the header lacks the name. Numbers may carry a
// minus sign; they wrap modulo 2^64.
CounterRead readCounterLine(const char* prefix, const char* field, int position,
                            std::int64_t* value);

// Whether /proc/net/snmp can be read now.
bool counterFileReadable();

// Up to `count` blank-separated numbers from the start of `text`, each an optional minus
// sign and decimal digits, wrapping modulo 2^64: how many were read before the text ended
// or held a word that is no number.
int readNumbers(std::string_view text, std::int64_t* out, int count);
