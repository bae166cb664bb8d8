// Signal operations of the ARRAY class along a row: the peak search that
// fills a caller's table of peaks, largest first, with each peak refined by
// a parabola (messages 70 and 112), the reduction of a row to the lowest
// and highest device row of each pixel column for drawing (message 77), and
// the filling of runs of missing values from their neighbours, which the
// spectrum layer uses, and the convolution or spectral division of a row
// by a kernel through the Fourier transform (message 79), and the quantised
// byte image of a range (message 66), and factor extraction by iterated
// principal components (message 81).
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>
#include <vector>

#include "array/array.h"
#include "chemometrics/chemometrics.h"
#include "platform/memory.h"

namespace {

constexpr uint16_t kDownward = 2;
constexpr uint16_t kConvolution = 0;
constexpr uint16_t kDivision = 1;
// Factor extraction: modes 1 and 2 take a square cross-product matrix,
// mode 3 keeps the scores unnormalised; the power iteration's limits.
constexpr uint16_t kCrossProduct = 1;
constexpr uint16_t kCrossProductToo = 2;
constexpr uint16_t kRawScores = 3;
constexpr int kMostIterations = 21;
constexpr double kSmallestEigenvalue = 1e-10;
constexpr double kSettled = 1e-6;
constexpr int16_t kRefinementPoints = 3;

// Enters a peak into the table kept in descending order of value: before
// the first smaller entry, the last falling off a full table; after all
// of them only while there is room.
void ap4b_enter_peak(AP4_PEAK* table, uint32_t capacity, uint32_t& count, float position, float value) {
  uint32_t at = 0;
  while (at < count && !(table[at].value < value)) ++at;
  if (at == capacity) return;
  const uint32_t last = std::min(count, capacity - 1);
  for (uint32_t i = last; i > at; --i) table[i] = table[i - 1];
  table[at] = AP4_PEAK{position, value, 0.0f, 0.0f};
  count = std::min(count + 1, capacity);
}

constexpr uint16_t kNoValues = 0x8000;

// The device row of a value when drawn mirrored: clamped to 16 bits, with
// what lies below them (or is not a number) as the no-value mark.
uint16_t ap4b_device_row(double r) {
  if (!(r >= -32768.0)) return kNoValues;
  if (r > 32767.0) return 32767;
  return static_cast<uint16_t>(static_cast<int16_t>(ap1_TruncateToInt32(r)));
}

// The pair list of a row's values (x = column) from `first` to `last`, and
// the curve through it from a to b at `points` points; null when the list
// cannot be made (*listed false) or the curve fails.
AP4_ARRAY* ap4b_curve(const float* row, int32_t first, int32_t last, float a, float b, int32_t points, bool* listed) {
  AP9_DATAPAIR* pairs = ap9_New(AP9_CLASS_ID, static_cast<uint32_t>(last - first + 1), nullptr);
  *listed = pairs != nullptr;
  if (pairs == nullptr) return nullptr;
  float x = static_cast<float>(first);
  for (int32_t c = first; c <= last; ++c, x += 1.0f) ap9_SetPair(pairs, static_cast<uint32_t>(c - first), 0, x, row[c]);
  AP4_ARRAY* curve = ap9_Interpolate(pairs, a, b, points, 0);
  ap9_Destroy(pairs, nullptr);
  return curve;
}

// The sum of a row's values with alternating signs: its Nyquist term,
// which the real transform does not keep.
double ap4b_nyquist(const float* row, uint32_t length) {
  double sum = 0.0;
  for (uint32_t i = 0; i < length; ++i) sum += i % 2 == 0 ? row[i] : -static_cast<double>(row[i]);
  return sum;
}

}  // namespace

