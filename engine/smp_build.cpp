// Message building: replies, binding records and the originating path.
#include <cstdint>

#include "common/nomem.hpp"
#include "common/snmpmib.hpp"
#include "engine/aps.hpp"
#include "engine/smp.hpp"

const int smpClassVector[kSmpValueTypes] = {
    kAsnPrivate,      // unknown (never built)
    kAsnUniversal,    // INTEGER
    kAsnUniversal,    // OCTET STRING
    kAsnApplication,  // IpAddress
    kAsnApplication,  // Opaque
    kAsnApplication,  // Counter
    kAsnApplication,  // Gauge
    kAsnApplication,  // TimeTicks
    kAsnUniversal,    // OBJECT IDENTIFIER
    kAsnUniversal,    // NULL
};
const std::int32_t smpTagVector[kSmpValueTypes] = {-1, 2, 4, 0, 4, 1, 2, 3, 6, 5};
const int smpUniversalVector[7] = {kSmpUnknown,     kSmpUnknown, kSmpInteger, kSmpUnknown,
                                   kSmpOctetString, kSmpNull,    kSmpObjectId};
const int smpApplicationVector[5] = {kSmpIpAddress, kSmpCounter, kSmpGauge, kSmpTimeTicks,
                                     kSmpOpaque};

namespace {

// The reply PDU itself, not counted.
Asn replyPdu(const Asn& request, int status, int index, const Asn& list) {
  if (status == kSnmpNoError) index = 0;
  Asn requestId = asnComponent(request, 1);
  if (!requestId) return nullptr;
  if (status == kSnmpNoError) return smpBuildMsg(kSmpGetResponse, requestId, 0, 0, list);
  Asn own = asnComponent(request, 4);
  if (!own) return nullptr;
  return smpBuildMsg(kSmpGetResponse, requestId, static_cast<std::uint32_t>(status),
                     static_cast<std::uint32_t>(index), own);
}

// Wraps a PDU into the entry's message and encodes it: the byte count, or -1
// when no message could be made or it does not fit the datagram.
int encodeMsg(Aps* entry, const Asn& pdu, std::uint8_t* buffer, bool& wrapped) {
  Asn message = apsEncode(entry, pdu);
  wrapped = static_cast<bool>(message);
  return message ? asnEncode(message, buffer, kSmpMaxDatagram) : -1;
}

int sendBytes(Smp* context, const std::uint8_t* buffer, int length) {
  const int result =
      context && context->send ? context->send(context->endpoint, buffer, length) : 1;
  snmpCount(snmpOutPkts);
  return result;
}

// A reply that could not be made (length -1) is counted; a made one is sent.
int sendReply(Smp* context, const std::uint8_t* buffer, int length) {
  if (length < 0) {
    snmpCount(snmpOutGenErrs);
    return 1;
  }
  return sendBytes(context, buffer, length);
}

std::uint32_t numberOf(const Asn& value) {
  const std::uint8_t* bytes = asnValue(value);
  const int length = asnLength(value);
  return bytes && length > 0 ? asnNumber(bytes, length) : 0;
}

int typeOf(const Asn& value) {
  if (!value) return kSmpUnknown;
  const std::int32_t tag = asnTag(value);
  if (asnClass(value) == kAsnUniversal)
    return tag >= 0 && tag < 7 ? smpUniversalVector[tag] : kSmpUnknown;
  return tag >= 0 && tag < 5 ? smpApplicationVector[tag] : kSmpUnknown;
}

int callUpcall(Smp* context, SmpPdu& record) {
  return context && context->upcall ? context->upcall(context, &record) : 1;
}

}  // namespace

Asn smpReply(const Asn& request, int status, int index, const Asn& list) {
  Asn pdu = replyPdu(request, status, index, list);
  snmpCount(snmpOutGetResponses);  // also when no PDU could be built
  return pdu;
}

int smpAnswer(Smp* context, Aps* entry, const Asn& request, int status, int index,
              const Asn& list) {
  std::uint8_t buffer[kSmpMaxDatagram];
  int length = -1;
  bool wrapped = false;
  nomemShort = false;
  if (Asn pdu = smpReply(request, status, index, list))
    length = encodeMsg(entry, pdu, buffer, wrapped);
  if (length < 0 && status == kSnmpNoError) {
    // The results outgrew a block or the datagram, or memory ran short building them.
    // Silence would make the manager retry for ever; RFC 1157 answers tooBig with the
    // request's own bindings and error-index 0, and genErr is what a shortage is.
    const int error = nomemShort ? kSnmpGenErr : kSnmpTooBig;
    snmpCount(error == kSnmpTooBig ? snmpOutTooBigs : snmpOutGenErrs);
    if (Asn pdu = replyPdu(request, error, 0, nullptr))
      length = encodeMsg(entry, pdu, buffer, wrapped);
  }
  return sendReply(context, buffer, length);
}

