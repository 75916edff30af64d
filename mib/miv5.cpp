// Scalar octet-string variables.
#include "mib/mis.hpp"
#include "mib/miv_buffer.hpp"

namespace {
using OctetString = MivBufferKind<4>;
}  // namespace

int mivStringRO(const std::uint8_t* oid, int length, MivBuffer* holder) {
  return misExport(oid, length, &OctetString::mivOpsRO, holder);
}

int mivStringRW(const std::uint8_t* oid, int length, MivBuffer* holder) {
  return misExport(oid, length, &OctetString::mivOpsRW, holder);
}
