#include "tests/robust.hpp"

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "asn/asn.hpp"

namespace robust {

// ---- BER writer ----

Bytes integer(std::uint32_t id) {
  return tlv(0x02, {static_cast<std::uint8_t>(id >> 24), static_cast<std::uint8_t>(id >> 16),
                    static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)});
}

Bytes message(std::string_view community, std::uint8_t pduTag, std::uint32_t requestId,
              const std::vector<Bytes>& bindings, std::uint8_t version) {
  return ::message(community, pduTag, integer(requestId), bindings, 0, 0, tlv(0x02, {version}));
}

Bytes snmpObject(int n) {
  Bytes oid = kSnmpGroup;
  oid.push_back(static_cast<std::uint8_t>(n));
  oid.push_back(0);
  return oid;
}

// ---- what the agent sends ----

namespace {

Bytes contentsOf(const Asn& value) {
  const std::uint8_t* bytes = asnValue(value);
  const std::int32_t length = asnLength(value);
  if (bytes == nullptr || length <= 0) return {};
  return Bytes(bytes, bytes + length);
}

bool isVersionZero(const Asn& version) {
  return asnLength(version) == 1 && asnValue(version) != nullptr && asnValue(version)[0] == 0;
}

bool isCommunity(const Asn& value, std::string_view community) {
  const Bytes text = contentsOf(value);
  return text.size() == community.size() &&
         std::equal(text.begin(), text.end(), community.begin(),
                    [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); });
}

}  // namespace

std::vector<Answerable> answerableRequests(const Bytes& datagram, std::string_view community) {
  std::vector<Answerable> requests;
  const std::size_t size = std::min<std::size_t>(datagram.size(), kSmpMaxDatagram);
  Asn tree;
  for (std::size_t i = 0; i < size; ++i) {
    if (!tree) tree = asnNew();
    const int status = asnDecode(tree, datagram[i]);
    if (status == kAsnMore) continue;
    if (status != kAsnComplete && status != kAsnNoRoom) break;
    if (!isVersionZero(asnComponent(tree, 1)) || !isCommunity(asnComponent(tree, 2), community)) {
      break;
    }
    const std::int32_t tag = asnTag(asnComponent(tree, 3));
    if (status == kAsnNoRoom) {  // too large to decode: tooBig, without bindings
      std::uint8_t id[8];
      const int length = asnContents(asnComponent(asnComponent(tree, 3), 1), id, sizeof id);
      if (length > 0 && (tag == 0 || tag == 1 || tag == 3)) {
        requests.push_back({Bytes(id, id + length), hexBytes("30 00"), false});
      }
      break;
    }
    if (tag == 0 || tag == 1 || tag == 3) {
      requests.push_back(
          {contentsOf(asnComponent(tree, 4)), ::encoded(asnComponent(tree, 7)), tag == 3});
    }
    tree = nullptr;  // the next byte starts a new message
  }
  return requests;
}

