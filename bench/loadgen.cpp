// SNMPv1 load generator. It keeps a window of requests outstanding, gives every request a
// request-id of its own, matches replies by that id and never resends: a request unanswered
// within the timeout is counted and its slot reused under a new id.
//   get  (default): a Get (or with -g a GetNext) of the -o names, for -t seconds.
//   walk (-m walk): GetNext chains through the -o subtree, one after another, each until the
//                   reply leaves the subtree, carries an error-status or stops increasing.
// With -P PID it reads the target's CPU time from /proc/PID/task/*/schedstat before and after.
// The last line printed is "RESULT key=value ...".
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using Oid = std::vector<std::uint32_t>;

constexpr int kMaxWindow = 1024;
constexpr int kBatch = 64;
constexpr std::size_t kReplyBuffer = 65536;
// Request-ids from here up to 2^31-1 all take four content bytes, so a template's id can be
// patched in place and the encoding stays minimal.
constexpr std::uint32_t kFirstId = 0x01000000;
constexpr std::uint32_t kIdSpan = 0x7f000000;
constexpr long kNoSuchName = 2;

volatile std::sig_atomic_t stopRequested = 0;
void onSignal(int) {
  stopRequested = 1;
}

std::uint64_t nowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::uint64_t(ts.tv_sec) * 1000000000u + std::uint64_t(ts.tv_nsec);
}

double cpuSecondsSelf() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto sec = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return sec(usage.ru_utime) + sec(usage.ru_stime);
}

// Nanoseconds the process has run, summed over its threads; -1 when unreadable.
long long processCpuNs(long pid) {
  std::string dir = "/proc/" + std::to_string(pid) + "/task";
  DIR* tasks = opendir(dir.c_str());
  if (tasks == nullptr) return -1;
  long long total = 0;
  while (dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    std::string path = dir + "/" + entry->d_name + "/schedstat";
    if (FILE* f = std::fopen(path.c_str(), "r")) {
      long long ns = 0;
      if (std::fscanf(f, "%lld", &ns) == 1) total += ns;
      std::fclose(f);
    }
  }
  closedir(tasks);
  return total;
}

bool parseOid(const char* text, Oid* oid) {
  oid->clear();
  if (*text == '.') ++text;
  while (*text != '\0') {
    if (*text < '0' || *text > '9') return false;
    char* end = nullptr;
    errno = 0;
    unsigned long arc = std::strtoul(text, &end, 10);
    if (errno != 0 || arc > 0xffffffffUL) return false;
    oid->push_back(std::uint32_t(arc));
    text = end;
    if (*text == '.' && *++text == '\0') return false;
  }
  return oid->size() >= 2 && (*oid)[0] <= 2 && ((*oid)[0] == 2 || (*oid)[1] < 40);
}

std::string oidText(const Oid& oid) {
  std::string text;
  for (std::uint32_t arc : oid) text += (text.empty() ? "" : ".") + std::to_string(arc);
  return text;
}

// ---------------------------------------------------------------- BER

void putLength(Bytes& out, std::size_t n) {
  if (n < 0x80) {
    out.push_back(std::uint8_t(n));
  } else if (n < 0x100) {
    out.insert(out.end(), {0x81, std::uint8_t(n)});
  } else {
    out.insert(out.end(), {0x82, std::uint8_t(n >> 8), std::uint8_t(n)});
  }
}

void putTlv(Bytes& out, std::uint8_t tag, const Bytes& contents) {
  out.push_back(tag);
  putLength(out, contents.size());
  out.insert(out.end(), contents.begin(), contents.end());
}

void putArc(Bytes& out, std::uint32_t arc) {
  int shift = 28;
  while (shift > 0 && (arc >> shift) == 0) shift -= 7;
  for (; shift > 0; shift -= 7) out.push_back(std::uint8_t(0x80 | ((arc >> shift) & 0x7f)));
  out.push_back(std::uint8_t(arc & 0x7f));
}

Bytes oidContents(const Oid& oid) {
  Bytes out;
  putArc(out, oid[0] * 40 + oid[1]);
  for (std::size_t i = 2; i < oid.size(); ++i) putArc(out, oid[i]);
  return out;
}

