#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "processing/quality_fixture.h"

namespace {

using qualitytest::send;
using qualitytest::as_parameter;
using qualitytest::get;
using qualitytest::set;

constexpr uint16_t kSwitches[] = {AP120_NOISE_ON, AP120_OUT_OF_RANGE_ON, AP120_POWER_ON, AP120_CO2_ON,
                                  AP120_WATER_ON, AP120_FIT_ON,          AP120_BASELINE_ON};

// A percent-transmittance spectrum on a 1 cm-1 grid from first to last X,
// at `level` with a triangular dip of `depth` at `centre` (half width 20).
AP7_SPECTRUM* transmittance(float first, float last, float level, float centre = 0.0f, float depth = 0.0f) {
  const auto n = static_cast<uint32_t>(last - first) + 1;
  std::vector<float> y(n);
  for (uint32_t i = 0; i < n; ++i) {
    const float x = first + static_cast<float>(i);
    const float d = std::fabs(x - centre);
    y[i] = level - (d < 20.0f ? depth * (1.0f - d / 20.0f) : 0.0f);
  }
  AP7_SPECTRUM* spectrum = spectrumtest::make_axis(first, last, y);
  spectrumtest::record(spectrum).y_units = 16;
  spectrumtest::record(spectrum).x_units = 1;
  return spectrum;
}

class SpectrumChecksTest : public QualityTest {
 protected:
  void SetUp() override {
    QualityTest::SetUp();
    sq = make_sq();
    result = make_sqr();
    set<uint32_t>(result, AP121_EXPECTED_LOW, 400);
    set<uint32_t>(result, AP121_EXPECTED_HIGH, 4000);
    for (uint16_t number : kSwitches) set<int16_t>(sq, number, 0);
  }
  uint32_t check(uint16_t message, AP7_SPECTRUM* spectrum) {
    AP120_SPECTRUMPARM block{result, spectrum};
    return send(message, sq, &block);
  }
  bool warned(uint32_t bit) { return send(AP121_MSG_ANY_WARNING, result, as_parameter(bit)) != 0; }
  bool done(uint32_t bit) {
    const uint16_t number = (bit & AP121_SECOND_WORD) != 0 ? AP121_DONE2 : AP121_DONE;
    return (word(result, number) & bit & ~AP121_SECOND_WORD) != 0;
  }

