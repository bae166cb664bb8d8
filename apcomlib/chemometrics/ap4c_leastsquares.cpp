// Linear algebra on single-precision ARRAY objects: the inverse of a
// symmetric matrix through a scaled L D Lᵀ factorisation with the general
// inverse as fallback, unconstrained least-squares coefficients in either
// orientation, and the non-negative least-squares half-step of the curve
// resolution (Lawson and Hanson's active-set method) with its sub-fit.
//
// Built from the array class's own operations (transpose, products,
// element-wise quotient and difference, dot product) and the double-
// precision square inverse. Every result is a new ARRAY for the caller;
// inputs are never changed. The ARRAY dispatcher reaches them through
// messages 105, 344, 353 and 354; the pseudo-inverse of the array layer and
// the curve resolution call them directly.
#include <cfloat>
#include <cmath>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"

namespace {

// What stands in for the quotient of a zero pivot.
constexpr float kZeroPivotValue = 9.5367431640625e-07f;  // 2^-20

constexpr float kNoMaximum = -1000.0f;
constexpr float kPositiveGradient = 1e-8f;
constexpr uint32_t kOuterPassesPerComponent = 8;

AP4_RANGE ap4c_range(int32_t first_row, int32_t first_column, int32_t last_row, int32_t last_column) {
  return AP4_RANGE{{first_row, first_column}, {last_row, last_column}};
}

AP4_ARRAY* ap4c_product(const AP4_ARRAY* a, const AP4_ARRAY* b) {
  return ap4a_MatrixProduct(a, AP4_WHOLE_RANGE, b, AP4_WHOLE_RANGE);
}

bool ap4c_zero(float value) { return AP1_KovFloatCompareSG_MATH(value, 0.0f) != 0; }

// The factorisation's state: the scaled matrix R, the multipliers L, the
// variant and whether the general inverse must take over.
struct ap4c_factors {
  AP4_ARRAY* r;
  AP4_ARRAY* l;
  float* rv;
  float* lv;
  uint32_t n;
  bool fallback;
  bool failed;
  float& R(uint32_t i, uint32_t j) { return rv[i * n + j]; }
  float& L(uint32_t i, uint32_t j) { return lv[i * n + j]; }
  // 1 / p, or its stand-in for a zero pivot. A pivot that is not a number
  // always hands the work to the general inverse.
  float reciprocal(float p) {
    if (ap1_is_missing(p)) failed = true;
    if (!ap4c_zero(p)) return 1.0f / p;
    if (fallback) failed = true;
    return kZeroPivotValue;
  }
  float quotient(float a, float p) {
    if (ap1_is_missing(p)) failed = true;
    if (!ap4c_zero(p)) return a / p;
    if (fallback) failed = true;
    return kZeroPivotValue;
  }
  float dot(const AP4_ARRAY* a, AP4_RANGE ra, const AP4_ARRAY* b, AP4_RANGE rb) {
    float sum = 0.0f;
    if (!ap4b_DotProduct(a, ra, b, rb, &sum)) failed = true;
    return sum;
  }
};

// The inverse of the scaled matrix, in R, from its L D Lᵀ factors.
void ap4c_factor_and_invert(ap4c_factors& f) {
  const auto n = static_cast<int32_t>(f.n);
  for (int32_t i = 0; i < n; ++i) {
    const float p = f.R(i, i);
    for (int32_t j = i + 1; j < n; ++j) {
      f.L(i, j) = f.quotient(f.R(i, j), p);
      const float t = f.dot(f.l, ap4c_range(0, i + 1, i, i + 1), f.r, ap4c_range(0, j, i, j));
      f.R(i + 1, j) = f.R(i + 1, j) - t;
    }
  }
  const int32_t m = n - 1;
  f.R(m, m) = f.reciprocal(f.R(m, m));
  for (int32_t i = 0; i < m; ++i) {
    const int32_t k = m - i;
    for (int32_t q = k - 1; q >= 0; --q) {
      const float t = f.dot(f.l, ap4c_range(q, q + 1, q, m), f.r, ap4c_range(k, q + 1, k, m));
      f.R(k, q) = f.R(q, k) = -t;
    }
    const float p = f.R(k - 1, k - 1);
    const float t = f.dot(f.l, ap4c_range(k - 1, k, k - 1, m), f.r, ap4c_range(k - 1, k, k - 1, m));
    f.R(k - 1, k - 1) = f.reciprocal(p) - t;
  }
}

// The non-negative fit of one column b: x and z (k × 1), the working set
// and the number of components in the zero set.
struct ap4c_nnls {
  const AP4_ARRAY* a;
  const AP4_ARRAY* at;
  const AP4_ARRAY* b;
  AP4_ARRAY* x;
  AP4_ARRAY* z;
  GU3_HANDLE set_block;
  uint16_t* set;
  uint32_t k;
  uint32_t in_zero_set;
};

// w = Aᵀ(b − A x); the zero-set component of the largest w (strictly above
// the running maximum, which starts at −1000) and that w.
bool ap4c_gradient(const ap4c_nnls& s, int32_t& t, float& wmax) {
  ap4a_new_array ax(ap4c_product(s.a, s.x));
  if (ax.get() == nullptr) return false;
  ap4a_new_array residual(ap4a_SubtractArrays(s.b, AP4_WHOLE_RANGE, ax.get(), AP4_WHOLE_RANGE));
  if (residual.get() == nullptr) return false;
  ap4a_new_array w(ap4c_product(s.at, residual.get()));
  const float* wv = ap4a_GetDataAddress(w.get());
  if (wv == nullptr) return false;
  t = -1;
  wmax = kNoMaximum;
  for (uint32_t i = 0; i < s.k; ++i) {
    // A missing value in the data or the components would stop the fit at
    // once with zeros that look like an answer.
    if (ap1_is_missing(wv[i])) return false;
    if (s.set[i] == AP4C_ZERO_SET && wv[i] > wmax) {
      wmax = wv[i];
      t = static_cast<int32_t>(i);
    }
  }
  return true;
}

// Lawson-Hanson on one column: false when a step fails. The pass limit
// ends the fit with the feasible amounts it has: a gradient that float
// rounding holds about the threshold would otherwise bring a component in
// and out again until the limit, although x is already the fit.
bool ap4c_fit_non_negative(ap4c_nnls& s) {
  int32_t t = -1;
  float wmax = kNoMaximum;
  if (!ap4c_gradient(s, t, wmax)) return false;
  float* xv = ap4a_GetDataAddress(s.x);
  float* zv = ap4a_GetDataAddress(s.z);
  const uint32_t outer_limit = kOuterPassesPerComponent * s.k;
  for (uint32_t outer = 0; s.in_zero_set > 0 && wmax > kPositiveGradient && outer < outer_limit; ++outer) {
    s.set[t] = AP4C_POSITIVE_SET;
    --s.in_zero_set;
    float smallest = 0.0f;
    if (!ap4c_FitSelectedComponents(s.b, s.a, s.set_block, s.z, &smallest)) return false;
    // Every pass moves at least one component back to the zero set, so the
    // positive set empties within k passes.
    for (uint32_t inner = 0; smallest <= 0.0f; ++inner) {
      if (inner == s.k) return false;
      int32_t step_at = -1;
      float alpha = 0.0f;
      for (uint32_t i = 0; i < s.k; ++i) {
        if (s.set[i] != AP4C_POSITIVE_SET || !(zv[i] < 0.0f || ap4c_zero(zv[i]))) continue;
        const float denominator = xv[i] - zv[i];
        const float ratio = ap4c_zero(denominator) ? 0.0f : xv[i] / denominator;
        if (step_at < 0 || ratio < alpha) {
          alpha = ratio;
          step_at = static_cast<int32_t>(i);
        }
      }
      for (uint32_t i = 0; i < s.k; ++i) xv[i] = xv[i] + alpha * (zv[i] - xv[i]);
      for (uint32_t i = 0; i < s.k; ++i) {
        if (s.set[i] == AP4C_POSITIVE_SET && (xv[i] <= 0.0f || static_cast<int32_t>(i) == step_at)) {
          s.set[i] = AP4C_ZERO_SET;
          ++s.in_zero_set;
        }
      }
      if (!ap4c_FitSelectedComponents(s.b, s.a, s.set_block, s.z, &smallest)) return false;
    }
    for (uint32_t i = 0; i < s.k; ++i) xv[i] = zv[i];
    if (!ap4c_gradient(s, t, wmax)) return false;
  }
  return true;
}

// The caller's flags hold at least k u16 entries.
const uint16_t* ap4c_flags(GU3_HANDLE flags, uint32_t k) {
  if (GU3_LenElements_MM(flags) != sizeof(uint16_t) || GU3_NumElements_MM(flags) < k) return nullptr;
  return static_cast<const uint16_t*>(GU3_GetPointer_MM(flags, 0, nullptr, nullptr));
}

}  // namespace

