#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class Ratio : public SpectrumTest {
 protected:
  static AP7_SPECTRUM* ratio(AP7_SPECTRUM* sample, AP7_SPECTRUM* background) {
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_RATIO_AGAINST_BACKGROUND, sample, background));
  }
  static AP7_SPECTRUM* beam(std::vector<float> y, uint32_t y_units) {
    AP7_SPECTRUM* made = make_axis(1000.0f, 1000.0f + 2.0f * (y.size() - 1), y);
    record(made).y_units = y_units;
    record(made).NumPostPeakPts = 100;
    return made;
  }
};

TEST_F(Ratio, AgainstAReferenceKeepsTheQuotientInTheReferenceRatioUnit) {
  AP7_SPECTRUM* sample = beam({2, 4, 6}, AP41_YUNITS_SINGLE_BEAM);
  AP7_SPECTRUM* reference = beam({1, 2, 3}, AP41_YUNITS_REFERENCE);
  record(reference).NumScans = 32;
  record(reference).Gain = 4.0f;
  record(reference).BadScans = 3;
  record(reference).CollectErrorMap = 9;
  AP7_SPECTRUM* result = ratio(sample, reference);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(values(result), std::vector<float>({2, 2, 2}));
  const AP41_HEADERDATA& r = record(result);
  EXPECT_EQ(packed(r.y_units), AP41_YUNITS_REFERENCE_RATIO);
  EXPECT_EQ(packed(r.BKNumScans), 32u);
  EXPECT_EQ(packed(r.BKGain), 4.0f);
  EXPECT_EQ(packed(r.BKBadScans), 3u);
  EXPECT_EQ(packed(r.BKCollectErrorMap), 9u);
  EXPECT_EQ(ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(result), AP41_HISTORY_RATIO), 1);
  EXPECT_EQ(values(sample), std::vector<float>({2, 4, 6})) << "the sample stays";
  destroy(result);
  destroy(sample);
  destroy(reference);
}

TEST_F(Ratio, AgainstASingleBeamGivesPercentTransmittance) {
  AP7_SPECTRUM* sample = beam({2, 4, 6}, AP41_YUNITS_SINGLE_BEAM);
  AP7_SPECTRUM* background = beam({4, 8, 12}, AP41_YUNITS_SINGLE_BEAM);
  AP7_SPECTRUM* result = ratio(sample, background);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(packed(record(result).y_units), 16u);
  for (float v : values(result)) EXPECT_FLOAT_EQ(v, 50.0f);
  destroy(result);
  destroy(sample);
  destroy(background);
}

struct RefusedCase {
  const char* name;
  uint32_t sample_units;
  uint32_t background_units;
  uint32_t background_post_peak;
  float background_first_x;
};

class RatioRefusals : public Ratio, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RatioRefusals, GiveNull) {
  const RefusedCase& c = GetParam();
  AP7_SPECTRUM* sample = beam({2, 4, 6}, c.sample_units);
  AP7_SPECTRUM* background = beam({4, 8, 12}, c.background_units);
  record(background).NumPostPeakPts = c.background_post_peak;
  record(background).first_x = c.background_first_x;
  record(background).last_x = c.background_first_x + 4.0f;
  EXPECT_EQ(ratio(sample, background), nullptr);
  destroy(sample);
  destroy(background);
}

INSTANTIATE_TEST_SUITE_P(Pairs, RatioRefusals,
                         testing::Values(RefusedCase{"SampleNotASingleBeam", 17, 15, 100, 1000.0f},
                                         RefusedCase{"BackgroundInAbsorbance", 15, 17, 100, 1000.0f},
                                         RefusedCase{"PostPeakCountsSixPercentApart", 15, 15, 106, 1000.0f},
                                         RefusedCase{"NoCommonRange", 15, 15, 100, 3000.0f}),
                         [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

}  // namespace
