// Log and assertion messages.
//
// Owns the log file name the host sets (the log is off while it is empty),
// the first-write flag that makes the first line after a new name start a
// fresh file, the time-stamp switch and the time text. Library code reports
// failed checks through GU5_Assert and debug texts through GU5_DlgMessage;
// hosts and library code append lines to the log with GU5_LogMessage. None
// of them stops the program.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "core/core.h"
#include "platform/home.h"
#include "platform/user.h"

namespace {

char g_log_name[GU5_LOG_NAME_SIZE] = "";
bool g_log_written = false;
int32_t g_time_stamp = 0;
// The standard library's asctime form: 24 characters and a NUL.
char g_time_text[25] = "";

}  // namespace

APEXPORT int GU5_Assert(const char* text1, const char* text2, int16_t line) {
  const char* format = "Line:  %6d %s %s";
  const char* where = text1 != nullptr ? text1 : "";
  const char* what = text2 != nullptr ? text2 : "";
  std::string text(static_cast<size_t>(std::snprintf(nullptr, 0, format, line, where, what)), '\0');
  std::snprintf(text.data(), text.size() + 1, format, line, where, what);
  return MessageBoxA(nullptr, text.c_str(), "Assertion Failure", MB_OK);
}

APEXPORT int GU5_DlgMessage(const char* text) { return MessageBoxA(nullptr, text, "Debug", MB_OK); }

APEXPORT void GU5_LogMessage(const char* text) {
  if (text == nullptr || g_log_name[0] == '\0') return;
  // The first line after a name was set starts the file afresh; later lines
  // go to the end of the file that is there.
  std::FILE* file = std::fopen(platform::native_path(g_log_name).c_str(), g_log_written ? "r+b" : "wb");
  g_log_written = true;
  if (file == nullptr) return;
  std::fseek(file, 0, SEEK_END);
  if (g_time_stamp != 0) {
    std::fputs(GetTime(), file);
    std::fputs("  ", file);
  }
  std::fputs(text, file);
  std::fputc('\n', file);
  std::fclose(file);
}

// A name that does not fit the buffer is refused, as a null name is: a cut
// name would name, and truncate, some other file.
APEXPORT void GU5_SetLogFile(const char* file_name) {
  if (file_name == nullptr) return;
  const size_t length = std::strlen(file_name);
  if (length >= GU5_LOG_NAME_SIZE) return;
  std::memcpy(g_log_name, file_name, length + 1);
  g_log_written = false;
}

APEXPORT int32_t GU5_TimeDateStamp(int32_t on) {
  g_time_stamp = on;
  return on;
}

// The mode is only reported back: nothing in the library reads it.
APEXPORT uint16_t GU5_MessageMode(uint16_t mode, uint32_t) { return mode; }

APEXPORT void GU5_Message(const char*) {}

APEXPORT char* GetTime() {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  if (local == nullptr) {
    g_time_text[0] = '\0';
    return g_time_text;
  }
  char full[64];
  std::snprintf(full, sizeof full, "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[local->tm_wday], kMonths[local->tm_mon],
                local->tm_mday, local->tm_hour, local->tm_min, local->tm_sec, 1900 + local->tm_year);
  // Cut to the 24 characters of a four-digit year.
  std::snprintf(g_time_text, sizeof g_time_text, "%.24s", full);
  return g_time_text;
}
