#include "guide/genre_lists.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "guide/genre_rows.h"
#include "guide_fixture.h"

TEST(GenreLabels, SizeInMegabytesAndGenreCode)
{
    const struct {
        long bytes, mb;
    } sizes[] = {{0, 0}, {1, 1}, {1048576, 1}, {2097151, 1}, {3145728, 3}, {10 * 1048576 + 5, 10}};
    for (const auto& c : sizes)
        EXPECT_EQ(ToUtf8(SizeLabelText(c.bytes)), "およそ " + std::to_string(c.mb) + "MB") << c.bytes;
    const struct {
        const char *ts99, *code;
    } codes[] = {{"01020399", "01020300"}, {"0102", "010200"}, {"", "00"}, {"0102039", "01020300"}};
    for (const auto& c : codes)
        EXPECT_EQ(GenreCodeOf(c.ts99), c.code) << c.ts99;
}

class GenreListsTest : public ::testing::Test {
protected:
    TempDir dir;
    MessageRecorder messages;
    CSearchDb db;
    std::string source = dir / "cd.dbs";
    std::string dest = dir / "hd.dbs";
};

TEST_F(GenreListsTest, GenreCodeReadsTheFirstPointRowOrLeavesTheCode)
{
    MakeGuideDb(source, {{"1", "1", "A", 2, "01020399"}, {"1", "2", "B", 1, "0102"}, {"1", "3", "C", 1, nullptr},
                         {"1", "4", "No points", 0}});
    CDaoDatabase* pDb = db.OpenDatabase(source, TRUE);
    ASSERT_TRUE(pDb->IsOpen());
    const struct {
        const char *l2, *statement, *code;
    } cases[] = {{"1", kSourceGenreCodeSql, "01020300"}, {"2", kDestGenreCodeSql, "010200"},
                 {"3", kSourceGenreCodeSql, "00"}, {"4", kSourceGenreCodeSql, "unchanged"}};
    for (const auto& c : cases) {
        std::string code = "unchanged";
        ReadGenreCode(db, pDb, c.statement, "1", c.l2, code);
        EXPECT_EQ(code, c.code) << c.l2;
    }
    db.CloseDatabase(pDb);
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(GenreListsTest, InstalledGenresInOrderWithCodesOrNoneForAMissingOrForeignFile)
{
    EXPECT_TRUE(ReadInstalledGenres(db, dest, kGuideData).empty());
    EXPECT_TRUE(messages.shown().empty()) << "a missing file is not opened";
    MakeGuideDb(source, {{"1", "1", "Cafes"}}, "AddressData");
    EXPECT_TRUE(ReadInstalledGenres(db, source, kGuideData).empty());

    MakeGuideDb(dest, {{"2", "1", "Zoos", 1, "03010000"}, {"1", "2", "Banks", 1, "01020000"},
                       {"1", "1", "Cafes", 3, "01010000"}});
    std::vector<GenreRecord> installed = ReadInstalledGenres(db, dest, kGuideData);
    CDaoDatabase* pDb = db.OpenDatabase(dest, TRUE);
    ReadInstalledGenreCodes(db, pDb, installed);
    db.CloseDatabase(pDb);
    std::vector<std::string> got;
    for (const GenreRecord& g : installed)
        got.push_back(g.L1 + "/" + g.L2 + " " + g.Name + " " + g.GenreCode);
    EXPECT_EQ(got, (std::vector<std::string>{"1/1 Cafes 01010000", "1/2 Banks 01020000", "2/1 Zoos 03010000"}));
}

TEST_F(GenreListsTest, SourceGenresWithAnInstalledCodeAreLeftOut)
{
    MakeGuideDb(source, {{"1", "1", "Cafes", 2, "01010099"}, {"1", "2", "Banks", 1, "01020000"},
                         {"1", "3", "No points", 0}, {"2", "1", "Zoos", 1, "03010000"},
                         {"0A", "1", "First by L1", 1, "09090000"}});
    // Same code under another name, L1 and L2; an empty code matches the
    // genre without points.
    const std::vector<GenreRecord> installed = {{"7", "7", "Coffee shops", "01010000"}, {"8", "8", "Empty", ""}};
    EXPECT_EQ(ReadNotInstalledGenreNames(db, source, installed),
              (std::vector<std::string>{"First by L1", "Banks", "Zoos"}));
    EXPECT_EQ(ReadNotInstalledGenreNames(db, source, {}),
              (std::vector<std::string>{"First by L1", "Cafes", "Banks", "No points", "Zoos"}));
}

TEST_F(GenreListsTest, DeletingAGenreTakesItsCategoryAndPointRowsTogetherOrNeither)
{
    EXPECT_FALSE(DeleteGenreRowsInOneTransaction(db, dest, "1", "1"));
    ASSERT_EQ(messages.texts().size(), 1u);
    EXPECT_NE(messages.texts()[0].find(dest), std::string::npos); // 2039 names the file

    MakeGuideDb(dest, {{"1", "1", "Cafes", 3, "01010000", 2}, {"1", "2", "Banks", 2, "01020000"}});
    ASSERT_TRUE(DeleteGenreRowsInOneTransaction(db, dest, "1", "1"));
    EXPECT_EQ(GenreNames(dest), std::vector<std::string>{"Banks"});
    EXPECT_EQ(RowCount(dest, "Category WHERE L1='1' AND L2='1'"), 0);
    EXPECT_EQ(RowCount(dest, "Point"), 2);

    SqliteFile(dest).Exec("CREATE TRIGGER keep BEFORE DELETE ON Point BEGIN SELECT RAISE(ABORT, 'kept'); END");
    EXPECT_FALSE(DeleteGenreRowsInOneTransaction(db, dest, "1", "2"));
    EXPECT_EQ(GenreNames(dest), std::vector<std::string>{"Banks"});
    EXPECT_EQ(RowCount(dest, "Point"), 2);
    EXPECT_EQ(IntegrityCheck(dest), "ok");
}

TEST_F(GenreListsTest, ADatabaseFileGoesWithItsJournalUnlessAnotherProgramHoldsIt)
{
    MakeGuideDb(dest, {{"1", "1", "Cafes"}});
    WriteFileBytes(dest + "-journal", "");
    int ready[2], done[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(done), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        close(done[1]);
        SqliteFile holder(dest);
        holder.Exec("PRAGMA locking_mode=EXCLUSIVE");
        holder.Exec("BEGIN EXCLUSIVE");
        char c;
        (void)!write(ready[1], "r", 1);
        (void)!read(done[0], &c, 1);
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_FALSE(RemoveDatabaseFile(dest));
    EXPECT_TRUE(PathExists(dest));
    close(done[1]);
    waitpid(pid, nullptr, 0);

    EXPECT_TRUE(RemoveDatabaseFile(dest));
    EXPECT_EQ(ListDir(dir.path()), std::vector<std::string>{});
    EXPECT_TRUE(messages.shown().empty());
}

// A damaged page anywhere must end a walk, not escape from it.
TEST_F(GenreListsTest, ADamagedFileEndsTheWalkInsteadOfThrowing)
{
    std::vector<FixtureGenre> genres;
    for (int i = 0; i < 300; ++i)
        genres.push_back({std::to_string(i / 10 + 10), std::to_string(i % 10 + 1),
                          "A genre with a rather long name, number " + std::to_string(i), 1, "01010000"});
    MakeGuideDb(source, genres);
    const std::string good = ReadFileBytes(source);
    const size_t kPage = 4096;
    int shorter = 0;
    for (size_t page = 2; page < good.size() / kPage; ++page) {
        std::string bad = good;
        bad[page * kPage] = '\x7f'; // not a page type
        WriteFileBytes(source, bad);
        std::vector<GenreRecord> installed;
        std::vector<std::string> names;
        EXPECT_NO_THROW(installed = ReadInstalledGenres(db, source, kGuideData)) << "page " << page;
        EXPECT_NO_THROW(names = ReadNotInstalledGenreNames(db, source, {})) << "page " << page;
        shorter += installed.size() < 300 || names.size() < 300;
    }
    EXPECT_GT(shorter, 0) << "no damage reached the genre rows";
}
