// The transfer of one genre from the CD-ROM guide database to the hard-disk
// one: a single transaction on the destination, row by row and field by
// field, with a progress step (and a chance to cancel) after every row.
#include <vector>

#include "platform/cp932.h"
#include "platform/wait_cursor.h"
#include "res/strings.h"
#include "searchdb/search_db.h"
#include "searchdb/search_handles.h"
#include "searchdb/transaction.h"
#include "services/progress_sink.h"

using searchdb::DatabaseHandle;
using searchdb::RecordsetHandle;
using searchdb::Transaction;

int CSearchDb::TransferGenre(CProgressSink* pProgress, const std::string& source, const std::string& dest,
                             const std::string& filter, const std::string& groupCode)
{
    CWaitCursor wait;
    // Declared in this order, the destination closes before the source.
    DatabaseHandle src(*this, OpenDatabase(source, TRUE));
    if (!src.IsOpen())
        return -2;
    DatabaseHandle dst(*this, OpenDatabase(dest, FALSE));
    if (!dst.IsOpen())
        return -2;

    try {
        // Rolled back on every way out that did not commit, before the
        // connections close.
        Transaction trans(dst->m_pWorkspace);
        int result = CopyTable(pProgress, src.get(), dst.get(), LoadResString(13024), filter);
        if (result == 1)
            result = CopyTable(pProgress, src.get(), dst.get(), LoadResString(13025), filter);
        // The check reads through a second connection, which shares this
        // transaction's view: a group row that the genre's own rows brought
        // along counts as present and is not copied twice.
        if (result == 1 && FindGroupRow(dest, groupCode) == 2)
            result = CopyTable(pProgress, src.get(), dst.get(), LoadResString(13024), FormatSql(13083, groupCode));
        if (result == 1)
            trans.Commit();
        return result;
    } catch (const CDaoException&) {
        return -1;
    }
}

int CSearchDb::CopyTable(CProgressSink* pProgress, CDaoDatabase* pSource, CDaoDatabase* pDest,
                         const std::string& tableSql, const std::string& filter)
{
    RecordsetHandle src(*this, OpenRecordset(pSource, FormatText("%s %s", tableSql.c_str(), filter.c_str())));
    if (!src.IsOpen())
        return -2;
    // The whole destination table, to which the rows are appended; the engine
    // streams it, so nothing of it is read into memory.
    RecordsetHandle dst(*this, OpenRecordset(pDest, tableSql));
    if (!dst.IsOpen())
        return -2;
    return CopyRows(pProgress, src.get(), dst.get());
}

int CSearchDb::CopyRows(CProgressSink* pProgress, CDaoRecordset* pSource, CDaoRecordset* pDest)
{
    if (!pSource || !pSource->IsOpen() || !pDest || !pDest->IsOpen())
        return -2;
    try {
        // Straight from file to file where the engine can; the same rows,
        // steps and chances to cancel as the loop below.
        switch (pDest->AppendRowsOf(*pSource, [pProgress] {
            if (!pProgress)
                return true;
            pProgress->PumpAndStep();
            return !pProgress->m_bCancel;
        })) {
        case CDaoRecordset::AppendResult::Done:
            return 1;
        case CDaoRecordset::AppendResult::Stopped:
            return 0;
        case CDaoRecordset::AppendResult::Unsupported:
            break;
        }
        // The source's field names, in its order, taken once: they are the
        // same for every row.
        const short nFields = pSource->GetFieldCount();
        std::vector<std::string> names(static_cast<size_t>(nFields > 0 ? nFields : 0));
        for (short i = 0; i < nFields; ++i) {
            CDaoFieldInfo info;
            pSource->GetFieldInfo(i, info, AFX_DAO_PRIMARY_INFO);
            names[static_cast<size_t>(i)] = info.m_strName;
        }
        while (!pSource->IsEOF()) {
            pDest->AddNew();
            for (const std::string& name : names)
                pDest->SetFieldValue(name, pSource->GetFieldValue(name));
            pDest->Update();
            pSource->MoveNext();
            if (pProgress) {
                pProgress->PumpAndStep();
                if (pProgress->m_bCancel)
                    return 0;
            }
        }
        return 1;
    } catch (const CDaoException&) {
        return -1;
    }
}

int CSearchDb::FindGroupRow(const std::string& dest, const std::string& groupCode)
{
    DatabaseHandle db(*this, OpenDatabase(dest, TRUE));
    if (!db.IsOpen())
        return 0;
    RecordsetHandle rs(*this, OpenRecordset(db.get(), FormatSql(13030, groupCode)));
    if (!rs.IsOpen())
        return 0;
    try {
        return rs->IsEOF() ? 2 : 1;
    } catch (const CDaoException&) {
        return 0;
    }
}
