// The rows appended to one file and not yet written. An INSERT statement
// per row costs SQLite about as much again as the row itself (each one
// opens and closes a cursor on the table and on every index); a statement of
// many rows pays that once for all of them. Engine-internal.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "searchdb/dao_file.h"
#include "searchdb/dao_statement.h"

namespace dao {

class RowBatch final : public DaoRowBatch {
public:
    // More rows per statement gain nothing measurable.
    static constexpr size_t kMostRows = 64;

    explicit RowBatch(DaoFile& file) : m_file(file), m_db(file.db) {}
    RowBatch(const RowBatch&) = delete;
    RowBatch& operator=(const RowBatch&) = delete;

    // The rows that follow go to table with these columns, for the
    // recordset appender; another appender's waiting rows are written first.
    void Target(std::uint64_t appender, const std::string& tableUtf8, const std::vector<std::string>& columnsUtf8);

    // The values of the next row, one per column, for the caller to fill.
    BoundValue* NextRow()
    {
        const size_t n = m_columns.size();
        if (m_values.size() < (m_rows + 1) * n)
            m_values.resize((m_rows + 1) * n);
        return &m_values[m_rows * n];
    }

    // The row that NextRow handed out is filled: it waits, and a full batch
    // is written.
    void Add()
    {
        if (++m_rows == m_batchRows)
            WriteRows();
    }

    // The row that NextRow handed out is filled: written now, on its own.
    // A failure leaves nothing behind.
    void WriteOne();

    bool Empty() const override { return m_rows == 0; }
    void Write() override;
    void Drop() override { m_rows = 0; }

private:
    // Raises the failure of a row after the others have been written.
    void WriteRows();
    std::string InsertSql(size_t rows) const;
    int StepRow(size_t row);

    DaoFile& m_file;
    sqlite3* m_db;
    std::uint64_t m_appender = 0;
    std::string m_table;
    std::vector<std::string> m_columns;
    Statement m_many;
    Statement m_one;
    std::vector<BoundValue> m_values; // m_rows rows of m_columns.size() values
    size_t m_rows = 0;
    size_t m_batchRows = 1; // rows per statement
};

} // namespace dao
