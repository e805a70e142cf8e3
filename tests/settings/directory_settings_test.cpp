#include "settings/directory_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/cp932.h"
#include "platform/message_box.h"
#include "sample_host_fixture.h"
#include "support/test_support.h"

namespace {

const char kFolderObjectMessage[] = "TessraFolderObjectの作成に失敗した";

class DirectorySettingsTest : public ::testing::Test {
protected:
    // The registry file of HKEY_LOCAL_MACHINE as an administrator would write it.
    void WriteMachineFile(const std::string& body)
    {
        WriteFileBytes(registry.file("HKEY_LOCAL_MACHINE"), "Windows Registry Editor Version 5.00\n\n" + body);
    }

    ScratchRegistry registry;
    MessageRecorder messages;
    SampleHost host;
};

using HdPathGetter = std::string (*)(LPCSTR);
struct HdPathCase {
    const char* name;
    const char* key;
    HdPathGetter get;
    const char* fileName;
};
const HdPathCase kHdPathCases[] = {
    {"address", "AddressDirectory", GetAddressHdPath, "Address.dbs"},
    {"guide", "GuideDirectory", GetGuideHdPath, "Guide.dbs"},
};

TEST_F(DirectorySettingsTest, EmptyRegistryGivesEveryDefault)
{
    const struct {
        const char* name;
        std::function<std::string()> get;
        const char* expected;
    } strings[] = {
        {"GetAddressDetailedFile", GetAddressDetailedFile, "Adr_L.dbs"},
        {"GetAddressStandardFile", GetAddressStandardFile, "Adr_S.dbs"},
        {"GetAddressFile", GetAddressFile, "Address.dbs"},
        {"GetAddressCdPath", GetAddressCdPath, ""},
        {"GetGuideFile", GetGuideFile, "Guide.dbs"},
        {"GetGuideCdPath", GetGuideCdPath, ""},
    };
    for (const auto& c : strings)
        EXPECT_EQ(c.get(), c.expected) << c.name;

    EXPECT_EQ(GetAddressDetailedSize(), 0u);
    EXPECT_EQ(GetAddressStandardSize(), 0u);
    EXPECT_EQ(GetCurrentData(), 0u);

    // Reading creates nothing.
    EXPECT_FALSE(PathExists(registry.file("HKEY_LOCAL_MACHINE")));
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(DirectorySettingsTest, ReadsWhatTheHostRecorded)
{
    WriteMachineFile(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\AddressDirectory]\n"
        "\"LFileSize\"=dword:000000c3\n"
        "\"SFileSize\"=dword:0000002b\n"
        "\"Address_L_File\"=\"詳細.dbs\"\n"
        "\"Address_S_File\"=\"標準.dbs\"\n"
        "\"Address_File\"=\"住所.dbs\"\n"
        "\"DataPath_0\"=\"/media/cdrom/住所/Adr_L.dbs\"\n"
        "\"DataPath_1\"=\"/srv/tessra/住所.dbs\"\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory]\n"
        "\"Guide_File\"=\"施設.dbs\"\n"
        "\"DataPath_0\"=\"/media/cdrom/Guide.dbs\"\n"
        "\"DataPath_1\"=\"/srv/tessra/施設.dbs\"\n"
        "\"CurrentData\"=dword:00000001\n");

    const struct {
        const char* name;
        std::function<std::string()> get;
        const char* expectedUtf8;
    } strings[] = {
        {"GetAddressDetailedFile", GetAddressDetailedFile, "詳細.dbs"},
        {"GetAddressStandardFile", GetAddressStandardFile, "標準.dbs"},
        {"GetAddressFile", GetAddressFile, "住所.dbs"},
        {"GetAddressCdPath", GetAddressCdPath, "/media/cdrom/住所/Adr_L.dbs"},
        {"GetAddressHdPath", [] { return GetAddressHdPath("Address.dbs"); }, "/srv/tessra/住所.dbs"},
        {"GetGuideFile", GetGuideFile, "施設.dbs"},
        {"GetGuideCdPath", GetGuideCdPath, "/media/cdrom/Guide.dbs"},
        {"GetGuideHdPath", [] { return GetGuideHdPath("Guide.dbs"); }, "/srv/tessra/施設.dbs"},
    };
    for (const auto& c : strings)
        EXPECT_EQ(c.get(), FromUtf8(c.expectedUtf8)) << c.name; // CP932 inside

    EXPECT_EQ(GetAddressDetailedSize(), 195u);
    EXPECT_EQ(GetAddressStandardSize(), 43u);
    EXPECT_EQ(GetCurrentData(), 1u);
}

TEST_F(DirectorySettingsTest, FirstSetterCreatesTheWholeKeyPath)
{
    EXPECT_TRUE(SetGuideHdPath(FromUtf8("/データ/Guide.dbs").c_str()));

    EXPECT_EQ(ReadFileBytes(registry.file("HKEY_LOCAL_MACHINE")),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory]\n"
              "\"DataPath_1\"=\"/データ/Guide.dbs\"\n"
              "\n");
}

