// bench-cli-install: `pellvane-cli install-genres` of one genre of 200,000
// Point rows, as a whole process, against the sqlite3 shell copying the same
// rows with INSERT ... SELECT in one transaction, each from the same fresh
// destination file. Runs are taken in turns; the figures are medians.
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
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/cp932.h"
#include "res/strings.h"
#include "searchdb/search_db.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
const long kRows = 200000;
const int kRuns = std::getenv("BENCH_RUNS") ? std::atoi(std::getenv("BENCH_RUNS")) : 7;

[[noreturn]] void Die(const std::string& what)
{
    std::fprintf(stderr, "bench-cli-install: %s\n", what.c_str());
    std::exit(1);
}

void Exec(sqlite3* db, const std::string& sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK)
        Die(std::string(err ? err : "?") + " in " + sql.substr(0, 80));
}

// A CD-ROM guide database: genre 10/01 "銀行" of kRows Point rows and genre
// 20/01 "駅" of 1,000.
void MakeSource(const std::string& path)
{
    ::unlink(path.c_str());
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        Die("cannot create " + path);
    Exec(db,
         "PRAGMA application_id=1414746689; PRAGMA user_version=432383838; PRAGMA journal_mode=OFF;"
         "PRAGMA synchronous=OFF");
    for (unsigned id : {10030u, 10010u, 10020u})
        Exec(db, LoadResStringUtf8(id));
    Exec(db, "BEGIN");
    Exec(db, "INSERT INTO Property VALUES ('Tessra','5.0','GuideData','1.0','Veltrane','(C) Veltrane','bench')");
    Exec(
        db,
        "INSERT INTO Category (L1,L2,L3,Name,NamePronounce) VALUES ('0',null,null,'施設','シセツ'),"
        "('10','0',null,'金融','キンユウ'),('10','01','0','銀行','ギンコウ'),('10','01','01','都市銀行','トシギンコウ')"
        ","
        "('20','0',null,'交通','コウツウ'),('20','01','0','駅','エキ')");
    sqlite3_stmt* ins = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO Point VALUES (?1,?2,'01',null,null,null,null,null,?3,?4,?5,'ギンコウシテン',"
                       "'1000001',?6,'03-3210-0000',13,101,null,'533946',?7,'1001')",
                       -1, &ins, nullptr);
    auto add = [&](const char* l1, const char* l2, const char* code, long i) {
        const std::string name = "東都銀行 第" + std::to_string(i) + "支店";
        const std::string address =
            "東京都千代田区丸の内" + std::to_string(i % 9 + 1) + "丁目" + std::to_string(i % 50);
        sqlite3_bind_text(ins, 1, l1, -1, SQLITE_STATIC);
        sqlite3_bind_text(ins, 2, l2, -1, SQLITE_STATIC);
        sqlite3_bind_int64(ins, 3, 503000000 + i * 37 % 900000);
        sqlite3_bind_int64(ins, 4, 128000000 + i * 53 % 700000);
        sqlite3_bind_text(ins, 5, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 6, address.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 7, code, -1, SQLITE_STATIC);
        if (sqlite3_step(ins) != SQLITE_DONE)
            Die("cannot fill the source");
        sqlite3_reset(ins);
    };
    for (long i = 0; i < 1000; ++i)
        add("20", "01", "20010100", i);
    for (long i = 0; i < kRows; ++i)
        add("10", "01", "10010100", i);
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
    sync();
}

struct Run {
    double seconds = 0; // wall clock
    double cpu = 0;     // user + system time of the process
};

// One process run to its end.
Run Spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const auto t0 = Clock::now();
    pid_t pid;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        Die("cannot run " + args[0]);
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    const double s = std::chrono::duration<double>(Clock::now() - t0).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Die(args[0] + " failed");
    return {s, ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6};
}

long CountPoints(const std::string& path)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT count(*) FROM Point WHERE L1='10'", -1, &st, nullptr);
    const long n = sqlite3_step(st) == SQLITE_ROW ? static_cast<long>(sqlite3_column_int64(st, 0)) : -1;
    sqlite3_finalize(st);
    sqlite3_close(db);
    return n;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main()
{
    char tmpl[] = "/tmp/bench-cli-install-XXXXXX";
    if (!mkdtemp(tmpl))
        Die("mkdtemp");
    const std::string dir = tmpl;
    const std::string cd = dir + "/cd", hd = dir + "/hd";
    mkdir(cd.c_str(), 0755);
    mkdir(hd.c_str(), 0755);
    mkdir((dir + "/run").c_str(), 0700);
    // A registry and an instance lock of the benchmark's own.
    setenv("TESSRA_REGISTRY_DIR", dir.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);

    const std::string src = cd + "/Guide.dbs", dst = hd + "/Guide.dbs";
    MakeSource(src);
    {
        CSearchDb db;
        if (!CreateSearchFile(db, FromUtf8(src), FromUtf8(dst)))
            Die("cannot create the destination");
    }
    const std::string fresh = ReadFile(dst);

    const std::string sql = "ATTACH '" + src +
        "' AS s; BEGIN;"
        "INSERT INTO Category SELECT * FROM s.Category WHERE L1='10' AND L2='01';"
        "INSERT INTO Point SELECT * FROM s.Point WHERE L1='10' AND L2='01';"
        "INSERT INTO Category SELECT * FROM s.Category WHERE L1='10' AND L2='0';"
        "COMMIT;";
    std::vector<double> ours, shell, oursCpu, shellCpu;
    for (int i = 0; i < kRuns; ++i) {
        WriteFile(dst, fresh);
        const Run o = Spawn({PELLVANE_CLI, "--cd", cd, "--hd", hd, "--quiet", "install-genres", "銀行"});
        ours.push_back(o.seconds);
        oursCpu.push_back(o.cpu);
        if (CountPoints(dst) != kRows)
            Die("pellvane-cli did not install the genre");
        WriteFile(dst, fresh);
        const Run b = Spawn({"sqlite3", "-bail", dst, sql});
        shell.push_back(b.seconds);
        shellCpu.push_back(b.cpu);
        if (CountPoints(dst) != kRows)
            Die("the shell did not copy the genre");
    }
    std::printf("runs of each, in turns: %d\n", kRuns);
    auto line = [](const char* name, double o, double b) {
        const double ratio = o / b;
        std::printf("%-50s ours %9.2f s   baseline %9.2f s   ratio %5.2f  target <= 1.2x  holds %s\n", name, o, b,
                    ratio, ratio <= 1.2 ? "yes" : "no");
    };
    line("pellvane-cli install-genres 200,000 rows, wall clock", Median(ours), Median(shell));
    line("pellvane-cli install-genres 200,000 rows, processor", Median(oursCpu), Median(shellCpu));
    if (std::getenv("BENCH_KEEP")) {
        std::printf("kept %s\n", dir.c_str());
        return 0;
    }
    std::string cleanup = "rm -rf '" + dir + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
