// The protocol engine: a message context per datagram turns received bytes
// into requests, carries them out against the MIB index, and builds, wraps
// and sends the replies. It also serves the agent's own statistics as the snmp
// group (1.3.6.1.2.1.11).
#pragma once

#include <cstdint>

#include "asn/asn.hpp"
#include "mib/mix.hpp"
#include "mib/val.hpp"

struct Aps;
struct Smp;
struct SmpPdu;

// Sends one encoded message to the peer; 0 when sent. The bytes are valid only
// during the call.
using SmpSendFn = int (*)(void* endpoint, const std::uint8_t* bytes, int length);
// Receives each incoming GetResponse or Trap; 0 accepts it. The record's byte
// pointers are valid only during the call.
using SmpUpcallFn = int (*)(Smp* context, SmpPdu* pdu);

inline constexpr int kSmpMaxDatagram = 2048;  // largest message sent or received
inline constexpr int kSmpUndoSlots = 20;      // a SetRequest filling them all is tooBig: 19 at most
inline constexpr int kSmpCrackedBinds = 20;   // bindings handed to the upcall

// PDU tags (context-specific, constructed: A0 to A4 on the wire).
enum SmpPduType : int {
  kSmpGetRequest = 0,
  kSmpGetNextRequest = 1,
  kSmpGetResponse = 2,
  kSmpSetRequest = 3,
  kSmpTrap = 4,
};

// SNMPv1 error-status codes are SnmpStatus (mib/val.hpp).

// Value-type codes of a plain binding.
enum SmpValueType : int {
  kSmpUnknown = 0,
  kSmpInteger = 1,
  kSmpOctetString = 2,
  kSmpIpAddress = 3,
  kSmpOpaque = 4,
  kSmpCounter = 5,
  kSmpGauge = 6,
  kSmpTimeTicks = 7,
  kSmpObjectId = 8,
  kSmpNull = 9,
};

inline constexpr int kSmpValueTypes = 10;
extern const int smpClassVector[kSmpValueTypes];
extern const std::int32_t smpTagVector[kSmpValueTypes];
extern const int smpUniversalVector[7];    // universal tag -> type code
extern const int smpApplicationVector[5];  // application tag -> type code

struct Smp {
  SmpUpcallFn upcall;
  SmpSendFn send;
  void* endpoint;  // never looked into, never freed here
  Asn decoder;     // the message being decoded; none between messages
  int result;      // 0 while input is accepted; the first nonzero value closes the context
};

// One variable binding as a plain record.
struct SmpBind {
  int nameLength;
  const std::uint8_t* name;  // BER contents of the OBJECT IDENTIFIER
  int type;                  // SmpValueType
  int valueLength;
  const std::uint8_t* value;  // contents bytes; null for a constructed string
  std::uint32_t number;       // INTEGER, Counter, Gauge, TimeTicks; else 0
};

// One PDU as a plain record.
struct SmpPdu {
  int type;  // SmpPduType
  Aps* community;
  std::uint32_t requestId;
  std::uint32_t errorStatus;
  std::uint16_t errorIndex;
  int enterpriseLength;
  const std::uint8_t* enterprise;
  int agentAddressLength;
  const std::uint8_t* agentAddress;
  std::uint32_t genericTrap;
  std::uint32_t specificTrap;
  std::uint32_t timeStamp;
  std::uint16_t bindingCount;
  SmpBind* bindings;
};

// Message context.
Smp* smpNew(void* endpoint, SmpSendFn send, SmpUpcallFn upcall);
Smp* smpFree(Smp* context);
int smpInput(Smp* context, int byte);
int smpInputEvent(Smp* context, int byte);
// A datagram's bytes as smpInput would take them one by one, up to the first nonzero result.
int smpInputBytes(Smp* context, const std::uint8_t* bytes, int count);

// Request handlers: 0 when the reply was handed to the send operation.
int smpGetOp(Smp* context, Aps* entry, const Asn& pdu);
int smpNextOp(Smp* context, Aps* entry, const Asn& pdu);
int smpSetOp(Smp* context, Aps* entry, const Asn& pdu);
// Incoming GetResponse and Trap: the upcall's result.
int smpRspOp(Smp* context, Aps* entry, const Asn& pdu);
int smpTrapOp(Smp* context, Aps* entry, const Asn& pdu);

// Replies and message building.
// Builds, wraps and sends the GetResponse to a request; a reply too big to be
// built or sent is answered tooBig with the request's own bindings instead.
int smpAnswer(Smp* context, Aps* entry, const Asn& request, int status, int index, const Asn& list);
// The answer to a request too large to be decoded: tooBig, error-index 0, no bindings (they
// were never all read).
int smpOutgrown(Smp* context, Aps* entry, const Asn& requestId);
int smpSend(Smp* context, Aps* entry, const Asn& pdu);
Asn smpReply(const Asn& request, int status, int index, const Asn& list);
Asn smpBuildMsg(int tag, const Asn& requestId, std::uint32_t status, std::uint32_t index,
                const Asn& list);
int smpSishKabob(const Asn& constructed, int cls, std::int32_t tag, std::uint32_t number);
Asn smpBuildBind2(const Asn& name, const Asn& value);
Asn smpBuildBind1(const std::uint8_t* name, int length, const Asn& value);
Asn smpBuildBind0(const SmpBind* bind);
Asn smpBuildValue(const SmpBind* bind);
int smpCrackList(const Asn& list, SmpBind* records, int maximum);

// Originating (the agent itself never calls these).
int smpRequest(Smp* context, SmpPdu* pdu);
Asn smpBuildList(const SmpBind* bindings, int count);
Asn smpBuildReq(int tag, const SmpPdu* pdu, const Asn& list);
Asn smpBuildTrap(const SmpPdu* pdu, const Asn& list);

// The snmp group.
int smpInit();
extern const MixOps snmpOps;
Asn snmpRetrieve(int n);
Asn snmpGet(void* object, const std::uint8_t* suffix, int length);
Asn snmpNext(void* object, std::uint8_t* suffix, int* length);
