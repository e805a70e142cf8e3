// pellvane-register-host as tools/run and an administrator use it.
#include <stdlib.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "sample_host_fixture.h"
#include "settings/directory_settings.h"
#include "settings/host_object.h"
#include "support/test_support.h"

namespace {

int RunTool(const std::string& args)
{
    const int status = system((PELLVANE_BINARY_DIR "/bin/pellvane-register-host " + args + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) ? resolved : "";
}

class RegisterHostTest : public ::testing::Test {
protected:
    ScratchRegistry registry;
    SampleHost host;
    const std::string classes = registry.file("HKEY_CLASSES_ROOT");
};

TEST_F(RegisterHostTest, RegistersTheThreeClassesOnceAndUnregistersOnlyThem)
{
    EXPECT_EQ(RunTool("--frobnicate"), 2);
    const std::string copy = host.dir() / "host-copy.so";
    EXPECT_EQ(RunTool("--library '" + copy + "'"), 1);
    EXPECT_FALSE(PathExists(classes));

    RegWriteString(HKEY_CLASSES_ROOT, "CLSID\\{11111111-2222-3333-4444-555555555555}", "", "Other");
    const std::string before = ReadFileBytes(classes);
    WriteFileBytes(copy, ReadFileBytes(SampleHostLibrary()));
    for (int run = 0; run < 2; ++run)
        ASSERT_EQ(RunTool("--library '" + copy + "'"), 0);
    for (const SampleHostClass& c : kSampleHostClasses) {
        const std::string server = std::string("CLSID\\") + c.clsid + "\\InprocServer32";
        EXPECT_EQ(RegReadString(HKEY_CLASSES_ROOT, server.c_str(), ""), RealPath(copy));
        HostObjectPtr object;
        EXPECT_EQ(CreateHostObject(c.progId, object), S_OK) << c.progId;
    }
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(RunTool("--unregister"), 0);
        EXPECT_EQ(ReadFileBytes(classes), before);
    }
}

} // namespace
