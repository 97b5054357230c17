// The commands of an image window: its popup with the layer switches and the maps, the
// image navigation, the map-scale reset, copying the picture and printing the slices.
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <algorithm>
#include <cmath>
#include <memory>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CWindowingToolBar.h"
#include "app/CommandIds.h"
#include "app/dialogs/DialogRunner.h"
#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TImageSet.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TMapList.h"
#include "model/TProject.h"
#include "model/math/TextHelpers.h"
#include "platform/Numbers.h"
#include "platform/Report.h"
#include "platform/WaitCursor.h"
#include "views/picture/CMainPicView.h"
#include "views/TPainterCanvas.h"

namespace {

}  // namespace

CWindowingToolBar* CMainPicView::WindowingBar() const
{
    const CMainFrame* main = m_pFrame ? m_pFrame->MainFrame() : nullptr;
    return main ? main->WindowingBar() : nullptr;
}

namespace {

std::string Index(int column, int row)
{
    return "(" + std::to_string(column) + "," + std::to_string(row) + ")";
}

}  // namespace

// ---- popup and layer switches ------------------------------------------------------------

std::unique_ptr<QMenu> CMainPicView::MakeContextMenu()
{
    // Owned by the caller but a child of the view, which takes the prompts of its commands.
    auto menu = std::make_unique<QMenu>("ImgWnd", this);
    auto add = [&menu](int command, const QString& text, bool checked, bool enabled = true) {
        QAction* action = menu->addAction(text);
        action->setData(command);
        action->setCheckable(enabled);
        action->setChecked(checked);
        action->setEnabled(enabled);
        return action;
    };
    const struct {
        int command;
        const char* text;
        const char* prompt;
    } reports[] = {{cmd::ReportCurrentWindow, "Report Current Window", "Write an HTML report of this window"},
                   {cmd::ReportAllWindows, "Report All Windows", "Write an HTML report of every image window"},
                   {cmd::ReportSpectralEstimation, "Report Spectral Estimation",
                    "Write an HTML report of the spectral estimation windows"}};
    for (const auto& report : reports) {
        QAction* action = menu->addAction(report.text);
        action->setData(report.command);
        action->setStatusTip(report.prompt);
    }
    menu->addSeparator();
    add(cmd::ImgWndImage, "Image", m_bShowImage)->setStatusTip("Show or hide the image");
    add(cmd::ImgWndCSISlice, "CSI Slice", m_bShowCSISlice)->setStatusTip("Show or hide the CSI grid and its spectra");
    add(cmd::ImgWndVOI, "VOI", m_bShowVOI)->setStatusTip("Show or hide the volume of interest");
    add(cmd::ImgWndUserDrawRegions, "User Draw Regions", m_bShowRegions)->setStatusTip("Show or hide the drawn regions");
    add(cmd::ImgWndUnselectedVoxels, "Unselected voxels", m_bShowUnselected)
        ->setStatusTip("Show or hide the voxels that are not selected");
    menu->addSeparator();
    const TProject* project = m_pFrame ? m_pFrame->Project() : nullptr;
    const TCSISet* set = project ? project->m_pWorkSet : nullptr;
    if (set && set->m_pMapList) {
        int k = 0;
        for (TMap* map : *set->m_pMapList) {
            if (k == kMaxMapItems)
                break;
            QAction* item = add(cmd::MapSwitchFirst + k, QString::fromStdString(map->GetName()),
                                m_pFrame->HasMapOverlay(map));
            item->setStatusTip("Switch map on/off");
            ++k;
        }
    }
    return menu;
}

void CMainPicView::contextMenuEvent(QContextMenuEvent* event)
{
    // The platform turns a right-button press into a context menu of its own; the view
    // decides on the release instead (Select voxel only), so that one is swallowed.
    if (event->reason() == QContextMenuEvent::Mouse && event->spontaneous()) {
        event->accept();
        return;
    }
    const std::unique_ptr<QMenu> menu = MakeContextMenu();
    if (QAction* chosen = vx::app::RunMenu(*menu, event->globalPos()))
        OnCommand(chosen->data().toInt());
}

