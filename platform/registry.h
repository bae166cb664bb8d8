// The registry: keys and values of the three hives the system uses, kept on
// disk under $GAML2KOV_HOME/registry/, one text file per hive
// (HKEY_LOCAL_MACHINE.txt, HKEY_CURRENT_USER.txt, HKEY_CLASSES_ROOT.txt).
//
// Every change is written through at once: the whole hive goes to a
// temporary file that is then renamed over the old one, so a hive on disk is
// always complete. Every call first checks whether the hive file changed on
// disk (another process wrote it) and re-reads it then, so a value written by
// one process is what the next one reads. Key and value names are compared
// without regard to case and keep the case they were created with.
//
// Callers: the registry utilities and bench settings of the accessory library,
// the COM runtime (CoCreateInstance looks up InprocServer32 here) and the
// server's registration entry points.
#pragma once
#include <string>

#include "platform/errors.h"
#include "platform/wintypes.h"

struct HKEY__;
using HKEY = HKEY__*;
using REGSAM = DWORD;
using LSTATUS = LONG;
struct FILETIME;             // last-write times are not kept: such arguments are left untouched
struct SECURITY_ATTRIBUTES;  // accepted and ignored: the store has no security

inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(0x80000000u);
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(0x80000001u);
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(0x80000002u);

// Results are the error numbers of platform/errors.h.

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_MULTI_SZ = 7;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opening and creating. A null or empty subkey opens the key itself again;
// empty path parts (a trailing '\') are passed over. A handle allows what its
// access mask grants; the three root keys allow everything.
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subkey, DWORD options, REGSAM access, HKEY* result);
LSTATUS RegOpenKeyA(HKEY key, LPCSTR subkey, HKEY* result);  // full access
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subkey, DWORD reserved, LPSTR class_name, DWORD options, REGSAM access,
                        const SECURITY_ATTRIBUTES* security, HKEY* result, DWORD* disposition);
LSTATUS RegCreateKeyA(HKEY key, LPCSTR subkey, HKEY* result);  // full access
LSTATUS RegCloseKey(HKEY key);
LSTATUS RegFlushKey(HKEY key);  // every change is already on disk

// Values. A null or empty name is the key's default value. Sizes are bytes.
LSTATUS RegQueryValueExA(HKEY key, LPCSTR name, DWORD* reserved, DWORD* type, BYTE* data, DWORD* size);
LSTATUS RegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
LSTATUS RegDeleteValueA(HKEY key, LPCSTR name);

// Deleting a key that still has subkeys is refused with ERROR_ACCESS_DENIED.
LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subkey);
// Deletes the key with every key and value below it; ERROR_FILE_NOT_FOUND when
// there is no such key. Unlike Windows, a null subkey is refused: the key a
// handle names is never emptied in place.
LSTATUS RegDeleteTreeA(HKEY key, LPCSTR subkey);

// Enumeration: subkeys in alphabetical order without regard to case, values
// in the order they were first set. Name sizes count characters including the
// terminator on entry and exclude it on return.
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* name_size, DWORD* reserved, LPSTR class_name,
                      DWORD* class_size, FILETIME* last_write);
LSTATUS RegEnumKeyA(HKEY key, DWORD index, LPSTR name, DWORD name_size);
LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* name_size, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* data_size);
// Counts and longest lengths: subkey and value names in characters without
// the terminator, value data in bytes. Keys have no class: its length is 0.
LSTATUS RegQueryInfoKeyA(HKEY key, LPSTR class_name, DWORD* class_size, DWORD* reserved, DWORD* subkeys,
                         DWORD* max_subkey_length, DWORD* max_class_length, DWORD* values,
                         DWORD* max_value_name_length, DWORD* max_value_length, DWORD* security_descriptor,
                         FILETIME* last_write);

namespace platform {

// Forgets the hives read so far, so that the next call reads them from disk
// as a fresh process would; open handles stay valid.
void registry_drop_cache();

// The file that holds a root key's hive.
std::string registry_hive_file(HKEY root);

}  // namespace platform
