#include "support/test_support.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/pellvane-test-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = buf.data();
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests make files read-only; give write access back before removing.
    for (auto it = fs::recursive_directory_iterator(m_path, ec); !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

std::string TempDir::operator/(const std::string& name) const
{
    return m_path + "/" + name;
}

ScratchRegistry::ScratchRegistry()
{
    if (const char* old = std::getenv("TESSRA_REGISTRY_DIR")) {
        m_old = old;
        m_hadOld = true;
    }
    setenv("TESSRA_REGISTRY_DIR", m_dir.path().c_str(), 1);
}

ScratchRegistry::~ScratchRegistry()
{
    if (m_hadOld)
        setenv("TESSRA_REGISTRY_DIR", m_old.c_str(), 1);
    else
        unsetenv("TESSRA_REGISTRY_DIR");
}

std::string ScratchRegistry::file(const char* rootName) const
{
    return m_dir.path() + "/" + rootName + ".reg";
}

MessageRecorder::MessageRecorder()
{
    m_previous = SetMessageBoxHandler([this](const std::string& utf8, UINT type) -> int {
        m_shown.push_back({utf8, type});
        if (!m_answers.empty()) {
            int id = m_answers.front();
            m_answers.pop_front();
            return id;
        }
        return (type & MB_YESNO) ? IDNO : IDOK;
    });
}

MessageRecorder::~MessageRecorder()
{
    SetMessageBoxHandler(m_previous);
}

std::vector<std::string> MessageRecorder::texts() const
{
    std::vector<std::string> out;
    for (const auto& s : m_shown)
        out.push_back(s.text);
    return out;
}

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "";
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool PathExists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

std::vector<std::string> ListDir(const std::string& path)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::directory_iterator(path, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string SqliteShellOutput(const std::string& path, const std::string& sql)
{
    // The statements go in on standard input, where dot-commands work too.
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0)
        throw std::runtime_error("pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        for (int fd : {in[0], in[1], out[0], out[1]})
            close(fd);
        execl("/usr/bin/sqlite3", "sqlite3", "-batch", "-bail", path.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    const bool written = write(in[1], sql.data(), sql.size()) == static_cast<ssize_t>(sql.size());
    close(in[1]);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!written || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("sqlite3 failed on " + sql);
    return text;
}

const std::vector<std::string>& BeyondCp932()
{
    static const std::vector<std::string> values = {"𠮷野家", "Café", "© 2026", "寿司🍣", "𩸽の俠", "bad \xff\xfe"};
    return values;
}

std::string TextLiteral(const std::string& bytes)
{
    static const char* const digits = "0123456789ABCDEF";
    std::string hex;
    for (unsigned char c : bytes)
        hex += std::string{digits[c >> 4], digits[c & 15]};
    return "CAST(X'" + hex + "' AS TEXT)";
}