void CMainPicView::OnCommand(int command)
{
    switch (command) {
    case cmd::ReportCurrentWindow: OnReportCurrentWindow(); return;
    case cmd::ReportAllWindows: OnReportAllWindows(); return;
    case cmd::ReportSpectralEstimation: OnReportSpectralEstimation(); return;
    case cmd::ImgWndImage: OnImgWndImage(); return;
    case cmd::ImgWndCSISlice: OnImgWndCSISlice(); return;
    case cmd::ImgWndVOI: OnImgWndVOI(); return;
    case cmd::ImgWndUserDrawRegions: OnImgWndUserDrawRegions(); return;
    case cmd::ImgWndUnselectedVoxels: OnImgWndUnselectedVoxels(); return;
    default:
        if (command >= cmd::MapSwitchFirst && command < cmd::MapSwitchFirst + kMaxMapItems)
            OnMapSwitch(command);
        return;
    }
}

void CMainPicView::ToggleLayer(bool& flag, bool available, void (CMainPicView::*paint)())
{
    if (!available)
        return;
    flag = !flag;
    (this->*paint)();
    ComposeLayers();
    ShowPicture();
}

void CMainPicView::OnImgWndImage()
{
    ToggleLayer(m_bShowImage, FrameImage() != nullptr, &CMainPicView::PaintImageLayer);
}

void CMainPicView::OnImgWndCSISlice()
{
    ToggleLayer(m_bShowCSISlice, FrameSlice() != nullptr, &CMainPicView::PaintCSILayer);
}

void CMainPicView::OnImgWndVOI()
{
    ToggleLayer(m_bShowVOI, FrameSlice() != nullptr, &CMainPicView::PaintVOILayer);
}

void CMainPicView::OnImgWndUserDrawRegions()
{
    ToggleLayer(m_bShowRegions, FrameSlice() != nullptr, &CMainPicView::PaintRegionLayer);
}

void CMainPicView::OnImgWndUnselectedVoxels()
{
    ToggleLayer(m_bShowUnselected, FrameSlice() != nullptr, &CMainPicView::PaintCSILayer);
}

void CMainPicView::OnMapSwitch(int command)
{
    TProject* project = m_pFrame->Project();
    const TCSISet* set = project ? project->m_pWorkSet : nullptr;
    TMap* map = set && set->m_pMapList ? set->m_pMapList->GetAt(command - cmd::MapSwitchFirst) : nullptr;
    if (!map)
        return;
    if (m_pFrame->HasMapOverlay(map)) {
        m_pFrame->RemoveMapOverlay(map);
    } else if (const TMRImage* image = FrameImage()) {
        m_pFrame->AddMapOverlay(map, image->GetOrientation(), image->GetSlicePosition());
    } else if (FrameSlice()) {
        m_pFrame->AddMapOverlay(map, m_pFrame->m_nAxis, m_pFrame->m_position[m_pFrame->m_nAxis]);
    }
    m_pFrame->UpdateTitle();
    if (CWindowingToolBar* bar = WindowingBar())
        bar->FollowActiveImage();
    PaintImageLayer();
    ComposeLayers();
    ShowPicture();
}

// ---- image navigation and the map scale ------------------------------------------------

void CMainPicView::OnFirstImage()
{
    TMRImage* image = FrameImage();
    TProject* project = m_pFrame->Project();
    if (!image || !project || !project->m_pImageSet)
        return;
    TMRImage* first = image;
    while (TMRImage* before = project->m_pImageSet->GetPrevious(first)) {
        if (before->GetOrientation() != image->GetOrientation())
            break;
        first = before;
    }
    ShowOtherImage(first);
}

