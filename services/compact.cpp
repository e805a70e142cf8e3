#include "services/compact.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "address/path_functions.h"
#include "platform/cp932.h"
#include "platform/message_box.h"
#include "platform/wait_cursor.h"
#include "res/strings.h"
#include "searchdb/search_db.h"
#include "settings/directory_settings.h"
#include "shell/show_formatted_message.h"

namespace {

const UINT IDS_ASK_OPTIMISE = 2023;
const UINT IDS_OPTIMISED = 2024;
const UINT IDS_OPTIMISE_FAILED = 2037;

// What the messages call the guide data.
std::string GuideDataWord()
{
    return FromUtf8("施設");
}

bool SyncPath(const std::string& utf8Path, int flags)
{
    const int fd = ::open(utf8Path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

std::string FolderOf(const std::string& utf8Path)
{
    const std::string::size_type slash = utf8Path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : utf8Path.substr(0, slash);
}

// Whatever the engine may have left under the temporary name.
void RemoveLeftovers(const std::string& utf8Temp)
{
    ::unlink(utf8Temp.c_str());
    ::unlink((utf8Temp + "-journal").c_str());
}

} // namespace

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
    const std::string temp = MakeTempDatabaseName(path, fileName);
    std::string utf8Path, utf8Temp;
    if (!PathToNative(path, utf8Path) || !PathToNative(temp, utf8Temp))
        return FALSE;

    if (!db.CompactSearchFile(path, temp)) {
        RemoveLeftovers(utf8Temp);
        return FALSE;
    }
    // The compacted file must be on the disk before it takes the old one's
    // name; the rename then replaces the old file in one step.
    if (!SyncPath(utf8Temp, O_RDONLY) || ::rename(utf8Temp.c_str(), utf8Path.c_str()) != 0) {
        RemoveLeftovers(utf8Temp);
        return FALSE;
    }
    SyncPath(FolderOf(utf8Path), O_RDONLY | O_DIRECTORY);
    return TRUE;
}

void SaveAndCompactGuide(CSearchDb& db, const std::string& destPath, const std::string& sourcePath,
                         const std::string& guideFile, BOOL bGuideChanged)
{
    SetGuideHdPath(destPath.c_str());
    SetGuideCdPath(sourcePath.c_str());
    if (bGuideChanged != TRUE)
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
