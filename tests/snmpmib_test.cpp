#include "common/snmpmib.hpp"

#include <gtest/gtest.h>

TEST(SnmpMib, CounterWrapsModulo2To32) {
  SnmpMib[snmpOutPkts] = 0xFFFFFFFFu;
  snmpCount(snmpOutPkts);
  EXPECT_EQ(SnmpMib[snmpOutPkts], 0u);
  snmpCount(snmpOutPkts);
  EXPECT_EQ(SnmpMib[snmpOutPkts], 1u);
}
