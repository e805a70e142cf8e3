// The registry as the host, an administrator and several installer processes
// see it: the exact root file text, values surviving round trips and
// concurrent writers, damaged files never overwritten, and the write-access
// probe of start-up.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/cp932.h"
#include "platform/registry.h"
#include "platform/registry_store.h"
#include "support/test_support.h"

namespace {

const char kGuideKey[] = "SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory";
const char kHeader[] = "Windows Registry Editor Version 5.00\n\n";
const char kGuideSections[] =
    "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory]\n";

std::string Cp932(const std::string& utf8)
{
    std::string out;
    EXPECT_TRUE(Utf8ToCp932(utf8, out)) << utf8;
    return out;
}

// The installer's own way of writing a string: create the key path, then
// set the value with its terminator.
LONG WriteString(HKEY root, const char* subKey, const std::string& nameCp932, const std::string& valueCp932)
{
    HKEY key;
    LONG rc = RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = RegSetValueExA(key, nameCp932.c_str(), 0, REG_SZ,
                        reinterpret_cast<const unsigned char*>(valueCp932.c_str()),
                        static_cast<DWORD>(valueCp932.size() + 1));
    RegCloseKey(key);
    return rc;
}

LONG WriteDword(HKEY root, const char* subKey, const char* name, DWORD value)
{
    HKEY key;
    LONG rc = RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    rc = RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const unsigned char*>(&value), sizeof value);
    RegCloseKey(key);
    return rc;
}

struct Query {
    LONG rc = -1;
    DWORD type = REG_NONE;
    DWORD size = 0;
    std::string bytes; // what the call wrote into the buffer, when it succeeded
};

// A read into a fixed buffer, as the installer reads.
Query Read(HKEY root, const char* subKey, const std::string& nameCp932, DWORD bufferSize = 1024)
{
    Query q;
    HKEY key;
    q.rc = RegOpenKeyExA(root, subKey, 0, KEY_READ, &key);
    if (q.rc != ERROR_SUCCESS)
        return q;
    std::vector<unsigned char> buf(bufferSize);
    q.size = bufferSize;
    q.rc = RegQueryValueExA(key, nameCp932.c_str(), nullptr, &q.type, buf.data(), &q.size);
    if (q.rc == ERROR_SUCCESS)
        q.bytes.assign(reinterpret_cast<const char*>(buf.data()), q.size);
    RegCloseKey(key);
    return q;
}

// The REG_SZ text read back, in UTF-8; "<rc>" when the read failed.
std::string ReadText(HKEY root, const char* subKey, const std::string& nameUtf8)
{
    Query q = Read(root, subKey, Cp932(nameUtf8));
    if (q.rc != ERROR_SUCCESS)
        return "<" + std::to_string(q.rc) + ">";
    EXPECT_EQ(q.type, static_cast<DWORD>(REG_SZ));
    EXPECT_FALSE(q.bytes.empty());
    EXPECT_EQ(q.bytes.back(), '\0') << "the size of a string includes its terminator";
    return ToUtf8(q.bytes.substr(0, q.bytes.find('\0')));
}

LONG OpenProbe(REGSAM access)
{
    HKEY key;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, access, &key);
    if (rc == ERROR_SUCCESS)
        RegCloseKey(key);
    return rc;
}

// Only the root files and their lock files: no temporary file left behind.
void ExpectNoStrayFiles(const std::string& dir)
{
    for (const std::string& name : ListDir(dir)) {
        const bool known = name == "HKEY_LOCAL_MACHINE.reg" || name == "HKEY_CLASSES_ROOT.reg" ||
                           name == ".HKEY_LOCAL_MACHINE.lock" || name == ".HKEY_CLASSES_ROOT.lock";
        EXPECT_TRUE(known) << "stray file " << name;
    }
}

class RegistryTest : public testing::Test {
protected:
    ScratchRegistry reg;
    std::string HklmFile() const { return reg.file("HKEY_LOCAL_MACHINE"); }
};

} // namespace

