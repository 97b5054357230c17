// Macro files: a file written by hand from the documented layout reads into its steps
// and our writer gives it back byte for byte; the reader's rules for damaged and
// hand-edited files; the step types a file can name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <list>
#include <numbers>
#include <string>
#include <vector>

#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/Report.h"
#include "platform/TTextFile.h"
#include "processing/MacroFile.h"
#include "processing/TBaselineFitStep.h"
#include "processing/TBaselineStep.h"
#include "processing/TGaussFilterStep.h"
#include "processing/TLorentzFilterStep.h"
#include "processing/TLorentzGaussFilterStep.h"
#include "processing/TPPMCenterStep.h"
#include "processing/TPhasingStep.h"
#include "processing/TProcessHistory.h"
#include "processing/TVoxelShiftStep.h"
#include "processing/TWaterSuppressionStep.h"
#include "processing/TZeroFillStep.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "TestSteps.h"

using namespace vx;
using test::CRLF;
using test::Radians;

namespace {

// One block of every type, as the format describes it.
const std::vector<std::string> kEveryStepFile = {
    "#Vexara Macro File#",
    "",
    "<action>", "#Voxel Shifting", "type = 0",
    "xCenterMoveTo(mm) = 12.5", "yCenterMoveTo(mm) = -3.25", "zCenterMoveTo(mm) = .5",
    "xOldCenter(mm) = 0", "yOldCenter(mm) = -1.125", "zOldCenter(mm) = 7",
    "</action>", "",
    "<action>", "#Phasing", "type = 1",
    "ConstantPhaseinDegree = 90", "LinearPhaseinDegree = -45.5", "Pivot = 512", "IsMultiSlice = 1",
    "SliceIndex = 3",
    "</action>", "",
    "<action>", "#PPM Center adjustment", "type = 2", "NewPPMCenter = 256.75", "NewReferenceinPPM = 4.7",
    "</action>", "",
    "<action>", "#Zero fill to double the length in time axis", "type = 3", "</action>", "",
    "<action>", "#Cosine window smoothing", "type = 4", "</action>", "",
    "<action>", "#Fermi window smoothing", "type = 5", "</action>", "",
    "<action>", "#Hamming window smoothing", "type = 6", "</action>", "",
    "<action>", "#Lorentzian filtering", "type = 7", "FilterLineWidth = 2.5", "</action>", "",
    "<action>", "#Gauss filtering", "type = 8", "FilterLineWidth = 3", "</action>", "",
    "<action>", "#Lorentzian-Gauss filtering", "type = 9", "GaussLineWidth = 1.25", "LorenLineWidth = .75",
    "</action>", "",
    "<action>", "#Water suppression", "type = 10",
    "methodID = 1", "WindowType = 2", "WindowLength = 25", "NumOfPeaks = 12",
    "WaterStartInHz = 40.5", "WaterEndInHz = -38", "WaterPeakAlignRangeinPPM = .25",
    "</action>", "",
    "<action>", "#Baseline correction", "type = 12", "LineWidth = 250", "Scale = .8", "</action>", "",
    "<action>", "#Baseline correction using fitting method", "type = 13", "methodID = 1", "NumofPeaks = 2",
    "PeakStart = 3.25", "PeakEnd = 2.9", "PeakStart = 2.1", "PeakEnd = 1.875",
    "</action>", "",
};

class MacroFileTest : public test::OpenProjectTest {
protected:
    void TearDown() override
    {
        Clear();
        OpenProjectTest::TearDown();
    }
    void Clear()
    {
        for (TProcessStep* pStep : m_steps)
            delete pStep;
        m_steps.clear();
    }
    // Reads the bytes as a macro file into m_steps (emptied first).
    bool Read(const std::string& bytes)
    {
        Clear();
        test::WriteBytes(m_dir.File("in.mcr"), bytes);
        TTextFile file;
        EXPECT_TRUE(file.Open(m_dir.File("in.mcr"), TTextFile::Mode::Read));
        return ReadMacroSteps(file, m_steps);
    }
    std::vector<int> Kinds() const
    {
        std::vector<int> kinds;
        for (const TProcessStep* pStep : m_steps)
            kinds.push_back(pStep->m_nKind);
        return kinds;
    }
    template <class T>
    T* Step(size_t index) const
    {
        auto it = m_steps.begin();
        std::advance(it, static_cast<long>(index));
        return dynamic_cast<T*>(*it);
    }

