// CSearchDb: the files it refuses, statements, the questions the pages ask,
// and the creation of a new guide database.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <tuple>

#include "searchdb/search_db.h"
#include "search_fixture.h"

using namespace fixture;

// A file that is missing, held by another process or not a search database
// of ours is refused at once, and left exactly as it was.
TEST(SearchDb, FilesThatAreHeldOrNotOursAreRefusedWith2039AndLeftUnchanged)
{
    TempDir dir;
    MakeGuideFile(dir / "good.dbs", PointRows("1", "1", 200));
    const std::string good = ReadFileBytes(dir / "good.dbs");
    std::string random = good;
    for (size_t i = 0; i < random.size(); i += 3)
        random[i] = static_cast<char>(i * 2654435761u >> 13);
    std::unique_ptr<OtherProcessHolding> holder;
    const std::pair<const char*, std::function<void(const std::string&)>> cases[] = {
        {"missing", [](const std::string&) {}},
        {"held", [&](const std::string& p) { MakeGuideFile(p), holder = std::make_unique<OtherProcessHolding>(J(p)); }},
        {"plain SQLite", [](const std::string& p) { Query(p, "CREATE TABLE Property (a)"); }},
        {"other password", [](const std::string& p) { MakeSearchFile(p, "PRAGMA user_version=12345"); }},
        {"random", [&](const std::string& p) { WriteFileBytes(p, random); }},
        {"empty", [](const std::string& p) { WriteFileBytes(p, ""); }},
        {"truncated mid-page", [&](const std::string& p) { WriteFileBytes(p, good.substr(0, good.size() / 2 + 7)); }},
        {"truncated at a page", [&](const std::string& p) { WriteFileBytes(p, good.substr(0, good.size() - 4096)); }},
        {"directory", [](const std::string& p) { mkdir(p.c_str(), 0755); }},
    };
    for (const auto& [name, make] : cases) {
        const std::string path = dir / (std::string(name) + "の住所.dbs");
        make(path);
        const std::string before = ReadFileBytes(path);
        for (BOOL readOnly : {TRUE, FALSE}) {
            MessageRecorder messages;
            CSearchDb db;
            db.CloseDatabase(db.OpenDatabase(J(path), readOnly));
            ASSERT_EQ(messages.texts(), Strings{Message(2039, path)}) << name;
            EXPECT_EQ(messages.shown()[0].type, MB_OK);
        }
        EXPECT_EQ(ReadFileBytes(path), before) << name;
    }
    EXPECT_EQ(ListDir(dir.path()).size(), std::size(cases)); // good.dbs and no journal beside any
}

// A statement that fails halfway (3 becomes 4, then 1 -> 2 collides) leaves
// the file unchanged, without a message.
TEST(SearchDb, AFailingStatementLeavesTheFileUnchanged)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, "CREATE TABLE T (a integer unique); INSERT INTO T VALUES (3),(1),(2);");
    const std::string before = ReadFileBytes(path);
    MessageRecorder messages;
    EXPECT_FALSE(CSearchDb().ExecuteSQL(path, "UPDATE T SET a = a + 1"));
    EXPECT_TRUE(messages.texts().empty());
    EXPECT_EQ(ReadFileBytes(path), before);
}

// What the pages ask before they replace or delete a file: whether it can be
// opened exclusively (2039 when not), and its removal with its journal,
// refused while any program holds it, this one included.
TEST(SearchDb, AFileIsOpenedExclusivelyAndRemovedOnlyWhenNobodyHoldsIt)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    CSearchDb db;
    std::unique_ptr<OtherProcessHolding> other;
    std::unique_ptr<CDaoDatabase, std::function<void(CDaoDatabase*)>> ours;
    const std::tuple<const char*, std::function<void()>, bool, bool> cases[] = {
        // name, hold, opens, removed
        {"held here", [&] { ours = {db.OpenDatabase(path, FALSE), [&](CDaoDatabase* p) { db.CloseDatabase(p); }}; },
         true, false},
        {"held by another process", [&] { other = std::make_unique<OtherProcessHolding>(path); }, false, false},
        {"free", [] {}, true, true},
    };
    for (const auto& [name, hold, opens, removed] : cases) {
        MakeGuideFile(path);
        WriteFileBytes(path + "-journal", "");
        hold();
        MessageRecorder messages;
        EXPECT_EQ(db.CanOpenExclusively(path, FALSE) != FALSE, opens) << name;
        EXPECT_EQ(messages.texts(), opens ? Strings{} : Strings{Message(2039, path)}) << name;
        EXPECT_EQ(RemoveDatabaseFile(path) != FALSE, removed) << name;
        EXPECT_EQ(messages.texts().size(), opens ? 0u : 1u) << name;
        EXPECT_EQ(ListDir(dir.path()), removed ? Strings{} : (Strings{"Guide.dbs", "Guide.dbs-journal"})) << name;
        ours.reset();
        other.reset();
        ::unlink(path.c_str());
        ::unlink((path + "-journal").c_str());
    }
    MessageRecorder messages;
    EXPECT_FALSE(db.CanOpenExclusively(path, TRUE));
    EXPECT_FALSE(RemoveDatabaseFile(path));
    EXPECT_EQ(messages.texts(), Strings{Message(2039, path)});
}

