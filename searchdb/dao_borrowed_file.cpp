// A file opened by one handle, read by another through the first one's own
// descriptor. A second descriptor of a file that the process holds locked
// would drop the lock when closed (POSIX record locks belong to the
// process), and SQLite refuses a second handle's read lock on a file that
// the first holds exclusively; borrowing avoids both. The lender's lock
// (shared or exclusive, held for its whole life) keeps the file as it is
// while it is borrowed, so the borrower takes no locks, finds no journal and
// writes nothing.
#include "searchdb/dao_borrowed_file.h"

#include <sqlite3.h>

#include <cstring>
#include <map>
#include <string>

#include "searchdb/dao_file.h"

namespace dao {

namespace {

constexpr const char* kVfsName = "pellvane-borrowed";
constexpr const char* kNamePrefix = "pellvane-borrowed-";

std::map<unsigned long, std::weak_ptr<DaoFile>>& Lendable()
{
    static std::map<unsigned long, std::weak_ptr<DaoFile>> files;
    return files;
}

struct BorrowedFile {
    sqlite3_file base;
    std::shared_ptr<DaoFile>* lender; // owned; the object outlives the lender's handle
};

// The lender's own file, or null once its handle has closed.
sqlite3_file* LenderFile(sqlite3_file* f)
{
    const std::shared_ptr<DaoFile>& lender = *reinterpret_cast<BorrowedFile*>(f)->lender;
    if (!lender->db)
        return nullptr;
    sqlite3_file* real = nullptr;
    if (sqlite3_file_control(lender->db, "main", SQLITE_FCNTL_FILE_POINTER, &real) != SQLITE_OK || !real ||
        !real->pMethods)
        return nullptr;
    return real;
}

int Close(sqlite3_file* f)
{
    auto* file = reinterpret_cast<BorrowedFile*>(f);
    delete file->lender;
    file->lender = nullptr;
    return SQLITE_OK;
}

int Read(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset)
{
    sqlite3_file* real = LenderFile(f);
    return real ? real->pMethods->xRead(real, buffer, amount, offset) : SQLITE_IOERR_READ;
}

int Write(sqlite3_file*, const void*, int, sqlite3_int64)
{
    return SQLITE_READONLY;
}

int Truncate(sqlite3_file*, sqlite3_int64)
{
    return SQLITE_READONLY;
}

int Sync(sqlite3_file*, int)
{
    return SQLITE_OK;
}

int FileSize(sqlite3_file* f, sqlite3_int64* size)
{
    sqlite3_file* real = LenderFile(f);
    return real ? real->pMethods->xFileSize(real, size) : SQLITE_IOERR_FSTAT;
}

int Lock(sqlite3_file*, int)
{
    return SQLITE_OK;
}

int CheckReservedLock(sqlite3_file*, int* reserved)
{
    *reserved = 0;
    return SQLITE_OK;
}

int FileControl(sqlite3_file*, int, void*)
{
    return SQLITE_NOTFOUND;
}

int SectorSize(sqlite3_file* f)
{
    sqlite3_file* real = LenderFile(f);
    return real ? real->pMethods->xSectorSize(real) : 4096;
}

int DeviceCharacteristics(sqlite3_file*)
{
    return 0;
}

sqlite3_io_methods MakeMethods()
{
    sqlite3_io_methods m{};
    m.iVersion = 1;
    m.xClose = Close;
    m.xRead = Read;
    m.xWrite = Write;
    m.xTruncate = Truncate;
    m.xSync = Sync;
    m.xFileSize = FileSize;
    m.xLock = Lock;
    m.xUnlock = Lock;
    m.xCheckReservedLock = CheckReservedLock;
    m.xFileControl = FileControl;
    m.xSectorSize = SectorSize;
    m.xDeviceCharacteristics = DeviceCharacteristics;
    return m;
}

const sqlite3_io_methods kMethods = MakeMethods();

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags)
{
    f->pMethods = nullptr;
    const size_t prefix = std::strlen(kNamePrefix);
    if (!name || !(flags & SQLITE_OPEN_MAIN_DB) || std::strncmp(name, kNamePrefix, prefix) != 0)
        return SQLITE_CANTOPEN;
    const auto it = Lendable().find(std::strtoul(name + prefix, nullptr, 10));
    std::shared_ptr<DaoFile> lender = it == Lendable().end() ? nullptr : it->second.lock();
    if (!lender || !lender->db)
        return SQLITE_CANTOPEN;
    auto* file = reinterpret_cast<BorrowedFile*>(f);
    file->lender = new std::shared_ptr<DaoFile>(std::move(lender));
    f->pMethods = &kMethods;
    if (outFlags)
        *outFlags = SQLITE_OPEN_READONLY | SQLITE_OPEN_MAIN_DB;
    return SQLITE_OK;
}

int Delete(sqlite3_vfs*, const char*, int)
{
    return SQLITE_IOERR_DELETE;
}

// No journal, no WAL beside a borrowed file: the lender saw to those.
int Access(sqlite3_vfs*, const char*, int, int* result)
{
    *result = 0;
    return SQLITE_OK;
}

int FullPathname(sqlite3_vfs*, const char* name, int size, char* out)
{
    if (static_cast<int>(std::strlen(name)) >= size)
        return SQLITE_CANTOPEN;
    std::strcpy(out, name);
    return SQLITE_OK;
}

int Randomness(sqlite3_vfs*, int size, char* out)
{
    sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
    return base->xRandomness(base, size, out);
}

int Sleep(sqlite3_vfs*, int microseconds)
{
    sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
    return base->xSleep(base, microseconds);
}

int CurrentTime(sqlite3_vfs*, double* now)
{
    sqlite3_vfs* base = sqlite3_vfs_find(nullptr);
    return base->xCurrentTime(base, now);
}

sqlite3_vfs MakeVfs()
{
    sqlite3_vfs v{};
    v.iVersion = 1;
    v.szOsFile = sizeof(BorrowedFile);
    v.mxPathname = 64;
    v.zName = kVfsName;
    v.xOpen = Open;
    v.xDelete = Delete;
    v.xAccess = Access;
    v.xFullPathname = FullPathname;
    v.xRandomness = Randomness;
    v.xSleep = Sleep;
    v.xCurrentTime = CurrentTime;
    return v;
}

void RegisterOnce()
{
    static sqlite3_vfs vfs = MakeVfs();
    static const int registered = sqlite3_vfs_register(&vfs, 0);
    (void)registered;
}

} // namespace

BorrowedName::BorrowedName(const std::shared_ptr<DaoFile>& lender)
{
    static unsigned long lastId = 0;
    RegisterOnce();
    m_id = ++lastId;
    Lendable()[m_id] = lender;
    m_uri = std::string("file:") + kNamePrefix + std::to_string(m_id) + "?vfs=" + kVfsName + "&mode=ro";
}

BorrowedName::~BorrowedName()
{
    Lendable().erase(m_id);
}

} // namespace dao
