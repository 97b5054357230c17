// Several files replaced and removed as one: nothing changes before the journal, a
// rename that fails after it leaves the journal, which Recover() completes; a staged file
// lost before it was put in place makes the journal damaged.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/FileFaults.h"
#include "platform/Files.h"
#include "platform/TFile.h"
#include "platform/TFileTransaction.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

// Begins a file of the transaction that is to replace target with the text.
bool WriteInTransaction(TFileTransaction& transaction, const std::string& target, const std::string& text)
{
    TAtomicFile out;
    return out.Begin(target, &transaction) && out.File().WriteText(text) && out.Commit();
}

// Files "a", "b" and "c" holding "old a", "old b" and "old c", and a transaction of the
// folder that has written "new a" and "new b" for the first two and removes "c".
void WriteNewFiles(const test::TTempFolder& dir, TFileTransaction& transaction)
{
    for (const char* name : {"a", "b", "c"})
        test::WriteBytes(dir.File(name), std::string("old ") + name);
    for (const char* name : {"a", "b"})
        ASSERT_TRUE(WriteInTransaction(transaction, dir.File(name), std::string("new ") + name));
    transaction.Remove(dir.File("c"));
}

std::string WorkFolder(const test::TTempFolder& dir) { return TFileTransaction::WorkFolderOf(dir.Path()); }
std::string Journal(const test::TTempFolder& dir) { return TFileTransaction::JournalPathOf(dir.Path()); }

// Stops a commit by an exception at the step after `steps` steps.
struct TStop {};
void StopAfter(int steps)
{
    TFile::SetStepHook([count = 0, steps]() mutable {
        if (++count > steps)
            throw TStop{};
    });
}

class FileTransaction : public ::testing::Test {
protected:
    void TearDown() override
    {
        TFile::SetStepHook({});
        SetBeforeRightsHook({});
        TFileTransaction::FailFolderSyncs(false);
    }
    test::TTempFolder m_dir;
};

}  // namespace

TEST_F(FileTransaction, TargetsChangeTogetherOrNotAtAll)
{
    test::TTempFolder& dir = m_dir;
    {
        // Given up: the staged files go, the targets stay.
        TFileTransaction transaction(dir.Path());
        WriteNewFiles(dir, transaction);
        EXPECT_EQ(test::ReadBytes(dir.File("a")), "old a");
        EXPECT_EQ(test::FolderNames(WorkFolder(dir)).size(), 2u);
    }
    EXPECT_EQ(test::FolderNames(dir.Path()), (std::vector<std::string>{".vexara", "a", "b", "c"}));
    EXPECT_EQ(test::FolderNames(WorkFolder(dir)), std::vector<std::string>{});
    {
        // A target outside the folder is refused before anything is renamed or removed.
        ASSERT_TRUE(MakeFolder(dir.File("sub")));
        TFileTransaction transaction(dir.Path());
        ASSERT_TRUE(WriteInTransaction(transaction, dir.File("a"), "new a"));
        ASSERT_TRUE(WriteInTransaction(transaction, dir.File("sub/c"), "new c"));
        transaction.Remove(dir.File("b"));
        EXPECT_FALSE(transaction.Commit());
        EXPECT_EQ(transaction.FailedPath(), dir.File("sub/c"));
        EXPECT_FALSE(transaction.LeftJournal());
        EXPECT_EQ(test::FolderNames(dir.File("sub")), std::vector<std::string>{});
        EXPECT_EQ(test::ReadBytes(dir.File("a")), "old a");
        EXPECT_EQ(test::ReadBytes(dir.File("b")), "old b");
        EXPECT_EQ(test::FolderNames(WorkFolder(dir)), std::vector<std::string>{});
    }
    TFileTransaction transaction(dir.Path());
    WriteNewFiles(dir, transaction);
    ASSERT_TRUE(transaction.Commit());
    EXPECT_EQ(test::ReadBytes(dir.File("a")), "new a");
    EXPECT_EQ(test::ReadBytes(dir.File("b")), "new b");
    EXPECT_EQ(test::FolderNames(dir.Path()), (std::vector<std::string>{".vexara", "a", "b", "sub"}));
    EXPECT_EQ(test::FolderNames(WorkFolder(dir)), std::vector<std::string>{});
}

TEST_F(FileTransaction, ARenameThatFailsAfterTheJournalIsCompletedLater)
{
    test::TTempFolder& dir = m_dir;
    TFileTransaction transaction(dir.Path());
    WriteNewFiles(dir, transaction);
    // Once "a" is renamed, a folder takes the place of "b".
    TFile::SetStepHook([&] {
        if (test::ReadBytes(dir.File("a")) == "new a" && FileExists(dir.File("b"))) {
            RemoveFile(dir.File("b"));
            MakeFolder(dir.File("b"));
        }
    });
    EXPECT_FALSE(transaction.Commit());
    TFile::SetStepHook({});
    EXPECT_EQ(transaction.FailedPath(), dir.File("b"));
    EXPECT_TRUE(transaction.LeftJournal());
    EXPECT_TRUE(FileExists(Journal(dir)));
    EXPECT_EQ(test::ReadBytes(dir.File("c")), "old c");

    // While the way is blocked the journal stays, and no other change may take its place;
    // then it is completed and goes.
    EXPECT_EQ(TFileTransaction::Recover(Journal(dir)), TFileTransaction::TRecovery::Damaged);
    TFileTransaction other(dir.Path());
    ASSERT_TRUE(WriteInTransaction(other, dir.File("a"), "other a"));
    EXPECT_FALSE(other.Commit());
    EXPECT_FALSE(other.LeftJournal());
    EXPECT_EQ(test::ReadBytes(dir.File("a")), "new a");
    ASSERT_TRUE(RemoveFile(dir.File("b")));
    EXPECT_EQ(TFileTransaction::Recover(Journal(dir)), TFileTransaction::TRecovery::Completed);
    EXPECT_EQ(test::ReadBytes(dir.File("b")), "new b");
    EXPECT_EQ(test::FolderNames(dir.Path()), (std::vector<std::string>{".vexara", "a", "b"}));
    EXPECT_EQ(test::FolderNames(WorkFolder(dir)), std::vector<std::string>{});
    EXPECT_EQ(TFileTransaction::Recover(Journal(dir)), TFileTransaction::TRecovery::None);
}

