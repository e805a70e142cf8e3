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
const std::string kKept = "\n\nインストール済みのデータは変更されていません。";
using Names = std::vector<std::string>;

std::string Pattern(size_t size, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(gen());
    return bytes;
}

// The same behaviour must hold whether the kernel copies or our buffer does.
class FileCopy : public ::testing::TestWithParam<bool> {
protected:
    CopyResult Install(const std::string& sourceUtf8, const std::string& folderUtf8, std::string& error,
                       const CopyProgress& progress = {}, size_t chunk = 64u << 10)
    {
        CopyOptions options;
        options.chunkBytes = chunk;
        options.allowKernelCopy = GetParam();
        return InstallFileCopy(FromUtf8(sourceUtf8), FromUtf8(folderUtf8), kTarget, progress, error, options);
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
        Names after;
    } cases[] = {
        {"missing folders are made", m_dir / "hd/Tessra/LocalData", {}, {kTarget}},
        {"a read-only installed file is replaced", m_dir / "hd1", {{kTarget, "old"}}, {kTarget}},
        {"stale temporaries of ours go, other files stay",
         m_dir / "hd2",
         {{kTarget, "old"}, {".Address.dbs.pellvane-Ab3xY9", "stale"}, {".Address.dbs.pellvane-Ab3", "not ours"},
          {"Adr_L.dbs", "kept"}},
         {".Address.dbs.pellvane-Ab3", kTarget, "Adr_L.dbs"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mkdir(c.folder.c_str(), 0777);
        for (const auto& file : c.before)
            WriteFileBytes(c.folder + "/" + file.first, file.second);
        chmod((c.folder + "/" + kTarget).c_str(), 0444);

        std::string error = "x";
        EXPECT_EQ(Install(m_dir / "表.dbs", c.folder, error), CopyResult::Done) << ToUtf8(error);
        EXPECT_EQ(error, "");
        EXPECT_TRUE(ReadFileBytes(c.folder + "/" + kTarget) == data);
        EXPECT_EQ(ListDir(c.folder), c.after);
        struct stat st;
        ASSERT_EQ(stat((c.folder + "/" + kTarget).c_str(), &st), 0);
        EXPECT_TRUE(st.st_mode & S_IWUSR) << "the new file is writable";
    }
}

TEST_P(FileCopy, FailuresAreDescribedAndChangeNothing)
{
    mkdir((m_dir / "hd").c_str(), 0777);
    WriteFileBytes(m_dir / "hd/Address.dbs", "old");
    mkdir((m_dir / "cd").c_str(), 0777);
    WriteFileBytes(m_dir / "blocker", "a file where a folder should be");
    // A folder under the target's name cannot be renamed over.
    mkdir((m_dir / "hd2").c_str(), 0777);
    mkdir((m_dir / "hd2/Address.dbs").c_str(), 0777);
    WriteFileBytes(m_dir / "hd2/Address.dbs/inside", "kept");

    const struct {
        std::string source;
        std::string folder;
        std::string error;
    } cases[] = {
        {m_dir / "cd/missing.dbs", m_dir / "hd",
         "コピー元のファイル \"" + m_dir / "cd/missing.dbs" + "\" を開けませんでした。\nファイルまたはフォルダが見つかりません。" + kKept},
        {m_dir / "cd", m_dir / "hd",
         "コピー元のファイル \"" + m_dir / "cd" + "\" を開けませんでした。\nファイルではなくフォルダです。" + kKept},
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
    EXPECT_EQ(ReadFileBytes(m_dir / "hd2/Address.dbs/inside"), "kept");
    EXPECT_EQ(ListDir(m_dir.path()), (Names{"blocker", "cd", "hd", "hd2"}));
}

TEST_P(FileCopy, ProgressToTheWholeSizeAndCancelAtEachReport)
{
    const std::string data = Pattern(1'000'000, 3);
    WriteFileBytes(m_dir / "src.dbs", data);
    const std::vector<std::uint64_t> reports = {0, 262144, 524288, 786432, 1'000'000};
    // Stopping at report n (5: never) leaves the old file, or none.
    for (size_t stopAt = 0; stopAt <= 5; ++stopAt) {
        const bool installed = stopAt % 2 == 0;
        const std::string folder = m_dir / ("hd" + std::to_string(stopAt));
        mkdir(folder.c_str(), 0777);
        if (installed)
            WriteFileBytes(folder + "/" + kTarget, "old");
        std::vector<std::uint64_t> done;
        auto progress = [&](std::uint64_t d, std::uint64_t total) {
            EXPECT_EQ(total, data.size());
            done.push_back(d);
            return done.size() <= stopAt;
        };
        std::string error = "x";
        EXPECT_EQ(Install(m_dir / "src.dbs", folder, error, progress, 256u << 10),
                  stopAt == 5 ? CopyResult::Done : CopyResult::Cancelled);
        EXPECT_EQ(error, "");
        EXPECT_EQ(done, std::vector<std::uint64_t>(reports.begin(), reports.begin() + std::min<size_t>(stopAt + 1, 5)));
        const std::string expected = stopAt == 5 ? data : installed ? "old" : "";
        EXPECT_TRUE(ReadFileBytes(folder + "/" + kTarget) == expected) << stopAt;
        EXPECT_EQ(ListDir(folder), expected.empty() ? Names{} : Names{kTarget});
    }
}

TEST_P(FileCopy, VolumeThatRunsOutOfSpaceLeavesTheOldFile)
{
    WriteFileBytes(m_dir / "src.dbs", Pattern(4u << 20, 4));
    mkdir((m_dir / "hd").c_str(), 0777);
    WriteFileBytes(m_dir / "hd/Address.dbs", "old");

    // In a child whose file size limit makes write() fail part way with
    // EFBIG, as a full volume would.
    const pid_t pid = fork();
    if (pid == 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {1u << 20, 1u << 20};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        std::uint64_t copied = 0;
        const CopyResult r = Install(m_dir / "src.dbs", m_dir / "hd", error, [&](std::uint64_t d, std::uint64_t) {
            copied = d;
            return true;
        });
        WriteFileBytes(m_dir / "result", std::string(r == CopyResult::Failed ? "F" : "?") + (copied > 0 ? "+" : "0") + error);
        _exit(0);
    }
    waitpid(pid, nullptr, 0);
    const std::string out = ReadFileBytes(m_dir / "result");
    EXPECT_EQ(out.substr(0, 2), "F+") << "the copy fails part way, after some data";
    EXPECT_EQ(ToUtf8(out.substr(std::min<size_t>(2, out.size()))),
              "インストール先のフォルダ \"" + m_dir / "hd/" + "\" にデータを書き込めませんでした。\n"
                                                             "ファイルが大きすぎて書き込めません。" + kKept);
    EXPECT_EQ(ReadFileBytes(m_dir / "hd/Address.dbs"), "old");
    EXPECT_EQ(ListDir(m_dir / "hd"), Names{kTarget});
}

TEST_P(FileCopy, KilledAtRandomPointsLeavesOldOrNewNeverPartial)
{
    const std::string older = Pattern(4u << 20, 5), newer = Pattern(4u << 20, 6);
    WriteFileBytes(m_dir / "older.dbs", older);
    WriteFileBytes(m_dir / "newer.dbs", newer);
    const std::string folder = m_dir / "hd";
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
            Install(m_dir / (installOlder ? "older.dbs" : "newer.dbs"), folder, error, [&](std::uint64_t, std::uint64_t) {
                return write(fds[1], "p", 1) == 1;
            });
            _exit(0);
        }
        close(fds[1]);
        // Let it run through a random number of its 65 reports, then kill it
        // wherever it is: copying, flushing, renaming or done.
        const int reports = std::uniform_int_distribution<int>(0, 70)(random);
        char c;
        for (int i = 0; i < reports && read(fds[0], &c, 1) == 1; ++i) {
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        close(fds[0]);

        const std::string installed = ReadFileBytes(folder + "/" + kTarget);
        ASSERT_TRUE(installed == before || installed == (installOlder ? older : newer))
            << "trial " << trial << ": a partial file of " << installed.size() << " bytes";
        const Names names = ListDir(folder);
        ASSERT_LE(names.size(), 2u) << trial;
        ASSERT_EQ(names.back(), kTarget) << trial;
        EXPECT_TRUE(names.size() == 1 || IsTemporaryNameOf(names.front(), kTarget)) << names.front();
    }
    // The next installation clears what a killed one left.
    std::string error;
    ASSERT_EQ(Install(m_dir / "newer.dbs", folder, error), CopyResult::Done);
    EXPECT_TRUE(ReadFileBytes(folder + "/" + kTarget) == newer);
    EXPECT_EQ(ListDir(folder), Names{kTarget});
}

INSTANTIATE_TEST_SUITE_P(Copy, FileCopy, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "KernelCopy" : "Buffered"; });

TEST(TemporaryNames, OnlyOurPatternCounts)
{
    for (const char* name : {".Address.dbs.pellvane-Ab3xY", ".Address.dbs.pellvane-Ab3xY90", ".Address.dbs.pellvane-Ab3x.9",
                             "Address.dbs.pellvane-Ab3xY9", ".Guide.dbs.pellvane-Ab3xY9"})
        EXPECT_FALSE(IsTemporaryNameOf(name, "Address.dbs")) << name;
    EXPECT_TRUE(IsTemporaryNameOf(".Address.dbs.pellvane-Ab3xY9", "Address.dbs"));
}

} // namespace
