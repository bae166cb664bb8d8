#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"
#include "util/util.h"

namespace {

using namespace spectrumtest;

// The list separator set for one test and put back after it.
class ListSeparator {
 public:
  explicit ListSeparator(char separator) : saved_(GUX_GetInternationalChar(GUX_LIST)) {
    GUX_SetInternationalChar(separator, GUX_LIST);
  }
  ~ListSeparator() { GUX_SetInternationalChar(saved_, GUX_LIST); }

 private:
  char saved_;
};

class RangeText : public SpectrumTest {
 protected:
  // The text of message 212, and its block's size; "" for no text.
  static std::string to_text(AP7_SPECTRUM* spectrum, float x1, float x2, uint32_t* bytes = nullptr) {
    AP7_XRANGEPARM parameter{x1, x2};
    auto* handle = ap_result_object<GU3_DESCRIPTOR>(send(AP7_MSG_RANGE_TO_TEXT, spectrum, &parameter));
    if (handle == nullptr) return "";
    if (bytes != nullptr) *bytes = GU3_NumElements_MM(handle) * GU3_LenElements_MM(handle);
    std::string text = static_cast<const char*>(GU3_GetPointer_MM(handle, 0, nullptr, nullptr));
    GU3_Free_MM(handle);
    return text;
  }

  static uint32_t from_text(AP7_SPECTRUM* spectrum, const std::string& text) {
    return send(AP7_MSG_RANGE_FROM_TEXT, spectrum, const_cast<char*>(text.c_str()));
  }
};

// A number field: right-aligned in 12 characters.
std::string number(const std::string& digits) { return std::string(12 - digits.size(), ' ') + digits; }

// The count field: right-aligned in 10 characters.
std::string count(const std::string& digits) { return std::string(10 - digits.size(), ' ') + digits; }

std::string line(const std::vector<std::string>& fields, char separator) {
  std::string text;
  for (const std::string& field : fields) text += (text.empty() ? "" : std::string(1, separator)) + field;
  return text;
}

bool history_bit(AP7_SPECTRUM* spectrum, int16_t bit) {
  return ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), bit) != 0;
}

void expect_values(const std::vector<float>& actual, const std::vector<float>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    if (std::isnan(expected[i]))
      EXPECT_TRUE(std::isnan(actual[i])) << "point " << i;
    else
      EXPECT_FLOAT_EQ(actual[i], expected[i]) << "point " << i;
  }
}

// ---------------------------------------------------------------------------
// Writing (212)

// Five points at X 0..4. Five significant digits; the exponent has three
// digits, as the workstation's programs read them.
TEST_F(RangeText, WritesCountLimitsAndValuesInFixedFields) {
  ListSeparator separator(';');
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 4.0f, {1.0f, 2.5f, -3.0f, 12345.678f, 1e-10f});
  uint32_t bytes = 0;
  const std::string text = to_text(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, &bytes);
  EXPECT_EQ(text, line({count("5"), number("0"), number("4"), number("1"), number("2.5"), number("-3"),
                        number("12346"), number("1e-010")},
                       ';'));
  // 37 bytes of count and limits, a separator between values, 12 bytes per
  // value and the terminator.
  EXPECT_EQ(bytes, 37u + 4u + 12u * 5u + 1u);
  EXPECT_EQ(text.size() + 1, bytes);
  EXPECT_EQ(destroy(spectrum), 1u);
}

struct WriteCase {
  const char* name;
  float x1;
  float x2;
  std::vector<std::string> fields;
};

class RangeTextRanges : public RangeText, public testing::WithParamInterface<WriteCase> {};

