#include "app/CChildFrame.h"

#include <QCloseEvent>
#include <QMdiArea>

#include "app/CInfoFrameBase.h"
#include "app/CMainFrame.h"
#include "app/CVexaraApp.h"
#include "app/CWindowingToolBar.h"
#include "app/TImageFrameList.h"
#include "model/TCSISet.h"
#include "model/TCSISlice.h"
#include "model/TMRImage.h"
#include "model/TMap.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/Numbers.h"
#include "platform/Report.h"
#include "views/picture/CMainPicView.h"

namespace {

// Room around the picture: the colour-scale column and the window's frame and title.
constexpr int kExtraWidth = 110;
constexpr int kExtraHeight = 40;
// Side of the least picture Tile leaves an image window, beside its colour scale.
constexpr int kUsablePicture = 128;
// Setting 2 of the application: several map overlays on one image.
constexpr int kMultiMapSetting = 2;

std::string OrientationLabel(int orientation, bool withUnknown)
{
    switch (orientation) {
    case 0: return "(Sagittal) ";
    case 1: return "(Coronal) ";
    case 2: return "(Axial) ";
    default: return withUnknown ? "(Unknown) " : "";
    }
}

bool MultipleMapsShown()
{
    const CVexaraApp* app = CVexaraApp::Instance();
    return app && app->GetSetting(kMultiMapSetting) != 0;
}

}  // namespace

CChildFrame::CChildFrame(TImageFrameList* owner) : m_pOwner(owner)
{
    setAttribute(Qt::WA_DeleteOnClose);
    connect(this, &QMdiSubWindow::windowStateChanged, this,
            [this](Qt::WindowStates before, Qt::WindowStates now) {
                if ((now & Qt::WindowActive) && !(before & Qt::WindowActive))
                    OnMDIActivate(true);
            });
}

CChildFrame::~CChildFrame()
{
    // QMdiSubWindow's destructor deactivates an active window and emits windowStateChanged
    // once this window's own part is gone: the activation handler must not hear it.
    disconnect(this, &QMdiSubWindow::windowStateChanged, this, nullptr);
    Detach();
}

void CChildFrame::GetSlicePosition(float position[3]) const
{
    for (int d = 0; d < 3; ++d)
        position[d] = m_position[d];
}

TProject* CChildFrame::Project() const
{
    if (m_pOwner && m_pOwner->GetProject())
        return m_pOwner->GetProject();
    return g_pProject;
}

// ---- creation --------------------------------------------------------------------------

void CChildFrame::OnCreateClient()
{
    if (m_pView)
        return;
    m_pView = new CMainPicView(this);
    setWidget(m_pView);
}

QSize CChildFrame::UsableSize()
{
    return {kUsablePicture + kExtraWidth, kUsablePicture + kExtraHeight};
}

bool CChildFrame::CreateWindow(CMainFrame* parent, int contentWidth, int contentHeight, const std::string& title)
{
    if (!parent || !parent->MdiArea())
        return false;
    m_pMainFrame = parent;
    OnCreateClient();
    setWindowTitle(QString::fromStdString(title));
    parent->MdiArea()->addSubWindow(this);
    resize(contentWidth + kExtraWidth, contentHeight + kExtraHeight);
    show();
    m_pView->OnCreate();
    return true;
}

bool CChildFrame::CreateForImage(CMainFrame* parent, TMRImage* image)
{
    if (!image) {
        vx::Report("Invalid Image", vx::ReportIcon::Exclamation);
        return false;
    }
    m_pSlice.reset();
    m_nKind = kImageFrame;
    m_pImage = image;
    TProject* project = Project();
    if (image->IsGeometryComplete())
        SetCSISliceFromImage(project ? project->m_pWorkSet : nullptr, image);
    if (!m_pSlice) {
        m_nAxis = image->GetOrientation();
        image->GetCentre3D(m_position);
    }
    const vx::TSizeI size = image->GetDisplaySize();
    return CreateWindow(parent, size.cx, size.cy, TitleText(image, nullptr, 1.0f));
}

bool CChildFrame::CreateForSliceByPosition(CMainFrame* parent, int axis, float position)
{
    TProject* project = Project();
    SetCSISliceByPosition(project ? project->m_pWorkSet : nullptr, axis, position);
    return CreateSliceWindow(parent, axis);
}

bool CChildFrame::CreateForSliceByIndex(CMainFrame* parent, int axis, int index)
{
    TProject* project = Project();
    SetCSISliceByIndex(project ? project->m_pWorkSet : nullptr, axis, index);
    return CreateSliceWindow(parent, axis);
}

