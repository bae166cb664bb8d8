// The ratio of a sample spectrum against up to five others (background,
// dark, E, reference, factor) by one of twelve formulas, point by point over
// the range all of them share, and the common index range of up to six
// spectra that it walks.
//
// The spectra given are never changed: the formula runs on working copies,
// brought to single beams on the sample's grid when the caller asks for
// it, and every copy is deleted on every path. AP7_Dispatcher_SPECTRUM calls
// the ratio for message 438.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "array/array.h"
#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// Spacings a power of two apart share a key: the magnitude doubled until
// it reaches this, with the spacing's sign.
constexpr double kKeySpan = 8000.0;
constexpr double kKeyTolerance = 0.1;
// Denominators up to the smallest normal f32 give a missing point.
constexpr double kSmallestDenominator = 1.17549435e-38;

// The spectra besides the sample, in block order, and their bits.
enum ap7b_role : int { kBackground, kDark, kE, kReference, kFactor, kRoles };
constexpr uint8_t kB = 1 << kBackground;
constexpr uint8_t kD = 1 << kDark;
constexpr uint8_t kE_ = 1 << kE;
constexpr uint8_t kR = 1 << kReference;
constexpr uint8_t kF = 1 << kFactor;

struct ap7b_mode_use {
  uint8_t required;
  uint8_t optional;
};

ap7b_mode_use ap7b_use_of(uint16_t mode) {
  switch (mode) {
    case 1:
    case 2: return {kB | kD, 0};
    case 3: return {kB | kE_ | kR, 0};
    case 4: return {kB | kR, 0};
    case 5: return {kR, 0};
    case 6: return {kB | kD | kE_, 0};
    case 7: return {kB | kD | kR | kF, 0};
    case 8: return {kB | kD | kE_ | kR | kF, 0};
    case 9: return {kB, kD | kE_};
    case 10: return {kB, kD | kR};
    case 11: return {kB | kR, kD | kE_};
    default: return {kB, 0};
  }
}

// Modes whose reference is a transmittance rather than a single beam.
bool ap7b_transmittance_reference(uint16_t mode) { return mode == 4 || mode == 10 || mode == 11; }

bool ap7b_single_beam_like(uint32_t units) {
  return units == AP1_YUNIT_SINGLE_BEAM || units == AP41_YUNITS_REFERENCE_RATIO;
}

bool ap7b_transmittance_like(uint32_t units) {
  return units == AP1_YUNIT_PERCENT_TRANSMITTANCE || units == AP1_YUNIT_TRANSMITTANCE ||
         units == AP1_YUNIT_PERCENT_REFLECTANCE || units == AP1_YUNIT_REFLECTANCE;
}

// One point of the mode's formula from the values at it (absent spectra
// read as 0); the denominator decides first whether there is a value.
double ap7b_formula(uint16_t mode, double s, const double v[kRoles], uint8_t given, double a, double b, double c) {
  const double dark = v[kDark];
  const double background = v[kBackground];
  const double reference = v[kReference];
  const double offset_background = (given & kE_) != 0 ? background - v[kE] : background;
  double numerator = s;
  double denominator = background;
  double shift = 0.0;
  switch (mode) {
    case 1: numerator = s - dark; denominator = background - dark; break;
    case 2: numerator = s - dark; break;
    case 3: numerator = s * v[kE]; denominator = background * reference; break;
    case 4: numerator = s * reference; break;
    case 5: denominator = reference; break;
    case 6: numerator = s - dark; denominator = background - v[kE]; break;
    case 7: numerator = (s - dark) * v[kFactor]; denominator = background * reference; break;
    case 8: numerator = (s - dark) * v[kFactor]; denominator = (background - v[kE]) * reference; break;
    case 9: numerator = s - dark - a; denominator = offset_background - b; break;
    case 10:
      numerator = (s - dark - a) * ((given & kR) != 0 ? reference : 1.0);
      shift = c;
      break;
    case 11:
      numerator = (s - dark - a) * reference;
      denominator = offset_background - b;
      shift = c;
      break;
    default: break;
  }
  if (std::isnan(denominator) || std::fabs(denominator) <= kSmallestDenominator) return NAN;
  return numerator / denominator - shift;
}

// The copy the formula works on: the spectrum as it is, or prepared as a
// single beam (a transmittance for the reference of some modes) at the
// sample's spacing.
AP7_SPECTRUM* ap7b_working_copy(AP7_SPECTRUM* spectrum, ap7b_role role, uint16_t mode, float spacing, uint16_t laser,
                                uint16_t prepare) {
  if (prepare == 0) return ap7a_Duplicate(spectrum, nullptr);
  const uint32_t units = ap7a_record(spectrum)->y_units;
  const bool same_grid = AP1_KovFloatCompareSG_MATH(ap7b_GetXSpacing(spectrum), spacing) != 0;
  const float wanted = std::fabs(spacing);
  if (role == kReference && ap7b_transmittance_reference(mode)) {
    if (!same_grid || !ap7b_transmittance_like(units)) return ap7b_GetDataForm(spectrum, AP7_FORM_RATIO, wanted, laser);
    ap7a_new_spectrum copy(ap7a_Duplicate(spectrum, nullptr));
    return copy.get() != nullptr && ap7b_PercentToFraction(copy.get()) ? copy.release() : nullptr;
  }
  if (same_grid && ap7b_single_beam_like(units)) return ap7a_Duplicate(spectrum, nullptr);
  return ap7b_GetDataForm(spectrum, AP7_FORM_SAMPLE_SINGLE_BEAM, wanted, laser);
}

