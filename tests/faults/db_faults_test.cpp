// Database operations under injected I/O faults. Each operation runs clean
// once, which counts its writes, syncs and locks; then once for every one
// of them with that call failing (a write error, a full disk from that
// write on, an fsync error, a lock refused). After every fault the files
// must be whole, the engine must open them again, their rows must be
// exactly those before or those after, and an operation that left the data
// as before must have said so (a message or a failure result).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>

#include "faults/fault_vfs.h"
#include "guide/genre_rows.h"
#include "guide/guide_fixture.h"
#include "searchdb/dao.h"
#include "searchdb/dao_file.h"
#include "services/compact.h"
#include "services/progress_sink.h"

namespace {

namespace fs = std::filesystem;
using faults::FaultVfs;
using faults::Op;

const bool g_vfsInstalled = (FaultVfs::Install(), true); // before any connection opens

// Per database file: absent, or every row of its tables, sorted.
using State = std::map<std::string, std::vector<std::string>>;

State Snapshot(const std::string& dir, const std::vector<std::string>& files)
{
    State state;
    for (const std::string& name : files) {
        const std::string path = dir + "/" + name;
        if (!fs::exists(path)) {
            state[name] = {"<absent>"};
            continue;
        }
        SqliteFile db(path);
        std::vector<std::string>& rows = state[name];
        for (const std::string& table : db.Rows("SELECT name FROM sqlite_master WHERE type='table'"))
            for (const std::string& r : db.Rows("SELECT * FROM \"" + table + "\""))
                rows.push_back(table + ":" + r);
        std::sort(rows.begin(), rows.end());
    }
    return state;
}

class CountingSink : public CProgressSink {
public:
    int PumpAndStep() override { return m_pos++; }
    void SetRange(int, int) override {}
    void SetPos(int pos) override { m_pos = pos; }
    void SetStep(int) override {}
    int m_pos = 0;
};

struct Operation {
    const char* name;
    std::vector<std::string> files; // database files whose rows count
    std::function<void(const std::string& dir)> prepare;
    std::function<bool(const std::string& dir)> run; // true: reported success
    // Further conditions on what a run left; "" when they hold.
    std::function<std::string(const std::string& dir, bool ok)> check;
};

const struct FaultKind {
    Op op;
    int code;
    bool sticky;
} kFaultKinds[] = {
    {Op::Write, SQLITE_IOERR_WRITE, false},
    {Op::Write, SQLITE_FULL, true},
    {Op::Sync, SQLITE_IOERR_FSYNC, false},
    {Op::Lock, SQLITE_BUSY, false},
};

// What must hold after any run; "" when it does.
std::string Problems(const Operation& op, const std::string& dir, bool ok, bool silent, const State& before,
                     const State& after)
{
    std::string problem;
    if (!dao::OpenFiles().empty())
        problem += "database files left open; ";
    if (CDaoWorkspace::Default().InTransaction()) {
        problem += "a workspace transaction left pending; ";
        CDaoWorkspace::Default().Rollback();
    }
    for (const std::string& name : op.files) {
        const std::string path = dir + "/" + name;
        if (!fs::exists(path))
            continue;
        try { // a hot journal is rolled back here
            CDaoDatabase db;
            db.Open(path, TRUE, FALSE, ";pwd=tamarix5");
            db.Close();
        } catch (const CDaoException& e) {
            problem += "the engine refuses " + name + ": " + e.what() + "; ";
        }
        if (IntegrityCheck(path) != "ok")
            problem += name + " fails integrity_check; ";
    }
    if (!problem.empty())
        return problem;
    const State state = Snapshot(dir, op.files);
    if (state != before && state != after)
        return "the files are neither as before nor as after; ";
    if (state == before && state != after && ok && silent)
        return "nothing was done, yet success was reported and nothing shown; ";
    return op.check(dir, ok);
}

void Sweep(const Operation& op)
{
    FaultVfs& vfs = FaultVfs::Install();
    TempDir clean;
    op.prepare(clean.path());
    const State before = Snapshot(clean.path(), op.files);
    vfs.Disarm();
    vfs.ResetCounts();
    {
        MessageRecorder messages;
        ASSERT_TRUE(op.run(clean.path())) << op.name << " fails without faults";
        EXPECT_TRUE(messages.shown().empty()) << op.name;
    }
    const int counts[3] = {vfs.Count(Op::Write), vfs.Count(Op::Sync), vfs.Count(Op::Lock)};
    const State after = Snapshot(clean.path(), op.files);
    EXPECT_EQ("", Problems(op, clean.path(), true, false, before, after)) << op.name << " without faults";
    ASSERT_GT(counts[0], 0) << op.name << " wrote nothing through the VFS";

    int runs = 0, injected = 0, kept = 0, completed = 0, messagesShown = 0;
    for (const FaultKind& kind : kFaultKinds) {
        for (int n = 1; n <= counts[static_cast<int>(kind.op)]; ++n) {
            TempDir dir;
            op.prepare(dir.path());
            vfs.Arm(kind.op, n, kind.code, kind.sticky);
            MessageRecorder messages;
            const bool ok = op.run(dir.path());
            vfs.Disarm();
            ++runs;
            injected += vfs.Injected();
            messagesShown += static_cast<int>(messages.shown().size());
            const std::string problem = Problems(op, dir.path(), ok, messages.shown().empty(), before, after);
            EXPECT_EQ(problem, "") << op.name << ", fault kind " << static_cast<int>(kind.op) << " code "
                                   << kind.code << " at call " << n << (ok ? ", reported success" : ", reported failure");
            const State state = Snapshot(dir.path(), op.files);
            (state == after && (state != before || ok) ? completed : kept)++;
        }
    }
    std::printf("[  FAULTS  ] %s: %d faults injected in %d runs (clean: %d writes, %d syncs, %d locks); "
                "%d kept the data as before, %d completed; %d messages shown\n",
                op.name, injected, runs, counts[0], counts[1], counts[2], kept, completed, messagesShown);
    EXPECT_GT(injected, 0);
}

class DatabaseFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Thousands of runs: on a memory file system the syncs cost nothing.
        if (::access("/dev/shm", W_OK) == 0)
            setenv("TMPDIR", "/dev/shm", 1);
        s_templates = new TempDir;
        const std::vector<FixtureGenre> genres = {{"01", "01", "和食", 120, "01010100", 2},
                                                  {"01", "02", "洋食", 150, "01020100", 1},
                                                  {"02", "01", "ホテル", 90, "02010100", 3}};
        MakeGuideDb(Template("Source.dbs"), genres);
        MakeGuideDb(Template("one-genre.dbs"), {genres[0]});
        MakeGuideDb(Template("three-genres.dbs"), genres);
        // Rows deleted after the fact leave free pages for the optimisation.
        MakeGuideDb(Template("with-free-pages.dbs"), genres);
        SqliteFile db(Template("with-free-pages.dbs"));
        db.Exec("DELETE FROM Point WHERE L1='01' AND L2='02'");
        db.Exec("DELETE FROM Category WHERE L1='01' AND L2='02'");
    }
    static void TearDownTestSuite() { delete s_templates; }

    static std::string Template(const char* name) { return *s_templates / name; }
    static void Copy(const char* from, const std::string& dir, const char* to)
    {
        fs::copy_file(Template(from), dir + "/" + to);
    }
    static std::string Nothing(const std::string&, bool) { return ""; }

    static inline TempDir* s_templates = nullptr;
};

