#include "searchdb/search_db.h"

#include <cinttypes>

#include "platform/cp932.h"
#include "platform/message_box.h"
#include "res/strings.h"
#include "searchdb/dao_file.h"
#include "searchdb/search_handles.h"
#include "searchdb/transaction.h"

const char* const kGuideData = "GuideData";
const char* const kAddressData = "AddressData";

namespace searchdb {

namespace {
const char* const kPassword = "tamarix5";
} // namespace

const char* const kJapaneseLocale = ";LANGID=0x0411;CP=932;COUNTRY=0";

std::string ConnectString()
{
    return FormatText(";pwd=%s", kPassword);
}

std::string VariantText(const COleVariant& value)
{
    switch (value.kind) {
    case COleVariant::Kind::Text:
        return value.Text();
    case COleVariant::Kind::Integer:
        return FormatText("%" PRId64, value.integer);
    case COleVariant::Kind::Real:
        return FormatText("%.15g", value.real);
    default:
        return std::string();
    }
}

std::string SubstituteSql(const std::string& templ, std::initializer_list<std::string> values)
{
    auto next = values.begin();
    std::string out;
    for (size_t i = 0; i < templ.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(templ[i]);
        if (IsCp932LeadByte(c) && i + 1 < templ.size()) {
            out += templ[i];
            out += templ[++i];
        } else if (c == '%' && i + 1 < templ.size() && templ[i + 1] == 's') {
            if (next != values.end())
                out += SqlValue(*next++);
            ++i;
        } else {
            out += templ[i];
        }
    }
    return out;
}

} // namespace searchdb

using namespace searchdb;

std::string SqlValue(const std::string& valueCp932)
{
    std::string out;
    out.reserve(valueCp932.size());
    for (size_t i = 0; i < valueCp932.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(valueCp932[i]);
        if (IsCp932LeadByte(c) && i + 1 < valueCp932.size()) {
            out += valueCp932[i];
            out += valueCp932[++i];
            continue;
        }
        out += valueCp932[i];
        if (c == '\'')
            out += '\'';
    }
    return out;
}

std::string FormatSql(UINT nID, const std::string& a)
{
    return SubstituteSql(LoadResString(nID), {a});
}

std::string FormatSql(UINT nID, const std::string& a, const std::string& b)
{
    return SubstituteSql(LoadResString(nID), {a, b});
}

CDaoDatabase* CSearchDb::OpenDatabase(const std::string& path, BOOL bReadOnly)
{
    CDaoDatabase* pDb = new CDaoDatabase;
    try {
        pDb->Open(path, TRUE, bReadOnly, ConnectString());
    } catch (const CDaoException&) {
        AfxMessageBox(FormatResString(2039, path), MB_OK);
    }
    return pDb;
}

CDaoRecordset* CSearchDb::OpenRecordset(CDaoDatabase* pDb, const std::string& sql)
{
    if (!pDb || !pDb->IsOpen())
        return nullptr;
    CDaoRecordset* pRs = new CDaoRecordset(pDb);
    try {
        pRs->Open(dbOpenDynaset, sql, 0);
    } catch (const CDaoException&) {
    }
    return pRs;
}

BOOL CSearchDb::ExecuteSQL(const std::string& path, const std::string& sql)
{
    DatabaseHandle db(*this, OpenDatabase(path, FALSE));
    if (!db.IsOpen())
        return FALSE;
    try {
        Transaction trans(db->m_pWorkspace);
        db->Execute(sql, dbFailOnError | dbConsistent);
        trans.Commit();
    } catch (const CDaoException&) {
        return FALSE;
    }
    return TRUE;
}

BOOL CSearchDb::CanOpenExclusively(const std::string& path, BOOL bReadOnly)
{
    DatabaseHandle db(*this, OpenDatabase(path, bReadOnly));
    return db.IsOpen() ? TRUE : FALSE;
}

BOOL CSearchDb::CreateDatabase(const std::string& path)
{
    DatabaseHandle db(*this, new CDaoDatabase);
    try {
        db->Create(path, ConnectString() + kJapaneseLocale, 0);
    } catch (const CDaoException&) {
        AfxMessageBox(2040, MB_OK);
        return FALSE;
    }
    return TRUE;
}

std::string CSearchDb::GetFieldText(CDaoRecordset* pRs, const std::string& field)
{
    if (!pRs || !pRs->IsOpen())
        return std::string();
    try {
        return VariantText(pRs->GetFieldValue(field));
    } catch (const CDaoException&) {
        return std::string();
    }
}

namespace {

template <class T>
void CloseAndDelete(T* p)
{
    if (p && p->IsOpen())
        p->Close();
    delete p;
}

} // namespace

void CSearchDb::CloseRecordset(CDaoRecordset* pRs)
{
    CloseAndDelete(pRs);
}

void CSearchDb::CloseDatabase(CDaoDatabase* pDb)
{
    CloseAndDelete(pDb);
}

BOOL CSearchDb::CompactSearchFile(const std::string& source, const std::string& target)
{
    // Options 36: dbVersion30 | dbDecrypt. The engine removes whatever it
    // made of the target when it fails.
    try {
        CDaoWorkspace::CompactDatabase(source, target, kJapaneseLocale, 36, ConnectString());
    } catch (const CDaoException&) {
        AfxMessageBox(2041, MB_OK);
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDatabaseFile(const std::string& path)
{
    // Every connection is exclusive: one that opens shows that no other
    // program holds the file. On this system unlinking alone would succeed
    // under the host's feet.
    {
        CDaoDatabase probe;
        try {
            probe.Open(path, TRUE, FALSE, ConnectString());
        } catch (const CDaoException&) {
            return FALSE;
        }
    }
    return dao::RemoveUnheldFile(path) ? TRUE : FALSE;
}
