// The guide page's ">>" and "<<": installing and removing the selected
// genres, and the optimisation at close.
#include "guide/guide_page.h"

#include <wx/button.h>

#include "address/path_functions.h"
#include "guide/genre_list_ctrl.h"
#include "guide/genre_rows.h"
#include "platform/cp932.h"
#include "platform/message_box.h"
#include "platform/wait_cursor.h"
#include "res/string_ids.h"
#include "res/strings.h"
#include "services/compact.h"
#include "services/free_space.h"
#include "services/progress_dlg.h"
#include "shell/main_dialog_disabler.h"
#include "shell/show_formatted_message.h"

namespace {

// Messages.
const UINT IDS_REMOVING = 2034;

const char* const kModeCopy = "COPY";
const char* const kModeRemove = "REMOVE";

// A list item's name in CP932, the form the page works with. A name that
// has none is refused with a message naming it, as the list shows it.
bool UsableGenreName(const std::string& nameUtf8, std::string& nameCp932)
{
    if (Utf8ToCp932(nameUtf8, nameCp932))
        return true;
    std::string text = LoadResStringUtf8(IDS_NAME_NOT_USABLE);
    const std::string::size_type at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, nameUtf8);
    MessageBoxUtf8(text, MB_OK);
    return false;
}

} // namespace

// ---------------------------------------------------------------------------
// Installing

void CGuidePage::OnInstall()
{
    CWaitCursor wait;
    CMainDialogDisabler disabler(m_pMainDlg);

    const int first = m_strSourcePath == m_strDestPath ? -1 : m_listNotInstalled->GetNextSelectedItem(-1);
    if (first >= 0) {
        ShowProgress(kModeCopy, IDS_INSTALLING);
        if (!HasRoomForSelection() && AfxMessageBox(LoadResString(IDS_LOW_SPACE), MB_YESNO) != IDYES) {
            HideProgress();
        } else {
            InstallSelectedGenres(first + 1);
            RemoveEmptyDatabase();
            HideProgress();
            RefreshGenreLists(m_strSourcePath, m_strDestPath);
            m_btnInstall->Disable();
            UpdateNotInstalledSize();
            UpdateInstalledSize();
        }
    }
}

void CGuidePage::ShowProgress(const std::string& mode, UINT nTitleID)
{
    CProgressDlg* dlg = ProgressDlg();
    dlg->SetCaption(LoadResString(nTitleID));
    dlg->CentreOnScreen();
    dlg->Show();
    if (mode == kModeCopy)
        dlg->StartCopyAnimation();
    else if (mode == kModeRemove)
        dlg->StartRemoveAnimation();
    Disable();
}

void CGuidePage::HideProgress()
{
    Enable();
    CProgressDlg* dlg = ProgressDlg();
    dlg->StopAnimation();
    dlg->Hide();
}

BOOL CGuidePage::HasRoomForSelection()
{
    CWaitCursor wait;
    // The genres about to be installed are those selected in 1030, whatever
    // list's size was shown last.
    UpdateNotInstalledSize();
    const unsigned long long needed = m_nSelectedSize > 0 ? static_cast<unsigned long long>(m_nSelectedSize) : 0;
    return GetFreeDiskSpace(m_strDestPath) > needed;
}

BOOL CGuidePage::InstallSelectedGenres(int n)
{
    while (n != 0) {
        const int current = n - 1;
        n = m_listNotInstalled->GetNextSelectedItem(current) + 1;
        std::string name;
        if (!UsableGenreName(m_listNotInstalled->GetItemText(current), name))
            return FALSE;

        if (!FileExists(m_strSourcePath)) {
            ShowFormattedMessage(IDS_FILE_NOT_FOUND, m_strSourcePath.c_str());
            return FALSE;
        }
        if (!FileExists(m_strDestPath) && !CreateSearchFile(m_db, m_strSourcePath, m_strDestPath))
            return FALSE;
        if (!m_db.IsProductData(m_strDestPath, kGuideData)) {
            AfxMessageBox(IDS_NOT_GUIDE_DATA, MB_OK);
            return FALSE;
        }
        if (!m_db.IsCategoryNameAbsent(m_strDestPath, name)) {
            ShowFormattedMessage(IDS_ALREADY_INSTALLED, name.c_str());
            return FALSE;
        }
        std::string l1, l2;
        if (!LookupGenreByName(m_strSourcePath, name, l1, l2))
            return FALSE;

        ProgressDlg()->SetText(FormatResString(IDS_INSTALLING_GENRE, name));
        const int result = InstallGenre(ProgressSink(), m_strSourcePath, m_strDestPath, l1, l2);
        if (result == 1) {
            m_bGuideChanged = TRUE;
        } else if (result != 0) {
            AfxMessageBox(IDS_INSTALL_FAILED, MB_OK);
            return FALSE;
        }
    }
    return TRUE;
}

