#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class Regrid : public SpectrumTest {
 protected:
  static AP7_SPECTRUM* regrid(uint16_t message, AP7_SPECTRUM* spectrum, float x1, float x2, float spacing) {
    AP7_SPACINGPARM parameter{x1, x2, spacing};
    return ap_result_object<AP7_SPECTRUM>(send(message, spectrum, &parameter));
  }
  static AP7_SPECTRUM* shift(uint16_t message, AP7_SPECTRUM* spectrum, float dx) {
    AP7_SHIFTPARM parameter{dx};
    return ap_result_object<AP7_SPECTRUM>(send(message, spectrum, &parameter));
  }
  static bool interpolated(AP7_SPECTRUM* spectrum) {
    return ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_INTERPOLATED) != 0;
  }
  // n points over first..last holding y = a + b·x.
  static AP7_SPECTRUM* line(uint32_t n, float first_x, float last_x, float a, float b) {
    std::vector<float> y(n);
    const double spacing = (double{last_x} - first_x) / (n - 1);
    for (uint32_t i = 0; i < n; ++i) y[i] = static_cast<float>(a + b * (first_x + i * spacing));
    return make_axis(first_x, last_x, y);
  }
};

struct Axis {
  uint32_t points;
  float first_x;
  float last_x;
};

Axis axis_of(AP7_SPECTRUM* spectrum) { return {record(spectrum).points, record(spectrum).first_x, record(spectrum).last_x}; }

void expect_axis(AP7_SPECTRUM* spectrum, uint32_t points, float first_x, float last_x) {
  const Axis axis = axis_of(spectrum);
  EXPECT_EQ(axis.points, points);
  EXPECT_FLOAT_EQ(axis.first_x, first_x);
  EXPECT_FLOAT_EQ(axis.last_x, last_x);
}

void expect_values(const std::vector<float>& actual, const std::vector<float>& expected, float tolerance) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << "point " << i;
}

// A natural spline through a straight line is the line itself.
TEST_F(Regrid, OntoSpacingFourGives901Points) {
  AP7_SPECTRUM* spectrum = line(361, 400.0f, 4000.0f, 2.0f, 0.01f);
  for (const auto& [x1, x2] : {std::pair{400.0f, 4000.0f}, std::pair{4000.0f, 400.0f}}) {
    AP7_SPECTRUM* result = regrid(AP7_MSG_RANGE_TRANSFORM, spectrum, x1, x2, 4.0f);
    ASSERT_NE(result, nullptr);
    expect_axis(result, 901, 400.0f, 4000.0f);
    EXPECT_TRUE(interpolated(result));
    const std::vector<float> y = values(result);
    for (size_t i = 0; i < y.size(); ++i) EXPECT_NEAR(y[i], 2.0f + 0.01f * (400.0f + 4.0f * i), 1e-4f) << i;
    destroy(result);
  }
  expect_axis(spectrum, 361, 400.0f, 4000.0f);
  EXPECT_FALSE(interpolated(spectrum));
  destroy(spectrum);
}

// Beyond the data the grid meets copies of the end values: three below the
// start (at -3, -2, -1) and one past the end (at 11). The new points on the
// old ones take their values.
TEST_F(Regrid, ContinuesTheDataWithTheirEndValues) {
  AP7_SPECTRUM* spectrum = line(11, 0.0f, 10.0f, 0.0f, 1.0f);
  AP7_SPECTRUM* result = regrid(AP7_MSG_RANGE_TRANSFORM, spectrum, -2.5f, 12.0f, 0.5f);
  ASSERT_NE(result, nullptr);
  expect_axis(result, 30, -2.5f, 12.0f);
  const std::vector<float> y = values(result);
  EXPECT_NEAR(y[1], 0.0f, 1e-5f);    // x = -2
  EXPECT_NEAR(y[15], 5.0f, 1e-5f);   // x = 5
  EXPECT_NEAR(y[27], 10.0f, 1e-5f);  // x = 11
  destroy(result);
  destroy(spectrum);
}

// A falling axis is sampled as the same data on a rising one.
TEST_F(Regrid, FallingAxisGivesARisingGrid) {
  AP7_SPECTRUM* spectrum = line(11, 10.0f, 0.0f, 0.0f, 1.0f);
  AP7_SPECTRUM* result = regrid(AP7_MSG_RANGE_TRANSFORM, spectrum, 0.0f, 10.0f, 2.5f);
  ASSERT_NE(result, nullptr);
  expect_axis(result, 5, 0.0f, 10.0f);
  expect_values(values(result), {0.0f, 2.5f, 5.0f, 7.5f, 10.0f}, 1e-5f);
  expect_axis(spectrum, 11, 10.0f, 0.0f);
  destroy(result);
  destroy(spectrum);
}

