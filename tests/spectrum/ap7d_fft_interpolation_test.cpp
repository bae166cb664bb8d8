#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/fft_reference_values.h"
#include "spectrum/spectrum_fixture.h"
#include "spectrum/title_prefixes.h"

namespace {

using namespace spectrumtest;

// Single-precision transforms of up to 64 points against numpy's double
// precision.
constexpr float kTolerance = 2e-5f;

class FFTInterpolation : public SpectrumTest {
 protected:
  static AP7_SPECTRUM* interpolate(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing) {
    AP7_SPACINGPARM parameter{x1, x2, spacing};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_INTERPOLATE_BY_FFT, spectrum, &parameter));
  }
};

void expect_near(const std::vector<float>& actual, const std::vector<float>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    if (std::isnan(expected[i]))
      EXPECT_TRUE(std::isnan(actual[i])) << "point " << i;
    else
      EXPECT_NEAR(actual[i], expected[i], kTolerance * std::max(1.0f, std::fabs(expected[i]))) << "point " << i;
  }
}

struct ReferenceCase {
  const char* name;
  std::vector<float> source;
  float target;
  float spacing;
  std::vector<float> expected;
};

template <size_t N, size_t M>
ReferenceCase reference(const char* name, const float (&source)[N], float target, float spacing,
                        const float (&expected)[M]) {
  return {name, {std::begin(source), std::end(source)}, target, spacing, {std::begin(expected), std::end(expected)}};
}

class FFTReferences : public FFTInterpolation, public testing::WithParamInterface<ReferenceCase> {};

TEST_P(FFTReferences, MatchTheNumpyTransform) {
  const ReferenceCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_axis(0.0f, static_cast<float>(c.source.size() - 1), c.source);
  record(spectrum).x_units = 1;
  record(spectrum).y_units = 17;
  AP7_SPECTRUM* result = interpolate(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, c.target);
  ASSERT_NE(result, nullptr);
  const uint32_t points = record(result).points;
  const float first_x = record(result).first_x;
  const float last_x = record(result).last_x;
  const uint32_t x_units = record(result).x_units;
  const uint32_t y_units = record(result).y_units;
  EXPECT_EQ(points, c.expected.size());
  EXPECT_FLOAT_EQ(first_x, 0.0f);
  EXPECT_FLOAT_EQ(last_x, c.spacing * static_cast<float>(c.expected.size() - 1));
  EXPECT_EQ(x_units, 1u);
  EXPECT_EQ(y_units, 17u);
  expect_near(values(result), c.expected);
  expect_near(values(spectrum), c.source);
  destroy(result);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FFTReferences,
    testing::Values(reference("Refined", fft_reference::refined_source, fft_reference::refined_target,
                              fft_reference::refined_spacing, fft_reference::refined_values),
                    reference("Coarsened", fft_reference::coarsened_source, fft_reference::coarsened_target,
                              fft_reference::coarsened_spacing, fft_reference::coarsened_values),
                    reference("CoarsenedShort", fft_reference::coarsened_short_source,
                              fft_reference::coarsened_short_target, fft_reference::coarsened_short_spacing,
                              fft_reference::coarsened_short_values),
                    reference("RefinedTwice", fft_reference::refined_twice_source, fft_reference::refined_twice_target,
                              fft_reference::refined_twice_spacing, fft_reference::refined_twice_values),
                    reference("KeepsTheMissingRun", fft_reference::gap_source, fft_reference::gap_target,
                              fft_reference::gap_spacing, fft_reference::gap_values)),
    [](const testing::TestParamInfo<ReferenceCase>& info) { return info.param.name; });

// Zero filling interpolates: the old points come back unchanged.
TEST_F(FFTInterpolation, RefinementKeepsTheOldPoints) {
  const std::vector<float> y = {5.0f, 1.0f, 4.0f, 4.0f, 2.0f, 8.0f, 0.0f, 3.0f, 7.0f, 6.0f};
  AP7_SPECTRUM* spectrum = make_axis(100.0f, 118.0f, y);
  AP7_SPECTRUM* result = interpolate(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, 1.0f);
  ASSERT_NE(result, nullptr);
  const std::vector<float> fine = values(result);
  ASSERT_EQ(fine.size(), 19u);
  for (size_t i = 0; i < y.size(); ++i) EXPECT_NEAR(fine[2 * i], y[i], 1e-4f) << "point " << i;
  destroy(result);
  destroy(spectrum);
}

