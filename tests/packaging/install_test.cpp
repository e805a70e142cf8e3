// The program as `cmake --install --prefix /usr` lays it out, installed into a
// scratch DESTDIR and run from there, without a display: every file in its
// place, and nothing installed that needs the build tree.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/instance_lock.h"
#include "settings/host_object.h"
#include "support/test_support.h"
#include "tests/settings/sample_host_fixture.h"

extern char** environ;

namespace {

const std::string kLib = PELLVANE_INSTALL_LIBDIR;
const std::string kManPages[] = {"Pellvane", "pellvane-cli", "pellvane-reg", "pellvane-register-host"};
const int kIconSizes[] = {16, 32, 48, 64, 128};

// Files and links below root, as paths relative to it.
void Walk(const std::string& root, const std::string& rel, std::set<std::string>& out)
{
    for (const std::string& name : ListDir(root + "/" + rel)) {
        const std::string path = rel.empty() ? name : rel + "/" + name;
        struct stat st;
        ASSERT_EQ(lstat((root + "/" + path).c_str(), &st), 0) << path;
        if (S_ISDIR(st.st_mode))
            Walk(root, path, out);
        else
            out.insert(path);
    }
}

struct RunResult {
    int status = -1; // exit status; -1 when it did not exit
    std::string err; // standard error
};

// Runs argv with no display; standard error goes to a file in dir.
RunResult RunProgram(const std::vector<std::string>& argv, const TempDir& dir)
{
    const std::string errFile = dir / "stderr";
    const pid_t pid = fork();
    if (pid == 0) {
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        setenv("LC_ALL", "C.UTF-8", 1);
        // In a sanitizer build: the toolkit keeps memory until exit.
        const char* asan = std::getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":detect_leaks=0").c_str(), 1);
        std::vector<char*> args;
        for (const std::string& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        dup2(open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        execve(args[0], args.data(), environ);
        _exit(127);
    }
    int status = 0;
    RunResult run;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    run.err = ReadFileBytes(errFile);
    return run;
}

// What the code inside writes to this process's standard error.
template <class F>
std::string CaptureStderr(const TempDir& dir, F code)
{
    const std::string file = dir / "captured";
    std::fflush(stderr);
    const int saved = dup(2);
    const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 2);
    close(fd);
    code();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    return ReadFileBytes(file);
}

class Installed : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dest = new TempDir;
        const std::string command = "DESTDIR='" + Root() + "' '" PELLVANE_CMAKE_COMMAND "' --install '"
                                    PELLVANE_BINARY_DIR "' --prefix /usr --strip >'" + (*s_dest / "log") + "' 2>&1";
        s_status = std::system(command.c_str());
    }
    static void TearDownTestSuite()
    {
        delete s_dest;
        s_dest = nullptr;
    }
    void SetUp() override { ASSERT_EQ(s_status, 0) << ReadFileBytes(*s_dest / "log"); }

    static std::string Root() { return *s_dest / "root"; }
    static std::string Usr(const std::string& rel) { return Root() + "/usr/" + rel; }

    static TempDir* s_dest;
    static int s_status;
    TempDir scratch;
    ScratchRegistry registry;
    TempDir runtime;
    EnvVar runtimeDir{"XDG_RUNTIME_DIR", runtime.path()};
};

TempDir* Installed::s_dest = nullptr;
int Installed::s_status = -1;

TEST_F(Installed, LaysOutExactlyTheProgramItsToolsAndTheirDesktopFiles)
{
    std::set<std::string> expected = {
        "etc/fonts/conf.d/60-pellvane.conf",
        "usr/bin/Pellvane",
        "usr/bin/pellvane-cli",
        "usr/bin/pellvane-reg",
        "usr/bin/pellvane-register-host",
        "usr/" + kLib + "/pellvane/libtessra-sample-host.so",
        "usr/" + kLib + "/pellvane/make-sample-cd",
        "usr/share/applications/pellvane.desktop",
        "usr/share/doc/pellvane/changelog.Debian.gz",
        "usr/share/doc/pellvane/copyright",
        "usr/share/fontconfig/conf.avail/60-pellvane.conf",
        "usr/share/metainfo/jp.co.veltrane.pellvane.metainfo.xml",
        "usr/share/pellvane/help/pellvane-help.html",
    };
    for (const std::string& page : kManPages) {
        expected.insert("usr/share/man/man1/" + page + ".1.gz");
        expected.insert("usr/share/man/ja/man1/" + page + ".1.gz");
    }
    for (int size : kIconSizes)
        expected.insert("usr/share/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps/pellvane.png");
    std::set<std::string> found;
    Walk(Root(), "", found);
    EXPECT_EQ(found, expected);

    for (const char* program : {"bin/Pellvane", "bin/pellvane-cli", "bin/pellvane-reg", "bin/pellvane-register-host"})
        EXPECT_EQ(access(Usr(program).c_str(), X_OK), 0) << program;
    // fontconfig reads the alias through a link to the installed file.
    char target[256] = {};
    ASSERT_GT(readlink((Root() + "/etc/fonts/conf.d/60-pellvane.conf").c_str(), target, sizeof(target) - 1), 0);
    EXPECT_STREQ(target, "/usr/share/fontconfig/conf.avail/60-pellvane.conf");
    EXPECT_EQ(ReadFileBytes(Root() + target), ReadFileBytes(PELLVANE_SOURCE_DIR "/res/fonts/60-pellvane-ms-pgothic.conf"));
}

