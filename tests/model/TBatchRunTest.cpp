// The batch run's rules (file name patterns, study names, exam-type file tests) and
// its course over studies that need no reader: the log text, the project set aside, and a
// macro file that stops the run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/ProcessingHooks.h"
#include "model/ReaderHooks.h"
#include "model/TBatchRun.h"
#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/Workers.h"
#include "support/FolderKill.h"
#include "support/ProcessorCountGuard.h"
#include "support/ProjectCommandTrial.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;
using TKind = TBatchRun::TFileKind;

TEST(BatchRules, FileSpecStudiesAndExamTypes)
{
    struct PatternCase {
        const char* text;
        std::vector<std::string> patterns;
    };
    for (const PatternCase& c : {PatternCase{"", {""}}, PatternCase{"*.*", {"*.*"}}, PatternCase{"*.SPAR, *.PAR", {"*.SPAR", "*.PAR"}},
                              PatternCase{"  a b ,c,", {"a b", "c", ""}}})
        EXPECT_EQ(TBatchRun::SplitFilePatterns(c.text), c.patterns) << c.text;

    EXPECT_EQ(TBatchRun::StudyNames({"[..]", "[-c-]", "[a]", "[CSIProjects]", "[old CSIProjects 2]", "notes.txt",
                                     "[csiprojects]", "[]", "[b"}),
              (std::vector<std::string>{"a", "csiprojects"}));

    struct KindCase {
        int examType;
        const char* name;
        TKind kind;
    };
    const KindCase kinds[] = {
        {0, "scan.spar", TKind::CSISet},  {0, "SCAN.SDAT", TKind::Other},  {0, "survey.par", TKind::Image},
        {0, "x.par.spar", TKind::Image},  {0, "a.list", TKind::Other},     {1, "a.list", TKind::CSISet},
        {2, "b.LIST", TKind::CSISet},     {2, "b.data", TKind::Other},     {3, "P12345.7", TKind::CSISet},
        {3, "e1s1i1.MR", TKind::Image},   {3, "p12345.7", TKind::Other},   {3, "Pe.7", TKind::Image},
        {4, "scan.SPAR", TKind::Other},   {-1, "scan.SPAR", TKind::Other},
    };
    for (const KindCase& c : kinds)
        EXPECT_EQ(TBatchRun::Classify(c.examType, c.name), c.kind) << c.examType << " " << c.name;
    EXPECT_EQ(TBatchRun::ExamTypeNames().size(), 4u);
}

namespace {

// A run over a temporary exam location with macro hooks that count what they are given.
class BatchRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vx::ResetGlobals();
        TProcessingHooks hooks;
        hooks.newMacroStep = [this](bool, TCSISet*) { return reinterpret_cast<TProcessStep*>(&m_step); };
        hooks.readMacro = [this](TProcessStep*, vx::TTextFile&) { return m_readable; };
        hooks.applyStep = [](TProcessStep*, TCSISet*) { return true; };
        hooks.deleteStep = [this](TProcessStep*) { ++m_deleted; };
        InstallProcessingHooks(hooks);
        g_pProject = &m_open;
        run.m_strExamFolder = exams.Path();
        run.m_strOutput = exams.File("CSIProjects");
        run.m_strMacro = exams.File("steps.mcr");
        WriteBytes(run.m_strMacro, "#Vexara Macro File#\r\n");
    }
    void TearDown() override
    {
        InstallProcessingHooks({});
        ClearReaderHooks();
        vx::ResetGlobals();
    }

    // CSI files read as 4 x 4 sets named after the file, but for those whose name begins
    // with "bad"; a macro that marks the first sample of every set it is applied to; study
    // folders holding the files.
    static constexpr float kMark = 42.0f;
    void UseSetsAndMarkingMacro(const std::vector<std::pair<std::string, std::vector<std::string>>>& studies)
    {
        InstallCSIReaderFactory([](uint32_t, const TCSIReadParams* p) -> TCSIReader* { return new TNamedSetReader(p); });
        TProcessingHooks hooks = ProcessingHooks();
        hooks.applyStep = [](TProcessStep*, TCSISet* set) {
            set->GetVoxel(size_t(0))->Data()[0] = TComplex(kMark, 0.0f);
            return true;
        };
        InstallProcessingHooks(hooks);
        run.m_studies.clear();
        for (const auto& [study, files] : studies) {
            vx::MakeFolder(exams.File(study));
            for (const std::string& file : files)
                WriteBytes(exams.File(study + "/" + file), "");
            run.m_studies.push_back(study);
        }
    }
    // The names of the sets of the study's project in the output folder, each opened and
    // found marked by the macro; "absent" when there is no folder, "damaged" when the
    // project does not open as a whole without a message.
    std::string Study(const std::string& study)
    {
        const std::string folder = vx::JoinPath(run.m_strOutput, study);
        if (!vx::FolderExists(folder))
            return "absent";
        report.Clear();
        TProject project;
        g_pProject = &project;
        bool whole = project.Load(folder + "/" + study + ".tpj");
        std::string names;
        for (TCSISet* set : std::vector<TCSISet*>(project.m_pCSISetList->begin(), project.m_pCSISetList->end())) {
            project.SetWorkSet(set);
            whole = whole && project.m_pWorkSet == set && set->GetVoxel(size_t(0))->Data()[0] == TComplex(kMark, 0.0f);
            names += (names.empty() ? "" : " ") + set->GetName();
        }
        g_pProject = &m_open;
        return whole && report.Messages().empty() ? names : "damaged";
    }

    class TNamedSetReader : public TNewSetReader {
    public:
        using TNewSetReader::TNewSetReader;
        TCSISet* Read(std::string path) override
        {
            if (vx::FileNameOf(path).starts_with("bad"))
                return nullptr;
            TCSISet* set = TNewSetReader::Read(path);
            set->m_strName = vx::StemOf(path);
            return set;
        }
    };

    TTempFolder exams;
    TScriptedReport report;
    TProject m_open;
    TBatchRun run;
    int m_step = 0;
    bool m_readable = true;
    int m_deleted = 0;
};

}  // namespace

