// The ARRAY object (class 4): rows × columns single-precision floats in a
// GU3 block, with the AP2 part that every object carries.
//
// Owns the object's life cycle (allocate, new, delete, duplicate, copy), its
// sizes, its file block (read and written through a file object inside a
// section of a native file), and the structural operations on its cells: get and set an
// element, extract a range into a new array or copy it into another, take
// the data out as a block and put a block in, insert and delete rows and
// columns, swap rows or columns and fill a range. AP4_Dispatcher_ARRAY calls
// these for the messages of the class; the spectrum layer and the numeric
// operations call them directly.
//
// Data blocks come from the global heap, which the memory manager hands out
// zero-filled: a new array and the rows and columns inserted into one are
// all zeros, which callers rely on.
#include <algorithm>
#include <cstring>

#include "array/array.h"
#include "files/files.h"
#include "platform/memory.h"

namespace {

constexpr char kClassName[] = "AP4_ARRAY";

// The memory manager gives no block of 2^31 bytes or more.
constexpr int64_t kMaxElements = 0x7FFFFFFF / sizeof(float);

// What a file object answers for a size or position it cannot tell.
constexpr uint32_t kUnknown = 0xFFFFFFFF;

APX_CLASSREC* ap4a_class() { return apx_class_record(AP4_CLASS_ID); }

AP2_OBJECT* ap4a_part(const AP4_ARRAY* array) { return reinterpret_cast<AP2_OBJECT*>(array->head.parent); }

// Dimensions an array may take: both 0, or both above 0 with a data block
// the memory manager can give. The arguments are wide so that a sum or
// product of two 32-bit dimensions is checked before anything is allocated.
bool ap4a_dims_ok(int64_t rows, int64_t columns) {
  if (rows == 0 && columns == 0) return true;
  return rows > 0 && columns > 0 && rows <= INT32_MAX && columns <= INT32_MAX && rows * columns <= kMaxElements;
}

// The same for dimensions as stored, which count as signed.
bool ap4a_stored_dims_ok(uint32_t rows, uint32_t columns) {
  return ap4a_dims_ok(static_cast<int32_t>(rows), static_cast<int32_t>(columns));
}

uint32_t ap4a_count(const AP4_ARRAY* array) { return array->rows * array->columns; }

GU3_HANDLE ap4a_new_block(uint32_t count) { return GU3_Allocate_MM(count, sizeof(float), GU3_KIND_GLOBAL); }

bool ap4a_inside(const AP4_ARRAY* array, AP4_CELL cell) {
  return cell.row >= 0 && cell.column >= 0 && cell.row < static_cast<int32_t>(array->rows) &&
         cell.column < static_cast<int32_t>(array->columns);
}

bool ap4a_valid(AP4_CELL extent) { return extent.row >= 0 && extent.column >= 0; }

AP4_CELL ap4a_resolve(const AP4_ARRAY* array, AP4_RANGE& range) {
  return ap4c_ClampCellRange(array, &range.start, &range.end);
}

uint32_t ap4a_index(const AP4_ARRAY* array, AP4_CELL cell) {
  return static_cast<uint32_t>(cell.row) * array->columns + static_cast<uint32_t>(cell.column);
}

// Moves rows × columns floats between two row-major blocks, each stepping by
// its own row length. Both may lie in one array: the rows then go in the
// order that reads every source row before it is overwritten.
void ap4a_move_rows(const float* from, uint32_t from_stride, float* to, uint32_t to_stride, uint32_t rows,
                    uint32_t columns) {
  const size_t bytes = columns * sizeof(float);
  if (reinterpret_cast<uintptr_t>(to) > reinterpret_cast<uintptr_t>(from)) {
    for (uint32_t row = rows; row-- > 0;) std::memmove(to + row * to_stride, from + row * from_stride, bytes);
  } else {
    for (uint32_t row = 0; row < rows; ++row) std::memmove(to + row * to_stride, from + row * from_stride, bytes);
  }
}

// Puts a block of rows × columns in place of the array's data, filled from
// the old values by `fill`. The old block goes only once the new one is had;
// an extent without elements leaves the array empty.
template <typename Fill>
uint16_t ap4a_replace_data(AP4_ARRAY* array, uint32_t rows, uint32_t columns, Fill fill) {
  GU3_HANDLE fresh = nullptr;
  if (rows != 0 && columns != 0) {
    fresh = ap4a_new_block(rows * columns);
    auto* values = static_cast<float*>(GU3_GetPointer_MM(fresh, 0, nullptr, nullptr));
    if (values == nullptr) {
      GU3_Free_MM(fresh);
      return 0;
    }
    fill(values);
  } else {
    rows = columns = 0;
  }
  GU3_Free_MM(array->data);
  array->data = fresh;
  array->rows = rows;
  array->columns = columns;
  return 1;
}

// Rows and columns are rebuilt alike: the data seen as `lines` lines of
// `old_length` floats become lines of `new_length`, keeping the first
// `index` floats of each line and as many of its last ones as still fit;
// what lies between is removed, or left as the new block's zeros.
void ap4a_splice(const float* from, uint32_t old_length, float* to, uint32_t new_length, uint32_t lines,
                 uint32_t index) {
  const uint32_t tail = std::min(old_length, new_length) - index;
  for (uint32_t line = 0; line < lines; ++line) {
    const float* source = from + line * old_length;
    float* target = to + line * new_length;
    std::memcpy(target, source, index * sizeof(float));
    std::memcpy(target + new_length - tail, source + old_length - tail, tail * sizeof(float));
  }
}

enum class ap4a_axis { rows, columns };

uint32_t ap4a_extent(const AP4_ARRAY* array, ap4a_axis axis) {
  return axis == ap4a_axis::rows ? array->rows : array->columns;
}

// Gives the axis a new extent, with the rows or columns from `index` on
// inserted or removed; the change is bracketed around the allocation,
// whether it succeeds or not.
uint16_t ap4a_change_extent(AP4_ARRAY* array, ap4a_axis axis, uint32_t index, int64_t extent) {
  const bool along_rows = axis == ap4a_axis::rows;
  const int64_t rows = along_rows ? extent : int64_t{array->rows};
  const int64_t columns = along_rows ? int64_t{array->columns} : extent;
  // Rows without columns (or columns without rows) cannot be held.
  if (extent != 0 && !ap4a_dims_ok(rows, columns)) return 0;
  ap4a_change_bracket bracket(array);
  if (!bracket.begun()) return 0;
  const float* old = ap4a_GetDataAddress(array);
  const uint32_t old_rows = array->rows;
  const uint32_t old_columns = array->columns;
  return ap4a_replace_data(array, static_cast<uint32_t>(rows), static_cast<uint32_t>(columns), [&](float* fresh) {
    if (along_rows)
      ap4a_splice(old, old_rows * old_columns, fresh, static_cast<uint32_t>(rows) * old_columns, 1,
                  index * old_columns);
    else
      ap4a_splice(old, old_columns, fresh, static_cast<uint32_t>(columns), old_rows, index);
  });
}

uint16_t ap4a_insert(AP4_ARRAY* array, ap4a_axis axis, int32_t index, int32_t count) {
  if (!ap4a_is_array(array)) return 0;
  if (count == 0) return 1;
  const auto extent = static_cast<int32_t>(ap4a_extent(array, axis));
  if (count < 0 || index < 0 || index > extent) return 0;
  return ap4a_change_extent(array, axis, static_cast<uint32_t>(index), int64_t{extent} + count);
}

uint16_t ap4a_delete(AP4_ARRAY* array, ap4a_axis axis, int32_t index, int32_t count) {
  if (!ap4a_is_array(array)) return 0;
  if (count == 0) return 1;
  const auto extent = static_cast<int32_t>(ap4a_extent(array, axis));
  if (count < 0 || index < 0 || index > extent) return 0;
  count = std::min(count, extent - index);
  if (count == 0) return 1;
  return ap4a_change_extent(array, axis, static_cast<uint32_t>(index), int64_t{extent} - count);
}

// The block holds at least `count` floats' worth of bytes.
bool ap4a_block_holds(GU3_HANDLE block, uint32_t count) {
  const uint64_t bytes = uint64_t{GU3_NumElements_MM(block)} * GU3_LenElements_MM(block);
  return bytes >= uint64_t{count} * sizeof(float);
}


// Reads `count` floats into a block; fewer bytes than asked for is a failure.
bool ap4a_read_values(void* file, GU3_HANDLE block, uint32_t count) {
  if (count == 0) return true;
  void* floats = GU3_GetPointer_MM(block, 0, nullptr, nullptr);
  const uint32_t bytes = count * sizeof(float);
  if (floats == nullptr) return false;
  if (ap20_Read(file, floats, bytes) == bytes) return true;
  ap4a_cut_short(file);
  return false;
}


// Reads the rows and columns of a file block and checks them before
// anything is allocated for them: dimensions no array can have mark the
// file as damaged, and values the file does not hold are not asked for.
bool ap4a_read_dims(void* file, AP4_FILEBLOCK& dims) {
  if (ap20_Read(file, &dims, sizeof dims) != sizeof dims) {
    ap4a_cut_short(file);
    return false;
  }
  if (!ap4a_stored_dims_ok(dims.rows, dims.columns)) {
    ap20_SetError(file, AP20_ERROR_DAMAGED);
    return false;
  }
  if (ap4a_falls_short(file, dims.rows * dims.columns * sizeof(float))) {
    ap4a_cut_short(file);
    return false;
  }
  return true;
}

}  // namespace

