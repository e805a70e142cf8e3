// Registration of a host component's classes in HKEY_CLASSES_ROOT, the way
// CreateHostObject finds them:
//   <ProgID>                          @ = description
//   <ProgID>\CLSID                    @ = {class ID}
//   CLSID\{class ID}                  @ = description
//   CLSID\{class ID}\InprocServer32   @ = library path
//   CLSID\{class ID}\ProgID           @ = <ProgID>
// All strings are CP932.
#pragma once

#include <string>

struct HostClassEntry {
    const char* progId;
    const char* clsid; // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"
    const char* description;
};

// Writes (or rewrites) the keys above. False when a key could not be written.
bool RegisterHostClass(const HostClassEntry& entry, const std::string& libraryCp932);

// Removes the keys above; keys that are already gone are fine. False when a
// key that exists could not be removed.
bool UnregisterHostClass(const HostClassEntry& entry);
