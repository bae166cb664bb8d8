// Curves and fits through the pairs of a DATAPAIR object: linear and
// natural-spline interpolation onto an even grid, the least-squares
// polynomial through the pseudo-inverse and through the normal equations
// with their symmetric solver, the fit of y / x, and the removal of pairs
// that stray from a polynomial.
//
// Each curve or fit is a new ARRAY for the caller (AP9 messages 42 to 44
// and 49); the spectrum layer and the peak refinement call ap9_PolyFit
// directly. Interpolation expects the pairs in ascending x and may sort
// them first.
#include <cmath>
#include <utility>

#include "array/array.h"

namespace {

// What stands in for a difference or pivot that compares equal to 0.
constexpr double kTiny = 9.5367431640625e-07;  // 2^-20

bool ap9_zero(double value) { return AP1_KovFloatCompareSG_MATH(static_cast<float>(value), 0.0f) != 0; }

double ap9_nonzero(double value) { return ap9_zero(value) ? kTiny : value; }

// n choose k by factorials; 1 when k >= n or k < 1.
double ap9_binomial(int32_t n, int32_t k) {
  if (k >= n || k < 1) return 1.0;
  double value = 1.0;
  for (int32_t i = 1; i <= n; ++i) value *= i;
  for (int32_t i = 1; i <= k; ++i) value /= i;
  for (int32_t i = 1; i <= n - k; ++i) value /= i;
  return value;
}

// Turns the coefficients of sum c_k (x - centre)^k, k = 0..degree, into
// those of sum c_k x^k, in place.
void ap9_expand_centred(double* c, int32_t degree, double centre) {
  for (int32_t k = 0; k < degree; ++k) {
    for (int32_t j = k + 1; j <= degree; ++j) {
      const double sign = (j - k) % 2 == 0 ? 1.0 : -1.0;
      c[k] += sign * ap9_binomial(j, k) * std::pow(centre, j - k) * c[j];
    }
  }
}

// A new column ARRAY holding the values.
AP4_ARRAY* ap9_column_of(const double* values, uint32_t count) {
  AP4_ARRAY* column = ap4a_New(AP4_CLASS_ID, count, 1, nullptr);
  float* to = ap4a_GetDataAddress(column);
  if (to == nullptr) {
    ap4a_Delete(column, nullptr);
    return nullptr;
  }
  for (uint32_t i = 0; i < count; ++i) to[i] = static_cast<float>(values[i]);
  return column;
}

// The least-squares coefficients of sum c_k d^k, k = 0..degree, through the
// columns d (already centred) and targets t: c = pseudo-inverse(V) × t with
// V's column 0 all 1 and column k the product of column k - 1 and d.
bool ap9_centred_fit(const float* d, const float* t, uint32_t count, int32_t degree, double* c) {
  const auto terms = static_cast<uint32_t>(degree + 1);
  ap4a_new_array v(ap4a_New(AP4_CLASS_ID, count, terms, nullptr));
  ap4a_new_array y(ap4a_New(AP4_CLASS_ID, count, 1, nullptr));
  float* vv = ap4a_GetDataAddress(v.get());
  float* yv = ap4a_GetDataAddress(y.get());
  if (vv == nullptr || yv == nullptr) return false;
  for (uint32_t i = 0; i < count; ++i) {
    float* row = vv + i * terms;
    row[0] = 1.0f;
    for (uint32_t k = 1; k < terms; ++k) row[k] = k == 1 ? d[i] : row[k - 1] * d[i];
    yv[i] = t[i];
  }
  ap4a_new_array inverse(ap4a_PseudoInverse(v.get(), AP4_PSEUDO_INVERSE_LEFT, 0));
  if (inverse.get() == nullptr) return false;
  ap4a_new_array product(ap4a_MatrixProduct(inverse.get(), AP4_WHOLE_RANGE, y.get(), AP4_WHOLE_RANGE));
  const float* cv = ap4a_GetDataAddress(product.get());
  if (cv == nullptr) return false;
  for (uint32_t k = 0; k < terms; ++k) c[k] = cv[k];
  return true;
}

// The pair interval [j, j + 1] that holds x, searched forward from the last
// one found (from the first when x lies before it); never beyond the last
// interval, whatever the order of the pairs.
uint32_t ap9_interval(const AP9_PAIR* p, uint32_t count, uint32_t j, float x) {
  if (x < p[j].x) j = 0;
  while (j + 2 < count && x > p[j + 1].x) ++j;
  return j;
}

// Checks and preparation shared by both interpolations: at least two pairs
// and `least` points, the pairs sorted first when asked, and the result row.
AP4_ARRAY* ap9_curve_row(AP9_DATAPAIR* pairs, uint32_t n, uint32_t least, uint16_t sort) {
  if (!ap9_is_datapair(pairs) || ap9_pairs(pairs) == nullptr || n < least || n > INT32_MAX || pairs->count < 2)
    return nullptr;
  if (sort != 0 && !ap9_Sort(pairs, AP9_KEY_X, AP9_ASCENDING)) return nullptr;
  return ap4a_New(AP4_CLASS_ID, 1, n, nullptr);
}

}  // namespace

