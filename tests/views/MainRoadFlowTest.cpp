// The main road on the fixture project, as a user goes it: the opened project's slice
// windows, a voxel, phasing with the panel's bars and Apply, Undo, a map from two clicks,
// saving and opening again, and a PCA from the panel. A picture is saved after each step.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>

#include <algorithm>
#include <complex>
#include <list>
#include <string>
#include <vector>

#include "app/dialogs/CCreateMapDlg.h"
#include "app/TAnalysisWndList.h"
#include "model/ProcessingHooks.h"
#include "model/TMap.h"
#include "processing/InstallProcessing.h"
#include "processing/TProcessHistory.h"
#include "support/DialogScript.h"
#include "support/GuiGrab.h"
#include "views/picture/CMainPicView.h"
#include "views/spectrum/CVoxelWndDlgView.h"
#include "VoxelWindowFixture.h"

using namespace vx::test;

namespace {

using P = CVoxelWndDlgView;

class MainRoadTest : public VoxelWindowTest {
protected:
    void SetUp() override
    {
        InstallProcessing();
        VoxelWindowTest::SetUp();
    }
    void TearDown() override
    {
        VoxelWindowTest::TearDown();
        InstallProcessingHooks({});
    }
    std::vector<std::complex<float>> Samples(const TSpectrum* s) const { return {s->Data(), s->Data() + s->SampleCount()}; }
    void Press(CVoxelWindow* window, int id) { QTest::mouseClick(window->Panel()->Button(id), Qt::LeftButton); }
    void Click(CVoxelWndView* view, int point)
    {
        const TPixelRect r = view->m_plot.GetPixelRect();
        const int x = view->m_plot.DataToPixel({static_cast<float>(point), 0.0f}).x, y = (r.top + r.bottom) / 2;
        view->OnMouseMove(x, y, false);
        view->OnLButtonDown(x, y);
    }
    void Grab(const char* name) { EXPECT_FALSE(GrabToPng(&Frame(), name).isEmpty()) << name; }
};

TEST_F(MainRoadTest, PhaseUndoMapReopenAndPCA)
{
    Grab("mainroad_01_started");
    ASSERT_EQ(session->ImageFrames().size(), 3u);
    Grab("mainroad_02_slice_frames");

    // A voxel, phased by 10 degrees with the panel's bar, applied as one step.
    CVoxelWindow* window = Open(3, 4);
    ASSERT_NE(window, nullptr);
    window->resize(700, 600);
    CVoxelWndView* view = window->View();
    const auto before = Samples(Voxel(3, 4));
    const QImage pictureBefore = axial->View()->LayerImage(CMainPicView::CSILayer).copy();
    Press(window, P::kPhase);
    ASSERT_EQ(view->GetToolMode(), 2);
    view->m_scrollH1->triggerAction(QAbstractSlider::SliderPageStepAdd);
    std::list<std::string> steps;
    session->Project()->m_history->GetStepNames(steps, true);
    const size_t stepsBefore = steps.size();
    Press(window, P::kApply);
    steps.clear();
    session->Project()->m_history->GetStepNames(steps, true);
    EXPECT_EQ(steps.size(), stepsBefore + 1);
    EXPECT_NE(Samples(Voxel(3, 4)), before);
    const QImage picturePhased = axial->View()->LayerImage(CMainPicView::CSILayer).copy();
    Grab("mainroad_03_phase_applied");

    // Undo brings the samples and the picture back.
    session->Project()->Undo();
    const auto undone = Samples(Voxel(3, 4));
    ASSERT_EQ(undone.size(), before.size());
    for (size_t i = 0; i < undone.size(); ++i)
        ASSERT_LT(std::abs(undone[i] - before[i]), 1e-3f * (1 + std::abs(before[i]))) << i;
    session->Project()->UpdateFrames(true, false, false, false, false);
    // Pixels that differ from the first picture: many after phasing, a few curve pixels
    // that rounding moves after Undo.
    auto changed = [&](const QImage& picture) {
        int count = 0;
        for (int y = 0; y < std::min(picture.height(), pictureBefore.height()); ++y)
            for (int x = 0; x < std::min(picture.width(), pictureBefore.width()); ++x)
                count += picture.pixel(x, y) != pictureBefore.pixel(x, y);
        return count;
    };
    const int phasedPixels = changed(picturePhased);
    EXPECT_GT(phasedPixels, 200);
    EXPECT_LT(changed(axial->View()->LayerImage(CMainPicView::CSILayer)), phasedPixels / 10);
    Grab("mainroad_05_undone");

    // The map of the peak: the dialog names it, two clicks pick it, Apply shows it.
    const QImage imageBefore = axial->View()->LayerImage(CMainPicView::ImageLayer).copy();
    {
        TDialogScript script([](QDialog& dialog) {
            auto* map = dynamic_cast<CCreateMapDlg*>(&dialog);
            if (!map)
                return int(QDialog::Rejected);
            map->Name()->setText("NAA");
            map->accept();
            return map->result();
        });
        Press(window, P::kMap);
        EXPECT_EQ(script.runs, 1);
    }
    ASSERT_EQ(view->GetToolMode(), 7);
    Click(view, 170);
    Click(view, 195);
    ASSERT_TRUE(window->Panel()->Button(P::kApply)->isEnabled());
    Press(window, P::kApply);
    ASSERT_NE(set->FindMap("NAA_map"), nullptr);
    EXPECT_EQ(axial->windowTitle().toStdString(), "(Axial) axial_1 @ 100%<NAA_map>");
    // The overlay in the hot table (red before green before blue, never blue-dominant),
    // brightening along x as the peak grows.
    {
        const QImage& image = axial->View()->LayerImage(CMainPicView::ImageLayer);
        ASSERT_EQ(image.size(), imageBefore.size());
        int hot = 0, cold = 0, left = 0, right = 0;
        double leftSum = 0, rightSum = 0;
        // The picture only: the colour-scale column at its right has labels of its own.
        const int pictureWidth = image.width() - CMainPicView::kScaleWidth;
        int xMin = image.width(), xMax = -1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < pictureWidth; ++x)
                if (image.pixel(x, y) != imageBefore.pixel(x, y)) {
                    xMin = std::min(xMin, x);
                    xMax = std::max(xMax, x);
                }
        ASSERT_GT(xMax, xMin);
        const int third = (xMax - xMin) / 3;
        for (int y = 0; y < image.height(); ++y)
            for (int x = xMin; x <= xMax; ++x) {
                const QRgb c = image.pixel(x, y);
                if (c == imageBefore.pixel(x, y))
                    continue;
                hot += qRed(c) >= qGreen(c) && qGreen(c) >= qBlue(c) && qRed(c) > qBlue(c);
                cold += qBlue(c) > qRed(c) + 4;
                // Over the image's black cells the overlay shows alone.
                if (qGray(imageBefore.pixel(x, y)) != 0)
                    continue;
                const double level = qRed(c) + qGreen(c) + qBlue(c);
                if (x < xMin + third)
                    leftSum += level, ++left;
                else if (x > xMax - third)
                    rightSum += level, ++right;
            }
        EXPECT_GT(hot, 100);
        EXPECT_EQ(cold, 0);
        ASSERT_GT(left, 0);
        ASSERT_GT(right, 0);
        EXPECT_GT(rightSum / right, leftSum / left + 50) << leftSum / left << " " << rightSum / right;
    }

