// A SQLite VFS over "unix" that counts every write, sync and lock of every
// file SQLite opens and fails the Nth call of one kind with a chosen code; a
// sticky fault fails every later call of that kind too (a full disk stays
// full). It can also kill the process before the Nth change to a file. Registered as the default, so the engine uses it unawares; our files
// use neither WAL nor memory mapping, so version 1 methods suffice.
#pragma once

#include <signal.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace faults {

enum class Op { Write, Sync, Lock };

class FaultVfs {
public:
    static FaultVfs& Install()
    {
        static FaultVfs vfs;
        return vfs;
    }

    // Restarts the counts; nth 0 injects nothing.
    void Arm(Op op = Op::Write, int nth = 0, int code = SQLITE_OK, bool sticky = false)
    {
        m_counts[0] = m_counts[1] = m_counts[2] = m_injected = 0;
        m_op = op;
        m_nth = nth;
        m_code = code;
        m_sticky = sticky;
    }
    int Count(Op op) const { return m_counts[static_cast<int>(op)]; }

    // Kills the process (SIGKILL) just before its Nth call that changes a
    // file (a write, sync, truncation or deletion); 0 never. Either way
    // Changes() counts those calls, and CommitChange() is the number of the
    // first one that ended a transaction (deleted a rollback journal or zeroed
    // its header): a kill after it finds that transaction committed.
    void KillBeforeChange(int nth)
    {
        m_killAt = nth;
        m_changes = m_commitChange = 0;
    }
    int Changes() const { return m_changes; }
    int CommitChange() const { return m_commitChange; }
    int Injected() const { return m_injected; }

private:
    struct File {
        sqlite3_file base;
        sqlite3_file* real;
    };
    static constexpr std::size_t kRealOffset = (sizeof(File) + 15) & ~std::size_t(15);
    static sqlite3_file* R(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }
    static sqlite3_vfs* Real() { return Install().m_real; }

    FaultVfs() : m_real(sqlite3_vfs_find("unix"))
    {
        m_vfs = *m_real;
        m_vfs.iVersion = 1;
        m_vfs.szOsFile = static_cast<int>(kRealOffset) + m_real->szOsFile;
        m_vfs.zName = "pellvane-faults";
        m_vfs.xOpen = [](sqlite3_vfs*, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
            File* file = reinterpret_cast<File*>(f);
            file->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(f) + kRealOffset);
            file->real->pMethods = nullptr;
            const int rc = Real()->xOpen(Real(), name, file->real, flags, outFlags);
            // SQLite closes a file whose methods are set even when the open failed.
            file->base.pMethods = file->real->pMethods ? &Install().m_io : nullptr;
            return rc;
        };
        m_vfs.xDelete = [](sqlite3_vfs*, const char* n, int s) {
            const std::size_t len = std::strlen(n);
            Install().Change(len > 8 && std::strcmp(n + len - 8, "-journal") == 0);
            return Real()->xDelete(Real(), n, s);
        };
        m_vfs.xAccess = [](sqlite3_vfs*, const char* n, int f, int* r) { return Real()->xAccess(Real(), n, f, r); };
        m_vfs.xFullPathname = [](sqlite3_vfs*, const char* n, int c, char* o) { return Real()->xFullPathname(Real(), n, c, o); };

        m_io = sqlite3_io_methods();
        m_io.iVersion = 1;
        m_io.xClose = [](sqlite3_file* f) {
            const int rc = R(f)->pMethods ? R(f)->pMethods->xClose(R(f)) : SQLITE_OK;
            f->pMethods = nullptr;
            return rc;
        };
        m_io.xRead = [](sqlite3_file* f, void* b, int n, sqlite3_int64 o) { return R(f)->pMethods->xRead(R(f), b, n, o); };
        m_io.xWrite = [](sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
            // A journal's header zeroed: how a commit ends in exclusive locking mode.
            const bool zeroesHeader = o == 0 && n == 28 && std::all_of(static_cast<const char*>(b),
                                                                       static_cast<const char*>(b) + n,
                                                                       [](char c) { return c == 0; });
            Install().Change(zeroesHeader);
            const int rc = Install().Fail(Op::Write);
            return rc ? rc : R(f)->pMethods->xWrite(R(f), b, n, o);
        };
        m_io.xTruncate = [](sqlite3_file* f, sqlite3_int64 s) {
            Install().Change();
            return R(f)->pMethods->xTruncate(R(f), s);
        };
        m_io.xSync = [](sqlite3_file* f, int flags) {
            Install().Change();
            const int rc = Install().Fail(Op::Sync);
            return rc ? rc : R(f)->pMethods->xSync(R(f), flags);
        };
        m_io.xFileSize = [](sqlite3_file* f, sqlite3_int64* s) { return R(f)->pMethods->xFileSize(R(f), s); };
        m_io.xLock = [](sqlite3_file* f, int level) {
            const int rc = Install().Fail(Op::Lock);
            return rc ? rc : R(f)->pMethods->xLock(R(f), level);
        };
        m_io.xUnlock = [](sqlite3_file* f, int level) { return R(f)->pMethods->xUnlock(R(f), level); };
        m_io.xCheckReservedLock = [](sqlite3_file* f, int* r) { return R(f)->pMethods->xCheckReservedLock(R(f), r); };
        m_io.xFileControl = [](sqlite3_file* f, int op, void* a) { return R(f)->pMethods->xFileControl(R(f), op, a); };
        m_io.xSectorSize = [](sqlite3_file* f) { return R(f)->pMethods->xSectorSize(R(f)); };
        m_io.xDeviceCharacteristics = [](sqlite3_file* f) { return R(f)->pMethods->xDeviceCharacteristics(R(f)); };
        if (sqlite3_vfs_register(&m_vfs, 1) != SQLITE_OK)
            throw std::runtime_error("cannot register the fault VFS");
    }

    // One call that changes a file; commits when it ends a transaction (a
    // journal deleted, or its header zeroed).
    void Change(bool commits = false)
    {
        if (++m_changes == m_killAt)
            kill(getpid(), SIGKILL);
        if (commits && m_commitChange == 0)
            m_commitChange = m_changes;
    }

    // Counts one call of op; the code it fails with, or SQLITE_OK.
    int Fail(Op op)
    {
        const int n = ++m_counts[static_cast<int>(op)];
        if (op != m_op || n < m_nth || m_nth == 0 || (n > m_nth && !m_sticky))
            return SQLITE_OK;
        ++m_injected;
        return m_code;
    }

    sqlite3_vfs* m_real;
    sqlite3_vfs m_vfs;
    sqlite3_io_methods m_io;
    int m_counts[3] = {0, 0, 0}, m_injected = 0, m_nth = 0, m_code = SQLITE_OK;
    int m_killAt = 0, m_changes = 0, m_commitChange = 0;
    Op m_op = Op::Write;
    bool m_sticky = false;
};

} // namespace faults
