#include "app/CVexaraApplication.h"

#include "platform/BlasThreads.h"
#include "platform/Report.h"

CVexaraApplication::CVexaraApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    vx::UseOneBlasThread();
}

bool CVexaraApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        // The operation that threw has put back what it changed on the way out; only the
        // message is left to give. Should even that fail, the program still goes on.
        try {
            vx::ReportCurrentException();
        } catch (...) {
        }
        return false;
    }
}
