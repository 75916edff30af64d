// Each allocation of the real agent fails in turn, one per run: start-up ends with one line
// and status 1 or serves the whole MIB; a reply is the fault-free one or genErr; afterwards
// the agent answers exactly and holds as many blocks as a fault-free one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/netns.hpp"
#include "tests/robust.hpp"

namespace fs = std::filesystem;

namespace {

// Fixed files, so that every run reads the same values.
void writeRoot(const fs::path& root) {
  for (const char* dir : {"etc", "proc/net", "proc/driver"}) fs::create_directories(root / dir);
  std::ofstream(root / "etc/version") << "Board firmware 2.4.1\n";
  fs::copy_file(SNMPD_SOURCE_DIR "/samples/kyrel", root / "proc/driver/kyrel");
  std::ofstream(root / "proc/net/snmp") << "Ip: Forwarding DefaultTTL InReceives\nIp: 1 64 7001\n";
  std::ofstream(root / "proc/net/dev") << "  eth0: 5000 51 1 2 0 0 0 3 6000 61 4 5 0 0 0 0\n";
  std::ofstream(root / "proc/net/route")
      << "Iface\tDestination\tGateway\tFlags\tRefCnt\tUse\tMetric\tMask\tMTU\tWindow\tIRTT\n"
      << "eth0\t00000000\t" << kernelHex("10.11.12.100") << "\t0003\t0\t0\t1\t00000000\t0\t0\t0\n"
      << "eth0\t" << kernelHex("172.16.0.0") << "\t00000000\t0001\t0\t0\t1\t"
      << kernelHex("255.240.0.0") << "\t0\t0\t0\n";
}

struct Step {
  std::string label;
  Bytes request;
};

class AllocationFaults : public NetnsTest {
 protected:
  Bytes ask(const Step& s, int timeoutMs = 500) {
    return ns().request(s.request, timeoutMs).value_or(Bytes{});
  }
  // Every reply the fault-free one; false at the first that is not.
  bool replay(const char* pass) {
    for (std::size_t i = 0; i < session_.size(); ++i) {
      const Bytes reply = ask(session_[i]);
      if (reply == reference_[i]) continue;
      ADD_FAILURE() << pass << explain(i, reply);
      return false;
    }
    return true;
  }
  std::string explain(std::size_t i, const Bytes& reply) {
    return session_[i].label + "\n  request:    " + hexText(session_[i].request) +
           "\n  fault-free: " + hexText(reference_[i]) + "\n  this reply: " + hexText(reply);
  }
  // The preloaded module's count of the agent's live blocks, once the agent waits for a
  // datagram again: until then it still holds the last request's.
  long live() {
    const std::string stat = "/proc/" + std::to_string(ns().agentPid()) + "/stat";
    std::string text;
    for (int i = 0; i < 2000 && text.find(") S ") == std::string::npos; ++i, usleep(1000))
      std::getline(std::ifstream(stat), text);
    const std::size_t before = outputLines(ns().agentErrors()).size();
    kill(ns().agentPid(), SIGUSR2);
    for (int i = 0; i < 2000 && outputLines(ns().agentErrors()).size() == before; ++i) usleep(1000);
    const std::string last = outputLines(ns().agentErrors()).back();
    return last.rfind("live ", 0) == 0 ? std::stol(last.substr(5)) : -1;
  }

  // A request of the session, its request-id its place, its names under MIB-II ("01 05 00"
  // is sysName.0).
  void add(std::string label, std::uint8_t tag, const std::vector<const char*>& names,
           const Bytes& value = nullValue()) {
    std::vector<Bytes> bindings;
    for (const char* name : names)
      bindings.push_back(varBind(hexBytes("2B 06 01 02 01") + hexBytes(name), value));
    session_.push_back(
        {std::move(label), robust::message("mirlen", tag, 0x46000000 | session_.size(), bindings)});
  }

