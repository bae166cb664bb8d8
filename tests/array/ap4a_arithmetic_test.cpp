#include <cmath>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"
#include "array/array_fixture.h"

namespace {

using namespace arraytest;

class ArrayArithmetic : public ArrayTest {
 protected:
  static AP4_ARRAY* of(uint32_t rows, uint32_t columns, std::initializer_list<float> data) {
    AP4_ARRAY* array = make(rows, columns);
    std::copy(data.begin(), data.end(), ap4a_GetDataAddress(array));
    return array;
  }
  static AP4_ARRAY* pair(uint16_t message, AP4_ARRAY* a, AP4_RANGE ra, AP4_ARRAY* b, AP4_RANGE rb) {
    AP4_PAIRPARM parameter{ra, b, rb};
    return ap_result_object<AP4_ARRAY>(send(message, a, &parameter));
  }
};

constexpr AP4_RANGE kWhole = AP4_WHOLE_RANGE;

uint32_t bits_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

TEST_F(ArrayArithmetic, DifferenceAndQuotientMarkMissingValues) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* a = of(1, 3, {1, 2, nan});
  AP4_ARRAY* b = of(1, 3, {0, 4, 1});
  AP4_ARRAY* quotient = pair(AP4_MSG_DIVIDE_ARRAYS, a, kWhole, b, kWhole);
  AP4_ARRAY* difference = pair(AP4_MSG_SUBTRACT_ARRAYS, a, kWhole, b, kWhole);
  const std::vector<float> q = values(quotient);
  EXPECT_TRUE(std::isnan(q[0]));
  EXPECT_EQ(q[1], 0.5f);
  EXPECT_TRUE(std::isnan(q[2]));
  const std::vector<float> d = values(difference);
  EXPECT_EQ(d[0], 1);
  EXPECT_EQ(d[1], -2);
  EXPECT_TRUE(std::isnan(d[2]));
  for (AP4_ARRAY* x : {a, b, quotient, difference}) destroy(x);
}

TEST_F(ArrayArithmetic, ElementWiseRangesWalkEachArraysOwnRows) {
  AP4_ARRAY* a = make_filled(3, 4);
  AP4_ARRAY* b = of(2, 2, {1, 2, 3, 4});
  // Rows 1-2, columns 2-3 of a: 103, 104 / 203, 204.
  AP4_ARRAY* d = pair(AP4_MSG_SUBTRACT_ARRAYS, a, AP4_RANGE{{1, 2}, {2, 3}}, b, kWhole);
  EXPECT_EQ(values(d), (std::vector<float>{102, 102, 200, 200}));
  EXPECT_EQ(pair(AP4_MSG_SUBTRACT_ARRAYS, a, AP4_RANGE{{0, 0}, {0, 4}}, b, kWhole), nullptr);
  EXPECT_EQ(pair(AP4_MSG_DIVIDE_ARRAYS, a, kWhole, b, kWhole), nullptr);
  for (AP4_ARRAY* x : {a, b, d}) destroy(x);
}

TEST_F(ArrayArithmetic, DivisionByAValueAndByZero) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* a = of(1, 3, {3, nan, -6});
  AP4_SCALARPARM by_three{kWhole, 3.0f};
  EXPECT_EQ(send(AP4_MSG_DIVIDE_SCALAR, a, &by_three), 1u);
  std::vector<float> got = values(a);
  EXPECT_EQ(got[0], 1);
  EXPECT_TRUE(std::isnan(got[1]));
  EXPECT_EQ(got[2], -2);
  AP4_SCALARPARM by_zero{kWhole, 0.0f};
  EXPECT_EQ(send(AP4_MSG_DIVIDE_SCALAR, a, &by_zero), 1u);
  for (float value : values(a)) EXPECT_TRUE(std::isnan(value));
  AP4_SCALARPARM outside{AP4_RANGE{{0, 0}, {0, 3}}, 1.0f};
  EXPECT_EQ(send(AP4_MSG_DIVIDE_SCALAR, a, &outside), 0u);
  destroy(a);
}

