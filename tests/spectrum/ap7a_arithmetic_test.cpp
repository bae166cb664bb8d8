#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

const float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kFar = 1e30f;

bool history_bit(AP7_SPECTRUM* spectrum, int16_t bit) {
  return ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), bit) != 0;
}

// Values compared with NaN equal to NaN.
void expect_values(const std::vector<float>& actual, const std::vector<float>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    if (std::isnan(expected[i]))
      EXPECT_TRUE(std::isnan(actual[i])) << "at " << i;
    else
      EXPECT_FLOAT_EQ(actual[i], expected[i]) << "at " << i;
  }
}

class Arithmetic : public SpectrumTest {
 protected:
  static void add_title_texts() {
    utiltest::add_resource_module(
        "title_texts.dll",
        utiltest::ModuleBuilder().group(AP7_GROUP_TITLES, {{1, "Sum", 0}, {2, "Difference", 0}, {9, "Scaled ", 0}}));
  }
  static void set_title(AP7_SPECTRUM* spectrum, const char* title) {
    capobj_StrCopyN(title, record(spectrum).title, sizeof record(spectrum).title);
  }
  static std::string title(AP7_SPECTRUM* spectrum) { return record(spectrum).title; }
};

// ---------------------------------------------------------------------------
// Values at an X (37, 38)

struct ValueAtCase {
  const char* name;
  float first_x;
  float last_x;
  size_t points;
  float x;
  int index;  // -1: outside the data
};

class ValueAtX : public Arithmetic, public testing::WithParamInterface<ValueAtCase> {};

