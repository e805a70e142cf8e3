// Where the installer and the host share what they know about the search
// data: file names, address data sizes, CD-ROM and hard-disk paths. Values
// live under HKEY_LOCAL_MACHINE in the address and guide keys. Reads never
// fail (missing means 0, "" or the default file name); writes report success
// and lose a failure silently. Strings are CP932.
//
// A stored string that cannot be used here (its text has no CP932 form, or
// it is longer than the read buffer) reads as missing but is kept: a setter
// never writes over it the value its getter answered in its place, only a
// path the user chose.
#pragma once

#include <string>

#include "platform/registry.h"
#include "platform/win_types.h"

extern const char* const kAddressKey; // "SOFTWARE\\Veltrane Corporation\\DirectoryServices\\AddressDirectory"
extern const char* const kGuideKey;   // "SOFTWARE\\Veltrane Corporation\\DirectoryServices\\GuideDirectory"

// Primitives.
DWORD RegReadDword(HKEY root, LPCSTR subKey, LPCSTR valueName);
std::string RegReadString(HKEY root, LPCSTR subKey, LPCSTR valueName);
BOOL RegWriteString(HKEY root, LPCSTR subKey, LPCSTR valueName, LPCSTR value);
std::string ReadDirectoryValue(LPCSTR subKey, LPCSTR valueName);

// Address key.
DWORD GetAddressDetailedSize();        // "LFileSize", 0
DWORD GetAddressStandardSize();        // "SFileSize", 0
std::string GetAddressDetailedFile();  // "Address_L_File", "Adr_L.dbs"
std::string GetAddressStandardFile();  // "Address_S_File", "Adr_S.dbs"
std::string GetAddressFile();          // "Address_File", "Address.dbs"
std::string GetAddressCdPath();        // "DataPath_0", ""
std::string GetAddressHdPath(LPCSTR fileName); // "DataPath_1", host folder + file name
BOOL SetAddressCdPath(LPCSTR path);
BOOL SetAddressHdPath(LPCSTR path);

// Guide key.
std::string GetGuideFile();            // "Guide_File", "Guide.dbs"
std::string GetGuideCdPath();          // "DataPath_0", ""
// What GetGuideCdPath answers, without taking note of an unusable value.
std::string PeekGuideCdPath();
std::string GetGuideHdPath(LPCSTR fileName);   // "DataPath_1", host folder + file name
BOOL SetGuideCdPath(LPCSTR path);
BOOL SetGuideHdPath(LPCSTR path);
DWORD GetCurrentData();                // "CurrentData", 0

// Whether the address page's stored paths could not be used in this run.
bool IsAddressCdPathUnusable();
bool IsAddressHdPathUnusable();
// Tells the user, once a run, that a stored value could not be used.
void ReportUnusableDirectoryValues();
// Forgets what the getters met (tests start each run afresh).
void ForgetUnusableDirectoryValues();
