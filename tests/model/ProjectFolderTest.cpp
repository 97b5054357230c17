// The project folder shared with the user and with other programs: set and map names that
// would be another file of the project, the files an open removes, and a folder another
// running program has open.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pwd.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TFolderHold.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "platform/TFile.h"
#include "platform/TFileTransaction.h"
#include "platform/TFolderLock.h"
#include "support/CSISetBuilders.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/FuseMount.h"
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
    // The lock file may only be read by the user who opens the project, who may write the
    // folder (a folder that cannot be written is not locked at all).
    ASSERT_EQ(::chmod(lockFile.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(m_folder.c_str(), 0777), 0);
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

namespace {

// How an ordinary user's open of the project fares with a lock file and a folder as a row
// gives them, and what a Save and a create of another project there then say.
struct TLockRow {
    const char* what;
    int lockMode;  // -1: no lock file
    mode_t folderMode;
    std::vector<TFileFault> faults;
    std::string said;
    bool nfsOnly = false;  // a row of a file system that locks only files open for writing
};

}  // namespace

// Each row is tried on a local file system and with locks as an NFS client takes them
// (unless it is of NFS alone), with the same outcome.
static void TryLockRows(const std::string& folder, const std::vector<TLockRow>& rows)
{
    const std::string lockFile = folder + "/" + TFolderLock::FileName();
    for (const bool nfs : {false, true}) {
        for (const TLockRow& row : rows) {
            if (row.nfsOnly && !nfs)
                continue;
            SCOPED_TRACE(std::string(row.what) + (nfs ? ", on NFS" : ""));
            RemoveFile(lockFile);
            if (row.lockMode >= 0) {
                test::WriteBytes(lockFile, "");
                ASSERT_EQ(::chmod(lockFile.c_str(), mode_t(row.lockMode)), 0);
            }
            ASSERT_EQ(::chmod(folder.c_str(), row.folderMode), 0);
            std::vector<TFileFault> faults = row.faults;
            if (nfs)
                faults.push_back(test::LocksAsOnNFS());
            const std::string said = test::AsAnOrdinaryUser([&] {
                test::TFileFaultScope armed(faults);
                test::TScriptedReport script;
                TProject project;
                g_pProject = &project;
                std::string text = project.Load(folder + "/p.tpj") ? "opened" : "refused";
                if (text == "opened" && !project.Save())
                    text += ", not saved";
                if (TProject created; text == "opened, not saved" && !created.Create(folder, "q"))
                    text += ", q not created";
                g_pProject = nullptr;
                for (const std::string& message : script.Messages())
                    text += "\n" + message;
                return text;
            });
            ::chmod(folder.c_str(), 0755);
            EXPECT_EQ(said, row.said);
            EXPECT_EQ(FileExists(lockFile), row.lockMode >= 0);
        }
    }
}

// An ordinary user opens the project of a folder shared with others. A lock file the user
// may not open, or one that cannot be made or locked, refuses the open with why (and whom
// to ask), so that two programs never both work in the folder. A folder that cannot be
// written opens without the lock, whether a lock file is there or not, and so does one
// whose file system offers no lock for it, each saying why; nothing in either is changed, and
// no lock file is left where none was. The
// program's own lock file may be written by whoever may write the folder, whatever the
// umask.
TEST_F(ProjectFolderTest, ALockFileThisUserMayNotOpenRefusesTheOpenAndOnlyAFolderThatCannotBeWrittenOpensUnlocked)
{
    MakeProject();
    const std::string lockFile = m_folder + "/" + TFolderLock::FileName();
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    const std::string me = ::getpwuid(::geteuid())->pw_name;
    const std::string refused = "refused\nThe project p cannot be opened: its folder cannot be locked";
    const std::string forbidden = refused + ", because you may not read its lock file " + lockFile + ". Ask its owner, " +
                                  me + ", to let you read it, or remove it once no program has the project open.";
    const std::string readOnly = "opened, not saved, q not created\nThe project p opens, but no change of it can be "
                                 "written: its folder cannot be written: the folder or file is write-protected. Save "
                                 "Project As keeps the work in a new folder.\nThe folder " + m_folder +
                                 " of the project p cannot be written, so nothing was written. Save Project As keeps the "
                                 "work in a new folder.\nThe project q cannot be created: its folder cannot be written: "
                                 "the folder or file is write-protected.";
    const auto unlocked = [&](const std::string& why) {
        return "opened, not saved, q not created\nThe project p opens, but no change of it can be written: its folder " +
               why + ". Save Project As keeps the work in a folder that can be locked.\nThe folder " + m_folder +
               " of the project p cannot be locked, so nothing was written. Save Project As keeps the work in a "
               "folder that can be locked.\nThe project q cannot be created: its folder " + why + ".";
    };
    // Its work folder, which root's saves made, takes the ordinary user's saves too.
    ASSERT_EQ(::chmod(TFileTransaction::WorkFolderOf(m_folder).c_str(), 0777), 0);
    TryLockRows(m_folder, {
        {"a lock file no one may read", 0000, 0777, {}, forbidden},
        {"no lock file in a folder this user may not write", -1, 0555, {}, readOnly},
        {"a lock file in a folder this user may not write", 0644, 0555, {}, readOnly},
        {"no lock file on read-only media", -1, 0777, {{kFileLock, EROFS, 1, true}}, readOnly},
        {"no lock file where none may be made", -1, 0777, {{kFileLock, EPERM, 1, true}}, readOnly},
        {"no room for a lock file", -1, 0777, {{kFileLock, ENOSPC, 1}}, refused + ": the disk is full."},
        {"a lock file another program makes and removes again at every try", -1, 0777, {{kFileLock, EEXIST, 1, true}},
         refused + ": " + FileErrorReason(EAGAIN) + "."},
        {"no locks on the file system", 0644, 0777, {{kFileLock, ENOLCK, 1, true}},
         unlocked("cannot be locked: no locks available")},
        {"no locks: not supported", 0644, 0777, {{kFileLock, EOPNOTSUPP, 1, true}},
         unlocked("cannot be locked: " + FileErrorReason(EOPNOTSUPP))},
        {"no locks: not implemented", 0644, 0777, {{kFileLock, ENOSYS, 1, true}},
         unlocked("cannot be locked: " + FileErrorReason(ENOSYS))},
        // The second lock call is the lock of the file the first one made: it goes again.
        {"no locks, where no lock file is yet", -1, 0777, {{kFileLock, ENOLCK, 2, true}},
         unlocked("cannot be locked: no locks available")},
        {"a failing lock, where no lock file is yet", -1, 0777, {{kFileLock, EIO, 2, true}},
         refused + ": input/output error."},
        // A file system that locks files but not folders holds the folder by its lock file;
        // one that locks neither tells by its lock file, which goes again.
        {"no locks for folders", 0666, 0777, {{kFileLockFolder, EOPNOTSUPP, 1, true}}, "opened"},
        {"no locks for folders or files", -1, 0777,
         {{kFileLockFolder, ENOSYS, 1, true}, {kFileLock, ENOLCK, 2, true}},
         unlocked("cannot be locked: no locks available")},
        {"a lock file this user may only read", 0444, 0777, {},
         unlocked("cannot be locked, because you may not write its lock file " + lockFile +
                  ", and its file system locks only files that may be written. Ask its owner, " + me +
                  ", to let you write it"),
         true},
    });

    RemoveFile(lockFile);
    const mode_t umask = ::umask(077);
    for (const mode_t folderMode : {0755, 0775, 0777}) {
        ASSERT_EQ(::chmod(m_folder.c_str(), folderMode), 0);
        {
            TProject project;
            g_pProject = &project;
            EXPECT_TRUE(project.Load(m_folder + "/p.tpj"));
            g_pProject = nullptr;
        }
        struct stat st {};
        ASSERT_EQ(::stat(lockFile.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0644u | (folderMode & 0022)) << std::oct << folderMode;
        RemoveFile(lockFile);
    }
    ::umask(umask);
    ::chmod(m_folder.c_str(), 0755);
}

// Another user's lock file that only its owner may read is not passed over, locally or on
// NFS: once the open has waited for rights that do not come, it is refused and says whom to
// ask.
TEST_F(ProjectFolderTest, AnotherUsersLockFileThatOnlyItsOwnerMayReadRefusesTheOpen)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "a lock file of another user is made only by root";
    MakeProject();
    const std::string lockFile = m_folder + "/" + TFolderLock::FileName();
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    const std::string me = ::getpwuid(::geteuid())->pw_name;
    TryLockRows(m_folder,
                {{"another user's lock file that only its owner may read", 0600, 0777, {},
                  "refused\nThe project p cannot be opened: its folder cannot be locked, because you may not read its "
                  "lock file " + lockFile + ". Ask its owner, " + me +
                      ", to let you read it, or remove it once no program has the project open."}});
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
// the folder are refused with the reason, at once, and leave it there, also with locks as
// on NFS. A link is never followed: nothing is made where a dangling one points, nor is a
// file elsewhere locked. A lock file of two names, of a project copied with its files'
// names (cp -al), is locked as it is: the copy opens, and so does the original, and the
// lock file keeps its rights.
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
    std::vector<std::pair<bool, TCase>> tries;
    for (const bool nfs : {false, true})
        for (const TCase& c :
             {TCase{"a folder", S_IFDIR, [](const std::string& path) { return ::mkdir(path.c_str(), 0777); }},
              TCase{"a FIFO", S_IFIFO, [](const std::string& path) { return ::mkfifo(path.c_str(), 0666); }},
              TCase{"a symbolic link", S_IFLNK, linkTo(elsewhere)}, TCase{"a symbolic link", S_IFLNK, linkTo(aFile)}})
            tries.emplace_back(nfs, c);
    for (const auto& [nfs, c] : tries) {
        SCOPED_TRACE(std::string(c.what) + (nfs ? ", on NFS" : ""));
        test::TFileFaultScope faults(nfs ? std::vector<TFileFault>{test::LocksAsOnNFS()} : std::vector<TFileFault>{});
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

    ASSERT_TRUE(RemoveFile(lockFile));
    test::WriteBytes(lockFile, "");
    ASSERT_EQ(::chmod(lockFile.c_str(), 0600), 0);
    const std::string copy = m_dir.File("copy");
    ASSERT_EQ(test::RunShell("cp -al '" + m_folder + "' '" + copy + "'").first, 0);
    for (const bool nfs : {false, true}) {
        test::TFileFaultScope faults(nfs ? std::vector<TFileFault>{test::LocksAsOnNFS()} : std::vector<TFileFault>{});
        for (const std::string& folder : {copy, m_folder}) {
            SCOPED_TRACE(folder + (nfs ? ", on NFS" : ""));
            test::TScriptedReport script;
            TProject project;
            g_pProject = &project;
            EXPECT_TRUE(project.Load(folder + "/p.tpj"));
            EXPECT_TRUE(project.FolderCanBeWritten());
            g_pProject = nullptr;
            EXPECT_TRUE(script.Messages().empty()) << script.Messages().front();
        }
    }
    struct stat st {};
    ASSERT_EQ(::stat(lockFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(st.st_nlink, 2u);
    // While the copy is open the original is refused for the lock file they share; once
    // that is removed, as the message says, the original makes its own and opens too.
    {
        TProject copied, original;
        test::TScriptedReport script;
        ASSERT_TRUE(copied.Load(copy + "/p.tpj") && !original.Load(m_folder + "/p.tpj") && RemoveFile(lockFile));
        EXPECT_TRUE(original.Load(m_folder + "/p.tpj") && original.FolderCanBeWritten());
        EXPECT_EQ(script.Count(), 1u);
    }

    // A lock file the open makes, given another name by another program before its rights
    // are given, stays as it was made, private to its maker (not the 0664 of its
    // group-writable folder): the file is the other name's too.
    ASSERT_TRUE(RemoveFile(lockFile));
    ASSERT_EQ(::chmod(m_folder.c_str(), 0775), 0);
    const mode_t mask = ::umask(022);
    const std::string named = m_dir.File("named");
    SetBeforeRightsHook([&](const std::string& made) {
        if (FileNameOf(made) == TFolderLock::FileName()) {
            ASSERT_EQ(::link(made.c_str(), named.c_str()), 0);
        }
    });
    {
        TProject project;
        g_pProject = &project;
        EXPECT_TRUE(project.Load(m_folder + "/p.tpj"));
        EXPECT_TRUE(project.FolderCanBeWritten());
        g_pProject = nullptr;
    }
    SetBeforeRightsHook({});
    ::umask(mask);
    ASSERT_EQ(::stat(named.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
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

    // A lock file that cannot be made again: the folder may no longer be written. The
    // ordinary user who opens it owns it (root gives it to that user).
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(m_folder.c_str(), 65534, 65534), 0);
    }
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

// Where only the lock file holds the folder (NFS), the lock file removed while a save
// writes, after the save began and before its files are put in place (its journal is
// written): taken meanwhile by another program, the save writes nothing and says so; taken
// by none, it is made and taken again and the save is made. A refused journal whose removal
// the disk does not take is said to be one the next program may complete.
TEST_F(ProjectFolderTest, OnNFSALockFileRemovedWhileASaveWritesLetsNoOtherProgramChangeTheFolderWithIt)
{
    MakeProject();
    const std::string path = m_folder + "/p.tpj", lockFile = m_folder + "/" + TFolderLock::FileName();
    const std::string journal = TFileTransaction::JournalPathOf(m_folder);
    test::TFileFaultScope nfs({test::LocksAsOnNFS()});
    // Taken by another program, or by none; and taken with the disk failing the sync of the
    // refused journal's removal, which is said: the journal may come back to be completed.
    for (const std::pair<bool, bool>& row : {std::pair{true, false}, {false, false}, {true, true}}) {
        const bool taken = row.first, unsynced = row.second;
        SCOPED_TRACE(taken ? "taken by another program" : "taken by none");
        SCOPED_TRACE(unsynced ? "its removal not synced" : "");
        const std::optional<TFileIdentity> before = FileIdentityOf(path);
        TFolderLock other;
        const test::TChildRun run = test::BesideAChild(
            [&](const std::function<void(bool)>& pause) {
                test::TScriptedReport script;
                TProject project;
                g_pProject = &project;
                if (!project.Load(path))
                    return false;
                project.SetModified(true);
                bool paused = false;
                TFile::SetStepHook([&] {
                    if (!paused && FileExists(journal)) {
                        paused = true;
                        pause(true);
                        // The first sync is the journal's, the second that of its removal.
                        if (unsynced)
                            SetFileFaults({test::LocksAsOnNFS(), {kFileSyncFolder, EIO, 2}});
                    }
                });
                const bool saved = project.Save();
                TFile::SetStepHook({});
                g_pProject = nullptr;
                std::vector<std::string> said;
                if (taken)
                    said.push_back("The lock file " + lockFile + " of the project p was removed while the project was "
                                   "open, and another program has taken the folder since, so nothing was written. Save "
                                   "Project As keeps the work in a new folder.");
                if (unsynced)
                    said.push_back("The folder " + TFileTransaction::WorkFolderOf(m_folder) + " could not be synced to "
                                   "the disk: input/output error. The change that was not written may still be made "
                                   "by the next program that opens the project.");
                return saved != taken && script.Messages() == said;
            },
            [&] {
                ASSERT_TRUE(RemoveFile(lockFile));
                if (taken) {
                    ASSERT_EQ(other.Acquire(m_folder), TFolderLock::TResult::Held);
                }
            });
        EXPECT_TRUE(run.answer);
        EXPECT_TRUE(run.result) << "the save did not do and say what it should";
        EXPECT_FALSE(FileExists(journal));
        EXPECT_EQ(FileIdentityOf(path) == before, taken) << "the project file was replaced, or not";
    }
}

namespace {

// Gives the folder tree to the user `uid` of the group `gid` (root only).
void GiveTree(const std::string& folder, uid_t uid, gid_t gid)
{
    ASSERT_EQ(::lchown(folder.c_str(), uid, gid), 0);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        ASSERT_EQ(::lchown(entry.path().c_str(), uid, gid), 0) << entry.path();
}

// Gives the folder tree to the user 65534 and the group `gid`, for the group to write: its
// folders of `folderMode`, its files of mode 664 (root only).
void ShareWithGroup(const std::string& folder, gid_t gid, mode_t folderMode)
{
    GiveTree(folder, 65534, gid);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        ASSERT_EQ(::chmod(entry.path().c_str(), entry.is_directory() ? folderMode : 0664), 0);
    ASSERT_EQ(::chmod(folder.c_str(), folderMode), 0);
}

// The name of the user `uid`, as the program names the owner of a file.
std::string UserName(uid_t uid)
{
    const passwd* user = ::getpwuid(uid);
    return user ? user->pw_name : std::to_string(uid);
}

// Opens the project at `path` in this process, marks it changed and saves it, then tries
// it in a second program while it is open: what each did and said.
std::string OpenSaveAndTryASecond(const std::string& path)
{
    test::TScriptedReport script;
    TProject project;
    g_pProject = &project;
    std::string text = project.Load(path) ? "opened" : "refused";
    if (text == "opened") {
        project.SetModified(true);
        text += project.Save() ? ", saved" : ", not saved";
    }
    for (const std::string& message : script.Messages())
        text += "\n" + message;
    text += "\nsecond: " + test::AsUser(::geteuid(), ::getegid(), [&] {
        test::TScriptedReport secondScript;
        TProject second;
        std::string said = second.Load(path) ? "opened" : "refused";
        for (const std::string& message : secondScript.Messages())
            said += "\n" + message;
        return said;
    });
    g_pProject = nullptr;
    return text;
}

}  // namespace

// A Save As into another folder, killed after it staged a file in that folder's work
// folder, leaves its note in the project's. An open that cannot list that work folder,
// finds that folder held by another program, or cannot read the note, keeps the note (and
// what was staged), so that the open after it, once the folder can be listed and is free
// and the note can be read, removes both.
TEST_F(ProjectFolderTest, ASaveAsNoteStaysUntilWhatItNamesCanBeCleared)
{
    MakeProject();
    const std::string other = m_dir.File("other"), otherWork = TFileTransaction::WorkFolderOf(other);
    const std::string staged = otherWork + "/.p.tpj.a1b2c3", notePath = m_folder + "/.vexara/saving-as";
    ASSERT_TRUE(MakeFolder(otherWork));
    if (::geteuid() == 0)
        GiveTree(m_dir.Path(), 65534, 65534);
    const auto open = [&] {
        return test::AsAnOrdinaryUser([&] {
            TProject project;
            return std::string(project.Load(m_folder + "/p.tpj") ? "opened" : "refused");
        });
    };
    // The note as the user's Save As into `other` writes it.
    const auto note = [&] {
        return test::AsAnOrdinaryUser([&] {
            TFolderHold hold;
            return std::string(hold.Take(m_folder, "p", TFolderHold::TPurpose::Open) &&
                                       hold.NoteSaveAs(m_folder, TFolder::Open(other), false, false, false)
                                   ? "noted"
                                   : "not noted");
        });
    };
    const struct {
        const char* what;
        bool held;
        mode_t work;
        std::vector<TFileFault> faults;
    } cases[] = {
        {"a work folder this user may not list", false, 0311, {}},
        {"a folder another program holds", true, 0755, {}},
        {"a note that cannot be read", false, 0755, {{kFileRead, EIO, 1}}},
    };
    for (const auto& [what, held, mode, faults] : cases) {
        SCOPED_TRACE(what);
        test::WriteBytes(staged, "staged");
        ASSERT_EQ(note(), "noted");
        ASSERT_EQ(::chmod(otherWork.c_str(), mode), 0);
        {
            TFolderLock lock;
            ASSERT_TRUE(!held || lock.Acquire(other) == TFolderLock::TResult::Held);
            test::TFileFaultScope fault(faults);
            EXPECT_EQ(open(), "opened");
        }
        ASSERT_EQ(::chmod(otherWork.c_str(), 0755), 0);
        EXPECT_TRUE(FileExists(notePath)) << "the note went while what it names stays";
        EXPECT_TRUE(FileExists(staged));
        EXPECT_EQ(open(), "opened");
        EXPECT_FALSE(FileExists(notePath));
        EXPECT_FALSE(FileExists(staged));
    }
}

// A note in the work folder names a folder to clear. An open acts on it only where this
// user's own Save As of this project noted that very folder: another user's note (a partner
// of a shared project, as root with uid 65534 and as two users with private groups), this
// user's note of another project moved in, and a note whose folder was replaced since
// change nothing but themselves, however well they name the folder.
TEST_F(ProjectFolderTest, AnOpenClearsOnlyAFolderThatItsOwnSaveAsNoted)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "other users' notes are had only by root";
    MakeProject();
    constexpr gid_t kGroup = 65532;
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    ShareWithGroup(m_folder, kGroup, 02775);
    const std::string victim = m_dir.File("victim"), other = m_dir.File("o");
    const struct {
        const char* what;
        uid_t writer, opener;
        bool movedIn, replaced;
    } cases[] = {
        {"another user's note, root opens", 65534, 0, false, false},
        {"a partner's note, the member opens", 65533, 65534, false, false},
        {"the opener's note of another project", 65534, 65534, true, false},
        {"the opener's note of a folder replaced since", 65534, 65534, false, true},
    };
    for (const auto& [what, writer, opener, movedIn, replaced] : cases) {
        SCOPED_TRACE(what);
        // The opener's own folder, with what a save of it left in its private work folder.
        std::filesystem::remove_all(victim);
        std::filesystem::remove_all(victim + ".old");
        ASSERT_TRUE(MakeFolder(victim + "/.vexara"));
        test::WriteBytes(victim + "/.vexara/.v.tpj.a1b2c3", "staged");
        test::WriteBytes(victim + "/v.tpj", "project");
        GiveTree(victim, opener, opener);
        ASSERT_EQ(::chmod((victim + "/.vexara").c_str(), 0700), 0);
        ASSERT_TRUE(MakeFolder(other));
        GiveTree(other, writer, writer);
        const std::string noted = movedIn ? other : m_folder;
        EXPECT_EQ(test::AsUser(writer, writer, [&] {
            TFolderHold hold;
            return std::string(hold.Take(noted, "p", TFolderHold::TPurpose::Open) &&
                                       hold.NoteSaveAs(noted, TFolder::Open(victim), true, true, true)
                                   ? "noted" : "not noted");
        }, {kGroup}), "noted");
        // Its writer lets everyone read it.
        ASSERT_EQ(::chmod((noted + "/.vexara/saving-as").c_str(), 0644), 0);
        if (movedIn) {
            ASSERT_EQ(std::rename((other + "/.vexara/saving-as").c_str(), (m_folder + "/.vexara/saving-as").c_str()), 0);
        }
        if (replaced) {
            ASSERT_EQ(std::rename(victim.c_str(), (victim + ".old").c_str()), 0);
            test::RestoreFolder(victim + ".old", victim);
            GiveTree(victim, opener, opener);
        }
        const test::TFolderBytes before = test::ReadFolderTree(victim, true);
        EXPECT_EQ(test::AsUser(opener, opener, [&] {
            TProject project;
            return std::string(project.Load(m_folder + "/p.tpj") ? "opened" : "refused");
        }, {kGroup}), "opened");
        EXPECT_TRUE(test::ReadFolderTree(victim, true) == before) << "the folder the note names was changed";
        EXPECT_TRUE(FolderExists(victim + "/.vexara"));
        EXPECT_FALSE(FileExists(m_folder + "/.vexara/saving-as"));
    }
}

// A journal in the work folder puts files in place and removes others. An open completes
// one only where this user made it and every staged file it puts in place: another user's
// (in root's sticky folder all may write, whose files that user may not remove, and between
// two members of a group with private groups) changes nothing, and the open says whose
// interrupted save waits there.
TEST_F(ProjectFolderTest, AnOpenCompletesOnlyAJournalThisUserMade)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "other users' journals are had only by root";
    MakeProject();
    constexpr gid_t kGroup = 65532;
    const std::string work = m_folder + "/.vexara", journal = work + "/journal", staged = work + "/p.tpj.a1b2c3";
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    const std::string removals = "Vexara file journal 3\nremove\tA\nremove\tB_NAA_map\nend\n";
    const auto replacement = [&] {
        return "Vexara file journal 3\nrename\tp.tpj.a1b2c3\tp.tpj\t" + TFileTransaction::StagedFileIdentity(staged) +
               "\nend\n";
    };
    const struct {
        const char* what;
        uid_t writer, stager, opener;  // stager 0: no staged file
        bool shared;                   // a group folder, else root's sticky folder
        std::string theirs;            // the file of another user's the open names
    } cases[] = {
        {"another user's journal of removals, root opens", 65534, 0, 0, false, journal},
        {"another user's journal putting their file in place, root opens", 65534, 65534, 0, false, journal},
        {"root's journal putting another user's file in place", 0, 65534, 0, false, staged},
        {"a partner's journal of removals, the member opens", 65533, 0, 65534, true, journal},
    };
    for (const auto& [what, writer, stager, opener, shared, theirs] : cases) {
        SCOPED_TRACE(what);
        if (shared) {
            ShareWithGroup(m_folder, kGroup, 02775);
        } else {
            for (const std::string& folder : {m_folder, work})
                ASSERT_EQ(::chmod(folder.c_str(), 01777), 0);
        }
        const auto as = [&](uid_t user, const std::function<void()>& act) {
            ASSERT_EQ(test::AsUser(user, user, [&] {
                act();
                return std::string("done");
            }, {kGroup}), "done");
        };
        if (stager != 0)
            as(stager, [&] { test::WriteBytes(staged, "p.tpj of another user"); });
        as(writer, [&] { test::WriteBytes(journal, stager != 0 ? replacement() : removals); });
        const test::TFolderBytes before = test::ReadFolderTree(m_folder);
        const std::string said = test::AsUser(opener, opener, [&] {
            test::TScriptedReport script;
            TProject project;
            g_pProject = &project;
            std::string text = project.Load(m_folder + "/p.tpj") ? "opened" : "refused";
            g_pProject = nullptr;
            for (const std::string& message : script.Messages())
                text += "\n" + message;
            return text;
        }, {kGroup});
        EXPECT_EQ(said, "refused\nThe project p cannot be opened: a save of it by the user " +
                            UserName(writer != opener ? writer : stager) +
                            " was interrupted and waits in its work folder " + work + " (" + theirs +
                            " is theirs). Only their own open of the project completes it; its files stay as they "
                            "are until then.");
        EXPECT_TRUE(test::ReadFolderTree(m_folder) == before) << "another user's change was made";
        std::filesystem::remove(journal);
        std::filesystem::remove(staged);
    }
}

// With locks as an NFS client takes them (an exclusive lock needs the file open for
// writing), each user who may write the folder opens the project, saves it and holds the
// folder: a second program is refused while it is open. So do root, the ordinary user who
// owns the folder, and two users of one group sharing a group-writable folder, the second
// of whom locks the lock file the first one's program made. A lock file left short of the
// group's write bit (made under a umask by a program killed before it gave it the folder's
// rights) is not widened by its owner's program, which did not make it: the other user
// opens the project with no change offered and is told whom to ask.
TEST_F(ProjectFolderTest, OnNFSEachUserWhoMayWriteTheFolderOpensSavesAndKeepsASecondProgramOut)
{
    MakeProject();
    const std::string path = m_folder + "/p.tpj", lockFile = m_folder + "/" + TFolderLock::FileName();
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    test::TFileFaultScope nfs({test::LocksAsOnNFS()});
    const std::string expected = "opened, saved\nsecond: refused\nThe project p cannot be opened: another program has "
                                 "a project of its folder open.";
    EXPECT_EQ(OpenSaveAndTryASecond(path), expected);
    if (::geteuid() == 0)
        GiveTree(m_folder, 65534, 65534);
    EXPECT_EQ(test::AsAnOrdinaryUser([&] { return OpenSaveAndTryASecond(path); }), expected);

    if (::geteuid() != 0)
        GTEST_SKIP() << "two ordinary users of one group are made only by root";
    constexpr gid_t kGroup = 65532;
    ShareWithGroup(m_folder, kGroup, 02775);
    const std::string noChange = "The project p opens, but no change of it can be written: its folder cannot be "
                                 "locked, because you may not write its lock file " + lockFile +
                                 ", and its file system locks only files that may be written. Ask its owner, " +
                                 UserName(65534) +
                                 ", to let you write it. Save Project As keeps the work in a folder that can be locked.";
    const std::string unwritable = "opened, not saved\n" + noChange + "\nThe folder " + m_folder +
                                   " of the project p cannot be locked, so nothing was written. Save Project As "
                                   "keeps the work in a folder that can be locked.\nsecond: opened\n" + noChange;
    // The first user's program makes the lock file, or made it under its umask and was
    // killed before it gave it the folder's write bits.
    for (const bool leftNarrow : {false, true}) {
        SCOPED_TRACE(leftNarrow ? "a lock file left without the group's write bit" : "no lock file");
        ASSERT_TRUE(RemoveFile(lockFile));
        if (leftNarrow) {
            test::WriteBytes(lockFile, "");
            ASSERT_EQ(::chown(lockFile.c_str(), 65534, kGroup), 0);
            ASSERT_EQ(::chmod(lockFile.c_str(), 0644), 0);
        }
        for (const uid_t user : {65534u, 65533u}) {
            SCOPED_TRACE("the user " + std::to_string(user) + " of the folder's group");
            EXPECT_EQ(test::AsUser(user, kGroup,
                                   [&] {
                                       ::umask(002);
                                       return OpenSaveAndTryASecond(path);
                                   }),
                      leftNarrow && user == 65533u ? unwritable : expected);
            struct stat st {};
            ASSERT_EQ(::stat(lockFile.c_str(), &st), 0);
            EXPECT_EQ(st.st_uid, 65534u) << "the lock file the first user's program made";
            EXPECT_EQ(st.st_mode & 07777, leftNarrow ? 0644u : 0664u);
        }
    }
}

// A group folder that is not setgid, shared by two users whose own groups come first (each
// user a group of their own, the folder's group beside it): the lock file the first one's
// program makes takes the folder's group, so that the second one may write it and lock it
// on NFS. Each in turn opens the project, saves it and keeps a second program out, locally
// and with locks as on NFS; where locks fail, each opens it with no change offered and
// neither leaves a lock file.
TEST_F(ProjectFolderTest, InAGroupFolderOfUsersWithGroupsOfTheirOwnTheLockFileTakesTheFoldersGroup)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "two ordinary users with groups of their own are made only by root";
    MakeProject();
    const std::string path = m_folder + "/p.tpj", lockFile = m_folder + "/" + TFolderLock::FileName();
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    constexpr gid_t kGroup = 65532;
    ShareWithGroup(m_folder, kGroup, 0775);
    const std::string held = "opened, saved\nsecond: refused\nThe project p cannot be opened: another program has a "
                             "project of its folder open.";
    const std::string noLocks = "The project p opens, but no change of it can be written: its folder cannot be "
                                "locked: no locks available. Save Project As keeps the work in a folder that can be "
                                "locked.";
    const std::string unlocked = "opened, not saved\n" + noLocks + "\nThe folder " + m_folder +
                                 " of the project p cannot be locked, so nothing was written. Save Project As keeps "
                                 "the work in a folder that can be locked.\nsecond: opened\n" + noLocks;
    const struct {
        const char* what;
        std::vector<TFileFault> faults;
        std::string said;
    } rows[] = {
        {"a local file system", {}, held},
        {"locks as on NFS", {test::LocksAsOnNFS()}, held},
        // The second lock call locks the lock file the first one made.
        {"no locks", {{kFileLock, ENOLCK, 2, true}}, unlocked},
        {"no locks, on NFS", {{kFileLock, ENOLCK, 2, true}, test::LocksAsOnNFS()}, unlocked},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        RemoveFile(lockFile);
        test::TFileFaultScope faults(row.faults);
        for (const uid_t user : {65534u, 65533u}) {
            SCOPED_TRACE("the user " + std::to_string(user));
            const auto openSaveAndTryASecond = [&] {
                ::umask(022);
                return OpenSaveAndTryASecond(path);
            };
            EXPECT_EQ(test::AsUser(user, gid_t(user), openSaveAndTryASecond, {kGroup}), row.said);
            struct stat st {};
            if (row.said == unlocked) {
                EXPECT_NE(::lstat(lockFile.c_str(), &st), 0) << "a lock file was left";
                continue;
            }
            ASSERT_EQ(::stat(lockFile.c_str(), &st), 0);
            EXPECT_EQ(st.st_uid, 65534u) << "the lock file the first user's program made";
            EXPECT_EQ(st.st_gid, kGroup);
            EXPECT_EQ(st.st_mode & 07777, 0664u);
        }
    }
}

namespace {

// "name mode" of each file of the folder (not its work folder nor its lock file), with its
// owner and group as "uid:gid" when asked.
std::string RightsOfFiles(const std::string& folder, bool owners)
{
    std::string text;
    for (const std::string& name : test::FolderNames(folder)) {
        struct stat st {};
        if (name == ".vexara" || name == TFolderLock::FileName() || ::lstat((folder + "/" + name).c_str(), &st) != 0)
            continue;
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", unsigned(st.st_mode & 07777));
        text += name + " " + mode;
        if (owners)
            text += " " + std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid);
        text += "\n";
    }
    return text;
}

// "uid:gid" of the file at `path`, links not followed; empty when it cannot be examined.
std::string OwnerAndGroup(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? std::to_string(st.st_uid) + ":" + std::to_string(st.st_gid) : "";
}

// The access ACL of the file at `path` in the short form getfacl gives; empty when it has
// none or cannot be read.
std::string AclOf(const std::string& path)
{
    std::string text;
    if (std::FILE* out = ::popen(("getfacl -cp --omit-header '" + path + "' 2>/dev/null").c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, out))
            text += line;
        ::pclose(out);
    }
    return text;
}

// Runs body in this process, which must run on one thread alone (a forked child), inside a
// user namespace of its own that maps only this user and group, to its root ("unshare -r")
// or to themselves ("unshare -U --map-current-user"): other users' files show as the
// overflow id there. "no user namespace: ..." without one.
std::string InUserNamespaceOfItsOwn(bool toRoot, const std::function<std::string()>& body)
{
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    // A process that changed its user owns its /proc files again only once dumpable.
    if (::prctl(PR_SET_DUMPABLE, 1) != 0 || ::unshare(CLONE_NEWUSER) != 0)
        return std::string("no user namespace: ") + std::strerror(errno);
    const uid_t inUid = toRoot ? 0 : uid;
    const gid_t inGid = toRoot ? 0 : gid;
    test::WriteBytes("/proc/self/setgroups", "deny");
    test::WriteBytes("/proc/self/uid_map", std::to_string(inUid) + " " + std::to_string(uid) + " 1");
    test::WriteBytes("/proc/self/gid_map", std::to_string(inGid) + " " + std::to_string(gid) + " 1");
    return ::geteuid() == inUid && ::getegid() == inGid ? body() : "no user namespace: its ids could not be mapped";
}

// The rights, owner and group of each file of the folder changed to these.
void SetRights(const std::string& folder, mode_t files, mode_t folders)
{
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_symlink())
            continue;
        ASSERT_EQ(::chmod(entry.path().c_str(), entry.is_directory() ? folders : files), 0) << entry.path();
    }
    ASSERT_EQ(::chmod(folder.c_str(), folders), 0);
}

}  // namespace