// A target within ten per cent of the spacing gives the cut itself, through
// a transform and back.
TEST_F(FFTInterpolation, WithinTheToleranceOnlyCuts) {
  add_title_prefixes();
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 8.0f, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  std::strcpy(record(spectrum).title, "sample");
  AP7_SPECTRUM* result = interpolate(spectrum, 2.0f, 5.0f, 0.95f);
  ASSERT_NE(result, nullptr);
  const float first_x = record(result).first_x;
  const float last_x = record(result).last_x;
  EXPECT_FLOAT_EQ(first_x, 2.0f);
  EXPECT_FLOAT_EQ(last_x, 5.0f);
  expect_near(values(result), {3, 4, 5, 6});
  EXPECT_STREQ(record(result).title, "Interpolated: sample");
  destroy(result);
  destroy(spectrum);
}

// An axis running downward is walked by the size of its spacing and keeps
// its direction; the values are those of the same data on a rising axis.
TEST_F(FFTInterpolation, FallingAxisKeepsItsDirection) {
  const std::vector<float> y(std::begin(fft_reference::refined_source), std::end(fft_reference::refined_source));
  AP7_SPECTRUM* spectrum = make_axis(11.0f, 0.0f, y);
  AP7_SPECTRUM* result = interpolate(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, 0.5f);
  ASSERT_NE(result, nullptr);
  const float first_x = record(result).first_x;
  const float last_x = record(result).last_x;
  EXPECT_FLOAT_EQ(first_x, 11.0f);
  EXPECT_FLOAT_EQ(last_x, 0.0f);
  expect_near(values(result), {std::begin(fft_reference::refined_values), std::end(fft_reference::refined_values)});
  destroy(result);
  destroy(spectrum);
}

struct RefusedCase {
  const char* name;
  float first_x;
  float last_x;
  uint32_t points;
  float x1;
  float x2;
  float spacing;
};

class FFTRefused : public FFTInterpolation, public testing::WithParamInterface<RefusedCase> {};

TEST_P(FFTRefused, MakesNothing) {
  const RefusedCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_ramp(c.points, c.first_x, c.last_x);
  const auto before = live_counts();
  EXPECT_EQ(interpolate(spectrum, c.x1, c.x2, c.spacing), nullptr);
  EXPECT_EQ(live_counts(), before);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FFTRefused,
    testing::Values(RefusedCase{"ZeroTarget", 0.0f, 4.0f, 5, AP_NOT_GIVEN, AP_NOT_GIVEN, 0.0f},
                    RefusedCase{"NegativeTarget", 0.0f, 4.0f, 5, AP_NOT_GIVEN, AP_NOT_GIVEN, -1.0f},
                    RefusedCase{"TargetNotANumber", 0.0f, 4.0f, 5, AP_NOT_GIVEN, AP_NOT_GIVEN, NAN},
                    RefusedCase{"InfiniteTarget", 0.0f, 4.0f, 5, AP_NOT_GIVEN, AP_NOT_GIVEN, INFINITY},
                    RefusedCase{"ZeroSpacing", 3.0f, 3.0f, 5, AP_NOT_GIVEN, AP_NOT_GIVEN, 1.0f},
                    RefusedCase{"RangeOutsideTheData", 0.0f, 4.0f, 5, 10.0f, 20.0f, 0.5f},
                    RefusedCase{"OnePointCut", 0.0f, 4.0f, 5, 2.0f, 2.0f, 0.5f},
                    RefusedCase{"TooCoarseForTheTransform", 0.0f, 4.0f, 5, AP_NOT_GIVEN, AP_NOT_GIVEN, 100.0f},
                    RefusedCase{"TooFineForTheTransform", 0.0f, 4.0f, 5, AP_NOT_GIVEN, AP_NOT_GIVEN, 1e-30f}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

}  // namespace
