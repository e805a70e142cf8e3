#include "address/copy_progress.h"

#include <wx/button.h>
#include <wx/progdlg.h>
#include <wx/stattext.h>
#include <wx/translation.h>

#include "address/path_functions.h"
#include "platform/cp932.h"
#include "platform/message_box.h"
#include "platform/wx_hooks.h"
#include "platform/wx_text.h"
#include "res/strings.h"

namespace {

ProgressWindowHook g_hook;

const int kRange = 1000;

// The time texts of the window, string-table entries.
enum : UINT { IDS_ELAPSED_TIME = 904, IDS_ESTIMATED_TIME = 905, IDS_REMAINING_TIME = 906, IDS_TIME_UNKNOWN = 907 };

// The shell's copy window is Japanese under any locale; wxWidgets' own
// window speaks the locale's language, so its texts are replaced, the time
// values again after each update.
void UseJapaneseTexts(wxWindow& window)
{
    static const struct {
        const char* english;
        UINT nID;
    } kTexts[] = {
        {"Elapsed time:", IDS_ELAPSED_TIME}, {"Estimated time:", IDS_ESTIMATED_TIME},
        {"Remaining time:", IDS_REMAINING_TIME}, {"Unknown", IDS_TIME_UNKNOWN}, {"unknown", IDS_TIME_UNKNOWN},
    };
    for (wxWindow* child : window.GetChildren()) {
        if (child->GetId() == wxID_CANCEL && dynamic_cast<wxButton*>(child)) {
            const wxString cancel = WxResText(IDS_BUTTON_CANCEL);
            if (child->GetLabel() != cancel)
                child->SetLabel(cancel);
            continue;
        }
        auto* text = dynamic_cast<wxStaticText*>(child);
        if (!text)
            continue;
        const wxString label = text->GetLabel();
        for (const auto& t : kTexts)
            if (label == t.english || label == wxGetTranslation(t.english)) {
                text->SetLabel(WxResText(t.nID));
                break;
            }
    }
}

} // namespace

ProgressWindowHook SetProgressWindowHook(ProgressWindowHook hook)
{
    ProgressWindowHook previous = std::move(g_hook);
    g_hook = std::move(hook);
    return previous;
}

BOOL CopyFileWithProgress(wxWindow* owner, const std::string& sourceCp932, const std::string& destFolderCp932,
                          const std::string& targetNameCp932, const std::string& titleCp932,
                          const CopyOptions& options)
{
    const wxString from = WxFromCp932(sourceCp932);
    const wxString to = WxFromCp932(AddBackslash(destFolderCp932) + targetNameCp932);
    const wxString message = from + WxFromUtf8("\n→ ") + to;

    std::string error;
    CopyResult result;
    {
        wxProgressDialog window(WxFromCp932(titleCp932), message, kRange, owner,
                                wxPD_APP_MODAL | wxPD_CAN_ABORT | wxPD_AUTO_HIDE | wxPD_REMAINING_TIME);
        UseJapaneseTexts(window);
        window.Layout();
        auto progress = [&](std::uint64_t done, std::uint64_t total) {
            const int value = total ? static_cast<int>(done * (kRange - 1) / total) : 0;
            bool go = window.Update(value);
            UseJapaneseTexts(window);
            if (g_hook)
                g_hook(window);
            return go && !window.WasCancelled();
        };
        result = InstallFileCopy(sourceCp932, destFolderCp932, targetNameCp932, progress, error, options);
    }
    if (result == CopyResult::Failed)
        AfxMessageBox(error, MB_OK);
    return result == CopyResult::Done ? TRUE : FALSE;
}
