// The optimised agent under the memory checker, ended by SIGTERM: no memory error, nothing
// definitely or indirectly lost. Driven once by the mixed traffic of valid and malformed
// datagrams (SNMPD_MEMCHECK_DATAGRAMS of them), once by every PROTOS case.
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sstream>

#include "tests/netns.hpp"
#include "tests/robust.hpp"

namespace {

constexpr const char* kValgrind = "/usr/bin/valgrind";
constexpr const char* kCommunity = "public";
constexpr int kErrorStatus = 99;  // the checker's status when it found anything
constexpr long kDefaultDatagrams = 5000;
constexpr std::size_t kBatch = 8;
constexpr int kStopLimitMs = 600000;
constexpr int kProbeTimeoutMs = 30000;

// The checker's closing figures, one line each.
std::string summaryLines(const std::string& report) {
  static const char* const kWanted[] = {"in use at exit", "definitely lost", "indirectly lost",
                                        "possibly lost",  "still reachable", "ERROR SUMMARY",
                                        "All heap blocks"};
  std::string lines;
  std::istringstream in(report);
  for (std::string line; std::getline(in, line);) {
    for (const char* wanted : kWanted) {
      if (line.find(wanted) != std::string::npos) {
        lines += line + "\n";
        break;
      }
    }
  }
  return lines;
}

class MemcheckRun : public NetnsTest {
 protected:
  void SetUp() override {
    if (agentUnderAddressSanitizer()) {
      GTEST_SKIP() << "the agent of this build carries the address sanitizer, which the memory "
                      "checker cannot run; the optimised build's suite runs this check";
    }
    if (agentEmulated()) {
      GTEST_SKIP() << "the agent runs under an emulator here, which the memory checker cannot "
                      "run; the native build's suite runs this check";
    }
    if (access(kValgrind, X_OK) != 0) {
      // CI installs it (scripts/deps) and requires the end-to-end checks.
      if (netnsRequired()) FAIL() << kValgrind << " is missing";
      GTEST_SKIP() << kValgrind << " is missing: memory check skipped";
    }
    NetnsTest::SetUp();
  }

  // The agent under the checker, bound within two minutes. The checker's own calls would break
  // the agent's system-call filter: the agent runs as on a kernel that refuses it.
  bool startChecked() {
    return ns().startProgram(
        {kValgrind, "--tool=memcheck", "--leak-check=full", "--show-leak-kinds=definite,indirect",
         "--errors-for-leak-kinds=definite,indirect",
         "--error-exitcode=" + std::to_string(kErrorStatus), SNMPD_BINARY, "-f", "-c", kCommunity},
        {std::string("LD_PRELOAD=") + SNMPD_FAULTS, "SNMPD_FAULT_SECCOMP=refuse"}, 120000);
  }

  // SIGTERM, then the checker's exit status and report.
  void expectCleanReport(const robust::Conversation& talk) {
    for (const std::string& fault : talk.faults()) ADD_FAILURE() << fault;
    EXPECT_EQ(talk.faultCount(), 0u);
    const int status = ns().stopAgent(SIGTERM, kStopLimitMs);
    const std::string report = ns().agentErrors();
    std::printf("memory check after %llu datagrams, %llu replies:\n%s",
                static_cast<unsigned long long>(talk.sent()),
                static_cast<unsigned long long>(talk.replies()), summaryLines(report).c_str());
    EXPECT_EQ(status, 0) << report;
    // The report proves that the check ran to the end of the process.
    EXPECT_NE(report.find("HEAP SUMMARY"), std::string::npos) << report;
    EXPECT_NE(report.find("ERROR SUMMARY: 0 errors"), std::string::npos) << report;
    const bool nothingLost = report.find("definitely lost: 0 bytes") != std::string::npos ||
                             report.find("All heap blocks were freed") != std::string::npos;
    EXPECT_TRUE(nothingLost) << report;
  }
};

TEST_F(MemcheckRun, MixedTrafficLeavesNoErrorAndNothingLost) {
  const long total = robust::envNumber("SNMPD_MEMCHECK_DATAGRAMS", kDefaultDatagrams);
  ASSERT_TRUE(startChecked()) << "the agent under the checker never bound its socket\n"
                              << ns().agentErrors();

  robust::Conversation talk(ns(), kCommunity, kProbeTimeoutMs);
  robust::TrafficMix mix(kCommunity, 1500);
  long remaining = total;
  for (bool alive = true; remaining > 0 && alive;)
    alive = talk.exchange(mix.batch(kBatch, &remaining));
  expectCleanReport(talk);
}

TEST_F(MemcheckRun, ProtosCasesLeaveNoErrorAndNothingLost) {
  if (const auto why = robust::ProtosCases::missing()) {
    if (envFlag("SNMPD_REQUIRE_PROTOS")) FAIL() << *why << " (SNMPD_REQUIRE_PROTOS=1)";
    GTEST_SKIP() << *why << ": memory check of the hostile-input suite skipped";
  }
  robust::ProtosCases cases;
  std::string why;
  ASSERT_TRUE(cases.unpack(&why)) << why;
  ASSERT_TRUE(startChecked()) << "the agent under the checker never bound its socket\n"
                              << ns().agentErrors();

  robust::Conversation talk(ns(), robust::ProtosCases::kCommunity, kProbeTimeoutMs);
  for (const std::string& name : cases.names()) {
    if (!talk.exchange({{cases.read(name), false, name}})) break;
  }
  expectCleanReport(talk);
}

}  // namespace
