#include "mib/mix.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/snmpmib.hpp"
#include "mib/general.hpp"
#include "mib/mis.hpp"
#include "tests/support.hpp"

namespace {

using SubIds = std::vector<std::uint32_t>;

// BER contents of an OID (the first two sub-identifiers share one byte).
Bytes berOid(const SubIds& subs) {
  if (subs.size() < 2) return {};
  Bytes out{static_cast<std::uint8_t>(subs[0] * 40 + subs[1])};
  Bytes rest = berArcs(SubIds(subs.begin() + 2, subs.end()));
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

SubIds decodeOid(const std::uint8_t* bytes, int length) {
  SubIds out;
  if (length == 0) return out;
  out.push_back(bytes[0] / 40);
  out.push_back(bytes[0] % 40);
  std::uint32_t v = 0;
  for (int i = 1; i < length; ++i) {
    v = (v << 7) | (bytes[i] & 0x7F);
    if ((bytes[i] & 0x80) == 0) {
      out.push_back(v);
      v = 0;
    }
  }
  return out;
}

std::string dotted(const SubIds& subs) {
  std::string s;
  for (std::uint32_t v : subs) {
    if (!s.empty()) s += '.';
    s += std::to_string(v);
  }
  return s;
}

SubIds mib2(std::initializer_list<std::uint32_t> rest) {
  SubIds s{1, 3, 6, 1, 2, 1};
  s.insert(s.end(), rest);
  return s;
}

// A tiny table object: a sorted list of instance suffixes. Its values carry
// the full instance OID, so a test sees which object answered.
struct Stub {
  Bytes prefix;
  std::vector<Bytes> instances;  // byte order, which is OID order below 2^14
  Bytes lastSuffix;
  int getCalls = 0;
};

Asn stubValue(const Stub& stub, const std::uint8_t* suffix, int length) {
  Bytes full = stub.prefix;
  full.insert(full.end(), suffix, suffix + length);
  return asnOctetString(kAsnUniversal, 4, full.data(), static_cast<int>(full.size()));
}

Asn stubGet(void* object, const std::uint8_t* suffix, int length) {
  auto* stub = static_cast<Stub*>(object);
  ++stub->getCalls;
  stub->lastSuffix.assign(suffix, suffix + length);
  for (const Bytes& i : stub->instances)
    if (i == stub->lastSuffix) return stubValue(*stub, suffix, length);
  return nullptr;
}

Asn stubNext(void* object, std::uint8_t* suffix, int* length) {
  auto* stub = static_cast<Stub*>(object);
  Bytes current(suffix, suffix + *length);
  for (const Bytes& i : stub->instances) {
    if (std::lexicographical_compare(current.begin(), current.end(), i.begin(), i.end())) {
      EXPECT_LE(stub->prefix.size() + i.size(), std::size_t{kMixOidBuffer});
      std::memcpy(suffix, i.data(), i.size());
      *length = static_cast<int>(i.size());
      return stubValue(*stub, suffix, *length);
    }
  }
  return nullptr;
}

int gCreateAnswer = 0;
Bytes gCreateSuffix;

int stubCreate(void*, const std::uint8_t* suffix, int length, const Asn&) {
  gCreateSuffix.assign(suffix, suffix + length);
  return gCreateAnswer;
}

constexpr MixOps stubOps{GeneralRelease, GeneralCreate, GeneralDestroy,
                         stubNext,       stubGet,       GeneralSet};
constexpr MixOps creatingOps{GeneralRelease, stubCreate, GeneralDestroy,
                             stubNext,       stubGet,    GeneralSet};

struct Registration {
  SubIds prefix;
  std::vector<SubIds> instances;
};

// This agent's registrations, each with a few made-up instances.
const std::vector<Registration>& agentRegistrations() {
  static const std::vector<Registration> list = {
      {mib2({1, 1}), {{0}}},
      {mib2({1, 2}), {{0}}},
      {mib2({1, 3}), {{0}}},
      {mib2({1, 4}), {{0}}},
      {mib2({1, 5}), {{0}}},
      {mib2({1, 6}), {{0}}},
      {mib2({1, 7}), {{0}}},
      {mib2({2, 1}), {{0}}},
      {mib2({2, 2, 1}), {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}, {2, 3}, {10, 1}, {10, 300}}},
      {mib2({3, 1, 1}),
       {{1, 1, 1, 10, 0, 0, 1}, {1, 1, 1, 192, 168, 0, 1}, {2, 2, 1, 127, 0, 0, 1}}},
      {mib2({4}), {{1, 0}, {2, 0}, {3, 0}, {20, 1, 1, 10, 0, 0, 1}, {20, 1, 1, 200, 0, 0, 1}}},
      {mib2({5}), {{1, 0}, {2, 0}, {26, 0}}},
      {mib2({6}), {{1, 0}, {13, 1, 5, 0, 0, 0, 0, 161, 0, 0, 0, 0, 0}, {15, 0}}},
      {mib2({7}), {{1, 0}, {5, 1, 1, 0, 0, 0, 0, 161}, {5, 1, 2, 0, 0, 0, 0, 9999}}},
      {mib2({10, 33, 1}), {{0}}},
      {mib2({10, 33, 2, 1}), {{1, 4}, {1, 5}, {2, 4}}},
      {mib2({10, 33, 3, 1}), {{1, 4}}},
      {mib2({10, 33, 5, 1}), {}},  // no ports of this kind: skipped by GetNext
      {mib2({10, 33, 6, 1}), {{1, 4}, {2, 4}}},
      {mib2({11}), {{1, 0}, {2, 0}, {30, 0}}},
  };
  return list;
}

class MixIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SnmpMib.fill(0);
    index_ = misInit();
    ASSERT_NE(index_, nullptr);
    stubs_.resize(agentRegistrations().size());
    for (std::size_t r = 0; r < stubs_.size(); ++r) {
      const Registration& reg = agentRegistrations()[r];
      Stub& stub = stubs_[r];
      stub.prefix = berOid(reg.prefix);
      for (const SubIds& i : reg.instances) {
        stub.instances.push_back(berArcs(i));
        SubIds full = reg.prefix;
        full.insert(full.end(), i.begin(), i.end());
        model_.push_back(full);
      }
      // lexicographical_compare, not vector's <=>: GCC 12 at -O3 reports a false
      // overread in the latter's memcmp.
      std::sort(stub.instances.begin(), stub.instances.end(), [](const Bytes& a, const Bytes& b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
      });
      ASSERT_EQ(
          misExport(stub.prefix.data(), static_cast<int>(stub.prefix.size()), &stubOps, &stub), 0)
          << dotted(reg.prefix);
    }
    std::sort(model_.begin(), model_.end(), arcsLess);
  }

  // GetNext through the engine-sized buffer; nullopt at the end of the MIB.
  std::optional<SubIds> next(const SubIds& query) {
    std::array<std::uint8_t, kMixOidBuffer> buffer{};
    Bytes q = berOid(query);
    std::copy(q.begin(), q.end(), buffer.begin());  // q may be empty: no memcpy from null
    int length = static_cast<int>(q.size());
    Asn value = mixNext(index_, buffer.data(), &length);
    if (!value) return std::nullopt;
    SubIds name = decodeOid(buffer.data(), length);
    // The answering object put the instance's own OID in the value.
    EXPECT_EQ(decodeOid(asnValue(value), asnLength(value)), name) << dotted(query);
    return name;
  }

  std::optional<SubIds> modelNext(const SubIds& query) const {
    auto it = std::upper_bound(model_.begin(), model_.end(), query, arcsLess);
    if (it == model_.end()) return std::nullopt;
    return *it;
  }

  Mix* index_ = nullptr;
  std::vector<Stub> stubs_;
  std::vector<SubIds> model_;
};