std::optional<Reply> readReply(const Bytes& datagram, std::string_view community,
                               std::string* why) {
  auto refuse = [&](const std::string& reason) -> std::optional<Reply> {
    const std::size_t shown = std::min<std::size_t>(datagram.size(), 48);
    *why = reason + " [" + std::to_string(datagram.size()) +
           " bytes: " + hexText(datagram.data(), shown) + (shown < datagram.size() ? " ...]" : "]");
    return std::nullopt;
  };
  if (datagram.empty() || datagram.size() > static_cast<std::size_t>(kSmpMaxDatagram))
    return refuse("reply size");
  Asn root = asnNew();
  for (std::size_t i = 0; i < datagram.size(); ++i) {
    const int status = asnDecode(root, datagram[i]);
    const int wanted = i + 1 == datagram.size() ? kAsnComplete : kAsnMore;
    if (status != wanted) {
      return refuse("reply does not decode as one message (status " + std::to_string(status) +
                    " at byte " + std::to_string(i) + ")");
    }
  }
  if (!isVersionZero(asnComponent(root, 1))) return refuse("reply version is not 0");
  if (!isCommunity(asnComponent(root, 2), community)) return refuse("reply community");
  const Asn pdu = asnComponent(root, 3);
  if (asnClass(pdu) != kAsnContext || asnTag(pdu) != 2) return refuse("reply is no GetResponse");

  Reply reply;
  reply.requestId = contentsOf(asnComponent(root, 4));
  const Asn status = asnComponent(root, 5);
  const Asn index = asnComponent(root, 6);
  const std::uint32_t errorStatus = asnNumber(asnValue(status), asnLength(status));
  const std::uint32_t errorIndex = asnNumber(asnValue(index), asnLength(index));
  if (errorStatus > 5) return refuse("error-status out of range");
  reply.errorStatus = static_cast<int>(errorStatus);
  reply.errorIndex = static_cast<int>(errorIndex);
  if (reply.errorStatus == 0 && reply.errorIndex != 0) return refuse("error-index without error");
  const Asn list = asnComponent(root, 7);
  reply.bindings = ::encoded(list);
  int count = 0;
  for (int at = 1; at <= asnSons(list);
       at += asnSons(asnComponent(list, static_cast<std::uint16_t>(at))) + 1) {
    ++count;
  }
  // tooBig may name the binding after the last (a Set of 20 assignments); genErr may name
  // none (memory short for the reply itself)
  const int lowest = reply.errorStatus == 5 ? 0 : 1;
  if (reply.errorStatus != 0 && reply.errorStatus != 1 &&
      (reply.errorIndex < lowest || reply.errorIndex > count)) {
    return refuse("error-index " + std::to_string(reply.errorIndex) + " with " +
                  std::to_string(count) + " bindings");
  }
  if (count > 0) {
    reply.firstName = contentsOf(asnComponent(root, 9));
    const Asn value = asnComponent(root, 10);
    reply.firstValue = contentsOf(value);
    reply.firstValueTag = (asnClass(value) << 6) | (asnConstructor(value) ? 0x20 : 0) |
                          static_cast<int>(asnTag(value));
  }
  return reply;
}

// ---- conversation ----

namespace {

constexpr std::size_t kFaultsKept = 20;
constexpr std::uint32_t kProbeIdBase = 0x5E000000;  // no request of the mixes uses these ids

using Clock = std::chrono::steady_clock;

}  // namespace

void Conversation::fault(std::string what) {
  ++faultCount_;
  if (faults_.size() < kFaultsKept) faults_.push_back(std::move(what));
}

std::optional<std::uint32_t> Conversation::probe(std::vector<Bytes>* before) {
  const std::uint32_t id = kProbeIdBase | (++probeSerial_ & 0xFFFFFF);
  const Bytes request = message(community_, 0xA0, id, {varBind(kSnmpInPkts, nullValue())});
  const Bytes idBytes = {static_cast<std::uint8_t>(id >> 24), static_cast<std::uint8_t>(id >> 16),
                         static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
  if (!ns_.send(request)) return std::nullopt;
  ++sent_;
  const auto deadline = Clock::now() + std::chrono::milliseconds(probeTimeoutMs_);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    std::optional<Bytes> datagram = ns_.receive(static_cast<int>(left));
    if (!datagram) return std::nullopt;
    std::string why;
    std::optional<Reply> reply = readReply(*datagram, community_, &why);
    if (reply && reply->requestId == idBytes && reply->firstName == kSnmpInPkts) {
      if (reply->errorStatus != 0 || reply->firstValueTag != 0x41) {
        fault("probe answered with error-status " + std::to_string(reply->errorStatus) +
              ", value tag " + std::to_string(reply->firstValueTag));
      }
      return asnNumber(reply->firstValue.data(), static_cast<int>(reply->firstValue.size()));
    }
    before->push_back(std::move(*datagram));
  }
}

