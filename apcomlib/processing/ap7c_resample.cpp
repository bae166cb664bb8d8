// X-axis units of a spectrum (messages 262 to 264): wavenumbers, micrometres
// and nanometres. Between the two wavelength units only the limits scale;
// between wavenumbers and a wavelength the axis turns into its reciprocal,
// so the values are resampled by linear interpolation onto an even grid of
// the new unit, the intensities of densities per wavenumber weighted by the
// square of the axis position.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>

#include "array/array.h"
#include "core/core.h"
#include "processing/processing.h"
#include "spectrum/spectrum.h"

namespace {

constexpr uint32_t kWavenumbers = 1;
constexpr uint32_t kNanometres = 3;
constexpr uint32_t kMicrometres = 4;

// Reciprocal pairs: nm = 1e7 / cm-1, um = 1e4 / cm-1.
constexpr double kNanometreWavenumbers = 1e7;
constexpr double kMicrometreWavenumbers = 1e4;
constexpr float kNanometresPerMicrometre = 1000.0f;

// The wavenumber grid's step is a multiple of the laser's sampling step.
constexpr float kDefaultLaserFrequency = 15798.0f;
constexpr double kLaserStepPoints = 16384.0;

// Grid ends snap inward to multiples of the step, the low end allowing for
// a thousandth of a step of rounding; the count rounds to within a tenth.
constexpr double kSnapUp = 0.999;
constexpr double kCountSlack = 0.1;

// Y units whose values are densities per wavenumber.
constexpr uint32_t kWeightedUnits[] = {9, AP1_YUNIT_SINGLE_BEAM, AP1_YUNIT_RATIO, AP1_YUNIT_REFERENCE,
                                       AP1_YUNIT_RAMAN};

bool ap7c_weighted(uint32_t y_units) {
  return std::find(std::begin(kWeightedUnits), std::end(kWeightedUnits), y_units) != std::end(kWeightedUnits);
}

// A grid step the resampling accepts: a finite number of normal size.
bool ap7c_usable_step(double step) { return std::isfinite(step) && step >= FLT_MIN; }

// The limits of a wavelength axis turned from micrometres into nanometres
// (x 1000) or back (/ 1000), with the unit code of the result.
uint16_t ap7c_scale_limits(AP7_SPECTRUM* spectrum, bool to_micrometres) {
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  const float first_x = record->first_x;
  const float last_x = record->last_x;
  record->first_x = to_micrometres ? first_x / kNanometresPerMicrometre : first_x * kNanometresPerMicrometre;
  record->last_x = to_micrometres ? last_x / kNanometresPerMicrometre : last_x * kNanometresPerMicrometre;
  record->x_units = to_micrometres ? kMicrometres : kNanometres;
  return 1;
}

// The source axis and what the interpolation reads of it.
struct ap7c_source {
  AP7_SPECTRUM* spectrum;
  double spacing;  // its size
  double centre;   // weighting centre in the source unit; 0 for no weighting
};

// The value at x of the source, weighted when its unit asks; the value of
// the point nearest x where x lies off the data.
float ap7c_weighted_value(const ap7c_source& source, float x, float fallback) {
  float y = fallback;
  if (!ap7a_GetValueAtX(source.spectrum, x, &y)) y = fallback;
  if (source.centre != 0.0) y = static_cast<float>(y * (double{x} * x) / (source.centre * source.centre));
  return y;
}

// The source interpolated linearly at position x.
float ap7c_interpolate(const ap7c_source& source, double x) {
  const AP41_HEADERDATA* record = ap7a_record(source.spectrum);
  int32_t k = 0;
  ap7b_XToIndex(source.spectrum, static_cast<float>(x), &k);
  k = std::clamp<int32_t>(k, 0, static_cast<int32_t>(record->points) - 1);
  float xk = 0.0f;
  ap7b_IndexToX(source.spectrum, k, &xk);
  float nearest = 0.0f;
  ap7a_GetValueAtX(source.spectrum, xk, &nearest);
  // The two grid points around x, in rising order whichever way the axis runs.
  const double d = source.spacing;
  const double xl = x <= xk ? xk - d : xk;
  const double xh = x <= xk ? xk : xk + d;
  const float yl = ap7c_weighted_value(source, static_cast<float>(xl), nearest);
  const float yh = ap7c_weighted_value(source, static_cast<float>(xh), nearest);
  return static_cast<float>(yh - (double{yl} - yh) * (x - xh) / d);
}

// The source's values at n positions a + i * step of the new unit, each
// turned into the source unit by reciprocal / position, installed as its
// data over a..b in the new unit.
uint16_t ap7c_resample(const ap7c_source& source, double a, double b, double step, double reciprocal,
                       uint32_t x_units) {
  const double count = std::trunc((b - a) / step + kCountSlack) + 1.0;
  if (!(count >= 2.0) || count > AP7_MOST_POINTS) return 0;
  const auto n = static_cast<uint32_t>(count);
  GU3_HANDLE block = GU3_Allocate_MM(n, sizeof(float), 1);
  auto* y = block != nullptr ? static_cast<float*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr)) : nullptr;
  if (y == nullptr) {
    if (block != nullptr) GU3_Free_MM(block);
    return 0;
  }
  double position = a;
  for (uint32_t i = 0; i < n; ++i, position += step) y[i] = ap7c_interpolate(source, reciprocal / position);
  if (!ap7b_SetDataHandle(source.spectrum, static_cast<float>(a), static_cast<float>(b), n, block)) {
    GU3_Free_MM(block);
    return 0;
  }
  ap7a_record(source.spectrum)->x_units = x_units;
  return 1;
}

