#include "platform/cp932.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <iconv.h>
#include <vector>

namespace {

bool IsAscii(const std::string& s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// iconv descriptors are costly to open and every database field crosses
// this boundary, so each thread keeps one per direction.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // False on any character without a form in the target encoding or on
    // malformed input.
    bool Run(const std::string& in, std::string& out)
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            return false;
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
        std::string result;
        m_buf.resize(in.size() * 2 + 16);
        char* src = const_cast<char*>(in.data());
        size_t srcLeft = in.size();
        while (srcLeft > 0) {
            char* dst = m_buf.data();
            size_t dstLeft = m_buf.size();
            size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            result.append(m_buf.data(), dst - m_buf.data());
            if (rc == static_cast<size_t>(-1)) {
                if (errno == E2BIG)
                    continue;
                return false;
            }
            if (rc != 0) // irreversible (approximated) conversion
                return false;
        }
        char* dst = m_buf.data();
        size_t dstLeft = m_buf.size();
        if (iconv(m_cd, nullptr, nullptr, &dst, &dstLeft) == static_cast<size_t>(-1))
            return false;
        result.append(m_buf.data(), dst - m_buf.data());
        out = std::move(result);
        return true;
    }

private:
    iconv_t m_cd;
    std::vector<char> m_buf;
};

enum class Target { Cp932, Utf8 };

bool Convert(Target target, const std::string& in, std::string& out)
{
    // ASCII is the same in both encodings (CP932 keeps 0x5C and 0x7E as
    // backslash and tilde), and most database fields are ASCII codes.
    if (IsAscii(in)) {
        out = in;
        return true;
    }
    if (target == Target::Cp932) {
        thread_local Converter toCp932("CP932", "UTF-8");
        return toCp932.Run(in, out);
    }
    thread_local Converter toUtf8("UTF-8", "CP932");
    return toUtf8.Run(in, out);
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
    if (!Convert(Target::Cp932, utf8, cp932) || !Convert(Target::Utf8, cp932, back) ||
        back != utf8)
        return false;
    out = std::move(cp932);
    return true;
}

bool Cp932ToUtf8(const std::string& cp932, std::string& out)
{
    return Convert(Target::Utf8, cp932, out);
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
