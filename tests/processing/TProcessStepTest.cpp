// The step base: work split over workers, state-file names, the undo and redo swap of
// a whole set, and the caller protocol with a state that cannot be saved.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <utility>

#include "model/ProcessingHooks.h"
#include "model/TCSISet.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TFileTransaction.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/Workers.h"
#include "processing/InstallProcessing.h"
#include "processing/TProcessHistory.h"
#include "support/FolderKill.h"
#include "support/ProcessorCountGuard.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "TestSteps.h"

using namespace vx;
using vx::test::TScaleStep;

namespace {

// Notes every RunPart call; one chosen worker can fail.
class TPartRecorder : public TProcessStep {
public:
    bool Undo() override { return true; }
    bool Redo() override { return true; }
    bool ReadMacro(TTextFile&) override { return true; }
    void WriteMacro(TTextFile&) override {}
    bool Apply() override { return RunAllParts(); }
    std::string GetDisplayName() const override { return "parts"; }
    bool RunPart(int parts, int index) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.emplace_back(parts, index);
        return index != m_failing;
    }
    std::mutex m_mutex;
    std::vector<std::pair<int, int>> m_calls;  // (part count, index)
    int m_failing = -1;
};

class ProcessStepTest : public test::OpenProjectTest {
protected:
    // The project is made with the processing hooks in place, so that it has a history.
    void SetUp() override
    {
        InstallProcessing();
        OpenProjectTest::SetUp();
    }
    void TearDown() override
    {
        TFile::FailWritesAfter(-1);
        OpenProjectTest::TearDown();
        InstallProcessingHooks({});
    }
    // A loaded set of the open project, whose steps keep their states in its folder.
    std::unique_ptr<TCSISet> ProjectSet(int nx, int ny, int nz, int points)
    {
        auto set = test::MakeLoadedSet(nx, ny, nz, points);
        set->SetProject(m_project.get());
        return set;
    }
    test::TProcessorCountGuard m_processors;
};

// --- workers -----------------------------------------------------------------------------

TEST_F(ProcessStepTest, AllPartsRunOnePartInlineOrOneWorkerPerProcessor)
{
    for (int processors : {1, 4}) {
        SCOPED_TRACE(processors);
        SetProcessorCount(processors);
        TPartRecorder step;
        const long threads = WorkerThreadsStarted();
        EXPECT_TRUE(step.Apply());
        EXPECT_EQ(WorkerThreadsStarted(), threads + (processors == 1 ? 0 : processors));
        std::sort(step.m_calls.begin(), step.m_calls.end());
        std::vector<std::pair<int, int>> expected;
        for (int k = 0; k < processors; ++k)
            expected.emplace_back(processors, k);
        EXPECT_EQ(step.m_calls, expected);
    }
}

TEST_F(ProcessStepTest, AFailingWorkerFailsTheRunAfterAllWorkersEnded)
{
    TPartRecorder step;
    step.m_failing = 2;
    EXPECT_FALSE(step.RunParallel(3));
    EXPECT_EQ(step.m_calls.size(), 3u);
    step.m_calls.clear();
    step.m_failing = 0;
    SetProcessorCount(1);
    EXPECT_FALSE(step.Apply());
    // A part count below one runs nothing.
    step.m_calls.clear();
    EXPECT_FALSE(step.RunParallel(0));
    EXPECT_FALSE(step.RunParallel(-3));
    EXPECT_TRUE(step.m_calls.empty());
}

// --- state-file names --------------------------------------------------------------------

