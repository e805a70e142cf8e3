// The host application's objects, created by ProgID for one call each.
// Creation goes HKEY_CLASSES_ROOT\<ProgID>\CLSID -> CLSID\{...}\InprocServer32
// -> a shared library that hands out the object (ABI in host_abi.h).
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/win_types.h"

using HRESULT = long;
constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005L);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003L);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154L);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3L);

inline bool FAILED(HRESULT hr) { return hr < 0; }

extern const char* const kFolderObjectProgId;      // "Qor.Tessra.TessraFolderObject.5"
extern const char* const kQuickLaunchObjectProgId; // "Qor.Tessra.QuickLaunchObject.5"
extern const char* const kAboutDialogObjectProgId; // "Qor.Tessra.AboutDialogObject.5"

// Raised by a call through an empty pointer or by a method that fails.
class _com_error : public std::runtime_error {
public:
    explicit _com_error(HRESULT hr);
    HRESULT Error() const { return m_hr; }

private:
    HRESULT m_hr;
};

struct HostObject; // defined by the loader

// Holds one host object and releases it (and its library) at end of scope.
class HostObjectPtr {
public:
    HostObjectPtr();
    ~HostObjectPtr();
    HostObjectPtr(HostObjectPtr&&) noexcept;
    HostObjectPtr& operator=(HostObjectPtr&&) noexcept;

    explicit operator bool() const;
    void Release();

    // The host's data folder, converted to CP932.
    std::string GetDataFolder();
    void LaunchProgram(const std::string& programCp932, const char* argCp932OrNull);
    void ShowAboutBox(long hwndMain, long hInstance);

    std::unique_ptr<HostObject> m_p;
};

// S_OK and a live object, or the failing step's HRESULT and an empty pointer.
HRESULT CreateHostObject(const char* progId, HostObjectPtr& out);
