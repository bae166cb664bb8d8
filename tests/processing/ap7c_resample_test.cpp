// X-axis units (messages 262 to 264): scaling between the wavelength units
// and resampling to and from wavenumbers, checked against closed forms.
#include <cmath>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "processing/processing_fixture.h"

namespace {

using namespace spectrumtest;

constexpr uint32_t kNanometres = 3;
constexpr uint32_t kMicrometres = 4;

class ResampleTest : public SpectrumTest {
 protected:
  void TearDown() override {
    for (AP7_SPECTRUM* spectrum : spectra_) destroy(spectrum);
    SpectrumTest::TearDown();
  }

  // n points over first..last in the unit, y = f(x).
  AP7_SPECTRUM* sampled(uint32_t x_units, uint32_t y_units, float first, float last, uint32_t n,
                        const std::function<double(double)>& f) {
    std::vector<float> y(n);
    for (uint32_t i = 0; i < n; ++i) y[i] = static_cast<float>(f(first + (double{last} - first) * i / (n - 1)));
    AP7_SPECTRUM* spectrum = make_axis(first, last, y);
    record(spectrum).x_units = x_units;
    record(spectrum).y_units = y_units;
    spectra_.push_back(spectrum);
    return spectrum;
  }

  static uint32_t convert(AP7_SPECTRUM* spectrum, uint16_t message, float step) {
    AP7_XUNITSPARM block{step};
    return send(message, spectrum, &block);
  }

  static bool history(AP7_SPECTRUM* spectrum, int16_t bit) {
    return ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), bit) != 0;
  }

  // Every value against f at its grid position, within the tolerance.
  static void expect_samples(AP7_SPECTRUM* spectrum, const std::function<double(double)>& f, double tolerance) {
    const std::vector<float> y = values(spectrum);
    const double first = packed(record(spectrum).first_x);
    const double last = packed(record(spectrum).last_x);
    for (size_t i = 0; i < y.size(); ++i) {
      const double x = first + (last - first) * i / (y.size() - 1);
      ASSERT_NEAR(y[i], f(x), tolerance) << "point " << i << " at " << x;
    }
  }

  std::vector<AP7_SPECTRUM*> spectra_;
};

double linear(double x) { return 0.5 + 0.0002 * x; }
double wavy(double x) { return 0.5 + 0.0002 * x + 0.1 * std::sin(x / 150.0); }

TEST_F(ResampleTest, ASpectrumAlreadyInTheUnitIsRefused) {
  struct Case {
    uint32_t x_units;
    uint16_t message;
  };
  for (const Case& c : {Case{kNanometres, AP7_MSG_X_TO_NANOMETRES}, Case{kMicrometres, AP7_MSG_X_TO_MICROMETRES},
                        Case{kWavenumbers, AP7_MSG_X_TO_WAVENUMBERS}, Case{7, AP7_MSG_X_TO_NANOMETRES},
                        Case{7, AP7_MSG_X_TO_MICROMETRES}, Case{7, AP7_MSG_X_TO_WAVENUMBERS}}) {
    AP7_SPECTRUM* spectrum = sampled(c.x_units, 17, 2.0f, 4.0f, 5, linear);
    EXPECT_EQ(convert(spectrum, c.message, 1.0f), 0u) << c.x_units << " " << c.message;
    EXPECT_EQ(packed(record(spectrum).x_units), c.x_units);
    EXPECT_EQ(packed(record(spectrum).first_x), 2.0f);
  }
}

TEST_F(ResampleTest, BetweenWavelengthUnitsOnlyTheLimitsScale) {
  AP7_SPECTRUM* spectrum = sampled(kMicrometres, 17, 2.5f, 25.0f, 10, linear);
  const std::vector<float> before = values(spectrum);
  ASSERT_EQ(convert(spectrum, AP7_MSG_X_TO_NANOMETRES, 1.0f), 1u);
  EXPECT_EQ(packed(record(spectrum).x_units), kNanometres);
  EXPECT_EQ(packed(record(spectrum).first_x), 2500.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 25000.0f);
  ASSERT_EQ(convert(spectrum, AP7_MSG_X_TO_MICROMETRES, 1.0f), 1u);
  EXPECT_EQ(packed(record(spectrum).x_units), kMicrometres);
  EXPECT_EQ(packed(record(spectrum).first_x), 2.5f);
  EXPECT_EQ(packed(record(spectrum).last_x), 25.0f);
  EXPECT_EQ(values(spectrum), before);
  EXPECT_FALSE(history(spectrum, AP41_HISTORY_TO_WAVELENGTH));
  EXPECT_FALSE(history(spectrum, AP41_HISTORY_TO_WAVENUMBER));
}

