// Peak location on one row of an ARRAY: the hysteresis peak detector, the
// peak nearest a column with its two bounding valleys (message 94) and the
// width at half height of a range's largest peak (message 95); and two row
// utilities of the array layer: the tabulated Savitzky-Golay smoothing
// weights and the left rotation of a one-row array.
//
// Missing values are skipped by every test. Downward peaks are found as
// upward peaks of the negated values (the "signed" values below). The
// ARRAY dispatcher reaches messages 94 and 95; the array's smoothing,
// resizing and peak search call the others directly.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"

namespace {

float ap4c_signed(float value, uint16_t mode) { return mode == AP4C_PEAKS_DOWN ? -value : value; }

// One hysteresis pass. A rise point is where the value has climbed more
// than h above the running minimum; from then on a fall point is where it
// has dropped more than h below the running maximum.
struct ap4c_hysteresis {
  float high;
  float low;
  bool rising;

  // 1 at a rise point, 2 at a fall point, else 0.
  int step(float v, float h) {
    if (v > high) {
      high = v;
      if (rising) low = v;
    }
    if (v < low) {
      low = v;
      if (!rising) high = v;
    }
    if (std::fabs(static_cast<double>(high) - low) <= h) return 0;
    if (rising) return 2;
    low = FLT_MAX;
    rising = true;
    return 1;
  }
};

// The span a..b (in either order) of a found peak: its largest signed value
// and the first and last present index.
int16_t ap4c_report_span(const float* values, uint16_t mode, int32_t a, int32_t b, int32_t* peak, int32_t* start,
                         int32_t* end, float* peak_value) {
  if (a > b) std::swap(a, b);
  int32_t best = -1;
  int32_t first = -1;
  int32_t last = -1;
  float largest = -FLT_MAX;
  for (int32_t i = a; i <= b; ++i) {
    if (ap1_is_missing(values[i])) continue;
    const float v = ap4c_signed(values[i], mode);
    if (first < 0) first = i;
    last = i;
    if (best < 0 || v > largest) {
      largest = v;
      best = i;
    }
  }
  if (peak != nullptr) *peak = best;
  if (start != nullptr) *start = first;
  if (end != nullptr) *end = last;
  if (peak_value != nullptr) *peak_value = largest;
  return 1;
}

// Resolves a one-row range of an array to its row's data and its columns;
// null for anything else.
const float* ap4c_row_range(const AP4_ARRAY* array, AP4_RANGE* range) {
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range->start, &range->end);
  if (extent.row != 1 || extent.column < 1) return nullptr;
  const float* data = ap4a_GetDataAddress(array);
  return data == nullptr ? nullptr : data + static_cast<uint32_t>(range->start.row) * array->columns;
}

// The position of the smallest present signed value from `from` towards
// `to` (either direction); `from` when none is present.
int32_t ap4c_lowest(const float* row, uint16_t mode, int32_t from, int32_t to) {
  const int32_t step = to >= from ? 1 : -1;
  int32_t at = from;
  bool seeded = false;
  float lowest = 0.0f;
  for (int32_t i = from;; i += step) {
    if (!ap1_is_missing(row[i])) {
      const float v = ap4c_signed(row[i], mode);
      if (!seeded || v < lowest) {
        lowest = v;
        at = i;
        seeded = true;
      }
    }
    if (i == to) break;
  }
  return at;
}

}  // namespace

// Past the span, and never at the extreme itself, whose span may end
// there: found again it would shadow an equal extreme further on.
int32_t ap4c_NextScanColumn(int32_t k, int32_t p, int32_t e) { return k + std::max(e, p + 1); }

