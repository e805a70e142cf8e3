#include "platform/wait_cursor.h"

#include <utility>

namespace {
WaitCursorHooks& Hooks()
{
    static WaitCursorHooks hooks;
    return hooks;
}
int g_depth = 0;
} // namespace

WaitCursorHooks SetWaitCursorHooks(WaitCursorHooks hooks)
{
    return std::exchange(Hooks(), std::move(hooks));
}

int WaitCursorDepth()
{
    return g_depth;
}

CWaitCursor::CWaitCursor()
{
    ++g_depth;
    if (Hooks().begin)
        Hooks().begin();
}

CWaitCursor::~CWaitCursor()
{
    --g_depth;
    if (Hooks().end)
        Hooks().end();
}
