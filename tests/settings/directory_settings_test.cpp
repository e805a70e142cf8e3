#include "settings/directory_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "platform/cp932.h"
#include "sample_host_fixture.h"
#include "support/test_support.h"

namespace {

const std::string kHeader = "Windows Registry Editor Version 5.00\n\n";
const char kSections[] = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\";

class DirectorySettingsTest : public ::testing::Test {
protected:
    void WriteMachineFile(const std::string& body) { WriteFileBytes(registry.file("HKEY_LOCAL_MACHINE"), kHeader + body); }

    ScratchRegistry registry;
    MessageRecorder messages;
    SampleHost host;
};

// Empty registry: every default, nothing created. Recorded values are read as
// they stand, and a recorded hard-disk path never asks the host.
TEST_F(DirectorySettingsTest, GettersGiveTheirDefaultsThenWhatTheHostRecorded)
{
    auto number = [](DWORD (*get)()) { return [get] { return std::to_string(get()); }; };
    const std::tuple<std::function<std::string()>, const char*, const char*> getters[] = { // getter, empty, recorded
        {GetAddressDetailedFile, "Adr_L.dbs", "詳細.dbs"}, {GetAddressStandardFile, "Adr_S.dbs", "標準.dbs"},
        {GetAddressFile, "Address.dbs", "住所.dbs"}, {GetAddressCdPath, "", "/media/cdrom/住所/Adr_L.dbs"},
        {GetGuideFile, "Guide.dbs", "施設.dbs"}, {GetGuideCdPath, "", "/media/cdrom/Guide.dbs"},
        {number(GetAddressDetailedSize), "0", "195"}, {number(GetAddressStandardSize), "0", "43"},
        {number(GetCurrentData), "0", "2"}, {[] { return GetAddressHdPath("x"); }, nullptr, "/srv/表/住所.dbs"},
        {[] { return GetGuideHdPath("x"); }, nullptr, "/srv/表/施設.dbs"},
    };
    for (const auto& [get, empty, recorded] : getters)
        EXPECT_EQ(empty ? get() : "", empty ? empty : "") << recorded;
    EXPECT_FALSE(PathExists(registry.file("HKEY_LOCAL_MACHINE")));
    WriteMachineFile(std::string(kSections) + "AddressDirectory]\n\"CurrentData\"=dword:00000001\n");
    EXPECT_EQ(GetCurrentData(), 0u) << "read from the guide key only";

    SampleHost::Register();
    WriteMachineFile(std::string(kSections) + "AddressDirectory]\n"
                     "\"LFileSize\"=dword:000000c3\n\"SFileSize\"=dword:0000002b\n\"CurrentData\"=dword:00000001\n"
                     "\"Address_L_File\"=\"詳細.dbs\"\n\"Address_S_File\"=\"標準.dbs\"\n\"Address_File\"=\"住所.dbs\"\n"
                     "\"DataPath_0\"=\"/media/cdrom/住所/Adr_L.dbs\"\n\"DataPath_1\"=\"/srv/表/住所.dbs\"\n\n" +
                     kSections + "GuideDirectory]\n\"Guide_File\"=\"施設.dbs\"\n\"DataPath_0\"=\"/media/cdrom/Guide.dbs\"\n"
                     "\"DataPath_1\"=\"/srv/表/施設.dbs\"\n\"CurrentData\"=dword:00000002\n");
    for (const auto& [get, empty, recorded] : getters)
        EXPECT_EQ(get(), FromUtf8(recorded)) << recorded;
    EXPECT_TRUE(host.TakeCalls().empty());
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(DirectorySettingsTest, FirstSetterCreatesTheWholeKeyPathAndEachWritesItsValue)
{
    EXPECT_EQ(SetGuideHdPath(FromUtf8("/データ/Guide.dbs").c_str()), TRUE);
    EXPECT_EQ(SetGuideCdPath("/cdrom/Guide.dbs"), TRUE);
    EXPECT_EQ(SetAddressHdPath("/hd/Address.dbs"), TRUE);
    EXPECT_EQ(SetAddressCdPath("/cdrom/Adr_L.dbs"), TRUE);
    EXPECT_EQ(ReadFileBytes(registry.file("HKEY_LOCAL_MACHINE")),
              kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation]\n\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices]\n\n" +
                  std::string(kSections) + "GuideDirectory]\n"
                  "\"DataPath_1\"=\"/データ/Guide.dbs\"\n\"DataPath_0\"=\"/cdrom/Guide.dbs\"\n\n" +
                  kSections + "AddressDirectory]\n"
                  "\"DataPath_1\"=\"/hd/Address.dbs\"\n\"DataPath_0\"=\"/cdrom/Adr_L.dbs\"\n\n");
}

