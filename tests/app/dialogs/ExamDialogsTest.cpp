// The folder-browsing dialogs: Add Exam's picked entries, the folder chooser's Cancel, and
// the batch log's Save, driven directly on their widgets.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDialog>
#include <QListWidget>
#include <QPlainTextEdit>

#include <algorithm>
#include <string>
#include <vector>

#include "app/dialogs/CAddExamDlg.h"
#include "app/dialogs/CBatchErrorsDlg.h"
#include "app/dialogs/CBrowseFolderDlg.h"
#include "app/dialogs/CFolderList.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "support/ScriptedFileChooser.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"

using namespace vx::test;

namespace {

std::vector<std::string> Items(const QListWidget& list)
{
    std::vector<std::string> items;
    for (int k = 0; k < list.count(); ++k)
        items.push_back(list.item(k)->text().toStdString());
    return items;
}

void Choose(QListWidget& list, const std::vector<std::string>& texts)
{
    for (int k = 0; k < list.count(); ++k) {
        const std::string text = list.item(k)->text().toStdString();
        list.item(k)->setSelected(std::find(texts.begin(), texts.end(), text) != texts.end());
    }
}

class ExamDialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        vx::ResetGlobals();
        vx::MakeFolder(root.File("exam/sub"));
        vx::MakeFolder(root.File("other"));
        for (const char* file : {"exam/a.SPAR", "exam/aa.SPAR", "exam/b.PAR", "other/a.spar"})
            WriteBytes(root.File(file), "x");
        vx::SetCurrentFolder(root.File("exam"));
    }
    void TearDown() override
    {
        vx::SetCurrentFolder(vx::HomeFolder());
        vx::ResetGlobals();
    }
    TTempFolder root;
    TScriptedReport report;
};

}  // namespace

TEST_F(ExamDialogsTest, AddExamKeepsEachItemTiedToItsOwnEntry)
{
    g_nExamType = 3;
    CAddExamDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Add Exam...");
    EXPECT_EQ(dialog.ExamTypeBox()->currentText(), "GE EXCITE 11.0 or later");
    const std::string exam = root.File("exam") + "/";
    EXPECT_EQ(Items(*dialog.FolderList()), (std::vector<std::string>{"[..]", "[sub]", "a.SPAR", "aa.SPAR", "b.PAR"}));

    Choose(*dialog.FolderList(), {"aa.SPAR", "[sub]", "[..]"});
    dialog.OnAdd();
    Choose(*dialog.FolderList(), {"a.SPAR", "aa.SPAR"});
    dialog.OnAdd();
    // Each Add takes the chosen items in list order.
    EXPECT_EQ(dialog.GetEntries(), (std::vector<std::string>{"[" + exam + "sub]", exam + "aa.SPAR", exam + "a.SPAR"}));

    // The same name from another folder is not added again.
    ASSERT_TRUE(dialog.FolderList()->ListFolder(root.File("other")));
    dialog.OnAddAll();
    EXPECT_EQ(dialog.GetEntries().size(), 3u);

    // Removing a.SPAR removes its own entry, not the one of aa.SPAR that holds its name.
    Choose(*dialog.AddedList(), {"a.SPAR"});
    dialog.OnRemove();
    EXPECT_EQ(Items(*dialog.AddedList()), (std::vector<std::string>{"[sub]", "aa.SPAR"}));
    EXPECT_EQ(dialog.GetEntries(), (std::vector<std::string>{"[" + exam + "sub]", exam + "aa.SPAR"}));
    dialog.OnRemoveAll();
    EXPECT_TRUE(dialog.GetEntries().empty());

    // OK with nothing picked is refused; with an entry it takes the exam type.
    dialog.ExamTypeBox()->setCurrentIndex(1);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(g_nExamType, 3);
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Please add the files or folders of the exam first."});
    dialog.OnAddAll();
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(g_nExamType, 1);
}

TEST_F(ExamDialogsTest, CancelGivesBackTheFolderCurrentAtTheStart)
{
    const std::string start = vx::CurrentFolder();
    for (const bool cancel : {true, false}) {
        CBrowseFolderDlg chooser;
        EXPECT_EQ(chooser.windowTitle(), "Browse the folders...");
        ASSERT_TRUE(chooser.FolderList()->ListFolder(root.File("other")));
        EXPECT_EQ(vx::CurrentFolder(), root.File("other") + "/");
        if (cancel) {
            chooser.reject();
            EXPECT_EQ(vx::CurrentFolder(), start);
        } else {
            chooser.accept();
            EXPECT_EQ(vx::CurrentFolder(), root.File("other") + "/");
        }
        vx::SetCurrentFolder(start);
    }
    CAddExamDlg exam;
    ASSERT_TRUE(exam.FolderList()->ListFolder("/"));
    exam.reject();
    EXPECT_EQ(vx::CurrentFolder(), start);
}

TEST_F(ExamDialogsTest, BatchLogSaveKeepsTheDialogWhenTheFileCannotBeWritten)
{
    g_batchLog = "Errros and warnings for the batch processing:\r\n\r\nProject p: \r\nNo error or warning. \r\n";
    TScriptedFileChooser chooser;
    CBatchErrorsDlg dialog;
    EXPECT_EQ(dialog.windowTitle(), "Errors and Warning for the batch processing");
    EXPECT_EQ(dialog.LogEdit()->toPlainText().toStdString(),
              "Errros and warnings for the batch processing:\n\nProject p: \nNo error or warning. \n");

    chooser.Answer(root.File("none/log"));
    dialog.accept();
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"Cannot create text file " + root.File("none/log.txt") + "."});
    EXPECT_NE(dialog.result(), QDialog::Accepted);

    chooser.Answer(root.File("Log.TXT"));
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(ReadBytes(root.File("Log.TXT")), g_batchLog);
}
