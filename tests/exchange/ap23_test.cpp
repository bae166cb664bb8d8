// The JCAMP-DX format class: the format test and title, the reader over the
// public test files (every digit form of the standard) and over small files
// that show one rule each (compressed forms, the Y check, refusals, units,
// dates), and the writer's header, history lines and table compared whole
// with the text the format defines, its refusals, and round trips.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exchange/exchange_fixture.h"

namespace {

constexpr uint16_t kJcamp = AP23_CLASS_ID;
const float kNaN = std::numeric_limits<float>::quiet_NaN();

// A file of the records given and a table after "##XYDATA=(X++(Y..Y))".
std::string jcamp(const std::string& records, const std::string& table) {
  return "##TITLE=test\r\n##JCAMP-DX=5.01\r\n" + records + "##XYDATA=(X++(Y..Y))\r\n" + table + "##END=\r\n";
}
std::string axis(int points, double first_x, double last_x) {
  std::ostringstream text;
  text << "##FIRSTX=" << first_x << "\r\n##LASTX=" << last_x << "\r\n##NPOINTS=" << points << "\r\n";
  return text.str();
}

class Jcamp : public exchangetest::ExchangeFiles {
 protected:
  void SetUp() override {
    ExchangeFiles::SetUp();
    setenv("TZ", "UTC0", 1);
  }
  AP7_SPECTRUM* read_text(const std::string& content, uint32_t* error = nullptr) {
    testsupport::write_file("j.jdx", content);
    return reinterpret_cast<AP7_SPECTRUM*>(read_as("j.jdx", kJcamp, error));
  }
  std::vector<float> read_values(const std::string& content) {
    AP7_SPECTRUM* spectrum = read_text(content);
    return spectrum != nullptr ? values(spectrum) : std::vector<float>{};
  }
  uint32_t format_test(const std::string& content) {
    testsupport::write_file("j.jdx", content);
    AP21_SPECTRUM_FILE* spectrum_file = opened("j.jdx", AP20_MODE_READ, kJcamp);
    EXPECT_NE(spectrum_file, nullptr);
    return spectrum_file != nullptr ? send(AP21_FORMAT_TEST, format_of(spectrum_file)) : 0;
  }
  // What the writer makes of the spectrum; empty when it refuses.
  std::string written(AP7_SPECTRUM* spectrum, uint32_t expected = 1) {
    EXPECT_EQ(write_as("w.jdx", kJcamp, spectrum), expected);
    return testsupport::read_file(path("w.jdx"));
  }
  // An absorbance spectrum in wavenumbers with a fixed date.
  AP7_SPECTRUM* spectrum(float first_x, float last_x, const std::vector<float>& y, uint32_t y_units = 17) {
    AP7_SPECTRUM* made = keep(spectrumtest::make_axis(first_x, last_x, y));
    header(made).x_units = 1;
    header(made).y_units = y_units;
    header(made).p42 = 521;
    GU4_TM when{30, 20, 10, 15, 6, 124, 0, 0, -1};
    header(made).time = GU4_tm2Time(&when);
    capobj_StrCopyN("Polystyrene", header(made).title, sizeof header(made).title);
    return made;
  }
  static void near_ir() { ASSERT_EQ(GU6_SetConfig(AP23_CONFIG_SECTION, AP23_NEAR_IR_KEY, "1"), 1); }
};

// The lines of a text, each without its CR LF; the text must end in one.
std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
  return lines;
}

// The header lines of a written file, from "##XUNITS" on.
std::vector<std::string> from_label(const std::string& text, const std::string& label) {
  std::vector<std::string> lines = lines_of(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind(label, 0) == 0) return std::vector<std::string>(lines.begin() + i, lines.end());
  }
  return {};
}

// ---------------------------------------------------------------------------
// Format test, detection and title

struct FormatCase {
  const char* name;
  std::string content;
  uint32_t answer;
};

class JcampFormatTest : public Jcamp, public testing::WithParamInterface<FormatCase> {};

TEST_P(JcampFormatTest, WantsTheTitleThenTheVersionLabel) { EXPECT_EQ(format_test(GetParam().content), GetParam().answer); }

