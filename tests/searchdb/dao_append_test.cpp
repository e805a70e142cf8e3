// Appending rows through a recordset: inside a transaction the engine may
// write rows in batches, which nobody may notice: every reader and statement
// sees them, a rollback drops them, a failing row fails alone and is
// reported, and text set after it was read is written as set.
#include <gtest/gtest.h>

#include <functional>

#include "search_fixture.h"
#include "searchdb/search_db.h"
#include "services/progress_sink.h"

using namespace fixture;

namespace {

// Rows (Name, Longitude, PrefCode) of Point: Japanese and ASCII text, numbers, Nulls.
Rows Appended(int first, int count)
{
    Rows rows;
    for (int i = first; i < first + count; ++i)
        rows.push_back({i % 3 ? "店" + std::to_string(i) : "Shop" + std::to_string(i), std::to_string(500000 + i),
                        i % 4 ? std::to_string(i % 47) : "<null>"});
    return rows;
}

void Append(CDaoRecordset& rs, const Rows& rows)
{
    for (const Strings& row : rows) {
        rs.AddNew();
        rs.SetFieldValue("Name", COleVariant::FromText(J(row[0])));
        rs.SetFieldValue("Longitude", COleVariant::FromInteger(std::stoll(row[1])));
        if (row[2] != "<null>")
            rs.SetFieldValue("PrefCode", COleVariant::FromInteger(std::stoll(row[2])));
        rs.Update();
    }
}

Rows Stored(const std::string& path)
{
    return Query(path, "SELECT Name, Longitude, ifnull(PrefCode, '<null>') FROM Point ORDER BY rowid");
}

// The rows of Point as a second connection of the engine sees them.
long CountThroughEngine(const std::string& path)
{
    CDaoDatabase db;
    db.Open(path, TRUE, TRUE, kConnect);
    CDaoRecordset rs(&db);
    rs.Open(dbOpenDynaset, "SELECT count(*) AS n FROM Point", 0);
    return static_cast<long>(rs.GetFieldValue("n").integer);
}

struct NoSink : CProgressSink {
    int PumpAndStep() override { return 0; }
    void SetRange(int, int) override {}
    void SetPos(int) override {}
    void SetStep(int) override {}
};

} // namespace

TEST(DaoAppend, RowsAppendedInATransactionAreSeenByEveryReaderAndKeptInOrder)
{
    CDaoWorkspace& ws = CDaoWorkspace::Default();
    for (const int count : {1, 64, 65}) {
        for (const bool commit : {true, false}) {
            SCOPED_TRACE(std::to_string(count) + (commit ? " committed" : " rolled back"));
            TempDir dir;
            const std::string path = dir / "Guide.dbs";
            MakeGuideFile(path);
            const std::string before = ReadFileBytes(path);
            {
                CDaoDatabase db;
                db.Open(path, TRUE, FALSE, kConnect);
                CDaoRecordset rs(&db);
                rs.Open(dbOpenDynaset, "SELECT * FROM Point", 0);
                ws.BeginTrans();
                Append(rs, Appended(1, count));
                EXPECT_EQ(CountThroughEngine(path), count);
                rs.MoveLast(); // a reader opened before the rows came sees them too
                EXPECT_EQ(rs.GetRecordCount(), count);
                commit ? ws.CommitTrans() : ws.Rollback();
            }
            if (commit)
                EXPECT_EQ(Stored(path), Appended(1, count));
            else
                EXPECT_EQ(ReadFileBytes(path), before);
        }
    }
}

