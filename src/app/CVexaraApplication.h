#pragma once
// The program's QApplication. Every command, key, click and timer of the program passes
// through its event dispatch, which is where an exception that no handler caught ends:
// it is reported (a message box, or the batch log while a batch runs) and the event
// loop goes on, so that no failed operation ends the program. Made first, it also
// starts the program's BLAS on one thread (vx::UseOneBlasThread) and sends the toolkit's
// messages to the program's log (vx::WriteToLog).
#include <QApplication>

#include <functional>

class CVexaraApplication : public QApplication {
    Q_OBJECT
public:
    CVexaraApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Runs a menu or toolbar command; an exception it lets out is reported here as notify
    // reports one, before it unwinds through Qt's signal and event frames, which are not
    // exception-safe and leak the event and their guards on the way.
    static void RunCommand(const std::function<void()>& command);
};
