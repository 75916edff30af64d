// Message building: values, bindings, replies, the originating path, and
// incoming GetResponse and Trap PDUs handed to the upcall.
#include <gtest/gtest.h>

#include "tests/smp_harness.hpp"

namespace {

struct ValueCase {
  int type;
  Bytes bytes;
  std::uint32_t number;
  const char* expected;  // "" when nothing may be built
};

TEST(SmpBuildValue, FollowsTheTypeVectors) {
  const ValueCase cases[] = {
      {kSmpInteger, {}, 0xFFFFFFFFu, "02 01 FF"},
      {kSmpInteger, {}, 0, "02 01 00"},
      {kSmpInteger, {}, 0x80000000u, "02 04 80 00 00 00"},
      {kSmpOctetString, text("ab"), 0, "04 02 61 62"},
      {kSmpIpAddress, hexBytes("C0 A8 00 01"), 0, "40 04 C0 A8 00 01"},
      {kSmpIpAddress, hexBytes("C0 A8 00 01 02"), 0, ""},
      {kSmpIpAddress, hexBytes("C0 A8 00"), 0, ""},
      {kSmpOpaque, text("z"), 0, "44 01 7A"},
      {kSmpCounter, {}, 0xFFFFFFFFu, "41 05 00 FF FF FF FF"},
      {kSmpGauge, {}, 128, "42 02 00 80"},
      {kSmpTimeTicks, {}, 5, "43 01 05"},
      {kSmpObjectId, hexBytes("2B 06"), 0, "06 02 2B 06"},
      {kSmpObjectId, hexBytes("2B 86"), 0, ""},
      {kSmpNull, {}, 0, "05 00"},
      {kSmpUnknown, {}, 0, ""},
      {kSmpValueTypes, {}, 0, ""},
      {-1, {}, 0, ""},
  };
  const Bytes name = hexBytes("2B 06");
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.type);
    SmpBind b{2, name.data(), c.type, static_cast<int>(c.bytes.size()), c.bytes.data(), c.number};
    Asn value = smpBuildValue(&b);
    EXPECT_EQ(hexText(encoded(value)), c.expected);
  }
  EXPECT_FALSE(smpBuildValue(nullptr));
}

TEST(SmpBuildBind, NameThenValue) {
  const Bytes name = hexBytes("2B 06 01 02 01 01 05 00");
  const Bytes value = text("box");
  SmpBind b{8, name.data(), kSmpOctetString, 3, value.data(), 0};
  EXPECT_EQ(hexText(encoded(smpBuildBind0(&b))),
            "30 0F 06 08 2B 06 01 02 01 01 05 00 04 03 62 6F 78");
  const Bytes bad = hexBytes("2B 86");
  b.name = bad.data();
  b.nameLength = 2;
  EXPECT_FALSE(smpBuildBind0(&b));  // a name whose last byte continues
  EXPECT_FALSE(smpBuildBind0(nullptr));
}

class SmpReplyTest : public AgentTest {};

TEST_F(SmpReplyTest, ErrorIndexIsZeroWithoutError) {
  Asn msg = decodeMessage(getRequest({varBind(snmpOid(1), nullValue())}));
  Asn request = asnComponent(msg, 3);
  Asn empty = asnSequence(kAsnUniversal, 16, kAsnSequenceOf);
  EXPECT_EQ(hexText(encoded(smpReply(request, 0, 7, empty))),
            "A2 0E 02 04 12 34 56 78 02 01 00 02 01 00 30 00");
  // An error reply carries the request's own bindings.
  EXPECT_EQ(hexText(encoded(smpReply(request, 2, 3, empty))),
            "A2 1C 02 04 12 34 56 78 02 01 02 02 01 03 "
            "30 0E 30 0C 06 08 2B 06 01 02 01 0B 01 00 05 00");
  EXPECT_EQ(SnmpMib[snmpOutGetResponses], 2u);
  // Counted also when nothing can be built.
  Asn notAPdu = asnIntl(kAsnUniversal, 2, 1);
  EXPECT_FALSE(smpReply(notAPdu, 0, 0, empty));
  EXPECT_EQ(SnmpMib[snmpOutGetResponses], 3u);
}

TEST_F(SmpReplyTest, RequestIdIsCopiedByteForByte) {
  const Bytes ids[] = {hexBytes("02 04 12 34 56 78"), hexBytes("02 01 FF"), hexBytes("02 01 00"),
                       hexBytes("02 05 00 FF FF FF FF"),
                       hexBytes("02 09 01 02 03 04 05 06 07 08 09")};
  for (const Bytes& id : ids) {
    SCOPED_TRACE(hexText(id));
    const Bytes reply = exchange(message("mirlen", 0xA0, id, {}));
    EXPECT_EQ(hexText(reply), hexText(response({}, 0, 0, "mirlen", id)));
  }
}

