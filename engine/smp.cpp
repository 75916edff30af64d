#include "engine/smp.hpp"

#include <new>

#include "common/snmpmib.hpp"
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

}  // namespace

Smp* smpNew(void* endpoint, SmpSendFn send, SmpUpcallFn upcall) {
  return new (std::nothrow) Smp{upcall, send, endpoint, nullptr, 0};
}

Smp* smpFree(Smp* context) {
  delete context;  // releases a half-decoded message with it
  return nullptr;
}

int smpInput(Smp* context, int byte) {
  if (!context) {
    snmpCount(snmpInGenErrs);
    return 1;
  }
  if (context->result != 0) return context->result;
  if (!context->decoder) context->decoder = asnNew();
  context->result = smpInputEvent(context, byte);
  return context->result;
}

int smpInputEvent(Smp* context, int byte) {
  const int status = asnDecode(context->decoder, byte);
  if (status == kAsnMore) return 0;
  if (status != kAsnComplete) {
    snmpCount(snmpInGenErrs);  // the decoder has counted the parse error
    return 1;
  }
  Aps* entry = apsVerify(context->decoder);
  if (!entry) return 1;
  Asn pdu = apsDecode(entry, context->decoder);
  if (!pdu) {
    apsFree(entry);
    snmpCount(snmpInGenErrs);
    return 1;
  }
  // The PDU keeps the message alive; the next byte starts a new message.
  asnFree(context->decoder);

  int result = 1;
  const std::int32_t tag = asnTag(pdu);
  if (tag >= 0 && tag < kSmpDispatchSize) {
    const SmpDispatch& d = smpDispatch[tag];
    result = d.handler(context, entry, pdu);
    if (result == 0) {
      snmpCount(d.counted);
      if (d.countsReqVars) snmpCount(snmpInTotalReqVars);
    }
  } else {
    snmpCount(snmpInGenErrs);
  }
  asnFree(pdu);
  apsFree(entry);
  return result;
}
