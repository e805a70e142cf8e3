#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <wx/progdlg.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>

#include "address/address_page.h"
#include "address/copy_progress.h"
#include "address_fixture.h"
#include "gui_support/gui_test_support.h"
#include "platform/wait_cursor.h"
#include "platform/wx_text.h"
#include "res/strings.h"
#include "services/free_space.h"
#include "settings/directory_settings.h"
#include "support/test_support.h"
#include "support/unprivileged.h"

namespace {

using P = CAddressPage;
using Names = std::vector<std::string>;

const std::string kAsk2042 = "データをHDにインストールします。\nファイルサイズが大きいため\nインストールに時間がかかる恐れがあります。\n\n"
                             "データのインストールを行いますか？";

std::string Value(const std::string& name, const std::string& text) { return "\"" + name + "\"=\"" + text + "\""; }

std::uint64_t g_freeBytes = 0;
BOOL FakeFreeSpace(LPCSTR, std::uint64_t* toCaller, std::uint64_t* total, std::uint64_t* totalFree)
{
    *toCaller = *total = *totalFree = g_freeBytes;
    return TRUE;
}

class AddressPageTest : public ::testing::Test {
protected:
    AddressPageTest()
    {
        mkdir(m_cd.c_str(), 0777);
        mkdir(m_hd.c_str(), 0777);
        g_freeBytes = 1ull << 40;
    }
    ~AddressPageTest() override
    {
        if (m_main)
            m_main->Destroy();
        PumpEvents();
        SetDiskFreeCalls(m_previousCalls);
    }

    // How the page makes its controls: with the page, at the first idle time
    // after it, or when it is shown.
    enum class Controls { WithPage, AtIdle, WhenShown };

    // Opens the page on the address key holding these "Name"=value lines.
    void Open(const Names& lines, Controls controls = Controls::WithPage)
    {
        std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\"
                           "DirectoryServices\\AddressDirectory]\n";
        for (const std::string& line : lines)
            text += line + "\n";
        WriteFileBytes(m_registry.file("HKEY_LOCAL_MACHINE"), text);
        if (m_main)
            m_main->Destroy();
        m_main = new wxDialog(nullptr, wxID_ANY, "Pellvane");
        m_main->Show();
        m_page = new CAddressPage;
        ASSERT_TRUE(m_page->Create(m_main, controls != Controls::WithPage));
        m_page->SetMainDialog(m_main);
        EXPECT_EQ(Control(P::IDC_APPLY) == nullptr, controls != Controls::WithPage);
        if (controls == Controls::WhenShown)
            m_page->Show();
        PumpEvents();
        ASSERT_NE(Control(P::IDC_APPLY), nullptr);
    }
    void OpenOn(const std::string& cd, const std::string& hd, Controls controls = Controls::WithPage)
    {
        Open({Value("DataPath_0", cd + "/Adr_L.dbs"), Value("DataPath_1", hd + "/Address.dbs")}, controls);
    }
    Names SavedPaths()
    {
        m_page->SaveDataPaths();
        return {ToUtf8(RegReadString(HKEY_LOCAL_MACHINE, kAddressKey, "DataPath_0")),
                ToUtf8(RegReadString(HKEY_LOCAL_MACHINE, kAddressKey, "DataPath_1"))};
    }
    wxWindow* Control(int id) { return m_page->FindWindow(id); }
    std::string Text(int id) { return dynamic_cast<wxTextCtrl*>(Control(id))->GetValue().utf8_string(); }
    bool Checked(int id) { return dynamic_cast<wxRadioButton*>(Control(id))->GetValue(); }
    bool Enabled(int id) { return Control(id)->IsThisEnabled(); }

    // A click as the user makes it: only on an enabled control.
    void Click(int id)
    {
        ClickControl(m_page, id);
        PumpEvents();
    }
    // Presses apply answering the message boxes in turn, noting whether the main dialog was enabled at each.
    Names Apply(const std::vector<int>& answers)
    {
        m_modals.clear();
        m_enabledAtMessages.clear();
        for (int answer : answers)
            m_modals.AnswerCustom([this, answer](wxDialog*) {
                m_enabledAtMessages.push_back(m_main->IsEnabled());
                m_waitCursorAtMessage = WaitCursorDepth();
                return answer;
            });
        Click(P::IDC_APPLY);
        EXPECT_TRUE(m_main->IsEnabled());
        return m_modals.messages();
    }

