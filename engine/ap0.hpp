// The scheme "trivial": every message of a known community is accepted and
// the PDU passes unchanged in both directions.
#pragma once

#include "asn/asn.hpp"

int ap0Init();
int ap0OpVerify(const Asn& message);
Asn ap0OpEncode(int user, const Asn& pdu);
Asn ap0OpDecode(int user, const Asn& message);
