// The base64 decoder of the reader's `values` arrays: standard base64 with
// padding, white space allowed anywhere, decoded straight into the block
// that holds the numbers. Digits in a row are decoded sixteen at a time,
// with SSSE3 byte shuffles where the processor has them, else with one
// table look-up per digit that yields its share of the group's bytes
// already in place; everything else (white space, padding, the end,
// anything malformed) goes one character at a time. Called by the document
// model (document.cpp).
#include <cstdint>
#include <cstring>

#include <tmmintrin.h>

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

// The bytes a digit contributes to its group of three, by its place among
// the four digits of the group, arranged so that OR-ing the four entries of
// a group gives its three bytes in memory order in the low 24 bits of a
// little-endian word. Anything that is not a digit sets bit 24.
constexpr uint32_t kNotADigit = 0x01000000;
struct GroupTables {
  uint32_t place[4][256];
  constexpr GroupTables() : place() {
    for (auto& table : place) {
      for (uint32_t& entry : table) entry = kNotADigit;
    }
    for (int c = 0; c < 256; ++c) {
      const int v = kBase64.digit[c];
      if (v < 0) continue;
      const uint32_t u = static_cast<uint32_t>(v);
      place[0][c] = u << 2;
      place[1][c] = u >> 4 | (u & 0xF) << 12;
      place[2][c] = (u >> 2) << 8 | (u & 3) << 22;
      place[3][c] = u << 16;
    }
  }
};
constexpr GroupTables kGroups;

inline uint32_t group_of(const unsigned char* at) {
  return kGroups.place[0][at[0]] | kGroups.place[1][at[1]] | kGroups.place[2][at[2]] | kGroups.place[3][at[3]];
}

// Writes a group's three bytes, and one more byte that the next group
// overwrites or that lies inside the caller's spare room.
inline void store_group(uint32_t group, unsigned char* out) { std::memcpy(out, &group, sizeof group); }

// Sixteen digits at a time while they last and the block has room for
// sixteen bytes (twelve are kept). A digit's class comes from its two
// nibbles: it is a digit exactly when the classes of its high and low
// nibble share no bit. Its value is the character plus an offset chosen by
// its high nibble ('/' sets itself apart from '+'); the values are then
// joined in pairs, the pairs in fours, and the three bytes of each group
// gathered in memory order.
__attribute__((target("ssse3"))) void decode_runs_ssse3(const unsigned char** at, const unsigned char* end,
                                                         unsigned char** out, const unsigned char* out_end) {
  const __m128i low_classes = _mm_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A,
                                            0x1B, 0x1B, 0x1B, 0x1A);
  const __m128i high_classes = _mm_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10,
                                             0x10, 0x10, 0x10, 0x10);
  const __m128i offsets = _mm_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i in_order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  const unsigned char* in = *at;
  unsigned char* put = *out;
  while (end - in >= 16 && out_end - put >= 16) {
    const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i high = _mm_and_si128(_mm_srli_epi32(text, 4), nibble);
    const __m128i low = _mm_and_si128(text, nibble);
    const __m128i shared = _mm_and_si128(_mm_shuffle_epi8(low_classes, low), _mm_shuffle_epi8(high_classes, high));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(shared, _mm_setzero_si128())) != 0xFFFF) break;
    const __m128i slash = _mm_cmpeq_epi8(text, _mm_set1_epi8('/'));
    const __m128i values = _mm_add_epi8(text, _mm_shuffle_epi8(offsets, _mm_add_epi8(slash, high)));
    const __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi32(0x01400140));
    const __m128i groups = _mm_madd_epi16(pairs, _mm_set1_epi32(0x00011000));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(put), _mm_shuffle_epi8(groups, in_order));
    in += 16;
    put += 12;
  }
  *at = in;
  *out = put;
}

bool processor_has_ssse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

}  // namespace

bool decode_base64(const char* text, size_t length, unsigned char* out, size_t size) {
  return decode_base64(text, length, out, size, Base64Runs::kFastest);
}

bool decode_base64(const char* text, size_t length, unsigned char* out, size_t size, Base64Runs runs) {
  const bool shuffles = runs == Base64Runs::kFastest && processor_has_ssse3();
  const auto* at = reinterpret_cast<const unsigned char*>(text);
  const unsigned char* const end = at + length;
  unsigned char* const out_end = out + size;
  uint32_t group = 0;
  int digits = 0;
  int pads = 0;
  while (at < end) {
    if (digits == 0 && pads == 0) {  // the common case: digits in a row
      if (shuffles) decode_runs_ssse3(&at, end, &out, out_end);
      for (; end - at >= 16 && out_end - out >= 13; at += 16, out += 12) {
        const uint32_t a = group_of(at), b = group_of(at + 4), c = group_of(at + 8), d = group_of(at + 12);
        if ((a | b | c | d) >= kNotADigit) break;
        store_group(a, out);
        store_group(b, out + 3);
        store_group(c, out + 6);
        store_group(d, out + 9);
      }
      while (end - at >= 4 && out_end - out >= 4) {
        const uint32_t one = group_of(at);
        if (one >= kNotADigit) break;
        store_group(one, out);
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
