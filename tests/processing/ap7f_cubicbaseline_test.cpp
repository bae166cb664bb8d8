// The robust piecewise-cubic baseline: known flat-ended baselines (one
// cubic, and two quadratic pieces joined at a point no knot falls on)
// recovered under known bands; the knot count lowered to the points and
// capped; flat ends; a segment with fewer points than coefficients (a
// singular normal matrix) failing cleanly.
#include <cmath>
#include <cstdint>
#include <vector>

#include "processing/baseline_fixture.h"

using namespace spectrumtest;
using namespace baselinetest;

namespace {

class CubicBaseline : public BaselineTest {
 protected:
  AP7_SPECTRUM* run(AP7_SPECTRUM* spectrum, AP7F_ROBUSTPARM p, AP4_ARRAY** result) {
    return robust(AP7_MSG_ROBUST_CUBIC_BASELINE, spectrum, p, result);
  }
};

constexpr int kPoints = 301;
double u_of(int i) { return i / static_cast<double>(kPoints - 1); }

// Flat at both ends: one cubic (smoothstep), and two quadratic pieces
// meeting at u = 0.4 with a jump in curvature there.
double smoothstep(double u) { return 0.3 + 0.2 * (3.0 * u * u - 2.0 * u * u * u); }
double two_pieces(double u) {
  const double a = 0.4;
  return 0.2 + 0.3 * (u < a ? u * u / a : 1.0 - (1.0 - u) * (1.0 - u) / (1.0 - a));
}
double bands(int i) { return 0.6 * gaussian(i, 75.0, 2.0) + 0.4 * gaussian(i, 210.0, 3.0); }

}  // namespace

// The recovered baseline lies within 0.002 of the known one for the cubic
// (which the chain can follow exactly) and within 0.004 for the two pieces
// (whose curvature jump falls between knots), noise 0.001 and bands of
// 0.4 to 0.6 added, peaks up or down, for every continuity order.
TEST_F(CubicBaseline, RecoversKnownFlatEndedBaselinesUnderBands) {
  struct Case {
    double (*baseline)(double);
    double tolerance;
    uint32_t knots;
    uint16_t continuity;
    double sign;
    uint32_t y_units;
    float w0;
  } cases[] = {
      {smoothstep, 0.002, 3, 2, 1.0, kAbsorbance, 1.0f},
      {smoothstep, 0.002, 2, 0, 1.0, kAbsorbance, 0.1f},
      {smoothstep, 0.002, 4, 1, -1.0, kTransmittance, 0.1f},
      {two_pieces, 0.004, 6, 2, 1.0, kAbsorbance, 1.0f},
      {two_pieces, 0.004, 6, 1, -1.0, kTransmittance, 1.0f},
  };
  const std::vector<double> jitter = noise(kPoints, 0.001);
  for (const Case& c : cases) {
    std::vector<double> y(kPoints);
    for (int i = 0; i < kPoints; ++i) y[i] = c.baseline(u_of(i)) + c.sign * bands(i) + jitter[i];
    AP7_SPECTRUM* spectrum = spectrum_of(500.0f, 1700.0f, y, c.y_units);
    const std::vector<float> before = values(spectrum);
    // The corrected output is checked once.
    const bool first = &c == &cases[0];
    for (uint16_t output : {AP7F_OUTPUT_BASELINE, AP7F_OUTPUT_CORRECTED}) {
      if (output == AP7F_OUTPUT_CORRECTED && !first) continue;
      AP7F_ROBUSTPARM p = robust_block(c.knots, AP7F_DIRECTION_OWN, output, 3.0f, c.w0);
      p.continuity = c.continuity;
      AP4_ARRAY* result = nullptr;
      AP7_SPECTRUM* made = run(spectrum, p, &result);
      ASSERT_NE(made, nullptr) << c.knots << " " << c.continuity;
      const std::vector<float> cells = columns(result);
      EXPECT_EQ(cells[AP7F_COLUMN_SIZE], static_cast<float>(c.knots));
      EXPECT_EQ(cells[AP7F_COLUMN_POINTS], static_cast<float>(kPoints));
      const std::vector<float> out = values(made);
      ASSERT_EQ(out.size(), static_cast<size_t>(kPoints));
      for (int i = 0; i < kPoints; ++i) {
        const double known = c.baseline(u_of(i));
        const double expected = output == AP7F_OUTPUT_BASELINE ? known : y[i] - known;
        ASSERT_NEAR(out[i], expected, c.tolerance)
            << "i " << i << " knots " << c.knots << " continuity " << c.continuity << " output " << output;
      }
    }
    EXPECT_EQ(values(spectrum), before);
  }
}

// A rising line cannot be followed at the ends: the baseline is flat there
// whatever the data do (the first step is far below the data's step of 1).
TEST_F(CubicBaseline, BaselineIsFlatAtBothEnds) {
  std::vector<double> y(200);
  for (int i = 0; i < 200; ++i) y[i] = i;
  AP7_SPECTRUM* spectrum = spectrum_of(0.0f, 199.0f, y, kAbsorbance);
  for (uint16_t continuity : {0, 1, 2}) {
    AP7F_ROBUSTPARM p = robust_block(3, AP7F_DIRECTION_UP, AP7F_OUTPUT_BASELINE, 3.0f, 1.0f);
    p.continuity = continuity;
    AP4_ARRAY* result = nullptr;
    AP7_SPECTRUM* made = run(spectrum, p, &result);
    keep(result);
    ASSERT_NE(made, nullptr) << continuity;
    const std::vector<float> out = values(made);
    EXPECT_LT(std::fabs(out[1] - out[0]), 0.1f) << continuity;
    EXPECT_LT(std::fabs(out[199] - out[198]), 0.1f) << continuity;
  }
}

// Ten points and K = 3: K becomes 10/4 - 1 = 1, and the second placement
// leaves 6 and 4 points to the two segments. Eight points and K = 1: the
// knot falls after the fifth point, the last segment holds 3 points for
// its 4 coefficients, its normal matrix is singular and the operation
// fails with nothing leaked and the out-field untouched. K = 64 is beyond
// what is taken.
TEST_F(CubicBaseline, KnotsAreLoweredToThePointsAndSingularFitsFail) {
  std::vector<double> ten(10);
  for (int i = 0; i < 10; ++i) ten[i] = 1.0 + 0.01 * i * (9 - i);
  AP7_SPECTRUM* spectrum = spectrum_of(0.0f, 9.0f, ten, kAbsorbance);
  AP4_ARRAY* result = nullptr;
  ASSERT_NE(run(spectrum, robust_block(3, AP7F_DIRECTION_UP, AP7F_OUTPUT_BASELINE, 3.0f, 1.0f), &result), nullptr);
  EXPECT_EQ(columns(result)[AP7F_COLUMN_SIZE], 1.0f);

  std::vector<float> eight(8);
  for (int i = 0; i < 8; ++i) eight[i] = 1.0f + 0.1f * static_cast<float>(i * i);
  expect_refusals(AP7_MSG_ROBUST_CUBIC_BASELINE, eight, {1u, 64u});
  // Three points are too few for even one segment.
  expect_refusals(AP7_MSG_ROBUST_CUBIC_BASELINE, {1.0f, 2.0f, 3.0f}, {0u});
}
