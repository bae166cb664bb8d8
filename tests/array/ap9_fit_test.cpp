#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "array/datapair_fixture.h"
#include "array/datapair_reference_values.h"

namespace {

using namespace pairtest;
namespace ref = datapair_reference;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

class DataPairCurves : public ArrayTest {
 protected:
  static AP4_ARRAY* curve(AP9_DATAPAIR* pairs, uint16_t message, float start, float end, int32_t n,
                          uint16_t sort = 0) {
    AP9_CURVEPARM parameter{start, end, n, sort};
    return ap_result_object<AP4_ARRAY>(send(message, pairs, &parameter));
  }
  static AP4_ARRAY* fit_normal(AP9_DATAPAIR* pairs, uint16_t order) {
    return ap_result_object<AP4_ARRAY>(send(AP9_MSG_POLY_FIT_NORMAL, pairs, &order));
  }
  static AP4_ARRAY* ratio_fit(AP9_DATAPAIR* pairs, uint16_t order) {
    return ap_result_object<AP4_ARRAY>(send(AP9_MSG_RATIO_FIT, pairs, &order));
  }
  static uint32_t reject(AP9_DATAPAIR* pairs, AP4_ARRAY* coefficients, int16_t side, int16_t level) {
    AP9_OUTLIERPARM parameter{coefficients, side, level};
    return send(AP9_MSG_REJECT_OUTLIERS, pairs, &parameter);
  }
  // The values of a result array, which is destroyed.
  static std::vector<float> taken(AP4_ARRAY* array) {
    if (array == nullptr) return {};
    std::vector<float> v = arraytest::values(array);
    arraytest::destroy(array);
    return v;
  }
  static void expect_near(const std::vector<float>& got, const double* expected, size_t count, double relative) {
    ASSERT_EQ(got.size(), count);
    for (size_t i = 0; i < count; ++i)
      EXPECT_NEAR(got[i], expected[i], relative * std::max(1.0, std::fabs(expected[i]))) << "element " << i;
  }
};

// ---------------------------------------------------------------------------
// Linear interpolation (43)

TEST_F(DataPairCurves, InterpolatesLinearlyAndHoldsTheEnds) {
  AP9_DATAPAIR* pairs = make_of({{0, 0, 0}, {0, 10, 100}});
  struct Case {
    float start;
    float end;
    int32_t n;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {0, 10, 3, {0, 50, 100}},
      {-5, 15, 3, {0, 50, 100}},
      {2.5f, 2.5f, 1, {25}},
      {10, 0, 5, {100, 75, 50, 25, 0}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(taken(curve(pairs, AP9_MSG_INTERPOLATE, c.start, c.end, c.n)), c.expected) << c.start << " " << c.n;
  destroy_pairs(pairs);
}

TEST_F(DataPairCurves, WalksTheIntervalsInEitherDirection) {
  AP9_DATAPAIR* pairs = make_of({{0, 0, 0}, {0, 1, 10}, {0, 2, 0}, {0, 4, 20}});
  EXPECT_EQ(taken(curve(pairs, AP9_MSG_INTERPOLATE, 0, 4, 9)),
            (std::vector<float>{0, 5, 10, 5, 0, 5, 10, 15, 20}));
  EXPECT_EQ(taken(curve(pairs, AP9_MSG_INTERPOLATE, 4, 0, 9)),
            (std::vector<float>{20, 15, 10, 5, 0, 5, 10, 5, 0}));
  destroy_pairs(pairs);
}

TEST_F(DataPairCurves, SortsThePairsFirstWhenAsked) {
  AP9_DATAPAIR* pairs = make_of({{1, 10, 100}, {2, 0, 0}, {3, 5, 0}});
  EXPECT_EQ(taken(curve(pairs, AP9_MSG_INTERPOLATE, 0, 10, 5, 1)), (std::vector<float>{0, 0, 0, 50, 100}));
  EXPECT_EQ(points_of(pairs), (std::vector<Point>{{2, 0, 0}, {3, 5, 0}, {1, 10, 100}}));
  destroy_pairs(pairs);
}

TEST_F(DataPairCurves, RefusesTooFewPairsOrPoints) {
  AP9_DATAPAIR* one = make_of({{0, 1, 1}});
  AP9_DATAPAIR* two = make_of({{0, 0, 0}, {0, 1, 1}});
  AP9_DATAPAIR* none = make(0);
  EXPECT_EQ(curve(one, AP9_MSG_INTERPOLATE, 0, 1, 3), nullptr);
  EXPECT_EQ(curve(none, AP9_MSG_INTERPOLATE, 0, 1, 3), nullptr);
  EXPECT_EQ(curve(two, AP9_MSG_INTERPOLATE, 0, 1, 0), nullptr);
  EXPECT_EQ(curve(two, AP9_MSG_INTERPOLATE, 0, 1, -3), nullptr);
  EXPECT_EQ(curve(one, AP9_MSG_INTERPOLATE_SMOOTH, 0, 1, 3), nullptr);
  EXPECT_EQ(curve(two, AP9_MSG_INTERPOLATE_SMOOTH, 0, 1, 1), nullptr);
  EXPECT_EQ(arraytest::array_class().live, 0);
  for (AP9_DATAPAIR* p : {one, two, none}) destroy_pairs(p);
}

// ---------------------------------------------------------------------------
// Natural spline (44)

TEST_F(DataPairCurves, SplineMatchesTheNaturalCubicSplineReference) {
  AP9_DATAPAIR* pairs = make_xy(ref::spline_x, ref::spline_y, 7);
  expect_near(taken(curve(pairs, AP9_MSG_INTERPOLATE_SMOOTH, ref::spline_start, ref::spline_end, ref::spline_n)),
              ref::spline_values, ref::spline_n, 2e-6);
  destroy_pairs(pairs);
}

TEST_F(DataPairCurves, SplineThroughALineIsTheLine) {
  AP9_DATAPAIR* pairs = make_of({{0, 0, 1}, {0, 1, 3}, {0, 3, 7}, {0, 3.5f, 8}, {0, 6, 13}});
  const std::vector<float> got = taken(curve(pairs, AP9_MSG_INTERPOLATE_SMOOTH, 0, 6, 13));
  ASSERT_EQ(got.size(), 13u);
  for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], 1.0 + 2.0 * 0.5 * i, 1e-5) << i;
  destroy_pairs(pairs);
}

// Three pairs: the middle second derivative of a natural spline is
// 3 (slope right - slope left) / (x2 - x0), the others 0.
TEST_F(DataPairCurves, SplineThroughThreePairsHasItsClosedForm) {
  AP9_DATAPAIR* pairs = make_of({{0, 0, 0}, {0, 1, 2}, {0, 3, 0}});
  const double m = 3.0 * ((0.0 - 2.0) / 2.0 - (2.0 - 0.0) / 1.0) / 3.0;  // -3
  auto left = [&](double b) {  // on [0, 1], h = 1, from y = 0 to y = 2
    return b * 2.0 + (b * b * b - b) * m / 6.0;
  };
  auto right = [&](double x) {  // on [1, 3], h = 2
    const double a = (3.0 - x) / 2.0;
    return a * 2.0 + (a * a * a - a) * m * 4.0 / 6.0;
  };
  const std::vector<float> got = taken(curve(pairs, AP9_MSG_INTERPOLATE_SMOOTH, 0, 3, 7));
  ASSERT_EQ(got.size(), 7u);
  for (int i = 0; i < 7; ++i) {
    const double x = 0.5 * i;
    EXPECT_NEAR(got[i], x <= 1.0 ? left(x) : right(x), 1e-6) << x;
  }
  destroy_pairs(pairs);
}

// ---------------------------------------------------------------------------
// Polynomial fits

TEST_F(DataPairCurves, PseudoInverseFitGivesThePolynomial) {
  AP9_DATAPAIR* line = make_of({{0, 0, 1}, {0, 1, 3}, {0, 2, 5}});
  const std::vector<float> c = taken(ap9_PolyFit(line, 1));
  ASSERT_EQ(c.size(), 2u);
  EXPECT_NEAR(c[0], 1.0, 1e-5);
  EXPECT_NEAR(c[1], 2.0, 1e-5);
  AP9_DATAPAIR* noisy = make_xy(ref::fit_x, ref::fit_y, ref::fit_count);
  const double* expected[] = {ref::fit_order1, ref::fit_order2, ref::fit_order3};
  for (int16_t order = 1; order <= 3; ++order)
    expect_near(taken(ap9_PolyFit(noisy, order)), expected[order - 1], order + 1, 2e-4);
  EXPECT_EQ(ap9_PolyFit(noisy, 0), nullptr);
  EXPECT_EQ(ap9_PolyFit(noisy, 17), nullptr);
  EXPECT_EQ(ap9_PolyFit(line, 3), nullptr);  // more coefficients than pairs
  destroy_pairs(line);
  destroy_pairs(noisy);
}

TEST_F(DataPairCurves, PseudoInverseFitRefusesMissingXAndPassesMissingYOn) {
  AP9_DATAPAIR* missing_x = make_of({{0, 0, 1}, {0, kNaN, 3}, {0, 2, 5}});
  EXPECT_EQ(ap9_PolyFit(missing_x, 1), nullptr);
  AP9_DATAPAIR* missing_y = make_of({{0, 0, 1}, {0, 1, kNaN}, {0, 2, 5}});
  for (float c : taken(ap9_PolyFit(missing_y, 1))) EXPECT_TRUE(std::isnan(c));
  destroy_pairs(missing_x);
  destroy_pairs(missing_y);
}

TEST_F(DataPairCurves, NormalEquationFitGivesThePolynomial) {
  struct Case {
    std::vector<Point> points;
    uint16_t order;
    std::vector<float> expected;
  };
  const Case cases[] = {
      {{{0, 0, 1}, {0, 1, 3}, {0, 2, 5}}, 1, {1, 2}},
      {{{0, 0, 0}, {0, 1, 1}, {0, 2, 4}, {0, 3, 9}}, 2, {0, 0, 1}},
      // Exactly order + 1 pairs: the polynomial through them.
      {{{0, -1, 2}, {0, 1, 0}, {0, 2, 5}}, 2, {-1, -1, 2}},
  };
  for (const Case& c : cases) {
    AP9_DATAPAIR* pairs = make_of(c.points);
    const std::vector<float> got = taken(fit_normal(pairs, c.order));
    ASSERT_EQ(got.size(), c.expected.size());
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], c.expected[i], 1e-5) << i;
    destroy_pairs(pairs);
  }
}

