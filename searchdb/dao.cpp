#include "searchdb/dao.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "platform/cp932.h"
#include "searchdb/dao_file.h"

using dao::Throw;
using dao::ThrowFromDb;

COleVariant COleVariant::FromText(const std::string& cp932)
{
    return FromUtf8(dao::TextToUtf8(cp932));
}

COleVariant COleVariant::FromUtf8(std::string utf8)
{
    COleVariant v;
    v.kind = Kind::Text;
    v.bytes = std::move(utf8);
    return v;
}

std::string COleVariant::Text() const
{
    return dao::TextToCp932(bytes);
}

COleVariant COleVariant::FromInteger(std::int64_t value)
{
    COleVariant v;
    v.kind = Kind::Integer;
    v.integer = value;
    return v;
}

namespace {

// Field and table names compare as Jet compares them: ASCII letters without
// regard to case, double-byte characters byte for byte.
bool SameName(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    if (a == b)
        return true;
    for (size_t i = 0; i < a.size(); ++i) {
        const unsigned char x = a[i];
        const unsigned char y = b[i];
        if (IsCp932LeadByte(x)) {
            if (x != y || i + 1 >= a.size() || a[i + 1] != b[i + 1])
                return false;
            ++i;
            continue;
        }
        const unsigned char lx = (x >= 'A' && x <= 'Z') ? x + 32 : x;
        const unsigned char ly = (y >= 'A' && y <= 'Z') ? y + 32 : y;
        if (lx != ly)
            return false;
    }
    return true;
}

int FindName(const std::vector<std::string>& names, const std::string& name)
{
    for (size_t i = 0; i < names.size(); ++i)
        if (SameName(names[i], name))
            return static_cast<int>(i);
    return -1;
}

// Callers ask for the fields of a row in the same order row after row, so
// the field after the one found last is tried first.
int FindName(const std::vector<std::string>& names, const std::string& name, size_t& next)
{
    if (next < names.size() && SameName(names[next], name)) {
        const int found = static_cast<int>(next);
        next = next + 1 < names.size() ? next + 1 : 0;
        return found;
    }
    const int found = FindName(names, name);
    if (found >= 0)
        next = static_cast<size_t>(found) + 1 < names.size() ? static_cast<size_t>(found) + 1 : 0;
    return found;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Matches an ASCII keyword at pos without regard to case.
bool KeywordAt(const std::string& s, size_t pos, const char* word)
{
    const size_t n = std::strlen(word);
    if (pos + n > s.size())
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = s[pos + i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
        if (c != word[i])
            return false;
    }
    return true;
}

// The one difference of Jet's SQL that the installer's statements need:
// "DELETE * FROM" is SQLite's "DELETE FROM".
std::string ToSqliteDialect(const std::string& sql)
{
    size_t i = 0;
    while (i < sql.size() && IsBlank(sql[i]))
        ++i;
    if (!KeywordAt(sql, i, "DELETE"))
        return sql;
    size_t j = i + 6;
    const size_t afterDelete = j;
    while (j < sql.size() && IsBlank(sql[j]))
        ++j;
    if (j == afterDelete || j >= sql.size() || sql[j] != '*')
        return sql;
    ++j;
    while (j < sql.size() && IsBlank(sql[j]))
        ++j;
    if (!KeywordAt(sql, j, "FROM"))
        return sql;
    return sql.substr(0, i) + "DELETE " + sql.substr(j);
}

std::string QuoteIdentifier(const std::string& utf8)
{
    std::string out = "\"";
    for (char c : utf8) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + "\"";
}

sqlite3_stmt* Prepare(sqlite3* db, const std::string& sqlUtf8, unsigned flags = 0)
{
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v3(db, sqlUtf8.c_str(), static_cast<int>(sqlUtf8.size()), flags, &stmt, &tail);
    if (rc != SQLITE_OK)
        ThrowFromDb(db, rc, "");
    if (!stmt)
        Throw(SQLITE_ERROR, "empty statement");
    for (const char* p = tail; p && p < sqlUtf8.c_str() + sqlUtf8.size(); ++p) {
        if (!IsBlank(*p) && *p != ';') {
            sqlite3_finalize(stmt);
            Throw(SQLITE_ERROR, "more than one statement");
        }
    }
    return stmt;
}

COleVariant ColumnValue(sqlite3_stmt* stmt, int i)
{
    COleVariant v;
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
        v = COleVariant::FromInteger(sqlite3_column_int64(stmt, i));
        break;
    case SQLITE_FLOAT:
        v.kind = COleVariant::Kind::Real;
        v.real = sqlite3_column_double(stmt, i);
        break;
    case SQLITE_TEXT: {
        const char* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        const size_t n = static_cast<size_t>(sqlite3_column_bytes(stmt, i));
        if (!p)
            p = "";
        v.kind = COleVariant::Kind::Text;
        v.bytes.assign(p, n);
        break;
    }
    case SQLITE_BLOB: {
        const char* p = static_cast<const char*>(sqlite3_column_blob(stmt, i));
        const int n = sqlite3_column_bytes(stmt, i);
        v.kind = COleVariant::Kind::Blob;
        v.bytes.assign(p ? p : "", n);
        break;
    }
    default:
        break;
    }
    return v;
}

// A field value as SQLite takes it: text in UTF-8, a blob as it stands.
struct BoundValue {
    COleVariant::Kind kind = COleVariant::Kind::Null;
    std::int64_t integer = 0;
    double real = 0.0;
    std::string bytes;
};

// Binds a value whose bytes outlive the statement's next step. A value
// refused (too big) leaves the parameter as it was: its statement must not
// run.
int Bind(sqlite3_stmt* stmt, int p, const BoundValue& v)
{
    switch (v.kind) {
    case COleVariant::Kind::Null:
        return sqlite3_bind_null(stmt, p);
    case COleVariant::Kind::Integer:
        return sqlite3_bind_int64(stmt, p, v.integer);
    case COleVariant::Kind::Real:
        return sqlite3_bind_double(stmt, p, v.real);
    case COleVariant::Kind::Text:
        return sqlite3_bind_text64(stmt, p, v.bytes.data(), v.bytes.size(), SQLITE_STATIC, SQLITE_UTF8);
    case COleVariant::Kind::Blob:
        return sqlite3_bind_blob64(stmt, p, v.bytes.data(), v.bytes.size(), SQLITE_STATIC);
    }
    return SQLITE_MISUSE;
}

// The rows appended to one file and not yet written. An INSERT statement
// per row costs SQLite about as much again as the row itself (each one
// opens and closes a cursor on the table and on every index); a statement of
// many rows pays that once for all of them.
class RowBatch final : public DaoRowBatch {
public:
    // More rows per statement gain nothing measurable.
    static constexpr size_t kMostRows = 64;

