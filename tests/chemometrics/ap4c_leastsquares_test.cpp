#include <cmath>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"
#include "chemometrics/reference_values.h"

namespace {

using namespace chemtest;

class LeastSquares : public ChemometricsTest {
 protected:
  static AP4_ARRAY* invert(AP4_ARRAY* a, uint16_t message) { return ap_result_object<AP4_ARRAY>(send(message, a)); }
  static AP4_ARRAY* fit(AP4_ARRAY* a, AP4_ARRAY* b, uint16_t mode) {
    AP4_LSQPARM parameter{b, 0, mode};
    return ap_result_object<AP4_ARRAY>(send(AP4_MSG_LEAST_SQUARES, a, &parameter));
  }
  static AP4_ARRAY* step(AP4_ARRAY* d, AP4_ARRAY* g, GU3_HANDLE flags, uint16_t orientation) {
    AP4_MCRSTEPPARM parameter{g, flags, orientation};
    return ap_result_object<AP4_ARRAY>(send(AP4_MSG_MCR_STEP, d, &parameter));
  }
  // A block of u16 flags, freed with the test.
  GU3_HANDLE flags(std::initializer_list<uint16_t> values) {
    GU3_HANDLE block = GU3_Allocate_MM(static_cast<uint32_t>(values.size()), sizeof(uint16_t), GU3_KIND_GLOBAL);
    std::copy(values.begin(), values.end(), static_cast<uint16_t*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr)));
    blocks_.push_back(block);
    return block;
  }
  void TearDown() override {
    for (GU3_HANDLE block : blocks_) GU3_Free_MM(block);
    ChemometricsTest::TearDown();
  }
  std::vector<GU3_HANDLE> blocks_;
};

TEST_F(LeastSquares, SymmetricInverseMatchesTheReferenceThroughBothMessages) {
  for (uint16_t message : {AP4_MSG_INVERT_SYMMETRIC, AP4_MSG_INVERT_SYMMETRIC_FALLBACK}) {
    AP4_ARRAY* spd = array_of(4, 4, reference::spd);
    AP4_ARRAY* indefinite = array_of(3, 3, reference::indefinite);
    AP4_ARRAY* a = invert(spd, message);
    AP4_ARRAY* b = invert(indefinite, message);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    expect_near_all(values(a), reference::spd_inverse, 16, 1e-6);
    expect_near_all(values(b), reference::indefinite_inverse, 9, 1e-6);
    expect_near_all(values(spd), reference::spd, 16, 1e-7);  // unchanged
    for (AP4_ARRAY* x : {spd, indefinite, a, b}) destroy(x);
  }
}

TEST_F(LeastSquares, SymmetricInverseOfOneByOneAndRefusals) {
  AP4_ARRAY* one = array_of(1, 1, {4});
  AP4_ARRAY* inverse = invert(one, AP4_MSG_INVERT_SYMMETRIC);
  ASSERT_NE(inverse, nullptr);
  EXPECT_FLOAT_EQ(values(inverse)[0], 0.25f);
  AP4_ARRAY* wide = array_of(1, 2, {1, 2});
  EXPECT_EQ(invert(wide, AP4_MSG_INVERT_SYMMETRIC), nullptr);
  EXPECT_EQ(ap4c_InvertSymmetric(nullptr, 0), nullptr);
  for (AP4_ARRAY* x : {one, inverse, wide}) destroy(x);
}

TEST_F(LeastSquares, AZeroPivotIsReplacedOrHandedToTheGeneralInverse) {
  // [[0, 1], [1, 0]]: the first pivot is 0. Message 105 replaces it by 2^-20
  // and goes on to a finite result; 344 falls back to the general inverse,
  // which cannot pivot either and gives null.
  AP4_ARRAY* swap = array_of(2, 2, {0, 1, 1, 0});
  AP4_ARRAY* replaced = invert(swap, AP4_MSG_INVERT_SYMMETRIC);
  ASSERT_NE(replaced, nullptr);
  for (float value : values(replaced)) EXPECT_TRUE(std::isfinite(value));
  EXPECT_EQ(invert(swap, AP4_MSG_INVERT_SYMMETRIC_FALLBACK), nullptr);
  // A zero diagonal among positive ones takes scale 1; the later pivot is
  // not 0 and both variants invert it exactly.
  AP4_ARRAY* zero_diagonal = array_of(2, 2, {4, 1, 1, 0});
  for (uint16_t message : {AP4_MSG_INVERT_SYMMETRIC, AP4_MSG_INVERT_SYMMETRIC_FALLBACK}) {
    AP4_ARRAY* inverse = invert(zero_diagonal, message);
    ASSERT_NE(inverse, nullptr);
    expect_near_all(values(inverse), std::vector<double>{0, 1, 1, -4}.data(), 4, 1e-6);
    destroy(inverse);
  }
  for (AP4_ARRAY* x : {swap, replaced, zero_diagonal}) destroy(x);
}

