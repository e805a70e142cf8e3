#include "platform/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace posix {

void FileDescriptor::Reset(int fd)
{
    Close();
    m_fd = fd;
}

int FileDescriptor::Close()
{
    int err = 0;
    if (m_fd >= 0 && ::close(m_fd) != 0)
        err = errno;
    m_fd = -1;
    return err;
}

int WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int MakeFolders(const std::string& folder, mode_t mode)
{
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos < folder.size() && folder[pos] != '/')
            continue;
        const std::string part = folder.substr(0, pos);
        if (::mkdir(part.c_str(), mode) != 0 && errno != EEXIST)
            return errno;
    }
    if (::stat(folder.c_str(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

std::string FolderOf(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int SyncPath(const std::string& path)
{
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return errno;
    return ::fsync(fd.get()) == 0 ? 0 : errno;
}

int SyncFolderOf(const std::string& path)
{
    return SyncPath(FolderOf(path));
}

int SyncFileAndFolder(const std::string& path)
{
    int fileErr = 0;
    {
        FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0)
            return errno;
        if (::fsync(fd.get()) != 0)
            fileErr = errno;
    }
    const int folderErr = SyncFolderOf(path);
    return folderErr ? folderErr : fileErr;
}

int ReplaceFile(const std::string& temp, const std::string& target)
{
    if (::rename(temp.c_str(), target.c_str()) != 0)
        return errno;
    SyncFolderOf(target);
    return 0;
}

} // namespace posix
