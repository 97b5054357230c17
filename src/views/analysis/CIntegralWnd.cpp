#include "views/analysis/CIntegralWnd.h"

#include <QCloseEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QSplitter>

#include "app/CMainFrame.h"
#include "views/analysis/CIntegralDlgView.h"
#include "views/analysis/CIntegralListView.h"

CIntegralWnd::CIntegralWnd(CVoxelWindow* owner) : m_pOwner(owner)
{
    m_wndSplitter = new QSplitter(Qt::Vertical);
    m_wndSplitter->setChildrenCollapsible(false);
    m_pList = new CIntegralListView(this);
    m_pPanel = new CIntegralDlgView(this);
    m_wndSplitter->addWidget(m_pList);
    m_wndSplitter->addWidget(m_pPanel);
    m_wndSplitter->setStretchFactor(0, 1);
    m_wndSplitter->setStretchFactor(1, 0);
    setWidget(m_wndSplitter);
    setWindowTitle("Integral Window");
}

CIntegralWnd::~CIntegralWnd() = default;

bool CIntegralWnd::Create(CMainFrame* parent)
{
    if (!parent || !parent->MdiArea())
        return false;
    parent->MdiArea()->addSubWindow(this);
    resize(kWidth, kHeight);
    m_pList->Refill();
    m_pPanel->RefUnitEdit()->setEnabled(false);
    show();
    return true;
}

void CIntegralWnd::AddIntegral(TIntegralRegion* region)
{
    m_pList->AddIntegral(region);
}

void CIntegralWnd::closeEvent(QCloseEvent* event)
{
    // The integrals stay until the voxel window goes.
    hide();
    event->ignore();
}
