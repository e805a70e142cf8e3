#include "services/free_space.h"

#include <sys/statvfs.h>

#include <algorithm>

#include "platform/cp932.h"

namespace {

bool StatVolume(LPCSTR pathCp932, struct statvfs& st)
{
    std::string native;
    return pathCp932 && *pathCp932 && PathToNative(pathCp932, native) && statvfs(native.c_str(), &st) == 0;
}

BOOL SystemGetDiskFreeSpaceEx(LPCSTR path, std::uint64_t* freeToCaller, std::uint64_t* total,
                              std::uint64_t* totalFree)
{
    struct statvfs st;
    if (!StatVolume(path, st))
        return FALSE;
    const std::uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    if (freeToCaller)
        *freeToCaller = static_cast<std::uint64_t>(st.f_bavail) * unit;
    if (total)
        *total = static_cast<std::uint64_t>(st.f_blocks) * unit;
    if (totalFree)
        *totalFree = static_cast<std::uint64_t>(st.f_bfree) * unit;
    return TRUE;
}

BOOL SystemGetDiskFreeSpace(LPCSTR path, DWORD* sectorsPerCluster, DWORD* bytesPerSector,
                            DWORD* freeClusters, DWORD* totalClusters)
{
    struct statvfs st;
    if (!StatVolume(path, st))
        return FALSE;
    const std::uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
    // A cluster is one fragment, counted in 512-byte sectors where it divides.
    const bool sectors = unit >= 512 && unit % 512 == 0;
    const std::uint64_t clamp = 0xFFFFFFFFu;
    if (sectorsPerCluster)
        *sectorsPerCluster = static_cast<DWORD>(sectors ? unit / 512 : 1);
    if (bytesPerSector)
        *bytesPerSector = static_cast<DWORD>(sectors ? 512 : std::min<std::uint64_t>(unit, clamp));
    if (freeClusters)
        *freeClusters = static_cast<DWORD>(std::min<std::uint64_t>(st.f_bfree, clamp));
    if (totalClusters)
        *totalClusters = static_cast<DWORD>(std::min<std::uint64_t>(st.f_blocks, clamp));
    return TRUE;
}

DiskFreeCalls g_calls = {&SystemGetDiskFreeSpaceEx, &SystemGetDiskFreeSpace};

} // namespace

DiskFreeCalls SystemDiskFreeCalls()
{
    return {&SystemGetDiskFreeSpaceEx, &SystemGetDiskFreeSpace};
}

DiskFreeCalls SetDiskFreeCalls(DiskFreeCalls calls)
{
    DiskFreeCalls previous = g_calls;
    g_calls = calls;
    return previous;
}

std::uint64_t GetFreeDiskSpace(const std::string& pathCp932)
{
    std::string buffer = pathCp932;
    return QueryFreeBytes(g_calls.pfnGetDiskFreeSpaceEx, buffer);
}

std::uint64_t QueryFreeBytes(PFN_GetDiskFreeSpaceEx pfnGetDiskFreeSpaceEx, std::string& path, PathStyle style)
{
    while (!path.empty()) {
        if (pfnGetDiskFreeSpaceEx) {
            std::uint64_t freeToCaller = 0, total = 0, totalFree = 0;
            if (pfnGetDiskFreeSpaceEx(path.c_str(), &freeToCaller, &total, &totalFree))
                return totalFree;
        } else if (g_calls.pfnGetDiskFreeSpace) {
            DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
            if (g_calls.pfnGetDiskFreeSpace(path.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                                            &totalClusters))
                // In 64 bits: a large volume's product does not fit in 32.
                return static_cast<std::uint64_t>(sectorsPerCluster) * bytesPerSector * freeClusters;
        }

        // Up one folder: drop at most two trailing separators, then cut after
        // the last one that remains.
        for (int i = 0; i < 2 && EndsWithSeparator(path, style); ++i)
            path.pop_back();
        const int last = ReverseFindChar(path, PathSeparator(style));
        if (last < 0)
            return 0;
        path.resize(static_cast<size_t>(last) + 1);
    }
    return 0;
}
