// Default operations for the slots an object does not implement.
#pragma once

#include <cstdint>

#include "asn/asn.hpp"
#include "mib/mix.hpp"

int GeneralRelease(void* object);
int GeneralCreate(void* object, const std::uint8_t* suffix, int length, const Asn& value);
int GeneralDestroy(void* object, const std::uint8_t* suffix, int length);
int GeneralSet(void* object, const std::uint8_t* suffix, int length, const Asn& value);

// The operations table of an object with its own Next and Get: Set is read-only unless the
// object brings its own, and every other slot is a default above.
constexpr MixOps GeneralOps(decltype(MixOps::next) next, decltype(MixOps::get) get,
                            decltype(MixOps::set) set = GeneralSet) {
  return MixOps{GeneralRelease, GeneralCreate, GeneralDestroy, next, get, set};
}
