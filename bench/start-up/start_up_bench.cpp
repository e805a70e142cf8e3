// bench-start-up: the installer from exec to its main dialog mapped on the X
// server, on the sample CD-ROM folder of tools/run (40 genres, one of them
// installed) with a scratch registry, against a minimal wxWidgets program
// that opens a dialog with a two-page notebook. Each is started once
// untimed, then 21 times (or runs), in turns; the medians are compared. Also
// the resident memory of each when its window is mapped.
//
//   xvfb-run -a bench-start-up [runs]
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Die(const std::string& what)
{
    std::fprintf(stderr, "bench-start-up: %s\n", what.c_str());
    std::exit(1);
}

pid_t Spawn(const std::vector<std::string>& args, bool quiet)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        Die("cannot run " + args[0]);
    return pid;
}

void Run(const std::vector<std::string>& args)
{
    int status = 0;
    waitpid(Spawn(args, true), &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        Die(args[0] + " failed");
}

long ResidentKb(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

// The process that owns a window, from _NET_WM_PID (0: not set).
pid_t WindowPid(Display* dpy, Window w)
{
    static const Atom pidAtom = XInternAtom(dpy, "_NET_WM_PID", False);
    Atom type;
    int format;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    pid_t pid = 0;
    if (XGetWindowProperty(dpy, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after, &data) ==
            Success &&
        data && items == 1 && format == 32)
        pid = static_cast<pid_t>(*reinterpret_cast<unsigned long*>(data));
    if (data)
        XFree(data);
    return pid;
}

struct Start {
    double seconds = 0;
    long residentKb = 0;
};

// Starts the program and waits for its first top-level window to be mapped.
Start TimeStart(Display* dpy, const std::string& program)
{
    while (XPending(dpy)) {
        XEvent ev;
        XNextEvent(dpy, &ev);
    }
    const auto t0 = Clock::now();
    std::vector<std::string> args;
    args.push_back(program);
    const pid_t pid = Spawn(args, false);
    Start start;
    for (bool mapped = false; !mapped;) {
        if (std::chrono::duration<double>(Clock::now() - t0).count() > 30) {
            kill(pid, SIGKILL);
            Die(program + " showed no window in 30 s");
        }
        pollfd p{ConnectionNumber(dpy), POLLIN, 0};
        poll(&p, 1, 100);
        while (!mapped && XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type != MapNotify || ev.xmap.override_redirect)
                continue;
            const pid_t owner = WindowPid(dpy, ev.xmap.window);
            mapped = owner == 0 || owner == pid;
        }
    }
    start.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    start.residentKb = ResidentKb(pid);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    return start;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void Line(const char* name, double ours, double baseline, const char* unit, double target)
{
    const double ratio = ours / baseline;
    std::printf("%-40s ours %8.3f %-2s  baseline %8.3f %-2s  ratio %5.2f  target <= %gx  holds %s\n", name, ours, unit,
                baseline, unit, ratio, target, ratio <= target ? "yes" : "no");
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 21;
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy)
        Die("no X server (run it under xvfb-run)");
    XSelectInput(dpy, DefaultRootWindow(dpy), SubstructureNotifyMask);
    XSync(dpy, False);

    char tmpl[] = "/tmp/bench-start-up-XXXXXX";
    if (!mkdtemp(tmpl))
        Die("mkdtemp");
    const std::string dir = tmpl;
    for (const char* sub : {"/registry", "/home", "/run"})
        mkdir((dir + sub).c_str(), 0700);
    setenv("TESSRA_REGISTRY_DIR", (dir + "/registry").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir + "/home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);

    // What tools/run sets up, and one genre installed.
    const std::string cd = dir + "/cdrom";
    Run({MAKE_SAMPLE_CD, cd, "--genres", "40", "--points-per-genre", "400"});
    Run({REGISTER_HOST});
    const std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltrane Corporation\\DirectoryServices\\";
    Run({PELLVANE_REG, "set", key + "GuideDirectory", "DataPath_0", cd + "/Guide.dbs"});
    Run({PELLVANE_REG, "set", key + "AddressDirectory", "DataPath_0", cd + "/Adr_L.dbs"});
    Run({PELLVANE_CLI, "--quiet", "install-genres", "ラーメン"});

    // One start of each first, untimed: the first start of all reads the
    // libraries and fonts from disk.
    TimeStart(dpy, PELLVANE);
    TimeStart(dpy, MINIMAL);
    std::vector<double> ours, minimal, oursKb, minimalKb;
    for (int i = 0; i < runs; ++i) {
        // Which goes first changes every round, so that neither always
        // follows the other's exit.
        Start o, m;
        if (i % 2 == 0) {
            o = TimeStart(dpy, PELLVANE);
            m = TimeStart(dpy, MINIMAL);
        } else {
            m = TimeStart(dpy, MINIMAL);
            o = TimeStart(dpy, PELLVANE);
        }
        ours.push_back(o.seconds);
        minimal.push_back(m.seconds);
        oursKb.push_back(static_cast<double>(o.residentKb));
        minimalKb.push_back(static_cast<double>(m.residentKb));
    }
    std::printf("starts of each, in turns, after one untimed start: %d\n", runs);
    Line("start to the main dialog mapped", Median(ours), Median(minimal), "s", 1.2);
    std::printf("  resident memory when mapped: ours %.1f MB, minimal %.1f MB\n", Median(oursKb) / 1024,
                Median(minimalKb) / 1024);
    XCloseDisplay(dpy);
    const std::string cleanup = "rm -rf '" + dir + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
