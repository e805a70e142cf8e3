// Texts for the windows: the program's strings are CP932, the string table
// and the toolkit UTF-8. Every window converts here, with one result for
// text that has no form in the other (an empty text).
#pragma once

#include <string>

#include <wx/string.h>

#include "platform/win_types.h"

wxString WxFromCp932(const std::string& cp932);
wxString WxFromUtf8(const std::string& utf8);
// String nID of the string table.
wxString WxResText(UINT nID);
