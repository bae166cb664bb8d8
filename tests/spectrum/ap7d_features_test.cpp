#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

constexpr float kNaN = NAN;
constexpr double kPi = 3.14159265358979323846;

// A Gaussian band of height H, centre C and standard deviation S on the
// straight line A + B·x, sampled at x = 0, 1, ..., 200: its area is
// H·S·√(2π), and beyond ±10 S it has fallen below e^-50, so the ends of the
// grid lie on the line and the trapezoid sums over the grid equal the
// closed forms to single precision.
constexpr double kHeight = 2.0;
constexpr double kCentre = 100.0;
constexpr double kSigma = 10.0;
constexpr double kOffset = 0.25;
constexpr double kSlope = 0.001;
constexpr uint32_t kPoints = 201;

double band(double x) { return kHeight * std::exp(-(x - kCentre) * (x - kCentre) / (2 * kSigma * kSigma)); }
double line(double x) { return kOffset + kSlope * x; }
double band_area() { return kHeight * kSigma * std::sqrt(2 * kPi); }

class Features : public SpectrumTest {
 protected:
  // The band on the line, in absorbance (peaks up) or as 100 - 10·band in
  // percent transmittance (peaks down).
  static AP7_SPECTRUM* band_spectrum(uint32_t y_units = AP1_YUNIT_ABSORBANCE, bool on_line = true) {
    std::vector<float> y(kPoints);
    for (uint32_t i = 0; i < kPoints; ++i) {
      const double x = i;
      const double value = band(x) + (on_line ? line(x) : 0.0);
      y[i] = static_cast<float>(y_units == AP1_YUNIT_PERCENT_TRANSMITTANCE ? 100.0 - 10.0 * value : value);
    }
    AP7_SPECTRUM* spectrum = make_axis(0.0f, 200.0f, y);
    record(spectrum).y_units = y_units;
    return spectrum;
  }

  static uint32_t feature_values(AP7_SPECTRUM* spectrum, AP7_FEATURE feature, float* out, uint16_t transform) {
    AP7_FEATUREPARM parameter{&feature, out, transform};
    return send(transform == AP7_FEATURE_PLAIN ? AP7_MSG_FEATURE_VALUES : AP7_MSG_FEATURE_VALUES_TRANSFORMED, spectrum,
                &parameter);
  }

  static float one_value(AP7_SPECTRUM* spectrum, AP7_FEATURE feature, uint16_t transform = AP7_FEATURE_PLAIN) {
    float out = -1.0f;
    EXPECT_EQ(feature_values(spectrum, feature, &out, transform), 1u);
    return out;
  }

  static uint32_t feature_count(AP7_SPECTRUM* spectrum, float kind, float x1, float x2) {
    const float request[] = {kind, x1, x2};
    const float* pointer = request;
    return send(AP7_MSG_FEATURE_COUNT, spectrum, &pointer);
  }

  static uint32_t measurement_count(AP7_SPECTRUM* spectrum, float kind, float x1, float x2) {
    AP7_MEASUREDESC request{};
    request.kind = kind;
    request.x1 = x1;
    request.x2 = x2;
    const AP7_MEASUREDESC* pointer = &request;
    return send(AP7_MSG_MEASUREMENT_COUNT, spectrum, &pointer);
  }
};

