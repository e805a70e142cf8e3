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

// A connection or recordset of CSearchDb, closed by the CSearchDb that
// handed it out when the owner goes.
template <class T, void (CSearchDb::*Close)(T*)>
class SearchHandle {
public:
    SearchHandle(CSearchDb& db, T* p) : m_db(db), m_p(p) {}
    ~SearchHandle() { (m_db.*Close)(m_p); }
    SearchHandle(const SearchHandle&) = delete;
    SearchHandle& operator=(const SearchHandle&) = delete;

    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    bool IsOpen() const { return m_p && m_p->IsOpen(); }

private:
    CSearchDb& m_db;
    T* m_p;
};

using DatabaseHandle = SearchHandle<CDaoDatabase, &CSearchDb::CloseDatabase>;
using RecordsetHandle = SearchHandle<CDaoRecordset, &CSearchDb::CloseRecordset>;

} // namespace searchdb
