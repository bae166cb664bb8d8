// The text form of an array in an open file object, and the comparison of an
// array with a stored reference for regression checks.
//
// The text is a line break, the line "rows,columns", then one line per row of
// "%e" values separated by commas, "#VALUE!" for a missing value. The reader
// takes what the writer gives and refuses anything else whole: a token or
// line over the token limit, a row longer or shorter than the header says,
// a value that is not a number, or a header that announces more values than
// the rest of the file can hold; the file's position is then put back and no
// array is made.
//
// AP4_Dispatcher_ARRAY calls these for messages 91 to 93. The comparison owns
// the array it is sent to and deletes it before it answers, on every path, so
// that a caller never has to guess; a reference read from text is its own and
// deleted too, a reference given as an array stays the caller's.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "array/array.h"
#include "files/files.h"
#include "util/util.h"

namespace {

// The longest token the reader takes, its delimiter included.
constexpr int16_t kTokenLimit = 150;
constexpr char kMissingText[] = "#VALUE!";
constexpr char kLineEnd[] = "\r\n";
// The least a value takes in the text: one character and its delimiter.
constexpr uint64_t kLeastBytesPerValue = 2;
// The largest difference two arrays may show and still compare equal.
constexpr double kTolerance = 5e-05;

bool ap4c_write_text(void* file, const std::string& text) {
  return ap20_Write(file, text.data(), static_cast<uint32_t>(text.size())) == text.size();
}

// A token ended by one of the delimiters, its CR dropped; false when none
// ends within the limit.
bool ap4c_read_token(void* file, const char* delimiters, char (&token)[kTokenLimit]) {
  return ap20_GetFileName(file, delimiters, kTokenLimit, token) != 0;
}

// A count of the header: blanks, then decimal digits, as a positive 32-bit
// value; `text` moves past it.
bool ap4c_parse_count(const char*& text, int32_t* count) {
  while (*text == ' ' || *text == '\t') ++text;
  int64_t value = 0;
  const char* digits = text;
  for (; *text >= '0' && *text <= '9'; ++text) {
    value = value * 10 + (*text - '0');
    if (value > INT32_MAX) return false;
  }
  if (text == digits || value == 0) return false;
  *count = static_cast<int32_t>(value);
  return true;
}

bool ap4c_parse_header(const char* line, int32_t* rows, int32_t* columns) {
  if (!ap4c_parse_count(line, rows) || *line++ != ',' || !ap4c_parse_count(line, columns)) return false;
  while (*line == ' ' || *line == '\t') ++line;
  return *line == '\0';
}

// A value token: the missing value when it starts with '#', else a decimal
// number that fills the token but for blanks around it.
bool ap4c_parse_value(const char* token, float* value) {
  if (token[0] == '#') {
    *value = AP1_GetNaNSG_MATH();
    return true;
  }
  char* end = nullptr;
  const double number = std::strtod(token, &end);
  if (end == token) return false;
  while (*end == ' ' || *end == '\t') ++end;
  if (*end != '\0') return false;
  *value = static_cast<float>(number);
  return true;
}

// The values of one row into `out`: every value but the last ended by a
// comma within the line, the last by the line end with no comma in it.
bool ap4c_read_row(void* file, uint32_t columns, float* out) {
  char token[kTokenLimit];
  for (uint32_t column = 0; column < columns; ++column) {
    const bool last = column + 1 == columns;
    if (!ap4c_read_token(file, last ? "\n" : ",", token)) return false;
    if (std::strpbrk(token, last ? ",\r" : "\r\n") != nullptr) return false;
    if (!ap4c_parse_value(token, out++)) return false;
  }
  return true;
}

// The array the text at the file's position describes, or null.
AP4_ARRAY* ap4c_read_array(void* file) {
  char line[kTokenLimit];
  if (!ap4c_read_token(file, "\n", line)) return nullptr;
  // The text starts with a line break before its header.
  if (line[0] == '\0' && !ap4c_read_token(file, "\n", line)) return nullptr;
  int32_t rows = 0;
  int32_t columns = 0;
  if (!ap4c_parse_header(line, &rows, &columns)) return nullptr;
  AP20_FILE* part = ap20_file(file);
  const uint32_t size = ap20_GetFileSize(part);
  const uint32_t position = ap20_GetPosition(part);
  if (size == 0xFFFFFFFF || position == 0xFFFFFFFF || position > size) return nullptr;
  if (uint64_t{static_cast<uint32_t>(rows)} * static_cast<uint32_t>(columns) * kLeastBytesPerValue >
      size - position)
    return nullptr;
  ap4a_new_array array(ap4a_New(AP4_CLASS_ID, static_cast<uint32_t>(rows), static_cast<uint32_t>(columns), nullptr));
  float* values = ap4a_GetDataAddress(array.get());
  if (values == nullptr) return nullptr;
  for (int32_t row = 0; row < rows; ++row, values += columns)
    if (!ap4c_read_row(file, static_cast<uint32_t>(columns), values)) return nullptr;
  return array.release();
}

}  // namespace

