#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "model/TCSISet.h"
#include "model/TWaterSuppressionParams.h"
#include "platform/Workers.h"
#include "support/CSISetBuilders.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"

namespace {

using cd = std::complex<double>;

// Deterministic, irregular test signal of voxel v, point i.
TComplex Signal(int v, int i)
{
    return TComplex(static_cast<float>(std::sin(0.37 * i + v) + 0.1 * v),
                    static_cast<float>(std::cos(0.11 * i * i - 0.5 * v)));
}

void MakeSet(TCSISet& set, int nx, int ny, int nz, int points)
{
    vx::test::FillSet(set, nx, ny, nz, points, Signal);
}

using vx::test::AllSamples;

// Reference of the time -> frequency transform: sample e first, then
// X[k] = sum_j x[j] exp(+2 pi i jk/n), unscaled.
std::vector<cd> NaiveToFrequency(const std::vector<cd>& x, int echo)
{
    const int n = static_cast<int>(x.size());
    std::vector<cd> out(x.size());
    for (int k = 0; k < n; ++k) {
        cd sum = 0;
        for (int j = 0; j < n; ++j)
            sum += x[static_cast<size_t>((j + echo) % n)] * std::polar(1.0, 2 * std::numbers::pi * j * k / n);
        out[static_cast<size_t>(k)] = sum;
    }
    return out;
}

}  // namespace

TEST(CSISetTransforms, ToFrequencyMatchesADirectSumWithTheEchoShift)
{
    vx::test::TProcessorCountGuard guard;
    for (int workers : {1, 3}) {
        vx::SetProcessorCount(workers);
        TCSISet set;
        MakeSet(set, 2, 1, 1, 12);
        set.m_nEchoPosition = 5;
        std::vector<std::vector<cd>> expected;
        for (size_t v = 0; v < 2; ++v) {
            std::vector<cd> x;
            for (int i = 0; i < 12; ++i)
                x.emplace_back(set.GetVoxel(v)->GetReal(i), set.GetVoxel(v)->GetImag(i));
            expected.push_back(NaiveToFrequency(x, 5));
        }
        ASSERT_TRUE(set.ToFrequencyDomain());
        EXPECT_EQ(set.m_bFrequencyDomain, 1);
        EXPECT_EQ(set.m_nEchoPosition, 5) << "the echo position is kept";
        for (size_t v = 0; v < 2; ++v)
            for (int k = 0; k < 12; ++k) {
                EXPECT_NEAR(set.GetVoxel(v)->GetReal(k), expected[v][static_cast<size_t>(k)].real(), 1e-4);
                EXPECT_NEAR(set.GetVoxel(v)->GetImag(k), expected[v][static_cast<size_t>(k)].imag(), 1e-4);
            }
    }
}

TEST(CSISetTransforms, AnImpulseBecomesAFlatSpectrum)
{
    TCSISet set;
    MakeSet(set, 1, 1, 1, 16);
    std::vector<TComplex> fid(16, TComplex(0, 0));
    fid[0] = TComplex(1, 0);
    set.GetVoxel(0)->SetComplexData(fid.data());
    ASSERT_TRUE(set.ToFrequencyDomain());
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(set.GetVoxel(0)->GetReal(i), 1.0, 1e-6);
        EXPECT_NEAR(set.GetVoxel(0)->GetImag(i), 0.0, 1e-6);
    }
}

TEST(CSISetTransforms, RoundTripRestoresTheSamplesForAnyWorkerCount)
{
    vx::test::TProcessorCountGuard guard;
    std::vector<std::vector<TComplex>> results;
    for (int workers : {1, 4}) {
        vx::SetProcessorCount(workers);
        TCSISet set;
        MakeSet(set, 3, 2, 2, 50);
        set.m_nEchoPosition = 5;
        const std::vector<TComplex> before = AllSamples(set);
        ASSERT_TRUE(set.ToFrequencyDomain());
        results.push_back(AllSamples(set));
        ASSERT_TRUE(set.ToTimeDomain());
        EXPECT_EQ(set.m_bFrequencyDomain, 0);
        const std::vector<TComplex> after = AllSamples(set);
        ASSERT_EQ(after.size(), before.size());
        for (size_t i = 0; i < before.size(); ++i) {
            EXPECT_NEAR(after[i].real(), before[i].real(), 1e-5) << i;
            EXPECT_NEAR(after[i].imag(), before[i].imag(), 1e-5) << i;
        }
    }
    // Every voxel is transformed by the same code whichever worker takes it.
    EXPECT_EQ(results[0], results[1]);
}

