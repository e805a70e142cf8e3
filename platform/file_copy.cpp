#include "platform/file_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <vector>

#include "address/path_functions.h"
#include "platform/cp932.h"
#include "platform/posix_file.h"
#include "res/strings.h"

namespace {

using posix::FileDescriptor;

const UINT IDS_NO_SPACE = 6100;
const UINT IDS_QUOTA_EXCEEDED = 6101;
const UINT IDS_FILE_TOO_LARGE = 6102;
const UINT IDS_ACCESS_DENIED = 6103;
const UINT IDS_READ_ONLY_DISK = 6104;
const UINT IDS_NOT_FOUND = 6105;
const UINT IDS_NOT_A_FOLDER_IN_PATH = 6106;
const UINT IDS_IS_A_FOLDER = 6107;
const UINT IDS_DISK_ERROR = 6108;
const UINT IDS_INSTALLED_DATA_KEPT = 6109;
const UINT IDS_BAD_TARGET_NAME = 6110;
const UINT IDS_SOURCE_NAME_NOT_CONVERTED = 6111;
const UINT IDS_TARGET_NAME_NOT_CONVERTED = 6112;
const UINT IDS_SOURCE_NOT_OPENED = 6113;
const UINT IDS_FOLDER_NOT_MADE = 6114;
const UINT IDS_TEMPORARY_NOT_MADE = 6115;
const UINT IDS_WRITE_FAILED = 6116;
const UINT IDS_READ_FAILED = 6117;
const UINT IDS_COPY_FAILED = 6118;
const UINT IDS_REPLACE_FAILED = 6119;

const char kTemporaryMark[] = ".pellvane-";
const size_t kTemporarySuffixLength = 6;
const size_t kBufferBytes = 1u << 20;

// What went wrong, in words a user can act on.
std::string Reason(int err)
{
    UINT text = 0;
    switch (err) {
    case ENOSPC:
        text = IDS_NO_SPACE;
        break;
    case EDQUOT:
        text = IDS_QUOTA_EXCEEDED;
        break;
    case EFBIG:
        text = IDS_FILE_TOO_LARGE;
        break;
    case EACCES:
    case EPERM:
        text = IDS_ACCESS_DENIED;
        break;
    case EROFS:
        text = IDS_READ_ONLY_DISK;
        break;
    case ENOENT:
        text = IDS_NOT_FOUND;
        break;
    case ENOTDIR:
        text = IDS_NOT_A_FOLDER_IN_PATH;
        break;
    case EISDIR:
        text = IDS_IS_A_FOLDER;
        break;
    case EIO:
        text = IDS_DISK_ERROR;
        break;
    default:
        break;
    }
    if (text)
        return LoadResString(text);
    return FormatText("(%d) %s", err, std::strerror(err));
}

// The template's one %s takes the path; the reason follows on its own line.
std::string Message(UINT templateId, const std::string& pathCp932, int err, bool installedKept)
{
    std::string text = FormatResString(templateId, pathCp932);
    if (err)
        text += "\n" + Reason(err);
    if (installedKept)
        text += LoadResString(IDS_INSTALLED_DATA_KEPT);
    return text;
}

// A temporary file that is removed unless it was given its final name.
class TemporaryFile {
public:
    ~TemporaryFile()
    {
        m_fd.Close();
        if (!m_path.empty())
            unlink(m_path.c_str());
    }
    int Create(const std::string& folder, const std::string& targetName)
    {
        static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        std::random_device device;
        std::uniform_int_distribution<int> pick(0, static_cast<int>(sizeof kLetters) - 2);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string path = folder + TemporaryNamePrefix(targetName);
            for (size_t i = 0; i < kTemporarySuffixLength; ++i)
                path += kLetters[pick(device)];
            const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                m_fd.Reset(fd);
                m_path = path;
                return 0;
            }
            if (errno != EEXIST)
                return errno;
        }
        return EEXIST;
    }
    int fd() const { return m_fd.get(); }
    int Close() { return m_fd.Close(); }
    const std::string& path() const { return m_path; }
    void Release() { m_path.clear(); }

private:
    FileDescriptor m_fd;
    std::string m_path;
};

// Temporaries left by a run that was killed in the middle of a copy.
void RemoveStaleTemporaries(const std::string& folder, const std::string& targetName)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return;
    std::vector<std::string> stale;
    while (const dirent* entry = readdir(dir))
        if (IsTemporaryNameOf(entry->d_name, targetName))
            stale.push_back(folder + entry->d_name);
    closedir(dir);
    for (const std::string& path : stale)
        unlink(path.c_str());
}

enum class Side { None, Read, Write };

