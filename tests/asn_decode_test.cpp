#include <gtest/gtest.h>

#include <string>

#include "asn/asn.hpp"
#include "common/snmpmib.hpp"
#include "tests/support.hpp"

namespace {

// The example GetRequest: empty community, request-id 1, one VarBind for 1.3.6 with NULL.
constexpr const char* kGetRequest =
    "30 1A 02 01 00 04 00 A0 13 02 01 01 02 01 00 02 01 00 30 08 30 06 06 02 2B 06 05 00";
constexpr const char* kTrap =
    "30 25 02 01 00 04 00 A4 1E 06 03 2B 06 01 40 04 0A 00 00 01 02 01 00 02 01 00 43 01 05 "
    "30 08 30 06 06 02 2B 06 05 00";

struct DecodeCase {
  const char* name;
  const char* bytes;
  int status;             // result of the byte at `at`; every earlier byte returns 0
  int at;                 // 1-based position of the byte that ends decoding (or the last byte fed)
  const char* canonical;  // re-encoding of a complete message; null: the input itself
};

const DecodeCase kDecodeCases[] = {
    {"get_request", kGetRequest, kAsnComplete, 28, nullptr},
    {"trap", kTrap, kAsnComplete, 39, nullptr},
    {"long_form_root",
     "30 81 1A 02 01 00 04 00 A0 13 02 01 01 02 01 00 02 01 00 30 08 30 06 06 02 2B 06 05 00",
     kAsnComplete, 29, kGetRequest},
    {"indefinite_root",
     "30 80 02 01 00 04 00 A0 13 02 01 01 02 01 00 02 01 00 30 08 30 06 06 02 2B 06 05 00 00 00",
     kAsnComplete, 30, kGetRequest},
    {"get_next_long_form_pdu",
     "30 1B 02 01 00 04 00 A1 81 13 02 01 01 02 01 00 02 01 00 30 08 30 06 06 02 2B 06 05 00",
     kAsnComplete, 29, nullptr},
    {"set_with_community",
     "30 26 02 01 00 04 06 70 75 62 6C 69 63 A3 19 02 01 07 02 01 00 02 01 00 30 0E 30 0C 06 08 "
     "2B 06 01 02 01 01 05 00 04 00",
     kAsnComplete, 0, nullptr},
    {"empty_varbind_list", "30 12 02 01 00 04 00 A0 0B 02 01 01 02 01 00 02 01 00 30 00",
     kAsnComplete, 20, nullptr},
    {"request_id_nine_bytes",
     "30 22 02 01 00 04 00 A0 1B 02 09 01 02 03 04 05 06 07 08 09 02 01 00 02 01 00 30 08 30 06 "
     "06 02 2B 06 05 00",
     kAsnComplete, 36, nullptr},
    {"one_segment_definite_string",
     "30 1F 02 01 00 04 00 A0 18 02 01 01 02 01 00 02 01 00 30 0D 30 0B 06 02 2B 06 "
     "24 05 04 03 41 42 43",
     kAsnComplete, 33, nullptr},
    {"segments_indefinite_string",
     "30 22 02 01 00 04 00 A0 1B 02 01 01 02 01 00 02 01 00 30 10 30 0E 06 02 2B 06 "
     "24 80 04 01 41 04 01 42 00 00",
     kAsnComplete, 36, nullptr},
    {"indefinite_varbind_list",
     "30 1C 02 01 00 04 00 A0 15 02 01 01 02 01 00 02 01 00 30 80 30 06 06 02 2B 06 05 00 00 00",
     kAsnComplete, 30, nullptr},
    {"indefinite_segment_filling_its_string",
     "30 1E 02 01 00 04 00 A0 17 02 01 01 02 01 00 02 01 00 30 0C 30 0A 06 02 2B 06 "
     "24 04 24 80 00 00",
     kAsnComplete, 32, nullptr},
    {"long_form_waits_for_more", "30 84 00 00 10 00", kAsnMore, 6, nullptr},

    {"zero_identifier", "00", kAsnSyntax, 1, nullptr},
    {"primitive_sequence_identifier", "10", kAsnSyntax, 1, nullptr},
    {"length_octet_ff", "30 FF", kAsnSyntax, 2, nullptr},
    {"five_length_octets", "30 85", kAsnSyntax, 2, nullptr},
    {"message_below_minimum", "30 11", kAsnSyntax, 2, nullptr},
    {"negative_long_form_length", "30 84 80 00 00 00", kAsnSyntax, 6, nullptr},
    {"constructed_version", "30 1A 22", kAsnSyntax, 3, nullptr},
    {"high_tag_number_identifier", "30 1A 1F", kAsnSyntax, 3, nullptr},
    {"version_exceeds_message", "30 1A 02 20", kAsnSyntax, 4, nullptr},
    {"indefinite_primitive", "30 1A 02 80", kAsnSyntax, 4, nullptr},
    {"version_not_minimal", "30 1B 02 02 00 00 04 00 A0 13", kAsnSyntax, 6, nullptr},
    {"long_form_exceeds_message", "30 1A 02 01 00 04 84 7F", kAsnSyntax, 8, nullptr},
    {"pdu_tag_a5", "30 1A 02 01 00 04 00 A5", kAsnSyntax, 8, nullptr},
    {"empty_timeticks",
     "30 1A 02 01 00 04 00 A0 13 02 01 01 02 01 00 02 01 00 30 08 30 06 06 02 2B 06 43 00",
     kAsnSyntax, 28, nullptr},
    {"short_ip_address",
     "30 1D 02 01 00 04 00 A0 16 02 01 01 02 01 00 02 01 00 30 0B 30 09 06 02 2B 06 40 03 01 02 "
     "03",
     kAsnSyntax, 28, nullptr},
    {"null_with_contents",
     "30 1B 02 01 00 04 00 A0 14 02 01 01 02 01 00 02 01 00 30 09 30 07 06 02 2B 06 05 01 00",
     kAsnSyntax, 29, nullptr},
    {"object_id_open_subidentifier",
     "30 1A 02 01 00 04 00 A0 13 02 01 01 02 01 00 02 01 00 30 08 30 06 06 02 2B 86 05 00",
     kAsnSyntax, 26, nullptr},
    {"two_segments_in_definite_string",
     "30 20 02 01 00 04 00 A0 19 02 01 01 02 01 00 02 01 00 30 0E 30 0C 06 02 2B 06 "
     "24 06 04 01 41 04 01 42",
     kAsnSyntax, 30, nullptr},
    {"extra_field_in_varbind",
     "30 1C 02 01 00 04 00 A0 15 02 01 01 02 01 00 02 01 00 30 0A 30 08 06 02 2B 06 05 00 05 00",
     kAsnSyntax, 29, nullptr},
    // A last field with a long-form length must fill its enclosing value at once.
    {"long_form_value_short_of_varbind",
     "30 1E 02 01 00 04 00 A0 17 02 01 01 02 01 00 02 01 00 30 0C 30 0A 06 02 2B 06 04 81 01 41 "
     "05 00",
     kAsnSyntax, 29, nullptr},
    {"short_form_value_short_of_varbind",
     "30 1D 02 01 00 04 00 A0 16 02 01 01 02 01 00 02 01 00 30 0B 30 09 06 02 2B 06 04 01 41 05 "
     "00",
     kAsnSyntax, 30, nullptr},
    {"bad_end_of_contents",
     "30 80 02 01 00 04 00 A0 13 02 01 01 02 01 00 02 01 00 30 08 30 06 06 02 2B 06 05 00 00 01",
     kAsnSyntax, 30, nullptr},
    // An indefinite value needs room for its two end-of-contents octets.
    {"indefinite_segment_without_room_for_end",
     "30 1C 02 01 00 04 00 A0 15 02 01 01 02 01 00 02 01 00 30 0A 30 08 06 02 2B 06 24 02 24 80 "
     "00 00",
     kAsnSyntax, 30, nullptr},
    {"indefinite_segment_one_byte_short",
     "30 1D 02 01 00 04 00 A0 16 02 01 01 02 01 00 02 01 00 30 0B 30 09 06 02 2B 06 24 03 24 80 "
     "00 00",
     kAsnSyntax, 30, nullptr},
};

const char* caseBytes(std::string_view name) {
  for (const DecodeCase& c : kDecodeCases) {
    if (name == c.name) return c.bytes;
  }
  return "";
}

struct Fed {
  int status = 0;
  int at = 0;  // bytes fed when the first nonzero status came, or all bytes fed
  Asn root;
};

Fed feed(const Bytes& bytes) {
  Fed fed;
  fed.root = asnNew();
  for (std::uint8_t b : bytes) {
    ++fed.at;
    fed.status = asnDecode(fed.root, b);
    if (fed.status != kAsnMore) break;
  }
  return fed;
}

TEST(AsnDecode, GoldenMessages) {
  for (const DecodeCase& c : kDecodeCases) {
    SCOPED_TRACE(c.name);
    Bytes bytes = hexBytes(c.bytes);
    const std::uint32_t errors = SnmpMib[snmpInASNParseErrs];
    Fed fed = feed(bytes);
    EXPECT_EQ(fed.status, c.status);
    EXPECT_EQ(fed.at, c.at != 0 ? c.at : static_cast<int>(bytes.size()));
    const bool error = c.status == kAsnSyntax || c.status == kAsnNoRoom;
    EXPECT_EQ(SnmpMib[snmpInASNParseErrs] - errors, error ? 1u : 0u);
    // Errors stick, and a byte after completion leaves the tree as it was: any further
    // byte returns the same status and counts.
    if (c.status != kAsnMore) {
      EXPECT_EQ(asnDecode(fed.root, 0x30), c.status);
      EXPECT_EQ(SnmpMib[snmpInASNParseErrs] - errors, error ? 2u : 1u);
    }
    if (c.status == kAsnComplete) {
      EXPECT_EQ(fed.at, static_cast<int>(bytes.size())) << "whole message used";
      EXPECT_EQ(hexText(encoded(fed.root)), c.canonical ? c.canonical : c.bytes);
    } else {
      EXPECT_EQ(asnEncode(fed.root, bytes.data(), static_cast<int>(bytes.size())), -1);
    }
  }
}

TEST(AsnDecode, GetRequestTree) {
  Fed fed = feed(hexBytes(kGetRequest));
  ASSERT_EQ(fed.status, kAsnComplete);
  const Asn& root = fed.root;
  EXPECT_EQ(asnSons(root), 10);
  EXPECT_EQ(asnFreeBytes(root), 4108 - 28 - 10 * 52);
  EXPECT_EQ(asnLength(root), 6);  // all primitive contents: 1 + 0 + 1 + 1 + 1 + 2 + 0
  const struct {
    int index, type, cls, tag, sons;
    bool constructed;
    const char* contents;
  } expected[] = {
      {0, kAsnSequence, 0, 16, 10, true, "00 01 00 00 2B 06"},
      {1, kAsnInteger, 0, 2, 0, false, "00"},
      {2, kAsnOctets, 0, 4, 0, false, ""},
      {3, kAsnSequence, 2, 0, 7, true, "01 00 00 2B 06"},
      {4, kAsnInteger, 0, 2, 0, false, "01"},
      {5, kAsnInteger, 0, 2, 0, false, "00"},
      {6, kAsnInteger, 0, 2, 0, false, "00"},
      {7, kAsnSequenceOf, 0, 16, 3, true, "2B 06"},
      {8, kAsnSequence, 0, 16, 2, true, "2B 06"},
      {9, kAsnObjectId, 0, 6, 0, false, "2B 06"},
      {10, kAsnNull, 0, 5, 0, false, ""},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.index);
    Asn c = asnComponent(root, static_cast<std::uint16_t>(e.index));
    ASSERT_TRUE(c);
    EXPECT_EQ(asnType(c), e.type);
    EXPECT_EQ(asnClass(c), e.cls);
    EXPECT_EQ(asnTag(c), e.tag);
    EXPECT_EQ(asnSons(c), e.sons);
    EXPECT_EQ(asnConstructor(c) != 0, e.constructed);
    std::uint8_t buf[16];
    int n = asnContents(c, buf, sizeof buf);
    ASSERT_GE(n, 0);
    EXPECT_EQ(hexText(buf, static_cast<std::size_t>(n)), e.contents);
  }
  EXPECT_EQ(asnComponent(root, 11), nullptr);
  EXPECT_EQ(hexText(encoded(asnComponent(root, 8))), "30 06 06 02 2B 06 05 00");
}

