#include "platform/wx_hooks.h"

#include <wx/app.h>
#include <wx/msgdlg.h>
#include <wx/toplevel.h>
#include <wx/translation.h>
#include <wx/uilocale.h>
#include <wx/utils.h>

#include <vector>

#include "platform/gtk_a11y.h"
#include "platform/message_box.h"
#include "platform/wait_cursor.h"
#include "platform/wx_text.h"
#include "res/strings.h"

namespace {

bool AnyWindowShown()
{
    for (const wxWindow* window : wxTopLevelWindows)
        if (window->IsShown())
            return true;
    return false;
}

void LoadStockTextsOnce(wxIdleEvent& event)
{
    event.Skip();
    wxTheApp->Unbind(wxEVT_IDLE, &LoadStockTextsOnce);
    if (wxTranslations* translations = wxTranslations::Get())
        translations->AddStdCatalog();
}

} // namespace

long MessageBoxStyle(UINT type)
{
    long style = (type & MB_YESNO) ? wxYES_NO : wxOK;
    style |= (type & MB_ICONINFORMATION) ? wxICON_INFORMATION : wxICON_NONE;
    return style | wxCENTRE;
}

void UseEnvironmentLocale(StockTexts when)
{
    wxUILocale::UseDefault();
    if (wxTranslations::Get())
        return;
    auto* translations = new wxTranslations;
    wxTranslations::Set(translations);
    // Without wxWidgets' catalog (wx3.2-i18n) stock texts stay English.
    if (when == StockTexts::Now || !wxTheApp) {
        translations->AddStdCatalog();
        return;
    }
    wxTheApp->Bind(wxEVT_IDLE, &LoadStockTextsOnce);
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
    // The busy cursor shows only over windows on screen. Before the first
    // one appears (the main dialog's pages read their lists) making it would
    // only load the cursor theme, so each begin notes whether it began one.
    static std::vector<bool> began;
    SetWaitCursorHooks({[] {
                            const bool shown = AnyWindowShown();
                            began.push_back(shown);
                            if (shown)
                                wxBeginBusyCursor();
                        },
                        [] {
                            if (began.empty())
                                return;
                            const bool shown = began.back();
                            began.pop_back();
                            if (shown)
                                wxEndBusyCursor();
                        }});
}
