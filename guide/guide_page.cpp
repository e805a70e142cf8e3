#include "guide/guide_page.h"

#include <optional>

#include <wx/button.h>
#include <wx/image.h>
#include <wx/mstream.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "address/browse_for_folder.h"
#include "address/path_functions.h"
#include "guide/genre_list_ctrl.h"
#include "guide/genre_rows.h"
#include "guide/source_genre_prefetch.h"
#include "platform/cp932.h"
#include "platform/dialog_units.h"
#include "platform/gtk_a11y.h"
#include "platform/message_box.h"
#include "platform/wait_cursor.h"
#include "platform/wx_text.h"
#include "res/bitmap_350.h"
#include "res/string_ids.h"
#include "res/strings.h"
#include "searchdb/search_handles.h"
#include "services/compact.h"
#include "services/free_space.h"
#include "services/progress_dlg.h"
#include "settings/directory_settings.h"
#include "shell/show_formatted_message.h"

namespace {

// Messages.
const UINT IDS_BROWSE_DEST_TITLE = 2021;
const UINT IDS_BROWSE_SOURCE_TITLE = 2022;

void SetStaticText(wxStaticText* pStatic, const std::string& cp932)
{
    const wxString text = WxFromCp932(cp932);
    if (pStatic->GetLabel() != text)
        pStatic->SetLabel(text);
}

void SetEditText(wxTextCtrl* pEdit, const std::string& cp932)
{
    const wxString text = WxFromCp932(cp932);
    if (pEdit->GetValue() != text)
        pEdit->ChangeValue(text);
}

// The pressed button is usually disabled by its work: the keyboard goes back
// to the list the user worked from, as a Windows dialog moves it off a
// disabled control, and the button's tooltip goes with the pointer's reason.
void KeepKeyboardAfterWork(wxWindow* pButton, wxWindow* pList)
{
    if (!pButton->IsEnabled() && pList->IsEnabled())
        pList->SetFocus();
    RecheckToolTips();
}

} // namespace

CGuidePage::CGuidePage() = default;

CGuidePage::~CGuidePage()
{
    // The dialog is a child of the main dialog, which may have destroyed it
    // already.
    if (m_progressDlgAlive)
        m_progressDlgAlive->Destroy();
}

