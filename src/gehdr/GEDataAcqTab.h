#pragma once
// Data acquisition table of a raw header; carried, never read field by field.
#include "gehdr/GESubSec.h"

class GEDataAcqTab : public GESubSecOf<GEDataAcqTab, 2> {
public:
    static constexpr const char* name = "GEDataAcqTab";
    using GESubSecOf::GESubSecOf;
};