TEST_F(MixIndexTest, GetNextNamedCases) {
  struct Case {
    SubIds query;
    std::optional<SubIds> expected;
  } cases[] = {
      {mib2({1}), mib2({1, 1, 0})},  // shorter than every system prefix
      {mib2({1, 1}), mib2({1, 1, 0})},
      {mib2({1, 1, 0}), mib2({1, 2, 0})},  // sysDescr's Next gives up on a non-empty suffix
      {mib2({1, 7, 0}), mib2({2, 1, 0})},
      {mib2({2, 2}), mib2({2, 2, 1, 1, 1})},  // proper prefix of the ifEntry registration
      {mib2({2, 2, 1, 10, 300}), mib2({3, 1, 1, 1, 1, 1, 10, 0, 0, 1})},
      {mib2({2, 3}), mib2({3, 1, 1, 1, 1, 1, 10, 0, 0, 1})},     // between registrations
      {mib2({10, 33, 3, 1, 1, 4}), mib2({10, 33, 6, 1, 1, 4})},  // over an empty table
      {mib2({10, 33, 6, 1, 2, 4}), mib2({11, 1, 0})},
      {mib2({11, 30, 0}), std::nullopt},  // the last instance
      {mib2({12}), std::nullopt},         // after the last registration
      {{1, 3, 6, 1, 4, 1}, std::nullopt},
      {{0, 0}, mib2({1, 1, 0})},
      {{}, mib2({1, 1, 0})},  // the empty name
  };
  for (const Case& c : cases) EXPECT_EQ(next(c.query), c.expected) << dotted(c.query);
}

