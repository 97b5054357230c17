#pragma once
// MR image block of a Genesis image header, also embedded in every raw
// header: matrix, field of view, slice geometry, timing and the selected
// spectroscopy volume. Numeric getters return -1 when the block's version
// lacks the field or the block holds no bytes; text getters "Not Defined".
#include "gehdr/GELayout.h"
#include "gehdr/GESubSec.h"

#include <array>
#include <cstdint>
#include <string>

class GEMRImgData : public GESubSecOf<GEMRImgData, 12> {
public:
    static constexpr const char* name = "GEMRImgData";
    using GESubSecOf::GESubSecOf;

    static const std::array<GELayoutFn, 282> fields;

    float slice_thickness() const;  // mm
    std::int16_t image_dim_x() const;
    std::int16_t image_dim_y() const;
    float fov() const;              // mm
    float rect_fov() const;
    float pixel_size_x() const;     // mm
    float pixel_size_y() const;     // mm
    std::int16_t plane() const;
    float field26() const;
    float slice_location() const;   // mm
    float center_x() const;         // mm, scanner coordinates
    float center_y() const;
    float center_z() const;
    float normal_x() const;
    float normal_y() const;
    float normal_z() const;
    float corner1_x() const;        // mm
    float corner1_y() const;
    float corner1_z() const;
    float corner2_x() const;
    float corner2_y() const;
    float corner2_z() const;
    std::int32_t repetition_time() const;  // microseconds
    std::int32_t echo_time() const;        // microseconds
    std::int32_t oblique_plane() const;
    std::string sequence_name() const;        // 33 bytes, raw
    std::string sequence_short_name() const;  // 13 bytes, raw
    float voxel_size_x() const;     // mm
    float voxel_size_y() const;
    float voxel_size_z() const;
    float voxel_center_x() const;   // mm
    float voxel_center_y() const;
    float voxel_center_z() const;
};
