// The project folder shared with the user and with other programs: set and map names that
// would be another file of the project, the files an open removes, and a folder another
// running program has open.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/TFile.h"
#include "platform/TFolderLock.h"
#include "support/CSISetBuilders.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

class ProjectFolderTest : public ::testing::Test {
protected:
    void SetUp() override { ResetGlobals(); }
    void TearDown() override { ResetGlobals(); }

    // Project "p" with the sets "A" (the work set) and "B", each with the map "NAA_map",
    // and the image "ax" with its pixel file.
    void MakeProject()
    {
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Create(m_folder, "p"));
        for (const char* name : {"B", "A"}) {
            TCSISet* set = test::AddStoredSet(project, m_folder, name, 4, 4, 1, 8, [&](int x, int y, int, int i) {
                return TComplex(float(name[0]) + x + y, float(i));
            });
            project.SetWorkSet(set);
            test::AddValuedMap(*set, "NAA_map", [](int v) { return TComplex(float(v), 0.0f); });
            ASSERT_TRUE(project.SaveWorkSetAndProject(false));
        }
        test::AddStoredImage(project, m_folder, "ax", 2, 2, 9);
        ASSERT_TRUE(project.Save());
        g_pProject = nullptr;
    }

    test::TTempFolder m_dir;
    const std::string m_folder = m_dir.File("p");
};

}  // namespace

TEST_F(ProjectFolderTest, SetAndMapNamesThatWouldBeAnotherFileOfTheProjectAreRefused)
{
    MakeProject();
    const test::TFolderBytes before = test::ReadFolderTree(m_folder);
    test::TScriptedReport script;
    TProject project;
    g_pProject = &project;
    ASSERT_TRUE(project.Load(m_folder + "/p.tpj"));
    ASSERT_EQ(project.m_pWorkSet->GetName(), "A");
    // Another set's map file, the project file, an image's pixel file, the files the
    // program keeps for itself and the journal of earlier versions.
    for (const char* name : {"B_NAA_map", "A_NAA_map", "p.tpj", "ax", ".vexara", ".vexara.lock", ".p.tpj.journal"}) {
        script.Clear();
        EXPECT_FALSE(project.SaveWorkSetAs(name)) << name;
        EXPECT_EQ(script.Messages(), std::vector<std::string>{"Invalid CSI set name."}) << name;
    }
    EXPECT_EQ(project.m_pCSISetList->GetCount(), 2);
    EXPECT_TRUE(test::ReadFolderTree(m_folder) == before);

    // A set whose map would be another set's data-set file: the map is refused.
    ASSERT_TRUE(project.SaveWorkSetAs("A_Cr_map"));
    script.Clear();
    TMapParams params;
    params.name = "Cr";
    TMap map;
    EXPECT_FALSE(map.Create(project.m_pWorkSet, params));
    EXPECT_EQ(script.Messages(), std::vector<std::string>{"Failed to create map Cr for CSI set A because its file would "
                                                          "be another file of the project."});
    g_pProject = nullptr;
}

TEST_F(ProjectFolderTest, SetsNamedLikeTemporaryFilesLoadAgainAfterAReopen)
{
    MakeProject();
    const std::vector<std::string> names{"scan1.tmp", "tf9.tmp", ".A.abcdef", "B_NAA_map.converting"};
    test::TFolderBytes expected;
    {
        test::TScriptedReport script;
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Load(m_folder + "/p.tpj"));
        for (const std::string& name : names)
            ASSERT_TRUE(project.SaveWorkSetAs(name)) << name;
        EXPECT_TRUE(script.Messages().empty());
        g_pProject = nullptr;
        expected = test::ReadFolderTree(m_folder);
    }
    test::TScriptedReport script;
    TProject project;
    g_pProject = &project;
    ASSERT_TRUE(project.Load(m_folder + "/p.tpj"));
    EXPECT_TRUE(script.Messages().empty());
    // Every file as it was saved, and every set loads.
    EXPECT_TRUE(test::ReadFolderTree(m_folder) == expected);
    ASSERT_EQ(project.m_pCSISetList->GetCount(), 2 + static_cast<int>(names.size()));
    for (const std::string& name : names) {
        TCSISet* set = project.m_pCSISetList->FindByName(name);
        ASSERT_NE(set, nullptr) << name;
        project.SetWorkSet(set);
        EXPECT_EQ(project.m_pWorkSet, set) << name;
        EXPECT_TRUE(set->IsLoaded()) << name;
    }
    g_pProject = nullptr;
}

