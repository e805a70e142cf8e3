// The registry as the host, an administrator and several installer processes
// see it: the exact file text, round trips, concurrent writers, damaged files
// never overwritten, the write-access probe.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/cp932.h"
#include "platform/registry.h"
#include "support/test_support.h"
#include "support/unprivileged.h"

namespace {

const char kGuideKey[] = "SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory";
const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";
const std::string kGuideSections = kHeader +
    "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation]\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices]\n\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory]\n";

// As the installer writes a string: create the key path, then set the value
// with its terminator.
LONG WriteString(const char* subKey, const std::string& name, const std::string& value)
{
    HKEY key;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
    if (rc == ERROR_SUCCESS) {
        rc = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const unsigned char*>(value.c_str()),
                            DWORD(value.size() + 1));
        RegCloseKey(key);
    }
    return rc;
}

// The bytes a read into a 1024-byte buffer gives, or "<rc>" when it fails.
std::string Read(const char* subKey, const std::string& name)
{
    HKEY key;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey, 0, KEY_READ, &key);
    std::vector<char> buf(1024);
    DWORD size = 1024;
    if (rc == ERROR_SUCCESS) {
        rc = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<unsigned char*>(buf.data()), &size);
        RegCloseKey(key);
    }
    return rc == ERROR_SUCCESS ? std::string(buf.data(), size) : "<" + std::to_string(rc) + ">";
}

// A string read back in UTF-8; its size includes the terminator.
std::string ReadText(const char* subKey, const std::string& nameUtf8)
{
    const std::string bytes = Read(subKey, FromUtf8(nameUtf8));
    return bytes[0] == '<' ? bytes : ToUtf8(bytes.substr(0, bytes.size() - 1));
}

// Only the root file and its lock file: no temporary file left behind.
void ExpectNoStrayFiles(const std::string& dir)
{
    for (const std::string& name : ListDir(dir))
        EXPECT_TRUE(name == "HKEY_LOCAL_MACHINE.reg" || name == ".HKEY_LOCAL_MACHINE.lock") << "stray file " << name;
}

class RegistryTest : public testing::Test {
protected:
    ScratchRegistry reg;
    const std::string hklm = reg.file("HKEY_LOCAL_MACHINE");
};

} // namespace

// Names and texts round-trip; key and value names ignore ASCII case and keep
// their first spelling.
TEST_F(RegistryTest, NamesAndTextsRoundTripThroughTheFile)
{
    ASSERT_EQ(WriteString(kGuideKey, "DataPath_1", "/old"), ERROR_SUCCESS);
    const char* other = "software\\VELTRANE CORPORATION\\directoryservices\\GuideDIRECTORY";
    const std::tuple<const char*, const char*, const char*> cases[] = { // name, value, line in the file
        {"DATAPATH_1", "/home/地図表/Guide.dbs", "\"DataPath_1\"=\"/home/地図表/Guide.dbs\""},
        {"\"name\" \\", "say \"hi\" \\ bye \\\"", "\"\\\"name\\\" \\\\\"=\"say \\\"hi\\\" \\\\ bye \\\\\\\"\""},
        {"表ソ能", "/データ/表\\ソ/能.dbs", "\"表ソ能\"=\"/データ/表\\\\ソ/能.dbs\""},
        {"", "the default value", "@=\"the default value\""},
        {"a=b]c[", "=[x]=", "\"a=b]c[\"=\"=[x]=\""},
        {"Lines", "one\ntwo", "\"Lines\"=hex(1):6f,00,6e,00,65,00,0a,00,74,00,77,00,6f,00,00,00"},
    };
    for (const auto& [name, value, line] : cases)
        ASSERT_EQ(WriteString(other, FromUtf8(name), FromUtf8(value)), ERROR_SUCCESS);
    EXPECT_NE(WriteString(kGuideKey, "Bad", "\x81\x20"), ERROR_SUCCESS); // not CP932
    const std::string file = ReadFileBytes(hklm);
    EXPECT_EQ(file.substr(0, kGuideSections.size()), kGuideSections);
    for (const auto& [name, value, line] : cases) {
        EXPECT_EQ(ReadText(kGuideKey, name), value);
        EXPECT_NE(file.find(std::string("\n") + line + "\n"), std::string::npos) << line;
    }
    EXPECT_TRUE(file.find("Bad") == std::string::npos && file.find("/old") == std::string::npos);
    EXPECT_EQ(ReadText(kGuideKey, "ＤataPath_1"), "<2>"); // full-width letters do not fold
}

