#pragma once
// Builds the files of the Philips CSI formats from their documented layouts: SPAR text,
// SDAT files of VAX floats (one file, or one per slice or partition), LIST text with its
// DATA file of IEEE floats, and PAR text. The samples hold one spectral line in one
// voxel: k-space samples are a plane wave whose transform puts the line in that voxel.
#include <complex>
#include <string>
#include <utility>
#include <vector>

namespace vx::test {

using TLines = std::vector<std::pair<std::string, std::string>>;

// One synthetic acquisition. Sizes and the line's position are given along the axes of
// the file: the first and second in-plane axes of the slice axis, then the slice axis.
struct TCSIScan {
    int sliceAxis = 2;            // 0 sagittal, 1 coronal, 2 transverse
    int n[3] = {6, 4, 3};         // matrix along a, b, s
    int line[3] = {1, 2, 0};      // grid position of the line along a, b, s after reconstruction
    int points = 64;
    double bandwidth = 2000.0;    // Hz
    double offsetHz = 250.0;      // the line's distance from the centre of the spectrum
    int dims = 2;                 // spatial dimensions the SPAR and LIST files state
    bool kSpace[3] = {true, true, false};     // axes the samples are Fourier-encoded along
    bool halfVoxel[3] = {false, false, false};  // axes whose acquired grid lies half a voxel off
};

// The spectrum of grid position p (along a, b, s) as the file holds it.
std::vector<std::complex<float>> ScanSpectrum(const TCSIScan& scan, const int p[3]);
// Spectra p[2] = first .. last - 1 along s, a fastest, then b, then s.
std::vector<std::complex<float>> ScanSlices(const TCSIScan& scan, int first, int last);

// SPAR lines of the scan: points, frequencies, direction, matrix, dimensions, slices.
TLines CSISparLines(const TCSIScan& scan);
// IEEE little-endian bytes of complex samples.
std::string DataBytes(const std::vector<std::complex<float>>& samples);
// LIST text for the scan whose data vectors hold the given positions (a, b, s) in that
// order; the first vector's offset is `dataOffset`; release "release.1.2".
std::string ListText(const TCSIScan& scan, const std::vector<std::vector<int>>& positions, int dataOffset,
                     int release = 9);
// The blank-separated words of a LIST line.
std::vector<std::string> ListWords(const std::string& line);
// Every grid position of the scan, in an order that is not the file's raster order.
std::vector<std::vector<int>> ShuffledPositions(const TCSIScan& scan);
// The scan of a CSI format (2 .. 10: single slices, stacks and volumes of the pre-R11, R11
// and R2 releases): k-space along the encoded axes (pre-R11 grids and volumes half a voxel
// off), one slice for the single-slice formats, an even partition count for the pre-R11
// volume and an odd one for the others.
TCSIScan ScanFor(int format, int sliceAxis);
// The general-information lines of the PAR file of a scan of that many slices, unangulated.
TLines ParLines(int slices);
// A version 4 PAR text with the general-information lines given as (label, values) and
// the image lines as they are.
std::string ParText(const TLines& general, const std::vector<std::string>& imageLines = {},
                    const std::string& version = "V4");

}  // namespace vx::test
