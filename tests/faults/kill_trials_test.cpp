// Seeded trials that kill the process (SIGKILL) at random moments of a large
// genre's installation and removal. The moments are the calls that change a
// file (every write, sync, truncation and deletion); a kill between two of
// them leaves the same files as a kill at the later one. The genre is large
// enough that SQLite writes its pages into the database before the commit, so
// the next start depends on the rollback journal. After each kill the next
// start opens the database through the engine, as the installer does; it then
// passes integrity_check and holds exactly the genres before the interrupted
// one, or, for a kill after the commit, with it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "fault_vfs.h"
#include "guide/genre_lists.h"
#include "guide/genre_rows.h"
#include "searchdb/search_db.h"
#include "services/progress_sink.h"
#include "support/test_support.h"

namespace {

using Strings = std::vector<std::string>;
constexpr int kTrials = 21;
constexpr int kPoints = 6000; // about 2.6 MB of rows, past SQLite's 2 MB page cache

class QuietSink : public CProgressSink {
public:
    int PumpAndStep() override { return 0; }
    void SetRange(int, int) override {}
    void SetPos(int) override { m_bCancel = FALSE; }
    void SetStep(int) override {}
};

Strings Rows(const std::string& path, const std::string& sql)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    Strings rows;
    sqlite3_exec(db, sql.c_str(), [](void* out, int n, char** v, char**) {
        std::string row;
        for (int i = 0; i < n; ++i)
            row += std::string(i ? "|" : "") + (v[i] ? v[i] : "<null>");
        static_cast<Strings*>(out)->push_back(row);
        return 0;
    }, &rows, nullptr);
    sqlite3_close(db);
    return rows;
}

struct Genre {
    std::string l1, l2;
};

Strings GenreRows(const std::string& path, const Genre& g)
{
    const std::string where = " WHERE L1='" + g.l1 + "' AND L2='" + g.l2 + "' ORDER BY 1,2,3,4,5,6,7,8,9,10,11";
    Strings rows = Rows(path, "SELECT * FROM Category" + where);
    for (const std::string& r : Rows(path, "SELECT * FROM Point" + where))
        rows.push_back(r);
    return rows;
}

// What the guide page does for one genre.
bool Install(const std::string& src, const std::string& dst, const Genre& g)
{
    CSearchDb db;
    QuietSink sink;
    return db.TransferGenre(&sink, src, dst, FormatSql(13082, g.l1, g.l2), g.l1) == 1;
}
bool Remove(const std::string& dst, const Genre& g)
{
    CSearchDb db;
    if (!DeleteGenreRowsInOneTransaction(db, dst, g.l1, g.l2))
        return false;
    if (db.CountRecords(dst, FormatSql(13021, g.l1)) == 1)
        db.DeleteGroupRow(dst, g.l1);
    return true;
}

