#include "views/spectrum/CVoxelWindow.h"

#include <QCloseEvent>
#include <QSplitter>

#include <algorithm>

#include "app/CChildFrame.h"
#include "app/CMainFrame.h"
#include "app/TWndList.h"
#include "app/WindowFactory.h"
#include "model/TCSISlice.h"
#include "model/TProject.h"
#include "model/TSpectrum.h"
#include "model/math/TextHelpers.h"
#include "platform/Globals.h"
#include "processing/TRegionEstimate.h"
#include "views/analysis/CIntegralWnd.h"
#include "views/spectrum/CVoxelWndAvgView.h"
#include "views/spectrum/CVoxelWndDlgView.h"
#include "views/spectrum/CVoxelWndView.h"

CVoxelWindow::CVoxelWindow(TVoxelWndList* ownerList, CChildFrame* childFrame, int kind)
    : CVoxelWindowBase(ownerList, childFrame, kind)
{
    setMinimumHeight(kMinHeight);
    OnCreateClient();
    connect(this, &QMdiSubWindow::windowStateChanged, this, [this](Qt::WindowStates before, Qt::WindowStates now) {
        const bool wasActive = before & Qt::WindowActive;
        const bool isActive = now & Qt::WindowActive;
        if (wasActive != isActive)
            OnMDIActivate(isActive);
    });
}

CVoxelWindow::~CVoxelWindow()
{
    // QMdiSubWindow's destructor deactivates an active window and emits windowStateChanged
    // once this window's own part is gone: the activation handler must not hear it.
    disconnect(this, &QMdiSubWindow::windowStateChanged, this, nullptr);
    // A window closed with its image window ends its tool as Cancel does.
    if (m_pView)
        m_pView->CloseTool();
    delete m_pIntegralWnd;
    m_pIntegralWnd = nullptr;
    // The panes go first: the view lets go of its voxels while they surely exist.
    delete m_wndSplitter;
    m_wndSplitter = nullptr;
    m_pView = nullptr;
    m_pPanel = nullptr;
    // A window of region estimates takes its estimate with it.
    if (m_nKind != kEstimatedVoxel || !g_pProject)
        return;
    std::list<TRegionEstimate*>& estimates = g_pProject->m_regionEstimates;
    const auto found = std::find(estimates.begin(), estimates.end(), m_pRegionEstimate);
    if (m_pRegionEstimate && found != estimates.end()) {
        estimates.erase(found);
        delete m_pRegionEstimate;
        m_pRegionEstimate = nullptr;
    }
    g_pProject->UpdateFrames(false, false, true, false, false);
}

bool CVoxelWindow::OnCreateClient()
{
    if (m_nKind < kSingleVoxel || m_nKind > kEstimatedVoxel)
        return false;
    m_wndSplitter = new QSplitter(Qt::Vertical);
    m_wndSplitter->setChildrenCollapsible(false);
    // An average window shows the mean of its voxels.
    m_pView = m_nKind == kAverageVoxel ? new CVoxelWndAvgView : new CVoxelWndView;
    m_pPanel = new CVoxelWndDlgView;
    m_wndSplitter->addWidget(m_pView);
    m_wndSplitter->addWidget(m_pPanel);
    // Extra height goes to the spectra; the panel keeps its form's height.
    m_wndSplitter->setStretchFactor(0, 1);
    m_wndSplitter->setStretchFactor(1, 0);
    m_pView->SetFrame(this);
    m_pPanel->SetFrame(this);
    ConnectViewRequests();
    if (g_pProject)
        m_pView->SetDisplayParams(g_pProject->m_display);
    setWidget(m_wndSplitter);
    setFocusProxy(m_pView);
    return true;
}

bool CVoxelWindow::Create(CMainFrame* parent, const QRect& rect)
{
    return m_pView != nullptr && CVoxelWindowBase::Create(parent, rect);
}

CIntegralWnd* CVoxelWindow::ShowIntegralWindow()
{
    if (!m_pIntegralWnd) {
        auto* window = new CIntegralWnd(this);
        if (!window->Create(m_pOwnerList ? m_pOwnerList->GetMDIParent() : nullptr)) {
            delete window;
            return nullptr;
        }
        m_pIntegralWnd = window;
    }
    m_pIntegralWnd->show();
    return m_pIntegralWnd;
}

void CVoxelWindow::HideIntegralWindow()
{
    if (m_pIntegralWnd)
        m_pIntegralWnd->hide();
}

CIntegralWnd* CVoxelWindow::IntegralWindow() const
{
    return m_pIntegralWnd;
}

void CVoxelWindow::ClearVoxels()
{
    if (m_pView)
        m_pView->ClearVoxels();
}

void CVoxelWindow::SetVoxel(TSpectrum* voxel)
{
    if (m_pView && voxel)
        m_pView->AddVoxel(voxel);
}