bool CChildFrame::CreateSliceWindow(CMainFrame* parent, int axis)
{
    if (!m_pSlice)
        return false;
    // The image nearest to the plane, within half the slice's thickness.
    TProject* project = Project();
    const float half = m_pSlice->GetThickness() / 2;
    const float centre = m_pSlice->GetSlicePosition();
    m_pImage = project ? project->FindNearestImage(axis, centre - half, centre + half) : nullptr;
    m_nKind = kSliceFrame;
    const vx::TSizeI size = m_pImage ? m_pImage->GetDisplaySize() : m_pSlice->GetFOVSize();
    const std::string title =
        m_pImage ? TitleText(m_pImage, nullptr, 1.0f) : OrientationLabel(axis, false) + "No image @ 100%";
    return CreateWindow(parent, size.cx, size.cy, title);
}

void CChildFrame::OnFileClose()
{
    close();
}

void CChildFrame::closeEvent(QCloseEvent* event)
{
    QMdiSubWindow::closeEvent(event);
    // The window is deleted later; it leaves the list and its voxel windows now.
    if (event->isAccepted())
        Detach();
}

void CChildFrame::Detach()
{
    if (m_bDetached)
        return;
    m_bDetached = true;
    if (m_pMainFrame)
        m_pMainFrame->CloseVoxelWindowsOfFrame(this);
    if (m_pOwner)
        m_pOwner->RemoveFrame(this);
    m_pOwner = nullptr;
    m_pSlice.reset();
    ClearMapOverlays();
}

void CChildFrame::OnMDIActivate(bool active)
{
    if (!active || !m_pMainFrame)
        return;
    if (CInfoFrameBase* info = m_pMainFrame->InfoFrame()) {
        info->UpdateImagePage(m_pImage);
        info->UpdateMapPage(GetMapOverlays());
    }
    RefreshWindowingBar();
}

void CChildFrame::RefreshWindowingBar()
{
    // A window being closed has nothing more to show.
    if (m_bDetached || !m_pMainFrame)
        return;
    if (CWindowingToolBar* bar = m_pMainFrame->WindowingBar())
        bar->FollowActiveImage();
}

// ---- view --------------------------------------------------------------------------------

void CChildFrame::UpdateView(bool reload, bool image, bool regions, bool voi, bool layer5)
{
    if (reload) {
        ReloadCSISlice();
        ReloadMapOverlays();
    }
    if (m_pView)
        m_pView->Redraw(reload, image, regions, voi, layer5);
}

void CChildFrame::RedrawVoxel(int x, int y, int z)
{
    if (m_pView)
        m_pView->RedrawVoxel(x, y, z);
}

void CChildFrame::RedrawVoxelSet(const std::vector<TSpectrum*>& voxels)
{
    if (m_pView)
        m_pView->RedrawVoxelSet(voxels);
}

void CChildFrame::SetShowImage(bool show)
{
    if (m_pView)
        m_pView->m_bShowImage = show;
}

void CChildFrame::SetShowCSISlice(bool show)
{
    if (m_pView)
        m_pView->m_bShowCSISlice = show;
}

void CChildFrame::SetShowUserRegions(bool show)
{
    if (m_pView)
        m_pView->m_bShowRegions = show;
}

// ---- CSI slice -----------------------------------------------------------------------------

void CChildFrame::ReloadCSISlice()
{
    TProject* project = Project();
    TCSISet* set = project ? project->m_pWorkSet : nullptr;
    if (m_pImage) {
        if (!m_pImage->IsGeometryComplete())
            return;
        SetCSISliceFromImage(set, m_pImage);
    } else {
        const int axis = m_nAxis >= 0 && m_nAxis < 3 ? m_nAxis : 0;
        SetCSISliceByPosition(set, m_nAxis, m_position[axis]);
    }
    if (!m_pSlice) {
        SetShowCSISlice(false);
        ClearMapOverlays();
    }
}

template <typename Place>
void CChildFrame::PlaceSlice(TCSISet* set, Place place)
{
    m_pSlice.reset();
    if (!set)
        return;
    auto slice = std::make_unique<TCSISlice>();
    if (!place(*slice))
        return;
    m_pSlice = std::move(slice);
    m_nAxis = m_pSlice->GetSliceAxis();
    m_pSlice->GetCentre3D(m_position);
}

void CChildFrame::SetCSISliceByPosition(TCSISet* set, int axis, float position)
{
    PlaceSlice(set, [&](TCSISlice& slice) { return slice.SetByPosition(set, axis, position); });
}

