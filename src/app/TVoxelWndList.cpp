#include "app/TVoxelWndList.h"

#include <QMdiArea>

#include "app/CMainFrame.h"
#include "app/CVoxelWindowBase.h"
#include "app/WindowArrangement.h"
#include "app/WindowFactory.h"

namespace {
int g_cascadeX = 0;
int g_cascadeY = 0;

TVoxelWndList::Factory& InstalledFactory()
{
    static TVoxelWndList::Factory factory;
    return factory;
}
}  // namespace

int TVoxelWndList::CascadeX() { return g_cascadeX; }
int TVoxelWndList::CascadeY() { return g_cascadeY; }

void TVoxelWndList::ResetCascade()
{
    g_cascadeX = 0;
    g_cascadeY = 0;
}

TVoxelWndList::Factory TVoxelWndList::SetFactory(Factory factory)
{
    Factory old = std::move(InstalledFactory());
    InstalledFactory() = std::move(factory);
    return old;
}

CVoxelWindowBase* TVoxelWndList::Newest() const
{
    return static_cast<CVoxelWindowBase*>(GetLast());
}

void TVoxelWndList::ForgetFrame(const CChildFrame* frame)
{
    for (CListedWindow* window : m_windows) {
        auto* voxelWindow = static_cast<CVoxelWindowBase*>(window);
        if (voxelWindow->GetChildFrame() == frame)
            voxelWindow->SetChildFrame(nullptr);
    }
}

void TVoxelWndList::RefreshAll()
{
    for (CListedWindow* window : m_windows)
        static_cast<CVoxelWindowBase*>(window)->RefreshView();
}

void TVoxelWndList::SetDisplayAll(const TSpectrumDisplayParams& display)
{
    for (CListedWindow* window : m_windows)
        static_cast<CVoxelWindowBase*>(window)->SetDisplayParams(&display);
}

void TVoxelWndList::ShowVoxelWindow(TSpectrum* object, int kind, bool newWindow, bool clear,
                                    CChildFrame* frame, TRegionEstimate* estimate)
{
    if (!object)
        return;
    if (!m_windows.empty() && !newWindow) {
        CVoxelWindowBase* window = Newest();
        if (clear)
            window->ClearVoxels();
        window->SetVoxel(object);
        window->SetChildFrame(frame);
        window->SetRegionEstimate(estimate);
        window->RefreshView();
        return;
    }
    if (!m_pMDIParent || !m_pMDIParent->MdiArea())
        return;
    const QRect client = m_pMDIParent->MdiArea()->viewport()->rect();
    if (m_windows.empty()) {
        g_cascadeX = std::max(0, client.right() + 1 - m_nWidth - 35);
        g_cascadeY = std::max(0, client.bottom() + 1 - m_nHeight - 70);
    }
    CVoxelWindowBase* window = InstalledFactory() ? InstalledFactory()(this, frame, kind)
                                                  : vx::app::MakeVoxelWindow(this, frame, kind);
    if (!window)
        return;
    if (!window->Create(m_pMDIParent, QRect(g_cascadeX, g_cascadeY, m_nWidth, m_nHeight))) {
        window->DetachFromList();
        delete window;
        return;
    }
    // The cascade position may stem from a larger main window: the window opens inside
    // the visible area, no larger than it unless its usable minimum is.
    window->setGeometry(vx::app::FitInside(window->geometry(), vx::app::UsableMinimum(window), client.size()));
    window->SetVoxel(object);
    window->SetUnit(m_nUnit);
    window->SetChildFrame(frame);
    window->SetRegionEstimate(estimate);
    // The next window moves up and left only while it stays inside the client area,
    // so that no title bar is pushed out of reach.
    if (g_cascadeX - 10 >= client.left() && g_cascadeY - 10 >= client.top()) {
        g_cascadeX -= 10;
        g_cascadeY -= 10;
    }
    Add(window);
}
