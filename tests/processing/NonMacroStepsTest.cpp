// The undoable steps that never go into a macro: apply, undo and redo of each on a set
// or an image, their absence from recorded macros, and an image swap whose saved
// pixels cannot be read.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/TTextFile.h"
#include "platform/Workers.h"
#include "processing/TGaussFilterStep.h"
#include "processing/THLSVDPeakRemovalStep.h"
#include "processing/TImageNormalizationStep.h"
#include "processing/TImageSmoothingStep.h"
#include "processing/TIndividualPhasingStep.h"
#include "processing/TInitialAlignmentStep.h"
#include "processing/TLipidSuppressionStep.h"
#include "processing/TLorentzFilterStep.h"
#include "processing/TManualAlignmentStep.h"
#include "processing/TProcessHistory.h"
#include "processing/TSSPStep.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "TestSteps.h"

using namespace vx;

namespace {

using test::SameBits;
using test::Snapshot;

class NonMacroStepsTest : public test::OpenProjectTest {
protected:
    // A 4 x 4 x 2 set of 16 points with every third voxel selected and k-space sampled
    // where the index is not a multiple of 3.
    std::unique_ptr<TCSISet> MakeSet()
    {
        auto set = test::MakeAcquiredSet(m_project.get(), 4, 4, 2, 16);
        set->m_kSpaceMask.resize(set->GridSize());
        for (size_t v = 0; v < set->VoxelCount(); ++v) {
            set->GetVoxel(v)->m_bSelected = v % 3 == 0 ? 1 : 0;
            set->m_kSpaceMask[v] = v % 3 ? 1 : 0;
        }
        return set;
    }
    // An 8 x 8 image of varied pixels in memory.
    std::unique_ptr<TMRImage> MakeImage()
    {
        auto image = std::make_unique<TMRImage>(m_project.get());
        image->SetWidth(8, false);
        image->SetHeight(8, false);
        std::vector<int16_t> pixels(64);
        for (size_t k = 0; k < pixels.size(); ++k)
            pixels[k] = static_cast<int16_t>((k * 37) % 101 + (k % 8 < 4 ? 400 : 0));
        EXPECT_TRUE(image->SetPixels(pixels));
        return image;
    }

