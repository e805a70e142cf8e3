// The hard-disk folder on a small tmpfs that really fills: each kind of
// installation that does not fit ends with a message, leaves the installed
// files as they were and no temporary behind; one that the room check lets
// through fits.
#include "address/address_fixture.h"
#include "searchdb/search_db.h"
#include "services/compact.h"
#include "media/media_fixture.h"

namespace {

using namespace media;
using A = CAddressPage;

constexpr unsigned long long kMiB = 1 << 20;

// A program's output.
std::string Output(const std::string& command)
{
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

class FullDiskTest : public PagesTest {
protected:
    // The hard-disk folder as it is now (but for the filler): its files, kept
    // aside for cmp, and the guide database's rows as the sqlite3 shell dumps them.
    struct Snapshot {
        std::unique_ptr<TempDir> copies = std::make_unique<TempDir>();
        Names files;
        std::string dump;
    };
    Snapshot Take(const std::string& guidePath)
    {
        Snapshot s;
        for (const std::string& name : ListDir(hd.path()))
            if (name != "filler") {
                s.files.push_back(name);
                WriteFileBytes(*s.copies / name, ReadFileBytes(hd / name));
            }
        if (PathExists(guidePath))
            s.dump = Output("/usr/bin/sqlite3 -readonly '" + guidePath + "' .dump");
        return s;
    }
    // The folder holds the same files, each the same to cmp, and the same rows.
    ::testing::AssertionResult Unchanged(const Snapshot& was, const std::string& guidePath)
    {
        const Snapshot now = Take(guidePath);
        if (now.files != was.files)
            return ::testing::AssertionFailure() << "the folder's files changed";
        for (const std::string& name : was.files)
            if (std::system(("cmp -s '" + *was.copies / name + "' '" + hd / name + "'").c_str()) != 0)
                return ::testing::AssertionFailure() << name << " differs";
        if (now.dump != was.dump || (PathExists(guidePath) && was.dump.find("INSERT INTO") == std::string::npos))
            return ::testing::AssertionFailure() << "the rows changed";
        return ::testing::AssertionSuccess();
    }
};

// The room check warns (message 2020); continued anyway, the install that
// does not fit fails (2031) and changes nothing. Where the check finds room,
// the genre fits.
TEST_F(FullDiskTest, GenreInstallThatDoesNotFitChangesNothing)
{
    ASSERT_EQ(std::system(("'" PELLVANE_BINARY_DIR "/bin/make-sample-cd' '" + cd.path() +
                           "' --genres 2 --points-per-genre 5000 --seed 3 >/dev/null").c_str()), 0);
    auto disk = MountTmpfs(hd.path(), 16 * kMiB);
    if (!disk)
        return;
    const Names genres = GenreNames(source);
    const std::string l1l2 = Query(source, "SELECT L1 || '|' || L2 FROM Category WHERE L3='0' ORDER BY L1, L2").at(1).at(0);
    const std::string l1 = l1l2.substr(0, l1l2.find('|')), l2 = l1l2.substr(l1l2.find('|') + 1);
    const unsigned long long estimate = CSearchDb().EstimateGenreSize(source, FromUtf8(l1), FromUtf8(l2));
    ASSERT_GT(estimate, 2000000u);
    const unsigned long long justEnough = (estimate / 4096 + 1) * 4096; // the first free count above it
    const struct {
        const char* name;
        bool databaseBefore;
        unsigned long long free;
        Names messages;
    } cases[] = {
        {"a fifth of the room, continued", true, 400 * 1024, {Message(2020), Message(2031)}},
        // The new file's tables do not fit (2025); it is removed again, and the lists find no database.
        {"no database yet, hardly any room", false, 16 * 1024,
         {Message(2020), Message(2025), Message(2039, dest), Message(2039, dest)}},
        {"room by the check", true, justEnough, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        unlink(dest.c_str());
        if (c.databaseBefore)
            MakeGuideDb(dest, {{"9", "1", "Cafes", 20, "09010000"}});
        ASSERT_TRUE(FillVolume(hd.path(), "filler", c.free));
        const Snapshot was = Take(dest);
        modals.clear();
        if (!c.databaseBefore)
            modals.AnswerMessage(wxID_OK); // the page finds no hard-disk database
        OpenGuidePage();
        const std::string genre = Items(kNotInstalled).at(1);
        Select(kNotInstalled, {1});
        for (size_t i = 0; i < c.messages.size(); ++i)
            modals.AnswerMessage(i == 0 ? wxID_YES : wxID_OK);
        Click(guide, kInstall);
        Names shown = modals.messages();
        if (!c.databaseBefore)
            shown.erase(shown.begin());
        EXPECT_EQ(shown, c.messages);
        if (c.messages.empty()) {
            EXPECT_EQ(GenreNames(dest), (Names{genre, "Cafes"}));
            EXPECT_EQ(IntegrityCheck(dest), "ok");
        } else {
            EXPECT_TRUE(Unchanged(was, dest));
            EXPECT_EQ(Items(kNotInstalled).size(), 2u);
        }
        guide->Destroy();
        unlink((hd / "filler").c_str());
    }
}

// The address file that does not fit (the check's 2020 answered Yes) fails
// with the copy's message; the installed file stays and no temporary is left.
// With one byte more than the file free, the check passes and the copy fits.
TEST_F(FullDiskTest, AddressInstallThatDoesNotFitChangesNothing)
{
    ASSERT_EQ(std::system(("'" PELLVANE_BINARY_DIR "/bin/make-sample-cd' '" + cd.path() +
                           "' --genres 1 --points-per-genre 10 --seed 3 >/dev/null").c_str()), 0);
    auto disk = MountTmpfs(hd.path(), 16 * kMiB);
    if (!disk)
        return;
    const unsigned long long size = ReadFileBytes(cd / "Adr_L.dbs").size();
    const struct {
        const char* name;
        unsigned long long free;
        bool fits;
    } cases[] = {
        {"half the room", size / 2 / 4096 * 4096, false},
        {"a page short", (size / 4096 - 1) * 4096, false},
        {"room by the check", (size / 4096 + 1) * 4096, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(hd / "Address.dbs", ReadFileBytes(cd / "Adr_S.dbs"));
        ASSERT_TRUE(FillVolume(hd.path(), "filler", c.free));
        const Snapshot was = Take(dest);
        OpenAddressPage();
        Click(address, A::IDC_DETAILED);
        const Names shown = Apply(c.fits ? std::vector<int>{wxID_YES} : std::vector<int>{wxID_YES, wxID_YES, wxID_OK});
        if (c.fits) {
            EXPECT_EQ(shown, Names{Message(2042)});
            EXPECT_EQ(ReadFileBytes(hd / "Address.dbs"), ReadFileBytes(cd / "Adr_L.dbs"));
            EXPECT_EQ(ListDir(hd.path()), (Names{"Address.dbs", "filler"}));
        } else {
            ASSERT_EQ(shown.size(), 3u);
            EXPECT_EQ((Names{shown[0], shown[1]}), (Names{Message(2042), Message(2020)}));
            EXPECT_NE(shown[2].find("ディスクの空き容量が足りません。"), std::string::npos) << shown[2];
            EXPECT_TRUE(Unchanged(was, dest));
        }
        address->Destroy();
        unlink((hd / "filler").c_str());
    }
}

// An optimisation that does not fit: 2041 and 2037, the database as it was and
// no db<N>.dbs left; with room it is done (2024).
TEST_F(FullDiskTest, OptimisationThatDoesNotFitChangesNothing)
{
    std::vector<FixtureGenre> genres;
    for (int i = 0; i < 4; ++i)
        genres.push_back({std::to_string(i + 1), "1", "Genre " + std::to_string(i), 2000, "01010000"});
    auto disk = MountTmpfs(hd.path(), 16 * kMiB);
    if (!disk)
        return;
    for (const unsigned long long free : {64ull * 1024, 8 * kMiB}) {
        SCOPED_TRACE(free);
        unlink(dest.c_str());
        MakeGuideDb(dest, genres);
        SqliteFile(dest).Exec("DELETE FROM Point WHERE L1 IN ('1','2')");
        ASSERT_TRUE(FillVolume(hd.path(), "filler", free));
        const Snapshot was = Take(dest);
        const bool fits = free > ReadFileBytes(dest).size();
        modals.clear();
        modals.AnswerMessage(wxID_YES);
        modals.AnswerMessage(wxID_OK);
        if (!fits)
            modals.AnswerMessage(wxID_OK);
        CSearchDb db;
        SaveAndCompactGuide(db, FromUtf8(dest), FromUtf8(source), "Guide.dbs", TRUE);
        if (fits) {
            EXPECT_EQ(modals.messages().back(), Message(2024, "施設"));
            EXPECT_LT(ReadFileBytes(dest).size(), ReadFileBytes(*was.copies / "Guide.dbs").size());
            EXPECT_EQ(Output("/usr/bin/sqlite3 -readonly '" + dest + "' .dump"), was.dump);
        } else {
            const Names shown = modals.messages();
            EXPECT_EQ((Names{shown.begin() + 1, shown.end()}), (Names{Message(2041), Message(2037, "施設")}));
            EXPECT_TRUE(Unchanged(was, dest));
        }
        EXPECT_EQ(DbTempFiles(hd.path()), Names{});
        unlink((hd / "filler").c_str());
    }
}

} // namespace
