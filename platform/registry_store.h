// The registry's root files: the in-memory tree of one root, its text form
// (the registry editor's export format, UTF-8), and the locked whole-file
// update. platform/registry.cpp puts the Win32 calls on top of it; names and
// data here are UTF-8.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/registry.h"

// Result codes beyond those of registry.h.
enum : LONG {
    ERROR_WRITE_FAULT = 29,   // the new file could not be written
    ERROR_BADDB = 1009,       // the root file exists but is not understood
};

// Deletes a value. Not used by the installer; the developer tool needs it.
LONG RegDeleteValueA(HKEY key, LPCSTR valueName);

namespace registry_store {

struct Value {
    std::string name; // "" is the key's default value ("@")
    DWORD type = REG_NONE;
    // REG_SZ: the text without terminator; REG_DWORD: 4 bytes in host order;
    // any other type: the bytes as the file gives them (hex(n):...).
    std::string data;
};

struct Key {
    std::string name;
    std::vector<Value> values;
    std::vector<Key> subkeys;

    // Names compare without regard to ASCII case.
    Key* FindSubkey(const std::string& name);
    const Key* FindSubkey(const std::string& name) const;
    Key& FindOrAddSubkey(const std::string& name);
    Value* FindValue(const std::string& name);
    const Value* FindValue(const std::string& name) const;
    bool RemoveValue(const std::string& name);
};

bool NamesEqual(const std::string& a, const std::string& b);

// The key at path below root, or null.
const Key* FindKey(const Key& root, const std::vector<std::string>& path);
Key* FindKey(Key& root, const std::vector<std::string>& path);

// The text of a root file. Parse is strict: false when anything in the text
// is not understood, and root is then left empty.
bool Parse(const std::string& text, const std::string& rootName, Key& root);
std::string Serialize(const Key& root, const std::string& rootName);
// The sections of one key and the keys below it ("" when it is missing).
std::string SerializeSubtree(const Key& root, const std::string& rootName,
                             const std::vector<std::string>& path);

// RegistryDirectory() + "/" + rootName + ".reg"
std::string RootFilePath(const std::string& rootName);

// The root as stored. Reads never fail: a missing, unreadable or
// not-understood file is an empty root.
Key Load(const std::string& rootName);

// Whether a write of the root file would be permitted: the file is a
// writable regular file that the store understands, or it does not exist and its folder (or, when the
// folder does not exist yet, the nearest existing folder above it) is
// writable.
bool CanWrite(const std::string& rootName);

// Read-modify-write under the root's lock. change gets the root as stored
// now and sets modified when it changed it; the file is then replaced.
// Returns change's result, or the error of the update: ERROR_ACCESS_DENIED
// (the folder or file cannot be written), ERROR_BADDB (the file is there but
// not understood; it is left untouched), ERROR_WRITE_FAULT.
LONG Update(const std::string& rootName, const std::function<LONG(Key& root, bool& modified)>& change);

} // namespace registry_store