// The reference is numpy's least-squares fit; a factorisation that lost
// its pivots (as writing L over the matrix does) misses it by far.
TEST_F(DataPairCurves, NormalEquationFitMatchesTheLeastSquaresReference) {
  AP9_DATAPAIR* pairs = make_xy(ref::fit_x, ref::fit_y, ref::fit_count);
  const double* expected[] = {ref::fit_order1, ref::fit_order2, ref::fit_order3, ref::fit_order4};
  for (uint16_t order = 1; order <= 4; ++order)
    expect_near(taken(fit_normal(pairs, order)), expected[order - 1], order + 1, 1e-5);
  destroy_pairs(pairs);
}

TEST_F(DataPairCurves, NormalEquationFitReplacesYByTheFittedValuesOnRequest) {
  AP9_DATAPAIR* pairs = make_xy(ref::fit_x, ref::fit_y, ref::fit_count);
  expect_near(taken(fit_normal(pairs, AP9_REPLACE_FITTED + 3)), ref::fit_order3, 4, 1e-5);
  const std::vector<Point> points = points_of(pairs);
  for (uint32_t i = 0; i < ref::fit_count; ++i) {
    EXPECT_EQ(points[i].x, static_cast<float>(ref::fit_x[i]));
    EXPECT_NEAR(points[i].y, ref::fit_order3_values[i], 1e-5) << i;
  }
  AP9_DATAPAIR* line = make_of({{0, 0, 1}, {0, 1, 3}, {0, 2, 5}});
  EXPECT_EQ(taken(fit_normal(line, AP9_REPLACE_FITTED + 1)).size(), 2u);
  for (const Point& p : points_of(line)) EXPECT_NEAR(p.y, 1 + 2 * p.x, 1e-6);
  destroy_pairs(pairs);
  destroy_pairs(line);
}