// The journal names the files and holds digests of their contents: it takes the rights of
// the project's file, as the new files do, not the umask's.
TEST_F(FileTransaction, TheJournalIsReadByThoseWhoMayReadTheProjectAlone)
{
    test::WriteBytes(m_dir.File("p.tpj"), "project");
    ASSERT_EQ(::chmod(m_dir.File("p.tpj").c_str(), 0640), 0);
    const mode_t mask = ::umask(022);
    TFileTransaction transaction(m_dir.Path());
    transaction.NewFilesTakeRightsOf(m_dir.File("p.tpj"));
    WriteNewFiles(m_dir, transaction);
    mode_t seen = 0;
    TFile::SetStepHook([&] {
        struct stat st {};
        if (seen == 0 && ::lstat(Journal(m_dir).c_str(), &st) == 0)
            seen = st.st_mode & 07777;
    });
    EXPECT_TRUE(transaction.Commit());
    ::umask(mask);
    EXPECT_EQ(seen, 0640u);
}

TEST_F(FileTransaction, RecoverTellsAStagedFileAlreadyInPlaceFromALostOne)
{
    // Stopped after the journal and the first rename: "a" is new, "b" old, "c" there.
    const auto stopAfterFirstRename = [&] {
        TFileTransaction transaction(m_dir.Path());
        WriteNewFiles(m_dir, transaction);
        // The journal's own file: made, completed, renamed; then the rename of "a".
        StopAfter(3);
        EXPECT_THROW(transaction.Commit(), TStop);
        TFile::SetStepHook({});
        ASSERT_EQ(test::ReadBytes(m_dir.File("a")), "new a");
        ASSERT_EQ(test::ReadBytes(m_dir.File("b")), "old b");
    };
    stopAfterFirstRename();
    EXPECT_EQ(TFileTransaction::Recover(Journal(m_dir)), TFileTransaction::TRecovery::Completed);
    EXPECT_EQ(test::ReadBytes(m_dir.File("a")), "new a");
    EXPECT_EQ(test::ReadBytes(m_dir.File("b")), "new b");
    EXPECT_FALSE(FileExists(m_dir.File("c")));
    EXPECT_EQ(test::FolderNames(WorkFolder(m_dir)), std::vector<std::string>{});

    // The staged "b" is lost while "b" is still the old file: completing the rest would
    // leave a mix, so nothing is touched.
    stopAfterFirstRename();
    for (const std::string& name : test::FolderNames(WorkFolder(m_dir))) {
        if (name != "journal") {
            ASSERT_TRUE(RemoveFile(WorkFolder(m_dir) + "/" + name));
        }
    }
    EXPECT_EQ(TFileTransaction::Recover(Journal(m_dir)), TFileTransaction::TRecovery::Damaged);
    EXPECT_TRUE(FileExists(Journal(m_dir)));
    EXPECT_EQ(test::ReadBytes(m_dir.File("b")), "old b");
    EXPECT_EQ(test::ReadBytes(m_dir.File("c")), "old c");
}

