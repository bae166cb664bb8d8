// Savitzky-Golay filters built from first principles: the coefficients of a
// least-squares polynomial fit over a symmetric window (through the normal
// equations and the symmetric inverse), their spreading over segments
// separated by gaps with an optional weighted second derivative, and the
// application of such a filter to every row of an ARRAY.
//
// Exported; the filter and its application are also reached through ARRAY
// messages 334 and 335. The results are new objects that the caller owns.
#include <cstdint>

#include "chemometrics/chemometrics.h"

namespace {

constexpr int32_t kWindowLimit = 61;
constexpr uint32_t kMaxOrder = 6;
constexpr int32_t kMaxDerivative = 2;
constexpr uint32_t kNegatedCode = 10;

// The filter array of 1 × L: L = (n − 1) × (gap + width) + width, worked
// out wide so that a large gap cannot wrap round.
int64_t ap4d_filter_length(int32_t window, uint32_t gap, int32_t width) {
  return int64_t{window - 1} * (int64_t{gap} + width) + width;
}

// Adds coefficient i × factor to `width` positions, then skips `gap`.
void ap4d_spread(float* filter, const double* coefficients, int32_t window, uint32_t gap, int32_t width,
                 float factor) {
  uint32_t at = 0;
  for (int32_t i = 0; i < window; ++i) {
    const float value = static_cast<float>(coefficients[i]);
    for (int32_t k = 0; k < width; ++k) filter[at++] += value * factor;
    at += gap;
  }
}

}  // namespace

APEXPORT AP4D_DBLMATRIX AP4D_DblSGCoefficients(int32_t window, uint32_t order, int32_t derivative) {
  if (derivative < 0 || derivative > kMaxDerivative) return nullptr;
  int64_t p = order;
  if (window < p + 1) p = int64_t{window} - 1;
  if (p < 1 || p > kMaxOrder || window % 2 == 0 || window >= kWindowLimit) return nullptr;
  const auto n = static_cast<uint32_t>(window);
  const auto terms = static_cast<uint32_t>(p + 1);
  ap4d_matrix_guard x(AP4D_DblCreate(n, terms, 0.0));
  if (x.get() == nullptr) return nullptr;
  for (uint32_t i = 0; i < n; ++i) {
    const double offset = (1.0 - window) / 2.0 + i;
    double power = 1.0;
    for (uint32_t j = 0; j < terms; ++j, power *= offset) x->values[i * terms + j] = power;
  }
  ap4d_matrix_guard xt(AP4D_DblTranspose(x.get()));
  ap4d_matrix_guard normal(AP4D_DblMatrixMultiply(xt.get(), x.get()));
  ap4d_matrix_guard inverse(AP4D_DblSqInverse(normal.get()));
  ap4d_matrix_guard g(AP4D_DblMatrixMultiply(inverse.get(), xt.get()));
  ap4d_matrix_guard result(AP4D_DblCreate(n, 1, 0.0));
  if (g.get() == nullptr || result.get() == nullptr) return nullptr;
  if (derivative <= p) {
    const double factorial = derivative == 2 ? 2.0 : 1.0;
    for (uint32_t i = 0; i < n; ++i) result->values[i] = factorial * g->values[derivative * n + i];
  }
  return result.release();
}

APEXPORT AP4_ARRAY* AP4_SGCoefficients_ARRAY(const AP4_ARRAY* receiver, uint32_t code, int32_t window,
                                             int32_t order, uint32_t gap, int32_t width, int32_t second_derivative,
                                             float weight) {
  if (!ap4a_is_array(receiver) || width < 1 || width % 2 == 0 || order < 0) return nullptr;
  const uint32_t derivative = code >= kNegatedCode ? code - kNegatedCode : code;
  if (derivative > kMaxDerivative) return nullptr;
  ap4d_matrix_guard c(AP4D_DblSGCoefficients(window, static_cast<uint32_t>(order), static_cast<int32_t>(derivative)));
  if (c.get() == nullptr) return nullptr;
  const bool with_second = second_derivative >= 0;
  ap4d_matrix_guard c2(with_second ? AP4D_DblSGCoefficients(window, static_cast<uint32_t>(order), second_derivative)
                                   : nullptr);
  if (with_second && c2.get() == nullptr) return nullptr;
  const int64_t length = ap4d_filter_length(window, gap, width);
  if (length > INT32_MAX) return nullptr;
  ap4a_new_array filter(ap4a_New(AP4_CLASS_ID, 1, static_cast<uint32_t>(length), nullptr));
  float* values = ap4a_GetDataAddress(filter.get());
  if (values == nullptr) return nullptr;
  const float k = 1.0f / static_cast<float>((int64_t{gap} + width) * width);
  ap4d_spread(values, c->values, window, gap, width, k);
  if (with_second) ap4d_spread(values, c2->values, window, gap, width, weight * k);
  for (int64_t i = 0; i < length; ++i) {
    if (code >= kNegatedCode) values[i] = -values[i];
    if (derivative > static_cast<uint32_t>(order)) values[i] = 0.0f;
  }
  return filter.release();
}

APEXPORT uint32_t AP4_ApplyFilterToVector_ARRAY(const AP4_ARRAY* data, const AP4_ARRAY* filter, float scale,
                                                uint32_t zero) {
  if (!ap4a_is_array(data) || !ap4a_is_array(filter)) return 0;
  const float* taps = ap4a_GetDataAddress(filter);
  if (taps == nullptr) return 0;
  const uint32_t length = filter->rows * filter->columns;
  const uint32_t half = (length - 1) / 2;
  ap4a_new_array result(ap4a_Duplicate(const_cast<AP4_ARRAY*>(data), nullptr));
  const float* in = ap4a_GetDataAddress(data);
  float* out = ap4a_GetDataAddress(result.get());
  if (in == nullptr || out == nullptr) return 0;
  const uint32_t m = data->columns;
  for (uint32_t row = 0; row < data->rows; ++row, in += m, out += m) {
    if (zero != 0)
      for (uint32_t j = 0; j < m; ++j) out[j] = 0.0f;
    for (uint32_t s = 0; s + length <= m; ++s) {
      float acc = 0.0f;
      for (uint32_t j = 0; j < length; ++j) {
        if (ap1_is_missing(in[s + j])) {
          acc = AP1_GetNaNSG_MATH();
          break;
        }
        acc = in[s + j] * taps[j] + acc;
      }
      out[s + half] = ap1_is_missing(acc) ? AP1_GetNaNSG_MATH() : acc * scale;
    }
  }
  return ap_object_result(result.release());
}
