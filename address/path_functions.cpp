#include "address/path_functions.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/cp932.h"

namespace {

// Byte index where the last character of s starts, -1 for "".
int LastCharStart(const std::string& s)
{
    int start = -1;
    for (size_t i = 0; i < s.size(); ++i) {
        start = static_cast<int>(i);
        if (IsCp932LeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size())
            ++i;
    }
    return start;
}

// Whether byte offset pos starts a character of s.
bool IsCharBoundary(const std::string& s, size_t pos)
{
    size_t i = 0;
    while (i < pos) {
        if (IsCp932LeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size())
            i += 2;
        else
            ++i;
    }
    return i == pos;
}

} // namespace

char PathSeparator(PathStyle style)
{
    return style == PathStyle::Windows ? '\\' : '/';
}

bool EndsWithSeparator(const std::string& path, PathStyle style)
{
    const int last = LastCharStart(path);
    return last >= 0 && static_cast<size_t>(last) == path.size() - 1 && path[last] == PathSeparator(style);
}

std::string AddBackslash(const std::string& path, PathStyle style)
{
    if (EndsWithSeparator(path, style))
        return path;
    return path + PathSeparator(style);
}

std::string StripFileName(const std::string& path, const std::string& fileName, PathStyle style)
{
    if (fileName.size() > path.size())
        return path;
    const size_t at = path.size() - fileName.size();
    if (path.compare(at, std::string::npos, fileName) != 0 || !IsCharBoundary(path, at))
        return path;

    std::string rest = path.substr(0, at);
    const bool hadSeparator = EndsWithSeparator(rest, style);
    if (hadSeparator)
        rest.pop_back();
    // A root keeps its separator: "Q:" becomes "Q:\" again, "" becomes "/".
    if (style == PathStyle::Windows) {
        if (!rest.empty() && rest.back() == ':')
            rest += '\\';
    } else if (hadSeparator && rest.empty()) {
        rest = "/";
    }
    return rest;
}

std::string FolderOfPath(const std::string& path, PathStyle style)
{
    const int slash = ReverseFindChar(path, PathSeparator(style));
    const int dot = ReverseFindChar(path, '.');
    if (dot > slash)
        return path.substr(0, static_cast<size_t>(slash + 1));
    return path;
}

BOOL FileExists(const std::string& pathCp932)
{
    std::string native;
    if (pathCp932.empty() || !PathToNative(pathCp932, native))
        return FALSE;
    struct stat st;
    return stat(native.c_str(), &st) == 0 ? TRUE : FALSE;
}

BOOL FileIsWritable(const std::string& pathCp932)
{
    std::string native;
    if (pathCp932.empty() || !PathToNative(pathCp932, native))
        return FALSE;
    return access(native.c_str(), W_OK) == 0 ? TRUE : FALSE;
}

bool GetFileSize(const std::string& pathCp932, std::uint64_t& size)
{
    std::string native;
    if (pathCp932.empty() || !PathToNative(pathCp932, native))
        return false;
    struct stat st;
    if (stat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return false;
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

bool PathToNative(const std::string& pathCp932, std::string& pathUtf8)
{
    return Cp932ToUtf8(pathCp932, pathUtf8);
}

bool PathFromNative(const std::string& pathUtf8, std::string& pathCp932)
{
    return Utf8ToCp932(pathUtf8, pathCp932);
}
