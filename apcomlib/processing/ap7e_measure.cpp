// Peak measurement (message 243): one quantity of a peak or region of a
// spectrum, chosen by the type of the caller's measurement record and
// measured against the baseline that message 242's routine draws first.
//
// This module holds the frame every type shares (the baseline polynomial,
// the axis, the peak direction and full scale, the X and region tests, the
// three-point vertex and the acceptance window) and the types that report
// values, heights, areas and statistics; the widths, centre of gravity and
// crossings are in ap7e_widths.cpp. Results go into the record's two result
// sets: the point set (X corrected, X raw, value corrected, value raw) and
// the fitted set in the same order. The spectrum is never changed. The
// dispatcher's analysis table calls ap7e_MeasurePeak for message 243.
#include <algorithm>
#include <cmath>

#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"

namespace {

// Fraction of the peak height of type 108.
constexpr float kHalfHeight = 0.5f;

// Three consecutive points around an index of the data, their raw values
// and their values less the baseline.
struct ap7e_triple {
  float x[3];
  float y[3];
  float z[3];
};

float ap7e_negated_if(float value, bool negate) { return negate ? -value : value; }

// The three points around the point nearest x, the centre held one point
// inside the data; false when one of them has no value.
bool ap7e_triple_at(const ap7e_frame& f, float x, ap7e_triple& t) {
  int32_t i = 0;
  ap7b_XToIndex(f.spectrum, x, &i);
  i = std::clamp(i, 1, f.n - 2);
  for (int32_t k = 0; k < 3; ++k) {
    ap7b_IndexToX(f.spectrum, i - 1 + k, &t.x[k]);
    if (!ap7a_GetValueAtX(f.spectrum, t.x[k], &t.y[k]) || ap1_is_missing(t.y[k])) return false;
    t.z[k] = f.corrected(t.y[k], t.x[k]);
  }
  return true;
}

// The parabola through the triple evaluated at the fraction p of a spacing
// from its centre (type 117); on a line, the line there.
void ap7e_interpolate(const float* x, const float* y, float p, float top_x, float* top) {
  const float a = (y[0] - 2.0f * y[1] + y[2]) * 0.5f;
  const float b = (y[2] - y[0]) * 0.5f;
  if (!AP1_KovFloatCompareSG_MATH(a, 0.0f))
    *top = (a * p + b) * p + y[1];
  else
    *top = (top_x - x[0]) * (y[2] - y[0]) / (x[2] - x[0]) + y[0];
}

// Types 101, 102, 117 and, after their search, 118 and 124: the value at
// the record's X through the three points around it.
uint16_t ap7e_value_at_x(const ap7e_frame& f, uint16_t type) {
  AP7_MEASUREREC* r = f.record;
  const float x = r->x;
  ap7e_triple t{};
  if (f.n < 3 || !ap7e_x_passes(f, x) || !ap7e_triple_at(f, x, t)) return 0;
  if (type == AP7E_OFFSET_PEAK_VALUE) {
    const float offset = r->x_offset;
    for (float& tx : t.x) tx += offset;
  }
  float top_y = 0.0f, top_x = 0.0f, top_v = 0.0f, top_xc = 0.0f;
  if (type == AP7E_INTERPOLATED_VALUE) {
    const float spacing = t.x[1] - t.x[0];
    const float p = std::clamp((x - t.x[1]) / spacing, -1.0f, 1.0f);
    top_x = spacing * p + t.x[1];
    top_xc = top_x;
    ap7e_interpolate(t.x, t.y, p, top_x, &top_y);
    ap7e_interpolate(t.x, t.z, p, top_x, &top_v);
  } else {
    ap7e_vertex(t.x, t.y, &top_y, &top_x);
    ap7e_vertex(t.x, t.z, &top_v, &top_xc);
  }
  const uint16_t x_source = r->x_source;
  r->result_x = type == AP7E_VALUE_AT_POINT ? t.x[1] : (x_source == 0 ? top_x : top_xc);
  const bool down = f.direction == AP1_PEAKS_DOWN;
  const float point[4] = {t.x[1], t.x[1], ap7e_negated_if(t.z[1], down),
                          ap7e_negated_if(t.y[1] - f.full_scale, down)};
  const float fitted[4] = {top_xc, top_x, ap7e_negated_if(top_v, down), ap7e_negated_if(top_y - f.full_scale, down)};
  ap7e_set_results(r, point, fitted);
  if (type != AP7E_INTERPOLATED_VALUE) ap7e_accept(r);
  return 1;
}

// Types 118 and 124: X := the highest (lowest, for peaks down) corrected
// point of the region widened by a point, then measured as type 101.
uint16_t ap7e_peak_position(const ap7e_frame& f, uint16_t type) {
  AP7_MEASUREREC* r = f.record;
  float found_x = 0.0f;
  if (ap7e_region_passes(f)) {
    ap7e_widen(f, true);
    const ap7e_cut cut(f.spectrum, r->region_start, r->region_end);
    if (!cut.found()) return 0;
    cut.write_back(r);
    const float* y = cut.values();
    const int32_t m = cut.count();
    bool taken = false;
    float best = 0.0f;
    for (int32_t i = 1; i <= m - 2; ++i) {
      if (ap1_is_missing(y[i]) || ap1_is_missing(y[i - 1]) || ap1_is_missing(y[i + 1])) continue;
      const float x = cut.x_at(i, f.h);
      const float v = f.corrected(y[i], x);
      if (!taken || (f.direction == AP1_PEAKS_UP ? v > best : v < best)) {
        taken = true;
        best = v;
        found_x = x;
      }
    }
    if (!taken && m >= 3) found_x = cut.x_at(m - 2, f.h);
  }
  r->x_source = 1;
  r->x = found_x;
  return ap7e_value_at_x(f, type);
}

// Type 103: the means of the region's present points.
uint16_t ap7e_region_mean(const ap7e_frame& f) {
  AP7_MEASUREREC* r = f.record;
  if (!ap7e_region_passes(f)) return 0;
  const ap7e_cut cut(f.spectrum, r->region_start, r->region_end);
  if (!cut.found()) return 0;
  cut.write_back(r);
  const float* y = cut.values();
  double sum_x = 0.0, sum_y = 0.0, sum_v = 0.0;
  int32_t count = 0;
  for (int32_t i = 0; i < cut.count(); ++i) {
    if (ap1_is_missing(y[i])) continue;
    const float x = cut.x_at(i, f.h);
    ++count;
    sum_x += x;
    sum_y += y[i];
    sum_v += f.corrected(y[i], x);
  }
  if (count == 0) return 0;
  const bool down = f.direction == AP1_PEAKS_DOWN;
  const auto mean_x = static_cast<float>(sum_x / count);
  const float mean_v = ap7e_negated_if(static_cast<float>(sum_v / count), down);
  const float mean_y = ap7e_negated_if(static_cast<float>(sum_y / count) - f.full_scale, down);
  r->result_x = mean_x;
  const float set[4] = {mean_x, mean_x, mean_v, mean_y};
  ap7e_set_results(r, set, set);
  return 1;
}

// The triple around an interior point of a cut; an end without a value
// takes the centre's, at its own X.
void ap7e_cut_triple(const ap7e_frame& f, const ap7e_cut& cut, int32_t k, bool corrected, float* x, float* y) {
  const float* values = cut.values();
  for (int32_t i = 0; i < 3; ++i) {
    x[i] = cut.x_at(k - 1 + i, f.h);
    y[i] = values[k - 1 + i];
  }
  if (ap1_is_missing(y[0]) || ap1_is_missing(y[2])) y[0] = y[2] = y[1];
  if (corrected)
    for (int32_t i = 0; i < 3; ++i) y[i] = f.corrected(y[i], x[i]);
}

// Types 104, 105, 106, 135 and 136: the height of the highest point of the
// region (of the negated data for 105 and 136, by magnitude for 106).
uint16_t ap7e_height(const ap7e_frame& f, uint16_t type) {
  AP7_MEASUREREC* r = f.record;
  if (!ap7e_region_passes(f)) return 0;
  ap7e_widen(f, false);
  const ap7e_cut cut(f.spectrum, r->region_start, r->region_end);
  if (!cut.found()) return 0;
  cut.write_back(r);
  const float step = std::fabs(f.h);
  const float start = r->region_start;
  const float end = r->region_end;
  r->region_start = start > end ? start - step : start + step;
  r->region_end = start > end ? end + step : end - step;

  const bool negate = type == AP7E_NEGATED_PEAK_HEIGHT || type == AP7E_NEGATED_PEAK_HEIGHT_B;
  const bool magnitude = type == AP7E_MAGNITUDE_HEIGHT;
  const float* values = cut.values();
  int32_t k = -1, j = -1;
  float best_y = 0.0f, best_v = 0.0f;
  for (int32_t i = 1; i <= cut.count() - 2; ++i) {
    if (ap1_is_missing(values[i])) continue;
    float y = values[i];
    float v = f.corrected(y, cut.x_at(i, f.h));
    if (negate) {
      y = -y;
      v = -v;
    } else if (magnitude) {
      y = std::fabs(y);
      v = std::fabs(v);
    }
    if (k < 0 || y > best_y) {
      k = i;
      best_y = y;
    }
    if (j < 0 || v > best_v) {
      j = i;
      best_v = v;
    }
  }
  if (k < 0) return 0;
  float x[3], y[3];
  float top_y = 0.0f, top_x = 0.0f, top_v = 0.0f, top_xc = 0.0f;
  ap7e_cut_triple(f, cut, k, false, x, y);
  ap7e_vertex(x, y, &top_y, &top_x);
  ap7e_cut_triple(f, cut, j, true, x, y);
  ap7e_vertex(x, y, &top_v, &top_xc);
  const float x_k = cut.x_at(k, f.h);
  const float x_j = cut.x_at(j, f.h);
  const uint16_t x_source = r->x_source;
  r->result_x = x_source == 0 ? x_k : x_j;
  float point[4] = {x_j, x_k, best_v, best_y - f.full_scale};
  float fitted[4] = {top_xc, top_x, top_v, top_y - f.full_scale};
  for (float* set : {point, fitted}) {
    for (int32_t i = 2; i < 4; ++i) {
      set[i] = ap7e_negated_if(set[i], f.direction == AP1_PEAKS_DOWN);
      if (magnitude) set[i] = std::fabs(set[i]);
    }
  }
  ap7e_set_results(r, point, fitted);
  return 1;
}

// Types 107 and 114: the areas between the data and the baseline and
// between the data and the full-scale line, by the trapezoid rule over the
// snapped region. A missing point adds nothing.
uint16_t ap7e_area(const ap7e_frame& f) {
  AP7_MEASUREREC* r = f.record;
  float start = r->region_start;
  float end = r->region_end;
  if (!ap7e_snap(f.spectrum, start) || !ap7e_snap(f.spectrum, end)) return 0;
  r->region_start = start;
  r->region_end = end;
  const ap7e_cut cut(f.spectrum, start, end);
  if (!cut.found()) return 0;
  const float* values = cut.values();
  const int32_t m = cut.count();
  double sum_y = 0.0, sum_base = 0.0, sum_full = 0.0;
  for (int32_t i = 0; i < m; ++i) {
    const float x = cut.x_at(i, f.h);
    const bool missing = ap1_is_missing(values[i]);
    float y = missing ? f.full_scale : values[i];
    float base = missing ? f.full_scale : f.baseline(x);
    float full = f.full_scale;
    if (i == 0 || i == m - 1) {
      y /= 2.0f;
      base /= 2.0f;
      full /= 2.0f;
    }
    sum_y += y;
    sum_base += base;
    sum_full += full;
  }
  if (m == 1) {
    sum_y *= 2.0;
    sum_base *= 2.0;
    sum_full *= 2.0;
  }
  // An area does not change sign with the direction the axis is stored in.
  const double step = std::fabs(f.h);
  const bool down = f.direction == AP1_PEAKS_DOWN;
  r->area_corrected = ap7e_negated_if(static_cast<float>((sum_y - sum_base) * step), down);
  r->area_raw = ap7e_negated_if(static_cast<float>((sum_y - sum_full) * step), down);
  return 1;
}

// Where a walk from the peak at k stops: the first point whose share of
// the way from the peak value down to the baseline value exceeds q, or the
// point before a missing value, or the end of the data.
int32_t ap7e_fraction_stop(const float* y, int32_t n, int32_t k, int32_t step, float base, float peak, float q) {
  const int32_t end = step < 0 ? 0 : n - 1;
  for (int32_t i = k;; i += step) {
    if (i == end) return i;
    if (ap1_is_missing(y[i])) return i - step;
    if ((y[i] - peak) / (base - peak) > q) return i;
  }
}

// Types 108 and 112: the area between the points where the peak at the
// record's X falls to a fraction of its height above the baseline's ends.
uint16_t ap7e_fraction_area(const ap7e_frame& f, uint16_t type) {
  AP7_MEASUREREC* r = f.record;
  if (type == AP7E_HALF_HEIGHT_AREA) r->fraction = kHalfHeight;
  const float fraction = r->fraction;
  float q = 1.0f - fraction;
  if (!(q >= 0.0f && q <= 1.0f)) q = kHalfHeight;
  const float x = r->x;
  const float* y = ap7b_GetDataPtr(f.spectrum);
  if (!ap7e_x_passes(f, x) || y == nullptr) return 0;
  int32_t k = 0;
  ap7b_XToIndex(f.spectrum, x, &k);
  k = std::clamp(k, 0, f.n - 1);
  float left = r->baseline_y1;
  const float peak = y[k];
  float right = r->baseline_y2;
  if (ap1_is_missing(left) || ap1_is_missing(peak) || ap1_is_missing(right) ||
      AP1_KovFloatCompareSG_MATH(left, peak) || AP1_KovFloatCompareSG_MATH(peak, right))
    return 0;
  const float baseline_x1 = r->baseline_x1;
  if (!AP1_KovFloatCompareSG_MATH(left, right) && baseline_x1 > x) std::swap(left, right);
  const int32_t low = ap7e_fraction_stop(y, f.n, k, -1, left, peak, q);
  const int32_t high = ap7e_fraction_stop(y, f.n, k, 1, right, peak, q);
  float low_x = 0.0f, high_x = 0.0f;
  ap7b_IndexToX(f.spectrum, low, &low_x);
  ap7b_IndexToX(f.spectrum, high, &high_x);
  r->region_start = low_x;
  r->region_end = high_x;
  return ap7e_area(f);
}

// Types 115 and 116: the range and the sample standard deviation of the
// region's raw and corrected values.
uint16_t ap7e_statistics(const ap7e_frame& f) {
  AP7_MEASUREREC* r = f.record;
  if (!ap7e_region_passes(f)) return 0;
  const ap7e_cut cut(f.spectrum, r->region_start, r->region_end);
  if (!cut.found()) return 0;
  cut.write_back(r);
  const float* values = cut.values();
  double sum_x = 0.0, sum_y = 0.0, sum_v = 0.0;
  int32_t count = 0;
  for (int32_t i = 0; i < cut.count(); ++i) {
    if (ap1_is_missing(values[i])) continue;
    const float x = cut.x_at(i, f.h);
    ++count;
    sum_x += x;
    sum_y += values[i];
    sum_v += f.corrected(values[i], x);
  }
  if (count == 0) return 0;
  const double mean_y = sum_y / count;
  const double mean_v = sum_v / count;
  float low_y = 0.0f, high_y = 0.0f, low_v = 0.0f, high_v = 0.0f;
  double square_y = 0.0, square_v = 0.0;
  bool first = true;
  for (int32_t i = 0; i < cut.count(); ++i) {
    if (ap1_is_missing(values[i])) continue;
    const float y = values[i];
    const float v = f.corrected(y, cut.x_at(i, f.h));
    low_y = first ? y : std::min(low_y, y);
    high_y = first ? y : std::max(high_y, y);
    low_v = first ? v : std::min(low_v, v);
    high_v = first ? v : std::max(high_v, v);
    first = false;
    square_y += (y - mean_y) * (y - mean_y);
    square_v += (v - mean_v) * (v - mean_v);
  }
  float deviation_y = 0.0f, deviation_v = 0.0f;
  if (count > 1) {
    deviation_y = static_cast<float>(square_y / (count - 1));
    deviation_v = static_cast<float>(square_v / (count - 1));
    AP1_SQRT_MATH(&deviation_y);
    AP1_SQRT_MATH(&deviation_v);
  }
  const auto mean_x = static_cast<float>(sum_x / count);
  r->result_x = mean_x;
  const float point[4] = {mean_x, mean_x, high_v - low_v, high_y - low_y};
  const float fitted[4] = {mean_x, mean_x, deviation_v, deviation_y};
  ap7e_set_results(r, point, fitted);
  return 1;
}

// Type 134: the square root of the region's mean square value times its
// width.
uint16_t ap7e_root_mean_square(const ap7e_frame& f) {
  AP7_MEASUREREC* r = f.record;
  if (!ap7e_region_passes(f)) return 0;
  const ap7e_cut cut(f.spectrum, r->region_start, r->region_end);
  if (!cut.found()) return 0;
  cut.write_back(r);
  const float start = r->region_start;
  const float end = r->region_end;
  const double span = std::fabs(end - start);
  const float* values = cut.values();
  double square_y = 0.0, square_v = 0.0;
  int32_t count = 0;
  for (int32_t i = 0; i < cut.count(); ++i) {
    if (ap1_is_missing(values[i])) continue;
    const float v = f.corrected(values[i], cut.x_at(i, f.h));
    ++count;
    square_y += double{values[i]} * values[i];
    square_v += double{v} * v;
  }
  float raw = 0.0f, corrected = 0.0f;
  if (count > 0) {
    raw = static_cast<float>(span / count * square_y);
    corrected = static_cast<float>(span / count * square_v);
    AP1_SQRT_MATH(&raw);
    AP1_SQRT_MATH(&corrected);
  }
  r->result_x = 0.0f;
  const float point[4] = {0.0f, 0.0f, 0.0f, 0.0f};
  const float fitted[4] = {corrected, raw, corrected, raw};
  ap7e_set_results(r, point, fitted);
  return 1;
}

}  // namespace

