#include <gtest/gtest.h>

#include "address/path_functions.h"
#include "platform/cp932.h"
#include "support/test_support.h"

namespace {

// "表" in code page 932 is 0x95 0x5C: its trail byte is a backslash.
const std::string kHyo = "\x95\x5C";

struct Case {
    std::string input;
    std::string expected;
};

TEST(PathFunctions, AddBackslash)
{
    const Case windows[] = {
        {"C:\\Data", "C:\\Data\\"},
        {"C:\\Data\\", "C:\\Data\\"},
        {"Q:\\", "Q:\\"},
        {"", "\\"},
        {"C:\\" + kHyo, "C:\\" + kHyo + "\\"},
        {"C:\\" + kHyo + "\\", "C:\\" + kHyo + "\\"},
    };
    for (const Case& c : windows)
        EXPECT_EQ(AddBackslash(c.input, PathStyle::Windows), c.expected) << ToUtf8(c.input);

    const Case posix[] = {
        {"/data", "/data/"},
        {"/data/", "/data/"},
        {"/", "/"},
        {"", "/"},
        {"/" + kHyo, "/" + kHyo + "/"},
        {"C:\\Data", "C:\\Data/"},
    };
    for (const Case& c : posix)
        EXPECT_EQ(AddBackslash(c.input), c.expected) << ToUtf8(c.input);
}

TEST(PathFunctions, StripFileName)
{
    const Case windows[] = {
        {"C:\\Data\\Address.dbs", "C:\\Data"},
        {"Q:\\Address.dbs", "Q:\\"},
        {"C:\\Data\\", "C:\\Data\\"},
        {"Q:Address.dbs", "Q:\\"},
        {"Address.dbs", ""},
        {"C:\\" + kHyo + "\\Address.dbs", "C:\\" + kHyo},
        // The test is on the end of the string, as the host's own code does.
        {"C:\\Data\\OldAddress.dbs", "C:\\Data\\Old"},
        {"C:\\Data", "C:\\Data"},
    };
    for (const Case& c : windows)
        EXPECT_EQ(StripFileName(c.input, "Address.dbs", PathStyle::Windows), c.expected) << ToUtf8(c.input);

    const Case posix[] = {
        {"/data/Address.dbs", "/data"},
        {"/Address.dbs", "/"},
        {"/data/", "/data/"},
        {"Address.dbs", ""},
        {"/" + kHyo + "/Address.dbs", "/" + kHyo},
        {"/data", "/data"},
    };
    for (const Case& c : posix)
        EXPECT_EQ(StripFileName(c.input, "Address.dbs"), c.expected) << ToUtf8(c.input);

    // A name that matches only from the middle of a double-byte character
    // is not at the end of the path.
    EXPECT_EQ(StripFileName("C:\\" + kHyo, "\\", PathStyle::Windows), "C:\\" + kHyo);
}

TEST(PathFunctions, FolderOfPath)
{
    const Case windows[] = {
        {"Q:\\Adr_L.dbs", "Q:\\"},
        {"C:\\Data", "C:\\Data"},
        {"", ""},
        {"Adr_L.dbs", ""},
        {"C:\\Data\\Address.dbs", "C:\\Data\\"},
        {"C:\\Data.old\\Maps", "C:\\Data.old\\Maps"},
        // The last backslash is found by character: the trail byte of "表"
        // after the dot does not count.
        {"C:\\Data\\file." + kHyo, "C:\\Data\\"},
    };
    for (const Case& c : windows)
        EXPECT_EQ(FolderOfPath(c.input, PathStyle::Windows), c.expected) << ToUtf8(c.input);

    const Case posix[] = {
        {"/cd/Adr_L.dbs", "/cd/"},
        {"/Adr_L.dbs", "/"},
        {"/data", "/data"},
        {"", ""},
        {"Adr_L.dbs", ""},
        {"/data.old/maps", "/data.old/maps"},
        {"/data/file." + kHyo, "/data/"},
        {"/" + kHyo + "/Address.dbs", "/" + kHyo + "/"},
    };
    for (const Case& c : posix)
        EXPECT_EQ(FolderOfPath(c.input), c.expected) << ToUtf8(c.input);
}

TEST(PathFunctions, FileExistsAndSizeThroughUtf8Names)
{
    TempDir dir;
    WriteFileBytes(dir / "表.dbs", std::string(1234, 'x'));
    const std::string folder = FromUtf8(dir.path());

    const struct {
        std::string path;
        bool exists;
    } cases[] = {
        {folder + "/" + kHyo + ".dbs", true},
        {folder, true},
        {folder + "/missing.dbs", false},
        {"", false},
        {folder + "/\x81", false}, // a lone lead byte has no UTF-8 form
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileExists(c.path) != FALSE, c.exists) << c.path;

    std::uint64_t size = 0;
    ASSERT_TRUE(GetFileSize(folder + "/" + kHyo + ".dbs", size));
    EXPECT_EQ(size, 1234u);
    EXPECT_FALSE(GetFileSize(folder + "/missing.dbs", size));
    EXPECT_FALSE(GetFileSize(folder, size));
}

TEST(PathFunctions, NativeConversionRefusesWhatHasNoForm)
{
    std::string utf8, cp932;
    ASSERT_TRUE(PathToNative("/" + kHyo, utf8));
    EXPECT_EQ(utf8, "/表");
    ASSERT_TRUE(PathFromNative("/表", cp932));
    EXPECT_EQ(cp932, "/" + kHyo);

    cp932 = "unchanged";
    EXPECT_FALSE(PathFromNative("/한국", cp932));
    EXPECT_EQ(cp932, "unchanged");
}

} // namespace
