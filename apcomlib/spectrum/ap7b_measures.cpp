// Measures over an X range of one spectrum and the pixel bounds that draw a
// spectrum against a split, segmented or wavelength axis.
//
// The noise about a least-squares line (message 177) serves the noise
// checks; the three axis drawings (messages 183, 232, 184) fill per-column
// low and high bounds through the range scaling of message 77, closing the
// gaps between neighbouring parts with ap7b_JoinColumns.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <cstdint>
#include <vector>

#include "array/array.h"
#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// The mark of a column the range scaling left without data.
constexpr uint16_t kEmptyColumn = 0x8000;

// Wavelength in micrometres of a wavenumber, and back.
constexpr double kMicrometreWavenumbers = 10000.0;

// Y units drawn per wavelength against a wavelength axis.
constexpr uint32_t kIntensityUnits[] = {AP41_YUNITS_SINGLE_BEAM, 31, 9, 19, 27};

// Which split of the columns a split axis takes.
constexpr uint16_t kSplitInTwo = 1;
constexpr uint16_t kSplitInThree = 2;

// A run of display columns and the X range drawn into it.
struct ap7b_axis_part {
  float from;
  float to;
  int32_t first_column;
  int32_t columns;
};

bool ap7b_bounds_writable(uint16_t* low, uint16_t* high, uint16_t columns) {
  return columns != 0 && !IsBadWritePtr(low, columns * sizeof(uint16_t)) &&
         !IsBadWritePtr(high, columns * sizeof(uint16_t));
}

void ap7b_clear_bounds(uint16_t* low, uint16_t* high, uint16_t columns) {
  std::fill(low, low + columns, uint16_t{0});
  std::fill(high, high + columns, uint16_t{0});
}

// Draws the parts in order, each into its columns, and joins the first
// column of each to the last one of the part before it.
uint16_t ap7b_draw_parts(AP7_SPECTRUM* spectrum, const std::vector<ap7b_axis_part>& parts, float y1, float y2,
                         uint16_t mode, uint16_t* low, uint16_t* high) {
  for (size_t i = 0; i < parts.size(); ++i) {
    const ap7b_axis_part& part = parts[i];
    if (part.columns <= 0 ||
        !ap7a_ScaleRange(spectrum, part.from, part.to, y1, y2, static_cast<int16_t>(part.columns), mode,
                         low + part.first_column, high + part.first_column))
      return 0;
    if (i > 0 && part.first_column > 0) {
      const int32_t at = part.first_column;
      ap7b_JoinColumns(low + at, high + at, low + at - 1, high + at - 1);
    }
  }
  return 1;
}

}  // namespace

// The line is fitted over the position k of each point in the range, so the
// spacing does not enter; missing points are left out.
uint16_t ap7b_LinearFitRange(AP7_SPECTRUM* spectrum, float x1, float x2, float* peak_to_peak, float* rms) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  if (ap7a_record(checked) == nullptr || std::isnan(x1) || std::isnan(x2) ||
      IsBadWritePtr(peak_to_peak, sizeof(float)) || IsBadWritePtr(rms, sizeof(float)))
    return 0;
  AP4_CELL first{};
  AP4_CELL last{};
  const int32_t count = ap7b_XRangeToIndexRange(checked, &x1, &x2, &first, &last);
  const float* y = ap7b_GetDataPtr(checked);
  if (count <= 2 || y == nullptr) return 0;
  const float* range = y + first.column;
  double m = 0.0, sum_k = 0.0, sum_y = 0.0, sum_ky = 0.0, sum_kk = 0.0;
  for (int32_t k = 0; k < count; ++k) {
    if (ap1_is_missing(range[k])) continue;
    m += 1.0;
    sum_k += static_cast<double>(k);
    sum_y += range[k];
    sum_ky += static_cast<double>(k) * range[k];
    sum_kk += static_cast<double>(k) * k;
  }
  // Two points or fewer lie on a line: no spread about it.
  if (m <= 2.0) {
    *peak_to_peak = 0.0f;
    *rms = 0.0f;
    return 1;
  }
  const double d = m * sum_kk - sum_k * sum_k;
  double slope = 0.0;
  double intercept = sum_y / m;
  if (!AP1_KovFloatCompareDB_MATH(d, 0.0)) {
    slope = (m * sum_ky - sum_k * sum_y) / d;
    intercept = (sum_kk * sum_y - sum_k * sum_ky) / d;
  }
  const double mean_k = sum_k / m;
  const double mean_y = sum_y / m;
  double sxx = 0.0, syy = 0.0, sxy = 0.0, largest = 0.0, smallest = 0.0;
  for (int32_t k = 0; k < count; ++k) {
    if (ap1_is_missing(range[k])) continue;
    const double dk = static_cast<double>(k) - mean_k;
    const double dy = range[k] - mean_y;
    sxx += dk * dk;
    syy += dy * dy;
    sxy += dk * dy;
    const double residual = range[k] - (slope * k + intercept);
    largest = std::max(largest, residual);
    smallest = std::min(smallest, residual);
  }
  *peak_to_peak = static_cast<float>(largest - smallest);
  const double variance = (syy - sxy * sxy / sxx) / (m - 2.0);
  *rms = variance > 0.0 ? AP1_SquareRoot_MATH(static_cast<float>(variance)) : 0.0f;
  return 1;
}

