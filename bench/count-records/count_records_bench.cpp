// Counts the rows of a 1,000,000-row Point table with CSearchDb::CountRecords
// and prints the time taken and the process's peak resident memory before
// and after, to show that counting streams the rows instead of loading them.
//
//   bench-count-records [ROWS]     (default 1000000)
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/message_box.h"
#include "res/strings.h"
#include "searchdb/dao_file.h"
#include "searchdb/search_db.h"

namespace {

long PeakRssKiB()
{
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_maxrss;
}

bool Exec(sqlite3* db, const std::string& sql)
{
    char* err = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "%s: %s\n", sql.c_str(), err ? err : "?");
        sqlite3_free(err);
        return false;
    }
    return true;
}

// Builds the guide file; runs in a child process so that building does not
// raise this process's peak memory.
bool BuildGuideFile(const std::string& path, long rows)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(path.c_str(), &db) != SQLITE_OK)
        return false;
    bool ok = Exec(db, "PRAGMA application_id=" + std::to_string(dao::kApplicationId) +
                           ";PRAGMA user_version=" + std::to_string(dao::PasswordHash("tamarix5")) +
                           ";PRAGMA journal_mode=OFF;PRAGMA synchronous=OFF") &&
              Exec(db, LoadResStringUtf8(10030)) && Exec(db, LoadResStringUtf8(10010)) &&
              Exec(db, LoadResStringUtf8(10020)) &&
              Exec(db, "INSERT INTO Property (ProductName, DataName) VALUES ('Tessra','GuideData')") &&
              Exec(db, "BEGIN");
    sqlite3_stmt* ins = nullptr;
    ok = ok && sqlite3_prepare_v2(db,
                                  "INSERT INTO Point VALUES (?1,?2,'1',null,null,null,null,null,?3,?4,"
                                  "'さくらラーメン 本町店','サクララーメン ホンマチテン','1000001',"
                                  "'東京都千代田区本町1丁目2-3','03-1234-5678',13,1,null,'533945',?5,'0101')",
                                  -1, &ins, nullptr) == SQLITE_OK;
    for (long i = 0; ok && i < rows; ++i) {
        const int genre = static_cast<int>(i % 25);
        const std::string l1 = std::to_string(genre / 5 + 1);
        const std::string l2 = std::to_string(genre % 5 + 1);
        const std::string code = "0" + l1 + "000" + l2 + "01";
        sqlite3_bind_text(ins, 1, l1.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 2, l2.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_int64(ins, 3, 502884000 + i % 100000);
        sqlite3_bind_int64(ins, 4, 128484000 + i % 70000);
        sqlite3_bind_text(ins, 5, code.c_str(), -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(ins) == SQLITE_DONE;
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    ok = ok && Exec(db, "COMMIT") && Exec(db, LoadResStringUtf8(11050)) && Exec(db, LoadResStringUtf8(11060));
    sqlite3_close(db);
    return ok;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

} // namespace

int main(int argc, char** argv)
{
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    char dirTemplate[] = "/tmp/bench-count-records-XXXXXX";
    if (!mkdtemp(dirTemplate))
        return 1;
    const std::string dir = dirTemplate;
    const std::string path = dir + "/Guide.dbs";

    auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0)
        _exit(BuildGuideFile(path, rows) ? 0 : 1);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "could not build %s\n", path.c_str());
        return 1;
    }
    struct stat st;
    stat(path.c_str(), &st);
    std::printf("built %ld Point rows (%.1f MiB file) in %.1f s (child process)\n", rows,
                st.st_size / 1048576.0, Seconds(start));

    SetMessageBoxHandler([](const std::string&, UINT) { return IDOK; });
    CSearchDb db;
    struct Query {
        const char* what;
        std::string sql;
    };
    const Query queries[] = {
        {"whole table", LoadResString(13025)},
        {"one genre (L1 1, L2 1)", FormatSql(13080, "1", "1")},
        {"no rows", FormatSql(13080, "9", "9")},
    };
    const long before = PeakRssKiB();
    std::printf("peak RSS before counting: %ld KiB\n", before);
    for (const Query& q : queries) {
        start = std::chrono::steady_clock::now();
        const long count = db.CountRecords(path, q.sql);
        const double s = Seconds(start);
        std::printf("CountRecords %-24s = %8ld rows in %6.3f s; peak RSS after: %ld KiB\n", q.what, count, s,
                    PeakRssKiB());
    }
    // Counting streams: the peak may grow by SQLite's page cache and no more,
    // whatever the size of the table (holding it would take the whole file).
    const double grownMb = (PeakRssKiB() - before) / 1024.0;
    const double limitMb = 16;
    std::printf("RESULT name=\"peak memory growth, counting %ld rows\" ours=%.1fMB baseline=%.1fMB ratio=%.2f "
                "target=\"<= %.0fMB\" holds=%s\n",
                rows, grownMb, st.st_size / 1048576.0, grownMb / (st.st_size / 1048576.0), limitMb,
                grownMb <= limitMb ? "yes" : "no");
    unlink(path.c_str());
    rmdir(dir.c_str());
    return 0;
}