TEST_F(BatchRunTest, LogNamesEveryStudyAndTheOpenProjectComesBack)
{
    vx::MakeFolder(exams.File("s1"));
    vx::MakeFolder(exams.File("s2"));
    // A file where the second study's project folder would go.
    vx::MakeFolder(run.m_strOutput);
    WriteBytes(run.m_strOutput + "/s2", "");
    run.m_studies = {"s1", "s2"};
    ASSERT_TRUE(run.Run());

    const std::string p1 = run.m_strOutput + "/s1";
    const std::string p2 = run.m_strOutput + "/s2";
    EXPECT_EQ(g_batchLog, std::string(TBatchRun::kLogHeader) + "\r\nProject " + p1 + ": \r\nNo error or warning. \r\n" +
                              "Error: The folder " + p2 + " cannot take the study's project: a file of that name is "
                              "there.\r\n\r\nMaking new project for " + p2 + " is failed.\r\n");
    EXPECT_TRUE(vx::FileExists(p1 + "/s1.tpj"));
    EXPECT_EQ(g_pProject, &m_open);
    EXPECT_FALSE(g_bBatchMode);
    EXPECT_EQ(m_deleted, 1);
    EXPECT_EQ(report.Count(), 0u);
}

TEST_F(BatchRunTest, AMacroThatCannotBeReadStopsTheRunWithOneBox)
{
    vx::MakeFolder(exams.File("s1"));
    vx::MakeFolder(exams.File("s2"));
    run.m_studies = {"s1", "s2"};
    m_readable = false;
    EXPECT_FALSE(run.Run());
    run.m_strMacro = exams.File("none.mcr");
    EXPECT_FALSE(run.Run());
    EXPECT_EQ(report.Messages(),
              (std::vector<std::string>{"Can not read from macro file " + exams.File("steps.mcr") +
                                            " because of wrong format.",
                                        "Can not open macro file: " + exams.File("none.mcr")}));
    EXPECT_FALSE(vx::FolderExists(run.m_strOutput)) << "no output folder, no study project";
    EXPECT_EQ(g_pProject, &m_open);
    EXPECT_FALSE(g_bBatchMode);
}

TEST_F(BatchRunTest, AStudyWhoseProjectFileCannotBeSavedLeavesNoProject)
{
    vx::MakeFolder(exams.File("s1"));
    WriteBytes(exams.File("s1/scan.PAR"), "an image");
    run.m_studies = {"s1"};
    const std::string project = run.m_strOutput + "/s1";
    // The image comes in; then a folder stands where the save's journal goes, in the folder
    // the project is built in.
    InstallImageReader(0, [&](TImageSet& images, const std::string&, TImageImportParams, TProject* pProject) {
        auto* image = new TMRImage(pProject);
        image->SetName("scan.PAR_0", false);
        image->SetPath(pProject->GetFolder() + "/scan.PAR_0");
        image->SetWidth(2, false);
        image->SetHeight(2, false);
        image->SetPixels({1, 2, 3, 4});
        const bool added = images.AddNew(image, "The image was not added");
        vx::MakeFolder(pProject->GetFolder() + "/.vexara/journal");
        return added;
    });
    ASSERT_TRUE(run.Run());
    ClearReaderHooks();
    EXPECT_NE(g_batchLog.find("Error: The project " + project + " is removed because the project could not be saved."),
              std::string::npos)
        << g_batchLog;
    EXPECT_FALSE(vx::FolderExists(project));
    EXPECT_EQ(g_pProject, &m_open);
}

