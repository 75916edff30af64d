// The message context on the wire: datagrams fed through smpInput, replies
// captured as bytes, counters compared word for word.
#include <gtest/gtest.h>

#include <map>

#include "tests/smp_harness.hpp"

namespace {

using Counts = std::map<SnmpCounter, std::uint32_t>;

struct WireCase {
  const char* name;
  Bytes datagram;
  std::vector<Bytes> replies;
  int result;  // of the last byte fed
  Counts counts;
};

const Counts kAnsweredGet = {
    {snmpInGetRequests, 1}, {snmpInTotalReqVars, 1}, {snmpOutGetResponses, 1}, {snmpOutPkts, 1}};

std::array<std::uint32_t, kSnmpMibWords> expectedMib(const Counts& counts) {
  std::array<std::uint32_t, kSnmpMibWords> mib{};
  mib[snmpEnableAuthenTraps] = 2;
  for (const auto& [counter, value] : counts) mib[counter] = value;
  return mib;
}

class SmpInputTest : public AgentTest {
 protected:
  void check(const WireCase& c) {
    SCOPED_TRACE(c.name);
    reset();  // fresh counters and objects for every case
    Capture capture;
    EXPECT_EQ(feed(capture, c.datagram), c.result);
    ASSERT_EQ(capture.replies.size(), c.replies.size());
    for (std::size_t i = 0; i < c.replies.size(); ++i)
      EXPECT_EQ(hexText(capture.replies[i]), hexText(c.replies[i]));
    EXPECT_EQ(SnmpMib, expectedMib(c.counts));
  }
};

TEST_F(SmpInputTest, GetOfThreeScalars) {
  const Bytes request = hexBytes(
      "30 45 02 01 00 04 06 6D 69 72 6C 65 6E A0 38 02 04 12 34 56 78 02 01 00 02 01 00 30 2A "
      "30 0C 06 08 2B 06 01 02 01 0B 01 00 05 00 30 0C 06 08 2B 06 01 02 01 0B 02 00 05 00 "
      "30 0C 06 08 2B 06 01 02 01 0B 1E 00 05 00");
  const Bytes reply = hexBytes(
      "30 48 02 01 00 04 06 6D 69 72 6C 65 6E A2 3B 02 04 12 34 56 78 02 01 00 02 01 00 30 2D "
      "30 0D 06 08 2B 06 01 02 01 0B 01 00 41 01 00 30 0D 06 08 2B 06 01 02 01 0B 02 00 41 01 00 "
      "30 0D 06 08 2B 06 01 02 01 0B 1E 00 02 01 02");
  check({"three scalars", request, {reply}, 0, kAnsweredGet});
}

TEST_F(SmpInputTest, NoSuchNameEchoesTheRequestsBindings) {
  const Bytes request = hexBytes(
      "30 45 02 01 00 04 06 6D 69 72 6C 65 6E A0 38 02 04 12 34 56 78 02 01 00 02 01 00 30 2A "
      "30 0C 06 08 2B 06 01 02 01 0B 01 00 05 00 30 0C 06 08 2B 06 01 02 01 0B 1F 00 05 00 "
      "30 0C 06 08 2B 06 01 02 01 0B 02 00 05 00");
  Bytes reply = request;
  reply[13] = 0xA2;  // GetResponse
  reply[23] = 0x02;  // error-status noSuchName
  reply[26] = 0x02;  // error-index 2
  Counts counts = kAnsweredGet;
  counts[snmpInNoSuchNames] = 1;
  counts[snmpOutNoSuchNames] = 1;
  check({"noSuchName at 2", request, {reply}, 0, counts});
}

TEST_F(SmpInputTest, FramingAndErrors) {
  const Bytes one = getRequest({varBind(snmpOid(30), nullValue())});
  const Bytes answer = response({varBind(snmpOid(30), hexBytes("02 01 02"))});
  Counts twoGets = kAnsweredGet;
  for (auto& [counter, value] : twoGets) value = 2;
  Counts strayByte = kAnsweredGet;
  strayByte[snmpInASNParseErrs] = 1;
  strayByte[snmpInGenErrs] = 1;
  Counts trapThenGet = kAnsweredGet;
  trapThenGet[snmpInTraps] = 1;
  // Too many bindings for the decoder's room: tooBig with no bindings, if the community holds.
  const Bytes upTime = varBind(hexBytes("2B 06 01 02 01 01 03 00"), nullValue());
  const std::vector<Bytes> many(22, upTime);
  const Bytes tooBig = hexBytes(
      "30 1B 02 01 00 04 06 6D 69 72 6C 65 6E A2 0E 02 04 12 34 56 78 02 01 01 02 01 00 30 00");
  Counts outgrown = {{snmpInASNParseErrs, 1},
                     {snmpInGenErrs, 1},
                     {snmpOutTooBigs, 1},
                     {snmpOutGetResponses, 1},
                     {snmpOutPkts, 1}};
  // The last binding's value is filler: at kFits bytes the message just fits the room.
  constexpr std::size_t kFits = 137;  // a message of 468 bytes
  std::vector<Bytes> filled(20, varBind(snmpOid(30), nullValue()));
  filled.push_back(varBind(snmpOid(30), tlv(0x04, Bytes(kFits, 'x'))));
  std::vector<Bytes> answers(21, varBind(snmpOid(30), hexBytes("02 01 02")));
  std::vector<Bytes> over = filled;
  over.back() = varBind(snmpOid(30), tlv(0x04, Bytes(kFits + 1, 'x')));
  const Bytes v1 = hexBytes("02 01 01");
  const WireCase cases[] = {
      {"empty binding list",
       getRequest({}),
       {hexBytes("30 1B 02 01 00 04 06 6D 69 72 6C 65 6E A2 0E 02 04 12 34 56 78 02 01 00 "
                 "02 01 00 30 00")},
       0,
       kAnsweredGet},
      {"two messages, two replies", one + one, {answer, answer}, 0, twoGets},
      {"message and a stray byte", one + Bytes{0x00}, {answer}, 1, strayByte},
      {"stray byte then message",
       Bytes{0x00} + one,
       {},
       1,
       {{snmpInASNParseErrs, 1}, {snmpInGenErrs, 1}}},
      {"cut short", Bytes(one.begin(), one.end() - 1), {}, 0, {}},
      {"not a sequence", hexBytes("31 00"), {}, 1, {{snmpInASNParseErrs, 1}, {snmpInGenErrs, 1}}},
      {"version 1",
       message("mirlen", 0xA0, kRequestId, {}, 0, 0, v1) + one,
       {},
       1,
       {{snmpInBadVersions, 1}}},
      {"wrong community", getRequest({}, "public") + one, {}, 1, {{snmpInBadCommunityNames, 1}}},
      {"NUL and more matches",
       message(std::string_view("mirlen\0xyz", 10), 0xA0, kRequestId, {}),
       {response({})},
       0,
       kAnsweredGet},
      {"Trap with a wrong community", trap("public"), {}, 1, {{snmpInBadCommunityNames, 1}}},
      {"Trap", trap("mirlen") + one, {answer}, 0, trapThenGet},
      {"22 bindings", getRequest(many), {tooBig}, 1, outgrown},
      {"22 bindings, wrong community",
       getRequest(many, "public"),
       {},
       1,
       {{snmpInASNParseErrs, 1}, {snmpInGenErrs, 1}, {snmpInBadCommunityNames, 1}}},
      {"room exactly filled", getRequest(filled), {response(answers)}, 0, kAnsweredGet},
      {"one byte over the room", getRequest(over), {tooBig}, 1, outgrown},
  };
  for (const WireCase& c : cases) check(c);
}

// Schemes other than "trivial" may refuse a message or fail to unwrap it.
int refuseAll(const Asn&) {
  return 0;
}
int acceptAll(const Asn&) {
  return 1;
}
Asn noPdu(int, const Asn&) {
  return nullptr;
}
Asn samePdu(int, const Asn& pdu) {
  return asnComponent(pdu, 0);
}

TEST_F(SmpInputTest, SchemeRefusalsAreCountedAndUnanswered) {
  ASSERT_EQ(apsScheme("refusing", refuseAll, samePdu, ap0OpDecode), 0);
  ASSERT_EQ(apsScheme("opaque", acceptAll, samePdu, noPdu), 0);
  const ApsHandle refusing(apsNew("refused", "refusing", 0));
  const ApsHandle opaque(apsNew("opaque", "opaque", 0));
  Capture c;
  EXPECT_EQ(feed(c, getRequest({}, "refused")), 1);
  EXPECT_EQ(feed(c, getRequest({}, "opaque")), 1);
  EXPECT_TRUE(c.replies.empty());
  EXPECT_EQ(SnmpMib, expectedMib({{snmpInBadCommunityNames, 1}, {snmpInGenErrs, 1}}));
  EXPECT_EQ(refusing->references, 1);  // the message's reference is dropped on every path
  EXPECT_EQ(opaque->references, 1);
}

TEST_F(SmpInputTest, SixteenByteCommunityThatMatches) {
  const ApsHandle sixteen(apsNew("0123456789abcdef", "trivial", 0));
  ASSERT_TRUE(sixteen);
  Capture c;
  EXPECT_EQ(feed(c, getRequest({}, "0123456789abcdef")), 0);
  ASSERT_EQ(c.replies.size(), 1u);
  EXPECT_EQ(hexText(c.replies[0]), hexText(response({}, 0, 0, "0123456789abcdef")));
}

// Every byte but the last needs more input; the reply goes out on the last.
TEST_F(SmpInputTest, ByteByByteTheReplyLeavesOnTheLastByte) {
  const Bytes requests[] = {
      getRequest({varBind(snmpOid(1), nullValue()), varBind(snmpOid(2), nullValue())}),
      nextRequest({varBind(hexBytes("2B 06 01 02 01 0B"), nullValue())}),
      setRequest({varBind(textOid(3), octets("new"))}),
      getRequest({}),
  };
  for (const Bytes& request : requests) {
    SCOPED_TRACE(hexText(request));
    Capture c;
    Smp* context = smpNew(&c, captureSend, captureUpcall);
    for (std::size_t i = 0; i < request.size(); ++i) {
      ASSERT_EQ(smpInput(context, request[i]), 0);
      ASSERT_EQ(c.replies.size(), i + 1 == request.size() ? 1u : 0u);
    }
    // The context is ready for a further message at once.
    for (std::uint8_t b : request) ASSERT_EQ(smpInput(context, b), 0);
    EXPECT_EQ(c.replies.size(), 2u);
    smpFree(context);
  }
}

TEST_F(SmpInputTest, AClosedContextStaysClosed) {
  Capture c;
  Smp* context = smpNew(&c, captureSend, captureUpcall);
  EXPECT_EQ(smpInput(context, 0x31), 1);
  for (std::uint8_t b : getRequest({})) EXPECT_EQ(smpInput(context, b), 1);
  smpFree(context);
  EXPECT_TRUE(c.replies.empty());
  EXPECT_EQ(SnmpMib[snmpInASNParseErrs], 1u);  // later bytes are not decoded
  EXPECT_EQ(SnmpMib[snmpInGenErrs], 1u);
}

TEST_F(SmpInputTest, AFailedSendClosesTheContextAndIsNotCountedAsAnswered) {
  Capture c;
  c.sendResult = 1;
  EXPECT_EQ(feed(c, getRequest({}) + getRequest({})), 1);
  EXPECT_EQ(c.replies.size(), 1u);
  EXPECT_EQ(SnmpMib, expectedMib({{snmpOutGetResponses, 1}, {snmpOutPkts, 1}}));
}

TEST_F(SmpInputTest, NoContextCountsAGeneralError) {
  EXPECT_EQ(smpInput(nullptr, 0x30), 1);
  EXPECT_EQ(SnmpMib[snmpInGenErrs], 1u);
  EXPECT_EQ(smpFree(nullptr), nullptr);
}

TEST_F(SmpInputTest, HalfDecodedMessageIsReleasedWithTheContext) {
  Capture c;
  Smp* context = smpNew(&c, captureSend, captureUpcall);
  const Bytes request = getRequest({varBind(snmpOid(1), nullValue())});
  for (std::size_t i = 0; i + 3 < request.size(); ++i) smpInput(context, request[i]);
  EXPECT_TRUE(context->decoder);
  smpFree(context);  // the sanitizer build reports a leaked tree
  EXPECT_TRUE(c.replies.empty());
}

}  // namespace