// Files made by another program (the sqlite3 shell) are read like ours.
TEST(SearchQueries, ThePropertyRowGivesTheKindAndTheAddressLevel)
{
    const std::string table = "CREATE TABLE Property (ProductName, ProductVersion, DataName, Level long);";
    const std::string row = table + "INSERT INTO Property VALUES ";
    const std::tuple<std::string, const char*, BOOL, int> cases[] = { // Property, kind asked, answers
        {row + "('Tessra','5.0','AddressData',4)", kAddressData, TRUE, 4},
        {row + "('Tessra','4.0','AddressData',4)", kAddressData, TRUE, 3},
        {row + "('Tessra','5.0','AddressData',7)", kAddressData, TRUE, 0},
        {Sql(10030) + ";INSERT INTO Property (ProductName, ProductVersion, DataName) VALUES ('Tessra','5.0','GuideData')",
         kGuideData, TRUE, 3}, // no Level column
        {row + "('Tessra','5.0','AddressData',4)", kGuideData, FALSE, 4},
        {row + "('Tessra ','5.0','GuideData',4)", kGuideData, FALSE, 4},
        {"", kGuideData, FALSE, 0},
    };
    TempDir dir;
    MessageRecorder messages;
    CSearchDb db;
    int n = 0;
    for (const auto& [sql, kind, product, level] : cases) {
        const std::string path = dir / (std::to_string(++n) + ".dbs");
        ASSERT_EQ(RunSqliteShell(path, kMarks + sql), 0);
        EXPECT_EQ(db.IsProductData(path, kind), product) << sql;
        EXPECT_EQ(db.GetDataLevel(path), level) << sql;
    }
    EXPECT_TRUE(messages.texts().empty());
}

TEST(SearchQueries, CountsSizesFirstFieldsAndAbsentNames)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs", none = dir / "none.dbs";
    MakeGuideFile(path, "INSERT INTO Category (L1,L2,L3,Name) VALUES ('2','3','0','寿司'),('2','3','1','a'),"
                        "('2','3','2','b'),('2','0',null,'Joe''s'),('1','3','0','ソフト');" + PointRows("2", "3", 10));
    MessageRecorder messages;
    CSearchDb db;
    EXPECT_EQ(db.CountRecords(path, FormatSql(13080, "2", "3")), 10);
    EXPECT_EQ(db.CountRecords(path, "SELECT * FROM Point WHERE"), -1);
    EXPECT_EQ(db.EstimateGenreSize(path, "2", "3"), 4600);
    std::string l2, nothing = "x", failed = "unchanged";
    EXPECT_TRUE(db.GetFirstFieldText(l2, path, FormatSql(13081, J("寿司")), "L2") &&
                db.GetFirstFieldText(nothing, path, FormatSql(13081, J("カレー")), "L1"));
    EXPECT_EQ(l2 + "/" + nothing, "3/");
    // Exact names; quotes and a trail byte 0x5C (ソ) cannot change the statement.
    // An empty name that no row carries equals the "" found: present.
    for (const auto& [name, absent] : {std::pair{std::string("Joe's"), FALSE}, {"joe's", TRUE}, {"x' OR Name<>'", TRUE},
                                       {J("ソフト"), FALSE}, {"", FALSE}})
        EXPECT_EQ(db.IsCategoryNameAbsent(path, name), absent) << ToUtf8(name);
    EXPECT_TRUE(messages.texts().empty());
    // A file that does not open: -1, no size, result unchanged; 2039 each time.
    EXPECT_EQ(db.CountRecords(none, FormatSql(13080, "2", "3")), -1);
    EXPECT_EQ(db.EstimateGenreSize(none, "2", "3"), -1);
    EXPECT_FALSE(db.GetFirstFieldText(failed, none, FormatSql(13081, J("寿司")), "L1"));
    EXPECT_EQ(failed, "unchanged");
    EXPECT_EQ(messages.texts(), Strings(4, Message(2039, none)));
}

