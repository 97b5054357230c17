#pragma once
// Builds Bruker experiments for the reader tests from the documented layouts: "method",
// "acqp" and "reco" files from key lines, and k-space and spectra of one known line.
#include <complex>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "model/TCSIReadParams.h"
#include "readers/ReaderTestSupport.h"

class TCSISet;

namespace vx::test {

// Lines of a parameter file as (key, rest); an array key's rest is "=( n )", a line end and
// the value line.
using TJcampLines = std::vector<std::pair<std::string, std::string>>;

std::string JcampArray(const std::string& values);
// "##TITLE=Parameter List", then the lines, each ended by `eol`.
std::string JcampText(const TJcampLines& lines, const std::string& eol = "\n");
// The key's rest replaced (appended when absent); an empty rest removes the key.
TJcampLines WithLine(TJcampLines lines, const std::string& key, const std::string& rest);

struct TBrukerCSIScan {
    int dims = 3;
    std::string sliceOrient = "axial";
    std::string readOrient = "L_R";
    int matrix[3] = {8, 8, 8};  // read, phase, slice direction
    int points = 256;
    float offsets[3] = {0, 0, 0};  // read, phase, slice, mm
    float gradient[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    // The set axes of the read, phase and slice directions.
    int ReadAxis() const;
    int SliceAxis() const;
    int PhaseAxis() const { return 3 - ReadAxis() - SliceAxis(); }
};
// FOV 80 x 60 mm (a third value 33 that must be ignored), slab 40 mm, 4000 Hz, TR 1500,
// TE 2.5, 4 averages; `matrixKey` "##$CSITotalMatrix" (fid) or "##$CSIRecoMatrix".
TJcampLines CSIMethodLines(const TBrukerCSIScan& scan, const std::string& matrixKey);
// "##$GRPDLY" only when groupDelay > 0.
// The method of an image scan: axial, read along x, three 4 x 3 slices 5 mm apart,
// offsets 3, -2 and 4 mm, the gradient matrix given row by row.
TJcampLines ImageMethodLines(const std::string& gradient = "1 0 0 0 1 0 0 0 1");
TJcampLines AcqpLines(double frequency, double groupDelay, int decimation, int filterVersion);
TJcampLines RecoLines(const std::string& sizes, const std::string& ftMode, const std::string& imageType);

// The stored k-space line of n points (k = 0 in the middle) that the spatial transform
// (halves swapped, half-voxel ramp on even sizes, forward FFT over n, halves swapped back)
// turns into 1 on voxel u and 0 elsewhere.
std::vector<std::complex<double>> KSpaceLineForVoxel(int n, int u);
// A line that, transformed to the frequency domain (halves swapped) and corrected by the
// group-delay phase about N/2, lies on point `peak` with phase 0; it started `groupDelay`
// points before the first sample. `conjugated` for data whose frequency axis is reversed.
std::vector<std::complex<double>> DelayedLine(int points, int peak, double groupDelay, bool conjugated);
void AppendInt32(std::string& bytes, double value);

// The set holds one line of magnitude `height` (relative 1e-3) and the phase (0 unless given)
// at the voxel and point, and nothing above 1e-3 of it anywhere else.
void ExpectSingleLine(const TCSISet& set, const int voxel[3], int peak, double height, double phase = 0.0);

}  // namespace vx::test
