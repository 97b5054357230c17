#include "app/dialogs/DialogRunner.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QMenu>
#include <QPointer>
#include <QProxyStyle>

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

// Lets the mouse rest on a disabled entry as on any other, so that its prompt shows too
// (a command that cannot run now still says what it does).
class TMenuStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override
    {
        if (hint == SH_Menu_AllowActiveAndDisabled)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returned);
    }
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
    PromptDisabledEntries(menu);
    QAction* chosen = menu.exec(globalPos);
    menu.removeEventFilter(&prompts);
    return chosen;
}

void ForwardPrompts(QMenu& menu)
{
    menu.installEventFilter(new TPromptForwarder(menu.parentWidget(), &menu));
    PromptDisabledEntries(menu);
}

void ForwardPrompts(QWidget& window, QWidget* target)
{
    window.installEventFilter(new TPromptForwarder(target, &window));
}

void PromptDisabledEntries(QMenu& menu)
{
    // One for all menus, owned by the application (and made again for a new one); a menu
    // that outlives it falls back to the application's style.
    static QPointer<TMenuStyle> style;
    if (!style) {
        style = new TMenuStyle;
        style->setParent(QCoreApplication::instance());
    }
    menu.setStyle(style);
}

MenuRunner SetMenuRunner(MenuRunner runner)
{
    MenuRunner old = std::move(PopupRunner());
    PopupRunner() = std::move(runner);
    return old;
}

}  // namespace vx::app
