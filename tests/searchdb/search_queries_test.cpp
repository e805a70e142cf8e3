// The questions the pages ask: product and data kind, address level, row
// counts, genre size, first field, name presence; the group row delete; and
// the quoting of substituted values.
#include <gtest/gtest.h>

#include "searchdb/search_db.h"
#include "search_fixture.h"
#include "support/test_support.h"

using namespace fixture;

namespace {

using Strings = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;

// A search file whose Property table is made by the given SQL.
std::string PropertyFile(const TempDir& dir, const std::string& name, const std::string& sql)
{
    const std::string path = dir / name;
    MakeSearchFile(path);
    if (!sql.empty())
        RawDb(path).Exec(sql);
    return path;
}

const std::string kCreateProperty = Sql(10030) + ";";
const std::string kCreateAddressProperty =
    "CREATE TABLE Property (ProductName varchar(32), ProductVersion varchar(8), DataName varchar(32), Level long);";

} // namespace

TEST(SearchQueries, IsProductData)
{
    const struct {
        const char* name;
        std::string sql;
        const char* kind;
        BOOL expected;
    } cases[] = {
        {"guide", kCreateProperty + "INSERT INTO Property (ProductName, DataName) VALUES ('Tessra','GuideData')", kGuideData, TRUE},
        {"address", kCreateAddressProperty + "INSERT INTO Property VALUES ('Tessra','5.0','AddressData',3)", kAddressData, TRUE},
        {"other kind", kCreateProperty + "INSERT INTO Property (ProductName, DataName) VALUES ('Tessra','AddressData')", kGuideData, FALSE},
        {"blank after product", kCreateProperty + "INSERT INTO Property (ProductName, DataName) VALUES ('Tessra ','GuideData')", kGuideData, FALSE},
        {"product case", kCreateProperty + "INSERT INTO Property (ProductName, DataName) VALUES ('TESSRA','GuideData')", kGuideData, FALSE},
        {"kind case", kCreateProperty + "INSERT INTO Property (ProductName, DataName) VALUES ('Tessra','guidedata')", kGuideData, FALSE},
        {"Null names", kCreateProperty + "INSERT INTO Property (Comments) VALUES ('x')", kGuideData, FALSE},
        {"empty Property", kCreateProperty, kGuideData, FALSE},
        {"no Property table", "", kGuideData, FALSE},
        {"first row decides", kCreateProperty + "INSERT INTO Property (ProductName, DataName) VALUES ('Other','GuideData'),('Tessra','GuideData')", kGuideData, FALSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = PropertyFile(dir, "x.dbs", c.sql);
        MessageRecorder messages;
        CSearchDb db;
        EXPECT_EQ(db.IsProductData(path, c.kind), c.expected);
        EXPECT_TRUE(messages.texts().empty());
    }
}

TEST(SearchQueries, GetDataLevel)
{
    const std::string withLevel = kCreateAddressProperty + "INSERT INTO Property VALUES ('Tessra',";
    const std::string noLevel = kCreateProperty + "INSERT INTO Property (ProductName, ProductVersion, DataName) VALUES ('Tessra',";
    const struct {
        const char* name;
        std::string sql;
        int expected;
    } cases[] = {
        {"5.0 level 4", withLevel + "'5.0','AddressData',4)", 4},
        {"5.0 level 3", withLevel + "'5.0','AddressData',3)", 3},
        {"5.1 level 1", withLevel + "'5.1','AddressData',1)", 1},
        {"5 level 5", withLevel + "'5','AddressData',5)", 5},
        {"5.0 level 2 as text", withLevel + "'5.0','AddressData','2')", 2},
        {"4.0 level 4", withLevel + "'4.0','AddressData',4)", 3},
        {"empty version", withLevel + "'','AddressData',4)", 3},
        {"Null version", withLevel + "null,'AddressData',4)", 3},
        {"5.0 without Level column", noLevel + "'5.0','AddressData')", 3},
        {"level 7", withLevel + "'5.0','AddressData',7)", 0},
        {"level 0", withLevel + "'5.0','AddressData',0)", 0},
        {"level -4", withLevel + "'5.0','AddressData',-4)", 0},
        {"Null level", withLevel + "'5.0','AddressData',null)", 0},
        {"no Property row", kCreateAddressProperty, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string path = PropertyFile(dir, "Address.dbs", c.sql);
        MessageRecorder messages;
        CSearchDb db;
        EXPECT_EQ(db.GetDataLevel(path), c.expected);
        EXPECT_TRUE(messages.texts().empty());
    }
    TempDir dir;
    MessageRecorder messages;
    CSearchDb db;
    EXPECT_EQ(db.GetDataLevel(dir / "Adr_L.dbs"), 0);
    EXPECT_EQ(messages.texts(), Strings{Message(2039, dir / "Adr_L.dbs")});
}

TEST(SearchQueries, CountRecords)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, PointRows("1", "1", 1234) + PointRows("1", "2", 5));
    const struct {
        const char* name;
        std::string path;
        std::string sql;
        long expected;
        Strings messages;
    } cases[] = {
        {"rows", path, FormatSql(13080, "1", "1"), 1234, {}},
        {"one row", path, "SELECT * FROM Property", 1, {}},
        {"no rows", path, FormatSql(13080, "9", "9"), 0, {}},
        {"SQL error", path, "SELECT * FROM Point WHERE", -1, {}},
        {"no such table", path, "SELECT * FROM Genre", -1, {}},
        {"missing file", dir / "none.dbs", "SELECT * FROM Point", -1, {Message(2039, dir / "none.dbs")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MessageRecorder messages;
        CSearchDb db;
        EXPECT_EQ(db.CountRecords(c.path, c.sql), c.expected);
        EXPECT_EQ(messages.texts(), c.messages);
    }
}

TEST(SearchQueries, EstimateGenreSize)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, "INSERT INTO Category (L1,L2,L3,L4) VALUES ('2','3','0',null),('2','3','1','0'),"
                        "('2','3','2','0'),('2','0',null,null),('2','4','0',null);" +
                            PointRows("2", "3", 10) + PointRows("2", "4", 7));
    MessageRecorder messages;
    CSearchDb db;
    EXPECT_EQ(db.EstimateGenreSize(path, "2", "3"), 4600);
    EXPECT_EQ(db.EstimateGenreSize(path, "2", "4"), 3000);
    EXPECT_EQ(db.EstimateGenreSize(path, "7", "7"), 0);
    EXPECT_TRUE(messages.texts().empty());
    // Counts that fail give no size, never a negative one.
    EXPECT_EQ(db.EstimateGenreSize(dir / "none.dbs", "2", "3"), 0);
    EXPECT_EQ(messages.texts(), (Strings{Message(2039, dir / "none.dbs"), Message(2039, dir / "none.dbs")}));
}

