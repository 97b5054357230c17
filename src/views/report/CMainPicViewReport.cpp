// The image windows' HTML report: the page with its head, one section per image window
// or per region-estimate window, and the JPEG pictures in the folder beside the page.
//
// The page is composed in memory and written through a temporary file that replaces the
// target at the end, so a report is never left half-written on disk; a section whose
// picture cannot be saved is reported and left out, and the page still ends properly.
#include <ctime>
#include <sstream>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/TImageFrameList.h"
#include "app/TVoxelWndList.h"
#include "model/drawing/BitmapHelpers.h"
#include "model/TCSISet.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "platform/FileChooser.h"
#include "platform/Files.h"
#include "platform/Report.h"
#include "platform/TTextFile.h"
#include "platform/WaitCursor.h"
#include "views/picture/CMainPicView.h"
#include "views/spectrum/CVoxelWindow.h"

namespace {

// The page's path from the save dialog, ".html" appended when missing; "" when cancelled.
std::string AskReportPath()
{
    vx::TFileRequest request = vx::SaveFileRequest("Save as...", "Html Files(*.html)|*.HTML|All Files (*.*)|*.*", 0);
    request.finalPath = vx::report::WithHtmlExtension;
    return vx::ChooseFile(request);
}

}  // namespace

bool CMainPicView::SaveReportPicture(const QImage& picture, const std::string& file)
{
    if (picture.isNull())
        return false;
    const QImage pixels = picture.format() == QImage::Format_RGB32 ? picture
                                                                    : picture.convertToFormat(QImage::Format_RGB32);
    return SaveBitmapAsJPEG(pixels.width(), pixels.height(), reinterpret_cast<const uint32_t*>(pixels.constBits()),
                            file);
}

std::optional<vx::report::TReportPaths> CMainPicView::SaveSectionPicture(const std::string& path, const QImage& picture,
                                                                        const std::string& name,
                                                                        const std::string& failure)
{
    vx::report::TReportPaths paths = vx::report::SplitReportPath(path);
    vx::MakeFolder(paths.folder);
    if (!SaveReportPicture(picture, paths.File(paths.title + name))) {
        vx::Report(failure + path);
        return std::nullopt;
    }
    return paths;
}

vx::report::TParamTables CMainPicView::ReportTables() const
{
    const std::vector<TMRImage*> overlays = m_pFrame->GetMapOverlays();
    const TMRImage* overlay = overlays.empty() ? nullptr : overlays.front();
    const TProject* project = m_pFrame->Project();
    const TCSISet* set = project ? project->m_pWorkSet : nullptr;
    const TMap* map = overlay && set ? set->FindMap(overlay->GetName()) : nullptr;
    return vx::report::MakeParamTables(FrameImage(), FrameSlice(), overlay, map);
}

void CMainPicView::WriteReportSection(std::ostream& out, const std::string& path, int n)
{
    if (!out)
        return;
    using namespace vx::report;
    const std::string name = "_Img" + Number(n) + ".jpg";
    const std::optional<TReportPaths> saved =
        SaveSectionPicture(path, m_dcPicture, name, "Cannot save the image as JPEG File");
    if (!saved)
        return;
    const TReportPaths& paths = *saved;
    const std::string picture = paths.title + name;
    std::vector<std::string> voxels;
    if (CMainFrame* main = m_pFrame->MainFrame()) {
        const TVoxelWndList& list = main->SingleVoxelWindows();
        for (auto it = list.Begin(); it != list.End(); ++it) {
            const auto* window = dynamic_cast<const CVoxelWindow*>(*it);
            if (!window || window->GetChildFrame() != m_pFrame)
                continue;
            // A plot that cannot be saved is left out.
            const int k = static_cast<int>(voxels.size());
            const std::string name = paths.title + "_Img" + Number(n) + "_Vox" + Number(k) + ".jpg";
            if (SaveReportPicture(window->GetPlotBitmap(), paths.File(name)))
                voxels.push_back(paths.Url(name));
        }
    }
    WritePictureRow(out, 1, paths.Url(picture), voxels);
    WriteInfoRow(out, 1, "click on the image to show the original size, click again to restore.");
    WriteParamRows(out, 1, Number(n), ReportTables());
}

void CMainPicView::WriteReport(bool estimation, const std::function<void(std::ostream&, const std::string&)>& sections)
{
    const TProject* project = m_pFrame->Project();
    if (!project)
        return;
    const std::string path = AskReportPath();
    if (path.empty())
        return;
    vx::TTextFile file;
    if (!file.Open(path, vx::TTextFile::Mode::Write)) {
        vx::Report("Cannot create html File" + path);
        return;
    }
    vx::TWaitCursor wait;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::ostringstream page;
    vx::report::WriteHead(page, project->GetName(), estimation, local);
    sections(page, path);
    vx::report::WriteTail(page);
    if (!file.WriteString(page.str()) || !file.Close())
        vx::Report("Cannot create html File" + path);
}

void CMainPicView::OnReportCurrentWindow()
{
    WriteReport(false, [this](std::ostream& out, const std::string& path) { WriteReportSection(out, path, 0); });
}

void CMainPicView::OnReportAllWindows()
{
    WriteReport(false, [this](std::ostream& out, const std::string& path) {
        const TImageFrameList* list = m_pFrame->Owner();
        int n = 0;
        for (CChildFrame* frame : list ? list->Frames() : std::vector<CChildFrame*>{})
            if (frame->View())
                frame->View()->WriteReportSection(out, path, n++);
    });
}

void CMainPicView::OnReportSpectralEstimation()
{
    WriteReport(true, [this](std::ostream& out, const std::string& path) {
        CMainFrame* main = m_pFrame->MainFrame();
        if (!main)
            return;
        int n = 0;
        const TVoxelWndList& list = main->EstimateWindows();
        for (auto it = list.Begin(); it != list.End(); ++it)
            if (auto* window = dynamic_cast<CVoxelWindow*>(*it))
                window->WriteReportSection(out, path, n++);
    });
    // The estimates' highlight is over: the regions are drawn as before.
    if (const TImageFrameList* list = m_pFrame->Owner())
        for (CChildFrame* frame : list->Frames())
            frame->UpdateView(false, false, true, false, false);
}
