// Copying every row of one recordset to another's table in one statement:
// the rows that arrive are those the row-by-row copy brings, the work after
// each row runs once per row and can stop the copy, the source's file stays
// locked against other processes, and where the engine cannot copy so it
// says so and does nothing.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <stdexcept>

#include "search_fixture.h"
#include "searchdb/dao_impl.h"
#include "searchdb/search_db.h"

using namespace fixture;

namespace {

using Result = CDaoRecordset::AppendResult;

// Every row of Point, each field quoted as SQLite stores it (type and bytes).
Rows Stored(const std::string& path)
{
    return Query(path,
                 "SELECT quote(L1), quote(L2), quote(Name), quote(NamePronounce), quote(Longitude), "
                 "quote(Latitude), quote(PrefCode), quote(Address) FROM Point ORDER BY rowid");
}

// The row-by-row copy: each field of each row by name.
void CopyRowByRow(CDaoRecordset& src, CDaoRecordset& dst)
{
    std::vector<std::string> names;
    for (short i = 0; i < src.GetFieldCount(); ++i) {
        CDaoFieldInfo info;
        src.GetFieldInfo(i, info);
        names.push_back(info.m_strName);
    }
    for (; !src.IsEOF(); src.MoveNext()) {
        dst.AddNew();
        for (const std::string& name : names)
            dst.SetFieldValue(name, src.GetFieldValue(name));
        dst.Update();
    }
}

struct Copy {
    Result result = Result::Unsupported;
    int afterRows = 0;
};

// Copies the rows of query in source to dest's Point, in a transaction that
// is committed, one way or the other.
Copy CopyPoints(const std::string& source, const std::string& query, const std::string& dest, bool inOneStatement)
{
    CDaoWorkspace& ws = CDaoWorkspace::Default();
    CDaoDatabase from, to;
    from.Open(source, TRUE, TRUE, kConnect);
    to.Open(dest, TRUE, FALSE, kConnect);
    CDaoRecordset src(&from), dst(&to);
    src.Open(dbOpenDynaset, query, 0);
    dst.Open(dbOpenDynaset, "SELECT * FROM Point", 0);
    Copy copy;
    ws.BeginTrans();
    if (inOneStatement)
        copy.result = dst.AppendRowsOf(src, [&] { return ++copy.afterRows > 0; });
    else
        CopyRowByRow(src, dst);
    ws.CommitTrans();
    return copy;
}

const std::string kOddText = "INSERT INTO Point (L1,L2,Name,NamePronounce,Longitude,Latitude,PrefCode,Address) VALUES "
                             "('10','01','𠮷野家 😀','Café ©',1.5,x'00ff10',null,'𩸽の俠'),"
                             "('10','01',CAST(x'ff80e3' AS TEXT),'',-7,9e300,13,null),"
                             "('10','02','other genre','',1,2,3,'')";

} // namespace

