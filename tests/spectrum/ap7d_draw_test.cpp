#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

// Rows are drawn over a height of 101 units for values 0..100, so a value v
// lands on row 100 - v.
constexpr uint16_t kHeight = 101;
constexpr float kLow = 0.0f;
constexpr float kHigh = 100.0f;
// Written by the caller before the call; a span never touches it.
constexpr uint16_t kUntouched = 0x1234;

struct Spans {
  std::vector<uint16_t> low;
  std::vector<uint16_t> high;
  uint32_t first = 99;
  uint32_t end = 99;
  uint32_t result = 0;
};

// Message 210 into arrays of `width` columns followed by four guard
// columns.
Spans draw(AP7_SPECTRUM* spectrum, float xa, float xb, float x3, uint16_t width, uint16_t before_low = kUntouched,
           uint16_t before_high = kUntouched) {
  Spans spans;
  spans.low.assign(width + 4u, kUntouched);
  spans.high.assign(width + 4u, kUntouched);
  for (uint32_t c = 0; c < width; ++c) {
    spans.low[c] = before_low;
    spans.high[c] = before_high;
  }
  AP7_DRAWSPANSPARM parameter{xa,    xb,    x3, kLow, kHigh, width, kHeight, spans.low.data(), spans.high.data(),
                              &spans.first, &spans.end};
  spans.result = send(AP7_MSG_DRAW_SPANS, spectrum, &parameter);
  return spans;
}

using DrawSpans = SpectrumTest;

TEST_F(DrawSpans, TwoPointsPerColumnAcrossTheWholeWindow) {
  // 20 points over 10 columns: two points a column. The array scaling
  // takes points 2c..2c+2 (values 2c+1..2c+3) for column c, the last
  // column points 18 and 19.
  AP7_SPECTRUM* spectrum = make_ramp(20, 0.0f, 19.0f);
  const Spans spans = draw(spectrum, 0.0f, 19.0f, 19.0f, 10);
  EXPECT_EQ(spans.result, 1u);
  EXPECT_EQ(spans.first, 0u);
  EXPECT_EQ(spans.end, 10u);
  for (uint32_t c = 0; c < 9; ++c) {
    EXPECT_EQ(spans.low[c], 100 - (2 * c + 1)) << "column " << c;
    EXPECT_EQ(spans.high[c], 100 - (2 * c + 3)) << "column " << c;
  }
  EXPECT_EQ(spans.low[9], 100 - 19);
  EXPECT_EQ(spans.high[9], 100 - 20);
  EXPECT_EQ(spans.low[10], kUntouched);
  destroy(spectrum);
}

struct JoinCase {
  const char* name;
  float shift;            // added to every X
  uint16_t before_low;    // what the columns left of the new span held
  uint16_t before_high;
  int16_t joined_low_4;   // columns 4 and 5 after the join
  int16_t joined_high_4;
  int16_t joined_low_5;
  int16_t joined_high_5;
};

class DrawSpansJoin : public DrawSpans, public testing::WithParamInterface<JoinCase> {};

TEST_P(DrawSpansJoin, StartsAtTheDataAndMeetsTheColumnBefore) {
  // Points at 10..19 in a window 0..19 of 10 columns: two points a column,
  // the data start at column 5. Column 5 spans values 1..3 (rows 99..97).
  const JoinCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_ramp(10, 10.0f + c.shift, 19.0f + c.shift);
  const Spans spans = draw(spectrum, 0.0f + c.shift, 19.0f + c.shift, 19.0f + c.shift, 10, c.before_low, c.before_high);
  EXPECT_EQ(spans.result, 1u);
  EXPECT_EQ(spans.first, 5u);
  EXPECT_EQ(spans.end, 10u);
  for (uint32_t column = 0; column < 4; ++column) {
    EXPECT_EQ(spans.low[column], c.before_low);
    EXPECT_EQ(spans.high[column], c.before_high);
  }
  EXPECT_EQ(static_cast<int16_t>(spans.low[4]), c.joined_low_4);
  EXPECT_EQ(static_cast<int16_t>(spans.high[4]), c.joined_high_4);
  EXPECT_EQ(static_cast<int16_t>(spans.low[5]), c.joined_low_5);
  EXPECT_EQ(static_cast<int16_t>(spans.high[5]), c.joined_high_5);
  for (uint32_t p = 1; p < 4; ++p) {
    EXPECT_EQ(spans.low[5 + p], 100 - (2 * p + 1)) << "column " << 5 + p;
    EXPECT_EQ(spans.high[5 + p], 100 - (2 * p + 3)) << "column " << 5 + p;
  }
  EXPECT_EQ(spans.low[9], 100 - 9);
  EXPECT_EQ(spans.high[9], 100 - 10);
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DrawSpansJoin,
    testing::Values(
        // Column 5 lies below column 4's upper end: they meet at 60 + 39/2.
        JoinCase{"NewColumnBelow", 0.0f, 60, 60, 60, 79, 79, 97},
        // Column 4 lies below column 5's upper end: they meet at 97 + 33/2.
        JoinCase{"ColumnBeforeBelow", 0.0f, 130, 120, 113, 120, 99, 113},
        // Overlapping columns are left alone.
        JoinCase{"Overlapping", 0.0f, 97, 99, 97, 99, 99, 97},
        // Below zero the columns stand where they stand above it.
        JoinCase{"NegativeAxis", -100.0f, 60, 60, 60, 79, 79, 97}),
    [](const testing::TestParamInfo<JoinCase>& info) { return info.param.name; });