// The work folder is made private and given the folder's rights on its own descriptor, once
// it is known to be the folder made: a link, or another folder, put in its place in that
// moment is neither followed nor changed, and the transaction stages nothing in it.
TEST_F(FileTransaction, AWorkFolderReplacedAsItIsMadeIsNeitherChangedNorUsed)
{
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0775), 0);
    const std::string work = WorkFolder(m_dir);
    for (const bool link : {true, false}) {
        test::TTempFolder other;
        const std::string victim = other.File("private");
        ASSERT_TRUE(MakeFolder(victim));
        ASSERT_EQ(::chmod(victim.c_str(), 0700), 0);
        SetBeforeRightsHook([&](const std::string& made) {
            if (made != work)
                return;
            ASSERT_EQ(::rename(work.c_str(), m_dir.File("away").c_str()), 0);
            ASSERT_EQ(link ? ::symlink(victim.c_str(), work.c_str()) : ::rename(victim.c_str(), work.c_str()), 0);
        });
        TFileTransaction transaction(m_dir.Path());
        EXPECT_FALSE(WriteInTransaction(transaction, m_dir.File("a"), "new a")) << link;
        EXPECT_EQ(transaction.FailedPath(), work);
        EXPECT_TRUE(transaction.FailedCall() == TFileTransaction::TCall::WriteWorkFolder);
        struct stat st {};
        ASSERT_EQ(::stat(link ? victim.c_str() : work.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0700u) << link;
        EXPECT_TRUE(test::ListedEntries(link ? victim : work).empty()) << link;
        SetBeforeRightsHook({});
        ASSERT_TRUE(RemoveFolderTree(work));
        ASSERT_TRUE(RemoveFolderTree(m_dir.File("away")));
    }
    // Nor is a link that stood at its name before.
    {
        test::TTempFolder other;
        ASSERT_EQ(::symlink(other.Path().c_str(), work.c_str()), 0);
        TFileTransaction transaction(m_dir.Path());
        EXPECT_FALSE(WriteInTransaction(transaction, m_dir.File("a"), "new a"));
        EXPECT_TRUE(transaction.FailedCall() == TFileTransaction::TCall::WriteWorkFolder);
        EXPECT_TRUE(test::ListedEntries(other.Path()).empty());
        ASSERT_EQ(::unlink(work.c_str()), 0);
    }
    // One that cannot be given its rights is not left private to this user.
    {
        test::TFileFaultScope faults({{kFileRights, EIO, 1, true}});
        TFileTransaction transaction(m_dir.Path());
        EXPECT_FALSE(WriteInTransaction(transaction, m_dir.File("a"), "new a"));
        EXPECT_EQ(transaction.FailedPath() + " " + std::to_string(transaction.FailedError()),
                  work + " " + std::to_string(EIO));
    }
    EXPECT_FALSE(FolderExists(work));
    {
        // A folder that shows the project folder's owner and mode where the private one was
        // made is not taken for it on a file system that keeps Unix rights, as one that keeps
        // none would show it (its own test mounts one): another user may give a folder of
        // theirs that look.
        TFile::SetStepHook([&] { ::chmod(work.c_str(), 0775); });
        test::TFileFaultScope faults({{kFileRights, EPERM, 2}});  // its ACL refused
        TFileTransaction transaction(m_dir.Path());
        EXPECT_FALSE(WriteInTransaction(transaction, m_dir.File("a"), "new a"));
        EXPECT_EQ(transaction.FailedError(), ESTALE);
        TFile::SetStepHook({});
        ASSERT_TRUE(RemoveFolderTree(work));
    }

    // Nor one exchanged with a link to another folder at any step of a change (as another
    // user who may write the folder can, renameat2 with RENAME_EXCHANGE): nothing lands in
    // that folder or leaves it, and the change is made whole or not at all.
    for (int at = 1, steps = 1; steps >= at - 1; ++at) {
        SCOPED_TRACE(at);
        const test::TTempFolder dir, other;
        test::WriteBytes(other.File("journal"), "private");
        ASSERT_EQ(::symlink(other.Path().c_str(), dir.File("link").c_str()), 0);
        steps = 0;
        TFile::SetStepHook([&] {
            if (++steps == at) {
                ASSERT_EQ(::renameat2(AT_FDCWD, dir.File("link").c_str(), AT_FDCWD, WorkFolder(dir).c_str(),
                                      RENAME_EXCHANGE), 0);
            }
        });
        for (const char* name : {"a", "b", "c"})
            test::WriteBytes(dir.File(name), std::string("old ") + name);
        TFileTransaction transaction(dir.Path());
        const bool written = WriteInTransaction(transaction, dir.File("a"), "new a") &&
                             WriteInTransaction(transaction, dir.File("b"), "new b");
        transaction.Remove(dir.File("c"));
        const bool committed = written && transaction.Commit();
        TFile::SetStepHook({});
        EXPECT_EQ(test::FolderNames(other.Path()), std::vector<std::string>{"journal"});
        EXPECT_EQ(test::ReadBytes(other.File("journal")), "private");
        EXPECT_EQ(test::ReadBytes(dir.File("a")), committed ? "new a" : "old a");
        EXPECT_EQ(test::ReadBytes(dir.File("b")), committed ? "new b" : "old b");
        EXPECT_EQ(FileExists(dir.File("c")), !committed);
    }
}

TEST_F(FileTransaction, AJournalThatCannotBeMadeInFullChangesNothing)
{
    // The second removal meets a folder: the first is not made either.
    test::WriteBytes(m_dir.File("old.dat"), "old");
    ASSERT_TRUE(MakeFolder(WorkFolder(m_dir)));
    test::WriteBytes(Journal(m_dir), "Vexara file journal 2\nremove\told.dat\nremove\t.vexara\nend\n");
    TFileTransaction::TRecoveryFailure why;
    EXPECT_EQ(TFileTransaction::Recover(Journal(m_dir), &why), TFileTransaction::TRecovery::Damaged);
    EXPECT_EQ(test::ReadBytes(m_dir.File("old.dat")), "old");
    EXPECT_TRUE(FileExists(Journal(m_dir)));
    EXPECT_EQ(why.kind, TFileTransaction::TRecoveryFailure::TKind::Unwritable);
    EXPECT_EQ(why.path, WorkFolder(m_dir));
}

