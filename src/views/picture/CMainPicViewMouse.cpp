// The main picture view's mouse: the road of a mouse message to the work-mode handler the
// project holds, and the handlers of the work modes.
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/CommandIds.h"
#include "app/ToolIcons.h"
#include "model/math/Geometry.h"
#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TMRImage.h"
#include "model/TProject.h"
#include "model/TSpectrum.h"
#include "model/math/TextHelpers.h"
#include "platform/Report.h"
#include "processing/TDrawnRegionEllipse.h"
#include "processing/TDrawnRegionGroup.h"
#include "processing/TDrawnRegionPolygon.h"
#include "processing/TDrawnRegionRect.h"
#include "processing/TVoxelShiftStep.h"
#include "views/picture/CMainPicView.h"

namespace {

const QColor kBandColour(255, 255, 0);
const QColor kShapeColour(0, 192, 192);
// The zoom of a click, and of a band too narrow to give one of its own.
constexpr float kZoomInStep = 1.25f;
constexpr float kZoomOutStep = 0.8f;
constexpr int kNarrowBand = 20;  // pixels

// The drag state of the band modes (zoom in, multiple selection).
struct TBandState {
    CMainPicView* view = nullptr;  // where the band is drawn
    bool pressed = false;
    bool dragged = false;
    QPoint start;
    QPoint current;
};

struct TSpectraRangeState {
    CMainPicView* view = nullptr;
    bool leftDrag = false;
    bool rightDrag = false;
    int lastX = 0;
    int first = 0;
    int last = 0;
};

struct TVoxelShiftState {
    CMainPicView* view = nullptr;
    bool dragging = false;
    TPoint2D start;
    TPoint2D last;
    TPoint2D total;
    TPoint2D startCentre;  // the slice's centre before the preview
};

// A selection polygon under way: its vertices are voxel columns and rows of the slice.
struct TPolygonState {
    CMainPicView* view = nullptr;
    std::unique_ptr<TDrawnRegionPolygon> polygon;
    QPolygon outline;  // the vertices as client points
};

// A user-drawn shape under way: its points are pixels of the frame's image.
struct TRegionState {
    CMainPicView* view = nullptr;
    std::unique_ptr<TDrawnRegion> shape;
    int kind = 0;  // 0 rectangle, 1 ellipse, 2 polygon
    QPolygon outline;  // the points as client points
};

TBandState g_zoomBand;
TBandState g_selectBand;
TSpectraRangeState g_spectraRange;
TVoxelShiftState g_voxelShift;
TPolygonState g_polygon;
TRegionState g_region;

// Every selected voxel of the slice is deselected; the changed ones, columns outer.
std::vector<TSpectrum*> DeselectAll(const TCSISlice& slice)
{
    std::vector<TSpectrum*> changed;
    for (int column = 0; column < slice.GetColumns(); ++column)
        for (int row = 0; row < slice.GetRows(); ++row) {
            TSpectrum* voxel = slice.GetVoxel(column, row);
            if (voxel && voxel->m_bSelected) {
                voxel->m_bSelected = 0;
                changed.push_back(voxel);
            }
        }
    return changed;
}

// The project's region group of the frame's image, made for the frame's plane when there
// is none. New groups come after the others.
TDrawnRegionGroup* RegionGroupOf(TProject& project, CChildFrame& frame)
{
    for (const auto& [key, region] : project.m_drawnRegions)
        if (auto* group = dynamic_cast<TDrawnRegionGroup*>(region); group && group->GetImage() == frame.GetImage())
            return group;
    auto* group = new TDrawnRegionGroup;
    group->SetImagePlane(frame);
    const int key = project.m_drawnRegions.empty() ? 0 : project.m_drawnRegions.rbegin()->first + 1;
    project.m_drawnRegions[key] = group;
    return group;
}

// The cursor of a zoom mode: its toolbar picture with the hot spot in the lens.
QCursor ZoomCursor(bool in)
{
    const QPixmap pixmap = vx::app::ToolIcon(in ? cmd::ModeZoomIn : cmd::ModeZoomOut).pixmap(24, 24);
    return pixmap.isNull() ? QCursor(Qt::CrossCursor) : QCursor(pixmap, 9, 9);
}

QPolygon Corners(const QPoint& a, const QPoint& b)
{
    return QPolygon({a, b});
}

// The press and the moves of a band mode: a press starts the band, a move draws it, or
// shows the mode's prompt when no band of this view is under way. False for other events.
bool TrackBand(TBandState& s, CMainPicView& view, const TMouseEvent& event, const char* prompt)
{
    const QPoint at(event.m_nX, event.m_nY);
    if (event.m_nKind == TMouseEvent::LeftDown) {
        s = TBandState();
        s.view = &view;
        s.pressed = true;
        s.start = s.current = at;
        return true;
    }
    if (event.m_nKind != TMouseEvent::Move)
        return false;
    if (!s.pressed || s.view != &view) {
        view.SetStatusText(prompt);
        return true;
    }
    s.current = at;
    s.dragged = true;
    view.SetRubber(CMainPicView::RubberRect, Corners(s.start, s.current), kBandColour);
    return true;
}

// The two in-plane components of a 3-D point in the plane of `orientation`.
bool InPlane(int orientation, int& a, int& b)
{
    return TMRImage::InPlaneAxes(orientation, a, b);
}

}  // namespace

