#include "shell/installer_dlg.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/choice.h>
#include <wx/icon.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/statline.h>
#include <wx/stattext.h>

#include "guide/source_genre_prefetch.h"
#include "platform/dialog_units.h"
#include "platform/gtk_a11y.h"
#include "platform/wx_text.h"
#include "res/icon/icon_320.xpm"
#include "res/strings.h"
#include "settings/directory_settings.h"
#include "shell/host_commands.h"
#include "shell/installer_app_core.h"

namespace {


// Stands in a tab of the notebook: the tabs only select, the pages live in
// the page frame above. A label has no window of its own, so the frame
// always stays on top of it.
wxWindow* NewTabPlaceholder(wxNotebook* tabs)
{
    return new wxStaticText(tabs, wxID_ANY, wxString());
}

} // namespace

wxIMPLEMENT_CLASS(CInstallerDlg, wxDialog);

wxBEGIN_EVENT_TABLE(CInstallerDlg, wxDialog)
    EVT_BUTTON(wxID_ANY, CInstallerDlg::OnButton)
    EVT_MENU(wxID_ANY, CInstallerDlg::OnMenu)
    EVT_CLOSE(CInstallerDlg::OnCloseWindow)
    EVT_CHAR_HOOK(CInstallerDlg::OnCharHook)
    EVT_CONTEXT_MENU(CInstallerDlg::OnContextMenu)
wxEND_EVENT_TABLE()

CInstallerDlg::CInstallerDlg()
    : wxDialog(nullptr, wxID_ANY, WxFromUtf8("データインストーラ"), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxDIALOG_NO_PARENT)
{
    m_hIcon.AddIcon(wxIcon(icon_320_32_xpm));
    m_hIcon.AddIcon(wxIcon(icon_320_16_xpm));
    // Nothing but OnCloseButton ends this dialog: Escape is swallowed, Enter
    // finds no default button, and no OK or Cancel identity is implied.
    SetEscapeId(wxID_NONE);
    SetAffirmativeId(wxID_NONE);
    CreateControls();
    OnInitDialog();
    CentreOnScreen();
}

CInstallerDlg::~CInstallerDlg()
{
    HideNotebookTabs(m_tabData);
}

void CInstallerDlg::CreateControls()
{
    ApplyDialogFont(this);
    SetClientSize(DlgSize(this, 274, 211));

    wxRect r = DlgRect(this, 5, 2, 263, 180);
    m_tabData = new wxNotebook(this, IDC_DATA_TAB, r.GetPosition(), r.GetSize());

    // The page frame comes right after the tabs, so that it lies above them
    // and the keyboard reaches the page before the buttons.
    r = DlgRect(this, 9, 22, 254, 154);
    m_staticPageFrame = new wxPanel(this, IDC_PAGE_FRAME, r.GetPosition(), r.GetSize(), wxTAB_TRAVERSAL);

    r = DlgRect(this, 5, 185, 263, 1);
    auto* line = new wxStaticLine(this, wxID_ANY, r.GetPosition(), wxSize(r.width, -1));
    line->Hide();

    r = DlgRect(this, 170, 190, 47, 14);
    auto* close = new wxButton(this, IDC_CLOSE_BUTTON, WxFromUtf8("閉じる"), r.GetPosition(), r.GetSize());

    r = DlgRect(this, 63, 190, 96, 135);
    m_comboPriority = new wxChoice(this, IDC_PRIORITY_COMBO, r.GetPosition(), wxSize(r.width, -1));
    m_comboPriority->Append(wxString());
    m_comboPriority->Hide();

    r = DlgRect(this, 5, 190, 57, 11);
    wxStaticText* label = NewTemplateLabel(this, wxID_ANY, WxFromUtf8("優先するデータ :"), r);
    label->Hide();

    r = DlgRect(this, 224, 190, 44, 14);
    m_btnHelp = new wxButton(this, IDC_HELP_BUTTON, WxFromUtf8("ヘルプ"), r.GetPosition(), r.GetSize());

    m_tabData->SetToolTip(WxResText(5130));
    close->SetToolTip(WxResText(5020));
    m_btnHelp->SetToolTip(WxResText(5133));

    // F1 is the framework's help command.
    wxAcceleratorEntry help(wxACCEL_NORMAL, WXK_F1, ID_HELP);
    SetAcceleratorTable(wxAcceleratorTable(1, &help));
}

