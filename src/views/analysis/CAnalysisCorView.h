#pragma once
// The correction plot of the analysis window. For a PCA: the summed frequency and phase
// corrections of the shown slice as two colour maps. For an NMF: the error of every update
// of the last run and the chi-square of every run as two curves; a click near a run's
// marker offers to remove that run.
#include <memory>
#include <string>

#include "model/math/TFloatMatrix.h"
#include "views/analysis/CZoomView.h"

class CAnalysisCorView : public CZoomView {
    Q_OBJECT
public:
    explicit CAnalysisCorView(QWidget* parent = nullptr);
    ~CAnalysisCorView() override;

    void SetAnalysis(TAnalysis* analysis, int slice);
    void Refresh() override;
    void Export() override;
    // Centres a plot that fits instead of shrinking it.
    void UpdateScrollBars() override;
    // Sizes the plot picture and draws the plot into it.
    void DrawWholePlot();
    // The plot at its present size, drawn into any canvas.
    void DrawPlot(vx::TCanvas& dc);

    const TFloatMatrix* First() const { return m_first.get(); }
    const TFloatMatrix* Second() const { return m_second.get(); }
    const std::string& FirstTitle() const { return m_strFirstTitle; }
    const std::string& SecondTitle() const { return m_strSecondTitle; }
    bool IsNMF() const { return m_bNMF; }
    // The run under a plot point of the chi-square curve, or -1 where no run may be taken
    // out (not an NMF, a single run, a point outside the curve).
    int RunAt(int x, int y) const;
    // The text of the menu item that removes a run.
    static std::string RemoveRunText(int run);

protected:
    void OnSelectEvent(const TZoomMouseEvent& event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // One half of the plot: a curve (one row) or a colour map of the kept range.
    void DrawHalf(vx::TCanvas& dc, const TFloatMatrix& m, int top, int bottom, bool lower);

    TAnalysis* m_pAnalysis = nullptr;
    int m_nSlice = 0;
    std::unique_ptr<TFloatMatrix> m_first, m_second;
    std::string m_strFirstTitle, m_strSecondTitle;
    bool m_bNMF = false;
    int m_nFirstColumn = 0, m_nLastColumn = 0, m_nFirstRow = 0, m_nLastRow = 0;
    TPixelRect m_lowerCurve{};  // where the chi-square curve was drawn
    bool m_bLowerCurve = false;
    int m_nRunToRemove = -1;
};
