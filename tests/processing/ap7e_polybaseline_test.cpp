// The iterative polynomial baseline: a known polynomial under known peaks
// recovered, the passes and their limit shown on closed forms, peaks down,
// the refusals; the two steps of a pass; and the X-inside test.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "processing/processing_fixture.h"

using namespace spectrumtest;

namespace {

constexpr uint32_t kTransmittance = 23;

// The baseline and the peaks of the tests over X 0..200.
double baseline_at(double x) { return 0.5 + 0.004 * x - 1.5e-5 * x * x; }
double peaks_at(double x) {
  return std::exp(-(x - 60) * (x - 60) / (2 * 3.0 * 3.0)) + 0.6 * std::exp(-(x - 140) * (x - 140) / (2 * 4.0 * 4.0));
}

// The tolerance within which the recovered difference matches the peaks.
constexpr double kRecovered = 2e-3;

class PolyBaseline : public SpectrumTest {
 protected:
  // 201 points from first to last X (0 and 200, either way round) holding
  // sign_b * baseline + sign_p * peaks.
  static AP7_SPECTRUM* sample(float first_x, float last_x, double peak_sign, uint32_t y_units) {
    std::vector<float> y(201);
    for (int i = 0; i < 201; ++i) {
      const double x = first_x + (last_x - first_x) * i / 200.0;
      y[i] = static_cast<float>(baseline_at(x) + peak_sign * peaks_at(x));
    }
    AP7_SPECTRUM* spectrum = make_axis(first_x, last_x, y);
    record(spectrum).y_units = y_units;
    std::strcpy(record(spectrum).title, "Sample");
    return spectrum;
  }

  static AP7_SPECTRUM* fit(AP7_SPECTRUM* spectrum, float x1, float x2, uint16_t order, uint16_t offset, int32_t passes,
                           uint16_t direction) {
    AP7_POLYBASELINEEXPARM parameter{x1, x2, order, offset, passes, direction};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_POLY_BASELINE_EX, spectrum, &parameter));
  }

  static void expect_peaks(AP7_SPECTRUM* result, double sign, double shift = 0.0) {
    const AP41_HEADERDATA& made = record(result);
    const uint32_t n = made.points;
    const double first = made.first_x;
    const double step = n > 1 ? (double{made.last_x} - first) / (n - 1) : 0.0;
    const std::vector<float> y = values(result);
    ASSERT_EQ(y.size(), n);
    for (uint32_t i = 0; i < n; ++i) {
      const double x = first + step * i;
      EXPECT_NEAR(y[i], sign * peaks_at(x) + shift, kRecovered) << "x " << x;
    }
  }
};

// x -10..10, 1 + x/2 with one point at x = 0 moved by `spike`.
AP7_SPECTRUM* line_with_spike(float spike) {
  std::vector<float> y(21);
  for (int i = 0; i < 21; ++i) y[i] = 1.0f + 0.5f * static_cast<float>(i - 10);
  y[10] += spike;
  AP7_SPECTRUM* spectrum = make_axis(-10.0f, 10.0f, y);
  record(spectrum).y_units = kAbsorbance;
  return spectrum;
}

std::vector<float> spike_result(float elsewhere, float centre) {
  std::vector<float> y(21, elsewhere);
  y[10] = centre;
  return y;
}

}  // namespace

TEST_F(PolyBaseline, RecoversAKnownQuadraticUnderThePeaksOnEitherAxis) {
  const auto counts = live_counts();
  for (bool falling : {false, true}) {
    AP7_SPECTRUM* spectrum = falling ? sample(200.0f, 0.0f, 1.0, kAbsorbance) : sample(0.0f, 200.0f, 1.0, kAbsorbance);
    const std::vector<float> before = values(spectrum);
    AP7_SPECTRUM* result = fit(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, 2, 0, AP7_BASELINE_DEFAULT_PASSES,
                               AP7_BASELINE_PEAKS_UP);
    ASSERT_NE(result, nullptr) << falling;
    expect_peaks(result, 1.0);
    EXPECT_STREQ(record(result).title, "*Sample");
    EXPECT_EQ(values(spectrum), before);
    EXPECT_EQ(destroy(result), 1u);
    EXPECT_EQ(destroy(spectrum), 1u);
  }
  EXPECT_EQ(live_counts(), counts);
}