    test::TScriptedReport m_report;
    test::TProcessorCountGuard m_processors;
};

TEST_F(NonMacroStepsTest, EveryStepIsUndoneAndRedoneBitForBit)
{
    struct Case {
        const char* name;
        std::function<TProcessStep*(TCSISet*, TMRImage*)> make;
        // Changes made after Apply that the step's state must also take back.
        std::function<void(TCSISet&)> change;
        bool onImage;
    };
    const std::vector<Case> cases = {
        {"Initial alignment", [](TCSISet* s, TMRImage*) { return new TInitialAlignmentStep(2, 13, s); }, {}, false},
        {"Manual alignment", [](TCSISet* s, TMRImage*) { return new TManualAlignmentStep(5, 2, s); }, {}, false},
        {"lipid suppression", [](TCSISet* s, TMRImage*) { return new TLipidSuppressionStep(4, s); }, {}, false},
        {"HLSVD Peak Removal",
         [](TCSISet* s, TMRImage*) { return new THLSVDPeakRemovalStep(4, 200, -200, false, s); }, {}, false},
        {"SSP with 2 components", [](TCSISet* s, TMRImage*) { return new TSSPStep(2, 3, 12, s); }, {}, false},
        {"Individual phasing", [](TCSISet* s, TMRImage*) { return new TIndividualPhasingStep(false, s); },
         [](TCSISet& s) {
             s.GetVoxel(3)->Phase(0.7f, 0.0f, 0);
             s.GetVoxel(20)->Phase(-1.9f, 0.3f, 4);
         },
         false},
        {"image smoothing", [](TCSISet*, TMRImage* i) { return new TImageSmoothingStep(i); }, {}, true},
        {"image intensity normalization",
         [](TCSISet*, TMRImage* i) { return new TImageNormalizationStep(2.0f, 10.0f, i); }, {}, true},
    };
    for (int processors : {1, 3}) {
        SetProcessorCount(processors);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", processors " + std::to_string(processors));
            auto set = MakeSet();
            auto image = MakeImage();
            const auto state = [&] { return std::make_pair(Snapshot(*set), image->GetPixels()); };
            const auto same = [](const auto& a, const auto& b) { return SameBits(a.first, b.first) && a.second == b.second; };

            // Without its data set or image a step does nothing.
            std::unique_ptr<TProcessStep> empty(c.make(nullptr, nullptr));
            EXPECT_FALSE(empty->SaveState());
            EXPECT_FALSE(empty->Apply());
            EXPECT_FALSE(empty->Undo());
            empty.reset();

            const auto before = state();
            std::unique_ptr<TProcessStep> step(c.make(set.get(), image.get()));
            EXPECT_EQ(step->GetDisplayName(), c.name);
            EXPECT_FALSE(step->m_bRecorded);
            ASSERT_TRUE(step->SaveState());
            ASSERT_TRUE(step->Apply());
            if (c.change)
                c.change(*set);
            const auto after = state();
            ASSERT_FALSE(same(before, after));

            // Steps on a set take the project's recording flag when undone or redone.
            m_project->m_bRecording = true;
            ASSERT_TRUE(step->Undo());
            EXPECT_EQ(step->m_bRecorded, !c.onImage);
            EXPECT_TRUE(same(state(), before));
            m_project->m_bRecording = false;
            ASSERT_TRUE(step->Redo());
            EXPECT_FALSE(step->m_bRecorded);
            EXPECT_TRUE(same(state(), after));
            ASSERT_TRUE(step->Undo());
            EXPECT_TRUE(same(state(), before));
            step.reset();
            EXPECT_EQ(StateFiles(), std::vector<std::string>{});
            EXPECT_EQ(m_report.Count(), 0u);
        }
    }
}

TEST_F(NonMacroStepsTest, ARecordedMacroLeavesTheseStepsOut)
{
    const auto macro = [&](const std::vector<TProcessStep*>& steps) {
        TProcessHistory history;
        history.StartRecording();
        for (TProcessStep* step : steps)
            history.AddStep(step);
        const std::string path = m_dir.File("m.mcr");
        TTextFile file;
        EXPECT_TRUE(file.Open(path, TTextFile::Mode::Write));
        EXPECT_TRUE(history.WriteMacro(file));
        EXPECT_TRUE(file.Close());
        return test::ReadBytes(path);
    };
    auto set = MakeSet();
    TCSISet* s = set.get();
    // The individual phasing may be recorded and still writes no block.
    const std::string filtersOnly = macro({new TLorentzFilterStep(3.0f, true, s), new TGaussFilterStep(5.0f, true, s)});
    EXPECT_EQ(macro({new TLorentzFilterStep(3.0f, true, s), new TIndividualPhasingStep(true, s),
                     new TLipidSuppressionStep(2, s), new TGaussFilterStep(5.0f, true, s)}),
              filtersOnly);
    EXPECT_NE(filtersOnly.find("<action>"), std::string::npos);
}

TEST_F(NonMacroStepsTest, AnImageSwapWhoseSavedPixelsAreDamagedKeepsThePixels)
{
    auto image = MakeImage();
    TImageSmoothingStep step(image.get());
    ASSERT_TRUE(step.SaveState());
    ASSERT_TRUE(step.Apply());
    const std::vector<int16_t> smoothed = image->GetPixels();
    test::WriteBytes(step.m_strTempFile, "short");
    EXPECT_FALSE(step.Undo());
    EXPECT_EQ(image->GetPixels(), smoothed);
    EXPECT_TRUE(m_report.Contains("Can not read pixel file " + step.m_strTempFile));
    // Only the damaged state file is left; nothing was written over it.
    EXPECT_EQ(StateFiles().size(), 1u);
    EXPECT_EQ(test::ReadBytes(step.m_strTempFile), "short");
}

}  // namespace