// A statement by any connection acts on the rows appended before it; a
// nested level that is rolled back takes only its own rows.
TEST(DaoAppend, StatementsAndNestedLevelsSeeTheRowsAppendedBeforeThem)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path);
    CDaoWorkspace& ws = CDaoWorkspace::Default();
    {
        CDaoDatabase db, other;
        db.Open(path, TRUE, FALSE, kConnect);
        other.Open(path, TRUE, FALSE, kConnect);
        CDaoRecordset rs(&db);
        rs.Open(dbOpenDynaset, "SELECT * FROM Point", 0);
        ws.BeginTrans();
        Append(rs, Appended(1, 100));
        other.Execute("DELETE * FROM Point WHERE Longitude > 500090", dbFailOnError); // rows 91-100
        ws.BeginTrans();
        Append(rs, Appended(101, 70));
        ws.Rollback();
        Append(rs, Appended(171, 5));
        ws.CommitTrans();
    }
    Rows expected = Appended(1, 90), more = Appended(171, 5);
    expected.insert(expected.end(), more.begin(), more.end());
    EXPECT_EQ(Stored(path), expected);
}

// A failing row is never lost unseen. Raised by an Update, it failed alone:
// the other rows arrive and the transaction commits. Raised anywhere else
// (the next read, the commit), its appender never heard of it, so the
// transaction cannot commit.
TEST(DaoAppend, AFailingRowIsReportedToItsAppenderOrFailsTheCommit)
{
    CDaoWorkspace& ws = CDaoWorkspace::Default();
    for (const int failing : {1, 64, 100}) {
        for (const bool readFirst : {false, true}) {
            SCOPED_TRACE(std::to_string(failing) + (readFirst ? ", read before the commit" : ""));
            TempDir dir;
            const std::string path = dir / "Guide.dbs";
            MakeGuideFile(path, "CREATE UNIQUE INDEX Unique07 ON Point (Longitude);"
                                "INSERT INTO Point (Name, Longitude) VALUES ('x', " + std::to_string(500000 + failing) + ");");
            const Rows before = Stored(path);
            bool updateFailed = false, readFailed = false, commitFailed = false;
            {
                CDaoDatabase db;
                db.Open(path, TRUE, FALSE, kConnect);
                CDaoRecordset rs(&db);
                rs.Open(dbOpenDynaset, "SELECT * FROM Point", 0);
                ws.BeginTrans();
                for (const Strings& row : Appended(1, 100)) {
                    try {
                        Append(rs, {row});
                    } catch (const CDaoException& e) {
                        EXPECT_FALSE(updateFailed);
                        updateFailed = e.m_nEngineCode == SQLITE_CONSTRAINT;
                    }
                }
                try {
                    if (readFirst)
                        CountThroughEngine(path);
                } catch (const CDaoException&) {
                    readFailed = true;
                }
                try {
                    ws.CommitTrans();
                } catch (const CDaoException&) {
                    commitFailed = true;
                }
                EXPECT_FALSE(ws.InTransaction());
            }
            EXPECT_NE(updateFailed, commitFailed);
            EXPECT_EQ(readFailed, readFirst && commitFailed);
            Rows expected = before;
            for (const Strings& row : Appended(1, 100))
                if (row[1] != std::to_string(500000 + failing) && updateFailed)
                    expected.push_back(row);
            EXPECT_EQ(Stored(path), expected);
        }
    }
}

// The genre's transfer fails as a whole on a row that cannot be written,
// wherever it lies, and the destination stays as it was.
TEST(DaoAppend, ARowThatCannotBeWrittenFailsTheWholeTransfer)
{
    for (const int failing : {1, 64, 150}) {
        TempDir dir;
        MessageRecorder messages;
        const std::string src = dir / "Guide.dbs", dst = dir / "hd.dbs";
        MakeGuideFile(src, "INSERT INTO Category (L1,L2,L3) VALUES ('10','0','0'),('10','01','0');" +
                               PointRows("10", "01", 150));
        MakeGuideFile(dst, Sql(12010) + "; CREATE UNIQUE INDEX Unique07 ON Point (Longitude);" +
                               PointRows("20", "01", 1, failing));
        const std::string before = ReadFileBytes(dst);
        NoSink sink;
        CSearchDb db;
        EXPECT_EQ(db.TransferGenre(&sink, src, dst, FormatSql(13082, "10", "01"), "10"), -1) << failing;
        EXPECT_EQ(ReadFileBytes(dst), before) << failing;
        EXPECT_TRUE(messages.shown().empty());
    }
}

