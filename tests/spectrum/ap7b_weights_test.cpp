#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

// The weight of a difference d against an expected variance e.
float weight(double d, double e) { return d * d > e && e > 0.0 ? static_cast<float>((d * d - e) / (d * d)) : 0.0f; }

class DifferenceWeights : public SpectrumTest {};

// Between 1200 and 2000 cm-1 the noise shape is 1, so the expected variance
// is the noise value squared.
TEST_F(DifferenceWeights, MidInfraredDifferencesAgainstTheNoiseValue) {
  AP7_SPECTRUM* a = make_axis(1400.0f, 1410.0f, {1.0f, 1.0f, 1.0f, 1.0f, NAN, 1.0f});
  AP7_SPECTRUM* b = make_axis(1400.0f, 1410.0f, {1.0f, 0.9f, 0.99f, 0.5f, 0.5f, NAN});
  record(a).y_units = 8;
  record(a).p39 = 0.02f;
  AP7_SPECTRUM* w = ap7b_DifferenceWeights(a, AP_NOT_GIVEN, AP_NOT_GIVEN, b);
  ASSERT_NE(w, nullptr);
  const std::vector<float> got = values(w);
  const std::vector<float> expected = {0.0f, weight(1.0 - 0.9f, 4e-4), weight(1.0 - 0.99f, 4e-4),
                                       weight(0.5, 4e-4), 0.0f, 0.0f};
  ASSERT_EQ(got.size(), expected.size());
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], expected[i], 1e-5) << "point " << i;
  destroy(w);
  destroy(a);
  destroy(b);
}

// Above 2000 the shape grows: at 3000 it is 2.25, so a difference of 0.05
// against a noise of 0.02 weighs (0.0025 - 0.002025) / 0.0025.
TEST_F(DifferenceWeights, NoiseGrowsTowardsHighWavenumbers) {
  AP7_SPECTRUM* a = make_axis(3000.0f, 3004.0f, {1.0f, 1.0f, 1.0f});
  AP7_SPECTRUM* b = make_axis(3000.0f, 3004.0f, {0.95f, 0.95f, 0.95f});
  record(a).y_units = 8;
  record(a).p39 = 0.02f;
  AP7_SPECTRUM* w = ap7b_DifferenceWeights(a, AP_NOT_GIVEN, AP_NOT_GIVEN, b);
  ASSERT_NE(w, nullptr);
  const std::vector<float> got = values(w);
  for (size_t i = 0; i < got.size(); ++i) {
    const double shape = (3000.0 + 2.0 * i - 2000.0) * 0.00125 + 1.0;
    EXPECT_NEAR(got[i], weight(1.0 - 0.95f, shape * shape * 4e-4), 1e-5) << "point " << i;
  }
  destroy(w);
  destroy(a);
  destroy(b);
}

TEST_F(DifferenceWeights, InterferogramsTakeANoiseOfTen) {
  AP7_SPECTRUM* a = make_axis(0.0f, 2.0f, {0.0f, 0.0f, 0.0f});
  AP7_SPECTRUM* b = make_axis(0.0f, 2.0f, {20.0f, 5.0f, -40.0f});
  record(a).y_units = AP41_YUNITS_INTERFEROGRAM;
  AP7_SPECTRUM* w = ap7b_DifferenceWeights(a, AP_NOT_GIVEN, AP_NOT_GIVEN, b);
  ASSERT_NE(w, nullptr);
  const std::vector<float> got = values(w);
  EXPECT_FLOAT_EQ(got[0], 0.75f);
  EXPECT_FLOAT_EQ(got[1], 0.0f);
  EXPECT_FLOAT_EQ(got[2], weight(40.0, 100.0));
  destroy(w);
  destroy(a);
  destroy(b);
}

TEST_F(DifferenceWeights, NoCommonRangeIsNull) {
  AP7_SPECTRUM* a = make_axis(1000.0f, 1010.0f, std::vector<float>(6, 1.0f));
  AP7_SPECTRUM* b = make_axis(2000.0f, 2010.0f, std::vector<float>(6, 1.0f));
  EXPECT_EQ(ap7b_DifferenceWeights(a, AP_NOT_GIVEN, AP_NOT_GIVEN, b), nullptr);
  destroy(a);
  destroy(b);
}

}  // namespace