// Moves up to chunk bytes from in to out. Returns the bytes moved (0 at the
// end of the source) or -1 with err and side set.
ssize_t MoveChunk(int in, int out, size_t chunk, bool& kernelCopy, std::vector<char>& buffer, int& err,
                  Side& side, bool nothingCopiedYet)
{
    while (kernelCopy) {
        const ssize_t n = copy_file_range(in, nullptr, out, nullptr, chunk, 0);
        if (n > 0)
            return n;
        if (n == 0) {
            // Some file systems answer 0 rather than an error; let read() say
            // whether this is really the end.
            kernelCopy = false;
            break;
        }
        if (errno == EINTR)
            continue;
        if (nothingCopiedYet && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                                 errno == EBADF || errno == ETXTBSY)) {
            kernelCopy = false;
            break;
        }
        err = errno;
        side = (err == EIO) ? Side::None : Side::Write;
        return -1;
    }

    if (buffer.empty())
        buffer.resize(std::min(chunk, kBufferBytes));
    size_t moved = 0;
    while (moved < chunk) {
        const ssize_t n = read(in, buffer.data(), std::min(buffer.size(), chunk - moved));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            err = errno;
            side = Side::Read;
            return -1;
        }
        if (n == 0)
            break;
        if ((err = posix::WriteAll(out, buffer.data(), static_cast<size_t>(n))) != 0) {
            side = Side::Write;
            return -1;
        }
        moved += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(moved);
}

} // namespace

std::string TemporaryNamePrefix(const std::string& targetName)
{
    return "." + targetName + kTemporaryMark;
}

bool IsTemporaryNameOf(const std::string& name, const std::string& targetName)
{
    const std::string prefix = TemporaryNamePrefix(targetName);
    if (name.size() != prefix.size() + kTemporarySuffixLength || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    return std::all_of(name.begin() + static_cast<long>(prefix.size()), name.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
}

CopyResult InstallFileCopy(const std::string& sourceCp932, const std::string& destFolderCp932,
                           const std::string& targetNameCp932, const CopyProgress& progress,
                           std::string& errorCp932, const CopyOptions& options)
{
    errorCp932.clear();
    // Every failure before the rename leaves the installed file as it was.
    auto fail = [&](UINT templateId, const std::string& pathCp932, int err) {
        errorCp932 = Message(templateId, pathCp932, err, true);
        return CopyResult::Failed;
    };

    const std::string folderCp932 = AddBackslash(destFolderCp932);
    const std::string targetCp932 = folderCp932 + targetNameCp932;
    if (targetNameCp932.empty() || targetNameCp932 == "." || targetNameCp932 == ".." ||
        targetNameCp932.find('/') != std::string::npos)
        return fail(IDS_BAD_TARGET_NAME, targetNameCp932, 0);

    std::string source, folder, targetName;
    if (!PathToNative(sourceCp932, source))
        return fail(IDS_SOURCE_NAME_NOT_CONVERTED, sourceCp932, 0);
    if (!PathToNative(folderCp932, folder) || !PathToNative(targetNameCp932, targetName))
        return fail(IDS_TARGET_NAME_NOT_CONVERTED, targetCp932, 0);
    const std::string target = folder + targetName;

    FileDescriptor in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (in.get() < 0 || fstat(in.get(), &st) != 0)
        return fail(IDS_SOURCE_NOT_OPENED, sourceCp932, errno);
    if (!S_ISREG(st.st_mode))
        return fail(IDS_SOURCE_NOT_OPENED, sourceCp932, EISDIR);
    std::uint64_t total = static_cast<std::uint64_t>(st.st_size);
    posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    if (int err = posix::MakeFolders(folder))
        return fail(IDS_FOLDER_NOT_MADE, folderCp932, err);
    RemoveStaleTemporaries(folder, targetName);

    TemporaryFile temp;
    if (int err = temp.Create(folder, targetName))
        return fail(IDS_TEMPORARY_NOT_MADE, folderCp932, err);

    if (progress && !progress(0, total))
        return CopyResult::Cancelled;

    const size_t chunk = std::max<size_t>(options.chunkBytes, 4096);
    bool kernelCopy = options.allowKernelCopy;
    std::vector<char> buffer;
    std::uint64_t done = 0;
    for (;;) {
        int err = 0;
        Side side = Side::None;
        const ssize_t n = MoveChunk(in.get(), temp.fd(), chunk, kernelCopy, buffer, err, side, done == 0);
        if (n < 0) {
            if (side == Side::Read)
                return fail(IDS_READ_FAILED, sourceCp932, err);
            if (side == Side::Write)
                return fail(IDS_WRITE_FAILED, folderCp932, err);
            return fail(IDS_COPY_FAILED, sourceCp932, err);
        }
        if (n == 0)
            break;
        done += static_cast<std::uint64_t>(n);
        total = std::max(total, done);
        if (progress && !progress(done, total))
            return CopyResult::Cancelled;
    }
    if (fsync(temp.fd()) != 0)
        return fail(IDS_WRITE_FAILED, folderCp932, errno);
    if (int err = temp.Close())
        return fail(IDS_WRITE_FAILED, folderCp932, err);

    if (int err = posix::ReplaceFile(temp.path(), target))
        return fail(IDS_REPLACE_FAILED, targetCp932, err);
    temp.Release();
    return CopyResult::Done;
}