TEST_F(ProcessStepTest, StateFileNamesTakeTheFirstFreeCounterInTheFolder)
{
    const TFolder folder = TFolder::Open(m_dir.Path());
    TFile file;
    const auto make = [&](const char* prefix) { return TProcessStep::MakeTempFileName(prefix, folder, file); };
    test::WriteBytes(m_dir.File("zf0.tmp"), "a");
    test::WriteBytes(m_dir.File("zf1.tmp"), "b");
    EXPECT_EQ(make("zf"), "zf2.tmp");
    RemoveFile(m_dir.File("zf0.tmp"));
    EXPECT_EQ(make("zf"), "zf0.tmp");
    // Other prefixes do not count.
    EXPECT_EQ(make("lz"), "lz0.tmp");
    // A name is taken when it is made, before anything is saved: two names made in a
    // row differ.
    const std::string first = make("zf");
    EXPECT_NE(make("zf"), first);
    EXPECT_EQ(FileSize(m_dir.File(first)), 0);
}

TEST_F(ProcessStepTest, StatesGoToTheFolderOfTheSetsProjectWhenFirstSaved)
{
    // The open project is another one: its folder gets nothing.
    test::TTempFolder ownFolder;
    TProject own;
    own.m_strFolder = ownFolder.Path();
    auto set = test::MakeLoadedSet(2, 2, 1, 4);
    set->SetProject(&own);
    {
        TScaleStep step(2.0f, false, set.get());
        EXPECT_TRUE(step.m_strTempFile.empty()) << "nothing is made before a state is saved";
        ASSERT_TRUE(step.SaveState());
        // In the program's own work folder of the project folder.
        const std::string work = TFileTransaction::WorkFolderOf(ownFolder.Path());
        EXPECT_EQ(FolderOf(step.m_strTempFile), work);
        ASSERT_TRUE(step.Apply());
        ASSERT_TRUE(step.Undo());
        EXPECT_EQ(FolderOf(step.m_strTempFile), work);
        EXPECT_TRUE(StateFiles().empty());
    }
    EXPECT_TRUE(vx::test::ListedEntries(TFileTransaction::WorkFolderOf(ownFolder.Path())).empty()) << "the step's file goes with it";
    ASSERT_EQ(vx::test::ListedEntries(ownFolder.Path()).size(), 1u);
    EXPECT_EQ(vx::test::ListedEntries(ownFolder.Path()).front().name, ".vexara");

    // A project without a folder, or a set without a project: the temporary folder.
    for (TProject* project : {&own, static_cast<TProject*>(nullptr)}) {
        own.m_strFolder.clear();
        set->SetProject(project);
        TScaleStep step(2.0f, false, set.get());
        ASSERT_TRUE(step.SaveState());
        EXPECT_EQ(FolderOf(step.m_strTempFile), TempFolder());
    }
    EXPECT_TRUE(StateFiles().empty());
}

// --- save state, undo and redo ------------------------------------------------------------

TEST_F(ProcessStepTest, AStepWithoutAStateFileSavesNothing)
{
    // (Steps without a set, which save nothing either, are checked for every macro step.)
    auto set = ProjectSet(2, 2, 1, 4);
    TPartRecorder stateless;
    stateless.SetDataSet(set.get());
    EXPECT_TRUE(stateless.SaveState());
    EXPECT_TRUE(StateFiles().empty());
}

TEST_F(ProcessStepTest, UndoAndRedoExchangeTheWholeSetBitForBit)
{
    auto set = ProjectSet(4, 3, 2, 16);
    set->m_fPhase0 = 0.25f;
    const std::vector<TComplex> before = test::Samples(*set);
    TScaleStep step(3.0f, false, set.get());
    ASSERT_TRUE(step.SaveState());
    ASSERT_TRUE(step.Apply());
    set->m_fPhase0 = 0.5f;  // a parameter the step changed with the samples
    const std::vector<TComplex> applied = test::Samples(*set);
    ASSERT_FALSE(test::SameBits(before, applied));
    TSpectrum* firstVoxel = set->GetVoxel(size_t(0));

    for (int round = 0; round < 2; ++round) {
        std::string previous = step.m_strTempFile;
        ASSERT_TRUE(step.Undo());
        EXPECT_TRUE(test::SameBits(test::Samples(*set), before));
        EXPECT_EQ(set->m_fPhase0, 0.25f);
        EXPECT_NE(step.m_strTempFile, previous);

        previous = step.m_strTempFile;
        ASSERT_TRUE(step.Redo());
        EXPECT_TRUE(test::SameBits(test::Samples(*set), applied));
        EXPECT_EQ(set->m_fPhase0, 0.5f);
        EXPECT_NE(step.m_strTempFile, previous);
        // One state file at a time, and the spectra that views point at stay.
        EXPECT_EQ(StateFiles(), std::vector<std::string>{FileNameOf(step.m_strTempFile)});
        EXPECT_EQ(set->GetVoxel(size_t(0)), firstVoxel);
    }
    EXPECT_TRUE(set->IsLoaded());
}

