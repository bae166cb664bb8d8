// The spectrum wrapper's processing members over real spectra: the X axis,
// regions, unit conversions and combinations, the two lists of spectra for
// list statistics and loading from a file, each worked from the values laid
// out here.
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "apcomlib/processing/processing.h"
#include "apcomlib/spectrum/spectrum.h"
#include "converter/importjob.h"
#include "core/core_fixture.h"
#include "module_fixture.h"
#include "wrapper_support.h"

namespace convertertest {
namespace {

using converter::CApSpectrum;
using converter::CGamlSpectrum;

AP41_HEADERDATA& record_of(const CGamlSpectrum& wrapper) { return ap7a_spectrum(wrapper.GetSpectrum())->header->data; }

std::unique_ptr<CGamlSpectrum> on_axis(const std::vector<float>& values, float first, float last,
                                       uint32_t y_units = AP1_YUNIT_ABSORBANCE) {
  auto wrapper = std::make_unique<CGamlSpectrum>();
  EXPECT_TRUE(wrapper->SetScaledData(values.data(), static_cast<uint32_t>(values.size()), 1.0));
  record_of(*wrapper).first_x = first;
  record_of(*wrapper).last_x = last;
  record_of(*wrapper).y_units = y_units;
  return wrapper;
}

void expect_near(const std::vector<float>& got, const std::vector<float>& expected, const char* what) {
  ASSERT_EQ(got.size(), expected.size()) << what;
  for (size_t i = 0; i < got.size(); ++i) {
    if (std::isnan(expected[i]))
      EXPECT_TRUE(std::isnan(got[i])) << what << " at " << i;
    else
      EXPECT_NEAR(got[i], expected[i], 1e-4) << what << " at " << i;
  }
}

class SpectrumProcessing : public AttachedModule {};

// 100..110 at a spacing of 2: X 100 + 2i is index i.
TEST_F(SpectrumProcessing, TheXAxisOfOneSpectrumAndOfTwo) {
  auto ramp = on_axis({0, 1, 2, 3, 4, 5}, 100, 110);
  int32_t index = -1;
  EXPECT_TRUE(ramp->XToIndex(110, &index));
  EXPECT_EQ(index, 5);
  EXPECT_TRUE(ramp->XToIndex(104, &index));
  EXPECT_EQ(index, 2);
  float spacing = 0, first = 0, last = 0;
  EXPECT_TRUE(ramp->GetXSpacing(&spacing));
  EXPECT_EQ(spacing, 2.0f);
  EXPECT_TRUE(ramp->GetXRange(&first, &last));
  EXPECT_EQ(first, 100.0f);
  EXPECT_EQ(last, 110.0f);
  float x1 = 102, x2 = 106;
  AP4_CELL start{}, end{};
  EXPECT_TRUE(ramp->XRangeToIndexRange(&x1, &x2, &start, &end));
  EXPECT_EQ(start.column, 1);
  EXPECT_EQ(end.column, 3);
  x1 = 500;
  x2 = 600;
  EXPECT_FALSE(ramp->XRangeToIndexRange(&x1, &x2, &start, &end));
  auto other = on_axis({0, 0, 0, 0, 0, 0}, 104, 114);
  AP4_CELL other_start{}, other_end{};
  x1 = x2 = AP_NOT_GIVEN;
  EXPECT_TRUE(ramp->CommonIndexRange(*other, &x1, &x2, &start, &end, &other_start, &other_end));
  EXPECT_EQ(start.column, 2);
  EXPECT_EQ(end.column, 5);
  EXPECT_EQ(other_start.column, 0);
  EXPECT_EQ(other_end.column, 3);
  // Fitted to 96..112: two points of zero before, one after.
  auto fitted = on_axis({0, 1, 2, 3, 4, 5}, 100, 110);
  x1 = 112;
  x2 = 96;
  EXPECT_TRUE(fitted->ClampXRange(&x1, &x2));
  EXPECT_EQ(x1, 96.0f);
  EXPECT_EQ(x2, 112.0f);
  EXPECT_EQ(values_of(*fitted), (std::vector<float>{0, 0, 0, 1, 2, 3, 4, 5, 0}));
  x1 = 104;
  x2 = 108;
  EXPECT_TRUE(fitted->ClampXRange(&x1, &x2));
  EXPECT_EQ(values_of(*fitted), (std::vector<float>{2, 3, 4}));
  bool same = false;
  EXPECT_TRUE(ramp->CompareSpacing(*other, &same));
  EXPECT_TRUE(same);
  auto wider = on_axis({0, 0, 0, 0, 0, 0}, 100, 110.5f);  // spacing 2.1: 4.8 % apart
  EXPECT_TRUE(ramp->CompareSpacing(*wider, &same));
  EXPECT_FALSE(same);
}

TEST_F(SpectrumProcessing, HeaderParameter47AndThePeakDirection) {
  auto a = on_axis({1}, 0, 0);
  auto b = on_axis({1}, 0, 0);
  struct Case {
    uint32_t mine, theirs;
    bool same;
  };
  for (const Case& c : {Case{100, 104, true}, Case{100, 106, false}, Case{0, 0, true}}) {
    record_of(*a).NumPostPeakPts = c.mine;
    record_of(*b).NumPostPeakPts = c.theirs;
    bool same = !c.same;
    EXPECT_TRUE(a->CompareHeaderField(*b, &same));
    EXPECT_EQ(same, c.same) << c.mine << " " << c.theirs;
  }
  uint16_t direction = 0;
  EXPECT_TRUE(a->GetPeakDirection(&direction));
  EXPECT_EQ(direction, 1u);  // absorbance
  record_of(*a).y_units = AP1_YUNIT_PERCENT_TRANSMITTANCE;
  EXPECT_TRUE(a->GetPeakDirection(&direction));
  EXPECT_EQ(direction, 2u);
}

TEST_F(SpectrumProcessing, RegionsAreBlankedBridgedFilledAndScaledAway) {
  const float nan = std::nanf("");
  auto blanked = on_axis({0, 1, 2, 3, 4, 5}, 100, 110);
  EXPECT_TRUE(blanked->BlankRegion(102, 104));
  expect_near(values_of(*blanked), {0, nan, nan, 3, 4, 5}, "blank 102..104");
  EXPECT_TRUE(blanked->FillNaNGaps());
  expect_near(values_of(*blanked), {0, 1, 2, 3, 4, 5}, "gaps filled on the line");
  EXPECT_TRUE(blanked->BlankRegion());
  expect_near(values_of(*blanked), std::vector<float>(6, nan), "blank whole");
  auto bridged = on_axis({0, 5, 5, 5, 5, 10}, 100, 110);
  EXPECT_TRUE(bridged->StraightLineRegion());
  expect_near(values_of(*bridged), {0, 2, 4, 6, 8, 10}, "line over the whole");
  auto part = on_axis({0, 5, 5, 5, 5, 10}, 100, 110);
  EXPECT_TRUE(part->StraightLineRegion(102, 108));
  expect_near(values_of(*part), {0, 5, 5, 5, 5, 10}, "a flat stretch stays");
  auto a = on_axis({5, 5, 5, 5}, 100, 106);
  auto b = on_axis({1, 2, 3, 4}, 100, 106);
  EXPECT_TRUE(a->SubtractScaled(*b, 2.0f));
  expect_near(values_of(*a), {3, 1, -1, -3}, "a - 2b");
  auto c = on_axis({5, 5, 5, 5}, 100, 106);
  EXPECT_TRUE(c->SubtractScaled(102, 104, *b, 1.0f));
  expect_near(values_of(*c), {3, 2}, "a - b over 102..104, cut to it");
}

// Percent transmittance T gives absorbance -log10(T / 100), Kubelka-Munk
// (1 - R)² / 2R with R = T / 100, and photoacoustic units leave it as it is.
TEST_F(SpectrumProcessing, YUnitConversionsInPlace) {
  auto spectrum = on_axis({100, 10, 1}, 100, 104, AP1_YUNIT_PERCENT_TRANSMITTANCE);
  EXPECT_TRUE(spectrum->ConvertToAbsorbance(false));
  expect_near(values_of(*spectrum), {0, 1, 2}, "absorbance");
  EXPECT_EQ(packed(record_of(*spectrum).y_units), AP1_YUNIT_ABSORBANCE);
  EXPECT_TRUE(spectrum->ConvertToTransmittance(false));
  expect_near(values_of(*spectrum), {100, 10, 1}, "back to %T");
  EXPECT_EQ(packed(record_of(*spectrum).y_units), AP1_YUNIT_PERCENT_TRANSMITTANCE);
  EXPECT_TRUE(spectrum->ConvertYUnits(AP1_YUNIT_ABSORBANCE));
  expect_near(values_of(*spectrum), {0, 1, 2}, "absorbance by code");
  auto km = on_axis({50, 25}, 100, 102, AP1_YUNIT_PERCENT_TRANSMITTANCE);
  EXPECT_TRUE(km->ConvertToKM(false));
  expect_near(values_of(*km), {0.25f, 0.5625f / 0.5f}, "Kubelka-Munk");
  EXPECT_EQ(packed(record_of(*km).y_units), AP1_YUNIT_KUBELKA_MUNK);
  auto pas = on_axis({50, 25}, 100, 102, AP1_YUNIT_PERCENT_TRANSMITTANCE);
  EXPECT_TRUE(pas->ConvertToPAS(false));
  expect_near(values_of(*pas), {50, 25}, "photoacoustic");
  EXPECT_EQ(packed(record_of(*pas).y_units), 26u);
  auto single_beam = on_axis({1, 2}, 100, 102, AP1_YUNIT_SINGLE_BEAM);
  EXPECT_FALSE(single_beam->ConvertToAbsorbance(true));  // outside the family
  expect_near(values_of(*single_beam), {1, 2}, "unchanged");
}

TEST_F(SpectrumProcessing, ConcatenationSpansBothRangesAndSumsWhereTheyMeet) {
  auto a = on_axis({1, 2, 3}, 100, 104);
  auto b = on_axis({10, 20}, 104, 106);
  CGamlSpectrum out;
  ASSERT_TRUE(a->Concatenate(*b, out));
  expect_near(values_of(out), {1, 2, 13, 20}, "union");
  EXPECT_EQ(packed(record_of(out).first_x), 100.0f);
  EXPECT_EQ(packed(record_of(out).last_x), 106.0f);
  auto falling = on_axis({1, 1}, 108, 106);
  AP_OBJECT* held = out.GetSpectrum();
  EXPECT_FALSE(a->Concatenate(*falling, out));  // the axes run opposite ways
  EXPECT_EQ(out.GetSpectrum(), held);
}

TEST_F(SpectrumProcessing, ReflectanceFormsOfTransmittance) {
  auto reflectance = on_axis({50, 10}, 100, 102, AP1_YUNIT_PERCENT_TRANSMITTANCE);
  EXPECT_TRUE(reflectance->ConvertToPercentReflectance(false));
  expect_near(values_of(*reflectance), {50, 10}, "%R");
  EXPECT_EQ(packed(record_of(*reflectance).y_units), AP1_YUNIT_PERCENT_REFLECTANCE);
  EXPECT_TRUE(reflectance->ConvertToLogInverseR(false));
  expect_near(values_of(*reflectance), {static_cast<float>(std::log10(2.0)), 1}, "log(1/R) = -log10(R / 100)");
  EXPECT_EQ(packed(record_of(*reflectance).y_units), AP1_YUNIT_LOG_INVERSE_R);
}

// A straight line y = (x - 100) / 2 comes back on its line at any spacing;
// a constant stays constant through the transform and the subdivision.
TEST_F(SpectrumProcessing, RegriddedCopiesKeepALineOnItsLine) {
  auto line = on_axis({0, 1, 2, 3, 4, 5, 6, 7, 8}, 100, 116);
  CGamlSpectrum out;
  ASSERT_TRUE(line->ChangeSpacing(100, 104, 1.0f, out));
  expect_near(values_of(out), {0, 0.5f, 1, 1.5f, 2}, "spacing 1 over 100..104");
  ASSERT_TRUE(line->ChangeSpacing(4.0f, out));
  expect_near(values_of(out), {0, 2, 4, 6, 8}, "spacing 4 over the whole");
  ASSERT_TRUE(line->PrepareSearchRegion(104, 112, 4.0f, out));
  expect_near(values_of(out), {2, 4, 6}, "search region 104..112");
  ASSERT_TRUE(line->PrepareSearchRegion(8.0f, out));
  EXPECT_EQ(packed(record_of(out).first_x), 100.0f);
  EXPECT_FALSE(line->ChangeSpacing(-1.0f, out));
  auto constant = on_axis(std::vector<float>(32, 3.0f), 100, 162);
  struct Case {
    const char* what;
    bool (CApSpectrum::*member)(float, float, float, CApSpectrum&) const;
  };
  for (const Case& c : {Case{"transform", &CApSpectrum::InterpolateByFFT},
                        Case{"subdivision", &CApSpectrum::InterpolateBySubdivision}}) {
    ASSERT_TRUE((constant.get()->*c.member)(AP_NOT_GIVEN, AP_NOT_GIVEN, 1.0f, out)) << c.what;
    const std::vector<float> values = values_of(out);
    ASSERT_GE(values.size(), 60u) << c.what;
    for (float value : values) EXPECT_NEAR(value, 3.0f, 1e-3) << c.what;
    float spacing = 0;
    EXPECT_TRUE(out.GetXSpacing(&spacing));
    EXPECT_NEAR(spacing, 1.0f, 1e-3) << c.what;
  }
  ASSERT_TRUE(constant->InterpolateByFFT(0.5f, out));
  ASSERT_TRUE(constant->InterpolateBySubdivision(0.5f, out));
  ASSERT_TRUE(constant->SmoothToResolution(out));
  expect_near(values_of(out), std::vector<float>(32, 3.0f), "a constant smoothed");
  ASSERT_TRUE(constant->SmoothToResolution(120, 140, out));
  EXPECT_EQ(values_of(out).size(), 11u);
}

TEST_F(SpectrumProcessing, ATRKramersKronigAndBaselineCopies) {
  auto absorbance = on_axis({1, 1, 1}, 1000, 3000);
  CGamlSpectrum out;
  ASSERT_TRUE(absorbance->ATRCorrection(out));
  expect_near(values_of(out), {1, 2, 3}, "each value times its X / 1000");
  expect_near(values_of(*absorbance), {1, 1, 1}, "the spectrum stays");
  // A line has no peaks: the baseline fitted is the line itself.
  auto line = on_axis({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, 100, 122);
  ASSERT_TRUE(line->IterativeBaselineFit(1, 0, out));
  expect_near(values_of(out), std::vector<float>(12, 0.0f), "line less its baseline");
  ASSERT_TRUE(line->IterativeBaselineFit(104, 114, 1, 0, out));
  expect_near(values_of(out), std::vector<float>(6, 0.0f), "104..114");
  // The absorption index is normalised to 0..1 and made once only.
  std::vector<float> reflectance(64);
  for (size_t i = 0; i < reflectance.size(); ++i) reflectance[i] = 40.0f + 20.0f * std::exp(-0.05f * (i - 32.0f) * (i - 32.0f));
  auto reflective = on_axis(reflectance, 1000, 1126, AP1_YUNIT_PERCENT_REFLECTANCE);
  ASSERT_TRUE(reflective->KramersKronig(out));
  float minimum = 0, maximum = 0;
  EXPECT_TRUE(out.GetMinMax(&minimum, &maximum));
  EXPECT_NEAR(minimum, 0.0f, 1e-5);
  EXPECT_NEAR(maximum, 1.0f, 1e-5);
  CGamlSpectrum again;
  EXPECT_FALSE(out.KramersKronig(again));
  EXPECT_TRUE(reflective->KramersKronig(1010, 1100, out));
}

// A sample single beam of 50, 20 against a background of 100, 40: 50 %T.
TEST_F(SpectrumProcessing, RatioAgainstABackgroundKeepsItsInterferogramOnRequest) {
  auto sample = on_axis({50, 20}, 100, 102, AP1_YUNIT_SINGLE_BEAM);
  auto background = on_axis({100, 40}, 100, 102, AP1_YUNIT_SINGLE_BEAM);
  auto interferogram = on_axis({1, 2, 3}, 0, 2, AP41_YUNITS_INTERFEROGRAM);
  ASSERT_TRUE(background->AttachSampleInterferogram(*interferogram));
  for (bool keep : {false, true}) {
    CGamlSpectrum out;
    ASSERT_TRUE(sample->RatioAgainstBackground(*background, out, keep)) << keep;
    expect_near(values_of(out), {50, 50}, "ratio in %T");
    EXPECT_EQ(packed(record_of(out).y_units), AP1_YUNIT_PERCENT_TRANSMITTANCE);
    EXPECT_EQ(out.HasBackgroundInterferogram(), keep);
  }
  CGamlSpectrum out;
  auto absorbance = on_axis({1, 1}, 100, 102);
  EXPECT_FALSE(absorbance->RatioAgainstBackground(*background, out, false));  // not a single beam
}

// A triangle band 0 1 2 1 0 at a spacing of 2 on a zero baseline.
TEST_F(SpectrumProcessing, BandAreaWidthAndPeakLimits) {
  auto band = on_axis({0, 0, 1, 2, 1, 0, 0}, 100, 112);
  float level = -1, baseline = -1;
  ASSERT_TRUE(band->MeasureArea(102, 110, 100, 112, &level, &baseline));
  EXPECT_NEAR(baseline, 2 * (0.5f + 1.5f + 1.5f + 0.5f), 1e-4);  // trapezoids of width 2
  float width = 0;
  ASSERT_TRUE(band->FindPeakLimits(100, 112, &width));
  EXPECT_NEAR(width, 4.0f, 1e-4);  // half height 1 at 104 and 108
  float peak = 0, left = 0, right = 0;
  ASSERT_TRUE(band->PeakListInRange(106, 100, 112, 50, 50, &peak, &left, &right));
  EXPECT_EQ(peak, 106.0f);
  EXPECT_LT(left, 106.0f);
  EXPECT_GT(right, 106.0f);
  EXPECT_FALSE(band->PeakListInRange(106, 100, 112, 50, 50, &peak, nullptr, &right));
}

TEST_F(SpectrumProcessing, DoubledPointsAndTheScanWeightedMean) {
  auto line = on_axis({0, 2, 4}, 100, 104);
  CGamlSpectrum out;
  ASSERT_TRUE(line->InterpolateDoublePoints(out));
  expect_near(values_of(out), {0, 1, 2, 3, 4}, "midpoints on the line");
  float spacing = 0;
  EXPECT_TRUE(out.GetXSpacing(&spacing));
  EXPECT_EQ(spacing, 1.0f);
  ASSERT_TRUE(line->InterpolateDoublePoints(102, 104, out));
  expect_near(values_of(out), {2, 3, 4}, "102..104");
  EXPECT_FALSE(line->InterpolateDoublePoints(104, 104, out));
  // One scan of 1 and three of 4: (1 + 3 x 4) / 4.
  auto one_scan = on_axis({1, 1, 1}, 100, 104);
  auto three_scans = on_axis({4, 4}, 102, 104);
  record_of(*one_scan).NumScans = 1;
  record_of(*three_scans).NumScans = 3;
  ASSERT_TRUE(one_scan->AddWeighted(*three_scans, out));
  expect_near(values_of(out), {3.25f, 3.25f}, "weighted mean over 102..104");
  EXPECT_EQ(packed(record_of(out).NumScans), 4u);
  ASSERT_TRUE(one_scan->AddWeighted(104, 104, *three_scans, out));
  expect_near(values_of(out), {3.25f}, "at 104");
  expect_near(values_of(*one_scan), {1, 1, 1}, "inputs untouched");
}

// Residuals 1, -1, -1, 1 about the line 2x: even about the middle and of
// sum 0, so the fitted line is 2x itself; the rms takes the m - 2 degrees
// of freedom of a fitted line: sqrt(4 / 2).
TEST_F(SpectrumProcessing, TheLinearFitsResiduals) {
  auto spectrum = on_axis({1, 1, 3, 7}, 0, 3);
  float peak_to_peak = 0, rms = 0;
  ASSERT_TRUE(spectrum->LinearFitRange(AP_NOT_GIVEN, AP_NOT_GIVEN, &peak_to_peak, &rms));
  EXPECT_NEAR(peak_to_peak, 2.0f, 1e-5);
  EXPECT_NEAR(rms, std::sqrt(2.0f), 1e-5);
  EXPECT_FALSE(spectrum->LinearFitRange(0, 1, &peak_to_peak, &rms));  // two points
  EXPECT_FALSE(spectrum->LinearFitRange(0, 3, nullptr, &rms));
}

TEST_F(SpectrumProcessing, OnlyAnInterferogramTurnsIntoASingleBeam) {
  auto absorbance = on_axis(std::vector<float>(16, 1.0f), 100, 130);
  CGamlSpectrum out;
  AP_OBJECT* held = out.GetSpectrum();
  EXPECT_FALSE(absorbance->InterferogramToSingleBeam(0, 0, 0, 0, 0, out));
  EXPECT_EQ(out.GetSpectrum(), held);
  expect_near(values_of(*absorbance), std::vector<float>(16, 1.0f), "unchanged");
}

// A black body at 1000..1010 every 2; the ramp 0..5 on 100..110 copied for a
// search point for point; an interferogram 0..19 with its peak at point 5
// trimmed to 3 points before and 10 after it; open limits leave the data as
// they are.
TEST_F(SpectrumProcessing, ReferenceSearchCopyAlignmentAndFit) {
  auto ramp = on_axis({0, 1, 2, 3, 4, 5}, 100, 110);
  CGamlSpectrum body;
  ASSERT_TRUE(ramp->NewForSpacing(1000, 1010, 2, 300, body));
  EXPECT_EQ(packed(record_of(body).points), 6u);
  EXPECT_EQ(packed(record_of(body).first_x), 1000.0f);
  EXPECT_EQ(packed(record_of(body).last_x), 1010.0f);
  EXPECT_FALSE(ramp->NewForSpacing(1000, 1010, 0, 300, body));

  CGamlSpectrum search;
  ASSERT_TRUE(ramp->SearchPrep279(100, 110, AP1_YUNIT_ABSORBANCE, "search", 6, search));
  expect_near(values_of(search), {0, 1, 2, 3, 4, 5}, "search copy");
  EXPECT_FALSE(ramp->SearchPrep279(100, 110, AP1_YUNIT_ABSORBANCE, nullptr, 6, search));

  std::vector<float> samples(20);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i);
  auto interferogram = on_axis(samples, 0, 19, AP41_YUNITS_INTERFEROGRAM);
  record_of(*interferogram).FinalPeakPos = 5;
  record_of(*interferogram).NumPostPeakPts = 15;
  ASSERT_TRUE(interferogram->AlignInterferogram(3, 10));
  expect_near(values_of(*interferogram), {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, "aligned");
  EXPECT_FALSE(ramp->AlignInterferogram(3, 10)) << "not an interferogram";

  float x1 = AP_NOT_GIVEN, x2 = AP_NOT_GIVEN;
  uint32_t points = 0;
  EXPECT_TRUE(ramp->FitToXRange(&x1, &x2, &points));
  EXPECT_EQ(points, 6u);
  x1 = -5;
  x2 = 110;
  EXPECT_FALSE(ramp->FitToXRange(&x1, &x2, &points));
  expect_near(values_of(*ramp), {0, 1, 2, 3, 4, 5}, "left as it was");
}

// Single beams S 50, 20 and B 100, 40, dark D 10, 10, E 20, 10: each mode's
// formula worked, then as %T.
TEST_F(SpectrumProcessing, ConformedRatioFillsTheFormulasRolesByMode) {
  auto sample = on_axis({50, 20}, 100, 102, AP1_YUNIT_SINGLE_BEAM);
  auto background = on_axis({100, 40}, 100, 102, AP1_YUNIT_SINGLE_BEAM);
  auto dark = on_axis({10, 10}, 100, 102, AP1_YUNIT_SINGLE_BEAM);
  auto e = on_axis({20, 10}, 100, 102, AP1_YUNIT_SINGLE_BEAM);
  struct Case {
    uint16_t mode;
    const CGamlSpectrum* s3;
    const CGamlSpectrum* s4;
    float a, b;
    bool done;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {0, nullptr, nullptr, 0, 0, true, {50, 50}},                          // S / B
      {1, dark.get(), nullptr, 0, 0, true, {4000.0f / 90, 1000.0f / 30}},    // (S - D) / (B - D)
      {2, dark.get(), nullptr, 0, 0, true, {40, 25}},                       // (S - D) / B
      {5, background.get(), nullptr, 0, 0, true, {50, 50}},                 // S / R, R = s3
      {6, dark.get(), e.get(), 0, 0, true, {50, 100.0f / 3}},              // (S - D) / (B - E)
      {9, nullptr, nullptr, 10, 20, true, {50, 50}},                        // (S - a) / (B - b)
      {9, dark.get(), e.get(), 0, 0, true, {50, 100.0f / 3}},              // (S - D) / (B - E)
      {1, nullptr, nullptr, 0, 0, false, {}},                               // D missing
      {3, dark.get(), nullptr, 0, 0, false, {}},                            // E and R missing
  };
  for (const Case& c : cases) {
    CGamlSpectrum out;
    const bool done = sample->RatioConformed(background.get(), out, c.s3, c.s4, nullptr, nullptr, nullptr, c.a, c.b,
                                             0, false, c.mode, false);
    ASSERT_EQ(done, c.done) << "mode " << c.mode;
    if (!done) continue;
    expect_near(values_of(out), c.expected, "conformed ratio");
    EXPECT_EQ(packed(record_of(out).y_units), AP1_YUNIT_PERCENT_TRANSMITTANCE) << c.mode;
  }
  auto interferogram = on_axis({1, 2, 3}, 0, 2, AP41_YUNITS_INTERFEROGRAM);
  ASSERT_TRUE(background->AttachSampleInterferogram(*interferogram));
  CGamlSpectrum out;
  ASSERT_TRUE(sample->RatioConformed(background.get(), out, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, 0,
                                     false, 0, true));
  EXPECT_TRUE(out.HasBackgroundInterferogram());
  ASSERT_TRUE(sample->RatioConformed(nullptr, out, background.get(), nullptr, nullptr, nullptr, nullptr, 0, 0, 0,
                                     false, 5, true));
  EXPECT_TRUE(out.HasBackgroundInterferogram());  // from s3 in mode 5
}

TEST_F(SpectrumProcessing, TheClass99RecordNeedsItsClass) {
  CGamlSpectrum spectrum;
  const uint16_t before = [] {
    uint16_t count = 0;
    APX_GetAPClassInfo(AP7_CLASS_ID, &count, nullptr, nullptr);
    return count;
  }();
  EXPECT_FALSE(spectrum.SetClass99Record(1, 2, 3));
  float a = 0, b = 0, c = 0;
  EXPECT_FALSE(spectrum.GetClass99Record(&a, &b, &c));
  uint16_t after = 0;
  APX_GetAPClassInfo(AP7_CLASS_ID, &after, nullptr, nullptr);
  EXPECT_EQ(after, before);
}

// List 0 holds 1,2,3 and 3,4,5 (mean 2,3,4); list 1 holds 1,1,1.
TEST_F(SpectrumProcessing, ListStatisticsAndTheirComparisonBecomeTheSpectrumHeld) {
  CGamlSpectrum wrapper;
  auto first = on_axis({1, 2, 3}, 100, 104);
  auto second = on_axis({3, 4, 5}, 100, 104);
  auto ones = on_axis({1, 1, 1}, 100, 104);
  EXPECT_FALSE(wrapper.ListStatistics(AP7_DERIVATIVE_NONE, AP7_STATISTIC_MEAN));  // no list yet
  EXPECT_TRUE(wrapper.AddCopyToList(0, *first));
  EXPECT_TRUE(wrapper.AddCopyToList(0, *second));
  EXPECT_TRUE(wrapper.AddCopyToList(1, *ones));
  EXPECT_FALSE(wrapper.AddCopyToList(2, *ones));
  ASSERT_TRUE(wrapper.ListStatistics(AP7_DERIVATIVE_NONE, AP7_STATISTIC_MEAN));
  expect_near(values_of(wrapper), {2, 3, 4}, "mean");
  ASSERT_TRUE(wrapper.ListStatistics(AP7_DERIVATIVE_NONE, AP7_STATISTIC_RANGE));
  expect_near(values_of(wrapper), {2, 2, 2}, "range");
  EXPECT_TRUE(wrapper.SetComparisonParameters(0, 2.0f, nullptr, AP_NOT_GIVEN, AP_NOT_GIVEN));
  ASSERT_TRUE(wrapper.CompareListStatistics());
  expect_near(values_of(wrapper), {0, 1, 2}, "mean of list 0 less 2 x list 1");
  expect_near(values_of(*first), {1, 2, 3}, "the spectra given stay");
  EXPECT_TRUE(wrapper.ClearList(1));
  EXPECT_FALSE(wrapper.CompareListStatistics());
  EXPECT_TRUE(wrapper.ClearList(0));
  EXPECT_FALSE(wrapper.ListStatistics(AP7_DERIVATIVE_NONE, AP7_STATISTIC_MEAN));
}

TEST_F(SpectrumProcessing, LoadReadsASavedSpectrumWithItsStoredInterferograms) {
  auto saved = on_axis({1, 2, 3, 4}, 100, 106);
  auto interferogram = on_axis({9, 8, 7}, 0, 2, AP41_YUNITS_INTERFEROGRAM);
  ASSERT_TRUE(saved->AttachSampleInterferogram(*interferogram));
  const std::string path = testsupport::home() + "/loaded.spa";
  ASSERT_TRUE(saved->SaveAs(std::u16string(path.begin(), path.end())));
  CGamlSpectrum loaded;
  ASSERT_TRUE(loaded.Load(std::u16string(path.begin(), path.end())));
  EXPECT_EQ(values_of(loaded), (std::vector<float>{1, 2, 3, 4}));
  EXPECT_EQ(packed(record_of(loaded).first_x), 100.0f);
  EXPECT_TRUE(loaded.HasSampleInterferogram());
  EXPECT_FALSE(loaded.HasBackgroundInterferogram());
  const std::string missing = testsupport::home() + "/missing.spa";
  AP_OBJECT* held = loaded.GetSpectrum();
  EXPECT_FALSE(loaded.Load(std::u16string(missing.begin(), missing.end())));
  EXPECT_EQ(loaded.GetSpectrum(), held);
}

}  // namespace
}  // namespace convertertest
