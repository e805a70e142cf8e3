// Search database files for tests, made and read with SQLite directly so
// that what the engine writes is checked by something other than itself.
// Never read a file with these while an engine connection of this process
// holds it: closing a second descriptor would drop the engine's lock.
#pragma once

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/cp932.h"
#include "res/strings.h"

namespace fixture {

constexpr const char* kConnect = ";pwd=tamarix5";
constexpr int kApplicationId = 1414746689;
constexpr int kPasswordHash = 432383838; // FNV-1a of "tamarix5"

// CP932 form of UTF-8 source text.
inline std::string J(const std::string& utf8)
{
    return FromUtf8(utf8);
}

// A string-table template (UTF-8) with its %s filled, as a message shows it.
inline std::string Message(unsigned id, const std::string& argUtf8 = "")
{
    std::string t = LoadResStringUtf8(id);
    std::string out;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '%' && i + 1 < t.size() && t[i + 1] == 's') {
            out += argUtf8;
            ++i;
        } else {
            out += t[i];
        }
    }
    return out;
}

inline std::string Sql(unsigned id)
{
    return LoadResStringUtf8(id);
}

class RawDb {
public:
    explicit RawDb(const std::string& path, bool create = true)
    {
        int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
        if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path);
    }
    ~RawDb() { sqlite3_close(m_db); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    void Exec(const std::string& sql)
    {
        char* err = nullptr;
        if (sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
            std::string what = err ? err : "?";
            sqlite3_free(err);
            throw std::runtime_error(what + " in " + sql);
        }
    }

    // Every row as text; Null is "<null>".
    std::vector<std::vector<std::string>> Query(const std::string& sql)
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(std::string(sqlite3_errmsg(m_db)) + " in " + sql);
        std::vector<std::vector<std::string>> rows;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            std::vector<std::string> row;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                const unsigned char* t = sqlite3_column_text(stmt, i);
                row.push_back(t ? reinterpret_cast<const char*>(t) : "<null>");
            }
            rows.push_back(row);
        }
        sqlite3_finalize(stmt);
        return rows;
    }

    long long Scalar(const std::string& sql)
    {
        auto rows = Query(sql);
        return rows.empty() ? -1 : std::stoll(rows[0][0]);
    }

    sqlite3* get() { return m_db; }

private:
    sqlite3* m_db = nullptr;
};

inline std::vector<std::vector<std::string>> Query(const std::string& path, const std::string& sql)
{
    RawDb db(path, false);
    return db.Query(sql);
}

inline long long Scalar(const std::string& path, const std::string& sql)
{
    RawDb db(path, false);
    return db.Scalar(sql);
}

// A file that passes the password gate, with nothing in it yet.
inline void MakeSearchFile(const std::string& path, int userVersion = kPasswordHash)
{
    RawDb db(path);
    db.Exec("PRAGMA application_id=" + std::to_string(kApplicationId) +
            "; PRAGMA user_version=" + std::to_string(userVersion));
}

inline void MakePropertyTable(const std::string& path, const std::string& productName,
                              const std::string& dataName, const std::string& version = "5.0")
{
    RawDb db(path);
    db.Exec(Sql(10030));
    db.Exec("INSERT INTO Property VALUES ('" + productName + "','" + version + "','" + dataName +
            "','1.0','Veltrane','(C) Veltrane','sample')");
}

// A guide file: Property (Tessra, GuideData), Category and Point with the
// given rows added by the caller's SQL.
inline void MakeGuideFile(const std::string& path, const std::string& moreSql = "")
{
    MakeSearchFile(path);
    MakePropertyTable(path, "Tessra", "GuideData");
    RawDb db(path);
    db.Exec(Sql(10010));
    db.Exec(Sql(10020));
    if (!moreSql.empty())
        db.Exec(moreSql);
}

// Point rows of one genre, numbered from first.
inline std::string PointRows(const std::string& l1, const std::string& l2, int count, int first = 1)
{
    std::string sql = "BEGIN;";
    for (int i = first; i < first + count; ++i) {
        sql += "INSERT INTO Point VALUES ('" + l1 + "','" + l2 + "','0',null,null,null,null,null," +
               std::to_string(502000000 + i) + "," + std::to_string(128000000 + i) + ",'店" +
               std::to_string(i) + "','ミセ','1000001','東京都千代田区" + std::to_string(i) +
               "','03-0000-0000',13,1,null,'533946','" + l1 + l2 + "01','" + l1 + "01');";
    }
    return sql + "COMMIT;";
}

// Runs the sqlite3 shell on a file; its exit status.
inline int RunSqliteShell(const std::string& path, const std::string& sql)
{
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execl("/usr/bin/sqlite3", "sqlite3", path.c_str(), sql.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs body in a child process that keeps running until release() is
// called; the child reports body's result through a pipe first.
class ChildProcess {
public:
    explicit ChildProcess(const std::function<bool()>& body)
    {
        int up[2], down[2];
        if (pipe(up) != 0 || pipe(down) != 0)
            throw std::runtime_error("pipe");
        m_pid = fork();
        if (m_pid < 0)
            throw std::runtime_error("fork");
        if (m_pid == 0) {
            close(up[0]);
            close(down[1]);
            char ok = body() ? '1' : '0';
            (void)!write(up[1], &ok, 1);
            char c;
            (void)!read(down[0], &c, 1); // until the parent releases or dies
            _exit(0);
        }
        close(up[1]);
        close(down[0]);
        m_release = down[1];
        char c = '0';
        m_ok = read(up[0], &c, 1) == 1 && c == '1';
        close(up[0]);
    }
    ~ChildProcess() { release(); }

    bool ok() const { return m_ok; }
    void release()
    {
        if (m_pid <= 0)
            return;
        close(m_release);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_ok = false;
};

} // namespace fixture
