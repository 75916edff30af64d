#include "daemon/snmpd.hpp"

#include <arpa/inet.h>
#include <dirent.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/snmpmib.hpp"
#include "engine/smp.hpp"
#include "tests/netns.hpp"

namespace {

const std::string kUsageTail = " [-h lhost] [-p lport] [-c community] [-f] [-u user]\n";

std::string usageText(const std::string& program) {
  return "Usage: " + program + kUsageTail;
}

// Binds fd to an ephemeral loopback port; the bound address, or family 0 on failure.
sockaddr_in bindLoopback(int fd) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof local;
  if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0)
    return sockaddr_in{};
  return local;
}

std::string addressText(std::uint32_t address) {
  in_addr a{address};
  return inet_ntoa(a);
}

// ---- Option grammar and validation, in process ----

struct OptionCase {
  std::vector<std::string> args;
  int status;
  std::string errors;  // "%s" stands for the program name
  std::string address = "0.0.0.0";
  int port = kDefaultPort;
  std::string community = kDefaultCommunity;
  bool foreground = false;
};

const OptionCase kOptionCases[] = {
    {{}, 0, ""},
    {{"-x"}, 1, "usage"},
    {{"--"}, 1, "usage"},
    {{"-p1161"}, 1, "usage"},
    {{"word"}, 1, "usage"},
    {{"-p", "1161", "word"}, 1, "usage"},
    {{"-h", "1.2.3.4", "-x"}, 1, "usage"},
    {{"-p", "08", "-x"}, 1, "usage"},  // the grammar is checked before any value
    {{"-fx"}, 1, "usage"},
    {{"-p", "08"}, 2, "%s: Bad local port: 08\n"},
    {{"-p", "-1"}, 2, "%s: Bad local port: -1\n"},
    {{"-p", "0X1F"}, 2, "%s: Bad local port: 0X1F\n"},
    {{"-p", "-p"}, 2, "%s: Bad local port: -p\n"},  // the letter takes the next argument
    {{"-h", "255.255.255.255"}, 2, "%s: Bad foreign host: 255.255.255.255\n"},
    {{"-h", "255.255.255.255", "-p", "08"}, 2, "%s: Bad foreign host: 255.255.255.255\n"},
    {{"-p", "0x1f90"}, 0, "", "0.0.0.0", 8080},
    {{"-p", "010"}, 0, "", "0.0.0.0", 8},
    {{"-p", "65697"}, 0, "", "0.0.0.0", 161},
    {{"-p", "65536"}, 0, "", "0.0.0.0", 0},
    {{"-p", "1", "-p", "2"}, 0, "", "0.0.0.0", 2},
    {{"-p"}, 0, "", "0.0.0.0", 161},
    {{"-p", "1161", "-p"}, 0, "", "0.0.0.0", 161},  // a letter with nothing left: not given
    {{"-c", "public", "-c"}, 0, ""},
    {{"-", "-p", "1161"}, 0, "", "0.0.0.0", 1161},
    {{"-hpc", "127.0.0.1", "1161", "public"}, 0, "", "127.0.0.1", 1161, "public"},
    {{"-h", "10.0.0.1"}, 0, "", "10.0.0.1"},
    {{"-c", ""}, 0, "", "0.0.0.0", 161, ""},
    {{"-c", "0123456789abcdef"}, 0, "", "0.0.0.0", 161, "0123456789abcdef"},
    {{"-c", "0123456789abcdefg"}, 2, "%s: Bad community: 0123456789abcdefg\n"},
    {{"-f"}, 0, "", "0.0.0.0", 161, "mirlen", true},
    {{"-fp", "1161"}, 0, "", "0.0.0.0", 1161, "mirlen", true},
    {{"-pf", "1161"}, 0, "", "0.0.0.0", 1161, "mirlen", true},
    {{"-p", "1161", "-f"}, 0, "", "0.0.0.0", 1161, "mirlen", true},
    {{"-f", "-p", "08"}, 2, "%s: Bad local port: 08\n"},
    {{"-u", "no-such-user-x"}, 2, "%s: Bad user: no-such-user-x\n"},
    {{"-u", "4294967295"}, 2, "%s: Bad user: 4294967295\n"},  // -1 means no change
    {{"-u", "12x"}, 2, "%s: Bad user: 12x\n"},
    {{"-u", "18446744073709551617"}, 2, "%s: Bad user: 18446744073709551617\n"},
    {{"-u", "+5"}, 2, "%s: Bad user: +5\n"},
    {{"-u", ""}, 2, "%s: Bad user: \n"},
    {{"-c", "0123456789abcdefg", "-u", "x"}, 2, "%s: Bad community: 0123456789abcdefg\n"},
    {{"-fu", "nobody"}, 0, "", "0.0.0.0", 161, "mirlen", true},
    {{"-u", "65534"}, 0, ""},  // a number need not name an account
    {{"-u"}, 0, ""},
};

