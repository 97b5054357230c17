// File > Batch Processing on a temporary exam location: two studies holding real SPAR/SDAT
// spectra and one empty study, run with a macro file while the fixture project is open.
// The output projects' sets must equal the macro applied by hand, the saved log must be
// exactly the run's text, and nothing may wait on a box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QTest>
#include <QLineEdit>

#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/dialogs/CBatchErrorsDlg.h"
#include "app/CBatchProcessDlg.h"
#include "app/CMainFrame.h"
#include "app/WindowFactory.h"
#include "model/ProcessingHooks.h"
#include "model/ReaderHooks.h"
#include "model/TBatchRun.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TProject.h"
#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "processing/InstallProcessing.h"
#include "readers/ReaderFactory.h"
#include "support/DialogScript.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/GuiFixture.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

const char* const kSources[] = {"spar_sdat/spant/philips_spar_sdat_WS", "spar_sdat/spant/philips_spar_sdat_W"};
const std::string kMacro = "#Vexara Macro File#\r\n\r\n<action>\r\n#Lorentzian filtering\r\ntype = 7\r\n"
                           "FilterLineWidth = 2.5\r\n</action>\r\n";

// The scanner's single-voxel pair laid out as a 2 x 2 grid of its spectrum under the given
// name in `folder`: the header names two spatial axes of 2 points, the data holds the
// spectrum four times.
void WriteGridPair(const std::string& source, const std::string& folder, const std::string& name)
{
    std::string header;
    std::string line;
    const std::string spar = ReadBytes(SampleDataPath(source + ".SPAR"));
    for (size_t start = 0; start < spar.size();) {
        size_t end = spar.find('\n', start);
        end = end == std::string::npos ? spar.size() : end + 1;
        line = spar.substr(start, end - start);
        start = end;
        const std::string key = line.substr(0, line.find(':'));
        const std::string ending = line.size() >= 2 && line[line.size() - 2] == '\r' ? "\r\n" : "\n";
        if (key.find("num_dimensions") != std::string::npos)
            line = key + ": 3" + ending;
        else if (key.find("dim2_pnts") != std::string::npos || key.find("dim3_pnts") != std::string::npos)
            line = key + ": 2" + ending;
        header += line;
    }
    vx::MakeFolder(folder);
    WriteBytes(vx::JoinPath(folder, name + ".spar"), header);
    const std::string data = ReadBytes(SampleDataPath(source + ".SDAT"));
    WriteBytes(vx::JoinPath(folder, name + ".sdat"), data + data + data + data);
}

std::vector<TComplex> Samples(const TCSISet& set)
{
    std::vector<TComplex> out;
    for (size_t v = 0; v < set.VoxelCount(); ++v)
        for (int i = 0; i < set.m_nPoints; ++i)
            out.push_back(set.GetVoxel(v)->Data()[i]);
    return out;
}

class BatchProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* source : kSources) {
            VX_REQUIRE_SAMPLE(std::string(source) + ".SPAR");
            VX_REQUIRE_SAMPLE(std::string(source) + ".SDAT");
        }
        vx::ResetGlobals();
        ASSERT_TRUE(fixture.Ok());
        session = std::make_unique<TGuiSession>(fixture);
        ASSERT_TRUE(session->Ok());
        RegisterReaders();
        InstallProcessing();
        WriteGridPair(kSources[0], exams.File("study1"), "scan");
        WriteGridPair(kSources[1], exams.File("study2"), "csi");
        vx::MakeFolder(exams.File("study3"));
        macro = exams.File("lorentz.mcr");
        WriteBytes(macro, kMacro);
        vx::SetCurrentFolder(exams.Path());
        g_strBatchSpec = "*.*";
        g_nBatchExamType = 0;
        g_strBatchMacro = macro;
    }
    void TearDown() override
    {
        session.reset();
        vx::app::SetBatchDialog({});
        vx::app::SetAddExamDialog({});
        vx::SetFileFaults({});
        InstallProcessingHooks({});
        ClearReaderHooks();
        vx::ResetGlobals();
        vx::SetCurrentFolder(vx::HomeFolder());
    }
    // Runs the command; the batch dialog is accepted as it comes up, the log dialog is
    // saved to `logPath`.
    void RunBatch(const std::string& logPath)
    {
        TScriptedFileChooser chooser;
        chooser.Answer(logPath);
        TDialogScript script([&](QDialog& d) {
            if (auto* batch = dynamic_cast<CBatchProcessDlg*>(&d)) {
                EXPECT_EQ(batch->windowTitle(), "Batch Processing...");
                EXPECT_EQ(batch->MacroEdit()->text().toStdString(), macro);
                EXPECT_EQ(batch->OutputEdit()->text().toStdString(), exams.Path() + "/CSIProjects/");
                if (!output.empty())
                    batch->OutputEdit()->setText(QString::fromStdString(output));
                vx::SetFileFaults(runFaults);  // for the run alone, not the dialog's own listing
                batch->accept();
            } else if (auto* log = dynamic_cast<CBatchErrorsDlg*>(&d)) {
                logShown = true;
                log->show();
                QApplication::processEvents();
                // A line wider than the box would be cut at its edge.
                if (auto* edit = log->findChild<QPlainTextEdit*>())
                    logLinesCut = edit->horizontalScrollBar()->maximum() > 0;
                log->accept();
            }
            return d.result();
        });
        vx::app::InstallBatchDialogs();
        vx::app::GetBatchDialog()(&session->MainFrame());
    }
    // The log lines of a study whose set was read without a PAR file: that warning, as any
    // text logged, counts as an error of the study.
    std::string StudyLog(const std::string& study, const std::string& name) const
    {
        return "\r\nProject " + exams.Path() + "/CSIProjects/" + study + ": \r\nMetabolic map PAR file " +
               exams.Path() + "/" + study + "/" + name + ".PAR does not exist or cannot be read.\n"
               "Read geometry information from CSI SPAR file.\r\n";
    }

    // A new project in the folder with the study's set file read as the run reads it
    // (no PAR question), as its work set.
    void AddStudySet(TProject& project, const std::string& folder, const std::string& study, const std::string& file)
    {
        ASSERT_TRUE(project.Create(folder, "hand"));
        TCSIReadParams block;
        TImageImportParams record;
        TProject::ExamTypeParams(0, block, record);
        g_bBatchMode = true;
        ASSERT_TRUE(project.AddCSISet(exams.File(study), file, block));
        g_bBatchMode = false;
        project.SetWorkSet(*project.m_pCSISetList->begin());
    }
    // The samples of the one set of the study's project that the run made.
    std::vector<TComplex> MadeSamples(const std::string& study) const
    {
        TProject made;
        EXPECT_TRUE(made.Load(exams.Path() + "/CSIProjects/" + study + "/" + study + ".tpj"));
        EXPECT_EQ(made.m_pCSISetList->GetCount(), 1);
        if (made.m_pCSISetList->IsEmpty())
            return {};
        made.SetWorkSet(*made.m_pCSISetList->begin());
        return made.m_pWorkSet ? Samples(*made.m_pWorkSet) : std::vector<TComplex>{};
    }

    TScriptedReport report;
    TTempFolder exams;
    TGuiFixture fixture;
    std::unique_ptr<TGuiSession> session;
    std::string macro;
    std::string output;  // the output location typed into the dialog, when not empty
    std::vector<vx::TFileFault> runFaults;  // armed as OK is pressed
    bool logShown = false;
    bool logLinesCut = false;
};

}  // namespace

TEST_F(BatchProcessTest, EveryStudyBecomesAProjectWithTheMacroApplied)
{
    TProject* open = session->Project();
    const std::string logPath = exams.File("Batch Log");
    RunBatch(logPath);
    ASSERT_TRUE(logShown);
    EXPECT_EQ(g_pProject, open);
    EXPECT_FALSE(g_bBatchMode);
    EXPECT_EQ(report.Count(), 0u);
    const std::string p3 = exams.Path() + "/CSIProjects/study3";
    EXPECT_EQ(ReadBytes(logPath + ".txt"), std::string("Errros and warnings for the batch processing:\r\n") +
                                              StudyLog("study1", "scan") + StudyLog("study2", "csi") +
                                              "\r\nProject " + p3 + ": \r\nNo error or warning. \r\n");

    // The same files read and the macro run on them by hand.
    const std::pair<const char*, const char*> studies[] = {{"study1", "scan.spar"}, {"study2", "csi.spar"}};
    for (const auto& [study, file] : studies) {
        SCOPED_TRACE(study);
        TTempFolder handFolder;
        TProject hand;
        AddStudySet(hand, handFolder.Path(), study, file);
        ASSERT_NE(hand.m_pWorkSet, nullptr);
        const std::vector<TComplex> before = Samples(*hand.m_pWorkSet);
        ASSERT_TRUE(hand.RunMacroFile(macro));
        ASSERT_NE(Samples(*hand.m_pWorkSet), before);
        EXPECT_EQ(MadeSamples(study), Samples(*hand.m_pWorkSet));
    }
    EXPECT_TRUE(vx::FileExists(p3 + "/study3.tpj"));
}