// A block cut short by the end of the file is told to the file object, unless
// the system has reported an error of its own.
void ap4a_cut_short(void* file) {
  if (ap20_GetError(ap20_file(file)) == 0) ap20_SetError(file, AP20_ERROR_SHORT_FILE);
}

// A size or position the file cannot tell leaves the question to the read.
bool ap4a_falls_short(void* file, uint32_t bytes) {
  const uint32_t size = ap20_GetFileSize(ap20_file(file));
  const uint32_t position = ap20_GetPosition(ap20_file(file));
  if (size == kUnknown || position == kUnknown || position > size) return false;
  return size - position < bytes;
}

bool ap4a_is_array(const void* object) {
  return !IsBadReadPtr(object, sizeof(AP4_ARRAY)) &&
         static_cast<const AP4_ARRAY*>(object)->head.class_id == AP4_CLASS_ID;
}

// ---------------------------------------------------------------------------
// The object

AP4_ARRAY* ap4a_Allocate(uint16_t class_id, AP_OBJECT* owner, uint32_t rows, uint32_t columns) {
  APX_CLASSREC* record = ap4a_class();
  if (class_id != AP4_CLASS_ID || record->instance_heap == nullptr || !ap4a_stored_dims_ok(rows, columns))
    return nullptr;
  auto* array = static_cast<AP4_ARRAY*>(GU3_HeapGetEx_MM(record->instance_heap));
  if (array == nullptr) return nullptr;
  GU3_HANDLE data = rows != 0 ? ap4a_new_block(rows * columns) : nullptr;
  AP2_OBJECT* part = nullptr;
  if (rows == 0 || data != nullptr) part = ap2_Create_OBJ(AP2_CLASS_ID, owner != nullptr ? owner : &array->head);
  if (part == nullptr) {
    GU3_Free_MM(data);
    GU3_HeapRelease_MM(record->instance_heap, array);
    return nullptr;
  }
  array->head = AP_OBJECT{AP4_CLASS_ID, &part->head};
  array->rows = rows;
  array->columns = columns;
  array->data = data;
  ++record->live;
  ++record->created;
  return array;
}