// ---- the road of a mouse message ---------------------------------------------------------

void CMainPicView::PostMouseEvent(QMouseEvent* event, int kind)
{
    TMouseEvent e;
    e.m_nKind = kind;
    const Qt::KeyboardModifiers keys = event->modifiers();
    e.m_nKeys = ((keys & Qt::ShiftModifier) ? TMouseEvent::kShift : 0) |
                ((keys & Qt::ControlModifier) ? TMouseEvent::kCtrl : 0);
    const QPoint p = event->position().toPoint();
    e.m_nX = p.x();
    e.m_nY = p.y();
    event->accept();
    DispatchMouseEvent(&e);
}

void CMainPicView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        PostMouseEvent(event, TMouseEvent::LeftDown);
    else if (event->button() == Qt::RightButton)
        PostMouseEvent(event, TMouseEvent::RightDown);
}

void CMainPicView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        PostMouseEvent(event, TMouseEvent::LeftUp);
    } else if (event->button() == Qt::RightButton) {
        PostMouseEvent(event, TMouseEvent::RightUp);
        // Only Select voxel leaves the right button to the context menu; in every other
        // mode the right button belongs to the mode.
        const TProject* project = m_pFrame ? m_pFrame->Project() : nullptr;
        if (project && project->m_pfnMouseHandler == &CMainPicView::OnMouseSelectVoxel) {
            const QPoint at = event->position().toPoint();
            QContextMenuEvent menu(QContextMenuEvent::Mouse, at, viewport()->mapToGlobal(at), event->modifiers());
            QCoreApplication::sendEvent(viewport(), &menu);
        }
    }
}

void CMainPicView::mouseMoveEvent(QMouseEvent* event)
{
    PostMouseEvent(event, TMouseEvent::Move);
}

void CMainPicView::DispatchMouseEvent(TMouseEvent* event)
{
    const TProject* project = m_pFrame ? m_pFrame->Project() : nullptr;
    // The handler is read before the call: GCC 12's vptr check of a member access inside
    // the operands of a ->* call tests the wrong address and fails on a valid project.
    const TMouseHandler handler = project ? project->m_pfnMouseHandler : nullptr;
    if (handler)
        (this->*handler)(event);
}

void CMainPicView::SetRubber(RubberKind kind, const QPolygon& points, const QColor& colour)
{
    if (kind == NoRubber && m_nRubber == NoRubber)
        return;
    m_nRubber = kind;
    m_rubberPoints = points;
    m_rubberColour = colour;
    viewport()->update();
}

bool CMainPicView::HasMouseState(const CMainPicView* view)
{
    return (g_zoomBand.view == view && g_zoomBand.pressed) || (g_selectBand.view == view && g_selectBand.pressed) ||
           (g_spectraRange.view == view && (g_spectraRange.leftDrag || g_spectraRange.rightDrag)) ||
           (g_voxelShift.view == view && g_voxelShift.dragging) || (g_polygon.view == view && g_polygon.polygon) ||
           (g_region.view == view && g_region.shape);
}

