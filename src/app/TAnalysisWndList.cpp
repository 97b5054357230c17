#include "app/TAnalysisWndList.h"

#include "app/CAnalysisWindowBase.h"
#include "app/WindowFactory.h"

namespace {
TAnalysisWndList::Factory& InstalledFactory()
{
    static TAnalysisWndList::Factory factory;
    return factory;
}
}  // namespace

TAnalysisWndList::Factory TAnalysisWndList::SetFactory(Factory factory)
{
    Factory old = std::move(InstalledFactory());
    InstalledFactory() = std::move(factory);
    return old;
}

void TAnalysisWndList::SetMouseMode(int mode)
{
    for (CListedWindow* window : m_windows)
        static_cast<CAnalysisWindowBase*>(window)->SetMouseMode(mode);
}

void TAnalysisWndList::UpdateAll(int a, int b)
{
    for (CListedWindow* window : m_windows)
        static_cast<CAnalysisWindowBase*>(window)->UpdateViews(a, b, 0);
}

void TAnalysisWndList::SetUnit(int unit)
{
    for (CListedWindow* window : m_windows)
        static_cast<CAnalysisWindowBase*>(window)->SetUnit(unit);
}

CAnalysisWindowBase* TAnalysisWndList::OpenNew(TAnalysis* analysis)
{
    CAnalysisWindowBase* window = InstalledFactory() ? InstalledFactory()(this, analysis)
                                                     : vx::app::MakeAnalysisWindow(this, analysis);
    if (!window)
        return nullptr;
    if (!window->Create(m_pMDIParent)) {
        window->DetachFromList();
        delete window;
        return nullptr;
    }
    Add(window);
    return window;
}