    std::list<TProcessStep*> m_steps;
    test::TScriptedReport m_report;
};

TEST_F(MacroFileTest, AHandWrittenFileReadsIntoItsStepsAndIsWrittenBackByteForByte)
{
    const std::string bytes = CRLF(kEveryStepFile);
    ASSERT_TRUE(Read(bytes));
    EXPECT_EQ(Kinds(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 13}));
    EXPECT_EQ(m_report.Count(), 0u);

    const auto* shift = Step<TVoxelShiftStep>(0);
    ASSERT_NE(shift, nullptr);
    using Floats = std::vector<float>;
    EXPECT_EQ(Floats(shift->m_fNewCentre, shift->m_fNewCentre + 3), (Floats{12.5f, -3.25f, 0.5f}));
    EXPECT_EQ(Floats(shift->m_fOldCentre, shift->m_fOldCentre + 3), (Floats{0.0f, -1.125f, 7.0f}));

    const auto* phase = Step<TPhasingStep>(1);
    ASSERT_NE(phase, nullptr);
    EXPECT_FLOAT_EQ(phase->m_fNewPhase0, Radians(90));
    EXPECT_FLOAT_EQ(phase->m_fNewPhase1, Radians(-45.5));
    EXPECT_EQ((std::vector<int>{phase->m_nNewPivot, phase->m_nMultiSlice, phase->m_nSlice}),
              (std::vector<int>{512, 1, 3}));
    // The old values are not in the file.
    EXPECT_EQ((Floats{phase->m_fOldPhase0, phase->m_fOldPhase1, float(phase->m_nOldPivot)}), (Floats{0, 0, 0}));

    const auto* ppm = Step<TPPMCenterStep>(2);
    ASSERT_NE(ppm, nullptr);
    EXPECT_EQ((Floats{ppm->m_fNewCentre, ppm->m_fNewReference, ppm->m_fOldCentre}), (Floats{256.75f, 4.7f, 0}));

    const auto* lorentz = Step<TLorentzFilterStep>(7);
    const auto* gauss = Step<TGaussFilterStep>(8);
    const auto* lg = Step<TLorentzGaussFilterStep>(9);
    ASSERT_TRUE(lorentz && gauss && lg);
    EXPECT_EQ((Floats{lorentz->m_fLineWidth, gauss->m_fLineWidth, lg->m_fGaussWidth, lg->m_fLorentzWidth}),
              (Floats{2.5f, 3.0f, 1.25f, 0.75f}));

    const TWaterSuppressionParams& w = Step<TWaterSuppressionStep>(10)->m_params;
    EXPECT_EQ((std::vector<float>{float(w.m_nMethod), float(w.m_nWindowType), float(w.m_nWindowLength),
                                  float(w.m_nPeaks), w.m_fWaterStart, w.m_fWaterEnd, w.m_fPeakAlignRange}),
              (std::vector<float>{1, 2, 25, 12, 40.5f, -38, 0.25f}));
    const auto* baseline = Step<TBaselineStep>(11);
    EXPECT_EQ((std::vector<float>{baseline->m_fLineWidth, baseline->m_fScale}), (std::vector<float>{250, 0.8f}));
    const auto* fit = Step<TBaselineFitStep>(12);
    EXPECT_EQ((std::vector<float>{float(fit->m_nMethod), float(fit->m_nPeaks), fit->m_fPeakPPM[0][0],
                                  fit->m_fPeakPPM[0][1], fit->m_fPeakPPM[1][0], fit->m_fPeakPPM[1][1]}),
              (std::vector<float>{1, 2, 3.25f, 2.9f, 2.1f, 1.875f}));

