#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "asn/oid.hpp"
#include "tests/support.hpp"

namespace {

struct EncodeCase {
  const char* text;
  int room;
  int result;
  const char* bytes;  // what the buffer starts with afterwards
};

const EncodeCase kEncodeCases[] = {
    {"1.3.6.1.2.1.1.1", 128, 7, "2B 06 01 02 01 01 01"},
    {"1.3.6.1.2.1.1.1", 8, 7, "2B 06 01 02 01 01 01"},
    {"1.3.6.1.2.1.1.1", 7, -1, "2B 06 01 02 01 01"},  // must fit in fewer bytes than the room
    {"1.3.6.1.4.1.200", 128, 7, "2B 06 01 04 01 81 48"},
    {"1.3.4294967295", 128, 6, "2B 8F FF FF FF 7F"},
    {"1.3.4294967296", 128, 2, "2B 00"},  // arcs wrap modulo 2^32
    {"", 128, 0, ""},
    {"", 0, -1, ""},
    {"1", 128, -1, ""},
    {"1.40", 128, -1, ""},
    {"1.39", 128, 1, "4F"},
    {"2.5", 128, 1, "55"},
    {"5.3", 128, 2, "81 4B"},  // the first arc is not limited
    {"1.3a", 128, -1, ""},
    {"1.3.-6", 128, -1, "2B"},
    {"1..3", 128, 2, "28 03"},  // an empty arc counts as 0
    {"1.3.", 128, 2, "2B 00"},
    {".3", 128, 1, "03"},
    {"1.3.128", 4, 3, "2B 81 00"},
    {"1.3.128", 3, -1, "2B"},
};

TEST(Oid, Encode) {
  for (const EncodeCase& c : kEncodeCases) {
    SCOPED_TRACE(std::string(c.text) + " room " + std::to_string(c.room));
    std::uint8_t out[128] = {};
    EXPECT_EQ(oidEncode(out, c.room, c.text), c.result);
    Bytes expected = hexBytes(c.bytes);
    EXPECT_EQ(hexText(out, expected.size()), hexText(expected));
    EXPECT_EQ(out[expected.size()], 0) << "nothing written beyond";
  }
}

TEST(Oid, EncodeSubidNeverUsesTheLastByteOfTheRoom) {
  const struct {
    std::uint32_t subid;
    int room, result;
    const char* bytes;
  } cases[] = {
      {0, 2, 1, "00"},
      {127, 2, 1, "7F"},
      {127, 1, 1, "00"},
      {128, 3, 2, "81 00"},
      {128, 2, 2, "00 00"},
      {200, 3, 2, "81 48"},
      {16383, 3, 2, "FF 7F"},
      {16384, 4, 3, "81 80 00"},
      {4294967295u, 6, 5, "8F FF FF FF 7F"},
      {4294967295u, 5, 5, "00 00 00 00 00"},
      {1, 0, 0, "00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.subid);
    std::uint8_t out[8] = {};
    EXPECT_EQ(oidEncodeSubid(out, c.room, c.subid), c.result);
    Bytes expected = hexBytes(c.bytes);
    EXPECT_EQ(hexText(out, expected.size()), hexText(expected));
  }
}

struct DecodeCase {
  const char* bytes;
  int maximum;
  int result;
  const char* text;
};

const DecodeCase kDecodeCases[] = {
    {"2B 06 01 02 01 01 01", 64, 15, "1.3.6.1.2.1.1.1"},
    {"2B 06 01 02 01 01 01", 15, 15, "1.3.6.1.2.1.1.1"},
    {"2B 06 01 02 01 01 01", 14, -1, "1.3.6.1.2.1.1"},
    {"2B 06 01 02 01 01 01", 13, -1, "1.3.6.1.2.1.1"},
    {"2B 06 01 02 01 01 01", 12, -1, "1.3.6.1.2.1"},
    {"81 48", 64, 3, "5.0"},
    {"7B", 64, 3, "3.3"},
    {"2B 06 01 04 01 81 48", 64, 15, "1.3.6.1.4.1.200"},
    {"2B 8F FF FF FF 7F", 64, 14, "1.3.4294967295"},
    {"2B 86", 64, 5, "1.3.6"},  // an unfinished subidentifier keeps its digits
    {"2B", 2, -1, "1"},
    {"2B", 3, 3, "1.3"},
};

TEST(Oid, Decode) {
  for (const DecodeCase& c : kDecodeCases) {
    SCOPED_TRACE(std::string(c.bytes) + " max " + std::to_string(c.maximum));
    Bytes bytes = hexBytes(c.bytes);
    char out[80];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(oidDecode(out, c.maximum, bytes.data(), static_cast<int>(bytes.size())), c.result);
    EXPECT_STREQ(out, c.text);
    for (std::size_t i = static_cast<std::size_t>(c.maximum) + 1; i < sizeof out; ++i) {
      ASSERT_EQ(out[i], 'x') << "written beyond maximum + 1 at " << i;
    }
  }
}

TEST(Oid, DecodeLeavesTheBufferWhenTheFirstArcDoesNotFit) {
  Bytes bytes = hexBytes("81 48");  // 200: first arc 5
  char out[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(oidDecode(out, 0, bytes.data(), 2), -1);
  EXPECT_EQ(std::string(out, 4), "xxxx");
  EXPECT_EQ(oidDecode(out, 3, bytes.data(), 0), -1);
}

TEST(Oid, RoundTrip) {
  for (const char* text : {"1.3.6.1.2.1.1.1", "1.3.6.1.4.1.4294967295.0.127.128.16383.16384", "0.0",
                           "2.39", "1.3.6.1.2.1.10.33.1.1"}) {
    SCOPED_TRACE(text);
    std::uint8_t bytes[128];
    int n = oidEncode(bytes, sizeof bytes, text);
    ASSERT_GT(n, 0);
    char back[128];
    EXPECT_EQ(oidDecode(back, 127, bytes, n), static_cast<int>(std::strlen(text)));
    EXPECT_STREQ(back, text);
  }
}

}  // namespace