TEST(AsnDecode, TrapTree) {
  Fed fed = feed(hexBytes(kTrap));
  ASSERT_EQ(fed.status, kAsnComplete);
  EXPECT_EQ(asnSons(fed.root), 12);
  const struct {
    int index, type, cls, tag;
    const char* contents;
  } expected[] = {
      {3, kAsnSequence, 2, 4, nullptr},     {4, kAsnObjectId, 0, 6, "2B 06 01"},
      {5, kAsnOctets, 1, 0, "0A 00 00 01"}, {6, kAsnInteger, 0, 2, "00"},
      {7, kAsnInteger, 0, 2, "00"},         {8, kAsnInteger, 1, 3, "05"},
      {9, kAsnSequenceOf, 0, 16, nullptr},  {10, kAsnSequence, 0, 16, nullptr},
      {11, kAsnObjectId, 0, 6, "2B 06"},    {12, kAsnNull, 0, 5, ""},
  };
  for (const auto& e : expected) {
    SCOPED_TRACE(e.index);
    Asn c = asnComponent(fed.root, static_cast<std::uint16_t>(e.index));
    EXPECT_EQ(asnType(c), e.type);
    EXPECT_EQ(asnClass(c), e.cls);
    EXPECT_EQ(asnTag(c), e.tag);
    if (e.contents) {
      EXPECT_EQ(hexText(asnValue(c), static_cast<std::size_t>(asnLength(c))), e.contents);
    }
  }
}

