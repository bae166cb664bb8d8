#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"
#include "spectrum/title_prefixes.h"

namespace {

using namespace spectrumtest;

// A triangle band of height h whose sides fall to 0 at ±w from x0: its
// width at half height is exactly w, and every half-height crossing lies on
// a straight side.
std::vector<float> triangle(uint32_t n, double first_x, double spacing, double x0, double w, double h) {
  std::vector<float> y(n);
  for (uint32_t i = 0; i < n; ++i) {
    const double x = first_x + i * spacing;
    y[i] = static_cast<float>(h * std::max(0.0, 1.0 - std::fabs(x - x0) / w));
  }
  return y;
}

class PeakWidth : public SpectrumTest {
 protected:
  static uint32_t width_of(AP7_SPECTRUM* spectrum, float x1, float x2, float* width) {
    AP7_STATPARM parameter{x1, x2, width};
    return send(AP7_MSG_PEAK_HALF_WIDTH, spectrum, &parameter);
  }
};

struct WidthCase {
  const char* name;
  uint32_t y_units;  // 17 peaks up, 16 peaks down
  double spacing;
  double width;
};

class PeakWidthCases : public PeakWidth, public testing::WithParamInterface<WidthCase> {};

TEST_P(PeakWidthCases, IsTheTriangleWidthInXUnits) {
  const WidthCase& c = GetParam();
  const uint32_t n = 101;
  std::vector<float> y = triangle(n, 400.0, c.spacing, 400.0 + 50 * c.spacing, c.width, 1.0);
  // Downward peaks dip from 100 %T.
  if (c.y_units == 16)
    for (float& v : y) v = 100.0f - 50.0f * v;
  AP7_SPECTRUM* spectrum = make_axis(400.0f, static_cast<float>(400.0 + (n - 1) * c.spacing), y);
  record(spectrum).y_units = c.y_units;
  float width = 0.0f;
  EXPECT_EQ(width_of(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, &width), 1u);
  EXPECT_NEAR(width, c.width, 1e-4 * c.width);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(Bands, PeakWidthCases,
                         testing::Values(WidthCase{"TenPointsAt1928", 17, 1.928, 19.28},
                                         WidthCase{"SevenAndAHalfPoints", 17, 2.0, 15.0},
                                         WidthCase{"DownwardInTransmittance", 16, 1.928, 19.28}),
                         [](const testing::TestParamInfo<WidthCase>& info) { return info.param.name; });

// A Gaussian of standard deviation σ has the width 2·sqrt(2 ln 2)·σ; the
// linear interpolation between points comes within a small share of it.
TEST_F(PeakWidth, GaussianComesNearItsClosedForm) {
  const double sigma = 8.0;
  std::vector<float> y(201);
  for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<float>(std::exp(-0.5 * std::pow((i - 100.0) / sigma, 2)));
  AP7_SPECTRUM* spectrum = make_axis(1000.0f, 1200.0f, y);
  record(spectrum).y_units = 17;
  float width = 0.0f;
  EXPECT_EQ(width_of(spectrum, 1050.0f, 1150.0f, &width), 1u);
  EXPECT_NEAR(width, 2.0 * std::sqrt(2.0 * std::log(2.0)) * sigma, 0.02);
  destroy(spectrum);
}

TEST_F(PeakWidth, FallingAxisGivesAPositiveWidth) {
  std::vector<float> y = triangle(101, 0.0, 1.0, 50.0, 12.0, 2.0);
  AP7_SPECTRUM* spectrum = make_axis(4000.0f, 3800.0f, y);
  record(spectrum).y_units = 17;
  float width = 0.0f;
  EXPECT_EQ(width_of(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, &width), 1u);
  EXPECT_NEAR(width, 24.0, 1e-3);
  destroy(spectrum);
}

TEST_F(PeakWidth, RegionMissingTheDataOrNaNLimitsFail) {
  AP7_SPECTRUM* spectrum = make_axis(400.0f, 500.0f, triangle(101, 400.0, 1.0, 450.0, 10.0, 1.0));
  float width = -1.0f;
  EXPECT_EQ(width_of(spectrum, 600.0f, 700.0f, &width), 0u);
  EXPECT_EQ(width_of(spectrum, NAN, 450.0f, &width), 0u);
  EXPECT_EQ(width_of(spectrum, 400.0f, 500.0f, nullptr), 0u);
  destroy(spectrum);
}

// ---------------------------------------------------------------------------

class PeakList : public SpectrumTest {
 protected:
  struct Found {
    uint32_t result;
    float peak;
    float left;
    float right;
  };
  static Found list(AP7_SPECTRUM* spectrum, float x, float x1, float x2) {
    Found found{0, NAN, NAN, NAN};
    AP7_PEAKLISTPARM parameter{x, x1, x2, 95.0f, 75.0f, &found.peak, &found.left, &found.right};
    found.result = send(AP7_MSG_PEAK_LIST_IN_RANGE, spectrum, &parameter);
    return found;
  }
};

// Two triangle bands on a low floor, apexes at 430 and 470, the floor lowest
// at 450 between them and at the ends.
std::vector<float> two_bands() {
  std::vector<float> a = triangle(101, 400.0, 1.0, 430.0, 15.0, 1.0);
  std::vector<float> b = triangle(101, 400.0, 1.0, 470.0, 15.0, 2.0);
  std::vector<float> y(101);
  for (size_t i = 0; i < y.size(); ++i) y[i] = a[i] + b[i] + 0.01f * std::fabs(static_cast<float>(i) - 50.0f) / 50.0f;
  y[50] = 0.0f;
  return y;
}

TEST_F(PeakList, FindsThePeakNearestTheReferenceAndItsValleys) {
  AP7_SPECTRUM* spectrum = make_axis(400.0f, 500.0f, two_bands());
  record(spectrum).y_units = 17;
  const Found near_first = list(spectrum, 428.0f, 400.0f, 500.0f);
  EXPECT_EQ(near_first.result, 1u);
  EXPECT_FLOAT_EQ(near_first.peak, 430.0f);
  EXPECT_FLOAT_EQ(near_first.right, 450.0f);
  EXPECT_LT(near_first.left, 416.0f);
  const Found near_second = list(spectrum, 475.0f, 500.0f, 400.0f);
  EXPECT_EQ(near_second.result, 1u);
  EXPECT_FLOAT_EQ(near_second.peak, 470.0f);
  EXPECT_FLOAT_EQ(near_second.left, 450.0f);
  destroy(spectrum);
}

TEST_F(PeakList, ReferenceOutsideTheRangeOrNaNFails) {
  AP7_SPECTRUM* spectrum = make_axis(400.0f, 500.0f, two_bands());
  record(spectrum).y_units = 17;
  EXPECT_EQ(list(spectrum, 480.0f, 400.0f, 460.0f).result, 0u);
  EXPECT_EQ(list(spectrum, NAN, 400.0f, 500.0f).result, 0u);
  destroy(spectrum);
}

// ---------------------------------------------------------------------------

class SpacingChange : public SpectrumTest {
 protected:
  void SetUp() override {
    SpectrumTest::SetUp();
    add_title_prefixes();
  }
  static AP7_SPECTRUM* change(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing) {
    AP7_SPACINGPARM parameter{x1, x2, spacing};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_CHANGE_SPACING, spectrum, &parameter));
  }
  // A straight line y = x / 10 over 400..440 at spacing 2: every regrid and
  // subdivision reproduces a line exactly.
  static AP7_SPECTRUM* line() {
    std::vector<float> y(21);
    for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<float>((400.0 + 2.0 * i) / 10.0);
    AP7_SPECTRUM* spectrum = make_axis(400.0f, 440.0f, y);
    std::strcpy(record(spectrum).title, "line");
    return spectrum;
  }
};

