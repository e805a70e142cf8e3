// pellvane-register-host [--unregister] [--library PATH]
//
// Writes the sample host component's three ProgIDs and their class entries
// into HKEY_CLASSES_ROOT of $TESSRA_REGISTRY_DIR, or removes them. Without
// --library the component is the one installed with this tool
// (<bin>/../lib/<multiarch>/pellvane/libtessra-sample-host.so), or in the build
// tree <bin>/../lib/libtessra-sample-host.so. Running it twice is harmless.

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <unistd.h>

#include "platform/cp932.h"
#include "platform/registry.h"
#include "settings/host_registration.h"
#include "tools/sample-host/sample_host_classes.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: pellvane-register-host [--unregister] [--library PATH]\n");
    return 2;
}

std::string ExecutableDir()
{
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0)
        return ".";
    path[n] = '\0';
    std::string text = path;
    const size_t slash = text.rfind('/');
    return slash == std::string::npos ? "." : text.substr(0, slash);
}

HostClassEntry EntryOf(const SampleHostClass& c) { return {c.progId, c.clsid, c.description}; }

} // namespace

int main(int argc, char** argv)
{
    bool unregister = false;
    std::string library;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--unregister") == 0)
            unregister = true;
        else if (std::strcmp(argv[i], "--library") == 0 && i + 1 < argc)
            library = argv[++i];
        else
            return Usage();
    }

    if (unregister) {
        bool ok = true;
        for (const SampleHostClass& c : kSampleHostClasses)
            ok = UnregisterHostClass(EntryOf(c)) && ok;
        if (!ok) {
            std::fprintf(stderr, "pellvane-register-host: cannot remove the classes from %s\n",
                         RegistryDirectory().c_str());
            return 1;
        }
        return 0;
    }

    if (library.empty()) {
        // Installed, the component lies in the installation's private library
        // folder; in the build tree, in lib/ beside bin/.
        const std::string dir = ExecutableDir();
        library = dir + "/" PELLVANE_SAMPLE_HOST_FROM_BINDIR "/" + kSampleHostLibraryName;
        if (access(library.c_str(), F_OK) != 0)
            library = dir + "/../lib/" + kSampleHostLibraryName;
    }
    // The registry names the library by an absolute path, so it is found
    // whatever the program's working folder.
    char resolved[PATH_MAX];
    if (!realpath(library.c_str(), resolved)) {
        std::fprintf(stderr, "pellvane-register-host: no such library: %s\n", library.c_str());
        return 1;
    }
    std::string libraryCp932;
    if (!Utf8ToCp932(resolved, libraryCp932)) {
        std::fprintf(stderr, "pellvane-register-host: the path has characters that code page 932 cannot hold: %s\n",
                     resolved);
        return 1;
    }
    for (const SampleHostClass& c : kSampleHostClasses) {
        if (!RegisterHostClass(EntryOf(c), libraryCp932)) {
            std::fprintf(stderr, "pellvane-register-host: cannot write %s in %s\n", c.progId,
                         RegistryDirectory().c_str());
            return 1;
        }
    }
    return 0;
}
