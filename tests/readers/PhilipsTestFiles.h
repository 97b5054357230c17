#pragma once
// Builds SPAR/SDAT pairs for the Philips reader tests: SPAR text from key/value lines,
// SDAT samples as VAX F words made from IEEE floats by the inverse of the reader's rule.
#include <complex>
#include <string>
#include <utility>
#include <vector>

namespace vx::test {

// The 4 VAX F bytes of an IEEE float: IEEE bytes c0 c1 c2 c3 (little-endian) become
// c2, c3 + 1, c0, c1 (halves swapped, exponent raised by 2). Zero stays four zero bytes.
std::string VaxBytes(float value);
// SDAT bytes of complex samples, real part first.
std::string SdatBytes(const std::vector<std::complex<float>>& samples);
// SPAR text: "key : value" lines ending in "\r\n".
std::string SparText(const std::vector<std::pair<std::string, std::string>>& lines);
// The header lines of a valid single-voxel file with `points` points, 2000 Hz at
// 127.7 MHz, TE 30 ms, a 20 x 15 x 10 mm box (LR x AP x CC).
std::vector<std::pair<std::string, std::string>> SingleVoxelLines(int points);
// `points` samples of a decaying complex exponential that puts a peak `offsetHz`
// away from the centre of the spectrum.
std::vector<std::complex<float>> Fid(int points, double offsetHz, double bandwidth);

}  // namespace vx::test