TEST_F(RegistryTest, EmptyFolderReadsMissingAndCreatesNothing)
{
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGuideKey, 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "AppID", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "SOFTWARE", "DataPath_0").rc, ERROR_FILE_NOT_FOUND);
    // HKEY_LOCAL_MACHINE\SOFTWARE is always there, as on every Windows machine.
    EXPECT_EQ(OpenProbe(KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(OpenProbe(KEY_ALL_ACCESS), ERROR_SUCCESS);
    EXPECT_TRUE(ListDir(reg.dir()).empty());
    EXPECT_EQ(RegistryDirectory(), reg.dir());
}

TEST_F(RegistryTest, FirstWriteCreatesTheWholeKeyPathInTheExportFormat)
{
    HKEY key;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kGuideKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, 1u); // REG_CREATED_NEW_KEY
    const std::string path = Cp932("/home/user/地図表/Guide.dbs");
    ASSERT_EQ(RegSetValueExA(key, "DataPath_1", 0, REG_SZ, reinterpret_cast<const unsigned char*>(path.c_str()),
                             static_cast<DWORD>(path.size() + 1)),
              ERROR_SUCCESS);
    const DWORD current = 43;
    ASSERT_EQ(RegSetValueExA(key, "CurrentData", 0, REG_DWORD, reinterpret_cast<const unsigned char*>(&current), 4),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    EXPECT_EQ(ReadFileBytes(HklmFile()), std::string(kHeader) + kGuideSections +
                                             "\"DataPath_1\"=\"/home/user/地図表/Guide.dbs\"\n"
                                             "\"CurrentData\"=dword:0000002b\n"
                                             "\n");
    EXPECT_FALSE(PathExists(reg.file("HKEY_CLASSES_ROOT")));
    ExpectNoStrayFiles(reg.dir());

    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kGuideKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_WRITE, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, 2u); // REG_OPENED_EXISTING_KEY
    RegCloseKey(key);
}

TEST_F(RegistryTest, SecondRootHasItsOwnFile)
{
    ASSERT_EQ(WriteString(HKEY_CLASSES_ROOT, "AppID\\Pellvane.EXE", "AppID",
                          "{6F1C2B9E-3D4A-4E8B-9C21-5A7D0E3F8B14}"),
              ERROR_SUCCESS);
    EXPECT_EQ(ReadFileBytes(reg.file("HKEY_CLASSES_ROOT")),
              std::string(kHeader) +
                  "[HKEY_CLASSES_ROOT\\AppID]\n\n"
                  "[HKEY_CLASSES_ROOT\\AppID\\Pellvane.EXE]\n"
                  "\"AppID\"=\"{6F1C2B9E-3D4A-4E8B-9C21-5A7D0E3F8B14}\"\n\n");
    EXPECT_FALSE(PathExists(HklmFile()));
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, "AppID\\Pellvane.EXE", "AppID").rc, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, NamesAndTextsRoundTripThroughTheFile)
{
    struct Case {
        const char* name;
        const char* value;
        const char* line; // as it stands in the file
    } cases[] = {
        {"DataPath_0", "C:\\Program Files\\Tessra4\\LocalData\\Guide.dbs",
         "\"DataPath_0\"=\"C:\\\\Program Files\\\\Tessra4\\\\LocalData\\\\Guide.dbs\""},
        {"Quoted \"name\"", "say \"hi\" \\ bye \\\"",
         "\"Quoted \\\"name\\\"\"=\"say \\\"hi\\\" \\\\ bye \\\\\\\"\""},
        {"back\\slash", "x", "\"back\\\\slash\"=\"x\""},
        {"表ソ能", "/データ/表\\ソ/能.dbs", "\"表ソ能\"=\"/データ/表\\\\ソ/能.dbs\""},
        {"Empty", "", "\"Empty\"=\"\""},
        {"", "the default value", "@=\"the default value\""},
        {"a=b]c[", "=[x]=", "\"a=b]c[\"=\"=[x]=\""},
        {"Blanks", "  two blanks around  ", "\"Blanks\"=\"  two blanks around  \""},
        {"Lines", "one\ntwo", "\"Lines\"=hex(1):6f,00,6e,00,65,00,0a,00,74,00,77,00,6f,00,00,00"},
        {"Tab", "a\tb", "\"Tab\"=\"a\tb\""},
    };
    for (const Case& c : cases)
        ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, Cp932(c.name), Cp932(c.value)), ERROR_SUCCESS) << c.name;

    const std::string file = ReadFileBytes(HklmFile());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kGuideKey, c.name), c.value);
        EXPECT_NE(file.find(std::string("\n") + c.line + "\n"), std::string::npos) << file;
    }
}