// The working copies, deleted on every path.
struct ap7b_working_set {
  AP7_SPECTRUM* spectra[kRoles] = {};
  ap7b_working_set() = default;
  ap7b_working_set(const ap7b_working_set&) = delete;
  ap7b_working_set& operator=(const ap7b_working_set&) = delete;
  ~ap7b_working_set() {
    for (AP7_SPECTRUM* spectrum : spectra)
      if (spectrum != nullptr) ap7a_Delete(spectrum, nullptr);
  }
};

double ap7b_spacing_key(const AP7_SPECTRUM* spectrum) {
  const double spacing = ap7b_GetXSpacing(spectrum);
  double key = std::fabs(spacing);
  if (key > 0.0 && std::isfinite(key))
    while (key < kKeySpan) key *= 2.0;
  return spacing < 0.0 ? -key : key;
}

// The limits moved to the nearest points of the spectrum's grid, clipped to
// its ends; false when both land on one point.
bool ap7b_snap(const AP7_SPECTRUM* spectrum, float& x1, float& x2) {
  const int64_t points = ap7a_record(spectrum)->points;
  if (points < 2 || ap7b_GetXSpacing(spectrum) == 0.0f) return false;
  int32_t index[2] = {0, 0};
  ap7b_XToIndex(spectrum, x1, &index[0]);
  ap7b_XToIndex(spectrum, x2, &index[1]);
  for (int32_t& i : index) i = static_cast<int32_t>(std::min<int64_t>(std::max(i, 0), points - 1));
  if (index[0] == index[1]) return false;
  ap7b_IndexToX(spectrum, index[0], &x1);
  ap7b_IndexToX(spectrum, index[1], &x2);
  return true;
}

}  // namespace

int32_t ap7b_CommonRangeMulti(const AP7_SPECTRUM* sample, float* x1, float* x2, AP4_CELL* first, AP4_CELL* last,
                              const AP7_SPECTRUM* s1, AP4_CELL* first1, AP4_CELL* last1, const AP7_SPECTRUM* s2,
                              AP4_CELL* first2, AP4_CELL* last2, const AP7_SPECTRUM* s3, AP4_CELL* first3,
                              AP4_CELL* last3, const AP7_SPECTRUM* s4, AP4_CELL* first4, AP4_CELL* last4,
                              const AP7_SPECTRUM* s5, AP4_CELL* first5, AP4_CELL* last5) {
  const AP7_SPECTRUM* others[] = {s1, s2, s3, s4, s5};
  AP4_CELL* firsts[] = {first1, first2, first3, first4, first5};
  AP4_CELL* lasts[] = {last1, last2, last3, last4, last5};
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(sample));
  if (record == nullptr || IsBadWritePtr(x1, sizeof *x1) || IsBadWritePtr(x2, sizeof *x2) ||
      IsBadWritePtr(first, sizeof *first) || IsBadWritePtr(last, sizeof *last))
    return 0;
  for (int i = 0; i < kRoles; ++i) {
    if (others[i] == nullptr) continue;
    if (ap7a_record(ap7a_spectrum(others[i])) == nullptr || IsBadWritePtr(firsts[i], sizeof(AP4_CELL)) ||
        IsBadWritePtr(lasts[i], sizeof(AP4_CELL)))
      return 0;
  }
  float low = *x1;
  float high = *x2;
  if (std::isnan(low) || std::isnan(high)) return 0;
  if (ap1_not_given(low) || ap1_not_given(high) || AP1_KovFloatCompareSG_MATH(low, high)) {
    low = record->first_x;
    high = record->last_x;
  }
  const double key = ap7b_spacing_key(sample);
  if (!ap7b_snap(sample, low, high)) return 0;
  for (const AP7_SPECTRUM* other : others) {
    if (other == nullptr) continue;
    if (!(std::fabs(ap7b_spacing_key(other) - key) <= kKeyTolerance) || !ap7b_snap(other, low, high)) return 0;
  }
  if (!ap7b_snap(sample, low, high)) return 0;
  *x1 = low;
  *x2 = high;
  const int32_t count = ap7b_XRangeToIndexRange(sample, x1, x2, first, last);
  if (count < 1) return 0;
  for (int i = 0; i < kRoles; ++i) {
    if (others[i] == nullptr) continue;
    float other_low = *x1;
    float other_high = *x2;
    if (ap7b_XRangeToIndexRange(others[i], &other_low, &other_high, firsts[i], lasts[i]) < count) return 0;
  }
  return count;
}

