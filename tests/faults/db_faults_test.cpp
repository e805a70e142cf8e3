// Database operations under injected I/O faults. Each operation first runs
// clean, which counts its writes, syncs and locks; then it runs again once
// for every one of them, with that call failing (a write error, a full disk
// from that write on, an fsync error, a lock refused). After every fault the
// files must be whole (integrity_check), the engine must open them again,
// their rows must be exactly those before or those after the operation, and
// an operation that left the data as before must have said so (a message or
// a failure result).
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "faults/fault_vfs.h"
#include "guide/genre_rows.h"
#include "platform/cp932.h"
#include "res/strings.h"
#include "searchdb/dao.h"
#include "searchdb/dao_file.h"
#include "searchdb/search_db.h"
#include "services/compact.h"
#include "services/progress_sink.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using faults::FaultVfs;
using faults::Op;

// The default VFS before any connection of the process opens.
const bool g_vfsInstalled = (FaultVfs::Install(), true);

constexpr const char* kConnect = ";pwd=tamarix5";
constexpr int kApplicationId = 1414746689;
constexpr int kPasswordHash = 432383838;

// --- Files read and written with SQLite directly -------------------------

class Raw {
public:
    explicit Raw(const std::string& path)
    {
        if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path);
    }
    ~Raw() { sqlite3_close(m_db); }
    Raw(const Raw&) = delete;
    Raw& operator=(const Raw&) = delete;

    void Exec(const std::string& sql)
    {
        char* err = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            const std::string what = err ? err : "?";
            sqlite3_free(err);
            throw std::runtime_error(what + " in " + sql);
        }
    }

    // Each row's columns joined with "|"; Null as "<null>".
    std::vector<std::string> Rows(const std::string& sql)
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string(sqlite3_errmsg(m_db)) + " in " + sql);
        std::vector<std::string> rows;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            std::string row;
            for (int i = 0; i < sqlite3_column_count(st); ++i) {
                if (i)
                    row += '|';
                const unsigned char* t = sqlite3_column_text(st, i);
                row += t ? reinterpret_cast<const char*>(t) : "<null>";
            }
            rows.push_back(row);
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            throw std::runtime_error(std::string(sqlite3_errmsg(m_db)) + " in " + sql);
        return rows;
    }

private:
    sqlite3* m_db = nullptr;
};

std::string Utf8Sql(unsigned id)
{
    return LoadResStringUtf8(id);
}

// A guide database as the CD-ROM has it: Property row, seed row, two groups
// with three genres.
void MakeSourceFile(const std::string& path)
{
    Raw db(path);
    db.Exec("PRAGMA application_id=" + std::to_string(kApplicationId) +
            ";PRAGMA user_version=" + std::to_string(kPasswordHash));
    db.Exec(Utf8Sql(10010));
    db.Exec(Utf8Sql(10020));
    db.Exec(Utf8Sql(10030));
    db.Exec("BEGIN");
    db.Exec("INSERT INTO Property VALUES ('Tessra','5.0','GuideData','1.0','Veltrane','(C) Veltrane','sample')");
    db.Exec("INSERT INTO Category (L1,Name,NamePronounce) VALUES ('0','施設','シセツ')");
    struct Genre {
        const char* l1;
        const char* l2;
        const char* name;
        int extraCategories;
        int points;
    };
    const Genre genres[] = {
        {"01", "01", "和食", 2, 120},
        {"01", "02", "洋食", 1, 150},
        {"02", "01", "ホテル", 3, 90},
    };
    for (const char* l1 : {"01", "02"})
        db.Exec(std::string("INSERT INTO Category (L1,L2,Name,NamePronounce) VALUES ('") + l1 +
                "','0','グループ" + l1 + "','グループ')");
    for (const Genre& g : genres) {
        const std::string key = std::string("'") + g.l1 + "','" + g.l2 + "'";
        db.Exec("INSERT INTO Category (L1,L2,L3,Name,NamePronounce) VALUES (" + key + ",'0','" + g.name + "','ジャンル')");
        for (int i = 1; i <= g.extraCategories; ++i)
            db.Exec("INSERT INTO Category (L1,L2,L3,Name) VALUES (" + key + ",'" + std::to_string(i) + "','" + g.name +
                    " " + std::to_string(i) + "')");
        for (int i = 0; i < g.points; ++i)
            db.Exec("INSERT INTO Point (L1,L2,L3,Longitude,Latitude,Name,NamePronounce,Address,Tel,TS99GenreCode) "
                    "VALUES (" + key + ",'1'," + std::to_string(503000000 + i) + "," + std::to_string(128000000 + i) +
                    ",'" + g.name + "の店" + std::to_string(i) + "','ミセ','東京都千代田区丸の内" + std::to_string(i) +
                    "丁目','03-0000-" + std::to_string(1000 + i) + "','" + g.l1 + g.l2 + "0100')");
    }
    db.Exec("COMMIT");
}

