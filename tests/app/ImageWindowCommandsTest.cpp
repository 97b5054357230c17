// The commands of an image window on the fixture project: the popup's layer switches and
// maps, image navigation, the map-scale reset, Edit > Copy and printing to PDF.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMdiArea>
#include <QMenu>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/dialogs/CNumEdit.h"
#include "app/CVexaraApp.h"
#include "app/CWindowingToolBar.h"
#include "app/CommandIds.h"
#include "app/dialogs/DialogRunner.h"
#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "support/DialogScript.h"
#include "support/GuiFixture.h"
#include "support/GuiMenu.h"
#include "support/ScriptedReport.h"
#include "support/TestFiles.h"
#include "views/picture/CMainPicView.h"
#include "AppSessionTest.h"

using namespace vx::test;

namespace {

class ImageWindowCommandsTest : public AppSessionTest {
protected:
    ImageWindowCommandsTest() : AppSessionTest(2) {}
    void SetUp() override
    {
        AppSessionTest::SetUp();
        frame = Frame("(Axial) axial_2 @ 100%");
        ASSERT_NE(frame, nullptr);
        view = frame->View();
        Activate(frame);
    }
    void TearDown() override
    {
        vx::app::SetMenuRunner({});
        AppSessionTest::TearDown();
    }

    // A map of 8 x 8 x 1 values k + (20 - 3k) i, whose real, imaginary and magnitude
    // ranges all differ, added to the work set.
    TMap* AddMap(const std::string& name)
    {
        auto* map = new TMap(set);
        const int dim[3] = {TGuiFixture::kColumns, TGuiFixture::kRows, 1};
        std::vector<TComplex> values;
        for (int k = 0; k < dim[0] * dim[1]; ++k)
            values.emplace_back(static_cast<float>(k), 20.0f - 3.0f * static_cast<float>(k));
        EXPECT_TRUE(map->SetGrid(dim, values));
        map->UpdateStatistics();
        map->name = name;
        std::copy(set->m_fFOV, set->m_fFOV + 3, map->fov);
        map->displayMin = 0.0f;
        map->displayMax = 1.0f;
        set->AddMap(map);
        return map;
    }
    // The popup as the right button shows it: the entries' texts, and the checked ones.
    std::vector<std::string> MenuTexts(bool checkedOnly)
    {
        std::vector<std::string> texts;
        const std::unique_ptr<QMenu> menu = view->MakeContextMenu();
        for (QAction* action : menu->actions())
            if (!action->isSeparator() && (!checkedOnly || action->isChecked()))
                texts.push_back(action->text().toStdString());
        return texts;
    }
    // A right click whose popup chooses the entry with this text.
    void Choose(const std::string& text)
    {
        vx::app::SetMenuRunner([text](QMenu& menu, const QPoint&) -> QAction* {
            for (QAction* action : menu.actions())
                if (action->text().toStdString() == text)
                    return action;
            return nullptr;
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), view->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(view->viewport(), &event);
    }

    CChildFrame* frame = nullptr;
    CMainPicView* view = nullptr;
};

TEST_F(ImageWindowCommandsTest, PopupSwitchesEachLayerItsWindowCanShow)
{
    EXPECT_EQ(MenuTexts(false), std::vector<std::string>({"Report Current Window", "Report All Windows",
                                                           "Report Spectral Estimation", "Image", "CSI Slice", "VOI",
                                                           "User Draw Regions", "Unselected voxels"}));
    const struct {
        const char* entry;
        bool CMainPicView::*flag;
        CMainPicView::Layer layer;
    } switches[] = {
        {"Image", &CMainPicView::m_bShowImage, CMainPicView::ImageLayer},
        {"CSI Slice", &CMainPicView::m_bShowCSISlice, CMainPicView::CSILayer},
        {"VOI", &CMainPicView::m_bShowVOI, CMainPicView::VOILayer},
        {"User Draw Regions", &CMainPicView::m_bShowRegions, CMainPicView::RegionLayer},
        {"Unselected voxels", &CMainPicView::m_bShowUnselected, CMainPicView::CSILayer},
    };
    for (const auto& s : switches) {
        SCOPED_TRACE(s.entry);
        const bool before = view->*s.flag;
        const int paints = view->LayerPaintCount(s.layer);
        const std::vector<std::string> checked = MenuTexts(true);
        EXPECT_EQ(std::count(checked.begin(), checked.end(), s.entry), before ? 1 : 0);
        Choose(s.entry);
        EXPECT_EQ(view->*s.flag, !before);
        EXPECT_EQ(view->LayerPaintCount(s.layer), paints + 1);
        Choose(s.entry);
        EXPECT_EQ(view->*s.flag, before);
    }

    // A window without an image has no image to switch; the reports are not offered yet.
    CChildFrame* coronal = session->FrameTitled("(Coronal) No image @ 100%");
    ASSERT_NE(coronal, nullptr);
    CMainPicView* other = coronal->View();
    const bool shown = other->m_bShowImage;
    other->OnImgWndImage();
    EXPECT_EQ(other->m_bShowImage, shown);
    const std::unique_ptr<QMenu> menu = view->MakeContextMenu();
    for (QAction* action : menu->actions()) {
        if (action->text().startsWith("Report")) {
            EXPECT_TRUE(action->isEnabled() && !action->isCheckable());
        }
    }
}

TEST_F(ImageWindowCommandsTest, MapEntriesSwitchOverlaysAndStopAtFifty)
{
    AddMap("NAA");
    AddMap("Cho");
    CNumEdit* shownMax = session->MainFrame().WindowingBar()->MapMaxEdit();
    const QImage plain = view->LayerImage(CMainPicView::ImageLayer).copy();

    Choose("Cho");
    EXPECT_EQ(frame->windowTitle(), "(Axial) axial_2 @ 100%<Cho>");
    EXPECT_EQ(MenuTexts(true).back(), "Cho");
    // The windowing toolbar shows the window's map range.
    EXPECT_GT(frame->GetMapDisplayMax(), 0.0f);
    EXPECT_NEAR(shownMax->GetText().toDouble(), frame->GetMapDisplayMax(), 1e-4);
    EXPECT_NE(view->LayerImage(CMainPicView::ImageLayer), plain);
    Choose("Cho");
    EXPECT_EQ(frame->windowTitle(), "(Axial) axial_2 @ 100%");
    EXPECT_EQ(view->LayerImage(CMainPicView::ImageLayer), plain);
    // With no map shown the box is blank and closed to typing.
    EXPECT_EQ(shownMax->GetText(), "");
    EXPECT_FALSE(shownMax->isEnabled());

    for (int k = 2; k < 60; ++k)
        AddMap("map" + std::to_string(k));
    const std::vector<std::string> texts = MenuTexts(false);
    ASSERT_EQ(texts.size(), 8u + CMainPicView::kMaxMapItems);
    EXPECT_EQ(texts.back(), "map49");
}

// The right button's popup through the window, as a user opens it: a map's entry says what
// it does in the main frame's status bar while the mouse is over it.
TEST_F(ImageWindowCommandsTest, MapEntriesShowTheirPromptInTheStatusBar)
{
    AddMap("NAA");
    const TMenuPrompt prompt = ChooseFromMenu(Main(), view->viewport(), Qt::RightButton, QPoint(20, 20), "NAA");
    ASSERT_TRUE(prompt.found);
    EXPECT_EQ(prompt.status, "Switch map on/off");
    EXPECT_EQ(frame->windowTitle(), "(Axial) axial_2 @ 100%<NAA>");
}

// Every command of the popup says what it does in the status bar while the mouse is over it.
TEST_F(ImageWindowCommandsTest, EveryPopupCommandShowsItsPrompt)
{
    AddMap("NAA");
    const auto prompts = MenuPrompts(Main(), view->viewport(), Qt::RightButton, QPoint(20, 20));
    EXPECT_EQ(prompts, (std::vector<std::pair<QString, QString>>{
                           {"Report Current Window", "Write an HTML report of this window"},
                           {"Report All Windows", "Write an HTML report of every image window"},
                           {"Report Spectral Estimation", "Write an HTML report of the spectral estimation windows"},
                           {"Image", "Show or hide the image"},
                           {"CSI Slice", "Show or hide the CSI grid and its spectra"},
                           {"VOI", "Show or hide the volume of interest"},
                           {"User Draw Regions", "Show or hide the drawn regions"},
                           {"Unselected voxels", "Show or hide the voxels that are not selected"},
                           {"NAA", "Switch map on/off"}}));
}

TEST_F(ImageWindowCommandsTest, NavigationStaysWithinTheImagesOfTheOrientation)
{
    // The images in the collection's order: slice 1 (axial_2) lies below slice 0.
    const struct {
        int command;
        const char* image;
    } steps[] = {
        {cmd::PreviousImage, "axial_2"}, {cmd::NextImage, "axial_1"}, {cmd::NextImage, "axial_1"},
        {cmd::PreviousImage, "axial_2"}, {cmd::LastImage, "axial_1"}, {cmd::LastImage, "axial_1"},
        {cmd::FirstImage, "axial_2"},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.command);
        Trigger(step.command);
        ASSERT_NE(frame->GetImage(), nullptr);
        EXPECT_EQ(frame->GetImage()->GetName(), step.image);
        // The slice follows the image.
        const int slice = std::string(step.image) == "axial_2" ? 1 : 0;
        ASSERT_NE(frame->GetSlice(), nullptr);
        EXPECT_EQ(frame->GetSlice()->GetSliceIndex(), slice);
        EXPECT_EQ(frame->windowTitle().toStdString(), "(Axial) " + std::string(step.image) + " @ 100%");
    }
}

TEST_F(ImageWindowCommandsTest, MapScaleResetTakesThePartTheSpectraShow)
{
    TMap* map = AddMap("NAA");
    TMap* other = AddMap("Cho");
    Choose("NAA");
    // The extremes of each part over the map's values k + (20 - 3k) i.
    float lo[3] = {1e9f, 1e9f, 1e9f}, hi[3] = {-1e9f, -1e9f, -1e9f};
    for (int k = 0; k < TGuiFixture::kColumns * TGuiFixture::kRows; ++k) {
        const TComplex v(static_cast<float>(k), 20.0f - 3.0f * static_cast<float>(k));
        const float parts[3] = {v.real(), v.imag(), std::abs(v)};
        for (int p = 0; p < 3; ++p) {
            lo[p] = std::min(lo[p], parts[p]);
            hi[p] = std::max(hi[p], parts[p]);
        }
    }
    const int32_t partBits = TSpectrumDisplayParams::kPartBits;
    const struct {
        int32_t flags;
        int part;
    } cases[] = {
        {TSpectrumDisplayParams::kReal | TSpectrumDisplayParams::kMagnitude, 0},
        {TSpectrumDisplayParams::kImaginary, 1},
        {TSpectrumDisplayParams::kMagnitude, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        project->m_display.m_nFlags = (project->m_display.m_nFlags & ~partBits) | c.flags;
        Trigger(cmd::ResetMapScale);
        EXPECT_FLOAT_EQ(map->displayMin, lo[c.part]);
        EXPECT_FLOAT_EQ(map->displayMax, hi[c.part]);
        // The window shows the new range.
        const float tolerance = 1e-3f * (hi[c.part] - lo[c.part]);
        EXPECT_NEAR(frame->GetMapDisplayMin(), lo[c.part], tolerance);
        EXPECT_NEAR(frame->GetMapDisplayMax(), hi[c.part], tolerance);
    }

    // With the setting for several maps, two shown: nothing changes.
    CVexaraApp app;
    app.SetSetting(2, 1);
    Choose("Cho");
    ASSERT_EQ(frame->GetMapOverlays().size(), 2u);
    project->m_display.m_nFlags = (project->m_display.m_nFlags & ~partBits) | TSpectrumDisplayParams::kReal;
    const float before = other->displayMax;
    Trigger(cmd::ResetMapScale);
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>({"Can't reset the display scale because more than one map is displayed."}));
    EXPECT_FLOAT_EQ(map->displayMax, hi[2]);
    EXPECT_FLOAT_EQ(other->displayMax, before);
}

TEST_F(ImageWindowCommandsTest, CopyPutsThePictureWithoutTheStatusTextOnTheClipboard)
{
    view->SetStatusText("");
    QApplication::processEvents();
    const QImage shown = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    view->SetStatusText("(-15mm, 15mm), (3,4)");
    Trigger(cmd::EditCopy);
    const QImage copied = QApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(copied.isNull());
    EXPECT_EQ(copied, shown);
}

class PrintTest : public ImageWindowCommandsTest {
protected:
    // Prints the active window into a PDF; the text of its pages, separated by form feeds.
    std::string PrintToText()
    {
        const std::string pdf = folder.File("slices.pdf");
        TDialogScript script([&pdf](QDialog& dialog) {
            auto& print = dynamic_cast<QPrintDialog&>(dialog);
            print.printer()->setOutputFormat(QPrinter::PdfFormat);
            print.printer()->setOutputFileName(QString::fromStdString(pdf));
            return static_cast<int>(QDialog::Accepted);
        });
        Trigger(cmd::FilePrint);
        if (QStandardPaths::findExecutable("pdftotext").isEmpty()) {
            ADD_FAILURE() << "pdftotext (poppler-utils, see scripts/deps) is needed to read the printout";
            return {};
        }
        QProcess text;
        text.start("pdftotext", {"-raw", QString::fromStdString(pdf), "-"});
        EXPECT_TRUE(text.waitForFinished(30000));
        return text.readAllStandardOutput().toStdString();
    }
    static std::vector<std::string> Pages(const std::string& text)
    {
        std::vector<std::string> pages;
        size_t start = 0;
        for (size_t end; (end = text.find('\f', start)) != std::string::npos; start = end + 1)
            pages.push_back(text.substr(start, end - start));
        return pages;
    }
    static bool Holds(const std::string& page, const std::string& line)
    {
        return page.find(line) != std::string::npos;
    }

