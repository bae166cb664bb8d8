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

// ---------------------------------------------------------------------------
// Y-unit conversions of single values

// Y-unit codes that the conversions tell apart.
constexpr uint32_t AP1_YUNIT_PERCENT_REFLECTANCE = 11;
constexpr uint32_t AP1_YUNIT_LOG_INVERSE_R = 12;
constexpr uint32_t AP1_YUNIT_PERCENT_TRANSMITTANCE = 16;
constexpr uint32_t AP1_YUNIT_ABSORBANCE = 17;
constexpr uint32_t AP1_YUNIT_KUBELKA_MUNK = 20;
constexpr uint32_t AP1_YUNIT_REFLECTANCE = 21;
constexpr uint32_t AP1_YUNIT_TRANSMITTANCE = 23;
constexpr uint32_t AP1_YUNIT_PHOTOACOUSTIC = 26;

// Each converts one value in place; a null address or a missing value is
// left alone. Values beyond the limits of a logarithm or a quotient take the
// fixed value of their limit. The Combine forms take the narrow limits while
// the gain-type flag is 0 and the wide ones while it is 1.
APEXPORT void AP1_FromAbs_MATH(float* value);
APEXPORT void AP1_FromAbsCombine_MATH(float* value);
APEXPORT void AP1_ToAbs_MATH(float* value);
APEXPORT void AP1_ToAbsCombine_MATH(float* value);
APEXPORT void AP1_ToKM_MATH(float* value);
APEXPORT void AP1_ToKMCombine_MATH(float* value);
APEXPORT void AP1_FromKM_MATH(float* value);
// A value converted from one Y unit to another through percent, with the
// narrow limits.
APEXPORT float AP1_NewUnits_MATH(uint32_t from_code, uint32_t to_code, float value);
// Sets the process-wide gain-type flag from a spectrum's gain (null: 0) and
// answers it.
APEXPORT uint16_t AP1_SetGainType_MATH(void* spectrum);

// The bit tests that decide what is missing, everywhere in the library.
bool ap1_is_missing(float value);
bool ap1_is_missing_db(double value);

// ---------------------------------------------------------------------------
// Statistics tables, random numbers, typed comparison and split segments

// Storage types of AP1_Compare_MATH (the parameter tables' type codes
// 1 to 12): the address and list types are told equal or not only.
constexpr uint16_t AP1_TYPE_BOOL = 1;         // i16
constexpr uint16_t AP1_TYPE_I16 = 2;
constexpr uint16_t AP1_TYPE_U16 = 3;
constexpr uint16_t AP1_TYPE_I32 = 4;
constexpr uint16_t AP1_TYPE_U32 = 5;
constexpr uint16_t AP1_TYPE_F32 = 6;
constexpr uint16_t AP1_TYPE_F64 = 7;
constexpr uint16_t AP1_TYPE_TEXT = 8;         // terminated
constexpr uint16_t AP1_TYPE_LENGTH_TEXT = 9;  // a length byte, then the characters
constexpr uint16_t AP1_TYPE_ADDRESS = 10;     // u32, equality only
constexpr uint16_t AP1_TYPE_HANDLE = 11;      // u32
constexpr uint16_t AP1_TYPE_LIST = 12;        // its first u32, equality only

// Operators of AP1_Compare_MATH.
constexpr uint16_t AP1_OP_LESS = 1;
constexpr uint16_t AP1_OP_GREATER = 2;
constexpr uint16_t AP1_OP_EQUAL = 3;
constexpr uint16_t AP1_OP_LESS_EQUAL = 4;
constexpr uint16_t AP1_OP_GREATER_EQUAL = 5;
constexpr uint16_t AP1_OP_NOT_EQUAL = 6;
constexpr uint16_t AP1_OP_ALWAYS = 7;

// The answer of the t and F look-ups for degrees of freedom they refuse.
constexpr float AP1_NO_STATISTIC = 1e20f;
// The last row of the t and F tables stands for infinitely many degrees.
constexpr int32_t AP1_INFINITE_DF = 99999;

// Segments of an X range with their point counts, 32 bytes.
//   0 12  start X of each segment
//  12 12  end X of each segment
//  24  6  points of each segment
//  30  2  number of segments written
#pragma pack(push, 2)
struct AP1_SEGMENTS {
  float start[3];
  float end[3];
  uint16_t points[3];
  uint16_t count;
};
#pragma pack(pop)
static_assert(sizeof(AP1_SEGMENTS) == 32);

APEXPORT float AP1_TStatistic_MATH(int32_t df, int16_t two_sided);
APEXPORT float AP1_FStatistic_MATH(int32_t df1, int32_t df2);
APEXPORT int16_t AP1_Ran1_MATH(int32_t* seed, float* value);
APEXPORT int16_t AP1_Ran3_MATH(int32_t* seed, float* value);
APEXPORT int16_t AP1_Compare_MATH(void* a, uint16_t op, void* b, uint16_t type);
APEXPORT int16_t AP1_DetermineSplitSegments_MATH(uint16_t mode, float x1, float x2, uint16_t points,
                                                 AP1_SEGMENTS* out);
