// Default operations for the slots an object does not implement.
#pragma once

#include <cstdint>

#include "asn/asn.hpp"

int GeneralRelease(void* object);
int GeneralCreate(void* object, const std::uint8_t* suffix, int length, const Asn& value);
int GeneralDestroy(void* object, const std::uint8_t* suffix, int length);
int GeneralSet(void* object, const std::uint8_t* suffix, int length, const Asn& value);
