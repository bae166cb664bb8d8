// The black-body reference: a spectrum of the radiance of a black body at a
// temperature, by Planck's law in wavenumbers (cgs units), on an even grid.
// The white-light correction of Raman spectra divides by it; the spectrum
// dispatcher answers message 167 with it, sent to the class.
#include <cmath>

#include "core/core.h"
#include "spectrum/spectrum.h"

namespace {

// Planck's first radiation constant 2hc² and h·c/k, in the units the
// radiance is kept in.
constexpr double kFirstRadiation = 3.7418336e-5;
constexpr double kPlanckC = 1.9864818e-16;
constexpr double kBoltzmann = 1.3807e-16;

double ap7b_radiance(double wavenumber, double temperature) {
  const double denominator = std::expm1(wavenumber * kPlanckC / (kBoltzmann * temperature));
  return denominator != 0.0 ? kFirstRadiation * wavenumber * wavenumber * wavenumber / denominator : 0.0;
}

}  // namespace

AP7_SPECTRUM* ap7b_NewForSpacing(uint16_t class_id, float x1, float x2, float spacing, float temperature) {
  if (class_id != AP7_CLASS_ID || !std::isfinite(x1) || !std::isfinite(x2) || !std::isfinite(spacing) ||
      spacing == 0.0f || !std::isfinite(temperature) || !(temperature > 0.0f))
    return nullptr;
  const double count = std::trunc((static_cast<double>(x2) - x1) / spacing + 1.5);
  if (!(count >= 2.0) || count > AP7_MOST_POINTS) return nullptr;
  const auto n = static_cast<uint32_t>(count);
  ap7a_new_spectrum curve(ap7a_NewInit(AP7_CLASS_ID, n, nullptr));
  float* y = ap7b_GetDataPtr(curve.get());
  AP41_HEADERDATA* record = ap7a_record(curve.get());
  if (y == nullptr || record == nullptr) return nullptr;
  // The first point of a grid from 0 has no radiance.
  const bool from_zero = AP1_KovFloatCompareSG_MATH(x1, 0.0f) != 0;
  for (uint32_t k = 0; k < n; ++k) {
    const double wavenumber = static_cast<double>(x1) + static_cast<double>(k) * spacing;
    y[k] = k == 0 && from_zero ? 0.0f : static_cast<float>(ap7b_radiance(wavenumber, temperature));
  }
  record->first_x = x1;
  record->last_x = x2;
  record->y_units = AP1_YUNIT_REFERENCE;
  record->x_units = AP1_XUNIT_WAVENUMBERS;
  return curve.release();
}
