// Connects the core library's seams to wxWidgets: message boxes become
// wxMessageDialog (caption: the application name), the wait cursor the busy
// cursor.
#pragma once

#include "platform/win_types.h"

class wxWindow;

// The locale and the toolkit's own translations follow the environment
// (LANG and the like), so the folder dialog and stock texts match the desktop.
// Finding the toolkit's catalogue looks into every language's folder; with
// WhenIdle that waits for the application's first idle time, once its window
// is on screen (no window of ours shows a stock text before).
enum class StockTexts { Now, WhenIdle };
void UseEnvironmentLocale(StockTexts when = StockTexts::Now);

void InstallWxMessageBoxHandler();
void InstallWxWaitCursorHooks();

// Button labels of the message boxes and progress windows, the same under any
// locale (string-table entries).
enum : UINT {
    IDS_BUTTON_OK = 900,
    IDS_BUTTON_CANCEL = 901,
    IDS_BUTTON_YES = 902,
    IDS_BUTTON_NO = 903,
};

// wxMessageDialog style for an AfxMessageBox type.
long MessageBoxStyle(UINT type);
