// The robust polynomial baseline: a known polynomial under known bands
// recovered, peaks up and down; classes and counts worked by hand; the
// thinning of a long region; the band scan on hand-made values and the
// derivative-shaped bands of a synthetic spectrum found; the order lowered
// and capped; near-singular normal equations and bad regions failing
// cleanly with the out-field untouched.
#include <cmath>
#include <cstdint>
#include <vector>

#include "processing/baseline_fixture.h"

using namespace spectrumtest;
using namespace baselinetest;

namespace {

class RobustBaseline : public BaselineTest {
 protected:
  static AP7F_ROBUSTPARM block(uint32_t order, uint16_t direction, uint16_t output, float k, float w0) {
    return robust_block(order, direction, output, k, w0);
  }
  AP7_SPECTRUM* run(AP7_SPECTRUM* spectrum, AP7F_ROBUSTPARM p, AP4_ARRAY** result) {
    return robust(AP7_MSG_ROBUST_POLY_BASELINE, spectrum, p, result);
  }
};

// Over X 1000..2000 (501 points): a quadratic baseline, two bands and a
// little noise.
double quadratic_baseline(double x) {
  const double u = (x - 1500.0) / 500.0;
  return 0.3 + 0.1 * u - 0.08 * u * u;
}
double bands(double x) { return 0.8 * gaussian(x, 1300.0, 8.0) + 0.5 * gaussian(x, 1700.0, 12.0); }

}  // namespace

// The bands stand well outside any band of k deviations around the
// baseline, so the fits end on the baseline's own points: the recovered
// baseline is the known one to within the noise (0.001) plus 0.002.
TEST_F(RobustBaseline, RecoversAKnownQuadraticUnderBandsPointingUpOrDown) {
  struct Case {
    double sign;
    uint32_t y_units;
    uint16_t direction;
    float w0;
  } cases[] = {
      {1.0, kAbsorbance, AP7F_DIRECTION_UP, 1.0f},
      {1.0, kAbsorbance, AP7F_DIRECTION_OWN, 0.1f},
      {1.0, kAbsorbance, AP7F_DIRECTION_DECIDED, 1.0f},
      {-1.0, kTransmittance, AP7F_DIRECTION_OWN, 0.1f},
      {-1.0, kTransmittance, AP7F_DIRECTION_BOTH, 1.0f},
  };
  const std::vector<double> jitter = noise(501, 0.001);
  for (const Case& c : cases) {
    std::vector<double> y(501);
    for (int i = 0; i < 501; ++i) {
      const double x = 1000.0 + 2.0 * i;
      y[i] = quadratic_baseline(x) + c.sign * bands(x) + jitter[i];
    }
    AP7_SPECTRUM* spectrum = spectrum_of(1000.0f, 2000.0f, y, c.y_units);
    const std::vector<float> before = values(spectrum);
    for (uint16_t output : {AP7F_OUTPUT_BASELINE, AP7F_OUTPUT_CORRECTED}) {
      AP4_ARRAY* result = nullptr;
      AP7_SPECTRUM* made = run(spectrum, block(2, c.direction, output, 3.0f, c.w0), &result);
      ASSERT_NE(made, nullptr) << c.direction;
      const std::vector<float> cells = columns(result);
      EXPECT_EQ(cells[AP7F_COLUMN_SIZE], 2.0f);
      EXPECT_EQ(cells[AP7F_COLUMN_POINTS], 501.0f);
      const std::vector<float> out = values(made);
      ASSERT_EQ(out.size(), 501u);
      for (int i = 0; i < 501; ++i) {
        const double x = 1000.0 + 2.0 * i;
        const double expected = output == AP7F_OUTPUT_BASELINE ? quadratic_baseline(x) : y[i] - quadratic_baseline(x);
        ASSERT_NEAR(out[i], expected, 0.003) << "x " << x << " direction " << c.direction << " output " << output;
      }
    }
    EXPECT_EQ(values(spectrum), before);
  }
}

