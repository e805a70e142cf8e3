#include "platform/registry_store.h"

#include <cstring>

namespace registry_store {

namespace {

const char kHeader[] = "Windows Registry Editor Version 5.00";

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// ---------------------------------------------------------------- text form
//
// A file is understood when, and only when it is empty (no bytes), or:
//  - it is valid UTF-8 (an optional UTF-8 byte order mark aside) and its
//    first line is exactly the header above;
//  - every further line is blank, a section header "[<root>]" or
//    "[<root>\a\b]" naming this file's root with no empty key name, or a
//    value line of the section above it: "Name"= or @= followed by "text"
//    (only \\ and \" escaped), dword:<1-8 hex digits>, or hex:/hex(n): with
//    comma-separated bytes, continued over lines ending in "\";
//  - hex(1) data, the editor's form of a string it cannot quote, is UTF-16LE.
// Comments, deletion entries ("-" values, "[-key]"), other roots and anything
// else are not understood: such a file reads as empty, and no write replaces
// it, so nothing an administrator put there is lost.

bool ValidUtf8(const std::string& s)
{
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len;
        unsigned long cp;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (int k = 1; k < len; ++k) {
            const unsigned char t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

void AppendUtf8(std::string& out, unsigned long cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16LE with its terminator, as hex(1) holds a string. The input is valid
// UTF-8 (the store only holds such text).
std::string Utf8ToUtf16Le(const std::string& s)
{
    std::string out;
    auto put = [&out](unsigned long u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>((u >> 8) & 0xFF);
    };
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        unsigned long cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k < len && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 | (cp >> 10));
            put(0xDC00 | (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    put(0);
    return out;
}

// The text of hex(1) data: UTF-16LE, ending in one terminator (the editor
// always writes it) and holding no other NUL. False otherwise.
bool Utf16LeToUtf8(const std::string& bytes, std::string& out)
{
    if (bytes.size() % 2 != 0 || bytes.size() < 2)
        return false;
    const size_t units = bytes.size() / 2 - 1;
    auto unit = [&bytes](size_t k) {
        return static_cast<unsigned long>(static_cast<unsigned char>(bytes[2 * k])) |
               (static_cast<unsigned long>(static_cast<unsigned char>(bytes[2 * k + 1])) << 8);
    };
    if (unit(units) != 0)
        return false;
    std::string result;
    for (size_t k = 0; k < units; ++k) {
        unsigned long u = unit(k);
        if (u == 0 || (u >= 0xDC00 && u <= 0xDFFF))
            return false;
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (k + 1 >= units)
                return false;
            const unsigned long lo = unit(++k);
            if (lo < 0xDC00 || lo > 0xDFFF)
                return false;
            u = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
        }
        AppendUtf8(result, u);
    }
    out = std::move(result);
    return true;
}

// Reads a quoted string starting at s[pos] == '"'; pos ends after the closing
// quote. Only \\ and \" are escapes.
bool ParseQuoted(const std::string& s, size_t& pos, std::string& out)
{
    if (pos >= s.size() || s[pos] != '"')
        return false;
    std::string result;
    for (size_t i = pos + 1; i < s.size(); ++i) {
        const char c = s[i];
        // A carriage return cannot stand between quotes in the editor's
        // format (such a string is written as hex(1)).
        if (c == '\r')
            return false;
        if (c == '"') {
            pos = i + 1;
            out = std::move(result);
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"'))
                return false;
            result += s[++i];
        } else {
            result += c;
        }
    }
    return false;
}

std::string Quote(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = AsciiLower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool ParseHexNumber(const std::string& s, size_t maxDigits, unsigned long& out)
{
    if (s.empty() || s.size() > maxDigits)
        return false;
    unsigned long v = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0)
            return false;
        v = v * 16 + static_cast<unsigned long>(d);
    }
    out = v;
    return true;
}

// "xx,xx,xx" (possibly empty) into bytes.
bool ParseHexBytes(const std::string& list, std::string& out)
{
    out.clear();
    if (list.empty())
        return true;
    size_t i = 0;
    while (true) {
        size_t j = list.find(',', i);
        std::string item = list.substr(i, j == std::string::npos ? std::string::npos : j - i);
        unsigned long b;
        if (item.size() != 2 || !ParseHexNumber(item, 2, b))
            return false;
        out += static_cast<char>(b);
        if (j == std::string::npos)
            return true;
        i = j + 1;
    }
}

std::string TrimLeft(const std::string& s)
{
    size_t i = s.find_first_not_of(" \t");
    return i == std::string::npos ? std::string() : s.substr(i);
}

bool IsBlank(const std::string& s)
{
    return s.find_first_not_of(" \t") == std::string::npos;
}

bool SplitKeyPath(const std::string& inner, const std::string& rootName, std::vector<std::string>& path)
{
    path.clear();
    if (inner.size() < rootName.size() || !NamesEqual(inner.substr(0, rootName.size()), rootName))
        return false;
    if (inner.size() == rootName.size())
        return true;
    if (inner[rootName.size()] != '\\')
        return false;
    size_t i = rootName.size() + 1;
    while (true) {
        size_t j = inner.find('\\', i);
        std::string part = inner.substr(i, j == std::string::npos ? std::string::npos : j - i);
        if (part.empty())
            return false;
        path.push_back(part);
        if (j == std::string::npos)
            return true;
        i = j + 1;
    }
}

bool IsHexValueLine(const std::string& line)
{
    size_t pos = 0;
    std::string name;
    if (line[0] == '@')
        pos = 1;
    else if (!ParseQuoted(line, pos, name))
        return false;
    return line.compare(pos, 4, "=hex") == 0;
}

// One value line (with its continuation lines already joined) into key.
bool ParseValueLine(const std::string& line, Key& key)
{
    Value v;
    size_t pos = 0;
    if (line[0] == '@') {
        pos = 1;
    } else if (!ParseQuoted(line, pos, v.name)) {
        return false;
    }
    if (pos >= line.size() || line[pos] != '=')
        return false;
    const std::string data = line.substr(pos + 1);
    if (!data.empty() && data[0] == '"') {
        size_t p = 0;
        if (!ParseQuoted(data, p, v.data) || p != data.size())
            return false;
        v.type = REG_SZ;
    } else if (data.compare(0, 6, "dword:") == 0) {
        unsigned long n;
        if (!ParseHexNumber(data.substr(6), 8, n))
            return false;
        const DWORD d = static_cast<DWORD>(n);
        v.type = REG_DWORD;
        v.data.assign(reinterpret_cast<const char*>(&d), sizeof d);
    } else if (data.compare(0, 3, "hex") == 0) {
        size_t colon = data.find(':');
        if (colon == std::string::npos)
            return false;
        const std::string kind = data.substr(3, colon - 3);
        unsigned long type = 3; // hex: is REG_BINARY
        if (!kind.empty()) {
            if (kind.size() < 3 || kind.front() != '(' || kind.back() != ')' ||
                !ParseHexNumber(kind.substr(1, kind.size() - 2), 8, type))
                return false;
        }
        if (!ParseHexBytes(data.substr(colon + 1), v.data))
            return false;
        v.type = static_cast<DWORD>(type);
        if (v.type == REG_SZ) {
            std::string text;
            if (!Utf16LeToUtf8(v.data, text))
                return false;
            v.data = text;
        } else if (v.type == REG_DWORD) {
            return false; // the editor writes dword: for these
        }
    } else {
        return false;
    }
    if (Value* existing = key.FindValue(v.name))
        *existing = std::move(v);
    else
        key.values.push_back(std::move(v));
    return true;
}

std::string HexLine(const std::string& prefix, const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out = prefix;
    size_t column = out.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 0xF];
        column += 2;
        if (i + 1 < bytes.size()) {
            out += ',';
            ++column;
            if (column > 76) {
                out += "\\\n  ";
                column = 2;
            }
        }
    }
    return out;
}

void SerializeValue(const Value& v, std::string& out)
{
    std::string line = v.name.empty() ? "@=" : Quote(v.name) + "=";
    if (v.type == REG_SZ && v.data.find_first_of("\r\n") == std::string::npos) {
        line += Quote(v.data);
    } else if (v.type == REG_SZ) {
        // A line break cannot stand between quotes; the editor's own answer.
        line = HexLine(line + "hex(1):", Utf8ToUtf16Le(v.data));
    } else if (v.type == REG_DWORD && v.data.size() == sizeof(DWORD)) {
        DWORD d;
        std::memcpy(&d, v.data.data(), sizeof d);
        char buf[16];
        std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(d));
        line += buf;
    } else if (v.type == 3) {
        line = HexLine(line + "hex:", v.data);
    } else {
        char buf[24];
        std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
        line = HexLine(line + buf, v.data);
    }
    out += line;
    out += '\n';
}

void SerializeKey(const Key& key, const std::string& path, bool isRoot, std::string& out)
{
    if (!isRoot || !key.values.empty()) {
        out += "[" + path + "]\n";
        for (const Value& v : key.values)
            SerializeValue(v, out);
        out += '\n';
    }
    for (const Key& sub : key.subkeys)
        SerializeKey(sub, path + "\\" + sub.name, false, out);
}

} // namespace

