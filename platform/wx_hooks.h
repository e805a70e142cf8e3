// Connects the core library's seams to wxWidgets: message boxes become
// wxMessageDialog (caption: the application name), the wait cursor the busy
// cursor.
#pragma once

#include "platform/win_types.h"

class wxWindow;

void InstallWxMessageBoxHandler();
void InstallWxWaitCursorHooks();

// wxMessageDialog style for an AfxMessageBox type.
long MessageBoxStyle(UINT type);
