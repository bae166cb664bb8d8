// The region operations: the rubber-band baseline of a cleaned region copy
// on hand-worked values and under known bands on a known convex baseline,
// its floor off the atmospheric bands; the counts of nearly zero and low
// points and their runs; the X extent cut and extended; the suppressed,
// baseline-corrected absorbance copy.
#include <cmath>
#include <cstdint>
#include <vector>

#include "processing/baseline_fixture.h"

using namespace spectrumtest;
using namespace baselinetest;

namespace {

constexpr uint16_t kBaselineOut = 0;

class RegionBaseline : public BaselineTest {
 protected:
  AP7_SPECTRUM* clean(AP7_SPECTRUM* spectrum, uint16_t keep_sign, uint16_t absorbance, uint16_t guard, uint16_t output,
                      AP4_ARRAY** result, float x1 = AP_NOT_GIVEN, float x2 = AP_NOT_GIVEN) {
    AP7F_CLEANREGIONPARM p{keep_sign, absorbance, guard, output, x1, x2, result};
    return keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_CLEAN_REGION_COPY, spectrum, &p)));
  }

  // The columns of message 269's result, or empty when none came.
  std::vector<float> counts(AP7_SPECTRUM* spectrum, uint16_t mode, float limit, float x1 = AP_NOT_GIVEN,
                            float x2 = AP_NOT_GIVEN) {
    AP4_ARRAY* result = nullptr;
    AP7F_COUNTPARM p{mode, limit, x1, x2, &result};
    EXPECT_EQ(send(AP7_MSG_COUNT_OUT_OF_RANGE, spectrum, &p), 0u);
    return result != nullptr ? columns(result) : std::vector<float>{};
  }

  static uint32_t extent(AP7_SPECTRUM* spectrum, float x1, float x2, float extend) {
    AP7F_EXTENTPARM p{x1, x2, extend};
    return send(AP7_MSG_SET_X_EXTENT, spectrum, &p);
  }
};

}  // namespace

TEST_F(RegionBaseline, RubberBandOnHandWorkedValues) {
  struct Case {
    std::vector<double> y;
    float segments;
    std::vector<double> baseline;
  } cases[] = {
      // One segment from the first point to the last.
      {{0, 5, 5, 5, 0}, 3, {0, 0, 0, 0, 0}},
      // Equal slopes keep the nearer point: every point is a vertex.
      {{0, 1, 2, 3}, 5, {0, 1, 2, 3}},
      // The valley at index 2 and the low end are vertices.
      {{4, 3, 1, 2, 6, 2}, 4, {4, 2.5, 1, 4.0 / 3, 5.0 / 3, 2}},
  };
  for (const Case& c : cases) {
    AP7_SPECTRUM* spectrum = spectrum_of(0.0f, static_cast<float>(c.y.size() - 1), c.y, kAbsorbance);
    AP4_ARRAY* result = nullptr;
    AP7_SPECTRUM* baseline = clean(spectrum, 1, 0, 0, kBaselineOut, &result);
    ASSERT_NE(baseline, nullptr);
    EXPECT_EQ(columns(result), (std::vector<float>{c.segments, static_cast<float>(c.y.size())}));
    AP7_SPECTRUM* corrected = clean(spectrum, 1, 0, 0, AP7F_REGION_CORRECTED, &result);
    keep(result);
    ASSERT_NE(corrected, nullptr);
    const std::vector<float> b = values(baseline);
    const std::vector<float> d = values(corrected);
    ASSERT_EQ(b.size(), c.y.size());
    for (size_t i = 0; i < c.y.size(); ++i) {
      EXPECT_NEAR(b[i], c.baseline[i], 1e-6) << i;
      EXPECT_NEAR(d[i], c.y[i] - c.baseline[i], 1e-6) << i;
    }
  }
}

