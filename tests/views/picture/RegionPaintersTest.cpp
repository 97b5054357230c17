// The region layer of the picture view with the painters of the drawn regions and region
// estimates installed: outlines in the region pen, unfilled, scaled by the zoom.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "app/CChildFrame.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "processing/TDrawnRegionPolygon.h"
#include "processing/TDrawnRegionRect.h"
#include "processing/TRegionEstimate.h"
#include "support/GuiFixture.h"
#include "support/InstalledProcessing.h"
#include "support/ScriptedReport.h"
#include "views/picture/CMainPicView.h"
#include "views/picture/RegionPainters.h"

using namespace vx::test;

namespace {

TEST(RegionPainters, RegionsAndEstimatesDrawTheirOutlinesOverTheirImage)
{
    vx::ResetGlobals();
    TInstalledProcessing processing;
    TScriptedReport report;
    TGuiFixture fixture;
    ASSERT_TRUE(fixture.Ok());
    TGuiSession session(fixture);
    ASSERT_TRUE(session.Ok());
    CChildFrame* axial = session.FrameTitled("(Axial) axial_1 @ 100%");
    ASSERT_NE(axial, nullptr);
    const CMainPicView::TRegionPainters old = InstallRegionPainters();

    TProject* project = session.Project();
    auto* rect = new TDrawnRegionRect;
    rect->AddPoint(10, 12);
    rect->AddPoint(30, 40);
    rect->SetImagePlane(*axial);
    EXPECT_EQ(rect->GetImage(), axial->GetImage());
    EXPECT_EQ(rect->GetOrientation(), 2);
    project->m_drawnRegions[0] = rect;
    std::map<int, TDrawnRegion*> drawn;
    auto* triangle = new TDrawnRegionPolygon;
    for (auto [x, y] : {std::pair{40, 40}, {60, 40}, {50, 60}})
        triangle->AddPoint(x, y);
    triangle->SetImagePlane(*axial);
    drawn[0] = triangle;
    auto* estimate = new TRegionEstimate;
    ASSERT_TRUE(estimate->SetRegions(drawn));
    ASSERT_TRUE(estimate->Estimate());
    project->m_regionEstimates.push_back(estimate);

    CMainPicView& view = *axial->View();
    const QColor pen(0, 192, 192), black(0, 0, 0);
    for (float zoom : {1.0f, 2.0f}) {
        SCOPED_TRACE(zoom);
        view.m_fZoom = zoom;
        view.RepaintAllLayers();
        const QImage& layer = view.LayerImage(CMainPicView::RegionLayer);
        auto at = [&](int x, int y) { return layer.pixelColor(view.ZoomLength(x), view.ZoomLength(y)); };
        EXPECT_EQ(at(10, 20), pen);  // the rectangle's left side
        EXPECT_EQ(at(20, 12), pen);  // its top
        EXPECT_EQ(at(20, 20), black);  // unfilled
        EXPECT_EQ(at(50, 40), pen);  // the estimate's triangle
        EXPECT_EQ(at(50, 50), black);
    }
    CMainPicView::SetRegionPainters(old);
    vx::ResetGlobals();
}

}  // namespace
