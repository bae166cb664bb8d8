// Factor extraction against a matrix built from known orthonormal vectors
// and well separated singular values, and against numpy's decomposition of
// a random matrix and its cross product: the eigenvalues, loadings and
// scores are those vectors and values (up to sign); the stop at the share
// of the total; refusals.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "array/array_fixture.h"
#include "array/factor_reference_values.h"

namespace {

using namespace arraytest;

// Orthonormal columns of a 4 × 4 Hadamard matrix / 2.
const double kH[4][4] = {{0.5, 0.5, 0.5, 0.5}, {0.5, -0.5, 0.5, -0.5}, {0.5, 0.5, -0.5, -0.5}, {0.5, -0.5, -0.5, 0.5}};
const double kSigma[3] = {10.0, 3.0, 0.5};

// u_k = column k of H, v_k = column (k + 1) of H.
double u(int k, int i) { return kH[i][k]; }
double v(int k, int j) { return kH[j][(k + 1) % 4]; }

class Factors : public ArrayTest {
 protected:
  struct Out {
    uint16_t result = 0;
    AP4_ARRAY* scores = nullptr;
    AP4_ARRAY* loadings = nullptr;
    AP4_ARRAY* eigenvalues = nullptr;
    float total = -1;
    uint32_t found = 99;
  };
  static Out extract(AP4_ARRAY* array, int32_t count, float percentage, uint16_t mode) {
    Out out;
    AP4_FACTORPARM parameter{count,          percentage, mode,       &out.scores, &out.loadings,
                             &out.eigenvalues, &out.total, &out.found, 0};
    out.result = static_cast<uint16_t>(send(AP4_MSG_EXTRACT_FACTORS, array, &parameter));
    return out;
  }
  static void release(Out& out) {
    for (AP4_ARRAY* a : {out.scores, out.loadings, out.eigenvalues})
      if (a != nullptr) destroy(a);
  }
  // X = sum sigma_k u_k v_kᵀ, or its cross product XᵀX = sum sigma_k² v_k v_kᵀ.
  static AP4_ARRAY* matrix(bool cross_product) {
    AP4_ARRAY* array = make(4, 4);
    float* data = ap4a_GetDataAddress(array);
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) {
        double sum = 0;
        for (int k = 0; k < 3; ++k)
          sum += cross_product ? kSigma[k] * kSigma[k] * v(k, i) * v(k, j) : kSigma[k] * u(k, i) * v(k, j);
        data[i * 4 + j] = static_cast<float>(sum);
      }
    return array;
  }
};

