#include <QApplication>

#include "app/CMainFrame.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Tarnwell");
    QApplication::setApplicationName("Vexara");
    CMainFrame frame;
    frame.show();
    return app.exec();
}
