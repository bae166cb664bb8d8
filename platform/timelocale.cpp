// Local time, time zones, the user's locale and environment expansion over
// the C library. Built with 64-bit time_t, so calendar times before 1970 and
// after 2038 are represented.
#define _FILE_OFFSET_BITS 64
#define _TIME_BITS 64
#include "platform/timelocale.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/home.h"

namespace {

struct LocaleEntry {
  LCID id;
  const char* language;  // ISO 639, as LANG begins
  const char* country;   // null: any country of the language
  const char* abbreviation;
};

// The first entry of a language is taken when its country is not listed.
constexpr LocaleEntry kLocales[] = {
    {0x0409, "en", nullptr, "ENU"}, {0x0809, "en", "GB", "ENG"}, {0x0407, "de", nullptr, "DEU"},
    {0x040C, "fr", nullptr, "FRA"}, {0x0C0A, "es", nullptr, "ESN"}, {0x0410, "it", nullptr, "ITA"},
    {0x0413, "nl", nullptr, "NLD"}, {0x0804, "zh", nullptr, "CHS"}, {0x0404, "zh", "TW", "CHT"},
    {0x0411, "ja", nullptr, "JPN"}, {0x0412, "ko", nullptr, "KOR"}, {0x0419, "ru", nullptr, "RUS"},
    {0x0415, "pl", nullptr, "PLK"}, {0x0416, "pt", nullptr, "PTB"}, {0x0816, "pt", "PT", "PTG"},
    {0x041D, "sv", nullptr, "SVE"}, {0x0405, "cs", nullptr, "CSY"}, {0x040E, "hu", nullptr, "HUN"}};

const LocaleEntry* locale_entry(LCID id) {
  if (id == LOCALE_USER_DEFAULT || id == LOCALE_SYSTEM_DEFAULT) id = GetUserDefaultLCID();
  for (const LocaleEntry& entry : kLocales) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

std::string locale_name() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return std::string();
}

int copy_locale_text(const char* text, LPSTR buffer, int size) {
  const int needed = static_cast<int>(std::strlen(text)) + 1;
  if (size == 0) return needed;
  if (buffer == nullptr || size < needed) return 0;
  std::memcpy(buffer, text, static_cast<size_t>(needed));
  return needed;
}

// Minutes west of UTC of a broken-down local time.
LONG bias_of(const std::tm& local) { return static_cast<LONG>(-local.tm_gmtoff / 60); }

}  // namespace

LCID GetUserDefaultLCID() {
  const std::string name = locale_name();
  const std::string language = platform::lower_case(name.substr(0, name.find_first_of("_.@")));
  const size_t underscore = name.find('_');
  const std::string country = underscore == std::string::npos ? std::string() : name.substr(underscore + 1, 2);
  const LocaleEntry* found = nullptr;
  for (const LocaleEntry& entry : kLocales) {
    if (language != entry.language) continue;
    if (entry.country != nullptr && country == entry.country) return entry.id;
    if (found == nullptr && entry.country == nullptr) found = &entry;
  }
  return found != nullptr ? found->id : 0x0409;
}

int GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR buffer, int size) {
  const LocaleEntry* entry = locale_entry(locale);
  if (entry == nullptr || size < 0) return 0;
  if (type == LOCALE_SISO639LANGNAME) return copy_locale_text(entry->language, buffer, size);
  if (type == LOCALE_SABBREVLANGNAME) return copy_locale_text(entry->abbreviation, buffer, size);
  return 0;
}

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* zone) {
  if (zone == nullptr) return TIME_ZONE_ID_INVALID;
  std::memset(zone, 0, sizeof *zone);
  tzset();
  const time_t now = std::time(nullptr);
  std::tm today;
  localtime_r(&now, &today);
  // The standard and daylight offsets of this year, from its first days of
  // January and July (one of them is winter in either hemisphere).
  bool have_standard = false, have_daylight = false;
  LONG standard = bias_of(today), daylight = standard;
  for (int month : {0, 6}) {
    std::tm probe{};
    probe.tm_year = today.tm_year;
    probe.tm_mon = month;
    probe.tm_mday = 1;
    probe.tm_hour = 12;
    probe.tm_isdst = -1;
    const time_t when = mktime(&probe);
    std::tm local;
    localtime_r(&when, &local);
    if (local.tm_isdst > 0) {
      daylight = bias_of(local);
      have_daylight = true;
    } else if (!have_standard) {
      standard = bias_of(local);
      have_standard = true;
    }
  }
  zone->Bias = standard;
  zone->DaylightBias = have_daylight ? daylight - standard : 0;
  if (!have_daylight) return TIME_ZONE_ID_UNKNOWN;
  return today.tm_isdst > 0 ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

void GetLocalTime(SYSTEMTIME* time) {
  if (time == nullptr) return;
  tzset();
  timeval now;
  gettimeofday(&now, nullptr);
  std::tm local;
  localtime_r(&now.tv_sec, &local);
  time->wYear = static_cast<WORD>(local.tm_year + 1900);
  time->wMonth = static_cast<WORD>(local.tm_mon + 1);
  time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  time->wDay = static_cast<WORD>(local.tm_mday);
  time->wHour = static_cast<WORD>(local.tm_hour);
  time->wMinute = static_cast<WORD>(local.tm_min);
  time->wSecond = static_cast<WORD>(local.tm_sec);
  time->wMilliseconds = static_cast<WORD>(now.tv_usec / 1000);
}

DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
  if (source == nullptr) return 0;
  std::string expanded;
  for (const char* p = source; *p != '\0';) {
    const char* close = *p == '%' ? std::strchr(p + 1, '%') : nullptr;
    const char* value = close != nullptr && close > p + 1 ? std::getenv(std::string(p + 1, close).c_str()) : nullptr;
    if (value != nullptr) {
      expanded += value;
      p = close + 1;
    } else {
      expanded += *p++;
    }
  }
  const DWORD needed = static_cast<DWORD>(expanded.size() + 1);
  if (destination != nullptr && needed <= size) std::memcpy(destination, expanded.c_str(), needed);
  return needed;
}

namespace platform {

int64_t calendar_time_now() { return static_cast<int64_t>(std::time(nullptr)); }

bool calendar_from_local(std::tm* local, int64_t* calendar) {
  if (local == nullptr || calendar == nullptr) return false;
  std::tm copy = *local;
  const time_t result = mktime(&copy);  // reads the zone afresh, as tzset does
  if (result == static_cast<time_t>(-1)) {
    // -1 is also one second before 1970: tell it from a failure by the fields.
    std::tm check;
    if (localtime_r(&result, &check) == nullptr || check.tm_year != copy.tm_year || check.tm_sec != copy.tm_sec)
      return false;
  }
  *local = copy;
  *calendar = static_cast<int64_t>(result);
  return true;
}

bool local_from_calendar(int64_t calendar, std::tm* local) {
  tzset();  // localtime_r need not notice a changed TZ by itself
  const time_t when = static_cast<time_t>(calendar);
  return local != nullptr && localtime_r(&when, local) != nullptr;
}

bool file_write_local_time(const char* path, std::tm* local) {
  const std::string native = native_path(path);
  struct stat info;
  if (path == nullptr || stat(native.c_str(), &info) != 0 || S_ISDIR(info.st_mode) ||
      access(native.c_str(), R_OK) != 0)
    return false;
  return local_from_calendar(static_cast<int64_t>(info.st_mtim.tv_sec), local);
}

bool file_exists(const char* path) {
  struct stat info;
  return path != nullptr && stat(native_path(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace platform
