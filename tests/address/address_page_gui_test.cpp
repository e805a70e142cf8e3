#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include <wx/dialog.h>
#include <wx/dirdlg.h>
#include <wx/progdlg.h>
#include <wx/radiobut.h>
#include <wx/textctrl.h>

#include "address/address_page.h"
#include "address/copy_progress.h"
#include "address_fixture.h"
#include "gui_support/gui_test_support.h"
#include "platform/cp932.h"
#include "platform/wait_cursor.h"
#include "res/strings.h"
#include "searchdb/search_db.h"
#include "services/free_space.h"
#include "support/test_support.h"

namespace {

using address_fixture::MakeAddressDb;
using P = CAddressPage;
using Names = std::vector<std::string>;

const std::string kAsk2042 = "データをHDにインストールします。\nファイルサイズが大きいため\nインストールに時間がかかる恐れがあります。\n\n"
                             "データのインストールを行いますか？";

std::string Value(const std::string& name, const std::string& text) { return "\"" + name + "\"=\"" + text + "\""; }

// The destination volume's free space, as a test sets it.
std::uint64_t g_freeBytes = 0;
BOOL FakeFreeSpace(LPCSTR, std::uint64_t* toCaller, std::uint64_t* total, std::uint64_t* totalFree)
{
    *toCaller = *totalFree = g_freeBytes;
    *total = g_freeBytes * 2;
    return TRUE;
}

// The main dialog as the page sees it: it records being disabled, enabled
// and raised.
class MainDialogStandIn : public wxDialog {
public:
    MainDialogStandIn() : wxDialog(nullptr, wxID_ANY, "Pellvane") {}
    bool Enable(bool enable = true) override
    {
        m_enables.push_back(enable);
        return wxDialog::Enable(enable);
    }
    void Raise() override
    {
        ++m_raised;
        wxDialog::Raise();
    }
    std::vector<bool> m_enables;
    int m_raised = 0;
};

class AddressPageTest : public ::testing::Test {
protected:
    AddressPageTest()
    {
        mkdir(m_cd.c_str(), 0777);
        mkdir(m_hd.c_str(), 0777);
    }
    ~AddressPageTest() override { Close(); }

    // The address key holding these "Name"=value lines.
    void WriteRegistry(const Names& lines)
    {
        std::string text = "Windows Registry Editor Version 5.00\n\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\AddressDirectory]\n";
        for (const std::string& line : lines)
            text += line + "\n";
        WriteFileBytes(m_registry.file("HKEY_LOCAL_MACHINE"), text);
    }
    void WritePaths(const std::string& cd, const std::string& hd)
    {
        WriteRegistry({Value("DataPath_0", cd + "/Adr_L.dbs"), Value("DataPath_1", hd + "/Address.dbs")});
    }
    std::string RegistryLine(const std::string& name)
    {
        const std::string text = ReadFileBytes(m_registry.file("HKEY_LOCAL_MACHINE"));
        const size_t at = text.find("\"" + name + "\"=");
        return at == std::string::npos ? "" : text.substr(at, text.find('\n', at) - at);
    }

    void Open()
    {
        Close();
        m_main = new MainDialogStandIn;
        m_main->Show();
        m_page = new CAddressPage;
        ASSERT_TRUE(m_page->Create(m_main));
        m_page->SetMainDialog(m_main);
        m_page->Show();
        PumpEvents();
    }
    void Close()
    {
        if (m_main)
            m_main->Destroy();
        m_main = nullptr;
        PumpEvents();
    }

    wxWindow* Control(int id) { return m_page->FindWindow(id); }
    std::string EditText(int id) { return static_cast<wxTextCtrl*>(Control(id))->GetValue().utf8_string(); }
    bool Checked(int id) { return static_cast<wxRadioButton*>(Control(id))->GetValue(); }
    bool Enabled(int id) { return Control(id)->IsThisEnabled(); }

    // A click as the user makes it: only on an enabled control.
    void Click(int id)
    {
        wxWindow* w = Control(id);
        ASSERT_TRUE(w->IsEnabled()) << "control " << id << " is disabled";
        auto* radio = dynamic_cast<wxRadioButton*>(w);
        if (radio)
            radio->SetValue(true);
        wxCommandEvent event(radio ? wxEVT_RADIOBUTTON : wxEVT_BUTTON, id);
        event.SetEventObject(w);
        event.SetInt(1);
        w->ProcessWindowEvent(event);
        PumpEvents();
    }
    // Presses apply answering the message boxes in turn; their texts.
    Names Apply(const std::vector<int>& answers)
    {
        m_modals.clear();
        for (int answer : answers)
            m_modals.AnswerMessage(answer);
        Click(P::IDC_APPLY);
        return m_modals.messages();
    }

