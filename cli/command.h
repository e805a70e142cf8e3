// What the commands of pellvane-cli share: the messages, the paths they work
// on and the command object. One file per command implements its member.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "address/path_functions.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "guide/genre_lists.h"
#include "platform/win_types.h"
#include "res/string_ids.h"
#include "searchdb/search_db.h"

namespace cli {

// The window's messages are in res/string_ids.h; these are ours.
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

std::string GuideWord();
std::string AddressWord();

struct Paths {
    std::string guideFile, guideSource, guideDest;
    std::string addressFile, standardFile, detailedFile, addressSourceDir, addressDestDir;

    std::string AddressDest() const { return AddBackslash(addressDestDir) + addressFile; }
};

Paths ResolvePaths(const CliOptions& o);
std::string DataVersion(CSearchDb& db, const std::string& path);
// Dotted versions compare part by part as numbers ("2024.10" > "2024.9");
// parts that are not numbers compare as text.
int CompareVersions(const std::string& a, const std::string& b);
// The genres of a guide database with their codes, in ORDER BY L1,L2 order,
// named in CP932 like the operands.
std::vector<GenreRecord> ReadGenres(CSearchDb& db, const std::string& path);
// The lists read as stored (UTF-8) in the CP932 the commands work in. A name
// with no CP932 form cannot be named on the command line: it is left out.
std::vector<GenreRecord> InCp932(std::vector<GenreRecord> genres);
std::vector<std::string> InCp932(const std::vector<std::string>& namesUtf8);
const GenreRecord* FindByName(const std::vector<GenreRecord>& genres, const std::string& name);
// The CD's genre for an installed one: the same genre code, else the same name.
const GenreRecord* MatchOnCd(const std::vector<GenreRecord>& cd, const GenreRecord& installed);
bool Contains(const std::vector<std::string>& v, const std::string& s);
// Operand names in CP932, each once, in the order given. A name with no
// CP932 form is no genre of ours.
bool NamesInCp932(const CliOptions& o, std::vector<std::string>& names);

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

} // namespace cli
