// The system group over the wire, queried and set with the Net-SNMP clients.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "tests/netns.hpp"

namespace fs = std::filesystem;

namespace {

const std::string kSys = "1.3.6.1.2.1.1";

class SystemGroupE2E : public NetnsTest {
 protected:
  void SetUp() override {
    NetnsTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    fs::create_directories(root() / "etc");
    fs::create_directories(root() / "proc/bus/pci");
    std::ofstream(root() / "etc/version") << "Velmora EC-7 firmware 3.1\n";
    std::ofstream(root() / "proc/bus/pci/devices") << "0010\te4a17c21\n0018\te4a17c21\n";
    ASSERT_TRUE(ns().startAgent({}, {"SNMPD_ROOT=" + root().string()})) << ns().agentErrors();
  }

  std::string getValue(const std::string& oid) {
    RunResult r = ns().client("snmpget", oid, "-Ov -Ot");
    EXPECT_EQ(r.status, 0) << r.output;
    std::string out = r.output;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    if (out.rfind("STRING: ", 0) == 0) out.erase(0, 8);  // the type label of -Ov
    return out;
  }
};

TEST_F(SystemGroupE2E, WalkListsTheSevenVariablesInOrder) {
  RunResult walk = ns().client("snmpwalk", kSys);
  ASSERT_EQ(walk.status, 0) << walk.output;
  std::istringstream lines(walk.output);
  std::string line;
  int n = 0;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    ++n;
    EXPECT_EQ(line.rfind("." + kSys + "." + std::to_string(n) + ".0 = ", 0), 0u) << line;
  }
  EXPECT_EQ(n, 7) << walk.output;
  EXPECT_NE(walk.output.find("STRING: \"Velmora EC-7 firmware 3.1\""), std::string::npos);
  EXPECT_NE(walk.output.find("OID: .1.3.6.1.4.1.47813.12.5124"), std::string::npos);
  EXPECT_NE(walk.output.find("INTEGER: 6"), std::string::npos);
}

TEST_F(SystemGroupE2E, WritableTextsAcceptUpTo127Bytes) {
  for (int variable : {4, 5, 6}) {
    const std::string oid = kSys + "." + std::to_string(variable) + ".0";
    SCOPED_TRACE(oid);
    const std::string ok(127, 'a' + variable);
    RunResult set = ns().client("snmpset", oid + " s " + ok);
    EXPECT_EQ(set.status, 0) << set.output;
    EXPECT_EQ(getValue(oid), "\"" + ok + "\"");

    RunResult tooLong = ns().client("snmpset", oid + " s " + std::string(128, 'z'));
    EXPECT_NE(tooLong.status, 0);
    EXPECT_NE(tooLong.output.find("badValue"), std::string::npos) << tooLong.output;
    RunResult integer = ns().client("snmpset", oid + " i 5");
    EXPECT_NE(integer.status, 0);
    EXPECT_NE(integer.output.find("badValue"), std::string::npos) << integer.output;
    EXPECT_EQ(getValue(oid), "\"" + ok + "\"");
  }
}

TEST_F(SystemGroupE2E, DescriptionIsReadOnly) {
  RunResult set = ns().client("snmpset", kSys + ".1.0 s other");
  EXPECT_NE(set.status, 0);
  EXPECT_NE(set.output.find("readOnly"), std::string::npos) << set.output;
  EXPECT_EQ(getValue(kSys + ".1.0"), "\"Velmora EC-7 firmware 3.1\"");
}

TEST_F(SystemGroupE2E, SetIsAllOrNothing) {
  const std::string contact = kSys + ".4.0", name = kSys + ".5.0";
  const std::string before = getValue(contact);
  RunResult set = ns().client("snmpset", contact + " s changed " + name + " i 7");
  EXPECT_NE(set.status, 0);
  EXPECT_NE(set.output.find("badValue"), std::string::npos) << set.output;
  EXPECT_EQ(getValue(contact), before);
}

TEST_F(SystemGroupE2E, UpTimeAdvancesInWholeSeconds) {
  auto ticks = [&] { return std::stoul(getValue(kSys + ".3.0")); };
  const unsigned long first = ticks();
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  const unsigned long second = ticks();
  EXPECT_EQ(first % 100, 0u);
  EXPECT_EQ(second % 100, 0u);
  EXPECT_GE(second - first, 200u);
  EXPECT_LE(second - first, 300u);
}

}  // namespace