// A request message whose request-id sits in four bytes at idOffset.
struct Request {
  Bytes bytes;
  std::size_t idOffset = 0;
  std::vector<Bytes> names;  // the names' contents, to check the reply's
};

Request buildRequest(const std::string& community, std::uint8_t pduTag,
                     const std::vector<Oid>& names) {
  Request request;
  Bytes list;
  for (const Oid& name : names) {
    request.names.push_back(oidContents(name));
    Bytes bind;
    putTlv(bind, 0x06, request.names.back());
    bind.insert(bind.end(), {0x05, 0x00});
    putTlv(list, 0x30, bind);
  }
  Bytes pdu = {0x02, 0x04, 0x01, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x02, 0x01, 0x00};
  putTlv(pdu, 0x30, list);
  Bytes message = {0x02, 0x01, 0x00};
  putTlv(message, 0x04, Bytes(community.begin(), community.end()));
  putTlv(message, pduTag, pdu);
  putTlv(request.bytes, 0x30, message);
  // The PDU closes the message; its first TLV is the request-id's.
  request.idOffset = request.bytes.size() - pdu.size() + 2;
  return request;
}

void patchId(std::uint8_t* at, std::uint32_t id) {
  at[0] = std::uint8_t(id >> 24);
  at[1] = std::uint8_t(id >> 16);
  at[2] = std::uint8_t(id >> 8);
  at[3] = std::uint8_t(id);
}

// A view of BER contents; a failed read leaves it failed.
struct Reader {
  const std::uint8_t* p = nullptr;
  const std::uint8_t* end = nullptr;
  bool ok = true;

  Reader fail() {
    ok = false;
    return Reader{p, p, false};
  }
  // The next TLV's contents; *tag receives its tag, which must equal `want` unless want is 0.
  Reader take(std::uint8_t want, std::uint8_t* tag = nullptr) {
    if (!ok || end - p < 2 || (want != 0 && *p != want)) return fail();
    if (tag != nullptr) *tag = *p;
    ++p;
    std::size_t length = *p++;
    if (length & 0x80) {
      int n = int(length & 0x7f);
      if (n == 0 || n > 3 || end - p < n) return fail();
      length = 0;
      while (n-- > 0) length = (length << 8) | *p++;
    }
    if (std::size_t(end - p) < length) return fail();
    Reader inner{p, p + length, true};
    p += length;
    return inner;
  }
  bool integer(std::int64_t* value) {
    Reader c = take(0x02);
    if (!c.ok || c.end == c.p || c.end - c.p > 8) return ok = false;
    std::int64_t v = (*c.p & 0x80) ? -1 : 0;
    for (; c.p < c.end; ++c.p) v = std::int64_t((static_cast<std::uint64_t>(v) << 8) | *c.p);
    *value = v;
    return true;
  }
  bool equals(const Bytes& bytes) const {
    return ok && std::size_t(end - p) == bytes.size() && std::equal(p, end, bytes.begin());
  }
};

bool decodeOid(const Reader& contents, Oid* oid) {
  oid->clear();
  std::uint64_t arc = 0;
  for (const std::uint8_t* q = contents.p; q < contents.end; ++q) {
    arc = (arc << 7) | (*q & 0x7f);
    if (arc > 0xffffffffu) return false;
    if (*q & 0x80) continue;
    if (oid->empty()) {
      std::uint32_t first = arc < 80 ? std::uint32_t(arc / 40) : 2;
      oid->push_back(first);
      oid->push_back(std::uint32_t(arc - 40 * first));
    } else {
      oid->push_back(std::uint32_t(arc));
    }
    arc = 0;
  }
  return !oid->empty() && contents.p < contents.end && (contents.end[-1] & 0x80) == 0;
}

struct Reply {
  std::uint32_t id = 0;
  std::int64_t status = 0;
  std::int64_t index = 0;
  Reader binds;  // the VarBind list's contents
};

