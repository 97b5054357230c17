// The windowing toolbar on the two-slice fixture project: the sliders follow the active
// image window, moving them sets the window of its image (or of every image) and repaints
// it, and the map boxes set the display range of the one map shown.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>
#include <QTreeWidget>
#include <pwd.h>
#include <sys/stat.h>

#include <cstdio>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/dialogs/CNumEdit.h"
#include "app/CVexaraApp.h"
#include "app/CPrjExpFrame.h"
#include "app/CPrjExpTree.h"
#include "app/CWindowingToolBar.h"
#include "app/CommandIds.h"
#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TStateFile.h"
#include "model/ProcessingHooks.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/Paths.h"
#include "processing/InstallProcessing.h"
#include "processing/TProcessHistory.h"
#include "support/FileFaultScope.h"
#include "support/FolderKill.h"
#include "support/GuiFixture.h"
#include "support/ScriptedReport.h"
#include "views/picture/CMainPicView.h"
#include "AppSessionTest.h"
#include "Shown.h"

using namespace vx::test;

namespace {

class WindowingToolBarTest : public AppSessionTest {
protected:
    WindowingToolBarTest() : AppSessionTest(2, true) {}
    void SetUp() override
    {
        AppSessionTest::SetUp();
        frame = &Main();
        bar = frame->WindowingBar();
        ASSERT_NE(bar, nullptr);
        for (CChildFrame* child : session->ImageFrames())
            if (child->m_nAxis == 2)
                axial = child;
        ASSERT_NE(axial, nullptr);
        ASSERT_NE(axial->GetImage(), nullptr);
        for (TMRImage* image : *session->Project()->m_pImageSet)
            if (image != axial->GetImage())
                other = image;
        ASSERT_NE(other, nullptr);
        Activate(axial);
    }
    static std::pair<int, int> Window(const TMRImage* image)
    {
        return {image->GetStoredWindowLow(), image->GetStoredWindowHigh()};
    }
    // Grey level shown at the middle of image pixel (px, py) of the frame, the CSI layer off.
    int GreyAt(CChildFrame* child, float px, float py)
    {
        QApplication::processEvents();
        const CMainPicView& view = *child->View();
        const vx::TPointI p = view.MmToClient(child->GetImage()->PixelToWorld(TPoint2D(px + 0.5f, py + 0.5f)));
        const QColor c = view.Picture().pixelColor(p.x, p.y);
        EXPECT_TRUE(c.red() == c.green() && c.green() == c.blue()) << c.name().toStdString();
        return c.red();
    }
    TMap* AddMap(const std::string& name) { return AddRisingMap(*session->Project()->m_pWorkSet, name); }
    void TypeAndReturn(CNumEdit* edit, const char* text)
    {
        edit->selectAll();
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    CMainFrame* frame = nullptr;
    CWindowingToolBar* bar = nullptr;
    CChildFrame* axial = nullptr;
    TMRImage* other = nullptr;
};

class OpenedProjectTest : public AppSessionTest {
protected:
    OpenedProjectTest() : AppSessionTest(2, true) {}
};

// Straight after the project opens, before any window is clicked, the image window in front
// is the active one and the sliders and their boxes show its window.
TEST_F(OpenedProjectTest, WindowingBarShowsTheImageInFrontAsTheProjectOpens)
{
    CWindowingToolBar* bar = Main().WindowingBar();
    const CChildFrame* front = Main().ActiveImageFrame();
    ASSERT_NE(front, nullptr);
    ASSERT_NE(front->GetImage(), nullptr);
    // The fixture's images span 0 .. 1000 with the window 0 .. 1000.
    EXPECT_EQ(bar->BrightnessEdit()->text(), "500");
    EXPECT_EQ(bar->ContrastEdit()->text(), "1000");
    EXPECT_EQ(bar->ContrastSlider()->maximum(), 1000);
}

TEST_F(WindowingToolBarTest, SlidersFollowTheActiveImageWindowAndSetItsWindow)
{
    EXPECT_EQ(bar->windowTitle(), "Image Windowing ToolBar");
    // The fixture's images span 0 .. 1000 with the window 0 .. 1000.
    EXPECT_EQ(bar->BrightnessSlider()->minimum(), 0);
    EXPECT_EQ(bar->BrightnessSlider()->maximum(), 1000);
    EXPECT_EQ(bar->BrightnessSlider()->value(), 500);
    EXPECT_EQ(bar->ContrastSlider()->value(), 1000);
    EXPECT_EQ(bar->ContrastEdit()->text(), "1000");

    other->SetStoredWindow(100, 301);
    CChildFrame* otherFrame = session->Project()->OpenImageFrame(other);
    ASSERT_NE(otherFrame, nullptr);
    Activate(otherFrame);
    EXPECT_EQ(bar->BrightnessSlider()->value(), 200);
    EXPECT_EQ(bar->ContrastSlider()->value(), 201);
    EXPECT_EQ(bar->BrightnessEdit()->text(), "200");
    Activate(axial);
    EXPECT_EQ(bar->BrightnessSlider()->value(), 500);
    EXPECT_EQ(bar->ContrastSlider()->value(), 1000);

    // Moving them sets the window of the active image and repaints it.
    other->SetStoredWindow(0, 1000);
    axial->SetShowCSISlice(false);
    axial->UpdateView(false, true, false, false, false);
    // Pixel (12, 4) lies in the cell of value 400.
    ASSERT_EQ(TGuiFixture::ImageValue(12, 4), 400);
    EXPECT_EQ(GreyAt(axial, 12, 4), 400 * 255 / 1000);

    bar->BrightnessSlider()->setValue(400);
    EXPECT_EQ(Window(axial->GetImage()), std::make_pair(-100, 900));
    // An odd contrast loses its last unit: 101 gives 400 - 50 .. 400 + 50.
    bar->ContrastSlider()->setValue(101);
    EXPECT_EQ(Window(axial->GetImage()), std::make_pair(350, 450));
    EXPECT_EQ(GreyAt(axial, 12, 4), (400 - 350) * 255 / 100);
    EXPECT_EQ(Window(other), std::make_pair(0, 1000));

    // With "Autoscale all the images" every image of the project takes the window.
    frame->UpdateCommandStates();
    ASSERT_TRUE(frame->Action(cmd::AutoscaleImages)->isEnabled());
    frame->Action(cmd::AutoscaleImages)->trigger();
    ASSERT_TRUE(frame->AutoscaleImages());
    bar->ContrastSlider()->setValue(300);
    EXPECT_EQ(Window(axial->GetImage()), std::make_pair(250, 550));
    EXPECT_EQ(Window(other), std::make_pair(250, 550));

    // Without an active image window the sliders change nothing.
    frame->MdiArea()->setActiveSubWindow(nullptr);
    bar->ContrastSlider()->setValue(600);
    EXPECT_EQ(Window(axial->GetImage()), std::make_pair(250, 550));
    EXPECT_EQ(bar->ContrastSlider()->value(), 600);
}

// Every image window closed with its close box, the active one last: the sliders keep the
// values they showed and may still be moved, which changes the window of no image.
TEST_F(WindowingToolBarTest, SlidersKeepTheirValuesWhenTheActiveImageWindowCloses)
{
    bar->ContrastSlider()->setValue(300);
    ASSERT_EQ(Window(axial->GetImage()), std::make_pair(350, 650));
    std::vector<std::pair<int, int>> windows;
    for (const TMRImage* image : *session->Project()->m_pImageSet)
        windows.push_back(Window(image));
    for (CChildFrame* child : session->ImageFrames())
        if (child != axial)
            child->close();
    ASSERT_EQ(frame->ActiveImageFrame(), axial);
    axial->close();
    frame->UpdateCommandStates();
    QApplication::processEvents();
    ASSERT_TRUE(session->ImageFrames().empty());
    EXPECT_EQ(Shown({bar->BrightnessEdit(), bar->ContrastEdit()}), "500 300");
    EXPECT_EQ(bar->ContrastSlider()->value(), 300);
    ASSERT_TRUE(bar->BrightnessSlider()->isEnabled());
    bar->BrightnessSlider()->setValue(200);
    EXPECT_EQ(bar->BrightnessEdit()->text(), "200");
    std::vector<std::pair<int, int>> after;
    for (const TMRImage* image : *session->Project()->m_pImageSet)
        after.push_back(Window(image));
    EXPECT_EQ(after, windows);
}

// An image whose pixel file was missing when the project opened, shown from the explorer once
// the file is back: the bar shows the window of the image the new window draws.
TEST_F(WindowingToolBarTest, SlidersFollowAnImageWhosePixelFileCameBackAfterTheOpen)
{
    other->SetStoredWindow(100, 301);
    ASSERT_TRUE(project->Save());
    const std::string name = other->GetName(), pixels = other->GetPath(), away = pixels + ".away";
    session.reset();
    ASSERT_EQ(std::rename(pixels.c_str(), away.c_str()), 0);
    session = std::make_unique<TGuiSession>(fixture);
    ASSERT_TRUE(session->Ok());
    ASSERT_EQ(std::rename(away.c_str(), pixels.c_str()), 0);
    CPrjExpTree* tree = dynamic_cast<CPrjExpFrame&>(*session->MainFrame().ProjectExplorer()).Tree();
    tree->expandAll();
    const QList<QTreeWidgetItem*> items =
        tree->findItems(QString::fromStdString(name), Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(items.size(), 1);
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, tree->ItemLabelRect(items.first()).center());
    QApplication::processEvents();
    const CChildFrame* shown = session->MainFrame().ActiveImageFrame();
    ASSERT_NE(shown, nullptr);
    ASSERT_EQ(shown->GetImage()->GetName(), name);
    bar = session->MainFrame().WindowingBar();
    EXPECT_EQ(Shown({bar->BrightnessEdit(), bar->ContrastEdit()}), "200 201");
    EXPECT_EQ(bar->ContrastSlider()->maximum(), 1000);
}

TEST_F(WindowingToolBarTest, MapBoxesSetTheRangeOfTheOneMapShown)
{
    CVexaraApp app;  // holds the multiple-map setting
    app.SetSetting(2, 1);
    TMap* naa = AddMap("NAA_map");
    const float plane = axial->GetSlice()->GetSlicePosition();
    ASSERT_TRUE(axial->AddMapOverlay(naa, 2, plane));
    CChildFrame* otherFrame = session->Project()->OpenImageFrame(other);
    Activate(otherFrame);
    Activate(axial);
    EXPECT_EQ(bar->MapMinEdit()->text(), "1");
    EXPECT_EQ(bar->MapMaxEdit()->text(), "8");

    TypeAndReturn(bar->MapMaxEdit(), "5.5");
    EXPECT_FLOAT_EQ(naa->displayMax, 5.5f);
    EXPECT_FLOAT_EQ(naa->displayMin, 1.0f);
    EXPECT_NEAR(axial->GetMapDisplayMax(), 5.5f, 0.01f);
    EXPECT_EQ(report.Count(), 0u);

    // Two maps over the image: refused, and neither map changes.
    TMap* cho = AddMap("Cho_map");
    ASSERT_TRUE(axial->AddMapOverlay(cho, 2, plane));
    TypeAndReturn(bar->MapMinEdit(), "2");
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>({"Can't set the map display scale, because more than one maps are displayed."}));
    EXPECT_FLOAT_EQ(naa->displayMin, 1.0f);
    EXPECT_FLOAT_EQ(cho->displayMin, 1.0f);
}

// A line edit shows its whole text when it fits the style's contents rectangle, less the two
// pixels the edit keeps on either side.
bool ShowsWholeText(const QLineEdit* edit)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
    const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    return edit->fontMetrics().horizontalAdvance(edit->text()) + 4 <= contents.width();
}

