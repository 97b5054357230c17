// Several files replaced as one: nothing changes before the journal, a rename that fails
// after it leaves the journal, which Recover() completes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/TFile.h"
#include "platform/TFileTransaction.h"
#include "support/TestFiles.h"

using namespace vx;

namespace {

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const TFolderEntry& entry : ListFolder(folder))
        names.push_back(entry.name);
    return names;
}

// Begins a file of the transaction that is to replace target with the text.
bool WriteInTransaction(TFileTransaction& transaction, const std::string& target, const std::string& text)
{
    TAtomicFile out;
    return out.Begin(target, &transaction) && out.File().WriteText(text) && out.Commit();
}

// Files "a" and "b" holding "old a" and "old b", and a transaction of the folder
// that has written "new a" and "new b" for them.
void WriteNewFiles(const test::TTempFolder& dir, TFileTransaction& transaction)
{
    for (const char* name : {"a", "b"}) {
        test::WriteBytes(dir.File(name), std::string("old ") + name);
        ASSERT_TRUE(WriteInTransaction(transaction, dir.File(name), std::string("new ") + name));
    }
}

}  // namespace

TEST(FileTransaction, TargetsChangeTogetherOrNotAtAll)
{
    test::TTempFolder dir;
    {
        // Given up: the temporary files go, the targets stay.
        TFileTransaction transaction(dir.File(".j"));
        WriteNewFiles(dir, transaction);
        EXPECT_EQ(test::ReadBytes(dir.File("a")), "old a");
    }
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"a", "b"}));
    {
        // A target outside the journal's folder is refused before anything is renamed.
        ASSERT_TRUE(MakeFolder(dir.File("sub")));
        TFileTransaction transaction(dir.File(".j"));
        ASSERT_TRUE(WriteInTransaction(transaction, dir.File("a"), "new a"));
        ASSERT_TRUE(WriteInTransaction(transaction, dir.File("sub/c"), "new c"));
        EXPECT_FALSE(transaction.Commit());
        EXPECT_EQ(transaction.FailedPath(), dir.File("sub/c"));
        EXPECT_FALSE(transaction.LeftJournal());
        EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"a", "b", "sub"}));
        EXPECT_EQ(Names(dir.File("sub")), std::vector<std::string>{});
        EXPECT_EQ(test::ReadBytes(dir.File("a")), "old a");
    }
    TFileTransaction transaction(dir.File(".j"));
    WriteNewFiles(dir, transaction);
    ASSERT_TRUE(transaction.Commit());
    EXPECT_EQ(test::ReadBytes(dir.File("a")), "new a");
    EXPECT_EQ(test::ReadBytes(dir.File("b")), "new b");
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"a", "b", "sub"}));
}

TEST(FileTransaction, ARenameThatFailsAfterTheJournalIsCompletedLater)
{
    test::TTempFolder dir;
    TFileTransaction transaction(dir.File(".j"));
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
    EXPECT_TRUE(FileExists(dir.File(".j")));

    // While the way is blocked the journal stays; then it is completed and goes.
    EXPECT_EQ(TFileTransaction::Recover(dir.File(".j")), TFileTransaction::TRecovery::Damaged);
    ASSERT_TRUE(RemoveFile(dir.File("b")));
    EXPECT_EQ(TFileTransaction::Recover(dir.File(".j")), TFileTransaction::TRecovery::Completed);
    EXPECT_EQ(test::ReadBytes(dir.File("b")), "new b");
    EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(TFileTransaction::Recover(dir.File(".j")), TFileTransaction::TRecovery::None);
}
