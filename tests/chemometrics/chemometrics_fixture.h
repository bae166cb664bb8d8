// Fixtures for the chemometric tests: arrays made from literal values or
// from the references of reference_values.h, read back as doubles, and
// small matrix helpers (product, transpose, identity checks) worked in
// double precision in the test, independent of the code under test.
#pragma once
#include <cmath>
#include <initializer_list>
#include <vector>

#include <gtest/gtest.h>

#include "array/array_fixture.h"
#include "chemometrics/chemometrics.h"

namespace chemtest {

using arraytest::destroy;
using arraytest::make;
using arraytest::make_filled;
using arraytest::send;
using arraytest::values;

// A rows × columns array holding the values row by row.
template <typename T>
AP4_ARRAY* array_of(uint32_t rows, uint32_t columns, const T* data) {
  AP4_ARRAY* array = make(rows, columns);
  float* to = ap4a_GetDataAddress(array);
  for (uint32_t i = 0; i < rows * columns; ++i) to[i] = static_cast<float>(data[i]);
  return array;
}

inline AP4_ARRAY* array_of(uint32_t rows, uint32_t columns, std::initializer_list<float> data) {
  return array_of(rows, columns, data.begin());
}

// A plain row-major matrix of doubles for the test's own arithmetic.
struct Dense {
  uint32_t rows;
  uint32_t columns;
  std::vector<double> v;
  double at(uint32_t r, uint32_t c) const { return v[r * columns + c]; }
};

inline Dense dense(const AP4_ARRAY* array) {
  const std::vector<float> f = values(array);
  return Dense{array->rows, array->columns, std::vector<double>(f.begin(), f.end())};
}

inline Dense dense(AP4D_DBLMATRIX matrix) {
  uint32_t rows = 0;
  uint32_t columns = 0;
  const double* data = AP4D_GetData(matrix, &rows, &columns);
  return Dense{rows, columns, std::vector<double>(data, data + rows * columns)};
}

inline Dense multiply(const Dense& a, const Dense& b) {
  Dense p{a.rows, b.columns, std::vector<double>(a.rows * b.columns, 0.0)};
  for (uint32_t i = 0; i < a.rows; ++i)
    for (uint32_t j = 0; j < b.columns; ++j)
      for (uint32_t k = 0; k < a.columns; ++k) p.v[i * b.columns + j] += a.at(i, k) * b.at(k, j);
  return p;
}

inline Dense transpose(const Dense& a) {
  Dense t{a.columns, a.rows, std::vector<double>(a.v.size())};
  for (uint32_t i = 0; i < a.rows; ++i)
    for (uint32_t j = 0; j < a.columns; ++j) t.v[j * a.rows + i] = a.at(i, j);
  return t;
}

// Every element within `tolerance` of the identity's.
inline void expect_identity(const Dense& m, double tolerance) {
  ASSERT_EQ(m.rows, m.columns);
  for (uint32_t i = 0; i < m.rows; ++i)
    for (uint32_t j = 0; j < m.columns; ++j) EXPECT_NEAR(m.at(i, j), i == j ? 1.0 : 0.0, tolerance) << i << ", " << j;
}

template <typename T>
void expect_near_all(const std::vector<T>& got, const double* expected, size_t count, double tolerance) {
  ASSERT_EQ(got.size(), count);
  for (size_t i = 0; i < count; ++i) EXPECT_NEAR(got[i], expected[i], tolerance) << "element " << i;
}

inline bool missing(float value) { return std::isnan(value); }

}  // namespace chemtest

class ChemometricsTest : public ArrayTest {};
