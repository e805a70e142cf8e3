// The small path functions the pages and the installations share, on code
// page 932 strings. The separator and root follow a path style: the
// installer runs with POSIX paths ("/", root "/"); the Windows style ("\",
// roots "X:\") keeps the host's own notation available.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win_types.h"

enum class PathStyle { Posix, Windows };

// The separator of a style: '/' or '\\'.
char PathSeparator(PathStyle style = PathStyle::Posix);

// True when the last character of path is the separator. Looks at
// characters, not bytes: the trail byte of a double-byte character (0x5C in
// "表") is not a separator.
bool EndsWithSeparator(const std::string& path, PathStyle style = PathStyle::Posix);

// The path with a separator appended unless it already ends with one; ""
// gives the separator alone.
std::string AddBackslash(const std::string& path, PathStyle style = PathStyle::Posix);

// The folder of path when path ends with fileName: the file name and one
// separator removed, the root kept ("Q:\" in the Windows style, "/" in the
// POSIX style). A path that does not end with fileName is returned unchanged.
std::string StripFileName(const std::string& path, const std::string& fileName,
                          PathStyle style = PathStyle::Posix);

// The folder part, up to and including the last separator, of a path whose
// last "." stands after its last separator (a file path); any other path is
// returned unchanged. Both searches go by character.
std::string FolderOfPath(const std::string& path, PathStyle style = PathStyle::Posix);

// True when the file's status can be read.
BOOL FileExists(const std::string& pathCp932);

// True when this process may write the file (its mode, its owner, the
// media).
BOOL FileIsWritable(const std::string& pathCp932);

// The size in bytes of the file at path; false when its status cannot be read.
bool GetFileSize(const std::string& pathCp932, std::uint64_t& size);

// Paths cross to the file system as UTF-8. These refuse, rather than mangle,
// a path with no form in the other encoding.
bool PathToNative(const std::string& pathCp932, std::string& pathUtf8);
bool PathFromNative(const std::string& pathUtf8, std::string& pathCp932);
