// The library's own string helpers: the number classifier that knows the
// international decimal and thousands characters, integer conversions,
// bounded copies and edits, multibyte-aware search and tokenising, and the
// splitter of delimited lines.
//
// Called by the file readers of the exchange formats, the parameter tables,
// the path helpers and the text class. The tokeniser keeps one continuation
// pointer for the whole process and the substring test one stepping mode.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/codepage.h"
#include "util/util.h"

namespace {

char* g_token_continuation = nullptr;

enum class StepMode { Unread, SingleByte, Multibyte };
StepMode g_step_mode = StepMode::Unread;

constexpr size_t kString2IntWorkLength = 127;

bool gu4c_blank(char c) { return c == ' ' || c == '\t'; }

char* gu4c_next(const char* p) { return CharNextA(p); }

// Writes a 32-bit value in a radix of 2 to 36; a negative value is signed
// in radix 10 and taken as unsigned in the others, as the run-time library's
// conversions do. An unknown radix writes an empty text.
char* gu4c_format_integer(int32_t value, char* buffer, int16_t radix) {
  if (buffer == nullptr) return nullptr;
  buffer[0] = '\0';
  if (radix < 2 || radix > 36) return buffer;
  const bool negative = radix == 10 && value < 0;
  uint32_t magnitude = negative ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
  char digits[33];
  int count = 0;
  do {
    const uint32_t digit = magnitude % static_cast<uint32_t>(radix);
    digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
    magnitude /= static_cast<uint32_t>(radix);
  } while (magnitude != 0);
  char* out = buffer;
  if (negative) *out++ = '-';
  while (count > 0) *out++ = digits[--count];
  *out = '\0';
  return buffer;
}

}  // namespace

// ---------------------------------------------------------------------------
// Numbers

APEXPORT int16_t GU4_IsNumber(const char* text) {
  if (text == nullptr) return GU4_NOT_A_NUMBER;
  const char decimal = GUX_GetInternationalChar(GUX_DECIMAL);
  const char thousands = GUX_GetInternationalChar(GUX_THOUSANDS);
  int16_t kind = GU4_NOT_A_NUMBER;
  bool digits = false, blank_after_digits = false, sign = false, mantissa_signed = false;
  for (const char* p = text; *p != '\0'; p = gu4c_next(p)) {
    const char c = *p;
    if (gu4c_blank(c)) {
      if (digits) blank_after_digits = true;
    } else if (c == '+' || c == '-') {
      if (digits || sign) return GU4_NOT_A_NUMBER;
      sign = true;
      if (kind != GU4_EXPONENT_NUMBER) mantissa_signed = true;
    } else if (c >= '0' && c <= '9') {
      if (blank_after_digits) return GU4_NOT_A_NUMBER;
      digits = true;
      if (kind == GU4_NOT_A_NUMBER) kind = GU4_SIGNED_INTEGER;
    } else if (c == 'E' || c == 'e') {
      if (!digits || kind == GU4_EXPONENT_NUMBER) return GU4_NOT_A_NUMBER;
      kind = GU4_EXPONENT_NUMBER;
      digits = blank_after_digits = sign = false;
    } else if (c == decimal || c == '.') {
      if (kind == GU4_DECIMAL_NUMBER || kind == GU4_EXPONENT_NUMBER) return GU4_NOT_A_NUMBER;
      kind = GU4_DECIMAL_NUMBER;
    } else if (c != thousands && c != ',') {
      return GU4_NOT_A_NUMBER;
    }
  }
  if (kind == GU4_EXPONENT_NUMBER && !digits) return GU4_NOT_A_NUMBER;
  if (kind == GU4_SIGNED_INTEGER && !mantissa_signed) return GU4_UNSIGNED_INTEGER;
  return kind;
}

APEXPORT uint16_t GU4_String2Int(const char* text, void* out, uint16_t size) {
  if (text == nullptr || out == nullptr || GU4_IsNumber(text) == GU4_NOT_A_NUMBER) return 0;
  char work[kString2IntWorkLength + 1];
  GU4_Strncpy(work, text, kString2IntWorkLength);
  work[kString2IntWorkLength] = '\0';
  const int32_t value = GU4_atol(work);
  if (size == 2) {
    *static_cast<int16_t*>(out) = static_cast<int16_t>(value);
  } else {
    *static_cast<int32_t*>(out) = value;
  }
  return 1;
}

