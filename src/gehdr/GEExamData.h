#pragma once
// Exam block of a Genesis image header, also embedded in every raw header
// under the raw layout's image partner key.
#include "gehdr/GELayout.h"
#include "gehdr/GESubSec.h"

#include <array>
#include <cstdint>
#include <string>

class GEExamData : public GESubSecOf<GEExamData, 10> {
public:
    static constexpr const char* name = "GEExamData";
    using GESubSecOf::GESubSecOf;

    static const std::array<GELayoutFn, 73> fields;

    std::uint16_t exam_number() const;  // 65535 when absent or unreadable
    std::int32_t exam_time() const;     // seconds since 1970; -1 when absent
    std::string sw_version() const;     // 2 characters, raw; "Not Defined" when absent
};
