// The file layer's injected faults, the folder moves that fall back where a file system
// lacks rename flags or hard links, and a folder swap killed at every step on both roads.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/TFile.h"
#include "platform/TFolderLock.h"
#include "platform/TFolderSwap.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/TestFiles.h"

using namespace vx;
using namespace vx::test;

namespace {

ino_t InodeOf(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

mode_t TypeOf(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

}  // namespace

// A fault strikes the chosen call among the kinds it watches, once or from there on, with
// its error; calls of other kinds pass and do not count.
TEST(FileFaults, StrikeTheChosenCallOfTheirKindsWithTheirError)
{
    TTempFolder dir;
    WriteBytes(dir.File("a"), "a");
    WriteBytes(dir.File("b"), "b");
    {
        TFileFaultScope fault({{kFileRename, EXDEV, 2}});
        EXPECT_TRUE(MakeFolder(dir.File("made")));
        EXPECT_EQ(RenameAt(AT_FDCWD, dir.File("a"), AT_FDCWD, dir.File("a2")), 0);
        EXPECT_FALSE(FileFaultStruck());
        EXPECT_EQ(RenameAt(AT_FDCWD, dir.File("b"), AT_FDCWD, dir.File("b2")), EXDEV);
        EXPECT_TRUE(FileFaultStruck());
        EXPECT_EQ(ReadBytes(dir.File("b")), "b");
        EXPECT_EQ(RenameAt(AT_FDCWD, dir.File("b"), AT_FDCWD, dir.File("b2")), 0) << "struck once only";
    }
    {
        TFileFaultScope fault({{kFileWrite, ENOSPC, 1, true}, {kFileWrite | kFileCreate, EIO, 1}});
        // The first fault of the list wins a call both strike.
        TFile file;
        EXPECT_FALSE(file.Open(dir.File("c"), TFile::Mode::Write));
        EXPECT_EQ(file.LastError(), EIO);
        ASSERT_TRUE(file.Open(dir.File("c"), TFile::Mode::Write));
        EXPECT_FALSE(file.WriteInt32(1));
        EXPECT_EQ(file.LastError(), ENOSPC);
        file.Close();
        EXPECT_FALSE(WriteFileAtomically(dir.File("b2"), "new"));
        EXPECT_EQ(ReadBytes(dir.File("b2")), "b");
    }
    EXPECT_FALSE(FileFaultStruck()) << "disarmed with its scope";
    EXPECT_TRUE(WriteFileAtomically(dir.File("b2"), "new"));
    {
        // A fault struck once only that meets another at one call strikes at its next: the
        // rename without flags after the renameat2 that a file system refused fails with it.
        TFileFault once{kFileRename | kFileRenameFlags, EIO, 0};
        once.atStep = true;
        TFileFaultScope fault({NoRenameFlags(), once});
        MakeFolder(dir.File("from"));
        errno = 0;
        EXPECT_FALSE(PutFolderInPlace(dir.File("from"), dir.File("to")));
        EXPECT_EQ(errno, EIO);
        EXPECT_TRUE(FolderExists(dir.File("from")));
        EXPECT_FALSE(FolderExists(dir.File("to")));
        EXPECT_TRUE(PutFolderInPlace(dir.File("from"), dir.File("to"))) << "struck once only";
    }
}

// Where removed files that are open stay (FUSE without hard_remove, NFS), a file this
// process holds open becomes a hidden file beside its name and keeps its folder; a closed
// one, or one open for its path alone, goes.
TEST(FileFaults, ARemovedOpenFileStaysHiddenWhereArmed)
{
    TTempFolder dir;
    const std::string folder = dir.File("held");
    MakeFolder(folder);
    for (const char* name : {"open", "closed", "path"})
        WriteBytes(folder + "/" + name, name);
    TFile open;
    ASSERT_TRUE(open.Open(folder + "/open", TFile::Mode::Read));
    const int path = ::open((folder + "/path").c_str(), O_PATH | O_CLOEXEC);
    TFileFaultScope fault({OpenFilesStayHidden()});
    errno = 0;
    EXPECT_FALSE(RemoveFolderTree(folder));
    EXPECT_EQ(errno, ENOTEMPTY);
    const std::vector<std::string> names = FolderNames(folder);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(names[0].starts_with(".fuse_hidden")) << names[0];
    EXPECT_EQ(ReadBytes(folder + "/" + names[0]), "open");
    ::close(path);
}

// Without rename flags a folder still goes to a free place, in one plain rename; an
// occupied place is refused with the error that says the exchange is missing, and a file
// there is never replaced, with or without the flags.
TEST(Files, PutFolderInPlaceWithoutRenameFlags)
{
    TTempFolder dir;
    const std::string from = dir.File("from"), to = dir.File("to");
    // Each error a file system gives for flags it does not take (NFS, CIFS, FUSE).
    for (const int unsupported : {0, EINVAL, ENOSYS, EOPNOTSUPP}) {
        const bool flags = unsupported == 0;
        SCOPED_TRACE(flags ? "with rename flags" : "rename flags failing with " + std::to_string(unsupported));
        RemoveFolderTree(to);
        MakeFolder(from);
        WriteBytes(from + "/f", "new");
        WriteBytes(dir.File("file"), "a file");
        TFileFaultScope fault(flags ? std::vector<TFileFault>{}
                                    : std::vector<TFileFault>{{kFileRenameFlags, unsupported, 1, true}});
        ASSERT_TRUE(PutFolderInPlace(from, to));
        EXPECT_EQ(ReadBytes(to + "/f"), "new");
        EXPECT_FALSE(FolderExists(from));

        MakeFolder(from);
        WriteBytes(from + "/f", "newer");
        errno = 0;
        const bool exchanged = PutFolderInPlace(from, to);
        EXPECT_EQ(exchanged, flags);
        if (!flags) {
            EXPECT_TRUE(IsUnsupportedRenameFlag(errno)) << errno;
        }
        EXPECT_EQ(ReadBytes(to + "/f"), flags ? "newer" : "new");
        EXPECT_EQ(ReadBytes(from + "/f"), flags ? "new" : "newer");

        errno = 0;
        EXPECT_FALSE(PutFolderInPlace(from, dir.File("file")));
        EXPECT_EQ(errno, EEXIST);
        EXPECT_EQ(ReadBytes(dir.File("file")), "a file");
        RemoveFolderTree(from);
    }
}

// Where a file cannot be linked it is carried as it is: a regular file copied with its
// permissions, a FIFO and a socket made anew (never read: that would block), a symbolic
// link as a link. A link refused for another reason, and a copy that fails, fail with
// their own error and leave no part of the file.
TEST(Files, LinkTreeIntoCarriesEveryKindOfFileWhereLinksFail)
{
    TTempFolder dir;
    const std::string from = dir.File("from");
    MakeFolder(from + "/sub");
    WriteBytes(from + "/notes.txt", "the user's notes");
    ::chmod((from + "/notes.txt").c_str(), 0640);
    // Of another group where this process may give it one (root): a copy keeps it.
    const gid_t group = ::getegid() == 65534 ? 65533 : 65534;
    const int notes = ::open((from + "/notes.txt").c_str(), O_RDONLY | O_CLOEXEC);
    const bool grouped = notes >= 0 && ::fchown(notes, uid_t(-1), group) == 0;
    ::close(notes);
    WriteBytes(from + "/sub/table.txt", "a table");
    ASSERT_EQ(::symlink("notes.txt", (from + "/link").c_str()), 0);
    ASSERT_EQ(::mkfifo((from + "/pipe").c_str(), 0600), 0);
    ASSERT_EQ(::mknod((from + "/socket").c_str(), S_IFSOCK | 0600, 0), 0);

    for (const int linkError : {0, EXDEV, EPERM, EMLINK, EOPNOTSUPP, ENOSYS}) {
        SCOPED_TRACE("links failing with " + std::to_string(linkError));
        const std::string to = dir.File("to");
        RemoveFolderTree(to);
        // In a child that an alarm ends, should a read of the FIFO block.
        EXPECT_FALSE(RunInChild([&] {
            ::alarm(20);
            TFileFaultScope fault(linkError ? std::vector<TFileFault>{{kFileLink, linkError, 1, true}}
                                            : std::vector<TFileFault>{});
            return LinkTreeInto(from, to);
        }));
        EXPECT_EQ(ReadBytes(to + "/notes.txt"), "the user's notes");
        EXPECT_EQ(ReadBytes(to + "/sub/table.txt"), "a table");
        EXPECT_EQ(InodeOf(to + "/notes.txt") == InodeOf(from + "/notes.txt"), linkError == 0);
        struct stat st {};
        ASSERT_EQ(::stat((to + "/notes.txt").c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0640u);
        EXPECT_EQ(st.st_gid, grouped ? group : ::getegid());
        EXPECT_EQ(TypeOf(to + "/link"), mode_t(S_IFLNK));
        EXPECT_EQ(std::filesystem::read_symlink(to + "/link").string(), "notes.txt");
        EXPECT_EQ(TypeOf(to + "/pipe"), mode_t(S_IFIFO));
        EXPECT_EQ(TypeOf(to + "/socket"), mode_t(S_IFSOCK));
    }

    // A special file that cannot be made again (a device, for a process without the right)
    // fails as well.
    struct FailureCase {
        const char* name;
        std::vector<TFileFault> faults;
        int error;
    };
    for (const FailureCase& c :
         {FailureCase{"notes.txt", {{kFileLink, EIO, 1, true}}, EIO},
          FailureCase{"notes.txt", {{kFileLink, EXDEV, 1, true}, {kFileWrite, ENOSPC, 1}}, ENOSPC},
          FailureCase{"notes.txt", {{kFileLink, EXDEV, 1, true}, {kFileWrite, EIO, 2}}, EIO},  // at the sync
          FailureCase{"notes.txt", {{kFileLink, EXDEV, 1, true}, {kFileOpenRead, EIO, 1}}, EIO},  // the copy's open
          FailureCase{"notes.txt", {{kFileLink, EXDEV, 1, true}, {kFileRead, EIO, 1}}, EIO},  // and read
          FailureCase{"pipe", {{kFileLink, EXDEV, 1, true}, {kFileCreate, EPERM, 1, true}}, EPERM},
          FailureCase{"link", {{kFileCreate, EROFS, 1}}, EROFS},
          FailureCase{"sub", {{kFileCreate, EDQUOT, 1}}, EDQUOT},
          FailureCase{"sub", {{kFileLink, EIO, 1}}, EIO}}) {
        SCOPED_TRACE(std::string(c.name) + " failing with " + std::to_string(c.error));
        const std::string to = dir.File("failed");
        RemoveFolderTree(to);
        TFileFaultScope fault(c.faults);
        errno = 0;
        EXPECT_FALSE(LinkTreeInto(from + "/" + c.name, to));
        EXPECT_EQ(errno, c.error);
        EXPECT_EQ(TypeOf(to), mode_t(0)) << "nothing left of the file";
    }

    // A folder that cannot be read (for a user without the right to) fails the same way.
    ::chmod(dir.Path().c_str(), 0777);
    MakeFolder(from + "/locked");
    ::chmod((from + "/locked").c_str(), 0);
    EXPECT_EQ(AsAnOrdinaryUser([&] {
                  errno = 0;
                  const bool linked = LinkTreeInto(from + "/locked", dir.File("locked"));
                  const int error = errno;
                  return std::to_string(linked) + " " + std::to_string(error) + " " +
                         std::to_string(TypeOf(dir.File("locked")));
              }),
              "0 " + std::to_string(EACCES) + " 0");
}

namespace {

// A folder "s" holding an earlier content and what the user kept beside it, and a swap
// that replaces the content as a run does.
class FolderSwapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeFolder(m_pristine + "/s/exports");
        WriteBytes(m_pristine + "/s/content.txt", "old");
        WriteBytes(m_pristine + "/s/own.txt", "the old content's own file");
        WriteBytes(m_pristine + "/s/notes.txt", "the user's notes");
        WriteBytes(m_pristine + "/s/exports/table.txt", "a table");
    }
    // The files of `s` with the user's, holding `content`.
    static TFolderBytes Whole(const std::string& content)
    {
        TFolderBytes files{{"content.txt", content},
                           {"notes.txt", "the user's notes"},
                           {"exports/table.txt", "a table"}};
        if (content == "old")
            files["own.txt"] = "the old content's own file";
        return files;
    }
    // Holds the folder, mends, builds the new content and puts it in place; false at the
    // first failure.
    bool Swap()
    {
        TFolderSwap swap(m_folder);
        TTreeFailure failed;
        return (!FolderExists(m_folder) || swap.LockFolder() == TFolderLock::TResult::Held) &&
               swap.MendLeftovers() == TFolderSwap::TMend::Done && swap.MakeBuild() &&
               WriteFileAtomically(swap.BuildFolder() + "/content.txt", "new") &&
               swap.KeepEntriesBeside({"own.txt", TFolderLock::FileName()}, failed) && swap.PutInPlace();
    }

    TTempFolder m_dir;
    const std::string m_pristine = m_dir.File("pristine"), m_root = m_dir.File("root"), m_folder = m_root + "/s";
};

}  // namespace

// Killed at every step, with or without the exchange: the folder holds its old or its new
// content with the user's files, or (only without the exchange) it is aside while the new
// one is not yet in; the next swap mends and completes it, leaving no hidden folder.
TEST_F(FolderSwapTest, AKillAtEveryStepOnBothRoadsLosesNothing)
{
    for (const bool flags : {true, false}) {
        SCOPED_TRACE(flags ? "folders exchanged" : "no rename flags");
        int olds = 0, news = 0, aside = 0;
        for (int killAt = 1; killAt < 200; ++killAt) {
            SCOPED_TRACE("killed at step " + std::to_string(killAt));
            RestoreFolder(m_pristine, m_root);
            const bool killed = RunInChild([&] {
                TFileFaultScope fault(flags ? std::vector<TFileFault>{} : std::vector<TFileFault>{NoRenameFlags()});
                KillAtStep(killAt);
                return Swap();
            });
            const TFolderSwap swap(m_folder);
            if (!FolderExists(m_folder)) {
                ++aside;
                EXPECT_EQ(ReadFolderTree(swap.RetiredFolder()), Whole("old"));
            } else if (ReadFolderTree(m_folder) == Whole("old")) {
                EXPECT_EQ(news, 0) << "the old content after the new one";
                ++olds;
            } else {
                EXPECT_EQ(ReadFolderTree(m_folder), Whole("new"));
                ++news;
            }
            // The next swap, on a file system that has the flags or not.
            TFileFaultScope fault(flags ? std::vector<TFileFault>{} : std::vector<TFileFault>{NoRenameFlags()});
            ASSERT_TRUE(Swap());
            EXPECT_EQ(ReadFolderTree(m_folder), Whole("new"));
            EXPECT_EQ(FolderNames(m_root), std::vector<std::string>{"s"}) << "a hidden folder left";
            if (!killed)
                break;
        }
        EXPECT_GT(olds, 2);
        EXPECT_GT(news, 0);
        EXPECT_EQ(aside, flags ? 0 : 1) << "the step between the two renames";
    }
}

// A failure on either road leaves the folder as it was and says why: the error of the
// call that failed, never one of a later look at the folders.
TEST_F(FolderSwapTest, AFailedPutLeavesTheFolderAsItWasWithItsError)
{
    struct FailCase {
        const char* what;
        std::vector<TFileFault> faults;
        int error;
    };
    for (const FailCase& c : {FailCase{"the exchange", {{kFileRenameFlags, EIO, 1}}, EIO},
                              FailCase{"the step aside", {NoRenameFlags(), {kFileRename, EACCES, 1}}, EACCES},
                              FailCase{"the move in", {NoRenameFlags(), {kFileRename, ENOSPC, 2}}, ENOSPC},
                              FailCase{"the move in and back", {NoRenameFlags(), {kFileRename, EIO, 2, true}}, EIO},
                              // A look that fails is told as what it is, never as a folder
                              // there (EEXIST) or one another program put there (ESTALE).
                              FailCase{"the look at the folder held", {{kFileStat, EIO, 1}}, EIO},
                              FailCase{"the look at the mark", {{kFileStat, EIO, 2}}, EIO},
                              FailCase{"the look at the place of the exchange", {{kFileStat, EIO, 4}}, EIO},
                              FailCase{"the look after the exchange", {{kFileStat, EIO, 5}}, EIO},
                              FailCase{"the look aside", {NoRenameFlags(), {kFileStat, EIO, 6}}, EIO}}) {
        SCOPED_TRACE(c.what);
        RestoreFolder(m_pristine, m_root);
        TFolderSwap swap(m_folder);
        ASSERT_EQ(swap.LockFolder(), TFolderLock::TResult::Held);
        ASSERT_TRUE(swap.MakeBuild());
        WriteBytes(swap.BuildFolder() + "/content.txt", "new");
        {
            TFileFaultScope fault(c.faults);
            errno = 0;
            EXPECT_FALSE(swap.PutInPlace());
            EXPECT_EQ(errno, c.error);
        }
        // A folder that could not even go back waits aside for the next swap's mending.
        if (!FolderExists(m_folder)) {
            EXPECT_EQ(ReadFolderTree(swap.RetiredFolder()), Whole("old"));
            EXPECT_EQ(swap.MendLeftovers(), TFolderSwap::TMend::Done);
        }
        EXPECT_EQ(ReadFolderTree(m_folder), Whole("old"));
        for (const std::string& name : FolderNames(m_root))
            EXPECT_TRUE(name == "s" || name == ".s.batch") << name << " left beside the folder";
    }
}

// Mending that fails says why and loses nothing: an earlier folder aside that cannot be
// put back stays aside, a build folder that can neither be renamed away nor removed stays
// for the next time. Once renamed away, one that cannot be removed costs nothing: a later
// mending removes it.
TEST_F(FolderSwapTest, MendingThatFailsKeepsWhatItFound)
{
    RestoreFolder(m_pristine, m_root);
    TFolderSwap swap(m_folder);
    ASSERT_EQ(std::rename(m_folder.c_str(), swap.RetiredFolder().c_str()), 0);
    MakeFolder(swap.BuildFolder());
    for (const TFileFault& failure : {TFileFault{kFileRenameFlags, EIO, 1}, TFileFault{kFileRename | kFileRemove, EIO, 1, true}}) {
        TFileFaultScope fault({failure});
        errno = 0;
        EXPECT_EQ(swap.MendLeftovers(), TFolderSwap::TMend::Failed);
        EXPECT_EQ(errno, failure.error);
        EXPECT_TRUE(FolderExists(swap.BuildFolder()));
    }
    EXPECT_EQ(ReadFolderTree(m_folder), Whole("old")) << "put back before the removal failed";
    {
        TFileFaultScope fault({{kFileRemove, EBUSY, 1, true}});
        EXPECT_EQ(swap.MendLeftovers(), TFolderSwap::TMend::Done);
    }
    // The build folder waits to be removed in the folder that carried it away, beside the
    // one the try whose renames failed left empty.
    EXPECT_FALSE(FolderExists(swap.BuildFolder()));
    EXPECT_EQ(FolderNames(m_root).size(), 3u);
    EXPECT_EQ(swap.MendLeftovers(), TFolderSwap::TMend::Done);
    EXPECT_EQ(FolderNames(m_root), std::vector<std::string>{"s"});

    // The mark that tells whether an earlier folder aside may go, when the disk fails to
    // give it, stays with that folder for the next mending, which then reads it.
    const std::string mark = swap.BuildFolder() + "-swap";
    ASSERT_TRUE(MakeFolder(swap.RetiredFolder()));
    WriteBytes(mark, "not this swap's");
    {
        TFileFaultScope fault({{kFileRead, EIO, 1}});
        errno = 0;
        EXPECT_EQ(swap.MendLeftovers(), TFolderSwap::TMend::Failed);
        EXPECT_EQ(errno, EIO);
    }
    EXPECT_TRUE(FileExists(mark));
    // Read, but not removed: the mending fails, and the mark waits for the next.
    {
        TFileFaultScope fault({{kFileRemove, EIO, 1}});
        errno = 0;
        EXPECT_EQ(swap.MendLeftovers(), TFolderSwap::TMend::Failed);
        EXPECT_EQ(errno, EIO);
    }
    EXPECT_TRUE(FileExists(mark));
    EXPECT_EQ(swap.MendLeftovers(), TFolderSwap::TMend::Done);
    EXPECT_FALSE(FileExists(mark));
    EXPECT_TRUE(FolderExists(swap.RetiredFolder())) << "kept beside a folder no swap put in its place";
    // What is no file at the mark's name is none of a swap's mark, and no failing disk.
    ASSERT_EQ(::mkfifo(mark.c_str(), 0600), 0);
    EXPECT_EQ(swap.MendLeftovers(), TFolderSwap::TMend::Done);
    EXPECT_TRUE(FolderExists(swap.RetiredFolder()));
    // A look at any name that fails is never taken for nothing there: the mending fails
    // with its error, the folder aside and the mark stay, until a mending sees them.
    WriteBytes(mark, "not this swap's");
    for (int at = 1;; ++at) {
        SCOPED_TRACE("a look failing at " + std::to_string(at));
        TFileFaultScope fault({{kFileStat, EIO, at}});
        errno = 0;
        const TFolderSwap::TMend mended = swap.MendLeftovers();
        if (!FileFaultStruck()) {
            EXPECT_EQ(mended, TFolderSwap::TMend::Done);
            EXPECT_GT(at, 5);
            break;
        }
        EXPECT_EQ(mended, TFolderSwap::TMend::Failed);
        EXPECT_EQ(errno, EIO);
        EXPECT_TRUE(FileExists(mark));
        EXPECT_TRUE(FolderExists(swap.RetiredFolder()));
    }
    EXPECT_FALSE(FileExists(mark));
}

// What another swap holds is its own: a build folder or an earlier folder aside that a
// lock holds is neither removed nor put back. What another user made is theirs: their
// build folder, a file or link of theirs at the swap's mark.
TEST_F(FolderSwapTest, MendingLeavesTheHiddenFoldersOfAnotherSwap)
{
    RestoreFolder(m_pristine, m_root);
    TFolderSwap swap(m_folder);
    MakeFolder(swap.BuildFolder());
    TFolderLock other;
    ASSERT_EQ(other.Acquire(swap.BuildFolder()), TFolderLock::TResult::Held);
    EXPECT_EQ(swap.MendLeftovers(), TFolderSwap::TMend::Busy);
    EXPECT_TRUE(FolderExists(swap.BuildFolder()));

    ASSERT_EQ(std::rename(m_folder.c_str(), swap.RetiredFolder().c_str()), 0);
    ASSERT_EQ(other.Acquire(swap.RetiredFolder()), TFolderLock::TResult::Held);
    EXPECT_EQ(swap.MendLeftovers(), TFolderSwap::TMend::Busy);
    EXPECT_FALSE(FolderExists(m_folder));
    other.Release();
    EXPECT_EQ(swap.MendLeftovers(), TFolderSwap::TMend::Done);
    EXPECT_EQ(ReadFolderTree(m_folder), Whole("old"));
    EXPECT_EQ(FolderNames(m_root), std::vector<std::string>{"s"});

    // Another user's swap in a shared folder, whose build this user may not write (nor so
    // see its lock): the build stays where it is, left to the user who made it.
    MakeFolder(swap.BuildFolder());
    ASSERT_EQ(other.Acquire(swap.BuildFolder()), TFolderLock::TResult::Held);
    ::chmod(m_dir.Path().c_str(), 0755);
    ::chmod(m_root.c_str(), 0777);
    ::chmod(swap.BuildFolder().c_str(), 0555);
    EXPECT_EQ(AsAnOrdinaryUser([&] {
                  TFolderSwap theirs(m_folder);
                  const bool left = theirs.MendLeftovers() == TFolderSwap::TMend::AnotherUsers;
                  return std::to_string(left) + " " + theirs.LeftToItsOwner().path + " " +
                         std::to_string(theirs.LeftToItsOwner().owner) + " " +
                         std::to_string(FolderExists(swap.BuildFolder()));
              }),
              "1 " + swap.BuildFolder() + " " + std::to_string(::geteuid()) + " 1");
    EXPECT_EQ(FolderNames(m_root), (std::vector<std::string>{".s.batch", "s"}));
    ::chmod(swap.BuildFolder().c_str(), 0755);

    // Root against uid 65534, and 65534 against 65533.
    other.Release();
    std::filesystem::remove_all(swap.BuildFolder());
    const std::string mark = swap.BuildFolder() + "-swap";
    for (const auto& [runner, owner] : {std::pair<uid_t, uid_t>{0, 65534}, std::pair<uid_t, uid_t>{65534, 65533}}) {
        for (const bool link : {false, true}) {
            SCOPED_TRACE(std::to_string(runner) + " against a " + (link ? "link" : "file") + " of " +
                         std::to_string(owner));
            std::filesystem::remove(mark);
            if (link) {
                ASSERT_EQ(::symlink("s/notes.txt", mark.c_str()), 0);
            } else {
                WriteBytes(mark, "theirs");
            }
            ASSERT_EQ(::lchown(mark.c_str(), owner, owner), 0);
            EXPECT_EQ(AsUser(runner, runner, [&] {
                          TFolderSwap mine(m_folder);
                          const bool left = mine.MendLeftovers() == TFolderSwap::TMend::AnotherUsers;
                          return std::to_string(left) + " " + mine.LeftToItsOwner().path + " " +
                                 std::to_string(mine.LeftToItsOwner().owner);
                      }),
                      "1 " + mark + " " + std::to_string(owner));
            struct stat st {};
            EXPECT_TRUE(::lstat(mark.c_str(), &st) == 0 && st.st_uid == owner && (link || ReadBytes(mark) == "theirs"));
            EXPECT_EQ(TypeOf(mark), link ? S_IFLNK : S_IFREG);
        }
    }
}

// Another user who may write the folder's parent exchanges the build folder with a link to
// a folder of the same names, at each step of keeping the user's files and putting the
// build in place, on both roads: nothing in the linked folder changes, and the folder
// holds its old content or the new one.
TEST_F(FolderSwapTest, ABuildExchangedWithALinkAtAnyStepLeadsNothingIntoTheLinkedFolder)
{
    const std::string other = m_dir.File("other");
    RestoreFolder(m_pristine + "/s", other);
    ::chmod((other + "/exports").c_str(), 0700);
    const TFolderBytes others = ReadFolderTree(other);
    for (const bool flags : {true, false}) {
        SCOPED_TRACE(flags ? "folders exchanged" : "no rename flags");
        int refused = 0;
        for (int at = 1;; ++at) {
            SCOPED_TRACE("exchanged at step " + std::to_string(at));
            RestoreFolder(m_pristine, m_root);
            TFileFaultScope fault(flags ? std::vector<TFileFault>{} : std::vector<TFileFault>{NoRenameFlags()});
            TFolderSwap swap(m_folder);
            ASSERT_EQ(swap.LockFolder(), TFolderLock::TResult::Held);
            ASSERT_TRUE(swap.MakeBuild());
            WriteBytes(swap.BuildFolder() + "/content.txt", "new");
            int steps = 0;
            TFile::SetStepHook([&] {
                if (++steps == at)
                    PutLinkAt(swap.BuildFolder(), other);
            });
            TTreeFailure failed;
            const bool put = swap.KeepEntriesBeside({"own.txt", TFolderLock::FileName()}, failed) && swap.PutInPlace();
            TFile::SetStepHook({});
            EXPECT_EQ(ReadFolderTree(other), others);
            EXPECT_EQ(ReadFolderTree(m_folder), Whole(put ? "new" : "old"));
            refused += !put;
            if (steps < at)
                break;
        }
        EXPECT_GT(refused, 2);
    }
}

// A link at the swap's mark, there before it is written or put there again after its
// name was cleared, is never written through: the file it names keeps its text, and the
// folder is replaced, or (refused at the second) left as it was. Another user's link there
// before stays, and the folder is left as it was.
TEST_F(FolderSwapTest, ALinkAtTheMarkIsNeverWrittenThrough)
{
    const std::string named = m_dir.File("named.txt"), mark = m_root + "/.s.batch-swap";
    for (const char* when : {"there before", "put there again", "another user's there before"}) {
        SCOPED_TRACE(when);
        const bool again = when[0] == 'p', theirs = when[0] == 'a';
        if (theirs && ::geteuid() != 0)
            continue;  // another user's link is had only by root
        RestoreFolder(m_pristine, m_root);
        WriteBytes(named, "another user's");
        TFolderSwap swap(m_folder);
        ASSERT_EQ(swap.LockFolder(), TFolderLock::TResult::Held);
        ASSERT_TRUE(swap.MakeBuild());
        WriteBytes(swap.BuildFolder() + "/content.txt", "new");
        PutLinkAt(mark, named);
        if (theirs) {
            ASSERT_EQ(::lchown(mark.c_str(), 65534, 65534), 0);
        }
        SetBeforeUseHook([&](const std::string& path) {
            if (again && path == mark)
                PutLinkAt(mark, named);
        });
        errno = 0;
        EXPECT_EQ(swap.PutInPlace(), !again && !theirs);
        EXPECT_EQ(errno, again ? EEXIST : theirs ? EPERM : 0);
        SetBeforeUseHook({});
        EXPECT_EQ(ReadBytes(named), "another user's");
        EXPECT_EQ(ReadBytes(m_folder + "/content.txt"), again || theirs ? "old" : "new");
        if (theirs) {
            EXPECT_EQ(swap.LeftToItsOwner().path, mark);
            EXPECT_EQ(TypeOf(mark), S_IFLNK);
        }
    }
}
