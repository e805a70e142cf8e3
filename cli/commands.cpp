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
#include "searchdb/search_handles.h"
#include "services/compact.h"
#include "services/free_space.h"
#include "settings/directory_settings.h"

namespace cli {

std::string GuideWord()
{
    return FromUtf8("施設");
}

std::string AddressWord()
{
    return FromUtf8("住所");
}

Paths ResolvePaths(const CliOptions& o)
{
    Paths p;
    p.guideFile = GetGuideFile();
    p.addressFile = GetAddressFile();
    p.standardFile = GetAddressStandardFile();
    p.detailedFile = GetAddressDetailedFile();
    if (!o.cd.empty()) {
        p.guideSource = AddBackslash(o.cd) + p.guideFile;
        p.addressSourceDir = AddBackslash(o.cd);
    } else {
        p.guideSource = GetGuideCdPath();
        p.addressSourceDir = FolderOfPath(GetAddressCdPath());
    }
    if (!o.hd.empty()) {
        p.guideDest = AddBackslash(o.hd) + p.guideFile;
        p.addressDestDir = AddBackslash(o.hd);
    } else {
        p.guideDest = GetGuideHdPath(p.guideFile.c_str());
        p.addressDestDir = FolderOfPath(GetAddressHdPath(p.addressFile.c_str()));
    }
    return p;
}

std::string DataVersion(CSearchDb& db, const std::string& path)
{
    std::string version;
    if (!db.GetFirstFieldText(version, path, LoadResString(IDS_SQL_PROPERTY), "DataVersion"))
        version.clear();
    return version;
}

// Dotted versions compare part by part as numbers ("2024.10" > "2024.9");
// parts that are not numbers compare as text.
int CompareVersions(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        const size_t ei = std::min(a.find('.', i), a.size());
        const size_t ej = std::min(b.find('.', j), b.size());
        const std::string pa = i < a.size() ? a.substr(i, ei - i) : "0";
        const std::string pb = j < b.size() ? b.substr(j, ej - j) : "0";
        char* enda = nullptr;
        char* endb = nullptr;
        const unsigned long long na = std::strtoull(pa.c_str(), &enda, 10);
        const unsigned long long nb = std::strtoull(pb.c_str(), &endb, 10);
        if (!pa.empty() && !pb.empty() && *enda == '\0' && *endb == '\0') {
            if (na != nb)
                return na < nb ? -1 : 1;
        } else if (pa != pb) {
            return pa < pb ? -1 : 1;
        }
        i = ei + 1;
        j = ej + 1;
    }
    return 0;
}

// The genres of a guide database with their codes, in ORDER BY L1,L2 order.
std::vector<GenreRecord> ReadGenres(CSearchDb& db, const std::string& path)
{
    std::vector<GenreRecord> genres = InCp932(ReadInstalledGenres(db, path, kGuideData));
    if (genres.empty())
        return genres;
    searchdb::DatabaseHandle pDb(db, db.OpenDatabase(path, TRUE));
    if (pDb.IsOpen())
        ReadInstalledGenreCodes(db, pDb.get(), genres);
    return genres;
}

std::vector<GenreRecord> InCp932(std::vector<GenreRecord> genres)
{
    std::vector<GenreRecord> out;
    for (GenreRecord& g : genres) {
        std::string name;
        if (Utf8ToCp932(g.Name, name)) {
            g.Name = name;
            out.push_back(std::move(g));
        }
    }
    return out;
}

std::vector<std::string> InCp932(const std::vector<std::string>& namesUtf8)
{
    std::vector<std::string> out;
    for (const std::string& utf8 : namesUtf8) {
        std::string name;
        if (Utf8ToCp932(utf8, name))
            out.push_back(name);
    }
    return out;
}

const GenreRecord* FindByName(const std::vector<GenreRecord>& genres, const std::string& name)
{
    for (const GenreRecord& g : genres)
        if (g.Name == name)
            return &g;
    return nullptr;
}