AP4_ARRAY* ap4a_New(uint16_t class_id, uint32_t rows, uint32_t columns, HWND window) {
  AP4_ARRAY* array = ap4a_Allocate(class_id, nullptr, rows, columns);
  if (array == nullptr) return nullptr;
  if (ap2_Init_OBJ(ap4a_part(array), window)) return array;
  ap4a_Delete(array, window);
  return nullptr;
}

uint32_t ap4a_Delete(AP4_ARRAY* array, HWND window) {
  if (IsBadWritePtr(array, sizeof(AP4_ARRAY)) || array->head.class_id != AP4_CLASS_ID) return 0;
  const uint32_t destroyed = ap2_Destroy_OBJ(ap4a_part(array), window);
  if (destroyed != AP_DESTROYED) return destroyed;
  GU3_Free_MM(array->data);
  APX_CLASSREC* record = ap4a_class();
  GU3_HeapRelease_MM(record->instance_heap, array);
  --record->live;
  return AP_DESTROYED;
}

AP4_ARRAY* ap4a_Duplicate(AP4_ARRAY* array, HWND window) {
  if (!ap4a_is_array(array)) return nullptr;
  ap4a_new_array copy(ap4a_Allocate(AP4_CLASS_ID, nullptr, array->rows, array->columns));
  if (copy.get() == nullptr || !ap4a_Copy(array, copy.get(), window)) return nullptr;
  return copy.release();
}