// ---------------------------------------------------------------------------
// Interpolation

AP4_ARRAY* ap9_Interpolate(AP9_DATAPAIR* pairs, float start, float end, int32_t n, uint16_t sort) {
  if (n < 1) return nullptr;
  ap4a_new_array row(ap9_curve_row(pairs, static_cast<uint32_t>(n), 1, sort));
  float* out = ap4a_GetDataAddress(row.get());
  if (out == nullptr) return nullptr;
  const AP9_PAIR* p = ap9_pairs(pairs);
  const uint32_t count = pairs->count;
  const float step = n == 1 ? 0.0f : (end - start) / static_cast<float>(n - 1);
  uint32_t j = 0;
  for (int32_t i = 0; i < n; ++i) {
    const float x = start + static_cast<float>(i) * step;
    if (x <= p[0].x) {
      out[i] = p[0].y;
    } else if (x >= p[count - 1].x) {
      out[i] = p[count - 1].y;
    } else {
      j = ap9_interval(p, count, j, x);
      const double width = ap9_nonzero(static_cast<double>(p[j + 1].x) - p[j].x);
      const double t = (static_cast<double>(p[j + 1].x) - x) / width;
      out[i] = static_cast<float>(t * p[j].y + (1.0 - t) * p[j + 1].y);
    }
  }
  return row.release();
}

// The natural cubic spline through the pairs: zero second derivatives at
// both ends, the tridiagonal system solved by one sweep down and one back.
AP4_ARRAY* ap9_InterpolateSmooth(AP9_DATAPAIR* pairs, float start, float end, uint32_t n, uint16_t sort) {
  ap4a_new_array row(ap9_curve_row(pairs, n, 2, sort));
  float* out = ap4a_GetDataAddress(row.get());
  if (out == nullptr) return nullptr;
  const AP9_PAIR* p = ap9_pairs(pairs);
  const uint32_t count = pairs->count;
  GU3_HANDLE work = GU3_Allocate_MM(2 * count, sizeof(float), GU3_KIND_GLOBAL);
  auto* d2 = static_cast<float*>(GU3_GetPointer_MM(work, 0, nullptr, nullptr));
  if (d2 == nullptr) {
    GU3_Free_MM(work);
    return nullptr;
  }
  float* u = d2 + count;
  d2[0] = u[0] = 0.0f;
  for (uint32_t i = 1; i + 1 < count; ++i) {
    const double span = ap9_nonzero(static_cast<double>(p[i + 1].x) - p[i - 1].x);
    const double left = ap9_nonzero(static_cast<double>(p[i].x) - p[i - 1].x);
    const double right = ap9_nonzero(static_cast<double>(p[i + 1].x) - p[i].x);
    const double sig = left / span;
    const double q = ap9_nonzero(sig * d2[i - 1] + 2.0);
    d2[i] = static_cast<float>((sig - 1.0) / q);
    const double slopes = (static_cast<double>(p[i + 1].y) - p[i].y) / right - (static_cast<double>(p[i].y) - p[i - 1].y) / left;
    u[i] = static_cast<float>((6.0 * slopes / span - sig * u[i - 1]) / q);
  }
  d2[count - 1] = 0.0f;
  for (uint32_t i = count - 1; i-- > 0;) d2[i] = d2[i] * d2[i + 1] + u[i];

  const float step = (end - start) / static_cast<float>(n - 1);
  uint32_t j = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const float x = start + static_cast<float>(i) * step;
    if (x <= p[0].x) {
      out[i] = p[0].y;
    } else if (x >= p[count - 1].x) {
      out[i] = p[count - 1].y;
    } else {
      j = ap9_interval(p, count, j, x);
      const double h = ap9_nonzero(static_cast<double>(p[j + 1].x) - p[j].x);
      const double a = (static_cast<double>(p[j + 1].x) - x) / h;
      const double b = 1.0 - a;
      out[i] = static_cast<float>(a * p[j].y + b * p[j + 1].y +
                                  ((a * a * a - a) * d2[j] + (b * b * b - b) * d2[j + 1]) * h * h / 6.0);
    }
  }
  GU3_Free_MM(work);
  return row.release();
}

