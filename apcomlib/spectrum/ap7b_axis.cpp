// The X axis of a spectrum and the conversions between X values and point
// indexes.
//
// The axis is never stored point by point: it is the even grid of three
// header parameters, the number of points n (p3), the first X (p6) and the
// last X (p7). This module owns the spacing of that grid, X to index and
// back, X ranges to index ranges (with the not-given marker for an open
// end), the common range of two spectra, the operations that trim or pad the
// data to an X range (keeping p3, p6 and p7 consistent with the data) and
// the marking of a grid's points inside an interval. AP7_Dispatcher_SPECTRUM
// calls these for their messages, and every spectrum operation that takes X
// values converts them here.
//
// Arithmetic runs in double precision on the single-precision header values;
// what goes back into a header value, a float out-argument or an X variable
// is rounded to f32 there.
#include <algorithm>
#include <cmath>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// The tolerance of the trimming ends, relative to the limit and never below
// the same share of the spacing.
constexpr float kRelativeTolerance = 2e-6f;
// Padding reaches this many points beyond the grid point nearest each limit.
constexpr int32_t kPadPoints = 4;
// A grid whose step is finer than the spectrum's own spacing is tested with
// a half width a little above half that spacing.
constexpr double kCoarseHalfWidthDivisor = 1.95;
// Beyond any point count, and far enough from the 32-bit limits that the
// index arithmetic around it cannot wrap.
constexpr int32_t kFarIndex = INT32_MAX / 2;

// A spectrum with a header, else null.
const AP41_HEADERDATA* ap7b_axis_of(const AP7_SPECTRUM* spectrum) { return ap7a_record(ap7a_spectrum(spectrum)); }

float ap7b_x_at(const AP41_HEADERDATA* axis, double spacing, int64_t index) {
  return static_cast<float>(static_cast<double>(index) * spacing + axis->first_x);
}

bool ap7b_inside(const AP41_HEADERDATA* axis, int64_t index) { return index >= 0 && index < int64_t{axis->points}; }

// The nearest point index of x; false (and no index) for a spacing of 0 or
// an x that is not a number. Halfway between two points the higher
// candidate wins. An x far beyond either end takes a far index on its own
// side, so that a range reaching out there still ends beyond the data.
bool ap7b_nearest(const AP7_SPECTRUM* spectrum, const AP41_HEADERDATA* axis, float x, int32_t& index) {
  const double spacing = ap7b_GetXSpacing(spectrum);
  if (spacing == 0.0) return false;
  const double reach = (x - double{axis->first_x}) / spacing;
  if (std::isnan(reach)) return false;
  if (std::fabs(reach) > kFarIndex) {
    index = reach > 0 ? kFarIndex : -kFarIndex;
    return true;
  }
  const double half = spacing / 2;
  const int32_t below = ap1_TruncateToInt32((x - double{axis->first_x} - half) / spacing);
  const int32_t above = ap1_TruncateToInt32((x - double{axis->first_x} + half) / spacing);
  const double off_below = std::fabs(x - double{ap7b_x_at(axis, spacing, below)});
  const double off_above = std::fabs(x - double{ap7b_x_at(axis, spacing, above)});
  index = off_below < off_above ? below : above;
  return true;
}

AP4_CELL ap7b_cell(int32_t index) { return AP4_CELL{0, index}; }

// The index range of x1..x2 on one spectrum, the limits snapped to its grid.
// An axis running downward gives its indexes in ascending order too.
int32_t ap7b_index_range(const AP7_SPECTRUM* spectrum, const AP41_HEADERDATA* axis, float& x1, float& x2,
                         AP4_CELL& first, AP4_CELL& last) {
  first = AP4_CELL{0, 0};
  last = AP4_CELL{-1, -1};
  const int64_t points = axis->points;
  if (ap1_not_given(x1) && ap1_not_given(x2)) {
    x1 = axis->first_x;
    x2 = axis->last_x;
    last = ap7b_cell(static_cast<int32_t>(std::min<int64_t>(points - 1, INT32_MAX)));
    return static_cast<int32_t>(std::min<int64_t>(points, INT32_MAX));
  }
  const float low = x1 < x2 ? x1 : x2;
  const float high = x1 <= x2 ? x2 : x1;
  int32_t low_index = 0;
  int32_t high_index = 0;
  if (!ap7b_nearest(spectrum, axis, low, low_index) || !ap7b_nearest(spectrum, axis, high, high_index)) return 0;
  if (low_index > high_index) std::swap(low_index, high_index);
  if (high_index < 0 || low_index >= points) return 0;
  low_index = std::max(low_index, 0);
  high_index = static_cast<int32_t>(std::min<int64_t>(high_index, points - 1));
  const double spacing = ap7b_GetXSpacing(spectrum);
  x1 = ap7b_x_at(axis, spacing, low_index);
  x2 = ap7b_x_at(axis, spacing, high_index);
  first = ap7b_cell(low_index);
  last = ap7b_cell(high_index);
  return high_index - low_index + 1;
}

