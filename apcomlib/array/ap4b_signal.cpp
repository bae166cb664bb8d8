// Signal operations of the ARRAY class along a row: the peak search that
// fills a caller's table of peaks, largest first, with each peak refined by
// a parabola (messages 70 and 112), the reduction of a row to the lowest
// and highest device row of each pixel column for drawing (message 77), and
// the filling of runs of missing values from their neighbours, which the
// spectrum layer uses.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <utility>

#include "array/array.h"
#include "chemometrics/chemometrics.h"
#include "platform/memory.h"

namespace {

constexpr uint16_t kDownward = 2;
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