// A hard-disk guide database made from the source with the genres given
// (group rows included), as the installer would have left it.
void MakeDestFile(const std::string& path, const std::string& source, const std::vector<std::string>& genreKeys)
{
    fs::copy_file(source, path);
    Raw db(path);
    db.Exec("BEGIN");
    db.Exec("DELETE FROM Category WHERE L1<>'0'");
    db.Exec("DELETE FROM Point");
    db.Exec("ATTACH '" + source + "' AS s");
    for (const std::string& key : genreKeys) { // "L1/L2"
        const std::string l1 = key.substr(0, 2), l2 = key.substr(3);
        db.Exec("INSERT INTO Category SELECT * FROM s.Category WHERE L1='" + l1 + "' AND L2='" + l2 + "'");
        db.Exec("INSERT INTO Point SELECT * FROM s.Point WHERE L1='" + l1 + "' AND L2='" + l2 + "'");
        db.Exec("INSERT INTO Category SELECT * FROM s.Category WHERE L1='" + l1 +
                "' AND L2='0' AND NOT EXISTS (SELECT 1 FROM main.Category WHERE L1='" + l1 + "' AND L2='0')");
    }
    db.Exec("COMMIT");
    db.Exec("DETACH s");
    db.Exec("VACUUM");
}

// --- What a run leaves behind --------------------------------------------

// Per database file: absent, or its tables and every row of them, sorted.
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
        Raw db(path);
        std::vector<std::string> rows;
        for (const std::string& table :
             db.Rows("SELECT name FROM sqlite_master WHERE type='table' AND name NOT LIKE 'sqlite_%' ORDER BY name")) {
            rows.push_back("table " + table);
            for (const std::string& r : db.Rows("SELECT * FROM \"" + table + "\""))
                rows.push_back(table + ":" + r);
        }
        std::sort(rows.begin(), rows.end());
        state[name] = rows;
    }
    return state;
}

std::string IntegrityOf(const std::string& path)
{
    Raw db(path);
    const auto rows = db.Rows("PRAGMA integrity_check");
    return rows.empty() ? "no answer" : rows[0];
}

// The string-table ID of a message as shown (its template's fixed parts in
// order), or 0.
unsigned MessageId(const std::string& textUtf8)
{
    for (unsigned id = 2010; id <= 2042; ++id) {
        const std::string t = LoadResStringUtf8(id);
        if (t.empty())
            continue;
        size_t pos = 0, at = 0;
        bool match = true;
        bool first = true;
        while (true) {
            const size_t next = t.find("%s", pos);
            const std::string part = t.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
            const size_t found = textUtf8.find(part, at);
            if (found == std::string::npos || (first && found != 0)) {
                match = false;
                break;
            }
            at = found + part.size();
            first = false;
            if (next == std::string::npos) {
                match = at == textUtf8.size();
                break;
            }
            pos = next + 2;
        }
        if (match)
            return id;
    }
    return 0;
}

