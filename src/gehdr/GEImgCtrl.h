#pragma once
// Control block of a Genesis image header: the magic word, the header length,
// the image size and where every other block of the header lies.
#include "gehdr/GELayout.h"
#include "gehdr/GESubSec.h"

#include <array>
#include <cstdint>

class GEImgCtrl : public GESubSecOf<GEImgCtrl, 5> {
public:
    static constexpr const char* name = "GEImgCtrl";
    using GESubSecOf::GESubSecOf;

    static const std::array<GELayoutFn, 40> fields;

    // Image size in pixels; -1 when unreadable.
    std::int32_t width() const;
    std::int32_t height() const;

    // Offsets (counted from the start of this block) and lengths of the other
    // blocks of the header; -1 when unreadable.
    std::int32_t p_blk1() const;
    std::int32_t l_blk1() const;
    std::int32_t p_blk2() const;
    std::int32_t l_blk2() const;
    std::int32_t p_blk3() const;
    std::int32_t l_blk3() const;
    std::int32_t p_hist() const;
    std::int32_t l_hist() const;
    std::int32_t p_blk4() const;
    std::int32_t l_blk4() const;
    std::int32_t p_blk5() const;
    std::int32_t l_blk5() const;
    std::int32_t p_blk6() const;
    std::int32_t l_blk6() const;

    // Layout 1 only (-1 for any other key, without reading): file offsets of
    // the suite, exam, series and image blocks, and their lengths, which must
    // equal the block sizes of layout 1 (else a message on stderr and -1).
    std::int32_t p_suite() const;
    std::int32_t p_exam() const;
    std::int32_t p_series() const;
    std::int32_t p_image() const;
    std::int32_t l_suite() const;
    std::int32_t l_exam() const;
    std::int32_t l_series() const;
    std::int32_t l_image() const;

    // Writers of the fields a header sets: fields 0, 5 to 12, 15 to 20 and 23
    // to 29 as 32-bit words, field 14 as a 16-bit word; -1 for other fields.
    int set_field_int(int field, const std::int32_t& value);
    int set_field_short(int field, const std::int16_t& value);

private:
    std::int32_t file_offset(int field) const;
    std::int32_t checked_length(int field, int subsec_key, const char* accessor, const char* block) const;
};
