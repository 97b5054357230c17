#include "gehdr/GEMRImgData.h"

#include "gehdr/GEFieldLayoutData.h"

constinit const std::array<GELayoutFn, 282> GEMRImgData::fields = GEMakeFieldList<GEMRImgDataLayouts>();

namespace {
using F = GEMRImgDataFields;
}  // namespace

float GEMRImgData::slice_thickness() const { return get_float(fields[F::slice_thickness]); }
std::int16_t GEMRImgData::image_dim_x() const { return get_short(fields[F::image_dim_x]); }
std::int16_t GEMRImgData::image_dim_y() const { return get_short(fields[F::image_dim_y]); }
float GEMRImgData::fov() const { return get_float(fields[F::fov]); }
float GEMRImgData::rect_fov() const { return get_float(fields[F::rect_fov]); }
float GEMRImgData::pixel_size_x() const { return get_float(fields[F::pixel_size_x]); }
float GEMRImgData::pixel_size_y() const { return get_float(fields[F::pixel_size_y]); }
std::int16_t GEMRImgData::plane() const { return get_short(fields[F::plane]); }
float GEMRImgData::field26() const { return get_float(fields[26]); }
float GEMRImgData::slice_location() const { return get_float(fields[F::slice_location]); }
float GEMRImgData::center_x() const { return get_float(fields[F::center_x]); }
float GEMRImgData::center_y() const { return get_float(fields[F::center_y]); }
float GEMRImgData::center_z() const { return get_float(fields[F::center_z]); }
float GEMRImgData::normal_x() const { return get_float(fields[F::normal_x]); }
float GEMRImgData::normal_y() const { return get_float(fields[F::normal_y]); }
float GEMRImgData::normal_z() const { return get_float(fields[F::normal_z]); }
float GEMRImgData::corner1_x() const { return get_float(fields[F::corner1_x]); }
float GEMRImgData::corner1_y() const { return get_float(fields[F::corner1_y]); }
float GEMRImgData::corner1_z() const { return get_float(fields[F::corner1_z]); }
float GEMRImgData::corner2_x() const { return get_float(fields[F::corner2_x]); }
float GEMRImgData::corner2_y() const { return get_float(fields[F::corner2_y]); }
float GEMRImgData::corner2_z() const { return get_float(fields[F::corner2_z]); }
std::int32_t GEMRImgData::repetition_time() const { return get_int(fields[F::repetition_time]); }
std::int32_t GEMRImgData::echo_time() const { return get_int(fields[F::echo_time]); }
std::int32_t GEMRImgData::oblique_plane() const { return get_int(fields[F::oblique_plane]); }
std::string GEMRImgData::sequence_name() const { return get_string(fields[F::sequence_name]); }
std::string GEMRImgData::sequence_short_name() const { return get_string(fields[F::sequence_short_name]); }
float GEMRImgData::voxel_size_x() const { return get_float(fields[F::voxel_size_x]); }
float GEMRImgData::voxel_size_y() const { return get_float(fields[F::voxel_size_y]); }
float GEMRImgData::voxel_size_z() const { return get_float(fields[F::voxel_size_z]); }
float GEMRImgData::voxel_center_x() const { return get_float(fields[F::voxel_center_x]); }
float GEMRImgData::voxel_center_y() const { return get_float(fields[F::voxel_center_y]); }
float GEMRImgData::voxel_center_z() const { return get_float(fields[F::voxel_center_z]); }
