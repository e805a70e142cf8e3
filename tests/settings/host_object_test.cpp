#include "settings/host_object.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/cp932.h"
#include "sample_host_fixture.h"
#include "settings/directory_settings.h"
#include "support/test_support.h"

namespace {

const char kFolderClsid[] = "{47070621-C87F-403C-9FA2-C79F8197E67A}";

// True while the process has the library loaded.
bool IsLoaded(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
}

// A real shared library that has no host entry point.
std::string LibraryWithoutEntryPoint()
{
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&sqlite3_libversion), &info);
    return info.dli_fname ? info.dli_fname : "";
}

void WriteDefault(const std::string& key, const std::string& value)
{
    RegWriteString(HKEY_CLASSES_ROOT, key.c_str(), "", value.c_str());
}

HRESULT ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const _com_error& e) {
        return e.Error();
    }
    return S_OK;
}

class HostObjectTest : public ::testing::Test {
protected:
    ScratchRegistry registry;
    SampleHost host;
};

TEST_F(HostObjectTest, FailureCodesAreNegative)
{
    for (HRESULT hr : {E_NOTIMPL, E_NOINTERFACE, E_POINTER, E_FAIL, E_INVALIDARG, REGDB_E_CLASSNOTREG,
                       CLASS_E_CLASSNOTAVAILABLE, CO_E_CLASSSTRING, CO_E_ERRORINDLL, HRESULT_MOD_NOT_FOUND,
                       HRESULT_NO_UNICODE_TRANSLATION})
        EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_FALSE(FAILED(S_OK));
    EXPECT_EQ(static_cast<std::uint32_t>(E_FAIL), 0x80004005u);
    EXPECT_STREQ(_com_error(E_FAIL).what(), "COM error 0x80004005");
}

TEST_F(HostObjectTest, EachRegisteredObjectAnswersItsCall)
{
    SampleHost::Register();

    HostObjectPtr folder;
    ASSERT_EQ(CreateHostObject(kFolderObjectProgId, folder), S_OK);
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder.GetDataFolder(), host.Folder());
    EXPECT_TRUE(PathExists(host.Folder()));

    HostObjectPtr quickLaunch;
    ASSERT_EQ(CreateHostObject(kQuickLaunchObjectProgId, quickLaunch), S_OK);
    quickLaunch.LaunchProgram("Pellvane", nullptr);
    quickLaunch.LaunchProgram("Pellvane", "");

    HostObjectPtr about;
    ASSERT_EQ(CreateHostObject(kAboutDialogObjectProgId, about), S_OK);
    about.ShowAboutBox(0, 0);

    EXPECT_EQ(host.Calls(), (std::vector<std::string>{"GetDataFolder", "LaunchProgram Pellvane",
                                                      "LaunchProgram Pellvane", "ShowAboutBox"}));
}

TEST_F(HostObjectTest, ClassIdInBracesIsTakenAsItStands)
{
    SampleHost::Register();
    for (const char* clsid : {kFolderClsid, "{47070621-c87f-403c-9fa2-c79f8197e67a}"}) {
        HostObjectPtr folder;
        ASSERT_EQ(CreateHostObject(clsid, folder), S_OK) << clsid;
        EXPECT_EQ(folder.GetDataFolder(), host.Folder());
    }
}

