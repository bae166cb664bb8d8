// What the benchmarks that run the system's modules as a host does share: a
// scratch machine ($GAML2KOV_HOME) with the modules registered, BSTRs from
// texts, and the process's resident-memory peak.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <string>

#include "platform/com.h"
#include "platform/modules.h"
#include "platform/oleaut.h"

namespace benchsupport {

// A scratch machine with the modules registered by their own
// DllRegisterServer, for the life of the process. The apartment is left to
// the end of the process: the modules it loaded are the platform layer's to
// free then.
class Machine {
 public:
  explicit Machine(std::initializer_list<const char*> modules) {
    namespace fs = std::filesystem;
    home_ = (fs::temp_directory_path() / ("gaml2kov-bench-" + std::to_string(std::random_device()()))).string();
    fs::create_directories(home_);
    setenv("GAML2KOV_HOME", home_.c_str(), 1);
    CoInitialize(nullptr);
    for (const char* module : modules) {
      HMODULE loaded = LoadLibraryA(module);
      auto register_server = reinterpret_cast<DllRegisterServerFn>(GetProcAddress(loaded, "DllRegisterServer"));
      if (register_server == nullptr || register_server() != S_OK) std::abort();
    }
  }
  Machine(const Machine&) = delete;
  Machine& operator=(const Machine&) = delete;
  ~Machine() {
    std::error_code ignored;
    std::filesystem::remove_all(home_, ignored);
  }
  const std::string& home() const { return home_; }

 private:
  std::string home_;
};

inline BSTR text(const std::string& ansi) {
  const std::u16string wide(ansi.begin(), ansi.end());
  return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

// The process's resident-memory peak since the last reset, in MB.
inline void reset_peak_memory() { std::ofstream("/proc/self/clear_refs") << "5"; }
inline double peak_memory_mb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

}  // namespace benchsupport
