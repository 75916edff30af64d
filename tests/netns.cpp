#include "tests/netns.hpp"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

constexpr const char* kNetnsDir = "/var/run/netns/";
constexpr const char* kNamePrefix = "snmpdtest-";

using Clock = std::chrono::steady_clock;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string tempFile() {
  char path[] = "/tmp/snmpd-test-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return {};
  close(fd);
  return path;
}

int decodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Waits for pid at most timeoutMs: its decoded status, or nullopt while it runs.
std::optional<int> waitFor(pid_t pid, int timeoutMs) {
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return decodeStatus(status);
    if (r < 0 && errno != EINTR) return -1;
    if (Clock::now() >= deadline) return std::nullopt;
    usleep(1000);
  }
}

// The environment with `env` entries replacing those of the same name.
std::vector<std::string> mergedEnvironment(const std::vector<std::string>& env) {
  std::vector<std::string> merged;
  auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
  std::set<std::string> replaced;
  for (const auto& e : env) replaced.insert(nameOf(e));
  for (char** p = environ; *p != nullptr; ++p) {
    if (replaced.count(nameOf(*p)) == 0) merged.emplace_back(*p);
  }
  merged.insert(merged.end(), env.begin(), env.end());
  return merged;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

// Starts argv in its own process group, inside the namespace when named; output to the
// given files. Returns once the program is running (exec succeeded), or -1.
pid_t spawnProcess(std::vector<std::string> argv, const std::vector<std::string>& env,
                   const std::string& netnsName, const std::string& outPath,
                   const std::string& errPath) {
  std::vector<std::string> environment = mergedEnvironment(env);
  std::vector<char*> args = pointers(argv);
  std::vector<char*> envp = pointers(environment);

  int nsFd = -1;
  if (!netnsName.empty()) {
    nsFd = open((kNetnsDir + netnsName).c_str(), O_RDONLY | O_CLOEXEC);
    if (nsFd < 0) return -1;
  }
  int inFd = open("/dev/null", O_RDONLY | O_CLOEXEC);
  int outFd = open(outPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  int errFd = open(errPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  int ready[2] = {-1, -1};
  pid_t pid = -1;
  if (inFd >= 0 && outFd >= 0 && errFd >= 0 && pipe2(ready, O_CLOEXEC) == 0) {
    pid = fork();
    if (pid == 0) {
      // Only async-signal-safe calls from here to exec.
      setpgid(0, 0);
      int failure = 0;
      if (nsFd >= 0 && setns(nsFd, CLONE_NEWNET) != 0) failure = errno;
      if (failure == 0 && (dup2(inFd, 0) < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0)) {
        failure = errno;
      }
      if (failure == 0) {
        execve(args[0], args.data(), envp.data());
        failure = errno;
      }
      ssize_t ignored = write(ready[1], &failure, sizeof failure);
      (void)ignored;
      _exit(127);
    }
    if (pid > 0) {
      setpgid(pid, pid);
      close(ready[1]);
      ready[1] = -1;
      int failure = 0;
      ssize_t n;
      do n = read(ready[0], &failure, sizeof failure);
      while (n < 0 && errno == EINTR);
      if (n > 0) {  // exec failed; the child is gone or going
        waitpid(pid, nullptr, 0);
        pid = -1;
      }
    }
  }
  for (int fd : {nsFd, inFd, outFd, errFd, ready[0], ready[1]}) {
    if (fd >= 0) close(fd);
  }
  return pid;
}

}  // namespace

RunResult runProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                     const std::string& netnsName, int timeoutMs, bool reapGroup) {
  RunResult result;
  std::string outPath = tempFile(), errPath = tempFile();
  pid_t pid = spawnProcess(argv, env, netnsName, outPath, errPath);
  if (pid > 0) {
    std::optional<int> status = waitFor(pid, timeoutMs);
    if (!status) {
      kill(-pid, SIGKILL);
      status = waitFor(pid, 10000);
      result.errors = "[killed after " + std::to_string(timeoutMs) + " ms]\n";
    }
    if (reapGroup) kill(-pid, SIGKILL);
    result.status = status.value_or(-1);
  }
  result.errors = readFile(errPath) + result.errors;
  result.output = readFile(outPath) + result.errors;
  unlink(outPath.c_str());
  unlink(errPath.c_str());
  return result;
}

std::vector<std::string> outputLines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) out.push_back(line);
  return out;
}

