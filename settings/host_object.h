// The host application's objects, created by ProgID for one call each.
// Creation goes HKEY_CLASSES_ROOT\<ProgID>\CLSID -> CLSID\{...}\InprocServer32
// -> a shared library that hands out the object (ABI in host_abi.h).
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/win_types.h"

using HRESULT = long;

// An HRESULT is 32 bits; failures have the top bit set and must come out
// negative in a 64-bit long too.
constexpr HRESULT MakeHResult(std::uint32_t bits)
{
    return static_cast<HRESULT>(static_cast<std::int32_t>(bits));
}
constexpr HRESULT HRESULT_FROM_WIN32(DWORD code)
{
    return code == 0 ? 0 : MakeHResult((code & 0xFFFFu) | 0x80070000u);
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001u);
constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002u);
constexpr HRESULT E_POINTER = MakeHResult(0x80004003u);
constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);
constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);
constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005u);
constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111u);
constexpr HRESULT CO_E_CLASSSTRING = MakeHResult(0x800401F3u);
constexpr HRESULT CO_E_ERRORINDLL = MakeHResult(0x800401F9u);
// The library named by InprocServer32 cannot be loaded.
constexpr HRESULT HRESULT_MOD_NOT_FOUND = HRESULT_FROM_WIN32(126);
// A string the host handed out has no code page 932 form.
constexpr HRESULT HRESULT_NO_UNICODE_TRANSLATION = HRESULT_FROM_WIN32(1113);

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