TEST_F(ArrayArithmetic, ProductAndTransposeAgreeWithHandWorkedValues) {
  AP4_ARRAY* a = of(2, 3, {1, 2, 3, 4, 5, 6});
  AP4_ARRAY* b = of(3, 2, {1, 0, 0, 1, 2, -1});
  AP4_ARRAY* p = pair(AP4_MSG_MATRIX_PRODUCT, a, kWhole, b, kWhole);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(packed(p->rows), 2u);
  EXPECT_EQ(packed(p->columns), 2u);
  EXPECT_EQ(values(p), (std::vector<float>{7, -1, 16, -1}));
  // A 2 × 2 corner of a times the first two rows of b.
  AP4_ARRAY* corner = pair(AP4_MSG_MATRIX_PRODUCT, a, AP4_RANGE{{0, 1}, {1, 2}}, b, AP4_RANGE{{0, 0}, {1, 1}});
  EXPECT_EQ(values(corner), (std::vector<float>{2, 3, 5, 6}));
  EXPECT_EQ(pair(AP4_MSG_MATRIX_PRODUCT, a, kWhole, a, kWhole), nullptr);
  auto* t = ap_result_object<AP4_ARRAY>(send(AP4_MSG_TRANSPOSE, a));
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(packed(t->rows), 3u);
  EXPECT_EQ(values(t), (std::vector<float>{1, 4, 2, 5, 3, 6}));
  for (AP4_ARRAY* x : {a, b, p, corner, t}) destroy(x);
}

TEST_F(ArrayArithmetic, DotProductOfRowsOrColumnsAndMissingPairs) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* a = of(2, 3, {1, 2, 3, 4, nan, 6});
  float result = 0;
  AP4_DOTPARM rows{AP4_RANGE{{0, 0}, {0, 2}}, a, AP4_RANGE{{1, 0}, {1, 2}}, &result};
  EXPECT_EQ(send(AP4_MSG_DOT_PRODUCT, a, &rows), 1u);
  EXPECT_TRUE(std::isnan(result));
  AP4_ARRAY* b = of(1, 3, {4, 5, 6});
  AP4_DOTPARM plain{AP4_RANGE{{0, 0}, {0, 2}}, b, kWhole, &result};
  EXPECT_EQ(send(AP4_MSG_DOT_PRODUCT, a, &plain), 1u);
  EXPECT_EQ(result, 32);
  AP4_DOTPARM columns{AP4_RANGE{{0, 0}, {1, 0}}, a, AP4_RANGE{{0, 2}, {1, 2}}, &result};
  EXPECT_EQ(send(AP4_MSG_DOT_PRODUCT, a, &columns), 1u);
  EXPECT_EQ(result, 27);
  // A row does not pair with a column of the same length, nor a block with anything.
  AP4_DOTPARM crossed{AP4_RANGE{{0, 0}, {0, 1}}, a, AP4_RANGE{{0, 0}, {1, 0}}, &result};
  EXPECT_EQ(send(AP4_MSG_DOT_PRODUCT, a, &crossed), 0u);
  AP4_DOTPARM block{kWhole, a, kWhole, &result};
  EXPECT_EQ(send(AP4_MSG_DOT_PRODUCT, a, &block), 0u);
  AP4_DOTPARM nowhere{AP4_RANGE{{0, 0}, {0, 2}}, b, kWhole, nullptr};
  EXPECT_EQ(send(AP4_MSG_DOT_PRODUCT, a, &nowhere), 0u);
  destroy(a);
  destroy(b);
}

// ---------------------------------------------------------------------------
// Sums, products and operations with a value

