// Spectra from packed library data (message 179) against the scaling worked
// out here, and the library grid (message 180) against its rules: the
// laser frequency over a power of two as the spacing, the limits on its
// multiples, and every failure told from success.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class LibraryData : public SpectrumTest {
 protected:
  static AP7_SPECTRUM* request(const void* data, uint32_t count, uint16_t bytes, uint32_t y_units = 17,
                               const char* title = "library entry", uint16_t kind = 0, double x1 = 4000.0,
                               double x2 = 400.0) {
    uint16_t class_id = AP7_CLASS_ID;
    AP7_LIBRARYDATAPARM block{x1, x2, data, y_units, AP1_XUNIT_WAVENUMBERS, title, "second text", kind, count, bytes};
    return ap_result_object<AP7_SPECTRUM>(send(AP7_MSG_NEW_FROM_LIBRARY_DATA, &class_id, &block));
  }
};

TEST_F(LibraryData, WordsOfAPercentUnitSpanTenToOneHundred) {
  const uint16_t words[] = {0, 65535, 32768, 1};
  AP7_SPECTRUM* spectrum = request(words, 4, 2, AP1_YUNIT_PERCENT_TRANSMITTANCE);
  ASSERT_NE(spectrum, nullptr);
  const std::vector<float> y = values(spectrum);
  ASSERT_EQ(y.size(), 4u);
  EXPECT_FLOAT_EQ(y[0], 10.0f);
  EXPECT_FLOAT_EQ(y[1], 100.0f);
  EXPECT_FLOAT_EQ(y[2], static_cast<float>(32768.0 * 90.0 / 65535.0 + 10.0));
  EXPECT_FLOAT_EQ(y[3], static_cast<float>(90.0 / 65535.0 + 10.0));
  destroy(spectrum);
}

TEST_F(LibraryData, BytesOfOtherUnitsSpanFromAThousandth) {
  const uint8_t bytes[] = {0, 255, 51};
  for (uint32_t units : {AP1_YUNIT_ABSORBANCE, AP1_YUNIT_KUBELKA_MUNK}) {
    AP7_SPECTRUM* spectrum = request(bytes, 3, 1, units);
    ASSERT_NE(spectrum, nullptr);
    const std::vector<float> y = values(spectrum);
    EXPECT_FLOAT_EQ(y[0], 0.001f);
    EXPECT_FLOAT_EQ(y[1], 1.001f);
    EXPECT_FLOAT_EQ(y[2], static_cast<float>(51.0 / 255.0 + 0.001));
    destroy(spectrum);
  }
  AP7_SPECTRUM* reflectance = request(bytes, 3, 1, AP1_YUNIT_PERCENT_REFLECTANCE);
  ASSERT_NE(reflectance, nullptr);
  EXPECT_FLOAT_EQ(values(reflectance)[1], 100.0f) << "percent reflectance takes the percent span";
  destroy(reflectance);
}

TEST_F(LibraryData, FloatsAreTakenBitForBit) {
  const float floats[] = {1.5f, -2.25f, AP1_GetNaNSG_MATH(), 1e-30f};
  AP7_SPECTRUM* spectrum = request(floats, 4, 4);
  ASSERT_NE(spectrum, nullptr);
  const std::vector<float> y = values(spectrum);
  ASSERT_EQ(y.size(), 4u);
  EXPECT_EQ(std::memcmp(y.data(), floats, sizeof floats), 0);
  destroy(spectrum);
}

TEST_F(LibraryData, HeaderTakesOrderedLimitsUnitsBenchTitleAndHistory) {
  const uint8_t bytes[] = {1, 2, 3};
  const std::string long_title(300, 'T');
  for (uint16_t kind : {0, 3}) {
    AP7_SPECTRUM* spectrum = request(bytes, 3, 1, AP1_YUNIT_ABSORBANCE, long_title.c_str(), kind, 4000.0, 400.0);
    ASSERT_NE(spectrum, nullptr);
    const AP41_HEADERDATA& r = record(spectrum);
    EXPECT_EQ(packed(r.points), 3u);
    EXPECT_EQ(packed(r.first_x), 400.0f);
    EXPECT_EQ(packed(r.last_x), 4000.0f);
    EXPECT_EQ(packed(r.y_units), AP1_YUNIT_ABSORBANCE);
    EXPECT_EQ(packed(r.x_units), static_cast<uint32_t>(AP1_XUNIT_WAVENUMBERS));
    EXPECT_EQ(packed(r.BenchID), 21u);
    EXPECT_EQ(std::string(r.title), long_title.substr(0, 255));
    auto* object = reinterpret_cast<AP_OBJECT*>(spectrum);
    EXPECT_EQ(ap7b_TestHistoryFlag(object, AP41_HISTORY_CORVANE_LIBRARY), kind == 0 ? 1 : 0);
    EXPECT_EQ(ap7b_TestHistoryFlag(object, AP41_HISTORY_LIBRARY), kind == 0 ? 0 : 1);
    destroy(spectrum);
  }
}

