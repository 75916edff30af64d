#include "mib/miv.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/snmpmib.hpp"
#include "mib/mis.hpp"
#include "mib/mix.hpp"
#include "tests/support.hpp"

namespace {

// Names under a private arc, one per kind and flavour.
const Bytes kIntRO = hexBytes("2B 06 01 04 01 63 01");
const Bytes kIntRW = hexBytes("2B 06 01 04 01 63 02");
const Bytes kStrRO = hexBytes("2B 06 01 04 01 63 03");
const Bytes kStrRW = hexBytes("2B 06 01 04 01 63 04");
const Bytes kOidRO = hexBytes("2B 06 01 04 01 63 05");
const Bytes kOidRW = hexBytes("2B 06 01 04 01 63 06");

Bytes instance(const Bytes& name) {
  Bytes b = name;
  b.push_back(0);
  return b;
}

class MivTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SnmpMib.fill(0);
    index_ = misInit();
    ASSERT_NE(index_, nullptr);
    setHolder(strRO_, strBytesRO_, "firmware 1.0");
    setHolder(strRW_, strBytesRW_, "ops desk");
    Bytes oid = hexBytes("2B 06 01 04 01 81 8E 15");
    setHolder(oidRO_, oidBytesRO_, std::string(oid.begin(), oid.end()));
    setHolder(oidRW_, oidBytesRW_, std::string(oid.begin(), oid.end()));
    ASSERT_EQ(mivIntlRO(kIntRO.data(), len(kIntRO), &intRO_), 0);
    ASSERT_EQ(mivIntlRW(kIntRW.data(), len(kIntRW), &intRW_), 0);
    ASSERT_EQ(mivStringRO(kStrRO.data(), len(kStrRO), &strRO_), 0);
    ASSERT_EQ(mivStringRW(kStrRW.data(), len(kStrRW), &strRW_), 0);
    ASSERT_EQ(mivObjectIdRO(kOidRO.data(), len(kOidRO), &oidRO_), 0);
    ASSERT_EQ(mivObjectIdRW(kOidRW.data(), len(kOidRW), &oidRW_), 0);
  }

  static int len(const Bytes& b) { return static_cast<int>(b.size()); }

  static void setHolder(MivBuffer& holder, std::array<std::uint8_t, kMivCapacity>& area,
                        const std::string& text) {
    std::memcpy(area.data(), text.data(), text.size());
    holder = MivBuffer{kMivCapacity, static_cast<std::int32_t>(text.size()), area.data()};
  }

  Asn get(const Bytes& oid) { return mixGet(index_, oid.data(), len(oid)); }
  int set(const Bytes& oid, const Asn& value) {
    return mixSet(index_, oid.data(), len(oid), value);
  }

  // Every counter other than the ones named stays 0.
  void expectOnlyCounters(std::initializer_list<std::pair<SnmpCounter, std::uint32_t>> counts) {
    std::array<std::uint32_t, kSnmpMibWords> expected{};
    for (auto [counter, n] : counts) expected[counter] = n;
    EXPECT_EQ(SnmpMib, expected);
  }

  Mix* index_ = nullptr;
  std::int32_t intRO_ = 72;
  std::int32_t intRW_ = -129;
  MivBuffer strRO_{}, strRW_{}, oidRO_{}, oidRW_{};
  std::array<std::uint8_t, kMivCapacity> strBytesRO_{}, strBytesRW_{}, oidBytesRO_{}, oidBytesRW_{};
};

