// The mid-IR single-beam spline baseline on a synthetic single beam whose
// -ln is a known quadratic: the cubics through the anchors reproduce a
// quadratic exactly (their end slopes come from parabolas), so the baseline
// is known in closed form wherever it is drawn. Shown: the drawn range and
// the kept ends, the absorption output, the pruning of water-band anchors,
// the anchor lists of the resolution classes, the region, a falling axis,
// non-positive values and the refusals.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "processing/baseline_fixture.h"

using namespace spectrumtest;
using namespace baselinetest;

namespace {

constexpr uint32_t kSingleBeam = 15;
constexpr int kPoints = 3601;  // X 400..4000 at 1.0
constexpr double kRelative = 1e-4;

double q_of(double x) { return 0.5 + 4e-8 * (x - 2200.0) * (x - 2200.0); }
double known(double x) { return std::exp(-q_of(x)); }
double x_of(int i) { return 400.0 + i; }
int index_of(double x) { return static_cast<int>(std::lround(x - 400.0)); }

class MirSpline : public BaselineTest {
 protected:
  // The single beam exp(-Q), times `factor` at the points within 2 of each
  // of the given X.
  AP7_SPECTRUM* single_beam(const std::vector<double>& changed = {}, double factor = 1.0, int32_t post_peak = 8192) {
    std::vector<double> y(kPoints);
    for (int i = 0; i < kPoints; ++i) y[i] = known(x_of(i));
    for (double x : changed)
      for (int i = index_of(x) - 2; i <= index_of(x) + 2; ++i) y[i] *= factor;
    AP7_SPECTRUM* spectrum = spectrum_of(400.0f, 4000.0f, y, kSingleBeam);
    record(spectrum).NumPostPeakPts = static_cast<uint32_t>(post_peak);
    return spectrum;
  }

  AP7_SPECTRUM* baseline(AP7_SPECTRUM* spectrum, uint16_t output = 0, uint16_t mode = 2, float x1 = 0.0f,
                         float x2 = 0.0f) {
    AP7G_MIRSPLINEPARM p{output, mode, x1, x2};
    return keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_MIR_SPLINE_BASELINE, spectrum, &p)));
  }
};

}  // namespace

// The first interval drawn runs from 3987 to 3965 down to the last, 449 to
// 415 (the stencils of the others reach past 400 or 4000); the points
// outside keep the input, marked here by a factor of 1.5.
TEST_F(MirSpline, DrawsTheKnownBaselineBetweenTheOuterAnchorsAndKeepsTheEnds) {
  AP7_SPECTRUM* spectrum = single_beam({3991.0, 3994.0, 407.0, 410.0}, 1.5);
  const std::vector<float> input = values(spectrum);
  for (uint16_t mode : {uint16_t{2}, uint16_t{1}, uint16_t{0}}) {
    AP7_SPECTRUM* made = baseline(spectrum, 0, mode);
    ASSERT_NE(made, nullptr) << mode;
    const std::vector<float> y = values(made);
    ASSERT_EQ(y.size(), static_cast<size_t>(kPoints));
    for (int i = 0; i < kPoints; ++i) {
      const double x = x_of(i);
      if (x >= 415.0 && x <= 3987.0) {
        ASSERT_NEAR(y[i] / known(x), 1.0, kRelative) << "x " << x << " mode " << mode;
      } else {
        ASSERT_EQ(y[i], input[i]) << "x " << x << " mode " << mode;
      }
    }
  }
}

// An absorption band between two anchors: 1 - sample/baseline is the
// band's 1 - exp(-B); undrawn points give 0.
TEST_F(MirSpline, AbsorptionOutputIsOneLessSampleOverBaseline) {
  std::vector<double> y(kPoints);
  auto band = [](double x) { return 0.3 * gaussian(x, 2340.0, 8.0); };
  for (int i = 0; i < kPoints; ++i) y[i] = known(x_of(i)) * std::exp(-band(x_of(i)));
  AP7_SPECTRUM* spectrum = spectrum_of(400.0f, 4000.0f, y, kSingleBeam);
  record(spectrum).NumPostPeakPts = 8192;
  AP7_SPECTRUM* made = baseline(spectrum, AP7G_MIR_ABSORPTION);
  ASSERT_NE(made, nullptr);
  const std::vector<float> out = values(made);
  for (int i = 0; i < kPoints; ++i) {
    const double x = x_of(i);
    const double expected = x >= 415.0 && x <= 3987.0 ? 1.0 - std::exp(-band(x)) : 0.0;
    ASSERT_NEAR(out[i], expected, kRelative) << "x " << x;
  }
}

