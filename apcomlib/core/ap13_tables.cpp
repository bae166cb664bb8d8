// Parameter tables: the rows and limits records that describe a parameter
// set, the text form of each value type (formatting and parsing) and the
// validation of a value against its row.
//
// Owns the shared storage that a parse hands its value back in. The class
// and its messages (ap13.cpp, ap13_bulk.cpp) reach every value through these
// functions; the parameter-set classes (spectral header, title,
// quality-check settings and results) build their tables in the form
// declared in core.h.
#include <cerrno>
#include <cstdarg>
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "array/array.h"
#include "core/core.h"
#include "platform/codepage.h"
#include "platform/memory.h"
#include "util/util.h"

namespace {

// Shown where no module has the association text 9999/0.
constexpr char kNotGivenFallback[] = "N/A";
// Type 4's reserved value: what a not-given float becomes as an integer.
constexpr int32_t kLongNotGiven = INT32_MIN;
constexpr uint32_t kDWordNotGiven = 0xFFFFFFFF;
// Colour references of the window system carry this flag above blue.
constexpr uint32_t kColourFlag = 0x02000000;

// The value a parse hands back, one slot per type it reads.
union ParsedValue {
  int16_t i16;
  uint16_t u16;
  int32_t i32;
  uint32_t u32;
  float f32;
  double f64;
};
ParsedValue g_parsed;

bool ap13a_is_integer_type(uint16_t type) {
  return (type >= AP13_TYPE_INT && type <= AP13_TYPE_DWORD) || type == AP13_TYPE_ADDR || type == AP13_TYPE_WINID ||
         (type >= AP13_TYPE_COLOR && type <= AP13_TYPE_GU3MEMDWORDADDR && type != AP13_TYPE_OWNEDTEXT);
}

// A number written in a type's width.
template <typename T>
bool ap13a_put(int64_t number, void* out) {
  const T value = static_cast<T>(number);
  std::memcpy(out, &value, sizeof value);
  return true;
}

bool ap13a_tolerantly_equal(double a, double b, uint16_t type) {
  return type == AP13_TYPE_SINGLE ? AP1_KovFloatCompareSG_MATH(static_cast<float>(a), static_cast<float>(b)) != 0
                                  : AP1_KovFloatCompareDB_MATH(a, b) != 0;
}

// Zero within the rounding that the values of a step test carry. A relative
// compare with 0 holds only for 0 itself, so it would refuse every value on
// a grid whose step has no exact binary form (0.1); the tolerance is taken
// from the largest magnitude that entered the remainder.
bool ap13a_negligible(double x, double scale, uint16_t type) {
  const double tolerance = type == AP13_TYPE_SINGLE ? std::ldexp(1.0, -20) : std::ldexp(1.0, -47);
  return std::fabs(x) <= tolerance * scale;
}

bool ap13a_valid_integer(int64_t v, uint16_t type, uint16_t kind, const uint8_t* limits) {
  const uint32_t width = ap13_limit_width(type);
  switch (kind) {
    case AP13_LIMITS_NONE:
    case AP13_LIMITS_FREE:
    case AP13_LIMITS_CHOICE: return true;
    default: break;
  }
  if (limits == nullptr) return false;
  const int64_t first = ap13_integer_at(limits, type);
  switch (kind) {
    case AP13_LIMITS_STEP: {
      const int64_t max = ap13_integer_at(limits + width, type);
      const int64_t step = ap13_integer_at(limits + 2 * width, type);
      return first <= v && v <= max && step != 0 && (v - first) % step == 0;
    }
    case AP13_LIMITS_LIST: {
      const uint16_t n = ap13_load<uint16_t>(limits);
      for (uint16_t i = 0; i < n; ++i) {
        if (ap13_integer_at(limits + 2 + i * width, type) == v) return true;
      }
      return false;
    }
    case AP13_LIMITS_MASK: return (v & first) == v;
    case AP13_LIMITS_RANGE: return first <= v && v <= ap13_integer_at(limits + width, type);
    default: return false;
  }
}

bool ap13a_is_missing(const void* value, uint16_t type) {
  return type == AP13_TYPE_SINGLE ? ap1_is_missing(ap13_load<float>(value)) : ap1_is_missing_db(ap13_load<double>(value));
}

bool ap13a_valid_float(const void* value, uint16_t type, uint16_t kind, const uint8_t* limits) {
  if (kind == AP13_LIMITS_NONE || kind == AP13_LIMITS_FREE) return true;
  if (limits == nullptr) return false;
  const double v = ap13_float_at(value, type);
  const bool missing = ap13a_is_missing(value, type);
  const uint32_t width = ap13_limit_width(type);
  const double first = ap13_float_at(limits, type);
  switch (kind) {
    case AP13_LIMITS_STEP: {
      const double max = ap13_float_at(limits + width, type);
      const double step = std::fabs(ap13_float_at(limits + 2 * width, type));
      if (missing || first > v || max < v) return false;
      const double scale = std::fmax(std::fmax(std::fabs(v), std::fabs(first)), step);
      if (ap13a_negligible(step, scale, type)) return false;
      const double r = ap13a_negligible(v - first, scale, type) ? 0.0 : std::fmod(v - first, step);
      return ap13a_negligible(r, scale, type) || ap13a_negligible(step - r, scale, type);
    }
    case AP13_LIMITS_LIST: {
      const uint16_t n = ap13_load<uint16_t>(limits);
      for (uint16_t i = 0; i < n; ++i) {
        if (ap13a_tolerantly_equal(v, ap13_float_at(limits + 2 + i * width, type), type)) return true;
      }
      return false;
    }
    case AP13_LIMITS_RANGE: {
      const double max = ap13_float_at(limits + width, type);
      if (missing) return false;
      return (first < v || ap13a_tolerantly_equal(first, v, type)) && (v < max || ap13a_tolerantly_equal(v, max, type));
    }
    default: return false;
  }
}

bool ap13a_valid(const AP13_PARAMS* part, uint16_t index, const void* value) {
  const AP13_PARMENTRY* row = ap13_row(part, index);
  const uint8_t* limits = ap13_limits_record(part, index);
  const uint16_t type = row->type;
  if (type == AP13_TYPE_STRING || type == AP13_TYPE_PSTR) {
    // Only as far as the row's size is looked at: a longer text is invalid.
    return value == nullptr || strnlen(static_cast<const char*>(value), row->size + 1u) <= row->size;
  }
  if (type == AP13_TYPE_LLIST || type == AP13_TYPE_CARRAY) return true;
  if (type == AP13_TYPE_OWNEDTEXT) {
    // A text has no numeric limits to be held to.
    return row->limits == AP13_LIMITS_NONE || row->limits == AP13_LIMITS_FREE || row->limits == AP13_LIMITS_CHOICE;
  }
  if (IsBadReadPtr(value, ap13_limit_width(type))) return false;
  if (type == AP13_TYPE_BOOL) {
    const int16_t flag = ap13_load<int16_t>(value);
    return flag == 0 || flag == 1;
  }
  if (type == AP13_TYPE_SINGLE || type == AP13_TYPE_DOUBLE)
    return ap13a_valid_float(value, type, row->limits, limits);
  if (ap13a_is_integer_type(type)) return ap13a_valid_integer(ap13_integer_at(value, type), type, row->limits, limits);
  return false;
}

// ---------------------------------------------------------------------------
// Formatting

// Puts a finished text into the caller's buffer: when not in free form it
// must not be longer than the width; then the buffer must take it.
int16_t ap13a_place(const char* text, size_t length, bool free_form, int16_t width, char* buffer,
                    uint32_t buffer_size) {
  if ((!free_form && length > static_cast<size_t>(width)) ||
      !ap13_buffer_takes(buffer, static_cast<uint32_t>(length) + 1, buffer_size))
    return 0;
  std::memmove(buffer, text, length);
  buffer[length] = '\0';
  // The left-justified numbers come padded to the width: the cut removes the
  // blanks, keeping at least two characters.
  while (length > 2 && buffer[length - 1] == ' ') buffer[--length] = '\0';
  return 1;
}

int16_t ap13a_place_text(const char* text, bool free_form, int16_t width, char* buffer, uint32_t buffer_size) {
  return ap13a_place(text, std::strlen(text), free_form, width, buffer, buffer_size);
}

// A number printed with a format whose width comes first.
int16_t ap13a_place_number(bool free_form, int16_t width, char* buffer, uint32_t buffer_size, const char* format,
                           ...) __attribute__((format(printf, 5, 6)));

int16_t ap13a_place_number(bool free_form, int16_t width, char* buffer, uint32_t buffer_size, const char* format,
                           ...) {
  char printed[AP13_LARGEST_VALUE];
  va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(printed, sizeof printed, format, arguments);
  va_end(arguments);
  if (length < 0 || (!free_form && length > width)) return 0;
  GUX_ChangeUSDecimalToInternat(printed);
  return ap13a_place(printed, std::strlen(printed), free_form, width, buffer, buffer_size);
}

// Types 8 and 9 (a terminated text by now): in free form the whole text;
// otherwise at most width characters, written even when the text is longer,
// which fails.
int16_t ap13a_format_text(const char* text, bool free_form, int16_t width, char* buffer, uint32_t buffer_size) {
  const size_t length = std::strlen(text);
  if (free_form) return ap13a_place(text, length, true, width, buffer, buffer_size);
  const size_t kept = length < static_cast<size_t>(width) ? length : static_cast<size_t>(width);
  if (ap13a_place(text, kept, false, width, buffer, buffer_size) == 0) return 0;
  return length <= static_cast<size_t>(width) ? 1 : 0;
}

// Types 12 and 13: width raw bytes, no text.
int16_t ap13a_format_bytes(const void* value, int16_t width, char* buffer, uint32_t buffer_size) {
  const uint32_t bytes = width > 0 ? static_cast<uint32_t>(width) : 0;
  if (!ap13_buffer_takes(buffer, bytes, buffer_size)) return 0;
  std::memmove(buffer, value, bytes);
  return 1;
}

// ---------------------------------------------------------------------------
// Parsing

bool ap13a_blank_rest(const char* p) {
  while (*p == ' ' || *p == '\t') ++p;
  return *p == '\0';
}

// An integer text of an accepted class, read whole: a text that the
// conversion does not take to its end ("1,000") is no number.
bool ap13a_read_integer(const char* text, bool signed_allowed, int64_t low, int64_t high, int64_t* out) {
  const int16_t kind = GU4_IsNumber(text);
  if (kind != GU4_UNSIGNED_INTEGER && !(signed_allowed && kind == GU4_SIGNED_INTEGER)) return false;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || !ap13a_blank_rest(end) || value < low || value > high) return false;
  *out = value;
  return true;
}

