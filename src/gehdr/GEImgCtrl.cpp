#include "gehdr/GEImgCtrl.h"

#include "gehdr/GEFieldLayoutData.h"

#include <iostream>

constinit const std::array<GELayoutFn, 40> GEImgCtrl::fields = GEMakeFieldList<GEImgCtrlLayouts>();

namespace {
using F = GEImgCtrlFields;
// The only layout whose control block gives the data blocks' places.
constexpr int kSelfDescribingKey = 1;
}  // namespace

std::int32_t GEImgCtrl::width() const { return get_int(fields[F::width]); }
std::int32_t GEImgCtrl::height() const { return get_int(fields[F::height]); }
std::int32_t GEImgCtrl::p_blk1() const { return get_int(fields[15]); }
std::int32_t GEImgCtrl::l_blk1() const { return get_int(fields[16]); }
std::int32_t GEImgCtrl::p_blk2() const { return get_int(fields[17]); }
std::int32_t GEImgCtrl::l_blk2() const { return get_int(fields[18]); }
std::int32_t GEImgCtrl::p_blk3() const { return get_int(fields[19]); }
std::int32_t GEImgCtrl::l_blk3() const { return get_int(fields[20]); }
std::int32_t GEImgCtrl::p_hist() const { return get_int(fields[21]); }
std::int32_t GEImgCtrl::l_hist() const { return get_int(fields[22]); }
std::int32_t GEImgCtrl::p_blk4() const { return get_int(fields[23]); }
std::int32_t GEImgCtrl::l_blk4() const { return get_int(fields[24]); }
std::int32_t GEImgCtrl::p_blk5() const { return get_int(fields[25]); }
std::int32_t GEImgCtrl::l_blk5() const { return get_int(fields[26]); }
std::int32_t GEImgCtrl::p_blk6() const { return get_int(fields[30]); }
std::int32_t GEImgCtrl::l_blk6() const { return get_int(fields[31]); }

std::int32_t GEImgCtrl::file_offset(int field) const
{
    return version_key() == kSelfDescribingKey ? get_int(fields[std::size_t(field)]) : -1;
}

std::int32_t GEImgCtrl::p_suite() const { return file_offset(F::p_suite); }
std::int32_t GEImgCtrl::p_exam() const { return file_offset(F::p_exam); }
std::int32_t GEImgCtrl::p_series() const { return file_offset(F::p_series); }
std::int32_t GEImgCtrl::p_image() const { return file_offset(F::p_image); }

std::int32_t GEImgCtrl::checked_length(int field, int subsec_key, const char* accessor,
                                       const char* block) const
{
    if (version_key() != kSelfDescribingKey)
        return -1;
    const std::int32_t n = get_int(fields[std::size_t(field)]);
    const int expected = SubSecSize[std::size_t(subsec_key)].at(kSelfDescribingKey);
    if (n == expected)
        return n;
    std::cerr << "GEImgCtrl::" << accessor << ": " << block << " size from header (" << n
              << ") does not match expected 5x size of " << expected << "\n";
    return -1;
}

std::int32_t GEImgCtrl::l_suite() const { return checked_length(F::l_suite, kSuiteKey, "l_suite", "SuiteData"); }
std::int32_t GEImgCtrl::l_exam() const { return checked_length(F::l_exam, kExamKey, "l_exam", "ExamData"); }
std::int32_t GEImgCtrl::l_series() const
{
    return checked_length(F::l_series, kSeriesKey, "l_series", "SeriesData");
}
std::int32_t GEImgCtrl::l_image() const { return checked_length(F::l_image, kImageKey, "l_image", "MRImgData"); }

int GEImgCtrl::set_field_int(int field, const std::int32_t& value)
{
    const bool writable = field == 0 || (field >= 5 && field <= 12) || (field >= 15 && field <= 20) ||
                          (field >= 23 && field <= 29);
    return writable ? set_int(fields[std::size_t(field)], value) : -1;
}

int GEImgCtrl::set_field_short(int field, const std::int16_t& value)
{
    return field == 14 ? set_short(fields[14], value) : -1;
}