int32_t ap4b_PeakSearch(const AP4_ARRAY* array, AP4_RANGE range, float threshold, float kernel_value,
                        uint16_t direction, uint32_t capacity, uint16_t* full, AP4_PEAK* table, uint16_t sort) {
  if (IsBadWritePtr(full, sizeof *full) || table == nullptr) return 0;
  *full = 0;
  if (!ap4a_is_array(array)) return -1;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  const float* data = ap4a_GetDataAddress(array);
  if (extent.row != 1 || extent.column < 1 || data == nullptr) return -1;
  // No more peaks can be entered than the row has columns.
  const uint32_t usable = std::min(capacity, static_cast<uint32_t>(extent.column));
  if (usable != 0 && IsBadWritePtr(table, usable * sizeof(AP4_PEAK))) return 0;
  const float* row = data + static_cast<uint32_t>(range.start.row) * array->columns;
  if (direction == kDownward) threshold = -threshold;

  uint32_t count = 0;
  for (int32_t k = range.start.column; k <= range.end.column;) {
    int32_t p = 0;
    int32_t e = 0;
    float value = 0.0f;
    if (!ap4c_FindPeaksKernel(row + k, direction, kernel_value, range.end.column - k + 1, &p, nullptr, &e, &value))
      break;
    if (value > threshold) {
      if (count == capacity) *full = 1;
      ap4b_enter_peak(table, capacity, count, static_cast<float>(k + p), value);
    }
    k = ap4c_NextScanColumn(k, p, e);
  }

  for (uint32_t i = 0; i < count; ++i) {
    AP4_PEAK& peak = table[i];
    if (direction == kDownward) peak.value = -peak.value;
    peak.raw_position = peak.position;
    peak.raw_value = peak.value;
    ap4c_RefinePeakParabola(array, range.start.row, static_cast<int32_t>(peak.position),
                            static_cast<int16_t>(direction), kRefinementPoints, &peak.position, &peak.value);
  }
  if (sort == 1) {
    for (uint32_t i = 0; i < count; ++i)
      for (uint32_t j = i + 1; j < count; ++j)
        if (table[i].position > table[j].position) std::swap(table[i], table[j]);
  }
  return static_cast<int32_t>(count);
}

// Rows are filled in order, so that the left neighbour of a run at the
// start of a row, the last element of the row before, is already filled.
uint16_t ap4b_FillNaNGaps(AP4_ARRAY* array) {
  if (!ap4a_is_array(array)) return 0;
  float* data = ap4a_GetDataAddress(array);
  if (data == nullptr) return array->rows == 0 ? 1 : 0;
  ap4a_change_bracket bracket(array);
  if (!bracket.begun()) return 0;
  const uint32_t columns = array->columns;
  for (uint32_t r = 0; r < array->rows; ++r) {
    float* row = data + r * columns;
    for (uint32_t c = 0; c < columns;) {
      if (!ap1_is_missing(row[c])) {
        ++c;
        continue;
      }
      uint32_t end = c;
      while (end < columns && ap1_is_missing(row[end])) ++end;
      const bool has_left = c > 0 || r > 0;
      const float left = has_left ? row[static_cast<int32_t>(c) - 1] : 0.0f;
      const bool has_right = end < columns;
      const float right = has_right ? row[end] : 0.0f;
      const uint32_t run = end - c;
      for (uint32_t k = 1; k <= run; ++k) {
        float& value = row[c + k - 1];
        if (has_left && has_right)
          value = left + static_cast<float>(k) * (right - left) / static_cast<float>(run + 1);
        else if (has_left)
          value = left;
        else if (has_right)
          value = right;
        else
          value = 0.0f;
      }
      c = end;
    }
  }
  return 1;
}