TEST_F(RegistryTest, DwordsAreFourBytesAndStringsDoNotFitThem)
{
    ASSERT_EQ(WriteDword(HKEY_LOCAL_MACHINE, kGuideKey, "CurrentData", 0xDEADBEEF), ERROR_SUCCESS);
    ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "Guide_File", "Guide.dbs"), ERROR_SUCCESS);
    EXPECT_NE(ReadFileBytes(HklmFile()).find("\n\"CurrentData\"=dword:deadbeef\n"), std::string::npos);

    Query q = Read(HKEY_LOCAL_MACHINE, kGuideKey, "CurrentData", 4);
    ASSERT_EQ(q.rc, ERROR_SUCCESS);
    EXPECT_EQ(q.type, static_cast<DWORD>(REG_DWORD));
    ASSERT_EQ(q.size, 4u);
    DWORD d;
    std::memcpy(&d, q.bytes.data(), 4);
    EXPECT_EQ(d, 0xDEADBEEFu);

    q = Read(HKEY_LOCAL_MACHINE, kGuideKey, "Guide_File", 4);
    EXPECT_EQ(q.rc, ERROR_MORE_DATA);
    EXPECT_EQ(q.size, 10u);

    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGuideKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    const unsigned char two[2] = {1, 2};
    EXPECT_EQ(RegSetValueExA(key, "Short", 0, REG_DWORD, two, 2), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExA(key, "Binary", 0, 3, two, 2), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kGuideKey, "Short").rc, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, KeyAndValueNamesIgnoreAsciiCase)
{
    ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0", "/cdrom/Guide.dbs"), ERROR_SUCCESS);
    const char* otherSpelling = "software\\VELTRANE CORPORATION\\directoryservices\\GuideDIRECTORY";
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, otherSpelling, "datapath_0"), "/cdrom/Guide.dbs");

    // Writing under another spelling replaces the value; the stored names
    // keep their first spelling.
    ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, otherSpelling, "DATAPATH_0", "/media/cdrom/Guide.dbs"), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileBytes(HklmFile()),
              std::string(kHeader) + kGuideSections + "\"DataPath_0\"=\"/media/cdrom/Guide.dbs\"\n\n");
    // Only ASCII letters fold: full-width letters are other names.
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kGuideKey, "ＤataPath_0"), "<2>");
}

TEST_F(RegistryTest, StringsReadIntoAFixedBufferNeverOverflowIt)
{
    struct Case {
        size_t length; // bytes before the terminator
        LONG rc;
    } cases[] = {{0, ERROR_SUCCESS}, {1023, ERROR_SUCCESS}, {1024, ERROR_MORE_DATA}, {5000, ERROR_MORE_DATA}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        const std::string value(c.length, 'v');
        ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "Long", value), ERROR_SUCCESS);

        HKEY key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGuideKey, 0, KEY_READ, &key), ERROR_SUCCESS);
        std::vector<unsigned char> buf(1024 + 64, 0xAB); // 64 guard bytes after the buffer
        DWORD size = 1024;
        DWORD type = 0;
        EXPECT_EQ(RegQueryValueExA(key, "Long", nullptr, &type, buf.data(), &size), c.rc);
        EXPECT_EQ(size, c.length + 1);
        for (size_t i = 1024; i < buf.size(); ++i)
            ASSERT_EQ(buf[i], 0xAB) << "written past the buffer at " << i;
        if (c.rc == ERROR_SUCCESS) {
            EXPECT_EQ(std::string(reinterpret_cast<char*>(buf.data()), size), value + '\0');
        }

        // The size alone, then the whole value into a buffer that fits it.
        DWORD needed = 0;
        EXPECT_EQ(RegQueryValueExA(key, "Long", nullptr, nullptr, nullptr, &needed), ERROR_SUCCESS);
        EXPECT_EQ(needed, c.length + 1);
        std::vector<unsigned char> whole(needed);
        EXPECT_EQ(RegQueryValueExA(key, "Long", nullptr, nullptr, whole.data(), &needed), ERROR_SUCCESS);
        EXPECT_EQ(std::string(whole.begin(), whole.end()), value + '\0');
        RegCloseKey(key);
    }
}

