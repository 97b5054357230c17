// The batch run's rules (file name patterns, study names, exam-type file tests) and
// its course over studies that need no reader: the log text, the project set aside, and a
// macro file that stops the run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <tuple>
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
#include "platform/TFile.h"
#include "platform/TFolderLock.h"
#include "platform/TTextFile.h"
#include "platform/Workers.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/FuseMount.h"
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
        hooks.readMacro = [this](TProcessStep*, vx::TTextFile& file) {
            for (std::string line; file.ReadString(line);) {
            }
            return m_readable;
        };
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
        vx::SetFileFaults({});
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
            // Each study's exam holds these files alone: an earlier call's stay out of it.
            vx::RemoveFolderTree(exams.File(study));
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
            // The disk is full when this file's set is written, and has room again after.
            if (vx::FileNameOf(path).starts_with("full"))
                vx::SetFileFaults({{vx::kFileAnyWrite, ENOSPC, 1}});
            TCSISet* set = TNewSetReader::Read(path);
            set->m_strName = vx::StemOf(path);
            return set;
        }
    };

    // Each study's project folder with the user's notes beside the project; its files.
    std::vector<TFolderBytes> ProjectsWithNotes()
    {
        std::vector<TFolderBytes> projects;
        for (const std::string& study : run.m_studies) {
            WriteBytes(vx::JoinPath(run.m_strOutput, study) + "/notes.txt", "notes on " + study);
            projects.push_back(ReadFolderTree(vx::JoinPath(run.m_strOutput, study)));
        }
        return projects;
    }
    // Whether each study's project is `earlier` (its files byte for byte) or whole with the
    // sets named in `whole` and the user's notes; "earlier", "whole" or what it is.
    std::string EarlierOrWhole(size_t k, const TFolderBytes& earlier, const std::string& whole)
    {
        const std::string folder = vx::JoinPath(run.m_strOutput, run.m_studies[k]);
        if (ReadFolderTree(folder) == earlier)
            return "earlier";
        const std::string state = Study(run.m_studies[k]);
        if (state != whole)
            return state;
        return ReadBytes(folder + "/notes.txt") == "notes on " + run.m_studies[k] ? "whole" : "without notes";
    }
    // The lines of the log that name a study's folder (or its hidden build folder) and do
    // not come after that study's heading: empty when every study's lines follow its own.
    std::string LinesNotUnderTheirHeading()
    {
        std::string heading, wrong;
        for (size_t at = 0, end; at < g_batchLog.size(); at = end + 2) {
            end = std::min(g_batchLog.find("\r\n", at), g_batchLog.size());
            const std::string line = g_batchLog.substr(at, end - at);
            for (const std::string& study : run.m_studies) {
                const std::string folder = run.m_strOutput + "/" + study;
                const bool names = line.find(folder + " ") != std::string::npos ||
                                   line.find(folder + ":") != std::string::npos ||
                                   line.find(folder + "/") != std::string::npos ||
                                   line.find(folder + ".") != std::string::npos ||
                                   line.find("/." + study + ".batch") != std::string::npos;
                if (line.starts_with("Project " + folder + ":") || line.starts_with("Making new project for " + folder))
                    heading = study;
                else if (names && heading != study)
                    wrong += line + "\n";
            }
        }
        return wrong;
    }
    // Runs the batch once for each step in turn, the first write after it failing (with the
    // errors of a full and of a failing disk in turn), until a run has no write after the
    // step. `prepare` makes the output each run finds; `check` checks each study after the
    // run and says whether it counts. Gives the number of studies that did.
    int SweepAWriteFailing(const std::function<void()>& prepare, const std::function<bool(size_t)>& check)
    {
        return SweepAFault(
            [](int at) {
                return vx::TFileFault{vx::kFileAnyWrite, at % 2 ? ENOSPC : EIO, at, false, true};
            },
            0, prepare, check);
    }
    // The same with a folder's listing failing at each of its events in turn (its open or a
    // read of its entries, with the errors of a failing disk and of a folder that may not be
    // read in turn), until a run lists no more.
    int SweepAListingFailing(const std::function<void()>& prepare, const std::function<bool(size_t)>& check)
    {
        return SweepAFault([](int at) { return vx::TFileFault{vx::kFileList, at % 2 ? EIO : EACCES, at}; }, 1,
                           prepare, check);
    }
    // The same with a look at a name failing at each of its events in turn, as a failing
    // disk fails it, until a run looks at no more.
    int SweepALookFailing(const std::function<void()>& prepare, const std::function<bool(size_t)>& check)
    {
        return SweepAFault([](int at) { return vx::TFileFault{vx::kFileStat, EIO, at}; }, 1, prepare, check);
    }
    int SweepAFault(const std::function<vx::TFileFault(int)>& faultAt, int from, const std::function<void()>& prepare,
                    const std::function<bool(size_t)>& check)
    {
        int counted = 0;
        for (int at = from; at < 5000; ++at) {
            SCOPED_TRACE("a fault at " + std::to_string(at));
            prepare();
            {
                TFileFaultScope fault({faultAt(at)});
                EXPECT_TRUE(run.Run());
                if (!vx::FileFaultStruck())
                    break;
            }
            EXPECT_EQ(LinesNotUnderTheirHeading(), "") << g_batchLog;
            for (size_t k = 0; k < run.m_studies.size(); ++k)
                counted += check(k);
        }
        return counted;
    }
    // A fresh run and a re-run over whole earlier projects with the user's notes, each swept
    // with a write failing (SweepAWriteFailing), a listing failing (SweepAListingFailing) or a
    // look failing (SweepALookFailing):
    // after the fresh run each study must be absent or whole, after the re-run exactly its
    // earlier project or the new whole one with the notes. Gives how many studies were
    // absent after the fresh run, and how many kept their earlier project after the re-run.
    enum class TFailing { Writes, Listings, Looks };
    TFailing failing = TFailing::Writes;
    // A look that failed (the one a sweep makes fail) and cost a study its project is told
    // in the log as the error it is.
    void ExpectToldAsWhatItIs(bool notBuilt)
    {
        if (failing == TFailing::Looks && notBuilt) {
            EXPECT_NE(g_batchLog.find(": input/output error"), std::string::npos) << g_batchLog;
        }
    }
    std::pair<int, int> SweepAFreshRunAndARerun(TFailing kind)
    {
        failing = kind;
        const auto sweep = [&](const std::function<void()>& prepare, const std::function<bool(size_t)>& check) {
            return failing == TFailing::Listings ? SweepAListingFailing(prepare, check)
                   : failing == TFailing::Looks  ? SweepALookFailing(prepare, check)
                                                 : SweepAWriteFailing(prepare, check);
        };
        UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}, {"s2", {"c.SPAR", "d.SPAR"}}});
        const std::vector<std::string> whole{"a b", "c d"};
        const int failed = sweep([&] { vx::RemoveFolderTree(run.m_strOutput); }, [&](size_t k) {
            const std::string state = Study(run.m_studies[k]);
            EXPECT_TRUE(state == "absent" || state == whole[k]) << run.m_studies[k] << ": " << state << g_batchLog;
            ExpectToldAsWhatItIs(state == "absent");
            return state == "absent";
        });

        UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}, {"s2", {"c.SPAR"}}});
        vx::RemoveFolderTree(run.m_strOutput);
        EXPECT_TRUE(run.Run());
        const std::vector<TFolderBytes> earlier = ProjectsWithNotes();
        const std::string pristine = exams.File("earlier");
        RestoreFolder(run.m_strOutput, pristine);
        UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}, {"s2", {"c.SPAR", "d.SPAR"}}});
        int replaced = 0;
        const int kept = sweep([&] { RestoreFolder(pristine, run.m_strOutput); }, [&](size_t k) {
            const std::string state = EarlierOrWhole(k, earlier[k], whole[k]);
            EXPECT_TRUE(state == "earlier" || state == "whole") << run.m_studies[k] << ": " << state << g_batchLog;
            // A folder on its way out whose name could not be looked at waits for the next run.
            std::vector<std::string> names = OutputNames();
            if (failing == TFailing::Looks)
                std::erase_if(names, [](const std::string& name) { return name.find(".batch-gone.") != std::string::npos; });
            EXPECT_EQ(names, (std::vector<std::string>{"s1", "s2"}));
            ExpectToldAsWhatItIs(state == "earlier");
            replaced += state == "whole";
            return state == "earlier";
        });
        // A fault late in a run strikes after a study was replaced: the sweep meets both.
        EXPECT_GT(replaced, 0);
        return {failed, kept};
    }
    // The kinds of rights and groups of a folder and everything in it: "file 0664 65532",
    // one a line.
    static std::string RightsIn(const std::string& folder)
    {
        std::set<std::string> kinds;
        const auto note = [&](const std::string& path) {
            struct stat st {};
            char mode[8];
            if (::lstat(path.c_str(), &st) == 0 && std::snprintf(mode, sizeof mode, "%04o", unsigned(st.st_mode & 07777)))
                kinds.insert((S_ISDIR(st.st_mode) ? "folder " : "file ") + std::string(mode) + " " +
                             std::to_string(st.st_gid));
        };
        note(folder);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            note(entry.path().string());
        std::string text;
        for (const std::string& kind : kinds)
            text += kind + "\n";
        return text;
    }
    // Every entry of a folder and the folder itself: name, owner, group, mode and a file's
    // bytes, one a line; "absent" without the folder.
    static std::string TreeOf(const std::string& folder)
    {
        if (!vx::FolderExists(folder))
            return "absent";
        std::set<std::string> lines;
        const auto note = [&](const std::filesystem::path& path) {
            struct stat st {};
            if (::lstat(path.c_str(), &st) == 0)
                lines.insert(path.lexically_relative(folder).string() + " " + std::to_string(st.st_uid) + " " +
                             std::to_string(st.st_gid) + " " + std::to_string(st.st_mode) + " " +
                             (S_ISREG(st.st_mode) ? ReadBytes(path.string()) : std::string()));
        };
        note(folder);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
            note(entry.path());
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        return text;
    }
    // Makes the folder `path` as the user `user` of the group of that number would, with `mode`.
    static void MadeBy(const std::string& path, uid_t user, mode_t mode)
    {
        ASSERT_TRUE(vx::MakeFolder(path));
        ASSERT_EQ(::chown(path.c_str(), user, user), 0);
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
    }
    // Runs body as the user `user` of the group of that number: root in this process.
    static std::string AsRunner(uid_t user, const std::function<std::string()>& body)
    {
        return user == 0 ? body() : AsUser(user, user, body);
    }
    // The names in the output folder: the studies' folders only, nothing hidden.
    std::vector<std::string> OutputNames() { return FolderNames(run.m_strOutput); }
    // Runs the batch three times with one more set in each study every time: each run must
    // put both studies' new projects in place, log no error and leave nothing hidden.
    void ExpectEveryRunToReplaceEveryProject()
    {
        std::vector<std::string> files1, files2;
        std::string sets1, sets2;
        for (const std::string k : {"1", "2", "3"}) {
            SCOPED_TRACE("run " + k);
            files1.push_back("a" + k + ".SPAR");
            files2.push_back("c" + k + ".SPAR");
            sets1 += (sets1.empty() ? "a" : " a") + k;
            sets2 += (sets2.empty() ? "c" : " c") + k;
            UseSetsAndMarkingMacro({{"s1", files1}, {"s2", files2}});
            ASSERT_TRUE(run.Run());
            EXPECT_EQ(g_batchLog.find("Error"), std::string::npos) << g_batchLog;
            EXPECT_EQ(Study("s1") + ", " + Study("s2"), sets1 + ", " + sets2);
            EXPECT_EQ(OutputNames(), (std::vector<std::string>{"s1", "s2"}));
            for (const std::string& name : FolderTreeNames(run.m_strOutput))
                EXPECT_EQ(name.find(".fuse_hidden"), std::string::npos) << name;
        }
    }

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
                              "\r\nMaking new project for " + p2 + " is failed.\r\nError: The folder " + p2 +
                              " cannot take the study's project: a file of that name is there.\r\n");
    EXPECT_TRUE(vx::FileExists(p1 + "/s1.tpj"));
    EXPECT_EQ(g_pProject, &m_open);
    EXPECT_FALSE(g_bBatchMode);
    EXPECT_EQ(m_deleted, 1);
    EXPECT_EQ(report.Count(), 0u);

    // A lock file that is not a file is named as such, not taken for an open project.
    vx::RemoveFile(p2);
    vx::MakeFolder(p2);
    WriteBytes(p2 + "/s2.tpj", "");
    const std::string lockFile = p2 + "/" + vx::TFolderLock::FileName();
    ASSERT_EQ(::mkfifo(lockFile.c_str(), 0600), 0);
    ASSERT_TRUE(run.Run());
    EXPECT_NE(g_batchLog.find("Error: The folder " + p2 + " cannot take the study's project: its folder cannot be locked, "
                              "because its lock file " + lockFile + " is a FIFO, not a file.\r\n"),
              std::string::npos)
        << g_batchLog;
}