TEST_F(FileTransaction, AStagedFileCountsAsInPlaceOnlyWhenItSurelyIs)
{
    // A journal of layout 2: the target has the staged file's size and time, but its own
    // inode (a file saved again): the new file is lost, and nothing changes.
    test::WriteBytes(m_dir.File("a"), "old a");
    test::WriteBytes(m_dir.File("c"), "old c");
    struct stat st {};
    ASSERT_EQ(::stat(m_dir.File("a").c_str(), &st), 0);
    ASSERT_TRUE(MakeFolder(WorkFolder(m_dir)));
    test::WriteBytes(Journal(m_dir), "Vexara file journal 2\nrename\ta.Ab12Cd\ta\t" + std::to_string(st.st_ino + 1) +
                                         ":5:" + std::to_string(st.st_mtim.tv_sec) + "." +
                                         std::to_string(st.st_mtim.tv_nsec) + "\nremove\tc\nend\n");
    TFileTransaction::TRecoveryFailure why;
    {
        // A target that cannot be looked at (the third look) is neither in place nor lost.
        test::TFileFaultScope fault({{kFileStat, EIO, 3}});
        EXPECT_EQ(TFileTransaction::Recover(Journal(m_dir), &why), TFileTransaction::TRecovery::Damaged);
        EXPECT_EQ(why.error, EIO);
        EXPECT_EQ(why.path, m_dir.File("a"));
    }
    EXPECT_EQ(TFileTransaction::Recover(Journal(m_dir), &why), TFileTransaction::TRecovery::Damaged);
    EXPECT_EQ(why.kind, TFileTransaction::TRecoveryFailure::TKind::Lost);
    EXPECT_EQ(why.path, m_dir.File("a"));
    EXPECT_EQ(test::ReadBytes(m_dir.File("c")), "old c");
    ASSERT_TRUE(RemoveFile(Journal(m_dir)));

    // Stopped after the first rename, then the staged "b" cut short (a copy that broke
    // off): it is not put in place. Whole again, it is, wherever the folder was copied.
    TFileTransaction transaction(m_dir.Path());
    WriteNewFiles(m_dir, transaction);
    StopAfter(3);
    EXPECT_THROW(transaction.Commit(), TStop);
    TFile::SetStepHook({});
    std::string stagedB;
    for (const std::string& name : test::FolderNames(WorkFolder(m_dir)))
        if (name.starts_with("b."))
            stagedB = WorkFolder(m_dir) + "/" + name;
    ASSERT_EQ(test::ReadBytes(stagedB), "new b");
    test::WriteBytes(stagedB, "new");
    EXPECT_EQ(TFileTransaction::Recover(Journal(m_dir), &why), TFileTransaction::TRecovery::Damaged);
    EXPECT_EQ(why.path, m_dir.File("b"));
    EXPECT_EQ(test::ReadBytes(m_dir.File("b")), "old b");
    test::WriteBytes(stagedB, "new b");
    test::CopyInPlace(m_dir.Path());
    EXPECT_EQ(TFileTransaction::Recover(Journal(m_dir)), TFileTransaction::TRecovery::Completed);
    EXPECT_EQ(test::ReadBytes(m_dir.File("a")), "new a");
    EXPECT_EQ(test::ReadBytes(m_dir.File("b")), "new b");
    EXPECT_FALSE(FileExists(m_dir.File("c")));
}

TEST_F(FileTransaction, AJournalOfTheEarlierLayoutIsStillCompleted)
{
    test::WriteBytes(m_dir.File("a"), "old a");
    test::WriteBytes(m_dir.File(".a.Ab12Cd"), "new a");
    test::WriteBytes(m_dir.File(".p.journal"), "Vexara file journal 1\n.a.Ab12Cd\ta\n.b.Cd34Ef\tb\nend\n");
    EXPECT_EQ(TFileTransaction::Recover(m_dir.File(".p.journal")), TFileTransaction::TRecovery::Completed);
    EXPECT_EQ(test::ReadBytes(m_dir.File("a")), "new a");
    EXPECT_EQ(test::FolderNames(m_dir.Path()), std::vector<std::string>{"a"});

    // Layout 2, in the work folder: "a" is in place already (its inode says so), "b" staged.
    test::WriteBytes(m_dir.File("b"), "old b");
    ASSERT_TRUE(MakeFolder(WorkFolder(m_dir)));
    test::WriteBytes(WorkFolder(m_dir) + "/b.Cd34Ef", "new b");
    struct stat st {};
    ASSERT_EQ(::stat(m_dir.File("a").c_str(), &st), 0);
    test::WriteBytes(Journal(m_dir), "Vexara file journal 2\nrename\ta.Ab12Cd\ta\t" + std::to_string(st.st_ino) + ":5:" +
                                         std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) +
                                         "\nrename\tb.Cd34Ef\tb\t1:5:0.0\nend\n");
    EXPECT_EQ(TFileTransaction::Recover(Journal(m_dir)), TFileTransaction::TRecovery::Completed);
    EXPECT_EQ(test::ReadBytes(m_dir.File("b")), "new b");
    EXPECT_EQ(test::FolderNames(WorkFolder(m_dir)), std::vector<std::string>{});
}

TEST_F(FileTransaction, ADamagedJournalChangesNothing)
{
    // A folder in the way of the second change of each layout: the first is not made.
    for (const char* name : {"a", "b", ".b.Cd34Ef", ".in-the-way.Ab12Cd"})
        test::WriteBytes(m_dir.File(name), std::string("old ") + name);
    ASSERT_TRUE(MakeFolder(WorkFolder(m_dir)));
    ASSERT_TRUE(MakeFolder(m_dir.File("in-the-way")));
    test::WriteBytes(WorkFolder(m_dir) + "/in-the-way.Ef56Gh", "new");
    test::WriteBytes(Journal(m_dir), "Vexara file journal 2\nremove\ta\nrename\tin-the-way.Ef56Gh\tin-the-way\t1:3:0.0\nend\n");
    EXPECT_EQ(TFileTransaction::Recover(Journal(m_dir)), TFileTransaction::TRecovery::Damaged);
    test::WriteBytes(m_dir.File(".p.journal"), "Vexara file journal 1\n.b.Cd34Ef\tb\n.in-the-way.Ab12Cd\tin-the-way\nend\n");
    EXPECT_EQ(TFileTransaction::Recover(m_dir.File(".p.journal")), TFileTransaction::TRecovery::Damaged);
    EXPECT_EQ(test::ReadBytes(m_dir.File("a")), "old a");
    EXPECT_EQ(test::ReadBytes(m_dir.File("b")), "old b");
    EXPECT_TRUE(FileExists(Journal(m_dir)));

    // A journal of the present layout in the place of the earlier one would change the
    // folder around it: it is not one.
    const test::TTempFolder parent;
    const std::string project = parent.File("project");
    ASSERT_TRUE(MakeFolder(project));
    test::WriteBytes(parent.File("beside"), "another file");
    test::WriteBytes(project + "/.p.journal", "Vexara file journal 2\nremove\tbeside\nend\n");
    EXPECT_EQ(TFileTransaction::Recover(project + "/.p.journal"), TFileTransaction::TRecovery::Damaged);
    EXPECT_EQ(test::ReadBytes(parent.File("beside")), "another file");
}

