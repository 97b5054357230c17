#pragma once
// Every context menu of the shell is run through this call, so that tests can choose an
// entry without entering the menu's event loop. The default runs QMenu::exec.
#include <functional>

class QAction;
class QMenu;
class QPoint;

namespace vx::app {

// Shows the menu at a screen point; returns the chosen action (triggered), or null.
using PopupMenuRunner = std::function<QAction*(QMenu&, const QPoint&)>;

QAction* RunPopupMenu(QMenu& menu, const QPoint& screen);

// Installs a runner (empty: exec) and returns the previous one.
PopupMenuRunner SetPopupMenuRunner(PopupMenuRunner runner);

}  // namespace vx::app