// Runs op in a child process, killed before its change number killAt (0: not
// killed); the number of changes and the first commit's, for a clean run.
std::pair<int, int> RunChild(const std::function<bool()>& op, int killAt)
{
    int report[2];
    if (pipe(report) != 0)
        return {-1, -1};
    const pid_t pid = fork();
    if (pid == 0) {
        faults::FaultVfs& vfs = faults::FaultVfs::Install();
        vfs.Arm();
        vfs.KillBeforeChange(killAt);
        const bool ok = op();
        const int counts[2] = {vfs.Changes(), vfs.CommitChange()};
        _exit(ok && write(report[1], counts, sizeof counts) == sizeof counts ? 0 : 3);
    }
    close(report[1]);
    int counts[2] = {-1, -1};
    if (read(report[0], counts, sizeof counts) != sizeof counts)
        counts[0] = counts[1] = -1;
    close(report[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    const bool expected = killAt == 0 ? WIFEXITED(status) && WEXITSTATUS(status) == 0
                                      : WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    EXPECT_TRUE(expected) << "kill at " << killAt << ", status " << status;
    return {counts[0], counts[1]};
}

// The genre names the next start lists, through the engine (which rolls back
// a hot journal), with no message.
Strings NextStart(const std::string& dst)
{
    MessageRecorder messages;
    CSearchDb db;
    Strings names;
    for (const GenreRecord& g : ReadInstalledGenres(db, dst, "GuideData"))
        names.push_back(g.Name);
    EXPECT_EQ(messages.texts(), Strings{});
    return names;
}

TEST(KillTrials, LargeGenreInstallAndRemovalSurviveAKillAnywhere)
{
    TempDir dir;
    const std::string src = dir / "cd", dst = dir / "Guide.dbs";
    ASSERT_EQ(std::system(("'" PELLVANE_BINARY_DIR "/bin/make-sample-cd' '" + src + "' --genres 3 --points-per-genre " +
                           std::to_string(kPoints) + " --seed 11 >/dev/null").c_str()), 0);
    const std::string source = src + "/Guide.dbs";
    std::vector<Genre> genres;
    for (const std::string& key : Rows(source, "SELECT L1 || '|' || L2 FROM Category WHERE L3='0' ORDER BY L1, L2"))
        genres.push_back({key.substr(0, key.find('|')), key.substr(key.find('|') + 1)});
    ASSERT_EQ(genres.size(), 3u);
    std::vector<Strings> rowsOnCd;
    for (const Genre& g : genres)
        rowsOnCd.push_back(GenreRows(source, g));

    // The hard-disk database with the first two genres; the third is the large one in hand.
    CSearchDb db;
    ASSERT_TRUE(CreateSearchFile(db, source, dst));
    for (int g = 0; g < 2; ++g)
        ASSERT_TRUE(Install(source, dst, genres[g]));
    const std::string twoGenres = ReadFileBytes(dst);
    const Strings namesBefore = NextStart(dst);

    std::mt19937 rng(20261206);
    // Runs the trials of one operation from the file `start`; the genres a
    // clean run leaves. inHand is the genre it adds or removes.
    auto trials = [&](const char* name, const std::string& start, const std::function<bool()>& op, size_t inHand,
                      bool adds) {
        const Strings before = NextStart((WriteFileBytes(dst, start), dst));
        const auto [changes, commit] = RunChild(op, 0);
        EXPECT_GT(commit, 0) << name;
        const Strings after = NextStart(dst);
        EXPECT_NE(after, before);
        int rolledBack = 0, committed = 0, dirty = 0;
        for (int trial = 0; trial < kTrials; ++trial) {
            WriteFileBytes(dst, start);
            // Two trials in three anywhere, one around the commit.
            const int from = trial % 3 == 2 ? std::max(1, commit - 8) : 1;
            const int killAt = std::uniform_int_distribution<int>(from, changes)(rng);
            SCOPED_TRACE(std::string(name) + " killed before change " + std::to_string(killAt) + " of " +
                         std::to_string(changes) + " (commit " + std::to_string(commit) + ")");
            RunChild(op, killAt);
            const bool holds = killAt > commit;
            // Killed before the commit with the file already written: only the journal can undo it.
            dirty += !holds && ReadFileBytes(dst) != start;
            EXPECT_EQ(NextStart(dst), holds ? after : before);
            // The rollback leaves at most a spent journal (header zeroed), which nothing plays back.
            EXPECT_EQ(ReadFileBytes(dst + "-journal").substr(0, 8), PathExists(dst + "-journal") ? std::string(8, '\0') : "");
            EXPECT_EQ(Rows(dst, "PRAGMA integrity_check"), Strings{"ok"});
            for (size_t g = 0; g < genres.size(); ++g) {
                const bool wasThere = g < 2 || !adds;
                const bool there = g == inHand && holds ? adds : wasThere;
                EXPECT_EQ(GenreRows(dst, genres[g]), there ? rowsOnCd[g] : Strings{}) << "genre " << g;
            }
            ++(holds ? committed : rolledBack);
        }
        EXPECT_GT(dirty, 0) << name << ": no kill found the file written before the commit";
        std::printf("[  KILLS   ] %s of a genre of %d points: %d trials over %d file changes (first commit at %d): "
                    "%d rolled back to the genres before (%d of them from a file already written), "
                    "%d after the commit with it %s\n",
                    name, kPoints, kTrials, changes, commit, rolledBack, dirty, committed, adds ? "whole" : "gone");
        std::fflush(stdout);
    };
    trials("install", twoGenres, [&] { return Install(source, dst, genres[2]); }, 2, true);
    WriteFileBytes(dst, twoGenres);
    ASSERT_TRUE(Install(source, dst, genres[2]));
    trials("removal", ReadFileBytes(dst), [&] { return Remove(dst, genres[1]); }, 1, false);
    EXPECT_EQ(namesBefore.size(), 2u);
}

} // namespace