// The GetResponse's header, or false for anything else.
bool decodeReply(const std::uint8_t* data, std::size_t size, const std::string& community,
                 Reply* reply) {
  Reader whole{data, data + size, true};
  Reader message = whole.take(0x30);
  std::int64_t version = -1, id = 0;
  if (!message.integer(&version) || version != 0) return false;
  Reader name = message.take(0x04);
  if (!name.ok || std::size_t(name.end - name.p) != community.size() ||
      !std::equal(name.p, name.end, community.begin())) {
    return false;
  }
  Reader pdu = message.take(0xa2);
  if (!pdu.integer(&id) || !pdu.integer(&reply->status) || !pdu.integer(&reply->index)) {
    return false;
  }
  reply->binds = pdu.take(0x30);
  if (!reply->binds.ok || id < 0 || id > 0xffffffffLL) return false;
  reply->id = std::uint32_t(id);
  return message.p == message.end && pdu.p == pdu.end;
}

// Whether the VarBind list names exactly the requested objects, in order, each with a value.
bool namesMatch(Reader binds, const std::vector<Bytes>& names) {
  for (const Bytes& want : names) {
    Reader bind = binds.take(0x30);
    Reader name = bind.take(0x06);
    bind.take(0);
    if (!name.equals(want) || !bind.ok || bind.p != bind.end) return false;
  }
  return binds.ok && binds.p == binds.end;
}

// The single VarBind's name of a GetNext reply.
bool firstName(Reader binds, Oid* oid) {
  Reader bind = binds.take(0x30);
  Reader name = bind.take(0x06);
  bind.take(0);
  return bind.ok && bind.p == bind.end && binds.p == binds.end && decodeOid(name, oid);
}

bool lessThan(const Oid& a, const Oid& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end());
}

bool hasPrefix(const Oid& oid, const Oid& prefix) {
  return oid.size() > prefix.size() && std::equal(prefix.begin(), prefix.end(), oid.begin());
}

// ---------------------------------------------------------------- the run

struct Options {
  const char* host = "127.0.0.1";
  int port = 0;
  std::string community = "mirlen";
  std::vector<Oid> names;
  bool walk = false;
  bool getNext = false;
  int window = 1;
  double seconds = 2;       // get: the run's length; walk: no new walk starts after it
  double hardSeconds = 60;  // walk: the run ends here even mid-walk
  long maxRequests = 50000000;
  int timeoutMs = 1000;
  long pid = 0;
  std::string label = "-";
  bool quiet = false;
};

struct Counts {
  long sent = 0, replies = 0, errors = 0, timeouts = 0, malformed = 0, late = 0;
  long firstError = 0;
  std::vector<std::uint32_t> latencyNs;
  // walk mode
  long walks = 0, aborted = 0, nonIncreasing = 0;
  std::vector<long> objectsPerWalk;
  std::vector<double> walkMs;
};

double percentile(std::vector<std::uint32_t>& v, double q) {
  if (v.empty()) return 0;
  auto at = v.begin() + long(q * double(v.size() - 1));
  std::nth_element(v.begin(), at, v.end());
  return double(*at) / 1000.0;
}

template <typename T>
double median(std::vector<T> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  std::size_t n = v.size();
  return n % 2 ? double(v[n / 2]) : (double(v[n / 2 - 1]) + double(v[n / 2])) / 2;
}

void countStatus(Counts& c, std::int64_t status) {
  if (status == 0) return;
  ++c.errors;
  if (c.firstError == 0) c.firstError = status;
}

