// The engine under CSearchDb: password gate, exclusive connections across
// processes, connections sharing a file within the process, workspace
// transactions, streaming recordsets and appending rows.
#include <gtest/gtest.h>

#include "searchdb/dao.h"
#include "search_fixture.h"
#include "support/test_support.h"

using namespace fixture;

namespace {

bool Opens(const std::string& path, BOOL readOnly, const std::string& connect = kConnect)
{
    CDaoDatabase db;
    try {
        db.Open(path, TRUE, readOnly, connect);
    } catch (const CDaoException&) {
        return false;
    }
    return db.IsOpen();
}

// Whether another program (the sqlite3 shell) can read the file now. A forked
// copy of this process would inherit our handles, so another program it is.
bool OtherProgramCanRead(const std::string& path)
{
    return RunSqliteShell(path, "SELECT count(*) FROM sqlite_master;") == 0;
}

std::vector<std::string> Names(CDaoRecordset& rs, const char* field)
{
    std::vector<std::string> out;
    for (; !rs.IsEOF(); rs.MoveNext())
        out.push_back(ToUtf8(rs.GetFieldValue(field).text));
    return out;
}

} // namespace

TEST(DaoEngine, CreatedFileCarriesPasswordAndLocaleAndOpensOnlyWithThePassword)
{
    TempDir dir;
    const std::string path = dir / "new.dbs";
    {
        CDaoDatabase db;
        db.Create(path, ";pwd=tamarix5;LANGID=0x0411;CP=932;COUNTRY=0", 0);
        EXPECT_TRUE(db.IsOpen());
    }
    EXPECT_EQ(Scalar(path, "PRAGMA application_id"), kApplicationId);
    EXPECT_EQ(Scalar(path, "PRAGMA user_version"), kPasswordHash);
    EXPECT_EQ(Query(path, "PRAGMA journal_mode")[0][0], "delete");
    EXPECT_EQ(Query(path, "SELECT Locale FROM MSysLocale"),
              (std::vector<std::vector<std::string>>{{"LANGID=0x0411;CP=932;COUNTRY=0"}}));

    const struct {
        const char* connect;
        bool opens;
    } cases[] = {
        {";pwd=tamarix5", true},
        {";PWD=tamarix5", true},
        {"", false},
        {";pwd=", false},
        {";pwd=Tamarix5", false},
        {";pwd=tamarix", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Opens(path, TRUE, c.connect), c.opens) << c.connect;
        EXPECT_EQ(Opens(path, FALSE, c.connect), c.opens) << c.connect;
    }
}

TEST(DaoEngine, CreateRefusesAnExistingFileAndLeavesItAlone)
{
    TempDir dir;
    const std::string path = dir / "there.dbs";
    WriteFileBytes(path, "not a database");
    CDaoDatabase db;
    EXPECT_THROW(db.Create(path, ";pwd=tamarix5", 0), CDaoException);
    EXPECT_EQ(ReadFileBytes(path), "not a database");
}

TEST(DaoEngine, OpenNeverCreatesAFile)
{
    TempDir dir;
    for (BOOL readOnly : {TRUE, FALSE}) {
        CDaoDatabase db;
        EXPECT_THROW(db.Open(dir / "missing.dbs", TRUE, readOnly, kConnect), CDaoException);
        EXPECT_FALSE(db.IsOpen());
    }
    EXPECT_TRUE(ListDir(dir.path()).empty());
}

TEST(DaoEngine, AnotherProcessCannotOpenAFileWeHold)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path);
    for (BOOL ourReadOnly : {TRUE, FALSE}) {
        CDaoDatabase db;
        db.Open(path, TRUE, ourReadOnly, kConnect);
        EXPECT_FALSE(OtherProgramCanRead(path)) << ourReadOnly;
        db.Close();
        EXPECT_TRUE(OtherProgramCanRead(path));
    }
}

