#include "platform/registry_store.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix_file.h"

namespace registry_store {

namespace {

using posix::FileDescriptor;
using posix::FolderOf;

enum class ReadResult { Ok, Missing, Failed };

ReadResult ReadWhole(const std::string& path, std::string& out)
{
    FileDescriptor f(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (f.get() < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    struct stat st;
    if (::fstat(f.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return ReadResult::Failed;
    std::string text;
    char buf[65536];
    while (true) {
        ssize_t n = ::read(f.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return ReadResult::Failed;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    out = std::move(text);
    return ReadResult::Ok;
}

bool Writable(const std::string& path)
{
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

bool WritableFolder(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

LONG ErrnoToResult(int err)
{
    if (err == EACCES || err == EPERM || err == EROFS || err == ENOTDIR || err == EEXIST)
        return ERROR_ACCESS_DENIED;
    return ERROR_WRITE_FAULT;
}

// The file a write replaces: the root file, or what it links to, so that an
// administrator's symbolic link survives.
bool ReplacementTarget(const std::string& path, std::string& target)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
        target = path;
        return true;
    }
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return false;
    target = real;
    std::free(real);
    return true;
}

LONG ReplaceFile(const std::string& target, const std::string& text, mode_t mode)
{
    std::string tmpl = FolderOf(target) + "/." + target.substr(target.find_last_of('/') + 1) + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    FileDescriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0)
        return ErrnoToResult(errno);
    const std::string temp = name.data();
    int err = ::fchmod(fd.get(), mode) == 0 ? posix::WriteAll(fd.get(), text.data(), text.size()) : errno;
    if (!err && ::fsync(fd.get()) != 0)
        err = errno;
    if (const int closeErr = fd.Close(); !err)
        err = closeErr;
    if (!err)
        err = posix::ReplaceFile(temp, target);
    if (err) {
        ::unlink(temp.c_str());
        return ErrnoToResult(err);
    }
    return ERROR_SUCCESS;
}

} // namespace

std::string RootFilePath(const std::string& rootName)
{
    return RegistryDirectory() + "/" + rootName + ".reg";
}

Key Load(const std::string& rootName)
{
    Key root;
    std::string text;
    if (ReadWhole(RootFilePath(rootName), text) == ReadResult::Ok)
        Parse(text, rootName, root);
    return root;
}

bool CanWrite(const std::string& rootName)
{
    const std::string dir = RegistryDirectory();
    struct stat st;
    if (::stat(dir.c_str(), &st) != 0) {
        if (errno != ENOENT)
            return false;
        // Not there yet: the first write makes it under the nearest folder
        // that exists.
        std::string up = dir;
        while (true) {
            const std::string parent = FolderOf(up);
            if (parent == up)
                return false;
            up = parent;
            if (::stat(up.c_str(), &st) == 0)
                return WritableFolder(up);
            if (errno != ENOENT)
                return false;
        }
    }
    if (!WritableFolder(dir))
        return false;
    const std::string file = RootFilePath(rootName);
    if (::stat(file.c_str(), &st) != 0)
        return errno == ENOENT;
    std::string target;
    if (!S_ISREG(st.st_mode) || !Writable(file) || !ReplacementTarget(file, target) ||
        !WritableFolder(FolderOf(target)))
        return false;
    // A file that every write would refuse (ERROR_BADDB) is no more writable
    // than a read-only one.
    std::string text;
    Key root;
    return ReadWhole(target, text) == ReadResult::Ok && Parse(text, rootName, root);
}

LONG Update(const std::string& rootName, const std::function<LONG(Key& root, bool& modified)>& change)
{
    const std::string dir = RegistryDirectory();
    if (const int err = posix::MakeFolders(dir, 0755))
        return ErrnoToResult(err);

    // Every writer of this root, in any process, holds this lock from its
    // read to its rename, so no writer works on a file another is replacing.
    const std::string lockPath = dir + "/." + rootName + ".lock";
    FileDescriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    if (lock.get() < 0 && errno == EACCES) // made by another administrator; flock needs no write access
        lock.Reset(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (lock.get() < 0)
        return ErrnoToResult(errno);
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR)
            return ERROR_WRITE_FAULT;
    }

    const std::string path = RootFilePath(rootName);
    std::string target;
    if (!ReplacementTarget(path, target))
        return ERROR_BADDB;
    Key root;
    mode_t mode = 0644;
    struct stat st;
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return ERROR_BADDB;
        if (!Writable(target))
            return ERROR_ACCESS_DENIED;
        mode = st.st_mode & 07777;
        std::string text;
        if (ReadWhole(target, text) != ReadResult::Ok || !Parse(text, rootName, root))
            return ERROR_BADDB;
    } else if (errno != ENOENT) {
        return ErrnoToResult(errno);
    }

    bool modified = false;
    const LONG rc = change(root, modified);
    if (rc != ERROR_SUCCESS || !modified)
        return rc;
    return ReplaceFile(target, Serialize(root, rootName), mode);
}

} // namespace registry_store
