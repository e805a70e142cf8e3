#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace {

// A folder only we can write, so nobody else can hold or fake our lock.
bool IsPrivateDir(const std::string& dir)
{
    struct stat st;
    return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid()
        && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

std::string RuntimeDir()
{
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && xdg[0] == '/' && IsPrivateDir(xdg))
        return xdg;
    const std::string dir = "/tmp/pellvane-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        return "";
    return IsPrivateDir(dir) ? dir : "";
}

// Letters, digits, "." and "-" stand; every other byte (":" "/" blanks, the
// bytes of double-byte characters) becomes "_".
std::string SafeFileName(const std::string& name)
{
    std::string out;
    for (unsigned char c : name) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.'
            || c == '-';
        out += plain ? static_cast<char>(c) : '_';
    }
    return out + ".lock";
}

} // namespace

InstanceLock::~InstanceLock() { Release(); }

std::string InstanceLock::LockFilePath(const std::string& nameCp932)
{
    if (nameCp932.empty())
        return "";
    const std::string dir = RuntimeDir();
    return dir.empty() ? "" : dir + "/" + SafeFileName(nameCp932);
}

bool InstanceLock::Acquire(const std::string& nameCp932)
{
    Release();
    const std::string path = LockFilePath(nameCp932);
    if (path.empty())
        return false;
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    int rc;
    while ((rc = flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void InstanceLock::Release()
{
    if (m_fd < 0)
        return;
    // The file stays: removing it would let a newcomer lock a fresh file
    // while a third process still waits on the old one.
    flock(m_fd, LOCK_UN);
    close(m_fd);
    m_fd = -1;
}