TEST_F(BatchRunTest, AMacroThatCannotBeReadStopsTheRunWithOneBox)
{
    vx::MakeFolder(exams.File("s1"));
    vx::MakeFolder(exams.File("s2"));
    run.m_studies = {"s1", "s2"};
    m_readable = false;
    EXPECT_FALSE(run.Run());
    m_readable = true;
    {
        TFileFaultScope failingDisk({{vx::kFileRead, EIO, 1}});
        EXPECT_FALSE(run.Run());
    }
    run.m_strMacro = exams.File("none.mcr");
    EXPECT_FALSE(run.Run());
    EXPECT_EQ(report.Messages(),
              (std::vector<std::string>{"Can not read from macro file " + exams.File("steps.mcr") +
                                            " because of wrong format.",
                                        "Macro file " + exams.File("steps.mcr") +
                                            " cannot be read to its end: input/output error.",
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
// project with the macro applied to the others. A folder or a FIFO named like one is
// logged as what it is, and never given to a reader. A study to which no set could be
// added leaves no project, nor an output folder that only it would have had.
TEST_F(BatchRunTest, ACSIFileThatCannotBeAddedCostsOnlyItsSet)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "bad.SPAR", "c.SPAR"}}});
    vx::MakeFolder(exams.File("s1/d.SPAR"));
    ASSERT_EQ(::mkfifo(exams.File("s1/f.SPAR").c_str(), 0600), 0);
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(Study("s1"), "a c");
    const std::string p1 = run.m_strOutput + "/s1";
    EXPECT_EQ(g_batchLog, std::string(TBatchRun::kLogHeader) + "\r\nProject " + p1 +
                              ": \r\nError: Fail to add CSI set bad.SPAR\r\n" + "Error: " + exams.File("s1/d.SPAR") +
                              " is a folder, not a file.\r\nError: Fail to add CSI set d.SPAR\r\n" + "Error: " +
                              exams.File("s1/f.SPAR") + " is a FIFO, not a file.\r\nError: Fail to add CSI set f.SPAR\r\n");

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

// The macro leaves out a step that fails on a set (here on set a) and applies the rest;
// every later set, of this study and the next, still gets every step the file held when
// the run began.
TEST_F(BatchRunTest, AStepThatFailsOnOneSetCostsThatSetOnly)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}, {"s2", {"c.SPAR"}}});
    WriteBytes(run.m_strMacro, "#Vexara Macro File#\r\n\r\n<action>\r\ntype = 7\r\n</action>\r\n");
    TProcessingHooks hooks = ProcessingHooks();
    hooks.readMacro = [this](TProcessStep*, vx::TTextFile& file) {
        m_step = 0;
        for (std::string line; file.ReadString(line);)
            m_step += line == "<action>";
        return true;
    };
    hooks.applyStep = [this, mark = hooks.applyStep](TProcessStep* step, TCSISet* set) {
        WriteBytes(run.m_strMacro, "");
        if (set->GetName() == "a")
            return (m_step = 0, false);
        return m_step != 1 || mark(step, set);
    };
    InstallProcessingHooks(hooks);
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(Study("s1") + ", " + Study("s2"), "absent, c") << g_batchLog;
    EXPECT_NE(g_batchLog.find("Error: Fail to apply macro to CSI set a\r\n"), std::string::npos) << g_batchLog;
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
    // A folder of another user's keeps its owner, group and mode after root's re-run.
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(!root || ::chown((p1 + "/exports").c_str(), 65534, 65534) == 0);
    ASSERT_EQ(::chmod((p1 + "/exports").c_str(), 0710), 0);

    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "c.SPAR"}}});
    ASSERT_TRUE(run.Run());
    struct stat st {};
    ASSERT_EQ(::lstat((p1 + "/exports").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0710u);
    EXPECT_EQ(st.st_uid, root ? 65534u : ::geteuid());
    EXPECT_EQ(st.st_gid, root ? 65534u : ::getegid());
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
        for (const vx::TFolderEntry& entry : vx::test::ListedEntries(run.m_strOutput))
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

// On a file system without rename flags a study's project is still put in place, in a
// fresh run and in a re-run that replaces it with the user's files kept; a put that fails
// says why with the error of the call that failed.
TEST_F(BatchRunTest, EveryStudyGetsItsProjectWithoutRenameFlags)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}, {"s2", {"c.SPAR"}}});
    {
        TFileFaultScope fault({NoRenameFlags()});
        ASSERT_TRUE(run.Run());
    }
    const std::string p1 = run.m_strOutput + "/s1", p2 = run.m_strOutput + "/s2";
    EXPECT_EQ(g_batchLog, std::string(TBatchRun::kLogHeader) + "\r\nProject " + p1 + ": \r\nNo error or warning. \r\n" +
                              "\r\nProject " + p2 + ": \r\nNo error or warning. \r\n");
    EXPECT_EQ(Study("s1") + ", " + Study("s2"), "a, c");

    ProjectsWithNotes();
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}, {"s2", {"c.SPAR", "d.SPAR"}}});
    {
        TFileFaultScope fault({NoRenameFlags()});
        ASSERT_TRUE(run.Run());
    }
    EXPECT_EQ(EarlierOrWhole(0, {}, "a b") + ", " + EarlierOrWhole(1, {}, "c d"), "whole, whole") << g_batchLog;
    EXPECT_EQ(OutputNames(), (std::vector<std::string>{"s1", "s2"}));

    vx::RemoveFolderTree(run.m_strOutput);
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
    {
        TFileFaultScope fault({{vx::kFileRenameFlags, EIO, 1, true}});
        ASSERT_TRUE(run.Run());
    }
    EXPECT_NE(g_batchLog.find("Error: The project " + p1 + " is removed because it could not be put in its folder: "
                              "input/output error."),
              std::string::npos)
        << g_batchLog;
    EXPECT_FALSE(vx::FolderExists(run.m_strOutput));
}

