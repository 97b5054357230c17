#include "gehdr/GEHistData.h"

#include "gehdr/GEFieldLayoutData.h"

namespace {

template <std::size_t Field>
constexpr GELayoutFn kHist = &GEFieldLayoutFn<GEHistDataLayouts, Field>;

}  // namespace

int GEHistData::set_field_int(int field, const std::int32_t& value)
{
    return field == 0 ? set_int(kHist<0>, value) : -1;
}

int GEHistData::set_field_float(int field, const float& value)
{
    return field == 1 ? set_float(kHist<1>, value) : -1;
}

int GEHistData::set_field_short(int field, const std::int16_t& value)
{
    static constexpr GELayoutFn shorts[] = {kHist<2>, kHist<3>, kHist<4>, kHist<5>, kHist<6>, kHist<7>};
    return field >= 2 && field <= 7 ? set_short(shorts[field - 2], value) : -1;
}
