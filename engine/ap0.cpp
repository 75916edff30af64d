#include "engine/ap0.hpp"

#include "engine/aps.hpp"

int ap0Init() {
  return apsScheme("trivial", ap0OpVerify, ap0OpEncode, ap0OpDecode);
}

int ap0OpVerify(const Asn&) {
  return 1;
}

Asn ap0OpEncode(int, const Asn& pdu) {
  return asnComponent(pdu, 0);
}

// Component 3 of SEQUENCE { version, community, PDU } is the PDU.
Asn ap0OpDecode(int, const Asn& message) {
  return asnComponent(message, 3);
}