bool CGuidePage::Create(wxWindow* parent)
{
    if (!wxPanel::Create(parent, wxID_ANY, wxPoint(0, 0), wxDefaultSize, wxTAB_TRAVERSAL))
        return false;
    ApplyDialogFont(this);
    SetSize(DlgSize(this, 254, 154));

    // Template 151, in tab order.
    auto rect = [this](int x, int y, int cx, int cy) { return DlgRect(this, x, y, cx, cy); };
    auto edit = [this](int id, const wxRect& r) {
        return new wxTextCtrl(this, id, wxString(), r.GetPosition(), r.GetSize(), wxTE_READONLY | wxBORDER_SUNKEN);
    };
    auto label = [this](int id, const char* text, const wxRect& r, long style = 0) {
        return NewTemplateLabel(this, id, WxFromUtf8(text), r, style);
    };
    auto button = [this](int id, const char* text, const wxRect& r) {
        return new wxButton(this, id, WxFromUtf8(text), r.GetPosition(), r.GetSize());
    };
    const long kSizeStyle = wxALIGN_RIGHT | wxST_NO_AUTORESIZE | wxBORDER_SUNKEN;

    m_editSource = edit(IDC_SOURCE_PATH, rect(65, 2, 143, 12));
    label(wxID_ANY, "CD-ROM(&C):", rect(3, 2, 44, 9));
    m_staticNotInstalledCaption = label(IDC_NOT_INSTALLED_CAPTION, "未インストールのジャンル(&S):", rect(3, 36, 96, 9));
    m_btnBrowseSource = button(IDC_BROWSE_SOURCE, "参照（&B)...", rect(209, 1, 42, 13));
    const wxRect line = rect(3, 32, 248, 1);
    new wxStaticLine(this, wxID_ANY, line.GetPosition(), wxSize(line.GetWidth(), 2), wxLI_HORIZONTAL);
    m_editDest = edit(IDC_DEST_PATH, rect(65, 16, 143, 12));
    label(wxID_ANY, "インストール先(&H):", rect(3, 16, 59, 8));
    m_btnBrowseDest = button(IDC_BROWSE_DEST, "参照（&R)...", rect(209, 15, 42, 13));
    m_staticNotInstalledSize = label(IDC_NOT_INSTALLED_SIZE, "", rect(3, 139, 102, 12), kSizeStyle);
    m_listNotInstalled = new CGenreListCtrl(this, IDC_NOT_INSTALLED_LIST, rect(3, 45, 102, 91));
    m_staticInstalledCaption = label(IDC_INSTALLED_CAPTION, "インストール済みジャンル(&T):", rect(149, 36, 102, 9));
    m_staticInstalledSize = label(IDC_INSTALLED_SIZE, "", rect(149, 139, 102, 12), kSizeStyle);
    m_listInstalled = new CGenreListCtrl(this, IDC_INSTALLED_LIST, rect(149, 45, 102, 91));
    m_btnInstall = button(IDC_INSTALL, ">>", rect(110, 70, 34, 14));
    m_btnRemove = button(IDC_REMOVE, "<<", rect(110, 100, 34, 14));

    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnBrowseSource(); }, IDC_BROWSE_SOURCE);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnBrowseDest(); }, IDC_BROWSE_DEST);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnInstall(), KeepKeyboardAfterWork(m_btnInstall, m_listNotInstalled); },
         IDC_INSTALL);
    Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { OnRemove(), KeepKeyboardAfterWork(m_btnRemove, m_listInstalled); },
         IDC_REMOVE);
    m_listNotInstalled->Bind(wxEVT_DATAVIEW_SELECTION_CHANGED, &CGuidePage::OnItemChangedNotInstalled, this);
    m_listInstalled->Bind(wxEVT_DATAVIEW_SELECTION_CHANGED, &CGuidePage::OnItemChangedInstalled, this);
    Bind(wxEVT_CHAR_HOOK, &CGuidePage::OnCharHook, this);

    return OnInitDialog() == TRUE;
}

BOOL CGuidePage::OnInitDialog()
{
    static const struct {
        int nControl;
        UINT nString;
    } kTips[] = {
        {IDC_NOT_INSTALLED_LIST, 5070}, {IDC_INSTALLED_LIST, 5080}, {IDC_INSTALL, 5120},
        {IDC_REMOVE, 5010},             {IDC_NOT_INSTALLED_SIZE, 5110}, {IDC_INSTALLED_SIZE, 5060},
        {IDC_SOURCE_PATH, 5100},        {IDC_DEST_PATH, 5090},      {IDC_BROWSE_SOURCE, 5040},
        {IDC_BROWSE_DEST, 5030},
    };
    for (const auto& tip : kTips)
        if (wxWindow* pControl = FindWindow(tip.nControl))
            pControl->SetToolTip(WxResText(tip.nString));

    m_btnInstall->Disable();
    m_btnRemove->Disable();

    m_strGuideFile = GetGuideFile();
    m_strSourcePath = GetGuideCdPath();
    m_strDestPath = GetGuideHdPath(m_strGuideFile.c_str());

    m_strNotInstalledCaption = FromUtf8("未インストールのジャンル(&S):");
    m_strInstalledCaption = FromUtf8("インストール済みジャンル(&S):");

    const wxString heading = WxFromUtf8("ジャンル名");
    m_listNotInstalled->InsertColumn(heading, 150);
    m_listInstalled->InsertColumn(heading, 150);

    // Bitmap 350 with white as its transparent colour.
    const std::string& bmp = LoadBitmap350();
    wxMemoryInputStream stream(bmp.data(), bmp.size());
    wxImage image(stream, wxBITMAP_TYPE_BMP);
    if (image.IsOk()) {
        image.SetMaskColour(0xFF, 0xFF, 0xFF);
        const wxBitmap icon(image);
        m_listNotInstalled->SetItemIcon(icon);
        m_listInstalled->SetItemIcon(icon);
    }

    UpdateInstalledSize();
    UpdateNotInstalledSize();
    RefreshGenreLists(m_strSourcePath, m_strDestPath);

    // The progress dialog waits, hidden, until the page is on screen.
    Bind(wxEVT_IDLE, &CGuidePage::OnFirstIdle, this);

    UpdateData(FALSE);
    m_sizeCache.clear();
    return TRUE;
}

