// Best laser shift and atmospheric comparison (messages 302 and 316, also
// exported by name).
//
// The best shift rescales a spectrum's X axis for each candidate offset of
// its laser frequency, brings it and a reference onto the grid of the
// bench's reference laser with the laser-frequency correction, and keeps
// the offset whose match over a region scores lowest. The atmospheric
// comparison tells whether a spectrum is at least as rough as another, by
// the mean absolute point-to-point difference in transmittance. Both leave
// their inputs unchanged.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"
#include "spectrum/spectrum.h"

namespace {

// Candidates are counted as trunc(range / step + 0.01).
constexpr double kCountSlack = 0.01;
// More candidates than this on either side are refused.
constexpr double kMostCandidates = 100000.0;

void ap7e_put(float* out, float value) {
  if (out != nullptr && !IsBadWritePtr(out, sizeof(float))) *out = value;
}

// The points of a cut: its values, count and ends.
struct ap7e_region {
  const float* values = nullptr;
  uint32_t count = 0;
  float first_x = 0.0f;
  float last_x = 0.0f;
};

bool ap7e_region_of(AP7_SPECTRUM* cut, ap7e_region& region) {
  const AP41_HEADERDATA* record = ap7a_record(cut);
  region.values = ap7b_GetDataPtr(cut);
  if (record == nullptr || region.values == nullptr) return false;
  region.count = ap7e_PointCount(cut);
  region.first_x = record->first_x;
  region.last_x = record->last_x;
  return true;
}

bool ap7e_same_x(float a, float b) { return AP1_KovFloatCompareSG_MATH(a, b) != 0; }

// The score of c against r: lower is the better match.
double ap7e_score(const float* c, const float* r, uint32_t m, uint16_t mode) {
  double score = 0.0;
  if (mode == AP7E_SHIFT_SQUARES) {
    for (uint32_t i = 0; i < m; ++i) score += (double{c[i]} - r[i]) * (double{c[i]} - r[i]);
    return score;
  }
  if (mode == AP7E_SHIFT_RATIO) {
    double sum = 0.0;
    uint32_t used = 0;
    for (uint32_t i = 0; i < m; ++i) {
      if (AP1_KovFloatCompareSG_MATH(r[i], 0.0f) != 0) continue;
      sum += double{c[i]} / r[i];
      ++used;
    }
    const double q = used > 0 ? sum / used : 1.0;
    for (uint32_t i = 0; i < m; ++i) {
      double e = 0.0;
      if (AP1_KovFloatCompareSG_MATH(r[i], 0.0f) == 0)
        e = q - double{c[i]} / r[i];
      else if (c[i] != 0.0f)
        e = q;
      score += e * e / (q * q);
    }
    return score;
  }
  double r_mean = 0.0;
  double c_mean = 0.0;
  for (uint32_t i = 0; i < m; ++i) {
    r_mean += r[i];
    c_mean += c[i];
  }
  if (m > 0) {
    r_mean /= m;
    c_mean /= m;
  }
  double srr = 0.0;
  double src = 0.0;
  for (uint32_t i = 0; i < m; ++i) {
    srr += (r[i] - r_mean) * (r[i] - r_mean);
    src += (r[i] - r_mean) * (c[i] - c_mean);
  }
  double slope = 1.0;
  double offset = 0.0;
  if (m > 0 && srr != 0.0) {
    slope = src / srr;
    offset = c_mean - slope * r_mean;
  }
  for (uint32_t i = 0; i < m; ++i) {
    const double e = c[i] - slope * r[i] - offset;
    score += e * e;
  }
  return score;
}

// The reference corrected to the laser and cut to x1..x2.
AP7_SPECTRUM* ap7e_reference_region(AP7_SPECTRUM* b, float laser, float x1, float x2) {
  ap7a_new_spectrum corrected(ap7a_Duplicate(b, nullptr));
  if (corrected.get() == nullptr) return nullptr;
  ap7e_SetLaserFrequency(corrected.get(), laser);
  return ap7a_NewFromRangeStrict(corrected.get(), x1, x2);
}

// A duplicate of A with its laser and axis scaled by factor, corrected to
// the laser and cut to the reference region's ends.
AP7_SPECTRUM* ap7e_candidate(AP7_SPECTRUM* a, double factor, float laser, const ap7e_region& reference) {
  ap7a_new_spectrum scaled(ap7a_Duplicate(a, nullptr));
  AP41_HEADERDATA* record = ap7a_record(scaled.get());
  if (record == nullptr) return nullptr;
  {
    ap7a_change_bracket bracket(scaled.get());
    if (!bracket.begun()) return nullptr;
    record->LaserFreq = static_cast<float>(record->LaserFreq * factor);
    record->first_x = static_cast<float>(record->first_x * factor);
    record->last_x = static_cast<float>(record->last_x * factor);
    record->p44 = static_cast<float>(record->p44 * factor);
  }
  ap7e_SetLaserFrequency(scaled.get(), laser);
  return ap7a_NewFromRangeStrict(scaled.get(), reference.first_x, reference.last_x);
}

// The mean absolute difference of neighbouring points between the indices
// of x1 and x2, pairs with a missing value left out.
double ap7e_roughness(AP7_SPECTRUM* spectrum, float x1, float x2) {
  AP4_CELL c1{};
  AP4_CELL c2{};
  ap7b_XToIndex64(spectrum, x1, &c1);
  ap7b_XToIndex64(spectrum, x2, &c2);
  const float* y = ap7b_GetDataPtr(spectrum);
  const auto n = static_cast<int64_t>(ap7e_PointCount(spectrum));
  if (y == nullptr || n < 1) return 0.0;
  int64_t i0 = std::clamp<int64_t>(std::min(c1.column, c2.column), 0, n - 1);
  int64_t i1 = std::clamp<int64_t>(std::max(c1.column, c2.column), 0, n - 1);
  double sum = 0.0;
  int64_t terms = 0;
  for (int64_t k = i0; k < i1; ++k) {
    if (ap1_is_missing(y[k]) || ap1_is_missing(y[k + 1])) continue;
    sum += std::fabs(double{y[k + 1]} - y[k]);
    ++terms;
  }
  return terms > 0 ? sum / static_cast<double>(terms) : sum;
}

}  // namespace