TEST_F(LibraryData, RefusesSizesItCannotTrust) {
  const uint8_t bytes[8] = {};
  const double nan = std::nan("");
  EXPECT_EQ(request(bytes, 0, 1), nullptr) << "no values";
  EXPECT_EQ(request(bytes, 2, 3), nullptr) << "three-byte values";
  EXPECT_EQ(request(bytes, 2, 0), nullptr) << "zero-byte values";
  EXPECT_EQ(request(bytes, 2, 8), nullptr) << "eight-byte values";
  EXPECT_EQ(request(nullptr, 2, 1), nullptr) << "no data";
  EXPECT_EQ(request(bytes, AP7_MOST_POINTS + 1, 1), nullptr) << "more points than a spectrum holds";
  EXPECT_EQ(request(bytes, 0x80000000u, 4), nullptr) << "a size that wraps";
  EXPECT_EQ(request(bytes, 2, 1, 17, "t", 0, nan, 400.0), nullptr) << "a limit not a number";
  EXPECT_EQ(request(bytes, 2, 1, 17, "t", 0, 4000.0, INFINITY), nullptr) << "an infinite limit";
  EXPECT_EQ(ap7b_NewFromLibraryData(AP4_CLASS_ID, 0.0, 1.0, bytes, 17, 1, nullptr, nullptr, 0, 2, 1), nullptr)
      << "not the spectrum class";
}

// A wavenumber spectrum on the grid of a laser of 15798 over 8192 points
// from point 200 on, 2001 points.
class LibraryGrid : public SpectrumTest {
 protected:
  static constexpr double kLaser = 15798.0;

  static AP7_SPECTRUM* laser_spectrum() {
    const double step = kLaser / 8192.0;
    AP7_SPECTRUM* spectrum = make_ramp(2001, static_cast<float>(200 * step), static_cast<float>(2200 * step));
    record(spectrum).x_units = AP1_XUNIT_WAVENUMBERS;
    record(spectrum).y_units = AP1_YUNIT_ABSORBANCE;
    record(spectrum).LaserFreq = static_cast<float>(kLaser);
    return spectrum;
  }

  static float x_at(AP7_SPECTRUM* spectrum, int32_t index) {
    float x = 0.0f;
    ap7b_IndexToX(spectrum, index, &x);
    return x;
  }

  struct Plan {
    uint32_t code;
    double x1, x2, spacing;
    uint16_t count, units;
  };

  static Plan plan(AP7_SPECTRUM* spectrum, double x1, double x2, double spacing) {
    Plan p{0, x1, x2, spacing, 0xBEEF, 0xBEEF};
    AP7_LIBRARYGRIDPARM block{&p.x1, &p.x2, &p.spacing, &p.count, &p.units};
    p.code = send(AP7_MSG_PLAN_LIBRARY_GRID, spectrum, &block);
    return p;
  }

  // The stored grid from limits on the spectrum's grid: x1 on the nearer
  // multiple of d above, x2 on the one below, and the points between.
  static void expect_grid(const Plan& p, double low, double high, double d) {
    const double start = std::trunc(low / d + 0.51);
    const double end = std::trunc(high / d + 0.01);
    EXPECT_EQ(p.code, 0u);
    EXPECT_DOUBLE_EQ(p.spacing, d);
    EXPECT_DOUBLE_EQ(p.x1, start * d);
    EXPECT_DOUBLE_EQ(p.x2, end * d);
    EXPECT_EQ(p.count, static_cast<uint16_t>(std::trunc((end * d - start * d) / d + 1.05)));
  }
};

TEST_F(LibraryGrid, DoublesTheLaserSpacingTowardsACoarserRequest) {
  AP7_SPECTRUM* spectrum = laser_spectrum();
  const float low = x_at(spectrum, 100);
  const float high = x_at(spectrum, 1500);
  const Plan p = plan(spectrum, high, low, 4.0);
  expect_grid(p, low, high, kLaser / 4096.0);
  EXPECT_EQ(p.units, AP1_XUNIT_WAVENUMBERS);
  destroy(spectrum);
}

TEST_F(LibraryGrid, HalvesTowardsAFinerRequestAndMovesTheLimitsOntoTheFinerGrid) {
  AP7_SPECTRUM* spectrum = laser_spectrum();
  const double step = kLaser / 8192.0;
  // 0.45 of a point above point 100: the spectrum's nearest point is 100,
  // the nearest point of the half-spacing grid one half step above it.
  const double wanted_low = x_at(spectrum, 100) + 0.45 * step;
  const double wanted_high = x_at(spectrum, 1500);
  const Plan p = plan(spectrum, wanted_low, wanted_high, 1.0);
  expect_grid(p, x_at(spectrum, 100) + step / 2.0, x_at(spectrum, 1500), kLaser / 16384.0);
  destroy(spectrum);
}

// Either direction of the axis gives the same grid.
TEST_F(LibraryGrid, WithoutALaserFrequencyTheSpectrumsSpacingIsTheBase) {
  for (bool falling : {false, true}) {
    AP7_SPECTRUM* spectrum = falling ? make_ramp(11, 200.0f, 100.0f) : make_ramp(11, 100.0f, 200.0f);
    record(spectrum).x_units = AP1_XUNIT_WAVENUMBERS;
    record(spectrum).LaserFreq = 0.0f;
    const Plan p = plan(spectrum, 180.0, 120.0, 10.0);
    expect_grid(p, 120.0, 180.0, 10.0);
    EXPECT_EQ(p.count, 7u) << falling;
    destroy(spectrum);
  }
}

