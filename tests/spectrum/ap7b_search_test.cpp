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

// 400..4000 cm-1 at spacing 2 (1801 points); the values are v(x), so that a
// region sampled at spacing 2 holds v at its grid points.
AP7_SPECTRUM* on_grid(uint32_t y_units, double (*v)(double)) {
  std::vector<float> y(1801);
  for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<float>(v(400.0 + 2.0 * i));
  AP7_SPECTRUM* spectrum = make_axis(400.0f, 4000.0f, y);
  record(spectrum).y_units = y_units;
  std::strcpy(record(spectrum).title, "sample");
  return spectrum;
}

double band(double x) { return 0.2 + 0.8 * std::exp(-std::pow((x - 1050.0) / 20.0, 2)); }
double dipping(double x) { return std::sin((x - 1000.0) / 30.0); }

class SearchPreparation : public SpectrumTest {
 protected:
  void SetUp() override {
    SpectrumTest::SetUp();
    add_title_prefixes();
  }
  void TearDown() override {
    GU6_DeleteConfig(AP7_SEARCH_SECTION, AP7_SEARCH_METHOD_KEY);
    SpectrumTest::TearDown();
  }
  static uint32_t vector(AP7_SPECTRUM* spectrum, double x1, double x2, void* out, uint32_t y_code, int32_t n,
                         uint16_t width, uint16_t keep_negative) {
    AP7_SEARCHVECTORPARM parameter{x1, x2, out, y_code, nullptr, n, width, keep_negative};
    return send(AP7_MSG_SEARCH_VECTOR_EX, spectrum, &parameter);
  }
  static AP7_SPECTRUM* copy_in(AP7_SPECTRUM* spectrum, double x1, double x2, uint32_t y_code, char* title,
                               int32_t n) {
    AP7_SEARCHCOPYPARM parameter{x1, x2, 0, y_code, title, n};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SEARCH_COPY_IN_UNIT, spectrum, &parameter));
  }
  static uint32_t mask(AP7_SPECTRUM* spectrum, double x1, double x2, uint8_t* out, int32_t y_code, int32_t n,
                       uint16_t saturation) {
    AP7_SEARCHMASKPARM parameter{x1, x2, out, y_code, 0, n, 0, saturation};
    return send(AP7_MSG_SEARCH_MASK, spectrum, &parameter);
  }
};

// The byte of a value: T (v - low) / (high - low) + 0.001, truncated.
uint32_t scaled(double v, double low, double high, double top) {
  double s = top * (v - low) / (high - low);
  if (s < 0.0) s = 0.0;
  if (s > top) s = top;
  return static_cast<uint32_t>(s + 0.001);
}

TEST_F(SearchPreparation, BytesSpanTheRegionFromItsMinimumToItsMaximum) {
  AP7_SPECTRUM* spectrum = on_grid(17, band);
  std::vector<uint8_t> out(51, 0xEE);
  ASSERT_EQ(vector(spectrum, 1000.0, 1100.0, out.data(), 17, 51, 1, 0), AP7_SEARCH_DONE);
  const double low = band(1000.0f);
  const double high = band(1050.0f);
  for (int i = 0; i < 51; ++i)
    EXPECT_EQ(out[i], scaled(static_cast<float>(band(1000.0 + 2 * i)), low, high, 255.0)) << "point " << i;
  EXPECT_EQ(out[25], 255);
  EXPECT_EQ(out[0], 0);
  destroy(spectrum);
}

TEST_F(SearchPreparation, WordsAndFloats) {
  AP7_SPECTRUM* spectrum = on_grid(17, band);
  std::vector<uint16_t> words(51);
  ASSERT_EQ(vector(spectrum, 1100.0, 1000.0, words.data(), 17, 51, 2, 0), AP7_SEARCH_DONE);
  const double low = band(1000.0f);
  const double high = band(1050.0f);
  for (int i = 0; i < 51; ++i)
    EXPECT_EQ(words[i], scaled(static_cast<float>(band(1000.0 + 2 * i)), low, high, 65535.0)) << "point " << i;
  std::vector<float> floats(51);
  ASSERT_EQ(vector(spectrum, 1000.0, 1100.0, floats.data(), 17, 51, 4, 0), AP7_SEARCH_DONE);
  for (int i = 0; i < 51; ++i) EXPECT_FLOAT_EQ(floats[i], static_cast<float>(band(1000.0 + 2 * i)));
  destroy(spectrum);
}