    // Steps read from a file have no set, are undoable, not recorded, do nothing
    // without a set and have no state file yet.
    for (TProcessStep* pStep : m_steps) {
        SCOPED_TRACE(pStep->m_nKind);
        EXPECT_EQ(pStep->m_pDataSet, nullptr);
        EXPECT_TRUE(pStep->m_bUndoable);
        EXPECT_FALSE(pStep->m_bRecorded);
        EXPECT_FALSE(pStep->SaveState());
        EXPECT_FALSE(pStep->Apply());
        EXPECT_FALSE(pStep->Undo());
        EXPECT_FALSE(pStep->Redo());
        EXPECT_TRUE(pStep->m_strTempFile.empty());
    }
    EXPECT_TRUE(StateFiles().empty());
    // Given a set, all but phasing and PPM referencing (undone by their inverse) keep
    // state, in a file of their own each.
    auto set = test::MakeLoadedSet(2, 2, 1, 8);
    set->SetProject(m_project.get());
    std::vector<std::string> stateFiles;
    for (TProcessStep* pStep : m_steps) {
        SCOPED_TRACE(pStep->m_nKind);
        pStep->SetDataSet(set.get());
        EXPECT_TRUE(pStep->SaveState());
        EXPECT_EQ(pStep->m_strTempFile.empty(), pStep->m_nKind == 1 || pStep->m_nKind == 2);
        if (!pStep->m_strTempFile.empty())
            stateFiles.push_back(FileNameOf(pStep->m_strTempFile));
        pStep->SetDataSet(nullptr);
    }
    std::sort(stateFiles.begin(), stateFiles.end());
    EXPECT_EQ(StateFiles(), stateFiles);

    // The history writes the recorded steps: the same bytes.
    TProcessHistory history;
    for (TProcessStep* pStep : m_steps) {
        pStep->m_bRecorded = true;
        history.AddStep(pStep);
    }
    m_steps.clear();  // the history owns them now
    TTextFile out;
    ASSERT_TRUE(out.Open(m_dir.File("out.mcr"), TTextFile::Mode::Write));
    EXPECT_TRUE(history.WriteMacro(out));
    EXPECT_TRUE(out.Close());
    EXPECT_EQ(test::ReadBytes(m_dir.File("out.mcr")), bytes);
}

TEST_F(MacroFileTest, AnglesGoBetweenDegreesInTheFileAndRadiansInTheStep)
{
    struct Case {
        const char* text;
        double degrees;
    };
    for (const auto& [degrees, value] : {Case{"90", 90}, Case{"-45.5", -45.5}, Case{"180", 180},
                                         Case{"12.34567", 12.34567}, Case{"-.125", -0.125}, Case{"0", 0}}) {
        const std::vector<std::string> block = {"<action>", "#Phasing", "type = 1",
                                                std::string("ConstantPhaseinDegree = ") + degrees,
                                                std::string("LinearPhaseinDegree = ") + degrees,
                                                "Pivot = 0", "IsMultiSlice = 0", "SliceIndex = 0", "</action>", ""};
        ASSERT_TRUE(Read(CRLF(block))) << degrees;
        auto* phase = Step<TPhasingStep>(0);
        ASSERT_NE(phase, nullptr);
        EXPECT_NEAR(phase->m_fNewPhase0, value * std::numbers::pi / 180.0, 1e-6) << degrees;
        EXPECT_EQ(phase->m_fNewPhase1, phase->m_fNewPhase0) << degrees;

        TTextFile out;
        ASSERT_TRUE(out.Open(m_dir.File("phase.mcr"), TTextFile::Mode::Write));
        phase->WriteMacro(out);
        ASSERT_TRUE(out.Close());
        EXPECT_EQ(test::ReadBytes(m_dir.File("phase.mcr")), CRLF(block)) << degrees;
    }
}

