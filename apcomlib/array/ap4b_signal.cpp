// Signal operations of the ARRAY class along a row: the peak search that
// fills a caller's table of peaks, largest first, with each peak refined by
// a parabola (messages 70 and 112), and the filling of runs of missing
// values from their neighbours, which the spectrum layer uses.
#include <algorithm>
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

}  // namespace

int32_t ap4b_PeakSearch(const AP4_ARRAY* array, AP4_RANGE range, float threshold, float kernel_value,
                        uint16_t direction, uint32_t capacity, uint16_t* full, AP4_PEAK* table, uint16_t sort) {
  if (IsBadWritePtr(full, sizeof *full) || table == nullptr) return 0;
  *full = 0;
  if (!ap4a_is_array(array)) return -1;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  const float* data = ap4a_GetDataAddress(array);
  if (extent.row != 1 || extent.column < 1 || data == nullptr) return -1;
  if (capacity != 0 && IsBadWritePtr(table, capacity * sizeof(AP4_PEAK))) return 0;
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
