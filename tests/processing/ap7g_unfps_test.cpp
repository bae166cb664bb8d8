#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "processing/processing_fixture.h"

namespace {

using namespace spectrumtest;

constexpr uint32_t kCentre = 1024;

// One side of a symmetric interferogram: cosines of k half-cycles over n
// points, none near the Nyquist bin.
struct Cosine {
  double amplitude;
  int k;
};

double interferogram_at(const std::vector<Cosine>& parts, int n, int t) {
  double v = 0.0;
  for (const Cosine& c : parts) v += c.amplitude * std::cos(M_PI * c.k * t / n);
  return v;
}

double weight(int n, int t) { return 0.54 + 0.46 * std::cos(M_PI * t / n); }

// The single beam of that interferogram as the workstation stores one: the
// weighted interferogram mirrored to 2n points, its cosine transform taken
// by a slow DFT, bin 0 as it is and the others doubled.
std::vector<float> single_beam_of(const std::vector<Cosine>& parts, int n) {
  std::vector<double> u(2 * n);
  for (int t = 0; t <= n; ++t) u[t] = interferogram_at(parts, n, t) * weight(n, t);
  for (int t = 1; t < n; ++t) u[2 * n - t] = u[t];
  std::vector<float> beam(n);
  for (int k = 0; k < n; ++k) {
    double sum = 0.0;
    for (int t = 0; t < 2 * n; ++t) sum += u[t] * std::cos(M_PI * k * t / n);
    beam[k] = static_cast<float>(k == 0 ? sum : 2.0 * sum);
  }
  return beam;
}

class UnFPS : public ProcessingTest {
 protected:
  AP7_SPECTRUM* single_beam(const std::vector<float>& y, float first_x = 500.0f, float spacing = 2.0f) {
    AP7_SPECTRUM* s = keep(make_axis(first_x, first_x + spacing * static_cast<float>(y.size() - 1), y));
    record(s).y_units = 15;
    record(s).x_units = 1;
    record(s).ApodID = 0;
    record(s).PhaseCorrID = 1;
    record(s).Gain = 0.0f;
    return s;
  }
  AP7_SPECTRUM* unfps(AP7_SPECTRUM* s, int32_t halvings = 0) {
    return keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_UNFPS, s, &halvings)));
  }
};

TEST_F(UnFPS, TheSingleBeamOfAKnownInterferogramGivesItBack) {
  const int n = 64;
  const std::vector<Cosine> parts = {{1.0, 0}, {0.7, 5}, {-0.4, 12}, {0.25, 27}};
  AP7_SPECTRUM* input = single_beam(single_beam_of(parts, n));
  AP7_SPECTRUM* out = unfps(input);
  ASSERT_NE(out, nullptr);
  const AP41_HEADERDATA made = record(out);
  EXPECT_EQ(packed(made.points), n + kCentre);
  EXPECT_EQ(packed(made.x_units), 2u);
  EXPECT_EQ(packed(made.y_units), 22u);
  EXPECT_EQ(packed(made.first_x), 0.0f);
  EXPECT_EQ(packed(made.last_x), static_cast<float>(n + kCentre - 1));
  const std::vector<float> y = values(out);
  ASSERT_EQ(y.size(), n + kCentre);
  for (int t = 0; t < n; ++t) {
    const double expected = interferogram_at(parts, n, t);
    EXPECT_NEAR(y[kCentre + t], expected, 2e-4 * (1.0 + std::fabs(expected))) << t;
    if (t > 0) {
      EXPECT_EQ(y[kCentre - t], y[kCentre + t]) << "mirrored about the centre";
    }
  }
  for (uint32_t i = 0; i + n <= kCentre; ++i) EXPECT_EQ(y[i], 0.0f) << i;
  EXPECT_TRUE(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(out), 29));
  EXPECT_EQ(packed(record(input).y_units), 15u) << "input untouched";
}

TEST_F(UnFPS, GainScalesAndHalvingsShortenTheResult) {
  const int n = 64;
  const std::vector<Cosine> parts = {{1.0, 0}, {0.5, 3}};
  const std::vector<float> beam = single_beam_of(parts, n);
  AP7_SPECTRUM* plain = unfps(single_beam(beam));
  AP7_SPECTRUM* gained = single_beam(beam);
  record(gained).Gain = 2.0f;
  AP7_SPECTRUM* doubled = unfps(gained);
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(doubled, nullptr);
  EXPECT_NEAR(values(doubled)[kCentre + 3], 2.0f * values(plain)[kCentre + 3], 1e-5);
  AP7_SPECTRUM* negative = single_beam(beam);
  record(negative).Gain = -3.0f;
  EXPECT_EQ(values(unfps(negative)), values(plain)) << "a gain of 0 or below is not applied";
  AP7_SPECTRUM* halved = unfps(single_beam(beam), 1);
  ASSERT_NE(halved, nullptr);
  EXPECT_EQ(packed(record(halved).points), n / 2 + kCentre);
  EXPECT_EQ(unfps(single_beam(beam), 40), nullptr) << "halvings that leave no point";
}

TEST_F(UnFPS, LengthIsBroughtToAPowerOfTwo) {
  struct Case {
    uint32_t points;
    float first_x;
    uint32_t made;
  };
  // 33 = 32 + 1 loses its last point; 20 points from X = 1 get 2 points in
  // front and are filled to 32; from X = 10, 20 points in front push the
  // count past 32, to 64.
  for (const Case& c : {Case{33, 400.0f, 32}, Case{32, 400.0f, 32}, Case{20, 1.0f, 32}, Case{20, 10.0f, 64}}) {
    AP7_SPECTRUM* out = unfps(single_beam(std::vector<float>(c.points, 1.0f), c.first_x, 0.5f));
    ASSERT_NE(out, nullptr) << c.points << " " << c.first_x;
    EXPECT_EQ(packed(record(out).points), c.made + kCentre) << c.points << " " << c.first_x;
  }
}

TEST_F(UnFPS, WhatIsNoPlainSingleBeamIsRefused) {
  const std::vector<float> beam(32, 1.0f);
  AP7_SPECTRUM* absorbance = single_beam(beam);
  record(absorbance).y_units = 17;
  AP7_SPECTRUM* apodized = single_beam(beam);
  record(apodized).ApodID = 1;
  AP7_SPECTRUM* phase = single_beam(beam);
  record(phase).PhaseCorrID = 2;
  for (AP7_SPECTRUM* s : {absorbance, apodized, phase}) EXPECT_EQ(unfps(s), nullptr);
  EXPECT_EQ(unfps(single_beam(std::vector<float>(4, 1.0f))), nullptr) << "a transform of 8 points";
  EXPECT_EQ(unfps(nullptr), nullptr);
}

}  // namespace
