// The PROTOS c06-snmpv1 request suite against the running agent: every case, twice.
// After each case the agent must still answer; whatever it sends must be a well-formed
// GetResponse carrying the request-id of a request in that case; the counter of received
// datagrams must match; the second run must not grow the agent.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/netns.hpp"
#include "tests/robust.hpp"

namespace {

using robust::ProtosCases;

struct RunFigures {
  std::size_t cases = 0;
  std::uint64_t replies = 0;
  long rssAfterKb = -1;
  double seconds = 0;
};

class ProtosSuite : public NetnsTest {
 protected:
  void SetUp() override {
    if (const auto why = ProtosCases::missing()) {
      if (envFlag("SNMPD_REQUIRE_PROTOS")) FAIL() << *why << " (SNMPD_REQUIRE_PROTOS=1)";
      GTEST_SKIP() << *why << ": hostile-input suite skipped";
    }
    NetnsTest::SetUp();
  }

  // Every case once; false when the agent stopped answering.
  bool runAll(const ProtosCases& cases, robust::Conversation& talk, RunFigures* figures) {
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t repliesBefore = talk.replies();
    for (const std::string& name : cases.names()) {
      const bool answered = talk.exchange({{cases.read(name), false, name}});
      figures->replies = talk.replies() - repliesBefore;
      if (!answered) {
        ADD_FAILURE() << "the agent stopped answering after case " << name
                      << (ns().agentRunning()
                              ? " (still running)"
                              : " (ended with status " + std::to_string(ns().agentStatus()) + ")")
                      << "\n"
                      << ns().agentErrors();
        return false;
      }
      ++figures->cases;
    }
    figures->rssAfterKb = ns().agentRssKb();
    figures->seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return true;
  }
};

TEST_F(ProtosSuite, AgentSurvivesEveryCaseTwiceAndAnswersOnlyWithWellFormedReplies) {
  ProtosCases cases;
  std::string why;
  ASSERT_TRUE(cases.unpack(&why)) << why;
  ASSERT_TRUE(ns().startAgent({"-c", ProtosCases::kCommunity}, robust::agentEnvironment()))
      << ns().agentErrors();
  robust::Conversation talk(ns(), ProtosCases::kCommunity);
  const long rssStartKb = ns().agentRssKb();
  RunFigures first, second;
  const bool survived = runAll(cases, talk, &first) && runAll(cases, talk, &second);

  std::printf("PROTOS run 1: %zu cases, %llu replies, %.1f s, VmRSS %ld kB -> %ld kB\n",
              first.cases, static_cast<unsigned long long>(first.replies), first.seconds,
              rssStartKb, first.rssAfterKb);
  std::printf("PROTOS run 2: %zu cases, %llu replies, %.1f s, VmRSS %ld kB -> %ld kB\n",
              second.cases, static_cast<unsigned long long>(second.replies), second.seconds,
              first.rssAfterKb, second.rssAfterKb);
  for (const std::string& fault : talk.faults()) ADD_FAILURE() << fault;
  EXPECT_EQ(talk.faultCount(), 0u) << "faults in all (the first ones are listed above)";
  if (!survived) return;

  EXPECT_TRUE(ns().agentRunning());
  const std::optional<std::uint32_t> inPkts = talk.readInPkts();
  ASSERT_TRUE(inPkts) << "no answer after both runs";
  EXPECT_EQ(*inPkts, talk.sent()) << "every case and probe, and this reading, counted once";
  EXPECT_EQ(first.replies, second.replies) << "both runs answered alike";
  EXPECT_LE(second.rssAfterKb - first.rssAfterKb, robust::kRssGrowthLimitKb)
      << "VmRSS grew during the second run";
}

}  // namespace
