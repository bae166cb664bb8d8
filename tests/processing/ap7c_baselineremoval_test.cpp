// Baseline removal in place: the region fit (message 301) recovering known
// lines and parabolas, extended beyond the region; the point baselines of
// message 298 (straight lines, spline, polynomial) recovering known
// baselines under known bands on either axis; the region points and their
// kinds; the parabola regions; and the refusals: too few points for the
// fit, singular normal equations, regions without a present point.
#include <cmath>
#include <cstdint>
#include <vector>

#include "processing/baseline_fixture.h"

using namespace spectrumtest;
using namespace baselinetest;

namespace {

constexpr float kMean = 3.0f;
constexpr float kLowest = 4.0f;
constexpr float kHighest = 5.0f;
constexpr float kParabola = 7.0f;

class BaselineRemoval : public BaselineTest {
 protected:
  // 101 points over X 0..100 (or 100..0) of f(x).
  AP7_SPECTRUM* curve(double (*f)(double), bool falling = false) {
    std::vector<double> y(101);
    for (int i = 0; i < 101; ++i) y[i] = f(falling ? 100.0 - i : i);
    return falling ? spectrum_of(100.0f, 0.0f, y, kAbsorbance) : spectrum_of(0.0f, 100.0f, y, kAbsorbance);
  }

  AP4_ARRAY* table(const std::vector<std::vector<float>>& rows) {
    AP4_ARRAY* array = keep(arraytest::make(static_cast<uint32_t>(rows.size()), 3));
    float* cells = ap4a_GetDataAddress(array);
    for (size_t r = 0; r < rows.size(); ++r)
      for (size_t c = 0; c < 3; ++c) cells[r * 3 + c] = rows[r][c];
    return array;
  }

  static uint32_t multipoint(AP7_SPECTRUM* spectrum, uint16_t mode, uint16_t degree, AP4_ARRAY* regions) {
    AP7C_MULTIPOINTPARM p{mode, degree, regions};
    return send(AP7_MSG_REMOVE_MULTIPOINT_BASELINE, spectrum, &p);
  }
  static uint32_t region_fit(AP7_SPECTRUM* spectrum, float x1, float x2, uint16_t mode) {
    AP7C_REGIONFITPARM p{x1, x2, mode};
    return send(AP7_MSG_BASELINE_REMOVED, spectrum, &p);
  }

  // Equal values, missing where missing.
  static bool same_values(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
      if (!(a[i] == b[i] || (std::isnan(a[i]) && std::isnan(b[i])))) return false;
    return true;
  }

  // The spectrum's values against g(x) at each of its points.
  static void expect_values(AP7_SPECTRUM* spectrum, double (*g)(double), double tolerance) {
    const std::vector<float> y = values(spectrum);
    const double first = record(spectrum).first_x;
    const double step = (double{record(spectrum).last_x} - first) / (y.size() - 1);
    for (size_t i = 0; i < y.size(); ++i) {
      const double x = first + step * i;
      if (std::isnan(g(x))) {
        EXPECT_TRUE(std::isnan(y[i])) << x;
      } else {
        EXPECT_NEAR(y[i], g(x), tolerance) << "x " << x;
      }
    }
  }
};

double bands(double x) { return gaussian(x, 25.0, 2.0) + 0.5 * gaussian(x, 75.0, 2.5); }
double zero(double) { return 0.0; }
double parabola(double x) { return 2.0 - 0.03 * x + 0.0004 * x * x; }
double line_and_bands(double x) { return 0.5 + 0.01 * x + bands(x); }
// A baseline of three straight pieces, bent at 40 and 60.
double bent(double x) { return x < 40 ? 1.0 - 0.01 * x : x < 60 ? 0.6 + 0.02 * (x - 40) : 1.0 - 0.005 * (x - 60); }
double bent_and_bands(double x) { return bent(x) + bands(x); }
double gentle(double x) { return 0.5 + 0.3 * std::sin(x / 40.0); }
double gentle_and_bands(double x) { return gentle(x) + bands(x); }
double quadratic_and_bands(double x) { return parabola(x) + bands(x); }

}  // namespace

// A parabola fitted over 30..70 and extended: zeros everywhere.
TEST_F(BaselineRemoval, RegionParabolaOfAPureParabolaLeavesZerosEverywhere) {
  for (bool falling : {false, true}) {
    AP7_SPECTRUM* spectrum = curve(parabola, falling);
    EXPECT_EQ(region_fit(spectrum, 70.0f, 30.0f, AP7C_REGION_PARABOLA), 1u);
    expect_values(spectrum, zero, 1e-5);
    AP7_SPECTRUM* whole = curve(parabola, falling);
    EXPECT_EQ(region_fit(whole, AP_NOT_GIVEN, AP_NOT_GIVEN, AP7C_REGION_PARABOLA), 1u);
    expect_values(whole, zero, 1e-5);
  }
}

