#include <cfloat>
#include <cmath>

#include <gtest/gtest.h>

#include "processing/measure_fixture.h"

namespace {

using namespace measuretest;

// A band of height 2 at 50, 10 wide on each side, on 0..100 at spacing 1,
// on a flat or a sloped line; the baseline runs through two points of the
// line outside the band.
constexpr Triangle kBand{50.0f, 2.0f, 10.0f, 10.0f};
constexpr Line kFlat{0.0f, 0.0f};
constexpr Line kSloped{0.3f, 0.01f};

class MeasurePeak : public SpectrumTest {
 protected:
  AP7_SPECTRUM* band(const Line& line, const Triangle& t = kBand, uint32_t units = AP1_YUNIT_ABSORBANCE) {
    return sampled(0.0f, 100.0f, 101, [t, line](float x) { return t.at(x) + line.at(x); }, units);
  }
};

struct Fitted {
  float x_corrected, x_raw, value_corrected, value_raw;
};
Fitted fitted(const AP7_MEASUREREC& r) {
  return {r.fitted_x_corrected, r.fitted_x_raw, r.fitted_value_corrected, r.fitted_value_raw};
}
Fitted point(const AP7_MEASUREREC& r) {
  return {r.point_x_corrected, r.point_x_raw, r.point_value_corrected, r.point_value_raw};
}

// The parabola through the apex and its neighbours of a symmetric band
// tops out at the apex: the height above the baseline, whatever its slope.
TEST_F(MeasurePeak, ValueAtTheApexIsTheHeightAboveTheBaseline) {
  for (const Line& line : {kFlat, kSloped}) {
    AP7_SPECTRUM* s = band(line);
    for (uint16_t type : {AP7E_VALUE_AT_X, AP7E_VALUE_AT_POINT, AP7E_INTERPOLATED_VALUE}) {
      AP7_MEASUREREC r = through(type, 20.0f, 80.0f);
      r.x = 50.2f;
      ASSERT_EQ(measure(s, r), 1u) << type;
      const Fitted f = fitted(r);
      const Fitted p = point(r);
      const float result_x = r.result_x;
      EXPECT_NEAR(p.value_corrected, kBand.height, 1e-5) << type;
      EXPECT_NEAR(p.value_raw, kBand.height + line.at(50.0f), 1e-5) << type;  // full scale 0
      EXPECT_EQ(p.x_raw, 50.0f);
      if (type == AP7E_INTERPOLATED_VALUE) {
        // On the band's falling side, 0.2 past the apex.
        EXPECT_NEAR(f.x_raw, 50.2f, 1e-5);
        EXPECT_NEAR(f.value_corrected, kBand.at(50.2f), 0.05f);
      } else {
        EXPECT_NEAR(f.value_corrected, kBand.height, 1e-5) << type;
        EXPECT_NEAR(f.x_corrected, 50.0f, 1e-4) << type;
      }
      EXPECT_EQ(result_x, type == AP7E_VALUE_AT_POINT ? 50.0f : f.x_raw) << type;
    }
    spectrumtest::destroy(s);
  }
}

TEST_F(MeasurePeak, InterpolatedValueOnALineIsTheLine) {
  AP7_SPECTRUM* s = sampled(0.0f, 100.0f, 101, [](float x) { return kSloped.at(x); });
  AP7_MEASUREREC r = request(AP7E_INTERPOLATED_VALUE, AP7E_BASELINE_LEVEL);
  r.x = 30.4f;
  ASSERT_EQ(measure(s, r), 1u);
  const Fitted f = fitted(r);
  EXPECT_NEAR(f.value_raw, kSloped.at(30.4f), 1e-5);
  EXPECT_NEAR(f.x_raw, 30.4f, 1e-5);
  spectrumtest::destroy(s);
}

// Collinear points: the centre when flat, else the higher end; at the first
// point the centre is held one point inside.
TEST_F(MeasurePeak, CollinearPointsAndTheFirstPoint) {
  AP7_SPECTRUM* flat = sampled(0.0f, 10.0f, 11, [](float) { return 4.0f; });
  AP7_MEASUREREC r = request(AP7E_VALUE_AT_X, AP7E_BASELINE_LEVEL);
  r.x = 5.0f;
  ASSERT_EQ(measure(flat, r), 1u);
  EXPECT_EQ(fitted(r).x_raw, 5.0f);
  EXPECT_EQ(fitted(r).value_raw, 4.0f);
  spectrumtest::destroy(flat);
  AP7_SPECTRUM* ramp = sampled(0.0f, 10.0f, 11, [](float x) { return x; });
  ASSERT_EQ(measure(ramp, r), 1u);
  EXPECT_EQ(fitted(r).x_raw, 6.0f);
  EXPECT_EQ(fitted(r).value_raw, 6.0f);
  r.x = 0.0f;
  ASSERT_EQ(measure(ramp, r), 1u);
  EXPECT_EQ(point(r).x_raw, 1.0f);  // points 0, 1, 2
  EXPECT_EQ(fitted(r).value_raw, 2.0f);
  spectrumtest::destroy(ramp);
}

// The peak position types find the apex in a region; 118 adds its offset
// to the X values it reports.
TEST_F(MeasurePeak, PeakPositionTypesFindTheApex) {
  AP7_SPECTRUM* s = band(kSloped);
  for (uint16_t type : {AP7E_PEAK_VALUE, AP7E_OFFSET_PEAK_VALUE}) {
    AP7_MEASUREREC r = through(type, 20.0f, 80.0f);
    r.region_start = 40.0f;
    r.region_end = 60.0f;
    r.x_offset = 1.5f;
    ASSERT_EQ(measure(s, r), 1u) << type;
    const float x = r.x;
    const uint16_t x_source = r.x_source;
    const float offset = type == AP7E_OFFSET_PEAK_VALUE ? 1.5f : 0.0f;
    EXPECT_EQ(x, 50.0f);
    EXPECT_EQ(x_source, 1);
    EXPECT_NEAR(fitted(r).value_corrected, kBand.height, 1e-5);
    EXPECT_NEAR(fitted(r).x_corrected, 50.0f + offset, 1e-4);
  }
  spectrumtest::destroy(s);
}

TEST_F(MeasurePeak, RegionMeanOfALine) {
  AP7_SPECTRUM* s = sampled(0.0f, 100.0f, 101, [](float x) { return kSloped.at(x); });
  AP7_MEASUREREC r = request(AP7E_REGION_MEAN, AP7E_BASELINE_LEVEL);
  r.level = 0.25f;
  r.region_start = 20.0f;
  r.region_end = 40.0f;
  ASSERT_EQ(measure(s, r), 1u);
  EXPECT_FLOAT_EQ(fitted(r).x_raw, 30.0f);
  EXPECT_NEAR(fitted(r).value_raw, kSloped.at(30.0f), 1e-5);
  EXPECT_NEAR(fitted(r).value_corrected, kSloped.at(30.0f) - 0.25f, 1e-5);
  spectrumtest::destroy(s);
}

// Heights above flat and sloped baselines; the negated and magnitude types
// on a band pointing down report it positive, as do downward peaks of
// percent transmittance.
TEST_F(MeasurePeak, HeightsOfBandsEitherWay) {
  struct Case {
    uint16_t type;
    float sign;  // of the band
    uint32_t units;
  };
  const Case cases[] = {{AP7E_PEAK_HEIGHT, 1.0f, AP1_YUNIT_ABSORBANCE},
                        {AP7E_PEAK_HEIGHT_B, 1.0f, AP1_YUNIT_ABSORBANCE},
                        {AP7E_NEGATED_PEAK_HEIGHT, -1.0f, AP1_YUNIT_ABSORBANCE},
                        {AP7E_NEGATED_PEAK_HEIGHT_B, -1.0f, AP1_YUNIT_ABSORBANCE},
                        {AP7E_MAGNITUDE_HEIGHT, -1.0f, AP1_YUNIT_ABSORBANCE},
                        {AP7E_NEGATED_PEAK_HEIGHT, -1.0f, AP1_YUNIT_PERCENT_TRANSMITTANCE}};
  for (const Line& line : {kFlat, kSloped}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.type);
      const Triangle t{kBand.centre, c.sign * kBand.height, kBand.left, kBand.right};
      AP7_SPECTRUM* s = band(line, t, c.units);
      AP7_MEASUREREC r = through(c.type, 20.0f, 80.0f);
      r.region_start = 30.0f;
      r.region_end = 70.0f;
      ASSERT_EQ(measure(s, r), 1u);
      const float start = r.region_start, end = r.region_end;
      EXPECT_EQ(start, 30.0f);
      EXPECT_EQ(end, 70.0f);
      // The point value is the negated band's; the fitted value is the
      // data's own vertex, turned only for peaks pointing down (and made
      // positive by the magnitude type).
      const bool down = c.units == AP1_YUNIT_PERCENT_TRANSMITTANCE;
      const bool turned = down || c.type == AP7E_MAGNITUDE_HEIGHT;
      EXPECT_NEAR(point(r).value_corrected, down ? -kBand.height : kBand.height, 1e-5);
      EXPECT_NEAR(fitted(r).value_corrected, turned ? kBand.height : c.sign * kBand.height, 1e-5);
      EXPECT_NEAR(fitted(r).x_corrected, 50.0f, 1e-4);
      EXPECT_EQ(point(r).x_corrected, 50.0f);
      spectrumtest::destroy(s);
    }
  }
}

