#include <cmath>

#include <gtest/gtest.h>

#include "platform/registry.h"
#include "processing/measure_fixture.h"
#include "util/util.h"

namespace {

using namespace measuretest;

// An uneven band: apex 3 at 50, 12 to the left, 20 to the right, on 0..100
// at spacing 1.
constexpr Triangle kBand{50.0f, 3.0f, 12.0f, 20.0f};
constexpr Line kFlat{0.0f, 0.0f};
constexpr Line kSloped{0.5f, -0.004f};

class MeasureWidth : public SpectrumTest {
 protected:
  AP7_SPECTRUM* band(const Line& line, const Triangle& t = kBand) {
    return sampled(0.0f, 100.0f, 101, [t, line](float x) { return t.at(x) + line.at(x); });
  }
  // Measured over 20..90 against the line's own points 10 and 95.
  AP7_MEASUREREC over_band(uint16_t type, float percent = 0.0f) {
    AP7_MEASUREREC r = through(type, 10.0f, 95.0f);
    r.region_start = 20.0f;
    r.region_end = 90.0f;
    r.percent = percent;
    return r;
  }
  static float value(const AP7_MEASUREREC& r) { return r.fitted_value_corrected; }
  static float centre(const AP7_MEASUREREC& r) { return r.fitted_x_raw; }
  static void set_cog_method(uint32_t method) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, GU9_TALVO_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, AP7E_COG_METHOD_VALUE, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&method), sizeof method);
    RegCloseKey(key);
  }
};

// The parabola through the apex and its two neighbours tops out a little
// toward the band's gentler side: at p spacings from the apex, with height
// top. The level is a fraction f of top, and the band's straight sides
// cross it at the apex less (1 - level / height) of each side.
struct Vertex {
  float p;
  float top;
};
Vertex vertex_of(const Triangle& t) {
  const double y0 = t.at(t.centre - 1.0f), y1 = t.height, y2 = t.at(t.centre + 1.0f);
  const double curvature = y0 - 2.0 * y1 + y2;
  return {static_cast<float>((y0 - y2) / (2.0 * curvature)),
          static_cast<float>(y1 - (y0 - y2) * (y0 - y2) / (8.0 * curvature))};
}
float left_crossing(const Triangle& t, float level) { return t.centre - t.left * (1.0f - level / t.height); }
float right_crossing(const Triangle& t, float level) { return t.centre + t.right * (1.0f - level / t.height); }

TEST_F(MeasureWidth, WidthsAndCrossingsAtFractionsOfTheHeight) {
  const Vertex v = vertex_of(kBand);
  struct Case {
    uint16_t type;
    float percent;
    float fraction;
  };
  const Case cases[] = {
      {AP7E_HALF_HEIGHT_WIDTH, 0.0f, 0.5f},          {AP7E_WIDTH_AT_PERCENT, 25.0f, 0.25f},
      {AP7E_CROSSING_1_PERCENT, 0.0f, 0.01f},        {AP7E_CROSSING_2_PERCENT, 0.0f, 0.02f},
      {AP7E_CROSSING_5_PERCENT, 0.0f, 0.05f},        {AP7E_CROSSING_10_PERCENT, 0.0f, 0.1f},
      {AP7E_CROSSING_AT_PERCENT, 80.0f, 0.8f},       {AP7E_CROSSING_AT_PERCENT, 0.0f, 0.001f},  // held at 0.1 %
      {AP7E_AREA_BETWEEN_CROSSINGS, 30.0f, 0.3f},
  };
  for (const Line& line : {kFlat, kSloped}) {
    AP7_SPECTRUM* s = band(line);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(c.type) + " at " + std::to_string(c.percent));
      const float level = v.top * c.fraction;
      const float left = left_crossing(kBand, level);
      const float right = right_crossing(kBand, level);
      float expected = right - left;
      if (c.type == AP7E_AREA_BETWEEN_CROSSINGS)  // the band less its two tails below the level
        expected = kBand.area() - level * level * (kBand.left + kBand.right) / (2.0f * kBand.height);
      else if (c.type != AP7E_HALF_HEIGHT_WIDTH && c.type != AP7E_WIDTH_AT_PERCENT)
        expected = right - (50.0f + v.p) < (50.0f + v.p) - left ? right : left;  // the nearer: the steep side
      AP7_MEASUREREC r = over_band(c.type, c.percent);
      ASSERT_EQ(measure(s, r), 1u);
      EXPECT_NEAR(value(r), expected, 2e-4);
      EXPECT_NEAR(centre(r), 50.0f + v.p, 1e-4);
      const float point_value = r.point_value_corrected;
      EXPECT_EQ(point_value, 0.0f);
    }
    spectrumtest::destroy(s);
  }
}

// A band cut off by the region: the width doubles the half it has, and
// the area between crossings is not found.
TEST_F(MeasureWidth, CutOffBandsReportTheHalfTheyHave) {
  const Vertex v = vertex_of(kBand);
  AP7_SPECTRUM* s = band(kFlat);
  AP7_MEASUREREC r = over_band(AP7E_HALF_HEIGHT_WIDTH);
  r.region_end = 55.0f;
  ASSERT_EQ(measure(s, r), 1u);
  EXPECT_NEAR(value(r), 2.0f * (50.0f + v.p - left_crossing(kBand, v.top / 2.0f)), 1e-4);
  r = over_band(AP7E_AREA_BETWEEN_CROSSINGS, 50.0f);
  r.region_start = 45.0f;
  ASSERT_EQ(measure(s, r), 1u);
  EXPECT_EQ(value(r), -1.0f);
  spectrumtest::destroy(s);
}