TEST(DaoEngine, AFileHeldByAnotherProcessDoesNotOpen)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path);
    for (BOOL childReadOnly : {TRUE, FALSE}) {
        ChildProcess holder([&] {
            static CDaoDatabase db; // stays open until the child exits
            db.Open(path, TRUE, childReadOnly, kConnect);
            return db.IsOpen();
        });
        ASSERT_TRUE(holder.ok());
        for (BOOL readOnly : {TRUE, FALSE}) {
            try {
                CDaoDatabase db;
                db.Open(path, TRUE, readOnly, kConnect);
                ADD_FAILURE() << "opened a file another process holds";
            } catch (const CDaoException& e) {
                EXPECT_EQ(e.m_nEngineCode, 5); // SQLITE_BUSY, without waiting
            }
        }
        holder.release();
        EXPECT_TRUE(Opens(path, FALSE));
    }
}

TEST(DaoEngine, ASecondConnectionSharesTheFileAndItsClosingKeepsTheLock)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path);
    CDaoDatabase first;
    first.Open(path, TRUE, FALSE, kConnect);
    {
        CDaoDatabase second;
        second.Open(path, TRUE, TRUE, kConnect);
        EXPECT_TRUE(second.IsOpen());
        CDaoDatabase wrongPassword;
        EXPECT_THROW(wrongPassword.Open(path, TRUE, TRUE, ";pwd=other"), CDaoException);
    }
    EXPECT_FALSE(OtherProgramCanRead(path));
    first.Close();
    EXPECT_TRUE(OtherProgramCanRead(path));
}

TEST(DaoEngine, ASecondConnectionSeesThePendingRowsOfTheWorkspaceTransaction)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path);
    CDaoDatabase writer;
    writer.Open(path, TRUE, FALSE, kConnect);
    CDaoWorkspace& ws = *writer.m_pWorkspace;
    ws.BeginTrans();
    writer.Execute(J("INSERT INTO Category (L1,L2,L3,Name) VALUES ('1','0',null,'飲食')"), dbFailOnError);
    {
        CDaoDatabase reader;
        reader.Open(path, TRUE, TRUE, kConnect);
        CDaoRecordset rs(&reader);
        rs.Open(dbOpenDynaset, "SELECT * FROM Category WHERE L1='1' AND L2='0'", 0);
        EXPECT_EQ(Names(rs, "Name"), std::vector<std::string>{"飲食"});
        EXPECT_THROW(reader.Execute("DELETE FROM Category", dbFailOnError), CDaoException);
    }
    ws.Rollback();
    writer.Close();
    EXPECT_EQ(Scalar(path, "SELECT count(*) FROM Category"), 0);
}

TEST(DaoEngine, WorkspaceTransactionCoversEveryConnectionIncludingOnesOpenedDuringIt)
{
    TempDir dir;
    const std::string a = dir / "a.dbs";
    const std::string b = dir / "b.dbs";
    MakeGuideFile(a);
    MakeGuideFile(b);
    for (bool commit : {false, true}) {
        CDaoDatabase dbA;
        dbA.Open(a, TRUE, FALSE, kConnect);
        CDaoWorkspace::Default().BeginTrans();
        EXPECT_TRUE(CDaoWorkspace::Default().InTransaction());
        CDaoDatabase dbB;
        dbB.Open(b, TRUE, FALSE, kConnect);
        dbA.Execute("INSERT INTO Category (L1) VALUES ('9')", dbFailOnError);
        dbB.Execute("INSERT INTO Category (L1) VALUES ('9')", dbFailOnError);
        if (commit)
            CDaoWorkspace::Default().CommitTrans();
        else
            CDaoWorkspace::Default().Rollback();
        EXPECT_FALSE(CDaoWorkspace::Default().InTransaction());
        dbA.Close();
        dbB.Close();
        const int expected = commit ? 1 : 0;
        EXPECT_EQ(Scalar(a, "SELECT count(*) FROM Category"), expected) << commit;
        EXPECT_EQ(Scalar(b, "SELECT count(*) FROM Category"), expected) << commit;
    }
}