// The values are 1, 2, ..., n; the point nearest to x is read, then set.
TEST_P(ValueAtX, ReadsAndSetsThePointNearestToX) {
  const ValueAtCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_ramp(static_cast<uint32_t>(c.points), c.first_x, c.last_x);
  std::vector<float> expected = values(spectrum);
  const uint32_t inside = c.index >= 0 ? 1 : 0;

  float value = -1.0f;
  AP7_VALUEATXPARM get{c.x, &value};
  EXPECT_EQ(send(AP7_MSG_GET_VALUE_AT_X, spectrum, &get), inside);
  EXPECT_EQ(value, inside ? static_cast<float>(c.index + 1) : -1.0f);

  AP7_SETVALUEATXPARM set{c.x, 99.0f};
  EXPECT_EQ(send(AP7_MSG_SET_VALUE_AT_X, spectrum, &set), inside);
  if (inside) expected[static_cast<size_t>(c.index)] = 99.0f;
  EXPECT_EQ(values(spectrum), expected);
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Points, ValueAtX,
    testing::Values(ValueAtCase{"on_a_point", 0.0f, 4.0f, 5, 2.0f, 2}, ValueAtCase{"below_half", 0.0f, 4.0f, 5, 2.4f, 2},
                    ValueAtCase{"above_half", 0.0f, 4.0f, 5, 2.6f, 3},
                    ValueAtCase{"just_before_the_start", 0.0f, 4.0f, 5, -0.4f, 0},
                    ValueAtCase{"just_after_the_end", 0.0f, 4.0f, 5, 4.4f, 4},
                    ValueAtCase{"before_the_start", 0.0f, 4.0f, 5, -0.6f, -1},
                    ValueAtCase{"after_the_end", 0.0f, 4.0f, 5, 4.6f, -1},
                    ValueAtCase{"far_beyond", 0.0f, 4.0f, 5, kFar, -1},
                    ValueAtCase{"far_before", 0.0f, 4.0f, 5, -kFar, -1},
                    ValueAtCase{"not_a_number", 0.0f, 4.0f, 5, kNaN, -1},
                    ValueAtCase{"not_given", 0.0f, 4.0f, 5, AP_NOT_GIVEN, -1},
                    ValueAtCase{"descending_axis", 4.0f, 0.0f, 5, 1.0f, 3},
                    ValueAtCase{"one_point", 100.0f, 100.0f, 1, 100.4f, 0},
                    ValueAtCase{"beside_one_point", 100.0f, 100.0f, 1, 101.0f, -1},
                    ValueAtCase{"equal_ends", 100.0f, 100.0f, 3, 100.0f, -1}),
    [](const testing::TestParamInfo<ValueAtCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Operations in place over a range (49, 51, 54, 56)

struct InPlaceCase {
  const char* name;
  uint16_t message;
  float x1;
  float x2;
  float value;
  uint32_t result;
  std::vector<float> y;  // from 1, 2, NaN, 4, 5 at X 0..4
  int16_t flag;          // -1: none set
};

class InPlace : public Arithmetic, public testing::WithParamInterface<InPlaceCase> {};

TEST_P(InPlace, ChangesTheRangeOnceAndMarksTheHistory) {
  const InPlaceCase& c = GetParam();
  add_title_texts();
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 4.0f, {1.0f, 2.0f, kNaN, 4.0f, 5.0f});
  set_title(spectrum, "Sample");
  arraytest::NoticeCounter counter;
  arraytest::watch(spectrum->data, counter);

  AP7_SCALARPARM parameter{c.x1, c.x2, c.value};
  EXPECT_EQ(send(c.message, spectrum, &parameter), c.result);
  expect_values(values(spectrum), c.y);
  EXPECT_EQ(counter.changes, c.result ? 1 : 0);
  for (int16_t bit : {AP41_HISTORY_ADD_SUBTRACT, AP41_HISTORY_SCALAR_MULTIPLY})
    EXPECT_EQ(history_bit(spectrum, bit), bit == c.flag) << "bit " << bit;
  const bool scaled = c.message == AP7_MSG_MULTIPLY_SCALAR && c.result == 1;
  EXPECT_EQ(title(spectrum), scaled ? "Scaled Sample" : "Sample");
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, InPlace,
    testing::Values(
        InPlaceCase{"add", AP7_MSG_ADD_SCALAR, 1.0f, 3.0f, 10.0f, 1, {1, 12, kNaN, 14, 5}, AP41_HISTORY_ADD_SUBTRACT},
        InPlaceCase{"subtract", AP7_MSG_SUBTRACT_SCALAR, 1.0f, 3.0f, 1.0f, 1, {1, 1, kNaN, 3, 5},
                    AP41_HISTORY_ADD_SUBTRACT},
        InPlaceCase{"multiply", AP7_MSG_MULTIPLY_SCALAR, 1.0f, 3.0f, 2.0f, 1, {1, 4, kNaN, 8, 5},
                    AP41_HISTORY_SCALAR_MULTIPLY},
        InPlaceCase{"divide", AP7_MSG_DIVIDE_SCALAR, 1.0f, 3.0f, 2.0f, 1, {1, 1, kNaN, 2, 5},
                    AP41_HISTORY_SCALAR_MULTIPLY},
        InPlaceCase{"divide_by_zero", AP7_MSG_DIVIDE_SCALAR, 1.0f, 3.0f, 0.0f, 1, {1, kNaN, kNaN, kNaN, 5},
                    AP41_HISTORY_SCALAR_MULTIPLY},
        InPlaceCase{"reversed_range", AP7_MSG_ADD_SCALAR, 3.0f, 1.0f, 10.0f, 1, {1, 12, kNaN, 14, 5},
                    AP41_HISTORY_ADD_SUBTRACT},
        InPlaceCase{"both_ends_open", AP7_MSG_ADD_SCALAR, AP_NOT_GIVEN, AP_NOT_GIVEN, 10.0f, 1,
                    {11, 12, kNaN, 14, 15}, AP41_HISTORY_ADD_SUBTRACT},
        InPlaceCase{"low_end_open", AP7_MSG_ADD_SCALAR, AP_NOT_GIVEN, 1.0f, 10.0f, 1, {11, 12, kNaN, 4, 5},
                    AP41_HISTORY_ADD_SUBTRACT},
        InPlaceCase{"high_end_open", AP7_MSG_ADD_SCALAR, 3.0f, AP_NOT_GIVEN, 10.0f, 1, {11, 12, kNaN, 14, 5},
                    AP41_HISTORY_ADD_SUBTRACT},
        InPlaceCase{"over_the_end", AP7_MSG_ADD_SCALAR, 3.0f, 20.0f, 10.0f, 1, {1, 2, kNaN, 14, 15},
                    AP41_HISTORY_ADD_SUBTRACT},
        InPlaceCase{"far_over_the_end", AP7_MSG_ADD_SCALAR, 3.0f, kFar, 10.0f, 1, {1, 2, kNaN, 14, 15},
                    AP41_HISTORY_ADD_SUBTRACT},
        InPlaceCase{"beyond_the_end", AP7_MSG_MULTIPLY_SCALAR, 20.0f, 30.0f, 2.0f, 0, {1, 2, kNaN, 4, 5}, -1},
        InPlaceCase{"far_beyond_the_end", AP7_MSG_ADD_SCALAR, 20.0f, kFar, 10.0f, 0, {1, 2, kNaN, 4, 5}, -1},
        InPlaceCase{"before_the_start", AP7_MSG_SUBTRACT_SCALAR, -kFar, -1.0f, 1.0f, 0, {1, 2, kNaN, 4, 5}, -1},
        InPlaceCase{"not_a_number_end", AP7_MSG_DIVIDE_SCALAR, kNaN, 3.0f, 2.0f, 0, {1, 2, kNaN, 4, 5}, -1}),
    [](const testing::TestParamInfo<InPlaceCase>& info) { return std::string(info.param.name); });

TEST_F(Arithmetic, MultiplyingWithoutTheTitleTextLeavesTheTitle) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 2.0f, {1.0f, 2.0f, 3.0f});
  set_title(spectrum, "Sample");
  AP7_SCALARPARM parameter{AP_NOT_GIVEN, AP_NOT_GIVEN, 3.0f};
  EXPECT_EQ(send(AP7_MSG_MULTIPLY_SCALAR, spectrum, &parameter), 1u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{3.0f, 6.0f, 9.0f}));
  EXPECT_EQ(title(spectrum), "Sample");
  EXPECT_EQ(destroy(spectrum), 1u);
}

