// pellvane-reg: reads and writes the installer's registry files (in
// $TESSRA_REGISTRY_DIR) through the same calls the installer makes.
// Arguments and output are UTF-8; an empty NAME is the key's default value.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/cp932.h"
#include "platform/registry.h"
#include "platform/registry_store.h"

namespace {

const char kUsage[] =
    "usage: pellvane-reg get KEYPATH NAME\n"
    "       pellvane-reg set KEYPATH NAME TEXT\n"
    "       pellvane-reg set-dword KEYPATH NAME NUMBER\n"
    "       pellvane-reg delete-value KEYPATH NAME\n"
    "       pellvane-reg delete-key KEYPATH\n"
    "       pellvane-reg dump KEYPATH\n"
    "KEYPATH begins with HKEY_LOCAL_MACHINE\\ or HKEY_CLASSES_ROOT\\.\n"
    "get prints nothing and exits with 1 when the value is missing.\n";

struct KeyPath {
    HKEY root = nullptr;
    const char* rootName = nullptr;
    std::string subKeyUtf8; // below the root, "" for the root itself
};

bool ParseKeyPath(const std::string& arg, KeyPath& out)
{
    static const struct {
        const char* name;
        HKEY key;
    } roots[] = {{"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT}};
    for (const auto& r : roots) {
        const size_t n = std::strlen(r.name);
        if (arg.compare(0, n, r.name) == 0 && (arg.size() == n || arg[n] == '\\')) {
            out.root = r.key;
            out.rootName = r.name;
            out.subKeyUtf8 = arg.size() > n ? arg.substr(n + 1) : std::string();
            return true;
        }
    }
    return false;
}

const char* ErrorText(LONG rc)
{
    switch (rc) {
    case ERROR_FILE_NOT_FOUND: return "not found";
    case ERROR_ACCESS_DENIED: return "access denied: the registry folder or file cannot be written";
    case ERROR_INVALID_PARAMETER: return "invalid parameter";
    case ERROR_INVALID_DATA: return "the stored text has no code page 932 form";
    case ERROR_WRITE_FAULT: return "the registry file could not be written";
    case ERROR_BADDB: return "the registry file is not in the expected format; left untouched";
    default: return "failed";
    }
}

int Fail(const std::string& what, LONG rc)
{
    std::fprintf(stderr, "pellvane-reg: %s: %s\n", what.c_str(), ErrorText(rc));
    return 1;
}

// A command-line argument in CP932, or exit with a message.
std::string ToCp932OrExit(const std::string& utf8, const char* what)
{
    std::string cp932;
    if (!Utf8ToCp932(utf8, cp932)) {
        std::fprintf(stderr, "pellvane-reg: the %s \"%s\" has no code page 932 form\n", what, utf8.c_str());
        std::exit(2);
    }
    return cp932;
}

std::vector<std::string> SplitUtf8Path(const std::string& s)
{
    std::vector<std::string> parts;
    size_t i = 0;
    while (i < s.size()) {
        size_t j = s.find('\\', i);
        if (j == std::string::npos)
            j = s.size();
        if (j > i)
            parts.push_back(s.substr(i, j - i));
        i = j + 1;
    }
    return parts;
}

int Get(const KeyPath& kp, const std::string& subKey, const std::string& name)
{
    HKEY key;
    if (RegOpenKeyExA(kp.root, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 1;
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    std::vector<unsigned char> buf(size + 1);
    if (rc == ERROR_SUCCESS)
        rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, buf.data(), &size);
    RegCloseKey(key);
    if (rc == ERROR_FILE_NOT_FOUND)
        return 1;
    if (rc != ERROR_SUCCESS)
        return Fail("get", rc);
    if (type == REG_SZ) {
        const std::string cp932(reinterpret_cast<const char*>(buf.data()), ::strnlen(reinterpret_cast<const char*>(buf.data()), size));
        std::printf("%s\n", ToUtf8(cp932).c_str());
    } else if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD d;
        std::memcpy(&d, buf.data(), sizeof d);
        std::printf("%u\n", static_cast<unsigned>(d));
    } else {
        for (DWORD i = 0; i < size; ++i)
            std::printf("%s%02x", i ? "," : "", buf[i]);
        std::printf("\n");
    }
    return 0;
}

int Set(const KeyPath& kp, const std::string& subKey, const std::string& name, DWORD type,
        const std::string& data)
{
    HKEY key;
    LONG rc = RegCreateKeyExA(kp.root, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
        return Fail("cannot create the key", rc);
    rc = RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const unsigned char*>(data.data()),
                        static_cast<DWORD>(data.size()));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 0 : Fail("cannot set the value", rc);
}

int DeleteValue(const KeyPath& kp, const std::string& subKey, const std::string& name)
{
    HKEY key;
    LONG rc = RegOpenKeyExA(kp.root, subKey.c_str(), 0, KEY_SET_VALUE, &key);
    if (rc != ERROR_SUCCESS)
        return Fail("cannot open the key", rc);
    rc = RegDeleteValueA(key, name.c_str());
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 0 : Fail("cannot delete the value", rc);
}

int Dump(const KeyPath& kp)
{
    const registry_store::Key root = registry_store::Load(kp.rootName);
    const std::string text = registry_store::SerializeSubtree(root, kp.rootName, SplitUtf8Path(kp.subKeyUtf8));
    if (text.empty())
        return 1;
    std::fputs(text.c_str(), stdout);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    KeyPath kp;
    if (args.size() < 2 || !ParseKeyPath(args[1], kp)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string& cmd = args[0];
    const std::string subKey = ToCp932OrExit(kp.subKeyUtf8, "key path");
    auto need = [&](size_t n) {
        if (args.size() != n) {
            std::fputs(kUsage, stderr);
            std::exit(2);
        }
    };

    if (cmd == "get") {
        need(3);
        return Get(kp, subKey, ToCp932OrExit(args[2], "value name"));
    }
    if (cmd == "set") {
        need(4);
        return Set(kp, subKey, ToCp932OrExit(args[2], "value name"), REG_SZ,
                   ToCp932OrExit(args[3], "text") + '\0');
    }
    if (cmd == "set-dword") {
        need(4);
        errno = 0;
        char* end = nullptr;
        const unsigned long long n = std::strtoull(args[3].c_str(), &end, 0);
        if (args[3].empty() || *end || errno || n > 0xFFFFFFFFull || args[3][0] == '-') {
            std::fprintf(stderr, "pellvane-reg: \"%s\" is not a number from 0 to 4294967295\n", args[3].c_str());
            return 2;
        }
        const DWORD d = static_cast<DWORD>(n);
        return Set(kp, subKey, ToCp932OrExit(args[2], "value name"), REG_DWORD,
                   std::string(reinterpret_cast<const char*>(&d), sizeof d));
    }
    if (cmd == "delete-value") {
        need(3);
        return DeleteValue(kp, subKey, ToCp932OrExit(args[2], "value name"));
    }
    if (cmd == "delete-key") {
        need(2);
        if (subKey.empty()) {
            std::fputs("pellvane-reg: a root cannot be deleted\n", stderr);
            return 2;
        }
        const LONG rc = RegDeleteKeyA(kp.root, subKey.c_str());
        if (rc == ERROR_ACCESS_DENIED) {
            std::fputs("pellvane-reg: cannot delete the key: it has subkeys, or the registry "
                       "cannot be written\n", stderr);
            return 1;
        }
        return rc == ERROR_SUCCESS ? 0 : Fail("cannot delete the key", rc);
    }
    if (cmd == "dump") {
        need(2);
        return Dump(kp);
    }
    std::fputs(kUsage, stderr);
    return 2;
}
