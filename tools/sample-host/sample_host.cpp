// A sample of the host application's component: the folder object, the
// quick-launch object and the about-box object, behind the C entry point of
// settings/host_abi.h. It stands in for the real host on a developer's
// machine and in the tests.
//
// Environment:
//   TESSRA_SAMPLE_HOST_LOG=<file>     append one line per method call
//   TESSRA_SAMPLE_HOST_FAIL=<names>   these methods (comma-separated) fail with
//                                     E_FAIL; "TessraGetClassObject" fails
//                                     creation, "AbiVersion" hands out objects
//                                     of an unknown ABI version
//   TESSRA_SAMPLE_HOST_NO_UI=1        start no program; print to stderr instead
//   TESSRA_SAMPLE_HOST_FOLDER=<text>  GetDataFolder answers this text as it
//                                     stands (even empty) and creates nothing

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "settings/host_abi.h"
#include "tools/sample-host/sample_host_classes.h"

extern char** environ;

#define SAMPLE_HOST_EXPORT __attribute__((visibility("default")))

namespace {

constexpr TessraHResult kOk = 0;
constexpr TessraHResult kFail = static_cast<TessraHResult>(0x80004005u);
constexpr TessraHResult kInvalidArg = static_cast<TessraHResult>(0x80070057u);
constexpr TessraHResult kPointer = static_cast<TessraHResult>(0x80004003u);
constexpr TessraHResult kFileNotFound = static_cast<TessraHResult>(0x80070002u);
constexpr TessraHResult kPathNotFound = static_cast<TessraHResult>(0x80070003u);
constexpr TessraHResult kClassNotAvailable = static_cast<TessraHResult>(0x80040111u);

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

void LogCall(const std::string& line)
{
    const std::string path = Env("TESSRA_SAMPLE_HOST_LOG");
    if (path.empty())
        return;
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const std::string text = line + "\n";
    // One write per line, so lines of concurrent callers never interleave.
    ssize_t written = write(fd, text.data(), text.size());
    (void)written;
    close(fd);
}

bool ShouldFail(const char* method)
{
    const std::string list = Env("TESSRA_SAMPLE_HOST_FAIL");
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        if (list.compare(start, end - start, method) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

bool NoUi() { return !Env("TESSRA_SAMPLE_HOST_NO_UI").empty(); }

std::string FindInPath(const char* program)
{
    const std::string path = Env("PATH");
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string dir = path.substr(start, end - start);
        if (!dir.empty()) {
            const std::string candidate = dir + "/" + program;
            struct stat st;
            if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return "";
}

// Starts argv detached from us: a shell puts it in the background and exits
// at once, so the caller never waits for it and no zombie stays behind.
bool StartDetached(const std::vector<std::string>& argv)
{
    std::vector<std::string> args = {"sh", "-c", "\"$@\" </dev/null >/dev/null 2>&1 &", "sh"};
    args.insert(args.end(), argv.begin(), argv.end());
    std::vector<char*> cargs;
    for (std::string& a : args)
        cargs.push_back(a.data());
    cargs.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Descriptors the caller forgot to mark close-on-exec (a test runner's
    // pipes, a lock) must not live on in a long-running viewer.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, "/bin/sh", &actions, nullptr, cargs.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

std::string LibraryDir()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&LibraryDir), &info) == 0 || !info.dli_fname)
        return "";
    std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string HomeDir()
{
    std::string home = Env("HOME");
    if (!home.empty())
        return home;
    if (const passwd* pw = getpwuid(getuid()))
        return pw->pw_dir ? pw->pw_dir : "";
    return "";
}

bool MakeDirs(const std::string& path)
{
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/')
            continue;
        const std::string part = path.substr(0, pos);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void FreeString(char* text) { std::free(text); }

void ReleaseObject(TessraHostObject* self) { delete self; }

TessraHResult GetDataFolder(TessraHostObject*, char** folder)
{
    LogCall("GetDataFolder");
    if (!folder)
        return kPointer;
    *folder = nullptr;
    if (ShouldFail("GetDataFolder"))
        return kFail;
    if (const char* fixed = std::getenv("TESSRA_SAMPLE_HOST_FOLDER")) {
        *folder = strdup(fixed);
        return *folder ? kOk : kFail;
    }
    std::string base = Env("XDG_DATA_HOME");
    if (base.empty() || base[0] != '/') {
        const std::string home = HomeDir();
        if (home.empty())
            return kPathNotFound;
        base = home + "/.local/share";
    }
    const std::string path = base + "/tessra/LocalData";
    if (!MakeDirs(path))
        return kPathNotFound;
    *folder = strdup(path.c_str());
    return *folder ? kOk : kFail;
}

TessraHResult LaunchProgram(TessraHostObject*, const char* program, const char* /*arg*/, int* result)
{
    const std::string name = program ? program : "";
    LogCall("LaunchProgram " + name);
    if (result)
        *result = 0;
    if (ShouldFail("LaunchProgram"))
        return kFail;
    if (name.empty())
        return kInvalidArg;
    std::string page;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '_')
            return kInvalidArg;
        page += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    // Installed, the help lies in the data folder of the installation; in the
    // build tree, in share/ beside lib/.
    char resolved[PATH_MAX];
    const std::string dir = LibraryDir();
    if (!realpath((dir + "/" SAMPLE_HOST_DATA_FROM_LIBRARY "/pellvane/help/" + page + "-help.html").c_str(), resolved)
        && !realpath((dir + "/../share/pellvane/help/" + page + "-help.html").c_str(), resolved))
        return kFileNotFound;
    page = resolved;

    const std::string opener = NoUi() ? "" : FindInPath("xdg-open");
    if (opener.empty() || !StartDetached({opener, page}))
        std::fprintf(stderr, "%s のヘルプ: %s\n", name.c_str(), page.c_str());
    if (result)
        *result = 1;
    return kOk;
}

TessraHResult ShowAboutBox(TessraHostObject*, int32_t /*hwnd*/, int32_t /*hinstance*/, int* result)
{
    LogCall("ShowAboutBox");
    if (result)
        *result = 0;
    if (ShouldFail("ShowAboutBox"))
        return kFail;
    const std::string text = "Tessra 5.0 サンプルホスト\n"
                             "データインストーラ Pellvane と組み合わせて使う見本のホスト部品です。\n"
                             "バージョン " SAMPLE_HOST_VERSION;
    const std::string zenity = NoUi() ? "" : FindInPath("zenity");
    if (zenity.empty()
        || !StartDetached({zenity, "--info", "--no-wrap", "--title=バージョン情報", "--text=" + text}))
        std::fprintf(stderr, "%s\n", text.c_str());
    if (result)
        *result = 1;
    return kOk;
}

TessraHostObject* NewObject()
{
    auto* object = new TessraHostObject();
    object->abiVersion = ShouldFail("AbiVersion") ? TESSRA_HOST_ABI_VERSION + 1000 : TESSRA_HOST_ABI_VERSION;
    object->Release = ReleaseObject;
    object->FreeString = FreeString;
    return object;
}

bool SameClsid(const char* a, const char* b)
{
    return strcasecmp(a, b) == 0;
}

} // namespace

extern "C" SAMPLE_HOST_EXPORT TessraHResult TessraGetClassObject(const char* clsid, TessraHostObject** out)
{
    if (!out)
        return kPointer;
    *out = nullptr;
    if (!clsid)
        return kInvalidArg;
    if (ShouldFail("TessraGetClassObject"))
        return kFail;
    TessraHostObject* object = nullptr;
    if (SameClsid(clsid, kSampleFolderClass.clsid)) {
        object = NewObject();
        object->GetDataFolder = GetDataFolder;
    } else if (SameClsid(clsid, kSampleQuickLaunchClass.clsid)) {
        object = NewObject();
        object->LaunchProgram = LaunchProgram;
    } else if (SameClsid(clsid, kSampleAboutDialogClass.clsid)) {
        object = NewObject();
        object->ShowAboutBox = ShowAboutBox;
    } else {
        return kClassNotAvailable;
    }
    *out = object;
    return kOk;
}
