#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "processing/processing_fixture.h"

namespace {

using namespace spectrumtest;

// The halving filters' weights by distance from the centre.
const std::vector<double> kFive = {0.31156987, 0.23746665, 0.106507815};
const std::vector<double> kNine = {0.30488476, 0.24780025, 0.09544937, 0.019117586, -0.015073082};
const std::vector<double> kThirteen = {0.3041121,    0.2540131,   0.090129994, 0.023772925,
                                       -0.018923396, 0.011525368, -0.012867874};

// What a symmetric filter makes of a sinusoid of f cycles per point: the
// sinusoid times w0 + 2 sum w_d cos(2 pi f d).
double gain(const std::vector<double>& w, double f) {
  double h = w[0];
  for (size_t d = 1; d < w.size(); ++d) h += 2.0 * w[d] * std::cos(2.0 * M_PI * f * d);
  return h;
}

struct Component {
  double amplitude;
  double f;  // cycles per point of the input
};

class Decimation : public ProcessingTest {
 protected:
  AP7_SPECTRUM* decimate(AP7_SPECTRUM* s, float target) {
    return keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_DECIMATE, s, &target)));
  }
};

// A slow wave under a fast one that the coarser grid could not hold: each
// output point is the slow wave (and what is left of the fast one) as the
// filter chosen by its distance from the ends passes them.
TEST_F(Decimation, BandLimitedSignalKeepsItsSlowWaveAndLosesTheFastOne) {
  const std::vector<Component> parts = {{1.0, 0.02}, {0.6, 0.4}};
  const int n = 64;
  std::vector<float> y(n);
  for (int i = 0; i < n; ++i) {
    double v = 0.0;
    for (const Component& c : parts) v += c.amplitude * std::sin(2.0 * M_PI * c.f * i);
    y[i] = static_cast<float>(v);
  }
  AP7_SPECTRUM* input = keep(make_axis(0.0f, n - 1.0f, y));
  AP7_SPECTRUM* out = decimate(input, 2.0f);
  ASSERT_NE(out, nullptr);
  const AP41_HEADERDATA made = record(out);
  ASSERT_EQ(packed(made.points), 32u);
  EXPECT_EQ(packed(made.first_x), 0.0f);
  EXPECT_EQ(packed(made.last_x), 62.0f);
  const std::vector<float> got = values(out);
  double slow_error = 0.0;
  for (int t = 0; t < 32; ++t) {
    const int q = 2 * t;
    const int r = (n - 1) - q;
    const int edge = std::min(q, r);
    const std::vector<double>* w = edge < 2 ? nullptr : edge < 4 ? &kFive : edge < 6 ? &kNine : &kThirteen;
    double expected = 0.0;
    for (const Component& c : parts)
      expected += c.amplitude * (w != nullptr ? gain(*w, c.f) : 1.0) * std::sin(2.0 * M_PI * c.f * q);
    EXPECT_NEAR(got[t], expected, 5e-6) << t;
    if (edge >= 6) slow_error = std::max(slow_error, std::fabs(got[t] - std::sin(2.0 * M_PI * 0.02 * q)));
  }
  EXPECT_LT(slow_error, 0.05) << "inside, the output is the slow wave alone";
  EXPECT_EQ(values(input), y) << "input untouched";
}

TEST_F(Decimation, PassesFollowFromTheTarget) {
  AP7_SPECTRUM* input = keep(make_ramp(17, 0.0f, 16.0f));
  struct Case {
    float target;
    uint32_t points;
    float last_x;
  };
  for (const Case& c : {Case{4.0f, 5, 16.0f}, Case{3.0f, 9, 16.0f}, Case{1.0f, 17, 16.0f}, Case{5.0f, 5, 16.0f}}) {
    AP7_SPECTRUM* out = decimate(input, c.target);
    ASSERT_NE(out, nullptr) << c.target;
    EXPECT_EQ(packed(record(out).points), c.points) << c.target;
    EXPECT_EQ(packed(record(out).first_x), 0.0f) << c.target;
    EXPECT_EQ(packed(record(out).last_x), c.last_x) << c.target;
  }
  EXPECT_EQ(values(decimate(input, 1.0f)), values(input)) << "already there: a duplicate";
  for (float target : {0.5f, 0.0f, -4.0f, AP1_GetNaNSG_MATH()}) EXPECT_EQ(decimate(input, target), nullptr) << target;
  EXPECT_EQ(decimate(nullptr, 4.0f), nullptr);
}

// From X = 1 the grid of 2 starts at 2: points 1, 3, 5, 7 of the input,
// the two at the ends copied.
TEST_F(Decimation, AnAxisOffTheCoarseGridStartsAtItsFirstPoint) {
  AP7_SPECTRUM* input = keep(make_axis(1.0f, 9.0f, {0, 10, 0, 30, 0, 50, 0, 70, 0}));
  AP7_SPECTRUM* out = decimate(input, 2.0f);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(packed(record(out).first_x), 2.0f);
  EXPECT_EQ(packed(record(out).last_x), 8.0f);
  const std::vector<float> got = values(out);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0], 10.0f);
  EXPECT_EQ(got[3], 70.0f);
  EXPECT_NEAR(got[1], kFive[0] * 30 + kFive[1] * 0 + kFive[2] * (10 + 50), 1e-4);
  EXPECT_NEAR(got[2], kFive[0] * 50 + kFive[2] * (30 + 70), 1e-4);
}

TEST_F(Decimation, ASpacingOfZeroOrBelowIsRefused) {
  AP7_SPECTRUM* flat = keep(make_axis(5.0f, 5.0f, {1, 2, 3}));
  EXPECT_EQ(decimate(flat, 4.0f), nullptr);
  AP7_SPECTRUM* falling = keep(make_axis(8.0f, 0.0f, {1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(decimate(falling, 4.0f), nullptr);
}

}  // namespace
