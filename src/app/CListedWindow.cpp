#include "app/CListedWindow.h"

#include <QResizeEvent>

#include "app/TWndList.h"

CListedWindow::CListedWindow(TWndList* ownerList) : m_pOwnerList(ownerList)
{
    setAttribute(Qt::WA_DeleteOnClose);
}

CListedWindow::~CListedWindow()
{
    if (m_pOwnerList)
        m_pOwnerList->Remove(this);
}

void CListedWindow::resizeEvent(QResizeEvent* event)
{
    QMdiSubWindow::resizeEvent(event);
    // A minimised or maximised window says nothing about the size wanted for the
    // next one; the size given while the window is being placed is the list's own.
    if (m_pOwnerList && isVisible() && !isMinimized() && !isMaximized())
        m_pOwnerList->SetWindowSize(width(), height());
}