class RecordingSink : public CProgressSink {
public:
    int PumpAndStep() override
    {
        const int previous = m_pos;
        m_pos += m_step;
        ++m_steps;
        return previous;
    }
    void SetRange(int lower, int upper) override
    {
        m_lower = lower;
        m_upper = upper;
    }
    void SetPos(int pos) override
    {
        m_pos = pos;
        m_bCancel = FALSE;
    }
    void SetStep(int step) override { m_step = step; }

    int m_steps = 0;
    int m_pos = 0;
    int m_step = 1;
    int m_lower = 0;
    int m_upper = 0;
};

// --- The sweep ------------------------------------------------------------

struct Operation {
    const char* name;
    // Database files whose rows count (names in the run's folder).
    std::vector<std::string> files;
    std::function<void(const std::string& dir)> prepare;
    // True when the operation reported success.
    std::function<bool(const std::string& dir)> run;
    // Further conditions on what a run left; "" when they hold.
    std::function<std::string(const std::string& dir, bool ok)> check;
};

struct FaultKind {
    Op op;
    int code;
    bool sticky;
    const char* label;
};

const FaultKind kFaultKinds[] = {
    {Op::Write, SQLITE_IOERR_WRITE, false, "write error"},
    {Op::Write, SQLITE_FULL, true, "disk full"},
    {Op::Sync, SQLITE_IOERR_FSYNC, false, "fsync error"},
    {Op::Lock, SQLITE_BUSY, false, "lock refused"},
};

struct Tally {
    int runs = 0;
    int injected = 0;
    std::map<std::string, int> byKind;
    int keptBefore = 0;
    int completed = 0;
    int completedButReportedFailure = 0;
    int silentFailures = 0; // failure reported by the result alone, no message
    std::map<unsigned, int> messages;
    std::vector<std::string> problems;
    // Blemishes that lose nothing (a stale file left beside the database):
    // how many runs showed each, and the first of them.
    std::map<std::string, std::pair<int, std::string>> notes;
};

std::string Joined(const std::vector<std::string>& texts)
{
    std::string out;
    for (const auto& t : texts)
        out += (out.empty() ? "\"" : ", \"") + t + "\"";
    return out.empty() ? "none" : out;
}

// Whatever the engine must hold after an operation: nothing.
std::string EngineLeftovers()
{
    std::string problem;
    if (!dao::OpenFiles().empty())
        problem += std::to_string(dao::OpenFiles().size()) + " database file(s) left open; ";
    if (CDaoWorkspace::Default().InTransaction()) {
        problem += "a workspace transaction left pending; ";
        CDaoWorkspace::Default().Rollback();
    }
    return problem;
}

// The engine must take every file back (a hot journal is rolled back here).
std::string EngineReopens(const std::string& dir, const std::vector<std::string>& files)
{
    std::string problem;
    for (const std::string& name : files) {
        const std::string path = dir + "/" + name;
        if (!fs::exists(path))
            continue;
        CDaoDatabase db;
        try {
            db.Open(path, TRUE, FALSE, kConnect);
            db.Close();
        } catch (const CDaoException& e) {
            problem += "the engine refuses " + name + " (" + e.what() + ")";
            const std::string journal = path + "-journal";
            if (fs::exists(journal))
                problem += ", with a " + std::to_string(fs::file_size(journal)) + "-byte journal beside it";
            problem += "; ";
        }
    }
    return problem;
}