// A header that counts more points than the array holds: the ARRAY refuses
// the range, nothing changes, and the bracket is closed again, so that the
// next change is heard once.
TEST_F(Arithmetic, ARefusedRangeClosesTheChangeBracket) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 2.0f, {1.0f, 2.0f, 3.0f});
  record(spectrum).points = 5;
  record(spectrum).last_x = 4.0f;
  arraytest::NoticeCounter counter;
  arraytest::watch(spectrum->data, counter);
  AP7_SCALARPARM parameter{AP_NOT_GIVEN, AP_NOT_GIVEN, 10.0f};
  EXPECT_EQ(send(AP7_MSG_ADD_SCALAR, spectrum, &parameter), 0u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1.0f, 2.0f, 3.0f}));
  EXPECT_FALSE(history_bit(spectrum, AP41_HISTORY_ADD_SUBTRACT));
  EXPECT_EQ(packed(reinterpret_cast<AP2_OBJECT*>(spectrum->data->head.parent)->nesting), 0u);
  const int after_refusal = counter.changes;
  parameter = AP7_SCALARPARM{0.0f, 1.0f, 10.0f};
  EXPECT_EQ(send(AP7_MSG_ADD_SCALAR, spectrum, &parameter), 1u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{11.0f, 12.0f, 3.0f}));
  EXPECT_EQ(counter.changes, after_refusal + 1);
  EXPECT_EQ(destroy(spectrum), 1u);
}

void double_value(float* element) { *element *= 2.0f; }

TEST_F(Arithmetic, AppliesAFunctionToTheRangeOnly) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 3.0f, {1.0f, 2.0f, 3.0f, 4.0f});
  AP7_APPLYPARM parameter{1.0f, 2.0f, double_value};
  EXPECT_EQ(send(AP7_MSG_APPLY_FUNCTION, spectrum, &parameter), 1u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1.0f, 4.0f, 6.0f, 4.0f}));
  parameter = AP7_APPLYPARM{10.0f, 20.0f, double_value};
  EXPECT_EQ(send(AP7_MSG_APPLY_FUNCTION, spectrum, &parameter), 0u);
  parameter = AP7_APPLYPARM{1.0f, 2.0f, nullptr};
  EXPECT_EQ(send(AP7_MSG_APPLY_FUNCTION, spectrum, &parameter), 0u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1.0f, 4.0f, 6.0f, 4.0f}));
  EXPECT_EQ(destroy(spectrum), 1u);
}

// ---------------------------------------------------------------------------
// New spectra of two (48, 50, 53, 55)

struct CombineCase {
  const char* name;
  uint16_t message;
  std::vector<float> y;
  int16_t flag;
  const char* title;
  uint32_t list_members;
};

class Combine : public Arithmetic, public testing::WithParamInterface<CombineCase> {};