void CMainPicView::ForgetMouseState()
{
    for (TBandState* band : {&g_zoomBand, &g_selectBand})
        if (band->view == this)
            *band = TBandState();
    if (g_spectraRange.view == this)
        g_spectraRange = TSpectraRangeState();
    if (g_voxelShift.view == this)
        g_voxelShift = TVoxelShiftState();
    // A shape under way refers to this window's image and plane.
    if (g_polygon.view == this)
        g_polygon = TPolygonState();
    if (g_region.view == this)
        g_region = TRegionState();
}

// ---- Select voxel ----------------------------------------------------------------------

QString CMainPicView::SelectVoxelText(int x, int y) const
{
    TMRImage* image = FrameImage();
    const TCSISlice* slice = FrameSlice();
    const TProject* project = m_pFrame ? m_pFrame->Project() : nullptr;
    const TCSISet* workSet = project ? project->m_pWorkSet : nullptr;
    const TPoint2D p = ClientToMm(x, y);
    std::string text;

    // Position in scanner coordinates, in the standard view of the plane.
    int orientation = -1;
    float position = 0.0f;
    if (image && image->ContainsPoint(p)) {
        orientation = image->GetOrientation();
        position = image->GetSlicePosition();
    } else if (!image && slice && slice->ContainsPoint(p)) {
        orientation = slice->GetSliceAxis();
        position = slice->GetSlicePosition();
    }
    int a = 0, b = 0;
    if (orientation >= 0 && InPlane(orientation, a, b)) {
        float v[3];
        v[orientation] = position;
        v[a] = p.x;
        v[b] = p.y;
        OrientToStandardView(m_strOrientLabels, orientation, &v[a], &v[b], 0);
        if (workSet)
            workSet->TransformPoint(v, 3);
        else if (image)
            image->Transform(v, 3);
        else if (slice->GetSet())
            slice->GetSet()->TransformPoint(v, 3);
        float first = v[a], second = v[b];
        // An axial view whose horizontal axis is not left-right names the other one first.
        const char label = m_strOrientLabels.empty() ? 'R' : m_strOrientLabels[0];
        if (m_pFrame->m_nAxis == 2 && label != 'R' && label != 'L' && label != 'r' && label != 'l')
            std::swap(first, second);
        text.append("(").append(FloatToString(first, 1)).append("mm, ").append(FloatToString(second, 1)).append("mm),");
    }

    if (slice && slice->ContainsPoint(p)) {
        const vx::TPointI voxel = slice->GetVoxelIndexAt(p);
        text += " (" + FloatToString(static_cast<float>(voxel.x), 5) + "," +
                FloatToString(static_cast<float>(voxel.y), 5) + ")";
    }

    for (TMRImage* overlay : m_pFrame->GetMapOverlays()) {
        const vx::TPointI pixel = overlay->WorldToPixel(p);
        if (pixel.x >= 0 && pixel.x < overlay->GetWidth() && pixel.y >= 0 && pixel.y < overlay->GetHeight())
            text += ", " + overlay->GetPixelValueText(pixel.x, pixel.y);
    }
    return QString::fromStdString(text);
}

void CMainPicView::OnMouseSelectVoxel(TMouseEvent* event)
{
    viewport()->setCursor(Qt::ArrowCursor);
    if (event->m_nKind == TMouseEvent::Move) {
        const TMRImage* image = FrameImage();
        if (image && !image->IsGeometryComplete())
            return;
        SetStatusText(SelectVoxelText(event->m_nX, event->m_nY));
        return;
    }
    if (event->m_nKind != TMouseEvent::LeftDown || !FrameSlice() || !m_bShowCSISlice)
        return;
    TSpectrum* voxel = FrameSlice()->GetSpectrumAt(ClientToMm(event->m_nX, event->m_nY));
    if (!voxel || !m_pFrame->MainFrame())
        return;
    voxel->m_bShown = 1;
    m_pFrame->MainFrame()->OpenVoxelWindow(voxel, *event, m_pFrame);
}

// ---- zoom and centre -------------------------------------------------------------------

