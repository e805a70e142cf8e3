// The tests' one reader of database files: SQLite directly, as another
// program would see the file, never through the engine under test.
#pragma once

#include <string>
#include <vector>

struct sqlite3;

using Strings = std::vector<std::string>;
using Rows = std::vector<Strings>; // each row's columns as text, Null as "<null>"

class SqliteFile {
public:
    enum OpenMode { Existing, CreateIfMissing };
    explicit SqliteFile(const std::string& path, OpenMode mode = Existing);
    ~SqliteFile();
    SqliteFile(const SqliteFile&) = delete;
    SqliteFile& operator=(const SqliteFile&) = delete;

    // Any number of statements; the rows of all of them.
    Rows Query(const std::string& sql);
    // One statement with texts bound in order (nullptr binds Null).
    Rows Query(const std::string& sql, const std::vector<const char*>& values);
    void Exec(const std::string& sql) { Query(sql); }

private:
    sqlite3* m_db = nullptr;
};

// Runs statements on a file, made if missing; throws on any error.
Rows Query(const std::string& path, const std::string& sql);
// A row's columns joined with "|".
std::string Joined(const Strings& row);
// The first column of every row.
Strings FirstColumn(const Rows& rows);
