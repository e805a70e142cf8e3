#include "address/address_page.h"

#include <wx/button.h>
#include <wx/radiobut.h>
#include <wx/statbox.h>
#include <wx/statline.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include "address/address_data.h"
#include "address/browse_for_folder.h"
#include "address/copy_progress.h"
#include "address/path_functions.h"
#include "platform/cp932.h"
#include "platform/dialog_units.h"
#include "platform/gtk_a11y.h"
#include "platform/message_box.h"
#include "platform/wait_cursor.h"
#include "platform/wx_text.h"
#include "res/strings.h"
#include "searchdb/search_db.h"
#include "services/free_space.h"
#include "settings/directory_settings.h"
#include "shell/main_dialog_disabler.h"

namespace {

const UINT IDS_SOURCE_UNREADABLE = 6031;


// A size label of string 5134 or 5135: the registry's size when it is
// positive, else the size the data is known to have.
wxString SizeLabel(UINT nID, std::int32_t nSizeMB, int nDefaultMB)
{
    return WxFromCp932(FormatText(LoadResString(nID).c_str(), nSizeMB > 0 ? static_cast<int>(nSizeMB) : nDefaultMB));
}

} // namespace

CAddressPage::CAddressPage() = default;

bool CAddressPage::Create(wxWindow* parent, bool bControlsLater)
{
    if (!wxPanel::Create(parent, wxID_ANY, wxPoint(0, 0), wxDefaultSize, wxTAB_TRAVERSAL))
        return false;
    ApplyDialogFont(this);
    SetSize(DlgSize(this, 254, 154));
    if (bControlsLater) {
        // The first idle time comes once the main dialog is on screen.
        Bind(wxEVT_IDLE, &CAddressPage::OnFirstIdle, this);
    } else {
        CreateControls();
    }
    return OnInitDialog() != FALSE;
}

bool CAddressPage::Show(bool show)
{
    if (show)
        EnsureControls();
    return wxPanel::Show(show);
}

void CAddressPage::OnFirstIdle(wxIdleEvent& event)
{
    event.Skip();
    Unbind(wxEVT_IDLE, &CAddressPage::OnFirstIdle, this);
    EnsureControls();
}

void CAddressPage::EnsureControls()
{
    if (m_btnApply)
        return;
    CreateControls();
    ShowSizes();
    ShowChoices();
    UpdateData(FALSE);
    // What the main dialog does for the controls it finds at start.
    NameUnlabelledControls(this);
    NoToolTipsOnDisabledControls(this);
}

