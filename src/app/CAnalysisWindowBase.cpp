#include "app/CAnalysisWindowBase.h"

#include <QMdiArea>

#include "app/CMainFrame.h"
#include "app/TAnalysisWndList.h"

CAnalysisWindowBase::CAnalysisWindowBase(TAnalysisWndList* ownerList, TAnalysis* analysis)
    : CListedWindow(ownerList), m_pAnalysis(analysis)
{
}

bool CAnalysisWindowBase::Create(CMainFrame* parent)
{
    if (!parent || !parent->MdiArea())
        return false;
    setWindowTitle("Analysis");
    parent->MdiArea()->addSubWindow(this);
    if (m_pOwnerList)
        resize(m_pOwnerList->GetWidth(), m_pOwnerList->GetHeight());
    show();
    return true;
}