// A number of any class in the library's notation, read whole, rounded
// once to the type's precision; an overflow is refused.
bool ap13a_read_float(const char* text, uint16_t type, double* out) {
  if (GU4_IsNumber(text) == GU4_NOT_A_NUMBER || std::strlen(text) >= AP13_LARGEST_VALUE) return false;
  char copy[AP13_LARGEST_VALUE];
  std::strcpy(copy, text);
  GUX_ChangeInternatDecimalToUS(copy);
  char* end = nullptr;
  const double value = type == AP13_TYPE_SINGLE ? std::strtof(copy, &end) : std::strtod(copy, &end);
  if (end == copy || !ap13a_blank_rest(end) || std::isinf(value)) return false;
  *out = value;
  return true;
}

// Red, green and blue, each 0 to 255, split at "," or a newline.
bool ap13a_read_colour(const char* text, uint32_t* out) {
  if (std::strlen(text) >= AP13_LARGEST_VALUE) return false;
  char copy[AP13_LARGEST_VALUE];
  std::strcpy(copy, text);
  uint32_t colour = kColourFlag;
  char* field = copy;
  for (int part = 0; part < 3; ++part) {
    char* end = field + std::strcspn(field, ",\n");
    const bool last = part == 2;
    if ((*end == '\0') != last) return false;
    *end = '\0';
    int64_t level;
    if (!ap13a_read_integer(field, false, 0, 255, &level)) return false;
    colour |= static_cast<uint32_t>(level) << (8 * part);
    field = end + 1;
  }
  *out = colour;
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// Rows and records

// Width of the numbers of the type's limits records (and of the value the
// validation reads).
uint32_t ap13_limit_width(uint16_t type) {
  switch (type) {
    case AP13_TYPE_BOOL:
    case AP13_TYPE_INT:
    case AP13_TYPE_WORD:
    case AP13_TYPE_WINID: return 2;
    case AP13_TYPE_DOUBLE: return 8;
    default: return 4;
  }
}

// An integer of the type's width and sign (type 11 reads its low 16 bits).
int64_t ap13_integer_at(const void* at, uint16_t type) {
  switch (type) {
    case AP13_TYPE_BOOL:
    case AP13_TYPE_INT: return ap13_load<int16_t>(at);
    case AP13_TYPE_WORD:
    case AP13_TYPE_WINID: return ap13_load<uint16_t>(at);
    case AP13_TYPE_LONG: return ap13_load<int32_t>(at);
    default: return ap13_load<uint32_t>(at);
  }
}

double ap13_float_at(const void* at, uint16_t type) {
  return type == AP13_TYPE_SINGLE ? ap13_load<float>(at) : ap13_load<double>(at);
}

bool ap13_store_number(int64_t number, uint16_t type, void* out) {
  switch (type) {
    case AP13_TYPE_INT: return ap13a_put<int16_t>(number, out);
    case AP13_TYPE_WORD:
    case AP13_TYPE_WINID: return ap13a_put<uint16_t>(number, out);
    case AP13_TYPE_LONG: return ap13a_put<int32_t>(number, out);
    default: return ap13a_is_integer_type(type) && ap13a_put<uint32_t>(number, out);
  }
}

bool ap13_is_part(const AP13_PARAMS* part) {
  return !IsBadReadPtr(part, sizeof(AP13_PARAMS)) && part->head.class_id == AP13_CLASS_ID;
}

const AP13_PARMENTRY* ap13_row(const AP13_PARAMS* part, uint16_t index) {
  if (part->table == nullptr || index >= part->table->count) return nullptr;
  return &part->table->rows[index];
}

const uint8_t* ap13_limits_record(const AP13_PARAMS* part, uint16_t index) {
  if (ap13_row(part, index) == nullptr) return nullptr;
  return static_cast<const uint8_t*>(AP13_TableLimits(part->table)[index]);
}

uint8_t* ap13_GetValuePtr_PARAMS(const AP13_PARAMS* part, uint16_t index) {
  if (!ap13_is_part(part) || part->data == nullptr) return nullptr;
  const AP13_PARMENTRY* row = ap13_row(part, index);
  return row != nullptr ? part->data + row->offset : nullptr;
}

const char* ap13_not_given_text() {
  const char* text = GU4_GetAssocString(AP13_GROUP_NOT_GIVEN, 0, nullptr, nullptr);
  return text != nullptr ? text : kNotGivenFallback;
}

bool ap13_buffer_takes(void* buffer, uint32_t bytes, uint32_t buffer_size) {
  return buffer != nullptr && (buffer_size == 0 || bytes <= buffer_size) && GU3_VerifyStringSize(buffer, bytes) != 0 &&
         !IsBadWritePtr(buffer, bytes);
}

uint16_t ap13_copy_text(char* buffer, const char* text, uint32_t buffer_size) {
  const uint32_t bytes = static_cast<uint32_t>(std::strlen(text)) + 1;
  if (!ap13_buffer_takes(buffer, bytes, buffer_size)) return 0;
  std::memmove(buffer, text, bytes);
  return 1;
}

uint16_t ap13_CToPascal_PARAMS(const char* text, uint8_t* out, uint32_t capacity) {
  if (text == nullptr || out == nullptr || capacity == 0) return 0;
  size_t length = strnlen(text, UINT8_MAX);
  if (length > capacity - 1) length = capacity - 1;
  out[0] = static_cast<uint8_t>(length);
  std::memcpy(out + 1, text, length);
  return 1;
}

uint16_t ap13_PascalToC_PARAMS(const uint8_t* pascal, char* out, uint32_t capacity) {
  if (pascal == nullptr || out == nullptr || capacity == 0) return 0;
  uint32_t length = pascal[0];
  if (length > capacity - 1) length = capacity - 1;
  std::memmove(out, pascal + 1, length);
  out[length] = '\0';
  return 1;
}

// ---------------------------------------------------------------------------
// Text forms

int16_t ap13_FormatValue_PARAMS(const void* value, uint16_t type, int16_t width, int16_t precision, char* buffer,
                                uint32_t buffer_size) {
  if (value == nullptr || buffer == nullptr) return 0;
  const bool free_form = precision == -1 || (width == -1 && precision == 0);
  if (free_form || width < 0) width = 0;
  if (precision < 0) precision = 0;
  const char* not_given = ap13_not_given_text();
  switch (type) {
    case AP13_TYPE_BOOL: {
      if (!ap13_buffer_takes(buffer, AP13_BOOL_TEXT_BYTES, buffer_size)) return 0;
      return ap13_copy_text(buffer, ap13_load<int16_t>(value) != 0 ? "TRUE" : "FALSE", buffer_size);
    }
    case AP13_TYPE_INT:
      return ap13a_place_number(free_form, width, buffer, buffer_size, "%-*d", width, ap13_load<int16_t>(value));
    case AP13_TYPE_WORD:
    case AP13_TYPE_WINID:
      return ap13a_place_number(free_form, width, buffer, buffer_size, "%-*u", width,
                                static_cast<unsigned>(ap13_load<uint16_t>(value)));
    case AP13_TYPE_LONG: {
      const int32_t number = ap13_load<int32_t>(value);
      if (number == kLongNotGiven) return ap13a_place_text(not_given, free_form, width, buffer, buffer_size);
      return ap13a_place_number(free_form, width, buffer, buffer_size, "%-*" PRId32, width, number);
    }
    case AP13_TYPE_DWORD:
    case AP13_TYPE_ADDR:
    case AP13_TYPE_AP4ADDR: {
      const uint32_t number = ap13_load<uint32_t>(value);
      if (number == kDWordNotGiven) return ap13a_place_text(not_given, free_form, width, buffer, buffer_size);
      return ap13a_place_number(free_form, width, buffer, buffer_size, "%-*" PRIu32, width, number);
    }
    case AP13_TYPE_SINGLE:
    case AP13_TYPE_DOUBLE: {
      const double number = ap13_float_at(value, type);
      if (ap13a_is_missing(value, type)) return ap13a_place_text(not_given, free_form, width, buffer, buffer_size);
      if (free_form) return ap13a_place_number(true, 0, buffer, buffer_size, "%f", number);
      return ap13a_place_number(false, width, buffer, buffer_size, "%-*.*f", width, precision, number);
    }
    case AP13_TYPE_STRING:
    case AP13_TYPE_PSTR: return ap13a_format_text(static_cast<const char*>(value), free_form, width, buffer, buffer_size);
    case AP13_TYPE_LLIST:
    case AP13_TYPE_CARRAY: return ap13a_format_bytes(value, width, buffer, buffer_size);
    case AP13_TYPE_COLOR: {
      const uint32_t colour = ap13_load<uint32_t>(value);
      return ap13a_place_number(free_form, width, buffer, buffer_size, "%d,%d,%d", static_cast<int>(colour & 0xFF),
                                static_cast<int>((colour >> 8) & 0xFF), static_cast<int>((colour >> 16) & 0xFF));
    }
    default: return 0;
  }
}

int16_t ap13_ParseValue_PARAMS(const char* text, uint16_t type, const void** value) {
  if (text == nullptr || value == nullptr) return 0;
  int64_t integer = 0;
  double number = 0.0;
  switch (type) {
    case AP13_TYPE_BOOL:
      if (_stricmp(text, "TRUE") != 0 && _stricmp(text, "FALSE") != 0) return 0;
      g_parsed.i16 = _stricmp(text, "TRUE") == 0 ? 1 : 0;
      break;
    case AP13_TYPE_INT:
      if (!ap13a_read_integer(text, true, INT16_MIN, INT16_MAX, &integer)) return 0;
      g_parsed.i16 = static_cast<int16_t>(integer);
      break;
    case AP13_TYPE_WORD:
      if (!ap13a_read_integer(text, false, 0, UINT16_MAX, &integer)) return 0;
      g_parsed.u16 = static_cast<uint16_t>(integer);
      break;
    case AP13_TYPE_LONG:
      if (!ap13a_read_integer(text, true, INT32_MIN, INT32_MAX, &integer)) return 0;
      g_parsed.i32 = static_cast<int32_t>(integer);
      break;
    case AP13_TYPE_SINGLE:
      if (!ap13a_read_float(text, type, &number)) return 0;
      g_parsed.f32 = static_cast<float>(number);
      break;
    case AP13_TYPE_DOUBLE:
      if (!ap13a_read_float(text, type, &number)) return 0;
      g_parsed.f64 = number;
      break;
    case AP13_TYPE_STRING:
    case AP13_TYPE_PSTR:
    case AP13_TYPE_LLIST:
    case AP13_TYPE_CARRAY: *value = text; return 1;
    case AP13_TYPE_COLOR:
      if (!ap13a_read_colour(text, &g_parsed.u32)) return 0;
      break;
    case AP13_TYPE_DWORD:
    case AP13_TYPE_ADDR:
    case AP13_TYPE_WINID:
    case AP13_TYPE_AP4ADDR:
    case AP13_TYPE_STSTRARRAY:
    case AP13_TYPE_GU3MEMFLOATADDR:
    case AP13_TYPE_GU3MEMBOOLADDR:
    case AP13_TYPE_GU3MEMWORDADDR:
    case AP13_TYPE_GU3MEMLONGADDR:
    case AP13_TYPE_GU3MEMDOUBLEADDR:
    case AP13_TYPE_GU3MEMDWORDADDR:
      if (!ap13a_read_integer(text, false, 0, UINT32_MAX, &integer)) return 0;
      g_parsed.u32 = static_cast<uint32_t>(integer);
      break;
    default: return 0;
  }
  *value = &g_parsed;
  return 1;
}

uint32_t ap13_ValidateParm_PARAMS(AP13_PARAMS* part, uint16_t index, const void* value) {
  if (!ap13_is_part(part)) return 0;
  if (ap13_row(part, index) == nullptr) return AP13_BAD_INDEX;
  return ap13a_valid(part, index, value) ? 1 : 0;
}
