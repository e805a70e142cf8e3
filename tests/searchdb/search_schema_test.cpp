// Creating a new guide database: its tables, indexes, Property and seed rows,
// and what is left behind when the creation fails.
#include <gtest/gtest.h>

#include "searchdb/search_db.h"
#include "search_fixture.h"
#include "support/test_support.h"

using namespace fixture;

namespace {

using Strings = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;

const char* const kPropertyRow = "SELECT * FROM Property";

Rows UserObjects(const std::string& path, const char* type)
{
    return Query(path, std::string("SELECT name, tbl_name FROM sqlite_master WHERE type='") + type +
                           "' AND name NOT LIKE 'MSys%' ORDER BY rowid");
}

} // namespace

TEST(SearchSchema, NewGuideFileHasTheSourcePropertyTablesIndexesAndSeedRow)
{
    TempDir dir;
    const std::string source = dir / "cd.dbs";
    const std::string dest = dir / "hd/Guide.dbs";
    MakeGuideFile(source, PointRows("1", "1", 3));
    ASSERT_EQ(mkdir((dir / "hd").c_str(), 0755), 0);
    MessageRecorder messages;
    CSearchDb db;

    ASSERT_TRUE(CreateSearchFile(db, source, dest));
    EXPECT_TRUE(messages.texts().empty());
    EXPECT_EQ(Query(dest, kPropertyRow), Query(source, kPropertyRow));
    EXPECT_EQ(UserObjects(dest, "table"), (Rows{{"Property", "Property"}, {"Category", "Category"}, {"Point", "Point"}}));
    // Made one statement at a time, in this order: Point06 follows Point12.
    EXPECT_EQ(UserObjects(dest, "index"),
              (Rows{{"Category01", "Category"}, {"Category02", "Category"}, {"Category03", "Category"},
                    {"Category04", "Category"}, {"Category05", "Category"}, {"Point01", "Point"},
                    {"Point02", "Point"}, {"Point03", "Point"}, {"Point04", "Point"}, {"Point05", "Point"},
                    {"Point07", "Point"}, {"Point08", "Point"}, {"Point09", "Point"}, {"Point10", "Point"},
                    {"Point11", "Point"}, {"Point12", "Point"}, {"Point06", "Point"}, {"Point13", "Point"},
                    {"Point14", "Point"}}));
    EXPECT_EQ(Query(dest, "SELECT name FROM pragma_index_info('Point06')"), Rows{{"L6"}});
    EXPECT_EQ(Query(dest, "SELECT name FROM pragma_index_info('Point14')"), Rows{{"TS99SearchGenreCode"}});
    EXPECT_EQ(Query(dest, "SELECT * FROM Category"),
              (Rows{{"0", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "施設", "シセツ"}}));
    EXPECT_EQ(Scalar(dest, "SELECT count(*) FROM Point"), 0);
    EXPECT_EQ(ListDir(dir / "hd"), Strings{"Guide.dbs"});
    EXPECT_TRUE(db.IsProductData(dest, kGuideData));
}

TEST(SearchSchema, EmptySourcePropertyGivesAnEmptyPropertyTableAndStillSucceeds)
{
    TempDir dir;
    const std::string source = dir / "cd.dbs";
    MakeSearchFile(source);
    RawDb(source).Exec(Sql(10030));
    MessageRecorder messages;
    CSearchDb db;
    ASSERT_TRUE(CreateSearchFile(db, source, dir / "Guide.dbs"));
    EXPECT_EQ(Scalar(dir / "Guide.dbs", "SELECT count(*) FROM Property"), 0);
    EXPECT_EQ(Scalar(dir / "Guide.dbs", "SELECT count(*) FROM Category"), 1);
    EXPECT_FALSE(db.IsProductData(dir / "Guide.dbs", kGuideData));
    EXPECT_TRUE(messages.texts().empty());
}

// A creation that fails once the file exists removes it, so the next
// attempt starts clean.
TEST(SearchSchema, FailedCreationLeavesNoFile)
{
    struct Case {
        const char* name;
        std::function<void(const std::string& source)> makeSource;
        std::function<std::string(const TempDir&)> source;
        std::function<Strings(const TempDir&)> messages;
    };
    const Case cases[] = {
        {"source Property has a column the new table lacks",
         [](const std::string& s) {
             MakeSearchFile(s);
             RawDb db(s);
             db.Exec("CREATE TABLE Property (ProductName varchar(32), DataName varchar(32), Level long)");
             db.Exec("INSERT INTO Property VALUES ('Tessra', 'GuideData', 4)");
         },
         [](const TempDir& d) { return d / "cd.dbs"; }, [](const TempDir&) { return Strings{}; }},
        {"source missing", [](const std::string&) {}, [](const TempDir& d) { return d / "none.dbs"; },
         [](const TempDir& d) { return Strings{Message(2039, d / "none.dbs")}; }},
        {"source without Property", [](const std::string& s) { MakeSearchFile(s); },
         [](const TempDir& d) { return d / "cd.dbs"; }, [](const TempDir&) { return Strings{}; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        c.makeSource(dir / "cd.dbs");
        const Strings before = ListDir(dir.path());
        MessageRecorder messages;
        CSearchDb db;
        EXPECT_FALSE(CreateSearchFile(db, c.source(dir), dir / "Guide.dbs"));
        EXPECT_EQ(messages.texts(), c.messages(dir));
        EXPECT_EQ(ListDir(dir.path()), before);
    }
}

TEST(SearchSchema, UnwritableDestinationShows2040Then2029AndMakesNothing)
{
    TempDir dir;
    const std::string source = dir / "cd.dbs";
    MakeGuideFile(source);
    WriteFileBytes(dir / "plain-file", "x");
    for (const std::string& dest : {dir / "missing-folder/Guide.dbs", dir / "plain-file/Guide.dbs"}) {
        SCOPED_TRACE(dest);
        MessageRecorder messages;
        CSearchDb db;
        EXPECT_FALSE(CreateSearchFile(db, source, dest));
        EXPECT_EQ(messages.texts(), (Strings{Message(2040), Message(2029)}));
        EXPECT_EQ(ListDir(dir.path()), (Strings{"cd.dbs", "plain-file"}));
    }
}

TEST(SearchSchema, AnExistingDestinationIsNeverRemoved)
{
    TempDir dir;
    MakeGuideFile(dir / "cd.dbs");
    WriteFileBytes(dir / "Guide.dbs", "someone else's file");
    MessageRecorder messages;
    CSearchDb db;
    EXPECT_FALSE(CreateSearchFile(db, dir / "cd.dbs", dir / "Guide.dbs"));
    EXPECT_EQ(messages.texts(), (Strings{Message(2040), Message(2029)}));
    EXPECT_EQ(ReadFileBytes(dir / "Guide.dbs"), "someone else's file");
}

TEST(SearchSchema, CreateSearchTablesStopsAtTheFirstTableThatFails)
{
    TempDir dir;
    const std::string dest = dir / "Guide.dbs";
    MakeSearchFile(dest);
    RawDb(dest).Exec(Sql(10010)); // Category is there already
    MessageRecorder messages;
    CSearchDb db;
    EXPECT_FALSE(CreateSearchTables(db, dest));
    EXPECT_EQ(messages.texts(), Strings{Message(2025)});
    EXPECT_EQ(UserObjects(dest, "table"), (Rows{{"Category", "Category"}}));
    EXPECT_EQ(UserObjects(dest, "index"), Rows{});
}