// The same rows, field for field and byte for byte, as the row-by-row copy
// brings, whatever the source's columns, their order and the query's form.
TEST(DaoCopy, OneStatementBringsWhatTheRowByRowCopyBrings)
{
    const struct {
        const char* what;
        std::string sourceSql, query;
        int rows;
    } cases[] = {
        {"text beyond CP932, bytes that are not UTF-8, reals, blobs, Nulls", kOddText,
         "SELECT * FROM Point WHERE L1='10' AND L2='01'", 2},
        {"fewer columns, in another order",
         "DROP TABLE Point; CREATE TABLE Point (Address, Name, L2, L1, Longitude);"
         "INSERT INTO Point VALUES ('東京都','店','01','10',5), (null,'b','01','10',6)",
         "SELECT * FROM Point", 2},
        {"named fields, an order and a semicolon at the end", PointRows("10", "01", 70),
         "SELECT Name, L1, Longitude FROM Point WHERE Longitude > 502000005 ORDER BY Longitude DESC ; ", 65},
        {"no rows", PointRows("10", "01", 3), "SELECT * FROM Point WHERE L1='99'", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string source = dir / "Source.dbs";
        MakeGuideFile(source, c.sourceSql);
        Rows expected;
        for (const bool inOneStatement : {false, true}) {
            const std::string dest = dir / (inOneStatement ? "one.dbs" : "rows.dbs");
            MakeGuideFile(dest, PointRows("50", "01", 2));
            const Copy copy = CopyPoints(source, c.query, dest, inOneStatement);
            if (!inOneStatement) {
                expected = Stored(dest);
                continue;
            }
            EXPECT_EQ(copy.result, Result::Done);
            EXPECT_EQ(copy.afterRows, c.rows);
            EXPECT_EQ(Stored(dest), expected);
            EXPECT_EQ(Query(dest, "PRAGMA integrity_check"), (Rows{{"ok"}}));
        }
        EXPECT_EQ(expected.size(), static_cast<size_t>(2 + c.rows));
    }
}

// Where the engine cannot copy in one statement it says so and has done
// nothing; the caller's row-by-row copy then behaves as it always has.
TEST(DaoCopy, WhatCannotBeCopiedInOneStatementIsLeftToTheRowByRowCopy)
{
    const struct {
        const char* what;
        std::string sourceSql, query;
        bool sameFile = false, inTransaction = true, movedOn = false;
    } cases[] = {
        {"outside a transaction each row commits alone", "", "SELECT * FROM Point", false, false},
        {"from the same file", "", "SELECT * FROM Point WHERE L1='10'", true},
        {"from a view", "CREATE VIEW Banks AS SELECT * FROM Point WHERE L2='01'", "SELECT * FROM Banks"},
        {"a field without its column", "ALTER TABLE Point ADD COLUMN Rating short null", "SELECT * FROM Point"},
        {"two fields for one column", "", "SELECT Name, name FROM Point"},
        {"a table the destination lacks, which it must not find in the source", "CREATE TABLE Extra (x)",
         "SELECT * FROM Point"},
        {"a source past its first row", "", "SELECT * FROM Point", false, true, true},
    };
    CDaoWorkspace& ws = CDaoWorkspace::Default();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const std::string source = dir / "Source.dbs", dest = c.sameFile ? source : dir / "Guide.dbs";
        MakeGuideFile(source, PointRows("10", "01", 3) + c.sourceSql);
        if (!c.sameFile)
            MakeGuideFile(dest, PointRows("50", "01", 2));
        const std::string before = ReadFileBytes(dest);
        int afterRows = 0;
        {
            CDaoDatabase from, to;
            from.Open(source, TRUE, c.sameFile ? FALSE : TRUE, kConnect);
            if (!c.sameFile)
                to.Open(dest, TRUE, FALSE, kConnect);
            CDaoRecordset src(&from), dst(c.sameFile ? &from : &to);
            src.Open(dbOpenDynaset, c.query, 0);
            dst.Open(dbOpenDynaset, "SELECT * FROM Point", 0);
            if (c.movedOn)
                src.MoveNext();
            if (c.inTransaction)
                ws.BeginTrans();
            EXPECT_EQ(dst.AppendRowsOf(src, [&] { return ++afterRows > 0; }), Result::Unsupported);
            // Nothing of the source is to be found through the destination.
            CDaoRecordset extra(c.sameFile ? &from : &to);
            EXPECT_THROW(extra.Open(dbOpenDynaset, "SELECT * FROM Extra", 0), CDaoException);
            if (c.inTransaction)
                ws.Rollback();
        }
        EXPECT_EQ(afterRows, 0);
        EXPECT_EQ(ReadFileBytes(dest), before);
    }
}

