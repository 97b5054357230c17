#pragma once
// "Integral Window": the integrals made in a voxel window's spectrum view, listed above a
// control panel. Each voxel window has at most one; closing it only hides it, and it
// goes with its voxel window.
#include <QMdiSubWindow>

class CIntegralDlgView;
class CIntegralListView;
class CMainFrame;
class CVoxelWindow;
class QSplitter;
class TIntegralRegion;

class CIntegralWnd : public QMdiSubWindow {
    Q_OBJECT
public:
    static constexpr int kWidth = 500;
    static constexpr int kHeight = 400;

    explicit CIntegralWnd(CVoxelWindow* owner);
    ~CIntegralWnd() override;

    // Places the window in the frame's MDI area and shows it; the "Ref. Unit" box starts
    // disabled. False without an MDI area.
    bool Create(CMainFrame* parent);
    // Takes the region over and lists it; null is ignored.
    void AddIntegral(TIntegralRegion* region);

    CIntegralListView* List() const { return m_pList; }
    CIntegralDlgView* Panel() const { return m_pPanel; }
    CVoxelWindow* Owner() const { return m_pOwner; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QSplitter* m_wndSplitter;
    CIntegralDlgView* m_pPanel;
    CIntegralListView* m_pList;
    CVoxelWindow* m_pOwner;
};
