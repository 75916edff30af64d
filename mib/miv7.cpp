// Scalar object-identifier variables; the holder keeps BER contents bytes.
#include "mib/mis.hpp"
#include "mib/miv_buffer.hpp"

namespace {
using ObjectId = MivBufferKind<6>;
}  // namespace

int mivObjectIdRO(const std::uint8_t* oid, int length, MivBuffer* holder) {
  return misExport(oid, length, &ObjectId::mivOpsRO, holder);
}

int mivObjectIdRW(const std::uint8_t* oid, int length, MivBuffer* holder) {
  return misExport(oid, length, &ObjectId::mivOpsRW, holder);
}
