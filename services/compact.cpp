#include "services/compact.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>

#include "address/path_functions.h"
#include "platform/cp932.h"
#include "platform/message_box.h"
#include "platform/posix_file.h"
#include "platform/wait_cursor.h"
#include "res/string_ids.h"
#include "res/strings.h"
#include "searchdb/search_db.h"
#include "settings/directory_settings.h"
#include "shell/show_formatted_message.h"

namespace {

const UINT IDS_ASK_OPTIMISE = 2023;

// What the messages call the guide data.
std::string GuideDataWord()
{
    return FromUtf8("施設");
}

// Whatever the engine may have left under the temporary name.
void RemoveLeftovers(const std::string& utf8Temp)
{
    ::unlink(utf8Temp.c_str());
    ::unlink((utf8Temp + "-journal").c_str());
}

std::function<void()>& BeforeRenameHook()
{
    static std::function<void()> hook;
    return hook;
}

// A compacted file waiting for its rename has a marker beside it that
// records which file it is. A compaction killed before the rename leaves
// both; the next one removes the file only when it is still the very file
// recorded (device, inode, size, modification time), so a user's file that
// took the name meanwhile is never touched.
const char* const kMarkerSuffix = ".pellvane-compact";

std::string MarkerOf(const std::string& utf8Temp)
{
    const std::string::size_type slash = utf8Temp.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : utf8Temp.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? utf8Temp : utf8Temp.substr(slash + 1);
    return folder + "." + name + kMarkerSuffix;
}

std::string Identity(const struct stat& st)
{
    return FormatText("%ju %ju %jd %jd %ld", static_cast<uintmax_t>(st.st_dev), static_cast<uintmax_t>(st.st_ino),
                      static_cast<intmax_t>(st.st_size), static_cast<intmax_t>(st.st_mtim.tv_sec),
                      static_cast<long>(st.st_mtim.tv_nsec));
}

bool WriteMarker(const std::string& utf8Temp, const struct stat& st)
{
    std::ofstream out(MarkerOf(utf8Temp), std::ios::trunc);
    out << Identity(st) << '\n';
    out.close();
    return !out.fail();
}

// Removes what compactions killed before their rename left in folder.
void RemoveStaleTemporaries(const std::string& utf8Folder)
{
    static const std::regex kMarkerName(R"(\.(db[0-9]+\.dbs)\.pellvane-compact)");
    DIR* dir = ::opendir(utf8Folder.c_str());
    if (!dir)
        return;
    std::vector<std::pair<std::string, std::string>> found; // marker, temporary
    while (const dirent* entry = ::readdir(dir)) {
        std::cmatch m;
        if (std::regex_match(entry->d_name, m, kMarkerName))
            found.emplace_back(utf8Folder + "/" + entry->d_name, utf8Folder + "/" + m[1].str());
    }
    ::closedir(dir);
    for (const auto& [marker, temp] : found) {
        std::ifstream in(marker);
        std::string recorded;
        std::getline(in, recorded);
        struct stat st;
        if (::lstat(temp.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !recorded.empty() && Identity(st) == recorded)
            RemoveLeftovers(temp);
        ::unlink(marker.c_str());
    }
}

// The compacted file takes the old one's place, and so its permissions: the
// mode always, the owner and group where the process may set them (only
// root may give a file away; a member of the group may set the group).
bool TakePermissions(int fd, const struct stat& old)
{
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        // Not ours to set: the file stays the runner's.
    }
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

} // namespace

void SetCompactBeforeRenameHook(std::function<void()> hook)
{
    BeforeRenameHook() = std::move(hook);
}

std::string MakeTempDatabaseName(const std::string& path, const std::string& fileName)
{
    const std::string folder =
        AddBackslash(path.size() > fileName.size() ? path.substr(0, path.size() - fileName.size()) : std::string());
    for (int n = 1;; ++n) {
        const std::string candidate = FormatText("%s%s%d%s", folder.c_str(), "db", n, ".dbs");
        if (!FileExists(candidate))
            return candidate;
    }
}

BOOL CompactInPlace(CSearchDb& db, const std::string& path, const std::string& fileName)
{
    std::string utf8Path;
    if (!PathToNative(path, utf8Path))
        return FALSE;
    RemoveStaleTemporaries(posix::FolderOf(utf8Path));
    const std::string temp = MakeTempDatabaseName(path, fileName);
    std::string utf8Temp;
    if (!PathToNative(temp, utf8Temp))
        return FALSE;

    // The engine leaves nothing behind when it fails, and syncs the file and
    // its folder when it succeeds.
    if (!db.CompactSearchFile(path, temp))
        return FALSE;
    // The compacted file gets the old one's permissions, synced again for
    // them, before it takes the old one's name in one rename.
    struct stat old, st;
    bool ready;
    {
        const posix::FileDescriptor fd(::open(utf8Temp.c_str(), O_RDONLY | O_CLOEXEC));
        ready = fd.get() >= 0 && ::stat(utf8Path.c_str(), &old) == 0 && TakePermissions(fd.get(), old) &&
                ::fsync(fd.get()) == 0 && ::fstat(fd.get(), &st) == 0;
    }
    ready = ready && WriteMarker(utf8Temp, st);
    if (ready && BeforeRenameHook())
        BeforeRenameHook()();
    if (!ready || posix::ReplaceFile(utf8Temp, utf8Path) != 0) {
        RemoveLeftovers(utf8Temp);
        ::unlink(MarkerOf(utf8Temp).c_str());
        return FALSE;
    }
    ::unlink(MarkerOf(utf8Temp).c_str());
    return TRUE;
}

void SaveAndCompactGuide(CSearchDb& db, const std::string& destPath, const std::string& sourcePath,
                         const std::string& guideFile, BOOL bGuideChanged)
{
    SetGuideHdPath(destPath.c_str());
    SetGuideCdPath(sourcePath.c_str());
    // Nothing to compact: the last genre went with the file, or the
    // destination was browsed to a folder without a database.
    if (bGuideChanged != TRUE || !FileExists(destPath))
        return;

    const std::string word = GuideDataWord();
    if (AfxMessageBox(FormatResString(IDS_ASK_OPTIMISE, word), MB_YESNO | MB_ICONINFORMATION) != IDYES)
        return;

    CWaitCursor wait;
    if (!CompactInPlace(db, destPath, guideFile)) {
        ShowFormattedMessage(IDS_OPTIMISE_FAILED, word.c_str());
        return;
    }
    ShowFormattedMessage(IDS_OPTIMISED, word.c_str());
}
