// The engine under CSearchDb: password gate, exclusive connections, workspace
// transactions, text conversion and recovery after a crash.
#include <gtest/gtest.h>

#include "search_fixture.h"

using namespace fixture;

namespace {

bool Opens(const std::string& path, const std::string& connect)
{
    CDaoDatabase db;
    try {
        db.Open(path, TRUE, TRUE, connect);
    } catch (const CDaoException&) {
        return false;
    }
    return db.IsOpen();
}

} // namespace

TEST(DaoEngine, CreatedFileOpensOnlyWithItsPassword)
{
    TempDir dir;
    const std::string path = dir / "new.dbs";
    CDaoDatabase().Create(path, ";pwd=tamarix5;LANGID=0x0411;CP=932;COUNTRY=0", 0);
    EXPECT_EQ(Query(path, "SELECT Locale FROM MSysLocale"), Rows{{"LANGID=0x0411;CP=932;COUNTRY=0"}});
    for (const auto& [connect, opens] : {std::pair{";PWD=tamarix5", true}, {"", false}, {";pwd=Tamarix5", false}})
        EXPECT_EQ(Opens(path, connect), opens) << connect;
}

// Closing a second connection must not drop the first one's lock (POSIX
// locks belong to the process, not the descriptor).
TEST(DaoEngine, OurConnectionsKeepOtherProgramsOutUntilTheLastCloses)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path);
    CDaoDatabase first;
    first.Open(path, TRUE, FALSE, kConnect);
    EXPECT_TRUE(Opens(path, kConnect));
    EXPECT_NE(RunSqliteShell(path, "SELECT count(*) FROM sqlite_master;"), 0);
    first.Close();
    EXPECT_EQ(RunSqliteShell(path, "SELECT count(*) FROM sqlite_master;"), 0);
}

// A transaction covers every connection, those opened during it included; a
// nested level rolls back only its own work and commits into the outer one.
TEST(DaoEngine, WorkspaceTransactionsCoverEveryConnection)
{
    TempDir dir;
    const std::string a = dir / "a.dbs", b = dir / "b.dbs";
    MakeGuideFile(a);
    MakeGuideFile(b);
    CDaoWorkspace& ws = CDaoWorkspace::Default();
    {
        CDaoDatabase dbA, dbB;
        dbA.Open(a, TRUE, FALSE, kConnect);
        auto insert = [](CDaoDatabase& db, const char* v) {
            db.Execute(std::string("INSERT INTO Category (L1) VALUES ('") + v + "')", dbFailOnError);
        };
        ws.BeginTrans();
        insert(dbA, "a1");
        ws.BeginTrans();
        dbB.Open(b, TRUE, FALSE, kConnect);
        insert(dbA, "a2");
        ws.Rollback();
        insert(dbB, "b1");
        ws.CommitTrans();
        ws.BeginTrans();
        insert(dbA, "a3");
        ws.BeginTrans();
        insert(dbB, "b2");
        ws.CommitTrans();
        ws.Rollback();
    }
    EXPECT_EQ(Query(a, "SELECT L1 FROM Category"), Rows{{"a1"}});
    EXPECT_EQ(Query(b, "SELECT L1 FROM Category"), Rows{{"b1"}});
}

TEST(DaoEngine, TextWithoutACp932FormIsRefusedNotMangled)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, "INSERT INTO Category (L1, Name) VALUES ('1', '한국')");
    {
        CDaoDatabase db;
        db.Open(path, TRUE, FALSE, kConnect);
        CDaoRecordset rs(&db);
        rs.Open(dbOpenDynaset, "SELECT * FROM Category", 0);
        EXPECT_THROW(rs.GetFieldValue("Name"), CDaoException);
        rs.AddNew();
        rs.SetFieldValue("Name", COleVariant::FromText("\x82")); // a lead byte alone
        EXPECT_THROW(rs.Update(), CDaoException);
    }
    EXPECT_EQ(Query(path, "SELECT Name FROM Category"), Rows{{"한국"}});
}

// A process that dies mid-transaction leaves new pages and a journal; the
// next open rolls the journal back, even when the file was cut short.
TEST(DaoEngine, AnInterruptedTransactionIsRolledBackWhenTheFileIsNextOpened)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, PointRows("1", "1", 50));
    const std::string before = ReadFileBytes(path);
    if (fork() == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        const std::string rows = PointRows("2", "2", 2000); // "BEGIN;...COMMIT;"
        sqlite3_exec(db, ("PRAGMA cache_size=2; BEGIN; DELETE FROM Point; " + rows.substr(6, rows.size() - 13)).c_str(),
                     nullptr, nullptr, nullptr);
        _exit(0); // no commit, no rollback, no close
    }
    wait(nullptr);
    const std::string cut = ReadFileBytes(path);
    ASSERT_GT(cut.size(), before.size() + 4096);
    WriteFileBytes(path, cut.substr(0, cut.size() - 4096 - 100));
    CDaoDatabase().Open(path, TRUE, TRUE, kConnect);
    EXPECT_EQ(ListDir(dir.path()), Strings{"Guide.dbs"});
    EXPECT_EQ(ReadFileBytes(path), before);
}
