#include "gehdr/GESuiteData.h"

#include "gehdr/GEFieldLayoutData.h"

constinit const std::array<GELayoutFn, 8> GESuiteData::fields = GEMakeFieldList<GESuiteDataLayouts>();
