#include "platform/registry_store.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

// ------------------------------------------------------------------- files

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadWhole(const std::string& path, std::string& out)
{
    Fd f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (f.fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat st;
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return ReadResult::Failed;
    std::string text;
    char buf[65536];
    while (true) {
        ssize_t n = ::read(f.fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ReadResult::Failed;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    out = std::move(text);
    return ReadResult::Ok;
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool Writable(const std::string& path)
{
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool WritableFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

LONG ErrnoToResult(int err)
{
    if (err == EACCES || err == EPERM || err == EROFS || err == ENOTDIR || err == EEXIST)
        return ERROR_ACCESS_DENIED;
    return ERROR_WRITE_FAULT;
}

// mkdir -p
LONG MakeFolders(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    if (errno != ENOENT)
        return ErrnoToResult(errno);
    const std::string parent = FolderOf(path);
    if (parent != path) {
        LONG rc = MakeFolders(parent);
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        return ErrnoToResult(errno);
    return ERROR_SUCCESS;
}

// The file a write replaces: the root file, or what it links to, so that an
// administrator's symbolic link survives.
bool ReplacementTarget(const std::string& path, std::string& target)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        target = path;
        return true;
    }
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return false;
    target = real;
    std::free(real);
    return true;
}

LONG ReplaceFile(const std::string& target, const std::string& text, mode_t mode)
{
    const std::string folder = FolderOf(target);
    std::string tmpl = folder + "/." + target.substr(target.find_last_of('/') + 1) + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        return ErrnoToResult(errno);
    const std::string temp = name.data();
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return ErrnoToResult(err);
    }
    // The rename is only durable once the folder itself is on disk.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd >= 0)
        ::fsync(dir.fd);
    return ERROR_SUCCESS;
}

} // namespace

// ------------------------------------------------------------------- tree

bool NamesEqual(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    return true;
}

Key* Key::FindSubkey(const std::string& n)
{
    for (Key& k : subkeys)
        if (NamesEqual(k.name, n))
            return &k;
    return nullptr;
}

const Key* Key::FindSubkey(const std::string& n) const
{
    return const_cast<Key*>(this)->FindSubkey(n);
}

Key& Key::FindOrAddSubkey(const std::string& n)
{
    if (Key* k = FindSubkey(n))
        return *k;
    subkeys.push_back(Key{n, {}, {}});
    return subkeys.back();
}

Value* Key::FindValue(const std::string& n)
{
    for (Value& v : values)
        if (NamesEqual(v.name, n))
            return &v;
    return nullptr;
}

const Value* Key::FindValue(const std::string& n) const
{
    return const_cast<Key*>(this)->FindValue(n);
}

bool Key::RemoveValue(const std::string& n)
{
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (NamesEqual(it->name, n)) {
            values.erase(it);
            return true;
        }
    }
    return false;
}

Key* FindKey(Key& root, const std::vector<std::string>& path)
{
    Key* k = &root;
    for (const std::string& part : path) {
        k = k->FindSubkey(part);
        if (!k)
            return nullptr;
    }
    return k;
}

const Key* FindKey(const Key& root, const std::vector<std::string>& path)
{
    return FindKey(const_cast<Key&>(root), path);
}

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

std::string RootFilePath(const std::string& rootName)
{
    return RegistryDirectory() + "/" + rootName + ".reg";
}

Key Load(const std::string& rootName)
{
    Key root;
    std::string text;
    if (ReadWhole(RootFilePath(rootName), text) == ReadResult::Ok)
        Parse(text, rootName, root);
    return root;
}

bool CanWrite(const std::string& rootName)
{
    const std::string dir = RegistryDirectory();
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return false;
        // Not there yet: the first write makes it under the nearest folder
        // that exists.
        std::string up = dir;
        while (true) {
            const std::string parent = FolderOf(up);
            if (parent == up)
                return false;
            up = parent;
            if (::stat(up.c_str(), &st) == 0)
                return WritableFolder(up);
            if (errno != ENOENT)
                return false;
        }
    }
    if (!WritableFolder(dir))
        return false;
    const std::string file = RootFilePath(rootName);
    if (::stat(file.c_str(), &st) != 0)
        return errno == ENOENT;
    std::string target;
    if (!S_ISREG(st.st_mode) || !Writable(file) || !ReplacementTarget(file, target) ||
        !WritableFolder(FolderOf(target)))
        return false;
    // A file that every write would refuse (ERROR_BADDB) is no more writable
    // than a read-only one.
    std::string text;
    Key root;
    return ReadWhole(target, text) == ReadResult::Ok && Parse(text, rootName, root);
}

LONG Update(const std::string& rootName, const std::function<LONG(Key& root, bool& modified)>& change)
{
    const std::string dir = RegistryDirectory();
    LONG rc = MakeFolders(dir);
    if (rc != ERROR_SUCCESS)
        return rc;

    // Every writer of this root, in any process, holds this lock from its
    // read to its rename, so no writer works on a file another is replacing.
    const std::string lockPath = dir + "/." + rootName + ".lock";
    Fd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (lock.fd < 0 && errno == EACCES) // made by another administrator; flock needs no write access
        lock.fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (lock.fd < 0)
        return ErrnoToResult(errno);
    while (::flock(lock.fd, LOCK_EX) != 0) {
        if (errno != EINTR)
            return ERROR_WRITE_FAULT;
    }

    const std::string path = RootFilePath(rootName);
    std::string target;
    if (!ReplacementTarget(path, target))
        return ERROR_BADDB;
    Key root;
    mode_t mode = 0644;
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return ERROR_BADDB;
        if (!Writable(target))
            return ERROR_ACCESS_DENIED;
        mode = st.st_mode & 07777;
        std::string text;
        if (ReadWhole(target, text) != ReadResult::Ok || !Parse(text, rootName, root))
            return ERROR_BADDB;
    } else if (errno != ENOENT) {
        return ErrnoToResult(errno);
    }

    bool modified = false;
    rc = change(root, modified);
    if (rc != ERROR_SUCCESS || !modified)
        return rc;
    return ReplaceFile(target, Serialize(root, rootName), mode);
}

} // namespace registry_store
