#include "address/browse_for_folder.h"

#include <wx/dirdlg.h>

#include "address/path_functions.h"
#include "platform/cp932.h"
#include "platform/message_box.h"
#include "platform/wx_text.h"

namespace {

const UINT IDS_FOLDER_NAME_NOT_USABLE = 6032;

// GTK's folder dialog takes a path set by program only into the chooser and
// reports only what the user accepted; keep a path set by program as the
// answer too, so that a dialog answered without the user (the modal hook)
// gives that path.
class CFolderDialog : public wxDirDialog {
public:
    CFolderDialog(wxWindow* parent, const wxString& message)
        : wxDirDialog(parent, message, wxEmptyString, wxDD_DEFAULT_STYLE)
    {
    }
    void SetPath(const wxString& path) override
    {
        wxDirDialog::SetPath(path);
        m_path = path;
    }
};

} // namespace

std::string BrowseForFolder(wxWindow* owner, const std::string& titleCp932, const std::string& startFolderCp932)
{
    CFolderDialog dlg(owner, WxFromCp932(titleCp932));
    std::string start;
    if (!startFolderCp932.empty() && PathToNative(startFolderCp932, start))
        dlg.SetPath(WxFromUtf8(start));
    if (dlg.ShowModal() != wxID_OK)
        return "";

    const std::string chosen = dlg.GetPath().utf8_string();
    if (chosen.empty())
        return "";
    std::string chosenCp932;
    if (!PathFromNative(chosen, chosenCp932)) {
        AfxMessageBox(IDS_FOLDER_NAME_NOT_USABLE, MB_OK);
        return "";
    }
    return chosenCp932;
}
