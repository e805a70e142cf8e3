#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/dirdlg.h>
#include <wx/progdlg.h>
#include <wx/radiobut.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>
#include <wx/tooltip.h>

#include "address/address_page.h"
#include "address/copy_progress.h"
#include "address/file_copy.h"
#include "address_fixture.h"
#include "gui_support/gui_test_support.h"
#include "platform/cp932.h"
#include "platform/message_box.h"
#include "platform/wait_cursor.h"
#include "res/strings.h"
#include "searchdb/search_db.h"
#include "services/free_space.h"
#include "support/test_support.h"

namespace {

using address_fixture::MakeAddressDb;

const char kAddressKeyLine[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\AddressDirectory]";

// The main dialog as the page sees it: it records being disabled, enabled
// and brought to the front, and it has a cancel button, so that Esc would
// end it if it got there.
class MainDialogStandIn : public wxDialog {
public:
    MainDialogStandIn() : wxDialog(nullptr, wxID_ANY, "Pellvane", wxDefaultPosition, wxSize(520, 420))
    {
        m_cancel = new wxButton(this, wxID_CANCEL, "Cancel", wxPoint(400, 360));
    }
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
    wxButton* m_cancel;
};

std::string Message(UINT id, const std::string& argUtf8 = "")
{
    std::string t = LoadResStringUtf8(id);
    const size_t at = t.find("%s");
    if (at != std::string::npos)
        t.replace(at, 2, argUtf8);
    return t;
}

class AddressPageTest : public ::testing::Test {
protected:
    AddressPageTest() : m_cd(m_dir / "cd"), m_hd(m_dir / "hd")
    {
        mkdir(m_cd.c_str(), 0777);
        mkdir(m_hd.c_str(), 0777);
    }
    ~AddressPageTest() override
    {
        if (m_main)
            m_main->Destroy();
        PumpEvents();
    }

    // The address key of the registry file, one "Name"=value line each.
    void WriteRegistry(const std::vector<std::string>& lines)
    {
        std::string text = "Windows Registry Editor Version 5.00\n\n" + std::string(kAddressKeyLine) + "\n";
        for (const std::string& line : lines)
            text += line + "\n";
        WriteFileBytes(m_registry.file("HKEY_LOCAL_MACHINE"), text);
    }
    std::vector<std::string> Paths(const std::string& cdFolder, const std::string& hdFolder)
    {
        std::vector<std::string> lines;
        if (!cdFolder.empty())
            lines.push_back("\"DataPath_0\"=\"" + cdFolder + "/Adr_L.dbs\"");
        lines.push_back("\"DataPath_1\"=\"" + hdFolder + "/Address.dbs\"");
        return lines;
    }
    // The value as the registry file holds it ("<none>" when absent).
    std::string RegistryLine(const std::string& name)
    {
        const std::string text = ReadFileBytes(m_registry.file("HKEY_LOCAL_MACHINE"));
        const std::string key = "\"" + name + "\"=";
        const size_t at = text.find(key);
        if (at == std::string::npos)
            return "<none>";
        const size_t end = text.find('\n', at);
        return text.substr(at + key.size(), end - at - key.size());
    }

    void Open()
    {
        m_main = new MainDialogStandIn;
        m_main->Show();
        m_page = new CAddressPage;
        ASSERT_TRUE(m_page->Create(m_main));
        m_page->SetMainDialog(m_main);
        m_page->Show();
        PumpEvents();
    }

    wxRadioButton* Radio(int id) { return static_cast<wxRadioButton*>(m_page->FindWindow(id)); }
    wxWindow* Control(int id) { return m_page->FindWindow(id); }
    std::string EditText(int id) { return static_cast<wxTextCtrl*>(Control(id))->GetValue().utf8_string(); }
    bool Checked(int id) { return Radio(id)->GetValue(); }
    bool Enabled(int id) { return Control(id)->IsThisEnabled(); }

    // A click as the user makes it: only on an enabled control.
    void Click(int id)
    {
        wxWindow* w = Control(id);
        ASSERT_TRUE(w->IsEnabled()) << "control " << id << " is disabled";
        if (auto* radio = wxDynamicCast(w, wxRadioButton)) {
            radio->SetValue(true);
            wxCommandEvent event(wxEVT_RADIOBUTTON, id);
            event.SetEventObject(radio);
            event.SetInt(1);
            radio->ProcessWindowEvent(event);
        } else {
            wxCommandEvent event(wxEVT_BUTTON, id);
            event.SetEventObject(w);
            w->ProcessWindowEvent(event);
        }
        PumpEvents();
    }

