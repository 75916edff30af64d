// The interfaces group (1.3.6.1.2.1.2): ifNumber and ifTable. The rows are eth0, eth1 and
// eth2 (ifIndex 1 to 3), always, then the serial board's ports (ifIndex 4 on). Nothing is
// kept: every cell reads its sources again.
#pragma once

#include <cstdint>

#include "asn/asn.hpp"

// Fixes ifNumber from the serial port count and registers ifNumber and ifEntry; returns
// misExport's status.
int ifaceInit();
// The cell of ifTable column 1 to 22 for ifIndex ix, read afresh; null for another column.
Asn ifaceRetrieve(int ix, int column);