TEST_F(Factors, FindTheSingularValuesAndVectors) {
  const double squares = 100 + 9 + 0.25;
  struct Case {
    const char* what;
    uint16_t mode;
    bool cross_product;
    double score_scale[3];  // the scores' length per factor
  };
  const Case cases[] = {
      {"normalised scores", 0, false, {1, 1, 1}},
      {"raw scores", 3, false, {10, 3, 0.5}},
      // The cross product's own eigenvectors are v_k, its eigenvalues sigma².
      {"cross-product matrix", 1, true, {1, 1, 1}},
      {"cross-product matrix, mode 2", 2, true, {1, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AP4_ARRAY* x = matrix(c.cross_product);
    Out out = extract(x, 3, 100.0f, c.mode);
    ASSERT_EQ(out.result, 1);
    EXPECT_NEAR(out.total, squares, 1e-3);
    ASSERT_EQ(out.found, 3u);
    const Grid scores = grid_of(out.scores);
    const Grid loadings = grid_of(out.loadings);
    const std::vector<float> eigen = values(out.eigenvalues);
    ASSERT_EQ(eigen.size(), 3u);
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(eigen[k], kSigma[k] * kSigma[k], 1e-3 * kSigma[k] * kSigma[k]) << k;
      const double sign = loadings[0][k] * v(k, 0) < 0 ? -1 : 1;
      for (int j = 0; j < 4; ++j) EXPECT_NEAR(loadings[j][k], sign * v(k, j), 1e-3) << k << " " << j;
      for (int i = 0; i < 4; ++i) {
        const double expected = c.cross_product ? v(k, i) : u(k, i);
        // t = X p follows p's sign.
        EXPECT_NEAR(scores[i][k], sign * c.score_scale[k] * expected, 1e-3 * c.score_scale[k]) << k << " " << i;
      }
    }
    release(out);
    destroy(x);
  }
  EXPECT_EQ(array_class().live, 0);
}

TEST_F(Factors, AgreeWithNumpysDecomposition) {
  namespace ref = factor_reference;
  constexpr uint32_t n = ref::rows;
  constexpr uint32_t p = ref::columns;
  struct Case {
    const char* what;
    uint16_t mode;
    bool cross_product;
  };
  const Case cases[] = {{"unit scores", 0, false}, {"raw scores", 3, false}, {"cross product", 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const uint32_t rows = c.cross_product ? p : n;
    AP4_ARRAY* x = make(rows, p);
    const double* from = c.cross_product ? ref::cross : ref::x;
    for (uint32_t i = 0; i < rows * p; ++i) ap4a_GetDataAddress(x)[i] = static_cast<float>(from[i]);
    Out out = extract(x, p, 100.0f, c.mode);
    ASSERT_EQ(out.result, 1);
    ASSERT_EQ(out.found, p);
    EXPECT_NEAR(out.total, c.cross_product ? ref::cross_trace : ref::total, 1e-4);
    const std::vector<float> eigen = values(out.eigenvalues);
    const Grid scores = grid_of(out.scores);
    const Grid loadings = grid_of(out.loadings);
    for (uint32_t k = 0; k < p; ++k) {
      const double expected = c.cross_product ? ref::cross_eigenvalues[k] : ref::eigenvalues[k];
      EXPECT_NEAR(eigen[k], expected, 1e-5 * ref::eigenvalues[0]) << k;
      const double* vector = (c.cross_product ? ref::cross_vectors : ref::loadings) + k * p;
      const double sign = loadings[0][k] * vector[0] < 0 ? -1 : 1;
      for (uint32_t j = 0; j < p; ++j) EXPECT_NEAR(loadings[j][k], sign * vector[j], 1e-3) << k << " " << j;
      // Unit scores are X p / sqrt(lambda): numpy's u, or for the cross
      // product the eigenvector itself; raw scores keep the singular value.
      const double scale = c.mode == 3 ? std::sqrt(expected) : 1.0;
      const double* score = c.cross_product ? vector : ref::scores + k * n;
      for (uint32_t i = 0; i < rows; ++i)
        EXPECT_NEAR(scores[i][k], sign * scale * score[i], 1e-3 * scale) << k << " " << i;
    }
    release(out);
    destroy(x);
  }
  EXPECT_EQ(array_class().live, 0);
}

TEST_F(Factors, StopAtTheFactorThatCarriesTheSumPastTheShare) {
  struct Case {
    const char* what;
    float percentage;
    uint32_t found;
  };
  const Case cases[] = {
      {"share 0: the first factor above 0", 0.0f, 1},
      {"share 50", 50.0f, 1},
      // 100 of 109.25 is 91.5 %: the second factor carries the sum past 95 %.
      {"share 95", 95.0f, 2},
      {"above 100 behaves as 100", 250.0f, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AP4_ARRAY* x = matrix(false);
    Out out = extract(x, 3, c.percentage, 0);
    ASSERT_EQ(out.result, 1);
    EXPECT_EQ(out.found, c.found);
    EXPECT_NEAR(out.total, 109.25, 1e-3);
    EXPECT_EQ(packed(out.scores->columns), c.found);
    EXPECT_EQ(packed(out.loadings->columns), c.found);
    EXPECT_EQ(packed(out.eigenvalues->columns), c.found);
    release(out);
    destroy(x);
  }
  EXPECT_EQ(array_class().live, 0);
}

TEST_F(Factors, RefuseWithoutDeliveringAnything) {
  AP4_ARRAY* oblong = make_filled(3, 4);
  struct Case {
    const char* what;
    int32_t count;
    uint16_t mode;
  };
  const Case cases[] = {{"no factors", 0, 0}, {"cross product of an oblong array", 2, 1}, {"mode 2 too", 2, 2}};
  for (const Case& c : cases) {
    Out out = extract(oblong, c.count, 100.0f, c.mode);
    EXPECT_EQ(out.result, 0) << c.what;
    EXPECT_EQ(out.scores, nullptr) << c.what;
    EXPECT_EQ(out.found, 99u) << c.what;
  }
  AP4_FACTORPARM missing{1, 100.0f, 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0};
  EXPECT_EQ(send(AP4_MSG_EXTRACT_FACTORS, oblong, &missing), 0u);
  destroy(oblong);
  EXPECT_EQ(array_class().live, 0);
}

}  // namespace