bool Conversation::exchange(const std::vector<Outgoing>& batch) {
  for (const Outgoing& out : batch) {
    if (ns_.send(out.bytes)) {
      ++sent_;
    } else {
      fault(out.label + ": cannot be sent (" + std::strerror(errno) + ")");
    }
  }
  std::vector<Bytes> received;
  const std::optional<std::uint32_t> inPkts = probe(&received);
  const std::string after = batch.empty() ? "the start" : batch.back().label;

  std::vector<Reply> replies;
  for (const Bytes& datagram : received) {
    std::string why;
    if (std::optional<Reply> reply = readReply(datagram, community_, &why)) {
      replies.push_back(std::move(*reply));
    } else {
      fault("malformed reply after " + after + ": " + why);
    }
  }
  // Replies come in the order of the requests they answer; one found further on means
  // that those passed over answer nothing that was sent.
  std::size_t next = 0;
  for (const Outgoing& out : batch) {
    std::size_t answered = 0;
    const std::vector<Answerable> requests = answerableRequests(out.bytes, community_);
    for (const Answerable& request : requests) {
      std::size_t found = next;
      while (found < replies.size() && replies[found].requestId != request.requestId) ++found;
      if (found == replies.size()) continue;
      for (; next < found; ++next) {
        fault("reply with request-id " + hexText(replies[next].requestId) +
              " answers nothing sent, before the reply to " + out.label);
      }
      // An error reply, and a Set's, carry the request's own bindings.
      const Reply& reply = replies[next];
      if ((reply.errorStatus != 0 || request.set) && reply.bindings != request.bindings) {
        fault(out.label + ": reply bindings " + hexText(reply.bindings) + " differ from " +
              hexText(request.bindings));
      }
      ++next;
      ++answered;
    }
    replies_ += answered;
    if (out.valid && answered < requests.size()) {
      fault(out.label + ": " + std::to_string(answered) + " of " + std::to_string(requests.size()) +
            " requests answered");
    }
  }
  for (; next < replies.size(); ++next) {
    fault("reply with request-id " + hexText(replies[next].requestId) +
          " answers nothing sent, after " + after);
  }

  if (!inPkts) {
    fault("no answer to the probe after " + after);
    return false;
  }
  if (*inPkts != static_cast<std::uint32_t>(sent_ + inPktsDrift_)) {
    fault("snmpInPkts reads " + std::to_string(*inPkts) + " after " + after + ", " +
          std::to_string(sent_) + " datagrams sent");
    inPktsDrift_ = static_cast<std::int64_t>(*inPkts) - static_cast<std::int64_t>(sent_);
  }
  return true;
}

std::optional<std::uint32_t> Conversation::readInPkts() {
  std::vector<Bytes> received;
  std::optional<std::uint32_t> value = probe(&received);
  for (const Bytes& datagram : received) {
    fault("unexpected datagram before the probe's reply: " +
          hexText(datagram.data(), std::min<std::size_t>(datagram.size(), 48)));
  }
  return value;
}

// ---- traffic ----

std::uint32_t TrafficMix::nextId() {
  // Spread out, so that no changed byte is likely to turn one id into another nearby; all
  // stay below the probe's ids.
  ++serial_;
  return 0x10000000u + static_cast<std::uint32_t>((serial_ * 0x9E3779B1ull) % 0x4E000000u);
}

