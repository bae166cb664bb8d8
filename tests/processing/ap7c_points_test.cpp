#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "processing/measure_fixture.h"

namespace {

using namespace measuretest;

class PointOperations : public SpectrumTest {};

TEST_F(PointOperations, NegativeLogOfOnePlusTheRatio) {
  const float nan = AP1_GetNaNSG_MATH();
  AP7_SPECTRUM* a = spectrumtest::make_axis(0.0f, 6.0f, {0.0f, 1.0f, -2.0f, 3.0f, nan, 1.0f, -0.5f});
  AP7_SPECTRUM* b = spectrumtest::make_axis(0.0f, 6.0f, {4.0f, 1.0f, 2.0f, 0.0f, 1.0f, nan, 2.0f});
  ASSERT_EQ(send(AP7_MSG_NEG_LOG_ONE_PLUS_RATIO, a, b), 1u);
  const std::vector<float> y = spectrumtest::values(a);
  EXPECT_EQ(y[0], 0.0f);
  EXPECT_FLOAT_EQ(y[1], static_cast<float>(-std::log(2.0)));
  EXPECT_TRUE(std::isnan(y[2]));  // a / b = -1
  EXPECT_TRUE(std::isnan(y[3]));  // b = 0
  EXPECT_TRUE(std::isnan(y[4]));
  EXPECT_TRUE(std::isnan(y[5]));
  EXPECT_FLOAT_EQ(y[6], static_cast<float>(-std::log(0.75)));
  AP7_SPECTRUM* shorter = spectrumtest::make_axis(0.0f, 5.0f, {1, 1, 1, 1, 1, 1});
  EXPECT_EQ(send(AP7_MSG_NEG_LOG_ONE_PLUS_RATIO, a, shorter), 0u);
  EXPECT_EQ(send(AP7_MSG_NEG_LOG_ONE_PLUS_RATIO, a, nullptr), 0u);
  spectrumtest::destroy(a);
  spectrumtest::destroy(b);
  spectrumtest::destroy(shorter);
}

// Without the host's collection settings there is no conversion.
TEST_F(PointOperations, InterferogramToSpectrumNeedsTheHostSettings) {
  AP7_SPECTRUM* s = spectrumtest::make_ramp(16, 0.0f, 15.0f);
  uint16_t mode = 3;
  EXPECT_EQ(send(AP7_MSG_INTERFEROGRAM_TO_SPECTRUM, s, &mode), 0u);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(send(AP7_MSG_INTERFEROGRAM_TO_SPECTRUM, s, nullptr), 0u);
  spectrumtest::destroy(s);
}

}  // namespace
