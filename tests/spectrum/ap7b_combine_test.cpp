#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class Combinations : public SpectrumTest {
 protected:
  static AP7_SPECTRUM* doubled(AP7_SPECTRUM* spectrum, float x1, float x2) {
    AP7_XRANGEPARM parameter{x1, x2};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_INTERPOLATE_DOUBLE_POINTS, spectrum, &parameter));
  }
  static AP7_SPECTRUM* coadded(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other, float x1 = AP_NOT_GIVEN,
                               float x2 = AP_NOT_GIVEN) {
    AP7_PAIRPARM parameter{x1, x2, other};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_ADD_WEIGHTED, spectrum, &parameter));
  }
  static bool history_bit(AP7_SPECTRUM* spectrum, int16_t bit) {
    return ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), bit) == 1;
  }
};

// y = i² over X 0..19: the midpoint between i and i + 1 is (i + 0.5)². The
// mean of the neighbours is 0.25 above it; the ten-point filter, whose
// weights w at offsets d = ±0.5 ... ±4.5 sum to 1 and give Σ w d² = 0.0209,
// about 0.0209 above.
TEST_F(Combinations, DoublingInterpolatesInsideAndTakesTheMeanNearTheEnds) {
  std::vector<float> y(20);
  for (int i = 0; i < 20; ++i) y[i] = static_cast<float>(i * i);
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 19.0f, y);
  const std::vector<float> before = values(spectrum);
  AP7_SPECTRUM* result = doubled(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(packed(record(result).points), 39u);
  EXPECT_FLOAT_EQ(packed(record(result).first_x), 0.0f);
  EXPECT_FLOAT_EQ(packed(record(result).last_x), 19.0f);
  const std::vector<float> made = values(result);
  ASSERT_EQ(made.size(), 39u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(made[2 * i], y[i]) << i;
  for (int i = 0; i < 19; ++i) {
    const double exact = (i + 0.5) * (i + 0.5);
    const bool border = i < 5 || i >= 15;
    EXPECT_NEAR(made[2 * i + 1], exact + (border ? 0.25 : 0.0209), border ? 1e-5 : 2e-3) << i;
  }
  EXPECT_TRUE(history_bit(result, AP41_HISTORY_INTERPOLATED));
  EXPECT_EQ(values(spectrum), before);
  EXPECT_FALSE(history_bit(spectrum, AP41_HISTORY_INTERPOLATED));
  destroy(result);
  destroy(spectrum);
}

TEST_F(Combinations, DoublingARangeOfTwoPointsGivesTheirMeanBetweenThem) {
  AP7_SPECTRUM* spectrum = make_axis(100.0f, 105.0f, {1.0f, 2.0f, 4.0f, 8.0f, 16.0f, 32.0f});
  AP7_SPECTRUM* result = doubled(spectrum, 102.1f, 102.9f);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(values(result), (std::vector<float>{4.0f, 6.0f, 8.0f}));
  EXPECT_FLOAT_EQ(packed(record(result).first_x), 102.0f);
  EXPECT_FLOAT_EQ(packed(record(result).last_x), 103.0f);
  destroy(result);
  destroy(spectrum);
}

TEST_F(Combinations, DoublingOnePointOrAMissingLimitGivesNothing) {
  AP7_SPECTRUM* spectrum = make_ramp(6, 100.0f, 105.0f);
  const auto before = live_counts();
  EXPECT_EQ(doubled(spectrum, 102.0f, 102.2f), nullptr);
  EXPECT_EQ(doubled(spectrum, NAN, 104.0f), nullptr);
  EXPECT_EQ(doubled(spectrum, 200.0f, 300.0f), nullptr);
  EXPECT_EQ(live_counts(), before);
  destroy(spectrum);
}

// Values chosen so that scaling by the scan count and dividing back would
// not give every one of them again.
std::vector<float> awkward(float scale) {
  std::vector<float> y(9);
  for (int i = 0; i < 9; ++i) y[i] = scale * (0.1f + static_cast<float>(i) / 3.0f);
  return y;
}

TEST_F(Combinations, CoAddingWeighsByScanCountsAndLeavesTheInputsUntouched) {
  AP7_SPECTRUM* a = make_axis(1000.0f, 1008.0f, awkward(1.0f));
  AP7_SPECTRUM* b = make_axis(1000.0f, 1008.0f, awkward(7.3f));
  record(a).NumScans = 3;
  record(b).NumScans = 13;
  record(a).p39 = 3.0f;
  record(b).p39 = 4.0f;
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(a), AP41_HISTORY_SMOOTH);
  const AP41_HEADERDATA header_a = record(a);
  const AP41_HEADERDATA header_b = record(b);
  const std::vector<float> ya = values(a);
  const std::vector<float> yb = values(b);

  AP7_SPECTRUM* sum = coadded(a, b);
  ASSERT_NE(sum, nullptr);
  const std::vector<float> made = values(sum);
  ASSERT_EQ(made.size(), 9u);
  for (size_t i = 0; i < 9; ++i) EXPECT_NEAR(made[i], (3.0 * ya[i] + 13.0 * yb[i]) / 16.0, 1e-5) << i;
  EXPECT_EQ(packed(record(sum).NumScans), 16u);
  EXPECT_FLOAT_EQ(packed(record(sum).p39), 5.0f);
  EXPECT_TRUE(history_bit(sum, AP41_HISTORY_ADD_SUBTRACT));

  EXPECT_EQ(values(a), ya);
  EXPECT_EQ(values(b), yb);
  EXPECT_EQ(std::memcmp(&record(a), &header_a, sizeof header_a), 0);
  EXPECT_EQ(std::memcmp(&record(b), &header_b, sizeof header_b), 0);
  EXPECT_FALSE(history_bit(a, AP41_HISTORY_SCALAR_MULTIPLY));
  destroy(sum);
  destroy(a);
  destroy(b);
}

