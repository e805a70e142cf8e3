// What pellvane-cli shows: messages on standard error in UTF-8, a progress
// bar when standard error is a terminal, and JSON on standard output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "services/progress_sink.h"

// Set from the SIGINT/SIGTERM handler; read by the work between rows.
bool Interrupted();
void InstallInterruptHandlers();

// Sends every AfxMessageBox of the engine and the services to standard
// error; a question is answered No.
void RouteMessagesToStderr();

// A string-table entry (its %s taking arg) on standard error.
void ShowMessage(unsigned nID);
void ShowMessage(unsigned nID, const std::string& argCp932);
// The same with an argument that may have no CP932 form.
void ShowMessageUtf8(unsigned nID, const std::string& argUtf8);
// The same, unless quiet: what was done rather than what went wrong.
void ShowNote(bool quiet, unsigned nID, const std::string& argCp932);

// The bar: a caption line, then "[####      ]  42%  1,234/2,345 rows",
// redrawn when the percentage changes. Nothing unless enabled.
class ConsoleProgress : public CProgressSink {
public:
    explicit ConsoleProgress(bool enabled)
        : m_enabled(enabled)
    {
    }
    ~ConsoleProgress() override { End(); }

    void Begin(const std::string& captionCp932, const char* unit);
    void End();

    int PumpAndStep() override;
    void SetRange(int nLower, int nUpper) override;
    void SetPos(int nPos) override;
    void SetStep(int nStep) override { m_step = nStep; }

    // For byte counts (the address copy).
    void Show(std::uint64_t done, std::uint64_t total);

private:
    void Draw(std::uint64_t done, std::uint64_t total);

    bool m_enabled;
    bool m_open = false;
    const char* m_unit = "rows";
    int m_lower = 0, m_upper = 100, m_pos = 0, m_step = 1;
    int m_lastPercent = -1;
};

// Whether progress should be drawn: standard error is a terminal and not quiet.
bool ProgressWanted(bool quiet);

// A small JSON writer: values are UTF-8 (CP932 strings are converted by the
// caller).
class Json {
public:
    Json& Open(const char* key = nullptr); // {
    Json& Close();                         // }
    Json& OpenArray(const char* key = nullptr);
    Json& CloseArray();
    Json& Str(const char* key, const std::string& utf8);
    Json& Num(const char* key, long long v);
    Json& Bool(const char* key, bool v);
    Json& Null(const char* key);
    const std::string& Text() const { return m_out; }

private:
    void Key(const char* key);
    std::string m_out;
    std::vector<bool> m_first;
};

std::string JsonQuote(const std::string& utf8);
