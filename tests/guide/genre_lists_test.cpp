#include "guide/genre_lists.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>

#include "guide/genre_rows.h"
#include "guide/source_genre_prefetch.h"
#include "guide_fixture.h"

namespace {

using Names = std::vector<std::string>;

TEST(GenreLabels, SizeInMegabytesAndGenreCode)
{
    for (const auto& [bytes, mb] : {std::pair{0L, 0}, {1L, 1}, {2097151L, 1}, {3145728L, 3}})
        EXPECT_EQ(ToUtf8(SizeLabelText(bytes)), "およそ " + std::to_string(mb) + "MB") << bytes;
    for (const auto& [ts99, code] : {std::pair{"01020399", "01020300"}, {"0102", "010200"}, {"", "00"}})
        EXPECT_EQ(GenreCodeOf(ts99), code) << ts99;
}

class GenreListsTest : public ::testing::Test {
protected:
    TempDir dir;
    MessageRecorder messages;
    CSearchDb db;
    std::string source = dir / "cd.dbs", dest = dir / "hd.dbs";
};

TEST_F(GenreListsTest, InstalledGenresInOrderWithCodesOrNoneForAMissingOrForeignFile)
{
    EXPECT_TRUE(ReadInstalledGenres(db, dest, kGuideData).empty());
    MakeGuideDb(source, {{"1", "1", "Cafes"}}, "AddressData");
    EXPECT_TRUE(ReadInstalledGenres(db, source, kGuideData).empty());
    EXPECT_TRUE(messages.shown().empty());

    MakeGuideDb(dest, {{"2", "1", "Zoos", 1, "03010000"}, {"1", "2", "Banks", 1, "01020099"}, {"1", "1", "Cafes", 3, nullptr}});
    std::vector<GenreRecord> installed = ReadInstalledGenres(db, dest, kGuideData);
    CDaoDatabase* pDb = db.OpenDatabase(dest, TRUE);
    ReadInstalledGenreCodes(db, pDb, installed);
    db.CloseDatabase(pDb);
    Names got;
    for (const GenreRecord& g : installed)
        got.push_back(g.L1 + "/" + g.L2 + " " + g.Name + " " + g.GenreCode);
    EXPECT_EQ(got, (Names{"1/1 Cafes 00", "1/2 Banks 01020000", "2/1 Zoos 03010000"}));
}

// Same code under another name, L1 and L2; an empty code matches the genre without points.
TEST_F(GenreListsTest, SourceGenresWithAnInstalledCodeAreLeftOut)
{
    MakeGuideDb(source, {{"1", "1", "Cafes", 2, "01010099"}, {"1", "2", "Banks", 1, "01020000"}, {"1", "3", "No points", 0},
                         {"0A", "1", "First by L1", 1, "09090000"}});
    const std::vector<GenreRecord> installed = {{"7", "7", "Coffee shops", "01010000"}, {"8", "8", "Empty", ""}};
    EXPECT_EQ(ReadNotInstalledGenreNames(db, source, installed), (Names{"First by L1", "Banks"}));
    EXPECT_EQ(ReadNotInstalledGenreNames(db, source, {}), (Names{"First by L1", "Cafes", "Banks", "No points"}));
}

TEST_F(GenreListsTest, DeletingAGenreTakesItsCategoryAndPointRowsTogetherOrNeither)
{
    MakeGuideDb(dest, {{"1", "1", "Cafes", 3, "01010000", 2}, {"1", "2", "Banks", 2, "01020000"}});
    ASSERT_TRUE(DeleteGenreRowsInOneTransaction(db, dest, "1", "1"));
    EXPECT_EQ(RowCount(dest, "Category WHERE L2='1'") + RowCount(dest, "Point WHERE L2='1'"), 0);
    SqliteFile(dest).Exec("CREATE TRIGGER keep BEFORE DELETE ON Point BEGIN SELECT RAISE(ABORT, 'kept'); END");
    EXPECT_FALSE(DeleteGenreRowsInOneTransaction(db, dest, "1", "2"));
    EXPECT_EQ(GenreNames(dest), Names{"Banks"});
    EXPECT_EQ(RowCount(dest, "Point"), 2);
}

TEST_F(GenreListsTest, ADatabaseFileGoesWithItsJournalUnlessAnotherProgramHoldsIt)
{
    MakeGuideDb(dest, {{"1", "1", "Cafes"}});
    WriteFileBytes(dest + "-journal", "");
    {
        SqliteFile holder(dest);
        holder.Exec("PRAGMA locking_mode=EXCLUSIVE");
        holder.Exec("BEGIN EXCLUSIVE");
        EXPECT_FALSE(RemoveDatabaseFile(dest));
        EXPECT_TRUE(PathExists(dest));
    }
    EXPECT_TRUE(RemoveDatabaseFile(dest));
    EXPECT_EQ(ListDir(dir.path()), Names{});
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(GenreListsTest, ADamagedFileEndsTheWalkInsteadOfThrowing)
{
    std::vector<FixtureGenre> genres;
    for (int i = 0; i < 300; ++i)
        genres.push_back({std::to_string(i / 10 + 10), std::to_string(i % 10 + 1), "A rather long genre name " + std::to_string(i)});
    MakeGuideDb(source, genres);
    const std::string good = ReadFileBytes(source);
    size_t shorter = 0;
    for (size_t page = 2; page < good.size() / 4096; ++page) {
        std::string bad = good;
        bad[page * 4096] = '\x7f'; // not a page type
        WriteFileBytes(source, bad);
        EXPECT_NO_THROW(ReadInstalledGenres(db, source, kGuideData)) << page;
        EXPECT_NO_THROW(shorter += ReadNotInstalledGenreNames(db, source, {}).size() < 300) << page;
    }
    EXPECT_GT(shorter, 0u) << "no damage reached the genre rows";
}

// The read made on a thread while the window is being built lists what the
// page's own read lists, shows nothing, and is taken once, for its own path.
TEST_F(GenreListsTest, TheSourceReadAheadListsWhatThePageReadsAndIsTakenOnceForItsPath)
{
    const std::vector<GenreRecord> installed = {{"7", "7", "Coffee shops", "01010000"}, {"8", "8", "Empty", ""}};
    const std::vector<FixtureGenre> genres = {{"1", "1", "Cafes", 2, "01010099"}, {"1", "2", "Banks", 1, "01020000"},
                                              {"1", "3", "No points", 0}, {"0A", "1", "𠮷野家 Café", 1, "09090000"}};
    CSourceGenrePrefetch prefetch;

    MakeGuideDb(source, genres);
    prefetch.Start(source);
    EXPECT_FALSE(prefetch.Take(dest).has_value()) << "another path";
    EXPECT_FALSE(prefetch.Take(source).has_value()) << "a read is taken once, and not by another path";
    prefetch.Start(source);
    std::optional<std::vector<SourceGenre>> read = prefetch.Take(source);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(NotInstalledGenreNames(*read, installed), (Names{"𠮷野家 Café", "Banks"}));
    EXPECT_EQ(NotInstalledGenreNames(*read, installed), ReadNotInstalledGenreNames(db, source, installed));
    EXPECT_FALSE(prefetch.Take(source).has_value());
    EXPECT_TRUE(messages.shown().empty());

    // A source it cannot open leaves nothing and says nothing: the page's own
    // read then shows its message.
    struct Unreadable {
        const char* what;
        std::function<void()> make;
    };
    std::unique_ptr<SqliteFile> holder;
    const Unreadable cases[] = {
        {"missing", [&] { std::remove(source.c_str()); }},
        {"not a database", [&] { WriteFileBytes(source, std::string(8192, 'x')); }},
        {"held by another program", [&] {
             MakeGuideDb(source, genres);
             holder = std::make_unique<SqliteFile>(source);
             holder->Exec("PRAGMA locking_mode=EXCLUSIVE");
             holder->Exec("BEGIN EXCLUSIVE");
         }},
    };
    for (const Unreadable& c : cases) {
        std::remove(source.c_str());
        c.make();
        prefetch.Start(source);
        EXPECT_FALSE(prefetch.Take(source).has_value()) << c.what;
        EXPECT_TRUE(messages.shown().empty()) << c.what;
    }
    EXPECT_TRUE(ReadNotInstalledGenreNames(db, source, {}).empty());
    EXPECT_EQ(messages.shown().size(), 1u) << "the page's own read names the file it cannot open";
    holder.reset();

    // A damaged file: the genres before the damage, as the page reads them.
    std::vector<FixtureGenre> many;
    for (int i = 0; i < 300; ++i)
        many.push_back({std::to_string(i / 10 + 10), std::to_string(i % 10 + 1), "A rather long genre name " + std::to_string(i)});
    std::remove(source.c_str());
    MakeGuideDb(source, many);
    const std::string good = ReadFileBytes(source);
    size_t compared = 0;
    for (size_t page = 2; page < good.size() / 4096; page += 3) {
        std::string bad = good;
        bad[page * 4096] = '\x7f'; // not a page type
        WriteFileBytes(source, bad);
        prefetch.Start(source);
        read = prefetch.Take(source);
        if (!read)
            continue;
        ++compared;
        EXPECT_EQ(NotInstalledGenreNames(*read, {}), ReadNotInstalledGenreNames(db, source, {})) << page;
    }
    EXPECT_GT(compared, 0u);
}

} // namespace