// The axis correction of an interferogram after points went in or out at
// its start: the axis then moves as any other spectrum's does, the value
// and index of the peak with it.
void ap7b_interferogram_start_moved(AP7_SPECTRUM* spectrum, int64_t inserted) {
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  if (record->y_units != AP41_YUNITS_INTERFEROGRAM || inserted == 0) return;
  const double shift = static_cast<double>(inserted) * ap7b_GetXSpacing(spectrum);
  record->p30 = static_cast<float>(record->p30 - shift);
  record->FinalPeakPos = static_cast<uint32_t>(std::max<int64_t>(0, int64_t{record->FinalPeakPos} - inserted));
  record->first_x = static_cast<float>(record->first_x - shift);
  record->last_x = static_cast<float>(record->last_x - shift);
}

// Points in (positive count) or out (negative) at one end; a count beyond
// 32 bits is refused.
bool ap7b_resize_end(AP7_SPECTRUM* spectrum, bool at_start, int64_t count) {
  if (count > INT32_MAX || count < -int64_t{INT32_MAX}) return false;
  const auto points = static_cast<int32_t>(count > 0 ? count : -count);
  const uint16_t ok = count > 0 ? ap7a_InsertPoints(spectrum, at_start ? 1 : 0, points)
                                : ap7a_DeletePoints(spectrum, at_start ? 1 : 0, points);
  if (ok && at_start) ap7b_interferogram_start_moved(spectrum, count);
  return ok != 0;
}

// How the trimming family finds the grid point of each end, what it gives
// new points, and what it tests.
struct ap7b_fit_rule {
  bool tolerance;      // step outward past a limit beyond the relative tolerance
  int32_t pad;         // points beyond the nearest grid point of each limit
  bool pad_only;       // insert where the range passes an end, never delete
  bool missing_fill;   // new points become missing values
  bool equal_no_op;    // equal limits change nothing
  bool test_between;    // fewer than two points left after the low end fail
};

constexpr ap7b_fit_rule kClamp{true, 0, false, false, true, true};
constexpr ap7b_fit_rule kExtend{false, 0, false, true, false, false};
constexpr ap7b_fit_rule kClampNearest{false, 0, false, false, false, true};
constexpr ap7b_fit_rule kPad{false, kPadPoints, true, true, false, false};

// The grid index of one end. With the tolerance a limit lying beyond its
// nearest grid point by more than the tolerance takes the next point out;
// on a falling axis "beyond" the start is above it.
bool ap7b_end_index(AP7_SPECTRUM* spectrum, float limit, bool low_end, bool rising, const ap7b_fit_rule& rule,
                    int64_t& index) {
  const AP41_HEADERDATA* axis = ap7a_record(spectrum);
  int32_t nearest = 0;
  if (!ap7b_nearest(spectrum, axis, limit, nearest)) return false;
  index = nearest;
  if (rule.tolerance) {
    const double spacing = ap7b_GetXSpacing(spectrum);
    const double floor = spacing * kRelativeTolerance;
    const double tolerance = std::max(std::fabs(double{limit} * kRelativeTolerance), floor);
    const double above = double{ap7b_x_at(axis, spacing, index)} - limit;
    const double beyond = rising ? above : -above;
    if (low_end ? beyond > tolerance : beyond < -tolerance) index += low_end ? -1 : 1;
  }
  index += low_end ? -rule.pad : rule.pad;
  return true;
}

// Missing values over the points just inserted at one end.
bool ap7b_fill_new(AP7_SPECTRUM* spectrum, bool at_start, int64_t inserted) {
  if (inserted <= 0) return true;
  const AP41_HEADERDATA* axis = ap7a_record(spectrum);
  const double spacing = ap7b_GetXSpacing(spectrum);
  const int64_t from = at_start ? 0 : int64_t{axis->points} - inserted;
  return ap7a_FillRange(spectrum, ap7b_x_at(axis, spacing, from), ap7b_x_at(axis, spacing, from + inserted - 1),
                        AP1_GetNaNSG_MATH()) != 0;
}

// Trims or pads one end so that the data start (or end) at the grid index.
bool ap7b_fit_end(AP7_SPECTRUM* spectrum, float limit, bool low_end, bool rising, const ap7b_fit_rule& rule) {
  int64_t index = 0;
  if (!ap7b_end_index(spectrum, limit, low_end, rising, rule, index)) return false;
  const int64_t points = ap7a_record(spectrum)->points;
  const int64_t inserted = low_end ? -index : index - points + 1;
  if (inserted == 0 || (rule.pad_only && inserted < 0)) return true;
  if (!ap7b_resize_end(spectrum, low_end, inserted)) return false;
  return !rule.missing_fill || ap7b_fill_new(spectrum, low_end, inserted);
}

