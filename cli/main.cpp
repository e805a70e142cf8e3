// pellvane-cli: the installer's work without a window, for administrators
// and provisioning tools. See pellvane-cli(1).
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "platform/cp932.h"
#include "platform/instance_lock.h"
#include "res/strings.h"
#include "shell/instance_guard.h"

namespace {

const UINT IDS_WINDOW_RUNNING = 6010;
const UINT IDS_USAGE = 6030;

int Usage(const std::string& problem)
{
    std::fprintf(stderr, "pellvane-cli: %s\n%s\n", problem.c_str(), LoadResStringUtf8(IDS_USAGE).c_str());
    return 2;
}

// An absolute CP932 folder from a command-line folder.
bool FolderArgument(const std::string& utf8, std::string& cp932)
{
    std::string path = utf8;
    if (!path.empty() && path[0] != '/') {
        char cwd[4096];
        if (!::getcwd(cwd, sizeof cwd))
            return false;
        path = std::string(cwd) + "/" + path;
    }
    return !utf8.empty() && Utf8ToCp932(path, cp932);
}

bool Known(const std::string& command)
{
    for (const char* c :
         {"status", "install-genres", "remove-genres", "install-address", "verify", "update", "compact"})
        if (command == c)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    CliOptions o;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        std::string value;
        const bool takesValue =
            arg == "--cd" || arg == "--hd" || arg.rfind("--cd=", 0) == 0 || arg.rfind("--hd=", 0) == 0;
        if (takesValue) {
            const size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                return Usage(arg + " needs a folder");
            }
            if (!FolderArgument(value, arg == "--cd" ? o.cd : o.hd))
                return Usage("cannot use the folder " + value);
        } else if (arg == "--help" || arg == "-h") {
            std::printf("%s\n", LoadResStringUtf8(IDS_USAGE).c_str());
            return 0;
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "--quiet" || arg == "-q") {
            o.quiet = true;
        } else if (arg == "--ignore-space") {
            o.ignoreSpace = true;
        } else if (arg == "--all") {
            o.all = true;
        } else if (arg == "--") {
            for (++i; i < argc; ++i)
                o.operands.push_back(argv[i]);
        } else if (arg.size() > 1 && arg[0] == '-') {
            return Usage("unknown option " + arg);
        } else if (o.command.empty()) {
            o.command = arg;
        } else {
            o.operands.push_back(arg);
        }
    }

    if (o.command.empty())
        return Usage("no command");
    if (!Known(o.command))
        return Usage("unknown command " + o.command);
    const bool genres = o.command == "install-genres" || o.command == "remove-genres";
    if (genres && o.operands.empty() && !o.all)
        return Usage(o.command + " needs genre names or --all");
    if (genres && !o.operands.empty() && o.all)
        return Usage(o.command + " takes genre names or --all, not both");
    if (!genres && o.all)
        return Usage("--all belongs to install-genres and remove-genres");
    if (o.command == "install-address" &&
        (o.operands.size() != 1 || (o.operands[0] != "standard" && o.operands[0] != "detailed")))
        return Usage("install-address needs standard or detailed");
    if (!genres && o.command != "install-address" && !o.operands.empty())
        return Usage(o.command + " takes no operands");

    RouteMessagesToStderr();
    // The window's own mutex: neither runs while the other does.
    InstanceLock lock;
    if (!lock.Acquire(BuildInstanceName("Pellvane"))) {
        ShowMessage(IDS_WINDOW_RUNNING);
        if (o.json)
            std::printf("%s\n",
                        Json()
                            .Open()
                            .Str("command", o.command)
                            .Bool("ok", false)
                            .Bool("changed", false)
                            .Close()
                            .Text()
                            .c_str());
        return 1;
    }
    // Work that changes files ends at a safe point on Ctrl+C; looking needs
    // no such care.
    if (o.command != "status" && o.command != "verify")
        InstallInterruptHandlers();

    Json json;
    json.Open().Str("command", o.command);
    bool changed = false;
    std::string text;
    const int status = RunCommand(o, json, changed, text);
    json.Bool("ok", status == 0).Bool("changed", changed).Close();
    if (o.json)
        std::printf("%s\n", json.Text().c_str());
    else if (!o.quiet)
        std::fputs(text.c_str(), stdout);
    return status;
}
