#include <algorithm>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"
#include "chemometrics/reference_values.h"

namespace {

using namespace chemtest;

class SingularValues : public ChemometricsTest {
 protected:
  // Decomposes through message 333; W and V are kept for the test.
  uint32_t decompose(AP4_ARRAY* a) {
    AP4_SVDPARM parameter{&w_, &v_};
    return send(AP4_MSG_SVD, a, &parameter);
  }
  void TearDown() override {
    if (w_ != nullptr) destroy(w_);
    if (v_ != nullptr) destroy(v_);
    ChemometricsTest::TearDown();
  }
  AP4_ARRAY* w_ = nullptr;
  AP4_ARRAY* v_ = nullptr;
};

// U W Vᵀ from the decomposition's three parts.
Dense recompose(const AP4_ARRAY* u, const AP4_ARRAY* w, const AP4_ARRAY* v) {
  Dense scaled = dense(u);
  const std::vector<float> values = arraytest::values(w);
  for (uint32_t r = 0; r < scaled.rows; ++r)
    for (uint32_t c = 0; c < scaled.columns; ++c) scaled.v[r * scaled.columns + c] *= values[c];
  return multiply(scaled, transpose(dense(v)));
}

TEST_F(SingularValues, ReproduceTheMatrixAndMatchNumpy) {
  AP4_ARRAY* a = array_of(reference::data_rows, reference::data_columns, reference::data);
  ASSERT_EQ(decompose(a), AP4_SVD_OK);
  ASSERT_NE(w_, nullptr);
  ASSERT_NE(v_, nullptr);
  EXPECT_EQ(packed(w_->rows), 1u);
  EXPECT_EQ(packed(w_->columns), 4u);
  EXPECT_EQ(packed(v_->rows), 4u);
  EXPECT_EQ(packed(a->rows), 6u);
  std::vector<float> sorted = values(w_);
  std::sort(sorted.rbegin(), sorted.rend());
  expect_near_all(sorted, reference::data_singular_values, 4, 1e-5);
  expect_near_all(recompose(a, w_, v_).v, reference::data, 24, 1e-5);
  expect_identity(multiply(transpose(dense(a)), dense(a)), 1e-6);
  expect_identity(multiply(transpose(dense(v_)), dense(v_)), 1e-6);
  destroy(a);
}

TEST_F(SingularValues, ThreeByTwoAndRankDeficientInputs) {
  // The second column is twice the first: one singular value is 0.
  AP4_ARRAY* a = array_of(3, 2, {1, 2, 2, 4, -1, -2});
  const std::vector<float> original = values(a);
  ASSERT_EQ(decompose(a), AP4_SVD_OK);
  std::vector<float> w = values(w_);
  std::sort(w.begin(), w.end());
  EXPECT_NEAR(w[0], 0.0, 1e-6);
  EXPECT_NEAR(w[1], std::sqrt(30.0), 1e-5);
  expect_near_all(recompose(a, w_, v_).v, std::vector<double>(original.begin(), original.end()).data(), 6, 1e-5);
  destroy(a);
}

TEST_F(SingularValues, ANegativeDiagonalEntryGivesItsMagnitude) {
  AP4_ARRAY* a = array_of(3, 3, {2, 0, 0, 0, -5, 0, 0, 0, 1});
  ASSERT_EQ(decompose(a), AP4_SVD_OK);
  std::vector<float> w = values(w_);
  std::sort(w.begin(), w.end());
  expect_near_all(w, std::vector<double>{1, 2, 5}.data(), 3, 1e-6);
  expect_near_all(recompose(a, w_, v_).v, std::vector<double>{2, 0, 0, 0, -5, 0, 0, 0, 1}.data(), 9, 1e-6);
  destroy(a);
}

TEST_F(SingularValues, AnAllZeroMatrix) {
  AP4_ARRAY* a = make(4, 3);
  ASSERT_EQ(decompose(a), AP4_SVD_OK);
  EXPECT_EQ(values(w_), (std::vector<float>{0, 0, 0}));
  EXPECT_EQ(values(v_), (std::vector<float>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
  EXPECT_EQ(values(a), (std::vector<float>{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
  destroy(a);
}

TEST_F(SingularValues, RefusalsLeaveTheArrayAndWriteNothing) {
  AP4_ARRAY* wide = array_of(2, 3, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(decompose(wide), AP4_SVD_TOO_FEW_ROWS);
  EXPECT_EQ(values(wide), (std::vector<float>{1, 2, 3, 4, 5, 6}));
  AP4_ARRAY* empty = make(0, 0);
  EXPECT_EQ(decompose(empty), AP4_SVD_NO_DATA);
  EXPECT_EQ(w_, nullptr);
  EXPECT_EQ(v_, nullptr);
  EXPECT_EQ(AP4_SingularValueDecomposition_ARRAY(nullptr, &w_, &v_), AP4_SVD_NO_ARRAY);
  EXPECT_EQ(AP4_SingularValueDecomposition_ARRAY(wide, nullptr, &v_), AP4_SVD_NO_ARRAY);
  destroy(wide);
  destroy(empty);
}

TEST_F(SingularValues, MissingValuesEndAfterTheSweepLimitWithTheWarning) {
  // Values that are not numbers defeat every convergence test; the sweeps
  // stop at their limit instead of running on or reading out of bounds.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  AP4_ARRAY* a = array_of(3, 3, {1, nan, 0, 0, 1, 2, 3, 0, 1});
  EXPECT_EQ(decompose(a), AP4_SVD_NOT_CONVERGED);
  EXPECT_NE(w_, nullptr);
  EXPECT_NE(v_, nullptr);
  destroy(a);
}

}  // namespace
