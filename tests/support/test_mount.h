// Real media for tests: a folder made read-only in place (a bind mount
// remounted read-only, standing in for a CD-ROM) or a small tmpfs (a disk
// that fills). Mounting needs root; a test skips with the reason when it
// cannot mount. Every mount is undone by its destructor, and mounts are made
// in a mount namespace of the test process's own where the system allows,
// so that not even a crashed test leaves one behind.
#pragma once

#include <memory>
#include <string>

class TestMount {
public:
    ~TestMount();
    TestMount(const TestMount&) = delete;
    TestMount& operator=(const TestMount&) = delete;

    // The folder itself becomes read-only, with what it holds now. Null, with
    // the reason in why, when it cannot be mounted.
    static std::unique_ptr<TestMount> ReadOnly(const std::string& folder, std::string& why);
    // An empty tmpfs of `bytes` (rounded up to pages) over the folder.
    static std::unique_ptr<TestMount> Tmpfs(const std::string& folder, unsigned long long bytes, std::string& why);

    const std::string& path() const { return m_path; }

private:
    explicit TestMount(std::string path) : m_path(std::move(path)) {}
    std::string m_path;
};

// Fills the volume of folder (with a file named name) until `keepFree` bytes
// are left free; false when it cannot.
bool FillVolume(const std::string& folder, const std::string& name, unsigned long long keepFree);
// statvfs: the volume's free bytes.
unsigned long long VolumeFreeBytes(const std::string& folder);