// Zeros with a spike of 5 at index 10, a run of five 5s at 20..24 and a run
// of five -5s at 30..34 (40 points), order 0, k = 1.5. First fit: the mean
// 5/40, r = 2.62: the spike and both runs stand outside; every later fit is 0
// with r = 0, so they stay outside and the zeros are at or below 0 (-2).
TEST_F(RobustBaseline, ClassesAndCountsOfAHandWorkedCase) {
  std::vector<double> y(40, 0.0);
  y[10] = 5.0;
  for (int i = 20; i < 25; ++i) y[i] = 5.0;
  for (int i = 30; i < 35; ++i) y[i] = -5.0;
  AP7_SPECTRUM* spectrum = spectrum_of(0.0f, 39.0f, y, kAbsorbance);
  AP4_ARRAY* result = nullptr;
  AP7_SPECTRUM* made = run(spectrum, block(0, AP7F_DIRECTION_UP, AP7F_OUTPUT_CLASSES, 1.5f, 1.0f), &result);
  ASSERT_NE(made, nullptr);
  // Order, points, outside, positive, at or below 0, above, below, runs
  // longer than 4.
  EXPECT_EQ(columns(result), (std::vector<float>{0, 40, 11, 6, 34, 6, 5, 2}));
  std::vector<float> expected(40, -0.2f);
  expected[0] = expected[39] = 0.2f;
  expected[10] = 1.0f;
  for (int i = 20; i < 25; ++i) expected[i] = 1.0f;
  for (int i = 30; i < 35; ++i) expected[i] = -1.0f;
  EXPECT_EQ(values(made), expected);

  AP7_SPECTRUM* baseline = run(spectrum, block(0, AP7F_DIRECTION_UP, AP7F_OUTPUT_BASELINE, 1.5f, 1.0f), &result);
  keep(result);
  ASSERT_NE(baseline, nullptr);
  EXPECT_EQ(values(baseline), std::vector<float>(40, 0.0f));
}

// With output 2 and no band scan only the five class values appear.
TEST_F(RobustBaseline, ClassOutputHoldsOnlyTheFiveClassValues) {
  std::vector<double> y(301);
  const std::vector<double> jitter = noise(301, 0.01);
  for (int i = 0; i < 301; ++i) y[i] = 0.2 + 0.001 * i + 0.6 * gaussian(i, 150.0, 5.0) + jitter[i];
  AP7_SPECTRUM* spectrum = spectrum_of(400.0f, 1000.0f, y, kAbsorbance);
  AP4_ARRAY* result = nullptr;
  AP7_SPECTRUM* made = run(spectrum, block(1, AP7F_DIRECTION_UP, AP7F_OUTPUT_CLASSES, 2.0f, 1.0f), &result);
  ASSERT_NE(made, nullptr);
  keep(result);
  const std::vector<float> out = values(made);
  for (float v : out) EXPECT_TRUE(v == 1.0f || v == 0.2f || v == 0.0f || v == -0.2f || v == -1.0f) << v;
  EXPECT_EQ(out[150], 1.0f);  // the band's top
}

// 4000 points with thinning: step 4, the points 0, 4, ..., 3996 and the
// last enter the fit (1001); the others are never classed (0.0).
TEST_F(RobustBaseline, ThinningFitsEveryFourthPointOfALongRegion) {
  std::vector<double> y(4000);
  const std::vector<double> jitter = noise(4000, 0.01);
  for (int i = 0; i < 4000; ++i) y[i] = 1.0 + 0.0001 * i + jitter[i];
  AP7_SPECTRUM* spectrum = spectrum_of(0.0f, 3999.0f, y, kAbsorbance);
  AP7F_ROBUSTPARM p = block(1, AP7F_DIRECTION_UP, AP7F_OUTPUT_CLASSES, 3.0f, 1.0f);
  p.thinning = 1;
  AP4_ARRAY* result = nullptr;
  AP7_SPECTRUM* made = run(spectrum, p, &result);
  ASSERT_NE(made, nullptr);
  keep(result);
  const std::vector<float> out = values(made);
  int classed = 0;
  for (int i = 0; i < 4000; ++i) {
    const bool fitted = i % 4 == 0 || i == 3999;
    if (fitted) ++classed;
    EXPECT_EQ(out[i] != 0.0f, fitted) << i;
  }
  EXPECT_EQ(classed, 1001);
  // The smoothed baseline is still the line.
  p.output = AP7F_OUTPUT_BASELINE;
  AP7_SPECTRUM* baseline = run(spectrum, p, &result);
  keep(result);
  ASSERT_NE(baseline, nullptr);
  const std::vector<float> line = values(baseline);
  for (int i = 0; i < 4000; i += 97) EXPECT_NEAR(line[i], 1.0 + 0.0001 * i, 0.002) << i;
}

