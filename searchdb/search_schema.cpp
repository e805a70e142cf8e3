// The layout of a guide database and the creation of a new one.
#include <initializer_list>

#include "platform/message_box.h"
#include "res/strings.h"
#include "searchdb/search_db.h"
#include "searchdb/dao_file.h"
#include "searchdb/search_handles.h"
#include "searchdb/transaction.h"

using namespace searchdb;

namespace {

void ExecuteEach(CSearchDb& db, const std::string& dest, std::initializer_list<UINT> ids)
{
    // An index that fails to be made is simply missing; the search still works.
    for (UINT id : ids)
        db.ExecuteSQL(dest, LoadResString(id));
}

} // namespace

BOOL CSearchDb::CopyPropertyRows(const std::string& source, const std::string& dest)
{
    DatabaseHandle src(*this, OpenDatabase(source, TRUE));
    RecordsetHandle srcRs(*this, OpenRecordset(src.get(), LoadResString(13023)));
    DatabaseHandle dst(*this, OpenDatabase(dest, FALSE));
    RecordsetHandle dstRs(*this, OpenRecordset(dst.get(), LoadResString(13023)));
    if (!src.IsOpen() || !srcRs.IsOpen() || !dst.IsOpen() || !dstRs.IsOpen())
        return FALSE;

    try {
        Transaction trans(dst->m_pWorkspace);
        if (CopyRows(nullptr, srcRs.get(), dstRs.get()) != 1)
            return FALSE;
        trans.Commit();
    } catch (const CDaoException&) {
        return FALSE;
    }
    return TRUE;
}

void CSearchDb::CreateCategoryIndexes(const std::string& dest)
{
    ExecuteEach(*this, dest, {11010, 11020, 11030, 11040, 11041});
}

void CSearchDb::CreateGuidePointIndexes(const std::string& dest)
{
    ExecuteEach(*this, dest, {11050, 11060, 11070, 11080, 11090, 11100, 11110, 11120, 11130, 11140, 11150, 11091,
                              11151, 11152});
}

BOOL CreateSearchFile(CSearchDb& db, const std::string& source, const std::string& dest)
{
    if (!db.CreateDatabase(dest)) {
        AfxMessageBox(2029, MB_OK);
        return FALSE;
    }
    bool made = false;
    if (!db.ExecuteSQL(dest, LoadResString(10030)))
        AfxMessageBox(2025, MB_OK);
    else if (db.CopyPropertyRows(source, dest))
        made = CreateSearchTables(db, dest) != FALSE;
    // A half-made file would be taken for an existing database next time and
    // refused for ever; remove it so that the next attempt starts clean.
    if (!made)
        dao::RemoveUnheldFile(dest);
    return made ? TRUE : FALSE;
}

BOOL CreateSearchTables(CSearchDb& db, const std::string& dest)
{
    for (UINT id : {10010u, 10020u}) {
        if (!db.ExecuteSQL(dest, LoadResString(id))) {
            AfxMessageBox(2025, MB_OK);
            return FALSE;
        }
    }
    db.CreateCategoryIndexes(dest);
    db.CreateGuidePointIndexes(dest);
    if (!db.ExecuteSQL(dest, LoadResString(12010))) {
        AfxMessageBox(2025, MB_OK);
        return FALSE;
    }
    return TRUE;
}
