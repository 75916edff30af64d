#include "asn/rdx.hpp"

namespace {

int digit10(int c) {
  return c >= '0' && c <= '9' ? c - '0' : -1;
}
int digit08(int c) {
  return c >= '0' && c <= '7' ? c - '0' : -1;
}

int decodeDigits(std::uint32_t* out, const char* text, std::uint32_t radix, int (*digit)(int)) {
  std::uint32_t value = 0;
  int status = 0;
  for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
    int d = digit(*p);
    if (d < 0) {
      status = -1;
      break;
    }
    value = value * radix + static_cast<std::uint32_t>(d);  // wraps modulo 2^32 by design
  }
  *out = value;
  return status;
}

int encodeDigits(char* buffer, int maxDigits, std::uint32_t value, std::uint32_t radix) {
  int count = 1;
  for (std::uint32_t rest = value / radix; rest != 0; rest /= radix) ++count;
  if (count > maxDigits) return -1;  // checked first: a refused value leaves the buffer untouched
  buffer[count] = '\0';
  for (int i = count - 1; i >= 0; --i) {
    buffer[i] = static_cast<char>('0' + value % radix);
    value /= radix;
  }
  return count;
}

}  // namespace

int rdxDigit16(int c) {
  if (c <= 0x2F) return -1;
  if (c <= 0x39) return c - '0';
  c &= ~0x20;  // fold lower case onto upper case
  return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

int rdxDecode10(std::uint32_t* out, const char* text) {
  return decodeDigits(out, text, 10, digit10);
}
int rdxDecode08(std::uint32_t* out, const char* text) {
  return decodeDigits(out, text, 8, digit08);
}
int rdxDecode16(std::uint32_t* out, const char* text) {
  return decodeDigits(out, text, 16, rdxDigit16);
}

int rdxDecodeAny(std::uint32_t* out, const char* text) {
  if (text == nullptr) {
    *out = 0;
    return -1;
  }
  if (text[0] != '0') return rdxDecode10(out, text);
  if (text[1] == 'x') return rdxDecode16(out, text + 2);
  return rdxDecode08(out, text + 1);
}

int rdxEncode10(char* buffer, int maxDigits, std::uint32_t value) {
  return encodeDigits(buffer, maxDigits, value, 10);
}
int rdxEncode08(char* buffer, int maxDigits, std::uint32_t value) {
  return encodeDigits(buffer, maxDigits, value, 8);
}