struct SpacingCase {
  const char* name;
  float x1;
  float x2;
  float spacing;
  float first_x;
  float last_x;
  uint32_t points;
};

class SpacingChangeCases : public SpacingChange, public testing::WithParamInterface<SpacingCase> {};

TEST_P(SpacingChangeCases, KeepsTheLineOnTheNewGrid) {
  const SpacingCase& c = GetParam();
  AP7_SPECTRUM* spectrum = line();
  AP7_SPECTRUM* result = change(spectrum, c.x1, c.x2, c.spacing);
  ASSERT_NE(result, nullptr);
  const uint32_t points = record(result).points;
  const float first_x = record(result).first_x;
  const float last_x = record(result).last_x;
  EXPECT_EQ(points, c.points);
  EXPECT_FLOAT_EQ(first_x, c.first_x);
  EXPECT_FLOAT_EQ(last_x, c.last_x);
  const std::vector<float> y = values(result);
  ASSERT_EQ(y.size(), c.points);
  for (size_t i = 0; i < y.size(); ++i) EXPECT_NEAR(y[i], (c.first_x + i * c.spacing) / 10.0, 1e-4) << "point " << i;
  EXPECT_EQ(std::string(record(result).title), "Interpolated: line");
  EXPECT_EQ(values(spectrum).size(), 21u) << "the source stays";
  destroy(result);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, SpacingChangeCases,
    testing::Values(SpacingCase{"OwnSpacingWholeExtentIsACopy", AP_NOT_GIVEN, AP_NOT_GIVEN, 2.0f, 400.0f, 440.0f, 21},
                    SpacingCase{"OwnSpacingCutToTheRegion", 410.0f, 420.0f, 2.0f, 410.0f, 420.0f, 6},
                    SpacingCase{"CoarserRegridsWithoutSubdivision", 400.0f, 440.0f, 4.0f, 400.0f, 440.0f, 11},
                    SpacingCase{"FinerSubdividesThenRegrids", 400.0f, 420.0f, 0.5f, 400.0f, 420.0f, 41}),
    [](const testing::TestParamInfo<SpacingCase>& info) { return info.param.name; });