TEST(AsnDecode, ConstructedStringSegments) {
  Fed fed =
      feed(hexBytes(caseBytes("segments_indefinite_string")));  // 24 80 04 01 41 04 01 42 00 00
  ASSERT_EQ(fed.status, kAsnComplete);
  Asn value = asnComponent(fed.root, 10);
  EXPECT_EQ(asnType(value), kAsnSequenceOf);
  EXPECT_EQ(asnTag(value), 4);
  EXPECT_EQ(asnSons(value), 2);
  EXPECT_EQ(asnLength(value), 2);
  std::uint8_t buf[4];
  EXPECT_EQ(asnContents(value, buf, 4), 2);
  EXPECT_EQ(hexText(buf, 2), "41 42");
  // The value keeps its encoding as received.
  EXPECT_EQ(hexText(encoded(value)), "24 06 04 01 41 04 01 42");
  // Its VarBind skips to the end of the list: index + descendants + 1.
  Asn bind = asnComponent(fed.root, 8);
  EXPECT_EQ(8 + asnSons(bind) + 1, asnSons(fed.root) + 1);
}

// 30 06 06 02 2B 06 05 00 repeated inside a GetRequest with long-form lengths.
Bytes getRequestWithBinds(int binds) {
  Bytes list;
  for (int i = 0; i < binds; ++i) list = list + hexBytes("30 06 06 02 2B 06 05 00");
  Bytes pdu = hexBytes("02 01 01 02 01 00 02 01 00") + tlv(0x30, list);
  return tlv(0x30, hexBytes("02 01 00 04 00") + tlv(0xA0, pdu));
}

