// The named mutex that keeps a second instance from running: an exclusive
// advisory lock (flock) on a file named after the instance name in the
// user's runtime folder ($XDG_RUNTIME_DIR, else /tmp/pellvane-<uid>). The
// kernel drops the lock when its holder dies, so a crashed instance never
// keeps the next one out.
#pragma once

#include <string>

class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Releases a held lock first. True when this process now holds the lock
    // of nameCp932; false when another process holds it or the lock file
    // cannot be made (an empty name included).
    bool Acquire(const std::string& nameCp932);
    void Release();
    bool IsHeld() const { return m_fd >= 0; }

    // The file that stands for nameCp932 ("" when there is no usable runtime
    // folder or the name is empty).
    static std::string LockFilePath(const std::string& nameCp932);

private:
    int m_fd = -1;
};
