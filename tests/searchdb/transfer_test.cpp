// The transfer of a genre between two guide databases: what arrives in the
// destination file, what stays out of it on cancel, error and crash, and how
// the progress bar is driven.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <random>

#include "platform/message_box.h"
#include "platform/wait_cursor.h"
#include "res/strings.h"
#include "search_fixture.h"
#include "searchdb/search_db.h"
#include "services/progress_sink.h"
#include "support/test_support.h"

using namespace fixture;

namespace {

using Rows = std::vector<std::vector<std::string>>;

// Records what the transfer does with the bar, and cancels at a chosen step
// as the cancel button would.
class RecordingSink : public CProgressSink {
public:
    int PumpAndStep() override
    {
        const int previous = m_nPos;
        m_nPos += m_nStep;
        ++m_nSteps;
        m_nWaitDepth = std::min(m_nWaitDepth, WaitCursorDepth());
        if (m_nSteps == m_nCancelAt)
            m_bCancel = TRUE;
        if (m_onStep)
            m_onStep(m_nSteps);
        return previous;
    }
    void SetRange(int nLower, int nUpper) override
    {
        m_nLower = nLower;
        m_nUpper = nUpper;
    }
    void SetPos(int nPos) override
    {
        m_bCancel = FALSE;
        m_nPos = nPos;
    }
    void SetStep(int nStep) override { m_nStep = nStep; }

    int m_nLower = 0, m_nUpper = 100, m_nPos = 0, m_nStep = 10;
    int m_nSteps = 0;
    int m_nCancelAt = -1;
    int m_nWaitDepth = 1 << 30; // the least wait-cursor depth seen while stepping
    std::function<void(int)> m_onStep;
};

// The source: a CD-ROM guide database with genres under three groups. Group
// 10 has two rows whose L2 is "0"; group 40's only genre is its group row.
void MakeSource(const std::string& path, int points1001 = 5)
{
    MakeGuideFile(path, "INSERT INTO Category (L1,L2,L3,Name,NamePronounce) VALUES "
                        "('0',null,null,'施設','シセツ'),"
                        "('10','0','0','金融','キンユウ'),"
                        "('10','0','01','金融その他','キンユウソノタ'),"
                        "('10','01','0','銀行','ギンコウ'),"
                        "('10','01','01','都市銀行','トシギンコウ'),"
                        "('10','02','0','郵便局','ユウビンキョク'),"
                        "('20','0','0','交通','コウツウ'),"
                        "('20','01','0','駅','エキ'),"
                        "('30','0','0','公共','コウキョウ'),"
                        "('40','0','0','病院','ビョウイン');" +
                            PointRows("10", "01", points1001) + PointRows("10", "02", 3, 100) +
                            PointRows("20", "01", 4, 200) + PointRows("40", "0", 2, 300));
}

// The destination: a new hard-disk guide database with its seed row, and
// whatever the case adds.
void MakeDest(const std::string& path, const std::string& moreSql = "")
{
    MakeGuideFile(path, LoadResStringUtf8(12010) + ";" + moreSql);
}

Rows Dump(const std::string& path, const std::string& table)
{
    return Query(path, "SELECT * FROM " + table + " ORDER BY rowid");
}

Rows Select(const std::string& path, const std::string& table, const std::string& where)
{
    return Query(path, "SELECT * FROM " + table + " WHERE " + where + " ORDER BY rowid");
}

// What the guide page does around a transfer: the counts in the source, the
// bar's range 0 to their sum plus 1, position 0, step 1, the genre filter.
int InstallGenre(RecordingSink& sink, const std::string& src, const std::string& dst, const std::string& l1,
                 const std::string& l2)
{
    CSearchDb db;
    const long nc = db.CountRecords(J(src), FormatSql(13070, J(l1), J(l2)));
    const long np = db.CountRecords(J(src), FormatSql(13080, J(l1), J(l2)));
    EXPECT_GE(nc, 0);
    EXPECT_GE(np, 0);
    sink.SetRange(0, static_cast<int>(nc + np + 1));
    sink.SetPos(0);
    sink.SetStep(1);
    return db.TransferGenre(&sink, J(src), J(dst), FormatSql(13082, J(l1), J(l2)), J(l1));
}

} // namespace