// The trapezoid rule is exact on the band's straight sides: its area over
// the baseline, and the area of band and line over full scale 0.
TEST_F(MeasurePeak, AreaOfABandOverFlatAndSlopedBaselines) {
  for (const Line& line : {kFlat, kSloped}) {
    AP7_SPECTRUM* s = band(line);
    AP7_MEASUREREC r = through(AP7E_AREA, 20.0f, 80.0f);
    r.region_start = 70.0f;  // either order
    r.region_end = 30.0f;
    ASSERT_EQ(measure(s, r), 1u);
    const float corrected = r.area_corrected, raw = r.area_raw;
    const float line_area = (line.at(30.0f) + line.at(70.0f)) / 2.0f * 40.0f;
    EXPECT_NEAR(corrected, kBand.area(), 1e-4);
    EXPECT_NEAR(raw, kBand.area() + line_area, 1e-3);
    spectrumtest::destroy(s);
  }
  // A band pointing down on a percent transmittance line at 100.
  const Triangle dip{50.0f, -30.0f, 10.0f, 10.0f};
  AP7_SPECTRUM* s = band(Line{100.0f, 0.0f}, dip, AP1_YUNIT_PERCENT_TRANSMITTANCE);
  AP7_MEASUREREC r = request(AP7E_AREA, AP7E_BASELINE_FULL_SCALE);
  r.region_start = 30.0f;
  r.region_end = 70.0f;
  ASSERT_EQ(measure(s, r), 1u);
  const float corrected = r.area_corrected, raw = r.area_raw;
  EXPECT_NEAR(corrected, 300.0f, 1e-3);
  EXPECT_NEAR(raw, 300.0f, 1e-3);
  spectrumtest::destroy(s);
}

