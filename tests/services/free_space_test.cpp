#include <gtest/gtest.h>

#include <set>

#include "platform/cp932.h"
#include "services/free_space.h"
#include "support/test_support.h"

namespace {

// A made-up machine: the folders that answer, and every query made.
std::set<std::string> g_answering;
std::vector<std::string> g_queries;

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
    *sectorsPerCluster = 128, *bytesPerSector = 4096, *freeClusters = *totalClusters = 0xFFFFFFFFu;
    return g_answering.count(path) > 0;
}

TEST(FreeSpace, WalksUpToTheNearestFolderThatAnswers)
{
    const std::uint64_t F = 5'000'000'000ull;
    const PathStyle P = PathStyle::Posix, W = PathStyle::Windows;
    const struct {
        std::string path;
        PathStyle style;
        std::set<std::string> answering;
        std::vector<std::string> queries;
        std::uint64_t result;
    } cases[] = {
        {"", P, {"/"}, {}, 0},
        {"/data/a/b/Guide.dbs", P, {"/data/"}, {"/data/a/b/Guide.dbs", "/data/a/b/", "/data/a/", "/data/"}, F},
        {"/data/a//", P, {"/data/"}, {"/data/a//", "/data/"}, F},
        {"/x/y/", P, {}, {"/x/y/", "/x/", "/"}, 0},
        {"C:\\Maps\\Data\\", W, {"C:\\"}, {"C:\\Maps\\Data\\", "C:\\Maps\\", "C:\\"}, F},
        {"C:\\Maps\\Data\\", W, {}, {"C:\\Maps\\Data\\", "C:\\Maps\\", "C:\\"}, 0},
        {"C:\\Maps\\\x95\x5C", W, {"C:\\Maps\\"}, {"C:\\Maps\\\x95\x5C", "C:\\Maps\\"}, F}, // "表" ends in 0x5C
    };
    for (const auto& c : cases) {
        g_answering = c.answering;
        g_queries.clear();
        std::string buffer = c.path;
        EXPECT_EQ(QueryFreeBytes(&FakeEx, buffer, c.style), c.result) << c.path;
        EXPECT_EQ(g_queries, c.queries) << c.path;
    }
    // Without the 64-bit call the older one serves; its product is computed in 64 bits, never wrapped.
    const DiskFreeCalls system = SetDiskFreeCalls({nullptr, &FakeOld});
    g_answering = {"/data/"};
    g_queries.clear();
    EXPECT_EQ(GetFreeDiskSpace("/data/sub"), 2'251'799'813'160'960ull);
    EXPECT_EQ(g_queries, (std::vector<std::string>{"old:/data/sub", "old:/data/"}));
    // The real volume answers, through either call, for a folder or file not made yet.
    TempDir dir;
    const std::string folder = FromUtf8(dir.path());
    SetDiskFreeCalls({nullptr, system.pfnGetDiskFreeSpace});
    const std::uint64_t older = GetFreeDiskSpace(folder + "/not/yet/made/");
    SetDiskFreeCalls(system);
    const std::uint64_t here = GetFreeDiskSpace(folder + "/Address.dbs");
    EXPECT_GT(here, 0u);
    EXPECT_LT(here > older ? here - older : older - here, 256ull << 20); // others write to the disk meanwhile
}

} // namespace