TEST_F(ProcessStepTest, AFailedStateWriteInUndoChangesNothing)
{
    auto set = ProjectSet(3, 3, 1, 8);
    TScaleStep step(2.0f, false, set.get());
    ASSERT_TRUE(step.SaveState());
    ASSERT_TRUE(step.Apply());
    const std::vector<TComplex> applied = test::Samples(*set);
    const std::string stateFile = step.m_strTempFile;
    const std::string saved = test::ReadBytes(stateFile);

    test::TScriptedReport script;
    TFile::FailWritesAfter(100);
    EXPECT_FALSE(step.Undo());
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(script.Messages(), std::vector<std::string>{"Can not write CSI data set file " +
                                                          JoinPath(TFileTransaction::WorkFolderOf(m_dir.Path()), "sc1.tmp") +
                                                          ".\r\nThe undo was not done: the disk is full."});
    EXPECT_TRUE(test::SameBits(test::Samples(*set), applied));
    EXPECT_EQ(step.m_strTempFile, stateFile);
    EXPECT_EQ(test::ReadBytes(stateFile), saved);
    EXPECT_EQ(StateFiles(), std::vector<std::string>{FileNameOf(stateFile)});

    // The saved state is still there for the next try.
    EXPECT_TRUE(step.Undo());
    EXPECT_FALSE(test::SameBits(test::Samples(*set), applied));
}

TEST_F(ProcessStepTest, AFailedStateWriteSaysWhatWasNotDoneAndWhy)
{
    auto set = ProjectSet(3, 3, 1, 8);
    const std::string prefix = "Can not write CSI data set file " + JoinPath(TFileTransaction::WorkFolderOf(m_dir.Path()), "sc0.tmp") + ".\r\n";
    {
        test::TScriptedReport script;
        TFile::FailWritesAfter(0);
        EXPECT_FALSE(TProcessStep::Perform(new TScaleStep(2.0f, false, set.get()), *m_project, true));
        TFile::FailWritesAfter(-1);
        EXPECT_EQ(script.Messages(), std::vector<std::string>{prefix + "The step was not done: the disk is full."});
    }
    ASSERT_TRUE(TProcessStep::Perform(new TScaleStep(2.0f, false, set.get()), *m_project, true));
    ASSERT_TRUE(m_project->Undo());
    {
        // The redo writes the current samples to the first free name.
        test::TScriptedReport script;
        TFile::FailWritesAfter(0);
        EXPECT_FALSE(m_project->Redo());
        TFile::FailWritesAfter(-1);
        EXPECT_EQ(script.Messages(), std::vector<std::string>{prefix + "The redo was not done: the disk is full."});
    }

    // A folder that takes no files: its work folder cannot be made, and the state goes
    // nowhere else; the step is not done and says why.
    const std::string locked = m_dir.File("locked");
    ASSERT_TRUE(MakeFolder(locked));
    ::chmod(locked.c_str(), 0555);
    std::string folder = locked;
    const auto takesFiles = [](const std::string& path) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0)
            ::close(fd);
        return fd >= 0 || errno == EEXIST;
    };
    if (takesFiles(JoinPath(locked, "probe"))) {
        // Permissions do not stop this user (root): a folder of the kernel's refuses files all the same.
        RemoveFile(JoinPath(locked, "probe"));
        folder = "/sys";
        if (takesFiles(JoinPath(folder, "vexara_probe")))
            GTEST_SKIP() << "no folder here refuses new files";
    }
    m_project->m_strFolder = folder;
    test::TScriptedReport script;
    EXPECT_FALSE(TProcessStep::Perform(new TScaleStep(2.0f, false, set.get()), *m_project, true));
    ::chmod(locked.c_str(), 0755);
    ASSERT_EQ(script.Messages().size(), 1u);
    const std::string message = script.Messages()[0];
    EXPECT_TRUE(message.starts_with("The work folder " + JoinPath(folder, ".vexara") + " of the project cannot be made: "))
        << message;
    EXPECT_TRUE(message.ends_with(". The work set was not changed.")) << message;
    if (folder == locked) {
        EXPECT_NE(message.find("the folder or file is write-protected"), std::string::npos) << message;
    }
    EXPECT_FALSE(FileExists(JoinPath(folder, "sc0.tmp")));
}

