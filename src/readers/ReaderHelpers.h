#pragma once
// Small helpers every CSI reader shares.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class TCSISet;
struct TCSIParams;
struct TCSIReadParams;

// A header value as a 32-bit integer, truncated toward zero; 0 when it is not finite or
// lies outside the int32 range (the set's check then refuses it where 0 is invalid).
int32_t CheckedFloatToInt(double value);

// Spectral width in whole Hz of a dwell time in microseconds: 1000000 / dwell, truncated
// toward zero; 0 for a dwell time of 0 or one whose width does not fit.
int32_t SpectralWidthFromDwell(double dwellMicroseconds);

// Spatial dimensions of a matrix: 3 when no axis has size 1, 2 when one has, else 1.
int SpatialDimsOf(const int dim[3]);

// How the patient lay in the scanner. Every reader stores it the same way: the set's
// m_strPatientOrientation holds head or feet first ("HF", "FF") and its
// m_strPatientPosition the lying position ("Supine", "Prone", "Left-D", "Right-D"), the
// two texts that PatientAxisLabels takes as (position, head/feet).
struct TPatientPosition {
    std::string headFeet = "HF";
    std::string lying = "Supine";
};
// The texts of a position code as scanners write it: "HFS", "HFP", "HFDR", "HFDL" and
// the same with "FF". Any other code gives `unknown` (head first, supine when not given).
TPatientPosition PatientPositionFromCode(const std::string& code, const TPatientPosition& unknown = {});
// Stores both texts into the set's parameters by the convention above.
void SetPatientPosition(TCSIParams& params, const TPatientPosition& position);

// Time-domain spectra to the frequency domain as the readers leave them: the frequency
// axis reversed first when `flipFrequency` is set, then the transform and the swap of the
// spectrum halves. False, samples unchanged, when the FFT refuses the point count (it
// reports that once).
bool SpectraToFrequencyDomain(TCSISet& set, bool flipFrequency);
// The closing steps of a post-read: the axes whose invert flag is set are flipped, then
// FinishSetData.
void FinishPostRead(TCSISet& set, const TCSIReadParams& params);

// A new set of the format for a data file: named after the file without its folder and
// extension, the path kept as its source, sliced along z.
std::unique_ptr<TCSISet> NewSetForFile(const std::string& path, int format);
// The file name's extension, lower-cased, equals `extension` (".rda").
bool HasExtensionNoCase(const std::string& path, const char* extension);
// Spectra stored with the first in-plane axis of the slice axis fastest, then the second,
// then the slice axis.
void SetSliceAxisOrder(TCSIReadParams& params, int sliceAxis);
// Slices one voxel thick along the slice axis, without gaps; the sizes must be valid. A
// slice axis outside 0..2 changes nothing.
void SetSliceThicknessFromGrid(TCSISet& set);

// What a header parse starts from: FOV 240 mm and matrix size 1 on every axis, no
// localisation box, no echo shift.
void ResetHeaderDefaults(TCSISet& set);

// A name made of the last `count` components of a path, joined by "_": the text after
// the count-th last separator ("/" or "\"), after the first separator when the path has
// fewer, the whole path when it has none; always one sanitised file-name component
// ("study/5/fid" with count 3 gives "study_5_fid").
std::string NameFromLastComponents(const std::string& path, int count);

// The voxels renumbered, the data range renewed and, when asked, the largest magnitude
// scaled to 1000.
void FinishSetData(TCSISet& set, bool normalize);

// A k-space grid of a 2-D or 3-D set to voxel space: every spatial axis shifted by half
// its length (inverse direction), the half-voxel phase ramp, the signs alternated along
// the first in-plane axis, the second and the slice axis where `alternate` says so (the
// slice axis only for 3-D sets), the spatial FFT, and the k-space flag cleared. A set of
// any other dimension count is left alone. False when the FFT refuses an axis length
// (reported there once); the set is then half transformed and must be dropped.
bool KSpaceGridToVoxelSpace(TCSISet& set, const bool alternate[3]);

// `count` IEEE 754 single-precision values stored little-endian at `bytes`, decoded into
// the host's floats whatever its byte order.
void DecodeFloat32LE(const unsigned char* bytes, size_t count, float* out);