void CMainPicView::OnLastImage()
{
    TMRImage* image = FrameImage();
    TProject* project = m_pFrame->Project();
    if (!image || !project || !project->m_pImageSet)
        return;
    TMRImage* last = image;
    while (TMRImage* after = project->m_pImageSet->GetNext(last)) {
        if (after->GetOrientation() != image->GetOrientation())
            break;
        last = after;
    }
    ShowOtherImage(last);
}

void CMainPicView::OnNextImage()
{
    TMRImage* image = FrameImage();
    TProject* project = m_pFrame->Project();
    if (!image || !project || !project->m_pImageSet)
        return;
    TMRImage* next = project->m_pImageSet->GetNext(image);
    if (next && next->GetOrientation() == image->GetOrientation())
        ShowOtherImage(next);
}

void CMainPicView::OnPreviousImage()
{
    TMRImage* image = FrameImage();
    TProject* project = m_pFrame->Project();
    if (!image || !project || !project->m_pImageSet)
        return;
    TMRImage* previous = project->m_pImageSet->GetPrevious(image);
    if (previous && previous->GetOrientation() == image->GetOrientation())
        ShowOtherImage(previous);
}

void CMainPicView::ShowOtherImage(TMRImage* image)
{
    TProject* project = m_pFrame->Project();
    m_pFrame->SetImage(image);
    if (project->m_pWorkSet)
        m_pFrame->SetCSISliceFromImage(project->m_pWorkSet, image);
    if (!FrameSlice()) {
        m_bShowCSISlice = false;
        m_pFrame->ClearMapOverlays();
    }
    m_pFrame->ReloadMapOverlays();
    m_pFrame->UpdateTitle();
    Redraw(true, true, true, true, false);
    project->UpdateFrames(false, false, false, false, true);
    project->ShowImageInfo(image);
    project->ShowMapInfo(m_pFrame->GetMapOverlays());
}

void CMainPicView::OnResetMapScale()
{
    const std::vector<TMRImage*> overlays = m_pFrame->GetMapOverlays();
    if (overlays.empty())
        return;
    if (overlays.size() > 1) {
        vx::Report("Can't reset the display scale because more than one map is displayed.", vx::ReportIcon::None);
        return;
    }
    TProject* project = m_pFrame->Project();
    TMap* map = project && project->m_pWorkSet ? project->m_pWorkSet->FindMap(overlays.front()->GetName()) : nullptr;
    if (!map)
        return;
    const int32_t flags = project->m_display.m_nFlags;
    float low = 0.0f, high = 0.0f;
    if (flags & TSpectrumDisplayParams::kReal) {
        low = map->GetMinReal();
        high = map->GetMaxReal();
    } else if (flags & TSpectrumDisplayParams::kImaginary) {
        low = map->GetMinImag();
        high = map->GetMaxImag();
    } else if (flags & TSpectrumDisplayParams::kMagnitude) {
        low = map->GetMinMagnitude();
        high = map->GetMaxMagnitude();
    } else {
        return;
    }
    map->displayMin = low;
    map->displayMax = high;
    if (CWindowingToolBar* bar = WindowingBar())
        bar->SetMapRange(low, high);
    project->ApplyMapScale(map);
    project->UpdateFrames(false, true, false, false, false);
}

// ---- clipboard and printing --------------------------------------------------------------

void CMainPicView::OnEditCopy()
{
    // The composed picture carries no status text: that is written over it when painting.
    if (!m_dcPicture.isNull())
        QGuiApplication::clipboard()->setImage(m_dcPicture);
}