TEST_F(ArrayArithmetic, SumsAndProductsOfRanges) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* a = of(1, 4, {1, 2, nan, 1e30f});
  AP4_ARRAY* b = of(1, 4, {10, -0.5f, 3, 1e30f});
  AP4_ARRAY* sum = pair(AP4_MSG_ADD_ARRAYS, a, kWhole, b, kWhole);
  AP4_ARRAY* product = pair(AP4_MSG_MULTIPLY_ARRAYS, a, kWhole, b, kWhole);
  const std::vector<float> s = values(sum);
  EXPECT_EQ(s[0], 11);
  EXPECT_EQ(s[1], 1.5f);
  EXPECT_EQ(bits_of(s[2]), AP_NAN_BITS);
  EXPECT_EQ(s[3], 2e30f);
  const std::vector<float> p = values(product);
  EXPECT_EQ(p[0], 10);
  EXPECT_EQ(p[1], -1);
  EXPECT_TRUE(std::isnan(p[2]));
  EXPECT_TRUE(std::isinf(p[3])) << "the plain product, stored as f32";
  // A 1 x 5 range does not pair with a 1 x 4 one.
  AP4_ARRAY* five = of(1, 5, {1, 2, 3, 4, 5});
  EXPECT_EQ(pair(AP4_MSG_ADD_ARRAYS, five, kWhole, a, kWhole), nullptr);
  EXPECT_EQ(pair(AP4_MSG_MULTIPLY_ARRAYS, a, kWhole, five, kWhole), nullptr);
  for (AP4_ARRAY* x : {a, b, sum, product, five}) destroy(x);
}

TEST_F(ArrayArithmetic, OperationsWithAValueChangeTheRangeAndKeepMissingValues) {
  const float nan = AP1_GetNaNSG_MATH();
  struct Case {
    uint16_t message;
    float value;
    std::vector<float> expected;  // the range (column 1) changed, the rest not
  };
  for (const Case& c : {Case{AP4_MSG_ADD_SCALAR, 2.5f, {1, 4.5f, 3, 6.5f}},
                        Case{AP4_MSG_SUBTRACT_SCALAR, 2.5f, {1, -0.5f, 3, 1.5f}},
                        Case{AP4_MSG_MULTIPLY_SCALAR, -3, {1, -6, 3, -12}},
                        Case{AP4_MSG_DIVIDE_SCALAR, 4, {1, 0.5f, 3, 1}}}) {
    AP4_ARRAY* a = of(2, 2, {1, 2, 3, 4});
    AP4_ARRAY* b = of(1, 3, {nan, 2, 3});
    AP4_SCALARPARM parameter{AP4_RANGE{{0, 1}, {1, 1}}, c.value};
    EXPECT_EQ(send(c.message, a, &parameter), 1u) << c.message;
    EXPECT_EQ(values(a), c.expected) << c.message;
    AP4_SCALARPARM whole{kWhole, c.value};
    EXPECT_EQ(send(c.message, b, &whole), 1u);
    EXPECT_EQ(bits_of(values(b)[0]), AP_NAN_BITS) << c.message;
    AP4_SCALARPARM outside{AP4_RANGE{{0, 0}, {2, 0}}, c.value};
    EXPECT_EQ(send(c.message, a, &outside), 0u) << c.message;
    EXPECT_EQ(values(a), c.expected) << c.message << ": a refused range changes nothing";
    destroy(a);
    destroy(b);
  }
}

// ---------------------------------------------------------------------------
// Minimum and maximum

class RangeStatistics : public ArrayArithmetic {
 protected:
  static uint32_t min_max_at(AP4_ARRAY* array, AP4_RANGE range, float* low, AP4_CELL* low_at, float* high,
                             AP4_CELL* high_at) {
    AP4_MINMAXPOSITIONSPARM parameter{range, low, low_at, high, high_at};
    return send(AP4_MSG_MIN_MAX_POSITIONS, array, &parameter);
  }
  static uint32_t stat(uint16_t message, AP4_ARRAY* array, AP4_RANGE range, float replacement, float* out) {
    AP4_STATPARM parameter{range, replacement, out};
    return send(message, array, &parameter);
  }
};

