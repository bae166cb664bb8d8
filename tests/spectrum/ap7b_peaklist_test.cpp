#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

// Two triangular bands on 0..100 at spacing 1: height 4 at 30 (20..40) and
// height 2 at 70 (62..78), a dip to -1 at 50 between them.
float bands(float x) {
  if (x == 50.0f) return -1.0f;
  if (x > 20.0f && x < 40.0f) return 4.0f - std::fabs(x - 30.0f) * 0.4f;
  if (x > 62.0f && x < 78.0f) return 2.0f - std::fabs(x - 70.0f) * 0.25f;
  return 0.0f;
}

class PeakListInRange : public SpectrumTest {
 protected:
  AP7_SPECTRUM* spectrum(bool down = false) {
    std::vector<float> y(101);
    for (int i = 0; i <= 100; ++i) y[i] = down ? 100.0f - bands(static_cast<float>(i)) : bands(static_cast<float>(i));
    AP7_SPECTRUM* s = make_axis(0.0f, 100.0f, y);
    record(s).y_units = down ? AP1_YUNIT_PERCENT_TRANSMITTANCE : AP1_YUNIT_ABSORBANCE;
    return s;
  }
  uint32_t list(AP7_SPECTRUM* s, float x, float x1, float x2) {
    AP7_PEAKLISTPARM block{x, x1, x2, 95.0f, 75.0f, &peak_, &left_, &right_};
    return send(AP7_MSG_PEAK_LIST_IN_RANGE, s, &block);
  }
  float peak_ = 0.0f, left_ = 0.0f, right_ = 0.0f;
};

// The peak nearest x, and its base points: the lowest points between it
// and the valleys on either side (the first of equal lows on the left).
TEST_F(PeakListInRange, NearestPeakAndItsBasePoints) {
  for (bool down : {false, true}) {
    AP7_SPECTRUM* s = spectrum(down);
    ASSERT_EQ(list(s, 25.0f, 100.0f, 0.0f), 1u) << down;
    EXPECT_EQ(peak_, 30.0f);
    EXPECT_EQ(left_, 0.0f);
    EXPECT_EQ(right_, 50.0f);
    destroy(s);
  }
}

TEST_F(PeakListInRange, Refusals) {
  AP7_SPECTRUM* s = spectrum();
  EXPECT_EQ(list(s, 130.0f, 0.0f, 100.0f), 0u);  // x outside the data
  EXPECT_EQ(list(s, 30.0f, 45.0f, 100.0f), 0u);  // x outside the range
  EXPECT_EQ(list(s, 5.0f, 0.0f, 10.0f), 0u);     // no peak there
  destroy(s);
  AP7_SPECTRUM* two = make_axis(0.0f, 1.0f, {0.0f, 1.0f});
  EXPECT_EQ(list(two, 1.0f, 0.0f, 1.0f), 0u);
  destroy(two);
}

}  // namespace