// Every single-value kind on the band, against its closed form; kinds 11 to
// 16 are the squares of 1 to 6.
TEST_F(Features, SingleValuesOfABandMatchTheClosedForms) {
  struct Case {
    float kind;
    AP7_FEATURE feature;
    double expected;
  };
  const double peak = band(kCentre) + line(kCentre);
  const Case cases[] = {
      {1, {1, 100, 0, 0, 0}, peak},
      {2, {2, 100, 0, 0, 0}, peak - (band(0) + line(0))},
      // Above the line through the ends of 0..200, which is the line itself.
      {3, {3, 100, 0, 0, 200}, kHeight},
      // Above full scale (0 for absorbance): band and the trapezoid under the line.
      {4, {4, 0, 200, 0, 0}, band_area() + kOffset * 200 + kSlope * 200 * 200 / 2},
      // Above the level at x3 = 0.
      {5, {5, 0, 200, 0, 0}, band_area() + kSlope * 200 * 200 / 2},
      // Above the line through 0..200.
      {6, {6, 0, 200, 0, 200}, band_area()},
      // Largest value of 90..110 less the smallest of 0..10.
      {10, {10, 90, 110, 0, 10}, peak - line(0)},
  };
  AP7_SPECTRUM* spectrum = band_spectrum();
  const auto before = live_counts();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    EXPECT_NEAR(one_value(spectrum, c.feature), c.expected, 1e-5 * std::fabs(c.expected));
    if (c.kind <= 6) {
      AP7_FEATURE squared = c.feature;
      squared.kind += 10;
      EXPECT_NEAR(one_value(spectrum, squared), c.expected * c.expected, 2e-5 * c.expected * c.expected);
    }
  }
  EXPECT_EQ(live_counts(), before);
  destroy(spectrum);
}

struct RegionCase {
  const char* name;
  AP7_FEATURE feature;
  uint16_t transform;
  std::vector<float> expected;
};

class FeatureRegions : public Features, public testing::WithParamInterface<RegionCase> {};

// The region 10..12 of y = x² + 1 (101, 122, 145), last point first.
TEST_P(FeatureRegions, WriteTheRegionLastPointFirst) {
  const RegionCase& c = GetParam();
  std::vector<float> y(21);
  for (uint32_t i = 0; i < y.size(); ++i) y[i] = static_cast<float>(i * i + 1);
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 20.0f, y);
  record(spectrum).y_units = AP1_YUNIT_ABSORBANCE;
  const auto before = live_counts();
  std::vector<float> out(c.expected.size() + 1, -7.0f);
  EXPECT_EQ(feature_values(spectrum, c.feature, out.data(), c.transform), c.expected.size());
  for (size_t i = 0; i < c.expected.size(); ++i) EXPECT_NEAR(out[i], c.expected[i], 1e-5) << "value " << i;
  EXPECT_EQ(out.back(), -7.0f);
  EXPECT_EQ(feature_count(spectrum, c.feature.kind, c.feature.x1, c.feature.x2), c.expected.size());
  EXPECT_EQ(measurement_count(spectrum, c.feature.kind, c.feature.x1, c.feature.x2), c.expected.size());
  EXPECT_EQ(live_counts(), before);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, FeatureRegions,
    testing::Values(
        RegionCase{"Values", {7, 10, 12, 0, 0}, AP7_FEATURE_PLAIN, {145, 122, 101}},
        // Kinds 7, 8, 17 and 18 take no transform.
        RegionCase{"ValuesIgnoreTheTransform", {7, 10, 12, 0, 0}, AP7_FEATURE_LOG10, {145, 122, 101}},
        RegionCase{"LessTheHeightAtX3", {8, 10, 12, 2, 0}, AP7_FEATURE_LOG10, {140, 117, 96}},
        // The line through (0, 1) and (20, 401) is 1 + 20·x.
        RegionCase{"AboveTheBaseline", {9, 10, 12, 0, 20}, AP7_FEATURE_PLAIN, {-96, -99, -100}},
        RegionCase{"AboveTheBaselineTransformed", {9, 10, 12, 0, 20}, AP7_FEATURE_RECIPROCAL,
                   {-1.0f / 96, -1.0f / 99, -1.0f / 100}},
        // a, b, c give (c - b, b - a, 0).
        RegionCase{"Differenced", {17, 10, 12, 0, 0}, AP7_FEATURE_LOG10, {23, 21, 0}},
        RegionCase{"DifferencedLessTheHeight", {18, 10, 12, 2, 0}, AP7_FEATURE_PLAIN, {23, 21, 0}},
        // The differences are transformed, the last 0 raised to 1e-12.
        RegionCase{"DifferencedAboveTheBaseline", {19.9f, 10, 12, 0, 20}, AP7_FEATURE_LOG10,
                   {std::log10(3.0f), std::log10(1.0f), -12.0f}}),
    [](const testing::TestParamInfo<RegionCase>& info) { return info.param.name; });