TEST_F(BatchProcessTest, AKernelMessageOfTheMacroIsLoggedWithoutABox)
{
    // The macro meets a message that is a box of its own outside a batch.
    TProcessingHooks hooks = ProcessingHooks();
    const auto apply = hooks.applyStep;
    hooks.applyStep = [apply](TProcessStep* step, TCSISet* set) {
        vx::Report("Failed to load the HLSVD DLL. Error code : 2", vx::ReportIcon::None, vx::BatchPolicy::AlwaysBox);
        return apply(step, set);
    };
    InstallProcessingHooks(hooks);
    vx::RemoveFile(exams.File("study2/csi.spar"));
    const std::string logPath = exams.File("log.txt");
    RunBatch(logPath);
    EXPECT_EQ(report.Count(), 0u);
    const std::string log = ReadBytes(logPath);
    EXPECT_NE(log.find(StudyLog("study1", "scan") + "Failed to load the HLSVD DLL. Error code : 2\r\n\r\nProject "),
              std::string::npos)
        << log;
}

// OK with a macro that is missing, of another kind, unreadable or on a failing disk, or with an
// output location that is empty or relative (it would land in the working folder, here the
// exam location): one message each, the dialog stays open for a correction, and nothing is
// created.
TEST_F(BatchProcessTest, BadMacroOrOutputKeepsTheDialogOpenAndCreatesNothing)
{
    const std::string unreadable = exams.File("bad.mcr");
    WriteBytes(unreadable, "#Vexara Macro File#\r\n\r\n<action>\r\ntype = 11\r\n</action>\r\n");
    const std::string notMacro = exams.File("study1/scan.spar");
    const std::string output = exams.Path() + "/CSIProjects/";
    const struct {
        std::string macro, output, message;
        std::vector<vx::TFileFault> faults = {};  // armed for the click
    } cases[] = {
        {"", output, "Please select a macro file."},
        {notMacro, output, "Can not run macro file " + notMacro + " because it is not a macro file."},
        {unreadable, output, "Can not read from macro file " + unreadable + " because of wrong format."},
        {macro, output, "Macro file " + macro + " cannot be read to its end: input/output error.",
         {{vx::kFileRead, EIO, 1, true}}},
        {macro, "", "Please enter the output location."},
        {macro, "CSIProjects", "The output location must be a full path: CSIProjects"},
    };
    const std::vector<vx::TFolderEntry> before = vx::test::ListedEntries(exams.Path());
    TDialogScript script([&](QDialog& d) {
        EXPECT_NE(dynamic_cast<CBatchProcessDlg*>(&d), nullptr) << "no other dialog (the log) comes up";
        return ShowAndAct<CBatchProcessDlg>(d, [&](CBatchProcessDlg& dialog) {
            QPushButton* ok = dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
            for (const auto& c : cases) {
                SCOPED_TRACE(c.message);
                report.Clear();
                dialog.MacroEdit()->setText(QString::fromStdString(c.macro));
                dialog.OutputEdit()->setText(QString::fromStdString(c.output));
                {
                    const TFileFaultScope fault(c.faults);
                    QTest::mouseClick(ok, Qt::LeftButton);
                }
                EXPECT_EQ(report.Messages(), std::vector<std::string>{c.message});
                EXPECT_TRUE(dialog.isVisible());
            }
            dialog.reject();
        });
    });
    vx::app::InstallBatchDialogs();
    vx::app::GetBatchDialog()(&session->MainFrame());
    ASSERT_EQ(script.runs, 1);
    const std::vector<vx::TFolderEntry> after = vx::test::ListedEntries(exams.Path());
    EXPECT_EQ(after.size(), before.size()) << "no output folder, no study project";
    EXPECT_FALSE(vx::FolderExists(output));
    EXPECT_FALSE(g_bBatchMode);
    EXPECT_EQ(g_pProject, session->Project());
}

