// The guide data tab: genres on the CD-ROM not installed, genres installed,
// their sizes, and the install and remove buttons.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include <wx/panel.h>
#include <wx/weakref.h>

#include "guide/genre_lists.h"
#include "platform/win_types.h"
#include "searchdb/search_db.h"
#include "services/progress_dlg.h"

class wxButton;
class wxIdleEvent;
class wxKeyEvent;
class wxStaticText;
class wxTextCtrl;
class wxDataViewEvent;
class CGenreListCtrl;

class CProgressSink;

class CGuidePage : public wxPanel {
public:
    // Control IDs of template 151 (the tests find the controls by them).
    enum {
        IDC_SOURCE_PATH = 1010,
        IDC_DEST_PATH = 1020,
        IDC_NOT_INSTALLED_LIST = 1030,
        IDC_BROWSE_SOURCE = 1040,
        IDC_NOT_INSTALLED_CAPTION = 1043,
        IDC_INSTALLED_CAPTION = 1044,
        IDC_BROWSE_DEST = 1050,
        IDC_INSTALLED_LIST = 1060,
        IDC_INSTALL = 1070,
        IDC_REMOVE = 1080,
        IDC_NOT_INSTALLED_SIZE = 1100,
        IDC_INSTALLED_SIZE = 1110,
    };

    CGuidePage();
    ~CGuidePage() override;

    // Creates the page from template 151 as a child of parent (the main
    // dialog's page frame) and initialises it.
    bool Create(wxWindow* parent);

    void SetMainDialog(wxWindow* pMainDlg) { m_pMainDlg = pMainDlg; }

    // Records the guide paths and offers the optimisation; run at close.
    void SaveAndCompact();

    // Where the genre copies report their rows: the progress dialog unless
    // another sink is put in front of it (tests cancel through one).
    void SetProgressSink(CProgressSink* pSink) { m_pProgressSink = pSink; }

protected:
    BOOL OnInitDialog();
    // Only the direction members -> controls is used.
    void UpdateData(BOOL bSaveAndValidate);
    void OnCharHook(wxKeyEvent& event);

    // Browsing.
    void OnBrowseSource();
    void OnBrowseDest();
    void BrowseForDatabase(std::string& path, const std::string& otherPath, UINT nTitleID);
    std::string MakeDatabasePath(const std::string& folder) const;
    std::string GetBrowseStartFolder(const std::string& path) const;

    // The lists.
    void RefreshGenreLists(const std::string& source, const std::string& dest);
    void FillInstalledList(const std::string& dest, const std::string& kind);
    void FillNotInstalledList(const std::string& source, const std::string& kind, const std::string& dest);
    BOOL LookupGenreByName(const std::string& path, const std::string& name, std::string& l1, std::string& l2);
    long ComputeSelectedSize(CGenreListCtrl* pList, const std::string& path, wxButton* pButton);
    void UpdateNotInstalledSize();
    void UpdateInstalledSize();
    void UpdateSize(CGenreListCtrl* pList, const std::string& path, wxButton* pButton, std::string& label);
    void OnItemChangedNotInstalled(wxDataViewEvent& event);
    void OnItemChangedInstalled(wxDataViewEvent& event);

    // Installing and removing genres.
    void OnInstall();
    void OnRemove();
    void ShowProgress(const std::string& mode, UINT nTitleID);
    void HideProgress();
    void OnFirstIdle(wxIdleEvent& event);
    // The progress dialog, made at the first idle time or when first needed.
    CProgressDlg* ProgressDlg();
    // Where the work reports: the progress dialog unless a sink was set.
    CProgressSink* ProgressSink();
    BOOL HasRoomForSelection();
    BOOL InstallSelectedGenres(int n);
    int InstallGenre(CProgressSink* pProgress, const std::string& source, const std::string& dest,
                     const std::string& l1, const std::string& l2);
    void RemoveEmptyDatabase();
    BOOL RemoveSelectedGenres(int n);
    BOOL DeleteGenreRows(const std::string& path, const std::string& l1, const std::string& l2);

    long m_nSelectedSize = 0;
    CSearchDb m_db;
    BOOL m_bGuideChanged = FALSE;
    std::vector<GenreRecord> m_installedGenres;
    CProgressDlg* m_progressDlg = nullptr;
    CProgressSink* m_pProgressSink = nullptr;
    wxButton* m_btnBrowseSource = nullptr;
    wxButton* m_btnInstall = nullptr;
    wxButton* m_btnRemove = nullptr;
    CGenreListCtrl* m_listInstalled = nullptr;
    CGenreListCtrl* m_listNotInstalled = nullptr;
    wxButton* m_btnBrowseDest = nullptr;
    std::string m_strInstalledSize;
    std::string m_strInstalledCaption;
    std::string m_strSourcePath;
    std::string m_strDestPath;
    std::string m_strNotInstalledCaption;
    std::string m_strNotInstalledSize;
    wxWindow* m_pMainDlg = nullptr;
    std::string m_strGuideFile;
    std::unordered_map<std::string, long> m_sizeCache;

    wxWeakRef<CProgressDlg> m_progressDlgAlive;

    // The controls whose texts UpdateData sets.
    wxTextCtrl* m_editSource = nullptr;
    wxTextCtrl* m_editDest = nullptr;
    wxStaticText* m_staticNotInstalledCaption = nullptr;
    wxStaticText* m_staticInstalledCaption = nullptr;
    wxStaticText* m_staticNotInstalledSize = nullptr;
    wxStaticText* m_staticInstalledSize = nullptr;
};
