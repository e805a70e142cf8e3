// File work on POSIX written once: a descriptor owner, whole writes, folder
// creation, and the syncs that make a replaced file durable. Functions that
// can fail return 0 or the errno of the step that failed.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace posix {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    void Reset(int fd);
    // 0, or the errno of a failed close (a late write error on some file systems).
    int Close();

private:
    int m_fd;
};

int WriteAll(int fd, const char* data, std::size_t size);

// mkdir -p with the given mode for the folders it makes.
int MakeFolders(const std::string& folder, mode_t mode = 0777);

// The folder that holds path: "." for a bare name, "/" for a name at the top.
std::string FolderOf(const std::string& path);

// fsync of what path names (a file or a folder); of a file's folder; of a
// file and of its folder.
int SyncPath(const std::string& path);
int SyncFolderOf(const std::string& path);
int SyncFileAndFolder(const std::string& path);

// Gives temp, already on disk, the name target in one rename, then syncs the
// folder so the new name lasts. Only the rename's failure is returned: once
// it is done the data is there, and a failed folder sync changes nothing a
// caller could act on.
int ReplaceFile(const std::string& temp, const std::string& target);

} // namespace posix
