// Windows-1252 and UTF-8 conversions to and from UTF-16.
#include "platform/codepage.h"

#include <cctype>
#include <string>

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; the five unassigned
// bytes map to the C1 controls of the same value.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t unit_from_1252(unsigned char byte) {
  return byte >= 0x80 && byte <= 0x9F ? kHighControls[byte - 0x80] : static_cast<char16_t>(byte);
}

// The 1252 byte of a UTF-16 unit, or -1 when it has none.
int byte_from_unit(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return unit;
  for (int i = 0; i < 32; ++i) {
    if (kHighControls[i] == unit) return 0x80 + i;
  }
  return -1;
}

void append_utf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[*at]; a malformed one gives U+FFFD and
// consumes one byte.
char32_t decode_utf8(const unsigned char* text, int length, int* at) {
  const unsigned char lead = text[*at];
  if (lead < 0x80) {
    ++*at;
    return lead;
  }
  const int extra = lead >= 0xF0 && lead <= 0xF4 ? 3 : lead >= 0xE0 && lead < 0xF0 ? 2 : lead >= 0xC2 && lead < 0xE0 ? 1 : -1;
  if (extra < 0 || *at + extra >= length) {
    ++*at;
    return 0xFFFD;
  }
  char32_t code = lead & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    const unsigned char next = text[*at + i];
    if ((next & 0xC0) != 0x80) {
      ++*at;
      return 0xFFFD;
    }
    code = (code << 6) | (next & 0x3F);
  }
  static constexpr char32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};  // overlong forms are malformed
  if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    ++*at;
    return 0xFFFD;
  }
  *at += extra + 1;
  return code;
}

int source_units(const char* text, int length) {
  if (length >= 0) return length;
  int count = 0;
  while (text[count] != '\0') ++count;
  return count + 1;
}

int source_units(const char16_t* text, int length) {
  if (length >= 0) return length;
  int count = 0;
  while (text[count] != u'\0') ++count;
  return count + 1;
}

template <typename Unit>
int deliver(const std::basic_string<Unit>& converted, Unit* destination, int destination_size) {
  const int needed = static_cast<int>(converted.size());
  if (destination_size == 0) return needed;
  if (destination == nullptr || destination_size < needed) return 0;
  for (int i = 0; i < needed; ++i) destination[i] = converted[i];
  return needed;
}

bool is_1252(UINT code_page) { return code_page == CP_ACP || code_page == CP_WINDOWS_1252; }

}  // namespace

int MultiByteToWideChar(UINT code_page, DWORD, LPCSTR source, int source_length, LPWSTR destination,
                        int destination_size) {
  if (source == nullptr || destination_size < 0 || (!is_1252(code_page) && code_page != CP_UTF8)) return 0;
  const int length = source_units(source, source_length);
  const auto* bytes = reinterpret_cast<const unsigned char*>(source);
  std::u16string converted;
  converted.reserve(static_cast<size_t>(length));
  if (is_1252(code_page)) {
    for (int i = 0; i < length; ++i) converted += unit_from_1252(bytes[i]);
  } else {
    for (int at = 0; at < length;) {
      const char32_t code = decode_utf8(bytes, length, &at);
      if (code >= 0x10000) {
        converted += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
        converted += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
      } else {
        converted += static_cast<char16_t>(code);
      }
    }
  }
  return deliver(converted, destination, destination_size);
}

int WideCharToMultiByte(UINT code_page, DWORD, LPCWSTR source, int source_length, LPSTR destination,
                        int destination_size, LPCSTR default_char, BOOL* used_default) {
  if (used_default != nullptr) *used_default = FALSE;
  if (source == nullptr || destination_size < 0 || (!is_1252(code_page) && code_page != CP_UTF8)) return 0;
  const int length = source_units(source, source_length);
  std::string converted;
  converted.reserve(static_cast<size_t>(length));
  for (int i = 0; i < length; ++i) {
    char32_t code = source[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < length && source[i + 1] >= 0xDC00 && source[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (source[i + 1] - 0xDC00);
      ++i;
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;  // a lone surrogate
    }
    if (code_page == CP_UTF8) {
      append_utf8(converted, code);
      continue;
    }
    const int byte = code < 0x10000 ? byte_from_unit(static_cast<char16_t>(code)) : -1;
    if (byte >= 0) {
      converted += static_cast<char>(byte);
    } else {
      converted += default_char != nullptr ? *default_char : '?';
      if (used_default != nullptr) *used_default = TRUE;
    }
  }
  return deliver(converted, destination, destination_size);
}

int _stricmp(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const int x = std::tolower(static_cast<unsigned char>(*a));
    const int y = std::tolower(static_cast<unsigned char>(*b));
    if (x != y || x == 0) return x - y;
  }
}

LPSTR CharNextA(LPCSTR text) {
  if (text == nullptr) return nullptr;
  return const_cast<LPSTR>(*text != '\0' ? text + 1 : text);
}

LPSTR CharPrevA(LPCSTR start, LPCSTR current) {
  if (start == nullptr || current == nullptr) return nullptr;
  return const_cast<LPSTR>(current > start ? current - 1 : start);
}

BOOL IsDBCSLeadByte(BYTE) { return FALSE; }

LPSTR CharUpperA(LPSTR text) {
  if (text == nullptr) return nullptr;
  for (char* c = text; *c != '\0'; ++c) *c = static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
  return text;
}