// A state holds all of a set's samples: it is this user's alone from its making, whatever
// the umask, in the project's work folder and in the temporary folder alike.
TEST_F(ProcessStepTest, AStateIsPrivateUnderAnyUmask)
{
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(m_dir.Path().c_str(), 65534, 65534), 0);
    }
    const std::string modes = test::AsAnOrdinaryUser([&] {
        std::string text;
        for (const mode_t mask : {mode_t(022), mode_t(0)}) {
            const mode_t before = ::umask(mask);
            for (const std::string& folder : {m_dir.Path(), std::string()}) {
                m_project->m_strFolder = folder;
                auto set = ProjectSet(2, 2, 1, 4);
                TScaleStep step(2.0f, false, set.get());
                // Saved for the step, then the set's state written by its undo.
                for (const bool undo : {false, true}) {
                    struct stat st {};
                    const bool kept = undo ? step.Apply() && step.Undo() : step.SaveState();
                    text += kept && ::stat(step.m_strTempFile.c_str(), &st) == 0 ? std::to_string(st.st_mode & 0777) : "-";
                    text += " ";
                }
            }
            ::umask(before);
        }
        return text;
    });
    EXPECT_EQ(modes, "384 384 384 384 384 384 384 384 ") << "0600 is 384";
}

// Whoever may write the project's folder puts a link to another folder at the work folder's
// name at each step of the file layer: states are made, read back and removed in the work
// folder all the same, and the files of the linked folder stay as they were.
TEST_F(ProcessStepTest, ALinkAtTheWorkFolderLeadsNoStateElsewhere)
{
    auto set = ProjectSet(3, 3, 1, 8);
    const std::string work = TFileTransaction::WorkFolderOf(m_dir.Path()), link = m_dir.File("link");
    const std::string elsewhere = m_dir.File("elsewhere");
    ASSERT_TRUE(MakeFolder(work) && MakeFolder(elsewhere));
    for (const char* name : {"sc0.tmp", "sc1.tmp", "sc2.tmp"})
        test::WriteBytes(elsewhere + "/" + name, "private");
    ASSERT_EQ(::symlink(elsewhere.c_str(), link.c_str()), 0);
    const test::TFolderBytes before = test::ReadFolderTree(elsewhere);
    // Exchanges the work folder and the link when `toLink` says where the link goes.
    const auto exchange = [&](bool toLink) {
        struct stat st {};
        if (::lstat(work.c_str(), &st) == 0 && S_ISLNK(st.st_mode) != toLink) {
            ASSERT_EQ(::renameat2(AT_FDCWD, link.c_str(), AT_FDCWD, work.c_str(), RENAME_EXCHANGE), 0);
        }
    };
    TFile::SetStepHook([&] { exchange(true); });
    std::string done;
    for (const auto& [what, command] : std::vector<std::pair<std::string, std::function<bool()>>>{
             {"step", [&] { return TProcessStep::Perform(new TScaleStep(2.0f, false, set.get()), *m_project, true); }},
             {"undo", [&] { return m_project->Undo(); }},
             {"redo", [&] { return m_project->Redo(); }},
             {"clear", [&] { return m_project->ClearAllOperations(), m_project->m_history->DoneSteps().empty(); }}}) {
        exchange(false);
        done += what + (command() ? " " : " failed ");
    }
    TFile::SetStepHook({});
    exchange(false);
    EXPECT_EQ(done, "step undo redo clear ");
    EXPECT_TRUE(test::ReadFolderTree(elsewhere) == before) << "the linked folder was changed";
    EXPECT_TRUE(StateFiles().empty());
}