// From the clipped start 3 the grid of spacing 2 stays inside the data (3,
// 5, 7, 9) and is continued with copies of its last value up to the nine
// points of 2.5 to 20.
TEST_F(Regrid, InsideTheDataContinuesWithTheLastValue) {
  AP7_SPECTRUM* spectrum = line(11, 0.0f, 10.0f, 0.0f, 1.0f);
  AP7_SPECTRUM* result = regrid(AP7_MSG_RANGE_TRANSFORM_INSIDE, spectrum, 20.0f, 2.5f, 2.0f);
  ASSERT_NE(result, nullptr);
  expect_axis(result, 9, 3.0f, 19.0f);
  EXPECT_TRUE(interpolated(result));
  expect_values(values(result), {3, 5, 7, 9, 9, 9, 9, 9, 9}, 1e-5f);
  destroy(result);
  destroy(spectrum);
}

struct RefusedCase {
  const char* name;
  uint16_t message;
  uint32_t points;
  float first_x;
  float last_x;
  float x1;
  float x2;
  float spacing;
};

class RegridRefused : public Regrid, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RegridRefused, MakesNothing) {
  const RefusedCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_ramp(c.points, c.first_x, c.last_x);
  const auto before = live_counts();
  EXPECT_EQ(regrid(c.message, spectrum, c.x1, c.x2, c.spacing), nullptr);
  EXPECT_EQ(live_counts(), before);
  expect_axis(spectrum, c.points, c.first_x, c.last_x);
  destroy(spectrum);
}

constexpr uint16_t kAround = AP7_MSG_RANGE_TRANSFORM;
constexpr uint16_t kInside = AP7_MSG_RANGE_TRANSFORM_INSIDE;

INSTANTIATE_TEST_SUITE_P(
    Cases, RegridRefused,
    testing::Values(RefusedCase{"ZeroSpacing", kAround, 11, 0.0f, 10.0f, 0.0f, 10.0f, 0.0f},
                    RefusedCase{"NegativeSpacing", kAround, 11, 0.0f, 10.0f, 0.0f, 10.0f, -1.0f},
                    RefusedCase{"SpacingNotANumber", kAround, 11, 0.0f, 10.0f, 0.0f, 10.0f, NAN},
                    RefusedCase{"InfiniteSpacing", kAround, 11, 0.0f, 10.0f, 0.0f, 10.0f, INFINITY},
                    RefusedCase{"LimitNotANumber", kAround, 11, 0.0f, 10.0f, NAN, 10.0f, 1.0f},
                    RefusedCase{"RangeOutsideTheData", kAround, 11, 0.0f, 10.0f, 20.0f, 30.0f, 1.0f},
                    RefusedCase{"TooManyPoints", kAround, 11, 0.0f, 10.0f, 0.0f, 10.0f, 1e-5f},
                    RefusedCase{"ZeroDataSpacing", kAround, 11, 5.0f, 5.0f, 0.0f, 10.0f, 1.0f},
                    RefusedCase{"OnePoint", kAround, 1, 5.0f, 5.0f, 0.0f, 10.0f, 1.0f},
                    RefusedCase{"InsideZeroSpacing", kInside, 11, 0.0f, 10.0f, 0.0f, 10.0f, 0.0f},
                    RefusedCase{"InsideSpacingNotANumber", kInside, 11, 0.0f, 10.0f, 0.0f, 10.0f, NAN},
                    RefusedCase{"InsideRangeOutsideTheData", kInside, 11, 0.0f, 10.0f, -30.0f, -20.0f, 1.0f},
                    RefusedCase{"InsideNarrowerThanASpacing", kInside, 11, 0.0f, 10.0f, 2.0f, 3.0f, 2.0f},
                    RefusedCase{"InsideGridEndsAtItsStart", kInside, 11, 0.0f, 10.0f, 9.6f, 20.0f, 2.0f},
                    RefusedCase{"InsideZeroDataSpacing", kInside, 11, 5.0f, 5.0f, 0.0f, 10.0f, 1.0f}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

// Shifted by two spacings, the old grid meets the moved points: the first
// three old points lie below the moved data and take its first value.
TEST_F(Regrid, ShiftMovesTheAxisAndSamplesTheOldGrid) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 10.0f, {0, 1, 4, 9, 16, 25, 36, 49, 64, 81, 100});
  record(spectrum).p44 = 50.0f;
  AP7_SPECTRUM* result = shift(AP7_MSG_SHIFT_X_AXIS, spectrum, 2.0f);
  ASSERT_NE(result, nullptr);
  expect_axis(spectrum, 11, 2.0f, 12.0f);
  const float laser_line = record(spectrum).p44;
  EXPECT_FLOAT_EQ(laser_line, 52.0f);
  expect_axis(result, 11, 0.0f, 10.0f);
  expect_values(values(result), {0, 0, 0, 1, 4, 9, 16, 25, 36, 49, 64}, 1e-4f);
  destroy(result);
  destroy(spectrum);
}