// Two new files for one target, or a new file and a removal of it: a commit refuses to
// write such a journal, and a journal that holds one is not completed, in any layout.
TEST_F(FileTransaction, AJournalCommitWouldRefuseIsNotCompletedEither)
{
    struct TCase {
        const char* what;
        bool removeToo;  // the target is removed as well as replaced, else replaced twice
    };
    for (const TCase& c : {TCase{"two renames", false}, TCase{"a rename and a removal", true}}) {
        SCOPED_TRACE(c.what);
        const test::TTempFolder dir;
        test::WriteBytes(dir.File("a"), "old a");
        {
            TFileTransaction transaction(dir.Path());
            ASSERT_TRUE(WriteInTransaction(transaction, dir.File("a"), "new a"));
            if (c.removeToo)
                transaction.Remove(dir.File("a"));
            else
                ASSERT_TRUE(WriteInTransaction(transaction, dir.File("a"), "other a"));
            EXPECT_FALSE(transaction.Commit());
            EXPECT_FALSE(transaction.LeftJournal());
        }
        EXPECT_EQ(test::ReadBytes(dir.File("a")), "old a");
        EXPECT_FALSE(FileExists(Journal(dir)));

        // The same changes in a journal of each layout, with their staged files there.
        const std::string work = WorkFolder(dir);
        ASSERT_TRUE(MakeFolder(work));
        test::WriteBytes(work + "/a.Ab12Cd", "new a");
        test::WriteBytes(work + "/a.Cd34Ef", "other a");
        const std::string second = c.removeToo ? "remove\ta\n" : "rename\ta.Cd34Ef\ta\t";
        const std::string content = "Vexara file journal 3\nrename\ta.Ab12Cd\ta\t" +
                                    TFileTransaction::StagedFileIdentity(work + "/a.Ab12Cd") + "\n" + second +
                                    (c.removeToo ? "" : TFileTransaction::StagedFileIdentity(work + "/a.Cd34Ef") + "\n") +
                                    "end\n";
        const std::string inode = "Vexara file journal 2\nrename\ta.Ab12Cd\ta\t1:5:0.0\n" + second +
                                  (c.removeToo ? "" : "2:7:0.0\n") + "end\n";
        for (const std::string& journal : {content, inode}) {
            test::WriteBytes(Journal(dir), journal);
            TFileTransaction::TRecoveryFailure why;
            EXPECT_EQ(TFileTransaction::Recover(Journal(dir), &why), TFileTransaction::TRecovery::Damaged) << journal;
            EXPECT_EQ(why.kind, TFileTransaction::TRecoveryFailure::TKind::Unreadable);
            EXPECT_EQ(test::ReadBytes(dir.File("a")), "old a");
            EXPECT_EQ(test::FolderNames(work), (std::vector<std::string>{"a.Ab12Cd", "a.Cd34Ef", "journal"}));
        }
        if (!c.removeToo) {
            test::WriteBytes(dir.File(".a.Ab12Cd"), "new a");
            test::WriteBytes(dir.File(".a.Cd34Ef"), "other a");
            test::WriteBytes(dir.File(".p.journal"), "Vexara file journal 1\n.a.Ab12Cd\ta\n.a.Cd34Ef\ta\nend\n");
            EXPECT_EQ(TFileTransaction::Recover(dir.File(".p.journal")), TFileTransaction::TRecovery::Damaged);
            EXPECT_EQ(test::ReadBytes(dir.File("a")), "old a");
            EXPECT_TRUE(FileExists(dir.File(".a.Cd34Ef")));
        }
    }
}