// An empty folder of the user's at a study's place that the swap could neither replace nor
// put back waits aside; the log names it as what it is, not as an earlier project, and the
// next run puts it back and replaces it.
TEST_F(BatchRunTest, AnEmptyFolderLeftAsideIsNamedAsWhatItIs)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
    const std::string p1 = run.m_strOutput + "/s1", aside = run.m_strOutput + "/.s1.batch-old";
    bool leftAside = false;
    for (int at = 1; at < 80 && !leftAside; ++at) {
        vx::RemoveFolderTree(run.m_strOutput);
        ASSERT_TRUE(vx::MakeFolder(run.m_strOutput) && vx::MakeFolder(p1));
        TFileFaultScope fault({NoRenameFlags(), {vx::kFileRename, EIO, at, true}});
        ASSERT_TRUE(run.Run());
        leftAside = vx::FolderExists(aside) && !vx::FolderExists(p1);
    }
    ASSERT_TRUE(leftAside);
    EXPECT_NE(g_batchLog.find("Error: The empty folder that stood at " + p1 + " waits in " + aside +
                              "; the next run puts it back."),
              std::string::npos)
        << g_batchLog;
    EXPECT_EQ(g_batchLog.find("earlier project"), std::string::npos) << g_batchLog;
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(Study("s1"), "a");
    EXPECT_EQ(OutputNames(), std::vector<std::string>{"s1"});
}

// A look that fails at an earlier project, in place or waiting aside, is logged as the
// error it is: never taken for a folder of other files, for nothing aside, or for the empty
// folder that stood in its place. The earlier project stays as it was.
TEST_F(BatchRunTest, ALookThatFailsAtAnEarlierProjectIsLoggedAsWhatItIs)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
    ASSERT_TRUE(run.Run());
    const TFolderBytes earlier = ProjectsWithNotes()[0];
    const std::string p1 = run.m_strOutput + "/s1", aside = run.m_strOutput + "/.s1.batch-old";
    const std::string pristine = exams.File("earlier");
    RestoreFolder(run.m_strOutput, pristine);
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}});
    std::set<std::string> told;
    for (const bool setAside : {false, true}) {
        for (int at = 1; at < 60; ++at) {
            SCOPED_TRACE(std::string(setAside ? "aside, " : "") + "a look failing at " + std::to_string(at));
            RestoreFolder(pristine, run.m_strOutput);
            // Aside, where the mending cannot put it back.
            if (setAside) {
                ASSERT_EQ(std::rename(p1.c_str(), aside.c_str()), 0);
            }
            std::vector<vx::TFileFault> faults{{vx::kFileStat, EIO, at}};
            if (setAside)
                faults.push_back({vx::kFileRenameFlags, EIO, 1});
            {
                TFileFaultScope fault(faults);
                ASSERT_TRUE(run.Run());
                if (!setAside && !vx::FileFaultStruck())
                    break;
            }
            const std::string state = setAside ? (ReadFolderTree(aside) == earlier ? "earlier" : "changed")
                                               : EarlierOrWhole(0, earlier, "a b");
            EXPECT_TRUE(state == "earlier" || state == "whole") << state << g_batchLog;
            for (size_t from = 0, end; (from = g_batchLog.find("Error: ", from)) != std::string::npos; from = end)
                if (const std::string line = g_batchLog.substr(from, (end = g_batchLog.find("\r\n", from)) - from);
                    line.find("cannot be looked at") != std::string::npos)
                    told.insert(line);
        }
    }
    for (const std::string& line :
         {"Error: The folder " + p1 + " cannot take the study's project: its project " + p1 +
              "/s1.tpj cannot be looked at: input/output error.",
          "Error: The folder " + p1 + " cannot take the study's project: what an earlier run left beside it cannot "
              "be looked at: " + aside + ": input/output error.",
          "Error: What stood at " + p1 + " (it cannot be looked at: input/output error) waits in " + aside +
              "; the next run puts it back."})
        EXPECT_TRUE(told.count(line)) << line;
}

// A run killed after a study's earlier project stepped aside, before the new one moved
// in, leaves the earlier project aside: the next run puts it back with the user's files
// and replaces it, and a build folder left beside it goes.
TEST_F(BatchRunTest, AnEarlierProjectLeftAsideIsPutBackWithTheUsersFiles)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
    ASSERT_TRUE(run.Run());
    const std::vector<TFolderBytes> earlier = ProjectsWithNotes();
    const std::string p1 = run.m_strOutput + "/s1";
    ASSERT_EQ(std::rename(p1.c_str(), (run.m_strOutput + "/.s1.batch-old").c_str()), 0);
    vx::MakeFolder(run.m_strOutput + "/.s1.batch");
    WriteBytes(run.m_strOutput + "/.s1.batch/s1.tpj", "half a project");

    // The macro cannot be read: the run ends before any study, and nothing is touched.
    m_readable = false;
    EXPECT_FALSE(run.Run());
    EXPECT_EQ(ReadFolderTree(run.m_strOutput + "/.s1.batch-old"), earlier[0]);
    m_readable = true;

    // It cannot be put back: the study is refused, and the earlier project waits aside.
    {
        TFileFaultScope fault({{vx::kFileRenameFlags, EIO, 1}});
        ASSERT_TRUE(run.Run());
    }
    EXPECT_EQ(g_batchLog, std::string(TBatchRun::kLogHeader) + "\r\nMaking new project for " + p1 +
                              " is failed.\r\nError: The folder " + p1 + " cannot take the study's project: what "
                              "an earlier run left beside it could not be cleared: input/output error.\r\n" +
                              "Error: The earlier project of " + p1 + " waits in " + run.m_strOutput +
                              "/.s1.batch-old; the next run puts it back.\r\n");
    EXPECT_EQ(ReadFolderTree(run.m_strOutput + "/.s1.batch-old"), earlier[0]);

    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}});
    {
        TFileFaultScope fault({NoRenameFlags()});
        ASSERT_TRUE(run.Run());
    }
    EXPECT_EQ(EarlierOrWhole(0, earlier[0], "a b"), "whole");
    EXPECT_EQ(OutputNames(), std::vector<std::string>{"s1"});

    // A build folder that another run holds is its own: the study is refused, both stay.
    const TFolderBytes made = ReadFolderTree(p1);
    vx::MakeFolder(run.m_strOutput + "/.s1.batch");
    vx::TFolderLock other;
    ASSERT_EQ(other.Acquire(run.m_strOutput + "/.s1.batch"), vx::TFolderLock::TResult::Held);
    ASSERT_TRUE(run.Run());
    EXPECT_NE(g_batchLog.find("Error: The folder " + p1 + " cannot take the study's project: another program is "
                              "making it."),
              std::string::npos)
        << g_batchLog;
    EXPECT_EQ(ReadFolderTree(p1), made);
    EXPECT_EQ(OutputNames(), (std::vector<std::string>{".s1.batch", "s1"}));

    // An earlier project aside beside a folder that no run put in its place (an empty one
    // the user or a sync client made, with the lock file a run that could not make the study
    // left) is kept with the user's files, and the log says where.
    other.Release();
    vx::RemoveFolderTree(run.m_strOutput + "/.s1.batch");
    ASSERT_EQ(std::rename(p1.c_str(), (run.m_strOutput + "/.s1.batch-old").c_str()), 0);
    vx::MakeFolder(p1);
    WriteBytes(p1 + "/" + vx::TFolderLock::FileName(), "");
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(ReadFolderTree(run.m_strOutput + "/.s1.batch-old"), made);
    EXPECT_NE(g_batchLog.find("Error: The earlier project of " + p1 + " waits in " + run.m_strOutput +
                              "/.s1.batch-old"),
              std::string::npos)
        << g_batchLog;
    EXPECT_EQ(Study("s1"), "a b");
}