TEST(SearchQueries, GetFirstFieldText)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, "INSERT INTO Category (L1,L2,L3,Name) VALUES ('12','34','0','ラーメン'),('12','35','0','寿司');");
    const struct {
        const char* name;
        std::string path;
        std::string sql;
        const char* field;
        BOOL expected;
        std::string result;
        Strings messages;
    } cases[] = {
        {"L1 of a genre", path, FormatSql(13081, J("寿司")), "L1", TRUE, "12", {}},
        {"L2 of a genre", path, FormatSql(13081, J("寿司")), "L2", TRUE, "35", {}},
        {"first of several", path, "SELECT * FROM Category ORDER BY L2", "Name", TRUE, J("ラーメン"), {}},
        {"no row", path, FormatSql(13081, J("カレー")), "L1", TRUE, "", {}},
        {"no such field", path, FormatSql(13081, J("寿司")), "Colour", FALSE, "unchanged", {}},
        {"SQL error", path, "SELECT * FROM", "L1", FALSE, "unchanged", {}},
        {"missing file", dir / "none.dbs", "SELECT * FROM Category", "L1", FALSE, "unchanged",
         {Message(2039, dir / "none.dbs")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MessageRecorder messages;
        CSearchDb db;
        std::string result = "unchanged";
        EXPECT_EQ(db.GetFirstFieldText(result, c.path, c.sql, c.field), c.expected);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(messages.texts(), c.messages);
    }
}

TEST(SearchQueries, IsCategoryNameAbsentAnswersByTheNamesPresent)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, "INSERT INTO Category (L1,L2,L3,Name) VALUES ('1','1','0','ラーメン'),"
                        "('1','2','0','Joe''s Diner'),('1','3','0','ソフト'),('1','4','0','表示');");
    const std::string withEmpty = dir / "Empty.dbs";
    MakeGuideFile(withEmpty, "INSERT INTO Category (L1,L2,L3,Name) VALUES ('1','1','0','');");
    const struct {
        const char* name;
        std::string path;
        std::string genre;
        BOOL expected;
    } cases[] = {
        {"present", path, J("ラーメン"), FALSE},
        {"absent", path, J("寿司"), TRUE},
        {"differs in case", path, "joe's diner", TRUE},
        {"apostrophe present", path, "Joe's Diner", FALSE},
        {"apostrophe absent", path, "Al's", TRUE},
        {"quote that would end the value", path, "x' OR Name<>'", TRUE},
        {"trail byte 0x5C present", path, J("ソフト"), FALSE},
        {"trail byte 0x5C present 2", path, J("表示"), FALSE},
        {"empty name absent", path, "", TRUE},
        {"empty name present", withEmpty, "", FALSE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MessageRecorder messages;
        CSearchDb db;
        EXPECT_EQ(db.IsCategoryNameAbsent(c.path, c.genre), c.expected);
        EXPECT_TRUE(messages.texts().empty());
    }
    MessageRecorder messages;
    CSearchDb db;
    EXPECT_FALSE(db.IsCategoryNameAbsent(dir / "none.dbs", "x"));
    EXPECT_EQ(messages.texts(), Strings{Message(2039, dir / "none.dbs")});
}