void CAddressPage::CreateControls()
{
    // Template 149, in tab order.
    auto rect = [this](int x, int y, int cx, int cy) { return DlgRect(this, x, y, cx, cy); };
    auto place = [](wxWindow* w, const wxRect& r) {
        w->SetSize(r);
        return w;
    };
    const wxRect rcSource = rect(65, 2, 143, 12);
    m_editSource = new wxTextCtrl(this, IDC_SOURCE_DIR, "", rcSource.GetPosition(), rcSource.GetSize(), wxTE_READONLY);
    place(new wxStaticText(this, wxID_ANY, "CD-ROM(&C):", wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE),
          rect(3, 2, 44, 9));
    m_btnBrowseSource = new wxButton(this, IDC_BROWSE_SOURCE, WxFromUtf8("参照（&B)..."));
    place(m_btnBrowseSource, rect(209, 1, 42, 13));
    place(new wxStaticLine(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLI_HORIZONTAL), rect(3, 32, 248, 1));
    const wxRect rcDest = rect(65, 16, 143, 12);
    m_editDest = new wxTextCtrl(this, IDC_DEST_DIR, "", rcDest.GetPosition(), rcDest.GetSize(), wxTE_READONLY);
    place(new wxStaticText(this, wxID_ANY, WxFromUtf8("インストール先(&H):"), wxDefaultPosition, wxDefaultSize,
                           wxST_NO_AUTORESIZE),
          rect(3, 16, 59, 8));
    m_btnBrowseDest = new wxButton(this, IDC_BROWSE_DEST, WxFromUtf8("参照（&R)..."));
    place(m_btnBrowseDest, rect(209, 15, 42, 13));
    place(new wxStaticBox(this, wxID_ANY, WxFromUtf8("インストールデータ（&I)")), rect(3, 37, 248, 114));
    m_btnApply = new wxButton(this, IDC_APPLY, WxFromUtf8("適用"));
    place(m_btnApply, rect(197, 130, 47, 14));
    place(new wxRadioButton(this, IDC_STANDARD, WxFromUtf8("標準データ [約43MB] ："), wxDefaultPosition, wxDefaultSize,
                            wxRB_GROUP),
          rect(10, 53, 99, 12));
    place(new wxRadioButton(this, IDC_DETAILED, WxFromUtf8("詳細データ [約195MB] ：")), rect(10, 89, 91, 12));
    m_pNoneRadio = new wxRadioButton(this, wxID_ANY, "");
    m_pNoneRadio->Hide();
    m_pNoneRadio->SetValue(true);
    place(new wxStaticText(this, IDC_STANDARD_NOTE,
                           WxFromUtf8("全国の町丁目までの住所データです。\n例） 東京都 目黒区 下目黒1（丁目）まで検索"),
                           wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE),
          rect(20, 65, 150, 17));
    place(new wxStaticText(this, IDC_DETAILED_NOTE,
                           WxFromUtf8("標準データに加えて、タウンマップ収録範囲の番地が含まれたデータです。\n"
                                "例） 東京都 目黒区 下目黒1-1（番地）まで検索"),
                           wxDefaultPosition, wxDefaultSize, wxST_NO_AUTORESIZE),
          rect(20, 101, 224, 28));

    // Message map.
    Bind(wxEVT_BUTTON, &CAddressPage::OnBrowseSource, this, IDC_BROWSE_SOURCE);
    Bind(wxEVT_BUTTON, &CAddressPage::OnBrowseDest, this, IDC_BROWSE_DEST);
    Bind(wxEVT_BUTTON, &CAddressPage::OnApplyClicked, this, IDC_APPLY);
    Bind(wxEVT_RADIOBUTTON, &CAddressPage::OnSelectData, this, IDC_STANDARD);
    Bind(wxEVT_RADIOBUTTON, &CAddressPage::OnSelectData, this, IDC_DETAILED);
    Bind(wxEVT_CHAR_HOOK, &CAddressPage::OnCharHook, this);

    // Data exchange: the bound controls.
    m_staticDetailedNote = static_cast<wxStaticText*>(FindWindow(IDC_DETAILED_NOTE));
    m_staticStandardNote = static_cast<wxStaticText*>(FindWindow(IDC_STANDARD_NOTE));
    m_pDetailedRadio = static_cast<wxRadioButton*>(FindWindow(IDC_DETAILED));
    m_pStandardRadio = static_cast<wxRadioButton*>(FindWindow(IDC_STANDARD));

    static const struct {
        int nCtrl;
        UINT nString;
    } kTips[] = {
        {IDC_SOURCE_DIR, 5100}, {IDC_DEST_DIR, 5090}, {IDC_BROWSE_SOURCE, 5040}, {IDC_BROWSE_DEST, 5030},
        {IDC_STANDARD, 5131},   {IDC_DETAILED, 5131}, {IDC_APPLY, 5132},
    };
    for (const auto& tip : kTips)
        if (wxWindow* w = FindWindow(tip.nCtrl))
            w->SetToolTip(WxResText(tip.nString));
}

