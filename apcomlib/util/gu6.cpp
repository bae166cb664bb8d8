// Configuration files: the process-wide name of the current configuration
// file ("Talvo32.ini" until a task sets another, or the shared settings file
// of the data directory while swapped), and the reads, writes, deletes and
// key lists of it. Other subsystems read their settings through these calls.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/profile.h"
#include "platform/timelocale.h"
#include "util/util.h"

namespace {

constexpr size_t kIniNameLength = 260;
constexpr const char* kDefaultIniFile = "Talvo32.ini";
constexpr const char* kSharedSettingsFile = "%TALVODATA%\\TalvoSettings.ini";

char g_ini_file[kIniNameLength + 1] = "Talvo32.ini";
char g_saved_ini_file[kIniNameLength + 1] = "";
char g_read_buffer[GU6_CONFIG_VALUE_LENGTH];
char g_key_list[GU6_KEY_LIST_SIZE];

// The value of a key of `file` copied into the caller's 261-byte buffer;
// null when absent or empty.
char* gu6_get_from(const char* file, const char* section, const char* key, char* buffer) {
  if (buffer != nullptr) buffer[0] = '\0';
  if (section == nullptr || key == nullptr || buffer == nullptr || file[0] == '\0') return nullptr;
  if (GetPrivateProfileStringA(section, key, "", g_read_buffer, sizeof g_read_buffer, file) == 0) return nullptr;
  std::strcpy(buffer, g_read_buffer);
  return buffer;
}

}  // namespace

APEXPORT uint16_t GU4_SetIniFileForTask(const char* name) {
  if (name != nullptr) std::snprintf(g_ini_file, sizeof g_ini_file, "%s", name);
  return 1;
}

APEXPORT uint16_t GU4_GetIniFileForTask(char* buffer, uint16_t size) {
  if (buffer == nullptr || size == 0) return 0;
  if (std::strlen(g_ini_file) < size) {
    std::strcpy(buffer, g_ini_file);
    return 1;
  }
  buffer[0] = '\0';
  return 0;
}

APEXPORT uint16_t GU6_SetCfgFile(const char* name) {
  if (name == nullptr) return 0;
  GU4_SetIniFileForTask(name);
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, g_ini_file);
  return 1;
}

APEXPORT uint16_t GUX_SwapIniFile(uint16_t flag) {
  if (flag == 0) return GU6_SetCfgFile(g_saved_ini_file);
  std::snprintf(g_saved_ini_file, sizeof g_saved_ini_file, "%s", g_ini_file);
  char expanded[kIniNameLength + 1];
  if (ExpandEnvironmentStringsA(kSharedSettingsFile, expanded, sizeof expanded) > sizeof expanded) return 0;
  return GU6_SetCfgFile(expanded);
}

APEXPORT char* GU6_GetConfig(const char* section, const char* key, char* buffer) {
  return gu6_get_from(g_ini_file, section, key, buffer);
}

APEXPORT char* GU6_GetConfigTALVO(const char* section, const char* key, char* buffer) {
  return gu6_get_from(kDefaultIniFile, section, key, buffer);
}

APEXPORT int32_t GU6_GetConfigInt(const char* section, const char* key, int32_t default_value) {
  if (section == nullptr || key == nullptr || g_ini_file[0] == '\0') return default_value;
  return static_cast<int32_t>(GetPrivateProfileIntA(section, key, default_value, g_ini_file));
}

APEXPORT int32_t GU6_SetConfig(const char* section, const char* key, const char* value) {
  if (g_ini_file[0] == '\0' || section == nullptr || key == nullptr || value == nullptr || key[0] == '\0' ||
      value[0] == '\0')
    return 0;
  return WritePrivateProfileStringA(section, key, value, g_ini_file);
}

APEXPORT int32_t GU6_DeleteConfig(const char* section, const char* key) {
  if (g_ini_file[0] == '\0' || section == nullptr || key == nullptr || key[0] == '\0') return 0;
  return WritePrivateProfileStringA(section, key, nullptr, g_ini_file);
}

APEXPORT char* GU6_StartEnumList(const char* section) {
  if (section == nullptr || g_ini_file[0] == '\0') return nullptr;
  GetPrivateProfileStringA(section, nullptr, "", g_key_list, sizeof g_key_list, g_ini_file);
  return g_key_list;
}

APEXPORT char* GU6_NextEnumList(const char* p) {
  return p != nullptr ? const_cast<char*>(p + std::strlen(p) + 1) : nullptr;
}

APEXPORT uint16_t GU6_MaxEnumList(const char* list) {
  uint16_t largest = 0;
  for (const char* name = list; name != nullptr && name[0] != '\0'; name = GU6_NextEnumList(name)) {
    const uint16_t value = static_cast<uint16_t>(GU4_atol(name));
    if (value > largest) largest = value;
  }
  return largest;
}

APEXPORT void GU6_GetOldLoginIniFilename(char* buffer, uint16_t size) {
  if (buffer == nullptr || size == 0) return;
  char expanded[kIniNameLength + 1];
  if (ExpandEnvironmentStringsA("%TALVODATA%", expanded, sizeof expanded) > sizeof expanded) expanded[0] = '\0';
  const size_t length = std::strlen(expanded);
  const char* separator = length > 0 && expanded[length - 1] == '\\' ? "" : "\\";
  std::snprintf(buffer, size, "%s%s%s", expanded, separator, "tv32_log.ini");
}