// A look at a name that fails while a change is made or completed is never taken for
// nothing there: the change stops with its error, and the files are the old ones, or the
// new ones once its journal, kept, is completed.
TEST_F(FileTransaction, ALookThatFailsStopsTheChangeWithItsError)
{
    const auto expectFiles = [&](const char* age) {
        for (const char* name : {"a", "b"})
            EXPECT_EQ(test::ReadBytes(m_dir.File(name)), std::string(age) + " " + name);
        EXPECT_EQ(FileExists(m_dir.File("c")), std::string(age) == "old");
    };
    int stopped = 0;
    for (int at = 1;; ++at) {
        SCOPED_TRACE("a look failing at " + std::to_string(at));
        TFileTransaction transaction(m_dir.Path());
        WriteNewFiles(m_dir, transaction);
        bool committed = false;
        {
            test::TFileFaultScope fault({{kFileStat, EIO, at}});
            committed = transaction.Commit();
            if (!FileFaultStruck()) {
                EXPECT_TRUE(committed);
                break;
            }
        }
        EXPECT_FALSE(committed);
        EXPECT_EQ(transaction.FailedError(), EIO);
        EXPECT_FALSE(transaction.LeftJournal());
        expectFiles("old");
        EXPECT_FALSE(FileExists(Journal(m_dir)));
        stopped = at;
    }
    EXPECT_GE(stopped, 3) << "the look for a journal, and at each target";
    {
        test::TFileFaultScope fault({{kFileStat, EIO, 1}});
        EXPECT_EQ(TFileTransaction::HasJournal(TFolder::Open(m_dir.Path())), TFolder::THas::Failed);
        EXPECT_EQ(errno, EIO);
    }
    // A work folder another user keeps private holds nothing this user could complete: no
    // journal, not a failure. Its owner finds the journal.
    if (::geteuid() == 0) {
        test::WriteBytes(Journal(m_dir), "Vexara file journal 2\nend\n");
        ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0755), 0);
        ASSERT_EQ(::chmod(m_dir.File(".vexara").c_str(), 0700), 0);
        const auto has = [&] {
            switch (TFileTransaction::HasJournal(TFolder::Open(m_dir.Path()))) {
            case TFolder::THas::Yes: return std::string("yes");
            case TFolder::THas::No: return std::string("no");
            case TFolder::THas::Failed: return "failed: " + std::string(std::strerror(errno));
            }
            return std::string();
        };
        EXPECT_EQ(test::AsUser(65534, 65534, has), "no");
        EXPECT_EQ(has(), "yes");
        ASSERT_TRUE(RemoveFile(Journal(m_dir)));
    }
    // A commit killed after its first rename, completed with a look failing.
    for (int at = 1;; ++at) {
        SCOPED_TRACE("a completion's look failing at " + std::to_string(at));
        TFileTransaction transaction(m_dir.Path());
        WriteNewFiles(m_dir, transaction);
        StopAfter(3);
        EXPECT_THROW(transaction.Commit(), TStop);
        TFile::SetStepHook({});
        transaction.LetGo();
        ASSERT_TRUE(FileExists(Journal(m_dir)));
        TFileTransaction::TRecoveryFailure why;
        TFileTransaction::TRecovery recovered;
        {
            test::TFileFaultScope fault({{kFileStat, EIO, at}});
            recovered = TFileTransaction::Recover(Journal(m_dir), &why);
            if (!FileFaultStruck()) {
                EXPECT_EQ(recovered, TFileTransaction::TRecovery::Completed);
                EXPECT_GE(at, 7) << "the looks at the journal, at each staged file and at each target";
                break;
            }
        }
        EXPECT_EQ(recovered, TFileTransaction::TRecovery::Damaged);
        EXPECT_EQ(why.error, EIO) << why.path;
        EXPECT_EQ(test::ReadBytes(m_dir.File("a")), "new a");
        EXPECT_EQ(test::ReadBytes(m_dir.File("b")), "old b");
        EXPECT_TRUE(FileExists(m_dir.File("c")));
        EXPECT_EQ(TFileTransaction::Recover(Journal(m_dir)), TFileTransaction::TRecovery::Completed);
        expectFiles("new");
    }
}

TEST_F(FileTransaction, ACommitWhoseFolderCannotReachTheDiskIsNotReportedDone)
{
    // Before the renames: the journal may not be on the disk, so nothing changes.
    TFileTransaction::FailFolderSyncs(true);
    {
        TFileTransaction transaction(m_dir.Path());
        WriteNewFiles(m_dir, transaction);
        EXPECT_FALSE(transaction.Commit());
        EXPECT_FALSE(transaction.LeftJournal());
        EXPECT_EQ(transaction.FailedPath(), WorkFolder(m_dir));
        EXPECT_EQ(transaction.FailedCall(), TFileTransaction::TCall::SyncFolder);
    }
    EXPECT_EQ(test::ReadBytes(m_dir.File("a")), "old a");
    EXPECT_EQ(test::FolderNames(WorkFolder(m_dir)), std::vector<std::string>{});

    // After the renames: the change is decided, but not yet safe on the disk; the journal
    // stays to be completed again. Completed while the disk still fails the folder's sync,
    // it stays once more; completed where the folder cannot be synced at all (the call not
    // supported, nothing in it to sync through), it goes: a journal kept for that alone
    // would keep the folder's project from opening for good.
    for (const int error : {EIO, EINVAL, EACCES}) {
        SCOPED_TRACE(error);
        TFileTransaction::FailFolderSyncs(false);
        TFileTransaction transaction(m_dir.Path());
        WriteNewFiles(m_dir, transaction);
        int steps = 0;
        TFile::SetStepHook([&] {
            if (++steps == 4)
                TFileTransaction::FailFolderSyncs(true);
        });
        EXPECT_FALSE(transaction.Commit());
        TFile::SetStepHook({});
        TFileTransaction::FailFolderSyncs(false);
        EXPECT_TRUE(transaction.LeftJournal());
        EXPECT_TRUE(FileExists(Journal(m_dir)));
        EXPECT_EQ(test::ReadBytes(m_dir.File("b")), "new b");
        TFileTransaction::TRecoveryFailure why;
        {
            test::TFileFaultScope failing({{kFileSyncFolder, error, 1, true}});
            EXPECT_EQ(TFileTransaction::Recover(Journal(m_dir), &why), error == EIO
                                                                          ? TFileTransaction::TRecovery::Damaged
                                                                          : TFileTransaction::TRecovery::Completed);
        }
        EXPECT_EQ(FileExists(Journal(m_dir)), error == EIO);
        if (error == EIO) {
            EXPECT_EQ(why.kind, TFileTransaction::TRecoveryFailure::TKind::Unwritable);
            EXPECT_EQ(why.call, TFileTransaction::TCall::SyncFolder);
            EXPECT_EQ(why.path, m_dir.Path());
            EXPECT_EQ(TFileTransaction::Recover(Journal(m_dir)), TFileTransaction::TRecovery::Completed);
        }
        EXPECT_FALSE(FileExists(Journal(m_dir)));
        EXPECT_EQ(test::FolderNames(m_dir.Path()), (std::vector<std::string>{".vexara", "a", "b"}));
    }
}

