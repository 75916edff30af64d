// The object registry: the agent's one MIB index and the community's view of it.
#pragma once

#include <cstdint>

#include "mib/mix.hpp"

struct Aps;  // community entry (engine); only passed through, never looked into

Mix* misInit();
int misExport(const std::uint8_t* oid, int length, const MixOps* operations, void* object);
Mix* misCommunityToMib(const Aps* entry);
int misCommunityToAccess(const Aps* entry);