    ScratchRegistry m_registry;
    TempDir m_dir;
    std::string m_cd = m_dir / "cd";
    std::string m_hd = m_dir / "hd";
    ModalRecorder m_modals;
    MainDialogStandIn* m_main = nullptr;
    CAddressPage* m_page = nullptr;
};

TEST_F(AddressPageTest, ShowsAndSavesWhatTheRegistryHolds)
{
    const std::string jp = m_dir / "地図";
    const char* const k195 = "詳細データ [約195MB] ：";
    const char* const k43 = "標準データ [約43MB] ：";
    const struct {
        Names values;
        const char *detailed, *standard;
        std::string source, dest;         // shown
        std::string dataPath0, dataPath1; // written at close
    } cases[] = {
        // The CD-ROM path is saved with the detailed file's name whichever it named.
        {{"\"LFileSize\"=dword:00000000", Value("DataPath_0", m_cd + "/Adr_S.dbs"), Value("DataPath_1", m_hd + "/Address.dbs")},
         k195, k43, m_cd + "/", m_hd + "/", m_cd + "/Adr_L.dbs", m_hd + "/Address.dbs"},
        {{Value("DataPath_0", jp + "/Adr_S.dbs"), Value("DataPath_1", jp + "/地図.dbs"), Value("Address_File", "地図.dbs"),
          Value("Address_L_File", "詳細.dbs")},
         k195, k43, jp + "/", jp + "/", jp + "/詳細.dbs", jp + "/地図.dbs"},
        // Negative sizes; a value naming a folder is shown as it stands;
        // without a CD-ROM folder the saved value is the separator and the name.
        {{"\"LFileSize\"=dword:ffffffff", "\"SFileSize\"=dword:80000000", Value("DataPath_1", m_hd)},
         k195, k43, "", m_hd, "/Adr_L.dbs", m_hd + "/Address.dbs"},
        {{"\"SFileSize\"=dword:000000fa", Value("DataPath_1", m_hd + "/Tessra.4/")},
         k195, "標準データ [約250MB] ：", "", m_hd + "/Tessra.4/", "/Adr_L.dbs", m_hd + "/Tessra.4/Address.dbs"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dataPath1);
        WriteRegistry(c.values);
        Open();
        EXPECT_EQ(Control(P::IDC_DETAILED)->GetLabel().utf8_string(), c.detailed);
        EXPECT_EQ(Control(P::IDC_STANDARD)->GetLabel().utf8_string(), c.standard);
        EXPECT_EQ(EditText(P::IDC_SOURCE_DIR), c.source);
        EXPECT_EQ(EditText(P::IDC_DEST_DIR), c.dest);
        EXPECT_FALSE(static_cast<wxTextCtrl*>(Control(P::IDC_DEST_DIR))->IsEditable());
        m_page->SaveDataPaths();
        EXPECT_EQ(RegistryLine("DataPath_0"), Value("DataPath_0", c.dataPath0));
        EXPECT_EQ(RegistryLine("DataPath_1"), Value("DataPath_1", c.dataPath1));
    }
}

TEST_F(AddressPageTest, ChoicesFollowTheLevelsOfBothFolders)
{
    const struct {
        const char* name;
        int sourceStandard, sourceDetailed, installed; // levels; 0 = no file
        bool standardOn, detailedOn, standardChecked, detailedChecked;
        int applyAfterStandard, applyAfterDetailed; // apply enabled after that click; -1 = not clickable
    } cases[] = {
        {"CD holds only the standard data", 3, 0, 0, true, false, false, false, 1, -1},
        {"CD holds only the detailed data", 0, 4, 0, false, true, false, false, -1, 1},
        {"standard installed", 3, 4, 3, true, true, true, false, 0, 1},
        {"detailed installed", 3, 4, 4, true, true, false, true, 1, 0},
        {"level 5 installed", 3, 4, 5, true, true, false, false, 1, 1},
        {"nothing on the CD", 0, 0, 3, false, false, true, false, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string cd = dir / "cd", hd = dir / "hd";
        mkdir(cd.c_str(), 0777);
        mkdir(hd.c_str(), 0777);
        for (const auto& [level, path] : {std::pair{c.sourceStandard, cd + "/Adr_S.dbs"},
                                          std::pair{c.sourceDetailed, cd + "/Adr_L.dbs"},
                                          std::pair{c.installed, hd + "/Address.dbs"}})
            ASSERT_TRUE(level == 0 || MakeAddressDb(path, level));
        WritePaths(cd, hd);
        Open();

        EXPECT_EQ(Enabled(P::IDC_STANDARD), c.standardOn);
        EXPECT_EQ(Enabled(P::IDC_STANDARD_NOTE), c.standardOn);
        EXPECT_EQ(Enabled(P::IDC_DETAILED), c.detailedOn);
        EXPECT_EQ(Enabled(P::IDC_DETAILED_NOTE), c.detailedOn);
        EXPECT_EQ(Checked(P::IDC_STANDARD), c.standardChecked);
        EXPECT_EQ(Checked(P::IDC_DETAILED), c.detailedChecked);
        EXPECT_FALSE(Enabled(P::IDC_APPLY));
        for (const auto& [radio, other, apply] : {std::tuple{P::IDC_STANDARD, P::IDC_DETAILED, c.applyAfterStandard},
                                                  std::tuple{P::IDC_DETAILED, P::IDC_STANDARD, c.applyAfterDetailed}}) {
            if (apply < 0)
                continue;
            Click(radio);
            EXPECT_TRUE(Checked(radio));
            EXPECT_FALSE(Checked(other));
            EXPECT_EQ(Enabled(P::IDC_APPLY), apply == 1) << radio;
        }
    }
}

TEST_F(AddressPageTest, BrowsingFolders)
{
    ASSERT_TRUE(MakeAddressDb(m_cd + "/Adr_S.dbs", 3));
    const std::string cd2 = m_dir / "cd2", hd2 = m_dir / "hd2", korean = m_dir / "한국";
    for (const std::string& folder : {cd2, hd2, korean})
        mkdir(folder.c_str(), 0777);
    ASSERT_TRUE(MakeAddressDb(cd2 + "/Adr_L.dbs", 4));
    ASSERT_TRUE(MakeAddressDb(hd2 + "/Address.dbs", 4));
    WritePaths(m_cd, m_hd);
    Open();

    // The destination to the source folder: refused, the old one kept.
    std::string startFolder;
    m_modals.AnswerCustom([&](wxDialog* dlg) {
        auto* dir = dynamic_cast<wxDirDialog*>(dlg);
        startFolder = dir->GetPath().utf8_string();
        dir->SetPath(wxString::FromUTF8(m_cd));
        return wxID_OK;
    });
    m_modals.AnswerMessage(wxID_OK);
    Click(P::IDC_BROWSE_DEST);
    ASSERT_EQ(m_modals.shown().size(), 2u);
    EXPECT_EQ(m_modals.shown()[0].kind, "dir");
    EXPECT_EQ(m_modals.shown()[0].text, LoadResStringUtf8(2021));
    EXPECT_EQ(startFolder, m_hd + "/");
    EXPECT_EQ(m_modals.shown()[1].text, "インストール元フォルダとインストール先フォルダを同じにすることはできません。");
    EXPECT_EQ(m_modals.shown()[1].style & (wxOK | wxYES_NO), wxOK);
    EXPECT_EQ(EditText(P::IDC_DEST_DIR), m_hd + "/");

    // Cancelled, then a name with no code page 932 form: nothing changes.
    m_modals.clear();
    m_modals.AnswerDir("");
    m_modals.AnswerDir(korean);
    m_modals.AnswerMessage(wxID_OK);
    Click(P::IDC_BROWSE_SOURCE);
    Click(P::IDC_BROWSE_SOURCE);
    ASSERT_EQ(m_modals.shown().size(), 3u);
    EXPECT_EQ(m_modals.shown()[0].text, LoadResStringUtf8(2022));
    EXPECT_EQ(m_modals.messages(), Names{"選択したフォルダの名前には、このプログラムで扱えない文字が含まれています。\n"
                                         "名前を変えるか、別のフォルダを選択してください。"});
    EXPECT_EQ(EditText(P::IDC_SOURCE_DIR), m_cd + "/");

    // A new source, then a destination holding detailed data: the choices
    // and the installed check follow, and the new folders are saved.
    m_modals.AnswerDir(cd2);
    Click(P::IDC_BROWSE_SOURCE);
    EXPECT_EQ(EditText(P::IDC_SOURCE_DIR), cd2 + "/");
    EXPECT_FALSE(Enabled(P::IDC_STANDARD));
    EXPECT_TRUE(Enabled(P::IDC_DETAILED));
    m_modals.AnswerDir(hd2);
    Click(P::IDC_BROWSE_DEST);
    EXPECT_EQ(EditText(P::IDC_DEST_DIR), hd2 + "/");
    EXPECT_TRUE(Checked(P::IDC_DETAILED));
    EXPECT_FALSE(Enabled(P::IDC_APPLY));
    m_page->SaveDataPaths();
    EXPECT_EQ(RegistryLine("DataPath_0"), Value("DataPath_0", cd2 + "/Adr_L.dbs"));
    EXPECT_EQ(RegistryLine("DataPath_1"), Value("DataPath_1", hd2 + "/Address.dbs"));
}

TEST_F(AddressPageTest, SampleCdStandardThenDetailedIntoAFolderTheCopyMakes)
{
    const std::string generator = std::string(PELLVANE_BINARY_DIR) + "/bin/make-sample-cd";
    if (access(generator.c_str(), X_OK) == 0) {
        ASSERT_EQ(std::system(("'" + generator + "' '" + m_cd + "' >/dev/null").c_str()), 0);
        unlink((m_cd + "/Guide.dbs").c_str());
    } else {
        ASSERT_TRUE(MakeAddressDb(m_cd + "/Adr_S.dbs", 3));
        ASSERT_TRUE(MakeAddressDb(m_cd + "/Adr_L.dbs", 4));
    }
    const std::string dest = m_hd + "/Tessra4/LocalData";
    WritePaths(m_cd, dest);
    const DiskFreeCalls previous = SetDiskFreeCalls({&FakeFreeSpace, nullptr});
    Open();
    const struct {
        int radio;
        const char* file;
        int spare; // free bytes beyond the file's size
        Names asked;
    } steps[] = {
        {P::IDC_STANDARD, "Adr_S.dbs", 1, {kAsk2042}},
        // Exactly the size free asks 2020; Yes replaces the installed file,
        // read-only as it is.
        {P::IDC_DETAILED, "Adr_L.dbs", 0, {kAsk2042, LoadResStringUtf8(2020)}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.file);
        g_freeBytes = ReadFileBytes(m_cd + "/" + step.file).size() + step.spare;
        chmod((dest + "/Address.dbs").c_str(), 0444);
        m_main->m_enables.clear();
        m_main->m_raised = 0;
        Click(step.radio);
        EXPECT_EQ(Apply(std::vector<int>(step.asked.size(), wxID_YES)), step.asked);
        EXPECT_EQ(m_modals.shown()[0].style & (wxYES_NO | wxICON_INFORMATION), wxYES_NO | wxICON_INFORMATION);
        EXPECT_EQ(m_modals.shown().back().style & (wxYES_NO | wxICON_INFORMATION),
                  step.asked.size() == 1 ? wxYES_NO | wxICON_INFORMATION : wxYES_NO);
        EXPECT_TRUE(ReadFileBytes(dest + "/Address.dbs") == ReadFileBytes(m_cd + "/" + step.file));
        EXPECT_EQ(ListDir(dest), Names{"Address.dbs"});
        EXPECT_TRUE(Checked(step.radio));
        EXPECT_FALSE(Enabled(P::IDC_APPLY));
        EXPECT_EQ(m_main->m_enables, (std::vector<bool>{false, true}));
        EXPECT_GE(m_main->m_raised, 1);
    }
    EXPECT_EQ(ListDir(m_cd), (Names{"Adr_L.dbs", "Adr_S.dbs"}));
    SetDiskFreeCalls(previous);
}

TEST_F(AddressPageTest, EveryWayOutLeavesTheInstalledFile)
{
    const std::string detailed = m_cd + "/Adr_L.dbs", installed = m_hd + "/Address.dbs";
    ASSERT_TRUE(MakeAddressDb(m_cd + "/Adr_S.dbs", 3));
    ASSERT_TRUE(MakeAddressDb(detailed, 4, "AddressData", 100'000)); // copied in several steps
    ASSERT_TRUE(MakeAddressDb(installed, 3));
    const std::string before = ReadFileBytes(installed);
    WritePaths(m_cd, m_hd);
    Open();
    Click(P::IDC_DETAILED);
    auto expectUnchanged = [&](bool disabledOnce) {
        EXPECT_TRUE(ReadFileBytes(installed) == before);
        EXPECT_EQ(ListDir(m_hd), Names{"Address.dbs"});
        EXPECT_EQ(m_main->m_enables, (disabledOnce ? std::vector<bool>{false, true} : std::vector<bool>{}));
        EXPECT_TRUE(m_main->IsEnabled());
        EXPECT_TRUE(!disabledOnce || m_main->m_raised > 0);
        EXPECT_EQ(WaitCursorDepth(), 0);
        m_main->m_enables.clear();
        m_main->m_raised = 0;
    };

    // No at 2042, asked with the main dialog disabled and the wait cursor shown.
    bool enabledAtQuestion = true;
    int waitCursorAtQuestion = 0;
    m_modals.AnswerCustom([&](wxDialog*) {
        enabledAtQuestion = m_main->IsEnabled();
        waitCursorAtQuestion = WaitCursorDepth();
        return wxID_NO;
    });
    EXPECT_EQ(Apply({}), Names{kAsk2042});
    EXPECT_FALSE(enabledAtQuestion);
    EXPECT_EQ(waitCursorAtQuestion, 1);
    expectUnchanged(true);

    // Exactly the size free: No at 2020.
    const DiskFreeCalls previous = SetDiskFreeCalls({&FakeFreeSpace, nullptr});
    g_freeBytes = ReadFileBytes(detailed).size();
    EXPECT_EQ(Apply({wxID_YES, wxID_NO}), (Names{kAsk2042, LoadResStringUtf8(2020)}));
    SetDiskFreeCalls(previous);
    expectUnchanged(true);

    // The installed file held by another process: 2039 at once, the main
    // dialog never disabled.
    int held[2], release[2];
    ASSERT_TRUE(pipe(held) == 0 && pipe(release) == 0);
    const pid_t pid = fork();
    if (pid == 0) {
        SetMessageBoxHandler([](const std::string&, UINT) { return IDOK; });
        CSearchDb db;
        CDaoDatabase* pDb = db.OpenDatabase(FromUtf8(installed), FALSE);
        (void)!write(held[1], pDb->IsOpen() ? "1" : "0", 1);
        close(release[1]);
        char c;
        while (read(release[0], &c, 1) > 0) {
        }
        _exit(0);
    }
    close(held[1]);
    close(release[0]);
    char ok = 0;
    ASSERT_EQ(read(held[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    EXPECT_EQ(Apply({wxID_OK}), Names{ToUtf8(FormatResString(2039, FromUtf8(installed)))});
    close(release[1]);
    waitpid(pid, nullptr, 0);
    expectUnchanged(false);

    // Cancelled in the copy's progress window: no message, and the page
    // shows again what is installed.
    std::string title;
    const ProgressWindowHook previousHook = SetProgressWindowHook([&](wxProgressDialog& window) {
        title = window.GetTitle().utf8_string();
        wxWindow* cancel = window.FindWindow(wxID_CANCEL);
        ASSERT_NE(cancel, nullptr);
        wxCommandEvent event(wxEVT_BUTTON, wxID_CANCEL);
        event.SetEventObject(cancel);
        cancel->ProcessWindowEvent(event);
    });
    EXPECT_EQ(Apply({wxID_YES}), Names{kAsk2042});
    SetProgressWindowHook(previousHook);
    EXPECT_EQ(title, "データをインストールしています...");
    expectUnchanged(true);
    EXPECT_TRUE(Checked(P::IDC_STANDARD));
    EXPECT_FALSE(Enabled(P::IDC_APPLY));

    // The detailed file gone from the CD-ROM since the page looked.
    Click(P::IDC_DETAILED);
    unlink(detailed.c_str());
    EXPECT_EQ(Apply({wxID_YES, wxID_OK}), (Names{kAsk2042, "コピー元のファイル \"" + detailed + "\" が見つからないか、読み取れません。\n"
                                                            "CD-ROMが入っているか、インストール元のフォルダを確認してください。"}));
    expectUnchanged(true);
}

} // namespace
