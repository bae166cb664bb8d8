#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

constexpr float kNaN = NAN;

class Subdivision : public SpectrumTest {
 protected:
  static AP7_SPECTRUM* interpolate(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing) {
    AP7_SPACINGPARM parameter{x1, x2, spacing};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_INTERPOLATE_BY_SUBDIVISION, spectrum, &parameter));
  }
};

void expect_values(const std::vector<float>& actual, const std::vector<float>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    if (std::isnan(expected[i]))
      EXPECT_TRUE(std::isnan(actual[i])) << "point " << i;
    else
      EXPECT_FLOAT_EQ(actual[i], expected[i]) << "point " << i;
  }
}

struct SpacingCase {
  const char* name;
  float first_x;
  float last_x;
  std::vector<float> y;
  uint32_t x_units;
  float laser_line;
  float x1;
  float x2;
  float spacing;
  float new_first_x;
  float new_last_x;
  std::vector<float> expected;
};

class SubdivisionCases : public Subdivision, public testing::WithParamInterface<SpacingCase> {};

TEST_P(SubdivisionCases, ReachesTheTargetSpacing) {
  const SpacingCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_axis(c.first_x, c.last_x, c.y);
  record(spectrum).x_units = c.x_units;
  record(spectrum).p44 = c.laser_line;
  record(spectrum).y_units = 17;
  AP7_SPECTRUM* result = interpolate(spectrum, c.x1, c.x2, c.spacing);
  ASSERT_NE(result, nullptr);
  // Packed header fields are read by value.
  const uint32_t points = record(result).points;
  const float first_x = record(result).first_x;
  const float last_x = record(result).last_x;
  const uint32_t x_units = record(result).x_units;
  const uint32_t y_units = record(result).y_units;
  EXPECT_EQ(points, c.expected.size());
  EXPECT_FLOAT_EQ(first_x, c.new_first_x);
  EXPECT_FLOAT_EQ(last_x, c.new_last_x);
  EXPECT_EQ(x_units, c.x_units);
  EXPECT_EQ(y_units, 17u);
  expect_values(values(result), c.expected);
  // The source keeps its data.
  expect_values(values(spectrum), c.y);
  destroy(result);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SubdivisionCases,
    testing::Values(
        // One halving of two points: the new middle point is their mean.
        SpacingCase{"TwoPointsHalvedOnce", 0.0f, 1.0f, {2.0f, 4.0f}, 1, 0.0f, 0.0f, 1.0f, 0.5f, 0.0f, 1.0f,
                    {2.0f, 3.0f, 4.0f}},
        // y = x³: the inner new point takes the cubic's value at 1.5,
        // (9·(1 + 8) − (0 + 27))/16; the outer new points the means.
        SpacingCase{"FourPointRuleInside", 0.0f, 3.0f, {0.0f, 1.0f, 8.0f, 27.0f}, 1, 0.0f, 0.0f, 3.0f, 0.5f, 0.0f, 3.0f,
                    {0.0f, 0.5f, 1.0f, 3.375f, 8.0f, 17.5f, 27.0f}},
        // Two halvings reach a quarter of the spacing.
        SpacingCase{"HalvedTwice", 0.0f, 1.0f, {0.0f, 4.0f}, 1, 0.0f, 0.0f, 1.0f, 0.25f, 0.0f, 1.0f,
                    {0.0f, 1.0f, 2.0f, 3.0f, 4.0f}},
        // Doubling keeps the points on even multiples of the spacing.
        SpacingCase{"DoubledOnTheGrid", 0.0f, 8.0f, {1, 2, 3, 4, 5, 6, 7, 8, 9}, 1, 0.0f, 0.0f, 8.0f, 2.0f, 0.0f, 8.0f,
                    {1, 3, 5, 7, 9}},
        SpacingCase{"DoubledDropsOddEnds", 1.0f, 9.0f, {1, 2, 3, 4, 5, 6, 7, 8, 9}, 1, 0.0f, 1.0f, 9.0f, 2.0f, 2.0f,
                    8.0f, {2, 4, 6, 8}},
        // Raman shifts count the grid from the laser line at 9.
        SpacingCase{"DoubledFromTheLaserLine", 0.0f, 8.0f, {1, 2, 3, 4, 5, 6, 7, 8, 9}, 32, 9.0f, 0.0f, 8.0f, 2.0f,
                    1.0f, 7.0f, {2, 4, 6, 8}},
        // Within ten per cent of the spacing: a plain cut.
        SpacingCase{"WithinTheToleranceOnlyCuts", 0.0f, 8.0f, {1, 2, 3, 4, 5, 6, 7, 8, 9}, 1, 0.0f, 2.0f, 5.0f, 1.05f,
                    2.0f, 5.0f, {3, 4, 5, 6}},
        // The run of missing values at X 4 stays missing between its
        // neighbours 3 and 5; the points around it are interpolated from
        // the line that bridged it.
        SpacingCase{"KeepsTheMissingRun", 0.0f, 4.0f, {0.0f, 1.0f, kNaN, 3.0f, 4.0f}, 1, 0.0f, 0.0f, 4.0f, 0.5f, 0.0f,
                    4.0f, {0.0f, 0.5f, 1.0f, kNaN, kNaN, kNaN, 3.0f, 3.5f, 4.0f}}),
    [](const testing::TestParamInfo<SpacingCase>& info) { return info.param.name; });

