// The optimised agent under the memory checker, ended by SIGTERM: no memory error, nothing
// definitely or indirectly lost. Driven once by the mixed traffic of valid and malformed
// datagrams (SNMPD_MEMCHECK_DATAGRAMS of them), once by every PROTOS case.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <sstream>
#include <thread>

#include "tests/netns.hpp"
#include "tests/robust.hpp"

namespace {

constexpr const char* kValgrind = "/usr/bin/valgrind";
constexpr const char* kCommunity = "public";
constexpr int kPort = 161;
constexpr int kErrorStatus = 99;  // the checker's status when it found anything
constexpr long kDefaultDatagrams = 5000;
constexpr std::size_t kBatch = 8;
constexpr int kRunLimitMs = 1500000;
constexpr int kProbeTimeoutMs = 30000;

// The agent under the checker, run by a thread of its own; whatever is left in the
// namespace is killed and the thread collected on every path.
class CheckedAgent {
 public:
  explicit CheckedAgent(Netns& ns) : ns_(ns) {
    const std::vector<std::string> argv = {kValgrind,
                                           "--tool=memcheck",
                                           "--leak-check=full",
                                           "--show-leak-kinds=definite,indirect",
                                           "--errors-for-leak-kinds=definite,indirect",
                                           "--error-exitcode=" + std::to_string(kErrorStatus),
                                           SNMPD_BINARY,
                                           "-f",
                                           "-p",
                                           std::to_string(kPort),
                                           "-c",
                                           kCommunity};
    // The checker's own calls would break the agent's system-call filter: the agent runs as
    // on a kernel that refuses it.
    const std::vector<std::string> env = {std::string("LD_PRELOAD=") + SNMPD_FAULTS,
                                          "SNMPD_FAULT_SECCOMP=refuse"};
    thread_ = std::thread([this, argv, env] { result_ = ns_.exec(argv, env, kRunLimitMs, true); });
  }
  ~CheckedAgent() {
    if (!thread_.joinable()) return;
    for (pid_t pid : ns_.processes()) kill(pid, SIGKILL);
    thread_.join();
  }
  CheckedAgent(const CheckedAgent&) = delete;
  CheckedAgent& operator=(const CheckedAgent&) = delete;

  // Waits until the agent's socket is bound and aims the client at it.
  bool ready(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      for (pid_t pid : ns_.processes()) {
        if (Netns::boundSocket(pid)) {
          pid_ = pid;
          ns_.setTarget(kAgentAddress, kPort);
          return true;
        }
      }
      usleep(20000);
    }
    return false;
  }

  // SIGTERM, then the checker's exit status and report.
  const RunResult& stop() {
    if (pid_ > 0) kill(pid_, SIGTERM);
    thread_.join();
    return result_;
  }

 private:
  Netns& ns_;
  std::thread thread_;
  pid_t pid_ = -1;
  RunResult result_;
};

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

  void expectCleanReport(CheckedAgent& agent, const robust::Conversation& talk) {
    for (const std::string& fault : talk.faults()) ADD_FAILURE() << fault;
    EXPECT_EQ(talk.faultCount(), 0u);
    const RunResult& run = agent.stop();
    std::printf("memory check after %llu datagrams, %llu replies:\n%s",
                static_cast<unsigned long long>(talk.sent()),
                static_cast<unsigned long long>(talk.replies()), summaryLines(run.errors).c_str());
    EXPECT_EQ(run.status, 0) << run.errors;
    // The report proves that the check ran to the end of the process.
    EXPECT_NE(run.errors.find("HEAP SUMMARY"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("ERROR SUMMARY: 0 errors"), std::string::npos) << run.errors;
    const bool nothingLost = run.errors.find("definitely lost: 0 bytes") != std::string::npos ||
                             run.errors.find("All heap blocks were freed") != std::string::npos;
    EXPECT_TRUE(nothingLost) << run.errors;
  }
};

TEST_F(MemcheckRun, MixedTrafficLeavesNoErrorAndNothingLost) {
  const long total = robust::envNumber("SNMPD_MEMCHECK_DATAGRAMS", kDefaultDatagrams);
  CheckedAgent agent(ns());
  ASSERT_TRUE(agent.ready(120000)) << "the agent under the checker never bound its socket";

  robust::Conversation talk(ns(), kCommunity, kProbeTimeoutMs);
  robust::TrafficMix mix(kCommunity, 1500);
  long remaining = total;
  for (bool alive = true; remaining > 0 && alive;)
    alive = talk.exchange(mix.batch(kBatch, &remaining));
  expectCleanReport(agent, talk);
}

TEST_F(MemcheckRun, ProtosCasesLeaveNoErrorAndNothingLost) {
  if (const auto why = robust::ProtosCases::missing()) {
    if (envFlag("SNMPD_REQUIRE_PROTOS")) FAIL() << *why << " (SNMPD_REQUIRE_PROTOS=1)";
    GTEST_SKIP() << *why << ": memory check of the hostile-input suite skipped";
  }
  robust::ProtosCases cases;
  std::string why;
  ASSERT_TRUE(cases.unpack(&why)) << why;
  CheckedAgent agent(ns());
  ASSERT_TRUE(agent.ready(120000)) << "the agent under the checker never bound its socket";

  robust::Conversation talk(ns(), robust::ProtosCases::kCommunity, kProbeTimeoutMs);
  for (const std::string& name : cases.names()) {
    if (!talk.exchange({{cases.read(name), false, name}})) break;
  }
  expectCleanReport(agent, talk);
}

}  // namespace