void CChildFrame::SetCSISliceByIndex(TCSISet* set, int axis, int index)
{
    PlaceSlice(set, [&](TCSISlice& slice) { return slice.SetByIndex(set, axis, index); });
}

void CChildFrame::SetCSISliceFromImage(TCSISet* set, TMRImage* image)
{
    PlaceSlice(set, [&](TCSISlice& slice) { return image && slice.SetFromImage(set, image); });
}

// ---- map overlays --------------------------------------------------------------------------

bool CChildFrame::AddMapOverlay(TMap* map, int axis, float position)
{
    auto overlay = std::make_unique<TMRImage>(Project());
    if (!overlay->CreateFromCSIMap(map, axis, position))
        return false;
    if (!MultipleMapsShown())
        m_overlays.clear();
    // The map moves with the image.
    if (m_pImage) {
        overlay->ResetShift();
        overlay->AddShift(m_pImage->GetShift());
    }
    m_overlays.push_back(std::move(overlay));
    RefreshWindowingBar();
    return true;
}

bool CChildFrame::RemoveMapOverlay(TMap* map)
{
    if (!map)
        return false;
    for (auto it = m_overlays.begin(); it != m_overlays.end(); ++it)
        if ((*it)->GetName() == map->GetName()) {
            m_overlays.erase(it);
            RefreshWindowingBar();
            return true;
        }
    return false;
}

bool CChildFrame::HasMapOverlay(TMap* map) const
{
    if (!map)
        return false;
    for (const auto& overlay : m_overlays)
        if (overlay->GetName() == map->GetName())
            return true;
    return false;
}

void CChildFrame::ReloadMapOverlays()
{
    if (m_overlays.empty() || !m_pSlice)
        return;
    TProject* project = Project();
    TCSISet* set = project ? project->m_pWorkSet : nullptr;
    // Each old overlay is taken out before its replacement is made, so that a
    // replacement that clears the list (one map at a time) cannot take it along twice.
    std::vector<std::unique_ptr<TMRImage>> old = std::move(m_overlays);
    m_overlays.clear();
    for (std::unique_ptr<TMRImage>& overlay : old) {
        TMap* map = set ? set->FindMap(overlay->GetName()) : nullptr;
        if (!map)
            continue;
        if (m_pImage)
            AddMapOverlay(map, m_pImage->GetOrientation(), m_pImage->GetSlicePosition());
        else
            AddMapOverlay(map, overlay->GetOrientation(), overlay->GetSlicePosition());
    }
    RefreshWindowingBar();
}

void CChildFrame::ClearMapOverlays()
{
    m_overlays.clear();
    RefreshWindowingBar();
}

void CChildFrame::ApplyMapScale(TMap* map)
{
    if (!map)
        return;
    for (const auto& overlay : m_overlays)
        if (overlay->GetName() == map->GetName()) {
            overlay->SetWindowLow(map->displayMin);
            overlay->SetWindowHigh(map->displayMax);
        }
    RefreshWindowingBar();
}

float CChildFrame::GetMapDisplayMin() const
{
    float sum = 0.0f;
    for (const auto& overlay : m_overlays)
        sum += overlay->GetWindowLow();
    return sum;
}

float CChildFrame::GetMapDisplayMax() const
{
    float sum = 0.0f;
    for (const auto& overlay : m_overlays)
        sum += overlay->GetWindowHigh();
    return sum;
}

std::vector<TMRImage*> CChildFrame::GetMapOverlays() const
{
    std::vector<TMRImage*> overlays;
    for (const auto& overlay : m_overlays)
        overlays.push_back(overlay.get());
    return overlays;
}

// ---- title ---------------------------------------------------------------------------------

std::string CChildFrame::TitleText(const TMRImage* image, const TCSISlice* slice, float zoom)
{
    // Truncated toward zero: 1.25 x 100 is "125", 0.8 x 0.8 x 100 is "64".
    const std::string percent = std::to_string(vx::TruncateToInt(static_cast<double>(zoom * 100.0f)));
    if (image)
        return OrientationLabel(image->GetOrientation(), true) + image->GetName() + " @ " + percent + "%";
    if (slice)
        return OrientationLabel(slice->GetSliceAxis(), false) + "No image @ " + percent + "%";
    return percent;
}

void CChildFrame::UpdateTitle()
{
    std::string title = TitleText(m_pImage, m_pSlice.get(), m_pView ? m_pView->m_fZoom : 1.0f);
    for (const auto& overlay : m_overlays)
        title += "<" + overlay->GetName() + ">";
    setWindowTitle(QString::fromStdString(title));
}
