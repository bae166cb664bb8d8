// Modules: loading by name, module handles and exported addresses.
//
// Two kinds of module exist here. Built-in modules are linked into the
// program (the accessory library itself) and name their exports in a table
// that they register at start-up, so GetProcAddress answers for them as it
// would for a DLL. Loadable modules are shared objects opened with dlopen:
// a path loads that file; a bare name such as "talvo_cr.dll" loads
// talvo_cr.so from $GAML2KOV_HOME/windows/system/ when one is installed there,
// and otherwise finds nothing, so callers take their fallbacks. The system's
// "kernel32.dll" is built in from the start with the functions that the
// library looks up by name.
#pragma once
#include <cstddef>

#include "platform/wintypes.h"

HMODULE LoadLibraryA(LPCSTR name);
BOOL FreeLibrary(HMODULE module);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
// A null name answers the program's own module.
HMODULE GetModuleHandleA(LPCSTR name);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
// The reasons a module's entry point is called with.
constexpr DWORD DLL_PROCESS_DETACH = 0;
constexpr DWORD DLL_PROCESS_ATTACH = 1;

// There are no thread notifications to switch off: TRUE for a module.
BOOL DisableThreadLibraryCalls(HMODULE module);

namespace platform {

struct ModuleExport {
  const char* name;
  FARPROC address;
};

// Registers a built-in module under a name like "apcomlib.dll"; registering
// the same name again replaces its export table. The handle stays valid for
// the life of the process.
HMODULE register_builtin_module(const char* name, const ModuleExport* exports, size_t count);

// The handle of the shared module that holds `address`, with that module's
// full path, as a module's start-up code learns its own instance. Whoever
// loaded the module keeps it loaded; FreeLibrary of this handle does nothing.
// Null when the address lies in no module.
HMODULE module_containing(const void* address);

}  // namespace platform
