// Singular value decomposition of an ARRAY, A = U W Vᵀ, by Golub and
// Reinsch: Householder reduction to upper bidiagonal form, accumulation of
// the right-hand and left-hand transformations, and implicit-shift QR sweeps
// on the bidiagonal form, at most 30 per singular value.
//
// Works in double precision on a copy of the array's floats; U replaces the
// array's data, W and V are new arrays that the caller owns. The singular
// values stay in the order the sweeps leave them. Exported, and reached
// through ARRAY message 333.
#include <cmath>
#include <cstring>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"

namespace {

constexpr int kMaxSweeps = 30;

// The working storage with 1-based indexes: the m × n copy a, the n × n
// right-hand matrix v, the singular values w and the superdiagonal e.
struct ap4_svd_work {
  uint32_t m;
  uint32_t n;
  double* a_values;
  double* v_values;
  double* w_values;
  double* e_values;
  double& a(uint32_t i, uint32_t j) { return a_values[(i - 1) * n + (j - 1)]; }
  double& v(uint32_t i, uint32_t j) { return v_values[(i - 1) * n + (j - 1)]; }
  double& w(uint32_t i) { return w_values[i - 1]; }
  double& e(uint32_t i) { return e_values[i - 1]; }
};

// g with the sign of f: −g when f < 0, else g.
double ap4_sign(double g, double f) { return f < 0.0 ? -g : g; }

// √(p² + q²) without overflow.
double ap4_hypot(double p, double q) {
  const double ap = std::fabs(p);
  const double aq = std::fabs(q);
  if (ap > aq) return ap * std::sqrt(1.0 + (aq / ap) * (aq / ap));
  if (q == 0.0) return 0.0;
  return aq * std::sqrt(1.0 + (ap / aq) * (ap / aq));
}

// The Householder reflector of the elements first..last of one column or
// row, reached through `at`: they are divided by the sum of their
// magnitudes, which is returned (0: nothing is touched and g stays 0), g and
// h are set and the first element becomes f − g.
template <typename At>
double ap4_reflector(At at, uint32_t first, uint32_t last, double& g, double& h) {
  double scale = 0.0;
  for (uint32_t k = first; k <= last; ++k) scale += std::fabs(at(k));
  if (scale == 0.0) return 0.0;
  double sum = 0.0;
  for (uint32_t k = first; k <= last; ++k) {
    at(k) /= scale;
    sum += at(k) * at(k);
  }
  const double f = at(first);
  g = -ap4_sign(std::sqrt(sum), f);
  h = f * g - sum;
  at(first) = f - g;
  return scale;
}

// Householder bidiagonalisation; returns the norm that decides what counts
// as negligible, and leaves g for the right-hand accumulation.
double ap4_bidiagonalise(ap4_svd_work& s, double& g) {
  const uint32_t m = s.m;
  const uint32_t n = s.n;
  double scale = 0.0;
  double anorm = 0.0;
  g = 0.0;
  for (uint32_t i = 1; i <= n; ++i) {
    const uint32_t l = i + 1;
    s.e(i) = scale * g;
    g = 0.0;
    double h = 0.0;
    auto column = [&s, i](uint32_t k) -> double& { return s.a(k, i); };
    scale = ap4_reflector(column, i, m, g, h);
    if (scale != 0.0) {
      for (uint32_t j = l; j <= n; ++j) {
        double t = 0.0;
        for (uint32_t k = i; k <= m; ++k) t += s.a(k, i) * s.a(k, j);
        const double factor = t / h;
        for (uint32_t k = i; k <= m; ++k) s.a(k, j) += factor * s.a(k, i);
      }
      for (uint32_t k = i; k <= m; ++k) s.a(k, i) *= scale;
    }
    s.w(i) = scale * g;
    g = scale = 0.0;
    if (i != n) {
      auto row = [&s, i](uint32_t k) -> double& { return s.a(i, k); };
      scale = ap4_reflector(row, l, n, g, h);
      if (scale != 0.0) {
        for (uint32_t k = l; k <= n; ++k) s.e(k) = s.a(i, k) / h;
        if (i != m) {
          for (uint32_t j = l; j <= m; ++j) {
            double t = 0.0;
            for (uint32_t k = l; k <= n; ++k) t += s.a(j, k) * s.a(i, k);
            for (uint32_t k = l; k <= n; ++k) s.a(j, k) += t * s.e(k);
          }
        }
        for (uint32_t k = l; k <= n; ++k) s.a(i, k) *= scale;
      }
    }
    anorm = std::fmax(anorm, std::fabs(s.w(i)) + std::fabs(s.e(i)));
  }
  return anorm;
}

void ap4_accumulate_right(ap4_svd_work& s, double g) {
  const uint32_t n = s.n;
  uint32_t l = n + 1;
  for (uint32_t i = n; i >= 1; --i) {
    if (i < n) {
      if (g != 0.0) {
        for (uint32_t j = l; j <= n; ++j) s.v(j, i) = (s.a(i, j) / s.a(i, l)) / g;
        for (uint32_t j = l; j <= n; ++j) {
          double t = 0.0;
          for (uint32_t k = l; k <= n; ++k) t += s.a(i, k) * s.v(k, j);
          for (uint32_t k = l; k <= n; ++k) s.v(k, j) += t * s.v(k, i);
        }
      }
      for (uint32_t j = l; j <= n; ++j) s.v(i, j) = s.v(j, i) = 0.0;
    }
    s.v(i, i) = 1.0;
    g = s.e(i);
    l = i;
  }
}

void ap4_accumulate_left(ap4_svd_work& s) {
  const uint32_t m = s.m;
  const uint32_t n = s.n;
  for (uint32_t i = n; i >= 1; --i) {
    const uint32_t l = i + 1;
    double g = s.w(i);
    for (uint32_t j = l; j <= n; ++j) s.a(i, j) = 0.0;
    if (g != 0.0) {
      g = 1.0 / g;
      for (uint32_t j = l; j <= n; ++j) {
        double t = 0.0;
        for (uint32_t k = l; k <= m; ++k) t += s.a(k, i) * s.a(k, j);
        const double f = (t / s.a(i, i)) * g;
        for (uint32_t k = i; k <= m; ++k) s.a(k, j) += f * s.a(k, i);
      }
      for (uint32_t j = i; j <= m; ++j) s.a(j, i) *= g;
    } else {
      for (uint32_t j = i; j <= m; ++j) s.a(j, i) = 0.0;
    }
    s.a(i, i) += 1.0;
  }
}

// Rotates columns j and i of a matrix of `rows` rows by (c, s).
template <typename At>
void ap4_rotate(At at, uint32_t rows, uint32_t j, uint32_t i, double c, double s) {
  for (uint32_t r = 1; r <= rows; ++r) {
    const double p = at(r, j);
    const double q = at(r, i);
    at(r, j) = p * c + q * s;
    at(r, i) = q * c - p * s;
  }
}

// QR sweeps on the bidiagonal form; true when every value converged.
bool ap4_diagonalise(ap4_svd_work& s, double anorm) {
  const uint32_t m = s.m;
  const uint32_t n = s.n;
  auto a_at = [&s](uint32_t r, uint32_t c) -> double& { return s.a(r, c); };
  auto v_at = [&s](uint32_t r, uint32_t c) -> double& { return s.v(r, c); };
  bool converged = true;
  for (uint32_t k = n; k >= 1; --k) {
    for (int its = 1; its <= kMaxSweeps; ++its) {
      // e(1) is 0, so the search would end at l = 1 anyway; it stops there
      // also when values that are not numbers defeat the tests.
      bool cancel = false;
      uint32_t l = k;
      for (; l > 1; --l) {
        if (std::fabs(s.e(l)) + anorm == anorm) break;
        if (std::fabs(s.w(l - 1)) + anorm == anorm) {
          cancel = true;
          break;
        }
      }
      if (cancel) {
        const uint32_t nm = l - 1;
        double c = 0.0;
        double sn = 1.0;
        for (uint32_t i = l; i <= k; ++i) {
          const double f = sn * s.e(i);
          s.e(i) = c * s.e(i);
          if (std::fabs(f) + anorm == anorm) break;
          const double g = s.w(i);
          const double h = ap4_hypot(f, g);
          s.w(i) = h;
          c = g / h;
          sn = -f / h;
          ap4_rotate(a_at, m, nm, i, c, sn);
        }
      }
      const double z = s.w(k);
      if (l == k) {
        if (z < 0.0) {
          s.w(k) = -z;
          for (uint32_t j = 1; j <= n; ++j) s.v(j, k) = -s.v(j, k);
        }
        break;
      }
      if (its == kMaxSweeps) converged = false;
      double x = s.w(l);
      const uint32_t nm = k - 1;
      double y = s.w(nm);
      double g = s.e(nm);
      double h = s.e(k);
      double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
      g = ap4_hypot(f, 1.0);
      f = ((x - z) * (x + z) + h * ((y / (f + ap4_sign(g, f))) - h)) / x;
      double c = 1.0;
      double sn = 1.0;
      for (uint32_t j = l; j <= nm; ++j) {
        const uint32_t i = j + 1;
        g = s.e(i);
        y = s.w(i);
        h = sn * g;
        g = c * g;
        double zz = ap4_hypot(f, h);
        s.e(j) = zz;
        c = f / zz;
        sn = h / zz;
        f = x * c + g * sn;
        g = g * c - x * sn;
        h = y * sn;
        y *= c;
        ap4_rotate(v_at, n, j, i, c, sn);
        zz = ap4_hypot(f, h);
        s.w(j) = zz;
        if (zz != 0.0) {
          c = f / zz;
          sn = h / zz;
        }
        f = c * g + sn * y;
        x = c * y - sn * g;
        ap4_rotate(a_at, m, j, i, c, sn);
      }
      s.e(l) = 0.0;
      s.e(k) = f;
      s.w(k) = x;
    }
  }
  return converged;
}

// A new array of rows × columns holding the doubles as floats, or null.
AP4_ARRAY* ap4_new_from(uint32_t rows, uint32_t columns) { return ap4a_New(AP4_CLASS_ID, rows, columns, nullptr); }

void ap4_store(float* to, const double* from, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) to[i] = static_cast<float>(from[i]);
}

}  // namespace

