#include "engine/aps.hpp"

#include <cstring>
#include <new>
#include <utility>

#include "common/snmpmib.hpp"

namespace {

Asn apsVersion;                   // INTEGER 0 of every outgoing message
ApsScheme* apsSchemes = nullptr;  // newest first
Aps* apsComms = nullptr;          // newest first

ApsScheme* findScheme(const char* name) {
  for (ApsScheme* s = apsSchemes; s; s = s->next)
    if (std::strcmp(s->name, name) == 0) return s;
  return nullptr;
}

Aps* findCommunity(const char* text) {
  for (Aps* e = apsComms; e; e = e->next)
    if (std::strcmp(e->name, text) == 0) return e;
  return nullptr;
}

}  // namespace

// Start-up only: records left from an earlier start are released here rather
// than leaked; nothing may hold an entry across this call.
void apsInit() {
  while (apsComms) delete std::exchange(apsComms, apsComms->next);
  while (apsSchemes) delete std::exchange(apsSchemes, apsSchemes->next);
  apsVersion = nullptr;
}

int apsScheme(const char* name, int (*verify)(const Asn&), Asn (*encode)(int, const Asn&),
              Asn (*decode)(int, const Asn&)) {
  if (!name || findScheme(name)) return 1;
  auto* scheme = new (std::nothrow) ApsScheme{name, verify, encode, decode, apsSchemes};
  if (!scheme) return 1;
  apsSchemes = scheme;
  return 0;
}

Aps* apsNew(const char* community, const char* scheme, int user) {
  if (!community || !scheme) return nullptr;
  const std::size_t length = std::strlen(community);
  if (length > kApsMaxCommunity) return nullptr;
  ApsScheme* s = findScheme(scheme);
  if (!s || findCommunity(community)) return nullptr;
  Asn value = asnOctetString(kAsnUniversal, 4, reinterpret_cast<const std::uint8_t*>(community),
                             static_cast<int>(length));
  if (!value) return nullptr;
  auto* entry = new (std::nothrow) Aps{community, std::move(value), s, user, 1, apsComms};
  if (!entry) return nullptr;
  apsComms = entry;
  return entry;
}

Aps* apsFree(Aps* entry) {
  if (!entry) return nullptr;
  if (--entry->references != 0) return nullptr;
  for (Aps** link = &apsComms; *link; link = &(*link)->next) {
    if (*link == entry) {
      *link = entry->next;
      delete entry;
      break;
    }
  }
  return nullptr;
}

Aps* apsVerify(const Asn& message) {
  {
    Asn version = asnComponent(message, 1);
    const std::uint8_t* bytes = asnValue(version);
    if (!version || !bytes || asnLength(version) != 1 || bytes[0] != 0) {
      snmpCount(snmpInBadVersions);
      return nullptr;
    }
  }
  char text[kApsMaxCommunity + 1];
  int length;
  {
    Asn community = asnComponent(message, 2);
    length = community
                 ? asnContents(community, reinterpret_cast<std::uint8_t*>(text), kApsMaxCommunity)
                 : -1;
  }
  if (length < 0) {
    snmpCount(snmpInBadCommunityNames);
    return nullptr;
  }
  // Bytes after an embedded NUL take no part in the comparison.
  text[length] = '\0';
  Aps* entry = findCommunity(text);
  if (!entry || !entry->scheme->verify || entry->scheme->verify(message) == 0) {
    snmpCount(snmpInBadCommunityNames);
    return nullptr;
  }
  ++entry->references;
  return entry;
}

Asn apsDecode(Aps* entry, const Asn& message) {
  if (!entry || !entry->scheme->decode) return nullptr;
  return entry->scheme->decode(entry->user, message);
}

Asn apsEncode(Aps* entry, const Asn& pdu) {
  if (!entry || !entry->scheme->encode) return nullptr;
  if (!apsVersion) apsVersion = asnIntl(kAsnUniversal, 2, 0);
  if (!apsVersion) return nullptr;
  Asn data = entry->scheme->encode(entry->user, pdu);
  if (!data) return nullptr;
  Asn message = asnSequence(kAsnUniversal, 16, kAsnSequence);
  if (!message || asnAppend(message, apsVersion) != 0 ||
      asnAppend(message, entry->community) != 0 || asnAppend(message, data) != 0)
    return nullptr;
  return message;
}