// An axis stored falling measures the same area.
TEST_F(MeasurePeak, AreaDoesNotTurnWithAFallingAxis) {
  AP7_SPECTRUM* s = sampled(100.0f, 0.0f, 101, [](float x) { return kBand.at(x); });
  AP7_MEASUREREC r = request(AP7E_AREA, AP7E_BASELINE_LEVEL);
  r.region_start = 30.0f;
  r.region_end = 70.0f;
  ASSERT_EQ(measure(s, r), 1u);
  const float corrected = r.area_corrected;
  EXPECT_NEAR(corrected, kBand.area(), 1e-4);
  spectrumtest::destroy(s);
}

TEST_F(MeasurePeak, AreaOfOnePointIsItsValueTimesTheSpacing) {
  AP7_SPECTRUM* s = sampled(0.0f, 50.0f, 101, [](float x) { return kBand.at(x); });  // spacing 0.5
  AP7_MEASUREREC r = request(AP7E_AREA, AP7E_BASELINE_LEVEL);
  r.region_start = 45.0f;
  r.region_end = 45.1f;
  ASSERT_EQ(measure(s, r), 1u);
  const float corrected = r.area_corrected;
  EXPECT_FLOAT_EQ(corrected, kBand.at(45.0f) * 0.5f);
  spectrumtest::destroy(s);
}