TEST_F(SpacingChange, RefusesSpacingsThatAreNotPositiveNumbersAndNaNLimits) {
  AP7_SPECTRUM* spectrum = line();
  for (float spacing : {0.0f, -2.0f, NAN}) EXPECT_EQ(change(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, spacing), nullptr);
  EXPECT_EQ(change(spectrum, NAN, 420.0f, 2.0f), nullptr);
  destroy(spectrum);
}

// ---------------------------------------------------------------------------

class ResolutionSmoothing : public SpectrumTest {
 protected:
  void SetUp() override {
    SpectrumTest::SetUp();
    add_title_prefixes();
  }
  static AP7_SPECTRUM* smooth(AP7_SPECTRUM* spectrum, float x1, float x2) {
    AP7_XRANGEPARM parameter{x1, x2};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SMOOTH_TO_RESOLUTION, spectrum, &parameter));
  }
};

TEST_F(ResolutionSmoothing, FewerThanFifteenPointsFail) {
  AP7_SPECTRUM* spectrum = make_ramp(14, 1000.0f, 1013.0f);
  EXPECT_EQ(smooth(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN), nullptr);
  destroy(spectrum);
}

// A line is its own smoothing: nothing is removed, so every weight is 0 and
// the result is the line, marked as smoothed.
TEST_F(ResolutionSmoothing, LeavesALineAndMarksTheResult) {
  std::vector<float> y(61);
  for (size_t i = 0; i < y.size(); ++i) y[i] = 0.5f + 0.001f * static_cast<float>(i);
  AP7_SPECTRUM* spectrum = make_axis(1000.0f, 1120.0f, y);
  record(spectrum).y_units = 17;
  std::strcpy(record(spectrum).title, "sample");
  AP7_SPECTRUM* result = smooth(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN);
  ASSERT_NE(result, nullptr);
  const std::vector<float> smoothed = values(result);
  ASSERT_EQ(smoothed.size(), y.size());
  for (size_t i = 0; i < y.size(); ++i) EXPECT_NEAR(smoothed[i], y[i], 1e-5) << "point " << i;
  EXPECT_EQ(std::string(record(result).title), "Smoothed: sample");
  EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(result), AP41_HISTORY_SMOOTH), 1);
  destroy(result);
  destroy(spectrum);
}

// Where the smoothing removes no more than the expected noise the smoothed
// values are taken; where it removes far more, the spectrum's own.
struct NoiseCase {
  const char* name;
  float expected_noise;
  bool smoothed;
};

class ResolutionSmoothingNoise : public ResolutionSmoothing, public testing::WithParamInterface<NoiseCase> {};

TEST_P(ResolutionSmoothingNoise, TakesTheSmoothingOnlyWithinTheNoise) {
  std::vector<float> clean(101);
  std::vector<float> noisy(101);
  for (size_t i = 0; i < clean.size(); ++i) {
    clean[i] = static_cast<float>(0.5 * std::exp(-0.5 * std::pow((i - 50.0) / 12.0, 2)));
    noisy[i] = clean[i] + (i % 2 == 0 ? 0.01f : -0.01f);
  }
  AP7_SPECTRUM* spectrum = make_axis(1500.0f, 1700.0f, noisy);
  record(spectrum).y_units = 8;
  record(spectrum).p39 = GetParam().expected_noise;
  AP7_SPECTRUM* result = smooth(spectrum, 1520.0f, 1680.0f);
  ASSERT_NE(result, nullptr);
  const std::vector<float> smoothed = values(result);
  ASSERT_EQ(smoothed.size(), 81u);
  double from_clean = 0.0;
  double from_noisy = 0.0;
  for (size_t i = 0; i < smoothed.size(); ++i) {
    from_clean += std::fabs(smoothed[i] - clean[i + 10]);
    from_noisy += std::fabs(smoothed[i] - noisy[i + 10]);
  }
  if (GetParam().smoothed)
    EXPECT_LT(from_clean, from_noisy / 3.0);
  else
    EXPECT_LT(from_noisy, 1e-4);
  destroy(result);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(Levels, ResolutionSmoothingNoise,
                         testing::Values(NoiseCase{"NoiseWithinTheLevelIsSmoothed", 0.1f, true},
                                         NoiseCase{"DifferencesFarAboveItAreKept", 1e-6f, false}),
                         [](const testing::TestParamInfo<NoiseCase>& info) { return info.param.name; });

}  // namespace
