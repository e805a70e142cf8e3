#include "platform/wx_hooks.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/translation.h>
#include <wx/uilocale.h>
#include <wx/utils.h>

#include "platform/gtk_a11y.h"
#include "platform/message_box.h"
#include "platform/wait_cursor.h"
#include "platform/wx_text.h"
#include "res/strings.h"

namespace {


} // namespace

long MessageBoxStyle(UINT type)
{
    long style = (type & MB_YESNO) ? wxYES_NO : wxOK;
    style |= (type & MB_ICONINFORMATION) ? wxICON_INFORMATION : wxICON_NONE;
    return style | wxCENTRE;
}

void UseEnvironmentLocale()
{
    wxUILocale::UseDefault();
    if (!wxTranslations::Get()) {
        auto* translations = new wxTranslations;
        wxTranslations::Set(translations);
        // Without wxWidgets' catalog (wx3.2-i18n) stock texts stay English.
        translations->AddStdCatalog();
    }
}

void InstallWxMessageBoxHandler()
{
    AnnounceMessageBoxesByCaption();
    SetMessageBoxHandler([](const std::string& utf8, UINT type) -> int {
        wxWindow* parent = wxTheApp ? wxTheApp->GetTopWindow() : nullptr;
        if (parent && !parent->IsShown())
            parent = nullptr;
        const wxString caption = wxTheApp ? wxTheApp->GetAppName() : wxString("Pellvane");
        wxMessageDialog dlg(parent, WxFromUtf8(utf8), caption, MessageBoxStyle(type));
        // The system's message box speaks Japanese whatever the locale.
        if (type & MB_YESNO)
            dlg.SetYesNoLabels(WxResText(IDS_BUTTON_YES), WxResText(IDS_BUTTON_NO));
        else
            dlg.SetOKLabel(WxResText(IDS_BUTTON_OK));
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