uint32_t ap7b_fit(AP7_SPECTRUM* spectrum, float* x1, float* x2, const ap7b_fit_rule& rule) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || IsBadWritePtr(x1, sizeof(float)) || IsBadWritePtr(x2, sizeof(float))) return 0;
  if (ap1_not_given(*x1) || ap1_not_given(*x2)) return record->points;
  if (rule.equal_no_op && AP1_KovFloatCompareSG_MATH(*x1, *x2)) return record->points;
  const float low = std::min(*x1, *x2);
  const float high = std::max(*x1, *x2);
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  if (record->points < 2) return 0;
  // The start of a falling axis holds its high X.
  const float first_x = record->first_x;
  const float last_x = record->last_x;
  const bool rising = first_x <= last_x;
  if (!ap7b_fit_end(spectrum, rising ? low : high, true, rising, rule)) return 0;
  if (rule.test_between && record->points < 2) return 0;
  if (!ap7b_fit_end(spectrum, rising ? high : low, false, rising, rule)) return 0;
  *x1 = record->first_x;
  *x2 = record->last_x;
  return record->points;
}

}  // namespace

// ---------------------------------------------------------------------------
// Spacing and single conversions

float ap7b_GetXSpacing(const AP7_SPECTRUM* spectrum) {
  const AP41_HEADERDATA* axis = ap7b_axis_of(spectrum);
  if (axis == nullptr || axis->points < 2) return 1.0f;
  const auto intervals = static_cast<int32_t>(axis->points - 1);
  return static_cast<float>((double{axis->last_x} - double{axis->first_x}) / intervals);
}

uint16_t ap7b_XToIndex(const AP7_SPECTRUM* spectrum, float x, int32_t* index) {
  const AP41_HEADERDATA* axis = ap7b_axis_of(spectrum);
  int32_t nearest = 0;
  if (axis == nullptr || IsBadWritePtr(index, sizeof(int32_t)) || !ap7b_nearest(spectrum, axis, x, nearest)) return 0;
  *index = nearest;
  return ap7b_inside(axis, nearest) ? 1 : 0;
}

uint16_t ap7b_IndexToX(const AP7_SPECTRUM* spectrum, int32_t index, float* x) {
  const AP41_HEADERDATA* axis = ap7b_axis_of(spectrum);
  if (axis == nullptr || IsBadWritePtr(x, sizeof(float))) return 0;
  *x = ap7b_x_at(axis, ap7b_GetXSpacing(spectrum), index);
  return ap7b_inside(axis, index) ? 1 : 0;
}

uint16_t ap7b_GetXSpacingOut(const void* object, float* spacing) {
  if (IsBadWritePtr(spacing, sizeof(float))) return 0;
  *spacing = ap7b_GetXSpacing(ap7a_spectrum(object));
  return 1;
}

uint16_t ap7b_XToIndex64(const AP7_SPECTRUM* spectrum, float x, AP4_CELL* cell) {
  const AP41_HEADERDATA* axis = ap7b_axis_of(spectrum);
  int32_t nearest = 0;
  if (axis == nullptr || IsBadWritePtr(cell, sizeof(AP4_CELL)) || !ap7b_nearest(spectrum, axis, x, nearest)) return 0;
  *cell = ap7b_cell(nearest);
  return ap7b_inside(axis, nearest) ? 1 : 0;
}

uint16_t ap7b_CellToX(const AP7_SPECTRUM* spectrum, int32_t row, int32_t index, float* x) {
  if (row != 0) return 0;
  return ap7b_IndexToX(spectrum, index, x);
}

uint16_t ap7b_FracIndexToX(const AP7_SPECTRUM* spectrum, float index, float* x) {
  const AP41_HEADERDATA* axis = ap7b_axis_of(spectrum);
  if (axis == nullptr || IsBadWritePtr(x, sizeof(float))) return 0;
  *x = static_cast<float>(double{ap7b_GetXSpacing(spectrum)} * index + axis->first_x);
  return index >= 0 && double{index} <= static_cast<double>(axis->points) - 1 ? 1 : 0;
}

uint32_t ap7b_GetXRange(const AP7_SPECTRUM* spectrum, float* first_x, float* last_x) {
  const AP41_HEADERDATA* axis = ap7b_axis_of(spectrum);
  if (axis == nullptr || IsBadWritePtr(first_x, sizeof(float)) || IsBadWritePtr(last_x, sizeof(float))) return 0;
  *first_x = axis->first_x;
  *last_x = axis->last_x;
  return axis->points;
}

// ---------------------------------------------------------------------------
// Ranges

