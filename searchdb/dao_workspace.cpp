#include <sqlite3.h>
#include <sys/stat.h>

#include "searchdb/dao_impl.h"

using dao::Throw;

CDaoWorkspace& CDaoWorkspace::Default()
{
    static CDaoWorkspace workspace;
    return workspace;
}

namespace {

void ForgetFailure(DaoFile& file)
{
    file.failedCode = SQLITE_OK;
    file.failedWhat.clear();
    file.failedLevel = 0;
}

// Ends the whole transaction on every file: commits when commit is set and
// nothing has failed yet, else rolls back. Returns the first failure.
void EndOuterTransaction(bool commit, int& failedCode, std::string& failedWhat)
{
    for (const auto& file : dao::OpenFiles()) {
        if (!file->inTransaction)
            continue;
        file->inTransaction = false;
        // Rows still waiting here are rolled back with the rest.
        if (file->batch)
            file->batch->Drop();
        ForgetFailure(*file);
        // The engine rolls a transaction back by itself after some errors
        // (disk full, I/O): that must not pass for a commit.
        const bool lost = sqlite3_get_autocommit(file->db) != 0;
        if (commit && failedCode == SQLITE_OK) {
            if (lost) {
                failedCode = SQLITE_ABORT;
                failedWhat = "the transaction was rolled back by the engine";
                continue;
            }
            if (sqlite3_exec(file->db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK)
                continue;
            failedCode = sqlite3_errcode(file->db);
            failedWhat = sqlite3_errmsg(file->db);
        }
        if (!sqlite3_get_autocommit(file->db))
            sqlite3_exec(file->db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    for (const auto& file : dao::OpenFiles())
        dao::DetachSources(*file);
}

} // namespace

void CDaoWorkspace::BeginTrans()
{
    const int depth = dao::WorkspaceDepth();
    if (depth == 0) {
        try {
            for (const auto& file : dao::OpenFiles()) {
                dao::Exec(file->db, "BEGIN");
                file->inTransaction = true;
            }
        } catch (...) {
            int code = SQLITE_OK;
            std::string what;
            EndOuterTransaction(false, code, what);
            throw;
        }
    } else {
        // A nested transaction is a savepoint on every file; the rows
        // waiting so far belong to the enclosing level.
        const std::string sql = "SAVEPOINT " + dao::SavepointName(depth + 1);
        for (const auto& file : dao::OpenFiles()) {
            if (file->inTransaction) {
                dao::WritePendingRows(*file);
                dao::Exec(file->db, sql.c_str());
            }
        }
    }
    dao::SetWorkspaceDepth(depth + 1);
}

void CDaoWorkspace::CommitTrans()
{
    const int depth = dao::WorkspaceDepth();
    if (depth == 0)
        Throw(SQLITE_ERROR, "no transaction is pending");
    dao::SetWorkspaceDepth(depth - 1);
    int failedCode = SQLITE_OK;
    std::string failedWhat;
    // A row that fails to be written fails the commit, which then rolls the
    // whole transaction back as any other failed commit does.
    for (const auto& file : dao::OpenFiles()) {
        if (!file->inTransaction || failedCode != SQLITE_OK)
            continue;
        try {
            dao::WritePendingRows(*file);
        } catch (const CDaoException& e) {
            failedCode = e.m_nEngineCode;
            failedWhat = e.what();
        }
        if (failedCode == SQLITE_OK && file->failedCode != SQLITE_OK) {
            failedCode = file->failedCode;
            failedWhat = file->failedWhat;
        }
    }
    if (depth == 1) {
        EndOuterTransaction(true, failedCode, failedWhat);
    } else {
        const std::string sql = "RELEASE " + dao::SavepointName(depth);
        for (const auto& file : dao::OpenFiles()) {
            if (file->inTransaction && failedCode == SQLITE_OK &&
                sqlite3_exec(file->db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) {
                failedCode = sqlite3_errcode(file->db);
                failedWhat = sqlite3_errmsg(file->db);
            }
        }
    }
    if (failedCode != SQLITE_OK)
        Throw(failedCode, failedWhat);
}

void CDaoWorkspace::Rollback()
{
    const int depth = dao::WorkspaceDepth();
    if (depth == 0)
        return;
    dao::SetWorkspaceDepth(depth - 1);
    // Rows still waiting were appended since the last level began or ended:
    // they belong to the level rolled back now.
    for (const auto& file : dao::OpenFiles()) {
        if (!file->inTransaction)
            continue;
        if (file->batch)
            file->batch->Drop();
        if (file->failedLevel >= depth)
            ForgetFailure(*file);
    }
    if (depth == 1) {
        int code = SQLITE_OK;
        std::string what;
        EndOuterTransaction(false, code, what);
        return;
    }
    const std::string name = dao::SavepointName(depth);
    const std::string sql = "ROLLBACK TO " + name + "; RELEASE " + name;
    for (const auto& file : dao::OpenFiles())
        if (file->inTransaction && !sqlite3_get_autocommit(file->db))
            sqlite3_exec(file->db, sql.c_str(), nullptr, nullptr, nullptr);
}

bool CDaoWorkspace::InTransaction() const
{
    return dao::WorkspaceDepth() > 0;
}

void CDaoWorkspace::CompactDatabase(const std::string& src, const std::string& dst, const std::string& locale,
                                    int options, const std::string& connect)
{
    const std::string dstUtf8 = dao::PathToUtf8(dst);
    struct stat st;
    if (::lstat(dstUtf8.c_str(), &st) == 0)
        Throw(SQLITE_CANTOPEN, "the target file exists");

    CDaoDatabase source;
    source.Open(src, TRUE, TRUE, connect);
    dao::WritePendingRows(*source.GetImpl()->file);
    sqlite3* db = source.GetImpl()->file->db;
    int rc;
    std::string what;
    {
        const dao::Statement stmt = dao::Prepare(db, "VACUUM INTO ?1");
        sqlite3_bind_text(stmt.get(), 1, dstUtf8.c_str(), -1, SQLITE_TRANSIENT);
        rc = sqlite3_step(stmt.get());
        what = sqlite3_errmsg(db);
    }
    source.Close();
    // The target holds the source's header, password values included.
    if (rc != SQLITE_DONE) {
        if (::lstat(dstUtf8.c_str(), &st) == 0)
            dao::UnlinkWithJournal(dstUtf8);
        Throw(rc, what);
    }
    // The target was written under the source connection's exclusive
    // locking mode, whose journal is kept, emptied, until the file is let go;
    // a failed sync can leave that empty journal behind. One that still
    // holds a header means the target was not committed.
    if (!dao::DropSpentJournal(dstUtf8)) {
        dao::UnlinkWithJournal(dstUtf8);
        Throw(SQLITE_IOERR, "the compacted file was not completed");
    }
    if (!dao::SyncFileAndFolder(dstUtf8)) {
        dao::UnlinkWithJournal(dstUtf8);
        Throw(SQLITE_IOERR, "cannot flush the compacted file");
    }
}
