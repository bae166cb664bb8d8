// Profile (INI) files: sections of "key=value" lines.
//
// A file named without a folder lives in the Windows directory,
// $GAML2KOV_HOME/windows/, and is found there without regard to case; WIN.INI
// is "win.ini" there. Other names are paths (see platform::native_path).
// Section and key names are compared without regard to case; blanks around
// names and values and one pair of quotes around a value are not part of
// them. Files are read on every call, so there is nothing to flush; every
// write replaces the whole file through a temporary file (a file is never
// left half-written) and keeps comments and other lines as they were.
//
// Callers: the configuration, international-settings, dates and bench-data
// utilities of the accessory library.
#pragma once
#include <string>

#include "platform/wintypes.h"

// Reads the value of `key` in `section` into `buffer` (at most size - 1
// characters, always terminated) and returns the characters copied; an
// absent key gives `default_value` (null: empty) without its trailing blanks.
// A null key lists the section's keys, a null section the file's sections:
// each name terminated, the list ended by one more terminator, cut to the
// buffer (the result is then size - 2).
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value, LPSTR buffer, DWORD size,
                               LPCSTR file);

// The leading integer of the value (an optional sign and decimal digits, or
// "0x" and hexadecimal digits; 0 when it has none); `default_value` when the
// key is absent or its value empty.
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, int default_value, LPCSTR file);

// Sets a value, creating the key, the section and the file as needed. A null
// value deletes the key, a null key the whole section; a null section (with
// null key and value) flushes, which has nothing to do. FALSE when the file
// cannot be written.
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);

// The same on WIN.INI.
DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_value, LPSTR buffer, DWORD size);
UINT GetProfileIntA(LPCSTR section, LPCSTR key, int default_value);
BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value);

namespace platform {

// The file of this machine that a profile name stands for.
std::string profile_path(const char* name);

}  // namespace platform
