// Files as real media hold them: a database with the journal of a
// transaction cut short beside it.
#pragma once

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "res/strings.h"

namespace media {

// A string-table message (UTF-8) with its %s filled, as shown.
inline std::string Message(unsigned id, const std::string& arg = "")
{
    std::string t = LoadResStringUtf8(id);
    const size_t at = t.find("%s");
    return at == std::string::npos ? t : t.replace(at, 2, arg);
}

// The database at path with a transaction cut short by a kill: the journal
// beside it is hot and the file holds pages of the transaction (the cache is
// too small to keep them), here `sql`'s changes.
inline void LeaveHotJournal(const std::string& path, const std::string& sql)
{
    const pid_t pid = fork();
    if (pid == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(path.c_str(), &db);
        sqlite3_exec(db, ("PRAGMA cache_size=1; BEGIN; " + sql).c_str(), nullptr, nullptr, nullptr);
        kill(getpid(), SIGKILL);
        _exit(1);
    }
    waitpid(pid, nullptr, 0);
}

} // namespace media
