#include "services/compact.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "guide_fixture.h"
#include "settings/directory_settings.h"
#include "support/test_support.h"

namespace {

const char* const kAsk =
    "施設データが変更されています。\n施設データの最適化を行ないますか？\n\nデータの最適化は\nインストール済みのデータの"
    "大きさにより\nかなり時間が掛かる場合があります。\n\nまた、最適化を行なうと、\n１．検索パフォーマンスの向上\n２．"
    "ファイルサイズの縮小\nの効果が得られる可能性があります。\n";
const char* const kDone = "施設データの最適化が終了しました。";
const char* const kFailed = "施設データの最適化に失敗しました。";
const char* const kEngineFailed = "ファイルの最適化に失敗しました。\n\nTessra、Ravelin等を起動していましたら終了させて下さい。\n"
                                  "ディスク空き容量が十分あるか確認してください。";

std::vector<FixtureGenre> SomeGenres(int count, int points)
{
    std::vector<FixtureGenre> genres;
    for (int i = 0; i < count; ++i)
        genres.push_back({std::to_string(i / 4 + 1), std::to_string(i % 4 + 1), "Genre " + std::to_string(i), points,
                          "01010000", 1});
    return genres;
}

// Leaves free pages behind, as removing genres does.
void RemoveHalfTheGenres(const std::string& path)
{
    SqliteFile f(path);
    f.Exec("DELETE FROM Point WHERE L2 IN ('1','3')");
    f.Exec("DELETE FROM Category WHERE L2 IN ('1','3')");
}

std::vector<std::string> DbFiles(const std::string& dir)
{
    std::vector<std::string> found;
    for (const auto& name : ListDir(dir))
        if (name.rfind("db", 0) == 0)
            found.push_back(name);
    return found;
}

} // namespace

class CompactTest : public ::testing::Test {
protected:
    TempDir dir;
    ScratchRegistry registry;
    CSearchDb db;
    std::string guide = dir / "Guide.dbs";
    std::string cd = "/media/cdrom/Guide.dbs";
};

TEST_F(CompactTest, TempNameIsTheFirstFreeDbNumberInTheDatabasesFolder)
{
    EXPECT_EQ(MakeTempDatabaseName(guide, "Guide.dbs"), dir / "db1.dbs");
    WriteFileBytes(dir / "db1.dbs", "x");
    WriteFileBytes(dir / "db2.dbs", "x");
    EXPECT_EQ(MakeTempDatabaseName(guide, "Guide.dbs"), dir / "db3.dbs");
    WriteFileBytes(dir / "db4.dbs", "x");
    EXPECT_EQ(MakeTempDatabaseName(guide, "Guide.dbs"), dir / "db3.dbs");
}

TEST_F(CompactTest, UnchangedGuideDataOnlyRecordsThePaths)
{
    MakeGuideDb(guide, SomeGenres(4, 5));
    const std::string before = ReadFileBytes(guide);
    MessageRecorder messages;
    SaveAndCompactGuide(db, guide, cd, "Guide.dbs", FALSE);
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(GetGuideHdPath("Guide.dbs"), guide);
    EXPECT_EQ(GetGuideCdPath(), cd);
    EXPECT_EQ(ReadFileBytes(guide), before);
}

TEST_F(CompactTest, DecliningLeavesTheDatabaseAsItWas)
{
    MakeGuideDb(guide, SomeGenres(8, 20));
    RemoveHalfTheGenres(guide);
    const std::string before = ReadFileBytes(guide);
    MessageRecorder messages;
    messages.Answer(IDNO);
    SaveAndCompactGuide(db, guide, cd, "Guide.dbs", TRUE);
    ASSERT_EQ(messages.shown().size(), 1u);
    EXPECT_EQ(messages.shown()[0].text, kAsk);
    EXPECT_EQ(messages.shown()[0].type, UINT(MB_YESNO | MB_ICONINFORMATION));
    EXPECT_EQ(ReadFileBytes(guide), before);
    EXPECT_EQ(GetGuideHdPath("Guide.dbs"), guide);
}

TEST_F(CompactTest, AcceptedOptimisationShrinksTheFileInPlace)
{
    MakeGuideDb(guide, SomeGenres(8, 200));
    RemoveHalfTheGenres(guide);
    const std::vector<std::string> rows = AllRows(guide);
    const size_t sizeBefore = ReadFileBytes(guide).size();

    MessageRecorder messages;
    messages.Answer(IDYES);
    SaveAndCompactGuide(db, guide, cd, "Guide.dbs", TRUE);

    ASSERT_EQ(messages.shown().size(), 2u);
    EXPECT_EQ(messages.shown()[0].text, kAsk);
    EXPECT_EQ(messages.shown()[1].text, kDone);
    EXPECT_EQ(messages.shown()[1].type, UINT(MB_OK));
    EXPECT_EQ(AllRows(guide), rows);
    EXPECT_EQ(IntegrityCheck(guide), "ok");
    EXPECT_LT(ReadFileBytes(guide).size(), sizeBefore);
    EXPECT_EQ(DbFiles(dir.path()), std::vector<std::string>{});
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{"Guide.dbs"});
    EXPECT_EQ(GetGuideHdPath("Guide.dbs"), guide);
    // Still a search database: the page opens it as before.
    EXPECT_TRUE(db.IsProductData(guide, kGuideData));
}