// GetNext(x) is the smallest instance after x, comparing sub-identifiers as
// numbers, for names on, between, around and inside every instance.
TEST_F(MixIndexTest, GetNextIsSmallestInstanceAfterQuery) {
  std::vector<SubIds> queries;
  for (const SubIds& inst : model_) {
    for (std::size_t n = 2; n <= inst.size(); ++n)
      queries.emplace_back(inst.begin(), inst.begin() + n);
    SubIds q = inst;
    ++q.back();
    queries.push_back(q);
    if (inst.back() > 0) {
      --q.back();
      --q.back();
      queries.push_back(q);
    }
    for (std::uint32_t extra : {0u, 1u, 127u, 128u, 16000u}) {
      q = inst;
      q.push_back(extra);
      queries.push_back(q);
    }
  }
  std::mt19937 rng(161);
  std::uniform_int_distribution<int> small(0, 14);
  std::uniform_int_distribution<int> depth(0, 5);
  for (int i = 0; i < 2000; ++i) {
    SubIds q = mib2({});
    for (int d = depth(rng); d >= 0; --d) q.push_back(small(rng) == 14 ? 200 : small(rng));
    queries.push_back(q);
  }
  for (const SubIds& q : queries) {
    if (berOid(q).size() > std::size_t{kMixOidBuffer}) continue;
    ASSERT_EQ(next(q), modelNext(q)) << dotted(q);
  }
}

TEST_F(MixIndexTest, GetHandsTheObjectItsSuffix) {
  Bytes name = berOid(mib2({4, 3, 0}));
  Asn value = mixGet(index_, name.data(), static_cast<int>(name.size()));
  ASSERT_TRUE(value);
  Stub& ip = stubs_[10];
  EXPECT_EQ(hexText(ip.lastSuffix), "03 00");
  EXPECT_EQ(hexText(asnValue(value), asnLength(value)), hexText(name));

  Bytes prefix = berOid(mib2({4}));
  EXPECT_FALSE(mixGet(index_, prefix.data(), static_cast<int>(prefix.size())));
  EXPECT_TRUE(ip.lastSuffix.empty());

  for (const SubIds& absent : {mib2({1}), mib2({2, 2}), mib2({8, 1}), mib2({12, 0})}) {
    Bytes b = berOid(absent);
    EXPECT_FALSE(mixGet(index_, b.data(), static_cast<int>(b.size()))) << dotted(absent);
  }
}

TEST_F(MixIndexTest, OverlappingAndDuplicatePrefixesAreRefused) {
  Stub extra;
  for (const SubIds& p : {mib2({1, 1, 0}),    // under sysDescr
                          mib2({4}),          // the same as ip
                          mib2({4, 20, 1}),   // under ip
                          mib2({1}),          // would cover the system scalars
                          mib2({10, 33})}) {  // would cover the serial tables
    Bytes b = berOid(p);
    Asn carrier = mixValue(&stubOps, &extra);
    EXPECT_EQ(mixCreate(index_, b.data(), static_cast<int>(b.size()), carrier), 5) << dotted(p);
    EXPECT_EQ(misExport(b.data(), static_cast<int>(b.size()), &stubOps, &extra), 1) << dotted(p);
  }
  std::vector<SubIds> walked;
  for (std::optional<SubIds> n = next({0, 0}); n && walked.size() < 200; n = next(*n))
    walked.push_back(*n);
  EXPECT_EQ(walked, model_);
  EXPECT_EQ(extra.getCalls, 0);
}

