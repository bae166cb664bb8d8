#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class RangeOperations : public SpectrumTest {};

bool history_bit(AP7_SPECTRUM* spectrum, int16_t bit) {
  return ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), bit) != 0;
}

// ---------------------------------------------------------------------------
// Points in a range (36)

struct RangeCase {
  const char* name;
  float x1;
  float x2;
  uint32_t count;
};

class RangePoints : public RangeOperations, public testing::WithParamInterface<RangeCase> {};

// Eleven points at X 0, 1, ..., 10.
TEST_P(RangePoints, CountsTheGridPointsOfTheRange) {
  AP7_SPECTRUM* spectrum = make_ramp(11, 0.0f, 10.0f);
  AP7_RANGEPOINTSPARM parameter{GetParam().x1, GetParam().x2, nullptr};
  uint32_t count = 99;
  parameter.count = &count;
  EXPECT_EQ(send(AP7_MSG_RANGE_POINTS, spectrum, &parameter), 1u);
  EXPECT_EQ(count, GetParam().count);
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(Ranges, RangePoints,
                         testing::Values(RangeCase{"whole", AP_NOT_GIVEN, AP_NOT_GIVEN, 11},
                                         RangeCase{"inside", 2.0f, 5.0f, 4}, RangeCase{"reversed", 5.0f, 2.0f, 4},
                                         RangeCase{"over_the_start", -5.0f, 3.0f, 4},
                                         RangeCase{"open_low_end", AP_NOT_GIVEN, 3.0f, 4},
                                         RangeCase{"beyond_the_end", 20.0f, 30.0f, 0}),
                         [](const testing::TestParamInfo<RangeCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Insert and delete points (45, 46)

struct PointsCase {
  const char* name;
  uint16_t message;
  uint16_t at_start;
  uint32_t y_units;
  uint32_t peak_before;
  float first_x;
  float last_x;
  float p30;
  uint32_t peak;
  uint32_t after_peak;
  std::vector<float> y;
};

class PointsAtAnEnd : public RangeOperations, public testing::WithParamInterface<PointsCase> {};

// Five points 1..5 at X 100, 102, ..., 108 (spacing 2), with 3 points
// inserted or deleted: the axis moves by 6.
TEST_P(PointsAtAnEnd, MoveTheAxisByTheSpacing) {
  const PointsCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_ramp(5, 100.0f, 108.0f);
  record(spectrum).y_units = c.y_units;
  record(spectrum).p30 = 50.0f;
  record(spectrum).FinalPeakPos = c.peak_before;
  record(spectrum).NumPostPeakPts = 5;
  arraytest::NoticeCounter counter;
  arraytest::watch(spectrum->data, counter);
  AP7_POINTSPARM parameter{c.at_start, 3};
  ASSERT_EQ(send(c.message, spectrum, &parameter), 1u);
  EXPECT_EQ(packed(record(spectrum).points), c.y.size());
  EXPECT_EQ(packed(spectrum->data->columns), c.y.size());
  EXPECT_EQ(values(spectrum), c.y);
  EXPECT_FLOAT_EQ(packed(record(spectrum).first_x), c.first_x);
  EXPECT_FLOAT_EQ(packed(record(spectrum).last_x), c.last_x);
  EXPECT_FLOAT_EQ(packed(record(spectrum).p30), c.p30);
  EXPECT_EQ(packed(record(spectrum).FinalPeakPos), c.peak);
  EXPECT_EQ(packed(record(spectrum).NumPostPeakPts), c.after_peak);
  const bool inserted = c.message == AP7_MSG_INSERT_POINTS;
  EXPECT_EQ(history_bit(spectrum, AP41_HISTORY_EXPANSION), inserted);
  EXPECT_EQ(history_bit(spectrum, AP41_HISTORY_TRUNCATED), !inserted);
  EXPECT_EQ(counter.changes, 1);
  EXPECT_EQ(destroy(spectrum), 1u);
}

const std::vector<float> kGrown = {1, 2, 3, 4, 5, 0, 0, 0};
const std::vector<float> kGrownAtStart = {0, 0, 0, 1, 2, 3, 4, 5};

INSTANTIATE_TEST_SUITE_P(
    Cases, PointsAtAnEnd,
    testing::Values(
        PointsCase{"insert_end", AP7_MSG_INSERT_POINTS, 0, 17, 1, 100, 114, 50, 1, 5, kGrown},
        PointsCase{"insert_start", AP7_MSG_INSERT_POINTS, 1, 17, 1, 94, 108, 50, 1, 5, kGrownAtStart},
        PointsCase{"insert_start_interferogram", AP7_MSG_INSERT_POINTS, 1, 22, 1, 100, 114, 56, 4, 5, kGrownAtStart},
        PointsCase{"insert_end_interferogram", AP7_MSG_INSERT_POINTS, 0, 22, 1, 100, 114, 50, 1, 5, kGrown},
        PointsCase{"delete_end", AP7_MSG_DELETE_POINTS, 0, 17, 1, 100, 102, 50, 1, 5, {1, 2}},
        PointsCase{"delete_start", AP7_MSG_DELETE_POINTS, 1, 17, 1, 106, 108, 50, 1, 5, {4, 5}},
        // Two points left after a peak at index 1: at most one follows it.
        PointsCase{"delete_start_interferogram", AP7_MSG_DELETE_POINTS, 1, 22, 4, 100, 102, 44, 1, 1, {4, 5}},
        PointsCase{"delete_end_interferogram", AP7_MSG_DELETE_POINTS, 0, 22, 1, 100, 102, 50, 1, 1, {1, 2}}),
    [](const testing::TestParamInfo<PointsCase>& info) { return std::string(info.param.name); });

TEST_F(RangeOperations, ASinglePointSpectrumGrowsByASpacingOfOne) {
  AP7_SPECTRUM* spectrum = make_axis(7.0f, 7.0f, {3});
  AP7_POINTSPARM parameter{0, 2};
  ASSERT_EQ(send(AP7_MSG_INSERT_POINTS, spectrum, &parameter), 1u);
  EXPECT_EQ(packed(record(spectrum).first_x), 7.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 9.0f);
  EXPECT_EQ(values(spectrum), (std::vector<float>{3, 0, 0}));
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(RangeOperations, NoPointsChangeNothingAndFewerThanNoneFail) {
  AP7_SPECTRUM* spectrum = make_ramp(3, 0.0f, 2.0f);
  for (uint16_t message : {AP7_MSG_INSERT_POINTS, AP7_MSG_DELETE_POINTS}) {
    AP7_POINTSPARM none{0, 0};
    EXPECT_EQ(send(message, spectrum, &none), 1u);
    AP7_POINTSPARM negative{1, -1};
    EXPECT_EQ(send(message, spectrum, &negative), 0u);
  }
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(packed(record(spectrum).last_x), 2.0f);
  EXPECT_FALSE(history_bit(spectrum, AP41_HISTORY_EXPANSION));
  EXPECT_FALSE(history_bit(spectrum, AP41_HISTORY_TRUNCATED));
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(RangeOperations, DeletingMorePointsThanTheSpectrumHoldsFailsWithoutChange) {
  AP7_SPECTRUM* spectrum = make_ramp(3, 0.0f, 2.0f);
  for (uint16_t at_start : {0, 1}) {
    AP7_POINTSPARM parameter{at_start, 4};
    EXPECT_EQ(send(AP7_MSG_DELETE_POINTS, spectrum, &parameter), 0u);
  }
  EXPECT_EQ(packed(record(spectrum).points), 3u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(packed(record(spectrum).first_x), 0.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 2.0f);
  EXPECT_EQ(destroy(spectrum), 1u);
}

// ---------------------------------------------------------------------------
// Fill a range (47)

TEST_F(RangeOperations, FillSetsTheRangesPointsAndTheFilledBit) {
  AP7_SPECTRUM* spectrum = make_ramp(5, 0.0f, 4.0f);
  AP7_FILLPARM parameter{1.0f, 3.2f, 9.0f};
  EXPECT_EQ(send(AP7_MSG_FILL_RANGE, spectrum, &parameter), 1u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 9, 9, 9, 5}));
  EXPECT_TRUE(history_bit(spectrum, AP41_HISTORY_FILLED));
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(RangeOperations, FillOutsideTheDataFailsWithoutTheBit) {
  AP7_SPECTRUM* spectrum = make_ramp(5, 0.0f, 4.0f);
  AP7_FILLPARM parameter{10.0f, 12.0f, 9.0f};
  EXPECT_EQ(send(AP7_MSG_FILL_RANGE, spectrum, &parameter), 0u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{1, 2, 3, 4, 5}));
  EXPECT_FALSE(history_bit(spectrum, AP41_HISTORY_FILLED));
  EXPECT_EQ(destroy(spectrum), 1u);
}

// ---------------------------------------------------------------------------
// Minimum and maximum of a range (59)

struct MinMaxCase {
  const char* name;
  std::vector<float> y;
  float x1;
  float x2;
  uint32_t result;
  float minimum;  // NaN: missing
  float maximum;
};

const float kMissing = std::numeric_limits<float>::quiet_NaN();

const MinMaxCase kMinMaxCases[] = {
    {"whole_spectrum", {3, -2, 7, 1, 0}, AP_NOT_GIVEN, AP_NOT_GIVEN, 1, -2, 7},
    {"inner_range", {3, -2, 7, 1, 0}, 2.6f, 4.0f, 1, 0, 1},
    {"missing_values_skipped", {kMissing, 5, kMissing, -1, kMissing}, AP_NOT_GIVEN, AP_NOT_GIVEN, 1, -1, 5},
    {"only_missing_values", {kMissing, kMissing, kMissing, kMissing, kMissing}, AP_NOT_GIVEN, AP_NOT_GIVEN, 1,
     kMissing, kMissing},
    {"range_beside_the_data", {3, -2, 7, 1, 0}, 10.0f, 12.0f, 0, 99, 99},
};

class MinMax : public RangeOperations, public testing::WithParamInterface<MinMaxCase> {};

// Five points at X 0 to 4.
TEST_P(MinMax, AnswersTheExtremesOfThePresentValues) {
  const MinMaxCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 4.0f, c.y);
  float minimum = 99;
  float maximum = 99;
  AP7_MINMAXPARM parameter{c.x1, c.x2, &minimum, &maximum};
  EXPECT_EQ(send(AP7_MSG_MIN_MAX, spectrum, &parameter), c.result);
  for (const auto& [got, expected] : {std::pair{minimum, c.minimum}, std::pair{maximum, c.maximum}}) {
    if (std::isnan(expected)) {
      EXPECT_TRUE(std::isnan(got));
    } else {
      EXPECT_EQ(got, expected);
    }
  }
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(Ranges, MinMax, testing::ValuesIn(kMinMaxCases),
                         [](const testing::TestParamInfo<MinMaxCase>& info) { return std::string(info.param.name); });

TEST_F(RangeOperations, MinMaxRefusesAMissingOutput) {
  AP7_SPECTRUM* spectrum = make_ramp(5, 0.0f, 4.0f);
  float minimum = 0;
  AP7_MINMAXPARM parameter{AP_NOT_GIVEN, AP_NOT_GIVEN, &minimum, nullptr};
  EXPECT_EQ(send(AP7_MSG_MIN_MAX, spectrum, &parameter), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

// ---------------------------------------------------------------------------
// A copy cut to a range

struct CutCase {
  const char* name;
  float first_x;  // of the source, whose last X is 10 - first_x
  float x1;
  float x2;
  float cut_first_x;
  float cut_last_x;
  std::vector<float> y;
};

class CutCopy : public RangeOperations, public testing::WithParamInterface<CutCase> {};

// Eleven points with values 1..11, at X 0..10 or, running downward, 10..0.
TEST_P(CutCopy, HoldsThePointsOfTheRange) {
  const CutCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_ramp(11, c.first_x, 10.0f - c.first_x);
  AP7_SPECTRUM* cut = ap7a_NewFromRange(spectrum, c.x1, c.x2);
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(values(cut), c.y);
  EXPECT_EQ(packed(record(cut).points), c.y.size());
  EXPECT_EQ(packed(record(cut).first_x), c.cut_first_x);
  EXPECT_EQ(packed(record(cut).last_x), c.cut_last_x);
  EXPECT_TRUE(history_bit(cut, AP41_HISTORY_TRUNCATED));
  // The source is not touched.
  EXPECT_EQ(packed(record(spectrum).points), 11u);
  EXPECT_FALSE(history_bit(spectrum, AP41_HISTORY_TRUNCATED));
  EXPECT_EQ(destroy(cut), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, CutCopy,
    testing::Values(CutCase{"inside", 0.0f, 2.0f, 5.0f, 2.0f, 5.0f, {3, 4, 5, 6}},
                    CutCase{"reversed", 0.0f, 5.0f, 2.0f, 2.0f, 5.0f, {3, 4, 5, 6}},
                    CutCase{"whole", 0.0f, AP_NOT_GIVEN, AP_NOT_GIVEN, 0.0f, 10.0f, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
                    CutCase{"open_low_end", 0.0f, AP_NOT_GIVEN, 2.0f, 0.0f, 2.0f, {1, 2, 3}},
                    CutCase{"wider_than_the_data", 0.0f, -5.0f, 1.0f, 0.0f, 1.0f, {1, 2}},
                    CutCase{"one_point", 0.0f, 4.0f, 4.0f, 4.0f, 4.0f, {5}},
                    CutCase{"descending_axis", 10.0f, 2.0f, 5.0f, 5.0f, 2.0f, {6, 7, 8, 9}}),
    [](const testing::TestParamInfo<CutCase>& info) { return std::string(info.param.name); });

TEST_F(RangeOperations, CutOutsideTheDataMakesNothing) {
  AP7_SPECTRUM* spectrum = make_ramp(11, 0.0f, 10.0f);
  const auto before = live_counts();
  EXPECT_EQ(ap7a_NewFromRange(spectrum, 20.0f, 30.0f), nullptr);
  EXPECT_EQ(ap7a_NewFromRange(spectrum, -30.0f, -20.0f), nullptr);
  EXPECT_EQ(ap7a_NewFromRange(nullptr, 0.0f, 1.0f), nullptr);
  EXPECT_EQ(live_counts(), before);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(RangeOperations, MessageThirtyNineCutsTheRange) {
  AP7_SPECTRUM* spectrum = make_ramp(11, 0.0f, 10.0f);
  AP7_XRANGEPARM parameter{2.0f, 4.0f};
  auto* cut = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_NEW_FROM_RANGE, spectrum, &parameter));
  ASSERT_NE(cut, nullptr);
  EXPECT_EQ(values(cut), (std::vector<float>{3.0f, 4.0f, 5.0f}));
  EXPECT_EQ(destroy(cut), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

// The strict cut: each end at the nearest point, and nothing for a range
// that misses the data.
TEST_F(RangeOperations, StrictCutTakesTheNearestPoints) {
  AP7_SPECTRUM* spectrum = make_ramp(11, 0.0f, 10.0f);
  AP7_SPECTRUM* cut = ap7a_NewFromRangeStrict(spectrum, 2.4f, 6.6f);
  ASSERT_NE(cut, nullptr);
  const uint32_t points = record(cut).points;
  const float first_x = record(cut).first_x;
  const float last_x = record(cut).last_x;
  EXPECT_EQ(points, 6u);
  EXPECT_FLOAT_EQ(first_x, 2.0f);
  EXPECT_FLOAT_EQ(last_x, 7.0f);
  EXPECT_EQ(values(cut), (std::vector<float>{3, 4, 5, 6, 7, 8}));
  EXPECT_TRUE(history_bit(cut, AP41_HISTORY_TRUNCATED));
  destroy(cut);
  const auto before = live_counts();
  EXPECT_EQ(ap7a_NewFromRangeStrict(spectrum, 20.0f, 30.0f), nullptr);
  EXPECT_EQ(live_counts(), before);
  destroy(spectrum);
}

}  // namespace
