#include "cli/commands.h"

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

namespace {

// The window's messages.
const UINT IDS_SAME_FOLDERS = 2010;
const UINT IDS_LOW_SPACE = 2020;
const UINT IDS_NOT_GUIDE_DATA = 2025;
const UINT IDS_INSTALLING = 2027;
const UINT IDS_INSTALLING_GENRE = 2028;
const UINT IDS_INSTALL_FAILED = 2031;
const UINT IDS_FILE_NOT_FOUND = 2032;
const UINT IDS_REMOVE_FAILED = 2033;
const UINT IDS_REMOVING_GENRE = 2035;
const UINT IDS_OPTIMISE_FAILED = 2037;
const UINT IDS_ALREADY_INSTALLED = 2038;
const UINT IDS_OPTIMISED = 2024;
// Ours.
const UINT IDS_NOT_A_GENRE = 6011;
const UINT IDS_CANCELLED = 6012;
const UINT IDS_INSTALLED = 6013;
const UINT IDS_REMOVED = 6014;
const UINT IDS_NOT_INSTALLED = 6015;
const UINT IDS_UPDATING_GENRE = 6016;
const UINT IDS_NOT_ON_CD = 6017;
const UINT IDS_NOT_PRODUCT_DATA = 6018;
const UINT IDS_DAMAGED = 6019;
const UINT IDS_GENRE_DIFFERS = 6020;
const UINT IDS_FILE_DIFFERS = 6021;
const UINT IDS_UP_TO_DATE = 6022;
const UINT IDS_UPDATED = 6023;
const UINT IDS_FILE_INSTALLED = 6024;
const UINT IDS_FILE_ALREADY_INSTALLED = 6025;
const UINT IDS_ALL_WELL = 6026;
const UINT IDS_COPY_CANCELLED = 6027;
const UINT IDS_NO_DESTINATION = 6028;

const UINT IDS_SQL_PROPERTY = 13023;

std::string GuideWord()
{
    return FromUtf8("施設");
}

std::string AddressWord()
{
    return FromUtf8("住所");
}

struct Paths {
    std::string guideFile, guideSource, guideDest;
    std::string addressFile, standardFile, detailedFile, addressSourceDir, addressDestDir;

    std::string AddressDest() const { return AddBackslash(addressDestDir) + addressFile; }
};

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

// Genre names are CP932 here, like the operands; a genre whose name has none
// is left out, as the window refuses to install or remove it.
std::vector<GenreRecord> NamedInCp932(std::vector<GenreRecord> records)
{
    std::vector<GenreRecord> genres;
    for (GenreRecord& g : records) {
        std::string name;
        if (Utf8ToCp932(g.Name, name)) {
            g.Name = std::move(name);
            genres.push_back(std::move(g));
        }
    }
    return genres;
}

std::vector<GenreRecord> GenresOf(CSearchDb& db, const std::string& path)
{
    return NamedInCp932(ReadInstalledGenres(db, path, kGuideData));
}

// The genres of a guide database with their codes, in ORDER BY L1,L2 order.
std::vector<GenreRecord> ReadGenres(CSearchDb& db, const std::string& path)
{
    std::vector<GenreRecord> genres = GenresOf(db, path);
    if (genres.empty())
        return genres;
    CDaoDatabase* pDb = db.OpenDatabase(path, TRUE);
    if (pDb->IsOpen())
        ReadInstalledGenreCodes(db, pDb, genres);
    db.CloseDatabase(pDb);
    return genres;
}

// The names (UTF-8, as the database holds them) that have a CP932 form, in it.
std::vector<std::string> NamesWithCp932Form(const std::vector<std::string>& utf8Names)
{
    std::vector<std::string> names;
    for (const std::string& utf8 : utf8Names) {
        std::string name;
        if (Utf8ToCp932(utf8, name))
            names.push_back(std::move(name));
    }
    return names;
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
            ShowMessage(IDS_NOT_A_GENRE, "?");
            return false;
        }
        if (!Contains(names, cp932))
            names.push_back(cp932);
    }
    return true;
}

class Command {
public:
    Command(const CliOptions& o, Json& json)
        : m_o(o)
        , m_json(json)
        , m_paths(ResolvePaths(o))
        , m_progress(ProgressWanted(o.quiet))
    {
    }

