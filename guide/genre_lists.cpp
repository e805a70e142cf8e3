#include "guide/genre_lists.h"

#include <algorithm>

#include "address/path_functions.h"
#include "platform/cp932.h"
#include "res/string_ids.h"
#include "res/strings.h"
#include "searchdb/search_db.h"

const char* const kDestGenreCodeSql = "SELECT TS99GenreCode FROM Point WHERE L1='%s' and L2='%s'";
const char* const kSourceGenreCodeSql = "SELECT TS99GenreCode FROM Point WHERE L1='%s' AND L2='%s'";

namespace {

const char* const kSourceGenresSql = "SELECT L1,L2,Name FROM Category WHERE L3='0' ORDER BY L1,L2 ";

// Name of the current row as the database holds it; Null gives "".
std::string NameUtf8(CDaoRecordset* pRs)
{
    COleVariant name = pRs->GetFieldValue("Name");
    return name.kind == COleVariant::Kind::Text ? std::move(name.bytes) : std::string();
}

} // namespace

std::string GenreCodeOf(const std::string& ts99GenreCode)
{
    return ts99GenreCode.substr(0, 6) + "00";
}

void ReadGenreCode(CSearchDb& db, CDaoDatabase* pDb, const char* statement, const std::string& l1,
                   const std::string& l2, std::string& code)
{
    const std::string sql = FormatText(statement, SqlValue(l1).c_str(), SqlValue(l2).c_str());
    CDaoRecordset* pRs = db.OpenRecordset(pDb, sql);
    if (!pRs)
        return;
    try {
        if (pRs->IsOpen() && !pRs->IsEOF())
            code = GenreCodeOf(db.GetFieldText(pRs, "TS99GenreCode"));
    } catch (const CDaoException&) {
        // A row that cannot be read gives no code.
    }
    db.CloseRecordset(pRs);
}

std::vector<GenreRecord> ReadInstalledGenres(CSearchDb& db, const std::string& dest, const std::string& kind)
{
    std::vector<GenreRecord> genres;
    if (!FileExists(dest) || !db.IsProductData(dest, kind))
        return genres;
    CDaoDatabase* pDb = db.OpenDatabase(dest, TRUE);
    if (!pDb->IsOpen()) {
        db.CloseDatabase(pDb);
        return genres;
    }
    CDaoRecordset* pRs = db.OpenRecordset(pDb, LoadResString(IDS_SQL_GENRE_ROWS));
    try {
        for (; pRs && pRs->IsOpen() && !pRs->IsEOF(); pRs->MoveNext())
            genres.push_back({db.GetFieldText(pRs, "L1"), db.GetFieldText(pRs, "L2"), NameUtf8(pRs), {}});
    } catch (const CDaoException&) {
        // A damaged file lists the genres read before the damage.
    }
    if (pRs)
        db.CloseRecordset(pRs);
    db.CloseDatabase(pDb);
    return genres;
}

void ReadInstalledGenreCodes(CSearchDb& db, CDaoDatabase* pDest, std::vector<GenreRecord>& installed)
{
    for (GenreRecord& genre : installed)
        ReadGenreCode(db, pDest, kDestGenreCodeSql, genre.L1, genre.L2, genre.GenreCode);
}

std::vector<SourceGenre> ReadSourceGenres(CSearchDb& db, CDaoDatabase* pSource)
{
    std::vector<SourceGenre> genres;
    CDaoRecordset* pRs = db.OpenRecordset(pSource, kSourceGenresSql);
    try {
        for (; pRs && pRs->IsOpen() && !pRs->IsEOF(); pRs->MoveNext()) {
            SourceGenre genre;
            genre.L1 = db.GetFieldText(pRs, "L1");
            genre.L2 = db.GetFieldText(pRs, "L2");
            ReadGenreCode(db, pSource, kSourceGenreCodeSql, genre.L1, genre.L2, genre.GenreCode);
            try {
                genre.Name = NameUtf8(pRs);
            } catch (const CDaoException&) {
                genre.NameUnreadable = true;
            }
            genres.push_back(std::move(genre));
        }
    } catch (const CDaoException&) {
        // A damaged file lists the genres read before the damage.
    }
    if (pRs)
        db.CloseRecordset(pRs);
    return genres;
}

std::vector<std::string> NotInstalledGenreNames(const std::vector<SourceGenre>& source,
                                                const std::vector<GenreRecord>& installed)
{
    std::vector<std::string> names;
    for (const SourceGenre& genre : source) {
        const bool isInstalled = std::any_of(installed.begin(), installed.end(), [&genre](const GenreRecord& i) {
            return i.GenreCode == genre.GenreCode;
        });
        if (isInstalled)
            continue;
        // A name that cannot be read ends the list as damage does.
        if (genre.NameUnreadable)
            break;
        names.push_back(genre.Name);
    }
    return names;
}

std::vector<std::string> ReadNotInstalledGenreNames(CSearchDb& db, const std::string& source,
                                                    const std::vector<GenreRecord>& installed)
{
    CDaoDatabase* pDb = db.OpenDatabase(source, TRUE);
    std::vector<SourceGenre> genres;
    if (pDb->IsOpen())
        genres = ReadSourceGenres(db, pDb);
    db.CloseDatabase(pDb);
    return NotInstalledGenreNames(genres, installed);
}

long SizeInMegabytes(long bytes)
{
    if (bytes <= 0)
        return 0;
    const long mb = bytes / 1048576;
    return mb == 0 ? 1 : mb;
}

std::string SizeLabelText(long bytes)
{
    static const std::string format = FromUtf8("およそ %ldMB");
    return FormatText(format.c_str(), SizeInMegabytes(bytes));
}