// A: X 0..4, values 1..5; B: X 2..6, values 10, 20, ..., 50. The common range
// is X 2..4: A's 3, 4, 5 with B's 10, 20, 30.
TEST_P(Combine, MakesANewSpectrumOverTheCommonRange) {
  const CombineCase& c = GetParam();
  add_title_texts();
  AP7_SPECTRUM* a = make_axis(0.0f, 4.0f, {1, 2, 3, 4, 5});
  AP7_SPECTRUM* b = make_axis(2.0f, 6.0f, {10, 20, 30, 40, 50});
  record(a).y_units = record(b).y_units = AP1_YUNIT_ABSORBANCE;
  record(a).p39 = 3.0f;
  record(b).p39 = 4.0f;
  set_title(a, "A");
  set_title(b, "B");
  ap40_Add_LLIST(a->list, reinterpret_cast<AP_OBJECT*>(new_text("member")));

  AP7_PAIRPARM parameter{AP_NOT_GIVEN, AP_NOT_GIVEN, b};
  auto* result = ap_result_object<AP7_SPECTRUM>(send(c.message, a, &parameter));
  ASSERT_NE(result, nullptr);
  expect_values(values(result), c.y);
  EXPECT_EQ(packed(record(result).points), 3u);
  EXPECT_EQ(packed(record(result).first_x), 2.0f);
  EXPECT_EQ(packed(record(result).last_x), 4.0f);
  EXPECT_EQ(packed(record(result).y_units), AP1_YUNIT_ABSORBANCE);
  EXPECT_EQ(packed(record(result).p39), 5.0f);
  EXPECT_EQ(title(result), c.title);
  EXPECT_TRUE(history_bit(result, c.flag));
  EXPECT_EQ(list_count(result->list), c.list_members);
  // The sources keep their values and titles.
  EXPECT_EQ(values(a), (std::vector<float>{1, 2, 3, 4, 5}));
  EXPECT_EQ(title(a), "A");
  EXPECT_FALSE(history_bit(a, c.flag));
  EXPECT_EQ(destroy(result), 1u);
  EXPECT_EQ(destroy(a), 1u);
  EXPECT_EQ(destroy(b), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, Combine,
    testing::Values(
        CombineCase{"add", AP7_MSG_ADD_SPECTRA, {13, 24, 35}, AP41_HISTORY_ADD_SUBTRACT, "Sum", 0},
        CombineCase{"subtract", AP7_MSG_SUBTRACT_SPECTRA, {-7, -16, -25}, AP41_HISTORY_ADD_SUBTRACT, "Difference:A", 1},
        CombineCase{"multiply", AP7_MSG_MULTIPLY_SPECTRA, {30, 80, 150}, AP41_HISTORY_ELEMENT_OPERATION, "A", 1},
        CombineCase{"divide",
                    AP7_MSG_DIVIDE_SPECTRA,
                    {static_cast<float>(3.0 / 10.0), static_cast<float>(4.0 / 20.0), static_cast<float>(5.0 / 30.0)},
                    AP41_HISTORY_ELEMENT_OPERATION,
                    "A",
                    1}),
    [](const testing::TestParamInfo<CombineCase>& info) { return std::string(info.param.name); });

struct RefusedCase {
  const char* name;
  uint16_t message;
  float x1;
  float x2;
  float b_first;
  float b_last;
  uint32_t b_units;
  uint32_t a_points;  // the count A's header claims (its array holds 5)
};

class RefusedCombine : public Arithmetic, public testing::WithParamInterface<RefusedCase> {};

// A: X 0..4 absorbance; B of 5 points. Nothing is left behind.
TEST_P(RefusedCombine, GivesNullAndLeavesNothingBehind) {
  const RefusedCase& c = GetParam();
  const auto before = live_counts();
  AP7_SPECTRUM* a = make_axis(0.0f, 4.0f, {1, 2, 3, 4, 5});
  AP7_SPECTRUM* b = make_axis(c.b_first, c.b_last, {10, 20, 30, 40, 50});
  record(a).y_units = AP1_YUNIT_ABSORBANCE;
  record(b).y_units = c.b_units;
  record(a).points = c.a_points;
  record(a).last_x = static_cast<float>(c.a_points - 1);
  const auto with_sources = live_counts();
  AP7_PAIRPARM parameter{c.x1, c.x2, b};
  EXPECT_EQ(send(c.message, a, &parameter), 0u);
  EXPECT_EQ(live_counts(), with_sources);
  EXPECT_EQ(values(a), (std::vector<float>{1, 2, 3, 4, 5}));
  EXPECT_EQ(destroy(a), 1u);
  EXPECT_EQ(destroy(b), 1u);
  EXPECT_EQ(live_counts(), before);
}

constexpr uint32_t kAbs = AP1_YUNIT_ABSORBANCE;
constexpr uint32_t kT = AP1_YUNIT_TRANSMITTANCE;

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedCombine,
    testing::Values(RefusedCase{"add_other_y_units", AP7_MSG_ADD_SPECTRA, AP_NOT_GIVEN, AP_NOT_GIVEN, 2, 6, kT, 5},
                    RefusedCase{"add_other_spacing", AP7_MSG_ADD_SPECTRA, AP_NOT_GIVEN, AP_NOT_GIVEN, 0, 8, kAbs, 5},
                    RefusedCase{"subtract_other_spacing", AP7_MSG_SUBTRACT_SPECTRA, AP_NOT_GIVEN, AP_NOT_GIVEN, 0, 8,
                                kAbs, 5},
                    RefusedCase{"multiply_no_overlap", AP7_MSG_MULTIPLY_SPECTRA, AP_NOT_GIVEN, AP_NOT_GIVEN, 10, 14,
                                kAbs, 5},
                    RefusedCase{"divide_range_beyond", AP7_MSG_DIVIDE_SPECTRA, 20, 30, 2, 6, kAbs, 5},
                    RefusedCase{"divide_range_far_beyond", AP7_MSG_DIVIDE_SPECTRA, 20, kFar, 2, 6, kAbs, 5},
                    RefusedCase{"add_not_a_number_end", AP7_MSG_ADD_SPECTRA, kNaN, 3, 2, 6, kAbs, 5},
                    // The common range reaches past A's array: the ARRAY
                    // refuses it after the result was made.
                    RefusedCase{"add_header_beyond_the_data", AP7_MSG_ADD_SPECTRA, AP_NOT_GIVEN, AP_NOT_GIVEN, 2, 6,
                                kAbs, 7},
                    RefusedCase{"subtract_header_beyond_the_data", AP7_MSG_SUBTRACT_SPECTRA, AP_NOT_GIVEN, 3, 2, 6,
                                kT, 7}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST_F(Arithmetic, SubtractingWithTheLowEndOpenTakesTheWholeRange) {
  AP7_SPECTRUM* a = make_axis(0.0f, 4.0f, {1, 2, 3, 4, 5});
  AP7_SPECTRUM* b = make_axis(0.0f, 4.0f, {1, 1, 1, 1, 1});
  record(b).y_units = AP1_YUNIT_TRANSMITTANCE;
  record(a).y_units = AP1_YUNIT_ABSORBANCE;
  AP7_PAIRPARM parameter{AP_NOT_GIVEN, 1.0f, b};
  auto* result = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SUBTRACT_SPECTRA, a, &parameter));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(values(result), (std::vector<float>{0, 1, 2, 3, 4}));
  EXPECT_EQ(packed(record(result).first_x), 0.0f);
  EXPECT_EQ(packed(record(result).last_x), 4.0f);
  // A given range is kept to.
  parameter = AP7_PAIRPARM{3.0f, 1.0f, b};
  auto* part = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SUBTRACT_SPECTRA, a, &parameter));
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(values(part), (std::vector<float>{1, 2, 3}));
  for (AP7_SPECTRUM* spectrum : {result, part, a, b}) EXPECT_EQ(destroy(spectrum), 1u);
}

