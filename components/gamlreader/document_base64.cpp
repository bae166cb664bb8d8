// The base64 decoder of the reader's `values` arrays: standard base64 with
// padding, white space allowed anywhere, decoded straight into the block
// that holds the numbers. Digits in a row are decoded four at a time, with
// one table look-up per digit that yields its share of the group's bytes
// already in place, sixteen digits per round while they last; everything
// else (white space, padding, the end, anything malformed) goes one
// character at a time. Called by the document model (document.cpp).
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