TEST(AsnDecode, RoomFor22MinimalVarBindsNot23) {
  for (int binds : {21, 22}) {
    SCOPED_TRACE(binds);
    Bytes bytes = getRequestWithBinds(binds);
    Fed fed = feed(bytes);
    ASSERT_EQ(fed.status, kAsnComplete);
    EXPECT_EQ(fed.at, static_cast<int>(bytes.size()));
    EXPECT_EQ(asnSons(fed.root), 7 + 3 * binds);
    EXPECT_EQ(asnFreeBytes(fed.root), 4108 - static_cast<int>(bytes.size()) - 52 * (7 + 3 * binds));
    EXPECT_EQ(encoded(fed.root), bytes);
    // VarBinds follow each other at index + descendants + 1.
    int index = 8;
    for (int i = 0; i < binds; ++i) {
      Asn bind = asnComponent(fed.root, static_cast<std::uint16_t>(index));
      ASSERT_EQ(asnType(bind), kAsnSequence);
      index += asnSons(bind) + 1;
    }
    EXPECT_EQ(index, asnSons(fed.root) + 1);
  }
  Bytes bytes = getRequestWithBinds(23);
  const std::uint32_t errors = SnmpMib[snmpInASNParseErrs];
  Fed fed = feed(bytes);
  EXPECT_EQ(fed.status, kAsnNoRoom);
  // The 23rd value's identifier finds no room for its node.
  EXPECT_EQ(fed.at, static_cast<int>(bytes.size()) - 1);
  EXPECT_EQ(SnmpMib[snmpInASNParseErrs] - errors, 1u);
}

