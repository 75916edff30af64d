#include "groups/at_vars.hpp"

#include <array>
#include <cstring>
#include <span>

#include "common/ifq.hpp"
#include "mib/general.hpp"
#include "mib/mis.hpp"
#include "mib/mit.hpp"
#include "mib/val.hpp"

namespace {

// The suffix starts at the column: atEntry itself is registered.
constexpr std::uint8_t kAtEntryOid[] = {0x2B, 6, 1, 2, 1, 3, 1, 1};
constexpr int kAtEntryOidLength = sizeof kAtEntryOid;

std::array<AtInfo, kIfqInterfaces> ipinfo{};

void get_ip_addr_info();

// The index is the interface number, then the address: no address-type arc between.
void atIndex(const AtInfo& row, std::uint32_t* arcs) {
  arcs[0] = row.number;
  idxAddressArcs(row.address, arcs + 1);
}

// Get finds a row by its address alone, the first in interface order; the interface
// number only has to be one of ours.
const AtInfo* findAt(std::span<const AtInfo> rows, const std::uint32_t* arcs, int n) {
  std::uint8_t address[4];
  if (n < 1 || arcs[0] < 1 || arcs[0] > kIfqInterfaces) return nullptr;
  if (!idxAddress(arcs + 1, n - 1, address)) return nullptr;
  for (const AtInfo& row : rows) {
    if (std::memcmp(row.address, address, 4) == 0) return &row;
  }
  return nullptr;
}

constexpr MitSchema<AtInfo> kAtSchema{3, 5, get_ip_addr_info, atIndex, atRetrieve, findAt};
MitRows<AtInfo, kAtSchema> atTable;

void get_ip_addr_info() {
  ipinfo = {};
  IfqSocket socket;
  for (int i = 0; i < kIfqInterfaces; ++i) {
    ipinfo[i].number = static_cast<std::uint8_t>(i + 1);
    if (!socket.valid()) continue;
    socket.address(kIfqNames[i], ipinfo[i].address);
    socket.hardware(kIfqNames[i], ipinfo[i].hardware);
  }
  atTable.rebuild([](MitVector<AtInfo>& rows) { rows.assign(ipinfo.begin(), ipinfo.end()); });
}

constexpr MixOps atOps =
    GeneralOps(mitEntryNext<atTable, kAtEntryOidLength>, mitEntryGet<atTable, kAtEntryOidLength>);

}  // namespace

Asn atRetrieve(const AtInfo& row, int column) {
  switch (column) {
    case 1:  // atIfIndex
      return valUnsigned(row.number);
    case 2:  // atPhysAddress
      return valOctets(row.hardware, sizeof row.hardware);
    case 3:  // atNetAddress
      return valIpAddress(row.address);
  }
  return nullptr;
}

int atInit() {
  return misExport(kAtEntryOid, kAtEntryOidLength, &atOps, nullptr);
}
