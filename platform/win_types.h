// The handful of Windows scalar types and constants the installer's logic is
// written in. Kept here so the rest of the code reads like the program it is.
#pragma once

#include <cstdint>

using BOOL = int;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using LPCSTR = const char*;
using LPCTSTR = const char*;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