void CMainPicView::OnMouseZoomIn(TMouseEvent* event)
{
    viewport()->setCursor(ZoomCursor(true));
    TBandState& s = g_zoomBand;
    const QPoint at(event->m_nX, event->m_nY);
    if (TrackBand(s, *this, *event, "Left clk To Zoom In"))
        return;
    switch (event->m_nKind) {
    case TMouseEvent::LeftUp: {
        if (!s.pressed || s.view != this)
            break;
        TPoint2D centre;
        if (!s.dragged) {
            centre = ClientToMm(at.x(), at.y());
            m_fZoom *= kZoomInStep;
        } else {
            // The band as drawn: a band dragged to the left has a negative width.
            const int left = s.start.x(), right = s.current.x();
            const int top = s.start.y(), bottom = s.current.y();
            centre = ClientToMm((left + right) / 2, (top + bottom) / 2);
            const int width = right - left;
            if (width > kNarrowBand)
                m_fZoom = static_cast<float>(viewport()->width()) * m_fZoom / static_cast<float>(width);
            else
                m_fZoom *= kZoomInStep;
        }
        s = TBandState();
        ClearRubber();
        CentreOn(centre, false);
        m_ptCenter = centre;
        UpdateScrollBars();
        RepaintAllLayers();
        ComposeLayers();
        ShowPicture();
        m_pFrame->UpdateTitle();
        break;
    }
    default:
        break;
    }
}

void CMainPicView::OnMouseZoomOut(TMouseEvent* event)
{
    viewport()->setCursor(ZoomCursor(false));
    if (event->m_nKind == TMouseEvent::Move) {
        SetStatusText("Left clk To Zoom Out");
        return;
    }
    if (event->m_nKind != TMouseEvent::LeftDown)
        return;
    const TPoint2D p = ClientToMm(event->m_nX, event->m_nY);
    m_fZoom *= kZoomOutStep;
    m_pFrame->UpdateTitle();
    CentreOn(p, false);
    m_ptCenter = p;
    UpdateScrollBars();
    // Every layer follows the zoom, hidden ones too: one shown later must fit the others.
    RepaintAllLayers();
    ComposeLayers();
    ShowPicture();
}

void CMainPicView::OnMouseMoveCenter(TMouseEvent* event)
{
    viewport()->setCursor(Qt::ArrowCursor);
    TMRImage* image = FrameImage();
    if (!m_bShowImage || !image)
        return;
    if (event->m_nKind == TMouseEvent::Move) {
        SetStatusText("Left clk To Move Center, Right clk To Reset");
        return;
    }
    const std::vector<TMRImage*> overlays = m_pFrame->GetMapOverlays();
    if (event->m_nKind == TMouseEvent::LeftDown) {
        const TPoint2D p = ClientToMm(event->m_nX, event->m_nY);
        image->AddShift(p);
        for (TMRImage* overlay : overlays)
            overlay->AddShift(p);
    } else if (event->m_nKind == TMouseEvent::RightDown) {
        image->ResetShift();
        for (TMRImage* overlay : overlays)
            overlay->ResetShift();
    } else {
        return;
    }
    PaintImageLayer();
    PaintCSILayer();
    if (m_bShowRegions)
        PaintRegionLayer();
    if (m_bShowVOI)
        PaintVOILayer();
    PaintLayer5();
    ComposeLayers();
    ShowPicture();
}

// ---- spectra in the grid ---------------------------------------------------------------

void CMainPicView::OnMouseSpectraRange(TMouseEvent* event)
{
    viewport()->setCursor(Qt::ArrowCursor);
    TCSISlice* slice = FrameSlice();
    TProject* project = m_pFrame->Project();
    if (!m_bShowCSISlice || !slice || !slice->GetSet() || !project)
        return;
    TCSISet& set = *slice->GetSet();
    TSpectraRangeState& s = g_spectraRange;
    if (s.view != this)
        s = TSpectraRangeState();
    switch (event->m_nKind) {
    case TMouseEvent::LeftDown:
    case TMouseEvent::RightDown:
        s.view = this;
        (event->m_nKind == TMouseEvent::LeftDown ? s.leftDrag : s.rightDrag) = true;
        s.lastX = event->m_nX;
        set.GetPointRange(s.first, s.last);
        break;
    case TMouseEvent::LeftUp:
        s.leftDrag = false;
        break;
    case TMouseEvent::RightUp:
        s.rightDrag = false;
        break;
    case TMouseEvent::Move: {
        const int dx = event->m_nX - s.lastX;
        if (s.leftDrag)
            set.SetPointRange(s.first + dx, s.last);
        else if (s.rightDrag)
            set.SetPointRange(s.first, s.last + dx);
        s.lastX = event->m_nX;
        set.GetPointRange(s.first, s.last);
        project->m_display.m_nXStart = s.first;
        project->m_display.m_nXEnd = s.last;
        SetStatusText(QString("Spec View Range: %1 to %2").arg(s.first).arg(s.last));
        if (s.leftDrag || s.rightDrag) {
            PaintCSILayer();
            ComposeLayers();
            ShowPicture();
            if (CMainFrame* main = m_pFrame->MainFrame()) {
                main->SetSpectrumDisplay(project->m_display);
                main->RefreshVoxelWindows();
                main->RefreshRegionWindows();
            }
        }
        break;
    }
    default:
        break;
    }
}

