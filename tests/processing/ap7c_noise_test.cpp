#include <cfloat>
#include <cmath>

#include <gtest/gtest.h>

#include "processing/measure_fixture.h"

namespace {

using namespace measuretest;

class PeakToPeakNoise : public SpectrumTest {
 protected:
  uint32_t noise_of(AP7_SPECTRUM* s, float x1, float x2, uint16_t exclude = 0) {
    noise_ = span_ = -1.0f;
    AP7_NOISEPARM block{x1, x2, &noise_, &span_, exclude};
    return send(AP7_MSG_PEAK_TO_PEAK_NOISE, s, &block);
  }
  float noise_ = 0.0f;
  float span_ = 0.0f;
};

// Alternating +-a about 1 (never three equal values): every window's
// peak-to-peak is 2a where one amplitude fills it, more where it holds
// both; the span is that of the largest amplitude.
float alternating(float x, float amplitude) {
  const auto i = static_cast<int64_t>(std::lround(x));
  return 1.0f + (i % 2 == 0 ? amplitude : -amplitude);
}

TEST_F(PeakToPeakNoise, SmallestWindowAndSpanOfAKnownSignal) {
  // 400..4000 at spacing 1: amplitude 0.05 below 2000, 0.01 above.
  AP7_SPECTRUM* s = sampled(400.0f, 4000.0f, 3601, [](float x) { return alternating(x, x < 2000.0f ? 0.05f : 0.01f); });
  ASSERT_EQ(noise_of(s, 0.0f, 0.0f), 1u);
  EXPECT_NEAR(noise_, 0.02f, 1e-6);
  EXPECT_NEAR(span_, 0.1f, 1e-6);
  // The region 3875..4000 (125 below 4000), given in either order: only
  // the small amplitude.
  for (const auto& ends : {std::pair{4000.0f, 3950.0f}, std::pair{3950.0f, 4000.0f}}) {
    ASSERT_EQ(noise_of(s, ends.first, ends.second), 1u);
    EXPECT_NEAR(noise_, 0.02f, 1e-6);
    EXPECT_NEAR(span_, 0.02f, 1e-6);
  }
  // A region wider than a window, given low end first, keeps its ends.
  ASSERT_EQ(noise_of(s, 1000.0f, 1500.0f), 1u);
  EXPECT_NEAR(noise_, 0.1f, 1e-6);
  spectrumtest::destroy(s);
}

// A spectrum stored falling measures as one stored rising.
TEST_F(PeakToPeakNoise, FallingAxis) {
  AP7_SPECTRUM* s = sampled(4000.0f, 400.0f, 3601, [](float x) { return alternating(x, x < 2000.0f ? 0.05f : 0.01f); });
  ASSERT_EQ(noise_of(s, 0.0f, 0.0f), 1u);
  EXPECT_NEAR(noise_, 0.02f, 1e-6);
  EXPECT_NEAR(span_, 0.1f, 1e-6);
  spectrumtest::destroy(s);
}

// With exclusions, the large amplitude in the carbon-dioxide band and
// below 672 counts in the windows but not in the span.
TEST_F(PeakToPeakNoise, ExclusionsLeaveTheSpanAlone) {
  AP7_SPECTRUM* s = sampled(400.0f, 4000.0f, 3601, [](float x) {
    return alternating(x, (x > 2260.0f && x < 2380.0f) || x < 660.0f ? 0.5f : 0.01f);
  });
  ASSERT_EQ(noise_of(s, 0.0f, 0.0f, 1), 1u);
  EXPECT_NEAR(noise_, 0.02f, 1e-6);
  EXPECT_NEAR(span_, 0.02f, 1e-6);
  ASSERT_EQ(noise_of(s, 0.0f, 0.0f, 0), 1u);
  EXPECT_NEAR(span_, 1.0f, 1e-6);
  spectrumtest::destroy(s);
}

// Windows with a missing point or a flat step are not measured.
TEST_F(PeakToPeakNoise, SkippedWindowsAndTooFewPoints) {
  AP7_SPECTRUM* flat = sampled(0.0f, 1000.0f, 1001, [](float) { return 1.0f; });
  EXPECT_EQ(noise_of(flat, 0.0f, 0.0f), 0u);
  EXPECT_EQ(noise_, FLT_MAX);
  EXPECT_EQ(span_, 0.0f);
  spectrumtest::destroy(flat);
  AP7_SPECTRUM* empty = sampled(0.0f, 1000.0f, 1001, [](float) { return AP1_GetNaNSG_MATH(); });
  EXPECT_EQ(noise_of(empty, 0.0f, 0.0f), 0u);
  spectrumtest::destroy(empty);
  AP7_SPECTRUM* five = sampled(0.0f, 500.0f, 5, [](float x) { return alternating(x / 125.0f, 1.0f); });
  EXPECT_EQ(noise_of(five, 0.0f, 0.0f), 0u);
  EXPECT_EQ(noise_, FLT_MAX);
  spectrumtest::destroy(five);
  // Windows of fewer than two points (a spacing above 62.5).
  AP7_SPECTRUM* coarse = sampled(0.0f, 1000.0f, 11, [](float x) { return alternating(x / 100.0f, 1.0f); });
  EXPECT_EQ(noise_of(coarse, 0.0f, 0.0f), 0u);
  spectrumtest::destroy(coarse);
}

}  // namespace
