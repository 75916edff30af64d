#include "mib/mis.hpp"

namespace {

MixIndex misTree;
int misAccess = 0;  // 1: read-write

}  // namespace

// Runs once at start-up before any module registers. A later call starts a
// fresh, empty index and releases the old one with its registrations.
Mix* misInit() {
  misAccess = 1;
  misTree.reset(mixNew());
  return misTree.get();
}

int misExport(const std::uint8_t* oid, int length, const MixOps* operations, void* object) {
  Asn carrier = mixValue(operations, object);
  if (!carrier) return 1;
  return mixCreate(misTree.get(), oid, length, carrier) == 0 ? 0 : 1;
}

Mix* misCommunityToMib(const Aps*) {
  return misTree.get();
}

int misCommunityToAccess(const Aps*) {
  return misAccess;
}
