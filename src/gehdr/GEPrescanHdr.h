#pragma once
// Prescan block of a raw header: empty before raw key 10, 1500 bytes in it.
#include "gehdr/GESubSec.h"

class GEPrescanHdr : public GESubSecOf<GEPrescanHdr, 9> {
public:
    static constexpr const char* name = "GEPrescanHdr";
    using GESubSecOf::GESubSecOf;
};