    ScratchRegistry m_registry;
    TempDir m_dir;
    std::string m_cd = m_dir / "cd", m_hd = m_dir / "hd";
    ModalRecorder m_modals;
    wxDialog* m_main = nullptr;
    std::vector<bool> m_enabledAtMessages;
    int m_waitCursorAtMessage = 0;
    CAddressPage* m_page = nullptr;
    const DiskFreeCalls m_previousCalls = SetDiskFreeCalls({&FakeFreeSpace, nullptr});
};

// The CD-ROM path is saved with the detailed file's name whichever it named;
// a negative size shows the default. Browsing to the source folder as the
// destination, or to a name with no code page 932 form, or cancelling, keeps the folders.
TEST_F(AddressPageTest, ShowsAndSavesWhatTheRegistryHolds)
{
    const std::string jp = m_dir / "地図", korean = m_dir / "한국";
    mkdir(korean.c_str(), 0777);
    for (const Controls controls : {Controls::AtIdle, Controls::WithPage}) {
        Open({"\"LFileSize\"=dword:ffffffff", "\"SFileSize\"=dword:000000fa", Value("DataPath_0", jp + "/Adr_S.dbs"),
              Value("DataPath_1", m_hd + "/地図.dbs"), Value("Address_File", "地図.dbs"), Value("Address_L_File", "詳細.dbs")},
             controls);
        EXPECT_EQ((Names{Text(P::IDC_SOURCE_DIR), Text(P::IDC_DEST_DIR)}), (Names{jp + "/", m_hd + "/"}));
        EXPECT_EQ(Control(P::IDC_DETAILED)->GetLabel().utf8_string(), "詳細データ [約195MB] ：");
        EXPECT_EQ(Control(P::IDC_STANDARD)->GetLabel().utf8_string(), "標準データ [約250MB] ：");
        EXPECT_EQ(Control(P::IDC_APPLY)->GetToolTipText(), WxResText(5132));
    }
    for (const auto& [button, answer] : {std::pair{P::IDC_BROWSE_DEST, jp}, std::pair{P::IDC_BROWSE_SOURCE, korean},
                                         std::pair{P::IDC_BROWSE_SOURCE, std::string()}}) {
        m_modals.AnswerDir(answer);
        if (!answer.empty())
            m_modals.AnswerMessage(wxID_OK);
        Click(button);
    }
    EXPECT_EQ(m_modals.messages(), (Names{"インストール元フォルダとインストール先フォルダを同じにすることはできません。",
                                          "選択したフォルダの名前には、このプログラムで扱えない文字が含まれています。\n"
                                          "名前を変えるか、別のフォルダを選択してください。"}));
    EXPECT_EQ(SavedPaths(), (Names{jp + "/詳細.dbs", m_hd + "/地図.dbs"}));
}

TEST_F(AddressPageTest, ChoicesFollowTheLevelsOfBothFolders)
{
    const struct {
        int cdStandard, cdDetailed, installed; // levels; 0 = no file
        std::vector<bool> shown;               // standard, detailed: enabled, then checked
        int applyAfterStandard, applyAfterDetailed; // apply enabled after that click; -1 = not clickable
    } cases[] = {
        {3, 0, 0, {1, 0, 0, 0}, 1, -1},  {0, 4, 0, {0, 1, 0, 0}, -1, 1}, {3, 4, 3, {1, 1, 1, 0}, 0, 1},
        {3, 4, 4, {1, 1, 0, 1}, 1, 0},   {3, 4, 5, {1, 1, 0, 0}, 1, 1},  {0, 0, 3, {0, 0, 1, 0}, -1, -1},
    };
    // The main dialog makes the hidden page's controls once it is on screen:
    // they show the same.
    for (const Controls controls : {Controls::WithPage, Controls::AtIdle, Controls::WhenShown})
    for (const auto& c : cases) {
        TempDir cd, hd;
        for (const auto& [level, path] : {std::pair{c.cdStandard, cd / "Adr_S.dbs"}, std::pair{c.cdDetailed, cd / "Adr_L.dbs"},
                                          std::pair{c.installed, hd / "Address.dbs"}})
            ASSERT_TRUE(level == 0 || address_fixture::MakeAddressDb(path, level));
        OpenOn(cd.path(), hd.path(), controls);
        SCOPED_TRACE(::testing::Message() << c.cdStandard << c.cdDetailed << c.installed << " controls "
                                          << static_cast<int>(controls));
        // Each radio and its note, enabled or not together.
        EXPECT_EQ((std::vector<bool>{Enabled(P::IDC_STANDARD), Enabled(P::IDC_STANDARD_NOTE), Enabled(P::IDC_DETAILED),
                                     Enabled(P::IDC_DETAILED_NOTE), Checked(P::IDC_STANDARD), Checked(P::IDC_DETAILED)}),
                  (std::vector<bool>{c.shown[0], c.shown[0], c.shown[1], c.shown[1], c.shown[2], c.shown[3]}));
        for (const auto& [radio, apply] : {std::pair{P::IDC_STANDARD, c.applyAfterStandard}, std::pair{P::IDC_DETAILED, c.applyAfterDetailed}})
            EXPECT_FALSE(apply >= 0 && (Click(radio), Enabled(P::IDC_APPLY) != (apply == 1))) << radio;
    }
}

// The sample CD-ROM: the standard data into a folder the copy makes; every
// way out of installing the detailed data leaves it; then the detailed data
// over it, read-only as it is.
TEST_F(AddressPageTest, SampleCdAndEveryWayOut)
{
    ASSERT_EQ(std::system(("'" PELLVANE_BINARY_DIR "/bin/make-sample-cd' '" + m_cd + "' >/dev/null").c_str()), 0)
        << "build make-sample-cd first";
    const std::string dest = m_hd + "/Tessra4/LocalData", installed = dest + "/Address.dbs";
    OpenOn(m_cd, dest);
    std::string before;
    auto expectInstalled = [&](const char* file, std::vector<bool> enabledAtMessages) {
        before = ReadFileBytes(m_cd + "/" + file);
        EXPECT_TRUE(ReadFileBytes(installed) == before) << file;
        EXPECT_EQ(ListDir(dest), Names{"Address.dbs"});
        EXPECT_EQ(m_enabledAtMessages, enabledAtMessages);
        EXPECT_EQ(WaitCursorDepth(), 0);
    };
    Click(P::IDC_STANDARD);
    g_freeBytes = ReadFileBytes(m_cd + "/Adr_S.dbs").size() + 1;
    EXPECT_EQ(Apply({wxID_YES}), Names{kAsk2042});
    EXPECT_EQ(m_modals.shown().at(0).style & (wxYES_NO | wxICON_INFORMATION), wxYES_NO | wxICON_INFORMATION);
    EXPECT_EQ(m_waitCursorAtMessage, 1);
    expectInstalled("Adr_S.dbs", {false});
    EXPECT_FALSE(Enabled(P::IDC_APPLY));

    Click(P::IDC_DETAILED);
    EXPECT_EQ(Apply({wxID_NO}), Names{kAsk2042});
    expectInstalled("Adr_S.dbs", {false});
    g_freeBytes = ReadFileBytes(m_cd + "/Adr_L.dbs").size(); // exactly the size is not enough
    EXPECT_EQ(Apply({wxID_YES, wxID_NO}), (Names{kAsk2042, LoadResStringUtf8(2020)}));
    EXPECT_EQ(m_modals.shown().at(1).style & (wxYES_NO | wxICON_INFORMATION), wxYES_NO);
    expectInstalled("Adr_S.dbs", {false, false});

    // Held by another process: 2039 at once, the main dialog never disabled.
    int held[2];
    ASSERT_EQ(pipe(held), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        SetMessageBoxHandler([](const std::string&, UINT) { return IDOK; });
        CSearchDb db;
        (void)!write(held[1], db.OpenDatabase(FromUtf8(installed), FALSE)->IsOpen() ? "1" : "0", 1);
        pause();
    }
    char ok = 0;
    ASSERT_TRUE(read(held[0], &ok, 1) == 1 && ok == '1');
    EXPECT_EQ(Apply({wxID_OK}), Names{ToUtf8(FormatResString(2039, FromUtf8(installed)))});
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    expectInstalled("Adr_S.dbs", {true});

    // Cancelled in the copy's progress window: no message, the installed level shown again.
    const ProgressWindowHook previousHook = SetProgressWindowHook([&](wxProgressDialog& window) {
        EXPECT_EQ(window.GetTitle().utf8_string(), "データをインストールしています...");
        wxCommandEvent event(wxEVT_BUTTON, wxID_CANCEL);
        event.SetEventObject(window.FindWindow(wxID_CANCEL));
        window.FindWindow(wxID_CANCEL)->ProcessWindowEvent(event);
    });
    EXPECT_EQ(Apply({wxID_YES, wxID_YES}), (Names{kAsk2042, LoadResStringUtf8(2020)}));
    SetProgressWindowHook(previousHook);
    expectInstalled("Adr_S.dbs", {false, false});
    EXPECT_TRUE(Checked(P::IDC_STANDARD));

    Click(P::IDC_DETAILED);
    chmod(installed.c_str(), 0444);
    EXPECT_EQ(Apply({wxID_YES, wxID_YES}), (Names{kAsk2042, LoadResStringUtf8(2020)}));
    expectInstalled("Adr_L.dbs", {false, false});
    EXPECT_FALSE(Enabled(P::IDC_APPLY));

    // The standard file gone from the CD-ROM since the page looked.
    Click(P::IDC_STANDARD);
    unlink((m_cd + "/Adr_S.dbs").c_str());
    EXPECT_EQ(Apply({wxID_YES, wxID_OK}),
              (Names{kAsk2042, "コピー元のファイル \"" + m_cd + "/Adr_S.dbs\" が見つからないか、読み取れません。\n"
                                                        "CD-ROMが入っているか、インストール元のフォルダを確認してください。"}));
    expectInstalled("Adr_L.dbs", {false, false});
}

// For a user whom permissions bind, a read-only installed file is tested for
// use read-only (a connection for writing is refused on it) and replaced.
TEST_F(AddressPageTest, ReadOnlyInstalledFileIsReplacedForAUserWhoCannotWriteIt)
{
    if (!RunsUnprivileged())
        return;
    const std::string installed = m_hd + "/Address.dbs";
    ASSERT_TRUE(address_fixture::MakeAddressDb(m_cd + "/Adr_L.dbs", 4));
    ASSERT_TRUE(address_fixture::MakeAddressDb(installed, 3));
    chmod(installed.c_str(), 0444);
    OpenOn(m_cd, m_hd);
    ASSERT_TRUE(Checked(P::IDC_STANDARD));
    Click(P::IDC_DETAILED);
    EXPECT_EQ(Apply({wxID_YES}), Names{kAsk2042});
    EXPECT_EQ(ReadFileBytes(installed), ReadFileBytes(m_cd + "/Adr_L.dbs"));
    EXPECT_EQ(ListDir(m_hd), Names{"Address.dbs"});
    EXPECT_TRUE(Checked(P::IDC_DETAILED));
}

// Stored paths the program cannot use stay as they are at close; a folder
// the user chooses replaces its own.
TEST_F(AddressPageTest, UnusableStoredPathsStayUnlessAFolderIsChosen)
{
    const std::string cd = "/media/Café/Adr_L.dbs", hd = "/srv/𠮷野/Address.dbs";
    for (int chosen : {0, int(P::IDC_BROWSE_SOURCE), int(P::IDC_BROWSE_DEST)}) {
        ForgetUnusableDirectoryValues();
        m_modals.clear();
        m_modals.AnswerMessage(wxID_OK); // no host to give a default folder
        Open({Value("DataPath_0", cd), Value("DataPath_1", hd)});
        EXPECT_EQ(m_modals.messages(), Names{"TessraFolderObjectの作成に失敗した"});
        const std::string before = ReadFileBytes(m_registry.file("HKEY_LOCAL_MACHINE"));
        EXPECT_EQ((Names{Text(P::IDC_SOURCE_DIR), Text(P::IDC_DEST_DIR)}), (Names{"", ""}));
        if (chosen) {
            m_modals.AnswerDir(chosen == P::IDC_BROWSE_SOURCE ? m_cd : m_hd);
            Click(chosen);
        }
        m_page->SaveDataPaths();
        const std::string after = ReadFileBytes(m_registry.file("HKEY_LOCAL_MACHINE"));
        EXPECT_TRUE(chosen || after == before);
        const std::string lines[] = {Value("DataPath_0", chosen == P::IDC_BROWSE_SOURCE ? m_cd + "/Adr_L.dbs" : cd),
                                     Value("DataPath_1", chosen == P::IDC_BROWSE_DEST ? m_hd + "/Address.dbs" : hd)};
        for (const std::string& line : lines)
            EXPECT_NE(after.find("\n" + line + "\n"), std::string::npos) << chosen << " " << line;
    }
}

} // namespace