// ---------------------------------------------------------------------------
// Polynomial fits

AP4_ARRAY* ap9_PolyFit(const AP9_DATAPAIR* pairs, int16_t order) {
  if (!ap9_is_datapair(pairs) || order < 1 || order > AP9_MAX_ORDER || pairs->count == 0) return nullptr;
  const AP9_PAIR* p = ap9_pairs(pairs);
  if (p == nullptr) return nullptr;
  const uint32_t count = pairs->count;
  double mean_x = 0.0;
  double mean_y = 0.0;
  for (uint32_t i = 0; i < count; ++i) {
    if (ap1_is_missing(p[i].x)) return nullptr;
    mean_x += p[i].x;
    mean_y += p[i].y;
  }
  mean_x /= count;
  mean_y /= count;
  GU3_HANDLE work = GU3_Allocate_MM(2 * count, sizeof(float), GU3_KIND_GLOBAL);
  auto* d = static_cast<float*>(GU3_GetPointer_MM(work, 0, nullptr, nullptr));
  double c[AP9_MAX_ORDER + 1];
  bool fitted = false;
  if (d != nullptr) {
    float* t = d + count;
    for (uint32_t i = 0; i < count; ++i) {
      d[i] = static_cast<float>(p[i].x - mean_x);
      t[i] = static_cast<float>(p[i].y - mean_y);
    }
    fitted = ap9_centred_fit(d, t, count, order, c);
  }
  GU3_Free_MM(work);
  if (!fitted) return nullptr;
  c[0] += mean_y;
  ap9_expand_centred(c, order, mean_x);
  return ap9_column_of(c, static_cast<uint32_t>(order) + 1);
}

// y / x fitted by a polynomial of degree order - 1. Pairs with x or y about
// 0 take no part in the means and enter the fit as the means themselves.
AP4_ARRAY* ap9_RatioFit(const AP9_DATAPAIR* pairs, int16_t order) {
  if (!ap9_is_datapair(pairs) || order < 1 || order > AP9_MAX_ORDER || pairs->count == 0) return nullptr;
  const AP9_PAIR* p = ap9_pairs(pairs);
  if (p == nullptr) return nullptr;
  const uint32_t count = pairs->count;
  auto taken = [&](uint32_t i) { return !ap9_zero(p[i].x) && !ap9_zero(p[i].y); };
  double mean_x = 0.0;
  double mean_r = 0.0;
  uint32_t used = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (ap1_is_missing(p[i].x)) return nullptr;
    if (!taken(i)) continue;
    mean_x += p[i].x;
    mean_r += static_cast<double>(p[i].y) / p[i].x;
    ++used;
  }
  if (used == 0) return nullptr;
  mean_x /= used;
  mean_r /= used;
  GU3_HANDLE work = GU3_Allocate_MM(2 * count, sizeof(float), GU3_KIND_GLOBAL);
  auto* d = static_cast<float*>(GU3_GetPointer_MM(work, 0, nullptr, nullptr));
  double c[AP9_MAX_ORDER];
  bool fitted = false;
  if (d != nullptr) {
    float* t = d + count;
    for (uint32_t i = 0; i < count; ++i) {
      d[i] = taken(i) ? static_cast<float>(p[i].x - mean_x) : 0.0f;
      t[i] = taken(i) ? static_cast<float>(static_cast<double>(p[i].y) / p[i].x - mean_r) : 0.0f;
    }
    fitted = ap9_centred_fit(d, t, count, order - 1, c);
  }
  GU3_Free_MM(work);
  if (!fitted) return nullptr;
  c[0] += mean_r;
  ap9_expand_centred(c, order - 1, mean_x);
  return ap9_column_of(c, static_cast<uint32_t>(order));
}

