#include "settings/host_object.h"

#include <dlfcn.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "sample_host_fixture.h"
#include "settings/directory_settings.h"
#include "support/test_support.h"

namespace {

const char kFolderClsid[] = "{47070621-C87F-403C-9FA2-C79F8197E67A}";

bool IsLoaded(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    return handle && dlclose(handle) == 0;
}

class HostObjectTest : public ::testing::Test {
protected:
    ScratchRegistry registry;
    SampleHost host;
};

TEST_F(HostObjectTest, ObjectsAnswerAndHoldTheLibraryUntilTheLastIsGone)
{
    SampleHost::Register();
    HostObjectPtr folder, about;
    for (const char* id : {kFolderClsid, "{47070621-c87f-403c-9fa2-c79f8197e67a}", kFolderObjectProgId}) {
        ASSERT_EQ(CreateHostObject(id, folder), S_OK) << id;
        EXPECT_EQ(folder.GetDataFolder(), host.Folder());
    }
    ASSERT_EQ(CreateHostObject(kAboutDialogObjectProgId, about), S_OK);
    about.Release();
    EXPECT_TRUE(IsLoaded(SampleHostLibrary()));
    // A failed creation empties the pointer it was given.
    EXPECT_EQ(CreateHostObject("Qor.Tessra.Missing.5", folder), CO_E_CLASSSTRING);
    EXPECT_FALSE(IsLoaded(SampleHostLibrary()));
    EXPECT_THROW(folder.GetDataFolder(), _com_error);
}

TEST_F(HostObjectTest, EveryMissingStepFailsCreationWithoutACrash)
{
    const std::string progId = kFolderObjectProgId;
    WriteFileBytes(host.dir() / "text.so", "This is a text file, not a shared library.\n");
    Dl_info sqlite{}; // a real library without the host's entry point
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&sqlite3_libversion), &sqlite), 0);
    auto classWith = [&](const std::string& clsid, const std::string& library) {
        return [=] {
            RegWriteString(HKEY_CLASSES_ROOT, (progId + "\\CLSID").c_str(), "", clsid.c_str());
            RegWriteString(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid + "\\InprocServer32").c_str(), "", library.c_str());
        };
    };
    const struct {
        const char* name;
        std::function<void()> setUp;
        HRESULT expected;
        const char* failMethods = nullptr;
        const char* progId = kFolderObjectProgId;
    } cases[] = {
        {"ProgID not registered", [] {}, CO_E_CLASSSTRING},
        {"class names no library", classWith(kFolderClsid, ""), REGDB_E_CLASSNOTREG},
        {"library missing", classWith(kFolderClsid, host.dir() / "missing.so"), HRESULT_MOD_NOT_FOUND},
        {"not a library", classWith(kFolderClsid, host.dir() / "text.so"), HRESULT_MOD_NOT_FOUND},
        {"no entry point", classWith(kFolderClsid, sqlite.dli_fname), CO_E_ERRORINDLL},
        {"class the library does not serve", classWith("{00000000-0000-0000-0000-000000000001}", SampleHostLibrary()),
         CLASS_E_CLASSNOTAVAILABLE},
        {"library refuses the class", SampleHost::Register, E_FAIL, "TessraGetClassObject"},
        {"unknown ABI version", SampleHost::Register, E_NOINTERFACE, "AbiVersion"},
        {"malformed class ID", SampleHost::Register, CO_E_CLASSSTRING, nullptr, "{47070621-C87F-403C-9FA2}"},
        {"no ProgID", SampleHost::Register, CO_E_CLASSSTRING, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        ScratchRegistry fresh;
        c.setUp();
        host.FailMethod(c.failMethods);
        HostObjectPtr object;
        EXPECT_EQ(CreateHostObject(c.progId, object), c.expected) << c.name;
        EXPECT_THROW(object.GetDataFolder(), _com_error) << c.name;
        EXPECT_FALSE(IsLoaded(SampleHostLibrary())) << c.name << ": a refused object keeps no library";
    }
}

// A library or registry file that another user could have replaced is not
// loaded into the installer, which often runs as root; nor is a library named
// by a relative path. Each refusal shows the object's creation message.
TEST_F(HostObjectTest, LibrariesAndRegistryFilesOthersCouldReplaceAreRefused)
{
    const std::string copy = host.dir() / "host-copy.so";
    WriteFileBytes(copy, ReadFileBytes(SampleHostLibrary()));
    const passwd* nobody = getpwnam("nobody");
    const bool root = geteuid() == 0 && nobody;
    const std::string hkcr = registry.file("HKEY_CLASSES_ROOT");
    const struct {
        const char* name;
        std::string library; // as registered
        std::string file;    // given the mode and owner below
        mode_t mode;
        bool otherOwner;
        HRESULT expected;
    } cases[] = {
        {"safe copy", copy, copy, 0755, false, S_OK},
        {"registry file readable by all", copy, hkcr, 0644, false, S_OK},
        {"relative path", "./host-copy.so", copy, 0755, false, E_ACCESSDENIED},
        {"relative path without a folder", "host-copy.so", copy, 0755, false, E_ACCESSDENIED},
        {"library writable by its group", copy, copy, 0775, false, E_ACCESSDENIED},
        {"library writable by all", copy, copy, 0757, false, E_ACCESSDENIED},
        {"library of another user", copy, copy, 0755, true, E_ACCESSDENIED},
        {"registry file writable by its group", copy, hkcr, 0664, false, E_ACCESSDENIED},
        {"registry file writable by all", copy, hkcr, 0646, false, E_ACCESSDENIED},
        {"registry file of another user", copy, hkcr, 0644, true, E_ACCESSDENIED},
    };
    // Relative names would resolve here.
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(host.dir().path());
    for (const auto& c : cases) {
        if (c.otherOwner && !root) {
            std::printf("[  SKIPPED ] %s: giving a file to another user needs root\n", c.name);
            continue;
        }
        ScratchRegistry fresh;
        const std::string file = c.file == hkcr ? fresh.file("HKEY_CLASSES_ROOT") : c.file;
        for (const SampleHostClass& k : kSampleHostClasses)
            ASSERT_TRUE(RegisterHostClass({k.progId, k.clsid, k.description}, c.library));
        if (root) {
            ASSERT_EQ(chown(copy.c_str(), 0, 0), 0);
        }
        ASSERT_EQ(chmod(copy.c_str(), 0755), 0);
        ASSERT_EQ(chmod(file.c_str(), c.mode), 0);
        if (c.otherOwner) {
            ASSERT_EQ(chown(file.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        }
        HostObjectPtr object;
        EXPECT_EQ(CreateHostObject(kFolderObjectProgId, object), c.expected) << c.name;
        EXPECT_EQ(IsLoaded(copy), c.expected == S_OK) << c.name;
        object.Release();
        EXPECT_FALSE(IsLoaded(copy)) << c.name;
        MessageRecorder messages;
        GetAddressHdPath("Address.dbs");
        EXPECT_EQ(messages.texts(), c.expected == S_OK ? std::vector<std::string>{}
                                                       : std::vector<std::string>{"TessraFolderObjectの作成に失敗した"})
            << c.name;
    }
    std::filesystem::current_path(cwd);
}

} // namespace
