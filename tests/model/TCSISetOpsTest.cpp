// Copy of a set, arithmetic of two sets and the whole-set sample operations, checked
// against references computed here sample by sample.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TMapList.h"
#include "platform/Globals.h"
#include "platform/Workers.h"
#include "support/CSISetBuilders.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"

using namespace vx;

namespace {

using test::FillSet;

TComplex Ramp(int v, int k) { return TComplex(1.0f + v + 0.5f * k, 2.0f * v - k); }

TComplex Sample(const TCSISet& set, size_t v, int k) { return set.GetVoxel(v)->Data()[k]; }

class SetOps : public ::testing::Test {
protected:
    void SetUp() override { ResetGlobals(); }
    void TearDown() override { ResetGlobals(); }
    test::TScriptedReport m_report;
};

}  // namespace

TEST_F(SetOps, CopyHeaderTakesParametersAndMaskButNoData)
{
    TCSISet source;
    FillSet(source, 2, 3, 1, 8, Ramp);
    source.m_strName = "source";
    source.m_strFilePath = "/p/source";
    source.m_strPatientName = "Doe";
    source.m_fFrequency = 123.2f;
    source.m_bMultiSlice = 1;
    source.m_slicePhases.assign(1, TSlicePhase{0.5f, 0.25f, 3.0f});
    source.m_kSpaceMask = {1, 0, 1, 1, 0, 1};
    source.m_bWorkSet = 1;

    TCSISet copy;
    FillSet(copy, 4, 4, 4, 16, Ramp);
    copy.m_bWorkSet = 1;
    copy.m_pMapList = new TMapList;
    copy.CopyHeader(source);
    EXPECT_FALSE(copy.IsLoaded());
    EXPECT_FALSE(copy.IsAllocated());
    EXPECT_EQ(copy.VoxelCount(), 0u);
    EXPECT_EQ(copy.m_bWorkSet, 0);
    EXPECT_EQ(copy.m_pMapList, nullptr);
    EXPECT_EQ(copy.m_nDim[1], 3);
    EXPECT_EQ(copy.m_nPoints, 8);
    EXPECT_EQ(copy.m_strName, "source");
    EXPECT_EQ(copy.m_strFilePath, "/p/source");
    EXPECT_EQ(copy.m_strPatientName, "Doe");
    EXPECT_EQ(copy.m_fFrequency, 123.2f);
    ASSERT_EQ(copy.m_slicePhases.size(), 1u);
    EXPECT_EQ(copy.m_slicePhases[0].m_fPivot, 3.0f);
    EXPECT_EQ(copy.m_kSpaceMask, source.m_kSpaceMask);
    // The source keeps everything.
    EXPECT_TRUE(source.IsLoaded());
    EXPECT_EQ(source.m_bWorkSet, 1);

    // A copy onto itself changes nothing.
    source.CopyHeader(source);
    EXPECT_TRUE(source.IsLoaded());
    EXPECT_EQ(source.VoxelCount(), 6u);
}

