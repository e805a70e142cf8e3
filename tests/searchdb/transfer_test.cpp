// The transfer of a genre between two guide databases: what arrives, what
// stays out of the destination on cancel, error and crash, and the progress bar.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

#include "guide/genre_rows.h"
#include "platform/wait_cursor.h"
#include "search_fixture.h"
#include "searchdb/search_db.h"
#include "services/progress_sink.h"

using namespace fixture;

namespace {

// Counts the steps, cancels at a chosen one as the cancel button would, and
// notes whether the wait cursor was up at every step.
class RecordingSink : public CProgressSink {
public:
    int PumpAndStep() override
    {
        m_bWaitCursor = m_bWaitCursor && WaitCursorDepth() > 0;
        if (++m_nSteps == m_nCancelAt)
            m_bCancel = TRUE;
        if (m_onStep)
            m_onStep();
        return 0;
    }
    void SetRange(int, int nUpper) override { m_nUpper = nUpper; }
    void SetPos(int) override { m_bCancel = FALSE; }
    void SetStep(int) override {}

    int m_nUpper = 0, m_nSteps = 0, m_nCancelAt = -1;
    bool m_bWaitCursor = true;
    std::function<void()> m_onStep;
};

// Genres under four groups, n points each. Group 10 has two rows whose L2 is
// "0"; group 40's only genre is its group row; group 30 has no genre rows.
void MakeSource(const std::string& path, int n = 5)
{
    MakeGuideFile(path, "INSERT INTO Category (L1,L2,L3,Name) VALUES ('0',null,null,'施設'),('10','0','0','金融'),"
                        "('10','0','01','金融その他'),('10','01','0','銀行'),('10','01','01','都市銀行'),"
                        "('10','02','0','郵便局'),('20','0','0','交通'),('20','01','0','駅'),('30','0','0','公共'),"
                        "('40','0','0','病院');" +
                            PointRows("10", "01", n) + PointRows("10", "02", n, 1000) +
                            PointRows("20", "01", n, 2000) + PointRows("40", "0", n, 3000));
}

// A new hard-disk guide database with its seed row, group 20's row and the caller's SQL.
void MakeDest(const std::string& path, const std::string& moreSql = "")
{
    MakeGuideFile(path, Sql(12010) + ";INSERT INTO Category (L1,L2,L3) VALUES ('20','0','0');" + moreSql);
}

// The genre's Category rows, then its Point rows.
Rows GenreRows(const std::string& path, const std::string& l1, const std::string& l2)
{
    const std::string where = " WHERE L1='" + l1 + "' AND L2='" + l2 + "' ORDER BY rowid;";
    return Query(path, "SELECT * FROM Category" + where + "SELECT * FROM Point" + where);
}

// The guide page's own install of one genre.
int InstallGenre(RecordingSink& sink, const std::string& src, const std::string& dst, const std::string& l1,
                 const std::string& l2)
{
    CSearchDb db;
    return InstallGenreRows(db, &sink, src, dst, l1, l2);
}

} // namespace