int16_t ap4c_FindPeaksKernel(const float* values, uint16_t mode, float h, int32_t n, int32_t* peak, int32_t* start,
                             int32_t* end, float* peak_value) {
  if (values == nullptr || n == 0) return 0;
  const int32_t count = std::abs(n);
  // The first pass runs in the direction of n, the second back against it.
  const int32_t forward = n > 0 ? 1 : -1;
  const int32_t first = n > 0 ? 0 : count - 1;

  ap4c_hysteresis pass{-FLT_MAX, FLT_MAX, false};
  int32_t rise = -1;
  int32_t fall = -1;
  for (int32_t i = first; i >= 0 && i < count; i += forward) {
    if (ap1_is_missing(values[i])) continue;
    const int point = pass.step(ap4c_signed(values[i], mode), h);
    if (point == 1) rise = i;
    if (point == 2) {
      fall = i;
      break;
    }
  }
  bool found = fall >= 0;
  int32_t a = rise;
  int32_t b = fall;

  // Back over the first pass's ground, from its fall point or from its far
  // end, keeping the low it reached.
  pass.high = -FLT_MAX;
  pass.rising = false;
  int32_t back_rise = -1;
  int32_t back_fall = -1;
  for (int32_t i = found ? fall : count - 1 - first; i >= 0 && i < count; i -= forward) {
    if (ap1_is_missing(values[i])) continue;
    const int point = pass.step(ap4c_signed(values[i], mode), h);
    if (point == 1) back_rise = i;
    if (point == 2) back_fall = i;
  }
  if (back_fall >= 0) {
    found = true;
    a = back_fall;
    b = back_rise;
  }
  if (!found) return 0;
  return ap4c_report_span(values, mode, a, b, peak, start, end, peak_value);
}

int16_t ap4c_PeakList(const AP4_ARRAY* array, AP4_CELL target, AP4_RANGE range, uint16_t mode, float peak_threshold,
                      float valley_threshold, AP4_CELL* peak, AP4_CELL* left_valley, AP4_CELL* right_valley) {
  if (!ap4a_is_array(array) || IsBadWritePtr(peak, sizeof *peak) || IsBadWritePtr(left_valley, sizeof *left_valley) ||
      IsBadWritePtr(right_valley, sizeof *right_valley))
    return 0;
  const float* row = ap4c_row_range(array, &range);
  const int32_t first = range.start.column;
  const int32_t last = range.end.column;
  if (row == nullptr || target.row != range.start.row || target.column < first || target.column > last) return 0;
  peak->row = left_valley->row = right_valley->row = target.row;

  int32_t best = std::abs(last - first) + 1;
  int32_t peak_column = -1;
  for (int32_t k = first; k <= last;) {
    int32_t p = 0;
    int32_t e = 0;
    if (ap4c_FindPeaksKernel(row + k, mode, peak_threshold, last - k + 1, &p, nullptr, &e, nullptr) == 0) break;
    const int32_t distance = std::abs(k + p - target.column);
    if (distance > best) break;
    best = distance;
    peak_column = k + p;
    k = ap4c_NextScanColumn(k, p, e);
  }
  if (peak_column < 0) return 0;

  const uint16_t valley_mode = mode == AP4C_PEAKS_DOWN ? 1 : AP4C_PEAKS_DOWN;
  int32_t left = first;
  for (int32_t k = first; k < peak_column;) {
    int32_t p = 0;
    int32_t e = 0;
    if (ap4c_FindPeaksKernel(row + k, valley_mode, valley_threshold, peak_column - k + 1, &p, nullptr, &e, nullptr) ==
        0)
      break;
    left = k + p;
    k = ap4c_NextScanColumn(k, p, e);
  }
  int32_t right = last;
  int32_t p = 0;
  if (ap4c_FindPeaksKernel(row + peak_column, valley_mode, valley_threshold, last - peak_column + 1, &p, nullptr,
                           nullptr, nullptr) != 0)
    right = peak_column + p;

  peak->column = peak_column;
  left_valley->column = ap4c_lowest(row, mode, left, peak_column);
  right_valley->column = ap4c_lowest(row, mode, right, peak_column);
  return 1;
}

