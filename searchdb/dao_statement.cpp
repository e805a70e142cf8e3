#include "searchdb/dao_statement.h"

#include "searchdb/dao_file.h"
#include "searchdb/dao_impl.h"

namespace dao {

Statement Prepare(sqlite3* db, const std::string& sqlUtf8, unsigned flags)
{
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v3(db, sqlUtf8.c_str(), static_cast<int>(sqlUtf8.size()), flags, &raw, &tail);
    Statement stmt(raw);
    if (rc != SQLITE_OK)
        ThrowFromDb(db, rc, "");
    if (!stmt)
        Throw(SQLITE_ERROR, "empty statement");
    for (const char* p = tail; p && p < sqlUtf8.c_str() + sqlUtf8.size(); ++p)
        if (!IsBlank(*p) && *p != ';')
            Throw(SQLITE_ERROR, "more than one statement");
    return stmt;
}

std::int64_t QueryInt(sqlite3* db, const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    Statement stmt(raw);
    if (rc != SQLITE_OK)
        ThrowFromDb(db, rc, sql);
    rc = sqlite3_step(stmt.get());
    if (rc != SQLITE_ROW)
        ThrowFromDb(db, rc, sql);
    return sqlite3_column_int64(stmt.get(), 0);
}


COleVariant ColumnValue(sqlite3_stmt* stmt, int i)
{
    COleVariant v;
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
        v = COleVariant::FromInteger(sqlite3_column_int64(stmt, i));
        break;
    case SQLITE_FLOAT:
        v.kind = COleVariant::Kind::Real;
        v.real = sqlite3_column_double(stmt, i);
        break;
    case SQLITE_TEXT: {
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        const size_t n = static_cast<size_t>(sqlite3_column_bytes(stmt, i));
        if (!p)
            p = "";
        v.kind = COleVariant::Kind::Text;
        v.bytes.assign(p, n);
        break;
    }
    case SQLITE_BLOB: {
        const char* p = static_cast<const char*>(sqlite3_column_blob(stmt, i));
        const int n = sqlite3_column_bytes(stmt, i);
        v.kind = COleVariant::Kind::Blob;
        v.bytes.assign(p ? p : "", n);
        break;
    }
    default:
        break;
    }
    return v;
}

int Bind(sqlite3_stmt* stmt, int p, const BoundValue& v)
{
    switch (v.kind) {
    case COleVariant::Kind::Null:
        return sqlite3_bind_null(stmt, p);
    case COleVariant::Kind::Integer:
        return sqlite3_bind_int64(stmt, p, v.integer);
    case COleVariant::Kind::Real:
        return sqlite3_bind_double(stmt, p, v.real);
    case COleVariant::Kind::Text:
        return sqlite3_bind_text64(stmt, p, v.bytes.data(), v.bytes.size(), SQLITE_STATIC, SQLITE_UTF8);
    case COleVariant::Kind::Blob:
        return sqlite3_bind_blob64(stmt, p, v.bytes.data(), v.bytes.size(), SQLITE_STATIC);
    }
    return SQLITE_MISUSE;
}

} // namespace dao
