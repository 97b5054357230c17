#include "views/analysis/CAnalysisWnd.h"

#include <QMdiArea>
#include <QSplitter>
#include <QTimer>

#include <algorithm>

#include "app/TAnalysisWndList.h"
#include "model/IMainFrame.h"
#include "model/TCSISet.h"
#include "model/TMapList.h"
#include "model/TProject.h"
#include "platform/Globals.h"
#include "platform/Report.h"
#include "platform/WaitCursor.h"
#include "processing/TAnalysisNMF.h"
#include "processing/TAnalysisPCA.h"
#include "processing/TPCAPeakAlignStep.h"
#include "views/analysis/CAnalysisCorView.h"
#include "views/analysis/CAnalysisDlgView.h"
#include "views/analysis/CAnalysisPCView.h"
#include "views/analysis/CAnalysisScoreView.h"

namespace {

// The analysis is still one of the open project's.
bool InProject(const TAnalysis* analysis)
{
    return g_pProject && analysis &&
           std::find(g_pProject->m_analyses.begin(), g_pProject->m_analyses.end(), analysis) !=
               g_pProject->m_analyses.end();
}

// Adds the residual set of the analysis to the project, replacing a set of that name.
void AddResidualSet(TAnalysis* analysis)
{
    if (!InProject(analysis))
        return;
    vx::TWaitCursor wait;
    std::unique_ptr<TCSISet> residual = analysis->CreateResidualSet();
    if (!residual)
        return;
    g_pProject->AddReplacingSet(std::move(residual), true);
}

}  // namespace

CAnalysisWnd::CAnalysisWnd(TAnalysisWndList* ownerList, TAnalysis* analysis)
    : CAnalysisWindowBase(ownerList, nullptr)
{
    m_pAnalysis = analysis;
}

CAnalysisWnd::~CAnalysisWnd() = default;

bool CAnalysisWnd::Create(CMainFrame* parent)
{
    if (!parent || !parent->MdiArea() || !m_pAnalysis || !OnCreateClient())
        return false;
    m_pMainFrame = parent;
    setWindowTitle("Analysis Window");
    parent->MdiArea()->addSubWindow(this);
    resize(kWidth, kHeight);
    // The panel stays whole: the window is at least the panel plus 12 pixels wide and
    // the panel plus 100 pixels high.
    const QSize form = m_pPanel->sizeHint();
    setMinimumSize(form.width() + 12, form.height() + 100);
    show();
    SetAnalysis(m_pAnalysis);
    UpdateViews(true, false, false);
    return true;
}

bool CAnalysisWnd::OnCreateClient()
{
    m_wndSplitter = new QSplitter(Qt::Vertical);
    m_wndSplitter->setChildrenCollapsible(false);
    m_wndSplitter2 = new QSplitter(Qt::Horizontal, m_wndSplitter);
    m_wndSplitter2->setChildrenCollapsible(false);
    m_pComponentView = new CAnalysisPCView(m_wndSplitter2);
    m_pScoreView = new CAnalysisScoreView(m_wndSplitter2);
    m_pCorrectionView = new CAnalysisCorView(m_wndSplitter2);
    m_wndSplitter2->setSizes({kPaneWidth, kPaneWidth, kPaneWidth});
    m_pPanel = new CAnalysisDlgView(m_wndSplitter);
    m_wndSplitter->setStretchFactor(0, 1);
    m_wndSplitter->setStretchFactor(1, 0);
    m_pPanel->setMinimumHeight(m_pPanel->sizeHint().height());
    m_pPanel->SetOwner(this);
    m_pComponentView->SetOwner(this);
    m_pScoreView->SetOwner(this);
    m_pCorrectionView->SetOwner(this);
    setWidget(m_wndSplitter);
    return true;
}

void CAnalysisWnd::SetAnalysis(TAnalysis* analysis)
{
    if (!analysis)
        return;
    m_pAnalysis = analysis;
    if (!m_pComponentView)
        return;
    m_pComponentView->SetAnalysis(analysis);
    m_pScoreView->SetAnalysis(analysis, m_nSlice);
    m_pPanel->SelectAnalysis(analysis);
    m_pCorrectionView->SetAnalysis(analysis, m_nSlice);
}

void CAnalysisWnd::SetSlice(int slice)
{
    m_nSlice = slice;
    if (!m_pAnalysis || !m_pScoreView)
        return;
    m_pScoreView->SetAnalysis(m_pAnalysis, slice);
    m_pCorrectionView->SetAnalysis(m_pAnalysis, slice);
}

void CAnalysisWnd::RefreshPlots()
{
    m_pComponentView->SetAnalysis(m_pAnalysis);
    m_pScoreView->SetAnalysis(m_pAnalysis, m_nSlice);
    m_pCorrectionView->SetAnalysis(m_pAnalysis, m_nSlice);
    m_pComponentView->Refresh();
    m_pScoreView->Refresh();
    m_pCorrectionView->Refresh();
}