// A genre arrives whole, with its group's rows only when they are missing;
// on cancel or failure the destination stays exactly as it was. Both files
// are closed again, and only a file that does not open is reported (2039).
TEST(Transfer, InstallsAGenreWholeOrNotAtAll)
{
    const struct {
        const char *l1, *l2;
        std::string srcSql, dstSql;
        int cancelAt, result;
        int rows = 0, groupRows = 0; // copied: the genre's Category and Point rows, the group's
        bool holdDest = false;
    } cases[] = {
        {"10", "01", "", "", 0, 1, 2 + 5, 2}, // the group row and its sibling
        {"20", "01", "", "", 0, 1, 1 + 5, 0}, // the destination has the group row
        {"30", "01", "", "", 0, 1, 0, 1},     // an empty genre still brings its group row
        {"40", "0", "", "", 0, 1, 1 + 5, 0},  // the genre's rows hold its group row: not doubled
        {"10", "01", "", "", 2 + 3, 0},       // cancel at a Point row
        {"10", "01", "", "", 2 + 5 + 1, 0},   // cancel at the group row
        {"10", "01", "ALTER TABLE Point ADD COLUMN Rating short null", "", 0, -1}, // the destination lacks it
        {"10", "01", "", "DROP TABLE Point", 0, -2},
        {"10", "01", "", "", 0, -2, 0, 0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.l1) + "/" + c.l2 + c.srcSql + c.dstSql + " " + std::to_string(c.cancelAt));
        TempDir dir;
        MessageRecorder messages;
        const std::string src = dir / "Guide.dbs", dst = dir / "hd.dbs";
        const std::string count = "SELECT (SELECT count(*) FROM Category) + (SELECT count(*) FROM Point)";
        MakeSource(src);
        MakeDest(dst, PointRows("50", "01", 3, 900) + c.dstSql);
        Query(src, c.srcSql);
        const std::string before = ReadFileBytes(dst);
        const long long rowsBefore = c.result == 1 ? Scalar(dst, count) : 0;
        auto holder = c.holdDest ? std::make_unique<OtherProcessHolding>(dst) : nullptr;
        RecordingSink sink;
        sink.m_nCancelAt = c.cancelAt;
        EXPECT_EQ(InstallGenre(sink, src, dst, c.l1, c.l2), c.result);
        EXPECT_EQ(messages.texts(), c.holdDest ? Strings{Message(2039, dst)} : Strings{});
        EXPECT_EQ(RunSqliteShell(src, "BEGIN EXCLUSIVE; COMMIT;"), 0); // nothing of ours holds it
        holder.reset();
        EXPECT_EQ(ListDir(dir.path()), (Strings{"Guide.dbs", "hd.dbs"}));
        if (c.result != 1) {
            EXPECT_EQ(ReadFileBytes(dst), before);
            continue;
        }
        EXPECT_EQ(GenreRows(dst, c.l1, c.l2), GenreRows(src, c.l1, c.l2));
        EXPECT_EQ(Scalar(dst, count), rowsBefore + c.rows + c.groupRows);
        // One step per copied row: the bar ends at its end with one group row copied.
        EXPECT_EQ(sink.m_nUpper, c.rows + 1);
        EXPECT_EQ(sink.m_nSteps, c.rows + c.groupRows);
        EXPECT_TRUE(sink.m_bWaitCursor);
    }
}

// A process killed at any moment of an installation of several genres leaves
// a sound destination holding exactly the genres it committed.
TEST(Transfer, KilledProcessLeavesOnlyCommittedGenres)
{
    const char* const genres[][2] = {{"10", "01"}, {"10", "02"}, {"20", "01"}, {"40", "0"}};
    TempDir dir;
    const std::string src = dir / "Guide.dbs", fresh = dir / "fresh.dbs", dst = dir / "hd.dbs";
    MakeSource(src, 150);
    MakeGuideFile(fresh, Sql(12010));
    std::mt19937 rng(8675309);
    for (int trial = 0; trial < 20; ++trial) {
        WriteFileBytes(dst, ReadFileBytes(fresh));
        const int killAt = std::uniform_int_distribution<int>(1, 4 * 151 + 4)(rng); // any step of the four
        int report[2];
        ASSERT_EQ(pipe(report), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            RecordingSink sink;
            // Even trials die inside the pump; in odd ones the parent kills the
            // child while it runs on, so the blow can land in a commit.
            sink.m_onStep = [&] {
                if (sink.m_nSteps == killAt && (trial % 2 == 0 || write(report[1], "S", 1) != 1))
                    kill(getpid(), SIGKILL);
            };
            for (const auto& g : genres)
                if (InstallGenre(sink, src, dst, g[0], g[1]) != 1 || write(report[1], "C", 1) != 1)
                    _exit(3);
            _exit(0);
        }
        close(report[1]);
        int committed = 0;
        for (char c; read(report[0], &c, 1) == 1;)
            c == 'S' ? (void)kill(pid, SIGKILL) : (void)++committed;
        close(report[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) || WEXITSTATUS(status) == 0) << trial;
        EXPECT_EQ(Query(dst, "PRAGMA integrity_check"), Rows{{"ok"}});
        // Committed genres are whole; the one in hand whole or absent; the rest absent.
        int present = 0;
        for (int g = 0; g < 4; ++g) {
            const Rows rows = GenreRows(dst, genres[g][0], genres[g][1]);
            const bool whole = rows == GenreRows(src, genres[g][0], genres[g][1]);
            EXPECT_TRUE(g < committed ? whole : g == committed ? whole || rows.empty() : rows.empty()) << trial << g;
            present += whole;
        }
        // Group rows come with the first genre of their group, once (40's is its genre's own).
        EXPECT_EQ(Scalar(dst, "SELECT count(*) FROM Category WHERE L2='0'"), (present > 0) * 2 + (present > 2) + (present > 3));
    }
}

