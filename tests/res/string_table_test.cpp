// The string table as the user sees it: exact texts, every ID the program
// loads present once in CP932, templates filled whole.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/cp932.h"
#include "res/strings.h"

namespace {

using Entry = std::pair<UINT, const char*>;

const Entry kCompiled[] = {
#include "res/strings.inc"
};

const std::set<UINT> kAllIds = {
    16, 17, 900, 901, 902, 903, 904, 905, 906, 907, 2010, 2020, 2021, 2022, 2023, 2024, 2025, 2027,
    2028, 2029, 2031, 2032, 2033, 2034, 2035, 2037, 2038, 2039, 2040, 2041, 2042, 2060, 2061, 5010,
    5020, 5030, 5040, 5060, 5070, 5080, 5090, 5100, 5110, 5120, 5130, 5131, 5132, 5133, 5134, 5135,
    6010, 6011, 6012, 6013, 6014, 6015, 6016, 6017, 6018, 6019, 6020, 6021, 6022, 6023, 6024, 6025,
    6026, 6027, 6028, 6030, 6031, 6032, 6100, 6101, 6102, 6103, 6104, 6105, 6106, 6107, 6108, 6109,
    6110, 6111, 6112, 6113, 6114, 6115, 6116, 6117, 6118, 6119, 10010, 10020, 10030, 11010, 11020,
    11030, 11040, 11041, 11050, 11060, 11070, 11080, 11090, 11091, 11100, 11110, 11120, 11130,
    11140, 11150, 11151, 11152, 12010, 12030, 12041, 12051, 13020, 13021, 13023, 13024, 13025,
    13030, 13070, 13080, 13081, 13082, 13083,
};

} // namespace

TEST(StringTable, EveryIdOnceWithItsTextInCp932)
{
    std::vector<UINT> ids;
    for (const Entry& e : kCompiled) {
        ids.push_back(e.first);
        EXPECT_EQ(ToUtf8(LoadResString(e.first)), e.second) << e.first;
    }
    EXPECT_EQ(std::multiset<UINT>(ids.begin(), ids.end()), std::multiset<UINT>(kAllIds.begin(), kAllIds.end()));
    EXPECT_EQ(LoadResString(2026), "");
    // Texts no other test shows in full, with their odd blanks and stops.
    const Entry exact[] = {
        {2025, "指定のパスにあるファイルは、使用できませんでした。 \nインストール先のパスを確認してください.。"},
        {2035, "「%s」 のデータを削除しています...。"},
        {2040, "データファイル作成に失敗しました。\n\n指定したのパスが正しいか、ディスク空き容量が十分あるか確認してください。"},
        {2041, "ファイルの最適化に失敗しました。\n\nTessra、Ravelin等を起動していましたら終了させて下さい。\n"
               "ディスク空き容量が十分あるか確認してください。"},
    };
    for (const auto& [id, text] : exact)
        EXPECT_EQ(LoadResStringUtf8(id), text) << id;
}

TEST(StringTable, FormatFillsEveryPlaceholderOnce)
{
    const std::tuple<UINT, const char*, std::string> cases[] = { // id, argument, the beginning of the result
        // 表 ends in 0x5C: the argument's bytes are taken as they stand.
        {2039, "C:\\Tessra\\表\\Guide.dbs",
         "\"C:\\Tessra\\表\\Guide.dbs\"が使用できませんでした。\n\nTessra、Ravelin等を起動していましたら終了させ、\n"
         "ファイルが書込み禁止になっていないか等確認してください。"},
        {2023, "施設", "施設データが変更されています。\n施設データの最適化を行ないますか？\n\nデータの最適化は\n"},
        {2038, "レストラン%s", "「レストラン%s」はすでにインストールされています。"},
    };
    for (const auto& [id, arg, expected] : cases)
        EXPECT_EQ(ToUtf8(FormatResString(id, FromUtf8(arg))).substr(0, expected.size()), expected) << id;
    EXPECT_EQ(ToUtf8(FormatText(LoadResString(5135).c_str(), 195)), "詳細データ [約195MB] ：");
}