TEST_F(HostObjectTest, EveryMissingStepFailsCreationWithoutACrash)
{
    const std::string progId = kFolderObjectProgId;
    const std::string clsidKey = std::string("CLSID\\") + kFolderClsid;
    const std::string textFile = host.dir() / "not-a-library.so";
    WriteFileBytes(textFile, "This is a text file, not a shared library.\n");
    const std::string noEntryPoint = LibraryWithoutEntryPoint();
    ASSERT_FALSE(noEntryPoint.empty());

    auto classWith = [&](const std::string& library) {
        return [=] {
            WriteDefault(progId + "\\CLSID", kFolderClsid);
            WriteDefault(clsidKey + "\\InprocServer32", library);
        };
    };
    const struct {
        const char* name;
        std::function<void()> setUp;
        const char* progId;
        const char* failMethods;
        HRESULT expected;
    } cases[] = {
        {"ProgID not registered", [] {}, kFolderObjectProgId, nullptr, CO_E_CLASSSTRING},
        {"ProgID without CLSID", [&] { WriteDefault(progId, "TessraFolderObject Class"); }, kFolderObjectProgId,
         nullptr, CO_E_CLASSSTRING},
        {"CLSID not a class ID", [&] { WriteDefault(progId + "\\CLSID", "TessraFolderObject"); },
         kFolderObjectProgId, nullptr, CO_E_CLASSSTRING},
        {"class not registered", [&] { WriteDefault(progId + "\\CLSID", kFolderClsid); }, kFolderObjectProgId,
         nullptr, REGDB_E_CLASSNOTREG},
        {"class without InprocServer32",
         [&] {
             WriteDefault(progId + "\\CLSID", kFolderClsid);
             WriteDefault(clsidKey, "TessraFolderObject Class");
         },
         kFolderObjectProgId, nullptr, REGDB_E_CLASSNOTREG},
        {"InprocServer32 names no library", classWith(""), kFolderObjectProgId, nullptr, REGDB_E_CLASSNOTREG},
        {"library file missing", classWith(host.dir() / "missing.so"), kFolderObjectProgId, nullptr,
         HRESULT_MOD_NOT_FOUND},
        {"text file as library", classWith(textFile), kFolderObjectProgId, nullptr, HRESULT_MOD_NOT_FOUND},
        {"library without entry point", classWith(noEntryPoint), kFolderObjectProgId, nullptr, CO_E_ERRORINDLL},
        {"class the library does not serve",
         [&] {
             WriteDefault(progId + "\\CLSID", "{00000000-0000-0000-0000-000000000001}");
             WriteDefault("CLSID\\{00000000-0000-0000-0000-000000000001}\\InprocServer32", SampleHostLibrary());
         },
         kFolderObjectProgId, nullptr, CLASS_E_CLASSNOTAVAILABLE},
        {"library refuses the class", SampleHost::Register, kFolderObjectProgId, "TessraGetClassObject", E_FAIL},
        {"object of an unknown ABI version", SampleHost::Register, kFolderObjectProgId, "AbiVersion", E_NOINTERFACE},
        {"malformed class ID", SampleHost::Register, "{47070621-C87F-403C-9FA2}", nullptr, CO_E_CLASSSTRING},
        {"empty ProgID", SampleHost::Register, "", nullptr, CO_E_CLASSSTRING},
        {"no ProgID", SampleHost::Register, nullptr, nullptr, CO_E_CLASSSTRING},
    };
    for (const auto& c : cases) {
        ScratchRegistry fresh;
        c.setUp();
        host.FailMethod(c.failMethods);

        HostObjectPtr object;
        EXPECT_EQ(CreateHostObject(c.progId, object), c.expected) << c.name;
        EXPECT_FALSE(object) << c.name;
        EXPECT_EQ(ErrorOf([&] { object.GetDataFolder(); }), E_POINTER) << c.name;
        // A refused object does not keep its library in the process.
        EXPECT_FALSE(IsLoaded(SampleHostLibrary())) << c.name;
    }
    EXPECT_TRUE(host.Calls().empty());
}

TEST_F(HostObjectTest, CreationReplacesWhatThePointerHeld)
{
    SampleHost::Register();
    HostObjectPtr object;
    ASSERT_EQ(CreateHostObject(kFolderObjectProgId, object), S_OK);
    EXPECT_EQ(CreateHostObject("Qor.Tessra.Missing.5", object), CO_E_CLASSSTRING);
    EXPECT_FALSE(object);
    EXPECT_FALSE(IsLoaded(SampleHostLibrary()));
}

TEST_F(HostObjectTest, CallsThroughAnEmptyPointerRaise)
{
    HostObjectPtr empty;
    EXPECT_EQ(ErrorOf([&] { empty.GetDataFolder(); }), E_POINTER);
    EXPECT_EQ(ErrorOf([&] { empty.LaunchProgram("Pellvane", nullptr); }), E_POINTER);
    EXPECT_EQ(ErrorOf([&] { empty.ShowAboutBox(0, 0); }), E_POINTER);
}

TEST_F(HostObjectTest, FailingMethodRaisesItsResult)
{
    SampleHost::Register();
    const struct {
        const char* method;
        const char* progId;
        std::function<void(HostObjectPtr&)> call;
        const char* logged;
    } methods[] = {
        {"GetDataFolder", kFolderObjectProgId, [](HostObjectPtr& p) { p.GetDataFolder(); }, "GetDataFolder"},
        {"LaunchProgram", kQuickLaunchObjectProgId, [](HostObjectPtr& p) { p.LaunchProgram("Pellvane", nullptr); },
         "LaunchProgram Pellvane"},
        {"ShowAboutBox", kAboutDialogObjectProgId, [](HostObjectPtr& p) { p.ShowAboutBox(0, 0); }, "ShowAboutBox"},
    };
    for (const auto& m : methods) {
        host.FailMethod(m.method);
        HostObjectPtr object;
        ASSERT_EQ(CreateHostObject(m.progId, object), S_OK) << m.method;
        EXPECT_EQ(ErrorOf([&] { m.call(object); }), E_FAIL) << m.method;
        ASSERT_FALSE(host.Calls().empty());
        EXPECT_EQ(host.Calls().back(), m.logged);
    }
}

TEST_F(HostObjectTest, MethodAClassDoesNotOfferRaisesNotImplemented)
{
    SampleHost::Register();
    HostObjectPtr folder;
    ASSERT_EQ(CreateHostObject(kFolderObjectProgId, folder), S_OK);
    EXPECT_EQ(ErrorOf([&] { folder.LaunchProgram("Pellvane", nullptr); }), E_NOTIMPL);
    EXPECT_EQ(ErrorOf([&] { folder.ShowAboutBox(0, 0); }), E_NOTIMPL);
    EXPECT_TRUE(host.Calls().empty());
}

