// Values substituted into the string table's statements (SqlValue and
// FormatSql). For any value, the formatted statement, converted and prepared
// as the engine does it against an in-memory guide database, selects (or
// deletes) exactly the rows whose columns equal the values: no value changes
// the statement. A value that has no UTF-8 form, or holds a NUL byte, cannot
// be stored in a database; its statement may be refused, but must never run
// as anything else.
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "platform/cp932.h"
#include "res/strings.h"
#include "searchdb/search_db.h"

namespace {

struct Case {
    UINT id;
    int values;         // how many %s
    const char* table;  // where the rows are
    const char* prefix; // put before a filter (13082, 13083), else ""
    bool deletes;
    const char* equivalent; // the same condition with bound values
};

const Case kCases[] = {
    {13021, 1, "Category", "", false, "L1=?1"},
    {13030, 1, "Category", "", false, "L1=?1 AND L2='0'"},
    {13070, 2, "Category", "", false, "L1=?1 AND L2=?2"},
    {13080, 2, "Point", "", false, "L1=?1 AND L2=?2"},
    {13081, 1, "Category", "", false, "L3='0' AND Name=?1"},
    {13082, 2, "Point", "SELECT * FROM Point ", false, "L1=?1 AND L2=?2"},
    {13083, 1, "Category", "SELECT * FROM Category ", false, "L1=?1 AND L2='0'"},
    {12030, 1, "Category", "", true, "L1=?1 AND L2='0'"},
    {12041, 2, "Category", "", true, "L1=?1 AND L2=?2"},
    {12051, 2, "Point", "", true, "L1=?1 AND L2=?2"},
};

sqlite3* g_db = nullptr;

void Exec(const std::string& sql)
{
    char* err = nullptr;
    if (sqlite3_exec(g_db, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::fprintf(stderr, "%s in %s\n", err ? err : "?", sql.c_str());
        std::abort();
    }
}

void Bind(sqlite3_stmt* st, const std::vector<std::string>& values)
{
    for (size_t i = 0; i < values.size(); ++i)
        sqlite3_bind_text(st, static_cast<int>(i + 1), values[i].data(), static_cast<int>(values[i].size()),
                          SQLITE_TRANSIENT);
}

std::vector<std::string> Rows(sqlite3_stmt* st)
{
    std::vector<std::string> rows;
    while (sqlite3_step(st) == SQLITE_ROW) {
        std::string row;
        for (int i = 0; i < sqlite3_column_count(st); ++i) {
            const char* t = reinterpret_cast<const char*>(sqlite3_column_blob(st, i));
            row += std::to_string(sqlite3_column_bytes(st, i)) + ":" +
                   std::string(t ? t : "", static_cast<size_t>(sqlite3_column_bytes(st, i))) + "|";
        }
        rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::vector<std::string> Query(const std::string& sql, const std::vector<std::string>& values)
{
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(g_db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s in %s\n", sqlite3_errmsg(g_db), sql.c_str());
        std::abort();
    }
    Bind(st, values);
    std::vector<std::string> rows = Rows(st);
    sqlite3_finalize(st);
    return rows;
}

// Rows whose key columns hold the values (and near misses of them).
void InsertRows(const std::vector<std::string>& v)
{
    const std::string a = v[0], b = v.size() > 1 ? v[1] : "01";
    const std::vector<std::vector<std::string>> keys = {
        {a, b, "0"}, {a, "0", "0"}, {a, "x", "0"}, {"01", b, "1"}, {b, a, "0"}, {a + "'", b, "0"},
        {a, b + " ", "0"}, {"01", "01", "0"}, {"0", "0", "0"},
    };
    int n = 0;
    for (const auto& k : keys) {
        for (const char* table : {"Category", "Point"}) {
            sqlite3_stmt* st = nullptr;
            const std::string sql = std::string("INSERT INTO ") + table + " (L1,L2,L3,Name,NamePronounce) VALUES (?1,?2,?3,?4,?5)";
            sqlite3_prepare_v2(g_db, sql.c_str(), -1, &st, nullptr);
            const std::string name = (n % 3 == 0) ? a : (n % 3 == 1 ? b : "name");
            const std::string unique = std::to_string(n++);
            Bind(st, {k[0], k[1], k[2], name, unique});
            sqlite3_step(st);
            sqlite3_finalize(st);
        }
    }
}

// The engine's one dialect step.
std::string ToSqliteDialect(const std::string& sql)
{
    const std::string jet = "DELETE * FROM";
    return sql.compare(0, jet.size(), jet) == 0 ? "DELETE FROM" + sql.substr(jet.size()) : sql;
}

bool OnlyBlanks(const char* p, const char* end)
{
    for (; p < end; ++p)
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';')
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (sqlite3_open(":memory:", &g_db) != SQLITE_OK)
        std::abort();
    Exec(LoadResStringUtf8(10010));
    Exec(LoadResStringUtf8(10020));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 1024)
        return 0;
    const Case& c = kCases[data[0] % (sizeof kCases / sizeof kCases[0])];
    const std::string rest(reinterpret_cast<const char*>(data) + 2, size - 2);
    const size_t cut = std::min<size_t>(data[1], rest.size());
    std::vector<std::string> cp932 = {rest.substr(0, cut)};
    if (c.values == 2)
        cp932.push_back(rest.substr(cut));
    else
        cp932[0] = rest;

    // The quoting alone: every single quote of a value is doubled.
    for (const std::string& v : cp932) {
        const std::string q = SqlValue(v);
        FUZZ_CHECK(q.size() >= v.size(), "SqlValue shortened a value");
    }

    std::string statement = c.values == 2 ? FormatSql(c.id, cp932[0], cp932[1]) : FormatSql(c.id, cp932[0]);
    statement = ToSqliteDialect(c.prefix + statement);

    bool storable = true;
    std::vector<std::string> utf8;
    for (const std::string& v : cp932) {
        std::string u;
        if (!Cp932ToUtf8(v, u) || u.find('\0') != std::string::npos)
            storable = false;
        utf8.push_back(u);
    }

    std::string sqlUtf8;
    const bool converts = Cp932ToUtf8(statement, sqlUtf8);
    FUZZ_CHECK(converts || !storable, "the statement of storable values does not convert");
    if (!converts)
        return 0;

    Exec("BEGIN");
    if (storable)
        InsertRows(utf8);
    else
        InsertRows({"01", "01"});
    const std::string table = c.table;
    const std::vector<std::string> all = Query("SELECT * FROM " + table, {});

    sqlite3_stmt* st = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(g_db, sqlUtf8.c_str(), static_cast<int>(sqlUtf8.size()), &st, &tail);
    const bool single = rc == SQLITE_OK && st && OnlyBlanks(tail, sqlUtf8.c_str() + sqlUtf8.size());
    if (!single) {
        sqlite3_finalize(st);
        Exec("ROLLBACK");
        FUZZ_CHECK(!storable, "the statement of storable values was refused (%s): %s", sqlite3_errmsg(g_db),
                   sqlUtf8.c_str());
        return 0;
    }
    FUZZ_CHECK(sqlite3_stmt_readonly(st) == !c.deletes, "the statement changed kind: %s", sqlUtf8.c_str());

    if (!c.deletes) {
        const std::vector<std::string> got = Rows(st);
        sqlite3_finalize(st);
        const std::vector<std::string> want =
            storable ? Query("SELECT * FROM " + table + " WHERE " + c.equivalent, utf8) : std::vector<std::string>();
        FUZZ_CHECK(got == want, "selected %zu rows, expected %zu: %s", got.size(), want.size(), sqlUtf8.c_str());
        FUZZ_CHECK(storable || got.empty(), "a value that cannot be stored selected rows: %s", sqlUtf8.c_str());
    } else {
        const std::vector<std::string> keep =
            storable ? Query("SELECT * FROM " + table + " WHERE NOT (" + c.equivalent + ")", utf8) : all;
        const std::string other = table == "Point" ? "Category" : "Point";
        const std::vector<std::string> otherBefore = Query("SELECT * FROM " + other, {});
        const int step = sqlite3_step(st);
        sqlite3_finalize(st);
        FUZZ_CHECK(step == SQLITE_DONE, "the delete failed: %s", sqlUtf8.c_str());
        const std::vector<std::string> left = Query("SELECT * FROM " + table, {});
        FUZZ_CHECK(left == keep, "%zu rows left, expected %zu: %s", left.size(), keep.size(), sqlUtf8.c_str());
        FUZZ_CHECK(Query("SELECT * FROM " + other, {}) == otherBefore, "the delete reached %s: %s", other.c_str(),
                   sqlUtf8.c_str());
    }
    Exec("ROLLBACK");
    return 0;
}