TEST_F(DirectorySettingsTest, DefaultHdPathIsTheHostFolderAndFileNameWithOneSeparator)
{
    SampleHost::Register();
    EXPECT_EQ(GetAddressHdPath("Address.dbs"), host.Folder() + "/Address.dbs");
    for (const char* folder : {"/srv/tessra/", "/"}) {
        host.AnswerFolder(folder);
        EXPECT_EQ(GetGuideHdPath("Guide.dbs"), std::string(folder) + "Guide.dbs");
    }
    EXPECT_EQ(host.TakeCalls(), std::vector<std::string>(3, "GetDataFolder"));
}

// Not registered, the folder query failing, or a folder with no CP932 form:
// the message once per getter and an empty path.
TEST_F(DirectorySettingsTest, HostWithoutAFolderShowsTheMessageAndGivesNoPath)
{
    const std::tuple<bool, const char*, const char*> cases[] = {
        {false, nullptr, nullptr}, {true, "GetDataFolder", nullptr}, {true, nullptr, "/srv/한국어"}};
    for (const auto& [registered, failMethod, folder] : cases) {
        ScratchRegistry fresh;
        if (registered)
            SampleHost::Register();
        host.FailMethod(failMethod);
        host.AnswerFolder(folder);
        messages.clear();
        EXPECT_EQ(GetAddressHdPath("Address.dbs") + GetGuideHdPath("Guide.dbs"), "");
        ASSERT_EQ(messages.texts(), std::vector<std::string>(2, "TessraFolderObjectの作成に失敗した"));
        EXPECT_EQ(messages.shown()[0].type, static_cast<UINT>(MB_OK));
    }
}

// A stored path that cannot be used here (no CP932 form, or too long for the
// buffer) reads as missing; written back as it was answered, the file keeps
// its bytes; a path chosen instead replaces it. The message comes once a run.
TEST_F(DirectorySettingsTest, UnusableStoredPathsAreKeptUntilAnotherPathIsWritten)
{
    SampleHost::Register();
    const std::string longPath = "/srv/" + std::string(1100, 'x') + "/Guide.dbs";
    const std::string body = std::string(kSections) + "AddressDirectory]\n\"DataPath_0\"=\"/media/Café/Adr_L.dbs\"\n"
                             "\"DataPath_1\"=\"/srv/𠮷野/Address.dbs\"\n\n" +
                             kSections + "GuideDirectory]\n\"DataPath_0\"=\"/media/한국/Guide.dbs\"\n\"DataPath_1\"=\"" +
                             longPath + "\"\n\n";
    WriteMachineFile(body);
    const std::string file = ReadFileBytes(registry.file("HKEY_LOCAL_MACHINE"));
    ForgetUnusableDirectoryValues();
    const std::tuple<std::function<std::string()>, BOOL (*)(LPCSTR), std::string, const char*> paths[] = {
        {GetAddressCdPath, SetAddressCdPath, "", "/media/Caf/Adr_L.dbs"},
        {[] { return GetAddressHdPath("Address.dbs"); }, SetAddressHdPath, host.Folder() + "/Address.dbs", "/hd/Address.dbs"},
        {GetGuideCdPath, SetGuideCdPath, "", "/media/guide/Guide.dbs"},
        {[] { return GetGuideHdPath("Guide.dbs"); }, SetGuideHdPath, host.Folder() + "/Guide.dbs", "/hd/Guide.dbs"},
    };
    for (const auto& [get, set, answered, chosen] : paths) {
        const std::string path = get();
        EXPECT_EQ(path, answered);
        EXPECT_EQ(set(path.c_str()), TRUE);
        EXPECT_EQ(ReadFileBytes(registry.file("HKEY_LOCAL_MACHINE")), file) << answered;
    }
    EXPECT_EQ(std::make_pair(IsAddressCdPathUnusable(), IsAddressHdPathUnusable()), std::make_pair(true, true));
    EXPECT_TRUE(messages.shown().empty());
    for (int i = 0; i < 2; ++i)
        ReportUnusableDirectoryValues();
    ASSERT_EQ(messages.texts(), (std::vector<std::string>{
                                    "レジストリに記録されているデータのパスは、このプログラムでは使用できません。\n"
                                    "（扱えない文字が含まれているか、長すぎます。）\n\n"
                                    "記録されているパスはそのまま残ります。変更する場合は、フォルダを選択し直してください。"}));
    EXPECT_EQ(messages.shown()[0].type, static_cast<UINT>(MB_OK));

    for (const auto& [get, set, answered, chosen] : paths) {
        set(chosen);
        EXPECT_EQ(get(), chosen);
    }
    EXPECT_EQ(std::make_pair(IsAddressCdPathUnusable(), IsAddressHdPathUnusable()), std::make_pair(false, false));
}

} // namespace
