#pragma once
// The voxel selection mask file and the k-space sample mask file: text with "\r\n" line
// ends, one line of nx values per grid row (each value followed by one blank), an empty
// line after each slice, rows in y order and slices in z order. The selection mask
// begins with three comment lines and an empty line:
//   #Vexara voxel selection mask file
//   #CSI data set: <name>
//   #dimension : (+nx , +ny , +nz)
// and holds each voxel's selected flag; the k-space mask has no header and holds each
// voxel's sampling flag. Numbers carry their sign ("+0 +1 ").
#include <string>

class TCSISet;

// The whole text of each file for the set.
std::string SelectionMaskText(const TCSISet& set);
std::string KSpaceMaskText(const TCSISet& set);

// Write the file through a temporary file renamed over `path`. False after "Cannot create
// text file " + path + "." when it cannot be written (an old file is then kept).
bool WriteSelectionMask(const TCSISet& set, const std::string& path);
bool WriteKSpaceMask(const TCSISet& set, const std::string& path);

// Reads a selection mask into the selected flags of the set's voxels. The dimension line
// is the first line whose tokens (split at tab, line ends, ",", "(", blank, "#" and ":")
// are exactly four with the first "dimension"; its sizes must be the set's. Then nx*ny*nz
// integers follow, blanks and line ends between them, z slowest and x fastest; a voxel is
// selected when its value is not 0. False, the selection unchanged, after
// "Cannot open text file " + path + "." when the file cannot be read, or after
// "Wrong file format or wrong dimensions." (no icon) when there is no matching dimension
// line or fewer readable values than voxels.
bool ReadSelectionMask(TCSISet& set, const std::string& path);