TEST_F(DrawSpans, FewerPointsThanHalfTheColumnsTakeOnePointAColumn) {
  // 4 points over 20 columns would round to no point a column; one point a
  // column covers the three spacings of the data.
  AP7_SPECTRUM* spectrum = make_ramp(4, 0.0f, 3.0f);
  const Spans spans = draw(spectrum, 0.0f, 3.0f, 3.0f, 20);
  EXPECT_EQ(spans.result, 1u);
  EXPECT_EQ(spans.first, 0u);
  EXPECT_EQ(spans.end, 3u);
  // Four points over three columns: points 0-1, 1-2, 2-3.
  EXPECT_EQ(spans.low[0], 99);
  EXPECT_EQ(spans.high[0], 98);
  EXPECT_EQ(spans.low[1], 98);
  EXPECT_EQ(spans.high[1], 97);
  EXPECT_EQ(spans.low[2], 97);
  EXPECT_EQ(spans.high[2], 96);
  for (uint32_t c = 3; c < 24; ++c) EXPECT_EQ(spans.low[c], kUntouched) << "column " << c;
  destroy(spectrum);
}

TEST_F(DrawSpans, AFullSpanAfterAnOffsetStopsAtTheLastColumn) {
  // Window -3..10 over 10 columns at one point a column: the data start at
  // column 3 and would need ten columns up to x 10; only seven are left.
  AP7_SPECTRUM* spectrum = make_ramp(20, 0.0f, 19.0f);
  const Spans spans = draw(spectrum, -3.0f, 10.0f, 10.0f, 10);
  EXPECT_EQ(spans.result, 1u);
  EXPECT_EQ(spans.first, 3u);
  EXPECT_EQ(spans.end, 10u);
  for (uint32_t c = 10; c < 14; ++c) {
    EXPECT_EQ(spans.low[c], kUntouched) << "column " << c;
    EXPECT_EQ(spans.high[c], kUntouched) << "column " << c;
  }
  destroy(spectrum);
}

struct RefusedCase {
  const char* name;
  uint32_t points;
  float first_x;
  float last_x;
  float xa;
  float xb;
  float x3;
  uint16_t width;
};

class DrawSpansRefused : public DrawSpans, public testing::WithParamInterface<RefusedCase> {};

TEST_P(DrawSpansRefused, DrawsNothing) {
  const RefusedCase& c = GetParam();
  AP7_SPECTRUM* spectrum = make_ramp(c.points, c.first_x, c.last_x);
  const Spans spans = draw(spectrum, c.xa, c.xb, c.x3, c.width);
  EXPECT_EQ(spans.result, 0u);
  EXPECT_EQ(spans.first, 0u);
  EXPECT_EQ(spans.end, 0u);
  for (uint32_t column = 0; column < spans.low.size(); ++column) {
    EXPECT_EQ(spans.low[column], kUntouched);
    EXPECT_EQ(spans.high[column], kUntouched);
  }
  destroy(spectrum);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DrawSpansRefused,
    testing::Values(RefusedCase{"TraceEndLeftOfTheWindow", 20, 0.0f, 19.0f, 5.0f, 15.0f, 4.0f, 10},
                    RefusedCase{"TraceEndRightOfTheWindow", 20, 0.0f, 19.0f, 5.0f, 15.0f, 16.0f, 10},
                    RefusedCase{"TraceEndNotANumber", 20, 0.0f, 19.0f, 5.0f, 15.0f, NAN, 10},
                    RefusedCase{"NoColumns", 20, 0.0f, 19.0f, 0.0f, 19.0f, 19.0f, 0},
                    RefusedCase{"OnePoint", 1, 5.0f, 5.0f, 0.0f, 10.0f, 10.0f, 10},
                    RefusedCase{"WindowRightOfTheData", 20, 0.0f, 19.0f, 30.0f, 40.0f, 35.0f, 10},
                    RefusedCase{"TraceEndsLeftOfTheData", 20, 0.0f, 19.0f, -20.0f, -5.0f, -10.0f, 10},
                    RefusedCase{"DescendingAxis", 20, 19.0f, 0.0f, 0.0f, 19.0f, 19.0f, 10}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

}  // namespace