uint32_t ap4a_GetSize(AP4_ARRAY* array) {
  if (!ap4a_is_array(array)) return 0;
  return ap2_GetSize_OBJ(ap4a_part(array)) + ap4a_count(array) * sizeof(float) + sizeof(AP4_ARRAY);
}

uint16_t ap4a_GetClassName(const AP4_ARRAY* array, char* buffer) {
  return ap4a_is_array(array) ? ap2_copy_class_name(buffer, kClassName) : 0;
}

// The data move is bracketed on the target, whose dependents hear of it;
// the root part is copied last, so that the target ends with this array's
// change state and a window given joins the target after the move.
uint16_t ap4a_Copy(AP4_ARRAY* array, AP4_ARRAY* target, HWND window) {
  if (!ap4a_is_array(array) || !ap4a_is_array(target)) return 0;
  if (array->rows != target->rows || array->columns != target->columns) return 0;
  {
    ap4a_change_bracket bracket(target);
    if (!bracket.begun()) return 0;
    const float* from = ap4a_GetDataAddress(array);
    float* to = ap4a_GetDataAddress(target);
    if (from != nullptr && to != nullptr) std::memmove(to, from, ap4a_count(array) * sizeof(float));
  }
  return ap2_Copy_OBJ(ap4a_part(array), ap4a_part(target), window);
}

uint32_t ap4a_GetStoredSize(const AP4_ARRAY* array) {
  return ap4a_is_array(array) ? sizeof(AP4_FILEBLOCK) + ap4a_count(array) * sizeof(float) : 0;
}

// ---------------------------------------------------------------------------
// File block

// A new array (create set; the object then is a pointer to the class id) or
// this one takes the stored dimensions and values. Values go into a block of
// their own before this array takes them, so that a block cut short leaves
// the array as it was.
AP4_ARRAY* ap4a_Read(void* object, void* file, uint16_t create) {
  if (gu2_ClassIdOf(object) != AP4_CLASS_ID || (!create && !ap4a_is_array(object)) || !ap20_IsOpen(file))
    return nullptr;
  AP4_FILEBLOCK dims{};
  if (!ap4a_read_dims(file, dims)) return nullptr;
  const uint32_t count = dims.rows * dims.columns;
  if (create) {
    ap4a_new_array fresh(ap4a_Allocate(AP4_CLASS_ID, nullptr, dims.rows, dims.columns));
    if (fresh.get() == nullptr || !ap4a_read_values(file, fresh.get()->data, count) ||
        ap2_Read_OBJ(ap4a_part(fresh.get()), 0) == nullptr)
      return nullptr;
    return fresh.release();
  }
  auto* array = static_cast<AP4_ARRAY*>(object);
  GU3_HANDLE stored = count != 0 ? ap4a_new_block(count) : nullptr;
  const bool taken = (count == 0 || stored != nullptr) && ap4a_read_values(file, stored, count) &&
                     ap4a_SetDataIn(array, dims.rows, dims.columns, stored);
  GU3_Free_MM(stored);
  return taken && ap2_Read_OBJ(ap4a_part(array), 0) != nullptr ? array : nullptr;
}

// Every byte of the block must reach the file: a write cut short fails.
uint16_t ap4a_Write(const AP4_ARRAY* array, void* file) {
  if (!ap4a_is_array(array) || !ap20_IsOpen(file)) return 0;
  const AP4_FILEBLOCK dims{array->rows, array->columns};
  const uint32_t bytes = ap4a_count(array) * sizeof(float);
  if (ap20_Write(file, &dims, sizeof dims) != sizeof dims) return 0;
  if (bytes != 0 && ap20_Write(file, ap4a_GetDataAddress(array), bytes) != bytes) return 0;
  return ap2_Write_OBJ(ap4a_part(array), file);
}

// ---------------------------------------------------------------------------
// Elements and ranges

uint16_t ap4a_GetExtent(const AP4_ARRAY* array, AP4_RANGE range, AP4_CELL* extent) {
  if (!ap4a_is_array(array) || IsBadWritePtr(extent, sizeof(AP4_CELL))) return 0;
  *extent = ap4a_resolve(array, range);
  return ap4a_valid(*extent) ? 1 : 0;
}