Bytes TrafficMix::validRequest(std::string* label) {
  const std::string& c = community_;
  const std::uint32_t id = nextId();
  switch (below(11)) {
    case 0:
      *label = "get";
      return message(c, 0xA0, id,
                     {varBind(kSnmpInPkts, nullValue()), varBind(snmpObject(15), nullValue()),
                      varBind(kSysContact, nullValue())});
    case 1:
      *label = "getnext";
      return message(c, 0xA1, id,
                     {varBind(kSnmpGroup, nullValue()), varBind(kSystemGroup, nullValue())});
    case 2:
      *label = "getnext-past-the-end";
      return message(c, 0xA1, id, {varBind(snmpObject(30), nullValue())});
    case 3:
      *label = "get-missing";
      return message(c, 0xA0, id, {varBind(snmpObject(31), nullValue())});
    case 4:
      *label = "set";
      return message(c, 0xA3, id,
                     {varBind(kSysContact, octets("soak " + std::to_string(serial_ % 1000)))});
    case 5:  // the second assignment is refused, so the first is undone
      *label = "set-undone";
      return message(
          c, 0xA3, id,
          {varBind(kSysContact, octets("undo")), varBind(kSnmpInPkts, hexBytes("02 01 01"))});
    case 6: {
      *label = "get-twenty";
      std::vector<Bytes> bindings;
      for (int n = 1; n <= 20; ++n) bindings.push_back(varBind(snmpObject(n), nullValue()));
      return message(c, 0xA0, id, bindings);
    }
    case 7: {
      // The values outgrow a datagram: answered tooBig.
      *label = "get-too-big";
      std::vector<Bytes> bindings(20, varBind(kSysDescr, nullValue()));
      return message(c, 0xA0, id, bindings);
    }
    case 8: {
      // Every group, and every boundary where a walk leaves one table for what follows it.
      *label = "getnext-across-groups";
      std::vector<Bytes> bindings;
      for (const char* name :
           {"2B 06 01 02 01 02", "2B 06 01 02 01 02 02 01 16 81 02", "2B 06 01 02 01 03",
            "2B 06 01 02 01 04 00", "2B 06 01 02 01 04 13 00",
            "2B 06 01 02 01 04 14 01 05 81 7F 81 7F 81 7F 81 7F",
            "2B 06 01 02 01 04 15 01 0D 81 7F 81 7F 81 7F 81 7F",
            "2B 06 01 02 01 04 16 01 04 03 81 7F 81 7F 81 7F 81 7F", "2B 06 01 02 01 05",
            "2B 06 01 02 01 06 0C 00",
            "2B 06 01 02 01 06 0D 01 05 81 7F 81 7F 81 7F 81 7F 83 FF 7F 81 7F 81 7F 81 7F",
            "2B 06 01 02 01 07 04 00", "2B 06 01 02 01 07 05 01 02 81 7F 81 7F 81 7F 81 7F",
            "2B 06 01 02 01 0A 21 06 01 03 82 00 04",
            "2B 06 01 02 01 03 01 01 03 03 81 7F 81 7F 81 7F 81 7F"}) {
        bindings.push_back(varBind(hexBytes(name), nullValue()));
      }
      return message(c, 0xA1, id, bindings);
    }
    case 9:
      *label = "get-across-groups";  // ipInReceives, icmpInMsgs, tcpCurrEstab, udpInDatagrams
      return message(c, 0xA0, id,
                     {varBind(hexBytes("2B 06 01 02 01 04 03 00"), nullValue()),
                      varBind(hexBytes("2B 06 01 02 01 05 01 00"), nullValue()),
                      varBind(hexBytes("2B 06 01 02 01 06 09 00"), nullValue()),
                      varBind(hexBytes("2B 06 01 02 01 07 01 00"), nullValue())});
    default:
      *label = "set-read-only";
      return message(c, 0xA3, id, {varBind(snmpObject(30), hexBytes("02 01 01"))});
  }
}

Outgoing TrafficMix::next() {
  Outgoing out;
  std::string label;
  const std::uint32_t kind = below(16);
  if (kind < 7) {
    out.bytes = validRequest(&label);
    out.valid = true;
  } else if (kind == 7 && below(4) != 0) {
    std::string second;
    out.bytes = validRequest(&label);
    const Bytes more = validRequest(&second);
    out.bytes.insert(out.bytes.end(), more.begin(), more.end());
    label += "+" + second;
    out.valid = true;
  } else if (kind == 7) {
    // As many small requests back to back as a datagram holds, each answered in turn.
    label = "many-in-one";
    for (;;) {
      const Bytes more =
          message(community_, 0xA0, nextId(), {varBind(snmpObject(31), nullValue())});
      if (out.bytes.size() + more.size() > static_cast<std::size_t>(kSmpMaxDatagram)) break;
      out.bytes.insert(out.bytes.end(), more.begin(), more.end());
    }
    out.valid = true;
  } else if (kind == 8) {
    label = "trap";
    out.bytes = trap(community_);
    out.valid = true;
  } else if (kind == 9) {
    label = "response";
    out.bytes = message(community_, 0xA2, nextId(), {varBind(kSnmpInPkts, hexBytes("41 01 05"))});
    out.valid = true;
  } else if (kind == 10) {
    out.bytes = validRequest(&label);
    out.bytes.resize(1 + below(static_cast<std::uint32_t>(out.bytes.size() - 1)));
    label += "-truncated";
  } else if (kind == 11) {
    out.bytes = validRequest(&label);
    for (std::uint32_t n = 1 + below(3); n > 0; --n) {
      out.bytes[below(static_cast<std::uint32_t>(out.bytes.size()))] =
          static_cast<std::uint8_t>(below(256));
    }
    label += "-mutated";
  } else if (kind == 12) {
    label = "wrong-community";
    out.bytes = message(community_ + "x", 0xA0, nextId(), {varBind(kSnmpInPkts, nullValue())});
  } else if (kind == 13) {
    label = "wrong-version";
    out.bytes = message(community_, 0xA0, nextId(), {varBind(kSnmpInPkts, nullValue())}, 1);
  } else if (kind == 14) {
    // Bytes after a whole message start another one, which fails; a datagram over the
    // limit is cut by the agent.
    out.bytes = validRequest(&label);
    const std::uint32_t extra = below(8) == 0 ? 2600 : 1 + below(40);
    for (std::uint32_t n = 0; n < extra; ++n) {
      out.bytes.push_back(static_cast<std::uint8_t>(below(256)));
    }
    label += "-with-trailing-bytes";
    out.valid = true;
  } else {
    label = "garbage";
    out.bytes.resize(1 + below(200));
    for (std::uint8_t& b : out.bytes) b = static_cast<std::uint8_t>(below(256));
    if (below(2) == 0) out.bytes[0] = 0x30;
  }
  out.label = label + " #" + std::to_string(serial_);
  return out;
}