Tally Sweep(const Operation& operation)
{
    FaultVfs& vfs = FaultVfs::Install();
    Tally tally;

    TempDir clean;
    operation.prepare(clean.path());
    const State before = Snapshot(clean.path(), operation.files);
    vfs.Disarm();
    vfs.ResetCounts();
    bool ok;
    {
        MessageRecorder messages;
        ok = operation.run(clean.path());
        EXPECT_TRUE(ok) << operation.name << " fails without faults";
        EXPECT_TRUE(messages.shown().empty()) << operation.name << ": " << Joined(messages.texts());
    }
    const int counts[3] = {vfs.Count(Op::Write), vfs.Count(Op::Sync), vfs.Count(Op::Lock)};
    EXPECT_EQ("", EngineLeftovers());
    const State after = Snapshot(clean.path(), operation.files);
    EXPECT_EQ("", operation.check(clean.path(), ok)) << operation.name << " without faults";
    EXPECT_GT(counts[0], 0) << operation.name << " wrote nothing through the VFS";

    for (const FaultKind& kind : kFaultKinds) {
        for (int n = 1; n <= counts[static_cast<int>(kind.op)]; ++n) {
            TempDir dir;
            operation.prepare(dir.path());
            std::vector<std::string> shown;
            vfs.Arm(kind.op, n, kind.code, kind.sticky);
            {
                MessageRecorder messages;
                ok = operation.run(dir.path());
                shown = messages.texts();
            }
            vfs.Disarm();
            const int injected = vfs.Injected();
            ++tally.runs;
            tally.injected += injected;
            tally.byKind[kind.label] += injected;
            for (const auto& text : shown)
                ++tally.messages[MessageId(text)];

            const std::string where = std::string(operation.name) + ", " + kind.label + " at call " +
                                      std::to_string(n) + " (" + std::to_string(injected) + " injected, result " +
                                      (ok ? "success" : "failure") + ", messages " + Joined(shown) + "): ";
            std::string problem = EngineLeftovers();
            problem += EngineReopens(dir.path(), operation.files);
            for (const std::string& name : operation.files) {
                const std::string path = dir.path() + "/" + name;
                if (fs::exists(path)) {
                    const std::string integrity = IntegrityOf(path);
                    if (integrity != "ok")
                        problem += name + " fails integrity_check: " + integrity + "; ";
                }
            }
            if (problem.find("the engine refuses") != std::string::npos) {
                // Would SQLite itself have rolled the journal back?
                const State state = Snapshot(dir.path(), operation.files);
                bool whole = true;
                for (const std::string& name : operation.files)
                    if (fs::exists(dir.path() + "/" + name) && IntegrityOf(dir.path() + "/" + name) != "ok")
                        whole = false;
                problem += std::string("SQLite alone recovers it to ") +
                           (!whole ? "a damaged file" : state == before ? "the state before" :
                            state == after ? "the state after" : "a mixed state") + "; ";
            } else if (problem.empty()) {
                const State state = Snapshot(dir.path(), operation.files);
                if (state == after && state != before) {
                    ++tally.completed;
                    if (!ok)
                        ++tally.completedButReportedFailure;
                } else if (state == before && state != after) {
                    ++tally.keptBefore;
                    if (!ok && shown.empty())
                        ++tally.silentFailures;
                    if (ok && shown.empty())
                        problem += "nothing was done, yet success was reported and nothing shown; ";
                } else if (state == before) { // the operation changes no rows
                    ok ? ++tally.completed : ++tally.keptBefore;
                } else {
                    for (const auto& [name, rows] : state) {
                        if (rows != before.at(name) && rows != after.at(name))
                            problem += name + " holds " + std::to_string(rows.size()) +
                                       " table/row entries, neither those before (" +
                                       std::to_string(before.at(name).size()) + ") nor those after (" +
                                       std::to_string(after.at(name).size()) + "); ";
                    }
                    if (problem.empty())
                        problem += "the files are in a mix of their states before and after; ";
                }
                const std::string checked = operation.check(dir.path(), ok);
                if (checked.rfind("note: ", 0) == 0) {
                    auto& note = tally.notes[checked.substr(6)];
                    if (note.first++ == 0)
                        note.second = std::string(kind.label) + " at call " + std::to_string(n);
                }
                else
                    problem += checked;
            }
            if (!problem.empty())
                tally.problems.push_back(where + problem);
        }
    }

    std::string messages;
    for (const auto& [id, count] : tally.messages)
        messages += (messages.empty() ? "" : ", ") + (id ? std::to_string(id) : std::string("other")) + " x" +
                    std::to_string(count);
    std::printf("[  FAULTS  ] %s: %d faults injected in %d runs (%d write errors, %d disk full, %d fsync errors, "
                "%d locks refused; calls counted clean: %d writes, %d syncs, %d locks): %s; %d kept the data as "
                "before (%d of them with no message, only a failure result), %d completed (%d of them reported as "
                "failed); messages shown: %s\n",
                operation.name, tally.injected, tally.runs, tally.byKind["write error"], tally.byKind["disk full"],
                tally.byKind["fsync error"], tally.byKind["lock refused"], counts[0], counts[1], counts[2],
                tally.problems.empty() ? "none lost or corrupted data"
                                       : (std::to_string(tally.problems.size()) + " LOST OR CORRUPTED DATA").c_str(),
                tally.keptBefore, tally.silentFailures, tally.completed, tally.completedButReportedFailure,
                messages.empty() ? "none" : messages.c_str());
    for (const auto& [what, seen] : tally.notes)
        std::printf("[  FAULTS  ]   note, %d run(s), first %s: %s\n", seen.first, seen.second.c_str(), what.c_str());
    std::fflush(stdout);
    return tally;
}