TEST_F(DirectorySettingsTest, EachSetterWritesItsValueInItsKey)
{
    const struct {
        const char* name;
        BOOL (*set)(LPCSTR);
        const char* key;
        const char* value;
    } setters[] = {
        {"SetAddressCdPath", SetAddressCdPath, kAddressKey, "DataPath_0"},
        {"SetAddressHdPath", SetAddressHdPath, kAddressKey, "DataPath_1"},
        {"SetGuideCdPath", SetGuideCdPath, kGuideKey, "DataPath_0"},
        {"SetGuideHdPath", SetGuideHdPath, kGuideKey, "DataPath_1"},
    };
    for (const auto& s : setters) {
        const std::string path = std::string("/path/of/") + s.name;
        EXPECT_EQ(s.set(path.c_str()), TRUE) << s.name;
        EXPECT_EQ(RegReadString(HKEY_LOCAL_MACHINE, s.key, s.value), path) << s.name;
    }
    // Each setter touched its own value only.
    EXPECT_EQ(GetAddressCdPath(), "/path/of/SetAddressCdPath");
    EXPECT_EQ(GetAddressHdPath("x"), "/path/of/SetAddressHdPath");
    EXPECT_EQ(GetGuideCdPath(), "/path/of/SetGuideCdPath");
    EXPECT_EQ(GetGuideHdPath("x"), "/path/of/SetGuideHdPath");
}