TEST_F(RegistryTest, StringsReadIntoAFixedBufferNeverOverflowIt)
{
    for (const size_t length : {1023, 5000}) {
        ASSERT_EQ(WriteString(kGuideKey, "Long", std::string(length, 'v')), ERROR_SUCCESS);
        HKEY key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGuideKey, 0, KEY_READ, &key), ERROR_SUCCESS);
        std::vector<unsigned char> buf(1024 + 64, 0xAB); // 64 guard bytes
        DWORD size = 1024;
        EXPECT_EQ(RegQueryValueExA(key, "Long", nullptr, nullptr, buf.data(), &size),
                  length < 1024 ? ERROR_SUCCESS : ERROR_MORE_DATA);
        EXPECT_EQ(size, length + 1);
        EXPECT_EQ(std::vector<unsigned char>(buf.begin() + 1024, buf.end()), std::vector<unsigned char>(64, 0xAB));
        RegCloseKey(key);
    }
}

TEST_F(RegistryTest, FilesNotUnderstoodReadEmptyAndAreNeverOverwritten)
{
    const std::string good = kGuideSections + "\"DataPath_0\"=\"/cdrom/Guide.dbs\"\n\n";
    const std::string cases[] = {
        good + "this is not a registry line\n",
        good.substr(kHeader.size()), // no header
        std::string("\x00\x01\x02\xff\xfe garbage", 14),
        kHeader + "\"x\"=\"y\"\n" + good.substr(kHeader.size()), // value before any section
        good + "\"x\"=\"a\\tb\"\n",
    };
    for (const std::string& bytes : cases) {
        WriteFileBytes(hklm, bytes);
        EXPECT_EQ(Read(kGuideKey, "DataPath_0"), "<2>") << bytes;
        EXPECT_NE(WriteString(kGuideKey, "DataPath_1", "/hd/Guide.dbs"), ERROR_SUCCESS) << bytes;
        EXPECT_EQ(ReadFileBytes(hklm), bytes);
    }
    ExpectNoStrayFiles(reg.dir());
}

// A file an administrator edited with Windows tools (BOM, CRLF, continued
// hex, text with no CP932 form) keeps every value and its mode on a write.
TEST_F(RegistryTest, FilesUnderstoodKeepEveryValueOnWrite)
{
    WriteFileBytes(hklm, "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n[hkey_local_machine\\" + std::string(kGuideKey) + "]\r\n"
                         "\"DataPath_0\"=\"/cdrom/Guide.dbs\"\r\n\"Korean\"=\"한국어\"\r\n\"Blob\"=hex:00,01,\\\r\n  12,13\r\n");
    chmod(hklm.c_str(), 0660);
    ASSERT_EQ(WriteString(kGuideKey, "DataPath_1", "/hd/Guide.dbs"), ERROR_SUCCESS);
    struct stat st;
    EXPECT_TRUE(stat(hklm.c_str(), &st) == 0 && (st.st_mode & 07777) == 0660);
    EXPECT_EQ(ReadText(kGuideKey, "DataPath_0"), "/cdrom/Guide.dbs");
    EXPECT_EQ(ReadText(kGuideKey, "DataPath_1"), "/hd/Guide.dbs");
    EXPECT_EQ(Read(kGuideKey, "Blob"), std::string("\x00\x01\x12\x13", 4));
    EXPECT_EQ(Read(kGuideKey, "Korean").substr(0, 1), "<"); // not handed out mangled, yet kept
    EXPECT_NE(ReadFileBytes(hklm).find("\"Korean\"=\"한국어\"\n"), std::string::npos);
}

// A file cut off anywhere, as a crash of another editor might leave it: a
// write either leaves the bytes or keeps every value still shown.
TEST_F(RegistryTest, EveryTruncationIsHandledSafely)
{
    const std::string full = kGuideSections + "\"DataPath_0\"=\"/cdrom/地図表/Guide.dbs\"\n\"Level\"=dword:00000007\n"
                             "\"Lines\"=hex(1):6f,00,0a,00,\\\n  6b,00,00,00\n@=\"default \\\"quoted\\\"\"\n\n";
    const char* names[] = {"DataPath_0", "Level", "Lines", ""};
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        const std::string bytes = full.substr(0, cut);
        WriteFileBytes(hklm, bytes);
        std::vector<std::string> before;
        for (const char* name : names)
            before.push_back(Read(kGuideKey, name));
        if (WriteString("SOFTWARE", "Probe", "1") != ERROR_SUCCESS) {
            ASSERT_NE(cut, 0u) << "an empty file is an empty root";
            ASSERT_EQ(ReadFileBytes(hklm), bytes) << cut;
            continue;
        }
        for (size_t i = 0; i < before.size(); ++i)
            EXPECT_EQ(Read(kGuideKey, names[i]), before[i]) << cut << names[i];
    }
    EXPECT_EQ(ReadText(kGuideKey, ""), "default \"quoted\"");
    EXPECT_EQ(ReadText(kGuideKey, "Lines"), "o\nk");
    ExpectNoStrayFiles(reg.dir());
}

