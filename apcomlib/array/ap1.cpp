// MATH helpers: the missing and not-given markers, the tolerant equality of
// floats and doubles that every numeric comparison of the library goes
// through, NaN-aware minimum, maximum and square root, and small helpers on
// element pairs and bit words. No state.
#include <cfloat>
#include <cmath>
#include <cstring>

#include "array/array.h"

namespace {
constexpr float kSingleTolerance = 9.5367431640625e-07f;     // 2^-20
constexpr double kDoubleTolerance = 7.105427357601002e-15;  // 2^-47
}  // namespace

bool ap1_is_missing(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return (bits & 0x7FC00000u) == 0x7FC00000u;
}

bool ap1_is_missing_db(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return (static_cast<uint32_t>(bits >> 32) & 0x7FFF0000u) == 0x7FFF0000u;
}

APEXPORT uint16_t AP1_KovFloatCompareSG_MATH(float a, float b) {
  const bool a_missing = ap1_is_missing(a);
  const bool b_missing = ap1_is_missing(b);
  if (a_missing || b_missing) return a_missing && b_missing ? 1 : 0;
  const float abs_a = std::fabs(a);
  const float abs_b = std::fabs(b);
  if (abs_a <= FLT_MIN && abs_b <= FLT_MIN) return 1;
  const float larger = abs_b >= abs_a ? abs_b : abs_a;
  const long double difference = std::fabs(static_cast<long double>(a) - static_cast<long double>(b));
  const float ratio = static_cast<float>(difference / larger);
  return ratio < kSingleTolerance ? 1 : 0;
}

APEXPORT uint16_t AP1_KovFloatCompareDB_MATH(double a, double b) {
  const bool a_missing = ap1_is_missing_db(a);
  const bool b_missing = ap1_is_missing_db(b);
  if (a_missing || b_missing) return a_missing && b_missing ? 1 : 0;
  const double abs_a = std::fabs(a);
  const double abs_b = std::fabs(b);
  if (abs_a <= DBL_MIN && abs_b <= DBL_MIN) return 1;
  const double larger = abs_b >= abs_a ? abs_b : abs_a;
  return std::fabs(a - b) / larger < kDoubleTolerance ? 1 : 0;
}

APEXPORT float AP1_GetNaNSG_MATH() {
  float value;
  std::memcpy(&value, &AP_NAN_BITS, sizeof value);
  return value;
}

APEXPORT double AP1_GetNaNDB_MATH() {
  double value;
  std::memcpy(&value, &AP_NAN_BITS_DB, sizeof value);
  return value;
}

APEXPORT void AP1_Square_MATH(float* value) {
  if (value != nullptr) *value = *value * *value;
}

APEXPORT float AP1_SquareRoot_MATH(float value) {
  if (ap1_is_missing(value) || value < -FLT_MIN) return AP1_GetNaNSG_MATH();
  if (std::fabs(value) <= FLT_MIN) return 0.0f;
  return std::sqrt(value);
}

APEXPORT void AP1_SQRT_MATH(float* value) {
  if (value != nullptr) *value = AP1_SquareRoot_MATH(*value);
}

APEXPORT float AP1_Min_MATH(float a, float b) {
  const bool a_missing = ap1_is_missing(a);
  const bool b_missing = ap1_is_missing(b);
  if (a_missing && b_missing) return FLT_MAX;
  if (a_missing) return b;
  if (b_missing) return a;
  return a < b ? a : b;
}

APEXPORT float AP1_Max_MATH(float a, float b) {
  const bool a_missing = ap1_is_missing(a);
  const bool b_missing = ap1_is_missing(b);
  if (a_missing && b_missing) return -FLT_MAX;
  if (a_missing) return b;
  if (b_missing) return a;
  return a < b || a == b ? b : a;
}

APEXPORT int16_t AP1_lpMakeElement_MATH(AP1_ELEMENT* out, uint32_t first, uint32_t second) {
  if (out == nullptr) return 0;
  *out = AP1_ELEMENT{first, second};
  return 1;
}

APEXPORT int16_t AP1_CompareElements_MATH(uint32_t first1, uint32_t second1, uint32_t first2, uint32_t second2) {
  return first1 == first2 && second1 == second2 ? 1 : 0;
}

APEXPORT int16_t AP1_SetBitLong_MATH(uint32_t* word, uint16_t bit) {
  if (word == nullptr || bit >= 32) return 0;
  *word |= 1u << bit;
  return 1;
}

int16_t ap1_ClearBitLong(uint32_t* word, uint16_t bit) {
  if (word == nullptr || bit >= 32) return 0;
  *word &= ~(1u << bit);
  return 1;
}

int32_t ap1_truncate(double value) {
  if (!(value >= static_cast<double>(INT32_MIN) && value < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(value);
}
