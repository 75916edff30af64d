// The snmp group: its instances, and every counter moving as the traffic
// that changes it, read back over the wire.
#include <gtest/gtest.h>

#include <map>

#include "tests/smp_harness.hpp"

namespace {

class SnmpGroupTest : public AgentTest {};

TEST_F(SnmpGroupTest, StartsClearedWithAuthenticationTrapsDisabled) {
  SnmpMib.fill(7);
  ASSERT_EQ(smpInit(), 1);  // already registered in this index
  std::array<std::uint32_t, kSnmpMibWords> expected{};
  expected[snmpEnableAuthenTraps] = 2;
  EXPECT_EQ(SnmpMib, expected);
}

struct GetCase {
  Bytes suffix;
  const char* expected;  // "" for no instance
};

TEST_F(SnmpGroupTest, GetServesThirtyInstances) {
  SnmpMib[snmpInPkts] = 0x80000000u;
  SnmpMib[snmpOutPkts] = 127;
  SnmpMib[snmpInBadVersions] = 128;
  SnmpMib[snmpUnused7] = 9;  // Get serves the unassigned words as they stand
  const GetCase cases[] = {
      {{1, 0}, "41 05 00 80 00 00 00"},
      {{2, 0}, "41 01 7F"},
      {{3, 0}, "41 02 00 80"},
      {{7, 0}, "41 01 09"},
      {{23, 0}, "41 01 00"},
      {{29, 0}, "41 01 00"},
      {{30, 0}, "02 01 02"},
      {{1}, ""},
      {{1, 1}, ""},
      {{31, 0}, ""},
      {{0, 0}, ""},
      {{1, 0, 0}, ""},
      {{}, ""},
      {{0x81, 0}, ""},
  };
  for (const GetCase& c : cases) {
    SCOPED_TRACE(hexText(c.suffix));
    Asn value = snmpGet(nullptr, c.suffix.data(), static_cast<int>(c.suffix.size()));
    EXPECT_EQ(hexText(encoded(value)), c.expected);
  }
}

struct NextCase {
  Bytes suffix;
  int next;  // 0: none in the group
};

TEST_F(SnmpGroupTest, NextFollowsTheTable) {
  const NextCase cases[] = {
      {{}, 1},       {{0}, 1},      {{1}, 1},     {{7}, 7},       {{30}, 30},
      {{31}, 0},     {{0, 0}, 1},   {{1, 0}, 2},  {{5, 0, 9}, 6}, {{6, 0}, 8},
      {{22, 5}, 24}, {{29, 0}, 30}, {{30, 0}, 0}, {{0x81, 0}, 0},
  };
  for (const NextCase& c : cases) {
    SCOPED_TRACE(hexText(c.suffix));
    std::uint8_t buffer[kMixOidBuffer] = {};
    std::copy(c.suffix.begin(), c.suffix.end(), buffer);
    int length = static_cast<int>(c.suffix.size());
    Asn value = snmpNext(nullptr, buffer, &length);
    if (c.next == 0) {
      EXPECT_FALSE(value);
      continue;
    }
    ASSERT_TRUE(value);
    EXPECT_EQ(length, 2);
    EXPECT_EQ(buffer[0], c.next);
    EXPECT_EQ(buffer[1], 0);
  }
}

// --- counters over the wire -------------------------------------------------

using Counts = std::map<SnmpCounter, std::uint32_t>;

class SnmpCountersTest : public AgentTest {
 protected:
  // Reads .1 to .30 with two Gets (a single one would outgrow its result list).
  std::vector<std::uint32_t> readGroup() {
    std::vector<std::uint32_t> words;
    for (int first : {1, 16}) {
      std::vector<Bytes> binds;
      for (int n = first; n < first + 15; ++n) binds.push_back(varBind(snmpOid(n), nullValue()));
      Asn msg = decodeMessage(exchange(getRequest(binds)));
      EXPECT_TRUE(msg);
      Asn list = asnComponent(msg, 7);
      for (int i = 0; i < 15; ++i) {
        Asn value = asnComponent(list, static_cast<std::uint16_t>(3 * i + 3));
        words.push_back(asnNumber(asnValue(value), asnLength(value)));
      }
    }
    return words;
  }
};

struct Traffic {
  const char* name;
  std::vector<Bytes> datagrams;
  Counts moved;
  int sendResult = 0;
  int upcallResult = 0;
};

TEST_F(SnmpCountersTest, EveryCounterMovesAsItsTrafficSays) {
  const Bytes get1 = getRequest({varBind(snmpOid(1), nullValue())});
  const Counts answered = {{snmpOutGetResponses, 1}, {snmpOutPkts, 1}};
  auto with = [](Counts c,
                 std::initializer_list<std::pair<const SnmpCounter, std::uint32_t>> more) {
    for (const auto& [k, v] : more) c[k] += v;
    return c;
  };
  const Counts getOk = with(answered, {{snmpInGetRequests, 1}, {snmpInTotalReqVars, 1}});
  const Counts nextOk = with(answered, {{snmpInGetNexts, 1}, {snmpInTotalReqVars, 1}});
  const Counts setOk = with(answered, {{snmpInSetRequests, 1}});
  auto twice = [](Counts c) {
    for (auto& [k, v] : c) v *= 2;
    return c;
  };
  std::vector<Bytes> twenty;
  for (int n = 1; n <= 20; ++n) twenty.push_back(varBind(textOid(n), octets("t")));
  std::vector<Bytes> bigs;
  for (int n = 1; n <= 5; ++n) bigs.push_back(varBind(sizedOid(n), nullValue()));
  const Traffic traffic[] = {
      {"Get", {get1}, getOk},
      {"Get of three in one request",
       {getRequest({varBind(snmpOid(1), nullValue()), varBind(snmpOid(2), nullValue()),
                    varBind(snmpOid(3), nullValue())})},
       getOk},
      {"GetNext", {nextRequest({varBind(snmpOid(1), nullValue())})}, nextOk},
      {"Get noSuchName",
       {getRequest({varBind(snmpOid(31), nullValue())})},
       with(getOk, {{snmpInNoSuchNames, 1}, {snmpOutNoSuchNames, 1}})},
      {"GetNext past the end",
       {nextRequest({varBind(snmpOid(30), nullValue())})},
       with(nextOk, {{snmpInNoSuchNames, 1}, {snmpOutNoSuchNames, 1}})},
      {"Set of a read-only counter",
       {setRequest({varBind(snmpOid(30), hexBytes("02 01 01"))})},
       with(setOk, {{snmpInTotalSetVars, 1}})},
      {"Set", {setRequest({varBind(textOid(1), octets("x"))})}, setOk},
      {"Set of twenty", {setRequest(twenty)}, with(setOk, {{snmpOutTooBigs, 1}})},
      {"Get too big for the datagram", {getRequest(bigs)}, with(getOk, {{snmpOutTooBigs, 1}})},
      {"bad version",
       {message("mirlen", 0xA0, kRequestId, {}, 0, 0, hexBytes("02 01 01"))},
       {{snmpInBadVersions, 1}}},
      {"bad community", {getRequest({}, "public")}, {{snmpInBadCommunityNames, 1}}},
      {"parse error",
       {hexBytes("30 03 02 01 00 00")},
       {{snmpInASNParseErrs, 1}, {snmpInGenErrs, 1}}},
      {"stray byte",
       {get1 + Bytes{0xFF}},
       with(getOk, {{snmpInASNParseErrs, 1}, {snmpInGenErrs, 1}})},
      {"GetResponse", {response({})}, {{snmpInGetResponses, 1}}},
      {"Trap", {trap("mirlen")}, {{snmpInTraps, 1}}},
      {"upcall refuses", {trap("mirlen")}, {}, 0, 1},
      {"send fails", {get1}, answered, 1},
      {"two datagrams", {get1, get1}, twice(getOk)},
  };
  // The two Gets that read the group count themselves.
  std::vector<std::uint32_t> readCost(30, 0);
  readCost[snmpInGetRequests] = readCost[snmpInTotalReqVars] = 2;
  readCost[snmpOutGetResponses] = readCost[snmpOutPkts] = 2;
  sized_.size = 500;
  for (const Traffic& t : traffic) {
    SCOPED_TRACE(t.name);
    const std::vector<std::uint32_t> before = readGroup();
    for (const Bytes& d : t.datagrams) {
      Capture c;
      c.sendResult = t.sendResult;
      c.upcallResult = t.upcallResult;
      feed(c, d);
    }
    const std::vector<std::uint32_t> after = readGroup();
    for (int w = 0; w < 30; ++w) {
      SCOPED_TRACE(w + 1);
      const auto it = t.moved.find(static_cast<SnmpCounter>(w));
      const std::uint32_t expected = (it == t.moved.end() ? 0 : it->second) + readCost[w];
      EXPECT_EQ(after[w] - before[w], w == snmpEnableAuthenTraps ? 0u : expected);
    }
    EXPECT_EQ(after[snmpEnableAuthenTraps], 2u);
  }
}

TEST_F(SnmpCountersTest, CountersWrap) {
  SnmpMib[snmpInGetRequests] = 0xFFFFFFFFu;
  exchange(getRequest({}));
  EXPECT_EQ(SnmpMib[snmpInGetRequests], 0u);
}

}  // namespace
