#pragma once
// The display block the project keeps and hands to every spectrum view and CSI grid.
#include <cstdint>

struct TSpectrumDisplayParams {
    // Flag bits: grid lines, then the part of the samples drawn. The three part bits
    // (magnitude, imaginary, real) are exclusive.
    static constexpr int32_t kGrid = 1;
    static constexpr int32_t kMagnitude = 2;
    static constexpr int32_t kImaginary = 4;
    static constexpr int32_t kReal = 8;
    static constexpr int32_t kPartBits = kMagnitude | kImaginary | kReal;

    int32_t m_nFlags = kGrid | kReal;
    float m_fYMax = 0;      // amplitude at the top of a plot
    float m_fYMin = 0;      // amplitude at the bottom
    int32_t m_nXStart = 0;  // first spectrum point shown
    int32_t m_nXEnd = 0;    // last spectrum point shown

    bool operator==(const TSpectrumDisplayParams&) const = default;
};
