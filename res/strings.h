// The string table: messages, tooltips, SQL statements and menu texts by their
// resource ID. Stored in UTF-8 in res/strings.inc, converted to CP932 once.
#pragma once

#include <string>

#include "platform/win_types.h"

// CP932 text of string nID; "" when the table has no such entry.
std::string LoadResString(UINT nID);

// The same text in UTF-8, for window texts.
std::string LoadResStringUtf8(UINT nID);

// CString::Format(nID, arg): the template nID with its %s (every one of them)
// taking arg.
std::string FormatResString(UINT nID, const std::string& argCp932);
