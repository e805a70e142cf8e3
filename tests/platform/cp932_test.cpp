// Code page 932 at the boundary: exact byte forms, refusal instead of
// mangling, and character-wise searches over double-byte text.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/cp932.h"

TEST(Cp932, TextRoundTripsWithItsExactBytes)
{
    const struct {
        const char* utf8;
        std::string cp932;
    } cases[] = {
        {"", ""},
        {"施設", "\x8e\x7b\x90\xdd"},
        {"表ソ", "\x95\x5c\x83\x5c"}, // trail bytes that are "\"
        {"ｱｲｳ", "\xb1\xb2\xb3"},      // half-width katakana, one byte each
        {"①", "\x87\x40"},            // a code page 932 extension
        {"a\\b~c", "a\\b~c"},         // ASCII stays ASCII
    };
    for (const auto& c : cases) {
        std::string cp932 = "unchanged", utf8 = "unchanged";
        ASSERT_TRUE(Utf8ToCp932(c.utf8, cp932)) << c.utf8;
        EXPECT_EQ(cp932, c.cp932) << c.utf8;
        ASSERT_TRUE(Cp932ToUtf8(cp932, utf8)) << c.utf8;
        EXPECT_EQ(utf8, c.utf8);
        EXPECT_EQ(FromUtf8(c.utf8), c.cp932) << c.utf8;
        EXPECT_EQ(ToUtf8(c.cp932), c.utf8);
    }
}

TEST(Cp932, TextWithoutAFormIsRefusedAndOutputLeftAlone)
{
    const char* fromUtf8[] = {
        "/home/user/한국어/Guide.dbs",
        "地図😀",
        "¥100",         // would become a backslash
        "\xe3\x80\x9c", // WAVE DASH would come back as FULLWIDTH TILDE
        "\xc3",         // truncated UTF-8
        "a\xff" "b",
    };
    for (const char* utf8 : fromUtf8) {
        std::string out = "unchanged";
        EXPECT_FALSE(Utf8ToCp932(utf8, out)) << utf8;
        EXPECT_EQ(out, "unchanged");
        EXPECT_EQ(FromUtf8(utf8), "");
    }
    const std::string fromCp932[] = {"\x80", "\xa0", "\xff", "abc\x81", "\x81\x20", "\x81\x7f"};
    for (const std::string& cp932 : fromCp932) {
        std::string out = "unchanged";
        EXPECT_FALSE(Cp932ToUtf8(cp932, out)) << testing::PrintToString(cp932);
        EXPECT_EQ(out, "unchanged");
        EXPECT_EQ(ToUtf8(cp932), "");
    }
}

TEST(Cp932, ReverseFindStepsOverDoubleByteCharacters)
{
    const struct {
        std::string s;
        char ch;
        int expected;
    } cases[] = {
        {"Guide.dbs", '\\', -1},
        {"C:\\Data\\Guide.dbs", '.', 13},
        {"C:\\\x95\x5c\\Guide.dbs", '\\', 5},   // C:\表\Guide.dbs
        {"C:\\\x83\x5c\x83\x74\x83\x67", '\\', 2}, // C:\ソフト
        {"\x95\x5c\x95\x5c\x95\x5c", '\\', -1},   // 表表表
        {"C:\\Data\\\x81", '\\', 7},              // a lone lead byte at the end
        {"\\\x81\\", '\\', 0},                    // a lead byte takes the "\" after it
        {"\xb1\\", '\\', 1},                      // half-width katakana is one byte
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReverseFindChar(c.s, c.ch), c.expected) << testing::PrintToString(c.s);
}

TEST(Cp932, FormatText)
{
    EXPECT_EQ(FormatText("\"%s\"", "C:\\\x95\x5c\\Guide.dbs"), "\"C:\\\x95\x5c\\Guide.dbs\"");
    EXPECT_EQ(FormatText("%ldMB", 5000000000L / 1048576L), "4768MB");
    EXPECT_EQ(FormatText("%ld", LONG_MAX), std::to_string(LONG_MAX));
    EXPECT_EQ(FormatText("100%%"), "100%");
    EXPECT_EQ(FormatText("%s", std::string(5000, 'x').c_str()), std::string(5000, 'x'));
}