void ExpectNoProblems(const Tally& tally)
{
    EXPECT_GT(tally.injected, 0);
    for (size_t i = 0; i < tally.problems.size() && i < 25; ++i)
        ADD_FAILURE() << tally.problems[i];
    EXPECT_TRUE(tally.problems.empty()) << tally.problems.size() << " runs lost or corrupted data";
}

// --- The operations ------------------------------------------------------

class DatabaseFaults : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // Thousands of runs: on a memory file system the syncs that SQLite
        // asks for (and that the sweep counts and fails) cost nothing.
        if (const char* old = std::getenv("TMPDIR"))
            s_oldTmpDir = old;
        std::error_code ec;
        if (fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0)
            setenv("TMPDIR", "/dev/shm", 1);
        s_templates = new TempDir;
        MakeSourceFile(Source());
        MakeDestFile(Template("one-genre.dbs"), Source(), {"01/01"});
        MakeDestFile(Template("three-genres.dbs"), Source(), {"01/01", "01/02", "02/01"});
        // Rows deleted after the fact leave free pages for the optimisation.
        MakeDestFile(Template("with-free-pages.dbs"), Source(), {"01/01", "01/02", "02/01"});
        Raw db(Template("with-free-pages.dbs"));
        db.Exec("DELETE FROM Point WHERE L1='01' AND L2='02'");
        db.Exec("DELETE FROM Category WHERE L1='01' AND L2='02'");
    }
    static void TearDownTestSuite()
    {
        delete s_templates;
        s_templates = nullptr;
        if (s_oldTmpDir.empty())
            unsetenv("TMPDIR");
        else
            setenv("TMPDIR", s_oldTmpDir.c_str(), 1);
    }

    static std::string Source() { return *s_templates / "Source.dbs"; }
    static std::string Template(const char* name) { return *s_templates / name; }

    static void CopyTemplate(const std::string& from, const std::string& dir, const char* name)
    {
        fs::copy_file(from, dir + "/" + name);
    }

    static TempDir* s_templates;
    static std::string s_oldTmpDir;
};

TempDir* DatabaseFaults::s_templates = nullptr;
std::string DatabaseFaults::s_oldTmpDir;

