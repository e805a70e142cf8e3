#include "searchdb/dao_row_batch.h"

#include <sqlite3.h>

#include <algorithm>

#include "searchdb/dao_impl.h"

namespace dao {

void RowBatch::Target(std::uint64_t appender, const std::string& tableUtf8,
                      const std::vector<std::string>& columnsUtf8)
{
    if (appender == m_appender)
        return;
    Write();
    if (tableUtf8 != m_table || columnsUtf8 != m_columns) {
        m_many.reset();
        m_one.reset();
        m_table = tableUtf8;
        m_columns = columnsUtf8;
        // A statement takes only so many parameters.
        const size_t most = static_cast<size_t>(sqlite3_limit(m_db, SQLITE_LIMIT_VARIABLE_NUMBER, -1));
        m_batchRows = std::max<size_t>(1, std::min(kMostRows, most / std::max<size_t>(1, m_columns.size())));
    }
    m_appender = appender;
}

void RowBatch::WriteOne()
{
    const int rc = StepRow(m_rows);
    if (rc != SQLITE_DONE)
        Throw(rc, sqlite3_errmsg(m_db));
}

void RowBatch::Write()
{
    try {
        WriteRows();
    } catch (const CDaoException& e) {
        if (m_file.inTransaction && m_file.failedCode == SQLITE_OK) {
            m_file.failedCode = e.m_nEngineCode;
            m_file.failedWhat = e.what();
            m_file.failedLevel = WorkspaceDepth();
        }
        throw;
    }
}

void RowBatch::WriteRows()
{
    const size_t rows = m_rows;
    if (rows == 0)
        return;
    m_rows = 0;
    // The rows belong to a transaction; should the engine have rolled it
    // back meanwhile they must not be written outside it.
    if (sqlite3_get_autocommit(m_db))
        Throw(SQLITE_ABORT, "the transaction was rolled back by the engine");
    if (rows == m_batchRows && rows > 1) {
        if (!m_many)
            m_many = Prepare(m_db, InsertSql(rows), SQLITE_PREPARE_PERSISTENT);
        const size_t n = rows * m_columns.size();
        int rc = SQLITE_OK;
        for (size_t i = 0; i < n && rc == SQLITE_OK; ++i)
            rc = Bind(m_many.get(), static_cast<int>(i) + 1, m_values[i]);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(m_many.get());
            sqlite3_reset(m_many.get());
            if (rc == SQLITE_DONE)
                return;
            if (sqlite3_get_autocommit(m_db))
                Throw(rc, sqlite3_errmsg(m_db));
        }
        // Nothing of the statement is left (SQLite undid it alone): the
        // rows go again one by one, so that all but the failing ones
        // arrive, as they would have with a statement each.
    }
    int failed = SQLITE_OK;
    std::string what;
    for (size_t r = 0; r < rows; ++r) {
        const int rc = StepRow(r);
        if (rc == SQLITE_DONE)
            continue;
        if (failed == SQLITE_OK) {
            failed = rc;
            what = sqlite3_errmsg(m_db);
        }
        if (sqlite3_get_autocommit(m_db))
            break;
    }
    if (failed != SQLITE_OK)
        Throw(failed, what);
}

std::string RowBatch::InsertSql(size_t rows) const
{
    std::string sql = "INSERT INTO main." + QuoteIdentifier(m_table) + " (";
    std::string values = "(";
    for (size_t i = 0; i < m_columns.size(); ++i) {
        if (i) {
            sql += ',';
            values += ',';
        }
        sql += QuoteIdentifier(m_columns[i]);
        values += '?';
    }
    values += ')';
    sql += ") VALUES " + values;
    for (size_t r = 1; r < rows; ++r)
        sql += ',' + values;
    return sql;
}

int RowBatch::StepRow(size_t row)
{
    if (!m_one)
        m_one = Prepare(m_db, InsertSql(1), SQLITE_PREPARE_PERSISTENT);
    const size_t n = m_columns.size();
    for (size_t i = 0; i < n; ++i) {
        const int rc = Bind(m_one.get(), static_cast<int>(i) + 1, m_values[row * n + i]);
        if (rc != SQLITE_OK)
            return rc;
    }
    const int rc = sqlite3_step(m_one.get());
    sqlite3_reset(m_one.get());
    return rc;
}

} // namespace dao