void CMainPicView::OnMouseVoxelShift(TMouseEvent* event)
{
    viewport()->setCursor(Qt::ArrowCursor);
    TCSISlice* slice = FrameSlice();
    TProject* project = m_pFrame->Project();
    if (!m_bShowCSISlice || !slice || !project)
        return;
    TVoxelShiftState& s = g_voxelShift;
    const TPoint2D point = FrameImage() ? ClientToMm(event->m_nX, event->m_nY)
                                        : ClientToSliceCentred(event->m_nX, event->m_nY);
    CMainFrame* main = m_pFrame->MainFrame();
    switch (event->m_nKind) {
    case TMouseEvent::LeftDown:
        s = TVoxelShiftState();
        s.view = this;
        s.dragging = true;
        s.start = s.last = point;
        s.startCentre = slice->GetCentre();
        break;
    case TMouseEvent::Move: {
        if (!s.dragging || s.view != this) {
            SetStatusText("Drag to Voxel Shift");
            break;
        }
        // A preview on this plane only: its voxels move at once.
        const TPoint2D d = point - s.last;
        slice->ShiftVoxels(slice->GetCentre() + d);
        if (main)
            main->RefreshVoxelWindows();
        s.last = point;
        s.total = point - s.start;
        SetStatusText(QString::fromStdString("Voxel Shift by (" + FloatToString(s.total.x, 2) + "mm, " +
                                             FloatToString(s.total.y, 2) + "mm)"));
        PaintCSILayer();
        PaintVOILayer();
        ComposeLayers();
        ShowPicture();
        break;
    }
    case TMouseEvent::LeftUp: {
        if (!s.dragging || s.view != this)
            break;
        const TPoint2D reached = slice->GetCentre();
        const int axis = slice->GetSliceAxis();
        TCSISet* set = slice->GetSet();
        // The preview goes back to where the press found the plane; the whole set moves.
        slice->ShiftVoxels(s.startCentre);
        s = TVoxelShiftState();
        if (!set || set != project->m_pWorkSet)
            break;
        int a = 0, b = 0;
        if (!InPlane(axis, a, b))
            break;
        // The grid's new centre in scanner coordinates: the reached in-plane centre in the
        // set's frame, the slice axis where the set's shift already is.
        float newCentre[3] = {set->m_fVoxelShift[0], set->m_fVoxelShift[1], set->m_fVoxelShift[2]};
        newCentre[a] = reached.x;
        newCentre[b] = reached.y;
        set->TransformPoint(newCentre, 3);
        float oldCentre[3] = {set->m_fOffCentre[0], set->m_fOffCentre[1], set->m_fOffCentre[2]};
        auto* step = new TVoxelShiftStep(oldCentre, newCentre, project->m_bRecording, set);
        // The step moves the set, makes the moved grid its off-centre and places the
        // images and frames again; a step that fails has said why and changed nothing.
        if (!TProcessStep::Perform(step, *project, true))
            break;
        step->SetNewCenter(set->m_fOffCentre);
        project->ShowWorkSetInfo();
        if (main)
            main->UpdateAnalysisWindows(1, 1);
        project->UpdateRegionEstimates();
        if (main) {
            main->RefreshRegionWindows();
            main->RefreshVoxelWindows();
        }
        project->UpdateFrames(true, true, true, true, true);
        if (main)
            main->UpdateCommandStates();
        break;
    }
    default:
        break;
    }
}