TEST_F(SmpReplyTest, BuildsTrapsAndRequestsForSending) {
  const Bytes enterprise = hexBytes("2B 06 01 04 01 CE 0F");
  const Bytes agent = hexBytes("0A 00 00 01");
  const Bytes name = hexBytes("2B 06 01 02 01 01 03 00");
  SmpBind binds[] = {{8, name.data(), kSmpTimeTicks, 0, nullptr, 300}};
  SmpPdu trap{};
  trap.type = kSmpTrap;
  trap.community = entry_.get();
  trap.enterprise = enterprise.data();
  trap.enterpriseLength = 7;
  trap.agentAddress = agent.data();
  trap.agentAddressLength = 4;
  trap.genericTrap = 6;
  trap.specificTrap = 1;
  trap.timeStamp = 200;
  trap.bindingCount = 1;
  trap.bindings = binds;
  Capture c;
  Smp* context = smpNew(&c, captureSend, captureUpcall);
  EXPECT_EQ(smpRequest(context, &trap), 0);
  SmpPdu request = trap;
  request.type = kSmpGetNextRequest;
  request.requestId = 0x80000000u;
  EXPECT_EQ(smpRequest(context, &request), 0);
  smpFree(context);
  ASSERT_EQ(c.replies.size(), 2u);
  EXPECT_EQ(hexText(c.replies[0]),
            "30 38 02 01 00 04 06 6D 69 72 6C 65 6E "
            "A4 2B 06 07 2B 06 01 04 01 CE 0F 40 04 0A 00 00 01 02 01 06 02 01 01 43 02 00 C8 "
            "30 10 30 0E 06 08 2B 06 01 02 01 01 03 00 43 02 01 2C");
  EXPECT_EQ(hexText(c.replies[1]),
            "30 2C 02 01 00 04 06 6D 69 72 6C 65 6E "
            "A1 1F 02 05 00 80 00 00 00 02 01 00 02 01 00 "
            "30 10 30 0E 06 08 2B 06 01 02 01 01 03 00 43 02 01 2C");
  EXPECT_EQ(SnmpMib[snmpOutPkts], 2u);
  EXPECT_EQ(SnmpMib[snmpOutGenErrs], 0u);
}

TEST_F(SmpReplyTest, OriginatingFailuresAreCountedAndSendNothing) {
  const Bytes name = hexBytes("2B 06 01 02 01 01 03 00");
  const Bytes five = hexBytes("01 02 03 04 05");
  SmpBind badAddress[] = {{8, name.data(), kSmpIpAddress, 5, five.data(), 0}};
  SmpPdu pdu{};
  pdu.community = entry_.get();
  Capture c;
  Smp* context = smpNew(&c, captureSend, captureUpcall);
  pdu.type = kSmpSetRequest;
  pdu.bindingCount = 1;
  pdu.bindings = badAddress;
  EXPECT_NE(smpRequest(context, &pdu), 0);  // a binding that cannot be built
  EXPECT_NE(smpRequest(nullptr, &pdu), 0);
  EXPECT_NE(smpRequest(context, nullptr), 0);
  pdu.bindingCount = 0;
  pdu.community = nullptr;
  EXPECT_NE(smpRequest(context, &pdu), 0);  // no community to wrap it
  smpFree(context);
  EXPECT_TRUE(c.replies.empty());
  EXPECT_EQ(SnmpMib[snmpOutGenErrs], 4u);
  EXPECT_EQ(SnmpMib[snmpOutSetRequests], 1u);
  EXPECT_EQ(SnmpMib[snmpOutPkts], 0u);
}

TEST_F(SmpReplyTest, SendNeverPutsMoreThanADatagramOnTheWire) {
  const std::string big(kSmpMaxDatagram, 'x');
  Asn list = asnSequence(kAsnUniversal, 16, kAsnSequenceOf);
  Asn value = asnOctetString(kAsnUniversal, 4, reinterpret_cast<const std::uint8_t*>(big.data()),
                             static_cast<int>(big.size()));
  const Bytes name = snmpOid(1);
  ASSERT_EQ(asnAppend(list, smpBuildBind1(name.data(), 8, value)), 0);
  Asn requestId = asnUnsl(kAsnUniversal, 2, 1);
  Asn pdu = smpBuildMsg(kSmpGetRequest, requestId, 0, 0, list);
  ASSERT_TRUE(pdu);
  Capture c;
  Smp* context = smpNew(&c, captureSend, captureUpcall);
  EXPECT_EQ(smpSend(context, entry_.get(), pdu), 1);
  smpFree(context);
  EXPECT_TRUE(c.replies.empty());
  EXPECT_EQ(SnmpMib[snmpOutPkts], 1u);
}