// A study whose macro fails on one of its sets leaves no project behind (its sets would
// look processed); the log names the failure, and a study without sets keeps its project.
TEST_F(BatchProcessTest, AStudyWhoseMacroFailsLeavesNoProject)
{
    TProcessingHooks hooks = ProcessingHooks();
    hooks.applyStep = [](TProcessStep*, TCSISet*) { return false; };
    InstallProcessingHooks(hooks);
    const std::string logPath = exams.File("log.txt");
    RunBatch(logPath);
    EXPECT_TRUE(logShown);
    EXPECT_EQ(report.Count(), 0u);
    const std::string output = exams.Path() + "/CSIProjects/";
    EXPECT_FALSE(vx::FolderExists(output + "study1"));
    EXPECT_FALSE(vx::FolderExists(output + "study2"));
    EXPECT_TRUE(vx::FileExists(output + "study3/study3.tpj"));
    const auto failed = [&](const std::string& study, const std::string& set) {
        return StudyLog(study, set) + "Error: Fail to apply macro to CSI set " + set + "\r\nError: The project " + output +
               study + " is removed because the macro failed.\r\n";
    };
    EXPECT_EQ(ReadBytes(logPath), std::string(TBatchRun::kLogHeader) + failed("study1", "scan") + failed("study2", "csi") +
                                      "\r\nProject " + output + "study3: \r\nNo error or warning. \r\n");
    EXPECT_EQ(g_pProject, session->Project());
}

namespace {

// Undo states of the macro's Lorentzian filter: its named file, or the temporary file a
// write of it begins with.
bool IsFilterState(const std::string& name)
{
    return name.starts_with("tf") || name.starts_with(".tf");
}

}  // namespace

// The macro's undo states belong to the study being processed: the project open in the
// main window gets none, during the run or after it, and the study keeps none after it.
TEST_F(BatchProcessTest, UndoStatesGoToTheStudyAndNotToTheOpenProject)
{
    const std::string openFolder = session->Project()->GetFolder();
    const TFolderBytes before = ReadFolderTree(openFolder, true);
    const std::string output = exams.Path() + "/CSIProjects/";
    std::set<std::string> studiesWithStates;
    size_t steps = 0;
    vx::TFile::SetStepHook([&] {
        ++steps;
        for (const auto& [name, bytes] : ReadFolderTree(openFolder))
            EXPECT_FALSE(IsFilterState(vx::FileNameOf(name))) << openFolder << "/" << name;
        // A study's project is built in a hidden folder of the output named after it.
        for (const auto& [name, bytes] : ReadFolderTree(output))
            for (const char* study : {"study1", "study2"})
                if (IsFilterState(vx::FileNameOf(name)) && name.substr(0, name.find('/')).find(study) != std::string::npos)
                    studiesWithStates.insert(study);
    });
    RunBatch(exams.File("log.txt"));
    vx::TFile::SetStepHook({});
    EXPECT_GT(steps, 0u);
    EXPECT_EQ(studiesWithStates, (std::set<std::string>{"study1", "study2"}));
    EXPECT_EQ(ReadFolderTree(openFolder, true), before);
    for (const char* study : {"study1", "study2", "study3"})
        for (const auto& [name, bytes] : ReadFolderTree(output + study))
            EXPECT_FALSE(IsFilterState(vx::FileNameOf(name))) << study << "/" << name;
    EXPECT_EQ(ReadBytes(exams.File("log.txt")), std::string(TBatchRun::kLogHeader) + StudyLog("study1", "scan") +
                                                   StudyLog("study2", "csi") + "\r\nProject " + output +
                                                   "study3: \r\nNo error or warning. \r\n");
}

// The macro's step cannot save the state of the second study's set (the file layer throws
// as its state file begins): that set stays as it was, and is never given the state that
// the step saved for the first study's set.
TEST_F(BatchProcessTest, AStateSaveThatThrowsOnTheNextSetPutsNoOtherSetsSamplesIntoIt)
{
    const std::string output = exams.Path() + "/CSIProjects/";
    const std::vector<std::string> folders = {session->Project()->GetFolder(), output};
    // The samples of the second study's set as the failed step leaves them to be saved.
    TProcessingHooks hooks = ProcessingHooks();
    std::vector<TComplex> left;
    hooks.applyStep = [apply = hooks.applyStep, &left](TProcessStep* step, TCSISet* set) {
        struct TKeep {
            TCSISet* set;
            std::vector<TComplex>& left;
            ~TKeep()
            {
                if (set->GetName() == "csi")
                    left = Samples(*set);
            }
        } keep{set, left};
        return apply(step, set);
    };
    InstallProcessingHooks(hooks);
    std::set<std::string> begun;
    bool thrown = false;
    vx::TFile::SetStepHook([&] {
        for (const std::string& folder : folders)
            for (const auto& [name, bytes] : ReadFolderTree(folder))
                if (IsFilterState(vx::FileNameOf(name)) && begun.insert(folder + "/" + name).second &&
                    begun.size() == 2 && !thrown) {
                    thrown = true;
                    throw std::runtime_error("the state file cannot be made");
                }
    });
    RunBatch(exams.File("log.txt"));
    vx::TFile::SetStepHook({});
    ASSERT_TRUE(thrown);
    EXPECT_NE(ReadBytes(exams.File("log.txt")).find("Error: Fail to apply macro to CSI set csi"), std::string::npos);

    // The second study's set as read, without the macro; its study gets no project.
    TTempFolder handFolder;
    TProject hand;
    AddStudySet(hand, handFolder.Path(), "study2", "csi.spar");
    ASSERT_NE(hand.m_pWorkSet, nullptr);
    EXPECT_EQ(left, Samples(*hand.m_pWorkSet));
    EXPECT_FALSE(vx::FolderExists(output + "study2"));
}

