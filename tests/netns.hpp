// End-to-end harness: the real agent in a network namespace of its own.
//
//   class MyTest : public NetnsTest {};          // skips (or fails, SNMPD_REQUIRE_NETNS=1)
//   TEST_F(MyTest, Walk) {                       // where namespaces are not permitted
//     ASSERT_TRUE(ns().startAgent({"-c", "public"}, {"SNMPD_ROOT=/fixture"}));
//     auto reply = ns().request(hexBytes("30 26 ..."));          // UDP to the agent
//     auto walk = ns().run("snmpwalk -v1 -c public 10.11.12.1 1.3.6.1.2.1.1");
//     EXPECT_EQ(walk.status, 0) << walk.output;
//   }
//
// Each Netns makes a uniquely named namespace with lo up and a veth pair eth0
// (kAgentAddress/24) and eth1 (kPeerAddress/24), both inside it. The agent runs there in
// the foreground (-f) with stdout and stderr captured; requests go out from a socket
// created inside the namespace, so they never leave it. The destructor kills every
// process left in the namespace and deletes it.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <gtest/gtest.h>

#include <csignal>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support.hpp"

inline constexpr const char* kAgentAddress = "10.11.12.1";  // eth0
inline constexpr const char* kPeerAddress = "10.11.12.2";   // eth1

struct RunResult {
  int status = -1;     // exit status, 128 + signal number when killed, -1 when not started
  std::string output;  // standard output, then standard error
  std::string errors;  // standard error alone
};

// Runs argv[0] (a path) with argv, the environment plus `env` ("NAME=value"), inside the
// network namespace `netnsName` when not empty, in a process group of its own. Waits at
// most timeoutMs, then kills the group. With reapGroup, whatever the command left running
// in its group is killed too.
RunResult runProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     const std::string& netnsName, int timeoutMs, bool reapGroup = true);

// The lines of a client's output, empty ones dropped.
std::vector<std::string> outputLines(const std::string& text);
// The arcs of the numeric name that begins an output line ".1.3.6 = INTEGER: 5".
std::vector<unsigned long> nameArcs(const std::string& line);
// Walk output: every line's name under `subtree` and after the name before it.
::testing::AssertionResult inOrderUnder(const std::vector<std::string>& lines,
                                        const std::string& subtree);

// The agent's command line: the built binary with args, run by the emulator first in a
// cross build (its argv[0] is still the binary's path).
std::vector<std::string> agentCommand(const std::vector<std::string>& args = {});
// True where the agent runs under an emulator (a cross build's tests).
bool agentEmulated();
// True where faults can be preloaded into the agent (LD_PRELOAD of SNMPD_FAULTS): not under
// an emulator, which would preload them into itself, nor in the sanitizer build, whose
// runtime must come first.
bool agentTakesPreloads();

// True where the running kernel prints the words of /proc/net/route, tcp and udp in the
// other byte order than this program's: a foreign-endian build under qemu-user, whose live
// files come from the host's kernel untranslated (qemu translates /proc/net/route alone, and
// only by that exact path).
bool liveKernelSwapped();

bool agentUnderAddressSanitizer();  // this build instruments the agent
bool envFlag(const char* name);     // NAME=1
// SNMPD_REQUIRE_NETNS=1: tests must fail rather than skip without namespaces.
bool netnsRequired();

class Netns {
 public:
  // A new namespace, or null with the reason in *why.
  static std::unique_ptr<Netns> create(std::string* why);
  ~Netns();
  Netns(const Netns&) = delete;
  Netns& operator=(const Netns&) = delete;

  const std::string& name() const { return name_; }
  std::vector<pid_t> processes() const;  // every process inside the namespace

  // A new socket (SOCK_DGRAM, SOCK_STREAM) of the namespace, the caller's to close; -1 with
  // the reason in *why.
  int openSocket(int type, std::string* why = nullptr);

  // A shell command inside the namespace (e.g. "snmpget -v1 -c mirlen 10.11.12.1 ...").
  RunResult run(const std::string& command, int timeoutMs = 60000);
  // A Net-SNMP client against the agent on kAgentAddress: community mirlen, numeric names, no
  // MIB files, one try of two seconds; `options` come after those (e.g. "-Ox", "-t 5").
  RunResult client(const std::string& tool, const std::string& args,
                   const std::string& options = "", int timeoutMs = 60000);
  // Any program inside the namespace, argv[0] a path.
  RunResult exec(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                 int timeoutMs = 60000, bool reapGroup = true);

  // Starts the agent with "-f" and args; true once its socket is bound (at most timeoutMs),
  // false when it exited or never bound. Requests then go to the bound port, on
  // kAgentAddress when it is bound to all addresses.
  bool startAgent(const std::vector<std::string>& args = {},
                  const std::vector<std::string>& env = {}, int timeoutMs = 10000);
  // The same for any command line that runs an agent in the foreground.
  bool startProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                    int timeoutMs = 10000);
  // Sends the signal and waits for the agent: its exit status as in RunResult; SIGKILL
  // follows when it has not ended within timeoutMs. When the agent had already ended, its
  // status then; -1 when none was started.
  int stopAgent(int signal = SIGTERM, int timeoutMs = 10000);
  bool agentRunning();  // false once it has ended (its status in agentStatus())
  int agentStatus() const { return agentStatus_; }
  pid_t agentPid() const { return agentPid_; }
  std::string agentOutput() const;  // standard output so far
  std::string agentErrors() const;  // standard error so far
  long agentRssKb() const;          // VmRSS, -1 when unknown

  // Local address (network byte order) of the UDP socket that process pid holds, read
  // from the process's own view of the namespace.
  static std::optional<sockaddr_in> boundSocket(pid_t pid);

  // One datagram to the agent, then the first reply within timeoutMs. Replies left over
  // from earlier requests are dropped first.
  std::optional<Bytes> request(const Bytes& datagram, int timeoutMs = 2000);
  // Fire and forget, and the matching receive, for bulk traffic.
  bool send(const Bytes& datagram);
  std::optional<Bytes> receive(int timeoutMs);
  void setTarget(const std::string& address, int port);

 private:
  Netns() = default;
  bool openClient(std::string* why);
  void killAll();

  std::string name_;
  int clientFd_ = -1;
  sockaddr_in target_{};
  pid_t agentPid_ = -1;
  int agentStatus_ = -1;
  std::string outPath_, errPath_;
};

// Fixture: a fresh namespace per test, in ns().
class NetnsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  Netns& ns() { return *ns_; }
  // An empty directory for the test's fixture files (the agent's SNMPD_ROOT), made on first
  // use and removed after the test.
  const std::filesystem::path& root();

 private:
  std::unique_ptr<Netns> ns_;
  std::filesystem::path root_;
};
