// The image windows of a project: opening and closing them with the per-orientation image
// lists, titles, moving the other planes to a chosen voxel, map overlays and what a
// closing window lets go of.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMdiArea>

#include <memory>
#include <string>
#include <vector>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CVexaraApp.h"
#include "app/CVoxelWindowBase.h"
#include "app/TImageFrameList.h"
#include "app/WindowFactory.h"
#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "support/GuiFixture.h"
#include "support/ScriptedReport.h"
#include "views/picture/CMainPicView.h"
#include "AppSessionTest.h"

using namespace vx::test;

namespace {

std::string Title(const CChildFrame* frame)
{
    return frame->windowTitle().toStdString();
}

std::vector<std::string> Names(const std::vector<TMRImage*>& images)
{
    std::vector<std::string> names;
    for (const TMRImage* image : images)
        names.push_back(image->GetName());
    return names;
}

// True when a layer holds a pixel other than black.
bool HasDrawing(const QImage& layer)
{
    for (int y = 0; y < layer.height(); ++y)
        for (int x = 0; x < layer.width(); ++x)
            if ((layer.pixel(x, y) & 0xffffff) != 0)
                return true;
    return false;
}

class FrameListTest : public AppSessionTest {
protected:
    explicit FrameListTest(int slices = 1) : AppSessionTest(slices) {}
    void SetUp() override
    {
        AppSessionTest::SetUp();
        list = dynamic_cast<TImageFrameList*>(project->m_frameList.get());
        ASSERT_NE(list, nullptr);
    }
    TMRImage* Image(const std::string& name)
    {
        for (TMRImage* image : *project->m_pImageSet)
            if (image->GetName() == name)
                return image;
        ADD_FAILURE() << name;
        return nullptr;
    }
    // A map of the work set's grid whose voxel (x, y) holds x + 1 + offset.
    TMap* AddMap(const std::string& name, float offset)
    {
        auto* map = new TMap(project->m_pWorkSet);
        const int dim[3] = {8, 8, 1};
        std::vector<TComplex> values;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                values.emplace_back(x + 1 + offset, 0.0f);
        EXPECT_TRUE(map->SetGrid(dim, values));
        map->name = name;
        std::copy(project->m_pWorkSet->m_fFOV, project->m_pWorkSet->m_fFOV + 3, map->fov);
        map->minReal = 1 + offset;
        map->maxReal = 8 + offset;
        map->displayMin = 1 + offset;
        map->displayMax = 8 + offset;
        project->m_pWorkSet->AddMap(map);
        return map;
    }

    TImageFrameList* list = nullptr;
};

class TwoSliceFrameListTest : public FrameListTest {
protected:
    TwoSliceFrameListTest() : FrameListTest(2) {}
};

TEST_F(TwoSliceFrameListTest, ImagesOfOneOrientationAreListedInOpeningOrder)
{
    project->CloseImageFrames();
    EXPECT_TRUE(list->IsEmpty());
    CChildFrame* first = list->OpenImageFrame(Image("axial_1"));
    CChildFrame* second = list->OpenImageFrame(Image("axial_2"));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->m_nKind, CChildFrame::kImageFrame);
    EXPECT_EQ(Title(first), "(Axial) axial_1 @ 100%");
    EXPECT_EQ(Title(second), "(Axial) axial_2 @ 100%");
    EXPECT_EQ(Names(list->GetImagesOfOrientation(2)), std::vector<std::string>({"axial_1", "axial_2"}));
    // An image frame's slice is the set's plane of the image.
    ASSERT_NE(second->GetSlice(), nullptr);
    EXPECT_EQ(second->GetSlice()->GetSliceIndex(), 1);

