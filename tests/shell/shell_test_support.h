// Shared by the application-shell tests: environment variables set for a
// scope, and the sample host component with its call log.
#pragma once

#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "settings/host_registration.h"
#include "support/test_support.h"
#include "tools/sample-host/sample_host_classes.h"

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() { m_old ? setenv(m_name, m_old->c_str(), 1) : unsetenv(m_name); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// The sample host as the tests meet it: it logs its calls and starts no
// viewer; failing names the methods that fail.
class SampleHost {
public:
    explicit SampleHost(const std::string& failing = "") : m_fail("TESSRA_SAMPLE_HOST_FAIL", failing) {}

    // Registers its classes in HKEY_CLASSES_ROOT of the registry in use.
    static bool Register()
    {
        const std::string library = std::string(PELLVANE_BINARY_DIR) + "/lib/" + kSampleHostLibraryName;
        bool ok = PathExists(library);
        for (const SampleHostClass& c : kSampleHostClasses)
            ok = RegisterHostClass({c.progId, c.clsid, c.description}, library) && ok;
        return ok;
    }
    // The calls logged since the last look, one a line.
    std::vector<std::string> TakeCalls()
    {
        std::vector<std::string> lines;
        std::istringstream in(ReadFileBytes(m_dir / "host.log"));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        WriteFileBytes(m_dir / "host.log", "");
        return lines;
    }

private:
    TempDir m_dir;
    ScopedEnv m_log{"TESSRA_SAMPLE_HOST_LOG", m_dir / "host.log"};
    ScopedEnv m_noUi{"TESSRA_SAMPLE_HOST_NO_UI", "1"};
    ScopedEnv m_fail;
};
