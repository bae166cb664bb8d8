// The DLL and resource-instance table: the modules the library knows by file
// name, with their instances, load counts and versions, and the search of
// resources over the resource modules, newest first. Also the one slot of
// executable information and the version reads of modules.
//
// The class registration records the module and its resource libraries here
// at load and removes the module at unload; the language-DLL loader adds the
// language DLL; associated strings and every resource look-up search here.
#include <cstdio>
#include <cstring>

#include "platform/codepage.h"
#include "platform/modules.h"
#include "platform/user.h"
#include "util/util.h"

namespace {

GU4_DLLINST g_dll_table[GU4_DLL_TABLE_SIZE];
uint16_t g_version_level = 1;

struct ExeSlot {
  HINSTANCE instance;
  HWND window;
  uint32_t object;
};
ExeSlot g_exe_slot;

bool gu4a_used(const GU4_DLLINST& entry) { return entry.name[0] != '\0' && entry.instance != nullptr; }

// Number of used entries: they are contiguous from entry 0.
int gu4a_used_count() {
  int count = 0;
  while (count < GU4_DLL_TABLE_SIZE && gu4a_used(g_dll_table[count])) ++count;
  return count;
}

// The file name and extension of a path, cut to the table's 12 characters.
void gu4a_table_name(const char* path, char* name) {
  const char* start = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':') start = p + 1;
  }
  std::snprintf(name, GU4_DLL_NAME_LENGTH + 1, "%s", start);
}

GU4_DLLINST* gu4a_by_name(const char* name) {
  if (name == nullptr) return nullptr;
  char wanted[GU4_DLL_NAME_LENGTH + 1];
  gu4a_table_name(name, wanted);
  for (int i = 0; i < gu4a_used_count(); ++i) {
    if (_stricmp(g_dll_table[i].name, wanted) == 0) return &g_dll_table[i];
  }
  return nullptr;
}

GU4_DLLINST* gu4a_by_instance(HINSTANCE instance) {
  for (int i = 0; instance != nullptr && i < gu4a_used_count(); ++i) {
    if (g_dll_table[i].instance == instance) return &g_dll_table[i];
  }
  return nullptr;
}

// The next resource module of the search below entry `below` (the table's
// size to start), or -1 at the end.
int gu4a_next_resource_entry(int below) {
  for (int i = below - 1; i >= 0; --i) {
    if (g_dll_table[i].instance != nullptr && g_dll_table[i].resource_instance == 1) return i;
  }
  return -1;
}

void gu4a_put(uint16_t* out, uint16_t value) {
  if (out != nullptr) *out = value;
}

const VS_FIXEDFILEINFO* gu4a_fixed_info(HINSTANCE instance) {
  const HRSRC resource = FindResourceA(instance, MAKEINTRESOURCEA(1), RT_VERSION);
  if (resource == nullptr || SizeofResource(instance, resource) < sizeof(VS_FIXEDFILEINFO)) return nullptr;
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(LockResource(LoadResource(instance, resource)));
  return fixed != nullptr && fixed->dwSignature == VS_FFI_SIGNATURE ? fixed : nullptr;
}

void gu4a_split_version(const VS_FIXEDFILEINFO* fixed, uint16_t* parts) {
  parts[0] = static_cast<uint16_t>(fixed->dwFileVersionMS >> 16);
  parts[1] = static_cast<uint16_t>(fixed->dwFileVersionMS & 0xFFFF);
  parts[2] = static_cast<uint16_t>(fixed->dwFileVersionLS >> 16);
  parts[3] = static_cast<uint16_t>(fixed->dwFileVersionLS & 0xFFFF);
}

void gu4a_put_version(const uint16_t* parts, uint16_t* major, uint16_t* minor, uint16_t* third, uint16_t* fourth) {
  gu4a_put(major, parts[0]);
  gu4a_put(minor, parts[1]);
  gu4a_put(third, parts[2]);
  gu4a_put(fourth, parts[3]);
}