TEST(SnmpdOptions, GrammarAndValidation) {
  for (const auto& c : kOptionCases) {
    std::vector<std::string> strings = {"snmpd"};
    strings.insert(strings.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (auto& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    std::string label = "args:";
    for (const auto& a : c.args) label += " '" + a + "'";

    SnmpdConfig config;
    testing::internal::CaptureStderr();
    int status = snmpdOptions(static_cast<int>(strings.size()), argv.data(), &config);
    std::string errors = testing::internal::GetCapturedStderr();

    EXPECT_EQ(status, c.status) << label;
    std::string expected = c.errors == "usage" ? usageText("snmpd") : c.errors;
    if (auto at = expected.find("%s"); at != std::string::npos) expected.replace(at, 2, "snmpd");
    EXPECT_EQ(errors, expected) << label;
    if (status != 0) continue;
    EXPECT_EQ(addressText(config.address), c.address) << label;
    EXPECT_EQ(config.port, c.port) << label;
    EXPECT_STREQ(config.community, c.community.c_str()) << label;
    EXPECT_EQ(config.foreground, c.foreground) << label;
  }
}

// ---- Receive loop, in process ----

// Every receive call is counted, the failed one that ends the loop too; an oversized
// datagram is cut to the buffer (the sanitizer build would catch an overflow).
TEST(SnmpdReceive, CountsEveryReceiveAndEndsOnFailure) {
  FileDescriptor agent(socket(AF_INET, SOCK_DGRAM, 0));
  FileDescriptor peer(socket(AF_INET, SOCK_DGRAM, 0));
  ASSERT_TRUE(agent.valid() && peer.valid());
  sockaddr_in local = bindLoopback(agent.get());
  ASSERT_EQ(local.sin_family, AF_INET);
  timeval patience{0, 200 * 1000};  // then the receive fails and the loop ends
  ASSERT_EQ(setsockopt(agent.get(), SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience), 0);

  const std::vector<std::size_t> sizes = {
      1, kSmpMaxDatagram - 1, kSmpMaxDatagram, kSmpMaxDatagram + 1, 3 * kSmpMaxDatagram, 0};
  for (std::size_t size : sizes) {
    std::vector<std::uint8_t> datagram(size, 0x00);  // no message begins with 00
    ASSERT_EQ(sendto(peer.get(), datagram.data(), size, 0, reinterpret_cast<sockaddr*>(&local),
                     sizeof local),
              static_cast<ssize_t>(size));
  }
  std::uint32_t before = SnmpMib[snmpInPkts];
  snmpdReceive(agent.get());
  EXPECT_EQ(SnmpMib[snmpInPkts] - before, sizes.size() + 1);
}

TEST(FileDescriptor, ClosesOnceAndMoves) {
  int raw = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(raw, 0);
  FileDescriptor a(raw);
  FileDescriptor b(std::move(a));
  EXPECT_FALSE(a.valid());
  EXPECT_EQ(b.get(), raw);
  EXPECT_EQ(b.close(), 0);
  EXPECT_FALSE(b.valid());
  EXPECT_EQ(b.close(), 0);
}

// ---- The real binary: what the caller sees ----

RunResult runAgent(const std::vector<std::string>& args) {
  std::vector<std::string> argv = agentCommand(args);
  // Should a case wrongly start an agent, the group kill ends it.
  return runProcess(argv, {}, "", 10000, true);
}

// The grammar is checked in process; here what a caller of the binary sees, in the
// foreground and not.
TEST(SnmpdBinary, StartUpErrorsReachTheCaller) {
  const std::string program = SNMPD_BINARY;
  struct {
    std::vector<std::string> args;
    int status;
    std::string errors;
  } const cases[] = {
      {{"-x"}, 1, usageText(program)},
      {{"-p", "08"}, 2, program + ": Bad local port: 08\n"},
      {{"-c", "seventeen-chars-x"}, 2, program + ": Bad community: seventeen-chars-x\n"},
      {{"-fx"}, 1, usageText(program)},
      {{"-f", "-p", "08"}, 2, program + ": Bad local port: 08\n"},
      {{"-fc", "seventeen-chars-x"}, 2, program + ": Bad community: seventeen-chars-x\n"},
      {{"-fu", "no-such-user-x"}, 2, program + ": Bad user: no-such-user-x\n"},
  };
  for (const auto& c : cases) {
    RunResult r = runAgent(c.args);
    std::string label = "args:";
    for (const auto& a : c.args) label += " " + a;
    EXPECT_EQ(r.status, c.status) << label;
    EXPECT_EQ(r.errors, c.errors) << label;
    EXPECT_EQ(r.output, r.errors) << label << ": nothing on standard output";
  }
}

// Only root can leave root: a drop that fails names the call, before the agent detaches.
TEST(SnmpdBinary, FailedDropIsAStartUpError) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to start the agent as another user";
  for (const char* mode : {"-f", "-"}) {
    std::vector<std::string> argv = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                     "--clear-groups"};
    for (const std::string& arg : agentCommand({mode, "-h", "127.0.0.1", "-p", "0", "-u", "0"}))
      argv.push_back(arg);
    RunResult r = runProcess(argv, {}, "", 10000, true);
    EXPECT_EQ(r.status, 1) << mode;
    EXPECT_EQ(r.errors, "setgroups: Operation not permitted\n") << mode;
  }
}

