#pragma once
// The analysis window: the components, the score images of one slice and the correction
// (or convergence) curves of a PCA or NMF side by side, over a control panel that steps
// through the slices, switches between the project's analyses, applies a PCA peak
// correction, makes component maps, recomputes, negates the first component and makes a
// set of the residual spectra.
//
// The analysis belongs to the project. The window keeps a minimum size that leaves the
// panel whole.
#include <QPointer>

#include "app/CAnalysisWindowBase.h"
#include "app/CMainFrame.h"

class CAnalysisCorView;
class CAnalysisDlgView;
class CAnalysisPCView;
class CAnalysisScoreView;
class QSplitter;

class CAnalysisWnd : public CAnalysisWindowBase {
    Q_OBJECT
public:
    static constexpr int kWidth = 700;
    static constexpr int kHeight = 600;
    static constexpr int kPaneWidth = 220;

    CAnalysisWnd(TAnalysisWndList* ownerList, TAnalysis* analysis);
    ~CAnalysisWnd() override;

    // The panes, the analysis shown and the first drawing; false when the window cannot
    // be made.
    bool Create(CMainFrame* parent) override;
    // Hands the analysis to the plots and the panel; null is ignored.
    void SetAnalysis(TAnalysis* analysis) override;
    void SetSlice(int slice);
    int GetSlice() const { return m_nSlice; }
    // recompute: the analysis runs again (prepare: from its set's data) and the plots take
    // it again; refreshPanel: the panel's texts; then every plot is redrawn.
    void UpdateViews(int refreshPanel, int recompute, int prepare) override;
    void SetMouseMode(int mode) override;
    void SetUnit(int unit) override;

    // A PCA peak correction of the work set with a score threshold (fraction of the
    // largest first score); refused with a message for an NMF.
    void PCACorrection(float threshold);
    void CreateMaps();
    void UpdateMaps();
    void InvertFirstPC();
    void RemoveRun(int run);
    // The project's analysis at that index takes the window's place (computed when out
    // of date, its component maps recomputed).
    void SelectProjectAnalysis(int index);
    // The residual set of the analysis, added to the project (replacing one of that name).
    // The work is done once the caller's event has been handled, because replacing the
    // work set closes this window.
    void CreateResidual();

    CAnalysisPCView* ComponentView() const { return m_pComponentView; }
    CAnalysisScoreView* ScoreView() const { return m_pScoreView; }
    CAnalysisCorView* CorrectionView() const { return m_pCorrectionView; }
    CAnalysisDlgView* Panel() const { return m_pPanel; }

private:
    bool OnCreateClient();
    // The analysis again to the three plots, each redrawn.
    void RefreshPlots();

    QSplitter* m_wndSplitter = nullptr;
    QSplitter* m_wndSplitter2 = nullptr;
    CAnalysisDlgView* m_pPanel = nullptr;
    CAnalysisPCView* m_pComponentView = nullptr;
    CAnalysisScoreView* m_pScoreView = nullptr;
    CAnalysisCorView* m_pCorrectionView = nullptr;
    int m_nSlice = 0;
    QPointer<CMainFrame> m_pMainFrame;
};