// The version block of a module file in a memory block that the caller
// frees; null when the file has none.
void* gu4a_load_version_block(const char* path, GU3_HANDLE* block) {
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(path, &handle);
  *block = size > 0 ? GU3_Allocate_MM(size, 1, GU3_KIND_GLOBAL) : nullptr;
  if (*block == nullptr) return nullptr;
  void* data = GU3_GetPointer_MM(*block, 0, nullptr, nullptr);
  if (GetFileVersionInfoA(path, handle, size, data)) return data;
  GU3_Free_MM(*block);
  *block = nullptr;
  return nullptr;
}

}  // namespace

APEXPORT uint16_t GU4_AddDLLInst(const char* path, HINSTANCE instance, uint16_t loaded_by_library) {
  if (path == nullptr || instance == nullptr) return 0;
  GU4_DLLINST* entry = gu4a_by_name(path);
  if (entry == nullptr) {
    const int used = gu4a_used_count();
    if (used == GU4_DLL_TABLE_SIZE) return 0;
    entry = &g_dll_table[used];
    std::memset(entry, 0, sizeof *entry);
    gu4a_table_name(path, entry->name);
    entry->instance = instance;
    GU4_GetVersionInfo(instance, nullptr, &entry->version[0], &entry->version[1], &entry->version[2],
                       &entry->version[3]);
  }
  if (loaded_by_library != 0) ++entry->load_count;
  return 1;
}

APEXPORT uint16_t GU4_RemoveDLLInst(HINSTANCE instance) {
  GU4_DLLINST* entry = gu4a_by_instance(instance);
  if (entry == nullptr) return 0;
  const int used = gu4a_used_count();
  const int index = static_cast<int>(entry - g_dll_table);
  std::memmove(&g_dll_table[index], &g_dll_table[index + 1], sizeof(GU4_DLLINST) * (used - index - 1));
  std::memset(&g_dll_table[used - 1], 0, sizeof(GU4_DLLINST));
  return 1;
}

APEXPORT HINSTANCE GU4_GetDLLInst(const char* name) {
  const GU4_DLLINST* entry = gu4a_by_name(name);
  return entry != nullptr ? entry->instance : nullptr;
}

APEXPORT uint16_t GU4_GetDLLName(HINSTANCE instance, char* buffer) {
  if (buffer == nullptr) return 0;
  const GU4_DLLINST* entry = gu4a_by_instance(instance);
  std::strcpy(buffer, entry != nullptr ? entry->name : "Unknown DLL");
  return entry != nullptr ? 1 : 0;
}

APEXPORT uint16_t GU4_IsDLLDynamicallyLoaded(HINSTANCE instance) {
  const GU4_DLLINST* entry = gu4a_by_instance(instance);
  return entry != nullptr && entry->load_count > 0 ? 1 : 0;
}

APEXPORT uint16_t GU4_IsSearchingAll(HINSTANCE instance) { return gu4a_by_instance(instance) == nullptr ? 1 : 0; }

APEXPORT uint16_t GU4_RequiresSecondaryInit(const char* name) {
  GU4_DLLINST* entry = gu4a_by_name(name);
  if (entry == nullptr) return 0;
  entry->needs_secondary_init = 1;
  return 1;
}

APEXPORT uint16_t GU4_ExecuteAllSecondaryInitFunctions() {
  for (GU4_DLLINST& entry : g_dll_table) {
    if (entry.instance == nullptr || entry.needs_secondary_init == 0) continue;
    if (FARPROC secondary_init = GetProcAddress(entry.instance, "SecondaryInit")) secondary_init();
    entry.needs_secondary_init = 0;
  }
  return 1;
}

APEXPORT uint16_t GU4_FreeAllDLL() {
  for (GU4_DLLINST& entry : g_dll_table) {
    if (entry.instance == nullptr || entry.load_count == 0) continue;
    FreeLibrary(entry.instance);
    entry.instance = nullptr;
  }
  return 1;
}

APEXPORT uint16_t GU4_AddAppInstByDLLInst() { return 1; }

APEXPORT void GU4_SetResourceInstance() {}

APEXPORT uint16_t GU4_AddResourceInstance(HINSTANCE instance) {
  GU4_DLLINST* entry = gu4a_by_instance(instance);
  if (entry == nullptr) return 0;
  entry->resource_instance = 1;
  return 1;
}