TEST_F(DataPairCurves, NormalEquationFitRefusesAndChangesNothing) {
  const std::vector<Point> three{{0, 0, 1}, {0, 1, 3}, {0, 2, 5}};
  const std::vector<Point> same_x{{0, 2, 1}, {0, 2, 3}, {0, 2, 5}};
  struct Case {
    const char* what;
    std::vector<Point> points;
    uint16_t argument;
  };
  const Case cases[] = {
      {"order 3 on three pairs", three, 3},
      {"order 0", three, 0},
      {"order 17", std::vector<Point>(20, Point{0, 1, 1}), 17},
      {"all x equal", same_x, 1},
      {"all x equal, replacing", same_x, AP9_REPLACE_FITTED + 1},
      {"missing x, replacing", {{0, 0, 1}, {0, kNaN, 3}, {0, 2, 5}}, AP9_REPLACE_FITTED + 1},
      {"no pairs", {}, 1},
  };
  for (const Case& c : cases) {
    AP9_DATAPAIR* pairs = make_of(c.points);
    EXPECT_EQ(fit_normal(pairs, c.argument), nullptr) << c.what;
    const std::vector<Point> after = points_of(pairs);
    ASSERT_EQ(after.size(), c.points.size());
    for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i].y, c.points[i].y) << c.what;
    destroy_pairs(pairs);
  }
}

