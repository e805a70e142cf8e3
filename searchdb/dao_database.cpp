#include <sqlite3.h>
#include <sys/stat.h>

#include "searchdb/dao_impl.h"

using dao::Throw;

CDaoDatabase::CDaoDatabase() : m_pWorkspace(&CDaoWorkspace::Default()), m_impl(std::make_unique<Impl>()) {}

CDaoDatabase::~CDaoDatabase()
{
    Close();
}

void CDaoDatabase::Open(const std::string& path, BOOL exclusive, BOOL readOnly, const std::string& connect)
{
    // Every connection is exclusive; the flag is there for the callers'
    // sake (they always ask for it).
    if (IsOpen())
        Throw(SQLITE_MISUSE, "connection is already open");
    m_impl->file = dao::AcquireFile(path, readOnly != FALSE, connect);
    m_impl->readOnly = readOnly != FALSE;
    m_impl->name = path;
}

void CDaoDatabase::Create(const std::string& path, const std::string& locale, int options)
{
    if (IsOpen())
        Throw(SQLITE_MISUSE, "connection is already open");
    m_impl->file = dao::CreateFile(path, locale);
    m_impl->readOnly = false;
    m_impl->name = path;
}

void CDaoDatabase::Close()
{
    for (CDaoRecordset::Impl* rs : m_impl->recordsets) {
        rs->Finalize();
        rs->owner = nullptr;
    }
    m_impl->recordsets.clear();
    if (m_impl->file) {
        dao::ReleaseFile(m_impl->file);
        m_impl->file.reset();
    }
}

bool CDaoDatabase::IsOpen() const
{
    return m_impl->file != nullptr;
}

void CDaoDatabase::Execute(const std::string& sql, int options)
{
    // Errors always fail the statement whole (dbFailOnError); SQLite undoes
    // a failed statement by itself.
    if (!IsOpen())
        Throw(SQLITE_MISUSE, "connection is not open");
    dao::WritePendingRows(*m_impl->file);
    sqlite3* db = m_impl->file->db;
    const dao::Statement stmt = dao::Prepare(db, dao::TextToUtf8(dao::ToSqliteDialect(sql)));
    if (sqlite3_column_count(stmt.get()) > 0)
        Throw(SQLITE_ERROR, "a query cannot be executed");
    if (m_impl->readOnly && !sqlite3_stmt_readonly(stmt.get()))
        Throw(SQLITE_READONLY, "connection is read-only");
    int rc;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        Throw(rc, sqlite3_errmsg(db));
}

const std::string& CDaoDatabase::GetName() const
{
    return m_impl->name;
}
