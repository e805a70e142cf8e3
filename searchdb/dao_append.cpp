// Appending every row of one recordset to another's table in one statement:
// the destination's handle attaches the source's file (read through the
// source's own handle, dao_borrowed_file.cpp) and runs INSERT ... SELECT,
// the source's own query supplying the rows, so that SQLite copies each
// field without handing it to us and back. A function in the statement runs
// the caller's work after every row, which may stop the copy.
#include <sqlite3.h>

#include <cstring>
#include <exception>
#include <set>

#include "searchdb/dao_borrowed_file.h"
#include "searchdb/dao_impl.h"

struct RowHook {
    const std::function<bool()>* afterRow = nullptr;
    long rows = 0; // rows selected so far
    bool stopped = false;
    std::exception_ptr error;

    // The work after a row; false stops the copy.
    bool AfterRow()
    {
        try {
            if ((*afterRow)())
                return true;
            stopped = true;
        } catch (...) {
            error = std::current_exception();
        }
        return false;
    }
};

namespace dao {

namespace {

constexpr const char* kRowFunction = "pellvane_copied_row";

// Called with the first field of each row as it is selected, the row
// before it having been written; hands the field on unchanged.
void CopiedRow(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    RowHook* hook = static_cast<DaoFile*>(sqlite3_user_data(ctx))->rowHook;
    if (hook && hook->rows++ > 0 && !hook->AfterRow()) {
        sqlite3_result_error(ctx, "the copy was stopped", -1);
        return;
    }
    sqlite3_result_value(ctx, argv[0]);
}

// The tables the query reads, all of the main database; false when it
// reads anything else (a view, another database, the schema).
bool TablesRead(sqlite3* db, const char* sql, std::vector<std::string>& tables)
{
    struct Reads {
        std::set<std::string> tables;
        bool other = false;
    } reads;
    sqlite3_set_authorizer(
        db,
        [](void* p, int action, const char* table, const char*, const char* schema, const char* view) {
            auto& r = *static_cast<Reads*>(p);
            if (action == SQLITE_READ && table && schema && std::strcmp(schema, "main") == 0 && !view &&
                std::strncmp(table, "sqlite_", 7) != 0)
                r.tables.insert(table);
            else if (action != SQLITE_SELECT && action != SQLITE_FUNCTION)
                r.other = true;
            return SQLITE_OK;
        },
        &reads);
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    sqlite3_set_authorizer(db, nullptr, nullptr);
    sqlite3_finalize(raw);
    if (rc != SQLITE_OK || reads.other || reads.tables.empty())
        return false;
    tables.assign(reads.tables.begin(), reads.tables.end());
    return true;
}

// Whether every table and view of source has a namesake in dest. Until the
// transaction ends, a name that the destination's handle does not find in
// its own file is looked for in the files attached to it; with this, none
// is found there that was not found before.
bool HasEveryTableOf(sqlite3* source, sqlite3* dest)
{
    const char* kNames =
        "SELECT name FROM main.sqlite_master WHERE type IN ('table','view') AND name NOT LIKE 'sqlite~_%' ESCAPE '~'";
    const Statement names = Prepare(source, kNames);
    const Statement find =
        Prepare(dest, "SELECT 1 FROM main.sqlite_master WHERE type IN ('table','view') AND name = ?1 COLLATE NOCASE");
    int rc;
    while ((rc = sqlite3_step(names.get())) == SQLITE_ROW) {
        sqlite3_bind_value(find.get(), 1, sqlite3_column_value(names.get(), 0));
        const int found = sqlite3_step(find.get());
        sqlite3_reset(find.get());
        if (found != SQLITE_ROW)
            return false;
    }
    return rc == SQLITE_DONE;
}

// The source's file attached to the destination's handle: its schema name,
// or "" when it cannot be attached.
std::string AttachSource(DaoFile& dest, const std::shared_ptr<DaoFile>& source)
{
    for (const auto& [file, schema] : dest.attached)
        if (file == source)
            return schema;
    if (!HasEveryTableOf(source->db, dest.db))
        return "";
    static unsigned long lastSchema = 0;
    const std::string schema = "dao_source_" + std::to_string(++lastSchema);
    const BorrowedName name(source);
    const Statement attach = Prepare(dest.db, "ATTACH ?1 AS " + schema);
    sqlite3_bind_text(attach.get(), 1, name.Uri().c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(attach.get()) != SQLITE_DONE)
        return "";
    dest.attached.emplace_back(source, schema);
    return schema;
}

void MakeRowFunction(DaoFile& dest)
{
    if (dest.rowFunctionMade)
        return;
    const int rc = sqlite3_create_function(dest.db, kRowFunction, 1, SQLITE_UTF8 | SQLITE_DIRECTONLY, &dest, CopiedRow,
                                           nullptr, nullptr);
    if (rc != SQLITE_OK)
        ThrowFromDb(dest.db, rc, "row function");
    dest.rowFunctionMade = true;
}

// The statement that copies the source's rows: its query, with each table
// it reads taken from the attached file, and a column per field.
std::string CopySql(const std::string& schema, const std::vector<std::string>& tables, const std::string& query,
                    const std::string& table, const std::vector<std::string>& fields,
                    const std::vector<std::string>& columns)
{
    std::string sql = "WITH ";
    for (size_t i = 0; i < tables.size(); ++i)
        sql += (i ? ", " : "") + QuoteIdentifier(tables[i]) + " AS (SELECT * FROM " + schema + "." +
            QuoteIdentifier(tables[i]) + ")";
    sql += " INSERT INTO main." + QuoteIdentifier(table) + " (";
    for (size_t i = 0; i < columns.size(); ++i)
        sql += (i ? "," : "") + QuoteIdentifier(columns[i]);
    sql += ") SELECT ";
    for (size_t i = 0; i < fields.size(); ++i)
        sql +=
            i ? "," + QuoteIdentifier(fields[i]) : std::string(kRowFunction) + "(" + QuoteIdentifier(fields[i]) + ")";
    return sql + " FROM (" + query + "\n)";
}

} // namespace

void DetachSources(DaoFile& file)
{
    if (!file.db || !sqlite3_get_autocommit(file.db))
        return;
    for (auto it = file.attached.begin(); it != file.attached.end();) {
        const std::string sql = "DETACH " + it->second;
        if (sqlite3_exec(file.db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK)
            it = file.attached.erase(it);
        else
            ++it;
    }
}

} // namespace dao

CDaoRecordset::AppendResult CDaoRecordset::AppendRowsOf(CDaoRecordset& source, const std::function<bool()>& afterRow)
{
    Impl& dst = *m_impl;
    Impl& src = *source.m_impl;
    dst.RequireOpen();
    src.RequireOpen();
    if (dst.readOnly)
        dao::Throw(SQLITE_READONLY, "connection is read-only");
    DaoFile& file = *dst.file;
    // Inside a transaction only: a row at a time commits each row on its
    // own, which one statement cannot. From the source's first row, from a
    // file the source's handle is not writing.
    if (src.file == dst.file || sqlite3_get_autocommit(file.db) || src.visited > 1 || src.lastPending ||
        sqlite3_txn_state(src.Db(), "main") == SQLITE_TXN_WRITE)
        return AppendResult::Unsupported;
    dst.ResolveTable();

    // Each field goes to the column of its name; two fields to one column,
    // or one with none, are for the row-by-row copy to deal with.
    const int nFields = sqlite3_column_count(src.stmt.get());
    std::vector<std::string> fields, columns;
    std::vector<bool> taken(dst.tableColumns.size(), false);
    size_t next = 0;
    for (int i = 0; i < nFields; ++i) {
        const int column = dao::FindName(dst.tableColumns, src.names[static_cast<size_t>(i)], next);
        if (column < 0 || taken[static_cast<size_t>(column)])
            return AppendResult::Unsupported;
        taken[static_cast<size_t>(column)] = true;
        const char* field = sqlite3_column_name(src.stmt.get(), i);
        fields.emplace_back(field ? field : "");
        columns.push_back(dst.tableColumnsUtf8[static_cast<size_t>(column)]);
    }
    if (fields.empty())
        return AppendResult::Unsupported;

    if (src.started && src.eof)
        return AppendResult::Done;
    const std::string query = dao::QueryText(src.stmt.get());
    std::vector<std::string> tables;
    if (query.empty() || !dao::TablesRead(src.Db(), query.c_str(), tables))
        return AppendResult::Unsupported;
    dao::WritePendingRows(file);
    const std::string schema = dao::AttachSource(file, src.file);
    if (schema.empty())
        return AppendResult::Unsupported;
    dao::MakeRowFunction(file);
    sqlite3_stmt* raw = nullptr;
    const std::string sql = dao::CopySql(schema, tables, query, dst.tableUtf8, fields, columns);
    if (sqlite3_prepare_v2(file.db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        return AppendResult::Unsupported;
    const dao::Statement copy(raw);

    // The savepoint takes the copy's rows away again when the work after
    // the last row stops it, which is after the statement has ended.
    dao::Exec(file.db, "SAVEPOINT dao_copy");
    RowHook hook;
    hook.afterRow = &afterRow;
    file.rowHook = &hook;
    int rc = sqlite3_step(copy.get());
    file.rowHook = nullptr;
    const std::string what = sqlite3_errmsg(file.db);
    sqlite3_reset(copy.get());
    if (rc == SQLITE_DONE && hook.rows > 0 && !hook.AfterRow())
        rc = SQLITE_ABORT;
    if (rc != SQLITE_DONE) {
        // Not there when the engine has rolled the whole transaction back.
        sqlite3_exec(file.db, "ROLLBACK TO dao_copy; RELEASE dao_copy", nullptr, nullptr, nullptr);
        if (hook.error)
            std::rethrow_exception(hook.error);
        if (hook.stopped)
            return AppendResult::Stopped;
        dao::Throw(rc, what);
    }
    dao::Exec(file.db, "RELEASE dao_copy");
    // The source has been read to its end.
    sqlite3_reset(src.stmt.get());
    src.started = true;
    src.eof = true;
    src.visited = hook.rows;
    return AppendResult::Done;
}