    explicit RowBatch(DaoFile& file) : m_file(file), m_db(file.db) {}
    ~RowBatch() override { Finalize(); }
    RowBatch(const RowBatch&) = delete;
    RowBatch& operator=(const RowBatch&) = delete;

    // The rows that follow go to table with these columns, for the
    // recordset appender; another appender's waiting rows are written first.
    void Target(std::uint64_t appender, const std::string& tableUtf8, const std::vector<std::string>& columnsUtf8)
    {
        if (appender == m_appender)
            return;
        Write();
        if (tableUtf8 != m_table || columnsUtf8 != m_columns) {
            Finalize();
            m_table = tableUtf8;
            m_columns = columnsUtf8;
            // A statement takes only so many parameters.
            const size_t most = static_cast<size_t>(sqlite3_limit(m_db, SQLITE_LIMIT_VARIABLE_NUMBER, -1));
            m_batchRows = std::max<size_t>(1, std::min(kMostRows, most / std::max<size_t>(1, m_columns.size())));
        }
        m_appender = appender;
    }

    // The values of the next row, one per column, for the caller to fill.
    BoundValue* NextRow()
    {
        const size_t n = m_columns.size();
        if (m_values.size() < (m_rows + 1) * n)
            m_values.resize((m_rows + 1) * n);
        return &m_values[m_rows * n];
    }

    // The row that NextRow handed out is filled: it waits, and a full batch
    // is written.
    void Add()
    {
        if (++m_rows == m_batchRows)
            WriteRows();
    }

