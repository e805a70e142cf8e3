#include "cli/console.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "platform/cp932.h"
#include "platform/message_box.h"
#include "res/strings.h"

namespace {

volatile sig_atomic_t g_interrupted = 0;

void OnInterrupt(int)
{
    g_interrupted = 1;
}

void WriteErr(const std::string& utf8)
{
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fflush(stderr);
}

std::string Grouped(std::uint64_t n)
{
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

} // namespace

bool Interrupted()
{
    return g_interrupted != 0;
}

void InstallInterruptHandlers()
{
    struct sigaction sa = {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

void RouteMessagesToStderr()
{
    SetMessageBoxHandler([](const std::string& textUtf8, UINT type) {
        WriteErr(textUtf8 + "\n");
        return (type & MB_YESNO) ? IDNO : IDOK;
    });
}

void ShowMessage(unsigned nID)
{
    WriteErr(LoadResStringUtf8(nID) + "\n");
}

void ShowMessage(unsigned nID, const std::string& argCp932)
{
    WriteErr(ToUtf8(FormatResString(nID, argCp932)) + "\n");
}

void ShowMessageUtf8(unsigned nID, const std::string& argUtf8)
{
    std::string text = LoadResStringUtf8(nID);
    const std::string::size_type at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, argUtf8);
    WriteErr(text + "\n");
}

void ShowNote(bool quiet, unsigned nID, const std::string& argCp932)
{
    if (!quiet)
        ShowMessage(nID, argCp932);
}

bool ProgressWanted(bool quiet)
{
    return !quiet && ::isatty(STDERR_FILENO);
}

void ConsoleProgress::Begin(const std::string& captionCp932, const char* unit)
{
    End();
    m_unit = unit;
    m_lastPercent = -1;
    if (!m_enabled)
        return;
    WriteErr(ToUtf8(captionCp932) + "\n");
    m_open = true;
}

void ConsoleProgress::End()
{
    if (m_open)
        WriteErr("\n");
    m_open = false;
}

int ConsoleProgress::PumpAndStep()
{
    const int previous = m_pos;
    if (m_pos < m_upper)
        m_pos += m_step;
    if (g_interrupted)
        m_bCancel = TRUE;
    if (m_open)
        Draw(static_cast<std::uint64_t>(m_pos - m_lower), static_cast<std::uint64_t>(m_upper - m_lower));
    return previous;
}

void ConsoleProgress::SetRange(int nLower, int nUpper)
{
    m_lower = nLower;
    m_upper = nUpper > nLower ? nUpper : nLower + 1;
}

void ConsoleProgress::SetPos(int nPos)
{
    m_pos = nPos;
    m_bCancel = FALSE;
    m_lastPercent = -1;
    if (m_open)
        Draw(static_cast<std::uint64_t>(m_pos - m_lower), static_cast<std::uint64_t>(m_upper - m_lower));
}

void ConsoleProgress::Show(std::uint64_t done, std::uint64_t total)
{
    if (m_open)
        Draw(done, total ? total : 1);
}

void ConsoleProgress::Draw(std::uint64_t done, std::uint64_t total)
{
    const int percent = static_cast<int>(done * 100 / total);
    if (percent == m_lastPercent)
        return;
    m_lastPercent = percent;
    const int width = 30;
    const int filled = percent * width / 100;
    std::string bar = "\r[" + std::string(static_cast<size_t>(filled), '#') +
        std::string(static_cast<size_t>(width - filled), ' ') + "] ";
    char pct[8];
    std::snprintf(pct, sizeof pct, "%3d%%", percent);
    bar += pct;
    bar += "  " + Grouped(done) + "/" + Grouped(total) + " " + m_unit + "\x1b[K";
    WriteErr(bar);
}

// ---------------------------------------------------------------------------

std::string JsonQuote(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

void Json::Key(const char* key)
{
    if (!m_first.empty()) {
        if (!m_first.back())
            m_out += ',';
        m_first.back() = false;
    }
    if (key)
        m_out += JsonQuote(key) + ":";
}

Json& Json::Open(const char* key)
{
    Key(key);
    m_out += '{';
    m_first.push_back(true);
    return *this;
}

Json& Json::Close()
{
    m_out += '}';
    m_first.pop_back();
    return *this;
}

Json& Json::OpenArray(const char* key)
{
    Key(key);
    m_out += '[';
    m_first.push_back(true);
    return *this;
}

Json& Json::CloseArray()
{
    m_out += ']';
    m_first.pop_back();
    return *this;
}

Json& Json::Str(const char* key, const std::string& utf8)
{
    Key(key);
    m_out += JsonQuote(utf8);
    return *this;
}

Json& Json::Num(const char* key, long long v)
{
    Key(key);
    m_out += std::to_string(v);
    return *this;
}

Json& Json::Bool(const char* key, bool v)
{
    Key(key);
    m_out += v ? "true" : "false";
    return *this;
}

Json& Json::Null(const char* key)
{
    Key(key);
    m_out += "null";
    return *this;
}