// A commit whose check finds the folder no longer held: refused before its journal is in
// the work folder, where another program that takes the folder would complete it; refused
// once it is there, its journal goes for good, or the commit says where that failed.
TEST_F(FileTransaction, ACommitRefusedByItsCheckLeavesNoJournalToBeCompleted)
{
    const std::string work = WorkFolder(m_dir), journal = Journal(m_dir);
    const struct {
        int refuseAt;  // the check's call that refuses
        std::vector<TFileFault> faults;
        bool journalSeen, journalKept;
        std::string failedPath;
    } rows[] = {
        {1, {}, false, false, ""},
        {2, {}, true, false, ""},
        // The first sync is the journal's, the second its removal's.
        {2, {{kFileSyncFolder, EIO, 2}}, true, false, work},
        // A work folder this user may not open, with nothing left in it to sync through.
        {2, {{kFileSyncFolder, EACCES, 2}}, true, false, work},
        {2, {{kFileRemove, EIO, 1}}, true, true, journal},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.refuseAt);
        SCOPED_TRACE(row.failedPath);
        TFileTransaction transaction(m_dir.Path());
        WriteNewFiles(m_dir, transaction);
        int checks = 0;
        bool seen = false;
        transaction.CheckBeforeRenames([&] { return ++checks < row.refuseAt; });
        TFile::SetStepHook([&] { seen = seen || FileExists(journal); });
        {
            test::TFileFaultScope fault(row.faults);
            EXPECT_FALSE(transaction.Commit());
        }
        TFile::SetStepHook({});
        EXPECT_TRUE(transaction.Refused());
        EXPECT_FALSE(transaction.LeftJournal());
        EXPECT_EQ(seen, row.journalSeen);
        EXPECT_EQ(FileExists(journal), row.journalKept);
        // The staged files of "a" and "b" stay, as a refusal leaves them; no journal's own.
        EXPECT_EQ(test::FolderNames(work).size(), row.journalKept ? 3u : 2u);
        EXPECT_EQ(transaction.FailedPath(), row.failedPath);
        if (!row.failedPath.empty()) {
            EXPECT_EQ(transaction.FailedError(), row.faults.front().error);
        }
        EXPECT_EQ(test::ReadBytes(m_dir.File("a")), "old a");
        EXPECT_TRUE(FileExists(m_dir.File("c")));
        RemoveFile(journal);
        for (const std::string& name : test::FolderNames(work))
            RemoveFile(work + "/" + name);
    }
}

TEST_F(FileTransaction, AJournalThatCannotBeRemovedIsLeftToBeCompletedLater)
{
    // Once the new files are in place, the work folder takes no more changes: the commit
    // says its journal stays, and a later completion removes it.
    ASSERT_EQ(::chmod(m_dir.Path().c_str(), 0777), 0);
    const std::string work = WorkFolder(m_dir);
    const std::string said = test::AsAnOrdinaryUser([&] {
        TFileTransaction transaction(m_dir.Path());
        WriteNewFiles(m_dir, transaction);
        TFile::SetStepHook([&] {
            if (test::FolderNames(work) == std::vector<std::string>{"journal"})
                ::chmod(work.c_str(), 0555);
        });
        const bool committed = transaction.Commit();
        TFile::SetStepHook({});
        return std::string(committed ? "committed" : "failed") + (transaction.LeftJournal() ? ", left " : ", ") +
               transaction.FailedPath();
    });
    EXPECT_EQ(said, "failed, left " + Journal(m_dir));
    EXPECT_EQ(test::ReadBytes(m_dir.File("b")), "new b");
    ASSERT_EQ(::chmod(work.c_str(), 0755), 0);
    // Completed by the user who left it: another user's journal is theirs.
    EXPECT_EQ(test::AsAnOrdinaryUser([&] {
        return std::string(TFileTransaction::Recover(Journal(m_dir)) == TFileTransaction::TRecovery::Completed
                               ? "completed"
                               : "not completed");
    }),
              "completed");
    EXPECT_FALSE(FileExists(Journal(m_dir)));
}