// Another user who may write the project's folder puts a link to a private file of the
// project's owner (0600, in a 0700 folder), a copy of the file it replaces, in place of a
// data-set, map or pixel file: the open names the link with its owner and reads none of the
// private file, the next save leaves the link as it is, and Save As copies the file nowhere.
TEST_F(ProjectFolderTest, AnotherUsersLinkAtAFileOfTheProjectLeadsNoReadToWhatItNames)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "another user's link is put only where root runs";
    struct Row {
        const char* file;
        std::function<bool(const TProject&)> read;  // what was read of the file
    };
    const Row rows[] = {
        {"A", [](const TProject& p) { return p.m_pCSISetList->FindByName("A") != nullptr; }},
        {"A_NAA_map", [](const TProject& p) { return p.m_pCSISetList->FindByName("A")->FindMap("NAA_map"); }},
        {"ax", [](const TProject& p) { return p.m_pImageSet->Images().front()->PixelFileExists(); }},
    };
    const std::string hidden = m_dir.File("private"), secret = hidden + "/secret", copy = m_dir.File("q");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        for (const std::string& made : {m_folder, hidden, copy})
            std::filesystem::remove_all(made);
        MakeProject();
        const std::string file = m_folder + "/" + row.file;
        ASSERT_TRUE(MakeFolder(hidden));
        test::WriteBytes(secret, test::ReadBytes(file));
        ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
        ASSERT_EQ(::chmod(hidden.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
        ASSERT_EQ(::chmod(m_folder.c_str(), 0777), 0);
        ASSERT_EQ(test::AsUser(65534, 65534, [&] {
            const bool linked = ::unlink(file.c_str()) == 0 && ::symlink(secret.c_str(), file.c_str()) == 0;
            return linked ? "linked" : "not linked";
        }), "linked");

        test::TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        ASSERT_TRUE(project.Load(m_folder + "/p.tpj"));
        EXPECT_FALSE(row.read(project));
        std::string said;
        for (const std::string& message : script.Messages())
            said += message + "\n";
        EXPECT_NE(said.find(file), std::string::npos) << said;
        EXPECT_NE(said.find(" a symbolic link of another user, " + UserName(65534) + ", not a file"), std::string::npos)
            << said;
        project.SetModified(true);
        EXPECT_TRUE(project.Save());
        struct stat st {};
        EXPECT_TRUE(::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) << "nothing written in its place";
        project.SaveAs(m_dir.Path(), "q");
        g_pProject = nullptr;
        EXPECT_NE(test::ReadBytes(copy + "/" + row.file), test::ReadBytes(secret)) << "not copied";
    }

    // Two members of a group with groups of their own: b links set B of the group's project
    // to a private file of a's; a's Save As into a group folder makes no copy of it.
    constexpr gid_t kGroup = 65532;
    for (const std::string& made : {m_folder, hidden, copy})
        std::filesystem::remove_all(made);
    MakeProject();
    ShareWithGroup(m_folder, kGroup, 02775);
    const std::string group = m_dir.File("g"), file = m_folder + "/B";
    ASSERT_TRUE(MakeFolder(group));
    for (const std::string& shared : {m_folder, group})
        ASSERT_TRUE(::chown(shared.c_str(), 0, kGroup) == 0 && ::chmod(shared.c_str(), 02775) == 0);
    ASSERT_TRUE(MakeFolder(hidden));
    test::WriteBytes(secret, test::ReadBytes(file));
    GiveTree(hidden, 65533, 65533);
    ASSERT_TRUE(::chmod(secret.c_str(), 0600) == 0 && ::chmod(hidden.c_str(), 0700) == 0);
    ASSERT_EQ(test::AsUser(65534, 65534, [&] {
        const bool linked = ::unlink(file.c_str()) == 0 && ::symlink(secret.c_str(), file.c_str()) == 0;
        return linked ? "linked" : "not linked";
    }, {kGroup}), "linked");
    EXPECT_EQ(test::AsUser(65533, 65533, [&] {
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        const bool saved = project.Load(m_folder + "/p.tpj") && project.SaveAs(group, "q");
        g_pProject = nullptr;
        return std::string(saved ? "saved" : "not saved");
    }, {kGroup}), "saved");
    EXPECT_NE(test::ReadBytes(group + "/q/B"), test::ReadBytes(secret)) << "not copied where b may read it";
}

