// The sample CD-ROM generator's files are search databases the installer
// accepts, with the genres, points and address levels asked for.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <set>

#include "searchdb/search_db.h"
#include "search_fixture.h"
#include "support/test_support.h"

using namespace fixture;

namespace {

const std::string kTool = std::string(PELLVANE_BINARY_DIR) + "/bin/make-sample-cd";

int RunTool(const std::vector<std::string>& args)
{
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<char*> argv{const_cast<char*>(kTool.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        freopen("/dev/null", "w", stdout);
        freopen("/dev/null", "w", stderr);
        execv(kTool.c_str(), argv.data());
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
    const std::string cd = dir / "cdrom";
    ASSERT_EQ(RunTool({cd, "--genres", "70", "--points-per-genre", "30", "--seed", "3"}), 0);
    EXPECT_EQ(ListDir(cd), (std::vector<std::string>{"Adr_L.dbs", "Adr_S.dbs", "Guide.dbs"}));

    MessageRecorder messages;
    CSearchDb db;
    const std::string guide = cd + "/Guide.dbs";
    EXPECT_TRUE(db.IsProductData(guide, kGuideData));
    EXPECT_TRUE(db.IsProductData(cd + "/Adr_S.dbs", kAddressData));
    EXPECT_TRUE(db.IsProductData(cd + "/Adr_L.dbs", kAddressData));
    EXPECT_FALSE(db.IsProductData(cd + "/Adr_L.dbs", kGuideData));
    EXPECT_EQ(db.GetDataLevel(cd + "/Adr_S.dbs"), 3);
    EXPECT_EQ(db.GetDataLevel(cd + "/Adr_L.dbs"), 4);
    EXPECT_EQ(db.CountRecords(guide, LoadResString(13020)), 70);
    EXPECT_EQ(db.CountRecords(guide, "SELECT * FROM Category WHERE L2='0'"), 6);
    EXPECT_EQ(db.CountRecords(guide, LoadResString(13025)), 70 * 30);
    // A genre: its row, three rows below it and its points.
    EXPECT_EQ(db.EstimateGenreSize(guide, "1", "1"), 4 * 200 + 30 * 400);
    std::string l1, l2;
    EXPECT_TRUE(db.GetFirstFieldText(l1, guide, FormatSql(13081, J("寿司")), "L1"));
    EXPECT_TRUE(db.GetFirstFieldText(l2, guide, FormatSql(13081, J("寿司")), "L2"));
    EXPECT_EQ(l1 + "/" + l2, "1/2");
    // Twelve food genres from ten names: the eleventh is numbered.
    EXPECT_TRUE(db.GetFirstFieldText(l2, guide, FormatSql(13081, J("ラーメン２")), "L2"));
    EXPECT_EQ(l2, "11");
    EXPECT_TRUE(messages.texts().empty());

    // Every point is filled, and the first six bytes of TS99GenreCode name
    // its genre.
    EXPECT_EQ(Scalar(guide, "SELECT count(*) FROM Point WHERE Longitude IS NULL OR Latitude IS NULL OR Name IS NULL "
                            "OR NamePronounce IS NULL OR ZipCode IS NULL OR Address IS NULL OR Tel IS NULL OR "
                            "PrefCode IS NULL OR MeshCode IS NULL OR TS99GenreCode IS NULL OR TS99SearchGenreCode IS NULL"),
              0);
    EXPECT_EQ(Scalar(guide, "SELECT count(*) FROM (SELECT DISTINCT L1, L2, substr(TS99GenreCode,1,6) FROM Point)"), 70);
    EXPECT_EQ(Scalar(guide, "SELECT count(DISTINCT substr(TS99GenreCode,1,6)) FROM Point"), 70);
    EXPECT_EQ(Scalar(guide, "SELECT count(*) FROM Point WHERE Longitude NOT BETWEEN 442800000 AND 525600000 "
                            "OR Latitude NOT BETWEEN 86400000 AND 165600000"),
              0);
    // Genre names are unique, numbered once the names run out.
    const auto names = Query(guide, "SELECT Name FROM Category WHERE L3='0'");
    std::set<std::vector<std::string>> unique(names.begin(), names.end());
    EXPECT_EQ(unique.size(), names.size());
}

TEST(SampleCd, SameSeedSameFilesOtherSeedOtherPoints)
{
    TempDir dir;
    const std::vector<std::string> common{"--genres", "8", "--points-per-genre", "20"};
    auto run = [&](const std::string& out, const char* seed) {
        std::vector<std::string> args{dir / out};
        args.insert(args.end(), common.begin(), common.end());
        args.push_back("--seed");
        args.push_back(seed);
        return RunTool(args);
    };
    ASSERT_EQ(run("a", "5"), 0);
    ASSERT_EQ(run("b", "5"), 0);
    ASSERT_EQ(run("c", "6"), 0);
    for (const char* f : {"Guide.dbs", "Adr_S.dbs", "Adr_L.dbs"})
        EXPECT_EQ(ReadFileBytes(dir / "a" + "/" + f), ReadFileBytes(dir / "b" + "/" + f)) << f;
    EXPECT_NE(Query(dir / "a/Guide.dbs", "SELECT * FROM Point"), Query(dir / "c/Guide.dbs", "SELECT * FROM Point"));
}

TEST(SampleCd, BadArgumentsWriteNothing)
{
    TempDir dir;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{}, {dir / "x", "--genres", "0"}, {dir / "x", "--genres", "many"},
          {dir / "x", "--points-per-genre"}, {dir / "x", "--colour", "red"}, {dir / "x", dir / "y"}}) {
        EXPECT_EQ(RunTool(args), 2);
    }
    EXPECT_TRUE(ListDir(dir.path()).empty());
}
