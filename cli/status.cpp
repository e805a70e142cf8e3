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

int Command::Status()
{
    const Paths& p = m_paths;
    m_json.Str("cd", ToUtf8(StripFileName(p.guideSource, p.guideFile)))
        .Str("hd", ToUtf8(StripFileName(p.guideDest, p.guideFile)));

    const bool hdGuide = FileExists(p.guideDest) && m_db.IsProductData(p.guideDest, kGuideData);
    const bool cdGuide = FileExists(p.guideSource) && m_db.IsProductData(p.guideSource, kGuideData);
    const std::vector<GenreRecord> installed = hdGuide ? ReadGenres(m_db, p.guideDest) : std::vector<GenreRecord>();
    std::vector<std::string> installedNames;
    for (const GenreRecord& g : installed)
        installedNames.push_back(g.Name);
    const std::vector<std::string> notInstalled =
        cdGuide ? InCp932(ReadNotInstalledGenreNames(m_db, p.guideSource, installed)) : std::vector<std::string>();
    const std::string hdGuideVersion = hdGuide ? DataVersion(m_db, p.guideDest) : "";
    const std::string cdGuideVersion = cdGuide ? DataVersion(m_db, p.guideSource) : "";

    m_json.Open("guide")
        .Str("cd_file", ToUtf8(p.guideSource))
        .Str("hd_file", ToUtf8(p.guideDest))
        .Str("cd_data_version", ToUtf8(cdGuideVersion))
        .Str("hd_data_version", ToUtf8(hdGuideVersion))
        .Bool("cd_newer", hdGuide && cdGuide && CompareVersions(cdGuideVersion, hdGuideVersion) > 0);
    GenreList("installed", installedNames, p.guideDest);
    GenreList("not_installed", notInstalled, p.guideSource);
    m_json.Close();
    m_text += "CD-ROM guide data:      " + ToUtf8(p.guideSource) +
        (cdGuide ? "  DataVersion " + ToUtf8(cdGuideVersion) : "  (not there)") + "\n";
    m_text += "installed guide data:   " + ToUtf8(p.guideDest) +
        (hdGuide ? "  DataVersion " + ToUtf8(hdGuideVersion) : "  (not there)") + "\n";
    if (hdGuide && cdGuide && CompareVersions(cdGuideVersion, hdGuideVersion) > 0)
        m_text += "                        the CD-ROM's guide data is newer\n";
    auto listText = [this](const char* title, const std::vector<std::string>& names, const std::string& path) {
        m_text += title;
        for (const std::string& name : names) {
            std::string l1, l2;
            long size = 0;
            if (LookupGenreByName(m_db, path, name, l1, l2))
                size = std::max(0L, m_db.EstimateGenreSize(path, l1, l2));
            m_text += "  " + ToUtf8(name) + "  " + ToUtf8(SizeLabelText(size)) + "\n";
        }
        if (names.empty())
            m_text += "  -\n";
    };
    listText("installed genres:\n", installedNames, p.guideDest);
    listText("not installed genres:\n", notInstalled, p.guideSource);

    const int level = GetAddressDataLevel(p.addressDestDir, kAddressData, p.addressFile);
    const std::string hdAddressVersion = level ? DataVersion(m_db, p.AddressDest()) : "";
    m_json.Open("address").Str("hd_file", ToUtf8(p.AddressDest())).Num("installed_level", level);
    m_json.OpenArray("cd_levels");
    std::string cdAddressVersion;
    for (const std::string& file : {p.standardFile, p.detailedFile}) {
        const int cdLevel = GetAddressDataLevel(p.addressSourceDir, kAddressData, file);
        if (!cdLevel)
            continue;
        m_json.Num(nullptr, cdLevel);
        if (cdLevel == level || cdAddressVersion.empty())
            cdAddressVersion = DataVersion(m_db, AddBackslash(p.addressSourceDir) + file);
    }
    m_json.CloseArray()
        .Str("cd_data_version", ToUtf8(cdAddressVersion))
        .Str("hd_data_version", ToUtf8(hdAddressVersion))
        .Bool("cd_newer", level && !cdAddressVersion.empty() && CompareVersions(cdAddressVersion, hdAddressVersion) > 0)
        .Close();
    const std::uint64_t freeBytes = GetFreeDiskSpace(p.guideDest);
    m_json.Num("free_bytes", static_cast<long long>(freeBytes));
    std::string cdLevels;
    for (const std::string& file : {p.standardFile, p.detailedFile})
        if (const int cdLevel = GetAddressDataLevel(p.addressSourceDir, kAddressData, file))
            cdLevels += " " + std::to_string(cdLevel);
    m_text += "installed address data: " + ToUtf8(p.AddressDest()) +
        (level ? "  level " + std::to_string(level) + "  DataVersion " + ToUtf8(hdAddressVersion) : "  (not there)") +
        "\n";
    m_text += "CD-ROM address data:    " + ToUtf8(p.addressSourceDir) +
        (cdLevels.empty() ? "  (not there)" : "  levels" + cdLevels + "  DataVersion " + ToUtf8(cdAddressVersion)) +
        "\n";
    m_text += "free space:             " + std::to_string(freeBytes) + " bytes\n";
    return 0;
}

} // namespace cli