APEXPORT int32_t GU4_atol(const char* text) {
  return text != nullptr ? static_cast<int32_t>(std::strtol(text, nullptr, 10)) : 0;
}

APEXPORT char* GU4_itoa(int16_t value, char* buffer, int16_t radix) { return gu4c_format_integer(value, buffer, radix); }

APEXPORT char* GU4_ltoa(int32_t value, char* buffer, int16_t radix) { return gu4c_format_integer(value, buffer, radix); }

APEXPORT float GU4_modf(float value, double* integral) {
  double whole = 0.0;
  const double fraction = std::modf(static_cast<double>(value), &whole);
  if (integral != nullptr) *integral = whole;
  return static_cast<float>(fraction);
}

// ---------------------------------------------------------------------------
// Copies and edits

void gu4_FormatExponent(double value, char* out) {
  std::snprintf(out, GU4_EXPONENT_TEXT_SIZE, "%e", value);
  char* exponent = std::strchr(out, 'e');
  if (exponent == nullptr || std::strlen(exponent) != 4) return;
  std::memmove(exponent + 3, exponent + 2, 3);  // the two digits and the NUL
  exponent[2] = '0';
}

APEXPORT char* GU4_Strncpy(char* dest, const char* src, uint32_t n) {
  if (dest == nullptr || src == nullptr) return nullptr;
  uint32_t copied = 0;
  while (copied < n && src[copied] != '\0') {
    dest[copied] = src[copied];
    ++copied;
  }
  if (copied < n) dest[copied] = '\0';
  return dest;
}

// The prefix and a terminator must fit the buffer; `str` is cut to what is
// left of it.
APEXPORT int32_t GU4_Prepend(char* str, const char* prefix, uint32_t size) {
  if (str == nullptr || prefix == nullptr) return 0;
  const size_t prefix_length = std::strlen(prefix);
  if (prefix_length >= size) return 0;
  size_t length = std::strlen(str);
  if (prefix_length + length + 1 > size) {
    length = size - prefix_length - 1;
    str[length] = '\0';
  }
  std::memmove(str + prefix_length, str, length + 1);
  std::memcpy(str, prefix, prefix_length);
  return static_cast<int32_t>(prefix_length + length);
}

APEXPORT int32_t GU4_Strip(char* str, char ch) {
  if (str == nullptr) return 0;
  size_t length = std::strlen(str);
  while (length > 0 && str[length - 1] == ch) str[--length] = '\0';
  return static_cast<int32_t>(length);
}

APEXPORT uint8_t GU4_ASCIIZ2Pascal(const char* src, uint8_t* dest) {
  if (src == nullptr || dest == nullptr) return 0;
  const size_t length = std::strlen(src);
  dest[0] = static_cast<uint8_t>(length % 256);
  std::memcpy(dest + 1, src, length + 1);
  return dest[0];
}

APEXPORT uint8_t GU4_Pascal2ASCIIZ(const uint8_t* src, char* dest) {
  if (src == nullptr || dest == nullptr) return 0;
  std::memcpy(dest, src + 1, src[0]);
  dest[src[0]] = '\0';
  return src[0];
}

APEXPORT uint32_t GU4_CharCount(const char* text) {
  uint32_t count = 0;
  for (const char* p = text; p != nullptr && *p != '\0'; p = gu4c_next(p)) ++count;
  return count;
}

APEXPORT uint16_t GU4_CharWidthInBytes(const char* p) {
  return p != nullptr && IsDBCSLeadByte(static_cast<BYTE>(*p)) ? 2 : 1;
}

// ---------------------------------------------------------------------------
// Search

APEXPORT char* GU4_StrChr(const char* text, int ch) {
  if (text == nullptr) return nullptr;
  const char wanted = static_cast<char>(ch);
  const char* p = text;
  while (*p != '\0' && *p != wanted) p = gu4c_next(p);
  return *p == wanted ? const_cast<char*>(p) : nullptr;
}