// Get mode: slot s carries the ids kFirstId + k * window + s, so a reply finds its slot at once.
void runGet(int fd, const Options& o, Counts& c) {
  Request request = buildRequest(o.community, o.getNext ? 0xa1 : 0xa0, o.names);
  const int w = o.window;
  struct Slot {
    std::uint32_t id = 0;
    std::uint64_t sentNs = 0;
    bool busy = false;
    std::uint32_t uses = 0;
    Bytes bytes;
  };
  std::vector<Slot> slots(static_cast<std::size_t>(w));
  for (Slot& s : slots) s.bytes = request.bytes;
  const std::uint32_t usesPerSlot = kIdSpan / std::uint32_t(w);

  std::vector<std::uint8_t> buffers(std::size_t(kBatch) * 4096);
  mmsghdr in[kBatch], out[kBatch];
  iovec inVec[kBatch], outVec[kBatch];
  for (int i = 0; i < kBatch; ++i) {
    inVec[i] = {buffers.data() + std::size_t(i) * 4096, 4096};
    in[i] = {};
    in[i].msg_hdr.msg_iov = &inVec[i];
    in[i].msg_hdr.msg_iovlen = 1;
    out[i] = {};
    out[i].msg_hdr.msg_iov = &outVec[i];
    out[i].msg_hdr.msg_iovlen = 1;
  }

  const std::uint64_t start = nowNs();
  const std::uint64_t stopSending = start + std::uint64_t(o.seconds * 1e9);
  const std::uint64_t timeout = std::uint64_t(o.timeoutMs) * 1000000u;
  int outstanding = 0;
  std::uint64_t lastScan = start;
  for (;;) {
    std::uint64_t now = nowNs();
    bool sending = now < stopSending && !stopRequested;
    if (!sending && outstanding == 0) break;
    for (int n = kBatch, s = 0; sending && n == kBatch;) {  // a batch at a time
      n = 0;
      for (; s < w && c.sent < o.maxRequests && n < kBatch; ++s) {
        Slot& slot = slots[std::size_t(s)];
        if (slot.busy || slot.uses >= usesPerSlot) continue;
        slot.id = kFirstId + slot.uses++ * std::uint32_t(w) + std::uint32_t(s);
        patchId(slot.bytes.data() + request.idOffset, slot.id);
        slot.busy = true;
        slot.sentNs = now;
        outVec[n] = {slot.bytes.data(), slot.bytes.size()};
        ++n;
        ++c.sent;
        ++outstanding;
      }
      for (int done = 0; done < n;) {
        int r = sendmmsg(fd, out + done, unsigned(n - done), 0);
        if (r < 0) {
          if (errno == EINTR) continue;
          std::perror("loadgen: sendmmsg");
          return;
        }
        done += r;
      }
    }
    if (outstanding == 0) break;  // every bound reached
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, 10);
    now = nowNs();
    if (ready > 0) {
      int r = recvmmsg(fd, in, kBatch, MSG_DONTWAIT, nullptr);
      for (int i = 0; i < r; ++i) {
        Reply reply;
        if (!decodeReply(static_cast<std::uint8_t*>(inVec[i].iov_base), in[i].msg_len, o.community,
                         &reply)) {
          ++c.malformed;
          continue;
        }
        Slot& slot = slots[(reply.id - kFirstId) % std::uint32_t(w)];
        if (reply.id < kFirstId || !slot.busy || slot.id != reply.id) {
          ++c.late;
          continue;
        }
        slot.busy = false;
        --outstanding;
        if (reply.status == 0 && !namesMatch(reply.binds, request.names)) {
          ++c.malformed;
          continue;
        }
        ++c.replies;
        countStatus(c, reply.status);
        c.latencyNs.push_back(std::uint32_t(std::min<std::uint64_t>(now - slot.sentNs, ~0u)));
      }
    }
    if (now - lastScan >= 10000000u) {
      lastScan = now;
      for (Slot& slot : slots) {
        if (slot.busy && now - slot.sentNs > timeout) {
          slot.busy = false;
          --outstanding;
          ++c.timeouts;
        }
      }
    }
  }
}

enum class Step { kNext, kEnd, kBroken, kStopped };

// One GetNext of `current`: on kNext, `current` holds the reply's name.
Step walkStep(int fd, const Options& o, Counts& c, std::uint32_t id, std::uint64_t hardStop,
              const Oid& subtree, Oid& current, Bytes& buffer) {
  Request request = buildRequest(o.community, 0xa1, {current});
  patchId(request.bytes.data() + request.idOffset, id);
  const std::uint64_t sentNs = nowNs();
  if (send(fd, request.bytes.data(), request.bytes.size(), 0) < 0) {
    std::perror("loadgen: send");
    return Step::kStopped;
  }
  ++c.sent;
  const std::uint64_t timeoutAt = sentNs + std::uint64_t(o.timeoutMs) * 1000000u;
  for (;;) {
    std::uint64_t now = nowNs();
    if (now >= hardStop || stopRequested) return Step::kStopped;
    if (now >= timeoutAt) {
      ++c.timeouts;
      return Step::kBroken;
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, int((std::min(timeoutAt, hardStop) - now) / 1000000u) + 1) <= 0) continue;
    ssize_t n = recv(fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n <= 0) continue;
    now = nowNs();
    Reply reply;
    if (!decodeReply(buffer.data(), std::size_t(n), o.community, &reply)) {
      ++c.malformed;
      continue;
    }
    if (reply.id != id) {
      ++c.late;
      continue;
    }
    ++c.replies;
    c.latencyNs.push_back(std::uint32_t(std::min<std::uint64_t>(now - sentNs, ~0u)));
    if (reply.status == kNoSuchName) return Step::kEnd;  // the end of the MIB view
    if (reply.status != 0) {
      countStatus(c, reply.status);
      return Step::kBroken;
    }
    Oid next;
    if (!firstName(reply.binds, &next)) {
      ++c.malformed;
      return Step::kBroken;
    }
    if (!hasPrefix(next, subtree)) return Step::kEnd;
    if (!lessThan(current, next)) {
      ++c.nonIncreasing;
      return Step::kBroken;
    }
    current.swap(next);
    return Step::kNext;
  }
}

