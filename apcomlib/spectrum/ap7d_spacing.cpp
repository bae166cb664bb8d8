// A spectrum's data fitted to a wanted X range that may lie above the
// folding limit of an undersampled collection.
//
// The folding limit F is the reference laser frequency over the sample
// spacing factor. A wanted range in the k-th band above F is mirrored into
// the base band, the data are trimmed or padded with missing values to it,
// and the range reached is mirrored back, the Y values reversed where the
// band is a mirror image. A stretch of the data can also be brought to
// another spacing, by halving or doubling the spacing until it is near the
// target, either through new points between the old ones or through the
// middle of its Fourier transform widened with zeros or cut out.
// AP7_Dispatcher_SPECTRUM calls these for messages 230, 237 and 238.
//
// The runs of missing values are listed as X intervals, which outlive a
// change of the grid, so that the points of a new grid that fall inside
// one can be blanked again.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

// The base band ends this many spacings below the folding limit.
constexpr double kBandMargin = 2.1;
// Bands above the base band that a wanted range may lie in; a spectrum
// holds at most as many points as its header can count.
constexpr double kMostBands = 1000.0;
constexpr double kMostPoints = 500000.0;

// lo and hi mirrored at j·F for the bands given; an odd count of mirrors
// leaves them in descending order, which is put right.
void ap7d_mirror(double& lo, double& hi, double fold, int32_t from_band, int32_t to_band) {
  const int32_t step = from_band <= to_band ? 1 : -1;
  for (int32_t band = from_band; band != to_band + step; band += step) {
    const double t = band * fold;
    lo = 2 * t - lo;
    hi = 2 * t - hi;
  }
  if (lo > hi) std::swap(lo, hi);
}


// The spacing is refined while it is this much above the target and
// coarsened while it is this much below it.
constexpr double kRefineAbove = 0.9;
constexpr double kCoarsenBelow = 1.1;
// Title prefix of a spectrum brought to another spacing.
constexpr uint16_t kSpacingTitle = 6;

// Doubles the point density: the new points between two old ones come from
// a four-point interpolation, the first and the last new one from the mean
// of their neighbours.
std::vector<float> ap7d_subdivide(const std::vector<float>& y) {
  const size_t n = y.size();
  std::vector<float> out(2 * n - 1);
  for (size_t k = 0; k < n; ++k) out[2 * k] = y[k];
  for (size_t k = 0; k + 1 < n; ++k) {
    const float b = y[k];
    const float c = y[k + 1];
    if (k == 0 || k + 2 == n)
      out[2 * k + 1] = (b + c) / 2.0f;
    else
      out[2 * k + 1] = (9.0f * (b + c) - (y[k - 1] + y[k + 2])) / 16.0f;
  }
  return out;
}

// Whether the point at x sits on an odd multiple of d from the grid's
// origin.
bool ap7d_off_grid(double x, double d, const AP41_HEADERDATA& record) {
  const double steps = record.x_units == AP41_XUNITS_RAMAN_SHIFT ? (double{record.p44} - x) / d : x / d;
  return ap1_TruncateToInt32(steps + 0.2) % 2 != 0;
}

// The spectrum made to hold the values over first_x..last_x; false when the
// block could not be made or taken.
bool ap7d_set_values(AP7_SPECTRUM* spectrum, double first_x, double last_x, const std::vector<float>& y) {
  const auto count = static_cast<uint32_t>(y.size());
  GU3_HANDLE block = GU3_Allocate_MM(count, sizeof(float), GU3_KIND_GLOBAL);
  auto* values = block != nullptr ? static_cast<float*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr)) : nullptr;
  if (values != nullptr) std::copy(y.begin(), y.end(), values);
  if (values == nullptr ||
      !ap7b_SetDataHandle(spectrum, static_cast<float>(first_x), static_cast<float>(last_x), count, block)) {
    if (block != nullptr) GU3_Free_MM(block);
    return false;
  }
  return true;
}

