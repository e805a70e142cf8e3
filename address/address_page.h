// The address data tab: CD-ROM and hard-disk folders, the standard and
// detailed data on offer, the installed one, and the whole-file installation.
#pragma once

#include <wx/panel.h>

class CAddressPage : public wxPanel {
public:
    CAddressPage();

    // Creates the page from template 149 as a child of parent (the main
    // dialog's page frame) and initialises it.
    bool Create(wxWindow* parent);

    void SetMainDialog(wxWindow* pMainDlg) { m_pMainDlg = pMainDlg; }

    // Records both folders in the registry; run at close.
    void SaveDataPaths();

protected:
    wxWindow* m_pMainDlg = nullptr;
};
