// Regrids and shifts of a spectrum's X axis.
//
// A regrid samples a stretch of the data onto a new even grid through the
// ARRAY's spline resampling, in a duplicate that then takes the new values:
// message 64 continues the data with their end values where the new grid
// passes them, message 239 keeps the grid inside the data and continues it
// with copies of its last value. The shifts move the axis by an amount:
// message 295 moves this spectrum's axis and samples the moved spectrum back
// onto the old grid, message 296 moves a copy's axis by whole spacings.
// AP7_Dispatcher_SPECTRUM calls these for their messages.
//
// Both regrids run on an axis that rises: a duplicate of a falling one is
// turned first, so no walk along the axis can run away from its target.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// A new grid from low to high takes its points up to a little past high, so
// that rounding does not lose the last one.
constexpr double kGridSlack = 1.002;

bool ap7a_positive(float spacing) { return spacing > 0.0f && std::isfinite(spacing); }

// The points of a grid from low to high, 0 when there would be too many.
uint32_t ap7a_grid_points(double low, double high, float spacing) {
  const double points = (high - low) / spacing + kGridSlack;
  return points >= 1.0 && points <= AP7_MOST_POINTS ? static_cast<uint32_t>(points) : 0;
}

}  // namespace

// A duplicate of the spectrum whose axis rises, with at least two points and
// a spacing; null otherwise.
AP7_SPECTRUM* ap7a_rising_copy(AP7_SPECTRUM* spectrum) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || record->points < 2 || !std::isfinite(record->first_x) || !std::isfinite(record->last_x) ||
      record->first_x == record->last_x)
    return nullptr;
  ap7a_new_spectrum copy(ap7a_Duplicate(spectrum, nullptr));
  if (copy.get() == nullptr || !ap7a_MakeXAscending(copy.get())) return nullptr;
  return copy.release();
}

namespace {

// Points added at one end, each taking the value of the end point.
bool ap7a_continue_end(AP7_SPECTRUM* spectrum, bool at_start, uint32_t count) {
  if (count == 0) return true;
  if (count > AP7_MOST_POINTS || !ap7a_InsertPoints(spectrum, at_start ? 1 : 0, static_cast<int32_t>(count)))
    return false;
  float* y = ap7b_GetDataPtr(spectrum);
  const uint32_t points = ap7a_record(spectrum)->points;
  if (y == nullptr || spectrum->data->columns < points) return false;
  if (at_start)
    std::fill(y, y + count, y[count]);
  else
    std::fill(y + points - count, y + points, y[points - count - 1]);
  return true;
}

}  // namespace

// The spectrum's values sampled onto the grid of count points from first_x
// with the spacing, which the spectrum then takes as its data.
bool ap7a_resample(AP7_SPECTRUM* spectrum, double first_x, float spacing, uint32_t count) {
  const AP41_HEADERDATA* record = ap7a_record(spectrum);
  const AP4_TRANSFORMPARM grid{{record->first_x, ap7b_GetXSpacing(spectrum), static_cast<float>(first_x), spacing},
                               static_cast<int32_t>(count),
                               {},
                               0};
  ap4a_new_array values(ap4b_RangeTransform(spectrum->data, &grid));
  GU3_HANDLE block = values.get() != nullptr ? ap4a_CopyDataOut(values.get()) : nullptr;
  if (block == nullptr) return false;
  const auto last_x = static_cast<float>(first_x + double{spacing} * (count - 1));
  if (!ap7b_SetDataHandle(spectrum, static_cast<float>(first_x), last_x, count, block)) {
    GU3_Free_MM(block);
    return false;
  }
  return ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_INTERPOLATED) != 0;
}

namespace {

// The axis of a spectrum, kept to be put back.
struct ap7a_axis {
  float first_x;
  float last_x;
  float laser_line;
};

bool ap7a_set_axis(AP7_SPECTRUM* spectrum, const ap7a_axis& axis) {
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return false;
  record->first_x = axis.first_x;
  record->last_x = axis.last_x;
  record->p44 = axis.laser_line;
  return true;
}

ap7a_axis ap7a_axis_of(const AP41_HEADERDATA& record) { return {record.first_x, record.last_x, record.p44}; }

// The axis moved by d; the laser line moves with it, against it on a Raman
// shift axis.
bool ap7a_move_axis(AP7_SPECTRUM* spectrum, double d) {
  const AP41_HEADERDATA& record = *ap7a_record(spectrum);
  float laser_line = record.p44;
  if (!std::isnan(laser_line))
    laser_line = static_cast<float>(record.x_units == AP41_XUNITS_RAMAN_SHIFT ? laser_line - d : laser_line + d);
  return ap7a_set_axis(spectrum, {static_cast<float>(record.first_x + d), static_cast<float>(record.last_x + d),
                                  laser_line});
}

}  // namespace

