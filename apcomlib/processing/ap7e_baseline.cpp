// The baseline under a peak measurement (message 242) and the two services
// every measurement starts from: moving an X to its nearest point and
// cutting a stretch of the spectrum out to measure.
//
// The caller's measurement record names the baseline mode; the baseline is
// written into it as the polynomial a + b (x - x0) + c (x - x0)^2 and as
// two end points for display. The spectrum is never changed. The
// dispatcher's analysis table calls ap7e_MeasureBaseline for message 242;
// the peak measurement (message 243), the located baseline (244) and the
// region trace (246) draw their baseline through it first.
#include <algorithm>
#include <cmath>

#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"

namespace {

// An index that ap7b_XToIndex never gives: it tells an x that maps to no
// point (not a number, a spacing of 0) from one beyond the data.
constexpr int32_t kNoIndex = INT32_MIN;

// Fits need two present points for a line and three for a parabola;
// fewer leave the system singular.
constexpr int32_t kLinePoints = 2;
constexpr int32_t kParabolaPoints = 3;

// A baseline point found in a region or at a position.
struct ap7e_point {
  bool found = false;
  float x = 0.0f;
  float y = 0.0f;
};

void ap7e_set_polynomial(AP7_MEASUREREC* record, float a, float b, float x0, float c) {
  record->value_a = a;
  record->slope_b = b;
  record->origin_x0 = x0;
  record->curvature_c = c;
}

// A flat line at the level; the end points' X values are left as they are.
void ap7e_flat(AP7_MEASUREREC* record, float level) {
  record->baseline_y1 = level;
  record->baseline_y2 = level;
  ap7e_set_polynomial(record, level, 0.0f, 0.0f, 0.0f);
}

double ap7e_det3(double a11, double a12, double a13, double a21, double a22, double a23, double a31, double a32,
                 double a33) {
  return a11 * (a22 * a33 - a23 * a32) - a12 * (a21 * a33 - a23 * a31) + a13 * (a21 * a32 - a22 * a31);
}

// Modes 1 and 7: the least-squares line or parabola over the measurement
// region, t counted from the region's middle.
bool ap7e_fit(AP7_SPECTRUM* spectrum, AP7_MEASUREREC* record, bool parabola) {
  float start = record->region_start;
  float end = record->region_end;
  if (!ap7e_snap(spectrum, start) || !ap7e_snap(spectrum, end)) return false;
  record->region_start = start;
  record->region_end = end;
  const ap7e_cut cut(spectrum, start, end);
  if (!cut.found()) return false;
  const float x0 = (cut.first_x() + cut.last_x()) / 2.0f;
  const float h = ap7b_GetXSpacing(spectrum);
  const float* y = cut.values();
  const int32_t m = cut.count();
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0, s4 = 0.0, sy = 0.0, sty = 0.0, st2y = 0.0;
  int32_t used = 0;
  float t = cut.first_x() - x0;
  for (int32_t i = 0; i < m; ++i, t += h) {
    if (ap1_is_missing(y[i])) continue;
    const double td = t;
    ++used;
    s0 += 1.0;
    s1 += td;
    s2 += td * td;
    s3 += td * td * td;
    s4 += td * td * td * td;
    sy += y[i];
    sty += td * y[i];
    st2y += td * td * y[i];
  }
  double a = 0.0, b = 0.0, c = 0.0;
  if (!parabola) {
    const double det = s2 * s0 - s1 * s1;
    if (used >= kLinePoints && det > 0.0 && !AP1_KovFloatCompareDB_MATH(det, 0.0)) {
      b = (sty * s0 - s1 * sy) / det;
      a = (s2 * sy - sty * s1) / det;
    }
  } else {
    const double det = s0 * s2 * s4 + 2.0 * s1 * s2 * s3 - s0 * s3 * s3 - s1 * s1 * s4 - s2 * s2 * s2;
    if (used >= kParabolaPoints && !AP1_KovFloatCompareDB_MATH(det, 0.0)) {
      a = ap7e_det3(sy, s1, s2, sty, s2, s3, st2y, s3, s4) / det;
      b = ap7e_det3(s0, sy, s2, s1, sty, s3, s2, st2y, s4) / det;
      c = ap7e_det3(s0, s1, sy, s1, s2, sty, s2, s3, st2y) / det;
    }
  }
  const auto fa = static_cast<float>(a);
  const auto fb = static_cast<float>(b);
  const auto fc = static_cast<float>(c);
  const float half = static_cast<float>(m - 1) * h / 2.0f;
  record->baseline_x1 = x0 - half;
  record->baseline_x2 = x0 + half;
  record->baseline_y1 = fa - half * fb + half * half * fc;
  record->baseline_y2 = fa + half * fb + half * half * fc;
  ap7e_set_polynomial(record, fa, fb, x0, fc);
  return true;
}

// Mode 2: a position snapped to its point, with the point's index.
bool ap7e_snap_index(AP7_SPECTRUM* spectrum, float& position, int32_t& index) {
  if (!ap7e_snap(spectrum, position)) return false;
  ap7b_XToIndex(spectrum, position, &index);
  return true;
}

// Mode 2: the data value at a point's X, found when present.
ap7e_point ap7e_value_point(AP7_SPECTRUM* spectrum, float x) {
  float value = 0.0f;
  if (!ap7a_GetValueAtX(spectrum, x, &value) || ap1_is_missing(value)) return ap7e_point{};
  return ap7e_point{true, x, value};
}

// Modes 3 to 5: the mean, lowest or highest present point of a region whose
// ends are snapped, cut and rewritten with the cut's first and last X.
ap7e_point ap7e_region_point(AP7_SPECTRUM* spectrum, uint16_t mode, float& start, float& end) {
  ap7e_point point;
  if (!ap7e_snap(spectrum, start) || !ap7e_snap(spectrum, end)) return point;
  const ap7e_cut cut(spectrum, start, end);
  if (!cut.found()) return point;
  start = cut.first_x();
  end = cut.last_x();
  const float h = ap7b_GetXSpacing(spectrum);
  const float* y = cut.values();
  double sum_x = 0.0;
  double sum_y = 0.0;
  int32_t count = 0;
  for (int32_t i = 0; i < cut.count(); ++i) {
    if (ap1_is_missing(y[i])) continue;
    const float x = cut.x_at(i, h);
    ++count;
    sum_x += x;
    sum_y += y[i];
    const bool better = !point.found || (mode == AP7E_BASELINE_REGION_LOWEST && y[i] < point.y) ||
                        (mode == AP7E_BASELINE_REGION_HIGHEST && y[i] > point.y);
    if (mode != AP7E_BASELINE_REGION_MEAN && better) point = {true, x, y[i]};
  }
  if (mode == AP7E_BASELINE_REGION_MEAN && count > 0)
    point = {true, static_cast<float>(sum_x / count), static_cast<float>(sum_y / count)};
  return point;
}

// Modes 2 to 5: through one or two points; with none found, flat at full
// scale. Always usable.
void ap7e_through_points(AP7_SPECTRUM* spectrum, AP7_MEASUREREC* record, float full_scale, uint16_t direction) {
  const uint16_t mode = record->baseline_mode;
  const uint16_t wanted = record->point_count;
  ap7e_point first;
  ap7e_point second;
  if (wanted == 1 || wanted == 2) {
    if (mode == AP7E_BASELINE_THROUGH_POINTS) {
      float position = record->position1;
      int32_t i1 = kNoIndex;
      if (ap7e_snap_index(spectrum, position, i1)) {
        record->position1 = position;
        first = ap7e_value_point(spectrum, position);
      }
      position = record->position2;
      int32_t i2 = kNoIndex;
      if (wanted == 2 && ap7e_snap_index(spectrum, position, i2)) {
        record->position2 = position;
        if (i2 != i1) second = ap7e_value_point(spectrum, position);
      }
    } else {
      float start = record->position1;
      float end = record->region1_end;
      first = ap7e_region_point(spectrum, mode, start, end);
      record->position1 = start;
      record->region1_end = end;
      if (wanted == 2) {
        start = record->position2;
        end = record->region2_end;
        second = ap7e_region_point(spectrum, mode, start, end);
        record->position2 = start;
        record->region2_end = end;
        if (first.found && second.found && AP1_KovFloatCompareSG_MATH(first.x, second.x)) second.found = false;
      }
    }
  }
  // Two points at one X (which the snapping and the tolerant test above
  // make rare) draw no slope: the second is dropped.
  if (first.found && second.found && first.x == second.x) second.found = false;
  if (!first.found && second.found) std::swap(first, second);

  if (!first.found) {
    record->point_count = 0;
    ap7e_flat(record, full_scale);
  } else if (!second.found) {
    record->point_count = 1;
    record->baseline_x1 = first.x;
    record->baseline_x2 = first.x;
    ap7e_flat(record, first.y);
    record->origin_x0 = first.x;
  } else {
    record->point_count = 2;
    record->baseline_x1 = first.x;
    record->baseline_y1 = first.y;
    record->baseline_x2 = second.x;
    record->baseline_y2 = second.y;
    if (record->type == AP7E_TWO_POINT_CENTRE_OF_GRAVITY) {
      const bool up = direction == AP1_PEAKS_UP;
      float level = first.y;
      if (second.y != first.y) level = (second.y > first.y) == up ? second.y : first.y;
      ap7e_set_polynomial(record, level, 0.0f, first.x, 0.0f);
    } else {
      ap7e_set_polynomial(record, first.y, (second.y - first.y) / (second.x - first.x), first.x, 0.0f);
    }
  }
}

}  // namespace