TEST_F(SmpReplyTest, IncomingTrapReachesTheUpcallAndIsNotAnswered) {
  const Bytes trap = tlv(
      0x30,
      join({hexBytes("02 01 00"), octets("mirlen"),
            tlv(0xA4,
                join({hexBytes("06 03 2B 06 01 40 04 0A 00 00 01 02 01 06 02 01 01 43 01 05"),
                      tlv(0x30, join({varBind(hexBytes("2B 06"), hexBytes("02 01 F6")),
                                      varBind(hexBytes("2B 07"), hexBytes("41 02 01 00"))}))}))}));
  Capture c;
  EXPECT_EQ(feed(c, trap), 0);
  EXPECT_TRUE(c.replies.empty());
  ASSERT_EQ(c.upcalls.size(), 1u);
  const SmpPdu& r = c.upcalls[0];
  EXPECT_EQ(r.type, kSmpTrap);
  EXPECT_EQ(r.community, entry_.get());
  EXPECT_EQ(r.enterpriseLength, 3);
  EXPECT_EQ(r.agentAddressLength, 4);
  EXPECT_EQ(r.genericTrap, 6u);
  EXPECT_EQ(r.specificTrap, 1u);
  EXPECT_EQ(r.timeStamp, 5u);
  ASSERT_EQ(r.bindingCount, 2);
  EXPECT_EQ(c.upcallBinds[0][0].type, kSmpInteger);
  EXPECT_EQ(c.upcallBinds[0][0].number, 0xF6u);  // the first byte reads unsigned
  EXPECT_EQ(c.upcallBinds[0][1].type, kSmpCounter);
  EXPECT_EQ(c.upcallBinds[0][1].number, 256u);
  EXPECT_EQ(c.upcallBinds[0][1].nameLength, 2);
  EXPECT_EQ(SnmpMib[snmpInTraps], 1u);
  EXPECT_EQ(SnmpMib[snmpOutPkts], 0u);
}

// 22 short bindings are as many as one decoding block holds.
TEST_F(SmpReplyTest, IncomingResponseKeepsTwentyBindings) {
  std::vector<Bytes> binds;
  for (int n = 1; n <= 22; ++n)
    binds.push_back(
        varBind(hexBytes("2B 06"), hexBytes("43 01") + Bytes{static_cast<std::uint8_t>(n)}));
  Capture c;
  EXPECT_EQ(feed(c, response(binds, 5, 3)), 0);
  EXPECT_TRUE(c.replies.empty());
  ASSERT_EQ(c.upcalls.size(), 1u);
  EXPECT_EQ(c.upcalls[0].type, kSmpGetResponse);
  EXPECT_EQ(c.upcalls[0].requestId, 0x12345678u);
  EXPECT_EQ(c.upcalls[0].errorStatus, 5u);
  EXPECT_EQ(c.upcalls[0].errorIndex, 3);
  EXPECT_EQ(c.upcalls[0].bindingCount, kSmpCrackedBinds);
  EXPECT_EQ(c.upcallBinds[0][19].type, kSmpTimeTicks);
  EXPECT_EQ(c.upcallBinds[0][19].number, 20u);
  EXPECT_EQ(SnmpMib[snmpInGetResponses], 1u);
}

TEST_F(SmpReplyTest, RefusedUpcallClosesTheContextUncounted) {
  Capture c;
  c.upcallResult = 1;
  EXPECT_EQ(feed(c, response({}) + getRequest({})), 1);
  EXPECT_EQ(c.upcalls.size(), 1u);
  EXPECT_TRUE(c.replies.empty());  // the Get behind it is not read
  EXPECT_EQ(SnmpMib[snmpInGetResponses], 0u);
}

}  // namespace

TEST_F(SmpReplyTest, OriginatingCountsEachPduTypeUnderItsOwnCounter) {
  const Bytes enterprise = hexBytes("2B 06 01 04 01");
  const Bytes agent = hexBytes("0A 00 00 01");
  struct {
    int type;
    SnmpCounter counter;  // snmpInPkts stands for "none"
    std::uint8_t tag;     // PDU identifier on the wire, 0 when nothing is sent
  } const cases[] = {
      {kSmpGetRequest, snmpOutGetRequests, 0xA0},
      {kSmpGetNextRequest, snmpOutGetNexts, 0xA1},
      {kSmpGetResponse, snmpOutGetResponses, 0xA2},
      {kSmpSetRequest, snmpOutSetRequests, 0xA3},
      {kSmpTrap, snmpOutTraps, 0xA4},
      {-1, snmpInPkts, 0},
      {5, snmpInPkts, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    SnmpMib.fill(0);
    SmpPdu pdu{};
    pdu.type = c.type;
    pdu.community = entry_.get();
    pdu.enterprise = enterprise.data();
    pdu.enterpriseLength = static_cast<int>(enterprise.size());
    pdu.agentAddress = agent.data();
    pdu.agentAddressLength = 4;
    Capture sent;
    Smp* context = smpNew(&sent, captureSend, captureUpcall);
    const int result = smpRequest(context, &pdu);
    smpFree(context);
    if (c.tag == 0) {
      EXPECT_NE(result, 0);
      EXPECT_TRUE(sent.replies.empty());
      EXPECT_EQ(SnmpMib[snmpOutGenErrs], 1u);
      continue;
    }
    EXPECT_EQ(result, 0);
    ASSERT_EQ(sent.replies.size(), 1u);
    EXPECT_EQ(sent.replies[0][13], c.tag);  // after 30 L 02 01 00 04 06 "mirlen"
    EXPECT_EQ(SnmpMib[c.counter], 1u);
    EXPECT_EQ(SnmpMib[snmpOutGenErrs], 0u);
  }
}