// The work after each row can stop the copy at any row, or fail it; the
// copy's rows are then gone even before the transaction is rolled back.
TEST(DaoCopy, TheWorkAfterARowStopsOrFailsTheCopyAndTakesItsRowsAway)
{
    CDaoWorkspace& ws = CDaoWorkspace::Default();
    for (const int stopAt : {1, 40, 100}) {
        for (const bool raise : {false, true}) {
            SCOPED_TRACE(std::to_string(stopAt) + (raise ? " raises" : " stops"));
            TempDir dir;
            const std::string source = dir / "Source.dbs", dest = dir / "Guide.dbs";
            MakeGuideFile(source, PointRows("10", "01", 100));
            MakeGuideFile(dest, PointRows("50", "01", 2));
            const std::string before = ReadFileBytes(dest);
            int afterRows = 0;
            {
                CDaoDatabase from, to;
                from.Open(source, TRUE, TRUE, kConnect);
                to.Open(dest, TRUE, FALSE, kConnect);
                CDaoRecordset src(&from), dst(&to);
                src.Open(dbOpenDynaset, "SELECT * FROM Point", 0);
                dst.Open(dbOpenDynaset, "SELECT * FROM Point", 0);
                ws.BeginTrans();
                const std::function<bool()> afterRow = [&] {
                    if (++afterRows < stopAt)
                        return true;
                    if (raise)
                        throw std::runtime_error("the window went away");
                    return false;
                };
                if (raise)
                    EXPECT_THROW(dst.AppendRowsOf(src, afterRow), std::runtime_error);
                else
                    EXPECT_EQ(dst.AppendRowsOf(src, afterRow), Result::Stopped);
                EXPECT_EQ(CSearchDb().CountRecords(dest, "SELECT * FROM Point"), 2);
                ws.Rollback();
            }
            EXPECT_EQ(afterRows, stopAt);
            EXPECT_EQ(ReadFileBytes(dest), before);
        }
    }
}

// The source is read through its own connection: no other process can write
// it while that connection is open, before or after the copy, and the
// destination keeps nothing of it once the transaction has ended.
TEST(DaoCopy, TheSourceStaysLockedAndTheDestinationLetsGoOfIt)
{
    CDaoWorkspace& ws = CDaoWorkspace::Default();
    TempDir dir;
    const std::string source = dir / "Source.dbs", dest = dir / "Guide.dbs";
    MakeGuideFile(source, PointRows("10", "01", 20));
    MakeGuideFile(dest);
    const std::string sourceBytes = ReadFileBytes(source);
    auto from = std::make_unique<CDaoDatabase>();
    from->Open(source, TRUE, TRUE, kConnect);
    {
        CDaoDatabase to;
        to.Open(dest, TRUE, FALSE, kConnect);
        CDaoRecordset src(from.get()), dst(&to);
        src.Open(dbOpenDynaset, "SELECT * FROM Point", 0);
        dst.Open(dbOpenDynaset, "SELECT * FROM Point", 0);
        ws.BeginTrans();
        EXPECT_EQ(dst.AppendRowsOf(src, [] { return true; }), Result::Done);
        ws.CommitTrans();
        sqlite3* db = to.GetImpl()->file->db;
        sqlite3_stmt* list = nullptr;
        sqlite3_prepare_v2(db, "SELECT count(*) FROM pragma_database_list WHERE name NOT IN ('main','temp')", -1, &list,
                           nullptr);
        ASSERT_EQ(sqlite3_step(list), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(list, 0), 0) << "a source file is still attached";
        sqlite3_finalize(list);
        EXPECT_NE(RunSqliteShell(source, "BEGIN EXCLUSIVE; COMMIT;"), 0) << "the source was let go during the copy";
    }
    EXPECT_NE(RunSqliteShell(source, "BEGIN EXCLUSIVE; COMMIT;"), 0) << "the source was let go with the destination";
    from.reset();
    EXPECT_EQ(RunSqliteShell(source, "BEGIN EXCLUSIVE; COMMIT;"), 0);
    EXPECT_EQ(ReadFileBytes(source), sourceBytes);
    EXPECT_EQ(Scalar(dest, "SELECT count(*) FROM Point"), 20);
}