TEST_F(MivTest, GetAnswersOnlySuffixZero) {
  struct Case {
    const Bytes* name;
    const char* value;
  } cases[] = {
      {&kIntRO, "02 01 48"},
      {&kIntRW, "02 02 FF 7F"},
      {&kStrRO, "04 0C 66 69 72 6D 77 61 72 65 20 31 2E 30"},
      {&kStrRW, "04 08 6F 70 73 20 64 65 73 6B"},
      {&kOidRO, "06 08 2B 06 01 04 01 81 8E 15"},
      {&kOidRW, "06 08 2B 06 01 04 01 81 8E 15"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(hexText(*c.name));
    EXPECT_EQ(hexText(encoded(get(instance(*c.name)))), c.value);
    EXPECT_FALSE(get(*c.name));  // empty suffix
    Bytes other = *c.name;
    other.push_back(1);
    EXPECT_FALSE(get(other));
    other.back() = 0;
    other.push_back(0);
    EXPECT_FALSE(get(other));  // 00 00
  }
  expectOnlyCounters({});
}

TEST_F(MivTest, NextGivesTheOnlyInstanceOnce) {
  const Bytes* names[] = {&kIntRO, &kIntRW, &kStrRO, &kStrRW, &kOidRO, &kOidRW};
  std::array<std::uint8_t, kMixOidBuffer> buffer{};
  int length = 0;
  for (const Bytes* name : names) {
    Asn value = mixNext(index_, buffer.data(), &length);
    ASSERT_TRUE(value);
    EXPECT_EQ(hexText(buffer.data(), length), hexText(instance(*name)));
    EXPECT_EQ(hexText(encoded(value)), hexText(encoded(get(instance(*name)))));
  }
  EXPECT_FALSE(mixNext(index_, buffer.data(), &length));  // .0 of the last one: nothing after
}

TEST_F(MivTest, IntegerSet) {
  struct Case {
    const char* what;
    Asn value;
    int status;
    std::int32_t stored;
  } cases[] = {
      {"positive", asnIntl(kAsnUniversal, 2, 300), 0, 300},
      {"one byte FF is -1", asnOctetString(kAsnUniversal, 2, hexBytes("FF").data(), 1), 0, -1},
      {"00 80", asnOctetString(kAsnUniversal, 2, hexBytes("00 80").data(), 2), 0, 128},
      {"most negative", asnIntl(kAsnUniversal, 2, INT32_MIN), 0, INT32_MIN},
      {"five bytes", asnOctetString(kAsnUniversal, 2, hexBytes("00 FF FF FF FF").data(), 5), 3,
       -129},
      {"octet string", asnOctetString(kAsnUniversal, 4, hexBytes("01").data(), 1), 3, -129},
      {"Gauge", asnUnsl(kAsnApplication, 2, 5), 3, -129},
      {"no contents", asnOctetString(kAsnUniversal, 2, nullptr, 0), 3, -129},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SnmpMib.fill(0);
    intRW_ = -129;
    EXPECT_EQ(set(instance(kIntRW), c.value), c.status);
    EXPECT_EQ(intRW_, c.stored);
    if (c.status == 3) {
      expectOnlyCounters({{snmpInBadValues, 1}, {snmpOutBadValues, 1}});
    } else {
      expectOnlyCounters({});
    }
  }
}

TEST_F(MivTest, SetBackWhatGetProducedLeavesValueUnchanged) {
  for (std::int32_t v : {0, 1, -1, 127, 128, -128, -129, 65535, INT32_MAX, INT32_MIN}) {
    intRW_ = v;
    Asn old = get(instance(kIntRW));
    intRW_ = 12345;
    EXPECT_EQ(set(instance(kIntRW), old), 0);
    EXPECT_EQ(intRW_, v);
  }
  for (const Bytes* name : {&kStrRW, &kOidRW}) {
    MivBuffer& holder = name == &kStrRW ? strRW_ : oidRW_;
    std::string before(holder.bytes, holder.bytes + holder.length);
    Asn old = get(instance(*name));
    Asn other = asnOctetString(kAsnUniversal, name == &kStrRW ? 4 : 6, hexBytes("01 02").data(), 2);
    ASSERT_EQ(set(instance(*name), other), 0);
    EXPECT_EQ(set(instance(*name), old), 0);
    EXPECT_EQ(std::string(holder.bytes, holder.bytes + holder.length), before);
  }
  expectOnlyCounters({});
}

TEST_F(MivTest, TextSetRespectsCapacity) {
  for (const Bytes* name : {&kStrRW, &kOidRW}) {
    const int tag = name == &kStrRW ? 4 : 6;
    MivBuffer& holder = name == &kStrRW ? strRW_ : oidRW_;
    SCOPED_TRACE(tag);
    Bytes big(kMivCapacity + 1, 0x41);
    for (int n : {kMivCapacity - 2, kMivCapacity - 1, kMivCapacity, kMivCapacity + 1}) {
      SnmpMib.fill(0);
      const int before = holder.length;
      Asn value = asnOctetString(kAsnUniversal, tag, big.data(), n);
      bool fits = n < kMivCapacity;
      EXPECT_EQ(set(instance(*name), value), fits ? 0 : 3) << n;
      EXPECT_EQ(holder.length, fits ? n : before) << n;
      if (fits) {
        EXPECT_EQ(hexText(encoded(get(instance(*name)))), hexText(encoded(value)));
        expectOnlyCounters({});
      } else {
        expectOnlyCounters({{snmpInBadValues, 1}, {snmpOutBadValues, 1}});
      }
    }
  }
}

TEST_F(MivTest, TextSetRefusesWrongTypeAndKeepsValue) {
  struct Case {
    const Bytes* name;
    Asn value;
  } cases[] = {
      {&kStrRW, asnIntl(kAsnUniversal, 2, 5)},
      {&kStrRW, asnOctetString(kAsnApplication, 4, hexBytes("41").data(), 1)},
      {&kStrRW, asnOctetString(kAsnUniversal, 6, hexBytes("2B").data(), 1)},
      {&kOidRW, asnOctetString(kAsnUniversal, 4, hexBytes("2B").data(), 1)},
      {&kOidRW, asnOctetString(kAsnContext, 6, hexBytes("2B").data(), 1)},
  };
  for (const Case& c : cases) {
    SnmpMib.fill(0);
    std::string before = hexText(encoded(get(instance(*c.name))));
    EXPECT_EQ(set(instance(*c.name), c.value), 3) << hexText(encoded(c.value));
    EXPECT_EQ(hexText(encoded(get(instance(*c.name)))), before);
    expectOnlyCounters({{snmpInBadValues, 1}, {snmpOutBadValues, 1}});
  }
}

TEST_F(MivTest, EmptyStringSetsAndReadsBackEmpty) {
  EXPECT_EQ(set(instance(kStrRW), asnOctetString(kAsnUniversal, 4, nullptr, 0)), 0);
  EXPECT_EQ(strRW_.length, 0);
  EXPECT_EQ(hexText(encoded(get(instance(kStrRW)))), "04 00");
}

TEST_F(MivTest, SetOnOtherSuffixIsNoSuchNameOnly) {
  const Bytes* names[] = {&kIntRW, &kStrRW, &kOidRW};
  for (const Bytes* name : names) {
    Bytes wrong1 = *name, wrong2 = instance(*name);
    wrong1.push_back(1);
    wrong2.push_back(0);
    for (const Bytes& oid : {*name, wrong1, wrong2}) {
      SnmpMib.fill(0);
      // Even a value the variable would refuse: the name is checked first.
      EXPECT_EQ(set(oid, asnIntl(kAsnUniversal, 2, 1)), 2) << hexText(oid);
      expectOnlyCounters({{snmpInNoSuchNames, 1}});
    }
  }
}

TEST_F(MivTest, ReadOnlyVariablesRefuseSet) {
  const Bytes* names[] = {&kIntRO, &kStrRO, &kOidRO};
  int n = 0;
  for (const Bytes* name : names) {
    std::string before = hexText(encoded(get(instance(*name))));
    EXPECT_EQ(set(instance(*name), get(instance(*name))), 4);
    EXPECT_EQ(hexText(encoded(get(instance(*name)))), before);
    expectOnlyCounters({{snmpInTotalSetVars, static_cast<std::uint32_t>(++n)}});
  }
}

}  // namespace