AP4_ARRAY* ap4c_InvertSymmetric(const AP4_ARRAY* array, uint16_t fallback) {
  if (!ap4a_is_array(array) || array->rows != array->columns || array->rows == 0) return nullptr;
  const uint32_t n = array->rows;
  const float* av = ap4a_GetDataAddress(array);
  ap4a_new_array d(ap4a_New(AP4_CLASS_ID, 1, n, nullptr));
  float* dv = ap4a_GetDataAddress(d.get());
  if (av == nullptr || dv == nullptr) return nullptr;
  for (uint32_t i = 0; i < n; ++i) {
    const float diagonal = av[i * n + i];
    dv[i] = diagonal == 0.0f ? 1.0f : static_cast<float>(std::sqrt(static_cast<double>(diagonal)));
  }
  ap4a_new_array dt(ap4a_Transpose(d.get()));
  ap4a_new_array scale(ap4c_product(dt.get(), d.get()));
  ap4a_new_array r(ap4a_DivideArrays(array, AP4_WHOLE_RANGE, scale.get(), AP4_WHOLE_RANGE));
  ap4a_new_array l(ap4a_New(AP4_CLASS_ID, n, n, nullptr));
  float* rv = ap4a_GetDataAddress(r.get());
  float* lv = ap4a_GetDataAddress(l.get());
  if (rv == nullptr || lv == nullptr) return nullptr;
  ap4c_factors factors{r.get(), l.get(), rv, lv, n, fallback != 0, false};
  ap4c_factor_and_invert(factors);
  if (factors.failed) return ap4d_SqInverse(array);
  return ap4a_DivideArrays(r.get(), AP4_WHOLE_RANGE, scale.get(), AP4_WHOLE_RANGE);
}

