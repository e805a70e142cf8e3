// The sample CD-ROM generator's files are search databases the installer
// accepts, with the genres and address levels asked for, the same for the
// same seed.
#include <gtest/gtest.h>

#include "searchdb/search_db.h"
#include "search_fixture.h"

using namespace fixture;

namespace {

int MakeSampleCd(const std::string& folder, const char* genres, const char* seed)
{
    const std::string tool = std::string(PELLVANE_BINARY_DIR) + "/bin/make-sample-cd";
    const pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        execl(tool.c_str(), tool.c_str(), folder.c_str(), "--genres", genres, "--points-per-genre", "30", "--seed",
              seed, static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(SampleCd, FilesAreAcceptedSearchDatabasesWithTheGenresAskedFor)
{
    TempDir dir;
    const std::string cd = dir / "cdrom", guide = cd + "/Guide.dbs";
    ASSERT_EQ(MakeSampleCd(cd, "70", "3"), 0);
    EXPECT_EQ(ListDir(cd), (Strings{"Adr_L.dbs", "Adr_S.dbs", "Guide.dbs"}));
    MessageRecorder messages;
    CSearchDb db;
    EXPECT_TRUE(db.IsProductData(guide, kGuideData));
    EXPECT_TRUE(db.IsProductData(cd + "/Adr_S.dbs", kAddressData));
    EXPECT_EQ(db.GetDataLevel(cd + "/Adr_S.dbs"), 3);
    EXPECT_EQ(db.GetDataLevel(cd + "/Adr_L.dbs"), 4);
    EXPECT_EQ(db.CountRecords(guide, LoadResString(13020)), 70);
    EXPECT_EQ(db.CountRecords(guide, LoadResString(13025)), 70 * 30);
    std::string l2;
    EXPECT_TRUE(db.GetFirstFieldText(l2, guide, FormatSql(13081, J("ラーメン２")), "L2")); // names run out: numbered
    EXPECT_EQ(l2, "11");
    EXPECT_TRUE(messages.texts().empty());
    // Genre names and codes (the first six bytes of TS99GenreCode) are unique.
    EXPECT_EQ(Query(guide, "SELECT count(DISTINCT Name) FROM Category WHERE L3='0'"), Rows{{"70"}});
    EXPECT_EQ(Query(guide, "SELECT count(DISTINCT substr(TS99GenreCode,1,6)), count(DISTINCT L1||'/'||L2) FROM Point"),
              (Rows{{"70", "70"}}));
}

TEST(SampleCd, SameSeedSameFilesOtherSeedOtherPoints)
{
    TempDir dir;
    for (const auto& [folder, seed] : {std::pair{"a", "5"}, {"b", "5"}, {"c", "6"}})
        ASSERT_EQ(MakeSampleCd(dir / folder, "8", seed), 0);
    for (const char* f : {"/Guide.dbs", "/Adr_S.dbs", "/Adr_L.dbs"})
        EXPECT_EQ(ReadFileBytes(dir / "a" + f), ReadFileBytes(dir / "b" + f)) << f;
    EXPECT_NE(Query(dir / "a/Guide.dbs", "SELECT * FROM Point"), Query(dir / "c/Guide.dbs", "SELECT * FROM Point"));
}