// A group partner puts a link to the work folder of another member's private project, whose
// save was cut short, in place of a shared project's work folder: that member's open of the
// shared project is refused naming the link, and neither project changes.
TEST_F(ProjectFolderTest, ALinkAtASharedProjectsWorkFolderLeadsItsOpenIntoNoOtherProject)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "two ordinary users with groups of their own are made only by root";
    MakeProject();
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    constexpr gid_t kGroup = 65532;
    ShareWithGroup(m_folder, kGroup, 02775);
    const std::string mine = m_dir.File("q"), staged = mine + "/.vexara/q.tpj.Ab12Cd", work = m_folder + "/.vexara";
    ASSERT_TRUE(MakeFolder(mine + "/.vexara"));
    test::WriteBytes(mine + "/q.tpj", "private project");
    test::WriteBytes(staged, "private save");
    test::WriteBytes(mine + "/.vexara/journal", "Vexara file journal 3\nrename\tq.tpj.Ab12Cd\tq.tpj\t" +
                                                    TFileTransaction::StagedFileIdentity(staged) + "\nend\n");
    GiveTree(mine, 65534, 65534);
    ASSERT_EQ(::chmod(mine.c_str(), 0700), 0);
    const test::TFolderBytes before = test::ReadFolderTree(mine), shared = test::ReadFolderTree(m_folder);
    EXPECT_EQ(test::AsUser(65533, 65533, [&] {
        std::filesystem::remove_all(work);
        return ::symlink((mine + "/.vexara").c_str(), work.c_str()) == 0 ? "linked" : "not linked";
    }, {kGroup}), "linked");
    EXPECT_EQ(test::AsUser(65534, 65534, [&] { return OpenSaveAndTryASecond(m_folder + "/p.tpj"); }, {kGroup}),
              "refused\nThe project p cannot be opened: its work folder " + work + " is a symbolic link, not a "
              "folder. Remove it to open the project.\nsecond: refused\nThe project p cannot be opened: its work "
              "folder " + work + " is a symbolic link, not a folder. Remove it to open the project.");
    EXPECT_TRUE(test::ReadFolderTree(mine) == before);
    std::filesystem::remove(work);
    EXPECT_TRUE(test::ReadFolderTree(m_folder) == shared);
}

