#include "platform/WaitCursor.h"

namespace vx {
namespace {
std::function<void()> g_begin;
std::function<void()> g_end;
int g_depth = 0;
}  // namespace

void SetWaitCursorHandlers(std::function<void()> begin, std::function<void()> end)
{
    g_begin = std::move(begin);
    g_end = std::move(end);
}

TWaitCursor::TWaitCursor()
{
    if (g_depth++ == 0 && g_begin)
        g_begin();
}

TWaitCursor::~TWaitCursor()
{
    if (--g_depth == 0 && g_end)
        g_end();
}

int WaitCursorDepth() { return g_depth; }

}  // namespace vx