TEST_F(RegistryTest, TextWithoutAForm)
{
    // Invalid CP932 at the API: refused, nothing written.
    EXPECT_NE(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0", "\x81\x20"), ERROR_SUCCESS);
    EXPECT_NE(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "\x81", "x"), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileBytes(HklmFile()).find("DataPath_0"), std::string::npos);

    // A value stored (by hand, in UTF-8) in a script with no CP932 form is
    // not handed out mangled, and later writes keep it as it is.
    const std::string original = std::string(kHeader) + kGuideSections +
                                 "\"DataPath_0\"=\"/home/user/한국어/Guide.dbs\"\n\n";
    WriteFileBytes(HklmFile(), original);
    Query q = Read(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0");
    EXPECT_NE(q.rc, ERROR_SUCCESS);
    EXPECT_NE(q.rc, ERROR_MORE_DATA);
    ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_1", "/hd/Guide.dbs"), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileBytes(HklmFile()), std::string(kHeader) + kGuideSections +
                                             "\"DataPath_0\"=\"/home/user/한국어/Guide.dbs\"\n"
                                             "\"DataPath_1\"=\"/hd/Guide.dbs\"\n\n");
}

// Files that are not understood read as empty, and no write replaces them.
TEST_F(RegistryTest, FilesNotUnderstoodReadEmptyAndAreNeverOverwritten)
{
    const std::string good = std::string(kHeader) + kGuideSections + "\"DataPath_0\"=\"/cdrom/Guide.dbs\"\n\n";
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"garbage line", good + "this is not a registry line\n"},
        {"truncated inside a value", good.substr(0, good.size() - 8)},
        {"truncated inside the header", good.substr(0, 20)},
        {"no header", good.substr(std::strlen(kHeader))},
        {"binary junk", std::string("\x00\x01\x02\xff\xfe garbage", 14)},
        {"not UTF-8", good + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\xff]\n"},
        {"value before any section", std::string(kHeader) + "\"x\"=\"y\"\n" + kGuideSections},
        {"section of the other root", good + "[HKEY_CLASSES_ROOT\\AppID]\n"},
        {"comment", good + "; hand-written note\n"},
        {"deletion entry", good + "\"DataPath_1\"=-\n"},
        {"unknown escape", good + "\"x\"=\"a\\tb\"\n"},
        {"short hex byte", good + "\"x\"=hex:1,02\n"},
        {"empty key name", good + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\\\x]\n"},
        {"dword too long", good + "\"x\"=dword:000000001\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(HklmFile(), c.bytes);

        EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0").rc, ERROR_FILE_NOT_FOUND);
        EXPECT_NE(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_1", "/hd/Guide.dbs"), ERROR_SUCCESS);
        EXPECT_NE(WriteDword(HKEY_LOCAL_MACHINE, "SOFTWARE", "X", 1), ERROR_SUCCESS);
        HKEY key;
        EXPECT_NE(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        EXPECT_NE(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kGuideKey), ERROR_SUCCESS);
        EXPECT_EQ(ReadFileBytes(HklmFile()), c.bytes);
        ExpectNoStrayFiles(reg.dir());
    }
}

// Variants an administrator's editor may produce, all understood: reads see
// their values and a write keeps every one of them.
TEST_F(RegistryTest, FilesUnderstoodKeepEveryValueOnWrite)
{
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"CRLF lines and a byte order mark",
         "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory]\r\n"
         "\"DataPath_0\"=\"/cdrom/Guide.dbs\"\r\n"
         "\"Level\"=dword:7\r\n"},
        {"parents without sections, odd case of the root",
         "Windows Registry Editor Version 5.00\n"
         "[hkey_local_machine\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory]\n"
         "\"DataPath_0\"=\"/cdrom/Guide.dbs\"\n"
         "\"Level\"=dword:00000007\n"},
        {"binary values over continuation lines",
         "Windows Registry Editor Version 5.00\n\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory]\n"
         "\"DataPath_0\"=\"/cdrom/Guide.dbs\"\n"
         "\"Level\"=dword:00000007\n"
         "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\\\n"
         "  18,19\n"
         "\"Expand\"=hex(2):25,00,41,00,00,00\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(HklmFile(), c.bytes);
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0"), "/cdrom/Guide.dbs");

        ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_1", "/hd/Guide.dbs"), ERROR_SUCCESS);
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0"), "/cdrom/Guide.dbs");
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_1"), "/hd/Guide.dbs");
        Query level = Read(HKEY_LOCAL_MACHINE, kGuideKey, "Level");
        ASSERT_EQ(level.rc, ERROR_SUCCESS);
        EXPECT_EQ(level.bytes, std::string("\x07\0\0\0", 4));
        if (c.bytes.find("Blob") != std::string::npos) {
            Query blob = Read(HKEY_LOCAL_MACHINE, kGuideKey, "Blob");
            ASSERT_EQ(blob.rc, ERROR_SUCCESS);
            EXPECT_EQ(blob.type, 3u);
            EXPECT_EQ(blob.size, 26u);
            EXPECT_EQ(blob.bytes[25], '\x19');
            EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kGuideKey, "Expand").bytes, std::string("%\0A\0\0\0", 6));
        }
    }
}

