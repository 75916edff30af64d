// Get, GetNext and Set: error-status and error-index rules, the GetNext name
// buffer, all-or-nothing Set, and replies too big to build or send.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/robust.hpp"
#include "tests/smp_harness.hpp"

namespace {

using robust::Reply;

class SmpOpsTest : public AgentTest {
 protected:
  Reply ask(const Bytes& request) { return read(exchange(request)); }
  // The reply, which must be a well-formed GetResponse of "mirlen" to the request's id.
  static Reply read(const Bytes& reply) {
    std::string why;
    std::optional<Reply> r = robust::readReply(reply, "mirlen", &why);
    if (!r) {
      ADD_FAILURE() << why;
      Reply none;
      none.errorStatus = -1;  // matches no expected status
      return none;
    }
    EXPECT_EQ(hexText(r->requestId), "12 34 56 78");
    return *r;
  }
  // The request's own bindings with NULL values.
  static std::vector<Bytes> nulls(const std::vector<Bytes>& oids) {
    std::vector<Bytes> binds;
    for (const Bytes& oid : oids) binds.push_back(varBind(oid, nullValue()));
    return binds;
  }
  static std::vector<Bytes> sizedOids(int count) {
    std::vector<Bytes> oids;
    for (int n = 1; n <= count; ++n) oids.push_back(sizedOid(n));
    return oids;
  }
  std::vector<Bytes> textSets(int count, std::string_view prefix = "s") {
    std::vector<Bytes> binds;
    for (int n = 1; n <= count; ++n)
      binds.push_back(varBind(textOid(n), octets(std::string(prefix) + std::to_string(n))));
    return binds;
  }
  std::vector<std::string> initialTexts() const { return TextVars().values; }
};

TEST_F(SmpOpsTest, GetAnswersInRequestOrder) {
  const Reply r = ask(getRequest(nulls({textOid(2), snmpOid(30), textOid(1)})));
  EXPECT_EQ(r.errorStatus, 0);
  EXPECT_EQ(r.errorIndex, 0);
  EXPECT_EQ(r.bindings,
            listOf({varBind(textOid(2), octets("v2")), varBind(snmpOid(30), hexBytes("02 01 02")),
                    varBind(textOid(1), octets("v1"))}));
}

struct NextCase {
  const char* name;
  Bytes asked;
  Bytes expected;  // empty: noSuchName
};

TEST_F(SmpOpsTest, GetNextFindsTheSuccessor) {
  const Bytes group = hexBytes("2B 06 01 02 01 0B");
  const Bytes sizedPrefix(SizedVars::kOid, SizedVars::kOid + 7);
  const NextCase cases[] = {
      {"group", group, snmpOid(1)},
      {"6.0 skips 7", snmpOid(6), snmpOid(8)},
      {"22.5 skips 23", group + Bytes{22, 5}, snmpOid(24)},
      {"7 itself", group + Bytes{7}, snmpOid(7)},
      {"0", group + Bytes{0}, snmpOid(1)},
      {"into the next object", sizedOid(SizedVars::kCount), textOid(1)},
      {"before every object", hexBytes("2B"), sizedOid(1)},
      {"32 bytes", sizedPrefix + Bytes{3, 0} + Bytes(23, 0), sizedOid(4)},
      {"33 bytes", sizedPrefix + Bytes{3, 0} + Bytes(24, 0), {}},
      {"end of the MIB", snmpOid(30), {}},
  };
  for (const NextCase& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    const Reply r = ask(nextRequest(nulls({c.asked})));
    if (c.expected.empty()) {
      EXPECT_EQ(r.errorStatus, kSnmpNoSuchName);
      EXPECT_EQ(r.errorIndex, 1);
      EXPECT_EQ(r.bindings, listOf(nulls({c.asked})));
      EXPECT_EQ(SnmpMib[snmpOutNoSuchNames], 1u);
    } else {
      EXPECT_EQ(r.errorStatus, 0);
      EXPECT_EQ(hexText(r.firstName), hexText(c.expected));
    }
  }
}

TEST_F(SmpOpsTest, GetNextOfSeveralBindingsStopsAtTheFirstMiss) {
  const Reply ok = ask(nextRequest(nulls({snmpOid(29), textOid(24), sizedOid(7)})));
  EXPECT_EQ(ok.errorStatus, 0);
  EXPECT_EQ(ok.bindings,
            listOf({varBind(snmpOid(30), hexBytes("02 01 02")), varBind(textOid(25), octets("v25")),
                    varBind(sizedOid(8), octets(std::string(127, 'x')))}));
  const Reply miss = ask(nextRequest(nulls({textOid(1), snmpOid(30), textOid(2)})));
  EXPECT_EQ(miss.errorStatus, kSnmpNoSuchName);
  EXPECT_EQ(miss.errorIndex, 2);
  EXPECT_EQ(miss.bindings, listOf(nulls({textOid(1), snmpOid(30), textOid(2)})));
}

struct SetCase {
  const char* name;
  std::vector<Bytes> binds;
  int status;
  int index;
};

TEST_F(SmpOpsTest, AFailingSetChangesNothing) {
  std::vector<Bytes> tooLongSecond = {varBind(textOid(1), octets("ok")),
                                      varBind(textOid(2), octets(std::string(17, 'x')))};
  std::vector<Bytes> wrongTypeThird = {varBind(textOid(1), octets("a")),
                                       varBind(textOid(2), octets("b")),
                                       varBind(textOid(3), hexBytes("02 01 05"))};
  std::vector<Bytes> unknownSecond = {varBind(textOid(1), octets("a")),
                                      varBind(textOid(TextVars::kCount + 1), octets("b"))};
  std::vector<Bytes> readOnlySecond = {varBind(textOid(1), octets("a")),
                                       varBind(snmpOid(30), hexBytes("02 01 01"))};
  const SetCase cases[] = {
      {"badValue at 2", tooLongSecond, kSnmpBadValue, 2},
      {"badValue at 3", wrongTypeThird, kSnmpBadValue, 3},
      {"noSuchName at 2", unknownSecond, kSnmpNoSuchName, 2},
      {"readOnly at 2", readOnlySecond, kSnmpReadOnly, 2},
      {"twenty assignments", textSets(20), kSnmpTooBig, 21},
      {"twenty-one bindings", textSets(21), kSnmpTooBig, 21},
  };
  for (const SetCase& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    const Reply r = ask(setRequest(c.binds));
    EXPECT_EQ(r.errorStatus, c.status);
    EXPECT_EQ(r.errorIndex, c.index);
    EXPECT_EQ(r.bindings, listOf(c.binds));
    EXPECT_EQ(texts_.values, initialTexts());
    EXPECT_EQ(SnmpMib[snmpInSetRequests], 1u);
    EXPECT_EQ(SnmpMib[snmpOutTooBigs], c.status == kSnmpTooBig ? 1u : 0u);
    EXPECT_EQ(SnmpMib[snmpInTotalSetVars], c.status == kSnmpReadOnly ? 1u : 0u);
  }
}

TEST_F(SmpOpsTest, NineteenAssignmentsSucceed) {
  const std::vector<Bytes> binds = textSets(19, "n");
  const Reply r = ask(setRequest(binds));
  EXPECT_EQ(r.errorStatus, 0);
  EXPECT_EQ(r.bindings, listOf(binds));
  for (int n = 1; n <= 19; ++n) EXPECT_EQ(texts_.values[n - 1], numbered("n", n));
  EXPECT_EQ(texts_.values[19], "v20");
}

// tooBig names the binding that does not fit the result list; results that fit their list
// but not the datagram are answered tooBig with error-index 0. Either way the reply carries
// the request's bindings and is never dropped.
TEST_F(SmpOpsTest, TooBigNamesTheBindingThatOutgrewTheListOrNone) {
  const std::vector<Bytes> getNames = sizedOids(5);
  const std::vector<Bytes> nextNames = {sizedOid(0), sizedOid(1), sizedOid(2), sizedOid(3),
                                        sizedOid(4)};
  const struct {
    const char* name;
    bool next;
    int size;
    int index;
  } cases[] = {
      {"Get, list full", false, 1000, 4},
      {"GetNext, list full", true, 1000, 4},
      {"Get, over the datagram", false, 500, 0},
      {"GetNext, over the datagram", true, 500, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    sized_.size = c.size;
    const std::vector<Bytes>& names = c.next ? nextNames : getNames;
    const Reply r = ask(c.next ? nextRequest(nulls(names)) : getRequest(nulls(names)));
    EXPECT_EQ(r.errorStatus, kSnmpTooBig);
    EXPECT_EQ(r.errorIndex, c.index);
    EXPECT_EQ(r.bindings, listOf(nulls(names)));
    EXPECT_EQ(SnmpMib[snmpOutTooBigs], 1u);
    EXPECT_EQ(SnmpMib[snmpOutGetResponses], 1u);
    EXPECT_EQ(SnmpMib[snmpOutPkts], 1u);
    EXPECT_EQ(SnmpMib[snmpOutGenErrs], 0u);
  }
  // Three values of 500 bytes fit.
  reset();
  sized_.size = 500;
  EXPECT_EQ(ask(getRequest(nulls(sizedOids(3)))).errorStatus, 0);
}

// One value of 1994 bytes makes a reply of exactly 2048 bytes.
TEST_F(SmpOpsTest, ReplyOfExactlyADatagramIsSent) {
  for (int size : {1993, 1994, 1995}) {
    SCOPED_TRACE(size);
    reset();
    sized_.size = size;
    const Bytes reply = exchange(getRequest(nulls({sizedOid(1)})));
    const Reply r = read(reply);
    if (size <= 1994) {
      EXPECT_EQ(reply.size(), static_cast<std::size_t>(54 + size));
      EXPECT_EQ(r.errorStatus, 0);
    } else {
      EXPECT_EQ(r.errorStatus, kSnmpTooBig);
      EXPECT_EQ(r.errorIndex, 0);
    }
  }
}

// 127-byte texts: twelve are answered; thirteen fit the result list but not
// the PDU or message block once wrapped, though they would encode in well
// under 2048 bytes; fourteen do not fit the result list itself.
struct WrapCase {
  int count;
  int status;
  int index;
};

TEST_F(SmpOpsTest, ReplyThatCannotBeWrappedIsAnsweredTooBig) {
  const WrapCase cases[] = {{12, kSnmpNoError, 0}, {13, kSnmpTooBig, 0}, {14, kSnmpTooBig, 14}};
  for (const WrapCase& c : cases) {
    SCOPED_TRACE(c.count);
    reset();
    const std::vector<Bytes> binds = nulls(sizedOids(c.count));
    std::vector<Bytes> results;
    for (int n = 1; n <= c.count; ++n)
      results.push_back(varBind(sizedOid(n), octets(std::string(127, 'x'))));
    if (c.count == 13) {
      EXPECT_LT(response(results).size(), 2000u);
    }
    const Reply r = ask(getRequest(binds));
    EXPECT_EQ(r.errorStatus, c.status);
    EXPECT_EQ(r.errorIndex, c.index);
    EXPECT_EQ(r.bindings, listOf(c.status == kSnmpNoError ? results : binds));
    EXPECT_EQ(SnmpMib[snmpOutTooBigs], c.status == kSnmpTooBig ? 1u : 0u);
    EXPECT_EQ(SnmpMib[snmpOutGenErrs], 0u);
  }
}

}  // namespace