// A save under the umask 077 leaves who may read and write the project's files as it was:
// a file written in place of another keeps its rights, its group and, where root saves,
// its owner; a new set takes the rights of the project file. In a group folder the other
// user of the group then opens and saves the project the first one saved.
TEST_F(ProjectFolderTest, ASaveUnderAnyUmaskKeepsWhoMayReadAndWriteTheFiles)
{
    MakeProject();
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    SetRights(m_folder, 0664, 0775);
    // Opens the project, saves the changed work set and saves it as the new set `name` too.
    const auto save = [&](const std::string& name) {
        const mode_t mask = ::umask(077);
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        std::string said = project.Load(m_folder + "/p.tpj") ? "opened" : "refused";
        if (said == "opened") {
            project.SetModified(true);
            said += project.SaveWorkSetAndProject(false) && project.SaveWorkSetAs(name) ? ", saved" : ", not saved";
            said += ", " + std::to_string(project.m_pCSISetList->GetCount()) + " sets";
        }
        for (const std::string& message : script.Messages())
            said += "\n" + message;
        g_pProject = nullptr;
        ::umask(mask);
        return said;
    };
    const auto rights = [](const std::vector<std::string>& names, const std::string& tail) {
        std::string text;
        for (const std::string& name : names)
            text += name + " 0664" + tail + "\n";
        return text;
    };
    const bool root = ::geteuid() == 0;
    if (root)
        GiveTree(m_folder, 65534, 65534);
    EXPECT_EQ(test::AsAnOrdinaryUser([&] { return save("C"); }), "opened, saved, 3 sets");
    EXPECT_EQ(RightsOfFiles(m_folder, false), rights({"A", "A_NAA_map", "B", "B_NAA_map", "C", "ax", "p.tpj"}, ""));
    if (!root)
        GTEST_SKIP() << "another user's files, and two users of one group, are had only by root";

    // Root saving the user's project leaves it the user's, also the work folder and lock
    // file root's program makes in a copy that has none yet; the user saves it after.
    const std::string work = m_folder + "/.vexara", lock = m_folder + "/" + TFolderLock::FileName();
    ASSERT_TRUE(RemoveFolderTree(work));
    ASSERT_TRUE(RemoveFolderTree(lock));
    EXPECT_EQ(save("D"), "opened, saved, 4 sets");
    EXPECT_EQ(RightsOfFiles(m_folder, true),
              rights({"A", "A_NAA_map", "B", "B_NAA_map", "C", "D", "ax", "p.tpj"}, " 65534:65534"));
    EXPECT_EQ(OwnerAndGroup(work) + " " + OwnerAndGroup(lock), "65534:65534 65534:65534");
    // A work folder of another user that keeps the user from saving is named with its owner.
    ASSERT_EQ(::chown(work.c_str(), 0, 0), 0);
    const std::string refused = test::AsAnOrdinaryUser([&] { return save("G"); });
    EXPECT_NE(refused.find(" could not be written: the folder or file is write-protected. Ask its owner, root, "
                           "to let you write it."),
              std::string::npos)
        << refused;
    ASSERT_EQ(::chown(work.c_str(), 65534, 65534), 0);

    // Two users, each of a group of their own, share the group of the folder.
    constexpr gid_t kGroup = 65532;
    GiveTree(m_folder, 65534, kGroup);
    SetRights(m_folder, 0664, 02775);
    // The first user's save makes the work folder anew.
    ASSERT_TRUE(RemoveFolderTree(m_folder + "/.vexara"));
    EXPECT_EQ(test::AsUser(65534, 65534, [&] { return save("E"); }, {kGroup}), "opened, saved, 5 sets");
    EXPECT_EQ(test::AsUser(65533, 65533, [&] { return save("F"); }, {kGroup}), "opened, saved, 6 sets");
    std::string text = RightsOfFiles(m_folder, true);
    for (const std::string user : {"65534:", "65533:"})
        for (size_t at = 0; (at = text.find(user, at)) != std::string::npos;)
            text.replace(at, user.size(), "user:");
    EXPECT_EQ(text, rights({"A", "A_NAA_map", "B", "B_NAA_map", "C", "D", "E", "F", "ax", "p.tpj"},
                           " user:" + std::to_string(kGroup)));

    // Inside a user namespace that maps only the first user, to its root or to itself, the
    // other user's files and the group show as the overflow id there, which no file can be
    // given: that user's saves leave the files they write the user's, and the group, which
    // the setgid folder gives them, keeps its rights.
    for (const auto& [toRoot, name, sets] : {std::tuple{true, "G", "7"}, std::tuple{false, "H", "8"}}) {
        const std::string saved = test::AsUser(65534, 65534, [&, toRoot = toRoot, name = name] {
            return InUserNamespaceOfItsOwn(toRoot, [&] { return save(name); });
        }, {kGroup});
        if (saved.rfind("no user namespace", 0) == 0)
            GTEST_SKIP() << saved;
        EXPECT_EQ(saved, std::string("opened, saved, ") + sets + " sets");
        text = "\n" + RightsOfFiles(m_folder, true);
        for (const std::string file : {"A", "A_NAA_map", name, "p.tpj"})
            EXPECT_NE(text.find("\n" + file + " 0664 65534:" + std::to_string(kGroup) + "\n"), std::string::npos)
                << text;
    }
}

