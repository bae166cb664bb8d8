#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"

namespace {

using namespace chemtest;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr uint16_t kUp = 1;
constexpr uint16_t kDown = AP4C_PEAKS_DOWN;

std::vector<float> negated(std::vector<float> row) {
  for (float& v : row) v = -v;
  return row;
}

AP4_ARRAY* row_of(const std::vector<float>& row) { return array_of(1, static_cast<uint32_t>(row.size()), row.data()); }

AP4_RANGE columns(int32_t row, int32_t first, int32_t last) { return AP4_RANGE{{row, first}, {row, last}}; }

// ---------------------------------------------------------------------------
// The hysteresis kernel

struct KernelResult {
  int16_t found;
  int32_t peak;
  int32_t start;
  int32_t end;
  float value;
};

KernelResult kernel(const std::vector<float>& row, uint16_t mode, float h, bool backward = false) {
  KernelResult r{0, -7, -7, -7, -7.0f};
  const auto n = static_cast<int32_t>(row.size());
  r.found = ap4c_FindPeaksKernel(row.data(), mode, h, backward ? -n : n, &r.peak, &r.start, &r.end, &r.value);
  return r;
}

TEST(PeakKernel, FindsARiseAndFallOfMoreThanTheThresholdInEitherDirection) {
  const std::vector<float> row{0, 0, 5, 0, 0};
  // Forward: the pass back from the fall point closes the span at index 0.
  const KernelResult forward = kernel(row, kUp, 1.0f);
  EXPECT_EQ(forward.found, 1);
  EXPECT_EQ(forward.peak, 2);
  EXPECT_EQ(forward.start, 0);
  EXPECT_EQ(forward.end, 2);
  EXPECT_EQ(forward.value, 5.0f);
  // Backward is the mirror image: the span runs from the peak to the end.
  const KernelResult backward = kernel(row, kUp, 1.0f, true);
  EXPECT_EQ(backward.found, 1);
  EXPECT_EQ(backward.peak, 2);
  EXPECT_EQ(backward.start, 2);
  EXPECT_EQ(backward.end, 4);
}

TEST(PeakKernel, DownwardPeaksAreFoundOnTheNegatedValues) {
  const KernelResult r = kernel({5, 5, 0, 5, 5}, kDown, 1.0f);
  EXPECT_EQ(r.found, 1);
  EXPECT_EQ(r.peak, 2);
  EXPECT_EQ(r.value, -0.0f);
  EXPECT_EQ(kernel({5, 5, 0, 5, 5}, kUp, 1.0f).found, 0);  // a dip is no upward peak
}

TEST(PeakKernel, NoPeakLeavesTheOutsAlone) {
  struct Case {
    const char* what;
    std::vector<float> row;
    float h;
  };
  const Case cases[] = {
      {"rising", {1, 2, 3, 4, 5}, 0.5f},
      {"falling", {5, 4, 3, 2, 1}, 0.5f},
      {"bump within the threshold", {0, 0, 0.5f, 0, 0}, 1.0f},
      {"all missing", {kNaN, kNaN, kNaN}, 0.0f},
      {"flat", {2, 2, 2, 2}, 0.0f},
  };
  for (const Case& c : cases) {
    for (bool backward : {false, true}) {
      const KernelResult r = kernel(c.row, kUp, c.h, backward);
      EXPECT_EQ(r.found, 0) << c.what;
      EXPECT_EQ(r.peak, -7) << c.what;
      EXPECT_EQ(r.value, -7.0f) << c.what;
    }
  }
  EXPECT_EQ(ap4c_FindPeaksKernel(nullptr, kUp, 1.0f, 5, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST(PeakKernel, MissingValuesAreSkippedAndOutsMayBeNull) {
  const std::vector<float> row{0, kNaN, 5, kNaN, 0, kNaN};
  int32_t peak = -1;
  EXPECT_EQ(ap4c_FindPeaksKernel(row.data(), kUp, 1.0f, 6, &peak, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(peak, 2);
  int32_t start = -1;
  int32_t end = -1;
  EXPECT_EQ(ap4c_FindPeaksKernel(row.data(), kUp, 1.0f, -6, nullptr, &start, &end, nullptr), 1);
  EXPECT_FALSE(std::isnan(row[static_cast<size_t>(start)]));
  EXPECT_FALSE(std::isnan(row[static_cast<size_t>(end)]));
}

// ---------------------------------------------------------------------------
// Message 94: the peak nearest a column and its valleys

class PeakList : public ChemometricsTest {
 protected:
  struct Found {
    uint32_t result;
    AP4_CELL peak;
    AP4_CELL left;
    AP4_CELL right;
  };
  static Found nearest(AP4_ARRAY* array, AP4_CELL target, AP4_RANGE range, uint16_t mode, float h = 1.0f,
                       float valley_h = 1.0f) {
    Found f{0, {-9, -9}, {-9, -9}, {-9, -9}};
    AP4_PEAKLISTPARM parameter{target, range, mode, h, valley_h, &f.peak, &f.left, &f.right};
    f.result = send(AP4_MSG_PEAK_LIST, array, &parameter);
    return f;
  }
};

TEST_F(PeakList, TakesTheNearestPeakAndTheLowestPointsBetweenItsNeighbours) {
  // Peaks at 3 (9) and 7 (8); the valley between them at 5, the row's end low at 9.
  const std::vector<float> row{3, 1, 4, 9, 4, 2, 5, 8, 5, 0, 6};
  struct Case {
    int32_t target;
    int32_t peak;
    int32_t left;
    int32_t right;
  };
  const Case cases[] = {{6, 7, 5, 9}, {8, 7, 5, 9}, {2, 3, 1, 5}, {0, 3, 1, 5}, {10, 7, 5, 9}};
  for (uint16_t mode : {kUp, kDown}) {
    AP4_ARRAY* array = row_of(mode == kUp ? row : negated(row));
    for (const Case& c : cases) {
      const Found f = nearest(array, {0, c.target}, AP4_RANGE{{-1, -1}, {0, 0}}, mode);
      EXPECT_EQ(f.result, 1u) << c.target;
      EXPECT_EQ(f.peak.column, c.peak) << c.target << " mode " << mode;
      EXPECT_EQ(f.left.column, c.left) << c.target << " mode " << mode;
      EXPECT_EQ(f.right.column, c.right) << c.target << " mode " << mode;
      EXPECT_EQ(f.peak.row, 0);
      EXPECT_EQ(f.left.row, 0);
      EXPECT_EQ(f.right.row, 0);
    }
    destroy(array);
  }
}

// The span the kernel gives for a peak may end at the peak itself; the scan
// goes on past it, so that the peak is not found again in place of the next.
TEST_F(PeakList, OfTwoPeaksAtEqualDistanceTheLaterWins) {
  const std::vector<float> rows[] = {{0, 5, 0, 0, 0, 5, 0}, {0, 3, 5, 3, 0, 0, 0, 3, 5, 3, 0}};
  const int32_t targets[] = {3, 5};
  const int32_t later[] = {5, 8};
  for (int i = 0; i < 2; ++i) {
    AP4_ARRAY* array = row_of(rows[i]);
    const Found f = nearest(array, {0, targets[i]}, AP4_RANGE{{-1, -1}, {0, 0}}, kUp);
    EXPECT_EQ(f.result, 1u);
    EXPECT_EQ(f.peak.column, later[i]);
    destroy(array);
  }
}

TEST_F(PeakList, WorksOnTheRangeOfTheGivenRow) {
  AP4_ARRAY* array = make(3, 7);
  const std::vector<float> second{1, 1, 1, 1, 6, 1, 1};
  float* data = ap4a_GetDataAddress(array);
  std::copy(second.begin(), second.end(), data + 7);
  data[2] = 50;  // a peak on another row is not seen
  const Found f = nearest(array, {1, 3}, columns(1, 1, 6), kUp);
  EXPECT_EQ(f.result, 1u);
  EXPECT_EQ(f.peak.row, 1);
  EXPECT_EQ(f.peak.column, 4);
  // The valleys are the lowest points counted from the range's ends.
  EXPECT_EQ(f.left.column, 1);
  EXPECT_EQ(f.right.column, 6);
  destroy(array);
}

TEST_F(PeakList, RefusesWithoutAPeakOrAFittingRange) {
  AP4_ARRAY* rising = row_of({1, 2, 3, 4, 5, 6});
  EXPECT_EQ(nearest(rising, {0, 2}, columns(0, 0, 5), kUp).result, 0u);
  AP4_ARRAY* array = make(2, 7);
  const std::vector<float> row{0, 5, 0, 0, 0, 5, 0};
  std::copy(row.begin(), row.end(), ap4a_GetDataAddress(array));
  struct Case {
    const char* what;
    AP4_CELL target;
    AP4_RANGE range;
  };
  const Case cases[] = {
      {"two rows", {0, 2}, AP4_RANGE{{0, 0}, {1, 6}}},
      {"whole two-row array", {0, 2}, AP4_RANGE{{-1, -1}, {0, 0}}},
      {"target left of the range", {0, 0}, columns(0, 1, 6)},
      {"target right of the range", {0, 6}, columns(0, 0, 5)},
      {"target on another row", {1, 2}, columns(0, 0, 6)},
      {"range beyond the columns", {0, 2}, columns(0, 0, 7)},
      {"reversed range", {0, 2}, columns(0, 6, 0)},
  };
  for (const Case& c : cases) {
    const Found f = nearest(array, c.target, c.range, kUp);
    EXPECT_EQ(f.result, 0u) << c.what;
    EXPECT_EQ(f.peak.row, -9) << c.what;  // outs untouched
    EXPECT_EQ(f.right.column, -9) << c.what;
  }
  AP4_CELL cell{};
  EXPECT_EQ(ap4c_PeakList(array, {0, 2}, columns(0, 0, 6), kUp, 1.0f, 1.0f, &cell, nullptr, &cell), 0);
  destroy(rising);
  destroy(array);
}

// ---------------------------------------------------------------------------
// Message 95: width at half height

class HalfWidth : public ChemometricsTest {
 protected:
  static uint32_t width_of(AP4_ARRAY* array, AP4_RANGE range, uint16_t mode, float* width) {
    AP4_HALFWIDTHPARM parameter{range, mode, width};
    return send(AP4_MSG_PEAK_HALF_WIDTH, array, &parameter);
  }
};

TEST_F(HalfWidth, MeasuresPiecewiseLinearPeaksExactly) {
  struct Case {
    const char* what;
    std::vector<float> row;
    float width;  // from where the straight flanks cross their half levels
  };
  const Case cases[] = {
      // Flanks of slope 1 through (0, 0) and (8, 0): half height 2 at x = 2 and 6.
      {"symmetric triangle", {0, 1, 2, 3, 4, 3, 2, 1, 0}, 4.0f},
      // Rise 1 per point to 4 at x = 4, fall 0.5 per point: half height at 2 and 8.
      {"asymmetric flanks", {0, 1, 2, 3, 4, 3.5f, 3, 2.5f, 2, 1.5f, 1, 0.5f, 0}, 6.0f},
      // Left base 0, right base 2: levels 4 (x = 2 on 2x) and 5 (x = 5.5 on 8 - 2(x - 4)).
      {"bases at different heights", {0, 2, 4, 6, 8, 6, 4, 2, 2}, 3.5f},
  };
  for (const Case& c : cases) {
    for (uint16_t mode : {kUp, kDown}) {
      AP4_ARRAY* array = row_of(mode == kUp ? c.row : negated(c.row));
      float width = -1.0f;
      const auto last = static_cast<int32_t>(c.row.size()) - 1;
      EXPECT_EQ(width_of(array, columns(0, 0, last), mode, &width), 1u) << c.what;
      EXPECT_NEAR(width, c.width, 1e-6) << c.what << " mode " << mode;
      destroy(array);
    }
  }
}

TEST_F(HalfWidth, MeasuresOnlyTheRangesColumns) {
  // The same triangle, placed after a taller peak that lies outside the range.
  AP4_ARRAY* array = row_of({0, 20, 0, 0, 1, 2, 3, 4, 3, 2, 1, 0});
  float width = 0.0f;
  EXPECT_EQ(width_of(array, columns(0, 3, 11), kUp, &width), 1u);
  EXPECT_NEAR(width, 4.0f, 1e-6);
  destroy(array);
}

TEST_F(HalfWidth, RefusesPeaksAtTheRangesEdgesAndBadRangesWithWidthZero) {
  struct Case {
    const char* what;
    std::vector<float> row;
    AP4_RANGE range;
  };
  const Case cases[] = {
      {"largest first", {9, 1, 2, 1, 0}, columns(0, 0, 4)},
      {"largest last", {0, 1, 2, 1, 9}, columns(0, 0, 4)},
      {"largest second to last", {0, 1, 2, 9, 0}, columns(0, 0, 4)},
      {"only missing values left of the peak", {kNaN, 5, 1, 0, 0}, columns(0, 0, 4)},
      {"rows differ", {0, 1, 5, 1, 0}, AP4_RANGE{{0, 0}, {1, 4}}},
      {"beyond the columns", {0, 1, 5, 1, 0}, columns(0, 0, 5)},
      {"reversed", {0, 1, 5, 1, 0}, columns(0, 4, 0)},
      {"row outside", {0, 1, 5, 1, 0}, columns(1, 0, 4)},
  };
  for (const Case& c : cases) {
    AP4_ARRAY* array = row_of(c.row);
    float width = 7.0f;
    EXPECT_EQ(width_of(array, c.range, kUp, &width), 0u) << c.what;
    EXPECT_EQ(width, 0.0f) << c.what;
    destroy(array);
  }
}

TEST_F(HalfWidth, InterpolatesOnlyBetweenPresentValues) {
  // The point below the left half level has a missing neighbour on its right:
  // the edge then stays on that point.
  AP4_ARRAY* array = row_of({0, 1, kNaN, 3, 4, 3, 2, 1, 0});
  float width = 0.0f;
  EXPECT_EQ(width_of(array, columns(0, 0, 8), kUp, &width), 1u);
  EXPECT_NEAR(width, 6.0f - 1.0f, 1e-6);
  destroy(array);
}

// ---------------------------------------------------------------------------
// Row utilities

TEST(SavitzkyGolayTable, HoldsThePublishedQuadraticSmoothingWeights) {
  struct Case {
    int32_t window;
    std::vector<int> integers;
    int normaliser;
  };
  const Case published[] = {
      {5, {-3, 12, 17, 12, -3}, 35},
      {7, {-2, 3, 6, 7, 6, 3, -2}, 21},
      {9, {-21, 14, 39, 54, 59, 54, 39, 14, -21}, 231},
      {11, {-36, 9, 44, 69, 84, 89, 84, 69, 44, 9, -36}, 429},
  };
  for (const Case& c : published) {
    std::vector<float> buffer(static_cast<size_t>(c.window), -1.0f);
    ASSERT_EQ(ap4c_SGSmoothTabulated(buffer.data(), c.window), 1);
    for (size_t i = 0; i < buffer.size(); ++i)
      EXPECT_FLOAT_EQ(buffer[i], static_cast<float>(c.integers[i]) / static_cast<float>(c.normaliser)) << c.window;
  }
  // Every window is symmetric and keeps a constant (weights sum to 1).
  for (int32_t w = 5; w <= 25; w += 2) {
    std::vector<float> buffer(static_cast<size_t>(w) + 1, 99.0f);
    ASSERT_EQ(ap4c_SGSmoothTabulated(buffer.data(), w), 1);
    double sum = 0.0;
    for (int32_t i = 0; i < w; ++i) {
      sum += buffer[static_cast<size_t>(i)];
      EXPECT_EQ(buffer[static_cast<size_t>(i)], buffer[static_cast<size_t>(w - 1 - i)]);
    }
    EXPECT_NEAR(sum, 1.0, 1e-6) << w;
    EXPECT_EQ(buffer[static_cast<size_t>(w)], 99.0f);  // nothing beyond w
  }
}

TEST(SavitzkyGolayTable, RefusesOtherWindows) {
  std::vector<float> buffer(30, 5.0f);
  for (int32_t w : {27, 6, 3, 1, 0, -5}) EXPECT_EQ(ap4c_SGSmoothTabulated(buffer.data(), w), 0) << w;
  EXPECT_EQ(buffer[0], 5.0f);
  EXPECT_EQ(ap4c_SGSmoothTabulated(nullptr, 5), 0);
}

class RowRotation : public ChemometricsTest {};

TEST_F(RowRotation, MovesTheFirstValuesToTheEndInTheirOrder) {
  struct Case {
    uint32_t n;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {2, {3, 4, 5, 1, 2}}, {0, {1, 2, 3, 4, 5}}, {5, {1, 2, 3, 4, 5}}, {4, {5, 1, 2, 3, 4}}};
  for (const Case& c : cases) {
    AP4_ARRAY* array = row_of({1, 2, 3, 4, 5});
    arraytest::NoticeCounter counter;
    arraytest::watch(array, counter);
    EXPECT_EQ(ap4c_PrepareFFTBuffer(array, c.n), 1);
    EXPECT_EQ(values(array), c.expected) << c.n;
    EXPECT_EQ(counter.changes, c.n == 0 ? 0 : 1) << c.n;
    destroy(array);
  }
}

TEST_F(RowRotation, RefusesMoreThanTheRowOrAnArrayOfSeveralRows) {
  AP4_ARRAY* row = row_of({1, 2, 3});
  EXPECT_EQ(ap4c_PrepareFFTBuffer(row, 4), 0);
  EXPECT_EQ(values(row), (std::vector<float>{1, 2, 3}));
  AP4_ARRAY* two_rows = array_of(2, 2, {1, 2, 3, 4});
  EXPECT_EQ(ap4c_PrepareFFTBuffer(two_rows, 1), 0);
  EXPECT_EQ(values(two_rows), (std::vector<float>{1, 2, 3, 4}));
  EXPECT_EQ(ap4c_PrepareFFTBuffer(nullptr, 1), 0);
  destroy(row);
  destroy(two_rows);
}

}  // namespace
