#include <gtest/gtest.h>

#include <set>

#include "platform/cp932.h"
#include "services/free_space.h"
#include "support/test_support.h"

namespace {

// A made-up machine: the folders that answer, and every query made.
std::set<std::string> g_answering;
std::vector<std::string> g_queries;
DWORD g_sectors = 0, g_bytes = 0, g_clusters = 0;

BOOL FakeEx(LPCSTR path, std::uint64_t* freeToCaller, std::uint64_t* total, std::uint64_t* totalFree)
{
    g_queries.push_back(path);
    *freeToCaller = 1; // the caller's quota is not what counts
    *total = *totalFree = 5'000'000'000ull;
    return g_answering.count(path) > 0;
}

BOOL FakeOld(LPCSTR path, DWORD* sectorsPerCluster, DWORD* bytesPerSector, DWORD* freeClusters, DWORD* totalClusters)
{
    g_queries.push_back(std::string("old:") + path);
    *sectorsPerCluster = g_sectors;
    *bytesPerSector = g_bytes;
    *freeClusters = *totalClusters = g_clusters;
    return g_answering.count(path) > 0;
}

TEST(FreeSpace, WalksUpToTheNearestFolderThatAnswers)
{
    const std::uint64_t F = 5'000'000'000ull;
    const struct {
        std::string path;
        PathStyle style;
        std::set<std::string> answering;
        std::vector<std::string> queries;
        std::uint64_t result;
    } cases[] = {
        {"", PathStyle::Posix, {"/"}, {}, 0},
        {"/data/a/b/c", PathStyle::Posix, {"/data/"}, {"/data/a/b/c", "/data/a/b/", "/data/a/", "/data/"}, F},
        {"/data/a//", PathStyle::Posix, {"/data/"}, {"/data/a//", "/data/"}, F},
        {"/data/Guide.dbs", PathStyle::Posix, {"/data/"}, {"/data/Guide.dbs", "/data/"}, F},
        {"/x/y/", PathStyle::Posix, {}, {"/x/y/", "/x/", "/"}, 0},
        {"C:\\Maps\\Data\\", PathStyle::Windows, {"C:\\"}, {"C:\\Maps\\Data\\", "C:\\Maps\\", "C:\\"}, F},
        {"C:\\Maps\\Data\\", PathStyle::Windows, {}, {"C:\\Maps\\Data\\", "C:\\Maps\\", "C:\\"}, 0},
        {"C:\\Maps\\\\", PathStyle::Windows, {"C:\\"}, {"C:\\Maps\\\\", "C:\\"}, F},
        // "表" ends in the byte 0x5C, which is no separator.
        {"C:\\Maps\\\x95\x5C", PathStyle::Windows, {"C:\\Maps\\"}, {"C:\\Maps\\\x95\x5C", "C:\\Maps\\"}, F},
    };
    for (const auto& c : cases) {
        g_answering = c.answering;
        g_queries.clear();
        std::string buffer = c.path;
        EXPECT_EQ(QueryFreeBytes(&FakeEx, buffer, c.style), c.result) << c.path;
        EXPECT_EQ(g_queries, c.queries) << c.path;
    }
}

// The older call's product is computed in 64 bits, never wrapped.
TEST(FreeSpace, OlderCallServesWithoutThe64BitOne)
{
    const DiskFreeCalls previous = SetDiskFreeCalls({nullptr, &FakeOld});
    g_answering = {"/data/"};
    const struct {
        DWORD sectors, bytes, clusters;
        std::uint64_t result;
    } cases[] = {{8, 512, 100000, 409'600'000ull},
                 {8, 512, 1048576, 4'294'967'296ull},
                 {128, 4096, 0xFFFFFFFFu, 2'251'799'813'160'960ull}};
    for (const auto& c : cases) {
        g_sectors = c.sectors, g_bytes = c.bytes, g_clusters = c.clusters;
        g_queries.clear();
        EXPECT_EQ(GetFreeDiskSpace("/data/sub"), c.result);
        EXPECT_EQ(g_queries, (std::vector<std::string>{"old:/data/sub", "old:/data/"}));
    }
    SetDiskFreeCalls(previous);
}

TEST(FreeSpace, RealVolumeAnswersForMissingFoldersAndFiles)
{
    TempDir dir;
    const std::string folder = FromUtf8(dir.path());
    const std::uint64_t here = GetFreeDiskSpace(folder);
    ASSERT_GT(here, 0u);
    const DiskFreeCalls system = SystemDiskFreeCalls();
    std::vector<std::uint64_t> answers{GetFreeDiskSpace(folder + "/not/yet/made/"),
                                       GetFreeDiskSpace(folder + "/Address.dbs")};
    SetDiskFreeCalls({nullptr, system.pfnGetDiskFreeSpace});
    answers.push_back(GetFreeDiskSpace(folder + "/not/yet"));
    SetDiskFreeCalls(system);
    for (const std::uint64_t free : answers) // other tests write to the same disk meanwhile
        EXPECT_LT(free > here ? free - here : here - free, 256ull << 20);
}

} // namespace
