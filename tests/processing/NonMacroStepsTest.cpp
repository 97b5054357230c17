// The undoable steps that never go into a macro: apply, undo and redo of each on a set
// or an image.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/TTextFile.h"
#include "platform/Workers.h"
#include "processing/THLSVDPeakRemovalStep.h"
#include "processing/TImageNormalizationStep.h"
#include "processing/TImageSmoothingStep.h"
#include "processing/TIndividualPhasingStep.h"
#include "processing/TInitialAlignmentStep.h"
#include "processing/TLipidSuppressionStep.h"
#include "processing/TManualAlignmentStep.h"
#include "processing/TSSPStep.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "TestSteps.h"

using namespace vx;

namespace {

using test::SameBits;
using test::Snapshot;

using NonMacroStepsTest = test::OpenProjectTest;

TEST_F(NonMacroStepsTest, EveryStepIsUndoneAndRedoneBitForBit)
{
    using Make = std::function<TProcessStep*(TCSISet*, TMRImage*)>;
    // {display name, maker, changes after Apply that the saved state also takes back}
    const std::vector<std::tuple<const char*, Make, std::function<void(TCSISet&)>>> cases = {
        {"Initial alignment", [](TCSISet* s, TMRImage*) { return new TInitialAlignmentStep(2, 13, s); }, {}},
        {"Manual alignment", [](TCSISet* s, TMRImage*) { return new TManualAlignmentStep(5, 2, s); }, {}},
        {"lipid suppression", [](TCSISet* s, TMRImage*) { return new TLipidSuppressionStep(4, s); }, {}},
        {"HLSVD Peak Removal", [](TCSISet* s, TMRImage*) { return new THLSVDPeakRemovalStep(4, 200, -200, false, s); },
         {}},
        {"SSP with 2 components", [](TCSISet* s, TMRImage*) { return new TSSPStep(2, 3, 12, s); }, {}},
        {"Individual phasing", [](TCSISet* s, TMRImage*) { return new TIndividualPhasingStep(false, s); },
         [](TCSISet& s) {
             s.GetVoxel(3)->Phase(0.7f, 0.0f, 0);
             s.GetVoxel(20)->Phase(-1.9f, 0.3f, 4);
         }},
        {"image smoothing", [](TCSISet*, TMRImage* i) { return new TImageSmoothingStep(i); }, {}},
        {"image intensity normalization",
         [](TCSISet*, TMRImage* i) { return new TImageNormalizationStep(2.0f, 10.0f, i); }, {}},
    };
    test::TScriptedReport report;
    test::TProcessorCountGuard processors;
    SetProcessorCount(3);
    for (const auto& [name, make, change] : cases) {
        SCOPED_TRACE(name);
        const bool onImage = std::string(name).starts_with("image");
        // A 4 x 4 x 2 set of 16 points, every third voxel selected and the others sampled
        // in k-space; an 8 x 8 image of varied pixels.
        auto set = test::MakeAcquiredSet(m_project.get(), 4, 4, 2, 16);
        for (size_t v = 0; v < set->VoxelCount(); ++v) {
            set->GetVoxel(v)->m_bSelected = v % 3 == 0;
            set->m_kSpaceMask.push_back(v % 3 != 0);
        }
        auto image = std::make_unique<TMRImage>(m_project.get());
        image->SetWidth(8, false);
        image->SetHeight(8, false);
        std::vector<int16_t> pixels;
        for (int k = 0; k < 64; ++k)
            pixels.push_back(static_cast<int16_t>((k * 37) % 101 + (k % 8 < 4 ? 400 : 0)));
        ASSERT_TRUE(image->SetPixels(pixels));
        const auto state = [&] { return std::make_pair(Snapshot(*set), image->GetPixels()); };
        const auto same = [](const auto& a, const auto& b) { return SameBits(a.first, b.first) && a.second == b.second; };

        // Without its data set or image a step does nothing.
        std::unique_ptr<TProcessStep> empty(make(nullptr, nullptr));
        EXPECT_FALSE(empty->SaveState());
        EXPECT_FALSE(empty->Apply());
        EXPECT_FALSE(empty->Undo());
        empty.reset();

        const auto before = state();
        std::unique_ptr<TProcessStep> step(make(set.get(), image.get()));
        EXPECT_EQ(step->GetDisplayName(), name);
        EXPECT_FALSE(step->m_bRecorded);
        // A recorded macro leaves the step out: it writes no block and reads none.
        const std::string macro = m_dir.File("m.mcr");
        TTextFile file;
        ASSERT_TRUE(file.Open(macro, TTextFile::Mode::Write));
        step->WriteMacro(file);
        ASSERT_TRUE(file.Close() && file.Open(macro, TTextFile::Mode::Read));
        EXPECT_TRUE(step->ReadMacro(file));
        EXPECT_EQ(test::ReadBytes(macro), "");
        ASSERT_TRUE(step->SaveState());
        ASSERT_TRUE(step->Apply());
        if (change)
            change(*set);
        const auto after = state();
        ASSERT_FALSE(same(before, after));

        // Steps on a set take the project's recording flag when undone or redone.
        m_project->m_bRecording = true;
        ASSERT_TRUE(step->Undo());
        EXPECT_EQ(step->m_bRecorded, !onImage);
        EXPECT_TRUE(same(state(), before));
        m_project->m_bRecording = false;
        ASSERT_TRUE(step->Redo());
        EXPECT_FALSE(step->m_bRecorded);
        EXPECT_TRUE(same(state(), after));
        ASSERT_TRUE(step->Undo());
        EXPECT_TRUE(same(state(), before));
        step.reset();
        EXPECT_EQ(StateFiles(), std::vector<std::string>{});
        EXPECT_EQ(report.Count(), 0u);
    }
}

}  // namespace