int16_t ap4c_PeakHalfWidth(const AP4_ARRAY* array, AP4_RANGE range, uint16_t mode, float* width) {
  if (!ap4a_is_array(array) || IsBadWritePtr(width, sizeof *width)) return 0;
  *width = 0.0f;
  const int32_t first = range.start.column;
  const int32_t last = range.end.column;
  if (range.start.row != range.end.row || first < 0 || first > last) return 0;
  const float* row = ap4c_row_range(array, &range);
  if (row == nullptr) return 0;
  const float* v = row + first;
  const int32_t n = last - first + 1;

  int32_t imax = -1;
  float top = -FLT_MAX;
  for (int32_t i = 0; i < n; ++i) {
    if (ap1_is_missing(v[i])) continue;
    const float s = ap4c_signed(v[i], mode);
    if (s > top) {
      top = s;
      imax = i;
    }
  }
  if (imax < 1 || imax > n - 3) return 0;
  const int32_t lmin = ap4c_lowest(v, mode, imax, 0);
  const int32_t rmin = ap4c_lowest(v, mode, imax, n - 1);
  if (!(lmin < imax && imax < rmin)) return 0;

  const float sign = mode == AP4C_PEAKS_DOWN ? -1.0f : 1.0f;
  const float left_level = (top + ap4c_signed(v[lmin], mode)) / 2.0f;
  int32_t l = lmin;
  for (int32_t i = imax - 1; i >= lmin; --i) {
    if (!ap1_is_missing(v[i]) && ap4c_signed(v[i], mode) < left_level) {
      l = i;
      break;
    }
  }
  float xl = static_cast<float>(l);
  if (!ap1_is_missing(v[l]) && !ap1_is_missing(v[l + 1])) {
    const float d = v[l + 1] - v[l];
    if (AP1_KovFloatCompareSG_MATH(d, 0.0f) == 0) xl = l + (left_level * sign - v[l]) / d;
  }

  const float right_level = (top + ap4c_signed(v[rmin], mode)) / 2.0f;
  int32_t r = rmin;
  for (int32_t i = imax + 1; i <= rmin; ++i) {
    if (!ap1_is_missing(v[i]) && ap4c_signed(v[i], mode) < right_level) {
      r = i;
      break;
    }
  }
  float xr = static_cast<float>(r);
  if (!ap1_is_missing(v[r - 1]) && !ap1_is_missing(v[r])) {
    const float d = v[r - 1] - v[r];
    if (AP1_KovFloatCompareSG_MATH(d, 0.0f) == 0) xr = r - (right_level * sign - v[r]) / d;
  }
  *width = xr - xl;
  return 1;
}

int16_t ap4c_SGSmoothTabulated(float* coefficients, int32_t window) {
  if (coefficients == nullptr || window < 5 || window > 25 || window % 2 == 0) return 0;
  // The quadratic smoothing weight of offset i in a window of 2m + 1 points.
  const int32_t m = (window - 1) / 2;
  const int32_t normaliser = (2 * m + 3) * (2 * m + 1) * (2 * m - 1);
  for (int32_t i = 0; i <= m; ++i) {
    const int32_t weight = 3 * (3 * m * m + 3 * m - 1 - 5 * i * i);
    coefficients[m + i] = coefficients[m - i] = static_cast<float>(weight) / static_cast<float>(normaliser);
  }
  return 1;
}

int16_t ap4c_PrepareFFTBuffer(AP4_ARRAY* array, uint32_t n) {
  if (!ap4a_is_array(array) || array->rows != 1 || n > array->columns) return 0;
  float* row = ap4a_GetDataAddress(array);
  if (row == nullptr) return 0;
  if (n == 0) return 1;
  GU3_HANDLE buffer = GU3_Allocate_MM(n, sizeof(float), GU3_KIND_GLOBAL);
  auto* moved = static_cast<float*>(GU3_GetPointer_MM(buffer, 0, nullptr, nullptr));
  if (moved == nullptr) {
    GU3_Free_MM(buffer);
    return 0;
  }
  ap4a_change_bracket change(array);
  if (!change.begun()) {
    GU3_Free_MM(buffer);
    return 0;
  }
  const uint32_t kept = array->columns - n;
  std::copy(row, row + n, moved);
  std::copy(row + n, row + array->columns, row);
  std::copy(moved, moved + n, row + kept);
  GU3_Free_MM(buffer);
  return 1;
}
