// The Win32 registry calls over the root files of registry_store. A handle
// is a key path: every call reads the root file afresh, so several
// processes see each other's writes, and a key deleted by another process
// simply stops being found.
#include "platform/registry.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "platform/cp932.h"
#include "platform/registry_store.h"

using registry_store::Key;
using registry_store::NamesEqual;
using registry_store::Value;

struct RegKey {
    const char* rootName;
    std::vector<std::string> path; // UTF-8 key names below the root
    REGSAM access;
};

namespace {

RegKey g_classesRoot{"HKEY_CLASSES_ROOT", {}, KEY_ALL_ACCESS};
RegKey g_localMachine{"HKEY_LOCAL_MACHINE", {}, KEY_ALL_ACCESS};

enum : DWORD { REG_CREATED_NEW_KEY = 1, REG_OPENED_EXISTING_KEY = 2 };

// Rights that need the root file to be writable.
const REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | 0x0020 /* KEY_CREATE_LINK */ |
                            0x00010000 /* DELETE */ | 0x00040000 /* WRITE_DAC */ |
                            0x00080000 /* WRITE_OWNER */;

std::mutex g_handlesMutex;
std::unordered_set<const RegKey*> g_handles;

bool IsPredefined(const RegKey* key)
{
    return key == &g_classesRoot || key == &g_localMachine;
}

bool IsValid(const RegKey* key)
{
    if (!key)
        return false;
    if (IsPredefined(key))
        return true;
    std::lock_guard<std::mutex> guard(g_handlesMutex);
    return g_handles.count(key) != 0;
}

HKEY NewHandle(const RegKey& parent, std::vector<std::string> path, REGSAM access)
{
    RegKey* key = new RegKey{parent.rootName, std::move(path), access};
    std::lock_guard<std::mutex> guard(g_handlesMutex);
    g_handles.insert(key);
    return key;
}

// HKEY_LOCAL_MACHINE\SOFTWARE is part of every Windows installation; the
// installer's administrator check opens it. It exists here even before
// anything is stored under it.
bool IsBuiltIn(const char* rootName, const std::vector<std::string>& path)
{
    return std::strcmp(rootName, g_localMachine.rootName) == 0 && path.size() == 1 &&
           NamesEqual(path[0], "SOFTWARE");
}

bool KeyExists(const Key& root, const char* rootName, const std::vector<std::string>& path)
{
    return IsBuiltIn(rootName, path) || registry_store::FindKey(root, path) != nullptr;
}

// The key at path, made when it is a built-in key not stored yet.
Key* FindForWrite(Key& root, const char* rootName, const std::vector<std::string>& path, bool& modified)
{
    if (Key* k = registry_store::FindKey(root, path))
        return k;
    if (!IsBuiltIn(rootName, path))
        return nullptr;
    modified = true;
    return &root.FindOrAddSubkey(path[0]);
}

// A name may not hold a character that would break its line in the file.
bool HasLineBreak(const std::string& s)
{
    return s.find_first_of("\r\n") != std::string::npos;
}

// subKey (CP932, may be null or "") appended to base. A trailing "\" is
// allowed; an empty name elsewhere is not.
LONG AppendPath(std::vector<std::string>& path, LPCSTR subKey)
{
    if (!subKey || !*subKey)
        return ERROR_SUCCESS;
    std::string utf8;
    if (!Cp932ToUtf8(subKey, utf8) || HasLineBreak(utf8))
        return ERROR_INVALID_PARAMETER;
    if (utf8.back() == '\\')
        utf8.pop_back();
    size_t i = 0;
    while (true) {
        // Safe to split the UTF-8 form: no multibyte character holds 0x5C.
        size_t j = utf8.find('\\', i);
        std::string part = utf8.substr(i, j == std::string::npos ? std::string::npos : j - i);
        if (part.empty())
            return ERROR_INVALID_PARAMETER;
        path.push_back(std::move(part));
        if (j == std::string::npos)
            return ERROR_SUCCESS;
        i = j + 1;
    }
}

LONG ValueName(LPCSTR name, std::string& utf8)
{
    if (!name || !*name) {
        utf8.clear();
        return ERROR_SUCCESS;
    }
    if (!Cp932ToUtf8(name, utf8) || HasLineBreak(utf8))
        return ERROR_INVALID_PARAMETER;
    return ERROR_SUCCESS;
}

} // namespace

