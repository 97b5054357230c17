#pragma once
// Toolbar and menu icons, drawn at run time so that the program needs no image files.
#include <QIcon>

namespace vx::app {

// The icon of a command number; a null icon for commands that have none.
QIcon ToolIcon(int command);

}  // namespace vx::app
