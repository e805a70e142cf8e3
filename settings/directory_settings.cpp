#include "settings/directory_settings.h"

#include <cstring>

#include "platform/cp932.h"
#include "platform/message_box.h"
#include "settings/host_object.h"

const char* const kAddressKey = "SOFTWARE\\Veltrane Corporation\\DirectoryServices\\AddressDirectory";
const char* const kGuideKey = "SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory";

namespace {

constexpr DWORD kStringBufferSize = 1024;

// A key handle closed at end of scope.
class OpenKey {
public:
    OpenKey() = default;
    ~OpenKey()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;

    HKEY* out() { return &m_key; }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

std::string WithDefault(std::string value, const char* fallback)
{
    return value.empty() ? std::string(fallback) : value;
}

// "DataPath_1" of key, or the host's data folder followed by fileName.
std::string GetHdPath(LPCSTR key, LPCSTR fileName)
{
    std::string path = ReadDirectoryValue(key, "DataPath_1");
    if (!path.empty())
        return path;

    // A folder query that raises ends like a creation that failed: the user
    // learns the default is unavailable and the page starts with no path.
    std::string folder;
    bool ok = false;
    {
        HostObjectPtr folderObject;
        if (!FAILED(CreateHostObject(kFolderObjectProgId, folderObject))) {
            try {
                folder = folderObject.GetDataFolder();
                ok = true;
            } catch (const _com_error&) {
            }
        }
    }
    if (!ok) {
        AfxMessageBox(FromUtf8("TessraFolderObjectの作成に失敗した"), MB_OK);
        return "";
    }
    // A CP932 trail byte is never 0x2F, so the byte test is safe.
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder + (fileName ? fileName : "");
}

} // namespace

DWORD RegReadDword(HKEY root, LPCSTR subKey, LPCSTR valueName)
{
    OpenKey key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExA(key.get(), valueName, nullptr, nullptr,
                         reinterpret_cast<unsigned char*>(&value), &size) != ERROR_SUCCESS)
        return 0;
    return value;
}

std::string RegReadString(HKEY root, LPCSTR subKey, LPCSTR valueName)
{
    OpenKey key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return "";
    unsigned char buffer[kStringBufferSize] = {};
    DWORD size = sizeof(buffer);
    // A value too long for the buffer (ERROR_MORE_DATA) reads as missing.
    if (RegQueryValueExA(key.get(), valueName, nullptr, nullptr, buffer, &size) != ERROR_SUCCESS)
        return "";
    if (size > sizeof(buffer))
        size = sizeof(buffer);
    const char* text = reinterpret_cast<const char*>(buffer);
    const void* nul = std::memchr(text, '\0', size);
    return std::string(text, nul ? static_cast<const char*>(nul) - text : size);
}

BOOL RegWriteString(HKEY root, LPCSTR subKey, LPCSTR valueName, LPCSTR value)
{
    OpenKey key;
    if (RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        key.out(), nullptr) != ERROR_SUCCESS)
        return TRUE;
    const char* text = value ? value : "";
    RegSetValueExA(key.get(), valueName, 0, REG_SZ, reinterpret_cast<const unsigned char*>(text),
                   static_cast<DWORD>(std::strlen(text) + 1));
    return TRUE;
}

std::string ReadDirectoryValue(LPCSTR subKey, LPCSTR valueName)
{
    return RegReadString(HKEY_LOCAL_MACHINE, subKey, valueName);
}

DWORD GetAddressDetailedSize() { return RegReadDword(HKEY_LOCAL_MACHINE, kAddressKey, "LFileSize"); }
DWORD GetAddressStandardSize() { return RegReadDword(HKEY_LOCAL_MACHINE, kAddressKey, "SFileSize"); }

std::string GetAddressDetailedFile()
{
    return WithDefault(ReadDirectoryValue(kAddressKey, "Address_L_File"), "Adr_L.dbs");
}

std::string GetAddressStandardFile()
{
    return WithDefault(ReadDirectoryValue(kAddressKey, "Address_S_File"), "Adr_S.dbs");
}

std::string GetAddressFile()
{
    return WithDefault(ReadDirectoryValue(kAddressKey, "Address_File"), "Address.dbs");
}

std::string GetAddressCdPath() { return ReadDirectoryValue(kAddressKey, "DataPath_0"); }
std::string GetAddressHdPath(LPCSTR fileName) { return GetHdPath(kAddressKey, fileName); }

BOOL SetAddressCdPath(LPCSTR path) { return RegWriteString(HKEY_LOCAL_MACHINE, kAddressKey, "DataPath_0", path); }
BOOL SetAddressHdPath(LPCSTR path) { return RegWriteString(HKEY_LOCAL_MACHINE, kAddressKey, "DataPath_1", path); }

std::string GetGuideFile() { return WithDefault(ReadDirectoryValue(kGuideKey, "Guide_File"), "Guide.dbs"); }
std::string GetGuideCdPath() { return ReadDirectoryValue(kGuideKey, "DataPath_0"); }
std::string GetGuideHdPath(LPCSTR fileName) { return GetHdPath(kGuideKey, fileName); }

BOOL SetGuideCdPath(LPCSTR path) { return RegWriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0", path); }
BOOL SetGuideHdPath(LPCSTR path) { return RegWriteString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_1", path); }

DWORD GetCurrentData() { return RegReadDword(HKEY_LOCAL_MACHINE, kGuideKey, "CurrentData"); }
