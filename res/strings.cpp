#include "res/strings.h"

#include <string>
#include <unordered_map>

#include "platform/cp932.h"

namespace {

struct Entry {
    UINT id;
    const char* utf8;
};

// The table itself, in UTF-8.
const Entry kStrings[] = {
#include "res/strings.inc"
};

// Converted to CP932 once, on first use.
const std::unordered_map<UINT, std::string>& Table()
{
    static const std::unordered_map<UINT, std::string> table = [] {
        std::unordered_map<UINT, std::string> t;
        for (const Entry& e : kStrings)
            t.emplace(e.id, FromUtf8(e.utf8));
        return t;
    }();
    return table;
}

} // namespace

std::string LoadResString(UINT nID)
{
    auto it = Table().find(nID);
    return it == Table().end() ? std::string() : it->second;
}

std::string LoadResStringUtf8(UINT nID)
{
    for (const Entry& e : kStrings)
        if (e.id == nID)
            return e.utf8;
    return std::string();
}

std::string FormatResString(UINT nID, const std::string& argCp932)
{
    const std::string tmpl = LoadResString(nID);
    std::string out;
    for (size_t i = 0; i < tmpl.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(tmpl[i]);
        if (IsCp932LeadByte(c) && i + 1 < tmpl.size()) {
            out += tmpl[i];
            out += tmpl[++i];
        } else if (c == '%' && i + 1 < tmpl.size() && tmpl[i + 1] == 's') {
            out += argCp932;
            ++i;
        } else if (c == '%' && i + 1 < tmpl.size() && tmpl[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            out += tmpl[i];
        }
    }
    return out;
}
