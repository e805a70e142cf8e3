#include "shell/show_formatted_message.h"

#include "platform/message_box.h"
#include "res/strings.h"

void ShowFormattedMessage(UINT nFormatID, LPCTSTR pszArg)
{
    AfxMessageBox(FormatResString(nFormatID, pszArg ? pszArg : ""), MB_OK);
}