TEST_F(WindowingToolBarTest, MapBoxesShowAWholeRangeWhenLeft)
{
    CVexaraApp app;
    app.SetSetting(2, 1);
    TMap* naa = AddMap("NAA_map");
    ASSERT_TRUE(axial->AddMapOverlay(naa, 2, axial->GetSlice()->GetSlicePosition()));
    Activate(session->Project()->OpenImageFrame(other));
    Activate(axial);
    TypeAndReturn(bar->MapMaxEdit(), "17728.19531");
    TypeAndReturn(bar->MapMinEdit(), "-1234567.5");
    EXPECT_FALSE(bar->MapMaxEdit()->hasFocus());
    EXPECT_EQ(bar->MapMaxEdit()->text(), "17728.19531");
    EXPECT_TRUE(ShowsWholeText(bar->MapMaxEdit()));
    EXPECT_EQ(bar->MapMinEdit()->text(), "-1234567.5");
    EXPECT_TRUE(ShowsWholeText(bar->MapMinEdit()));
}

TEST_F(WindowingToolBarTest, CorrectionBarSmoothsAndNormalisesTheActiveImageAsUndoableSteps)
{
    axial->SetShowCSISlice(false);
    axial->UpdateView(false, true, false, false, false);
    // Pixel (7, 4) is the last of a cell of 0 beside a cell of 400; (60, 4) lies in a cell of 1000.
    ASSERT_EQ(TGuiFixture::ImageValue(7, 4), 0);
    ASSERT_EQ(TGuiFixture::ImageValue(8, 4), 400);
    ASSERT_EQ(TGuiFixture::ImageValue(60, 4), 1000);
    ASSERT_EQ(GreyAt(axial, 7, 4), 0);
    // The Project Toolbar's button opens the hidden bar, and closes it again at the end.
    QDockWidget* bar = frame->CorrectionBar();
    QAction* toggle = frame->Action(cmd::SurfaceCoilNormalization);
    ASSERT_FALSE(bar->isVisible());
    ASSERT_TRUE(toggle->isEnabled());
    toggle->trigger();
    ASSERT_TRUE(bar->isVisible());
    auto click = [&](const char* button) {
        QTest::mouseClick(bar->findChild<QPushButton*>(button), Qt::LeftButton);
        QApplication::processEvents();
    };

    // Smoothing spreads the 400 cell into its neighbour; Undo gives the pixels back. An
    // undo whose state the disk fails to give says so in one message and changes nothing.
    click("SmoothButton");
    const int smoothed = GreyAt(axial, 7, 4);
    EXPECT_GT(smoothed, 0);
    EXPECT_EQ(StepNames(), std::vector<std::string>({"image smoothing"}));
    report.Clear();
    {
        TFileFaultScope fault({{vx::kFileRead, EIO, 1, true}});
        frame->Action(cmd::EditUndo)->trigger();
    }
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"The undo was not done: its state file " +
                                                          project->StateFolder().folder->PathOf("is0.tmp") +
                                                          " cannot be read to its end: input/output error."});
    EXPECT_EQ(GreyAt(axial, 7, 4), smoothed);
    // So does one whose state file the user may not read (root's, where the tests run as
    // root), in a state folder the user may reach and write.
    const std::string stateFolder = project->StateFolder().folder->Path(), state = stateFolder + "/is0.tmp";
    const std::string owner = ::getpwuid(::geteuid())->pw_name, root = vx::FolderOf(project->GetFolder());
    ASSERT_EQ(::chmod(root.c_str(), 0711), 0);
    ASSERT_EQ(::chmod(stateFolder.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(state.c_str(), 0), 0);
    report.Clear();
    AsAnOrdinaryUserHere([&] {
        frame->Action(cmd::EditUndo)->trigger();
        return std::string();
    });
    EXPECT_EQ(report.Messages(), std::vector<std::string>{"The undo was not done: its state file " + state +
                                                          " cannot be read: you may not read it. Ask its owner, " +
                                                          owner + ", to let you read it."});
    EXPECT_EQ(GreyAt(axial, 7, 4), smoothed);
    ASSERT_EQ(::chmod(state.c_str(), 0600), 0);
    ASSERT_EQ(::chmod(stateFolder.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(root.c_str(), 0700), 0);
    frame->Action(cmd::EditUndo)->trigger();
    EXPECT_EQ(GreyAt(axial, 7, 4), 0);

    // A blank box, or a number out of its range or beyond a float, is refused with the range and nothing runs.
    const int before[2] = {GreyAt(axial, 12, 4), GreyAt(axial, 60, 4)};
    const struct {
        const char* width;
        const char* threshold;
        const char* message;
    } refused[] = {{"", "10", "Please enter an integer between 1 and 64."},
                   {"0", "10", "Please enter an integer between 1 and 64."},
                   {"3", "", "Please enter an integer between 0 and 100."},
                   {"3", "101", "Please enter an integer between 0 and 100."},
                   // Never the digits before an exponent.
                   {"1e400", "10", "Please enter an integer between 1 and 64."},
                   {"3", "1e400%", "Please enter an integer between 0 and 100."}};
    for (const auto& r : refused) {
        report.Clear();
        bar->findChild<QLineEdit*>("LineWidthEdit")->setText(r.width);
        bar->findChild<QLineEdit*>("ThresholdEdit")->setText(r.threshold);
        click("ApplyButton");
        EXPECT_EQ(report.Messages(), std::vector<std::string>{r.message}) << r.width << " " << r.threshold;
        EXPECT_EQ(StepNames(), std::vector<std::string>{}) << r.width << " " << r.threshold;
        EXPECT_EQ(GreyAt(axial, 12, 4), before[0]);
        EXPECT_EQ(GreyAt(axial, 60, 4), before[1]);
    }
    // Leading digits count: a width of 1 and "10%" run as one undoable step; what is below
    // the threshold becomes 0.
    report.Clear();
    bar->findChild<QLineEdit*>("LineWidthEdit")->setText("1");
    bar->findChild<QLineEdit*>("ThresholdEdit")->setText("10%");
    click("ApplyButton");
    EXPECT_GT(GreyAt(axial, 12, 4), 0);
    EXPECT_EQ(GreyAt(axial, 7, 4), 0);
    EXPECT_EQ(StepNames(), std::vector<std::string>({"image intensity normalization"}));
    EXPECT_EQ(report.Count(), 0u);
    toggle->trigger();
    EXPECT_FALSE(bar->isVisible());
}

}  // namespace
