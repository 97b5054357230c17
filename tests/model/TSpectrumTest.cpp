#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/math/TPoint2D.h"
#include "model/TSpectrum.h"

namespace {

// A spectrum of the given samples, owning them.
TSpectrum Make(const std::vector<TComplex>& samples)
{
    TSpectrum s;
    s.m_nPoints = static_cast<int>(samples.size());
    s.SetComplexData(samples.data());
    return s;
}

std::vector<TComplex> Samples(const TSpectrum& s)
{
    std::vector<TComplex> out;
    for (int i = 0; i < s.m_nPoints; ++i)
        out.emplace_back(s.GetReal(i), s.GetImag(i));
    return out;
}

}  // namespace

TEST(Spectrum, WithoutSamplesEveryReadIsEmpty)
{
    TSpectrum s;
    EXPECT_FALSE(s.HasData());
    EXPECT_EQ(s.m_bSelected, 0);
    EXPECT_EQ(s.m_bMark, 0);
    EXPECT_EQ(s.m_bAveraged, 0);
    s.m_nPoints = 8;
    EXPECT_EQ(s.GetReal(0), 0.0f);
    EXPECT_EQ(s.GetImag(3), 0.0f);
    EXPECT_EQ(s.GetMagnitude(7), 0.0f);
    EXPECT_EQ(s.GetRealRange(0, 3), nullptr);
    EXPECT_EQ(s.GetImagRange(0, 3), nullptr);
    EXPECT_EQ(s.GetMagnitudeRange(0, 3), nullptr);
    s.CircularShift(3);  // nothing to shift, must not touch memory
    s.FFTShift();
    s.UpdateRange();
    EXPECT_EQ(s.m_fMagnitudeMax, 0.0f);
    EXPECT_FALSE(s.HasData());
}

TEST(Spectrum, PartsRangesAndMagnitudes)
{
    TSpectrum s = Make({{3, 4}, {-1, 2}, {0.5f, -6}, {2, 0}});
    EXPECT_FLOAT_EQ(s.GetReal(1), -1.0f);
    EXPECT_FLOAT_EQ(s.GetImag(2), -6.0f);
    EXPECT_FLOAT_EQ(s.GetMagnitude(0), 5.0f);
    EXPECT_EQ(s.GetReal(4), 0.0f) << "past the last point reads as 0";
    EXPECT_EQ(s.GetReal(-1), 0.0f);

    auto re = s.GetRealRange(1, 3);
    ASSERT_NE(re, nullptr);
    EXPECT_FLOAT_EQ(re[0], -1.0f);
    EXPECT_FLOAT_EQ(re[2], 2.0f);
    auto mag = s.GetMagnitudeRange(0, 0);
    EXPECT_FLOAT_EQ(mag[0], 5.0f);

    EXPECT_FLOAT_EQ(s.GetMaxMagnitude(), std::sqrt(0.25f + 36.0f));
    s.UpdateRange();
    EXPECT_FLOAT_EQ(s.m_fRealMax, 3.0f);
    EXPECT_FLOAT_EQ(s.m_fRealMin, -1.0f);
    EXPECT_FLOAT_EQ(s.m_fImagMax, 4.0f);
    EXPECT_FLOAT_EQ(s.m_fImagMin, -6.0f);
    EXPECT_FLOAT_EQ(s.m_fMagnitudeMax, std::sqrt(36.25f));

    const TComplex mean = s.AverageRange(1, 2);
    EXPECT_FLOAT_EQ(mean.real(), -0.25f);
    EXPECT_FLOAT_EQ(mean.imag(), -2.0f);
}

