// Fuzz target for the profile (INI) reader: arbitrary bytes as an INI file,
// read through every kind of look-up and changed by one write, which must
// keep the file readable. The file lives in a temporary home folder made once.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/profile.h"

namespace {

const std::string& fuzz_file() {
  static const std::string path = [] {
    char folder[] = "/tmp/gaml2kov-fuzz-XXXXXX";
    if (mkdtemp(folder) == nullptr) std::abort();
    setenv("GAML2KOV_HOME", folder, 1);
    return platform::profile_path("fuzz.ini");
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = fuzz_file();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  char sections[256];
  GetPrivateProfileStringA(nullptr, nullptr, "", sections, sizeof sections, "fuzz.ini");
  char keys[256];
  char value[64];
  for (const char* section = sections; *section != '\0'; section += std::string(section).size() + 1) {
    GetPrivateProfileStringA(section, nullptr, "", keys, sizeof keys, "fuzz.ini");
    for (const char* key = keys; *key != '\0'; key += std::string(key).size() + 1) {
      GetPrivateProfileStringA(section, key, "", value, sizeof value, "fuzz.ini");
      GetPrivateProfileIntA(section, key, 0, "fuzz.ini");
    }
  }
  WritePrivateProfileStringA("Fuzz", "Key", "Value", "fuzz.ini");
  GetPrivateProfileStringA("fuzz", "key", "", value, sizeof value, "fuzz.ini");
  if (std::string(value) != "Value") std::abort();
  return 0;
}