// Killed at every step of a re-run, on a file system with the exchange and on one without
// rename flags, and with the folder listing before the kill failing: each study holds its
// earlier project or the new one, with the user's files, or its earlier project waits
// aside; the next run leaves every study its new project with the user's files and nothing
// hidden beside them.
TEST_F(BatchRunTest, ARerunKilledAnywhereKeepsEveryProjectAndTheUsersFilesOnBothRoads)
{
    TProcessorCountGuard processors;
    vx::SetProcessorCount(1);  // no worker threads in the forked children
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}, {"s2", {"c.SPAR"}}});
    ASSERT_TRUE(run.Run());
    const std::vector<TFolderBytes> earlier = ProjectsWithNotes();
    const std::string pristine = exams.File("earlier");
    RestoreFolder(run.m_strOutput, pristine);
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}, {"s2", {"c.SPAR", "d.SPAR"}}});
    const std::vector<std::string> whole{"a b", "c d"};
    for (const int road : {0, 1, 2}) {
        const bool flags = road != 1, listing = road == 2;
        SCOPED_TRACE(listing ? "a listing failing before the kill" : flags ? "folders exchanged" : "no rename flags");
        const std::vector<vx::TFileFault> faults = flags ? std::vector<vx::TFileFault>{} : std::vector{NoRenameFlags()};
        int aside = 0, replaced = 0;
        for (int killAt = 1; killAt < 1000; ++killAt) {
            SCOPED_TRACE("killed at step " + std::to_string(killAt));
            RestoreFolder(pristine, run.m_strOutput);
            const bool killed = RunInChild([&] {
                // The first listing after the step before the kill fails.
                std::vector<vx::TFileFault> armed = faults;
                if (listing)
                    armed.push_back({vx::kFileList, EIO, killAt - 1, false, true});
                TFileFaultScope fault(armed);
                KillAtStep(killAt);
                return run.Run();
            });
            for (size_t k = 0; k < 2; ++k) {
                const std::string& study = run.m_studies[k];
                if (!vx::FolderExists(run.m_strOutput + "/" + study)) {
                    ++aside;
                    EXPECT_EQ(ReadFolderTree(run.m_strOutput + "/." + study + ".batch-old"), earlier[k]) << study;
                    continue;
                }
                const std::string state = EarlierOrWhole(k, earlier[k], whole[k]);
                EXPECT_TRUE(state == "earlier" || state == "whole") << study << ": " << state;
                ExpectToldAsWhatItIs(state == "earlier");
            replaced += state == "whole";
            }
            TFileFaultScope fault(faults);
            ASSERT_TRUE(run.Run());
            EXPECT_EQ(EarlierOrWhole(0, {}, whole[0]) + ", " + EarlierOrWhole(1, {}, whole[1]), "whole, whole");
            EXPECT_EQ(OutputNames(), (std::vector<std::string>{"s1", "s2"}));
            if (!killed)
                break;
        }
        EXPECT_EQ(aside, flags ? 0 : 2) << "kills between the two renames of each study";
        EXPECT_GT(replaced, 2);
    }
}

// A write that fails while a study is made (a full disk) ends the study: a fresh run
// leaves it no project, a re-run leaves its earlier one as it was, and the log names the
// set that could not be written and why. A file that cannot be read still costs only its
// set.
TEST_F(BatchRunTest, AWriteThatFailsEndsTheStudyWhereAnUnreadableFileCostsOnlyItsSet)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "bad.SPAR", "full.SPAR"}}});
    ASSERT_TRUE(run.Run());
    vx::SetFileFaults({});
    const std::string p1 = run.m_strOutput + "/s1";
    EXPECT_EQ(g_batchLog, std::string(TBatchRun::kLogHeader) + "\r\nProject " + p1 + ": \r\n" +
                              "Error: Fail to add CSI set bad.SPAR\r\n" + "Can not write CSI data set file " +
                              run.m_strOutput + "/.s1.batch/full.\r\n" +
                              "The CSI set full was not added: the disk is full.\r\n" +
                              "Error: Fail to add CSI set full.SPAR\r\n" + "Error: The project " + p1 +
                              " is removed because the CSI set of full.SPAR could not be written.\r\n");
    EXPECT_FALSE(vx::FolderExists(run.m_strOutput));

    vx::RemoveFolderTree(exams.File("s1"));
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
    ASSERT_TRUE(run.Run());
    const std::vector<TFolderBytes> earlier = ProjectsWithNotes();
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "full.SPAR", "z.SPAR"}}});
    ASSERT_TRUE(run.Run());
    vx::SetFileFaults({});
    EXPECT_EQ(ReadFolderTree(p1), earlier[0]);
    EXPECT_NE(g_batchLog.find("Error: The project " + p1 + " is not replaced because the CSI set of full.SPAR could "
                              "not be written."),
              std::string::npos)
        << g_batchLog;
}

// A write failing at every file event in turn, with the errors of a full and of a failing
// disk: after a fresh run each study is absent or whole; after a re-run over whole earlier
// projects each is exactly its earlier project or the new whole one with the user's files.
TEST_F(BatchRunTest, AWriteFailingAtAnyEventLeavesEachStudyAbsentEarlierOrWhole)
{
    const auto [failed, kept] = SweepAFreshRunAndARerun(TFailing::Writes);
    EXPECT_GT(failed, 10);
    EXPECT_GT(kept, 10);
}

// A folder's listing failing at every event in turn: no failed listing is taken for an
// empty folder. After a fresh run each study is absent or whole; after a re-run over whole
// earlier projects each is exactly its earlier project or the new whole one with the user's
// files, never one that lacks the sets of a study it could not list or the user's files of
// a folder it could not list.
TEST_F(BatchRunTest, AListingFailingAtAnyEventLeavesEachStudyAbsentEarlierOrWhole)
{
    const auto [failed, kept] = SweepAFreshRunAndARerun(TFailing::Listings);
    EXPECT_GT(failed, 2);
    EXPECT_GT(kept, 4);
}

// A look at a name failing at every event in turn: no failed look is taken for nothing
// there, nor for something other than a file or folder. After a fresh run each study is
// absent or whole; after a re-run each is exactly its earlier project or the new whole one
// with the user's files.
TEST_F(BatchRunTest, ALookFailingAtAnyEventLeavesEachStudyAbsentEarlierOrWhole)
{
    const auto [failed, kept] = SweepAFreshRunAndARerun(TFailing::Looks);
    EXPECT_GT(failed, 0);
    EXPECT_GT(kept, 0);
}

