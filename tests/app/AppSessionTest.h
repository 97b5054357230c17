#pragma once
// Tests on the fixture project of one or two slices opened with its main window
// (TGuiSession), the report service scripted and the globals reset around each test. With
// `processing` the processing steps are installed before the project is made, since its
// history comes from them.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMdiArea>

#include <list>
#include <memory>
#include <string>
#include <vector>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "model/ProcessingHooks.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "processing/InstallProcessing.h"
#include "processing/TProcessHistory.h"
#include "support/GuiFixture.h"
#include "support/ScriptedReport.h"

namespace vx::test {

class AppSessionTest : public ::testing::Test {
protected:
    explicit AppSessionTest(int slices = 1, bool processing = false) : fixture(slices), m_processing(processing) {}

    void SetUp() override
    {
        vx::ResetGlobals();
        if (m_processing)
            InstallProcessing();
        ASSERT_TRUE(fixture.Ok());
        session = std::make_unique<TGuiSession>(fixture);
        ASSERT_TRUE(session->Ok());
        project = session->Project();
        set = project->m_pWorkSet;
    }
    void TearDown() override
    {
        session.reset();
        if (m_processing)
            InstallProcessingHooks({});
        vx::ResetGlobals();
    }

    CMainFrame& Main() { return session->MainFrame(); }
    // The first window of that title; a failure of the test when there is none.
    CChildFrame* Frame(const std::string& title)
    {
        CChildFrame* frame = session->FrameTitled(title);
        EXPECT_NE(frame, nullptr) << title;
        return frame;
    }
    void Activate(CChildFrame* child)
    {
        Main().MdiArea()->setActiveSubWindow(child);
        Main().UpdateCommandStates();
        QApplication::processEvents();
    }
    // A command as its menu gives it: the states brought up to date, and offered.
    void Trigger(int command)
    {
        Main().UpdateCommandStates();
        QAction* action = Main().Action(command);
        ASSERT_TRUE(action->isEnabled()) << command;
        action->trigger();
    }
    // The history's step names, newest first.
    std::vector<std::string> StepNames(bool undo = true) const
    {
        std::list<std::string> names;
        project->m_history->GetStepNames(names, undo);
        return {names.begin(), names.end()};
    }

    TScriptedReport report;
    TGuiFixture fixture;
    std::unique_ptr<TGuiSession> session;
    TProject* project = nullptr;
    TCSISet* set = nullptr;

private:
    bool m_processing;
};

}  // namespace vx::test
