// The application as main() assembles it offers no command without its work: every action
// of the main frame's menus and toolbars has a handler.
#include <gtest/gtest.h>

#include <QAction>

#include <string>
#include <vector>

#include "app/CBatchProcessDlg.h"
#include "app/CMainFrame.h"
#include "app/CVexaraApp.h"
#include "app/CViewSliceDlg.h"
#include "app/WindowFactory.h"
#include "model/ProcessingHooks.h"
#include "processing/InstallProcessing.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "views/picture/RegionPainters.h"

namespace {

TEST(ApplicationCommands, EveryMenuAndToolbarCommandHasItsHandler)
{
    vx::test::TScriptedReport report;
    const auto addExam = vx::app::GetAddExamDialog();
    const auto viewSlice = vx::app::GetViewSliceDialog();
    const auto batch = vx::app::GetBatchDialog();
    InstallProcessing();
    const CMainPicView::TRegionPainters painters = InstallRegionPainters();
    CViewSliceDlg::Install();
    vx::app::InstallBatchDialogs();

    std::vector<std::string> unhandled;
    {
        vx::test::TTempFolder programFolder;
        CVexaraApp app;
        app.SetProgramFolder(programFolder.Path());
        ASSERT_TRUE(app.InitInstance({}));
        const CMainFrame* frame = app.MainFrame();
        int actions = 0;
        // Command numbers are below 65536 (menu and toolbar resource identifiers).
        for (int id = 1; id < 65536; ++id)
            if (const QAction* action = frame->Action(id)) {
                ++actions;
                if (!frame->HasCommandHandler(id))
                    unhandled.push_back(std::to_string(id) + " " + action->text().toStdString());
            }
        EXPECT_GT(actions, 60);
    }
    EXPECT_EQ(unhandled, std::vector<std::string>{});
    EXPECT_TRUE(report.Messages().empty());

    CMainPicView::SetRegionPainters(painters);
    InstallProcessingHooks({});
    vx::app::SetAddExamDialog(addExam);
    vx::app::SetViewSliceDialog(viewSlice);
    vx::app::SetBatchDialog(batch);
}

}  // namespace
