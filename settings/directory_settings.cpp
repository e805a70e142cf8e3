#include "settings/directory_settings.h"

#include <cstring>
#include <vector>

#include "platform/cp932.h"
#include "platform/message_box.h"
#include "settings/host_object.h"

const char* const kAddressKey = "SOFTWARE\\Veltrane Corporation\\DirectoryServices\\AddressDirectory";
const char* const kGuideKey = "SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory";

namespace {

constexpr DWORD kStringBufferSize = 1024;
// Our own message: a stored path that cannot be used here is kept.
constexpr UINT IDS_UNUSABLE_STORED_PATH = 2060;

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

// A stored string that this process cannot use (its text has no CP932 form,
// or it does not fit the read buffer): read as missing, yet kept. substitute
// is what its getter answered in its place.
struct UnusableValue {
    std::string key;
    std::string name;
    std::string substitute;
};
std::vector<UnusableValue> g_unusable;
bool g_unusableReported = false;

UnusableValue* FindUnusable(LPCSTR key, LPCSTR name)
{
    for (UnusableValue& u : g_unusable)
        if (u.key == key && u.name == name)
            return &u;
    return nullptr;
}

// RegReadString's read with its result code: ERROR_SUCCESS (value set),
// ERROR_FILE_NOT_FOUND (key or value missing) or the query's own failure.
LONG QueryString(HKEY root, LPCSTR subKey, LPCSTR valueName, std::string& value)
{
    value.clear();
    OpenKey key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return ERROR_FILE_NOT_FOUND;
    unsigned char buffer[kStringBufferSize] = {};
    DWORD size = sizeof(buffer);
    const LONG rc = RegQueryValueExA(key.get(), valueName, nullptr, nullptr, buffer, &size);
    if (rc != ERROR_SUCCESS)
        return rc;
    if (size > sizeof(buffer))
        size = sizeof(buffer);
    const char* text = reinterpret_cast<const char*>(buffer);
    const void* nul = std::memchr(text, '\0', size);
    value.assign(text, nul ? static_cast<const char*>(nul) - text : size);
    return ERROR_SUCCESS;
}

// Writes a path unless that would put the stand-in of an unusable stored
// value over it: only a path the user chose replaces such a value.
BOOL WritePath(LPCSTR key, LPCSTR name, LPCSTR path)
{
    if (const UnusableValue* u = FindUnusable(key, name))
        if (u->substitute == (path ? path : ""))
            return TRUE;
    return RegWriteString(HKEY_LOCAL_MACHINE, key, name, path);
}

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
    path = folder + (fileName ? fileName : "");
    if (UnusableValue* u = FindUnusable(key, "DataPath_1"))
        u->substitute = path;
    return path;
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
    // A value too long for the buffer (ERROR_MORE_DATA) reads as missing.
    std::string value;
    QueryString(root, subKey, valueName, value);
    return value;
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
    std::string value;
    const LONG rc = QueryString(HKEY_LOCAL_MACHINE, subKey, valueName, value);
    const bool unusable = rc == ERROR_INVALID_DATA || rc == ERROR_MORE_DATA;
    UnusableValue* known = FindUnusable(subKey, valueName);
    if (unusable && !known)
        g_unusable.push_back({subKey, valueName, std::string()});
    else if (!unusable && known)
        g_unusable.erase(g_unusable.begin() + (known - g_unusable.data()));
    return value;
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

BOOL SetAddressCdPath(LPCSTR path) { return WritePath(kAddressKey, "DataPath_0", path); }
BOOL SetAddressHdPath(LPCSTR path) { return WritePath(kAddressKey, "DataPath_1", path); }
bool IsAddressCdPathUnusable() { return FindUnusable(kAddressKey, "DataPath_0") != nullptr; }
bool IsAddressHdPathUnusable() { return FindUnusable(kAddressKey, "DataPath_1") != nullptr; }

std::string GetGuideFile() { return WithDefault(ReadDirectoryValue(kGuideKey, "Guide_File"), "Guide.dbs"); }
std::string GetGuideCdPath() { return ReadDirectoryValue(kGuideKey, "DataPath_0"); }
std::string PeekGuideCdPath() { return RegReadString(HKEY_LOCAL_MACHINE, kGuideKey, "DataPath_0"); }
std::string GetGuideHdPath(LPCSTR fileName) { return GetHdPath(kGuideKey, fileName); }

BOOL SetGuideCdPath(LPCSTR path) { return WritePath(kGuideKey, "DataPath_0", path); }
BOOL SetGuideHdPath(LPCSTR path) { return WritePath(kGuideKey, "DataPath_1", path); }

DWORD GetCurrentData() { return RegReadDword(HKEY_LOCAL_MACHINE, kGuideKey, "CurrentData"); }

void ReportUnusableDirectoryValues()
{
    if (g_unusable.empty() || g_unusableReported)
        return;
    g_unusableReported = true;
    AfxMessageBox(IDS_UNUSABLE_STORED_PATH, MB_OK);
}

void ForgetUnusableDirectoryValues()
{
    g_unusable.clear();
    g_unusableReported = false;
}
