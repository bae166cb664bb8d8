// Division and multiplication of a spectrum by a reference that may lie on
// another grid, and regridding: the reference is first brought onto the
// spectrum's grid, by cutting a copy where the spacings agree or by
// sampling it anew where they do not. The same regridding samples a
// spectrum onto the standard grid tied to the reference laser.
// AP7_Dispatcher_SPECTRUM calls these for messages 213, 284 and 320; the
// white-light correction divides by its black body here.
#include <algorithm>
#include <cmath>
#include <utility>

#include "chemometrics/chemometrics.h"
#include "core/core.h"
#include "spectrum/spectrum.h"

namespace {

using ap7d_pair_operation = AP7_SPECTRUM* (*)(AP7_SPECTRUM*, float, float, AP7_SPECTRUM*);

bool ap7d_positive(float value) { return std::isfinite(value) && value > 0.0f; }

// A regridded copy, which rises, turned round to fall as the spectrum does.
bool ap7d_turn_round(AP7_SPECTRUM* spectrum) {
  AP41_HEADERDATA& record = *ap7a_record(spectrum);
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun() || ap4d_ReverseRows(spectrum->data) == 0) return false;
  std::swap(record.first_x, record.last_x);
  return true;
}

// The reference on the spectrum's grid over the spectrum's range.
AP7_SPECTRUM* ap7d_on_grid_of(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* reference) {
  const AP41_HEADERDATA& record = *ap7a_record(spectrum);
  float x1 = record.first_x;
  float x2 = record.last_x;
  const float spacing = ap7b_GetXSpacing(spectrum);
  if (AP1_KovFloatCompareSG_MATH(spacing, ap7b_GetXSpacing(reference)) != 0) {
    ap7a_new_spectrum cut(ap7a_Duplicate(reference, nullptr));
    if (cut.get() == nullptr || ap7b_ClampXRange(cut.get(), &x1, &x2) == 0) return nullptr;
    return cut.release();
  }
  ap7a_new_spectrum regridded(ap7d_RegridRange(reference, x1, x2, std::fabs(spacing)));
  if (regridded.get() == nullptr || (spacing < 0.0f && !ap7d_turn_round(regridded.get()))) return nullptr;
  return regridded.release();
}

AP7_SPECTRUM* ap7d_by_reference(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* reference, int16_t keep_units,
                                ap7d_pair_operation operation) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (ap7a_record(checked) == nullptr || ap7a_record(ap7a_spectrum(reference)) == nullptr) return nullptr;
  ap7a_new_spectrum on_grid(ap7d_on_grid_of(checked, reference));
  if (on_grid.get() == nullptr) return nullptr;
  ap7a_new_spectrum result(operation(checked, AP_NOT_GIVEN, AP_NOT_GIVEN, on_grid.get()));
  AP41_HEADERDATA* record = ap7a_record(result.get());
  if (record == nullptr) return nullptr;
  if (keep_units == 0) {
    record->y_units = ap7a_record(on_grid.get())->y_units;
    record->x_units = ap7a_record(on_grid.get())->x_units;
  }
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(result.get()), AP41_HISTORY_REFERENCE_DIVIDE);
  return result.release();
}

// The standard spacing times the power of two that comes nearest d from
// below (d itself when it is such a spacing); 0 for a d that is not a
// positive number.
float ap7d_laser_spacing(float d) {
  if (!ap7d_positive(d)) return 0.0f;
  float base = AP7_STANDARD_SPACING;
  if (base <= d) {
    while (base < d) base *= 2.0f;
    if (AP1_KovFloatCompareSG_MATH(base, d) == 0) base /= 2.0f;
  } else {
    while (base > d) base /= 2.0f;
    if (AP1_KovFloatCompareSG_MATH(2.0f * base, d) != 0) base *= 2.0f;
  }
  return ap7d_positive(base) ? base : 0.0f;
}

}  // namespace

AP7_SPECTRUM* ap7d_ReferenceDivide(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* reference, int16_t keep_units) {
  return ap7d_by_reference(spectrum, reference, keep_units, ap7a_DivideSpectra);
}

AP7_SPECTRUM* ap7d_ReferenceMultiply(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* reference, int16_t keep_units) {
  return ap7d_by_reference(spectrum, reference, keep_units, ap7a_MultiplySpectra);
}

// A spacing of 0, below 0 or not a number is refused: the count of points
// divides by it.
AP7_SPECTRUM* ap7d_RegridRange(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing) {
  if (!ap7d_positive(spacing) || !std::isfinite(x1) || !std::isfinite(x2)) return nullptr;
  if (x2 < x1) std::swap(x1, x2);
  const double count = std::trunc((static_cast<double>(x2) - x1) / spacing + 1.5);
  if (!(count >= 2.0) || count > AP7_MOST_POINTS) return nullptr;
  ap7a_new_spectrum copy(ap7a_rising_copy(spectrum));
  if (copy.get() == nullptr || !ap7a_resample(copy.get(), x1, spacing, static_cast<uint32_t>(count))) return nullptr;
  return copy.release();
}

AP7_SPECTRUM* ap7d_RegridToLaserSpacing(AP7_SPECTRUM* spectrum) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr) return nullptr;
  const float grid = ap7d_laser_spacing(std::fabs(ap7b_GetXSpacing(spectrum)));
  if (grid == 0.0f) return nullptr;
  const double low = std::min(record->first_x, record->last_x);
  const double high = std::max(record->first_x, record->last_x);
  const auto x1 = static_cast<float>(std::trunc(low / grid + 0.99) * grid);
  const auto x2 = static_cast<float>(std::trunc(high / grid) * grid);
  return ap7d_RegridRange(spectrum, x1, x2, grid);
}
