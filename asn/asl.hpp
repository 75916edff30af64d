// Grammar of the SNMPv1 message as a fixed table of nodes that the decoder
// walks while bytes arrive. A kind-0 node is a choice of identifier octets;
// its alternatives are the consecutive nodes starting at its `next`, in the
// order of its tag list.
#pragma once

#include <cstdint>

struct AslNode {
  int kind;                  // AsnType: 0 choice, 1..6 value kinds
  const std::uint8_t* tags;  // kind 0: zero-terminated list of identifier octets
  const AslNode* son;        // kind 4: first field; kind 5: element
  int minLen;                // lower bound used by the length checks
  const AslNode* next;       // kind 0: first alternative; others: following field
};

inline constexpr int kAslNodeCount = 48;
extern const AslNode aslNodes[kAslNodeCount];

void* aslInit();                              // the grammar is static data; returns null
const AslNode* aslLanguage(const void* any);  // node 0, the whole message
int aslKind(const AslNode* node);
const AslNode* aslSon(const AslNode* node);
const std::uint8_t* aslTags(const AslNode* node);
int aslMinLen(const AslNode* node);
const AslNode* aslNext(const AslNode* node);
// The alternative an identifier octet selects, or null if it is not in the tag list.
const AslNode* aslChoice(const AslNode* node, int octet);