uint16_t ap4b_PlotMinMax(const AP4_ARRAY* array, AP4_RANGE range, float y_low, float y_high, int16_t pixels,
                         int16_t height, float x1, float x2, uint16_t* minima, uint16_t* maxima) {
  if (!ap4a_is_array(array) || pixels < 1) return 0;
  const auto width = static_cast<uint32_t>(pixels);
  if (IsBadWritePtr(minima, width * sizeof(uint16_t)) || IsBadWritePtr(maxima, width * sizeof(uint16_t))) return 0;
  const bool reversed = range.start.column > range.end.column;
  if (reversed) std::swap(range.start, range.end);
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  const float* data = ap4a_GetDataAddress(array);
  if (extent.row != 1 || extent.column < 1 || data == nullptr) return 0;
  const float* row = data + static_cast<uint32_t>(range.start.row) * array->columns;
  const int32_t s = range.start.column;
  const int32_t e = range.end.column;
  const int32_t n = extent.column;
  const auto last_column = static_cast<int32_t>(array->columns) - 1;

  // Fewer points than pixel columns: the range is drawn from a curve
  // through it, with a margin of half a pixel column at either end.
  float q = static_cast<float>(n) / static_cast<float>(pixels);
  AP4_ARRAY* made = nullptr;
  if (q < 1.0f) {
    const float margin = pixels > 1 ? std::fabs(x2 - x1) / (2.0f * static_cast<float>(pixels - 1)) : 0.0f;
    const float a = (reversed ? x2 : x1) - margin;
    const float b = (reversed ? x1 : x2) + margin;
    const int32_t first = static_cast<float>(s) > a && s >= 1 ? s - 1 : s;
    const int32_t last = e < b && e < last_column ? e + 1 : e;
    bool listed = false;
    made = ap4b_curve(row, first, last, a, b, pixels + 1, &listed);
    if (listed) q = 1.0f;
  }
  ap4a_new_array curve(made);
  const float* reduced = made != nullptr ? ap4a_GetDataAddress(made) : row;
  const int32_t b0 = made != nullptr ? 0 : s;
  const int32_t reduced_last = made != nullptr ? pixels : last_column;
  if (reduced == nullptr) return 0;
  const float k = AP1_KovFloatCompareSG_MATH(y_low, y_high) ? 1.0f : static_cast<float>(height - 1) / (y_high - y_low);

  int32_t from = b0;
  int32_t to = std::min(b0 + ap1_TruncateToInt32(q), reduced_last);
  float sum = static_cast<float>(b0) + q;
  for (uint32_t p = 0; p < width; ++p) {
    if (p >= 1) {
      sum += q;
      from = to;
      to = std::min(ap1_TruncateToInt32(sum), reduced_last);
    }
    float low = FLT_MAX;
    float high = -FLT_MAX;
    for (int32_t c = from; c <= to; ++c) {
      if (ap1_is_missing(reduced[c])) continue;
      low = std::min(low, reduced[c]);
      high = std::max(high, reduced[c]);
    }
    uint16_t low_row = kNoValues;
    uint16_t high_row = kNoValues;
    if (!(AP1_KovFloatCompareSG_MATH(low, FLT_MAX) && AP1_KovFloatCompareSG_MATH(high, -FLT_MAX))) {
      for (auto [value, out] : {std::pair{low, &low_row}, std::pair{high, &high_row}}) {
        const float scaled = (value - y_low) * k;
        *out = reversed ? ap4b_device_row(static_cast<float>(height - 1) - scaled)
                        : ap4b_device_row(static_cast<double>(height - 1) - ap1_TruncateToInt32(scaled));
      }
    }
    const uint32_t at = reversed ? width - 1 - p : p;
    minima[at] = low_row;
    maxima[at] = high_row;
  }
  return 1;
}

