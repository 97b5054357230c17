#include "app/CVexaraApplication.h"

#include "platform/BlasThreads.h"
#include "platform/Report.h"

namespace {

// The operation that threw has put back what it changed on the way out; only the message
// is left to give. Should even that fail, the program still goes on.
void ReportUncaught()
{
    try {
        vx::ReportCurrentException();
    } catch (...) {
    }
}

}  // namespace

CVexaraApplication::CVexaraApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    vx::UseOneBlasThread();
}

bool CVexaraApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ReportUncaught();
        return false;
    }
}

void CVexaraApplication::RunCommand(const std::function<void()>& command)
{
    try {
        command();
    } catch (...) {
        ReportUncaught();
    }
}