TEST_F(DatabaseFaults, CreatingAGuideDatabase)
{
    Sweep({"create guide database", {"Guide.dbs", "Source.dbs"},
           [](const std::string& dir) { Copy("Source.dbs", dir, "Source.dbs"); },
           [](const std::string& dir) {
               CSearchDb db;
               return CreateSearchFile(db, dir + "/Source.dbs", dir + "/Guide.dbs") != FALSE;
           },
           [](const std::string& dir, bool ok) {
               return !ok && fs::exists(dir + "/Guide.dbs") ? "a failed creation left Guide.dbs behind; " : "";
           }});
}

TEST_F(DatabaseFaults, TransferringAGenre)
{
    Sweep({"transfer genre", {"Guide.dbs", "Source.dbs"},
           [](const std::string& dir) {
               Copy("Source.dbs", dir, "Source.dbs");
               Copy("one-genre.dbs", dir, "Guide.dbs");
           },
           [](const std::string& dir) {
               CSearchDb db;
               CountingSink sink;
               return db.TransferGenre(&sink, dir + "/Source.dbs", dir + "/Guide.dbs", FormatSql(13082, "02", "01"),
                                       "02") == 1;
           },
           &Nothing});
}

TEST_F(DatabaseFaults, RemovingAGenre)
{
    Sweep({"remove genre", {"Guide.dbs"}, [](const std::string& dir) { Copy("three-genres.dbs", dir, "Guide.dbs"); },
           [](const std::string& dir) {
               CSearchDb db;
               return DeleteGenreRowsInOneTransaction(db, dir + "/Guide.dbs", "01", "02") != FALSE;
           },
           &Nothing});
}

TEST_F(DatabaseFaults, OptimisingTheGuideDatabase)
{
    Sweep({"optimise", {"Guide.dbs"}, [](const std::string& dir) { Copy("with-free-pages.dbs", dir, "Guide.dbs"); },
           [](const std::string& dir) {
               CSearchDb db;
               return CompactInPlace(db, dir + "/Guide.dbs", "Guide.dbs") != FALSE;
           },
           [](const std::string& dir, bool ok) -> std::string {
               std::string problem;
               for (const std::string& name : DbTempFiles(dir))
                   if (name.find("-journal") == std::string::npos) // a stale journal loses nothing
                       problem += "the temporary " + name + " was left; ";
               if (!fs::exists(dir + "/Guide.dbs"))
                   return problem + "Guide.dbs is gone; ";
               const std::string freePages = Query(dir + "/Guide.dbs", "PRAGMA freelist_count").at(0);
               if (ok != (freePages == "0"))
                   problem += std::string(ok ? "reported optimised, yet free pages remain; "
                                             : "reported failed, yet the file was replaced; ");
               return problem;
           }});
}

} // namespace
