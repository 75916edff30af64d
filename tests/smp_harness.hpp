// Drives the protocol engine the way the receive loop does: a fresh agent
// (counters, index, community "mirlen", snmp group) and datagrams fed through
// smpInput with a capturing send function. Also a tiny independent BER writer
// for building requests and expected replies.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "asn/asn.hpp"
#include "common/snmpmib.hpp"
#include "engine/ap0.hpp"
#include "engine/aps.hpp"
#include "engine/smp.hpp"
#include "mib/general.hpp"
#include "mib/mis.hpp"
#include "tests/support.hpp"

// --- BER writer ------------------------------------------------------------

inline Bytes text(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

// OID contents of 1.3.6.1.2.1.11.n.0 (snmp group instance).
inline Bytes snmpOid(int n) {
  return hexBytes("2B 06 01 02 01 0B") + Bytes{static_cast<std::uint8_t>(n), 0};
}

inline const Bytes kRequestId = hexBytes("02 04 12 34 56 78");

inline Bytes getRequest(const std::vector<Bytes>& binds, std::string_view community = "mirlen") {
  return message(community, 0xA0, kRequestId, binds);
}
inline Bytes nextRequest(const std::vector<Bytes>& binds) {
  return message("mirlen", 0xA1, kRequestId, binds);
}
inline Bytes setRequest(const std::vector<Bytes>& binds) {
  return message("mirlen", 0xA3, kRequestId, binds);
}
inline Bytes response(const std::vector<Bytes>& binds, int status = 0, int index = 0,
                      std::string_view community = "mirlen", const Bytes& requestId = kRequestId) {
  return message(community, 0xA2, requestId, binds, status, index);
}

// Decodes one whole message with the agent's own decoder; null unless the
// last byte, and only it, completes the message.
inline Asn decodeMessage(const Bytes& bytes) {
  Asn root = asnNew();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const int status = asnDecode(root, bytes[i]);
    if (status != (i + 1 == bytes.size() ? kAsnComplete : kAsnMore)) return nullptr;
  }
  return bytes.empty() ? nullptr : root;
}

inline Bytes listOf(const std::vector<Bytes>& binds) {
  Bytes list;
  for (const Bytes& b : binds) list.insert(list.end(), b.begin(), b.end());
  return tlv(0x30, list);
}

// --- capturing endpoint and upcall -----------------------------------------

struct Capture {
  std::vector<Bytes> replies;
  int sendResult = 0;
  int upcallResult = 0;
  std::vector<SmpPdu> upcalls;  // byte pointers are cleared: valid only during the call
  std::vector<std::vector<SmpBind>> upcallBinds;
};

inline int captureSend(void* endpoint, const std::uint8_t* bytes, int length) {
  auto* c = static_cast<Capture*>(endpoint);
  c->replies.emplace_back(bytes, bytes + length);
  return c->sendResult;
}

inline int captureUpcall(Smp* context, SmpPdu* pdu) {
  auto* c = static_cast<Capture*>(context->endpoint);
  c->upcalls.push_back(*pdu);
  c->upcallBinds.emplace_back(pdu->bindings, pdu->bindings + pdu->bindingCount);
  return c->upcallResult;
}

// Feeds one datagram as the receive loop does; returns the result of the
// last byte fed (0 when all bytes were accepted).
inline int feed(Capture& capture, const Bytes& datagram) {
  Smp* context = smpNew(&capture, captureSend, captureUpcall);
  int result = 0;
  for (std::uint8_t b : datagram) {
    result = smpInput(context, b);
    if (result != 0) break;
  }
  smpFree(context);
  return result;
}

// --- test objects -----------------------------------------------------------

// Instances n.0 for n = 1..count, taken in order.
inline bool scalarSuffix(const std::uint8_t* suffix, int length, int count) {
  return length == 2 && suffix[0] >= 1 && suffix[0] <= count && suffix[1] == 0;
}
inline int nextScalar(std::uint8_t* suffix, int* length, int count) {
  int n = *length == 0 ? 1 : (*length == 1 ? suffix[0] : suffix[0] + 1);
  if (n == 0) n = 1;
  if (n > count) return 0;
  suffix[0] = static_cast<std::uint8_t>(n);
  suffix[1] = 0;
  *length = 2;
  return n;
}

