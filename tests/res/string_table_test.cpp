// The string table as the user and the database engine see it: exact texts,
// line breaks, blanks and quotes, every entry loadable in CP932, and the
// templates filled by FormatResString.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/cp932.h"
#include "res/strings.h"

namespace {

struct TableEntry {
    UINT id;
    const char* utf8;
};

// The table exactly as compiled into the program.
const TableEntry kCompiled[] = {
#include "res/strings.inc"
};

struct Expected {
    UINT id;
    const char* utf8;
};

const Expected kExpected[] = {
    {16, "バージョン情報(&A)..."},
    {17, "ヘルプ(&H)..."},
    {2010, "インストール元フォルダとインストール先フォルダを同じにすることはできません。"},
    {2020, "指定したフォルダのディスク容量が足りないのでインストールできないと思われます。\n"
           "インストール先を変更するか、インストールするデータを減らしてください。\n\n"
           "もしディスクに空きがあるのにこのメッセージが出た場合、当社では保証しかねますが、\n"
           "お客様の責任においてこのままインストールを続けることもできます。\n\n"
           "インストールを続けますか?"},
    {2021, "インストールするフォルダを選択してください。\n [例] C:Program Files\\Tessra4\\LocalData"},
    {2022, "インストール元フォルダを選択してください。\n [例] Q:\n"},
    {2023, "%sデータが変更されています。\n%sデータの最適化を行ないますか？\n\n"
           "データの最適化は\nインストール済みのデータの大きさにより\n"
           "かなり時間が掛かる場合があります。\n\nまた、最適化を行なうと、\n"
           "１．検索パフォーマンスの向上\n２．ファイルサイズの縮小\n"
           "の効果が得られる可能性があります。\n"},
    {2024, "%sデータの最適化が終了しました。"},
    {2025, "指定のパスにあるファイルは、使用できませんでした。 \nインストール先のパスを確認してください.。"},
    {2028, "「%s」 のデータをインストールしています...。"},
    {2032, "'%s'のファイルが見つかりませんでした。\n指定のパスにファイルがあるか確認してください。"},
    {2035, "「%s」 のデータを削除しています...。"},
    {2039, "\"%s\"が使用できませんでした。\n\n"
           "Tessra、Ravelin等を起動していましたら終了させ、\n"
           "ファイルが書込み禁止になっていないか等確認してください。"},
    {2040, "データファイル作成に失敗しました。\n\n"
           "指定したのパスが正しいか、ディスク空き容量が十分あるか確認してください。"},
    {2041, "ファイルの最適化に失敗しました。\n\n"
           "Tessra、Ravelin等を起動していましたら終了させて下さい。\n"
           "ディスク空き容量が十分あるか確認してください。"},
    {2042, "データをHDにインストールします。\nファイルサイズが大きいため\n"
           "インストールに時間がかかる恐れがあります。\n\nデータのインストールを行いますか？"},
    {5131, "インストールデータの表示/選択ボタンです。"},
    {5134, "標準データ [約%dMB] ："},
    {5135, "詳細データ [約%dMB] ："},
    {10020, "CREATE TABLE Point ( L1 varchar(4) null, L2 varchar(4) null, L3 varchar(4) null, "
            "L4 varchar(4) null, L5 varchar(4) null, L6 varchar(4) null, L7 varchar(4) null, "
            "L8 varchar(4) null, Longitude long null, Latitude long null, Name varchar(80) null, "
            "NamePronounce varchar(140) null, ZipCode varchar(7) null, Address varchar(80) null, "
            "Tel varchar(15) null,  PrefCode short null, AreaCode short null, "
            "HighwayCode long null, MeshCode varchar(6) null, TS99GenreCode varchar(8) null, "
            "TS99SearchGenreCode varchar(4) null )"},
    {11041, "CREATE INDEX Category05 ON Category (L5)"},
    {11091, "CREATE INDEX Point06 ON Point (L6)"},
    {11152, "CREATE INDEX Point14 ON Point (TS99SearchGenreCode)"},
    {12010, "INSERT INTO Category (L1,L2,L3,L4,L5,L6,L7,L8,Name,NamePronounce) VALUES "
            "('0',null,null,null,null,null,null,null,'施設','シセツ')"},
    {12030, "DELETE * FROM Category WHERE L1='%s' AND L2='0'"},
    {13020, "SELECT * FROM Category WHERE L3='0' ORDER BY L1,L2"},
    {13070, "SELECT * FROM Category WHERE L1='%s' AND L2='%s' "},
    {13080, "SELECT * FROM Point WHERE L1='%s' AND L2='%s'"},
    {13083, "WHERE L1='%s' AND L2='0'"},
};

// Every resource ID the program loads.
const std::set<UINT> kAllIds = {
    16, 17,
    2010, 2020, 2021, 2022, 2023, 2024, 2025, 2027, 2028, 2029, 2031, 2032, 2033, 2034, 2035,
    2037, 2038, 2039, 2040, 2041, 2042,
    5010, 5020, 5030, 5040, 5060, 5070, 5080, 5090, 5100, 5110, 5120, 5130, 5131, 5132, 5133,
    5134, 5135,
    10010, 10020, 10030,
    11010, 11020, 11030, 11040, 11041, 11050, 11060, 11070, 11080, 11090, 11091, 11100, 11110,
    11120, 11130, 11140, 11150, 11151, 11152,
    12010, 12030, 12041, 12051,
    13020, 13021, 13023, 13024, 13025, 13030, 13070, 13080, 13081, 13082, 13083,
};

std::string Cp932(const char* utf8)
{
    std::string out;
    EXPECT_TRUE(Utf8ToCp932(utf8, out)) << utf8;
    return out;
}

} // namespace