// Where the user's files cannot be linked into the new project they are carried as they
// are: a FIFO is made anew (a copy would wait on it for ever) and a file is copied. A copy
// that fails leaves the earlier project, and the log gives the copy's own error.
TEST_F(BatchRunTest, ARerunCarriesTheUsersFilesWhereLinksFail)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
    ASSERT_TRUE(run.Run());
    const std::string p1 = run.m_strOutput + "/s1";
    const std::vector<TFolderBytes> earlier = ProjectsWithNotes();
    // The earlier project with a FIFO beside it (which a copy of folders does not take).
    const std::string pristine = exams.File("earlier");
    RestoreFolder(run.m_strOutput, pristine);
    const auto restore = [&] {
        RestoreFolder(pristine, run.m_strOutput);
        ASSERT_EQ(::mkfifo((p1 + "/pipe").c_str(), 0600), 0);
    };
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}});

    restore();
    // The user's file copied keeps the ACL that lets another user read it.
    const std::string notes = p1 + "/notes.txt";
    const bool acl = std::system(("setfacl -m u:65533:r-- " + notes + " 2>/dev/null").c_str()) == 0;
    EXPECT_FALSE(RunInChild([&] {
        ::alarm(30);  // ends a run that waits on the FIFO
        TFileFaultScope fault({{vx::kFileLink, EXDEV, 1, true}});
        return run.Run() && g_batchLog.find("Error") == std::string::npos;
    }));
    EXPECT_EQ(EarlierOrWhole(0, earlier[0], "a b"), "whole");
    struct stat st {};
    EXPECT_TRUE(::lstat((p1 + "/pipe").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    if (acl) {
        EXPECT_EQ(std::system(("getfacl -n " + notes + " 2>/dev/null | grep -q '^user:65533:r--'").c_str()), 0);
    }

    // Links refused, and the disk full after each step in turn: the study keeps its earlier
    // project or gets the new one, and the copy of the user's file that fails says why.
    int steps = 0;
    restore();
    vx::TFile::SetStepHook([&] { ++steps; });
    {
        TFileFaultScope fault({{vx::kFileLink, EPERM, 1, true}});
        ASSERT_TRUE(run.Run());
    }
    vx::TFile::SetStepHook({});
    bool copyFailed = false;
    for (int at = 0; at <= steps; ++at) {
        SCOPED_TRACE("the disk full after step " + std::to_string(at));
        restore();
        {
            TFileFaultScope fault(
                {{vx::kFileLink, EPERM, 1, true}, {vx::kFileWrite | vx::kFileCreate, ENOSPC, at, false, true}});
            ASSERT_TRUE(run.Run());
        }
        const std::string state = EarlierOrWhole(0, earlier[0], "a b");
        EXPECT_TRUE(state == "earlier" || state == "whole") << state;
        copyFailed = copyFailed || g_batchLog.find("Error: The project " + p1 + " is not replaced because the other "
                                                   "files of its folder could not be kept: " + p1 +
                                                   "/notes.txt: the disk is full.") != std::string::npos;
    }
    EXPECT_TRUE(copyFailed);
}

// Where a removed file that is still open stays as a hidden file in its folder (FUSE
// without hard_remove, NFS), on a file system without rename flags, as bindfs: every run
// replaces both studies' projects and leaves nothing hidden behind.
TEST_F(BatchRunTest, EveryRunReplacesEveryProjectWhereRemovedOpenFilesStayHidden)
{
    TFileFaultScope fault({NoRenameFlags(), OpenFilesStayHidden()});
    ExpectEveryRunToReplaceEveryProject();
}

// The same on a real FUSE pass-through mount, where the system offers one.
TEST_F(BatchRunTest, EveryRunReplacesEveryProjectOnAFusePassThroughMount)
{
    vx::MakeFolder(exams.File("disk"));
    vx::MakeFolder(exams.File("mount"));
    const TFuseMount mount = PassThroughMount(exams.File("disk"), exams.File("mount"));
    if (!mount.Skip().empty())
        GTEST_SKIP() << mount.Skip();
    ASSERT_EQ(mount.Failure(), "");
    run.m_strOutput = exams.File("mount/CSIProjects");
    ExpectEveryRunToReplaceEveryProject();
}

// Two runs into one output folder at once: the second runs whole while the first re-run
// waits at each of its steps in turn. Neither takes away what the other builds: a study the
// first cannot make is refused because the other has it, never failed after its build, and
// each study ends with its whole new project, the user's files and nothing hidden.
TEST_F(BatchRunTest, TwoRunsAtOnceTakeNothingFromEachOther)
{
    TProcessorCountGuard processors;
    vx::SetProcessorCount(1);  // no worker threads in the forked children
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}, {"s2", {"c.SPAR"}}});
    ASSERT_TRUE(run.Run());
    ProjectsWithNotes();
    const std::string pristine = exams.File("earlier");
    RestoreFolder(run.m_strOutput, pristine);
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}, {"s2", {"c.SPAR", "d.SPAR"}}});
    const auto nothingFailed = [] {
        return g_batchLog.find(" because ") == std::string::npos && g_batchLog.find("could not") == std::string::npos;
    };
    for (int pauseAt = 1; pauseAt < 1000; ++pauseAt) {
        SCOPED_TRACE("the first run waiting at step " + std::to_string(pauseAt));
        RestoreFolder(pristine, run.m_strOutput);
        const TChildRun first = BesideAChild(
            [&](const std::function<void(bool)>& pause) {
                int steps = 0;
                vx::TFile::SetStepHook([&] {
                    if (++steps == pauseAt)
                        pause(true);
                });
                const bool ran = run.Run() && nothingFailed();
                if (steps < pauseAt)
                    pause(false);  // it ended before that step
                return ran;
            },
            [&] {
                EXPECT_TRUE(run.Run());
                EXPECT_TRUE(nothingFailed()) << g_batchLog;
            });
        EXPECT_TRUE(first.result) << "the first run failed a study";
        EXPECT_EQ(EarlierOrWhole(0, {}, "a b") + ", " + EarlierOrWhole(1, {}, "c d"), "whole, whole");
        EXPECT_EQ(OutputNames(), (std::vector<std::string>{"s1", "s2"}));
        if (!first.answer)
            break;
    }
}

// As an ordinary user: a read-only folder of the user's in a study's folder is carried
// into the new project with its rights, and the earlier project with its own copy of it
// goes; a file the user cannot read, where links fail, keeps the earlier project, and the
// log says that it cannot be read and what to do.
TEST_F(BatchRunTest, AsAnOrdinaryUserARerunKeepsReadOnlyFoldersAndNamesAFileItCannotRead)
{
    ::chmod(exams.Path().c_str(), 0777);
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}});
    const std::string p1 = run.m_strOutput + "/s1";
    struct Case {
        const char* what;
        std::string file;  // the user's, in the study's folder
        mode_t folderMode, fileMode;
        std::vector<vx::TFileFault> faults;
        std::string log, sets;
    };
    const Case cases[] = {
        {"a read-only folder", "sub/table.txt", 0555, 0644, {}, "No error or warning. \r\n", "a b"},
        {"a file it cannot read where links fail", "sub/secret.txt", 0755, 0, {{vx::kFileLink, EXDEV, 1, true}},
         "Error: The project " + p1 + " is not replaced because the other files of its folder could not be kept: " +
             p1 + "/sub/secret.txt: it cannot be read; make it readable, or move it out of the folder.\r\n",
         "a"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vx::RemoveFolderTree(run.m_strOutput);
        const std::string log = AsAnOrdinaryUser([&] {
            run.m_strPatterns = "a.*";
            if (!run.Run())
                return std::string("the first run failed");
            vx::MakeFolder(p1 + "/sub");
            WriteBytes(p1 + "/" + c.file, "the user's");
            ::chmod((p1 + "/" + c.file).c_str(), c.fileMode);
            ::chmod((p1 + "/sub").c_str(), c.folderMode);
            run.m_strPatterns = "*.*";
            TFileFaultScope fault(c.faults);
            return run.Run() ? g_batchLog : std::string("the re-run failed");
        });
        EXPECT_EQ(log, std::string(TBatchRun::kLogHeader) + "\r\nProject " + p1 + ": \r\n" + c.log);
        EXPECT_EQ(Study("s1"), c.sets);
        // A file only root could read as it is: its owner may let itself read it again.
        ::chmod((p1 + "/" + c.file).c_str(), c.fileMode | S_IRUSR);
        EXPECT_EQ(ReadBytes(p1 + "/" + c.file), "the user's");
        struct stat st {};
        EXPECT_TRUE(::stat((p1 + "/sub").c_str(), &st) == 0 && (st.st_mode & 07777) == c.folderMode);
        EXPECT_EQ(OutputNames(), std::vector<std::string>{"s1"});
    }
}

