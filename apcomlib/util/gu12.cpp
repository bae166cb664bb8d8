// Date stamps of the GU12 family: the last write of a file as an MS-DOS time
// and date, and the current local time packed into two words. Called by the
// file and history code that stamps what it writes.
#include "platform/timelocale.h"
#include "util/util.h"

// Years the MS-DOS date can hold.
constexpr int kDosFirstYear = 1980;
constexpr int kDosLastYear = 2107;

APEXPORT uint32_t GU12_DosGetDateTime(const char* path) {
  std::tm local;
  if (path == nullptr || !platform::file_write_local_time(path, &local)) return 0;
  const int year = local.tm_year + 1900;
  if (year < kDosFirstYear || year > kDosLastYear) return 0;
  const uint32_t dos_time = static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
  const uint32_t dos_date =
      static_cast<uint32_t>(((year - kDosFirstYear) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  return (dos_time << 16) | dos_date;
}

APEXPORT void GU12_GetDateTime(uint32_t* out) {
  if (out == nullptr) return;
  SYSTEMTIME now;
  GetLocalTime(&now);
  out[0] = ((static_cast<uint32_t>(now.wMonth) << 8 | now.wDay) << 16) | now.wYear;
  out[1] = static_cast<uint32_t>(now.wHour) << 24 | static_cast<uint32_t>(now.wMinute) << 16 |
           static_cast<uint32_t>(now.wSecond) << 8 | static_cast<uint32_t>(now.wMilliseconds / 10);
}
