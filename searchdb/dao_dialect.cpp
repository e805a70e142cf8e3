// Names and statement text as Jet has them, in SQLite's terms.
#include <sqlite3.h>

#include <cstring>

#include "platform/cp932.h"
#include "searchdb/dao_impl.h"

namespace dao {

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

} // namespace

int FindNameFrom(const std::vector<std::string>& names, const std::string& name, size_t& next)
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

std::string QueryText(sqlite3_stmt* stmt)
{
    const char* sql = sqlite3_sql(stmt);
    std::string query = sql ? sql : "";
    while (!query.empty() && (IsBlank(query.back()) || query.back() == ';'))
        query.pop_back();
    return query;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
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

} // namespace dao