INSTANTIATE_TEST_SUITE_P(
    Files, JcampFormatTest,
    testing::Values(FormatCase{"title_then_version", "##TITLE=a\r\n##JCAMP-DX=5.01\r\n", 1},
                    FormatCase{"title_over_two_lines", "##TITLE=a\nb\n##JCAMP-DX=4.24\n", 1},
                    FormatCase{"labels_in_any_case_and_spacing", "## title = a\n##jcamp_dx=5\n", 1},
                    FormatCase{"version_first", "##JCAMP-DX=5.01\n##TITLE=a\n", 0},
                    FormatCase{"title_over_three_lines", "##TITLE=a\nb\nc\n##JCAMP-DX=5.01\n", 0},
                    FormatCase{"other_second_label", "##TITLE=a\n##DATA TYPE=IR\n", 0},
                    FormatCase{"first_line_too_long", "##TITLE=" + std::string(300, 'a') + "\n##JCAMP-DX=5\n", 0},
                    FormatCase{"one_line", "##TITLE=a\n", 0}, FormatCase{"empty", "", 0},
                    FormatCase{"pairs_file", "4000.0,0.5\n3998.0,0.6\n", 0}),
    [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST_F(Jcamp, DetectionFindsTheClassAndTheTitleRunsOverTwoLines) {
  testsupport::write_file("j.jdx", "##TITLE=Indene\r\n sample 2\r\n##JCAMP-DX=5.01\r\n");
  AP21_SPECTRUM_FILE* spectrum_file = opened("j.jdx", AP20_MODE_READ, 0);
  ASSERT_NE(spectrum_file, nullptr);
  EXPECT_EQ(packed(format_of(spectrum_file)->class_id), kJcamp);
  char name[128] = {};
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, spectrum_file, name), 1u);
  EXPECT_STREQ(name, "AP21_SPECTRUM_FILE : AP23_JCAMP_FILE");
  char title[256] = {};
  EXPECT_EQ(send(AP21_MSG_TITLE, spectrum_file, title), 1u);
  EXPECT_STREQ(title, "Indene sample 2");
  AP25_WHICHPARM which{0, 0};
  EXPECT_EQ(send(AP63_MSG_NO_EFFECT, format_of(spectrum_file), &which), 1u);
}

// ---------------------------------------------------------------------------
// The public test files

// A number of a record as the file writes it ("##NPOINTS=" and so on at the
// start of a line), read without the class.
// Blanks inside the number ("0. 4491087E+01") are the writer's and go.
std::string header_text(const std::string& text, const std::string& label) {
  const size_t at = text.find("\n" + label);
  EXPECT_NE(at, std::string::npos) << label;
  if (at == std::string::npos) return "0";
  std::string value;
  for (size_t i = at + 1 + label.size(); i < text.size() && text[i] != '\r' && text[i] != '\n'; ++i) {
    if (text[i] != ' ') value += text[i];
  }
  return value;
}
double header_number(const std::string& text, const std::string& label) {
  return std::strtod(header_text(text, label).c_str(), nullptr);
}
// A unit in the last digit a number is written with (headers cut, not
// round, their first Y).
double last_digit(const std::string& number) {
  const size_t point = number.find('.');
  const size_t exponent = number.find_first_of("eE");
  const size_t mantissa_end = exponent == std::string::npos ? number.size() : exponent;
  const int decimals = point == std::string::npos || point > mantissa_end ? 0 : static_cast<int>(mantissa_end - point - 1);
  const int power = exponent == std::string::npos ? 0 : std::atoi(number.c_str() + exponent + 1);
  return std::pow(10.0, power - decimals);
}

std::string public_file(const std::string& name) {
  for (const std::string& folder : {std::string(GAML2KOV_TEST_DATA) + "/jcamp",
#ifdef GAML2KOV_JCAMP_SHARED
                                   std::string(GAML2KOV_JCAMP_SHARED)
#else
                                   std::string()
#endif
       }) {
    if (!folder.empty() && std::filesystem::exists(folder + "/" + name)) return folder + "/" + name;
  }
  return std::string();
}

class PublicFiles : public Jcamp, public testing::WithParamInterface<const char*> {};

TEST_P(PublicFiles, ReadToTheValuesTheirHeaderGives) {
  const std::string source = public_file(GetParam());
  if (source.empty()) GTEST_SKIP() << GetParam() << " is not here";
  const std::string text = testsupport::read_file(source);
  const double first_x = header_number(text, "##FIRSTX=");
  const double last_x = header_number(text, "##LASTX=");
  const auto points = static_cast<uint32_t>(header_number(text, "##NPOINTS="));
  const std::string first_y_text = header_text(text, "##FIRSTY=");
  // This file's header gives 0; its table opens with A058, 1058 steps of its Y factor.
  const double first_y = std::string(GetParam()) == "isopropanol_ASDF.jdx" ? 1058 * header_number(text, "##YFACTOR=")
                                                                            : std::strtod(first_y_text.c_str(), nullptr);
  const double factor = std::fabs(header_number(text, "##YFACTOR="));
  uint32_t error = 0;
  AP7_SPECTRUM* spectrum = read_text(text, &error);
  ASSERT_NE(spectrum, nullptr) << "file error " << error;
  EXPECT_NE(error, static_cast<uint32_t>(AP23_ERROR_POINT_COUNT));
  EXPECT_EQ(packed(header(spectrum).points), points);
  EXPECT_FLOAT_EQ(header(spectrum).first_x, std::min(first_x, last_x));
  EXPECT_FLOAT_EQ(header(spectrum).last_x, std::max(first_x, last_x));
  const std::vector<float> y = values(spectrum);
  ASSERT_EQ(y.size(), points);
  const float read_first_y = first_x <= last_x ? y.front() : y.back();
  EXPECT_NEAR(read_first_y, first_y, factor * 1.0001 + last_digit(first_y_text) + std::fabs(first_y) * 1e-6);
  for (float value : y) EXPECT_TRUE(std::isfinite(value));
  EXPECT_NE(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_FROM_JCAMP), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, PublicFiles,
    testing::Values("xyinc1.jdx", "fixinc2.jdx", "dupinc2.jdx", "pacdec1.jdx", "neo-pentane.jdx",
                    "isopropanol_ASDF.jdx", "difdup_example.jdx", "noencoding_example.jdx",
                    "scientific_notation_example.jdx", "IMSDEMO.DX", "IMS_TEST1.DX", "sqzdupd1.jdx",
                    "sulphur hexafluoride.jdx", "acetone.jdx", "1,1,1-trichloroethane.jdx", "1,1-dichloroethene.jdx",
                    "1,2-dimethylbenzene.jdx", "1,3-butadiene.jdx", "1,3-dimethylbenzene.jdx", "1-butanol.jdx",
                    "2-butanone.jdx", "acetonitrile.jdx", "carbon tetrafluoride.jdx", "chloroform.jdx",
                    "dichlorodifluoromethane.jdx", "ethyl acetate.jdx", "ethylene oxide.jdx",
                    "isopropyl alcohol.jdx", "methyl bromide.jdx", "vinyl acetate.jdx"),
    [](const testing::TestParamInfo<const char*>& info) {
      std::string name;
      for (const char* c = info.param; *c != '\0'; ++c) name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
      return name;
    });

