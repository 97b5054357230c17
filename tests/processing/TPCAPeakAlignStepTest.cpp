// The PCA peak alignment on sets of one line moved and turned by known amounts per voxel:
// lines end on the first component's peak, phases are turned back, undo and redo restore
// every bit and the analysis' list of corrections; voxels left out stay as they were;
// refused inputs change nothing. The radix-2 transform against a plain DFT.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <memory>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "AnalysisTestData.h"
#include "model/TCSISet.h"
#include "model/TProject.h"
#include "platform/Workers.h"
#include "processing/TAnalysisPCA.h"
#include "processing/TPCAPeakAlignStep.h"
#include "processing/TRadix2FFT.h"
#include "support/CSISetBuilders.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"
#include "support/SyntheticFID.h"

using namespace vx;

namespace {

using test::SameBits;

constexpr int kPoints = 256;
constexpr int kFirst = 100, kLast = 163;
constexpr double kCentre = 131.0;  // where a line without shift lies
constexpr double kDegree = std::numbers::pi / 180.0;

struct TLine {
    double shift = 0;      // points, towards higher indices
    double phase = 0;      // radians
    double amplitude = 1;
};
constexpr double kWidth = 6.0;  // points at half height

// A loaded frequency-domain set with one line per voxel, made as the scanner would: a
// decaying FID of the line's frequency and phase, transformed and its halves swapped,
// so that the line lies at kCentre + shift with the given zero-order phase.
std::unique_ptr<TCSISet> MakeLineSet(int nx, int ny, int nz, const std::vector<TLine>& lines, int sliceAxis = 2)
{
    auto set = test::MakeAnalysisSet(nx, ny, nz, sliceAxis, kPoints, [&](int v, int t) {
        const TLine& line = lines[size_t(v) % lines.size()];
        const double frequency = (kPoints / 2.0 - kCentre - line.shift) / kPoints;  // cycles per sample
        const double damping = -std::numbers::pi * kWidth / kPoints;
        return TComplex(test::SynthesizeFID({{1000.0 * line.amplitude, line.phase, damping, frequency}}, kPoints,
                                            0.2, unsigned(v + 1))[size_t(t)]);
    });
    set->m_bFrequencyDomain = 0;
    EXPECT_TRUE(set->ToFrequencyDomain());
    set->FFTShiftSpectra();
    set->UpdateDataRange();
    return set;
}

int PeakOf(const TSpectrum& s)
{
    int best = kFirst;
    for (int t = kFirst; t <= kLast; ++t)
        if (s.GetReal(t) > s.GetReal(best))
            best = t;
    return best;
}

class PCAPeakAlignStepTest : public test::AnalysisWorkSetTest {
protected:
    // A computed PCA of the window, owned by the project.
    TAnalysisPCA* MakePCA(TCSISet* set, int components, bool selection = false)
    {
        const int32_t window[] = {kFirst, kLast};
        auto* pca = new TAnalysisPCA(kFirst, kLast, components, window, 1);
        m_project->m_analyses.push_back(pca);
        EXPECT_TRUE(pca->Prepare(set, selection));
        EXPECT_TRUE(pca->Compute());
        return pca;
    }
    static TPCAAlignParams Params(int components, float threshold = 0.0f)
    {
        return {kFirst, kLast, components, threshold};
    }
    // The creator's sequence: state, apply, history, the analysis' list.
    TPCAPeakAlignStep* Perform(const TPCAAlignParams& params, TAnalysisPCA* pca, TCSISet* set)
    {
        auto* step = new TPCAPeakAlignStep(params, pca, set);
        if (!TProcessStep::Perform(step, *m_project, true))
            return nullptr;
        pca->PushCorrection(step);
        return step;
    }
};

TEST_F(PCAPeakAlignStepTest, LinesEndOnTheFirstComponentsPeakAndUndoRestoresEveryBit)
{
    // Shifts up to 2.5 points; voxel 13's line lies farther off, so that its fitted shift
    // would take it outside the half-height interval of the reference. The echo lies
    // after the first point: frequency corrections only.
    std::vector<TLine> lines;
    for (int v = 0; v < 36; ++v)
        lines.push_back({2.5 * std::sin(1.7 * v), 0.0, 1.0 + 0.3 * std::sin(0.9 * v)});
    lines[13].shift = 5.5;
    TCSISet* set = MakeWorkSet(MakeLineSet(6, 6, 1, lines));
    set->m_nEchoPosition = 6;
    TAnalysisPCA* pca = MakePCA(set, 4);
    const std::vector<TComplex> before = test::AllSamples(*set);

    int p0 = 0;  // the reference: the last largest point of component 0
    for (int j = 0; j < kLast - kFirst + 1; ++j)
        if (pca->Components().At(0, uint32_t(j)) >= pca->Components().At(0, uint32_t(p0)))
            p0 = j;
    const int q13 = PeakOf(*set->GetVoxel(13)) - kFirst;
    ASSERT_NEAR(q13 + kFirst, kCentre + 5.5, 1.0);

    TPCAPeakAlignStep* step = Perform(Params(4), pca, set);
    ASSERT_TRUE(step);
    const std::vector<TComplex> after = test::AllSamples(*set);
    EXPECT_EQ(step->Template().Columns(), 3u);
    const TFloatMatrix* frequency = step->GetFrequencyCorrectionMap(0);
    const TFloatMatrix* phase = step->GetPhaseCorrectionMap(0);
    ASSERT_TRUE(frequency && phase);
    ASSERT_EQ(frequency->Rows(), 6u);
    EXPECT_EQ(step->GetFrequencyCorrectionMap(1), nullptr);
    TFloatMatrix zero;
    zero.Resize(6, 6);
    EXPECT_TRUE(*phase == zero);
    for (int v = 0; v < 36; ++v) {
        SCOPED_TRACE(v);
        EXPECT_LE(std::abs(PeakOf(*set->GetVoxel(size_t(v))) - (kFirst + p0)), 1);
    }
    // The far line moved by the plain peak distance.
    EXPECT_EQ(frequency->At(2, 1), float(p0 - q13));
    // The analysis sums its corrections for the window.
    ASSERT_EQ(pca->GetCorrectionCount(), 1);
    EXPECT_TRUE(*pca->GetFrequencyCorrection(0) == *frequency);

    m_project->Undo();
    EXPECT_TRUE(SameBits(test::AllSamples(*set), before));
    EXPECT_EQ(pca->GetCorrectionCount(), 0);
    m_project->Redo();
    EXPECT_TRUE(SameBits(test::AllSamples(*set), after));
    EXPECT_EQ(pca->GetCorrectionCount(), 1);

    // Without its analysis the step still goes back and forth.
    std::erase(m_project->m_analyses, pca);
    delete pca;
    EXPECT_EQ(step->GetAnalysis(), nullptr);
    m_project->Undo();
    EXPECT_TRUE(SameBits(test::AllSamples(*set), before));
    m_project->Redo();
    EXPECT_TRUE(SameBits(test::AllSamples(*set), after));
}

// With the echo at the first point the dispersion in a voxel's reconstruction gives its
// phase: the map holds about minus the line's phase (the window's edges bias the
// dispersion a little), and the line stands upright again.
TEST_F(PCAPeakAlignStepTest, ZeroOrderPhasesAreTurnedBack)
{
    std::vector<TLine> lines;
    for (int v = 0; v < 25; ++v)
        lines.push_back({0.3 * std::sin(1.7 * v), 25.0 * kDegree * std::cos(2.3 * v)});
    lines[7].phase = 160.0 * kDegree;  // upside down: a0 < 0
    auto set = MakeLineSet(5, 5, 1, lines);
    TAnalysisPCA* pca = MakePCA(set.get(), 4);
    TPCAPeakAlignStep step(Params(4), pca, set.get());
    ASSERT_TRUE(step.Apply());
    EXPECT_EQ(step.Template().Columns(), 4u);
    for (int v = 0; v < 25; ++v) {
        SCOPED_TRACE(v);
        const double phase = lines[size_t(v)].phase / kDegree;
        EXPECT_NEAR(step.GetPhaseCorrectionMap(0)->At(uint32_t(v / 5), uint32_t(v % 5)), -phase,
                    1.0 + 0.25 * std::min(std::fabs(phase), 180.0 - std::fabs(phase)));
        const TSpectrum& s = *set->GetVoxel(size_t(v));
        const int peak = PeakOf(s);
        EXPECT_LT(std::fabs(s.GetImag(peak)), 0.15 * s.GetReal(peak));
    }
}

// Here also without a spectral width: the basis is still broadened (by a decay of at
// least one point), with no division by zero.
TEST_F(PCAPeakAlignStepTest, TheWorkersGiveTheSamplesOfOneWorker)
{
    test::TProcessorCountGuard guard;
    std::vector<TLine> lines;
    for (int v = 0; v < 24; ++v)
        lines.push_back({2.5 * std::sin(0.8 * v), 20.0 * kDegree * std::sin(1.1 * v)});
    std::vector<std::vector<TComplex>> results;
    for (int workers : {1, 3}) {
        SetProcessorCount(workers);
        auto set = MakeLineSet(4, 3, 2, lines);
        set->m_nSpectralWidth = 0;
        TAnalysisPCA* pca = MakePCA(set.get(), 3);
        TPCAPeakAlignStep step(Params(3), pca, set.get());
        ASSERT_TRUE(step.Apply());
        results.push_back(test::AllSamples(*set));
    }
    EXPECT_TRUE(SameBits(results[0], results[1]));
    for (const TComplex& c : results[0])
        ASSERT_TRUE(std::isfinite(c.real()) && std::isfinite(c.imag()));
}

// Voxels outside the selection, and those whose first score is below the threshold,
// keep their samples and 0 in the maps; the maps place the others by their in-plane
// axes, here of slice axis 1.
TEST_F(PCAPeakAlignStepTest, VoxelsLeftOutKeepTheirSamples)
{
    const int nx = 4, ny = 2, nz = 3;
    std::vector<TLine> lines;
    for (int v = 0; v < nx * ny * nz; ++v)
        lines.push_back({2.0 + std::sin(2.1 * v), 0.0, v % 5 == 0 ? 0.05 : 1.0});
    TCSISet* set = MakeWorkSet(MakeLineSet(nx, ny, nz, lines, 1));
    std::vector<size_t> selected;
    for (size_t v = 0; v < set->VoxelCount(); ++v)
        if (v % 3 != 1) {
            set->GetVoxel(v)->m_bSelected = 1;
            selected.push_back(v);
        }
    TAnalysisPCA* pca = MakePCA(set, 3, true);
    const std::vector<TComplex> before = test::AllSamples(*set);
    TPCAPeakAlignStep* step = Perform(Params(3, 0.5f), pca, set);
    ASSERT_TRUE(step);

    for (size_t v = 0; v < set->VoxelCount(); ++v) {
        SCOPED_TRACE(v);
        const int x = int(v % nx), y = int(v / nx % ny), z = int(v / (nx * ny));
        // Slice axis 1: slice y, first in-plane axis x, second z.
        const float shift = step->GetFrequencyCorrectionMap(y)->At(uint32_t(z), uint32_t(x));
        const float turn = step->GetPhaseCorrectionMap(y)->At(uint32_t(z), uint32_t(x));
        const bool changed = std::memcmp(before.data() + v * kPoints, test::AllSamples(*set).data() + v * kPoints,
                                         kPoints * sizeof(TComplex)) != 0;
        const bool takenPart = v % 3 != 1 && v % 5 != 0;
        EXPECT_EQ(changed, takenPart);
        EXPECT_EQ(shift != 0.0f, takenPart);
        if (!takenPart) {
            EXPECT_EQ(turn, 0.0f);
        }
    }
}

TEST_F(PCAPeakAlignStepTest, RefusedStepsChangeNothing)
{
    std::vector<TLine> lines;
    for (int v = 0; v < 9; ++v)
        lines.push_back({std::sin(1.0 * v), 0.0});
    TCSISet* set = MakeWorkSet(MakeLineSet(3, 3, 1, lines));
    auto other = MakeLineSet(3, 3, 1, lines);
    TAnalysisPCA* pca = MakePCA(set, 2);
    TAnalysisPCA* elsewhere = MakePCA(other.get(), 2);
    // Every voxel the same constant: component 0 is flat and the basis singular.
    auto flat = test::MakeAnalysisSet(3, 3, 1, 2, kPoints, [](int, int) { return TComplex(1.0f, 0.0f); });
    TAnalysisPCA* flatPCA = MakePCA(flat.get(), 1);
    TAnalysisPCA* gone = MakePCA(set, 2);

    struct Case {
        const char* what;
        TPCAAlignParams params;
        TAnalysisPCA* analysis;
        TCSISet* set;
        const char* message;
    };
    const Case cases[] = {
        {"no data set", Params(2), pca, nullptr, nullptr},
        {"no analysis", Params(2), nullptr, set, nullptr},
        {"analysis of another set", Params(2), elsewhere, set,
         "The PCA correction can only be applied when the analysed CSI set is the work set."},
        {"another window", {kFirst + 1, kLast, 2, 0.0f}, pca, set, nullptr},
        {"more components than the analysis has", Params(3), pca, set, nullptr},
        {"analysis deleted", Params(2), gone, set, nullptr},
        {"singular basis", Params(1), flatPCA, flat.get(), "Matrix inversion failed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TScriptedReport report;
        TCSISet* target = c.set ? c.set : set;
        const std::vector<TComplex> before = test::AllSamples(*target);
        TPCAPeakAlignStep step(c.params, c.analysis, c.set);
        if (c.analysis == gone) {
            std::erase(m_project->m_analyses, gone);
            delete gone;
        }
        EXPECT_FALSE(step.Apply());
        EXPECT_TRUE(SameBits(test::AllSamples(*target), before));
        EXPECT_EQ(report.Count(), c.message ? 1u : 0u);
        if (c.message) {
            EXPECT_TRUE(report.Contains(c.message));
        }
    }
}

// The plain DFT that the transform is checked against: X(k) = sum x(j) exp(-2 pi i jk / n).
std::vector<std::complex<double>> PlainDFT(const std::vector<std::complex<double>>& x)
{
    const size_t n = x.size();
    std::vector<std::complex<double>> out(n);
    for (size_t k = 0; k < n; ++k)
        for (size_t j = 0; j < n; ++j)
            out[k] += x[j] * std::polar(1.0, -2.0 * std::numbers::pi * double(j * k % n) / double(n));
    return out;
}

TEST(Radix2FFT, ForwardIsTheDFTOverNAndInverseUndoesIt)
{
    for (int n : {1, 2, 4, 8, 64, 512}) {
        SCOPED_TRACE(n);
        std::vector<std::complex<double>> x(static_cast<size_t>(n));
        for (int j = 0; j < n; ++j)
            x[size_t(j)] = {std::sin(0.7 * j) + 0.1 * j, std::cos(1.9 * j)};
        const std::vector<std::complex<double>> reference = PlainDFT(x);
        const TRadix2FFT fft(n);
        std::vector<std::complex<double>> y = x;
        fft.Forward(y.data());
        for (int k = 0; k < n; ++k)
            EXPECT_LT(std::abs(y[size_t(k)] - reference[size_t(k)] / double(n)), 1e-12);
        fft.Inverse(y.data());
        for (int j = 0; j < n; ++j)
            EXPECT_LT(std::abs(y[size_t(j)] - x[size_t(j)]), 1e-12);
    }
    EXPECT_NO_THROW(TRadix2FFT(TRadix2FFT::kMaxLength));
    for (int n : {0, -4, 3, 12, 1000, 2 * TRadix2FFT::kMaxLength}) {
        try {
            TRadix2FFT fft(n);
            ADD_FAILURE() << n << " accepted";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "cfft: size not power of 2");
        }
    }
}

}  // namespace
