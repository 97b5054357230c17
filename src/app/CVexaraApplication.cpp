#include "app/CVexaraApplication.h"

#include "platform/BlasThreads.h"
#include "platform/ProgramLog.h"
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

// The toolkit's warnings are for the program's log. On the standard error stream, a file
// dialog shown while a file is read (a reader asking for a companion file) would have them
// caught among the reasons why the file was refused.
void LogToolkitMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    vx::WriteToLog(qFormatLogMessage(type, context, text).toStdString());
}

}  // namespace

CVexaraApplication::CVexaraApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    qInstallMessageHandler(LogToolkitMessage);
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
