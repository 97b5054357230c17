#include "app/CPrjExpFrame.h"

#include "app/CPrjExpTree.h"
#include "model/TProject.h"
#include "platform/Globals.h"

CPrjExpFrame::CPrjExpFrame(CMainFrame* mainFrame) : m_pTree(new CPrjExpTree(mainFrame))
{
    setWidget(m_pTree);
    connect(m_pTree, &CMultiTree::ContextMenuRequested, m_pTree, &CPrjExpTree::ShowContextMenu);
}

void CPrjExpFrame::ResetTree()
{
    setWindowTitle("");
    m_pTree->ResetTree();
}

void CPrjExpFrame::RefreshTree()
{
    setWindowTitle(g_pProject ? QString::fromStdString(g_pProject->GetName()) : QString());
    m_pTree->RefreshFromProject();
}

void CPrjExpFrame::RemoveCSISetItem(TCSISet* pSet)
{
    m_pTree->RemoveCSISetItem(pSet);
}