BOOL CAddressPage::OnInitDialog()
{
    m_strDetailedFile = GetAddressDetailedFile();
    m_strStandardFile = GetAddressStandardFile();
    m_strInstalledFile = GetAddressFile();

    m_strSourceDir = FolderOfPath(GetAddressCdPath());
    m_strDestDir = FolderOfPath(GetAddressHdPath(m_strInstalledFile.c_str()));

    // The registry holds DWORDs; the page reads them as signed sizes.
    m_nDetailedSizeMB = static_cast<std::int32_t>(GetAddressDetailedSize());
    m_nStandardSizeMB = static_cast<std::int32_t>(GetAddressStandardSize());
    ShowSizes();

    UpdateSourceChoices();
    UpdateInstalledCheck();
    UpdateApplyButton();
    UpdateData(FALSE);
    return TRUE;
}

void CAddressPage::UpdateData(BOOL bSaveAndValidate)
{
    if (bSaveAndValidate || !m_editSource)
        return;
    m_editSource->ChangeValue(WxFromCp932(m_strSourceDir));
    m_editDest->ChangeValue(WxFromCp932(m_strDestDir));
}

void CAddressPage::ShowSizes()
{
    if (!m_btnApply)
        return;
    m_pDetailedRadio->SetLabel(SizeLabel(5135, m_nDetailedSizeMB, 195));
    m_pStandardRadio->SetLabel(SizeLabel(5134, m_nStandardSizeMB, 43));
}

void CAddressPage::ShowChoices()
{
    if (!m_btnApply)
        return;
    m_pDetailedRadio->Enable(m_bDetailedOffered);
    m_staticDetailedNote->Enable(m_bDetailedOffered);
    m_pStandardRadio->Enable(m_bStandardOffered);
    m_staticStandardNote->Enable(m_bStandardOffered);
    wxRadioButton* checked = m_nChecked == 4 ? m_pDetailedRadio : m_nChecked == 3 ? m_pStandardRadio : m_pNoneRadio;
    if (!checked->GetValue())
        checked->SetValue(true);
    m_btnApply->Enable(m_bApplyEnabled);
}

int CAddressPage::InstalledLevel()
{
    return GetAddressDataLevel(m_strDestDir, kAddressData, m_strInstalledFile);
}

void CAddressPage::UpdateSourceChoices()
{
    m_bDetailedOffered = GetAddressDataLevel(m_strSourceDir, kAddressData, m_strDetailedFile) != 0;
    m_bStandardOffered = GetAddressDataLevel(m_strSourceDir, kAddressData, m_strStandardFile) != 0;
    ShowChoices();
}

void CAddressPage::SetRadioChecks(bool bDetailed, bool bStandard)
{
    m_nChecked = bDetailed ? 4 : bStandard ? 3 : 0;
    ShowChoices();
}

void CAddressPage::UpdateInstalledCheck()
{
    const bool bDetailed = InstalledLevel() == 4;
    const bool bStandard = InstalledLevel() == 3;
    SetRadioChecks(bDetailed, bStandard);
}

void CAddressPage::UpdateApplyButton()
{
    int nInstalled = -1;
    auto installed = [&] {
        if (nInstalled < 0)
            nInstalled = InstalledLevel();
        return nInstalled;
    };
    bool bEnable = false;
    if (m_bDetailedOffered && m_nChecked == 4 && installed() != 4)
        bEnable = true;
    else if (m_bStandardOffered && m_nChecked == 3 && installed() != 3)
        bEnable = true;
    m_bApplyEnabled = bEnable;
    ShowChoices();
}

void CAddressPage::OnSelectData(wxCommandEvent&)
{
    m_nChecked = m_pDetailedRadio->GetValue() ? 4 : m_pStandardRadio->GetValue() ? 3 : 0;
    UpdateApplyButton();
}

void CAddressPage::OnBrowseSource(wxCommandEvent&)
{
    BrowseFolder(true);
}

void CAddressPage::OnBrowseDest(wxCommandEvent&)
{
    BrowseFolder(false);
}

