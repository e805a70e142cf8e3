// The engine under CSearchDb: password gate, exclusive connections, workspace
// transactions, text conversion and recovery after a crash.
#include <gtest/gtest.h>

#include "search_fixture.h"

using namespace fixture;

// Closing a second connection must not drop the first one's lock (POSIX locks
// belong to the process, not the descriptor).
TEST(DaoEngine, CreatedFileOpensOnlyWithItsPasswordAndOnlyForUs)
{
    TempDir dir;
    const std::string path = dir / "new.dbs";
    CDaoDatabase().Create(path, ";pwd=tamarix5;LANGID=0x0411;CP=932;COUNTRY=0", 0);
    EXPECT_EQ(Query(path, "SELECT Locale FROM MSysLocale"), Rows{{"LANGID=0x0411;CP=932;COUNTRY=0"}});
    CDaoDatabase first;
    first.Open(path, TRUE, FALSE, kConnect);
    EXPECT_NO_THROW(CDaoDatabase().Open(path, TRUE, TRUE, ";PWD=tamarix5"));
    for (const char* connect : {"", ";pwd=Tamarix5"})
        EXPECT_THROW(CDaoDatabase().Open(path, TRUE, TRUE, connect), CDaoException) << connect;
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
        auto insert = [](CDaoDatabase& db) { db.Execute("INSERT INTO Category (L1) VALUES ('1')", dbFailOnError); };
        for (const bool outerCommits : {true, false}) {
            ws.BeginTrans();
            insert(dbA); // kept when the outer level commits
            ws.BeginTrans();
            if (!dbB.IsOpen())
                dbB.Open(b, TRUE, FALSE, kConnect);
            insert(dbB);
            outerCommits ? ws.Rollback() : ws.CommitTrans();
            insert(dbB); // kept when the outer level commits
            outerCommits ? ws.CommitTrans() : ws.Rollback();
        }
    }
    EXPECT_EQ(Query(a, "SELECT count(*) FROM Category"), Rows{{"1"}});
    EXPECT_EQ(Query(b, "SELECT count(*) FROM Category"), Rows{{"1"}});
}

// Text goes from one database to another as stored, whatever CP932 can
// hold; only a read as CP932 text refuses what has no form there.
TEST(DaoEngine, TextPassesThroughAsStoredAndIsRefusedOnlyAsCp932)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, "INSERT INTO Category (L1, Name) VALUES ('1', '한국')");
    {
        CDaoDatabase db;
        db.Open(path, TRUE, FALSE, kConnect);
        CDaoRecordset rs(&db);
        rs.Open(dbOpenDynaset, "SELECT * FROM Category", 0);
        const COleVariant name = rs.GetFieldValue("Name");
        EXPECT_THROW(name.Text(), CDaoException);
        rs.AddNew();
        rs.SetFieldValue("L1", COleVariant::FromText("2"));
        rs.SetFieldValue("Name", name);
        rs.Update();
        EXPECT_THROW(COleVariant::FromText("\x82"), CDaoException); // a lead byte alone
    }
    EXPECT_EQ(Query(path, "SELECT L1, Name FROM Category"), (Rows{{"1", "한국"}, {"2", "한국"}}));
}

// A process that dies mid-transaction leaves new pages and a journal; the next
// open rolls the journal back, even when the file was cut short.
TEST(DaoEngine, AnInterruptedTransactionIsRolledBackWhenTheFileIsNextOpened)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, PointRows("1", "1", 50));
    const std::string before = ReadFileBytes(path);
    if (fork() == 0) { // dies without commit, rollback or close
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, "PRAGMA cache_size=2; BEGIN; DELETE FROM Point; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT "
                         "i + 1 FROM n WHERE i < 3000) INSERT INTO Point (Name) SELECT hex(randomblob(200)) FROM n;",
                     nullptr, nullptr, nullptr);
        _exit(0);
    }
    wait(nullptr);
    const std::string cut = ReadFileBytes(path);
    ASSERT_GT(cut.size(), before.size() + 4096);
    WriteFileBytes(path, cut.substr(0, cut.size() - 4096 - 100));
    CDaoDatabase().Open(path, TRUE, TRUE, kConnect);
    EXPECT_EQ(ListDir(dir.path()), Strings{"Guide.dbs"});
    EXPECT_EQ(ReadFileBytes(path), before);
}

// MoveLast counts what the query yields, whatever its form, and the fields
// read after it are the last row's.
TEST(DaoEngine, MoveLastCountsTheRowsOfAnyQueryAndLandsOnTheLastOne)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, PointRows("10", "01", 12) + PointRows("10", "02", 5, 100) + PointRows("20", "01", 3, 200));
    const char* const queries[] = {
        "SELECT * FROM Point",
        "SELECT * FROM Point WHERE L1='10' AND L2='01'",
        "SELECT Name, Longitude FROM Point ORDER BY Longitude DESC LIMIT 4 OFFSET 2",
        "SELECT DISTINCT L1, L2 FROM Point",
        "SELECT L1, count(*) AS Name FROM Point GROUP BY L1 ORDER BY L1",
        "SELECT * FROM Point WHERE L1='99' UNION ALL SELECT * FROM Point WHERE L2='02' ;",
    };
    for (const char* query : queries) {
        SCOPED_TRACE(query);
        const Rows expected = Query(path, query);
        CDaoDatabase db;
        db.Open(path, TRUE, TRUE, kConnect);
        CDaoRecordset rs(&db);
        rs.Open(dbOpenDynaset, query, 0);
        rs.MoveLast();
        EXPECT_EQ(rs.GetRecordCount(), static_cast<long>(expected.size()));
        CDaoFieldInfo info;
        rs.GetFieldInfo(1, info);
        const COleVariant last = rs.GetFieldValue(info.m_strName);
        const std::string text = last.kind == COleVariant::Kind::Integer ? std::to_string(last.integer) : last.bytes;
        EXPECT_EQ(text, expected.back().at(1));
        rs.MoveNext();
        EXPECT_TRUE(rs.IsEOF());
    }
}

// A query is one statement; blanks, semicolons and comments may follow it,
// a second statement may not.
TEST(DaoEngine, AQueryIsOneStatementWhateverCommentsFollowIt)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, PointRows("10", "01", 3));
    const struct {
        const char* sql;
        bool accepted;
    } cases[] = {
        {"SELECT Name FROM Point", true},
        {"SELECT Name FROM Point;", true},
        {"SELECT Name FROM Point ; ; \n", true},
        {"SELECT Name FROM Point -- the names", true},
        {"SELECT Name FROM Point; -- the names", true},
        {"SELECT Name FROM Point; /* the names */ ;", true},
        {"SELECT Name FROM Point;\n-- one\n-- two\n", true},
        {"SELECT Name FROM Point; SELECT L1 FROM Point", false},
        {"SELECT Name FROM Point; -- one\nSELECT L1 FROM Point", false},
        {"SELECT Name FROM Point; /* one */ DELETE FROM Point", false},
        {"SELECT Name FROM Point; garbage", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sql);
        CDaoDatabase db;
        db.Open(path, TRUE, TRUE, kConnect);
        CDaoRecordset rs(&db);
        bool opened = false;
        try {
            rs.Open(dbOpenDynaset, c.sql, 0);
            opened = true;
        } catch (const CDaoException&) {
        }
        EXPECT_EQ(opened, c.accepted);
        if (opened) {
            rs.MoveLast();
            EXPECT_EQ(rs.GetRecordCount(), 3);
        }
    }
    // Nothing of a refused text ran.
    EXPECT_EQ(Query(path, "SELECT count(*) FROM Point").at(0).at(0), "3");
}