// Walk mode: one GetNext at a time; walks start until -t has passed, the last one finishes
// unless -M or the request bound cuts it short.
void runWalk(int fd, const Options& o, Counts& c) {
  const Oid& subtree = o.names.front();
  Bytes buffer(kReplyBuffer);
  const std::uint64_t start = nowNs();
  const std::uint64_t noNewWalk = start + std::uint64_t(o.seconds * 1e9);
  const std::uint64_t hardStop = start + std::uint64_t(o.hardSeconds * 1e9);
  std::uint32_t nextId = kFirstId;
  while (!stopRequested && nowNs() < noNewWalk) {
    Oid current = subtree;
    long objects = 0;
    const std::uint64_t walkStart = nowNs();
    Step step = Step::kNext;
    while (step == Step::kNext) {
      if (c.sent >= o.maxRequests || nextId >= kFirstId + kIdSpan) {
        step = Step::kStopped;
        break;
      }
      step = walkStep(fd, o, c, nextId++, hardStop, subtree, current, buffer);
      if (step == Step::kNext) ++objects;
    }
    if (step != Step::kEnd) {
      ++c.aborted;
      if (step == Step::kStopped) break;
      continue;
    }
    ++c.walks;
    c.objectsPerWalk.push_back(objects);
    c.walkMs.push_back(double(nowNs() - walkStart) / 1e6);
  }
}

