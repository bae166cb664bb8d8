// The data forms of a collected spectrum (messages 321 and 439): the
// stored interferograms handed back as they are, single beams transformed
// from them and the ratio of the two. Interferograms are sums of cosines
// about their peak, whose magnitude spectra hold one line per cosine with
// the cosine's amplitude in proportion: the expectations are those ratios.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

constexpr uint32_t kPoints = 64;
constexpr float kLaser = 6400.0f;

class DataForm : public SpectrumTest {
 protected:
  // Amplitudes of 5 and 9 cycles over the 64 points, about point 32.
  static AP7_SPECTRUM* interferogram(double five, double nine, float factor) {
    std::vector<float> y(kPoints);
    for (uint32_t i = 0; i < kPoints; ++i) {
      const double t = (static_cast<double>(i) - 32.0) / kPoints;
      y[i] = static_cast<float>(five * std::cos(2.0 * M_PI * 5.0 * t) + nine * std::cos(2.0 * M_PI * 9.0 * t));
    }
    AP7_SPECTRUM* made = make_axis(0.0f, kPoints - 1.0f, y);
    AP41_HEADERDATA& r = record(made);
    r.x_units = AP41_XUNITS_POINTS;
    r.y_units = AP41_YUNITS_INTERFEROGRAM;
    r.FinalPeakPos = 32;
    r.NumPostPeakPts = 32;
    r.SSP = factor;
    r.LaserFreq = kLaser;
    return made;
  }

  // A single beam that carries the interferograms it came from (either may
  // be left out), with the transform settings of its collection.
  static AP7_SPECTRUM* collected(bool with_sample, bool with_background, float factor = 1.0f) {
    AP7_SPECTRUM* spectrum = make_ramp(32, 0.0f, 6200.0f);
    AP41_HEADERDATA& r = record(spectrum);
    r.x_units = AP1_XUNIT_WAVENUMBERS;
    r.y_units = AP1_YUNIT_SINGLE_BEAM;
    r.NumTransformPts = kPoints;
    r.ApodID = AP4_APODIZE_NONE;
    r.PhaseCorrID = AP4_PHASE_MAGNITUDE;
    r.SSP = factor;
    r.LaserFreq = kLaser;
    AP7_SPECTRUM* sample = with_sample ? interferogram(2.0, 1.0, factor) : nullptr;
    AP7_SPECTRUM* background = with_background ? interferogram(1.0, 1.0, factor) : nullptr;
    ap7b_SetNameAndSubSpectra(spectrum, nullptr, background, sample);
    return spectrum;
  }

  static AP7_SPECTRUM* form(AP7_SPECTRUM* spectrum, uint16_t which) {
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_GET_DATA_FORM, spectrum, &which));
  }

  static AP7_SPECTRUM* form(AP7_SPECTRUM* spectrum, uint16_t which, float spacing) {
    AP7_DATAFORMPARM block{which, spacing, 0};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_GET_DATA_FORM_EX, spectrum, &block));
  }

  static void expect_lines(const std::vector<float>& y, double five_over_nine) {
    ASSERT_GT(y.size(), 9u);
    EXPECT_NEAR(y[5] / y[9], five_over_nine, 1e-4 * five_over_nine);
    for (size_t i = 0; i < y.size(); ++i)
      if (i != 5 && i != 9) {
        EXPECT_LT(std::fabs(y[i]), 1e-3 * std::fabs(y[9])) << "point " << i;
      }
  }

  static float spacing_of(AP7_SPECTRUM* spectrum) { return ap7b_GetXSpacing(spectrum); }
};

TEST_F(DataForm, StoredInterferogramsComeBackBitForBit) {
  AP7_SPECTRUM* spectrum = collected(true, true);
  struct Case {
    uint16_t form;
    AP7_SPECTRUM* stored;
  };
  for (const Case& c : {Case{AP7_FORM_SAMPLE_INTERFEROGRAM, spectrum->subSpectrumB},
                        Case{AP7_FORM_BACKGROUND_INTERFEROGRAM, spectrum->subSpectrumA},
                        Case{AP7_FORM_SPECTRUM, spectrum}}) {
    AP7_SPECTRUM* copy = form(spectrum, c.form);
    ASSERT_NE(copy, nullptr) << c.form;
    EXPECT_NE(copy, c.stored);
    const std::vector<float> got = values(copy);
    const std::vector<float> want = values(c.stored);
    ASSERT_EQ(got.size(), want.size());
    EXPECT_EQ(std::memcmp(got.data(), want.data(), got.size() * sizeof(float)), 0) << c.form;
    EXPECT_EQ(packed(record(copy).y_units), packed(record(c.stored).y_units));
    destroy(copy);
  }
  destroy(spectrum);
}