// Text read from one database carries its UTF-8 form to the next; text set
// anew after reading, in whatever way, is written as set.
TEST(DaoAppend, TextChangedAfterReadingIsWrittenAsChanged)
{
    const std::tuple<const char*, std::function<void(COleVariant&)>, std::string> cases[] = {
        {"unchanged", [](COleVariant&) {}, "東京都千代田区"},
        {"a character replaced in place", [](COleVariant& v) { v.text.replace(0, 2, J("南")); }, "南京都千代田区"},
        {"appended to", [](COleVariant& v) { v.text += J("丸の内"); }, "東京都千代田区丸の内"},
        {"made a whole number", [](COleVariant& v) { v = COleVariant::FromInteger(13); }, "13"},
    };
    CDaoWorkspace& ws = CDaoWorkspace::Default();
    for (const auto& [what, change, stored] : cases) {
        for (const bool inTransaction : {true, false}) {
            SCOPED_TRACE(std::string(what) + (inTransaction ? " in a transaction" : ""));
            TempDir dir;
            const std::string src = dir / "src.dbs", dst = dir / "dst.dbs";
            MakeGuideFile(src, "INSERT INTO Point (Address) VALUES ('東京都千代田区')");
            MakeGuideFile(dst);
            {
                CDaoDatabase in, out;
                in.Open(src, TRUE, TRUE, kConnect);
                out.Open(dst, TRUE, FALSE, kConnect);
                CDaoRecordset from(&in), to(&out);
                from.Open(dbOpenDynaset, "SELECT * FROM Point", 0);
                to.Open(dbOpenDynaset, "SELECT * FROM Point", 0);
                if (inTransaction)
                    ws.BeginTrans();
                COleVariant value = from.GetFieldValue("Address");
                change(value);
                to.AddNew();
                to.SetFieldValue("Address", value);
                to.Update();
                COleVariant copy = value;
                to.AddNew();
                to.SetFieldValue("Address", std::move(copy));
                to.Update();
                if (inTransaction)
                    ws.CommitTrans();
            }
            EXPECT_EQ(Query(dst, "SELECT Address FROM Point"), (Rows{{stored}, {stored}}));
        }
    }
}

// Outside a transaction each Update writes its row: a failure is raised
// there, the row can be mended and written again, and rows written survive a
// process that dies without closing anything.
TEST(DaoAppend, OutsideATransactionEachUpdateWritesItsRow)
{
    TempDir dir;
    const std::string path = dir / "Guide.dbs";
    MakeGuideFile(path, "CREATE UNIQUE INDEX Unique07 ON Point (Longitude);"
                        "INSERT INTO Point (Name, Longitude) VALUES ('x', 500002);");
    const pid_t pid = fork();
    if (pid == 0) {
        auto* db = new CDaoDatabase; // never closed
        auto* rs = new CDaoRecordset(db);
        try {
            db->Open(path, TRUE, FALSE, kConnect);
            rs->Open(dbOpenDynaset, "SELECT * FROM Point", 0);
            rs->AddNew();
            rs->SetFieldValue("Longitude", COleVariant::FromInteger(500002));
            try {
                rs->Update();
                _exit(2); // the duplicate was not refused at once
            } catch (const CDaoException&) {
            }
            rs->SetFieldValue("Longitude", COleVariant::FromInteger(500003));
            rs->Update();
        } catch (const CDaoException&) {
            _exit(3);
        }
        kill(getpid(), SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "child exited with " << WEXITSTATUS(status);
    EXPECT_EQ(Stored(path), (Rows{{"x", "500002", "<null>"}, {"<null>", "500003", "<null>"}}));
}
