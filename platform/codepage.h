// Code pages. The ANSI code page is Windows-1252: one byte is one character,
// there are no lead bytes, and conversions to and from UTF-16 use the 1252
// table. UTF-8 is the other code page the system converts with (GAML text).
#pragma once
#include "platform/wintypes.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_WINDOWS_1252 = 1252;
constexpr UINT CP_UTF8 = 65001;

// Lengths are in characters of the source; -1 means NUL-terminated, and the
// NUL is then converted and counted too. A destination size of 0 asks for the
// size needed. The result is the number of units written (or needed), 0 when
// the destination is too small or the code page is not known.
int MultiByteToWideChar(UINT code_page, DWORD flags, LPCSTR source, int source_length, LPWSTR destination,
                        int destination_size);
int WideCharToMultiByte(UINT code_page, DWORD flags, LPCWSTR source, int source_length, LPSTR destination,
                        int destination_size, LPCSTR default_char, BOOL* used_default);

// Comparison of two ANSI texts without regard to case, as the C run-time's
// _stricmp: below 0, 0 or above 0. Letters compare by their lower-case form.
int _stricmp(const char* a, const char* b);

LPSTR CharNextA(LPCSTR text);
LPSTR CharPrevA(LPCSTR start, LPCSTR current);
BOOL IsDBCSLeadByte(BYTE byte);

// The NUL-terminated text upper-cased in place (the letters a to z); the
// text itself is answered.
LPSTR CharUpperA(LPSTR text);