TEST(SnmpdBinary, PortInUseIsABindError) {
  FileDescriptor holder(socket(AF_INET, SOCK_DGRAM, 0));
  sockaddr_in local = bindLoopback(holder.get());
  ASSERT_EQ(local.sin_family, AF_INET);
  std::string port = std::to_string(ntohs(local.sin_port));

  for (const char* mode : {"-f", "-"}) {  // in the foreground, and detaching
    RunResult r = runAgent({mode, "-h", "127.0.0.1", "-p", port});
    EXPECT_EQ(r.status, 1) << mode;
    EXPECT_EQ(r.errors, "bind: Address already in use\n") << mode;
  }
}

// ---- The real binary in a namespace of its own ----

class SnmpdAgent : public NetnsTest {};

// How each option's value is read is checked in process; here that the values reach bind.
TEST_F(SnmpdAgent, BindsWhereTheOptionsSay) {
  struct {
    std::vector<std::string> args;
    std::string address;
    int port;
  } const cases[] = {
      {{}, "0.0.0.0", 161},
      {{"-hpc", "127.0.0.1", "1161", "public"}, "127.0.0.1", 1161},
      {{"-fh", kAgentAddress}, kAgentAddress, 161},
      {{"-h", "localhost", "-p", "1162"}, "127.0.0.1", 1162},
  };
  for (const auto& c : cases) {
    std::string label = "args:";
    for (const auto& a : c.args) label += " " + a;
    ASSERT_TRUE(ns().startAgent(c.args)) << label << "\n" << ns().agentErrors();
    auto bound = Netns::boundSocket(ns().agentPid());
    ASSERT_TRUE(bound.has_value()) << label;
    EXPECT_EQ(addressText(bound->sin_addr.s_addr), c.address) << label;
    EXPECT_EQ(ntohs(bound->sin_port), c.port) << label;
    EXPECT_EQ(ns().stopAgent(SIGTERM), 0) << label;
  }
}

// The community given with -c is the one served; any other is refused unanswered.
TEST_F(SnmpdAgent, ServesTheCommunityItWasGiven) {
  struct {
    std::vector<std::string> args;
    std::string target, served, refused;
  } const cases[] = {
      {{"-hpc", "127.0.0.1", "1161", "public"}, "127.0.0.1:1161", "public", "mirlen"},
      {{}, std::string(kAgentAddress) + ":161", "mirlen", "public"},
      {{"-c", "sixteen-chars-ok"},
       std::string(kAgentAddress) + ":161",
       "sixteen-chars-ok",
       "sixteen-chars-o"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.served);
    ASSERT_TRUE(ns().startAgent(c.args)) << ns().agentErrors();
    const std::string get = " -t 1 -r 0 -On " + c.target + " 1.3.6.1.2.1.11.1.0";
    RunResult served = ns().run("snmpget -v1 -c " + c.served + get);
    EXPECT_EQ(served.status, 0) << served.output;
    EXPECT_NE(served.output.find(".1.3.6.1.2.1.11.1.0 = Counter32: 1"), std::string::npos)
        << served.output;
    RunResult refused = ns().run("snmpget -v1 -c " + c.refused + get);
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.output.find("Timeout"), std::string::npos) << refused.output;
    EXPECT_EQ(ns().stopAgent(SIGTERM), 0);
  }
}