TEST(SearchSchema, NewGuideFileHasTheSourcePropertyTablesIndexesAndSeedRow)
{
    TempDir dir;
    const std::string source = dir / "cd.dbs", dest = dir / "Guide.dbs";
    MakeGuideFile(source, PointRows("1", "1", 3));
    MessageRecorder messages;
    CSearchDb db;
    ASSERT_TRUE(CreateSearchFile(db, source, dest));
    EXPECT_EQ(Query(dest, "SELECT * FROM Property"), Query(source, "SELECT * FROM Property"));
    // One statement at a time, in this order: Point06 follows Point12.
    EXPECT_EQ(Query(dest, "SELECT group_concat(x, ' ') FROM (SELECT m.name || ':' || m.tbl_name || '.' || i.name AS x "
                          "FROM sqlite_master m, pragma_index_info(m.name) i WHERE m.type='index' ORDER BY m.rowid)"),
              Rows{{"Category01:Category.L1 Category02:Category.L2 Category03:Category.L3 Category04:Category.L4 "
                    "Category05:Category.L5 Point01:Point.L1 Point02:Point.L2 Point03:Point.L3 Point04:Point.L4 "
                    "Point05:Point.L5 Point07:Point.Longitude Point08:Point.Latitude Point09:Point.Name "
                    "Point10:Point.NamePronounce Point11:Point.Tel Point12:Point.PrefCode Point06:Point.L6 "
                    "Point13:Point.TS99GenreCode Point14:Point.TS99SearchGenreCode"}});
    EXPECT_EQ(Query(dest, "SELECT * FROM Category"),
              (Rows{{"0", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "施設", "シセツ"}}));
    EXPECT_EQ(Scalar(dest, "SELECT count(*) FROM Point"), 0);
    EXPECT_EQ(ListDir(dir.path()), (Strings{"Guide.dbs", "cd.dbs"}));
    // An empty source Property gives an empty one, which the check refuses.
    Query(source, "DELETE FROM Property");
    ASSERT_TRUE(CreateSearchFile(db, source, dir / "empty.dbs"));
    EXPECT_FALSE(db.IsProductData(dir / "empty.dbs", kGuideData));
    EXPECT_TRUE(messages.texts().empty());
}

// A creation that fails once it has made the file removes it; a file that
// was there before is never touched.
TEST(SearchSchema, FailedCreationLeavesNoFile)
{
    TempDir dir;
    const std::string cd = dir / "cd.dbs", extra = dir / "extra.dbs";
    MakeGuideFile(cd);
    MakeSearchFile(extra, "CREATE TABLE Property (ProductName, DataName, Level long);"
                          "INSERT INTO Property VALUES ('Tessra', 'GuideData', 4)");
    WriteFileBytes(dir / "plain", "someone else's");
    const Strings created{Message(2040), Message(2029)};
    const std::tuple<std::string, std::string, Strings> cases[] = { // source, destination, messages
        {extra, dir / "Guide.dbs", {}}, // a Property column that the new table lacks
        {cd, dir / "gone/Guide.dbs", created},
        {cd, dir / "plain", created},
    };
    const Strings before = ListDir(dir.path());
    for (const auto& [source, dest, shown] : cases) {
        MessageRecorder messages;
        CSearchDb db;
        EXPECT_FALSE(CreateSearchFile(db, source, dest)) << dest;
        EXPECT_EQ(messages.texts(), shown) << dest;
        EXPECT_EQ(ListDir(dir.path()), before);
    }
    EXPECT_EQ(ReadFileBytes(dir / "plain"), "someone else's");
}
