// Get, GetNext and Set against the community's MIB index.
#include <cstdint>
#include <utility>

#include "common/nomem.hpp"
#include "common/snmpmib.hpp"
#include "engine/aps.hpp"
#include "engine/smp.hpp"
#include "mib/mis.hpp"

namespace {

void countNoSuchName() {
  snmpCount(snmpInNoSuchNames);
  snmpCount(snmpOutNoSuchNames);
}

// A binding that found no value, or no room for it: genErr when memory ran short on the way,
// for then neither the object's absence nor the reply's size is known.
int unanswered(int status) {
  if (nomemShort) return kSnmpGenErr;
  if (status == kSnmpNoSuchName) {
    countNoSuchName();
  } else {
    snmpCount(snmpOutTooBigs);
  }
  return status;
}

// Memory short while one binding was served: even a value found is no answer, as it may lie
// past an instance that could not be served or in rows that could not all be read.
int served(int status) {
  if (!nomemShort) return status;
  snmpCount(snmpOutGenErrs);
  return kSnmpGenErr;
}

// Walks the bindings of a variable-binding list: a binding's successor lies
// past its descendants.
class BindingWalk {
 public:
  explicit BindingWalk(const Asn& pdu) : list_(asnComponent(pdu, 4)), sons_(asnSons(list_)) {}
  bool more() const { return list_ && position_ <= sons_; }
  Asn take() {
    Asn bind = asnComponent(list_, static_cast<std::uint16_t>(position_));
    position_ += asnSons(bind) + 1;
    return bind;
  }

 private:
  Asn list_;
  int sons_;
  int position_ = 1;
};

// Get and GetNext share everything but how one binding is served.
template <typename Serve>
int readOp(Smp* context, Aps* entry, const Asn& pdu, Serve serve) {
  Asn result = asnSequence(kAsnUniversal, 16, kAsnSequenceOf);
  if (!result) {  // memory short before any binding: genErr, none to blame
    snmpCount(snmpOutGenErrs);
    return smpAnswer(context, entry, pdu, kSnmpGenErr, 0, nullptr);
  }
  Mix* index = misCommunityToMib(entry);
  int status = kSnmpNoError;
  int errorIndex = 1;
  for (BindingWalk walk(pdu); status == kSnmpNoError && walk.more(); ++errorIndex) {
    Asn bind = walk.take();
    nomemShort = false;
    status = served(serve(index, asnComponent(bind, 1), result));
    if (status != kSnmpNoError) break;
  }
  return smpAnswer(context, entry, pdu, status, errorIndex, result);
}

// The binding goes straight into the list: the same bytes and room as smpBuildBind2 and an
// append, without a block of its own.
int appendOrTooBig(const Asn& result, const Asn& name, const Asn& value) {
  if (name && asnAppendPair(result, kAsnUniversal, 16, kAsnSequence, name, value) == 0)
    return kSnmpNoError;
  return unanswered(kSnmpTooBig);
}

}  // namespace

int smpGetOp(Smp* context, Aps* entry, const Asn& pdu) {
  return readOp(context, entry, pdu, [](Mix* index, const Asn& name, const Asn& result) {
    Asn value = mixGet(index, asnValue(name), asnLength(name));
    if (!value) return unanswered(kSnmpNoSuchName);
    return appendOrTooBig(result, name, value);
  });
}

int smpNextOp(Smp* context, Aps* entry, const Asn& pdu) {
  return readOp(context, entry, pdu, [](Mix* index, const Asn& name, const Asn& result) {
    std::uint8_t buffer[kMixOidBuffer];
    int length = asnContents(name, buffer, kMixOidBuffer);
    Asn value = length >= 0 ? mixNext(index, buffer, &length) : nullptr;
    if (!value) return unanswered(kSnmpNoSuchName);
    return appendOrTooBig(result, asnObjectId(kAsnUniversal, 6, buffer, length), value);
  });
}

int smpSetOp(Smp* context, Aps* entry, const Asn& pdu) {
  struct Undo {
    Asn previous;
    const std::uint8_t* name;  // into the request, which outlives the handler
    int length;
  };
  Undo undo[kSmpUndoSlots];
  int done = 0;
  Mix* index = misCommunityToMib(entry);
  int status = kSnmpNoError;
  int errorIndex = 1;
  if (misCommunityToAccess(entry) == 0) {
    status = kSnmpReadOnly;
    snmpCount(snmpInReadOnlys);
  }
  for (BindingWalk walk(pdu); status == kSnmpNoError && done < kSmpUndoSlots && walk.more();) {
    Asn bind = walk.take();
    Asn name = asnComponent(bind, 1);
    Asn value = asnComponent(bind, 2);
    const std::uint8_t* bytes = asnValue(name);
    const int length = asnLength(name);
    nomemShort = false;
    Asn previous = mixGet(index, bytes, length);
    // Without the value as it was the assignment could not be undone.
    if (!previous) {
      status = served(unanswered(kSnmpNoSuchName));
      break;
    }
    status = mixSet(index, bytes, length, value);
    if (status != kSnmpNoError) break;
    undo[done++] = Undo{std::move(previous), bytes, length};
    ++errorIndex;
  }
  // Every slot used: the walk stopped without seeing whether more follow, so the request
  // counts as too big (19 assignments at most) and nothing of it may stay.
  if (status == kSnmpNoError && done == kSmpUndoSlots) {
    status = kSnmpTooBig;
    snmpCount(snmpOutTooBigs);
  }
  while (done > 0) {
    Undo& slot = undo[--done];
    const Asn previous = std::move(slot.previous);  // released at the end of this pass
    if (status != kSnmpNoError) mixSet(index, slot.name, slot.length, previous);
  }
  Asn own = asnComponent(pdu, 4);
  return smpAnswer(context, entry, pdu, status, errorIndex, own);
}