TEST(Transfer, CopiesTheGenreAndTheGroupRowOnlyWhenMissing)
{
    const struct {
        const char* name;
        std::string l1, l2;
        bool destHasGroup;
        int rows;      // the genre's Category and Point rows
        int groupRows; // rows copied for the group
    } cases[] = {
        {"group row absent: copied with its sibling", "10", "01", false, 2 + 5, 2},
        {"group row present: not copied again", "10", "01", true, 2 + 5, 0},
        {"empty genre, group absent", "30", "01", false, 0, 1},
        {"empty genre, group present", "30", "01", true, 0, 0},
        {"empty genre of a group the source lacks", "50", "01", false, 0, 0},
        // The genre's own rows include its group row; it is seen as present
        // within the pending transaction and not doubled.
        {"genre that is its group row", "40", "0", false, 1 + 2, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        MessageRecorder messages;
        const std::string src = dir / "Guide.dbs", dst = dir / "hd.dbs";
        MakeSource(src);
        MakeDest(dst, c.destHasGroup ? "INSERT INTO Category (L1,L2,L3,Name) VALUES ('" + c.l1 + "','0','0','既存')"
                                     : "");
        const Rows groupBefore = Select(dst, "Category", "L1='" + c.l1 + "' AND L2='0'");

        RecordingSink sink;
        ASSERT_EQ(InstallGenre(sink, src, dst, c.l1, c.l2), 1);

        const std::string genre = "L1='" + c.l1 + "' AND L2='" + c.l2 + "'";
        EXPECT_EQ(Select(dst, "Point", genre), Select(src, "Point", genre));
        const std::string group = "L1='" + c.l1 + "' AND L2='0'";
        if (c.l2 != "0") {
            EXPECT_EQ(Select(dst, "Category", genre), Select(src, "Category", genre));
            EXPECT_EQ(Select(dst, "Category", group), c.groupRows ? Select(src, "Category", group) : groupBefore);
        } else {
            EXPECT_EQ(Select(dst, "Category", genre), Select(src, "Category", genre));
        }
        EXPECT_EQ(Scalar(dst, "SELECT count(*) FROM Category") + Scalar(dst, "SELECT count(*) FROM Point"),
                  1 + (c.destHasGroup ? 1 : 0) + c.rows + c.groupRows);

        // One step per copied row within the caller's range 0..n+1: at its
        // end when the group row was copied, one short when it was not.
        EXPECT_EQ(sink.m_nLower, 0);
        EXPECT_EQ(sink.m_nUpper, c.rows + 1);
        EXPECT_EQ(sink.m_nSteps, c.rows + c.groupRows);
        EXPECT_EQ(sink.m_nPos, c.rows + c.groupRows);
        if (c.groupRows == 1) {
            EXPECT_EQ(sink.m_nPos, sink.m_nUpper);
        }
        if (c.groupRows == 0) {
            EXPECT_EQ(sink.m_nPos, sink.m_nUpper - 1);
        }
        if (sink.m_nSteps > 0) {
            EXPECT_GE(sink.m_nWaitDepth, 1) << "the wait cursor was not shown while copying";
        }
        EXPECT_EQ(WaitCursorDepth(), 0);
        EXPECT_TRUE(messages.shown().empty());
    }
}

TEST(Transfer, GenresInstalledOneAfterAnotherShareTheirGroupRow)
{
    TempDir dir;
    MessageRecorder messages;
    const std::string src = dir / "Guide.dbs", dst = dir / "hd.dbs";
    MakeSource(src);
    MakeDest(dst);
    RecordingSink sink;
    ASSERT_EQ(InstallGenre(sink, src, dst, "10", "02"), 1);
    ASSERT_EQ(InstallGenre(sink, src, dst, "10", "01"), 1);
    const std::string sorted = "SELECT * FROM Category WHERE L1='10' ORDER BY L1,L2,L3";
    EXPECT_EQ(Query(dst, sorted), Query(src, sorted));
    EXPECT_EQ(Scalar(dst, "SELECT count(*) FROM Point"), 5 + 3);
}

// Cancelling at any row, the group row's included, leaves the destination
// exactly as it was; the row in hand is finished and stepped first.
TEST(Transfer, CancelLeavesTheDestinationAsItWas)
{
    const int nc = 2, np = 400;
    const struct {
        const char* name;
        int cancelAt;
    } cases[] = {
        {"first Category row", 1},
        {"first Point row", nc + 1},
        {"in the middle of the Point rows", nc + 137},
        {"last Point row", nc + np},
        {"the group row", nc + np + 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        MessageRecorder messages;
        const std::string src = dir / "Guide.dbs", dst = dir / "hd.dbs";
        MakeSource(src, np);
        MakeDest(dst, "INSERT INTO Category (L1,L2,L3,Name) VALUES ('20','0','0','交通');" +
                          PointRows("20", "01", 3, 900));
        const std::string before = ReadFileBytes(dst);
        const Rows categoryBefore = Dump(dst, "Category"), pointBefore = Dump(dst, "Point");

        RecordingSink sink;
        sink.m_nCancelAt = c.cancelAt;
        EXPECT_EQ(InstallGenre(sink, src, dst, "10", "01"), 0);
        EXPECT_EQ(sink.m_nSteps, c.cancelAt);
        EXPECT_EQ(sink.m_nPos, c.cancelAt);

        EXPECT_EQ(Dump(dst, "Category"), categoryBefore);
        EXPECT_EQ(Dump(dst, "Point"), pointBefore);
        EXPECT_EQ(ReadFileBytes(dst), before);
        EXPECT_EQ(ListDir(dir.path()), (std::vector<std::string>{"Guide.dbs", "hd.dbs"}));
        EXPECT_EQ(WaitCursorDepth(), 0);
        EXPECT_TRUE(messages.shown().empty());

        // The next genre starts afresh (SetPos clears the flag) and arrives.
        RecordingSink next;
        EXPECT_EQ(InstallGenre(next, src, dst, "10", "01"), 1);
        EXPECT_EQ(Scalar(dst, "SELECT count(*) FROM Point WHERE L1='10'"), np);
    }
}

TEST(Transfer, DatabaseErrorsRollBackWithoutAMessage)
{
    const struct {
        const char* name;
        std::string srcSql; // run on the source after it is made
        std::string dstSql; // run on the destination after it is made
        int result;
    } cases[] = {
        {"a source column the destination lacks", "ALTER TABLE Point ADD COLUMN Rating short null", "", -1},
        {"a destination without a Point table", "", "DROP TABLE Point", -2},
        {"a source without a Point table", "DROP TABLE Point", "", -2},
        {"a destination column of another type is no error", "",
         "ALTER TABLE Point ADD COLUMN Rating short null", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        MessageRecorder messages;
        const std::string src = dir / "Guide.dbs", dst = dir / "hd.dbs";
        MakeSource(src);
        MakeDest(dst, "INSERT INTO Category (L1,L2,L3,Name) VALUES ('20','0','0','交通')");
        if (!c.srcSql.empty())
            RawDb(src).Exec(c.srcSql);
        if (!c.dstSql.empty())
            RawDb(dst).Exec(c.dstSql);
        const std::string before = ReadFileBytes(dst);

        RecordingSink sink;
        sink.SetRange(0, 100);
        sink.SetPos(0);
        sink.SetStep(1);
        CSearchDb db;
        EXPECT_EQ(db.TransferGenre(&sink, J(src), J(dst), FormatSql(13082, "10", "01"), "10"), c.result);
        if (c.result == 1) {
            EXPECT_EQ(Scalar(dst, "SELECT count(*) FROM Point WHERE Rating IS NULL"), 5);
        } else {
            EXPECT_EQ(ReadFileBytes(dst), before);
        }
        EXPECT_TRUE(messages.shown().empty());
        EXPECT_EQ(WaitCursorDepth(), 0);
    }
}

// A file held by another program: message 2039 with its path, result -2,
// nothing written, and no file of ours left open.
TEST(Transfer, FileHeldByAnotherProcessGives2039AndClosesTheOther)
{
    for (const bool holdDest : {true, false}) {
        SCOPED_TRACE(holdDest ? "destination held" : "source held");
        TempDir dir;
        MessageRecorder messages;
        const std::string src = dir / "Guide.dbs", dst = dir / "hd.dbs";
        MakeSource(src);
        MakeDest(dst);
        const std::string held = holdDest ? dst : src, other = holdDest ? src : dst;
        const std::string before = ReadFileBytes(dst);
        {
            ChildProcess holder([&] {
                auto* p = new CDaoDatabase; // kept open until the process ends
                try {
                    p->Open(J(held), TRUE, FALSE, kConnect);
                } catch (const CDaoException&) {
                    return false;
                }
                return true;
            });
            ASSERT_TRUE(holder.ok());
            // The shell cannot take the held file either: the check below means something.
            ASSERT_NE(RunSqliteShell(held, "BEGIN EXCLUSIVE; COMMIT;"), 0);

            RecordingSink sink;
            CSearchDb db;
            EXPECT_EQ(db.TransferGenre(&sink, J(src), J(dst), FormatSql(13082, "10", "01"), "10"), -2);
            ASSERT_EQ(messages.texts(), std::vector<std::string>{Message(2039, held)});
            EXPECT_EQ(messages.shown()[0].type, MB_OK);
            EXPECT_EQ(sink.m_nSteps, 0);
            EXPECT_EQ(WaitCursorDepth(), 0);

            // The file that did open was closed again: another program can
            // take it exclusively now.
            EXPECT_EQ(RunSqliteShell(other, "BEGIN EXCLUSIVE; COMMIT;"), 0);
        }
        EXPECT_EQ(ReadFileBytes(dst), before);
    }
}

// A process killed at any moment of an installation of several genres leaves
// a sound destination holding exactly the genres it committed.
TEST(Transfer, KilledProcessLeavesOnlyCommittedGenres)
{
    struct Genre {
        const char* l1;
        const char* l2;
    };
    const Genre genres[] = {{"10", "01"}, {"10", "02"}, {"20", "01"}, {"40", "0"}};
    TempDir dir;
    const std::string src = dir / "Guide.dbs", fresh = dir / "fresh.dbs", dst = dir / "hd.dbs";
    MakeGuideFile(src, "INSERT INTO Category (L1,L2,L3,Name) VALUES ('10','0','0','金融'),('10','01','0','銀行'),"
                       "('10','02','0','郵便局'),('20','0','0','交通'),('20','01','0','駅'),('40','0','0','病院');" +
                           PointRows("10", "01", 300) + PointRows("10", "02", 250, 1000) +
                           PointRows("20", "01", 200, 2000) + PointRows("40", "0", 150, 3000));
    MakeDest(fresh);
    const int totalSteps = (1 + 300) + (1 + 250) + (1 + 200) + (1 + 150) + 2 /* groups 10 and 20 */;

    std::mt19937 rng(8675309);
    const int kTrials = 24;
    for (int trial = 0; trial < kTrials; ++trial) {
        SCOPED_TRACE("trial " + std::to_string(trial));
        WriteFileBytes(dst, ReadFileBytes(fresh));
        const int killAt = std::uniform_int_distribution<int>(1, totalSteps)(rng);
        // Even trials die inside the pump; odd ones are killed by the parent
        // while the child runs on, so the blow can land in a commit.
        const bool fromInside = trial % 2 == 0;

        int report[2];
        ASSERT_EQ(pipe(report), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(report[0]);
            RecordingSink sink;
            int steps = 0;
            sink.m_onStep = [&](int) {
                if (++steps != killAt)
                    return;
                if (fromInside)
                    kill(getpid(), SIGKILL);
                (void)!write(report[1], "S", 1);
            };
            for (int g = 0; g < 4; ++g) {
                const char begin[2] = {'B', static_cast<char>('0' + g)};
                (void)!write(report[1], begin, 2);
                if (InstallGenre(sink, src, dst, genres[g].l1, genres[g].l2) != 1)
                    _exit(3);
                const char done[2] = {'C', static_cast<char>('0' + g)};
                (void)!write(report[1], done, 2);
            }
            _exit(0);
        }
        close(report[1]);
        int begun = -1, committed = -1;
        char c;
        bool killed = false;
        while (read(report[0], &c, 1) == 1) {
            if (c == 'S' && !killed) {
                kill(pid, SIGKILL);
                killed = true;
                continue;
            }
            char g;
            if (read(report[0], &g, 1) != 1)
                break;
            (c == 'B' ? begun : committed) = g - '0';
        }
        close(report[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0)) << status;

        EXPECT_EQ(Query(dst, "PRAGMA integrity_check"), Rows{{"ok"}});
        // Genres up to the last reported commit are there whole; the one in
        // hand is there whole or not at all; the rest are absent.
        int present = 0;
        for (int g = 0; g < 4; ++g) {
            const std::string where = std::string("L1='") + genres[g].l1 + "' AND L2='" + genres[g].l2 + "'";
            const Rows points = Select(dst, "Point", where);
            const bool whole = points == Select(src, "Point", where) &&
                               Select(dst, "Category", where) == Select(src, "Category", where);
            const bool none = points.empty() && Select(dst, "Category", where).empty();
            if (g <= committed)
                EXPECT_TRUE(whole) << "genre " << g;
            else if (g == begun)
                EXPECT_TRUE(whole || none) << "genre " << g;
            else
                EXPECT_TRUE(none) << "genre " << g;
            present += whole ? 1 : 0;
        }
        // Group rows come with the first genre of their group, once.
        const bool group10 = present > 0, group20 = present > 2;
        EXPECT_EQ(Scalar(dst, "SELECT count(*) FROM Category WHERE L1='10' AND L2='0'"), group10 ? 1 : 0);
        EXPECT_EQ(Scalar(dst, "SELECT count(*) FROM Category WHERE L1='20' AND L2='0'"), group20 ? 1 : 0);
        EXPECT_EQ(Scalar(dst, "SELECT count(*) FROM Category WHERE L1='0'"), 1);
    }
}
