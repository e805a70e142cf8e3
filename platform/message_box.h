// Every message the installer shows goes through AfxMessageBox. The core
// library has no display; the application installs a handler that shows a
// real dialog, and tests install one that records and answers.
#pragma once

#include <functional>
#include <string>

#include "platform/win_types.h"

enum : UINT {
    MB_OK = 0x0000,
    MB_YESNO = 0x0004,
    MB_ICONINFORMATION = 0x0040,
};

enum : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDYES = 6,
    IDNO = 7,
};

// The handler is the boundary to the display: it gets the text in UTF-8.
// Returns IDOK, IDYES or IDNO.
using MessageBoxHandler = std::function<int(const std::string& textUtf8, UINT type)>;

// Installs a handler and returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

int AfxMessageBox(const std::string& textCp932, UINT type = MB_OK);
// The string-table entry nID, shown as it stands.
int AfxMessageBox(UINT nID, UINT type = MB_OK);
// Text that names data with no CP932 form (a genre name as a database holds
// it), already in UTF-8.
int MessageBoxUtf8(const std::string& textUtf8, UINT type = MB_OK);