    int Status();
    int InstallGenres();
    int RemoveGenres();
    int InstallAddress();
    int Verify();
    int Update();
    int Compact();

    bool SameFolders() const
    {
        return m_paths.guideSource == m_paths.guideDest || m_paths.addressSourceDir == m_paths.addressDestDir;
    }
    bool KnowsDestination() const { return !m_paths.guideDest.empty() && !m_paths.addressDestDir.empty(); }

    bool m_changed = false;
    std::string m_text; // status for a person, on standard output

private:
    void Note(UINT nID, const std::string& arg) { ShowNote(m_o.quiet, nID, arg); }
    bool HasRoom(const std::string& path, std::uint64_t needed);
    bool CheckGuideSource();
    bool CheckGuideDest();
    void SaveGuidePaths();
    void SaveAddressPaths();
    int CopyAddressFile(const std::string& sourceFile);
    std::string CdAddressFileOfLevel(int level);
    void GenreList(const char* key, const std::vector<std::string>& names, const std::string& path);

    const CliOptions& m_o;
    Json& m_json;
    Paths m_paths;
    CSearchDb m_db;
    ConsoleProgress m_progress;
};

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

// ---------------------------------------------------------------------------

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
        cdGuide ? NamesWithCp932Form(ReadNotInstalledGenreNames(m_db, p.guideSource, installed)) : std::vector<std::string>();
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

// ---------------------------------------------------------------------------