TEST_F(DirectorySettingsTest, WriteThatCannotBeMadeIsLostQuietly)
{
    // The registry folder lies under a plain file: no key can be created.
    WriteFileBytes(host.dir() / "blocker", "");
    EnvVar registryDir("TESSRA_REGISTRY_DIR", host.dir() / "blocker/registry");

    EXPECT_EQ(SetAddressCdPath("/media/cdrom/Adr_L.dbs"), TRUE);
    EXPECT_EQ(GetAddressCdPath(), "");
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(DirectorySettingsTest, RecordedHdPathIsReturnedWithoutAskingTheHost)
{
    SampleHost::Register();
    for (const HdPathCase& c : kHdPathCases) {
        // The recorded file need not exist.
        const std::string recorded = std::string("/gone/") + c.fileName;
        RegWriteString(HKEY_LOCAL_MACHINE, (std::string("SOFTWARE\\Veltrane Corporation\\DirectoryServices\\") + c.key).c_str(),
                       "DataPath_1", recorded.c_str());
        EXPECT_EQ(c.get("Other.dbs"), recorded) << c.name;
    }
    EXPECT_TRUE(host.Calls().empty());
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(DirectorySettingsTest, DefaultHdPathIsTheHostFolderAndFileName)
{
    SampleHost::Register();
    for (const HdPathCase& c : kHdPathCases) {
        EXPECT_EQ(c.get(c.fileName), host.Folder() + "/" + c.fileName) << c.name;
        EXPECT_TRUE(PathExists(host.Folder())) << c.name;
    }
    EXPECT_EQ(host.Calls(), (std::vector<std::string>{"GetDataFolder", "GetDataFolder"}));
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(DirectorySettingsTest, HostFolderShapesGiveOneSeparator)
{
    SampleHost::Register();
    const struct {
        const char* folder;
        const char* expected;
    } shapes[] = {
        {"/srv/tessra/", "/srv/tessra/Guide.dbs"},
        {"/srv/tessra", "/srv/tessra/Guide.dbs"},
        {"", "/Guide.dbs"},
        {"/", "/Guide.dbs"},
        {"/地図/データ", "/地図/データ/Guide.dbs"},
    };
    for (const auto& s : shapes) {
        host.AnswerFolder(s.folder);
        EXPECT_EQ(GetGuideHdPath("Guide.dbs"), FromUtf8(s.expected)) << "folder \"" << s.folder << "\"";
    }
    EXPECT_TRUE(messages.shown().empty());
}

TEST_F(DirectorySettingsTest, HostNotRegisteredShowsTheMessageOnceAndGivesNoPath)
{
    for (const HdPathCase& c : kHdPathCases) {
        messages.clear();
        EXPECT_EQ(c.get(c.fileName), "") << c.name;
        ASSERT_EQ(messages.shown().size(), 1u) << c.name;
        EXPECT_EQ(messages.shown()[0].text, kFolderObjectMessage);
        EXPECT_EQ(messages.shown()[0].type, static_cast<UINT>(MB_OK));
    }
    EXPECT_TRUE(host.Calls().empty());
}

TEST_F(DirectorySettingsTest, FolderQueryFailureEndsLikeAFailedCreation)
{
    SampleHost::Register();
    const struct {
        const char* name;
        const char* failMethod;
        const char* folder; // nullptr: the default folder
    } failures[] = {
        {"GetDataFolder fails", "GetDataFolder", nullptr},
        {"folder has no CP932 form", nullptr, "/srv/한국어"},
    };
    for (const auto& f : failures) {
        messages.clear();
        host.FailMethod(f.failMethod);
        host.AnswerFolder(f.folder);
        for (const HdPathCase& c : kHdPathCases)
            EXPECT_EQ(c.get(c.fileName), "") << f.name << ", " << c.name;
        EXPECT_EQ(messages.texts(), (std::vector<std::string>{kFolderObjectMessage, kFolderObjectMessage})) << f.name;
    }
    // The object was created and asked each time.
    EXPECT_EQ(host.Calls().size(), 4u);
}

TEST_F(DirectorySettingsTest, CurrentDataIsReadFromTheGuideKeyOnly)
{
    WriteMachineFile(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\AddressDirectory]\n"
        "\"CurrentData\"=dword:00000001\n");
    EXPECT_EQ(GetCurrentData(), 0u);

    WriteMachineFile(
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\AddressDirectory]\n"
        "\"CurrentData\"=dword:00000001\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory]\n"
        "\"CurrentData\"=dword:00000002\n");
    EXPECT_EQ(GetCurrentData(), 2u);
}

TEST_F(DirectorySettingsTest, StringsLongerThanTheBufferReadAsMissing)
{
    const struct {
        size_t length;
        bool fits;
    } lengths[] = {{1023, true}, {1024, false}, {5000, false}};
    for (const auto& l : lengths) {
        const std::string name = std::string(l.length - 4, 'a') + ".dbs";
        RegWriteString(HKEY_LOCAL_MACHINE, kAddressKey, "Address_File", name.c_str());
        RegWriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0", name.c_str());
        EXPECT_EQ(GetAddressFile(), l.fits ? name : "Address.dbs") << l.length;
        EXPECT_EQ(GetGuideCdPath(), l.fits ? name : "") << l.length;
    }
}

TEST_F(DirectorySettingsTest, AddressFileNameChangesTheDefaultHdPath)
{
    SampleHost::Register();
    RegWriteString(HKEY_LOCAL_MACHINE, kAddressKey, "Address_File", "Jusho.dbs");
    EXPECT_EQ(GetAddressHdPath(GetAddressFile().c_str()), host.Folder() + "/Jusho.dbs");
}

} // namespace