bool ap7e_make_frame(AP7_SPECTRUM* spectrum, AP7_MEASUREREC* record, ap7e_frame& frame) {
  const AP41_HEADERDATA* header = ap7a_record(ap7a_spectrum(spectrum));
  if (header == nullptr || spectrum->data == nullptr) return false;
  frame.spectrum = spectrum;
  frame.record = record;
  frame.a = record->value_a;
  frame.b = record->slope_b;
  frame.x0 = record->origin_x0;
  frame.c = record->curvature_c;
  frame.n = static_cast<int32_t>(std::min({header->points, spectrum->data->columns, uint32_t{INT32_MAX}}));
  frame.h = ap7b_GetXSpacing(spectrum);
  frame.xlo = std::min(header->first_x, header->last_x);
  frame.xhi = std::max(header->first_x, header->last_x);
  frame.direction = static_cast<uint16_t>(ap7d_GetPeakDirection(spectrum));
  frame.full_scale = ap7d_GetYUnitScale(spectrum);
  record->full_scale = frame.full_scale;
  return frame.n > 0 && frame.h != 0.0f && std::isfinite(frame.h);
}

bool ap7e_x_passes(const ap7e_frame& f, float x) {
  const float half = f.h / 2.0f;
  return f.xlo - half <= x && x <= f.xhi + half;
}