bool Parse(const std::string& textIn, const std::string& rootName, Key& root)
{
    root = Key{};
    std::string text = textIn;
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text.erase(0, 3);
    // A NUL has no place in the editor's text; a string holding one could
    // not be written back.
    if (!ValidUtf8(text) || text.find('\0') != std::string::npos)
        return false;

    std::vector<std::string> lines;
    for (size_t i = 0; i <= text.size();) {
        size_t j = text.find('\n', i);
        if (j == std::string::npos)
            j = text.size();
        std::string line = text.substr(i, j - i);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        i = j + 1;
    }
    // A file of no bytes at all holds nothing that a write could lose (an
    // administrator may create one to set its owner and mode).
    if (text.empty())
        return true;
    if (lines[0] != kHeader)
        return false;

    Key parsed;
    Key* current = nullptr;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (IsBlank(line))
            continue;
        if (line[0] == '[') {
            std::vector<std::string> path;
            if (line.back() != ']' || line.size() < 2 ||
                !SplitKeyPath(line.substr(1, line.size() - 2), rootName, path))
                return false;
            current = &parsed;
            for (const std::string& part : path)
                current = &current->FindOrAddSubkey(part);
            continue;
        }
        if (!current || (line[0] != '"' && line[0] != '@'))
            return false;
        // hex data may go on over lines that end in "\".
        std::string joined = line;
        if (IsHexValueLine(line)) {
            while (joined.back() == '\\' && i + 1 < lines.size()) {
                joined.pop_back();
                joined += TrimLeft(lines[++i]);
            }
        }
        if (!ParseValueLine(joined, *current))
            return false;
    }
    root = std::move(parsed);
    return true;
}

std::string Serialize(const Key& root, const std::string& rootName)
{
    std::string out = std::string(kHeader) + "\n\n";
    SerializeKey(root, rootName, true, out);
    return out;
}

std::string SerializeSubtree(const Key& root, const std::string& rootName,
                             const std::vector<std::string>& path)
{
    const Key* key = FindKey(root, path);
    if (!key)
        return std::string();
    std::string name = rootName;
    const Key* k = &root;
    for (const std::string& part : path) {
        k = k->FindSubkey(part);
        name += "\\" + k->name;
    }
    std::string out;
    // The root's own section is shown even when it holds no value.
    if (path.empty() && key->values.empty())
        out += "[" + name + "]\n\n";
    SerializeKey(*key, name, path.empty(), out);
    return out;
}

} // namespace registry_store