  std::vector<Step> session_;
  std::vector<Bytes> reference_;
};

TEST_F(AllocationFaults, EachFailedAllocationIsAnsweredHonestly) {
  if (!agentTakesPreloads()) GTEST_SKIP() << "no faults can be preloaded into this agent";
  writeRoot(root());
  const std::vector<std::string> env = {"SNMPD_ROOT=" + root().string(),
                                        std::string("LD_PRELOAD=") + SNMPD_FAULTS};
  // sysDescr, sysObjectID, ipInReceives, ifDescr.1, a serial port's ifInOctets, a route's
  // ipRouteNextHop
  add("get across groups", 0xA0,
      {"01 01 00", "01 02 00", "04 03 00", "02 02 01 02 01", "02 02 01 0A 04",
       "04 15 01 07 00 00 00 00"});
  // if, at, tcpConn and udp tables, rs232 and its four tables
  add("getnext of the tables", 0xA1,
      {"02 02", "03 01", "06 0D", "07 05", "0A 21", "0A 21 02", "0A 21 03", "0A 21 05",
       "0A 21 06"});
  ASSERT_TRUE(ns().startAgent({}, env)) << ns().agentErrors();
  std::string name = "04 15";  // ipRouteTable
  for (int i = 0; i < 6; ++i) {
    add("walk from " + name, 0xA1, {name.c_str()});
    std::string why;
    const auto reply = robust::readReply(ask(session_.back()), "mirlen", &why);
    ASSERT_TRUE(reply && reply->errorStatus == 0) << why;
    name = hexText(reply->firstName).substr(15);  // after 2B 06 01 02 01
  }
  add("set sysLocation.0", 0xA3, {"01 06 00"}, octets("rack 7"));
  add("get sysLocation.0", 0xA0, {"01 06 00"});
  for (const Step& s : session_) reference_.push_back(ask(s));
  for (const Bytes& reply : reference_) ASSERT_FALSE(reply.empty());
  replay("fault-free replay: ");
  const long referenceLive = live();
  replay("fault-free replay: ");
  EXPECT_EQ(live(), referenceLive) << ns().agentErrors();
  EXPECT_EQ(ns().stopAgent(), 0);
  ASSERT_FALSE(HasFailure());

  bool swept = false;
  for (unsigned long n = 1; n <= 2000 && !swept; ++n) {
    const std::string fault = numbered("SNMPD_FAULT_ALLOC=", static_cast<long>(n));
    SCOPED_TRACE(fault);
    std::vector<std::string> faulty = env;
    faulty.push_back(fault);
    if (!ns().startAgent({}, faulty)) {
      const int status = ns().agentRunning() ? ns().stopAgent(SIGKILL) : ns().agentStatus();
      std::vector<std::string> lines = outputLines(ns().agentErrors());
      std::erase_if(lines, [](const std::string& l) { return l.rfind("fault: ", 0) == 0; });
      EXPECT_EQ(status, 1) << "start-up:\n" << ns().agentErrors();
      EXPECT_EQ(lines.size(), 1u) << "start-up:\n" << ns().agentErrors();
      continue;
    }
    // A run ends at its first violation: what follows would only repeat it.
    bool whole = true;
    for (std::size_t i = 0; i < session_.size() && whole; ++i) {
      const Bytes reply = ask(session_[i]);
      if (reply == reference_[i]) continue;
      std::string why;
      const auto r = robust::readReply(reply, "mirlen", &why);
      const bool genErr = r && r->requestId == Bytes{0x46, 0, 0, static_cast<std::uint8_t>(i)} &&
                          r->errorStatus == 5;
      const bool running = ns().agentRunning();
      const Bytes again = running ? ask(session_[i], 2000) : Bytes{};
      whole = (reply.empty() || genErr) && again == reference_[i];
      EXPECT_TRUE(whole) << explain(i, reply) << " " << why << "\n  asked again: " << hexText(again)
                         << "\n  agent "
                         << (running ? "running" : numbered("ended, status ", ns().agentStatus()))
                         << "\n"
                         << ns().agentErrors();
    }
    swept = ns().agentErrors().find("fault: ") == std::string::npos;
    if (!whole || swept) continue;
    if (!replay("replay after the fault: ")) continue;
    const long after = live();
    if (!replay("second replay: ")) continue;
    EXPECT_LE(live(), after) << "blocks leaked by each session";
    // More blocks were leaked; fewer belong to objects that start-up left out.
    EXPECT_EQ(after, referenceLive) << "blocks held, against a fault-free agent's";
    EXPECT_EQ(ns().stopAgent(), 0) << ns().agentErrors();
  }
  EXPECT_TRUE(swept) << "the session makes more than 2000 allocations";
}

}  // namespace
