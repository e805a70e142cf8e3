// The database engine: a small DAO-shaped layer over SQLite. Connections,
// dynaset recordsets with field access by name, and one process-wide default
// workspace whose transactions cover every open connection. Every engine
// failure is raised as CDaoException; CSearchDb catches them.
//
// Declared here is what the rest of the installer may rely on; the engine's
// own files may add to it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/win_types.h"

class CDaoException : public std::runtime_error {
public:
    CDaoException(int sqliteCode, const std::string& what)
        : std::runtime_error(what), m_nEngineCode(sqliteCode) {}
    int m_nEngineCode;
};

// COleVariant: Null, a whole number, a real number, text or a blob. Text is
// held as the database stores it, in UTF-8, so that a value read from one
// database goes into another byte for byte, whatever CP932 can hold; only
// the installer's own reads convert it (Text).
struct COleVariant {
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0.0;
    std::string bytes; // UTF-8 for Text, raw bytes for Blob

    bool IsNull() const { return kind == Kind::Null; }
    // Raises CDaoException for bytes that are not CP932 text.
    static COleVariant FromText(const std::string& cp932);
    static COleVariant FromUtf8(std::string utf8);
    static COleVariant FromInteger(std::int64_t v);
    // The text in CP932; raises CDaoException when it has no CP932 form.
    std::string Text() const;
};

enum : int { dbOpenDynaset = 2 };
enum : int { dbConsistent = 32, dbFailOnError = 128 };
enum : DWORD { AFX_DAO_PRIMARY_INFO = 1 };

struct CDaoFieldInfo {
    std::string m_strName; // CP932
};

class CDaoDatabase;
class CDaoRecordset;

// The default workspace: BeginTrans / CommitTrans / Rollback act on every
// open connection of the process.
class CDaoWorkspace {
public:
    static CDaoWorkspace& Default();

    void BeginTrans();
    void CommitTrans();
    void Rollback();
    bool InTransaction() const;

    // Compacts src into a new file dst (VACUUM INTO, fsynced). dst must not
    // exist. Paths are CP932.
    static void CompactDatabase(const std::string& src, const std::string& dst,
                                const std::string& locale, int options,
                                const std::string& connect);
};

class CDaoDatabase {
public:
    CDaoDatabase();
    ~CDaoDatabase();
    CDaoDatabase(const CDaoDatabase&) = delete;
    CDaoDatabase& operator=(const CDaoDatabase&) = delete;

    // Opens exclusively; connect is ";pwd=..." and must match the file's
    // password. Paths are CP932.
    void Open(const std::string& path, BOOL exclusive, BOOL readOnly, const std::string& connect);
    // Creates a new, empty database; fails if the file exists.
    void Create(const std::string& path, const std::string& locale, int options);
    void Close();
    bool IsOpen() const;
    void Execute(const std::string& sql, int options);
    const std::string& GetName() const;

    CDaoWorkspace* m_pWorkspace;

    struct Impl;
    Impl* GetImpl() const { return m_impl.get(); }

private:
    std::unique_ptr<Impl> m_impl;
};

class CDaoRecordset {
public:
    explicit CDaoRecordset(CDaoDatabase* pDatabase);
    ~CDaoRecordset();
    CDaoRecordset(const CDaoRecordset&) = delete;
    CDaoRecordset& operator=(const CDaoRecordset&) = delete;

    void Open(int nOpenType, const std::string& sql, int nOptions);
    void Close();
    bool IsOpen() const;

    bool IsEOF() const;
    void MoveNext();
    void MoveLast();
    long GetRecordCount() const;

    short GetFieldCount() const;
    void GetFieldInfo(int nIndex, CDaoFieldInfo& info, DWORD dwInfoOptions = AFX_DAO_PRIMARY_INFO) const;
    COleVariant GetFieldValue(const std::string& name) const;

    // Appending rows to the recordset's table.
    void AddNew();
    void SetFieldValue(const std::string& name, const COleVariant& value);
    void SetFieldValue(const std::string& name, COleVariant&& value);
    void Update();

    // Appends every row of source, from its first, to this recordset's
    // table in one statement, each field to the column of its name, within
    // the pending transaction; afterRow runs after each row and stops the
    // copy by returning false, which undoes the rows of the copy. Raises as
    // Update would. Unsupported: nothing was done (outside a transaction,
    // from the same file, a query the engine cannot read from another
    // handle...); append row by row instead.
    enum class AppendResult { Unsupported, Done, Stopped };
    AppendResult AppendRowsOf(CDaoRecordset& source, const std::function<bool()>& afterRow);

    struct Impl;

private:
    CDaoDatabase* m_pDatabase;
    std::unique_ptr<Impl> m_impl;
};