TEST_F(LeastSquares, AMissingDiagonalGivesNoInverse) {
  AP4_ARRAY* a = array_of(2, 2, {AP1_GetNaNSG_MATH(), 1, 1, 3});
  EXPECT_EQ(invert(a, AP4_MSG_INVERT_SYMMETRIC), nullptr);
  EXPECT_EQ(invert(a, AP4_MSG_INVERT_SYMMETRIC_FALLBACK), nullptr);
  destroy(a);
}

TEST_F(LeastSquares, AMissingPivotTakesTheGeneralInverse) {
  // A negative diagonal has no square root: the scaled row is missing. The
  // general inverse scales that row by 1 and inverts the matrix.
  AP4_ARRAY* a = array_of(2, 2, {-2, 1, 1, 3});
  AP4_ARRAY* inverse = invert(a, AP4_MSG_INVERT_SYMMETRIC);
  ASSERT_NE(inverse, nullptr);
  expect_near_all(values(inverse), std::vector<double>{-3 / 7.0, 1 / 7.0, 1 / 7.0, 2 / 7.0}.data(), 4, 1e-6);
  destroy(inverse);
  destroy(a);
}

TEST_F(LeastSquares, CoefficientsInEitherOrientationMatchNumpy) {
  AP4_ARRAY* g = array_of(reference::components_rows, reference::components_columns, reference::components);
  AP4_ARRAY* b = array_of(reference::targets_rows, reference::targets_columns, reference::targets);
  AP4_ARRAY* by_columns = fit(b, g, 0);
  ASSERT_NE(by_columns, nullptr);
  EXPECT_EQ(packed(by_columns->rows), 3u);
  EXPECT_EQ(packed(by_columns->columns), 2u);
  expect_near_all(values(by_columns), reference::lsq_coefficients, 6, 1e-5);
  // Mode 1 is the same fit on the transposed problem: ABᵀ(BBᵀ)⁻¹.
  AP4_ARRAY* gt = ap4a_Transpose(g);
  AP4_ARRAY* bt = ap4a_Transpose(b);
  AP4_ARRAY* by_rows = fit(bt, gt, 1);
  ASSERT_NE(by_rows, nullptr);
  EXPECT_EQ(packed(by_rows->rows), 2u);
  EXPECT_EQ(packed(by_rows->columns), 3u);
  const Dense expected = transpose(Dense{3, 2, std::vector<double>(reference::lsq_coefficients,
                                                                   reference::lsq_coefficients + 6)});
  expect_near_all(values(by_rows), expected.v.data(), 6, 1e-5);
  EXPECT_EQ(fit(b, g, 2), nullptr);
  // Two equal columns leave BᵀB singular: no coefficients.
  AP4_ARRAY* twins = array_of(3, 2, {1, 1, 2, 2, 0.5f, 0.5f});
  EXPECT_EQ(fit(b, twins, 0), nullptr);
  for (AP4_ARRAY* x : {g, b, by_columns, gt, bt, by_rows, twins}) destroy(x);
}

TEST_F(LeastSquares, NonNegativeFitMatchesScipy) {
  AP4_ARRAY* g = array_of(reference::components_rows, reference::components_columns, reference::components);
  AP4_ARRAY* d = array_of(6, 1, reference::nnls_target);
  AP4_ARRAY* x = step(d, g, nullptr, 0);
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(packed(x->rows), 3u);
  EXPECT_EQ(packed(x->columns), 1u);
  expect_near_all(values(x), reference::nnls_coefficients, 3, 1e-5);
  // The second component free: it keeps its negative unconstrained value.
  AP4_ARRAY* free_second = step(d, g, flags({1, 0, 1}), 0);
  ASSERT_NE(free_second, nullptr);
  expect_near_all(values(free_second), reference::nnls_unconstrained, 3, 1e-5);
  // All free: nothing enters the fit and every coefficient is 0.
  AP4_ARRAY* all_free = step(d, g, flags({2, 2, 2}), 0);
  ASSERT_NE(all_free, nullptr);
  EXPECT_EQ(values(all_free), (std::vector<float>{0, 0, 0}));
  for (AP4_ARRAY* a : {g, d, x, free_second, all_free}) destroy(a);
}

