// The region operations that prepare or judge one X region of a spectrum:
// a cleaned copy of a region replaced by its rubber-band baseline or by the
// region less that baseline (message 268), the counts of points and runs
// of a region that absorb totally or nearly so (message 269), the cut or
// extension of a spectrum to an X extent (message 275), and an absorbance
// copy with the atmosphere suppressed and an iterative baseline removed
// (message 276). The quality checks send 268 and 269.
//
// Messages 268, 269 and 276 leave the spectrum as it was; 275 changes it.
#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/memory.h"
#include "processing/processing.h"

namespace {

constexpr uint16_t kAbsorbance = 17;
constexpr uint16_t kTransmittance = 23;
constexpr float kNearlyZero = 0.0001f;
constexpr float kPercent = 100.0f;
// A point below the floor never ends a rubber-band segment.
constexpr double kBelowFloor = 1000000.0;
// Points counted from a distance in X are taken a hair above it.
constexpr double kCountRounding = 0.01;
// The bands the floor of the band guard is kept clear of, each bridged by a
// straight line in this order.
constexpr float kGuardedBands[][2] = {{3980.0f, 3440.0f}, {2020.0f, 1305.0f}, {2390.0f, 2285.0f}, {704.0f, 630.0f}};
constexpr uint16_t kSuppressedBaselineOrder = 3;

// Region limits of messages 268 and 269: not given means the whole axis;
// ends beyond the axis are pulled in.
bool ap7f_region_limits(const AP41_HEADERDATA* record, float& x1, float& x2) {
  if (std::isnan(x1) || std::isnan(x2)) return false;
  if (ap1_not_given(x1) || ap1_not_given(x2)) {
    x1 = record->first_x;
    x2 = record->last_x;
  }
  const float first_x = record->first_x;
  const float last_x = record->last_x;
  const float low = std::min(first_x, last_x);
  const float high = std::max(first_x, last_x);
  float& lower = x1 <= x2 ? x1 : x2;
  float& upper = x1 <= x2 ? x2 : x1;
  lower = std::max(lower, low);
  upper = std::min(upper, high);
  return true;
}

void ap7f_negate(float* y, int32_t n) {
  for (int32_t i = 0; i < n; ++i) y[i] = -y[i];
}

// The floor of the rubber band: the lowest value once the atmospheric
// bands are bridged, never below 0.
bool ap7f_band_floor(AP7_SPECTRUM* work, float& floor) {
  ap7a_new_spectrum bridged(ap7a_Duplicate(work, nullptr));
  if (bridged.get() == nullptr) return false;
  // A band outside the region has nothing to bridge.
  for (const auto& band : kGuardedBands) ap7b_StraightLineRegion(bridged.get(), band[0], band[1]);
  float maximum = 0.0f;
  if (!ap7a_MinMax(bridged.get(), AP_NOT_GIVEN, AP_NOT_GIVEN, &floor, &maximum) || ap1_is_missing(floor)) return false;
  floor = std::max(floor, 0.0f);
  return true;
}

// The rubber band under w: from each vertex, the line to the point that
// makes the smallest slope (the nearest of equal slopes) is subtracted, and
// that point is the next vertex. With a floor, points below it neither end
// a segment nor anchor one below the floor. The number of segments + 2.
int32_t ap7f_rubber_band(float* w, int32_t n, bool floored, float floor) {
  int32_t segments = 1;
  int32_t a = 0;
  for (;;) {
    const double v = floored && w[a] < floor ? double{floor} : double{w[a]};
    int32_t b = a + 1;
    const double first = floored && w[b] < floor ? kBelowFloor : double{w[b]};
    double s = first - v;
    if (floored && w[n - 1] < floor) w[n - 1] = floor;
    for (int32_t j = a + 2; j < n; ++j) {
      if (floored && w[j] < floor) continue;
      if (w[j] < v + (j - a) * s) {
        b = j;
        s = (w[j] - v) / (j - a);
      }
    }
    for (int32_t k = a; k < b; ++k) w[k] = static_cast<float>(w[k] - (v + (k - a) * s));
    ++segments;
    a = b;
    if (a == n - 1) {
      w[n - 1] = 0.0f;
      return segments + 1;
    }
  }
}

// A spectrum's point count in X from its first or last X to a limit.
bool ap7f_points_between(double from, double to, double dx, int32_t& count) {
  const double points = std::fabs(to - from) / std::fabs(dx) + kCountRounding;
  if (!(points < INT32_MAX)) return false;
  count = static_cast<int32_t>(points);
  return true;
}

// Points inserted at one end are set missing.
bool ap7f_insert_missing(AP7_SPECTRUM* spectrum, uint16_t at_start, int32_t count) {
  if (!ap7a_InsertPoints(spectrum, at_start, count)) return false;
  float* y = ap7b_GetDataPtr(spectrum);
  if (y == nullptr) return false;
  const int32_t n = static_cast<int32_t>(spectrum->data->columns);
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return false;
  const int32_t from = at_start ? 0 : n - count;
  std::fill(y + from, y + from + count, AP1_GetNaNSG_MATH());
  return true;
}

// One end of message 275: cut to the limit, or extend to it when allowed.
bool ap7f_fit_end(AP7_SPECTRUM* spectrum, uint16_t at_start, float limit, bool extend) {
  const AP41_HEADERDATA* record = ap7a_record(spectrum);
  const float end = at_start ? record->first_x : record->last_x;
  if (AP1_KovFloatCompareSG_MATH(end, limit)) return true;
  int32_t count = 0;
  if (!ap7f_points_between(end, limit, ap7b_GetXSpacing(spectrum), count)) return false;
  const bool inside = at_start ? end < limit : end > limit;
  if (inside) {
    // Cutting away every point is no extent.
    if (int64_t{count} >= int64_t{record->points}) return false;
    return ap7a_DeletePoints(spectrum, at_start, count) != 0;
  }
  return !extend || ap7f_insert_missing(spectrum, at_start, count);
}

}  // namespace

