#pragma once
// A voxel window: the MDI child that shows the spectra of voxels picked in the image
// windows. A vertical splitter holds the spectrum view above the control panel, which
// keeps its full form height. The window forwards the lists' and the panel's requests to
// the view, keeps a minimum height, marks its voxels in the image windows while it is
// active, and lets the arrow keys walk a single voxel through the image window's CSI slice.
#include <QImage>
#include <QString>

#include "app/CVoxelWindowBase.h"

class CVoxelWndDlgView;
class CVoxelWndView;
class QSplitter;

class CVoxelWindow : public CVoxelWindowBase {
    Q_OBJECT
public:
    static constexpr int kMinHeight = 350;  // pixels, the whole window

    // Kinds 0 to 3; a window of another kind has no panes and cannot be created.
    CVoxelWindow(TVoxelWndList* ownerList, CChildFrame* childFrame, int kind);
    ~CVoxelWindow() override;

    bool Create(CMainFrame* parent, const QRect& rect) override;

    void ClearVoxels() override;
    void SetVoxel(TSpectrum* voxel) override;
    int GetVoxelCount() const override;
    void RefreshView() override;
    void SetDisplayParams(const TSpectrumDisplayParams* display) override;
    void SetUnit(int unit) override;
    // A window is already active when its list hands it the estimate: its regions light up
    // at once.
    void SetRegionEstimate(TRegionEstimate* estimate) override;

    TSpectrum* GetCurrentSpectrum() const;
    // The view's off-screen plot, for the report's pictures.
    const QImage& GetPlotBitmap() const;
    void GetDisplayParams(TSpectrumDisplayParams* display) const;
    // A unit chosen on the panel: the view takes it, and so does every analysis window.
    void OnUnitChanged(int unit);
    // "Volume: " and the estimated volume in a window of region estimates; else empty.
    QString GetEstimateTitle() const;
    // A changed panel edit: the view's tool takes the values.
    void OnPanelValueChanged(float a, float b, float c, float d);
    // Keys of the view and the panel (Qt::Key values).
    void OnKeyDown(int key);

    CVoxelWndView* View() const { return m_pView; }
    CVoxelWndDlgView* Panel() const { return m_pPanel; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool OnCreateClient();
    void OnMDIActivate(bool active);
    // The arrow keys' step through the slice of a single-voxel window.
    void WalkVoxel(int key);

    QSplitter* m_wndSplitter = nullptr;
    CVoxelWndView* m_pView = nullptr;     // owned by the splitter
    CVoxelWndDlgView* m_pPanel = nullptr;  // owned by the splitter
};
