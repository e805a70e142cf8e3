// pellvane-register-host as tools/run and an administrator use it.
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "sample_host_fixture.h"
#include "settings/directory_settings.h"
#include "settings/host_object.h"
#include "support/test_support.h"

extern char** environ;

namespace {

// Runs the tool with args; its exit code (-1 when it did not exit).
int RunTool(std::vector<std::string> args)
{
    const std::string tool = std::string(PELLVANE_BINARY_DIR) + "/bin/pellvane-register-host";
    args.insert(args.begin(), tool);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, tool.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : "";
}

class RegisterHostTest : public ::testing::Test {
protected:
    std::string ClassesFile() const { return registry.file("HKEY_CLASSES_ROOT"); }

    ScratchRegistry registry;
    SampleHost host;
};

TEST_F(RegisterHostTest, RegistersTheThreeClassesAtTheBuiltLibrary)
{
    ASSERT_EQ(RunTool({}), 0);

    const std::string library = RealPath(SampleHostLibrary());
    ASSERT_FALSE(library.empty());
    for (const SampleHostClass& c : kSampleHostClasses) {
        EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, (std::string(c.progId) + "\\CLSID").c_str(), ""), c.clsid);
        const std::string clsidKey = std::string("CLSID\\") + c.clsid;
        EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, (clsidKey + "\\InprocServer32").c_str(), ""), library);
        EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, (clsidKey + "\\ProgID").c_str(), ""), c.progId);
    }

    for (const char* progId : {kFolderObjectProgId, kQuickLaunchObjectProgId, kAboutDialogObjectProgId}) {
        HostObjectPtr object;
        EXPECT_EQ(CreateHostObject(progId, object), S_OK) << progId;
    }
}

TEST_F(RegisterHostTest, RunningTwiceChangesNothing)
{
    ASSERT_EQ(RunTool({}), 0);
    const std::string once = ReadFileBytes(ClassesFile());
    ASSERT_EQ(RunTool({}), 0);
    EXPECT_EQ(ReadFileBytes(ClassesFile()), once);
}

TEST_F(RegisterHostTest, LibraryGivenOnTheCommandLineIsRegistered)
{
    const std::string copy = host.dir() / "host-copy.so";
    WriteFileBytes(copy, ReadFileBytes(SampleHostLibrary()));
    ASSERT_EQ(RunTool({"--library", copy}), 0);
    EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, "CLSID\\{47070621-C87F-403C-9FA2-C79F8197E67A}\\InprocServer32", ""),
              RealPath(copy));
    HostObjectPtr folder;
    ASSERT_EQ(CreateHostObject(kFolderObjectProgId, folder), S_OK);
    EXPECT_EQ(folder.GetDataFolder(), host.Folder());
}

TEST_F(RegisterHostTest, UnregisterRemovesOnlyTheHostClasses)
{
    // Keys of others that share the file.
    RegWriteString(HKEY_CLASSES_ROOT, "AppID\\Pellvane.EXE", "AppID", "{11111111-2222-3333-4444-555555555555}");
    RegWriteString(HKEY_CLASSES_ROOT, "CLSID\\{11111111-2222-3333-4444-555555555555}", "", "Other");
    const std::string before = ReadFileBytes(ClassesFile());

    ASSERT_EQ(RunTool({}), 0);
    ASSERT_EQ(RunTool({"--unregister"}), 0);

    for (const SampleHostClass& c : kSampleHostClasses) {
        for (const std::string& key : {std::string(c.progId), std::string("CLSID\\") + c.clsid}) {
            HKEY handle = nullptr;
            EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle), ERROR_FILE_NOT_FOUND)
                << key;
            if (handle)
                RegCloseKey(handle);
        }
    }
    EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, "AppID\\Pellvane.EXE", "AppID"), "{11111111-2222-3333-4444-555555555555}");
    EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, "CLSID\\{11111111-2222-3333-4444-555555555555}", ""), "Other");

    HostObjectPtr folder;
    EXPECT_TRUE(FAILED(CreateHostObject(kFolderObjectProgId, folder)));
    // Unregistering what is not there is harmless.
    EXPECT_EQ(RunTool({"--unregister"}), 0);
    EXPECT_EQ(ReadFileBytes(ClassesFile()), before);
}

TEST_F(RegisterHostTest, BadCommandLinesWriteNothing)
{
    EXPECT_EQ(RunTool({"--library", host.dir() / "missing.so"}), 1);
    EXPECT_EQ(RunTool({"--frobnicate"}), 2);
    EXPECT_EQ(RunTool({"--library"}), 2);
    EXPECT_FALSE(PathExists(ClassesFile()));
}

} // namespace
