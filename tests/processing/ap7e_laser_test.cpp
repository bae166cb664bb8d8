// Laser-frequency correction of the X axis: a spectrum sampled on the grid
// of one laser read onto the grid of another, checked against the cubic
// worked here and against the smooth function it was made of; the Raman
// branch, the reset of mode 0, the Y unit kept on every path and the
// history lines cut to their buffer.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "processing_fixture.h"

using namespace spectrumtest;

namespace {

constexpr float kLaser = 15798.0f;

// The Catmull-Rom cubic in its power form: 0.5 (2 y1 + (y2 - y0) t +
// (2 y0 - 5 y1 + 4 y2 - y3) t^2 + (3 y1 - y0 - 3 y2 + y3) t^3).
double catmull_rom(double y0, double y1, double y2, double y3, double t) {
  return 0.5 * (2 * y1 + (y2 - y0) * t + (2 * y0 - 5 * y1 + 4 * y2 - y3) * t * t +
                (3 * y1 - y0 - 3 * y2 + y3) * t * t * t);
}

// A smooth band pattern in percent transmittance, at wavenumber x.
double pattern(double x) { return 60.0 + 25.0 * std::sin(x / 9.0) + 10.0 * std::cos(x / 23.0); }

class Laser : public ProcessingTest {
 protected:
  // n points from k0 spacings of laser / 4096 onward, in percent
  // transmittance, made of the pattern.
  AP7_SPECTRUM* on_laser_grid(uint32_t n, int k0, float laser = kLaser) {
    const double d = laser / 4096.0;
    std::vector<float> y(n);
    for (uint32_t i = 0; i < n; ++i) y[i] = static_cast<float>(pattern((k0 + i) * d));
    AP7_SPECTRUM* spectrum =
        keep(make_axis(static_cast<float>(k0 * d), static_cast<float>((k0 + n - 1) * d), y));
    record(spectrum).x_units = kWavenumbers;
    record(spectrum).y_units = kPercentT;
    record(spectrum).LaserFreq = laser;
    return spectrum;
  }

