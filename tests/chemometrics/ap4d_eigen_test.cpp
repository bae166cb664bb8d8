#include <cmath>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"
#include "chemometrics/reference_values.h"

namespace {

using namespace chemtest;

class EigenAnalysis : public ChemometricsTest {
 protected:
  // Message 340 on x; the results are kept for the test and deleted after it.
  uint32_t extract(AP4_ARRAY* x, int32_t factors, float percent, int16_t mode) {
    AP4_EIGENPARM parameter{factors, percent, mode, &scores_, &loadings_, &eigenvalues_, &total_, &count_};
    return send(AP4_MSG_EIGEN_ANALYSIS, x, &parameter);
  }
  void drop_results() {
    for (AP4_ARRAY** a : {&scores_, &loadings_, &eigenvalues_}) {
      if (*a != nullptr) destroy(*a);
      *a = nullptr;
    }
  }
  void TearDown() override {
    drop_results();
    ChemometricsTest::TearDown();
  }
  AP4_ARRAY* scores_ = nullptr;
  AP4_ARRAY* loadings_ = nullptr;
  AP4_ARRAY* eigenvalues_ = nullptr;
  float total_ = -1.0f;
  int32_t count_ = -1;
};

// Column f of a dense matrix.
std::vector<double> column(const Dense& m, uint32_t f) {
  std::vector<double> c;
  for (uint32_t r = 0; r < m.rows; ++r) c.push_back(m.at(r, f));
  return c;
}

double dot(const std::vector<double>& a, const std::vector<double>& b) {
  double s = 0;
  for (size_t i = 0; i < a.size(); ++i) s += a[i] * b[i];
  return s;
}

double sum_of_squares(const double* values, size_t count) {
  double s = 0;
  for (size_t i = 0; i < count; ++i) s += values[i] * values[i];
  return s;
}

TEST_F(EigenAnalysis, FactorsAreTheSquaredSingularValuesAndVectorsOfNumpy) {
  AP4_ARRAY* x = array_of(reference::data_rows, reference::data_columns, reference::data);
  ASSERT_EQ(extract(x, 4, 100.0f, 0), 1u);
  ASSERT_EQ(count_, 4);
  EXPECT_NEAR(total_, sum_of_squares(reference::data, 24), 1e-4);
  const std::vector<float> lambda = values(eigenvalues_);
  const Dense p = dense(loadings_);
  const Dense t = dense(scores_);
  for (uint32_t f = 0; f < 4; ++f) {
    const double sigma = reference::data_singular_values[f];
    EXPECT_NEAR(lambda[f], sigma * sigma, 1e-3 * sigma * sigma) << f;
    // The loading is numpy's right singular vector, up to sign.
    const std::vector<double> expected(reference::data_loadings + 4 * f, reference::data_loadings + 4 * f + 4);
    EXPECT_NEAR(std::fabs(dot(column(p, f), expected)), 1.0, 1e-4) << f;
    EXPECT_NEAR(dot(column(t, f), column(t, f)), 1.0, 1e-5) << f;  // unit scores in mode 0
  }
  expect_identity(multiply(transpose(p), p), 1e-4);
  destroy(x);
}

TEST_F(EigenAnalysis, ModeThreeKeepsScoresWhoseSquaredLengthIsTheEigenvalue) {
  AP4_ARRAY* x = array_of(reference::data_rows, reference::data_columns, reference::data);
  ASSERT_EQ(extract(x, 2, 100.0f, 3), 1u);
  const Dense t = dense(scores_);
  const std::vector<float> lambda = values(eigenvalues_);
  for (uint32_t f = 0; f < 2; ++f) EXPECT_NEAR(dot(column(t, f), column(t, f)), lambda[f], 1e-4 * lambda[f]);
  destroy(x);
}

TEST_F(EigenAnalysis, CrossProductModeGivesItsEigenvaluesAndTheTrace) {
  // XᵀX has the eigenvalues σ²; mode 1 stores √(tᵀt) = σ².
  const Dense x{reference::data_rows, reference::data_columns,
                std::vector<double>(reference::data, reference::data + 24)};
  const Dense c = multiply(transpose(x), x);
  AP4_ARRAY* cross = array_of(4, 4, c.v.data());
  ASSERT_EQ(extract(cross, 4, 100.0f, 1), 1u);
  EXPECT_NEAR(total_, c.at(0, 0) + c.at(1, 1) + c.at(2, 2) + c.at(3, 3), 1e-4);
  const std::vector<float> lambda = values(eigenvalues_);
  ASSERT_EQ(count_, 4);
  for (uint32_t f = 0; f < 4; ++f) {
    const double sigma = reference::data_singular_values[f];
    EXPECT_NEAR(lambda[f], sigma * sigma, 1e-3 * sigma * sigma) << f;
  }
  destroy(cross);
}

TEST_F(EigenAnalysis, StopsAtThePercentageAndCutsTheArrays) {
  AP4_ARRAY* x = array_of(reference::data_rows, reference::data_columns, reference::data);
  ASSERT_EQ(extract(x, 4, 0.0f, 0), 1u);
  EXPECT_EQ(count_, 1);
  EXPECT_EQ(packed(scores_->columns), 1u);
  EXPECT_EQ(packed(loadings_->columns), 1u);
  EXPECT_EQ(packed(eigenvalues_->columns), 1u);
  destroy(x);
}

TEST_F(EigenAnalysis, PercentAboveAHundredActsAsAHundred) {
  AP4_ARRAY* x = array_of(reference::data_rows, reference::data_columns, reference::data);
  ASSERT_EQ(extract(x, 3, 250.0f, 0), 1u);
  const std::vector<float> above = values(eigenvalues_);
  const int32_t count_above = count_;
  drop_results();
  ASSERT_EQ(extract(x, 3, 100.0f, 0), 1u);
  EXPECT_EQ(count_, count_above);
  EXPECT_EQ(values(eigenvalues_), above);
  destroy(x);
}

TEST_F(EigenAnalysis, AnAllZeroMatrixGivesZeroFactorsToTheCount) {
  AP4_ARRAY* x = make(5, 3);
  ASSERT_EQ(extract(x, 3, 100.0f, 0), 1u);
  EXPECT_EQ(count_, 3);
  EXPECT_EQ(values(eigenvalues_), (std::vector<float>{0, 0, 0}));
  EXPECT_EQ(total_, 0.0f);
  destroy(x);
}

TEST_F(EigenAnalysis, RefusalsHandOutNothing) {
  AP4_ARRAY* wide = array_of(2, 3, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(extract(wide, 2, 100.0f, 1), 0u);  // cross-product mode needs a square matrix
  EXPECT_EQ(extract(wide, 0, 100.0f, 0), 0u);
  EXPECT_EQ(scores_, nullptr);
  EXPECT_EQ(loadings_, nullptr);
  EXPECT_EQ(eigenvalues_, nullptr);
  EXPECT_EQ(count_, -1);
  EXPECT_EQ(AP4D_DblEigenAnalysis(wide, 2, 100.0f, 0, &scores_, &loadings_, &eigenvalues_, nullptr, &count_), 0);
  EXPECT_EQ(AP4D_DblEigenAnalysis(nullptr, 2, 100.0f, 0, &scores_, &loadings_, &eigenvalues_, &total_, &count_), 0);
  AP4_ARRAY* gap = array_of(2, 2, {1, AP1_GetNaNSG_MATH(), 3, 4});
  EXPECT_EQ(extract(gap, 1, 100.0f, 0), 0u);  // a missing value gives no factors
  destroy(gap);
  const uint16_t live = arraytest::array_class().live;
  EXPECT_EQ(extract(wide, 0x40000000, 100.0f, 0), 0u);  // far beyond what can be held
  EXPECT_EQ(arraytest::array_class().live, live);
  destroy(wide);
}

}  // namespace