// The data are continued below the grid's start and above its end where the
// grid passes them, as the resampling cannot start below the data.
AP7_SPECTRUM* ap7a_RangeTransform(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing) {
  if (!ap7a_positive(spacing) || !std::isfinite(x1) || !std::isfinite(x2)) return nullptr;
  const double low = std::min(x1, x2);
  const double high = std::max(x1, x2);
  const uint32_t count = ap7a_grid_points(low, high, spacing);
  if (count == 0) return nullptr;
  ap7a_new_spectrum copy(ap7a_rising_copy(spectrum));
  if (copy.get() == nullptr) return nullptr;
  float first = x1;
  float last = x2;
  AP4_CELL start{};
  AP4_CELL end{};
  if (ap7b_XRangeToIndexRange(copy.get(), &first, &last, &start, &end) <= 0) return nullptr;
  const AP41_HEADERDATA* record = ap7a_record(copy.get());
  const double old_spacing = ap7b_GetXSpacing(copy.get());
  if (record->first_x > low) {
    const double below = std::ceil((record->first_x - low) / old_spacing);
    if (below > AP7_MOST_POINTS || !ap7a_continue_end(copy.get(), true, static_cast<uint32_t>(below))) return nullptr;
    // The new first X is rounded: one more point where it stayed above.
    if (record->first_x > low && !ap7a_continue_end(copy.get(), true, 1)) return nullptr;
  }
  if (record->last_x < high && !ap7a_continue_end(copy.get(), false, 1)) return nullptr;
  if (!ap7a_resample(copy.get(), low, spacing, count)) return nullptr;
  return copy.release();
}

AP7_SPECTRUM* ap7a_RangeTransform2(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing) {
  if (!ap7a_positive(spacing) || !std::isfinite(x1) || !std::isfinite(x2)) return nullptr;
  const uint32_t count = ap7a_grid_points(std::min(x1, x2), std::max(x1, x2), spacing);
  if (count == 0 || std::fabs(double{x2} - x1) < spacing) return nullptr;
  ap7a_new_spectrum copy(ap7a_rising_copy(spectrum));
  if (copy.get() == nullptr) return nullptr;
  float first = x1;
  float last = x2;
  AP4_CELL start{};
  AP4_CELL end{};
  if (ap7b_XRangeToIndexRange(copy.get(), &first, &last, &start, &end) <= 0) return nullptr;
  const double low = std::min(first, last);
  const double high = std::min<double>(std::max(first, last), ap7a_record(copy.get())->last_x);
  const uint32_t inside = std::min(ap7a_grid_points(low, high, spacing), count);
  if (inside < 2) return nullptr;
  if (!ap7a_resample(copy.get(), low, spacing, inside) || !ap7a_continue_end(copy.get(), false, count - inside))
    return nullptr;
  return copy.release();
}

// A failed regrid puts the axis back where it was.
APEXPORT AP7_SPECTRUM* AP7_ShiftXAxis_SPECTRUM(AP7_SPECTRUM* spectrum, float dx) {
  float first_x = 0.0f;
  float last_x = 0.0f;
  if (!std::isfinite(dx) || ap7b_GetXRange(ap7a_spectrum(spectrum), &first_x, &last_x) < 2) return nullptr;
  const float spacing = std::fabs(ap7b_GetXSpacing(spectrum));
  const ap7a_axis before = ap7a_axis_of(*ap7a_record(spectrum));
  if (!ap7a_positive(spacing) || !ap7a_move_axis(spectrum, dx)) return nullptr;
  AP7_SPECTRUM* regridded = ap7a_RangeTransform(spectrum, first_x, last_x, spacing);
  if (regridded == nullptr) ap7a_set_axis(spectrum, before);
  return regridded;
}

APEXPORT AP7_SPECTRUM* AP7_ShiftXExact_SPECTRUM(AP7_SPECTRUM* spectrum, float dx) {
  if (!std::isfinite(dx)) return nullptr;
  ap7a_new_spectrum copy(ap7a_Duplicate(ap7a_spectrum(spectrum), nullptr));
  float first_x = 0.0f;
  float last_x = 0.0f;
  if (ap7b_GetXRange(copy.get(), &first_x, &last_x) == 0) return nullptr;
  const double spacing = ap7b_GetXSpacing(copy.get());
  const double steps = dx / spacing + 0.5;
  if (!std::isfinite(steps) || std::fabs(steps) >= INT32_MAX) return nullptr;
  if (!ap7a_move_axis(copy.get(), ap1_TruncateToInt32(steps) * spacing)) return nullptr;
  return copy.release();
}