TEST_F(SnmpdAgent, EachStopSignalEndsWithStatusZero) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    ASSERT_TRUE(ns().startAgent()) << ns().agentErrors();
    EXPECT_EQ(ns().stopAgent(signal), 0) << strsignal(signal);
  }
}

// A counter file gone while serving is reported on standard output, whether that is a
// file or a character device (which stdio first asks whether it is a terminal); the agent
// serves on. Under its system-call filter these are the serving loop's rarest calls.
TEST_F(SnmpdAgent, MissingCounterFileIsReportedAndServedOn) {
  // A version file keeps start-up silent: the first write comes while serving.
  std::filesystem::create_directories(root() / "etc");
  std::ofstream(root() / "etc/version") << "Board firmware 2.4.1\n";
  const std::string empty = "SNMPD_ROOT=" + root().string();
  for (const bool device : {false, true}) {
    SCOPED_TRACE(device ? "standard output /dev/null" : "standard output a file");
    std::vector<std::string> argv = agentCommand({"-f"});
    if (device) argv.insert(argv.begin(), {"/bin/sh", "-c", "exec \"$@\" >/dev/null", "sh"});
    ASSERT_TRUE(ns().startProgram(argv, {empty})) << ns().agentErrors();
    for (const char* counter : {"4.3.0", "5.1.0", "6.5.0", "7.1.0"}) {
      ns().client("snmpget", std::string("1.3.6.1.2.1.") + counter);
    }
    const RunResult upTime = ns().client("snmpget", "1.3.6.1.2.1.1.3.0");
    EXPECT_EQ(upTime.status, 0) << upTime.output;
    ASSERT_TRUE(ns().agentRunning()) << ns().agentErrors();
    if (!device) {
      EXPECT_EQ(ns().agentOutput(),
                "ipRetrieve() Error opening /proc/net/snmp\n"
                "icmpRetrieve() Error opening /proc/net/snmp\n"
                "tcpRetrieve() Error opening /proc/net/snmp\n"
                "udpRetrieve() Error opening /proc/net/snmp\n");
    }
    EXPECT_EQ(ns().stopAgent(SIGTERM), 0);
  }
}

// A receive that fails for a moment (a signal, the kernel short of buffers or memory) is
// counted and retried; any other failure ends the agent with status 1 and its reason, so
// that a supervisor restarts it.
TEST_F(SnmpdAgent, PassingReceiveErrorsAreRetriedOthersEndTheAgent) {
  if (!agentTakesPreloads()) GTEST_SKIP() << "no faults can be preloaded into this agent";
  const std::string preload = std::string("LD_PRELOAD=") + SNMPD_FAULTS;
  ASSERT_TRUE(ns().startAgent({}, {preload, "SNMPD_FAULT_RECEIVES=EINTR ENOBUFS ENOMEM"}))
      << ns().agentErrors();
  const RunResult counted = ns().client("snmpget", "1.3.6.1.2.1.11.1.0");
  EXPECT_NE(counted.output.find(".1.3.6.1.2.1.11.1.0 = Counter32: 4"), std::string::npos)
      << counted.output;
  EXPECT_EQ(ns().stopAgent(SIGTERM), 0);
  EXPECT_EQ(ns().agentErrors(), "");

  const RunResult ended =
      ns().exec(agentCommand({"-f"}), {preload, "SNMPD_FAULT_RECEIVES=EINTR ENOTSOCK"});
  EXPECT_EQ(ended.status, 1);
  EXPECT_EQ(ended.errors, "recv: Socket operation on non-socket\n");
}

// A root no path fits under is refused at start-up, before anything is bound.
TEST(SnmpdBinary, OverlongRootIsAStartUpError) {
  const RunResult r = runProcess(agentCommand({"-f", "-p", "0"}),
                                 {"SNMPD_ROOT=/" + std::string(4095, 'r')}, "", 10000, true);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.errors, std::string(SNMPD_BINARY) + ": SNMPD_ROOT longer than 4095 bytes\n");
}

