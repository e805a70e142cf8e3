#include "support/sqlite_file.h"

#include <sqlite3.h>

#include <stdexcept>

SqliteFile::SqliteFile(const std::string& path, OpenMode mode)
{
    const int flags = SQLITE_OPEN_READWRITE | (mode == CreateIfMissing ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close(m_db);
        throw std::runtime_error("cannot open " + path);
    }
}

SqliteFile::~SqliteFile()
{
    sqlite3_close(m_db);
}

Rows SqliteFile::Query(const std::string& sql)
{
    Rows rows;
    char* err = nullptr;
    auto collect = [](void* out, int n, char** values, char**) {
        Strings& row = static_cast<Rows*>(out)->emplace_back();
        for (int i = 0; i < n; ++i)
            row.push_back(values[i] ? values[i] : "<null>");
        return 0;
    };
    const int rc = sqlite3_exec(m_db, sql.c_str(), collect, &rows, &err);
    const std::string what = err ? err : "";
    sqlite3_free(err);
    if (rc != SQLITE_OK)
        throw std::runtime_error(what + " in " + sql);
    return rows;
}

Rows SqliteFile::Query(const std::string& sql, const std::vector<const char*>& values)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string(sqlite3_errmsg(m_db)) + " in " + sql);
    for (size_t i = 0; i < values.size(); ++i)
        sqlite3_bind_text(st, static_cast<int>(i + 1), values[i], -1, SQLITE_TRANSIENT);
    Rows rows;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        Strings& row = rows.emplace_back();
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
            row.push_back(t ? t : "<null>");
        }
    }
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        throw std::runtime_error(std::string(sqlite3_errmsg(m_db)) + " in " + sql);
    return rows;
}

Rows Query(const std::string& path, const std::string& sql)
{
    return SqliteFile(path, SqliteFile::CreateIfMissing).Query(sql);
}

std::string Joined(const Strings& row)
{
    std::string out;
    for (size_t i = 0; i < row.size(); ++i)
        out += (i ? "|" : "") + row[i];
    return out;
}

Strings FirstColumn(const Rows& rows)
{
    Strings out;
    for (const Strings& row : rows)
        out.push_back(row.at(0));
    return out;
}