// A project whose folder is not held: another folder with a work folder of its own is put at
// the folder's path while the step's work folder is being made. The state goes to the work
// folder that was made, none to the other folder.
TEST_F(ProcessStepTest, AFolderPutAtTheProjectsPathWhileItsWorkFolderIsMadeGetsNoState)
{
    auto set = ProjectSet(3, 3, 1, 8);
    const std::string other = m_dir.Path() + ".other";
    ASSERT_TRUE(MakeFolder(TFileTransaction::WorkFolderOf(other)));
    const auto exchange = [&] { return ::renameat2(AT_FDCWD, m_dir.Path().c_str(), AT_FDCWD, other.c_str(), RENAME_EXCHANGE) == 0; };
    bool exchanged = false;
    TFile::SetStepHook([&] { exchanged = exchanged || exchange(); });
    const bool done = TProcessStep::Perform(new TScaleStep(2.0f, false, set.get()), *m_project, true);
    TFile::SetStepHook({});
    ASSERT_TRUE(exchanged && exchange());
    const size_t elsewhere = test::ListedEntries(TFileTransaction::WorkFolderOf(other)).size();
    RemoveFolderTree(other);
    EXPECT_TRUE(done);
    EXPECT_EQ(elsewhere, 0u);
    EXPECT_EQ(StateFiles().size(), 1u);
}

TEST_F(ProcessStepTest, AStateThatCannotBeReadBackLeavesTheSetAndKeepsTheFile)
{
    auto set = ProjectSet(3, 2, 2, 8);
    TScaleStep step(2.0f, false, set.get());
    ASSERT_TRUE(step.SaveState());
    ASSERT_TRUE(step.Apply());
    const std::vector<TComplex> applied = test::Samples(*set);
    const std::string stateFile = step.m_strTempFile;
    const std::string saved = test::ReadBytes(stateFile);

    // Cut inside the samples of a later voxel: the read into the set's own spectra has
    // already overwritten the earlier voxels when it fails.
    test::WriteBytes(stateFile, saved.substr(0, saved.size() - 20));
    test::TScriptedReport script;
    EXPECT_FALSE(step.Undo());
    EXPECT_TRUE(script.Contains("The CSI data file " + stateFile + " is invalid."));
    EXPECT_TRUE(test::SameBits(test::Samples(*set), applied));
    EXPECT_TRUE(set->IsLoaded());
    EXPECT_EQ(step.m_strTempFile, stateFile);
    EXPECT_EQ(StateFiles(), std::vector<std::string>{FileNameOf(stateFile)});

    // A state file that is gone altogether.
    RemoveFile(stateFile);
    EXPECT_FALSE(step.Redo());
    EXPECT_TRUE(script.Contains("Can not open CSI data set file " + stateFile));
    EXPECT_TRUE(test::SameBits(test::Samples(*set), applied));
    EXPECT_TRUE(StateFiles().empty());
}