TEST_F(RangeStatistics, MinimumAndMaximumTakeTheFirstOfEqualExtremes) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* a = of(2, 4, {9, 9, 9, 9, 3, 1, 1, 5});
  float low = 0, high = 0;
  AP4_CELL low_at{-1, -1}, high_at{-1, -1};
  EXPECT_EQ(min_max_at(a, AP4_RANGE{{1, 0}, {1, 3}}, &low, &low_at, &high, &high_at), 1u);
  EXPECT_EQ(low, 1);
  EXPECT_EQ(high, 5);
  EXPECT_EQ(low_at.row, 1);
  EXPECT_EQ(low_at.column, 1);
  EXPECT_EQ(high_at.row, 1);
  EXPECT_EQ(high_at.column, 3);
  EXPECT_EQ(min_max_at(a, kWhole, &low, &low_at, &high, &high_at), 1u);
  EXPECT_EQ(high, 9);
  EXPECT_EQ(high_at.row, 0);
  EXPECT_EQ(high_at.column, 0);

  AP4_MINMAXPARM plain{kWhole, &low, &high};
  EXPECT_EQ(send(AP4_MSG_MIN_MAX, a, &plain), 1u);
  EXPECT_EQ(low, 1);
  EXPECT_EQ(high, 9);
  // Leaving out 9 and 1 (about equal counts as equal).
  AP4_MINMAXEXCLUDINGPARM excluding{kWhole, &low, &high, 9.0000001f};
  EXPECT_EQ(send(AP4_MSG_MIN_MAX_EXCLUDING, a, &excluding), 1u);
  EXPECT_EQ(high, 5);
  excluding.exclusion = 1;
  EXPECT_EQ(send(AP4_MSG_MIN_MAX_EXCLUDING, a, &excluding), 1u);
  EXPECT_EQ(low, 3);
  // A missing exclusion value leaves nothing out.
  excluding.exclusion = nan;
  EXPECT_EQ(send(AP4_MSG_MIN_MAX_EXCLUDING, a, &excluding), 1u);
  EXPECT_EQ(low, 1);
  destroy(a);
}

TEST_F(RangeStatistics, MinimumAndMaximumOfNothingAreMissing) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* a = of(1, 3, {nan, nan, 7});
  float low = 0, high = 0;
  EXPECT_EQ(min_max_at(a, AP4_RANGE{{0, 0}, {0, 1}}, &low, nullptr, &high, nullptr), 1u);
  EXPECT_TRUE(std::isnan(low));
  EXPECT_TRUE(std::isnan(high));
  AP4_MINMAXEXCLUDINGPARM all_excluded{AP4_RANGE{{0, 2}, {0, 2}}, &low, &high, 7};
  EXPECT_EQ(send(AP4_MSG_MIN_MAX_EXCLUDING, a, &all_excluded), 1u);
  EXPECT_TRUE(std::isnan(low));
  // An invalid range: 0, both missing; no address for a value: 0.
  low = high = 0;
  EXPECT_EQ(min_max_at(a, AP4_RANGE{{0, 0}, {0, 3}}, &low, nullptr, &high, nullptr), 0u);
  EXPECT_TRUE(std::isnan(low));
  EXPECT_TRUE(std::isnan(high));
  EXPECT_EQ(min_max_at(a, kWhole, &low, nullptr, nullptr, nullptr), 0u);
  destroy(a);
}

// ---------------------------------------------------------------------------
// Sum, mean and standard deviation. References: tests/data/array/stddev_reference.py
// (numpy, ddof=1), its output beside it.

TEST_F(RangeStatistics, SumAndMeanReplaceOrLeaveOutMissingValues) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* a = of(2, 3, {1, nan, 3, 100, 100, 100});
  const AP4_RANGE first_row{{0, 0}, {0, 2}};
  float out = -1;
  EXPECT_EQ(stat(AP4_MSG_SUM, a, first_row, AP_NOT_GIVEN, &out), 1u);
  EXPECT_EQ(out, 4);
  EXPECT_EQ(stat(AP4_MSG_SUM, a, first_row, 10, &out), 1u);
  EXPECT_EQ(out, 14);
  EXPECT_EQ(stat(AP4_MSG_MEAN, a, first_row, AP_NOT_GIVEN, &out), 1u);
  EXPECT_EQ(out, 2);
  EXPECT_EQ(stat(AP4_MSG_MEAN, a, first_row, 0, &out), 1u);
  EXPECT_FLOAT_EQ(out, 4.0f / 3.0f);
  // Nothing taken: the mean is missing.
  EXPECT_EQ(stat(AP4_MSG_MEAN, a, AP4_RANGE{{0, 1}, {0, 1}}, AP_NOT_GIVEN, &out), 1u);
  EXPECT_TRUE(std::isnan(out));
  // Refused: an invalid range (the mean then missing), no address.
  out = -1;
  EXPECT_EQ(stat(AP4_MSG_SUM, a, AP4_RANGE{{0, 0}, {2, 0}}, 0, &out), 0u);
  EXPECT_EQ(out, -1);
  EXPECT_EQ(stat(AP4_MSG_MEAN, a, AP4_RANGE{{0, 0}, {2, 0}}, 0, &out), 0u);
  EXPECT_TRUE(std::isnan(out));
  EXPECT_EQ(stat(AP4_MSG_SUM, a, kWhole, 0, nullptr), 0u);
  destroy(a);
}

