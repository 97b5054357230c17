#include "app/CMainFrame.h"

#include <QMdiArea>

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle("Vexara");
    m_mdiArea = new QMdiArea(this);
    setCentralWidget(m_mdiArea);
    resize(1024, 768);
}
