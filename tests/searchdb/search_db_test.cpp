// CSearchDb's connection and recordset operations, the messages they show,
// the files they refuse, and the compaction.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "platform/message_box.h"
#include "searchdb/search_db.h"
#include "search_fixture.h"
#include "support/test_support.h"

using namespace fixture;

namespace {

using Strings = std::vector<std::string>;
using Rows = std::vector<std::vector<std::string>>;

// Opens the file the way every reading operation does and closes it again.
bool OpenAndClose(CSearchDb& db, const std::string& path, BOOL readOnly)
{
    CDaoDatabase* p = db.OpenDatabase(path, readOnly);
    EXPECT_NE(p, nullptr);
    const bool open = p->IsOpen();
    db.CloseDatabase(p);
    return open;
}

} // namespace

TEST(SearchDb, MissingFileShowsMessage2039WithThePathAndGivesAClosedConnection)
{
    TempDir dir;
    MessageRecorder messages;
    CSearchDb db;
    const std::string path = dir / "住所/Address.dbs";
    CDaoDatabase* p = db.OpenDatabase(J(path), TRUE);
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(p->IsOpen());
    EXPECT_EQ(db.OpenRecordset(p, "SELECT * FROM Property"), nullptr);
    db.CloseDatabase(p);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, Message(2039, path));
    EXPECT_EQ(messages.shown()[0].type, MB_OK);
    EXPECT_TRUE(ListDir(dir.path()).empty());
}

// Files that are not search databases of ours are refused like a missing
// one, and are left exactly as they were.
TEST(SearchDb, FilesThatAreNotOursAreRefusedAndLeftUnchanged)
{
    TempDir dir;
    MakeGuideFile(dir / "good.dbs", PointRows("1", "1", 200));
    const std::string good = ReadFileBytes(dir / "good.dbs");
    std::string random(16384, '\0');
    unsigned x = 12345;
    for (char& c : random)
        c = static_cast<char>((x = x * 1103515245 + 12345) >> 16);

    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
    };
    const Case cases[] = {
        {"plain SQLite file", [](const std::string& p) { RawDb db(p); db.Exec("CREATE TABLE Property (a)"); }},
        {"other password", [](const std::string& p) { MakeSearchFile(p, 12345); MakePropertyTable(p, "Tessra", "GuideData"); }},
        {"random bytes", [&](const std::string& p) { WriteFileBytes(p, random); }},
        {"empty file", [](const std::string& p) { WriteFileBytes(p, ""); }},
        {"header only", [&](const std::string& p) { WriteFileBytes(p, good.substr(0, 100)); }},
        {"truncated mid-page", [&](const std::string& p) { WriteFileBytes(p, good.substr(0, good.size() / 2 + 7)); }},
        {"truncated at a page", [&](const std::string& p) { WriteFileBytes(p, good.substr(0, good.size() - 4096)); }},
        {"directory", [](const std::string& p) { mkdir(p.c_str(), 0755); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir here;
        const std::string path = here / "Guide.dbs";
        c.make(path);
        const std::string before = ReadFileBytes(path);
        const Strings names = ListDir(here.path());
        for (BOOL readOnly : {TRUE, FALSE}) {
            MessageRecorder messages;
            CSearchDb db;
            EXPECT_FALSE(OpenAndClose(db, path, readOnly));
            EXPECT_EQ(messages.texts(), Strings{Message(2039, path)});
            EXPECT_FALSE(db.IsProductData(path, kGuideData));
            EXPECT_EQ(db.CountRecords(path, "SELECT * FROM Property"), -1);
        }
        EXPECT_EQ(ReadFileBytes(path), before);
        EXPECT_EQ(ListDir(here.path()), names);
    }
}

TEST(SearchDb, AFileHeldByAnotherProcessShows2039AtOnceAndStaysUnchanged)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, PointRows("1", "1", 20));
    const std::string before = ReadFileBytes(path);
    ChildProcess host([&] {
        static CDaoDatabase db;
        db.Open(path, TRUE, FALSE, kConnect);
        return db.IsOpen();
    });
    ASSERT_TRUE(host.ok());

    MessageRecorder messages;
    CSearchDb db;
    EXPECT_FALSE(OpenAndClose(db, path, TRUE));
    EXPECT_FALSE(db.ExecuteSQL(path, "DELETE * FROM Point"));
    EXPECT_EQ(messages.texts(), (Strings{Message(2039, path), Message(2039, path)}));
    host.release();
    EXPECT_EQ(ReadFileBytes(path), before);
    messages.clear();
    EXPECT_TRUE(OpenAndClose(db, path, FALSE));
    EXPECT_TRUE(messages.texts().empty());
}

TEST(SearchDb, AGuideFileMadeWithTheSqliteShellIsAccepted)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    const std::string script = "PRAGMA application_id=1414746689; PRAGMA user_version=432383838;" + Sql(10030) +
                               ";" + Sql(10010) + ";" + Sql(10020) +
                               ";INSERT INTO Property (ProductName, DataName) VALUES ('Tessra', 'GuideData');"
                               "INSERT INTO Category (L1,L2,L3,Name) VALUES ('1','1','0','ラーメン');";
    ASSERT_EQ(RunSqliteShell(path, script), 0);
    MessageRecorder messages;
    CSearchDb db;
    EXPECT_TRUE(db.IsProductData(path, kGuideData));
    std::string l1 = "x";
    EXPECT_TRUE(db.GetFirstFieldText(l1, path, FormatSql(13081, J("ラーメン")), "L1"));
    EXPECT_EQ(l1, "1");
    EXPECT_TRUE(messages.texts().empty());
}

