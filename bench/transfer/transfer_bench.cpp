// Transferring one genre: our transfer with a progress step and a chance to
// cancel after every row, against the sqlite3 shell copying the same rows with
// INSERT ... SELECT between the same two files; and the peak memory of a
// 1,000,000-row genre.
//
//   xvfb-run -a bench-transfer [rows] [memory rows]
//
// Under an X server the pump is the real progress dialog's; without one, a
// stand-in that makes the same system calls at the same rate.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <wx/app.h>
#include <wx/init.h>

#include "platform/cp932.h"
#include "platform/message_box.h"
#include "res/strings.h"
#include "searchdb/search_db.h"
#include "services/progress_dlg.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// The scratch folder, removed on every way out.
std::string g_dir;

void RemoveScratch()
{
    if (g_dir.empty())
        return;
    for (const char* name : {"/Guide.dbs", "/fresh.dbs", "/hd.dbs", "/hd.dbs-journal"})
        ::unlink((g_dir + name).c_str());
    ::rmdir(g_dir.c_str());
}

void Die(const std::string& what)
{
    std::fprintf(stderr, "bench-transfer: %s\n", what.c_str());
    RemoveScratch();
    std::exit(1);
}

void Exec(sqlite3* db, const std::string& sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK)
        Die(std::string(err ? err : "?") + " in " + sql.substr(0, 80));
}

std::string Utf8Sql(unsigned id)
{
    return LoadResStringUtf8(id);
}

