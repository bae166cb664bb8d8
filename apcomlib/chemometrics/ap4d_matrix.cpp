// The double-precision matrix toolkit of the chemometric routines: a matrix
// record held by a GU3 handle, conversion from and to an ARRAY, transpose,
// product and the inverse of a symmetric matrix.
//
// A matrix owns its descriptor block and its data block; every operation
// returns a new matrix that its caller destroys and leaves its inputs alone.
// The eigen analysis, the Savitzky-Golay coefficients, the least-squares
// fits of the array layer and the baseline fits of the processing layer call
// these directly; ARRAY message 341 inverts an ARRAY through them.
#include <cmath>
#include <cstring>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"

namespace {

// The memory manager gives no block of 2^31 bytes or more.
constexpr uint64_t kMaxBytes = 0x7FFFFFFF;

// What stands in for a multiplier whose pivot is 0; the result is withheld
// then, so it is never seen.
constexpr double kPlaceholder = 0.0;

double& ap4d_at(AP4D_MATRIX* m, uint32_t row, uint32_t column) { return m->values[row * m->columns + column]; }

// A pivot the factorisation cannot divide by.
bool ap4d_bad_pivot(double pivot) { return std::isnan(pivot) || AP1_KovFloatCompareDB_MATH(pivot, 0.0) != 0; }

}  // namespace

AP4D_MATRIX* ap4d_matrix(AP4D_DBLMATRIX matrix) {
  if (matrix == nullptr) return nullptr;
  return static_cast<AP4D_MATRIX*>(GU3_GetPointer_MM(matrix, 0, nullptr, nullptr));
}

// Rows × columns × 8 is worked out in 64 bits before anything is allocated.
APEXPORT AP4D_DBLMATRIX AP4D_DblCreate(uint32_t rows, uint32_t columns, double fill) {
  if (rows == 0 || columns == 0 || uint64_t{rows} * columns * sizeof(double) > kMaxBytes) return nullptr;
  GU3_HANDLE descriptor = GU3_Allocate_MM(1, sizeof(AP4D_MATRIX), GU3_KIND_GLOBAL);
  auto* m = ap4d_matrix(descriptor);
  if (m == nullptr) {
    GU3_Free_MM(descriptor);
    return nullptr;
  }
  GU3_HANDLE data = GU3_Allocate_MM(rows * columns, sizeof(double), GU3_KIND_GLOBAL);
  auto* values = data != nullptr ? static_cast<double*>(GU3_GetPointer_MM(data, 0, nullptr, nullptr)) : nullptr;
  if (values == nullptr) {
    GU3_Free_MM(data);
    GU3_Free_MM(descriptor);
    return nullptr;
  }
  for (uint32_t i = 0; i < rows * columns; ++i) values[i] = fill;
  *m = AP4D_MATRIX{rows, columns, data, values};
  return descriptor;
}

APEXPORT int16_t AP4D_DblDestroy(AP4D_DBLMATRIX matrix) {
  AP4D_MATRIX* m = ap4d_matrix(matrix);
  if (matrix == nullptr) return 0;
  const bool had_data = m != nullptr && m->data != nullptr;
  if (had_data) GU3_Free_MM(m->data);
  GU3_Free_MM(matrix);
  return had_data ? 1 : 0;
}

APEXPORT AP4D_DBLMATRIX AP4D_DblClone(AP4D_DBLMATRIX matrix) {
  const AP4D_MATRIX* m = ap4d_matrix(matrix);
  if (m == nullptr) return nullptr;
  AP4D_DBLMATRIX copy = AP4D_DblCreate(m->rows, m->columns, 0.0);
  if (copy != nullptr) std::memcpy(ap4d_matrix(copy)->values, m->values, sizeof(double) * m->rows * m->columns);
  return copy;
}

APEXPORT AP4D_DBLMATRIX AP4_CopyToDouble(const AP4_ARRAY* array) {
  const float* values = ap4a_GetDataAddress(array);
  if (values == nullptr) return nullptr;
  AP4D_DBLMATRIX matrix = AP4D_DblCreate(array->rows, array->columns, 0.0);
  if (matrix == nullptr) return nullptr;
  double* to = ap4d_matrix(matrix)->values;
  for (uint32_t i = 0; i < array->rows * array->columns; ++i) to[i] = values[i];
  return matrix;
}

APEXPORT AP4_ARRAY* AP4D_CopyToSingle(AP4D_DBLMATRIX matrix) {
  const AP4D_MATRIX* m = ap4d_matrix(matrix);
  if (m == nullptr) return nullptr;
  AP4_ARRAY* array = ap4a_New(AP4_CLASS_ID, m->rows, m->columns, nullptr);
  float* to = ap4a_GetDataAddress(array);
  if (to == nullptr) {
    ap4a_Delete(array, nullptr);
    return nullptr;
  }
  for (uint32_t i = 0; i < m->rows * m->columns; ++i) to[i] = static_cast<float>(m->values[i]);
  return array;
}

APEXPORT double* AP4D_GetData(AP4D_DBLMATRIX matrix, uint32_t* rows, uint32_t* columns) {
  const AP4D_MATRIX* m = ap4d_matrix(matrix);
  if (rows != nullptr) *rows = m != nullptr ? m->rows : 0;
  if (columns != nullptr) *columns = m != nullptr ? m->columns : 0;
  return m != nullptr ? m->values : nullptr;
}

