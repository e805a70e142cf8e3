// Code page 932 text. Strings inside the installer are CP932 bytes; every
// boundary to the outside (file names, window texts, registry files, SQLite)
// is UTF-8 and converts here.
#pragma once

#include <string>

// A CP932 lead byte (0x81-0x9F, 0xE0-0xFC): the next byte belongs to the same
// character, even when it is 0x5C ("\") or 0x2E (".").
bool IsCp932LeadByte(unsigned char c);

// Conversions refuse, rather than mangle, text that has no form in the other
// encoding (a Korean folder name has no CP932 form). On failure they return
// false and leave out unchanged.
bool Utf8ToCp932(const std::string& utf8, std::string& out);
bool Cp932ToUtf8(const std::string& cp932, std::string& out);

// Conversions for text known to be valid (the string table, our own
// literals). Invalid input yields "" rather than garbage.
std::string ToUtf8(const std::string& cp932);
std::string FromUtf8(const std::string& utf8);

// Byte index of the last character ch (an ASCII byte) in s, stepping over
// double-byte characters so that a trail byte is never taken for ch; -1 when
// there is none. CString::ReverseFind on a multibyte build.
int ReverseFindChar(const std::string& s, char ch);

// CString::Format: printf formatting on CP932 bytes (%s copies bytes, %d and
// %ld format numbers). The format must come from the string table or a
// literal of ours, never from data.
std::string FormatText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