// A CD-ROM guide database with one genre (10/01) of `rows` Point rows and a
// few rows of another genre around it.
void MakeSource(const std::string& path, long rows)
{
    ::unlink(path.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        Die("cannot create " + path);
    Exec(db, "PRAGMA application_id=1414746689; PRAGMA user_version=432383838; PRAGMA journal_mode=OFF;"
             "PRAGMA synchronous=OFF");
    Exec(db, Utf8Sql(10030));
    Exec(db, Utf8Sql(10010));
    Exec(db, Utf8Sql(10020));
    Exec(db, "BEGIN");
    Exec(db, "INSERT INTO Property VALUES ('Tessra','5.0','GuideData','1.0','Veltrane','(C) Veltrane','bench')");
    Exec(db, "INSERT INTO Category (L1,L2,L3,Name,NamePronounce) VALUES ('0',null,null,'施設','シセツ'),"
             "('10','0','0','金融','キンユウ'),('10','01','0','銀行','ギンコウ'),('10','01','01','都市銀行','トシギンコウ'),"
             "('20','0','0','交通','コウツウ'),('20','01','0','駅','エキ')");
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO Point VALUES (?1,?2,'01',null,null,null,null,null,?3,?4,?5,'ギンコウシテン',"
                       "'1000001',?6,'03-3210-0000',13,101,null,'533946','10010100','1001')",
                       -1, &ins, nullptr);
    auto add = [&](const char* l1, const char* l2, long i) {
        const std::string name = "東都銀行 第" + std::to_string(i) + "支店";
        const std::string address = "東京都千代田区丸の内" + std::to_string(i % 9 + 1) + "丁目" + std::to_string(i % 50);
        sqlite3_bind_text(ins, 1, l1, -1, SQLITE_STATIC);
        sqlite3_bind_text(ins, 2, l2, -1, SQLITE_STATIC);
        sqlite3_bind_int64(ins, 3, 503000000 + i * 37 % 900000);
        sqlite3_bind_int64(ins, 4, 128000000 + i * 53 % 700000);
        sqlite3_bind_text(ins, 5, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 6, address.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(ins) != SQLITE_DONE)
            Die("cannot fill the source");
        sqlite3_reset(ins);
    };
    for (long i = 0; i < 1000; ++i)
        add("20", "01", i);
    for (long i = 0; i < rows; ++i)
        add("10", "01", i);
    sqlite3_finalize(ins);
    Exec(db, "COMMIT");
    sqlite3_close(db);
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    const int fd = ::open(path.c_str(), O_RDONLY);
    ::fsync(fd);
    ::close(fd);
}

// Stands in for the dialog's pump where there is no display: the same look
// at a descriptor every few milliseconds and the same counter step.
class StandInSink : public CProgressSink {
public:
    StandInSink() { (void)!::pipe(m_fds); }
    ~StandInSink() override
    {
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    int PumpAndStep() override
    {
        const auto now = Clock::now();
        if (now >= m_next) {
            m_next = now + std::chrono::milliseconds(5);
            pollfd p{m_fds[0], POLLIN, 0};
            ::poll(&p, 1, 0);
        }
        const int previous = m_pos;
        m_pos = m_pos + m_step > m_upper ? m_lower : m_pos + m_step;
        return previous;
    }
    void SetRange(int lower, int upper) override
    {
        m_lower = lower;
        m_upper = upper;
    }
    void SetPos(int pos) override
    {
        m_bCancel = FALSE;
        m_pos = pos;
    }
    void SetStep(int step) override { m_step = step; }

private:
    int m_fds[2] = {-1, -1};
    Clock::time_point m_next;
    int m_lower = 0, m_upper = 100, m_pos = 0, m_step = 1;
};

class BenchApp : public wxApp {
public:
    bool OnInit() override { return true; }
};

// The progress dialog when an X server is there, shown in copy mode.
std::unique_ptr<CProgressSink, void (*)(CProgressSink*)> MakeSink(int argc, char** argv, bool& real)
{
    real = false;
    if (std::getenv("DISPLAY")) {
        wxApp::SetInstance(new BenchApp);
        if (wxEntryStart(argc, argv)) {
            wxTheApp->CallOnInit();
            auto* dlg = new CProgressDlg;
            dlg->Create(nullptr);
            dlg->SetCaption(LoadResString(2027));
            dlg->SetText(FormatResString(2028, FromUtf8("銀行")));
            dlg->CentreOnScreen();
            dlg->Show();
            dlg->StartCopyAnimation();
            real = true;
            return {dlg, [](CProgressSink* p) {
                        auto* d = static_cast<CProgressDlg*>(p);
                        d->StopAnimation();
                        d->Destroy();
                        wxEntryCleanup();
                    }};
        }
    }
    return {new StandInSink, [](CProgressSink* p) { delete p; }};
}

// Runs of each side in the comparison.
constexpr int kRuns = 7;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double CpuSeconds(const rusage& ru)
{
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

double CpuNow()
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return CpuSeconds(ru);
}

struct Run {
    double seconds = 0; // wall clock
    double cpu = 0;     // user + system of the process that did the work
    long maxRssKb = 0;
};

// One transfer of genre 10/01 as the guide page runs it.
Run Transfer(CProgressSink& sink, const std::string& src, const std::string& dst, int* result)
{
    CSearchDb db;
    const std::string l1 = "10", l2 = "01";
    const long nc = db.CountRecords(src, FormatSql(13070, l1, l2));
    const long np = db.CountRecords(src, FormatSql(13080, l1, l2));
    sink.SetRange(0, static_cast<int>(nc + np + 1));
    sink.SetPos(0);
    sink.SetStep(1);
    const auto t0 = Clock::now();
    const double c0 = CpuNow();
    *result = db.TransferGenre(&sink, src, dst, FormatSql(13082, l1, l2), l1);
    return {std::chrono::duration<double>(Clock::now() - t0).count(), CpuNow() - c0, 0};
}

// The same rows by the sqlite3 shell: INSERT ... SELECT from the attached
// source, in one transaction.
Run ShellCopy(const std::string& src, const std::string& dst)
{
    const std::string sql = "ATTACH '" + src + "' AS s; BEGIN;"
                            "INSERT INTO Category SELECT * FROM s.Category WHERE L1='10' AND L2='01';"
                            "INSERT INTO Point SELECT * FROM s.Point WHERE L1='10' AND L2='01';"
                            "INSERT INTO Category SELECT * FROM s.Category WHERE L1='10' AND L2='0';"
                            "COMMIT;";
    const char* args[] = {"sqlite3", "-bail", dst.c_str(), sql.c_str(), nullptr};
    const auto t0 = Clock::now();
    pid_t pid;
    if (posix_spawn(&pid, "/usr/bin/sqlite3", nullptr, nullptr, const_cast<char**>(args), environ) != 0)
        Die("cannot run /usr/bin/sqlite3");
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Die("the sqlite3 shell failed");
    return {s, CpuSeconds(ru), ru.ru_maxrss};
}

long CountPoints(const std::string& path)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM Point WHERE L1='10'", -1, &st, nullptr);
    long n = sqlite3_step(st) == SQLITE_ROW ? static_cast<long>(sqlite3_column_int64(st, 0)) : -1;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

void Line(const char* name, double ours, double baseline, const char* unit, double target, bool absolute)
{
    const double ratio = baseline > 0 ? ours / baseline : 0;
    const bool holds = absolute ? ours <= target : ratio <= target;
    std::printf("%-44s ours %9.2f %-2s  baseline %9.2f %-2s  ratio %5.2f  target %s%g%s  holds %s\n", name, ours, unit,
                baseline, unit, ratio, absolute ? "<= " : "<= ", target, absolute ? unit : "x", holds ? "yes" : "no");
}

// Child mode: one transfer, then the peak memory on stdout.
int MemoryChild(int argc, char** argv)
{
    bool real = false;
    auto sink = MakeSink(argc, argv, real);
    int result = 0;
    (void)Transfer(*sink, argv[2], argv[3], &result);
    sink.reset();
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    std::printf("%d %ld %d\n", result, ru.ru_maxrss, real ? 1 : 0);
    return result == 1 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--memory-child") == 0)
        return MemoryChild(argc, argv);
    const long rows = argc > 1 ? std::atol(argv[1]) : 200000;
    const long memoryRows = argc > 2 ? std::atol(argv[2]) : 1000000;
    SetMessageBoxHandler([](const std::string& text, UINT) {
        std::fprintf(stderr, "message: %s\n", text.c_str());
        return IDOK;
    });

    char tmpl[] = "/tmp/bench-transfer-XXXXXX";
    if (!mkdtemp(tmpl))
        Die("mkdtemp");
    const std::string dir = tmpl;
    g_dir = dir;
    const std::string src = dir + "/Guide.dbs", fresh = dir + "/fresh.dbs", dst = dir + "/hd.dbs";

    // The destination as the first installation makes it: tables, the 19
    // indexes and the seed row.
    MakeSource(src, rows);
    {
        CSearchDb db;
        if (!CreateSearchFile(db, src, fresh))
            Die("cannot create the destination");
    }
    const std::string freshBytes = ReadFile(fresh);

    bool real = false;
    auto sink = MakeSink(argc, argv, real);
    std::printf("genre of %ld Point rows; pump: %s\n", rows,
                real ? "the progress dialog (X server)" : "stand-in (no X server)");

    // Each side several times, in turns, each from the same fresh
    // destination; the medians are compared. The processor time says what
    // the wall clock says on a machine that does nothing else.
    std::vector<double> oursWall, oursCpu, shellWall, shellCpu;
    for (int i = 0; i < kRuns; ++i) {
        WriteFile(dst, freshBytes);
        int result = 0;
        const Run o = Transfer(*sink, src, dst, &result);
        if (result != 1 || CountPoints(dst) != rows)
            Die("our transfer did not copy the genre (result " + std::to_string(result) + ")");
        WriteFile(dst, freshBytes);
        const Run b = ShellCopy(src, dst);
        if (CountPoints(dst) != rows)
            Die("the shell did not copy the genre");
        oursWall.push_back(o.seconds);
        oursCpu.push_back(o.cpu);
        shellWall.push_back(b.seconds);
        shellCpu.push_back(b.cpu);
    }
    const Run ours{Median(oursWall), Median(oursCpu)}, shell{Median(shellWall), Median(shellCpu)};
    sink.reset();
    const std::string what = "transfer " + std::to_string(rows) + " rows";
    Line((what + ", wall clock").c_str(), ours.seconds, shell.seconds, "s", 1.25, false);
    Line((what + ", processor time").c_str(), ours.cpu, shell.cpu, "s", 1.25, false);
    std::printf("  per row (processor): ours %.2f us, INSERT ... SELECT %.2f us\n", ours.cpu * 1e6 / rows,
                shell.cpu * 1e6 / rows);

    // Peak memory of a whole process transferring a genre of memoryRows.
    MakeSource(src, memoryRows);
    WriteFile(dst, freshBytes);
    std::string out;
    {
        const std::string self = "/proc/self/exe";
        int fds[2];
        if (pipe(fds) != 0)
            Die("pipe");
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            execl(self.c_str(), argv[0], "--memory-child", src.c_str(), dst.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char buf[256];
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0)
            out.append(buf, static_cast<size_t>(n));
        close(fds[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            Die("the memory run failed: " + out);
    }
    int result = 0, childReal = 0;
    long oursKb = 0;
    std::sscanf(out.c_str(), "%d %ld %d", &result, &oursKb, &childReal);
    WriteFile(dst, freshBytes);
    const Run shellMem = ShellCopy(src, dst);
    Line(("peak memory, " + std::to_string(memoryRows) + "-row genre" + (childReal ? " (with the dialog)" : "")).c_str(),
         oursKb / 1024.0, shellMem.maxRssKb / 1024.0, "MB", 64, true);

    RemoveScratch();
    return 0;
}
