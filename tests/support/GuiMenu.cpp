#include "support/GuiMenu.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMainWindow>
#include <QMenu>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
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

}  // namespace vx::test
