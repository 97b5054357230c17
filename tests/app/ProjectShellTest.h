#pragma once
// A loaded application without a project, whose New Project location is a temporary folder,
// for the tests of the project commands.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>

#include <string>

#include "app/dialogs/CAddCSISetDlg.h"
#include "app/dialogs/CImportImageDlg.h"
#include "app/dialogs/CNewProjectDlg.h"
#include "app/CVexaraApp.h"
#include "model/ProcessingHooks.h"
#include "model/TProject.h"
#include "platform/Files.h"
#include "platform/Globals.h"
#include "support/DialogScript.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "FakeShell.h"

namespace vx::test {

class TProjectShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearSettings();
        vx::ResetGlobals();
        m_savedLastDir = g_strLastDir;
        m_savedFolder = vx::CurrentFolder();
        g_strLastDir = root.Path() + "/";
        app.SetProgramFolder(empty.Path());
        ASSERT_TRUE(app.InitInstance({}));
        frame = app.MainFrame();
    }
    void TearDown() override
    {
        g_strLastDir = m_savedLastDir;
        vx::SetCurrentFolder(m_savedFolder);
        // The open project goes while the processing a test installed can still delete
        // its history and steps; then the processing goes too.
        delete g_pProject;
        g_pProject = nullptr;
        InstallProcessingHooks({});
    }

    // Runs a command whose New Project dialog gets `name` typed and OK pressed.
    void RunWithName(int command, const std::string& name)
    {
        TDialogScript script([&](QDialog& d) {
            return ShowAndAct<CNewProjectDlg>(d, [&](CNewProjectDlg& dialog) {
                dialog.NameEdit()->setText(QString::fromStdString(name));
                dialog.accept();
            });
        });
        frame->Action(command)->trigger();
        EXPECT_EQ(script.runs, 1);
    }
    std::string ProjectPath(const std::string& name) const { return root.Path() + "/" + name + "/" + name + ".tpj"; }

    TScriptedReport report;
    TTempFolder empty;
    TTempFolder root;
    CVexaraApp app;
    CMainFrame* frame = nullptr;

private:
    std::string m_savedLastDir;
    std::string m_savedFolder;
};

// The same application with the import dialogs' remembered values reset, for the tests that
// bring files in through Add CSI Set and Add Images.
class TImportShellTest : public TProjectShellTest {
protected:
    void SetUp() override
    {
        TProjectShellTest::SetUp();
        g_nCSIImportCount = 1;
        g_lastReadParams = TCSIReadParams{};
        m_savedImport = CImportImageDlg::s_last;
    }
    void TearDown() override
    {
        TProjectShellTest::TearDown();
        g_nCSIImportCount = 1;
        CImportImageDlg::s_last = m_savedImport;
    }

private:
    TImageImportParams m_savedImport;
};

}  // namespace vx::test
