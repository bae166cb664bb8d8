// Time, time zones, locale and the environment.
//
// Local time is the C library's under the process's TZ; calendar times are
// 64-bit seconds since 1970-01-01 00:00 UTC, so dates before 1970 and after
// 2038 convert. The user's locale comes from LANG (LC_ALL and LC_MESSAGES
// first, as the C library looks them up): its language picks the locale id
// and the names GetLocaleInfoA answers; an unset or "C" locale is US English.
//
// Callers: the dates, international-settings and configuration utilities of
// the accessory library.
#pragma once
#include <cstdint>
#include <ctime>

#include "platform/wintypes.h"

using LCID = DWORD;
using LCTYPE = DWORD;

constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LOCALE_INVARIANT = 0x007F;  // numbers as 1,234.5 whatever the user's locale
constexpr LCTYPE LOCALE_SABBREVLANGNAME = 0x0003;
constexpr LCTYPE LOCALE_SISO639LANGNAME = 0x0059;

// The user's locale id (0x0409 for US English).
LCID GetUserDefaultLCID();
// A text of the locale: with `size` 0 the size needed, else the characters
// written including the terminator; 0 for an unknown locale or type, or a
// buffer too small.
int GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR buffer, int size);

#pragma pack(push, 2)
// 16 bytes.
struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
#pragma pack(pop)
static_assert(sizeof(SYSTEMTIME) == 16);

// 172 bytes. Biases are minutes to add to local time to get UTC.
struct TIME_ZONE_INFORMATION {
  LONG Bias;
  WCHAR StandardName[32];
  SYSTEMTIME StandardDate;
  LONG StandardBias;
  WCHAR DaylightName[32];
  SYSTEMTIME DaylightDate;
  LONG DaylightBias;
};
static_assert(sizeof(TIME_ZONE_INFORMATION) == 172);

constexpr DWORD TIME_ZONE_ID_UNKNOWN = 0;
constexpr DWORD TIME_ZONE_ID_STANDARD = 1;
constexpr DWORD TIME_ZONE_ID_DAYLIGHT = 2;
constexpr DWORD TIME_ZONE_ID_INVALID = 0xFFFFFFFF;

// The zone of TZ: the standard bias, and the daylight bias relative to it
// when the zone keeps daylight-saving time this year (the change-over dates
// are not given). The result tells whether daylight time is in force now.
DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION* zone);
void GetLocalTime(SYSTEMTIME* time);

// Replaces each %NAME% of a defined environment variable by its value; other
// text stays. Returns the size of the result with its terminator; the result
// is written only when it fits `size`.
DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size);

namespace platform {

// Seconds since 1970 now.
int64_t calendar_time_now();
// Broken-down local time to calendar time (normalising the fields as mktime
// does); false when it cannot be represented.
bool calendar_from_local(std::tm* local, int64_t* calendar);
// Calendar time to broken-down local time; false when it cannot be converted.
bool local_from_calendar(int64_t calendar, std::tm* local);
// The last write of a file as broken-down local time; false when the file
// cannot be opened for reading.
bool file_write_local_time(const char* path, std::tm* local);
// Whether a Windows path names an existing file (not a folder).
bool file_exists(const char* path);

}  // namespace platform
