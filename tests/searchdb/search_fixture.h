// Search database files made and read with SQLite directly, so what the engine writes is checked
// by something other than itself. Never read a file the engine holds open in this process:
// closing a second descriptor would drop the engine's lock.
#pragma once

#include <sqlite3.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/cp932.h"
#include "res/strings.h"
#include "searchdb/dao.h"
#include "support/sqlite_file.h"
#include "support/test_support.h"

namespace fixture {

constexpr const char* kConnect = ";pwd=tamarix5";
// What passes the password gate (432383838 is FNV-1a of "tamarix5").
const std::string kMarks = "PRAGMA application_id=1414746689; PRAGMA user_version=432383838;";

inline std::string J(const std::string& utf8) { return FromUtf8(utf8); }
inline std::string Sql(unsigned id) { return LoadResStringUtf8(id); }

// A string-table message (UTF-8) with its %s filled, as it is shown.
inline std::string Message(unsigned id, const std::string& argUtf8 = "")
{
    std::string t = LoadResStringUtf8(id);
    return t.find("%s") == std::string::npos ? t : t.replace(t.find("%s"), 2, argUtf8);
}

inline long long Scalar(const std::string& path, const std::string& sql) { return std::stoll(Query(path, sql).at(0).at(0)); }

inline void MakeSearchFile(const std::string& path, const std::string& sql) { Query(path, kMarks + sql); }

// A guide file: Property (Tessra, GuideData), Category, Point, and the caller's SQL.
inline void MakeGuideFile(const std::string& path, const std::string& moreSql = "")
{
    MakeSearchFile(path, Sql(10030) + ";" + Sql(10010) + ";" + Sql(10020) +
                             ";INSERT INTO Property VALUES ('Tessra','5.0','GuideData','1.0','Veltrane','(C)','x');" +
                             moreSql);
}

// Point rows of one genre, numbered (and their Longitude 502000000 +) from first.
inline std::string PointRows(const std::string& l1, const std::string& l2, int count, int first = 1)
{
    std::string sql = "BEGIN;";
    for (int i = first; i < first + count; ++i)
        sql += "INSERT INTO Point VALUES ('" + l1 + "','" + l2 + "','0',null,null,null,null,null," +
               std::to_string(502000000 + i) + ",128000000,'店" + std::to_string(i) + "','ミセ','1000001','東京都" +
               std::to_string(i) + "','03-0000-0000',13,1,null,'533946','" + l1 + l2 + "01','" + l1 + "01');";
    return sql + "COMMIT;";
}

// Runs a program with its output dropped; its exit status.
inline int RunProgram(const std::vector<std::string>& argv)
{
    const pid_t pid = fork();
    if (pid == 0) {
        (void)!freopen("/dev/null", "w", stdout);
        (void)!freopen("/dev/null", "w", stderr);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The sqlite3 shell stands for another program: a fork of ours would share our locks.
inline int RunSqliteShell(const std::string& path, const std::string& sql) { return RunProgram({"/usr/bin/sqlite3", path, sql}); }

// Another process holding a database open through the engine, as the host would.
class OtherProcessHolding {
public:
    explicit OtherProcessHolding(const std::string& path)
    {
        int up[2];
        if (pipe(up) != 0 || (m_pid = fork()) < 0)
            throw std::runtime_error("fork");
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            CDaoDatabase db;
            try {
                db.Open(path, TRUE, FALSE, kConnect);
            } catch (const CDaoException&) {
                _exit(1);
            }
            (void)!write(up[1], "1", 1);
            pause();
            _exit(0);
        }
        close(up[1]);
        char c = 0;
        if (read(up[0], &c, 1) != 1)
            throw std::runtime_error("the holder did not open " + path);
        close(up[0]);
    }
    ~OtherProcessHolding()
    {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }

private:
    pid_t m_pid = -1;
};

} // namespace fixture
