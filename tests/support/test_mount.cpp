#include "support/test_mount.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

// Once per process: a mount namespace of its own, private, so that our mounts
// die with the process. Threads started before keep the old one; the tests'
// work happens on the main thread.
void EnterPrivateNamespace()
{
    static const bool entered = unshare(CLONE_NEWNS) == 0 &&
                                mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    (void)entered;
}

bool CanMount(std::string& why)
{
    if (geteuid() != 0) {
        why = "mounting needs root";
        return false;
    }
    EnterPrivateNamespace();
    return true;
}

std::string Refused(const char* what, int err)
{
    return std::string(what) + " refused: " + std::strerror(err);
}

} // namespace

TestMount::~TestMount()
{
    // Lazy: a descriptor still open somewhere cannot keep the mount alive.
    umount2(m_path.c_str(), MNT_DETACH);
}

std::unique_ptr<TestMount> TestMount::ReadOnly(const std::string& folder, std::string& why)
{
    if (!CanMount(why))
        return nullptr;
    if (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        why = Refused("bind mount", errno);
        return nullptr;
    }
    std::unique_ptr<TestMount> m(new TestMount(folder));
    if (mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
        why = Refused("read-only remount", errno);
        return nullptr;
    }
    return m;
}

std::unique_ptr<TestMount> TestMount::Tmpfs(const std::string& folder, unsigned long long bytes, std::string& why)
{
    if (!CanMount(why))
        return nullptr;
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    if (mount("tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        why = Refused("tmpfs mount", errno);
        return nullptr;
    }
    return std::unique_ptr<TestMount>(new TestMount(folder));
}

unsigned long long VolumeFreeBytes(const std::string& folder)
{
    struct statvfs st;
    if (statvfs(folder.c_str(), &st) != 0)
        return 0;
    return static_cast<unsigned long long>(st.f_bfree) * st.f_frsize;
}

bool FillVolume(const std::string& folder, const std::string& name, unsigned long long keepFree)
{
    const unsigned long long free = VolumeFreeBytes(folder);
    if (free < keepFree)
        return false;
    const int fd = open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::vector<char> block(65536, 'x');
    unsigned long long left = free - keepFree;
    bool ok = true;
    while (ok && left > 0) {
        const size_t n = left < block.size() ? static_cast<size_t>(left) : block.size();
        ok = write(fd, block.data(), n) == static_cast<ssize_t>(n);
        left -= n;
    }
    close(fd);
    return ok && VolumeFreeBytes(folder) <= keepFree;
}