bool ap7e_region_passes(const ap7e_frame& f) {
  return ap7e_x_passes(f, f.record->region_start) && ap7e_x_passes(f, f.record->region_end);
}

void ap7e_widen(const ap7e_frame& f, bool inside) {
  AP7_MEASUREREC* r = f.record;
  const float step = std::fabs(f.h);
  const float start = r->region_start;
  const float end = r->region_end;
  const float new_start = start < end ? start - step : start + step;
  const float new_end = start < end ? end + step : end - step;
  if (!inside || (new_start >= f.xlo && new_start <= f.xhi)) r->region_start = new_start;
  if (!inside || (new_end >= f.xlo && new_end <= f.xhi)) r->region_end = new_end;
}

void ap7e_vertex(const float* x, const float* y, float* top, float* top_x) {
  const float a = (y[0] - 2.0f * y[1] + y[2]) * 0.5f;
  const float b = (y[2] - y[0]) * 0.5f;
  if (!AP1_KovFloatCompareSG_MATH(a, 0.0f)) {
    const float p = std::clamp(-0.5f * b / a, -1.0f, 1.0f);
    *top = (a * p + b) * p + y[1];
    *top_x = (x[1] - x[0]) * p + x[1];
  } else if (AP1_KovFloatCompareSG_MATH(b, 0.0f)) {
    *top = y[1];
    *top_x = x[1];
  } else if (y[0] > y[2]) {
    *top = y[0];
    *top_x = x[0];
  } else {
    *top = y[2];
    *top_x = x[2];
  }
}

