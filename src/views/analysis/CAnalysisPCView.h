#pragma once
// The component plot of the analysis window: every component of the analysis as a curve
// in a band of its own, labelled with its share ("EigenVal = " for a PCA, "TotalVar = "
// for an NMF), and in select mode a marker line under the mouse with the axis value there.
#include "views/analysis/CZoomView.h"

class TFloatMatrix;

class CAnalysisPCView : public CZoomView {
    Q_OBJECT
public:
    explicit CAnalysisPCView(QWidget* parent = nullptr);

    // Takes the analysis' components, shares and point range (null: nothing to show).
    void SetAnalysis(TAnalysis* analysis);
    void Refresh() override;
    void Export() override;
    // The whole plot into the plot picture.
    void DrawWholePlot();

protected:
    void OnSelectEvent(const TZoomMouseEvent& event) override;
    void DrawOverClient(vx::TCanvas& dc) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    TAnalysis* m_pAnalysis = nullptr;
    const TFloatMatrix* m_pComponents = nullptr;  // the analysis'
    const TFloatMatrix* m_pValues = nullptr;      // the analysis'
};
