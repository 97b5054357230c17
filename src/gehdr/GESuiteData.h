#pragma once
// Suite block of a Genesis image header; carried whole, no field is read.
#include "gehdr/GELayout.h"
#include "gehdr/GESubSec.h"

#include <array>

class GESuiteData : public GESubSecOf<GESuiteData, 8> {
public:
    static constexpr const char* name = "GESuiteData";
    using GESubSecOf::GESubSecOf;

    static const std::array<GELayoutFn, 8> fields;
};