TEST_F(RobustBaseline, BandScanOnHandMadeValues) {
  struct Case {
    std::vector<float> in;
    std::vector<float> out;
    int32_t up_down;
    int32_t down_up;
  } cases[] = {
      // Three up, three down and an inside value: one up-down feature.
      {{1, 1, 1, -1, -1, -1, 0.2f}, {1, 1, 1, 1, 1, 1, 0}, 1, 0},
      // Two up and four down: the falling candidate opens at the first
      // down and, unfinished, is cleared.
      {{1, 1, -1, -1, -1, -1, 0.2f}, {0, 0, 0, 0, 0, 0, 0}, 0, 0},
      // The mirror image.
      {{-1, -1, -1, 1, 1, 1, 0}, {-1, -1, -1, -1, -1, -1, 0}, 0, 1},
      // A second run of two is too short.
      {{1, 1, 1, 1, -1, -1, 0}, {0, 0, 0, 0, 0, 0, 0}, 0, 0},
      // Three gaps end a candidate; a gap then an up restarts it.
      {{1, 0.2f, 0.2f, 0.2f, 1, 0.2f, 1, 1, 1, -1, -1, -1, -0.2f},
       {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 0}, 1, 0},
      // A feature's end value of its first side opens the next candidate.
      {{1, 1, 1, -1, -1, -1, 1, 1, 1, -1, -1, -1, 0}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0}, 2, 0},
  };
  for (const Case& c : cases) {
    std::vector<float> v = c.in;
    int32_t features[2] = {-1, -1};
    const int32_t marked = ap7f_BandScan(v.data(), static_cast<int32_t>(v.size()), 0, features);
    EXPECT_EQ(v, c.out);
    EXPECT_EQ(features[0], c.up_down);
    EXPECT_EQ(features[1], c.down_up);
    int32_t ones = 0;
    for (float value : c.out) ones += value != 0.0f;
    EXPECT_EQ(marked, ones);
  }
  // Values before the start are left alone.
  std::vector<float> v = {0.2f, 1, 1, 1, -1, -1, -1, 0};
  int32_t features[2] = {};
  EXPECT_EQ(ap7f_BandScan(v.data(), 8, 1, features), 6);
  EXPECT_EQ(v, (std::vector<float>{0.2f, 1, 1, 1, 1, 1, 1, 0}));
}

