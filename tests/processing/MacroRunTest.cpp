// Macro runs on the project's work set: steps recorded through the history replay on a
// copy of the set bit for bit; files that do not read and steps that fail; the macro
// step's undo and redo as one.
#include <gtest/gtest.h>

#include <iterator>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TTextFile.h"
#include "processing/InstallProcessing.h"
#include "processing/TBaselineFitStep.h"
#include "processing/TBaselineStep.h"
#include "processing/TLorentzFilterStep.h"
#include "processing/TMacroStep.h"
#include "processing/TPhasingStep.h"
#include "processing/TProcessHistory.h"
#include "processing/TWaterSuppressionStep.h"
#include "processing/TZeroFillStep.h"
#include "support/AddressSpaceLimit.h"
#include "support/FileFaultScope.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "TestSteps.h"

using namespace vx;
using test::CRLF;
using test::SameBits;
using test::Snapshot;
using test::TSetState;

namespace {

const std::string kHeader = "#Vexara Macro File#\r\n\r\n";
const std::string kLorentz = CRLF({"<action>", "#Lorentzian filtering", "type = 7", "FilterLineWidth = 2.5",
                                   "</action>", ""});
const std::string kGauss = CRLF({"<action>", "#Gauss filtering", "type = 8", "FilterLineWidth = 3", "</action>", ""});
// A baseline fit whose peak ends at 9 ppm, about 5 points before the first point of the
// sets below (0 ppm at point 32, 4.09 points a ppm).
const std::string kFitOutside = CRLF({"<action>", "type = 13", "methodID = 0", "NumofPeaks = 1", "PeakStart = 1",
                                      "PeakEnd = 9", "</action>", ""});

class MacroRunTest : public test::OpenProjectTest {
protected:
    void SetUp() override
    {
        // The project made after the hooks has a history and runs macros.
        InstallProcessing();
        OpenProjectTest::SetUp();
        SetProcessorCount(3);
    }
    void TearDown() override
    {
        OpenProjectTest::TearDown();
        InstallProcessingHooks({});
    }

    // A set of the project with its data-set file, made the work set (read from that file).
    TCSISet* AddWorkSet(const std::string& name)
    {
        auto set = test::MakeAcquiredSet(m_project.get(), 4, 3, 2, 64);
        set->m_strName = name;
        set->SetFolder(m_dir.Path());
        EXPECT_TRUE(set->WriteDataFile(set->GetFilePath()));
        set->FreeSpectra();
        TCSISet* pSet = set.release();
        m_project->m_pCSISetList->Add(pSet);
        m_project->SetWorkSet(pSet);
        EXPECT_EQ(m_project->m_pWorkSet, pSet);
        return pSet;
    }
    std::string WriteMacro(const std::string& bytes)
    {
        const std::string path = m_dir.File("run.mcr");
        test::WriteBytes(path, bytes);
        return path;
    }
    const std::list<TProcessStep*>& Done() const { return m_project->m_history->DoneSteps(); }

    test::TScriptedReport m_report;
    test::TProcessorCountGuard m_processors;
};

TEST_F(MacroRunTest, StepsRecordedOnASetReplayOnACopyBitForBit)
{
    TCSISet& a = *AddWorkSet("a");
    m_project->m_history->StartRecording();
    m_project->m_bRecording = true;
    TWaterSuppressionParams water;
    water.m_nWindowLength = 16;
    water.m_nWindowType = 2;
    const float peaks[] = {3.0f, 2.0f, -1.0f, -2.0f};
    ASSERT_TRUE(TProcessStep::Perform(new TPhasingStep(0, test::Radians(90), 0, test::Radians(-45.5), 0, 20, 0, 0, true, &a),
                                      *m_project, true));
    ASSERT_TRUE(TProcessStep::Perform(new TLorentzFilterStep(2.5f, true, &a), *m_project, true));
    ASSERT_TRUE(TProcessStep::Perform(new TWaterSuppressionStep(water, true, &a), *m_project, true));
    ASSERT_TRUE(TProcessStep::Perform(new TBaselineStep(250, 0.75f, true, &a), *m_project, true));
    ASSERT_TRUE(TProcessStep::Perform(new TBaselineFitStep(2, 1, peaks, true, &a), *m_project, true));
    ASSERT_TRUE(TProcessStep::Perform(new TZeroFillStep(true, &a), *m_project, true));
    const TSetState recorded = Snapshot(a);

    const auto saveMacro = [&](const std::string& path) {
        TTextFile out;
        return out.Open(path, TTextFile::Mode::Write) && m_project->m_history->WriteMacro(out) && out.Close();
    };
    const std::string path = m_dir.File("six.mcr");
    ASSERT_TRUE(saveMacro(path));

    // The copy, as the set was before the steps.
    m_project->SetModified(false);
    TCSISet* b = AddWorkSet("b");
    const TSetState before = Snapshot(*b);
    ASSERT_TRUE(m_project->RunMacroFile(path));
    EXPECT_TRUE(SameBits(Snapshot(*b), recorded));
    EXPECT_EQ(m_report.Count(), 0u);

    // One step in the history, recorded while recording is on: written back, it is the
    // same file, step by step.
    ASSERT_EQ(Done().size(), 1u);
    EXPECT_EQ(Done().front()->GetDisplayName(), "macro");
    const std::string again = m_dir.File("again.mcr");
    ASSERT_TRUE(saveMacro(again));
    EXPECT_EQ(test::ReadBytes(again), test::ReadBytes(path));

    // One undo takes the whole macro back, one redo does it again (the phasing by its
    // inverse, to rounding).
    m_project->Undo();
    EXPECT_LT(test::Difference(Snapshot(*b), before), 1e-6);
    m_project->Redo();
    EXPECT_LT(test::Difference(Snapshot(*b), recorded), 1e-6);
}

TEST_F(MacroRunTest, AMacroThatDoesNotRunLeavesTheSetAsItWas)
{
    const std::string path = m_dir.File("run.mcr");
    const std::string wrongFormat = "Can not run macro file " + path + " because of wrong format.";
    struct Case {
        const char* name;
        std::string bytes;  // empty: no file
        std::vector<std::string> messages;
        std::vector<vx::TFileFault> faults = {};  // armed for the run
    };
    const std::vector<Case> cases = {
        {"missing file", "", {"Can not open macro file: " + path}},
        {"unknown step type", kHeader + kLorentz + CRLF({"<action>", "type = 11", "</action>"}), {wrongFormat}},
        {"damaged parameter", kHeader + kLorentz + CRLF({"<action>", "type = 8", "FilterLineWidth = 2.5 Hz", "</action>"}),
         {"Invalid macro file in line: FilterLineWidth = 2.5 Hz", wrongFormat}},
        {"peak count beyond the table", kHeader + kLorentz + CRLF({"<action>", "type = 13", "NumofPeaks = 60", "</action>"}),
         {"Invalid macro file in line: NumofPeaks = 60", wrongFormat}},
        {"no step", kHeader, {}},
        {"its only step fails", kHeader + kFitOutside,
         {"Baseline correction failed for CSI set b because peak area is out of data range.",
          "These steps of the macro failed and were left out: baseline correction."}},
        {"a file that fails while it is read", kHeader + kLorentz, {"Macro file " + path + " cannot be read to its end: input/output error."},
         {{vx::kFileRead, EIO, 1}}},
    };
    TCSISet* b = AddWorkSet("b");
    const TSetState before = Snapshot(*b);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_report.Clear();
        RemoveFile(path);
        if (!c.bytes.empty())
            WriteMacro(c.bytes);
        {
            const test::TFileFaultScope fault(c.faults);
            EXPECT_FALSE(m_project->RunMacroFile(path));
        }
        EXPECT_EQ(m_report.Messages(), c.messages);
        EXPECT_TRUE(SameBits(Snapshot(*b), before));
        EXPECT_TRUE(Done().empty());
        EXPECT_EQ(StateFiles(), std::vector<std::string>{});
    }
}

