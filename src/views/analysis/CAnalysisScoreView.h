#pragma once
// The score plot of the analysis window: the score image of every component for the shown
// slice as a colour map with its scale, one band per component.
#include <vector>

#include "views/analysis/CZoomView.h"

class TFloatMatrix;

class CAnalysisScoreView : public CZoomView {
    Q_OBJECT
public:
    explicit CAnalysisScoreView(QWidget* parent = nullptr);

    // Takes the score images of the slice (they belong to the analysis).
    void SetAnalysis(TAnalysis* analysis, int slice);
    void Refresh() override;
    void Export() override;
    // Sizes the plot picture and draws the plot into it.
    void DrawWholePlot();
    // The plot at its present size, drawn into any canvas.
    void DrawPlot(vx::TCanvas& dc);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    TAnalysis* m_pAnalysis = nullptr;
    int m_nSlice = 0;
    std::vector<const TFloatMatrix*> m_images;
};
