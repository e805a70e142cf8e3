// Guide databases made through CSearchDb, filled and read with SQLite directly as another program would.
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
#include "support/sqlite_file.h"
#include "support/test_support.h"

struct FixtureGenre {
    std::string l1, l2;
    std::string name;      // UTF-8
    int points = 1;        // 400 bytes each
    const char* ts99 = ""; // TS99GenreCode of its points; nullptr stores Null
    int extraCategoryRows = 0;
};

// Property row, seed row, the genres (each with a group row for its L1).
inline void MakeGuideDb(const std::string& path, const std::vector<FixtureGenre>& genres, const char* dataName = "GuideData")
{
    CSearchDb db;
    if (!db.CreateDatabase(path) || !db.ExecuteSQL(path, LoadResString(10010)) || !db.ExecuteSQL(path, LoadResString(10020)) ||
        !db.ExecuteSQL(path, LoadResString(10030)))
        throw std::runtime_error("cannot create " + path);
    SqliteFile f(path);
    f.Exec("BEGIN");
    f.Query("INSERT INTO Property (ProductName,ProductVersion,DataName,DataVersion) VALUES ('Tessra','5.0',?,'1.0')", {dataName});
    f.Exec("INSERT INTO Category (L1,Name,NamePronounce) VALUES ('0','施設','シセツ')");
    const std::string cat = "INSERT INTO Category (L1,L2,L3,Name,NamePronounce) VALUES (?,?,?,?,?)";
    std::set<std::string> groups;
    for (const FixtureGenre& g : genres) {
        if (groups.insert(g.l1).second)
            f.Query(cat, {g.l1.c_str(), "0", nullptr, ("Group " + g.l1).c_str(), "グループ"});
        f.Query(cat, {g.l1.c_str(), g.l2.c_str(), "0", g.name.c_str(), "ジャンル"});
        for (int i = 1; i <= g.extraCategoryRows; ++i)
            f.Query(cat, {g.l1.c_str(), g.l2.c_str(), std::to_string(i).c_str(), (g.name + " sub").c_str(), nullptr});
        for (int i = 0; i < g.points; ++i)
            f.Query("INSERT INTO Point (L1,L2,L3,Longitude,Latitude,Name,TS99GenreCode) VALUES (?,?,'1','503000000','128000000',?,?)",
                   {g.l1.c_str(), g.l2.c_str(), (g.name + " point " + std::to_string(i)).c_str(), g.ts99});
    }
    f.Exec("COMMIT");
}

inline std::vector<std::string> GenreNames(const std::string& p) { return FirstColumn(SqliteFile(p).Query("SELECT Name FROM Category WHERE L3='0' ORDER BY L1,L2")); }
inline long RowCount(const std::string& p, const std::string& where) { return std::stol(SqliteFile(p).Query("SELECT count(*) FROM " + where).at(0).at(0)); }
inline std::string IntegrityCheck(const std::string& path) { return SqliteFile(path).Query("PRAGMA integrity_check").at(0).at(0); }

inline constexpr const char* kAskOptimise =
    "施設データが変更されています。\n施設データの最適化を行ないますか？\n\nデータの最適化は\nインストール済みのデータの大き"
    "さにより\nかなり時間が掛かる場合があります。\n\nまた、最適化を行なうと、\n１．検索パフォーマンスの向上\n２．ファイルサ"
    "イズの縮小\nの効果が得られる可能性があります。\n";

inline std::vector<std::string> AllRows(const std::string& path)
{
    std::vector<std::string> rows;
    for (const char* table : {"Property", "Category", "Point"})
        for (const auto& r : SqliteFile(path).Query(std::string("SELECT * FROM ") + table))
            rows.push_back(std::string(table) + ":" + Joined(r));
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Files named db*: temporaries of the optimisation.
inline std::vector<std::string> DbTempFiles(const std::string& dir)
{
    std::vector<std::string> found;
    for (const auto& name : ListDir(dir))
        if (name.rfind("db", 0) == 0)
            found.push_back(name);
    return found;
}
