// The macro-capable steps on small sets: apply, undo and redo of every step, the
// Lorentzian filter on the workers against one worker, the axes of the k-space windows,
// and what phasing, PPM referencing, zero filling and voxel shifting leave in the set.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "model/math/ApodizationWindows.h"
#include "model/TCSISet.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Workers.h"
#include "processing/TBaselineFitStep.h"
#include "processing/TBaselineStep.h"
#include "processing/TCosineWindowStep.h"
#include "processing/TFermiWindowStep.h"
#include "processing/TGaussFilterStep.h"
#include "processing/THammingWindowStep.h"
#include "processing/TLorentzFilterStep.h"
#include "processing/TLorentzGaussFilterStep.h"
#include "processing/TPPMCenterStep.h"
#include "processing/TPhasingStep.h"
#include "processing/TVoxelShiftStep.h"
#include "processing/TWaterSuppressionStep.h"
#include "processing/TZeroFillStep.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "TestSteps.h"

using namespace vx;

namespace {

using test::Difference;
using test::Snapshot;
using test::TSetState;

class MacroStepsTest : public test::OpenProjectTest {
protected:
    void TearDown() override
    {
        FailWorkerStartsAfter(-1);
        OpenProjectTest::TearDown();
    }
    std::unique_ptr<TCSISet> MakeSet(int nx, int ny, int nz, int points)
    {
        return test::MakeAcquiredSet(m_project.get(), nx, ny, nz, points);
    }

    test::TScriptedReport m_report;
    test::TProcessorCountGuard m_processors;
};

// A 7-point moving average: short enough for 16-point spectra.
TWaterSuppressionParams ShortWaterWindow()
{
    TWaterSuppressionParams p;
    p.m_nWindowLength = 7;
    return p;
}

// --- every step: apply, undo, redo --------------------------------------------------------

TEST_F(MacroStepsTest, EveryStepIsUndoneAndRedoneBitForBit)
{
    using Make = std::function<TProcessStep*(TCSISet*)>;
    struct Case {
        const char* name;
        Make make;
        bool exactInverse;  // undo restores the very bits (state files, parameters)
    };
    const float origin[3] = {0, 0, 0};
    const float moved[3] = {60, -30, 0};
    const std::vector<Case> cases = {
        {"voxel shift", [&](TCSISet* s) { return new TVoxelShiftStep(origin, moved, false, s); }, true},
        {"phasing", [](TCSISet* s) { return new TPhasingStep(0, 0.7f, 0, 1.3f, 0, 5, 0, 0, false, s); }, false},
        {"phasing one slice", [](TCSISet* s) { return new TPhasingStep(0, -2.1f, 0, 0.4f, 0, 3, 1, 1, false, s); },
         false},
        {"PPM referencing", [](TCSISet* s) { return new TPPMCenterStep(8, 9.5f, 0, 4.7f, false, s); }, true},
        {"zero fill", [](TCSISet* s) { return new TZeroFillStep(false, s); }, true},
        {"cosine window", [](TCSISet* s) { return new TCosineWindowStep(false, s); }, true},
        {"Fermi window", [](TCSISet* s) { return new TFermiWindowStep(false, s); }, true},
        {"Hamming window", [](TCSISet* s) { return new THammingWindowStep(false, s); }, true},
        {"Lorentzian filter", [](TCSISet* s) { return new TLorentzFilterStep(12.5f, false, s); }, true},
        {"Gauss filter", [](TCSISet* s) { return new TGaussFilterStep(30, false, s); }, true},
        {"Lorentz-Gauss filter", [](TCSISet* s) { return new TLorentzGaussFilterStep(20, 7.5f, false, s); }, true},
        {"water suppression", [](TCSISet* s) { return new TWaterSuppressionStep(ShortWaterWindow(), false, s); }, true},
        {"baseline correction", [](TCSISet* s) { return new TBaselineStep(200, 0.8f, false, s); }, true},
    };
    for (int processors : {1, 4}) {
        SetProcessorCount(processors);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", processors " + std::to_string(processors));
            auto set = MakeSet(4, 4, 2, 16);
            const TSetState before = Snapshot(*set);
            std::unique_ptr<TProcessStep> step(c.make(set.get()));
            ASSERT_TRUE(step->SaveState());
            ASSERT_TRUE(step->Apply());
            const TSetState after = Snapshot(*set);
            ASSERT_FALSE(SameBits(before, after));
            // The set is the expected state: the very bits, or to rounding for inverses.
            const auto expectSet = [&](const TSetState& expected, double tolerance) {
                if (c.exactInverse)
                    EXPECT_TRUE(SameBits(Snapshot(*set), expected));
                else
                    EXPECT_LT(Difference(Snapshot(*set), expected), tolerance);
            };

            // Undo and redo take the project's recording flag at that moment.
            m_project->m_bRecording = true;
            ASSERT_TRUE(step->Undo());
            EXPECT_TRUE(step->m_bRecorded);
            expectSet(before, 1e-6);
            m_project->m_bRecording = false;
            ASSERT_TRUE(step->Redo());
            EXPECT_FALSE(step->m_bRecorded);
            expectSet(after, 1e-6);
            ASSERT_TRUE(step->Undo());
            expectSet(before, 2e-6);
            step.reset();
            EXPECT_EQ(StateFiles(), std::vector<std::string>{});
            EXPECT_EQ(m_report.Count(), 0u);
        }
    }
}