TEST_F(SetOps, CopyDataFromCopiesEveryVoxelAndTheRange)
{
    TCSISet source;
    FillSet(source, 3, 2, 2, 5, Ramp);
    TCSISet copy;
    copy.CopyHeader(source);
    ASSERT_TRUE(copy.CopyDataFrom(source));
    EXPECT_TRUE(copy.IsLoaded());
    ASSERT_EQ(copy.VoxelCount(), 12u);
    for (size_t v = 0; v < 12; ++v) {
        EXPECT_EQ(copy.GetVoxel(v)->m_pDataSet, &copy);
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ(Sample(copy, v, k), Ramp(static_cast<int>(v), k));
    }
    EXPECT_NE(copy.GetVoxel(0)->Data(), source.GetVoxel(0)->Data()) << "samples are copied, not shared";
    EXPECT_EQ(copy.m_fRealMax, 1.0f + 11 + 2.0f);
    EXPECT_EQ(copy.m_fImagMin, -4.0f);

    // Sets whose grid or points differ, or an unloaded source, are refused unchanged.
    TCSISet other;
    FillSet(other, 3, 2, 2, 6, Ramp);
    EXPECT_FALSE(copy.CopyDataFrom(other));
    TCSISet unloaded;
    unloaded.CopyHeader(source);
    EXPECT_FALSE(copy.CopyDataFrom(unloaded));
    EXPECT_EQ(Sample(copy, 11, 4), Ramp(11, 4));
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(SetOps, AddAndSubtractSampleBySample)
{
    TCSISet a, b;
    FillSet(a, 2, 2, 1, 4, Ramp);
    FillSet(b, 2, 2, 1, 4, [](int v, int k) { return TComplex(0.25f * k, 3.0f + v); });
    ASSERT_TRUE(a.Add(b));
    for (int v = 0; v < 4; ++v)
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(Sample(a, v, k), Ramp(v, k) + TComplex(0.25f * k, 3.0f + v));
    ASSERT_TRUE(a.Subtract(b));
    ASSERT_TRUE(a.Subtract(b));
    for (int v = 0; v < 4; ++v)
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(Sample(a, v, k), Ramp(v, k) - TComplex(0.25f * k, 3.0f + v));
    EXPECT_EQ(Sample(b, 3, 3), TComplex(0.75f, 6.0f)) << "the second operand is not changed";
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(SetOps, RatioPercentOfTheRealParts)
{
    TCSISet a, b;
    const float aReal[4] = {2.0f, 0.0f, -4.0f, 1e-11f};
    const float bReal[4] = {1.0f, 5.0f, 1.0f, 7.0f};
    FillSet(a, 1, 1, 1, 4, [&](int, int k) { return TComplex(aReal[k], 9.0f); });
    FillSet(b, 1, 1, 1, 4, [&](int, int k) { return TComplex(bReal[k], -3.0f); });
    ASSERT_TRUE(a.RatioPercent(b));
    EXPECT_EQ(Sample(a, 0, 0), TComplex(50.0f, 0.0f));
    EXPECT_EQ(Sample(a, 0, 1), TComplex(0.0f, 0.0f)) << "this.real = 0";
    EXPECT_EQ(Sample(a, 0, 2), TComplex(-25.0f, 0.0f));
    EXPECT_EQ(Sample(a, 0, 3), TComplex(0.0f, 0.0f)) << "|this.real| below 1e-10";
}

TEST_F(SetOps, ArithmeticChecksDimensionsThenPointsThenData)
{
    TCSISet a, b, c, d;
    FillSet(a, 8, 8, 1, 16, Ramp);
    FillSet(b, 8, 8, 2, 32, Ramp);  // differs in both: the dimensions are reported
    FillSet(c, 8, 8, 1, 32, Ramp);
    d.CopyHeader(a);             // same sizes, not loaded
    using Op = bool (TCSISet::*)(const TCSISet&);
    for (Op op : {Op(&TCSISet::Add), Op(&TCSISet::Subtract), Op(&TCSISet::RatioPercent)}) {
        m_report.Clear();
        EXPECT_FALSE((a.*op)(b));
        EXPECT_FALSE((a.*op)(c));
        EXPECT_FALSE((a.*op)(d));
        EXPECT_FALSE((d.*op)(a));
        ASSERT_EQ(m_report.Count(), 2u);
        EXPECT_EQ(m_report.Messages()[0], "The two CSI sets must have same dimensions!");
        EXPECT_EQ(m_report.Messages()[1], "The two CSI sets must have same number of data samples!");
        EXPECT_EQ(m_report.Entries()[0].icon, ReportIcon::Error);
        EXPECT_EQ(m_report.Entries()[1].icon, ReportIcon::Error);
    }
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(Sample(a, 63, k), Ramp(63, k)) << "the first operand is unchanged";
}

TEST_F(SetOps, ScaleAndNormalize)
{
    TCSISet set;
    FillSet(set, 2, 1, 1, 3, [](int v, int k) { return TComplex(3.0f * v + k, -4.0f * v); });
    set.Scale(-2.0f);
    EXPECT_EQ(Sample(set, 1, 2), TComplex(-10.0f, 8.0f));
    EXPECT_EQ(set.m_fRealMin, -10.0f) << "the range is recomputed";
    EXPECT_EQ(set.m_fImagMax, 8.0f);

    // Voxel 1, point 2 holds the largest magnitude, |(-10, 8)|; a stale range field
    // must not change the result.
    set.m_fMagnitudeMax = 1.0f;
    set.NormalizeTo(1000.0f);
    EXPECT_NEAR(set.m_fMagnitudeMax, 1000.0f, 1e-3f);
    const float f = 1000.0f / std::sqrt(164.0f);
    EXPECT_NEAR(Sample(set, 1, 0).real(), -6.0f * f, 1e-3f);
    EXPECT_NEAR(Sample(set, 1, 0).imag(), 8.0f * f, 1e-3f);

    // A set without signal stays as it is (no division by zero).
    TCSISet zero;
    FillSet(zero, 1, 1, 1, 4, [](int, int) { return TComplex(0.0f, 0.0f); });
    zero.NormalizeTo(1000.0f);
    EXPECT_EQ(Sample(zero, 0, 3), TComplex(0.0f, 0.0f));
}

TEST_F(SetOps, RemoveDCOffsetSubtractsTheMeanTailOverAllVoxels)
{
    // 20 points: the tail is points 17 to 19 (7 * 20 / 8 = 17).
    const int n = 20, voxels = 6;
    auto f = [](int v, int k) { return TComplex(std::sin(0.3f * k + v), 0.1f * v * k - 2.0f); };
    TCSISet set;
    FillSet(set, 3, 2, 1, n, f);
    std::complex<double> total = 0;
    for (int v = 0; v < voxels; ++v) {
        std::complex<double> tail = 0;
        for (int k = 17; k < n; ++k)
            tail += std::complex<double>(f(v, k));
        total += tail / 3.0;
    }
    const std::complex<double> offset = total / double(voxels);
    set.RemoveDCOffset();
    for (int v = 0; v < voxels; ++v)
        for (int k = 0; k < n; ++k) {
            const std::complex<double> want = std::complex<double>(f(v, k)) - offset;
            EXPECT_NEAR(Sample(set, v, k).real(), want.real(), 1e-5) << v << " " << k;
            EXPECT_NEAR(Sample(set, v, k).imag(), want.imag(), 1e-5) << v << " " << k;
        }
}

TEST_F(SetOps, PhaseOfAllSelectedOrOneSliceOfVoxels)
{
    const int n = 16;
    const float ph0 = 0.7f, ph1 = -2.5f;
    const int pivot = 5;
    auto expected = [&](int v, int k) {
        const double a = ph0 + (k - pivot) * double(ph1) / n;
        return std::complex<double>(Ramp(v, k)) * std::complex<double>(std::cos(a), std::sin(a));
    };
    auto check = [&](const TCSISet& set, const std::vector<bool>& phased) {
        for (size_t v = 0; v < set.VoxelCount(); ++v)
            for (int k = 0; k < n; ++k) {
                const std::complex<double> want =
                    phased[v] ? expected(int(v), k) : std::complex<double>(Ramp(int(v), k));
                EXPECT_NEAR(Sample(set, v, k).real(), want.real(), 1e-4) << v << " " << k;
                EXPECT_NEAR(Sample(set, v, k).imag(), want.imag(), 1e-4) << v << " " << k;
            }
    };
    // A 2 x 2 x 3 grid sliced along z: slice 1 holds voxels 4 to 7.
    {
        TCSISet set;
        FillSet(set, 2, 2, 3, n, Ramp);
        set.GetVoxel(2)->m_bSelected = 1;
        set.Phase(ph0, ph1, pivot, 0, 0, false);
        check(set, std::vector<bool>(12, true));
    }
    {
        TCSISet set;
        FillSet(set, 2, 2, 3, n, Ramp);
        set.GetVoxel(2)->m_bSelected = 1;
        set.GetVoxel(9)->m_bSelected = 1;
        set.Phase(ph0, ph1, pivot, 0, 0, true);
        std::vector<bool> phased(12, false);
        phased[2] = phased[9] = true;
        check(set, phased);
    }
    {
        TCSISet set;
        FillSet(set, 2, 2, 3, n, Ramp);
        set.m_nSliceAxis = 2;
        set.Phase(ph0, ph1, pivot, 1, 1, true);  // the selection does not matter here
        std::vector<bool> phased(12, false);
        for (int v = 4; v < 8; ++v)
            phased[v] = true;
        check(set, phased);
        // A slice outside the set phases nothing.
        set.Phase(ph0, ph1, pivot, 1, 3, false);
        set.Phase(ph0, ph1, pivot, 1, -1, false);
        check(set, phased);
    }
    {
        // Sliced along x: slice 1 is every voxel with x = 1.
        TCSISet set;
        FillSet(set, 2, 2, 3, n, Ramp);
        set.m_nSliceAxis = 0;
        set.Phase(ph0, ph1, pivot, 1, 1, false);
        std::vector<bool> phased(12, false);
        for (int v = 1; v < 12; v += 2)
            phased[v] = true;
        check(set, phased);
    }
}

TEST_F(SetOps, AnonymizeReplacesOnlyNameAndBirthDate)
{
    TCSISet set;
    set.m_strPatientName = "Doe^Jane";
    set.m_strPatientBirthDate = "19700101";
    set.m_strExamDate = "20260101";
    set.m_strExamName = "Brain CSI";
    set.Anonymize();
    EXPECT_EQ(set.m_strPatientName, "Anonymized");
    EXPECT_EQ(set.m_strPatientBirthDate, "Anonymized");
    EXPECT_EQ(set.m_strExamDate, "20260101");
    EXPECT_EQ(set.m_strExamName, "Brain CSI");
}

namespace {

using CVec = std::vector<std::complex<double>>;

// exp(sign 2 pi i j k / n) summed naively.
CVec NaiveDFT(const CVec& x, int sign)
{
    const size_t n = x.size();
    CVec out(n);
    for (size_t k = 0; k < n; ++k)
        for (size_t j = 0; j < n; ++j)
            out[k] += x[j] * std::polar(1.0, sign * 2.0 * std::numbers::pi * double(j * k % n) / double(n));
    return out;
}

// The frequency-domain spectrum (halves swapped) that zero filling a spectrum of
// n points to m points gives, with echo position e: unswap, back to the time domain,
// undo the echo shift, append zeros, redo it at the new length, transform, swap.
CVec ZeroFilledReference(CVec spectrum, size_t m, int e)
{
    const size_t n = spectrum.size();
    for (size_t i = 0; i < n / 2; ++i)
        std::swap(spectrum[i], spectrum[i + n / 2]);
    CVec t = NaiveDFT(spectrum, -1);
    for (auto& v : t)
        v /= double(n);
    CVec fid(n);
    for (size_t i = 0; i < n; ++i)
        fid[i] = t[(i + n - size_t(e)) % n];
    fid.resize(m);
    CVec shifted(m);
    for (size_t i = 0; i < m; ++i)
        shifted[i] = fid[(i + size_t(e)) % m];
    CVec out = NaiveDFT(shifted, +1);
    for (size_t i = 0; i < m / 2; ++i)
        std::swap(out[i], out[i + m / 2]);
    return out;
}

}  // namespace

TEST_F(SetOps, ZeroFillGrowsSpectraInTheTimeDomain)
{
    test::TProcessorCountGuard guard;
    for (int workers : {1, 3}) {
        for (int echo : {0, 2}) {
            SCOPED_TRACE("workers " + std::to_string(workers) + ", echo " + std::to_string(echo));
            SetProcessorCount(workers);
            const int n = 12;
            auto f = [](int v, int k) { return TComplex(std::cos(0.7f * k + v), 0.3f * k - v); };
            TCSISet set;
            FillSet(set, 2, 1, 2, n, f);
            set.m_bFrequencyDomain = 1;
            set.m_nEchoPosition = echo;
            set.m_fPPMCentrePoint = 5.5f;
            set.m_nFirstPoint = 2;
            set.m_nLastPoint = 9;
            ASSERT_TRUE(set.ZeroFill(2 * n));
            EXPECT_EQ(set.m_nPoints, 24);
            EXPECT_EQ(set.m_bFrequencyDomain, 1);
            EXPECT_EQ(set.m_fPPMCentrePoint, 11.0f);
            EXPECT_EQ(set.m_nFirstPoint, 2) << "the point range is the step's business";
            EXPECT_EQ(set.m_nLastPoint, 9);
            for (int v = 0; v < 4; ++v) {
                CVec in;
                for (int k = 0; k < n; ++k)
                    in.emplace_back(f(v, k));
                const CVec want = ZeroFilledReference(in, 2 * n, echo);
                const TSpectrum* s = set.GetVoxel(v);
                ASSERT_EQ(s->m_nPoints, 24);
                ASSERT_GE(s->SampleCount(), 24);
                for (int k = 0; k < 24; ++k) {
                    EXPECT_NEAR(s->Data()[k].real(), want[k].real(), 1e-4) << v << " " << k;
                    EXPECT_NEAR(s->Data()[k].imag(), want[k].imag(), 1e-4) << v << " " << k;
                }
            }
            float largest = 0;
            for (int v = 0; v < 4; ++v)
                largest = std::max(largest, set.GetVoxel(v)->GetMaxMagnitude());
            EXPECT_FLOAT_EQ(set.m_fMagnitudeMax, largest) << "range recomputed";
        }
    }
}

TEST_F(SetOps, ZeroFillOfATimeDomainSetEndsInTheFrequencyDomain)
{
    TCSISet set;
    FillSet(set, 1, 1, 1, 4, [](int, int k) { return TComplex(k == 0 ? 1.0f : 0.0f, 0.0f); });
    ASSERT_TRUE(set.ZeroFill(8));
    EXPECT_EQ(set.m_bFrequencyDomain, 1);
    // A unit impulse at time 0 is flat in every frequency, however long.
    for (int k = 0; k < 8; ++k) {
        EXPECT_NEAR(Sample(set, 0, k).real(), 1.0f, 1e-6f);
        EXPECT_NEAR(Sample(set, 0, k).imag(), 0.0f, 1e-6f);
    }
}

TEST_F(SetOps, ZeroFillRefusesShrinkingAndLengthsTheFFTCannotDo)
{
    TCSISet set;
    FillSet(set, 2, 1, 1, 8, Ramp);
    set.m_bFrequencyDomain = 1;
    EXPECT_FALSE(set.ZeroFill(4));
    EXPECT_EQ(m_report.Count(), 0u);
    EXPECT_FALSE(set.ZeroFill(82));  // 2 * 41: a prime factor above 37
    ASSERT_EQ(m_report.Count(), 1u);
    EXPECT_EQ(m_report.Messages()[0],
              "Prime factor of FFT length too large. Please modify the value of maxPrimeFactor.");
    EXPECT_EQ(set.m_nPoints, 8);
    EXPECT_EQ(set.m_bFrequencyDomain, 1);
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(Sample(set, 1, k), Ramp(1, k)) << "samples unchanged";

    TCSISet unloaded;
    unloaded.CopyHeader(set);
    EXPECT_FALSE(unloaded.ZeroFill(16));
}