void CMainPicView::OnFilePrint()
{
    const TProject* project = m_pFrame->Project();
    if (!project || !project->m_pWorkSet) {
        vx::Report("No CSI set is active now.", vx::ReportIcon::None);
        return;
    }
    const int pages = OnPreparePrinting();
    if (pages < 1)
        return;
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange);
    dialog.setMinMax(1, pages);
    if (vx::app::RunDialog(dialog) != QDialog::Accepted)
        return;
    int from = 1, to = pages;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        from = std::clamp(printer.fromPage(), 1, pages);
        to = std::clamp(printer.toPage(), from, pages);
    }
    vx::TWaitCursor wait;
    QPainter painter;
    if (!painter.begin(&printer)) {
        vx::Report("The printer could not be started.");
        return;
    }
    const QRect paper(0, 0, printer.width(), printer.height());
    for (int page = from; page <= to; ++page) {
        if (page > from)
            printer.newPage();
        OnPrint(painter, paper, printer.resolution(), page);
    }
    painter.end();
}

int CMainPicView::OnPreparePrinting()
{
    const TCSISlice* slice = FrameSlice();
    const TCSISet* set = slice ? slice->GetSet() : nullptr;
    if (!set) {
        vx::Report("No CSI slice is available for printing.", vx::ReportIcon::None);
        return 0;
    }
    return set->m_nDim[slice->GetSliceAxis()];
}