TEST_F(SearchPreparation, NegativeValuesScaleFromZeroUnlessKept) {
  AP7_SPECTRUM* spectrum = on_grid(17, dipping);
  std::vector<uint8_t> out(51);
  ASSERT_EQ(vector(spectrum, 1000.0, 1100.0, out.data(), 17, 51, 1, 0), AP7_SEARCH_DONE);
  float high = -2.0f;
  for (int i = 0; i < 51; ++i) high = std::max(high, static_cast<float>(dipping(1000.0 + 2 * i)));
  for (int i = 0; i < 51; ++i) {
    const auto v = static_cast<float>(dipping(1000.0 + 2 * i));
    EXPECT_EQ(out[i], scaled(v, 0.0, high, 255.0)) << "point " << i;
    if (v < 0.0f) {
      EXPECT_EQ(out[i], 0) << "point " << i;
    }
  }
  ASSERT_EQ(vector(spectrum, 1000.0, 1100.0, out.data(), 17, 51, 1, 1), AP7_SEARCH_DONE);
  float low = 2.0f;
  for (int i = 0; i < 51; ++i) low = std::min(low, static_cast<float>(dipping(1000.0 + 2 * i)));
  for (int i = 0; i < 51; ++i)
    EXPECT_EQ(out[i], scaled(static_cast<float>(dipping(1000.0 + 2 * i)), low, high, 255.0)) << "point " << i;
  destroy(spectrum);
}

TEST_F(SearchPreparation, FlatRegionScalesByItsValue) {
  AP7_SPECTRUM* spectrum = on_grid(17, [](double) { return 0.5; });
  std::vector<uint8_t> out(11);
  ASSERT_EQ(vector(spectrum, 1000.0, 1020.0, out.data(), 17, 11, 1, 0), AP7_SEARCH_DONE);
  // The minimum is taken off first, so every value is 0 scaled by 255 / 0.5.
  for (uint8_t b : out) EXPECT_EQ(b, 0);
  destroy(spectrum);
}

struct CodeCase {
  const char* name;
  double x1;
  double x2;
  int32_t n;
  uint16_t width;
  uint32_t code;
};

class SearchCodes : public SearchPreparation, public testing::WithParamInterface<CodeCase> {};

TEST_P(SearchCodes, RefusalsLeaveTheVectorUntouched) {
  const CodeCase& c = GetParam();
  AP7_SPECTRUM* spectrum = on_grid(17, band);
  std::vector<uint8_t> out(64, 0xEE);
  EXPECT_EQ(vector(spectrum, c.x1, c.x2, out.data(), 17, c.n, c.width, 0), c.code);
  for (uint8_t b : out) EXPECT_EQ(b, 0xEE);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, SearchCodes,
    testing::Values(CodeCase{"PastTheHighEnd", 3900.0, 4002.0, 52, 1, AP7_SEARCH_NOT_COVERED},
                    CodeCase{"PastTheLowEnd", 398.0, 500.0, 52, 1, AP7_SEARCH_NOT_COVERED},
                    CodeCase{"NaNLimit", NAN, 500.0, 52, 1, AP7_SEARCH_NOT_COVERED},
                    CodeCase{"OnePoint", 1000.0, 1100.0, 1, 1, AP7_SEARCH_BAD_REQUEST},
                    CodeCase{"WidthThree", 1000.0, 1100.0, 51, 3, AP7_SEARCH_BAD_REQUEST}),
    [](const testing::TestParamInfo<CodeCase>& info) { return info.param.name; });

// A region 400..4000 in 1801 points asks a step of 2 (half step 1); a
// spacing of 1.93 covers it from a first X below 401 to a last X above 3999.
TEST_F(SearchPreparation, CoverageUsesHalfAStep) {
  for (float first : {400.9f, 401.1f}) {
    const auto n = static_cast<uint32_t>(std::lround((3999.5 - first) / 1.93)) + 1;
    std::vector<float> y(n, 0.5f);
    AP7_SPECTRUM* spectrum = make_axis(first, static_cast<float>(first + (n - 1) * 1.93), y);
    record(spectrum).y_units = 17;
    std::vector<uint8_t> out(1801);
    const uint32_t code = vector(spectrum, 400.0, 4000.0, out.data(), 17, 1801, 1, 0);
    if (first < 401.0f)
      EXPECT_NE(code, AP7_SEARCH_NOT_COVERED);
    else
      EXPECT_EQ(code, AP7_SEARCH_NOT_COVERED);
    destroy(spectrum);
  }
}

TEST_F(SearchPreparation, VectorConvertsTransmittanceToAbsorbance) {
  AP7_SPECTRUM* spectrum = on_grid(16, [](double x) { return 10.0 + 80.0 * std::exp(-std::pow((x - 1050.0) / 20.0, 2)); });
  std::vector<float> out(51);
  ASSERT_EQ(vector(spectrum, 1000.0, 1100.0, out.data(), 17, 51, 4, 0), AP7_SEARCH_DONE);
  for (int i = 0; i < 51; ++i) {
    const double t = static_cast<float>(10.0 + 80.0 * std::exp(-std::pow((2.0 * i - 50.0) / 20.0, 2)));
    EXPECT_NEAR(out[i], -std::log10(t / 100.0), 1e-5) << "point " << i;
  }
  destroy(spectrum);
}

