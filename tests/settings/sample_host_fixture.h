// The sample host component in the registry in use, with its data home, call
// log and failure switch in a folder of its own; it never starts a viewer.
#pragma once

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "settings/host_registration.h"
#include "support/test_support.h"
#include "tools/sample-host/sample_host_classes.h"

// Sets (or, with nullptr, removes) one environment variable for its lifetime.
class EnvVar {
public:
    EnvVar(const char* name, const std::string& value) : EnvVar(name, value.c_str()) {}
    EnvVar(const char* name, const char* value) : m_name(name), m_had(std::getenv(name)), m_old(m_had ? std::getenv(name) : "")
    {
        Set(value);
    }
    ~EnvVar() { Set(m_had ? m_old.c_str() : nullptr); }
    void Set(const char* value) { value ? setenv(m_name.c_str(), value, 1) : unsetenv(m_name.c_str()); }

private:
    std::string m_name;
    bool m_had;
    std::string m_old;
};

inline std::string SampleHostLibrary() { return std::string(PELLVANE_BINARY_DIR) + "/lib/" + kSampleHostLibraryName; }

class SampleHost {
public:
    static void Register()
    {
        for (const SampleHostClass& c : kSampleHostClasses)
            RegisterHostClass({c.progId, c.clsid, c.description}, SampleHostLibrary());
    }
    void FailMethod(const char* names) { m_fail.Set(names); }
    void AnswerFolder(const char* folder) { m_folder.Set(folder); }
    std::string Folder() const { return m_dir / "data/tessra/LocalData"; } // GetDataFolder's default
    const TempDir& dir() const { return m_dir; }

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
    EnvVar m_dataHome{"XDG_DATA_HOME", m_dir / "data"};
    EnvVar m_log{"TESSRA_SAMPLE_HOST_LOG", m_dir / "host.log"};
    EnvVar m_noUi{"TESSRA_SAMPLE_HOST_NO_UI", "1"};
    EnvVar m_fail{"TESSRA_SAMPLE_HOST_FAIL", nullptr};
    EnvVar m_folder{"TESSRA_SAMPLE_HOST_FOLDER", nullptr};
};
