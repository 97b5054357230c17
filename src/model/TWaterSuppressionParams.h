#pragma once
// Parameters of the water suppression, in the order the step fills and the files keep them.
#include <cstdint>
#include <vector>

struct TWaterSuppressionParams {
    int32_t m_nMethod = 0;          // 0 convolution ("Sodano"), 1 HLSVD
    int32_t m_nWindowLength = 17;   // L, points of the convolution kernel
    int32_t m_nWindowType = 0;      // 0 Gaussian, 1 rectangular, 2 cosine
    float m_fPeakAlignRange = 0.5f; // ppm, half width of the window searched for the water peak
    int32_t m_nPeaks = 15;          // K, model components asked of the HLSVD routine
    float m_fWaterStart = 0.0f;     // Hz
    float m_fWaterEnd = 0.0f;       // Hz
    uint8_t m_bSelectedOnly = 0;    // leave voxels whose selected flag is clear alone
};

// The convolution kernel of 2h + 1 weights, h = ceil((L - 1) / 2), for a window type
// (0 Gaussian, 1 rectangular, 2 cosine; any other type is rectangular) and its
// normaliser (the sum of the weights). A window of length 1 is the single weight 1.
float BuildWaterSuppressionKernel(int length, int windowType, std::vector<float>& kernel);
// The number of weights, 2h + 1, that kernel has; known before any of them is made.
int64_t WaterSuppressionKernelWidth(int length);