TEST_F(MixIndexTest, ExtensionGoesToTheCoveringObjectsCreate) {
  static Stub owner;
  owner = Stub{};
  static const Bytes prefix = berOid({1, 3, 6, 1, 4, 1, 9});
  ASSERT_EQ(misExport(prefix.data(), static_cast<int>(prefix.size()), &creatingOps, &owner), 0);
  Bytes under = berOid({1, 3, 6, 1, 4, 1, 9, 2, 5});
  Asn carrier = mixValue(&stubOps, nullptr);
  gCreateAnswer = 3;
  EXPECT_EQ(mixCreate(index_, under.data(), static_cast<int>(under.size()), carrier), 3);
  EXPECT_EQ(hexText(gCreateSuffix), "02 05");
}

TEST_F(MixIndexTest, SetOnReadOnlyObjectIsCountedAndRefused) {
  Bytes name = berOid(mib2({1, 5, 0}));
  Asn value = asnOctetString(kAsnUniversal, 4, nullptr, 0);
  EXPECT_EQ(mixSet(index_, name.data(), static_cast<int>(name.size()), value), 4);
  EXPECT_EQ(SnmpMib[snmpInTotalSetVars], 1u);
  Bytes absent = berOid(mib2({9, 1}));
  EXPECT_EQ(mixSet(index_, absent.data(), static_cast<int>(absent.size()), value), 2);
  EXPECT_EQ(SnmpMib[snmpInTotalSetVars], 1u);
  EXPECT_EQ(mixDestroy(index_, name.data(), static_cast<int>(name.size())), 5);
  EXPECT_EQ(mixDestroy(index_, absent.data(), static_cast<int>(absent.size())), 2);
}

TEST(MixCarrier, CreateNodeChecksTheCarrier) {
  MixIndex index(mixNew());
  ASSERT_TRUE(index);
  static const Bytes name = berOid({1, 3, 6, 1, 4, 1, 7});
  const int n = static_cast<int>(name.size());
  std::uint8_t raw[17] = {};
  struct Case {
    const char* what;
    Asn carrier;
    int length;
    int expected;
  } cases[] = {
      {"15 bytes", asnOctetString(kAsnApplication, 153, raw, 15), n, 5},
      {"17 bytes", asnOctetString(kAsnApplication, 153, raw, 17), n, 5},
      {"universal class", asnOctetString(kAsnUniversal, 153, raw, 16), n, 5},
      {"tag 152", asnOctetString(kAsnApplication, 152, raw, 16), n, 5},
      {"null carrier", nullptr, n, 5},
      {"empty OID", mixValue(&stubOps, nullptr), 0, 5},
      {"good", mixValue(&stubOps, nullptr), n, 0},
  };
  for (const Case& c : cases)
    EXPECT_EQ(mixCreate(index.get(), name.data(), c.length, c.carrier), c.expected) << c.what;
}

TEST(MixCarrier, PrefixMustFitTheNameBuffer) {
  MixIndex index(mixNew());
  static const Bytes name(kMixOidBuffer + 1, 0x05);
  Asn carrier = mixValue(&stubOps, nullptr);
  EXPECT_EQ(mixCreate(index.get(), name.data(), kMixOidBuffer + 1, carrier), 5);
  EXPECT_EQ(mixCreate(index.get(), name.data(), kMixOidBuffer, carrier), 0);
}

TEST(MixNullIndex, AnswersNullOrGenErr) {
  Bytes name = berOid(mib2({1, 1, 0}));
  int length = static_cast<int>(name.size());
  Asn value = asnIntl(kAsnUniversal, 2, 1);
  EXPECT_FALSE(mixGet(nullptr, name.data(), length));
  EXPECT_FALSE(mixNext(nullptr, name.data(), &length));
  EXPECT_EQ(mixSet(nullptr, name.data(), length, value), 5);
  EXPECT_EQ(mixDestroy(nullptr, name.data(), length), 5);
  EXPECT_EQ(mixCreate(nullptr, name.data(), length, mixValue(&stubOps, nullptr)), 5);
  EXPECT_EQ(mixFree(nullptr), 0);
}

}  // namespace
