#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "chemometrics/centring_reference_values.h"
#include "chemometrics/chemometrics_fixture.h"

namespace {

using namespace chemtest;
using arraytest::NoticeCounter;
using arraytest::watch;
namespace ref = centring_reference;

const float kNaN = AP1_GetNaNSG_MATH();

// Every value within a relative tolerance of the reference, missing where
// the reference is.
void expect_matches(const std::vector<float>& got, const double* expected, size_t count, double tolerance = 2e-6) {
  ASSERT_EQ(got.size(), count);
  for (size_t i = 0; i < count; ++i) {
    if (std::isnan(expected[i])) {
      EXPECT_TRUE(std::isnan(got[i])) << "element " << i << " is " << got[i];
    } else {
      EXPECT_NEAR(got[i], expected[i], tolerance * std::max(1.0, std::fabs(expected[i]))) << "element " << i;
    }
  }
}

std::vector<double> transposed(const double* values, uint32_t rows, uint32_t columns) {
  std::vector<double> t(rows * columns);
  for (uint32_t r = 0; r < rows; ++r)
    for (uint32_t c = 0; c < columns; ++c) t[c * rows + r] = values[r * columns + c];
  return t;
}

// The reference matrix as an array, as it is or transposed.
AP4_ARRAY* array_from(const double* values, uint32_t rows, uint32_t columns, bool transpose) {
  if (!transpose) return array_of(rows, columns, values);
  return array_of(columns, rows, transposed(values, rows, columns).data());
}

// Rows and columns, read by value from the packed record.
std::pair<uint32_t, uint32_t> extent(const AP4_ARRAY* array) {
  const uint32_t rows = array->rows;
  const uint32_t columns = array->columns;
  return {rows, columns};
}

template <typename T>
GU3_HANDLE block_of(const T* values, uint32_t count) {
  GU3_HANDLE block = GU3_Allocate_MM(count, sizeof(T), GU3_KIND_GLOBAL);
  std::memcpy(GU3_GetPointer_MM(block, 0, nullptr, nullptr), values, count * sizeof(T));
  return block;
}

class Centring : public ChemometricsTest {
 protected:
  static AP4_ARRAY* short_form(uint16_t message, AP4_ARRAY* array, uint16_t mode) {
    AP4_CENTERSHORTPARM parameter{};
    // Bytes 0 to 15 are not read.
    std::memset(parameter.unread, 0xA5, sizeof parameter.unread);
    parameter.mode = mode;
    return ap_result_object<AP4_ARRAY>(send(message, array, &parameter));
  }
  static AP4_ARRAY* full_form(uint16_t message, AP4_ARRAY* array, AP4_CENTERPARM parameter) {
    return ap_result_object<AP4_ARRAY>(send(message, array, &parameter));
  }
  static AP4_CENTERPARM plain(uint16_t mode, uint16_t kind = AP4D_SCALE_DEVIATION) {
    AP4_CENTERPARM parameter{};
    parameter.mode = mode;
    parameter.kind = kind;
    parameter.exclusion = AP4D_DEFAULT_EXCLUSION;
    return parameter;
  }
};

TEST_F(Centring, WorkedExamplesOfCentringAndScaling) {
  AP4_ARRAY* a = array_of(2, 2, {1, 2, 3, 6});
  AP4_ARRAY* means = short_form(AP4_MSG_CENTER, a, AP4D_PER_COLUMN);
  ASSERT_NE(means, nullptr);
  EXPECT_EQ(extent(means), (std::pair<uint32_t, uint32_t>{1, 2}));
  EXPECT_EQ(values(means), (std::vector<float>{2, 4}));
  EXPECT_EQ(values(a), (std::vector<float>{-1, -2, 1, 2}));

  AP4_ARRAY* s = array_of(2, 2, {1, 2, 3, 6});
  AP4_ARRAY* divisors = short_form(AP4_MSG_SCALE, s, AP4D_PER_COLUMN);
  ASSERT_NE(divisors, nullptr);
  const double r2 = std::sqrt(2.0);
  expect_matches(values(divisors), std::vector<double>{r2, 2 * r2}.data(), 2);
  expect_matches(values(s), std::vector<double>{1 / r2, 1 / r2, 3 / r2, 3 / r2}.data(), 4);

  // Per row the result is one column.
  AP4_ARRAY* row_means = short_form(AP4_MSG_CENTER, s, AP4D_PER_ROW);
  ASSERT_NE(row_means, nullptr);
  EXPECT_EQ(extent(row_means), (std::pair<uint32_t, uint32_t>{2, 1}));
  for (AP4_ARRAY* x : {a, means, s, divisors, row_means}) destroy(x);
}

TEST_F(Centring, ScalingKeepsColumnsWithoutSpread) {
  // One valid value: divisor 1; a constant column: divisor 0 becomes 1 and
  // the column stays as it is; the root kind takes √s.
  AP4_ARRAY* a = array_of(3, 3, {kNaN, 7, 1, 5, 7, 2, kNaN, 7, 6});
  AP4_ARRAY* divisors = full_form(AP4_MSG_SCALE_FILTERED, a, plain(AP4D_PER_COLUMN, AP4D_SCALE_ROOT_DEVIATION));
  ASSERT_NE(divisors, nullptr);
  const double deviation = std::sqrt(((1 - 3.0) * (1 - 3.0) + (2 - 3.0) * (2 - 3.0) + (6 - 3.0) * (6 - 3.0)) / 2);
  const double root = std::sqrt(deviation);
  expect_matches(values(divisors), std::vector<double>{1, 1, root}.data(), 3);
  expect_matches(values(a), std::vector<double>{NAN, 7, 1 / root, 5, 7, 2 / root, NAN, 7, 6 / root}.data(), 9);
  destroy(a);
  destroy(divisors);
}

// The same numbers with the observations as rows (per column) or as
// columns of the transposed matrix (per row).
struct Orientation {
  uint16_t mode;
  bool transpose;
};
class CentringOrientation : public Centring, public ::testing::WithParamInterface<Orientation> {};

TEST_P(CentringOrientation, CentresAndScalesLikeNumpy) {
  const Orientation o = GetParam();
  const auto expected = [&](const double* values) { return o.transpose ? transposed(values, 6, 4) : std::vector<double>(values, values + 24); };
  AP4_ARRAY* a = array_from(ref::a, ref::a_rows, ref::a_columns, o.transpose);
  AP4_ARRAY* means = short_form(AP4_MSG_CENTER, a, o.mode);
  ASSERT_NE(means, nullptr);
  expect_matches(values(means), ref::column_means, 4);
  expect_matches(values(a), expected(ref::column_centred).data(), 24);

  AP4_ARRAY* s = array_from(ref::a, ref::a_rows, ref::a_columns, o.transpose);
  AP4_ARRAY* divisors = short_form(AP4_MSG_SCALE, s, o.mode);
  ASSERT_NE(divisors, nullptr);
  expect_matches(values(divisors), ref::column_deviations, 4);
  expect_matches(values(s), expected(ref::column_scaled).data(), 24);

  AP4_ARRAY* r = array_from(ref::a, ref::a_rows, ref::a_columns, o.transpose);
  AP4_ARRAY* roots = full_form(AP4_MSG_SCALE_FILTERED, r, plain(o.mode, AP4D_SCALE_ROOT_DEVIATION));
  ASSERT_NE(roots, nullptr);
  expect_matches(values(roots), ref::column_root_deviations, 4);
  expect_matches(values(r), expected(ref::column_root_scaled).data(), 24);
  for (AP4_ARRAY* x : {a, means, s, divisors, r, roots}) destroy(x);
}

TEST_P(CentringOrientation, FiltersObservationsAndTreatsTheCompanionAlike) {
  const Orientation o = GetParam();
  const auto expected = [&](const double* values, uint32_t rows) {
    return o.transpose ? transposed(values, rows, 4) : std::vector<double>(values, values + rows * 4);
  };
  for (const uint16_t message : {AP4_MSG_CENTER_FILTERED, AP4_MSG_SCALE_FILTERED}) {
    SCOPED_TRACE(message);
    AP4_ARRAY* a = array_from(ref::a, ref::a_rows, ref::a_columns, o.transpose);
    AP4_ARRAY* b = array_from(ref::b, ref::b_rows, ref::b_columns, o.transpose);
    AP4_ARRAY* r = array_from(ref::a_reference, ref::a_reference_rows, ref::a_reference_columns, o.transpose);
    AP4_ARRAY* r2 = array_from(ref::b_reference, ref::b_reference_rows, ref::b_reference_columns, o.transpose);
    AP4_CENTERPARM parameter = plain(o.mode);
    parameter.counts = block_of(ref::a_counts, 6);
    parameter.labels = block_of(ref::a_labels, 6);
    parameter.label = ref::selected_label;
    parameter.companion = b;
    parameter.companion_counts = block_of(ref::b_counts, 2);
    parameter.companion_labels = block_of(ref::b_labels, 2);
    parameter.exclude = 1;
    parameter.reference_index = 1;
    parameter.reference = r;
    parameter.companion_reference = r2;
    AP4_ARRAY* result = full_form(message, a, parameter);
    ASSERT_NE(result, nullptr);
    const bool centring = message == AP4_MSG_CENTER_FILTERED;
    expect_matches(values(result), centring ? ref::filtered_means : ref::filtered_deviations, 4);
    expect_matches(values(a), expected(centring ? ref::filtered_a_centred : ref::filtered_a_scaled, 6).data(), 24);
    expect_matches(values(b), expected(centring ? ref::filtered_b_centred : ref::filtered_b_scaled, 2).data(), 8);
    for (GU3_HANDLE h : {parameter.counts, parameter.labels, parameter.companion_counts, parameter.companion_labels})
      GU3_Free_MM(h);
    for (AP4_ARRAY* x : {a, b, r, r2, result}) destroy(x);
  }
}

INSTANTIATE_TEST_SUITE_P(Both, CentringOrientation,
                         ::testing::Values(Orientation{AP4D_PER_COLUMN, false}, Orientation{AP4D_PER_ROW, true}),
                         [](const ::testing::TestParamInfo<Orientation>& info) {
                           return info.param.mode == AP4D_PER_COLUMN ? "PerColumn" : "PerRowOfTheTranspose";
                         });

TEST_F(Centring, TheExclusionValueIsLeftAloneOnlyWhileTheFlagIsSet) {
  // The reference marks observation 3: while the flag is set it stays out
  // of the mean but is centred all the same; the value -1000 is neither
  // taken nor changed.
  AP4_ARRAY* reference = array_of(4, 2, {9, 0, 9, 0, 9, 0, 9, -1000});
  for (const uint16_t exclude : {0, 1}) {
    AP4_ARRAY* a = array_of(4, 1, {2, -1000, 4, 6});
    AP4_CENTERPARM parameter = plain(AP4D_PER_COLUMN);
    parameter.exclude = exclude;
    parameter.reference = reference;
    parameter.reference_index = 1;
    AP4_ARRAY* means = full_form(AP4_MSG_CENTER_FILTERED, a, parameter);
    ASSERT_NE(means, nullptr);
    if (exclude) {
      EXPECT_EQ(values(means), (std::vector<float>{3}));
      EXPECT_EQ(values(a), (std::vector<float>{-1, -1000, 1, 3}));
    } else {
      EXPECT_EQ(values(means), (std::vector<float>{-247}));
      EXPECT_EQ(values(a), (std::vector<float>{249, -753, 251, 253}));
    }
    destroy(a);
    destroy(means);
  }
  destroy(reference);
}

TEST_F(Centring, AColumnWithNothingToTakeHasMeanZero) {
  // Every observation filtered out: the mean is 0 and still subtracted
  // from the values, which the filters do not protect.
  AP4_ARRAY* a = array_of(2, 2, {1, kNaN, 3, kNaN});
  const int32_t counts[] = {0, 0};
  AP4_CENTERPARM parameter = plain(AP4D_PER_COLUMN);
  parameter.counts = block_of(counts, 2);
  AP4_ARRAY* means = full_form(AP4_MSG_CENTER_FILTERED, a, parameter);
  ASSERT_NE(means, nullptr);
  EXPECT_EQ(values(means), (std::vector<float>{0, 0}));
  expect_matches(values(a), std::vector<double>{1, NAN, 3, NAN}.data(), 4);
  GU3_Free_MM(parameter.counts);
  destroy(a);
  destroy(means);
}

TEST_F(Centring, RefusesBadInputBeforeChangingAnything) {
  AP4_ARRAY* a = array_of(3, 2, {1, 2, 3, 4, 5, 6});
  const std::vector<float> before = values(a);
  AP4_ARRAY* narrow = array_of(2, 3, {1, 2, 3, 4, 5, 6});
  AP4_ARRAY* one_row = array_of(1, 2, {0, 0});
  AP4_ARRAY* reference = array_of(3, 1, {0, 0, 0});
  const int32_t two_counts[] = {1, 1};
  const uint16_t one_label[] = {0};
  const GU3_HANDLE short_counts = block_of(two_counts, 2);
  const GU3_HANDLE short_labels = block_of(one_label, 1);
  struct Case {
    const char* what;
    AP4_CENTERPARM parameter;
  };
  std::vector<Case> cases;
  for (uint16_t mode : {0, 3}) cases.push_back({"orientation", plain(mode)});
  AP4_CENTERPARM p = plain(AP4D_PER_COLUMN);
  p.companion = narrow;
  cases.push_back({"companion of other columns", p});
  p.companion = a;
  cases.push_back({"the array as its own companion", p});
  p.companion = reinterpret_cast<AP4_ARRAY*>(&reference->rows);
  cases.push_back({"companion that is no array", p});
  p = plain(AP4D_PER_COLUMN);
  p.counts = short_counts;
  cases.push_back({"counts of fewer observations", p});
  p = plain(AP4D_PER_COLUMN);
  p.labels = short_labels;
  cases.push_back({"labels of fewer observations", p});
  p = plain(AP4D_PER_COLUMN);
  p.exclude = 1;
  p.companion = one_row;
  p.companion_reference = reference;
  p.reference_index = 1;
  cases.push_back({"reference index beyond the reference", p});
  p = plain(AP4D_PER_COLUMN);
  p.exclude = 1;
  p.reference = narrow;
  cases.push_back({"reference of fewer observations", p});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(full_form(AP4_MSG_CENTER_FILTERED, a, c.parameter), nullptr);
    EXPECT_EQ(full_form(AP4_MSG_SCALE_FILTERED, a, c.parameter), nullptr);
    EXPECT_EQ(values(a), before);
  }
  EXPECT_EQ(short_form(AP4_MSG_CENTER, a, 0), nullptr);
  EXPECT_EQ(values(a), before);
  EXPECT_EQ(values(one_row), (std::vector<float>{0, 0}));
  GU3_Free_MM(short_counts);
  GU3_Free_MM(short_labels);
  for (AP4_ARRAY* x : {a, narrow, one_row, reference}) destroy(x);
}

