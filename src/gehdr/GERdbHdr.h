#pragma once
// First block of every raw (P-file) header: 2048 bytes at file offset 0 whose
// first word, the software revision, identifies the layout. It has field
// layouts but no field list. Every getter returns -1 when the block's
// version lacks the field or the block holds no bytes.
#include "gehdr/GESubSec.h"

#include <cstdint>

class GERdbHdr : public GESubSecOf<GERdbHdr, 0> {
public:
    static constexpr const char* name = "GERdbHdr";
    using GESubSecOf::GESubSecOf;

    std::int16_t field_56() const;       // bit 0 clear: alternate signs along the first in-plane axis
    std::int16_t field_68() const;       // slice count of multi-plane CSI
    std::int16_t frame_count() const;    // frames of a single-voxel acquisition
    std::uint16_t point_count() const;   // complex points per frame
    std::int16_t point_size() const;     // bytes per sample component: 2 or 4
    std::int16_t field_176() const;      // reorientation mode
    std::int16_t field_178() const;      // 0: transpose the in-plane axes
    float field_252() const;             // Hz, spectral width of multi-plane CSI
    float field_256() const;             // matrix size, first in-plane axis
    float field_260() const;             // matrix size, second in-plane axis
    float field_292() const;             // leading frames to skip
    float spectral_width() const;        // Hz
    std::int16_t spatial_dims() const;
    std::int16_t csi_dim_x() const;
    std::int16_t csi_dim_y() const;
    std::int16_t csi_dim_z() const;
    std::int32_t center_freq() const;    // units of 0.1 Hz
    std::int16_t echo_flag() const;      // nonzero: echo in the middle of the acquisition
    float field_868() const;             // in-plane field-of-view ratio
    float field_1000() const;            // nonzero for a multi-plane echo acquisition
    float field_1004() const;            // microseconds
    float field_1016() const;            // points per spectrum
    std::int32_t echo_time() const;      // microseconds
    std::int32_t patient_position() const;  // 1 supine, 2 prone, 4 left, 8 right decubitus
    std::int32_t patient_entry() const;     // 2 feet first, otherwise head first
};
