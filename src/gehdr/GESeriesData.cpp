#include "gehdr/GESeriesData.h"

#include "gehdr/GEFieldLayoutData.h"

constinit const std::array<GELayoutFn, 127> GESeriesData::fields = GEMakeFieldList<GESeriesDataLayouts>();

std::string GESeriesData::series_description() const
{
    return get_string(fields[GESeriesDataFields::series_description]);
}

std::string GESeriesData::field18() const { return get_string(fields[18]); }
