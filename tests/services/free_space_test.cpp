#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/cp932.h"
#include "services/free_space.h"
#include "support/test_support.h"

namespace {

// A made-up machine: the folders that can be queried and what each call
// answers for them. Every query is recorded.
struct FakeVolume {
    std::set<std::string> answering;
    std::uint64_t totalFree = 0;
    std::uint64_t freeToCaller = 0;
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0;
    std::vector<std::string> queries;
};
FakeVolume* g_volume = nullptr;

BOOL FakeEx(LPCSTR path, std::uint64_t* freeToCaller, std::uint64_t* total, std::uint64_t* totalFree)
{
    g_volume->queries.push_back(path);
    if (!g_volume->answering.count(path))
        return FALSE;
    *freeToCaller = g_volume->freeToCaller;
    *total = g_volume->totalFree * 2;
    *totalFree = g_volume->totalFree;
    return TRUE;
}

BOOL FakeOld(LPCSTR path, DWORD* sectorsPerCluster, DWORD* bytesPerSector, DWORD* freeClusters, DWORD* totalClusters)
{
    g_volume->queries.push_back(std::string("old:") + path);
    if (!g_volume->answering.count(path))
        return FALSE;
    *sectorsPerCluster = g_volume->sectorsPerCluster;
    *bytesPerSector = g_volume->bytesPerSector;
    *freeClusters = g_volume->freeClusters;
    *totalClusters = g_volume->freeClusters;
    return TRUE;
}

class FreeSpace : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_volume = &m_volume;
        m_previous = SetDiskFreeCalls({&FakeEx, &FakeOld});
    }
    void TearDown() override
    {
        SetDiskFreeCalls(m_previous);
        g_volume = nullptr;
    }
    FakeVolume m_volume;
    DiskFreeCalls m_previous{};
};

TEST_F(FreeSpace, WalksUpToTheNearestFolderThatAnswers)
{
    m_volume.totalFree = 5'000'000'000ull;
    m_volume.freeToCaller = 1; // the caller's quota is not what counts

    const struct {
        const char* name;
        std::string path;
        std::set<std::string> answering;
        std::vector<std::string> queries;
        std::uint64_t result;
    } cases[] = {
        {"empty path, no call", "", {"/"}, {}, 0},
        {"existing folder", "/data/", {"/data/"}, {"/data/"}, 5'000'000'000ull},
        {"three levels below an existing folder",
         "/data/a/b/c",
         {"/data/"},
         {"/data/a/b/c", "/data/a/b/", "/data/a/", "/data/"},
         5'000'000'000ull},
        {"two trailing separators go before the parent is searched",
         "/data/a//",
         {"/data/"},
         {"/data/a//", "/data/"},
         5'000'000'000ull},
        {"a database file, missing, gives its folder's volume",
         "/data/Guide.dbs",
         {"/data/"},
         {"/data/Guide.dbs", "/data/"},
         5'000'000'000ull},
        {"up to the root", "/x/y", {"/"}, {"/x/y", "/x/", "/"}, 5'000'000'000ull},
        {"nothing answers, not even the root", "/x/y/", {}, {"/x/y/", "/x/", "/"}, 0},
        {"a relative name without separators", "data", {}, {"data"}, 0},
    };
    for (const auto& c : cases) {
        m_volume.answering = c.answering;
        m_volume.queries.clear();
        EXPECT_EQ(GetFreeDiskSpace(c.path), c.result) << c.name;
        EXPECT_EQ(m_volume.queries, c.queries) << c.name;
    }
}

TEST_F(FreeSpace, WindowsPathsWalkTheSameWay)
{
    m_volume.totalFree = 1234;
    const struct {
        std::string path;
        std::set<std::string> answering;
        std::vector<std::string> queries;
        std::uint64_t result;
    } cases[] = {
        {"C:\\Maps\\Data\\", {"C:\\"}, {"C:\\Maps\\Data\\", "C:\\Maps\\", "C:\\"}, 1234},
        {"C:\\Maps\\Data\\", {}, {"C:\\Maps\\Data\\", "C:\\Maps\\", "C:\\"}, 0},
        {"C:\\Maps\\\\", {"C:\\"}, {"C:\\Maps\\\\", "C:\\"}, 1234},
        // A folder named "表" ends in the byte 0x5C, which is not a separator.
        {"C:\\Maps\\\x95\x5C", {"C:\\Maps\\"}, {"C:\\Maps\\\x95\x5C", "C:\\Maps\\"}, 1234},
    };
    for (const auto& c : cases) {
        m_volume.answering = c.answering;
        m_volume.queries.clear();
        std::string buffer = c.path;
        EXPECT_EQ(QueryFreeBytes(&FakeEx, buffer, PathStyle::Windows), c.result) << c.path;
        EXPECT_EQ(m_volume.queries, c.queries) << c.path;
    }
}

TEST_F(FreeSpace, OlderCallComputesIn64Bits)
{
    SetDiskFreeCalls({nullptr, &FakeOld});
    m_volume.answering = {"/data/"};
    const struct {
        DWORD sectors, bytes, clusters;
        std::uint64_t result;
    } cases[] = {
        {8, 512, 100000, 409'600'000ull},
        {8, 512, 1048576, 4'294'967'296ull},                 // exactly 2^32: no wrap to 0
        {64, 512, 2'000'000, 65'536'000'000ull},             // well beyond 32 bits
        {128, 4096, 0xFFFFFFFFu, 2'251'799'813'160'960ull},  // the largest counts
    };
    for (const auto& c : cases) {
        m_volume.sectorsPerCluster = c.sectors;
        m_volume.bytesPerSector = c.bytes;
        m_volume.freeClusters = c.clusters;
        m_volume.queries.clear();
        EXPECT_EQ(GetFreeDiskSpace("/data/sub"), c.result) << c.sectors << "x" << c.bytes << "x" << c.clusters;
        EXPECT_EQ(m_volume.queries, (std::vector<std::string>{"old:/data/sub", "old:/data/"}));
    }
}

TEST(FreeSpaceSystem, RealVolumeAnswersForMissingFoldersAndFiles)
{
    TempDir dir;
    const std::string folder = FromUtf8(dir.path());
    const std::uint64_t here = GetFreeDiskSpace(folder);
    ASSERT_GT(here, 0u);
    // Other tests write to the same disk meanwhile: compare loosely.
    const std::uint64_t slack = 256ull << 20;
    for (const std::string& path : {folder + "/not/yet/made/", folder + "/Address.dbs", folder + "//"}) {
        const std::uint64_t free = GetFreeDiskSpace(path);
        EXPECT_LT(free > here ? free - here : here - free, slack) << path;
    }

    // The older call's path gives the same volume's space.
    const DiskFreeCalls system = SystemDiskFreeCalls();
    const DiskFreeCalls previous = SetDiskFreeCalls({nullptr, system.pfnGetDiskFreeSpace});
    const std::uint64_t old = GetFreeDiskSpace(folder + "/not/yet");
    SetDiskFreeCalls(previous);
    EXPECT_LT(old > here ? old - here : here - old, slack);
}

} // namespace