[[noreturn]] void usage() {
  std::fprintf(
      stderr,
      "usage: loadgen -p PORT -o OID [-o OID ...] [-a ADDR] [-c COMMUNITY] [-m get|walk]\n"
      "               [-g] [-w WINDOW] [-t SECONDS] [-M WALK_MAX_SECONDS] [-n MAX_REQUESTS]\n"
      "               [-T TIMEOUT_MS] [-P PID] [-l LABEL] [-q]\n");
  std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  int opt;
  while ((opt = getopt(argc, argv, "a:p:c:o:m:gw:t:M:n:T:P:l:q")) != -1) {
    switch (opt) {
      case 'a':
        o.host = optarg;
        break;
      case 'p':
        o.port = std::atoi(optarg);
        break;
      case 'c':
        o.community = optarg;
        break;
      case 'o': {
        Oid oid;
        if (!parseOid(optarg, &oid)) {
          std::fprintf(stderr, "loadgen: bad OID %s\n", optarg);
          return 2;
        }
        o.names.push_back(oid);
        break;
      }
      case 'm':
        if (std::strcmp(optarg, "walk") == 0) {
          o.walk = true;
        } else if (std::strcmp(optarg, "get") != 0) {
          usage();
        }
        break;
      case 'g':
        o.getNext = true;
        break;
      case 'w':
        o.window = std::atoi(optarg);
        break;
      case 't':
        o.seconds = std::atof(optarg);
        break;
      case 'M':
        o.hardSeconds = std::atof(optarg);
        break;
      case 'n':
        o.maxRequests = std::atol(optarg);
        break;
      case 'T':
        o.timeoutMs = std::atoi(optarg);
        break;
      case 'P':
        o.pid = std::atol(optarg);
        break;
      case 'l':
        o.label = optarg;
        break;
      case 'q':
        o.quiet = true;
        break;
      default:
        usage();
    }
  }
  if (o.port <= 0 || o.port > 65535 || o.names.empty() || o.window < 1 || o.window > kMaxWindow ||
      o.seconds <= 0 || o.hardSeconds <= 0 || o.maxRequests < 1 || o.timeoutMs < 1 ||
      (o.walk && o.names.size() != 1)) {
    usage();
  }
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(std::uint16_t(o.port));
  if (inet_pton(AF_INET, o.host, &target.sin_addr) != 1) {
    std::fprintf(stderr, "loadgen: bad address %s\n", o.host);
    return 2;
  }
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);

  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int big = 1 << 20;
  setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
    std::perror("loadgen: socket");
    return 1;
  }

  Counts c;
  c.latencyNs.reserve(std::size_t(std::min<long>(o.maxRequests, 8000000)));
  const long long cpuBefore = o.pid > 0 ? processCpuNs(o.pid) : -1;
  const double selfBefore = cpuSecondsSelf();
  const std::uint64_t start = nowNs();
  if (o.walk) {
    runWalk(fd, o, c);
  } else {
    runGet(fd, o, c);
  }
  const double elapsed = double(nowNs() - start) / 1e9;
  const double selfCpu = cpuSecondsSelf() - selfBefore;
  const long long cpuAfter = o.pid > 0 ? processCpuNs(o.pid) : -1;
  close(fd);

  const double agentCpuUs =
      (cpuBefore >= 0 && cpuAfter >= cpuBefore) ? double(cpuAfter - cpuBefore) / 1000.0 : -1;
  const double perRequest =
      (agentCpuUs >= 0 && c.replies > 0) ? agentCpuUs / double(c.replies) : -1;
  const double rate = elapsed > 0 ? double(c.replies) / elapsed : 0;
  const double p50 = percentile(c.latencyNs, 0.50), p99 = percentile(c.latencyNs, 0.99);
  const double slowest = percentile(c.latencyNs, 1.0);
  if (!o.quiet) {
    std::printf(
        "%s: %ld requests, %ld replies in %.3f s: %.0f replies/s, p50 %.1f us, p99 %.1f us\n",
        o.label.c_str(), c.sent, c.replies, elapsed, rate, p50, p99);
    std::printf("errors %ld, timeouts %ld, malformed %ld, late or unknown %ld\n", c.errors,
                c.timeouts, c.malformed, c.late);
    if (o.walk) {
      std::printf(
          "walks of %s: %ld completed, %ld aborted (%ld non-increasing), %.0f objects and "
          "%.2f ms a walk\n",
          oidText(o.names.front()).c_str(), c.walks, c.aborted, c.nonIncreasing,
          median(c.objectsPerWalk), median(c.walkMs));
    }
    if (perRequest >= 0) std::printf("target CPU per reply %.2f us\n", perRequest);
  }
  std::printf(
      "RESULT label=%s mode=%s window=%d seconds=%.3f sent=%ld replies=%ld rps=%.0f "
      "p50_us=%.2f p99_us=%.2f max_us=%.0f errors=%ld first_err=%ld timeouts=%ld malformed=%ld "
      "late=%ld agent_cpu_us_req=%.3f agent_cpu_pct=%.1f lg_cpu_pct=%.1f",
      o.label.c_str(), o.walk ? "walk" : "get", o.walk ? 1 : o.window, elapsed, c.sent, c.replies,
      rate, p50, p99, slowest, c.errors, c.firstError, c.timeouts, c.malformed, c.late, perRequest,
      agentCpuUs >= 0 ? agentCpuUs / elapsed / 1e4 : -1, selfCpu / elapsed * 100);
  if (o.walk) {
    long fewest = c.objectsPerWalk.empty()
                      ? 0
                      : *std::min_element(c.objectsPerWalk.begin(), c.objectsPerWalk.end());
    long most = c.objectsPerWalk.empty()
                    ? 0
                    : *std::max_element(c.objectsPerWalk.begin(), c.objectsPerWalk.end());
    std::printf(
        " walks=%ld aborted=%ld nonincr=%ld objects=%.0f objects_min=%ld objects_max=%ld "
        "walk_ms=%.3f",
        c.walks, c.aborted, c.nonIncreasing, median(c.objectsPerWalk), fewest, most,
        median(c.walkMs));
  }
  std::printf("\n");
  const bool clean =
      c.timeouts == 0 && c.malformed == 0 && c.errors == 0 && c.aborted == 0 && c.replies > 0;
  return clean ? 0 : 3;
}