// A group's output folder (setgid, 2775) shared by two users with groups of their own: a
// member whose umask is 077 re-runs the batch the other one ran, and each rebuilt study
// keeps its folder's rights and group and its files' rights, so that the other member opens
// it with no message. A study made for the first time takes the output folder's group.
TEST_F(BatchRunTest, ARerunByAMemberWithANarrowUmaskKeepsTheRightsOfTheGroupsStudies)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "two ordinary users with groups of their own are made only by root";
    ::chmod(exams.Path().c_str(), 0755);
    constexpr gid_t kGroup = 65532;
    ASSERT_TRUE(vx::MakeFolder(run.m_strOutput));
    ASSERT_EQ(::chown(run.m_strOutput.c_str(), 65534, kGroup), 0);
    ASSERT_EQ(::chmod(run.m_strOutput.c_str(), 02775), 0);
    const auto runAs = [&](uid_t user, mode_t mask, const std::function<std::string()>& then) {
        return AsUser(user, gid_t(user), [&] {
            ::umask(mask);
            return run.Run() ? then() : std::string("the run failed");
        }, {kGroup});
    };
    const std::string s1 = run.m_strOutput + "/s1";
    const auto rights = [&] { return RightsIn(s1); };
    const std::string group = "file 0664 65532\nfolder 2775 65532\n";
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
    EXPECT_EQ(runAs(65534, 002, rights), group);
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}});
    const std::string log = runAs(65533, 077, [&] { return g_batchLog; });
    EXPECT_EQ(log.find("Error"), std::string::npos) << log;
    EXPECT_EQ(rights(), group);
    EXPECT_EQ(AsUser(65534, 65534, [&] { return Study("s1"); }, {kGroup}), "a b");
}

// The rights of a private earlier project are read in the folder the re-run holds: another
// folder open to all, put at the study's name from the moment the project is held until
// the new project's first file is made (then put back), lends the new one none of its own.
TEST_F(BatchRunTest, ARerunTakesTheRightsOfTheEarlierProjectItHolds)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
    ASSERT_TRUE(run.Run());
    const std::string p1 = run.m_strOutput + "/s1", lender = exams.File("lender");
    vx::RemoveFile(p1 + "/" + vx::TFolderLock::FileName());
    for (const std::string& name : FolderTreeNames(p1))
        ::chmod((p1 + "/" + name).c_str(), 0600);
    ::chmod(p1.c_str(), 0700);
    ASSERT_TRUE(vx::MakeFolder(lender));
    WriteBytes(lender + "/s1.tpj", "");
    ::chmod((lender + "/s1.tpj").c_str(), 0666);
    ::chmod(lender.c_str(), 0777);
    int exchanged = 0;
    vx::SetBeforeRightsHook([&](const std::string& path) {
        if (exchanged == 0 ? path == p1 + "/" + vx::TFolderLock::FileName()
                           : exchanged == 1 && path.starts_with(run.m_strOutput + "/.s1.batch/.vexara/"))
            exchanged += ::renameat2(AT_FDCWD, p1.c_str(), AT_FDCWD, lender.c_str(), RENAME_EXCHANGE) == 0;
    });
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}});
    ASSERT_TRUE(run.Run());
    vx::SetBeforeRightsHook({});
    EXPECT_EQ(exchanged, 2);
    EXPECT_EQ(Study("s1"), "a b");
    const std::string group = std::to_string(::getegid());  // the lock file is 0644, as every one is
    EXPECT_EQ(RightsIn(p1), "file 0600 " + group + "\nfile 0644 " + group + "\nfolder 0700 " + group + "\n");
}

// A folder that cannot be listed is never taken for an empty one. As an ordinary user: an
// earlier study folder the user may not read keeps its project and the user's file and
// sub-folder in it; an input study folder that cannot be listed, or that holds none of its
// sets any more, keeps the earlier two-set project. The log says which folder and why.
TEST_F(BatchRunTest, AsAnOrdinaryUserAFolderThatCannotBeListedKeepsTheEarlierProject)
{
    ::chmod(exams.Path().c_str(), 0777);
    const std::string p1 = run.m_strOutput + "/s1", s1 = exams.File("s1");
    const std::string unlistedStudy = "\r\nProject " + p1 + ": \r\nError: The project " + p1 +
                                      " is not replaced because its study folder " + s1 +
                                      " cannot be listed: permission denied.\r\n";
    struct Case {
        const char* what;
        std::string folder;  // made unlistable, or emptied
        mode_t mode;
        bool emptied;
        std::string log;
    };
    const Case cases[] = {
        {"an earlier study folder it may search but not read", p1, 0311, false,
         "\r\nMaking new project for " + p1 + " is failed.\r\nError: The folder " + p1 +
             " cannot take the study's project: its files cannot be listed: permission denied.\r\n"},
        {"an input study it may search but not read", s1, 0311, false, unlistedStudy},
        {"an input study it may not open", s1, 0, false, unlistedStudy},
        {"an input study emptied since", s1, 0755, true,
         "\r\nProject " + p1 + ": \r\nError: The project " + p1 + " is not replaced because no CSI set was found in " +
             s1 + ".\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        vx::RemoveFolderTree(run.m_strOutput);
        vx::RemoveFolderTree(s1);
        const std::string log = AsAnOrdinaryUser([&] {
            UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}});
            if (!run.Run())
                return std::string("the first run failed");
            WriteBytes(p1 + "/notes.txt", "the user's notes");
            vx::MakeFolder(p1 + "/exports");
            WriteBytes(p1 + "/exports/table.txt", "the user's table");
            if (c.emptied)
                for (const char* file : {"/a.SPAR", "/b.SPAR"})
                    vx::RemoveFile(s1 + file);
            ::chmod(c.folder.c_str(), c.mode);
            return run.Run() ? g_batchLog : std::string("the re-run failed");
        });
        ::chmod(c.folder.c_str(), 0755);
        EXPECT_EQ(log, std::string(TBatchRun::kLogHeader) + c.log);
        EXPECT_EQ(Study("s1"), "a b");
        EXPECT_EQ(ReadBytes(p1 + "/notes.txt"), "the user's notes");
        EXPECT_EQ(ReadBytes(p1 + "/exports/table.txt"), "the user's table");
        EXPECT_EQ(OutputNames(), std::vector<std::string>{"s1"});
    }
}


// Another user who may write the output folder puts a link to a folder of root's at a
// study's build folder name: before a fresh run or a re-run, or in exchange for the build
// at each look at a name of the output folder before its use, or at each step of the file
// layer. Nothing is made in the linked folder, and a study whose build the link met is
// refused, saying why, with its earlier project kept. Another study's project that the
// user renames to a name a run gives the folders it removes is not taken for one.
TEST_F(BatchRunTest, ALinkAnotherUserPutsAtABuildFolderLeadsNothingIntoTheLinkedFolder)
{
    TProcessorCountGuard processors;
    vx::SetProcessorCount(1);  // the other user acts from a forked child
    ::chmod(exams.Path().c_str(), 0755);
    const std::string p1 = run.m_strOutput + "/s1", build = run.m_strOutput + "/.s1.batch", root = exams.File("root");
    ASSERT_TRUE(vx::MakeFolder(root));
    ::chmod(root.c_str(), 0700);
    WriteBytes(root + "/kept.txt", "root's own");
    const TFolderBytes roots{{"kept.txt", "root's own"}};
    const auto putLink = [&] { AsAnOrdinaryUser([&] { PutLinkAt(build, root); return std::string(); }); };
    const auto freshOutput = [&] {
        vx::RemoveFolderTree(run.m_strOutput);
        ASSERT_TRUE(vx::MakeFolder(run.m_strOutput));
        ::chmod(run.m_strOutput.c_str(), 0777);
    };
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
    for (const bool rerun : {false, true}) {
        SCOPED_TRACE(rerun ? "before a re-run" : "before a fresh run");
        freshOutput();
        if (rerun) {
            ASSERT_TRUE(run.Run());
        }
        const TFolderBytes earlier = ReadFolderTree(p1);
        putLink();
        ASSERT_TRUE(run.Run());
        EXPECT_EQ(g_batchLog, std::string(TBatchRun::kLogHeader) + "\r\nMaking new project for " + p1 +
                                  " is failed.\r\nThe project s1 cannot be created: its folder " + build +
                                  " cannot be made: file exists.\r\n");
        EXPECT_EQ(ReadFolderTree(p1), earlier);
        EXPECT_EQ(ReadFolderTree(root, true), roots);
    }

    UseSetsAndMarkingMacro({{"s2", {"c.SPAR"}}});
    freshOutput();
    ASSERT_TRUE(run.Run());
    const std::string p2 = run.m_strOutput + "/s2", renamed = run.m_strOutput + "/.s1.batch-gone.1.1";
    const TFolderBytes s2 = ReadFolderTree(p2, true);
    EXPECT_EQ(AsAnOrdinaryUser([&] { return std::to_string(::rename(p2.c_str(), renamed.c_str())); }), "0");
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
    ASSERT_TRUE(run.Run());
    EXPECT_EQ(ReadFolderTree(renamed, true), s2);

    freshOutput();
    ASSERT_TRUE(run.Run());
    const TFolderBytes earlier = ProjectsWithNotes()[0];
    const std::string pristine = exams.File("earlier");
    RestoreFolder(run.m_strOutput, pristine);
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}});
    for (const bool atSteps : {false, true}) {
        int refused = 0;
        for (int at = 1;; ++at) {
            SCOPED_TRACE(std::string(atSteps ? "exchanged at step " : "exchanged at look ") + std::to_string(at));
            RestoreFolder(pristine, run.m_strOutput);
            ::chmod(run.m_strOutput.c_str(), 0777);
            int seen = 0;
            const auto exchange = [&] {
                if (++seen == at)
                    putLink();
            };
            if (atSteps)
                vx::TFile::SetStepHook(exchange);
            else
                vx::SetBeforeUseHook([&](const std::string&) { exchange(); });
            ASSERT_TRUE(run.Run());
            vx::TFile::SetStepHook({});
            vx::SetBeforeUseHook({});
            EXPECT_EQ(ReadFolderTree(root, true), roots);
            const bool failed = g_batchLog.find(" is failed.") != std::string::npos ||
                                g_batchLog.find(" is not replaced because ") != std::string::npos;
            EXPECT_EQ(EarlierOrWhole(0, earlier, "a b"), failed ? "earlier" : "whole") << g_batchLog;
            refused += failed;
            if (seen < at)
                break;
        }
        EXPECT_GT(refused, 1) << "at the making and at the put at least";
    }
}

