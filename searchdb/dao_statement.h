// Prepared statements of the engine and the values that go in and out of
// them. Engine-internal.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>

#include "searchdb/dao.h"

namespace dao {

struct StatementFinalizer {
    void operator()(sqlite3_stmt* stmt) const noexcept { sqlite3_finalize(stmt); }
};

// The one owner of a prepared statement: finalized when it goes.
using Statement = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// Prepares exactly one statement; raises on failure, on an empty text and
// on a second statement after the first.
Statement Prepare(sqlite3* db, const std::string& sqlUtf8, unsigned flags = 0);

// Runs a query of one row and returns its first column; raises on failure.
std::int64_t QueryInt(sqlite3* db, const char* sql);

// A field value as SQLite takes it: text in UTF-8, a blob as it stands.
struct BoundValue {
    COleVariant::Kind kind = COleVariant::Kind::Null;
    std::int64_t integer = 0;
    double real = 0.0;
    std::string bytes;
};

// The value of column i of the current row. (Here, and Bind below, because
// they run for every field of every row.)
inline COleVariant ColumnValue(sqlite3_stmt* stmt, int i)
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

// Binds a value whose bytes outlive the statement's next step. A value
// refused (too big) leaves the parameter as it was: its statement must not
// run.
inline int Bind(sqlite3_stmt* stmt, int p, const BoundValue& v)
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
