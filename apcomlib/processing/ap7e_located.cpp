// Peak measurement against a baseline located automatically (message 244).
//
// The peak and two base points under it are found first (the peak list of
// the spectrum, then by slope mode either its base points as they are, the
// lower hull between the search limits or the tangents from the peak), and
// the record's measurement then runs as message 243 with a baseline through
// the two points. The caller's settings are put back afterwards, except
// that the half-height area keeps the snapped base points and their level.
// The dispatcher's analysis table calls ap7e_MeasureWithSlope for message
// 244.
#include <algorithm>

#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"

namespace {

// The levels the peak list is asked for.
constexpr float kPeakLevel = 95.0f;
constexpr float kValleyLevel = 75.0f;

// Slope modes of the record.
constexpr uint16_t kBasePoints = 0;
constexpr uint16_t kLowerHull = 1;
constexpr uint16_t kTangents = 2;

// The record fields a located measurement overrides.
struct ap7e_settings {
  uint16_t type;
  uint16_t point_count;
  uint16_t baseline_mode;
  uint16_t x_source;
  float x;
  float position1;
  float position2;
};

ap7e_settings ap7e_settings_of(const AP7_MEASUREREC* r) {
  return {r->type, r->point_count, r->baseline_mode, r->x_source, r->x, r->position1, r->position2};
}

void ap7e_restore(AP7_MEASUREREC* r, const ap7e_settings& s) {
  r->type = s.type;
  r->point_count = s.point_count;
  r->baseline_mode = s.baseline_mode;
  r->x_source = s.x_source;
  r->x = s.x;
  r->position1 = s.position1;
  r->position2 = s.position2;
}

// A baseline through the two located points, the X taken from the raw data.
void ap7e_two_points(AP7_MEASUREREC* r, float p1, float p2) {
  r->position1 = p1;
  r->position2 = p2;
  r->point_count = 2;
  r->baseline_mode = AP7E_BASELINE_THROUGH_POINTS;
  r->x_source = 0;
}

bool ap7e_below(float value, float line, uint16_t direction) {
  return direction == AP1_PEAKS_UP ? value < line : value > line;
}

// The index of an X held within the data; false for an X that maps to none.
bool ap7e_index_of(const AP7_SPECTRUM* spectrum, float x, int32_t n, int32_t& index) {
  constexpr int32_t kUnset = INT32_MIN;
  index = kUnset;
  ap7b_XToIndex(spectrum, x, &index);
  if (index == kUnset) return false;
  index = std::clamp(index, 0, n - 1);
  return true;
}

// Slope mode 1: the chord between the first and last present points of
// low..high, lowered (for peaks down: raised) onto the data on each side of
// the peak. Fewer than two present points give no chord.
bool ap7e_lower_hull(const AP7_SPECTRUM* spectrum, const float* y, int32_t n, float low, float high, float peak_x,
                     uint16_t direction, float* p1, float* p2) {
  int32_t il = 0, ir = n - 1, ip = 0;
  // Limits not given take in the whole spectrum.
  const bool whole = ap1_not_given(low) && ap1_not_given(high);
  if (!ap7e_index_of(spectrum, peak_x, n, ip) ||
      (!whole && (!ap7e_index_of(spectrum, low, n, il) || !ap7e_index_of(spectrum, high, n, ir))))
    return false;
  if (il > ir) std::swap(il, ir);
  while (il <= ir && ap1_is_missing(y[il])) ++il;
  while (ir > il && ap1_is_missing(y[ir])) --ir;
  if (ir <= il) return false;
  float yl = y[il];
  float yr = y[ir];
  float s = (yr - yl) / static_cast<float>(ir - il);
  for (int32_t k = il + 1; k < ip && k < ir; ++k) {
    if (ap1_is_missing(y[k]) || !ap7e_below(y[k], yl + s * static_cast<float>(k - il), direction)) continue;
    il = k;
    yl = y[k];
    s = (yr - yl) / static_cast<float>(ir - k);
  }
  for (int32_t k = ir - 1; k > ip && k > il; --k) {
    if (ap1_is_missing(y[k]) || !ap7e_below(y[k], yl + s * static_cast<float>(k - il), direction)) continue;
    ir = k;
    yr = y[k];
    s = (yr - yl) / static_cast<float>(k - il);
  }
  ap7b_IndexToX(spectrum, il, p1);
  ap7b_IndexToX(spectrum, ir, p2);
  return true;
}

// Slope mode 2, one walk from `start` away from the anchor's side: the
// candidate moves out while it stays on or above (for peaks down: below)
// the chord from the next point to the anchor, the data stay within the
// peak value and have values.
int32_t ap7e_tangent_walk(const float* y, int32_t n, int32_t start, int32_t step, int32_t anchor, float peak,
                          uint16_t direction) {
  int32_t c = start;
  for (int32_t j = start + step; j >= 0 && j < n; j += step) {
    const float yj = y[j];
    if (ap1_is_missing(yj) || ap7e_below(peak, yj, direction)) break;
    const float chord = (y[anchor] - yj) / static_cast<float>(anchor - j) * static_cast<float>(c - j) + yj;
    if (ap7e_below(y[c], chord, direction)) break;
    c = j;
  }
  return c;
}

bool ap7e_tangents(const AP7_SPECTRUM* spectrum, const float* y, int32_t n, float peak_x, uint16_t direction,
                   float* p1, float* p2) {
  int32_t ip = 0;
  if (!ap7e_index_of(spectrum, peak_x, n, ip) || ap1_is_missing(y[ip])) return false;
  const float peak = y[ip];
  int32_t il = ap7e_tangent_walk(y, n, ip, -1, ip, peak, direction);
  const int32_t ir = ap7e_tangent_walk(y, n, ip, 1, il, peak, direction);
  il = ap7e_tangent_walk(y, n, il, -1, ir, peak, direction);
  ap7b_IndexToX(spectrum, il, p1);
  ap7b_IndexToX(spectrum, ir, p2);
  return true;
}

// One search of the peak list at x; its base points in ascending order.
bool ap7e_peak_at(AP7_SPECTRUM* spectrum, float x, float low, float high, float* peak, float* left, float* right) {
  if (!ap7b_PeakListInRange(spectrum, x, low, high, kPeakLevel, kValleyLevel, peak, left, right)) return false;
  if (*left > *right) std::swap(*left, *right);
  return true;
}

}  // namespace