    // The row that NextRow handed out is filled: written now, on its own.
    // A failure leaves nothing behind.
    void WriteOne()
    {
        const int rc = StepRow(m_rows);
        if (rc != SQLITE_DONE)
            Throw(rc, sqlite3_errmsg(m_db));
    }

    bool Empty() const override { return m_rows == 0; }

    void Write() override
    {
        try {
            WriteRows();
        } catch (const CDaoException& e) {
            if (m_file.inTransaction && m_file.failedCode == SQLITE_OK) {
                m_file.failedCode = e.m_nEngineCode;
                m_file.failedWhat = e.what();
                m_file.failedLevel = dao::WorkspaceDepth();
            }
            throw;
        }
    }

    void Drop() override { m_rows = 0; }

private:
    // Raises the failure of a row after the others have been written.
    void WriteRows()
    {
        const size_t rows = m_rows;
        if (rows == 0)
            return;
        m_rows = 0;
        // The rows belong to a transaction; should the engine have rolled it
        // back meanwhile they must not be written outside it.
        if (sqlite3_get_autocommit(m_db))
            Throw(SQLITE_ABORT, "the transaction was rolled back by the engine");
        if (rows == m_batchRows && rows > 1) {
            if (!m_many)
                m_many = Prepare(m_db, InsertSql(rows), SQLITE_PREPARE_PERSISTENT);
            const size_t n = rows * m_columns.size();
            int rc = SQLITE_OK;
            for (size_t i = 0; i < n && rc == SQLITE_OK; ++i)
                rc = Bind(m_many, static_cast<int>(i) + 1, m_values[i]);
            if (rc == SQLITE_OK) {
                rc = sqlite3_step(m_many);
                sqlite3_reset(m_many);
                if (rc == SQLITE_DONE)
                    return;
                if (sqlite3_get_autocommit(m_db))
                    Throw(rc, sqlite3_errmsg(m_db));
            }
            // Nothing of the statement is left (SQLite undid it alone): the
            // rows go again one by one, so that all but the failing ones
            // arrive, as they would have with a statement each.
        }
        int failed = SQLITE_OK;
        std::string what;
        for (size_t r = 0; r < rows; ++r) {
            const int rc = StepRow(r);
            if (rc == SQLITE_DONE)
                continue;
            if (failed == SQLITE_OK) {
                failed = rc;
                what = sqlite3_errmsg(m_db);
            }
            if (sqlite3_get_autocommit(m_db))
                break;
        }
        if (failed != SQLITE_OK)
            Throw(failed, what);
    }

    std::string InsertSql(size_t rows) const
    {
        std::string sql = "INSERT INTO main." + QuoteIdentifier(m_table) + " (";
        std::string values = "(";
        for (size_t i = 0; i < m_columns.size(); ++i) {
            if (i) {
                sql += ',';
                values += ',';
            }
            sql += QuoteIdentifier(m_columns[i]);
            values += '?';
        }
        values += ')';
        sql += ") VALUES " + values;
        for (size_t r = 1; r < rows; ++r)
            sql += ',' + values;
        return sql;
    }

    int StepRow(size_t row)
    {
        if (!m_one)
            m_one = Prepare(m_db, InsertSql(1), SQLITE_PREPARE_PERSISTENT);
        const size_t n = m_columns.size();
        for (size_t i = 0; i < n; ++i) {
            const int rc = Bind(m_one, static_cast<int>(i) + 1, m_values[row * n + i]);
            if (rc != SQLITE_OK)
                return rc;
        }
        const int rc = sqlite3_step(m_one);
        sqlite3_reset(m_one);
        return rc;
    }

    void Finalize()
    {
        sqlite3_finalize(m_many);
        sqlite3_finalize(m_one);
        m_many = nullptr;
        m_one = nullptr;
    }

    DaoFile& m_file;
    sqlite3* m_db;
    std::uint64_t m_appender = 0;
    std::string m_table;
    std::vector<std::string> m_columns;
    sqlite3_stmt* m_many = nullptr;
    sqlite3_stmt* m_one = nullptr;
    std::vector<BoundValue> m_values; // m_rows rows of m_columns.size() values
    size_t m_rows = 0;
    size_t m_batchRows = 1; // rows per statement
};

std::uint64_t g_nextAppender = 0;

} // namespace