TEST_F(Regrid, ShiftOfAFallingAxisGivesARisingGrid) {
  AP7_SPECTRUM* spectrum = make_axis(10.0f, 0.0f, {0, 1, 4, 9, 16, 25, 36, 49, 64, 81, 100});
  AP7_SPECTRUM* result = AP7_ShiftXAxis_SPECTRUM(spectrum, 2.0f);
  ASSERT_NE(result, nullptr);
  expect_axis(spectrum, 11, 12.0f, 2.0f);
  expect_axis(result, 11, 0.0f, 10.0f);
  expect_values(values(result), {100, 100, 100, 81, 64, 49, 36, 25, 16, 9, 4}, 1e-4f);
  destroy(result);
  destroy(spectrum);
}

// A shift that leaves the old range outside the data, or is no number,
// leaves the axis where it was.
TEST_F(Regrid, FailedShiftKeepsTheAxis) {
  AP7_SPECTRUM* spectrum = make_ramp(11, 0.0f, 10.0f);
  record(spectrum).p44 = 50.0f;
  const auto before = live_counts();
  for (float dx : {1e7f, NAN, INFINITY}) {
    EXPECT_EQ(shift(AP7_MSG_SHIFT_X_AXIS, spectrum, dx), nullptr);
    EXPECT_EQ(shift(AP7_MSG_SHIFT_X_EXACT, spectrum, dx == 1e7f ? NAN : dx), nullptr);
  }
  EXPECT_EQ(live_counts(), before);
  expect_axis(spectrum, 11, 0.0f, 10.0f);
  const float laser_line = record(spectrum).p44;
  EXPECT_FLOAT_EQ(laser_line, 50.0f);
  destroy(spectrum);
}

struct ExactCase {
  const char* name;
  float spacing;
  float steps;  // dx in spacings
  uint32_t x_units;
  float laser_line;
  float moved;  // the axis moves by this
  float laser_moved;
};

class ExactShift : public Regrid, public testing::WithParamInterface<ExactCase> {};

TEST_P(ExactShift, MovesACopyByWholeSpacings) {
  const ExactCase& c = GetParam();
  const float last_x = 10.0f * c.spacing;
  AP7_SPECTRUM* spectrum = make_ramp(11, 0.0f, last_x);
  record(spectrum).x_units = c.x_units;
  record(spectrum).p44 = c.laser_line;
  AP7_SPECTRUM* result = shift(AP7_MSG_SHIFT_X_EXACT, spectrum, c.steps * c.spacing);
  ASSERT_NE(result, nullptr);
  expect_axis(result, 11, c.moved, last_x + c.moved);
  const float laser_line = record(result).p44;
  if (std::isnan(c.laser_line))
    EXPECT_TRUE(std::isnan(laser_line));
  else
    EXPECT_FLOAT_EQ(laser_line, c.laser_line + c.laser_moved);
  EXPECT_EQ(values(result), values(spectrum));
  expect_axis(spectrum, 11, 0.0f, last_x);
  destroy(result);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExactShift,
    testing::Values(ExactCase{"OnePointFourSpacingsMoveOne", 2.0f, 1.4f, 1, 50.0f, 2.0f, 2.0f},
                    ExactCase{"OnePointSixSpacingsMoveTwo", 2.0f, 1.6f, 1, 50.0f, 4.0f, 4.0f},
                    ExactCase{"MinusOnePointThreeMoveNone", 2.0f, -1.3f, 1, 50.0f, 0.0f, 0.0f},
                    ExactCase{"MinusTwoPointFourMoveMinusOne", 2.0f, -2.4f, 1, 50.0f, -2.0f, -2.0f},
                    ExactCase{"RamanLaserLineMovesAgainst", 1.0f, 5.0f, 32, 50.0f, 5.0f, -5.0f},
                    ExactCase{"LaserLineNotSetStays", 1.0f, 5.0f, 1, NAN, 5.0f, 0.0f}),
    [](const testing::TestParamInfo<ExactCase>& info) { return info.param.name; });

}  // namespace