  AP120_SQ* sq = nullptr;
  AP121_SQR* result = nullptr;
};

TEST(SensitivityScale, EndsMapOntoTheTestsPairAndScoresBack) {
  EXPECT_EQ(ap120_Threshold(1.0f, 55.0f, 10.0f), 55.0f);
  EXPECT_EQ(ap120_Threshold(100.0f, 55.0f, 10.0f), 10.0f);
  EXPECT_FLOAT_EQ(ap120_Threshold(50.5f, 100.0f, 0.0f), 50.0f);
  EXPECT_EQ(ap120_Score(100.0f, 100.0f, 0.0f), 1.0f);
  EXPECT_EQ(ap120_Score(0.0f, 100.0f, 0.0f), 100.0f);
}

struct BandCase {
  const char* what;
  float first, last;
  float centre, depth, sensitivity;
  bool co2_done, water_done, co2_warned, water_warned;
};

TEST_F(SpectrumChecksTest, BandTestsRunWhereTheSpectrumHoldsTheBandAndWarnAboveTheThreshold) {
  // Sensitivity 10 puts the threshold at 100 - 100 * 9/99 = 90.9.
  const BandCase cases[] = {
      {"short of the carbon-dioxide band", 400, 2300, 1654, 5, 10, false, true, false, false},
      {"a strong water band", 400, 2300, 1654, 95, 10, false, true, false, true},
      {"a weak band at the finest threshold", 400, 2300, 1654, 5, 100, false, true, false, true},
      {"both bands, carbon dioxide strong", 1000, 3000, 2360, 95, 10, true, true, true, false},
      {"neither band", 2500, 3500, 3000, 95, 10, false, false, false, false},
  };
  set<int16_t>(sq, AP120_CO2_ON, 1);
  set<int16_t>(sq, AP120_WATER_ON, 1);
  for (const BandCase& c : cases) {
    set<float>(sq, AP120_CO2_SENS, c.sensitivity);
    set<float>(sq, AP120_WATER_SENS, c.sensitivity);
    set<uint16_t>(result, AP121_LEVEL, 0);
    AP7_SPECTRUM* spectrum = keep(transmittance(c.first, c.last, 100.0f, c.centre, c.depth));
    const std::vector<float> before = spectrumtest::values(spectrum);
    const uint16_t expected = c.co2_warned || c.water_warned ? AP121_WARNING : AP121_PASS;
    EXPECT_EQ(check(AP120_MSG_SPECTRUM_CHECKS, spectrum), expected) << c.what;
    EXPECT_EQ(done(0x100000), c.co2_done) << c.what;
    EXPECT_EQ(done(0x200000), c.water_done) << c.what;
    EXPECT_EQ(warned(0x100000), c.co2_warned) << c.what;
    EXPECT_EQ(warned(0x200000), c.water_warned) << c.what;
    if (c.water_done) {
      EXPECT_NEAR(get<float>(result, AP121_WATER_AREA), c.centre == 1654 ? c.depth : 0.0f, 0.01f) << c.what;
    }
    if (c.co2_done) {
      EXPECT_NEAR(get<float>(result, AP121_CO2_AREA), c.depth, 0.01f) << c.what;
    }
    EXPECT_EQ(spectrumtest::values(spectrum), before) << "the spectrum is measured on a copy";
  }
}

struct BaselineCase {
  float level;  // percent transmittance of a flat spectrum
  float sensitivity;
  bool mean_warned;
  float mean_score;
};

TEST_F(SpectrumChecksTest, TheBaselineTestMeasuresTheFittedBaselineInTransmittance) {
  // A flat spectrum is all baseline: its mean in absorbance is -log10(T/100)
  // and the test's measure is |100 - T|.
  const BaselineCase cases[] = {
      {100.0f, 50.0f, false, 100.0f},  // m = 0
      {50.0f, 50.0f, false, 50.5f},    // m = 50, threshold 50.5
      {50.0f, 60.0f, true, 50.5f},     // threshold 40.4
  };
  set<int16_t>(sq, AP120_BASELINE_ON, 1);
  for (const BaselineCase& c : cases) {
    set<float>(sq, AP120_BASELINE_SENS, c.sensitivity);
    set<uint16_t>(result, AP121_LEVEL, 0);
    AP7_SPECTRUM* spectrum = keep(transmittance(500, 3500, c.level));
    check(AP120_MSG_SPECTRUM_CHECKS, spectrum);
    EXPECT_TRUE(done(0x800000) && done(0x1000000)) << c.level;
    EXPECT_EQ(warned(0x1000000), c.mean_warned) << c.level << " " << c.sensitivity;
    EXPECT_FALSE(warned(0x800000)) << "a flat baseline has no range";
    EXPECT_NEAR(get<float>(result, AP121_BASELINE_MEAN_SCORE), c.mean_score, 0.01f) << c.level;
    EXPECT_NEAR(get<float>(result, AP121_BASELINE_RANGE_SCORE), 100.0f, 0.01f) << c.level;
    EXPECT_EQ(get<float>(result, AP121_BASELINE_SENS), c.sensitivity);
  }
}

TEST_F(SpectrumChecksTest, ARunOfZeroTransmittanceWarnsAsOutOfRange) {
  set<int16_t>(sq, AP120_OUT_OF_RANGE_ON, 1);
  AP7_SPECTRUM* clean = keep(transmittance(500, 3500, 50.0f));
  EXPECT_EQ(check(AP120_MSG_SPECTRUM_CHECKS, clean), AP121_PASS);
  EXPECT_TRUE(done(0x20000) && done(0x40000));
  EXPECT_EQ(get<float>(result, AP121_OUT_OF_RANGE_SENS), 10.0f);
  AP7_SPECTRUM* dark = keep(transmittance(500, 3500, 50.0f, 1500.0f, 200.0f));
  std::vector<float> y = spectrumtest::values(dark);
  for (size_t i = 990; i < 1010; ++i) y[i] = 0.0f;
  spectrumtest::put_values(dark, y);
  EXPECT_EQ(check(AP120_MSG_SPECTRUM_CHECKS, dark), AP121_WARNING);
  EXPECT_TRUE(warned(0x20000));
}

TEST_F(SpectrumChecksTest, TheLeastSquaresFitOfASmoothSpectrumPasses) {
  set<int16_t>(sq, AP120_FIT_ON, 1);
  AP7_SPECTRUM* smooth = keep(transmittance(500, 3500, 90.0f));
  EXPECT_EQ(check(AP120_MSG_SPECTRUM_CHECKS, smooth), AP121_PASS);
  EXPECT_TRUE(done(0x400000));
  EXPECT_FALSE(warned(0x400000));
  EXPECT_EQ(get<float>(result, AP121_FIT_SENS), 50.0f);
}

TEST_F(SpectrumChecksTest, AReferenceWhoseRatioShowsNoPeaksSetsNoReferenceWarning) {
  AP7_SPECTRUM* spectrum = keep(transmittance(500, 3800, 80.0f));
  spectrumtest::record(spectrum).y_units = 15;  // a single beam, its own background
  set<int16_t>(sq, AP120_CO2_BAND_ON, 0);
  set<int16_t>(sq, AP120_WATER_BAND_ON, 0);
  set<uint32_t>(sq, AP120_REFERENCE, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(spectrum)));
  EXPECT_EQ(check(AP120_MSG_BAND_CHECKS, spectrum), AP121_PASS);
  EXPECT_TRUE(done(0x8000000)) << "the flat stretches were compared";
  EXPECT_TRUE(done(0x20000000));
  EXPECT_TRUE(done(0x40000000));
  EXPECT_EQ(word(result, AP121_WARNINGS), 0u);
  EXPECT_EQ(get<float>(result, AP121_PEAK_SENS), 50.0f) << "settings value 51 copied last";
}

