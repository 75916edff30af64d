// Unsigned numerals as text: decimal, octal and hexadecimal in, decimal and octal out.
// Decoders store the value of the digits read so far (modulo 2^32) and return 0, or -1
// at the first bad character. Encoders write digits and a NUL (one byte beyond
// maxDigits) and return the digit count, or -1 writing nothing when maxDigits is too small.
#pragma once

#include <cstdint>

int rdxDecode10(std::uint32_t* out, const char* text);
int rdxDecode08(std::uint32_t* out, const char* text);
int rdxDecode16(std::uint32_t* out, const char* text);  // digits only, no 0x prefix

// "0x..." hexadecimal, "0..." octal, anything else decimal. A null text fails, storing 0.
int rdxDecodeAny(std::uint32_t* out, const char* text);

// Value 0-15 of a hexadecimal digit character, else -1.
int rdxDigit16(int c);

int rdxEncode10(char* buffer, int maxDigits, std::uint32_t value);
int rdxEncode08(char* buffer, int maxDigits, std::uint32_t value);