TEST(SearchQueries, DeleteGroupRowRemovesOnlyThatGroupRow)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, "INSERT INTO Category (L1,L2,L3) VALUES ('0',null,null),('1','0',null),('1','1','0'),"
                        "('2','0',null),('x''','0',null);");
    MessageRecorder messages;
    CSearchDb db;
    EXPECT_TRUE(db.DeleteGroupRow(path, "1"));
    EXPECT_TRUE(db.DeleteGroupRow(path, "9"));
    EXPECT_TRUE(db.DeleteGroupRow(path, "2' OR '1'='1"));
    EXPECT_EQ(Query(path, "SELECT L1, L2 FROM Category ORDER BY rowid"),
              (Rows{{"0", "<null>"}, {"1", "1"}, {"2", "0"}, {"x'", "0"}}));
    EXPECT_TRUE(db.DeleteGroupRow(path, "x'"));
    EXPECT_EQ(Scalar(path, "SELECT count(*) FROM Category"), 3);
    EXPECT_TRUE(messages.texts().empty());
    EXPECT_FALSE(db.DeleteGroupRow(dir / "none.dbs", "1"));
    EXPECT_EQ(messages.texts(), Strings{Message(2039, dir / "none.dbs")});
}

TEST(SearchQueries, SubstitutedValuesHaveTheirQuotesDoubled)
{
    const struct {
        std::string value;
        std::string quoted;
    } values[] = {
        {"", ""},
        {"abc", "abc"},
        {"Joe's", "Joe''s"},
        {"''", "''''"},
        {J("ソ'表"), J("ソ''表")},
    };
    for (const auto& v : values)
        EXPECT_EQ(SqlValue(v.value), v.quoted) << v.value;
    EXPECT_EQ(FormatSql(13070, "1", "2"), "SELECT * FROM Category WHERE L1='1' AND L2='2' ");
    EXPECT_EQ(FormatSql(13082, "a'b", "c"), "WHERE L1='a''b' AND L2='c'");
    EXPECT_EQ(FormatSql(12030, "7"), "DELETE * FROM Category WHERE L1='7' AND L2='0'");
}