TEST_F(RangeStatistics, SumAccumulatesInSinglePrecision) {
  // 2^24 + 1 + 1 in f32 steps stays 2^24; a double accumulator would give 2^24 + 2.
  AP4_ARRAY* a = of(1, 3, {16777216.0f, 1, 1});
  float out = 0;
  EXPECT_EQ(stat(AP4_MSG_SUM, a, kWhole, AP_NOT_GIVEN, &out), 1u);
  EXPECT_EQ(out, 16777216.0f);
  destroy(a);
}

TEST_F(RangeStatistics, StandardDeviationIsTheSampleDeviation) {
  const float nan = AP1_GetNaNSG_MATH();
  struct Case {
    const char* name;
    std::vector<float> data;
    float replacement;
    double expected;
  };
  for (const Case& c : {Case{"eight values", {2, 4, 4, 4, 5, 5, 7, 9}, AP_NOT_GIVEN, 2.1380899352993952},
                        Case{"NaN replaced by 0", {1, nan, 3, 8}, 0, 3.5590260840104371},
                        Case{"NaN left out", {1, nan, 3, 8}, AP_NOT_GIVEN, 3.6055512754639891},
                        Case{"two values", {1e6f, 1e6f + 2}, AP_NOT_GIVEN, 1.4142135623730951}}) {
    AP4_ARRAY* a = make(2, static_cast<uint32_t>(c.data.size()));
    std::copy(c.data.begin(), c.data.end(), ap4a_GetDataAddress(a) + c.data.size());  // the second row
    float out = -1;
    EXPECT_EQ(stat(AP4_MSG_STD_DEV, a, AP4_RANGE{{1, 0}, {1, static_cast<int32_t>(c.data.size()) - 1}},
                   c.replacement, &out),
              1u)
        << c.name;
    EXPECT_NEAR(out, c.expected, c.expected * 1e-6) << c.name;
    destroy(a);
  }
}

TEST_F(RangeStatistics, StandardDeviationOfFewerThanTwoValuesIsZero) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* a = of(1, 3, {5, nan, nan});
  float out = -1;
  EXPECT_EQ(stat(AP4_MSG_STD_DEV, a, AP4_RANGE{{0, 0}, {0, 0}}, AP_NOT_GIVEN, &out), 0u);
  EXPECT_EQ(out, 0);
  // Three elements, but one taken: no division by zero.
  out = -1;
  EXPECT_EQ(stat(AP4_MSG_STD_DEV, a, kWhole, AP_NOT_GIVEN, &out), 0u);
  EXPECT_EQ(out, 0);
  // None taken.
  EXPECT_EQ(stat(AP4_MSG_STD_DEV, a, AP4_RANGE{{0, 1}, {0, 2}}, AP_NOT_GIVEN, &out), 0u);
  EXPECT_EQ(out, 0);
  // Replaced, all three count: 5, 5, 5.
  EXPECT_EQ(stat(AP4_MSG_STD_DEV, a, kWhole, 5, &out), 1u);
  EXPECT_EQ(out, 0);
  // An invalid range: 0 and 0.
  out = -1;
  EXPECT_EQ(stat(AP4_MSG_STD_DEV, a, AP4_RANGE{{0, 0}, {0, 3}}, 0, &out), 0u);
  EXPECT_EQ(out, 0);
  destroy(a);
}

// ---------------------------------------------------------------------------
// Pseudo-inverse. References: tests/data/array/pinv_reference.py (numpy pinv
// of full-rank matrices), its output beside it.