bool ap7e_snap(const AP7_SPECTRUM* spectrum, float& x) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || record->points < 1) return false;
  int32_t index = kNoIndex;
  ap7b_XToIndex(spectrum, x, &index);
  if (index == kNoIndex) return false;
  const auto last = static_cast<int32_t>(std::min<uint32_t>(record->points - 1, INT32_MAX));
  ap7b_IndexToX(spectrum, std::clamp(index, 0, last), &x);
  return true;
}

ap7e_cut::ap7e_cut(AP7_SPECTRUM* spectrum, float xa, float xb) : cut_(ap7a_NewFromRangeStrict(spectrum, xa, xb)) {
  AP7_SPECTRUM* cut = cut_.get();
  if (cut == nullptr || cut->data == nullptr) return;
  uint32_t points = 0;
  ap7a_GetRangePoints(cut, AP_NOT_GIVEN, AP_NOT_GIVEN, &points);
  points = std::min({points, cut->data->columns, static_cast<uint32_t>(INT32_MAX)});
  const AP41_HEADERDATA* record = ap7a_record(cut);
  if (points == 0) return;
  count_ = static_cast<int32_t>(points);
  first_x_ = record->first_x;
  last_x_ = record->last_x;
  values_ = ap7b_GetDataPtr(cut);
}