    ScratchRegistry m_registry;
    TempDir m_dir;
    std::string m_cd;
    std::string m_hd;
    MainDialogStandIn* m_main = nullptr;
    CAddressPage* m_page = nullptr;
};

TEST_F(AddressPageTest, TemplateControlsTextsAndTips)
{
    WriteRegistry(Paths(m_cd, m_hd));
    ModalRecorder modals;
    Open();

    const struct {
        int id;
        const char* label;
        int tip;
    } controls[] = {
        {CAddressPage::IDC_SOURCE_DIR, nullptr, 5100},
        {CAddressPage::IDC_DEST_DIR, nullptr, 5090},
        {CAddressPage::IDC_BROWSE_SOURCE, "参照（&B)...", 5040},
        {CAddressPage::IDC_BROWSE_DEST, "参照（&R)...", 5030},
        {CAddressPage::IDC_APPLY, "適用", 5132},
        {CAddressPage::IDC_STANDARD, "標準データ [約43MB] ：", 5131},
        {CAddressPage::IDC_DETAILED, "詳細データ [約195MB] ：", 5131},
        {CAddressPage::IDC_STANDARD_NOTE, "全国の町丁目までの住所データです。\n例） 東京都 目黒区 下目黒1（丁目）まで検索", 0},
        {CAddressPage::IDC_DETAILED_NOTE,
         "標準データに加えて、タウンマップ収録範囲の番地が含まれたデータです。\n例） 東京都 目黒区 下目黒1-1（番地）まで検索", 0},
    };
    for (const auto& c : controls) {
        wxWindow* w = Control(c.id);
        ASSERT_NE(w, nullptr) << c.id;
        if (c.label) {
            EXPECT_EQ(w->GetLabel().utf8_string(), c.label) << c.id;
        }
        if (c.tip) {
            ASSERT_NE(w->GetToolTip(), nullptr) << c.id;
            EXPECT_EQ(w->GetToolTip()->GetTip().utf8_string(), LoadResStringUtf8(c.tip)) << c.id;
        }
    }
    for (int id : {CAddressPage::IDC_SOURCE_DIR, CAddressPage::IDC_DEST_DIR}) {
        auto* edit = static_cast<wxTextCtrl*>(Control(id));
        EXPECT_FALSE(edit->IsEditable()) << id;
        EXPECT_TRUE(edit->IsEnabled()) << id;
    }
    EXPECT_TRUE(Enabled(CAddressPage::IDC_BROWSE_SOURCE));
    EXPECT_TRUE(Enabled(CAddressPage::IDC_BROWSE_DEST));
    // Template 149 is 254 x 154 dialog units, the buttons at their places.
    EXPECT_EQ(m_page->GetSize(), m_page->ConvertDialogToPixels(wxSize(254, 154)));
    EXPECT_EQ(Control(CAddressPage::IDC_APPLY)->GetPosition(), m_page->ConvertDialogToPixels(wxPoint(197, 130)));
    EXPECT_EQ(Control(CAddressPage::IDC_APPLY)->GetSize(), m_page->ConvertDialogToPixels(wxSize(47, 14)));
}

TEST_F(AddressPageTest, SizeLabelsFromTheRegistry)
{
    const struct {
        std::vector<std::string> values;
        const char* detailed;
        const char* standard;
    } cases[] = {
        {{"\"LFileSize\"=dword:00000000"}, "詳細データ [約195MB] ：", "標準データ [約43MB] ："},
        {{}, "詳細データ [約195MB] ：", "標準データ [約43MB] ："},
        {{"\"LFileSize\"=dword:ffffffff", "\"SFileSize\"=dword:80000000"}, "詳細データ [約195MB] ：",
         "標準データ [約43MB] ："},
        {{"\"SFileSize\"=dword:000000fa"}, "詳細データ [約195MB] ：", "標準データ [約250MB] ："},
        {{"\"LFileSize\"=dword:0000012c", "\"SFileSize\"=dword:00000001"}, "詳細データ [約300MB] ：",
         "標準データ [約1MB] ："},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines = Paths(m_cd, m_hd);
        lines.insert(lines.end(), c.values.begin(), c.values.end());
        WriteRegistry(lines);
        ModalRecorder modals;
        Open();
        EXPECT_EQ(Radio(CAddressPage::IDC_DETAILED)->GetLabel().utf8_string(), c.detailed);
        EXPECT_EQ(Radio(CAddressPage::IDC_STANDARD)->GetLabel().utf8_string(), c.standard);
        m_main->Destroy();
        m_main = nullptr;
    }
}

TEST_F(AddressPageTest, FoldersFromTheRegistry)
{
    const std::string jp = m_dir / "地図";
    const struct {
        std::vector<std::string> values;
        std::string source;
        std::string dest;
    } cases[] = {
        {{"\"DataPath_0\"=\"" + m_cd + "/Adr_L.dbs\"", "\"DataPath_1\"=\"" + m_hd + "/Address.dbs\""}, m_cd + "/",
         m_hd + "/"},
        {{"\"DataPath_0\"=\"" + jp + "/Adr_S.dbs\"", "\"DataPath_1\"=\"" + jp + "/Address.dbs\""}, jp + "/", jp + "/"},
        // A value naming a folder, not a file, is shown as it stands.
        {{"\"DataPath_1\"=\"" + m_hd + "\""}, "", m_hd},
        {{"\"DataPath_1\"=\"" + m_hd + "/Tessra.4/\""}, "", m_hd + "/Tessra.4/"},
    };
    for (const auto& c : cases) {
        WriteRegistry(c.values);
        ModalRecorder modals;
        Open();
        EXPECT_EQ(EditText(CAddressPage::IDC_SOURCE_DIR), c.source);
        EXPECT_EQ(EditText(CAddressPage::IDC_DEST_DIR), c.dest);
        m_main->Destroy();
        m_main = nullptr;
    }
}

TEST_F(AddressPageTest, ChoicesFollowTheLevelsOfBothFolders)
{
    struct Case {
        const char* name;
        int sourceStandard, sourceDetailed, installed; // levels; 0 = no file
        bool standardOn, detailedOn, standardChecked, detailedChecked;
        // After a click on 1049, then on 1051 (when enabled): the apply button.
        int applyAfterStandard, applyAfterDetailed; // -1 = not clickable
    };
    const Case cases[] = {
        {"CD holds only the standard data", 3, 0, 0, true, false, false, false, 1, -1},
        {"CD holds only the detailed data", 0, 4, 0, false, true, false, false, -1, 1},
        {"standard installed", 3, 4, 3, true, true, true, false, 0, 1},
        {"detailed installed", 3, 4, 4, true, true, false, true, 1, 0},
        {"level 5 installed", 3, 4, 5, true, true, false, false, 1, 1},
        {"nothing on the CD", 0, 0, 3, false, false, true, false, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string cd = dir / "cd", hd = dir / "hd";
        mkdir(cd.c_str(), 0777);
        mkdir(hd.c_str(), 0777);
        if (c.sourceStandard) {
            ASSERT_TRUE(MakeAddressDb(cd + "/Adr_S.dbs", c.sourceStandard));
        }
        if (c.sourceDetailed) {
            ASSERT_TRUE(MakeAddressDb(cd + "/Adr_L.dbs", c.sourceDetailed));
        }
        if (c.installed) {
            ASSERT_TRUE(MakeAddressDb(hd + "/Address.dbs", c.installed));
        }
        WriteRegistry(Paths(cd, hd));
        ModalRecorder modals;
        Open();

        EXPECT_EQ(Enabled(CAddressPage::IDC_STANDARD), c.standardOn);
        EXPECT_EQ(Enabled(CAddressPage::IDC_STANDARD_NOTE), c.standardOn);
        EXPECT_EQ(Enabled(CAddressPage::IDC_DETAILED), c.detailedOn);
        EXPECT_EQ(Enabled(CAddressPage::IDC_DETAILED_NOTE), c.detailedOn);
        EXPECT_EQ(Checked(CAddressPage::IDC_STANDARD), c.standardChecked);
        EXPECT_EQ(Checked(CAddressPage::IDC_DETAILED), c.detailedChecked);
        EXPECT_FALSE(Enabled(CAddressPage::IDC_APPLY));

        if (c.applyAfterStandard >= 0) {
            Click(CAddressPage::IDC_STANDARD);
            EXPECT_TRUE(Checked(CAddressPage::IDC_STANDARD));
            EXPECT_FALSE(Checked(CAddressPage::IDC_DETAILED));
            EXPECT_EQ(Enabled(CAddressPage::IDC_APPLY), c.applyAfterStandard == 1);
        }
        if (c.applyAfterDetailed >= 0) {
            Click(CAddressPage::IDC_DETAILED);
            EXPECT_TRUE(Checked(CAddressPage::IDC_DETAILED));
            EXPECT_FALSE(Checked(CAddressPage::IDC_STANDARD));
            EXPECT_EQ(Enabled(CAddressPage::IDC_APPLY), c.applyAfterDetailed == 1);
        }
        EXPECT_TRUE(modals.shown().empty());
        m_main->Destroy();
        m_main = nullptr;
    }
}

TEST_F(AddressPageTest, SaveDataPathsWritesBothValues)
{
    const struct {
        std::vector<std::string> values;
        std::string dataPath1;
        std::string dataPath0;
    } cases[] = {
        {Paths(m_cd, m_hd), m_hd + "/Address.dbs", m_cd + "/Adr_L.dbs"},
        // Without a CD-ROM folder the value is the separator and the name.
        {Paths("", m_hd), m_hd + "/Address.dbs", "/Adr_L.dbs"},
        // The detailed file's name whichever data is installed; the names
        // from the registry.
        {{"\"DataPath_0\"=\"" + m_cd + "/Adr_S.dbs\"", "\"DataPath_1\"=\"" + m_hd + "/地図.dbs\"",
          "\"Address_File\"=\"地図.dbs\"", "\"Address_L_File\"=\"詳細.dbs\""},
         m_hd + "/地図.dbs",
         m_cd + "/詳細.dbs"},
    };
    for (const auto& c : cases) {
        WriteRegistry(c.values);
        ModalRecorder modals;
        Open();
        m_page->SaveDataPaths();
        EXPECT_EQ(RegistryLine("DataPath_1"), "\"" + c.dataPath1 + "\"");
        EXPECT_EQ(RegistryLine("DataPath_0"), "\"" + c.dataPath0 + "\"");
        m_main->Destroy();
        m_main = nullptr;
    }
}

TEST_F(AddressPageTest, BrowsingFolders)
{
    ASSERT_TRUE(MakeAddressDb(m_cd + "/Adr_S.dbs", 3));
    const std::string cd2 = m_dir / "cd2";
    mkdir(cd2.c_str(), 0777);
    ASSERT_TRUE(MakeAddressDb(cd2 + "/Adr_L.dbs", 4));
    const std::string korean = m_dir / "한국";
    mkdir(korean.c_str(), 0777);
    WriteRegistry(Paths(m_cd, m_hd));
    ModalRecorder modals;
    Open();
    ASSERT_TRUE(Enabled(CAddressPage::IDC_STANDARD));
    ASSERT_FALSE(Enabled(CAddressPage::IDC_DETAILED));

    // The destination to the source folder: refused, the old one kept.
    std::string startFolder;
    modals.AnswerCustom([&](wxDialog* dlg) {
        auto* dir = dynamic_cast<wxDirDialog*>(dlg);
        startFolder = dir ? dir->GetPath().utf8_string() : "<not a folder dialog>";
        dir->SetPath(wxString::FromUTF8(m_cd));
        return wxID_OK;
    });
    modals.AnswerMessage(wxID_OK);
    Click(CAddressPage::IDC_BROWSE_DEST);
    ASSERT_EQ(modals.shown().size(), 2u);
    EXPECT_EQ(modals.shown()[0].kind, "dir");
    EXPECT_EQ(modals.shown()[0].text, LoadResStringUtf8(2021));
    EXPECT_EQ(startFolder, m_hd + "/");
    EXPECT_EQ(modals.shown()[1].kind, "message");
    EXPECT_EQ(modals.shown()[1].text, "インストール元フォルダとインストール先フォルダを同じにすることはできません。");
    EXPECT_TRUE(modals.shown()[1].style & wxOK);
    EXPECT_FALSE(modals.shown()[1].style & wxYES_NO);
    EXPECT_EQ(EditText(CAddressPage::IDC_DEST_DIR), m_hd + "/");

    // Cancelled: nothing changes.
    modals.clear();
    modals.AnswerDir("");
    Click(CAddressPage::IDC_BROWSE_SOURCE);
    ASSERT_EQ(modals.shown().size(), 1u);
    EXPECT_EQ(modals.shown()[0].text, LoadResStringUtf8(2022));
    EXPECT_EQ(EditText(CAddressPage::IDC_SOURCE_DIR), m_cd + "/");

    // A name with no code page 932 form: refused with a message.
    modals.clear();
    modals.AnswerDir(korean);
    modals.AnswerMessage(wxID_OK);
    Click(CAddressPage::IDC_BROWSE_SOURCE);
    ASSERT_EQ(modals.shown().size(), 2u);
    EXPECT_EQ(modals.shown()[1].text, "選択したフォルダの名前には、このプログラムで扱えない文字が含まれています。\n"
                                      "名前を変えるか、別のフォルダを選択してください。");
    EXPECT_EQ(EditText(CAddressPage::IDC_SOURCE_DIR), m_cd + "/");

    // A new source: the choices follow it.
    modals.clear();
    modals.AnswerDir(cd2);
    Click(CAddressPage::IDC_BROWSE_SOURCE);
    EXPECT_EQ(modals.shown().size(), 1u);
    EXPECT_EQ(EditText(CAddressPage::IDC_SOURCE_DIR), cd2 + "/");
    EXPECT_FALSE(Enabled(CAddressPage::IDC_STANDARD));
    EXPECT_TRUE(Enabled(CAddressPage::IDC_DETAILED));

    // A new destination holding detailed data: it shows as installed.
    const std::string hd2 = m_dir / "hd2";
    mkdir(hd2.c_str(), 0777);
    ASSERT_TRUE(MakeAddressDb(hd2 + "/Address.dbs", 4));
    modals.clear();
    modals.AnswerDir(hd2);
    Click(CAddressPage::IDC_BROWSE_DEST);
    EXPECT_EQ(EditText(CAddressPage::IDC_DEST_DIR), hd2 + "/");
    EXPECT_TRUE(Checked(CAddressPage::IDC_DETAILED));
    EXPECT_FALSE(Enabled(CAddressPage::IDC_APPLY));

    m_page->SaveDataPaths();
    EXPECT_EQ(RegistryLine("DataPath_0"), "\"" + cd2 + "/Adr_L.dbs\"");
    EXPECT_EQ(RegistryLine("DataPath_1"), "\"" + hd2 + "/Address.dbs\"");
}

TEST_F(AddressPageTest, EscapeOnThePageDoesNotEndTheMainDialog)
{
    WriteRegistry(Paths(m_cd, m_hd));
    ModalRecorder modals;
    Open();
    auto escapeFrom = [](wxWindow* w) {
        wxKeyEvent event(wxEVT_CHAR_HOOK);
        event.m_keyCode = WXK_ESCAPE;
        event.SetEventObject(w);
        w->HandleWindowEvent(event);
        PumpEvents();
    };
    // On one of the dialog's own controls Esc reaches the dialog ...
    escapeFrom(m_main->m_cancel);
    EXPECT_FALSE(m_main->IsShown());
    m_main->Show();
    // ... on the page's controls it does not.
    escapeFrom(Control(CAddressPage::IDC_DEST_DIR));
    escapeFrom(Control(CAddressPage::IDC_BROWSE_SOURCE));
    EXPECT_TRUE(m_main->IsShown());
}

// Installation.

class AddressInstallTest : public AddressPageTest {
protected:
    void MakeSampleCd()
    {
        ASSERT_TRUE(MakeAddressDb(m_cd + "/Adr_S.dbs", 3));
        ASSERT_TRUE(MakeAddressDb(m_cd + "/Adr_L.dbs", 4, "AddressData", 100'000));
    }
    void ExpectAsked2042(const ModalRecorder::Shown& shown)
    {
        EXPECT_EQ(shown.kind, "message");
        EXPECT_EQ(shown.text, "データをHDにインストールします。\nファイルサイズが大きいため\nインストールに時間がかかる恐れがあります。\n\n"
                              "データのインストールを行いますか？");
        EXPECT_TRUE(shown.style & wxYES_NO);
        EXPECT_TRUE(shown.style & wxICON_INFORMATION);
    }
};

TEST_F(AddressInstallTest, StandardThenDetailedOnASampleCd)
{
    // The project's sample CD-ROM when its generator is built, else files
    // of the same kinds made here.
    const std::string generator = std::string(PELLVANE_BINARY_DIR) + "/bin/make-sample-cd";
    if (access(generator.c_str(), X_OK) == 0) {
        ASSERT_EQ(std::system(("'" + generator + "' '" + m_cd + "' >/dev/null").c_str()), 0);
        unlink((m_cd + "/Guide.dbs").c_str());
    } else {
        std::printf("note: %s not built; using address files made by the test\n", generator.c_str());
        MakeSampleCd();
    }
    WriteRegistry(Paths(m_cd, m_hd));
    ModalRecorder modals;
    Open();
    EXPECT_FALSE(Enabled(CAddressPage::IDC_APPLY));

    const struct {
        int radio;
        const char* file;
    } steps[] = {{CAddressPage::IDC_STANDARD, "Adr_S.dbs"}, {CAddressPage::IDC_DETAILED, "Adr_L.dbs"}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.file);
        modals.clear();
        m_main->m_enables.clear();
        m_main->m_raised = 0;
        Click(step.radio);
        ASSERT_TRUE(Enabled(CAddressPage::IDC_APPLY));
        modals.AnswerMessage(wxID_YES);
        Click(CAddressPage::IDC_APPLY);

        ASSERT_EQ(modals.shown().size(), 1u);
        ExpectAsked2042(modals.shown()[0]);
        EXPECT_TRUE(ReadFileBytes(m_hd + "/Address.dbs") == ReadFileBytes(m_cd + "/" + step.file));
        EXPECT_EQ(ListDir(m_hd), std::vector<std::string>{"Address.dbs"});
        EXPECT_TRUE(Checked(step.radio));
        EXPECT_FALSE(Enabled(CAddressPage::IDC_APPLY));
        EXPECT_EQ(m_main->m_enables, (std::vector<bool>{false, true}));
        EXPECT_GE(m_main->m_raised, 1);
        EXPECT_TRUE(m_main->IsEnabled());
    }
    EXPECT_EQ(ListDir(m_cd), (std::vector<std::string>{"Adr_L.dbs", "Adr_S.dbs"}));

    m_page->SaveDataPaths();
    EXPECT_EQ(RegistryLine("DataPath_1"), "\"" + m_hd + "/Address.dbs\"");
    EXPECT_EQ(RegistryLine("DataPath_0"), "\"" + m_cd + "/Adr_L.dbs\"");
}

TEST_F(AddressInstallTest, ReadOnlyInstalledFileIsReplacedAndMissingFolderIsMade)
{
    MakeSampleCd();
    const std::string deep = m_hd + "/Tessra4/LocalData";
    const struct {
        std::string dest;
        bool readOnlyInstalled;
    } cases[] = {{m_hd, true}, {deep, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dest);
        if (c.readOnlyInstalled) {
            ASSERT_TRUE(MakeAddressDb(c.dest + "/Address.dbs", 3));
            chmod((c.dest + "/Address.dbs").c_str(), 0444);
        }
        WriteRegistry(Paths(m_cd, c.dest));
        ModalRecorder modals;
        Open();
        Click(CAddressPage::IDC_DETAILED);
        modals.AnswerMessage(wxID_YES);
        Click(CAddressPage::IDC_APPLY);
        EXPECT_EQ(modals.shown().size(), 1u);
        EXPECT_TRUE(ReadFileBytes(c.dest + "/Address.dbs") == ReadFileBytes(m_cd + "/Adr_L.dbs"));
        EXPECT_EQ(ListDir(c.dest), std::vector<std::string>{"Address.dbs"});
        EXPECT_TRUE(Checked(CAddressPage::IDC_DETAILED));
        EXPECT_FALSE(Enabled(CAddressPage::IDC_APPLY));
        m_main->Destroy();
        m_main = nullptr;
    }
}

TEST_F(AddressInstallTest, InstalledFileHeldByAnotherProgram)
{
    MakeSampleCd();
    ASSERT_TRUE(MakeAddressDb(m_hd + "/Address.dbs", 3));
    const std::string before = ReadFileBytes(m_hd + "/Address.dbs");
    WriteRegistry(Paths(m_cd, m_hd));
    ModalRecorder modals;
    Open();
    Click(CAddressPage::IDC_DETAILED);
    ASSERT_TRUE(Enabled(CAddressPage::IDC_APPLY));

    // Another program opens the installed file exclusively and holds it
    // until told to let go.
    int held[2], release[2];
    ASSERT_EQ(pipe(held), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(held[0]);
        close(release[1]);
        SetMessageBoxHandler([](const std::string&, UINT) { return IDOK; });
        CSearchDb db;
        CDaoDatabase* pDb = db.OpenDatabase(FromUtf8(m_hd + "/Address.dbs"), FALSE);
        const char ok = pDb->IsOpen() ? '1' : '0';
        (void)!write(held[1], &ok, 1);
        char c;
        while (read(release[0], &c, 1) > 0) {
        }
        db.CloseDatabase(pDb);
        _exit(0);
    }
    close(held[1]);
    close(release[0]);
    char ok = 0;
    ASSERT_EQ(read(held[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');

    m_main->m_enables.clear();
    modals.AnswerMessage(wxID_OK);
    Click(CAddressPage::IDC_APPLY);

    close(release[1]);
    close(held[0]);
    int status = 0;
    waitpid(pid, &status, 0);

    ASSERT_EQ(modals.shown().size(), 1u);
    EXPECT_EQ(modals.shown()[0].text, Message(2039, m_hd + "/Address.dbs"));
    EXPECT_TRUE(modals.shown()[0].style & wxOK);
    EXPECT_TRUE(m_main->m_enables.empty()) << "the main dialog was disabled";
    EXPECT_EQ(WaitCursorDepth(), 0);
    EXPECT_TRUE(ReadFileBytes(m_hd + "/Address.dbs") == before);
    EXPECT_EQ(ListDir(m_hd), std::vector<std::string>{"Address.dbs"});
}

TEST_F(AddressInstallTest, WaysOutBeforeTheCopyChangeNothing)
{
    MakeSampleCd();
    ASSERT_TRUE(MakeAddressDb(m_hd + "/Address.dbs", 3));
    const std::string before = ReadFileBytes(m_hd + "/Address.dbs");
    WriteRegistry(Paths(m_cd, m_hd));
    ModalRecorder modals;
    Open();
    Click(CAddressPage::IDC_DETAILED);

    // No at 2042, asked with the main dialog disabled and the wait cursor
    // shown; both are undone afterwards.
    bool enabledAtQuestion = true;
    int waitCursorAtQuestion = 0;
    modals.AnswerCustom([&](wxDialog*) {
        enabledAtQuestion = m_main->IsEnabled();
        waitCursorAtQuestion = WaitCursorDepth();
        return wxID_NO;
    });
    Click(CAddressPage::IDC_APPLY);
    ASSERT_EQ(modals.shown().size(), 1u);
    ExpectAsked2042(modals.shown()[0]);
    EXPECT_FALSE(enabledAtQuestion);
    EXPECT_EQ(waitCursorAtQuestion, 1);
    EXPECT_EQ(m_main->m_enables, (std::vector<bool>{false, true}));
    EXPECT_GE(m_main->m_raised, 1);
    EXPECT_TRUE(m_main->IsEnabled());
    EXPECT_EQ(WaitCursorDepth(), 0);

    // The detailed file gone from the CD-ROM since the last update.
    const std::string detailed = ReadFileBytes(m_cd + "/Adr_L.dbs");
    unlink((m_cd + "/Adr_L.dbs").c_str());
    modals.clear();
    modals.AnswerMessage(wxID_YES);
    modals.AnswerMessage(wxID_OK);
    Click(CAddressPage::IDC_APPLY);
    ASSERT_EQ(modals.shown().size(), 2u);
    EXPECT_EQ(modals.shown()[1].text, "コピー元のファイル \"" + m_cd + "/Adr_L.dbs\" が見つからないか、読み取れません。\n"
                                      "CD-ROMが入っているか、インストール元のフォルダを確認してください。");
    WriteFileBytes(m_cd + "/Adr_L.dbs", detailed);

    EXPECT_TRUE(ReadFileBytes(m_hd + "/Address.dbs") == before);
    EXPECT_EQ(ListDir(m_hd), std::vector<std::string>{"Address.dbs"});
    EXPECT_TRUE(Checked(CAddressPage::IDC_DETAILED));
    EXPECT_TRUE(m_main->IsEnabled());
}

// The destination volume's free space as the test sets it.
std::uint64_t g_freeBytes = 0;
BOOL FakeFreeSpace(LPCSTR, std::uint64_t* toCaller, std::uint64_t* total, std::uint64_t* totalFree)
{
    *toCaller = *totalFree = g_freeBytes;
    *total = g_freeBytes * 2;
    return TRUE;
}

TEST_F(AddressInstallTest, LowSpaceWarningAtExactlyTheSize)
{
    MakeSampleCd();
    ASSERT_TRUE(MakeAddressDb(m_hd + "/Address.dbs", 3));
    const std::string before = ReadFileBytes(m_hd + "/Address.dbs");
    const std::uint64_t size = ReadFileBytes(m_cd + "/Adr_L.dbs").size();
    WriteRegistry(Paths(m_cd, m_hd));
    const DiskFreeCalls previous = SetDiskFreeCalls({&FakeFreeSpace, nullptr});
    ModalRecorder modals;
    Open();
    Click(CAddressPage::IDC_DETAILED);

    // Exactly the size: asked, and No leaves everything as it was.
    g_freeBytes = size;
    modals.AnswerMessage(wxID_YES);
    modals.AnswerMessage(wxID_NO);
    Click(CAddressPage::IDC_APPLY);
    ASSERT_EQ(modals.shown().size(), 2u);
    EXPECT_EQ(modals.shown()[1].text, LoadResStringUtf8(2020));
    EXPECT_TRUE(modals.shown()[1].style & wxYES_NO);
    EXPECT_FALSE(modals.shown()[1].style & wxICON_INFORMATION);
    EXPECT_TRUE(ReadFileBytes(m_hd + "/Address.dbs") == before);
    EXPECT_TRUE(m_main->IsEnabled());
    EXPECT_TRUE(Enabled(CAddressPage::IDC_APPLY));

    // Yes at 2020 goes on with the copy.
    modals.clear();
    modals.AnswerMessage(wxID_YES);
    modals.AnswerMessage(wxID_YES);
    Click(CAddressPage::IDC_APPLY);
    EXPECT_EQ(modals.shown().size(), 2u);
    EXPECT_TRUE(ReadFileBytes(m_hd + "/Address.dbs") == ReadFileBytes(m_cd + "/Adr_L.dbs"));

    // One byte more: no question.
    Click(CAddressPage::IDC_STANDARD);
    g_freeBytes = ReadFileBytes(m_cd + "/Adr_S.dbs").size() + 1;
    modals.clear();
    modals.AnswerMessage(wxID_YES);
    Click(CAddressPage::IDC_APPLY);
    EXPECT_EQ(modals.shown().size(), 1u);
    EXPECT_TRUE(ReadFileBytes(m_hd + "/Address.dbs") == ReadFileBytes(m_cd + "/Adr_S.dbs"));
    EXPECT_TRUE(Checked(CAddressPage::IDC_STANDARD));

    SetDiskFreeCalls(previous);
}

TEST_F(AddressInstallTest, CopyCancelledInItsProgressWindow)
{
    MakeSampleCd();
    ASSERT_TRUE(MakeAddressDb(m_hd + "/Address.dbs", 3));
    const std::string before = ReadFileBytes(m_hd + "/Address.dbs");
    WriteRegistry(Paths(m_cd, m_hd));
    ModalRecorder modals;
    Open();
    Click(CAddressPage::IDC_DETAILED);

    // The user presses the window's cancel button as soon as it shows.
    std::string title;
    const ProgressWindowHook previous = SetProgressWindowHook([&](wxProgressDialog& window) {
        title = window.GetTitle().utf8_string();
        if (wxWindow* cancel = window.FindWindow(wxID_CANCEL)) {
            wxCommandEvent event(wxEVT_BUTTON, wxID_CANCEL);
            event.SetEventObject(cancel);
            cancel->ProcessWindowEvent(event);
        }
    });
    modals.AnswerMessage(wxID_YES);
    Click(CAddressPage::IDC_APPLY);
    SetProgressWindowHook(previous);

    EXPECT_EQ(title, "データをインストールしています...");
    EXPECT_EQ(modals.shown().size(), 1u); // 2042 only: a cancel is not an error
    EXPECT_TRUE(ReadFileBytes(m_hd + "/Address.dbs") == before);
    EXPECT_EQ(ListDir(m_hd), std::vector<std::string>{"Address.dbs"});
    // The page shows again what is installed.
    EXPECT_TRUE(Checked(CAddressPage::IDC_STANDARD));
    EXPECT_FALSE(Enabled(CAddressPage::IDC_APPLY));
    EXPECT_EQ(m_main->m_enables, (std::vector<bool>{false, true}));
}

TEST_F(AddressInstallTest, CopyFailureIsReported)
{
    MakeSampleCd();
    WriteFileBytes(m_hd + "/blocker", "a file where the folder should be");
    WriteRegistry(Paths(m_cd, m_hd + "/blocker/LocalData"));
    ModalRecorder modals;
    Open();
    Click(CAddressPage::IDC_STANDARD);
    modals.AnswerMessage(wxID_YES);
    modals.AnswerMessage(wxID_OK);
    Click(CAddressPage::IDC_APPLY);
    ASSERT_EQ(modals.shown().size(), 2u);
    EXPECT_EQ(modals.shown()[1].text, "インストール先のフォルダ \"" + m_hd + "/blocker/LocalData/\" を作成できませんでした。\n"
                                      "パスの途中にフォルダではないものがあります。\n\nインストール済みのデータは変更されていません。");
    EXPECT_EQ(ListDir(m_hd), std::vector<std::string>{"blocker"});
    EXPECT_TRUE(m_main->IsEnabled());
    EXPECT_FALSE(Checked(CAddressPage::IDC_STANDARD));
    EXPECT_FALSE(Enabled(CAddressPage::IDC_APPLY));
}

} // namespace