TEST_F(SpectrumChecksTest, BandChecksScaleTheAreaByTheSpectrumsSpan) {
  // Span 100 - 10 = 90: an area of 45 is 50 percent of it.
  AP7_SPECTRUM* spectrum = keep(transmittance(1000, 3000, 100.0f, 2360, 45.0f));
  spectrumtest::put_values(spectrum, {10.0f});
  set<int16_t>(sq, AP120_WATER_BAND_ON, 0);
  set<float>(sq, AP120_CO2_BAND_SENS, 100.0f);
  check(AP120_MSG_BAND_CHECKS, spectrum);
  EXPECT_TRUE(done(0x2000000));
  EXPECT_TRUE(warned(0x2000000));
  EXPECT_EQ(get<float>(result, AP121_CO2_BAND_SENS), 100.0f);
  EXPECT_NEAR(get<float>(result, AP121_CO2_BAND_SCORE), ap120_Score(50.0f, 100.0f, 0.0f), 0.05f);
}

TEST_F(SpectrumChecksTest, TooLittleEnergyWarnsWithoutLookingAtTheSecondSpectrum) {
  AP7_SPECTRUM* weak = keep(spectrumtest::make_axis(400.0f, 4000.0f, std::vector<float>(64, 0.5f)));
  AP7_SPECTRUM* strong = keep(spectrumtest::make_axis(400.0f, 4000.0f, std::vector<float>(64, 2.0f)));
  send(AP121_MSG_SET_WARNINGS, result, as_parameter(0x80000010));
  AP120_ENERGYPARM block{result, reinterpret_cast<AP7_SPECTRUM*>(result), 0, weak};
  EXPECT_EQ(send(AP120_MSG_ENERGY_CHECK, sq, &block), AP121_WARNING);
  EXPECT_TRUE(warned(0x80000008));
  EXPECT_TRUE(warned(0x80000010)) << "an earlier warning stays";
  AP120_ENERGYPARM enough{result, nullptr, 0, strong};
  send(AP120_MSG_ENERGY_CHECK, sq, &enough);
  EXPECT_FALSE(warned(0x80000008));
  EXPECT_EQ(word(result, AP121_DONE2), 0u) << "the energy check marks nothing";
}

TEST_F(SpectrumChecksTest, ChecksAreRefusedWithoutASpectrumAndSkippedWithTheirSwitchesOff) {
  EXPECT_EQ(check(AP120_MSG_SPECTRUM_CHECKS, nullptr), AP120_REFUSED);
  EXPECT_EQ(check(AP120_MSG_BAND_CHECKS, nullptr), AP120_REFUSED);
  AP7_SPECTRUM* spectrum = keep(transmittance(400, 2300, 100.0f, 1654, 95.0f));
  set<int16_t>(sq, AP120_WATER_ON, 1);
  set<int16_t>(sq, AP120_CHECKS_ON, 0);
  EXPECT_EQ(check(AP120_MSG_SPECTRUM_CHECKS, spectrum), AP121_PASS);
  EXPECT_FALSE(done(0x200000));
  AP120_BANDRATIOPARM ratio{result, spectrum, 15798.0f};
  EXPECT_EQ(send(AP120_MSG_BAND_RATIO_CHECKS, sq, &ratio), AP121_PASS);
  EXPECT_EQ(word(result, AP121_DONE2), 0u);
}

}  // namespace
