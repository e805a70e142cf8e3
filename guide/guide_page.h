// The guide data tab: genres on the CD-ROM not installed, genres installed,
// their sizes, and the install and remove buttons.
#pragma once

#include <wx/panel.h>

class CGuidePage : public wxPanel {
public:
    CGuidePage();

    // Creates the page from template 151 as a child of parent (the main
    // dialog's page frame) and initialises it.
    bool Create(wxWindow* parent);

    void SetMainDialog(wxWindow* pMainDlg) { m_pMainDlg = pMainDlg; }

    // Records the guide paths and offers the optimisation; run at close.
    void SaveAndCompact();

protected:
    wxWindow* m_pMainDlg = nullptr;
};