struct AxisCase {
  const char* name;
  float a_first, a_last;
  std::vector<float> a;
  float b_first, b_last;
  std::vector<float> b;
  std::vector<float> sum;
  float first_x, last_x;
};

class CombineAxes : public Arithmetic, public testing::WithParamInterface<AxisCase> {};

TEST_P(CombineAxes, AddsOverTheCommonPoints) {
  const AxisCase& c = GetParam();
  AP7_SPECTRUM* a = make_axis(c.a_first, c.a_last, c.a);
  AP7_SPECTRUM* b = make_axis(c.b_first, c.b_last, c.b);
  AP7_PAIRPARM parameter{AP_NOT_GIVEN, AP_NOT_GIVEN, b};
  auto* result = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_ADD_SPECTRA, a, &parameter));
  ASSERT_NE(result, nullptr);
  expect_values(values(result), c.sum);
  EXPECT_EQ(packed(record(result).points), c.sum.size());
  EXPECT_EQ(packed(record(result).first_x), c.first_x);
  EXPECT_EQ(packed(record(result).last_x), c.last_x);
  for (AP7_SPECTRUM* spectrum : {result, a, b}) EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Axes, CombineAxes,
    testing::Values(AxisCase{"descending", 4, 0, {5, 4, 3, 2, 1}, 6, 2, {50, 40, 30, 20, 10}, {35, 24, 13}, 4, 2},
                    AxisCase{"one_point", 2, 2, {3}, 2, 2, {10}, {13}, 2, 2},
                    AxisCase{"missing_values", 0, 2, {1, kNaN, 3}, 0, 2, {1, 1, kNaN}, {2, kNaN, kNaN}, 0, 2}),
    [](const testing::TestParamInfo<AxisCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Copy into another spectrum (40) and new data (42)

struct CopyCase {
  const char* name;
  float b_first;
  float b_last;
  uint32_t result;
  std::vector<float> b;  // after the copy, from 10, 20, ..., 50
};

class CopyRange : public Arithmetic, public testing::WithParamInterface<CopyCase> {};

// A: X 0..4, values 1..5.
TEST_P(CopyRange, WritesThisSpectrumsValuesIntoTheOther) {
  const CopyCase& c = GetParam();
  AP7_SPECTRUM* a = make_axis(0.0f, 4.0f, {1, 2, 3, 4, 5});
  AP7_SPECTRUM* b = make_axis(c.b_first, c.b_last, {10, 20, 30, 40, 50});
  AP7_PAIRPARM parameter{AP_NOT_GIVEN, AP_NOT_GIVEN, b};
  EXPECT_EQ(send(AP7_MSG_COPY_RANGE_FROM, a, &parameter), c.result);
  EXPECT_EQ(values(b), c.b);
  EXPECT_EQ(values(a), (std::vector<float>{1, 2, 3, 4, 5}));
  EXPECT_EQ(destroy(a), 1u);
  EXPECT_EQ(destroy(b), 1u);
}

INSTANTIATE_TEST_SUITE_P(Overlaps, CopyRange,
                         testing::Values(CopyCase{"overlapping", 2, 6, 1, {3, 4, 5, 40, 50}},
                                         CopyCase{"inside", -1, 3, 1, {10, 1, 2, 3, 4}},
                                         CopyCase{"apart", 10, 14, 1, {10, 20, 30, 40, 50}},
                                         CopyCase{"other_spacing", 0, 8, 0, {10, 20, 30, 40, 50}}),
                         [](const testing::TestParamInfo<CopyCase>& info) { return std::string(info.param.name); });

GU3_HANDLE block_of(const std::vector<float>& y) {
  GU3_HANDLE block = GU3_Allocate_MM(static_cast<uint32_t>(y.size()), sizeof(float), GU3_KIND_GLOBAL);
  auto* data = static_cast<float*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  for (size_t i = 0; i < y.size(); ++i) data[i] = y[i];
  return block;
}

TEST_F(Arithmetic, SetDataCopiesTheBlockAndSetsTheAxis) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 1.0f, {1, 2});
  GU3_HANDLE block = block_of({7, 8, 9});
  AP7_DATAHANDLEPARM parameter{10.0f, 30.0f, 3, block};
  EXPECT_EQ(send(AP7_MSG_SET_DATA, spectrum, &parameter), 1u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{7, 8, 9}));
  EXPECT_EQ(packed(record(spectrum).points), 3u);
  EXPECT_EQ(packed(record(spectrum).first_x), 10.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 30.0f);
  // A count the block does not hold, or no points, changes nothing.
  for (uint32_t count : {4u, 0u}) {
    parameter = AP7_DATAHANDLEPARM{0.0f, 1.0f, count, block};
    EXPECT_EQ(send(AP7_MSG_SET_DATA, spectrum, &parameter), 0u) << count;
    EXPECT_EQ(values(spectrum), (std::vector<float>{7, 8, 9}));
    EXPECT_EQ(packed(record(spectrum).points), 3u);
    EXPECT_EQ(packed(record(spectrum).first_x), 10.0f);
  }
  GU3_Free_MM(block);
  EXPECT_EQ(destroy(spectrum), 1u);
}