int Command::InstallGenres()
{
    const Paths& p = m_paths;
    std::vector<std::string> names;
    if (!NamesInCp932(m_o, names) || !CheckGuideSource() || !CheckGuideDest())
        return 1;
    const std::vector<GenreRecord> installed = ReadGenres(m_db, p.guideDest);
    const std::vector<GenreRecord> onCd = GenresOf(m_db, p.guideSource);
    const std::vector<std::string> notInstalled = NamesWithCp932Form(ReadNotInstalledGenreNames(m_db, p.guideSource, installed));

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

    std::uint64_t needed = 0;
    for (const std::string& name : wanted) {
        const GenreRecord* g = FindByName(onCd, name);
        needed += static_cast<std::uint64_t>(std::max(0L, m_db.EstimateGenreSize(p.guideSource, g->L1, g->L2)));
    }
    if (!wanted.empty() && !HasRoom(p.guideDest, needed))
        return 1;

    int status = 0;
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
        const int result = InstallGenreRows(m_db, &m_progress, p.guideSource, p.guideDest, l1, l2);
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
        ? GenresOf(m_db, p.guideSource)
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
    // Every genre is to go: the file goes as a whole, as the page does it.
    if (!wanted.empty() && wanted.size() == installed.size() && RemoveDatabaseFile(p.guideDest)) {
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

// ---------------------------------------------------------------------------

// The address page's Apply without its question: the in-use test, the size
// of the source, the room check and the whole-file replacement.
int Command::CopyAddressFile(const std::string& sourceFile)
{
    const std::string installed = m_paths.AddressDest();
    if (FileExists(installed)) {
        CDaoDatabase* pDb = m_db.OpenDatabase(installed, FileIsWritable(installed) ? FALSE : TRUE);
        const bool open = pDb && pDb->IsOpen();
        m_db.CloseDatabase(pDb);
        if (!open)
            return 1;
    }
    const std::string source = AddBackslash(m_paths.addressSourceDir) + sourceFile;
    std::uint64_t size = 0;
    if (!GetFileSize(source, size)) {
        ShowMessage(IDS_FILE_NOT_FOUND, source);
        return 1;
    }
    if (!HasRoom(m_paths.addressDestDir, size))
        return 1;
    m_progress.Begin(LoadResString(IDS_INSTALLING), "bytes");
    std::string error;
    const CopyResult result = InstallFileCopy(
        source, m_paths.addressDestDir, m_paths.addressFile,
        [this](std::uint64_t done, std::uint64_t total) {
            m_progress.Show(done, total);
            return !Interrupted();
        },
        error);
    m_progress.End();
    switch (result) {
    case CopyResult::Done:
        m_changed = true;
        return 0;
    case CopyResult::Cancelled:
        ShowMessage(IDS_COPY_CANCELLED, installed);
        return 1;
    case CopyResult::Failed:
        break;
    }
    ShowMessage(IDS_INSTALL_FAILED);
    if (!error.empty())
        std::fprintf(stderr, "%s\n", ToUtf8(error).c_str());
    return 1;
}

int Command::InstallAddress()
{
    const bool detailed = m_o.operands[0] == "detailed";
    const std::string file = detailed ? m_paths.detailedFile : m_paths.standardFile;
    const std::string source = AddBackslash(m_paths.addressSourceDir) + file;
    if (!FileExists(source)) {
        ShowMessage(IDS_FILE_NOT_FOUND, source);
        return 1;
    }
    const int level = GetAddressDataLevel(m_paths.addressSourceDir, kAddressData, file);
    if (level == 0) {
        ShowMessage(IDS_NOT_PRODUCT_DATA, source);
        return 1;
    }
    m_json.Str("file", ToUtf8(source)).Num("level", level);
    int status = 0;
    if (GetAddressDataLevel(m_paths.addressDestDir, kAddressData, m_paths.addressFile) == level) {
        Note(IDS_FILE_ALREADY_INSTALLED, source);
    } else {
        status = CopyAddressFile(file);
        if (status == 0)
            Note(IDS_FILE_INSTALLED, source);
    }
    SaveAddressPaths();
    return status;
}

std::string Command::CdAddressFileOfLevel(int level)
{
    for (const std::string& file : {m_paths.detailedFile, m_paths.standardFile})
        if (GetAddressDataLevel(m_paths.addressSourceDir, kAddressData, file) == level)
            return file;
    return std::string();
}

// ---------------------------------------------------------------------------

namespace verify {

    struct Digest {
        long long rows = 0;
        std::uint64_t sum = 0; // of the rows' hashes: the order of rows does not count
        bool ok = true;
        bool operator==(const Digest& o) const { return ok && o.ok && rows == o.rows && sum == o.sum; }
    };

    std::uint64_t Fnv(std::uint64_t h, const void* data, size_t n)
    {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < n; ++i)
            h = (h ^ p[i]) * 1099511628211ull;
        return h;
    }

    std::uint64_t Mix(std::uint64_t z)
    {
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    class File {
    public:
        explicit File(const std::string& pathCp932)
        {
            std::string utf8;
            if (PathToNative(pathCp932, utf8) &&
                sqlite3_open_v2(utf8.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
                sqlite3_close(m_db);
                m_db = nullptr;
            }
        }
        ~File() { sqlite3_close(m_db); }
        File(const File&) = delete;
        File& operator=(const File&) = delete;

        bool IntegrityOk()
        {
            sqlite3_stmt* st = nullptr;
            bool ok = m_db && sqlite3_prepare_v2(m_db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK &&
                sqlite3_step(st) == SQLITE_ROW &&
                std::string(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) == "ok";
            sqlite3_finalize(st);
            return ok;
        }

        Digest Of(const char* table, const std::string& l1, const std::string& l2)
        {
            Digest d;
            sqlite3_stmt* st = nullptr;
            const std::string sql = std::string("SELECT * FROM ") + table + " WHERE L1=?1 AND L2=?2";
            const std::string u1 = ToUtf8(l1), u2 = ToUtf8(l2);
            if (!m_db || sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
                d.ok = false;
                return d;
            }
            sqlite3_bind_text(st, 1, u1.c_str(), -1, SQLITE_STATIC);
            sqlite3_bind_text(st, 2, u2.c_str(), -1, SQLITE_STATIC);
            const int n = sqlite3_column_count(st);
            int rc;
            while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
                std::uint64_t h = 1469598103934665603ull;
                for (int i = 0; i < n; ++i) {
                    const unsigned char type = static_cast<unsigned char>(sqlite3_column_type(st, i));
                    h = Fnv(h, &type, 1);
                    if (type == SQLITE_INTEGER) {
                        const sqlite3_int64 v = sqlite3_column_int64(st, i);
                        h = Fnv(h, &v, sizeof v);
                    } else if (type == SQLITE_FLOAT) {
                        const double v = sqlite3_column_double(st, i);
                        h = Fnv(h, &v, sizeof v);
                    } else if (type != SQLITE_NULL) {
                        const void* p = sqlite3_column_blob(st, i);
                        const int len = sqlite3_column_bytes(st, i);
                        h = Fnv(h, &len, sizeof len);
                        h = Fnv(h, p, static_cast<size_t>(len));
                    }
                }
                d.sum += Mix(h);
                ++d.rows;
            }
            d.ok = rc == SQLITE_DONE;
            sqlite3_finalize(st);
            return d;
        }

    private:
        sqlite3* m_db = nullptr;
    };

    bool SameBytes(const std::string& aCp932, const std::string& bCp932)
    {
        std::string a, b;
        if (!PathToNative(aCp932, a) || !PathToNative(bCp932, b))
            return false;
        std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
        if (!fa || !fb)
            return false;
        std::istreambuf_iterator<char> ia(fa), ib(fb), end;
        for (; ia != end && ib != end; ++ia, ++ib)
            if (*ia != *ib)
                return false;
        return ia == end && ib == end;
    }

} // namespace verify

int Command::Verify()
{
    const Paths& p = m_paths;
    int problems = 0;
    auto problem = [&](UINT nID, const std::string& arg) {
        ShowMessage(nID, arg);
        ++problems;
    };
    // Gate (the engine's open shows 2039 itself), kind, integrity.
    auto checkFile = [&](const std::string& path, const char* kind) {
        CDaoDatabase* pDb = m_db.OpenDatabase(path, TRUE);
        const bool open = pDb->IsOpen();
        m_db.CloseDatabase(pDb);
        if (!open) {
            ++problems;
            return false;
        }
        if (!m_db.IsProductData(path, kind)) {
            problem(IDS_NOT_PRODUCT_DATA, path);
            return false;
        }
        verify::File file(path);
        if (!file.IntegrityOk()) {
            problem(IDS_DAMAGED, path);
            return false;
        }
        return true;
    };

    m_json.OpenArray("genres");
    if (FileExists(p.guideDest) && checkFile(p.guideDest, kGuideData)) {
        const std::vector<GenreRecord> installed = ReadGenres(m_db, p.guideDest);
        const bool cd = FileExists(p.guideSource) && m_db.IsProductData(p.guideSource, kGuideData);
        const std::vector<GenreRecord> onCd = cd ? ReadGenres(m_db, p.guideSource) : std::vector<GenreRecord>();
        verify::File hd(p.guideDest);
        verify::File src(cd ? p.guideSource : std::string());
        for (const GenreRecord& g : installed) {
            const verify::Digest hc = hd.Of("Category", g.L1, g.L2), hp = hd.Of("Point", g.L1, g.L2);
            m_json.Open().Str("name", ToUtf8(g.Name)).Num("category_rows", hc.rows).Num("point_rows", hp.rows);
            if (cd) {
                const GenreRecord* c = MatchOnCd(onCd, g);
                const bool same = c && src.Of("Category", c->L1, c->L2) == hc && src.Of("Point", c->L1, c->L2) == hp;
                m_json.Bool("equals_cd", same);
                if (!same)
                    problem(c ? IDS_GENRE_DIFFERS : IDS_NOT_ON_CD, g.Name);
            }
            m_json.Close();
        }
    }
    m_json.CloseArray();

    const std::string address = p.AddressDest();
    if (FileExists(address) && checkFile(address, kAddressData)) {
        const int level = m_db.GetDataLevel(address);
        const std::string cdFile = CdAddressFileOfLevel(level);
        m_json.Open("address").Num("level", level);
        if (!cdFile.empty()) {
            const bool same = verify::SameBytes(address, AddBackslash(p.addressSourceDir) + cdFile);
            m_json.Bool("equals_cd", same);
            if (!same)
                problem(IDS_FILE_DIFFERS, address);
        }
        m_json.Close();
    }
    m_json.Num("problems", problems);
    if (problems == 0)
        Note(IDS_ALL_WELL, "");
    return problems ? 1 : 0;
}

// ---------------------------------------------------------------------------

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

} // namespace

int RunCommand(const CliOptions& options, Json& json, bool& changed, std::string& text)
{
    Command c(options, json);
    int status = 1;
    const std::string& name = options.command;
    // Without a path in the registry and without the host, the accessors
    // give no folder: nothing must land in the root or the working folder.
    if (name != "status" && !c.KnowsDestination()) {
        ShowMessage(IDS_NO_DESTINATION);
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