std::vector<unsigned long> nameArcs(const std::string& line) {
  std::vector<unsigned long> arcs;
  std::istringstream in(line.substr(0, line.find(' ')));
  for (std::string arc; std::getline(in, arc, '.');)
    if (!arc.empty()) arcs.push_back(std::stoul(arc));
  return arcs;
}

::testing::AssertionResult inOrderUnder(const std::vector<std::string>& lines,
                                        const std::string& subtree) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind(subtree + ".", 0) != 0) {
      return ::testing::AssertionFailure() << "outside " << subtree << ": " << lines[i];
    }
    if (i > 0 && !arcsLess(nameArcs(lines[i - 1]), nameArcs(lines[i]))) {
      return ::testing::AssertionFailure() << "out of order:\n" << lines[i - 1] << "\n" << lines[i];
    }
  }
  return ::testing::AssertionSuccess();
}

std::vector<std::string> agentCommand(const std::vector<std::string>& args) {
  std::vector<std::string> argv;
  std::istringstream emulator(SNMPD_EMULATOR);
  for (std::string word; emulator >> word;) argv.push_back(word);
  argv.emplace_back(SNMPD_BINARY);
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

bool agentEmulated() {
  return SNMPD_EMULATOR[0] != '\0';
}

bool agentTakesPreloads() {
  return !agentUnderAddressSanitizer() && !agentEmulated();
}

bool agentUnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

bool envFlag(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && std::strcmp(value, "1") == 0;
}

bool netnsRequired() {
  return envFlag("SNMPD_REQUIRE_NETNS");
}

namespace {

RunResult shell(const std::string& command, const std::string& netnsName = {},
                int timeoutMs = 30000) {
  return runProcess({"/bin/sh", "-c", command}, {}, netnsName, timeoutMs);
}

// Namespaces that an earlier, killed run of the tests left behind.
void deleteStaleNamespaces() {
  DIR* dir = opendir(kNetnsDir);
  if (dir == nullptr) return;
  std::vector<std::string> stale;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.rfind(kNamePrefix, 0) != 0) continue;
    pid_t owner = std::atoi(name.c_str() + std::strlen(kNamePrefix));
    if (owner > 0 && kill(owner, 0) != 0 && errno == ESRCH) stale.push_back(name);
  }
  closedir(dir);
  for (const auto& name : stale) {
    shell("for p in $(ip netns pids " + name + "); do kill -9 $p; done; ip netns del " + name);
  }
}

}  // namespace

std::unique_ptr<Netns> Netns::create(std::string* why) {
  if (geteuid() != 0) {
    *why = "not running as root";
    return nullptr;
  }
  deleteStaleNamespaces();
  static std::atomic<int> serial{0};
  std::unique_ptr<Netns> ns(new Netns);
  ns->name_ = kNamePrefix + std::to_string(getpid()) + "-" + std::to_string(++serial);

  RunResult added = shell("ip netns add " + ns->name_);
  if (added.status != 0) {
    *why = "ip netns add failed: " + added.output;
    ns->name_.clear();
    return nullptr;
  }
  const std::string n = "ip -n " + ns->name_ + " ";
  RunResult links =
      shell(n + "link set lo up && " + n + "link add eth0 type veth peer name eth1 && " + n +
            "addr add " + kAgentAddress + "/24 dev eth0 && " + n + "addr add " + kPeerAddress +
            "/24 dev eth1 && " + n + "link set eth0 up && " + n + "link set eth1 up");
  if (links.status != 0) {
    *why = "cannot set up the namespace's links: " + links.output;
    return nullptr;  // the destructor deletes the namespace
  }
  if (!ns->openClient(why)) return nullptr;
  ns->outPath_ = tempFile();
  ns->errPath_ = tempFile();
  return ns;
}

// A socket is created by a thread that entered the namespace; the socket stays there for
// good, while the rest of the test process stays where it was.
int Netns::openSocket(int type, std::string* why) {
  int fd = -1, error = 0;
  std::thread enter([&] {
    int nsFd = open((kNetnsDir + name_).c_str(), O_RDONLY | O_CLOEXEC);
    if (nsFd < 0 || setns(nsFd, CLONE_NEWNET) != 0) {
      error = errno;
    } else {
      fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
      if (fd < 0) error = errno;
    }
    if (nsFd >= 0) close(nsFd);
  });
  enter.join();
  if (fd < 0 && why != nullptr) {
    *why = std::string("cannot open a socket in the namespace: ") + std::strerror(error);
  }
  return fd;
}