TEST_F(Features, TransformsOfSingleValues) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 3.0f, {0.0f, 4.0f, 4.0f, 100.0f});
  record(spectrum).y_units = AP1_YUNIT_ABSORBANCE;
  EXPECT_FLOAT_EQ(one_value(spectrum, {1, 0, 0, 0, 0}, AP7_FEATURE_LOG10), -12.0f);
  EXPECT_FLOAT_EQ(one_value(spectrum, {1, 3, 0, 0, 0}, AP7_FEATURE_LOG10), 2.0f);
  EXPECT_FLOAT_EQ(one_value(spectrum, {1, 1, 0, 0, 0}, AP7_FEATURE_RECIPROCAL), 0.25f);
  // Equal heights: the reciprocal of 0 is 0, not an infinity.
  EXPECT_EQ(one_value(spectrum, {2, 1, 0, 2, 0}, AP7_FEATURE_RECIPROCAL), 0.0f);
  // Kinds 11 to 16 square after the transform: (log10 100)² = 4.
  EXPECT_FLOAT_EQ(one_value(spectrum, {11, 3, 0, 0, 0}, AP7_FEATURE_LOG10), 4.0f);
  // An unknown transform leaves the value.
  EXPECT_FLOAT_EQ(one_value(spectrum, {1, 1, 0, 0, 0}, 7), 4.0f);
  destroy(spectrum);
}

TEST_F(Features, UnknownKindsGiveNothing) {
  AP7_SPECTRUM* spectrum = band_spectrum();
  float out = -7.0f;
  for (float kind : {20.0f, 0.0f, -1.0f, 0.9f, kNaN}) {
    EXPECT_EQ(feature_values(spectrum, {kind, 100, 110, 0, 0}, &out, AP7_FEATURE_PLAIN), 0u) << kind;
    EXPECT_EQ(feature_count(spectrum, kind, 100, 110), 0u) << kind;
  }
  EXPECT_EQ(out, -7.0f);
  // The measured kinds count every kind outside the region kinds as one value.
  for (float kind : {20.0f, 0.0f, -1.0f, 137.0f, 112.0f}) EXPECT_EQ(measurement_count(spectrum, kind, 100, 110), 1u);
  for (float kind : {109.0f, 110.0f, 111.0f, 113.0f}) EXPECT_EQ(measurement_count(spectrum, kind, 100, 110), 11u);
  EXPECT_EQ(feature_count(spectrum, 16, 100, 110), 1u);
  destroy(spectrum);
}

// With peaks pointing down the band lies below its baseline and its
// heights and areas count positive: 10 times the band in percent
// transmittance.
TEST_F(Features, DownwardBandsCountPositive) {
  AP7_SPECTRUM* spectrum = band_spectrum(AP1_YUNIT_PERCENT_TRANSMITTANCE, false);
  EXPECT_NEAR(one_value(spectrum, {4, 0, 200, 0, 0}), 10 * band_area(), 1e-4 * band_area());
  EXPECT_NEAR(one_value(spectrum, {6, 0, 200, 0, 200}), 10 * band_area(), 1e-4 * band_area());
  EXPECT_NEAR(one_value(spectrum, {3, 100, 0, 0, 200}), 10 * kHeight, 1e-4);
  float out[3] = {};
  ASSERT_EQ(feature_values(spectrum, {9, 99, 101, 0, 200}, out, AP7_FEATURE_PLAIN), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], 10 * band(101 - i), 1e-4) << i;
  destroy(spectrum);
}