uint16_t ap7e_FindPeakBasePoints(AP7_SPECTRUM* spectrum, float x1, float x2, float low, float high, float* peak_x,
                                 float* p1, float* p2, float* y1, float* y2, float* slope) {
  if (IsBadWritePtr(peak_x, sizeof(float)) || IsBadWritePtr(p1, sizeof(float)) || IsBadWritePtr(p2, sizeof(float)) ||
      IsBadWritePtr(y1, sizeof(float)) || IsBadWritePtr(y2, sizeof(float)) || IsBadWritePtr(slope, sizeof(float)))
    return 0;
  float peak = 0.0f, left = 0.0f, right = 0.0f;
  if (!ap7e_peak_at(spectrum, x1, low, high, &peak, &left, &right)) return 0;
  const float first_left = left;
  if (!AP1_KovFloatCompareSG_MATH(x1, x2) && !ap7e_peak_at(spectrum, x2, low, high, &peak, &left, &right)) return 0;
  float value1 = 0.0f, value2 = 0.0f;
  ap7a_GetValueAtX(spectrum, first_left, &value1);
  ap7a_GetValueAtX(spectrum, right, &value2);
  *peak_x = peak;
  *p1 = first_left;
  *p2 = right;
  *y1 = value1;
  *y2 = value2;
  *slope = first_left != right ? (value1 - value2) / (first_left - right) : 0.0f;
  return 1;
}

