#include "cli/command.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

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

int Command::Update()
{
    const Paths& p = m_paths;
    int status = 0;

    // Guide data: every installed genre, then the version.
    m_json.Open("guide");
    if (FileExists(p.guideDest)) {
        if (!CheckGuideDest() || !CheckGuideSource()) {
            m_json.Close();
            return 1;
        }
        const std::string hdVersion = DataVersion(m_db, p.guideDest);
        const std::string cdVersion = DataVersion(m_db, p.guideSource);
        m_json.Str("from", ToUtf8(hdVersion)).Str("to", ToUtf8(cdVersion));
        if (CompareVersions(cdVersion, hdVersion) <= 0) {
            Note(IDS_UP_TO_DATE, GuideWord());
        } else {
            const std::vector<GenreRecord> installed = ReadGenres(m_db, p.guideDest);
            const std::vector<GenreRecord> onCd = ReadGenres(m_db, p.guideSource);
            std::uint64_t needed = 0;
            for (const GenreRecord& g : installed)
                if (const GenreRecord* c = MatchOnCd(onCd, g))
                    needed +=
                        static_cast<std::uint64_t>(std::max(0L, m_db.EstimateGenreSize(p.guideSource, c->L1, c->L2)));
            if (!HasRoom(p.guideDest, needed)) {
                m_json.Close();
                return 1;
            }
            m_json.OpenArray("genres");
            for (const GenreRecord& g : installed) {
                const GenreRecord* c = MatchOnCd(onCd, g);
                if (!c) {
                    Note(IDS_NOT_ON_CD, g.Name);
                    continue;
                }
                if (Interrupted()) {
                    ShowMessage(IDS_CANCELLED, g.Name);
                    status = 1;
                    break;
                }
                m_progress.Begin(FormatResString(IDS_UPDATING_GENRE, g.Name), "rows");
                const int result =
                    ReplaceGenreRows(m_db, &m_progress, p.guideSource, p.guideDest, g.L1, g.L2, c->L1, c->L2);
                m_progress.End();
                if (result != 1) {
                    ShowMessage(result == 0 ? IDS_CANCELLED : IDS_INSTALL_FAILED, g.Name);
                    status = 1;
                    break;
                }
                m_changed = true;
                m_json.Str(nullptr, ToUtf8(g.Name));
            }
            m_json.CloseArray();
            // The version says the whole file is the CD's: only now.
            if (status == 0) {
                if (m_db.ExecuteSQL(p.guideDest, "UPDATE Property SET DataVersion='" + SqlValue(cdVersion) + "'")) {
                    m_changed = true;
                    Note(IDS_UPDATED, GuideWord());
                } else {
                    ShowMessage(IDS_INSTALL_FAILED);
                    status = 1;
                }
            }
            SaveGuidePaths();
        }
    }
    m_json.Close();
    if (status != 0)
        return status;

    // Address data of the installed level.
    m_json.Open("address");
    const int level = GetAddressDataLevel(p.addressDestDir, kAddressData, p.addressFile);
    if (level) {
        const std::string cdFile = CdAddressFileOfLevel(level);
        if (cdFile.empty()) {
            ShowMessage(IDS_FILE_NOT_FOUND,
                        AddBackslash(p.addressSourceDir) + (level == 3 ? p.standardFile : p.detailedFile));
            m_json.Close();
            return 1;
        }
        const std::string hdVersion = DataVersion(m_db, p.AddressDest());
        const std::string cdVersion = DataVersion(m_db, AddBackslash(p.addressSourceDir) + cdFile);
        m_json.Num("level", level).Str("from", ToUtf8(hdVersion)).Str("to", ToUtf8(cdVersion));
        if (CompareVersions(cdVersion, hdVersion) <= 0) {
            Note(IDS_UP_TO_DATE, AddressWord());
        } else {
            status = CopyAddressFile(cdFile);
            if (status == 0) {
                Note(IDS_UPDATED, AddressWord());
                SaveAddressPaths();
            }
        }
    }
    m_json.Close();
    return status;
}

int Command::Compact()
{
    const Paths& p = m_paths;
    if (!FileExists(p.guideDest))
        return 0;
    if (!CheckGuideDest())
        return 1;
    if (!CompactInPlace(m_db, p.guideDest, p.guideFile)) {
        ShowMessage(IDS_OPTIMISE_FAILED, GuideWord());
        return 1;
    }
    m_changed = true;
    Note(IDS_OPTIMISED, GuideWord());
    return 0;
}

} // namespace cli
