// The address data tab: CD-ROM and hard-disk folders, the standard and
// detailed data on offer, the installed one, and the whole-file installation.
#pragma once

#include <cstdint>
#include <string>

#include <wx/panel.h>

#include "platform/win_types.h"

class wxButton;
class wxCommandEvent;
class wxIdleEvent;
class wxKeyEvent;
class wxRadioButton;
class wxStaticText;
class wxTextCtrl;

class CAddressPage : public wxPanel {
public:
    // Control IDs of template 149.
    enum {
        IDD = 149,
        IDC_SOURCE_DIR = 1010,
        IDC_DEST_DIR = 1020,
        IDC_BROWSE_SOURCE = 1040,
        IDC_APPLY = 1048,
        IDC_STANDARD = 1049,
        IDC_BROWSE_DEST = 1050,
        IDC_DETAILED = 1051,
        IDC_STANDARD_NOTE = 1058,
        IDC_DETAILED_NOTE = 1059,
    };

    CAddressPage();

    // Creates the page from template 149 as a child of parent (the main
    // dialog's page frame) and initialises it. With bControlsLater the page,
    // hidden at start, reads its settings and data now (with any message
    // that brings) but makes its controls once the main dialog is on screen,
    // or when it is shown, whichever comes first.
    bool Create(wxWindow* parent, bool bControlsLater = false);
    bool Show(bool show = true) override;

    void SetMainDialog(wxWindow* pMainDlg) { m_pMainDlg = pMainDlg; }

    // Records both folders in the registry; run at close.
    void SaveDataPaths();

    // Control updates, from the levels of the databases in both folders.
    void UpdateSourceChoices();
    void UpdateInstalledCheck();
    void UpdateApplyButton();

    // The installation (apply button).
    void OnApply();
    // Whether the destination volume has more free bytes than size.
    BOOL HasRoomFor(std::uint64_t size);
    // Copies source into destFolder as targetName, replacing that file in one
    // step, with the copy's progress window titled title.
    BOOL CopyFileToFolder(const std::string& source, const std::string& destFolder, const std::string& targetName,
                          const std::string& title);

protected:
    BOOL OnInitDialog();
    // Members to controls (the two folders); the other direction never
    // happens, the edits being read-only.
    void UpdateData(BOOL bSaveAndValidate);

    void OnBrowseSource(wxCommandEvent& event);
    void OnBrowseDest(wxCommandEvent& event);
    void OnApplyClicked(wxCommandEvent& event);
    void OnSelectData(wxCommandEvent& event);
    void OnCharHook(wxKeyEvent& event);

    void CreateControls();
    void EnsureControls();
    void OnFirstIdle(wxIdleEvent& event);
    // The sizes and the choices below to the controls, once they exist.
    void ShowSizes();
    void ShowChoices();

    // One folder button: the source (1040) or the destination (1050).
    void BrowseFolder(bool bSource);
    void SetRadioChecks(bool bDetailed, bool bStandard);
    int InstalledLevel();

    wxStaticText* m_staticDetailedNote = nullptr;
    wxStaticText* m_staticStandardNote = nullptr;
    wxButton* m_btnApply = nullptr;
    wxButton* m_btnBrowseDest = nullptr;
    wxButton* m_btnBrowseSource = nullptr;
    std::string m_strSourceDir;
    std::string m_strDestDir;
    // Whether the user chose each folder in this run.
    bool m_bSourceChosen = false;
    bool m_bDestChosen = false;
    wxWindow* m_pMainDlg = nullptr;
    std::string m_strDetailedFile;
    std::string m_strStandardFile;
    std::string m_strInstalledFile;
    wxRadioButton* m_pDetailedRadio = nullptr;
    wxRadioButton* m_pStandardRadio = nullptr;
    // GTK keeps one radio button of a group checked; checking this hidden one
    // is how neither of the two shows checked.
    wxRadioButton* m_pNoneRadio = nullptr;
    std::int32_t m_nDetailedSizeMB = 0;
    std::int32_t m_nStandardSizeMB = 0;
    // Which data the CD-ROM offers (radio button and note enabled), which is
    // checked (4 detailed, 3 standard, 0 neither) and whether the apply
    // button is enabled: the page's own state, also while the main dialog is
    // disabled around an installation.
    bool m_bDetailedOffered = false;
    bool m_bStandardOffered = false;
    int m_nChecked = 0;
    bool m_bApplyEnabled = false;
    wxTextCtrl* m_editSource = nullptr;
    wxTextCtrl* m_editDest = nullptr;
};
