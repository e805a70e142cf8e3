// Values substituted into the string table's statements (FormatSql): for any values, the statement, prepared
// against an in-memory guide database, selects (or deletes) exactly the rows whose columns equal the values. A
// value with no UTF-8 form, or with a NUL byte, cannot be stored: its statement may fail, never do anything else.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "platform/cp932.h"
#include "res/strings.h"
#include "searchdb/search_db.h"

namespace {

// Statement, how many %s, its table, what goes before a bare filter, the same condition with bound values.
const struct Case { UINT id; int values; const char *table, *prefix, *equivalent; } kCases[] = {
    {13021, 1, "Category", "", "L1=?1"},
    {13030, 1, "Category", "", "L1=?1 AND L2='0'"},
    {13070, 2, "Category", "", "L1=?1 AND L2=?2"},
    {13080, 2, "Point", "", "L1=?1 AND L2=?2"},
    {13081, 1, "Category", "", "L3='0' AND Name=?1"},
    {13082, 2, "Point", "SELECT * FROM Point ", "L1=?1 AND L2=?2"},
    {13083, 1, "Category", "SELECT * FROM Category ", "L1=?1 AND L2='0'"},
    {12030, 1, "Category", "", "L1=?1 AND L2='0'"},
    {12041, 2, "Category", "", "L1=?1 AND L2=?2"},
    {12051, 2, "Point", "", "L1=?1 AND L2=?2"},
};

sqlite3* g_db = nullptr;

sqlite3_stmt* Prepare(const std::string& sql, const std::vector<std::string>& values, const char** tail = nullptr)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(g_db, sql.c_str(), static_cast<int>(sql.size()), &st, tail) != SQLITE_OK || !st)
        return sqlite3_finalize(st), nullptr;
    for (size_t i = 0; i < values.size(); ++i)
        sqlite3_bind_text(st, int(i + 1), values[i].data(), int(values[i].size()), SQLITE_TRANSIENT);
    return st;
}

// Every row (byte-exact), sorted; the statement is finalized.
std::vector<std::string> Rows(sqlite3_stmt* st)
{
    std::vector<std::string> rows;
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::string& row = rows.emplace_back();
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            const char* t = static_cast<const char*>(sqlite3_column_blob(st, i));
            row.append(t ? t : "", sqlite3_column_bytes(st, i)) += '\0'; // no stored value holds a NUL
        }
    }
    sqlite3_finalize(st);
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<std::string> Query(const std::string& sql, const std::vector<std::string>& values = {})
{
    sqlite3_stmt* st = Prepare(sql, values);
    FUZZ_CHECK(st);
    return Rows(st);
}

// Rows whose key columns hold the values, and near misses of them.
void InsertRows(const std::string& a, const std::string& b)
{
    const std::vector<std::vector<std::string>> keys = {{a, b, "0"},      {a, "0", "0"},     {a, "x", "0"},
                                                        {"01", b, "1"},   {b, a, "0"},       {a + "'", b, "0"},
                                                        {a, b + " ", "0"}, {"01", "01", "0"}, {"0", "0", "0"}};
    int n = 0;
    for (const auto& k : keys)
        for (const char* table : {"Category", "Point"}) // names too; a braced list is evaluated in order
            Query(std::string("INSERT INTO ") + table + " (L1,L2,L3,Name,NamePronounce) VALUES (?,?,?,?,?)",
                  {k[0], k[1], k[2], n % 3 == 0 ? a : n % 3 == 1 ? b : std::string("name"), std::to_string(n++)});
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FUZZ_CHECK(sqlite3_open(":memory:", &g_db) == SQLITE_OK);
    Query(LoadResStringUtf8(10010));
    Query(LoadResStringUtf8(10020));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 1024)
        return 0;
    const Case& c = kCases[data[0] % (sizeof kCases / sizeof kCases[0])];
    const std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    const size_t cut = c.values == 2 ? std::min<size_t>(data[1], rest.size()) : rest.size();
    const std::string a = rest.substr(0, cut), b = rest.substr(cut);
    std::string statement = c.prefix + (c.values == 2 ? FormatSql(c.id, a, b) : FormatSql(c.id, a));
    if (statement.compare(0, 13, "DELETE * FROM") == 0) // the engine's one dialect step
        statement = "DELETE FROM" + statement.substr(13);
    std::vector<std::string> utf8(c.values); // a NUL byte is never part of a double-byte character
    const bool storable = (a + b).find('\0') == std::string::npos && Cp932ToUtf8(a, utf8[0]) &&
                          (c.values == 1 || Cp932ToUtf8(b, utf8[1]));
    std::string sql;
    if (!Cp932ToUtf8(statement, sql))
        return FUZZ_CHECK(!storable), 0;
    Query("BEGIN");
    InsertRows(storable ? utf8[0] : "01", storable && c.values == 2 ? utf8[1] : "01");
    const std::string table = c.table, other = table == "Point" ? "Category" : "Point";
    const std::vector<std::string> all = Query("SELECT * FROM " + table), otherBefore = Query("SELECT * FROM " + other);
    const char* tail = nullptr;
    sqlite3_stmt* st = Prepare(sql, {}, &tail);
    const bool deletes = c.id < 13000;
    if (st && tail && sql.find_first_not_of(" \t\r\n;", tail - sql.c_str()) == std::string::npos) {
        FUZZ_CHECK(sqlite3_stmt_readonly(st) == !deletes);
        const std::string where = std::string(deletes ? " WHERE NOT (" : " WHERE (") + c.equivalent + ")";
        const std::vector<std::string> expected =
            storable ? Query("SELECT * FROM " + table + where, utf8) : deletes ? all : std::vector<std::string>();
        const std::vector<std::string> got = deletes ? (Rows(st), Query("SELECT * FROM " + table)) : Rows(st);
        FUZZ_CHECK(got == expected && Query("SELECT * FROM " + other) == otherBefore);
    } else {
        FUZZ_CHECK(!storable); // only a value that cannot be stored may break the statement
        sqlite3_finalize(st);
    }
    Query("ROLLBACK");
    return 0;
}