TEST_F(LeastSquares, NonNegativeFitOfExactCombinationsInBothOrientations) {
  AP4_ARRAY* g = array_of(reference::components_rows, reference::components_columns, reference::components);
  // Two columns, each an exact positive combination of the components.
  const double amounts[2][3] = {{0.5, 1.5, 0.25}, {2.0, 0.1, 1.0}};
  std::vector<double> mixed;
  for (uint32_t r = 0; r < 6; ++r)
    for (const auto& a : amounts)
      mixed.push_back(a[0] * reference::components[3 * r] + a[1] * reference::components[3 * r + 1] +
                      a[2] * reference::components[3 * r + 2]);
  AP4_ARRAY* d = array_of(6, 2, mixed.data());
  AP4_ARRAY* by_columns = step(d, g, nullptr, 0);
  ASSERT_NE(by_columns, nullptr);
  expect_near_all(values(by_columns), std::vector<double>{0.5, 2.0, 1.5, 0.1, 0.25, 1.0}.data(), 6, 1e-4);
  AP4_ARRAY* dt = ap4a_Transpose(d);
  AP4_ARRAY* gt = ap4a_Transpose(g);
  AP4_ARRAY* by_rows = step(dt, gt, nullptr, 1);
  ASSERT_NE(by_rows, nullptr);
  EXPECT_EQ(packed(by_rows->rows), 2u);
  expect_near_all(values(by_rows), std::vector<double>{0.5, 1.5, 0.25, 2.0, 0.1, 1.0}.data(), 6, 1e-4);
  for (AP4_ARRAY* a : {g, d, by_columns, dt, gt, by_rows}) destroy(a);
}

TEST_F(LeastSquares, NonNegativeFitRefusesWhatItCannotFitWhole) {
  AP4_ARRAY* g = array_of(reference::components_rows, reference::components_columns, reference::components);
  AP4_ARRAY* d = array_of(6, 1, reference::nnls_target);
  AP4_ARRAY* short_d = array_of(5, 1, {1, 2, 3, 4, 5});
  EXPECT_EQ(step(short_d, g, nullptr, 0), nullptr);   // shapes that do not match
  EXPECT_EQ(step(d, g, flags({1, 1}), 0), nullptr);  // fewer flags than components
  EXPECT_EQ(step(d, g, nullptr, 2), nullptr);
  // A missing value in the data is no reason to answer zeros.
  AP4_ARRAY* gap = array_of(6, 1, {1, 0.5f, AP1_GetNaNSG_MATH(), 0, 0.2f, 0.1f});
  EXPECT_EQ(step(gap, g, nullptr, 0), nullptr);
  destroy(gap);
  // Two equal components: once both must be fitted together their normal
  // matrix is singular, the sub-fit fails and no partial coefficients are
  // handed out. Both constrained, the first alone explains the target and
  // the twin never enters.
  AP4_ARRAY* twins = array_of(3, 2, {1, 1, 2, 2, 0.5f, 0.5f});
  AP4_ARRAY* target = array_of(3, 1, {1, 2, 0.5f});
  EXPECT_EQ(step(target, twins, flags({1, 2}), 0), nullptr);
  AP4_ARRAY* first_only = step(target, twins, flags({1, 1}), 0);
  ASSERT_NE(first_only, nullptr);
  expect_near_all(values(first_only), std::vector<double>{1, 0}.data(), 2, 1e-6);
  for (AP4_ARRAY* a : {g, d, short_d, twins, target, first_only}) destroy(a);
}

TEST_F(LeastSquares, SubFitChecksItsShapes) {
  AP4_ARRAY* g = array_of(reference::components_rows, reference::components_columns, reference::components);
  AP4_ARRAY* b = array_of(6, 1, reference::nnls_target);
  AP4_ARRAY* z = make(2, 1);
  float smallest = 0.0f;
  EXPECT_EQ(ap4c_FitSelectedComponents(b, g, flags({1, 1, 1}), z, &smallest), 0);
  EXPECT_EQ(smallest, 1.0f);
  AP4_ARRAY* z3 = make(3, 1);
  EXPECT_EQ(ap4c_FitSelectedComponents(b, g, flags({1, 2, 0}), z3, &smallest), 1);
  const std::vector<float> fitted = values(z3);
  EXPECT_EQ(fitted[2], 0.0f);
  EXPECT_EQ(smallest, fitted[0]);  // the only positive-set component
  for (AP4_ARRAY* a : {g, b, z, z3}) destroy(a);
}

}  // namespace