bool Netns::openClient(std::string* why) {
  clientFd_ = openSocket(SOCK_DGRAM, why);
  if (clientFd_ < 0) return false;
  setTarget(kAgentAddress, 161);
  return true;
}

Netns::~Netns() {
  killAll();
  if (clientFd_ >= 0) close(clientFd_);
  if (!name_.empty()) shell("ip netns del " + name_);
  if (!outPath_.empty()) unlink(outPath_.c_str());
  if (!errPath_.empty()) unlink(errPath_.c_str());
}

std::vector<pid_t> Netns::processes() const {
  std::vector<pid_t> pids;
  if (name_.empty()) return pids;
  std::istringstream list(shell("ip netns pids " + name_).output);
  for (pid_t pid; list >> pid;) pids.push_back(pid);
  return pids;
}

void Netns::killAll() {
  if (agentPid_ > 0) stopAgent(SIGKILL);
  // Anything else still running in the namespace (e.g. an agent that went to the background).
  for (int round = 0; round < 50; ++round) {
    std::vector<pid_t> pids = processes();
    if (pids.empty()) return;
    for (pid_t pid : pids) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, WNOHANG);  // ours to reap when we are its parent or reaper
    }
    usleep(10000);
  }
}

RunResult Netns::run(const std::string& command, int timeoutMs) {
  return shell(command, name_, timeoutMs);
}

RunResult Netns::client(const std::string& tool, const std::string& args,
                        const std::string& options, int timeoutMs) {
  return run(
      tool + " -v1 -c mirlen -On -m '' -t 2 -r 0 " + options + " " + kAgentAddress + " " + args,
      timeoutMs);
}

RunResult Netns::exec(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                      int timeoutMs, bool reapGroup) {
  return runProcess(argv, env, name_, timeoutMs, reapGroup);
}

bool Netns::startAgent(const std::vector<std::string>& args, const std::vector<std::string>& env,
                       int timeoutMs) {
  std::vector<std::string> argv = agentCommand({"-f"});
  argv.insert(argv.end(), args.begin(), args.end());
  return startProgram(argv, env, timeoutMs);
}

bool Netns::startProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                         int timeoutMs) {
  if (agentPid_ > 0) stopAgent(SIGKILL);
  agentStatus_ = -1;
  agentPid_ = spawnProcess(argv, env, name_, outPath_, errPath_);
  if (agentPid_ <= 0) return false;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (auto bound = boundSocket(agentPid_)) {
      target_.sin_port = bound->sin_port;
      target_.sin_addr.s_addr =
          bound->sin_addr.s_addr != 0 ? bound->sin_addr.s_addr : inet_addr(kAgentAddress);
      return true;
    }
    if (!agentRunning()) return false;
    usleep(2000);
  }
  return false;
}

// Every end-to-end test is also a test of the agent's system-call filter: a call missing
// from it kills the agent with SIGSYS, whatever the test was looking at.
static int checkedEnd(int status) {
  EXPECT_NE(status, 128 + SIGSYS)
      << "the agent made a system call its filter does not allow (the kernel's audit log, "
         "dmesg, names it: type=1326 ... syscall=N)";
  return status;
}

bool Netns::agentRunning() {
  if (agentPid_ <= 0) return false;
  std::optional<int> status = waitFor(agentPid_, 0);
  if (!status) return true;
  agentStatus_ = checkedEnd(*status);
  agentPid_ = -1;
  return false;
}

int Netns::stopAgent(int signal, int timeoutMs) {
  if (agentPid_ <= 0) return agentStatus_;
  kill(agentPid_, signal);
  std::optional<int> status = waitFor(agentPid_, timeoutMs);
  if (!status) {
    kill(agentPid_, SIGKILL);
    status = waitFor(agentPid_, 10000);
  }
  agentPid_ = -1;
  agentStatus_ = checkedEnd(status.value_or(-1));
  return agentStatus_;
}