// Eleven points at X 0..10 with values 1..11.
TEST_P(RangeTextRanges, WritesThePointsOfTheRange) {
  ListSeparator separator(',');
  AP7_SPECTRUM* spectrum = make_ramp(11, 0.0f, 10.0f);
  const auto before = live_counts();
  EXPECT_EQ(to_text(spectrum, GetParam().x1, GetParam().x2), line(GetParam().fields, ','));
  // The cut copy is gone; the spectrum keeps its points.
  EXPECT_EQ(live_counts(), before);
  EXPECT_EQ(packed(record(spectrum).points), 11u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, RangeTextRanges,
    testing::Values(
        WriteCase{"inside", 2.0f, 4.0f, {count("3"), number("2"), number("4"), number("3"), number("4"), number("5")}},
        WriteCase{"reversed", 4.0f, 2.0f, {count("3"), number("2"), number("4"), number("3"), number("4"), number("5")}},
        WriteCase{"open_low_end", AP_NOT_GIVEN, 1.0f, {count("2"), number("0"), number("1"), number("1"), number("2")}},
        WriteCase{"over_the_end", 9.0f, 25.0f, {count("2"), number("9"), number("10"), number("10"), number("11")}},
        WriteCase{"one_point", 6.0f, 6.0f, {count("1"), number("6"), number("6"), number("7")}}),
    [](const testing::TestParamInfo<WriteCase>& info) { return std::string(info.param.name); });

TEST_F(RangeText, WritesADescendingAxisInItsOwnOrder) {
  ListSeparator separator(',');
  AP7_SPECTRUM* spectrum = make_axis(4.0f, 0.0f, {1, 2, 3, 4, 5});
  EXPECT_EQ(to_text(spectrum, 1.0f, 3.0f),
            line({count("3"), number("3"), number("1"), number("2"), number("3"), number("4")}, ','));
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(RangeText, WritesASpectrumOfOnePoint) {
  ListSeparator separator(',');
  AP7_SPECTRUM* spectrum = make_axis(5.0f, 5.0f, {7});
  EXPECT_EQ(to_text(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN),
            line({count("1"), number("5"), number("5"), number("7")}, ','));
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(RangeText, WritesMissingValuesAsNotANumber) {
  ListSeparator separator(',');
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 1.0f, {AP1_GetNaNSG_MATH(), 2});
  const std::string text = to_text(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN);
  ASSERT_EQ(text.size(), 37u + 1u + 24u);
  EXPECT_TRUE(std::isnan(std::strtof(text.substr(37, 12).c_str(), nullptr))) << text;
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(RangeText, WritesAtMost2048Points) {
  AP7_SPECTRUM* spectrum = make_ramp(2049, 0.0f, 2048.0f);
  const auto before = live_counts();
  EXPECT_EQ(to_text(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN), "");
  EXPECT_EQ(live_counts(), before);
  uint32_t bytes = 0;
  EXPECT_NE(to_text(spectrum, 0.0f, 2047.0f, &bytes), "");
  EXPECT_EQ(bytes, 37u + 2047u + 12u * 2048u + 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(RangeText, WritesNothingForARangeOutsideTheData) {
  AP7_SPECTRUM* spectrum = make_ramp(11, 0.0f, 10.0f);
  const auto before = live_counts();
  EXPECT_EQ(to_text(spectrum, 20.0f, 30.0f), "");
  EXPECT_EQ(to_text(spectrum, -30.0f, -20.0f), "");
  EXPECT_EQ(live_counts(), before);
  EXPECT_EQ(destroy(spectrum), 1u);
}

// ---------------------------------------------------------------------------
// Reading (216): refusals, which come before any value is evaluated

struct RefusedCase {
  const char* name;
  std::string text;
};

class RangeTextRefused : public RangeText, public testing::WithParamInterface<RefusedCase> {};

// Five points at X 0..4 with values 1..5.
TEST_P(RangeTextRefused, ChangesNothing) {
  AP7_SPECTRUM* spectrum = make_ramp(5, 0.0f, 4.0f);
  const std::string text = GetParam().text;
  EXPECT_EQ(from_text(spectrum, text), 0u);
  EXPECT_EQ(text, GetParam().text);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3, 4, 5}));
  EXPECT_FALSE(history_bit(spectrum, AP41_HISTORY_FROM_TEXT));
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RangeTextRefused,
    testing::Values(RefusedCase{"empty", ""}, RefusedCase{"count_only", "3"}, RefusedCase{"no_last_x", "3,0"},
                    RefusedCase{"count_zero", "0,0,4,1,2"}, RefusedCase{"count_negative", "-3,0,4,1,2,3"},
                    RefusedCase{"count_beyond_32_bits", "99999999999,0,4,1"},
                    RefusedCase{"count_beyond_a_spectrum", "500001,0,4,1"},
                    RefusedCase{"first_x_not_a_number", "3,nan,4,1,2,3"},
                    RefusedCase{"last_x_infinite", "3,0,inf,1,2,3"},
                    RefusedCase{"range_above_the_data", "3,10,20,1,2,3"},
                    RefusedCase{"range_below_the_data", "3,-20,-10,1,2,3"},
                    // The writer's own separator when it is not ",": one field.
                    RefusedCase{"other_separator", "         3;           0;           4;           1;           2;"
                                                   "           3"}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST_F(RangeText, RefusesAMissingText) {
  AP7_SPECTRUM* spectrum = make_ramp(5, 0.0f, 4.0f);
  EXPECT_EQ(ap7d_RangeFromText(spectrum, nullptr), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

// ---------------------------------------------------------------------------
// Reading (216): values put back

struct ReadCase {
  const char* name;
  std::string text;
  std::vector<float> y;
};

class RangeTextRead : public RangeText, public testing::WithParamInterface<ReadCase> {};

// Nine points at X 0..8, all -1 before the text is read: the text's values
// lie evenly over its range and are interpolated linearly at the points
// the two ranges share.
TEST_P(RangeTextRead, InterpolatesTheValuesOntoTheSharedPoints) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 8.0f, std::vector<float>(9, -1.0f));
  const auto before = live_counts();
  EXPECT_EQ(from_text(spectrum, GetParam().text), 1u);
  expect_values(values(spectrum), GetParam().y);
  EXPECT_TRUE(history_bit(spectrum, AP41_HISTORY_FROM_TEXT));
  EXPECT_EQ(live_counts(), before);
  EXPECT_EQ(destroy(spectrum), 1u);
}

// Nine points at X 8..0: the values land on the points of their own X.
TEST_P(RangeTextRead, LandsOnTheSameXOnAnAxisRunningDownward) {
  AP7_SPECTRUM* spectrum = make_axis(8.0f, 0.0f, std::vector<float>(9, -1.0f));
  EXPECT_EQ(from_text(spectrum, GetParam().text), 1u);
  const std::vector<float> upward = GetParam().y;
  expect_values(values(spectrum), std::vector<float>(upward.rbegin(), upward.rend()));
  EXPECT_EQ(destroy(spectrum), 1u);
}

constexpr float kNaN = NAN;

INSTANTIATE_TEST_SUITE_P(
    Texts, RangeTextRead,
    testing::Values(
        ReadCase{"same_grid", "9,0,8,0,1,2,3,4,5,6,7,8", {0, 1, 2, 3, 4, 5, 6, 7, 8}},
        // Pairs (0, 0), (4, 8), (8, 4).
        ReadCase{"coarser_grid", "3,0,8,0,8,4", {0, 2, 4, 6, 8, 7, 6, 5, 4}},
        // Pairs (4, 1), (8, 2), (12, 3): points 4..8 only.
        ReadCase{"wider_than_the_data", "3,4,12,1,2,3", {-1, -1, -1, -1, 1, 1.25f, 1.5f, 1.75f, 2}},
        // Filled from the end: pairs (2, 3), (4, 2), (6, 1).
        ReadCase{"descending", "3,6,2,1,2,3", {-1, -1, 3, 2.5f, 2, 1.5f, 1, -1, -1}},
        // Pairs (0, 1), (4, NaN), (8, NaN): the first point holds the first value.
        ReadCase{"fewer_values_than_the_count", "3,0,8,1", {1, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN}},
        ReadCase{"spaces_around_numbers", "  3 ,  0 ,  8 ,  0 ,  8 ,  4 ", {0, 2, 4, 6, 8, 7, 6, 5, 4}}),
    [](const testing::TestParamInfo<ReadCase>& info) { return std::string(info.param.name); });

TEST_F(RangeText, ReadsBackWhatItWroteWhenTheSeparatorIsAComma) {
  ListSeparator separator(',');
  AP7_SPECTRUM* source = make_axis(100.0f, 104.0f, {0.5f, -2.25f, 7.125f, 1024.0f, 3.0f});
  AP7_SPECTRUM* target = make_axis(100.0f, 104.0f, std::vector<float>(5, 0.0f));
  const std::string text = to_text(source, AP_NOT_GIVEN, AP_NOT_GIVEN);
  ASSERT_NE(text, "");
  EXPECT_EQ(from_text(target, text), 1u);
  // Values of five significant digits or fewer come back exactly.
  expect_values(values(target), {0.5f, -2.25f, 7.125f, 1024.0f, 3.0f});
  EXPECT_EQ(packed(record(target).first_x), 100.0f);
  EXPECT_EQ(packed(record(target).last_x), 104.0f);
  EXPECT_EQ(destroy(source), 1u);
  EXPECT_EQ(destroy(target), 1u);
}

}  // namespace