// Between the first points beyond half height, judged against the
// baseline's end values: on the flat line 6 from the apex (0.4 of the
// height) on both sides. On the sloped line the right side is judged
// against the higher end value 1.0: at 55 the band's 1.0 on the line's
// 0.85 is (2.8 - 1.85) / (2.8 - 1.0) = 0.53 of the way down, beyond half.
// The area is the band less its tails beyond the stops.
TEST_F(MeasurePeak, HalfHeightAreaStopsBeyondHalfHeight) {
  struct Case {
    Line line;
    float end;
  };
  for (const Case& c : {Case{kFlat, 56.0f}, Case{kSloped, 55.0f}}) {
    AP7_SPECTRUM* s = band(c.line);
    for (uint16_t type : {AP7E_HALF_HEIGHT_AREA, AP7E_FRACTION_AREA}) {
      AP7_MEASUREREC r = through(type, 30.0f, 70.0f);
      r.x = 50.0f;
      r.fraction = 3.0f;  // q held to one half
      ASSERT_EQ(measure(s, r), 1u) << type;
      const float start = r.region_start, end = r.region_end, corrected = r.area_corrected;
      EXPECT_EQ(start, 44.0f);
      EXPECT_EQ(end, c.end);
      const float left_tail = kBand.at(44.0f) * (44.0f - 40.0f) / 2.0f;
      const float right_tail = kBand.at(c.end) * (60.0f - c.end) / 2.0f;
      EXPECT_NEAR(corrected, kBand.area() - left_tail - right_tail, 1e-4) << type;
    }
    spectrumtest::destroy(s);
  }
}

TEST_F(MeasurePeak, RangeAndStandardDeviationOfKnownValues) {
  // 2, 4, 4, 4, 5, 5, 7, 9: mean 5, sample variance 32 / 7.
  const std::vector<float> y = {2, 4, 4, 4, 5, 5, 7, 9};
  AP7_SPECTRUM* s = spectrumtest::make_axis(0.0f, 7.0f, y);
  AP7_MEASUREREC r = request(AP7E_STANDARD_DEVIATION, AP7E_BASELINE_LEVEL);
  r.level = 1.0f;
  r.region_start = 0.0f;
  r.region_end = 7.0f;
  ASSERT_EQ(measure(s, r), 1u);
  EXPECT_FLOAT_EQ(point(r).value_raw, 7.0f);
  EXPECT_FLOAT_EQ(point(r).value_corrected, 7.0f);
  EXPECT_FLOAT_EQ(fitted(r).value_raw, std::sqrt(32.0f / 7.0f));
  EXPECT_FLOAT_EQ(fitted(r).value_corrected, std::sqrt(32.0f / 7.0f));
  EXPECT_FLOAT_EQ(fitted(r).x_raw, 3.5f);
  // One valid point: no deviation.
  r.region_start = r.region_end = 3.0f;
  ASSERT_EQ(measure(s, r), 1u);
  EXPECT_EQ(fitted(r).value_raw, 0.0f);
  spectrumtest::destroy(s);
}

// Type 134 over whole periods of a sine of amplitude A: the square root of
// span x mean square, with the mean square A^2 / 2 over the periods' N
// points and the closing zero as point N + 1.
TEST_F(MeasurePeak, RootMeanSquareOfASine) {
  constexpr float kAmplitude = 0.02f;
  constexpr uint32_t kPoints = 65;  // two periods of 32 points
  AP7_SPECTRUM* s = sampled(0.0f, 64.0f, kPoints, [](float x) {
    return kAmplitude * static_cast<float>(std::sin(2.0 * M_PI * x / 32.0)) + 1.0f;
  });
  AP7_MEASUREREC r = request(AP7E_ROOT_MEAN_SQUARE, AP7E_BASELINE_LEVEL);
  r.level = 1.0f;
  r.region_start = 0.0f;
  r.region_end = 64.0f;
  ASSERT_EQ(measure(s, r), 1u);
  const double mean_square = kAmplitude * kAmplitude / 2.0 * 64.0 / 65.0;
  EXPECT_NEAR(fitted(r).value_corrected, std::sqrt(64.0 * mean_square), 1e-5);
  spectrumtest::destroy(s);
}