uint16_t ap7e_FindSlopeBaseline(AP7_SPECTRUM* spectrum, float x1, float x2, float low, float high,
                                uint16_t slope_mode, float* peak_x, float* p1, float* p2) {
  const AP41_HEADERDATA* header = ap7a_record(ap7a_spectrum(spectrum));
  if (header == nullptr || spectrum->data == nullptr || IsBadWritePtr(p1, sizeof(float)) ||
      IsBadWritePtr(p2, sizeof(float)))
    return 0;
  if (x1 > x2) std::swap(x1, x2);
  if (low > high) std::swap(low, high);
  float base1 = 0.0f, base2 = 0.0f, y1 = 0.0f, y2 = 0.0f, slope = 0.0f;
  if (!ap7e_FindPeakBasePoints(spectrum, x1, x2, low, high, peak_x, &base1, &base2, &y1, &y2, &slope)) return 0;
  const auto direction = static_cast<uint16_t>(ap7d_GetPeakDirection(spectrum));
  const float* y = ap7b_GetDataPtr(spectrum);
  const auto n = static_cast<int32_t>(std::min({header->points, spectrum->data->columns, uint32_t{INT32_MAX}}));
  switch (slope_mode) {
    case kBasePoints:
      *p1 = base1;
      *p2 = base2;
      return 1;
    case kLowerHull: return y != nullptr && ap7e_lower_hull(spectrum, y, n, low, high, *peak_x, direction, p1, p2);
    case kTangents: return y != nullptr && ap7e_tangents(spectrum, y, n, *peak_x, direction, p1, p2);
    default: return 1;
  }
}

uint16_t ap7e_MeasureWithSlope(AP7_SPECTRUM* spectrum, AP7_MEASUREREC* record) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || IsBadWritePtr(record, sizeof(AP7_MEASUREREC))) return 0;
  const ap7e_settings saved = ap7e_settings_of(record);
  const uint16_t type = saved.type;
  if (type < AP7E_VALUE_AT_X || type > AP7E_NEGATED_PEAK_HEIGHT_B || type == AP7E_FRACTION_AREA ||
      type == AP7E_TWO_POINT_AREA || type == AP7E_TWO_POINT_CENTRE_OF_GRAVITY)
    return 0;
  const bool at_x = type == AP7E_VALUE_AT_X || type == AP7E_VALUE_AT_POINT || type == AP7E_INTERPOLATED_VALUE ||
                    type == AP7E_HALF_HEIGHT_AREA;
  const float x1 = at_x ? saved.x : record->region_start;
  const float x2 = at_x ? saved.x : record->region_end;
  float peak = 0.0f;
  // A slope mode that places no base points leaves the caller's positions.
  float p1 = saved.position1;
  float p2 = saved.position2;
  if (!ap7e_FindSlopeBaseline(spectrum, x1, x2, record->slope_low, record->slope_high, record->slope_mode, &peak,
                              &p1, &p2))
    return 0;

  ap7e_two_points(record, p1, p2);
  if (!at_x) {
    if (type == AP7E_REGION_TRACE || type == AP7E_REGION_DIFFERENCE || type == AP7E_REGION_CENTRAL_DIFFERENCE ||
        type == AP7E_REGION_SECOND_DIFFERENCE)
      record->type = AP7E_AREA;
    const uint16_t measured = ap7e_MeasurePeak(spectrum, record);
    ap7e_restore(record, saved);
    return measured;
  }
  record->x = peak;
  record->type = AP7E_VALUE_AT_POINT;
  uint16_t measured = ap7e_MeasurePeak(spectrum, record);
  if (type != AP7E_HALF_HEIGHT_AREA) {
    ap7e_restore(record, saved);
    return measured;
  }
  // The half-height area runs again at the caller's X between the base
  // points the first run snapped, their level kept.
  record->type = type;
  record->x = saved.x;
  const float baseline_x1 = record->baseline_x1;
  const float baseline_x2 = record->baseline_x2;
  const float baseline_y1 = record->baseline_y1;
  record->position1 = baseline_x1;
  record->position2 = baseline_x2;
  record->level = baseline_y1;
  if (measured == 1) measured = ap7e_MeasurePeak(spectrum, record);
  record->point_count = saved.point_count;
  record->baseline_mode = saved.baseline_mode;
  record->x_source = saved.x_source;
  return measured;
}
