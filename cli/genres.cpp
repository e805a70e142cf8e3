#include "cli/command.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>

#include "address/address_data.h"
#include "platform/file_copy.h"
#include "address/path_functions.h"
#include "cli/console.h"
#include "guide/genre_lists.h"
#include "guide/genre_rows.h"
#include "platform/cp932.h"
#include "res/strings.h"
#include "searchdb/search_db.h"
#include "services/compact.h"
#include "services/free_space.h"
#include "settings/directory_settings.h"

namespace cli {

namespace {

// Says for each name (UTF-8) with no CP932 form that its genre cannot be
// installed or removed here, as the window does; true when there is none.
bool ReportUnusableNames(const std::vector<std::string>& namesUtf8)
{
    bool none = true;
    for (const std::string& name : namesUtf8) {
        std::string cp932;
        if (!Utf8ToCp932(name, cp932)) {
            ShowMessageUtf8(IDS_NAME_NOT_USABLE, name);
            none = false;
        }
    }
    return none;
}

bool ReportUnusableNames(const std::vector<GenreRecord>& genresUtf8)
{
    std::vector<std::string> names;
    for (const GenreRecord& g : genresUtf8)
        names.push_back(g.Name);
    return ReportUnusableNames(names);
}

} // namespace

int Command::InstallGenres()
{
    const Paths& p = m_paths;
    std::vector<std::string> names;
    if (!NamesInCp932(m_o, names) || !CheckGuideSource() || !CheckGuideDest())
        return 1;
    const std::vector<GenreRecord> installed = ReadGenres(m_db, p.guideDest);
    const std::vector<GenreRecord> onCd = InCp932(ReadInstalledGenres(m_db, p.guideSource, kGuideData));
    const std::vector<std::string> notInstalledUtf8 = ReadNotInstalledGenreNames(m_db, p.guideSource, installed);
    const std::vector<std::string> notInstalled = InCp932(notInstalledUtf8);
    // Genres whose names have no CP932 form cannot be named here: --all
    // leaves them, and says so.
    const bool allUsable = !m_o.all || ReportUnusableNames(notInstalledUtf8);

    std::vector<std::string> wanted;
    if (m_o.all)
        wanted = notInstalled;
    for (const std::string& name : names) {
        if (!FindByName(onCd, name)) {
            ShowMessage(IDS_NOT_A_GENRE, name);
            return 1;
        }
        if (Contains(notInstalled, name))
            wanted.push_back(name);
        else
            Note(IDS_ALREADY_INSTALLED, name);
    }

    // Each genre's rows are counted once, for the room check and the bar.
    std::uint64_t needed = 0;
    std::map<std::string, long> rowsOf;
    for (const std::string& name : wanted) {
        const GenreRecord* g = FindByName(onCd, name);
        long categories = 0, points = 0;
        CountGenreRows(m_db, p.guideSource, g->L1, g->L2, categories, points);
        needed += static_cast<std::uint64_t>(std::max(0L, CSearchDb::GenreSize(categories, points)));
        if (categories >= 0 && points >= 0)
            rowsOf[name] = categories + points;
    }
    if (!wanted.empty() && !HasRoom(p.guideDest, needed))
        return 1;

    int status = allUsable ? 0 : 1;
    m_json.OpenArray("installed");
    for (const std::string& name : wanted) {
        if (Interrupted()) {
            ShowMessage(IDS_CANCELLED, name);
            status = 1;
            break;
        }
        if (!FileExists(p.guideDest) && !CreateSearchFile(m_db, p.guideSource, p.guideDest)) {
            status = 1;
            break;
        }
        if (!m_db.IsProductData(p.guideDest, kGuideData)) {
            ShowMessage(IDS_NOT_GUIDE_DATA);
            status = 1;
            break;
        }
        if (!m_db.IsCategoryNameAbsent(p.guideDest, name)) {
            Note(IDS_ALREADY_INSTALLED, name);
            continue;
        }
        std::string l1, l2;
        if (!LookupGenreByName(m_db, p.guideSource, name, l1, l2)) {
            ShowMessage(IDS_INSTALL_FAILED);
            status = 1;
            break;
        }
        m_progress.Begin(FormatResString(IDS_INSTALLING_GENRE, name), "rows");
        const auto counted = rowsOf.find(name);
        const int result = counted != rowsOf.end()
            ? InstallGenreRows(m_db, &m_progress, p.guideSource, p.guideDest, l1, l2, counted->second)
            : InstallGenreRows(m_db, &m_progress, p.guideSource, p.guideDest, l1, l2);
        m_progress.End();
        if (result == 1) {
            m_changed = true;
            m_json.Str(nullptr, ToUtf8(name));
            Note(IDS_INSTALLED, name);
        } else {
            ShowMessage(result == 0 ? IDS_CANCELLED : IDS_INSTALL_FAILED, name);
            status = 1;
            break;
        }
    }
    m_json.CloseArray();
    if (FileExists(p.guideDest))
        RemoveDatabaseIfEmpty(m_db, p.guideDest);
    SaveGuidePaths();
    return status;
}

int Command::RemoveGenres()
{
    const Paths& p = m_paths;
    std::vector<std::string> names;
    if (!NamesInCp932(m_o, names) || !CheckGuideDest())
        return 1;
    const std::vector<GenreRecord> installed = ReadGenres(m_db, p.guideDest);
    const std::vector<GenreRecord> onCd = FileExists(p.guideSource) && m_db.IsProductData(p.guideSource, kGuideData)
        ? InCp932(ReadInstalledGenres(m_db, p.guideSource, kGuideData))
        : std::vector<GenreRecord>();
    std::vector<std::string> wanted;
    if (m_o.all)
        for (const GenreRecord& g : installed)
            wanted.push_back(g.Name);
    for (const std::string& name : names) {
        if (FindByName(installed, name)) {
            if (!Contains(wanted, name))
                wanted.push_back(name);
        } else if (FindByName(onCd, name)) {
            Note(IDS_NOT_INSTALLED, name);
        } else {
            ShowMessage(IDS_NOT_A_GENRE, name);
            return 1;
        }
    }

    int status = 0;
    m_json.OpenArray("removed");
    // Genres whose names have no CP932 form cannot be named here: --all
    // leaves them, and says so.
    const std::vector<GenreRecord> everyGenre = ReadInstalledGenres(m_db, p.guideDest, kGuideData);
    if (m_o.all && !ReportUnusableNames(everyGenre))
        status = 1;
    // Every genre is to go: the file goes as a whole, as the page does it.
    if (!wanted.empty() && wanted.size() == everyGenre.size() && RemoveDatabaseFile(p.guideDest)) {
        for (const std::string& name : wanted) {
            m_json.Str(nullptr, ToUtf8(name));
            Note(IDS_REMOVED, name);
        }
        m_changed = true;
        wanted.clear();
    }
    for (const std::string& name : wanted) {
        if (Interrupted()) {
            ShowMessage(IDS_CANCELLED, name);
            status = 1;
            break;
        }
        std::string l1, l2;
        if (!LookupGenreByName(m_db, p.guideDest, name, l1, l2)) {
            ShowMessage(IDS_REMOVE_FAILED);
            status = 1;
            break;
        }
        m_progress.Begin(FormatResString(IDS_REMOVING_GENRE, name), "rows");
        const BOOL deleted = DeleteGenreRowsInOneTransaction(m_db, p.guideDest, l1, l2);
        m_progress.End();
        DeleteGroupRowIfLast(m_db, p.guideDest, l1);
        if (!deleted) {
            ShowMessage(IDS_REMOVE_FAILED);
            status = 1;
            break;
        }
        m_changed = true;
        m_json.Str(nullptr, ToUtf8(name));
        Note(IDS_REMOVED, name);
    }
    m_json.CloseArray();
    if (FileExists(p.guideDest))
        RemoveDatabaseIfEmpty(m_db, p.guideDest);
    SaveGuidePaths();
    return status;
}

} // namespace cli
