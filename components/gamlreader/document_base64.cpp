// The base64 decoder of the reader's `values` arrays: standard base64 with
// padding, white space allowed anywhere, decoded straight into the block
// that holds the numbers. Runs of sixteen digits are decoded with SSE2,
// runs of four with one table look-up per digit, and everything else
// (white space, padding, the end, anything malformed) one character at a
// time. Called by the document model (document.cpp).
#include <emmintrin.h>

#include <cstdint>
#include <cstring>

#include "components/gamlreader/document.h"

namespace gamlreader {

namespace {

constexpr signed char kSkip = -2;  // white space between base64 digits
constexpr signed char kPad = -3;
constexpr signed char kBad = -1;

struct Base64Table {
  signed char digit[256];
  constexpr Base64Table() : digit() {
    for (signed char& d : digit) d = kBad;
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i) digit[static_cast<unsigned char>(alphabet[i])] = static_cast<signed char>(i);
    digit[static_cast<unsigned char>(' ')] = digit[static_cast<unsigned char>('\t')] = kSkip;
    digit[static_cast<unsigned char>('\r')] = digit[static_cast<unsigned char>('\n')] = kSkip;
    digit[static_cast<unsigned char>('=')] = kPad;
  }
};
constexpr Base64Table kBase64;

// Writes the three bytes of a 24-bit group, and one more byte that the next
// group overwrites or that lies inside the caller's spare room.
inline void store_group(uint32_t group, unsigned char* out) {
  const uint32_t bytes = __builtin_bswap32(group << 8);
  std::memcpy(out, &bytes, sizeof bytes);
}

// Four digits into three bytes (and one spare); false when any of them is
// not a digit.
inline bool decode_four(const unsigned char* at, unsigned char* out) {
  const int a = kBase64.digit[at[0]], b = kBase64.digit[at[1]], c = kBase64.digit[at[2]], d = kBase64.digit[at[3]];
  if ((a | b | c | d) < 0) return false;
  store_group(uint32_t(a) << 18 | uint32_t(b) << 12 | uint32_t(c) << 6 | uint32_t(d), out);
  return true;
}

// The bytes of `text` that lie in lo..hi, as a mask.
inline __m128i in_range(__m128i text, char lo, char hi) {
  return _mm_and_si128(_mm_cmpgt_epi8(text, _mm_set1_epi8(static_cast<char>(lo - 1))),
                       _mm_cmplt_epi8(text, _mm_set1_epi8(static_cast<char>(hi + 1))));
}

// Sixteen digits into twelve bytes (and one spare); false when any of them
// is not a digit. Bytes of 0x80 and above compare as negative and so fall
// in no range.
inline bool decode_sixteen(const unsigned char* at, unsigned char* out) {
  const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i upper = in_range(text, 'A', 'Z');
  const __m128i lower = in_range(text, 'a', 'z');
  const __m128i digit = in_range(text, '0', '9');
  const __m128i plus = _mm_cmpeq_epi8(text, _mm_set1_epi8('+'));
  const __m128i slash = _mm_cmpeq_epi8(text, _mm_set1_epi8('/'));
  const __m128i valid = _mm_or_si128(_mm_or_si128(upper, lower), _mm_or_si128(_mm_or_si128(digit, plus), slash));
  if (_mm_movemask_epi8(valid) != 0xFFFF) return false;
  // What each character adds to become its digit value.
  const __m128i shift = _mm_or_si128(
      _mm_or_si128(_mm_and_si128(upper, _mm_set1_epi8(-'A')), _mm_and_si128(lower, _mm_set1_epi8(26 - 'a'))),
      _mm_or_si128(_mm_and_si128(digit, _mm_set1_epi8(52 - '0')),
                   _mm_or_si128(_mm_and_si128(plus, _mm_set1_epi8(62 - '+')),
                                _mm_and_si128(slash, _mm_set1_epi8(63 - '/')))));
  const __m128i values = _mm_add_epi8(text, shift);
  // Pairs of 6-bit digits into 12 bits, then pairs of those into 24-bit groups.
  const __m128i pairs = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(values, _mm_set1_epi16(0x00FF)), 6),
                                     _mm_srli_epi16(values, 8));
  const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
  uint32_t lanes[4];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), groups);
  for (int i = 0; i < 4; ++i) store_group(lanes[i], out + 3 * i);
  return true;
}

}  // namespace

bool decode_base64(const char* text, size_t length, unsigned char* out, size_t size) {
  const auto* at = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* const end = at + length;
  unsigned char* const out_end = out + size;
  uint32_t group = 0;
  int digits = 0;
  int pads = 0;
  while (at < end) {
    if (digits == 0 && pads == 0) {  // the common case: digits in a row
      while (end - at >= 16 && out_end - out >= 16 && decode_sixteen(at, out)) {
        at += 16;
        out += 12;
      }
      while (end - at >= 4 && out_end - out >= 4 && decode_four(at, out)) {
        at += 4;
        out += 3;
      }
      if (at == end) break;
    }
    const signed char digit = kBase64.digit[*at++];
    if (digit == kSkip) continue;
    if (digit == kPad) {
      if (digits < 2 || digits + pads >= 4) return false;
      if (digits + ++pads < 4) continue;
      const int bytes = digits - 1;
      if (out_end - out < bytes) return false;
      *out++ = static_cast<unsigned char>(digits == 2 ? group >> 4 : group >> 10);
      if (digits == 3) *out++ = static_cast<unsigned char>(group >> 2);
      continue;
    }
    if (digit == kBad || pads > 0) return false;
    group = group << 6 | static_cast<uint32_t>(digit);
    if (++digits == 4) {
      if (out_end - out < 3) return false;
      *out++ = static_cast<unsigned char>(group >> 16);
      *out++ = static_cast<unsigned char>(group >> 8);
      *out++ = static_cast<unsigned char>(group);
      group = 0;
      digits = 0;
    }
  }
  return (digits + pads == 0 || digits + pads == 4) && out == out_end;
}

}  // namespace gamlreader