// Hand-edited and damaged files: what is read, and which line is reported.
TEST_F(MacroFileTest, ReaderRules)
{
    const std::string header = "#Vexara Macro File#\r\n\r\n";
    const std::string gauss =
        CRLF({"<action>", "#Gauss filtering", "type = 8", "FilterLineWidth = 3", "</action>", ""});
    struct Case {
        const char* name;
        std::string bytes;
        bool ok;
        std::vector<int> kinds;  // of the steps read, also those before a failure
        std::string message;     // the one report expected, if any
    };
    const std::vector<Case> cases = {
        {"empty file", "", true, {}, ""},
        {"header only", header, true, {}, ""},
        {"any first comment line", CRLF({"#another program's macro#"}) + gauss, true, {8}, ""},
        {"line feeds only",
         "#Vexara Macro File#\n\n<action>\n#Gauss filtering\ntype = 8\nFilterLineWidth = 3\n</action>\n", true, {8},
         ""},
        {"no empty line at the end", header + CRLF({"<action>", "type = 7", "FilterLineWidth = 1"}) + "</action>", true,
         {7}, ""},
        {"next block right after </action>",
         header + CRLF({"<action>", "type = 3", "</action>", "<action>", "type = 4", "</action>"}), true, {3, 4}, ""},
        {"lines outside blocks", header + CRLF({"stray text", "<action> "}) + gauss, true, {8}, ""},
        {"comment and other key before the type line",
         header + CRLF({"<action>", "# a note", "", "Scale = 2", "type = 7", "</action>"}), true, {7}, ""},
        {"any middle token", header + CRLF({"<action>", "type : 7", "FilterLineWidth : 4", "</action>"}), true, {7},
         ""},
        {"keyless block passes any line", header + CRLF({"<action>", "type = 5", "not a key line at all", "</action>"}),
         true, {5}, ""},
        {"key without blanks", header + CRLF({"<action>", "type = 8", "FilterLineWidth=3", "</action>"}), false, {},
         "Invalid macro file in line: FilterLineWidth=3"},
        {"value with a unit", header + CRLF({"<action>", "type = 8", "FilterLineWidth = 3 Hz", "</action>"}), false, {},
         "Invalid macro file in line: FilterLineWidth = 3 Hz"},
        {"type line of two tokens", header + CRLF({"<action>", "type =", "</action>"}), false, {},
         "Invalid macro file in line: type ="},
        {"value not a number", header + CRLF({"<action>", "type = 8", "FilterLineWidth = nan", "</action>"}), false, {},
         "Invalid macro file in line: FilterLineWidth = nan"},
        {"value beyond a float", header + CRLF({"<action>", "type = 7", "FilterLineWidth = 1e39", "</action>"}), false,
         {}, "Invalid macro file in line: FilterLineWidth = 1e39"},
        {"value beyond a double", header + CRLF({"<action>", "type = 7", "FilterLineWidth = -1e999", "</action>"}),
         false, {}, "Invalid macro file in line: FilterLineWidth = -1e999"},
        {"digits beyond a double", header + CRLF({"<action>", "type = 7", "FilterLineWidth = " + std::string(400, '7'), "</action>"}),
         false, {}, "Invalid macro file in line: FilterLineWidth = " + std::string(400, '7')},
        {"type 11", header + CRLF({"<action>", "type = 11", "</action>"}), false, {}, ""},
        {"negative type", header + CRLF({"<action>", "type = -1", "</action>"}), false, {}, ""},
        {"type above the last", header + CRLF({"<action>", "type = 14", "</action>"}), false, {}, ""},
        {"type far above the last", header + CRLF({"<action>", "type = 100", "</action>"}), false, {}, ""},
        {"end of file before the type line", header + CRLF({"<action>", "#Gauss filtering"}), false, {}, ""},
        {"end of file before </action>", header + CRLF({"<action>", "type = 8", "FilterLineWidth = 3"}), false, {}, ""},
        {"steps before a failure stay", header + gauss + CRLF({"<action>", "type = 11", "</action>"}), false, {8}, ""},
    };
    for (const Case& c : cases) {
        m_report.Clear();
        EXPECT_EQ(Read(c.bytes), c.ok) << c.name;
        EXPECT_EQ(Kinds(), c.kinds) << c.name;
        if (c.message.empty())
            EXPECT_EQ(m_report.Count(), 0u) << c.name;
        else
            EXPECT_EQ(m_report.Messages(), std::vector<std::string>{c.message}) << c.name;
    }
}