// ---------------------------------------------------------------------------

struct CDaoDatabase::Impl {
    std::shared_ptr<DaoFile> file;
    bool readOnly = true;
    std::string name;
    std::vector<CDaoRecordset::Impl*> recordsets;
};

struct CDaoRecordset::Impl {
    CDaoDatabase::Impl* owner = nullptr;
    std::shared_ptr<DaoFile> file;
    bool readOnly = true;
    sqlite3_stmt* stmt = nullptr;
    std::vector<std::string> names; // CP932
    size_t nextName = 0;            // where the next name lookup starts

    // Position: the statement is stepped on first use, one row at a time.
    bool started = false;
    bool eof = false;
    // After MoveLast the statement has run to its end; the last row's
    // values are fetched again only if someone reads them.
    bool lastPending = false;
    long visited = 0;

    // Appending: the recordset's table and its columns.
    std::uint64_t appender = 0; // tells the file's batch whose rows it holds
    bool tableKnown = false;
    std::string tableUtf8;
    std::vector<std::string> tableColumns;     // CP932
    std::vector<std::string> tableColumnsUtf8;
    std::vector<COleVariant> newRow;
    size_t nextColumn = 0;
    bool adding = false;

    bool IsOpen() const { return stmt != nullptr; }
    sqlite3* Db() const { return file->db; }

    void Finalize()
    {
        sqlite3_finalize(stmt);
        stmt = nullptr;
        file.reset();
        adding = false;
    }

    void RequireOpen() const
    {
        if (!IsOpen())
            Throw(SQLITE_MISUSE, "recordset is not open");
    }

    bool Step()
    {
        dao::WritePendingRows(*file);
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        ThrowFromDb(Db(), rc, "");
    }

    void Start()
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

    void RequireCurrentRow()
    {
        Start();
        if (eof)
            Throw(SQLITE_NOTFOUND, "no current record");
    }

    void Materialize()
    {
        if (!lastPending)
            return;
        sqlite3_reset(stmt);
        for (long i = 0; i < visited; ++i)
            if (!Step())
                Throw(SQLITE_ABORT, "the rows changed under the recordset");
        lastPending = false;
    }

    void ResolveTable()
    {
        if (tableKnown)
            return;
        const int n = sqlite3_column_count(stmt);
        std::string table;
        for (int i = 0; i < n; ++i) {
            const char* t = sqlite3_column_table_name(stmt, i);
            const char* d = sqlite3_column_database_name(stmt, i);
            if (!t || !d || std::strcmp(d, "main") != 0 || (i > 0 && table != t))
                Throw(SQLITE_ERROR, "recordset is not updatable");
            table = t;
        }
        if (table.empty())
            Throw(SQLITE_ERROR, "recordset is not updatable");
        sqlite3_stmt* info = Prepare(Db(), "SELECT name FROM pragma_table_info(?1)");
        sqlite3_bind_text(info, 1, table.c_str(), -1, SQLITE_TRANSIENT);
        std::vector<std::string> utf8, cp932;
        int rc;
        while ((rc = sqlite3_step(info)) == SQLITE_ROW) {
            const char* name = reinterpret_cast<const char*>(sqlite3_column_text(info, 0));
            utf8.emplace_back(name ? name : "");
        }
        sqlite3_finalize(info);
        if (rc != SQLITE_DONE)
            ThrowFromDb(Db(), rc, "table_info");
        for (const auto& u : utf8)
            cp932.push_back(dao::TextToCp932(u));
        tableUtf8 = table;
        tableColumnsUtf8 = std::move(utf8);
        tableColumns = std::move(cp932);
        tableKnown = true;
    }
};