// On a file system that keeps no Unix rights (exFAT through FUSE), which shows every file
// and folder with the mount's owner and mode, the first save of a new project works, by root
// and by an ordinary user: the one the mount gives its files, or another where all may write.
TEST_F(ProjectFolderTest, TheFirstSaveOfAProjectWorksOnAFileSystemThatKeepsNoUnixRights)
{
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    for (const std::string options : {"uid=65534,gid=65534,umask=022", "umask=0"}) {
        SCOPED_TRACE(options);
        const std::string usb = m_dir.File(options);
        ASSERT_TRUE(MakeFolder(usb));
        const test::TFuseMount mount = test::ExfatMount(usb + ".img", usb, options);
        if (!mount.Skip().empty())
            GTEST_SKIP() << mount.Skip();
        ASSERT_EQ(mount.Failure(), "");
        const auto createAndSave = [&](const std::string& name) {
            test::TScriptedReport script;
            script.AllowDefaults();
            TProject project;
            g_pProject = &project;
            std::string said = project.Create(usb + "/" + name, name) && project.Save() ? "saved" : "not saved";
            for (const std::string& message : script.Messages())
                said += "\n" + message;
            g_pProject = nullptr;
            return said;
        };
        EXPECT_EQ(createAndSave("root"), "saved");
        EXPECT_EQ(test::AsAnOrdinaryUser([&] { return createAndSave("user"); }), "saved");
    }
}

