#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "processing/processing.h"
#include "spectrum/lorentz_oscillator.h"
#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

constexpr float kSampleIndex = 1.5f;  // the oscillator's sqrt(eps_inf)
constexpr float kCrystalIndex = 2.4f;
constexpr uint32_t kPoints = 201;
constexpr float kFirst = 600.0f;
constexpr float kLast = 1400.0f;

class ATRCorrection : public SpectrumTest {
 protected:
  const oscillator::Lorentz model{2.25, 0.15, 1000.0, 20.0};

  static double nu(float first, float last, uint32_t i) {
    return first + (static_cast<double>(last) - first) * i / (kPoints - 1);
  }

  // The absorbance an ATR accessory measures of the oscillator.
  AP7_SPECTRUM* atr_spectrum(float degrees, float reflections, float first = kFirst, float last = kLast) const {
    std::vector<float> y(kPoints);
    for (uint32_t i = 0; i < kPoints; ++i)
      y[i] = static_cast<float>(model.atr_absorbance(nu(first, last, i), kCrystalIndex, degrees, reflections));
    AP7_SPECTRUM* spectrum = make_axis(first, last, y);
    record(spectrum).y_units = 17;
    record(spectrum).x_units = 1;
    return spectrum;
  }

  // What the correction estimates: 4 pi nu k / 10000.
  std::vector<double> expected(float first = kFirst, float last = kLast) const {
    std::vector<double> index(kPoints);
    for (uint32_t i = 0; i < kPoints; ++i) {
      const double x = nu(first, last, i);
      index[i] = 4.0 * M_PI * x * model.index(x).imag() / 10000.0;
    }
    return index;
  }

  static AP7_SPECTRUM* correct(AP7_SPECTRUM* spectrum, float sample, float crystal, float reflections, float angle) {
    AP7G_ATRPARM parameter{sample, crystal, reflections, angle};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_KK_ATR_CORRECTION, spectrum, &parameter));
  }
};

struct Geometry {
  float degrees;
  float reflections;
};

// At 45 degrees the closed form gives the single reflection's reflectance,
// at 44.9 degrees Newton's method; both recover the oscillator's absorption
// index to a few percent of its peak.
TEST_F(ATRCorrection, RecoversTheAbsorptionIndexOfKnownOpticalConstants) {
  for (const Geometry g : {Geometry{45.0f, 1.0f}, Geometry{44.9f, 3.0f}}) {
    SCOPED_TRACE(g.degrees);
    AP7_SPECTRUM* spectrum = atr_spectrum(g.degrees, g.reflections);
    const std::vector<float> before = values(spectrum);
    AP7_SPECTRUM* result = correct(spectrum, kSampleIndex, kCrystalIndex, g.reflections, g.degrees);
    ASSERT_NE(result, nullptr);
    const std::vector<float> y = values(result);
    const std::vector<double> truth = expected();
    ASSERT_EQ(y.size(), truth.size());
    const double peak = *std::max_element(truth.begin(), truth.end());
    for (size_t i = 0; i < y.size(); ++i) EXPECT_NEAR(y[i], truth[i], 0.03 * peak) << "point " << i;
    EXPECT_EQ(packed(record(result).first_x), kFirst);
    EXPECT_EQ(packed(record(result).last_x), kLast);
    EXPECT_EQ(values(spectrum), before);
    destroy(result);
    destroy(spectrum);
  }
}

// The analysis runs along rising wavenumbers whichever way the data run.
TEST_F(ATRCorrection, FallingAxisGivesTheSameResultReversed) {
  AP7_SPECTRUM* spectrum = atr_spectrum(45.0f, 1.0f, kLast, kFirst);
  AP7_SPECTRUM* result = correct(spectrum, kSampleIndex, kCrystalIndex, 1.0f, 45.0f);
  ASSERT_NE(result, nullptr);
  std::vector<float> y = values(result);
  std::reverse(y.begin(), y.end());
  const std::vector<double> truth = expected();
  const double peak = *std::max_element(truth.begin(), truth.end());
  for (size_t i = 0; i < y.size(); ++i) EXPECT_NEAR(y[i], truth[i], 0.03 * peak) << "point " << i;
  EXPECT_EQ(packed(record(result).first_x), kLast);
  destroy(result);
  destroy(spectrum);
}

TEST_F(ATRCorrection, SampleIndexNotAboveZeroIsTakenAsOnePointFive) {
  AP7_SPECTRUM* spectrum = atr_spectrum(45.0f, 1.0f);
  AP7_SPECTRUM* given = correct(spectrum, 1.5f, kCrystalIndex, 1.0f, 45.0f);
  AP7_SPECTRUM* defaulted = correct(spectrum, 0.0f, kCrystalIndex, 1.0f, 45.0f);
  ASSERT_NE(given, nullptr);
  ASSERT_NE(defaulted, nullptr);
  EXPECT_EQ(values(defaulted), values(given));
  destroy(given);
  destroy(defaulted);
  destroy(spectrum);
}

struct Refused {
  const char* name;
  float sample;
  float crystal;
  float reflections;
  float angle;
};

// Every refusal answers null at once: below the critical angle (38.7 degrees
// for 1.5 against 2.4) there is no total reflection, and the Newton
// iteration and the phase's constant would have no value.
TEST_F(ATRCorrection, RefusedArguments) {
  const std::vector<Refused> cases = {
      {"angle of 90 degrees", 1.5f, 2.4f, 1.0f, 90.0f},
      {"angle of 0", 1.5f, 2.4f, 1.0f, 0.0f},
      {"negative crystal index", 1.5f, -2.4f, 1.0f, 45.0f},
      {"no reflections", 1.5f, 2.4f, 0.0f, 45.0f},
      {"sample index above the crystal's", 2.5f, 2.4f, 1.0f, 45.0f},
      {"below the critical angle", 1.5f, 2.4f, 1.0f, 30.0f},
      {"below the critical angle at 45 degrees", 2.0f, 2.4f, 1.0f, 45.0f},
      {"equal indices", 2.4f, 2.4f, 1.0f, 60.0f},
      {"missing angle", 1.5f, 2.4f, 1.0f, NAN},
  };
  AP7_SPECTRUM* spectrum = atr_spectrum(45.0f, 1.0f);
  const auto live = spectrum_class().live;
  for (const Refused& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(correct(spectrum, c.sample, c.crystal, c.reflections, c.angle), nullptr);
    EXPECT_EQ(spectrum_class().live, live);
  }
  destroy(spectrum);
}

TEST_F(ATRCorrection, UnitsWithoutAbsorbanceAreRefused) {
  AP7_SPECTRUM* spectrum = atr_spectrum(45.0f, 1.0f);
  record(spectrum).y_units = 31;
  EXPECT_EQ(correct(spectrum, kSampleIndex, kCrystalIndex, 1.0f, 45.0f), nullptr);
  destroy(spectrum);
}

}  // namespace