// The multipliers L are kept apart from the matrix: the update of column
// k + 1 reads the matrix's columns 0..k as they stand before division by
// their pivots (L[i][j] × D_j), which L written over them would lose.
int16_t ap9_SolveSymmetricSystem(int16_t n, double* matrix, double* rhs, double* solution) {
  if (n < 1 || n > AP9_MAX_ORDER + 1) return AP9_SOLVE_TOO_LARGE;
  const auto size = static_cast<uint32_t>(n);
  double l[(AP9_MAX_ORDER + 1) * (AP9_MAX_ORDER + 1)] = {};
  auto M = [&](uint32_t i, uint32_t j) -> double& { return matrix[i * size + j]; };
  auto L = [&](uint32_t i, uint32_t j) -> double& { return l[i * size + j]; };
  auto unusable = [](double pivot) { return pivot == 0.0 || std::isnan(pivot); };

  for (uint32_t k = 0; k + 1 < size; ++k) {
    const double pivot = M(k, k);
    if (unusable(pivot)) return AP9_SOLVE_ZERO_PIVOT;
    for (uint32_t i = k + 1; i < size; ++i) {
      L(i, k) = M(i, k) / pivot;
      double sum = 0.0;
      for (uint32_t j = 0; j <= k; ++j) sum += L(k + 1, j) * M(i, j);
      M(i, k + 1) -= sum;
    }
  }
  double w[AP9_MAX_ORDER + 1];
  if (unusable(M(0, 0))) return AP9_SOLVE_ZERO_FIRST;
  w[0] = rhs[0] / M(0, 0);
  for (uint32_t i = 1; i < size; ++i) {
    for (uint32_t j = 0; j < i; ++j) rhs[i] -= L(i, j) * rhs[j];
    if (unusable(M(i, i))) return AP9_SOLVE_ZERO_DIAGONAL;
    w[i] = rhs[i] / M(i, i);
  }
  for (uint32_t i = size; i-- > 0;) {
    double value = w[i];
    for (uint32_t j = i + 1; j < size; ++j) value -= L(j, i) * solution[j];
    solution[i] = value;
  }
  return AP9_SOLVE_OK;
}

