// The installer as an out-of-process server. It serves no classes; what
// registration adds is its AppID, under HKEY_CLASSES_ROOT\AppID:
//   AppID\{CD05E3D1-5777-4A24-8F5A-F5BF82BAE687}   @ = "Pellvane"
//   AppID\Pellvane.EXE                             "AppID" = the same GUID
// AppID itself is never removed.
#pragma once

#include <string>
#include <vector>

extern const char* const kAppId;       // "{CD05E3D1-5777-4A24-8F5A-F5BF82BAE687}"
extern const char* const kAppIdExeKey; // "Pellvane.EXE"

enum class ServerCommand { None, Register, Unregister };

// The command-line word that asks for registration. Looks for every "-" or
// "/" in turn; the token after it runs to the end of the line and must be
// "UnregServer" or "RegServer" in any case, so a word followed by anything,
// even a blank, is no command.
ServerCommand FindServerCommand(const std::string& commandLine);

// The arguments joined by single blanks, program path first, without quotes.
std::string JoinCommandLine(const std::vector<std::string>& args);

// This process's command line: its arguments as it was started with them
// (/proc/self/cmdline), joined as above. "" when they cannot be read.
std::string GetProcessCommandLine();

// Registry script 310: writes the two AppID keys, or removes them (never
// AppID). Results are not reported; running either twice is harmless.
void RegisterAppId();
void UnregisterAppId();
