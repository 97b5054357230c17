#include "gehdr/GEExamData.h"

#include "gehdr/GEFieldLayoutData.h"

constinit const std::array<GELayoutFn, 73> GEExamData::fields = GEMakeFieldList<GEExamDataLayouts>();

std::uint16_t GEExamData::exam_number() const { return get_ushort(fields[GEExamDataFields::exam_number]); }
std::int32_t GEExamData::exam_time() const { return get_int(fields[GEExamDataFields::exam_time]); }
std::string GEExamData::sw_version() const { return get_string(fields[GEExamDataFields::sw_version]); }
