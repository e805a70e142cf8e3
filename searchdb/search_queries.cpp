// The questions the pages ask of a search database.
#include <cstdlib>

#include "res/strings.h"
#include "searchdb/search_db.h"
#include "searchdb/search_handles.h"

using namespace searchdb;

namespace {

const char* const kProductName = "Tessra";

// The Level column of an address file as a whole number, however the file
// stores it.
bool WholeNumber(const COleVariant& v, long& out)
{
    switch (v.kind) {
    case COleVariant::Kind::Integer:
        out = static_cast<long>(v.integer);
        return v.integer == out;
    case COleVariant::Kind::Real:
        out = static_cast<long>(v.real);
        return static_cast<double>(out) == v.real;
    case COleVariant::Kind::Text: {
        if (v.bytes.empty())
            return false;
        char* end = nullptr;
        out = std::strtol(v.bytes.c_str(), &end, 10);
        return end && *end == '\0';
    }
    default:
        return false;
    }
}

} // namespace

namespace {

// Whether the open Property recordset's first row names the product and
// kind; false without a row.
bool IsProductRow(CSearchDb& db, CDaoRecordset* pRs, const std::string& kind)
{
    try {
        if (pRs->IsEOF())
            return false;
    } catch (const CDaoException&) {
        return false;
    }
    return db.GetFieldText(pRs, "ProductName") == kProductName && db.GetFieldText(pRs, "DataName") == kind;
}

// The data level the open Property recordset's first row gives.
int LevelOfRow(CSearchDb& db, CDaoRecordset* pRs)
{
    try {
        // Without a Property row the file says nothing of its level.
        if (pRs->IsEOF())
            return 0;
    } catch (const CDaoException&) {
        return 0;
    }
    const std::string version = db.GetFieldText(pRs, "ProductVersion");
    if (version.empty() || version[0] != '5')
        return 3;
    try {
        long level = 0;
        if (WholeNumber(pRs->GetFieldValue("Level"), level) && level >= 1 && level <= 5)
            return static_cast<int>(level);
        return 0;
    } catch (const CDaoException&) {
        // Version 5 data without a Level column is standard data.
        return 3;
    }
}

} // namespace

BOOL CSearchDb::IsProductData(const std::string& path, const std::string& kind)
{
    DatabaseHandle db(*this, OpenDatabase(path, TRUE));
    if (!db.IsOpen())
        return FALSE;
    RecordsetHandle rs(*this, OpenRecordset(db.get(), LoadResString(13023)));
    return rs.IsOpen() && IsProductRow(*this, rs.get(), kind) ? TRUE : FALSE;
}

int CSearchDb::GetDataLevel(const std::string& path)
{
    DatabaseHandle db(*this, OpenDatabase(path, TRUE));
    if (!db.IsOpen())
        return 0;
    RecordsetHandle rs(*this, OpenRecordset(db.get(), LoadResString(13023)));
    return rs.IsOpen() ? LevelOfRow(*this, rs.get()) : 0;
}

int CSearchDb::GetProductDataLevel(const std::string& path, const std::string& kind)
{
    DatabaseHandle db(*this, OpenDatabase(path, TRUE));
    if (!db.IsOpen())
        return 0;
    RecordsetHandle rs(*this, OpenRecordset(db.get(), LoadResString(13023)));
    return rs.IsOpen() && IsProductRow(*this, rs.get(), kind) ? LevelOfRow(*this, rs.get()) : 0;
}

long CSearchDb::CountRecords(const std::string& path, const std::string& sql)
{
    DatabaseHandle db(*this, OpenDatabase(path, TRUE));
    if (!db.IsOpen())
        return -1;
    RecordsetHandle rs(*this, OpenRecordset(db.get(), sql));
    if (!rs.IsOpen())
        return -1;
    try {
        if (rs->IsEOF())
            return 0;
        rs->MoveLast();
        return rs->GetRecordCount();
    } catch (const CDaoException&) {
        return -1;
    }
}

long CSearchDb::EstimateGenreSize(const std::string& path, const std::string& l1, const std::string& l2)
{
    return GenreSize(CountRecords(path, FormatSql(13070, l1, l2)), CountRecords(path, FormatSql(13080, l1, l2)));
}

long CSearchDb::GenreSize(long categories, long points)
{
    // A genre whose rows cannot be counted has no size: the caller must not
    // take the failure for one.
    if (categories < 0 || points < 0)
        return -1;
    return static_cast<long>(points * 400.0 + categories * 200.0);
}

BOOL CSearchDb::GetFirstFieldText(std::string& result, const std::string& path, const std::string& sql,
                                  const std::string& field)
{
    DatabaseHandle db(*this, OpenDatabase(path, TRUE));
    if (!db.IsOpen())
        return FALSE;
    RecordsetHandle rs(*this, OpenRecordset(db.get(), sql));
    if (!rs.IsOpen())
        return FALSE;
    try {
        result = rs->IsEOF() ? std::string() : VariantText(rs->GetFieldValue(field));
    } catch (const CDaoException&) {
        return FALSE;
    }
    return TRUE;
}

BOOL CSearchDb::IsCategoryNameAbsent(const std::string& path, const std::string& name)
{
    DatabaseHandle db(*this, OpenDatabase(path, TRUE));
    if (!db.IsOpen())
        return FALSE;
    RecordsetHandle rs(*this, OpenRecordset(db.get(), SubstituteSql("SELECT Name FROM Category WHERE Name='%s'", {name})));
    if (!rs.IsOpen())
        return FALSE;
    try {
        // No row finds "", which an empty name equals: such a genre counts
        // as present, so nothing is installed under it.
        const std::string found = rs->IsEOF() ? std::string() : VariantText(rs->GetFieldValue("Name"));
        return found != name ? TRUE : FALSE;
    } catch (const CDaoException&) {
        return FALSE;
    }
}

BOOL CSearchDb::DeleteGroupRow(const std::string& path, const std::string& groupCode)
{
    return ExecuteSQL(path, FormatSql(12030, groupCode));
}
