#include "searchdb/dao_file.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/cp932.h"
#include "platform/posix_file.h"
#include "searchdb/dao.h"
#include "searchdb/dao_statement.h"

namespace dao {

namespace {

std::vector<std::shared_ptr<DaoFile>>& Registry()
{
    static std::vector<std::shared_ptr<DaoFile>> files;
    return files;
}

int g_workspaceDepth = 0;

// The installer uses the engine from one thread at a time, so SQLite's per-handle
// mutex (taken on every call) buys nothing.
constexpr int kOpenFlags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;

bool EqualsNoCase(const std::string& a, const char* b)
{
    const size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The parts of a connect or locale string: ";pwd=x;LANGID=0x0411" -> {"pwd=x", "LANGID=0x0411"}.
std::vector<std::string> SplitParts(const std::string& s)
{
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= s.size()) {
        size_t end = s.find(';', start);
        if (end == std::string::npos)
            end = s.size();
        if (end > start)
            parts.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool IsPasswordPart(const std::string& part)
{
    return part.size() >= 4 && EqualsNoCase(part.substr(0, 4), "pwd=");
}

std::uint32_t BigEndian32(const unsigned char* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

// Looks at the file's header before SQLite sees it, so that a file that is
// not ours (empty, truncated, foreign, another password) is refused without
// the engine ever writing to it. Nothing of this process holds a lock on the
// file at this point, so the short-lived descriptor cannot drop one.
void CheckHeader(const std::string& pathUtf8, const struct stat& st, std::int32_t passwordHash)
{
    if (st.st_size < 512)
        Throw(SQLITE_NOTADB, "file is not a database");
    unsigned char h[100];
    const int fd = ::open(pathUtf8.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        Throw(SQLITE_CANTOPEN, std::string("cannot open file: ") + std::strerror(errno));
    const ssize_t got = ::pread(fd, h, sizeof h, 0);
    ::close(fd);
    if (got != static_cast<ssize_t>(sizeof h) || std::memcmp(h, "SQLite format 3", 16) != 0)
        Throw(SQLITE_NOTADB, "file is not a database");
    std::uint32_t pageSize = (std::uint32_t(h[16]) << 8) | h[17];
    if (pageSize == 1)
        pageSize = 65536;
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)) != 0)
        Throw(SQLITE_NOTADB, "file is not a database");
    if (st.st_size % pageSize != 0)
        Throw(SQLITE_CORRUPT, "database file is truncated");
    const std::uint32_t pageCount = BigEndian32(h + 28);
    const bool countValid = pageCount != 0 && std::memcmp(h + 24, h + 92, 4) == 0;
    if (countValid && std::uint64_t(pageCount) * pageSize > std::uint64_t(st.st_size))
        Throw(SQLITE_CORRUPT, "database file is truncated");
    if (static_cast<std::int32_t>(BigEndian32(h + 68)) != kApplicationId)
        Throw(SQLITE_AUTH, "not a search database");
    if (static_cast<std::int32_t>(BigEndian32(h + 60)) != passwordHash)
        Throw(SQLITE_AUTH, "wrong password");
}

bool HasJournal(const std::string& pathUtf8)
{
    struct stat st;
    return ::stat((pathUtf8 + "-journal").c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

// The handle's lock for its whole life: exclusive when it can write, so no
// other process opens the file at all; shared when it cannot (read-only
// media), so no other process writes it. No waiting: a file in use fails now.
void TakeLock(sqlite3* db, bool writable)
{
    sqlite3_busy_timeout(db, 0);
    Exec(db, "PRAGMA locking_mode=EXCLUSIVE");
    if (writable) {
        Exec(db, "BEGIN EXCLUSIVE");
        Exec(db, "COMMIT");
        // Files written by other tools may be in WAL mode; ours never are.
        Exec(db, "PRAGMA journal_mode=DELETE");
    }
    // Reading the schema takes the shared lock (kept in exclusive locking
    // mode) and finds a damaged schema now rather than later.
    QueryInt(db, "SELECT count(*) FROM sqlite_master");
}

void VerifyOpenFile(sqlite3* db, const std::string& pathUtf8, std::int32_t passwordHash)
{
    if (QueryInt(db, "PRAGMA application_id") != kApplicationId)
        Throw(SQLITE_AUTH, "not a search database");
    if (QueryInt(db, "PRAGMA user_version") != passwordHash)
        Throw(SQLITE_AUTH, "wrong password");
    struct stat st;
    if (::stat(pathUtf8.c_str(), &st) != 0)
        Throw(SQLITE_CANTOPEN, "database file vanished");
    const std::int64_t bytes = QueryInt(db, "PRAGMA page_count") * QueryInt(db, "PRAGMA page_size");
    if (bytes > st.st_size)
        Throw(SQLITE_CORRUPT, "database file is truncated");
}

std::shared_ptr<DaoFile> Register(sqlite3* db, const std::string& pathUtf8, bool writable,
                                  std::int32_t passwordHash)
{
    struct stat st;
    if (::stat(pathUtf8.c_str(), &st) != 0)
        Throw(SQLITE_CANTOPEN, "database file vanished");
    auto file = std::make_shared<DaoFile>();
    file->db = db;
    file->dev = st.st_dev;
    file->ino = st.st_ino;
    file->pathUtf8 = pathUtf8;
    file->writable = writable;
    file->passwordHash = passwordHash;
    file->connections = 1;
    if (g_workspaceDepth > 0) {
        Exec(db, "BEGIN");
        for (int level = 2; level <= g_workspaceDepth; ++level)
            Exec(db, ("SAVEPOINT " + SavepointName(level)).c_str());
        file->inTransaction = true;
    }
    Registry().push_back(file);
    return file;
}

// SQLite is built to take "file:" names as URIs; ours are plain paths.
std::string PlainPath(const std::string& pathUtf8)
{
    return pathUtf8.compare(0, 5, "file:") == 0 ? "./" + pathUtf8 : pathUtf8;
}

} // namespace

std::int32_t PasswordHash(const std::string& password)
{
    std::uint32_t h = 2166136261u;
    for (unsigned char c : password) {
        h ^= c;
        h *= 16777619u;
    }
    return static_cast<std::int32_t>(h);
}

std::string ConnectPassword(const std::string& connect)
{
    for (const std::string& part : SplitParts(connect))
        if (IsPasswordPart(part))
            return part.substr(4);
    return std::string();
}

std::string LocaleWithoutPassword(const std::string& locale)
{
    std::string out;
    for (const std::string& part : SplitParts(locale)) {
        if (IsPasswordPart(part))
            continue;
        if (!out.empty())
            out += ';';
        out += part;
    }
    return out;
}

void Throw(int code, const std::string& what)
{
    throw CDaoException(code, what);
}

void ThrowFromDb(sqlite3* db, int code, const std::string& context)
{
    int rc = db ? sqlite3_errcode(db) : code;
    if (rc == SQLITE_OK || rc == SQLITE_ROW || rc == SQLITE_DONE)
        rc = code;
    std::string what = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    if (!context.empty())
        what += " (" + context + ")";
    throw CDaoException(rc & 0xff, what);
}

std::string PathToUtf8(const std::string& pathCp932)
{
    std::string out;
    if (pathCp932.empty() || !Cp932ToUtf8(pathCp932, out))
        Throw(SQLITE_CANTOPEN, "path cannot be used");
    return PlainPath(out);
}

namespace {

std::string ConvertText(const std::string& in, bool (*convert)(const std::string&, std::string&), const char* failure)
{
    if (IsAscii(in.data(), in.size()))
        return in;
    std::string out;
    if (!convert(in, out))
        Throw(SQLITE_MISMATCH, failure);
    return out;
}

} // namespace

std::string TextToUtf8(const std::string& cp932)
{
    return ConvertText(cp932, Cp932ToUtf8, "text has no UTF-8 form");
}

std::string TextToCp932(const std::string& utf8)
{
    return ConvertText(utf8, Utf8ToCp932, "text has no code page 932 form");
}

void Exec(sqlite3* db, const char* sql)
{
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        ThrowFromDb(db, rc, sql);
}

std::shared_ptr<DaoFile> AcquireFile(const std::string& pathCp932, bool readOnly, const std::string& connect)
{
    const std::string pathUtf8 = PathToUtf8(pathCp932);
    const std::int32_t passwordHash = PasswordHash(ConnectPassword(connect));

    struct stat st;
    if (::stat(pathUtf8.c_str(), &st) != 0)
        Throw(SQLITE_CANTOPEN, std::string("cannot open file: ") + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        Throw(SQLITE_CANTOPEN, "not a regular file");

    for (const auto& file : Registry()) {
        if (file->dev != st.st_dev || file->ino != st.st_ino)
            continue;
        if (file->passwordHash != passwordHash)
            Throw(SQLITE_AUTH, "wrong password");
        if (!readOnly && !file->writable)
            Throw(SQLITE_READONLY, "file cannot be written");
        ++file->connections;
        return file;
    }

    // A journal beside the file means a transaction was cut short (a crash,
    // a full disk): SQLite rolls it back when it takes the lock, and only then
    // does the file show what it is. Every check is made after that.
    if (!HasJournal(pathUtf8))
        CheckHeader(pathUtf8, st, passwordHash);

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(pathUtf8.c_str(), &db, kOpenFlags, nullptr);
    if (rc != SQLITE_OK) {
        const std::string what = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
        sqlite3_close_v2(db);
        Throw(rc, what);
    }
    try {
        const bool writable = sqlite3_db_readonly(db, "main") == 0;
        if (!readOnly && !writable)
            Throw(SQLITE_READONLY, "file cannot be written");
        TakeLock(db, writable);
        VerifyOpenFile(db, pathUtf8, passwordHash);
        return Register(db, pathUtf8, writable, passwordHash);
    } catch (...) {
        sqlite3_close_v2(db);
        throw;
    }
}

std::shared_ptr<DaoFile> CreateFile(const std::string& pathCp932, const std::string& locale)
{
    const std::string pathUtf8 = PathToUtf8(pathCp932);
    const std::int32_t passwordHash = PasswordHash(ConnectPassword(locale));

    // O_EXCL: never take over a file that someone else made meanwhile.
    const int fd = ::open(pathUtf8.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        Throw(SQLITE_CANTOPEN, std::string("cannot create file: ") + std::strerror(errno));
    ::close(fd);

    sqlite3* db = nullptr;
    try {
        int rc = sqlite3_open_v2(pathUtf8.c_str(), &db, kOpenFlags, nullptr);
        if (rc != SQLITE_OK)
            ThrowFromDb(db, rc, "open");
        sqlite3_busy_timeout(db, 0);
        Exec(db, "PRAGMA locking_mode=EXCLUSIVE");
        Exec(db, "PRAGMA journal_mode=DELETE");
        Exec(db, "BEGIN EXCLUSIVE");
        const std::string header = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                                   ";PRAGMA user_version=" + std::to_string(passwordHash);
        Exec(db, header.c_str());
        // Jet keeps the collating locale in the file; so do we, in an engine
        // table of the same kind as Jet's MSys tables.
        Exec(db, "CREATE TABLE MSysLocale (Locale varchar(255) null)");
        {
            const Statement stmt = Prepare(db, "INSERT INTO MSysLocale (Locale) VALUES (?1)");
            const std::string localeUtf8 = TextToUtf8(LocaleWithoutPassword(locale));
            sqlite3_bind_text(stmt.get(), 1, localeUtf8.data(), static_cast<int>(localeUtf8.size()), SQLITE_TRANSIENT);
            rc = sqlite3_step(stmt.get());
            if (rc != SQLITE_DONE)
                ThrowFromDb(db, rc, "locale");
        }
        Exec(db, "COMMIT");
        // SQLite syncs the file; its name in the folder is ours to sync. (Not
        // the file itself through a descriptor of ours: closing that would
        // drop the lock.)
        if (!SyncFolderOf(pathUtf8))
            Throw(SQLITE_IOERR, "cannot flush the folder of the new file");
        QueryInt(db, "SELECT count(*) FROM sqlite_master");
        return Register(db, pathUtf8, true, passwordHash);
    } catch (...) {
        sqlite3_close_v2(db);
        UnlinkWithJournal(pathUtf8);
        throw;
    }
}

void ReleaseFile(const std::shared_ptr<DaoFile>& file)
{
    if (!file || --file->connections > 0)
        return;
    auto& files = Registry();
    files.erase(std::remove(files.begin(), files.end(), file), files.end());
    // A transaction still pending on the file is rolled back by the close,
    // and with it the rows waiting in the batch, whose statements must be
    // finalized for the handle to close at all.
    file->batch.reset();
    file->attached.clear();
    sqlite3_close_v2(file->db);
    file->db = nullptr;
    file->inTransaction = false;
}

const std::vector<std::shared_ptr<DaoFile>>& OpenFiles()
{
    return Registry();
}

int WorkspaceDepth()
{
    return g_workspaceDepth;
}

void SetWorkspaceDepth(int depth)
{
    g_workspaceDepth = depth;
}

std::string SavepointName(int level)
{
    return "dao_level_" + std::to_string(level);
}

void UnlinkWithJournal(const std::string& pathUtf8)
{
    ::unlink(pathUtf8.c_str());
    ::unlink((pathUtf8 + "-journal").c_str());
}

bool RemoveUnheldFile(const std::string& pathCp932)
{
    std::string pathUtf8;
    try {
        pathUtf8 = PathToUtf8(pathCp932);
    } catch (const CDaoException&) {
        return false;
    }
    struct stat st;
    if (::stat(pathUtf8.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    for (const auto& file : Registry())
        if (file->dev == st.st_dev && file->ino == st.st_ino)
            return false;
    UnlinkWithJournal(pathUtf8);
    return ::lstat(pathUtf8.c_str(), &st) != 0;
}

bool DropSpentJournal(const std::string& pathUtf8)
{
    const std::string journal = pathUtf8 + "-journal";
    const int fd = ::open(journal.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    unsigned char header[28] = {};
    const ssize_t got = ::pread(fd, header, sizeof header, 0);
    ::close(fd);
    if (got < 0)
        return false;
    for (ssize_t i = 0; i < got; ++i)
        if (header[i] != 0)
            return false;
    return ::unlink(journal.c_str()) == 0;
}

bool SyncFolderOf(const std::string& pathUtf8)
{
    return posix::SyncFolderOf(pathUtf8) == 0;
}

bool SyncFileAndFolder(const std::string& pathUtf8)
{
    return posix::SyncFileAndFolder(pathUtf8) == 0;
}

} // namespace dao
