#include "app/dialogs/DialogRunner.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QMenu>
#include <QPointer>

namespace vx::app {
namespace {

// A popup menu is a window of its own, where the prompts of its commands would stop; they
// go on to the widget the menu belongs to, and from there to the main frame's status bar.
class TPromptForwarder : public QObject {
public:
    explicit TPromptForwarder(QWidget* target, QObject* owner = nullptr) : QObject(owner), m_target(target) {}
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::StatusTip || !m_target)
            return false;
        QCoreApplication::sendEvent(m_target, event);
        return true;
    }

private:
    QPointer<QWidget> m_target;
};

DialogRunner& Runner()
{
    static DialogRunner runner;
    return runner;
}
MenuRunner& PopupRunner()
{
    static MenuRunner runner;
    return runner;
}
}  // namespace

int RunDialog(QDialog& dialog)
{
    if (Runner())
        return Runner()(dialog);
    return dialog.exec();
}

DialogRunner SetDialogRunner(DialogRunner runner)
{
    DialogRunner old = std::move(Runner());
    Runner() = std::move(runner);
    return old;
}

QAction* RunMenu(QMenu& menu, const QPoint& globalPos)
{
    if (PopupRunner())
        return PopupRunner()(menu, globalPos);
    TPromptForwarder prompts(menu.parentWidget());
    menu.installEventFilter(&prompts);
    QAction* chosen = menu.exec(globalPos);
    menu.removeEventFilter(&prompts);
    return chosen;
}

void ForwardPrompts(QMenu& menu)
{
    menu.installEventFilter(new TPromptForwarder(menu.parentWidget(), &menu));
}

MenuRunner SetMenuRunner(MenuRunner runner)
{
    MenuRunner old = std::move(PopupRunner());
    PopupRunner() = std::move(runner);
    return old;
}

}  // namespace vx::app