TEST_F(Jcamp, CompressedAndPlainFilesOfOneSpectrumReadAlike) {
  AP7_SPECTRUM* compressed = read_text(testsupport::read_file(public_file("difdup_example.jdx")));
  AP7_SPECTRUM* plain = read_text(testsupport::read_file(public_file("noencoding_example.jdx")));
  ASSERT_NE(compressed, nullptr);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(values(compressed), values(plain));
}

// ---------------------------------------------------------------------------
// Digit forms of the table

struct FormCase {
  const char* name;
  std::string table;
  std::vector<float> values;
};

class TableForms : public Jcamp, public testing::WithParamInterface<FormCase> {};

TEST_P(TableForms, DecodeAsTheStandardDefines) {
  const FormCase& form = GetParam();
  const std::vector<float> y =
      read_values(jcamp(axis(static_cast<int>(form.values.size()), 100, 100 + form.values.size() - 1), form.table));
  ASSERT_EQ(y.size(), form.values.size());
  for (size_t i = 0; i < y.size(); ++i) {
    if (std::isnan(form.values[i])) {
      EXPECT_TRUE(std::isnan(y[i])) << i;
    } else {
      EXPECT_FLOAT_EQ(y[i], form.values[i]) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, TableForms,
    testing::Values(
        FormCase{"affn", "100 1 2 3\r\n103 4 5\r\n", {1, 2, 3, 4, 5}},
        FormCase{"affn_decimals_and_exponents", "100 1.0E-03 2.5e+2 -0.5\r\n", {0.001f, 250, -0.5f}},
        FormCase{"pac", "100+12-3+45\r\n103-6 7\r\n", {12, -3, 45, -6, 7}},
        FormCase{"sqz", "100A2b3@I\r\n", {12, -23, 0, 9}},
        FormCase{"dif_with_y_check", "100A0JJ\r\n102A2J\r\n", {10, 11, 12, 13}},
        FormCase{"dup_of_value", "100A0T@U\r\n", {10, 10, 0, 0, 0}},
        FormCase{"dup_of_difference", "100A0JU\r\n103A3\r\n", {10, 11, 12, 13}},
        FormCase{"y_check_then_dup", "100A0J\r\n102A1T%\r\n", {10, 11, 11, 11}},
        FormCase{"multi_digit_dup", "100A5S1\r\n", {15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15}},
        FormCase{"multi_digit_dif", "100@J5K\r\n102A7\r\n", {0, 15, 17}},
        FormCase{"dup_of_difference_with_digits", "100@JS1\r\n111A1\r\n", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        FormCase{"missing_values", "100 1 ? 3\r\n103 ?T\r\n", {1, kNaN, 3, kNaN, kNaN}},
        FormCase{"comments_and_blank_lines", "$$ checkpoint\r\n100 1 2 $$ note\r\n\r\n102 3\r\n", {1, 2, 3}},
        FormCase{"descending_abscissa_ignored", "0 1 2\r\n-5 3\r\n", {1, 2, 3}}),
    [](const testing::TestParamInfo<FormCase>& info) { return std::string(info.param.name); });

TEST_F(Jcamp, ValuesAreScaledByTheYFactorAndStoredFromTheSmallerX) {
  AP7_SPECTRUM* read = read_text(jcamp("##YFACTOR=1.0E-03\r\n" + axis(3, 4000, 3998), "4000 1000 2000 3000\r\n"));
  ASSERT_NE(read, nullptr);
  EXPECT_FLOAT_EQ(header(read).first_x, 3998.0f);
  EXPECT_FLOAT_EQ(header(read).last_x, 4000.0f);
  EXPECT_EQ(values(read), (std::vector<float>{3.0f, 2.0f, 1.0f}));
}

TEST_F(Jcamp, NumbersReadWithAPointWhateverTheDecimalCharacter) {
  GUX_SetInternationalChar(',', GUX_DECIMAL);
  AP7_SPECTRUM* read = read_text(jcamp("##YFACTOR=0.5\r\n" + axis(2, 400.5, 401.5), "400.5 1.5 3\r\n"));
  ASSERT_NE(read, nullptr);
  EXPECT_FLOAT_EQ(header(read).first_x, 400.5f);
  EXPECT_EQ(values(read), (std::vector<float>{0.75f, 1.5f}));
}

// ---------------------------------------------------------------------------
// Tables and headers that are refused, not misread

struct RefusedCase {
  const char* name;
  std::string content;
};

class RefusedFiles : public Jcamp, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedFiles, GiveNoSpectrum) {
  uint32_t error = 0;
  EXPECT_EQ(read_text(GetParam().content, &error), nullptr);
  EXPECT_NE(error, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Files, RefusedFiles,
    testing::Values(RefusedCase{"more_values_than_npoints", jcamp(axis(3, 1, 3), "1 1 2 3 4\r\n")},
                    RefusedCase{"dup_beyond_npoints", jcamp(axis(3, 1, 3), "1 A0s99999999999\r\n")},
                    RefusedCase{"first_and_last_x_equal", jcamp(axis(2, 5, 5), "5 1 2\r\n")},
                    RefusedCase{"first_and_last_x_zero", jcamp(axis(2, 0, 0), "0 1 2\r\n")},
                    RefusedCase{"no_npoints", jcamp("##FIRSTX=1\r\n##LASTX=2\r\n", "1 1 2\r\n")},
                    RefusedCase{"y_check_differs", jcamp(axis(3, 1, 3), "1 A0J\r\n2 A2J\r\n")},
                    RefusedCase{"difference_first", jcamp(axis(2, 1, 2), "1 J0J\r\n")},
                    RefusedCase{"difference_after_missing", jcamp(axis(2, 1, 2), "1 ?J\r\n")},
                    RefusedCase{"dup_first", jcamp(axis(2, 1, 2), "1 T\r\n")},
                    RefusedCase{"dup_of_zero", jcamp(axis(2, 1, 2), "1 1 S0\r\n")},
                    RefusedCase{"word_in_table", jcamp(axis(2, 1, 2), "1 1 two\r\n")},
                    RefusedCase{"table_meets_another_label", "##TITLE=t\r\n##NPOINTS=2\r\n##FIRSTX=1\r\n##LASTX=2\r\n"
                                                             "##XYDATA=(X++(Y..Y))\r\n1 1 2\r\n##PEAK TABLE=(XY..XY)\r\n"},
                    RefusedCase{"table_without_end", "##TITLE=t\r\n##NPOINTS=2\r\n##FIRSTX=1\r\n##LASTX=2\r\n"
                                                     "##XYDATA=(X++(Y..Y))\r\n1 1 2\r\n"},
                    RefusedCase{"no_table", "##TITLE=t\r\n##NPOINTS=2\r\n##FIRSTX=1\r\n##LASTX=2\r\n##END=\r\n"},
                    RefusedCase{"infinite_x", jcamp(axis(2, 1, 1e300), "1 1 2\r\n")},
                    RefusedCase{"value_beyond_a_float", jcamp(axis(2, 1, 2), "1 1 1E+39\r\n")},
                    RefusedCase{"factor_beyond_a_float", jcamp("##YFACTOR=1E+30\r\n" + axis(2, 1, 2), "1 1 1E+9\r\n")}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST_F(Jcamp, AShortTableKeepsItsSpacingAndSaysSo) {
  uint32_t error = 0;
  AP7_SPECTRUM* read = read_text(jcamp(axis(5, 4000, 3996), "4000 1 2 3\r\n"), &error);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(error, static_cast<uint32_t>(AP23_ERROR_POINT_COUNT));
  EXPECT_EQ(packed(header(read).points), 3u);
  EXPECT_FLOAT_EQ(header(read).first_x, 3998.0f);
  EXPECT_FLOAT_EQ(header(read).last_x, 4000.0f);
  EXPECT_EQ(values(read), (std::vector<float>{3, 2, 1}));
}

// ---------------------------------------------------------------------------
// Header records

TEST_F(Jcamp, UnitsTheClassKnowsAndOnesItDoesNot) {
  AP7_SPECTRUM* read = read_text(jcamp("##XUNITS= 1/CM\r\n##Y UNITS=ABSORBANCE $$ base 10\r\n" + axis(2, 1, 2), "1 1 2\r\n"));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(packed(header(read).x_units), 1u);
  EXPECT_EQ(packed(header(read).y_units), 17u);
  uint32_t error = 0;
  read = read_text(jcamp("##XUNITS=cm-1\r\n##YUNITS=(micromol/mol)-1m-1\r\n" + axis(2, 1, 2), "1 1 2\r\n"), &error);
  ASSERT_NE(read, nullptr) << "unknown units do not stop the read";
  EXPECT_EQ(packed(header(read).x_units), 40u);
  EXPECT_EQ(error, static_cast<uint32_t>(AP23_ERROR_YUNITS)) << "the last error stays";
}

TEST_F(Jcamp, SecondsAreMinutesAndRamanSpectraGetRamanUnits) {
  AP7_SPECTRUM* read = read_text(jcamp("##XUNITS=SECONDS\r\n" + axis(2, 60, 120), "60 1 2\r\n"));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(packed(header(read).x_units), 6u);
  EXPECT_FLOAT_EQ(header(read).first_x, 1.0f);
  EXPECT_FLOAT_EQ(header(read).last_x, 2.0f);
  read = read_text(jcamp("##DATA TYPE=RAMAN SPECTRUM\r\n##XUNITS=1/CM\r\n" + axis(2, 100, 3500), "100 1 2\r\n"));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(packed(header(read).x_units), 32u);
  EXPECT_EQ(packed(header(read).y_units), 31u);
}

TEST_F(Jcamp, LongDateWinsOverDateAndItsZoneGivesLocalTime) {
  GU4_TM expected{42, 15, 14, 14, 1, 101, 0, 0, -1};
  AP7_SPECTRUM* read = read_text(jcamp("##LONG DATE=2001/02/14 15:15:42 +0100\r\n##DATE=99/01/01\r\n##TIME=01:02:03\r\n" +
                                           axis(2, 1, 2),
                                       "1 1 2\r\n"));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(packed(header(read).time), GU4_tm2Time(&expected));
  GU4_TM short_date{3, 2, 1, 18, 5, 91, 0, 0, -1};
  read = read_text(jcamp("##DATE=91/06/18\r\n##TIME=01:02:03\r\n" + axis(2, 1, 2), "1 1 2\r\n"));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(packed(header(read).time), GU4_tm2Time(&short_date));
}

TEST_F(Jcamp, DescriptiveRecordsGoToTheCommentAndTheTitleToTheHeader) {
  AP7_SPECTRUM* read = read_text(
      "##TITLE=Indene\r\n##JCAMP-DX=4.24\r\n##STATE=gas\r\n##OWNER=nobody\r\n##NAMES=one\r\ntwo\r\n" +
      axis(2, 1, 2) + "##XYDATA=(X++(Y..Y))\r\n1 1 2\r\n##END=\r\n");
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(title(read), "Indene");
  EXPECT_STREQ(ap7d_GetCommentText(read), "##STATE=gas ##NAMES=one two ");
}

TEST_F(Jcamp, PairsAreResampledOntoTheLaserGrid) {
  std::string table;
  for (int i = 0; i <= 100; ++i) table += std::to_string(1000 + 2 * i) + ", " + std::to_string(2 * (1000 + 2 * i)) + "\r\n";
  AP7_SPECTRUM* read = read_text("##TITLE=t\r\n##JCAMP-DX=5\r\n" + axis(101, 1000, 1200) +
                                 "##XYDATA=(XY..XY)\r\n" + table + "##END=\r\n");
  ASSERT_NE(read, nullptr);
  const double step = 2.0 * 15798.0 / 32768.0;
  EXPECT_NEAR(ap7b_GetXSpacing(read), step, 1e-4);
  EXPECT_NEAR(header(read).first_x, std::trunc(1000 / step + 0.9) * step, 1e-3);
  const std::vector<float> y = values(read);
  for (size_t i = 0; i < y.size(); ++i)
    EXPECT_NEAR(y[i], 2 * (header(read).first_x + i * step), 1e-2) << i;
}

// ---------------------------------------------------------------------------
// The writer

TEST_F(Jcamp, WritesTheHeaderTableAndEndRecordAsTheFormatDefines) {
  const std::string text = written(spectrum(4000, 3998, {1.0f, kNaN, 2.0f}));
  EXPECT_EQ(text,
            "##TITLE=Polystyrene\r\n"
            "##JCAMP-DX=5.01  $$ Corvane v. 521\r\n"
            "##DATATYPE=INFRARED SPECTRUM\r\n"
            "##ORIGIN=Public Domain\r\n"
            "##OWNER=Corvane\r\n"
            "##LONGDATE=2024/07/15\r\n"
            "##TIME=10:20:30\r\n"
            "##DATA PROCESSING=\r\n"
            "##XUNITS=1/CM\r\n"
            "##YUNITS=ABSORBANCE\r\n"
            "##FIRSTX=4000.000000\r\n"
            "##LASTX=3998.000000\r\n"
            "##FIRSTY=1.000000\r\n"
            "##MAXX=4000.000000\r\n"
            "##MINX=3998.000000\r\n"
            "##MAXY=2.000000\r\n"
            "##MINY=1.000000\r\n"
            "##XFACTOR=1.000000\r\n"
            "##YFACTOR=1.000000E-008\r\n"
            "##NPOINTS=3\r\n"
            "##DELTAX=-1.000000\r\n"
            "##XYDATA=(X++(Y..Y))\r\n"
            "4000.000 100000000 ? 200000000 \r\n"
            "##END=\r\n");
}

TEST_F(Jcamp, HistoryFlagsBecomeLinesInFlagOrder) {
  AP7_SPECTRUM* made = spectrum(400, 402, {1, 2, 3});
  for (int16_t flag : {3, 1, 0, 25, 42, 63}) ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(made), flag);
  const std::vector<std::string> lines = from_label(written(made), "##DATA PROCESSING");
  ASSERT_GE(lines.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6),
            (std::vector<std::string>{"##DATA PROCESSING=", "FFT", "Phase Correction and/or Apodization",
                                      "%Transmittance->Absorbance", "Converted from JCAMP", "##XUNITS=1/CM"}));
}

TEST_F(Jcamp, LongTitleAndOriginAreCutAndOldDatesAreShort) {
  AP7_SPECTRUM* made = spectrum(400, 402, {1, 2, 3});
  capobj_StrCopyN(std::string(100, 't').c_str(), header(made).title, sizeof header(made).title);
  GU4_TM when{0, 59, 23, 31, 11, 99, 0, 0, -1};
  header(made).time = GU4_tm2Time(&when);
  ASSERT_EQ(GU6_SetConfig(AP23_CONFIG_SECTION, AP23_COMPANY_KEY, std::string(100, 'c').c_str()), 1);
  const std::vector<std::string> lines = lines_of(written(made));
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[0], "##TITLE=" + std::string(70, 't'));
  EXPECT_EQ(lines[3], "##ORIGIN=" + std::string(69, 'c'));
  EXPECT_EQ(lines[5], "##DATE=99/12/31");
  EXPECT_EQ(lines[6], "##TIME=23:59:00");
}

struct UnitCase {
  uint32_t x_units;
  uint32_t y_units;
  const char* data_type;
  const char* x_text;
  const char* y_text;
};

class WrittenUnits : public Jcamp, public testing::WithParamInterface<UnitCase> {};

TEST_P(WrittenUnits, AreNamedByTheirCodes) {
  AP7_SPECTRUM* made = spectrum(400, 402, {10, 20, 50}, GetParam().y_units);
  header(made).x_units = GetParam().x_units;
  const std::string text = written(made);
  EXPECT_NE(text.find(std::string("##DATATYPE=") + GetParam().data_type + "\r\n"), std::string::npos);
  EXPECT_NE(text.find(std::string("##XUNITS=") + GetParam().x_text + "\r\n"), std::string::npos);
  EXPECT_NE(text.find(std::string("##YUNITS=") + GetParam().y_text + "\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Codes, WrittenUnits,
                         testing::Values(UnitCase{32, 31, "RAMAN SPECTRUM", "RAMAN SHIFT(1/CM)", "RAMAN INTENSITY"},
                                         UnitCase{4, 16, "INFRARED SPECTRUM", "MICROMETERS", "TRANSMITTANCE"},
                                         UnitCase{3, 11, "INFRARED SPECTRUM", "NANOMETERS", "REFLECTANCE"},
                                         UnitCase{8, 20, "INFRARED SPECTRUM", "", "KUBELKA MUNK"},
                                         UnitCase{7, 12, "INFRARED SPECTRUM", "UNKNOWN", "ARBITRARY UNITS"}));

TEST_F(Jcamp, PercentValuesAreWrittenAsFractions) {
  const std::vector<std::string> lines = from_label(written(spectrum(400, 402, {100, 50, 0}, 16)), "##FIRSTY");
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[0], "##FIRSTY=1.000000");
  EXPECT_EQ(lines[3], "##MAXY=1.000000");
  EXPECT_EQ(lines[6], "##YFACTOR=1.000000E-009");
  EXPECT_EQ(lines[10], "400.000 1000000000 500000000 0 ");
}

TEST_F(Jcamp, MinutesAreWrittenAsSeconds) {
  AP7_SPECTRUM* made = spectrum(1, 3, {1, 2, 3});
  header(made).x_units = 6;
  const std::vector<std::string> lines = from_label(written(made), "##XUNITS");
  ASSERT_GE(lines.size(), 15u);
  EXPECT_EQ(lines[0], "##XUNITS=SECONDS");
  EXPECT_EQ(lines[2], "##FIRSTX=60.000000");
  EXPECT_EQ(lines[3], "##LASTX=180.000000");
  EXPECT_EQ(lines[9], "##XFACTOR=1.000000");
  EXPECT_EQ(lines[12], "##DELTAX=60.000000");
}

TEST_F(Jcamp, LeadingMissingValuesAreLeftOutOfTheTable) {
  const std::vector<std::string> lines = from_label(written(spectrum(400, 404, {kNaN, kNaN, 1, kNaN, 1})), "##FIRSTX");
  ASSERT_GE(lines.size(), 14u);
  EXPECT_EQ(lines[0], "##FIRSTX=402.000000");
  EXPECT_EQ(lines[2], "##FIRSTY=1.000000");
  EXPECT_EQ(lines[9], "##NPOINTS=3");
  EXPECT_EQ(lines[12], "402.000 1000000000 ? 1000000000 ");
}

TEST_F(Jcamp, FreeLinesStayBelowSeventyEightCharacters) {
  std::vector<float> y(13, 0.5f);
  const std::vector<std::string> lines = from_label(written(spectrum(1000, 1012, y)), "##XYDATA");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1], "1000.000" + [] { std::string s; for (int i = 0; i < 6; ++i) s += " 500000000"; return s; }() + " ");
  EXPECT_EQ(lines[2].substr(0, 9), "1006.000 ");
  EXPECT_EQ(lines[3], "1012.000 500000000 ");
}

std::string repeated(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

TEST_F(Jcamp, NearIRWritesEightFixedWidthValuesALine) {
  near_ir();
  std::vector<float> y(20, 0.5f);
  y[9] = kNaN;
  const std::string text = written(spectrum(10000, 9962, y));
  const std::vector<std::string> lines = from_label(text, "##XYDATA");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[1], "10000 " + repeated(" 500000 ", 8));
  EXPECT_EQ(lines[2], "9984  500000       ? " + repeated(" 500000 ", 6));
  EXPECT_EQ(lines[3], "9968 " + repeated(" 500000 ", 4));
  EXPECT_NE(text.find("##YFACTOR=0.000001\r\n"), std::string::npos);
  EXPECT_NE(text.find("##TIME=10:20:30\r\n##SAMPLEDESCRIPTION=Polystyrene        $$   1.00\r\n##DATA PROCESSING="),
            std::string::npos);
  const std::vector<std::string> fractional = from_label(written(spectrum(4000.5f, 4002.5f, {1, 1, 1})), "##XYDATA");
  ASSERT_EQ(fractional.size(), 3u);
  EXPECT_EQ(fractional[1], "4000.500 " + repeated("1000000 ", 3));
}

TEST_F(Jcamp, TheHeaderStepPrintsItsNumberInTheSampleDescription) {
  near_ir();
  AP7_SPECTRUM* made = spectrum(400, 402, {1, 2, 3});
  AP21_SPECTRUM_FILE* spectrum_file = opened("w.jdx", AP20_MODE_CREATE, kJcamp);
  ASSERT_NE(spectrum_file, nullptr);
  AP21_HEADERPARM parameter{reinterpret_cast<AP_OBJECT*>(made), 12.345f};
  EXPECT_EQ(send(AP21_MSG_WRITE_HEADER, spectrum_file, &parameter), 1u);
  EXPECT_EQ(send(AP21_MSG_WRITE_DATA, spectrum_file, made), 1u);
  close(spectrum_file);
  const std::string text = testsupport::read_file(path("w.jdx"));
  EXPECT_NE(text.find("##SAMPLEDESCRIPTION=Polystyrene        $$  12.35\r\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 8), "##END=\r\n");
}

TEST_F(Jcamp, AnInterferogramIsWrittenInRetardations) {
  AP7_SPECTRUM* made = spectrum(0, 3, {0.5f, -2.0f, 1.0f, 0.25f}, AP41_YUNITS_INTERFEROGRAM);
  header(made).x_units = AP41_XUNITS_POINTS;
  header(made).LaserFreq = 15798.0f;
  header(made).SSP = 2.0f;
  header(made).Gain = 2.0f;
  header(made).FinalPeakPos = 1;
  const std::string text = written(made);
  const float step = 2.0f * 10000.0f / (15798.0f * 2.0f);
  auto f6 = [](float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", static_cast<double>(value));
    return std::string(text);
  };
  EXPECT_EQ(from_label(text, "##DATATYPE")[0], "##DATATYPE=INFRARED INTERFEROGRAM");
  EXPECT_EQ(from_label(text, "##XUNITS"),
            (std::vector<std::string>{"##XUNITS=1/CM", "##RUNITS=MICROMETERS", "##AUNITS=VOLTS",
                                      "##FIRSTX=0.000000", "##LASTX=7899.000000", "##FIRSTA=0.250000",
                                      "##FIRSTR=0.000000", "##LASTR=" + f6(3.0f * step),
                                      "##MAXA=0.500000", "##MINA=-1.000000", "##RFACTOR=" + f6(step),
                                      "##AFACTOR=1.000000E-009", "##NPOINTS=4", "##DELTAR=" + f6(step), "##ALIAS=1/2",
                                      "##ZPD=1", "##RADATA=(R++(A..A))", "0.000 250000000 -1000000000 500000000 125000000 ", "##END="}));
}

// ---------------------------------------------------------------------------
// What the writer refuses

struct RefusedSpectrum {
  const char* name;
  std::vector<float> y;
  uint32_t y_units;
  bool near_ir;
};

class RefusedSpectra : public Jcamp, public testing::WithParamInterface<RefusedSpectrum> {};

TEST_P(RefusedSpectra, WriteNothing) {
  if (GetParam().near_ir) near_ir();
  AP7_SPECTRUM* made = spectrum(400, 400 + GetParam().y.size(), GetParam().y, GetParam().y_units);
  header(made).Gain = 0.0f;
  EXPECT_EQ(written(made, 0), "");
  AP21_SPECTRUM_FILE* spectrum_file = opened("w.jdx", AP20_MODE_CREATE, kJcamp);
  ASSERT_NE(spectrum_file, nullptr);
  EXPECT_EQ(send(AP21_MSG_WRITE_DATA, spectrum_file, made), 0u);
  close(spectrum_file);
  EXPECT_EQ(testsupport::read_file(path("w.jdx")), "");
}

const float kInf = std::numeric_limits<float>::infinity();
INSTANTIATE_TEST_SUITE_P(
    Spectra, RefusedSpectra,
    testing::Values(RefusedSpectrum{"infinite_value", {1, kInf, 2}, 17, false},
                    RefusedSpectrum{"negative_infinity", {-kInf, 1}, 17, false},
                    RefusedSpectrum{"all_missing", {kNaN, kNaN, kNaN}, 17, false},
                    RefusedSpectrum{"one_point", {1}, 17, false},
                    RefusedSpectrum{"interferogram_without_gain", {1, 2}, AP41_YUNITS_INTERFEROGRAM, false},
                    RefusedSpectrum{"near_ir_beyond_32_bits", {1, 2147.5f}, 17, true},
                    RefusedSpectrum{"near_ir_percent_beyond_32_bits", {1, -214750.0f}, 16, true}),
    [](const testing::TestParamInfo<RefusedSpectrum>& info) { return std::string(info.param.name); });

TEST_F(Jcamp, NearIRValuesInsideThirtyTwoBitsAreWritten) {
  near_ir();
  const std::string text = written(spectrum(400, 401, {2147.48f, -2147.48f}));
  const std::string largest = std::to_string(static_cast<int32_t>(2147.48f * 1.0e6f));
  EXPECT_NE(text.find(" " + largest + " -" + largest + " "), std::string::npos);
}

TEST_F(Jcamp, FirstAndLastXBothZeroWriteNothing) {
  EXPECT_EQ(written(spectrum(0, 0, {1, 2}), 0), "");
}

// ---------------------------------------------------------------------------
// Round trips

TEST_F(Jcamp, WrittenSpectraReadBackToTheSameSpectrum) {
  std::vector<float> y;
  for (int i = 0; i < 500; ++i) y.push_back(static_cast<float>(0.3 + std::sin(i / 17.0) * (i % 7 == 3 ? -1 : 1)));
  y[100] = kNaN;
  for (uint32_t y_units : {17u, 16u, 11u, 31u}) {
    AP7_SPECTRUM* made = spectrum(3999.5f, 400.25f, y, y_units);
    if (y_units == 31) header(made).x_units = 32;
    written(made);
    AP7_SPECTRUM* read = reinterpret_cast<AP7_SPECTRUM*>(read_as("w.jdx", kJcamp));
    ASSERT_NE(read, nullptr) << y_units;
    EXPECT_EQ(packed(header(read).points), 500u);
    EXPECT_FLOAT_EQ(header(read).first_x, 400.25f);
    EXPECT_FLOAT_EQ(header(read).last_x, 3999.5f);
    EXPECT_EQ(packed(header(read).time), packed(header(made).time));
    EXPECT_EQ(title(read), "Polystyrene");
    const float scale = y_units == 16 || y_units == 11 ? 0.01f : 1.0f;
    const std::vector<float> back = values(read);
    for (size_t i = 0; i < y.size(); ++i) {
      const float expected = y[y.size() - 1 - i] * scale;
      if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(back[i])) << i;
      } else {
        // The table truncates to 1/F (10^-8 here) after single-precision scaling.
        EXPECT_NEAR(back[i], expected, 1e-8 + 4e-7 * std::fabs(expected)) << i;
      }
    }
    EXPECT_NE(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(read), AP41_HISTORY_FROM_JCAMP), 0);
  }
}

TEST_F(Jcamp, ARamanSpectrumKeepsItsUnitsThroughAFile) {
  AP7_SPECTRUM* made = spectrum(100, 3500, {1, 2, 3, 4}, 31);
  header(made).x_units = 32;
  written(made);
  AP7_SPECTRUM* read = reinterpret_cast<AP7_SPECTRUM*>(read_as("w.jdx", kJcamp));
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(packed(header(read).x_units), 32u);
  EXPECT_EQ(packed(header(read).y_units), 31u);
}

}  // namespace
