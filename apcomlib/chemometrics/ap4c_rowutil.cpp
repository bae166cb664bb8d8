// Row utilities that the ARRAY interferogram and smoothing operations build
// on: the tabulated quadratic Savitzky-Golay smoothing coefficients for the
// odd windows of 5 to 25 points, and the left rotation of a one-row array
// that puts an interferogram's centre burst at point 0 before its
// transform.
#include <cstdint>
#include <cstring>

#include "chemometrics/chemometrics.h"

namespace {

constexpr int32_t kSmallestWindow = 5;
constexpr int32_t kLargestWindow = 25;

// The common denominator of each window's coefficients, w = 5, 7, ..., 25.
constexpr int64_t ap4c_sg_normalisers[] = {35, 21, 231, 429, 143, 1105, 323, 2261, 3059, 805, 5175};

// Numerator over the window's normaliser of the coefficient at offset i of
// the centre, for m = (w - 1) / 2: the coefficient is
// 3(3m² + 3m - 1 - 5i²) / ((2m + 3)(2m + 1)(2m - 1)), and the normaliser
// divides that denominator, so the numerator is a whole number.
int64_t ap4c_sg_numerator(int64_t m, int64_t i, int64_t normaliser) {
  const int64_t denominator = (2 * m + 3) * (2 * m + 1) * (2 * m - 1);
  return 3 * (3 * m * m + 3 * m - 1 - 5 * i * i) * normaliser / denominator;
}

}  // namespace

uint16_t ap4c_SGSmoothTabulated(float* coefficients, int32_t window) {
  if (coefficients == nullptr || window % 2 == 0 || window < kSmallestWindow || window > kLargestWindow) return 0;
  const int32_t m = (window - 1) / 2;
  const int64_t normaliser = ap4c_sg_normalisers[(window - kSmallestWindow) / 2];
  for (int32_t i = 0; i <= m; ++i) {
    const float value = static_cast<float>(ap4c_sg_numerator(m, i, normaliser)) / static_cast<float>(normaliser);
    coefficients[m - i] = value;
    coefficients[m + i] = value;
  }
  return 1;
}

uint16_t ap4c_PrepareFFTBuffer(AP4_ARRAY* array, uint32_t n) {
  if (!ap4a_is_array(array) || array->rows != 1 || n > array->columns) return 0;
  float* values = ap4a_GetDataAddress(array);
  if (n == 0) return 1;
  if (values == nullptr) return 0;
  GU3_HANDLE buffer = GU3_Allocate_MM(n, sizeof(float), GU3_KIND_GLOBAL);
  auto* front = static_cast<float*>(GU3_GetPointer_MM(buffer, 0, nullptr, nullptr));
  if (front == nullptr) {
    GU3_Free_MM(buffer);
    return 0;
  }
  const uint32_t rest = array->columns - n;
  std::memcpy(front, values, n * sizeof(float));
  std::memmove(values, values + n, rest * sizeof(float));
  std::memcpy(values + rest, front, n * sizeof(float));
  GU3_Free_MM(buffer);
  return 1;
}
