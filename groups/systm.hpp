// The system group (1.3.6.1.2.1.1): what the box is, how long the agent has
// been up, and three administrative texts a manager may set.
#pragma once

#include <cstdint>
#include <string>

#include "asn/asn.hpp"

// Fills the group's storage and registers its seven variables; returns what
// the last registration returns.
int systmInit();

// Occurrences of `pattern` in `text`, overlapping ones included.
int pattern_match_count(const std::string& text, const char* pattern);

// Model code from the PCI census text.
unsigned get_swid(const std::string& census);

// Whole seconds on the clock sysUpTime counts: one that no one sets. A box without a
// battery-backed clock starts near 1970 and jumps by decades when NTP sets the wall clock.
std::int64_t systmClockSeconds();

Asn systmTimeGet(void* object, const std::uint8_t* suffix, int length);
Asn systmTimeNext(void* object, std::uint8_t* suffix, int* length);