// Every file the agent reads, made a FIFO, a device that never ends or a directory, reads
// as a missing file: the agent binds, walks its whole MIB and answers on, never stalled by
// an open or a read without end.
TEST_F(SnmpdAgent, FilesThatAreNoFilesReadAsMissing) {
  const char* const files[] = {"etc/version",   "proc/version", "proc/bus/pci/devices",
                               "proc/net/snmp", "proc/net/dev", "proc/net/route",
                               "proc/net/tcp",  "proc/net/udp", "proc/driver/kyrel"};
  namespace fs = std::filesystem;
  const struct {
    const char* kind;
    bool (*make)(const fs::path&);
  } kinds[] = {
      {"FIFO", [](const fs::path& p) { return mkfifo(p.c_str(), 0644) == 0; }},
      {"device", [](const fs::path& p) { return symlink("/dev/zero", p.c_str()) == 0; }},
      {"directory", [](const fs::path& p) { return fs::create_directory(p); }},
  };
  for (const auto& [kind, make] : kinds) {
    SCOPED_TRACE(kind);
    for (const char* file : files) {
      const fs::path path = root() / kind / file;
      fs::create_directories(path.parent_path());
      ASSERT_TRUE(make(path)) << path;
    }
    ASSERT_TRUE(ns().startAgent({}, {"SNMPD_ROOT=" + (root() / kind).string()}))
        << ns().agentErrors();
    const RunResult walk = ns().client("snmpwalk", "1.3.6.1.2.1");
    EXPECT_EQ(walk.status, 0) << walk.output;
    const RunResult upTime = ns().client("snmpget", "1.3.6.1.2.1.1.3.0");
    EXPECT_EQ(upTime.status, 0) << upTime.output;
    EXPECT_EQ(ns().stopAgent(SIGTERM), 0);
  }
}

TEST_F(SnmpdAgent, UnresolvableHostIsRefused) {
  // Inside the namespace no name server can be reached: the look-up fails at once.
  for (const char* mode : {"-f", "-"}) {
    RunResult r = ns().exec(agentCommand({mode, "-h", "no.such.host.invalid"}));
    EXPECT_EQ(r.status, 2) << mode;
    EXPECT_EQ(r.errors, std::string(SNMPD_BINARY) + ": Bad foreign host: no.such.host.invalid\n");
  }
}

TEST_F(SnmpdAgent, SurvivesOversizedAndEmptyDatagrams) {
  ASSERT_TRUE(ns().startAgent()) << ns().agentErrors();
  for (std::size_t size : {std::size_t{0}, std::size_t{kSmpMaxDatagram + 1}, std::size_t{8000}}) {
    ASSERT_TRUE(ns().send(Bytes(size, 0x30)));
  }
  EXPECT_FALSE(ns().receive(200).has_value()) << "nothing to answer";
  EXPECT_TRUE(ns().agentRunning()) << ns().agentErrors();
  EXPECT_EQ(ns().stopAgent(SIGTERM), 0);
  EXPECT_EQ(ns().agentErrors(), "");
}

// Without -f the command returns 0 only after binding, and the agent serves on in the
// background until SIGTERM, which it obeys with status 0.
TEST_F(SnmpdAgent, DetachesOnlyOnceBound) {
  // Become the detached agent's reaper so that its exit status can be read. qemu-user does
  // not pass this request on: under it the status goes unchecked.
  const bool reaper = prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
  ASSERT_TRUE(reaper || agentEmulated());
  struct ReaperOff {
    ~ReaperOff() { prctl(PR_SET_CHILD_SUBREAPER, 0); }
  } reaperOff;

  RunResult started = ns().exec(agentCommand({"-p", "1161"}), {}, 10000, false);
  ASSERT_EQ(started.status, 0) << started.output;
  EXPECT_EQ(started.output, "");

  std::vector<pid_t> running = ns().processes();
  ASSERT_EQ(running.size(), 1u);
  pid_t agent = running[0];

  auto bound = Netns::boundSocket(agent);  // no waiting: bound before the caller returned
  ASSERT_TRUE(bound.has_value());
  EXPECT_EQ(ntohs(bound->sin_port), 1161);

  ns().setTarget(kAgentAddress, 1161);
  ASSERT_TRUE(ns().send(hexBytes("00")));
  usleep(50 * 1000);
  ASSERT_EQ(kill(agent, 0), 0) << "the detached agent keeps serving";

  ASSERT_EQ(kill(agent, SIGTERM), 0);
  if (!reaper) return;
  int status = -1;
  ASSERT_EQ(waitpid(agent, &status, 0), agent);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
