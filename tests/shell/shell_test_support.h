// Shared by the application-shell tests: environment variables set for a
// scope, and the sample host component registered in the scratch registry.
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "settings/host_registration.h"
#include "support/test_support.h"
#include "tools/sample-host/sample_host_classes.h"

// Sets (or, with unset, removes) an environment variable for its lifetime.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value, bool unset = false)
        : m_name(name)
    {
        if (const char* old = std::getenv(name)) {
            m_old = old;
            m_had = true;
        }
        if (unset)
            unsetenv(name);
        else
            setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_had)
            setenv(m_name, m_old.c_str(), 1);
        else
            unsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::string m_old;
    bool m_had = false;
};

// Registers the sample host's three classes in HKEY_CLASSES_ROOT of the
// registry now in use.
inline bool RegisterSampleHost()
{
    const std::string library = std::string(PELLVANE_BINARY_DIR) + "/lib/" + kSampleHostLibraryName;
    bool ok = PathExists(library);
    for (const SampleHostClass& c : kSampleHostClasses)
        ok = RegisterHostClass({c.progId, c.clsid, c.description}, library) && ok;
    return ok;
}

// The sample host's call log, one call a line.
inline std::vector<std::string> ReadLog(const std::string& path)
{
    std::vector<std::string> lines;
    std::istringstream in(ReadFileBytes(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
