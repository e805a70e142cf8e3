// Code page 932 text: conversions round-trip; ReverseFindChar finds the
// last "\" or "." that is a character of its own, never a trail byte;
// FormatResString puts its argument in as bytes, never reading a "%" in it.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "platform/cp932.h"
#include "platform/win_types.h"
#include "res/strings.h"

namespace {

struct Entry {
    UINT id;
    const char* utf8;
};

const Entry kStrings[] = {
#include "res/strings.inc"
};

// Byte offsets where a character starts.
std::vector<bool> CharStarts(const std::string& s)
{
    std::vector<bool> starts(s.size(), false);
    for (size_t i = 0; i < s.size(); ++i) {
        starts[i] = true;
        if (IsCp932LeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size())
            ++i;
    }
    return starts;
}

void CheckReverseFind(const std::string& s, char ch)
{
    const int r = ReverseFindChar(s, ch);
    const std::vector<bool> starts = CharStarts(s);
    FUZZ_CHECK(r >= -1 && r < static_cast<int>(s.size()), "index %d of %zu", r, s.size());
    if (r >= 0)
        FUZZ_CHECK(s[r] == ch && starts[r], "index %d is not a '%c' of its own", r, ch);
    for (size_t i = r + 1; i < s.size(); ++i)
        FUZZ_CHECK(!(starts[i] && s[i] == ch), "a later '%c' at %zu was missed (found %d)", ch, i, r);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2 || size > 4096)
        return 0;
    const std::string s(reinterpret_cast<const char*>(data) + 2, size - 2);

    std::string utf8;
    if (Cp932ToUtf8(s, utf8)) {
        std::string cp932, back;
        FUZZ_CHECK(Utf8ToCp932(utf8, cp932), "UTF-8 made from CP932 has no CP932 form");
        FUZZ_CHECK(Cp932ToUtf8(cp932, back) && back == utf8, "the text changed on its way back");
        FUZZ_CHECK(ToUtf8(s) == utf8, "ToUtf8 differs from Cp932ToUtf8");
    }
    std::string cp932;
    if (Utf8ToCp932(s, cp932)) {
        std::string back;
        FUZZ_CHECK(Cp932ToUtf8(cp932, back) && back == s, "UTF-8 did not come back as it was");
        FUZZ_CHECK(FromUtf8(s) == cp932, "FromUtf8 differs from Utf8ToCp932");
    }

    CheckReverseFind(s, '\\');
    CheckReverseFind(s, '.');

    // A string-table entry chosen by the first two bytes, the rest the argument.
    const size_t count = sizeof kStrings / sizeof kStrings[0];
    const UINT id = kStrings[(size_t(data[0]) << 8 | data[1]) % count].id;
    const std::string formatted = FormatResString(id, s);
    std::string expected;
    for (char c : FormatResString(id, "\x01")) // no template holds it
        expected += c == '\x01' ? s : std::string(1, c);
    FUZZ_CHECK(formatted == expected, "FormatResString(%u) read its argument", id);
    FUZZ_CHECK(FormatText("%s", s.c_str()) == s.substr(0, s.find('\0')), "FormatText(\"%%s\") changed its argument");
    return 0;
}