  static uint32_t send_436(AP7_SPECTRUM* spectrum, float frequency, uint16_t mode) {
    AP7E_LASERPARM block{frequency, mode};
    return send(AP7_MSG_CHANGE_LASER_FREQUENCY_MODE, spectrum, &block);
  }
  static uint32_t send_250(AP7_SPECTRUM* spectrum, float frequency) {
    AP7_VALUEPARM block{frequency};
    return send(AP7_MSG_SET_LASER_FREQUENCY, spectrum, &block);
  }
};

void add_history_texts(const std::vector<utiltest::Record>& records) {
  utiltest::ModuleBuilder builder;
  builder.group(AP7_GROUP_HISTORY, records);
  utiltest::add_resource_module("laser_history.dll", builder);
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

}  // namespace

// Point i of the result lies at (k0 + i) d r on the new axis and takes the
// cubic through the four source points around source position
// (k0 + i) r - k0; the ends whose source falls outside 1..n-3 are repaired.
TEST_F(Laser, ResamplesOntoTheNewLaserGridByTheCubic) {
  const uint32_t n = 64;
  const int k0 = 520;
  AP7_SPECTRUM* spectrum = on_laser_grid(n, k0);
  const std::vector<float> src = values(spectrum);
  const float new_laser = 15791.5f;
  const double r = double{new_laser} / kLaser;
  const float first_x = packed(record(spectrum).first_x);
  const float last_x = packed(record(spectrum).last_x);

  ASSERT_EQ(send_250(spectrum, new_laser), 1u);

  const std::vector<float> dst = values(spectrum);
  ASSERT_EQ(dst.size(), n);
  EXPECT_EQ(packed(record(spectrum).points), n);
  EXPECT_FLOAT_EQ(packed(record(spectrum).first_x), static_cast<float>(first_x * r));
  EXPECT_FLOAT_EQ(packed(record(spectrum).last_x), static_cast<float>(last_x * r));
  EXPECT_FLOAT_EQ(packed(record(spectrum).LaserFreq), new_laser);
  EXPECT_EQ(packed(record(spectrum).y_units), kPercentT);

  std::vector<double> expected(n, std::nan(""));
  for (uint32_t i = 0; i < n; ++i) {
    const double p = (k0 + i) * r;
    const int k = static_cast<int>(std::trunc(p)) - k0;
    if (k >= 1 && k <= static_cast<int>(n) - 3)
      expected[i] = catmull_rom(src[k - 1], src[k], src[k + 1], src[k + 2], p - std::trunc(p));
  }
  // r < 1 moves the source positions back: the first points fall before
  // source point 1 and the last need source points beyond the end.
  ASSERT_TRUE(std::isnan(expected[0]));
  ASSERT_TRUE(std::isnan(expected[n - 1]));
  expected[0] = src[0];
  if (std::isnan(expected[1])) expected[1] = expected[2];
  if (std::isnan(expected[n - 2])) expected[n - 2] = expected[n - 3];
  expected[n - 1] = expected[n - 2];
  for (uint32_t i = 0; i < n; ++i) EXPECT_NEAR(dst[i], expected[i], 1e-3) << "point " << i;

  // Away from the repaired ends the values are the pattern read at the new
  // axis, to the accuracy of a cubic over a spacing of 3.86 wavenumbers.
  const double d_new = kLaser / 4096.0 * r;
  for (uint32_t i = 2; i + 2 < n; ++i) EXPECT_NEAR(dst[i], pattern((k0 + i) * d_new), 0.05) << "point " << i;
}

TEST_F(Laser, FallingAxisIsCorrectedAsItsRisingMirror) {
  const uint32_t n = 24;
  AP7_SPECTRUM* rising = on_laser_grid(n, 700);
  std::vector<float> reversed = values(rising);
  std::reverse(reversed.begin(), reversed.end());
  AP7_SPECTRUM* falling = keep(ap7a_Duplicate(rising, nullptr));
  record(falling).first_x = packed(record(rising).last_x);
  record(falling).last_x = packed(record(rising).first_x);
  put_values(falling, reversed);

  ASSERT_EQ(ap7e_SetLaserFrequency(rising, 15805.0f), 1u);
  ASSERT_EQ(ap7e_SetLaserFrequency(falling, 15805.0f), 1u);

  std::vector<float> mirrored = values(falling);
  std::reverse(mirrored.begin(), mirrored.end());
  const std::vector<float> straight = values(rising);
  for (uint32_t i = 0; i < n; ++i) EXPECT_FLOAT_EQ(mirrored[i], straight[i]) << "point " << i;
  EXPECT_FLOAT_EQ(packed(record(falling).first_x), packed(record(rising).last_x));
  EXPECT_FLOAT_EQ(packed(record(falling).last_x), packed(record(rising).first_x));
}

TEST_F(Laser, RefusesOrLeavesAloneWhatItCannotCorrect) {
  struct Case {
    const char* what;
    float frequency;
    uint32_t x_units;
    uint32_t points;
    uint32_t result;
  };
  const Case cases[] = {
      {"zero frequency", 0.0f, kWavenumbers, 16, 0},
      {"negative frequency", -15798.0f, kWavenumbers, 16, 0},
      {"missing frequency", std::nanf(""), kWavenumbers, 16, 0},
      {"same frequency", kLaser, kWavenumbers, 16, 1},
      {"nanometre axis", 15790.0f, 4, 16, 1},
      {"three points", 15790.0f, kWavenumbers, 3, 0},
  };
  for (const Case& c : cases) {
    AP7_SPECTRUM* spectrum = on_laser_grid(c.points, 600);
    record(spectrum).x_units = c.x_units;
    const std::vector<float> before = values(spectrum);
    const float first_x = packed(record(spectrum).first_x);
    EXPECT_EQ(ap7e_SetLaserFrequency(spectrum, c.frequency), c.result) << c.what;
    EXPECT_EQ(values(spectrum), before) << c.what;
    EXPECT_EQ(packed(record(spectrum).first_x), first_x) << c.what;
    EXPECT_EQ(packed(record(spectrum).LaserFreq), kLaser) << c.what;
  }
  EXPECT_EQ(ap7e_SetLaserFrequency(nullptr, 15790.0f), 0u);
}

// Mode 0 puts a spectrum whose laser changes by more than 20 back on the
// standard grid of the default laser; message 250 scales the same input.
TEST_F(Laser, ModeZeroResetsALargeChangeWhereMessage250Scales) {
  const float odd_laser = 15700.0f;
  AP7_SPECTRUM* reset = on_laser_grid(40, 800, odd_laser);
  AP7_SPECTRUM* scaled = on_laser_grid(40, 800, odd_laser);
  const double d = odd_laser / 4096.0;

  ASSERT_EQ(send_436(reset, 15760.0f, AP7E_LASER_RESET_WHEN_LARGE), 1u);
  EXPECT_EQ(packed(record(reset).LaserFreq), AP7_DEFAULT_LASER);
  // The standard grid step nearest the spacing 3.833 from below.
  const float grid = AP7_STANDARD_SPACING / 2.0f;
  const float first_x = packed(record(reset).first_x);
  const float last_x = packed(record(reset).last_x);
  EXPECT_NEAR(first_x / grid, std::round(first_x / grid), 1e-3);
  EXPECT_NEAR((last_x - first_x) / (packed(record(reset).points) - 1), grid, 1e-4);
  EXPECT_GE(first_x, 800 * d);
  EXPECT_LE(last_x, 839 * d);

  ASSERT_EQ(send_250(scaled, 15760.0f), 1u);
  EXPECT_FLOAT_EQ(packed(record(scaled).LaserFreq), 15760.0f);
  EXPECT_FLOAT_EQ(packed(record(scaled).first_x), static_cast<float>(800 * d * 15760.0 / odd_laser));
  EXPECT_EQ(packed(record(scaled).points), 40u);

  // A small change in mode 0 is corrected as message 250 corrects it.
  AP7_SPECTRUM* small = on_laser_grid(40, 800);
  AP7_SPECTRUM* small_250 = on_laser_grid(40, 800);
  ASSERT_EQ(send_436(small, 15790.0f, AP7E_LASER_RESET_WHEN_LARGE), 1u);
  ASSERT_EQ(send_250(small_250, 15790.0f), 1u);
  EXPECT_EQ(values(small), values(small_250));
}

// The values are resampled in transmittance; the absorbance the caller
// gave is back afterwards, also when the correction fails after the
// conversion (here its working copy cannot be made without text objects).
TEST_F(Laser, YUnitIsRestoredOnEveryPath) {
  const uint32_t n = 32;
  AP7_SPECTRUM* percent = on_laser_grid(n, 900);
  AP7_SPECTRUM* absorbance = on_laser_grid(n, 900);
  std::vector<float> a(n);
  const std::vector<float> t = values(percent);
  for (uint32_t i = 0; i < n; ++i) a[i] = static_cast<float>(-std::log10(t[i] / 100.0));
  put_values(absorbance, a);
  record(absorbance).y_units = kAbsorbance;

  ASSERT_EQ(ap7e_SetLaserFrequency(percent, 15801.0f), 1u);
  ASSERT_EQ(ap7e_SetLaserFrequency(absorbance, 15801.0f), 1u);
  EXPECT_EQ(packed(record(absorbance).y_units), kAbsorbance);
  const std::vector<float> corrected_t = values(percent);
  const std::vector<float> corrected_a = values(absorbance);
  for (uint32_t i = 0; i < n; ++i)
    EXPECT_NEAR(corrected_a[i], -std::log10(corrected_t[i] / 100.0), 1e-5) << "point " << i;

  AP7_SPECTRUM* failing = on_laser_grid(n, 900);
  put_values(failing, a);
  record(failing).y_units = kAbsorbance;
  GU2_ImmedSetDispatcher(AP48_CLASS_ID, nullptr);
  const uint16_t result = ap7e_SetLaserFrequency(failing, 15801.0f);
  GU2_ImmedSetDispatcher(AP48_CLASS_ID, AP48_Dispatcher_TEXT);
  EXPECT_EQ(result, 0u);
  EXPECT_EQ(packed(record(failing).y_units), kAbsorbance);
  const std::vector<float> kept = values(failing);
  for (uint32_t i = 0; i < n; ++i) EXPECT_NEAR(kept[i], a[i], 1e-5) << "point " << i;
  EXPECT_EQ(packed(record(failing).LaserFreq), kLaser);
}

TEST_F(Laser, HistoryLinesAreCutToTheirBuffer) {
  const std::string long_label(150, 'L');
  add_history_texts({{AP7E_HISTORY_LASER_LABEL, long_label.c_str(), 0},
                     {AP7E_HISTORY_LASER_FORMAT, "Laser %.1f -> %.1f", 0}});
  AP7_SPECTRUM* spectrum = on_laser_grid(16, 600);
  ASSERT_EQ(ap7e_SetLaserFrequency(spectrum, 15790.0f), 1u);
  const std::vector<std::string> lines = lines_of(text_of(spectrum->history));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], long_label.substr(0, AP7E_HISTORY_LINE_SIZE - 3));
  EXPECT_EQ(lines[1], "Laser 15798.0 -> 15790.0");

  // A format that does not take two numbers is left out, not filled.
  add_history_texts({{AP7E_HISTORY_LASER_LABEL, "Laser corrected", 0},
                     {AP7E_HISTORY_LASER_FORMAT, "%s from %s", 0}});
  AP7_SPECTRUM* other = on_laser_grid(16, 600);
  ASSERT_EQ(ap7e_SetLaserFrequency(other, 15790.0f), 1u);
  const std::vector<std::string> other_lines = lines_of(text_of(other->history));
  ASSERT_EQ(other_lines.size(), 1u);
  EXPECT_EQ(other_lines[0].rfind("Laser corrected", 0), 0u);
}