TEST_F(LibraryGrid, ARamanShiftIsPlannedOnTheAbsoluteAxis) {
  AP7_SPECTRUM* spectrum = make_ramp(11, 100.0f, 200.0f);
  record(spectrum).x_units = AP41_XUNITS_RAMAN_SHIFT;
  record(spectrum).y_units = AP1_YUNIT_RAMAN;
  record(spectrum).LaserFreq = 0.0f;
  record(spectrum).p44 = 1005.0f;
  const Plan p = plan(spectrum, 120.0, 180.0, 10.0);
  // Absolute 825..885 goes on multiples of 10 (830..880), and back.
  EXPECT_EQ(p.code, 0u);
  EXPECT_DOUBLE_EQ(p.x1, 1005.0 - 880.0);
  EXPECT_DOUBLE_EQ(p.x2, 1005.0 - 830.0);
  EXPECT_EQ(p.count, 6u);
  EXPECT_EQ(p.units, AP41_XUNITS_RAMAN_SHIFT);
  destroy(spectrum);
}

TEST_F(LibraryGrid, AGridOfMoreThan65535PointsIsCut) {
  AP7_SPECTRUM* spectrum = make_ramp(3, 0.0f, 100.0f);
  record(spectrum).LaserFreq = 0.0f;
  const Plan p = plan(spectrum, 0.0, 100.0, 0.001);
  ASSERT_EQ(p.code, 0u);
  EXPECT_EQ(p.count, 65535u);
  EXPECT_DOUBLE_EQ(p.x2, p.x1 + 65534.0 * p.spacing);
  destroy(spectrum);
}

TEST_F(LibraryGrid, RefusalsAndFailuresAreNeverTheSuccessCode) {
  struct Case {
    const char* name;
    uint32_t points;
    float first_x, last_x;
    uint32_t y_units;
    double x1, x2, spacing;
    uint32_t code;
  };
  const Case cases[] = {
      {"spacing below 0.001", 11, 100.0f, 200.0f, 17, 120.0, 180.0, 0.0005, AP7_LIBRARY_GRID_BAD_SPACING},
      {"spacing above 64", 11, 100.0f, 200.0f, 17, 120.0, 180.0, 65.0, AP7_LIBRARY_GRID_BAD_SPACING},
      {"spacing not a number", 11, 100.0f, 200.0f, 17, 120.0, 180.0, std::nan(""), AP7_LIBRARY_GRID_BAD_SPACING},
      {"Raman intensities off a shift axis", 11, 100.0f, 200.0f, AP1_YUNIT_RAMAN, 120.0, 180.0, 10.0,
       AP7_LIBRARY_GRID_BAD_UNITS},
      {"one point", 1, 100.0f, 100.0f, 17, 100.0, 100.0, 10.0, AP7_LIBRARY_GRID_FAILED},
      {"no spacing", 11, 100.0f, 100.0f, 17, 100.0, 100.0, 10.0, AP7_LIBRARY_GRID_FAILED},
      {"range beside the data", 11, 100.0f, 200.0f, 17, 500.0, 600.0, 10.0, AP7_LIBRARY_GRID_FAILED},
      {"limit not a number", 11, 100.0f, 200.0f, 17, std::nan(""), 180.0, 10.0, AP7_LIBRARY_GRID_FAILED},
      // One point of the spectrum's grid rounds to no multiple of the
      // stored spacing at all.
      {"grid of no points", 11, 100.0f, 200.0f, 17, 145.0, 145.0, 40.0, AP7_LIBRARY_GRID_FAILED},
  };
  for (const Case& c : cases) {
    AP7_SPECTRUM* spectrum = make_ramp(c.points, c.first_x, c.last_x);
    record(spectrum).LaserFreq = 0.0f;
    record(spectrum).y_units = c.y_units;
    const Plan p = plan(spectrum, c.x1, c.x2, c.spacing);
    EXPECT_EQ(p.code, c.code) << c.name;
    EXPECT_NE(p.code, 0u) << c.name;
    EXPECT_EQ(p.count, 0xBEEF) << c.name << ": nothing is written";
    EXPECT_EQ(p.units, 0xBEEF) << c.name;
    destroy(spectrum);
  }
  double x1 = 0.0;
  double x2 = 1.0;
  double spacing = 1.0;
  uint16_t count = 0;
  uint16_t units = 0;
  EXPECT_EQ(ap7b_PlanLibraryGrid(nullptr, &x1, &x2, &spacing, &count, &units), AP7_LIBRARY_GRID_FAILED);
  AP7_SPECTRUM* spectrum = make_ramp(11, 100.0f, 200.0f);
  EXPECT_EQ(ap7b_PlanLibraryGrid(spectrum, &x1, &x2, &spacing, nullptr, &units), AP7_LIBRARY_GRID_FAILED);
  destroy(spectrum);
}

}  // namespace
