// Appending rows through a recordset: inside a transaction the engine may
// write rows in batches, which nobody may notice: every reader and statement
// sees them, a rollback drops them, and a failing row is reported.
#include <gtest/gtest.h>

#include "search_fixture.h"
#include "searchdb/search_db.h"

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

} // namespace

// Readers opened before and after the rows came see them; a statement by
// another connection acts on them; a nested level that is rolled back takes
// only its own rows; an outer rollback leaves the file as it was.
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
                CDaoDatabase db, other;
                db.Open(path, TRUE, FALSE, kConnect);
                other.Open(path, TRUE, FALSE, kConnect);
                CDaoRecordset rs(&db);
                rs.Open(dbOpenDynaset, "SELECT * FROM Point", 0);
                ws.BeginTrans();
                Append(rs, Appended(1, count + 1));
                other.Execute("DELETE * FROM Point WHERE Longitude = " + std::to_string(500001 + count), dbFailOnError);
                EXPECT_EQ(CSearchDb().CountRecords(path, "SELECT * FROM Point"), count);
                rs.MoveLast();
                EXPECT_EQ(rs.GetRecordCount(), count);
                ws.BeginTrans();
                Append(rs, Appended(1000, 70));
                ws.Rollback();
                Append(rs, Appended(count + 2, 2));
                commit ? ws.CommitTrans() : ws.Rollback();
            }
            Rows expected = Appended(1, count + 3);
            expected.erase(expected.begin() + count);
            if (commit)
                EXPECT_EQ(Stored(path), expected);
            else
                EXPECT_EQ(ReadFileBytes(path), before);
        }
    }
}

// A failing row is never lost unseen. Raised by its Update, it failed alone:
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
            const std::string path = dir / "Guide.dbs", taken = std::to_string(500000 + failing);
            MakeGuideFile(path, "CREATE UNIQUE INDEX U ON Point (Longitude); INSERT INTO Point (Name, Longitude) VALUES ('x', " +
                                    taken + ");");
            Rows expected = Stored(path);
            int updateFailures = 0;
            bool readFailed = false, commitFailed = false;
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
                        EXPECT_EQ(e.m_nEngineCode, SQLITE_CONSTRAINT);
                        ++updateFailures;
                    }
                }
                readFailed = readFirst && CSearchDb().CountRecords(path, "SELECT * FROM Point") < 0;
                try {
                    ws.CommitTrans();
                } catch (const CDaoException&) {
                    commitFailed = true;
                }
                EXPECT_FALSE(ws.InTransaction());
            }
            EXPECT_EQ(updateFailures, commitFailed ? 0 : 1);
            EXPECT_EQ(readFailed, readFirst && commitFailed);
            for (const Strings& row : Appended(1, 100))
                if (updateFailures && row[1] != taken)
                    expected.push_back(row);
            EXPECT_EQ(Stored(path), expected);
        }
    }
}
