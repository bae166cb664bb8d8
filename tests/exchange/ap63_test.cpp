// The VELMARAN format class: format test, the reader over files that the
// tests build byte by byte from the layout of both forms ('K' with one or
// several subfiles, 'M'), integer and float values, damaged files, and the
// writer's bytes and round trips through the spectrum-file class.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exchange/exchange_fixture.h"

namespace {

using exchangetest::get;
using exchangetest::put;

constexpr uint16_t kVelmaran = AP63_CLASS_ID;

// A new-form file as the layout gives it: main header of 512 bytes, then per
// subfile 32 header bytes (byte 1 its exponent) and the 32-bit values.
struct NewForm {
  uint8_t flags = 0;
  int8_t exponent = AP63_FLOAT_VALUES;
  double first_x = 400.0;
  double last_x = 4000.0;
  uint8_t x_type = 1;
  uint8_t y_type = 2;
  uint32_t date = 0;
  std::string comment;
  std::vector<std::vector<uint32_t>> subfiles;  // stored values
  std::vector<int8_t> subfile_exponents;
  // Counts the header claims, when they are not those of the values.
  int64_t points = -1;
  int64_t subfile_count = -1;

  std::string bytes() const {
    std::string file(512, '\0');
    put<uint8_t>(file, 0, flags);
    put<uint8_t>(file, 1, 'K');
    put<int8_t>(file, 3, exponent);
    const size_t n = subfiles.empty() ? 0 : subfiles[0].size();
    put<uint32_t>(file, 4, points >= 0 ? static_cast<uint32_t>(points) : static_cast<uint32_t>(n));
    put<double>(file, 8, first_x);
    put<double>(file, 16, last_x);
    put<uint32_t>(file, 24, subfile_count >= 0 ? static_cast<uint32_t>(subfile_count) : subfiles.size());
    put<uint8_t>(file, 28, x_type);
    put<uint8_t>(file, 29, y_type);
    put<uint32_t>(file, 32, date);
    file.replace(88, comment.size(), comment);
    for (size_t i = 0; i < subfiles.size(); ++i) {
      std::string header(32, '\0');
      if (i < subfile_exponents.size()) header[1] = static_cast<char>(subfile_exponents[i]);
      file += header;
      for (uint32_t value : subfiles[i]) put<uint32_t>(file, file.size(), value);
    }
    return file;
  }
};

// An old-form file: 256-byte header, then the values with their 16-bit
// halves exchanged.
struct OldForm {
  int16_t exponent = AP63_FLOAT_VALUES;
  float points = -1;  // -1: the number of values
  float first_x = 400.0f;
  float last_x = 4000.0f;
  uint8_t x_type = 1;
  uint8_t y_type = 2;
  int16_t year = 0;
  uint8_t month = 0, day = 0, hour = 0, minute = 0;
  uint16_t scans = 0;
  std::string comment;
  std::vector<uint32_t> values;

  std::string bytes() const {
    std::string file(256, '\0');
    put<uint8_t>(file, 1, 'M');
    put<int16_t>(file, 2, exponent);
    put<float>(file, 4, points != -1 ? points : static_cast<float>(values.size()));
    put<float>(file, 8, first_x);
    put<float>(file, 12, last_x);
    put<uint8_t>(file, 16, x_type);
    put<uint8_t>(file, 17, y_type);
    put<int16_t>(file, 18, year);
    put<uint8_t>(file, 20, month);
    put<uint8_t>(file, 21, day);
    put<uint8_t>(file, 22, hour);
    put<uint8_t>(file, 23, minute);
    put<uint16_t>(file, 34, scans);
    file.replace(64, comment.size(), comment);
    for (uint32_t value : values) put<uint32_t>(file, file.size(), value << 16 | value >> 16);
    return file;
  }
};

uint32_t float_bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}
std::vector<uint32_t> float_values(const std::vector<float>& values) {
  std::vector<uint32_t> stored;
  for (float value : values) stored.push_back(float_bits(value));
  return stored;
}
// The integers that hold the values at the exponent: value × 2^(32 - e).
std::vector<uint32_t> integer_values(const std::vector<double>& values, int exponent) {
  std::vector<uint32_t> stored;
  for (double value : values)
    stored.push_back(static_cast<uint32_t>(static_cast<int32_t>(std::ldexp(value, 32 - exponent))));
  return stored;
}