TEST_F(FileTransaction, AnIncludedTransactionIsMadeWithTheOneThatIncludesIt)
{
    test::TTempFolder& dir = m_dir;
    for (const char* name : {"a", "b", "c", "d"})
        test::WriteBytes(dir.File(name), std::string("old ") + name);
    // Pending: new "a", new "b" and "c" removed, waiting for a change that takes them along.
    TFileTransaction pending(dir.Path());
    pending.Remove(dir.File("a"));  // replaced below: a file replaced is not removed as well
    ASSERT_TRUE(WriteInTransaction(pending, dir.File("a"), "pending a"));
    ASSERT_TRUE(WriteInTransaction(pending, dir.File("b"), "pending b"));
    pending.Remove(dir.File("c"));
    EXPECT_EQ(test::ReadBytes(pending.StagedFileOf(dir.File("a"))), "pending a");
    EXPECT_EQ(pending.StagedFileOf(dir.File("d")), "");
    {
        // A change that fails before its journal leaves the pending files pending.
        TFileTransaction failing(dir.Path());
        ASSERT_TRUE(WriteInTransaction(failing, dir.File("d"), "new d"));
        failing.Include(pending);
        ASSERT_TRUE(MakeFolder(Journal(dir)));  // the way of the journal is blocked
        EXPECT_FALSE(failing.Commit());
        ASSERT_TRUE(RemoveFile(Journal(dir)));
    }
    EXPECT_EQ(test::ReadBytes(dir.File("a")), "old a");
    EXPECT_EQ(test::ReadBytes(pending.StagedFileOf(dir.File("b"))), "pending b");
    EXPECT_EQ(test::FolderNames(WorkFolder(dir)).size(), 2u);

    // A change with a "b" of its own that it does not take over: two new files for one
    // target, and neither wins.
    const std::string pendingB = pending.StagedFileOf(dir.File("b"));
    {
        TFileTransaction clashing(dir.Path());
        ASSERT_TRUE(WriteInTransaction(clashing, dir.File("b"), "other b"));
        clashing.Include(pending);
        EXPECT_FALSE(clashing.Commit());
        EXPECT_FALSE(clashing.LeftJournal());
        EXPECT_EQ(clashing.FailedPath(), dir.File("b"));
    }
    EXPECT_EQ(test::ReadBytes(dir.File("b")), "old b");
    EXPECT_EQ(test::ReadBytes(pendingB), "pending b");

    // The change that goes through: its own "b" stands over the pending one it takes over,
    // and "d" it removes itself; the rest of the pending change is made with it.
    TFileTransaction change(dir.Path());
    ASSERT_TRUE(WriteInTransaction(change, dir.File("b"), "new b"));
    change.TakeOver(dir.File("b"));
    change.Remove(dir.File("d"));
    change.Include(pending);
    change.Include(pending);
    ASSERT_TRUE(change.Commit());
    EXPECT_EQ(test::ReadBytes(dir.File("a")), "pending a");
    EXPECT_EQ(test::ReadBytes(dir.File("b")), "new b");
    EXPECT_FALSE(FileExists(dir.File("c")));
    EXPECT_FALSE(FileExists(dir.File("d")));
    EXPECT_FALSE(FileExists(pendingB)) << "the staged file it replaced goes";
    EXPECT_TRUE(pending.IsEmpty());
    EXPECT_EQ(test::FolderNames(WorkFolder(dir)), std::vector<std::string>{});

    // A transaction of another folder is not taken along; a change given up goes with its file.
    ASSERT_TRUE(MakeFolder(dir.File("other")));
    TFileTransaction elsewhere(dir.File("other"));
    ASSERT_TRUE(WriteInTransaction(elsewhere, dir.File("other/e"), "new e"));
    ASSERT_TRUE(WriteInTransaction(pending, dir.File("e"), "pending e"));
    const std::string stagedE = pending.StagedFileOf(dir.File("e"));
    elsewhere.Include(pending);
    ASSERT_TRUE(elsewhere.Commit());
    EXPECT_FALSE(FileExists(dir.File("e")));
    EXPECT_TRUE(FileExists(stagedE));
    pending.Discard(dir.File("e"));
    EXPECT_FALSE(FileExists(stagedE));
    EXPECT_TRUE(pending.IsEmpty());
}

// A folder renamed with its staged files: taken where it is now, the transaction puts them
// in place and makes its removals there; let go of, it removes nothing where it was.
TEST_F(FileTransaction, AMovedFolderIsChangedWhereItIsNowAndALetGoChangeRemovesNothing)
{
    const std::string folder = m_dir.File("p"), moved = m_dir.File("q");
    ASSERT_TRUE(MakeFolder(folder));
    {
        TFileTransaction transaction(folder);
        for (const char* name : {"a", "b", "c"})
            test::WriteBytes(folder + "/" + name, std::string("old ") + name);
        ASSERT_TRUE(WriteInTransaction(transaction, folder + "/a", "new a"));
        transaction.Remove(folder + "/c");
        ASSERT_EQ(::rename(folder.c_str(), moved.c_str()), 0);
        transaction.MovedTo(moved);
        EXPECT_EQ(transaction.Folder(), moved);
        EXPECT_EQ(transaction.Removals(), std::vector<std::string>{moved + "/c"});
        ASSERT_TRUE(FileExists(transaction.StagedFileOf(moved + "/a")));
        ASSERT_TRUE(transaction.Commit());
        EXPECT_EQ(test::ReadBytes(moved + "/a"), "new a");
        EXPECT_FALSE(FileExists(moved + "/c"));
        EXPECT_FALSE(FolderExists(folder));
    }
    TFileTransaction transaction(moved);
    ASSERT_TRUE(WriteInTransaction(transaction, moved + "/b", "new b"));
    const std::string staged = transaction.StagedFileOf(moved + "/b");
    transaction.LetGo();
    EXPECT_TRUE(transaction.IsEmpty());
    EXPECT_TRUE(transaction.StagedFileOf(moved + "/b").empty());
    transaction.Abort();
    EXPECT_TRUE(FileExists(staged));
    EXPECT_EQ(test::ReadBytes(moved + "/b"), "old b");
}
