// Cell ranges of ARRAY objects.
//
// Range resolution turns a caller's start and end cells into the extent of
// a rectangle that lies inside an array, or into the invalid mark (-1, -1).
// Every range operation of the ARRAY class resolves its range here before
// it touches data, and so do the spectrum and chemometric operations that
// work on ranges of an array's cells.
#include "array/array.h"

AP4_CELL ap4c_ClampCellRange(const AP4_ARRAY* array, AP4_CELL* start, AP4_CELL* end) {
  if (!ap4a_is_array(array) || start == nullptr || end == nullptr) return AP4_INVALID_RANGE;
  const auto rows = static_cast<int32_t>(array->rows);
  const auto columns = static_cast<int32_t>(array->columns);
  if (start->row == AP4_WHOLE && start->column == AP4_WHOLE) {
    *start = AP4_CELL{0, 0};
    *end = AP4_CELL{rows - 1, columns - 1};
    return AP4_CELL{rows, columns};
  }
  // A start at or above 0 and not after the end puts the end at or above 0 too.
  const bool inside = start->row >= 0 && start->column >= 0 && start->row <= end->row &&
                      start->column <= end->column && end->row < rows && end->column < columns;
  if (!inside) return AP4_INVALID_RANGE;
  return AP4_CELL{end->row - start->row + 1, end->column - start->column + 1};
}