TEST_F(ArrayArithmetic, PseudoInverseIsTheLeftOrRightInverseTheShapeAllows) {
  AP4_ARRAY* tall = of(3, 2, {1, 2, 3, 4, 5, 7});
  AP4_ARRAY* wide = of(2, 3, {1, 0, 2, 0, 1, 1});
  struct Case {
    AP4_ARRAY* array;
    uint16_t kind;
    uint16_t message;
    std::vector<double> expected;  // empty: refused
  };
  const std::vector<double> tall_inverse{-2.07142857, 0.785714286, 0.142857143, 1.5, -0.5, 0.0};
  const std::vector<double> wide_inverse{0.333333333, -0.333333333, -0.333333333, 0.833333333, 0.333333333,
                                         0.166666667};
  for (const Case& c : {Case{tall, 1, AP4_MSG_PSEUDO_INVERSE, tall_inverse},
                        Case{tall, 1, AP4_MSG_PSEUDO_INVERSE_FALLBACK, tall_inverse},
                        Case{wide, 2, AP4_MSG_PSEUDO_INVERSE, wide_inverse},
                        Case{wide, 2, AP4_MSG_PSEUDO_INVERSE_FALLBACK, wide_inverse},
                        Case{wide, 1, AP4_MSG_PSEUDO_INVERSE, {}}, Case{tall, 2, AP4_MSG_PSEUDO_INVERSE, {}},
                        Case{tall, 3, AP4_MSG_PSEUDO_INVERSE, {}}}) {
    uint16_t kind = c.kind;
    AP4_ARRAY* inverse = ap_result_object<AP4_ARRAY>(send(c.message, c.array, &kind));
    if (c.expected.empty()) {
      EXPECT_EQ(inverse, nullptr) << c.kind;
      continue;
    }
    ASSERT_NE(inverse, nullptr) << c.kind;
    const uint32_t rows = inverse->rows, columns = inverse->columns;  // packed fields, read by value
    const uint32_t array_rows = c.array->rows, array_columns = c.array->columns;
    EXPECT_EQ(rows, array_columns);
    EXPECT_EQ(columns, array_rows);
    const std::vector<float> got = values(inverse);
    // The normal equations square the condition (about 30 for the tall
    // matrix) in single precision: some 1e-5 of error is expected.
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], c.expected[i], 1e-4) << c.kind << " at " << i;
    destroy(inverse);
  }
  destroy(tall);
  destroy(wide);
}


// ---------------------------------------------------------------------------
// Rows scaled by a vector

TEST_F(ArrayArithmetic, RowsAreScaledByAVectorAlongARowOrDownAColumn) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* b = of(3, 2, {1, 10, 2, 20, 3, 30});
  AP4_ARRAY* v = of(3, 3, {2, -1, 0.5f, 4, 9, 9, nan, 9, 9});
  struct Case {
    const char* what;
    AP4_RANGE vector;
    AP4_RANGE scaled;
    std::vector<float> expected;  // empty: refused
  };
  const Case cases[] = {
      {"along the first row", AP4_RANGE{{0, 0}, {0, 2}}, kWhole, {2, 20, -2, -20, 1.5f, 15}},
      {"down the first column", AP4_RANGE{{0, 0}, {2, 0}}, kWhole, {2, 20, 8, 80, nan, nan}},
      {"a square range goes along its row", kWhole, kWhole, {2, 20, -2, -20, 1.5f, 15}},
      {"part of the other array", AP4_RANGE{{1, 0}, {1, 1}}, AP4_RANGE{{1, 1}, {2, 1}}, {80, 270}},
      {"neither fits", AP4_RANGE{{0, 0}, {1, 1}}, kWhole, {}},
  };
  for (const Case& c : cases) {
    AP4_PAIRPARM parameter{c.vector, b, c.scaled};
    auto* scaled = ap_result_object<AP4_ARRAY>(send(AP4_MSG_SCALE_ROWS, v, &parameter));
    if (c.expected.empty()) {
      EXPECT_EQ(scaled, nullptr) << c.what;
      continue;
    }
    ASSERT_NE(scaled, nullptr) << c.what;
    const std::vector<float> got = values(scaled);
    ASSERT_EQ(got.size(), c.expected.size()) << c.what;
    for (size_t i = 0; i < got.size(); ++i) {
      if (std::isnan(c.expected[i])) {
        EXPECT_TRUE(std::isnan(got[i])) << c.what << " at " << i;
      } else {
        EXPECT_EQ(got[i], c.expected[i]) << c.what << " at " << i;
      }
    }
    destroy(scaled);
  }
  destroy(b);
  destroy(v);
}