TEST(DaoEngine, NestedTransactionsRollBackOnlyTheirOwnWork)
{
    TempDir dir;
    const std::string a = dir / "a.dbs";
    const std::string b = dir / "b.dbs";
    MakeGuideFile(a);
    MakeGuideFile(b);
    CDaoWorkspace& ws = CDaoWorkspace::Default();
    {
        CDaoDatabase db;
        db.Open(a, TRUE, FALSE, kConnect);
        ws.BeginTrans();
        db.Execute("INSERT INTO Category (L1) VALUES ('a1')", dbFailOnError);
        ws.BeginTrans();
        db.Execute("INSERT INTO Category (L1) VALUES ('a2')", dbFailOnError);
        CDaoDatabase late; // opened inside the inner level: joins both levels
        late.Open(b, TRUE, FALSE, kConnect);
        late.Execute("INSERT INTO Category (L1) VALUES ('b1')", dbFailOnError);
        ws.Rollback();
        EXPECT_TRUE(ws.InTransaction());
        late.Execute("INSERT INTO Category (L1) VALUES ('b2')", dbFailOnError);
        ws.BeginTrans();
        db.Execute("INSERT INTO Category (L1) VALUES ('a3')", dbFailOnError);
        ws.CommitTrans();
        ws.CommitTrans();
        EXPECT_FALSE(ws.InTransaction());
        EXPECT_THROW(ws.CommitTrans(), CDaoException);
    }
    using Rows = std::vector<std::vector<std::string>>;
    EXPECT_EQ(Query(a, "SELECT L1 FROM Category ORDER BY rowid"), (Rows{{"a1"}, {"a3"}}));
    EXPECT_EQ(Query(b, "SELECT L1 FROM Category ORDER BY rowid"), (Rows{{"b2"}}));
}

TEST(DaoEngine, AppendingToOneConnectionWhileAnotherStreamsTheSource)
{
    TempDir dir;
    const std::string src = dir / "cd.dbs";
    const std::string dst = dir / "hd.dbs";
    MakeGuideFile(src, PointRows("3", "2", 250));
    MakeGuideFile(dst, PointRows("1", "1", 5));
    {
        CDaoDatabase source, dest;
        source.Open(src, TRUE, TRUE, kConnect);
        dest.Open(dst, TRUE, FALSE, kConnect);
        CDaoWorkspace::Default().BeginTrans();
        CDaoRecordset in(&source), out(&dest);
        in.Open(dbOpenDynaset, "SELECT * FROM Point WHERE L1='3' AND L2='2'", 0);
        out.Open(dbOpenDynaset, "SELECT * FROM Point", 0);
        const short n = in.GetFieldCount();
        ASSERT_EQ(n, 21);
        for (; !in.IsEOF(); in.MoveNext()) {
            out.AddNew();
            for (short i = 0; i < n; ++i) {
                CDaoFieldInfo info;
                in.GetFieldInfo(i, info, AFX_DAO_PRIMARY_INFO);
                out.SetFieldValue(info.m_strName, in.GetFieldValue(info.m_strName));
            }
            out.Update();
        }
        CDaoWorkspace::Default().CommitTrans();
    }
    EXPECT_EQ(Scalar(dst, "SELECT count(*) FROM Point"), 255);
    const char* compare = "SELECT L1,L2,L3,L4,Longitude,Latitude,Name,NamePronounce,ZipCode,Address,Tel,PrefCode,"
                          "AreaCode,HighwayCode,MeshCode,TS99GenreCode,TS99SearchGenreCode,typeof(Longitude) "
                          "FROM Point WHERE L1='3' ORDER BY Longitude";
    EXPECT_EQ(Query(dst, compare), Query(src, compare));
}

