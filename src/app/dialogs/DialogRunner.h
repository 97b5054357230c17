#pragma once
// Every modal dialog and popup menu of the shell is run through these calls, so that
// tests can fill and accept a dialog, or choose a menu entry, without entering its event
// loop. The defaults run exec().
#include <functional>

class QAction;
class QDialog;
class QMenu;
class QPoint;
class QWidget;

namespace vx::app {

// Returns QDialog::Accepted or QDialog::Rejected.
using DialogRunner = std::function<int(QDialog&)>;

// Runs the dialog (through the installed runner, or exec()). As it opens, the focus goes to
// its first box that takes typing, unless the dialog put it elsewhere, and a text box there
// has its text selected; Return presses the default button.
int RunDialog(QDialog& dialog);

// Installs a runner (empty: exec()) and returns the previous one.
DialogRunner SetDialogRunner(DialogRunner runner);

// Shows a popup menu at a global position; returns the chosen action or null. The prompts
// (status tips) of its commands, disabled ones too, reach the menu's parent widget.
using MenuRunner = std::function<QAction*(QMenu&, const QPoint&)>;

QAction* RunMenu(QMenu& menu, const QPoint& globalPos);

// Installs a runner (empty: exec()) and returns the previous one.
MenuRunner SetMenuRunner(MenuRunner runner);

// For a menu that pops up without RunMenu: the prompts of its commands, disabled ones too,
// reach its parent widget while it is open.
void ForwardPrompts(QMenu& menu);
// Makes the prompts of the menu's disabled entries show as well.
void PromptDisabledEntries(QMenu& menu);
// For a window of its own, such as a floating toolbar: the prompts of its buttons reach
// `target` (the main window, which shows them in its status bar).
void ForwardPrompts(QWidget& window, QWidget* target);

}  // namespace vx::app