    // The user's close box: the window leaves the list at once and the lists are rebuilt.
    first->close();
    EXPECT_EQ(list->Frames(), std::vector<CChildFrame*>({second}));
    EXPECT_EQ(Names(list->GetImagesOfOrientation(2)), std::vector<std::string>({"axial_2"}));
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    EXPECT_TRUE(list->CloseImageFrame(Image("axial_2")));
    EXPECT_FALSE(list->CloseImageFrame(Image("axial_2")));
    EXPECT_TRUE(list->IsEmpty());
    EXPECT_TRUE(list->GetImagesOfOrientation(2).empty());
    EXPECT_TRUE(list->GetImagesOfOrientation(7).empty());
    EXPECT_TRUE(session->MainFrame().MdiArea()->subWindowList().isEmpty() ||
                !session->MainFrame().MdiArea()->subWindowList().contains(second));
}

TEST_F(FrameListTest, OtherWindowsDrawTheLinesOfTheImagesOnScreen)
{
    CChildFrame* sagittal = session->FrameTitled("(Sagittal) No image @ 100%");
    CChildFrame* axial = session->FrameTitled("(Axial) axial_1 @ 100%");
    ASSERT_NE(sagittal, nullptr);
    ASSERT_NE(axial, nullptr);
    // The axial image on screen cuts the sagittal plane along a line.
    EXPECT_TRUE(HasDrawing(sagittal->View()->LayerImage(CMainPicView::LocationLayer)));
    delete axial;
    EXPECT_TRUE(list->GetImagesOfOrientation(2).empty());
    EXPECT_FALSE(HasDrawing(sagittal->View()->LayerImage(CMainPicView::LocationLayer)));
}

TEST_F(FrameListTest, RefusedWindowsLeaveNothingBehind)
{
    const int windows = session->MainFrame().MdiArea()->subWindowList().size();
    EXPECT_EQ(list->OpenImageFrame(nullptr), nullptr);
    EXPECT_EQ(report.Count(), 0u);
    // Planes outside the set (10 mm thick, 240 mm wide) and bad axes make no window.
    EXPECT_EQ(list->OpenSliceFrameByPosition(2, 6.0f), nullptr);
    EXPECT_EQ(list->OpenSliceFrameByPosition(0, -121.0f), nullptr);
    EXPECT_EQ(list->OpenSliceFrameByIndex(2, 1), nullptr);
    EXPECT_EQ(list->OpenSliceFrameByIndex(1, -1), nullptr);
    EXPECT_EQ(list->GetCount(), 3);
    EXPECT_EQ(session->MainFrame().MdiArea()->subWindowList().size(), windows);
    EXPECT_EQ(report.Count(), 0u);

    // A window asked to show no image says so.
    CChildFrame frame(list);
    EXPECT_FALSE(frame.CreateForImage(&session->MainFrame(), nullptr));
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"Invalid Image"}));
}

TEST_F(FrameListTest, PlaneWithoutImageIsTitledNoImageAtItsZoom)
{
    project->CloseImageFrames();
    // The image moves 100 mm away from the only axial plane.
    Image("axial_1")->SetParameter(100.0f, TMRImage::ParamSlicePosition, false);
    CChildFrame* frame = list->OpenSliceFrameByPosition(2, 0.0f);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->GetImage(), nullptr);
    EXPECT_EQ(Title(frame), "(Axial) No image @ 100%");
    EXPECT_FALSE(frame->View()->m_bShowImage);
    frame->View()->m_fZoom = 2.0f;
    frame->UpdateTitle();
    EXPECT_EQ(Title(frame), "(Axial) No image @ 200%");
    frame->View()->m_fZoom = 0.8f * 0.8f;
    frame->UpdateTitle();
    EXPECT_EQ(Title(frame), "(Axial) No image @ 64%");
    EXPECT_EQ(frame->GetMapDisplayMin(), 0.0f);
    EXPECT_EQ(frame->GetMapDisplayMax(), 0.0f);
    // The title texts of images of an orientation without a name.
    TMRImage odd(project);
    EXPECT_TRUE(odd.SetName("odd", false));
    odd.SetOrientation(3, false);
    EXPECT_EQ(CChildFrame::TitleText(&odd, nullptr, 1.5f), "(Unknown) odd @ 150%");
}

