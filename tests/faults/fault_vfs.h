// A SQLite VFS for fault injection over the default "unix" VFS: it counts
// every write, sync and lock of every file SQLite opens (database, journal,
// the target of a compaction) and can make the Nth one of a kind fail with
// a chosen result code; sticky, every later call of that kind fails too (a
// full disk stays full). Installed as the default VFS, so the engine uses
// it without knowing. Our files never use WAL or memory mapping, so the
// version 1 methods are all it needs.
#pragma once

#include <sqlite3.h>

#include <cstddef>
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

    void Arm(Op op, int nth, int code, bool sticky)
    {
        ResetCounts();
        m_armed = true;
        m_op = op;
        m_nth = nth;
        m_code = code;
        m_sticky = sticky;
    }
    void Disarm() { m_armed = false; }
    void ResetCounts()
    {
        m_counts[0] = m_counts[1] = m_counts[2] = 0;
        m_injected = 0;
    }
    int Count(Op op) const { return m_counts[static_cast<int>(op)]; }
    int Injected() const { return m_injected; }

private:
    struct File {
        sqlite3_file base;
        sqlite3_file* real;
    };
    static constexpr std::size_t kRealOffset = (sizeof(File) + 15) & ~std::size_t(15);

    static sqlite3_vfs* Real(sqlite3_vfs* v) { return static_cast<FaultVfs*>(v->pAppData)->m_real; }
    static sqlite3_file* R(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

    FaultVfs()
    {
        m_real = sqlite3_vfs_find("unix");
        if (!m_real)
            throw std::runtime_error("no unix VFS");
        m_vfs = *m_real; // the rest ignore which VFS they are called for
        m_vfs.iVersion = 1;
        m_vfs.szOsFile = static_cast<int>(kRealOffset) + m_real->szOsFile;
        m_vfs.zName = "pellvane-faults";
        m_vfs.pNext = nullptr;
        m_vfs.pAppData = this;
        m_vfs.xOpen = &VOpen;
        m_vfs.xDelete = [](sqlite3_vfs* v, const char* n, int s) { return Real(v)->xDelete(Real(v), n, s); };
        m_vfs.xAccess = [](sqlite3_vfs* v, const char* n, int f, int* r) { return Real(v)->xAccess(Real(v), n, f, r); };
        m_vfs.xFullPathname = [](sqlite3_vfs* v, const char* n, int c, char* o) {
            return Real(v)->xFullPathname(Real(v), n, c, o);
        };

        m_io = sqlite3_io_methods();
        m_io.iVersion = 1;
        m_io.xClose = [](sqlite3_file* f) {
            const int rc = R(f)->pMethods ? R(f)->pMethods->xClose(R(f)) : SQLITE_OK;
            f->pMethods = nullptr;
            return rc;
        };
        m_io.xRead = [](sqlite3_file* f, void* b, int n, sqlite3_int64 o) { return R(f)->pMethods->xRead(R(f), b, n, o); };
        m_io.xWrite = [](sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
            int rc;
            return Install().Fail(Op::Write, rc) ? rc : R(f)->pMethods->xWrite(R(f), b, n, o);
        };
        m_io.xTruncate = [](sqlite3_file* f, sqlite3_int64 s) { return R(f)->pMethods->xTruncate(R(f), s); };
        m_io.xSync = [](sqlite3_file* f, int flags) {
            int rc;
            return Install().Fail(Op::Sync, rc) ? rc : R(f)->pMethods->xSync(R(f), flags);
        };
        m_io.xFileSize = [](sqlite3_file* f, sqlite3_int64* s) { return R(f)->pMethods->xFileSize(R(f), s); };
        m_io.xLock = [](sqlite3_file* f, int level) {
            int rc;
            return Install().Fail(Op::Lock, rc) ? rc : R(f)->pMethods->xLock(R(f), level);
        };
        m_io.xUnlock = [](sqlite3_file* f, int level) { return R(f)->pMethods->xUnlock(R(f), level); };
        m_io.xCheckReservedLock = [](sqlite3_file* f, int* r) { return R(f)->pMethods->xCheckReservedLock(R(f), r); };
        m_io.xFileControl = [](sqlite3_file* f, int op, void* a) { return R(f)->pMethods->xFileControl(R(f), op, a); };
        m_io.xSectorSize = [](sqlite3_file* f) { return R(f)->pMethods->xSectorSize(R(f)); };
        m_io.xDeviceCharacteristics = [](sqlite3_file* f) { return R(f)->pMethods->xDeviceCharacteristics(R(f)); };

        if (sqlite3_vfs_register(&m_vfs, 1) != SQLITE_OK)
            throw std::runtime_error("cannot register the fault VFS");
    }

    static int VOpen(sqlite3_vfs* v, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags)
    {
        FaultVfs* self = static_cast<FaultVfs*>(v->pAppData);
        File* file = reinterpret_cast<File*>(f);
        file->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(f) + kRealOffset);
        file->real->pMethods = nullptr;
        const int rc = self->m_real->xOpen(self->m_real, name, file->real, flags, outFlags);
        // SQLite closes a file whose methods are set even when the open failed.
        file->base.pMethods = file->real->pMethods ? &self->m_io : nullptr;
        return rc;
    }

    // Counts one call of op; true (with the code to return) when it fails.
    bool Fail(Op op, int& code)
    {
        const int n = ++m_counts[static_cast<int>(op)];
        if (!m_armed || op != m_op || n < m_nth || (n > m_nth && !m_sticky))
            return false;
        ++m_injected;
        code = m_code;
        return true;
    }

    sqlite3_vfs* m_real = nullptr;
    sqlite3_vfs m_vfs;
    sqlite3_io_methods m_io;
    int m_counts[3] = {0, 0, 0};
    int m_injected = 0;
    bool m_armed = false;
    Op m_op = Op::Write;
    int m_nth = 0;
    int m_code = SQLITE_OK;
    bool m_sticky = false;
};

} // namespace faults
