// Decimation (message 307): a spectrum brought to a coarser spacing by
// repeated halving. Each pass low-pass filters the values with a short
// symmetric filter, longer away from the ends, and keeps the points of the
// grid of twice the spacing anchored at X = 0. Returns a new spectrum; the
// input is left as it was. The dispatcher's analysis table calls
// AP7_Decimate_SPECTRUM.
#include <algorithm>
#include <cmath>

#include "core/core.h"
#include "processing/processing.h"

namespace {

// The filters' weights by distance from the centre point; each weight
// multiplies the sum of the two values at that distance.
constexpr float kFiveTaps[] = {0.31156987f, 0.23746665f, 0.106507815f};
constexpr float kNineTaps[] = {0.30488476f, 0.24780025f, 0.09544937f, 0.019117586f, -0.015073082f};
constexpr float kThirteenTaps[] = {0.3041121f,    0.2540131f,    0.090129994f, 0.023772925f,
                                   -0.018923396f, 0.011525368f, -0.012867874f};

// The target is met within this factor.
constexpr float kTargetMargin = 1.1f;
// Grid indexes of X values that sit a hair below their grid point.
constexpr double kGridSlack = 0.01;

// The filtered value at q, the pairs added from the outermost inwards and
// the centre last.
template <size_t N>
float ap7f_filter(const float* y, int64_t q, const float (&weights)[N]) {
  float sum = 0.0f;
  for (int64_t d = N - 1; d >= 1; --d) sum += weights[d] * (y[q - d] + y[q + d]);
  return sum + weights[0] * y[q];
}

// The grid index of x, or false when it does not fit 32 bits.
bool ap7f_grid_index(float x, float spacing, int64_t& index) {
  const double position = static_cast<double>(x / spacing) + kGridSlack;
  if (!(std::fabs(position) < 2147483647.0)) return false;
  index = static_cast<int64_t>(std::trunc(position));
  return true;
}

// One halving pass from `current` at `spacing`: a new spectrum on the grid
// of 2 × spacing, or null.
AP7_SPECTRUM* ap7f_halve(AP7_SPECTRUM* current, float spacing) {
  const AP41_HEADERDATA* header = ap7a_record(current);
  const float* y = ap7b_GetDataPtr(current);
  int64_t i0 = 0, i1 = 0;
  if (y == nullptr || !ap7f_grid_index(header->first_x, spacing, i0) ||
      !ap7f_grid_index(header->last_x, spacing, i1))
    return nullptr;
  const int64_t span = i1 - i0;
  const int64_t j0 = (i0 + 1) / 2;
  const int64_t j1 = i1 / 2;
  const int64_t m = j1 - j0 + 1;
  if (m < 1 || m > AP7_MOST_POINTS) return nullptr;
  ap7a_new_spectrum made(ap7f_NewLikeWithList(current));
  ap4a_new_array values(ap4a_New(AP4_CLASS_ID, 1, static_cast<uint32_t>(m), nullptr));
  const float step = 2.0f * spacing;
  if (made.get() == nullptr || values.get() == nullptr ||
      !ap7a_LinkData(made.get(), values.get(), step * static_cast<float>(j0), step * static_cast<float>(j1),
                     static_cast<uint32_t>(m)))
    return nullptr;
  values.release();
  float* out = ap7b_GetDataPtr(made.get());
  if (out == nullptr) return nullptr;
  // The axis of the header may claim more points than the data holds: the
  // reads stay within the data, and points past it are missing.
  const int64_t last = std::min<int64_t>(span, int64_t{ap7e_PointCount(current)} - 1);
  int64_t q = 2 * j0 - i0;
  for (int64_t t = 0; t < m; ++t, q += 2) {
    const int64_t r = last - q;
    if (q < 0 || r < 0) {
      out[t] = AP1_GetNaNSG_MATH();
    } else if (q < 2 || r < 2) {
      out[t] = y[q];
    } else if (q < 4 || r < 4) {
      out[t] = ap7f_filter(y, q, kFiveTaps);
    } else if (q < 6 || r < 6) {
      out[t] = ap7f_filter(y, q, kNineTaps);
    } else {
      out[t] = ap7f_filter(y, q, kThirteenTaps);
    }
  }
  return made.release();
}

}  // namespace

APEXPORT AP7_SPECTRUM* AP7_Decimate_SPECTRUM(AP7_SPECTRUM* spectrum, float target) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr) return nullptr;
  const float limit = kTargetMargin * target;
  const float s = ap7b_GetXSpacing(spectrum);
  // A spacing of 0 or below never reaches the limit by doubling.
  if (!(target > 0.0f) || !(s > 0.0f) || !std::isfinite(limit) || s > limit) return nullptr;
  int32_t k = 0;
  for (float doubled = s; doubled < limit; doubled += doubled) ++k;
  if (k == 0) return nullptr;
  if (k == 1) return ap7a_Duplicate(spectrum, nullptr);
  AP7_SPECTRUM* current = spectrum;
  float spacing = s;
  for (int32_t pass = 1; pass < k; ++pass, spacing += spacing) {
    AP7_SPECTRUM* made = ap7f_halve(current, spacing);
    // The intermediate result goes; the caller's spectrum never does.
    if (current != spectrum) ap7a_Delete(current, nullptr);
    if (made == nullptr) return nullptr;
    current = made;
  }
  return current;
}
