#include <gtest/gtest.h>

#include "address/path_functions.h"
#include "platform/cp932.h"
#include "support/test_support.h"

namespace {

// "表" in code page 932 is 0x95 0x5C: its trail byte is a backslash.
const std::string kHyo = "\x95\x5C";

TEST(PathFunctions, WindowsExamplesAndPosixAnalogues)
{
    const PathStyle W = PathStyle::Windows, X = PathStyle::Posix;
    enum Fn { Add, Strip, Folder };
    const struct {
        Fn fn;
        PathStyle style;
        std::string input, expected;
    } cases[] = {
        {Add, W, "C:\\Data", "C:\\Data\\"},
        {Add, W, "Q:\\", "Q:\\"},
        {Add, W, "", "\\"},
        {Add, W, "C:\\" + kHyo, "C:\\" + kHyo + "\\"},
        {Add, X, "/data", "/data/"},
        {Add, X, "/", "/"},
        {Add, X, "", "/"},
        {Add, X, "C:\\Data", "C:\\Data/"},
        // StripFileName with "Address.dbs"; the test is on the end of the
        // string, as the host's own code does.
        {Strip, W, "C:\\Data\\Address.dbs", "C:\\Data"},
        {Strip, W, "Q:\\Address.dbs", "Q:\\"},
        {Strip, W, "C:\\Data\\", "C:\\Data\\"},
        {Strip, W, "Q:Address.dbs", "Q:\\"},
        {Strip, W, "Address.dbs", ""},
        {Strip, W, "C:\\" + kHyo + "\\Address.dbs", "C:\\" + kHyo},
        {Strip, W, "C:\\Data\\OldAddress.dbs", "C:\\Data\\Old"},
        {Strip, X, "/data/Address.dbs", "/data"},
        {Strip, X, "/Address.dbs", "/"},
        {Strip, X, "/data/", "/data/"},
        {Folder, W, "Q:\\Adr_L.dbs", "Q:\\"},
        {Folder, W, "C:\\Data", "C:\\Data"},
        {Folder, W, "", ""},
        {Folder, W, "Adr_L.dbs", ""},
        {Folder, W, "C:\\Data.old\\Maps", "C:\\Data.old\\Maps"},
        // The last backslash by character: the trail byte of "表" after the dot does not count.
        {Folder, W, "C:\\Data\\file." + kHyo, "C:\\Data\\"},
        {Folder, X, "/cd/Adr_L.dbs", "/cd/"},
        {Folder, X, "/Adr_L.dbs", "/"},
        {Folder, X, "/data.old/maps", "/data.old/maps"},
        {Folder, X, "/" + kHyo + "/Address.dbs", "/" + kHyo + "/"},
    };
    for (const auto& c : cases) {
        const std::string out = c.fn == Add     ? AddBackslash(c.input, c.style)
                                : c.fn == Strip ? StripFileName(c.input, "Address.dbs", c.style)
                                                : FolderOfPath(c.input, c.style);
        EXPECT_EQ(out, c.expected) << "function " << c.fn << " on " << ToUtf8(c.input);
    }
    // A name matching only from inside a double-byte character is not at the end.
    EXPECT_EQ(StripFileName("C:\\" + kHyo, "\\", W), "C:\\" + kHyo);
}

TEST(PathFunctions, FilesThroughUtf8Names)
{
    TempDir dir;
    WriteFileBytes(dir / "表.dbs", std::string(1234, 'x'));
    const std::string folder = FromUtf8(dir.path()), file = folder + "/" + kHyo + ".dbs";

    EXPECT_TRUE(FileExists(file));
    EXPECT_TRUE(FileExists(folder));
    EXPECT_FALSE(FileExists(folder + "/missing.dbs"));
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(FileExists(folder + "/\x81")); // a lone lead byte has no UTF-8 form
    std::uint64_t size = 0;
    ASSERT_TRUE(GetFileSize(file, size));
    EXPECT_EQ(size, 1234u);
    EXPECT_FALSE(GetFileSize(folder + "/missing.dbs", size));
    EXPECT_FALSE(GetFileSize(folder, size));

    std::string utf8, cp932 = "unchanged";
    ASSERT_TRUE(PathToNative("/" + kHyo, utf8));
    EXPECT_EQ(utf8, "/表");
    EXPECT_FALSE(PathFromNative("/한국", cp932));
    EXPECT_EQ(cp932, "unchanged");
    ASSERT_TRUE(PathFromNative("/表", cp932));
    EXPECT_EQ(cp932, "/" + kHyo);
}

} // namespace