// The CD's genre for an installed one: the same genre code, else the same name.
const GenreRecord* MatchOnCd(const std::vector<GenreRecord>& cd, const GenreRecord& installed)
{
    if (!installed.GenreCode.empty())
        for (const GenreRecord& g : cd)
            if (g.GenreCode == installed.GenreCode)
                return &g;
    return FindByName(cd, installed.Name);
}

bool Contains(const std::vector<std::string>& v, const std::string& s)
{
    return std::find(v.begin(), v.end(), s) != v.end();
}

// Operand names in CP932, each once, in the order given. A name with no
// CP932 form is no genre of ours.
bool NamesInCp932(const CliOptions& o, std::vector<std::string>& names)
{
    for (const std::string& utf8 : o.operands) {
        std::string cp932;
        if (!Utf8ToCp932(utf8, cp932)) {
            ShowMessageUtf8(IDS_NAME_NOT_USABLE, utf8);
            return false;
        }
        if (!Contains(names, cp932))
            names.push_back(cp932);
    }
    return true;
}

bool Command::HasRoom(const std::string& path, std::uint64_t needed)
{
    if (m_o.ignoreSpace || GetFreeDiskSpace(path) > needed)
        return true;
    ShowMessage(IDS_LOW_SPACE);
    return false;
}

bool Command::CheckGuideSource()
{
    if (!FileExists(m_paths.guideSource)) {
        ShowMessage(IDS_FILE_NOT_FOUND, m_paths.guideSource);
        return false;
    }
    if (!m_db.IsProductData(m_paths.guideSource, kGuideData)) {
        ShowMessage(IDS_NOT_PRODUCT_DATA, m_paths.guideSource);
        return false;
    }
    return true;
}

// An existing destination must be guide data of the product.
bool Command::CheckGuideDest()
{
    if (FileExists(m_paths.guideDest) && !m_db.IsProductData(m_paths.guideDest, kGuideData)) {
        ShowMessage(IDS_NOT_GUIDE_DATA);
        return false;
    }
    return true;
}

void Command::SaveGuidePaths()
{
    SetGuideHdPath(m_paths.guideDest.c_str());
    SetGuideCdPath(m_paths.guideSource.c_str());
}

void Command::SaveAddressPaths()
{
    SetAddressHdPath(m_paths.AddressDest().c_str());
    SetAddressCdPath((AddBackslash(m_paths.addressSourceDir) + m_paths.detailedFile).c_str());
}

void Command::GenreList(const char* key, const std::vector<std::string>& names, const std::string& path)
{
    m_json.OpenArray(key);
    for (const std::string& name : names) {
        std::string l1, l2;
        long size = 0;
        if (LookupGenreByName(m_db, path, name, l1, l2))
            size = std::max(0L, m_db.EstimateGenreSize(path, l1, l2));
        m_json.Open().Str("name", ToUtf8(name)).Num("size", size).Close();
    }
    m_json.CloseArray();
}

} // namespace cli

int RunCommand(const CliOptions& options, Json& json, bool& changed, std::string& text)
{
    cli::Command c(options, json);
    int status = 1;
    const std::string& name = options.command;
    // Without a path in the registry and without the host, the accessors
    // give no folder: nothing must land in the root or the working folder.
    if (name != "status" && !c.KnowsDestination()) {
        ShowMessage(cli::IDS_NO_DESTINATION);
        return 1;
    }
    if (name != "status" && name != "verify" && c.SameFolders()) {
        ShowMessage(IDS_SAME_FOLDERS);
        return 1;
    }
    if (name == "status")
        status = c.Status();
    else if (name == "install-genres")
        status = c.InstallGenres();
    else if (name == "remove-genres")
        status = c.RemoveGenres();
    else if (name == "install-address")
        status = c.InstallAddress();
    else if (name == "verify")
        status = c.Verify();
    else if (name == "update")
        status = c.Update();
    else if (name == "compact")
        status = c.Compact();
    changed = c.m_changed;
    text = c.m_text;
    return status;
}
