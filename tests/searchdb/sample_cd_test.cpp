// The sample CD-ROM generator's files are search databases the installer
// accepts, with the genres and address levels asked for, the same for the
// same seed.
#include <gtest/gtest.h>

#include "searchdb/search_db.h"
#include "search_fixture.h"

using namespace fixture;

TEST(SampleCd, FilesAreAcceptedSearchDatabasesWithTheGenresAskedForTheSameForTheSameSeed)
{
    TempDir dir;
    const std::string tool = std::string(PELLVANE_BINARY_DIR) + "/bin/make-sample-cd";
    for (const auto& [folder, seed] : {std::pair{"a", "5"}, {"b", "5"}, {"c", "6"}})
        ASSERT_EQ(RunProgram({tool, dir / folder, "--genres", "70", "--points-per-genre", "30", "--seed", seed}), 0);
    const std::string guide = dir / "a/Guide.dbs";
    EXPECT_EQ(ListDir(dir / "a"), (Strings{"Adr_L.dbs", "Adr_S.dbs", "Guide.dbs"}));
    MessageRecorder messages;
    CSearchDb db;
    EXPECT_TRUE(db.IsProductData(guide, kGuideData) && db.IsProductData(dir / "a/Adr_S.dbs", kAddressData));
    EXPECT_EQ(db.GetDataLevel(dir / "a/Adr_S.dbs") * 10 + db.GetDataLevel(dir / "a/Adr_L.dbs"), 34);
    EXPECT_EQ(db.CountRecords(guide, LoadResString(13025)), 70 * 30);
    EXPECT_TRUE(messages.texts().empty());
    // Genre names and codes (the first six bytes of TS99GenreCode) are unique.
    EXPECT_EQ(Query(guide, "SELECT count(DISTINCT substr(TS99GenreCode,1,6)), count(DISTINCT L1||'/'||L2), "
                           "(SELECT count(DISTINCT Name) FROM Category WHERE L3='0') FROM Point"),
              (Rows{{"70", "70", "70"}}));
    for (const char* f : {"/Guide.dbs", "/Adr_S.dbs", "/Adr_L.dbs"})
        EXPECT_EQ(ReadFileBytes(dir / "a" + f), ReadFileBytes(dir / "b" + f)) << f;
    EXPECT_NE(Query(guide, "SELECT * FROM Point"), Query(dir / "c/Guide.dbs", "SELECT * FROM Point"));
}