TEST(StringTable, TextsAreExact)
{
    for (const Expected& e : kExpected) {
        SCOPED_TRACE(e.id);
        EXPECT_EQ(LoadResStringUtf8(e.id), e.utf8);
        EXPECT_EQ(ToUtf8(LoadResString(e.id)), e.utf8);
    }
}

TEST(StringTable, HoldsEveryIdOnceInOrder)
{
    std::vector<UINT> ids;
    for (const TableEntry& e : kCompiled)
        ids.push_back(e.id);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_EQ(std::set<UINT>(ids.begin(), ids.end()), kAllIds);
    EXPECT_EQ(ids.size(), kAllIds.size()) << "an ID appears twice";
}

TEST(StringTable, EveryEntryHasACp932Form)
{
    for (const TableEntry& e : kCompiled) {
        SCOPED_TRACE(e.id);
        const std::string cp932 = LoadResString(e.id);
        ASSERT_FALSE(cp932.empty());
        EXPECT_EQ(ToUtf8(cp932), e.utf8);
    }
}

TEST(StringTable, MissingIdLoadsEmpty)
{
    EXPECT_EQ(LoadResString(2026), "");
    EXPECT_EQ(LoadResStringUtf8(2026), "");
}

TEST(StringTable, FormatFillsEveryPlaceholderWithTheArgument)
{
    // "表" is 0x95 0x5C in CP932: its trail byte must not be taken for a
    // backslash or disturb the substitution.
    struct Case {
        UINT id;
        const char* argUtf8;
        const char* expectedUtf8;
    } cases[] = {
        {2032, "/media/cdrom/地図表/Guide.dbs",
         "'/media/cdrom/地図表/Guide.dbs'のファイルが見つかりませんでした。\n"
         "指定のパスにファイルがあるか確認してください。"},
        {2039, "/home/user/データ/Guide.dbs",
         "\"/home/user/データ/Guide.dbs\"が使用できませんでした。\n\n"
         "Tessra、Ravelin等を起動していましたら終了させ、\n"
         "ファイルが書込み禁止になっていないか等確認してください。"},
        {2039, "C:\\Tessra\\表\\Guide.dbs",
         "\"C:\\Tessra\\表\\Guide.dbs\"が使用できませんでした。\n\n"
         "Tessra、Ravelin等を起動していましたら終了させ、\n"
         "ファイルが書込み禁止になっていないか等確認してください。"},
        {2023, "施設",
         "施設データが変更されています。\n施設データの最適化を行ないますか？\n\n"
         "データの最適化は\nインストール済みのデータの大きさにより\n"
         "かなり時間が掛かる場合があります。\n\nまた、最適化を行なうと、\n"
         "１．検索パフォーマンスの向上\n２．ファイルサイズの縮小\n"
         "の効果が得られる可能性があります。\n"},
        {2038, "レストラン%s", "「レストラン%s」はすでにインストールされています。"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expectedUtf8);
        EXPECT_EQ(FormatResString(c.id, Cp932(c.argUtf8)), Cp932(c.expectedUtf8));
    }
}

TEST(StringTable, SizeLabelTakesANumber)
{
    EXPECT_EQ(FormatText(LoadResString(5134).c_str(), 43), Cp932("標準データ [約43MB] ："));
    EXPECT_EQ(FormatText(LoadResString(5135).c_str(), 195), Cp932("詳細データ [約195MB] ："));
}
