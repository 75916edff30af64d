// Object identifiers between dotted decimal text ("1.3.6.1.2.1.1.1") and their
// BER contents bytes (2B 06 01 02 01 01 01), the form every table and value uses.
#pragma once

#include <cstdint>

// Bytes written (0 for an empty text), or -1 for bad text or when the encoding
// does not fit in fewer bytes than `room`. Bytes written before a failure stay.
int oidEncode(std::uint8_t* out, int room, const char* text);

// Base-128 digits of one subidentifier: their count, or `room` itself (writing
// nothing) when they do not fit in fewer bytes than `room`.
int oidEncodeSubid(std::uint8_t* out, int room, std::uint32_t subid);

// Dotted text of `count` (at least 1) contents bytes, at most `maximum`
// characters plus a NUL: its length, or -1 when it does not fit (the text then
// ends before the arc that did not fit).
int oidDecode(char* out, int maximum, const std::uint8_t* bytes, int count);