// The ranges against a plain loop over the samples for every length up to 40 with the
// extremes at every place (any lane and the tail of the vectorised loop), and NaNs: a
// NaN first sample gives NaN ranges, later ones are passed over.
TEST(Spectrum, RangesMatchAPlainLoopWhereverTheExtremesSit)
{
    const float nan = std::nanf("");
    for (int n = 1; n <= 40; ++n)
        for (int at = 0; at < n; ++at) {
            std::vector<TComplex> x;
            for (int i = 0; i < n; ++i)
                x.emplace_back(0.25f * static_cast<float>((i * 7) % 5) - 0.5f, 0.5f - 0.125f * static_cast<float>(i % 3));
            x[static_cast<size_t>(at)] = TComplex(at % 2 ? 40.0f : -40.0f, at % 3 ? 30.0f : -30.0f);
            if (at + 1 < n)
                x[static_cast<size_t>(at + 1)] = TComplex(nan, nan);
            TSpectrum s = Make(x);
            s.UpdateRange();
            float reMax = x[0].real(), reMin = reMax, imMax = x[0].imag(), imMin = imMax;
            double magMax = std::norm(std::complex<double>(x[0]));
            for (const TComplex& c : x) {
                if (std::isnan(c.real()))
                    continue;
                reMax = std::max(reMax, c.real());
                reMin = std::min(reMin, c.real());
                imMax = std::max(imMax, c.imag());
                imMin = std::min(imMin, c.imag());
                magMax = std::max(magMax, std::norm(std::complex<double>(c)));
            }
            const std::string where = "n " + std::to_string(n) + ", at " + std::to_string(at);
            EXPECT_EQ(s.m_fRealMax, reMax) << where;
            EXPECT_EQ(s.m_fRealMin, reMin) << where;
            EXPECT_EQ(s.m_fImagMax, imMax) << where;
            EXPECT_EQ(s.m_fImagMin, imMin) << where;
            EXPECT_EQ(s.m_fMagnitudeMax, static_cast<float>(std::sqrt(magMax))) << where;
        }
    TSpectrum first = Make({{nan, nan}, {1, 2}, {3, 4}, {5, 6}, {7, 8}, {9, 10}, {11, 12}, {13, 14}, {15, 16}, {17, 18}});
    first.UpdateRange();
    EXPECT_TRUE(std::isnan(first.m_fRealMax));
    EXPECT_TRUE(std::isnan(first.m_fImagMin));
    EXPECT_TRUE(std::isnan(first.m_fMagnitudeMax));
}

TEST(Spectrum, SetDataTakesInterleavedPairsAndOwnsACopy)
{
    std::vector<float> pairs = {1, 2, 3, 4, 5, 6};
    TSpectrum s;
    s.m_nPoints = 3;
    s.SetData(pairs.data());
    pairs[0] = 99;  // the spectrum has its own copy
    EXPECT_TRUE(s.HasData());
    EXPECT_EQ(Samples(s), (std::vector<TComplex>{{1, 2}, {3, 4}, {5, 6}}));
    s.FreeData();
    EXPECT_FALSE(s.HasData());
    EXPECT_EQ(s.GetReal(0), 0.0f);
}

TEST(Spectrum, AssignmentCopiesParametersAndSamplesButNotSelectionFlags)
{
    TSpectrum a = Make({{1, 1}, {2, 2}});
    a.m_nX = 3;
    a.m_nY = 4;
    a.m_nZ = 5;
    a.m_bShown = 1;
    a.m_bSelected = 1;
    a.m_bMark = 1;
    a.m_bAveraged = 1;
    a.m_fCentre[1] = 7.5f;

    TSpectrum b;
    b = a;
    EXPECT_EQ(b.m_nX, 3);
    EXPECT_EQ(b.m_nZ, 5);
    EXPECT_EQ(b.m_bShown, 1);
    EXPECT_EQ(b.m_fCentre[1], 7.5f);
    EXPECT_EQ(b.m_bSelected, 0);
    EXPECT_EQ(b.m_bMark, 0);
    EXPECT_EQ(b.m_bAveraged, 0);
    ASSERT_TRUE(b.HasData());
    EXPECT_NE(b.Data(), a.Data()) << "a deep copy";
    EXPECT_EQ(Samples(b), Samples(a));

    // Self-assignment keeps everything.
    TSpectrum& alias = a;
    a = alias;
    EXPECT_TRUE(a.HasData());
    EXPECT_EQ(Samples(a), (std::vector<TComplex>{{1, 1}, {2, 2}}));
    EXPECT_EQ(a.m_bSelected, 1);

    // A source without samples: the old samples are freed, none copied.
    TSpectrum source;
    source.m_nPoints = 16;
    source.m_nY = 2;
    b = source;
    EXPECT_FALSE(b.HasData());
    EXPECT_EQ(b.m_nPoints, 16);
    EXPECT_EQ(b.m_nY, 2);
}

