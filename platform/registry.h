// A file-backed registry with the Win32 semantics the installer uses. One
// file per root (HKEY_LOCAL_MACHINE.reg, HKEY_CLASSES_ROOT.reg) in the folder
// named by TESSRA_REGISTRY_DIR (default /var/lib/tessra/registry), in the
// registry editor's export format, UTF-8. Key and value names are CP932 here
// and compare without regard to case. Writes replace the whole file
// atomically under an advisory lock.
#pragma once

#include <string>

#include "platform/win_types.h"

struct RegKey;
using HKEY = RegKey*;
using LONG = long;
using REGSAM = DWORD;

extern const HKEY HKEY_CLASSES_ROOT;
extern const HKEY HKEY_LOCAL_MACHINE;

enum : LONG {
    ERROR_SUCCESS = 0,
    ERROR_FILE_NOT_FOUND = 2,
    ERROR_ACCESS_DENIED = 5,
    ERROR_INVALID_HANDLE = 6,
    ERROR_INVALID_DATA = 13, // a stored string has no CP932 form
    ERROR_INVALID_PARAMETER = 87,
    ERROR_MORE_DATA = 234,
};

enum : REGSAM {
    KEY_QUERY_VALUE = 0x0001,
    KEY_SET_VALUE = 0x0002,
    KEY_CREATE_SUB_KEY = 0x0004,
    KEY_READ = 0x20019,
    KEY_WRITE = 0x20006,
    KEY_ALL_ACCESS = 0xF003F,
};

enum : DWORD {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_DWORD = 4,
};

enum : DWORD { REG_OPTION_NON_VOLATILE = 0 };

// The folder that holds the root files.
std::string RegistryDirectory();

LONG RegOpenKeyExA(HKEY root, LPCSTR subKey, DWORD options, REGSAM access, HKEY* result);
LONG RegCreateKeyExA(HKEY root, LPCSTR subKey, DWORD reserved, char* cls, DWORD options,
                     REGSAM access, void* security, HKEY* result, DWORD* disposition);
// data may be null (size query). *cbData is the buffer size in, bytes
// written (or needed) out. ERROR_MORE_DATA when the buffer is too small.
LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type,
                      unsigned char* data, DWORD* cbData);
LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type,
                    const unsigned char* data, DWORD cbData);
// Deletes a key that has no subkeys.
LONG RegDeleteKeyA(HKEY key, LPCSTR subKey);
LONG RegCloseKey(HKEY key);