std::string Netns::agentOutput() const {
  return readFile(outPath_);
}
std::string Netns::agentErrors() const {
  return readFile(errPath_);
}

long Netns::agentRssKb() const {
  if (agentPid_ <= 0) return -1;
  std::ifstream status("/proc/" + std::to_string(agentPid_) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

bool liveKernelSwapped() {
  static const bool swapped = [] {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      if (fd >= 0) close(fd);
      return false;
    }
    char port[8];
    std::snprintf(port, sizeof port, ":%04X ", ntohs(address.sin_port));
    std::ifstream table("/proc/self/net/udp");
    bool differs = false;
    for (std::string line; std::getline(table, line);) {
      const std::size_t at = line.find(port);
      if (at != std::string::npos && at >= 8 && line.find(':') < at) {
        differs = line.substr(at - 8, 8) != kernelHex("127.0.0.1");
        break;
      }
    }
    close(fd);
    return differs;
  }();
  return swapped;
}

std::optional<sockaddr_in> Netns::boundSocket(pid_t pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  std::set<unsigned long> inodes;
  if (DIR* dir = opendir((proc + "/fd").c_str())) {
    while (dirent* entry = readdir(dir)) {
      char link[64] = {};
      std::string path = proc + "/fd/" + entry->d_name;
      if (readlink(path.c_str(), link, sizeof link - 1) > 0 &&
          std::strncmp(link, "socket:[", 8) == 0) {
        inodes.insert(std::strtoul(link + 8, nullptr, 10));
      }
    }
    closedir(dir);
  }
  if (inodes.empty()) return std::nullopt;
  // "sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout
  // inode": the address is the raw 32-bit word in hexadecimal, the port in host order.
  std::ifstream table(proc + "/net/udp");
  std::string line;
  std::getline(table, line);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout;
    unsigned long inode = 0;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
        timeout >> inode;
    if (!fields || inodes.count(inode) == 0 || local.size() != 13) continue;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    std::uint32_t word = static_cast<std::uint32_t>(std::stoul(local.substr(0, 8), nullptr, 16));
    address.sin_addr.s_addr = liveKernelSwapped() ? __builtin_bswap32(word) : word;
    address.sin_port = htons(static_cast<std::uint16_t>(std::stoul(local.substr(9), nullptr, 16)));
    return address;
  }
  return std::nullopt;
}

void Netns::setTarget(const std::string& address, int port) {
  target_ = sockaddr_in{};
  target_.sin_family = AF_INET;
  target_.sin_addr.s_addr = inet_addr(address.c_str());
  target_.sin_port = htons(static_cast<std::uint16_t>(port));
}

bool Netns::send(const Bytes& datagram) {
  return sendto(clientFd_, datagram.data(), datagram.size(), 0,
                reinterpret_cast<const sockaddr*>(&target_),
                sizeof target_) == static_cast<ssize_t>(datagram.size());
}

std::optional<Bytes> Netns::receive(int timeoutMs) {
  pollfd p{clientFd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) != 1) return std::nullopt;
  Bytes reply(65536);
  ssize_t n = recv(clientFd_, reply.data(), reply.size(), MSG_DONTWAIT);
  if (n < 0) return std::nullopt;
  reply.resize(static_cast<std::size_t>(n));
  return reply;
}

std::optional<Bytes> Netns::request(const Bytes& datagram, int timeoutMs) {
  std::uint8_t stale[16];
  while (recv(clientFd_, stale, sizeof stale, MSG_DONTWAIT) >= 0) {
  }
  if (!send(datagram)) return std::nullopt;
  return receive(timeoutMs);
}

void NetnsTest::SetUp() {
  std::string why;
  ns_ = Netns::create(&why);
  if (ns_) return;
  if (netnsRequired()) {
    FAIL() << "network namespaces are required (SNMPD_REQUIRE_NETNS=1): " << why;
  }
  GTEST_SKIP() << "network namespaces not permitted here, end-to-end test skipped: " << why;
}

void NetnsTest::TearDown() {
  ns_.reset();
  if (!root_.empty()) std::filesystem::remove_all(root_);
}

const std::filesystem::path& NetnsTest::root() {
  if (root_.empty()) {
    root_ = std::filesystem::temp_directory_path() /
            ("snmpd-root-" + std::to_string(getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(root_);
    std::filesystem::create_directories(root_);
  }
  return root_;
}
