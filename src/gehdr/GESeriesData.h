#pragma once
// Series block of a Genesis image header, also embedded in every raw header.
#include "gehdr/GELayout.h"
#include "gehdr/GESubSec.h"

#include <array>
#include <string>

class GESeriesData : public GESubSecOf<GESeriesData, 11> {
public:
    static constexpr const char* name = "GESeriesData";
    using GESubSecOf::GESubSecOf;

    static const std::array<GELayoutFn, 127> fields;

    // Raw field bytes (clean with GEcleanstr for display); "Not Defined"
    // when absent.
    std::string series_description() const;  // field 7: 30 or 65 bytes
    std::string field18() const;              // field 18: 25 bytes
};
