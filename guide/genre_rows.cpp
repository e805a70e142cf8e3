#include "guide/genre_rows.h"

#include "searchdb/search_db.h"
#include "searchdb/search_handles.h"
#include "services/progress_sink.h"

namespace {

const UINT IDS_SQL_DELETE_GENRE_CATEGORY = 12041;
const UINT IDS_SQL_DELETE_GENRE_POINTS = 12051;
const UINT IDS_SQL_GENRE_CATEGORY_ROWS = 13070;
const UINT IDS_SQL_GENRE_POINT_ROWS = 13080;
const UINT IDS_SQL_GENRE_FILTER = 13082;

} // namespace

int InstallGenreRows(CSearchDb& db, CProgressSink* pProgress, const std::string& source, const std::string& dest,
                     const std::string& l1, const std::string& l2)
{
    const long nCategory = db.CountRecords(source, FormatSql(IDS_SQL_GENRE_CATEGORY_ROWS, l1, l2));
    const long nPoint = db.CountRecords(source, FormatSql(IDS_SQL_GENRE_POINT_ROWS, l1, l2));
    pProgress->SetRange(0, static_cast<int>(nCategory + nPoint + 1));
    pProgress->SetPos(0);
    pProgress->SetStep(1);
    return db.TransferGenre(pProgress, source, dest, FormatSql(IDS_SQL_GENRE_FILTER, l1, l2), l1);
}

BOOL DeleteGenreRowsInOneTransaction(CSearchDb& db, const std::string& path, const std::string& l1,
                                     const std::string& l2)
{
    CDaoDatabase* pDb = db.OpenDatabase(path, FALSE);
    if (!pDb->IsOpen()) {
        db.CloseDatabase(pDb);
        return FALSE;
    }
    CDaoWorkspace* pWorkspace = pDb->m_pWorkspace;
    BOOL bDone = FALSE;
    try {
        pWorkspace->BeginTrans();
        try {
            pDb->Execute(FormatSql(IDS_SQL_DELETE_GENRE_CATEGORY, l1, l2), dbFailOnError | dbConsistent);
            pDb->Execute(FormatSql(IDS_SQL_DELETE_GENRE_POINTS, l1, l2), dbFailOnError | dbConsistent);
            pWorkspace->CommitTrans();
            bDone = TRUE;
        } catch (const CDaoException&) {
            try {
                pWorkspace->Rollback();
            } catch (const CDaoException&) {
                // The engine rolls back an unfinished transaction when the
                // connection closes.
            }
        }
    } catch (const CDaoException&) {
        // BeginTrans failed: nothing was changed.
    }
    db.CloseDatabase(pDb);
    return bDone;
}

BOOL RemoveDatabaseFile(const std::string& path)
{
    // Every connection is exclusive: one that opens shows that nothing else
    // holds the file. On this system unlinking alone would succeed under the
    // host's feet.
    {
        CDaoDatabase probe;
        try {
            probe.Open(path, TRUE, FALSE, searchdb::ConnectString());
        } catch (const CDaoException&) {
            return FALSE;
        }
        probe.Close();
    }
    return DaoRemoveDatabaseFile(path);
}
