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

COleVariant ColumnValue(sqlite3_stmt* stmt, int i);

// A field value as SQLite takes it: text in UTF-8, a blob as it stands.
struct BoundValue {
    COleVariant::Kind kind = COleVariant::Kind::Null;
    std::int64_t integer = 0;
    double real = 0.0;
    std::string bytes;
};

// Binds a value whose bytes outlive the statement's next step. A value
// refused (too big) leaves the parameter as it was: its statement must not
// run.
int Bind(sqlite3_stmt* stmt, int p, const BoundValue& v);

} // namespace dao
