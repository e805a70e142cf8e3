#include <sqlite3.h>

#include <algorithm>
#include <cstring>

#include "platform/cp932.h"
#include "searchdb/dao_impl.h"
#include "searchdb/dao_row_batch.h"

using dao::Throw;
using dao::ThrowFromDb;

namespace {

std::uint64_t g_nextAppender = 0;

} // namespace

void CDaoRecordset::Impl::Finalize()
{
    stmt.reset();
    file.reset();
    adding = false;
}

void CDaoRecordset::Impl::RequireOpen() const
{
    if (!IsOpen())
        Throw(SQLITE_MISUSE, "recordset is not open");
}

bool CDaoRecordset::Impl::Step()
{
    dao::WritePendingRows(*file);
    const int rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    ThrowFromDb(Db(), rc, "");
}

void CDaoRecordset::Impl::Start()
{
    RequireOpen();
    if (started)
        return;
    started = true;
    if (Step())
        visited = 1;
    else
        eof = true;
}

void CDaoRecordset::Impl::RequireCurrentRow()
{
    Start();
    if (eof)
        Throw(SQLITE_NOTFOUND, "no current record");
}

void CDaoRecordset::Impl::Materialize()
{
    if (!lastPending)
        return;
    sqlite3_reset(stmt.get());
    for (long i = 0; i < visited; ++i)
        if (!Step())
            Throw(SQLITE_ABORT, "the rows changed under the recordset");
    lastPending = false;
}

long CDaoRecordset::Impl::CountRows()
{
    // SQLite counts the rows of the query without reading their fields,
    // often from an index alone; stepping through them reads every field.
    const std::string query = dao::QueryText(stmt.get());
    if (query.empty())
        return -1;
    dao::WritePendingRows(*file);
    sqlite3_stmt* raw = nullptr;
    const std::string count = "SELECT count(*) FROM (" + query + "\n)";
    if (sqlite3_prepare_v2(Db(), count.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return -1;
    }
    const dao::Statement counter(raw);
    const int rc = sqlite3_step(counter.get());
    if (rc != SQLITE_ROW)
        ThrowFromDb(Db(), rc, "");
    return static_cast<long>(sqlite3_column_int64(counter.get(), 0));
}

void CDaoRecordset::Impl::ResolveTable()
{
    if (tableKnown)
        return;
    const int n = sqlite3_column_count(stmt.get());
    std::string table;
    for (int i = 0; i < n; ++i) {
        const char* t = sqlite3_column_table_name(stmt.get(), i);
        const char* d = sqlite3_column_database_name(stmt.get(), i);
        if (!t || !d || std::strcmp(d, "main") != 0 || (i > 0 && table != t))
            Throw(SQLITE_ERROR, "recordset is not updatable");
        table = t;
    }
    if (table.empty())
        Throw(SQLITE_ERROR, "recordset is not updatable");
    const dao::Statement info = dao::Prepare(Db(), "SELECT name FROM pragma_table_info(?1)");
    sqlite3_bind_text(info.get(), 1, table.c_str(), -1, SQLITE_TRANSIENT);
    std::vector<std::string> utf8, cp932;
    int rc;
    while ((rc = sqlite3_step(info.get())) == SQLITE_ROW) {
        const char* name = reinterpret_cast<const char*>(sqlite3_column_text(info.get(), 0));
        utf8.emplace_back(name ? name : "");
    }
    if (rc != SQLITE_DONE)
        ThrowFromDb(Db(), rc, "table_info");
    for (const auto& u : utf8)
        cp932.push_back(dao::TextToCp932(u));
    tableUtf8 = table;
    tableColumnsUtf8 = std::move(utf8);
    tableColumns = std::move(cp932);
    tableKnown = true;
}

// ---------------------------------------------------------------------------

CDaoRecordset::CDaoRecordset(CDaoDatabase* pDatabase) : m_pDatabase(pDatabase), m_impl(std::make_unique<Impl>()) {}

CDaoRecordset::~CDaoRecordset()
{
    Close();
}

void CDaoRecordset::Open(int nOpenType, const std::string& sql, int nOptions)
{
    if (!m_pDatabase || !m_pDatabase->IsOpen())
        Throw(SQLITE_MISUSE, "connection is not open");
    Close();
    CDaoDatabase::Impl* owner = m_pDatabase->GetImpl();
    dao::Statement stmt = dao::Prepare(owner->file->db, dao::TextToUtf8(sql));
    const int n = sqlite3_column_count(stmt.get());
    if (n == 0 || !sqlite3_stmt_readonly(stmt.get()))
        Throw(SQLITE_ERROR, "a recordset needs a query");
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i)
        names.push_back(dao::TextToCp932(sqlite3_column_name(stmt.get(), i)));
    *m_impl = Impl();
    m_impl->owner = owner;
    m_impl->file = owner->file;
    m_impl->readOnly = owner->readOnly;
    m_impl->stmt = std::move(stmt);
    m_impl->names = std::move(names);
    m_impl->appender = ++g_nextAppender;
    owner->recordsets.push_back(m_impl.get());
}

