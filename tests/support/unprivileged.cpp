#include "support/unprivileged.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "support/test_support.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

const char kMarker[] = "PELLVANE_TEST_UNPRIVILEGED";

// Whether every folder above path lets others in and others may run it.
bool OthersCanRun(const std::string& path)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || (st.st_mode & S_IROTH) == 0 || (st.st_mode & S_IXOTH) == 0)
        return false;
    for (fs::path dir = fs::path(path).parent_path(); !dir.empty() && dir != dir.root_path(); dir = dir.parent_path())
        if (stat(dir.c_str(), &st) != 0 || (st.st_mode & S_IXOTH) == 0)
            return false;
    return true;
}

void Own(const std::string& path, mode_t mode)
{
    const passwd* nobody = getpwnam("nobody");
    if (!nobody || chown(path.c_str(), nobody->pw_uid, nobody->pw_gid) != 0 || chmod(path.c_str(), mode) != 0)
        ADD_FAILURE() << "cannot give " << path << " to nobody";
}

} // namespace

bool RunsUnprivileged(const std::vector<std::string>& extraEnv)
{
    if (geteuid() != 0)
        return true;
    if (std::getenv(kMarker)) {
        ADD_FAILURE() << "the unprivileged run is still root";
        return false;
    }

    // /tmp is open to everyone; the folder itself only to nobody.
    char tmpl[] = "/tmp/pellvane-nobody-XXXXXX";
    if (!mkdtemp(tmpl)) {
        ADD_FAILURE() << "mkdtemp failed";
        return false;
    }
    const std::string base = tmpl;
    struct Cleanup {
        std::string path;
        ~Cleanup()
        {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    } cleanup{base};
    for (const char* sub : {"", "/home", "/run", "/tmp"}) {
        if (*sub)
            mkdir((base + sub).c_str(), 0700);
        Own(base + sub, 0700);
    }

    std::string exe = fs::read_symlink("/proc/self/exe");
    if (!OthersCanRun(exe)) {
        const std::string copy = base + "/" + fs::path(exe).filename().string();
        fs::copy_file(exe, copy);
        Own(copy, 0755);
        exe = copy;
    }

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name != "HOME" && name != "TMPDIR" && name != "XDG_RUNTIME_DIR" && name != "XAUTHORITY")
            env.push_back(entry);
    }
    env.push_back("HOME=" + base + "/home");
    env.push_back("TMPDIR=" + base + "/tmp");
    env.push_back("XDG_RUNTIME_DIR=" + base + "/run");
    env.push_back(std::string(kMarker) + "=1");
    // xvfb-run's cookie lies in a folder of root's own.
    if (const char* xauth = std::getenv("XAUTHORITY"); xauth && PathExists(xauth)) {
        const std::string cookie = base + "/Xauthority";
        WriteFileBytes(cookie, ReadFileBytes(xauth));
        Own(cookie, 0600);
        env.push_back("XAUTHORITY=" + cookie);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());

    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    std::vector<std::string> args = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", exe, filter};
    std::vector<char*> argv, envp;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        execve("/usr/bin/setpriv", argv.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    const bool exited = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status);
    EXPECT_TRUE(exited && WEXITSTATUS(status) == 0)
        << "the run as nobody failed (" << (exited ? "status " + std::to_string(WEXITSTATUS(status)) : "no exit")
        << "); its output is above";
    return false;
}