// An absorbance spectrum over 400..4000 with a sloping baseline, noise of
// 0.002 and two derivative-shaped residues: up then down at 1500, down then
// up at 3000. The quality checks' settings find exactly these two, and
// the values below 650 stay as classes.
TEST_F(RobustBaseline, BandScanFindsDerivativeShapedBands) {
  const int n = 1801;
  std::vector<double> y(n);
  const std::vector<double> jitter = noise(n, 0.002);
  auto derivative = [](double x, double centre) {
    return -(x - centre) / 10.0 * gaussian(x, centre, 10.0) * 1.6487;  // lobes of height 0.1
  };
  for (int i = 0; i < n; ++i) {
    const double x = 400.0 + 2.0 * i;
    y[i] = 0.5 + 0.00005 * x + 0.1 * derivative(x, 1500.0) - 0.1 * derivative(x, 3000.0) + jitter[i];
  }
  AP7_SPECTRUM* spectrum = spectrum_of(400.0f, 4000.0f, y, kAbsorbance);
  AP7F_ROBUSTPARM p = block(1, AP7F_DIRECTION_OWN, AP7F_OUTPUT_CLASSES, 3.0f, 1.0f);
  p.band_scan = 1;
  p.absorbance = 1;
  AP4_ARRAY* result = nullptr;
  AP7_SPECTRUM* made = run(spectrum, p, &result);
  ASSERT_NE(made, nullptr);
  const std::vector<float> cells = columns(result);
  EXPECT_EQ(cells[AP7F_COLUMN_POSITIVE], 1.0f);
  EXPECT_EQ(cells[AP7F_COLUMN_NEGATIVE], 1.0f);
  EXPECT_EQ(cells[AP7F_COLUMN_ABOVE], 0.0f);
  const std::vector<float> out = values(made);
  int32_t marked = 0;
  for (int i = 125; i < n; ++i) {  // 650 is index 125
    const double x = 400.0 + 2.0 * i;
    if (out[i] != 0.0f) ++marked;
    if (std::fabs(x - 1500.0) < 12.0) {
      EXPECT_EQ(out[i], 1.0f) << x;
    } else if (std::fabs(x - 3000.0) < 12.0) {
      EXPECT_EQ(out[i], -1.0f) << x;
    } else if (std::fabs(x - 1500.0) > 40.0 && std::fabs(x - 3000.0) > 40.0) {
      EXPECT_EQ(out[i], 0.0f) << x;
    }
  }
  EXPECT_EQ(cells[AP7F_COLUMN_OUTSIDE], static_cast<float>(marked));
  for (int i = 0; i < 125; ++i) EXPECT_NE(out[i], 0.0f) << i;  // classes, never 0 unthinned
}

// Three points with order 5: order 2 is used. Order 16 is the most taken;
// on a long region its normal equations are hopelessly conditioned, and
// the fit fails instead of returning noise. The out-field stays as it was.
TEST_F(RobustBaseline, OrderIsLoweredToThePointsAndCappedAndIllConditionedFitsFail) {
  AP7_SPECTRUM* three = spectrum_of(0.0f, 2.0f, {1.0, 2.0, 4.0}, kAbsorbance);
  AP4_ARRAY* result = nullptr;
  AP7_SPECTRUM* made = run(three, block(5, AP7F_DIRECTION_UP, AP7F_OUTPUT_BASELINE, 3.0f, 1.0f), &result);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(columns(result)[AP7F_COLUMN_SIZE], 2.0f);
  const std::vector<float> out = values(made);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(out[i], (std::vector<float>{1, 2, 4})[i], 1e-5);

  std::vector<float> y(2000);
  for (int i = 0; i < 2000; ++i) y[i] = static_cast<float>(std::sin(i / 50.0));
  expect_refusals(AP7_MSG_ROBUST_POLY_BASELINE, y, {16u, 17u});
}

TEST_F(RobustBaseline, RefusesWhatItCannotFit) {
  std::vector<double> missing(10, std::nan(""));
  AP7_SPECTRUM* blank = spectrum_of(0.0f, 9.0f, missing, kAbsorbance);
  std::vector<double> y(10, 1.0);
  AP7_SPECTRUM* spectrum = spectrum_of(0.0f, 9.0f, y, kAbsorbance);
  AP4_ARRAY* untouched = nullptr;
  EXPECT_EQ(run(blank, block(1, AP7F_DIRECTION_UP, AP7F_OUTPUT_BASELINE, 3.0f, 1.0f), &untouched), nullptr);
  AP7F_ROBUSTPARM p = block(1, AP7F_DIRECTION_UP, AP7F_OUTPUT_BASELINE, 3.0f, 1.0f);
  p.x1 = std::nanf("");
  EXPECT_EQ(run(spectrum, p, &untouched), nullptr);
  p.x1 = 20.0f;  // beyond the data
  p.x2 = 30.0f;
  EXPECT_EQ(run(spectrum, p, &untouched), nullptr);
  EXPECT_EQ(untouched, nullptr);
  EXPECT_EQ(ap7f_RobustPolynomialBaseline(nullptr, &p), nullptr);
}
