#include "platform/cp932.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <iconv.h>
#include <vector>

namespace {

// One conversion through iconv; false on any character without a form in
// the target encoding or on malformed input.
bool Convert(const char* to, const char* from, const std::string& in, std::string& out)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    struct Closer {
        iconv_t cd;
        ~Closer() { iconv_close(cd); }
    } closer{cd};
    std::string result;
    std::vector<char> buf(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    bool ok = true;
    while (srcLeft > 0) {
        char* dst = buf.data();
        size_t dstLeft = buf.size();
        size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        result.append(buf.data(), dst - buf.data());
        if (rc == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            ok = false;
            break;
        }
        if (rc != 0) { // irreversible (approximated) conversion
            ok = false;
            break;
        }
    }
    if (ok) {
        char* dst = buf.data();
        size_t dstLeft = buf.size();
        if (iconv(cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1))
            ok = false;
        else
            result.append(buf.data(), dst - buf.data());
    }
    if (ok)
        out = std::move(result);
    return ok;
}

} // namespace

bool IsCp932LeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool Utf8ToCp932(const std::string& utf8, std::string& out)
{
    // iconv folds several characters onto one CP932 code without complaint:
    // "¥" becomes 0x5C (a path separator here), WAVE DASH becomes FULLWIDTH
    // TILDE. Such a text has no CP932 form of its own; converting it back
    // would name a different file, so it is refused like any other.
    std::string cp932;
    std::string back;
    if (!Convert("CP932", "UTF-8", utf8, cp932) || !Convert("UTF-8", "CP932", cp932, back) ||
        back != utf8)
        return false;
    out = std::move(cp932);
    return true;
}

bool Cp932ToUtf8(const std::string& cp932, std::string& out)
{
    return Convert("UTF-8", "CP932", cp932, out);
}

std::string ToUtf8(const std::string& cp932)
{
    std::string out;
    return Cp932ToUtf8(cp932, out) ? out : std::string();
}

std::string FromUtf8(const std::string& utf8)
{
    std::string out;
    return Utf8ToCp932(utf8, out) ? out : std::string();
}

int ReverseFindChar(const std::string& s, char ch)
{
    int found = -1;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == ch)
            found = static_cast<int>(i);
        if (IsCp932LeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size())
            ++i;
    }
    return found;
}

std::string FormatText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(&out[0], out.size(), format, args);
        out.resize(static_cast<size_t>(n));
    }
    va_end(args);
    return out;
}