uint32_t packed_date(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute) {
  return year << 20 | month << 16 | day << 11 | hour << 6 | minute;
}

class Velmaran : public exchangetest::ExchangeFiles {
 protected:
  void SetUp() override {
    ExchangeFiles::SetUp();
    setenv("TZ", "UTC0", 1);
  }
  AP7_SPECTRUM* read_spectrum(const std::string& bytes, uint32_t* error = nullptr) {
    testsupport::write_file("v.spc", bytes);
    AP_OBJECT* read = read_as("v.spc", kVelmaran, error);
    if (read != nullptr) {
      EXPECT_EQ(read->class_id, AP7_CLASS_ID);
    }
    return reinterpret_cast<AP7_SPECTRUM*>(read);
  }
  // The stored time of a local date, as the reader makes it.
  static GU4_TIME stored(int year, int month, int day, int hour, int minute) {
    GU4_TM tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    return GU4_tm2Time(&tm);
  }
};

// ---------------------------------------------------------------------------
// Format test

struct VelmaranTestCase {
  const char* name;
  std::string bytes;
  uint32_t answer;
};

class VelmaranFormatTest : public Velmaran, public testing::WithParamInterface<VelmaranTestCase> {};

TEST_P(VelmaranFormatTest, AnswersByTheVersionByteAndTheRefusedFlag) {
  testsupport::write_file("v.spc", GetParam().bytes);
  AP21_SPECTRUM_FILE* spectrum_file = opened("v.spc", AP20_MODE_READ, kVelmaran);
  ASSERT_NE(spectrum_file, nullptr);
  EXPECT_EQ(send(AP21_FORMAT_TEST, format_of(spectrum_file)), GetParam().answer);
}

INSTANTIATE_TEST_SUITE_P(Files, VelmaranFormatTest,
                         testing::Values(VelmaranTestCase{"new_form", std::string("\0K", 2), 1},
                                         VelmaranTestCase{"old_form", std::string("\0M", 2), 1},
                                         VelmaranTestCase{"raman_flag", std::string("\x20K", 2), 1},
                                         VelmaranTestCase{"other_version", std::string("\0L", 2), 0},
                                         VelmaranTestCase{"refused_flag", std::string("\x80K", 2), 0},
                                         VelmaranTestCase{"one_byte", std::string("\0", 1), 0},
                                         VelmaranTestCase{"empty", "", 0}),
                         [](const testing::TestParamInfo<VelmaranTestCase>& info) { return std::string(info.param.name); });

TEST_F(Velmaran, DetectionFindsTheClassAndTheNameSaysIt) {
  NewForm file;
  file.subfiles = {float_values({1, 2})};
  testsupport::write_file("v.spc", file.bytes());
  AP21_SPECTRUM_FILE* spectrum_file = opened("v.spc", AP20_MODE_READ, 0);
  ASSERT_NE(spectrum_file, nullptr);
  EXPECT_EQ(packed(format_of(spectrum_file)->class_id), kVelmaran);
  char name[128] = {};
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, spectrum_file, name), 1u);
  EXPECT_STREQ(name, "AP21_SPECTRUM_FILE : AP63_VELMARAN_FILE");
  EXPECT_EQ(send(AP_MSG_SIZE, format_of(spectrum_file)), 8u);
}

// ---------------------------------------------------------------------------
// Reading the new form

