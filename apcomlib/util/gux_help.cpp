// Help in the user's language: the help file named by an associated string,
// looked for in the alternate help folder of the configuration and then in
// the product's folder (the host program's folder without one), in the
// user's language and then in English, with a topic text from the
// associated strings when there is one.
//
// Called by the hosts' help commands.
#include <cstdio>

#include "platform/timelocale.h"
#include "util/util.h"

namespace {

constexpr size_t kAbbreviationSize = 16;

struct HelpCall {
  HWND window;
  UINT command;
  const char* base_name;
  uint32_t data;
  const char* topic;   // null when the strings hold none
  uint16_t topic_data;  // the topic's extra value
};

uint16_t gux_open(const HelpCall& call, const char* path, bool with_topic) {
  char target[GU9_PATH_SIZE];
  if (!with_topic) return GUX_WinHelp(call.window, path, call.command, call.data) ? 1 : 0;
  if (std::snprintf(target, sizeof target, "%s%s", path, call.topic) >= static_cast<int>(sizeof target)) return 0;
  return GUX_WinHelp(call.window, target, call.command, call.topic_data) ? 1 : 0;
}

// The help of the user's language in the folder, then the English one;
// unless `forced`, the English one only when its file exists.
uint16_t gux_help_in(const HelpCall& call, const char* directory, bool forced) {
  char abbreviation[kAbbreviationSize];
  GUX_GetInternatLangAbbrev(abbreviation, sizeof abbreviation);
  char path[GU9_PATH_SIZE];
  const bool with_topic = call.topic != nullptr;
  if (gux_JoinPath(path, sizeof path, directory, call.base_name, abbreviation, ".hlp") &&
      platform::file_exists(path) && gux_open(call, path, with_topic))
    return 1;
  if (!gux_JoinPath(path, sizeof path, directory, call.base_name, "enu", ".hlp")) return 0;
  if (!forced && !platform::file_exists(path)) return 0;
  if (gux_open(call, path, with_topic)) return 1;
  return with_topic ? gux_open(call, path, false) : 0;
}

}  // namespace

APEXPORT BOOL GUX_WinHelp(HWND window, const char* file, UINT command, uint32_t data) {
  return WinHelpA(window, file, command, data);
}

APEXPORT uint16_t GUX_LaunchInternatHelpByFile(HWND window, UINT command, uint16_t help_file, const char* base_name,
                                               uint32_t data, uint32_t) {
  if (help_file == GUX_NO_HELPFILE || base_name == nullptr) return 0;
  HelpCall call{window, command, base_name, data, nullptr, 0};
  call.topic = GU4_GetAssocString(static_cast<uint16_t>(help_file + GUX_GROUP_HELPTOPICS_OFFSET),
                                  static_cast<uint16_t>(static_cast<int16_t>(data)), nullptr, &call.topic_data);
  char directory[GU6_CONFIG_VALUE_LENGTH + 1];
  if (GU6_GetConfig("CustomExeSettings", "AlternateHelpDir", directory) != nullptr &&
      gux_help_in(call, directory, false))
    return 1;
  if (!gux_ProductDirectory(directory, GU9_PATH_SIZE) && GU12_GetModulePath(nullptr, directory, sizeof directory) == 0)
    return 0;
  return gux_help_in(call, directory, true);
}

APEXPORT uint16_t GUX_LaunchInternatHelpEx(HWND window, UINT command, uint16_t help_file, uint32_t data,
                                           uint32_t extra) {
  if (help_file == GUX_NO_HELPFILE) return 0;
  const char* base_name = GU4_GetAssocString(GUX_GROUP_HELPFILES, help_file, nullptr, nullptr);
  if (base_name == nullptr) return 0;
  return GUX_LaunchInternatHelpByFile(window, command, help_file, base_name, data, extra);
}

APEXPORT uint16_t GUX_LaunchInternatHelp(HWND window, UINT command, uint16_t help_file, uint32_t data) {
  return GUX_LaunchInternatHelpEx(window, command, help_file, data, 0);
}