TEST_F(ProcessStepTest, AStateFileOfAnotherGridOrPointCountIsRefused)
{
    struct Case {
        int nx, ny, points;
    };
    // Another grid, another grid of as many voxels, other points.
    for (const Case& c : {Case{4, 2, 8}, Case{9, 1, 8}, Case{3, 3, 16}}) {
        SCOPED_TRACE(std::to_string(c.nx) + "x" + std::to_string(c.ny) + "x" + std::to_string(c.points));
        auto set = ProjectSet(3, 3, 1, 8);
        TScaleStep step(2.0f, false, set.get());
        ASSERT_TRUE(step.SaveState());
        ASSERT_TRUE(step.Apply());
        const std::vector<TComplex> applied = test::Samples(*set);
        // A valid data-set file of another set takes the state file's place.
        auto other = ProjectSet(c.nx, c.ny, 1, c.points);
        ASSERT_TRUE(other->WriteDataFile(step.m_strTempFile));
        const std::string foreign = test::ReadBytes(step.m_strTempFile);

        test::TScriptedReport script;
        EXPECT_FALSE(step.Undo());
        EXPECT_TRUE(script.Contains("The CSI data file " + step.m_strTempFile +
                                    " does not belong to the CSI set csi: its grid or point count differs."));
        EXPECT_EQ(set->m_nDim[0], 3);
        EXPECT_EQ(set->m_nPoints, 8);
        EXPECT_TRUE(test::SameBits(test::Samples(*set), applied));
        EXPECT_EQ(test::ReadBytes(step.m_strTempFile), foreign);
    }
}

TEST_F(ProcessStepTest, WithoutAnOpenProjectAStepIsNotRecorded)
{
    // The steps that join a running recording when undone or redone take the flag this
    // way (the flag of an open project is checked on every macro step).
    class TJoiningStep : public TPartRecorder {
    public:
        bool Undo() override
        {
            TakeRecordingFlag();
            return true;
        }
    };
    TJoiningStep step;
    m_project->m_bRecording = true;
    g_pProject = nullptr;
    step.m_bRecorded = true;
    step.Undo();
    EXPECT_FALSE(step.m_bRecorded);
}

// --- the caller protocol -----------------------------------------------------------------

TEST_F(ProcessStepTest, AFailedStateWriteLeavesTheSetAndTheHistoryUnchanged)
{
    auto set = ProjectSet(3, 3, 1, 8);
    ASSERT_TRUE(TProcessStep::Perform(new TScaleStep(2.0f, false, set.get()), *m_project, true));
    const TProcessHistory& history = *m_project->m_history;
    ASSERT_EQ(history.DoneSteps().size(), 1u);
    const std::vector<TComplex> before = test::Samples(*set);

    test::TScriptedReport script;
    TFile::FailWritesAfter(0);
    EXPECT_FALSE(TProcessStep::Perform(new TScaleStep(5.0f, false, set.get()), *m_project, true));
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(script.Count(), 1u);
    EXPECT_TRUE(test::SameBits(test::Samples(*set), before));
    EXPECT_EQ(history.DoneSteps().size(), 1u);
    EXPECT_TRUE(history.UndoneSteps().empty());
    // The refused step's file went with it.
    EXPECT_EQ(StateFiles(), std::vector<std::string>{FileNameOf(history.DoneSteps().front()->m_strTempFile)});

    // A step that cannot be applied is not recorded either.
    SetProcessorCount(1);
    auto* refused = new TPartRecorder;
    refused->m_failing = 0;
    refused->SetDataSet(set.get());
    EXPECT_FALSE(TProcessStep::Perform(refused, *m_project, true));
    EXPECT_EQ(history.DoneSteps().size(), 1u);
}