    TTempFolder folder;
};

TEST_F(PrintTest, OnePagePerSliceWithTheAcquisitionHeaderAndTheVoxelsShown)
{
    const std::vector<std::string> pages = Pages(PrintToText());
    ASSERT_EQ(pages.size(), 2u);
    const std::string range = ", Spectrum start: " + std::to_string(project->m_display.m_nXStart) +
                              ", Spectrum end: " + std::to_string(project->m_display.m_nXEnd);
    for (int k = 0; k < 2; ++k) {
        SCOPED_TRACE(k);
        EXPECT_TRUE(Holds(pages[k], "Set name: fixture_csi, exam date: n/a, orientation: Axial, slice number: " +
                                        std::to_string(k)))
            << pages[k];
        EXPECT_TRUE(Holds(pages[k], "TR(ms): 1500, TE(ms): 144, SweepWidth(Hz): 1600, Voxel size(mm): 30 x 30 x 10"))
            << pages[k];
        EXPECT_TRUE(Holds(pages[k], "TopLeft voxel:(0,0), BottomRight voxel:(7,7)" + range)) << pages[k];
    }

    // A zoomed window prints the voxels it shows: at zoom 8 a client pixel is 240 / 64 / 8 mm, so a 30 mm voxel spans 64 of them.
    view->m_fZoom = 8.0f;
    view->RepaintAllLayers();
    view->UpdateScrollBars();
    view->ComposeLayers();
    view->horizontalScrollBar()->setValue(0);
    view->verticalScrollBar()->setValue(0);
    QApplication::processEvents();
    const int right = (view->viewport()->width() - 1) / 64;
    const int bottom = (view->viewport()->height() - 1) / 64;
    ASSERT_LT(right, TGuiFixture::kColumns - 1);
    const std::vector<std::string> zoomed = Pages(PrintToText());
    ASSERT_EQ(zoomed.size(), 2u);
    EXPECT_TRUE(Holds(zoomed[1], "TopLeft voxel:(0,0), BottomRight voxel:(" + std::to_string(right) + "," +
                                     std::to_string(bottom) + ")"))
        << zoomed[1];
}

TEST_F(PrintTest, NothingIsPrintedWithoutASetOrASlice)
{
    TDialogScript script([](QDialog&) { return static_cast<int>(QDialog::Rejected); });
    TCSISet* work = project->m_pWorkSet;
    project->m_pWorkSet = nullptr;
    view->OnFilePrint();
    project->m_pWorkSet = work;
    EXPECT_EQ(script.runs, 0);

    // A window whose plane misses the set.
    frame->SetCSISliceByIndex(nullptr, 2, 0);
    ASSERT_EQ(frame->GetSlice(), nullptr);
    view->OnFilePrint();
    EXPECT_EQ(script.runs, 0);
    EXPECT_EQ(report.Messages(),
              std::vector<std::string>({"No CSI set is active now.", "No CSI slice is available for printing."}));
}

}  // namespace
