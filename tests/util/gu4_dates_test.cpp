#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/profile.h"
#include "util_fixture.h"

namespace {

using utiltest::ModuleBuilder;

class Dates : public utiltest::Utilities {
 protected:
  void SetUp() override { zone("UTC0"); }
  void TearDown() override {
    unsetenv("TZ");
    tzset();
    Utilities::TearDown();
  }
  static void zone(const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
  }
  static void names() {
    utiltest::add_resource_module(
        "gu4d_names.dll",
        ModuleBuilder()
            .group(GU4_GROUP_MONTHS, {{0, "Jan", 0}, {1, "Feb", 0}, {2, "Mar", 0}, {6, "Jul", 0}})
            .group(GU4_GROUP_WEEKDAYS, {{0, "Sun", 0}, {1, "Mon", 0}, {3, "Wed", 0}}));
  }
  // 2006-03-05 14:07:09 local time, a Sunday.
  static GU4_TIME march_fifth() {
    GU4_TM tm{9, 7, 14, 5, 2, 106, 0, 0, -1};
    return GU4_tm2Time(&tm);
  }
  static std::string text(GU4_TIME time, uint16_t flags, uint32_t size = 80) {
    char buffer[80];
    const char* result = GU4_Time2StringSafe(time, buffer, flags, size);
    return result != nullptr ? result : "(null)";
  }
};

struct StoredCase {
  GU4_TIME stored;
  int year, month, day, hour, minute, second;
  bool converts_back;  // years 1900 to 1969 are two-digit years of 2000 to 2069 on the way back
};

class StoredTimes : public Dates, public testing::WithParamInterface<StoredCase> {};

TEST_P(StoredTimes, ConvertBothWaysIn64Bits) {
  const StoredCase& c = GetParam();
  const GU4_CALTIME calendar = GU4_Timeout(c.stored);
  EXPECT_EQ(calendar, static_cast<int64_t>(c.stored) - 2209075200LL);
  const GU4_TM tm = *GU4_localtime(&calendar);
  EXPECT_EQ(tm.tm_year + 1900, c.year);
  EXPECT_EQ(tm.tm_mon + 1, c.month);
  EXPECT_EQ(tm.tm_mday, c.day);
  EXPECT_EQ(tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec, c.hour * 3600 + c.minute * 60 + c.second);
  if (c.converts_back) {
    EXPECT_EQ(GU4_tm2Time(&tm), c.stored);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, StoredTimes,
                         testing::Values(StoredCase{0, 1899, 12, 31, 0, 0, 0, true},
                                         StoredCase{86400, 1900, 1, 1, 0, 0, 0, false},
                                         StoredCase{2209075199u, 1969, 12, 31, 23, 59, 59, false},
                                         StoredCase{2209075200u, 1970, 1, 1, 0, 0, 0, true},
                                         StoredCase{3350642829u, 2006, 3, 5, 14, 7, 9, true},
                                         StoredCase{0xFFFFFFFEu, 2036, 2, 6, 6, 28, 14, true}));

TEST_F(Dates, TimesStoredTimeCannotHoldAreRefusedNotWrapped) {
  GU4_TM last{15, 28, 6, 6, 1, 136, 0, 0, -1};  // 2036-02-06 06:28:15, 2^32 - 1 seconds on
  EXPECT_EQ(GU4_tm2Time(&last), GU4_TIME_INVALID);
  GU4_TM later{0, 0, 0, 1, 0, 137, 0, 0, -1};
  EXPECT_EQ(GU4_tm2Time(&later), GU4_TIME_INVALID);
  GU4_TM before{59, 59, 23, 30, 11, -1, 0, 0, -1};  // 1899-12-30 23:59:59
  EXPECT_EQ(GU4_tm2Time(&before), GU4_TIME_INVALID);
  GU4_TM two_digit{0, 0, 0, 1, 0, 6, 0, 0, -1};  // year 06 is 2006
  const GU4_CALTIME calendar = GU4_Timeout(GU4_tm2Time(&two_digit));
  EXPECT_EQ(GU4_localtime(&calendar)->tm_year, 106);
  EXPECT_EQ(GU4_localtime(nullptr)->tm_isdst, -1);
}

TEST_F(Dates, SystemTimeIsTheClockOnTheStoredScale) {
  const int64_t before = std::time(nullptr);
  const GU4_CALTIME now = GU4_Timeout(GU4_SystemTime());
  const int64_t after = std::time(nullptr);
  EXPECT_GE(now, before);
  EXPECT_LE(now, after);
  EXPECT_EQ(GU4_DiffTime(10, 25), 15u);
  EXPECT_EQ(GU4_DiffTime(25, 10), 15u);
}

TEST_F(Dates, NumericAndLongFormsWithAndWithoutNames) {
  const GU4_TIME time = march_fifth();
  EXPECT_EQ(text(time, GU4_TIMEFMT_NUMERIC), "2006:3:5 14:7:9");
  EXPECT_EQ(text(time, GU4_TIMEFMT_NUMERIC | GU4_TIMEFMT_HOURONLY), "2006:3:5 14:??:??");
  EXPECT_EQ(text(time, GU4_TIMEFMT_LONG2), "ERR   3 05 14:07:09 2006 (GMT+00:00)");
  names();
  EXPECT_EQ(text(time, GU4_TIMEFMT_LONG2), "Sun Mar 05 14:07:09 2006 (GMT+00:00)");
  EXPECT_EQ(text(time, GU4_TIMEFMT_LONG1 | GU4_TIMEFMT_HOURONLY | GU4_TIMEFMT_NOZONE), "Sun Mar 05 14:??:?? 2006");
  EXPECT_EQ(text(time, GU4_TIMEFMT_LONG2, 5), "Sun ");  // cut to the buffer and terminated
  EXPECT_EQ(text(time, GU4_TIMEFMT_HOURONLY), "(null)");
  char short_text[32];
  EXPECT_STREQ(GU4_Time2String(time, short_text, GU4_TIMEFMT_LONG2), "Sun Mar 05 14:07:09 2006");
}

TEST_F(Dates, TheZoneSuffixIsTheBiasOfTheLocalTime) {
  names();
  const GU4_TIME time = march_fifth();  // 14:07:09 UTC
  zone("CET-1");
  EXPECT_EQ(text(time, GU4_TIMEFMT_LONG2), "Sun Mar 05 15:07:09 2006 (GMT+01:00)");
  zone("EST5");
  EXPECT_EQ(text(time, GU4_TIMEFMT_LONG2), "Sun Mar 05 09:07:09 2006 (GMT-05:00)");
  zone("CET-1CEST,M3.5.0,M10.5.0/3");
  GU4_TM summer{0, 0, 12, 5, 6, 106, 0, 0, -1};  // 2006-07-05 12:00 local, daylight time
  EXPECT_EQ(text(GU4_tm2Time(&summer), GU4_TIMEFMT_LONG2), "Wed Jul 05 12:00:00 2006 (GMT+02:00)");
}

struct DateFormCase {
  const char* order;
  const char* separator;
  uint16_t flags;
  const char* expected;
};

class DateForms : public Dates, public testing::WithParamInterface<DateFormCase> {};

TEST_P(DateForms, FollowTheIntlDateOrderAndSeparator) {
  names();
  if (GetParam().order != nullptr) WriteProfileStringA("Intl", "iDate", GetParam().order);
  if (GetParam().separator != nullptr) WriteProfileStringA("Intl", "sDate", GetParam().separator);
  EXPECT_EQ(text(march_fifth(), GetParam().flags), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DateForms,
                         testing::Values(DateFormCase{nullptr, nullptr, 32, "Mar 05, 2006"},
                                         DateFormCase{"1", nullptr, 32, "05 Mar, 2006"},
                                         DateFormCase{"2", nullptr, 32, "2006 Mar 05"},
                                         DateFormCase{nullptr, nullptr, 64, "03/05/2006"},
                                         DateFormCase{"1", ".", 64, "05.03.2006"},
                                         DateFormCase{"2", "-", 64, "2006-03-05"},
                                         DateFormCase{"7", nullptr, 64, "03/05/2006"}));

struct ParseCase {
  const char* order;
  const char* separator;
  const char* text;
  uint16_t result;
  int year, month, day;
};

class DateTexts : public Dates, public testing::WithParamInterface<ParseCase> {};

TEST_P(DateTexts, ParseInTheIntlDateOrder) {
  const ParseCase& c = GetParam();
  if (c.order != nullptr) WriteProfileStringA("Intl", "iDate", c.order);
  if (c.separator != nullptr) WriteProfileStringA("Intl", "sDate", c.separator);
  GU4_TM tm{1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(GU4_DateStr2Struct(c.text, &tm), c.result);
  if (c.result == 0) return;
  EXPECT_EQ(tm.tm_year, c.year);
  EXPECT_EQ(tm.tm_mon, c.month);
  EXPECT_EQ(tm.tm_mday, c.day);
  EXPECT_EQ(tm.tm_hour + tm.tm_min + tm.tm_sec, 0);
  EXPECT_EQ(tm.tm_wday, 7);  // other fields stay
}

INSTANTIATE_TEST_SUITE_P(Cases, DateTexts,
                         testing::Values(ParseCase{nullptr, "/", "3-5-06", 1, 6, 2, 5},
                                         ParseCase{"1", ".", "05.03.2006", 1, 106, 2, 5},
                                         ParseCase{"2", nullptr, "2006/3/5", 1, 106, 2, 5},
                                         ParseCase{nullptr, nullptr, "13/1/2000", 0, 0, 0, 0},
                                         ParseCase{nullptr, nullptr, "1/32/2000", 0, 0, 0, 0},
                                         ParseCase{nullptr, nullptr, "1/2", 0, 0, 0, 0},
                                         ParseCase{"3", nullptr, "1/2/3", 0, 0, 0, 0}));

TEST_F(Dates, DosDateOfAFilesLastWrite) {
  const std::string path = testsupport::write_file("drive_c/stamp.txt", "x");
  std::tm when{};
  when.tm_year = 106;
  when.tm_mon = 2;
  when.tm_mday = 5;
  when.tm_hour = 14;
  when.tm_min = 7;
  when.tm_sec = 8;
  const auto stamp = std::chrono::system_clock::from_time_t(timegm(&when));
  std::filesystem::last_write_time(
      path, std::filesystem::file_time_type::clock::now() + (stamp - std::chrono::system_clock::now()));
  const uint32_t dos_time = (14u << 11) | (7u << 5) | (8u / 2);
  const uint32_t dos_date = ((2006u - 1980u) << 9) | (3u << 5) | 5u;
  EXPECT_EQ(GU12_DosGetDateTime("C:\\stamp.txt"), (dos_time << 16) | dos_date);
  EXPECT_EQ(GU12_DosGetDateTime("C:\\missing.txt"), 0u);
}

TEST_F(Dates, PackedLocalTimeHoldsTheDateAndTimeFields) {
  uint32_t packed[2] = {};
  GU12_GetDateTime(packed);
  const uint32_t year = packed[0] & 0xFFFF, month = packed[0] >> 24, day = (packed[0] >> 16) & 0xFF;
  EXPECT_GE(year, 2024u);
  EXPECT_TRUE(month >= 1 && month <= 12);
  EXPECT_TRUE(day >= 1 && day <= 31);
  EXPECT_LT(packed[1] >> 24, 24u);
  EXPECT_LT(packed[1] & 0xFF, 100u);
}

}  // namespace