int CVoxelWindow::GetVoxelCount() const
{
    return m_pView ? static_cast<int>(m_pView->GetVoxels().size()) : 0;
}

TSpectrum* CVoxelWindow::GetCurrentSpectrum() const
{
    return m_pView ? m_pView->GetCurrentVoxel() : nullptr;
}

const QImage& CVoxelWindow::GetPlotBitmap() const
{
    static const QImage none;
    return m_pView ? m_pView->Picture() : none;
}

void CVoxelWindow::RefreshView()
{
    if (m_pView)
        m_pView->Refresh();
}

void CVoxelWindow::SetDisplayParams(const TSpectrumDisplayParams* display)
{
    if (m_pView && display)
        m_pView->SetDisplayParams(*display);
}

void CVoxelWindow::GetDisplayParams(TSpectrumDisplayParams* display) const
{
    if (m_pView && display)
        *display = m_pView->GetDisplayParams();
}

void CVoxelWindow::SetUnit(int unit)
{
    if (!m_pView)
        return;
    m_pView->SetUnit(unit);
    m_pPanel->CheckUnitButton(unit);
}

void CVoxelWindow::OnUnitChanged(int unit)
{
    if (!m_pView)
        return;
    m_pView->SetUnit(unit);
    if (m_pOwnerList && m_pOwnerList->GetMDIParent())
        m_pOwnerList->GetMDIParent()->SetAnalysisWindowsUnit(unit);
}

void CVoxelWindow::SetRegionEstimate(TRegionEstimate* estimate)
{
    CVoxelWindowBase::SetRegionEstimate(estimate);
    if (windowState() & Qt::WindowActive)
        OnMDIActivate(true);
}

QString CVoxelWindow::GetEstimateTitle() const
{
    if (m_nKind != kEstimatedVoxel || !m_pRegionEstimate)
        return {};
    return QString::fromStdString("Volume: " + FloatToString(m_pRegionEstimate->GetRegionSize(), 2));
}

void CVoxelWindow::OnPanelValueChanged(float a, float b, float c, float d)
{
    if (m_pView)
        m_pView->SetToolValues(a, b, c, d);
}

void CVoxelWindow::OnMDIActivate(bool active)
{
    if (!m_pView)
        return;
    if (m_nKind == kEstimatedVoxel) {
        if (m_pRegionEstimate && g_pProject) {
            m_pRegionEstimate->m_bHighlight = active ? 1 : 0;
            g_pProject->UpdateFrames(false, false, true, false, false);
        }
        return;
    }
    m_pView->SetVoxelsMark(active);
    if (g_pProject)
        g_pProject->RedrawVoxelSet(m_pView->GetVoxels());
}

void CVoxelWindow::closeEvent(QCloseEvent* event)
{
    // Closing ends the open tool as Cancel does: live phasing gives the samples back.
    if (m_pView)
        m_pView->CloseTool();
    ClearVoxels();
    if (m_pOwnerList) {
        m_pOwnerList->Remove(this);
        DetachFromList();
    }
    CVoxelWindowBase::closeEvent(event);
}

void CVoxelWindow::OnKeyDown(int key)
{
    switch (key) {
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageDown:
    case Qt::Key_PageUp:
        if (m_pView)
            m_pView->OnKeyDown(key);
        return;
    default:
        WalkVoxel(key);
        return;
    }
}

void CVoxelWindow::WalkVoxel(int key)
{
    const TCSISlice* slice = m_pChildFrame ? m_pChildFrame->GetSlice() : nullptr;
    if (m_nKind != kSingleVoxel || GetVoxelCount() != 1 || !slice)
        return;
    TSpectrum* old = GetCurrentSpectrum();
    // Columns run along the first in-plane axis of the slice axis, rows along the second.
    const int index[3] = {old->m_nX, old->m_nY, old->m_nZ};
    int column = 0, row = 0;
    switch (m_pChildFrame->m_nAxis) {
    case 0: column = index[1]; row = index[2]; break;
    case 1: column = index[0]; row = index[2]; break;
    case 2: column = index[0]; row = index[1]; break;
    default: return;
    }
    switch (key) {
    case Qt::Key_Left: --column; break;
    case Qt::Key_Right: ++column; break;
    case Qt::Key_Up: --row; break;
    case Qt::Key_Down: ++row; break;
    default: return;
    }
    TSpectrum* voxel = slice->GetVoxel(column, row);
    if (!voxel)
        return;
    ClearVoxels();
    old->m_bMark = 0;
    SetVoxel(voxel);
    RefreshView();
    voxel->m_bShown = 1;
    voxel->m_bMark = 1;
    vx::app::SyncSlicesToVoxel(m_pChildFrame, voxel);
    if (g_pProject) {
        g_pProject->RedrawVoxel(voxel->m_nX, voxel->m_nY, voxel->m_nZ);
        g_pProject->UpdateFrames(false, false, false, false, true);
    }
}