TEST_F(Centring, ChangesAreAnnouncedToDependents) {
  AP4_ARRAY* a = array_of(2, 2, {1, 2, 3, 6});
  NoticeCounter counter;
  watch(a, counter);
  AP4_ARRAY* means = short_form(AP4_MSG_CENTER, a, AP4D_PER_COLUMN);
  ASSERT_NE(means, nullptr);
  EXPECT_GT(counter.changes, 0);
  const int after_centring = counter.changes;
  // A refused call changes nothing and says nothing.
  EXPECT_EQ(short_form(AP4_MSG_SCALE, a, 0), nullptr);
  EXPECT_EQ(counter.changes, after_centring);
  destroy(a);
  destroy(means);
}

// ---------------------------------------------------------------------------
// Trim and areas

TEST_F(Centring, TrimsMissingEndsOffARow) {
  AP4_ARRAY* a = array_of(2, 5, {kNaN, kNaN, 3, 4, kNaN, 1, 2, 3, 4, 5});
  AP4_CELL start{0, 0};
  AP4_CELL end{0, 4};
  float first = 0;
  float last = 0;
  EXPECT_EQ(ap4d_TrimNaNEnds(a, &start, &end, &first, &last), 2);
  EXPECT_EQ(start.column, 2);
  EXPECT_EQ(end.column, 3);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(last, 4);

  // Row 1 from its second column: nothing to trim.
  start = {1, 1};
  end = {1, 4};
  EXPECT_EQ(ap4d_TrimNaNEnds(a, &start, &end, &first, &last), 4);
  EXPECT_EQ(start.row, 1);
  EXPECT_EQ(first, 2);
  EXPECT_EQ(last, 5);

  // All missing: 0, both values missing and the cells as they were; so too
  // for a range of two rows.
  for (const AP4_RANGE range : {AP4_RANGE{{0, 0}, {0, 1}}, AP4_RANGE{{0, 0}, {1, 4}}, AP4_RANGE{{0, 3}, {0, 9}}}) {
    start = range.start;
    end = range.end;
    EXPECT_EQ(ap4d_TrimNaNEnds(a, &start, &end, &first, &last), 0);
    EXPECT_TRUE(std::isnan(first));
    EXPECT_TRUE(std::isnan(last));
    EXPECT_EQ(start.column, range.start.column);
    EXPECT_EQ(end.column, range.end.column);
  }
  destroy(a);

  // The whole extent of a one-row array resolves to its cells.
  AP4_ARRAY* row = array_of(1, 4, {kNaN, 8, 9, kNaN});
  start = {AP4_WHOLE, AP4_WHOLE};
  end = {AP4_WHOLE, AP4_WHOLE};
  EXPECT_EQ(ap4d_TrimNaNEnds(row, &start, &end, &first, &last), 2);
  EXPECT_EQ(start.row, 0);
  EXPECT_EQ(start.column, 1);
  EXPECT_EQ(end.column, 2);
  destroy(row);
}

