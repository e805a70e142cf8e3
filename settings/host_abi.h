/* The binary interface between the installer and a host component: a shared
 * library named by HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32. Plain C so
 * that a host may be written in any language with a C ABI.
 *
 * The library exports one function, TessraGetClassObject. Given a class ID in
 * the registry's form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (the loader
 * passes it in upper case) it creates one object and hands it out with a
 * reference the caller owns. The object is a TessraHostObject, usually the
 * first member of a larger struct of the library's own.
 *
 * Every method returns an HRESULT: negative on failure. A class that does not
 * offer a method leaves its pointer NULL; the loader answers E_NOTIMPL then.
 * Strings are UTF-8. The loader keeps the library loaded until it has called
 * Release, and never calls anything afterwards.
 */
#ifndef PELLVANE_SETTINGS_HOST_ABI_H
#define PELLVANE_SETTINGS_HOST_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* abiVersion and Release keep their places in every version, so that a loader
 * can refuse and release an object of a version it does not know. */
#define TESSRA_HOST_ABI_VERSION 1u
#define TESSRA_GET_CLASS_OBJECT_SYMBOL "TessraGetClassObject"

typedef int32_t TessraHResult;
typedef struct TessraHostObject TessraHostObject;

struct TessraHostObject {
    uint32_t abiVersion; /* TESSRA_HOST_ABI_VERSION */
    void (*Release)(TessraHostObject* self);
    /* Frees a string the object handed out. */
    void (*FreeString)(char* text);

    /* The host's data folder as a full path, with or without a trailing "/".
     * On success *folder is a string for FreeString (NULL means ""). */
    TessraHResult (*GetDataFolder)(TessraHostObject* self, char** folder);
    /* Shows the help of a program; arg may be NULL. *result: nonzero when
     * shown. */
    TessraHResult (*LaunchProgram)(TessraHostObject* self, const char* program,
                                   const char* arg, int* result);
    /* Shows the host's version information. hwnd is the caller's main window
     * (0 if none), hinstance the caller's module; both may be ignored. */
    TessraHResult (*ShowAboutBox)(TessraHostObject* self, int32_t hwnd,
                                  int32_t hinstance, int* result);
};

/* Returns 0 and an object in *out, or a failing HRESULT and NULL
 * (0x80040111 CLASS_E_CLASSNOTAVAILABLE for a class it does not serve). */
typedef TessraHResult (*TessraGetClassObjectFn)(const char* clsid, TessraHostObject** out);

#ifdef __cplusplus
}
#endif

#endif