// Missing ends are trimmed and a gap is filled; an all-missing region
// fails with the out-field untouched.
TEST_F(RegionBaseline, MissingEndsAreTrimmedAndAllMissingFails) {
  const double nan = std::nan("");
  AP7_SPECTRUM* spectrum = spectrum_of(0.0f, 7.0f, {nan, 1, 2, nan, 4, 5, nan, nan}, kAbsorbance);
  AP4_ARRAY* result = nullptr;
  AP7_SPECTRUM* made = clean(spectrum, 1, 0, 0, kBaselineOut, &result);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(columns(result)[AP7F_REGION_POINTS], 5.0f);
  EXPECT_EQ(packed(record(made).first_x), 1.0f);
  EXPECT_EQ(packed(record(made).last_x), 5.0f);
  EXPECT_EQ(values(made), (std::vector<float>{1, 2, 3, 4, 5}));

  AP7_SPECTRUM* blank = spectrum_of(0.0f, 4.0f, std::vector<double>(5, nan), kAbsorbance);
  AP7_SPECTRUM* lone = spectrum_of(0.0f, 4.0f, {nan, 1, nan, 2, nan}, kAbsorbance);
  AP4_ARRAY* untouched = reinterpret_cast<AP4_ARRAY*>(0x1234);
  EXPECT_EQ(clean(blank, 1, 0, 0, kBaselineOut, &untouched), nullptr);
  EXPECT_EQ(clean(lone, 1, 0, 0, kBaselineOut, &untouched), nullptr);
  EXPECT_EQ(clean(spectrum, 1, 0, 0, kBaselineOut, &untouched, std::nanf(""), 3.0f), nullptr);
  EXPECT_EQ(untouched, reinterpret_cast<AP4_ARRAY*>(0x1234));
}

// A convex baseline under upward bands (kept sign) and a concave one over
// downward bands (negated for the search): the rubber band follows the
// baseline and cuts across each band on a chord, which stands off the
// curve by at most a·(w/2)² = 1e-5 · 20² = 0.004 over the band's width.
TEST_F(RegionBaseline, RubberBandFollowsAKnownBaselineUnderBands) {
  const int n = 501;
  for (double sign : {1.0, -1.0}) {
    std::vector<double> y(n);
    for (int i = 0; i < n; ++i)
      y[i] = sign * (0.2 + 1e-5 * (i - 250.0) * (i - 250.0) + gaussian(i, 120.0, 4.0) + 0.5 * gaussian(i, 380.0, 5.0));
    AP7_SPECTRUM* spectrum = spectrum_of(1000.0f, 2000.0f, y, kAbsorbance);
    const uint16_t keep_sign = sign > 0 ? 1 : 0;
    AP4_ARRAY* result = nullptr;
    AP7_SPECTRUM* baseline = clean(spectrum, keep_sign, 0, 0, kBaselineOut, &result);
    keep(result);
    AP7_SPECTRUM* corrected = clean(spectrum, keep_sign, 0, 0, AP7F_REGION_CORRECTED, &result);
    keep(result);
    ASSERT_NE(baseline, nullptr);
    ASSERT_NE(corrected, nullptr);
    const std::vector<float> b = values(baseline);
    const std::vector<float> c = values(corrected);
    for (int i = 0; i < n; ++i) {
      EXPECT_NEAR(b[i], sign * (0.2 + 1e-5 * (i - 250.0) * (i - 250.0)), 0.005) << i;
      EXPECT_NEAR(c[i], sign * (gaussian(i, 120.0, 4.0) + 0.5 * gaussian(i, 380.0, 5.0)), 0.005) << i;
    }
  }
}

// A flat absorbance of 0.1 over 600..3998 with a dip to -0.05 inside the
// water band at 1305..2020: without the guard the band runs down into the
// dip; with it the floor is 0.1 and the band passes over the dip.
TEST_F(RegionBaseline, BandGuardKeepsTheBaselineOffAnAtmosphericDip) {
  const int n = 1700;
  std::vector<double> y(n, 0.1);
  for (int i = 0; i < n; ++i) {
    const double x = 600.0 + 2.0 * i;
    if (x > 1500.0 && x < 1520.0) y[i] = -0.05;
  }
  AP7_SPECTRUM* spectrum = spectrum_of(600.0f, 3998.0f, y, kAbsorbance);
  AP4_ARRAY* result = nullptr;
  AP7_SPECTRUM* guarded = clean(spectrum, 1, 1, 1, kBaselineOut, &result);
  keep(result);
  ASSERT_NE(guarded, nullptr);
  for (float v : values(guarded)) ASSERT_NEAR(v, 0.1f, 1e-6);
  // The guard needs the absorbance word.
  AP7_SPECTRUM* unguarded = clean(spectrum, 1, 0, 1, kBaselineOut, &result);
  keep(result);
  ASSERT_NE(unguarded, nullptr);
  EXPECT_NEAR(values(unguarded)[455], -0.05f, 1e-6);  // x = 1510
}