TEST(CSISetTransforms, WorkerPartsCoverEveryVoxelExactlyOnce)
{
    TCSISet set;
    MakeSet(set, 10, 1, 1, 8);
    const std::vector<TComplex> before = AllSamples(set);
    std::vector<int> taken(10, 0);
    for (int k = 0; k < 3; ++k) {
        TCSISet copy;
        MakeSet(copy, 10, 1, 1, 8);
        ASSERT_TRUE(copy.InverseFFTPart(3, k));
        for (size_t v = 0; v < 10; ++v)
            if (copy.GetVoxel(v)->GetReal(1) != before[v * 8 + 1].real())
                ++taken[v];
    }
    EXPECT_EQ(taken, std::vector<int>(10, 1));
}

TEST(CSISetTransforms, RefusedLengthIsReportedOnceAndChangesNothing)
{
    vx::test::TProcessorCountGuard guard;
    for (int workers : {1, 4}) {
        vx::SetProcessorCount(workers);
        vx::test::TScriptedReport report;
        TCSISet set;
        MakeSet(set, 2, 2, 2, 41);  // 41 is a prime above the FFT's limit
        set.m_nEchoPosition = 3;
        const std::vector<TComplex> before = AllSamples(set);
        EXPECT_FALSE(set.ToFrequencyDomain());
        EXPECT_EQ(set.m_bFrequencyDomain, 0);
        set.m_bFrequencyDomain = 1;
        EXPECT_FALSE(set.ToTimeDomain());
        EXPECT_EQ(set.m_bFrequencyDomain, 1);
        EXPECT_EQ(AllSamples(set), before);
        EXPECT_EQ(report.Count(), 2u) << "one report per transform, not one per voxel";
    }
}

TEST(CSISetTransforms, SetWithoutSamplesIsNotTransformed)
{
    vx::test::TScriptedReport report;
    TCSISet set;
    set.m_nPoints = 16;
    EXPECT_FALSE(set.ToFrequencyDomain());
    EXPECT_EQ(set.m_bFrequencyDomain, 0);

    TCSISet empty;  // voxels but no points: nothing to transform, nothing to report
    ASSERT_TRUE(empty.AllocateVoxels());
    EXPECT_FALSE(empty.ToFrequencyDomain());
    EXPECT_FALSE(empty.ToTimeDomain());

    TCSISet partial;  // one spectrum shorter than the point count
    MakeSet(partial, 2, 1, 1, 8);
    partial.GetVoxel(1)->AllocateZeroed(4);
    EXPECT_FALSE(partial.ToFrequencyDomain());
    EXPECT_EQ(report.Count(), 0u);
}

TEST(CSISetTransforms, FFTShiftSpectraSwapsHalves)
{
    for (int n : {4, 5}) {
        TCSISet set;
        MakeSet(set, 2, 1, 1, n);
        for (size_t v = 0; v < 2; ++v) {
            std::vector<TComplex> s;
            for (int i = 0; i < n; ++i)
                s.emplace_back(static_cast<float>(i), static_cast<float>(v));
            set.GetVoxel(v)->SetComplexData(s.data());
        }
        set.FFTShiftSpectra();
        // [a b c d] -> [c d a b]; [a b c d e] -> [c d a b e]
        const std::vector<float> want = n == 4 ? std::vector<float>{2, 3, 0, 1} : std::vector<float>{2, 3, 0, 1, 4};
        for (size_t v = 0; v < 2; ++v)
            for (int i = 0; i < n; ++i)
                EXPECT_EQ(set.GetVoxel(v)->GetReal(i), want[static_cast<size_t>(i)]) << "n=" << n;
    }
}