TEST_F(ProjectFolderTest, ALockFileThatMayOnlyBeReadStillLocksTheFolder)
{
    MakeProject();
    const std::string lockFile = m_folder + "/" + TFolderLock::FileName();
    ASSERT_TRUE(FileExists(lockFile));
    // The lock file and the folder may only be read by the user who opens the project.
    ASSERT_EQ(::chmod(lockFile.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(m_folder.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        // Root may write anything: the child takes the rights of an ordinary user first.
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(2);
        TFolderLock lock;
        _exit(lock.Acquire(m_folder) == TFolderLock::TResult::Held ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ::chmod(m_folder.c_str(), 0755);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the lock was not taken";
}

// An ordinary user opens the project of a folder shared with others. A lock file the user
// may not open, or one that cannot be made or locked, refuses the open with why (and whom
// to ask), so that two programs never both work in the folder; only a folder where no lock
// file can be made because it cannot be written opens without the lock, and then nothing
// in it is changed. The program's own lock file is readable by everyone, whatever the umask.
TEST_F(ProjectFolderTest, ALockFileThisUserMayNotOpenRefusesTheOpenAndOnlyAFolderThatCannotBeWrittenOpensUnlocked)
{
    MakeProject();
    const std::string lockFile = m_folder + "/" + TFolderLock::FileName();
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    const std::string me = ::getpwuid(::geteuid())->pw_name;
    const std::string refused = "refused\nThe project p cannot be opened: its folder cannot be locked";
    const std::string forbidden = refused + ", because you may not read its lock file " + lockFile + ". Ask its owner, " +
                                  me + ", to let you read it, or remove it once no program has the project open.";
    const std::string readOnly = "opened, not saved, q not created\nThe folder " + m_folder +
                                 " of the project p cannot be written, so nothing was written. Save Project As keeps the "
                                 "work in a new folder.\nThe project q cannot be created: its folder cannot be written: "
                                 "the folder or file is write-protected.";
    const struct {
        const char* what;
        bool anotherUser;  // the lock file is another user's: only when this runs as root
        int lockMode;      // -1: no lock file
        mode_t folderMode;
        std::vector<TFileFault> faults;
        std::string said;
    } rows[] = {
        {"another user's lock file that only its owner may read", true, 0600, 0777, {}, forbidden},
        {"a lock file no one may read", false, 0000, 0777, {}, forbidden},
        {"no lock file in a folder this user may not write", false, -1, 0555, {}, readOnly},
        {"no lock file on read-only media", false, -1, 0777, {{kFileLock, EROFS, 1, true}}, readOnly},
        {"no lock file where none may be made", false, -1, 0777, {{kFileLock, EPERM, 1, true}}, readOnly},
        {"no room for a lock file", false, -1, 0777, {{kFileLock, ENOSPC, 1}}, refused + ": the disk is full."},
        {"no locks on the file system", false, 0644, 0777, {{kFileLock, ENOLCK, 1}}, refused + ": no locks available."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.anotherUser && ::geteuid() != 0)
            continue;
        RemoveFile(lockFile);
        if (row.lockMode >= 0) {
            test::WriteBytes(lockFile, "");
            ASSERT_EQ(::chmod(lockFile.c_str(), mode_t(row.lockMode)), 0);
        }
        ASSERT_EQ(::chmod(m_folder.c_str(), row.folderMode), 0);
        const std::string said = test::AsAnOrdinaryUser([&] {
            test::TFileFaultScope faults(row.faults);
            test::TScriptedReport script;
            TProject project;
            g_pProject = &project;
            std::string text = project.Load(m_folder + "/p.tpj") ? "opened" : "refused";
            if (text == "opened" && !project.Save())
                text += ", not saved";
            if (TProject created; text == "opened, not saved" && !created.Create(m_folder, "q"))
                text += ", q not created";
            g_pProject = nullptr;
            for (const std::string& message : script.Messages())
                text += "\n" + message;
            return text;
        });
        ::chmod(m_folder.c_str(), 0755);
        EXPECT_EQ(said, row.said);
        EXPECT_EQ(FileExists(lockFile), row.lockMode >= 0);
    }

    RemoveFile(lockFile);
    const mode_t umask = ::umask(077);
    {
        TProject project;
        g_pProject = &project;
        EXPECT_TRUE(project.Load(m_folder + "/p.tpj"));
        g_pProject = nullptr;
    }
    ::umask(umask);
    struct stat st {};
    ASSERT_EQ(::stat(lockFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

// The folder is known by what it is: through a link or with a trailing separator it is the
// folder this run holds, not another program's; renamed away it is no longer the one at its
// old path, wherever its lock went.
TEST_F(ProjectFolderTest, AFolderSpeltOtherwiseIsTheSameAndAMovedOneIsNoLongerAtItsPath)
{
    MakeProject();
    const std::string link = m_dir.File("link");
    ASSERT_EQ(::symlink(m_folder.c_str(), link.c_str()), 0);
    TFolderLock lock;
    ASSERT_EQ(lock.Acquire(m_folder), TFolderLock::TResult::Held);
    for (const std::string& spelling : {m_folder + "/", link, link + "/"}) {
        SCOPED_TRACE(spelling);
        EXPECT_TRUE(lock.Holds(spelling));
        EXPECT_TRUE(TFolderLock::IsHeldHere(spelling));
        TFolderLock other;
        EXPECT_EQ(other.Acquire(spelling), TFolderLock::TResult::HeldHere);
    }
    // A project opened through the link saves into the folder it holds.
    lock.Release();
    {
        test::TScriptedReport script;
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Load(link + "/p.tpj"));
        EXPECT_TRUE(project.Save());
        EXPECT_TRUE(script.Messages().empty());
        g_pProject = nullptr;
    }

    ASSERT_EQ(lock.Acquire(m_folder), TFolderLock::TResult::Held);
    const std::string moved = m_dir.File("moved");
    ASSERT_EQ(::rename(m_folder.c_str(), moved.c_str()), 0);
    EXPECT_TRUE(lock.Holds(moved));
    EXPECT_FALSE(lock.Holds(m_folder));
    ASSERT_TRUE(MakeFolder(m_folder));
    EXPECT_FALSE(lock.Holds(m_folder));
    EXPECT_FALSE(TFolderLock::IsHeldHere(m_folder));
}

// The folder renamed at each step of a save of the changed work set until the save no longer
// reaches it, as long as no journal was written: the save fails, the old path is never made
// again, the renamed folder keeps the project as it was, and the set keeps its change. Once
// the files are staged, the check before the commit is what stops it.
TEST_F(ProjectFolderTest, AFolderRenamedAtAnyStepOfASaveBeforeItsCommitIsNotWritten)
{
    MakeProject();
    const std::string pristine = m_dir.File("pristine"), moved = m_dir.File("moved");
    test::RestoreFolder(m_folder, pristine);
    const std::string message = "The folder " + m_folder +
                                " of the project p was moved or removed while the project was open, so nothing was "
                                "written. Save Project As keeps the work in a new folder, and so does moving the "
                                "folder back from " + moved + ".";
    bool stoppedBeforeTheCommit = false;
    for (int renameAt = 1;; ++renameAt) {
        SCOPED_TRACE("renamed at step " + std::to_string(renameAt));
        std::filesystem::remove_all(moved);
        test::RestoreFolder(pristine, m_folder);
        const auto visible = [](test::TFolderBytes files) {
            std::erase_if(files, [](const auto& file) { return file.first.starts_with(".vexara/"); });
            return files;
        };
        const test::TFolderBytes before = visible(test::ReadFolderTree(m_folder));
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Load(m_folder + "/p.tpj"));
        ASSERT_NE(project.m_pWorkSet, nullptr);
        project.m_pWorkSet->GetVoxel(size_t(0))->Data()[0] = TComplex(42.0f, 0.0f);
        project.SetModified(true);
        script.Clear();
        int step = 0;
        bool renamed = false, journalSeen = false;
        TFile::SetStepHook([&] {
            journalSeen = journalSeen || FileExists(m_folder + "/.vexara/journal");
            if (++step == renameAt && !journalSeen)
                renamed = ::rename(m_folder.c_str(), moved.c_str()) == 0;
        });
        const bool saved = project.SaveWorkSetAndProject(false);
        TFile::SetStepHook({});
        g_pProject = nullptr;
        if (step < renameAt)
            break;  // the save ran to its end before
        if (!renamed)
            continue;  // its journal was written: the change is the project's
        EXPECT_FALSE(saved);
        EXPECT_FALSE(FolderExists(m_folder));
        EXPECT_TRUE(visible(test::ReadFolderTree(moved)) == before) << "the renamed folder changed";
        EXPECT_EQ(project.m_pWorkSet->GetVoxel(size_t(0))->GetReal(0), 42.0f);
        EXPECT_TRUE(project.IsModified());
        if (script.Messages() == std::vector<std::string>{message})
            stoppedBeforeTheCommit = true;
    }
    EXPECT_TRUE(stoppedBeforeTheCommit);
}

// Something other than a file under the lock file's name: open, create and Save As into
// the folder are refused with the reason, at once, and leave it there. A link is never
// followed: nothing is made where a dangling one points, nor is a file elsewhere locked.
TEST_F(ProjectFolderTest, ALockFileThatIsNotAFileIsRefusedAndNeverWaitedOn)
{
    MakeProject();
    const std::string lockFile = m_folder + "/" + TFolderLock::FileName();
    const std::string other = m_dir.File("other"), otherLock = other + "/" + TFolderLock::FileName();
    const std::string elsewhere = m_dir.File("elsewhere"), aFile = m_dir.File("a file");
    test::WriteBytes(aFile, "kept");
    struct TCase {
        const char* what;
        mode_t type;
        std::function<int(const std::string&)> make;
    };
    const auto linkTo = [](const std::string& target) {
        return [target](const std::string& path) { return ::symlink(target.c_str(), path.c_str()); };
    };
    for (const TCase& c : {TCase{"a folder", S_IFDIR, [](const std::string& path) { return ::mkdir(path.c_str(), 0777); }},
                           TCase{"a FIFO", S_IFIFO, [](const std::string& path) { return ::mkfifo(path.c_str(), 0666); }},
                           TCase{"a symbolic link", S_IFLNK, linkTo(elsewhere)},
                           TCase{"a symbolic link", S_IFLNK, linkTo(aFile)}}) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(RemoveFile(lockFile));
        ASSERT_TRUE(MakeFolder(other));
        for (const std::string& path : {lockFile, otherLock})
            ASSERT_EQ(c.make(path), 0);
        const test::TFolderBytes before = test::ReadFolderTree(m_folder, true);
        test::TScriptedReport script;
        {
            TProject project;
            EXPECT_FALSE(project.Load(m_folder + "/p.tpj"));
        }
        {
            TProject project;
            EXPECT_FALSE(project.Create(m_folder, "q"));
        }
        const std::string refusal = std::string(", because its lock file ") + "%s is " + c.what + ", not a file.";
        const auto because = [&](const std::string& path) {
            std::string text = refusal;
            return text.replace(text.find("%s"), 2, path);
        };
        EXPECT_EQ(script.Messages(),
                  std::vector<std::string>({"The project p cannot be opened: its folder cannot be locked" +
                                                because(lockFile) + " Remove it to open the project.",
                                            "The project q cannot be created: its folder cannot be locked" +
                                                because(lockFile) + " Remove it to create the project."}));
        EXPECT_TRUE(test::ReadFolderTree(m_folder, true) == before);
        EXPECT_FALSE(FileExists(m_folder + "/q.tpj"));

        // Save As into a folder whose lock file is not a file: nothing is written there.
        script.Clear();
        ASSERT_TRUE(RemoveFile(lockFile));
        {
            TProject project;
            g_pProject = &project;
            ASSERT_TRUE(project.Load(m_folder + "/p.tpj"));
            EXPECT_FALSE(project.SaveAs(m_dir.Path(), "other"));
            g_pProject = nullptr;
        }
        EXPECT_EQ(script.Messages(), std::vector<std::string>{"Failed to save project to " + other +
                                                              ".\r\nThat folder cannot be locked" +
                                                              because(otherLock)});
        struct stat st {};
        ASSERT_EQ(::lstat(otherLock.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & S_IFMT, c.type);
        EXPECT_EQ(test::FolderNames(other), std::vector<std::string>{TFolderLock::FileName()});
        EXPECT_FALSE(std::filesystem::exists(elsewhere)) << "a file was made where the link points";
        EXPECT_EQ(test::ReadBytes(aFile), "kept");
        ASSERT_TRUE(RemoveFile(otherLock));
        ASSERT_TRUE(RemoveFile(other));
    }
}

// A lock file removed while the project is open (a cleaning tool, a sync client) is made
// and taken again by the next change; when that cannot be done the change writes nothing
// and says why. Meanwhile the folder is still held in this run: another project of it is
// refused, and a batch run takes it for open. A folder moved away is never taken for one
// that lost its lock file.
TEST_F(ProjectFolderTest, ALockFileLostWhileOpenIsTakenAgainOrTheChangeSaysWhy)
{
    MakeProject();
    const std::string lockFile = m_folder + "/" + TFolderLock::FileName();
    test::TScriptedReport script;
    const auto message = [&](const std::string& why) {
        return "The lock file " + lockFile + " of the project p " + why +
               ", so nothing was written. Save Project As keeps the work in a new folder.";
    };
    {
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Load(m_folder + "/p.tpj"));
        ASSERT_TRUE(RemoveFile(lockFile));
        EXPECT_TRUE(project.Save());
        EXPECT_TRUE(script.Messages().empty());
        EXPECT_TRUE(TFolderLock::IsHeldHere(m_folder));

        // Never taken meanwhile by another lock or project of this run; replaced by a
        // folder, nothing is written until the folder is free again.
        ASSERT_TRUE(RemoveFile(lockFile));
        EXPECT_TRUE(TFolderLock::IsHeldHere(m_folder));
        TFolderLock other;
        EXPECT_EQ(other.Acquire(m_folder), TFolderLock::TResult::HeldHere);
        {
            TProject second;
            EXPECT_FALSE(second.Load(m_folder + "/p.tpj"));
        }
        const test::TFolderBytes before = test::ReadFolderTree(m_folder);
        ASSERT_TRUE(MakeFolder(lockFile));
        project.SetModified(true);
        EXPECT_FALSE(project.Save());
        EXPECT_EQ(script.Messages(),
                  std::vector<std::string>(
                      {"The project p cannot be opened: a project of its folder is open in this program already.",
                       message("was replaced by a folder while the project was open")}));
        EXPECT_TRUE(test::ReadFolderTree(m_folder) == before);
        ASSERT_TRUE(RemoveFile(lockFile));
        script.Clear();
        EXPECT_TRUE(project.Save());
        EXPECT_TRUE(script.Messages().empty());
        EXPECT_TRUE(TFolderLock::IsHeldHere(m_folder));

        // Moved away, without its lock file, and another folder made at its path: that one is
        // not the project's, and nothing is made in it; the moved folder is still found.
        const std::string moved = m_dir.File("moved");
        ASSERT_EQ(::rename(m_folder.c_str(), moved.c_str()), 0);
        ASSERT_TRUE(RemoveFile(moved + "/" + TFolderLock::FileName()));
        ASSERT_TRUE(MakeFolder(m_folder));
        EXPECT_FALSE(project.Save());
        EXPECT_EQ(script.Messages(), std::vector<std::string>{"The folder " + m_folder +
                                                              " of the project p was moved or removed while the "
                                                              "project was open, so nothing was written. Save Project "
                                                              "As keeps the work in a new folder, and so does moving "
                                                              "the folder back from " + moved + "."});
        EXPECT_EQ(test::FolderNames(m_folder), std::vector<std::string>{});
        ASSERT_TRUE(RemoveFile(m_folder));
        ASSERT_EQ(::rename(moved.c_str(), m_folder.c_str()), 0);
        g_pProject = nullptr;
    }

    // A lock file that cannot be made again: the folder may no longer be written.
    ASSERT_EQ(::chown(m_folder.c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    for (const std::string& name : test::FolderTreeNames(m_folder))
        ASSERT_EQ(::chmod((m_folder + "/" + name).c_str(), 0666), 0);
    const std::string said = test::AsAnOrdinaryUser([&] {
        test::TScriptedReport childScript;
        TProject project;
        g_pProject = &project;
        if (!project.Load(m_folder + "/p.tpj") || !RemoveFile(lockFile) || ::chmod(m_folder.c_str(), 0555) != 0)
            return std::string("not prepared");
        const bool saved = project.Save();
        g_pProject = nullptr;
        return saved || childScript.Messages().size() != 1 ? std::string("saved") : childScript.Messages()[0];
    });
    ::chmod(m_folder.c_str(), 0755);
    EXPECT_EQ(said, message("was removed while the project was open, and it cannot be made again"));
}
