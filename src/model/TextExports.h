#pragma once
// Text and binary exports of a CSI set's maps and voxels. Text is written with "\r\n" line
// ends; numbers as a stream with its show-sign and show-point flags writes them ("+1",
// "+1.50000"), counts and map sizes without a sign. Every file goes through a temporary
// file renamed over the target, so a failed export leaves an old file as it was.
#include <string>
#include <vector>

class TCSISet;
class TMap;
class TSpectrum;

// The map tables, one block per map numbered from 1: an empty line, "Map k", the name,
// the peak interval in ppm (2 decimals), the sizes, the quantification method, an empty
// line, the column titles and one line per voxel, x slowest and z fastest:
// "(x,y,z) \t" real, imaginary and magnitude separated by tabs.
std::string MapTablesText(const std::vector<const TMap*>& maps);
// False after "Cannot create Txt File" + path when the file cannot be written.
bool WriteMapTables(const std::vector<const TMap*>& maps, const std::string& path);

// The selected voxels of the set, z slowest and x fastest.
std::vector<const TSpectrum*> SelectedVoxels(const TCSISet& set);

// The voxel export for points first..last (the range kept inside the set's spectra): a
// header naming the set, the count, the points and each voxel's x y z, then per voxel one
// "real\timaginary" line per point.
std::string VoxelExportText(const TCSISet& set, const std::vector<const TSpectrum*>& voxels, int first, int last);
// Writes it to `path`, replacing the file or, with `append`, after its old content. False
// after "Cannot create file " + path + "." when the file cannot be written.
bool WriteVoxelText(const TCSISet& set, const std::vector<const TSpectrum*>& voxels, int first, int last,
                    const std::string& path, bool append);
// The same points as raw little-endian 32-bit floats, real and imaginary, voxel after
// voxel, without a header; replaces the file.
bool WriteVoxelBinary(const TCSISet& set, const std::vector<const TSpectrum*>& voxels, int first, int last,
                      const std::string& path);
