// The registry's root file reader, on any HKEY_LOCAL_MACHINE.reg: a file the store understands survives its
// own round trip and reads back through the Win32 calls (a buffer one byte short answers ERROR_MORE_DATA); a
// value set through them is added without losing anything; a file it does not understand is never overwritten.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "platform/cp932.h"
#include "platform/registry.h"
#include "platform/registry_store.h"

using namespace registry_store;

namespace {

const char* const kRoot = "HKEY_LOCAL_MACHINE";
std::string g_file;

// The CP932 form of a name the Win32 calls can take ("\0" for the default value), or "".
std::string Win32Name(const std::string& utf8)
{
    std::string name;
    const bool ok = utf8.find_first_of(std::string("\0\r\n", 3)) == std::string::npos && Utf8ToCp932(utf8, name);
    return !ok ? "" : name.empty() ? std::string(1, '\0') : name;
}

void CheckValue(HKEY key, const Value& v)
{
    const std::string name = Win32Name(v.name);
    std::string expected = v.data;
    DWORD type = 0, cb = 0;
    if (name.empty())
        return;
    if (v.type == REG_SZ && !Utf8ToCp932(v.data, expected))
        return FUZZ_CHECK(RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &cb) == ERROR_INVALID_DATA);
    expected += v.type == REG_SZ ? std::string(1, '\0') : "";
    // Buffers of exact size, so that ASan sees any write past them.
    std::vector<unsigned char> buf(std::max<size_t>(expected.size(), 1)), small(buf.size() - (expected.size() > 1));
    cb = static_cast<DWORD>(expected.size());
    FUZZ_CHECK(RegQueryValueExA(key, name.c_str(), nullptr, &type, buf.data(), &cb) == ERROR_SUCCESS &&
               type == v.type && cb == expected.size() && std::memcmp(buf.data(), expected.data(), cb) == 0);
    cb = static_cast<DWORD>(expected.size() - 1);
    FUZZ_CHECK(expected.empty() || (RegQueryValueExA(key, name.c_str(), nullptr, &type, small.data(), &cb) ==
                                        ERROR_MORE_DATA && cb == expected.size()));
}

// Every key below key (at most 32) and its first values, through Win32.
void CheckTree(const Key& key, const std::string& path, int& budget)
{
    for (const Key& sub : key.subkeys) {
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
    FUZZ_CHECK(dir);
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
    Key tree, again, written;
    const bool understood = Parse(input, kRoot, tree);
    if (understood) {
        const std::string text = Serialize(tree, kRoot);
        FUZZ_CHECK(Parse(text, kRoot, again) && Serialize(again, kRoot) == text);
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
    std::ifstream file(g_file, std::ios::binary);
    const std::string after{std::istreambuf_iterator<char>(file), {}};
    if (!understood && !input.empty())
        return FUZZ_CHECK(rc != ERROR_SUCCESS && after == input), 0;
    FUZZ_CHECK(rc == ERROR_SUCCESS);
    Key& k = tree.FindOrAddSubkey("SOFTWARE").FindOrAddSubkey("Veltrane Corporation").FindOrAddSubkey("Fuzz");
    Value* v = k.FindValue("DataPath_1");
    *(v ? v : &k.values.emplace_back()) = {"DataPath_1", REG_SZ, text}; // replaced where it stands
    FUZZ_CHECK(Parse(after, kRoot, written) && Serialize(written, kRoot) == Serialize(tree, kRoot));
    return 0;
}
