#include "groups/icmp_vars.hpp"

#include <cstdint>

#include "mib/general.hpp"
#include "mib/mig.hpp"
#include "mib/mis.hpp"

namespace {

constexpr std::uint8_t kIcmpOid[] = {0x2B, 6, 1, 2, 1, 5};
constexpr int kIcmpOidLength = sizeof kIcmpOid;

constexpr ValKind kCounter = ValKind::kCounter;

// Positions are those of kernels whose lines carry no InCsumErrors or rate-limit fields.
constexpr MigObject kIcmpObjects[] = {
    migScalar(1, kCounter, "InMsgs", 1),              // icmpInMsgs
    migScalar(2, kCounter, "InErrors", 2),            // icmpInErrors
    migScalar(3, kCounter, "InDestUnreachs", 3),      // icmpInDestUnreachs
    migScalar(4, kCounter, "InTimeExcds", 4),         // icmpInTimeExcds
    migScalar(5, kCounter, "InParmProbs", 5),         // icmpInParmProbs
    migScalar(6, kCounter, "InSrcQuenchs", 6),        // icmpInSrcQuenchs
    migScalar(7, kCounter, "InRedirects", 7),         // icmpInRedirects
    migScalar(8, kCounter, "InEchos", 8),             // icmpInEchos
    migScalar(9, kCounter, "InEchoReps", 9),          // icmpInEchoReps
    migScalar(10, kCounter, "InTimestamps", 10),      // icmpInTimestamps
    migScalar(11, kCounter, "InTimestampReps", 11),   // icmpInTimestampReps
    migScalar(12, kCounter, "InAddrMasks", 12),       // icmpInAddrMasks
    migScalar(13, kCounter, "InAddrMaskReps", 13),    // icmpInAddrMaskReps
    migScalar(14, kCounter, "OutMsgs", 14),           // icmpOutMsgs
    migScalar(15, kCounter, "OutErrors", 15),         // icmpOutErrors
    migScalar(16, kCounter, "OutDestUnreachs", 16),   // icmpOutDestUnreachs
    migScalar(17, kCounter, "OutTimeExcds", 17),      // icmpOutTimeExcds
    migScalar(18, kCounter, "OutParmProbs", 18),      // icmpOutParmProbs
    migScalar(19, kCounter, "OutSrcQuenchs", 19),     // icmpOutSrcQuenchs
    migScalar(20, kCounter, "OutRedirects", 20),      // icmpOutRedirects
    migScalar(21, kCounter, "OutEchos", 21),          // icmpOutEchos
    migScalar(22, kCounter, "OutEchoReps", 22),       // icmpOutEchoReps
    migScalar(23, kCounter, "OutTimestamps", 23),     // icmpOutTimestamps
    migScalar(24, kCounter, "OutTimestampReps", 24),  // icmpOutTimestampReps
    migScalar(25, kCounter, "OutAddrMasks", 25),      // icmpOutAddrMasks
    migScalar(26, kCounter, "OutAddrMaskReps", 26),   // icmpOutAddrMaskReps
};

constexpr MigGroup kIcmpGroup{kIcmpOid, kIcmpObjects,
                              "Icmp:", "icmpRetrieve() Error opening /proc/net/snmp\n"};
constexpr MixOps icmpOps = GeneralOps(migGroupNext<kIcmpGroup>, migGroupGet<kIcmpGroup>);

}  // namespace

int icmpInit() {
  return misExport(kIcmpOid, kIcmpOidLength, &icmpOps, nullptr);
}