struct RefusedCase {
  const char* name;
  float first_x;
  float last_x;
  uint32_t x_units;
  float spacing;
};

class SubdivisionRefused : public Subdivision, public testing::WithParamInterface<RefusedCase> {};

TEST_P(SubdivisionRefused, MakesNothing) {
  const RefusedCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_ramp(5, c.first_x, c.last_x);
  record(spectrum).x_units = c.x_units;
  const auto before = live_counts();
  EXPECT_EQ(interpolate(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, c.spacing), nullptr);
  EXPECT_EQ(live_counts(), before);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(Cases, SubdivisionRefused,
                         testing::Values(RefusedCase{"ZeroSpacing", 0.0f, 4.0f, 1, 0.0f},
                                         RefusedCase{"NegativeSpacing", 0.0f, 4.0f, 1, -1.0f},
                                         RefusedCase{"SpacingNotANumber", 0.0f, 4.0f, 1, NAN},
                                         RefusedCase{"InfiniteSpacing", 0.0f, 4.0f, 1, INFINITY},
                                         RefusedCase{"FallingAxis", 4.0f, 0.0f, 1, 2.0f},
                                         RefusedCase{"AxisOfDataPoints", 0.0f, 4.0f, 2, 2.0f},
                                         RefusedCase{"TooCoarseForTwoPoints", 0.0f, 4.0f, 1, 100.0f},
                                         RefusedCase{"TooFineToHold", 0.0f, 4.0f, 1, 1e-30f}),
                         [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

struct TitleCase {
  const char* name;
  std::string title;
  std::string text;
  uint16_t result;
  std::string expected;
};

class PrependTitle : public SpectrumTest, public testing::WithParamInterface<TitleCase> {};

TEST_P(PrependTitle, PutsTheTextInFront) {
  const TitleCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make(2);
  std::memset(record(spectrum).title, 0, sizeof record(spectrum).title);
  std::memcpy(record(spectrum).title, c.title.c_str(), c.title.size());
  EXPECT_EQ(ap7d_PrependTitle(spectrum, c.text.c_str()), c.result);
  EXPECT_EQ(std::string(record(spectrum).title), c.expected);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrependTitle,
    testing::Values(TitleCase{"Short", "sample", "Fine: ", 1, "Fine: sample"},
                    TitleCase{"LongTitleIsCut", std::string(255, 't'), "ab", 1, "ab" + std::string(253, 't')},
                    TitleCase{"TextTooLongLeavesTheTitle", "sample", std::string(256, 'x'), 0, "sample"},
                    TitleCase{"EmptyBoth", "", "", 0, ""}),
    [](const testing::TestParamInfo<TitleCase>& info) { return info.param.name; });

}  // namespace