// Save Project As of a private project keeps its copy private whatever the umask: the new
// files take the rights of the project's file and the folders it makes those of its
// folder, and its note of the save in progress is this user's alone.
TEST_F(ProjectFolderTest, ASaveAsOfAPrivateProjectStaysPrivateUnderAnyUmask)
{
    MakeProject();
    SetRights(m_folder, 0600, 0700);
    if (::geteuid() == 0)
        GiveTree(m_dir.Path(), 65534, 65534);
    const auto modeOf = [](const std::string& path) {
        struct stat st {};
        char mode[8] = "-";
        if (::lstat(path.c_str(), &st) == 0)
            std::snprintf(mode, sizeof mode, "%04o", unsigned(st.st_mode & 07777));
        return std::string(mode);
    };
    const std::string said = test::AsAnOrdinaryUser([&] {
        std::string text;
        for (const mode_t mask : {mode_t(022), mode_t(0)}) {
            const std::string top = m_dir.File("u" + std::to_string(mask)), folder = top + "/deep/q";
            std::set<std::string> noteModes;
            TFile::SetStepHook([&] {
                if (const std::string mode = modeOf(m_folder + "/.vexara/saving-as"); mode != "-")
                    noteModes.insert(mode);
            });
            const mode_t before = ::umask(mask);
            {
                test::TScriptedReport script;
                script.AllowDefaults();
                TProject project;
                g_pProject = &project;
                text += project.Load(m_folder + "/p.tpj") && project.SaveAs(top + "/deep", "q") ? "saved\n" : "not saved\n";
                g_pProject = nullptr;
            }
            ::umask(before);
            TFile::SetStepHook({});
            text += RightsOfFiles(folder, false);
            for (const std::string& made : {top, top + "/deep", folder, folder + "/.vexara"})
                text += modeOf(made) + " ";
            for (const std::string& mode : noteModes)
                text += "note " + mode;
            text += "\n";
        }
        return text;
    });
    const std::string copy = "saved\nA 0600\nA_NAA_map 0600\nB 0600\nB_NAA_map 0600\nax 0600\nq.tpj 0600\n"
                             "0700 0700 0700 0700 note 0600\n";
    EXPECT_EQ(said, copy + copy);
}

