// The GUI tests' synthetic project read back through the project loader: the work set's
// spectra, the image pattern and, above all, that the grid lies over the images where it
// should (every voxel's centre falls in the image cell of the same column and row).
#include <gtest/gtest.h>

#include <cmath>

#include "model/TCSISet.h"
#include "model/TCSISetList.h"
#include "model/TCSISlice.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "support/GuiFixture.h"
#include "support/ScriptedReport.h"

using vx::test::TGuiFixture;

namespace {

class GuiFixtureTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { vx::ResetGlobals(); }
    void TearDown() override
    {
        g_pProject = nullptr;
        vx::ResetGlobals();
    }
    // Loads the fixture's project file as the program opens it.
    bool Load(TProject& project, const TGuiFixture& fixture)
    {
        g_pProject = &project;
        return project.Load(fixture.ProjectPath());
    }
    vx::test::TScriptedReport report;
};

TEST_P(GuiFixtureTest, WorkSetHoldsOneLineRisingAlongXAndItsGridLiesOverTheImagesCellForCell)
{
    TGuiFixture fixture(GetParam());
    ASSERT_TRUE(fixture.Ok());
    TProject project;
    ASSERT_TRUE(Load(project, fixture));
    TCSISet* set = project.m_pWorkSet;
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->GetName(), TGuiFixture::kSetName);
    EXPECT_EQ(set->m_nDim[0], 8);
    EXPECT_EQ(set->m_nDim[1], 8);
    EXPECT_EQ(set->m_nDim[2], GetParam());
    EXPECT_EQ(set->m_nPoints, 256);
    EXPECT_EQ(set->m_bFrequencyDomain, 1);

    // 0 ppm at point 222, 1600 Hz over 256 points at 125 MHz: a ppm is 20 points.
    const double ppmOfPeak = -(TGuiFixture::kPeakPoint - 222.0) * 1600.0 / (256.0 * 125.0);
    EXPECT_NEAR(set->PointToUnit(TGuiFixture::kPeakPoint, kUnitPPM), ppmOfPeak, 1e-4);
    EXPECT_NEAR(ppmOfPeak, TGuiFixture::kPeakPPM, 1e-9);

    for (int z = 0; z < GetParam(); ++z)
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                const TSpectrum* voxel = set->GetVoxel(x, y, z);
                ASSERT_NE(voxel, nullptr);
                int top = 0;
                for (int i = 1; i < 256; ++i)
                    if (voxel->GetReal(i) > voxel->GetReal(top))
                        top = i;
                EXPECT_EQ(top, TGuiFixture::kPeakPoint) << x << "," << y;
                // Heights rise by one step per column from 100 at x = 0.
                EXPECT_NEAR(voxel->GetReal(top), 100.0f * (x + 1), 1e-3f) << x << "," << y;
                EXPECT_NEAR(voxel->GetReal(top + 2), 50.0f * (x + 1), 1e-3f) << "half height two points away";
            }

    // The grid lies over each slice's image cell for cell.
    ASSERT_EQ(project.m_pImageSet->GetCount(), GetParam());

    for (int k = 0; k < GetParam(); ++k) {
        SCOPED_TRACE(k);
        TMRImage* image = project.FindNearestImage(2, fixture.SlicePosition(k) - 1.0f, fixture.SlicePosition(k) + 1.0f);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->GetName(), TGuiFixture::ImageName(k));
        EXPECT_TRUE(image->IsGeometryComplete());
        EXPECT_EQ(image->GetWidth(), 64);
        EXPECT_EQ(image->GetHeight(), 64);

        TCSISlice slice;
        ASSERT_TRUE(slice.SetFromImage(project.m_pWorkSet, image));
        EXPECT_EQ(slice.GetSliceIndex(), k);
        EXPECT_NEAR(slice.GetSlicePosition(), image->GetSlicePosition(), 1e-4f);

        // The grid's corners are the image's corners.
        const vx::TPointI topLeft = image->WorldToPixel(slice.GetTopLeft());
        const vx::TPointI bottomRight = image->WorldToPixel(slice.GetBottomRight());
        EXPECT_EQ(topLeft.x, 0);
        EXPECT_EQ(topLeft.y, 0);
        EXPECT_EQ(bottomRight.x, 64);
        EXPECT_EQ(bottomRight.y, 64);

        // Each voxel's centre falls in the 8 x 8 pixel cell of its own column and row, and
        // the pixel there carries the pattern value of that cell.
        const float cell = 240.0f / 8.0f;
        for (int row = 0; row < 8; ++row)
            for (int column = 0; column < 8; ++column) {
                const TPoint2D centre(slice.GetTopLeft().x + (column + 0.5f) * cell,
                                      slice.GetTopLeft().y + (row + 0.5f) * cell);
                const TSpectrum* voxel = slice.GetSpectrumAt(centre);
                ASSERT_NE(voxel, nullptr);
                EXPECT_EQ(voxel->m_nX, column);
                EXPECT_EQ(voxel->m_nY, row);
                EXPECT_EQ(voxel->m_nZ, k);
                EXPECT_NEAR(voxel->m_fCentre[0], centre.x, 1e-3f);
                EXPECT_NEAR(voxel->m_fCentre[1], centre.y, 1e-3f);
                const vx::TPointI pixel = image->WorldToPixel(centre);
                EXPECT_EQ(pixel.x, 8 * column + 4);
                EXPECT_EQ(pixel.y, 8 * row + 4);
                const int expected = (column + row) % 2 == 0 ? 0 : 300 + 100 * column;
                EXPECT_EQ(image->GetPixel(pixel.x, pixel.y), expected) << column << "," << row;
            }
    }
    EXPECT_EQ(report.Count(), 0u);
}

INSTANTIATE_TEST_SUITE_P(OneAndTwoSlices, GuiFixtureTest, ::testing::Values(1, 2));

}  // namespace
