// What the engine's own files share: Jet's names and dialect, and the
// objects behind CDaoDatabase and CDaoRecordset. Engine-internal.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "searchdb/dao.h"
#include "searchdb/dao_file.h"
#include "searchdb/dao_statement.h"

namespace dao {

bool IsBlank(char c);
// The index of name in names (-1: none), names compared as Jet compares
// them. Callers ask for the fields of a row in the same order row after
// row, so the field after the one found last (next) is tried first; next
// moves on. The common case, the same bytes, costs no call.
int FindNameFrom(const std::vector<std::string>& names, const std::string& name, size_t& next);
inline int FindName(const std::vector<std::string>& names, const std::string& name, size_t& next)
{
    if (next < names.size() && names[next] == name) {
        const int found = static_cast<int>(next);
        next = next + 1 < names.size() ? next + 1 : 0;
        return found;
    }
    return FindNameFrom(names, name, next);
}
std::string ToSqliteDialect(const std::string& sql);
// A statement's text without the blanks and semicolons that end it, to be
// used inside another statement ("" when there is none).
std::string QueryText(sqlite3_stmt* stmt);
std::string QuoteIdentifier(const std::string& utf8);

} // namespace dao

struct CDaoDatabase::Impl {
    std::shared_ptr<DaoFile> file;
    bool readOnly = true;
    std::string name;
    std::vector<CDaoRecordset::Impl*> recordsets;
};

struct CDaoRecordset::Impl {
    CDaoDatabase::Impl* owner = nullptr;
    std::shared_ptr<DaoFile> file;
    bool readOnly = true;
    dao::Statement stmt;
    std::vector<std::string> names; // CP932
    size_t nextName = 0;            // where the next name lookup starts

    // Position: the statement is stepped on first use, one row at a time.
    bool started = false;
    bool eof = false;
    // After MoveLast the statement has run to its end; the last row's
    // values are fetched again only if someone reads them.
    bool lastPending = false;
    long visited = 0;

    // Appending: the recordset's table and its columns.
    std::uint64_t appender = 0; // tells the file's batch whose rows it holds
    bool tableKnown = false;
    std::string tableUtf8;
    std::vector<std::string> tableColumns;     // CP932
    std::vector<std::string> tableColumnsUtf8;
    std::vector<COleVariant> newRow;
    size_t nextColumn = 0;
    bool adding = false;

    bool IsOpen() const { return stmt != nullptr; }
    sqlite3* Db() const { return file->db; }

    // Lets go of the statement and the file; the recordset is closed.
    void Finalize();
    void RequireOpen() const;
    bool Step();
    void Start();
    void RequireCurrentRow();
    void Materialize();
    // The number of rows of the query, counted apart (-1: it cannot be).
    long CountRows();
    void ResolveTable();
};