uint16_t ap4c_WriteText(const AP4_ARRAY* array, void* file) {
  if (!ap4a_is_array(array) || !ap20_IsOpen(file)) return 0;
  if (array->data == nullptr) return 1;
  const float* values = ap4a_GetDataAddress(array);
  if (values == nullptr) return 0;
  const uint32_t rows = array->rows;
  const uint32_t columns = array->columns;
  if (!ap4c_write_text(file, kLineEnd + std::to_string(static_cast<int32_t>(rows)) + "," +
                                 std::to_string(static_cast<int32_t>(columns)) + kLineEnd))
    return 0;
  std::string line;
  char number[GU4_EXPONENT_TEXT_SIZE];
  for (uint32_t row = 0; row < rows; ++row) {
    line.clear();
    for (uint32_t column = 0; column < columns; ++column) {
      const float value = *values++;
      if (ap1_is_missing(value)) {
        line += kMissingText;
      } else {
        gu4_FormatExponent(value, number);
        line += number;
      }
      line += column + 1 < columns ? "," : kLineEnd;
    }
    if (!ap4c_write_text(file, line)) return 0;
  }
  return 1;
}

AP4_ARRAY* ap4c_ReadText(uint16_t class_id, void* file) {
  if (class_id != AP4_CLASS_ID || !ap20_IsOpen(file)) return nullptr;
  AP20_FILE* part = ap20_file(file);
  const uint32_t start = ap20_GetPosition(part);
  if (start == 0xFFFFFFFF) return nullptr;
  AP4_ARRAY* array = ap4c_read_array(file);
  if (array == nullptr) ap20_Seek(part, static_cast<int32_t>(start), FILE_BEGIN);
  return array;
}

uint16_t ap4c_CompareWithStored(AP4_ARRAY* array, void* reference, int16_t* error_count, void* report,
                                const char* name) {
  if (!ap4a_is_array(array)) return 0;
  const ap4a_new_array compared(array);
  if (reference == nullptr || error_count == nullptr || report == nullptr || name == nullptr) return 0;
  if (!ap20_IsOpen(report)) return 0;
  const bool given = ap4a_is_array(reference);
  const ap4a_new_array read(!given && gu2_ClassIdOf(reference) == AP20_CLASS_ID
                                ? ap4c_ReadText(AP4_CLASS_ID, reference)
                                : nullptr);
  const AP4_ARRAY* stored = given ? static_cast<const AP4_ARRAY*>(reference) : read.get();
  constexpr AP4_RANGE whole = AP4_WHOLE_RANGE;
  const ap4a_new_array difference(stored != nullptr ? ap4a_SubtractArrays(array, whole, stored, whole) : nullptr);
  if (difference.get() == nullptr) {
    ++*error_count;
    GU5_Message(("\tUnable to perform comparison for " + std::string(name)).c_str());
    return 0;
  }
  float low = 0.0f;
  float high = 0.0f;
  ap4a_MinMax(difference.get(), whole, &low, &high);
  if (!(std::fabs(low) > kTolerance) && !(std::fabs(high) > kTolerance)) return 1;
  ap20_Write(report, name, static_cast<uint32_t>(std::strlen(name)));
  ap4c_WriteText(array, report);
  ++*error_count;
  GU5_Message(("\tError on " + std::string(name)).c_str());
  return 0;
}