TEST_F(DataForm, SingleBeamsAreTransformedFromCopiesOfTheInterferograms) {
  AP7_SPECTRUM* spectrum = collected(true, true);
  const std::vector<float> stored_sample = values(spectrum->subSpectrumB);
  struct Case {
    uint16_t form;
    double five_over_nine;
  };
  for (const Case& c : {Case{AP7_FORM_SAMPLE_SINGLE_BEAM, 2.0}, Case{AP7_FORM_BACKGROUND_SINGLE_BEAM, 1.0}}) {
    AP7_SPECTRUM* beam = form(spectrum, c.form);
    ASSERT_NE(beam, nullptr) << c.form;
    EXPECT_EQ(packed(record(beam).y_units), AP1_YUNIT_SINGLE_BEAM);
    EXPECT_EQ(packed(record(beam).points), kPoints / 2);
    // The laser frequency over the sample spacing factor spans the points.
    EXPECT_FLOAT_EQ(spacing_of(beam), kLaser / (kPoints / 2));
    expect_lines(values(beam), c.five_over_nine);
    destroy(beam);
  }
  EXPECT_EQ(values(spectrum->subSpectrumB), stored_sample) << "the stored interferogram stays";
  EXPECT_EQ(packed(record(spectrum->subSpectrumB).y_units), AP41_YUNITS_INTERFEROGRAM);
  destroy(spectrum);
}

// Sample 2·cos5 + cos9 over background cos5 + cos9: 2 at line 5, 1 at line
// 9, as a fraction.
TEST_F(DataForm, TheRatioFormIsTheTransmittanceOfSampleOverBackgroundAsAFraction) {
  AP7_SPECTRUM* spectrum = collected(true, true);
  AP7_SPECTRUM* ratio = form(spectrum, AP7_FORM_RATIO);
  ASSERT_NE(ratio, nullptr);
  EXPECT_EQ(packed(record(ratio).y_units), AP1_YUNIT_TRANSMITTANCE);
  const std::vector<float> y = values(ratio);
  ASSERT_EQ(y.size(), kPoints / 2);
  EXPECT_NEAR(y[5], 2.0, 1e-4);
  EXPECT_NEAR(y[9], 1.0, 1e-4);
  destroy(ratio);
  destroy(spectrum);
}

TEST_F(DataForm, FormsWhoseInterferogramsAreMissingFail) {
  AP7_SPECTRUM* sample_only = collected(true, false);
  EXPECT_EQ(form(sample_only, AP7_FORM_RATIO), nullptr) << "no untransformed interferogram in place of a ratio";
  EXPECT_EQ(form(sample_only, AP7_FORM_BACKGROUND_SINGLE_BEAM), nullptr);
  EXPECT_EQ(form(sample_only, AP7_FORM_BACKGROUND_INTERFEROGRAM), nullptr);
  destroy(sample_only);
  AP7_SPECTRUM* background_only = collected(false, true);
  record(background_only).y_units = AP1_YUNIT_ABSORBANCE;
  EXPECT_EQ(form(background_only, AP7_FORM_RATIO), nullptr);
  EXPECT_EQ(form(background_only, AP7_FORM_SAMPLE_SINGLE_BEAM), nullptr) << "not a single beam itself";
  EXPECT_EQ(form(background_only, AP7_FORM_SAMPLE_INTERFEROGRAM), nullptr);
  for (uint16_t bad : {0, 7}) EXPECT_EQ(form(background_only, bad), nullptr) << bad;
  destroy(background_only);
}

