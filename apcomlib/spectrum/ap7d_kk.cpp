// The Kramers-Kronig transform of a specular-reflectance spectrum into an
// absorption-index spectrum, AP7_Dispatcher_SPECTRUM's message 139.
//
// The phase of the reflected wave is the Hilbert transform of the
// logarithm of the reflectance, taken with two complex FFTs: the inverse
// transform, its upper half of frequencies cleared, and the forward
// transform back. The extinction coefficient follows from reflectance and
// phase; scaled by the wavenumber and normalised to 0..1 it is the result,
// a new spectrum. The input stays as it was.
#include <cmath>
#include <utility>

#include "array/array.h"
#include "core/core.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

// The title prefix and the history label of the result.
constexpr uint16_t kKramersKronigTitle = 11;
constexpr uint16_t kKramersKronigHistory = 25;
// 4 pi / 2303 as a single: the absorption index of k at one wavenumber.
constexpr float kAbsorptionScale = 0.005456522f;
// The working row holds the absorbance, log10(1/R); the phase is the
// transform of ln(1/sqrt R), which is ln 10 / 2 times it, and the halved
// spectrum of the transform pair already gives the 1/2.
constexpr double kLn10 = 2.302585092994046;

// The absorbance row lengthened with zeros to 2N values (the N real parts
// and N imaginary parts of N complex points, N twice the power of two at
// least n) and its real parts from n on a ramp back to the first value, so
// that the periodic sequence joins up. Its values run along a rising axis.
AP4_ARRAY* ap7d_phase_row(AP4_ARRAY* absorbance, uint32_t n, bool falling, uint32_t* complex_points) {
  ap4a_new_array row(ap4a_Duplicate(absorbance, nullptr));
  if (row.get() == nullptr) return nullptr;
  uint32_t p = 1;
  while ((uint32_t{1} << p) < n) ++p;
  p += 2;
  const uint32_t length = uint32_t{1} << p;
  const uint32_t half = length / 2;
  if (ap4a_InsertColumns(row.get(), static_cast<int32_t>(n), static_cast<int32_t>(length - n)) == 0) return nullptr;
  float* a = ap4a_GetDataAddress(row.get());
  if (a == nullptr) return nullptr;
  if (falling) {
    for (uint32_t i = 0; i < n / 2; ++i) std::swap(a[i], a[n - 1 - i]);
  }
  const float first = a[0];
  const float last = a[n - 1];
  const float step = (first - last) / static_cast<float>(half - n);
  for (uint32_t j = n; j < half; ++j) a[j] = last + static_cast<float>(j - n + 1) * step;
  *complex_points = half;
  return row.release();
}

// The Hilbert step: inverse transform, the upper half of frequencies
// cleared in both halves, forward transform.
bool ap7d_hilbert(AP4_ARRAY* row, uint32_t points) {
  if (ap4b_FFT(row, 0, AP4C_FFT_INVERSE) == 0) return false;
  float* a = ap4a_GetDataAddress(row);
  if (a == nullptr) return false;
  for (uint32_t j = points / 2; j < points; ++j) {
    a[j] = 0.0f;
    a[points + j] = 0.0f;
  }
  return ap4b_FFT(row, 0, AP4C_FFT_FORWARD) != 0;
}

// Every absorbance value of t replaced by its absorption index
// k·nu·4pi/2303; false when the working row or a transform fails.
bool ap7d_absorption_index(AP7_SPECTRUM* t) {
  const AP41_HEADERDATA* record = ap7a_record(t);
  const uint32_t n = t->data->columns;
  const float first_x = record->first_x;
  const float last_x = record->last_x;
  const bool falling = first_x > last_x;
  uint32_t points = 0;
  ap4a_new_array row(ap7d_phase_row(t->data, n, falling, &points));
  if (row.get() == nullptr || !ap7d_hilbert(row.get(), points)) return false;
  const float* a = ap4a_GetDataAddress(row.get());
  float* y = ap7b_GetDataPtr(t);
  if (a == nullptr || y == nullptr) return false;
  const float dx = n > 1 ? (last_x - first_x) / static_cast<float>(n - 1) : 0.0f;
  AP1_SetGainType_MATH(t);
  for (uint32_t i = 0; i < n; ++i) {
    const uint32_t rising = falling ? n - 1 - i : i;
    const double theta = -kLn10 / static_cast<double>(points) * a[points + rising];
    const float nu = first_x + static_cast<float>(i) * dx;
    const double r = AP1_NewUnits_MATH(AP1_YUNIT_ABSORBANCE, AP1_YUNIT_REFLECTANCE, y[i]);
    const double root = std::sqrt(r);
    const double q = 1.0 + r - 2.0 * root * std::cos(theta);
    const double k = AP1_KovFloatCompareSG_MATH(static_cast<float>(q), 0.0f) ? 0.0 : -2.0 * root * std::sin(theta) / q;
    y[i] = static_cast<float>(k) * nu * kAbsorptionScale;
  }
  AP1_SetGainType_MATH(nullptr);
  return true;
}

// The values brought to 0..1 when they are not all equal.
void ap7d_normalise(AP7_SPECTRUM* t) {
  float minimum = 0.0f;
  float maximum = 0.0f;
  if (ap7a_MinMax(t, AP_NOT_GIVEN, AP_NOT_GIVEN, &minimum, &maximum) == 0) return;
  const float span = maximum - minimum;
  if (AP1_KovFloatCompareSG_MATH(span, 0.0f)) return;
  ap7a_SubtractScalar(t, AP_NOT_GIVEN, AP_NOT_GIVEN, minimum);
  ap7a_DivideScalar(t, AP_NOT_GIVEN, AP_NOT_GIVEN, span);
}

}  // namespace

AP7_SPECTRUM* ap7d_KramersKronig(AP7_SPECTRUM* spectrum, float x1, float x2) {
  auto* object = reinterpret_cast<AP_OBJECT*>(spectrum);
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || std::isnan(x1) || std::isnan(x2)) return nullptr;
  if (ap7b_TestHistoryFlag(object, AP41_HISTORY_KRAMERS_KRONIG)) return nullptr;
  AP4_CELL first{};
  AP4_CELL last{};
  // One point makes a working row too short for the transform; the cut
  // below would take equal limits for the whole spectrum.
  if (ap7b_XRangeToIndexRange(spectrum, &x1, &x2, &first, &last) < 2) return nullptr;
  ap7a_new_spectrum t(ap7a_Duplicate(spectrum, nullptr));
  if (t.get() == nullptr || ap7b_ClampXRange(t.get(), &x1, &x2) == 0) return nullptr;
  if (ap7b_ConvertToAbsorbance(t.get(), 0) == 0) return nullptr;
  if (ap4b_FillNaNGaps(t.get()->data) == 0 || !ap7d_absorption_index(t.get())) return nullptr;
  if (const char* title = GU4_GetAssocString(AP7_GROUP_TITLE_PREFIX, kKramersKronigTitle, nullptr, nullptr))
    ap7d_PrependTitle(t.get(), title);
  ap7d_normalise(t.get());
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(t.get()), AP41_HISTORY_KRAMERS_KRONIG);
  if (ap7d_AddHistoryLine(t.get(), kKramersKronigHistory)) ap7d_AddHistoryText(t.get(), "\r\n");
  return t.release();
}
