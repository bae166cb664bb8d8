// The best laser shift found for a spectrum whose axis was stretched by a
// known laser offset, in each scoring mode, and the atmospheric comparison
// of two spectra by their mean point-to-point difference in transmittance.
#include <cmath>
#include <vector>

#include "processing_fixture.h"

using namespace spectrumtest;

namespace {

constexpr uint32_t kSingleBeam = 15;
constexpr float kLaser = 15798.0f;
constexpr double kSpacing = kLaser / 4096.0;
constexpr int kFirstIndex = 700;  // 2699.9 cm-1
constexpr uint32_t kPoints = 200;

double gaussian(double x, double centre, double sigma) {
  const double z = (x - centre) / sigma;
  return std::exp(-0.5 * z * z);
}

double bands(double x) {
  return 0.2 + gaussian(x, 2900.0, 12.0) + 0.6 * gaussian(x, 3050.0, 8.0) + 0.8 * gaussian(x, 3200.0, 15.0) +
         0.5 * gaussian(x, 3300.0, 10.0);
}

class BestShift : public ProcessingTest {
 protected:
  // The bands on the laser grid, read as if the laser had been off by
  // `offset`: point x holds bands(x (1 + offset / laser)).
  AP7_SPECTRUM* made(double offset, uint32_t y_units = kAbsorbance) {
    std::vector<float> y(kPoints);
    for (uint32_t i = 0; i < kPoints; ++i) y[i] = static_cast<float>(bands((kFirstIndex + i) * kSpacing * (1.0 + offset / kLaser)));
    AP7_SPECTRUM* spectrum = keep(make_axis(static_cast<float>(kFirstIndex * kSpacing),
                                            static_cast<float>((kFirstIndex + kPoints - 1) * kSpacing), y));
    record(spectrum).x_units = kWavenumbers;
    record(spectrum).y_units = y_units;
    record(spectrum).LaserFreq = kLaser;
    return spectrum;
  }
  static int16_t best_shift(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float range, float step, uint16_t mode, float* best) {
    AP7E_BESTSHIFTPARM block{b, 2850.0f, 3350.0f, range, step, mode, best};
    return static_cast<int16_t>(send(AP7_MSG_FIND_BEST_SHIFT, a, &block));
  }
};

class AtmosCompare : public ProcessingTest {
 protected:
  // Values alternating low, high from x = 1000 on at spacing 2.
  AP7_SPECTRUM* alternating(uint32_t n, float low, float high, uint32_t y_units = kPercentT) {
    std::vector<float> y(n);
    for (uint32_t i = 0; i < n; ++i) y[i] = i % 2 == 0 ? low : high;
    AP7_SPECTRUM* spectrum = keep(make_axis(1000.0f, 1000.0f + 2.0f * (n - 1), y));
    record(spectrum).x_units = kWavenumbers;
    record(spectrum).y_units = y_units;
    return spectrum;
  }
  static int16_t compare(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float x1 = AP_NOT_GIVEN, float x2 = AP_NOT_GIVEN) {
    AP7E_ATMOSCOMPAREPARM block{b, x1, x2, 0};
    return static_cast<int16_t>(send(AP7_MSG_ATMOS_COMPARE, a, &block));
  }
};

}  // namespace

TEST_F(BestShift, FindsTheLaserOffsetOfAStretchedSpectrumInEveryMode) {
  struct Case {
    const char* what;
    uint16_t mode;
    uint32_t y_units;
    double offset;
  };
  const Case cases[] = {
      {"linear fit, +6", AP7E_SHIFT_LINEAR_FIT, kAbsorbance, 6.0},
      {"linear fit, -4", AP7E_SHIFT_LINEAR_FIT, kAbsorbance, -4.0},
      {"squares, +6", AP7E_SHIFT_SQUARES, kAbsorbance, 6.0},
      {"squares, -8", AP7E_SHIFT_SQUARES, kAbsorbance, -8.0},
      {"ratio of single beams, +2", AP7E_SHIFT_RATIO, kSingleBeam, 2.0},
  };
  for (const Case& c : cases) {
    AP7_SPECTRUM* reference = made(0.0, c.y_units);
    AP7_SPECTRUM* stretched = made(c.offset, c.y_units);
    const std::vector<float> before = values(stretched);
    float best = 99.0f;
    ASSERT_EQ(best_shift(stretched, reference, 10.0f, 2.0f, c.mode, &best), 1) << c.what;
    EXPECT_FLOAT_EQ(best, static_cast<float>(c.offset)) << c.what;
    EXPECT_EQ(values(stretched), before) << c.what;
    EXPECT_EQ(packed(record(stretched).LaserFreq), kLaser) << c.what;
  }
}