// Writable texts under 1.3.6.1.2.1.10.99: only an OCTET STRING of at most
// `limit` bytes is accepted (badValue otherwise).
struct TextVars {
  static constexpr std::uint8_t kOid[] = {0x2B, 6, 1, 2, 1, 10, 99};
  static constexpr int kCount = 25;
  std::vector<std::string> values;
  int limit = 16;

  TextVars() {
    for (int n = 1; n <= kCount; ++n) values.push_back(numbered("v", n));
  }
  Asn value(int n) const {
    const std::string& v = values[n - 1];
    return asnOctetString(kAsnUniversal, 4, reinterpret_cast<const std::uint8_t*>(v.data()),
                          static_cast<int>(v.size()));
  }
  static Asn get(void* object, const std::uint8_t* suffix, int length) {
    auto* self = static_cast<TextVars*>(object);
    return scalarSuffix(suffix, length, kCount) ? self->value(suffix[0]) : nullptr;
  }
  static Asn next(void* object, std::uint8_t* suffix, int* length) {
    const int n = nextScalar(suffix, length, kCount);
    return n ? static_cast<TextVars*>(object)->value(n) : nullptr;
  }
  static int set(void* object, const std::uint8_t* suffix, int length, const Asn& value) {
    auto* self = static_cast<TextVars*>(object);
    if (!scalarSuffix(suffix, length, kCount)) return kSnmpNoSuchName;
    if (asnClass(value) != kAsnUniversal || asnTag(value) != 4 || asnConstructor(value) ||
        asnLength(value) > self->limit)
      return kSnmpBadValue;
    const std::uint8_t* bytes = asnValue(value);
    self->values[suffix[0] - 1].assign(bytes, bytes + asnLength(value));
    return kSnmpNoError;
  }
  static constexpr MixOps kOps = {GeneralRelease, GeneralCreate, GeneralDestroy, next, get, set};
};

// Read-only texts of `size` bytes under 1.3.6.1.2.1.10.98, for replies that
// outgrow blocks and datagrams.
struct SizedVars {
  static constexpr std::uint8_t kOid[] = {0x2B, 6, 1, 2, 1, 10, 98};
  static constexpr int kCount = 60;
  int size = 127;

  Asn value() const {
    const std::string v(static_cast<std::size_t>(size), 'x');
    return asnOctetString(kAsnUniversal, 4, reinterpret_cast<const std::uint8_t*>(v.data()), size);
  }
  static Asn get(void* object, const std::uint8_t* suffix, int length) {
    return scalarSuffix(suffix, length, kCount) ? static_cast<SizedVars*>(object)->value()
                                                : nullptr;
  }
  static Asn next(void* object, std::uint8_t* suffix, int* length) {
    return nextScalar(suffix, length, kCount) ? static_cast<SizedVars*>(object)->value() : nullptr;
  }
  static constexpr MixOps kOps = {GeneralRelease, GeneralCreate, GeneralDestroy,
                                  next,           get,           GeneralSet};
};

inline Bytes textOid(int n) {
  return Bytes(TextVars::kOid, TextVars::kOid + 7) + Bytes{static_cast<std::uint8_t>(n), 0};
}
inline Bytes sizedOid(int n) {
  return Bytes(SizedVars::kOid, SizedVars::kOid + 7) + Bytes{static_cast<std::uint8_t>(n), 0};
}

// --- the agent --------------------------------------------------------------

class AgentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    asnInit(nullptr);
    misInit();
    apsInit();
    ap0Init();
    ASSERT_EQ(smpInit(), 0);
    entry_.reset(apsNew("mirlen", "trivial", 0));
    ASSERT_TRUE(entry_);
    ASSERT_EQ(misExport(TextVars::kOid, sizeof TextVars::kOid, &TextVars::kOps, &texts_), 0);
    ASSERT_EQ(misExport(SizedVars::kOid, sizeof SizedVars::kOid, &SizedVars::kOps, &sized_), 0);
  }
  void TearDown() override { entry_.reset(); }
  // A fresh agent within one test, for table-driven cases.
  void reset() {
    TearDown();
    texts_ = TextVars();
    sized_ = SizedVars();
    SetUp();
  }

  // One datagram, one expected reply (or none).
  Bytes exchange(const Bytes& datagram) {
    Capture c;
    feed(c, datagram);
    EXPECT_LE(c.replies.size(), 1u);
    return c.replies.empty() ? Bytes{} : c.replies[0];
  }

  ApsHandle entry_;
  TextVars texts_;
  SizedVars sized_;
};