AP4_ARRAY* ap4c_LeastSquaresFit(const AP4_ARRAY* array, const AP4_ARRAY* b, uint16_t mode) {
  if (mode > 1) return nullptr;
  ap4a_new_array bt(ap4a_Transpose(b));
  if (bt.get() == nullptr) return nullptr;
  const bool columns = mode == 0;
  ap4a_new_array normal(columns ? ap4c_product(bt.get(), b) : ap4c_product(b, bt.get()));
  ap4a_new_array inverse(ap4d_SqInverse(normal.get()));
  ap4a_new_array projected(columns ? ap4c_product(bt.get(), array) : ap4c_product(array, bt.get()));
  if (inverse.get() == nullptr || projected.get() == nullptr) return nullptr;
  return columns ? ap4c_product(inverse.get(), projected.get()) : ap4c_product(projected.get(), inverse.get());
}

uint16_t ap4c_FitSelectedComponents(const AP4_ARRAY* b, const AP4_ARRAY* a, GU3_HANDLE working_set, AP4_ARRAY* z,
                                    float* smallest) {
  if (IsBadWritePtr(smallest, sizeof *smallest)) return 0;
  *smallest = 1.0f;
  if (!ap4a_is_array(a) || !ap4a_is_array(z)) return 0;
  const uint32_t k = a->columns;
  const auto* set = static_cast<const uint16_t*>(GU3_GetPointer_MM(working_set, 0, nullptr, nullptr));
  float* zv = ap4a_GetDataAddress(z);
  if (set == nullptr || zv == nullptr || k != z->rows || GU3_NumElements_MM(working_set) != k) return 0;
  ap4a_new_array selected(ap4a_Duplicate(const_cast<AP4_ARRAY*>(a), nullptr));
  if (selected.get() == nullptr) return 0;
  uint32_t kept = 0;
  for (uint32_t i = k; i-- > 0;) {
    if (set[i] != AP4C_ZERO_SET)
      ++kept;
    else if (!ap4a_DeleteColumns(selected.get(), static_cast<int32_t>(i), 1))
      return 0;
  }
  // The sub-fit is the least-squares fit of b on the kept columns.
  ap4a_new_array coefficients(kept != 0 ? ap4c_LeastSquaresFit(b, selected.get(), 0) : nullptr);
  if (kept != 0 && coefficients.get() == nullptr) return 0;
  const float* c = ap4a_GetDataAddress(coefficients.get());
  float lowest = FLT_MAX;
  for (uint32_t i = 0, next = 0; i < k; ++i) {
    if (set[i] == AP4C_ZERO_SET) {
      zv[i] = 0.0f;
      continue;
    }
    zv[i] = c[next++];
    if (set[i] == AP4C_POSITIVE_SET && zv[i] < lowest) lowest = zv[i];
  }
  *smallest = lowest;
  return 1;
}

