#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model/TCSISet.h"
#include "model/TIntegralRegion.h"
#include "model/TSpectrum.h"

namespace {

// 100 points over 1000 Hz at 100 MHz with 0 ppm at point 50: ppm p lies at point
// 50 - 10 p, so 2 ppm is point 30 and 1 ppm point 40.
struct TFixture {
    TCSISet set;
    TSpectrum spectrum;
    std::vector<float> real;

    TFixture()
    {
        set.m_nSpectralWidth = 1000;
        set.m_fFrequency = 100.0f;
        set.m_fPPMCentrePoint = 50.0f;
        set.m_nPoints = 100;
        std::vector<TComplex> samples;
        for (int i = 0; i < 100; ++i) {
            real.push_back(std::sin(0.3f * i) * 10.0f + 0.01f * i * i);
            samples.emplace_back(real.back(), 100.0f + i);  // imaginary parts must not count
        }
        spectrum.m_nPoints = 100;
        spectrum.m_pDataSet = &set;
        spectrum.SetComplexData(samples.data());
    }

    // The documented sum, point by point, in double; no real part outside the samples.
    double Reference(int a, int b, double offset, double slope) const
    {
        double sum = 0.0;
        for (int j = 0; j <= b - a; ++j) {
            const int i = a + j;
            sum += (i >= 0 && i < 100 ? real[i] : 0.0) + j * slope + offset;
        }
        return sum;
    }
};

}  // namespace

TEST(IntegralRegion, SumsTheRealPartsOverTheInterval)
{
    TFixture f;
    const TIntegralRegion plain(2.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, "NAA");
    EXPECT_NEAR(plain.Integrate(&f.spectrum), f.Reference(30, 40, 0, 0), 1e-4);
    EXPECT_EQ(plain.m_strName, "NAA");

    const TIntegralRegion corrected(2.0f, 1.0f, 1.5f, 0.25f, 7.0f, 8.0f, "Cho");
    EXPECT_NEAR(corrected.Integrate(&f.spectrum), f.Reference(30, 40, 1.5, 0.25), 1e-4);
    // Offset and slope add 11 * 1.5 + 0.25 * (0 + 1 + ... + 10) to the plain sum.
    EXPECT_NEAR(corrected.Integrate(&f.spectrum) - plain.Integrate(&f.spectrum), 16.5 + 13.75, 1e-4);

    // Ends that fall between points go to the nearest points: 2.04 ppm is 29.6, 0.96 ppm 40.4.
    const TIntegralRegion fractional(2.04f, 0.96f, -0.5f, 0.1f, 0.0f, 0.0f, "x");
    EXPECT_NEAR(fractional.Integrate(&f.spectrum), f.Reference(30, 40, -0.5, 0.1), 1e-4);
}

TEST(IntegralRegion, OnePointAndEmptyIntervals)
{
    TFixture f;
    const TIntegralRegion one(2.0f, 2.0f, 3.0f, 100.0f, 0.0f, 0.0f, "one");
    EXPECT_NEAR(one.Integrate(&f.spectrum), f.real[30] + 3.0, 1e-5);

    // End one point before the start: no points.
    const TIntegralRegion none(2.0f, 2.1f, 3.0f, 1.0f, 0.0f, 0.0f, "none");
    EXPECT_EQ(none.Integrate(&f.spectrum), 0.0f);
    // Further back still: not refused, but nothing to sum either.
    const TIntegralRegion reversed(1.0f, 2.0f, 3.0f, 1.0f, 0.0f, 0.0f, "reversed");
    EXPECT_EQ(reversed.Integrate(&f.spectrum), 0.0f);
}

TEST(IntegralRegion, WithoutSpectrumOrSetGivesZero)
{
    TFixture f;
    const TIntegralRegion r(2.0f, 1.0f, 1.0f, 1.0f, 0.0f, 0.0f, "r");
    EXPECT_EQ(r.Integrate(nullptr), 0.0f);
    f.spectrum.m_pDataSet = nullptr;
    EXPECT_EQ(r.Integrate(&f.spectrum), 0.0f);
}

TEST(IntegralRegion, IntervalBeyondTheSamplesReadsNothingOutside)
{
    TFixture f;
    // 1 ppm .. -10 ppm is points 40 .. 150; the spectrum ends at 99.
    const TIntegralRegion wide(1.0f, -10.0f, 0.5f, 0.01f, 0.0f, 0.0f, "wide");
    EXPECT_NEAR(wide.Integrate(&f.spectrum), f.Reference(40, 150, 0.5, 0.01), 1e-3);
    // 8 ppm .. 2 ppm is points -30 .. 30.
    const TIntegralRegion before(8.0f, 2.0f, 0.0f, 0.0f, 0.0f, 0.0f, "before");
    EXPECT_NEAR(before.Integrate(&f.spectrum), f.Reference(-30, 30, 0, 0), 1e-3);

    // A spectrum whose samples are gone adds only the straight line.
    f.spectrum.FreeData();
    const TIntegralRegion line(2.0f, 1.0f, 2.0f, 1.0f, 0.0f, 0.0f, "line");
    EXPECT_NEAR(line.Integrate(&f.spectrum), 11 * 2.0 + 55.0, 1e-4);
}
