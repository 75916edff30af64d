// The ICMP group (1.3.6.1.2.1.5): the kernel's ICMP counters.
#pragma once

#include <cstdint>

#include "asn/asn.hpp"
#include "mib/mig.hpp"

int icmpInit();  // registers the group; misExport's status
Asn icmpGet(void* object, const std::uint8_t* suffix, int length);
Asn icmpNext(void* object, std::uint8_t* suffix, int* length);
Asn icmpRetrieve(const MigObject& object);  // a counter, read afresh; null for none
