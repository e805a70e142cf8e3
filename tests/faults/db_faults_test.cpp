// Each database operation runs clean once, counting its writes, syncs and locks, then once per
// counted call with that call failing (a write error, a full disk from then on, an fsync error, a
// lock refused). After every fault the files must open and pass integrity_check, hold exactly the
// rows before or after, and a run that changed nothing must not report silent success.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <tuple>

#include "faults/fault_vfs.h"
#include "guide/genre_rows.h"
#include "guide/guide_fixture.h"
#include "searchdb/dao_file.h"
#include "services/compact.h"
#include "services/progress_sink.h"

namespace {

namespace fs = std::filesystem;
using faults::FaultVfs;
using faults::Op;

const bool g_vfsInstalled = (FaultVfs::Install(), true); // before any connection opens

// Per database file that exists: every row of its tables, sorted.
using State = std::map<std::string, std::vector<std::string>>;

State Snapshot(const std::string& dir, const std::vector<std::string>& files)
{
    State state;
    for (const std::string& name : files) {
        if (!fs::exists(dir + "/" + name))
            continue;
        SqliteFile db(dir + "/" + name);
        std::vector<std::string>& rows = state[name];
        for (const std::string& table : FirstColumn(db.Query("SELECT name FROM sqlite_master WHERE type='table'")))
            for (const Strings& r : db.Query("SELECT * FROM \"" + table + "\""))
                rows.push_back(table + ":" + Joined(r));
        std::sort(rows.begin(), rows.end());
    }
    return state;
}

struct NoSink : CProgressSink {
    int PumpAndStep() override { return 0; }
    void SetRange(int, int) override {}
    void SetPos(int) override {}
    void SetStep(int) override {}
};

struct Operation {
    const char* name;
    std::vector<std::string> files; // databases whose rows count
    std::function<void(const std::string& dir)> prepare;
    std::function<bool(const std::string& dir)> run; // true: reported success
    std::function<std::string(const std::string& dir, bool ok)> check; // more conditions; "" when they hold
};

// What must hold after any run; "" when it does.
std::string Problems(const Operation& op, const std::string& dir, bool ok, bool silent, const State& before,
                     const State& after)
{
    std::string problem = dao::OpenFiles().empty() ? "" : "database files left open; ";
    if (CDaoWorkspace::Default().InTransaction())
        problem += "a workspace transaction left pending; ";
    for (const std::string& name : op.files) {
        if (!fs::exists(dir + "/" + name))
            continue;
        try { // a hot journal is rolled back here
            CDaoDatabase().Open(dir + "/" + name, TRUE, FALSE, ";pwd=tamarix5");
        } catch (const CDaoException& e) {
            problem += "the engine refuses " + name + ": " + e.what() + "; ";
        }
        if (IntegrityCheck(dir + "/" + name) != "ok")
            problem += name + " fails integrity_check; ";
    }
    if (!problem.empty())
        return problem;
    const State state = Snapshot(dir, op.files);
    if (state != before && state != after)
        return "the files are neither as before nor as after; ";
    if (state == before && state != after && ok && silent)
        return "nothing was done, yet success was reported and nothing shown; ";
    return op.check ? op.check(dir, ok) : "";
}

void Sweep(const Operation& op)
{
    FaultVfs& vfs = FaultVfs::Install();
    TempDir clean;
    op.prepare(clean.path());
    const State before = Snapshot(clean.path(), op.files);
    MessageRecorder quiet;
    vfs.Arm();
    ASSERT_TRUE(op.run(clean.path())) << op.name << " fails without faults";
    const int counts[3] = {vfs.Count(Op::Write), vfs.Count(Op::Sync), vfs.Count(Op::Lock)};
    const State after = Snapshot(clean.path(), op.files);
    ASSERT_EQ("", Problems(op, clean.path(), true, false, before, after)) << op.name << " without faults";

    const std::tuple<Op, int, bool> kinds[] = {{Op::Write, SQLITE_IOERR_WRITE, false}, {Op::Write, SQLITE_FULL, true},
                                               {Op::Sync, SQLITE_IOERR_FSYNC, false}, {Op::Lock, SQLITE_BUSY, false}};
    int runs = 0, injected = 0;
    for (const auto& [kind, code, sticky] : kinds) {
        for (int n = 1; n <= counts[static_cast<int>(kind)]; ++n, ++runs) {
            TempDir dir;
            op.prepare(dir.path());
            vfs.Arm(kind, n, code, sticky);
            MessageRecorder messages;
            const bool ok = op.run(dir.path());
            injected += vfs.Injected();
            vfs.Arm();
            EXPECT_EQ("", Problems(op, dir.path(), ok, messages.shown().empty(), before, after))
                << op.name << ", code " << code << " at call " << n << (ok ? ", reported success" : "");
        }
    }
    std::printf("[  FAULTS  ] %s: %d faults injected in %d runs (clean: %d writes, %d syncs, %d locks)\n", op.name,
                injected, runs, counts[0], counts[1], counts[2]);
    EXPECT_GT(injected, 0);
}

TEST(DatabaseFaults, EveryFaultLeavesTheDataAsBeforeOrAsAfter)
{
    if (::access("/dev/shm", W_OK) == 0) // thousands of runs: syncs cost nothing in memory
        setenv("TMPDIR", "/dev/shm", 1);
    TempDir templates;
    const std::vector<FixtureGenre> genres = {
        {"01", "01", "和食", 120, "01010100", 2}, {"01", "02", "洋食", 150, "01020100", 1}, {"02", "01", "ホテル", 90, "02010100", 3}};
    MakeGuideDb(templates / "Source.dbs", genres);
    MakeGuideDb(templates / "one-genre.dbs", {genres[0]});
    MakeGuideDb(templates / "free-pages.dbs", genres);
    SqliteFile(templates / "free-pages.dbs").Exec("DELETE FROM Point WHERE L2='02'");
    auto copy = [&](const std::string& from, const std::string& dir, const std::string& to = "Guide.dbs") {
        fs::copy_file(templates / from, dir + "/" + to);
    };

    CSearchDb db;
    const Operation operations[] = {
        {"create guide database", {"Guide.dbs", "Source.dbs"},
         [&](const std::string& dir) { copy("Source.dbs", dir, "Source.dbs"); },
         [&](const std::string& dir) { return CreateSearchFile(db, dir + "/Source.dbs", dir + "/Guide.dbs") != FALSE; },
         [](const std::string& dir, bool ok) {
             return !ok && fs::exists(dir + "/Guide.dbs") ? "a failed creation left Guide.dbs behind; " : "";
         }},
        {"transfer genre", {"Guide.dbs", "Source.dbs"},
         [&](const std::string& dir) { copy("Source.dbs", dir, "Source.dbs"), copy("one-genre.dbs", dir); },
         [&](const std::string& dir) {
             NoSink sink;
             return db.TransferGenre(&sink, dir + "/Source.dbs", dir + "/Guide.dbs", FormatSql(13082, "02", "01"),
                                     "02") == 1;
         },
         nullptr},
        {"remove genre", {"Guide.dbs"}, [&](const std::string& dir) { copy("Source.dbs", dir); },
         [&](const std::string& dir) { return DeleteGenreRowsInOneTransaction(db, dir + "/Guide.dbs", "01", "02") != FALSE; },
         nullptr},
        {"optimise", {"Guide.dbs"}, [&](const std::string& dir) { copy("free-pages.dbs", dir); },
         [&](const std::string& dir) { return CompactInPlace(db, dir + "/Guide.dbs", "Guide.dbs") != FALSE; },
         [](const std::string& dir, bool ok) -> std::string {
             std::string problem;
             for (const std::string& name : DbTempFiles(dir))
                 if (name.find("-journal") == std::string::npos) // a stale journal loses nothing
                     problem += "the temporary " + name + " was left; ";
             for (const std::string& name : ListDir(dir))
                 if (name.rfind(".db", 0) == 0)
                     problem += "the marker " + name + " was left; ";
             if (ok != (Query(dir + "/Guide.dbs", "PRAGMA freelist_count").at(0).at(0) == "0"))
                 problem += ok ? "reported optimised, yet free pages remain; " : "reported failed, yet replaced; ";
             return problem;
         }},
    };
    for (const Operation& op : operations)
        Sweep(op);
}

} // namespace
