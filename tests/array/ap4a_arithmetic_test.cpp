#include <cmath>

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

}  // namespace
