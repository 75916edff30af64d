#include "asn/asl.hpp"

namespace {

constexpr std::uint8_t kTagsSequence[] = {0x30, 0};
constexpr std::uint8_t kTagsInteger[] = {0x02, 0};
constexpr std::uint8_t kTagsOctets[] = {0x04, 0};
constexpr std::uint8_t kTagsPdu[] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0};
constexpr std::uint8_t kTagsObjectId[] = {0x06, 0};
constexpr std::uint8_t kTagsValue[] = {0x02, 0x04, 0x05, 0x06, 0x40, 0x41,
                                       0x42, 0x43, 0x44, 0x24, 0};
constexpr std::uint8_t kTagsIpAddress[] = {0x40, 0};
constexpr std::uint8_t kTagsTimeTicks[] = {0x43, 0};
constexpr std::uint8_t kTagsSegment[] = {0x04, 0x24, 0};

constexpr const AslNode* N(int i) {
  return &aslNodes[i];
}

}  // namespace

// Min: for a choice, the fewest bytes from this field to the end of the
// enclosing contents; for primitives, the fewest contents bytes.
const AslNode aslNodes[kAslNodeCount] = {
    {0, kTagsSequence, nullptr, 20, N(1)},    // 0 Message
    {4, nullptr, N(2), 20, nullptr},          // 1 Message as SEQUENCE
    {0, kTagsInteger, nullptr, 18, N(3)},     // 2 version
    {1, nullptr, nullptr, 1, N(4)},           // 3 version INTEGER
    {0, kTagsOctets, nullptr, 15, N(5)},      // 4 community
    {2, nullptr, nullptr, 0, N(6)},           // 5 community OCTET STRING
    {0, kTagsPdu, nullptr, 13, N(7)},         // 6 PDU choice
    {4, nullptr, N(12), 12, nullptr},         // 7 GetRequest-PDU
    {4, nullptr, N(12), 12, nullptr},         // 8 GetNextRequest-PDU
    {4, nullptr, N(12), 12, nullptr},         // 9 GetResponse-PDU
    {4, nullptr, N(12), 12, nullptr},         // 10 SetRequest-PDU
    {4, nullptr, N(35), 16, nullptr},         // 11 Trap-PDU
    {0, kTagsInteger, nullptr, 11, N(13)},    // 12 request-id
    {1, nullptr, nullptr, 1, N(14)},          // 13 request-id INTEGER
    {0, kTagsInteger, nullptr, 8, N(15)},     // 14 error-status
    {1, nullptr, nullptr, 1, N(16)},          // 15 error-status INTEGER
    {0, kTagsInteger, nullptr, 5, N(17)},     // 16 error-index
    {1, nullptr, nullptr, 1, N(18)},          // 17 error-index INTEGER
    {0, kTagsSequence, nullptr, 2, N(19)},    // 18 variable-bindings
    {5, nullptr, N(20), 0, nullptr},          // 19 VarBindList
    {0, kTagsSequence, nullptr, 0, N(21)},    // 20 VarBind
    {4, nullptr, N(22), 4, N(20)},            // 21 VarBind as SEQUENCE; another may follow
    {0, kTagsObjectId, nullptr, 4, N(23)},    // 22 name
    {3, nullptr, nullptr, 0, N(24)},          // 23 name OBJECT IDENTIFIER
    {0, kTagsValue, nullptr, 2, N(25)},       // 24 value choice
    {1, nullptr, nullptr, 1, nullptr},        // 25 INTEGER
    {2, nullptr, nullptr, 0, nullptr},        // 26 OCTET STRING
    {6, nullptr, nullptr, 0, nullptr},        // 27 NULL
    {3, nullptr, nullptr, 0, nullptr},        // 28 OBJECT IDENTIFIER
    {2, nullptr, nullptr, 4, nullptr},        // 29 IpAddress
    {1, nullptr, nullptr, 1, nullptr},        // 30 Counter
    {1, nullptr, nullptr, 1, nullptr},        // 31 Gauge
    {1, nullptr, nullptr, 0, nullptr},        // 32 TimeTicks
    {2, nullptr, nullptr, 0, nullptr},        // 33 Opaque
    {5, nullptr, N(45), 0, nullptr},          // 34 constructed OCTET STRING
    {0, kTagsObjectId, nullptr, 14, N(36)},   // 35 enterprise
    {3, nullptr, nullptr, 0, N(37)},          // 36 enterprise OBJECT IDENTIFIER
    {0, kTagsIpAddress, nullptr, 12, N(38)},  // 37 agent-addr
    {2, nullptr, nullptr, 4, N(39)},          // 38 agent-addr IpAddress
    {0, kTagsInteger, nullptr, 10, N(40)},    // 39 generic-trap
    {1, nullptr, nullptr, 1, N(41)},          // 40 generic-trap INTEGER
    {0, kTagsInteger, nullptr, 7, N(42)},     // 41 specific-trap
    {1, nullptr, nullptr, 1, N(43)},          // 42 specific-trap INTEGER
    {0, kTagsTimeTicks, nullptr, 4, N(44)},   // 43 time-stamp
    {1, nullptr, nullptr, 1, N(18)},          // 44 time-stamp TimeTicks, then variable-bindings
    {0, kTagsSegment, nullptr, 0, N(46)},     // 45 segment of a constructed string
    {2, nullptr, nullptr, 0, nullptr},        // 46 primitive segment
    {5, nullptr, N(45), 0, nullptr},          // 47 nested constructed segment
};

void* aslInit() {
  return nullptr;
}

const AslNode* aslLanguage(const void*) {
  return &aslNodes[0];
}
int aslKind(const AslNode* node) {
  return node->kind;
}
const AslNode* aslSon(const AslNode* node) {
  return node->son;
}
const std::uint8_t* aslTags(const AslNode* node) {
  return node->tags;
}
int aslMinLen(const AslNode* node) {
  return node->minLen;
}
const AslNode* aslNext(const AslNode* node) {
  return node->next;
}

const AslNode* aslChoice(const AslNode* node, int octet) {
  if (node == nullptr || node->tags == nullptr) return nullptr;
  for (int i = 0; node->tags[i] != 0; ++i) {
    if (node->tags[i] == octet) return node->next + i;
  }
  return nullptr;
}
