// The main dialog stays disabled while a page's installation or removal
// runs; every way out enables it again and brings it to the front.
#pragma once

#include <wx/window.h>

class CMainDialogDisabler {
public:
    explicit CMainDialogDisabler(wxWindow* pMainDlg) : m_pMainDlg(pMainDlg)
    {
        if (m_pMainDlg)
            m_pMainDlg->Enable(false);
    }
    ~CMainDialogDisabler()
    {
        if (m_pMainDlg) {
            m_pMainDlg->Enable(true);
            m_pMainDlg->Raise();
        }
    }
    CMainDialogDisabler(const CMainDialogDisabler&) = delete;
    CMainDialogDisabler& operator=(const CMainDialogDisabler&) = delete;

private:
    wxWindow* m_pMainDlg;
};