void CAnalysisWnd::UpdateViews(int refreshPanel, int recompute, int prepare)
{
    if (!m_pAnalysis || !m_pComponentView)
        return;
    if (recompute) {
        m_pAnalysis->Run(prepare != 0);
        m_pComponentView->SetAnalysis(m_pAnalysis);
        m_pScoreView->SetAnalysis(m_pAnalysis, m_nSlice);
        m_pCorrectionView->SetAnalysis(m_pAnalysis, m_nSlice);
    }
    if (refreshPanel)
        m_pPanel->UpdatePanel();
    m_pComponentView->Refresh();
    m_pScoreView->Refresh();
    m_pCorrectionView->Refresh();
}

void CAnalysisWnd::SetMouseMode(int mode)
{
    if (!m_pComponentView)
        return;
    m_pScoreView->SetMouseMode(mode);
    m_pComponentView->SetMouseMode(mode);
    m_pCorrectionView->SetMouseMode(mode);
}

void CAnalysisWnd::SetUnit(int unit)
{
    if (!m_pComponentView)
        return;
    m_pComponentView->SetUnit(unit);
    m_pScoreView->SetUnit(unit);
    m_pCorrectionView->SetUnit(unit);
}

void CAnalysisWnd::SelectProjectAnalysis(int index)
{
    if (!g_pProject || index < 0 || static_cast<size_t>(index) >= g_pProject->m_analyses.size())
        return;
    vx::TWaitCursor wait;
    SetAnalysis(g_pProject->m_analyses[size_t(index)]);
    UpdateViews(true, true, false);
    UpdateMaps();
    if (g_pProject->m_pWorkSet && g_pProject->m_pWorkSet->HasMaps())
        g_pProject->UpdateFrames(false, true, false, false, false);
}

void CAnalysisWnd::PCACorrection(float threshold)
{
    auto* pca = dynamic_cast<TAnalysisPCA*>(m_pAnalysis);
    if (!pca) {
        vx::Report("It can only be applied to a PCA analysis.", vx::ReportIcon::None);
        return;
    }
    if (!g_pProject || !g_pProject->m_pWorkSet)
        return;
    vx::TWaitCursor wait;
    TPCAAlignParams params;
    params.m_nFirstPoint = pca->FirstPoint();
    params.m_nLastPoint = pca->LastPoint();
    params.m_nComponents = pca->ComponentCount();
    params.m_fThreshold = threshold;
    auto* step = new TPCAPeakAlignStep(params, pca, g_pProject->m_pWorkSet);
    // Perform deletes a step that fails, leaving data and history as they were.
    if (!TProcessStep::Perform(step, *g_pProject, true))
        return;
    g_pProject->SetModified(true);
    pca->PushCorrection(step);
    UpdateViews(true, true, false);
    bool mapsUpdated = false;
    if (TMapList* maps = g_pProject->m_pWorkSet ? g_pProject->m_pWorkSet->m_pMapList : nullptr;
        maps && g_pProject->m_pWorkSet->HasMaps()) {
        maps->UpdateAll();
        mapsUpdated = true;
    }
    g_pProject->UpdateFrames(true, mapsUpdated, false, false, false);
    g_pProject->UpdateRegionEstimates();
    if (IMainFrame* frame = g_pProject->m_pMainFrame) {
        frame->RefreshVoxelWindows();
        frame->RefreshRegionWindows();
    }
}

void CAnalysisWnd::CreateMaps()
{
    if (!m_pAnalysis || !g_pProject)
        return;
    vx::TWaitCursor wait;
    // The new maps are saved with the work set's maps.
    if (m_pAnalysis->CreateComponentMaps() > 0 && g_pProject->m_pWorkSet)
        g_pProject->m_pWorkSet->SetModified();
    if (g_pProject->m_pWorkSet && g_pProject->m_pWorkSet->HasMaps())
        g_pProject->UpdateFrames(false, true, false, false, false);
}

void CAnalysisWnd::UpdateMaps()
{
    if (m_pAnalysis)
        m_pAnalysis->UpdateComponentMaps();
}

void CAnalysisWnd::InvertFirstPC()
{
    if (!m_pAnalysis)
        return;
    m_pAnalysis->InvertFirstComponent();
    // The project file holds the analysis' components and scores.
    if (g_pProject)
        g_pProject->SetFileModified();
    RefreshPlots();
}

void CAnalysisWnd::RemoveRun(int run)
{
    auto* nmf = dynamic_cast<TAnalysisNMF*>(m_pAnalysis);
    if (!nmf || !nmf->RemoveRun(run))
        return;
    if (g_pProject)
        g_pProject->SetFileModified();
    RefreshPlots();
}

void CAnalysisWnd::CreateResidual()
{
    if (!m_pAnalysis)
        return;
    // Replacing the work set closes every analysis window, this one among them: the work
    // runs from the main frame once this window's event is over, and only the analysis
    // (looked up again in the project) is passed on.
    TAnalysis* analysis = m_pAnalysis;
    QObject* context = m_pMainFrame ? static_cast<QObject*>(m_pMainFrame.data()) : nullptr;
    if (!context)
        return;
    QTimer::singleShot(0, context, [analysis] { AddResidualSet(analysis); });
}
