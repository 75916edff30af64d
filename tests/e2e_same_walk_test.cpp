// The same walk of the whole MIB, names, types and values, from agents that should agree: a
// cross-built agent and the native one over the same fixture files, each written in its own
// machine's byte order (scripts/cross names the native agent in SNMPD_REFERENCE_AGENT); and
// the agent as root and after dropping to nobody with -u.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/netns.hpp"

namespace fs = std::filesystem;

namespace {

// An address word in the byte order of this build's machine, or of the other one.
std::string word(const std::string& dotted, bool swapped) {
  const std::string hex = kernelHex(dotted);
  return swapped ? hex.substr(6, 2) + hex.substr(4, 2) + hex.substr(2, 2) + hex.substr(0, 2) : hex;
}

void writeRoot(const fs::path& root, bool swapped) {
  fs::create_directories(root / "proc/net");
  fs::create_directories(root / "proc/driver");
  fs::create_directories(root / "proc/bus/pci");
  fs::create_directories(root / "etc");
  std::ofstream(root / "etc/version") << "Board firmware 2.4.1\n";
  std::ofstream(root / "proc/bus/pci/devices") << "0010\te4a17c21\n";
  fs::copy_file(SNMPD_SOURCE_DIR "/samples/kyrel", root / "proc/driver/kyrel");
  std::ofstream(root / "proc/net/snmp")
      << "Ip: Forwarding DefaultTTL InReceives InHdrErrors InAddrErrors ForwDatagrams "
         "InUnknownProtos InDiscards InDelivers OutRequests OutDiscards OutNoRoutes "
         "ReasmTimeout ReasmReqds ReasmOKs ReasmFails FragOKs FragFails FragCreates\n"
         "Ip: 1 64 4000000001 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n"
         "Icmp: InMsgs InErrors InDestUnreachs\nIcmp: 21 22 23\n"
         "Tcp: RtoAlgorithm RtoMin RtoMax MaxConn ActiveOpens PassiveOpens AttemptFails "
         "EstabResets CurrEstab InSegs OutSegs RetransSegs InErrs OutRsts\n"
         "Tcp: 1 200 120000 -1 31 32 33 34 2 36 37 38 39 40\n"
         "Udp: InDatagrams NoPorts InErrors OutDatagrams\nUdp: 41 42 43 44\n";
  std::ofstream(root / "proc/net/dev")
      << "Inter-|   Receive                                                |  Transmit\n"
         " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets "
         "errs drop fifo colls carrier compressed\n"
         "  eth0: 5000000000 51 1 2 0 0 0 3 6000 61 4 5 0 0 0 0\n"
         "  eth1: 7000 71 0 0 0 0 0 0 8000 81 0 0 0 0 0 0\n";
  auto route = [&](const char* iface, const char* destination, const char* gateway,
                   const char* mask) {
    return std::string(iface) + "\t" + word(destination, swapped) + "\t" + word(gateway, swapped) +
           "\t0003\t0\t0\t1\t" + word(mask, swapped) + "\t0\t0\t0\n";
  };
  std::ofstream(root / "proc/net/route")
      << "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
      << route("eth0", "0.0.0.0", "10.11.12.100", "0.0.0.0")
      << route("eth1", "192.168.7.0", "10.11.12.254", "255.255.255.0")
      << route("eth0", "172.16.0.0", "0.0.0.0", "255.240.0.0");
  auto socket = [&](const char* local, const char* localPort, const char* remote,
                    const char* remotePort, const char* state) {
    return "   0: " + word(local, swapped) + ":" + localPort + " " + word(remote, swapped) + ":" +
           remotePort + " " + state + " 00000000:00000000 00:00000000 00000000 0 0 1 1\n";
  };
  const char* header = "  sl  local_address rem_address   st tx_queue rx_queue tr\n";
  std::ofstream(root / "proc/net/tcp")
      << header << socket("0.0.0.0", "0016", "0.0.0.0", "0000", "0A")
      << socket("10.11.12.1", "9C40", "192.168.7.9", "C350", "01")
      << socket("127.0.0.1", "0277", "127.0.0.1", "9C41", "06");
  std::ofstream(root / "proc/net/udp")
      << header << socket("10.11.12.1", "0035", "0.0.0.0", "0000", "07")
      << socket("192.168.200.1", "0202", "0.0.0.0", "0000", "07");
}

// The agent of argv walked over the fixtures, sysUpTime left out as it runs on; `served`
// looks at the agent once it has answered the walk, before it is stopped.
std::vector<std::string> walk(Netns& ns, const std::vector<std::string>& argv,
                              const fs::path& fixtures, void (*served)(pid_t) = nullptr) {
  EXPECT_TRUE(ns.startProgram(argv, {"SNMPD_ROOT=" + fixtures.string()})) << ns.agentErrors();
  const RunResult r = ns.client("snmpwalk", ".1.3.6.1.2.1", "-t 5 -r 1", 300000);
  // Bound is not yet dropped: the drop comes after the bind, before the first datagram.
  if (served != nullptr) served(ns.agentPid());
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_EQ(ns.stopAgent(), 0) << ns.agentErrors();
  std::vector<std::string> lines;
  for (const std::string& line : outputLines(r.output)) {
    if (line.rfind(".1.3.6.1.2.1.1.3.0 ", 0) == 0) continue;
    // qemu-user 7.2 swaps the halves of SIOCGIFTXQLEN's answer to a guest of the other byte
    // order: ifOutQLen is the emulator's, not the agent's.
    if (liveKernelSwapped() && line.rfind(".1.3.6.1.2.1.2.2.1.21.", 0) == 0) continue;
    lines.push_back(line);
  }
  return lines;
}

void expectSameWalk(const std::vector<std::string>& ours, const std::vector<std::string>& theirs) {
  EXPECT_GT(ours.size(), 300u);
  ASSERT_EQ(ours.size(), theirs.size());
  for (std::size_t i = 0; i < ours.size(); ++i) ASSERT_EQ(ours[i], theirs[i]) << "line " << i;
}

class SameWalk : public NetnsTest {};

TEST_F(SameWalk, CrossBuiltAgentAsTheNativeOne) {
  const char* reference = std::getenv("SNMPD_REFERENCE_AGENT");
  if (reference == nullptr || *reference == '\0') {
    GTEST_SKIP() << "no native agent to compare with (scripts/cross sets SNMPD_REFERENCE_AGENT)";
  }
  // The native agent's words are in the running kernel's order.
  const fs::path own = root() / "own", native = root() / "native";
  writeRoot(own, false);
  writeRoot(native, liveKernelSwapped());
  const std::vector<std::string> ours = walk(ns(), agentCommand({"-f"}), own);
  expectSameWalk(ours, walk(ns(), {reference, "-f"}, native));
  for (const char* expected : {".1.3.6.1.2.1.4.21.1.1.192.168.7.0 = IpAddress: 192.168.7.0",
                               ".1.3.6.1.2.1.6.13.1.1.10.11.12.1.40000.192.168.7.9.50000 = "
                               "INTEGER: 5",
                               ".1.3.6.1.2.1.7.5.1.1.192.168.200.1.514 = IpAddress: "
                               "192.168.200.1"}) {
    EXPECT_NE(std::find(ours.begin(), ours.end(), expected), ours.end()) << expected;
  }
}

// Every group reads the same as nobody: the files are world-readable and the interface
// queries need no privilege. The agent then serves under its system-call filter.
TEST_F(SameWalk, AsNobodyAsAsRoot) {
  writeRoot(root(), false);
  const std::vector<std::string> asRoot = walk(ns(), agentCommand({"-f"}), root());
  const std::vector<std::string> asNobody =
      walk(ns(), agentCommand({"-f", "-u", "nobody"}), root(), [](pid_t agent) {
        std::ifstream status("/proc/" + std::to_string(agent) + "/status");
        std::string uid, gid, groups, noNewPrivs, seccomp;
        for (std::string line; std::getline(status, line);) {
          if (line.rfind("Uid:", 0) == 0) uid = line;
          if (line.rfind("Gid:", 0) == 0) gid = line;
          if (line.rfind("Groups:", 0) == 0) groups = line;
          if (line.rfind("NoNewPrivs:", 0) == 0) noNewPrivs = line;
          if (line.rfind("Seccomp:", 0) == 0) seccomp = line;
        }
        EXPECT_EQ(uid, "Uid:\t65534\t65534\t65534\t65534");
        EXPECT_EQ(gid, "Gid:\t65534\t65534\t65534\t65534");
        EXPECT_EQ(groups.find_first_of("0123456789"), std::string::npos) << groups;
#ifdef SNMPD_SECCOMP
        // Under qemu-user the status is the emulator's, which applies no guest's filter.
        if (!agentEmulated()) {
          EXPECT_EQ(noNewPrivs, "NoNewPrivs:\t1");
          EXPECT_EQ(seccomp, "Seccomp:\t2");
        }
#endif
      });
  expectSameWalk(asNobody, asRoot);
}

}  // namespace
