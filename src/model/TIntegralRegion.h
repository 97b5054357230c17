#pragma once
// A named interval of the ppm axis with a straight-line correction, summed over the
// real parts of one spectrum at a time.
#include <string>

class TSpectrum;

class TIntegralRegion {
public:
    TIntegralRegion(float start, float end, float offset, float slope, float integral, float normalized,
                    const std::string& name);
    virtual ~TIntegralRegion() = default;

    // Sum over the points a..b of the interval (a from the start, b from the end, by
    // the owning set's ppm scale) of real part + j * slope + offset, j counting from
    // 0 at a. 0 for a null spectrum, one without a set, or an empty interval.
    float Integrate(const TSpectrum* spectrum) const;

    float m_fStart;       // ppm, the end with the lower point index
    float m_fEnd;         // ppm
    float m_fOffset;      // added at every point
    float m_fSlope;       // added times the point's position in the interval
    float m_fIntegral;    // kept for the owner; not used here
    float m_fNormalized;  // kept for the owner; not used here
    std::string m_strName;
};