// A dip at 1725.5, a candidate of the 1881-1586 water group, stands above
// the line in -ln and is dropped: the cubic spans it. The same dip at 2146,
// an anchor of no group, is followed.
TEST_F(MirSpline, WaterBandAnchorsAboveTheLineAreDropped) {
  AP7_SPECTRUM* spectrum = single_beam({1725.5, 2146.0}, 0.8);
  AP7_SPECTRUM* made = baseline(spectrum);
  ASSERT_NE(made, nullptr);
  const std::vector<float> y = values(made);
  const std::vector<float> input = values(spectrum);
  EXPECT_NEAR(y[index_of(1726.0)] / known(1726.0), 1.0, kRelative);
  EXPECT_NEAR(y[index_of(2146.0)] / input[index_of(2146.0)], 1.0, 1e-6);
  EXPECT_NEAR(input[index_of(2146.0)] / known(2146.0), 0.8, 1e-5);
}

// Raised points at 1530 and 1765 (below the line in -ln, so kept as
// anchors when listed): 8192 lists both, 4096 leaves out 1530, 0 and 40000
// leave out both.
TEST_F(MirSpline, ResolutionClassesChooseTheAnchorList) {
  struct Case {
    int32_t post_peak;
    bool has_1530;
    bool has_1765;
  } cases[] = {{8192, true, true}, {4096, false, true}, {0, false, false}, {40000, false, false}, {100, false, false}};
  for (const Case& c : cases) {
    AP7_SPECTRUM* spectrum = single_beam({1530.0, 1765.0}, 1.2, c.post_peak);
    AP7_SPECTRUM* made = baseline(spectrum);
    ASSERT_NE(made, nullptr);
    const std::vector<float> y = values(made);
    for (auto [x, listed] : {std::pair{1530.0, c.has_1530}, std::pair{1765.0, c.has_1765}}) {
      const double ratio = y[index_of(x)] / known(x);
      EXPECT_NEAR(ratio, listed ? 1.2 : 1.0, kRelative) << "x " << x << " post-peak " << c.post_peak;
    }
  }
}

// Only the region is drawn; outside it the input stays. Equal limits mean
// the whole axis; a region off the data is refused.
TEST_F(MirSpline, RegionLimitsTheDrawing) {
  AP7_SPECTRUM* spectrum = single_beam({900.0, 2500.0}, 1.5);
  AP7_SPECTRUM* made = baseline(spectrum, 0, 2, 2000.0f, 1000.0f);
  ASSERT_NE(made, nullptr);
  const std::vector<float> y = values(made);
  const std::vector<float> input = values(spectrum);
  for (int i = 0; i < kPoints; ++i) {
    const double x = x_of(i);
    if (x >= 1000.0 && x <= 2000.0) {
      ASSERT_NEAR(y[i] / known(x), 1.0, kRelative) << x;
    } else {
      ASSERT_EQ(y[i], input[i]) << x;
    }
  }
  EXPECT_EQ(baseline(spectrum, 0, 2, 5000.0f, 6000.0f), nullptr);
  EXPECT_EQ(baseline(spectrum, 0, 2, 100.0f, 300.0f), nullptr);
  EXPECT_EQ(baseline(spectrum, 0, 2, std::nanf(""), 300.0f), nullptr);
  AP7_SPECTRUM* two = spectrum_of(1000.0f, 1001.0f, {1.0, 1.0}, kSingleBeam);
  EXPECT_EQ(baseline(two), nullptr);
}

// A falling axis gives the rising result reversed, on the falling axis.
TEST_F(MirSpline, FallingAxisIsWorkedRisingAndTurnedBack) {
  AP7_SPECTRUM* rising = single_beam({2340.0}, 0.7);
  std::vector<float> reversed = values(rising);
  std::reverse(reversed.begin(), reversed.end());
  AP7_SPECTRUM* falling = keep(make_axis(4000.0f, 400.0f, reversed));
  record(falling).NumPostPeakPts = 8192;
  AP7_SPECTRUM* up = baseline(rising);
  AP7_SPECTRUM* down = baseline(falling);
  ASSERT_NE(up, nullptr);
  ASSERT_NE(down, nullptr);
  EXPECT_EQ(packed(record(down).first_x), 4000.0f);
  EXPECT_EQ(packed(record(down).last_x), 400.0f);
  std::vector<float> expected = values(up);
  std::reverse(expected.begin(), expected.end());
  EXPECT_EQ(values(down), expected);
  EXPECT_EQ(values(falling), reversed);
}

// A value of 0 at an anchor takes -ln as 20: the baseline there is e^-20.
TEST_F(MirSpline, NonPositiveValuesTakeTwenty) {
  AP7_SPECTRUM* spectrum = single_beam({2146.0}, 0.0);
  AP7_SPECTRUM* made = baseline(spectrum);
  ASSERT_NE(made, nullptr);
  EXPECT_NEAR(values(made)[index_of(2146.0)] / std::exp(-20.0), 1.0, 1e-5);
  AP7_SPECTRUM* absorption = baseline(spectrum, AP7G_MIR_ABSORPTION);
  ASSERT_NE(absorption, nullptr);
  EXPECT_EQ(values(absorption)[index_of(2146.0)], 0.0f);
}