// The X test allows half a (signed) spacing beyond the data: on a spectrum
// stored falling that is half a point inside each end.
TEST_F(MeasurePeak, FallingAxisNarrowsTheXTest) {
  AP7_SPECTRUM* rising = sampled(0.0f, 10.0f, 11, [](float x) { return x; });
  AP7_SPECTRUM* falling = sampled(10.0f, 0.0f, 11, [](float x) { return x; });
  AP7_MEASUREREC r = request(AP7E_VALUE_AT_X, AP7E_BASELINE_LEVEL);
  r.x = 10.3f;
  EXPECT_EQ(measure(rising, r), 1u);
  EXPECT_EQ(measure(falling, r), 0u);
  r.x = 9.7f;
  EXPECT_EQ(measure(falling, r), 0u);
  r.x = 9.4f;
  EXPECT_EQ(measure(falling, r), 1u);
  spectrumtest::destroy(rising);
  spectrumtest::destroy(falling);
}

TEST_F(MeasurePeak, AcceptanceWindowMarksAFittedXOutsideIt) {
  AP7_SPECTRUM* s = band(kFlat);
  AP7_MEASUREREC r = request(AP7E_VALUE_AT_X, AP7E_BASELINE_LEVEL);
  r.x = 50.0f;
  r.window_on = 1;
  r.window_low = 1.5f;  // given high first
  r.window_high = 0.5f;
  ASSERT_EQ(measure(s, r), 1u);
  const float low = r.window_low, high = r.window_high;
  EXPECT_EQ(low, 0.5f);
  EXPECT_EQ(high, 1.5f);
  EXPECT_TRUE(std::isnan(fitted(r).x_corrected));
  EXPECT_EQ(fitted(r).x_raw, 50.0f);
  EXPECT_NEAR(fitted(r).value_corrected, 2.0f, 1e-6);
  r.window_high = 2.5f;
  ASSERT_EQ(measure(s, r), 1u);
  EXPECT_EQ(fitted(r).x_corrected, 50.0f);
  spectrumtest::destroy(s);
}

// Measurements that lack the points they need, ranges of no width and
// data without values give the failure result.
TEST_F(MeasurePeak, TooFewPointsOrNoValuesFail) {
  AP7_SPECTRUM* two = sampled(0.0f, 1.0f, 2, [](float x) { return x; });
  AP7_MEASUREREC r = request(AP7E_VALUE_AT_X, AP7E_BASELINE_LEVEL);
  r.x = 0.5f;
  EXPECT_EQ(measure(two, r), 0u);
  r = request(AP7E_PEAK_HEIGHT, AP7E_BASELINE_LEVEL);
  r.region_start = 0.0f;
  r.region_end = 1.0f;
  EXPECT_EQ(measure(two, r), 0u);
  spectrumtest::destroy(two);

  AP7_SPECTRUM* zero_width = sampled(5.0f, 5.0f, 3, [](float) { return 1.0f; });
  r = request(AP7E_AREA, AP7E_BASELINE_LEVEL);
  r.region_start = 5.0f;
  r.region_end = 5.0f;
  EXPECT_EQ(measure(zero_width, r), 0u);
  spectrumtest::destroy(zero_width);

  AP7_SPECTRUM* empty = sampled(0.0f, 10.0f, 11, [](float) { return AP1_GetNaNSG_MATH(); });
  for (uint16_t type : {AP7E_VALUE_AT_X, AP7E_REGION_MEAN, AP7E_PEAK_HEIGHT, AP7E_HALF_HEIGHT_AREA,
                        AP7E_STANDARD_DEVIATION, AP7E_HALF_HEIGHT_WIDTH}) {
    r = request(type, AP7E_BASELINE_LEVEL);
    r.x = 5.0f;
    r.region_start = 2.0f;
    r.region_end = 8.0f;
    EXPECT_EQ(measure(empty, r), 0u) << type;
  }
  spectrumtest::destroy(empty);
}

TEST_F(MeasurePeak, RegionTraceTypesAreNotMeasuredButKeepTheBaseline) {
  AP7_SPECTRUM* s = band(kFlat);
  AP7_MEASUREREC r = request(AP7E_REGION_TRACE, AP7E_BASELINE_LEVEL);
  r.level = 0.5f;
  EXPECT_EQ(measure(s, r), 0u);
  const float a = r.value_a, x2 = r.baseline_x2;
  EXPECT_EQ(a, 0.5f);
  EXPECT_EQ(x2, 100.0f);
  r.type = 137;
  EXPECT_EQ(measure(s, r), 0u);
  spectrumtest::destroy(s);
}

}  // namespace