// Real place data holds text that code page 932 cannot: in the Property row,
// the genre's Category rows, its group row and its points. A new hard-disk
// database and two genres installed by the page's own code hold it byte for
// byte, as another program (the sqlite3 shell) reads both files.
TEST(Transfer, TextBeyondCodePage932ArrivesByteForByte)
{
    TempDir dir;
    MessageRecorder messages;
    const std::string src = dir / "Guide.dbs", dst = dir / "hd.dbs";
    const auto& v = BeyondCp932();
    std::string sql = "DELETE FROM Property; INSERT INTO Property VALUES ('Tessra','5.0','GuideData','1.0'," +
                      TextLiteral(v[1]) + "," + TextLiteral(v[2]) + "," + TextLiteral(v[5]) + ");" + Sql(12010) +
                      ";INSERT INTO Category (L1,L2,L3,Name,NamePronounce) VALUES ('10','0','0'," + TextLiteral(v[0]) +
                      "," + TextLiteral(v[3]) + ");";
    for (size_t i = 0; i < v.size(); ++i) {
        const std::string l2 = i % 2 ? "'01'" : "'02'", text = TextLiteral(v[i]);
        sql += "INSERT INTO Category (L1,L2,L3,Name,NamePronounce) VALUES ('10'," + l2 + ",'" + std::to_string(i + 1) +
               "'," + text + "," + text + ");INSERT INTO Point (L1,L2,L3,Name,NamePronounce,Address,Tel,TS99GenreCode) "
               "VALUES ('10'," + l2 + ",'0'," + text + "," + text + "," + text + "," + text + ",'10010100');";
    }
    MakeGuideFile(src, sql + "INSERT INTO Category (L1,L2,L3,Name) VALUES ('10','01','0','Plain'),('10','02','0','Also');");
    CSearchDb db;
    ASSERT_TRUE(CreateSearchFile(db, src, dst));
    for (const char* l2 : {"01", "02"}) {
        RecordingSink sink;
        EXPECT_EQ(InstallGenre(sink, src, dst, "10", l2), 1) << l2;
    }
    EXPECT_EQ(messages.texts(), Strings{});
    const std::string read = ".mode quote\nSELECT * FROM Property;\nSELECT * FROM Category WHERE L1='10' ORDER BY L2, L3;\n"
                             "SELECT * FROM Point ORDER BY L2, rowid;\n";
    const std::string onCd = SqliteShellOutput(src, read), installed = SqliteShellOutput(dst, read);
    EXPECT_EQ(installed, onCd);
    for (const std::string& value : v)
        EXPECT_NE(installed.find(value), std::string::npos) << value;
    EXPECT_EQ(SqliteShellOutput(dst, "SELECT count(*) FROM Point WHERE typeof(Name) = 'text';"), "6\n");
}