TEST_F(DatabaseFaults, CreatingAGuideDatabase)
{
    const Operation op{
        "create guide database",
        {"Guide.dbs", "Source.dbs"},
        [](const std::string& dir) { CopyTemplate(Source(), dir, "Source.dbs"); },
        [](const std::string& dir) {
            CSearchDb db;
            return CreateSearchFile(db, dir + "/Source.dbs", dir + "/Guide.dbs") != FALSE;
        },
        [](const std::string& dir, bool ok) -> std::string {
            if (!ok && fs::exists(dir + "/Guide.dbs"))
                return "a failed creation left Guide.dbs behind; ";
            if (ok) {
                // An index that could not be made is left out on purpose;
                // the search still works without it.
                Raw db(dir + "/Guide.dbs");
                const std::string indexes =
                    db.Rows("SELECT count(*) FROM sqlite_master WHERE type='index'").at(0);
                if (indexes != "19")
                    return "note: created with " + indexes + " of its 19 indexes";
            }
            return "";
        },
    };
    ExpectNoProblems(Sweep(op));
}

TEST_F(DatabaseFaults, TransferringAGenre)
{
    const Operation op{
        "transfer genre",
        {"Guide.dbs", "Source.dbs"},
        [](const std::string& dir) {
            CopyTemplate(Source(), dir, "Source.dbs");
            CopyTemplate(Template("one-genre.dbs"), dir, "Guide.dbs");
        },
        [](const std::string& dir) {
            CSearchDb db;
            RecordingSink sink;
            // The genre 02/01: 4 Category rows, 90 Point rows, and its group row is missing.
            sink.SetRange(0, 4 + 90 + 1);
            sink.SetPos(0);
            sink.SetStep(1);
            const int result = db.TransferGenre(&sink, dir + "/Source.dbs", dir + "/Guide.dbs",
                                                FormatSql(13082, "02", "01"), "02");
            return result == 1;
        },
        [](const std::string&, bool) { return std::string(); },
    };
    ExpectNoProblems(Sweep(op));
}

TEST_F(DatabaseFaults, RemovingAGenre)
{
    const Operation op{
        "remove genre",
        {"Guide.dbs"},
        [](const std::string& dir) { CopyTemplate(Template("three-genres.dbs"), dir, "Guide.dbs"); },
        [](const std::string& dir) {
            CSearchDb db;
            return DeleteGenreRowsInOneTransaction(db, dir + "/Guide.dbs", "01", "02") != FALSE;
        },
        [](const std::string&, bool) { return std::string(); },
    };
    ExpectNoProblems(Sweep(op));
}

TEST_F(DatabaseFaults, OptimisingTheGuideDatabase)
{
    const Operation op{
        "optimise",
        {"Guide.dbs"},
        [](const std::string& dir) { CopyTemplate(Template("with-free-pages.dbs"), dir, "Guide.dbs"); },
        [](const std::string& dir) {
            CSearchDb db;
            return CompactInPlace(db, dir + "/Guide.dbs", "Guide.dbs") != FALSE;
        },
        [](const std::string& dir, bool ok) -> std::string {
            std::string problem, note;
            for (const auto& entry : fs::directory_iterator(dir)) {
                const std::string name = entry.path().filename().string();
                if (name.rfind("db", 0) != 0)
                    continue;
                // A stale journal of the temporary loses nothing but is litter.
                const bool journal = name.size() > 8 && name.compare(name.size() - 8, 8, "-journal") == 0;
                (journal ? note : problem) += "the temporary " + name + " was left; ";
            }
            if (!fs::exists(dir + "/Guide.dbs"))
                return problem + "Guide.dbs is gone; ";
            Raw db(dir + "/Guide.dbs");
            const std::string freePages = db.Rows("PRAGMA freelist_count").at(0);
            if (ok && freePages != "0")
                problem += "reported optimised, yet " + freePages + " free pages remain; ";
            if (!ok && freePages == "0")
                problem += "reported failed, yet the file was replaced; ";
            return problem.empty() && !note.empty() ? "note: " + note : problem;
        },
    };
    ExpectNoProblems(Sweep(op));
}

} // namespace
