// MATH conversions of single Y values between the absorbance family, percent
// transmittance or reflectance, Kubelka-Munk and the fractions, each in
// place, keeping a missing value missing and clamping at fixed limits
// instead of making infinities; the gain-type flag that picks the narrow or
// the wide limits of the Combine forms; conversions of single X values
// between wavenumbers and wavelengths or energies; and the small
// classifications of Y units (peak direction, whether a conversion is
// needed, the X unit that goes with it) that the spectrum layer asks for.
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

// A fixed limit of a conversion: inputs beyond `bound` (or at it, when
// inclusive) take `value` instead of the formula's result.
struct Limit {
  float bound;
  bool inclusive;
  float value;
};

bool ap1a_below(float input, Limit limit) { return limit.inclusive ? input <= limit.bound : input < limit.bound; }

float ap1a_percent_of_absorbance(float absorbance) {
  return static_cast<float>(100.0 * std::exp(-std::log(10.0) * absorbance));
}

// Percent from absorbance: above `high` the value becomes `floor`.
void ap1a_from_absorbance(float* value, float high, float floor) {
  if (!ap1a_convertible(value)) return;
  if (*value > high) {
    *value = floor;
  } else if (*value < kLowestAbsorbance) {
    *value = kFullPercent;
  } else {
    *value = ap1a_percent_of_absorbance(*value);
  }
}

// Absorbance from percent, with the value of the limit below which the
// logarithm is not taken.
void ap1a_to_absorbance(float* value, Limit limit) {
  if (!ap1a_convertible(value)) return;
  *value = ap1a_below(*value, limit) ? limit.value : static_cast<float>(-std::log(*value / 100.0) / std::log(10.0));
}

// Kubelka-Munk from percent reflectance: a fraction below the limit (0 and
// every negative value among them) takes the limit's value, so the quotient
// never divides by 0. A reflectance above 100 % gives a negative value,
// which AP1_FromKM_MATH turns back.
void ap1a_to_kubelka_munk(float* value, Limit limit) {
  if (!ap1a_convertible(value)) return;
  const float fraction = static_cast<float>(*value / 100.0);
  if (ap1a_below(fraction, limit)) {
    *value = limit.value;
    return;
  }
  const double remission = (1.0 - fraction) * (1.0 - fraction) / (2.0 * fraction);
  *value = static_cast<float>(fraction > 1.0f ? -remission : remission);
}

constexpr Limit kNarrowAbsorbanceLimit{kNarrowLimit, false, kNarrowAbsorbance};
constexpr Limit kWideAbsorbanceLimit{kWideLimit, false, kWideAbsorbance};
constexpr Limit kNarrowKubelkaMunkLimit{kNarrowLimit, false, kNarrowKubelkaMunk};
constexpr Limit kWideKubelkaMunkLimit{kWideLimit, false, kWideKubelkaMunk};
// The Absolute forms stop only where the formula itself breaks down.
constexpr Limit kAbsoluteKubelkaMunkLimit{1e-16f, true, 5e15f};

bool ap1a_wide_limits() { return g_gain_type == 1; }

}  // namespace

APEXPORT void AP1_FromAbs_MATH(float* value) { ap1a_from_absorbance(value, kNarrowAbsorbance, kNarrowLimit); }

APEXPORT void AP1_FromAbsExpand_MATH(float* value) { ap1a_from_absorbance(value, kWideAbsorbance, kWideLimit); }

APEXPORT void AP1_FromAbsCombine_MATH(float* value) {
  if (ap1a_wide_limits()) AP1_FromAbsExpand_MATH(value);
  else AP1_FromAbs_MATH(value);
}

APEXPORT void AP1_FromAbsAbsolute_MATH(float* value) {
  if (ap1a_convertible(value)) *value = ap1a_percent_of_absorbance(*value);
}

APEXPORT void AP1_ToAbs_MATH(float* value) { ap1a_to_absorbance(value, kNarrowAbsorbanceLimit); }

APEXPORT void AP1_ToAbsExpand_MATH(float* value) { ap1a_to_absorbance(value, kWideAbsorbanceLimit); }

APEXPORT void AP1_ToAbsCombine_MATH(float* value) {
  if (ap1a_wide_limits()) AP1_ToAbsExpand_MATH(value);
  else AP1_ToAbs_MATH(value);
}

APEXPORT void AP1_ToAbsAbsolute_MATH(float* value) {
  ap1a_to_absorbance(value, Limit{0.0f, true, ap1a_wide_limits() ? kWideAbsorbance : kNarrowAbsorbance});
}

APEXPORT void AP1_ToKM_MATH(float* value) { ap1a_to_kubelka_munk(value, kNarrowKubelkaMunkLimit); }

APEXPORT void AP1_ToKMExpand_MATH(float* value) { ap1a_to_kubelka_munk(value, kWideKubelkaMunkLimit); }

APEXPORT void AP1_ToKMCombine_MATH(float* value) {
  if (ap1a_wide_limits()) AP1_ToKMExpand_MATH(value);
  else AP1_ToKM_MATH(value);
}

APEXPORT void AP1_ToKMAbsolute_MATH(float* value) { ap1a_to_kubelka_munk(value, kAbsoluteKubelkaMunkLimit); }