TEST_F(RegionBaseline, CountsOfNearlyZeroAndLowPoints) {
  const double nan = std::nan("");
  // Transmittance as a fraction; a limit of 3 %.
  AP7_SPECTRUM* closed = spectrum_of(0.0f, 3.0f, {0.5, 0.00005, 0.02, 0.5}, kTransmittance);
  EXPECT_EQ(counts(closed, AP7F_COUNT_RUNS, 3.0f), (std::vector<float>{2, 0, 1, 0, 4}));
  AP7_SPECTRUM* open = spectrum_of(0.0f, 2.0f, {0.5, 0.00005, 0.02}, kTransmittance);
  EXPECT_EQ(counts(open, AP7F_COUNT_RUNS, 3.0f), (std::vector<float>{2, 0, 0, 0, 3}));
  // The same in absorbance: 4.5 and 1.8 are 3.2e-5 and 1.6 % transmittance.
  AP7_SPECTRUM* absorbance = spectrum_of(0.0f, 3.0f, {0.3, 4.5, 1.8, 0.3}, kAbsorbance);
  EXPECT_EQ(counts(absorbance, AP7F_COUNT_RUNS, 3.0f), (std::vector<float>{2, 0, 1, 0, 4}));

  // 0.0001 exactly is nearly zero; a missing point neither opens nor
  // closes a run; a run without a nearly zero point counts in column 3.
  AP7_SPECTRUM* mixed =
      spectrum_of(0.0f, 9.0f, {0.5, 0.0001, nan, 0.01, 0.5, 0.02, nan, 0.5, nan, 0.6}, kTransmittance);
  EXPECT_EQ(counts(mixed, AP7F_COUNT_NEAR_ZERO, 3.0f), (std::vector<float>{4, 3, 1, 0, 10}));
  EXPECT_EQ(counts(mixed, AP7F_COUNT_BELOW, 3.0f), (std::vector<float>{3, 0, 0, 3, 10}));
  EXPECT_EQ(counts(mixed, AP7F_COUNT_RUNS, 3.0f), (std::vector<float>{6, 3, 1, 1, 10}));
  EXPECT_EQ(counts(mixed, 4, 3.0f), (std::vector<float>{0, 0, 0, 0, 10}));
  // A sub-region: points 2..5, its last run left open.
  EXPECT_EQ(counts(mixed, AP7F_COUNT_RUNS, 3.0f, 5.0f, 2.0f), (std::vector<float>{3, 1, 0, 1, 4}));
  // Limits beyond the axis are pulled in: the upper to the last point.
  EXPECT_EQ(counts(mixed, AP7F_COUNT_RUNS, 3.0f, 20.0f, 30.0f), (std::vector<float>{0, 0, 0, 0, 1}));
  EXPECT_TRUE(counts(mixed, AP7F_COUNT_RUNS, 3.0f, std::nanf(""), 3.0f).empty());
}

TEST_F(RegionBaseline, XExtentCutsOrExtends) {
  // X 0..40 at 4.0: 11 points. lo = 7.99 deletes 2 points at the start
  // (7.99/4 + 0.01 = 2.0075); hi = 30 deletes 2 at the end.
  AP7_SPECTRUM* spectrum = spectrum_of(0.0f, 40.0f, std::vector<double>(11, 1.0), kAbsorbance);
  EXPECT_EQ(extent(spectrum, 30.0f, 7.99f, 0.0f), 1u);
  EXPECT_EQ(packed(record(spectrum).points), 7u);
  EXPECT_EQ(packed(record(spectrum).first_x), 8.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 32.0f);
  // Wider without extending: unchanged.
  EXPECT_EQ(extent(spectrum, -100.0f, 100.0f, 0.0f), 1u);
  EXPECT_EQ(packed(record(spectrum).points), 7u);
  // Extending adds missing points: 2 at the start, 3 at the end.
  EXPECT_EQ(extent(spectrum, 0.0f, 44.0f, 1.0f), 1u);
  EXPECT_EQ(packed(record(spectrum).first_x), 0.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 44.0f);
  const std::vector<float> y = values(spectrum);
  ASSERT_EQ(y.size(), 12u);
  for (size_t i = 0; i < y.size(); ++i) EXPECT_EQ(std::isnan(y[i]), i < 2 || i >= 9) << i;
  // A cut that would leave no point fails; the other end still fits.
  EXPECT_EQ(extent(spectrum, 100.0f, 200.0f, 0.0f), 0u);
  EXPECT_EQ(packed(record(spectrum).points), 12u);
  // A falling axis and NaN limits are refused.
  AP7_SPECTRUM* falling = spectrum_of(40.0f, 0.0f, std::vector<double>(11, 1.0), kAbsorbance);
  EXPECT_EQ(extent(falling, 8.0f, 32.0f, 0.0f), 0u);
  EXPECT_EQ(extent(spectrum, std::nanf(""), 32.0f, 0.0f), 0u);
  EXPECT_EQ(packed(record(falling).points), 11u);
}