TEST(SymmetricSolver, SolvesFromTheLowerTriangle) {
  // M = [[4, 2, 2], [2, 5, 3], [2, 3, 6]] and b = M (1, 2, 3); the upper
  // triangle holds values that must not be read.
  double m[9] = {4, 99, 99, 2, 5, 99, 2, 3, 6};
  double b[3] = {14, 21, 26};
  double a[3] = {};
  EXPECT_EQ(ap9_SolveSymmetricSystem(3, m, b, a), AP9_SOLVE_OK);
  EXPECT_NEAR(a[0], 1.0, 1e-12);
  EXPECT_NEAR(a[1], 2.0, 1e-12);
  EXPECT_NEAR(a[2], 3.0, 1e-12);
}

TEST(SymmetricSolver, ReportsWhyItCannotSolve) {
  struct Case {
    const char* what;
    int16_t n;
    std::vector<double> m;
    int16_t status;
  };
  const Case cases[] = {
      {"18 equations", 18, std::vector<double>(324, 1.0), AP9_SOLVE_TOO_LARGE},
      {"zero pivot", 2, {0, 0, 1, 1}, AP9_SOLVE_ZERO_PIVOT},
      {"missing pivot", 2, {std::nan(""), 0, 1, 1}, AP9_SOLVE_ZERO_PIVOT},
      {"one zero equation", 1, {0}, AP9_SOLVE_ZERO_FIRST},
      {"singular", 2, {1, 0, 1, 1}, AP9_SOLVE_ZERO_DIAGONAL},
  };
  for (const Case& c : cases) {
    std::vector<double> m = c.m;
    std::vector<double> b(static_cast<size_t>(c.n), 1.0);
    std::vector<double> a(static_cast<size_t>(c.n), 0.0);
    EXPECT_EQ(ap9_SolveSymmetricSystem(c.n, m.data(), b.data(), a.data()), c.status) << c.what;
  }
}

TEST_F(DataPairCurves, RatioFitFitsYOverX) {
  // y = x (2 + 0.5 x), so y / x = 2 + 0.5 x; the pairs at x = 0 or y = 0
  // take no part.
  AP9_DATAPAIR* pairs = make_of({{0, 1, 2.5f}, {0, 2, 6}, {0, 0, 7}, {0, 4, 16}, {0, 6, 0}, {0, 8, 48}});
  const std::vector<float> c = taken(ratio_fit(pairs, 2));
  ASSERT_EQ(c.size(), 2u);
  EXPECT_NEAR(c[0], 2.0, 1e-5);
  EXPECT_NEAR(c[1], 0.5, 1e-5);
  const std::vector<float> mean = taken(ratio_fit(pairs, 1));
  ASSERT_EQ(mean.size(), 1u);
  EXPECT_NEAR(mean[0], (2.5 + 3 + 4 + 6) / 4.0, 1e-5);
  EXPECT_EQ(ratio_fit(pairs, 0), nullptr);
  EXPECT_EQ(ratio_fit(pairs, 17), nullptr);
  destroy_pairs(pairs);
}