// Another user who may write the output folder made a folder at a study's name, or where a
// run sets an earlier project aside or builds a new one, holding a project file of their own
// open to all, before a run of private studies under the umask 077: the new project is the
// runner's and private, and the log says whose the folder was. A folder at the build folder's
// name is left as it is, and the study is not built. A swap's mark another user wrote, naming
// the study's folder and a folder aside, is not taken for a run's: the folder aside stays,
// the runner's too. Nor is it removed, there before a run or put there once a re-run has
// mended what it found: the study is not built, or the earlier project not replaced. Root
// against uid 65534, and two users with groups of their own.
TEST_F(BatchRunTest, AFolderAnotherUserMadeAtAStudysNameLendsTheNewProjectNoneOfItsRights)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "another user's folders are had only by root";
    ::chmod(exams.Path().c_str(), 0755);
    const std::string p1 = run.m_strOutput + "/study1";
    UseSetsAndMarkingMacro({{"study1", {"a.SPAR"}}});
    // The other user's mark: none, one naming the study's folder and the planted one, one
    // alone, or one put there as a re-run makes its build.
    enum TMark { None, Forged, Alone, AtWrite };
    const char* const marks[] = {"", " and a mark of theirs", " and only a mark of theirs",
                                 " and a mark of theirs later"};
    struct Case {
        uid_t runner, other, maker;  // maker: of the planted folder
        const char* otherName;
        std::string planted;  // empty: none
        TMark mark;
        std::string log;
    };
    const std::string built = "\r\nProject " + p1 + ": \r\n", madeBy = " was made by another user, ";
    const std::string taken = ": the new project takes this user's own rights, not that folder's.\r\n";
    const std::string left = ", not left by a run of this user's: it is left as it is.\r\n";
    const std::string aside = run.m_strOutput + "/.study1.batch-old", build = run.m_strOutput + "/.study1.batch";
    const std::string mark = build + "-swap", theirs = run.m_strOutput + "/their-mark";
    std::vector<Case> cases;
    using TUsers = std::tuple<uid_t, uid_t, const char*>;  // the runner, the other user and that one's name
    for (const auto& [runner, other, name] : {TUsers{0, 65534, "nobody"}, TUsers{65534, 65533, "65533"}}) {
        const std::string warned = built + "Warning: The folder ";
        const std::string refused = "\r\nMaking new project for " + p1 + " is failed.\r\nError: The folder " + p1 +
                                    " cannot take the study's project: the ";
        const std::string theirMark = "file " + mark + madeBy + name + left;
        cases.push_back({runner, other, other, name, "study1", None, warned + p1 + madeBy + name + taken});
        cases.push_back({runner, other, other, name, ".study1.batch-old", None, warned + aside + madeBy + name + left});
        cases.push_back({runner, other, other, name, ".study1.batch-old", Forged, refused + theirMark});
        cases.push_back(
            {runner, other, other, name, ".study1.batch", None, refused + "folder " + build + madeBy + name + left});
        cases.push_back({runner, other, runner, name, ".study1.batch-old", Forged, refused + theirMark});
        cases.push_back({runner, other, other, name, "", Alone, refused + theirMark});
        cases.push_back({runner, other, other, name, "", AtWrite,
                         built + "Error: The project " + p1 + " is not replaced because the " + theirMark});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.runner) + " against " + c.planted + " of " + std::to_string(c.maker) +
                     marks[c.mark]);
        vx::RemoveFolderTree(run.m_strOutput);
        MadeBy(run.m_strOutput, c.runner, 0777);
        ASSERT_EQ(::chown(exams.File("study1").c_str(), c.runner, c.runner), 0);
        ASSERT_EQ(::chown(exams.File("study1/a.SPAR").c_str(), c.runner, c.runner), 0);
        ASSERT_EQ(::chmod(exams.File("study1").c_str(), 0700), 0);
        const std::string planted = run.m_strOutput + "/" + c.planted;
        if (!c.planted.empty()) {
            MadeBy(planted, c.maker, 0777);
            WriteBytes(planted + "/study1.tpj", "theirs\n");
            ASSERT_EQ(::chown((planted + "/study1.tpj").c_str(), c.maker, c.maker), 0);
            ASSERT_EQ(::chmod((planted + "/study1.tpj").c_str(), 0666), 0);
        }
        std::string markText = "their own";
        if (c.mark == Forged) {
            // The identities a swap's mark names, of the folder in place and of the one aside.
            MadeBy(p1, c.runner, 0700);
            struct stat inPlace {}, away {};
            ASSERT_EQ(::stat(p1.c_str(), &inPlace), 0);
            ASSERT_EQ(::stat(planted.c_str(), &away), 0);
            markText = std::to_string(inPlace.st_dev) + " " + std::to_string(inPlace.st_ino) + " " +
                       std::to_string(away.st_dev) + " " + std::to_string(away.st_ino);
        }
        // The mark is written beside its name until the re-run makes its build, after the mending.
        const std::string markAt = c.mark == AtWrite ? theirs : mark;
        if (c.mark != None) {
            WriteBytes(markAt, markText);
            ASSERT_EQ(::chown(markAt.c_str(), c.other, c.other), 0);
        }
        struct stat earlier {};
        if (c.mark == AtWrite) {
            ASSERT_EQ(AsRunner(c.runner, [&] { return std::string(run.Run() ? "run" : "failed"); }), "run");
            ASSERT_EQ(::stat(p1.c_str(), &earlier), 0);
            vx::SetBeforeUseHook([&](const std::string& path) {
                if (path == build)
                    (void)::rename(theirs.c_str(), mark.c_str());
            });
        }
        const std::string before = c.planted.empty() ? std::string() : TreeOf(planted);
        const std::string log = AsRunner(c.runner, [&] {
            const mode_t mask = ::umask(077);
            const std::string said = run.Run() ? g_batchLog : std::string("the run failed");
            ::umask(mask);
            return said;
        });
        vx::SetBeforeUseHook({});
        EXPECT_EQ(log, std::string(TBatchRun::kLogHeader) + c.log);
        const bool refused = c.planted == ".study1.batch" || c.mark != None;
        if (c.mark == Forged) {
            EXPECT_EQ(FolderTreeNames(p1), std::vector<std::string>{}) << "the folder at the study's name";
        } else {
            EXPECT_EQ(Study("study1"), refused && c.mark != AtWrite ? "absent" : "a");
        }
        if (c.mark != None) {
            struct stat st {};
            EXPECT_TRUE(::lstat(mark.c_str(), &st) == 0 && st.st_uid == c.other && ReadBytes(mark) == markText);
        }
        if (c.mark == AtWrite) {
            struct stat st {};
            EXPECT_TRUE(::stat(p1.c_str(), &st) == 0 && st.st_ino == earlier.st_ino) << "the earlier project replaced";
        }
        if (!refused) {
            const std::string group = std::to_string(c.runner);
            EXPECT_EQ(RightsIn(p1), "file 0600 " + group + "\nfile 0644 " + group + "\nfolder 0700 " + group + "\n");
            struct stat st {};
            EXPECT_TRUE(::stat(p1.c_str(), &st) == 0 && st.st_uid == c.runner);
        }
        if (!c.planted.empty() && c.planted != "study1") {
            EXPECT_EQ(TreeOf(planted), before);
        }
    }
}

