// The wait cursor of long work. The core library only counts; the
// application installs hooks that show the busy cursor.
#pragma once

#include <functional>

struct WaitCursorHooks {
    std::function<void()> begin;
    std::function<void()> end;
};

// Installs hooks and returns the previous ones.
WaitCursorHooks SetWaitCursorHooks(WaitCursorHooks hooks);

// Nesting depth of wait cursors now shown (tests read it).
int WaitCursorDepth();

// Shows the wait cursor for its lifetime.
class CWaitCursor {
public:
    CWaitCursor();
    ~CWaitCursor();
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;
};
