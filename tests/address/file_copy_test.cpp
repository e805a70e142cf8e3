#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "address/file_copy.h"
#include "platform/cp932.h"
#include "support/test_support.h"

namespace {

const std::string kTarget = "Address.dbs";

std::string Pattern(size_t size, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(gen());
    return bytes;
}

std::string Cp932(const std::string& utf8)
{
    return FromUtf8(utf8);
}

// The same behaviour must hold whether the kernel copies or our buffer does.
class FileCopy : public ::testing::TestWithParam<bool> {
protected:
    CopyOptions Options(size_t chunk = 64u << 10) const
    {
        CopyOptions options;
        options.chunkBytes = chunk;
        options.allowKernelCopy = GetParam();
        return options;
    }
    CopyResult Install(const std::string& sourceUtf8, const std::string& folderUtf8, std::string& error,
                       const CopyProgress& progress = {}, const CopyOptions* options = nullptr)
    {
        return InstallFileCopy(Cp932(sourceUtf8), Cp932(folderUtf8), kTarget, progress, error,
                               options ? *options : Options());
    }
    TempDir m_dir;
};

TEST_P(FileCopy, InstallsUnderTheTargetNameLeavingNothingElse)
{
    const std::string data = Pattern(300'000, 1);
    WriteFileBytes(m_dir / "表.dbs", data);

    const struct {
        const char* name;
        std::string folder;
        std::vector<std::pair<std::string, std::string>> before; // name, bytes
        std::vector<std::string> after;
    } cases[] = {
        {"missing folders are made", m_dir / "hd/Tessra/LocalData", {}, {kTarget}},
        {"an installed file is replaced", m_dir / "hd1", {{kTarget, "old"}}, {kTarget}},
        {"stale temporaries of ours go, other files stay",
         m_dir / "hd2",
         {{kTarget, "old"}, {".Address.dbs.pellvane-Ab3xY9", "stale"}, {".Address.dbs.pellvane-Ab3", "not ours"},
          {"Adr_L.dbs", "kept"}},
         {".Address.dbs.pellvane-Ab3", kTarget, "Adr_L.dbs"}},
    };
    for (const auto& c : cases) {
        if (!c.before.empty())
            mkdir(c.folder.c_str(), 0777);
        for (const auto& file : c.before)
            WriteFileBytes(c.folder + "/" + file.first, file.second);

        std::string error = "x";
        EXPECT_EQ(Install(m_dir / "表.dbs", c.folder, error), CopyResult::Done) << c.name << ": " << ToUtf8(error);
        EXPECT_EQ(error, "") << c.name;
        EXPECT_TRUE(ReadFileBytes(c.folder + "/" + kTarget) == data) << c.name;
        EXPECT_EQ(ListDir(c.folder), c.after) << c.name;
    }
}

TEST_P(FileCopy, ReadOnlyInstalledFileIsReplacedAndNewFileIsWritable)
{
    WriteFileBytes(m_dir / "src.dbs", "new data");
    mkdir((m_dir / "hd").c_str(), 0777);
    WriteFileBytes(m_dir / "hd/Address.dbs", "old data");
    chmod((m_dir / "hd/Address.dbs").c_str(), 0444);

    std::string error;
    ASSERT_EQ(Install(m_dir / "src.dbs", m_dir / "hd", error), CopyResult::Done) << ToUtf8(error);
    EXPECT_EQ(ReadFileBytes(m_dir / "hd/Address.dbs"), "new data");
    struct stat st;
    ASSERT_EQ(stat((m_dir / "hd/Address.dbs").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IWUSR);
}

TEST_P(FileCopy, FailuresAreDescribedAndChangeNothing)
{
    mkdir((m_dir / "hd").c_str(), 0777);
    WriteFileBytes(m_dir / "hd/Address.dbs", "old");
    mkdir((m_dir / "cd").c_str(), 0777);
    WriteFileBytes(m_dir / "blocker", "a file where a folder should be");

    const std::string kept = "\n\nインストール済みのデータは変更されていません。";
    const struct {
        std::string source;
        std::string folder;
        std::string error;
    } cases[] = {
        {m_dir / "cd/missing.dbs", m_dir / "hd",
         "コピー元のファイル \"" + m_dir / "cd/missing.dbs" + "\" を開けませんでした。\nファイルまたはフォルダが見つかりません。" + kept},
        {m_dir / "cd", m_dir / "hd",
         "コピー元のファイル \"" + m_dir / "cd" + "\" を開けませんでした。\nファイルではなくフォルダです。" + kept},
        {m_dir / "hd/Address.dbs", m_dir / "blocker/sub",
         "インストール先のフォルダ \"" + m_dir / "blocker/sub/" +
             "\" を作成できませんでした。\nパスの途中にフォルダではないものがあります。" + kept},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(Install(c.source, c.folder, error), CopyResult::Failed) << c.source;
        EXPECT_EQ(ToUtf8(error), c.error);
        EXPECT_EQ(ReadFileBytes(m_dir / "hd/Address.dbs"), "old");
        EXPECT_EQ(ListDir(m_dir / "hd"), std::vector<std::string>{kTarget});
    }
}

TEST_P(FileCopy, FailedRenameIsReportedAndLeavesTheTargetAlone)
{
    // A folder holding a file under the target's name cannot be renamed over.
    WriteFileBytes(m_dir / "src.dbs", "new data");
    mkdir((m_dir / "hd").c_str(), 0777);
    mkdir((m_dir / "hd/Address.dbs").c_str(), 0777);
    WriteFileBytes(m_dir / "hd/Address.dbs/inside", "kept");

    std::string error;
    EXPECT_EQ(Install(m_dir / "src.dbs", m_dir / "hd", error), CopyResult::Failed);
    EXPECT_EQ(ToUtf8(error), "コピーしたデータを \"" + m_dir / "hd/Address.dbs" +
                                 "\" に置き換えられませんでした。\nファイルではなくフォルダです。"
                                 "\n\nインストール済みのデータは変更されていません。");
    EXPECT_EQ(ListDir(m_dir / "hd"), std::vector<std::string>{kTarget});
    EXPECT_EQ(ReadFileBytes(m_dir / "hd/Address.dbs/inside"), "kept");
}

TEST_P(FileCopy, ReportsProgressUpToTheWholeSize)
{
    const std::string data = Pattern(1'000'000, 2);
    WriteFileBytes(m_dir / "src.dbs", data);
    std::vector<std::uint64_t> done;
    std::string error;
    auto progress = [&](std::uint64_t d, std::uint64_t total) {
        EXPECT_EQ(total, data.size());
        done.push_back(d);
        return true;
    };
    const CopyOptions options = Options(256u << 10);
    ASSERT_EQ(Install(m_dir / "src.dbs", m_dir / "hd", error, progress, &options), CopyResult::Done);
    EXPECT_EQ(done, (std::vector<std::uint64_t>{0, 262144, 524288, 786432, 1'000'000}));
}

TEST_P(FileCopy, CancelAtAnyReportLeavesTheOldFile)
{
    const std::string data = Pattern(1'000'000, 3);
    WriteFileBytes(m_dir / "src.dbs", data);
    const CopyOptions options = Options(256u << 10);
    // Reports come at 0, 256K, 512K, 768K and the end; cancel at each.
    for (int cancelAt = 0; cancelAt < 5; ++cancelAt) {
        for (bool installed : {true, false}) {
            const std::string folder = m_dir / ("hd" + std::to_string(cancelAt) + (installed ? "i" : "n"));
            mkdir(folder.c_str(), 0777);
            if (installed)
                WriteFileBytes(folder + "/" + kTarget, "old");
            int reports = 0;
            auto progress = [&](std::uint64_t, std::uint64_t) { return reports++ < cancelAt; };
            std::string error = "x";
            EXPECT_EQ(Install(m_dir / "src.dbs", folder, error, progress, &options), CopyResult::Cancelled);
            EXPECT_EQ(error, "");
            EXPECT_EQ(reports, cancelAt + 1);
            if (installed) {
                EXPECT_EQ(ReadFileBytes(folder + "/" + kTarget), "old");
                EXPECT_EQ(ListDir(folder), std::vector<std::string>{kTarget});
            } else {
                EXPECT_EQ(ListDir(folder), std::vector<std::string>{});
            }
        }
    }
}

// Runs fn in a child process and returns what it wrote to the pipe.
template <typename Fn>
std::string RunInChild(Fn fn, int* status)
{
    int fds[2];
    if (pipe(fds) != 0)
        return "";
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const std::string out = fn();
        (void)!write(fds[1], out.data(), out.size());
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, static_cast<size_t>(n));
    close(fds[0]);
    waitpid(pid, status, 0);
    return out;
}

TEST_P(FileCopy, VolumeThatRunsOutOfSpaceLeavesTheOldFile)
{
    const std::string data = Pattern(4u << 20, 4);
    WriteFileBytes(m_dir / "src.dbs", data);
    mkdir((m_dir / "hd").c_str(), 0777);
    WriteFileBytes(m_dir / "hd/Address.dbs", "old");

    // The file size limit makes write() fail with EFBIG part way, as a full
    // volume would.
    const CopyOptions options = Options();
    int status = 0;
    const std::string out = RunInChild(
        [&] {
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {1u << 20, 1u << 20};
            setrlimit(RLIMIT_FSIZE, &limit);
            std::string error;
            std::uint64_t copied = 0;
            auto progress = [&](std::uint64_t done, std::uint64_t) {
                copied = done;
                return true;
            };
            const CopyResult r =
                InstallFileCopy(Cp932(m_dir / "src.dbs"), Cp932(m_dir / "hd"), kTarget, progress, error, options);
            return std::string(r == CopyResult::Failed ? "F" : "?") + (copied > 0 ? "+" : "0") + error;
        },
        &status);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out[0], 'F');
    EXPECT_EQ(out[1], '+') << "the copy should fail part way, after some data";
    EXPECT_EQ(ToUtf8(out.substr(2)), "インストール先のフォルダ \"" + m_dir / "hd/" +
                                         "\" にデータを書き込めませんでした。\nファイルが大きすぎて書き込めません。"
                                         "\n\nインストール済みのデータは変更されていません。");
    EXPECT_EQ(ReadFileBytes(m_dir / "hd/Address.dbs"), "old");
    EXPECT_EQ(ListDir(m_dir / "hd"), std::vector<std::string>{kTarget});
}

TEST_P(FileCopy, KilledAtRandomPointsLeavesOldOrNewNeverPartial)
{
    const std::string older = Pattern(4u << 20, 5);
    const std::string newer = Pattern(4u << 20, 6);
    WriteFileBytes(m_dir / "older.dbs", older);
    WriteFileBytes(m_dir / "newer.dbs", newer);
    const std::string folder = m_dir / "hd";
    mkdir(folder.c_str(), 0777);
    WriteFileBytes(folder + "/" + kTarget, older);

    std::mt19937 random(20240611u);
    const CopyOptions options = Options(64u << 10); // 65 reports for 4 MiB
    int leftOld = 0, leftNew = 0, leftTemporary = 0;
    for (int trial = 0; trial < 24; ++trial) {
        const std::string installedBefore = ReadFileBytes(folder + "/" + kTarget);
        const bool installOlder = installedBefore == newer;
        const std::string source = m_dir / (installOlder ? "older.dbs" : "newer.dbs");
        const std::string expected = installOlder ? older : newer;

        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            std::string error;
            auto progress = [&](std::uint64_t, std::uint64_t) {
                (void)!write(fds[1], "p", 1);
                return true;
            };
            InstallFileCopy(Cp932(source), Cp932(folder), kTarget, progress, error, options);
            _exit(0);
        }
        close(fds[1]);
        // Let the child run through a random number of reports, then kill it
        // wherever it is by then: copying, flushing, renaming or done.
        const int reports = std::uniform_int_distribution<int>(0, 70)(random);
        char c;
        for (int i = 0; i < reports && read(fds[0], &c, 1) == 1; ++i) {
        }
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        close(fds[0]);

        const std::string installed = ReadFileBytes(folder + "/" + kTarget);
        ASSERT_TRUE(installed == installedBefore || installed == expected)
            << "trial " << trial << ": installed file is neither the old nor the new one (" << installed.size()
            << " bytes)";
        (installed == installedBefore ? leftOld : leftNew)++;
        const std::vector<std::string> names = ListDir(folder);
        ASSERT_LE(names.size(), 2u) << trial;
        ASSERT_EQ(names.back(), kTarget) << trial;
        if (names.size() == 2) {
            EXPECT_TRUE(IsTemporaryNameOf(names.front(), kTarget)) << names.front();
            ++leftTemporary;
        }
    }
    std::printf("after 24 kills: %d old, %d new, %d with a stale temporary\n", leftOld, leftNew, leftTemporary);

    std::string error;
    ASSERT_EQ(InstallFileCopy(Cp932(m_dir / "newer.dbs"), Cp932(folder), kTarget, {}, error, options),
              CopyResult::Done);
    EXPECT_TRUE(ReadFileBytes(folder + "/" + kTarget) == newer);
    EXPECT_EQ(ListDir(folder), std::vector<std::string>{kTarget});
}

INSTANTIATE_TEST_SUITE_P(Copy, FileCopy, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "KernelCopy" : "Buffered";
                         });

TEST(TemporaryNames, OnlyOurPatternCounts)
{
    const struct {
        const char* name;
        bool ours;
    } cases[] = {
        {".Address.dbs.pellvane-Ab3xY9", true}, {".Address.dbs.pellvane-Ab3xY", false},
        {".Address.dbs.pellvane-Ab3xY90", false}, {".Address.dbs.pellvane-Ab3x.9", false},
        {"Address.dbs.pellvane-Ab3xY9", false}, {".Guide.dbs.pellvane-Ab3xY9", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsTemporaryNameOf(c.name, "Address.dbs"), c.ours) << c.name;
}

} // namespace
