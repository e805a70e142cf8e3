// A SQLite VFS for fault injection: a thin layer over the default "unix" VFS
// that counts every write, sync and lock of every file SQLite opens (the
// database, its journal, the target of a compaction) and can make the Nth
// one of a kind fail with a chosen result code. Once installed it is the
// default VFS of the process, so the engine uses it without knowing.
//
// Disarmed, it only counts. Armed with (kind, N, code), the Nth call of that
// kind since the arming fails with code instead of reaching the file; with
// sticky set, every later call of that kind fails as well (a full disk stays
// full).
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace faults {

enum class Op { Write, Sync, Lock };

class FaultVfs {
public:
    // Registers the VFS as the default on first use.
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
        const char* name;
    };

    FaultVfs()
    {
        m_real = sqlite3_vfs_find("unix");
        if (!m_real)
            throw std::runtime_error("no unix VFS");
        m_vfs = sqlite3_vfs();
        m_vfs.iVersion = 3;
        m_vfs.szOsFile = static_cast<int>(RealOffset()) + m_real->szOsFile;
        m_vfs.mxPathname = m_real->mxPathname;
        m_vfs.zName = "pellvane-faults";
        m_vfs.pAppData = this;
        m_vfs.xOpen = &VOpen;
        m_vfs.xDelete = [](sqlite3_vfs* v, const char* n, int s) { return Real(v)->xDelete(Real(v), n, s); };
        m_vfs.xAccess = [](sqlite3_vfs* v, const char* n, int f, int* r) { return Real(v)->xAccess(Real(v), n, f, r); };
        m_vfs.xFullPathname = [](sqlite3_vfs* v, const char* n, int c, char* o) {
            return Real(v)->xFullPathname(Real(v), n, c, o);
        };
        m_vfs.xDlOpen = [](sqlite3_vfs* v, const char* n) { return Real(v)->xDlOpen(Real(v), n); };
        m_vfs.xDlError = [](sqlite3_vfs* v, int c, char* o) { Real(v)->xDlError(Real(v), c, o); };
        m_vfs.xDlSym = [](sqlite3_vfs* v, void* h, const char* s) { return Real(v)->xDlSym(Real(v), h, s); };
        m_vfs.xDlClose = [](sqlite3_vfs* v, void* h) { Real(v)->xDlClose(Real(v), h); };
        m_vfs.xRandomness = [](sqlite3_vfs* v, int c, char* o) { return Real(v)->xRandomness(Real(v), c, o); };
        m_vfs.xSleep = [](sqlite3_vfs* v, int us) { return Real(v)->xSleep(Real(v), us); };
        m_vfs.xCurrentTime = [](sqlite3_vfs* v, double* t) { return Real(v)->xCurrentTime(Real(v), t); };
        m_vfs.xGetLastError = [](sqlite3_vfs* v, int c, char* o) { return Real(v)->xGetLastError(Real(v), c, o); };
        m_vfs.xCurrentTimeInt64 = [](sqlite3_vfs* v, sqlite3_int64* t) {
            return Real(v)->xCurrentTimeInt64(Real(v), t);
        };
        m_vfs.xSetSystemCall = [](sqlite3_vfs* v, const char* n, sqlite3_syscall_ptr p) {
            return Real(v)->xSetSystemCall(Real(v), n, p);
        };
        m_vfs.xGetSystemCall = [](sqlite3_vfs* v, const char* n) { return Real(v)->xGetSystemCall(Real(v), n); };
        m_vfs.xNextSystemCall = [](sqlite3_vfs* v, const char* n) { return Real(v)->xNextSystemCall(Real(v), n); };

        m_io = sqlite3_io_methods();
        m_io.iVersion = 3;
        m_io.xClose = [](sqlite3_file* f) {
            sqlite3_file* r = RealFile(f);
            const int rc = r->pMethods ? r->pMethods->xClose(r) : SQLITE_OK;
            f->pMethods = nullptr;
            return rc;
        };
        m_io.xRead = [](sqlite3_file* f, void* b, int n, sqlite3_int64 o) {
            return RealFile(f)->pMethods->xRead(RealFile(f), b, n, o);
        };
        m_io.xWrite = [](sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
            int rc;
            if (Install().Fail(Op::Write, rc, f))
                return rc;
            return RealFile(f)->pMethods->xWrite(RealFile(f), b, n, o);
        };
        m_io.xTruncate = [](sqlite3_file* f, sqlite3_int64 s) {
            return RealFile(f)->pMethods->xTruncate(RealFile(f), s);
        };
        m_io.xSync = [](sqlite3_file* f, int flags) {
            int rc;
            if (Install().Fail(Op::Sync, rc, f))
                return rc;
            return RealFile(f)->pMethods->xSync(RealFile(f), flags);
        };
        m_io.xFileSize = [](sqlite3_file* f, sqlite3_int64* s) {
            return RealFile(f)->pMethods->xFileSize(RealFile(f), s);
        };
        m_io.xLock = [](sqlite3_file* f, int level) {
            int rc;
            if (Install().Fail(Op::Lock, rc, f))
                return rc;
            return RealFile(f)->pMethods->xLock(RealFile(f), level);
        };
        m_io.xUnlock = [](sqlite3_file* f, int level) {
            return RealFile(f)->pMethods->xUnlock(RealFile(f), level);
        };
        m_io.xCheckReservedLock = [](sqlite3_file* f, int* r) {
            return RealFile(f)->pMethods->xCheckReservedLock(RealFile(f), r);
        };
        m_io.xFileControl = [](sqlite3_file* f, int op, void* a) {
            return RealFile(f)->pMethods->xFileControl(RealFile(f), op, a);
        };
        m_io.xSectorSize = [](sqlite3_file* f) { return RealFile(f)->pMethods->xSectorSize(RealFile(f)); };
        m_io.xDeviceCharacteristics = [](sqlite3_file* f) {
            return RealFile(f)->pMethods->xDeviceCharacteristics(RealFile(f));
        };
        m_io.xShmMap = [](sqlite3_file* f, int pg, int sz, int ext, void volatile** p) {
            sqlite3_file* r = RealFile(f);
            return r->pMethods->iVersion >= 2 ? r->pMethods->xShmMap(r, pg, sz, ext, p) : SQLITE_IOERR_SHMMAP;
        };
        m_io.xShmLock = [](sqlite3_file* f, int o, int n, int fl) {
            sqlite3_file* r = RealFile(f);
            return r->pMethods->iVersion >= 2 ? r->pMethods->xShmLock(r, o, n, fl) : SQLITE_IOERR_SHMLOCK;
        };
        m_io.xShmBarrier = [](sqlite3_file* f) {
            sqlite3_file* r = RealFile(f);
            if (r->pMethods->iVersion >= 2)
                r->pMethods->xShmBarrier(r);
        };
        m_io.xShmUnmap = [](sqlite3_file* f, int d) {
            sqlite3_file* r = RealFile(f);
            return r->pMethods->iVersion >= 2 ? r->pMethods->xShmUnmap(r, d) : SQLITE_OK;
        };
        m_io.xFetch = [](sqlite3_file* f, sqlite3_int64 o, int n, void** p) {
            sqlite3_file* r = RealFile(f);
            if (r->pMethods->iVersion >= 3)
                return r->pMethods->xFetch(r, o, n, p);
            *p = nullptr;
            return SQLITE_OK;
        };
        m_io.xUnfetch = [](sqlite3_file* f, sqlite3_int64 o, void* p) {
            sqlite3_file* r = RealFile(f);
            return r->pMethods->iVersion >= 3 ? r->pMethods->xUnfetch(r, o, p) : SQLITE_OK;
        };

        if (sqlite3_vfs_register(&m_vfs, 1) != SQLITE_OK)
            throw std::runtime_error("cannot register the fault VFS");
    }

    static constexpr std::size_t RealOffset()
    {
        return (sizeof(File) + 15) & ~std::size_t(15);
    }

    static sqlite3_vfs* Real(sqlite3_vfs* v) { return static_cast<FaultVfs*>(v->pAppData)->m_real; }
    static sqlite3_file* RealFile(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

    static int VOpen(sqlite3_vfs* v, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags)
    {
        FaultVfs* self = static_cast<FaultVfs*>(v->pAppData);
        File* file = reinterpret_cast<File*>(f);
        file->real = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(f) + RealOffset());
        file->real->pMethods = nullptr;
        file->name = name;
        const int rc = self->m_real->xOpen(self->m_real, name, file->real, flags, outFlags);
        // SQLite closes a file whose methods are set even when the open
        // failed; pass that on to the real file.
        file->base.pMethods = file->real->pMethods ? &self->m_io : nullptr;
        return rc;
    }

    // Counts one call of op; true (with the code to return) when it fails.
    bool Fail(Op op, int& code, sqlite3_file* f)
    {
        const int n = ++m_counts[static_cast<int>(op)];
        if (m_trace)
            std::fprintf(stderr, "fault-vfs: %s %d %s\n", op == Op::Write ? "write" : op == Op::Sync ? "sync" : "lock",
                         n, reinterpret_cast<File*>(f)->name ? reinterpret_cast<File*>(f)->name : "(temp)");
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
    // PELLVANE_FAULT_TRACE=1 lists every counted call on stderr.
    bool m_trace = std::getenv("PELLVANE_FAULT_TRACE") != nullptr;
};

} // namespace faults