AP4_ARRAY* ap4c_MCRStep(const AP4_ARRAY* d, const AP4_ARRAY* g, GU3_HANDLE flags, uint16_t orientation) {
  if (!ap4a_is_array(d) || !ap4a_is_array(g) || orientation > 1) return nullptr;
  const bool by_columns = orientation == 0;
  // A holds one component per column: G itself, or Gᵀ.
  ap4a_new_array transposed(by_columns ? nullptr : ap4a_Transpose(g));
  const AP4_ARRAY* a = by_columns ? g : transposed.get();
  ap4a_new_array at(ap4a_Transpose(a));
  if (at.get() == nullptr) return nullptr;
  const uint32_t n = a->rows;
  const uint32_t k = a->columns;
  const uint32_t vectors = by_columns ? d->columns : d->rows;
  if ((by_columns ? d->rows : d->columns) != n) return nullptr;
  const uint16_t* caller_flags = ap4c_flags(flags, k);
  if (flags != nullptr && caller_flags == nullptr) return nullptr;
  ap4a_new_array result(ap4a_New(AP4_CLASS_ID, k, vectors, nullptr));
  float* out = ap4a_GetDataAddress(result.get());
  if (out == nullptr) return nullptr;
  for (uint32_t j = 0; j < vectors; ++j) {
    const auto v = static_cast<int32_t>(j);
    ap4a_new_array line(by_columns ? ap4a_ExtractRange(d, ap4c_range(0, v, static_cast<int32_t>(n) - 1, v))
                                   : ap4a_ExtractRange(d, ap4c_range(v, 0, v, static_cast<int32_t>(n) - 1)));
    ap4a_new_array b(by_columns ? nullptr : ap4a_Transpose(line.get()));
    ap4a_new_array x(ap4a_New(AP4_CLASS_ID, k, 1, nullptr));
    ap4a_new_array z(ap4a_New(AP4_CLASS_ID, k, 1, nullptr));
    GU3_HANDLE set_block = GU3_Allocate_MM(k, sizeof(uint16_t), GU3_KIND_GLOBAL);
    auto* set = static_cast<uint16_t*>(GU3_GetPointer_MM(set_block, 0, nullptr, nullptr));
    const AP4_ARRAY* column = by_columns ? line.get() : b.get();
    bool fitted = column != nullptr && x.get() != nullptr && z.get() != nullptr && set != nullptr;
    if (fitted) {
      uint32_t in_zero_set = 0;
      for (uint32_t i = 0; i < k; ++i) {
        const bool constrained = caller_flags == nullptr || caller_flags[i] == AP4C_FLAG_NON_NEGATIVE;
        set[i] = constrained ? AP4C_ZERO_SET : AP4C_FREE;
        if (constrained) ++in_zero_set;
      }
      ap4c_nnls fit{a, at.get(), column, x.get(), z.get(), set_block, set, k, in_zero_set};
      fitted = ap4c_fit_non_negative(fit);
    }
    GU3_Free_MM(set_block);
    if (!fitted) return nullptr;
    const float* xv = ap4a_GetDataAddress(x.get());
    for (uint32_t i = 0; i < k; ++i) out[i * vectors + j] = xv[i];
  }
  return by_columns ? result.release() : ap4a_Transpose(result.get());
}
