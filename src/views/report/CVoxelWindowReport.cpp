// A region-estimate window's section of the HTML report.
#include "app/CChildFrame.h"
#include "app/TImageFrameList.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "processing/TDrawnRegion.h"
#include "processing/TRegionEstimate.h"
#include "views/picture/CMainPicView.h"
#include "views/spectrum/CVoxelWindow.h"
#include "views/ReportPage.h"

void CVoxelWindow::WriteReportSection(std::ostream& out, const std::string& path, int n)
{
    if (!out)
        return;
    using namespace vx::report;
    const std::string name = "_Vox" + Number(n) + ".jpg";
    const std::optional<TReportPaths> saved =
        CMainPicView::SaveSectionPicture(path, GetPlotBitmap(), name, "Cannot save the voxel as JPEG File");
    if (!saved)
        return;
    const TReportPaths& paths = *saved;
    const std::string plot = paths.title + name;
    TRegionEstimate* estimate = m_pRegionEstimate;
    const uint8_t highlight = estimate ? estimate->m_bHighlight : 0;
    const auto* frames = g_pProject ? dynamic_cast<const TImageFrameList*>(g_pProject->m_frameList.get()) : nullptr;
    if (estimate && frames && !estimate->GetRegions().empty()) {
        // The image windows' pictures show the estimate's regions highlighted.
        estimate->m_bHighlight = 1;
        const TMRImage* image = estimate->GetRegions().front()->GetImage();
        int k = 0;
        for (CChildFrame* frame : frames->Frames()) {
            if (!image || frame->GetImage() != image || !frame->View())
                continue;
            frame->UpdateView(false, false, true, false, false);
            // A picture that cannot be saved is passed over; its rows are written all the
            // same, and every window keeps ids of its own.
            const std::string picture = paths.title + "_Vox" + Number(n) + "_Img" + Number(k) + ".jpg";
            CMainPicView::SaveReportPicture(frame->View()->Picture(), paths.File(picture));
            WritePictureRow(out, 2, paths.Url(picture), {});
            WriteInfoRow(out, 2, "click on the image to show the original size, click again to restore.");
            WriteParamRows(out, 2, std::string("_") + Number(n) + "_" + Number(k), frame->View()->ReportTables());
            ++k;
        }
        estimate->m_bHighlight = highlight;
    }
    WriteInfoRow(out, 1, "The estimated voxel for the highlighted region(yellow).");
    WriteVoxelRow(out, 1, paths.Url(plot));
}
