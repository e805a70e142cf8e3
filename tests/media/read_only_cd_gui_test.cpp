// The CD-ROM folder on a read-only mount, as a real CD-ROM is.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>

#include "address/address_fixture.h"
#include "media/media_fixture.h"

namespace {

using namespace media;
using A = CAddressPage;

const std::vector<FixtureGenre> kCd = {{"1", "1", "Banks", 2700, "01010000"}, {"1", "2", "Cafes", 2, "01020000"},
                                       {"2", "1", "Zoos", 2700, "02010000"}, {"3", "1", "Hotels", 3, "03010000", 2}};

bool Writable(const std::string& folder)
{
    const int fd = open((folder + "/probe").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0)
        close(fd);
    return fd >= 0 || errno != EROFS;
}

class ReadOnlyCdTest : public PagesTest {};

// Both lists, the sizes, an install of two genres and a removal, then the
// address levels and an install, all read from the read-only CD-ROM.
TEST_F(ReadOnlyCdTest, BothPagesWorkFromAReadOnlyCd)
{
    MakeGuideDb(source, kCd);
    ASSERT_TRUE(address_fixture::MakeAddressDb(cd / "Adr_S.dbs", 3));
    ASSERT_TRUE(address_fixture::MakeAddressDb(cd / "Adr_L.dbs", 4));
    MakeGuideDb(dest, {kCd[1]});
    const Names onCd = ListDir(cd.path());
    const std::string cdGuide = ReadFileBytes(source);
    auto ro = MountReadOnly(cd.path());
    if (!ro)
        return;
    ASSERT_FALSE(Writable(cd.path()));

    OpenGuidePage();
    EXPECT_EQ(Items(kInstalled), Names{"Cafes"});
    EXPECT_EQ(Items(kNotInstalled), (Names{"Banks", "Zoos", "Hotels"}));
    Select(kNotInstalled, {0, 1}); // 2 x (2700 points + a genre row) = 2,160,400 bytes
    EXPECT_EQ(Label(kNotInstalledSize), "およそ 2MB");
    Click(guide, kInstall);
    EXPECT_EQ(GenreNames(dest), (Names{"Banks", "Cafes", "Zoos"}));
    EXPECT_EQ(RowCount(dest, "Point"), 2 + 2 * 2700);
    EXPECT_EQ(Items(kNotInstalled), Names{"Hotels"});
    const Names installed = Items(kInstalled);
    Select(kInstalled, {static_cast<int>(std::find(installed.begin(), installed.end(), "Cafes") - installed.begin())});
    EXPECT_EQ(Label(kInstalledSize), "およそ 1MB"); // 1,000 bytes, shown as at least 1MB
    Click(guide, kRemove);
    EXPECT_EQ(GenreNames(dest), (Names{"Banks", "Zoos"}));
    EXPECT_EQ(IntegrityCheck(dest), "ok");
    EXPECT_EQ(Items(kNotInstalled), (Names{"Cafes", "Hotels"}));

    OpenAddressPage();
    EXPECT_TRUE(address->FindWindow(A::IDC_STANDARD)->IsThisEnabled());
    EXPECT_TRUE(address->FindWindow(A::IDC_DETAILED)->IsThisEnabled());
    Click(address, A::IDC_DETAILED);
    EXPECT_EQ(Apply({wxID_YES}), Names{Message(2042)});
    EXPECT_EQ(ReadFileBytes(hd / "Address.dbs"), ReadFileBytes(cd / "Adr_L.dbs"));
    EXPECT_EQ(ListDir(hd.path()), (Names{"Address.dbs", "Guide.dbs"}));
    EXPECT_FALSE(address->FindWindow(A::IDC_APPLY)->IsEnabled()); // the detailed data is installed

    EXPECT_EQ(modals.messages(), Names{Message(2042)});
    EXPECT_EQ(ListDir(cd.path()), onCd);
    EXPECT_EQ(ReadFileBytes(source), cdGuide);
}

// A CD file copied with the rollback journal of a transaction cut short: the
// file alone is not what it claims to be, and read-only media cannot roll it
// back. Both pages say it cannot be used and copy nothing from it.
TEST_F(ReadOnlyCdTest, AFileWithALeftoverJournalIsNotUsed)
{
    MakeGuideDb(source, kCd);
    ASSERT_TRUE(address_fixture::MakeAddressDb(cd / "Adr_L.dbs", 4));
    const std::string guideBefore = ReadFileBytes(source), addressBefore = ReadFileBytes(cd / "Adr_L.dbs");
    LeaveHotJournal(source, "DELETE FROM Point; DELETE FROM Category WHERE L1='1';");
    LeaveHotJournal(cd / "Adr_L.dbs", "UPDATE Property SET Level=3; CREATE TABLE Filler (x); "
                                      "INSERT INTO Filler SELECT zeroblob(4000) FROM Point;");
    ASSERT_TRUE(PathExists(source + "-journal") && PathExists(cd / "Adr_L.dbs-journal"));
    ASSERT_NE(ReadFileBytes(source), guideBefore) << "the cut-short transaction reached the file";
    const Names onCd = ListDir(cd.path());
    auto ro = MountReadOnly(cd.path());
    if (!ro)
        return;

    modals.AnswerMessage(wxID_OK);
    OpenGuidePage();
    EXPECT_EQ(Items(kNotInstalled), Names{});
    EXPECT_FALSE(guide->FindWindow(kInstall)->IsEnabled());
    modals.AnswerMessage(wxID_OK);
    OpenAddressPage();
    EXPECT_FALSE(address->FindWindow(A::IDC_DETAILED)->IsThisEnabled());
    EXPECT_FALSE(address->FindWindow(A::IDC_APPLY)->IsEnabled());

    EXPECT_EQ(modals.messages(), (Names{Message(2039, source), Message(2039, cd / "Adr_L.dbs")}));
    EXPECT_EQ(ListDir(hd.path()), Names{});
    EXPECT_EQ(ListDir(cd.path()), onCd);

    // On writable media the same files roll back to what they were.
    ro.reset();
    EXPECT_EQ(IntegrityCheck(source), "ok");
    EXPECT_EQ(ReadFileBytes(source), guideBefore);
}

} // namespace
