// The one-argument message of the installer: a string-table template whose
// %s takes a path or a genre name, shown with an OK button.
#pragma once

#include <string>

#include "platform/win_types.h"

// nFormatID: string-table template; pszArg: CP932 text for its %s.
void ShowFormattedMessage(UINT nFormatID, LPCTSTR pszArg);