AP7_SPECTRUM* ap7b_RatioConformed(AP7_SPECTRUM* sample, uint16_t mode, AP7_SPECTRUM* background, AP7_SPECTRUM* dark,
                                  AP7_SPECTRUM* e, AP7_SPECTRUM* reference, AP7_SPECTRUM* factor, float a, float b,
                                  float c, uint16_t laser, uint16_t prepare) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(sample));
  if (record == nullptr) return nullptr;
  AP7_SPECTRUM* const given[kRoles] = {background, dark, e, reference, factor};
  const ap7b_mode_use use = ap7b_use_of(mode);
  uint8_t used = 0;
  for (int role = 0; role < kRoles; ++role) {
    const auto bit = static_cast<uint8_t>(1 << role);
    if (given[role] == nullptr) {
      if ((use.required & bit) != 0) return nullptr;
      continue;
    }
    if (ap7a_record(ap7a_spectrum(given[role])) == nullptr) return nullptr;
    if (((use.required | use.optional) & bit) != 0) used |= bit;
  }

  const bool sample_ready = prepare == 0 || ap7b_single_beam_like(record->y_units);
  ap7a_new_spectrum working_sample(sample_ready ? ap7a_Duplicate(sample, nullptr)
                                                : ap7b_GetDataForm(sample, AP7_FORM_SAMPLE_SINGLE_BEAM, 0.0f, laser));
  AP7_SPECTRUM* s = working_sample.get();
  if (s == nullptr) return nullptr;
  const float spacing = ap7b_GetXSpacing(s);
  ap7b_working_set working;
  for (int role = 0; role < kRoles; ++role) {
    if ((used & (1 << role)) == 0) continue;
    working.spectra[role] =
        ap7b_working_copy(given[role], static_cast<ap7b_role>(role), mode, spacing, laser, prepare);
    // The formula pairs points by index: every copy must share the
    // sample's grid, not only a spacing a power of two apart.
    if (working.spectra[role] == nullptr || !ap7d_CompareSpacing(s, working.spectra[role])) return nullptr;
  }

  float x1 = AP_NOT_GIVEN;
  float x2 = AP_NOT_GIVEN;
  AP4_CELL first{};
  AP4_CELL last{};
  AP4_CELL firsts[kRoles]{};
  AP4_CELL lasts[kRoles]{};
  AP7_SPECTRUM** w = working.spectra;
  const int32_t count = ap7b_CommonRangeMulti(s, &x1, &x2, &first, &last, w[0], &firsts[0], &lasts[0], w[1],
                                              &firsts[1], &lasts[1], w[2], &firsts[2], &lasts[2], w[3], &firsts[3],
                                              &lasts[3], w[4], &firsts[4], &lasts[4]);
  if (count < 1) return nullptr;
  const float* sample_y = ap7b_GetDataPtr(s);
  if (sample_y == nullptr || s->data->columns < static_cast<uint32_t>(first.column) + count) return nullptr;
  const float* y[kRoles] = {};
  for (int role = 0; role < kRoles; ++role) {
    if (w[role] == nullptr) continue;
    y[role] = ap7b_GetDataPtr(w[role]);
    if (y[role] == nullptr || w[role]->data->columns < static_cast<uint32_t>(firsts[role].column) + count)
      return nullptr;
  }

  ap7a_new_spectrum result(ap7b_NewLike(s, nullptr));
  ap4a_new_array values(ap4a_New(AP4_CLASS_ID, 1, static_cast<uint32_t>(count), nullptr));
  if (result.get() == nullptr || values.get() == nullptr ||
      !ap7a_LinkData(result.get(), values.get(), x1, x2, static_cast<uint32_t>(count)))
    return nullptr;
  values.release();
  float* out = ap7b_GetDataPtr(result.get());
  if (out == nullptr) return nullptr;
  const float missing = AP1_GetNaNSG_MATH();
  for (int32_t i = 0; i < count; ++i) {
    double v[kRoles] = {};
    for (int role = 0; role < kRoles; ++role)
      if (y[role] != nullptr) v[role] = y[role][firsts[role].column + i];
    const double value = ap7b_formula(mode, sample_y[first.column + i], v, used, a, b, c);
    out[i] = std::isnan(value) ? missing : static_cast<float>(value);
  }

  // The result's background fields and unit come from the spectrum it is
  // ratioed against.
  const AP41_HEADERDATA* against = ap7a_record(mode == 5 ? w[kReference] : w[kBackground]);
  AP41_HEADERDATA* made = ap7a_record(result.get());
  made->BKNumScans = against->NumScans;
  made->BKGain = against->Gain;
  made->BKBadScans = against->BadScans;
  made->BKCollectErrorMap = against->CollectErrorMap;
  const bool against_reference = against->y_units == AP41_YUNITS_REFERENCE;
  made->y_units = against_reference ? AP41_YUNITS_REFERENCE_RATIO : AP1_YUNIT_TRANSMITTANCE;
  if (!ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(result.get()), AP41_HISTORY_RATIO)) return nullptr;
  if (!against_reference && !ap7b_ConvertToTransmittance(result.get(), 1)) return nullptr;
  return result.release();
}
