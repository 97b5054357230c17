#include "app/PopupMenu.h"

#include <QMenu>

namespace vx::app {
namespace {
PopupMenuRunner& Runner()
{
    static PopupMenuRunner runner;
    return runner;
}
}  // namespace

QAction* RunPopupMenu(QMenu& menu, const QPoint& screen)
{
    if (Runner())
        return Runner()(menu, screen);
    return menu.exec(screen);
}

PopupMenuRunner SetPopupMenuRunner(PopupMenuRunner runner)
{
    PopupMenuRunner old = std::move(Runner());
    Runner() = std::move(runner);
    return old;
}

}  // namespace vx::app