// A CSI file that cannot be added is logged and costs only its set: the study keeps its
// project with the macro applied to the others. A study to which no set could be added
// leaves no project, nor an output folder that only it would have had.
TEST_F(BatchRunTest, ACSIFileThatCannotBeAddedCostsOnlyItsSet)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "bad.SPAR", "c.SPAR"}}});
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(Study("s1"), "a c");
    const std::string p1 = run.m_strOutput + "/s1";
    EXPECT_EQ(g_batchLog, std::string(TBatchRun::kLogHeader) + "\r\nProject " + p1 +
                              ": \r\nError: Fail to add CSI set bad.SPAR\r\n");

    vx::RemoveFolderTree(run.m_strOutput);
    UseSetsAndMarkingMacro({{"s2", {"bad.SPAR"}}});
    ASSERT_TRUE(run.Run());
    EXPECT_NE(g_batchLog.find("Error: The project " + run.m_strOutput + "/s2 is removed because a CSI set could not be "
                              "added."),
              std::string::npos)
        << g_batchLog;
    EXPECT_FALSE(vx::FolderExists(run.m_strOutput));
    EXPECT_EQ(report.Count(), 0u);
}

// A re-run replaces the study's earlier project but keeps what the user put beside it in
// its folder, files and folders alike, while the earlier project's lock stays its own.
TEST_F(BatchRunTest, ARerunKeepsTheFilesTheUserPutInTheStudysFolder)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
    ASSERT_TRUE(run.Run());
    const std::string p1 = run.m_strOutput + "/s1";
    WriteBytes(p1 + "/notes.txt", "what the user wrote");
    vx::MakeFolder(p1 + "/exports");
    WriteBytes(p1 + "/exports/table.txt", "an exported table");

    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "c.SPAR"}}});
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(Study("s1"), "a c");
    EXPECT_EQ(ReadBytes(p1 + "/notes.txt"), "what the user wrote");
    EXPECT_EQ(ReadBytes(p1 + "/exports/table.txt"), "an exported table");
    EXPECT_EQ(g_batchLog, std::string(TBatchRun::kLogHeader) + "\r\nProject " + p1 + ": \r\nNo error or warning. \r\n");
}

// The run killed at every step of the file layer: each study's folder is absent or holds
// its whole project, every set with the macro applied; the next run removes what the
// killed one left and puts both projects in place, over those already there. Killed while
// it replaces the projects of an earlier run, it leaves each study one whole project.
TEST_F(BatchRunTest, ARunKilledAnywhereLeavesEachStudyWithoutAProjectOrWithAWholeOne)
{
    TProcessorCountGuard processors;
    vx::SetProcessorCount(1);  // no worker threads in the forked children
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}, {"s2", {"c.SPAR", "d.SPAR"}}});
    const std::vector<std::string> whole{"a b", "c d"};
    int absent = 0, made = 0;
    for (int killAt = 1; killAt < 1000; ++killAt) {
        SCOPED_TRACE("killed at step " + std::to_string(killAt));
        vx::RemoveFolderTree(run.m_strOutput);
        const bool killed = RunInChild([&] {
            KillAtStep(killAt);
            return run.Run();
        });
        for (size_t k = 0; k < 2; ++k) {
            const std::string state = Study(run.m_studies[k]);
            EXPECT_TRUE(state == "absent" || state == whole[k]) << run.m_studies[k] << ": " << state;
            (state == "absent" ? absent : made)++;
        }
        ASSERT_TRUE(run.Run());
        std::vector<std::string> left;
        for (const vx::TFolderEntry& entry : vx::ListFolder(run.m_strOutput))
            left.push_back(entry.name);
        EXPECT_EQ(left, (std::vector<std::string>{"s1", "s2"}));
        EXPECT_EQ(Study("s1") + ", " + Study("s2"), whole[0] + ", " + whole[1]);
        if (!killed)
            break;
    }
    EXPECT_GT(absent, 2);
    EXPECT_GT(made, 2);

    const std::string earlier = exams.File("earlier");
    RestoreFolder(run.m_strOutput, earlier);
    for (int killAt = 1; killAt < 1000; ++killAt) {
        SCOPED_TRACE("replacing, killed at step " + std::to_string(killAt));
        RestoreFolder(earlier, run.m_strOutput);
        const bool killed = RunInChild([&] {
            KillAtStep(killAt);
            return run.Run();
        });
        EXPECT_EQ(Study("s1") + ", " + Study("s2"), whole[0] + ", " + whole[1]);
        if (!killed)
            break;
    }
}