struct AreaCase {
  const char* what;
  std::vector<float> row;
  AP4_RANGE range;
  AP4_RANGE baseline;
  float level;
  double above_level;
  double above_baseline;
};

TEST_F(Centring, TrapezoidAreasOfWorkedRanges) {
  const AP4_RANGE whole = AP4_WHOLE_RANGE;
  const std::vector<AreaCase> cases = {
      {"flat-topped band", {0, 1, 1, 0}, whole, whole, 0, 2, 2},
      {"missing ends trimmed", {kNaN, 2, 4, kNaN}, whole, whole, 1, 2, 0},
      // Baseline through (0, 0) and (4, 4): L(x) = x; one valid value at 2.
      {"one valid value", {0, kNaN, 5, kNaN, 4}, AP4_RANGE{{0, 1}, {0, 3}}, whole, 1.5, 3.5, 3},
      // Baseline from column 3 alone: L = 2 everywhere.
      {"one-point baseline", {1, 3, 5, 2}, AP4_RANGE{{0, 0}, {0, 2}}, AP4_RANGE{{0, 3}, {0, 3}}, 0, 0.5 + 3 + 2.5,
       0.5 + 3 + 2.5 - 4},
      // An interior missing value weighs nothing; the ends keep 1/2.
      {"interior gap", {2, kNaN, 2}, whole, AP4_RANGE{{0, 0}, {0, 0}}, 0, 2, 0},
  };
  for (const AreaCase& c : cases) {
    SCOPED_TRACE(c.what);
    AP4_ARRAY* a = array_of(1, static_cast<uint32_t>(c.row.size()), c.row.data());
    for (const uint16_t direction : {AP1_PEAKS_UP, AP1_PEAKS_DOWN}) {
      const double sign = direction == AP1_PEAKS_DOWN ? -1 : 1;
      float level_area = -7;
      float line_area = -7;
      EXPECT_EQ(ap4d_RangeArea(a, c.range.start, c.range.end, c.baseline.start, c.baseline.end, direction, c.level,
                               &level_area, &line_area),
                1);
      EXPECT_NEAR(level_area, sign * c.above_level, 1e-6);
      EXPECT_NEAR(line_area, sign * c.above_baseline, 1e-6);
    }
    destroy(a);
  }
}

