#include <gtest/gtest.h>

#include "address/address_data.h"
#include "address/path_functions.h"
#include "address_fixture.h"
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
        {Add, W, "C:\\Data", "C:\\Data\\"}, {Add, W, "Q:\\", "Q:\\"}, {Add, W, "", "\\"},
        {Add, W, "C:\\" + kHyo, "C:\\" + kHyo + "\\"}, {Add, X, "/data", "/data/"}, {Add, X, "/", "/"},
        // The name is matched on the end of the string, as the host does.
        {Strip, W, "C:\\Data\\Address.dbs", "C:\\Data"}, {Strip, W, "Q:\\Address.dbs", "Q:\\"},
        {Strip, W, "Q:Address.dbs", "Q:\\"}, {Strip, W, "C:\\Data\\", "C:\\Data\\"},
        {Strip, W, "C:\\Data\\OldAddress.dbs", "C:\\Data\\Old"}, {Strip, W, "C:\\" + kHyo + "\\Address.dbs", "C:\\" + kHyo},
        {Strip, X, "/data/Address.dbs", "/data"}, {Strip, X, "/Address.dbs", "/"},
        {Folder, W, "Q:\\Adr_L.dbs", "Q:\\"}, {Folder, W, "Adr_L.dbs", ""},
        {Folder, W, "C:\\Data.old\\Maps", "C:\\Data.old\\Maps"}, {Folder, W, "C:\\Data\\file." + kHyo, "C:\\Data\\"},
        {Folder, X, "/cd/Adr_L.dbs", "/cd/"}, {Folder, X, "/data.old/maps", "/data.old/maps"},
    };
    for (const auto& c : cases) {
        const std::string out = c.fn == Add     ? AddBackslash(c.input, c.style)
                                : c.fn == Strip ? StripFileName(c.input, "Address.dbs", c.style)
                                                : FolderOfPath(c.input, c.style);
        EXPECT_EQ(out, c.expected) << "function " << c.fn << " on " << ToUtf8(c.input);
    }
    // A name matching only from inside a double-byte character is not at the end.
    EXPECT_EQ(StripFileName("C:\\" + kHyo, "\\", W), "C:\\" + kHyo);

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
    const std::vector<std::string> cannotUse = {"\"" + dir / "Broken.dbs" + "\"が使用できませんでした。\n\n"
                                                "Tessra、Ravelin等を起動していましたら終了させ、\n"
                                                "ファイルが書込み禁止になっていないか等確認してください。"};
    const struct {
        std::string folder;
        const char* file;
        int level;
        std::vector<std::string> said;
    } cases[] = {
        {folder, "Adr_S.dbs", 3, {}}, {folder + "/", "Level5.dbs", 5, {}}, {folder, "Missing.dbs", 0, {}},
        {folder, "Guide.dbs", 0, {}}, {"", "Adr_S.dbs", 0, {}},            {folder, "Broken.dbs", 0, cannotUse},
    };
    for (const auto& c : cases) {
        MessageRecorder messages;
        EXPECT_EQ(GetAddressDataLevel(c.folder, kAddressData, c.file), c.level) << c.file;
        EXPECT_EQ(messages.texts(), c.said) << c.file;
    }
}

} // namespace