TEST_F(Velmaran, ReadsFloatValuesWithTheHeaderTheFileGives) {
  NewForm file;
  file.comment = "Polystyrene film";
  file.date = packed_date(2024, 3, 15, 13, 45);
  file.subfiles = {float_values({0.25f, -1.5f, 3.0e6f, 7.0f})};
  AP7_SPECTRUM* spectrum = read_spectrum(file.bytes());
  ASSERT_NE(spectrum, nullptr);
  EXPECT_EQ(values(spectrum), (std::vector<float>{0.25f, -1.5f, 3.0e6f, 7.0f}));
  const AP41_HEADERDATA& h = header(spectrum);
  EXPECT_EQ(packed(h.points), 4u);
  EXPECT_EQ(packed(h.first_x), 400.0f);
  EXPECT_EQ(packed(h.last_x), 4000.0f);
  EXPECT_EQ(packed(h.x_units), 1u);
  EXPECT_EQ(packed(h.y_units), 17u);
  EXPECT_EQ(title(spectrum), "Polystyrene film");
  EXPECT_EQ(packed(h.time), stored(2024, 3, 15, 13, 45));
  EXPECT_EQ(packed(h.DetectorID), 20000u);
  EXPECT_EQ(packed(h.p42), 521);
  EXPECT_EQ(packed(h.NumScans), 1u);
  EXPECT_TRUE(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_FROM_JCAMP));
}

struct ExponentCase {
  const char* name;
  int8_t exponent;
  uint32_t stored;
  float value;
};

class IntegerValues : public Velmaran, public testing::WithParamInterface<ExponentCase> {};

