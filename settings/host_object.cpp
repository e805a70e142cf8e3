#include "settings/host_object.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/cp932.h"
#include "platform/registry_store.h"
#include "settings/directory_settings.h"
#include "settings/host_abi.h"

const char* const kFolderObjectProgId = "Qor.Tessra.TessraFolderObject.5";
const char* const kQuickLaunchObjectProgId = "Qor.Tessra.QuickLaunchObject.5";
const char* const kAboutDialogObjectProgId = "Qor.Tessra.AboutDialogObject.5";

namespace {

std::string DescribeHResult(HRESULT hr)
{
    char text[48];
    std::snprintf(text, sizeof(text), "COM error 0x%08X", static_cast<unsigned>(hr));
    return text;
}

// "{8-4-4-4-12}" in hexadecimal digits, either case.
bool IsClsidString(const std::string& s)
{
    static const char kShape[] = "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}";
    if (s.size() != sizeof(kShape) - 1)
        return false;
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (kShape[i] == 'X' ? !std::isxdigit(c) : c != static_cast<unsigned char>(kShape[i]))
            return false;
    }
    return true;
}

std::string ToUpperAscii(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string ReadDefaultValue(const std::string& subKey)
{
    return RegReadString(HKEY_CLASSES_ROOT, subKey.c_str(), "");
}

// The class ID a ProgID (or a class ID in braces) stands for, or "".
HRESULT ResolveClsid(const char* progId, std::string& clsid)
{
    if (!progId || !*progId)
        return CO_E_CLASSSTRING;
    std::string text = progId;
    if (text[0] != '{')
        text = ReadDefaultValue(text + "\\CLSID");
    if (!IsClsidString(text))
        return CO_E_CLASSSTRING;
    clsid = ToUpperAscii(text);
    return S_OK;
}

// The installer often runs as root, so nothing that another user could have
// replaced is loaded into it. The checks sudo makes on its plugins: the file
// belongs to root or to us and no group or other user may write it. A file
// that is not there passes; what reads it finds nothing.
bool IsTrustedFile(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return true;
    return (st.st_uid == 0 || st.st_uid == ::geteuid()) && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

void ThrowIfFailed(HRESULT hr)
{
    if (FAILED(hr))
        throw _com_error(hr);
}

} // namespace

// One object of a host library, and the library that must outlive it.
struct HostObject {
    void* library = nullptr;
    TessraHostObject* object = nullptr;

    HostObject(void* lib, TessraHostObject* obj) : library(lib), object(obj) {}
    ~HostObject()
    {
        object->Release(object);
        dlclose(library);
    }
    HostObject(const HostObject&) = delete;
    HostObject& operator=(const HostObject&) = delete;
};

_com_error::_com_error(HRESULT hr) : std::runtime_error(DescribeHResult(hr)), m_hr(hr) {}

HostObjectPtr::HostObjectPtr() = default;
HostObjectPtr::~HostObjectPtr() = default;
HostObjectPtr::HostObjectPtr(HostObjectPtr&&) noexcept = default;
HostObjectPtr& HostObjectPtr::operator=(HostObjectPtr&&) noexcept = default;

HostObjectPtr::operator bool() const { return static_cast<bool>(m_p); }

void HostObjectPtr::Release() { m_p.reset(); }

std::string HostObjectPtr::GetDataFolder()
{
    if (!m_p)
        throw _com_error(E_POINTER);
    TessraHostObject* object = m_p->object;
    if (!object->GetDataFolder)
        throw _com_error(E_NOTIMPL);
    char* folder = nullptr;
    const HRESULT hr = object->GetDataFolder(object, &folder);
    std::string utf8 = folder ? folder : "";
    if (folder && object->FreeString)
        object->FreeString(folder);
    ThrowIfFailed(hr);
    std::string cp932;
    if (!Utf8ToCp932(utf8, cp932))
        throw _com_error(HRESULT_NO_UNICODE_TRANSLATION);
    return cp932;
}

void HostObjectPtr::LaunchProgram(const std::string& programCp932, const char* argCp932OrNull)
{
    if (!m_p)
        throw _com_error(E_POINTER);
    TessraHostObject* object = m_p->object;
    if (!object->LaunchProgram)
        throw _com_error(E_NOTIMPL);
    std::string program;
    std::string arg;
    if (!Cp932ToUtf8(programCp932, program) || (argCp932OrNull && !Cp932ToUtf8(argCp932OrNull, arg)))
        throw _com_error(E_INVALIDARG);
    int result = 0;
    ThrowIfFailed(object->LaunchProgram(object, program.c_str(), argCp932OrNull ? arg.c_str() : nullptr,
                                        &result));
}

void HostObjectPtr::ShowAboutBox(long hwndMain, long hInstance)
{
    if (!m_p)
        throw _com_error(E_POINTER);
    TessraHostObject* object = m_p->object;
    if (!object->ShowAboutBox)
        throw _com_error(E_NOTIMPL);
    int result = 0;
    ThrowIfFailed(object->ShowAboutBox(object, static_cast<std::int32_t>(hwndMain),
                                       static_cast<std::int32_t>(hInstance), &result));
}

HRESULT CreateHostObject(const char* progId, HostObjectPtr& out)
{
    out.Release();

    if (!IsTrustedFile(registry_store::RootFilePath("HKEY_CLASSES_ROOT")))
        return E_ACCESSDENIED;
    std::string clsid;
    HRESULT hr = ResolveClsid(progId, clsid);
    if (FAILED(hr))
        return hr;

    const std::string serverCp932 = ReadDefaultValue("CLSID\\" + clsid + "\\InprocServer32");
    if (serverCp932.empty())
        return REGDB_E_CLASSNOTREG;
    std::string server;
    if (!Cp932ToUtf8(serverCp932, server))
        return HRESULT_MOD_NOT_FOUND;
    // A relative name would be looked up in the library path or the current
    // folder, wherever the installer happens to start.
    if (server[0] != '/' || !IsTrustedFile(server))
        return E_ACCESSDENIED;

    void* library = dlopen(server.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        return HRESULT_MOD_NOT_FOUND;

    dlerror();
    auto getClassObject = reinterpret_cast<TessraGetClassObjectFn>(dlsym(library, TESSRA_GET_CLASS_OBJECT_SYMBOL));
    if (!getClassObject) {
        dlclose(library);
        return CO_E_ERRORINDLL;
    }

    TessraHostObject* object = nullptr;
    hr = getClassObject(clsid.c_str(), &object);
    if (FAILED(hr) || !object) {
        // On failure the library owns whatever it left in object.
        dlclose(library);
        return FAILED(hr) ? hr : E_POINTER;
    }
    if (!object->Release) {
        // Nothing can free it; keep the library so the object's code stays valid.
        return E_NOINTERFACE;
    }
    if (object->abiVersion != TESSRA_HOST_ABI_VERSION) {
        object->Release(object);
        dlclose(library);
        return E_NOINTERFACE;
    }

    out.m_p = std::make_unique<HostObject>(library, object);
    return S_OK;
}