std::vector<Outgoing> TrafficMix::batch(std::size_t datagrams, long* remaining) {
  std::vector<Outgoing> out;
  std::size_t requests = 0;
  while (out.size() < datagrams && *remaining > 0 && requests < kBatchRequests) {
    out.push_back(next());
    --*remaining;
    requests += answerableRequests(out.back().bytes, community_).size();
  }
  return out;
}

// ---- environment ----

long envNumber(const char* name, long fallback) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return fallback;
  char* end = nullptr;
  const long number = std::strtol(value, &end, 10);
  return *end == '\0' && number > 0 ? number : fallback;
}

std::vector<std::string> agentEnvironment() {
  if (!agentUnderAddressSanitizer()) return {};
  const char* given = std::getenv("ASAN_OPTIONS");
  std::string options = given != nullptr && *given != '\0' ? std::string(given) + ":" : "";
  // The default quarantine (256 MB of freed blocks) would grow the agent for a long time.
  return {"ASAN_OPTIONS=" + options + "quarantine_size_mb=4"};
}

TempDir::TempDir() {
  char pattern[] = "/tmp/snmpd-robust-XXXXXX";
  if (mkdtemp(pattern) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  nftw(
      path_.c_str(), [](const char* path, const struct stat*, int, FTW*) { return ::remove(path); },
      16, FTW_DEPTH | FTW_PHYS);
}

namespace {

std::string protosArchive() {
  const char* given = std::getenv("SNMPD_PROTOS_DIR");
  const std::string directory =
      given != nullptr && *given != '\0' ? given : SNMPD_SOURCE_DIR "/../shared/protos";
  return directory + "/protos-c06-snmpv1-req.tar.xz";
}

}  // namespace

std::optional<std::string> ProtosCases::missing() {
  if (access(protosArchive().c_str(), R_OK) == 0) return std::nullopt;
  return "PROTOS material not found at " + protosArchive();
}

bool ProtosCases::unpack(std::string* why) {
  if (directory_.path().empty()) {
    *why = "no temporary directory";
    return false;
  }
  const RunResult tar =
      runProcess({"/bin/tar", "-xJf", protosArchive(), "-C", directory_.path()}, {}, "", 600000);
  if (tar.status != 0) {
    *why = "cannot unpack " + protosArchive() + ": " + tar.output;
    return false;
  }
  names_.clear();
  for (const char* set : {"req-app", "req-enc"}) {
    for (const std::string& file : listFiles(directory_.path() + "/" + set)) {
      names_.push_back(std::string(set) + "/" + file);
    }
  }
  if (names_.size() != kCount) {
    *why = "unpacked " + std::to_string(names_.size()) + " cases of " + std::to_string(kCount);
    return false;
  }
  return true;
}

Bytes ProtosCases::read(const std::string& name) const {
  return readFileBytes(directory_.path() + "/" + name);
}

Bytes readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> listFiles(const std::string& directory) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(directory.c_str())) {
    while (dirent* entry = readdir(dir)) {
      struct stat info {};
      const std::string path = directory + "/" + entry->d_name;
      if (stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) names.push_back(entry->d_name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace robust