// ---------------------------------------------------------------------------

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
    sqlite3_stmt* stmt = Prepare(db, "VACUUM INTO ?1");
    sqlite3_bind_text(stmt, 1, dstUtf8.c_str(), -1, SQLITE_TRANSIENT);
    const int rc = sqlite3_step(stmt);
    const std::string what = sqlite3_errmsg(db);
    sqlite3_finalize(stmt);
    source.Close();
    // The target holds the source's header, password values included.
    if (rc != SQLITE_DONE) {
        if (::lstat(dstUtf8.c_str(), &st) == 0)
            dao::RemoveDatabaseFile(dstUtf8);
        Throw(rc, what);
    }
    // The target was written under the source connection's exclusive
    // locking mode, whose journal is kept, emptied, until the file is let go;
    // a failed sync can leave that empty journal behind. One that still
    // holds a header means the target was not committed.
    if (!dao::DropSpentJournal(dstUtf8)) {
        dao::RemoveDatabaseFile(dstUtf8);
        Throw(SQLITE_IOERR, "the compacted file was not completed");
    }
    if (!dao::SyncFileAndFolder(dstUtf8)) {
        dao::RemoveDatabaseFile(dstUtf8);
        Throw(SQLITE_IOERR, "cannot flush the compacted file");
    }
}

// ---------------------------------------------------------------------------

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
    sqlite3_stmt* stmt = Prepare(db, dao::TextToUtf8(ToSqliteDialect(sql)));
    if (sqlite3_column_count(stmt) > 0) {
        sqlite3_finalize(stmt);
        Throw(SQLITE_ERROR, "a query cannot be executed");
    }
    if (m_impl->readOnly && !sqlite3_stmt_readonly(stmt)) {
        sqlite3_finalize(stmt);
        Throw(SQLITE_READONLY, "connection is read-only");
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) {
        const std::string what = sqlite3_errmsg(db);
        sqlite3_finalize(stmt);
        Throw(rc, what);
    }
    sqlite3_finalize(stmt);
}

const std::string& CDaoDatabase::GetName() const
{
    return m_impl->name;
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
    sqlite3_stmt* stmt = Prepare(owner->file->db, dao::TextToUtf8(sql));
    const int n = sqlite3_column_count(stmt);
    if (n == 0 || !sqlite3_stmt_readonly(stmt)) {
        sqlite3_finalize(stmt);
        Throw(SQLITE_ERROR, "a recordset needs a query");
    }
    std::vector<std::string> names;
    try {
        for (int i = 0; i < n; ++i)
            names.push_back(dao::TextToCp932(sqlite3_column_name(stmt, i)));
    } catch (...) {
        sqlite3_finalize(stmt);
        throw;
    }
    *m_impl = Impl();
    m_impl->owner = owner;
    m_impl->file = owner->file;
    m_impl->readOnly = owner->readOnly;
    m_impl->stmt = stmt;
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
    // Counting while stepping keeps memory flat however many rows there are.
    while (m_impl->Step())
        ++m_impl->visited;
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
    const int index = FindName(m_impl->names, name, m_impl->nextName);
    if (index < 0)
        Throw(SQLITE_ERROR, "no such field: " + ToUtf8(name));
    m_impl->RequireCurrentRow();
    m_impl->Materialize();
    return ColumnValue(m_impl->stmt, index);
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
    const int index = FindName(m_impl->tableColumns, name, m_impl->nextColumn);
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
        file.batch = std::make_unique<RowBatch>(file);
    auto& batch = static_cast<RowBatch&>(*file.batch);
    batch.Target(rs.appender, rs.tableUtf8, rs.tableColumnsUtf8);
    const bool deferred = !sqlite3_get_autocommit(file.db);
    BoundValue* values = batch.NextRow();
    for (size_t i = 0; i < rs.newRow.size(); ++i) {
        COleVariant& v = rs.newRow[i];
        BoundValue& b = values[i];
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

// ---------------------------------------------------------------------------

BOOL DaoRemoveDatabaseFile(const std::string& path)
{
    std::string pathUtf8;
    try {
        pathUtf8 = dao::PathToUtf8(path);
    } catch (const CDaoException&) {
        return FALSE;
    }
    struct stat st;
    if (::stat(pathUtf8.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return FALSE;
    for (const auto& file : dao::OpenFiles())
        if (file->dev == st.st_dev && file->ino == st.st_ino)
            return FALSE;
    dao::RemoveDatabaseFile(pathUtf8);
    return ::lstat(pathUtf8.c_str(), &st) != 0 ? TRUE : FALSE;
}