TEST_F(Installed, EachIconIsAPngOfItsSize)
{
    for (int size : kIconSizes) {
        const std::string name = std::to_string(size) + "x" + std::to_string(size);
        const std::string png = ReadFileBytes(Usr("share/icons/hicolor/" + name + "/apps/pellvane.png"));
        ASSERT_GE(png.size(), 24u) << name;
        EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n") << name;
        // IHDR: width and height, big-endian, at bytes 16 and 20.
        const std::string side{'\0', '\0', static_cast<char>(size >> 8), static_cast<char>(size & 0xFF)};
        EXPECT_EQ(png.substr(16, 8), side + side) << name;
    }
}

TEST_F(Installed, NoInstalledFileNamesTheBuildTree)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "sanitizer builds name their sources, generated ones too, in the binaries";
#endif
    std::set<std::string> files;
    Walk(Root(), "", files);
    for (const std::string& file : files)
        EXPECT_EQ(ReadFileBytes(Root() + "/" + file).find(PELLVANE_BINARY_DIR), std::string::npos) << file;
}

TEST_F(Installed, RegistersItselfAndStartsUpToItsWindowWithoutTheBuildTree)
{
    const std::string classes = registry.file("HKEY_CLASSES_ROOT");
    const std::string keys = "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\AppID]\n\n"
                             "[HKEY_CLASSES_ROOT\\AppID\\{CD05E3D1-5777-4A24-8F5A-F5BF82BAE687}]\n@=\"Pellvane\"\n\n"
                             "[HKEY_CLASSES_ROOT\\AppID\\Pellvane.EXE]\n"
                             "\"AppID\"=\"{CD05E3D1-5777-4A24-8F5A-F5BF82BAE687}\"\n\n";
    ASSERT_EQ(RunProgram({Usr("bin/Pellvane"), "/RegServer"}, scratch).status, 0);
    EXPECT_EQ(ReadFileBytes(classes), keys);
    ASSERT_EQ(RunProgram({Usr("bin/Pellvane"), "/UnregServer"}, scratch).status, 0);
    EXPECT_EQ(ReadFileBytes(classes), "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\AppID]\n\n");

    // Without a display the start-up goes as far as the toolkit, which finds
    // none, says so and ends.
    const RunResult alone = RunProgram({Usr("bin/Pellvane")}, scratch);
    EXPECT_EQ(alone.status, 1) << alone.err;
    EXPECT_NE(alone.err.find("Error: Unable to initialize GTK+, is DISPLAY set properly?\n"), std::string::npos)
        << alone.err;

    // A second start ends at once, and quietly, while another instance runs.
    InstanceLock other;
    ASSERT_TRUE(other.Acquire("Veltrane Corporation:Tessra:5.0:Pellvane"));
    const RunResult second = RunProgram({Usr("bin/Pellvane")}, scratch);
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.err, "");
    EXPECT_FALSE(PathExists(registry.file("HKEY_LOCAL_MACHINE")));
}

TEST_F(Installed, RegisterHostNamesItsOwnComponentWhichOpensItsOwnHelp)
{
    struct Case {
        const char* layout;
        std::string tool, library, help;
    };
    const Case cases[] = {
        {"installed", Usr("bin/pellvane-register-host"), Usr(kLib + "/pellvane/libtessra-sample-host.so"),
         Usr("share/pellvane/help/pellvane-help.html")},
        {"build tree", PELLVANE_BINARY_DIR "/bin/pellvane-register-host",
         PELLVANE_BINARY_DIR "/lib/libtessra-sample-host.so", PELLVANE_BINARY_DIR "/share/pellvane/help/pellvane-help.html"},
    };
    for (const Case& c : cases) {
        ScratchRegistry own;
        SampleHost host;
        ASSERT_EQ(RunProgram({c.tool}, scratch).status, 0) << c.layout;
        const std::string classes = ReadFileBytes(own.file("HKEY_CLASSES_ROOT"));
        for (const SampleHostClass& sample : kSampleHostClasses) {
            const std::string entry = std::string("[HKEY_CLASSES_ROOT\\CLSID\\") + sample.clsid
                                      + "\\InprocServer32]\n@=\"" + c.library + "\"\n";
            EXPECT_NE(classes.find(entry), std::string::npos) << c.layout << "\n" << classes;
        }

        HostObjectPtr launcher;
        ASSERT_EQ(CreateHostObject(kQuickLaunchObjectProgId, launcher), S_OK) << c.layout;
        const std::string said = CaptureStderr(scratch, [&] {
            try {
                launcher.LaunchProgram("Pellvane", "");
            } catch (const _com_error& e) {
                ADD_FAILURE() << c.layout << ": LaunchProgram failed with " << std::hex << e.Error();
            }
        });
        EXPECT_EQ(said, "Pellvane のヘルプ: " + c.help + "\n") << c.layout;
    }
}

} // namespace