// The kernel is laid out about lag 0 (its centre at column 0, the points
// before the centre wrapped to the end) and the row zero-padded to at least
// twice its length, so that the circular product is the plain convolution
// of the row with the kernel centred on each point. The transform keeps
// X[0] and 2 X[j] and drops the Nyquist term; the scales below undo that,
// and the Nyquist term is added back from alternating sums.
AP4_ARRAY* ap4b_FFTConvolve(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* kernel, uint16_t mode) {
  if (!ap4a_is_array(array) || !ap4a_is_array(kernel) || kernel->rows != 1 || array->rows != 1) return nullptr;
  if (mode != kConvolution && mode != kDivision) return nullptr;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  const uint32_t m = kernel->columns;
  if (extent.row < 1 || extent.column < 1 || m % 2 == 0 || m > static_cast<uint32_t>(extent.column)) return nullptr;
  const auto n = static_cast<uint32_t>(extent.column);
  const uint32_t h = (m - 1) / 2;
  uint32_t p = 1;
  while (p < n) p *= 2;
  const uint32_t length = 2 * p;
  if (array->columns > length) return nullptr;

  ap4a_new_array buffer(ap4a_New(AP4_CLASS_ID, 1, length, nullptr));
  ap4a_new_array copy(ap4a_Duplicate(const_cast<AP4_ARRAY*>(array), nullptr));
  if (buffer.get() == nullptr || copy.get() == nullptr) return nullptr;
  const uint32_t columns = array->columns;
  if (length > columns && !ap4a_InsertColumns(copy.get(), static_cast<int32_t>(columns),
                                              static_cast<int32_t>(length - columns)))
    return nullptr;
  float* k = ap4a_GetDataAddress(buffer.get());
  float* d = ap4a_GetDataAddress(copy.get());
  const float* taps = ap4a_GetDataAddress(kernel);
  if (k == nullptr || d == nullptr || taps == nullptr) return nullptr;
  for (uint32_t j = 0; j < m; ++j) k[j >= h ? j - h : length - h + j] = taps[j];

  const double kernel_nyquist = ap4b_nyquist(k, length);
  const double data_nyquist = ap4b_nyquist(d, length);
  if (mode == kDivision && data_nyquist == 0.0) return nullptr;
  if (!ap4b_FFT(buffer.get(), 1, AP4C_FFT_FORWARD) || !ap4b_FFT(copy.get(), 1, AP4C_FFT_FORWARD)) return nullptr;
  k = ap4a_GetDataAddress(buffer.get());
  d = ap4a_GetDataAddress(copy.get());
  const uint32_t half = length / 2;
  if (mode == kDivision) {
    // A frequency the data do not hold cannot be divided by.
    for (uint32_t i = 0; i < half; ++i)
      if (static_cast<double>(d[i]) * d[i] + static_cast<double>(d[half + i]) * d[half + i] == 0.0) return nullptr;
  }
  const double size = length;
  for (uint32_t i = 0; i < half; ++i) {
    const double kr = k[i];
    const double ki = k[half + i];
    const double dr = d[i];
    const double di = d[half + i];
    double re = 0.0;
    double im = 0.0;
    if (mode == kConvolution) {
      // Both rows carry 2 X[j] past frequency 0.
      const double s = i == 0 ? 1.0 / (2.0 * size) : 1.0 / (4.0 * size);
      re = (kr * dr - ki * di) * s;
      im = (ki * dr + kr * di) * s;
    } else {
      const double s = (i == 0 ? 0.5 : 1.0) / (size * (dr * dr + di * di));
      re = (kr * dr + ki * di) * s;
      im = (ki * dr - kr * di) * s;
    }
    d[i] = static_cast<float>(re);
    d[half + i] = static_cast<float>(im);
  }
  if (!ap4b_FFT(copy.get(), 1, AP4C_FFT_INVERSE)) return nullptr;
  d = ap4a_GetDataAddress(copy.get());
  const double nyquist =
      (mode == kConvolution ? kernel_nyquist * data_nyquist : kernel_nyquist / data_nyquist) / size;
  for (uint32_t i = 0; i < n; ++i) d[i] = static_cast<float>(d[i] + (i % 2 == 0 ? nyquist : -nyquist));
  ap4a_DeleteColumns(copy.get(), static_cast<int32_t>(n), static_cast<int32_t>(length - n));
  return copy.release();
}

