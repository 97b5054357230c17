#include "views/spectrum/CVoxelWindow.h"
#include "views/spectrum/CVoxelWndDlgView.h"
#include "views/spectrum/CVoxelWndView.h"

void CVoxelWindow::ConnectViewRequests()
{
    CVoxelWndView* view = m_pView;
    connect(this, &CVoxelWindow::FourierTransformRequested, view, &CVoxelWndView::OnFT);
    connect(this, &CVoxelWindow::ZeroFillRequested, view, &CVoxelWndView::OnZeroFill);
    connect(this, &CVoxelWindow::SpatialFilterRequested, view, [view](int window) {
        switch (window) {
        case kSpatialCosine: view->OnSpatialCosine(); break;
        case kSpatialHamming: view->OnSpatialHamming(); break;
        case kSpatialFermi: view->OnSpatialFermi(); break;
        default: break;
        }
    });
    connect(this, &CVoxelWindow::LipidKSpaceExtrapolationRequested, view, &CVoxelWndView::OnLipidKSpace);
    connect(this, &CVoxelWindow::ToolRequested, view, &CVoxelWndView::SetTool);
    connect(this, &CVoxelWindow::ApplyRequested, view, &CVoxelWndView::Apply);
    connect(this, &CVoxelWindow::CancelToolRequested, view, &CVoxelWndView::CancelTool);
    connect(this, &CVoxelWindow::WaterSuppressionRequested, view, &CVoxelWndView::OnWater);
    connect(this, &CVoxelWindow::PeakRemovalRequested, view, &CVoxelWndView::OnPeakRemoval);
    connect(this, &CVoxelWindow::VoxApplyRequested, view, &CVoxelWndView::ApplyToVoxels);
    // The integral window comes first, then the integral tool picks regions for it.
    // Pressed again while the tool runs, the tool starts afresh; the integrals stay.
    connect(this, &CVoxelWindow::IntegralWindowRequested, view, [this, view] {
        if (view->GetToolMode() == 16)
            view->CancelTool();
        if (ShowIntegralWindow())
            view->SetTool(16, 0.0f, 0.0f, 0.0f, 0.0f);
    });
    connect(this, &CVoxelWindow::OutputRequested, view, [view](int format) {
        if (format == kOutputTXT)
            view->OnOutputTXTFile();
        else if (format == kOutputEMF)
            view->OnOutputEMFFile();
        else if (format == kOutputEPS)
            view->OnOutputEPSFile();
    });
}

void CVoxelWindow::StartTool(int mode, float a, float b, float c, float d)
{
    emit ToolRequested(mode, a, b, c, d);
}

void CVoxelWindow::SetPanelValue(int id, float value)
{
    if (m_pPanel)
        m_pPanel->SetItemNumber(id, value);
}

void CVoxelWindow::ReadPanelParams(int mode)
{
    if (m_pPanel)
        m_pPanel->ReadToolParams(mode);
}

void CVoxelWindow::EnableApplyCancel(bool enable)
{
    if (m_pPanel)
        m_pPanel->EnableApplyCancel(enable);
}

void CVoxelWindow::EnableVoxApply(bool enable)
{
    if (m_pPanel)
        m_pPanel->EnableVoxApply(enable);
}