APEXPORT AP4D_DBLMATRIX AP4D_DblTranspose(AP4D_DBLMATRIX matrix) {
  AP4D_MATRIX* m = ap4d_matrix(matrix);
  if (m == nullptr) return nullptr;
  AP4D_DBLMATRIX transposed = AP4D_DblCreate(m->columns, m->rows, 0.0);
  AP4D_MATRIX* t = ap4d_matrix(transposed);
  if (t == nullptr) return nullptr;
  for (uint32_t r = 0; r < m->rows; ++r)
    for (uint32_t c = 0; c < m->columns; ++c) ap4d_at(t, c, r) = ap4d_at(m, r, c);
  return transposed;
}

// Element (i, j) is summed over k ascending from 0.0, rows in order.
APEXPORT AP4D_DBLMATRIX AP4D_DblMatrixMultiply(AP4D_DBLMATRIX a, AP4D_DBLMATRIX b) {
  AP4D_MATRIX* ma = ap4d_matrix(a);
  AP4D_MATRIX* mb = ap4d_matrix(b);
  if (ma == nullptr || mb == nullptr || ma->columns != mb->rows) return nullptr;
  AP4D_DBLMATRIX product = AP4D_DblCreate(ma->rows, mb->columns, 0.0);
  AP4D_MATRIX* p = ap4d_matrix(product);
  if (p == nullptr) return nullptr;
  for (uint32_t i = 0; i < ma->rows; ++i) {
    for (uint32_t j = 0; j < mb->columns; ++j) {
      double sum = 0.0;
      for (uint32_t k = 0; k < ma->columns; ++k) sum = ap4d_at(ma, i, k) * ap4d_at(mb, k, j) + sum;
      ap4d_at(p, i, j) = sum;
    }
  }
  return product;
}

// The matrix is scaled to a unit diagonal (rows whose diagonal is not
// positive keep scale 1), factored as L D Lᵀ without pivoting and inverted
// from the factors; the scaling is undone on the inverse. A bad pivot lets
// the loops run to their end and withholds the result.
APEXPORT AP4D_DBLMATRIX AP4D_DblSqInverse(AP4D_DBLMATRIX matrix) {
  const AP4D_MATRIX* m = ap4d_matrix(matrix);
  if (m == nullptr || m->rows != m->columns) return nullptr;
  const uint32_t n = m->rows;
  ap4d_matrix_guard work(AP4D_DblClone(matrix));
  ap4d_matrix_guard scale(AP4D_DblCreate(n, n, 0.0));
  ap4d_matrix_guard multipliers(AP4D_DblCreate(n, n, 0.0));
  if (work.get() == nullptr || scale.get() == nullptr || multipliers.get() == nullptr) return nullptr;
  AP4D_MATRIX* a = ap4d_matrix(work.get());
  AP4D_MATRIX* s = ap4d_matrix(scale.get());
  AP4D_MATRIX* f = ap4d_matrix(multipliers.get());
  {
    ap4d_matrix_guard diagonal(AP4D_DblCreate(1, n, 1.0));
    if (diagonal.get() == nullptr) return nullptr;
    double* d = diagonal->values;
    for (uint32_t i = 0; i < n; ++i)
      if (ap4d_at(a, i, i) > 0.0) d[i] = std::sqrt(ap4d_at(a, i, i));
    for (uint32_t i = 0; i < n; ++i) {
      for (uint32_t j = 0; j < n; ++j) {
        ap4d_at(s, i, j) = d[i] * d[j];
        ap4d_at(a, i, j) /= ap4d_at(s, i, j);
      }
    }
  }
  bool failed = false;
  for (uint32_t k = 0; k < n; ++k) {
    const double pivot = ap4d_at(a, k, k);
    for (uint32_t j = k + 1; j < n; ++j) {
      if (ap4d_bad_pivot(pivot)) {
        failed = true;
        ap4d_at(f, k, j) = kPlaceholder;
      } else {
        ap4d_at(f, k, j) = ap4d_at(a, k, j) / pivot;
      }
      double sum = 0.0;
      for (uint32_t row = 0; row <= k; ++row) sum += ap4d_at(f, row, k + 1) * ap4d_at(a, row, j);
      ap4d_at(a, k + 1, j) -= sum;
    }
  }
  const uint32_t last = n - 1;
  if (ap4d_bad_pivot(ap4d_at(a, last, last))) failed = true;
  ap4d_at(a, last, last) = 1.0 / ap4d_at(a, last, last);
  for (uint32_t r = last; r >= 1; --r) {
    for (uint32_t c = r; c >= 1; --c) {
      double sum = 0.0;
      for (uint32_t k = c; k <= last; ++k) sum += ap4d_at(f, c - 1, k) * ap4d_at(a, r, k);
      ap4d_at(a, c - 1, r) = -sum;
      ap4d_at(a, r, c - 1) = -sum;
    }
    double sum = 0.0;
    for (uint32_t k = r; k <= last; ++k) sum += ap4d_at(f, r - 1, k) * ap4d_at(a, r - 1, k);
    const double pivot = ap4d_at(a, r - 1, r - 1);
    if (ap4d_bad_pivot(pivot)) failed = true;
    ap4d_at(a, r - 1, r - 1) = 1.0 / pivot - sum;
  }
  if (failed) return nullptr;
  for (uint32_t i = 0; i < n; ++i)
    for (uint32_t j = 0; j < n; ++j) ap4d_at(a, i, j) /= ap4d_at(s, i, j);
  return work.release();
}

AP4_ARRAY* ap4d_SqInverse(const AP4_ARRAY* array) {
  ap4d_matrix_guard matrix(AP4_CopyToDouble(array));
  ap4d_matrix_guard inverse(AP4D_DblSqInverse(matrix.get()));
  return AP4D_CopyToSingle(inverse.get());
}
