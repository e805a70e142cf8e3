#include <gtest/gtest.h>

#include "address/address_data.h"
#include "address_fixture.h"
#include "support/test_support.h"

namespace {

using address_fixture::MakeAddressDb;

TEST(AddressDataLevel, ByFileAndPropertyRow)
{
    ScratchRegistry registry;
    TempDir dir;
    ASSERT_TRUE(MakeAddressDb(dir / "Adr_S.dbs", 3));
    ASSERT_TRUE(MakeAddressDb(dir / "Adr_L.dbs", 4));
    ASSERT_TRUE(MakeAddressDb(dir / "Level5.dbs", 5));
    ASSERT_TRUE(MakeAddressDb(dir / "Guide.dbs", 4, "GuideData"));
    WriteFileBytes(dir / "Broken.dbs", std::string(4096, 'x'));
    const std::string folder = FromUtf8(dir.path());

    const struct {
        std::string folder;
        const char* file;
        int level;
    } cases[] = {
        {folder, "Adr_S.dbs", 3}, {folder + "/", "Adr_L.dbs", 4}, {folder, "Level5.dbs", 5},
        {folder, "Missing.dbs", 0}, {folder, "Guide.dbs", 0}, {"", "Adr_L.dbs", 0},
    };
    for (const auto& c : cases) {
        MessageRecorder messages;
        EXPECT_EQ(GetAddressDataLevel(c.folder, kAddressData, c.file), c.level) << c.file;
        EXPECT_TRUE(messages.shown().empty()) << c.file;
    }
    // A file the engine cannot open counts as no data, and says so.
    MessageRecorder messages;
    EXPECT_EQ(GetAddressDataLevel(folder, kAddressData, "Broken.dbs"), 0);
    EXPECT_EQ(messages.texts(), std::vector<std::string>{"\"" + dir / "Broken.dbs" + "\"が使用できませんでした。\n\n"
                                                         "Tessra、Ravelin等を起動していましたら終了させ、\n"
                                                         "ファイルが書込み禁止になっていないか等確認してください。"});
}

} // namespace
