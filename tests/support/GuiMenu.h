#pragma once
// A popup menu as a user meets it: a click delivered through the window (the way the desktop
// delivers it, so that the right button opens a context menu), the mouse moved over one
// command of the menu that opens, its prompts read, and the command chosen.
#include <QPoint>
#include <QString>

#include <utility>
#include <vector>

class QMainWindow;
class QMenu;
class QToolBar;
class QWidget;

namespace vx::test {

struct TMenuPrompt {
    bool found = false;  // the menu opened and held the command
    QString status;      // the main window's status bar over the command
    QString tip;         // the command's tooltip, when one shows
};

TMenuPrompt ChooseFromMenu(QMainWindow& mainWindow, QWidget* widget, Qt::MouseButton button, const QPoint& at,
                           const QString& command);

// The same menu opened, the mouse moved over each of its commands in turn and the status bar
// read each time; the menu is closed without a choice. Pairs of command text and prompt.
std::vector<std::pair<QString, QString>> MenuPrompts(QMainWindow& mainWindow, QWidget* widget,
                                                     Qt::MouseButton button, const QPoint& at);

// Every entry of the main window's menu bar as a user meets it: each menu opened by a click
// on its title, the mouse moved over each entry (over a submenu's entries once it has
// opened) and the status bar read. Pairs of "Menu > Entry" and prompt.
std::vector<std::pair<QString, QString>> MenuBarPrompts(QMainWindow& mainWindow);

// The mouse moved over each button of the toolbar in turn and the status bar read each time.
// Pairs of the button's text and prompt.
std::vector<std::pair<QString, QString>> ToolBarPrompts(QMainWindow& mainWindow, QToolBar& bar);

}  // namespace vx::test