void CGuidePage::OnFirstIdle(wxIdleEvent& event)
{
    event.Skip();
    Unbind(wxEVT_IDLE, &CGuidePage::OnFirstIdle, this);
    ProgressDlg();
}

CProgressDlg* CGuidePage::ProgressDlg()
{
    if (!m_progressDlg) {
        m_progressDlg = new CProgressDlg();
        // Owned by the main dialog's window so that it stays in front of it.
        m_progressDlg->Create(wxGetTopLevelParent(this));
        m_progressDlgAlive = m_progressDlg;
    }
    return m_progressDlg;
}

CProgressSink* CGuidePage::ProgressSink()
{
    return m_pProgressSink ? m_pProgressSink : ProgressDlg();
}

void CGuidePage::UpdateData(BOOL bSaveAndValidate)
{
    if (bSaveAndValidate)
        return; // every exchanged control is read-only
    SetStaticText(m_staticInstalledSize, m_strInstalledSize);
    SetStaticText(m_staticInstalledCaption, m_strInstalledCaption);
    SetEditText(m_editSource, m_strSourcePath);
    SetEditText(m_editDest, m_strDestPath);
    SetStaticText(m_staticNotInstalledCaption, m_strNotInstalledCaption);
    SetStaticText(m_staticNotInstalledSize, m_strNotInstalledSize);
}

void CGuidePage::OnCharHook(wxKeyEvent& event)
{
    // Escape must not end the main dialog through the page.
    if (event.GetKeyCode() == WXK_ESCAPE)
        return;
    event.Skip();
}

// ---------------------------------------------------------------------------
// Browsing

std::string CGuidePage::MakeDatabasePath(const std::string& folder) const
{
    return AddBackslash(folder) + m_strGuideFile;
}

std::string CGuidePage::GetBrowseStartFolder(const std::string& path) const
{
    return StripFileName(path, m_strGuideFile);
}

void CGuidePage::OnBrowseSource()
{
    BrowseForDatabase(m_strSourcePath, m_strDestPath, IDS_BROWSE_SOURCE_TITLE);
}

void CGuidePage::OnBrowseDest()
{
    BrowseForDatabase(m_strDestPath, m_strSourcePath, IDS_BROWSE_DEST_TITLE);
}

void CGuidePage::BrowseForDatabase(std::string& path, const std::string& otherPath, UINT nTitleID)
{
    const std::string folder = BrowseForFolder(this, LoadResString(nTitleID), GetBrowseStartFolder(path));
    if (folder.empty())
        return;
    const std::string newPath = MakeDatabasePath(folder);
    if (newPath == otherPath) {
        AfxMessageBox(IDS_SAME_FOLDERS, MB_OK);
        return;
    }
    if (newPath != path)
        m_sizeCache.clear();
    path = newPath;
    UpdateData(FALSE);
    RefreshGenreLists(m_strSourcePath, m_strDestPath);
    UpdateInstalledSize();
    UpdateNotInstalledSize();
}

// ---------------------------------------------------------------------------
// The lists

void CGuidePage::RefreshGenreLists(const std::string& source, const std::string& dest)
{
    // The not-installed fill reads the codes of the genres the installed
    // fill has just listed.
    FillInstalledList(dest, kGuideData);
    FillNotInstalledList(source, kGuideData, dest);
}