APEXPORT char* GU4_StrPbrk(const char* text, const char* set) {
  if (text == nullptr || set == nullptr) return nullptr;
  for (const char* p = text; *p != '\0'; p = gu4c_next(p)) {
    if (std::strchr(set, *p) != nullptr) return const_cast<char*>(p);
  }
  return nullptr;
}

APEXPORT uint32_t GU4_strspn(const char* text, const char* set) {
  if (text == nullptr || set == nullptr) return 0;
  const char* p = text;
  while (*p != '\0' && std::strchr(set, *p) != nullptr) p = gu4c_next(p);
  return static_cast<uint32_t>(p - text);
}

APEXPORT uint16_t GU4_StrStr(const char* text, const char* part) {
  if (text == nullptr || part == nullptr) return 0;
  if (g_step_mode == StepMode::Unread) {
    const int32_t char_set = GU6_GetConfigInt("CustomerInfo", "CharSet", 0);
    g_step_mode = char_set == 0 || char_set == 1 || char_set == 255 ? StepMode::SingleByte : StepMode::Multibyte;
  }
  const size_t length = std::strlen(part);
  for (const char* p = text;; p = g_step_mode == StepMode::Multibyte ? gu4c_next(p) : p + 1) {
    if (std::strncmp(p, part, length) == 0) return 1;
    if (*p == '\0') return 0;
  }
}

// ---------------------------------------------------------------------------
// Tokens

APEXPORT char* GU4_StrTok(char* text, const char* delimiters) {
  if (delimiters == nullptr) return nullptr;
  char* p = text != nullptr ? text : g_token_continuation;
  if (p == nullptr) return nullptr;
  while (*p != '\0' && std::strchr(delimiters, *p) != nullptr) p = gu4c_next(p);
  if (*p == '\0') {
    g_token_continuation = nullptr;
    return nullptr;
  }
  char* end = GU4_StrPbrk(p, delimiters);
  if (end == nullptr) {
    g_token_continuation = nullptr;
  } else {
    *end = '\0';
    g_token_continuation = end + 1;
  }
  return p;
}

APEXPORT char* GU4_StrTokSafe(char* text, const char* delimiters) {
  if (text != nullptr && GU4_StrPbrk(text, delimiters) == nullptr) return nullptr;
  return GU4_StrTok(text, delimiters);
}

APEXPORT char* GU4_StrnTok(char* text, const char* delimiters, uint32_t n) {
  if (text == nullptr || delimiters == nullptr) return nullptr;
  uint32_t looked = 0;
  // The count is tested first: the n characters need not be terminated.
  for (char* p = text; looked < n && *p != '\0'; p = gu4c_next(p), ++looked) {
    if (std::strchr(delimiters, *p) != nullptr) {
      *p = '\0';
      return text;
    }
  }
  return nullptr;
}

APEXPORT int16_t Parse(const char* line, char** fields, char delimiter) {
  if (line == nullptr || fields == nullptr || fields[0] == nullptr || delimiter == '\0') return 0;
  int16_t count = 0;
  char** field = fields;
  size_t length = 0;
  for (const char* p = SkipLeadingSpaces(line); *p != '\0';) {
    const char* next = gu4c_next(p);
    if (*p != delimiter) {
      while (p < next) (*field)[length++] = *p++;
      continue;
    }
    (*field)[length] = '\0';
    TrimTrailingSpaces(TrimLeadingSpaces(*field));
    ++count;
    if (*++field == nullptr) return count;
    length = 0;
    p = next;
  }
  (*field)[length] = '\0';
  return count;
}

APEXPORT char* SkipLeadingSpaces(const char* text) {
  if (text == nullptr) return nullptr;
  while (*text == ' ') ++text;
  return const_cast<char*>(text);
}

APEXPORT char* TrimLeadingSpaces(char* text) {
  if (text == nullptr) return nullptr;
  const char* start = SkipLeadingSpaces(text);
  std::memmove(text, start, std::strlen(start) + 1);
  return text;
}

APEXPORT char* TrimTrailingSpaces(char* text) {
  GU4_Strip(text, ' ');
  return text;
}