void ap7e_accept(AP7_MEASUREREC* record) {
  if (record->window_on == 0) return;
  float low = record->window_low;
  float high = record->window_high;
  if (AP1_KovFloatCompareDB_MATH(low, high)) return;
  if (high < low) {
    std::swap(low, high);
    record->window_low = low;
    record->window_high = high;
  }
  const float value = record->fitted_value_corrected;
  if (value < low || value > high) record->fitted_x_corrected = AP1_GetNaNSG_MATH();
}

void ap7e_set_results(AP7_MEASUREREC* record, const float* point, const float* fitted) {
  record->point_x_corrected = point[0];
  record->point_x_raw = point[1];
  record->point_value_corrected = point[2];
  record->point_value_raw = point[3];
  record->fitted_x_corrected = fitted[0];
  record->fitted_x_raw = fitted[1];
  record->fitted_value_corrected = fitted[2];
  record->fitted_value_raw = fitted[3];
}

uint16_t ap7e_MeasurePeak(AP7_SPECTRUM* spectrum, AP7_MEASUREREC* record) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || IsBadWritePtr(record, sizeof(AP7_MEASUREREC))) return 0;
  if (!ap7e_MeasureBaseline(spectrum, record)) return 0;
  ap7e_frame f{};
  if (!ap7e_make_frame(spectrum, record, f)) return 0;
  const uint16_t type = record->type;
  switch (type) {
    case AP7E_VALUE_AT_X:
    case AP7E_VALUE_AT_POINT:
    case AP7E_INTERPOLATED_VALUE: return ap7e_value_at_x(f, type);
    case AP7E_OFFSET_PEAK_VALUE:
    case AP7E_PEAK_VALUE: return ap7e_peak_position(f, type);
    case AP7E_REGION_MEAN: return ap7e_region_mean(f);
    case AP7E_PEAK_HEIGHT:
    case AP7E_NEGATED_PEAK_HEIGHT:
    case AP7E_MAGNITUDE_HEIGHT:
    case AP7E_PEAK_HEIGHT_B:
    case AP7E_NEGATED_PEAK_HEIGHT_B: return ap7e_height(f, type);
    case AP7E_AREA:
    case AP7E_TWO_POINT_AREA: return ap7e_area(f);
    case AP7E_HALF_HEIGHT_AREA:
    case AP7E_FRACTION_AREA: return ap7e_fraction_area(f, type);
    case AP7E_RANGE:
    case AP7E_STANDARD_DEVIATION: return ap7e_statistics(f);
    case AP7E_ROOT_MEAN_SQUARE: return ap7e_root_mean_square(f);
    default: break;
  }
  if ((type >= AP7E_HALF_HEIGHT_WIDTH && type <= AP7E_CROSSING_10_PERCENT) ||
      (type >= AP7E_AREA_BETWEEN_CROSSINGS && type <= AP7E_WIDTH_AT_LAST_LEVEL))
    return ap7e_MeasureWidth(f);
  return 0;
}