// An empty macro file is a macro of no steps, as one of the header alone: the run is not
// refused, goes as it goes with the header alone, and fails no study.
TEST_F(BatchProcessTest, AnEmptyMacroFileRunsAsOneOfTheHeaderAlone)
{
    std::vector<std::string> logs;
    for (const char* bytes : {"#Vexara Macro File#\r\n\r\n", ""}) {
        SCOPED_TRACE(std::string("macro file of ") + std::to_string(std::string(bytes).size()) + " bytes");
        macro = exams.File("steps.mcr");
        WriteBytes(macro, bytes);
        g_strBatchMacro = macro;
        logShown = false;
        vx::RemoveFolderTree(exams.File("CSIProjects"));
        RunBatch(exams.File("log.txt"));
        EXPECT_TRUE(logShown);
        EXPECT_EQ(report.Count(), 0u);
        logs.push_back(ReadBytes(exams.File("log.txt")));
    }
    EXPECT_EQ(logs[1], logs[0]);
    EXPECT_NE(logs[0].find("\r\nProject " + exams.Path() + "/CSIProjects/study3: \r\n"), std::string::npos);
    // Applying nothing is no failure: each study gets its project.
    EXPECT_EQ(logs[0].find("Fail to apply macro"), std::string::npos) << logs[0];
    for (const char* study : {"study1", "study2"})
        EXPECT_TRUE(vx::FileExists(exams.Path() + "/CSIProjects/" + study + "/" + study + ".tpj")) << study;
}

// A study whose CSI files cannot be read leaves no project either (it would hold none of its
// sets), and the log says why; an output folder that was there before the run keeps what it
// had, and a study that reads well is unaffected.
// A parameter file without its number of points: the log line says so, and the log shows
// that long line whole.
TEST_F(BatchProcessTest, TheLogSaysWhatIsWrongWithAParameterFileOnALineShownWhole)
{
    const std::string spar = exams.File("study2/csi.spar");
    std::string text = ReadBytes(spar);
    const size_t at = text.find("\nsamples");
    ASSERT_NE(at, std::string::npos);
    text.erase(at + 1, text.find('\n', at + 1) - at);
    WriteBytes(spar, text);
    RunBatch(exams.File("log.txt"));
    EXPECT_TRUE(logShown);
    EXPECT_NE(ReadBytes(exams.File("log.txt"))
                  .find("Parameter file " + spar +
                        " cannot be read or is invalid. It gives no number of points (samples).\r\n"),
              std::string::npos)
        << ReadBytes(exams.File("log.txt"));
    EXPECT_FALSE(logLinesCut);
}

// A listing that fails while a reader looks for a set's parameter file beside it under
// another case: the log names the error, not a missing file, and the study ends, so that
// its earlier two-set project stays as it was rather than give way to one of one set.
TEST_F(BatchProcessTest, AParameterFileThatCouldNotBeLookedForKeepsTheEarlierProject)
{
    WriteGridPair(kSources[1], exams.File("study1"), "grid1");
    const std::string output = exams.Path() + "/CSIProjects";
    const std::string logPath = exams.File("log.txt");
    RunBatch(logPath);
    TTempFolder aside;
    const std::string pristine = aside.File("earlier");
    RestoreFolder(output, pristine);
    const TFolderBytes earlier = ReadFolderTree(output + "/study1");
    const std::string spar = exams.File("study1/grid1.SPAR");
    bool met = false;
    for (int at = 1; !met && at < 200; ++at) {
        SCOPED_TRACE("a listing failing at its event " + std::to_string(at));
        RestoreFolder(pristine, output);
        runFaults = {{vx::kFileList, EIO, at}};
        RunBatch(logPath);
        const bool struck = vx::FileFaultStruck();
        vx::SetFileFaults({});
        ASSERT_TRUE(struck) << "no listing failed while the parameter file was looked for";
        const std::string log = ReadBytes(logPath);
        met = log.find("Parameter file " + spar + " cannot be read or is invalid. Its folder cannot be listed: "
                       "input/output error.\r\n") != std::string::npos;
        if (!met)
            continue;
        EXPECT_NE(log.find("Error: The project " + output + "/study1 is not replaced because the files that go with "
                           "grid1.spar could not be looked for.\r\n"),
                  std::string::npos)
            << log;
        EXPECT_EQ(ReadFolderTree(output + "/study1"), earlier);
    }
    EXPECT_TRUE(met);
}

