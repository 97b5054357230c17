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

namespace vx::test {

TMenuPrompt ChooseFromMenu(QMainWindow& mainWindow, QWidget* widget, Qt::MouseButton button, const QPoint& at,
                           const QString& command)
{
    TMenuPrompt prompt;
    // Looks for the menu inside its own event loop, once it is up.
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
        for (QAction* action : menu->actions())
            if (action->text() == command) {
                prompt.found = true;
                const QPoint over = menu->actionGeometry(action).center();
                QTest::mouseMove(menu, over);
                prompt.status = mainWindow.statusBar()->currentMessage();
                QHelpEvent help(QEvent::ToolTip, over, menu->mapToGlobal(over));
                QApplication::sendEvent(menu, &help);
                prompt.tip = QToolTip::isVisible() ? QToolTip::text() : QString();
                QTest::mouseClick(menu, Qt::LeftButton, {}, over);
                return;
            }
        menu->close();
    });
    poll.start(5);
    QWidget* top = widget->window();
    QTest::mouseClick(top->windowHandle(), button, {}, widget->mapTo(top, at));
    return prompt;
}

}  // namespace vx::test
