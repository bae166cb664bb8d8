// Numeric arrays and math: the exported MATH helpers (AP1) with the marker
// values that every numeric part of the library shares.
#pragma once
#include <cstdint>

#include "core/core.h"

// Missing value: all bits set. A float counts as missing when
// (bits & 0x7FC00000) == 0x7FC00000, a double when its high word has
// 0x7FFF0000 set, so an infinity is not missing.
constexpr uint32_t AP_NAN_BITS = 0xFFFFFFFFu;
constexpr uint64_t AP_NAN_BITS_DB = 0xFFFFFFFFFFFFFFFFull;

// Not given: stands for an open end of an X range or an omitted optional
// float; compare with AP1_KovFloatCompareSG_MATH.
constexpr float AP_NOT_GIVEN = -3720006.5f;

// Two 32-bit words carried together: a cell address or an index pair.
struct AP1_ELEMENT {
  uint32_t first;
  uint32_t second;
};
static_assert(sizeof(AP1_ELEMENT) == 8);

APEXPORT uint16_t AP1_KovFloatCompareSG_MATH(float a, float b);
APEXPORT uint16_t AP1_KovFloatCompareDB_MATH(double a, double b);
APEXPORT float AP1_GetNaNSG_MATH();
APEXPORT double AP1_GetNaNDB_MATH();
APEXPORT void AP1_Square_MATH(float* value);
APEXPORT void AP1_SQRT_MATH(float* value);
APEXPORT float AP1_SquareRoot_MATH(float value);
APEXPORT float AP1_Min_MATH(float a, float b);
APEXPORT float AP1_Max_MATH(float a, float b);
APEXPORT int16_t AP1_lpMakeElement_MATH(AP1_ELEMENT* out, uint32_t first, uint32_t second);
APEXPORT int16_t AP1_CompareElements_MATH(uint32_t first1, uint32_t second1, uint32_t first2, uint32_t second2);
APEXPORT int16_t AP1_SetBitLong_MATH(uint32_t* word, uint16_t bit);
int16_t ap1_ClearBitLong(uint32_t* word, uint16_t bit);

// The bit tests that decide what is missing, everywhere in the library.
bool ap1_is_missing(float value);
bool ap1_is_missing_db(double value);