// Columns without data (the scaling's empty mark) are not joined: there is
// no line to meet.
uint16_t ap7b_JoinColumns(uint16_t* low, uint16_t* high, uint16_t* previous_low, uint16_t* previous_high) {
  if (*low == kEmptyColumn || *high == kEmptyColumn || *previous_low == kEmptyColumn ||
      *previous_high == kEmptyColumn)
    return 1;
  const auto this_low = static_cast<int16_t>(*low);
  const auto this_high = static_cast<int16_t>(*high);
  const auto before_low = static_cast<int16_t>(*previous_low);
  const auto before_high = static_cast<int16_t>(*previous_high);
  if (this_low > before_high) {
    const auto middle = static_cast<uint16_t>(before_high + (this_low - before_high) / 2);
    *low = middle;
    *previous_high = middle;
  } else if (before_low > this_high) {
    const auto middle = static_cast<uint16_t>(this_high + (before_low - this_high) / 2);
    *previous_low = middle;
    *high = middle;
  }
  return 1;
}

uint16_t ap7b_ScaleSplitAxis(AP7_SPECTRUM* spectrum, float y1, float y2, float xa, float xb, float xc, float xd,
                             uint16_t columns, uint16_t mode, uint16_t split, uint16_t* low, uint16_t* high) {
  if (!ap7b_bounds_writable(low, high, columns)) return 0;
  ap7b_clear_bounds(low, high, columns);
  std::vector<ap7b_axis_part> parts;
  if (split == kSplitInTwo && columns >= 2) {
    const int32_t half = columns / 2;
    parts = {{xa, xb, 0, half}, {xb, xc, half, columns - half}};
  } else if (split == kSplitInThree && columns >= 3) {
    const int32_t third = columns / 3;
    parts = {{xa, xb, 0, third}, {xb, xc, third, third}, {xc, xd, 2 * third, columns - 2 * third}};
  } else {
    return 0;
  }
  return ap7b_draw_parts(spectrum, parts, y1, y2, mode, low, high);
}

// Each segment is drawn in the direction of the whole axis, x1 at the first
// column.
uint16_t ap7b_ScaleSegmentedAxis(AP7_SPECTRUM* spectrum, float x1, float x2, float y1, float y2, uint16_t columns,
                                 uint16_t mode, uint16_t rule, uint16_t* low, uint16_t* high) {
  if (!ap7b_bounds_writable(low, high, columns)) return 0;
  ap7b_clear_bounds(low, high, columns);
  AP1_SEGMENTS segments{};
  if (std::isnan(x1) || std::isnan(x2) || !AP1_DetermineSplitSegments_MATH(rule, x1, x2, columns, &segments)) return 0;
  const bool rising = x1 <= x2;
  std::vector<ap7b_axis_part> parts;
  int32_t column = 0;
  for (uint16_t n = 0; n < segments.count && n < 3; ++n) {
    const uint16_t i = rising ? n : static_cast<uint16_t>(segments.count - 1 - n);
    const float start = segments.start[i];
    const float end = segments.end[i];
    const int32_t width = std::min<int32_t>(segments.points[i], columns - column);
    parts.push_back({rising ? std::min(start, end) : std::max(start, end),
                     rising ? std::max(start, end) : std::min(start, end), column, width});
    column += width;
  }
  return !parts.empty() ? ap7b_draw_parts(spectrum, parts, y1, y2, mode, low, high) : 0;
}