// y = n / 2^(32 - exponent).
TEST_P(IntegerValues, ReadAsTheIntegerOverTwoToThirtyTwoLessTheExponent) {
  NewForm file;
  file.exponent = GetParam().exponent;
  file.subfiles = {{GetParam().stored, 0}};
  AP7_SPECTRUM* spectrum = read_spectrum(file.bytes());
  ASSERT_NE(spectrum, nullptr);
  EXPECT_EQ(values(spectrum)[0], GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Exponents, IntegerValues,
    testing::Values(ExponentCase{"exponent_0", 0, 1u << 31 >> 1, 0.25f},
                    ExponentCase{"exponent_2", 2, 1u << 30, 1.0f},
                    ExponentCase{"negative_value", 2, static_cast<uint32_t>(-(1 << 29)), -0.5f},
                    ExponentCase{"exponent_32", 32, 12345, 12345.0f},
                    ExponentCase{"exponent_40", 40, 3, 768.0f},
                    ExponentCase{"negative_exponent", -3, 1u << 31 >> 1, 1.0f / 32}),
    [](const testing::TestParamInfo<ExponentCase>& info) { return std::string(info.param.name); });

TEST_F(Velmaran, ValuesFromTheLargerXDownAreReversed) {
  NewForm file;
  file.first_x = 4000.0;
  file.last_x = 400.0;
  file.subfiles = {float_values({1, 2, 3})};
  AP7_SPECTRUM* spectrum = read_spectrum(file.bytes());
  ASSERT_NE(spectrum, nullptr);
  EXPECT_EQ(values(spectrum), (std::vector<float>{3, 2, 1}));
  EXPECT_EQ(packed(header(spectrum).first_x), 400.0f);
  EXPECT_EQ(packed(header(spectrum).last_x), 4000.0f);
}

TEST_F(Velmaran, NegativeXMakesARamanSpectrumWithTheLaserAboveItsLargestX) {
  NewForm file;
  file.first_x = -200.0;
  file.last_x = 12000.0;
  file.subfiles = {float_values({1, 2})};
  AP7_SPECTRUM* spectrum = read_spectrum(file.bytes());
  ASSERT_NE(spectrum, nullptr);
  EXPECT_EQ(packed(header(spectrum).x_units), 32u);
  EXPECT_EQ(packed(header(spectrum).y_units), 31u);
  EXPECT_EQ(packed(header(spectrum).p44), 12000.0f);
}

struct UnitCase {
  const char* name;
  uint8_t flags;
  uint8_t x_type;
  uint8_t y_type;
  uint32_t x_code;
  uint32_t y_code;
};

class UnitMaps : public Velmaran, public testing::WithParamInterface<UnitCase> {};

TEST_P(UnitMaps, MapTheFileTypesToUnitCodes) {
  const UnitCase& c = GetParam();
  NewForm file;
  file.flags = c.flags;
  file.x_type = c.x_type;
  file.y_type = c.y_type;
  file.subfiles = {float_values({1, 2})};
  AP7_SPECTRUM* spectrum = read_spectrum(file.bytes());
  ASSERT_NE(spectrum, nullptr);
  EXPECT_EQ(packed(header(spectrum).x_units), c.x_code);
  EXPECT_EQ(packed(header(spectrum).y_units), c.y_code);
}

INSTANTIATE_TEST_SUITE_P(
    Types, UnitMaps,
    testing::Values(UnitCase{"micrometres_kubelka_munk", 0, 2, 3, 4, 20},
                    UnitCase{"nanometres_transmittance", 0, 3, 128, 3, 16},
                    UnitCase{"reflectance", 0, 1, 129, 1, 21}, UnitCase{"interferogram", 0, 1, 5, 1, 22},
                    UnitCase{"log_one_over_r", 0, 1, 10, 1, 12}, UnitCase{"other_types", 0, 7, 99, 8, 8},
                    UnitCase{"raman_shift_and_intensity", AP63_FLAG_AXIS_LABELS, 13, 0, 32, 31},
                    UnitCase{"type_zero_without_the_flag", 0, 13, 0, 32, 8}),
    [](const testing::TestParamInfo<UnitCase>& info) { return std::string(info.param.name); });

TEST_F(Velmaran, SeveralSubfilesReadAsAListTitledByNumber) {
  for (const std::string comment : {"abc", ""}) {
    NewForm file;
    file.comment = comment;
    file.exponent = 0;
    file.subfiles = {integer_values({0.25, 0.125}, 2), integer_values({0.5, 1.0}, 3),
                     integer_values({-0.25, 0.0}, 1)};
    file.subfile_exponents = {2, 3, 1};
    testsupport::write_file("v.spc", file.bytes());
    AP_OBJECT* read = read_as("v.spc", kVelmaran);
    ASSERT_NE(read, nullptr);
    ASSERT_EQ(read->class_id, AP40_CLASS_ID);
    auto* list = reinterpret_cast<AP40_LLIST*>(read);
    ASSERT_EQ(spectrumtest::list_count(list), 3u);
    const std::vector<std::vector<float>> expected = {{0.25f, 0.125f}, {0.5f, 1.0f}, {-0.25f, 0.0f}};
    for (uint32_t i = 0; i < 3; ++i) {
      auto* spectrum = reinterpret_cast<AP7_SPECTRUM*>(spectrumtest::list_member(list, i));
      const std::string number = "00" + std::to_string(i + 1);
      EXPECT_EQ(title(spectrum), comment.empty() ? number : comment + " " + number);
      EXPECT_EQ(values(spectrum), expected[i]);
    }
  }
}

TEST_F(Velmaran, ALongCommentGivesSubfileTitlesThatFit) {
  NewForm file;
  file.comment = std::string(130, 'c');  // fills the field, no terminator
  file.subfiles = {float_values({1}), float_values({2})};
  testsupport::write_file("v.spc", file.bytes());
  auto* list = reinterpret_cast<AP40_LLIST*>(read_as("v.spc", kVelmaran));
  ASSERT_NE(list, nullptr);
  auto* second = reinterpret_cast<AP7_SPECTRUM*>(spectrumtest::list_member(list, 1));
  EXPECT_EQ(title(second), std::string(130, 'c') + " 002");
}

// ---------------------------------------------------------------------------
// Reading the old form

TEST_F(Velmaran, OldFormReadsSwappedHalvesAndItsHeader) {
  OldForm file;
  file.exponent = 2;
  file.values = integer_values({1.0, -0.5, 0.75}, 2);
  file.first_x = 4000.0f;
  file.last_x = 400.0f;
  file.year = 99;
  file.month = 12;
  file.day = 31;
  file.hour = 24;  // 23 h
  file.minute = 59;
  file.scans = 64;
  file.comment = "old sample";
  AP7_SPECTRUM* spectrum = read_spectrum(file.bytes());
  ASSERT_NE(spectrum, nullptr);
  EXPECT_EQ(values(spectrum), (std::vector<float>{0.75f, -0.5f, 1.0f}));
  EXPECT_EQ(packed(header(spectrum).first_x), 400.0f);
  EXPECT_EQ(packed(header(spectrum).last_x), 4000.0f);
  EXPECT_EQ(packed(header(spectrum).NumScans), 64u);
  EXPECT_EQ(packed(header(spectrum).time), stored(1999, 12, 31, 23, 59));
  EXPECT_EQ(title(spectrum), "old sample");
}

TEST_F(Velmaran, OldFormOfAFewPointsIsShorterThanANewHeader) {
  OldForm file;
  file.values = float_values({5.0f, 6.0f});
  AP7_SPECTRUM* spectrum = read_spectrum(file.bytes());
  ASSERT_NE(spectrum, nullptr);
  EXPECT_EQ(values(spectrum), (std::vector<float>{5.0f, 6.0f}));
}

// ---------------------------------------------------------------------------
// Damaged files

struct DamagedCase {
  const char* name;
  std::string bytes;
  uint32_t error;
};

std::string new_form(const std::function<void(NewForm&)>& change) {
  NewForm file;
  file.subfiles = {float_values({1, 2, 3, 4})};
  change(file);
  return file.bytes();
}

std::vector<DamagedCase> damaged_cases() {
  OldForm nan_count;
  nan_count.values = float_values({1, 2});
  nan_count.points = std::numeric_limits<float>::quiet_NaN();
  OldForm negative_count = nan_count;
  negative_count.points = -3.0f;
  OldForm long_count = nan_count;
  long_count.points = 1.0e6f;
  return {
      {"header_cut_short", new_form([](NewForm&) {}).substr(0, 300), AP20_ERROR_SHORT_FILE},
      {"values_cut_short", new_form([](NewForm&) {}).substr(0, 512 + 32 + 8), AP20_ERROR_SHORT_FILE},
      {"more_points_than_the_file_holds", new_form([](NewForm& f) { f.points = 1000; }), AP20_ERROR_SHORT_FILE},
      {"points_that_wrap_32_bits", new_form([](NewForm& f) { f.points = 0x40000001; }), AP20_ERROR_SHORT_FILE},
      {"subfiles_that_wrap_32_bits",
       new_form([](NewForm& f) {
         f.points = 1;
         f.subfiles = {float_values({1})};
         f.subfile_count = 0xFFFFFFFF;
       }),
       AP20_ERROR_SHORT_FILE},
      {"no_points", new_form([](NewForm& f) { f.points = 0; }), AP20_ERROR_DAMAGED},
      {"no_subfiles", new_form([](NewForm& f) { f.subfile_count = 0; }), AP20_ERROR_DAMAGED},
      {"x_beyond_a_float", new_form([](NewForm& f) { f.last_x = 1e300; }), AP20_ERROR_DAMAGED},
      {"x_not_a_number", new_form([](NewForm& f) { f.first_x = std::nan(""); }), AP20_ERROR_DAMAGED},
      {"old_count_not_a_number", nan_count.bytes(), AP20_ERROR_DAMAGED},
      {"old_count_negative", negative_count.bytes(), AP20_ERROR_DAMAGED},
      {"old_count_beyond_the_file", long_count.bytes(), AP20_ERROR_SHORT_FILE},
      {"other_version", std::string("\0Z", 2) + std::string(600, '\0'), AP20_ERROR_NOT_NATIVE},
  };
}

class DamagedFiles : public Velmaran, public testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedFiles, AreRefusedWithTheContainersFileError) {
  uint32_t error = 0;
  testsupport::write_file("v.spc", GetParam().bytes);
  EXPECT_EQ(read_as("v.spc", kVelmaran, &error), nullptr);
  EXPECT_EQ(error, GetParam().error);
  EXPECT_EQ(APX_GetClassTable()->classes[AP7_CLASS_ID].live, 0) << "no spectrum is left behind";
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedFiles, testing::ValuesIn(damaged_cases()),
                         [](const testing::TestParamInfo<DamagedCase>& info) { return std::string(info.param.name); });

