#include <gtest/gtest.h>

#include <QFileInfo>
#include <QMdiArea>

#include "app/CMainFrame.h"
#include "support/GuiGrab.h"

TEST(MainWindow, StartsEmptyWithTitleAndWritesPicture)
{
    CMainFrame frame;
    frame.show();
    EXPECT_EQ(frame.windowTitle(), QString("Vexara"));
    ASSERT_NE(frame.MdiArea(), nullptr);
    EXPECT_TRUE(frame.MdiArea()->subWindowList().isEmpty());
    const QString png = vx::test::GrabToPng(&frame, "main-window-empty");
    ASSERT_FALSE(png.isEmpty());
    EXPECT_GT(QFileInfo(png).size(), 0);
}