TEST_F(DataForm, ASingleBeamWithoutInterferogramsIsItsOwnSampleSingleBeam) {
  AP7_SPECTRUM* spectrum = collected(false, false);
  AP7_SPECTRUM* beam = form(spectrum, AP7_FORM_SAMPLE_SINGLE_BEAM);
  ASSERT_NE(beam, nullptr);
  EXPECT_NE(beam, spectrum);
  EXPECT_EQ(values(beam), values(spectrum));
  destroy(beam);
  destroy(spectrum);
}

TEST_F(DataForm, ASpacingAskedForSizesTheTransformOrFails) {
  AP7_SPECTRUM* spectrum = collected(true, true);
  // 100 per point: 128 transform points, the 64 measured ones zero-filled.
  AP7_SPECTRUM* fine = form(spectrum, AP7_FORM_SAMPLE_SINGLE_BEAM, 100.0f);
  ASSERT_NE(fine, nullptr);
  EXPECT_EQ(packed(record(fine).points), 64u);
  EXPECT_FLOAT_EQ(spacing_of(fine), 100.0f);
  destroy(fine);
  // No power of two over the laser frequency gives 150 per point.
  EXPECT_EQ(form(spectrum, AP7_FORM_SAMPLE_SINGLE_BEAM, 150.0f), nullptr);
  EXPECT_EQ(form(spectrum, AP7_FORM_RATIO, 150.0f), nullptr);
  destroy(spectrum);
}

// A sample spacing factor between 0 and 1 has no whole part to divide the
// transform size by: it divides in floating point. For 0.3 and a spacing
// of 12800 / (0.3 · 256), 64 · 2^k / 0.3 rounds to 2^8 points.
TEST_F(DataForm, ASpacingFactorBelowOneDividesTheTransformSizeInFloatingPoint) {
  AP7_SPECTRUM* spectrum = collected(true, true, 0.3f);
  const auto spacing = static_cast<float>(2.0 * kLaser / (0.3 * 256.0));
  AP7_SPECTRUM* beam = form(spectrum, AP7_FORM_SAMPLE_SINGLE_BEAM, spacing);
  ASSERT_NE(beam, nullptr);
  EXPECT_EQ(packed(record(beam).points), 128u);
  EXPECT_FLOAT_EQ(spacing_of(beam), spacing);
  destroy(beam);
  EXPECT_EQ(form(spectrum, AP7_FORM_SAMPLE_SINGLE_BEAM, 200.0f), nullptr) << "a spacing it does not reach";
  record(spectrum).SSP = -1.0f;
  EXPECT_EQ(form(spectrum, AP7_FORM_SAMPLE_SINGLE_BEAM, spacing), nullptr) << "a factor below 0";
  destroy(spectrum);
}

TEST_F(DataForm, PercentUnitsBecomeFractionsAndBack) {
  AP7_SPECTRUM* spectrum = make_axis(0.0f, 2.0f, {50.0f, 100.0f, 12.5f});
  record(spectrum).y_units = AP1_YUNIT_PERCENT_TRANSMITTANCE;
  ASSERT_EQ(ap7b_PercentToFraction(spectrum), 1);
  EXPECT_EQ(packed(record(spectrum).y_units), AP1_YUNIT_TRANSMITTANCE);
  EXPECT_EQ(values(spectrum), std::vector<float>({0.5f, 1.0f, 0.125f}));
  ASSERT_EQ(ap7b_ConvertToTransmittance(spectrum, 1), 1);
  EXPECT_EQ(values(spectrum), std::vector<float>({50.0f, 100.0f, 12.5f}));
  record(spectrum).y_units = AP1_YUNIT_PERCENT_REFLECTANCE;
  ASSERT_EQ(ap7b_PercentToFraction(spectrum), 1);
  EXPECT_EQ(packed(record(spectrum).y_units), AP1_YUNIT_REFLECTANCE);
  record(spectrum).y_units = AP1_YUNIT_ABSORBANCE;
  ASSERT_EQ(ap7b_PercentToFraction(spectrum), 1);
  EXPECT_EQ(values(spectrum), std::vector<float>({0.5f, 1.0f, 0.125f})) << "other units stay";
  destroy(spectrum);
}

}  // namespace