// ---------------------------------------------------------------------------
// Statistics of a range (60, 61, 62)

struct StatisticCase {
  const char* name;
  uint16_t message;
  float x1;
  float x2;
  uint32_t result;
  float value;
};

class RangeStatistic : public Arithmetic, public testing::WithParamInterface<StatisticCase> {};

// Values 1, 2, NaN, 4, 5 at X 0..4: the missing value is left out.
TEST_P(RangeStatistic, IsTakenOverThePresentValues) {
  const StatisticCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 4.0f, {1.0f, 2.0f, kNaN, 4.0f, 5.0f});
  float value = -1.0f;
  AP7_STATPARM parameter{c.x1, c.x2, &value};
  EXPECT_EQ(send(c.message, spectrum, &parameter), c.result);
  EXPECT_FLOAT_EQ(value, c.value);
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Statistics, RangeStatistic,
    testing::Values(StatisticCase{"sum", AP7_MSG_RANGE_SUM, AP_NOT_GIVEN, AP_NOT_GIVEN, 1, 12.0f},
                    StatisticCase{"mean", AP7_MSG_RANGE_MEAN, AP_NOT_GIVEN, AP_NOT_GIVEN, 1, 3.0f},
                    // Deviations -2, -1, 1, 2 from the mean 3.
                    StatisticCase{"deviation", AP7_MSG_RANGE_STD_DEV, AP_NOT_GIVEN, AP_NOT_GIVEN, 1,
                                  static_cast<float>(std::sqrt(10.0 / 3.0))},
                    StatisticCase{"sum_of_a_part", AP7_MSG_RANGE_SUM, 3.0f, 4.0f, 1, 9.0f},
                    StatisticCase{"mean_of_a_part", AP7_MSG_RANGE_MEAN, 1.0f, 3.0f, 1, 3.0f},
                    StatisticCase{"deviation_of_one_point", AP7_MSG_RANGE_STD_DEV, 1.0f, 1.0f, 0, 0.0f},
                    StatisticCase{"sum_beyond", AP7_MSG_RANGE_SUM, 10.0f, 20.0f, 0, -1.0f},
                    StatisticCase{"mean_not_a_number_end", AP7_MSG_RANGE_MEAN, 1.0f, kNaN, 0, -1.0f}),
    [](const testing::TestParamInfo<StatisticCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Pairs of values over the common range (78, 80, 234)

struct PairCase {
  const char* name;
  std::vector<float> a;  // at X 0..4
  float b_first;
  float b_last;
  std::vector<float> b;
  uint32_t slope_result;
  float slope;
  uint32_t dot_result;
  float dot;
  uint32_t count_result;
  uint32_t count;
};

class Pairs : public Arithmetic, public testing::WithParamInterface<PairCase> {};

TEST_P(Pairs, AreTakenOverTheCommonRange) {
  const PairCase& c = GetParam();
  AP7_SPECTRUM* a = make_axis(0.0f, 4.0f, c.a);
  AP7_SPECTRUM* b = make_axis(c.b_first, c.b_last, c.b);
  float slope = -1.0f;
  AP7_PAIRRESULTPARM regression{AP_NOT_GIVEN, AP_NOT_GIVEN, b, &slope};
  EXPECT_EQ(send(AP7_MSG_CORRELATE_RANGES, a, &regression), c.slope_result);
  expect_values({slope}, {c.slope});
  float dot = -1.0f;
  AP7_PAIRRESULTPARM product{AP_NOT_GIVEN, AP_NOT_GIVEN, b, &dot};
  EXPECT_EQ(send(AP7_MSG_RANGE_PAIR_OP, a, &product), c.dot_result);
  expect_values({dot}, {c.dot});
  uint32_t count = 99;
  AP7_PAIRCOUNTPARM pairs{AP_NOT_GIVEN, AP_NOT_GIVEN, b, &count};
  EXPECT_EQ(send(AP7_MSG_COUNT_VALID_PAIRS, a, &pairs), c.count_result);
  EXPECT_EQ(count, c.count);
  EXPECT_EQ(destroy(a), 1u);
  EXPECT_EQ(destroy(b), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Pairs,
    testing::Values(
        // B = 2A + 1: the slope of A on B is 1/2; the dot product
        // 1·3 + 2·5 + 3·7 + 4·9 + 5·11.
        PairCase{"line", {1, 2, 3, 4, 5}, 0, 4, {3, 5, 7, 9, 11}, 1, 0.5f, 1, 125.0f, 1, 5},
        // Means 3 and 7 over each one's own values; the pairs at X 0, 1, 3, 4
        // give Sab = 20 and Sbb = 40; a missing value makes the product missing.
        PairCase{"missing_value", {1, 2, kNaN, 4, 5}, 0, 4, {3, 5, 7, 9, 11}, 1, 0.5f, 1, kNaN, 1, 4},
        // Common range X 2..4: 3, 4, 5 with 1, 3, 5.
        PairCase{"shifted", {1, 2, 3, 4, 5}, 2, 6, {1, 3, 5, 7, 9}, 1, 0.5f, 1, 40.0f, 1, 3},
        PairCase{"apart", {1, 2, 3, 4, 5}, 10, 14, {1, 3, 5, 7, 9}, 0, -1.0f, 0, -1.0f, 1, 0},
        PairCase{"other_spacing", {1, 2, 3, 4, 5}, 0, 8, {1, 3, 5, 7, 9}, 0, -1.0f, 0, -1.0f, 0, 99}),
    [](const testing::TestParamInfo<PairCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Extremes (223, 332)

struct ScaledCase {
  const char* name;
  uint32_t y_units;
  float first_x;
  float last_x;
  std::vector<float> y;
  float x1;
  float x2;
  uint32_t result;
  float minimum;
  float maximum;
};

class ScaledExtremes : public Arithmetic, public testing::WithParamInterface<ScaledCase> {};

TEST_P(ScaledExtremes, WeighTheValuesByTheWavelength) {
  const ScaledCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_axis(c.first_x, c.last_x, c.y);
  record(spectrum).y_units = c.y_units;
  float minimum = -1.0f;
  float maximum = -1.0f;
  AP7_MINMAXPARM parameter{c.x1, c.x2, &minimum, &maximum};
  EXPECT_EQ(send(AP7_MSG_SCALED_MIN_MAX, spectrum, &parameter), c.result);
  expect_values({minimum, maximum}, {c.minimum, c.maximum});
  EXPECT_EQ(destroy(spectrum), 1u);
}

// f = 10000 / x: 100 at X 100, 50 at X 200, 100/3 at X 300; 100 where x <= 0.
INSTANTIATE_TEST_SUITE_P(
    Cases, ScaledExtremes,
    testing::Values(ScaledCase{"single_beam", AP1_YUNIT_SINGLE_BEAM, 100, 300, {20000, 10000, 9000}, AP_NOT_GIVEN,
                               AP_NOT_GIVEN, 1, 2.0f, static_cast<float>(9000.0 / ((10000.0 / 300) * (10000.0 / 300)))},
                    ScaledCase{"raman_part", AP1_YUNIT_RAMAN, 100, 300, {20000, 10000, 3000}, 100, 200, 1, 2.0f, 4.0f},
                    ScaledCase{"at_and_below_zero", AP1_YUNIT_REFERENCE, -100, 100, {10000, 20000, 30000},
                               AP_NOT_GIVEN, AP_NOT_GIVEN, 1, 1.0f, 3.0f},
                    ScaledCase{"ratio_all_missing", AP1_YUNIT_RATIO, 100, 300, {kNaN, kNaN, kNaN}, AP_NOT_GIVEN,
                               AP_NOT_GIVEN, 1, 0.0f, 0.0f},
                    ScaledCase{"code_9_beyond", 9, 100, 300, {1, 2, 3}, 500, 600, 0, -1.0f, -1.0f},
                    ScaledCase{"absorbance_unscaled", AP1_YUNIT_ABSORBANCE, 100, 300, {20000, 10000, 3000},
                               AP_NOT_GIVEN, AP_NOT_GIVEN, 1, 3000.0f, 20000.0f}),
    [](const testing::TestParamInfo<ScaledCase>& info) { return std::string(info.param.name); });

// The header counts more points than the array holds: the values are never
// read past the array.
TEST_F(Arithmetic, ScaledExtremesStayInsideTheArray) {
  AP7_SPECTRUM* spectrum = make_axis(100.0f, 300.0f, {20000, 10000, 3000});
  record(spectrum).y_units = AP1_YUNIT_SINGLE_BEAM;
  record(spectrum).points = 5;
  record(spectrum).last_x = 500.0f;
  float minimum = -1.0f;
  float maximum = -1.0f;
  AP7_MINMAXPARM parameter{AP_NOT_GIVEN, AP_NOT_GIVEN, &minimum, &maximum};
  EXPECT_EQ(send(AP7_MSG_SCALED_MIN_MAX, spectrum, &parameter), 0u);
  parameter = AP7_MINMAXPARM{100.0f, 200.0f, &minimum, &maximum};
  EXPECT_EQ(send(AP7_MSG_SCALED_MIN_MAX, spectrum, &parameter), 1u);
  EXPECT_FLOAT_EQ(minimum, 2.0f);
  EXPECT_FLOAT_EQ(maximum, 4.0f);
  EXPECT_EQ(destroy(spectrum), 1u);
}

struct ExtremesCase {
  const char* name;
  float first_x;
  float last_x;
  std::vector<float> y;
  float x1;
  float x2;
  uint32_t result;
  float minimum;
  float minimum_x;
  float maximum;
  float maximum_x;
};

class ExtremesWithX : public Arithmetic, public testing::WithParamInterface<ExtremesCase> {};

TEST_P(ExtremesWithX, GiveEachExtremeWithItsX) {
  const ExtremesCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_axis(c.first_x, c.last_x, c.y);
  float minimum = -1.0f, minimum_x = -1.0f, maximum = -1.0f, maximum_x = -1.0f;
  AP7_MINMAXXPARM parameter{c.x1, c.x2, &minimum, &minimum_x, &maximum, &maximum_x};
  EXPECT_EQ(send(AP7_MSG_MIN_MAX_X, spectrum, &parameter), c.result);
  expect_values({minimum, minimum_x, maximum, maximum_x}, {c.minimum, c.minimum_x, c.maximum, c.maximum_x});
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtremesWithX,
    testing::Values(
        // The first of equal minima wins.
        ExtremesCase{"whole", 10, 50, {3, 1, 1, 5, 2}, AP_NOT_GIVEN, AP_NOT_GIVEN, 1, 1, 20, 5, 40},
        ExtremesCase{"part", 10, 50, {3, 1, 1, 5, 2}, 30, 50, 1, 1, 30, 5, 40},
        ExtremesCase{"descending", 50, 10, {3, 1, 1, 5, 2}, AP_NOT_GIVEN, AP_NOT_GIVEN, 1, 1, 40, 5, 20},
        ExtremesCase{"all_missing", 10, 50, {kNaN, kNaN, kNaN, kNaN, kNaN}, AP_NOT_GIVEN, AP_NOT_GIVEN, 1, kNaN, kNaN,
                     kNaN, kNaN},
        ExtremesCase{"beyond", 10, 50, {3, 1, 1, 5, 2}, 60, 70, 0, -1, -1, -1, -1},
        ExtremesCase{"one_point", 10, 10, {4}, AP_NOT_GIVEN, AP_NOT_GIVEN, 1, 4, 10, 4, 10}),
    [](const testing::TestParamInfo<ExtremesCase>& info) { return std::string(info.param.name); });

TEST_F(Arithmetic, ExtremesWithOneXAddressGiveNoX) {
  AP7_SPECTRUM* spectrum = make_axis(10.0f, 30.0f, {2, 1, 3});
  float minimum = -1.0f, maximum = -1.0f, maximum_x = -1.0f;
  AP7_MINMAXXPARM parameter{AP_NOT_GIVEN, AP_NOT_GIVEN, &minimum, nullptr, &maximum, &maximum_x};
  EXPECT_EQ(send(AP7_MSG_MIN_MAX_X, spectrum, &parameter), 1u);
  EXPECT_EQ(minimum, 1.0f);
  EXPECT_EQ(maximum, 3.0f);
  EXPECT_EQ(maximum_x, -1.0f);
  EXPECT_EQ(destroy(spectrum), 1u);
}

}  // namespace
