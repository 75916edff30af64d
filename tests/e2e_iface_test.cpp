// The interfaces group and the serial-port MIB over the wire, the agent started on a root
// made by scripts/sample-root: the namespace's own interfaces and the sample serial board.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tests/netns.hpp"
#include "tests/smp_harness.hpp"

namespace {

const std::string kIfTable = ".1.3.6.1.2.1.2.2", kRs232 = ".1.3.6.1.2.1.10.33";

std::string cell(int column, int ix) {
  return kIfTable + ".1." + std::to_string(column) + "." + std::to_string(ix);
}

// An interface as ip link shows it; one that is absent shows zeros and down.
struct Link {
  std::string mac = "00 00 00 00 00 00";
  std::string mtu = "0", qlen = "0";
  bool up = false, running = false;
};

Link ipLink(Netns& ns, const std::string& name) {
  Link link;
  const RunResult shown = ns.run("ip -o link show " + name);
  if (shown.status != 0) return link;
  std::istringstream words(shown.output);
  for (std::string word, previous; words >> word; previous = word) {
    if (word.front() == '<') {
      std::replace(word.begin(), word.end(), '<', ',');
      std::replace(word.begin(), word.end(), '>', ',');
      link.up = word.find(",UP,") != std::string::npos;
    }
    if (previous == "mtu") link.mtu = std::to_string(std::stol(word));
    if (previous == "qlen") link.qlen = std::to_string(std::stol(word));
    if (previous == "state") link.running = word == "UP" || word == "UNKNOWN";  // IFF_RUNNING
    if (previous == "link/ether") {
      link.mac = word;
      std::transform(word.begin(), word.end(), link.mac.begin(), ::toupper);
      std::replace(link.mac.begin(), link.mac.end(), ':', ' ');
    }
  }
  return link;
}

std::string hexOf(const std::string& text) {
  return hexText(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

class InterfacesE2E : public NetnsTest {
 protected:
  void SetUp() override {
    NetnsTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    const RunResult made =
        runProcess({SNMPD_SOURCE_DIR "/scripts/sample-root", root().string()}, {}, "", 10000);
    ASSERT_EQ(made.status, 0) << made.output;
    ASSERT_TRUE(ns().startAgent({}, {"SNMPD_ROOT=" + root().string()})) << ns().agentErrors();
  }
  // eth0's /proc/net/dev numbers as the namespace's kernel prints them.
  std::vector<std::uint64_t> eth0Numbers() {
    std::istringstream dev(ns().run("cat /proc/net/dev").output);
    std::vector<std::uint64_t> numbers;
    for (std::string line; std::getline(dev, line);) {
      const std::size_t colon = line.find("eth0:");
      if (colon == std::string::npos) continue;
      std::istringstream values(line.substr(colon + 5));
      for (std::uint64_t n; values >> n;) numbers.push_back(n);
    }
    return numbers;
  }
};

// ifOutQLen as the agent is told it. qemu-user 7.2 answers SIOCGIFTXQLEN to a guest of the
// other byte order with the two halves of the word swapped (1000 reads 65536000), an
// artefact of the emulator; SIOCGIFMTU and the others come right.
std::string qlenSeen(const std::string& qlen) {
  if (!liveKernelSwapped()) return qlen;
  const auto n = static_cast<std::uint32_t>(std::stoul(qlen));
  return std::to_string((n << 16) | (n >> 16));
}

TEST_F(InterfacesE2E, RowsAgreeWithIpLinkAsTheLinksChange) {
  // The last change leaves eth0 up but not running: the status columns then differ.
  const struct {
    const char* command;
    bool eth0Running;
  } changes[] = {
      {"true", true}, {"ip link set eth0 mtu 1400", true}, {"ip link set eth1 down", false}};
  for (const auto& change : changes) {
    SCOPED_TRACE(change.command);
    ASSERT_EQ(ns().run(change.command).status, 0);
    for (int wait = 0; wait < 100 && ipLink(ns(), "eth0").running != change.eth0Running; ++wait) {
      usleep(50000);  // the kernel settles a link's state in the background
    }
    ASSERT_EQ(ipLink(ns(), "eth0").running, change.eth0Running);
    for (int ix = 1; ix <= 3; ++ix) {
      const std::string name = "eth" + std::to_string(ix - 1);
      const Link link = ipLink(ns(), name);
      const std::vector<std::string> expected = {
          cell(2, ix) + " = Hex-STRING: " + hexOf(name) + " ",
          cell(3, ix) + " = INTEGER: 6",
          cell(4, ix) + " = INTEGER: " + link.mtu,
          cell(6, ix) + " = Hex-STRING: " + link.mac + " ",
          cell(7, ix) + " = INTEGER: " + (link.running ? "1" : "2"),
          cell(8, ix) + " = INTEGER: " + (link.up ? "1" : "2"),
          cell(21, ix) + " = Gauge32: " + qlenSeen(link.qlen)};
      std::string names;
      for (const std::string& line : expected) names += line.substr(0, line.find(' ')) + " ";
      const RunResult get = ns().client("snmpget", names, "-Ox");
      EXPECT_EQ(get.status, 0) << get.output;
      EXPECT_EQ(outputLines(get.output), expected);
    }
  }
  // Counters between two readings of the kernel's own: received and sent bytes and packets.
  const std::vector<std::uint64_t> before = eth0Numbers();
  const RunResult get = ns().client(
      "snmpget", cell(10, 1) + " " + cell(11, 1) + " " + cell(16, 1) + " " + cell(17, 1), "-Ox");
  const std::vector<std::uint64_t> after = eth0Numbers();
  const std::vector<std::string> got = outputLines(get.output);
  ASSERT_EQ(got.size(), 4u) << get.output;
  ASSERT_EQ(before.size(), 16u);
  ASSERT_EQ(after.size(), 16u);
  const int field[] = {0, 1, 8, 9};
  for (int i = 0; i < 4; ++i) {
    const std::uint64_t served = std::stoull(got[i].substr(got[i].rfind(' ') + 1));
    EXPECT_LE(before[field[i]] % (std::uint64_t{1} << 32), served) << got[i];
    EXPECT_LE(served, after[field[i]] % (std::uint64_t{1} << 32)) << got[i];
  }
}

TEST_F(InterfacesE2E, WalksCompleteInOrderAndSnmpstatusCountsThePorts) {
  // ifTable: 22 columns of eth0 to eth2 and the sample's four ports; the serial MIB:
  // rs232Number and 6 + 4 + 3 x 3 + 3 x 2 cells a port.
  for (const auto& [subtree, count] : {std::pair{kIfTable, 154u}, std::pair{kRs232, 101u}}) {
    SCOPED_TRACE(subtree);
    const RunResult walk = ns().client("snmpwalk", subtree, "-Ox");
    EXPECT_EQ(walk.status, 0) << walk.output;
    EXPECT_EQ(walk.errors, "");
    const std::vector<std::string> got = outputLines(walk.output);
    EXPECT_EQ(got.size(), count) << walk.output;
    EXPECT_TRUE(inOrderUnder(got, subtree));
  }
  const RunResult status = ns().client("snmpstatus", "");
  EXPECT_EQ(status.status, 0) << status.output;
  EXPECT_NE(status.output.find("Interfaces: 7,"), std::string::npos) << status.output;
  // eth2 is absent and the sample's ports 3 and 4 are down.
  EXPECT_NE(status.output.find("3 interfaces are down!"), std::string::npos) << status.output;

  const Bytes ifIndex7 = hexBytes("2B 06 01 02 01 02 02 01 01 07");
  const Bytes ifDescr1 = hexBytes("2B 06 01 02 01 02 02 01 02 01");
  const Bytes ifDescr4 = hexBytes("2B 06 01 02 01 02 02 01 02 04");
  const Bytes ifSpeed4 = hexBytes("2B 06 01 02 01 02 02 01 05 04");
  const Bytes dcdState1 = hexBytes("2B 06 01 02 01 0A 21 05 01 03 01 06");
  const struct {
    Bytes request, reply;
  } wire[] = {
      {nextRequest({varBind(ifIndex7, nullValue())}),
       response({varBind(ifDescr1, octets("eth0"))})},
      {getRequest({varBind(ifDescr4, nullValue()), varBind(ifSpeed4, nullValue())}),
       response({varBind(ifDescr4, octets("Serial port 0")),
                 varBind(ifSpeed4, hexBytes("42 03 01 C2 00"))})},
      {getRequest({varBind(dcdState1, nullValue())}),
       response({varBind(dcdState1, hexBytes("02 01 02"))})},
  };
  for (const auto& [request, reply] : wire) {
    const std::optional<Bytes> got = ns().request(request);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(hexText(*got), hexText(reply));
  }
}

}  // namespace
