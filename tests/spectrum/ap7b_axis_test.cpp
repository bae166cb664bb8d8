#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class Axis : public SpectrumTest {};

const float kNaN = std::numeric_limits<float>::quiet_NaN();

// Values with NaN compared as equal to NaN.
void expect_values(AP7_SPECTRUM* spectrum, const std::vector<float>& expected) {
  const std::vector<float> got = values(spectrum);
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) {
    if (std::isnan(expected[i])) {
      EXPECT_TRUE(std::isnan(got[i])) << "at " << i;
    } else {
      EXPECT_EQ(got[i], expected[i]) << "at " << i;
    }
  }
}

// ---------------------------------------------------------------------------
// Spacing

struct SpacingCase {
  uint32_t points;
  float first_x;
  float last_x;
};

class Spacing : public Axis, public testing::WithParamInterface<SpacingCase> {};

TEST_P(Spacing, IsTheIntervalOverThePointsLessOneOrOneBelowTwoPoints) {
  const SpacingCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make(c.points);
  record(spectrum).first_x = c.first_x;
  record(spectrum).last_x = c.last_x;
  const float expected = c.points < 2 ? 1.0f
                                      : static_cast<float>((double{c.last_x} - double{c.first_x}) /
                                                           static_cast<double>(c.points - 1));
  EXPECT_EQ(ap7b_GetXSpacing(spectrum), expected);
  float out = 0.0f;
  EXPECT_EQ(send(AP7_MSG_GET_SPACING, spectrum, &out), 1u);
  EXPECT_EQ(out, expected);
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(Axes, Spacing,
                         testing::Values(SpacingCase{5, 0.0f, 8.0f}, SpacingCase{5, 8.0f, 0.0f},
                                         SpacingCase{4, 0.0f, 1.0f}, SpacingCase{1868, 4000.0f, 400.0f},
                                         SpacingCase{1, 5.0f, 9.0f}, SpacingCase{0, 5.0f, 9.0f}));

TEST_F(Axis, SpacingOfWhatIsNoSpectrumIsOne) {
  AP4_ARRAY* array = arraytest::make(1, 3);
  float out = 0.0f;
  EXPECT_EQ(ap7b_GetXSpacingOut(array, &out), 1u);
  EXPECT_EQ(out, 1.0f);
  EXPECT_EQ(ap7b_GetXSpacing(nullptr), 1.0f);
  EXPECT_EQ(arraytest::destroy(array), 1u);
}

// ---------------------------------------------------------------------------
// Single conversions

struct IndexCase {
  float x;
  int32_t index;
  uint32_t inside;
};

class XToIndex : public Axis, public testing::WithParamInterface<IndexCase> {};

// Five points at X 0, 2, 4, 6, 8.
TEST_P(XToIndex, GivesTheNearestIndexAndWhetherItLiesInside) {
  AP7_SPECTRUM* spectrum = make_ramp(5, 0.0f, 8.0f);
  int32_t index = 99;
  AP7_XTOINDEXPARM parameter{GetParam().x, &index};
  EXPECT_EQ(send(AP7_MSG_X_TO_INDEX, spectrum, &parameter), GetParam().inside);
  EXPECT_EQ(index, GetParam().index);
  AP4_CELL cell{7, 7};
  AP7_XTOCELLPARM as_cell{GetParam().x, &cell};
  EXPECT_EQ(send(AP7_MSG_X_TO_CELL, spectrum, &as_cell), GetParam().inside);
  EXPECT_EQ(cell.row, 0);
  EXPECT_EQ(cell.column, GetParam().index);
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(Positions, XToIndex,
                         testing::Values(IndexCase{4.0f, 2, 1}, IndexCase{4.9f, 2, 1},
                                         // Halfway the higher index wins.
                                         IndexCase{3.0f, 2, 1}, IndexCase{5.0f, 3, 1}, IndexCase{-1.0f, 0, 1},
                                         IndexCase{-2.0f, -1, 0}, IndexCase{9.2f, 5, 0}, IndexCase{8.0f, 4, 1}));

TEST_F(Axis, OnePointHasSpacingOneAndIndexesByTheOffsetFromItsX) {
  AP7_SPECTRUM* spectrum = make_axis(10.0f, 10.0f, {1});
  int32_t index = 0;
  EXPECT_EQ(ap7b_XToIndex(spectrum, 12.4f, &index), 0u);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(ap7b_XToIndex(spectrum, 10.4f, &index), 1u);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Axis, AnXThatIsNotANumberGivesNoIndexAndNoRange) {
  AP7_SPECTRUM* spectrum = make_ramp(5, 0.0f, 8.0f);
  const float nan = AP1_GetNaNSG_MATH();
  int32_t index = 99;
  EXPECT_EQ(ap7b_XToIndex(spectrum, nan, &index), 0u);
  EXPECT_EQ(index, 99);
  float x1 = nan;
  float x2 = 4.0f;
  AP4_CELL first{9, 9};
  AP4_CELL last{9, 9};
  EXPECT_EQ(ap7b_XRangeToIndexRange(spectrum, &x1, &x2, &first, &last), 0);
  EXPECT_EQ(last.column, -1);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Axis, ZeroSpacingGivesNoIndexAndNoRange) {
  AP7_SPECTRUM* spectrum = make_axis(5.0f, 5.0f, {1, 2, 3});
  int32_t index = 99;
  EXPECT_EQ(ap7b_XToIndex(spectrum, 5.0f, &index), 0u);
  EXPECT_EQ(index, 99);
  float x1 = 4.0f;
  float x2 = 6.0f;
  AP4_CELL first{};
  AP4_CELL last{};
  EXPECT_EQ(ap7b_XRangeToIndexRange(spectrum, &x1, &x2, &first, &last), 0);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Axis, IndexToXIsWrittenEvenOutside) {
  AP7_SPECTRUM* spectrum = make_ramp(5, 0.0f, 8.0f);
  float x = 0.0f;
  AP7_INDEXTOXPARM parameter{3, &x};
  EXPECT_EQ(send(AP7_MSG_INDEX_TO_X, spectrum, &parameter), 1u);
  EXPECT_EQ(x, 6.0f);
  parameter.index = 5;
  EXPECT_EQ(send(AP7_MSG_INDEX_TO_X, spectrum, &parameter), 0u);
  EXPECT_EQ(x, 10.0f);
  parameter.index = -1;
  EXPECT_EQ(send(AP7_MSG_INDEX_TO_X, spectrum, &parameter), 0u);
  EXPECT_EQ(x, -2.0f);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Axis, CellToXTakesRowZeroOnly) {
  AP7_SPECTRUM* spectrum = make_ramp(5, 0.0f, 8.0f);
  float x = 0.0f;
  AP7_CELLTOXPARM parameter{0, 2, &x};
  EXPECT_EQ(send(AP7_MSG_CELL_TO_X, spectrum, &parameter), 1u);
  EXPECT_EQ(x, 4.0f);
  parameter.row = 1;
  EXPECT_EQ(send(AP7_MSG_CELL_TO_X, spectrum, &parameter), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Axis, FractionalIndexesLieInsideUpToTheLastPoint) {
  AP7_SPECTRUM* spectrum = make_ramp(5, 0.0f, 8.0f);
  float x = 0.0f;
  EXPECT_EQ(ap7b_FracIndexToX(spectrum, 1.5f, &x), 1u);
  EXPECT_EQ(x, 3.0f);
  EXPECT_EQ(ap7b_FracIndexToX(spectrum, 4.0f, &x), 1u);
  EXPECT_EQ(x, 8.0f);
  EXPECT_EQ(ap7b_FracIndexToX(spectrum, 4.5f, &x), 0u);
  EXPECT_EQ(x, 9.0f);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Axis, XRangeGivesTheLimitsAndThePointCount) {
  AP7_SPECTRUM* spectrum = make_ramp(5, 4000.0f, 400.0f);
  float first = 0.0f;
  float last = 0.0f;
  AP7_LIMITSPARM parameter{&first, &last};
  EXPECT_EQ(send(AP7_MSG_GET_X_RANGE, spectrum, &parameter), 5u);
  EXPECT_EQ(first, 4000.0f);
  EXPECT_EQ(last, 400.0f);
  parameter.x2 = nullptr;
  EXPECT_EQ(send(AP7_MSG_GET_X_RANGE, spectrum, &parameter), 0u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

// ---------------------------------------------------------------------------
// X ranges to index ranges (241)

struct IndexRangeCase {
  const char* name;
  float x1;
  float x2;
  int32_t count;
  float out1;
  float out2;
  AP4_CELL first;
  AP4_CELL last;
};

class IndexRange : public Axis, public testing::WithParamInterface<IndexRangeCase> {};

// Eleven points at X 0, 2, ..., 20.
TEST_P(IndexRange, ClipsAndSnapsTheLimitsToTheGrid) {
  const IndexRangeCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_ramp(11, 0.0f, 20.0f);
  float x1 = c.x1;
  float x2 = c.x2;
  AP4_CELL first{9, 9};
  AP4_CELL last{9, 9};
  AP7_INDEXRANGEPARM parameter{&x1, &x2, &first, &last};
  EXPECT_EQ(static_cast<int32_t>(send(AP7_MSG_X_RANGE_TO_INDEX_RANGE, spectrum, &parameter)), c.count);
  EXPECT_EQ(x1, c.out1);
  EXPECT_EQ(x2, c.out2);
  EXPECT_EQ(first.row, c.first.row);
  EXPECT_EQ(first.column, c.first.column);
  EXPECT_EQ(last.row, c.last.row);
  EXPECT_EQ(last.column, c.last.column);
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, IndexRange,
    testing::Values(
        IndexRangeCase{"whole", AP_NOT_GIVEN, AP_NOT_GIVEN, 11, 0.0f, 20.0f, {0, 0}, {0, 10}},
        IndexRangeCase{"inside", 3.1f, 7.2f, 3, 4.0f, 8.0f, {0, 2}, {0, 4}},
        IndexRangeCase{"reversed", 7.2f, 3.1f, 3, 4.0f, 8.0f, {0, 2}, {0, 4}},
        // One open end is a very low X: the range runs to the low end.
        IndexRangeCase{"open_first", AP_NOT_GIVEN, 5.0f, 4, 0.0f, 6.0f, {0, 0}, {0, 3}},
        IndexRangeCase{"open_second", 5.0f, AP_NOT_GIVEN, 4, 0.0f, 6.0f, {0, 0}, {0, 3}},
        IndexRangeCase{"over_the_end", 15.0f, 100.0f, 3, 16.0f, 20.0f, {0, 8}, {0, 10}},
        IndexRangeCase{"below", -10.0f, -4.0f, 0, -10.0f, -4.0f, {0, 0}, {-1, -1}},
        IndexRangeCase{"above", 30.0f, 40.0f, 0, 30.0f, 40.0f, {0, 0}, {-1, -1}},
        // Beyond the 32-bit indexes an end stays on its own side.
        IndexRangeCase{"far_over_the_end", 15.0f, 1e30f, 3, 16.0f, 20.0f, {0, 8}, {0, 10}},
        IndexRangeCase{"far_above", 30.0f, 1e30f, 0, 30.0f, 1e30f, {0, 0}, {-1, -1}},
        IndexRangeCase{"far_around", -1e30f, 1e30f, 11, 0.0f, 20.0f, {0, 0}, {0, 10}}),
    [](const testing::TestParamInfo<IndexRangeCase>& info) { return std::string(info.param.name); });

TEST_F(Axis, IndexRangeRefusesWhatIsNoSpectrumAndLeavesTheCells) {
  AP4_ARRAY* array = arraytest::make(1, 3);
  float x1 = AP_NOT_GIVEN;
  float x2 = AP_NOT_GIVEN;
  AP4_CELL first{9, 9};
  AP4_CELL last{9, 9};
  EXPECT_EQ(ap7b_XRangeToIndexRange(reinterpret_cast<AP7_SPECTRUM*>(array), &x1, &x2, &first, &last), 0);
  EXPECT_EQ(first.column, 9);
  EXPECT_EQ(last.column, 9);
  EXPECT_EQ(arraytest::destroy(array), 1u);
}

// ---------------------------------------------------------------------------
// Common range of two spectra (181)

struct CommonRange {
  int32_t count;
  float x1;
  float x2;
  AP4_CELL first;
  AP4_CELL last;
  AP4_CELL other_first;
  AP4_CELL other_last;
};

CommonRange common_range(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float x1, float x2) {
  CommonRange r{0, x1, x2, {}, {}, {}, {}};
  AP7_COMMONRANGEPARM parameter{&r.x1, &r.x2, &r.first, &r.last, b, &r.other_first, &r.other_last};
  r.count = static_cast<int32_t>(send(AP7_MSG_COMMON_INDEX_RANGE, a, &parameter));
  return r;
}

TEST_F(Axis, CommonRangeOfTwoOverlappingSpectraHasEqualLengthsInBoth) {
  AP7_SPECTRUM* a = make_ramp(11, 0.0f, 20.0f);
  AP7_SPECTRUM* b = make_ramp(6, 10.0f, 20.0f);
  const CommonRange r = common_range(a, b, AP_NOT_GIVEN, AP_NOT_GIVEN);
  EXPECT_EQ(r.count, 6);
  EXPECT_EQ(r.x1, 10.0f);
  EXPECT_EQ(r.x2, 20.0f);
  EXPECT_EQ(r.first.column, 5);
  EXPECT_EQ(r.last.column, 10);
  EXPECT_EQ(r.other_first.column, 0);
  EXPECT_EQ(r.other_last.column, 5);
  EXPECT_EQ(destroy(a), 1u);
  EXPECT_EQ(destroy(b), 1u);
}

TEST_F(Axis, CommonRangeOfSpacingsMoreThanOnePercentApartIsEmptyWithLimitsZero) {
  AP7_SPECTRUM* a = make_ramp(11, 0.0f, 20.0f);
  AP7_SPECTRUM* b = make_ramp(11, 0.0f, 20.5f);
  const CommonRange r = common_range(a, b, AP_NOT_GIVEN, AP_NOT_GIVEN);
  EXPECT_EQ(r.count, 0);
  EXPECT_EQ(r.x1, 0.0f);
  EXPECT_EQ(r.x2, 0.0f);
  EXPECT_EQ(destroy(a), 1u);
  EXPECT_EQ(destroy(b), 1u);
}

TEST_F(Axis, CommonRangeOfSpectraThatDoNotMeetIsEmpty) {
  AP7_SPECTRUM* a = make_ramp(5, 0.0f, 8.0f);
  AP7_SPECTRUM* b = make_ramp(5, 100.0f, 108.0f);
  EXPECT_EQ(common_range(a, b, AP_NOT_GIVEN, AP_NOT_GIVEN).count, 0);
  EXPECT_EQ(common_range(a, b, 2.0f, 6.0f).count, 0);
  EXPECT_EQ(destroy(a), 1u);
  EXPECT_EQ(destroy(b), 1u);
}

// ---------------------------------------------------------------------------
// Fitting the data to an X range (175, 219, 227, 280)

struct FitCase {
  const char* name;
  uint16_t message;
  float x1;
  float x2;
  uint32_t points;
  float out1;
  float out2;
  float first_x;
  float last_x;
  std::vector<float> y;
};

class FitToRange : public Axis, public testing::WithParamInterface<FitCase> {};

// Five points 1..5 at X 0, 2, 4, 6, 8.
TEST_P(FitToRange, TrimsOrPadsEachEndOntoTheGrid) {
  const FitCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_ramp(5, 0.0f, 8.0f);
  float x1 = c.x1;
  float x2 = c.x2;
  AP7_LIMITSPARM parameter{&x1, &x2};
  EXPECT_EQ(send(c.message, spectrum, &parameter), c.points);
  EXPECT_EQ(packed(record(spectrum).points), c.points);
  EXPECT_EQ(x1, c.out1);
  EXPECT_EQ(x2, c.out2);
  EXPECT_EQ(packed(record(spectrum).first_x), c.first_x);
  EXPECT_EQ(packed(record(spectrum).last_x), c.last_x);
  expect_values(spectrum, c.y);
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitToRange,
    testing::Values(
        // Beyond both ends: the grid point below -3 is -4, the one above 11 is 12.
        FitCase{"clamp_pads_zeros", AP7_MSG_CLAMP_X_RANGE, -3.0f, 11.0f, 9, -4.0f, 12.0f, -4.0f, 12.0f, {0, 0, 1, 2, 3, 4, 5, 0, 0}},
        // 6.1 lies more than the tolerance beyond 6: the end steps out to 8.
        FitCase{"clamp_trims", AP7_MSG_CLAMP_X_RANGE, 2.9f, 6.1f, 4, 2.0f, 8.0f, 2.0f, 8.0f, {2, 3, 4, 5}},
        FitCase{"clamp_within_tolerance", AP7_MSG_CLAMP_X_RANGE, 1.999998f, 8.0f, 4, 2.0f, 8.0f, 2.0f, 8.0f, {2, 3, 4, 5}},
        FitCase{"clamp_beyond_tolerance", AP7_MSG_CLAMP_X_RANGE, 1.999990f, 8.0f, 5, 0.0f, 8.0f, 0.0f, 8.0f, {1, 2, 3, 4, 5}},
        FitCase{"clamp_equal_limits", AP7_MSG_CLAMP_X_RANGE, 4.0f, 4.0f, 5, 4.0f, 4.0f, 0.0f, 8.0f, {1, 2, 3, 4, 5}},
        FitCase{"clamp_open_end", AP7_MSG_CLAMP_X_RANGE, AP_NOT_GIVEN, 4.0f, 5, AP_NOT_GIVEN, 4.0f, 0.0f, 8.0f, {1, 2, 3, 4, 5}},
        // Nearest grid points (a tie takes the higher index), new points missing.
        FitCase{"extend_fills_missing", AP7_MSG_EXTEND_TO_X_RANGE, -3.0f, 11.0f, 8, -2.0f, 12.0f, -2.0f, 12.0f,
                {kNaN, 1, 2, 3, 4, 5, kNaN, kNaN}},
        FitCase{"extend_equal_limits", AP7_MSG_EXTEND_TO_X_RANGE, 4.0f, 4.0f, 1, 4.0f, 4.0f, 4.0f, 4.0f, {3}},
        FitCase{"nearest_pads_zeros", AP7_MSG_CLAMP_X_RANGE_NEAREST, -3.0f, 11.0f, 8, -2.0f, 12.0f, -2.0f, 12.0f,
                {0, 1, 2, 3, 4, 5, 0, 0}},
        FitCase{"nearest_trims", AP7_MSG_CLAMP_X_RANGE_NEAREST, 2.9f, 6.1f, 3, 2.0f, 6.0f, 2.0f, 6.0f, {2, 3, 4}},
        // Four points beyond the grid points nearest 2 and 6.
        FitCase{"pad_reaches_four_beyond", AP7_MSG_PAD_TO_X_RANGE, 2.0f, 6.0f, 11, -6.0f, 14.0f, -6.0f, 14.0f,
                {kNaN, kNaN, kNaN, 1, 2, 3, 4, 5, kNaN, kNaN, kNaN}}),
    [](const testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

class FitToFallingRange : public Axis, public testing::WithParamInterface<FitCase> {};

// Five points 1..5 at X 8, 6, 4, 2, 0: each end is cut or padded as on the
// rising axis, the start taking the high limit.
TEST_P(FitToFallingRange, TrimsOrPadsTheEndThatHoldsEachLimit) {
  const FitCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_ramp(5, 8.0f, 0.0f);
  float x1 = c.x1;
  float x2 = c.x2;
  AP7_LIMITSPARM parameter{&x1, &x2};
  EXPECT_EQ(send(c.message, spectrum, &parameter), c.points);
  EXPECT_EQ(x1, c.out1);
  EXPECT_EQ(x2, c.out2);
  EXPECT_EQ(packed(record(spectrum).first_x), c.first_x);
  EXPECT_EQ(packed(record(spectrum).last_x), c.last_x);
  expect_values(spectrum, c.y);
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FitToFallingRange,
    testing::Values(
        FitCase{"clamp_pads_zeros", AP7_MSG_CLAMP_X_RANGE, -3.0f, 11.0f, 9, 12.0f, -4.0f, 12.0f, -4.0f, {0, 0, 1, 2, 3, 4, 5, 0, 0}},
        FitCase{"clamp_trims", AP7_MSG_CLAMP_X_RANGE, 2.9f, 6.1f, 4, 8.0f, 2.0f, 8.0f, 2.0f, {1, 2, 3, 4}},
        FitCase{"extend_fills_missing", AP7_MSG_EXTEND_TO_X_RANGE, -3.0f, 11.0f, 8, 10.0f, -4.0f, 10.0f, -4.0f,
                {kNaN, 1, 2, 3, 4, 5, kNaN, kNaN}},
        FitCase{"nearest_trims", AP7_MSG_CLAMP_X_RANGE_NEAREST, 2.9f, 6.1f, 3, 6.0f, 2.0f, 6.0f, 2.0f, {2, 3, 4}},
        FitCase{"pad_reaches_four_beyond", AP7_MSG_PAD_TO_X_RANGE, 2.0f, 6.0f, 11, 14.0f, -6.0f, 14.0f, -6.0f,
                {kNaN, kNaN, kNaN, 1, 2, 3, 4, 5, kNaN, kNaN, kNaN}}),
    [](const testing::TestParamInfo<FitCase>& info) { return std::string(info.param.name); });

TEST_F(Axis, PaddingNeverTrims) {
  AP7_SPECTRUM* spectrum = make_ramp(21, 0.0f, 40.0f);
  float x1 = 10.0f;
  float x2 = 20.0f;
  EXPECT_EQ(ap7b_PadToXRange(spectrum, &x1, &x2), 21u);
  EXPECT_EQ(packed(record(spectrum).first_x), 0.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 40.0f);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Axis, ClampOfFewerThanTwoPointsFails) {
  AP7_SPECTRUM* spectrum = make_axis(3.0f, 3.0f, {1});
  float x1 = 0.0f;
  float x2 = 8.0f;
  EXPECT_EQ(ap7b_ClampXRange(spectrum, &x1, &x2), 0u);
  EXPECT_EQ(packed(record(spectrum).points), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Axis, NearestClampTestsThePointsLeftBeforeTheHighEnd) {
  AP7_SPECTRUM* spectrum = make_ramp(3, 0.0f, 4.0f);
  float x1 = 4.0f;
  float x2 = 10.0f;
  // The low end leaves one point; the trim made so far stays.
  EXPECT_EQ(ap7b_ClampXRangeNearest(spectrum, &x1, &x2), 0u);
  EXPECT_EQ(packed(record(spectrum).points), 1u);
  EXPECT_EQ(packed(record(spectrum).first_x), 4.0f);
  EXPECT_EQ(values(spectrum), (std::vector<float>{3}));
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(Axis, ClampOfAnInterferogramMovesItsAxisAsAnyOther) {
  AP7_SPECTRUM* spectrum = make_ramp(5, 0.0f, 8.0f);
  record(spectrum).y_units = AP41_YUNITS_INTERFEROGRAM;
  record(spectrum).p30 = 50.0f;
  record(spectrum).FinalPeakPos = 2;
  float x1 = -2.0f;
  float x2 = 8.0f;
  EXPECT_EQ(ap7b_ClampXRange(spectrum, &x1, &x2), 6u);
  // The insertion moves the interferogram's last X, value and peak; the
  // correction after a change at the start takes all of them back by the
  // spacing and the first X with them.
  EXPECT_EQ(packed(record(spectrum).first_x), -2.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 8.0f);
  EXPECT_EQ(packed(record(spectrum).p30), 50.0f);
  EXPECT_EQ(packed(record(spectrum).FinalPeakPos), 2u);
  EXPECT_EQ(values(spectrum), (std::vector<float>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(destroy(spectrum), 1u);
}

// ---------------------------------------------------------------------------
// Marking grid points inside an interval (229)

struct GridCase {
  const char* name;
  double x1;
  double x2;
  uint32_t count;
  float low;
  float high;
  uint32_t result;
  std::vector<uint8_t> mask;
};

class MarkGrid : public Axis, public testing::WithParamInterface<GridCase> {};

// Eleven points at X 0, 1, ..., 10; the mask starts as sevens.
TEST_P(MarkGrid, MarksThePointsStrictlyBetweenLowAndHigh) {
  const GridCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_ramp(11, 0.0f, 10.0f);
  std::vector<uint8_t> mask(c.mask.size(), 7);
  AP7_GRIDPARM parameter{c.x1, c.x2, mask.data(), c.count, c.low, c.high};
  EXPECT_EQ(send(AP7_MSG_MARK_GRID_INTERVAL, spectrum, &parameter), c.result);
  EXPECT_EQ(mask, c.mask);
  EXPECT_EQ(destroy(spectrum), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, MarkGrid,
    testing::Values(GridCase{"inside", 2.0, 6.0, 5, 2.5f, 5.5f, 1, {7, 2, 2, 2, 7}},
                    GridCase{"reversed", 6.0, 2.0, 5, 2.5f, 5.5f, 1, {7, 2, 2, 2, 7}},
                    GridCase{"one_point", 2.0, 6.0, 1, 0.0f, 10.0f, 0, {7}},
                    // The grid step 3.5 gives a half width 1.75: 10 + 1.75 does not reach 12.
                    GridCase{"past_the_end", 5.0, 12.0, 3, 0.0f, 20.0f, 0, {7, 7, 7}},
                    // A step finer than the spacing 1: the half width is 1 / 1.95.
                    GridCase{"fine_within", -0.4, 0.6, 3, -1.0f, 1.0f, 1, {2, 2, 2}},
                    GridCase{"fine_beyond", -0.6, 0.4, 3, -1.0f, 1.0f, 0, {7, 7, 7}}),
    [](const testing::TestParamInfo<GridCase>& info) { return std::string(info.param.name); });

}  // namespace
