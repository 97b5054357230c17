#include "views/picture/RegionPainters.h"

#include "app/CChildFrame.h"
#include "processing/IRegionView.h"
#include "processing/TDrawnRegion.h"
#include "processing/TRegionEstimate.h"

namespace {

// The view as the regions see it: the image of its frame, its zoom and the layer canvas.
class TPicViewRegionLayer : public IRegionView {
public:
    TPicViewRegionLayer(const CMainPicView& view, vx::TCanvas& dc, vx::TColor colour) : m_view(view), m_dc(dc)
    {
        m_dc.SetPen(colour);
        m_dc.SetNullBrush();
    }
    const TMRImage* GetImage() const override { return m_view.Frame() ? m_view.Frame()->GetImage() : nullptr; }
    int ZoomLength(int length) const override { return m_view.ZoomLength(length); }
    vx::TCanvas& GetRegionLayer() override { return m_dc; }

private:
    const CMainPicView& m_view;
    vx::TCanvas& m_dc;
};

}  // namespace

CMainPicView::TRegionPainters InstallRegionPainters()
{
    CMainPicView::TRegionPainters painters;
    painters.drawEstimate = [](TRegionEstimate* estimate, vx::TCanvas& dc, const CMainPicView& view,
                               vx::TColor colour) {
        TPicViewRegionLayer layer(view, dc, colour);
        estimate->Draw(layer);
    };
    painters.drawRegion = [](TDrawnRegion* region, vx::TCanvas& dc, const CMainPicView& view, vx::TColor colour) {
        TPicViewRegionLayer layer(view, dc, colour);
        region->Draw(layer);
    };
    painters.isHighlighted = [](TRegionEstimate* estimate) { return estimate->m_bHighlight != 0; };
    return CMainPicView::SetRegionPainters(std::move(painters));
}