APEXPORT int16_t AP7_FindBestShift_SPECTRUM(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float x1, float x2, float range,
                                            float step, uint16_t mode, float* best) {
  ap7e_put(best, 0.0f);
  const AP41_HEADERDATA* ra = ap7a_record(ap7a_spectrum(a));
  const AP41_HEADERDATA* rb = ap7a_record(ap7a_spectrum(b));
  if (ra == nullptr || rb == nullptr) return 0;
  if (mode == AP7E_SHIFT_RATIO && (ra->y_units != AP1_YUNIT_SINGLE_BEAM || rb->y_units != AP1_YUNIT_SINGLE_BEAM))
    return 0;
  const double candidates = std::trunc(double{range} / step + kCountSlack);
  const float own_laser = ra->LaserFreq;
  if (!(step > 0.0f) || !std::isfinite(step) || !(candidates >= 0.0 && candidates <= kMostCandidates) ||
      !std::isfinite(own_laser) || !(own_laser > 0.0f))
    return 0;
  float laser = AP1_GetLaserRef_MATH(1);
  if (!(laser > 0.0f)) laser = own_laser;

  ap7a_new_spectrum reference_cut(ap7e_reference_region(b, laser, x1, x2));
  ap7e_region reference;
  if (!ap7e_region_of(reference_cut.get(), reference)) return 0;

  const auto n = static_cast<int64_t>(candidates);
  bool scored = false;
  double lowest = 0.0;
  float found = 0.0f;
  for (int64_t k = -n; k <= n; ++k) {
    const double offset = static_cast<double>(k) * step;
    ap7a_new_spectrum cut(ap7e_candidate(a, (offset + own_laser) / own_laser, laser, reference));
    ap7e_region candidate;
    if (!ap7e_region_of(cut.get(), candidate) || !ap7e_same_x(candidate.first_x, reference.first_x) ||
        !ap7e_same_x(candidate.last_x, reference.last_x) || candidate.count != reference.count)
      return 0;
    // A candidate with points resampled off the data scores no number: it
    // cannot be the best.
    const double score = ap7e_score(candidate.values, reference.values, reference.count, mode);
    if (std::isnan(score)) continue;
    if (!scored || score < lowest) {
      scored = true;
      lowest = score;
      found = static_cast<float>(offset);
    }
  }
  if (!scored) return 0;
  ap7e_put(best, found);
  return 1;
}

APEXPORT int16_t AP7_AtmosCompare_SPECTRUM(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float x1, float x2, uint16_t) {
  if (ap7a_record(ap7a_spectrum(a)) == nullptr || ap7a_record(ap7a_spectrum(b)) == nullptr) return 0;
  ap7a_new_spectrum a_t(ap7a_Duplicate(a, nullptr));
  ap7a_new_spectrum b_t(ap7a_Duplicate(b, nullptr));
  if (a_t.get() == nullptr || b_t.get() == nullptr) return 0;
  ap7b_ConvertToTransmittance(a_t.get(), 1);
  ap7b_ConvertToTransmittance(b_t.get(), 1);
  if (std::isnan(x1) || std::isnan(x2)) return 0;
  if (x2 < x1) std::swap(x1, x2);
  float a_low = 0.0f;
  float a_high = 0.0f;
  float b_low = 0.0f;
  float b_high = 0.0f;
  ap7e_AxisExtent(*ap7a_record(a_t.get()), a_low, a_high);
  ap7e_AxisExtent(*ap7a_record(b_t.get()), b_low, b_high);
  const float lo = std::max(a_low, b_low);
  const float hi = std::min(a_high, b_high);
  if (ap1_not_given(x1) || AP1_KovFloatCompareSG_MATH(x1, x2) != 0) {
    x1 = lo;
    x2 = hi;
  } else {
    if ((x1 < lo && x2 < lo) || (x1 > hi && x2 > hi)) return 0;
    x1 = std::max(x1, lo);
    x2 = std::min(x2, hi);
  }
  return ap7e_roughness(a_t.get(), x1, x2) < ap7e_roughness(b_t.get(), x1, x2) ? 0 : 1;
}