int smpOutgrown(Smp* context, Aps* entry, const Asn& requestId) {
  std::uint8_t buffer[kSmpMaxDatagram];
  bool wrapped = false;
  int length = -1;
  snmpCount(snmpOutTooBigs);
  if (Asn list = asnSequence(kAsnUniversal, 16, kAsnSequenceOf)) {
    if (Asn pdu = smpBuildMsg(kSmpGetResponse, requestId, kSnmpTooBig, 0, list)) {
      length = encodeMsg(entry, pdu, buffer, wrapped);
    }
  }
  snmpCount(snmpOutGetResponses);
  return sendReply(context, buffer, length);
}

Asn smpBuildMsg(int tag, const Asn& requestId, std::uint32_t status, std::uint32_t index,
                const Asn& list) {
  if (!requestId) return nullptr;
  Asn pdu = asnSequence(kAsnContext, tag, kAsnSequence);
  if (!pdu || asnAppend(pdu, requestId) != 0 || smpSishKabob(pdu, kAsnUniversal, 2, status) != 0 ||
      smpSishKabob(pdu, kAsnUniversal, 2, index) != 0 || asnAppend(pdu, list) != 0)
    return nullptr;
  return pdu;
}

int smpSishKabob(const Asn& constructed, int cls, std::int32_t tag, std::uint32_t number) {
  Asn value = asnUnsl(cls, tag, number);
  return value ? asnAppend(constructed, value) : kAsnNoRoom;
}

int smpSend(Smp* context, Aps* entry, const Asn& pdu) {
  std::uint8_t buffer[kSmpMaxDatagram];
  bool wrapped = false;
  const int length = encodeMsg(entry, pdu, buffer, wrapped);
  if (!wrapped) {
    snmpCount(snmpOutGenErrs);
    return 1;
  }
  if (length < 0) {
    snmpCount(snmpOutPkts);  // a message over the datagram is never sent
    return 1;
  }
  return sendBytes(context, buffer, length);
}

Asn smpBuildBind2(const Asn& name, const Asn& value) {
  Asn bind = asnSequence(kAsnUniversal, 16, kAsnSequence);
  if (!bind || asnAppend(bind, name) != 0 || asnAppend(bind, value) != 0) return nullptr;
  return bind;
}

Asn smpBuildBind1(const std::uint8_t* name, int length, const Asn& value) {
  Asn oid = asnObjectId(kAsnUniversal, 6, name, length);
  return oid ? smpBuildBind2(oid, value) : nullptr;
}

Asn smpBuildBind0(const SmpBind* bind) {
  if (!bind) return nullptr;
  Asn value = smpBuildValue(bind);
  return value ? smpBuildBind1(bind->name, bind->nameLength, value) : nullptr;
}

Asn smpBuildValue(const SmpBind* bind) {
  if (!bind || bind->type <= kSmpUnknown || bind->type >= kSmpValueTypes) return nullptr;
  const int cls = smpClassVector[bind->type];
  const std::int32_t tag = smpTagVector[bind->type];
  switch (bind->type) {
    case kSmpInteger:
      return asnIntl(cls, tag, static_cast<std::int32_t>(bind->number));
    case kSmpCounter:
    case kSmpGauge:
    case kSmpTimeTicks:
      return asnUnsl(cls, tag, bind->number);
    case kSmpIpAddress:
      if (bind->valueLength != 4) return nullptr;
      return asnOctetString(cls, tag, bind->value, bind->valueLength);
    case kSmpObjectId:
      return asnObjectId(cls, tag, bind->value, bind->valueLength);
    default:  // OCTET STRING, Opaque, NULL
      return asnOctetString(cls, tag, bind->value, bind->valueLength);
  }
}

int smpCrackList(const Asn& list, SmpBind* records, int maximum) {
  const std::uint16_t sons = asnSons(list);
  int filled = 0;
  for (std::uint16_t position = 1; position <= sons && filled < maximum;) {
    Asn bind = asnComponent(list, position);
    if (!bind) break;
    Asn name = asnComponent(bind, 1);
    Asn value = asnComponent(bind, 2);
    SmpBind& record = records[filled++];
    record = SmpBind{};
    record.name = asnValue(name);
    record.nameLength = name ? asnLength(name) : 0;
    record.type = typeOf(value);
    record.value = asnValue(value);
    record.valueLength = value ? asnLength(value) : 0;
    if (record.type == kSmpInteger || record.type == kSmpCounter || record.type == kSmpGauge ||
        record.type == kSmpTimeTicks)
      record.number = numberOf(value);
    const auto next = static_cast<std::uint16_t>(position + asnSons(bind) + 1);
    if (next <= position) break;
    position = next;
  }
  return filled;
}