// A line fitted over the band-free 40..60 and extended: the bands remain.
TEST_F(BaselineRemoval, RegionLineUnderBandsLeavesTheBands) {
  AP7_SPECTRUM* spectrum = curve(line_and_bands);
  EXPECT_EQ(region_fit(spectrum, 45.0f, 55.0f, AP7C_REGION_LINE), 1u);
  expect_values(spectrum, bands, 1e-5);
  // Another mode changes nothing.
  AP7_SPECTRUM* other = curve(line_and_bands);
  const std::vector<float> before = values(other);
  EXPECT_EQ(region_fit(other, 45.0f, 55.0f, 3), 1u);
  EXPECT_EQ(values(other), before);
}

// A region of one point cannot carry a line, two points no parabola; a
// missing point in the region is left out of the fit instead of turning
// the whole spectrum missing, and stays missing itself.
TEST_F(BaselineRemoval, RegionFitNeedsAsManyPresentPointsAsCoefficients) {
  AP7_SPECTRUM* spectrum = curve(parabola);
  const std::vector<float> before = values(spectrum);
  EXPECT_EQ(region_fit(spectrum, 50.0f, 50.0f, AP7C_REGION_LINE), 0u);
  EXPECT_EQ(region_fit(spectrum, 50.0f, 51.0f, AP7C_REGION_PARABOLA), 0u);
  EXPECT_EQ(region_fit(spectrum, std::nanf(""), 51.0f, AP7C_REGION_LINE), 0u);
  EXPECT_EQ(values(spectrum), before);

  AP7_SPECTRUM* gap = curve(line_and_bands);
  float* y = ap7b_GetDataPtr(gap);
  y[50] = AP1_GetNaNSG_MATH();
  EXPECT_EQ(region_fit(gap, 45.0f, 55.0f, AP7C_REGION_LINE), 1u);
  expect_values(gap, [](double x) { return x == 50.0 ? std::nan("") : bands(x); }, 1e-5);
}

// Kind-3 regions around 10 and 90 (odd point counts on straight pieces,
// so the mean lies on a point and on the baseline) and at the bends 40 and
// 60 give points on the bent baseline; straight lines between them are
// that baseline between 10 and 90, on a rising or a falling axis.
TEST_F(BaselineRemoval, StraightLinesThroughRegionMeansRecoverABentBaseline) {
  for (bool falling : {false, true}) {
    AP7_SPECTRUM* spectrum = curve(bent_and_bands, falling);
    AP4_ARRAY* regions = table({{kMean, 88, 92}, {kMean, 8, 12}, {kMean, 40, 40}, {kMean, 60, 60}});
    EXPECT_EQ(multipoint(spectrum, AP7C_POINTS_LINES, 0, regions), 1u) << falling;
    // Held level beyond the first and the last point.
    expect_values(spectrum, [](double x) { return bent(x) - bent(x < 10 ? 10 : x > 90 ? 90 : x) + bands(x); }, 2e-5);
  }
}

// A natural spline through seven band-free region means of a gentle sine
// recovers it to within 0.003 (the natural ends, curvature 0, cost about
// h²|f''|/8 = 0.0015 in the last interval).
TEST_F(BaselineRemoval, SplineThroughRegionPointsRecoversAGentleBaseline) {
  AP7_SPECTRUM* spectrum = curve(gentle_and_bands);
  AP4_ARRAY* regions = table({{kMean, 0, 0},
                              {kMean, 9, 11},
                              {kMean, 39, 41},
                              {kMean, 49, 51},
                              {kMean, 59, 61},
                              {kMean, 89, 91},
                              {kMean, 100, 100}});
  EXPECT_EQ(multipoint(spectrum, AP7C_POINTS_SPLINE, 0, regions), 1u);
  expect_values(spectrum, bands, 0.003);
}

// A degree-2 polynomial through five points of a quadratic baseline
// is that baseline within the points' span (10..90) and held at its end
// values beyond it. Fewer points than degree + 1 lower the degree: one
// point gives a constant.
TEST_F(BaselineRemoval, PolynomialThroughRegionPointsIsHeldLevelBeyondThem) {
  AP7_SPECTRUM* spectrum = curve(quadratic_and_bands);
  AP4_ARRAY* regions = table({{kMean, 10, 10}, {kMean, 45, 45}, {kMean, 50, 50}, {kMean, 55, 55}, {kMean, 90, 90}});
  EXPECT_EQ(multipoint(spectrum, AP7C_POINTS_POLYNOMIAL, 2, regions), 1u);
  expect_values(spectrum, [](double x) {
    const double held = x < 10 ? 10 : x > 90 ? 90 : x;
    return parabola(x) - parabola(held) + bands(x);
  }, 1e-4);

  AP7_SPECTRUM* single = curve(quadratic_and_bands);
  EXPECT_EQ(multipoint(single, AP7C_POINTS_POLYNOMIAL, 3, table({{kMean, 50, 50}})), 1u);
  expect_values(single, [](double x) { return quadratic_and_bands(x) - parabola(50.0); }, 1e-5);
}

