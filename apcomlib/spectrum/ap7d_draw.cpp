// Pixel spans for drawing a spectrum into a window, column by column.
//
// Chooses how many points fall on one pixel column, finds the columns that
// the trace up to a given X occupies and has the data array fill a low and
// a high screen row per column; the first new column is joined to the one
// before it so that an incrementally drawn trace shows no gap.
// AP7_Dispatcher_SPECTRUM calls it for message 210.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// Closes the gap between two neighbouring columns: the upper end of the
// lower one and the lower end of the upper one meet half-way.
void ap7d_join_columns(int16_t* low_rows, int16_t* high_rows, uint32_t column) {
  const int32_t a_here = low_rows[column];
  const int32_t b_before = high_rows[column - 1];
  const int32_t a_before = low_rows[column - 1];
  const int32_t b_here = high_rows[column];
  if (a_here > b_before) {
    const auto middle = static_cast<int16_t>(b_before + (a_here - b_before) / 2);
    high_rows[column - 1] = middle;
    low_rows[column] = middle;
  } else if (a_before > b_here) {
    const auto middle = static_cast<int16_t>(b_here + (a_before - b_here) / 2);
    high_rows[column] = middle;
    low_rows[column - 1] = middle;
  }
}

}  // namespace

uint16_t ap7d_GetDrawSpans(AP7_SPECTRUM* spectrum, float xa, float xb, float x3, float ya, float yb, uint16_t width,
                           uint16_t height, uint16_t* low_rows, uint16_t* high_rows, uint32_t* first_column,
                           uint32_t* end_column) {
  if (IsBadWritePtr(first_column, sizeof *first_column) || IsBadWritePtr(end_column, sizeof *end_column)) return 0;
  *first_column = 0;
  *end_column = 0;
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || spectrum->data == nullptr || !(xa <= x3 && x3 <= xb)) return 0;
  // The array scaling counts columns and rows in 16 bits.
  if (width == 0 || width > INT16_MAX || height > INT16_MAX) return 0;
  if (IsBadWritePtr(low_rows, width * sizeof(uint16_t)) || IsBadWritePtr(high_rows, width * sizeof(uint16_t)))
    return 0;
  const uint32_t points = std::min(uint32_t{record->points}, uint32_t{spectrum->data->columns});
  if (points < 2) return 0;
  // Columns are laid out left to right along a rising axis only.
  const double dx = ap7b_GetXSpacing(spectrum);
  if (!(dx > 0.0) || !std::isfinite(dx)) return 0;
  const double first_x = record->first_x;

  const double ia = (xa - first_x) / dx;
  const double ib = (xb - first_x) / dx;
  const double across = std::floor(ib - ia) + 1.0;
  // A window narrower in points than in columns still takes one point per
  // column.
  const int32_t per_column = std::max(1, ap1_TruncateToInt32(across / width + 0.5));

  double start = std::floor(ia + 0.5);
  if (start > points - 1.0) return 0;
  if (per_column < start) start -= per_column;
  const double xs = std::max(first_x + start * dx, first_x);

  const double column_dx = per_column * dx;
  int32_t count = ap1_TruncateToInt32((x3 - xs) / column_dx + 0.5);
  const int32_t offset = std::max(0, ap1_TruncateToInt32((xs - xa) / column_dx + 0.5));
  if (offset >= width) return 0;
  count = std::min(count, width - offset);
  if (count <= 0) return 0;

  const float is = static_cast<float>((xs - first_x) / dx);
  const float ie = static_cast<float>(std::min((x3 - first_x) / dx, points - 1.0));
  if (ie < is) return 0;
  float from_x = static_cast<float>(xs);
  float to_x = x3;
  AP4_RANGE range{};
  if (ap7b_XRangeToIndexRange(spectrum, &from_x, &to_x, &range.start, &range.end) < 1) return 0;

  const uint16_t result = ap4b_PlotMinMax(spectrum->data, range, ya, yb, static_cast<int16_t>(count),
                                          static_cast<int16_t>(height), is, ie, low_rows + offset, high_rows + offset);
  if (offset > 0)
    ap7d_join_columns(reinterpret_cast<int16_t*>(low_rows), reinterpret_cast<int16_t*>(high_rows),
                      static_cast<uint32_t>(offset));
  *first_column = static_cast<uint32_t>(offset);
  *end_column = static_cast<uint32_t>(offset + count);
  return result;
}
