// Built-in and loadable modules over dlopen.
#include "platform/modules.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/home.h"

// A module handle is the address of one of these records.
struct HINSTANCE__ {
  std::string name;  // base name, lower case, for look-ups by name
  std::string path;
  void* library;     // dlopen handle; null for built-in modules
  const platform::ModuleExport* exports;
  size_t export_count;
  int loads;
};

namespace {

// The system's own module, as far as the library looks functions up in it by
// name rather than calling them directly.
const platform::ModuleExport kKernel32Exports[] = {
    {"GetDiskFreeSpaceExA", reinterpret_cast<FARPROC>(&GetDiskFreeSpaceExA)},
};

std::vector<std::unique_ptr<HINSTANCE__>>& modules() {
  static std::vector<std::unique_ptr<HINSTANCE__>> all = [] {
    std::vector<std::unique_ptr<HINSTANCE__>> system;
    system.push_back(std::make_unique<HINSTANCE__>(
        HINSTANCE__{"kernel32.dll", "kernel32.dll", nullptr, kKernel32Exports, std::size(kKernel32Exports), 1}));
    return system;
  }();
  return all;
}

HINSTANCE__* find_module(const std::string& name) {
  const std::string wanted = platform::lower_case(platform::base_name(name));
  for (auto& module : modules()) {
    if (module->name == wanted) return module.get();
  }
  return nullptr;
}

HINSTANCE__* program_module() {
  static HINSTANCE__ program{"", "", nullptr, nullptr, 0, 1};
  return &program;
}

// Where a name of the original platform is looked for on this machine.
std::string library_file(const std::string& name) {
  if (name.find_first_of("/\\") != std::string::npos) return platform::native_path(name.c_str());
  std::string stem = name;
  const size_t dot = stem.rfind('.');
  if (dot != std::string::npos && platform::lower_case(stem.substr(dot)) == ".dll") stem.resize(dot);
  return platform::home_folder() + "/windows/system/" + stem + ".so";
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR name) {
  if (name == nullptr || *name == '\0') return nullptr;
  if (HINSTANCE__* loaded = find_module(name)) {
    ++loaded->loads;
    return loaded;
  }
  const std::string path = library_file(name);
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return nullptr;
  modules().push_back(std::make_unique<HINSTANCE__>(
      HINSTANCE__{platform::lower_case(platform::base_name(name)), path, library, nullptr, 0, 1}));
  return modules().back().get();
}

BOOL FreeLibrary(HMODULE module) {
  auto& all = modules();
  for (auto it = all.begin(); it != all.end(); ++it) {
    if (it->get() != module) continue;
    if (module->library == nullptr || --module->loads > 0) return TRUE;
    dlclose(module->library);
    all.erase(it);
    return TRUE;
  }
  return FALSE;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  if (module == nullptr || name == nullptr) return nullptr;
  if (module->library != nullptr) return reinterpret_cast<FARPROC>(dlsym(module->library, name));
  for (size_t i = 0; i < module->export_count; ++i) {
    if (std::strcmp(module->exports[i].name, name) == 0) return module->exports[i].address;
  }
  return nullptr;
}

HMODULE GetModuleHandleA(LPCSTR name) {
  if (name == nullptr) return program_module();
  return find_module(name);
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || size == 0) return 0;
  std::string path = module != nullptr ? module->path : std::string();
  if (module == nullptr || module == program_module()) {
    char executable[4096];
    const ssize_t length = readlink("/proc/self/exe", executable, sizeof executable - 1);
    path.assign(executable, length > 0 ? static_cast<size_t>(length) : 0);
  }
  const DWORD copied = static_cast<DWORD>(path.size() < size ? path.size() : size - 1);
  std::memcpy(buffer, path.data(), copied);
  buffer[copied] = '\0';
  return copied;
}

BOOL DisableThreadLibraryCalls(HMODULE module) { return module != nullptr ? TRUE : FALSE; }

namespace platform {

HMODULE register_builtin_module(const char* name, const ModuleExport* exports, size_t count) {
  if (HINSTANCE__* existing = find_module(name); existing != nullptr && existing->library == nullptr) {
    existing->path = name;  // registered again from another folder: it is there now
    existing->exports = exports;
    existing->export_count = count;
    return existing;
  }
  modules().push_back(std::make_unique<HINSTANCE__>(
      HINSTANCE__{lower_case(base_name(name)), name, nullptr, exports, count, 1}));
  return modules().back().get();
}

HMODULE module_containing(const void* address) {
  Dl_info found{};
  char path[PATH_MAX];
  if (dladdr(address, &found) == 0 || found.dli_fname == nullptr || realpath(found.dli_fname, path) == nullptr) {
    return nullptr;
  }
  for (auto& module : modules()) {
    if (module->path == path) return module.get();
  }
  // Loaded by someone else: without a dlopen handle of ours, FreeLibrary
  // leaves it alone as it does built-in modules.
  modules().push_back(std::make_unique<HINSTANCE__>(
      HINSTANCE__{lower_case(base_name(path)), path, nullptr, nullptr, 0, 1}));
  return modules().back().get();
}

}  // namespace platform