// ---------------------------------------------------------------------------
// Outliers (48)

class Outliers : public DataPairCurves {
 protected:
  // x = 0..11, y = 0 except +5 at x = 4 and -5 at x = 7; s = sqrt(50 / 11).
  static AP9_DATAPAIR* twelve() {
    std::vector<Point> points;
    for (int x = 0; x < 12; ++x) points.push_back(Point{static_cast<uint16_t>(x), static_cast<float>(x), 0});
    points[4].y = 5;
    points[7].y = -5;
    return make_of(points);
  }
  static std::vector<uint16_t> tags(AP9_DATAPAIR* pairs) {
    std::vector<uint16_t> t;
    for (const Point& p : points_of(pairs)) t.push_back(p.tag);
    return t;
  }
};

TEST_F(Outliers, KeepsThePairsWithinTheLevelsLimits) {
  struct Case {
    const char* what;
    int16_t side;
    int16_t level;
    uint32_t kept;
    std::vector<uint16_t> removed;
  };
  const Case cases[] = {
      {"level 1: +5 below 3s, -5 not below 2s", 1, 1, 11, {7}},
      {"side 2 exchanges the limits", 2, 1, 11, {4}},
      {"level 3: both at 2s", 1, 3, 10, {4, 7}},
      {"level 5: 3s both ways", 1, 5, 12, {}},
      {"level -1: nothing within 0", 1, -1, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
  };
  for (const Case& c : cases) {
    AP9_DATAPAIR* pairs = twelve();
    AP4_ARRAY* zero = arraytest::make(1, 1);
    EXPECT_EQ(reject(pairs, zero, c.side, c.level), c.kept) << c.what;
    std::vector<uint16_t> expected;
    for (uint16_t x = 0; x < 12; ++x)
      if (std::find(c.removed.begin(), c.removed.end(), x) == c.removed.end()) expected.push_back(x);
    EXPECT_EQ(tags(pairs), expected) << c.what;
    arraytest::destroy(zero);
    destroy_pairs(pairs);
  }
}

TEST_F(Outliers, PairsOnThePolynomialLeaveOnlyTheEnds) {
  // y = 1 + 2x exactly: s = 0 and no interior pair is strictly within it.
  std::vector<Point> points;
  for (int x = 0; x < 6; ++x) points.push_back(Point{static_cast<uint16_t>(x), float(x), 1.0f + 2.0f * x});
  AP9_DATAPAIR* pairs = make_of(points);
  AP4_ARRAY* line = arraytest::make(2, 1);
  float* c = ap4a_GetDataAddress(line);
  c[0] = 1;
  c[1] = 2;
  EXPECT_EQ(reject(pairs, line, 1, 1), 2u);
  EXPECT_EQ(tags(pairs), (std::vector<uint16_t>{0, 5}));
  arraytest::destroy(line);
  destroy_pairs(pairs);
}

TEST_F(Outliers, RefusesCoefficientsThatDoNotFit) {
  AP9_DATAPAIR* pairs = twelve();
  AP4_ARRAY* wide = arraytest::make(1, 2);
  AP4_ARRAY* as_many = arraytest::make(12, 1);
  EXPECT_EQ(reject(pairs, wide, 1, 1), 0u);
  EXPECT_EQ(reject(pairs, as_many, 1, 1), 0u);
  EXPECT_EQ(reject(pairs, nullptr, 1, 1), 0u);
  EXPECT_EQ(send(AP9_MSG_GET_COUNT, pairs), 12u);
  arraytest::destroy(wide);
  arraytest::destroy(as_many);
  destroy_pairs(pairs);
}

}  // namespace
