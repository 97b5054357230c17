#include "model/TIntegralRegion.h"

#include <algorithm>
#include <cstdint>

#include "model/TCSISet.h"
#include "model/TSpectrum.h"

TIntegralRegion::TIntegralRegion(float start, float end, float offset, float slope, float integral,
                                 float normalized, const std::string& name)
    : m_fStart(start),
      m_fEnd(end),
      m_fOffset(offset),
      m_fSlope(slope),
      m_fIntegral(integral),
      m_fNormalized(normalized),
      m_strName(name)
{
}

float TIntegralRegion::Integrate(const TSpectrum* spectrum) const
{
    if (spectrum == nullptr || spectrum->m_pDataSet == nullptr)
        return 0.0f;
    const TCSISet& set = *spectrum->m_pDataSet;
    const int64_t a = set.UnitToPoint(m_fStart, kUnitPPM);
    const int64_t b = set.UnitToPoint(m_fEnd, kUnitPPM);
    const int64_t count = b - a + 1;
    if (count < 1)
        return 0.0f;

    // The straight line over j = 0..count-1 in closed form, so that an interval
    // reaching far beyond the samples costs nothing; points outside the samples
    // have no real part to add.
    const long double n = static_cast<long double>(count);
    long double sum = n * m_fOffset + static_cast<long double>(m_fSlope) * n * (n - 1) / 2;
    const int64_t first = std::max<int64_t>(a, 0);
    const int64_t last = std::min<int64_t>(b, static_cast<int64_t>(spectrum->m_nPoints) - 1);
    for (int64_t i = first; i <= last; ++i)
        sum += spectrum->GetReal(static_cast<int>(i));
    return static_cast<float>(sum);
}