void CDaoRecordset::Close()
{
    if (m_impl->owner) {
        auto& list = m_impl->owner->recordsets;
        list.erase(std::remove(list.begin(), list.end(), m_impl.get()), list.end());
        m_impl->owner = nullptr;
    }
    m_impl->Finalize();
}

bool CDaoRecordset::IsOpen() const
{
    return m_impl->IsOpen();
}

bool CDaoRecordset::IsEOF() const
{
    m_impl->Start();
    return m_impl->eof;
}

void CDaoRecordset::MoveNext()
{
    m_impl->RequireCurrentRow();
    if (m_impl->lastPending) {
        m_impl->lastPending = false;
        m_impl->eof = true;
        return;
    }
    if (m_impl->Step())
        ++m_impl->visited;
    else
        m_impl->eof = true;
}

void CDaoRecordset::MoveLast()
{
    m_impl->RequireCurrentRow();
    if (m_impl->lastPending)
        return;
    const long rows = m_impl->CountRows();
    if (rows >= m_impl->visited) {
        m_impl->visited = rows;
    } else {
        // Counting while stepping keeps memory flat however many rows there are.
        while (m_impl->Step())
            ++m_impl->visited;
    }
    m_impl->lastPending = true;
}

long CDaoRecordset::GetRecordCount() const
{
    m_impl->Start();
    return m_impl->visited;
}

short CDaoRecordset::GetFieldCount() const
{
    m_impl->RequireOpen();
    return static_cast<short>(m_impl->names.size());
}

void CDaoRecordset::GetFieldInfo(int nIndex, CDaoFieldInfo& info, DWORD dwInfoOptions) const
{
    m_impl->RequireOpen();
    if (nIndex < 0 || nIndex >= static_cast<int>(m_impl->names.size()))
        Throw(SQLITE_RANGE, "no such field index");
    info.m_strName = m_impl->names[nIndex];
}

COleVariant CDaoRecordset::GetFieldValue(const std::string& name) const
{
    m_impl->RequireOpen();
    const int index = dao::FindName(m_impl->names, name, m_impl->nextName);
    if (index < 0)
        Throw(SQLITE_ERROR, "no such field: " + ToUtf8(name));
    m_impl->RequireCurrentRow();
    m_impl->Materialize();
    return dao::ColumnValue(m_impl->stmt.get(), index);
}

void CDaoRecordset::AddNew()
{
    m_impl->RequireOpen();
    if (m_impl->readOnly)
        Throw(SQLITE_READONLY, "connection is read-only");
    m_impl->ResolveTable();
    m_impl->newRow.assign(m_impl->tableColumns.size(), COleVariant());
    m_impl->adding = true;
}

void CDaoRecordset::SetFieldValue(const std::string& name, const COleVariant& value)
{
    SetFieldValue(name, COleVariant(value));
}

void CDaoRecordset::SetFieldValue(const std::string& name, COleVariant&& value)
{
    m_impl->RequireOpen();
    if (!m_impl->adding)
        Throw(SQLITE_MISUSE, "AddNew was not called");
    const int index = dao::FindName(m_impl->tableColumns, name, m_impl->nextColumn);
    if (index < 0)
        Throw(SQLITE_ERROR, "no such column: " + ToUtf8(name));
    m_impl->newRow[index] = std::move(value);
}

void CDaoRecordset::Update()
{
    Impl& rs = *m_impl;
    rs.RequireOpen();
    if (!rs.adding)
        Throw(SQLITE_MISUSE, "AddNew was not called");
    DaoFile& file = *rs.file;
    if (!file.batch)
        file.batch = std::make_unique<dao::RowBatch>(file);
    auto& batch = static_cast<dao::RowBatch&>(*file.batch);
    batch.Target(rs.appender, rs.tableUtf8, rs.tableColumnsUtf8);
    const bool deferred = !sqlite3_get_autocommit(file.db);
    dao::BoundValue* values = batch.NextRow();
    for (size_t i = 0; i < rs.newRow.size(); ++i) {
        COleVariant& v = rs.newRow[i];
        dao::BoundValue& b = values[i];
        b.kind = v.kind;
        switch (v.kind) {
        case COleVariant::Kind::Null:
            break;
        case COleVariant::Kind::Integer:
            b.integer = v.integer;
            break;
        case COleVariant::Kind::Real:
            b.real = v.real;
            break;
        case COleVariant::Kind::Text:
        case COleVariant::Kind::Blob:
            // A row that waits is past retrying: its bytes can be taken.
            if (deferred)
                b.bytes.swap(v.bytes);
            else
                b.bytes = v.bytes;
            break;
        }
    }
    // Outside a transaction a row is committed on its own, at once.
    // Inside one it may wait for the next: nobody can tell until the file
    // is read or the transaction ends, and those write it first.
    if (!deferred) {
        batch.WriteOne();
        rs.adding = false;
        return;
    }
    rs.adding = false;
    batch.Add();
}