// The centre of gravity of a symmetric band is its apex, with each way of
// placing the edges; an uneven percent means 50.
TEST_F(MeasureWidth, CentreOfGravityOfASymmetricBandIsItsApex) {
  const Triangle even{47.0f, 2.0f, 15.0f, 15.0f};
  for (const Line& line : {kFlat, kSloped}) {
    AP7_SPECTRUM* s = band(line, even);
    for (uint32_t method : {0u, 1u, 2u}) {
      set_cog_method(method);
      for (float percent : {50.0f, 2.0f, 70.0f}) {
        SCOPED_TRACE(std::to_string(method) + " " + std::to_string(percent));
        AP7_MEASUREREC r = over_band(AP7E_CENTRE_OF_GRAVITY, percent);
        ASSERT_EQ(measure(s, r), 1u);
        const float centre = r.result_x, level = r.fitted_value_raw;
        EXPECT_NEAR(centre, 47.0f, 1e-4);
        const float share = percent == 2.0f ? 0.5f : (100.0f - percent) / 100.0f;
        EXPECT_NEAR(level, 2.0f * share, 1e-5);
      }
    }
    spectrumtest::destroy(s);
  }
}

// A peak whose tail never drops below the level on one side has no centre.
TEST_F(MeasureWidth, CentreOfGravityNeedsTwoPointsBeyondTheLevelOnEachSide) {
  AP7_SPECTRUM* s = sampled(0.0f, 100.0f, 101, [](float x) { return x < 50.0f ? 1.0f + x / 50.0f : 4.0f - x / 25.0f; });
  AP7_MEASUREREC r = request(AP7E_CENTRE_OF_GRAVITY, AP7E_BASELINE_LEVEL);
  r.region_start = 10.0f;
  r.region_end = 90.0f;
  r.percent = 50.0f;
  ASSERT_EQ(measure(s, r), 1u);
  const float centre = r.result_x;
  EXPECT_EQ(centre, -1.0f);
  spectrumtest::destroy(s);
}

// Where a line y = 0.02 x crosses a level: at level / 0.02 from either
// side; on the level at the first step, the first point.
TEST_F(MeasureWidth, LevelCrossingsOfALine) {
  AP7_SPECTRUM* s = sampled(0.0f, 100.0f, 101, [](float x) { return 0.02f * x; });
  for (uint16_t type : {AP7E_LEVEL_CROSSING_RISING, AP7E_LEVEL_CROSSING_FALLING}) {
    AP7_MEASUREREC r = request(type, AP7E_BASELINE_LEVEL);
    r.region_start = 10.0f;
    r.region_end = 90.0f;
    r.percent = 0.734f;
    ASSERT_EQ(measure(s, r), 1u);
    EXPECT_NEAR(value(r), 36.7f, 1e-3) << type;
    r.percent = 0.2f;
    ASSERT_EQ(measure(s, r), 1u);
    EXPECT_NEAR(value(r), 10.0f, 1e-4) << type;
    r.percent = 5.0f;
    ASSERT_EQ(measure(s, r), 1u);
    EXPECT_EQ(value(r), -1.0f) << type;
  }
  spectrumtest::destroy(s);
}

// Over 0..50: 5 falling to 0 at 20, rising 0.25 a point to 6 at 44, then
// falling a third of a point to 4 at the end. Type 133 takes the last
// point's level 4 and scans up from the first point: past 5, down through
// the valley and up again through 4 at 36: width 14, centre 43. Type 132
// takes the first point's level 5 and scans down from the last: the data
// rise through 5 at 47: width 47, centre 23.5. On 0..40 the data never come
// back up through the last point's level 5 within the points scanned.
TEST_F(MeasureWidth, WidthAtTheOtherEndsLevel) {
  const auto valley = [](float x) {
    if (x <= 20.0f) return 5.0f - x / 4.0f;
    if (x <= 44.0f) return (x - 20.0f) / 4.0f;
    return 6.0f - (x - 44.0f) / 3.0f;
  };
  AP7_SPECTRUM* s = sampled(0.0f, 50.0f, 51, valley);
  AP7_MEASUREREC r = request(AP7E_WIDTH_AT_LAST_LEVEL, AP7E_BASELINE_LEVEL);
  r.region_start = 0.0f;
  r.region_end = 50.0f;
  ASSERT_EQ(measure(s, r), 1u);
  EXPECT_NEAR(value(r), 14.0f, 1e-4);
  EXPECT_NEAR(centre(r), 43.0f, 1e-4);
  r.type = AP7E_WIDTH_AT_FIRST_LEVEL;
  ASSERT_EQ(measure(s, r), 1u);
  EXPECT_NEAR(value(r), 47.0f, 1e-3);
  EXPECT_NEAR(centre(r), 23.5f, 1e-3);
  r.type = AP7E_WIDTH_AT_LAST_LEVEL;
  r.region_end = 40.0f;
  ASSERT_EQ(measure(s, r), 1u);
  EXPECT_EQ(value(r), 0.0f);
  EXPECT_EQ(centre(r), 0.0f);
  spectrumtest::destroy(s);
}

}  // namespace