void CGuidePage::FillInstalledList(const std::string& dest, const std::string& kind)
{
    CWaitCursor wait;
    m_listInstalled->DeleteAllItems();
    m_installedGenres = ReadInstalledGenres(m_db, dest, kind);
    for (size_t n = 0; n < m_installedGenres.size(); ++n)
        m_listInstalled->InsertItem(static_cast<int>(n), m_installedGenres[n].Name, n);
}

void CGuidePage::FillNotInstalledList(const std::string& source, const std::string& kind, const std::string& dest)
{
    CWaitCursor wait;
    m_listNotInstalled->DeleteAllItems();
    if (!FileExists(source) || !m_db.IsProductData(source, kind))
        return;

    {
        searchdb::DatabaseHandle pDest(m_db, m_db.OpenDatabase(dest, TRUE));
        if (pDest.IsOpen())
            ReadInstalledGenreCodes(m_db, pDest.get(), m_installedGenres);
        else
            FillInstalledList(dest, kind);
    }

    // At start the source's genres have been read while the toolkit started.
    std::vector<std::string> names;
    if (std::optional<std::vector<SourceGenre>> genres = TheSourceGenrePrefetch().Take(source))
        names = NotInstalledGenreNames(*genres, m_installedGenres);
    else
        names = ReadNotInstalledGenreNames(m_db, source, m_installedGenres);
    m_listNotInstalled->Freeze();
    for (size_t n = 0; n < names.size(); ++n)
        m_listNotInstalled->InsertItem(static_cast<int>(n), names[n], n);
    m_listNotInstalled->Thaw();
}

BOOL CGuidePage::LookupGenreByName(const std::string& path, const std::string& name, std::string& l1,
                                   std::string& l2)
{
    return ::LookupGenreByName(m_db, path, name, l1, l2);
}

long CGuidePage::ComputeSelectedSize(CGenreListCtrl* pList, const std::string& path, wxButton* pButton)
{
    const std::vector<int> selected = pList->GetSelectedIndexes();
    if (selected.empty()) {
        pButton->Disable();
        return 0;
    }
    pButton->Enable();

    std::optional<CWaitCursor> wait; // only while the databases are read
    long total = 0;
    for (int n : selected) {
        const std::string nameUtf8 = pList->GetItemText(n);
        auto cached = m_sizeCache.find(nameUtf8);
        if (cached != m_sizeCache.end()) {
            total += cached->second;
            continue;
        }
        // A genre whose name has no CP932 form is never installed: it adds nothing.
        std::string name;
        if (!Utf8ToCp932(nameUtf8, name))
            continue;
        if (!wait)
            wait.emplace();
        std::string l1, l2;
        if (!LookupGenreByName(path, name, l1, l2))
            return 0;
        const long size = m_db.EstimateGenreSize(path, l1, l2);
        // Rows that could not be counted (the file held for a moment) have
        // no size: none is kept, so the next request counts again.
        if (size < 0)
            continue;
        m_sizeCache[nameUtf8] = size;
        total += size;
    }
    return total;
}

void CGuidePage::UpdateSize(CGenreListCtrl* pList, const std::string& path, wxButton* pButton, std::string& label)
{
    const long size = ComputeSelectedSize(pList, path, pButton);
    m_nSelectedSize = size;
    label = SizeLabelText(size);
    UpdateData(FALSE);
}

void CGuidePage::UpdateNotInstalledSize()
{
    UpdateSize(m_listNotInstalled, m_strSourcePath, m_btnInstall, m_strNotInstalledSize);
}

void CGuidePage::UpdateInstalledSize()
{
    UpdateSize(m_listInstalled, m_strDestPath, m_btnRemove, m_strInstalledSize);
}

void CGuidePage::OnItemChangedNotInstalled(wxDataViewEvent&)
{
    UpdateNotInstalledSize();
}

void CGuidePage::OnItemChangedInstalled(wxDataViewEvent&)
{
    UpdateInstalledSize();
}
