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
        bool message2039;
    } cases[] = {
        {folder, "Adr_S.dbs", 3, false},
        {folder + "/", "Adr_L.dbs", 4, false},
        {folder, "Level5.dbs", 5, false},
        {folder, "Missing.dbs", 0, false},
        {folder, "Guide.dbs", 0, false},
        {folder, "Broken.dbs", 0, true},
        {"", "Adr_L.dbs", 0, false},
    };
    for (const auto& c : cases) {
        MessageRecorder messages;
        EXPECT_EQ(GetAddressDataLevel(c.folder, kAddressData, c.file), c.level) << c.file;
        if (c.message2039) {
            ASSERT_EQ(messages.shown().size(), 1u) << c.file;
            EXPECT_EQ(messages.shown()[0].text, "\"" + dir / c.file + "\"" +
                                                    "が使用できませんでした。\n\nTessra、Ravelin等を起動していましたら終了させ、\n"
                                                    "ファイルが書込み禁止になっていないか等確認してください。");
        } else {
            EXPECT_TRUE(messages.shown().empty()) << c.file;
        }
    }
}

} // namespace