// 1000..5000 cm-1 is 2000..10000 nm: a grid of 10 nm from 2000 to 10000,
// each value the line's value at 1e7 / lambda.
TEST_F(ResampleTest, WavenumbersToNanometresResamplesOntoTheSnappedGrid) {
  AP7_SPECTRUM* spectrum = sampled(kWavenumbers, 17, 1000.0f, 5000.0f, 1001, linear);
  ASSERT_EQ(convert(spectrum, AP7_MSG_X_TO_NANOMETRES, 10.0f), 1u);
  EXPECT_EQ(packed(record(spectrum).x_units), kNanometres);
  EXPECT_EQ(packed(record(spectrum).first_x), 2000.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 10000.0f);
  EXPECT_EQ(packed(record(spectrum).points), 801u);
  EXPECT_TRUE(history(spectrum, AP41_HISTORY_TO_WAVELENGTH));
  expect_samples(spectrum, [](double nm) { return linear(1e7 / nm); }, 1e-5);
}

// 1010..4990 cm-1: the grid starts at the first multiple of 30 nm at or
// above 1e7 / 4990 = 2004.0 and ends at the last at or below 9900.99.
TEST_F(ResampleTest, NanometreGridEndsAreMultiplesOfTheStepInsideTheData) {
  AP7_SPECTRUM* spectrum = sampled(kWavenumbers, 17, 1010.0f, 4990.0f, 996, linear);
  ASSERT_EQ(convert(spectrum, AP7_MSG_X_TO_NANOMETRES, 30.0f), 1u);
  EXPECT_EQ(packed(record(spectrum).first_x), 2010.0f);
  EXPECT_EQ(packed(record(spectrum).last_x), 9900.0f);
  EXPECT_EQ(packed(record(spectrum).points), 264u);
}

TEST_F(ResampleTest, WavenumbersToMicrometresAndBackRoundTrip) {
  AP7_SPECTRUM* spectrum = sampled(kWavenumbers, 17, 1000.0f, 4000.0f, 3001, wavy);
  ASSERT_EQ(convert(spectrum, AP7_MSG_X_TO_MICROMETRES, 0.0005f), 1u);
  EXPECT_EQ(packed(record(spectrum).x_units), kMicrometres);
  EXPECT_NEAR(packed(record(spectrum).first_x), 2.5f, 1e-6f);
  EXPECT_NEAR(packed(record(spectrum).last_x), 10.0f, 1e-6f);
  EXPECT_TRUE(history(spectrum, AP41_HISTORY_TO_WAVELENGTH));
  expect_samples(spectrum, [](double um) { return wavy(1e4 / um); }, 1e-4);

  // Back onto a grid of the laser step (15798 / 16384 cm-1).
  ASSERT_EQ(convert(spectrum, AP7_MSG_X_TO_WAVENUMBERS, 1.0f), 1u);
  const double step = 15798.0 / 16384.0;
  EXPECT_EQ(packed(record(spectrum).x_units), kWavenumbers);
  EXPECT_TRUE(history(spectrum, AP41_HISTORY_TO_WAVENUMBER));
  EXPECT_NEAR(packed(record(spectrum).first_x), std::trunc(1000.0 / step + 0.999) * step, 1e-3);
  EXPECT_NEAR(packed(record(spectrum).last_x), std::trunc(4000.0 / step) * step, 1e-3);
  expect_samples(spectrum, wavy, 2e-4);
}

