#include "app/dialogs/DialogRunner.h"

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QLineEdit>
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

// How a dialog opens, as users of any desktop expect: the focus in its first box they can
// type into (unless the dialog put it elsewhere) with that box's text selected, so that
// typing replaces it. Return then presses the default button (QDialog's own doing) unless
// the control in focus takes the key itself, as a folder list opening a folder does.
class TDialogOpening : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Sent once the dialog's own show handling has filled its boxes.
        if (event->type() == QEvent::ShowToParent)
            if (auto* dialog = qobject_cast<QDialog*>(watched))
                FocusFirstBox(*dialog);
        return false;
    }

private:
    static bool TakesTyping(const QWidget* widget)
    {
        const auto* edit = qobject_cast<const QLineEdit*>(widget);
        return !edit || !edit->isReadOnly();
    }
    static void FocusFirstBox(QDialog& dialog)
    {
        QWidget* first = dialog.focusWidget();
        for (QWidget* w = dialog.nextInFocusChain(); !first && w && w != &dialog; w = w->nextInFocusChain())
            if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(&dialog) && TakesTyping(w)) {
                first = w;
                first->setFocus(Qt::TabFocusReason);
            }
        if (auto* edit = qobject_cast<QLineEdit*>(first); edit && !edit->isReadOnly())
            edit->selectAll();
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
    TDialogOpening opening;
    dialog.installEventFilter(&opening);
    const int result = Runner() ? Runner()(dialog) : dialog.exec();
    dialog.removeEventFilter(&opening);
    return result;
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