TEST(Spectrum, FFTShiftSwapsHalvesAndLeavesTheLastOfAnOddLength)
{
    TSpectrum even = Make({{0, 0}, {1, 0}, {2, 0}, {3, 0}});
    even.FFTShift();
    EXPECT_EQ(Samples(even), (std::vector<TComplex>{{2, 0}, {3, 0}, {0, 0}, {1, 0}}));

    TSpectrum odd = Make({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}});
    odd.FFTShift();  // [a b c d e] -> [c d a b e]
    EXPECT_EQ(Samples(odd), (std::vector<TComplex>{{2, 0}, {3, 0}, {0, 0}, {1, 0}, {4, 0}}));
}

TEST(Spectrum, CircularShiftWrapsForAnyShift)
{
    const std::vector<TComplex> base = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}};
    struct Case {
        int k;
        int firstValue;  // old index that lands at position 0
    };
    for (const Case c : {Case{0, 0}, Case{2, 2}, Case{-1, 4}, Case{5, 0}, Case{7, 2}, Case{-12, 3},
                         Case{1000003, 3}}) {
        TSpectrum s = Make(base);
        s.CircularShift(c.k);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(s.GetReal(i), static_cast<float>((c.firstValue + i) % 5)) << "k=" << c.k;
    }
}

TEST(Spectrum, ArithmeticOnSamples)
{
    TSpectrum s = Make({{1, 2}, {3, -4}});
    s.Subtract({1, 1});
    EXPECT_EQ(Samples(s), (std::vector<TComplex>{{0, 1}, {2, -5}}));
    s.Multiply({0, 1});  // times i: (a + bi) i = -b + ai
    EXPECT_EQ(Samples(s), (std::vector<TComplex>{{-1, 0}, {5, 2}}));

    TSpectrum other = Make({{10, 10}, {20, 20}});
    s.Add(other);
    EXPECT_EQ(Samples(s), (std::vector<TComplex>{{9, 10}, {25, 22}}));

    // Averaging starts from a spectrum without samples.
    TSpectrum sum;
    sum.m_nPoints = 2;
    sum.Add(other);
    sum.Add(other);
    EXPECT_EQ(Samples(sum), (std::vector<TComplex>{{20, 20}, {40, 40}}));
}

TEST(Spectrum, ZeroFillKeepsTheSamplesAndAppendsZeros)
{
    TSpectrum s = Make({{1, 2}, {3, 4}});
    s.ZeroFill(5);
    EXPECT_EQ(s.m_nPoints, 5);
    EXPECT_EQ(Samples(s), (std::vector<TComplex>{{1, 2}, {3, 4}, {0, 0}, {0, 0}, {0, 0}}));
    s.ZeroFill(1);  // a smaller size truncates
    EXPECT_EQ(Samples(s), (std::vector<TComplex>{{1, 2}}));
}

TEST(Spectrum, AllocateZeroedShorterThanThePointCountReadsSafely)
{
    TSpectrum s;
    s.m_nPoints = 8;
    s.AllocateZeroed(4);
    EXPECT_EQ(s.m_nPoints, 8) << "the point count is not changed";
    s.FFTShift();
    s.CircularShift(3);
    s.Multiply({2, 0});
    s.UpdateRange();
    EXPECT_EQ(s.GetReal(6), 0.0f);
}

TEST(Spectrum, PhaseAgainstDirectFormula)
{
    const int n = 6;
    std::vector<TComplex> base;
    for (int i = 0; i < n; ++i)
        base.emplace_back(1.0f + i, 0.5f * i);
    TSpectrum s = Make(base);
    const float ph0 = 0.3f, ph1 = -1.7f;
    const int pivot = 2;
    s.Phase(ph0, ph1, pivot);
    for (int i = 0; i < n; ++i) {
        const double a = ph0 + (i - pivot) * ph1 / n;
        const double re = base[i].real() * std::cos(a) - base[i].imag() * std::sin(a);
        const double im = base[i].real() * std::sin(a) + base[i].imag() * std::cos(a);
        EXPECT_NEAR(s.GetReal(i), re, 1e-5);
        EXPECT_NEAR(s.GetImag(i), im, 1e-5);
    }
}

