// Resources of modules: string tables, version information and the custom
// resources of the accessory library (associated-string groups).
//
// A module's resources are data compiled into it: the code that registers a
// module hands its table of resources to platform::register_module_resources.
// A type or name is either a text or a number made with MAKEINTRESOURCEA;
// texts are compared without regard to case. A string-table entry (RT_STRING)
// here holds one string, named by its string id, as 8-bit text. A version
// entry (RT_VERSION, id 1) holds a VS_FIXEDFILEINFO followed by the texts of
// the "040904b0" string table as pairs of terminated texts (name, value),
// ended by an empty name.
//
// Callers: the DLL table, associated strings and version utilities of the
// accessory library; the COM server registers its module's table at load.
#pragma once
#include <cstddef>

#include "platform/wintypes.h"

struct HRSRC__;
using HRSRC = HRSRC__*;

// A numeric resource type or name in a text argument.
inline LPCSTR MAKEINTRESOURCEA(WORD id) { return reinterpret_cast<LPCSTR>(static_cast<uintptr_t>(id)); }
inline bool IS_INTRESOURCE(LPCSTR name) { return (reinterpret_cast<uintptr_t>(name) >> 16) == 0; }

inline LPCSTR const RT_STRING = MAKEINTRESOURCEA(6);
inline LPCSTR const RT_VERSION = MAKEINTRESOURCEA(16);

// 52 bytes: the fixed part of a version resource.
struct VS_FIXEDFILEINFO {
  DWORD dwSignature;  // 0xFEEF04BD
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);
constexpr DWORD VS_FFI_SIGNATURE = 0xFEEF04BD;

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL loaded);
DWORD SizeofResource(HMODULE module, HRSRC resource);
// Copies string `id` of the module (at most size - 1 characters, terminated)
// and returns its length; 0 when the module has no such string.
int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int size);

// The version block of a module found by its file name or path: the size
// needed (0: none), then a copy of it.
DWORD GetFileVersionInfoSizeA(LPCSTR path, DWORD* handle);
BOOL GetFileVersionInfoA(LPCSTR path, DWORD handle, DWORD size, LPVOID block);
// "\\" answers the VS_FIXEDFILEINFO, "\\StringFileInfo\\040904b0\\NAME" a
// text of the string table.
BOOL VerQueryValueA(LPCVOID block, LPCSTR sub_block, LPVOID* value, UINT* length);

namespace platform {

struct ResourceEntry {
  LPCSTR type;
  LPCSTR name;
  const void* data;
  DWORD size;
};

// Gives a module its resources; the table must stay for the module's life.
// Registering again replaces the table; a null table removes it.
void register_module_resources(HMODULE module, const ResourceEntry* entries, size_t count);

}  // namespace platform