bool ap7f_TrimMissingEnds(AP7_SPECTRUM* copy) {
  const float* y = ap7b_GetDataPtr(ap7a_spectrum(copy));
  if (y == nullptr) return false;
  const int32_t n = static_cast<int32_t>(copy->data->columns);
  int32_t lead = 0;
  while (lead + 1 < n && (ap1_is_missing(y[lead]) || ap1_is_missing(y[lead + 1]))) ++lead;
  if (lead + 1 >= n) return false;
  int32_t trail = 0;
  while (ap1_is_missing(y[n - 1 - trail]) || ap1_is_missing(y[n - 2 - trail])) ++trail;
  if (lead > 0 && !ap7a_DeletePoints(copy, 1, lead)) return false;
  if (trail > 0 && !ap7a_DeletePoints(copy, 0, trail)) return false;
  return ap4b_FillNaNGaps(copy->data) != 0;
}

AP7_SPECTRUM* ap7f_CleanRegionCopy(AP7_SPECTRUM* spectrum, uint16_t keep_sign, uint16_t absorbance,
                                   uint16_t band_guard, uint16_t output, float x1, float x2, AP4_ARRAY** result_out) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || spectrum->data == nullptr || !ap7f_region_limits(record, x1, x2)) return nullptr;
  const bool guarded = absorbance != 0 && band_guard != 0;
  ap4a_new_array result(ap4a_New(AP4_CLASS_ID, 1, AP7F_REGION_COLUMNS, nullptr));
  ap7a_new_spectrum copy(ap7a_NewFromRangeStrict(spectrum, x1, x2));
  if (copy.get() == nullptr) return nullptr;
  const uint32_t y_units = ap7a_record(copy.get())->y_units;
  // A copy that cannot become absorbance is worked on as it is.
  if (absorbance) ap7d_ConvertYUnits(copy.get(), kAbsorbance);
  if (!ap7f_TrimMissingEnds(copy.get())) return nullptr;
  float* c = ap7b_GetDataPtr(copy.get());
  ap7a_new_spectrum work(ap7a_Duplicate(copy.get(), nullptr));
  float* w = ap7b_GetDataPtr(work.get());
  const int32_t n = c != nullptr ? static_cast<int32_t>(copy.get()->data->columns) : 0;
  if (w == nullptr || n < 2 || work.get()->data->columns != copy.get()->data->columns) return nullptr;
  if (!keep_sign) ap7f_negate(w, n);
  float floor = 0.0f;
  if (guarded && !ap7f_band_floor(work.get(), floor)) return nullptr;
  const int32_t segments = ap7f_rubber_band(w, n, guarded, floor);
  if (!keep_sign) ap7f_negate(w, n);
  {
    ap7a_change_bracket bracket(copy.get());
    if (!bracket.begun()) return nullptr;
    for (int32_t i = 0; i < n; ++i) c[i] = output == AP7F_REGION_CORRECTED ? w[i] : c[i] - w[i];
  }
  if (absorbance && !ap7d_ConvertYUnits(copy.get(), static_cast<uint16_t>(y_units))) return nullptr;
  float* cells = result.get() != nullptr ? ap4a_GetDataAddress(result.get()) : nullptr;
  if (cells != nullptr && !IsBadWritePtr(result_out, sizeof *result_out)) {
    cells[AP7F_REGION_SEGMENTS] = static_cast<float>(segments);
    cells[AP7F_REGION_POINTS] = static_cast<float>(n);
    *result_out = result.release();
  }
  return copy.release();
}

