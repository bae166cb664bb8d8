// Joining two spectra (message 154) over the union of their X ranges.
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class ConcatenateTest : public SpectrumTest {
 protected:
  AP7_SPECTRUM* join(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other) {
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_CONCATENATE, spectrum, other));
  }
};

TEST_F(ConcatenateTest, OverlapIsSummedAndAGapBetweenRangesIsMissing) {
  const float missing = AP1_GetNaNSG_MATH();
  AP7_SPECTRUM* low = make_axis(0.0f, 3.0f, {1.0f, 2.0f, missing, 4.0f});
  AP7_SPECTRUM* high = make_axis(2.0f, 5.0f, {10.0f, 20.0f, 30.0f, 40.0f});
  AP7_SPECTRUM* apart = make_axis(8.0f, 9.0f, {7.0f, 8.0f});
  AP7_SPECTRUM* joined = join(low, high);
  ASSERT_NE(joined, nullptr);
  EXPECT_EQ(packed(record(joined).first_x), 0.0f);
  EXPECT_EQ(packed(record(joined).last_x), 5.0f);
  EXPECT_EQ(values(joined), (std::vector<float>{1.0f, 2.0f, 10.0f, 24.0f, 30.0f, 40.0f}));
  EXPECT_TRUE(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(joined), AP41_HISTORY_CONCATENATION));
  // The inputs keep their data.
  EXPECT_EQ(values(high), (std::vector<float>{10.0f, 20.0f, 30.0f, 40.0f}));
  EXPECT_EQ(packed(record(low).points), 4u);

  AP7_SPECTRUM* gapped = join(low, apart);
  ASSERT_NE(gapped, nullptr);
  const std::vector<float> y = values(gapped);
  ASSERT_EQ(y.size(), 10u);
  EXPECT_EQ(y[1], 2.0f);
  for (size_t i : {2u, 4u, 5u, 6u, 7u}) EXPECT_TRUE(ap1_is_missing(y[i])) << i;
  EXPECT_EQ(y[9], 8.0f);
  for (AP7_SPECTRUM* spectrum : {low, high, apart, joined, gapped}) destroy(spectrum);
}

TEST_F(ConcatenateTest, DifferentSpacingsAndOppositeAxesAreRefused) {
  AP7_SPECTRUM* coarse = make_ramp(4, 0.0f, 3.0f);
  AP7_SPECTRUM* fine = make_ramp(7, 0.0f, 3.0f);
  AP7_SPECTRUM* falling = make_ramp(4, 3.0f, 0.0f);
  const uint16_t live = spectrum_class().live;
  EXPECT_EQ(join(coarse, fine), nullptr);
  EXPECT_EQ(join(coarse, falling), nullptr);
  EXPECT_EQ(spectrum_class().live, live);
  AP7_SPECTRUM* both_falling = join(falling, falling);
  ASSERT_NE(both_falling, nullptr);
  EXPECT_EQ(values(both_falling), (std::vector<float>{2.0f, 4.0f, 6.0f, 8.0f}));
  for (AP7_SPECTRUM* spectrum : {coarse, fine, falling, both_falling}) destroy(spectrum);
}

}  // namespace
