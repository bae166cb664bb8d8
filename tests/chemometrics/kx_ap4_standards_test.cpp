// Roles and order of existing standards on small tables worked by hand, and
// the calibration-curve checks against closed forms: an exact cubic, a
// weighted line through the origin, monotonic and not, Dixon's and
// Chauvenet's outlier tests, and the mean square.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"

namespace {

using namespace chemtest;

template <typename T>
GU3_HANDLE block_of(const std::vector<T>& entries) {
  GU3_HANDLE block = GU3_Allocate_MM(static_cast<uint32_t>(entries.size()), sizeof(T), GU3_KIND_GLOBAL);
  std::copy(entries.begin(), entries.end(), static_cast<T*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr)));
  return block;
}

template <typename T>
std::vector<T> entries_of(GU3_HANDLE block) {
  const auto* first = static_cast<const T*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  return std::vector<T>(first, first + GU3_NumElements_MM(block));
}

class Standards : public ChemometricsTest {};

TEST_F(Standards, ReassignMarksValidationByTheSpacingRule) {
  AP4_ARRAY* x = make(1, 1);
  struct Case {
    const char* what;
    std::vector<int32_t> order;
    std::vector<uint16_t> roles;
  };
  // k = 0: after two items, the items that end runs of 1, 2, 3 ... .
  const Case cases[] = {
      {"identity order", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {0, 0, 1, 0, 1, 0, 0, 1, 0, 0, 3, 3}},
      {"reversed order", {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, {3, 3, 0, 0, 1, 0, 0, 1, 0, 1, 0, 0}},
  };
  for (const Case& c : cases) {
    GU3_HANDLE roles = block_of(std::vector<uint16_t>(12, 7));
    GU3_HANDLE order = block_of(c.order);
    int32_t calibration = -1;
    int32_t validation = -1;
    KX_AP4_REASSIGNPARM parameter{10, 12, 0, roles, order, &calibration, &validation};
    EXPECT_EQ(send(KX_AP4_MSG_REASSIGN_STDS, x, &parameter), 1u) << c.what;
    EXPECT_EQ(entries_of<uint16_t>(roles), c.roles) << c.what;
    EXPECT_EQ(calibration, 7) << c.what;
    EXPECT_EQ(validation, 3) << c.what;
    GU3_Free_MM(roles);
    GU3_Free_MM(order);
  }
  // A larger k waits longer before the first validation standard.
  GU3_HANDLE roles = block_of(std::vector<uint16_t>(6, 0));
  GU3_HANDLE order = block_of(std::vector<int32_t>{0, 1, 2, 3, 4, 5});
  int32_t calibration = -1;
  int32_t validation = -1;
  EXPECT_EQ(KX_AP4_ReassignStds_ARRAY(x, 6, 6, 2, roles, order, &calibration, &validation), 1);
  EXPECT_EQ(entries_of<uint16_t>(roles), (std::vector<uint16_t>{0, 0, 0, 0, 1, 0}));
  // An order naming a standard outside the N, or a block too short, is refused.
  GU3_HANDLE outside = block_of(std::vector<int32_t>{0, 1, 2, 3, 4, 6});
  EXPECT_EQ(KX_AP4_ReassignStds_ARRAY(x, 6, 6, 0, roles, outside, &calibration, &validation), 0);
  EXPECT_EQ(KX_AP4_ReassignStds_ARRAY(x, 7, 7, 0, roles, order, &calibration, &validation), 0);
  EXPECT_EQ(entries_of<uint16_t>(roles), (std::vector<uint16_t>{0, 0, 0, 0, 1, 0}));
  for (GU3_HANDLE block : {roles, order, outside}) GU3_Free_MM(block);
  destroy(x);
}

// Eight standards of one component at 0 .. 7, a ninth at 100 that takes no
// part. By hand: 3 is nearest the mean 3.5; the extremes 7 and 0 follow;
// then 5 (farthest, 2 away), 6 (ties at 1 broken by the sum of running
// minima: 11 against 3, 3 and 9), 1 (10 against 4 and 4), 4 and 2. The
// spacing rule with S = max(3 extremes, 1 + 2) makes ranks 4 and 6, the
// standards 5 and 1, validation standards.
class StandardsOrder : public Standards {
 protected:
  AP4_ARRAY* x = nullptr;
  void SetUp() override {
    Standards::SetUp();
    x = array_of(9, 1, {0, 1, 2, 3, 4, 5, 6, 7, 100});
  }
  void TearDown() override {
    destroy(x);
    Standards::TearDown();
  }
};

TEST_F(StandardsOrder, FullOrderingSpreadsTheStandardsAndAssignsRoles) {
  GU3_HANDLE roles = block_of(std::vector<uint16_t>(9, 0));
  GU3_HANDLE counts = block_of(std::vector<int32_t>{1, 1, 1, 1, 1, 1, 1, 1, 0});
  AP4_ARRAY* statistics = nullptr;
  KX_AP4_ORDEREXISTINGPARM parameter{roles, counts, nullptr, 0, 0, 1, &statistics};
  EXPECT_EQ(send(KX_AP4_MSG_ORDER_EXISTING_ROW_STDS, x, &parameter), 1u);
  // The standard that takes no part is excluded once no other is left.
  EXPECT_EQ(entries_of<uint16_t>(roles), (std::vector<uint16_t>{0, 1, 0, 0, 0, 1, 0, 0, 3}));
  ASSERT_NE(statistics, nullptr);
  EXPECT_EQ(values(statistics), (std::vector<float>{8, 0, 0, 6, 2, 0}));
  destroy(statistics);
  GU3_Free_MM(roles);
  GU3_Free_MM(counts);
}

TEST_F(StandardsOrder, DuplicatesShareTheRankOfTheStandardTheyRepeat) {
  // Two standards at 3: the second follows the first with the same rank, so
  // both keep one role and the ranks after them are as without it.
  AP4_ARRAY* twice = array_of(9, 1, {0, 1, 2, 3, 4, 5, 6, 7, 3});
  GU3_HANDLE roles = block_of(std::vector<uint16_t>(9, 0));
  GU3_HANDLE counts = block_of(std::vector<int32_t>(9, 1));
  AP4_ARRAY* statistics = nullptr;
  EXPECT_EQ(KX_AP4_OrderExistingRowStds_ARRAY(twice, roles, counts, nullptr, 0, 0, 1, &statistics), 1);
  EXPECT_EQ(entries_of<uint16_t>(roles), (std::vector<uint16_t>{0, 1, 0, 0, 0, 1, 0, 0, 0}));
  destroy(statistics);
  destroy(twice);
  GU3_Free_MM(roles);
  GU3_Free_MM(counts);
}

TEST_F(StandardsOrder, LevelCheckMakesTheLastOfEachLevelAValidationStandard) {
  AP4_ARRAY* levels = array_of(6, 1, {0, 1, 1.7f, 2, 2, 2.2f});
  struct Case {
    const char* what;
    std::vector<uint16_t> before;
    std::vector<uint16_t> after;
    std::vector<float> statistics;
  };
  const Case cases[] = {
      {"levels 0 to 2", {0, 0, 0, 0, 0, 0}, {0, 0, 1, 0, 0, 1}, {6, 0, 0, 4, 2, 0}},
      {"a validation standard already there", {0, 1, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0}, {5, 1, 0, 5, 1, 0}},
  };
  for (const Case& c : cases) {
    GU3_HANDLE roles = block_of(c.before);
    GU3_HANDLE counts = block_of(std::vector<int32_t>(6, 1));
    AP4_ARRAY* statistics = nullptr;
    EXPECT_EQ(KX_AP4_OrderExistingRowStds_ARRAY(levels, roles, counts, nullptr, 2, 0, 1, &statistics), 1) << c.what;
    EXPECT_EQ(entries_of<uint16_t>(roles), c.after) << c.what;
    EXPECT_EQ(values(statistics), c.statistics) << c.what;
    destroy(statistics);
    GU3_Free_MM(roles);
    GU3_Free_MM(counts);
  }
  destroy(levels);
}

TEST_F(StandardsOrder, ReturnOrderPlacesTheEligibleStandardsOnly) {
  GU3_HANDLE any = block_of(std::vector<int32_t>{0});
  struct Case {
    const char* what;
    uint16_t calibration_only;
    std::vector<int32_t> order;
    uint32_t placed;
  };
  // Standard 1 is a validation standard and 8 is excluded. Without 1 the
  // mean is 27 / 7, nearest to 4; then 0, 7, 2, 6 (running minima 9
  // against 3 and 3), 5 (the first of equal ties) and 3.
  const Case cases[] = {
      {"calibration and validation", 0, {3, 7, 0, 5, 6, 1, 4, 2, 8}, 8},
      {"calibration only", 1, {4, 0, 7, 2, 6, 5, 3, 1, 8}, 7},
  };
  for (const Case& c : cases) {
    GU3_HANDLE roles = block_of(std::vector<uint16_t>{0, 1, 0, 0, 0, 0, 0, 0, 3});
    GU3_HANDLE order = nullptr;
    KX_AP4_RETURNORDERPARM parameter{c.calibration_only, roles, any, nullptr, 0, 1, &order};
    EXPECT_EQ(send(KX_AP4_MSG_RETURN_ORDER_OF_STDS, x, &parameter), c.placed) << c.what;
    ASSERT_NE(order, nullptr);
    EXPECT_EQ(entries_of<int32_t>(order), c.order) << c.what;
    EXPECT_EQ(entries_of<uint16_t>(roles), (std::vector<uint16_t>{0, 1, 0, 0, 0, 0, 0, 0, 3})) << c.what;
    GU3_Free_MM(order);
    GU3_Free_MM(roles);
  }
  GU3_HANDLE order = nullptr;
  GU3_HANDLE short_roles = block_of(std::vector<uint16_t>{0, 0});
  EXPECT_EQ(KX_AP4_ReturnOrderOfStds_ARRAY(x, 0, short_roles, any, nullptr, 0, 1, &order), 0u);
  EXPECT_EQ(order, nullptr);
  GU3_Free_MM(short_roles);
  GU3_Free_MM(any);
}

TEST_F(StandardsOrder, RangesWeighTheColumns) {
  // Two columns; the second spans 100 times the first, so scaled by its
  // range's width it barely counts and the first column decides.
  AP4_ARRAY* two = array_of(3, 2, {0, 0, 1, 100, 2, 30});
  AP4_ARRAY* ranges = array_of(2, 2, {0, 2, 0, 200});
  GU3_HANDLE any = block_of(std::vector<int32_t>{0});
  GU3_HANDLE roles = block_of(std::vector<uint16_t>{0, 0, 0});
  GU3_HANDLE order = nullptr;
  // Mean (1, 43.3): unweighted, standard 2 (distance 179) is nearer than
  // standard 1 (3211); weighted, standard 1 (0.08) beats standard 2 (0.25).
  EXPECT_EQ(KX_AP4_ReturnOrderOfStds_ARRAY(two, 0, roles, any, ranges, 0, 2, &order), 3u);
  EXPECT_EQ(entries_of<int32_t>(order)[0], 1);
  GU3_Free_MM(order);
  EXPECT_EQ(KX_AP4_ReturnOrderOfStds_ARRAY(two, 0, roles, any, nullptr, 0, 2, &order), 3u);
  EXPECT_EQ(entries_of<int32_t>(order)[0], 2);
  GU3_Free_MM(order);
  for (GU3_HANDLE block : {any, roles}) GU3_Free_MM(block);
  destroy(two);
  destroy(ranges);
}

class CurveChecks : public ChemometricsTest {
 protected:
  static std::vector<float> fit(AP4_ARRAY* y, AP4_ARRAY* x, AP4_ARRAY* w, uint16_t curve, float* r2) {
    KX_AP4_CURVEFITPARM parameter{x, w, curve, r2};
    auto* coefficients = ap_result_object<AP4_ARRAY>(send(KX_AP4_MSG_CURVE_FIT, y, &parameter));
    if (coefficients == nullptr) return {};
    std::vector<float> c = values(coefficients);
    destroy(coefficients);
    return c;
  }
};

TEST_F(CurveChecks, AnExactMonotonicCubicIsFound) {
  const double c[4] = {1.0, 2.0, 0.5, 0.1};
  std::vector<float> xs{0, 0.5f, 1, 1.5f, 2, 2.5f, 3, 4};
  std::vector<float> ys;
  for (float v : xs) ys.push_back(static_cast<float>(c[0] + c[1] * v + c[2] * v * v + c[3] * v * v * v));
  AP4_ARRAY* x = array_of(1, 8, xs.data());
  AP4_ARRAY* y = array_of(1, 8, ys.data());
  float r2 = -1;
  const std::vector<float> got = fit(y, x, nullptr, 1, &r2);
  ASSERT_EQ(got.size(), 4u);
  for (int j = 0; j < 4; ++j) EXPECT_NEAR(got[j], c[j], 1e-3) << j;
  EXPECT_NEAR(r2, 1.0, 1e-6);
  destroy(x);
  destroy(y);
}

TEST_F(CurveChecks, WithoutTheCurveFlagALineThroughTheOriginWithWeightsCountedOnce) {
  AP4_ARRAY* x = array_of(1, 3, {1, 2, 3});
  AP4_ARRAY* y = array_of(1, 3, {1, 2, 2});
  AP4_ARRAY* w = array_of(1, 3, {1, 1, 2});
  float r2 = -1;
  const std::vector<float> got = fit(y, x, w, 0, &r2);
  ASSERT_EQ(got.size(), 4u);
  EXPECT_FLOAT_EQ(got[0], 0.0f);
  EXPECT_FLOAT_EQ(got[1], 17.0f / 23.0f);  // Σwxy / Σwx²
  EXPECT_EQ(got[2], 0.0f);
  EXPECT_EQ(got[3], 0.0f);
  // The fitted values are a multiple of x: r² is the weighted squared
  // correlation of y and x, means over Σw = 4.
  const double xm = (1 + 2 + 6) / 4.0;
  const double ym = (1 + 2 + 4) / 4.0;
  const double xv[3] = {1, 2, 3};
  const double yv[3] = {1, 2, 2};
  const double wv[3] = {1, 1, 2};
  double sxy = 0;
  double sxx = 0;
  double syy = 0;
  for (int i = 0; i < 3; ++i) {
    sxy += wv[i] * (xv[i] - xm) * (yv[i] - ym);
    sxx += wv[i] * (xv[i] - xm) * (xv[i] - xm);
    syy += wv[i] * (yv[i] - ym) * (yv[i] - ym);
  }
  EXPECT_NEAR(r2, sxy * sxy / (sxx * syy), 1e-6);
  destroy(x);
  destroy(y);
  destroy(w);
}

TEST_F(CurveChecks, NoCubicForXWithinTheSmallLimitOrAPoorCorrelation) {
  struct Case {
    const char* what;
    std::vector<float> x;
    std::vector<float> y;
  };
  const Case cases[] = {
      {"x within 1e-5", {1e-6f, 2e-6f, 3e-6f, 4e-6f}, {1, 2, 3, 4.5f}},
      {"uncentred r² below 0.95", {-2, -1, 0, 1, 2}, {-2, 2, 0, -2, 2}},
  };
  for (const Case& c : cases) {
    AP4_ARRAY* x = array_of(1, static_cast<uint32_t>(c.x.size()), c.x.data());
    AP4_ARRAY* y = array_of(1, static_cast<uint32_t>(c.y.size()), c.y.data());
    float r2 = -1;
    const std::vector<float> got = fit(y, x, nullptr, 1, &r2);
    ASSERT_EQ(got.size(), 4u) << c.what;
    EXPECT_EQ(got[2], 0.0f) << c.what;
    EXPECT_EQ(got[3], 0.0f) << c.what;
    destroy(x);
    destroy(y);
  }
}

TEST_F(CurveChecks, FitRefusesArraysThatDoNotMatch) {
  AP4_ARRAY* x = make_filled(1, 3);
  AP4_ARRAY* y = make_filled(3, 1);
  AP4_ARRAY* same = make_filled(1, 3);
  AP4_ARRAY* short_weights = make_filled(1, 2);
  float r2 = -1;
  EXPECT_TRUE(fit(y, x, nullptr, 0, &r2).empty());
  EXPECT_TRUE(fit(same, x, short_weights, 0, &r2).empty());
  for (AP4_ARRAY* a : {x, y, same, short_weights}) destroy(a);
}

TEST_F(CurveChecks, MonotonicityOverHundredSteps) {
  struct Case {
    const char* what;
    std::vector<float> c;
    uint16_t degree;
    float a;
    float b;
    uint32_t monotonic;
  };
  const Case cases[] = {
      {"x² on [-1, 1]", {0, 0, 1}, 2, -1, 1, 0},
      {"x² on [0, 1]", {0, 0, 1}, 2, 0, 1, 1},
      {"-x on [0, 1] falls", {0, -1}, 1, 0, 1, 1},
      {"a constant", {2, 0}, 1, 0, 1, 0},
      {"x³ - x on [-2, 2]", {0, -1, 0, 1}, 3, -2, 2, 0},
      {"a degree beyond the coefficients", {0, 1}, 2, 0, 1, 0},
  };
  for (const Case& c : cases) {
    AP4_ARRAY* coefficients = array_of(1, static_cast<uint32_t>(c.c.size()), c.c.data());
    KX_AP4_MONOTONICPARM parameter{c.degree, c.a, c.b};
    EXPECT_EQ(send(KX_AP4_MSG_MONOTONIC, coefficients, &parameter), c.monotonic) << c.what;
    destroy(coefficients);
  }
}

TEST_F(CurveChecks, OutliersOfSortedValues) {
  std::vector<float> large(40, 1.0f);
  large[0] = 100.0f;
  struct Case {
    const char* what;
    std::vector<float> v;
    uint32_t result;
    uint16_t count;
  };
  const Case cases[] = {
      {"two values", {1, 5}, 1, 0},
      {"unsorted", {1, 5, 2}, 0, 0},
      // q = 400, 16, 9, 4, 1: (16 - 400) / (1 - 400) = 0.962 > 0.710; then
      // (9 - 16) / (1 - 16) = 0.467 < 0.829.
      {"Dixon, descending", {20, 4, 3, 2, 1}, 1, 1},
      {"Dixon, no outlier", {1, 2, 3, 4, 5}, 1, 0},
      {"equal values", {2, 2, 2, 2}, 1, 0},
      // 10000 > 2.49 × sqrt((10000² + 39) / 39); then 1 < 2.49 × sqrt(39 / 38).
      {"Chauvenet over 40 values", large, 2, 1},
  };
  for (const Case& c : cases) {
    AP4_ARRAY* values_array = array_of(1, static_cast<uint32_t>(c.v.size()), c.v.data());
    uint16_t count = 99;
    EXPECT_EQ(send(KX_AP4_MSG_COUNT_OUTLIERS, values_array, &count), c.result) << c.what;
    EXPECT_EQ(count, c.count) << c.what;
    destroy(values_array);
  }
}

TEST_F(CurveChecks, MeanSquareKeepsMissingValues) {
  AP4_ARRAY* plain = array_of(2, 1, {3, 4});
  AP4_ARRAY* holed = array_of(1, 3, {1, AP1_GetNaNSG_MATH(), 2});
  float result = -1;
  EXPECT_EQ(send(KX_AP4_MSG_MEAN_SQUARE, plain, &result), 1u);
  EXPECT_FLOAT_EQ(result, 12.5f);
  EXPECT_EQ(send(KX_AP4_MSG_MEAN_SQUARE, holed, &result), 1u);
  EXPECT_TRUE(missing(result));
  destroy(plain);
  destroy(holed);
}

}  // namespace
