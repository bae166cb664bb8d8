#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "processing/measure_fixture.h"

namespace {

using namespace measuretest;

class MeasureBaseline : public SpectrumTest {
 protected:
  uint32_t draw(AP7_SPECTRUM* spectrum, AP7_MEASUREREC& r) { return send(AP7_MSG_MEASURE_BASELINE, spectrum, &r); }
};

// 101 points over 0..100 (spacing 1) of a line 2 + 0.5 x.
constexpr Line kLine{2.0f, 0.5f};

TEST_F(MeasureBaseline, LevelRunsOverTheWholeSpectrum) {
  AP7_SPECTRUM* s = sampled(0.0f, 100.0f, 101, [](float x) { return kLine.at(x); });
  AP7_MEASUREREC r = request(AP7E_REGION_MEAN, AP7E_BASELINE_LEVEL);
  r.level = 3.5f;
  r.slope_b = 9.0f;
  ASSERT_EQ(draw(s, r), 1u);
  const float x1 = r.baseline_x1, x2 = r.baseline_x2, y1 = r.baseline_y1, y2 = r.baseline_y2;
  const float a = r.value_a, b = r.slope_b, x0 = r.origin_x0, c = r.curvature_c;
  EXPECT_EQ(x1, 0.0f);
  EXPECT_EQ(x2, 100.0f);
  EXPECT_EQ(y1, 3.5f);
  EXPECT_EQ(y2, 3.5f);
  EXPECT_EQ(a, 3.5f);
  EXPECT_EQ(b, 0.0f);
  EXPECT_EQ(x0, 0.0f);
  EXPECT_EQ(c, 0.0f);
  spectrumtest::destroy(s);
}

// The fitted line over 20..60 of the line itself is the line: slope b and
// the value at the region's middle 40; missing points are left out.
TEST_F(MeasureBaseline, FittedLineRecoversALineAroundTheRegionMiddle) {
  AP7_SPECTRUM* s = sampled(0.0f, 100.0f, 101, [](float x) { return kLine.at(x); });
  float* y = ap7b_GetDataPtr(s);
  y[30] = y[31] = AP1_GetNaNSG_MATH();
  AP7_MEASUREREC r = request(AP7E_REGION_MEAN, AP7E_BASELINE_FITTED_LINE);
  r.region_start = 20.3f;
  r.region_end = 59.8f;
  ASSERT_EQ(draw(s, r), 1u);
  const float start = r.region_start, end = r.region_end;
  EXPECT_EQ(start, 20.0f);  // snapped and written back
  EXPECT_EQ(end, 60.0f);
  const float a = r.value_a, b = r.slope_b, x0 = r.origin_x0, c = r.curvature_c;
  EXPECT_EQ(x0, 40.0f);
  EXPECT_NEAR(b, kLine.b, 1e-5);
  EXPECT_NEAR(a, kLine.at(40.0f), 1e-4);
  EXPECT_EQ(c, 0.0f);
  const float x1 = r.baseline_x1, x2 = r.baseline_x2, y1 = r.baseline_y1, y2 = r.baseline_y2;
  EXPECT_EQ(x1, 20.0f);
  EXPECT_EQ(x2, 60.0f);
  EXPECT_NEAR(y1, kLine.at(20.0f), 1e-4);
  EXPECT_NEAR(y2, kLine.at(60.0f), 1e-4);
  spectrumtest::destroy(s);
}

// A parabola fitted to a parabola: c its curvature, b its slope and a its
// value at the middle; on a line the parabola is the fitted line.
TEST_F(MeasureBaseline, FittedParabolaRecoversParabolaAndLine) {
  const auto parabola = [](float x) { return 1.0f + 0.2f * x - 0.01f * x * x; };
  AP7_SPECTRUM* s = sampled(0.0f, 100.0f, 101, parabola);
  AP7_MEASUREREC r = request(AP7E_REGION_MEAN, AP7E_BASELINE_FITTED_PARABOLA);
  r.region_start = 10.0f;
  r.region_end = 50.0f;
  ASSERT_EQ(draw(s, r), 1u);
  float a = r.value_a, b = r.slope_b, c = r.curvature_c;
  EXPECT_NEAR(c, -0.01f, 1e-6);
  EXPECT_NEAR(b, 0.2f - 0.02f * 30.0f, 1e-4);
  EXPECT_NEAR(a, parabola(30.0f), 1e-3);
  spectrumtest::destroy(s);

  AP7_SPECTRUM* line = sampled(0.0f, 100.0f, 101, [](float x) { return kLine.at(x); });
  AP7_MEASUREREC fitted = request(AP7E_REGION_MEAN, AP7E_BASELINE_FITTED_LINE);
  fitted.region_start = 10.0f;
  fitted.region_end = 50.0f;
  r.baseline_mode = AP7E_BASELINE_FITTED_PARABOLA;
  ASSERT_EQ(draw(line, fitted), 1u);
  ASSERT_EQ(draw(line, r), 1u);
  a = r.value_a, b = r.slope_b, c = r.curvature_c;
  const float fa = fitted.value_a, fb = fitted.slope_b;
  EXPECT_NEAR(c, 0.0f, 1e-6);
  EXPECT_NEAR(a, fa, 1e-4);
  EXPECT_NEAR(b, fb, 1e-5);
  spectrumtest::destroy(line);
}

// Fits without enough present points are singular: a zero baseline that
// may still be used.
TEST_F(MeasureBaseline, FitsOverTooFewPointsGiveAZeroBaseline) {
  AP7_SPECTRUM* s = sampled(0.0f, 10.0f, 11, [](float) { return AP1_GetNaNSG_MATH(); });
  for (uint16_t mode : {AP7E_BASELINE_FITTED_LINE, AP7E_BASELINE_FITTED_PARABOLA}) {
    AP7_MEASUREREC r = request(AP7E_REGION_MEAN, mode);
    r.region_start = 2.0f;
    r.region_end = 8.0f;
    r.value_a = 7.0f;
    ASSERT_EQ(draw(s, r), 1u) << mode;
    const float a = r.value_a, b = r.slope_b, c = r.curvature_c;
    EXPECT_EQ(a, 0.0f);
    EXPECT_EQ(b, 0.0f);
    EXPECT_EQ(c, 0.0f);
  }
  float* y = ap7b_GetDataPtr(s);
  y[4] = 1.0f;
  y[5] = 2.0f;  // two points: a line, but no parabola
  AP7_MEASUREREC r = request(AP7E_REGION_MEAN, AP7E_BASELINE_FITTED_PARABOLA);
  r.region_start = 2.0f;
  r.region_end = 8.0f;
  ASSERT_EQ(draw(s, r), 1u);
  const float c = r.curvature_c, a = r.value_a;
  EXPECT_EQ(c, 0.0f);
  EXPECT_EQ(a, 0.0f);
  // A region that maps to no point cannot be fitted.
  r.region_start = AP1_GetNaNSG_MATH();
  EXPECT_EQ(draw(s, r), 0u);
  spectrumtest::destroy(s);
}

// Two points on the line draw the line itself, through the snapped
// positions, whichever mode finds them.
TEST_F(MeasureBaseline, PointsAndRegionsOnALineDrawTheLine) {
  AP7_SPECTRUM* s = sampled(0.0f, 100.0f, 101, [](float x) { return kLine.at(x); });
  struct Case {
    uint16_t mode;
    float p1, e1, p2, e2;
    float x1, x2;  // the points found
  };
  const Case cases[] = {
      {AP7E_BASELINE_THROUGH_POINTS, 9.8f, 0.0f, 80.2f, 0.0f, 10.0f, 80.0f},
      {AP7E_BASELINE_REGION_MEAN, 10.0f, 20.0f, 70.0f, 90.0f, 15.0f, 80.0f},
      {AP7E_BASELINE_REGION_LOWEST, 10.0f, 20.0f, 70.0f, 90.0f, 10.0f, 70.0f},
      {AP7E_BASELINE_REGION_HIGHEST, 10.0f, 20.0f, 70.0f, 90.0f, 20.0f, 90.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    AP7_MEASUREREC r = request(AP7E_REGION_MEAN, c.mode);
    r.point_count = 2;
    r.position1 = c.p1;
    r.region1_end = c.e1;
    r.position2 = c.p2;
    r.region2_end = c.e2;
    ASSERT_EQ(draw(s, r), 1u);
    const uint16_t count = r.point_count;
    const float x1 = r.baseline_x1, x2 = r.baseline_x2, y1 = r.baseline_y1, y2 = r.baseline_y2;
    const float a = r.value_a, b = r.slope_b, x0 = r.origin_x0;
    EXPECT_EQ(count, 2);
    EXPECT_EQ(x1, c.x1);
    EXPECT_EQ(x2, c.x2);
    EXPECT_NEAR(y1, kLine.at(c.x1), 1e-5);
    EXPECT_NEAR(y2, kLine.at(c.x2), 1e-5);
    EXPECT_EQ(x0, c.x1);
    EXPECT_NEAR(a, kLine.at(c.x1), 1e-5);
    EXPECT_NEAR(b, kLine.b, 1e-6);
  }
  spectrumtest::destroy(s);
}

TEST_F(MeasureBaseline, OnePointFoundDrawsAFlatLineThroughIt) {
  AP7_SPECTRUM* s = sampled(0.0f, 100.0f, 101, [](float x) { return kLine.at(x); });
  // Two positions on one point.
  AP7_MEASUREREC r = through(AP7E_REGION_MEAN, 30.2f, 29.9f);
  ASSERT_EQ(draw(s, r), 1u);
  uint16_t count = r.point_count;
  float x1 = r.baseline_x1, x2 = r.baseline_x2, a = r.value_a, b = r.slope_b, x0 = r.origin_x0;
  EXPECT_EQ(count, 1);
  EXPECT_EQ(x1, 30.0f);
  EXPECT_EQ(x2, 30.0f);
  EXPECT_EQ(x0, 30.0f);
  EXPECT_FLOAT_EQ(a, kLine.at(30.0f));
  EXPECT_EQ(b, 0.0f);
  // Two regions whose lowest points fall on one X: region 1 stays.
  r = request(AP7E_REGION_MEAN, AP7E_BASELINE_REGION_LOWEST);
  r.point_count = 2;
  r.position1 = 40.0f;
  r.region1_end = 50.0f;
  r.position2 = 40.0f;
  r.region2_end = 60.0f;
  ASSERT_EQ(draw(s, r), 1u);
  count = r.point_count;
  a = r.value_a;
  EXPECT_EQ(count, 1);
  EXPECT_FLOAT_EQ(a, kLine.at(40.0f));
  spectrumtest::destroy(s);
}

// With nothing found the line is flat at full scale: 0 for absorbance, 100
// for percent transmittance; the types that need two points refuse.
TEST_F(MeasureBaseline, NothingFoundFallsBackToFullScale) {
  for (uint32_t units : {AP1_YUNIT_ABSORBANCE, AP1_YUNIT_PERCENT_TRANSMITTANCE}) {
    AP7_SPECTRUM* s = sampled(0.0f, 10.0f, 11, [](float) { return AP1_GetNaNSG_MATH(); }, units);
    const float scale = units == AP1_YUNIT_ABSORBANCE ? 0.0f : 100.0f;
    AP7_MEASUREREC r = through(AP7E_REGION_MEAN, 2.0f, 8.0f);
    ASSERT_EQ(draw(s, r), 1u);
    const uint16_t count = r.point_count;
    const float a = r.value_a, y1 = r.baseline_y1, y2 = r.baseline_y2;
    EXPECT_EQ(count, 0);
    EXPECT_EQ(a, scale);
    EXPECT_EQ(y1, scale);
    EXPECT_EQ(y2, scale);
    r = through(AP7E_TWO_POINT_AREA, 2.0f, 8.0f);
    EXPECT_EQ(draw(s, r), 0u);
    r = request(AP7E_TWO_POINT_AREA, AP7E_BASELINE_FULL_SCALE);
    EXPECT_EQ(draw(s, r), 0u);
    spectrumtest::destroy(s);
  }
}

TEST_F(MeasureBaseline, TwoPointTypesTakeTheirPointsOrTheExtremeLevel) {
  AP7_SPECTRUM* s = sampled(0.0f, 100.0f, 101, [](float x) { return kLine.at(x); });
  AP7_MEASUREREC r = through(AP7E_TWO_POINT_AREA, 20.0f, 70.0f);
  ASSERT_EQ(draw(s, r), 1u);
  const float start = r.region_start, end = r.region_end;
  EXPECT_EQ(start, 20.0f);
  EXPECT_EQ(end, 70.0f);
  // Peaks up: the higher of the two values, flat.
  r = through(AP7E_TWO_POINT_CENTRE_OF_GRAVITY, 20.0f, 70.0f);
  ASSERT_EQ(draw(s, r), 1u);
  float a = r.value_a, b = r.slope_b;
  EXPECT_FLOAT_EQ(a, kLine.at(70.0f));
  EXPECT_EQ(b, 0.0f);
  spectrumtest::record(s).y_units = AP1_YUNIT_PERCENT_TRANSMITTANCE;
  ASSERT_EQ(draw(s, r), 1u);
  a = r.value_a;
  EXPECT_FLOAT_EQ(a, kLine.at(20.0f));
  spectrumtest::destroy(s);
}

TEST_F(MeasureBaseline, RefusesWithoutWritingAnything) {
  AP7_SPECTRUM* s = sampled(0.0f, 10.0f, 11, [](float x) { return x; });
  AP7_MEASUREREC r = request(AP7E_REGION_MEAN, 8);
  r.level = 1.0f;
  const AP7_MEASUREREC before = r;
  EXPECT_EQ(draw(s, r), 0u);
  EXPECT_EQ(std::memcmp(&before, &r, sizeof r), 0);
  EXPECT_EQ(send(AP7_MSG_MEASURE_BASELINE, s, nullptr), 0u);
  EXPECT_EQ(ap7e_MeasureBaseline(nullptr, &r), 0u);
  spectrumtest::destroy(s);
}

}  // namespace
