#include "asn/rdx.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

using DecodeFn = int (*)(std::uint32_t*, const char*);

struct DecodeCase {
  const char* name;
  DecodeFn decode;
  const char* text;
  std::uint32_t stored;
  int result;
};

// One line per case: the value stored is checked on failure too.
const DecodeCase kDecodeCases[] = {
    {"10 empty", rdxDecode10, "", 0, 0},
    {"10 zero", rdxDecode10, "0", 0, 0},
    {"10 161", rdxDecode10, "161", 161, 0},
    {"10 max", rdxDecode10, "4294967295", 0xFFFFFFFFu, 0},
    {"10 2^32 wraps", rdxDecode10, "4294967296", 0, 0},
    {"10 2^32+1 wraps", rdxDecode10, "4294967297", 1, 0},
    {"10 stops at letter", rdxDecode10, "12a", 12, -1},
    {"10 sign", rdxDecode10, "-1", 0, -1},
    {"10 plus", rdxDecode10, "+1", 0, -1},
    {"10 leading blank", rdxDecode10, " 1", 0, -1},
    {"10 trailing blank", rdxDecode10, "1 ", 1, -1},
    {"10 high byte", rdxDecode10, "1\xb1", 1, -1},
    {"08 777", rdxDecode08, "777", 0777, 0},
    {"08 eight", rdxDecode08, "18", 1, -1},
    {"08 max", rdxDecode08, "37777777777", 0xFFFFFFFFu, 0},
    {"16 mixed case", rdxDecode16, "aBcDeF", 0xABCDEF, 0},
    {"16 max", rdxDecode16, "FFFFFFFF", 0xFFFFFFFFu, 0},
    {"16 wraps", rdxDecode16, "100000001", 1, 0},
    {"16 no prefix", rdxDecode16, "0x1", 0, -1},
    {"16 g", rdxDecode16, "1g", 1, -1},
    {"any decimal", rdxDecodeAny, "161", 161, 0},
    {"any octal", rdxDecodeAny, "0241", 161, 0},
    {"any hex lower", rdxDecodeAny, "0xa1", 161, 0},
    {"any hex upper digits", rdxDecodeAny, "0xA1", 161, 0},
    {"any 0x1f90", rdxDecodeAny, "0x1f90", 8080, 0},
    {"any 010", rdxDecodeAny, "010", 8, 0},
    {"any 65697", rdxDecodeAny, "65697", 65697, 0},
    {"any zero", rdxDecodeAny, "0", 0, 0},
    {"any empty", rdxDecodeAny, "", 0, 0},
    {"any bare 0x", rdxDecodeAny, "0x", 0, 0},
    {"any 0x1G", rdxDecodeAny, "0x1G", 1, -1},
    {"any 08", rdxDecodeAny, "08", 0, -1},
    {"any 09", rdxDecodeAny, "09", 0, -1},
    {"any capital X", rdxDecodeAny, "0X1F", 0, -1},
    {"any minus", rdxDecodeAny, "-1", 0, -1},
    {"any null", rdxDecodeAny, nullptr, 0, -1},
};

TEST(Rdx, DecodeTable) {
  for (const auto& c : kDecodeCases) {
    std::uint32_t value = 0xDEADBEEF;
    EXPECT_EQ(c.decode(&value, c.text), c.result) << c.name;
    EXPECT_EQ(value, c.stored) << c.name;
  }
}

TEST(Rdx, Digit16EveryByte) {
  for (int c = -1; c <= 0x1FF; ++c) {
    int expected = -1;
    if (c >= '0' && c <= '9') expected = c - '0';
    if (c >= 'a' && c <= 'f') expected = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') expected = c - 'A' + 10;
    EXPECT_EQ(rdxDigit16(c), expected) << c;
  }
}

using EncodeFn = int (*)(char*, int, std::uint32_t);

struct EncodeCase {
  const char* name;
  EncodeFn encode;
  int maxDigits;
  std::uint32_t value;
  int result;
  const char* text;  // null: buffer untouched
};

const EncodeCase kEncodeCases[] = {
    {"10 zero", rdxEncode10, 1, 0, 1, "0"},
    {"10 nine", rdxEncode10, 1, 9, 1, "9"},
    {"10 ten in one digit", rdxEncode10, 1, 10, -1, nullptr},
    {"10 ten", rdxEncode10, 2, 10, 2, "10"},
    {"10 max in ten", rdxEncode10, 10, 0xFFFFFFFFu, 10, "4294967295"},
    {"10 max in nine", rdxEncode10, 9, 0xFFFFFFFFu, -1, nullptr},
    {"10 max in eleven", rdxEncode10, 11, 0xFFFFFFFFu, 10, "4294967295"},
    {"10 no room", rdxEncode10, 0, 0, -1, nullptr},
    {"10 negative room", rdxEncode10, -3, 5, -1, nullptr},
    {"08 seven", rdxEncode08, 1, 7, 1, "7"},
    {"08 eight", rdxEncode08, 2, 8, 2, "10"},
    {"08 eight in one", rdxEncode08, 1, 8, -1, nullptr},
    {"08 max", rdxEncode08, 11, 0xFFFFFFFFu, 11, "37777777777"},
};

TEST(Rdx, EncodeTable) {
  for (const auto& c : kEncodeCases) {
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(c.encode(buffer, c.maxDigits, c.value), c.result) << c.name;
    if (c.text == nullptr) {
      EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#')) << c.name;
    } else {
      auto n = std::strlen(c.text);
      EXPECT_EQ(std::string(buffer, n + 1), std::string(c.text, n + 1)) << c.name;
      EXPECT_EQ(buffer[n + 1], '#') << c.name << ": wrote past the NUL";
    }
  }
}

TEST(Rdx, EncodeThenDecodeRoundTrips) {
  for (std::uint32_t v : {0u, 1u, 7u, 8u, 9u, 10u, 99u, 100u, 65535u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    char buffer[12];
    std::uint32_t back = 0;
    ASSERT_GT(rdxEncode10(buffer, 10, v), 0);
    EXPECT_EQ(rdxDecode10(&back, buffer), 0);
    EXPECT_EQ(back, v);
    ASSERT_GT(rdxEncode08(buffer, 11, v), 0);
    EXPECT_EQ(rdxDecode08(&back, buffer), 0);
    EXPECT_EQ(back, v);
  }
}

}  // namespace
