// Peak measurement (message 243), the types that read a peak's shape:
// widths and crossing positions at a fraction of its height and the area
// between those crossings (119 to 123, 125, 128, 129), the centre of
// gravity of the part above a level (126, 127), the X where the data cross
// a level (130, 131) and the width at the level of the region's other end
// (132, 133).
//
// Every value here is baseline-corrected and reported as it is, neither
// offset by full scale nor turned for downward peaks; the point set is
// zeros unless a type says otherwise. ap7e_MeasurePeak calls
// ap7e_MeasureWidth inside its common frame.
#include <algorithm>
#include <cmath>
#include <vector>

#include "core/core.h"
#include "processing/processing.h"
#include "util/util.h"

namespace {

// Percent is held to this range before it becomes a fraction.
constexpr float kLowestPercent = 0.1f;
constexpr float kHighestPercent = 99.9f;
// The centre of gravity's level: percent outside 5..95 means 50.
constexpr float kLowestCogPercent = 5.0f;
constexpr float kHighestCogPercent = 95.0f;
constexpr float kDefaultCogPercent = 50.0f;
// Reported when a width, crossing or centre was not found.
constexpr float kNotFound = -1.0f;
// Edge placements of the centre of gravity (any other value interpolates).
constexpr uint32_t kEdgeBeyond = 1;
constexpr uint32_t kEdgeInside = 2;

constexpr float kZeros[4] = {0.0f, 0.0f, 0.0f, 0.0f};

// What a width type reports at its fraction of the height.
enum class ap7e_report { full_width, nearer_crossing, area };

struct ap7e_width_rule {
  float fraction;  // 0: percent / 100
  bool own_direction;
  ap7e_report report;
};

bool ap7e_width_rule_of(uint16_t type, ap7e_width_rule& rule) {
  switch (type) {
    case AP7E_HALF_HEIGHT_WIDTH: rule = {0.5f, true, ap7e_report::full_width}; return true;
    case AP7E_CROSSING_1_PERCENT: rule = {0.01f, false, ap7e_report::nearer_crossing}; return true;
    case AP7E_CROSSING_2_PERCENT: rule = {0.02f, false, ap7e_report::nearer_crossing}; return true;
    case AP7E_CROSSING_5_PERCENT: rule = {0.05f, false, ap7e_report::nearer_crossing}; return true;
    case AP7E_CROSSING_10_PERCENT: rule = {0.1f, false, ap7e_report::nearer_crossing}; return true;
    case AP7E_AREA_BETWEEN_CROSSINGS: rule = {0.0f, true, ap7e_report::area}; return true;
    case AP7E_WIDTH_AT_PERCENT: rule = {0.0f, true, ap7e_report::full_width}; return true;
    case AP7E_CROSSING_AT_PERCENT: rule = {0.0f, false, ap7e_report::nearer_crossing}; return true;
    default: return false;
  }
}

// A crossing of the level by one walk from the peak: the first point
// beyond the level, its inner present neighbour and the fraction of the
// way between them where the level lies.
struct ap7e_crossing {
  int32_t outer = -1;
  int32_t inner = -1;
  float t = 0.0f;
  float x = 0.0f;
};

ap7e_crossing ap7e_walk(const float* v, const float* x, int32_t m, int32_t peak, int32_t step, float level) {
  ap7e_crossing crossing;
  int32_t inner = peak;
  for (int32_t i = peak + step; i >= 0 && i < m; i += step) {
    if (ap1_is_missing(v[i])) continue;
    const bool beyond = level >= 0.0f ? v[i] < level : v[i] > level;
    if (!beyond) {
      inner = i;
      continue;
    }
    const float rise = v[inner] - v[i];
    crossing.outer = i;
    crossing.inner = inner;
    crossing.t = rise != 0.0f ? (level - v[i]) / rise : 0.0f;
    crossing.x = (x[inner] - x[i]) * crossing.t + x[i];
    return crossing;
  }
  return crossing;
}

// Type 125: the trapezoid area under the corrected values between the two
// crossings, the level standing in for the outer points.
float ap7e_area_between(const float* v, const ap7e_crossing& left, const ap7e_crossing& right, float level) {
  const int32_t il = left.outer;
  const int32_t ir = right.outer;
  // The weight of the right inner neighbour counts from the far side.
  const float t_right = 1.0f - right.t;
  double weighted = 0.0;
  double weights = 0.0;
  for (int32_t i = il; i <= ir; ++i) {
    const float g = i == il || i == ir ? level : v[i];
    if (ap1_is_missing(g)) continue;
    float w = 2.0f;
    if (i == il)
      w = 1.0f - left.t;
    else if (i == il + 1)
      w = 2.0f - left.t;
    else if (i == ir - 1)
      w = t_right + 1.0f;
    else if (i == ir)
      w = t_right;
    weighted += double{w} * g;
    weights += w;
  }
  if (weights == 0.0) return kNotFound;
  return static_cast<float>((right.x - left.x) * (weighted / weights));
}

uint16_t ap7e_fraction_width(const ap7e_frame& f, const ap7e_width_rule& rule) {
  AP7_MEASUREREC* r = f.record;
  if (!ap7e_region_passes(f)) return 0;
  const ap7e_cut cut(f.spectrum, r->region_start, r->region_end);
  if (!cut.found()) return 0;
  cut.write_back(r);
  float fraction = rule.fraction;
  if (fraction == 0.0f) {
    const float percent = r->percent;
    fraction = std::clamp(percent, kLowestPercent, kHighestPercent) / 100.0f;
  }
  const uint16_t direction = rule.own_direction ? f.direction : AP1_PEAKS_UP;
  const int32_t m = cut.count();
  std::vector<float> x(static_cast<size_t>(m));
  std::vector<float> v(static_cast<size_t>(m));
  for (int32_t i = 0; i < m; ++i) {
    x[i] = cut.x_at(i, f.h);
    v[i] = f.corrected(cut.values()[i], x[i]);
  }
  int32_t peak = -1;
  for (int32_t i = 1; i <= m - 2; ++i) {
    if (ap1_is_missing(v[i])) continue;
    if (peak < 0 || (direction == AP1_PEAKS_UP ? v[i] > v[peak] : v[i] < v[peak])) peak = i;
  }
  if (peak < 0) return 0;
  float tx[3] = {x[peak - 1], x[peak], x[peak + 1]};
  float tv[3] = {v[peak - 1], v[peak], v[peak + 1]};
  if (ap1_is_missing(tv[0]) || ap1_is_missing(tv[2])) tv[0] = tv[2] = tv[1];
  float top = 0.0f, top_x = 0.0f;
  ap7e_vertex(tx, tv, &top, &top_x);
  const float level = top * fraction;
  const ap7e_crossing left = ap7e_walk(v.data(), x.data(), m, peak, -1, level);
  const ap7e_crossing right = ap7e_walk(v.data(), x.data(), m, peak, 1, level);
  const bool both = left.outer >= 0 && right.outer >= 0;
  float value = 0.0f;
  switch (rule.report) {
    case ap7e_report::full_width:
      if (both)
        value = right.x - left.x;
      else if (right.outer >= 0)
        value = 2.0f * (right.x - top_x);
      else if (left.outer >= 0)
        value = 2.0f * (top_x - left.x);
      break;
    case ap7e_report::nearer_crossing:
      if (both)
        value = right.x - top_x < top_x - left.x ? right.x : left.x;
      else if (right.outer >= 0)
        value = right.x;
      else if (left.outer >= 0)
        value = left.x;
      break;
    case ap7e_report::area: value = both ? ap7e_area_between(v.data(), left, right, level) : kNotFound; break;
  }
  const float fitted[4] = {top_x, top_x, value, value};
  ap7e_set_results(r, kZeros, fitted);
  return 1;
}

// One edge of the centre of gravity: the inner point of the pair that ended
// the walk and the outer point the method places.
struct ap7e_edge {
  bool ended = false;
  int32_t index = -1;
  float xb;
  float vb;
  float xe;
  float ve;
};

// The walk from the peak at k towards one end (step 1 to the right, -1 to
// the left): it ends at the first of two consecutive points beyond the
// level, a point not beyond cancelling a pending one. Points are
// considered when they and their neighbour on the peak's side have values.
ap7e_edge ap7e_cog_walk(const ap7e_frame& f, const float* v, const float* x, int32_t m, int32_t k, int32_t step,
                        float level, uint32_t method) {
  ap7e_edge edge{false, -1, x[k], level, x[k], level};
  const float h = step * f.h;  // toward the walk's end
  const auto beyond = [&](float value) { return f.direction == AP1_PEAKS_UP ? value < level : value > level; };
  float previous = level;
  int32_t pending = -1;
  float pending_previous = level;
  const int32_t last = step > 0 ? m - 2 : 1;
  for (int32_t i = k; step > 0 ? i <= last : i >= last; i += step) {
    if (ap1_is_missing(v[i]) || ap1_is_missing(v[i - step])) continue;
    if (!beyond(v[i])) {
      pending = -1;
    } else if (pending < 0) {
      pending = i;
      pending_previous = previous;
    } else {
      const float xi = x[pending];
      const float vi = v[pending];
      edge.ended = true;
      edge.index = pending;
      edge.xb = xi - h;
      edge.vb = pending_previous;
      if (method == kEdgeBeyond) {
        edge.xe = xi;
        edge.ve = vi;
      } else if (method == kEdgeInside) {
        edge.xe = xi - h;
        edge.ve = pending_previous;
      } else {
        const float slope = (vi - pending_previous) / h;
        edge.xe = slope != 0.0f ? xi + (level - vi) / slope : xi;
        edge.ve = level;
      }
      return edge;
    }
    previous = v[i];
  }
  return edge;
}

// Types 126 and 127: the centre of gravity of the part of the peak above
// a share of its height, by the midpoint rule over the points between the
// edges and the two edge pieces.
uint16_t ap7e_centre_of_gravity(const ap7e_frame& f) {
  AP7_MEASUREREC* r = f.record;
  uint32_t method = 0;
  if (!GU9_GetDWordKeyValue(GU9_TALVO_KEY, AP7E_COG_METHOD_VALUE, HKEY_LOCAL_MACHINE, &method)) method = 0;
  float percent = r->percent;
  if (!(percent >= kLowestCogPercent && percent <= kHighestCogPercent)) percent = kDefaultCogPercent;
  const float share = (100.0f - percent) / 100.0f;
  if (!ap7e_region_passes(f)) return 0;
  ap7e_widen(f, true);
  const ap7e_cut cut(f.spectrum, r->region_start, r->region_end);
  if (!cut.found()) return 0;
  cut.write_back(r);
  const int32_t m = cut.count();
  std::vector<float> x(static_cast<size_t>(m));
  std::vector<float> v(static_cast<size_t>(m));
  for (int32_t i = 0; i < m; ++i) {
    x[i] = cut.x_at(i, f.h);
    v[i] = f.corrected(cut.values()[i], x[i]);
  }
  int32_t k = -1;
  for (int32_t i = 1; i <= m - 2; ++i) {
    if (ap1_is_missing(v[i])) continue;
    if (k < 0 || (f.direction == AP1_PEAKS_UP ? v[i] > v[k] : v[i] < v[k])) k = i;
  }
  float centre = kNotFound;
  float level = 0.0f;
  if (k >= 0) {
    const float xm = x[k];
    level = v[k] * share;
    const ap7e_edge right = ap7e_cog_walk(f, v.data(), x.data(), m, k, 1, level, method);
    const ap7e_edge left = ap7e_cog_walk(f, v.data(), x.data(), m, k, -1, level, method);
    if (left.ended && right.ended) {
      const double h = f.h;
      const double l = level;
      double moment = ((double{left.xe} + left.xb) / 2 - xm) * ((double{left.vb} + left.ve) / 2 - l) *
                      ((double{left.xb} - left.xe) / h);
      double weight = ((double{left.vb} + left.ve) / 2 - l) * ((double{left.xb} - left.xe) / h);
      bool first = true;
      double previous = 0.0;
      for (int32_t i = left.index + 1; i < right.index; ++i) {
        if (ap1_is_missing(v[i]) || ap1_is_missing(v[i - 1])) continue;
        if (!first) {
          const double above = (double{v[i]} + previous) / 2 - l;
          moment += ((2.0 * x[i] - h) / 2 - xm) * above;
          weight += above;
        }
        first = false;
        previous = v[i];
      }
      moment += ((double{right.xe} + right.xb) / 2 - xm) * ((double{right.ve} + right.vb) / 2 - l) *
                ((double{right.xe} - right.xb) / h);
      weight += ((double{right.ve} + right.vb) / 2 - l) * ((double{right.xe} - right.xb) / h);
      centre = weight != 0.0 ? static_cast<float>(moment / weight + xm) : xm;
    }
  }
  r->result_x = centre;
  const float point[4] = {centre, centre, level, level};
  ap7e_set_results(r, point, point);
  ap7e_accept(r);
  return 1;
}

// Types 130 and 131: the first X, walking up from the region's first point
// (130) or down from its last (131), where the data cross the level.
uint16_t ap7e_level_crossing(const ap7e_frame& f, bool rising) {
  AP7_MEASUREREC* r = f.record;
  if (!ap7e_region_passes(f)) return 0;
  const ap7e_cut cut(f.spectrum, r->region_start, r->region_end);
  if (!cut.found()) return 0;
  const float level = r->percent;
  const float* values = cut.values();
  const int32_t m = cut.count();
  const int32_t step = rising ? 1 : -1;
  float crossing = kNotFound;
  for (int32_t i = rising ? 1 : m - 2; i >= 0 && i < m; i += step) {
    const int32_t p = i - step;
    if (ap1_is_missing(values[i]) || ap1_is_missing(values[p])) continue;
    const float xp = cut.x_at(p, f.h);
    const float x = cut.x_at(i, f.h);
    const float vp = f.corrected(values[p], xp);
    const float v = f.corrected(values[i], x);
    if (!((vp <= level && level <= v) || (vp >= level && level >= v))) continue;
    const float slope = (v - vp) / (x - xp);
    if (AP1_KovFloatCompareSG_MATH(slope, 0.0f))
      crossing = xp;
    else
      crossing = std::clamp(xp + (level - vp) / slope, std::min(xp, x), std::max(xp, x));
    break;
  }
  const float fitted[4] = {crossing, crossing, crossing, crossing};
  ap7e_set_results(r, kZeros, fitted);
  return 1;
}

// Types 132 and 133: the width and centre between one end of the region
// and where the data come back up through that end's level on the way from
// the other end. Points without a value are stepped over.
uint16_t ap7e_other_end_width(const ap7e_frame& f, bool from_last) {
  AP7_MEASUREREC* r = f.record;
  if (!ap7e_region_passes(f)) return 0;
  const ap7e_cut cut(f.spectrum, r->region_start, r->region_end);
  if (!cut.found()) return 0;
  cut.write_back(r);
  const float* values = cut.values();
  const int32_t m = cut.count();
  const int32_t reference = from_last ? m - 1 : 0;
  const int32_t step = from_last ? 1 : -1;
  const float xr = cut.x_at(reference, f.h);
  const float level = f.corrected(values[reference], xr);
  float width = 0.0f;
  float centre = 0.0f;
  bool below = false;  // phase 2: a point at or below the level was met
  float xa = 0.0f, va = 0.0f;
  int32_t i = from_last ? 0 : m - 1;
  for (int32_t scanned = 0; scanned < m - 2 && !ap1_is_missing(level); ++scanned, i += step) {
    if (ap1_is_missing(values[i])) continue;
    const float x = cut.x_at(i, f.h);
    const float v = f.corrected(values[i], x);
    if (v <= level) {
      below = true;
      xa = x;
      va = v;
      continue;
    }
    if (!below) continue;
    const float s = (v - va) / (x - xa);
    const float at = AP1_KovFloatCompareSG_MATH(s, 0.0f) ? (xa + x) / 2.0f : (level - (v - x * s)) / s;
    width = std::fabs(at - xr);
    centre = (at + xr) / 2.0f;
    break;
  }
  const float fitted[4] = {centre, centre, width, width};
  ap7e_set_results(r, kZeros, fitted);
  return 1;
}

}  // namespace

uint16_t ap7e_MeasureWidth(const ap7e_frame& f) {
  const uint16_t type = f.record->type;
  ap7e_width_rule rule{};
  if (ap7e_width_rule_of(type, rule)) return ap7e_fraction_width(f, rule);
  switch (type) {
    case AP7E_CENTRE_OF_GRAVITY:
    case AP7E_TWO_POINT_CENTRE_OF_GRAVITY: return ap7e_centre_of_gravity(f);
    case AP7E_LEVEL_CROSSING_RISING:
    case AP7E_LEVEL_CROSSING_FALLING: return ap7e_level_crossing(f, type == AP7E_LEVEL_CROSSING_RISING);
    case AP7E_WIDTH_AT_FIRST_LEVEL:
    case AP7E_WIDTH_AT_LAST_LEVEL: return ap7e_other_end_width(f, type == AP7E_WIDTH_AT_LAST_LEVEL);
    default: return 0;
  }
}