APEXPORT HINSTANCE GU4_GetResourceInstance(int16_t index) {
  return index >= 0 && index < GU4_DLL_TABLE_SIZE ? g_dll_table[index].instance : nullptr;
}

// ---------------------------------------------------------------------------
// Versions

APEXPORT uint16_t GU4_GetVersionInfo(HINSTANCE instance, char* text, uint16_t* major, uint16_t* minor,
                                     uint16_t* third, uint16_t* fourth) {
  const VS_FIXEDFILEINFO* fixed = gu4a_fixed_info(instance);
  if (fixed == nullptr) return 0;
  uint16_t parts[4];
  gu4a_split_version(fixed, parts);
  gu4a_put_version(parts, major, minor, third, fourth);
  if (text != nullptr) {
    const DWORD flags = fixed->dwFileFlags;
    std::sprintf(text, "%hu.%hu.%hu.%hu %s %s %s %s %s %s %s", parts[0], parts[1], parts[2], parts[3],
                 flags & 0x01 ? "Debug" : "", flags & 0x02 ? "PreRel" : "", flags & 0x04 ? "Patched" : "",
                 flags & 0x08 ? "Private" : "", flags & 0x10 ? "Info" : "", flags & 0x20 ? "Special" : "",
                 flags & ~0xFFu ? "Unknown" : "");
  }
  return 1;
}

APEXPORT uint16_t GU4_GetFileVersion_ByFilename(const char* path, uint16_t* major, uint16_t* minor, uint16_t* third,
                                                uint16_t* fourth) {
  GU3_HANDLE block;
  void* data = gu4a_load_version_block(path, &block);
  if (data == nullptr) return 0;
  void* fixed = nullptr;
  UINT length = 0;
  const bool read = VerQueryValueA(data, "\\", &fixed, &length) && length >= sizeof(VS_FIXEDFILEINFO);
  if (read) {
    uint16_t parts[4];
    gu4a_split_version(static_cast<const VS_FIXEDFILEINFO*>(fixed), parts);
    gu4a_put_version(parts, major, minor, third, fourth);
  }
  GU3_Free_MM(block);
  return read ? 1 : 0;
}

APEXPORT uint16_t GU4_GetFileVersionString(HINSTANCE instance, char* buffer, uint16_t size) {
  if (buffer == nullptr || size == 0) return 0;
  buffer[0] = '\0';
  char path[GU9_PATH_SIZE];
  if (GetModuleFileNameA(instance, path, sizeof path) == 0) return 0;
  GU3_HANDLE block;
  void* data = gu4a_load_version_block(path, &block);
  if (data == nullptr) return 0;
  void* text = nullptr;
  UINT length = 0;
  if (VerQueryValueA(data, "\\StringFileInfo\\040904b0\\FileVersion", &text, &length))
    std::snprintf(buffer, size, "%s", static_cast<const char*>(text));
  GU3_Free_MM(block);
  return 1;
}

APEXPORT uint16_t GU4_SetLevelForDllVersionVerification(uint16_t level) {
  g_version_level = level;
  return level;
}

APEXPORT uint16_t GU4_SetDLLVersionVerified(HINSTANCE instance, uint16_t flag) {
  if (instance == nullptr) {
    for (int i = 0; i < gu4a_used_count(); ++i) g_dll_table[i].version_checked = flag;
    return 0;
  }
  GU4_DLLINST* entry = gu4a_by_instance(instance);
  if (entry == nullptr) return 0;
  entry->version_checked = flag;
  return 1;
}