void CAddressPage::BrowseFolder(bool bSource)
{
    std::string& strFolder = bSource ? m_strSourceDir : m_strDestDir;
    const std::string& strOther = bSource ? m_strDestDir : m_strSourceDir;

    const std::string strStart = StripFileName(strFolder, m_strInstalledFile);
    const std::string strChosen = BrowseForFolder(this, LoadResString(bSource ? 2022 : 2021), strStart);
    if (strChosen.empty())
        return;

    const std::string strNew = AddBackslash(strChosen);
    if (strNew == strOther) {
        AfxMessageBox(2010, MB_OK);
        return;
    }
    strFolder = strNew;
    (bSource ? m_bSourceChosen : m_bDestChosen) = true;
    if (bSource)
        UpdateSourceChoices();
    UpdateInstalledCheck();
    UpdateApplyButton();
    UpdateData(FALSE);
}

void CAddressPage::OnApplyClicked(wxCommandEvent&)
{
    OnApply();
    // An installed file disables the button: the keyboard goes back to the
    // choice the user made, and the button's tooltip goes too.
    wxRadioButton* chosen = m_pDetailedRadio->GetValue() ? m_pDetailedRadio : m_pStandardRadio;
    if (!m_btnApply->IsEnabled() && chosen->IsEnabled())
        chosen->SetFocus();
    RecheckToolTips();
}

BOOL CAddressPage::HasRoomFor(std::uint64_t size)
{
    return GetFreeDiskSpace(m_strDestDir) > size ? TRUE : FALSE;
}

BOOL CAddressPage::CopyFileToFolder(const std::string& source, const std::string& destFolder,
                                    const std::string& targetName, const std::string& title)
{
    return CopyFileWithProgress(this, source, destFolder, targetName, title);
}

void CAddressPage::OnApply()
{
    CWaitCursor wait;

    const std::string strInstalled = AddBackslash(m_strDestDir) + m_strInstalledFile;

    // Refuse while another program holds the installed database (2039 is
    // shown by the open). A write-protected file is replaced all the same
    // (the rename needs no write access to it), so it is tested for use
    // with a read-only connection, which no other program's can share.
    if (FileExists(strInstalled) &&
        !CSearchDb().CanOpenExclusively(strInstalled, FileIsWritable(strInstalled) ? FALSE : TRUE))
        return;

    CMainDialogDisabler disabler(m_pMainDlg);

    if (AfxMessageBox(2042, MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return;

    std::string strFile;
    if (m_nChecked == 4 && m_bDetailedOffered)
        strFile = m_strDetailedFile;
    else if (m_nChecked == 3 && m_bStandardOffered)
        strFile = m_strStandardFile;
    else
        return;

    const std::string strTitle = LoadResString(2027);
    const std::string strSource = AddBackslash(m_strSourceDir) + strFile;

    std::uint64_t nSize = 0;
    if (!GetFileSize(strSource, nSize)) {
        AfxMessageBox(FormatText(LoadResString(IDS_SOURCE_UNREADABLE).c_str(), strSource.c_str()), MB_OK);
        return;
    }
    if (!HasRoomFor(nSize) && AfxMessageBox(2020, MB_YESNO) != IDYES)
        return;

    CopyFileToFolder(strSource, m_strDestDir, m_strInstalledFile, strTitle);

    UpdateInstalledCheck();
    UpdateApplyButton();
}

void CAddressPage::SaveDataPaths()
{
    // A stored path that could not be used here stays until the user chooses
    // a folder in its place.
    if (m_bDestChosen || !IsAddressHdPathUnusable())
        SetAddressHdPath((AddBackslash(m_strDestDir) + m_strInstalledFile).c_str());
    if (m_bSourceChosen || !IsAddressCdPathUnusable())
        SetAddressCdPath((AddBackslash(m_strSourceDir) + m_strDetailedFile).c_str());
}

void CAddressPage::OnCharHook(wxKeyEvent& event)
{
    // Esc and Enter on the page must not end the main dialog; Enter still
    // presses a focused button.
    switch (event.GetKeyCode()) {
    case WXK_ESCAPE:
        return;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
        if (dynamic_cast<wxButton*>(wxWindow::FindFocus()))
            event.Skip();
        return;
    default:
        event.Skip();
    }
}
