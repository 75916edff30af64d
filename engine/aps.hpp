// Community entries and the authentication schemes that serve them: a message
// is accepted by version and community, stripped to its PDU, and outgoing PDUs
// are wrapped into messages again.
#pragma once

#include <cstdint>
#include <memory>

#include "asn/asn.hpp"

inline constexpr int kApsMaxCommunity = 16;  // longest community text served

struct ApsScheme {
  const char* name;                             // not copied
  int (*verify)(const Asn& message);            // nonzero accepts the message
  Asn (*encode)(int user, const Asn& pdu);      // data part of a message, new reference
  Asn (*decode)(int user, const Asn& message);  // the PDU, new reference
  ApsScheme* next;
};

struct Aps {
  const char* name;   // community text, not copied
  Asn community;      // OCTET STRING of the text, put into every outgoing message
  ApsScheme* scheme;  // the scheme that serves this community
  int user;           // first argument of the scheme's encode and decode
  int references;
  Aps* next;
};

void apsInit();
int apsScheme(const char* name, int (*verify)(const Asn&), Asn (*encode)(int, const Asn&),
              Asn (*decode)(int, const Asn&));
Aps* apsNew(const char* community, const char* scheme, int user);
Aps* apsFree(Aps* entry);

// Owns one reference on a community entry (from apsNew or apsVerify) and drops it with
// apsFree when it goes.
struct ApsRelease {
  void operator()(Aps* entry) const noexcept { apsFree(entry); }
};
using ApsHandle = std::unique_ptr<Aps, ApsRelease>;

Aps* apsVerify(const Asn& message);
Asn apsDecode(Aps* entry, const Asn& message);
Asn apsEncode(Aps* entry, const Asn& pdu);
