#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class Alignment : public SpectrumTest {
 protected:
  // Twenty points 0..19 with the peak at point 5 and 15 points after it.
  static AP7_SPECTRUM* interferogram() {
    std::vector<float> y(20);
    for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<float>(i);
    AP7_SPECTRUM* made = make_axis(0.0f, 19.0f, y);
    record(made).y_units = AP41_YUNITS_INTERFEROGRAM;
    record(made).FinalPeakPos = 5;
    record(made).NumPostPeakPts = 15;
    return made;
  }
};

TEST_F(Alignment, TrimsBothEndsKeepingThePeakOnItsPoint) {
  AP7_SPECTRUM* spectrum = interferogram();
  EXPECT_EQ(ap7b_AlignInterferogram(spectrum, 3, 10), 1);
  EXPECT_EQ(values(spectrum), std::vector<float>({2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
  EXPECT_EQ(packed(record(spectrum).FinalPeakPos), 3u);
  EXPECT_EQ(packed(record(spectrum).points), 13u);
  EXPECT_EQ(packed(record(spectrum).NumPostPeakPts), 10u) << "no more post-peak points than the data hold";
  destroy(spectrum);
}

TEST_F(Alignment, PadsBothEndsWithZeros) {
  AP7_SPECTRUM* spectrum = interferogram();
  EXPECT_EQ(ap7b_AlignInterferogram(spectrum, 7, 16), 1);
  const std::vector<float> y = values(spectrum);
  ASSERT_EQ(y.size(), 23u);
  EXPECT_EQ(y[0], 0.0f);
  EXPECT_EQ(y[1], 0.0f);
  EXPECT_EQ(y[7], 5.0f) << "the peak value sits at the new peak index";
  EXPECT_EQ(y[22], 0.0f);
  EXPECT_EQ(packed(record(spectrum).FinalPeakPos), 7u);
  destroy(spectrum);
}

TEST_F(Alignment, CountsAlreadyThereChangeNothing) {
  AP7_SPECTRUM* spectrum = interferogram();
  EXPECT_EQ(ap7b_AlignInterferogram(spectrum, 5, 15), 1);
  EXPECT_EQ(values(spectrum).size(), 20u);
  EXPECT_EQ(packed(record(spectrum).FinalPeakPos), 5u);
  destroy(spectrum);
}

TEST_F(Alignment, OtherSpectraAreRefusedByBothOperations) {
  AP7_SPECTRUM* spectrum = interferogram();
  record(spectrum).y_units = AP41_YUNITS_SINGLE_BEAM;
  EXPECT_EQ(ap7b_AlignInterferogram(spectrum, 3, 10), 0);
  AP7_SINGLEBEAMPARM parameter{4, AP4_APODIZE_NONE, AP4_PHASE_MAGNITUDE, 8, 3, 0, nullptr};
  EXPECT_EQ(send(AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM, spectrum, &parameter), 0u);
  EXPECT_EQ(values(spectrum).size(), 20u);
  EXPECT_EQ(packed(record(spectrum).y_units), AP41_YUNITS_SINGLE_BEAM);
  destroy(spectrum);
}

// A cosine of 5 cycles about the peak of a 64-point interferogram gives one
// line of the magnitude spectrum, at point 5.
class SingleBeam : public SpectrumTest {};

TEST_F(SingleBeam, CosineBecomesOneLineDividedByTheGain) {
  std::vector<float> y(64);
  for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<float>(std::cos(2.0 * M_PI * 5.0 * (i - 32.0) / 64.0));
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 63.0f, y);
  AP41_HEADERDATA& r = record(spectrum);
  r.y_units = AP41_YUNITS_INTERFEROGRAM;
  r.FinalPeakPos = 32;
  r.NumPostPeakPts = 32;
  r.SSP = 1.0f;
  r.LaserFreq = 6400.0f;
  r.Gain = 2.0f;
  AP7_SINGLEBEAMEXPARM parameter{6, AP4_APODIZE_NONE, AP4_PHASE_MAGNITUDE, 8, 3, 0, 0, nullptr};
  ASSERT_EQ(send(AP7_MSG_INTERFEROGRAM_TO_SINGLE_BEAM_EX, spectrum, &parameter), 1u);
  EXPECT_EQ(packed(record(spectrum).y_units), AP41_YUNITS_SINGLE_BEAM);
  const std::vector<float> beam = values(spectrum);
  ASSERT_FALSE(beam.empty());
  size_t brightest = 0;
  for (size_t i = 0; i < beam.size(); ++i)
    if (beam[i] > beam[brightest]) brightest = i;
  EXPECT_EQ(brightest, 5u);
  for (size_t i = 0; i < beam.size(); ++i)
    if (i != 5) {
      EXPECT_LT(beam[i], 1e-3 * beam[5]) << "point " << i;
    }
  destroy(spectrum);
}

}  // namespace
