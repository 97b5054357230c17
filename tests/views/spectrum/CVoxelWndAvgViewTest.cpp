// The averaged spectrum view: the mean of the voxels collected with the average-voxels
// mode in the axial image window, drawn as a plain view draws that mean.
#include <gtest/gtest.h>

#include <QApplication>

#include "model/TMouseEvent.h"
#include "model/TSpectrum.h"
#include "views/picture/CMainPicView.h"
#include "views/spectrum/CVoxelWndAvgView.h"
#include "views/VoxelWindowFixture.h"

using namespace vx::test;

namespace {

class AverageViewTest : public VoxelWindowTest {
protected:
    // Average voxels mode: a left click on the voxel, with Ctrl unless it starts a window.
    void Collect(int x, int y, bool first)
    {
        CMainPicView* picture = axial->View();
        const float cell = TGuiFixture::kFOV / TGuiFixture::kColumns;
        const vx::TPointI at = picture->MmToClient(
            {(x + 0.5f) * cell - TGuiFixture::kFOV / 2, (y + 0.5f) * cell - TGuiFixture::kFOV / 2});
        TMouseEvent event;
        event.m_nKind = TMouseEvent::LeftDown;
        event.m_nKeys = first ? 0 : TMouseEvent::kCtrl;
        event.m_nX = at.x;
        event.m_nY = at.y;
        picture->OnMouseAverageVoxels(&event);
        QApplication::processEvents();
    }
    CVoxelWndAvgView* View()
    {
        auto* window = dynamic_cast<CVoxelWindow*>(Frame().AverageWindows().GetLast());
        return window ? dynamic_cast<CVoxelWndAvgView*>(window->View()) : nullptr;
    }
};

TEST_F(AverageViewTest, ShowsTheMeanOfItsVoxelsAsAPlainViewShowsIt)
{
    const int columns[] = {1, 2, 4, 7};
    for (int k = 0; k < 4; ++k)
        Collect(columns[k], 3, k == 0);
    Collect(2, 3, false);  // already averaged: no change
    CVoxelWndAvgView* view = View();
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->GetVoxels().size(), 4u);
    ASSERT_EQ(view->m_voxels.size(), 1u);
    const TSpectrum* mean = view->m_voxels.front();
    EXPECT_EQ(mean->m_nX, 1);
    EXPECT_EQ(mean->m_nY, 3);

    // The mean from the fixture's own samples.
    TSpectrum expected(*Voxel(1, 3));
    std::vector<TComplex> samples(TGuiFixture::kPoints);
    for (int i = 0; i < TGuiFixture::kPoints; ++i) {
        for (int x : columns) {
            float re = 0, im = 0;
            TGuiFixture::Sample(x, i, re, im);
            samples[i] += TComplex(re, im) / 4.0f;
        }
        ASSERT_NEAR(mean->GetReal(i), samples[i].real(), 1e-3f) << i;
        ASSERT_NEAR(mean->GetImag(i), samples[i].imag(), 1e-3f) << i;
    }
    expected.SetComplexData(samples.data());

    // Drawn at the same size with the same display block, the pictures are equal.
    CVoxelWndView plain;
    plain.SetFrame(view->GetFrame());
    plain.AddVoxel(&expected);
    plain.SetDisplayParams(view->GetDisplayParams());
    plain.resize(view->size());
    view->Draw();
    plain.Draw();
    ASSERT_FALSE(view->Picture().isNull());
    EXPECT_EQ(view->Picture(), plain.Picture());
    plain.m_voxels.clear();
}

TEST_F(AverageViewTest, ClearingKeepsTheLastMeanUntilTheNextVoxelStartsAgain)
{
    Collect(1, 1, true);
    Collect(5, 1, false);
    CVoxelWndAvgView* view = View();
    ASSERT_NE(view, nullptr);
    const TSpectrum* mean = view->m_voxels.front();
    const float both = mean->GetReal(TGuiFixture::kPeakPoint);
    EXPECT_EQ(Voxel(5, 1)->m_bAveraged, 1);

    view->ClearVoxels();
    EXPECT_TRUE(view->GetVoxels().empty());
    EXPECT_EQ(Voxel(1, 1)->m_bAveraged, 0);
    EXPECT_EQ(Voxel(5, 1)->m_bAveraged, 0);
    ASSERT_EQ(view->m_voxels.size(), 1u);
    EXPECT_FLOAT_EQ(view->m_voxels.front()->GetReal(TGuiFixture::kPeakPoint), both);

    // The next voxel is averaged alone, in the same mean object.
    Collect(6, 2, false);
    ASSERT_EQ(view->m_voxels.size(), 1u);
    EXPECT_EQ(view->m_voxels.front(), mean);
    EXPECT_FLOAT_EQ(mean->GetReal(TGuiFixture::kPeakPoint), Voxel(6, 2)->GetReal(TGuiFixture::kPeakPoint));
    EXPECT_EQ(mean->m_nX, 6);

    // Closing the window gives the voxels their flag back.
    EXPECT_EQ(Voxel(6, 2)->m_bAveraged, 1);
    Frame().AverageWindows().GetLast()->close();
    QApplication::processEvents();
    EXPECT_EQ(Voxel(6, 2)->m_bAveraged, 0);
}

}  // namespace
