// Message context: one per datagram, fed byte by byte.
// PLACEHOLDER until the message engine lands: the context answers nothing.
#pragma once

#include <cstdint>

struct Smp;
struct SmpPdu;

// Sends one encoded message through the endpoint: 0 when sent, nonzero on failure.
using SmpSendFn = int (*)(void* endpoint, const std::uint8_t* bytes, int length);
using SmpUpcallFn = int (*)(Smp*, SmpPdu*);

Smp* smpNew(void* endpoint, SmpSendFn send, SmpUpcallFn upcall);
Smp* smpFree(Smp* context);
// One byte 0-255: 0 wants more, nonzero stops feeding this datagram.
int smpInput(Smp* context, int byte);