// The range is resampled onto the image's grid first, so each byte stands
// for one interpolated point rather than one element.
GU3_HANDLE ap4b_ByteImage(const AP4_ARRAY* array, AP4_RANGE range, float low, float high, int16_t rows,
                          int16_t columns, uint16_t levels) {
  if (!ap4a_is_array(array) || rows < 1 || columns < 1 || levels < 1 || levels > 2) return nullptr;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  if (extent.row < 1 || extent.column < 1) return nullptr;
  if (ap1_is_missing(low) || ap1_is_missing(high)) {
    float minimum = 0.0f;
    float maximum = 0.0f;
    if (!ap4a_MinMax(array, AP4_WHOLE_RANGE, &minimum, &maximum)) return nullptr;
    if (ap1_is_missing(low)) low = minimum;
    if (ap1_is_missing(high)) high = maximum;
  }
  const AP4_TRANSFORMPARM grid{
      {0.0f, 1.0f, static_cast<float>(range.start.row),
       static_cast<float>(range.end.row - range.start.row) / static_cast<float>(rows)},
      rows,
      {0.0f, 1.0f, static_cast<float>(range.start.column),
       static_cast<float>(range.end.column - range.start.column) / static_cast<float>(columns)},
      columns};
  ap4a_new_array resampled(ap4b_RangeTransform(array, &grid));
  const uint32_t count = static_cast<uint32_t>(rows) * static_cast<uint32_t>(columns);
  // A one-row array is resampled along its row only: fewer points than the
  // image has bytes.
  if (resampled.get() == nullptr || resampled.get()->rows * resampled.get()->columns != count) return nullptr;
  const float* points = ap4a_GetDataAddress(resampled.get());
  GU3_HANDLE block = GU3_Allocate_MM(count, 1, GU3_KIND_GLOBAL);
  auto* bytes = static_cast<uint8_t*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  if (points == nullptr || bytes == nullptr) {
    GU3_Free_MM(block);
    return nullptr;
  }
  const float top = static_cast<float>(levels - 1);
  const float span = high - low;
  for (uint32_t i = 0; i < count; ++i) {
    const float q = (points[i] - low) * top / span;
    // Equal limits or a missing point give no level to scale to: the lowest.
    if (!(q >= 0.0f) || span == 0.0f)
      bytes[i] = 0;
    else
      bytes[i] = static_cast<uint8_t>(q >= static_cast<float>(levels) ? levels - 1 : ap1_TruncateToInt32(q));
  }
  return block;
}

namespace {

// x, or 1 where it compares equal to 0, to divide by.
double ap4b_divisor(double x) { return AP1_KovFloatCompareSG_MATH(static_cast<float>(x), 0.0f) ? 1.0 : x; }

double ap4b_square_sum(const std::vector<float>& v) {
  double sum = 0.0;
  for (const float x : v) sum += static_cast<double>(x) * x;
  return sum;
}

}  // namespace

