// PLACEHOLDER until the message engine lands.
#include "engine/smp.hpp"

#include <new>

#include "common/snmpmib.hpp"

struct Smp {
  void* endpoint;
  SmpSendFn send;
  SmpUpcallFn upcall;
};

Smp* smpNew(void* endpoint, SmpSendFn send, SmpUpcallFn upcall) {
  return new (std::nothrow) Smp{endpoint, send, upcall};
}

Smp* smpFree(Smp* context) {
  delete context;
  return nullptr;
}

int smpInput(Smp* context, int) {
  if (context == nullptr) {
    snmpCount(snmpInGenErrs);
    return 1;
  }
  return 0;
}