TEST(DaoEngine, RecordsetCountsAllRowsAfterMoveLastAndStillReadsTheLastRow)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, PointRows("1", "1", 1000));
    CDaoDatabase db;
    db.Open(path, TRUE, TRUE, kConnect);
    CDaoRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT * FROM Point ORDER BY Longitude", 0);
    EXPECT_FALSE(rs.IsEOF());
    EXPECT_EQ(rs.GetRecordCount(), 1);
    rs.MoveNext();
    EXPECT_EQ(rs.GetRecordCount(), 2);
    rs.MoveLast();
    EXPECT_EQ(rs.GetRecordCount(), 1000);
    EXPECT_EQ(ToUtf8(rs.GetFieldValue("Name").text), "店1000");
    EXPECT_EQ(rs.GetFieldValue("Longitude").integer, 502001000);
    rs.MoveNext();
    EXPECT_TRUE(rs.IsEOF());
    EXPECT_THROW(rs.GetFieldValue("Name"), CDaoException);
    EXPECT_THROW(rs.MoveNext(), CDaoException);
}

TEST(DaoEngine, FieldAccessFailuresAreDaoExceptions)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, "INSERT INTO Category (L1, Name) VALUES ('1', '한국')");
    CDaoDatabase db;
    db.Open(path, TRUE, FALSE, kConnect);
    CDaoRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT * FROM Category", 0);
    EXPECT_EQ(rs.GetFieldValue("l1").text, "1"); // names compare without case
    EXPECT_TRUE(rs.GetFieldValue("L2").IsNull());
    EXPECT_THROW(rs.GetFieldValue("NoSuchField"), CDaoException);
    EXPECT_THROW(rs.GetFieldValue("Name"), CDaoException); // no CP932 form

    CDaoFieldInfo info;
    EXPECT_THROW(rs.GetFieldInfo(10, info), CDaoException);
    rs.AddNew();
    EXPECT_THROW(rs.SetFieldValue("Colour", COleVariant::FromText("x")), CDaoException);
    rs.SetFieldValue("Name", COleVariant::FromText("\x82")); // a lead byte alone
    EXPECT_THROW(rs.Update(), CDaoException);

    CDaoRecordset bad(&db);
    EXPECT_THROW(bad.Open(dbOpenDynaset, "SELECT * FROM NoSuchTable", 0), CDaoException);
    EXPECT_FALSE(bad.IsOpen());
    CDaoRecordset notQuery(&db);
    EXPECT_THROW(notQuery.Open(dbOpenDynaset, "DELETE FROM Category", 0), CDaoException);
    CDaoRecordset counted(&db);
    counted.Open(dbOpenDynaset, "SELECT count(*) AS n FROM Category", 0);
    EXPECT_THROW(counted.AddNew(), CDaoException);
    db.Close();
    EXPECT_EQ(Scalar(path, "SELECT count(*) FROM Category"), 1);
}

TEST(DaoEngine, ExecuteSpeaksJetsDeleteAndFailsWholeStatements)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, "INSERT INTO Category (L1,L2) VALUES ('1','0'),('1','1'),('2','0');"
                        "CREATE TABLE T (a integer unique); INSERT INTO T VALUES (3),(1),(2);");
    CDaoDatabase db;
    db.Open(path, TRUE, FALSE, kConnect);
    db.Execute("DELETE * FROM Category WHERE L1='1' AND L2='0'", dbFailOnError | dbConsistent);
    // 3 becomes 4, then 1 -> 2 collides: the whole statement is undone.
    EXPECT_THROW(db.Execute("UPDATE T SET a = a + 1", dbFailOnError), CDaoException);
    try {
        db.Execute("CREATE TABLE Category (x)", dbFailOnError);
        ADD_FAILURE();
    } catch (const CDaoException& e) {
        EXPECT_EQ(e.m_nEngineCode, 1); // SQLITE_ERROR
    }
    EXPECT_THROW(db.Execute("SELECT * FROM Category", dbFailOnError), CDaoException);
    db.Close();
    EXPECT_EQ(Query(path, "SELECT L1||L2 FROM Category ORDER BY 1"),
              (std::vector<std::vector<std::string>>{{"11"}, {"20"}}));
    EXPECT_EQ(Query(path, "SELECT a FROM T ORDER BY rowid"),
              (std::vector<std::vector<std::string>>{{"3"}, {"1"}, {"2"}}));
}