TEST_F(MacroFileTest, NumbersAreReadLikeAtof)
{
    struct Case {
        const char* value;
        float width;
    };
    const std::vector<Case> cases = {
        {"2.5", 2.5f}, {".75", 0.75f}, {"-.5", -0.5f}, {"+4", 4.0f}, {"2.5x", 2.5f}, {"1e2", 100.0f},
        {"abc", 0.0f}, {"-", 0.0f},  {"1e-60", 0.0f}, {"1e-999", 0.0f}, {"0.0001e-999", 0.0f}, {"0e999", 0.0f},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(Read(CRLF({"<action>", "type = 7", std::string("FilterLineWidth = ") + c.value, "</action>"})))
            << c.value;
        EXPECT_EQ(Step<TLorentzFilterStep>(0)->m_fLineWidth, c.width) << c.value;
    }
    // Integer fields stop at the first character that is not a digit.
    ASSERT_TRUE(Read(CRLF({"<action>", "type = 1", "Pivot = 12.9", "SliceIndex = x", "IsMultiSlice = 1e3",
                           "</action>"})));
    EXPECT_EQ(Step<TPhasingStep>(0)->m_nNewPivot, 12);
    EXPECT_EQ(Step<TPhasingStep>(0)->m_nSlice, 0);
    EXPECT_EQ(Step<TPhasingStep>(0)->m_nMultiSlice, 1);
    // A type written with a fraction is its integer part; unknown keys are ignored.
    ASSERT_TRUE(Read(CRLF({"<action>", "type = 8.9", "LineWidth = 7", "FilterLineWidth = 2", "</action>"})));
    EXPECT_EQ(Kinds(), std::vector<int>{8});
    EXPECT_EQ(Step<TGaussFilterStep>(0)->m_fLineWidth, 2.0f);
}

TEST_F(MacroFileTest, BaselineFitPeaksCountUpToTheirNumber)
{
    // Every "PeakStart" opens the next peak, also before "NumofPeaks" is known; only the
    // peaks up to that number are kept, and an end belongs to the last peak opened.
    ASSERT_TRUE(Read(CRLF({"<action>", "type = 13", "PeakStart = 9", "PeakEnd = 9", "NumofPeaks = 2", "PeakStart = 1",
                           "PeakEnd = 2", "PeakEnd = 3", "PeakStart = 4", "PeakStart = 5", "PeakEnd = 6", "</action>"})));
    const auto* fit = Step<TBaselineFitStep>(0);
    EXPECT_EQ(fit->m_nPeaks, 2);
    EXPECT_EQ((std::vector<float>{fit->m_fPeakPPM[0][0], fit->m_fPeakPPM[0][1], fit->m_fPeakPPM[1][0],
                                  fit->m_fPeakPPM[1][1], fit->m_fPeakPPM[2][0], fit->m_fPeakPPM[2][1]}),
              (std::vector<float>{0, 0, 1, 3, 0, 0}));
}

}  // namespace

// A file is taken for a macro by its header line or by a step block, also one written by
// hand without the header or with line feeds only, or when it is empty; files of other
// kinds are not.
TEST_F(MacroFileTest, MacroFilesAreKnownByTheirHeaderOrABlock)
{
    const struct {
        const char* name;
        std::string bytes;
        TMacroFileKind kind;
    } cases[] = {
        {"header only", "#Vexara Macro File#\r\n\r\n", TMacroFileKind::Macro},
        {"block without header", "#my steps\n\n<action>\ntype = 3\n</action>\n", TMacroFileKind::Macro},
        {"block after other text", "notes\r\n<action>\r\ntype = 3\r\n</action>\r\n", TMacroFileKind::Macro},
        {"header after an empty line", "\r\n#Vexara Macro File#\r\n", TMacroFileKind::Macro},
        {"tag inside a line", "# PAR\r\n <action>\r\n<action>x\r\n", TMacroFileKind::Other},
        {"empty", "", TMacroFileKind::Macro},
        {"blank lines", "\r\n \r\n\t\n", TMacroFileKind::Macro},
        {"blank lines, then text", "\r\n\r\nnotes\r\n", TMacroFileKind::Other},
        {"binary", std::string("\0\1\2<action>\xff", 13), TMacroFileKind::Other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::WriteBytes(m_dir.File("f"), c.bytes);
        EXPECT_EQ(MacroFileKind(m_dir.File("f")), c.kind);
    }
    EXPECT_EQ(MacroFileKind(m_dir.File("missing")), TMacroFileKind::Unreadable);
}
