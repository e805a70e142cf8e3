#include "platform/wx_hooks.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include "platform/message_box.h"
#include "platform/wait_cursor.h"

long MessageBoxStyle(UINT type)
{
    long style = (type & MB_YESNO) ? wxYES_NO : wxOK;
    style |= (type & MB_ICONINFORMATION) ? wxICON_INFORMATION : wxICON_NONE;
    return style | wxCENTRE;
}

void InstallWxMessageBoxHandler()
{
    SetMessageBoxHandler([](const std::string& utf8, UINT type) -> int {
        wxWindow* parent = wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
        if (parent && !parent->IsShown())
            parent = nullptr;
        const wxString caption = wxTheApp ? wxTheApp->GetAppName() : wxString("Pellvane");
        wxMessageDialog dlg(parent, wxString::FromUTF8(utf8), caption, MessageBoxStyle(type));
        switch (dlg.ShowModal()) {
        case wxID_YES:
            return IDYES;
        case wxID_NO:
            return IDNO;
        case wxID_CANCEL:
            return (type & MB_YESNO) ? IDNO : IDCANCEL;
        default:
            return IDOK;
        }
    });
}

void InstallWxWaitCursorHooks()
{
    SetWaitCursorHooks({[] { wxBeginBusyCursor(); }, [] { wxEndBusyCursor(); }});
}