// Kind 4 takes the lowest point and kind 5 the highest (the first on
// ties); mode 0 only finds the points and skips the parabola regions.
TEST_F(BaselineRemoval, RegionPointsAndModeZero) {
  std::vector<double> y = {3, 1, 4, 1, 5, 9, 2, 6, 5, 3, 5};
  AP7_SPECTRUM* spectrum = spectrum_of(0.0f, 10.0f, y, kAbsorbance);
  float x = 0.0f;
  float value = 0.0f;
  EXPECT_EQ(ap7c_RegionPoint(spectrum, 4, 0.0f, 10.0f, &x, &value), 1u);
  EXPECT_EQ(x, 1.0f);
  EXPECT_EQ(value, 1.0f);
  EXPECT_EQ(ap7c_RegionPoint(spectrum, 5, 6.0f, 10.0f, &x, &value), 1u);
  EXPECT_EQ(x, 7.0f);
  EXPECT_EQ(value, 6.0f);
  EXPECT_EQ(ap7c_RegionPoint(spectrum, 3, 2.0f, 4.0f, &x, &value), 1u);
  EXPECT_EQ(x, 3.0f);
  EXPECT_FLOAT_EQ(value, 10.0f / 3.0f);
  const std::vector<float> before = values(spectrum);
  EXPECT_EQ(multipoint(spectrum, AP7C_POINTS_ONLY, 0, table({{kLowest, 0, 10}, {kParabola, 0, 10}})), 1u);
  EXPECT_EQ(values(spectrum), before);
  EXPECT_EQ(multipoint(spectrum, AP7C_POINTS_LINES, 0, nullptr), 1u);
  EXPECT_EQ(values(spectrum), before);
}

// Only parabola regions: each removes the parabola fitted over it.
TEST_F(BaselineRemoval, ParabolaRegionsAloneRemoveTheirParabolas) {
  AP7_SPECTRUM* spectrum = curve(parabola);
  EXPECT_EQ(multipoint(spectrum, AP7C_POINTS_SPLINE, 0, table({{kParabola, 10, 40}, {kParabola, 60, 90}})), 1u);
  expect_values(spectrum, zero, 1e-5);
}

// Missing points stay missing under every curve.
TEST_F(BaselineRemoval, MissingPointsStayMissing) {
  for (uint16_t mode : {AP7C_POINTS_LINES, AP7C_POINTS_SPLINE, AP7C_POINTS_POLYNOMIAL}) {
    AP7_SPECTRUM* spectrum = curve(line_and_bands);
    ap7b_GetDataPtr(spectrum)[20] = AP1_GetNaNSG_MATH();
    EXPECT_EQ(multipoint(spectrum, mode, 1, table({{kMean, 0, 10}, {kMean, 45, 55}, {kMean, 90, 100}})), 1u);
    const std::vector<float> y = values(spectrum);
    EXPECT_TRUE(std::isnan(y[20])) << mode;
    EXPECT_NEAR(y[50], bands(50.0), 1e-4) << mode;
  }
}

// A region with no present point makes the result 0 before anything is
// subtracted; two regions giving the same X make the degree-1 normal
// equations singular; a degree above the cap is refused; a table that is
// not three columns wide is refused. The spectrum is unchanged each time.
TEST_F(BaselineRemoval, RefusalsLeaveTheSpectrumUnchanged) {
  AP7_SPECTRUM* spectrum = curve(line_and_bands);
  float* y = ap7b_GetDataPtr(spectrum);
  for (int i = 60; i <= 64; ++i) y[i] = AP1_GetNaNSG_MATH();
  const std::vector<float> before = values(spectrum);
  auto same = [&] { return same_values(values(spectrum), before); };
  EXPECT_EQ(multipoint(spectrum, AP7C_POINTS_LINES, 0, table({{kMean, 0, 10}, {kMean, 60, 64}})), 0u);
  EXPECT_TRUE(same());
  EXPECT_EQ(multipoint(spectrum, AP7C_POINTS_POLYNOMIAL, 1, table({{kMean, 9, 11}, {kLowest, 10, 10}})), 0u);
  EXPECT_TRUE(same());
  EXPECT_EQ(multipoint(spectrum, AP7C_POINTS_POLYNOMIAL, 17, table({{kMean, 0, 10}, {kMean, 90, 100}})), 0u);
  EXPECT_TRUE(same());
  EXPECT_EQ(multipoint(spectrum, 4, 0, table({{kMean, 0, 10}})), 0u);
  EXPECT_EQ(multipoint(spectrum, AP7C_POINTS_LINES, 0, keep(arraytest::make(2, 2))), 0u);
  EXPECT_TRUE(same());
}