TEST(AsnDecode, ByteWithoutRoomFails) {
  // A long octet string runs the block out of bytes: 4108 - 52 for the
  // root's child leaves room for exactly 4056 bytes.
  Asn root = asnNew();
  Bytes head = hexBytes("30 84 00 00 10 00 02 84 00 00 0F E0");
  int status = 0;
  int fed = 0;
  for (std::uint8_t b : head) {
    status = asnDecode(root, b);
    ++fed;
  }
  ASSERT_EQ(status, kAsnMore);
  while (status == kAsnMore && fed < 5000) {
    status = asnDecode(root, 0x01);
    ++fed;
  }
  EXPECT_EQ(status, kAsnNoRoom);
  EXPECT_EQ(fed, 4108 - 52 + 1);
  EXPECT_EQ(asnFreeBytes(root), 0);
  EXPECT_EQ(asnDecode(root, 0x01), kAsnNoRoom);
}

TEST(AsnDecode, NullRootCounts) {
  const std::uint32_t errors = SnmpMib[snmpInASNParseErrs];
  EXPECT_EQ(asnDecode(nullptr, 0x30), kAsnNoRoom);
  EXPECT_EQ(SnmpMib[snmpInASNParseErrs] - errors, 1u);
}

TEST(AsnDecode, UnfinishedTreeCannotBeUsed) {
  Asn root = asnNew();
  EXPECT_EQ(asnDecode(root, 0x30), kAsnMore);
  Asn seq = asnSequence(0, 16, kAsnSequence);
  EXPECT_EQ(asnAppend(seq, root), kAsnNoRoom);
  EXPECT_EQ(asnAppend(root, asnIntl(0, 2, 1)), kAsnNoRoom);
  std::uint8_t buf[8];
  EXPECT_EQ(asnEncode(root, buf, 8), -1);
  EXPECT_EQ(asnSons(seq), 0);
  EXPECT_EQ(asnFreeBytes(seq), 4108);
}

TEST(AsnDecode, UnfinishedTreeContentsAreNotRead) {
  // The root claims 2^31 - 1 bytes that never arrive.
  Asn root = asnNew();
  for (std::uint8_t b : hexBytes("30 84 7F FF FF FF 02 01")) asnDecode(root, b);
  std::uint8_t buf[8];
  EXPECT_EQ(asnContents(root, buf, 8), -1);
}

TEST(AsnDecode, DecodedTreesCombineWithBuiltOnes) {
  Fed fed = feed(hexBytes(kGetRequest));
  Asn list = asnComponent(fed.root, 7);
  Asn pdu = asnSequence(2, 2, kAsnSequence);
  ASSERT_EQ(asnAppend(pdu, asnIntl(0, 2, 1)), 0);
  ASSERT_EQ(asnAppend(pdu, asnIntl(0, 2, 0)), 0);
  ASSERT_EQ(asnAppend(pdu, asnIntl(0, 2, 0)), 0);
  ASSERT_EQ(asnAppend(pdu, list), 0);
  EXPECT_EQ(hexText(encoded(pdu)),
            "A2 13 02 01 01 02 01 00 02 01 00 30 08 30 06 06 02 2B 06 05 00");
  EXPECT_EQ(asnSons(pdu), 7);
  EXPECT_EQ(hexText(asnValue(asnComponent(pdu, 6)), 2), "2B 06");
}

TEST(AsnDecode, AppendToIndefiniteRootReplacesItsEndOctets) {
  Fed fed = feed(hexBytes(caseBytes("indefinite_root")));  // 30 80 ... 00 00
  ASSERT_EQ(fed.status, kAsnComplete);
  ASSERT_EQ(asnAppend(fed.root, asnIntl(0, 2, 9)), 0);
  Bytes expected = hexBytes(kGetRequest);
  expected[1] = 0x1D;
  for (std::uint8_t b : hexBytes("02 01 09")) expected.push_back(b);
  EXPECT_EQ(hexText(encoded(fed.root)), hexText(expected));
  EXPECT_EQ(hexText(asnValue(asnComponent(fed.root, 11)), 1), "09");
}

}  // namespace