TEST_F(Features, BandAreasOfMessage178) {
  AP7_SPECTRUM* spectrum = band_spectrum(AP1_YUNIT_ABSORBANCE, false);
  float level = -1.0f;
  float baseline = -1.0f;
  AP7_AREAPARM parameter{200.0f, 0.0f, 0.0f, 200.0f, &level, &baseline};
  ASSERT_EQ(send(AP7_MSG_MEASURE_AREA, spectrum, &parameter), 1u);
  EXPECT_NEAR(level, band_area(), 1e-5 * band_area());
  EXPECT_NEAR(baseline, band_area(), 1e-5 * band_area());
  // A band of one point is its height above the line, unscaled.
  parameter = {100.0f, 100.0f, 0.0f, 200.0f, &level, &baseline};
  ASSERT_EQ(send(AP7_MSG_MEASURE_AREA, spectrum, &parameter), 1u);
  EXPECT_NEAR(baseline, kHeight, 1e-6);
  // A range beside the data: 0 and both areas 0.
  parameter = {300.0f, 400.0f, 0.0f, 200.0f, &level, &baseline};
  EXPECT_EQ(send(AP7_MSG_MEASURE_AREA, spectrum, &parameter), 0u);
  EXPECT_EQ(level, 0.0f);
  EXPECT_EQ(baseline, 0.0f);
  destroy(spectrum);
}

// A value that cannot be read is a failure: nothing is written and the
// answer is 0, not 1 with a made-up value.
TEST_F(Features, FailedReadsReportNoValue) {
  AP7_SPECTRUM* spectrum = band_spectrum();
  const auto before = live_counts();
  const AP7_FEATURE outside[] = {
      {1, 500, 0, 0, 0},    {2, 100, 0, 500, 0},   {3, 500, 0, 0, 200},  {3, 100, 0, 300, 400},
      {10, 300, 400, 0, 10}, {12, 100, 0, -50, 0}, {7, 300, 400, 0, 0}, {8, 10, 20, 900, 0},
      {9, 10, 20, 300, 400}, {4, 300, 400, 0, 0}, {6, 0, 200, 300, 400},
  };
  for (const AP7_FEATURE& feature : outside) {
    float out[16];
    for (float& value : out) value = -7.0f;
    EXPECT_EQ(feature_values(spectrum, feature, out, AP7_FEATURE_PLAIN), 0u) << feature.kind;
    for (float value : out) EXPECT_EQ(value, -7.0f) << feature.kind;
  }
  EXPECT_EQ(feature_count(spectrum, 7, 300, 400), 0u);
  EXPECT_EQ(measurement_count(spectrum, 109, 300, 400), 0u);
  EXPECT_EQ(live_counts(), before);
  destroy(spectrum);
}

TEST_F(Features, NullArgumentsGiveZero) {
  AP7_SPECTRUM* spectrum = band_spectrum();
  float out = 0.0f;
  const AP7_FEATURE feature{1, 100, 0, 0, 0};
  EXPECT_EQ(ap7d_GetFeatureValues(nullptr, &feature, &out, 0), 0u);
  EXPECT_EQ(ap7d_GetFeatureValues(spectrum, nullptr, &out, 0), 0u);
  EXPECT_EQ(ap7d_GetFeatureValues(spectrum, &feature, nullptr, 0), 0u);
  EXPECT_EQ(ap7d_GetFeatureCount(spectrum, nullptr), 0u);
  EXPECT_EQ(ap7d_GetMeasurementCount(spectrum, nullptr), 0u);
  EXPECT_EQ(ap7d_NewBaselineCorrectedRange(nullptr, 0, 1, 0, 1), nullptr);
  destroy(spectrum);
}

TEST_F(Features, BaselineCorrectedRangeIsANewSpectrumOfTheRange) {
  AP7_SPECTRUM* spectrum = band_spectrum();
  const auto before = live_counts();
  AP7_SPECTRUM* corrected = ap7d_NewBaselineCorrectedRange(spectrum, 95, 105, 0, 200);
  ASSERT_NE(corrected, nullptr);
  const uint32_t points = record(corrected).points;
  const float first_x = record(corrected).first_x;
  const float last_x = record(corrected).last_x;
  EXPECT_EQ(points, 11u);
  EXPECT_EQ(first_x, 95.0f);
  EXPECT_EQ(last_x, 105.0f);
  const std::vector<float> y = values(corrected);
  ASSERT_EQ(y.size(), 11u);
  for (uint32_t i = 0; i < 11; ++i) EXPECT_NEAR(y[i], band(95.0 + i), 1e-5) << i;
  destroy(corrected);
  EXPECT_EQ(live_counts(), before);
  destroy(spectrum);
}

}  // namespace