// ---- voxel selection and averaging -------------------------------------------------------

void CMainPicView::OnMouseMultiSelect(TMouseEvent* event)
{
    viewport()->setCursor(Qt::ArrowCursor);
    TCSISlice* slice = FrameSlice();
    TProject* project = m_pFrame->Project();
    if (!m_bShowCSISlice || !slice || !project)
        return;
    TBandState& s = g_selectBand;
    const QPoint at(event->m_nX, event->m_nY);
    if (TrackBand(s, *this, *event, "Click or drag to select, right click to deselect"))
        return;
    std::vector<TSpectrum*> changed;
    switch (event->m_nKind) {
    case TMouseEvent::LeftUp: {
        if (!s.pressed || s.view != this)
            return;
        // A click is a band of one point: it toggles the voxel under it.
        const QPoint end = s.dragged ? s.current : at;
        const vx::TPointI c0 = slice->GetVoxelIndexAt(ClientToMm(s.start.x(), s.start.y()));
        const vx::TPointI c1 = slice->GetVoxelIndexAt(ClientToMm(end.x(), end.y()));
        s = TBandState();
        ClearRubber();
        for (int column = std::min(c0.x, c1.x); column <= std::max(c0.x, c1.x); ++column)
            for (int row = std::min(c0.y, c1.y); row <= std::max(c0.y, c1.y); ++row)
                if (TSpectrum* voxel = slice->GetVoxel(column, row)) {
                    voxel->m_bSelected = voxel->m_bSelected ? 0 : 1;
                    changed.push_back(voxel);
                }
        break;
    }
    case TMouseEvent::RightDown:
        changed = DeselectAll(*slice);
        break;
    default:
        return;
    }
    project->RedrawVoxelSet(changed);
    ComposeLayers();
    ShowPicture();
}

void CMainPicView::OnMouseAverageVoxels(TMouseEvent* event)
{
    viewport()->setCursor(Qt::ArrowCursor);
    TCSISlice* slice = FrameSlice();
    TProject* project = m_pFrame->Project();
    if (!m_bShowCSISlice || !slice || !project)
        return;
    if (event->m_nKind == TMouseEvent::Move) {
        SetStatusText("Ctrl + Click to select the voxels to be averaged");
        return;
    }
    if (event->m_nKind != TMouseEvent::LeftDown)
        return;
    TSpectrum* voxel = slice->GetSpectrumAt(ClientToMm(event->m_nX, event->m_nY));
    if (!voxel || !m_pFrame->MainFrame())
        return;
    voxel->m_bAveraged = 1;
    m_pFrame->MainFrame()->OpenAverageWindow(voxel, *event);
    project->RedrawVoxel(voxel->m_nX, voxel->m_nY, voxel->m_nZ);
}

void CMainPicView::OnMousePolygonSelect(TMouseEvent* event)
{
    viewport()->setCursor(Qt::CrossCursor);
    TCSISlice* slice = FrameSlice();
    TProject* project = m_pFrame->Project();
    if (!slice || !project)
        return;
    TPolygonState& s = g_polygon;
    // The vertices of a polygon begun in another window are cells of another plane.
    if (s.polygon && s.view != this) {
        s.view->ClearRubber();
        s = TPolygonState();
    }
    const QPoint at(event->m_nX, event->m_nY);
    const vx::TPointI cell = slice->GetVoxelIndexAt(ClientToMm(event->m_nX, event->m_nY));
    std::vector<TSpectrum*> changed;
    switch (event->m_nKind) {
    case TMouseEvent::LeftDown:
        if (!s.polygon) {
            s.view = this;
            s.polygon = std::make_unique<TDrawnRegionPolygon>();
            s.outline.clear();
        }
        s.polygon->AddPoint(cell.x, cell.y);
        s.outline << at;
        SetRubber(RubberPolyline, s.outline, kShapeColour);
        return;
    case TMouseEvent::Move:
        if (s.polygon)
            SetRubber(RubberPolyline, QPolygon(s.outline) << at, kShapeColour);
        return;
    case TMouseEvent::RightDown:
        if (s.polygon) {
            s.polygon->AddPoint(cell.x, cell.y);
            s.polygon->SetImagePlane(*m_pFrame);
            const int columns = slice->GetColumns(), rows = slice->GetRows();
            std::vector<int32_t> mask(static_cast<size_t>(columns) * static_cast<size_t>(rows));
            if (!s.polygon->MakePixelMask(mask.data(), columns, rows)) {
                vx::Report("Invalid polygon.", vx::ReportIcon::None);
            } else {
                for (int column = 0; column < columns; ++column)
                    for (int row = 0; row < rows; ++row) {
                        TSpectrum* voxel = slice->GetVoxel(column, row);
                        if (voxel && mask[static_cast<size_t>(row) * columns + column]) {
                            voxel->m_bSelected = voxel->m_bSelected ? 0 : 1;
                            changed.push_back(voxel);
                        }
                    }
            }
            s = TPolygonState();
        } else {
            changed = DeselectAll(*slice);
        }
        ClearRubber();
        break;
    default:
        return;
    }
    project->RedrawVoxelSet(changed);
    ComposeLayers();
    ShowPicture();
}