// With every word 0 the result is an absorbance copy; with the baseline
// word a cubic baseline under two bands goes and the minimum becomes 0.
TEST_F(RegionBaseline, SuppressedCopyIsAbsorbanceWithTheBaselineRemoved) {
  const int n = 401;
  std::vector<double> t(n);
  std::vector<double> a(n);
  for (int i = 0; i < n; ++i) {
    const double u = i / 400.0;
    a[i] = 0.3 + 0.2 * u - 0.3 * u * u + 0.25 * u * u * u;
    a[i] += 0.8 * gaussian(i, 100.0, 4.0) + 0.5 * gaussian(i, 300.0, 5.0);
    t[i] = 100.0 * std::pow(10.0, -a[i]);
  }
  AP7_SPECTRUM* spectrum = spectrum_of(1000.0f, 1800.0f, t, kPercentT);
  const std::vector<float> before = values(spectrum);
  AP7F_SUPPRESSPARM plain{AP_NOT_GIVEN, AP_NOT_GIVEN, 0, 0, 0, nullptr, nullptr};
  AP7_SPECTRUM* copy = keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SUPPRESS_AND_BASELINE, spectrum, &plain)));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(packed(record(copy).y_units), kAbsorbance);
  const std::vector<float> absorbance = values(copy);
  for (int i = 0; i < n; ++i) EXPECT_NEAR(absorbance[i], a[i], 1e-5) << i;

  // Suppression words without references change nothing more.
  AP7F_SUPPRESSPARM corrected{AP_NOT_GIVEN, AP_NOT_GIVEN, 1, 1, 1, nullptr, nullptr};
  AP7_SPECTRUM* made = keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SUPPRESS_AND_BASELINE, spectrum, &corrected)));
  ASSERT_NE(made, nullptr);
  const std::vector<float> y = values(made);
  float lowest = y[0];
  for (float v : y) lowest = std::min(lowest, v);
  EXPECT_EQ(lowest, 0.0f);
  for (int i = 0; i < n; ++i)
    EXPECT_NEAR(y[i] - lowest, 0.8 * gaussian(i, 100.0, 4.0) + 0.5 * gaussian(i, 300.0, 5.0), 2e-3) << i;
  EXPECT_EQ(values(spectrum), before);
}

// The water lines of an atmosphere reference, added to an absorbance
// sample in a known amount, are taken out by the suppression (match flag
// set, which matches the reference to the sample's grid).
TEST_F(RegionBaseline, SuppressedCopyLosesTheWaterLines) {
  const double laser = 15798.0;
  const double spacing = laser / 2048.0;
  const int n = 480;
  auto water = [](double x) {
    double sum = 0.0;
    for (double centre : {1350.0, 1450.0, 1520.0, 1600.0, 1700.0, 1800.0, 1900.0, 2000.0})
      sum += 0.8 * gaussian(x, centre, 5.0);
    for (double centre : {3450.0, 3520.0, 3610.0, 3700.0, 3790.0, 3880.0, 3950.0}) sum += gaussian(x, centre, 5.0);
    return sum;
  };
  auto own = [](double x) { return gaussian(x, 2900.0, 60.0) + 0.8 * gaussian(x, 1100.0, 40.0); };
  std::vector<double> sample(n);
  std::vector<double> atmosphere(n);
  for (int i = 0; i < n; ++i) {
    const double x = (65 + i) * spacing;
    sample[i] = own(x) + 0.3 * water(x);
    atmosphere[i] = water(x);
  }
  const float first = static_cast<float>(65 * spacing);
  const float last = static_cast<float>((65 + n - 1) * spacing);
  AP7_SPECTRUM* mixed = spectrum_of(first, last, sample, kAbsorbance);
  AP7_SPECTRUM* reference = spectrum_of(first, last, atmosphere, kAbsorbance);
  for (AP7_SPECTRUM* s : {mixed, reference}) {
    record(s).x_units = 1;
    record(s).LaserFreq = static_cast<float>(laser);
  }
  AP7F_SUPPRESSPARM p{AP_NOT_GIVEN, AP_NOT_GIVEN, 1, 0, 0, reference, nullptr};
  AP7_SPECTRUM* dry = keep(ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_SUPPRESS_AND_BASELINE, mixed, &p)));
  ASSERT_NE(dry, nullptr);
  const std::vector<float> y = values(dry);
  ASSERT_EQ(y.size(), static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) EXPECT_NEAR(y[i], own((65 + i) * spacing), 2e-3) << i;
}