TEST(SearchDb, CreatedDatabaseOpensWithThePasswordAndHoldsNoSearchTables)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MessageRecorder messages;
    CSearchDb db;
    ASSERT_TRUE(db.CreateDatabase(path));
    EXPECT_TRUE(OpenAndClose(db, path, FALSE));
    EXPECT_EQ(Query(path, "SELECT name FROM sqlite_master WHERE name NOT LIKE 'MSys%'"), Rows{});
    EXPECT_TRUE(messages.texts().empty());

    CDaoDatabase other;
    EXPECT_THROW(other.Open(path, TRUE, TRUE, ""), CDaoException);
    EXPECT_THROW(other.Open(path, TRUE, TRUE, ";pwd=tamarix"), CDaoException);

    // A second creation on the same path fails with 2040 and keeps the file.
    const std::string before = ReadFileBytes(path);
    EXPECT_FALSE(db.CreateDatabase(path));
    EXPECT_EQ(messages.texts(), Strings{Message(2040)});
    EXPECT_EQ(ReadFileBytes(path), before);
}

TEST(SearchDb, ExecuteSqlCommitsOrLeavesTheFileUnchangedWithoutMessage)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, "INSERT INTO Category (L1,L2,L3) VALUES ('1','0',null),('1','1','0'),('2','0',null);");
    MessageRecorder messages;
    CSearchDb db;
    EXPECT_TRUE(db.ExecuteSQL(path, FormatSql(12030, "1")));
    EXPECT_EQ(Query(path, "SELECT L1||L2 FROM Category ORDER BY 1"), (Rows{{"11"}, {"20"}}));

    const std::string before = ReadFileBytes(path);
    for (const std::string& bad : {Sql(10010), std::string("DELETE * FRM Category"),
                                   std::string("INSERT INTO Category (L1, Colour) VALUES ('3', 'red')")}) {
        EXPECT_FALSE(db.ExecuteSQL(path, bad)) << bad;
    }
    EXPECT_TRUE(messages.texts().empty());
    EXPECT_EQ(ReadFileBytes(path), before);
}

TEST(SearchDb, RecordsetsAndFieldText)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, "INSERT INTO Category (L1,L2,L3,Name) VALUES ('1','1','0','寿司');");
    MessageRecorder messages;
    CSearchDb db;
    CDaoDatabase* p = db.OpenDatabase(path, TRUE);
    ASSERT_TRUE(p->IsOpen());

    CDaoRecordset* bad = db.OpenRecordset(p, "SELECT * FROM Nowhere");
    ASSERT_NE(bad, nullptr);
    EXPECT_FALSE(bad->IsOpen());
    EXPECT_EQ(db.GetFieldText(bad, "Name"), "");
    db.CloseRecordset(bad);

    CDaoRecordset* rs = db.OpenRecordset(p, "SELECT * FROM Category");
    ASSERT_TRUE(rs->IsOpen());
    EXPECT_EQ(ToUtf8(db.GetFieldText(rs, "Name")), "寿司");
    EXPECT_EQ(db.GetFieldText(rs, "L4"), "");      // Null
    EXPECT_EQ(db.GetFieldText(rs, "Colour"), "");  // no such field
    rs->MoveNext();
    ASSERT_TRUE(rs->IsEOF());
    EXPECT_EQ(db.GetFieldText(rs, "Name"), "");    // no current row
    db.CloseRecordset(rs);
    db.CloseDatabase(p);
    EXPECT_TRUE(messages.texts().empty());
}

TEST(SearchDb, CompactSearchFileKeepsEveryRowAndThePassword)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, PointRows("1", "1", 500) + PointRows("2", "1", 500) + "DELETE FROM Point WHERE L1='1';");
    MessageRecorder messages;
    CSearchDb db;
    ASSERT_TRUE(db.CompactSearchFile(path, dir / "db1.dbs"));
    EXPECT_TRUE(messages.texts().empty());
    EXPECT_EQ(ListDir(dir.path()), (Strings{"Guide.dbs", "db1.dbs"}));
    for (const char* sql : {"SELECT * FROM Point ORDER BY rowid", "SELECT * FROM Property", "SELECT * FROM Category",
                            "SELECT name, sql FROM sqlite_master ORDER BY name", "PRAGMA user_version",
                            "PRAGMA application_id"})
        EXPECT_EQ(Query(dir / "db1.dbs", sql), Query(path, sql)) << sql;
    EXPECT_LT(ReadFileBytes(dir / "db1.dbs").size(), ReadFileBytes(path).size());
    EXPECT_TRUE(db.IsProductData(dir / "db1.dbs", kGuideData));
}

TEST(SearchDb, FailedCompactionShows2041AndLeavesNoTarget)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, PointRows("1", "1", 10));
    const std::string before = ReadFileBytes(path);
    struct Case {
        const char* name;
        std::string source;
        std::string target;
    };
    const Case cases[] = {
        {"target folder missing", path, dir / "gone/db1.dbs"},
        {"source missing", dir / "none.dbs", dir / "db1.dbs"},
        {"wrong kind of source", dir.path(), dir / "db1.dbs"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MessageRecorder messages;
        CSearchDb db;
        EXPECT_FALSE(db.CompactSearchFile(c.source, c.target));
        EXPECT_EQ(messages.texts(), Strings{Message(2041)});
        EXPECT_EQ(ListDir(dir.path()), Strings{"Guide.dbs"});
    }
    EXPECT_EQ(ReadFileBytes(path), before);
}
