#include "views/CVoxelWindow.h"
#include "views/CVoxelWndDlgView.h"

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
