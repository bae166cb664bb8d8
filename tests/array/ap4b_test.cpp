#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "array/array_fixture.h"

namespace {

using namespace arraytest;

class ArraySignal : public ArrayTest {
 protected:
  static AP4_ARRAY* of(uint32_t rows, uint32_t columns, std::initializer_list<float> data) {
    AP4_ARRAY* array = make(rows, columns);
    std::copy(data.begin(), data.end(), ap4a_GetDataAddress(array));
    return array;
  }
};

constexpr AP4_RANGE kWhole = AP4_WHOLE_RANGE;
const float kNaN = AP1_GetNaNSG_MATH();

// ---------------------------------------------------------------------------
// Pairs of ranges

TEST_F(ArraySignal, RegressionSlopeAboutEachRangesOwnMean) {
  struct Case {
    const char* what;
    std::vector<float> a;
    std::vector<float> b;
    float slope;
  };
  const Case cases[] = {
      {"a = 2b", {2, 4, 6}, {1, 2, 3}, 2.0f},
      {"offset does not matter", {12, 14, 16}, {1, 2, 3}, 2.0f},
      // Means over each range's present values: a 3, b 8/3; pairs at 0 and 2.
      {"missing values", {1, kNaN, 5}, {1, 3, 4},
       static_cast<float>((-2.0 * (1 - 8.0 / 3) + 2.0 * (4 - 8.0 / 3)) /
                          ((1 - 8.0 / 3) * (1 - 8.0 / 3) + (4 - 8.0 / 3) * (4 - 8.0 / 3)))},
      {"b constant: Sbb taken as 1", {1, 2, 3}, {4, 4, 4}, 0.0f},
  };
  for (const Case& c : cases) {
    AP4_ARRAY* a = make(1, 3);
    AP4_ARRAY* b = make(1, 3);
    std::copy(c.a.begin(), c.a.end(), ap4a_GetDataAddress(a));
    std::copy(c.b.begin(), c.b.end(), ap4a_GetDataAddress(b));
    float slope = -99;
    AP4_DOTPARM parameter{kWhole, b, kWhole, &slope};
    EXPECT_EQ(send(AP4_MSG_REGRESSION_SLOPE, a, &parameter), 1u) << c.what;
    EXPECT_NEAR(slope, c.slope, 1e-6) << c.what;
    destroy(a);
    destroy(b);
  }
}

TEST_F(ArraySignal, RegressionSlopeAndPairCountRefuseRangesThatDoNotPair) {
  AP4_ARRAY* a = of(2, 3, {1, 2, 3, 4, 5, 6});
  AP4_ARRAY* one = of(1, 1, {1});
  AP4_ARRAY* missing = of(1, 3, {kNaN, kNaN, 1});
  AP4_ARRAY* other = of(1, 3, {1, 2, kNaN});
  float slope = -99;
  const AP4_RANGE row0{{0, 0}, {0, 2}};
  const AP4_RANGE column0{{0, 0}, {1, 0}};
  struct Case {
    const char* what;
    AP4_ARRAY* x;
    AP4_RANGE rx;
    AP4_ARRAY* y;
    AP4_RANGE ry;
  };
  const Case cases[] = {
      {"two rows", a, kWhole, a, kWhole},
      {"columns", a, column0, a, column0},
      {"one column", one, kWhole, one, kWhole},
      {"lengths differ", a, row0, a, AP4_RANGE{{1, 0}, {1, 1}}},
  };
  for (const Case& c : cases) {
    AP4_DOTPARM parameter{c.rx, c.y, c.ry, &slope};
    EXPECT_EQ(send(AP4_MSG_REGRESSION_SLOPE, c.x, &parameter), 0u) << c.what;
    EXPECT_EQ(ap4b_CountValidPairs(c.x, c.rx, c.y, c.ry), 0u) << c.what;
  }
  EXPECT_EQ(slope, -99.0f);
  // No position with both present: the slope is written all the same.
  AP4_DOTPARM none{kWhole, other, kWhole, &slope};
  EXPECT_EQ(send(AP4_MSG_REGRESSION_SLOPE, missing, &none), 0u);
  EXPECT_EQ(slope, 0.0f);
  AP4_DOTPARM nowhere{kWhole, other, kWhole, nullptr};
  EXPECT_EQ(send(AP4_MSG_REGRESSION_SLOPE, a, &nowhere), 0u);
  for (AP4_ARRAY* x : {a, one, missing, other}) destroy(x);
}

TEST_F(ArraySignal, CountsThePositionsWhereBothArePresent) {
  AP4_ARRAY* a = of(2, 4, {1, kNaN, 3, 4, kNaN, 6, 7, 8});
  AP4_ARRAY* b = of(1, 4, {1, 2, kNaN, 4});
  EXPECT_EQ(ap4b_CountValidPairs(a, AP4_RANGE{{0, 0}, {0, 3}}, b, kWhole), 2u);
  EXPECT_EQ(ap4b_CountValidPairs(a, AP4_RANGE{{1, 0}, {1, 3}}, b, kWhole), 2u);
  EXPECT_EQ(ap4b_CountValidPairs(a, AP4_RANGE{{1, 1}, {1, 3}}, a, AP4_RANGE{{0, 1}, {0, 3}}), 2u);
  destroy(a);
  destroy(b);
}

TEST_F(ArraySignal, ProjectionResidualRemovesTheRowsOfTheBasis) {
  // An orthonormal basis of two rows in 3-space: what is left of x is its
  // part along (0, 0, 1).
  AP4_ARRAY* basis = of(2, 3, {1, 0, 0, 0, 0.6f, 0.8f});
  AP4_ARRAY* x = of(2, 3, {9, 9, 9, 2, 3, 5});
  AP4_PROJECTIONPARM parameter{AP4_RANGE{{1, 0}, {1, 2}}, basis};
  auto* r = ap_result_object<AP4_ARRAY>(send(AP4_MSG_PROJECTION_RESIDUAL, x, &parameter));
  ASSERT_NE(r, nullptr);
  // x - (x·b1) b1 - (x·b2) b2 with x·b2 = 5.8: (0, 3 - 3.48, 5 - 4.64).
  const std::vector<float> v = values(r);
  ASSERT_EQ(v.size(), 3u);
  EXPECT_NEAR(v[0], 0.0, 1e-6);
  EXPECT_NEAR(v[1], -0.48, 1e-5);
  EXPECT_NEAR(v[2], 0.36, 1e-5);
  AP4_PROJECTIONPARM two_rows{kWhole, basis};
  EXPECT_EQ(send(AP4_MSG_PROJECTION_RESIDUAL, x, &two_rows), 0u);
  AP4_PROJECTIONPARM short_row{AP4_RANGE{{1, 0}, {1, 1}}, basis};
  EXPECT_EQ(send(AP4_MSG_PROJECTION_RESIDUAL, x, &short_row), 0u);
  for (AP4_ARRAY* a : {basis, x, r}) destroy(a);
  EXPECT_EQ(array_class().live, 0);
}

TEST_F(ArraySignal, KroneckerProductPlacesAScaledCopyOfBPerElementOfA) {
  AP4_ARRAY* a = of(1, 2, {1, 2});
  AP4_ARRAY* ones = of(2, 1, {1, 1});
  auto* p = ap_result_object<AP4_ARRAY>(send(AP4_MSG_KRONECKER_PRODUCT, a, ones));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(grid_of(p), (Grid{{1, 2}, {1, 2}}));
  AP4_ARRAY* c = of(2, 2, {1, kNaN, 0, -1});
  AP4_ARRAY* d = of(1, 2, {2, kNaN});
  auto* q = ap_result_object<AP4_ARRAY>(send(AP4_MSG_KRONECKER_PRODUCT, c, d));
  ASSERT_NE(q, nullptr);
  ASSERT_EQ(q->rows, 2u);
  ASSERT_EQ(q->columns, 4u);
  const std::vector<float> v = values(q);
  const std::vector<bool> missing{false, true, true, true, false, true, false, true};
  const std::vector<float> present{2, 0, 0, 0, 0, 0, -2, 0};
  for (size_t i = 0; i < v.size(); ++i) {
    EXPECT_EQ(std::isnan(v[i]), missing[i]) << i;
    if (!missing[i]) {
      EXPECT_EQ(v[i], present[i]) << i;
    }
  }
  EXPECT_EQ(send(AP4_MSG_KRONECKER_PRODUCT, a, nullptr), 0u);
  for (AP4_ARRAY* x : {a, ones, p, c, d, q}) destroy(x);
}

// ---------------------------------------------------------------------------
// Gap filling

TEST_F(ArraySignal, GapsTakeTheLineBetweenTheirNeighbours) {
  struct Case {
    const char* what;
    uint32_t rows;
    std::vector<float> before;
    std::vector<float> after;
  };
  const Case cases[] = {
      {"one gap", 1, {0, kNaN, 3}, {0, 1.5f, 3}},
      {"at the start", 1, {kNaN, kNaN, 5}, {5, 5, 5}},
      {"at the end", 1, {2, kNaN, kNaN}, {2, 2, 2}},
      {"a longer run", 1, {1, kNaN, kNaN, kNaN, 9}, {1, 3, 5, 7, 9}},
      {"nothing present", 1, {kNaN, kNaN}, {0, 0}},
      // A run at a row's start leans on the row before's last element.
      {"second row", 2, {1, 2, kNaN, 8}, {1, 2, 5, 8}},
      {"run ending a row", 2, {1, kNaN, 4, 6}, {1, 1, 4, 6}},
  };
  for (const Case& c : cases) {
    AP4_ARRAY* array = make(c.rows, static_cast<uint32_t>(c.before.size()) / c.rows);
    std::copy(c.before.begin(), c.before.end(), ap4a_GetDataAddress(array));
    EXPECT_EQ(ap4b_FillNaNGaps(array), 1) << c.what;
    EXPECT_EQ(values(array), c.after) << c.what;
    destroy(array);
  }
  EXPECT_EQ(ap4b_FillNaNGaps(nullptr), 0);
}

// ---------------------------------------------------------------------------
// Plot reduction

class PlotReduction : public ArraySignal {
 protected:
  struct Rows {
    uint32_t result;
    std::vector<uint16_t> minima;
    std::vector<uint16_t> maxima;
  };
  static Rows reduce(AP4_ARRAY* array, AP4_RANGE range, float y_low, float y_high, int16_t pixels, int16_t height,
                     float x1 = 0, float x2 = 0) {
    Rows r{0, std::vector<uint16_t>(static_cast<size_t>(pixels), 1), std::vector<uint16_t>(static_cast<size_t>(pixels), 1)};
    AP4_PLOTPARM parameter{range, y_low, y_high, pixels, height, x1, x2, r.minima.data(), r.maxima.data()};
    r.result = send(AP4_MSG_PLOT_MIN_MAX, array, &parameter);
    return r;
  }
  // A row holding its column numbers, so that a value names its column.
  static AP4_ARRAY* counting(uint32_t columns) {
    AP4_ARRAY* array = make(1, columns);
    for (uint32_t c = 0; c < columns; ++c) ap4a_GetDataAddress(array)[c] = static_cast<float>(c);
    return array;
  }
};

// Ten points onto four pixel columns (q = 2.5) take the columns s..s+2,
// s+2..s+5, s+5..s+7 and s+7..s+10; with k = 1 a value v lies on row 11 - v.
TEST_F(PlotReduction, PixelColumnsShareTheirBoundaryColumns) {
  AP4_ARRAY* array = counting(12);
  const Rows r = reduce(array, AP4_RANGE{{0, 1}, {0, 10}}, 0, 11, 4, 12);
  EXPECT_EQ(r.result, 1u);
  EXPECT_EQ(r.minima, (std::vector<uint16_t>{10, 8, 5, 3}));
  EXPECT_EQ(r.maxima, (std::vector<uint16_t>{8, 5, 3, 0}));
  // Without a column after the range the last pixel column ends at the last one.
  AP4_ARRAY* shorter = counting(11);
  const Rows end = reduce(shorter, AP4_RANGE{{0, 1}, {0, 10}}, 0, 11, 4, 12);
  EXPECT_EQ(end.maxima.back(), 1);
  destroy(array);
  destroy(shorter);
}

TEST_F(PlotReduction, ARangeFromRightToLeftIsDrawnMirrored) {
  AP4_ARRAY* array = counting(12);
  const Rows r = reduce(array, AP4_RANGE{{0, 10}, {0, 1}}, 0, 11, 4, 12);
  EXPECT_EQ(r.result, 1u);
  EXPECT_EQ(r.minima, (std::vector<uint16_t>{3, 5, 8, 10}));
  EXPECT_EQ(r.maxima, (std::vector<uint16_t>{0, 3, 5, 8}));
  destroy(array);
}

TEST_F(PlotReduction, APixelColumnWithoutValuesIsMarked) {
  AP4_ARRAY* array = of(1, 4, {1, kNaN, kNaN, 2});
  // Two points on two pixel columns: column p takes p and p + 1.
  const Rows r = reduce(array, AP4_RANGE{{0, 0}, {0, 1}}, 0, 2, 2, 3);
  EXPECT_EQ(r.minima, (std::vector<uint16_t>{1, 0x8000}));
  EXPECT_EQ(r.maxima, (std::vector<uint16_t>{1, 0x8000}));
  destroy(array);
}

// Three points onto five pixel columns: the curve through them from half a
// pixel column before the first to half one after the last, at six points
// (0, 2.5, 7.5, 12.5, 17.5, 20), each pixel column taking two of them.
TEST_F(PlotReduction, FewerPointsThanPixelsAreDrawnFromACurve) {
  AP4_ARRAY* array = of(1, 3, {0, 10, 20});
  const Rows r = reduce(array, kWhole, 0, 20, 5, 21, 0, 2);
  EXPECT_EQ(r.result, 1u);
  EXPECT_EQ(r.minima, (std::vector<uint16_t>{20, 18, 13, 8, 3}));
  EXPECT_EQ(r.maxima, (std::vector<uint16_t>{18, 13, 8, 3, 0}));
  EXPECT_EQ(array_class().live, 1);
  EXPECT_EQ(APX_GetClassTable()->classes[AP9_CLASS_ID].live, 0);
  destroy(array);
}

TEST_F(PlotReduction, RefusesWithoutOutputsOrOneRow) {
  AP4_ARRAY* array = make_filled(2, 4);
  EXPECT_EQ(reduce(array, kWhole, 0, 1, 2, 10).result, 0u);
  uint16_t rows[2];
  AP4_PLOTPARM no_maxima{AP4_RANGE{{0, 0}, {0, 3}}, 0, 1, 2, 10, 0, 0, rows, nullptr};
  EXPECT_EQ(send(AP4_MSG_PLOT_MIN_MAX, array, &no_maxima), 0u);
  AP4_PLOTPARM no_pixels{AP4_RANGE{{0, 0}, {0, 3}}, 0, 1, 0, 10, 0, 0, rows, rows};
  EXPECT_EQ(send(AP4_MSG_PLOT_MIN_MAX, array, &no_pixels), 0u);
  destroy(array);
}

// ---------------------------------------------------------------------------
// Peak search

class PeakSearch : public ArraySignal {
 protected:
  struct Result {
    int32_t count;
    uint16_t full;
    std::vector<AP4_PEAK> peaks;
  };
  static Result search(AP4_ARRAY* array, AP4_RANGE range, uint16_t direction, uint32_t capacity,
                       uint16_t message = AP4_MSG_PEAK_SEARCH_SORTED, uint16_t sort = 0, float threshold = 0.5f) {
    Result r{0, 7, std::vector<AP4_PEAK>(capacity + 1, AP4_PEAK{-1, -1, -1, -1})};
    AP4_PEAKSEARCHPARM parameter{range, threshold, 1.0f, direction, capacity, &r.full, r.peaks.data(), sort};
    r.count = static_cast<int32_t>(send(message, array, &parameter));
    return r;
  }
};

// Peaks of 3 at column 2, 9 at 6 and 5 at 10 (the neighbours of 6 are
// equal, so its vertex is on the column).
const std::vector<float> kThreePeaks{0, 1, 3, 1, 0, 4, 9, 4, 0, 2, 5, 3, 0};

TEST_F(PeakSearch, FindsThePeaksAboveTheThresholdRefinedAndSortedByPosition) {
  AP4_ARRAY* array = make(1, static_cast<uint32_t>(kThreePeaks.size()));
  std::copy(kThreePeaks.begin(), kThreePeaks.end(), ap4a_GetDataAddress(array));
  const Result r = search(array, kWhole, 1, 8);
  ASSERT_EQ(r.count, 3);
  EXPECT_EQ(r.full, 0);
  const float raw[] = {2, 6, 10};
  for (int i = 0; i < 3; ++i) {
    const AP4_PEAK& p = r.peaks[static_cast<size_t>(i)];
    EXPECT_EQ(p.raw_position, raw[i]);
    EXPECT_EQ(p.raw_value, kThreePeaks[static_cast<size_t>(raw[i])]);
    // The parabola through the three points about the raw peak.
    const double ym = kThreePeaks[static_cast<size_t>(raw[i]) - 1];
    const double y0 = kThreePeaks[static_cast<size_t>(raw[i])];
    const double yp = kThreePeaks[static_cast<size_t>(raw[i]) + 1];
    const double curvature = ym - 2 * y0 + yp;
    EXPECT_NEAR(p.position, raw[i] + (ym - yp) / (2 * curvature), 1e-5) << i;
    EXPECT_NEAR(p.value, y0 - (yp - ym) * (yp - ym) / (8 * curvature), 1e-5) << i;
  }
  // Message 112 without the sort flag keeps the largest first.
  const Result unsorted = search(array, kWhole, 1, 8, AP4_MSG_PEAK_SEARCH, 0);
  ASSERT_EQ(unsorted.count, 3);
  EXPECT_EQ(unsorted.peaks[0].raw_position, 6);
  EXPECT_EQ(unsorted.peaks[1].raw_position, 10);
  EXPECT_EQ(unsorted.peaks[2].raw_position, 2);
  destroy(array);
}

TEST_F(PeakSearch, AFullTableKeepsTheLargestAndSaysSo) {
  AP4_ARRAY* array = make(1, static_cast<uint32_t>(kThreePeaks.size()));
  std::copy(kThreePeaks.begin(), kThreePeaks.end(), ap4a_GetDataAddress(array));
  const Result r = search(array, kWhole, 1, 2, AP4_MSG_PEAK_SEARCH, 0);
  ASSERT_EQ(r.count, 2);
  EXPECT_EQ(r.full, 1);
  EXPECT_EQ(r.peaks[0].raw_position, 6);
  EXPECT_EQ(r.peaks[1].raw_position, 10);
  EXPECT_EQ(r.peaks[2].position, -1);  // nothing written past the capacity
  const Result high = search(array, kWhole, 1, 8, AP4_MSG_PEAK_SEARCH_SORTED, 0, 4.5f);
  EXPECT_EQ(high.count, 2);
  destroy(array);
}

TEST_F(PeakSearch, DownwardPeaksComeBackWithTheirOwnSign) {
  std::vector<float> dips;
  for (float v : kThreePeaks) dips.push_back(10 - v);
  AP4_ARRAY* array = make(1, static_cast<uint32_t>(dips.size()));
  std::copy(dips.begin(), dips.end(), ap4a_GetDataAddress(array));
  // The threshold is a level the dips must go below.
  const Result r = search(array, kWhole, 2, 8, AP4_MSG_PEAK_SEARCH_SORTED, 0, 6.0f);
  ASSERT_EQ(r.count, 2);
  EXPECT_EQ(r.peaks[0].raw_position, 6);
  EXPECT_EQ(r.peaks[0].raw_value, 1);
  EXPECT_EQ(r.peaks[1].raw_position, 10);
  EXPECT_EQ(r.peaks[1].raw_value, 5);
  EXPECT_LT(r.peaks[1].value, 5);
  destroy(array);
}

TEST_F(PeakSearch, RefusesRangesOfOtherThanOneRow) {
  AP4_ARRAY* array = make_filled(2, 5);
  EXPECT_EQ(search(array, kWhole, 1, 4).count, -1);
  EXPECT_EQ(search(array, AP4_RANGE{{0, 0}, {0, 9}}, 1, 4).count, -1);
  const Result refused = search(array, kWhole, 1, 4);
  EXPECT_EQ(refused.full, 0);
  AP4_PEAKSEARCHPARM no_table{kWhole, 0.5f, 1.0f, 1, 4, nullptr, nullptr, 0};
  EXPECT_EQ(send(AP4_MSG_PEAK_SEARCH, array, &no_table), 0u);
  destroy(array);
}

}  // namespace
