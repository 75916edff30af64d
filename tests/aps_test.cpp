#include "engine/aps.hpp"

#include <gtest/gtest.h>

#include "tests/smp_harness.hpp"

namespace {

class ApsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    asnInit(nullptr);
    apsInit();
    ASSERT_EQ(ap0Init(), 0);
    SnmpMib.fill(0);
  }
};

TEST_F(ApsTest, SchemeNamesAreUnique) {
  EXPECT_EQ(ap0Init(), 1);
}

TEST_F(ApsTest, NewRefusesLongUnknownAndDuplicateCommunities) {
  EXPECT_NE(apsNew("0123456789abcdef", "trivial", 0), nullptr);  // 16: allowed
  EXPECT_EQ(apsNew("0123456789abcdefg", "trivial", 0), nullptr);
  EXPECT_EQ(apsNew("mirlen", "other", 0), nullptr);
  ASSERT_NE(apsNew("mirlen", "trivial", 0), nullptr);
  EXPECT_EQ(apsNew("mirlen", "trivial", 0), nullptr);
  EXPECT_NE(apsNew("", "trivial", 0), nullptr);
  EXPECT_NE(apsNew("MIRLEN", "trivial", 0), nullptr);  // names are case-sensitive
}

TEST_F(ApsTest, FreeDropsOneReferenceAndUnlinksAtZero) {
  Aps* entry = apsNew("mirlen", "trivial", 0);
  ASSERT_NE(entry, nullptr);
  Asn msg = decodeMessage(getRequest({}));
  ASSERT_TRUE(msg);
  ASSERT_EQ(apsVerify(msg), entry);
  EXPECT_EQ(entry->references, 2);
  EXPECT_EQ(apsFree(entry), nullptr);
  EXPECT_EQ(apsNew("mirlen", "trivial", 0), nullptr);  // still listed
  apsFree(entry);
  EXPECT_NE(apsNew("mirlen", "trivial", 0), nullptr);  // gone: the text is free again
  EXPECT_EQ(apsFree(nullptr), nullptr);
}

struct VerifyCase {
  const char* name;
  Bytes message;
  bool accepted;
  SnmpCounter counted;  // meaningful when refused
};

TEST_F(ApsTest, VerifyChecksVersionAndCommunity) {
  ASSERT_NE(apsNew("mirlen", "trivial", 0), nullptr);
  ASSERT_NE(apsNew("0123456789abcdef", "trivial", 0), nullptr);
  const Bytes v1 = hexBytes("02 01 01");
  const Bytes v256 = hexBytes("02 02 01 00");
  const VerifyCase cases[] = {
      {"served", getRequest({}), true, snmpInPkts},
      {"version 1", message("mirlen", 0xA0, kRequestId, {}, 0, 0, v1), false, snmpInBadVersions},
      {"version 256", message("mirlen", 0xA0, kRequestId, {}, 0, 0, v256), false,
       snmpInBadVersions},
      {"wrong", getRequest({}, "public"), false, snmpInBadCommunityNames},
      {"wrong case", getRequest({}, "Mirlen"), false, snmpInBadCommunityNames},
      {"prefix", getRequest({}, "mirle"), false, snmpInBadCommunityNames},
      {"longer", getRequest({}, "mirlenx"), false, snmpInBadCommunityNames},
      {"empty", getRequest({}, ""), false, snmpInBadCommunityNames},
      {"16 matching", getRequest({}, "0123456789abcdef"), true, snmpInPkts},
      {"17 bytes", getRequest({}, "0123456789abcdefg"), false, snmpInBadCommunityNames},
      {"NUL and more", getRequest({}, std::string_view("mirlen\0xyz", 10)), true, snmpInPkts},
      {"NUL first", getRequest({}, std::string_view("\0mirlen", 7)), false,
       snmpInBadCommunityNames},
  };
  for (const VerifyCase& c : cases) {
    SCOPED_TRACE(c.name);
    SnmpMib.fill(0);
    Asn msg = decodeMessage(c.message);
    ASSERT_TRUE(msg);
    const ApsHandle entry(apsVerify(msg));
    EXPECT_EQ(entry != nullptr, c.accepted);
    std::array<std::uint32_t, kSnmpMibWords> expected{};
    if (!c.accepted) expected[c.counted] = 1;
    EXPECT_EQ(SnmpMib, expected);
  }
}

TEST_F(ApsTest, DecodeTakesThePduAndEncodeWrapsItAgain) {
  Aps* entry = apsNew("mirlen", "trivial", 0);
  const Bytes request = getRequest({varBind(snmpOid(1), nullValue())});
  Asn msg = decodeMessage(request);
  ASSERT_TRUE(msg);
  Asn pdu = apsDecode(entry, msg);
  ASSERT_TRUE(pdu);
  EXPECT_EQ(asnTag(pdu), 0);
  EXPECT_EQ(asnClass(pdu), kAsnContext);
  Asn again = apsEncode(entry, pdu);
  std::uint8_t out[kSmpMaxDatagram];
  const int n = asnEncode(again, out, sizeof out);
  EXPECT_EQ(hexText(out, n), hexText(request));
  EXPECT_FALSE(apsDecode(nullptr, msg));
  EXPECT_FALSE(apsEncode(nullptr, pdu));
}

}  // namespace