TEST_F(Velmaran, CommentIsCopiedUpToItsFieldsEnd) {
  NewForm file;
  file.comment = std::string(130, 'x');
  file.subfiles = {float_values({1})};
  testsupport::write_file("v.spc", file.bytes() + std::string(200, 'y'));
  AP21_SPECTRUM_FILE* spectrum_file = opened("v.spc", AP20_MODE_READ, kVelmaran);
  ASSERT_NE(spectrum_file, nullptr);
  char buffer[256];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(send(AP63_MSG_COMMENT, format_of(spectrum_file), buffer), 1u);
  EXPECT_EQ(std::string(buffer), std::string(130, 'x'));
  EXPECT_EQ(buffer[131], '#') << "nothing written past the terminator";
}

// ---------------------------------------------------------------------------
// Writing

class VelmaranWriter : public Velmaran {
 protected:
  std::string written(AP7_SPECTRUM* spectrum) {
    EXPECT_EQ(write_as("w.spc", kVelmaran, spectrum), 1u);
    return testsupport::read_file(path("w.spc"));
  }
};

TEST_F(VelmaranWriter, WritesOneNewFormSubfileFromTheLargerWavenumberDown) {
  AP7_SPECTRUM* source = spectrum({0.5f, 1.0f, -0.25f}, 17, 400.0f, 4000.0f);
  header(source).x_units = 1;
  header(source).time = stored(2023, 7, 4, 9, 30);
  std::strcpy(header(source).title, "written");
  const std::string bytes = written(source);
  ASSERT_EQ(bytes.size(), 512u + 32u + 12u);
  EXPECT_EQ(get<uint8_t>(bytes, 0), 0);
  EXPECT_EQ(get<uint8_t>(bytes, 1), 'K');
  EXPECT_EQ(get<int8_t>(bytes, 3), 2) << "1.0 halves to 0.5, which still counts, then to 0.25";
  EXPECT_EQ(get<uint32_t>(bytes, 4), 3u);
  EXPECT_EQ(get<double>(bytes, 8), 4000.0);
  EXPECT_EQ(get<double>(bytes, 16), 400.0);
  EXPECT_EQ(get<uint32_t>(bytes, 24), 1u);
  EXPECT_EQ(get<uint8_t>(bytes, 28), 1);
  EXPECT_EQ(get<uint8_t>(bytes, 29), 2);
  EXPECT_EQ(get<uint32_t>(bytes, 32), packed_date(2023, 7, 4, 9, 30));
  EXPECT_EQ(bytes.substr(45, 6), std::string("TALVO\0", 6));
  EXPECT_EQ(bytes.substr(88, 8), std::string("written\0", 8));
  EXPECT_EQ(bytes.substr(512, 32), std::string(32, '\0'));
  EXPECT_EQ(get<int32_t>(bytes, 544), -(1 << 28));
  EXPECT_EQ(get<int32_t>(bytes, 548), 1 << 30);
  EXPECT_EQ(get<int32_t>(bytes, 552), 1 << 29);
}

