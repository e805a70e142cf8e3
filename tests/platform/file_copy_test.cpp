#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "platform/file_copy.h"
#include "platform/cp932.h"
#include "support/test_support.h"

namespace {

const std::string kTarget = "Address.dbs";
const std::string kKept = "\n\nインストール済みのデータは変更されていません。";
using Names = std::vector<std::string>;

// The same behaviour whether the kernel copies or our buffer does.
class FileCopy : public ::testing::TestWithParam<bool> {
protected:
    CopyResult Install(const std::string& source, const std::string& folder, std::string& error,
                       const CopyProgress& progress = {}, size_t chunk = 64u << 10)
    {
        CopyOptions options;
        options.chunkBytes = chunk;
        options.allowKernelCopy = GetParam();
        return InstallFileCopy(FromUtf8(source), FromUtf8(folder), kTarget, progress, error, options);
    }
    TempDir m_dir;
};

TEST_P(FileCopy, FailuresAreDescribedAndChangeNothing)
{
    mkdir((m_dir / "hd").c_str(), 0777);
    WriteFileBytes(m_dir / "hd/Address.dbs", "old");
    WriteFileBytes(m_dir / "blocker", "a file where a folder should be");
    mkdir((m_dir / "hd2").c_str(), 0777);
    mkdir((m_dir / "hd2/Address.dbs").c_str(), 0777); // a folder cannot be renamed over
    const struct {
        std::string source, folder, error;
    } cases[] = {
        {m_dir / "missing.dbs", m_dir / "hd",
         "コピー元のファイル \"" + m_dir / "missing.dbs" + "\" を開けませんでした。\nファイルまたはフォルダが見つかりません。" + kKept},
        {m_dir / "hd/Address.dbs", m_dir / "blocker/sub",
         "インストール先のフォルダ \"" + m_dir / "blocker/sub/" + "\" を作成できませんでした。\n"
                                                              "パスの途中にフォルダではないものがあります。" + kKept},
        {m_dir / "hd/Address.dbs", m_dir / "hd2",
         "コピーしたデータを \"" + m_dir / "hd2/Address.dbs" + "\" に置き換えられませんでした。\nファイルではなくフォルダです。" + kKept},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(Install(c.source, c.folder, error), CopyResult::Failed) << c.source;
        EXPECT_EQ(ToUtf8(error), c.error);
    }
    EXPECT_EQ(ReadFileBytes(m_dir / "hd/Address.dbs"), "old");
    EXPECT_EQ(ListDir(m_dir / "hd"), Names{kTarget});
    EXPECT_EQ(ListDir(m_dir / "hd2"), Names{kTarget});
}

TEST_P(FileCopy, CancelledFirstInstallLeavesNothing)
{
    WriteFileBytes(m_dir / "src.dbs", std::string(1'000'000, 'd'));
    std::vector<std::uint64_t> done;
    std::string error;
    EXPECT_EQ(Install(m_dir / "src.dbs", m_dir / "hd", error, [&](std::uint64_t d, std::uint64_t total) {
        done.push_back(total == 1'000'000 ? d : 0);
        return done.size() < 4;
    }, 256u << 10), CopyResult::Cancelled);
    EXPECT_EQ(done, (std::vector<std::uint64_t>{0, 262144, 524288, 786432}));
    EXPECT_EQ(ListDir(m_dir / "hd"), Names{});
}

TEST_P(FileCopy, VolumeThatRunsOutOfSpaceLeavesTheOldFile)
{
    WriteFileBytes(m_dir / "src.dbs", std::string(4u << 20, 'd'));
    mkdir((m_dir / "hd").c_str(), 0777);
    WriteFileBytes(m_dir / "hd/Address.dbs", "old");
    // A file size limit in a child makes write() fail part way, as a full volume would.
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {1u << 20, 1u << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        const CopyResult r = Install(m_dir / "src.dbs", m_dir / "hd", error);
        WriteFileBytes(m_dir / "result", (r == CopyResult::Failed ? "F" : "?") + error);
        _exit(0);
    }
    waitpid(pid, nullptr, 0);
    EXPECT_EQ(ToUtf8(ReadFileBytes(m_dir / "result")),
              "Fインストール先のフォルダ \"" + m_dir / "hd/" + "\" にデータを書き込めませんでした。\n"
                                                              "ファイルが大きすぎて書き込めません。" + kKept);
    EXPECT_EQ(ReadFileBytes(m_dir / "hd/Address.dbs"), "old");
    EXPECT_EQ(ListDir(m_dir / "hd"), Names{kTarget});
}

TEST_P(FileCopy, KilledAtRandomPointsLeavesOldOrNewNeverPartial)
{
    const std::string older(4u << 20, 'o'), newer(4u << 20, 'n'), folder = m_dir / "hd";
    WriteFileBytes(m_dir / "older.dbs", older);
    WriteFileBytes(m_dir / "newer.dbs", newer);
    mkdir(folder.c_str(), 0777);
    WriteFileBytes(folder + "/" + kTarget, older);
    std::mt19937 random(20240611u);
    for (int trial = 0; trial < 24; ++trial) {
        const std::string before = ReadFileBytes(folder + "/" + kTarget);
        const bool installOlder = before == newer;
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            std::string error;
            Install(m_dir / (installOlder ? "older.dbs" : "newer.dbs"), folder, error,
                    [&](std::uint64_t, std::uint64_t) { return write(fds[1], "p", 1) == 1; });
            _exit(0);
        }
        close(fds[1]);
        // Killed after a random number of its 65 reports: copying, flushing, renaming or done.
        const int reports = std::uniform_int_distribution<int>(0, 70)(random);
        char c;
        for (int i = 0; i < reports && read(fds[0], &c, 1) == 1; ++i) {
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        close(fds[0]);
        const std::string installed = ReadFileBytes(folder + "/" + kTarget);
        ASSERT_TRUE(installed == before || installed == (installOlder ? older : newer)) << trial;
        const Names names = ListDir(folder);
        EXPECT_TRUE(names == Names{kTarget} || (names.size() == 2 && IsTemporaryNameOf(names[0], kTarget))) << trial;
    }
    // The next installation clears what a killed one left.
    WriteFileBytes(folder + "/.Address.dbs.pellvane-Ab3xY9", "stale");
    std::string error;
    ASSERT_EQ(Install(m_dir / "newer.dbs", folder, error), CopyResult::Done);
    EXPECT_EQ(ListDir(folder), Names{kTarget});
}

INSTANTIATE_TEST_SUITE_P(Copy, FileCopy, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& kernel) { return kernel.param ? "KernelCopy" : "Buffered"; });

} // namespace
