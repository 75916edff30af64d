// The ICMP group (1.3.6.1.2.1.5): the kernel's ICMP counters.
#pragma once

int icmpInit();  // registers the group; misExport's status
