// The TCP and UDP tables over the wire, and a walk of the whole MIB with the Net-SNMP
// clients, which insist on increasing names.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/fd.hpp"
#include "tests/netns.hpp"
#include "tests/smp_harness.hpp"

namespace fs = std::filesystem;

namespace {

class TransportE2E : public NetnsTest {};

TEST_F(TransportE2E, ConnectionAndListenerTablesFromTheSocketLists) {
  fs::create_directories(root() / "proc/net");
  std::ofstream(root() / "proc/net/snmp")
      << "Tcp: RtoAlgorithm RtoMin RtoMax MaxConn ActiveOpens\nTcp: 1 200 120000 -1 5\n";
  // Slot, local and remote endpoint, kernel state.
  auto line = [](const char* slot, const char* local, const char* remote, const char* state) {
    return std::string(slot) + ": " + kernelEndpoint(local) + " " + kernelEndpoint(remote) + " " +
           state + " 00000000:00000000 00:00000000 00000000     0        0 1 1\n";
  };
  const char* header =
      "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid\n";
  std::ofstream(root() / "proc/net/tcp")
      << header << line("   0", "0.0.0.0:0016", "0.0.0.0:0000", "0A")  // every address, port 22
      << line("   1", "127.0.0.1:0277", "0.0.0.0:0000", "0A")          // 127.0.0.1:631
      << line("   2", "127.0.0.1:9C40", "127.0.0.1:0277", "01")        // loopback, established
      << line("   3", "192.168.1.1:0017", "10.0.0.2:0401", "01")       // :23 to 10.0.0.2:1025
      << line("   4", "10.11.12.1:0016", "10.11.12.2:C350", "0C")      // kernel state 12: closed
      << line("   5", "0.0.0.0:0016", "0.0.0.0:0000", "0A");           // the listener again
  std::ofstream(root() / "proc/net/udp")
      << header << line(" 1234", "0.0.0.0:00A1", "0.0.0.0:0000", "07")  // the agent's own
      << line("12345", "192.168.1.1:00A1", "0.0.0.0:0000", "07")        // a five-digit slot
      << line("    7", "127.0.0.1:0035", "0.0.0.0:0000", "07")  // two sockets on 127.0.0.1:53
      << line("    8", "127.0.0.1:0035", "0.0.0.0:0000", "07");
  ASSERT_TRUE(ns().startAgent({}, {"SNMPD_ROOT=" + root().string()})) << ns().agentErrors();

  const RunResult tcp = ns().client("snmpwalk", ".1.3.6.1.2.1.6.13.1.1", "-t 5", 120000);
  EXPECT_EQ(tcp.status, 0) << tcp.output;
  const std::string state = ".1.3.6.1.2.1.6.13.1.1.";
  EXPECT_EQ(outputLines(tcp.output),
            (std::vector<std::string>{state + "10.11.12.1.22.0.0.0.0.0 = INTEGER: 2",
                                      state + "10.11.12.1.22.10.11.12.2.50000 = INTEGER: 1",
                                      state + "10.11.12.2.22.0.0.0.0.0 = INTEGER: 2",
                                      state + "127.0.0.1.631.0.0.0.0.0 = INTEGER: 2",
                                      state + "127.0.0.1.40000.127.0.0.1.631 = INTEGER: 5",
                                      state + "192.168.1.1.23.10.0.0.2.1025 = INTEGER: 5"}));
  const RunResult udp = ns().client("snmpwalk", ".1.3.6.1.2.1.7.5", "-t 5", 120000);
  EXPECT_EQ(udp.status, 0) << udp.output;
  const std::string local = ".1.3.6.1.2.1.7.5.1.";
  EXPECT_EQ(
      outputLines(udp.output),
      (std::vector<std::string>{
          local + "1.10.11.12.1.161 = IpAddress: 10.11.12.1",
          local + "1.10.11.12.2.161 = IpAddress: 10.11.12.2",
          local + "1.127.0.0.1.53 = IpAddress: 127.0.0.1",
          local + "1.192.168.1.1.161 = IpAddress: 192.168.1.1",
          local + "2.10.11.12.1.161 = INTEGER: 161", local + "2.10.11.12.2.161 = INTEGER: 161",
          local + "2.127.0.0.1.53 = INTEGER: 53", local + "2.192.168.1.1.161 = INTEGER: 161"}));

  // Index bytes on the wire, and Get of every column including the first.
  const struct {
    const char* name;
    const char* value;
  } golden[] = {
      {"2B 06 01 02 01 06 0D 01 05 81 40 81 28 01 01 17 0A 00 00 02 88 01", "02 02 04 01"},
      {"2B 06 01 02 01 06 0D 01 01 81 40 81 28 01 01 17 0A 00 00 02 88 01", "02 01 05"},
      {"2B 06 01 02 01 07 05 01 02 81 40 81 28 01 01 81 21", "02 02 00 A1"},
      {"2B 06 01 02 01 07 05 01 01 81 40 81 28 01 01 81 21", "40 04 C0 A8 01 01"},
      {"2B 06 01 02 01 06 04 00", "02 01 FF"},  // tcpMaxConn -1
  };
  for (const auto& g : golden) {
    SCOPED_TRACE(g.name);
    const auto reply = ns().request(getRequest({varBind(hexBytes(g.name), nullValue())}));
    ASSERT_TRUE(reply);
    EXPECT_EQ(hexText(*reply), hexText(response({varBind(hexBytes(g.name), hexBytes(g.value))})));
  }
}

TEST_F(TransportE2E, WholeMibWalksInOrderWithTheTestsOwnSockets) {
  ASSERT_TRUE(ns().startAgent()) << ns().agentErrors();
  // A listener and a connection to it on port 40000 (three bytes in an index), a UDP socket.
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(40000);
  address.sin_addr.s_addr = inet_addr(kAgentAddress);
  FileDescriptor listener(ns().openSocket(SOCK_STREAM));
  FileDescriptor connection(ns().openSocket(SOCK_STREAM));
  FileDescriptor datagrams(ns().openSocket(SOCK_DGRAM));
  const auto* any = reinterpret_cast<const sockaddr*>(&address);
  ASSERT_EQ(bind(listener.get(), any, sizeof address), 0);
  ASSERT_EQ(listen(listener.get(), 4), 0);
  ASSERT_EQ(connect(connection.get(), any, sizeof address), 0);
  address.sin_port = htons(16384);
  ASSERT_EQ(bind(datagrams.get(), any, sizeof address), 0);

  const RunResult walk = ns().client("snmpwalk", ".1.3.6.1.2.1", "-t 5", 120000);
  EXPECT_EQ(walk.status, 0) << walk.output;
  EXPECT_EQ(walk.errors, "");
  std::vector<unsigned long> previous;
  std::vector<unsigned long> groups;
  for (const std::string& line : outputLines(walk.output)) {
    if (line.rfind(".1.3.6.1.2.1.", 0) != 0) continue;  // a value's continuation line
    const std::vector<unsigned long> arcs = nameArcs(line);
    ASSERT_GT(arcs.size(), 7u) << line;
    ASSERT_TRUE(arcsLess(previous, arcs)) << line;
    previous = arcs;
    if (groups.empty() || groups.back() != arcs[6]) groups.push_back(arcs[6]);
  }
  EXPECT_EQ(groups, (std::vector<unsigned long>{1, 2, 3, 4, 5, 6, 7, 11}));
  // The live socket lists come from the running kernel: under qemu-user for the other byte
  // order, in the host's order, which the emulator does not translate, so the agent reads a
  // socket's own address reversed (as it would a fixture of the wrong order). The rows of the
  // agent's socket, bound to every address, take theirs from the interface queries.
  const std::string bound = liveKernelSwapped() ? "1.12.11.10" : "10.11.12.1";
  for (const std::string& expected : {
           ".1.3.6.1.2.1.6.13.1.1." + bound + ".40000.0.0.0.0.0 = INTEGER: 2",
           ".1.3.6.1.2.1.7.5.1.2." + bound + ".16384 = INTEGER: 16384",
           std::string(".1.3.6.1.2.1.7.5.1.2.10.11.12.1.161 = INTEGER: 161"),  // the agent's own
           std::string(".1.3.6.1.2.1.7.5.1.2.10.11.12.2.161 = INTEGER: 161"),
       }) {
    EXPECT_NE(walk.output.find(expected), std::string::npos) << expected << "\n" << walk.output;
  }
  EXPECT_NE(walk.output.find(".1.3.6.1.2.1.6.13.1.1." + bound + ".40000." + bound + "."),
            std::string::npos);  // the connection's server side
}

}  // namespace
