#include "guide/genre_rows.h"

#include "address/path_functions.h"
#include "res/string_ids.h"
#include "res/strings.h"
#include "searchdb/search_db.h"
#include "searchdb/search_handles.h"
#include "searchdb/transaction.h"
#include "services/progress_sink.h"

namespace {

const UINT IDS_SQL_DELETE_GENRE_CATEGORY = 12041;
const UINT IDS_SQL_DELETE_GENRE_POINTS = 12051;
const UINT IDS_SQL_GROUP_ROWS = 13021;
const UINT IDS_SQL_GENRE_CATEGORY_ROWS = 13070;
const UINT IDS_SQL_GENRE_POINT_ROWS = 13080;
const UINT IDS_SQL_GENRE_BY_NAME = 13081;
const UINT IDS_SQL_GENRE_FILTER = 13082;

void DeleteGenre(CDaoDatabase* pDb, const std::string& l1, const std::string& l2)
{
    pDb->Execute(FormatSql(IDS_SQL_DELETE_GENRE_CATEGORY, l1, l2), dbFailOnError | dbConsistent);
    pDb->Execute(FormatSql(IDS_SQL_DELETE_GENRE_POINTS, l1, l2), dbFailOnError | dbConsistent);
}

} // namespace

using searchdb::DatabaseHandle;
using searchdb::Transaction;

BOOL DeleteGenreRowsInOneTransaction(CSearchDb& db, const std::string& path, const std::string& l1,
                                     const std::string& l2)
{
    DatabaseHandle conn(db, db.OpenDatabase(path, FALSE));
    if (!conn.IsOpen())
        return FALSE;
    try {
        Transaction trans(conn->m_pWorkspace);
        DeleteGenre(conn.get(), l1, l2);
        trans.Commit();
    } catch (const CDaoException&) {
        return FALSE;
    }
    return TRUE;
}

BOOL LookupGenreByName(CSearchDb& db, const std::string& path, const std::string& name, std::string& l1,
                       std::string& l2)
{
    const std::string sql = FormatSql(IDS_SQL_GENRE_BY_NAME, name);
    return db.GetFirstFieldText(l1, path, sql, "L1") && db.GetFirstFieldText(l2, path, sql, "L2");
}

int InstallGenreRows(CSearchDb& db, CProgressSink* pProgress, const std::string& source, const std::string& dest,
                     const std::string& l1, const std::string& l2)
{
    long nCategory = 0, nPoint = 0;
    CountGenreRows(db, source, l1, l2, nCategory, nPoint);
    return InstallGenreRows(db, pProgress, source, dest, l1, l2, nCategory + nPoint);
}

int InstallGenreRows(CSearchDb& db, CProgressSink* pProgress, const std::string& source, const std::string& dest,
                     const std::string& l1, const std::string& l2, long rows)
{
    pProgress->SetRange(0, static_cast<int>(rows + 1));
    pProgress->SetPos(0);
    pProgress->SetStep(1);
    const std::string filter = FormatSql(IDS_SQL_GENRE_FILTER, l1, l2);
    return db.TransferGenre(pProgress, source, dest, filter, l1);
}

void CountGenreRows(CSearchDb& db, const std::string& path, const std::string& l1, const std::string& l2,
                    long& categories, long& points)
{
    categories = db.CountRecords(path, FormatSql(IDS_SQL_GENRE_CATEGORY_ROWS, l1, l2));
    points = db.CountRecords(path, FormatSql(IDS_SQL_GENRE_POINT_ROWS, l1, l2));
}

void DeleteGroupRowIfLast(CSearchDb& db, const std::string& path, const std::string& l1)
{
    if (db.CountRecords(path, FormatSql(IDS_SQL_GROUP_ROWS, l1)) == 1)
        db.DeleteGroupRow(path, l1);
}

void RemoveDatabaseIfEmpty(CSearchDb& db, const std::string& path)
{
    if (db.CountRecords(path, LoadResString(IDS_SQL_GENRE_ROWS)) == 0 && FileExists(path))
        RemoveDatabaseFile(path);
}

int ReplaceGenreRows(CSearchDb& db, CProgressSink* pProgress, const std::string& source, const std::string& dest,
                     const std::string& oldL1, const std::string& oldL2, const std::string& l1,
                     const std::string& l2)
{
    // Held open for the whole transaction: the transfer's own connections
    // to dest join it.
    DatabaseHandle conn(db, db.OpenDatabase(dest, FALSE));
    if (!conn.IsOpen())
        return -2;
    try {
        Transaction trans(conn->m_pWorkspace);
        DeleteGenre(conn.get(), oldL1, oldL2);
        const int result = InstallGenreRows(db, pProgress, source, dest, l1, l2);
        if (result == 1)
            trans.Commit();
        return result;
    } catch (const CDaoException&) {
        return -1;
    }
}