AP4_ARRAY* ap9_PolyFitNormal(AP9_DATAPAIR* pairs, uint16_t argument) {
  if (!ap9_is_datapair(pairs)) return nullptr;
  auto order = static_cast<int16_t>(argument);
  const bool replace = order >= static_cast<int16_t>(AP9_REPLACE_FITTED);
  if (replace) order = static_cast<int16_t>(order - AP9_REPLACE_FITTED);
  AP9_PAIR* p = ap9_pairs(pairs);
  if (p == nullptr || pairs->count == 0 || static_cast<int64_t>(pairs->count) <= order || order < 1 ||
      order > AP9_MAX_ORDER)
    return nullptr;
  const uint32_t count = pairs->count;
  const auto terms = static_cast<uint32_t>(order) + 1;
  double mean_x = 0.0;
  for (uint32_t i = 0; i < count; ++i) mean_x += p[i].x;
  mean_x /= count;

  double s[2 * AP9_MAX_ORDER + 2] = {};
  double t[2 * AP9_MAX_ORDER + 2] = {};
  for (uint32_t i = 0; i < count; ++i) {
    const double d = p[i].x - mean_x;
    double power = 1.0;
    for (uint32_t j = 0; j < 2 * terms; ++j) {
      s[j] += power;
      t[j] += p[i].y * power;
      power *= d;
    }
  }
  double m[(AP9_MAX_ORDER + 1) * (AP9_MAX_ORDER + 1)];
  for (uint32_t r = 0; r < terms; ++r)
    for (uint32_t q = 0; q < terms; ++q) m[r * terms + q] = s[r + q];
  double a[AP9_MAX_ORDER + 1];
  if (ap9_SolveSymmetricSystem(static_cast<int16_t>(terms), m, t, a) != AP9_SOLVE_OK) return nullptr;

  double c[AP9_MAX_ORDER + 1];
  for (uint32_t i = 0; i < terms; ++i) {
    double sum = 0.0;
    double power = 1.0;
    for (uint32_t j = i; j < terms; ++j) {
      sum += ap9_binomial(static_cast<int32_t>(j), static_cast<int32_t>(i)) * a[j] * power;
      power *= -mean_x;
    }
    c[i] = sum;
  }
  AP4_ARRAY* result = ap9_column_of(c, terms);
  if (replace) {
    ap9_change_bracket bracket(pairs);
    if (bracket.begun()) {
      for (uint32_t i = 0; i < count; ++i) {
        const double d = p[i].x - mean_x;
        double value = 0.0;
        for (uint32_t j = terms; j-- > 0;) value = value * d + a[j];
        p[i].y = static_cast<float>(value);
      }
    }
  }
  return result;
}

// ---------------------------------------------------------------------------
// Outliers

int16_t ap9_RejectOutliers(AP9_DATAPAIR* pairs, const AP4_ARRAY* coefficients, int16_t side, int16_t level) {
  if (!ap9_is_datapair(pairs) || !ap4a_is_array(coefficients) || coefficients->columns != 1) return 0;
  const auto k = static_cast<int32_t>(coefficients->rows);
  const auto count = static_cast<int32_t>(pairs->count);
  const float* c = ap4a_GetDataAddress(coefficients);
  AP9_PAIR* p = ap9_pairs(pairs);
  if (count - k < 1 || c == nullptr || p == nullptr) return 0;

  ap4a_new_array residuals(ap4a_New(AP4_CLASS_ID, 1, static_cast<uint32_t>(count), nullptr));
  float* r = ap4a_GetDataAddress(residuals.get());
  if (r == nullptr) return 0;
  float squares = 0.0f;
  for (int32_t i = 0; i < count; ++i) {
    float fitted = 0.0f;
    for (int32_t j = k - 1; j >= 1; --j) fitted = (fitted + c[j]) * p[i].x;
    fitted += c[0];
    r[i] = p[i].y - fitted;
    squares += r[i] * r[i];
  }
  const float spread = std::sqrt(squares / static_cast<float>(count - k));
  float above = 0.0f;
  float below = 0.0f;
  switch (level) {
    case 1: above = 3.0f * spread; below = 2.0f * spread; break;
    case 2: above = 2.5f * spread; below = 2.0f * spread; break;
    case 3: above = below = 2.0f * spread; break;
    default: above = below = ((static_cast<float>(level) - 3.0f) / 2.0f + 2.0f) * spread; break;
  }
  if (side == 2) std::swap(above, below);

  ap9_change_bracket bracket(pairs);
  if (!bracket.begun()) return 0;
  int32_t kept = 1;
  for (int32_t i = 1; i + 1 < count; ++i) {
    const bool stays = r[i] > 0.0f ? std::fabs(r[i]) < above : std::fabs(r[i]) < below;
    if (stays) p[kept++] = p[i];
  }
  p[kept++] = p[count - 1];
  if (kept < count && !ap9_DeletePairs(pairs, static_cast<uint32_t>(kept), static_cast<uint32_t>(count - kept)))
    return 0;
  return static_cast<int16_t>(kept);
}
