// Dates and stored time: the 32-bit stored time of spectra, histories and
// file headers (seconds since 1899-12-31 00:00), its conversions to and from
// calendar time and broken-down local time, its texts in the numeric, date
// and long forms under the WIN.INI "Intl" date settings, and the parsing of a
// date text.
//
// Conversions run in 64 bits: a calendar time before 1970 converts, and a
// time that stored time cannot hold is refused as GU4_TIME_INVALID instead of
// wrapping. Called by histories, listings, file headers and the path helpers.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/profile.h"
#include "platform/timelocale.h"
#include "util/util.h"

namespace {

GU4_TM g_local_time;

constexpr size_t kDateSeparatorSize = 16;
constexpr size_t kTime2StringWork = 80;
constexpr size_t kTime2StringLength = 31;

GU4_TIME gu4d_stored_from_calendar(int64_t calendar) {
  const int64_t stored = calendar + GU4_TIME_OFFSET;
  return stored >= 0 && stored < GU4_TIME_INVALID ? static_cast<GU4_TIME>(stored) : GU4_TIME_INVALID;
}

void gu4d_copy_tm(const std::tm& from, GU4_TM* to) {
  *to = GU4_TM{from.tm_sec, from.tm_min,  from.tm_hour, from.tm_mday,  from.tm_mon,
               from.tm_year, from.tm_wday, from.tm_yday, from.tm_isdst};
}

// The WIN.INI "Intl" date order (0 month-day-year, 1 day-month-year,
// 2 year-month-day) and separator, read anew at each call.
int32_t gu4d_date_order(char* separator) {
  GetProfileStringA("Intl", "sDate", "/", separator, kDateSeparatorSize);
  return static_cast<int32_t>(GetProfileIntA("Intl", "iDate", 0));
}

// The zone suffix " (GMT+hh:mm)" of a local time.
void gu4d_zone_suffix(const GU4_TM& local, char* suffix, size_t size) {
  TIME_ZONE_INFORMATION zone;
  GetTimeZoneInformation(&zone);
  const LONG bias = zone.Bias + (local.tm_isdst == 1 ? zone.DaylightBias : 0);
  LONG hours = bias / -60;
  const LONG minutes = (bias < 0 ? -bias : bias) % 60;
  char sign = '+';
  if (hours < 0) {
    sign = '-';
    hours = -hours;
  }
  std::snprintf(suffix, size, " (GMT%c%02d:%02d)", sign, static_cast<int>(hours), static_cast<int>(minutes));
}

// Reads a decimal integer at *p and moves past it.
bool gu4d_scan_int(const char** p, int32_t* value) {
  char* end = nullptr;
  const long number = std::strtol(*p, &end, 10);
  if (end == *p) return false;
  *value = static_cast<int32_t>(number);
  *p = end;
  return true;
}

}  // namespace

APEXPORT GU4_TIME GU4_SystemTime() { return gu4d_stored_from_calendar(platform::calendar_time_now()); }

APEXPORT GU4_CALTIME GU4_Timeout(GU4_TIME time) { return static_cast<int64_t>(time) - GU4_TIME_OFFSET; }

// Years 0 to 69 since 1900 are two-digit years of 2000 to 2069; a negative
// year (before 1900) is taken as it is.
APEXPORT GU4_TIME GU4_tm2Time(const GU4_TM* tm) {
  if (tm == nullptr) return GU4_TIME_INVALID;
  std::tm local{};
  local.tm_sec = tm->tm_sec;
  local.tm_min = tm->tm_min;
  local.tm_hour = tm->tm_hour;
  local.tm_mday = tm->tm_mday;
  local.tm_mon = tm->tm_mon;
  local.tm_year = tm->tm_year >= 0 && tm->tm_year < 70 ? tm->tm_year + 100 : tm->tm_year;
  local.tm_isdst = tm->tm_isdst;
  int64_t calendar = 0;
  if (!platform::calendar_from_local(&local, &calendar)) return GU4_TIME_INVALID;
  return gu4d_stored_from_calendar(calendar);
}

APEXPORT GU4_TM* GU4_localtime(const GU4_CALTIME* calendar) {
  std::tm local;
  if (calendar != nullptr && platform::local_from_calendar(*calendar, &local)) {
    gu4d_copy_tm(local, &g_local_time);
  } else {
    g_local_time = GU4_TM{0, 0, 0, 0, 0, 0, 0, 0, -1};
  }
  return &g_local_time;
}

APEXPORT uint32_t GU4_DiffTime(GU4_TIME a, GU4_TIME b) { return a > b ? a - b : b - a; }

APEXPORT GU4_TIME GU4_String2Time() { return 0; }

