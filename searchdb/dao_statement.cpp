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
    // What follows the statement may be blanks, semicolons and comments;
    // SQLite compiles those to no statement at all.
    const char* const end = sqlUtf8.c_str() + sqlUtf8.size();
    while (tail && tail < end) {
        sqlite3_stmt* next = nullptr;
        const char* after = nullptr;
        const int nextRc = sqlite3_prepare_v2(db, tail, static_cast<int>(end - tail), &next, &after);
        const Statement second(next);
        if (nextRc != SQLITE_OK || second)
            Throw(SQLITE_ERROR, "more than one statement");
        if (!after || after <= tail)
            break;
        tail = after;
    }
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


} // namespace dao
