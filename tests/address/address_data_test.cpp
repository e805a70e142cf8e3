#include <gtest/gtest.h>

#include "address/address_data.h"
#include "address/path_functions.h"
#include "address_fixture.h"
#include "support/test_support.h"

namespace {

// "表" in code page 932 is 0x95 0x5C: its trail byte is a backslash.
const std::string kHyo = "\x95\x5C";

// One table per function: style, input, expected.
struct PathCase {
    PathStyle style;
    std::string input, expected;
};
const PathStyle W = PathStyle::Windows, X = PathStyle::Posix;

TEST(PathFunctions, AddBackslash)
{
    const PathCase cases[] = {
        {W, "C:\\Data", "C:\\Data\\"}, {W, "Q:\\", "Q:\\"}, {W, "", "\\"}, {W, "C:\\" + kHyo, "C:\\" + kHyo + "\\"},
        {X, "/data", "/data/"},        {X, "/", "/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AddBackslash(c.input, c.style), c.expected) << ToUtf8(c.input);
}

TEST(PathFunctions, StripFileName)
{
    // The name is matched on the end of the string, as the host does.
    const PathCase cases[] = {
        {W, "C:\\Data\\Address.dbs", "C:\\Data"},
        {W, "Q:\\Address.dbs", "Q:\\"},
        {W, "Q:Address.dbs", "Q:\\"},
        {W, "C:\\Data\\", "C:\\Data\\"},
        {W, "C:\\Data\\OldAddress.dbs", "C:\\Data\\Old"},
        {W, "C:\\" + kHyo + "\\Address.dbs", "C:\\" + kHyo},
        {X, "/data/Address.dbs", "/data"},
        {X, "/Address.dbs", "/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StripFileName(c.input, "Address.dbs", c.style), c.expected) << ToUtf8(c.input);
    // A name matching only from inside a double-byte character is not at the end.
    EXPECT_EQ(StripFileName("C:\\" + kHyo, "\\", W), "C:\\" + kHyo);
}

TEST(PathFunctions, FolderOfPath)
{
    const PathCase cases[] = {
        {W, "Q:\\Adr_L.dbs", "Q:\\"},
        {W, "Adr_L.dbs", ""},
        {W, "C:\\Data.old\\Maps", "C:\\Data.old\\Maps"},
        {W, "C:\\Data\\file." + kHyo, "C:\\Data\\"},
        {X, "/cd/Adr_L.dbs", "/cd/"},
        {X, "/data.old/maps", "/data.old/maps"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FolderOfPath(c.input, c.style), c.expected) << ToUtf8(c.input);
}

TEST(PathFunctions, FileSizeAndExistence)
{
    TempDir dir;
    WriteFileBytes(dir / "表.dbs", std::string(1234, 'x'));
    std::uint64_t size = 0;
    EXPECT_TRUE(GetFileSize(FromUtf8(dir.path()) + "/" + kHyo + ".dbs", size) && size == 1234u);
    EXPECT_FALSE(GetFileSize(FromUtf8(dir.path()), size));
    EXPECT_FALSE(FileExists(FromUtf8(dir.path()) + "/\x81")); // a lone lead byte has no UTF-8 form
}

TEST(AddressDataLevel, ByFileAndPropertyRow)
{
    ScratchRegistry registry;
    TempDir dir;
    ASSERT_TRUE(address_fixture::MakeAddressDb(dir / "Adr_S.dbs", 3));
    ASSERT_TRUE(address_fixture::MakeAddressDb(dir / "Level5.dbs", 5));
    ASSERT_TRUE(address_fixture::MakeAddressDb(dir / "Guide.dbs", 4, "GuideData"));
    WriteFileBytes(dir / "Broken.dbs", std::string(4096, 'x'));
    const std::string folder = FromUtf8(dir.path());
    const std::vector<std::string> cannotUse = {"\"" + dir / "Broken.dbs" +
                                                "\"が使用できませんでした。\n\n"
                                                "Tessra、Ravelin等を起動していましたら終了させ、\n"
                                                "ファイルが書込み禁止になっていないか等確認してください。"};
    const struct {
        std::string folder;
        const char* file;
        int level;
        std::vector<std::string> said;
    } cases[] = {
        {folder, "Adr_S.dbs", 3, {}},   {folder + "/", "Level5.dbs", 5, {}},
        {folder, "Missing.dbs", 0, {}}, {folder, "Guide.dbs", 0, {}},
        {"", "Adr_S.dbs", 0, {}},       {folder, "Broken.dbs", 0, cannotUse},
    };
    for (const auto& c : cases) {
        MessageRecorder messages;
        EXPECT_EQ(GetAddressDataLevel(c.folder, kAddressData, c.file), c.level) << c.file;
        EXPECT_EQ(messages.texts(), c.said) << c.file;
    }
}

} // namespace