APEXPORT char* GU4_Time2StringSafe(GU4_TIME time, char* buffer, uint16_t flags, uint32_t size) {
  const uint16_t forms = GU4_TIMEFMT_LONG1 | GU4_TIMEFMT_LONG2 | GU4_TIMEFMT_NUMERIC | GU4_TIMEFMT_MONTHNAME |
                         GU4_TIMEFMT_NUMERICDATE;
  if (buffer == nullptr || size == 0 || (flags & forms) == 0) return nullptr;
  char separator[kDateSeparatorSize];
  const int32_t order = gu4d_date_order(separator);
  const GU4_CALTIME calendar = GU4_Timeout(time);
  const GU4_TM local = *GU4_localtime(&calendar);
  const int year = local.tm_year + 1900, month = local.tm_mon + 1, day = local.tm_mday;
  char month_number[12];
  std::snprintf(month_number, sizeof month_number, "%d", month);
  const char* month_name = GU4_GetAssocString(GU4_GROUP_MONTHS, static_cast<uint16_t>(local.tm_mon), nullptr, nullptr);
  if (month_name == nullptr) month_name = month_number;
  const bool hour_only = (flags & GU4_TIMEFMT_HOURONLY) != 0;

  if (flags & GU4_TIMEFMT_NUMERIC) {
    if (hour_only) {
      std::snprintf(buffer, size, "%d:%d:%d %d:??:??", year, month, day, local.tm_hour);
    } else {
      std::snprintf(buffer, size, "%d:%d:%d %d:%d:%d", year, month, day, local.tm_hour, local.tm_min, local.tm_sec);
    }
  } else if (flags != GU4_TIMEFMT_MONTHNAME && flags != GU4_TIMEFMT_NUMERICDATE) {
    const char* weekday = GU4_GetAssocString(GU4_GROUP_WEEKDAYS, static_cast<uint16_t>(local.tm_wday), nullptr, nullptr);
    char suffix[32] = "";
    if ((flags & GU4_TIMEFMT_NOZONE) == 0) gu4d_zone_suffix(local, suffix, sizeof suffix);
    if (weekday == nullptr) weekday = "ERR";
    if (hour_only) {
      std::snprintf(buffer, size, "%3s %3s %02d %02d:??:?? %4d%s", weekday, month_name, day, local.tm_hour, year,
                    suffix);
    } else {
      std::snprintf(buffer, size, "%3s %3s %02d %02d:%02d:%02d %4d%s", weekday, month_name, day, local.tm_hour,
                    local.tm_min, local.tm_sec, year, suffix);
    }
  } else if (flags == GU4_TIMEFMT_MONTHNAME) {
    // An order outside 0 to 2 is written month first, as order 0.
    if (order == 1) {
      std::snprintf(buffer, size, "%02d %3s, %4d", day, month_name, year);
    } else if (order == 2) {
      std::snprintf(buffer, size, "%4d %3s %02d", year, month_name, day);
    } else {
      std::snprintf(buffer, size, "%3s %02d, %4d", month_name, day, year);
    }
  } else if (order == 1) {
    std::snprintf(buffer, size, "%02d%s%02d%s%4d", day, separator, month, separator, year);
  } else if (order == 2) {
    std::snprintf(buffer, size, "%4d%s%02d%s%02d", year, separator, month, separator, day);
  } else {
    std::snprintf(buffer, size, "%02d%s%02d%s%4d", month, separator, day, separator, year);
  }
  return buffer;
}

APEXPORT char* GU4_Time2String(GU4_TIME time, char* buffer, uint16_t flags) {
  if (buffer == nullptr) return nullptr;
  char work[kTime2StringWork];
  if (GU4_Time2StringSafe(time, work, static_cast<uint16_t>(flags | GU4_TIMEFMT_NOZONE), sizeof work) == nullptr)
    work[0] = '\0';
  work[kTime2StringLength] = '\0';
  std::strcpy(buffer, work);
  return buffer;
}

// A refused text would sound the default beep; this machine has no speaker.
APEXPORT uint16_t GU4_DateStr2Struct(const char* text, GU4_TM* tm) {
  if (text == nullptr || tm == nullptr) return 0;
  char separator[kDateSeparatorSize];
  const int32_t order = gu4d_date_order(separator);
  if (order < 0 || order > 2) return 0;
  if (separator[0] == '\0' || (std::strstr(text, separator) == nullptr && std::strchr(text, '-') != nullptr))
    std::strcpy(separator, "-");
  int32_t numbers[3];
  const char* p = text;
  const size_t separator_length = std::strlen(separator);
  for (int i = 0; i < 3; ++i) {
    if (i > 0) {
      if (std::strncmp(p, separator, separator_length) != 0) return 0;
      p += separator_length;
    }
    if (!gu4d_scan_int(&p, &numbers[i])) return 0;
  }
  static constexpr int kMonthAt[3] = {0, 1, 1}, kDayAt[3] = {1, 0, 2}, kYearAt[3] = {2, 2, 0};
  const int32_t month = numbers[kMonthAt[order]], day = numbers[kDayAt[order]], year = numbers[kYearAt[order]];
  if (month >= 13 || day >= 32) return 0;
  tm->tm_year = year > 1900 ? year - 1900 : year;
  tm->tm_mon = month >= 1 && month <= 12 ? month - 1 : month;
  tm->tm_mday = day;
  tm->tm_hour = tm->tm_min = tm->tm_sec = 0;
  return 1;
}