void CInstallerDlg::OnInitDialog()
{
    SetIcons(m_hIcon);

    // From here the pages use the search engine on this thread.
    TheSourceGenrePrefetch().Finish();

    // Hidden until its tab is chosen: its controls are made once the dialog
    // is on screen.
    m_pageAddress.Create(m_staticPageFrame, true);
    m_pageAddress.Hide();
    m_pageAddress.SetMainDialog(this);

    m_pageGuide.Create(m_staticPageFrame);
    m_pageGuide.Show();
    m_pageGuide.SetMainDialog(this);

    m_tabData->AddPage(NewTabPlaceholder(m_tabData), WxFromUtf8("施設データ"), true);
    m_tabData->AddPage(NewTabPlaceholder(m_tabData), WxFromUtf8("住所データ"), false);
    NameNotebookPages(m_tabData);
    NameUnlabelledControls(this);
    NoToolTipsOnDisabledControls(this);
    // Bound only now: adding the tabs is no change of the user's.
    m_tabData->Bind(wxEVT_NOTEBOOK_PAGE_CHANGED, &CInstallerDlg::OnSelchangeDataTab, this);

    m_nCurrentData = GetCurrentData();
    // Both pages have read their paths: one word for any they could not use.
    ReportUnusableDirectoryValues();
}

wxMenu* CInstallerDlg::CreateSystemMenu() const
{
    auto* menu = new wxMenu;
    for (UINT id : {IDM_HELP, IDM_ABOUTBOX}) {
        const wxString text = WxResText(id);
        if (text.empty())
            continue;
        if (menu->GetMenuItemCount() > 0)
            menu->AppendSeparator();
        menu->Append(static_cast<int>(id), text);
    }
    return menu;
}

void CInstallerDlg::OnSysCommand(UINT nID)
{
    switch (nID) {
    case IDM_ABOUTBOX:
        // A GTK window has no handle the host could use across toolkits.
        ShowHostAboutBox(0, 0);
        break;
    case IDM_HELP:
        OnHelpButton();
        break;
    case SC_CLOSE:
        OnCloseButton();
        break;
    default:
        break;
    }
}

void CInstallerDlg::OnSelchangeDataTab(wxBookCtrlEvent&)
{
    switch (m_tabData->GetSelection()) {
    case 0:
        m_pageAddress.Hide();
        m_pageGuide.Show();
        break;
    case 1:
        m_pageGuide.Hide();
        m_pageAddress.Show();
        break;
    default:
        break;
    }
    // An index past the items clears the selection.
    const unsigned count = m_comboPriority->GetCount();
    m_comboPriority->SetSelection(m_nCurrentData < count ? static_cast<int>(m_nCurrentData) : wxNOT_FOUND);
}

void CInstallerDlg::FinishGuidePage() { m_pageGuide.SaveAndCompact(); }

void CInstallerDlg::FinishAddressPage() { m_pageAddress.SaveDataPaths(); }

void CInstallerDlg::OnCloseButton()
{
    // The finishing routines may show messages; a second close request
    // meanwhile must not run them again.
    if (m_bClosing)
        return;
    m_bClosing = true;
    FinishGuidePage();
    FinishAddressPage();
    SetReturnCode(wxID_OK);
    EndDialog(wxID_OK);
}

void CInstallerDlg::OnHelpButton()
{
    if (CInstallerAppCore* app = AfxGetApp())
        app->WinHelp(0, HELP_CONTEXT);
    else
        LaunchHostHelp();
}

void CInstallerDlg::OnButton(wxCommandEvent& event)
{
    switch (event.GetId()) {
    case IDC_CLOSE_BUTTON:
        OnCloseButton();
        break;
    case IDC_HELP_BUTTON:
        OnHelpButton();
        break;
    default:
        event.Skip();
        break;
    }
}

void CInstallerDlg::OnMenu(wxCommandEvent& event)
{
    switch (event.GetId()) {
    case IDM_ABOUTBOX:
    case IDM_HELP:
        OnSysCommand(static_cast<UINT>(event.GetId()));
        break;
    case ID_HELP:
        OnHelpButton();
        break;
    default:
        event.Skip();
        break;
    }
}

void CInstallerDlg::OnCloseWindow(wxCloseEvent&)
{
    OnSysCommand(SC_CLOSE);
}

void CInstallerDlg::OnCharHook(wxKeyEvent& event)
{
    if (event.GetKeyCode() == WXK_ESCAPE)
        return;
    event.Skip();
}

void CInstallerDlg::OnContextMenu(wxContextMenuEvent&)
{
    wxMenu* menu = CreateSystemMenu();
    PopupMenu(menu);
    delete menu;
}

int RunInstallerDialog()
{
    CInstallerDlg dlg;
    wxTheApp->SetTopWindow(&dlg);
    const int result = dlg.ShowModal();
    wxTheApp->SetTopWindow(nullptr);
    return result;
}