TEST_F(BatchProcessTest, AStudyWhoseSetsFailToLoadLeavesNoProject)
{
    const std::string output = exams.Path() + "/CSIProjects/";
    WriteBytes(exams.File("study2/csi.sdat"), "cut short");
    WriteGridPair(kSources[1], exams.File("study4"), "csi");
    WriteBytes(exams.File("study4/csi.sdat"), "cut short");
    vx::MakeFolder(output + "study4");
    WriteBytes(output + "study4/notes.txt", "kept");
    const std::string logPath = exams.File("log.txt");
    RunBatch(logPath);
    EXPECT_TRUE(logShown);
    EXPECT_EQ(report.Count(), 0u);
    EXPECT_TRUE(vx::FileExists(output + "study1/study1.tpj"));
    EXPECT_FALSE(vx::FolderExists(output + "study2"));
    EXPECT_EQ(ReadBytes(output + "study4/notes.txt"), "kept");

    const std::string log = ReadBytes(logPath);
    const auto section = [&](const std::string& study) {
        const size_t start = log.find("\r\nProject " + output + study + ": \r\n");
        const size_t end = log.find("\r\nProject ", start + 1);
        return start == std::string::npos ? std::string() : log.substr(start, end - start);
    };
    EXPECT_NE(section("study2").find("Error: Fail to add CSI set csi.spar\r\n"), std::string::npos) << log;
    EXPECT_TRUE(section("study2").ends_with("Error: Fail to add CSI set csi.spar\r\nError: The project " + output +
                                            "study2 is removed because a CSI set could not be added.\r\n"))
        << log;
    EXPECT_EQ(section("study4").find("is removed"), std::string::npos) << log;
    EXPECT_EQ(section("study1").find("Error"), std::string::npos) << log;
    EXPECT_EQ(g_pProject, session->Project());
}


// A study whose project folder is the folder of the project open in the main window (the
// output location chosen above it) is refused with a line in the log: the open project's
// folder is left exactly as it was, and the other studies are processed. So it is once the
// open project's lock file was removed.
TEST_F(BatchProcessTest, AStudyInTheFolderOfTheOpenProjectIsRefused)
{
    const std::string openFolder = session->Project()->GetFolder();
    const std::string study = vx::FileNameOf(openFolder);
    WriteGridPair(kSources[0], exams.File(study), "scan");
    const TFolderBytes before = ReadFolderTree(openFolder, true);
    output = vx::FolderOf(openFolder) + "/";
    const std::string logPath = exams.File("log.txt");
    RunBatch(logPath);
    EXPECT_TRUE(logShown);
    EXPECT_EQ(report.Count(), 0u);
    EXPECT_EQ(ReadFolderTree(openFolder, true), before);
    EXPECT_EQ(g_pProject, session->Project());
    EXPECT_TRUE(vx::FileExists(vx::JoinPath(output, "study1/study1.tpj")));
    EXPECT_NE(ReadBytes(logPath).find("\r\nProject " + vx::JoinPath(output, study) +
                                      ": \r\nError: The study is not processed: its project folder is the folder of "
                                      "the project open in the main window, which is left as it is.\r\n"),
              std::string::npos)
        << ReadBytes(logPath);

    ASSERT_TRUE(vx::RemoveFile(openFolder + "/.vexara.lock"));
    const TFolderBytes unlocked = ReadFolderTree(openFolder, true);
    RunBatch(logPath);
    EXPECT_EQ(ReadFolderTree(openFolder, true), unlocked);
    EXPECT_NE(ReadBytes(logPath).find("its project folder is the folder of the project open in the main window"),
              std::string::npos)
        << ReadBytes(logPath);
}