// Each factor is found by power iteration from the column of largest sum of
// squares and removed from the working copy before the next.
uint16_t ap4b_ExtractFactors(const AP4_ARRAY* array, int32_t count, float percentage, uint16_t mode,
                             AP4_ARRAY** scores_out, AP4_ARRAY** loadings_out, AP4_ARRAY** eigenvalues_out,
                             float* total_out, uint32_t* found_out) {
  if (!ap4a_is_array(array) || count < 1) return 0;
  if (IsBadWritePtr(scores_out, sizeof *scores_out) || IsBadWritePtr(loadings_out, sizeof *loadings_out) ||
      IsBadWritePtr(eigenvalues_out, sizeof *eigenvalues_out) || IsBadWritePtr(total_out, sizeof *total_out) ||
      IsBadWritePtr(found_out, sizeof *found_out))
    return 0;
  const uint32_t nr = array->rows;
  const uint32_t nc = array->columns;
  const bool cross_product = mode == kCrossProduct || mode == kCrossProductToo;
  const float* data = ap4a_GetDataAddress(array);
  if (nr == 0 || nc == 0 || data == nullptr || (cross_product && nr != nc)) return 0;
  const float fraction = std::min(percentage, 100.0f) / 100.0f;
  const auto wanted = static_cast<uint32_t>(count);
  ap4a_new_array scores(ap4a_New(AP4_CLASS_ID, nr, wanted, nullptr));
  ap4a_new_array loadings(ap4a_New(AP4_CLASS_ID, nc, wanted, nullptr));
  ap4a_new_array eigenvalues(ap4a_New(AP4_CLASS_ID, 1, wanted, nullptr));
  float* s = scores.get() != nullptr ? ap4a_GetDataAddress(scores.get()) : nullptr;
  float* l = loadings.get() != nullptr ? ap4a_GetDataAddress(loadings.get()) : nullptr;
  float* e = eigenvalues.get() != nullptr ? ap4a_GetDataAddress(eigenvalues.get()) : nullptr;
  if (s == nullptr || l == nullptr || e == nullptr) return 0;

  std::vector<float> x(data, data + static_cast<size_t>(nr) * nc);
  std::vector<float> t(nr);
  std::vector<float> p(nc);
  float total = 0.0f;
  float explained = 0.0f;
  uint32_t found = 0;
  for (bool stop = false; found < wanted && !stop;) {
    uint32_t start = 0;
    double largest = -1.0;
    double all = 0.0;
    for (uint32_t j = 0; j < nc; ++j) {
      double sum = 0.0;
      for (uint32_t i = 0; i < nr; ++i) sum += static_cast<double>(x[i * nc + j]) * x[i * nc + j];
      all += sum;
      if (sum > largest) {
        largest = sum;
        start = j;
      }
    }
    if (found == 0) {
      double trace = 0.0;
      for (uint32_t i = 0; cross_product && i < nr; ++i) trace += x[i * nc + i];
      total = static_cast<float>(cross_product ? trace : all);
    }
    for (uint32_t i = 0; i < nr; ++i) t[i] = x[i * nc + start];
    double lambda = ap4b_square_sum(t);
    for (int iteration = 1; iteration <= kMostIterations; ++iteration) {
      const double scale = ap4b_divisor(lambda);
      for (uint32_t j = 0; j < nc; ++j) {
        double sum = 0.0;
        for (uint32_t i = 0; i < nr; ++i) sum += static_cast<double>(t[i]) * x[i * nc + j];
        p[j] = static_cast<float>(sum / scale);
      }
      const double length = ap4b_divisor(std::sqrt(ap4b_square_sum(p)));
      for (float& v : p) v = static_cast<float>(v / length);
      for (uint32_t i = 0; i < nr; ++i) {
        double sum = 0.0;
        for (uint32_t j = 0; j < nc; ++j) sum += static_cast<double>(x[i * nc + j]) * p[j];
        t[i] = static_cast<float>(sum);
      }
      const double previous = lambda;
      lambda = ap4b_square_sum(t);
      if (lambda < kSmallestEigenvalue || std::fabs(lambda - previous) < lambda * kSettled) break;
    }
    for (uint32_t i = 0; i < nr; ++i)
      for (uint32_t j = 0; j < nc; ++j) x[i * nc + j] -= t[i] * p[j];
    if (mode != kRawScores) {
      const double root = ap4b_divisor(std::sqrt(lambda));
      for (float& v : t) v = static_cast<float>(v / root);
    }
    for (uint32_t i = 0; i < nr; ++i) s[i * wanted + found] = t[i];
    for (uint32_t j = 0; j < nc; ++j) l[j * wanted + found] = p[j];
    const float eigenvalue =
        static_cast<float>(cross_product ? (lambda < 0.0 ? 0.0 : std::sqrt(lambda)) : lambda);
    e[found] = eigenvalue;
    ++found;
    explained += eigenvalue;
    // The factor that carries the sum past the share stays; none follows.
    stop = !(explained <= total * fraction);
  }
  if (found < wanted) {
    const auto from = static_cast<int32_t>(found);
    const auto drop = static_cast<int32_t>(wanted - found);
    if (!ap4a_DeleteColumns(scores.get(), from, drop) || !ap4a_DeleteColumns(loadings.get(), from, drop) ||
        !ap4a_DeleteColumns(eigenvalues.get(), from, drop))
      return 0;
  }
  *scores_out = scores.release();
  *loadings_out = loadings.release();
  *eigenvalues_out = eigenvalues.release();
  *total_out = total;
  *found_out = found;
  return 1;
}