TEST_F(FrameListTest, ChosenVoxelMovesTheFirstWindowOfEachOtherAxis)
{
    project->CloseImageFrames();
    // Two sagittal, two coronal and the axial plane, in this order.
    const std::vector<CChildFrame*> frames = {list->OpenSliceFrameByIndex(0, 1), list->OpenSliceFrameByIndex(1, 2),
                                              list->OpenSliceFrameByIndex(0, 6), list->OpenSliceFrameByIndex(1, 5),
                                              list->OpenSliceFrameByIndex(2, 0)};
    for (CChildFrame* f : frames)
        ASSERT_NE(f, nullptr);
    CChildFrame *s1 = frames[0], *c1 = frames[1];
    // Each window's plane and whether it shows the grid.
    const auto planes = [&] {
        std::vector<std::pair<int, bool>> out;
        for (CChildFrame* f : frames)
            out.push_back({f->GetSlice()->GetSliceIndex(), f->View()->m_bShowCSISlice});
        return out;
    };

    const TSpectrum* voxel = set->GetVoxel(3, 4, 0);
    list->SyncSlicesToVoxel(2, voxel->m_fCentre);
    EXPECT_EQ(planes(), (std::vector<std::pair<int, bool>>{{3, true}, {4, true}, {6, true}, {5, true}, {0, true}}));
    EXPECT_FLOAT_EQ(s1->m_position[0], voxel->m_fCentre[0]);
    EXPECT_FLOAT_EQ(c1->m_position[1], voxel->m_fCentre[1]);
    EXPECT_EQ(Title(s1), "(Sagittal) No image @ 100%");

    // A plane outside the set switches the window's grid off (its plane stays), and the
    // next window of that axis is tried; the axial window is not touched by an axial choice.
    const float outside[3] = {500.0f, voxel->m_fCentre[1], 0.0f};
    list->SyncSlicesToVoxel(2, outside);
    EXPECT_EQ(planes(), (std::vector<std::pair<int, bool>>{{3, false}, {4, true}, {6, false}, {5, true}, {0, true}}));
    EXPECT_EQ(report.Count(), 0u);
}

TEST_F(FrameListTest, OverlaysFollowTheMultipleMapSettingAndTheWorkSet)
{
    CChildFrame* frame = session->FrameTitled("(Axial) axial_1 @ 100%");
    ASSERT_NE(frame, nullptr);
    TMap* naa = AddMap("NAA_map", 0.0f);
    TMap* cho = AddMap("Cho_map", 10.0f);
    CVexaraApp app;  // holds the settings

    app.SetSetting(2, 0);
    ASSERT_TRUE(frame->AddMapOverlay(naa, 2, 0.0f));
    ASSERT_TRUE(frame->AddMapOverlay(cho, 2, 0.0f));
    frame->UpdateTitle();
    EXPECT_EQ(Title(frame), "(Axial) axial_1 @ 100%<Cho_map>");
    EXPECT_FALSE(frame->HasMapOverlay(naa));

    app.SetSetting(2, 1);
    ASSERT_TRUE(frame->AddMapOverlay(naa, 2, 0.0f));
    frame->UpdateTitle();
    EXPECT_EQ(Title(frame), "(Axial) axial_1 @ 100%<Cho_map><NAA_map>");
    // The display range is the sum over the overlays.
    EXPECT_NEAR(frame->GetMapDisplayMin(), 1.0f + 11.0f, 0.05f);
    EXPECT_NEAR(frame->GetMapDisplayMax(), 8.0f + 18.0f, 0.05f);
    naa->displayMin = 2.0f;
    naa->displayMax = 4.0f;
    frame->ApplyMapScale(naa);
    EXPECT_NEAR(frame->GetMapDisplayMin(), 2.0f + 11.0f, 0.05f);
    EXPECT_NEAR(frame->GetMapDisplayMax(), 4.0f + 18.0f, 0.05f);

    // A plane outside the map changes nothing.
    EXPECT_FALSE(frame->AddMapOverlay(naa, 2, 50.0f));
    EXPECT_EQ(report.Messages(), std::vector<std::string>({"There is no CSI map available for this image."}));
    EXPECT_EQ(frame->GetMapOverlays().size(), 2u);

    // Reloading keeps the overlays whose maps still exist, in order.
    delete project->m_pWorkSet->m_pMapList;
    project->m_pWorkSet->m_pMapList = nullptr;
    AddMap("NAA_map", 0.0f);
    frame->UpdateView(true, true, false, false, false);
    frame->UpdateTitle();
    EXPECT_EQ(Title(frame), "(Axial) axial_1 @ 100%<NAA_map>");
    EXPECT_TRUE(frame->RemoveMapOverlay(project->m_pWorkSet->FindMap("NAA_map")));
    EXPECT_FALSE(frame->RemoveMapOverlay(project->m_pWorkSet->FindMap("NAA_map")));
    EXPECT_EQ(frame->GetMapDisplayMin(), 0.0f);

    // Reloading without a work set switches the grid off and drops the overlays.
    ASSERT_TRUE(frame->AddMapOverlay(project->m_pWorkSet->FindMap("NAA_map"), 2, 0.0f));
    TCSISet* set = project->m_pWorkSet;
    project->m_pWorkSet = nullptr;
    project->UpdateFrames(true, true, true, true, false);
    EXPECT_EQ(frame->GetSlice(), nullptr);
    EXPECT_FALSE(frame->View()->m_bShowCSISlice);
    EXPECT_TRUE(frame->GetMapOverlays().empty());
    project->m_pWorkSet = set;
}

