// Free bytes of the volume that holds a path. The path may name a folder or
// a file, neither of which need exist yet: the query walks up to the nearest
// folder the system can answer for.
#pragma once

#include <cstdint>
#include <string>

#include "address/path_functions.h"
#include "platform/win_types.h"

// The two system calls, in the shapes of the 64-bit call and of the older
// one. Paths are CP932. Both return FALSE when the path cannot be queried.
using PFN_GetDiskFreeSpaceEx = BOOL (*)(LPCSTR path, std::uint64_t* freeBytesAvailableToCaller,
                                        std::uint64_t* totalNumberOfBytes,
                                        std::uint64_t* totalNumberOfFreeBytes);
using PFN_GetDiskFreeSpace = BOOL (*)(LPCSTR path, DWORD* sectorsPerCluster, DWORD* bytesPerSector,
                                      DWORD* numberOfFreeClusters, DWORD* totalNumberOfClusters);

struct DiskFreeCalls {
    // Null when the 64-bit call is not present; the older call then serves.
    PFN_GetDiskFreeSpaceEx pfnGetDiskFreeSpaceEx;
    PFN_GetDiskFreeSpace pfnGetDiskFreeSpace;
};

// The system's calls (statvfs: the volume's free blocks, not the caller's
// quota).
DiskFreeCalls SystemDiskFreeCalls();

// Replaces the calls GetFreeDiskSpace looks up; returns the previous ones.
// Tests answer for made-up volumes with it, or leave the 64-bit call out.
DiskFreeCalls SetDiskFreeCalls(DiskFreeCalls calls);

// Free bytes of the volume of path; 0 when the path is empty or no folder on
// the way up to the root can be queried. Enough room means strictly more
// free bytes than needed.
std::uint64_t GetFreeDiskSpace(const std::string& pathCp932);

// The walk itself: asks for path, and on failure for its parent folder, and
// so on. Shortens path in place.
std::uint64_t QueryFreeBytes(PFN_GetDiskFreeSpaceEx pfnGetDiskFreeSpaceEx, std::string& path,
                             PathStyle style = PathStyle::Posix);
