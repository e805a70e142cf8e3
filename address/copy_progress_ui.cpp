#include "address/copy_progress.h"

#include <wx/progdlg.h>

#include "address/path_functions.h"
#include "platform/cp932.h"
#include "platform/message_box.h"

namespace {

ProgressWindowHook g_hook;

const int kRange = 1000;

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
    const wxString from = wxString::FromUTF8(ToUtf8(sourceCp932));
    const wxString to = wxString::FromUTF8(ToUtf8(AddBackslash(destFolderCp932) + targetNameCp932));
    const wxString message = from + wxString::FromUTF8("\n→ ") + to;

    std::string error;
    CopyResult result;
    {
        wxProgressDialog window(wxString::FromUTF8(ToUtf8(titleCp932)), message, kRange, owner,
                                wxPD_APP_MODAL | wxPD_CAN_ABORT | wxPD_AUTO_HIDE | wxPD_REMAINING_TIME);
        auto progress = [&](std::uint64_t done, std::uint64_t total) {
            const int value = total ? static_cast<int>(done * (kRange - 1) / total) : 0;
            bool go = window.Update(value);
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