int CGuidePage::InstallGenre(CProgressSink* pProgress, const std::string& source, const std::string& dest,
                             const std::string& l1, const std::string& l2)
{
    return InstallGenreRows(m_db, pProgress, source, dest, l1, l2);
}

void CGuidePage::RemoveEmptyDatabase()
{
    RemoveDatabaseIfEmpty(m_db, m_strDestPath);
}

// ---------------------------------------------------------------------------
// Removing

void CGuidePage::OnRemove()
{
    CWaitCursor wait;
    CMainDialogDisabler disabler(m_pMainDlg);

    const int first = m_listInstalled->GetNextSelectedItem(-1);
    if (first >= 0 && !FileExists(m_strDestPath)) {
        ShowFormattedMessage(IDS_FILE_NOT_FOUND, m_strDestPath.c_str());
        RefreshGenreLists(m_strSourcePath, m_strDestPath);
        UpdateInstalledSize();
        UpdateNotInstalledSize();
    } else if (first >= 0) {
        ShowProgress(kModeRemove, IDS_REMOVING);
        // Every genre is to go: the file goes as a whole.
        const bool bRemoveAll = m_listInstalled->GetItemCount() == m_listInstalled->GetSelectedCount();
        if (!bRemoveAll || !RemoveDatabaseFile(m_strDestPath)) {
            RemoveSelectedGenres(first + 1);
            RemoveEmptyDatabase();
        }
        HideProgress();
        RefreshGenreLists(m_strSourcePath, m_strDestPath);
        UpdateInstalledSize();
        UpdateNotInstalledSize();
        m_btnRemove->Disable();
    }
}

BOOL CGuidePage::RemoveSelectedGenres(int n)
{
    while (n != 0) {
        const int current = n - 1;
        n = m_listInstalled->GetNextSelectedItem(current) + 1;
        std::string name;
        if (!UsableGenreName(m_listInstalled->GetItemText(current), name))
            return FALSE;

        ProgressDlg()->SetText(FormatResString(IDS_REMOVING_GENRE, name));
        if (!FileExists(m_strDestPath)) {
            ShowFormattedMessage(IDS_FILE_NOT_FOUND, m_strDestPath.c_str());
            return FALSE;
        }
        std::string l1, l2;
        if (!LookupGenreByName(m_strDestPath, name, l1, l2))
            return FALSE;
        const BOOL bDeleted = DeleteGenreRows(m_strDestPath, l1, l2);
        if (bDeleted)
            m_bGuideChanged = TRUE;
        DeleteGroupRowIfLast(m_db, m_strDestPath, l1);
        if (!bDeleted)
            return FALSE;
    }
    return TRUE;
}

BOOL CGuidePage::DeleteGenreRows(const std::string& path, const std::string& l1, const std::string& l2)
{
    if (!DeleteGenreRowsInOneTransaction(m_db, path, l1, l2)) {
        AfxMessageBox(IDS_REMOVE_FAILED, MB_OK);
        return FALSE;
    }
    return TRUE;
}

// ---------------------------------------------------------------------------
// Closing

void CGuidePage::SaveAndCompact()
{
    SaveAndCompactGuide(m_db, m_strDestPath, m_strSourcePath, m_strGuideFile, m_bGuideChanged);
}
