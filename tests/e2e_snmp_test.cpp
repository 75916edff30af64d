// The running agent answers real managers: Net-SNMP's command-line clients
// against the snmp group, inside a network namespace of its own.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/netns.hpp"
#include "tests/smp_harness.hpp"

namespace {

class SnmpEndToEnd : public NetnsTest {
 protected:
  void SetUp() override {
    NetnsTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    ASSERT_TRUE(ns().startAgent()) << ns().agentErrors();
  }
};

TEST_F(SnmpEndToEnd, GetCountsItsOwnPacket) {
  const RunResult r = ns().client("snmpget", "1.3.6.1.2.1.11.1.0 1.3.6.1.2.1.11.30.0");
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(outputLines(r.output), (std::vector<std::string>{".1.3.6.1.2.1.11.1.0 = Counter32: 1",
                                                             ".1.3.6.1.2.1.11.30.0 = INTEGER: 2"}))
      << r.output;
}

TEST_F(SnmpEndToEnd, WalkOfTheGroupVisitsTwentyEightInstancesInOrder) {
  const RunResult r = ns().client("snmpwalk", "1.3.6.1.2.1.11");
  EXPECT_EQ(r.status, 0) << r.output;
  auto got = outputLines(r.output);
  // Nothing follows the group in this agent: the walk runs off the MIB's end.
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got.back(), "End of MIB");
  got.pop_back();
  std::vector<std::string> names;
  for (const std::string& l : got) {
    const std::size_t equals = l.find(" = ");
    ASSERT_NE(equals, std::string::npos) << l;
    const std::string type = l.substr(equals + 3, l.find(": ") - equals - 3);
    EXPECT_TRUE(type == "Counter32" || type == "INTEGER") << l;
    names.push_back(l.substr(0, equals));
  }
  std::vector<std::string> expected;
  for (int n = 1; n <= 30; ++n)
    if (n != 7 && n != 23) expected.push_back(".1.3.6.1.2.1.11." + std::to_string(n) + ".0");
  EXPECT_EQ(names, expected) << r.output;
  EXPECT_EQ(got.back(), ".1.3.6.1.2.1.11.30.0 = INTEGER: 2");
}

// More bindings than the agent can decode: a manager is told tooBig rather than left to time out.
TEST_F(SnmpEndToEnd, RequestTooLargeToDecodeIsAnsweredTooBig) {
  std::string names;
  for (int i = 0; i < 22; ++i) names += " 1.3.6.1.2.1.1.3.0";
  const RunResult r = ns().client("snmpget", names);
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.output.find("tooBig"), std::string::npos) << r.output;
  const RunResult check = ns().client("snmpget", "1.3.6.1.2.1.11.20.0");
  EXPECT_EQ(outputLines(check.output),
            std::vector<std::string>{".1.3.6.1.2.1.11.20.0 = Counter32: 1"})
      << check.output;
}

TEST_F(SnmpEndToEnd, IncomingResponsesAndTrapsGoToTheUpcall) {
  EXPECT_FALSE(ns().request(response({}), 500));
  EXPECT_FALSE(ns().request(trap("mirlen"), 500));
  // Still serving, and both were counted.
  const RunResult r = ns().client("snmpget", "1.3.6.1.2.1.11.18.0 1.3.6.1.2.1.11.19.0");
  EXPECT_EQ(outputLines(r.output),
            (std::vector<std::string>{".1.3.6.1.2.1.11.18.0 = Counter32: 1",
                                      ".1.3.6.1.2.1.11.19.0 = Counter32: 1"}))
      << r.output;
  EXPECT_EQ(ns().agentOutput(), "Upcall:\nUpcall:\n");
}

TEST_F(SnmpEndToEnd, RawRequestGetsGoldenReply) {
  const auto reply = ns().request(getRequest({varBind(snmpOid(30), nullValue())}));
  ASSERT_TRUE(reply);
  EXPECT_EQ(hexText(*reply), hexText(response({varBind(snmpOid(30), hexBytes("02 01 02"))})));
}

}  // namespace