// Whoever may write the project's folder puts a link to another folder at its work folder's
// name at each step of Save Project As: the note of the save in progress is neither
// written nor removed through it, and the linked folder keeps its files.
TEST_F(ProjectFolderTest, ALinkAtTheWorkFolderLeadsNoSaveAsNoteElsewhere)
{
    MakeProject();
    const std::string work = m_folder + "/.vexara", link = m_folder + "/link", elsewhere = m_dir.File("elsewhere");
    ASSERT_TRUE(MakeFolder(elsewhere));
    test::WriteBytes(elsewhere + "/saving-as", "private");
    ASSERT_EQ(::symlink(elsewhere.c_str(), link.c_str()), 0);
    const test::TFolderBytes before = test::ReadFolderTree(elsewhere);
    test::TScriptedReport script;
    script.AllowDefaults();
    TProject project;
    g_pProject = &project;
    ASSERT_TRUE(project.Load(m_folder + "/p.tpj"));
    TFile::SetStepHook([&] {
        struct stat st {};
        if (::lstat(work.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            ASSERT_EQ(::renameat2(AT_FDCWD, link.c_str(), AT_FDCWD, work.c_str(), RENAME_EXCHANGE), 0);
        }
    });
    const bool saved = project.SaveAs(m_dir.Path(), "q");
    TFile::SetStepHook({});
    g_pProject = nullptr;
    EXPECT_TRUE(saved);
    EXPECT_TRUE(test::ReadFolderTree(elsewhere) == before) << "the linked folder was changed";
}

// A save keeps the access ACL of each file it writes in place of another, and gives a new
// set the ACL of the project file: the user named in it keeps what it may do, and the
// group gets no more than it had.
TEST_F(ProjectFolderTest, ASaveKeepsTheAclOfEachFileAndGivesItToNewFiles)
{
    MakeProject();
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    if (::geteuid() == 0)
        GiveTree(m_folder, 65534, 65534);
    const std::vector<std::string> names = {"A", "B", "ax", "p.tpj"};
    for (const std::string& name : names)
        if (std::system(("setfacl -m u:65533:rw-,g::r--,o::--- " + m_folder + "/" + name + " 2>/dev/null").c_str()) != 0)
            GTEST_SKIP() << "the file system of " << m_folder << " keeps no ACLs, or setfacl is missing";
    const std::string acl = AclOf(m_folder + "/p.tpj");
    ASSERT_EQ(acl, "user::rw-\nuser:65533:rw-\ngroup::r--\nmask::rw-\nother::---\n\n");
    const std::string said = test::AsAnOrdinaryUser([&] {
        test::TScriptedReport script;
        script.AllowDefaults();
        TProject project;
        g_pProject = &project;
        std::string text = project.Load(m_folder + "/p.tpj") ? "opened" : "refused";
        project.SetModified(true);
        text += project.SaveWorkSetAndProject(false) && project.SaveWorkSetAs("C") ? ", saved" : ", not saved";
        g_pProject = nullptr;
        return text;
    });
    EXPECT_EQ(said, "opened, saved");
    for (const char* name : {"A", "C", "p.tpj"})
        EXPECT_EQ(AclOf(m_folder + "/" + name), acl) << name;
}

// A folder its user may write and enter but not list (mode 311) is saved whole: its change
// reaches the disk through its work folder, no journal is left, and the project opens again
// with every set. With its work folder closed to the user, a save names that folder.
TEST_F(ProjectFolderTest, AFolderThatMayNotBeListedIsSavedAndOpensAgain)
{
    MakeProject();
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    if (::geteuid() == 0)
        GiveTree(m_folder, 65534, 65534);
    const std::string path = m_folder + "/p.tpj", work = m_folder + "/.vexara";
    const std::string said = test::AsAnOrdinaryUser([&] {
        ::chmod(m_folder.c_str(), 0311);
        test::TScriptedReport script;
        std::string text;
        {
            TProject project;
            g_pProject = &project;
            text = project.Load(path) ? "opened" : "refused";
            project.SetModified(true);
            text += project.SaveWorkSetAndProject(false) ? ", saved" : ", not saved";
        }
        text += FileExists(work + "/journal") ? ", a journal left" : "";
        TProject again;
        g_pProject = &again;
        text += again.Load(path) ? "; opened again, " + std::to_string(again.m_pCSISetList->GetCount()) + " sets"
                                 : "; refused again";
        ::chmod(work.c_str(), 0);
        text += again.Save() ? ", saved" : ", not saved";
        again.SetModified(true);
        text += again.SaveWorkSetAndProject(false) ? ", saved" : ", not saved";
        ::chmod(work.c_str(), 0755);
        g_pProject = nullptr;
        for (const std::string& message : script.Messages())
            text += "\n" + message;
        ::chmod(m_folder.c_str(), 0755);
        return text;
    });
    EXPECT_EQ(said, "opened, saved; opened again, 2 sets, not saved, not saved\nCan't write project file. The work "
                    "folder " + work + " could not be written: the folder or file is write-protected.\nCan not write CSI "
                    "data set file " + m_folder + "/A.\r\nThe CSI set A was not saved: the work folder " + work +
                        " could not be written: the folder or file is write-protected.");
}

// A folder that does not exist, is not a folder, or may not be entered refuses the open,
// naming the folder that stands in the way and whom to ask.
TEST_F(ProjectFolderTest, AFolderThatIsMissingOrCannotBeEnteredSaysWhichAndWhomToAsk)
{
    MakeProject();
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
    const std::string me = ::getpwuid(::geteuid())->pw_name, aside = m_dir.File("aside");
    const std::string refused = "The project p cannot be opened: its folder " + m_folder;
    const std::string aFile = m_dir.File("a file");
    const struct {
        const char* what;
        std::function<void()> make, undo;
        std::string said;
        std::string folder = {};  // the project's folder, when not m_folder
    } rows[] = {
        {"no folder", [&] { ASSERT_EQ(::rename(m_folder.c_str(), aside.c_str()), 0); },
         [&] { ASSERT_EQ(::rename(aside.c_str(), m_folder.c_str()), 0); }, refused + " does not exist."},
        {"no folder, its project aside for a batch run that was interrupted",
         [&] { ASSERT_EQ(::rename(m_folder.c_str(), m_dir.File(".p.batch-old").c_str()), 0); },
         [&] { ASSERT_EQ(::rename(m_dir.File(".p.batch-old").c_str(), m_folder.c_str()), 0); },
         refused + " does not exist: a batch run was interrupted while it replaced the project, which waits in " +
             m_dir.File(".p.batch-old") + "; the next batch run of the study into " + m_dir.Path() +
             " puts it back."},
        {"a file in its place",
         [&] {
             ASSERT_EQ(::rename(m_folder.c_str(), aside.c_str()), 0);
             test::WriteBytes(m_folder, "a file");
         },
         [&] {
             ASSERT_TRUE(RemoveFile(m_folder));
             ASSERT_EQ(::rename(aside.c_str(), m_folder.c_str()), 0);
         },
         refused + " is not a folder."},
        {"a file on the way", [&] { test::WriteBytes(aFile, "a file"); }, [&] { ASSERT_TRUE(RemoveFile(aFile)); },
         "The project p cannot be opened: its folder " + aFile + "/p cannot be reached, because " + aFile +
             " is not a folder.",
         aFile + "/p"},
        {"a link to itself",
         [&] {
             ASSERT_EQ(::rename(m_folder.c_str(), aside.c_str()), 0);
             ASSERT_EQ(::symlink(m_folder.c_str(), m_folder.c_str()), 0);
         },
         [&] {
             ASSERT_TRUE(RemoveFile(m_folder));
             ASSERT_EQ(::rename(aside.c_str(), m_folder.c_str()), 0);
         },
         refused + " cannot be opened: too many levels of symbolic links."},
        {"a folder this user may not enter", [&] { ASSERT_EQ(::chmod(m_folder.c_str(), 0600), 0); },
         [&] { ASSERT_EQ(::chmod(m_folder.c_str(), 0755), 0); },
         refused + " cannot be entered, because you may not search it. Ask its owner, " + me + ", to let you in."},
        {"a folder on the way this user may not enter", [&] { ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0600), 0); },
         [&] { ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0); },
         refused + " cannot be reached, because you may not enter " + m_dir.Path() + ". Ask its owner, " + me +
             ", to let you in."},
    };
    const test::TFolderBytes before = test::ReadFolderTree(m_folder, true);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        row.make();
        const std::string said = test::AsAnOrdinaryUser([&] {
            test::TScriptedReport script;
            TProject project;
            std::string text = project.Load((row.folder.empty() ? m_folder : row.folder) + "/p.tpj") ? "opened" : "";
            for (const std::string& message : script.Messages())
                text += message;
            return text;
        });
        row.undo();
        EXPECT_EQ(said, row.said);
        EXPECT_TRUE(test::ReadFolderTree(m_folder, true) == before);
    }
}

