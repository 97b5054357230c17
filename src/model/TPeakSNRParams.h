#pragma once
// Windows and factor of the peak-to-noise test of a voxel (TSpectrum::TestPeakSNR).
#include <cstdint>

struct TPeakSNRParams {
    int32_t peakFirst = 0;   // peak window, points, inclusive
    int32_t peakLast = 0;
    int32_t noiseFirst = 0;  // noise window, points, inclusive
    int32_t noiseLast = 0;
    float k = 0.0f;          // the peak must reach the noise mean plus k standard deviations
};