APEXPORT uint16_t GU4_CheckDllVersions(HINSTANCE instance) {
  uint16_t module[4];
  if (!GU4_GetVersionInfo(instance, nullptr, &module[0], &module[1], &module[2], &module[3])) return 0;
  const int parts = g_version_level < 1 ? 1 : g_version_level > 4 ? 4 : g_version_level;
  for (int i = 0; i < gu4a_used_count(); ++i) {
    GU4_DLLINST& entry = g_dll_table[i];
    if (entry.version_checked != 0) continue;
    entry.version_checked = 1;
    if ((entry.version[0] | entry.version[1] | entry.version[2] | entry.version[3]) == 0) continue;
    int16_t difference = 0;
    for (int part = 0; part < parts && difference == 0; ++part)
      difference = static_cast<int16_t>(module[part] - entry.version[part]);
    if (difference >= 0) continue;  // an older DLL is not reported
    char path[GU9_PATH_SIZE];
    if (GetModuleFileNameA(entry.instance, path, sizeof path) == 0) std::strcpy(path, entry.name);  // at most 12 characters
    MessageBoxA(nullptr, "Dll Version newer than expected.", path, MB_OK | MB_ICONEXCLAMATION);
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Resource search

APEXPORT HRSRC GU4_FindNextResource(HINSTANCE* instance, const char* name, const char* type, int16_t* index) {
  if (instance == nullptr || index == nullptr) return nullptr;
  for (int entry = gu4a_next_resource_entry(*index); entry >= 0; entry = gu4a_next_resource_entry(entry)) {
    if (HRSRC found = FindResourceA(g_dll_table[entry].instance, name, type)) {
      *instance = g_dll_table[entry].instance;
      *index = static_cast<int16_t>(entry);
      return found;
    }
  }
  *instance = nullptr;
  *index = -1;
  return nullptr;
}

APEXPORT HRSRC GU4_FindFirstResource(HINSTANCE* instance, const char* name, const char* type, int16_t* index) {
  if (index == nullptr) return nullptr;
  *index = GU4_DLL_TABLE_SIZE;
  return GU4_FindNextResource(instance, name, type, index);
}

HINSTANCE gu4_NextResourceModule(int16_t* index) {
  const int entry = gu4a_next_resource_entry(*index);
  *index = static_cast<int16_t>(entry);
  return entry >= 0 ? g_dll_table[entry].instance : nullptr;
}

APEXPORT HINSTANCE GU4_FindTranslatedResource(const char* name, const char* type) {
  HINSTANCE instance = nullptr;
  int16_t index = 0;
  GU4_FindFirstResource(&instance, name, type, &index);
  return instance;
}

// ---------------------------------------------------------------------------
// Executable slot and security services

APEXPORT uint16_t GU4_SetExeInfoByInst(HINSTANCE instance, HWND window, uint32_t object) {
  g_exe_slot = ExeSlot{instance, window, object};
  return 1;
}

APEXPORT uint16_t GU4_AddToExeTable(HINSTANCE instance, HWND window, uint32_t object) {
  return GU4_SetExeInfoByInst(instance, window, object);
}

APEXPORT uint16_t GU4_GetExeInfoByInst(HINSTANCE instance, HWND* window, uint32_t* object) {
  if (g_exe_slot.instance == nullptr || (instance != nullptr && instance != g_exe_slot.instance)) return 0;
  if (window != nullptr) *window = g_exe_slot.window;
  if (object != nullptr) *object = g_exe_slot.object;
  return 1;
}

APEXPORT uint16_t GU4_GetExeInfoByHWnd(HINSTANCE* instance, HWND window, uint32_t* object) {
  if (g_exe_slot.window != window) return 0;
  if (instance != nullptr) *instance = g_exe_slot.instance;
  if (object != nullptr) *object = g_exe_slot.object;
  return 1;
}

APEXPORT uint16_t GU4_GetExeInfoByGlobalObj(HINSTANCE* instance, HWND* window, uint32_t object) {
  if (g_exe_slot.object != object) return 0;
  if (instance != nullptr) *instance = g_exe_slot.instance;
  if (window != nullptr) *window = g_exe_slot.window;
  return 1;
}

APEXPORT uint16_t GU4_RemoveExeOwnerTask(HWND window, HINSTANCE instance) {
  if (g_exe_slot.window == window && g_exe_slot.instance == instance) g_exe_slot = ExeSlot{};
  return 0;
}

APEXPORT uint16_t GU4_SupportsSecurityServices() {
  return GU4_GetDLLInst("talvo_cr.dll") != nullptr &&
                 (GU4_GetDLLInst("talvo32.exe") != nullptr || GU4_GetDLLInst("tvqrk32.exe") != nullptr ||
                  GU4_GetDLLInst("qktlvo32.exe") != nullptr)
             ? 1
             : 0;
}