void CMainPicView::OnPrint(QPainter& painter, const QRect& paper, int dpi, int page)
{
    const TCSISlice* shown = FrameSlice();
    TProject* project = m_pFrame->Project();
    TCSISet* set = project ? project->m_pWorkSet : nullptr;
    if (!shown || !set)
        return;
    const int axis = shown->GetSliceAxis();
    TCSISlice slice;
    if (!slice.SetByIndex(set, axis, page - 1))
        return;
    const float d = static_cast<float>(dpi);
    auto at = [d](int edge, float inches) { return edge + static_cast<int>(inches * d); };

    TMRImage* image = nullptr;
    if (m_bShowImage)
        image = project->FindNearestImage(axis, slice.GetSlicePosition() - slice.GetThickness() / 2,
                                          slice.GetSlicePosition() + slice.GetThickness() / 2);

    // The voxels the window shows: its corners (the picture's, while it is centred).
    const int columns = slice.GetColumns(), rows = slice.GetRows();
    const int left = m_ptScroll.x < 0 ? vx::TruncateToInt(-m_ptScroll.x) : 0;
    const int top = m_ptScroll.y < 0 ? vx::TruncateToInt(-m_ptScroll.y) : 0;
    // Points beyond the grid count as its edge.
    const TPoint2D low = shown->GetTopLeft(), high = shown->GetBottomRight();
    auto voxelAt = [&](int x, int y) {
        const TPoint2D mm = ClientToMm(x, y);
        const vx::TPointI cell =
            shown->GetVoxelIndexAt({std::clamp(mm.x, std::min(low.x, high.x), std::max(low.x, high.x)),
                                    std::clamp(mm.y, std::min(low.y, high.y), std::max(low.y, high.y))});
        return vx::TPointI{std::clamp(cell.x, 0, columns - 1), std::clamp(cell.y, 0, rows - 1)};
    };
    const vx::TPointI first = voxelAt(left, top);
    const vx::TPointI last = voxelAt(viewport()->width() - 1, viewport()->height() - 1);
    const int c0 = std::min(first.x, last.x), c1 = std::max(first.x, last.x);
    const int r0 = std::min(first.y, last.y), r1 = std::max(first.y, last.y);

    const TSpectrumDisplayParams display = project->m_display;
    const std::string lines[3] = {
        "Set name: " + set->GetName() + ", exam date: " + set->m_strExamDate +
            ", orientation: " + OrientationName(axis) + ", slice number: " + std::to_string(page - 1),
        "TR(ms): " + FloatToString(set->m_fTR, 1) + ", TE(ms): " + FloatToString(set->m_fTE, 1) +
            ", SweepWidth(Hz): " + FloatToString(static_cast<float>(set->m_nSpectralWidth), 1) +
            ", Voxel size(mm): " + FloatToString(set->m_fFOV[0] / static_cast<float>(set->m_nDim[0]), 2) + " x " +
            FloatToString(set->m_fFOV[1] / static_cast<float>(set->m_nDim[1]), 2) + " x " +
            FloatToString(set->m_fFOV[2] / static_cast<float>(set->m_nDim[2]), 2),
        "TopLeft voxel:" + Index(c0, r0) + ", BottomRight voxel:" + Index(c1, r1) +
            ", Spectrum start: " + std::to_string(display.m_nXStart) +
            ", Spectrum end: " + std::to_string(display.m_nXEnd)};
    painter.setPen(Qt::black);
    // Plain letters, so that the printout's text reads as written.
    QFont font = painter.font();
    font.setStyleStrategy(QFont::PreferNoShaping);
    painter.setFont(font);
    const float lineTops[3] = {0.4f, 0.55f, 0.7f};
    for (int k = 0; k < 3; ++k)
        painter.drawText(QPoint(at(paper.left(), 0.5f), at(paper.top(), lineTops[k])) +
                             QPoint(0, painter.fontMetrics().ascent()),
                         QString::fromStdString(lines[k]));

    // The block's cells keep the voxels' aspect within the picture area.
    const QRect area(QPoint(at(paper.left(), 0.5f), at(paper.top(), 1.1f)),
                     QPoint(at(paper.right(), -0.5f), at(paper.bottom(), -0.5f)));
    const int n = c1 - c0 + 1, m = r1 - r0 + 1;
    const float voxelX = slice.GetFOVX() / static_cast<float>(columns);
    const float voxelY = slice.GetFOVY() / static_cast<float>(rows);
    if (area.width() < 1 || area.height() < 1 || !(voxelX > 0.0f) || !(voxelY > 0.0f))
        return;
    float cellWidth = static_cast<float>(area.width()) / static_cast<float>(n);
    float cellHeight = cellWidth * voxelY / voxelX;
    if (static_cast<float>(m) * cellHeight > static_cast<float>(area.height())) {
        cellHeight = static_cast<float>(area.height()) / static_cast<float>(m);
        cellWidth = cellHeight * voxelX / voxelY;
    }
    const int gridWidth = static_cast<int>(static_cast<float>(n) * cellWidth);
    const int gridHeight = static_cast<int>(static_cast<float>(m) * cellHeight);
    const int gridLeft = area.left() + (area.width() - gridWidth) / 2;
    const int gridTop = area.top() + (area.height() - gridHeight) / 2;
    const TPixelRect grid{gridLeft, gridTop, gridLeft + gridWidth, gridTop + gridHeight};

    if (image) {
        QImage own(std::max(image->GetWidth(), 1), std::max(image->GetHeight(), 1), QImage::Format_RGB32);
        if (!own.isNull()) {
            own.fill(Qt::black);
            {
                vx::TPainterCanvas dc(&own);
                image->DrawPixels(dc, 0);
            }
            const TPoint2D corner = slice.GetTopLeft();
            const vx::TPointI p0 = image->WorldToPixel({corner.x + static_cast<float>(c0) * voxelX,
                                                        corner.y + static_cast<float>(r0) * voxelY});
            const vx::TPointI p1 = image->WorldToPixel({corner.x + static_cast<float>(c1 + 1) * voxelX,
                                                        corner.y + static_cast<float>(r1 + 1) * voxelY});
            painter.drawImage(QRect(gridLeft, gridTop, gridWidth, gridHeight), own,
                              QRect(p0.x, p0.y, p1.x - p0.x, p1.y - p0.y).normalized());
        }
    }
    vx::TPainterCanvas dc(painter);
    slice.PrintSpectraGrid(dc, grid, display, c0, c1, r0, r1, m_bShowUnselected);
    // The localisation box where the whole slice would lie at this cell size.
    const int cellW = gridWidth / n, cellH = gridHeight / m;
    const TPixelRect whole{grid.left - c0 * cellW, grid.top - r0 * cellH, grid.right + (columns - 1 - c1) * cellW,
                           grid.bottom + (rows - 1 - r1) * cellH};
    slice.DrawVOI(dc, whole);
    dc.Flush();
}