// The spectrum is sampled at m even wavelength steps through pairs of
// (wavelength, value) at the grid points on either side of each sample,
// then drawn from a temporary spectrum of those samples.
uint16_t ap7b_ScaleWavelengthAxis(AP7_SPECTRUM* spectrum, float lambda1, float lambda2, float y1, float y2,
                                  uint16_t columns, uint16_t mode, uint16_t* low, uint16_t* high) {
  AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  const AP41_HEADERDATA* record = ap7a_record(checked);
  if (record == nullptr || !ap7b_bounds_writable(low, high, columns)) return 0;
  const double spacing = std::fabs(ap7b_GetXSpacing(checked));
  if (spacing > 0.0 && lambda2 > kMicrometreWavenumbers / spacing)
    lambda2 = static_cast<float>(kMicrometreWavenumbers / spacing);
  if (!(lambda1 < lambda2)) lambda1 = lambda2 / 2.0f;
  ap7b_clear_bounds(low, high, columns);
  if (!(lambda1 > FLT_MIN) || !(lambda2 > FLT_MIN) || columns <= 1 || lambda1 == lambda2) return 0;
  const double step = (double{lambda2} - lambda1) / (columns - 1);
  const uint32_t y_units = record->y_units;
  const bool per_wavelength =
      std::find(std::begin(kIntensityUnits), std::end(kIntensityUnits), y_units) != std::end(kIntensityUnits);
  // The range clipped to the data, in wavenumbers and back.
  float x1 = static_cast<float>(kMicrometreWavenumbers / lambda2);
  float x2 = static_cast<float>(kMicrometreWavenumbers / lambda1);
  AP4_CELL first{};
  AP4_CELL last{};
  if (ap7b_XRangeToIndexRange(checked, &x1, &x2, &first, &last) < 1) return 0;
  const float from = static_cast<float>(kMicrometreWavenumbers / std::max(x1, x2));
  const float to = static_cast<float>(kMicrometreWavenumbers / std::min(x1, x2));
  const int64_t samples = std::llabs(static_cast<int64_t>(std::trunc((double{to} - from) / step + 0.5)));
  if (samples < 1 || samples > columns) return 0;
  const float* y = ap7b_GetDataPtr(checked);
  const double signed_spacing = ap7b_GetXSpacing(checked);
  if (y == nullptr || signed_spacing == 0.0) return 0;
  AP9_DATAPAIR* pairs = ap9_New(AP9_CLASS_ID, static_cast<uint32_t>(2 * samples), nullptr);
  if (pairs == nullptr) return 0;
  bool paired = true;
  for (int64_t k = 0; k < samples && paired; ++k) {
    const double x = kMicrometreWavenumbers / (from + k * step);
    const auto below = static_cast<int64_t>(std::floor((x - record->first_x) / signed_spacing));
    for (int64_t side = 0; side < 2 && paired; ++side) {
      const int64_t at = std::clamp<int64_t>(below + side, first.column, last.column);
      const double grid_x = record->first_x + static_cast<double>(at) * signed_spacing;
      if (!(grid_x > 0.0)) {
        paired = false;
        break;
      }
      const double grid_lambda = kMicrometreWavenumbers / grid_x;
      double value = y[at];
      if (per_wavelength) value /= grid_lambda * grid_lambda;
      paired = ap9_SetPair(pairs, static_cast<uint32_t>(2 * k + side), 0, static_cast<float>(grid_lambda),
                           static_cast<float>(value)) != 0;
    }
  }
  ap4a_new_array sampled(paired ? ap9_Interpolate(pairs, from, to, static_cast<int32_t>(samples), 1) : nullptr);
  ap9_Destroy(pairs, nullptr);
  if (sampled.get() == nullptr) return 0;
  ap7a_new_spectrum drawn(ap7b_NewLike(checked, nullptr));
  if (drawn.get() == nullptr || !ap7a_LinkData(drawn.get(), sampled.get(), from, to, static_cast<uint32_t>(samples)))
    return 0;
  sampled.release();
  ap7a_record(drawn.get())->x_units = AP1_XUNIT_MICROMETRES;
  return ap7a_ScaleRange(drawn.get(), from, to, y1, y2, static_cast<int16_t>(columns), mode, low, high);
}