// The common start and end of a change of spacing. The start: a copy cut to
// the stretch, its runs of missing values listed and filled, its axis and
// unit codes noted. The end: the copy takes the new values and the noted
// unit codes, the runs are blanked again and the title is prefixed.
class ap7d_stretch {
 public:
  ap7d_stretch(AP7_SPECTRUM* spectrum, float x1, float x2) : cut_(ap7a_NewFromRange(spectrum, x1, x2)) {
    const AP41_HEADERDATA* record = ap7a_record(cut_.get());
    const float* data = ap7b_GetDataPtr(cut_.get());
    if (record == nullptr || data == nullptr || record->points < 2 || cut_.get()->data->columns < record->points)
      return;
    gaps_ = ap7d_ListNaNGaps(cut_.get(), starts_, ends_);
    if (!ap4b_FillNaNGaps(cut_.get()->data)) return;
    x_units_ = record->x_units;
    y_units_ = record->y_units;
    first_x = record->first_x;
    last_x = record->last_x;
    y.assign(data, data + record->points);
    made_ = true;
  }

  bool made() const { return made_; }
  const AP41_HEADERDATA& record() const { return *ap7a_record(cut_.get()); }

  // The cut copy over first_x..last_x with the values y; null on failure.
  AP7_SPECTRUM* finish() {
    if (!ap7d_set_values(cut_.get(), first_x, last_x, y)) return nullptr;
    AP41_HEADERDATA* record = ap7a_record(cut_.get());
    record->x_units = x_units_;
    record->y_units = y_units_;
    ap7d_ReblankGaps(cut_.get(), gaps_, starts_, ends_);
    if (const char* prefix = GU4_GetAssocString(AP7_GROUP_TITLE_PREFIX, kSpacingTitle, nullptr, nullptr))
      ap7d_PrependTitle(cut_.get(), prefix);
    return cut_.release();
  }

  double first_x = 0.0;
  double last_x = 0.0;
  std::vector<float> y;

 private:
  ap7a_new_spectrum cut_;
  float starts_[AP7_MOST_GAPS] = {};
  float ends_[AP7_MOST_GAPS] = {};
  uint32_t gaps_ = 0;
  uint32_t x_units_ = 0;
  uint32_t y_units_ = 0;
  bool made_ = false;
};

// The transform's lengths: the complex transform of the halves takes 8 to
// 131072 points.
constexpr uint32_t kFewestTransformPoints = 8;
constexpr uint32_t kMostTransformPoints = 131072;
// A point of the new grid counts as inside the stretch up to this share of
// a spacing past its end.
constexpr double kEndSlack = 1e-3;

// The complex transform (forward or inverse) of L points held as L real
// parts and L imaginary parts.
bool ap7d_transform(std::vector<float>& re, std::vector<float>& im, int16_t kind) {
  const size_t length = re.size();
  ap4a_new_array array(ap4a_New(AP4_CLASS_ID, 1, static_cast<uint32_t>(2 * length), nullptr));
  float* values = array.get() != nullptr ? ap4a_GetDataAddress(array.get()) : nullptr;
  if (values == nullptr) return false;
  std::copy(re.begin(), re.end(), values);
  std::copy(im.begin(), im.end(), values + length);
  if (!ap4b_FFT(array.get(), 0, kind)) return false;
  values = ap4a_GetDataAddress(array.get());
  if (values == nullptr) return false;
  re.assign(values, values + length);
  im.assign(values + length, values + 2 * length);
  return true;
}

// The transform's middle widened with zeros to twice its length, or cut out
// to half its length: the low frequencies of both signs stay.
std::vector<float> ap7d_widen(const std::vector<float>& half) {
  const size_t length = half.size();
  std::vector<float> wide(2 * length, 0.0f);
  std::copy(half.begin(), half.begin() + length / 2, wide.begin());
  std::copy(half.begin() + length / 2, half.end(), wide.begin() + length / 2 + length);
  return wide;
}

std::vector<float> ap7d_narrow(const std::vector<float>& half) {
  const size_t length = half.size() / 2;
  std::vector<float> narrow(length);
  std::copy(half.begin(), half.begin() + length / 2, narrow.begin());
  std::copy(half.begin() + length / 2 + length, half.end(), narrow.begin() + length / 2);
  return narrow;
}

}  // namespace

