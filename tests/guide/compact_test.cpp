#include "services/compact.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

#include "guide_fixture.h"
#include "settings/directory_settings.h"

namespace {

const char* const kFailed = "施設データの最適化に失敗しました。";

// Two genres of every four removed leave free pages behind.
void MakeHalfEmptyGuide(const std::string& path, int genres, int points)
{
    std::vector<FixtureGenre> list;
    for (int i = 0; i < genres; ++i)
        list.push_back({std::to_string(i / 4 + 1), std::to_string(i % 4 + 1), "Genre " + std::to_string(i), points,
                        "01010000", 1});
    MakeGuideDb(path, list);
    SqliteFile f(path);
    f.Exec("DELETE FROM Point WHERE L2 IN ('1','3')");
    f.Exec("DELETE FROM Category WHERE L2 IN ('1','3')");
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
    for (const char* name : {"db1.dbs", "db2.dbs", "db4.dbs"})
        WriteFileBytes(dir / name, "x");
    EXPECT_EQ(MakeTempDatabaseName(guide, "Guide.dbs"), dir / "db3.dbs");
}

TEST_F(CompactTest, UnchangedGuideDataOnlyRecordsThePaths)
{
    MakeHalfEmptyGuide(guide, 4, 5);
    const std::string before = ReadFileBytes(guide);
    MessageRecorder messages;
    SaveAndCompactGuide(db, guide, cd, "Guide.dbs", FALSE);
    EXPECT_TRUE(messages.shown().empty());
    EXPECT_EQ(GetGuideHdPath("Guide.dbs"), guide);
    EXPECT_EQ(GetGuideCdPath(), cd);
    EXPECT_EQ(ReadFileBytes(guide), before);
}

TEST_F(CompactTest, AFailedOptimisationKeepsTheDatabaseAndThePaths)
{
    MessageRecorder messages;
    messages.Answer(IDYES);
    SaveAndCompactGuide(db, guide, cd, "Guide.dbs", TRUE); // no file
    ASSERT_GE(messages.texts().size(), 2u);
    EXPECT_EQ(messages.texts().back(), kFailed);
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{});

    MakeHalfEmptyGuide(guide, 4, 20);
    const std::string before = ReadFileBytes(guide);
    SqliteFile holder(guide); // another program holds the file
    holder.Exec("PRAGMA locking_mode=EXCLUSIVE");
    holder.Exec("BEGIN EXCLUSIVE");
    messages.clear();
    messages.Answer(IDYES);
    SaveAndCompactGuide(db, guide, cd, "Guide.dbs", TRUE);
    EXPECT_EQ(messages.texts().size(), 3u);
    EXPECT_EQ(messages.texts().at(1), "ファイルの最適化に失敗しました。\n\nTessra、Ravelin等を起動していましたら終了させて下さい。\n"
                                      "ディスク空き容量が十分あるか確認してください。");
    EXPECT_EQ(messages.texts().at(2), kFailed);
    holder.Exec("ROLLBACK");
    EXPECT_EQ(ReadFileBytes(guide), before);
    EXPECT_EQ(DbTempFiles(dir.path()), std::vector<std::string>{});
    EXPECT_EQ(GetGuideHdPath("Guide.dbs"), guide);
    EXPECT_EQ(GetGuideCdPath(), cd);
}

// A kill at any moment of the optimisation leaves either the old file or
// the complete compacted one.
TEST_F(CompactTest, KilledOptimisationLeavesTheOldOrTheCompactedDatabase)
{
    MakeHalfEmptyGuide(guide, 24, 400);
    const std::vector<std::string> rows = AllRows(guide);
    const std::string original = ReadFileBytes(guide);

    // Runs the close routine in a child; returns once the child starts it.
    auto start = [&] {
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        const pid_t pid = fork();
        if (pid == 0) {
            MessageRecorder messages;
            messages.Answer(IDYES);
            CSearchDb childDb;
            (void)!write(fds[1], "s", 1);
            SaveAndCompactGuide(childDb, guide, cd, "Guide.dbs", TRUE);
            _exit(messages.texts().size() == 2 && messages.texts()[1] == "施設データの最適化が終了しました。" ? 0 : 1);
        }
        close(fds[1]);
        char c;
        EXPECT_EQ(read(fds[0], &c, 1), 1);
        close(fds[0]);
        return pid;
    };

    // One undisturbed run tells how long the work takes, so that the kill
    // points spread over all of it.
    const auto t0 = std::chrono::steady_clock::now();
    int status = 0;
    waitpid(start(), &status, 0);
    const long long fullUs =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count();
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string compacted = ReadFileBytes(guide);
    ASSERT_NE(compacted, original);

    std::mt19937 random(20240607);
    std::uniform_int_distribution<long long> delayUs(0, fullUs + fullUs / 5);
    int killedMidway = 0;
    for (int trial = 0; trial < 30; ++trial) {
        WriteFileBytes(guide, original);
        for (const auto& name : DbTempFiles(dir.path()))
            std::remove((dir / name).c_str());
        const pid_t pid = start();
        usleep(static_cast<useconds_t>(delayUs(random)));
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        killedMidway += WIFSIGNALED(status);
        const std::string now = ReadFileBytes(guide);
        EXPECT_TRUE(now == original || now == compacted) << "trial " << trial;
        EXPECT_EQ(IntegrityCheck(guide), "ok") << "trial " << trial;
        EXPECT_EQ(AllRows(guide), rows) << "trial " << trial;
    }
    EXPECT_GT(killedMidway, 5);
}
