// Guide databases for the guide page's tests: made through CSearchDb (so
// they carry the search database marks and schema) and filled and read
// back with SQLite directly, as another program would see them.
#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/cp932.h"
#include "res/strings.h"
#include "searchdb/search_db.h"

struct FixtureGenre {
    std::string l1;
    std::string l2;
    std::string name;        // UTF-8
    int points = 1;
    const char* ts99 = "";   // TS99GenreCode of its points; nullptr stores Null
    int extraCategoryRows = 0;
};

class SqliteFile {
public:
    explicit SqliteFile(const std::string& path)
    {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path);
    }
    ~SqliteFile() { sqlite3_close(m_db); }
    SqliteFile(const SqliteFile&) = delete;
    SqliteFile& operator=(const SqliteFile&) = delete;

    void Exec(const std::string& sql)
    {
        char* err = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::string msg = err ? err : "?";
            sqlite3_free(err);
            throw std::runtime_error(msg + " in " + sql);
        }
    }

    // Each row's columns joined with "|" (Null as "<null>").
    std::vector<std::string> Rows(const std::string& sql)
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string(sqlite3_errmsg(m_db)) + " in " + sql);
        std::vector<std::string> rows;
        while (sqlite3_step(st) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                if (i)
                    row += "|";
                const unsigned char* t = sqlite3_column_text(st, i);
                row += t ? reinterpret_cast<const char*>(t) : "<null>";
            }
            rows.push_back(row);
        }
        sqlite3_finalize(st);
        return rows;
    }

    // Binds texts in order (nullptr binds Null) and runs the statement.
    void Insert(const std::string& sql, const std::vector<const char*>& values)
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string(sqlite3_errmsg(m_db)) + " in " + sql);
        for (size_t i = 0; i < values.size(); ++i) {
            if (values[i])
                sqlite3_bind_text(st, static_cast<int>(i + 1), values[i], -1, SQLITE_TRANSIENT);
            else
                sqlite3_bind_null(st, static_cast<int>(i + 1));
        }
        const int rc = sqlite3_step(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            throw std::runtime_error("insert failed: " + sql);
    }

private:
    sqlite3* m_db = nullptr;
};

inline void AddGenres(const std::string& path, const std::vector<FixtureGenre>& genres, bool bGroupRows = true)
{
    SqliteFile f(path);
    f.Exec("BEGIN");
    std::set<std::string> groups;
    for (const auto& g : f.Rows("SELECT L1 FROM Category WHERE L2='0'"))
        groups.insert(g);
    const std::string cat = "INSERT INTO Category (L1,L2,L3,L4,L5,L6,L7,L8,Name,NamePronounce) "
                            "VALUES (?,?,?,NULL,NULL,NULL,NULL,NULL,?,?)";
    for (const FixtureGenre& g : genres) {
        if (bGroupRows && groups.insert(g.l1).second) {
            const std::string name = "Group " + g.l1;
            f.Insert(cat, {g.l1.c_str(), "0", nullptr, name.c_str(), "グループ"});
        }
        f.Insert(cat, {g.l1.c_str(), g.l2.c_str(), "0", g.name.c_str(), "ジャンル"});
        for (int i = 0; i < g.extraCategoryRows; ++i) {
            const std::string l3 = std::to_string(i + 1);
            const std::string name = g.name + " sub " + l3;
            f.Insert(cat, {g.l1.c_str(), g.l2.c_str(), l3.c_str(), name.c_str(), nullptr});
        }
        for (int i = 0; i < g.points; ++i) {
            const std::string name = g.name + " point " + std::to_string(i);
            f.Insert("INSERT INTO Point (L1,L2,L3,Longitude,Latitude,Name,TS99GenreCode) VALUES (?,?,'1',?,?,?,?)",
                     {g.l1.c_str(), g.l2.c_str(), "503000000", "128000000", name.c_str(), g.ts99});
        }
    }
    f.Exec("COMMIT");
}

// A guide database of the host product: Property row, seed row, the genres
// (each with a group row for its L1 unless bGroupRows is false).
inline void MakeGuideDb(const std::string& path, const std::vector<FixtureGenre>& genres, bool bGroupRows = true,
                        const char* dataName = "GuideData")
{
    CSearchDb db;
    if (!db.CreateDatabase(path) || !db.ExecuteSQL(path, LoadResString(10010)) ||
        !db.ExecuteSQL(path, LoadResString(10020)) || !db.ExecuteSQL(path, LoadResString(10030)))
        throw std::runtime_error("cannot create " + path);
    {
        SqliteFile f(path);
        f.Insert("INSERT INTO Property (ProductName,ProductVersion,DataName,DataVersion) VALUES (?,?,?,?)",
                 {"Tessra", "5.0", dataName, "1.0"});
        f.Exec("INSERT INTO Category (L1,Name,NamePronounce) VALUES ('0','施設','シセツ')");
    }
    AddGenres(path, genres, bGroupRows);
}

inline std::vector<std::string> GenreNames(const std::string& path)
{
    SqliteFile f(path);
    return f.Rows("SELECT Name FROM Category WHERE L3='0' ORDER BY L1,L2");
}

inline std::vector<std::string> GroupRows(const std::string& path)
{
    SqliteFile f(path);
    return f.Rows("SELECT L1 FROM Category WHERE L2='0' ORDER BY L1");
}

inline long RowCount(const std::string& path, const std::string& sql)
{
    SqliteFile f(path);
    return std::stol(f.Rows(sql).at(0));
}

inline std::string IntegrityCheck(const std::string& path)
{
    SqliteFile f(path);
    return f.Rows("PRAGMA integrity_check").at(0);
}

// Every row of the three tables, for comparing two files' contents.
inline std::vector<std::string> AllRows(const std::string& path)
{
    SqliteFile f(path);
    std::vector<std::string> rows;
    for (const char* table : {"Property", "Category", "Point"})
        for (const auto& r : f.Rows(std::string("SELECT * FROM ") + table))
            rows.push_back(std::string(table) + ":" + r);
    std::sort(rows.begin(), rows.end());
    return rows;
}

inline std::string Cp(const char* utf8)
{
    return FromUtf8(utf8);
}