uint32_t ap7f_CountOutOfRangePoints(AP7_SPECTRUM* spectrum, uint16_t mode, float limit, float x1, float x2,
                                    AP4_ARRAY** result_out) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || spectrum->data == nullptr || !ap7f_region_limits(record, x1, x2)) return 0;
  ap7a_new_spectrum copy(ap7a_NewFromRangeStrict(spectrum, x1, x2));
  if (copy.get() == nullptr || !ap7d_ConvertYUnits(copy.get(), kTransmittance)) return 0;
  const float* t = ap7b_GetDataPtr(copy.get());
  const int32_t n = t != nullptr ? static_cast<int32_t>(copy.get()->data->columns) : 0;
  if (n < 1) return 0;
  limit /= kPercent;
  int32_t flagged = 0;
  int32_t missing = 0;
  int32_t near_zero = 0;
  int32_t below = 0;
  int32_t zero_runs = 0;
  int32_t other_runs = 0;
  bool open = false;
  bool holds_zero = false;
  for (int32_t i = 0; i < n; ++i) {
    const float value = t[i];
    const bool is_missing = ap1_is_missing(value);
    const bool is_zero = !is_missing && (value < kNearlyZero || AP1_KovFloatCompareSG_MATH(value, kNearlyZero));
    const bool is_below = !is_missing && value < limit;
    if (mode == AP7F_COUNT_NEAR_ZERO) {
      if (is_missing) ++missing;
      else if (is_zero) ++near_zero;
      flagged += is_missing || is_zero;
    } else if (mode == AP7F_COUNT_BELOW) {
      if (is_below) ++below;
      flagged += is_below;
    } else if (mode == AP7F_COUNT_RUNS) {
      if (is_missing) {
        ++missing;
        ++flagged;
      } else if (is_zero || is_below) {
        ++flagged;
        open = true;
        holds_zero = holds_zero || is_zero;
      } else if (open) {
        ++(holds_zero ? zero_runs : other_runs);
        open = false;
        holds_zero = false;
      }
    }
  }
  float columns[AP7F_COUNT_COLUMNS] = {};
  if (mode == AP7F_COUNT_NEAR_ZERO || mode == AP7F_COUNT_BELOW || mode == AP7F_COUNT_RUNS) {
    columns[0] = static_cast<float>(flagged);
    columns[1] = static_cast<float>(missing);
    columns[2] = static_cast<float>(mode == AP7F_COUNT_RUNS ? zero_runs : near_zero);
    columns[3] = static_cast<float>(mode == AP7F_COUNT_RUNS ? other_runs : below);
  }
  columns[4] = static_cast<float>(n);
  ap4a_new_array result(ap4a_New(AP4_CLASS_ID, 1, AP7F_COUNT_COLUMNS, nullptr));
  float* cells = result.get() != nullptr ? ap4a_GetDataAddress(result.get()) : nullptr;
  if (cells != nullptr && !IsBadWritePtr(result_out, sizeof *result_out)) {
    std::copy(columns, columns + AP7F_COUNT_COLUMNS, cells);
    *result_out = result.release();
  }
  return 0;
}

int16_t ap7f_SetXExtent(AP7_SPECTRUM* spectrum, float x1, float x2, float extend) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || ap7b_GetDataPtr(spectrum) == nullptr || std::isnan(x1) || std::isnan(x2)) return 0;
  if (record->first_x > record->last_x) return 0;
  const bool extending = extend != 0.0f;
  const bool start = ap7f_fit_end(spectrum, 1, std::min(x1, x2), extending);
  const bool end = ap7f_fit_end(spectrum, 0, std::max(x1, x2), extending);
  return start && end ? 1 : 0;
}

AP7_SPECTRUM* ap7f_SuppressAndBaseline(AP7_SPECTRUM* spectrum, float x1, float x2, uint16_t water, uint16_t co2,
                                       uint16_t baseline, AP7_SPECTRUM* water_reference,
                                       AP7_SPECTRUM* co2_reference) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr) return nullptr;
  if (ap1_not_given(x1) || ap1_not_given(x2)) {
    x1 = record->first_x;
    x2 = record->last_x;
  }
  // Nothing fails once the copy is made: each step that yields nothing
  // leaves the copy as it stands.
  AP7_SPECTRUM* current = ap7a_Duplicate(spectrum, nullptr);
  if (current == nullptr || !ap7b_ConvertToAbsorbance(current, 0)) return current;
  auto replace = [&current](AP7_SPECTRUM* made) {
    if (made == nullptr) return;
    ap7a_Delete(current, nullptr);
    current = made;
  };
  if (water && water_reference != nullptr) replace(ap7e_SuppressWater(current, water_reference, 1));
  if (co2 && co2_reference != nullptr) replace(ap7e_SuppressCO2(current, co2_reference, 1));
  if (baseline)
    replace(ap7e_IterativeBaselineFit(current, x1, x2, kSuppressedBaselineOrder, 1, AP7_BASELINE_DEFAULT_PASSES,
                                      AP7_BASELINE_OWN_DIRECTION));
  return current;
}