TEST_F(ResampleTest, NanometresBackToWavenumbersGoThroughMicrometres) {
  AP7_SPECTRUM* spectrum = sampled(kWavenumbers, 17, 1000.0f, 4000.0f, 3001, wavy);
  record(spectrum).LaserFreq = 0.0f;
  ASSERT_EQ(convert(spectrum, AP7_MSG_X_TO_NANOMETRES, 0.5f), 1u);
  ASSERT_EQ(convert(spectrum, AP7_MSG_X_TO_WAVENUMBERS, 2.0f), 1u);
  EXPECT_EQ(packed(record(spectrum).x_units), kWavenumbers);
  // No laser frequency: the default one sets the grid.
  EXPECT_EQ(packed(record(spectrum).LaserFreq), 15798.0f);
  const double step = 2.0 * 15798.0 / 16384.0;
  const double first = packed(record(spectrum).first_x);
  const double last = packed(record(spectrum).last_x);
  EXPECT_NEAR((last - first) / (packed(record(spectrum).points) - 1), step, 1e-4);
  expect_samples(spectrum, wavy, 2e-4);
}

// A single beam is a density per wavenumber: each source value is weighed
// by (x / c)^2, c the middle of the wavenumber axis.
TEST_F(ResampleTest, DensityUnitsAreWeightedByTheSquareOfThePosition) {
  const auto one = [](double) { return 1.0; };
  AP7_SPECTRUM* weighted = sampled(kWavenumbers, AP1_YUNIT_SINGLE_BEAM, 1000.0f, 5000.0f, 4001, one);
  AP7_SPECTRUM* plain = sampled(kWavenumbers, 17, 1000.0f, 5000.0f, 4001, one);
  ASSERT_EQ(convert(weighted, AP7_MSG_X_TO_NANOMETRES, 10.0f), 1u);
  ASSERT_EQ(convert(plain, AP7_MSG_X_TO_NANOMETRES, 10.0f), 1u);
  const double centre = 3000.0;
  expect_samples(weighted, [centre](double nm) { return std::pow(1e7 / nm / centre, 2.0); }, 1e-3);
  expect_samples(plain, one, 1e-6);
}

TEST_F(ResampleTest, UnusableGridsAndAxesAreRefusedAndLeaveTheData) {
  struct Case {
    const char* what;
    float first;
    float last;
    float step;
  };
  const Case cases[] = {
      {"fewer than two grid points", 1000.0f, 1001.0f, 1000.0f},
      {"zero step", 1000.0f, 2000.0f, 0.0f},
      {"negative step", 1000.0f, 2000.0f, -5.0f},
      {"step below the normal range", 1000.0f, 2000.0f, 1e-39f},
      {"missing step", 1000.0f, 2000.0f, AP1_GetNaNSG_MATH()},
      {"axis reaching zero", 0.0f, 2000.0f, 10.0f},
      {"negative axis", -2000.0f, -1000.0f, 10.0f},
  };
  for (const Case& c : cases) {
    AP7_SPECTRUM* spectrum = sampled(kWavenumbers, 17, c.first, c.last, 11, linear);
    const std::vector<float> before = values(spectrum);
    EXPECT_EQ(convert(spectrum, AP7_MSG_X_TO_NANOMETRES, c.step), 0u) << c.what;
    EXPECT_EQ(packed(record(spectrum).x_units), kWavenumbers) << c.what;
    EXPECT_EQ(packed(record(spectrum).first_x), c.first) << c.what;
    EXPECT_EQ(values(spectrum), before) << c.what;
    EXPECT_FALSE(history(spectrum, AP41_HISTORY_TO_WAVELENGTH)) << c.what;
  }
}

TEST_F(ResampleTest, AFallingAxisResamplesLikeARisingOne) {
  AP7_SPECTRUM* rising = sampled(kWavenumbers, 17, 1000.0f, 5000.0f, 1001, wavy);
  AP7_SPECTRUM* falling = sampled(kWavenumbers, 17, 5000.0f, 1000.0f, 1001, wavy);
  ASSERT_EQ(convert(rising, AP7_MSG_X_TO_NANOMETRES, 10.0f), 1u);
  ASSERT_EQ(convert(falling, AP7_MSG_X_TO_NANOMETRES, 10.0f), 1u);
  EXPECT_EQ(packed(record(falling).first_x), 2000.0f);
  const std::vector<float> a = values(rising);
  const std::vector<float> b = values(falling);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) EXPECT_NEAR(a[i], b[i], 1e-5f) << i;
}

}  // namespace
