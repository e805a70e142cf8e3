// Code page 932 text: conversions round-trip; ReverseFindChar finds the last
// "\" or "." that is a character of its own, never a trail byte;
// FormatResString puts its argument in as bytes, never reading a "%" in it.
#include <cstdint>
#include <iterator>
#include <string>

#include "fuzz_common.h"
#include "platform/cp932.h"
#include "res/strings.h"

const struct { UINT id; const char* utf8; } kStrings[] = {
#include "res/strings.inc"
};

// The last index of ch that starts a character, or -1.
static int LastChar(const std::string& s, char ch)
{
    int last = -1;
    for (size_t i = 0; i < s.size(); i += IsCp932LeadByte(static_cast<unsigned char>(s[i])) ? 2 : 1)
        last = s[i] == ch ? static_cast<int>(i) : last;
    return last;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 4096)
        return 0;
    const std::string s(reinterpret_cast<const char*>(data) + 2, size - 2);
    std::string utf8, cp932, back;
    if (Cp932ToUtf8(s, utf8))
        FUZZ_CHECK(Utf8ToCp932(utf8, cp932) && Cp932ToUtf8(cp932, back) && back == utf8 && ToUtf8(s) == utf8);
    if (Utf8ToCp932(s, cp932))
        FUZZ_CHECK(Cp932ToUtf8(cp932, back) && back == s && FromUtf8(s) == cp932);
    for (const char ch : {'\\', '.'})
        FUZZ_CHECK(ReverseFindChar(s, ch) == LastChar(s, ch));

    // A string-table entry chosen by the first two bytes, the rest the argument.
    const UINT id = kStrings[(size_t(data[0]) << 8 | data[1]) % std::size(kStrings)].id;
    std::string expected;
    for (char c : FormatResString(id, "\x01")) // no template holds it
        expected += c == '\x01' ? s : std::string(1, c);
    FUZZ_CHECK(FormatResString(id, s) == expected);
    return 0;
}