void ap7e_cut::write_back(AP7_MEASUREREC* record) const {
  record->region_start = first_x_;
  record->region_end = last_x_;
}

uint16_t ap7e_MeasureBaseline(AP7_SPECTRUM* spectrum, AP7_MEASUREREC* record) {
  const AP41_HEADERDATA* header = ap7a_record(ap7a_spectrum(spectrum));
  if (header == nullptr || IsBadWritePtr(record, sizeof(AP7_MEASUREREC))) return 0;
  const uint16_t mode = record->baseline_mode;
  if (mode > AP7E_BASELINE_FITTED_PARABOLA) return 0;
  const float full_scale = ap7d_GetYUnitScale(spectrum);
  const auto direction = static_cast<uint16_t>(ap7d_GetPeakDirection(spectrum));
  uint16_t drawn = 1;
  switch (mode) {
    case AP7E_BASELINE_LEVEL:
      record->baseline_x1 = header->first_x;
      record->baseline_x2 = header->last_x;
      ap7e_flat(record, record->level);
      break;
    case AP7E_BASELINE_FULL_SCALE:
      record->point_count = 0;
      ap7e_flat(record, full_scale);
      break;
    case AP7E_BASELINE_FITTED_LINE:
    case AP7E_BASELINE_FITTED_PARABOLA:
      drawn = ap7e_fit(spectrum, record, mode == AP7E_BASELINE_FITTED_PARABOLA) ? 1 : 0;
      break;
    default: ap7e_through_points(spectrum, record, full_scale, direction); break;
  }
  // Two types need a baseline through two points; type 114 then measures
  // between them.
  const uint16_t type = record->type;
  if (type != AP7E_TWO_POINT_AREA && type != AP7E_TWO_POINT_CENTRE_OF_GRAVITY) return drawn;
  if (mode < AP7E_BASELINE_THROUGH_POINTS || mode > AP7E_BASELINE_REGION_HIGHEST || record->point_count != 2)
    return 0;
  if (type == AP7E_TWO_POINT_AREA) {
    record->region_start = record->baseline_x1;
    record->region_end = record->baseline_x2;
  }
  return drawn;
}
