#include "gehdr/GERdbHdr.h"

#include "gehdr/GEFieldLayoutData.h"

namespace {

using F = GERdbHdrFields;

template <int Field>
constexpr GELayoutFn kRdb = &GEFieldLayoutFn<GERdbHdrLayouts, std::size_t(Field)>;

}  // namespace

std::int16_t GERdbHdr::field_56() const { return get_short(kRdb<F::field_56>); }
std::int16_t GERdbHdr::field_68() const { return get_short(kRdb<F::field_68>); }
std::int16_t GERdbHdr::frame_count() const { return get_short(kRdb<F::frame_count>); }
std::uint16_t GERdbHdr::point_count() const { return get_ushort(kRdb<F::point_count>); }
std::int16_t GERdbHdr::point_size() const { return get_short(kRdb<F::point_size>); }
std::int16_t GERdbHdr::field_176() const { return get_short(kRdb<F::field_176>); }
std::int16_t GERdbHdr::field_178() const { return get_short(kRdb<F::field_178>); }
float GERdbHdr::field_252() const { return get_float(kRdb<F::field_252>); }
float GERdbHdr::field_256() const { return get_float(kRdb<F::field_256>); }
float GERdbHdr::field_260() const { return get_float(kRdb<F::field_260>); }
float GERdbHdr::field_292() const { return get_float(kRdb<F::field_292>); }
float GERdbHdr::spectral_width() const { return get_float(kRdb<F::spectral_width>); }
std::int16_t GERdbHdr::spatial_dims() const { return get_short(kRdb<F::spatial_dims>); }
std::int16_t GERdbHdr::csi_dim_x() const { return get_short(kRdb<F::csi_dim_x>); }
std::int16_t GERdbHdr::csi_dim_y() const { return get_short(kRdb<F::csi_dim_y>); }
std::int16_t GERdbHdr::csi_dim_z() const { return get_short(kRdb<F::csi_dim_z>); }
std::int32_t GERdbHdr::center_freq() const { return get_int(kRdb<F::center_freq>); }
std::int16_t GERdbHdr::echo_flag() const { return get_short(kRdb<F::echo_flag>); }
float GERdbHdr::field_868() const { return get_float(kRdb<F::field_868>); }
float GERdbHdr::field_1000() const { return get_float(kRdb<F::field_1000>); }
float GERdbHdr::field_1004() const { return get_float(kRdb<F::field_1004>); }
float GERdbHdr::field_1016() const { return get_float(kRdb<F::field_1016>); }
std::int32_t GERdbHdr::echo_time() const { return get_int(kRdb<F::echo_time>); }
std::int32_t GERdbHdr::patient_position() const { return get_int(kRdb<F::patient_position>); }
std::int32_t GERdbHdr::patient_entry() const { return get_int(kRdb<F::patient_entry>); }