TEST_F(FrameListTest, ClosingAWindowClosesItsVoxelWindowsAndTheOthersForgetIt)
{
    CMainFrame& main = session->MainFrame();
    CChildFrame* axial = session->FrameTitled("(Axial) axial_1 @ 100%");
    CChildFrame* coronal = session->FrameTitled("(Coronal) No image @ 100%");
    ASSERT_NE(axial, nullptr);
    ASSERT_NE(coronal, nullptr);
    TSpectrum* voxel = project->m_pWorkSet->GetVoxel(1, 1, 0);
    TMouseEvent shift;
    shift.m_nKeys = TMouseEvent::kShift;
    main.OpenVoxelWindow(voxel, shift, axial);
    main.OpenVoxelWindow(voxel, shift, coronal);
    main.MdiArea()->setActiveSubWindow(axial);
    main.OpenAverageWindow(voxel, TMouseEvent());
    ASSERT_EQ(main.SingleVoxelWindows().GetCount(), 2);
    auto* average = static_cast<CVoxelWindowBase*>(main.AverageWindows().GetFirst());
    ASSERT_NE(average, nullptr);
    EXPECT_EQ(average->GetChildFrame(), axial);

    axial->close();
    ASSERT_EQ(main.SingleVoxelWindows().GetCount(), 1);
    EXPECT_EQ(static_cast<CVoxelWindowBase*>(main.SingleVoxelWindows().GetFirst())->GetChildFrame(), coronal);
    ASSERT_EQ(main.AverageWindows().GetCount(), 1);
    EXPECT_EQ(average->GetChildFrame(), nullptr);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(list->GetCount(), 2);
}

TEST(FrameListOwnership, MainWindowGoingFirstTakesTheImageWindowsWithIt)
{
    vx::ResetGlobals();
    TScriptedReport report;
    TGuiFixture one;
    ASSERT_TRUE(one.Ok());
    auto main = std::make_unique<CMainFrame>();
    ASSERT_TRUE(main->LoadFrame());
    auto owned = std::make_unique<TProject>(main.get());
    g_pProject = owned.get();
    ASSERT_TRUE(owned->Load(one.ProjectPath()));
    auto* frames = dynamic_cast<TImageFrameList*>(owned->m_frameList.get());
    ASSERT_NE(frames, nullptr);
    ASSERT_EQ(frames->GetCount(), 3);
    main.reset();
    EXPECT_TRUE(frames->IsEmpty());
    EXPECT_TRUE(frames->GetImagesOfOrientation(2).empty());
    owned.reset();
    vx::ResetGlobals();
}

}  // namespace
