#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

#include "asn/asn.hpp"
#include "tests/support.hpp"

namespace {

Asn octets(int length, std::uint8_t fill = 0x41) {
  Bytes bytes(static_cast<std::size_t>(length), fill);
  return asnOctetString(kAsnUniversal, 4, bytes.data(), length);
}

Asn seqOf(std::initializer_list<Asn> children, int cls = kAsnUniversal, int tag = 16,
          int type = kAsnSequence) {
  Asn seq = asnSequence(cls, tag, type);
  for (const Asn& child : children) {
    if (asnAppend(seq, child) != 0) return nullptr;
  }
  return seq;
}

struct EncodeCase {
  const char* name;
  std::function<Asn()> build;
  const char* bytes;
};

const EncodeCase kEncodeCases[] = {
    {"unsl_0", [] { return asnUnsl(0, 2, 0); }, "02 01 00"},
    {"unsl_127", [] { return asnUnsl(0, 2, 127); }, "02 01 7F"},
    {"unsl_128", [] { return asnUnsl(0, 2, 128); }, "02 02 00 80"},
    {"unsl_65535", [] { return asnUnsl(0, 2, 65535); }, "02 03 00 FF FF"},
    {"unsl_2147483648", [] { return asnUnsl(0, 2, 2147483648u); }, "02 05 00 80 00 00 00"},
    {"unsl_max", [] { return asnUnsl(0, 2, 4294967295u); }, "02 05 00 FF FF FF FF"},
    {"counter", [] { return asnUnsl(1, 1, 256); }, "41 02 01 00"},
    {"gauge", [] { return asnUnsl(1, 2, 10); }, "42 01 0A"},
    {"timeticks", [] { return asnUnsl(1, 3, 0x12345678); }, "43 04 12 34 56 78"},
    {"intl_5", [] { return asnIntl(0, 2, 5); }, "02 01 05"},
    {"intl_minus_1", [] { return asnIntl(0, 2, -1); }, "02 01 FF"},
    {"intl_minus_128", [] { return asnIntl(0, 2, -128); }, "02 01 80"},
    {"intl_minus_129", [] { return asnIntl(0, 2, -129); }, "02 02 FF 7F"},
    {"intl_min", [] { return asnIntl(0, 2, INT_MIN); }, "02 04 80 00 00 00"},
    {"intl_max", [] { return asnIntl(0, 2, INT_MAX); }, "02 04 7F FF FF FF"},
    {"ip_address",
     [] {
       Bytes ip = hexBytes("0A 00 00 01");
       return asnOctetString(1, 0, ip.data(), 4);
     },
     "40 04 0A 00 00 01"},
    {"object_id",
     [] {
       Bytes oid = hexBytes("2B 06 01 02 01 01 01");
       return asnObjectId(0, 6, oid.data(), 7);
     },
     "06 07 2B 06 01 02 01 01 01"},
    {"object_id_empty", [] { return asnObjectId(0, 6, nullptr, 0); }, "06 00"},
    {"null", [] { return asnPrim(0, 5, kAsnNull, nullptr, 0); }, "05 00"},
    {"tag_30_low_form", [] { return asnPrim(2, 30, kAsnNull, nullptr, 0); }, "9E 00"},
    {"tag_31_high_form", [] { return asnPrim(2, 31, kAsnNull, nullptr, 0); }, "9F 1F 00"},
    {"tag_127", [] { return asnPrim(3, 127, kAsnNull, nullptr, 0); }, "DF 7F 00"},
    {"tag_128", [] { return asnPrim(3, 128, kAsnNull, nullptr, 0); }, "DF 81 00 00"},
    {"tag_153_application", [] { return asnPrim(1, 153, kAsnNull, nullptr, 0); }, "5F 81 19 00"},
    {"tag_max", [] { return asnPrim(0, -1, kAsnNull, nullptr, 0); }, "1F 8F FF FF FF 7F 00"},
    {"constructed_high_tag", [] { return asnSequence(1, 200, kAsnSequence); }, "7F 81 48 00"},
    {"empty_sequence", [] { return asnSequence(0, 16, kAsnSequence); }, "30 00"},
    {"two_integers",
     [] {
       return seqOf({asnIntl(0, 2, 5), asnIntl(0, 2, 5)});
     },
     "30 06 02 01 05 02 01 05"},
    {"nested",
     [] {
       Bytes oid = hexBytes("2B 06");
       return seqOf({seqOf(
           {seqOf({asnObjectId(0, 6, oid.data(), 2), asnPrim(0, 5, kAsnNull, nullptr, 0)})})});
     },
     "30 0A 30 08 30 06 06 02 2B 06 05 00"},
    {"get_response_pdu",
     [] {
       return seqOf({asnIntl(0, 2, 1), asnIntl(0, 2, 0), asnIntl(0, 2, 0), seqOf({})}, 2, 2);
     },
     "A2 0B 02 01 01 02 01 00 02 01 00 30 00"},
};

TEST(AsnEncode, GoldenVectors) {
  for (const EncodeCase& c : kEncodeCases) {
    SCOPED_TRACE(c.name);
    Asn value = c.build();
    ASSERT_TRUE(value);
    Bytes expected = hexBytes(c.bytes);
    EXPECT_EQ(hexText(encoded(value)), hexText(expected));
    // One byte less than needed never writes a partial encoding.
    Bytes small(expected.size() - 1);
    EXPECT_EQ(asnEncode(value, small.data(), static_cast<int>(small.size())), -1);
  }
}

TEST(AsnEncode, LengthForms) {
  const struct {
    int length;
    const char* header;
  } cases[] = {
      {0, "04 00"},         {127, "04 7F"},         {128, "04 81 80"},         {255, "04 81 FF"},
      {256, "04 82 01 00"}, {65535, "04 82 FF FF"}, {65536, "04 83 01 00 00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    Asn value = octets(c.length);
    Bytes header = hexBytes(c.header);
    Bytes out = encoded(value);
    ASSERT_EQ(out.size(), header.size() + static_cast<std::size_t>(c.length));
    EXPECT_EQ(hexText(out.data(), header.size()), c.header);
    EXPECT_EQ(asnLength(value), c.length);
  }
}

TEST(AsnEncode, TagAndLengthNeedRoomForEveryOctet) {
  Asn value = asnPrim(1, 153, kAsnOctets, nullptr, 0);
  std::uint8_t out[8] = {};
  EXPECT_EQ(asnEncodeTag(value, out, 0), 0);
  EXPECT_EQ(asnEncodeTag(value, out, 2), 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(asnEncodeTag(value, out, 3), 3);

  Asn big = octets(256);
  EXPECT_EQ(asnEncodeLength(big, out, 0), 0);
  EXPECT_EQ(asnEncodeLength(big, out, 2), 0);
  EXPECT_EQ(asnEncodeLength(big, out, 3), 3);
  Asn small = octets(1);
  EXPECT_EQ(asnEncodeLength(small, out, 0), 0);
  EXPECT_EQ(asnEncodeLength(small, out, 1), 1);
  EXPECT_EQ(asnEncodeTag(nullptr, out, 8), 0);
  EXPECT_EQ(asnEncodeLength(nullptr, out, 8), 0);
}

TEST(AsnValue, PrimitiveBlockCapacity) {
  // (S div 52 + 1) * 52 free bytes; the contents of a primitive are not charged.
  EXPECT_EQ(asnFreeBytes(octets(0)), 52);
  EXPECT_EQ(asnFreeBytes(octets(51)), 52);
  EXPECT_EQ(asnFreeBytes(octets(52)), 104);
  EXPECT_EQ(asnFreeBytes(asnSequence(0, 16, kAsnSequence)), 4108);
  EXPECT_EQ(asnFreeBytes(nullptr), -1);
}

TEST(AsnValue, SequenceTakes74OneByteIntegersAndRefusesThe75th) {
  Asn seq = asnSequence(0, 16, kAsnSequence);
  for (int i = 0; i < 74; ++i) {
    Asn child = asnIntl(0, 2, i);
    ASSERT_EQ(asnAppend(seq, child), 0) << i;
  }
  Bytes before = encoded(seq);
  EXPECT_EQ(asnFreeBytes(seq), 4108 - 74 * 55);
  Asn last = asnIntl(0, 2, 74);
  EXPECT_EQ(asnAppend(seq, last), kAsnNoRoom);
  EXPECT_EQ(asnSons(seq), 74);
  EXPECT_EQ(asnFreeBytes(seq), 4108 - 74 * 55);
  Bytes after = encoded(seq);
  EXPECT_EQ(after, before);
  ASSERT_EQ(after.size(), 3u + 74 * 3);
  EXPECT_EQ(hexText(after.data(), 6), "30 81 DE 02 01 00");
}

// Leaves exactly `left` free bytes in a fresh sequence with one octet string.
Asn sequenceWithFree(int left) {
  Asn seq = asnSequence(0, 16, kAsnSequence);
  // One child costs 52 + 4 (04 82 hi lo) + length.
  Asn filler = octets(4108 - 52 - 4 - left);
  if (asnAppend(seq, filler) != 0) return nullptr;
  return seq;
}

TEST(AsnValue, AppendFitsExactlyAtTheLastFreeByte) {
  const Asn one = asnIntl(0, 2, 1);                       // costs 52 + 3
  const Asn empty = asnPrim(0, 5, kAsnNull, nullptr, 0);  // costs 52 + 2
  const struct {
    int left;
    const Asn* child;
    int cost;  // 0: refused
  } cases[] = {
      {54, &one, 0},    {55, &one, 55},
      {56, &one, 55},   {51, &empty, 0},  // the node does not fit, though its data would
      {54, &empty, 54},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.left);
    Asn seq = sequenceWithFree(c.left);
    ASSERT_TRUE(seq);
    ASSERT_EQ(asnFreeBytes(seq), c.left);
    Bytes before = encoded(seq);
    int result = asnAppend(seq, *c.child);
    if (c.cost == 0) {
      EXPECT_EQ(result, kAsnNoRoom);
      EXPECT_EQ(encoded(seq), before);
      EXPECT_EQ(asnFreeBytes(seq), c.left);
      EXPECT_EQ(asnSons(seq), 1);
    } else {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(asnFreeBytes(seq), c.left - c.cost);
      EXPECT_EQ(asnSons(seq), 2);
    }
  }
}

TEST(AsnValue, AppendRefusals) {
  Asn seq = asnSequence(0, 16, kAsnSequence);
  Asn prim = asnIntl(0, 2, 1);
  EXPECT_EQ(asnAppend(nullptr, prim), kAsnNoRoom);
  EXPECT_EQ(asnAppend(seq, nullptr), kAsnNoRoom);
  EXPECT_EQ(asnAppend(prim, prim), kAsnNoRoom);  // not constructed

  Asn inner = seqOf({});
  ASSERT_EQ(asnAppend(seq, inner), 0);
  Asn component = asnComponent(seq, 1);
  ASSERT_TRUE(component);
  EXPECT_TRUE(asnConstructor(component));
  EXPECT_EQ(asnAppend(component, prim), kAsnNoRoom);  // not a block root
  EXPECT_EQ(asnSons(seq), 1);
}

TEST(AsnValue, AppendCopiesNodesWithTheirContents) {
  Bytes oid = hexBytes("2B 06 01");
  Asn bind = seqOf({asnObjectId(0, 6, oid.data(), 3), asnUnsl(1, 1, 300)});
  Asn list = seqOf({bind, bind});
  ASSERT_TRUE(list);
  EXPECT_EQ(asnSons(list), 6);
  EXPECT_EQ(asnLength(list), 2 * (3 + 2));
  const struct {
    int index, type, cls, tag, sons;
    const char* contents;
  } expected[] = {
      {1, kAsnSequence, 0, 16, 2, "2B 06 01 01 2C"},
      {2, kAsnObjectId, 0, 6, 0, "2B 06 01"},
      {3, kAsnInteger, 1, 1, 0, "01 2C"},
      {4, kAsnSequence, 0, 16, 2, "2B 06 01 01 2C"},
      {5, kAsnObjectId, 0, 6, 0, "2B 06 01"},
      {6, kAsnInteger, 1, 1, 0, "01 2C"},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.index);
    Asn c = asnComponent(list, static_cast<std::uint16_t>(e.index));
    ASSERT_TRUE(c);
    EXPECT_EQ(asnType(c), e.type);
    EXPECT_EQ(asnClass(c), e.cls);
    EXPECT_EQ(asnTag(c), e.tag);
    EXPECT_EQ(asnSons(c), e.sons);
    std::uint8_t buf[16];
    int n = asnContents(c, buf, sizeof buf);
    ASSERT_GE(n, 0);
    EXPECT_EQ(hexText(buf, static_cast<std::size_t>(n)), e.contents);
  }
  Asn value = asnComponent(list, 6);
  EXPECT_EQ(asnNumber(asnValue(value), asnLength(value)), 300u);
  EXPECT_EQ(hexText(encoded(value)), "41 02 01 2C");
  EXPECT_EQ(hexText(encoded(asnComponent(list, 4))), "30 09 06 03 2B 06 01 41 02 01 2C");
}

TEST(AsnValue, AppendingATreeToItselfCopiesItsOldState) {
  Asn seq = seqOf({asnIntl(0, 2, 7)});
  ASSERT_EQ(asnAppend(seq, seq), 0);
  EXPECT_EQ(hexText(encoded(seq)), "30 08 02 01 07 30 03 02 01 07");
  EXPECT_EQ(asnSons(seq), 3);
  EXPECT_EQ(asnSons(asnComponent(seq, 2)), 1);
  EXPECT_EQ(hexText(encoded(asnComponent(seq, 3))), "02 01 07");
}

TEST(AsnValue, ComponentIndexBounds) {
  Asn seq = seqOf({asnIntl(0, 2, 1), asnIntl(0, 2, 2)});
  EXPECT_EQ(asnComponent(nullptr, 0), nullptr);
  Asn self = asnComponent(seq, 0);
  EXPECT_EQ(asnSons(self), 2);
  Asn last = asnComponent(seq, 2);
  ASSERT_TRUE(last);
  EXPECT_EQ(*asnValue(last), 2);
  EXPECT_EQ(asnComponent(seq, 3), nullptr);
  // Indexes are relative to the value they are taken from.
  Asn inner = asnComponent(seq, 1);
  EXPECT_EQ(asnComponent(inner, 1), nullptr);
}

TEST(AsnValue, HandlesShareTheBlock) {
  Asn seq = seqOf({asnIntl(0, 2, 42)});
  Asn child = asnComponent(seq, 1);
  Asn copy = child;
  EXPECT_EQ(asnFree(seq), nullptr);
  EXPECT_EQ(seq, nullptr);
  EXPECT_EQ(asnFree(child), nullptr);
  // The block lives while any handle does.
  EXPECT_EQ(*asnValue(copy), 42);
  Asn moved = std::move(copy);
  EXPECT_EQ(copy, nullptr);
  EXPECT_EQ(*asnValue(moved), 42);
  Asn nothing;
  EXPECT_EQ(asnFree(nothing), nullptr);
  Asn& alias = moved;
  moved = alias;  // self-assignment keeps the reference
  EXPECT_EQ(*asnValue(moved), 42);
}

TEST(AsnValue, AccessorsOfNull) {
  EXPECT_EQ(asnTag(nullptr), 0);
  EXPECT_EQ(asnSons(nullptr), 0);
  EXPECT_EQ(asnValue(nullptr), nullptr);
  EXPECT_EQ(asnContents(nullptr, nullptr, 0), -1);
  std::uint8_t out[4];
  EXPECT_EQ(asnEncode(nullptr, out, 4), -1);
  EXPECT_EQ(asnValue(asnSequence(0, 16, kAsnSequence)), nullptr);
}

TEST(AsnValue, ObjectIdMustEndASubidentifier) {
  Bytes open = hexBytes("2B 86");
  EXPECT_EQ(asnObjectId(0, 6, open.data(), 2), nullptr);
  Bytes closed = hexBytes("2B 86 01");
  EXPECT_TRUE(asnObjectId(0, 6, closed.data(), 3));
}

TEST(AsnValue, ContentsOfAConstructedString) {
  Bytes abc = hexBytes("41 42 43");
  Bytes defg = hexBytes("44 45 46 47");
  Asn str = seqOf({asnOctetString(0, 4, abc.data(), 3), asnOctetString(0, 4, defg.data(), 4)}, 0, 4,
                  kAsnSequenceOf);
  ASSERT_TRUE(str);
  EXPECT_EQ(hexText(encoded(str)), "24 0B 04 03 41 42 43 04 04 44 45 46 47");
  EXPECT_EQ(asnLength(str), 7);
  std::uint8_t buf[8] = {};
  EXPECT_EQ(asnContents(str, buf, 5), -1);
  EXPECT_EQ(hexText(buf, 4), "41 42 43 00");  // what fitted before the overflow stays
  EXPECT_EQ(asnContents(str, buf, 6), -1);
  EXPECT_EQ(asnContents(str, buf, 7), 7);
  EXPECT_EQ(hexText(buf, 7), "41 42 43 44 45 46 47");
}

TEST(AsnValue, NumberKeepsTheLastFourBytes) {
  const struct {
    const char* bytes;
    std::uint32_t number;
  } cases[] = {
      {"FF", 255u},
      {"FF FF FF FF", 4294967295u},
      {"00 FF FF FF FF", 4294967295u},
      {"01 02 03 04 05 06 07 08 09", 0x06070809u},
      {"00 80", 128u},
  };
  for (const auto& c : cases) {
    Bytes b = hexBytes(c.bytes);
    EXPECT_EQ(asnNumber(b.data(), static_cast<int>(b.size())), c.number) << c.bytes;
  }
}

TEST(AsnValue, RejectsImpossibleSizes) {
  EXPECT_EQ(asnOctetString(0, 4, nullptr, -1), nullptr);
  EXPECT_EQ(asnOctetString(0, 4, nullptr, 5), nullptr);
  // Slot numbers are 16-bit, which bounds the size of one block.
  Asn huge = octets(65535 * 52);
  EXPECT_EQ(huge, nullptr);
}

}  // namespace