// The two result arrays are made before anything is written, so that the
// decomposition is handed out whole or not at all.
APEXPORT uint32_t AP4_SingularValueDecomposition_ARRAY(AP4_ARRAY* array, AP4_ARRAY** w, AP4_ARRAY** v) {
  if (!ap4a_is_array(array) || IsBadWritePtr(w, sizeof *w) || IsBadWritePtr(v, sizeof *v)) return AP4_SVD_NO_ARRAY;
  const uint32_t m = array->rows;
  const uint32_t n = array->columns;
  if (m < n) return AP4_SVD_TOO_FEW_ROWS;
  float* data = ap4a_GetDataAddress(array);
  if (data == nullptr) return AP4_SVD_NO_DATA;
  ap4d_matrix_guard a(AP4_CopyToDouble(array));
  ap4d_matrix_guard right(AP4D_DblCreate(n, n, 0.0));
  ap4d_matrix_guard values(AP4D_DblCreate(1, n, 0.0));
  ap4d_matrix_guard superdiagonal(AP4D_DblCreate(1, n, 0.0));
  ap4a_new_array w_array(ap4_new_from(1, n));
  ap4a_new_array v_array(ap4_new_from(n, n));
  if (a.get() == nullptr || right.get() == nullptr || values.get() == nullptr || superdiagonal.get() == nullptr ||
      w_array.get() == nullptr || v_array.get() == nullptr)
    return AP4_SVD_NO_MEMORY;
  ap4_svd_work work{m, n, a->values, right->values, values->values, superdiagonal->values};
  double g = 0.0;
  const double anorm = ap4_bidiagonalise(work, g);
  ap4_accumulate_right(work, g);
  ap4_accumulate_left(work);
  const bool converged = ap4_diagonalise(work, anorm);
  {
    ap4a_change_bracket bracket(array);
    ap4_store(data, work.a_values, m * n);
  }
  ap4_store(ap4a_GetDataAddress(w_array.get()), work.w_values, n);
  ap4_store(ap4a_GetDataAddress(v_array.get()), work.v_values, n * n);
  *w = w_array.release();
  *v = v_array.release();
  return converged ? AP4_SVD_OK : AP4_SVD_NOT_CONVERGED;
}