// A file cut off anywhere, as a crash of some other editor might leave it:
// reads never fail, and a write either leaves the bytes as they were or
// keeps every value the cut file still showed.
TEST_F(RegistryTest, EveryTruncationIsHandledSafely)
{
    const std::string full = std::string(kHeader) + kGuideSections +
                             "\"DataPath_0\"=\"/cdrom/地図表/Guide.dbs\"\n"
                             "\"Level\"=dword:00000007\n"
                             "\"Lines\"=hex(1):6f,00,0a,00,\\\n  6b,00,00,00\n"
                             "@=\"default \\\"quoted\\\"\"\n\n";
    const char* names[] = {"DataPath_0", "Level", "Lines", ""};
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        SCOPED_TRACE(cut);
        const std::string bytes = full.substr(0, cut);
        WriteFileBytes(HklmFile(), bytes);
        std::vector<Query> before;
        for (const char* name : names)
            before.push_back(Read(HKEY_LOCAL_MACHINE, kGuideKey, name));

        if (WriteDword(HKEY_LOCAL_MACHINE, "SOFTWARE", "Probe", 1) != ERROR_SUCCESS) {
            ASSERT_EQ(ReadFileBytes(HklmFile()), bytes);
            continue;
        }
        for (size_t i = 0; i < before.size(); ++i) {
            const Query after = Read(HKEY_LOCAL_MACHINE, kGuideKey, names[i]);
            EXPECT_EQ(after.rc, before[i].rc) << names[i];
            EXPECT_EQ(after.bytes, before[i].bytes) << names[i];
        }
    }
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kGuideKey, ""), "default \"quoted\"");
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kGuideKey, "Lines"), "o\nk");
    ExpectNoStrayFiles(reg.dir());
}

