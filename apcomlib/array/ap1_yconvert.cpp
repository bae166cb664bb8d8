// MATH conversions of single Y values between the absorbance family, percent
// transmittance or reflectance, Kubelka-Munk and the fractions, each in
// place, keeping a missing value missing and clamping at fixed limits
// instead of making infinities; and the gain-type flag that picks the narrow
// or the wide limits of the Combine forms.
//
// Owns the gain-type flag, which lives for the process: spectrum operations
// set it from a spectrum's gain (AP1_SetGainType_MATH) around the
// conversions they make, and the annotation class converts its label values
// with the Combine forms.
#include <cmath>

#include "array/array.h"
#include "spectrum/spectrum.h"

namespace {

// The limits, as single-precision values.
constexpr float kNarrowLimit = 0.0001f;
constexpr float kWideLimit = 1e-6f;
constexpr float kNarrowAbsorbance = 6.0f;
constexpr float kWideAbsorbance = 8.0f;
constexpr float kLowestAbsorbance = -12.0f;
constexpr float kFullPercent = 100.0f;
constexpr float kNarrowKubelkaMunk = 5000.0f;
constexpr float kWideKubelkaMunk = 500000.0f;

uint16_t g_gain_type = 0;

bool ap1a_convertible(const float* value) { return value != nullptr && !ap1_is_missing(*value); }

// Percent from absorbance: above `limit` the value becomes `floor`.
void ap1a_from_absorbance(float* value, float limit, float floor) {
  if (!ap1a_convertible(value)) return;
  if (*value > limit) {
    *value = floor;
  } else if (*value < kLowestAbsorbance) {
    *value = kFullPercent;
  } else {
    *value = static_cast<float>(100.0 * std::exp(-std::log(10.0) * *value));
  }
}

// Absorbance from percent: below `limit` the value becomes `ceiling`.
void ap1a_to_absorbance(float* value, float limit, float ceiling) {
  if (!ap1a_convertible(value)) return;
  *value = *value < limit ? ceiling : static_cast<float>(-std::log(*value / 100.0) / std::log(10.0));
}

// Kubelka-Munk from percent reflectance: a fraction below `limit` (0 and
// every negative value among them) becomes `ceiling`, so the quotient never
// divides by 0. A reflectance above 100 % gives a negative value, which
// AP1_FromKM_MATH turns back.
void ap1a_to_kubelka_munk(float* value, float limit, float ceiling) {
  if (!ap1a_convertible(value)) return;
  const float fraction = static_cast<float>(*value / 100.0);
  if (fraction < limit) {
    *value = ceiling;
    return;
  }
  const double remission = (1.0 - fraction) * (1.0 - fraction) / (2.0 * fraction);
  *value = static_cast<float>(fraction > 1.0f ? -remission : remission);
}

bool ap1a_wide_limits() { return g_gain_type == 1; }

}  // namespace

APEXPORT void AP1_FromAbs_MATH(float* value) { ap1a_from_absorbance(value, kNarrowAbsorbance, kNarrowLimit); }

APEXPORT void AP1_FromAbsCombine_MATH(float* value) {
  if (ap1a_wide_limits()) ap1a_from_absorbance(value, kWideAbsorbance, kWideLimit);
  else ap1a_from_absorbance(value, kNarrowAbsorbance, kNarrowLimit);
}

APEXPORT void AP1_ToAbs_MATH(float* value) { ap1a_to_absorbance(value, kNarrowLimit, kNarrowAbsorbance); }

APEXPORT void AP1_ToAbsCombine_MATH(float* value) {
  if (ap1a_wide_limits()) ap1a_to_absorbance(value, kWideLimit, kWideAbsorbance);
  else ap1a_to_absorbance(value, kNarrowLimit, kNarrowAbsorbance);
}

APEXPORT void AP1_ToKM_MATH(float* value) { ap1a_to_kubelka_munk(value, kNarrowLimit, kNarrowKubelkaMunk); }

APEXPORT void AP1_ToKMCombine_MATH(float* value) {
  if (ap1a_wide_limits()) ap1a_to_kubelka_munk(value, kWideLimit, kWideKubelkaMunk);
  else ap1a_to_kubelka_munk(value, kNarrowLimit, kNarrowKubelkaMunk);
}

APEXPORT void AP1_FromKM_MATH(float* value) {
  if (!ap1a_convertible(value)) return;
  const double f = *value;
  const double fraction = f > 0.0 ? (1.0 + f) - std::sqrt((1.0 + f) * (1.0 + f) - 1.0)
                                  : (1.0 - f) + std::sqrt((f - 1.0) * (f - 1.0) - 1.0);
  *value = static_cast<float>(100.0 * fraction);
}

APEXPORT float AP1_NewUnits_MATH(uint32_t from_code, uint32_t to_code, float value) {
  if (ap1_is_missing(value)) return value;
  switch (from_code) {
    case AP1_YUNIT_LOG_INVERSE_R:
    case AP1_YUNIT_ABSORBANCE: AP1_FromAbs_MATH(&value); break;
    case AP1_YUNIT_KUBELKA_MUNK: AP1_FromKM_MATH(&value); break;
    case AP1_YUNIT_REFLECTANCE:
    case AP1_YUNIT_TRANSMITTANCE: value *= kFullPercent; break;
    default: break;  // percent already, photoacoustic values and the rest stay as they are
  }
  switch (to_code) {
    case AP1_YUNIT_LOG_INVERSE_R:
    case AP1_YUNIT_ABSORBANCE: AP1_ToAbs_MATH(&value); break;
    case AP1_YUNIT_KUBELKA_MUNK: AP1_ToKM_MATH(&value); break;
    case AP1_YUNIT_REFLECTANCE:
    case AP1_YUNIT_TRANSMITTANCE: value /= kFullPercent; break;
    default: break;
  }
  return value;
}

// A gain counts as whole when it equals its truncation within the library's
// tolerance; a spectrum without a readable gain, or with a missing one,
// counts as gain 1.
APEXPORT uint16_t AP1_SetGainType_MATH(void* spectrum) {
  if (spectrum == nullptr) return g_gain_type = 0;
  float gain = 1.0f;
  void* header = ap_result_object<void>(GU2_DoMethod_MSG(AP7_MSG_GET_HEADER, spectrum, nullptr));
  if (header == nullptr || GU2_GetParmValue_MSG(header, AP41_GAIN, &gain) != 1 || ap1_is_missing(gain)) gain = 1.0f;
  return g_gain_type = AP1_KovFloatCompareSG_MATH(gain, std::trunc(gain)) ? 0 : 1;
}