TEST(Spectrum, StateColoursFollowThePriorityOfTheFlags)
{
    TSpectrum s;
    EXPECT_EQ(s.StateColour(), 0x0000ffu);  // red
    s.m_bSelected = 1;
    EXPECT_EQ(s.StateColour(), 0x00ff00u);  // green
    s.m_bAveraged = 1;
    EXPECT_EQ(s.StateColour(), 0xc000c0u);  // purple wins over selected
    s.m_bShown = 1;
    EXPECT_EQ(s.StateColour(), 0xc0c000u);  // teal wins over averaged
    s.m_bMark = 1;
    EXPECT_EQ(s.StateColour(), 0x00ffffu);  // yellow always
    s.m_bShown = 0x100;  // only the low byte of the shown word counts
    s.m_bMark = 0;
    EXPECT_EQ(s.StateColour(), 0xc000c0u);
    EXPECT_EQ(TSpectrum::StateColour(true, false, false, true), 0x00ffffu);
}

TEST(Spectrum, SetParametersRecomputesGeometryFromTheOwningSet)
{
    TCSISet set;
    set.m_nDim[0] = 4;
    set.m_nDim[1] = 2;
    set.m_nDim[2] = 1;
    set.m_fFOV[0] = 200;
    set.m_fFOV[1] = 100;
    set.m_fFOV[2] = 10;
    set.m_fVoxelShift[0] = 3;

    TSpectrumParams p;
    p.m_nX = 1;
    p.m_nY = 1;
    p.m_nZ = 0;
    p.m_nPoints = 32;
    p.m_fCentre[0] = 999;  // recomputed
    p.m_pDataSet = &set;
    TSpectrum s;
    s.SetParameters(p);
    EXPECT_EQ(s.m_nPoints, 32);
    EXPECT_FLOAT_EQ(s.m_fSize[0], 50);
    EXPECT_FLOAT_EQ(s.m_fSize[1], 50);
    EXPECT_FLOAT_EQ(s.m_fSize[2], 10);
    // x: (1 + 0.5) * 50 - 100 + 3 = -22; y: 1.5 * 50 - 50 = 25; z: 0.5 * 10 - 5 = 0
    EXPECT_FLOAT_EQ(s.m_fCentre[0], -22);
    EXPECT_FLOAT_EQ(s.m_fCentre[1], 25);
    EXPECT_FLOAT_EQ(s.m_fCentre[2], 0);
    const TSpectrumParams back = s.GetParameters();
    EXPECT_EQ(back.m_pDataSet, &set);
    EXPECT_EQ(back.m_nX, 1);
}

TEST(Spectrum, ShiftPhaseUsesTheTwoInPlaneAxesOfTheSliceAxis)
{
    // 4 x 5 x 6 voxels of 10, 8 and 5 mm; the offset's x goes to the first in-plane
    // axis, its y to the second, and indices from n/2 on count from -n.
    TCSISet set;
    set.m_nDim[0] = 4;
    set.m_nDim[1] = 5;
    set.m_nDim[2] = 6;
    set.m_fFOV[0] = 40;
    set.m_fFOV[1] = 40;
    set.m_fFOV[2] = 30;
    set.m_nPoints = 2;
    ASSERT_TRUE(set.AllocateVoxels());
    set.InitVoxels();
    const TPoint2D offset(3.0f, -7.5f);
    const int inPlane[3][2] = {{1, 2}, {0, 2}, {0, 1}};
    for (int sliceAxis = 0; sliceAxis < 3; ++sliceAxis)
        for (size_t v = 0; v < set.VoxelCount(); ++v) {
            TSpectrum& s = *set.GetVoxel(v);
            const std::vector<TComplex> base = {{1.0f, 0.5f}, {-2.0f, 0.25f}};
            s.SetComplexData(base.data());
            s.ApplyShiftPhase(offset, sliceAxis);
            const int index[3] = {s.m_nX, s.m_nY, s.m_nZ};
            const float shift[2] = {offset.x, offset.y};
            double theta = 0;
            for (int t = 0; t < 2; ++t) {
                const int d = inPlane[sliceAxis][t];
                const int n = set.m_nDim[d];
                const int centred = 2 * index[d] >= n ? index[d] - n : index[d];
                theta += 2 * std::numbers::pi * centred * shift[t] / set.m_fFOV[d];
            }
            for (int i = 0; i < 2; ++i) {
                const std::complex<double> want =
                    std::complex<double>(base[static_cast<size_t>(i)]) * std::polar(1.0, -theta);
                EXPECT_NEAR(s.GetReal(i), want.real(), 1e-5) << "slice axis " << sliceAxis << " voxel " << v;
                EXPECT_NEAR(s.GetImag(i), want.imag(), 1e-5) << "slice axis " << sliceAxis << " voxel " << v;
            }
        }
}