int smpRspOp(Smp* context, Aps* entry, const Asn& pdu) {
  SmpBind bindings[kSmpCrackedBinds];
  SmpPdu record{};
  record.type = asnTag(pdu);
  record.community = entry;
  record.requestId = numberOf(asnComponent(pdu, 1));
  record.errorStatus = numberOf(asnComponent(pdu, 2));
  record.errorIndex = static_cast<std::uint16_t>(numberOf(asnComponent(pdu, 3)));
  record.bindingCount =
      static_cast<std::uint16_t>(smpCrackList(asnComponent(pdu, 4), bindings, kSmpCrackedBinds));
  record.bindings = bindings;
  return callUpcall(context, record);
}

int smpTrapOp(Smp* context, Aps* entry, const Asn& pdu) {
  SmpBind bindings[kSmpCrackedBinds];
  SmpPdu record{};
  record.type = kSmpTrap;
  record.community = entry;
  Asn enterprise = asnComponent(pdu, 1);
  record.enterprise = asnValue(enterprise);
  record.enterpriseLength = enterprise ? asnLength(enterprise) : 0;
  Asn agent = asnComponent(pdu, 2);
  record.agentAddress = asnValue(agent);
  record.agentAddressLength = agent ? asnLength(agent) : 0;
  record.genericTrap = numberOf(asnComponent(pdu, 3));
  record.specificTrap = numberOf(asnComponent(pdu, 4));
  record.timeStamp = numberOf(asnComponent(pdu, 5));
  record.bindingCount =
      static_cast<std::uint16_t>(smpCrackList(asnComponent(pdu, 6), bindings, kSmpCrackedBinds));
  record.bindings = bindings;
  return callUpcall(context, record);
}

Asn smpBuildList(const SmpBind* bindings, int count) {
  Asn list = asnSequence(kAsnUniversal, 16, kAsnSequenceOf);
  if (!list) return nullptr;
  for (int i = 0; i < count; ++i) {
    Asn bind = smpBuildBind0(&bindings[i]);
    if (!bind || asnAppend(list, bind) != 0) return nullptr;
  }
  return list;
}

Asn smpBuildReq(int tag, const SmpPdu* pdu, const Asn& list) {
  if (!pdu) return nullptr;
  Asn requestId = asnUnsl(kAsnUniversal, 2, pdu->requestId);
  return smpBuildMsg(tag, requestId, pdu->errorStatus, pdu->errorIndex, list);
}

Asn smpBuildTrap(const SmpPdu* pdu, const Asn& list) {
  if (!pdu) return nullptr;
  Asn trap = asnSequence(kAsnContext, kSmpTrap, kAsnSequence);
  if (!trap) return nullptr;
  Asn enterprise = asnObjectId(kAsnUniversal, 6, pdu->enterprise, pdu->enterpriseLength);
  if (!enterprise || asnAppend(trap, enterprise) != 0) return nullptr;
  Asn agent = asnOctetString(kAsnApplication, 0, pdu->agentAddress, pdu->agentAddressLength);
  if (!agent || asnAppend(trap, agent) != 0) return nullptr;
  if (smpSishKabob(trap, kAsnUniversal, 2, pdu->genericTrap) != 0 ||
      smpSishKabob(trap, kAsnUniversal, 2, pdu->specificTrap) != 0 ||
      smpSishKabob(trap, kAsnApplication, 3, pdu->timeStamp) != 0 || asnAppend(trap, list) != 0)
    return nullptr;
  return trap;
}

int smpRequest(Smp* context, SmpPdu* pdu) {
  if (!context || !pdu) {
    snmpCount(snmpOutGenErrs);
    return 1;
  }
  Asn list = smpBuildList(pdu->bindings, pdu->bindingCount);
  if (!list) {
    snmpCount(snmpOutGenErrs);
    return 1;
  }
  // What originating each PDU type counts, by type.
  static constexpr SnmpCounter kOriginated[] = {
      snmpOutGetRequests, snmpOutGetNexts, snmpOutGetResponses, snmpOutSetRequests, snmpOutTraps};
  Asn built;
  if (pdu->type >= kSmpGetRequest && pdu->type <= kSmpTrap) {
    snmpCount(kOriginated[pdu->type]);
    built = pdu->type == kSmpTrap ? smpBuildTrap(pdu, list) : smpBuildReq(pdu->type, pdu, list);
  }
  if (!built) {
    snmpCount(snmpOutGenErrs);
    return 1;
  }
  return smpSend(context, pdu->community, built);
}