uint16_t ap4a_GetElement(const AP4_ARRAY* array, AP4_CELL cell, float* value) {
  if (!ap4a_is_array(array) || !ap4a_inside(array, cell) || IsBadWritePtr(value, sizeof(float))) return 0;
  const float* values = ap4a_GetDataAddress(array);
  if (values == nullptr) return 0;
  *value = values[ap4a_index(array, cell)];
  return 1;
}

// (-1, -1) lies outside every array, so it never stands for the whole one here.
uint16_t ap4a_SetElement(AP4_ARRAY* array, AP4_CELL cell, float value) {
  if (!ap4a_is_array(array) || !ap4a_inside(array, cell)) return 0;
  ap4a_change_bracket bracket(array);
  float* values = ap4a_GetDataAddress(array);
  if (!bracket.begun() || values == nullptr) return 0;
  values[ap4a_index(array, cell)] = value;
  return 1;
}

AP4_ARRAY* ap4a_ExtractRange(const AP4_ARRAY* array, AP4_RANGE range) {
  if (!ap4a_is_array(array)) return nullptr;
  const AP4_CELL extent = ap4a_resolve(array, range);
  if (!ap4a_valid(extent)) return nullptr;
  const auto rows = static_cast<uint32_t>(extent.row);
  const auto columns = static_cast<uint32_t>(extent.column);
  ap4a_new_array extracted(ap4a_New(AP4_CLASS_ID, rows, columns, nullptr));
  if (extracted.get() == nullptr) return nullptr;
  if (rows != 0) {
    const float* from = ap4a_GetDataAddress(array);
    float* to = ap4a_GetDataAddress(extracted.get());
    if (from == nullptr || to == nullptr) return nullptr;
    ap4a_move_rows(from + ap4a_index(array, range.start), array->columns, to, columns, rows, columns);
  }
  return extracted.release();
}

uint16_t ap4a_CopyRangeTo(const AP4_ARRAY* array, AP4_RANGE range, AP4_ARRAY* target, AP4_CELL at) {
  if (!ap4a_is_array(array) || !ap4a_is_array(target)) return 0;
  const AP4_CELL extent = ap4a_resolve(array, range);
  if (!ap4a_valid(extent) || (at.row == AP4_WHOLE && at.column == AP4_WHOLE)) return 0;
  // The far corner is worked out wide: a cell near the top of the 32-bit
  // range must not wrap round into the target.
  const int64_t last_row = int64_t{at.row} + extent.row - 1;
  const int64_t last_column = int64_t{at.column} + extent.column - 1;
  if (last_row > INT32_MAX || last_column > INT32_MAX) return 0;
  AP4_RANGE into{at, AP4_CELL{static_cast<int32_t>(last_row), static_cast<int32_t>(last_column)}};
  if (!ap4a_valid(ap4a_resolve(target, into))) return 0;
  ap4a_change_bracket bracket(target);
  const float* from = ap4a_GetDataAddress(array);
  float* to = ap4a_GetDataAddress(target);
  if (!bracket.begun() || from == nullptr || to == nullptr) return 0;
  ap4a_move_rows(from + ap4a_index(array, range.start), array->columns, to + ap4a_index(target, at), target->columns,
                 static_cast<uint32_t>(extent.row), static_cast<uint32_t>(extent.column));
  return 1;
}

uint16_t ap4a_CopyRangeFrom(AP4_ARRAY* array, AP4_CELL at, const AP4_ARRAY* source, AP4_RANGE range) {
  return ap4a_CopyRangeTo(source, range, array, at);
}

AP4_CELL ap4a_MakeCell(int32_t row, int32_t column) { return AP4_CELL{row, column}; }

uint16_t ap4a_SetElements(AP4_ARRAY* array, int32_t row, int32_t column, float value) {
  return ap4a_SetElement(array, AP4_CELL{row, column}, value);
}

GU3_HANDLE ap4a_CopyDataOut(const AP4_ARRAY* array) {
  return ap4a_is_array(array) && array->data != nullptr ? GU3_CopyEx_MM(array->data) : nullptr;
}

