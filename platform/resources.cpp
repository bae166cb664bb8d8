// Resource tables of modules, and the look-ups and version queries over them.
#include "platform/resources.h"

#include <strings.h>

#include <cstring>
#include <map>

#include "platform/modules.h"

namespace {

struct ResourceTable {
  const platform::ResourceEntry* entries;
  size_t count;
};

std::map<HMODULE, ResourceTable>& tables() {
  static std::map<HMODULE, ResourceTable> all;
  return all;
}

bool same_resource_name(LPCSTR a, LPCSTR b) {
  if (IS_INTRESOURCE(a) || IS_INTRESOURCE(b)) return a == b;
  return strcasecmp(a, b) == 0;
}

const platform::ResourceEntry* entry_of(HRSRC resource) {
  return reinterpret_cast<const platform::ResourceEntry*>(resource);
}

constexpr const char* kStringTablePrefix = "\\StringFileInfo\\040904b0\\";

}  // namespace

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type) {
  if (name == nullptr || type == nullptr) return nullptr;
  const auto table = tables().find(module != nullptr ? module : GetModuleHandleA(nullptr));
  if (table == tables().end()) return nullptr;
  for (size_t i = 0; i < table->second.count; ++i) {
    const platform::ResourceEntry& entry = table->second.entries[i];
    if (same_resource_name(entry.type, type) && same_resource_name(entry.name, name))
      return reinterpret_cast<HRSRC>(const_cast<platform::ResourceEntry*>(&entry));
  }
  return nullptr;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  return resource != nullptr ? const_cast<void*>(entry_of(resource)->data) : nullptr;
}

LPVOID LockResource(HGLOBAL loaded) { return loaded; }

DWORD SizeofResource(HMODULE, HRSRC resource) { return resource != nullptr ? entry_of(resource)->size : 0; }

int LoadStringA(HINSTANCE module, UINT id, LPSTR buffer, int size) {
  if (buffer == nullptr || size <= 0 || id > 0xFFFF) return 0;
  const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(static_cast<WORD>(id)), RT_STRING);
  if (resource == nullptr) return 0;
  const DWORD length = entry_of(resource)->size;
  const int copied = length < static_cast<DWORD>(size) ? static_cast<int>(length) : size - 1;
  std::memcpy(buffer, entry_of(resource)->data, static_cast<size_t>(copied));
  buffer[copied] = '\0';
  return copied;
}

DWORD GetFileVersionInfoSizeA(LPCSTR path, DWORD* handle) {
  if (handle != nullptr) *handle = 0;
  const HMODULE module = path != nullptr ? GetModuleHandleA(path) : nullptr;
  if (module == nullptr) return 0;
  return SizeofResource(module, FindResourceA(module, MAKEINTRESOURCEA(1), RT_VERSION));
}

BOOL GetFileVersionInfoA(LPCSTR path, DWORD, DWORD size, LPVOID block) {
  const HMODULE module = path != nullptr ? GetModuleHandleA(path) : nullptr;
  const HRSRC resource = module != nullptr ? FindResourceA(module, MAKEINTRESOURCEA(1), RT_VERSION) : nullptr;
  if (resource == nullptr || block == nullptr) return FALSE;
  const DWORD length = entry_of(resource)->size;
  std::memcpy(block, entry_of(resource)->data, length < size ? length : size);
  return TRUE;
}

BOOL VerQueryValueA(LPCVOID block, LPCSTR sub_block, LPVOID* value, UINT* length) {
  if (block == nullptr || sub_block == nullptr || value == nullptr) return FALSE;
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(block);
  if (fixed->dwSignature != VS_FFI_SIGNATURE) return FALSE;
  if (std::strcmp(sub_block, "\\") == 0) {
    *value = const_cast<VS_FIXEDFILEINFO*>(fixed);
    if (length != nullptr) *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
  }
  const size_t prefix = std::strlen(kStringTablePrefix);
  if (strncasecmp(sub_block, kStringTablePrefix, prefix) != 0) return FALSE;
  // Pairs of terminated texts after the fixed part, ended by an empty name.
  for (const char* name = reinterpret_cast<const char*>(fixed + 1); *name != '\0';) {
    const char* text = name + std::strlen(name) + 1;
    if (strcasecmp(name, sub_block + prefix) == 0) {
      *value = const_cast<char*>(text);
      if (length != nullptr) *length = static_cast<UINT>(std::strlen(text) + 1);
      return TRUE;
    }
    name = text + std::strlen(text) + 1;
  }
  return FALSE;
}

namespace platform {

void register_module_resources(HMODULE module, const ResourceEntry* entries, size_t count) {
  if (entries == nullptr) {
    tables().erase(module);
  } else {
    tables()[module] = ResourceTable{entries, count};
  }
}

}  // namespace platform