// A Raman-shift axis: point i holds the absolute wavenumber (k0 - i) d,
// which the correction scales by r about the laser line p44.
TEST_F(Laser, RamanShiftAxisScalesAboutItsLaserLine) {
  const uint32_t n = 40;
  const int k0 = 3000;
  const double d = kLaser / 4096.0;
  const float line = 15798.0f;
  std::vector<float> y(n);
  for (uint32_t i = 0; i < n; ++i) y[i] = static_cast<float>(pattern((k0 - static_cast<int>(i)) * d));
  AP7_SPECTRUM* spectrum = keep(make_axis(static_cast<float>(line - k0 * d),
                                          static_cast<float>(line - (k0 - static_cast<int>(n) + 1) * d), y));
  record(spectrum).x_units = AP41_XUNITS_RAMAN_SHIFT;
  record(spectrum).y_units = kPercentT;
  record(spectrum).LaserFreq = kLaser;
  record(spectrum).p44 = line;
  const double d1 = line - double{packed(record(spectrum).first_x)};
  const double d2 = line - double{packed(record(spectrum).last_x)};
  const float new_laser = 15806.0f;
  const double r = double{new_laser} / kLaser;

  ASSERT_EQ(send_250(spectrum, new_laser), 1u);
  EXPECT_NEAR(packed(record(spectrum).first_x), line - d1 * r, 1e-2);
  EXPECT_NEAR(packed(record(spectrum).last_x), line - d2 * r, 1e-2);
  EXPECT_FLOAT_EQ(packed(record(spectrum).LaserFreq), new_laser);

  const std::vector<float> dst = values(spectrum);
  for (uint32_t i = 0; i < n; ++i) {
    const double p = (k0 - static_cast<int>(i)) * r;
    const double j = std::trunc(p + 0.999);
    const int k = k0 - static_cast<int>(j);
    if (k < 1 || k > static_cast<int>(n) - 3) continue;
    EXPECT_NEAR(dst[i], catmull_rom(y[k - 1], y[k], y[k + 1], y[k + 2], j - p), 1e-3) << "point " << i;
    EXPECT_NEAR(dst[i], pattern((k0 - static_cast<int>(i)) * d * r), 0.05) << "point " << i;
  }
}
