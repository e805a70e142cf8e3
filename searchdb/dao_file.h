// The engine's open files. One SQLite handle per database file per process:
// a second connection to a file that is already open shares the first one's
// handle (and so sees its pending rows), because SQLite's POSIX locks belong
// to the process and closing a second descriptor of the same file would drop
// the lock that keeps other processes out.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

// Rows appended inside a transaction wait in their file's batch (dao_row_batch.cpp)
// and go to SQLite several at a time, in one statement. Whatever reads the
// file, runs a statement on it or ends a transaction writes them first, so
// nobody sees the difference but for speed; a failure is raised there.
class DaoRowBatch {
public:
    virtual ~DaoRowBatch() = default;
    virtual bool Empty() const = 0;
    // Writes the waiting rows for someone other than their appender, who
    // never learns of a failure: raised here, it also fails the commit of
    // the workspace transaction (DaoFile::failedCode). The rows are settled
    // either way.
    virtual void Write() = 0;
    // Forgets the waiting rows: their transaction is being rolled back.
    virtual void Drop() = 0;
};

struct DaoFile {
    sqlite3* db = nullptr;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string pathUtf8;
    bool writable = false;      // the handle can write (read-only media and files cannot)
    std::int32_t passwordHash = 0;
    int connections = 0;        // CDaoDatabase objects open on it
    bool inTransaction = false; // a workspace transaction is pending on it
    std::unique_ptr<DaoRowBatch> batch; // made by the first appended row
    // A row of the workspace transaction that failed where its appender
    // could not see it; the transaction cannot commit. failedLevel is the
    // nesting level it failed in.
    int failedCode = 0;
    std::string failedWhat;
    int failedLevel = 0;
    // Source files attached to this handle for a copy straight from them
    // (dao_append.cpp), with their schema names: detached when the
    // transaction ends, closed with the handle at the latest.
    std::vector<std::pair<std::shared_ptr<DaoFile>, std::string>> attached;
    struct RowHook* rowHook = nullptr; // what runs after each row of such a copy
    bool rowFunctionMade = false;
};

namespace dao {

// PRAGMA application_id of every search database: "TSRA".
constexpr std::int32_t kApplicationId = 1414746689;

// 32-bit FNV-1a of the password's bytes, as a signed integer: the file's
// PRAGMA user_version.
std::int32_t PasswordHash(const std::string& password);
// The password of a connect string such as ";pwd=secret" ("" when none).
std::string ConnectPassword(const std::string& connect);
// The locale argument without its password part, as recorded in a new file.
std::string LocaleWithoutPassword(const std::string& locale);

[[noreturn]] void Throw(int code, const std::string& what);
// Raises the handle's last error, or code when the handle has none.
[[noreturn]] void ThrowFromDb(sqlite3* db, int code, const std::string& context);

// CP932 <-> UTF-8, raising CDaoException for text with no form.
std::string PathToUtf8(const std::string& pathCp932);
std::string TextToUtf8(const std::string& cp932);
std::string TextToCp932(const std::string& utf8);

// ASCII reads the same in both encodings (most fields are ASCII codes).
inline bool IsAscii(const char* p, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (static_cast<unsigned char>(p[i]) >= 0x80)
            return false;
    return true;
}

// Writes the rows waiting in the file's batch; raises their failure.
inline void WritePendingRows(DaoFile& file)
{
    if (file.batch && !file.batch->Empty())
        file.batch->Write();
}

// Detaches the source files a copy attached, once no transaction is
// pending on the file; those that cannot go yet stay for the next time.
void DetachSources(DaoFile& file);

// Runs statements that return no rows we need; raises on failure.
void Exec(sqlite3* db, const char* sql);

// Opens (or shares) the file at path. The password of connect must match
// the file's. A read-write request on a file that cannot be written fails.
std::shared_ptr<DaoFile> AcquireFile(const std::string& pathCp932, bool readOnly,
                                     const std::string& connect);
// Makes a new search database (the file must not exist) and opens it.
std::shared_ptr<DaoFile> CreateFile(const std::string& pathCp932, const std::string& locale);
// One connection less; the handle closes with the last one.
void ReleaseFile(const std::shared_ptr<DaoFile>& file);

// Every file open in the process (the default workspace's reach).
const std::vector<std::shared_ptr<DaoFile>>& OpenFiles();

// How deep the default workspace's transactions are nested (0: none
// pending). Files opened meanwhile join every level.
int WorkspaceDepth();
void SetWorkspaceDepth(int depth);
// The savepoint that stands for nesting level (2 and deeper).
std::string SavepointName(int level);

// Unlinks a file and its rollback journal; errors are ignored.
void UnlinkWithJournal(const std::string& pathUtf8);
// Removes a database file, with its journal, that no connection of this
// process holds. False when the file is open here, is not a regular file
// or cannot be removed. Whether another process holds it is the caller's
// question (RemoveDatabaseFile in search_db.h asks it).
bool RemoveUnheldFile(const std::string& pathCp932);
// Removes the rollback journal of a file that no connection holds when the
// journal is empty or its header is zeroed (a committed, spent journal).
// False when a live journal is there.
bool DropSpentJournal(const std::string& pathUtf8);
// fsync of a file's folder; of a file and of its folder. Never on a file
// that a connection holds (closing our descriptor would drop its lock).
bool SyncFolderOf(const std::string& pathUtf8);
bool SyncFileAndFolder(const std::string& pathUtf8);

} // namespace dao