// A process that dies in the middle of a transaction leaves the file with
// some of its new pages and a journal beside it. The next open rolls the
// journal back, even when the cut-short file would not pass for whole.
TEST(DaoEngine, AnInterruptedTransactionIsRolledBackWhenTheFileIsNextOpened)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, PointRows("1", "1", 50));
    const std::string before = ReadFileBytes(path);
    ChildProcess crash([&] {
        RawDb db(path, false);
        const std::string rows = PointRows("2", "2", 2000); // "BEGIN;...COMMIT;"
        db.Exec("PRAGMA cache_size=2; BEGIN; DELETE FROM Point; " + rows.substr(6, rows.size() - 6 - 7));
        _exit(0); // no commit, no rollback, no close
        return true;
    });
    crash.release();
    const std::string cut = ReadFileBytes(path);
    ASSERT_GT(cut.size(), before.size() + 4096);
    ASSERT_GT(ReadFileBytes(path + "-journal").size(), 0u);
    WriteFileBytes(path, cut.substr(0, cut.size() - 4096 - 100));

    {
        CDaoDatabase db;
        db.Open(path, TRUE, TRUE, kConnect);
        CDaoRecordset rs(&db);
        rs.Open(dbOpenDynaset, "SELECT * FROM Point", 0);
        rs.MoveLast();
        EXPECT_EQ(rs.GetRecordCount(), 50);
    }
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"Guide.dbs"});
    EXPECT_EQ(Query(path, "PRAGMA integrity_check"), (std::vector<std::vector<std::string>>{{"ok"}}));
    EXPECT_EQ(ReadFileBytes(path), before);
}

TEST(DaoEngine, CompactionKeepsRowsAndPasswordAndRefusesAnExistingTarget)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, PointRows("1", "1", 300) + "DELETE FROM Point WHERE Longitude % 2 = 0;");
    CDaoWorkspace::CompactDatabase(path, dir / "db1.dbs", ";LANGID=0x0411;CP=932;COUNTRY=0", 36, kConnect);
    EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"Guide.dbs", "db1.dbs"}));
    EXPECT_EQ(Query(dir / "db1.dbs", "SELECT * FROM Point ORDER BY Longitude"),
              Query(path, "SELECT * FROM Point ORDER BY Longitude"));
    EXPECT_TRUE(Opens(dir / "db1.dbs", TRUE));
    EXPECT_FALSE(Opens(dir / "db1.dbs", TRUE, ";pwd=x"));

    const std::string before = ReadFileBytes(dir / "db1.dbs");
    EXPECT_THROW(CDaoWorkspace::CompactDatabase(path, dir / "db1.dbs", "", 36, kConnect), CDaoException);
    EXPECT_EQ(ReadFileBytes(dir / "db1.dbs"), before);
    EXPECT_THROW(CDaoWorkspace::CompactDatabase(path, dir / "db2.dbs", "", 36, ";pwd=wrong"), CDaoException);
    EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"Guide.dbs", "db1.dbs"}));
}

TEST(DaoEngine, RemovingADatabaseFileThatIsOpenIsRefused)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path);
    {
        CDaoDatabase db;
        db.Open(path, TRUE, TRUE, kConnect);
        EXPECT_FALSE(DaoRemoveDatabaseFile(path));
        EXPECT_TRUE(PathExists(path));
    }
    EXPECT_TRUE(DaoRemoveDatabaseFile(path));
    EXPECT_TRUE(ListDir(dir.path()).empty());
}
