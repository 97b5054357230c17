#pragma once
// Wait cursor shown while a long operation runs. Nestable: the cursor returns to
// the arrow when the outermost guard ends. The GUI installs the begin/end calls.
#include <functional>

namespace vx {

void SetWaitCursorHandlers(std::function<void()> begin, std::function<void()> end);

class TWaitCursor {
public:
    TWaitCursor();
    ~TWaitCursor();
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

// Current nesting depth (0 when no wait cursor is shown).
int WaitCursorDepth();

}  // namespace vx