void CMainPicView::OnMouseUserRegion(TMouseEvent* event)
{
    viewport()->setCursor(Qt::CrossCursor);
    TMRImage* image = FrameImage();
    TProject* project = m_pFrame->Project();
    if (!image || !FrameSlice() || !project)
        return;
    TRegionState& s = g_region;
    if (s.shape && s.view != this) {
        s.view->ClearRubber();
        s = TRegionState();
    }
    const QPoint at(event->m_nX, event->m_nY);
    const TPoint2D mm = ClientToMm(event->m_nX, event->m_nY);
    const bool inside = image->ContainsPoint(mm);
    const vx::TPointI pixel = image->WorldToPixel(mm);
    // The shape goes into the image's group; the picture shows the group with it.
    auto commit = [&] {
        s.shape->AddPoint(pixel.x, pixel.y);
        RegionGroupOf(*project, *m_pFrame)->AddRegion(s.shape.release());
        s = TRegionState();
        ClearRubber();
        PaintRegionLayer();
        ComposeLayers();
        ShowPicture();
    };
    switch (event->m_nKind) {
    case TMouseEvent::LeftDown:
        if (!inside)
            return;
        if (s.shape) {
            // Only a polygon takes more than its first point from presses.
            if (s.kind == 2) {
                s.shape->AddPoint(pixel.x, pixel.y);
                s.outline << at;
                SetRubber(RubberPolyline, s.outline, kShapeColour);
            }
            return;
        }
        {
            TDrawnRegionGroup* group = RegionGroupOf(*project, *m_pFrame);
            // Ctrl adds the shape to the image's regions; otherwise it replaces them.
            if (!(event->m_nKeys & TMouseEvent::kCtrl))
                group->DeleteAll();
        }
        s.view = this;
        s.kind = std::clamp(project->m_nDrawShape, 0, 2);
        if (s.kind == 0)
            s.shape = std::make_unique<TDrawnRegionRect>();
        else if (s.kind == 1)
            s.shape = std::make_unique<TDrawnRegionEllipse>();
        else
            s.shape = std::make_unique<TDrawnRegionPolygon>();
        s.shape->SetImagePlane(*m_pFrame);
        s.shape->AddPoint(pixel.x, pixel.y);
        s.outline = QPolygon({at});
        PaintRegionLayer();
        ComposeLayers();
        ShowPicture();
        if (s.kind == 2)
            SetRubber(RubberPolyline, s.outline, kShapeColour);
        return;
    case TMouseEvent::Move:
        if (!s.shape)
            return;
        if (s.kind == 2)
            SetRubber(RubberPolyline, QPolygon(s.outline) << at, kShapeColour);
        else
            SetRubber(s.kind == 0 ? RubberRect : RubberEllipse, Corners(s.outline.first(), at), kShapeColour);
        return;
    case TMouseEvent::LeftUp:
        // A release outside the image leaves the shape under way.
        if (s.shape && s.kind != 2 && inside)
            commit();
        return;
    case TMouseEvent::RightDown:
        if (s.shape && s.kind == 2 && inside)
            commit();
        return;
    default:
        return;
    }
}