// ---------------------------------------------------------------------------
// Local polynomial fit. References: tests/data/array/polyfit_reference.py
// (numpy polyfit), its output beside it.

class PolynomialFit : public ArrayArithmetic {
 protected:
  struct Fit {
    uint32_t result;
    float value, slope, curvature;
  };
  static Fit fit(const float* data, int32_t n, int32_t m, int32_t degree, int32_t abscissa) {
    Fit out{0, -1, -1, -1};
    AP4_POLYFITPARM parameter{data, n, m, degree, abscissa, &out.value, &out.slope, &out.curvature};
    AP4_ARRAY* receiver = make(1, 1);
    out.result = send(AP4_MSG_POLY_FIT, receiver, &parameter);
    destroy(receiver);
    return out;
  }
};

TEST_F(PolynomialFit, ValueSlopeAndCurvatureAtZeroAgreeWithALeastSquaresReference) {
  const float points[] = {2.0f, 3.5f, 3.0f, 5.5f, 8.0f, 12.5f, 19.0f};
  struct Case {
    const char* what;
    int32_t n, degree, abscissa;
    double value, slope, curvature;
  };
  const Case cases[] = {
      {"degree 2 first at 0", 7, 2, AP4_POLYFIT_FIRST_AT_ZERO, 2.69047619, 0.928571429, 1.19047619},
      {"degree 2 last at 0", 7, 2, AP4_POLYFIT_LAST_AT_ZERO, 18.547619, 6.21428571, 1.19047619},
      {"degree 2 centred", 7, 2, 0, 5.26190476, 2.64285714, 1.19047619},
      {"degree 3 first at 0", 7, 3, AP4_POLYFIT_FIRST_AT_ZERO, 2.19047619, -0.738095238, -0.30952381},
      {"degree 3 last at 0", 7, 3, AP4_POLYFIT_LAST_AT_ZERO, 19.047619, 7.88095238, 2.69047619},
      {"degree 3 centred", 7, 3, 7, 5.26190476, 2.05952381, 1.19047619},
      {"last five centred", 5, 2, 0, 8.17142857, 3.9, 1.42857143},
  };
  for (const Case& c : cases) {
    const Fit got = fit(points, c.n, 7, c.degree, c.abscissa);
    EXPECT_EQ(got.result, 1u) << c.what;
    EXPECT_NEAR(got.value, c.value, 1e-4) << c.what;
    EXPECT_NEAR(got.slope, c.slope, 1e-4) << c.what;
    EXPECT_NEAR(got.curvature, c.curvature, 1e-4) << c.what;
  }
}

TEST_F(PolynomialFit, RefusedOrTooFewPointsLeaveTheOutputsAtZero) {
  const float points[] = {1, 4, 9, 16};
  struct Case {
    const char* what;
    int32_t n, m, degree;
    uint32_t result;
  };
  for (const Case& c : {Case{"degree 4", 4, 4, 4, 0}, Case{"degree 1", 4, 4, 1, 0},
                        Case{"a negative count", -1, 4, 2, 0}, Case{"three points for degree 3", 3, 3, 3, 1},
                        Case{"no points", 4, 0, 2, 1}}) {
    const Fit got = fit(points, c.n, c.m, c.degree, 0);
    EXPECT_EQ(got.result, c.result) << c.what;
    EXPECT_EQ(got.value, 0) << c.what;
    EXPECT_EQ(got.slope, 0) << c.what;
    EXPECT_EQ(got.curvature, 0) << c.what;
  }
  // Any output may be left out.
  float slope = -1;
  EXPECT_EQ(ap4a_PolyFit(points, 4, 4, 2, AP4_POLYFIT_FIRST_AT_ZERO, nullptr, &slope, nullptr), 1u);
  EXPECT_NEAR(slope, -2.0, 1e-4) << "y = (1 - x)^2 on x = 0, -1, -2, -3";
}

}  // namespace