TEST(CSISetTransforms, SwapHalvesWorkerCode)
{
    TCSISet set;
    MakeSet(set, 4, 1, 1, 4);
    const std::vector<TComplex> before = AllSamples(set);
    EXPECT_EQ(TCSISet::VoxelThreadProc({&set, 99, 2, 1}), 1);
    EXPECT_EQ(AllSamples(set), before) << "unknown codes do nothing";
    // The two workers' parts together swap every voxel once.
    EXPECT_EQ(TCSISet::VoxelThreadProc({&set, kSwapHalves, 2, 0}), 1);
    EXPECT_EQ(TCSISet::VoxelThreadProc({&set, kSwapHalves, 2, 1}), 1);
    for (size_t v = 0; v < 4; ++v)
        EXPECT_EQ(set.GetVoxel(v)->GetReal(0), before[v * 4 + 2].real()) << v;
}

TEST(SpectrumTransforms, PerVoxelRoundTripAndEchoShift)
{
    TCSISet set;
    MakeSet(set, 1, 1, 1, 30);
    set.m_nEchoPosition = 4;
    TSpectrum copy = *set.GetVoxel(0);
    std::vector<cd> x;
    for (int i = 0; i < 30; ++i)
        x.emplace_back(copy.GetReal(i), copy.GetImag(i));
    const std::vector<cd> expected = NaiveToFrequency(x, 4);
    ASSERT_TRUE(copy.ToFrequencyDomain());
    for (int k = 0; k < 30; ++k)
        EXPECT_NEAR(copy.GetReal(k), expected[static_cast<size_t>(k)].real(), 1e-4);
    ASSERT_TRUE(copy.ToTimeDomain());
    for (int i = 0; i < 30; ++i) {
        EXPECT_NEAR(copy.GetReal(i), x[static_cast<size_t>(i)].real(), 1e-5);
        EXPECT_NEAR(copy.GetImag(i), x[static_cast<size_t>(i)].imag(), 1e-5);
    }
    TSpectrum refused;
    refused.m_nPoints = 41;
    refused.AllocateZeroed(41);
    EXPECT_FALSE(refused.ToFrequencyDomain());
    EXPECT_FALSE(refused.ToTimeDomain());
}

namespace {
// Reference water suppression of one spectrum: moving average with the kernel,
// residual moved h points toward the start, last 2h + 1 points zero.
std::vector<cd> NaiveWaterSuppression(const std::vector<cd>& x, const std::vector<double>& w)
{
    const int n = static_cast<int>(x.size());
    const int h = static_cast<int>(w.size() / 2);
    double norm = 0;
    for (double v : w)
        norm += v;
    std::vector<cd> out(x.size(), 0.0);
    for (int i = 0; i + 2 * h + 1 < n; ++i) {
        cd s = 0;
        for (int j = 0; j <= 2 * h; ++j)
            s += x[static_cast<size_t>(i + j)] * w[static_cast<size_t>(j)];
        out[static_cast<size_t>(i)] = x[static_cast<size_t>(i + h)] - s / norm;
    }
    return out;
}
}  // namespace

TEST(WaterSuppressionPart, MatchesAMovingAverageReference)
{
    struct Case {
        int length, type;
    };
    for (const Case c : {Case{5, 0}, Case{5, 1}, Case{6, 2}, Case{9, 0}}) {
        TCSISet set;
        MakeSet(set, 3, 1, 1, 20);
        TWaterSuppressionParams p;
        p.m_nWindowLength = c.length;
        p.m_nWindowType = c.type;
        const int h = (c.length - 1 + 1) / 2;  // ceil((L - 1) / 2)
        std::vector<double> w;
        for (int j = 0; j <= 2 * h; ++j) {
            const int d = j - h;
            w.push_back(c.type == 0 ? std::exp(-4.0 * d * d / (h * h))
                                    : c.type == 2 ? std::cos(d * std::numbers::pi / (2 * h + 2)) : 1.0);
        }
        std::vector<std::vector<cd>> expected;
        for (size_t v = 0; v < 3; ++v) {
            std::vector<cd> x;
            for (int i = 0; i < 20; ++i)
                x.emplace_back(set.GetVoxel(v)->GetReal(i), set.GetVoxel(v)->GetImag(i));
            expected.push_back(NaiveWaterSuppression(x, w));
        }
        for (int k = 0; k < 2; ++k)
            ASSERT_TRUE(set.SuppressWaterPart(p, 2, k));
        for (size_t v = 0; v < 3; ++v)
            for (int i = 0; i < 20; ++i) {
                EXPECT_NEAR(set.GetVoxel(v)->GetReal(i), expected[v][static_cast<size_t>(i)].real(), 1e-5)
                    << "L=" << c.length << " type=" << c.type << " i=" << i;
                EXPECT_NEAR(set.GetVoxel(v)->GetImag(i), expected[v][static_cast<size_t>(i)].imag(), 1e-5);
            }
        if (c.length == 5) {
            for (int i = 15; i < 20; ++i)
                EXPECT_EQ(set.GetVoxel(0)->GetReal(i), 0.0f) << "the last 2h + 1 points are 0";
        }
    }
}