const HKEY HKEY_CLASSES_ROOT = &g_classesRoot;
const HKEY HKEY_LOCAL_MACHINE = &g_localMachine;

std::string RegistryDirectory()
{
    const char* dir = std::getenv("TESSRA_REGISTRY_DIR");
    return dir && *dir ? std::string(dir) : std::string("/var/lib/tessra/registry");
}

LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!IsValid(root))
        return ERROR_INVALID_HANDLE;
    std::vector<std::string> path = root->path;
    if (AppendPath(path, subKey) != ERROR_SUCCESS)
        return ERROR_FILE_NOT_FOUND; // no key can have such a name
    if (!KeyExists(registry_store::Load(root->rootName), root->rootName, path))
        return ERROR_FILE_NOT_FOUND;
    if ((access & kWriteRights) && !registry_store::CanWrite(root->rootName))
        return ERROR_ACCESS_DENIED;
    *result = NewHandle(*root, std::move(path), access);
    return ERROR_SUCCESS;
}

LONG RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD reserved, char* cls, DWORD options,
                     REGSAM access, void* security, HKEY* result, DWORD* disposition)
{
    if (!result || !subKey)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    if (!IsValid(root))
        return ERROR_INVALID_HANDLE;
    std::vector<std::string> path = root->path;
    LONG rc = AppendPath(path, subKey);
    if (rc != ERROR_SUCCESS)
        return rc;

    DWORD how = REG_OPENED_EXISTING_KEY;
    if (KeyExists(registry_store::Load(root->rootName), root->rootName, path)) {
        if ((access & kWriteRights) && !registry_store::CanWrite(root->rootName))
            return ERROR_ACCESS_DENIED;
    } else {
        rc = registry_store::Update(root->rootName, [&](Key& tree, bool& modified) {
            Key* k = &tree;
            for (const std::string& part : path) {
                Key* next = k->FindSubkey(part);
                if (!next) {
                    next = &k->FindOrAddSubkey(part);
                    modified = true;
                    how = REG_CREATED_NEW_KEY;
                }
                k = next;
            }
            return ERROR_SUCCESS;
        });
        if (rc != ERROR_SUCCESS)
            return rc;
    }
    if (disposition)
        *disposition = how;
    *result = NewHandle(*root, std::move(path), access);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type,
                      unsigned char* data, DWORD* cbData)
{
    if (!IsValid(key))
        return ERROR_INVALID_HANDLE;
    if (!(key->access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    if (data && !cbData)
        return ERROR_INVALID_PARAMETER;
    std::string name;
    if (ValueName(valueName, name) != ERROR_SUCCESS)
        return ERROR_FILE_NOT_FOUND;
    const Key root = registry_store::Load(key->rootName);
    const Key* k = registry_store::FindKey(root, key->path);
    if (!k && !IsBuiltIn(key->rootName, key->path))
        return ERROR_FILE_NOT_FOUND;
    const Value* v = k ? k->FindValue(name) : nullptr;
    if (!v)
        return ERROR_FILE_NOT_FOUND;

    std::string bytes;
    if (v->type == REG_SZ) {
        if (!Utf8ToCp932(v->data, bytes))
            return ERROR_INVALID_DATA;
        bytes += '\0';
    } else {
        bytes = v->data;
    }
    if (type)
        *type = v->type;
    const DWORD size = static_cast<DWORD>(bytes.size());
    if (!data) {
        if (cbData)
            *cbData = size;
        return ERROR_SUCCESS;
    }
    if (*cbData < size) {
        *cbData = size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, bytes.data(), size);
    *cbData = size;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                    const unsigned char* data, DWORD cbData)
{
    if (!IsValid(key))
        return ERROR_INVALID_HANDLE;
    if (!(key->access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (!data && cbData > 0)
        return ERROR_INVALID_PARAMETER;
    Value value;
    if (ValueName(valueName, value.name) != ERROR_SUCCESS)
        return ERROR_INVALID_PARAMETER;
    value.type = type;
    if (type == REG_SZ) {
        // The text ends at its terminator or at cbData, whichever comes first.
        const char* text = reinterpret_cast<const char*>(data);
        const std::string cp932(text ? text : "", text ? ::strnlen(text, cbData) : 0);
        if (!Cp932ToUtf8(cp932, value.data))
            return ERROR_INVALID_PARAMETER;
    } else if (type == REG_DWORD) {
        if (cbData != sizeof(DWORD))
            return ERROR_INVALID_PARAMETER;
        value.data.assign(reinterpret_cast<const char*>(data), sizeof(DWORD));
    } else {
        return ERROR_INVALID_PARAMETER;
    }

    return registry_store::Update(key->rootName, [&](Key& root, bool& modified) -> LONG {
        Key* k = FindForWrite(root, key->rootName, key->path, modified);
        if (!k)
            return ERROR_FILE_NOT_FOUND;
        if (Value* existing = k->FindValue(value.name)) {
            // The stored name keeps its spelling, as Windows keeps it.
            if (existing->type != value.type || existing->data != value.data) {
                existing->type = value.type;
                existing->data = value.data;
                modified = true;
            }
        } else {
            k->values.push_back(value);
            modified = true;
        }
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY key, LPCSTR valueName)
{
    if (!IsValid(key))
        return ERROR_INVALID_HANDLE;
    if (!(key->access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    std::string name;
    if (ValueName(valueName, name) != ERROR_SUCCESS)
        return ERROR_FILE_NOT_FOUND;
    return registry_store::Update(key->rootName, [&](Key& root, bool& modified) -> LONG {
        Key* k = registry_store::FindKey(root, key->path);
        if (!k || !k->RemoveValue(name))
            return ERROR_FILE_NOT_FOUND;
        modified = true;
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteKeyA(HKEY key, LPCSTR subKey)
{
    if (!IsValid(key))
        return ERROR_INVALID_HANDLE;
    if (!subKey)
        return ERROR_INVALID_PARAMETER;
    std::vector<std::string> path = key->path;
    if (AppendPath(path, subKey) != ERROR_SUCCESS)
        return ERROR_FILE_NOT_FOUND;
    if (path.empty() || IsBuiltIn(key->rootName, path))
        return ERROR_ACCESS_DENIED;
    const std::string name = path.back();
    path.pop_back();
    return registry_store::Update(key->rootName, [&](Key& root, bool& modified) -> LONG {
        Key* parent = registry_store::FindKey(root, path);
        Key* victim = parent ? parent->FindSubkey(name) : nullptr;
        if (!victim)
            return ERROR_FILE_NOT_FOUND;
        if (!victim->subkeys.empty())
            return ERROR_ACCESS_DENIED;
        parent->subkeys.erase(parent->subkeys.begin() + (victim - parent->subkeys.data()));
        modified = true;
        return ERROR_SUCCESS;
    });
}

LONG RegCloseKey(HKEY key)
{
    if (!key)
        return ERROR_INVALID_HANDLE;
    if (IsPredefined(key))
        return ERROR_SUCCESS;
    {
        std::lock_guard<std::mutex> guard(g_handlesMutex);
        if (g_handles.erase(key) == 0)
            return ERROR_INVALID_HANDLE;
    }
    delete key;
    return ERROR_SUCCESS;
}