// The start-up check for write access agrees with a write, for a user whom
// permissions bind (root writes read-only folders). A folder in the place of
// the root file, and a root file the store does not understand, are left alone.
TEST_F(RegistryTest, WriteAccessProbeAgreesWithAWrite)
{
    if (!RunsUnprivileged())
        return;
    TempDir base;
    WriteFileBytes(base / "plain-file", "x");
    ASSERT_EQ(mkdir((base / "file-in-place").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((base / "file-in-place/HKEY_LOCAL_MACHINE.reg").c_str(), 0755), 0);
    WriteFileBytes(base / "file-in-place/HKEY_LOCAL_MACHINE.reg/inside", "keep");
    ASSERT_EQ(mkdir((base / "not-understood").c_str(), 0755), 0);
    const std::string damaged = kGuideSections + "; edited by hand\n";
    WriteFileBytes(base / "not-understood/HKEY_LOCAL_MACHINE.reg", damaged);
    ASSERT_EQ(mkdir((base / "read-only").c_str(), 0555), 0);
    ASSERT_EQ(mkdir((base / "read-only-file").c_str(), 0755), 0);
    WriteFileBytes(base / "read-only-file/HKEY_LOCAL_MACHINE.reg", kHeader);
    chmod((base / "read-only-file/HKEY_LOCAL_MACHINE.reg").c_str(), 0444);
    const std::pair<std::string, bool> cases[] = {
        {base / "not/yet/made", true}, {base / "plain-file/registry", false}, {base / "file-in-place", false},
        {base / "not-understood", false}, {base / "read-only", false}, {base / "read-only-file", false}};
    for (const auto& [dir, writable] : cases) {
        setenv("TESSRA_REGISTRY_DIR", dir.c_str(), 1);
        HKEY key;
        const LONG probe = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS, &key);
        if (probe == ERROR_SUCCESS)
            RegCloseKey(key);
        EXPECT_EQ(probe, writable ? ERROR_SUCCESS : ERROR_ACCESS_DENIED) << dir;
        EXPECT_EQ(WriteString(kGuideKey, "DataPath_0", "/cdrom/Guide.dbs") == ERROR_SUCCESS, writable) << dir;
        EXPECT_EQ(ReadText(kGuideKey, "DataPath_0"), writable ? "/cdrom/Guide.dbs" : "<2>");
    }
    EXPECT_EQ(ReadFileBytes(base / "file-in-place/HKEY_LOCAL_MACHINE.reg/inside"), "keep");
    EXPECT_EQ(ReadFileBytes(base / "not-understood/HKEY_LOCAL_MACHINE.reg"), damaged);
    EXPECT_EQ(ReadFileBytes(base / "read-only-file/HKEY_LOCAL_MACHINE.reg"), kHeader);
    EXPECT_EQ(ListDir(base / "read-only"), std::vector<std::string>{});
}

TEST_F(RegistryTest, ConcurrentWritersInSeveralProcessesLoseNothing)
{
    // Half of the values go to a key of each writer's own, created concurrently too.
    auto keyOf = [](int p, int i) { return std::string(kGuideKey) + (i % 2 ? "" : "\\Writer" + std::to_string(p)); };
    auto nameOf = [](int p, int i) { return "P" + std::to_string(p) + "_" + std::to_string(i); };
    for (int p = 0; p < 8; ++p) {
        if (fork() == 0) {
            for (int i = 0; i < 50; ++i)
                WriteString(keyOf(p, i).c_str(), nameOf(p, i), nameOf(p, i));
            _exit(0);
        }
    }
    while (wait(nullptr) > 0) {}
    int found = 0;
    for (int p = 0; p < 8; ++p)
        for (int i = 0; i < 50; ++i)
            found += ReadText(keyOf(p, i).c_str(), nameOf(p, i)) == nameOf(p, i);
    EXPECT_EQ(found, 400);
    ExpectNoStrayFiles(reg.dir());
}
