#pragma once
// What the analysis-window list needs of an analysis window. The analysis window
// (CAnalysisWnd) derives from it; tests put windows of their own in its place.
#include "app/CListedWindow.h"

class CMainFrame;
class TAnalysis;
class TAnalysisWndList;

class CAnalysisWindowBase : public CListedWindow {
    Q_OBJECT
public:
    CAnalysisWindowBase(TAnalysisWndList* ownerList, TAnalysis* analysis);

    // Places the window in the frame's MDI area with the list's window size and
    // shows it; false when it cannot be made.
    virtual bool Create(CMainFrame* parent);

    virtual void SetAnalysis(TAnalysis* analysis) { m_pAnalysis = analysis; }
    TAnalysis* GetAnalysis() const { return m_pAnalysis; }
    virtual void UpdateViews(int a, int b, int c) = 0;
    virtual void SetMouseMode(int mode) = 0;
    virtual void SetUnit(int unit) = 0;

protected:
    TAnalysis* m_pAnalysis = nullptr;
};
