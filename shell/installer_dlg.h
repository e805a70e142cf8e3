// The installer's only top-level window: the guide and address pages under
// two tabs, the close and help buttons, tooltips, and the help and about
// items. GTK gives a program no system menu, so those two items are the
// dialog's context menu; OnSysCommand routes them as the system menu would.
#pragma once

#include <wx/dialog.h>
#include <wx/iconbndl.h>

#include "address/address_page.h"
#include "guide/guide_page.h"
#include "platform/win_types.h"

class wxBookCtrlEvent;
class wxButton;
class wxChoice;
class wxCloseEvent;
class wxCommandEvent;
class wxContextMenuEvent;
class wxKeyEvent;
class wxMenu;
class wxNotebook;

// Template 210's controls; the IDs are the windows' IDs.
enum : int {
    IDD_INSTALLER_DIALOG = 210,
    IDC_PAGE_FRAME = 1051,
    IDC_DATA_TAB = 1090,
    IDC_CLOSE_BUTTON = 1120,
    IDC_HELP_BUTTON = 1121,
    IDC_PRIORITY_COMBO = 1140,
};

// System-menu commands; 16 and 17 are also the string IDs of their texts.
enum : UINT {
    IDM_ABOUTBOX = 16,
    IDM_HELP = 17,
    SC_CLOSE = 0xF060,
};

class CInstallerDlg : public wxDialog {
public:
    // Builds template 210 with no parent window and initialises it, pages
    // included; ShowModal runs it.
    CInstallerDlg();
    ~CInstallerDlg() override;

    // The items the system menu would gain: help, then about, each after a
    // separator when the menu already has items. The caller owns it.
    wxMenu* CreateSystemMenu() const;
    void OnSysCommand(UINT nID);

protected:
    void OnInitDialog();
    // The pages' finishing routines, guide first; nothing they do can keep
    // the dialog open.
    virtual void FinishGuidePage();
    virtual void FinishAddressPage();

    void OnSelchangeDataTab(wxBookCtrlEvent& event);
    void OnCloseButton();
    void OnHelpButton();

    DWORD m_nCurrentData = 0;
    wxWindow* m_staticPageFrame = nullptr;
    wxButton* m_btnHelp = nullptr;
    wxChoice* m_comboPriority = nullptr;
    wxNotebook* m_tabData = nullptr;
    CAddressPage m_pageAddress;
    CGuidePage m_pageGuide;
    wxIconBundle m_hIcon;

private:
    void CreateControls();
    void OnButton(wxCommandEvent& event);
    void OnMenu(wxCommandEvent& event);
    void OnCloseWindow(wxCloseEvent& event);
    void OnCharHook(wxKeyEvent& event);
    void OnContextMenu(wxContextMenuEvent& event);

    bool m_bClosing = false;

    wxDECLARE_CLASS(CInstallerDlg);
    wxDECLARE_EVENT_TABLE();
};

// Runs the main dialog modally as the application's main window; its
// result is the dialog's return code.
int RunInstallerDialog();