// The source of a resampling: the spectrum's axis, which must hold at least
// two points and lie above zero; its limits low and high.
bool ap7c_prepare(AP7_SPECTRUM* spectrum, ap7c_source& source, double& low, double& high) {
  const AP41_HEADERDATA* record = ap7a_record(spectrum);
  if (record == nullptr || record->points < 2) return false;
  const float first_x = record->first_x;
  const float last_x = record->last_x;
  low = std::min(first_x, last_x);
  high = std::max(first_x, last_x);
  source.spectrum = spectrum;
  source.spacing = std::fabs(ap7b_GetXSpacing(spectrum));
  source.centre = 0.0;
  return low > 0.0 && std::isfinite(high) && source.spacing > 0.0;
}

// A grid step's multiples inside the reciprocal of low..high: a up, b down.
void ap7c_snap(double reciprocal, double low, double high, double step, double& a, double& b) {
  a = std::trunc(reciprocal / high / step + kSnapUp) * step;
  b = std::trunc(reciprocal / low / step) * step;
}

uint16_t ap7c_set_history(AP7_SPECTRUM* spectrum, int16_t bit) {
  return ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), bit);
}

}  // namespace

uint16_t ap7c_ResampleToNanometres(AP7_SPECTRUM* spectrum, float step) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || record->x_units != kWavenumbers || !ap7c_usable_step(step)) return 0;
  ap7c_source source{};
  double low = 0.0;
  double high = 0.0;
  if (!ap7c_prepare(spectrum, source, low, high)) return 0;
  double a = 0.0;
  double b = 0.0;
  ap7c_snap(kNanometreWavenumbers, low, high, step, a, b);
  if (ap7c_weighted(record->y_units)) source.centre = (low + high) / 2.0;
  return ap7c_resample(source, a, b, step, kNanometreWavenumbers, kNanometres);
}

uint16_t ap7c_ResampleToWavenumbers(AP7_SPECTRUM* spectrum, float multiple) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || !ap7c_usable_step(multiple)) return 0;
  // Nanometres become micrometres first, and stay so when a later step fails.
  if (record->x_units == kNanometres && !ap7c_scale_limits(spectrum, true))
    return 0;
  if (record->x_units != kMicrometres) return 0;
  if (record->LaserFreq == 0.0f) record->LaserFreq = kDefaultLaserFrequency;
  const double step = double{multiple} * record->LaserFreq / kLaserStepPoints;
  ap7c_source source{};
  double low = 0.0;
  double high = 0.0;
  if (!ap7c_usable_step(step) || !ap7c_prepare(spectrum, source, low, high)) return 0;
  double a = 0.0;
  double b = 0.0;
  ap7c_snap(kMicrometreWavenumbers, low, high, step, a, b);
  if (ap7c_weighted(record->y_units)) source.centre = kMicrometreWavenumbers / ((a + b) / 2.0);
  return ap7c_resample(source, a, b, step, kMicrometreWavenumbers, kWavenumbers);
}

uint16_t ap7c_XAxisToNanometres(AP7_SPECTRUM* spectrum, float step) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr) return 0;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  switch (record->x_units) {
    case kMicrometres: return ap7c_scale_limits(spectrum, false);
    case kWavenumbers:
      return ap7c_ResampleToNanometres(spectrum, step) && ap7c_set_history(spectrum, AP41_HISTORY_TO_WAVELENGTH);
    default: return 0;
  }
}

uint16_t ap7c_XAxisToMicrometres(AP7_SPECTRUM* spectrum, float step) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr) return 0;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  switch (record->x_units) {
    case kNanometres: return ap7c_scale_limits(spectrum, true);
    case kWavenumbers:
      return ap7c_ResampleToNanometres(spectrum, step * kNanometresPerMicrometre) &&
             ap7c_scale_limits(spectrum, true) &&
             ap7c_set_history(spectrum, AP41_HISTORY_TO_WAVELENGTH);
    default: return 0;
  }
}

uint16_t ap7c_XAxisToWavenumbers(AP7_SPECTRUM* spectrum, float multiple) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || record->x_units == kWavenumbers) return 0;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  return ap7c_ResampleToWavenumbers(spectrum, multiple) && ap7c_set_history(spectrum, AP41_HISTORY_TO_WAVENUMBER);
}