TEST_F(HostObjectTest, HelpOfAProgramWithoutAPageFails)
{
    SampleHost::Register();
    HostObjectPtr quickLaunch;
    ASSERT_EQ(CreateHostObject(kQuickLaunchObjectProgId, quickLaunch), S_OK);
    EXPECT_TRUE(FAILED(ErrorOf([&] { quickLaunch.LaunchProgram("NoSuchProgram", nullptr); })));
    EXPECT_TRUE(FAILED(ErrorOf([&] { quickLaunch.LaunchProgram("../../etc/passwd", nullptr); })));
}

// A stand-in for a desktop program: it writes its arguments, one a line,
// into a pipe that the test reads.
class FakeProgram {
public:
    FakeProgram(const TempDir& dir, const char* name) : m_path("PATH", dir / "bin")
    {
        const std::string bin = dir / "bin";
        mkdir(bin.c_str(), 0755);
        const std::string fifo = dir / (std::string(name) + ".fifo");
        mkfifo(fifo.c_str(), 0600);
        // Read and write, so the pipe never reads as ended before the program writes.
        m_fd = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
        const std::string script = bin + "/" + name;
        WriteFileBytes(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" END > '" + fifo + "'\n");
        chmod(script.c_str(), 0755);
    }
    ~FakeProgram() { close(m_fd); }

    // The arguments it was started with; empty when it did not start.
    std::vector<std::string> Arguments()
    {
        std::string text;
        while (text.find("END\n") == std::string::npos) {
            pollfd p{m_fd, POLLIN, 0};
            // A guard against hanging, not a measure of time.
            if (poll(&p, 1, 60000) != 1)
                return {};
            char buffer[4096];
            const ssize_t n = read(m_fd, buffer, sizeof(buffer));
            if (n <= 0)
                return {};
            text.append(buffer, static_cast<size_t>(n));
        }
        std::vector<std::string> args;
        size_t start = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
            args.push_back(text.substr(start, end - start));
        args.pop_back(); // END
        return args;
    }

private:
    EnvVar m_path;
    int m_fd = -1;
};

TEST_F(HostObjectTest, HelpOpensInTheDesktopBrowserWithoutWaitingForIt)
{
    SampleHost::Register();
    EnvVar ui("TESSRA_SAMPLE_HOST_NO_UI", nullptr);
    FakeProgram xdgOpen(host.dir(), "xdg-open");

    HostObjectPtr quickLaunch;
    ASSERT_EQ(CreateHostObject(kQuickLaunchObjectProgId, quickLaunch), S_OK);
    quickLaunch.LaunchProgram("Pellvane", nullptr);

    const std::vector<std::string> args = xdgOpen.Arguments();
    ASSERT_EQ(args.size(), 1u);
    EXPECT_EQ(args[0], std::string(PELLVANE_BINARY_DIR) + "/share/tessra/help/pellvane-help.html");
    const std::string page = ReadFileBytes(args[0]);
    EXPECT_NE(page.find("<html lang=\"ja\">"), std::string::npos);
    EXPECT_NE(page.find("最適化"), std::string::npos);
}

TEST_F(HostObjectTest, AboutBoxShowsTheVersion)
{
    SampleHost::Register();
    EnvVar ui("TESSRA_SAMPLE_HOST_NO_UI", nullptr);
    FakeProgram zenity(host.dir(), "zenity");

    HostObjectPtr about;
    ASSERT_EQ(CreateHostObject(kAboutDialogObjectProgId, about), S_OK);
    about.ShowAboutBox(0, 0);

    const std::vector<std::string> args = zenity.Arguments();
    ASSERT_GE(args.size(), 3u);
    EXPECT_EQ(args[0], "--info");
    EXPECT_EQ(args[2], "--title=バージョン情報");
    EXPECT_EQ(args[3], "--text=Tessra 5.0 サンプルホスト");
    EXPECT_EQ(args.back(), "バージョン 5.0.0");
}

TEST_F(HostObjectTest, LibraryStaysLoadedExactlyAsLongAsAnObject)
{
    SampleHost::Register();
    const std::string library = SampleHostLibrary();
    HostObjectPtr first;
    ASSERT_EQ(CreateHostObject(kFolderObjectProgId, first), S_OK);
    EXPECT_TRUE(IsLoaded(library));

    HostObjectPtr moved = std::move(first);
    EXPECT_FALSE(first);
    EXPECT_TRUE(moved);
    EXPECT_EQ(moved.GetDataFolder(), host.Folder());
    {
        HostObjectPtr second;
        ASSERT_EQ(CreateHostObject(kAboutDialogObjectProgId, second), S_OK);
    }
    EXPECT_TRUE(IsLoaded(library));

    moved.Release();
    EXPECT_FALSE(moved);
    EXPECT_FALSE(IsLoaded(library));
    EXPECT_EQ(ErrorOf([&] { moved.GetDataFolder(); }), E_POINTER);
}

} // namespace
