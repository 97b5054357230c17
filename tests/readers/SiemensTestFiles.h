#pragma once
// Builds Siemens files for the reader tests from their documented layouts: RDA text headers
// with float64 samples and MAG image headers with their fixed-offset fields.
#include <complex>
#include <string>
#include <utility>
#include <vector>

class TCSISet;
class TSpectrum;

namespace vx::test {

using KeyLines = std::vector<std::pair<std::string, std::string>>;

// The direction vectors, sizes and spacings of an RDA grid.
struct TRDAGrid {
    int matrix[3] = {1, 1, 1};
    double row[3] = {1, 0, 0};
    double column[3] = {0, 1, 0};
    double position[3] = {0, 0, 0};
    double spacingRow = 10, spacingColumn = 10, spacing3D = 10, thickness = 10;
};
// Header lines of a valid file: `points` points, dwell time 500 us (2000 Hz), 123.2 MHz,
// head first supine, and the grid's keys.
KeyLines RDALines(int points, const TRDAGrid& grid);
// A line's value replaced, or the line appended when the key is new.
KeyLines WithKey(KeyLines lines, const std::string& key, const std::string& value);
// The begin line, "key: value" lines and (unless `endLine` is false) the end line, CRLF.
std::string RDAHeader(const KeyLines& lines, bool endLine = true);
// Little-endian float64 (real, imaginary) pairs.
std::string Float64Pairs(const std::vector<std::complex<double>>& samples);
// An undamped line `offsetHz` above the centre of a spectrum 2000 Hz wide.
std::vector<std::complex<double>> RDAFid(int points, double offsetHz, double amplitude = 1.0);

// The point of a spectrum's largest magnitude.
int PeakPoint(const TSpectrum& s);
// The largest magnitude of the set's voxels other than `except`.
float LargestMagnitudeOutside(const TCSISet& set, const TSpectrum* except);

// The 8192 header bytes of a MAG image: "SIEMENS" at 128, the exam and protocol names at
// 468 and 7401, the eleven-byte texts from 7412 on; zero bytes elsewhere.
struct TMAGFields {
    std::string signature = "SIEMENS";
    std::string examName = "HEADEXAM";
    std::string protocol = "t1_se_tra";
    std::string fields[9] = {"TR 500.0", "TE 15.0", "", "", "FOV 230", "M 4*4", "Thk 5.0", "Pos -12.5", "Tra"};
};
std::string MAGHeader(const TMAGFields& f);

}  // namespace vx::test
