// The library loaded once per fuzzing process in a home folder of its own,
// for targets that read what they write through the library's file objects;
// unloading at exit releases the library's memory before the leak check, and
// the folder goes with it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/core.h"
#include "files/files.h"

namespace fuzz {

inline void check(bool fact) {
  if (!fact) std::abort();
}

inline char* home_template() {
  static char path[] = "/tmp/gaml2kov-fuzz-XXXXXX";
  return path;
}

inline void unload_library_home() {
  apcom_UnregisterClasses();
  GU1_UnRegister_LL();
  std::error_code ignored;
  std::filesystem::remove_all(home_template(), ignored);
}

inline const std::string& library_home() {
  static const std::string path = [] {
    if (mkdtemp(home_template()) == nullptr) std::abort();
    setenv("GAML2KOV_HOME", home_template(), 1);
    apcom_RegisterClasses(nullptr);
    GU1_Register_LL();
    std::atexit(unload_library_home);
    return std::string(home_template());
  }();
  return path;
}

inline void destroy(void* object) {
  AP_WINDOWPARM none{nullptr, 0};
  check(GU2_DoMethod_MSG(AP_MSG_DESTROY, object, &none) == AP_DESTROYED);
}

// A file object opened on the path in the mode; any failure aborts.
inline AP20_FILE* opened_file(const std::string& path, uint16_t mode) {
  uint16_t file_class = AP20_CLASS_ID;
  AP_NEWPARM new_file{AP20_CLASS_ID, nullptr};
  auto* file = ap_result_object<AP20_FILE>(GU2_DoMethod_MSG(AP_MSG_NEW, &file_class, &new_file));
  check(file != nullptr);
  AP20_NAMEPARM name{nullptr, path.c_str()};
  AP20_OPENPARM open{mode, 0, 0};
  check(GU2_DoMethod_MSG(AP20_MSG_SET_NAME, file, &name) == 1 && GU2_DoMethod_MSG(AP20_MSG_OPEN, file, &open) == 1);
  return file;
}

// The input as the whole content of a file under the home folder; its path,
// empty when the file cannot be written.
inline std::string input_file(const char* name, const uint8_t* data, size_t size) {
  const std::string path = library_home() + "/" + name;
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return {};
  std::fwrite(data, 1, size, out);
  std::fclose(out);
  return path;
}

inline void close_and_destroy(AP20_FILE* file) {
  GU2_DoMethod_MSG(AP20_MSG_CLOSE, file, nullptr);
  destroy(file);
}

}  // namespace fuzz