TEST_F(RegistryTest, EmptyFileIsAnEmptyRoot)
{
    WriteFileBytes(HklmFile(), "");
    chmod(HklmFile().c_str(), 0640);
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0").rc, ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0", "/cdrom/Guide.dbs"), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileBytes(HklmFile()),
              std::string(kHeader) + kGuideSections + "\"DataPath_0\"=\"/cdrom/Guide.dbs\"\n\n");
    struct stat st;
    ASSERT_EQ(stat(HklmFile().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the administrator's mode is kept";
}

TEST_F(RegistryTest, FolderInThePlaceOfTheFile)
{
    ASSERT_EQ(mkdir(HklmFile().c_str(), 0755), 0);
    WriteFileBytes(HklmFile() + "/inside", "keep");
    EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0").rc, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(OpenProbe(KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(OpenProbe(KEY_ALL_ACCESS), ERROR_ACCESS_DENIED);
    EXPECT_NE(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0", "/cdrom/Guide.dbs"), ERROR_SUCCESS);
    EXPECT_EQ(ReadFileBytes(HklmFile() + "/inside"), "keep");
    EXPECT_EQ(ListDir(HklmFile()), std::vector<std::string>{"inside"});
}

TEST_F(RegistryTest, WritesThroughASymbolicLinkKeepTheLink)
{
    TempDir elsewhere;
    const std::string real = elsewhere / "machine.reg";
    WriteFileBytes(real, std::string(kHeader));
    ASSERT_EQ(symlink(real.c_str(), HklmFile().c_str()), 0);
    ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0", "/cdrom/Guide.dbs"), ERROR_SUCCESS);
    struct stat st;
    ASSERT_EQ(lstat(HklmFile().c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(ReadFileBytes(real), std::string(kHeader) + kGuideSections + "\"DataPath_0\"=\"/cdrom/Guide.dbs\"\n\n");
}

TEST_F(RegistryTest, WriteAccessProbe)
{
    TempDir base;
    WriteFileBytes(base / "plain-file", "x");
    ASSERT_EQ(mkdir((base / "has-file-in-place").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((base / "has-file-in-place/HKEY_LOCAL_MACHINE.reg").c_str(), 0755), 0);
    struct Case {
        const char* what;
        std::string dir;
        LONG expected;
    } cases[] = {
        {"writable folder", base.path(), ERROR_SUCCESS},
        {"folder not made yet", base / "not/yet/made", ERROR_SUCCESS},
        {"folder path under a regular file", base / "plain-file/registry", ERROR_ACCESS_DENIED},
        {"regular file as the folder", base / "plain-file", ERROR_ACCESS_DENIED},
        {"folder in the place of the root file", base / "has-file-in-place", ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setenv("TESSRA_REGISTRY_DIR", c.dir.c_str(), 1);
        EXPECT_EQ(OpenProbe(KEY_ALL_ACCESS), c.expected);
        EXPECT_EQ(OpenProbe(KEY_WRITE), c.expected);
        EXPECT_EQ(OpenProbe(KEY_SET_VALUE), c.expected);
        EXPECT_EQ(OpenProbe(KEY_READ), ERROR_SUCCESS);
        // A write agrees with the probe.
        const LONG write = WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0", "/cdrom/Guide.dbs");
        EXPECT_EQ(write == ERROR_SUCCESS, c.expected == ERROR_SUCCESS) << write;
        EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0"),
                  c.expected == ERROR_SUCCESS ? "/cdrom/Guide.dbs" : "<2>");
    }
    // An existing key opened for writing answers the same way.
    setenv("TESSRA_REGISTRY_DIR", (base / "plain-file/registry").c_str(), 1);
    HKEY key;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadFileBytes(base / "plain-file"), "x");

    if (geteuid() != 0) { // permissions bind everyone but root
        ASSERT_EQ(mkdir((base / "read-only").c_str(), 0555), 0);
        setenv("TESSRA_REGISTRY_DIR", (base / "read-only").c_str(), 1);
        EXPECT_EQ(OpenProbe(KEY_ALL_ACCESS), ERROR_ACCESS_DENIED);
        EXPECT_EQ(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0", "x"), ERROR_ACCESS_DENIED);
    }
}

TEST_F(RegistryTest, DeleteKey)
{
    ASSERT_EQ(WriteString(HKEY_CLASSES_ROOT, "AppID\\{6F1C2B9E-3D4A-4E8B-9C21-5A7D0E3F8B14}", "", "Pellvane"),
              ERROR_SUCCESS);
    ASSERT_EQ(WriteString(HKEY_CLASSES_ROOT, "AppID\\Pellvane.EXE", "AppID", "{6F1C2B9E-3D4A-4E8B-9C21-5A7D0E3F8B14}"),
              ERROR_SUCCESS);
    ASSERT_EQ(WriteString(HKEY_CLASSES_ROOT, "AppID\\Other.EXE", "AppID", "{0}"), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "AppID"), ERROR_ACCESS_DENIED) << "it has subkeys";
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "AppID\\Missing"), ERROR_FILE_NOT_FOUND);
    HKEY appId;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "AppID", 0, KEY_ALL_ACCESS, &appId), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(appId, "{6f1c2b9e-3d4a-4e8b-9c21-5a7d0e3f8b14}"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "AppID\\Pellvane.EXE"), ERROR_SUCCESS);
    RegCloseKey(appId);

    EXPECT_EQ(ReadFileBytes(reg.file("HKEY_CLASSES_ROOT")),
              std::string(kHeader) +
                  "[HKEY_CLASSES_ROOT\\AppID]\n\n"
                  "[HKEY_CLASSES_ROOT\\AppID\\Other.EXE]\n"
                  "\"AppID\"=\"{0}\"\n\n");
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE"), ERROR_ACCESS_DENIED);
}