TEST_F(Combinations, CoAddingWithoutScanCountsGivesThePlainMeanOverTheCommonRange) {
  AP7_SPECTRUM* a = make_axis(0.0f, 5.0f, {1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 6.0f});
  AP7_SPECTRUM* b = make_axis(2.0f, 7.0f, {10.0f, NAN, 30.0f, 40.0f, 50.0f, 60.0f});
  record(a).NumScans = 0;
  record(b).NumScans = 0;
  AP7_SPECTRUM* mean = coadded(a, b);
  ASSERT_NE(mean, nullptr);
  EXPECT_FLOAT_EQ(packed(record(mean).first_x), 2.0f);
  EXPECT_FLOAT_EQ(packed(record(mean).last_x), 5.0f);
  const std::vector<float> made = values(mean);
  ASSERT_EQ(made.size(), 4u);
  EXPECT_FLOAT_EQ(made[0], 6.5f);
  EXPECT_TRUE(std::isnan(made[1]));
  EXPECT_FLOAT_EQ(made[2], 17.5f);
  EXPECT_FLOAT_EQ(made[3], 23.0f);
  EXPECT_EQ(packed(record(mean).NumScans), 0u);
  destroy(mean);

  AP7_SPECTRUM* part = coadded(a, b, 4.0f, 5.0f);
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(values(part), (std::vector<float>{17.5f, 23.0f}));
  destroy(part);
  destroy(a);
  destroy(b);
}

TEST_F(Combinations, CoAddingRefusesSpectraThatCannotBePaired) {
  AP7_SPECTRUM* a = make_ramp(6, 0.0f, 5.0f);
  AP7_SPECTRUM* apart = make_ramp(6, 10.0f, 15.0f);
  AP7_SPECTRUM* wider = make_ramp(6, 0.0f, 10.0f);
  const auto before = live_counts();
  EXPECT_EQ(coadded(a, apart), nullptr);
  EXPECT_EQ(coadded(a, wider), nullptr);
  EXPECT_EQ(coadded(a, a, NAN, 3.0f), nullptr);
  EXPECT_EQ(coadded(a, nullptr), nullptr);
  EXPECT_EQ(live_counts(), before);
  destroy(a);
  destroy(apart);
  destroy(wider);
}

}  // namespace
