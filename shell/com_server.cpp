#include "shell/com_server.h"

#include <strings.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/registry.h"

const char* const kAppId = "{CD05E3D1-5777-4A24-8F5A-F5BF82BAE687}";
const char* const kAppIdExeKey = "Pellvane.EXE";

namespace {

const char* const kProgramName = "Pellvane";

std::string AppIdKey() { return std::string("AppID\\") + kAppId; }
std::string ExeKey() { return std::string("AppID\\") + kAppIdExeKey; }

void SetStringValue(const std::string& subKey, LPCSTR valueName, const char* text)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const unsigned char*>(text),
                   static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(key);
}

} // namespace

ServerCommand FindServerCommand(const std::string& commandLine)
{
    for (size_t i = commandLine.find_first_of("-/"); i != std::string::npos;
         i = commandLine.find_first_of("-/", i + 1)) {
        const char* token = commandLine.c_str() + i + 1;
        if (strcasecmp(token, "UnregServer") == 0)
            return ServerCommand::Unregister;
        if (strcasecmp(token, "RegServer") == 0)
            return ServerCommand::Register;
    }
    return ServerCommand::None;
}

std::string JoinCommandLine(const std::vector<std::string>& args)
{
    std::string line;
    for (const std::string& arg : args) {
        if (!line.empty())
            line += ' ';
        line += arg;
    }
    return line;
}

std::string GetProcessCommandLine()
{
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> args;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos)
            end = raw.size();
        args.push_back(raw.substr(start, end - start));
        start = end + 1;
    }
    return JoinCommandLine(args);
}

void RegisterAppId()
{
    SetStringValue(AppIdKey(), "", kProgramName);
    SetStringValue(ExeKey(), "AppID", kAppId);
}

void UnregisterAppId()
{
    RegDeleteKeyA(HKEY_CLASSES_ROOT, AppIdKey().c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, ExeKey().c_str());
}