TEST_F(MacroRunTest, AWaterWindowLongerThanTheSpectraIsRefusedBeforeAnythingIsAllocated)
{
    // 2^31 - 1 points ask for a kernel of 8 GB; the address space left to the test holds 1 GB.
    const std::string water = CRLF({"<action>", "#Water suppression", "type = 10", "methodID = 0", "WindowType = 0",
                                    "WindowLength = 2147483647", "NumOfPeaks = 15", "</action>", ""});
    TCSISet* b = AddWorkSet("b");
    const TSetState before = Snapshot(*b);
    for (int workers : {1, 3}) {
        SCOPED_TRACE(workers);
        SetProcessorCount(workers);
        m_report.Clear();
        const std::string path = WriteMacro(kHeader + water);
        bool ran = true;
        {
            test::TAddressSpaceLimit limit(1ull << 30);
            ran = m_project->RunMacroFile(path);
        }
        EXPECT_FALSE(ran);
        EXPECT_EQ(m_report.Messages(),
                  (std::vector<std::string>{
                      "The water suppression window of 2147483647 points does not fit in the 64 points of the spectra.",
                      "These steps of the macro failed and were left out: water suppress Sodano."}));
        EXPECT_TRUE(SameBits(Snapshot(*b), before));
        EXPECT_TRUE(Done().empty());
    }
}

TEST_F(MacroRunTest, InABatchAFailedStepIsLoggedAndTheOthersStayAsOneStep)
{
    g_bBatchMode = true;
    TCSISet* b = AddWorkSet("b");
    EXPECT_FALSE(m_project->RunMacroFile(WriteMacro(kHeader + kLorentz + kFitOutside + kGauss)));
    EXPECT_EQ(m_report.Count(), 0u);
    EXPECT_TRUE(g_bBatchError);
    EXPECT_EQ(g_batchLog, "Baseline correction failed for CSI set b because peak area is out of data range.\r\n"
                          "These steps of the macro failed and were left out: baseline correction.\r\n");

    // The two filters, as the kernels give them.
    auto reference = test::MakeAcquiredSet(m_project.get(), 4, 3, 2, 64);
    ASSERT_TRUE(reference->LorentzFilter(2.5f));
    ASSERT_TRUE(reference->GaussFilter(3.0f));
    EXPECT_TRUE(SameBits(Snapshot(*b), Snapshot(*reference)));
    EXPECT_EQ(Done().size(), 1u);
}

TEST_F(MacroRunTest, AMemberThatCannotBeTakenBackLeavesTheMacroWhole)
{
    auto set = test::MakeAcquiredSet(m_project.get(), 3, 2, 1, 16);
    TMacroStep macro(false, nullptr);
    for (float factor : {2.0f, 3.0f, 5.0f})
        macro.m_members.push_back(new test::TScaleStep(factor, false, nullptr));
    macro.SetDataSet(set.get());
    ASSERT_TRUE(macro.Apply());
    const TSetState after = Snapshot(*set);
    // The last member is taken back, the middle one cannot be: the last is done again.
    test::WriteBytes((*std::next(macro.m_members.begin()))->m_strTempFile, "not a data-set file");
    EXPECT_FALSE(macro.Undo());
    EXPECT_TRUE(SameBits(Snapshot(*set), after));
    EXPECT_FALSE(TMacroStep(false, set.get()).Apply());  // a macro without steps
}

}  // namespace
