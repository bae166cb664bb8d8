#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"
#include "chemometrics/reference_values.h"

namespace {

using namespace chemtest;

class DoubleMatrix : public ChemometricsTest {};
class SymmetricInverse : public ChemometricsTest {};

// A new n × n matrix holding the values.
AP4D_DBLMATRIX matrix_of(uint32_t rows, uint32_t columns, std::initializer_list<double> data) {
  AP4D_DBLMATRIX m = AP4D_DblCreate(rows, columns, 0.0);
  double* to = AP4D_GetData(m, nullptr, nullptr);
  for (double value : data) *to++ = value;
  return m;
}

AP4D_DBLMATRIX matrix_of(uint32_t rows, uint32_t columns, const double* data) {
  AP4D_DBLMATRIX m = AP4D_DblCreate(rows, columns, 0.0);
  std::copy(data, data + rows * columns, AP4D_GetData(m, nullptr, nullptr));
  return m;
}

TEST_F(DoubleMatrix, CreateFillsEveryElementAndReportsItsShape) {
  AP4D_DBLMATRIX m = AP4D_DblCreate(2, 3, 1.5);
  uint32_t rows = 0;
  uint32_t columns = 0;
  const double* data = AP4D_GetData(m, &rows, &columns);
  EXPECT_EQ(rows, 2u);
  EXPECT_EQ(columns, 3u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(data[i], 1.5);
  // The descriptor's fields are what callers read directly.
  const auto* descriptor = static_cast<const AP4D_MATRIX*>(GU3_GetPointer_MM(m, 0, nullptr, nullptr));
  EXPECT_EQ(descriptor->values, data);
  EXPECT_EQ(AP4D_DblDestroy(m), 1);
}

TEST_F(DoubleMatrix, NullHandlesAndImpossibleSizesGiveNothing) {
  uint32_t rows = 7;
  uint32_t columns = 7;
  EXPECT_EQ(AP4D_GetData(nullptr, &rows, &columns), nullptr);
  EXPECT_EQ(rows, 0u);
  EXPECT_EQ(columns, 0u);
  EXPECT_EQ(AP4D_DblDestroy(nullptr), 0);
  EXPECT_EQ(AP4D_DblClone(nullptr), nullptr);
  EXPECT_EQ(AP4D_DblTranspose(nullptr), nullptr);
  EXPECT_EQ(AP4D_CopyToSingle(nullptr), nullptr);
  EXPECT_EQ(AP4_CopyToDouble(nullptr), nullptr);
  // rows × columns × 8 overflows 32 bits: refused before anything is had.
  EXPECT_EQ(AP4D_DblCreate(65536, 65536, 0.0), nullptr);
  EXPECT_EQ(AP4D_DblCreate(1u << 20, 1u << 8, 0.0), nullptr);
  EXPECT_EQ(AP4D_DblCreate(0, 3, 0.0), nullptr);
}

TEST_F(DoubleMatrix, TransposeAndProductAgreeWithHandWorkedValues) {
  AP4D_DBLMATRIX row = matrix_of(1, 4, {1, 2, 3, 4});
  AP4D_DBLMATRIX column = AP4D_DblTranspose(row);
  Dense t = dense(column);
  EXPECT_EQ(t.rows, 4u);
  EXPECT_EQ(t.columns, 1u);
  EXPECT_EQ(t.v, (std::vector<double>{1, 2, 3, 4}));

  AP4D_DBLMATRIX a = matrix_of(2, 3, {1, 2, 3, 4, 5, 6});
  AP4D_DBLMATRIX b = matrix_of(3, 4, {1, 0, 2, -1, 0, 1, 1, 2, 3, -2, 0, 1});
  EXPECT_EQ(AP4D_DblMatrixMultiply(a, a), nullptr);
  AP4D_DBLMATRIX p = AP4D_DblMatrixMultiply(a, b);
  const Dense product = dense(p);
  EXPECT_EQ(product.rows, 2u);
  EXPECT_EQ(product.columns, 4u);
  EXPECT_EQ(product.v, (std::vector<double>{10, -4, 4, 6, 22, -7, 13, 12}));
  EXPECT_EQ(dense(a).v, (std::vector<double>{1, 2, 3, 4, 5, 6}));  // inputs unchanged
  for (AP4D_DBLMATRIX m : {row, column, a, b, p}) AP4D_DblDestroy(m);
}

TEST_F(DoubleMatrix, ArrayRoundTripKeepsEveryValueAndMissingOnes) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* array = array_of(2, 2, {1.25f, -3e-7f, nan, 6.5e12f});
  AP4D_DBLMATRIX m = AP4_CopyToDouble(array);
  AP4_ARRAY* back = AP4D_CopyToSingle(m);
  ASSERT_NE(back, nullptr);
  const std::vector<float> got = values(back);
  EXPECT_EQ(got[0], 1.25f);
  EXPECT_EQ(got[1], -3e-7f);
  EXPECT_TRUE(missing(got[2]));
  EXPECT_EQ(got[3], 6.5e12f);
  AP4D_DBLMATRIX clone = AP4D_DblClone(m);
  EXPECT_EQ(dense(clone).v[3], dense(m).v[3]);
  AP4D_DblDestroy(clone);
  AP4D_DblDestroy(m);
  destroy(back);
  destroy(array);
}

TEST_F(SymmetricInverse, MatchesTheReferenceForDefiniteAndIndefiniteMatrices) {
  struct Case {
    uint32_t n;
    const double* matrix;
    const double* inverse;
  };
  for (const Case& c : {Case{reference::spd_rows, reference::spd, reference::spd_inverse},
                        Case{reference::indefinite_rows, reference::indefinite, reference::indefinite_inverse}}) {
    AP4D_DBLMATRIX m = matrix_of(c.n, c.n, c.matrix);
    AP4D_DBLMATRIX inverse = AP4D_DblSqInverse(m);
    ASSERT_NE(inverse, nullptr);
    expect_near_all(dense(inverse).v, c.inverse, c.n * c.n, 1e-12);
    expect_identity(multiply(dense(m), dense(inverse)), 1e-12);
    AP4D_DblDestroy(inverse);
    AP4D_DblDestroy(m);
  }
}

TEST_F(SymmetricInverse, ReadsOnlyTheUpperTriangle) {
  AP4D_DBLMATRIX symmetric = matrix_of(3, 3, {4, 1, 2, 1, 5, 3, 2, 3, 6});
  AP4D_DBLMATRIX upper = matrix_of(3, 3, {4, 1, 2, 99, 5, 3, -7, 1e6, 6});
  AP4D_DBLMATRIX a = AP4D_DblSqInverse(symmetric);
  AP4D_DBLMATRIX b = AP4D_DblSqInverse(upper);
  EXPECT_EQ(dense(a).v, dense(b).v);
  for (AP4D_DBLMATRIX m : {symmetric, upper, a, b}) AP4D_DblDestroy(m);
}

TEST_F(SymmetricInverse, ScalesAZeroDiagonalRowByOne) {
  // The first pivot (4) is fine; the zero diagonal of row 1 takes scale 1 and
  // the factorisation goes on with the pivot 0 - 1/4 × 1.
  AP4D_DBLMATRIX m = matrix_of(2, 2, {4, 1, 1, 0});
  AP4D_DBLMATRIX inverse = AP4D_DblSqInverse(m);
  ASSERT_NE(inverse, nullptr);
  expect_near_all(dense(inverse).v, std::vector<double>{0, 1, 1, -4}.data(), 4, 1e-15);
  AP4D_DblDestroy(inverse);
  AP4D_DblDestroy(m);
}

// Inputs that cannot be inverted without pivoting give null.
struct RefusedCase {
  const char* name;
  uint32_t rows;
  uint32_t columns;
  std::vector<double> values;
};

class SymmetricInverseRefuses : public ChemometricsTest, public testing::WithParamInterface<RefusedCase> {};

TEST_P(SymmetricInverseRefuses, WithNull) {
  const RefusedCase& c = GetParam();
  AP4D_DBLMATRIX m = AP4D_DblCreate(c.rows, c.columns, 0.0);
  std::copy(c.values.begin(), c.values.end(), AP4D_GetData(m, nullptr, nullptr));
  EXPECT_EQ(AP4D_DblSqInverse(m), nullptr);
  AP4D_DblDestroy(m);
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Cases, SymmetricInverseRefuses,
    testing::Values(RefusedCase{"NotSquare", 2, 3, {1, 0, 0, 0, 1, 0}},
                    // Invertible, but its first pivot is 0.
                    RefusedCase{"FirstPivotZero", 2, 2, {0, 1, 1, 0}},
                    RefusedCase{"OneByOneZero", 1, 1, {0}},
                    RefusedCase{"Singular", 2, 2, {1, 2, 2, 4}},
                    RefusedCase{"MissingPivot", 2, 2, {kNaN, 1, 1, 2}},
                    RefusedCase{"MissingLaterPivot", 3, 3, {1, 0, 0, 0, 1, kNaN, 0, kNaN, 1}}),
    [](const testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST_F(SymmetricInverse, OneByOneIsTheReciprocal) {
  AP4D_DBLMATRIX m = matrix_of(1, 1, {-8});
  AP4D_DBLMATRIX inverse = AP4D_DblSqInverse(m);
  ASSERT_NE(inverse, nullptr);
  EXPECT_DOUBLE_EQ(dense(inverse).v[0], -0.125);
  AP4D_DblDestroy(inverse);
  AP4D_DblDestroy(m);
}

TEST_F(SymmetricInverse, Message341InvertsThroughDoublesAndLeavesTheArray) {
  AP4_ARRAY* spd = array_of(4, 4, reference::spd);
  auto* inverse = ap_result_object<AP4_ARRAY>(send(AP4_MSG_SQUARE_INVERSE, spd));
  ASSERT_NE(inverse, nullptr);
  expect_near_all(values(inverse), reference::spd_inverse, 16, 1e-6);
  destroy(inverse);
  destroy(spd);

  AP4_ARRAY* singular = array_of(2, 2, {1, 2, 2, 4});
  EXPECT_EQ(send(AP4_MSG_SQUARE_INVERSE, singular), 0u);
  EXPECT_EQ(values(singular), (std::vector<float>{1, 2, 2, 4}));
  destroy(singular);
}

}  // namespace
