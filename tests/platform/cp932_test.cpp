// Code page 932 at the boundary: exact byte forms, refusal instead of
// mangling, and character-wise searches over double-byte text.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/cp932.h"

namespace {

const std::string kSentinel = "unchanged";

} // namespace

TEST(Cp932, JapaneseTextRoundTripsWithItsExactBytes)
{
    struct Case {
        const char* utf8;
        std::string cp932;
    } cases[] = {
        {"", ""},
        {"Guide.dbs", "Guide.dbs"},
        {"施設", "\x8e\x7b\x90\xdd"},
        {"表", "\x95\x5c"},                  // trail byte is "\"
        {"ソフト", "\x83\x5c\x83\x74\x83\x67"}, // so is ソ's
        {"能力", "\x94\x5c\x97\xcd"},
        {"ｱｲｳ", "\xb1\xb2\xb3"},             // half-width katakana, one byte each
        {"①", "\x87\x40"},
        {"/home/user/地図表/Guide.dbs", "/home/user/\x92\x6e\x90\x7d\x95\x5c/Guide.dbs"},
        {"a\\b~c", "a\\b~c"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        std::string cp932 = kSentinel;
        ASSERT_TRUE(Utf8ToCp932(c.utf8, cp932));
        EXPECT_EQ(cp932, c.cp932);
        std::string utf8 = kSentinel;
        ASSERT_TRUE(Cp932ToUtf8(cp932, utf8));
        EXPECT_EQ(utf8, c.utf8);
        EXPECT_EQ(FromUtf8(c.utf8), c.cp932);
        EXPECT_EQ(ToUtf8(c.cp932), c.utf8);
    }
}

TEST(Cp932, TextWithoutACp932FormIsRefused)
{
    const char* cases[] = {
        "한국어",
        "/home/user/한국어/Guide.dbs",
        "地図😀",
        "¥100",         // would become a backslash
        "\xe3\x80\x9c", // WAVE DASH would come back as FULLWIDTH TILDE
        "\xe2\x88\x92", // MINUS SIGN would come back as FULLWIDTH HYPHEN-MINUS
        "\xc3",         // truncated UTF-8
        "a\xff" "b",    // not UTF-8 at all
    };
    for (const char* utf8 : cases) {
        SCOPED_TRACE(utf8);
        std::string out = kSentinel;
        EXPECT_FALSE(Utf8ToCp932(utf8, out));
        EXPECT_EQ(out, kSentinel);
        EXPECT_EQ(FromUtf8(utf8), "");
    }
}

TEST(Cp932, InvalidCp932BytesAreRefused)
{
    const std::string cases[] = {
        "\x80",
        "\xa0",
        "\xfd",
        "\xff",
        "abc\x81",      // lead byte with nothing after it
        "\x81\x20",     // lead byte followed by a byte that cannot trail
        "\x81\x7f",
        "\x95",
    };
    for (const std::string& cp932 : cases) {
        SCOPED_TRACE(testing::PrintToString(cp932));
        std::string out = kSentinel;
        EXPECT_FALSE(Cp932ToUtf8(cp932, out));
        EXPECT_EQ(out, kSentinel);
        EXPECT_EQ(ToUtf8(cp932), "");
    }
}

TEST(Cp932, LeadBytes)
{
    for (int c = 0; c < 256; ++c) {
        const bool lead = (c >= 0x81 && c <= 0x9f) || (c >= 0xe0 && c <= 0xfc);
        EXPECT_EQ(IsCp932LeadByte(static_cast<unsigned char>(c)), lead) << c;
    }
}

TEST(Cp932, ReverseFindStepsOverDoubleByteCharacters)
{
    struct Case {
        std::string s;
        char ch;
        int expected;
    } cases[] = {
        {"", '\\', -1},
        {"Guide.dbs", '\\', -1},
        {"C:\\Data\\Guide.dbs", '\\', 7},
        {"C:\\Data\\Guide.dbs", '.', 13},
        {"C:\\\x92\x6e\x90\x7d\x95\x5c", '\\', 2},             // C:\地図表
        {"C:\\\x95\x5c\\Guide.dbs", '\\', 5},                 // C:\表\Guide.dbs
        {"C:\\\x83\x5c\x83\x74\x83\x67", '\\', 2},             // C:\ソフト
        {"\x95\x5c\x95\x5c\x95\x5c", '\\', -1},               // 表表表
        {"\x95\x5c.dbs", '.', 2},                             // 表.dbs
        {"C:\\Data\\\x81", '\\', 7},                          // a lone lead byte at the end
        {"\\\x81\\", '\\', 0},                                // a lead byte takes the "\" after it
        {"\xb1\\", '\\', 1},                                  // half-width katakana is one byte
        {"\x88\xea\x95\x5c\\x", '\\', 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.s));
        EXPECT_EQ(ReverseFindChar(c.s, c.ch), c.expected);
    }
}

TEST(Cp932, FormatText)
{
    const std::string name = "\x95\x5c"; // 表
    struct Case {
        std::string actual;
        std::string expected;
    } cases[] = {
        {FormatText("%s", name.c_str()), name},
        {FormatText("\"%s\"", "C:\\\x95\x5c\\Guide.dbs"), "\"C:\\\x95\x5c\\Guide.dbs\""},
        {FormatText("%d", 43), "43"},
        {FormatText("%d", -1), "-1"},
        {FormatText("%ldMB", 5000000000L / 1048576L), "4768MB"},
        {FormatText("%ld", LONG_MAX), std::to_string(LONG_MAX)},
        {FormatText("%s=%d", "L1", 7), "L1=7"},
        {FormatText("100%%"), "100%"},
        {FormatText("%s", ""), ""},
        {FormatText("%s", std::string(5000, 'x').c_str()), std::string(5000, 'x')},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.actual, c.expected);
}