APEXPORT void AP1_FromKM_MATH(float* value) {
  if (!ap1a_convertible(value)) return;
  const double f = *value;
  const double fraction = f > 0.0 ? (1.0 + f) - std::sqrt((1.0 + f) * (1.0 + f) - 1.0)
                                  : (1.0 - f) + std::sqrt((f - 1.0) * (f - 1.0) - 1.0);
  *value = static_cast<float>(100.0 * fraction);
}

// Photoacoustic values are taken as they are measured: the pair exists so
// that every Y unit has its conversion to call.
APEXPORT void AP1_FromPAS_MATH() {}
APEXPORT void AP1_ToPAS_MATH() {}

APEXPORT float AP1_NewUnits_MATH(uint32_t from_code, uint32_t to_code, float value) {
  if (ap1_is_missing(value)) return value;
  switch (from_code) {
    case AP1_YUNIT_LOG_INVERSE_R:
    case AP1_YUNIT_ABSORBANCE: AP1_FromAbs_MATH(&value); break;
    case AP1_YUNIT_KUBELKA_MUNK: AP1_FromKM_MATH(&value); break;
    case AP1_YUNIT_REFLECTANCE:
    case AP1_YUNIT_TRANSMITTANCE: value *= kFullPercent; break;
    case AP1_YUNIT_PHOTOACOUSTIC: AP1_FromPAS_MATH(); break;
    default: break;  // percent already and the rest stay as they are
  }
  switch (to_code) {
    case AP1_YUNIT_LOG_INVERSE_R:
    case AP1_YUNIT_ABSORBANCE: AP1_ToAbs_MATH(&value); break;
    case AP1_YUNIT_KUBELKA_MUNK: AP1_ToKM_MATH(&value); break;
    case AP1_YUNIT_REFLECTANCE:
    case AP1_YUNIT_TRANSMITTANCE: value /= kFullPercent; break;
    case AP1_YUNIT_PHOTOACOUSTIC: AP1_ToPAS_MATH(); break;
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

// ---------------------------------------------------------------------------
// X units

namespace {

constexpr float kWavenumbersPerElectronvolt = 8065.8f;
// What a wavelength of 0 or less stands for, in wavenumbers.
constexpr float kHighestWavenumber = 40000.0f;

// Wavelength and wavenumber are each other's reciprocal, scaled; a value of 0
// or less has no reciprocal and takes `at_zero` instead.
void ap1a_reciprocal(float* value, float scale, float at_zero) { *value = *value > 0.0f ? scale / *value : at_zero; }

}  // namespace

APEXPORT void AP1_FromWavenumbers_MATH(int16_t code, float* value) {
  if (!ap1a_convertible(value)) return;
  switch (code) {
    case AP1_XUNIT_MICROMETRES: ap1a_reciprocal(value, 10000.0f, 1000.0f); break;
    case AP1_XUNIT_NANOMETRES: ap1a_reciprocal(value, 1e7f, 1e6f); break;
    case AP1_XUNIT_ELECTRONVOLTS: *value /= kWavenumbersPerElectronvolt; break;
    default: break;
  }
}

APEXPORT void AP1_ToWavenumbers_MATH(int16_t code, float* value) {
  if (!ap1a_convertible(value)) return;
  switch (code) {
    case AP1_XUNIT_MICROMETRES: ap1a_reciprocal(value, 10000.0f, kHighestWavenumber); break;
    case AP1_XUNIT_NANOMETRES: ap1a_reciprocal(value, 1e7f, kHighestWavenumber); break;
    case AP1_XUNIT_ELECTRONVOLTS: *value *= kWavenumbersPerElectronvolt; break;
    default: break;
  }
}

// ---------------------------------------------------------------------------
// Classification of Y units

APEXPORT uint16_t AP1_GetPeakDir_MATH(uint16_t y_code) {
  switch (y_code) {
    case AP1_YUNIT_PERCENT_REFLECTANCE:
    case AP1_YUNIT_SINGLE_BEAM:
    case AP1_YUNIT_PERCENT_TRANSMITTANCE:
    case AP1_YUNIT_REFLECTANCE:
    case AP1_YUNIT_TRANSMITTANCE:
    case AP1_YUNIT_REFERENCE: return AP1_PEAKS_DOWN;
    default: return AP1_PEAKS_UP;
  }
}

APEXPORT int16_t AP1_GetConvertNeeded_MATH(int16_t y_code) {
  switch (y_code) {
    case 8:
    case 9:
    case 10:
    case AP1_YUNIT_LOG_INVERSE_R:
    case 13:
    case 14:
    case AP1_YUNIT_ABSORBANCE:
    case 18:
    case AP1_YUNIT_RATIO:
    case AP1_YUNIT_INTERFEROGRAM:
    case AP1_YUNIT_PHOTOACOUSTIC:
    case AP1_YUNIT_RAMAN: return 0;
    default: return 1;
  }
}

APEXPORT uint16_t AP1_GetXUnits_MATH(uint16_t y_code) {
  switch (y_code) {
    case 10: return 6;
    case AP1_YUNIT_INTERFEROGRAM: return 2;
    case AP1_YUNIT_RAMAN: return 32;
    default: return AP1_XUNIT_WAVENUMBERS;
  }
}
