#pragma once
// A voxel window: the MDI child that shows the spectra of voxels picked in the image
// windows. A vertical splitter holds the spectrum view above the control panel, which
// keeps its full form height. The window forwards the lists' and the panel's requests to
// the view, keeps a minimum height, marks its voxels in the image windows while it is
// active, and lets the arrow keys walk a single voxel through the image window's CSI slice.
#include <QImage>
#include <QMetaMethod>
#include <QPointer>
#include <QString>

#include <ostream>
#include <string>

#include "app/CVoxelWindowBase.h"

class CIntegralWnd;
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
    // The report section of a region-estimate window as section `n` of the report at `path`:
    // its plot, and the pictures and parameter tables of the image windows showing the
    // image its regions were drawn on, with the regions highlighted. Nothing when `out`
    // has failed.
    void WriteReportSection(std::ostream& out, const std::string& path, int n);
    // "Volume: " and the estimated volume in a window of region estimates; else empty.
    QString GetEstimateTitle() const;
    // A changed panel edit: the view's tool takes the values.
    void OnPanelValueChanged(float a, float b, float c, float d);
    // Keys of the view and the panel (Qt::Key values).
    void OnKeyDown(int key);

    // The window's integral window, made on first use and shown each time; it goes with
    // this window.
    CIntegralWnd* ShowIntegralWindow();
    CIntegralWnd* IntegralWindow() const;
    void HideIntegralWindow();

    // --- panel and view (CVoxelWindowTools.cpp) ------------------------------------
    // The panel's tool starters and action forwarders. Each sends its request to the
    // spectrum view through the signals below.
    void StartTool(int mode, float a = 0.0f, float b = 0.0f, float c = 0.0f, float d = 0.0f);
    void StartPPMCentreTool() { StartTool(1); }
    void StartPhaseTool() { StartTool(2); }
    void StartZoomTool() { StartTool(3); }
    void StartGaussTool() { StartTool(4); }
    void StartLorentzTool() { StartTool(5); }
    void OnFilterLorenGauss() { StartTool(6); }
    void StartMapTool() { StartTool(7); }
    void StartBaselineConvTool() { StartTool(9); }
    void StartBaselineLinearTool() { StartTool(10); }
    void StartBaselineQuadraticTool() { StartTool(11); }
    // Components (or basis spectra), the selected-voxels flag (0 or 1), runs, and the
    // error threshold.
    void StartPCATool(float components, float selectedOnly, float runs, float threshold)
    {
        StartTool(12, components, selectedOnly, runs, threshold);
    }
    void StartNMFTool(float components, float selectedOnly, float runs, float threshold)
    {
        StartTool(13, components, selectedOnly, runs, threshold);
    }
    void StartInitAlignTool() { StartTool(14); }
    void StartPeakFindTool(float noiseFactor) { StartTool(15, noiseFactor); }
    void StartVoxAlignTool() { StartTool(17); }
    void StartLipidSSPTool(float components) { StartTool(18, components); }
    void Apply() { emit ApplyRequested(); }
    void VoxApply() { emit VoxApplyRequested(); }
    void CancelTool() { emit CancelToolRequested(); }
    void FourierTransform() { emit FourierTransformRequested(); }
    void ZeroFill() { emit ZeroFillRequested(); }
    void SpatialCosine() { emit SpatialFilterRequested(kSpatialCosine); }
    void SpatialHamming() { emit SpatialFilterRequested(kSpatialHamming); }
    void SpatialFermi() { emit SpatialFilterRequested(kSpatialFermi); }
    void WaterSuppression() { emit WaterSuppressionRequested(); }
    void PeakRemoval() { emit PeakRemovalRequested(); }
    void LipidKSpaceExtrapolation() { emit LipidKSpaceExtrapolationRequested(); }
    void OutputTXT() { emit OutputRequested(kOutputTXT); }
    void OutputEMF() { emit OutputRequested(kOutputEMF); }
    void OutputEPS() { emit OutputRequested(kOutputEPS); }
    void OpenIntegralWindow() { emit IntegralWindowRequested(); }
    // Whether a request signal has a receiver: the panel enables a control only when
    // its request is received.
    template <typename Signal>
    bool IsReceived(Signal signal) const
    {
        return isSignalConnected(QMetaMethod::fromSignal(signal));
    }

    // The view's calls on the panel.
    void SetPanelValue(int id, float value);
    void ReadPanelParams(int mode);
    void EnableApplyCancel(bool enable);
    void EnableVoxApply(bool enable);

    enum { kSpatialCosine = 0, kSpatialHamming = 1, kSpatialFermi = 2 };
    enum { kOutputTXT = 0, kOutputEMF = 1, kOutputEPS = 2 };

signals:
    // Requests of the panel to the spectrum view (tool modes and the view's commands).
    void ToolRequested(int mode, float a, float b, float c, float d);
    void ApplyRequested();
    void VoxApplyRequested();
    void CancelToolRequested();
    void FourierTransformRequested();
    void ZeroFillRequested();
    void SpatialFilterRequested(int window);
    void WaterSuppressionRequested();
    void PeakRemovalRequested();
    void LipidKSpaceExtrapolationRequested();
    void OutputRequested(int format);
    // The integral window is shown and the view's integral tool (mode 16) started.
    void IntegralWindowRequested();

public:
    CVoxelWndView* View() const { return m_pView; }
    CVoxelWndDlgView* Panel() const { return m_pPanel; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool OnCreateClient();
    // Hands the panel's requests to the view operations that carry them out.
    void ConnectViewRequests();
    void OnMDIActivate(bool active);
    // The arrow keys' step through the slice of a single-voxel window.
    void WalkVoxel(int key);

    QSplitter* m_wndSplitter = nullptr;
    CVoxelWndView* m_pView = nullptr;     // owned by the splitter
    CVoxelWndDlgView* m_pPanel = nullptr;  // owned by the splitter
    QPointer<CIntegralWnd> m_pIntegralWnd;
};
