// Parameter choices, bulk text and the format and parse cores of AP13 PARAMS.
//
// Answers the messages 49 to 68 of the parameter class: the allowed values
// of a parameter as a list, all values of an object as one text and back,
// the first invalid value, raw access to the data block, copying the values
// that differ into another object, a listing into a text object, the size a
// value's text needs, the format and parse cores that the text messages 42
// and 43 run on (with the arrays behind the reference types written out or
// filled in full), a description of a parameter, taking values from a
// stored block, and checking every value. AP13_Dispatcher_PARAMS routes them.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "array/array.h"
#include "core/core.h"
#include "files/files.h"
#include "platform/codepage.h"
#include "platform/memory.h"
#include "util/util.h"

namespace {

// Objects of other classes this module reaches, and the messages it sends
// them: the ARRAY extent of a range and the address of its data, and the
// TEXT append. An object of any other class is not sent them.
constexpr uint16_t kArrayClass = 4;
constexpr uint16_t kTextClass = 48;
constexpr uint16_t kArrayExtentMessage = 36;
constexpr uint16_t kArrayDataMessage = 101;
constexpr uint16_t kTextAppendMessage = 36;

// A stored block is the record of one table, whose offsets are 16-bit: no
// written block reaches beyond this.
constexpr uint32_t kLargestStoredBlock = 0x10000u + AP13_LARGEST_VALUE;

// A listing line holds at most this much.
constexpr size_t kLineBytes = 644;
// The spectral header's title is cleaned of control characters on parse.
constexpr uint16_t kSpectralHeaderNames = 1041;
constexpr uint16_t kSpectralHeaderTitle = 8;
// Default widths of one element in the size of a written-out array.
constexpr int32_t kDefaultElementWidth = 10;
constexpr int32_t kWordElementWidth = 8;
constexpr int32_t kDoubleElementWidth = 20;
constexpr int32_t kBoolElementWidth = AP13_BOOL_TEXT_BYTES;

// Message 36 of an ARRAY, 20 bytes: a range and where its extent goes.
#pragma pack(push, 2)
struct ArrayExtentParm {
  int32_t start_row;
  int32_t start_column;
  int32_t end_row;
  int32_t end_column;
  AP1_ELEMENT* extent;
};
#pragma pack(pop)
static_assert(sizeof(ArrayExtentParm) == 20);

// A value in storage of its own, room for the largest row and a terminator.
using ValueBuffer = uint8_t[AP13_LARGEST_VALUE + 1];

bool ap13b_settable(const AP13_PARMENTRY& row) {
  return row.type != AP13_TYPE_ADDR && row.type != AP13_TYPE_LLIST && row.type != AP13_TYPE_CARRAY &&
         row.limits != AP13_LIMITS_NONE;
}

bool ap13b_is_handle_array(uint16_t type) {
  return (type >= AP13_TYPE_GU3MEMFLOATADDR && type <= AP13_TYPE_GU3MEMLONGADDR) ||
         type == AP13_TYPE_GU3MEMDOUBLEADDR || type == AP13_TYPE_GU3MEMDWORDADDR;
}

// The type whose text form each element of a handle-held array takes.
uint16_t ap13b_element_type(uint16_t type) {
  switch (type) {
    case AP13_TYPE_GU3MEMFLOATADDR: return AP13_TYPE_SINGLE;
    case AP13_TYPE_GU3MEMBOOLADDR: return AP13_TYPE_BOOL;
    case AP13_TYPE_GU3MEMWORDADDR: return AP13_TYPE_WORD;
    case AP13_TYPE_GU3MEMLONGADDR: return AP13_TYPE_LONG;
    case AP13_TYPE_GU3MEMDOUBLEADDR: return AP13_TYPE_DOUBLE;
    default: return AP13_TYPE_DWORD;
  }
}

uint32_t ap13b_element_bytes(uint16_t element_type) {
  return element_type == AP13_TYPE_DOUBLE ? 8 : ap13_limit_width(element_type);
}

// The bytes of the memory block behind a handle value; false without one.
bool ap13b_held_block(const void* value, uint8_t** data, uint32_t* bytes) {
  auto handle = ap13_load<GU3_HANDLE>(value);
  if (handle == nullptr) return false;
  *bytes = GU3_NumElements_MM(handle) * GU3_LenElements_MM(handle);
  *data = static_cast<uint8_t*>(GU3_GetPointer_MM(handle, 0, nullptr, nullptr));
  return *data != nullptr;
}

// The elements of a handle-held array, counted by the element type's width.
bool ap13b_held_elements(const void* value, uint16_t type, uint8_t** data, uint32_t* count) {
  uint32_t bytes = 0;
  if (!ap13b_held_block(value, data, &bytes)) return false;
  *count = bytes / ap13b_element_bytes(ap13b_element_type(type));
  return true;
}

// The strings of a string-array block: u16 count, u16 total characters,
// then the terminated strings; only strings that end inside the block count.
bool ap13b_string_array(const void* value, std::vector<std::string>* strings, uint16_t* count) {
  uint8_t* data = nullptr;
  uint32_t bytes = 0;
  if (!ap13b_held_block(value, &data, &bytes) || bytes < 4) return false;
  *count = ap13_load<uint16_t>(data);
  uint32_t at = 4;
  for (uint16_t i = 0; i < *count; ++i) {
    const void* end = std::memchr(data + at, '\0', bytes - at);
    if (end == nullptr) return false;
    strings->emplace_back(reinterpret_cast<const char*>(data + at));
    at = static_cast<uint32_t>(static_cast<const uint8_t*>(end) - data) + 1;
  }
  return true;
}

bool ap13b_is_of_class(const AP_OBJECT* object, uint16_t class_id) {
  return !IsBadReadPtr(object, sizeof(uint16_t)) && ap13_load<uint16_t>(object) == class_id;
}

// The ARRAY a type 15 value refers to, or null.
AP_OBJECT* ap13b_array_of(const void* value) {
  auto* array = ap13_load<AP_OBJECT*>(value);
  return ap13b_is_of_class(array, kArrayClass) ? array : nullptr;
}

bool ap13b_array_extent(AP_OBJECT* array, uint32_t* rows, uint32_t* columns) {
  AP1_ELEMENT extent{0, 0};
  ArrayExtentParm whole{-1, -1, -1, -1, &extent};
  if (array == nullptr || GU2_DoMethod_MSG(kArrayExtentMessage, array, &whole) == 0) return false;
  *rows = extent.first;
  *columns = extent.second;
  return true;
}

float* ap13b_array_values(AP_OBJECT* array) {
  return ap_result_object<float>(GU2_DoMethod_MSG(kArrayDataMessage, array, nullptr));
}

// A value read as message 40 reads it, into storage of its own.
bool ap13b_read_value(AP13_PARAMS* part, uint16_t index, ValueBuffer value) {
  std::memset(value, 0, sizeof(ValueBuffer));
  const AP13_PARMENTRY* row = ap13_row(part, index);
  return row != nullptr && row->size <= AP13_LARGEST_VALUE && ap13_GetParmValue_PARAMS(part, index, value) == 1;
}

// Free-form text of a value (message 42's). The buffer is cleared and one
// byte kept back, so that the raw bytes of types 12 and 13 end as a text too.
using TextBuffer = char[AP13_LARGEST_VALUE + 1];

bool ap13b_value_text(AP13_PARAMS* part, uint16_t index, TextBuffer buffer) {
  std::memset(buffer, 0, sizeof(TextBuffer));
  const AP13_FORMATPARM core{index, 0xFFFF, 0, buffer, AP13_LARGEST_VALUE, 0};
  const AP13_PARMENTRY* row = ap13_row(part, index);
  return row->type != AP13_TYPE_OWNEDTEXT && row->type <= AP13_TYPE_LAST && ap13_FormatParm_PARAMS(part, &core) == 1;
}

// ---------------------------------------------------------------------------
// Texts written out within a buffer

// Every piece costs its length + 1 (its separator), a row end 2; a piece
// that would use up the budget ends the text with failure.
struct BoundedText {
  std::string text;
  uint32_t budget;
};

bool ap13b_take(BoundedText& out, uint32_t cost) {
  if (cost >= out.budget) return false;
  out.budget -= cost;
  return true;
}

bool ap13b_add_piece(BoundedText& out, const char* piece) {
  if (!ap13b_take(out, static_cast<uint32_t>(std::strlen(piece)) + 1)) return false;
  out.text += piece;
  return true;
}

// The text goes to the buffer as far as it was made; the answer is whether
// it was made whole.
uint32_t ap13b_deliver(const BoundedText& out, char* buffer, bool whole) {
  std::memcpy(buffer, out.text.c_str(), out.text.size() + 1);
  return whole ? 1 : 0;
}

uint32_t ap13b_write_array(AP_OBJECT* array, int16_t width, int16_t precision, BoundedText& out, char* buffer) {
  uint32_t rows = 0, columns = 0;
  if (!ap13b_array_extent(array, &rows, &columns)) return 0;
  const float* values = rows * columns != 0 ? ap13b_array_values(array) : nullptr;
  if (rows * columns != 0 && values == nullptr) return 0;
  char piece[AP13_LARGEST_VALUE];
  for (uint32_t row = 0; row < rows; ++row) {
    for (uint32_t column = 0; column < columns; ++column) {
      if (ap13_FormatValue_PARAMS(&values[row * columns + column], AP13_TYPE_SINGLE, width, precision, piece,
                                  sizeof piece) == 0 ||
          !ap13b_add_piece(out, piece))
        return ap13b_deliver(out, buffer, false);
      if (column + 1 < columns) out.text += '\t';
    }
    if (!ap13b_take(out, 2)) return ap13b_deliver(out, buffer, false);
    out.text += "\r\n";
  }
  return ap13b_deliver(out, buffer, true);
}

uint32_t ap13b_write_strings(const void* value, BoundedText& out, char* buffer) {
  std::vector<std::string> strings;
  uint16_t count = 0;
  if (!ap13b_string_array(value, &strings, &count)) return 0;
  for (const std::string& string : strings) {
    if (!ap13b_add_piece(out, string.c_str())) return ap13b_deliver(out, buffer, false);
    out.text += '\t';
  }
  if (out.budget >= 3) {
    if (!out.text.empty()) out.text.pop_back();
    out.text += "\r\n";
  }
  return ap13b_deliver(out, buffer, true);
}

uint32_t ap13b_write_elements(const void* value, uint16_t type, int16_t width, int16_t precision, BoundedText& out,
                              char* buffer, uint16_t buffer_size) {
  uint8_t* data = nullptr;
  uint32_t count = 0;
  if (!ap13b_held_elements(value, type, &data, &count)) return 0;
  const uint16_t element_type = ap13b_element_type(type);
  const uint32_t element_bytes = ap13b_element_bytes(element_type);
  char piece[AP13_LARGEST_VALUE];
  for (uint32_t i = 0; i < count; ++i) {
    if (ap13_FormatValue_PARAMS(data + i * element_bytes, element_type, width, precision, piece, sizeof piece) == 0 ||
        !ap13b_add_piece(out, piece))
      return ap13b_deliver(out, buffer, false);
    out.text += '\t';
  }
  if (out.text.size() + 2 < buffer_size) {
    if (!out.text.empty()) out.text.pop_back();
    out.text += "\r\n";
  }
  return ap13b_deliver(out, buffer, true);
}

// ---------------------------------------------------------------------------
// Arrays filled from a text

// The piece of text up to the terminator, in a buffer of its own; false
// when the terminator does not come.
bool ap13b_piece(const char** at, char terminator, char (&piece)[AP13_LARGEST_VALUE]) {
  const char* end = std::strchr(*at, terminator);
  if (end == nullptr) return false;
  std::snprintf(piece, sizeof piece, "%.*s", static_cast<int>(end - *at), *at);
  *at = end + 1;
  return true;
}

// Rows of an ARRAY's values: pieces ended by a tab, the row's last by a
// carriage return and one character after it. The array is the object that
// changes.
uint32_t ap13b_fill_array(AP_OBJECT* array, const char* text) {
  uint32_t rows = 0, columns = 0;
  if (!ap13b_array_extent(array, &rows, &columns)) return 0;
  float* values = rows * columns != 0 ? ap13b_array_values(array) : nullptr;
  if (rows * columns != 0 && values == nullptr) return 0;
  if (GU2_DoMethod_MSG(AP_MSG_BEGIN_CHANGE, array, nullptr) == 0) return 0;
  bool whole = true;
  const char* at = text;
  char piece[AP13_LARGEST_VALUE];
  for (uint32_t row = 0; row < rows && whole; ++row) {
    for (uint32_t column = 0; column < columns && whole; ++column) {
      const bool last = column + 1 == columns;
      const void* parsed = nullptr;
      whole = ap13b_piece(&at, last ? '\r' : '\t', piece);
      if (whole && last && *at != '\0') ++at;
      if (whole && ap13_ParseValue_PARAMS(piece, AP13_TYPE_SINGLE, &parsed) != 0) {
        values[row * columns + column] = ap13_load<float>(parsed);
      } else {
        whole = false;
      }
    }
  }
  GU2_DoMethod_MSG(AP_MSG_END_CHANGE, array, nullptr);
  return whole ? 1 : 0;
}

// The existing elements of a handle-held array, each but the last ended by
// a tab (an element whose tab is missing is left as it is), the last by a
// carriage return. The elements are the parameter's value: the change is
// the object's.
uint32_t ap13b_fill_elements(AP13_PARAMS* part, uint16_t index, const char* text) {
  const AP13_PARMENTRY* row = ap13_row(part, index);
  uint8_t* data = nullptr;
  uint32_t count = 0;
  if (!ap13b_held_elements(part->data + row->offset, row->type, &data, &count)) return 0;
  const uint16_t element_type = ap13b_element_type(row->type);
  const uint32_t element_bytes = ap13b_element_bytes(element_type);
  if (ap2_BeginChange_OBJ(reinterpret_cast<AP2_OBJECT*>(part->head.parent)) == 0) return 0;
  bool whole = true;
  const char* at = text;
  char piece[AP13_LARGEST_VALUE];
  for (uint32_t i = 0; i < count; ++i) {
    const bool last = i + 1 == count;
    if (!ap13b_piece(&at, last ? '\r' : '\t', piece)) {
      if (last) break;
      continue;
    }
    const void* parsed = nullptr;
    if (ap13_ParseValue_PARAMS(piece, element_type, &parsed) != 0) {
      std::memcpy(data + i * element_bytes, parsed, element_bytes);
    } else {
      whole = false;
    }
  }
  ap13_end_change(part, index);
  return whole ? 1 : 0;
}

// A new string-array block: the tab-ended pieces of the text replace the
// first strings, the rest stay; set with the force given, then the block
// that lost is freed.
uint32_t ap13b_fill_strings(AP13_PARAMS* part, uint16_t index, const char* text, uint16_t force) {
  const uint8_t* value = part->data + ap13_row(part, index)->offset;
  std::vector<std::string> strings;
  uint16_t count = 0;
  if (!ap13b_string_array(value, &strings, &count)) return 0;
  const char* at = text;
  for (std::string& string : strings) {
    const char* end = std::strchr(at, '\t');
    if (end == nullptr) break;
    string.assign(at, end);
    at = end + 1;
  }
  uint32_t total = 0;
  for (const std::string& string : strings) total += static_cast<uint32_t>(string.size());
  if (total > UINT16_MAX) return 0;
  GU3_HANDLE block = GU3_Allocate_MM(sizeof(uint16_t) * 2 + total + count, 1, GU3_KIND_GLOBAL);
  auto* bytes = static_cast<uint8_t*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  if (bytes == nullptr) {
    GU3_Free_MM(block);
    return 0;
  }
  const uint16_t head[2] = {count, static_cast<uint16_t>(total)};
  std::memcpy(bytes, head, sizeof head);
  uint32_t put = sizeof head;
  for (const std::string& string : strings) {
    std::memcpy(bytes + put, string.c_str(), string.size() + 1);
    put += static_cast<uint32_t>(string.size()) + 1;
  }
  const GU3_HANDLE old = ap13_load<GU3_HANDLE>(value);
  if (ap13_SetParmValue_PARAMS(part, index, &block, force) != 1) {
    GU3_Free_MM(block);
    return 0;
  }
  GU3_Free_MM(old);
  return 1;
}

// A choice's value in the row's width into storage of its own.
bool ap13b_choice_value(AP13_PARAMS* part, uint16_t index, uint32_t n, ValueBuffer value) {
  std::memset(value, 0, sizeof(ValueBuffer));
  const AP13_PARMENTRY* row = ap13_row(part, index);
  const uint8_t* limits = ap13_limits_record(part, index);
  const uint32_t count = ap13_GetChoiceCount_PARAMS(part, index);
  if (row->size > AP13_LARGEST_VALUE || limits == nullptr || count == AP13_NO_CHOICES || n >= count) return false;
  const uint16_t type = row->type;
  const bool integer = type >= AP13_TYPE_INT && type <= AP13_TYPE_DWORD;
  const uint32_t width = ap13_limit_width(type);
  switch (row->limits) {
    case AP13_LIMITS_STEP:
      if (integer) {
        return ap13_store_number(ap13_integer_at(limits, type) + n * ap13_integer_at(limits + 2 * width, type), type,
                                 value);
      }
      if (type == AP13_TYPE_SINGLE) {
        const float number =
            static_cast<float>(n * ap13_float_at(limits + 2 * width, type) + ap13_float_at(limits, type));
        std::memcpy(value, &number, sizeof number);
        return true;
      }
      if (type == AP13_TYPE_DOUBLE) {
        const double number = ap13_float_at(limits, type) + n * ap13_float_at(limits + 2 * width, type);
        std::memcpy(value, &number, sizeof number);
        return true;
      }
      return false;
    case AP13_LIMITS_LIST: std::memcpy(value, limits + 2 + n * width, width); return true;
    case AP13_LIMITS_CHOICE: {
      const int16_t group = ap13_load<int16_t>(limits);
      const int32_t number = GU4_GetAssocNumber(group, GU4_GetAssocIndex(group, n, nullptr), nullptr, nullptr);
      return integer && number != -1 && ap13_store_number(number, type, value);
    }
    case AP13_LIMITS_RANGE: return integer && ap13_store_number(ap13_integer_at(limits, type) + n, type, value);
    default: return false;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Choices

uint32_t ap13_GetChoiceCount_PARAMS(AP13_PARAMS* part, uint16_t index) {
  if (!ap13_is_part(part)) return AP13_NO_CHOICES;
  const AP13_PARMENTRY* row = ap13_row(part, index);
  if (row == nullptr) return AP13_BAD_INDEX;
  const uint8_t* limits = ap13_limits_record(part, index);
  const uint16_t type = row->type;
  const bool integer = type >= AP13_TYPE_INT && type <= AP13_TYPE_DWORD;
  const bool floating = type == AP13_TYPE_SINGLE || type == AP13_TYPE_DOUBLE;
  const uint32_t width = ap13_limit_width(type);
  switch (row->limits) {
    case AP13_LIMITS_NONE: return AP13_NO_CHOICES;
    case AP13_LIMITS_MASK:
    case AP13_LIMITS_FREE: return 0;
    default: break;
  }
  if (limits == nullptr) return 0;
  switch (row->limits) {
    case AP13_LIMITS_STEP: {
      // A step that is not positive, or limits the wrong way round, allow
      // no value at all.
      if (integer) {
        const int64_t min = ap13_integer_at(limits, type), max = ap13_integer_at(limits + width, type);
        const int64_t step = ap13_integer_at(limits + 2 * width, type);
        return step > 0 && max >= min ? static_cast<uint32_t>((max - min) / step + 1) : 0;
      }
      if (!floating) return AP13_NO_CHOICES;
      const double min = ap13_float_at(limits, type), max = ap13_float_at(limits + width, type);
      const double step = ap13_float_at(limits + 2 * width, type);
      if (!(step > 0.0) || !(max >= min)) return 0;
      const double steps = (max - min) / step;
      return steps < static_cast<double>(AP13_NO_CHOICES - 1) ? static_cast<uint32_t>(steps) + 1 : AP13_NO_CHOICES;
    }
    case AP13_LIMITS_LIST: return ap13_load<uint16_t>(limits);
    case AP13_LIMITS_CHOICE: {
      const int32_t count = GU4_GetAssocCountNoDup(ap13_load<int16_t>(limits), nullptr);
      return count >= 0 ? static_cast<uint32_t>(count) : AP13_NO_CHOICES;
    }
    case AP13_LIMITS_RANGE: {
      if (floating) return 0;
      if (!integer) return AP13_NO_CHOICES;
      const int64_t min = ap13_integer_at(limits, type), max = ap13_integer_at(limits + width, type);
      return max >= min ? static_cast<uint32_t>(max - min + 1) : 0;
    }
    default: return 0;
  }
}

uint32_t ap13_GetChoiceValue_PARAMS(AP13_PARAMS* part, uint16_t index, uint32_t n, void* value) {
  ValueBuffer choice;
  if (!ap13_is_part(part) || ap13_row(part, index) == nullptr || !ap13b_choice_value(part, index, n, choice)) return 0;
  const uint16_t size = ap13_row(part, index)->size;
  if (IsBadWritePtr(value, size)) return 0;
  std::memcpy(value, choice, size);
  return 1;
}

uint32_t ap13_GetChoiceText_PARAMS(AP13_PARAMS* part, const AP13_CHOICETEXTPARM* block) {
  if (!ap13_is_part(part)) return 0;
  const AP13_PARMENTRY* row = ap13_row(part, block->index);
  if (row == nullptr) return 0;
  const auto width = static_cast<int16_t>(block->width);
  const auto precision = static_cast<int16_t>(block->precision);
  if (row->limits == AP13_LIMITS_CHOICE) {
    const uint8_t* limits = ap13_limits_record(part, block->index);
    const char* text = limits != nullptr ? GU4_GetAssocIndex(ap13_load<int16_t>(limits), block->n, nullptr) : nullptr;
    return text != nullptr ? ap13_FormatValue_PARAMS(text, AP13_TYPE_STRING, width, precision, block->buffer, 0) : 0;
  }
  ValueBuffer choice;
  if (!ap13b_choice_value(part, block->index, block->n, choice)) return 0;
  return ap13_FormatValue_PARAMS(choice, row->type, width, precision, block->buffer, 0);
}

uint32_t ap13_FindChoiceIndex_PARAMS(AP13_PARAMS* part, AP13_FINDCHOICEPARM* block) {
  if (!ap13_is_part(part)) return 0;
  const AP13_PARMENTRY* row = ap13_row(part, block->index);
  if (row == nullptr || IsBadReadPtr(block->value, row->size) || IsBadWritePtr(block->n, sizeof *block->n)) return 0;
  const uint32_t count = ap13_GetChoiceCount_PARAMS(part, block->index);
  if (count == AP13_NO_CHOICES) return 0;
  ValueBuffer choice;
  for (uint32_t n = 0; n < count; ++n) {
    if (ap13b_choice_value(part, block->index, n, choice) && std::memcmp(choice, block->value, row->size) == 0) {
      *block->n = n;
      return 1;
    }
  }
  return 0;
}

// ---------------------------------------------------------------------------
// All values as one text

// The whole text is made first: only a buffer that takes it is written.
uint32_t ap13_GetAllText_PARAMS(AP13_PARAMS* part, char* buffer) {
  if (!ap13_is_part(part) || part->table == nullptr) return 0;
  std::string all;
  bool any = false;
  TextBuffer text;
  for (uint16_t index = 0; index < part->table->count; ++index) {
    if (!ap13b_settable(part->table->rows[index])) continue;
    if (!ap13b_value_text(part, index, text)) return 0;
    if (any) all += ',';
    all += text;
    any = true;
  }
  return any ? ap13_copy_text(buffer, all.c_str(), 0) : 0;
}

// The caller's text is split in a copy of its own.
uint32_t ap13_SetAllText_PARAMS(AP13_PARAMS* part, const char* text) {
  if (!ap13_is_part(part) || part->table == nullptr || text == nullptr) return 0;
  static const char kDelimiters[] = ",\n";
  std::string copy(text);
  char* piece = GU4_StrTok(copy.data(), kDelimiters);
  uint32_t result = 1;
  for (uint16_t index = 0; index < part->table->count && piece != nullptr && result == 1; ++index) {
    if (!ap13b_settable(part->table->rows[index])) continue;
    if (ap13_SetParmStr_PARAMS(part, index, piece, 1) != 1) result = 0;
    piece = GU4_StrTok(nullptr, kDelimiters);
  }
  // The shared tokeniser must not keep a place in the copy, which goes now.
  char nothing[] = "";
  GU4_StrTok(nothing, kDelimiters);
  return result;
}

uint32_t ap13_ValidateAll_PARAMS(AP13_PARAMS* part) {
  if (!ap13_is_part(part) || part->table == nullptr) return AP13_NOT_PARAMS;
  ValueBuffer value;
  for (uint16_t index = 0; index < part->table->count; ++index) {
    if (!ap13b_read_value(part, index, value) || ap13_ValidateParm_PARAMS(part, index, value) != 1) return index;
  }
  return AP13_ALL_VALID;
}

uint32_t ap13_GetDataSize_PARAMS(AP13_PARAMS* part) {
  return ap13_is_part(part) && part->table != nullptr ? part->table->data_size : 0;
}

uint8_t* ap13_GetDataPtr_PARAMS(AP13_PARAMS* part) { return ap13_is_part(part) ? part->data : nullptr; }

// ---------------------------------------------------------------------------
// Copying the values that differ

namespace {

// EndsTheCopy: two length-prefixed texts of different lengths, which stop
// the copy where they are.
enum class Difference { Same, Differs, CannotCopy, EndsTheCopy };

Difference ap13b_compare(const AP13_PARMENTRY& row, const uint8_t* source, const uint8_t* target) {
  bool differs = false;
  switch (row.type) {
    case AP13_TYPE_BOOL:
    case AP13_TYPE_INT:
    case AP13_TYPE_WORD:
    case AP13_TYPE_WINID:
    case AP13_TYPE_LONG:
    case AP13_TYPE_DWORD:
    case AP13_TYPE_ADDR:
    case AP13_TYPE_COLOR: differs = ap13_integer_at(source, row.type) != ap13_integer_at(target, row.type); break;
    case AP13_TYPE_SINGLE:
      differs = AP1_KovFloatCompareSG_MATH(ap13_load<float>(source), ap13_load<float>(target)) == 0;
      break;
    case AP13_TYPE_DOUBLE:
      differs = AP1_KovFloatCompareDB_MATH(ap13_load<double>(source), ap13_load<double>(target)) == 0;
      break;
    case AP13_TYPE_STRING:
      differs = std::strncmp(reinterpret_cast<const char*>(source), reinterpret_cast<const char*>(target), row.size) != 0;
      break;
    case AP13_TYPE_PSTR:
      if (source[0] != target[0]) return Difference::EndsTheCopy;
      differs = std::memcmp(source, target, std::min<uint32_t>(source[0] + 1u, row.size)) != 0;
      break;
    case AP13_TYPE_LLIST:
    case AP13_TYPE_CARRAY: differs = std::memcmp(source, target, row.size) != 0; break;
    case AP13_TYPE_OWNEDTEXT: {
      const char* a = ap13_load<const char*>(source);
      const char* b = ap13_load<const char*>(target);
      return std::strcmp(a != nullptr ? a : "", b != nullptr ? b : "") == 0 ? Difference::Same : Difference::CannotCopy;
    }
    default:
      // References to arrays and memory blocks have one owner each: a copy
      // of the reference would share it.
      return ap13_load<uint32_t>(source) == ap13_load<uint32_t>(target) ? Difference::Same : Difference::CannotCopy;
  }
  return differs ? Difference::Differs : Difference::Same;
}

// Copies one differing value; false when the target does not take it.
bool ap13b_copy_value(AP13_PARAMS* part, uint16_t index, AP_OBJECT* target, AP13_PARAMS* target_part) {
  const AP13_PARMENTRY& row = part->table->rows[index];
  const uint8_t* source = part->data + row.offset;
  if (row.type == AP13_TYPE_LLIST || row.type == AP13_TYPE_CARRAY) {
    // Raw bytes go straight into the target's block, with no message and no
    // change of the target.
    std::memcpy(target_part->data + row.offset, source, row.size);
    return true;
  }
  ValueBuffer value;
  if (!ap13b_read_value(part, index, value)) return false;
  GU2_PARMVALUE set{index, value, 0};
  return GU2_DoMethod_MSG(GU2_MSG_SET_PARM_VALUE, target, &set) == 1;
}

}  // namespace

uint32_t ap13_CopyDiffering_PARAMS(AP13_PARAMS* part, AP13_COPYDIFFPARM* block) {
  if (!ap13_is_part(part) || part->table == nullptr || part->data == nullptr) return 0;
  AP_OBJECT* target = block->target;
  if (IsBadReadPtr(target, sizeof(uint16_t))) return 0;
  const uint16_t target_class = ap13_load<uint16_t>(target);
  AP13_PARAMS* target_part = ap13_FindParamsPart(target);
  if ((target_class != AP13_CLASS_ID && target_class != part->owner_class) || target_part == nullptr ||
      target_part->data == nullptr)
    return 0;
  if (target_part->owner_class != part->owner_class || target_part->table != part->table) return AP13_BAD_INDEX;
  const int32_t count = part->table->count;
  int32_t first = block->first, last = block->last;
  if (first == -1 && last == -1) {
    first = 0;
    last = count - 1;
  } else if (first < 0 || last < 0 || first >= count || last + 1 > count) {
    return AP13_BAD_INDEX;
  }
  // A value that differs but cannot be copied does not stop the others; the
  // caller learns the first such row. Length-prefixed texts of different
  // lengths end the copy, and are reported so when no row was refused
  // before them.
  uint32_t copied = 0;
  int32_t refused = -1;
  for (int32_t index = first; index <= last; ++index) {
    const AP13_PARMENTRY& row = part->table->rows[index];
    const Difference difference = ap13b_compare(row, part->data + row.offset, target_part->data + row.offset);
    if (difference == Difference::Same) continue;
    if (difference == Difference::EndsTheCopy) {
      refused = refused < 0 ? index : refused;
      break;
    }
    if (difference == Difference::Differs &&
        ap13b_copy_value(part, static_cast<uint16_t>(index), target, target_part)) {
      ++copied;
    } else if (refused < 0) {
      refused = index;
    }
  }
  if (refused < 0) return copied;
  block->first = static_cast<int16_t>(refused);
  return AP13_BAD_INDEX;
}

// ---------------------------------------------------------------------------
// Listing, flags and sizes

uint32_t ap13_ListToText_PARAMS(AP13_PARAMS* part, AP_OBJECT* text) {
  if (!ap13_is_part(part) || part->table == nullptr || !ap13b_is_of_class(text, kTextClass)) return 0;
  // A failed append leaves the text object to its owner, the caller.
  auto append = [text](const char* line) {
    return GU2_DoMethod_MSG(kTextAppendMessage, text, const_cast<char*>(line)) != 0;
  };
  const char* title = nullptr;
  if (ap13_GetClassTitle_PARAMS(part, &title) != 1) title = GU4_GetAssocString(AP13_GROUP_CLASS_TITLES, 0, nullptr, nullptr);
  char line[kLineBytes];
  std::snprintf(line, sizeof line, "%s\r\n", title != nullptr ? title : "");
  if (!append(line)) return 0;
  TextBuffer value;
  for (uint16_t index = 0; index < part->table->count; ++index) {
    const char* name = GU4_GetAssocString(part->table->name_group, index, nullptr, nullptr);
    if (name == nullptr) return 0;
    const bool shown = ap13b_value_text(part, index, value);
    std::snprintf(line, sizeof line, " %s %s\r\n", name, shown ? value : ap13_not_given_text());
    if (!append(line)) return 0;
  }
  return append("\r\n") ? 1 : 0;
}

// The flag bits that a parameter set of each of these owning classes may
// carry; other classes carry none.
struct ClassFlagMask {
  uint16_t owner_class;
  uint16_t mask;
};
constexpr ClassFlagMask kClassFlagMasks[] = {{6, 4}, {35, 8}, {38, 2}, {56, 1}, {64, 16}};

uint32_t ap13_TestClassFlag_PARAMS(AP13_PARAMS* part, int16_t flags) {
  if (!ap13_is_part(part)) return 0;
  for (const ClassFlagMask& entry : kClassFlagMasks) {
    if (entry.owner_class == part->owner_class) return static_cast<uint16_t>(flags) & entry.mask;
  }
  return 0;
}

uint32_t ap13_GetParmSize_PARAMS(AP13_PARAMS* part, uint16_t index) {
  const AP13_PARMENTRY* row = ap13_is_part(part) ? ap13_row(part, index) : nullptr;
  return row != nullptr ? row->size : 0;
}

uint32_t ap13_GetTextSize_PARAMS(AP13_PARAMS* part, uint16_t index, int16_t width, int16_t precision) {
  const AP13_PARMENTRY* row = ap13_is_part(part) ? ap13_row(part, index) : nullptr;
  if (row == nullptr || part->data == nullptr) return 0;
  const bool none = width == 0 && precision == 0;
  const int32_t w = std::max<int32_t>(width, 0);
  const int32_t not_given = static_cast<int32_t>(std::strlen(ap13_not_given_text())) + 1;
  const uint8_t* value = part->data + row->offset;
  const int32_t element_width = w > 0 ? w : kDefaultElementWidth;
  uint8_t* data = nullptr;
  uint32_t n = 0;
  switch (row->type) {
    case AP13_TYPE_BOOL: return none ? 0 : AP13_BOOL_TEXT_BYTES;
    case AP13_TYPE_INT:
    case AP13_TYPE_WORD:
    case AP13_TYPE_WINID: return none ? 0 : w + 1;
    case AP13_TYPE_LONG:
    case AP13_TYPE_DWORD:
    case AP13_TYPE_SINGLE:
    case AP13_TYPE_DOUBLE:
    case AP13_TYPE_ADDR: return none ? 0 : std::max(w + 1, not_given);
    case AP13_TYPE_STRING:
    case AP13_TYPE_PSTR:
    case AP13_TYPE_LLIST:
    case AP13_TYPE_CARRAY: return none ? 0 : std::max({w + 1, not_given, row->size + 1});
    case AP13_TYPE_COLOR: return none ? 0 : 12;
    case AP13_TYPE_AP4ADDR: {
      uint32_t rows = 0, columns = 0;
      if (!ap13b_array_extent(ap13b_array_of(value), &rows, &columns)) return 0;
      return rows * columns * element_width + columns + 2 * rows;
    }
    case AP13_TYPE_STSTRARRAY: {
      uint32_t bytes = 0;
      if (!ap13b_held_block(value, &data, &bytes) || bytes < 4) return 0;
      return ap13_load<uint16_t>(data) + ap13_load<uint16_t>(data + 2);
    }
    case AP13_TYPE_GU3MEMBOOLADDR:
      if (!ap13b_held_elements(value, row->type, &data, &n)) return 0;
      return n + n * std::max(kBoolElementWidth, w) + 1;
    case AP13_TYPE_GU3MEMFLOATADDR:
    case AP13_TYPE_GU3MEMWORDADDR:
    case AP13_TYPE_GU3MEMLONGADDR:
    case AP13_TYPE_GU3MEMDOUBLEADDR:
    case AP13_TYPE_GU3MEMDWORDADDR: {
      if (!ap13b_held_elements(value, row->type, &data, &n)) return 0;
      int32_t each = element_width;
      if (w == 0 && row->type == AP13_TYPE_GU3MEMWORDADDR) each = kWordElementWidth;
      if (w == 0 && row->type == AP13_TYPE_GU3MEMDOUBLEADDR) each = kDoubleElementWidth;
      return n + n * each + 1;
    }
    default: return 0;
  }
}

// ---------------------------------------------------------------------------
// Format and parse cores

uint32_t ap13_FormatParm_PARAMS(AP13_PARAMS* part, const AP13_FORMATPARM* block) {
  if (!ap13_is_part(part)) return 0;
  const AP13_PARMENTRY* row = ap13_row(part, block->index);
  if (row == nullptr) return AP13_BAD_INDEX;
  if (part->data == nullptr || block->buffer == nullptr) return 0;
  const auto width = static_cast<int16_t>(block->width);
  const auto precision = static_cast<int16_t>(block->precision);
  const uint8_t* stored = part->data + row->offset;
  char* buffer = block->buffer;
  const uint16_t size = block->buffer_size;
  ValueBuffer value;
  if (row->limits == AP13_LIMITS_CHOICE && row->type != AP13_TYPE_STRING) {
    const uint8_t* limits = ap13_limits_record(part, block->index);
    if (limits == nullptr) return 0;
    const char* text = GU4_GetAssocString(ap13_load<int16_t>(limits), ap13_load<uint16_t>(stored), nullptr, nullptr);
    return ap13_FormatValue_PARAMS(text != nullptr ? text : ap13_not_given_text(), AP13_TYPE_STRING, width, precision,
                                   buffer, size);
  }
  const bool deep = block->deep != 0;
  BoundedText out{std::string(), size > 0 ? size - 1u : 0u};
  switch (row->type) {
    case AP13_TYPE_STRING:
    case AP13_TYPE_PSTR:
      // A text is read bounded by its row: a stored text may lack its terminator.
      if (!ap13b_read_value(part, block->index, value)) return 0;
      if (row->type == AP13_TYPE_PSTR && (block->width != 0 || block->precision != 0) &&
          block->width <= std::strlen(reinterpret_cast<char*>(value)))
        return 0;
      return ap13_FormatValue_PARAMS(value, row->type, width, precision, buffer, size);
    case AP13_TYPE_LLIST:
    case AP13_TYPE_CARRAY: return ap13_FormatValue_PARAMS(stored, row->type, row->size, 0, buffer, size);
    case AP13_TYPE_AP4ADDR:
      if (!deep) return ap13_FormatValue_PARAMS(stored, row->type, width, precision, buffer, size);
      return size > 0 && ap13_buffer_takes(buffer, size, size)
                 ? ap13b_write_array(ap13b_array_of(stored), width, precision, out, buffer)
                 : 0;
    case AP13_TYPE_STSTRARRAY:
      return deep && size > 0 && ap13_buffer_takes(buffer, size, size) ? ap13b_write_strings(stored, out, buffer) : 0;
    case AP13_TYPE_OWNEDTEXT: return 0;
    default:
      if (ap13b_is_handle_array(row->type)) {
        return deep && size > 0 && ap13_buffer_takes(buffer, size, size)
                   ? ap13b_write_elements(stored, row->type, width, precision, out, buffer, size)
                   : 0;
      }
      if (row->type < AP13_TYPE_BOOL || row->type > AP13_TYPE_LAST || !ap13b_read_value(part, block->index, value))
        return 0;
      return ap13_FormatValue_PARAMS(value, row->type, width, precision, buffer, size);
  }
}

uint32_t ap13_ParseParm_PARAMS(AP13_PARAMS* part, uint16_t index, const char* text, uint16_t force, uint16_t deep) {
  if (!ap13_is_part(part)) return 0;
  const AP13_PARMENTRY* row = ap13_row(part, index);
  if (row == nullptr) return AP13_BAD_INDEX;
  if (text == nullptr || part->data == nullptr) return 0;
  char cleaned[AP13_LARGEST_VALUE];
  if (part->table->name_group == kSpectralHeaderNames && index == kSpectralHeaderTitle) {
    // A title holds no control characters; the caller's text stays as it is.
    std::snprintf(cleaned, sizeof cleaned, "%s", text);
    for (char* p = cleaned; *p != '\0'; p = CharNextA(p)) {
      if (static_cast<unsigned char>(*p) < 32) *p = ' ';
    }
    text = cleaned;
  }
  const uint16_t type = row->type;
  if (row->limits == AP13_LIMITS_CHOICE) {
    const uint8_t* limits = ap13_limits_record(part, index);
    if (limits == nullptr) return 0;
    const int32_t number = GU4_GetAssocNumber(ap13_load<int16_t>(limits), text, nullptr, nullptr);
    uint8_t value[sizeof(uint32_t)] = {};
    if (number == -1 || !ap13_store_number(number, type, value)) return 0;
    return ap13_SetParmValue_PARAMS(part, index, value, force);
  }
  if (type >= AP13_TYPE_BOOL && type <= AP13_TYPE_COLOR) {
    const void* value = nullptr;
    if (ap13_ParseValue_PARAMS(text, type, &value) == 0) return 0;
    return ap13_SetParmValue_PARAMS(part, index, value, force);
  }
  if (type == AP13_TYPE_OWNEDTEXT) return ap13_SetParmValue_PARAMS(part, index, text, force);
  if (type > AP13_TYPE_LAST) return 0;
  if (deep == 0) return 1;
  if (type == AP13_TYPE_AP4ADDR) return ap13b_fill_array(ap13b_array_of(part->data + row->offset), text);
  if (type == AP13_TYPE_STSTRARRAY) return ap13b_fill_strings(part, index, text, force);
  return ap13b_fill_elements(part, index, text);
}

// ---------------------------------------------------------------------------
// Description and checks

uint32_t ap13_DescribeParm_PARAMS(AP13_PARAMS* part, const AP13_DESCRIBEPARM* block) {
  const AP13_PARMENTRY* row = ap13_is_part(part) ? ap13_row(part, block->index) : nullptr;
  if (row == nullptr || part->data == nullptr || row->type < AP13_TYPE_BOOL || row->type > AP13_TYPE_LAST ||
      row->type == AP13_TYPE_OWNEDTEXT || IsBadWritePtr(block->type, sizeof(uint16_t)) ||
      IsBadWritePtr(block->limits, sizeof(uint16_t)) || IsBadWritePtr(block->extent, 2 * sizeof(uint32_t)))
    return 0;
  // The raw default of types 12 and 13 is shown as far as its row reaches.
  std::string shown = row->default_text != nullptr ? row->default_text : "NULL";
  if (row->default_text != nullptr && (row->type == AP13_TYPE_LLIST || row->type == AP13_TYPE_CARRAY))
    shown.assign(row->default_text, strnlen(row->default_text, row->size));
  if (ap13_copy_text(block->text, shown.c_str(), 0) == 0) return 0;
  *block->type = row->type;
  *block->limits = row->limits;
  block->extent[0] = 0;
  block->extent[1] = 0;
  const uint8_t* value = part->data + row->offset;
  uint8_t* data = nullptr;
  uint32_t n = 0;
  if (row->type == AP13_TYPE_AP4ADDR) {
    ap13b_array_extent(ap13b_array_of(value), &block->extent[0], &block->extent[1]);
  } else if (row->type == AP13_TYPE_STSTRARRAY) {
    if (ap13b_held_block(value, &data, &n) && n >= 4) {
      block->extent[0] = 1;
      block->extent[1] = ap13_load<uint16_t>(data);
    }
  } else if (ap13b_is_handle_array(row->type) && ap13b_held_elements(value, row->type, &data, &n)) {
    block->extent[0] = 1;
    block->extent[1] = n;
  }
  return 1;
}

namespace {

// Values taken from a file: the types that refer to memory, windows or
// arrays of this process are passed over.
bool ap13b_kept_in_files(uint16_t type) {
  return type != AP13_TYPE_ADDR && type != AP13_TYPE_WINID && type != AP13_TYPE_LLIST && type < AP13_TYPE_AP4ADDR;
}

// A stored value as message 46 takes it. A text must end inside its row and
// a length-prefixed one must keep room for its length byte, or it would
// reach past the row once stored.
bool ap13b_stored_value_valid(AP13_PARAMS* part, uint16_t index, const uint8_t* stored) {
  const AP13_PARMENTRY* row = ap13_row(part, index);
  ValueBuffer value = {};
  std::memcpy(value, stored, row->size);
  if (row->type == AP13_TYPE_STRING && std::memchr(stored, '\0', row->size) == nullptr) return false;
  if (row->type == AP13_TYPE_PSTR) {
    if (stored[0] >= row->size) return false;
    ap13_PascalToC_PARAMS(stored, reinterpret_cast<char*>(value), row->size);
  }
  return ap13_ValidateParm_PARAMS(part, index, value) == 1;
}

}  // namespace

// The stored block is read whole into a scratch block (one byte more, kept
// 0) before any value is taken, so that a short read stores nothing.
uint32_t ap13_TakeValues_PARAMS(AP13_PARAMS* part, const AP13_TAKEPARM* block) {
  if (!ap13_is_part(part) || part->table == nullptr || block->data != part->data || part->data == nullptr ||
      block->block_size != part->table->data_size || block->stored_size == 0 ||
      block->stored_size > kLargestStoredBlock || ap20_IsOpen(block->file) == 0)
    return 0;
  auto* scratch = static_cast<uint8_t*>(GU3_NewPointer(block->stored_size + 1));
  if (scratch == nullptr) return 0;
  AP20_TRANSFERPARM transfer{scratch, block->stored_size};
  const uint32_t read = GU2_DoMethod_MSG(AP20_MSG_READ, block->file, &transfer);
  if (read != block->stored_size || ap2_BeginChange_OBJ(reinterpret_cast<AP2_OBJECT*>(part->head.parent)) == 0) {
    GU3_FreePointer(scratch);
    return 0;
  }
  for (uint16_t index = 0; index < part->table->count; ++index) {
    const AP13_PARMENTRY& row = part->table->rows[index];
    const uint32_t end = row.offset + row.size;
    if (!ap13b_kept_in_files(row.type) || end > block->block_size || row.size > AP13_LARGEST_VALUE) continue;
    if (end > block->stored_size) {
      ap13_ResetParm_PARAMS(part, index);
    } else if (ap13b_stored_value_valid(part, index, scratch + row.offset)) {
      std::memcpy(part->data + row.offset, scratch + row.offset, row.size);
    }
  }
  // The whole block changed: the notice names no one parameter.
  ap13_end_change(part, static_cast<uint16_t>(-1));
  GU3_FreePointer(scratch);
  return read;
}

// A validation changes nothing and its outcome is not told: the answer is
// all there is.
uint32_t ap13_ValidateEach_PARAMS(AP13_PARAMS* part) { return ap13_is_part(part) ? 1 : 0; }
