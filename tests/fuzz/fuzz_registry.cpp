// The registry's root file reader, on any HKEY_LOCAL_MACHINE.reg: a file the store understands survives its
// own round trip and reads back through the Win32 calls (a buffer one byte short answers ERROR_MORE_DATA); a
// value set through them is added without losing anything; a file it does not understand is never overwritten.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "platform/cp932.h"
#include "platform/registry.h"
#include "platform/registry_store.h"

namespace {

const char* const kRoot = "HKEY_LOCAL_MACHINE";
std::string g_file;

// The CP932 form of a name the Win32 calls can take ("\0" for the default value), or "".
std::string Win32Name(const std::string& utf8)
{
    std::string name;
    if (utf8.find_first_of(std::string("\0\r\n", 3)) != std::string::npos || !Utf8ToCp932(utf8, name))
        return "";
    return name.empty() ? std::string(1, '\0') : name;
}

void CheckValue(HKEY key, const registry_store::Value& v)
{
    const std::string name = Win32Name(v.name);
    std::string expected = v.data;
    DWORD type = 0, cb = 0;
    if (name.empty())
        return;
    if (v.type == REG_SZ && !Utf8ToCp932(v.data, expected)) {
        FUZZ_CHECK(RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &cb) == ERROR_INVALID_DATA);
        return;
    }
    expected += v.type == REG_SZ ? std::string(1, '\0') : "";
    // Buffers of exact size, so that ASan sees any write past them.
    std::vector<unsigned char> buf(std::max<size_t>(expected.size(), 1)), shortBuf(std::max<size_t>(expected.size(), 2) - 1);
    cb = static_cast<DWORD>(expected.size());
    FUZZ_CHECK(RegQueryValueExA(key, name.c_str(), nullptr, &type, buf.data(), &cb) == ERROR_SUCCESS &&
               type == v.type && cb == expected.size() && std::memcmp(buf.data(), expected.data(), cb) == 0);
    cb = static_cast<DWORD>(expected.size() - 1);
    FUZZ_CHECK(expected.empty() || (RegQueryValueExA(key, name.c_str(), nullptr, &type, shortBuf.data(), &cb) ==
                                        ERROR_MORE_DATA && cb == expected.size()));
}

// Every key below key (at most 32) and its first values, through Win32.
void CheckTree(const registry_store::Key& key, const std::string& path, int& budget)
{
    for (const registry_store::Key& sub : key.subkeys) {
        const std::string name = Win32Name(sub.name), subPath = path.empty() ? name : path + "\\" + name;
        HKEY h = nullptr;
        if (name.empty() || !name[0] || --budget < 0)
            continue;
        FUZZ_CHECK(RegOpenKeyExA(HKEY_LOCAL_MACHINE, subPath.c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS);
        for (size_t i = 0; i < sub.values.size() && i < 8; ++i)
            CheckValue(h, sub.values[i]);
        RegCloseKey(h);
        CheckTree(sub, subPath, budget);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char shm[] = "/dev/shm/pellvane-fuzz-registry-XXXXXX", tmp[] = "/tmp/pellvane-fuzz-registry-XXXXXX";
    const char* dir = mkdtemp(shm) ? shm : mkdtemp(tmp); // every run writes the file
    if (!dir)
        std::abort();
    g_file = std::string(dir) + "/" + kRoot + ".reg";
    setenv("TESSRA_REGISTRY_DIR", dir, 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 16384)
        return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::ofstream(g_file, std::ios::binary | std::ios::trunc) << input;
    registry_store::Key tree, again, written;
    const bool understood = registry_store::Parse(input, kRoot, tree);
    if (understood) {
        const std::string text = registry_store::Serialize(tree, kRoot);
        FUZZ_CHECK(registry_store::Parse(text, kRoot, again) && registry_store::Serialize(again, kRoot) == text);
        int budget = 32;
        CheckTree(tree, "", budget);
    }

    HKEY key = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane Corporation\\Fuzz", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    const char text[] = "C:\\Tessra\\Data";
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExA(key, "DataPath_1", 0, REG_SZ, reinterpret_cast<const unsigned char*>(text), sizeof text);
        RegCloseKey(key);
    }
    std::ostringstream after;
    after << std::ifstream(g_file, std::ios::binary).rdbuf();
    if (!understood && !input.empty()) {
        FUZZ_CHECK(rc != ERROR_SUCCESS && after.str() == input);
        return 0;
    }
    FUZZ_CHECK(rc == ERROR_SUCCESS);
    registry_store::Key& k = tree.FindOrAddSubkey("SOFTWARE").FindOrAddSubkey("Veltrane Corporation").FindOrAddSubkey("Fuzz");
    if (registry_store::Value* v = k.FindValue("DataPath_1"))
        *v = {"DataPath_1", REG_SZ, text};
    else
        k.values.push_back({"DataPath_1", REG_SZ, text});
    FUZZ_CHECK(registry_store::Parse(after.str(), kRoot, written) &&
               registry_store::Serialize(written, kRoot) == registry_store::Serialize(tree, kRoot));
    return 0;
}
