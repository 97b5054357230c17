#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QPushButton>

#include "app/QtServices.h"
#include "platform/WaitCursor.h"

using vx::ReportAnswer;
using vx::ReportButtons;
using vx::ReportIcon;

namespace {

vx::TReportRequest Request(const std::string& text, ReportIcon icon, ReportButtons buttons, ReportAnswer answer)
{
    vx::TReportRequest r;
    r.text = text;
    r.icon = icon;
    r.buttons = buttons;
    r.defaultAnswer = answer;
    return r;
}

TEST(QtServices, MessageBoxesCarryTheRequestedIconButtonsAndDefault)
{
    struct Case {
        ReportIcon icon;
        ReportButtons buttons;
        ReportAnswer answer;
        QMessageBox::Icon boxIcon;
        QMessageBox::StandardButtons boxButtons;
        QMessageBox::StandardButton defaultButton;
        QMessageBox::StandardButton escapeButton;
    };
    const Case cases[] = {
        {ReportIcon::Exclamation, ReportButtons::Ok, ReportAnswer::Ok, QMessageBox::Warning, QMessageBox::Ok,
         QMessageBox::Ok, QMessageBox::Ok},
        {ReportIcon::Question, ReportButtons::YesNo, ReportAnswer::No, QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No, QMessageBox::No, QMessageBox::No},
        {ReportIcon::Information, ReportButtons::YesNo, ReportAnswer::Yes, QMessageBox::Information,
         QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes, QMessageBox::No},
        {ReportIcon::Error, ReportButtons::YesNoCancel, ReportAnswer::Cancel, QMessageBox::Critical,
         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Cancel, QMessageBox::Cancel},
        {ReportIcon::None, ReportButtons::OkCancel, ReportAnswer::Ok, QMessageBox::NoIcon,
         QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok, QMessageBox::Cancel},
        // A default that is not among the buttons falls back to the safe answer.
        {ReportIcon::Question, ReportButtons::YesNo, ReportAnswer::Ok, QMessageBox::Question,
         QMessageBox::Yes | QMessageBox::No, QMessageBox::No, QMessageBox::No},
    };
    for (const Case& c : cases) {
        auto box = vx::app::MakeMessageBox(Request("Are you sure you want to exit?", c.icon, c.buttons, c.answer),
                                           nullptr);
        EXPECT_EQ(box->text(), "Are you sure you want to exit?");
        EXPECT_EQ(box->windowTitle(), "Vexara");
        EXPECT_EQ(box->icon(), c.boxIcon);
        EXPECT_EQ(box->standardButtons(), c.boxButtons);
        EXPECT_EQ(box->defaultButton(), box->button(c.defaultButton));
        EXPECT_EQ(box->escapeButton(), box->button(c.escapeButton));
    }
    auto captioned = vx::app::MakeMessageBox(
        [] {
            auto r = Request("x", ReportIcon::None, ReportButtons::Ok, ReportAnswer::Ok);
            r.caption = "Batch";
            return r;
        }(),
        nullptr);
    EXPECT_EQ(captioned->windowTitle(), "Batch");
    EXPECT_EQ(vx::app::AnswerOf(QMessageBox::Yes), ReportAnswer::Yes);
    EXPECT_EQ(vx::app::AnswerOf(QMessageBox::No), ReportAnswer::No);
    EXPECT_EQ(vx::app::AnswerOf(QMessageBox::Cancel), ReportAnswer::Cancel);
    EXPECT_EQ(vx::app::AnswerOf(QMessageBox::Ok), ReportAnswer::Ok);
}

TEST(QtServices, FiltersMatchTheirPatternsInEitherCase)
{
    EXPECT_EQ(vx::app::ToQtFilters("All Files (*.*)|*.*|Project Files(*.tpj)|*.TPJ"),
              QStringList({"All Files (*)", "Project Files (*.TPJ *.tpj)"}));
    EXPECT_EQ(vx::app::ToQtFilters("Text Files (*.txt)|*.txt|Binary Files(*.*)|*.*"),
              QStringList({"Text Files (*.txt *.TXT)", "Binary Files (*)"}));
    EXPECT_EQ(vx::app::ToQtFilters("Philips|*.SPAR;*.sdat"),
              QStringList({"Philips (*.SPAR *.spar *.sdat *.SDAT)"}));
    EXPECT_EQ(vx::app::ToQtFilters(""), QStringList({"All Files (*)"}));
    EXPECT_EQ(vx::app::ToQtFilters("Dangling name only"), QStringList({"All Files (*)"}));
}

TEST(QtServices, FileDialogsFollowTheRequest)
{
    vx::TFileRequest open;
    open.title = "Open Project File...";
    open.filter = "All Files (*.*)|*.*|Project Files(*.tpj)|*.TPJ";
    open.filterIndex = 1;
    open.folder = "/tmp";
    auto dialog = vx::app::MakeFileDialog(open, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Open Project File...");
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog->selectedNameFilter(), "Project Files (*.TPJ *.tpj)");
    EXPECT_EQ(dialog->directory().absolutePath(), "/tmp");
    // The program's own dialog, whose icons come from names, even where the desktop has one.
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));

    open.multiple = true;
    EXPECT_EQ(vx::app::MakeFileDialog(open, nullptr)->fileMode(), QFileDialog::ExistingFiles);

    vx::TFileRequest save;
    save.save = true;
    save.overwritePrompt = false;
    save.title = "Save as...";
    save.filter = "Text Files (*.txt)|*.txt|Binary Files(*.*)|*.*";
    auto saving = vx::app::MakeFileDialog(save, nullptr);
    EXPECT_EQ(saving->acceptMode(), QFileDialog::AcceptSave);
    // The dialog asks its own question, about the file the command writes, not Qt's.
    EXPECT_TRUE(saving->testOption(QFileDialog::DontConfirmOverwrite));
    EXPECT_EQ(saving->selectedNameFilter(), "Text Files (*.txt *.TXT)");
}

TEST(QtServices, WaitCursorShowsWhileTheOutermostGuardLives)
{
    vx::app::InstallQtServices();
    {
        vx::TWaitCursor outer;
        ASSERT_NE(QApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        {
            vx::TWaitCursor inner;
            EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        }
        EXPECT_NE(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // Back to the services without dialogs, so that no later test can block on a box.
    vx::SetReportHandler({});
    vx::SetFileChooserHandler({});
    vx::SetWaitCursorHandlers({}, {});
}

}  // namespace