uint32_t ap7d_ListNaNGaps(const AP7_SPECTRUM* spectrum, float* starts, float* ends) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  const float* y = ap7b_GetDataPtr(spectrum);
  if (record == nullptr || y == nullptr || IsBadWritePtr(starts, AP7_MOST_GAPS * sizeof(float)) ||
      IsBadWritePtr(ends, AP7_MOST_GAPS * sizeof(float)))
    return 0;
  const uint32_t points = std::min(uint32_t{record->points}, uint32_t{spectrum->data->columns});
  // The interval reaches one spacing beyond the run on each side, outward
  // along the axis.
  const double outward = record->last_x >= record->first_x ? 1.0 : -1.0;
  const double reach = outward * std::fabs(double{ap7b_GetXSpacing(spectrum)});
  uint32_t gaps = 0;
  for (uint32_t i = 0; i < points; ++i) {
    if (!ap1_is_missing(y[i])) continue;
    const uint32_t first = i;
    while (i + 1 < points && ap1_is_missing(y[i + 1])) ++i;
    float start = 0.0f;
    float end = 0.0f;
    ap7b_IndexToX(spectrum, static_cast<int32_t>(first), &start);
    ap7b_IndexToX(spectrum, static_cast<int32_t>(i), &end);
    start = static_cast<float>(start - reach);
    end = static_cast<float>(end + reach);
    if (outward < 0) std::swap(start, end);
    const uint32_t slot = std::min(gaps, AP7_MOST_GAPS - 1);
    starts[slot] = start;
    ends[slot] = end;
    gaps = slot + 1;
  }
  return gaps;
}

uint16_t ap7d_ReblankGaps(AP7_SPECTRUM* spectrum, uint32_t count, const float* starts, const float* ends) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  float* y = ap7b_GetDataPtr(spectrum);
  count = std::min(count, AP7_MOST_GAPS);
  if (record == nullptr || y == nullptr || IsBadReadPtr(starts, count * sizeof(float)) ||
      IsBadReadPtr(ends, count * sizeof(float)))
    return 0;
  const uint32_t points = std::min(uint32_t{record->points}, uint32_t{spectrum->data->columns});
  for (uint32_t i = 0; i < points; ++i) {
    float x = 0.0f;
    ap7b_IndexToX(spectrum, static_cast<int32_t>(i), &x);
    for (uint32_t gap = 0; gap < count; ++gap)
      if (starts[gap] < x && x < ends[gap]) y[i] = AP1_GetNaNSG_MATH();
  }
  return 1;
}

uint32_t ap7d_FitToXRange(AP7_SPECTRUM* spectrum, float* x1, float* x2) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || IsBadWritePtr(x1, sizeof(float)) || IsBadWritePtr(x2, sizeof(float))) return 0;
  if (ap1_not_given(*x1) || ap1_not_given(*x2) || record->points < 2) return record->points;
  // Negative or missing limits, and a spacing factor or laser frequency that
  // gives no positive folding limit, are refused.
  if (!(*x1 >= 0.0f) || !(*x2 >= 0.0f) || !std::isfinite(*x1) || !std::isfinite(*x2)) return 0;
  const double fold = double{record->LaserFreq} / record->SSP;
  if (!(record->SSP > 0.0f) || !std::isfinite(fold) || !(fold > 0.0)) return 0;
  if (record->first_x > fold || record->last_x > fold) return record->points;
  // The walk over the data needs an axis running upward.
  const double spacing = ap7b_GetXSpacing(spectrum);
  if (!(spacing > 0.0) || !std::isfinite(spacing)) return 0;

  double lo = std::min(*x1, *x2);
  double hi = std::max(*x1, *x2);
  const double band_top = fold - kBandMargin * spacing;
  const double subtractions = lo > band_top ? std::ceil((lo - band_top) / fold) : 0.0;
  if (subtractions > kMostBands) return 0;
  const auto mirrors = static_cast<int32_t>(subtractions);
  if (mirrors > 0) ap7d_mirror(lo, hi, fold, mirrors, 1);
  const double span_points = (hi - lo) / spacing + 1.0;
  const double below_data = (double{record->first_x} - lo) / spacing;
  if (span_points > kMostPoints || below_data > kMostPoints) return 0;

  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  auto low = static_cast<float>(lo);
  auto high = static_cast<float>(hi);
  if (ap7b_ExtendToXRange(spectrum, &low, &high) == 0) return 0;
  lo = low;
  hi = high;
  if (mirrors > 0) {
    ap7d_mirror(lo, hi, fold, 1, mirrors);
    if (mirrors % 2 != 0) {
      float* y = ap7b_GetDataPtr(spectrum);
      if (y == nullptr) return 0;
      std::reverse(y, y + record->points);
    }
    record->first_x = static_cast<float>(lo);
    record->last_x = static_cast<float>(hi);
  }
  *x1 = static_cast<float>(lo);
  *x2 = static_cast<float>(hi);
  return record->points;
}