TEST(WaterSuppressionPart, EdgeCases)
{
    TCSISet set;
    MakeSet(set, 2, 1, 1, 20);
    TWaterSuppressionParams p;
    p.m_nWindowLength = 1;
    p.m_nWindowType = 1;
    ASSERT_TRUE(set.SuppressWaterPart(p, 1, 0));
    for (const TComplex& c : AllSamples(set))
        EXPECT_EQ(c, TComplex(0, 0)) << "L = 1 removes everything";

    // A Gaussian of length 1 is one weight of 1 instead of 0/0.
    TCSISet gauss;
    MakeSet(gauss, 1, 1, 1, 10);
    p.m_nWindowType = 0;
    ASSERT_TRUE(gauss.SuppressWaterPart(p, 1, 0));
    for (const TComplex& c : AllSamples(gauss))
        EXPECT_EQ(c, TComplex(0, 0));

    // A kernel wider than the spectrum is refused and changes nothing.
    TCSISet small;
    MakeSet(small, 1, 1, 1, 8);
    const std::vector<TComplex> before = AllSamples(small);
    p.m_nWindowLength = 9;  // h = 4, 2h + 1 = 9 > 8
    EXPECT_FALSE(small.SuppressWaterPart(p, 1, 0));
    EXPECT_EQ(AllSamples(small), before);

    // Only selected voxels when asked.
    TCSISet sel;
    MakeSet(sel, 2, 1, 1, 20);
    sel.GetVoxel(1)->m_bSelected = 1;
    const std::vector<TComplex> selBefore = AllSamples(sel);
    p.m_nWindowLength = 3;
    p.m_bSelectedOnly = 1;
    ASSERT_TRUE(sel.SuppressWaterPart(p, 1, 0));
    const std::vector<TComplex> selAfter = AllSamples(sel);
    EXPECT_TRUE(std::equal(selBefore.begin(), selBefore.begin() + 20, selAfter.begin()));
    EXPECT_FALSE(std::equal(selBefore.begin() + 20, selBefore.end(), selAfter.begin() + 20));
}

TEST(CSISetTransforms, WorkerThatCannotStartLeavesSamplesAndDomainAsTheyWere)
{
    vx::test::TProcessorCountGuard guard;
    struct InjectionGuard {
        ~InjectionGuard() { vx::FailWorkerStartsAfter(-1); }
    } injection;
    vx::SetProcessorCount(4);
    TCSISet set;
    MakeSet(set, 3, 2, 2, 50);
    set.m_nEchoPosition = 5;
    const std::vector<TComplex> time = AllSamples(set);

    vx::FailWorkerStartsAfter(2);  // workers 0 and 1 run, worker 2 cannot start
    EXPECT_FALSE(set.ToFrequencyDomain());
    EXPECT_EQ(set.m_bFrequencyDomain, 0);
    std::vector<TComplex> after = AllSamples(set);
    ASSERT_EQ(after.size(), time.size());
    for (size_t i = 0; i < time.size(); ++i)
        EXPECT_NEAR(std::abs(after[i] - time[i]), 0.0, 1e-5) << i;

    vx::FailWorkerStartsAfter(-1);
    ASSERT_TRUE(set.ToFrequencyDomain());
    const std::vector<TComplex> frequency = AllSamples(set);
    vx::FailWorkerStartsAfter(1);
    EXPECT_FALSE(set.ToTimeDomain());
    EXPECT_EQ(set.m_bFrequencyDomain, 1);
    after = AllSamples(set);
    for (size_t i = 0; i < frequency.size(); ++i)
        EXPECT_NEAR(std::abs(after[i] - frequency[i]), 0.0, 1e-4 * (1.0 + std::abs(frequency[i]))) << i;
}