// The source block must hold the floats the dimensions ask for, and the old
// data stay until the new block is had. The source may be the array's own
// block.
uint16_t ap4a_SetDataIn(AP4_ARRAY* array, uint32_t rows, uint32_t columns, GU3_HANDLE block) {
  if (!ap4a_is_array(array) || !ap4a_stored_dims_ok(rows, columns)) return 0;
  const uint32_t count = rows * columns;
  const void* source = count != 0 ? GU3_GetPointer_MM(block, 0, nullptr, nullptr) : nullptr;
  if (count != 0 && (source == nullptr || !ap4a_block_holds(block, count))) return 0;
  ap4a_change_bracket bracket(array);
  if (!bracket.begun()) return 0;
  return ap4a_replace_data(array, rows, columns,
                           [&](float* fresh) { std::memcpy(fresh, source, count * sizeof(float)); });
}

uint16_t ap4a_InsertRows(AP4_ARRAY* array, int32_t index, int32_t count) {
  return ap4a_insert(array, ap4a_axis::rows, index, count);
}

uint16_t ap4a_DeleteRows(AP4_ARRAY* array, int32_t index, int32_t count) {
  return ap4a_delete(array, ap4a_axis::rows, index, count);
}

uint16_t ap4a_InsertColumns(AP4_ARRAY* array, int32_t index, int32_t count) {
  return ap4a_insert(array, ap4a_axis::columns, index, count);
}

uint16_t ap4a_DeleteColumns(AP4_ARRAY* array, int32_t index, int32_t count) {
  return ap4a_delete(array, ap4a_axis::columns, index, count);
}

uint16_t ap4a_FillRange(AP4_ARRAY* array, AP4_RANGE range, float value) {
  if (!ap4a_is_array(array)) return 0;
  const AP4_CELL extent = ap4a_resolve(array, range);
  if (!ap4a_valid(extent)) return 0;
  ap4a_change_bracket bracket(array);
  float* values = ap4a_GetDataAddress(array);
  if (!bracket.begun() || (extent.row != 0 && values == nullptr)) return 0;
  for (int32_t row = 0; row < extent.row; ++row) {
    float* first = values + ap4a_index(array, AP4_CELL{range.start.row + row, range.start.column});
    std::fill(first, first + extent.column, value);
  }
  return 1;
}

float* ap4a_GetDataAddress(const AP4_ARRAY* array) {
  if (!ap4a_is_array(array) || array->data == nullptr) return nullptr;
  return static_cast<float*>(GU3_GetPointer_MM(array->data, 0, nullptr, nullptr));
}

uint16_t ap4a_GetDims(const AP4_ARRAY* array, uint32_t* rows, uint32_t* columns) {
  if (!ap4a_is_array(array)) return 0;
  if (!IsBadWritePtr(rows, sizeof(uint32_t))) *rows = array->rows;
  if (!IsBadWritePtr(columns, sizeof(uint32_t))) *columns = array->columns;
  return 1;
}

uint16_t ap4a_SwapRows(AP4_ARRAY* array, int32_t a, int32_t b) {
  if (!ap4a_is_array(array) || !ap4a_inside(array, AP4_CELL{a, 0}) || !ap4a_inside(array, AP4_CELL{b, 0})) return 0;
  if (a == b) return 1;
  ap4a_change_bracket bracket(array);
  float* values = ap4a_GetDataAddress(array);
  if (!bracket.begun() || values == nullptr) return 0;
  float* row_a = values + ap4a_index(array, AP4_CELL{a, 0});
  std::swap_ranges(row_a, row_a + array->columns, values + ap4a_index(array, AP4_CELL{b, 0}));
  return 1;
}

uint16_t ap4a_SwapColumns(AP4_ARRAY* array, int32_t a, int32_t b) {
  if (!ap4a_is_array(array) || !ap4a_inside(array, AP4_CELL{0, a}) || !ap4a_inside(array, AP4_CELL{0, b})) return 0;
  if (a == b) return 1;
  ap4a_change_bracket bracket(array);
  float* values = ap4a_GetDataAddress(array);
  if (!bracket.begun() || values == nullptr) return 0;
  for (uint32_t row = 0; row < array->rows; ++row) {
    const auto at = static_cast<int32_t>(row);
    std::swap(values[ap4a_index(array, AP4_CELL{at, a})], values[ap4a_index(array, AP4_CELL{at, b})]);
  }
  return 1;
}
