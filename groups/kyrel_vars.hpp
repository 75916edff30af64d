// The serial board's ports (the RS-232-like MIB, 1.3.6.1.2.1.10.33). The board's driver
// publishes them in the status file /proc/driver/kyrel: a first line with the port count,
// then one line of thirteen numbers per port. Every cell reads the file again.
#pragma once

#include <cstdint>

#include "asn/asn.hpp"

// A driver that claims more ports has them cut here: ifNumber stays in range and a walk
// stays bounded.
inline constexpr int kKyrelMaxPorts = 256;

// The numbers of a port's line, in the file's order.
enum KyrelField : std::uint8_t {
  kKyrelRxBytes,
  kKyrelTxBytes,
  kKyrelSpeed,
  kKyrelStatus,  // 1: up
  kKyrelType,
  kKyrelBits,
  kKyrelStopBits,
  kKyrelParity,
  kKyrelCts,
  kKyrelDsr,
  kKyrelDcd,
  kKyrelRts,
  kKyrelDtr,
  kKyrelFields
};

// One port's line, each number modulo 2^32; a number not read is 0.
struct KyrelPortInfo {
  std::uint32_t number[kKyrelFields];
};

// The port count of the first line, 0 to kKyrelMaxPorts; 0 when the file or the number
// cannot be read.
int kyrel_get_count();
// The port whose line is line n + 2 of the file (n counted from 0).
void kyrel_get_info(KyrelPortInfo* info, int n);

// Registers rs232Number and the four tables when the file names at least one port; returns
// the last registration's status, 0 when there is nothing to register.
int kyrelInit();

// The cells of port 1 to N, read afresh; null for a column or signal the table lacks. The
// four tables serve their cells through these.
Asn kyrelGenRetrieve(int port, int column);
Asn kyrelAsyncRetrieve(int port, int column);
Asn kyrelInSigRetrieve(int port, int signal, int column);
Asn kyrelOutSigRetrieve(int port, int signal, int column);
