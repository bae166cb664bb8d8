#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "processing/measure_fixture.h"

namespace {

using namespace measuretest;

// A band of height 2 at 50, 8 wide on each side, on a rising line, 0..100
// at spacing 1: every way of locating the baseline lands on the line, so
// the band's own area and height come back.
constexpr Triangle kBand{50.0f, 2.0f, 8.0f, 8.0f};
constexpr Line kSloped{0.2f, 0.01f};

class MeasureWithSlope : public SpectrumTest {
 protected:
  void SetUp() override {
    SpectrumTest::SetUp();
    spectrum_ = sampled(0.0f, 100.0f, 101, [](float x) { return kBand.at(x) + kSloped.at(x); });
  }
  void TearDown() override {
    spectrumtest::destroy(spectrum_);
    SpectrumTest::TearDown();
  }
  AP7_MEASUREREC located(uint16_t type, uint16_t slope_mode) {
    AP7_MEASUREREC r = request(type, AP7E_BASELINE_LEVEL);
    r.slope_mode = slope_mode;
    r.slope_low = 20.0f;
    r.slope_high = 80.0f;
    r.region_start = 35.0f;
    r.region_end = 65.0f;
    r.x = 50.0f;
    r.position1 = 1.0f;
    r.position2 = 2.0f;
    r.point_count = 1;
    r.x_source = 1;
    return r;
  }
  uint32_t send_located(AP7_MEASUREREC& r) { return send(AP7_MSG_MEASURE_WITH_SLOPE, spectrum_, &r); }
  AP7_SPECTRUM* spectrum_ = nullptr;
};

TEST_F(MeasureWithSlope, AreaAboveTheLocatedBaselineInEachSlopeMode) {
  for (uint16_t slope_mode : {0, 1, 2}) {
    for (uint16_t type : {AP7E_AREA, AP7E_REGION_DIFFERENCE}) {  // the region types measure the area
      SCOPED_TRACE(std::to_string(slope_mode) + " " + std::to_string(type));
      AP7_MEASUREREC r = located(type, slope_mode);
      ASSERT_EQ(send_located(r), 1u);
      const float area = r.area_corrected;
      EXPECT_NEAR(area, kBand.area(), 1e-3);
      // The caller's settings are back.
      const uint16_t back_type = r.type, count = r.point_count, mode = r.baseline_mode, source = r.x_source;
      const float p1 = r.position1, p2 = r.position2;
      EXPECT_EQ(back_type, type);
      EXPECT_EQ(count, 1);
      EXPECT_EQ(mode, AP7E_BASELINE_LEVEL);
      EXPECT_EQ(source, 1);
      EXPECT_EQ(p1, 1.0f);
      EXPECT_EQ(p2, 2.0f);
    }
  }
}

TEST_F(MeasureWithSlope, ValueAtThePeakAboveTheLocatedBaseline) {
  for (uint16_t type : {AP7E_VALUE_AT_X, AP7E_VALUE_AT_POINT, AP7E_INTERPOLATED_VALUE}) {
    AP7_MEASUREREC r = located(type, 1);
    r.x = 47.0f;  // the peak nearest it is located
    ASSERT_EQ(send_located(r), 1u) << type;
    const float value = r.fitted_value_corrected, x = r.x, result_x = r.result_x;
    EXPECT_NEAR(value, kBand.height, 1e-4) << type;
    EXPECT_EQ(result_x, 50.0f);
    EXPECT_EQ(x, 47.0f);
  }
}

// The half-height area runs at the caller's X between the located base
// points, which it keeps, and their level.
TEST_F(MeasureWithSlope, HalfHeightAreaKeepsTheBasePoints) {
  AP7_MEASUREREC r = located(AP7E_HALF_HEIGHT_AREA, 1);
  ASSERT_EQ(send_located(r), 1u);
  const float p1 = r.position1, p2 = r.position2, level = r.level, y1 = r.baseline_y1;
  const uint16_t type = r.type, count = r.point_count;
  EXPECT_EQ(type, AP7E_HALF_HEIGHT_AREA);
  EXPECT_EQ(count, 1);
  // The hull's ends on the line, between the search limits and the feet
  // (where on the straight line is a matter of rounding).
  EXPECT_GE(p1, 20.0f);
  EXPECT_LE(p1, 42.0f);
  EXPECT_GE(p2, 58.0f);
  EXPECT_LE(p2, 80.0f);
  EXPECT_EQ(level, y1);
  EXPECT_NEAR(y1, kSloped.at(p1), 1e-5);
}

TEST_F(MeasureWithSlope, TypesThatNeedTheirOwnBaselineAreRefusedUntouched) {
  for (uint16_t type : {AP7E_FRACTION_AREA, AP7E_TWO_POINT_AREA, AP7E_TWO_POINT_CENTRE_OF_GRAVITY, uint16_t{100}, uint16_t{137}}) {
    AP7_MEASUREREC r = located(type, 0);
    const AP7_MEASUREREC before = r;
    EXPECT_EQ(send_located(r), 0u) << type;
    EXPECT_EQ(std::memcmp(&before, &r, sizeof r), 0) << type;
  }
}

// The measurement's own result comes back: a region with no values is
// not measured although a peak was located beside it.
TEST_F(MeasureWithSlope, PassesOnTheResultOfTheMeasurement) {
  float* y = ap7b_GetDataPtr(spectrum_);
  for (int i = 25; i <= 30; ++i) y[i] = AP1_GetNaNSG_MATH();
  AP7_MEASUREREC r = located(AP7E_REGION_MEAN, 0);
  r.region_start = 25.0f;
  r.region_end = 30.0f;
  EXPECT_EQ(send_located(r), 0u);
  r.region_start = 30.0f;
  r.region_end = 40.0f;
  EXPECT_EQ(send_located(r), 1u);
}

TEST_F(MeasureWithSlope, NothingLocatedOnALine) {
  AP7_SPECTRUM* line = sampled(0.0f, 100.0f, 101, [](float x) { return kSloped.at(x); });
  AP7_MEASUREREC r = located(AP7E_AREA, 0);
  EXPECT_EQ(send(AP7_MSG_MEASURE_WITH_SLOPE, line, &r), 0u);
  spectrumtest::destroy(line);
}

// The located points of each slope mode directly: the base points of the
// peak list lie on the line at the band's feet or the search limits.
TEST_F(MeasureWithSlope, FindSlopeBaselineByMode) {
  float peak = 0.0f, p1 = 0.0f, p2 = 0.0f;
  ASSERT_EQ(ap7e_FindSlopeBaseline(spectrum_, 60.0f, 40.0f, 80.0f, 20.0f, 1, &peak, &p1, &p2), 1u);
  EXPECT_EQ(peak, 50.0f);
  EXPECT_GE(p1, 20.0f);
  EXPECT_LE(p1, 42.0f);
  EXPECT_GE(p2, 58.0f);
  EXPECT_LE(p2, 80.0f);
  // Two single-point dips under the band: the lower hull rests on them.
  AP7_SPECTRUM* dips = sampled(0.0f, 100.0f, 101, [](float x) {
    return x == 25.0f || x == 75.0f ? -1.0f : kBand.at(x);
  });
  ASSERT_EQ(ap7e_FindSlopeBaseline(dips, 50.0f, 50.0f, 20.0f, 80.0f, 1, &peak, &p1, &p2), 1u);
  EXPECT_EQ(p1, 25.0f);
  EXPECT_EQ(p2, 75.0f);
  spectrumtest::destroy(dips);
  // The tangents from the apex run down the band's sides to its feet and
  // on along the line as far as the data go.
  ASSERT_EQ(ap7e_FindSlopeBaseline(spectrum_, 50.0f, 50.0f, 20.0f, 80.0f, 2, &peak, &p1, &p2), 1u);
  EXPECT_LE(p1, 42.0f);
  EXPECT_GE(p2, 58.0f);
  // Another mode: the peak only.
  p1 = p2 = -5.0f;
  ASSERT_EQ(ap7e_FindSlopeBaseline(spectrum_, 50.0f, 50.0f, 20.0f, 80.0f, 9, &peak, &p1, &p2), 1u);
  EXPECT_EQ(peak, 50.0f);
  EXPECT_EQ(p1, -5.0f);
  float y1 = 0.0f, y2 = 0.0f, slope = 0.0f;
  ASSERT_EQ(ap7e_FindPeakBasePoints(spectrum_, 50.0f, 50.0f, 20.0f, 80.0f, &peak, &p1, &p2, &y1, &y2, &slope), 1u);
  EXPECT_FLOAT_EQ(y1, kSloped.at(p1) + kBand.at(p1));
  EXPECT_FLOAT_EQ(slope, (y1 - y2) / (p1 - p2));
}

}  // namespace