// A read-only mount of a project folder, with its lock file: the project opens, offers no
// change of it, and nothing in it changes.
TEST_F(ProjectFolderTest, AReadOnlyMountWithItsLockFileOpensWithNoChangeOffered)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root may mount a folder";
    MakeProject();
    const std::string mounted = m_dir.File("mounted");
    ASSERT_TRUE(MakeFolder(mounted));
    if (::mount(m_folder.c_str(), mounted.c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "this system lets no folder be mounted here: " << std::strerror(errno);
    struct TUnmount {
        std::string path;
        ~TUnmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mounted};
    ASSERT_EQ(::mount(nullptr, mounted.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
    ASSERT_TRUE(FileExists(mounted + "/" + TFolderLock::FileName()));
    const test::TFolderBytes before = test::ReadFolderTree(m_folder, true);
    test::TScriptedReport script;
    TProject project;
    g_pProject = &project;
    ASSERT_TRUE(project.Load(mounted + "/p.tpj"));
    EXPECT_FALSE(project.FolderCanBeWritten());
    project.SetModified(true);
    EXPECT_FALSE(project.Save());
    g_pProject = nullptr;
    EXPECT_EQ(script.Messages(),
              (std::vector<std::string>{"The project p opens, but no change of it can be written: its folder cannot be "
                                        "written: the folder or file is write-protected. Save Project As keeps the work "
                                        "in a new folder.",
                                        "The folder " + mounted +
                                            " of the project p cannot be written, so nothing was written. Save Project "
                                            "As keeps the work in a new folder."}));
    EXPECT_TRUE(test::ReadFolderTree(m_folder, true) == before);
}

// Where only the lock file can be locked (NFS), a second program that opens the project
// while its lock file is gone removes the files waiting for the project file as leftovers:
// the next Save names them, gives them up and writes nothing, and the Save after it works.
TEST_F(ProjectFolderTest, OnNFSWaitingFilesAnotherProgramRemovedAreNamedAndGivenUp)
{
    MakeProject();
    const std::string lockFile = m_folder + "/" + TFolderLock::FileName();
    test::TFileFaultScope nfs({test::LocksAsOnNFS()});
    test::TScriptedReport script;
    script.AllowDefaults();
    TProject project;
    g_pProject = &project;
    ASSERT_TRUE(project.Load(m_folder + "/p.tpj"));
    test::AddStoredImage(project, m_folder, "ax2", 2, 2, 7);
    const int images = project.m_pImageSet->GetCount();
    ASSERT_TRUE(project.Reconstruct3D(project.m_pImageSet->Images()));
    ASSERT_GT(project.m_pImageSet->GetCount(), images);
    std::vector<std::string> waiting;
    for (const TMRImage* image : *project.m_pImageSet)
        if (!FileExists(image->GetPath()))
            waiting.push_back(image->GetPath());
    ASSERT_FALSE(waiting.empty());
    std::sort(waiting.begin(), waiting.end());
    ASSERT_TRUE(RemoveFile(lockFile));
    EXPECT_EQ(test::AsUser(::geteuid(), ::getegid(), [&] {
                  TProject other;
                  return std::string(other.Load(m_folder + "/p.tpj") ? "opened" : "refused");
              }),
              "opened");
    script.Clear();
    EXPECT_FALSE(project.Save());
    std::string files;
    for (size_t i = 0; i < waiting.size(); ++i)
        files += (i == 0 ? "" : i + 1 == waiting.size() ? " and " : ", ") + waiting[i];
    EXPECT_EQ(script.Messages(),
              std::vector<std::string>{"The lock file " + lockFile +
                                       " of the project p was removed while the project was open, and another program "
                                       "has removed since what this program kept in " + m_folder +
                                       "/.vexara (the new files for " + files + ", which are given up), so nothing was "
                                       "written. Save Project As keeps the work in a new folder."});
    script.Clear();
    EXPECT_TRUE(project.Save());
    EXPECT_TRUE(script.Messages().empty()) << script.Messages().front();
    g_pProject = nullptr;
}
