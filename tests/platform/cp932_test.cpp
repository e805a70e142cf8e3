// Code page 932 at the boundary: exact bytes, refusal instead of mangling,
// character-wise searches over double-byte text.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/cp932.h"

TEST(Cp932, TextRoundTripsWithItsExactBytes)
{
    const std::pair<const char*, std::string> cases[] = {
        {"施設", "\x8e\x7b\x90\xdd"}, {"表ソ", "\x95\x5c\x83\x5c"}, // trail bytes that are "\"
        {"ｱｲｳ", "\xb1\xb2\xb3"}, {"①", "\x87\x40"}, {"a\\b~c", "a\\b~c"},
    };
    for (const auto& [utf8, cp932] : cases) {
        EXPECT_EQ(FromUtf8(utf8), cp932) << utf8;
        EXPECT_EQ(ToUtf8(cp932), utf8);
    }
}

TEST(Cp932, TextWithoutAFormIsRefusedAndOutputLeftAlone)
{
    // ¥ would become a backslash, WAVE DASH would come back as FULLWIDTH TILDE.
    for (const char* utf8 : {"/home/user/한국어/Guide.dbs", "地図😀", "¥100", "\xe3\x80\x9c", "\xc3"}) {
        std::string out = "unchanged";
        EXPECT_FALSE(Utf8ToCp932(utf8, out)) << utf8;
        EXPECT_EQ(out, "unchanged");
    }
    for (const std::string cp932 : {"\x80", "\xff", "abc\x81", "\x81\x20"}) {
        std::string out = "unchanged";
        EXPECT_FALSE(Cp932ToUtf8(cp932, out)) << testing::PrintToString(cp932);
        EXPECT_EQ(out, "unchanged");
    }
}

TEST(Cp932, ReverseFindStepsOverDoubleByteCharacters)
{
    const std::pair<std::string, int> cases[] = {
        {"Guide.dbs", -1},
        {"C:\\\x95\x5c\\Guide.dbs", 5},            // C:\表\Guide.dbs
        {"\x95\x5c\x95\x5c\x95\x5c", -1},           // 表表表
        {"C:\\Data\\\x81", 7},                      // a lone lead byte at the end
        {"\xb1\\", 1},                              // half-width katakana is one byte
    };
    for (const auto& [s, expected] : cases)
        EXPECT_EQ(ReverseFindChar(s, '\\'), expected) << testing::PrintToString(s);
    EXPECT_EQ(ReverseFindChar("C:\\Data\\Guide.dbs", '.'), 13);
}