struct RoundTripCase {
  const char* name;
  uint32_t x_units;
  uint32_t y_units;
  std::vector<float> y;
  int8_t exponent;
};

class RoundTrips : public VelmaranWriter, public testing::WithParamInterface<RoundTripCase> {};

// Values come back within the step of the integers at the exponent.
TEST_P(RoundTrips, KeepValuesAxisAndUnits) {
  const RoundTripCase& c = GetParam();
  AP7_SPECTRUM* source = spectrum(c.y, c.y_units, 500.0f, 3500.0f);
  header(source).x_units = c.x_units;
  std::strcpy(header(source).title, "round trip");
  const std::string bytes = written(source);
  EXPECT_EQ(get<int8_t>(bytes, 3), c.exponent);
  auto* back = reinterpret_cast<AP7_SPECTRUM*>(read_as("w.spc", kVelmaran));
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->class_id, AP7_CLASS_ID);
  EXPECT_EQ(packed(header(back).first_x), 500.0f);
  EXPECT_EQ(packed(header(back).last_x), 3500.0f);
  EXPECT_EQ(packed(header(back).x_units), c.x_units);
  EXPECT_EQ(packed(header(back).y_units), c.y_units);
  EXPECT_EQ(title(back), "round trip");
  const std::vector<float> got = values(back);
  ASSERT_EQ(got.size(), c.y.size());
  const double step = c.exponent == AP63_FLOAT_VALUES ? 0.0 : std::ldexp(1.0, c.exponent - 32);
  for (size_t i = 0; i < got.size(); ++i) {
    if (std::isinf(c.y[i])) {
      EXPECT_EQ(got[i], c.y[i]);
    } else {
      EXPECT_NEAR(got[i], c.y[i], step) << i;
    }
  }
}