AP7_SPECTRUM* ap7d_InterpolateBySubdivision(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing) {
  const AP41_HEADERDATA* source = ap7a_record(ap7a_spectrum(spectrum));
  // Spacings are walked upward to the target: a target that is not a
  // positive number, or an axis that does not rise, would never get there.
  if (source == nullptr || source->x_units == AP41_XUNITS_POINTS || !(spacing > 0.0f) || !std::isfinite(spacing))
    return nullptr;
  double d = ap7b_GetXSpacing(spectrum);
  if (!(d > 0.0) || !std::isfinite(d)) return nullptr;
  ap7d_stretch stretch(spectrum, x1, x2);
  if (!stretch.made()) return nullptr;
  std::vector<float>& y = stretch.y;

  while (d * kRefineAbove > spacing) {
    if (2.0 * y.size() - 1 > kMostPoints) return nullptr;
    y = ap7d_subdivide(y);
    d /= 2;
  }
  while (d * kCoarsenBelow < spacing) {
    size_t from = 0;
    size_t to = y.size();  // one past the last point kept
    if (ap7d_off_grid(stretch.first_x, d, stretch.record())) {
      ++from;
      stretch.first_x += d;
    }
    if (ap7d_off_grid(stretch.last_x, d, stretch.record())) --to;
    // Fewer than two points left cannot carry a spacing.
    if (to < from + 3) return nullptr;
    std::vector<float> kept;
    for (size_t k = from; k < to; k += 2) kept.push_back(y[k]);
    y.swap(kept);
    d *= 2;
    stretch.last_x = stretch.first_x + (y.size() - 1) * d;
  }
  return stretch.finish();
}

// The stretch, continued from its last value back to its first so that the
// transform sees no step where it wraps, is transformed as the real parts of
// m complex points; the middle of the transform is widened with zeros or cut
// out until the spacing is near the target, and the inverse transform gives
// the values at the new spacing, m times too large. The spacing is walked
// by its size, so an axis running downward is taken as one running upward.
AP7_SPECTRUM* ap7d_InterpolateByFFT(AP7_SPECTRUM* spectrum, float x1, float x2, float spacing) {
  if (ap7a_spectrum(spectrum) == nullptr || !(spacing > 0.0f) || !std::isfinite(spacing)) return nullptr;
  double d = ap7b_GetXSpacing(spectrum);
  if (d == 0.0 || !std::isfinite(d)) return nullptr;
  ap7d_stretch stretch(spectrum, x1, x2);
  if (!stretch.made()) return nullptr;
  const size_t n = stretch.y.size();
  // The transform is made long enough that every cut of its middle leaves
  // one the transform takes; the continuation fills the length.
  size_t m = kFewestTransformPoints;
  for (double coarse = std::fabs(d); coarse * kCoarsenBelow < spacing && m <= kMostTransformPoints; coarse *= 2) m *= 2;
  while (m < n) m *= 2;
  if (m > kMostTransformPoints) return nullptr;
  std::vector<float> re = stretch.y;
  const float last = re.back();
  const float step = (re.front() - last) / static_cast<float>(m - n + 1);
  for (size_t k = 0; n + k < m; ++k) re.push_back(last + static_cast<float>(k + 1) * step);
  std::vector<float> im(m, 0.0f);
  if (!ap7d_transform(re, im, AP4C_FFT_FORWARD)) return nullptr;

  while (std::fabs(d) * kRefineAbove > spacing) {
    if (2 * re.size() > kMostTransformPoints) return nullptr;
    re = ap7d_widen(re);
    im = ap7d_widen(im);
    d /= 2;
  }
  while (std::fabs(d) * kCoarsenBelow < spacing) {
    re = ap7d_narrow(re);
    im = ap7d_narrow(im);
    d *= 2;
  }
  if (!ap7d_transform(re, im, AP4C_FFT_INVERSE)) return nullptr;

  const double inside = (stretch.last_x - stretch.first_x) / d + 1.0 + kEndSlack;
  const size_t count = std::min(re.size(), static_cast<size_t>(std::max(inside, 1.0)));
  // Fewer than two points cannot carry a spacing.
  if (count < 2) return nullptr;
  stretch.y.resize(count);
  for (size_t k = 0; k < count; ++k) stretch.y[k] = re[k] / static_cast<float>(m);
  stretch.last_x = stretch.first_x + static_cast<double>(count - 1) * d;
  return stretch.finish();
}
