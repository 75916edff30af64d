// Shared pieces of the robustness checks (hostile-input suite, memory checker run, soak):
// a small BER writer independent of the agent's encoder, the reading of what the agent
// sent, and a conversation that follows every batch of datagrams with a probe so that
// each reply can be attributed to the datagram it answers.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "daemon/snmpd.hpp"
#include "engine/smp.hpp"
#include "tests/netns.hpp"
#include "tests/support.hpp"

namespace robust {

inline constexpr long kRssGrowthLimitKb = 64;  // allowed growth of resident memory

// ---- BER writer (the rest, and trap, come from tests/support.hpp) ----

Bytes integer(std::uint32_t id);  // INTEGER of four contents bytes (ids keep the top bit clear)
// A whole message: version, community, PDU { request-id, 0, 0, bindings }.
Bytes message(std::string_view community, std::uint8_t pduTag, std::uint32_t requestId,
              const std::vector<Bytes>& bindings, std::uint8_t version = 0);

// Object identifiers as contents bytes.
inline const Bytes kSnmpGroup = hexBytes("2B 06 01 02 01 0B");
inline const Bytes kSnmpInPkts = hexBytes("2B 06 01 02 01 0B 01 00");
inline const Bytes kSysContact = hexBytes("2B 06 01 02 01 01 04 00");
inline const Bytes kSystemGroup = hexBytes("2B 06 01 02 01 01");
inline const Bytes kSysDescr = hexBytes("2B 06 01 02 01 01 01 00");
Bytes snmpObject(int n);  // 1.3.6.1.2.1.11.n.0

// ---- what the agent sends ----

// A request the agent may answer.
struct Answerable {
  Bytes requestId;  // contents bytes
  Bytes bindings;   // the binding list, as the agent's encoder writes it
  bool set = false;
};

// Every request in the datagram that the agent may answer, in order: the agent decodes
// message after message until one fails to decode, fails the community check, or is not
// answered, so its replies answer a prefix of this list.
std::vector<Answerable> answerableRequests(const Bytes& datagram, std::string_view community);

// The parts of a GetResponse the checks look at.
struct Reply {
  Bytes requestId;  // contents bytes, as the request carried them
  int errorStatus = 0;
  int errorIndex = 0;
  Bytes bindings;          // the binding list, as the agent's encoder writes it
  Bytes firstName;         // contents of the first binding's name, if any
  Bytes firstValue;        // contents of the first binding's value, if any
  int firstValueTag = -1;  // identifier octet of the first binding's value
};

// Decodes a datagram the agent sent with the agent's own decoder: it must be one whole
// message of at most kSmpMaxDatagram bytes, a GetResponse of the community, error-status 0 to
// 5, error-index 0 without an error and naming a binding with one. Null with the reason in
// *why otherwise.
std::optional<Reply> readReply(const Bytes& datagram, std::string_view community, std::string* why);

// ---- conversation ----

// A datagram sent with what the agent owes it.
struct Outgoing {
  Bytes bytes;
  bool valid = false;  // every answerable request in it must be answered
  std::string label;   // names it in failure messages
};

// Talks to the agent through the namespace's client socket. Every batch is followed by a
// GetRequest of snmpInPkts.0 (the probe, with a request-id of its own); replies come back
// in order on one socket, so everything before the probe's reply answers the batch.
// The probe's value must equal the datagrams sent so far, itself included.
class Conversation {
 public:
  Conversation(Netns& ns, std::string community, int probeTimeoutMs = 5000)
      : ns_(ns), community_(std::move(community)), probeTimeoutMs_(probeTimeoutMs) {}

  // Sends the batch and its probe and checks every reply. False when the agent did not
  // answer the probe (dead or hung): the conversation cannot go on. Faults go to faults().
  bool exchange(const std::vector<Outgoing>& batch);
  // The probe alone: the counter's value, or null when there was no answer.
  std::optional<std::uint32_t> readInPkts();

  std::uint64_t sent() const { return sent_; }
  std::uint64_t replies() const { return replies_; }  // replies to batch datagrams
  std::uint64_t faultCount() const { return faultCount_; }
  const std::vector<std::string>& faults() const { return faults_; }  // the first few

 private:
  void fault(std::string what);
  std::optional<std::uint32_t> probe(std::vector<Bytes>* before);

  Netns& ns_;
  std::string community_;
  int probeTimeoutMs_;
  std::uint32_t probeSerial_ = 0;
  std::uint64_t sent_ = 0;
  std::uint64_t replies_ = 0;
  std::uint64_t faultCount_ = 0;
  std::int64_t inPktsDrift_ = 0;  // counter minus datagrams sent, once a drift was reported
  std::vector<std::string> faults_;
};

// ---- traffic ----

// Valid requests of every kind (Get, GetNext, Set with and without undo, several bindings,
// replies too big for a datagram, several messages in one datagram, Trap and GetResponse) mixed
// with malformed datagrams (truncated, mutated, wrong community or version, trailing bytes,
// garbage). The same seed gives the same sequence; every request carries a request-id of its own.
class TrafficMix {
 public:
  TrafficMix(std::string community, std::uint32_t seed)
      : community_(std::move(community)), random_(seed) {}
  Outgoing next();
  // Up to `datagrams` datagrams, no more than *remaining (which shrinks by those taken);
  // fewer once their requests reach kBatchRequests, so that the replies to one batch fit
  // the client's socket buffer while it reads them.
  std::vector<Outgoing> batch(std::size_t datagrams, long* remaining);

  static constexpr std::size_t kBatchRequests = 64;

 private:
  std::uint32_t nextId();
  std::uint32_t below(std::uint32_t bound) { return random_() % bound; }
  Bytes validRequest(std::string* label);

  std::string community_;
  std::mt19937 random_;
  std::uint64_t serial_ = 0;
};

// ---- environment ----

long envNumber(const char* name, long fallback);  // NAME=<decimal>, else fallback
// Environment for an agent of this build whose resident memory is watched: the address
// sanitizer's quarantine of freed blocks is kept small so that it fills up during warm-up.
std::vector<std::string> agentEnvironment();

// A directory under /tmp removed with everything in it when the owner goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The PROTOS c06-snmpv1 request cases, unpacked into a temporary directory.
class ProtosCases {
 public:
  static constexpr std::size_t kCount = 29516;
  static constexpr const char* kCommunity = "public";  // every case uses it

  // The material sits beside the checkout (SNMPD_PROTOS_DIR names another place); the
  // reason when it is missing.
  static std::optional<std::string> missing();
  // Unpacks every case; false with the reason in *why.
  bool unpack(std::string* why);
  const std::vector<std::string>& names() const { return names_; }  // "req-app/00000000", ...
  Bytes read(const std::string& name) const;

 private:
  TempDir directory_;
  std::vector<std::string> names_;
};

Bytes readFileBytes(const std::string& path);
// Regular files of a directory, sorted by name.
std::vector<std::string> listFiles(const std::string& directory);

}  // namespace robust
