#pragma once
// Histogram block of a Genesis image header (2068 bytes in every image
// layout). It has field layouts but no field list; only a blank header's
// defaults are ever written into it.
#include "gehdr/GESubSec.h"

#include <cstdint>

class GEHistData : public GESubSecOf<GEHistData, 7> {
public:
    static constexpr const char* name = "GEHistData";
    using GESubSecOf::GESubSecOf;

    // Writers of field 0 (32-bit), field 1 (float) and fields 2 to 7 (16-bit);
    // -1 for any other field.
    int set_field_int(int field, const std::int32_t& value);
    int set_field_float(int field, const float& value);
    int set_field_short(int field, const std::int16_t& value);
};