TEST_F(BestShift, EdgeCasesOfTheSearch) {
  AP7_SPECTRUM* reference = made(0.0);
  AP7_SPECTRUM* stretched = made(6.0);
  float best = 99.0f;
  // A range below one step tries only the offset 0.
  ASSERT_EQ(best_shift(stretched, reference, 1.9f, 2.0f, AP7E_SHIFT_SQUARES, &best), 1);
  EXPECT_EQ(best, 0.0f);
  // The spectrum against itself.
  best = 99.0f;
  ASSERT_EQ(best_shift(reference, reference, 10.0f, 2.0f, AP7E_SHIFT_SQUARES, &best), 1);
  EXPECT_EQ(best, 0.0f);
  // Mode 2 needs single beams on both sides.
  best = 99.0f;
  EXPECT_EQ(best_shift(made(0.0, kSingleBeam), reference, 10.0f, 2.0f, AP7E_SHIFT_RATIO, &best), 0);
  EXPECT_EQ(best, 0.0f);
  // A step that is no positive number would never end the search.
  best = 99.0f;
  EXPECT_EQ(best_shift(stretched, reference, 10.0f, 0.0f, AP7E_SHIFT_SQUARES, &best), 0);
  EXPECT_EQ(best, 0.0f);
  // Candidates whose resampled points fall off the data score no number
  // and are passed over: only the offset 0 is left.
  best = 99.0f;
  EXPECT_EQ(AP7_FindBestShift_SPECTRUM(stretched, reference, 2700.0f, 3467.0f, 400.0f, 200.0f, AP7E_SHIFT_SQUARES,
                                       &best),
            1);
  EXPECT_EQ(best, 0.0f);
  EXPECT_EQ(AP7_FindBestShift_SPECTRUM(nullptr, reference, 2850.0f, 3350.0f, 10.0f, 2.0f, 0, &best), 0);
}

// The mean of |y[k+1] - y[k]| in transmittance: alternating 50 and 52 has
// 2, alternating absorbances 0 and 0.01 have 100 (1 - 10^-0.01) = 2.276.
TEST_F(AtmosCompare, ComparesTheMeanPointToPointDifference) {
  struct Case {
    const char* what;
    float a_low, a_high;
    uint32_t a_units;
    float b_low, b_high;
    int16_t result;
  };
  const Case cases[] = {
      {"rougher than the other", 50.0f, 52.0f, kPercentT, 50.0f, 51.9f, 1},
      {"smoother than the other", 50.0f, 52.0f, kPercentT, 50.0f, 52.1f, 0},
      {"as rough as the other", 50.0f, 52.0f, kPercentT, 60.0f, 62.0f, 1},
      {"absorbance read in transmittance", 0.0f, 0.01f, kAbsorbance, 50.0f, 52.3f, 0},
      {"absorbance rougher", 0.0f, 0.01f, kAbsorbance, 50.0f, 52.2f, 1},
  };
  for (const Case& c : cases) {
    AP7_SPECTRUM* a = alternating(21, c.a_low, c.a_high, c.a_units);
    // The other reaches further; only the common range counts.
    AP7_SPECTRUM* b = alternating(41, c.b_low, c.b_high);
    std::vector<float> y = values(b);
    for (uint32_t i = 0; i < 21; ++i) y[i] = i % 2 == 0 ? c.b_low : c.b_high;
    put_values(b, y);
    EXPECT_EQ(compare(a, b), c.result) << c.what;
    EXPECT_EQ(packed(record(a).y_units), c.a_units) << c.what;
  }
}

TEST_F(AtmosCompare, RegionsAndRefusals) {
  AP7_SPECTRUM* rough = alternating(21, 50.0f, 60.0f);
  AP7_SPECTRUM* smooth = alternating(21, 50.0f, 51.0f);
  EXPECT_EQ(compare(rough, rough), 1);
  EXPECT_EQ(compare(smooth, rough, 1010.0f, 1020.0f), 0);
  // Equal limits take the whole common range; limits in either order.
  EXPECT_EQ(compare(smooth, rough, 1010.0f, 1010.0f), 0);
  EXPECT_EQ(compare(smooth, rough, 1020.0f, 1010.0f), 0);
  // A region wholly outside the common range.
  EXPECT_EQ(compare(rough, smooth, 2000.0f, 2100.0f), 0);
  EXPECT_EQ(compare(rough, smooth, 500.0f, 600.0f), 0);
  EXPECT_EQ(AP7_AtmosCompare_SPECTRUM(rough, nullptr, AP_NOT_GIVEN, AP_NOT_GIVEN, 0), 0);
}