TEST_F(ProcessStepTest, ProjectUndoAndRedoGoThroughTheHistory)
{
    auto set = ProjectSet(2, 2, 2, 8);
    const std::vector<TComplex> original = test::Samples(*set);
    ASSERT_TRUE(TProcessStep::Perform(new TScaleStep(2.0f, false, set.get()), *m_project, true));
    const std::vector<TComplex> once = test::Samples(*set);
    ASSERT_TRUE(TProcessStep::Perform(new TScaleStep(3.0f, false, set.get()), *m_project, true));
    const std::vector<TComplex> twice = test::Samples(*set);
    for (size_t i = 0; i < original.size(); ++i)
        ASSERT_EQ(twice[i], original[i] * 2.0f * 3.0f);

    const TProcessingHooks& hooks = ProcessingHooks();
    TProcessHistory* history = m_project->m_history;
    EXPECT_FALSE(hooks.canRedo(history));
    m_project->Undo();
    EXPECT_TRUE(test::SameBits(test::Samples(*set), once));
    EXPECT_TRUE(hooks.canRedo(history));
    m_project->Undo();
    EXPECT_TRUE(test::SameBits(test::Samples(*set), original));
    EXPECT_TRUE(hooks.cannotUndo(history));
    m_project->Undo();  // nothing left
    EXPECT_TRUE(test::SameBits(test::Samples(*set), original));
    m_project->Redo();
    EXPECT_TRUE(test::SameBits(test::Samples(*set), once));
    m_project->Redo();
    EXPECT_TRUE(test::SameBits(test::Samples(*set), twice));
    EXPECT_FALSE(hooks.canRedo(history));
    EXPECT_FALSE(hooks.cannotUndo(history));
    EXPECT_EQ(StateFiles().size(), 2u);

    // Edit/Clear all undoes everything and forgets the steps with their files.
    m_project->ClearAllOperations();
    EXPECT_TRUE(test::SameBits(test::Samples(*set), original));
    EXPECT_TRUE(m_project->m_history->DoneSteps().empty());
    EXPECT_TRUE(StateFiles().empty());
}

TEST_F(ProcessStepTest, ClearAllStopsAtAStepThatCannotBeUndoneAndKeepsIt)
{
    auto set = ProjectSet(2, 2, 1, 8);
    const std::vector<TComplex> original = test::Samples(*set);
    ASSERT_TRUE(TProcessStep::Perform(new TScaleStep(2.0f, false, set.get()), *m_project, true));
    ASSERT_TRUE(TProcessStep::Perform(new TScaleStep(3.0f, false, set.get()), *m_project, true));
    const std::vector<TComplex> twice = test::Samples(*set);
    test::TScriptedReport script;
    TFile::FailWritesAfter(0);
    m_project->ClearAllOperations();
    TFile::FailWritesAfter(-1);
    EXPECT_EQ(script.Count(), 1u);
    EXPECT_TRUE(test::SameBits(test::Samples(*set), twice));
    EXPECT_EQ(m_project->m_history->DoneSteps().size(), 2u);
    EXPECT_EQ(StateFiles().size(), 2u);

    // With room on the disk again the same command takes the set back to where it began.
    m_project->ClearAllOperations();
    EXPECT_TRUE(test::SameBits(test::Samples(*set), original));
    EXPECT_TRUE(m_project->m_history->DoneSteps().empty());
    EXPECT_TRUE(StateFiles().empty());
}

TEST_F(ProcessStepTest, AProjectWithoutProcessingDeletesTheStep)
{
    InstallProcessingHooks({});
    TProject bare;
    bare.m_strFolder = m_dir.Path();
    EXPECT_EQ(bare.m_history, nullptr);
    // Only the deletion hook: the step is not leaked.
    TProcessingHooks hooks;
    hooks.deleteStep = [](TProcessStep* pStep) { delete pStep; };
    InstallProcessingHooks(hooks);
    auto set = ProjectSet(2, 2, 1, 4);
    EXPECT_TRUE(TProcessStep::Perform(new TScaleStep(2.0f, false, set.get()), bare, false));
    EXPECT_TRUE(StateFiles().empty());
    InstallProcessing();  // the fixture's project deletes its history through the hooks
}

}  // namespace
