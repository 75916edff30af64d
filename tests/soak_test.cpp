// A long mixed flood against the running agent: SNMPD_SOAK_DATAGRAMS datagrams (100,000 by
// default; a million by hand), at most SNMPD_SOAK_SECONDS seconds. Every valid request is
// answered, no reply is malformed, the counter of received datagrams matches, and resident
// memory after warm-up stays flat.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "tests/netns.hpp"
#include "tests/robust.hpp"

namespace {

constexpr const char* kCommunity = "public";
constexpr std::size_t kBatch = 32;  // datagrams between two probes
constexpr long kDefaultDatagrams = 100000;
constexpr long kDefaultSeconds = 1500;

class Soak : public NetnsTest {};

TEST_F(Soak, MixedFloodIsAnsweredWithoutGrowth) {
  const long total = robust::envNumber("SNMPD_SOAK_DATAGRAMS", kDefaultDatagrams);
  const long seconds = robust::envNumber("SNMPD_SOAK_SECONDS", kDefaultSeconds);
  // The address sanitizer's own records keep growing for a while after the agent's do.
  const long warmUp = std::max(total / (agentUnderAddressSanitizer() ? 2 : 10), 2000L);
  ASSERT_TRUE(ns().startAgent({"-c", kCommunity}, robust::agentEnvironment()))
      << ns().agentErrors();

  robust::Conversation talk(ns(), kCommunity);
  robust::TrafficMix mix(kCommunity, 20261208);
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto deadline = start + std::chrono::seconds(seconds);
  long remaining = total, rssWarmKb = -1;
  bool alive = true;
  while (remaining > 0 && alive) {
    ASSERT_LT(Clock::now(), deadline)
        << "soak bounded to " << seconds << " s; " << total - remaining << " datagrams sent";
    alive = talk.exchange(mix.batch(kBatch, &remaining));
    if (rssWarmKb < 0 && total - remaining >= warmUp) rssWarmKb = ns().agentRssKb();
  }
  const long sent = total - remaining;
  const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  const long rssEndKb = ns().agentRssKb();

  std::printf(
      "soak: %ld datagrams of the mix, %llu with probes, %llu replies, %.1f s, %.0f datagrams/s, "
      "VmRSS after warm-up %ld kB, at the end %ld kB\n",
      sent, static_cast<unsigned long long>(talk.sent()),
      static_cast<unsigned long long>(talk.replies()), elapsed,
      static_cast<double>(talk.sent()) / elapsed, rssWarmKb, rssEndKb);
  for (const std::string& fault : talk.faults()) ADD_FAILURE() << fault;
  EXPECT_EQ(talk.faultCount(), 0u) << "faults in all (the first ones are listed above)";
  ASSERT_TRUE(alive) << "the agent stopped answering\n" << ns().agentErrors();

  const std::optional<std::uint32_t> inPkts = talk.readInPkts();
  ASSERT_TRUE(inPkts);
  EXPECT_EQ(*inPkts, static_cast<std::uint32_t>(talk.sent()));
  EXPECT_LE(rssEndKb - rssWarmKb, robust::kRssGrowthLimitKb) << "VmRSS grew after warm-up";
}

}  // namespace