TEST_F(Centring, AreasMatchNumpy) {
  AP4_ARRAY* a = array_of(ref::area_data_rows, ref::area_data_columns, ref::area_data);
  float level_area = 0;
  float line_area = 0;
  ASSERT_EQ(ap4d_RangeArea(a, {1, 0}, {1, 8}, {1, 2}, {1, 7}, AP1_PEAKS_UP, ref::area_level, &level_area, &line_area),
            1);
  EXPECT_NEAR(level_area, ref::area_above_level[0], 1e-5);
  EXPECT_NEAR(line_area, ref::area_above_baseline[0], 1e-5);
  destroy(a);

  AP4_ARRAY* clean = array_of(1, 6, ref::clean_row);
  ASSERT_EQ(ap4d_RangeArea(clean, {AP4_WHOLE, AP4_WHOLE}, {}, {AP4_WHOLE, AP4_WHOLE}, {}, AP1_PEAKS_UP,
                           ref::area_level, &level_area, &line_area),
            1);
  EXPECT_NEAR(level_area, ref::clean_trapezoid[0], 1e-5);
  EXPECT_NEAR(line_area, ref::clean_above_line[0], 1e-5);
  destroy(clean);
}

TEST_F(Centring, BaselineLineIsTakenOffTheRangeOrAddedBack) {
  const AP4_RANGE whole = AP4_WHOLE_RANGE;
  struct Case {
    const char* what;
    std::vector<float> row;
    AP4_RANGE range;
    AP4_RANGE baseline;
    std::vector<float> line;  // the baseline at each column of the range
  };
  const Case cases[] = {
      // Through (1, 2) and (3, 7), held at 2 before and 7 after.
      {"line held level beyond its ends", {0, 2, 4, 7, 8, 10}, whole, AP4_RANGE{{0, 1}, {0, 3}},
       {2, 2, 4.5f, 7, 7, 7}},
      {"missing baseline ends trimmed", {kNaN, 2, 4, 6, kNaN}, whole, whole, {2, 2, 4, 6, 6}},
      {"one-point baseline", {1, 3, 5, 2}, AP4_RANGE{{0, 0}, {0, 2}}, AP4_RANGE{{0, 3}, {0, 3}}, {2, 2, 2}},
      {"range inside the row", {0, 2, 4, 7, 8, 10}, AP4_RANGE{{0, 2}, {0, 4}}, AP4_RANGE{{0, 1}, {0, 3}},
       {4.5f, 7, 7}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AP4_ARRAY* a = array_of(1, static_cast<uint32_t>(c.row.size()), c.row.data());
    const int32_t first = c.range.start.column == AP4_WHOLE ? 0 : c.range.start.column;
    for (const uint16_t mode : {AP1_PEAKS_UP, AP1_PEAKS_DOWN}) {
      AP4_ARRAY* result =
          ap4d_SubtractLinearBaseline(a, c.range.start, c.range.end, c.baseline.start, c.baseline.end, mode);
      ASSERT_NE(result, nullptr);
      const std::vector<float> got = values(result);
      ASSERT_EQ(got.size(), c.line.size());
      for (size_t i = 0; i < got.size(); ++i) {
        const float v = c.row[first + i];
        if (ap1_is_missing(v)) {
          EXPECT_TRUE(ap1_is_missing(got[i])) << i;
        } else {
          EXPECT_NEAR(got[i], mode == AP1_PEAKS_DOWN ? v + c.line[i] : v - c.line[i], 1e-6)
              << "mode " << mode << " at " << i;
        }
      }
      destroy(result);
    }
    destroy(a);
  }
  EXPECT_EQ(APX_GetClassTable()->classes[AP9_CLASS_ID].live, 0);
}

TEST_F(Centring, BaselineSubtractionRefusesWhatTheAreasRefuse) {
  AP4_ARRAY* a = array_of(2, 3, {kNaN, kNaN, kNaN, 1, 2, 3});
  const AP4_RANGE empty{{0, 0}, {0, 2}};
  const AP4_RANGE valid{{1, 0}, {1, 2}};
  const AP4_RANGE two_rows{{0, 0}, {1, 2}};
  const AP4_RANGE outside{{1, 1}, {1, 3}};
  for (const auto& [range, baseline] : {std::pair{valid, empty}, std::pair{two_rows, valid},
                                        std::pair{valid, two_rows}, std::pair{outside, valid}})
    EXPECT_EQ(ap4d_SubtractLinearBaseline(a, range.start, range.end, baseline.start, baseline.end, AP1_PEAKS_UP),
              nullptr);
  destroy(a);
}

TEST_F(Centring, AreasOfRangesThatCannotBeMeasuredAreZero) {
  AP4_ARRAY* a = array_of(2, 3, {kNaN, kNaN, kNaN, 1, 2, 3});
  const AP4_RANGE empty{{0, 0}, {0, 2}};
  const AP4_RANGE valid{{1, 0}, {1, 2}};
  const AP4_RANGE two_rows{{0, 0}, {1, 2}};
  const AP4_RANGE outside{{1, 1}, {1, 3}};
  for (const auto& [range, baseline] : {std::pair{empty, valid}, std::pair{valid, empty}, std::pair{two_rows, valid},
                                        std::pair{valid, two_rows}, std::pair{outside, valid}}) {
    float level_area = -7;
    float line_area = -7;
    EXPECT_EQ(ap4d_RangeArea(a, range.start, range.end, baseline.start, baseline.end, AP1_PEAKS_UP, 0, &level_area,
                             &line_area),
              0);
    EXPECT_EQ(level_area, 0);
    EXPECT_EQ(line_area, 0);
  }
  destroy(a);
}

// ---------------------------------------------------------------------------
// Regression

class Regression : public ChemometricsTest {
 protected:
  struct Fit {
    uint32_t result;
    float intercept = -7;
    float slope = -7;
    float error1 = -7;
    float error2 = -7;
  };
  static Fit fit(AP4_ARRAY* y, AP4_ARRAY* x, int32_t n) {
    Fit f{};
    f.intercept = f.slope = f.error1 = f.error2 = -7;
    AP4_REGRESSIONPARM parameter{x, n, &f.intercept, &f.slope, &f.error1, &f.error2};
    f.result = send(AP4_MSG_LINEAR_REGRESSION, y, &parameter);
    return f;
  }
  static void expect_zero(const Fit& f) {
    EXPECT_EQ(f.result, 0u);
    EXPECT_EQ(f.intercept, 0);
    EXPECT_EQ(f.slope, 0);
    EXPECT_EQ(f.error1, 0);
    EXPECT_EQ(f.error2, 0);
  }
};

TEST_F(Regression, FitsAStraightLineLikeNumpy) {
  AP4_ARRAY* x = array_of(2, 5, ref::regression_x);
  AP4_ARRAY* y = array_of(1, 10, ref::regression_y);
  // The tenth pair would pull the line far off; only nine are asked for.
  const Fit f = fit(y, x, 9);
  EXPECT_EQ(f.result, 1u);
  EXPECT_NEAR(f.intercept, ref::regression_fit[0], 1e-5);
  EXPECT_NEAR(f.slope, ref::regression_fit[1], 1e-5);
  EXPECT_NEAR(f.error1, ref::regression_fit[2], 1e-5);
  EXPECT_NEAR(f.error2, ref::regression_fit[3], 1e-5);
  destroy(x);
  destroy(y);
}

TEST_F(Regression, AnExactLineHasNoError) {
  // y = 1 + 2x: the intercept must not leak into the error terms.
  AP4_ARRAY* x = array_of(1, 4, {0, 1, 2, kNaN});
  AP4_ARRAY* y = array_of(1, 4, {1, 3, 5, 100});
  const Fit f = fit(y, x, 4);
  EXPECT_EQ(f.result, 1u);
  EXPECT_FLOAT_EQ(f.intercept, 1);
  EXPECT_FLOAT_EQ(f.slope, 2);
  EXPECT_EQ(f.error1, 0);
  EXPECT_EQ(f.error2, 0);
  destroy(x);
  destroy(y);
}

TEST_F(Regression, RefusesWhatCannotBeFitted) {
  AP4_ARRAY* x = array_of(1, 4, {1, 2, kNaN, 4});
  AP4_ARRAY* y = array_of(1, 4, {1, kNaN, 3, kNaN});
  AP4_ARRAY* flat = array_of(1, 4, {2, 2, 2, 2});
  SCOPED_TRACE("one valid pair");
  expect_zero(fit(y, x, 4));
  SCOPED_TRACE("x without spread");
  expect_zero(fit(x, flat, 4));
  SCOPED_TRACE("more points than the arrays hold");
  expect_zero(fit(flat, x, 5));
  SCOPED_TRACE("negative count");
  expect_zero(fit(flat, x, -1));
  SCOPED_TRACE("x that is no array");
  expect_zero(fit(flat, reinterpret_cast<AP4_ARRAY*>(&x->rows), 2));
  // Without somewhere to put the slope nothing is computed.
  float intercept = -7;
  AP4_REGRESSIONPARM parameter{flat, 4, &intercept, nullptr, &intercept, &intercept};
  EXPECT_EQ(send(AP4_MSG_LINEAR_REGRESSION, x, &parameter), 0u);
  EXPECT_EQ(intercept, 0);
  for (AP4_ARRAY* a : {x, y, flat}) destroy(a);
}

}  // namespace
