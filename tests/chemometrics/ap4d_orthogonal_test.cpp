#include <cmath>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"

namespace {

using namespace chemtest;

class Orthogonalisation : public ChemometricsTest {
 protected:
  static uint32_t row_of(uint16_t message, AP4_ARRAY* array, AP4_ARRAY* other, uint32_t row) {
    AP4_ROWOFPARM parameter{other, row};
    return send(message, array, &parameter);
  }
  static uint32_t normalize(uint16_t message, AP4_ARRAY* array, uint32_t index) {
    return send(message, array, &index);
  }
  static float residual(AP4_ARRAY* array, AP4_ARRAY* other, uint32_t row, uint32_t* result) {
    float length = -1.0f;
    AP4_RESIDUALPARM parameter{other, row, &length};
    *result = send(AP4_MSG_ROW_RESIDUAL_NORM, array, &parameter);
    return length;
  }
};

void expect_values(const AP4_ARRAY* array, std::vector<double> expected, double tolerance = 1e-6) {
  expect_near_all(values(array), expected.data(), expected.size(), tolerance);
}

TEST_F(Orthogonalisation, RemovingProjectionsOnUnitRowsLeavesTheRest) {
  AP4_ARRAY* v = array_of(1, 3, {3, 4, 5});
  AP4_ARRAY* basis = array_of(2, 3, {1, 0, 0, 0, 1, 0});
  EXPECT_EQ(row_of(AP4_MSG_REMOVE_ROW_PROJECTIONS, v, basis, 0), 1u);
  expect_values(v, {0, 0, 5}, 0);
  // Each coefficient comes from the row as already reduced: against the
  // non-orthogonal rows (1, 0, 0) and (1, 1, 0), (3, 4, 5) loses 3 × e1,
  // then 4 × (1, 1, 0).
  AP4_ARRAY* w = array_of(1, 3, {3, 4, 5});
  AP4_ARRAY* skew = array_of(2, 3, {1, 0, 0, 1, 1, 0});
  EXPECT_EQ(row_of(AP4_MSG_REMOVE_ROW_PROJECTIONS, w, skew, 0), 1u);
  expect_values(w, {-4, 0, 5}, 0);
  // A basis with other columns is refused; one without rows changes nothing.
  AP4_ARRAY* narrow = array_of(1, 2, {1, 0});
  EXPECT_EQ(row_of(AP4_MSG_REMOVE_ROW_PROJECTIONS, w, narrow, 0), 0u);
  for (AP4_ARRAY* a : {v, basis, w, skew, narrow}) destroy(a);
}

TEST_F(Orthogonalisation, NormalisesRowsAndColumns) {
  AP4_ARRAY* a = array_of(2, 2, {3, 4, 0, 0});
  EXPECT_EQ(normalize(AP4_MSG_NORMALIZE_ROW, a, 0), 1u);
  EXPECT_EQ(normalize(AP4_MSG_NORMALIZE_ROW, a, 1), 1u);  // zero row: unchanged
  expect_values(a, {0.6, 0.8, 0, 0});
  EXPECT_EQ(normalize(AP4_MSG_NORMALIZE_COLUMN, a, 1), 1u);
  expect_values(a, {0.6, 1, 0, 0});
  EXPECT_EQ(normalize(AP4_MSG_NORMALIZE_COLUMN, a, 2), 0u);  // beyond the columns
  EXPECT_EQ(normalize(AP4_MSG_NORMALIZE_ROW, a, 2), 0u);
  AP4_ARRAY* gap = array_of(1, 2, {1, AP1_GetNaNSG_MATH()});
  EXPECT_EQ(normalize(AP4_MSG_NORMALIZE_ROW, gap, 0), 0u);
  EXPECT_EQ(values(gap)[0], 1);
  destroy(a);
  destroy(gap);
}

TEST_F(Orthogonalisation, SubtractsAScaledRangeOfEqualSize) {
  AP4_ARRAY* a = array_of(2, 3, {1, 2, 3, 4, 5, 6});
  AP4_ARRAY* b = array_of(1, 2, {10, 20});
  AP4_SCALEDRANGEPARM parameter{AP4_RANGE{{1, 1}, {1, 2}}, b, AP4_WHOLE_RANGE, 0.5f};
  EXPECT_EQ(send(AP4_MSG_SUBTRACT_SCALED_RANGE, a, &parameter), 1u);
  expect_values(a, {1, 2, 3, 4, 0, -4}, 0);
  parameter.range = AP4_RANGE{{0, 0}, {0, 2}};
  EXPECT_EQ(send(AP4_MSG_SUBTRACT_SCALED_RANGE, a, &parameter), 0u);
  expect_values(a, {1, 2, 3, 4, 0, -4}, 0);
  destroy(a);
  destroy(b);
}

TEST_F(Orthogonalisation, AppendsTheOrthonormalResidualOrAZeroRow) {
  AP4_ARRAY* basis = array_of(1, 3, {1, 0, 0});
  AP4_ARRAY* source = array_of(3, 3, {2, 3, 4, 5, 0, 0, 0, 3, 4});
  EXPECT_EQ(row_of(AP4_MSG_APPEND_ORTHONORMAL_ROW, basis, source, 0), 1u);
  EXPECT_EQ(packed(basis->rows), 2u);
  expect_values(basis, {1, 0, 0, 0, 0.6, 0.8});
  // Row 1 lies in the span: a zero row is appended.
  EXPECT_EQ(row_of(AP4_MSG_APPEND_ORTHONORMAL_ROW, basis, source, 1), 1u);
  EXPECT_EQ(packed(basis->rows), 3u);
  expect_values(basis, {1, 0, 0, 0, 0.6, 0.8, 0, 0, 0});
  EXPECT_EQ(row_of(AP4_MSG_APPEND_ORTHONORMAL_ROW, basis, source, 3), 0u);
  EXPECT_EQ(packed(basis->rows), 3u);
  destroy(basis);
  destroy(source);
}

TEST_F(Orthogonalisation, ResidualLengthAgainstABasis) {
  AP4_ARRAY* v = array_of(1, 3, {3, 4, 5});
  AP4_ARRAY* z_axis = array_of(1, 3, {0, 0, 1});
  AP4_ARRAY* xy = array_of(2, 3, {1, 0, 0, 0, 1, 0});
  AP4_ARRAY* narrow = array_of(1, 2, {1, 0});
  uint32_t result = 0;
  EXPECT_FLOAT_EQ(residual(v, z_axis, 0, &result), 5.0f);
  EXPECT_EQ(result, 1u);
  EXPECT_FLOAT_EQ(residual(v, xy, 0, &result), 5.0f);
  EXPECT_TRUE(missing(residual(v, narrow, 0, &result)));
  EXPECT_EQ(result, 1u);
  EXPECT_TRUE(missing(residual(v, xy, 1, &result)));
  AP4_RESIDUALPARM nowhere{xy, 0, nullptr};
  EXPECT_EQ(send(AP4_MSG_ROW_RESIDUAL_NORM, v, &nowhere), 0u);
  expect_values(v, {3, 4, 5}, 0);
  for (AP4_ARRAY* a : {v, z_axis, xy, narrow}) destroy(a);
}

TEST_F(Orthogonalisation, GramSchmidtInPlace) {
  AP4_ARRAY* a = array_of(2, 2, {1, 1, 1, 0});
  EXPECT_EQ(send(AP4_MSG_ORTHONORMALIZE_ROWS, a), 1u);
  const double h = std::sqrt(0.5);
  expect_values(a, {h, h, h, -h});
  destroy(a);

  // A missing value clears its column everywhere first; a dependent row
  // reduces to zero and stays so.
  AP4_ARRAY* b = array_of(3, 3, {3, 4, 1, 6, 8, 2, 0, 1, AP1_GetNaNSG_MATH()});
  EXPECT_EQ(send(AP4_MSG_ORTHONORMALIZE_ROWS, b), 1u);
  expect_values(b, {0.6, 0.8, 0, 0, 0, 0, -0.8, 0.6, 0});
  destroy(b);

  // Rows of a random-looking block come out orthonormal.
  AP4_ARRAY* c = array_of(3, 4, {1, 2, 0.5f, -1, 0.3f, -2, 1, 1, 2, 2, 2, 0.1f});
  EXPECT_EQ(send(AP4_MSG_ORTHONORMALIZE_ROWS, c), 1u);
  const Dense q = dense(c);
  expect_identity(multiply(q, transpose(q)), 1e-6);
  destroy(c);

  AP4_ARRAY* empty = make(0, 0);
  EXPECT_EQ(send(AP4_MSG_ORTHONORMALIZE_ROWS, empty), 0u);
  destroy(empty);
}

TEST_F(Orthogonalisation, BidiagonalSolveAgainstTheProduct) {
  // R × B = A with B upper bidiagonal: check by multiplying back.
  AP4_ARRAY* b = array_of(3, 3, {2, 1, 0, 0, 4, -1, 0, 0, 0.5f});
  AP4_ARRAY* a = array_of(2, 3, {2, 5, 1, -4, 0, 3});
  auto* r = ap_result_object<AP4_ARRAY>(send(AP4_MSG_BIDIAGONAL_SOLVE, a, b));
  ASSERT_NE(r, nullptr);
  const Dense back = multiply(dense(r), dense(b));
  expect_near_all(back.v, dense(a).v.data(), 6, 1e-6);
  destroy(r);

  // A zero on the diagonal after the first counts as 1.
  AP4_ARRAY* zero_diagonal = array_of(2, 2, {2, 1, 0, 0});
  AP4_ARRAY* row = array_of(1, 2, {4, 7});
  r = ap_result_object<AP4_ARRAY>(send(AP4_MSG_BIDIAGONAL_SOLVE, row, zero_diagonal));
  ASSERT_NE(r, nullptr);
  expect_values(r, {2, 5}, 0);
  destroy(r);
  // B must be n × n for A's n columns.
  EXPECT_EQ(send(AP4_MSG_BIDIAGONAL_SOLVE, a, zero_diagonal), 0u);
  for (AP4_ARRAY* x : {a, b, zero_diagonal, row}) destroy(x);
}

TEST_F(Orthogonalisation, ExtractsAndReversesRows) {
  AP4_ARRAY* a = make_filled(2, 3);
  uint32_t row = 1;
  auto* extracted = ap_result_object<AP4_ARRAY>(send(AP4_MSG_EXTRACT_ROW, a, &row));
  ASSERT_NE(extracted, nullptr);
  expect_values(extracted, {101, 102, 103}, 0);
  row = 2;
  EXPECT_EQ(send(AP4_MSG_EXTRACT_ROW, a, &row), 0u);
  EXPECT_EQ(ap4d_ReverseRows(a), 1);
  expect_values(a, {3, 2, 1, 103, 102, 101}, 0);
  AP4_ARRAY* even = array_of(1, 4, {1, 2, 3, 4});
  EXPECT_EQ(ap4d_ReverseRows(even), 1);
  expect_values(even, {4, 3, 2, 1}, 0);
  uint16_t not_array[16] = {7};
  EXPECT_EQ(ap4d_ReverseRows(reinterpret_cast<AP4_ARRAY*>(not_array)), 0);
  for (AP4_ARRAY* x : {a, extracted, even}) destroy(x);
}

}  // namespace