int32_t ap7b_XRangeToIndexRange(const AP7_SPECTRUM* spectrum, float* x1, float* x2, AP4_CELL* first,
                                AP4_CELL* last) {
  const AP41_HEADERDATA* axis = ap7b_axis_of(spectrum);
  if (axis == nullptr || IsBadWritePtr(x1, sizeof(float)) || IsBadWritePtr(x2, sizeof(float)) ||
      IsBadWritePtr(first, sizeof(AP4_CELL)) || IsBadWritePtr(last, sizeof(AP4_CELL)))
    return 0;
  return ap7b_index_range(spectrum, axis, *x1, *x2, *first, *last);
}

// Both ranges end up equally long: the shorter count wins, and with it the
// limits of the spectrum that gave it.
int32_t ap7b_CommonIndexRange(const AP7_SPECTRUM* spectrum, float* x1, float* x2, AP4_CELL* first, AP4_CELL* last,
                              const AP7_SPECTRUM* other, AP4_CELL* other_first, AP4_CELL* other_last) {
  const AP41_HEADERDATA* axis = ap7b_axis_of(spectrum);
  const AP41_HEADERDATA* other_axis = ap7b_axis_of(other);
  if (axis == nullptr || other_axis == nullptr || IsBadWritePtr(x1, sizeof(float)) ||
      IsBadWritePtr(x2, sizeof(float)) || IsBadWritePtr(first, sizeof(AP4_CELL)) ||
      IsBadWritePtr(last, sizeof(AP4_CELL)) || IsBadWritePtr(other_first, sizeof(AP4_CELL)) ||
      IsBadWritePtr(other_last, sizeof(AP4_CELL)))
    return 0;
  float a1 = *x1;
  float b1 = *x2;
  if (ap7b_index_range(spectrum, axis, a1, b1, *first, *last) == 0) return 0;
  float a2 = a1;
  float b2 = b1;
  if (ap7b_index_range(other, other_axis, a2, b2, *other_first, *other_last) == 0) return 0;
  if ((a1 < b1 && a2 > b2) || (a1 > b1 && a2 < b2)) return 0;
  const bool rising = a1 < b1;
  float low = rising ? std::max(a1, a2) : std::min(a1, a2);
  float high = rising ? std::min(b1, b2) : std::max(b1, b2);
  float other_low = low;
  float other_high = high;
  const int32_t count = ap7b_index_range(spectrum, axis, low, high, *first, *last);
  const int32_t other_count = ap7b_index_range(other, other_axis, other_low, other_high, *other_first, *other_last);
  if (!ap7d_CompareSpacing(spectrum, other)) {
    *x1 = 0.0f;
    *x2 = 0.0f;
    return 0;
  }
  const int32_t common = std::min(count, other_count);
  if (other_count < count) {
    low = other_low;
    high = other_high;
  }
  last->column = first->column + common - 1;
  other_last->column = other_first->column + common - 1;
  *x1 = low;
  *x2 = high;
  return common;
}

uint32_t ap7b_ClampXRange(AP7_SPECTRUM* spectrum, float* x1, float* x2) { return ap7b_fit(spectrum, x1, x2, kClamp); }

uint32_t ap7b_ExtendToXRange(AP7_SPECTRUM* spectrum, float* x1, float* x2) {
  return ap7b_fit(spectrum, x1, x2, kExtend);
}

uint32_t ap7b_ClampXRangeNearest(AP7_SPECTRUM* spectrum, float* x1, float* x2) {
  return ap7b_fit(spectrum, x1, x2, kClampNearest);
}

uint32_t ap7b_PadToXRange(AP7_SPECTRUM* spectrum, float* x1, float* x2) { return ap7b_fit(spectrum, x1, x2, kPad); }

// The grid's points are marked 2 in the mask where they lie strictly
// between low and high; other bytes keep their values.
uint16_t ap7b_MarkGridInterval(const AP7_SPECTRUM* spectrum, double x1, double x2, uint8_t* mask, uint32_t count,
                               float low, float high) {
  const AP41_HEADERDATA* axis = ap7b_axis_of(spectrum);
  if (axis == nullptr || count <= 1 || IsBadWritePtr(mask, count)) return 0;
  const double a = std::min(x1, x2);
  const double b = std::max(x1, x2);
  const auto step = static_cast<float>((b - a) / (count - 1));
  const double spacing = ap7b_GetXSpacing(spectrum);
  const double half = spacing > step ? spacing / kCoarseHalfWidthDivisor : double{step} / 2;
  if (!(axis->first_x - half < a && axis->last_x + half > b)) return 0;
  auto x = static_cast<float>(a);
  for (uint32_t point = 0; point < count; ++point) {
    if (low < x && x < high) mask[point] = 2;
    x = static_cast<float>(double{x} + step);
  }
  return 1;
}
