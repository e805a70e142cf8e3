#include "settings/host_registration.h"

#include <cstring>

#include "platform/registry.h"

namespace {

bool WriteDefaultValue(const std::string& subKey, const char* value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc = RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const unsigned char*>(value),
                                   static_cast<DWORD>(std::strlen(value) + 1));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool DeleteKey(const std::string& subKey)
{
    const LONG rc = RegDeleteKeyA(HKEY_CLASSES_ROOT, subKey.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

} // namespace

bool RegisterHostClass(const HostClassEntry& entry, const std::string& libraryCp932)
{
    const std::string progId = entry.progId;
    const std::string clsidKey = std::string("CLSID\\") + entry.clsid;
    return WriteDefaultValue(progId, entry.description)
        && WriteDefaultValue(progId + "\\CLSID", entry.clsid)
        && WriteDefaultValue(clsidKey, entry.description)
        && WriteDefaultValue(clsidKey + "\\InprocServer32", libraryCp932.c_str())
        && WriteDefaultValue(clsidKey + "\\ProgID", entry.progId);
}

bool UnregisterHostClass(const HostClassEntry& entry)
{
    const std::string progId = entry.progId;
    const std::string clsidKey = std::string("CLSID\\") + entry.clsid;
    // Leaves first: a key is deleted only once it has no subkeys.
    bool ok = DeleteKey(progId + "\\CLSID");
    ok = DeleteKey(progId) && ok;
    ok = DeleteKey(clsidKey + "\\InprocServer32") && ok;
    ok = DeleteKey(clsidKey + "\\ProgID") && ok;
    ok = DeleteKey(clsidKey) && ok;
    return ok;
}