TEST_F(PolyBaseline, FixedOptionsMessageShiftsTheRegionsMinimumToZero) {
  AP7_SPECTRUM* spectrum = sample(0.0f, 200.0f, 1.0, kAbsorbance);
  AP7_POLYBASELINEPARM parameter{20.0f, 180.0f, 2};
  auto* result = ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_POLY_BASELINE, spectrum, &parameter));
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(packed(record(result).points), 161u);
  EXPECT_EQ(packed(record(result).first_x), 20.0f);
  EXPECT_EQ(packed(record(result).last_x), 180.0f);
  const std::vector<float> y = values(result);
  float minimum = y[0];
  for (float v : y) minimum = std::min(minimum, v);
  EXPECT_EQ(minimum, 0.0f);
  expect_peaks(result, 1.0, y[0] - peaks_at(20.0));
  EXPECT_EQ(destroy(result), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(PolyBaseline, PeaksDownAreFittedNegatedAndTheSpectrumStaysAsItWas) {
  AP7_SPECTRUM* spectrum = sample(0.0f, 200.0f, -1.0, kTransmittance);
  const std::vector<float> before = values(spectrum);
  const uint32_t history[2] = {record(spectrum).history[0], record(spectrum).history[1]};
  // Its own direction is down: the fixed options refuse it.
  AP7_POLYBASELINEPARM fixed{AP_NOT_GIVEN, AP_NOT_GIVEN, 2};
  EXPECT_EQ(send(AP7_MSG_POLY_BASELINE, spectrum, &fixed), 0u);
  EXPECT_EQ(fit(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, 2, 0, -1, AP7_BASELINE_OWN_DIRECTION), nullptr);
  AP7_SPECTRUM* result = fit(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, 2, 0, -1, AP7_BASELINE_PEAKS_DOWN);
  ASSERT_NE(result, nullptr);
  expect_peaks(result, -1.0);
  EXPECT_EQ(values(spectrum), before);
  EXPECT_STREQ(record(spectrum).title, "Sample");
  EXPECT_EQ(packed(record(spectrum).history[0]), history[0]);
  EXPECT_EQ(packed(record(spectrum).history[1]), history[1]);
  EXPECT_EQ(destroy(result), 1u);
  EXPECT_EQ(destroy(spectrum), 1u);
}

// A line with one point raised by 21 at the centre of x: the fit through
// all points is the line raised by 21/21 = 1. The first pass drops the
// spike (20 above, more than half the largest deviation 20); the next fit
// is the line itself, drops nothing, and ends the passes.
TEST_F(PolyBaseline, PassesDropPointsAboveTheCurveUntilNoneDrops) {
  struct Case {
    float spike;
    int32_t passes;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {21.0f, 0, spike_result(-1.0f, 20.0f)},          // the final fit alone
      {21.0f, -1, spike_result(0.0f, 21.0f)},          // default passes
      {21.0f, 1, spike_result(0.0f, 21.0f)},           // one pass is enough
      {21.0f, INT32_MAX, spike_result(0.0f, 21.0f)},   // any limit ends
      {-21.0f, -1, spike_result(1.0f, -20.0f)},        // points below are kept
  };
  for (const Case& c : cases) {
    AP7_SPECTRUM* spectrum = line_with_spike(c.spike);
    AP7_SPECTRUM* result = fit(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, 1, 0, c.passes, AP7_BASELINE_PEAKS_UP);
    ASSERT_NE(result, nullptr) << c.spike << " " << c.passes;
    const std::vector<float> y = values(result);
    ASSERT_EQ(y.size(), c.expected.size());
    for (size_t i = 0; i < y.size(); ++i) EXPECT_NEAR(y[i], c.expected[i], 1e-4) << c.passes << " point " << i;
    EXPECT_EQ(destroy(result), 1u);
    EXPECT_EQ(destroy(spectrum), 1u);
  }
}

TEST_F(PolyBaseline, RefusesWhatCannotBeFitted) {
  const auto counts = live_counts();
  AP7_SPECTRUM* spectrum = sample(0.0f, 200.0f, 1.0, kAbsorbance);
  const float nan = AP1_GetNaNSG_MATH();
  for (int i = 50; i <= 70; ++i) ap7a_SetValueAtX(spectrum, static_cast<float>(i), nan);
  struct Case {
    float x1;
    float x2;
    uint16_t order;
    uint16_t direction;
  };
  const Case cases[] = {
      {50.0f, 70.0f, 2, 1},        // no present point in the region
      {300.0f, 400.0f, 2, 1},      // the region misses the axis
      {nan, 100.0f, 2, 1},         // a limit that is not a number
      {0.0f, 200.0f, 0, 1},        // orders the fit and the evaluation cannot take
      {0.0f, 200.0f, 8, 1},
      {0.0f, 200.0f, 2, 3},        // no such direction
  };
  for (const Case& c : cases)
    EXPECT_EQ(fit(spectrum, c.x1, c.x2, c.order, 1, -1, c.direction), nullptr) << c.x1 << " " << c.order;
  EXPECT_EQ(ap7e_IterativeBaselineFit(nullptr, 0.0f, 1.0f, 1, 1, -1, 1), nullptr);
  EXPECT_EQ(destroy(spectrum), 1u);
  EXPECT_EQ(live_counts(), counts);
}

TEST_F(PolyBaseline, APassClipsPointsFarAboveTheCurveAndMissingOnes) {
  const float nan = AP1_GetNaNSG_MATH();
  AP7_SPECTRUM* a = make_axis(0.0f, 4.0f, {1.0f, 5.0f, 2.0f, nan, 3.0f});
  AP7_SPECTRUM* b = make_axis(0.0f, 4.0f, {1.0f, 1.0f, 3.0f, 0.0f, 0.0f});
  AP7_SPECTRUM* short_b = make_axis(0.0f, 2.0f, {1.0f, 1.0f, 3.0f});
  EXPECT_EQ(ap7e_MaxAbsDifference(a, b, AP_NOT_GIVEN, AP_NOT_GIVEN), 4.0f);
  EXPECT_EQ(ap7e_MaxAbsDifference(a, b, 2.0f, 4.0f), 3.0f);
  EXPECT_EQ(ap7e_MaxAbsDifference(a, b, 10.0f, 20.0f), 0.0f);
  // Only the points both hold are compared.
  EXPECT_EQ(ap7e_MaxAbsDifference(a, short_b, 2.0f, 4.0f), 1.0f);
  EXPECT_EQ(ap7e_ClipAboveBaseline(a, short_b, 0.5f, 2.0f, 4.0f), 1u);
  EXPECT_EQ(values(a)[4], 3.0f);
  EXPECT_EQ(ap7e_ClipAboveBaseline(a, b, 2.0f, AP_NOT_GIVEN, AP_NOT_GIVEN), 1u);
  const std::vector<float> y = values(a);
  EXPECT_EQ(y[0], 1.0f);  // on the curve
  EXPECT_TRUE(std::isnan(y[1]));  // 4 above
  EXPECT_EQ(y[2], 2.0f);  // below
  EXPECT_TRUE(std::isnan(y[3]));
  EXPECT_TRUE(std::isnan(y[4]));  // 3 above
  for (AP7_SPECTRUM* spectrum : {a, b, short_b}) EXPECT_EQ(destroy(spectrum), 1u);
}

TEST_F(PolyBaseline, XInsideAnswersForThePointsOfTheAxis) {
  AP7_SPECTRUM* rising = make_ramp(5, 10.0f, 14.0f);
  AP7_SPECTRUM* falling = make_ramp(5, 14.0f, 10.0f);
  struct Case {
    float x;
    uint32_t inside;
  };
  const Case cases[] = {{10.0f, 1}, {14.0f, 1}, {12.3f, 1}, {14.4f, 1}, {9.6f, 1}, {14.6f, 0},
                        {9.4f, 0},  {-1e30f, 0}, {AP1_GetNaNSG_MATH(), 0}};
  for (AP7_SPECTRUM* spectrum : {rising, falling}) {
    for (const Case& c : cases) {
      float x = c.x;
      EXPECT_EQ(send(AP7_MSG_X_INSIDE, spectrum, &x), c.inside) << c.x;
    }
  }
  EXPECT_EQ(ap7e_XInRange(nullptr, 12.0f), 0u);
  EXPECT_EQ(destroy(rising), 1u);
  EXPECT_EQ(destroy(falling), 1u);
}