TEST_F(MacroStepsTest, ALengthTheTransformCannotTakeLeavesTheSetAsItWas)
{
    // 41, a prime above the FFT's largest factor, along one axis or the points.
    const float centre[3] = {10, 20, 0};
    struct Case {
        const char* name;
        int size[4];  // nx, ny, nz, points
        std::function<TProcessStep*(TCSISet*)> make;
    };
    const std::vector<Case> cases = {
        // The window has run along axis 0 when it refuses axis 1: the saved state comes back.
        {"window", {4, 41, 1, 8}, [](TCSISet* s) { return new THammingWindowStep(false, s); }},
        {"voxel shift", {4, 41, 1, 4}, [&](TCSISet* s) { return new TVoxelShiftStep(centre, centre, false, s); }},
        {"zero fill", {2, 1, 1, 41}, [](TCSISet* s) { return new TZeroFillStep(false, s); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_report.Clear();
        auto set = MakeSet(c.size[0], c.size[1], c.size[2], c.size[3]);
        const TSetState before = Snapshot(*set);
        std::unique_ptr<TProcessStep> step(c.make(set.get()));
        ASSERT_TRUE(step->SaveState());
        EXPECT_FALSE(step->Apply());
        EXPECT_TRUE(SameBits(Snapshot(*set), before));
        EXPECT_EQ(m_report.Count(), 1u);
    }
}

TEST_F(MacroStepsTest, StepsOnSamplesOrSlicesTheSetLacksFail)
{
    const float centre[3] = {10, 20, 0};
    auto set = MakeSet(4, 4, 2, 8);
    const TSetState before = Snapshot(*set);
    for (int slice : {-1, 2, 7})
        EXPECT_FALSE(TPhasingStep(0, 1.0f, 0, 0, 0, 0, 1, slice, false, set.get()).Apply()) << slice;
    EXPECT_TRUE(SameBits(Snapshot(*set), before));
    set->m_bLoaded = false;
    EXPECT_FALSE(TVoxelShiftStep(centre, centre, false, set.get()).Apply());
    EXPECT_FALSE(TPhasingStep(0, 1.0f, 0, 0, 0, 0, 0, 0, false, set.get()).Apply());
    EXPECT_FALSE(TZeroFillStep(false, set.get()).Apply());
    EXPECT_FALSE(TLorentzFilterStep(3.0f, false, set.get()).RunParallel(2));
}

// --- Lorentzian filter on the workers -----------------------------------------------------

TEST_F(MacroStepsTest, TheLorentzianFilterOnTheWorkersEqualsOneWorker)
{
    for (bool timeDomain : {false, true}) {
        const auto makeSet = [&] {
            auto set = MakeSet(5, 3, 2, 32);
            set->m_bFrequencyDomain = timeDomain ? 0 : 1;
            set->m_nEchoPosition = 3;
            return set;
        };
        SetProcessorCount(1);
        auto reference = makeSet();
        TLorentzFilterStep one(4.5f, false, reference.get());
        ASSERT_TRUE(one.Apply());
        const TSetState expected = Snapshot(*reference);
        for (int processors : {2, 3, 8}) {
            SCOPED_TRACE("processors " + std::to_string(processors) + (timeDomain ? ", time domain" : ""));
            SetProcessorCount(processors);
            auto set = makeSet();
            TLorentzFilterStep step(4.5f, false, set.get());
            const long started = WorkerThreadsStarted();
            ASSERT_TRUE(step.Apply());
            EXPECT_GE(WorkerThreadsStarted(), started + processors);
            EXPECT_TRUE(SameBits(Snapshot(*set), expected));
        }
    }
}

TEST_F(MacroStepsTest, ALorentzianWorkerThatCannotStartLeavesNoVoxelUnweightedOrWeightedTwice)
{
    SetProcessorCount(3);
    // Time-domain samples: the weighting is the first thing that starts workers. Once
    // starts are refused the way back to the frequency domain is refused too, so the
    // weighted time-domain samples stay for the test to see.
    auto weightedOnce = MakeSet(6, 2, 1, 64);
    weightedOnce->m_bFrequencyDomain = 0;
    ASSERT_TRUE(weightedOnce->LorentzFilterPart(60.0f, 1, 0));
    for (int failAfter : {0, 1, 2}) {
        SCOPED_TRACE("fail after " + std::to_string(failAfter));
        auto set = MakeSet(6, 2, 1, 64);
        set->m_bFrequencyDomain = 0;
        TLorentzFilterStep step(60.0f, false, set.get());
        FailWorkerStartsAfter(failAfter);
        EXPECT_FALSE(step.RunParallel(3));
        FailWorkerStartsAfter(-1);
        EXPECT_EQ(set->m_bFrequencyDomain, 0);
        EXPECT_LT(Difference(Snapshot(*set), Snapshot(*weightedOnce)), 1e-5);

        // Through Apply the state saved before is put back.
        auto applied = MakeSet(6, 2, 1, 64);
        const TSetState before = Snapshot(*applied);
        TLorentzFilterStep failing(60.0f, false, applied.get());
        ASSERT_TRUE(failing.SaveState());
        FailWorkerStartsAfter(failAfter);
        EXPECT_FALSE(failing.Apply());
        FailWorkerStartsAfter(-1);
        EXPECT_TRUE(SameBits(Snapshot(*applied), before));
    }
}

// --- water suppression and baseline fit ---------------------------------------------------

TEST_F(MacroStepsTest, WaterSuppressionOnTheWorkersEqualsOneWorkerAndAFailingWorkerFailsIt)
{
    // The moving average over the selected voxels, HLSVD over all.
    for (int method : {0, 1}) {
        TWaterSuppressionParams p;
        p.m_nMethod = method;
        p.m_nPeaks = 6;
        p.m_fWaterStart = 150.0f;
        p.m_fWaterEnd = -150.0f;
        p.m_bSelectedOnly = method == 0 ? 1 : 0;
        const auto makeSet = [&] {
            auto set = MakeSet(5, 3, 2, 64);
            for (size_t v = 0; v < set->VoxelCount(); v += 3)
                set->GetVoxel(v)->m_bSelected = 1;
            return set;
        };
        SetProcessorCount(1);
        auto reference = makeSet();
        ASSERT_TRUE(TWaterSuppressionStep(p, false, reference.get()).Apply()) << method;
        for (int processors : {2, 3, 8}) {
            SCOPED_TRACE("method " + std::to_string(method) + ", processors " + std::to_string(processors));
            SetProcessorCount(processors);
            auto set = makeSet();
            ASSERT_TRUE(TWaterSuppressionStep(p, false, set.get()).Apply());
            EXPECT_TRUE(SameBits(Snapshot(*set), Snapshot(*reference)));
        }
    }

    // A worker that fails after doing its part fails the step, which puts the set back.
    class TFailingPart : public TWaterSuppressionStep {
    public:
        using TWaterSuppressionStep::TWaterSuppressionStep;
        bool RunPart(int parts, int index) override { return TWaterSuppressionStep::RunPart(parts, index) && index != 1; }
    };
    SetProcessorCount(3);
    auto set = MakeSet(6, 2, 1, 64);
    const TSetState before = Snapshot(*set);
    TFailingPart failing(TWaterSuppressionParams(), false, set.get());
    ASSERT_TRUE(failing.SaveState());
    EXPECT_FALSE(failing.Apply());
    EXPECT_TRUE(SameBits(Snapshot(*set), before));
    EXPECT_EQ(m_report.Count(), 0u);
}

TEST_F(MacroStepsTest, BaselineFitRegionsGoFromPPMToPointsOfTheSet)
{
    // 64 points, 1000 Hz at 100 MHz, 0 ppm at point 32: ppm p lies at point 32 - 6.4 p,
    // taken as trunc(index + 0.5), so down to half a point below 0 is point 0.
    const auto point = [](float ppm) { return static_cast<int32_t>(std::trunc(32.0 - 6.4 * ppm + 0.5)); };
    struct Case {
        int method;
        std::vector<float> ppm;
        bool inside;
    };
    const std::vector<Case> cases = {
        {0, {2.0f, 1.0f, -1.0f, -2.5f}, true}, {1, {5.0625f, 4.0f}, true}, {0, {2.0f, -5.0f}, false},
        {1, {1.0f, 0.5f, 5.5f, 4.0f}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.ppm));
        m_report.Clear();
        auto set = MakeSet(3, 2, 1, 64);
        set->m_fFrequency = 100.0f;
        auto reference = MakeSet(3, 2, 1, 64);
        reference->m_fFrequency = 100.0f;
        TBaselineFitStep step(static_cast<int>(c.ppm.size() / 2), c.method, c.ppm.data(), false, set.get());
        ASSERT_TRUE(step.SaveState());
        EXPECT_EQ(step.Apply(), c.inside);
        if (c.inside) {
            std::vector<int32_t> regions;
            for (float ppm : c.ppm)
                regions.push_back(point(ppm));
            ASSERT_TRUE(reference->FitBaselineAll(c.method, static_cast<int>(c.ppm.size() / 2), regions.data()));
        }
        EXPECT_TRUE(SameBits(Snapshot(*set), Snapshot(*reference)));
        EXPECT_EQ(m_report.Count(), c.inside ? 0u : 1u);
    }
}

// --- k-space windows ----------------------------------------------------------------------

TEST_F(MacroStepsTest, WindowsRunAlongTheAxesOfTheAcquisition)
{
    struct Case {
        int dims;
        int sliceAxis;
        std::vector<int> axes;
    };
    const std::vector<Case> cases = {
        {3, 2, {0, 1, 2}}, {2, 0, {1, 2}}, {2, 1, {0, 2}}, {2, 2, {0, 1}}, {1, 2, {}}, {0, 2, {}}, {2, 5, {}},
    };
    struct Window {
        int type;
        std::function<TProcessStep*(TCSISet*)> make;
    };
    const std::vector<Window> windows = {
        {kHammingWindow, [](TCSISet* s) { return new THammingWindowStep(false, s); }},
        {kCosineWindow, [](TCSISet* s) { return new TCosineWindowStep(false, s); }},
        {kFermiWindow, [](TCSISet* s) { return new TFermiWindowStep(false, s); }},
    };
    for (const Window& w : windows) {
        for (const Case& c : cases) {
            SCOPED_TRACE("type " + std::to_string(w.type) + ", dimensions " + std::to_string(c.dims) +
                         ", slice axis " + std::to_string(c.sliceAxis));
            // Three different axis lengths, so that a wrong axis or radius shows.
            auto set = MakeSet(8, 12, 16, 2);
            set->m_nSpatialDims = c.dims;
            set->m_nSliceAxis = c.sliceAxis;
            auto reference = MakeSet(8, 12, 16, 2);
            for (int axis : c.axes) {
                const int n = reference->m_nDim[axis];
                // The Fermi window: radius a quarter of the axis, width half a point.
                const bool fermi = w.type == kFermiWindow;
                ASSERT_TRUE(reference->SpatialFilter(axis, w.type, fermi ? static_cast<float>(n / 4) : 0.0f,
                                                     fermi ? 0.5f : 0.0f));
            }
            std::unique_ptr<TProcessStep> step(w.make(set.get()));
            EXPECT_TRUE(step->Apply());
            EXPECT_TRUE(test::SameBits(test::Samples(*set), test::Samples(*reference)));
        }
    }
}

// --- phasing ------------------------------------------------------------------------------

TEST_F(MacroStepsTest, PhasingLeavesTheSetWithThePhasesItRecords)
{
    // Two sets with the same signal: one never phased, one already phased by (0.4, 0.9)
    // about point 6 and recording it. A step read from a macro file brings both to the
    // same phases, which both record.
    auto plain = MakeSet(3, 2, 1, 16);
    auto phased = MakeSet(3, 2, 1, 16);
    phased->Phase(0.4f, 0.9f, 6, 0, 0, false);
    phased->SetPhase0(0.4f, 0, 0);
    phased->SetPhase1(0.9f, 6, 0, 0);
    for (TCSISet* set : {plain.get(), phased.get()}) {
        TPhasingStep step;
        step.m_fNewPhase0 = 1.1f;
        step.m_fNewPhase1 = -0.5f;
        step.m_nNewPivot = 4;
        step.SetDataSet(set);
        ASSERT_TRUE(step.Apply());
        EXPECT_EQ(set->m_fPhase0, 1.1f);
        EXPECT_EQ(set->m_fPhase1, -0.5f);
        EXPECT_EQ(set->m_nPivot, 4);
    }
    EXPECT_LT(Difference(Snapshot(*plain), Snapshot(*phased)), 1e-6);

    // Against a direct computation: sample k of the plain set was turned by
    // 1.1 + (k - 4) * (-0.5) / 16 radians.
    auto original = MakeSet(3, 2, 1, 16);
    const std::vector<TComplex> before = test::Samples(*original);
    const std::vector<TComplex> after = test::Samples(*plain);
    for (size_t i = 0; i < before.size(); ++i) {
        const double a = 1.1 + (static_cast<double>(i % 16) - 4) * -0.5 / 16;
        const std::complex<double> expected = std::complex<double>(before[i]) * std::polar(1.0, a);
        EXPECT_NEAR(after[i].real(), expected.real(), 1e-6 * std::abs(expected) + 1e-12) << i;
        EXPECT_NEAR(after[i].imag(), expected.imag(), 1e-6 * std::abs(expected) + 1e-12) << i;
    }
}

// --- PPM referencing ----------------------------------------------------------------------

TEST_F(MacroStepsTest, PPMReferencingKeepsTheMapBoundsOnTheirPoints)
{
    auto set = MakeSet(2, 2, 1, 64);
    set->m_fPPMCentrePoint = 20.0f;
    set->m_fPPMCentreValue = 4.7f;
    TMap* map = new TMap(set.get());
    map->peakStartPPM = 3.2f;
    map->peakEndPPM = 2.9f;
    map->refPeakStartPPM = 2.1f;
    map->refPeakEndPPM = -1.5f;
    set->AddMap(map);
    const auto bounds = [&] {
        return std::vector<float>{map->peakStartPPM, map->peakEndPPM, map->refPeakStartPPM, map->refPeakEndPPM};
    };
    const std::vector<float> ppmBefore = bounds();
    // Point of a ppm value for a centre: centre - N * ppm * f / SW.
    const auto pointOf = [&](float ppm, double centre) {
        return centre - 64.0 * ppm * set->m_fFrequency / set->m_nSpectralWidth;
    };

    // A step as read from a macro file: no old values.
    TPPMCenterStep step;
    step.m_fNewCentre = 33.5f;
    step.m_fNewReference = 0.0f;
    step.SetDataSet(set.get());
    ASSERT_TRUE(step.Apply());
    EXPECT_EQ(set->m_fPPMCentrePoint, 33.5f);
    EXPECT_EQ(set->m_fPPMCentreValue, 0.0f);
    EXPECT_EQ(step.m_fOldCentre, 20.0f);
    EXPECT_EQ(step.m_fOldReference, 4.7f);
    const std::vector<float> ppmAfter = bounds();
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(pointOf(ppmAfter[i], 33.5), pointOf(ppmBefore[i], 20.0), 1e-4) << i;

    // Undo goes back to the set's own values, not to zero.
    ASSERT_TRUE(step.Undo());
    EXPECT_EQ(set->m_fPPMCentrePoint, 20.0f);
    EXPECT_EQ(set->m_fPPMCentreValue, 4.7f);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(bounds()[i], ppmBefore[i], 1e-5) << i;
    ASSERT_TRUE(step.Redo());
    EXPECT_EQ(set->m_fPPMCentrePoint, 33.5f);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(bounds()[i], ppmAfter[i], 1e-5) << i;

    // No move, or no frequency (no ppm scale to move on): the bounds stay.
    const std::vector<float> kept = bounds();
    set->RereferenceMaps(16.0f, 16.0f);
    EXPECT_EQ(bounds(), kept);
    set->m_fFrequency = 0.0f;
    set->RereferenceMaps(16.0f, 40.0f);
    EXPECT_EQ(bounds(), kept);
    // A set without maps has nothing to move.
    MakeSet(2, 1, 1, 32)->RereferenceMaps(3.0f, 9.0f);
}

// --- zero filling -------------------------------------------------------------------------

TEST_F(MacroStepsTest, ZeroFillDoublesThePointsAndUndoRestoresTheDisplay)
{
    auto set = MakeSet(2, 2, 1, 16);
    set->m_nFirstPoint = 2;
    set->m_nLastPoint = 12;
    m_project->m_pWorkSet = set.get();
    TZeroFillStep step(false, set.get());
    ASSERT_TRUE(step.SaveState());
    ASSERT_TRUE(step.Apply());
    EXPECT_EQ(set->m_nPoints, 32);
    EXPECT_EQ(set->m_fPPMCentrePoint, 16.0f);
    EXPECT_EQ(step.m_nPointsBefore, 16);
    EXPECT_EQ(step.m_nPointsAfter, 32);
    // The processed range stays where it was.
    EXPECT_EQ(set->m_nFirstPoint, 2);
    EXPECT_EQ(set->m_nLastPoint, 12);

    ASSERT_TRUE(step.Undo());
    EXPECT_EQ(set->m_nPoints, 16);
    EXPECT_EQ(set->m_fPPMCentrePoint, 8.0f);
    EXPECT_EQ(step.m_nPointsBefore, 32);
    EXPECT_EQ(step.m_nPointsAfter, 16);
    EXPECT_EQ(m_project->m_display.m_nXStart, 0);
    EXPECT_EQ(m_project->m_display.m_nXEnd, 15);
    ASSERT_TRUE(step.Redo());
    EXPECT_EQ(m_project->m_display.m_nXEnd, 31);
    m_project->m_pWorkSet = nullptr;
}

// --- voxel shift --------------------------------------------------------------------------

TEST_F(MacroStepsTest, AShiftOfOneVoxelMovesTheSamplesOneVoxelAlong)
{
    // 240 mm over 4 voxels: 60 mm a voxel. Moving the grid centre by +60 mm along x
    // makes voxel x show what voxel x + 1 showed.
    auto set = MakeSet(4, 3, 2, 8);
    const std::vector<TComplex> before = test::Samples(*set);
    const float oldCentre[3] = {0, 0, 0};
    const float newCentre[3] = {60, 0, 0};
    TVoxelShiftStep step(oldCentre, newCentre, false, set.get());
    ASSERT_TRUE(step.SaveState());
    ASSERT_TRUE(step.Apply());
    const std::vector<TComplex> after = test::Samples(*set);
    double largest = 0;
    for (const TComplex& c : before)
        largest = std::max(largest, static_cast<double>(std::abs(c)));
    for (int z = 0; z < 2; ++z)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                for (int k = 0; k < 8; ++k) {
                    const size_t to = ((static_cast<size_t>(z) * 3 + y) * 4 + x) * 8 + k;
                    const size_t from = ((static_cast<size_t>(z) * 3 + y) * 4 + (x + 1) % 4) * 8 + k;
                    ASSERT_LT(std::abs(after[to] - before[from]), 1e-5 * largest) << x << " " << y << " " << z;
                }
    EXPECT_EQ(std::vector<float>(set->m_fOffCentre, set->m_fOffCentre + 3), (std::vector<float>{60, 0, 0}));
    EXPECT_EQ(std::vector<float>(set->m_fVoxelShift, set->m_fVoxelShift + 3), (std::vector<float>{0, 0, 0}));

    // Undo: the off-centre comes back with the samples; the new centre takes the old
    // one and the old one the off-centre the set had before the undo.
    ASSERT_TRUE(step.Undo());
    EXPECT_TRUE(test::SameBits(test::Samples(*set), before));
    EXPECT_EQ(std::vector<float>(set->m_fOffCentre, set->m_fOffCentre + 3), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(std::vector<float>(step.m_fNewCentre, step.m_fNewCentre + 3), (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(std::vector<float>(step.m_fOldCentre, step.m_fOldCentre + 3), (std::vector<float>{60, 0, 0}));
    ASSERT_TRUE(step.Redo());
    EXPECT_TRUE(test::SameBits(test::Samples(*set), after));
    EXPECT_EQ(std::vector<float>(step.m_fNewCentre, step.m_fNewCentre + 3), (std::vector<float>{60, 0, 0}));
}

}  // namespace