// Another user, who owns the output folder open to all, puts a folder of their own open to
// all at a study's build folder name just after the run made it there: neither a fresh run
// nor a re-run builds the study in it. Root against uid 65534, and two users with groups of
// their own.
TEST_F(BatchRunTest, AFolderAnotherUserPutsAtABuildFolderJustMadeIsNeverBuiltIn)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "another user's folders are had only by root";
    ::chmod(exams.Path().c_str(), 0755);
    const std::string p1 = run.m_strOutput + "/s1", build = run.m_strOutput + "/.s1.batch";
    const std::string planted = run.m_strOutput + "/planted";
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
    for (const auto& [runner, other] : {std::pair<uid_t, uid_t>{0, 65534}, std::pair<uid_t, uid_t>{65534, 65533}}) {
        for (const bool rerun : {false, true}) {
            SCOPED_TRACE(std::to_string(runner) + (rerun ? " re-runs" : " runs") + " against " + std::to_string(other));
            vx::RemoveFolderTree(run.m_strOutput);
            MadeBy(run.m_strOutput, other, 0777);
            if (rerun) {
                ASSERT_EQ(AsRunner(runner, [&] { return std::string(run.Run() ? "run" : "failed"); }), "run");
            }
            MadeBy(planted, other, 0777);
            vx::TFile::SetStepHook([&, swapped = false]() mutable {
                if (!swapped && vx::FolderExists(build))
                    swapped = ::renameat2(AT_FDCWD, planted.c_str(), AT_FDCWD, build.c_str(), RENAME_EXCHANGE) == 0;
            });
            const std::string log = AsRunner(runner, [&] { return run.Run() ? g_batchLog : std::string("the run failed"); });
            vx::TFile::SetStepHook({});
            EXPECT_NE(log.find("Making new project for " + p1 + " is failed.\r\nThe project s1 cannot be created: "
                               "its folder " + build + " cannot be made: stale file handle.\r\n"),
                      std::string::npos)
                << log;
            EXPECT_EQ(Study("s1"), rerun ? "a" : "absent");
            for (const auto& entry : std::filesystem::directory_iterator(run.m_strOutput)) {
                struct stat st {};
                if (::lstat(entry.path().c_str(), &st) == 0 && st.st_uid == other && entry.is_directory()) {
                    EXPECT_EQ(FolderTreeNames(entry.path().string()), std::vector<std::string>{}) << entry.path();
                }
            }
        }
    }
}

// A study's build folder that cannot be made: the log gives the error of the making, not
// that of a later call on the folder that is not there.
TEST_F(BatchRunTest, ABuildFolderThatCannotBeMadeIsLoggedWithItsOwnError)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
    vx::MakeFolder(run.m_strOutput);
    {
        TFileFaultScope fault({{vx::kFileCreate, EIO, 1}});
        ASSERT_TRUE(run.Run());
    }
    const std::string p1 = run.m_strOutput + "/s1";
    EXPECT_EQ(g_batchLog, std::string(TBatchRun::kLogHeader) + "\r\nMaking new project for " + p1 +
                              " is failed.\r\nThe project s1 cannot be created: its folder " + run.m_strOutput +
                              "/.s1.batch cannot be made: input/output error.\r\n");
    EXPECT_TRUE(OutputNames().empty());
}

// A run on a file system whose locks fail once the lock file is made (none offered, or a
// failing one), locally and with locks as on NFS: each study says why it got no project, and
// nothing is left beside the projects; an earlier project stays as it was.
TEST_F(BatchRunTest, LocksThatFailLeaveNothingBesideTheStudiesAndSayWhy)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}, {"s2", {"c.SPAR"}}});
    const std::string p1 = run.m_strOutput + "/s1", p2 = run.m_strOutput + "/s2";
    for (const bool nfs : {false, true}) {
        for (const int error : {ENOLCK, EIO}) {
            SCOPED_TRACE(std::string(nfs ? "on NFS, " : "") + vx::FileErrorReason(error));
            const std::string why = "cannot be locked: " + vx::FileErrorReason(error) + ".\r\n";
            // The second lock call locks the lock file the first one made.
            std::vector<vx::TFileFault> faults{{vx::kFileLock, error, 2, true}};
            if (nfs)
                faults.push_back(LocksAsOnNFS());
            vx::RemoveFolderTree(run.m_strOutput);
            vx::MakeFolder(run.m_strOutput);
            {
                TFileFaultScope fault(faults);
                ASSERT_TRUE(run.Run());
            }
            std::string log = TBatchRun::kLogHeader;
            for (const char* study : {"s1", "s2"})
                log += "\r\nMaking new project for " + run.m_strOutput + "/" + study +
                       " is failed.\r\nThe project " + study + " cannot be created: its folder " + why;
            EXPECT_EQ(g_batchLog, log);
            EXPECT_TRUE(OutputNames().empty()) << OutputNames().front();

            // An earlier project of the first study is there, with no lock file.
            UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
            ASSERT_TRUE(run.Run());
            vx::RemoveFile(p1 + "/" + vx::TFolderLock::FileName());
            const TFolderBytes earlier = ReadFolderTree(p1, true);
            {
                TFileFaultScope fault(faults);
                ASSERT_TRUE(run.Run());
            }
            EXPECT_EQ(g_batchLog, std::string(TBatchRun::kLogHeader) + "\r\nMaking new project for " + p1 +
                                      " is failed.\r\nError: The folder " + p1 +
                                      " cannot take the study's project: its folder " + why);
            EXPECT_TRUE(ReadFolderTree(p1, true) == earlier);
            EXPECT_EQ(OutputNames(), std::vector<std::string>{"s1"});
            UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}, {"s2", {"c.SPAR"}}});
        }
    }
}

// A rename that fails at every event of a re-run in turn: where the study's project could
// not be saved, the build is dropped and the earlier project stays, and the log never says
// that the save is completed when the project is opened again.
TEST_F(BatchRunTest, ASaveThatFailsInABuildIsNeverSaidToBeCompletedLater)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR"}}});
    ASSERT_TRUE(run.Run());
    const std::vector<TFolderBytes> earlier = ProjectsWithNotes();
    const std::string pristine = exams.File("earlier");
    RestoreFolder(run.m_strOutput, pristine);
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "b.SPAR"}}});
    const int unsaved = SweepAFault([](int at) { return vx::TFileFault{vx::kFileRename, EIO, at}; }, 1,
                                    [&] { RestoreFolder(pristine, run.m_strOutput); }, [&](size_t k) {
        const std::string state = EarlierOrWhole(k, earlier[k], "a b");
        EXPECT_TRUE(state == "earlier" || state == "whole") << state << g_batchLog;
        if (g_batchLog.find(" because the project could not be saved.") == std::string::npos)
            return false;
        EXPECT_EQ(state, "earlier");
        EXPECT_EQ(g_batchLog.find("opened again"), std::string::npos) << g_batchLog;
        return true;
    });
    EXPECT_GT(unsaved, 0);
}

// An image whose reader could not look for its companion file beside it (a listing that
// failed): the study ends, and its earlier project stays as it was.
TEST_F(BatchRunTest, AnImageWhoseCompanionFileCouldNotBeLookedForKeepsTheEarlierProject)
{
    UseSetsAndMarkingMacro({{"s1", {"a.SPAR", "scan.PAR"}}});
    // Images that read as none, after a look for their REC file under any case.
    bool looked = false;
    InstallImageReader(0, [&](TImageSet&, const std::string& path, TImageImportParams, TProject*) {
        looked = looked || vx::FindFileNoCase(vx::WithoutExtension(path) + ".REC").error != 0;
        return false;
    });
    ASSERT_TRUE(run.Run());
    const std::vector<TFolderBytes> earlier = ProjectsWithNotes();
    const std::string pristine = exams.File("earlier"), p1 = run.m_strOutput + "/s1";
    RestoreFolder(run.m_strOutput, pristine);
    for (int at = 1; !looked && at < 100; ++at) {
        SCOPED_TRACE("a listing failing at its event " + std::to_string(at));
        RestoreFolder(pristine, run.m_strOutput);
        TFileFaultScope fault({{vx::kFileList, EIO, at}});
        ASSERT_TRUE(run.Run());
        ASSERT_TRUE(vx::FileFaultStruck());
    }
    ASSERT_TRUE(looked);
    EXPECT_NE(g_batchLog.find("Error: The project " + p1 + " is not replaced because the files that go with scan.PAR "
                              "could not be looked for.\r\n"),
              std::string::npos)
        << g_batchLog;
    EXPECT_EQ(ReadFolderTree(p1), earlier[0]);
    ClearReaderHooks();
}
