// Owners for the objects CSearchDb hands out, so that every path of an
// operation closes its recordsets and connections (recordsets first:
// declare them after their connection).
#pragma once

#include <string>

#include "searchdb/search_db.h"

namespace searchdb {

// The connect string of every search database: ";pwd=" and the password.
std::string ConnectString();
// DAO's Japanese collating locale (dbLangJapanese).
extern const char* const kJapaneseLocale;

// A field value as text: text as it stands, whole numbers in decimal, Null "".
std::string VariantText(const COleVariant& value);

// Fills every %s of a statement, in order, with a quoted value (SqlValue).
std::string SubstituteSql(const std::string& templ, std::initializer_list<std::string> values);

class DatabaseHandle {
public:
    DatabaseHandle(CSearchDb& db, CDaoDatabase* p) : m_db(db), m_p(p) {}
    ~DatabaseHandle() { m_db.CloseDatabase(m_p); }
    DatabaseHandle(const DatabaseHandle&) = delete;
    DatabaseHandle& operator=(const DatabaseHandle&) = delete;

    CDaoDatabase* get() const { return m_p; }
    CDaoDatabase* operator->() const { return m_p; }
    bool IsOpen() const { return m_p && m_p->IsOpen(); }

private:
    CSearchDb& m_db;
    CDaoDatabase* m_p;
};

class RecordsetHandle {
public:
    RecordsetHandle(CSearchDb& db, CDaoRecordset* p) : m_db(db), m_p(p) {}
    ~RecordsetHandle() { m_db.CloseRecordset(m_p); }
    RecordsetHandle(const RecordsetHandle&) = delete;
    RecordsetHandle& operator=(const RecordsetHandle&) = delete;

    CDaoRecordset* get() const { return m_p; }
    CDaoRecordset* operator->() const { return m_p; }
    bool IsOpen() const { return m_p && m_p->IsOpen(); }

private:
    CSearchDb& m_db;
    CDaoRecordset* m_p;
};

} // namespace searchdb
