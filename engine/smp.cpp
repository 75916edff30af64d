#include "engine/smp.hpp"

#include <new>

#include "common/snmpmib.hpp"
#include "common/sysfile.hpp"
#include "engine/aps.hpp"

namespace {

using SmpHandler = int (*)(Smp*, Aps*, const Asn&);

// What each PDU type is handled by, and what an accepted one counts.
struct SmpDispatch {
  SmpHandler handler;
  SnmpCounter counted;
  bool countsReqVars;  // snmpInTotalReqVars: once per answered Get or GetNext
};

constexpr SmpDispatch smpDispatch[] = {
    {smpGetOp, snmpInGetRequests, true},    // 0 GetRequest
    {smpNextOp, snmpInGetNexts, true},      // 1 GetNextRequest
    {smpRspOp, snmpInGetResponses, false},  // 2 GetResponse
    {smpSetOp, snmpInSetRequests, false},   // 3 SetRequest
    {smpTrapOp, snmpInTraps, false},        // 4 Trap
};
constexpr int kSmpDispatchSize = sizeof smpDispatch / sizeof smpDispatch[0];

// A request that outgrew the decoder's room is answered tooBig, once its version, community
// and request-id were read and hold: the manager learns to ask for less instead of retrying.
void answerOutgrown(Smp* context) {
  const Asn pdu = asnComponent(context->decoder, 3);
  const std::int32_t tag = asnTag(pdu);
  if (!pdu || (tag != kSmpGetRequest && tag != kSmpGetNextRequest && tag != kSmpSetRequest)) {
    return;
  }
  std::uint8_t id[8];  // an INTEGER of 32 bits takes 5 at most
  const int idLength = asnContents(asnComponent(pdu, 1), id, sizeof id);
  if (idLength <= 0) return;
  const ApsHandle entry(apsVerify(context->decoder));
  if (!entry) return;
  if (Asn requestId = asnPrim(kAsnUniversal, 2, kAsnInteger, id, idLength)) {
    smpOutgrown(context, entry.get(), requestId);
  } else {
    snmpCount(snmpOutGenErrs);
  }
}

// What a decoder status means for the message: 0 while more is to come or once it is handled.
int smpDecoded(Smp* context, int status) {
  if (status == kAsnMore) return 0;
  if (status != kAsnComplete) {
    snmpCount(snmpInGenErrs);  // the decoder has counted the parse error
    if (status == kAsnNoRoom && context->decoder) answerOutgrown(context);
    return 1;
  }
  const ApsHandle entry(apsVerify(context->decoder));
  if (!entry) return 1;
  const Asn pdu = apsDecode(entry.get(), context->decoder);
  if (!pdu) {
    snmpCount(snmpInGenErrs);
    return 1;
  }
  // The PDU keeps the message alive; the next byte starts a new message.
  context->decoder = nullptr;

  int result = 1;
  const std::int32_t tag = asnTag(pdu);
  if (tag >= 0 && tag < kSmpDispatchSize) {
    const SmpDispatch& d = smpDispatch[tag];
    const SysRequest request;  // the request's values of one file come from one reading
    result = d.handler(context, entry.get(), pdu);
    if (result == 0) {
      snmpCount(d.counted);
      if (d.countsReqVars) snmpCount(snmpInTotalReqVars);
    }
  } else {
    snmpCount(snmpInGenErrs);
  }
  return result;
}

}  // namespace

Smp* smpNew(void* endpoint, SmpSendFn send, SmpUpcallFn upcall) {
  return new (std::nothrow) Smp{upcall, send, endpoint, nullptr, 0};
}

Smp* smpFree(Smp* context) {
  delete context;  // releases a half-decoded message with it
  return nullptr;
}

int smpInput(Smp* context, int byte) {
  const auto octet = static_cast<std::uint8_t>(byte);
  return smpInputBytes(context, &octet, 1);
}

int smpInputBytes(Smp* context, const std::uint8_t* bytes, int count) {
  if (!context) {
    snmpCount(snmpInGenErrs);
    return 1;
  }
  while (count > 0 && context->result == 0) {
    if (!context->decoder) context->decoder = asnNew();
    int used = 0;
    const int status = asnDecodeBytes(context->decoder, bytes, count, &used);
    bytes += used;
    count -= used;
    if (status != kAsnMore) context->result = smpDecoded(context, status);
  }
  return context->result;
}

int smpInputEvent(Smp* context, int byte) {
  return smpDecoded(context, asnDecode(context->decoder, byte));
}