TEST_F(SearchPreparation, CopyInAUnitCarriesTheRegionAndTheTitle) {
  AP7_SPECTRUM* spectrum = on_grid(16, [](double) { return 10.0; });
  char title[AP7_TITLE_FIELD] = {};
  AP7_SPECTRUM* copy = copy_in(spectrum, 1000.0, 1100.0, 17, title, 51);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::string(title), "sample");
  const uint32_t points = record(copy).points;
  const uint32_t y_units = record(copy).y_units;
  const float first_x = record(copy).first_x;
  const float last_x = record(copy).last_x;
  EXPECT_EQ(points, 51u);
  EXPECT_EQ(y_units, 17u);
  EXPECT_FLOAT_EQ(first_x, 1000.0f);
  EXPECT_FLOAT_EQ(last_x, 1100.0f);
  for (float v : values(copy)) EXPECT_NEAR(v, 1.0f, 1e-6);
  EXPECT_EQ(std::string(record(copy).title), "Interpolated: sample");
  const uint32_t source_units = record(spectrum).y_units;
  EXPECT_EQ(source_units, 16u) << "the source stays";
  destroy(copy);
  destroy(spectrum);
}

// A single beam cannot be had in absorbance; both peak upward, which once
// let the single beam through as if it had been converted.
TEST_F(SearchPreparation, CopyInAUnitRefusesASpectrumItCannotConvert) {
  AP7_SPECTRUM* spectrum = on_grid(AP41_YUNITS_SINGLE_BEAM, band);
  EXPECT_EQ(copy_in(spectrum, 1000.0, 1100.0, 17, nullptr, 51), nullptr);
  std::vector<uint8_t> out(51);
  EXPECT_EQ(vector(spectrum, 1000.0, 1100.0, out.data(), 17, 51, 1, 0), AP7_SEARCH_CONVERSION_FAILED);
  destroy(spectrum);
}

TEST_F(SearchPreparation, CopyInAUnitRefusesUncoveredRegions) {
  AP7_SPECTRUM* spectrum = on_grid(17, band);
  EXPECT_EQ(copy_in(spectrum, 300.0, 1100.0, 17, nullptr, 51), nullptr);
  EXPECT_EQ(copy_in(spectrum, 1000.0, 1100.0, 17, nullptr, 1), nullptr);
  destroy(spectrum);
}

TEST_F(SearchPreparation, MaskFlagsMissingAndSaturatedPoints) {
  AP7_SPECTRUM* spectrum = on_grid(17, [](double x) { return x < 1020.0 ? 3.5 : 1.0; });
  float* y = ap7b_GetDataPtr(spectrum);
  y[(1060 - 400) / 2] = NAN;
  std::vector<uint8_t> out(51, 0xEE);
  ASSERT_EQ(mask(spectrum, 1000.0, 1100.0, out.data(), 17, 51, 1), AP7_SEARCH_DONE);
  for (int i = 0; i < 51; ++i) EXPECT_EQ(out[i], i < 10 || i == 30 ? 1 : 0) << "point " << i;
  ASSERT_EQ(mask(spectrum, 1000.0, 1100.0, out.data(), 17, 51, 0), AP7_SEARCH_DONE);
  for (int i = 0; i < 51; ++i) EXPECT_EQ(out[i], i == 30 ? 1 : 0) << "point " << i;
  destroy(spectrum);
}

// The region is resampled by the configured method: both reach the step.
TEST_F(SearchPreparation, RegionReachesTheStepByEitherMethod) {
  for (const char* method : {"0", "1"}) {
    GU6_SetConfig(AP7_SEARCH_SECTION, AP7_SEARCH_METHOD_KEY, method);
    AP7_SPECTRUM* spectrum = on_grid(17, band);
    AP7_SPACINGPARM parameter{1000.0f, 1100.0f, 1.0f};
    AP7_SPECTRUM* region = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_PREPARE_SEARCH_REGION, spectrum, &parameter));
    ASSERT_NE(region, nullptr) << method;
    const uint32_t points = record(region).points;
    const float first_x = record(region).first_x;
    EXPECT_EQ(points, 101u) << method;
    EXPECT_FLOAT_EQ(first_x, 1000.0f) << method;
    const std::vector<float> v = values(region);
    ASSERT_EQ(v.size(), 101u);
    for (size_t i = 0; i < v.size(); ++i) EXPECT_NEAR(v[i], band(1000.0 + i), 5e-3) << method << " " << i;
    destroy(region);
    destroy(spectrum);
  }
}

}  // namespace