    // Saved, closed and opened again: the map is back.
    ASSERT_TRUE(session->Project()->SaveWorkSet(false));
    ASSERT_TRUE(session->Project()->Save());
    session.reset();
    session = std::make_unique<TGuiSession>(fixture);
    ASSERT_TRUE(session->Ok());
    set = session->Project()->m_pWorkSet;
    ASSERT_NE(set->FindMap("NAA_map"), nullptr);
    axial = session->FrameTitled("(Axial) axial_1 @ 100%");
    ASSERT_NE(axial, nullptr);
    Grab("mainroad_06_map_reopened");

    // A PCA from the panel over one picked peak opens the analysis window.
    window = Open(3, 4);
    ASSERT_NE(window, nullptr);
    window->resize(700, 600);
    Press(window, P::kPCA);
    ASSERT_EQ(window->View()->GetToolMode(), 12);
    Click(window->View(), 150);
    Click(window->View(), 200);
    window->Panel()->Edit(P::kNumPCs)->setText("2");
    static_cast<QCheckBox*>(window->Panel()->Button(P::kSelectedOnly))->setChecked(false);
    Press(window, P::kApply);
    EXPECT_EQ(session->Project()->m_analyses.size(), 1u);
    EXPECT_EQ(Frame().AnalysisWindows().GetCount(), 1);
    Grab("mainroad_07_analysis_window");
}

}  // namespace
