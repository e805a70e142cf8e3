// The registry's root file reader. The input is written as
// HKEY_LOCAL_MACHINE.reg in a scratch registry folder; then:
// - a file the store understands survives its own round trip unchanged, and
//   every key and value in it reads back through the Win32 calls (with a
//   buffer one byte short answering ERROR_MORE_DATA and writing nothing);
// - a value set through the Win32 calls is added without losing anything
//   that was there;
// - a file the store does not understand is never overwritten.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
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

std::string g_dir;
std::string g_file;

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteAll(const std::string& path, const uint8_t* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

bool Usable(const std::string& utf8)
{
    return utf8.find('\0') == std::string::npos && utf8.find('\n') == std::string::npos &&
           utf8.find('\r') == std::string::npos;
}

// The key paths of the tree below root (CP932, "\"-joined) with the key,
// at most limit of them.
void CollectKeys(const registry_store::Key& key, const std::string& pathCp932,
                 std::vector<std::pair<std::string, const registry_store::Key*>>& out, size_t limit)
{
    for (const registry_store::Key& sub : key.subkeys) {
        if (out.size() >= limit)
            return;
        std::string name;
        if (!Usable(sub.name) || !Utf8ToCp932(sub.name, name) || name.empty())
            continue;
        const std::string path = pathCp932.empty() ? name : pathCp932 + "\\" + name;
        out.emplace_back(path, &sub);
        CollectKeys(sub, path, out, limit);
    }
}

void CheckValue(HKEY key, const registry_store::Value& v)
{
    std::string name;
    if (!Usable(v.name) || !Utf8ToCp932(v.name, name))
        return;
    std::string expected;
    if (v.type == REG_SZ) {
        if (!Utf8ToCp932(v.data, expected)) {
            DWORD size = 0;
            const LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, &size);
            FUZZ_CHECK(rc == ERROR_INVALID_DATA, "a text with no CP932 form read as %ld", rc);
            return;
        }
        expected += '\0';
    } else {
        expected = v.data;
    }
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    FUZZ_CHECK(rc == ERROR_SUCCESS, "size query of a stored value: %ld", rc);
    FUZZ_CHECK(type == v.type && size == expected.size(), "type %lu size %lu, stored %lu size %zu",
               static_cast<unsigned long>(type), static_cast<unsigned long>(size),
               static_cast<unsigned long>(v.type), expected.size());

    // Exactly sized: the bytes. One byte short: ERROR_MORE_DATA and the
    // needed size; the sanitizer sees any write past the buffer.
    std::vector<unsigned char> exact(expected.size() + (expected.empty() ? 1 : 0));
    DWORD cb = static_cast<DWORD>(expected.size());
    rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, exact.data(), &cb);
    FUZZ_CHECK(rc == ERROR_SUCCESS && cb == expected.size() &&
                   std::memcmp(exact.data(), expected.data(), expected.size()) == 0,
               "value read back differs (rc %ld)", rc);
    if (!expected.empty()) {
        unsigned char* shortBuf = new unsigned char[expected.size() - 1 + 1]; // at least one byte
        cb = static_cast<DWORD>(expected.size() - 1);
        rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, shortBuf, &cb);
        FUZZ_CHECK(rc == ERROR_MORE_DATA && cb == expected.size(), "short buffer: rc %ld, size %lu", rc,
                   static_cast<unsigned long>(cb));
        delete[] shortBuf;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (base && *base ? base : "/tmp")) +
                       "/pellvane-fuzz-registry-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        std::abort();
    g_dir = buf.data();
    g_file = g_dir + "/" + kRoot + ".reg";
    setenv("TESSRA_REGISTRY_DIR", g_dir.c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 16384)
        return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    WriteAll(g_file, data, size);

    registry_store::Key tree;
    const bool understood = registry_store::Parse(input, kRoot, tree);

    if (understood) {
        const std::string text = registry_store::Serialize(tree, kRoot);
        registry_store::Key again;
        FUZZ_CHECK(registry_store::Parse(text, kRoot, again), "the store cannot read what it wrote:\n%s",
                   text.c_str());
        FUZZ_CHECK(registry_store::Serialize(again, kRoot) == text, "the round trip changed the file:\n%s",
                   text.c_str());

        std::vector<std::pair<std::string, const registry_store::Key*>> keys;
        CollectKeys(tree, "", keys, 32);
        size_t values = 0;
        for (const auto& [path, key] : keys) {
            HKEY h = nullptr;
            const LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &h);
            FUZZ_CHECK(rc == ERROR_SUCCESS, "a stored key does not open: %ld", rc);
            for (const registry_store::Value& v : key->values) {
                if (++values > 64)
                    break;
                CheckValue(h, v);
            }
            RegCloseKey(h);
        }
    }

    // What the installer reads at start, whatever the file holds.
    HKEY guide = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory", 0,
                      KEY_READ, &guide) == ERROR_SUCCESS) {
        unsigned char buf[260];
        DWORD cb = sizeof buf, type = 0;
        RegQueryValueExA(guide, "DataPath_1", nullptr, &type, buf, &cb);
        RegCloseKey(guide);
    }

    // A write adds its value and keeps everything else.
    HKEY key = nullptr;
    DWORD disposition = 0;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Veltrane Corporation\\Fuzz", 0, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, &disposition);
    if (rc == ERROR_SUCCESS) {
        const char text[] = "C:\\Tessra\\Data";
        rc = RegSetValueExA(key, "DataPath_1", 0, REG_SZ, reinterpret_cast<const unsigned char*>(text), sizeof text);
        RegCloseKey(key);
    }
    const std::string after = ReadAll(g_file);
    if (!understood && !input.empty()) {
        FUZZ_CHECK(rc != ERROR_SUCCESS, "a write into a file the store does not understand succeeded");
        FUZZ_CHECK(after == input, "a file the store does not understand was overwritten");
    } else {
        FUZZ_CHECK(rc == ERROR_SUCCESS, "a write into a file the store understands failed: %ld", rc);
        registry_store::Key expected = tree;
        registry_store::Key& k =
            expected.FindOrAddSubkey("SOFTWARE").FindOrAddSubkey("Veltrane Corporation").FindOrAddSubkey("Fuzz");
        if (registry_store::Value* v = k.FindValue("DataPath_1")) {
            v->type = REG_SZ;
            v->data = "C:\\Tessra\\Data";
        } else {
            k.values.push_back({"DataPath_1", REG_SZ, "C:\\Tessra\\Data"});
        }
        registry_store::Key written;
        FUZZ_CHECK(registry_store::Parse(after, kRoot, written), "the written file is not understood");
        FUZZ_CHECK(registry_store::Serialize(written, kRoot) == registry_store::Serialize(expected, kRoot),
                   "the write lost or changed other values:\n--- before\n%s\n--- after\n%s", input.c_str(),
                   after.c_str());
    }
    return 0;
}