TEST_F(RegistryTest, HandlesFollowTheFile)
{
    ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0", "/cdrom/Guide.dbs"), ERROR_SUCCESS);
    HKEY reader;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGuideKey, 0, KEY_READ, &reader), ERROR_SUCCESS);
    const unsigned char text[] = "x";
    EXPECT_EQ(RegSetValueExA(reader, "DataPath_0", 0, REG_SZ, text, 2), ERROR_ACCESS_DENIED) << "opened to read";

    // Another writer's value is seen through a handle opened before it.
    ASSERT_EQ(WriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_1", "/hd/Guide.dbs"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(reader, "DataPath_1", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 14u);

    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kGuideKey), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExA(reader, "DataPath_0", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(reader), ERROR_SUCCESS);

    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(nullptr, "SOFTWARE", 0, KEY_READ, &key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\\\Veltrane", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, ConcurrentWritersInSeveralProcessesLoseNothing)
{
    const int kProcesses = 8;
    const int kValuesEach = 50;
    // The children wait on this pipe so that they all start writing at once.
    int gate[2];
    ASSERT_EQ(pipe(gate), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(gate[1]);
            char c;
            while (read(gate[0], &c, 1) > 0) {
            }
            int failures = 0;
            for (int i = 0; i < kValuesEach; ++i) {
                const std::string name = "P" + std::to_string(p) + "_" + std::to_string(i);
                // Half of them in a key of their own, created concurrently too.
                const std::string key = std::string(kGuideKey) + (i % 2 ? "" : "\\Writer" + std::to_string(p));
                if (WriteString(HKEY_LOCAL_MACHINE, key.c_str(), name, "value of " + name) != ERROR_SUCCESS)
                    ++failures;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    close(gate[0]);
    close(gate[1]);
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }

    int found = 0;
    for (int p = 0; p < kProcesses; ++p) {
        for (int i = 0; i < kValuesEach; ++i) {
            const std::string name = "P" + std::to_string(p) + "_" + std::to_string(i);
            const std::string key = std::string(kGuideKey) + (i % 2 ? "" : "\\Writer" + std::to_string(p));
            if (ReadText(HKEY_LOCAL_MACHINE, key.c_str(), name) == "value of " + name)
                ++found;
        }
    }
    EXPECT_EQ(found, kProcesses * kValuesEach);
    ExpectNoStrayFiles(reg.dir());
}

namespace {

struct ToolRun {
    int status;
    std::string out;
};

// Runs pellvane-reg with arguments already quoted for the shell.
ToolRun RunTool(const std::string& args)
{
    const std::string cmd = std::string(PELLVANE_BINARY_DIR "/bin/pellvane-reg ") + args + " 2>/dev/null";
    ToolRun r{-1, ""};
    FILE* f = popen(cmd.c_str(), "r");
    if (!f)
        return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        r.out.append(buf, n);
    const int status = pclose(f);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

} // namespace

TEST_F(RegistryTest, ToolSetsAndGetsThroughTheSameFiles)
{
    const std::string key = "'HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory'";
    ToolRun r = RunTool("get " + key + " DataPath_0");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");

    EXPECT_EQ(RunTool("set " + key + " DataPath_0 '/media/地図表/Guide.dbs'").status, 0);
    r = RunTool("get " + key + " DataPath_0");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "/media/地図表/Guide.dbs\n");
    EXPECT_EQ(ReadText(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0"), "/media/地図表/Guide.dbs");

    EXPECT_EQ(RunTool("set-dword " + key + " CurrentData 1").status, 0);
    r = RunTool("get " + key + " currentdata");
    EXPECT_EQ(r.out, "1\n");

    // Text without a CP932 form is refused and nothing changes.
    EXPECT_NE(RunTool("set " + key + " DataPath_1 '/home/한국어/Guide.dbs'").status, 0);
    EXPECT_EQ(RunTool("get " + key + " DataPath_1").status, 1);

    r = RunTool("dump 'HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices]\n\n"
                     "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory]\n"
                     "\"DataPath_0\"=\"/media/地図表/Guide.dbs\"\n"
                     "\"CurrentData\"=dword:00000001\n\n");

    EXPECT_EQ(RunTool("delete-value " + key + " DataPath_0").status, 0);
    EXPECT_EQ(RunTool("get " + key + " DataPath_0").status, 1);
    EXPECT_EQ(RunTool("delete-key " + key).status, 0);
    EXPECT_EQ(RunTool("dump " + key).status, 1);
    EXPECT_EQ(RunTool("get 'HKEY_CURRENT_USER\\Software' X").status, 2);
}