const float kInfinity = std::numeric_limits<float>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Spectra, RoundTrips,
    testing::Values(RoundTripCase{"absorbance", 1, 17, {0.1f, 0.7f, 1.3f, 0.02f}, 2},
                    RoundTripCase{"transmittance_nanometres", 3, 16, {98.5f, 12.25f, 55.0f}, 8},
                    RoundTripCase{"micrometres_reflectance", 4, 21, {0.001f, 0.002f, 0.0005f}, 0},
                    RoundTripCase{"raman", 32, 31, {1500.0f, 20000.0f, 3.0f}, 16},
                    RoundTripCase{"other_units_ascending", 8, 22, {-3.0f, 2.0f, 1.0f}, 3},
                    RoundTripCase{"beyond_32_bits_as_floats", 1, 17, {3.0e9f, -1.0f, 5.0e12f}, AP63_FLOAT_VALUES},
                    RoundTripCase{"infinity_as_floats", 1, 17, {1.0f, kInfinity, 2.0f}, AP63_FLOAT_VALUES},
                    RoundTripCase{"minus_infinity_as_floats", 1, 17, {-kInfinity, 2.0f}, AP63_FLOAT_VALUES}),
    [](const testing::TestParamInfo<RoundTripCase>& info) { return std::string(info.param.name); });

TEST_F(VelmaranWriter, RamanIntensityCarriesTheFlagAndTypes) {
  AP7_SPECTRUM* source = spectrum({1, 2}, 31, 100.0f, 3000.0f);
  header(source).x_units = 32;
  const std::string bytes = written(source);
  EXPECT_EQ(get<uint8_t>(bytes, 0), AP63_FLAG_AXIS_LABELS);
  EXPECT_EQ(get<uint8_t>(bytes, 28), 13);
  EXPECT_EQ(get<uint8_t>(bytes, 29), 0);
  EXPECT_EQ(bytes[218], '\0') << "empty X label";
}

TEST_F(VelmaranWriter, MissingValuesAreFilledFromTheirNeighbours) {
  const float missing = std::numeric_limits<float>::quiet_NaN();
  AP7_SPECTRUM* source = spectrum({missing, 0.25f, missing, missing, missing, 0.125f, missing}, 17, 0, 6);
  header(source).x_units = 2;
  const std::string bytes = written(source);
  ASSERT_EQ(get<int8_t>(bytes, 3), 0);
  std::vector<int32_t> stored;
  for (size_t at = 544; at < bytes.size(); at += 4) stored.push_back(get<int32_t>(bytes, at));
  const double scale = std::ldexp(1.0, 32);
  const std::vector<double> expected = {0.25, 0.25, 0.25 - 0.125 / 4, 0.25 - 0.25 / 4, 0.25 - 0.375 / 4, 0.125,
                                        0.125};
  ASSERT_EQ(stored.size(), expected.size());
  for (size_t i = 0; i < stored.size(); ++i) EXPECT_EQ(stored[i], static_cast<int32_t>(expected[i] * scale)) << i;
}

