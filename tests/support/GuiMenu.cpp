#include "support/GuiMenu.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QToolTip>
#include <QWindow>

#include <functional>

namespace vx::test {

namespace {

// Clicks `widget` at `at` through its window and hands the popup menu that opens to `act`:
// inside the menu's own event loop, or after the click for a menu that pops up without one.
void ClickAndActOnMenu(QWidget* widget, Qt::MouseButton button, const QPoint& at,
                       const std::function<void(QMenu&)>& act)
{
    QTimer poll;
    int tries = 0;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
            if (++tries > 200)
                poll.stop();
            return;
        }
        poll.stop();
        act(*menu);
    });
    poll.start(5);
    // A widget's double click in QTest leaves its button pressed in QTest's own state, which
    // would ride along with this click (an earlier test's too) and keep the release from
    // the widget.
    QTestPrivate::qtestMouseButtons = Qt::NoButton;
    QWidget* top = widget->window();
    QTest::mouseClick(top->windowHandle(), button, {}, widget->mapTo(top, at));
    while (poll.isActive())
        QTest::qWait(5);
}

}  // namespace

TMenuPrompt ChooseFromMenu(QMainWindow& mainWindow, QWidget* widget, Qt::MouseButton button, const QPoint& at,
                           const QString& command)
{
    TMenuPrompt prompt;
    ClickAndActOnMenu(widget, button, at, [&](QMenu& menu) {
        for (QAction* action : menu.actions())
            if (action->text() == command) {
                prompt.found = true;
                const QPoint over = menu.actionGeometry(action).center();
                QTest::mouseMove(&menu, over);
                prompt.status = mainWindow.statusBar()->currentMessage();
                QHelpEvent help(QEvent::ToolTip, over, menu.mapToGlobal(over));
                QApplication::sendEvent(&menu, &help);
                prompt.tip = QToolTip::isVisible() ? QToolTip::text() : QString();
                QTest::mouseClick(&menu, Qt::LeftButton, {}, over);
                return;
            }
        menu.close();
    });
    return prompt;
}

std::vector<std::pair<QString, QString>> MenuPrompts(QMainWindow& mainWindow, QWidget* widget,
                                                     Qt::MouseButton button, const QPoint& at)
{
    std::vector<std::pair<QString, QString>> prompts;
    ClickAndActOnMenu(widget, button, at, [&](QMenu& menu) {
        for (QAction* action : menu.actions()) {
            if (action->isSeparator())
                continue;
            QTest::mouseMove(&menu, menu.actionGeometry(action).center());
            prompts.emplace_back(action->text(), mainWindow.statusBar()->currentMessage());
        }
        menu.close();
    });
    return prompts;
}

namespace {

void HoverEntries(QMainWindow& mainWindow, QMenu& menu, const QString& path,
                  std::vector<std::pair<QString, QString>>& prompts)
{
    for (QAction* action : menu.actions()) {
        if (action->isSeparator() || !action->isVisible())
            continue;
        const QString entry = path + " > " + action->text();
        QTest::mouseMove(&menu, menu.actionGeometry(action).center());
        prompts.emplace_back(entry, mainWindow.statusBar()->currentMessage());
        if (QMenu* sub = action->menu()) {
            if (QTest::qWaitFor([sub] { return sub->isVisible(); }, 2000))
                HoverEntries(mainWindow, *sub, entry, prompts);
            else
                prompts.emplace_back(entry + " > (did not open)", QString());
        }
    }
}

}  // namespace

std::vector<std::pair<QString, QString>> MenuBarPrompts(QMainWindow& mainWindow)
{
    std::vector<std::pair<QString, QString>> prompts;
    QMenuBar* bar = mainWindow.menuBar();
    for (QAction* title : bar->actions()) {
        QMenu* menu = title->menu();
        if (!menu || !title->isVisible())
            continue;
        QWidget* top = bar->window();
        QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {},
                          bar->mapTo(top, bar->actionGeometry(title).center()));
        if (!QTest::qWaitFor([menu] { return menu->isVisible(); }, 2000)) {
            prompts.emplace_back(title->text() + " (did not open)", QString());
            continue;
        }
        HoverEntries(mainWindow, *menu, title->text(), prompts);
        menu->close();
        if (!QTest::qWaitFor([menu] { return !menu->isVisible(); }, 2000))
            prompts.emplace_back(title->text() + " (did not close)", QString());
    }
    return prompts;
}

std::vector<std::pair<QString, QString>> ToolBarPrompts(QMainWindow& mainWindow, QToolBar& bar)
{
    std::vector<std::pair<QString, QString>> prompts;
    for (QAction* action : bar.actions()) {
        auto* button = qobject_cast<QToolButton*>(bar.widgetForAction(action));
        if (!button || !button->isVisible())
            continue;
        // From outside the bar onto the button, so that the button sees the mouse come in.
        QTest::mouseMove(mainWindow.centralWidget(), mainWindow.centralWidget()->rect().center());
        QTest::mouseMove(button, button->rect().center());
        prompts.emplace_back(action->text(), mainWindow.statusBar()->currentMessage());
    }
    return prompts;
}

}  // namespace vx::test