TEST_F(CompactTest, AFailedCompactionKeepsTheDatabaseAndLeavesNoTemporaryFile)
{
    MakeGuideDb(guide, SomeGenres(4, 20));
    const std::string before = ReadFileBytes(guide);
    {
        // Another program holds the file.
        SqliteFile holder(guide);
        holder.Exec("PRAGMA locking_mode=EXCLUSIVE");
        holder.Exec("BEGIN EXCLUSIVE");

        MessageRecorder messages;
        messages.Answer(IDYES);
        SaveAndCompactGuide(db, guide, cd, "Guide.dbs", TRUE);
        EXPECT_EQ(messages.texts(), (std::vector<std::string>{kAsk, kEngineFailed, kFailed}));
        holder.Exec("ROLLBACK");
    }
    EXPECT_EQ(ReadFileBytes(guide), before);
    EXPECT_EQ(DbFiles(dir.path()), std::vector<std::string>{});
    EXPECT_EQ(GetGuideHdPath("Guide.dbs"), guide);
    EXPECT_EQ(GetGuideCdPath(), cd);
}

TEST_F(CompactTest, AMissingDatabaseReportsTheFailure)
{
    MessageRecorder messages;
    messages.Answer(IDYES);
    SaveAndCompactGuide(db, guide, cd, "Guide.dbs", TRUE);
    ASSERT_GE(messages.texts().size(), 2u);
    EXPECT_EQ(messages.texts().back(), kFailed);
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{});
}

// A kill at any moment of the optimisation leaves the guide database either
// the old file or the complete compacted one.
TEST_F(CompactTest, KilledOptimisationLeavesTheOldOrTheCompactedDatabase)
{
    MakeGuideDb(guide, SomeGenres(24, 400));
    RemoveHalfTheGenres(guide);
    const std::vector<std::string> rows = AllRows(guide);
    const std::string original = ReadFileBytes(guide);

    // Runs the close routine in a child; the parent learns through the pipe
    // when the child is about to start.
    auto start = [&](int& readyFd) {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            MessageRecorder messages;
            messages.Answer(IDYES);
            CSearchDb childDb;
            (void)!write(fds[1], "s", 1);
            SaveAndCompactGuide(childDb, guide, cd, "Guide.dbs", TRUE);
            _exit(messages.texts().size() == 2 && messages.texts()[1] == kDone ? 0 : 1);
        }
        close(fds[1]);
        readyFd = fds[0];
        return pid;
    };
    auto waitReady = [](int fd) {
        char c;
        EXPECT_EQ(read(fd, &c, 1), 1);
        close(fd);
    };

    // One undisturbed run tells how long the work takes, so that the kill
    // points spread over all of it.
    int fd = -1;
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = start(fd);
    waitReady(fd);
    int status = 0;
    waitpid(pid, &status, 0);
    const auto full = std::chrono::steady_clock::now() - t0;
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ASSERT_EQ(AllRows(guide), rows);
    const std::string compacted = ReadFileBytes(guide);
    ASSERT_NE(compacted, original);

    std::mt19937 random(20240607);
    const long long fullUs = std::chrono::duration_cast<std::chrono::microseconds>(full).count();
    std::uniform_int_distribution<long long> delayUs(0, fullUs + fullUs / 5);
    int killedMidway = 0, keptOld = 0;
    for (int trial = 0; trial < 30; ++trial) {
        WriteFileBytes(guide, original);
        for (const auto& name : DbFiles(dir.path()))
            std::remove((dir / name).c_str());

        pid = start(fd);
        waitReady(fd);
        usleep(static_cast<useconds_t>(delayUs(random)));
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        if (WIFSIGNALED(status))
            ++killedMidway;

        const std::string now = ReadFileBytes(guide);
        EXPECT_TRUE(now == original || now == compacted) << "trial " << trial << ": neither file";
        keptOld += now == original;
        EXPECT_EQ(IntegrityCheck(guide), "ok") << "trial " << trial;
        EXPECT_EQ(AllRows(guide), rows) << "trial " << trial;
    }
    std::printf("%d of 30 runs killed; %d left the old file, the rest the compacted one\n", killedMidway, keptOld);
    EXPECT_GT(killedMidway, 5);
}
