#include "app/CBatchProcessDlg.h"
#include "app/CMainFrame.h"
#include "app/CVexaraApp.h"
#include "app/CVexaraApplication.h"
#include "app/CViewSliceDlg.h"
#include "app/QtServices.h"
#include "processing/InstallProcessing.h"
#include "views/picture/RegionPainters.h"

int main(int argc, char** argv)
{
    CVexaraApplication application(argc, argv);
    vx::app::InstallQtServices();
    InstallProcessing();
    InstallRegionPainters();
    CViewSliceDlg::Install();
    vx::app::InstallBatchDialogs();
    CVexaraApp theApp;
    QStringList commandLine = QApplication::arguments();
    commandLine.removeFirst();
    if (!theApp.InitInstance(commandLine))
        return 1;
    QObject::connect(theApp.MainFrame(), &CMainFrame::Closed, &application, &QApplication::quit,
                     Qt::QueuedConnection);
    application.exec();
    return theApp.ExitInstance();
}