TEST_F(VelmaranWriter, AllValuesMissingAreWrittenAsZeros) {
  const float missing = std::numeric_limits<float>::quiet_NaN();
  AP7_SPECTRUM* source = spectrum({missing, missing, missing}, 17, 400, 4000);
  const std::string bytes = written(source);
  EXPECT_EQ(get<int8_t>(bytes, 3), 0);
  EXPECT_EQ(bytes.substr(544), std::string(12, '\0'));
}

TEST_F(VelmaranWriter, ATitleLongerThanTheCommentIsCut) {
  AP7_SPECTRUM* source = spectrum({1, 2}, 17, 400, 4000);
  std::strcpy(header(source).title, std::string(200, 't').c_str());
  const std::string bytes = written(source);
  EXPECT_EQ(bytes.substr(88, 130), std::string(129, 't') + '\0');
}

TEST_F(VelmaranWriter, SavingASpectrumGoesThroughTheFormatClass) {
  AP7_SPECTRUM* source = spectrum({0.5f, 0.25f}, 17, 400, 4000);
  ASSERT_EQ(ap7b_SetFilePath(source, path("saved.spc").c_str()), 1);
  EXPECT_EQ(ap7d_SaveToFile(reinterpret_cast<AP_OBJECT*>(source), kVelmaran), 1);
  auto* back = reinterpret_cast<AP7_SPECTRUM*>(read_as("saved.spc", 0));
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(values(back), (std::vector<float>{0.5f, 0.25f}));
}

// ---------------------------------------------------------------------------
// The frame

TEST_F(Velmaran, FrameAnswersTheCommonAndFileMessagesThroughTheOwner) {
  NewForm file;
  file.subfiles = {float_values({1})};
  testsupport::write_file("v.spc", file.bytes());
  AP21_SPECTRUM_FILE* spectrum_file = opened("v.spc", AP20_MODE_READ, kVelmaran);
  ASSERT_NE(spectrum_file, nullptr);
  AP_OBJECT* format = format_of(spectrum_file);
  EXPECT_EQ(send(AP_MSG_INIT, format), 1u);
  EXPECT_EQ(send(AP63_MSG_NO_EFFECT, format), 1u);
  EXPECT_EQ(send(AP63_MSG_FILE_IS_OPEN, format, file_of(spectrum_file)), 1u);
  EXPECT_EQ(send(AP20_MSG_FILE_SIZE, format), file.bytes().size());
  AP20_WORDPARM code{1392};
  EXPECT_NE(send(AP20_MSG_SET_ERROR, format, &code), 0u);
  EXPECT_EQ(ap20_GetError(file_of(spectrum_file)), 1392u);
  EXPECT_EQ(send(AP20_MSG_REOPEN, format), 0u);
}

TEST_F(Velmaran, CompareNamesTheOtherFileByItsFormatObject) {
  NewForm file;
  file.subfiles = {float_values({1})};
  testsupport::write_file("a.spc", file.bytes());
  testsupport::write_file("b.spc", file.bytes());
  AP21_SPECTRUM_FILE* first = opened("a.spc", AP20_MODE_READ, kVelmaran);
  AP21_SPECTRUM_FILE* second = opened("b.spc", AP20_MODE_READ, kVelmaran);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  uint32_t position = 0;
  AP20_COMPAREPARM parameter{format_of(second), &position};
  EXPECT_EQ(send(AP20_MSG_COMPARE, format_of(first), &parameter), 1u);
}

}  // namespace
