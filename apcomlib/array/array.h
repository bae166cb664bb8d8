// Numeric arrays and math: the exported MATH helpers (AP1) with the marker
// values that every numeric part of the library shares, and the ARRAY class
// (AP4): its object record, cells and ranges, file block, message numbers,
// parameter blocks and operations.
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

// Whether a float is the not-given marker.
inline bool ap1_not_given(float x) { return AP1_KovFloatCompareSG_MATH(x, AP_NOT_GIVEN) != 0; }
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
constexpr uint32_t AP1_YUNIT_SINGLE_BEAM = 15;
constexpr uint32_t AP1_YUNIT_PERCENT_TRANSMITTANCE = 16;
constexpr uint32_t AP1_YUNIT_ABSORBANCE = 17;
constexpr uint32_t AP1_YUNIT_RATIO = 19;
constexpr uint32_t AP1_YUNIT_KUBELKA_MUNK = 20;
constexpr uint32_t AP1_YUNIT_REFLECTANCE = 21;
constexpr uint32_t AP1_YUNIT_INTERFEROGRAM = 22;
constexpr uint32_t AP1_YUNIT_TRANSMITTANCE = 23;
constexpr uint32_t AP1_YUNIT_PHOTOACOUSTIC = 26;
constexpr uint32_t AP1_YUNIT_REFERENCE = 27;
constexpr uint32_t AP1_YUNIT_RAMAN = 31;

// Each converts one value in place; a null address or a missing value is
// left alone. Values beyond the limits of a logarithm or a quotient take the
// fixed value of their limit. The Combine forms take the narrow limits while
// the gain-type flag is 0 and the wide ones while it is 1.
// The plain forms take the narrow limits, the Expand forms the wide ones;
// the Absolute forms take only the limits where the formula breaks down
// (none from absorbance; at T <= 0 the narrow or wide absorbance as the
// flag says; at R <= 1e-16 Kubelka-Munk 5e15).
APEXPORT void AP1_FromAbs_MATH(float* value);
APEXPORT void AP1_FromAbsExpand_MATH(float* value);
APEXPORT void AP1_FromAbsCombine_MATH(float* value);
APEXPORT void AP1_FromAbsAbsolute_MATH(float* value);
APEXPORT void AP1_ToAbs_MATH(float* value);
APEXPORT void AP1_ToAbsExpand_MATH(float* value);
APEXPORT void AP1_ToAbsCombine_MATH(float* value);
APEXPORT void AP1_ToAbsAbsolute_MATH(float* value);
APEXPORT void AP1_ToKM_MATH(float* value);
APEXPORT void AP1_ToKMExpand_MATH(float* value);
APEXPORT void AP1_ToKMCombine_MATH(float* value);
APEXPORT void AP1_ToKMAbsolute_MATH(float* value);
APEXPORT void AP1_FromKM_MATH(float* value);
// Photoacoustic values stay as they are.
APEXPORT void AP1_FromPAS_MATH();
APEXPORT void AP1_ToPAS_MATH();
// A value converted from one Y unit to another through percent, with the
// narrow limits.
APEXPORT float AP1_NewUnits_MATH(uint32_t from_code, uint32_t to_code, float value);
// Sets the process-wide gain-type flag from a spectrum's gain (null: 0) and
// answers it.
APEXPORT uint16_t AP1_SetGainType_MATH(void* spectrum);

// X-unit codes that the X conversions tell apart; the others pass unchanged.
constexpr int16_t AP1_XUNIT_WAVENUMBERS = 1;
constexpr int16_t AP1_XUNIT_MICROMETRES = 3;
constexpr int16_t AP1_XUNIT_NANOMETRES = 4;
constexpr int16_t AP1_XUNIT_ELECTRONVOLTS = 5;

// One X value in place, between wavenumbers and the unit of the code; a
// null address or a missing value is left alone.
APEXPORT void AP1_FromWavenumbers_MATH(int16_t code, float* value);
APEXPORT void AP1_ToWavenumbers_MATH(int16_t code, float* value);

// Peak direction of a Y unit: down for the transmittance and reflectance
// units, single beam and reference, up for the rest.
constexpr uint16_t AP1_PEAKS_UP = 1;
constexpr uint16_t AP1_PEAKS_DOWN = 2;
APEXPORT uint16_t AP1_GetPeakDir_MATH(uint16_t y_code);
// 0 for Y units whose values are taken as they are, else 1.
APEXPORT int16_t AP1_GetConvertNeeded_MATH(int16_t y_code);
// The X-unit code that belongs to a Y unit.
APEXPORT uint16_t AP1_GetXUnits_MATH(uint16_t y_code);

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

// ---------------------------------------------------------------------------
// Collection parameters

// The resolution in wavenumbers of an interferogram of that many points
// taken at the sample spacing ssp (laser fringes): for a power of two from
// 64 up the 16-bit whole part of 2097152 / ssp / points, over 64; for any
// other count 15798 / (points × ssp / 2). 1 when computed; 0 for a
// spacing of magnitude at most FLT_MIN or no points, the resolution then
// 0.0. When text is given, the resolution is written there with "%6.3f"
// in the library's decimal character, on failure too; the buffer holds
// AP1_RESOLUTION_TEXT_SIZE bytes.
constexpr uint32_t AP1_RESOLUTION_TEXT_SIZE = 48;
APEXPORT int16_t AP1_GetResolution_MATH(float ssp, int32_t points, float* resolution, char* text);

// The sample-spacing limits within which AP1_ConvertParamEx_MATH chooses a
// spacing (lower 1.0, upper 2.0 at load; a lower above the upper becomes
// the upper), and the largest pre-peak count it takes (8192 at load; set
// to the largest power of two up to n, at most 65536, and answered).
APEXPORT void AP1_SetSspLimits_MATH(float lower, float upper);
APEXPORT uint32_t AP1_SetMaxPeakPosition_MATH(uint32_t n);
APEXPORT uint32_t AP1_GetMaxPeakPosition_MATH();

// The derived values of a collection at a resolution and zero-fill code
// (factor 2^(z+1) for z = 1..6, else 2), a laser wavenumber and an upper
// frequency limit. A spacing of 0 or less in *ssp asks for one to be
// chosen. Nothing is written unless all ten addresses are given. Bench
// settings of "CollectDefaults" adjust the slop, peak location and counts;
// flags bit 0 lets a long pre-peak take the maximum rather than 1024.
// Lasers up to 15500 take the fixed counts of the older benches.
APEXPORT void AP1_ConvertParamEx_MATH(float resolution, int32_t zero_fill, float laser, float upper_limit, float* ssp,
                                      uint32_t* total_points, uint32_t* transform_input_points, uint32_t* fft_size,
                                      uint32_t* phase_points, uint32_t* transform_points, uint32_t* pre_peak_points,
                                      uint32_t* peak_location, uint32_t* corr_error, float* data_spacing,
                                      int32_t flags);
APEXPORT void AP1_ConvertParam_MATH(float resolution, int32_t zero_fill, float laser, float upper_limit, float* ssp,
                                    uint32_t* total_points, uint32_t* transform_input_points, uint32_t* fft_size,
                                    uint32_t* phase_points, uint32_t* transform_points, uint32_t* pre_peak_points,
                                    uint32_t* peak_location, uint32_t* corr_error, float* data_spacing);
// Interferogram points for a resolution: a - b for lasers from 15500, else
// a fixed count by resolution. 0 only for a null address.
APEXPORT int16_t AP1_CalcResolutionPoints_MATH(float laser, float resolution, uint32_t a, uint32_t b,
                                               uint32_t* points);
// The zero-fill code k (0..6) for which points >= transformSize / 2^(k+1),
// the first that holds; AP1_NO_ZERO_FILL when none does.
constexpr int16_t AP1_NO_ZERO_FILL = -1;  // 65535 as a u16
APEXPORT int16_t AP1_GetZeroFill_MATH(uint32_t transform_size, uint32_t points);
// Index range (start, end, count = end - start) of the X range x1..x2 in a
// transform of fftSize points; 0 (start 0, end 1, count 1) for a transform
// or spacing that gives no range.
APEXPORT int16_t AP1_CalcSaveRegion_MATH(float laser, float ssp, int32_t fft_size, float x1, float x2, uint32_t* start,
                                         uint32_t* end, uint32_t* count);
// Re-lay an interferogram of *points with its peak at *peakLocation as a
// single-sided one (peak at the bench's location, or one derived from size
// when location is 0) or as a split single-sided one; the result is the new
// total. Without all four addresses nothing is written and the answer is
// the location (size / 2 when it is derived).
APEXPORT uint32_t AP1_CalcSingleSided_MATH(uint32_t* total, uint32_t* points, uint32_t* peak_offset,
                                           uint32_t* peak_location, int16_t location, uint32_t size);
APEXPORT uint32_t AP1_CalcSplitSingleSided_MATH(uint32_t* total, uint32_t* points, uint32_t* peak_offset,
                                                uint32_t* peak_location, int16_t location, uint32_t size);
// The spectral range that a source, beam splitter, detector and window
// (0: none) allow together; low = high = 0 when they do not overlap.
// 0 only for a null address.
APEXPORT int16_t AP1_CalcMaxRng_MATH(int16_t source, int16_t beam_splitter, int16_t detector, int16_t window,
                                     uint16_t* low, uint16_t* high);
// The first of limit / 4, limit / 2, limit, 2 × limit above value, else 4 × limit.
APEXPORT float AP1_SetFreqRange_MATH(float limit, float value);
// 0 when two spacings give the same end indices over xa..xb, else
// AP1_SPACINGS_DIFFER (also for a spacing of 0).
constexpr int16_t AP1_SPACINGS_DIFFER = 3;
APEXPORT int16_t AP1_DataSpacingsDiffer_MATH(float spacing1, float spacing2, float xa, float xb);
// The percentage of an aperture a of b fills; 0 when b is 0 or percent null.
APEXPORT int16_t AP1_IsApertureFit_MATH(float a, float b, float* percent);
// The bench's laser wavenumber (15798 when unset); -1 when not asked for.
APEXPORT float AP1_GetLaserRef_MATH(int16_t use_bench);

// Seconds one scan of that many points takes, one way or there and back.
// The object forms read the values from a collection-settings object
// (parameters 15 points, 17 laser, 8 spacing, 7 velocity, 21 return
// velocity, 26 delay in ms, 13 one-way), 1.0 for no object; mode
// AP1_SCAN_RAPID takes the bench's rapid-scan velocity there and 8 back.
constexpr uint16_t AP1_SCAN_RAPID = 2;
APEXPORT float AP1_NewGetPossibleScanTime_MATH(uint32_t points, float laser, float velocity, float return_velocity,
                                               float ssp, uint32_t delay_ms, uint16_t one_way);
APEXPORT float AP1_GetPossibleScanTime_MATH(void* object, uint32_t points);
APEXPORT float AP1_GetScanTime_MATH(void* object, uint16_t mode);

// ---------------------------------------------------------------------------
// ARRAY class (AP4): two-dimensional matrices of single-precision floats

constexpr uint16_t AP4_CLASS_ID = 4;

// ARRAY object, 18 bytes, a cell of the class heap "AP4".
//   0  2  class id 4
//   2  4  the object's AP2 part
//   6  4  rows (compared as signed)
//  10  4  columns (compared as signed)
//  14  4  GU3 handle of the data, 0 when the array is empty
// Rows and columns are both 0 (no data block) or both above 0; the data
// block holds exactly rows × columns f32 (element size 4), row-major:
// element (r, c) is at index r × columns + c.
#pragma pack(push, 2)
struct AP4_ARRAY {
  AP_OBJECT head;
  uint32_t rows;
  uint32_t columns;
  GU3_HANDLE data;
};
#pragma pack(pop)
static_assert(sizeof(AP4_ARRAY) == 18);

// A cell address, 8 bytes: row in the low word, column in the high word.
// (-1, -1) as the start of a range stands for the whole extent; as the
// result of range resolution it marks an invalid range.
struct AP4_CELL {
  int32_t row;
  int32_t column;
};
static_assert(sizeof(AP4_CELL) == 8);

// A cell range, 16 bytes: start cell and end cell, both inclusive.
struct AP4_RANGE {
  AP4_CELL start;
  AP4_CELL end;
};
static_assert(sizeof(AP4_RANGE) == 16);

constexpr int32_t AP4_WHOLE = -1;
constexpr AP4_CELL AP4_INVALID_RANGE{-1, -1};

// Array file block, written inside a section of a native file, little-endian,
// no alignment:
//   0  4  rows, u32
//   4  4  columns, u32
//   8     rows × columns f32, row-major, moved as one transfer
// Nothing of the AP2 part is stored.
#pragma pack(push, 2)
struct AP4_FILEBLOCK {
  uint32_t rows;
  uint32_t columns;
};
#pragma pack(pop)
static_assert(sizeof(AP4_FILEBLOCK) == 8);

// Messages of the ARRAY class besides the common object protocol (core.h).
constexpr uint16_t AP4_MSG_GET_EXTENT = 36;
constexpr uint16_t AP4_MSG_GET_ELEMENT = 37;
constexpr uint16_t AP4_MSG_SET_ELEMENT = 38;
constexpr uint16_t AP4_MSG_EXTRACT_RANGE = 39;
constexpr uint16_t AP4_MSG_COPY_RANGE_TO = 40;
constexpr uint16_t AP4_MSG_COPY_DATA_OUT = 41;
constexpr uint16_t AP4_MSG_SET_DATA_IN = 42;
constexpr uint16_t AP4_MSG_INSERT_ROWS = 43;
constexpr uint16_t AP4_MSG_DELETE_ROWS = 44;
constexpr uint16_t AP4_MSG_INSERT_COLUMNS = 45;
constexpr uint16_t AP4_MSG_DELETE_COLUMNS = 46;
constexpr uint16_t AP4_MSG_FILL_RANGE = 47;
constexpr uint16_t AP4_MSG_ADD_ARRAYS = 48;
constexpr uint16_t AP4_MSG_ADD_SCALAR = 49;
constexpr uint16_t AP4_MSG_SUBTRACT_ARRAYS = 50;
constexpr uint16_t AP4_MSG_SUBTRACT_SCALAR = 51;
constexpr uint16_t AP4_MSG_MATRIX_PRODUCT = 52;
constexpr uint16_t AP4_MSG_MULTIPLY_ARRAYS = 53;
constexpr uint16_t AP4_MSG_MULTIPLY_SCALAR = 54;
constexpr uint16_t AP4_MSG_DIVIDE_ARRAYS = 55;
constexpr uint16_t AP4_MSG_DIVIDE_SCALAR = 56;
constexpr uint16_t AP4_MSG_PSEUDO_INVERSE = 57;
constexpr uint16_t AP4_MSG_TRANSPOSE = 58;
constexpr uint16_t AP4_MSG_MIN_MAX = 59;
constexpr uint16_t AP4_MSG_SUM = 60;
constexpr uint16_t AP4_MSG_MEAN = 61;
constexpr uint16_t AP4_MSG_STD_DEV = 62;
constexpr uint16_t AP4_MSG_MIN_MAX_EXCLUDING = 108;
constexpr uint16_t AP4_MSG_MIN_MAX_POSITIONS = 332;
constexpr uint16_t AP4_MSG_PSEUDO_INVERSE_FALLBACK = 343;
constexpr uint16_t AP4_MSG_DOT_PRODUCT = 80;
constexpr uint16_t AP4_MSG_DATA_ADDRESS = 101;
constexpr uint16_t AP4_MSG_STORED_SIZE = 107;
constexpr uint16_t AP4_MSG_GET_DIMS = 111;
constexpr uint16_t AP4_MSG_SWAP_ROWS = 337;
constexpr uint16_t AP4_MSG_SWAP_COLUMNS = 338;

// Parameter blocks of the ARRAY messages, packed to 2, words counted from 0.
#pragma pack(push, 2)
// Message 2: owner (the outermost object, 0 = the array itself), rows, columns.
struct AP4_ALLOCPARM {
  AP_OBJECT* owner;
  uint32_t rows;
  uint32_t columns;
};
// Message 4: the window that initialises the AP2 part, rows, columns.
struct AP4_NEWPARM {
  HWND window;
  uint32_t rows;
  uint32_t columns;
};
// Message 36: range, then where its extent (rows, columns) goes.
struct AP4_EXTENTPARM {
  AP4_RANGE range;
  AP4_CELL* extent;
};
// Message 37.
struct AP4_GETELEMENTPARM {
  AP4_CELL cell;
  float* value;
};
// Message 38.
struct AP4_SETELEMENTPARM {
  AP4_CELL cell;
  float value;
};
// Message 40: range of this array, the target array and the target cell.
struct AP4_COPYRANGEPARM {
  AP4_RANGE range;
  AP4_ARRAY* target;
  AP4_CELL at;
};
// Message 42: new dimensions and the GU3 block they are copied from.
struct AP4_SETDATAPARM {
  uint32_t rows;
  uint32_t columns;
  GU3_HANDLE block;
};
// Messages 43 to 46: first row or column, and how many.
struct AP4_SPANPARM {
  int32_t index;
  int32_t count;
};
// Message 47.
struct AP4_FILLPARM {
  AP4_RANGE range;
  float value;
};
// Messages 50, 52 and 55: a range of this array, the other array and its range.
struct AP4_PAIRPARM {
  AP4_RANGE range;
  AP4_ARRAY* other;
  AP4_RANGE other_range;
};
// Message 56: a range and the value.
struct AP4_SCALARPARM {
  AP4_RANGE range;
  float value;
};
// Message 59: a range and where the minimum and maximum go.
struct AP4_MINMAXPARM {
  AP4_RANGE range;
  float* minimum;
  float* maximum;
};
// Message 108: as 59, then the value to leave out.
struct AP4_MINMAXEXCLUDINGPARM {
  AP4_RANGE range;
  float* minimum;
  float* maximum;
  float exclusion;
};
// Message 332: as 59 with where each extreme lies.
struct AP4_MINMAXPOSITIONSPARM {
  AP4_RANGE range;
  float* minimum;
  AP4_CELL* minimum_at;
  float* maximum;
  AP4_CELL* maximum_at;
};
// Messages 60 to 62: a range, the value that stands in for a missing one
// (AP_NOT_GIVEN: none, the missing ones are left out) and where the
// statistic goes.
struct AP4_STATPARM {
  AP4_RANGE range;
  float replacement;
  float* result;
};
// Message 80: the two ranges as for 50, then where the sum goes.
struct AP4_DOTPARM {
  AP4_RANGE range;
  AP4_ARRAY* other;
  AP4_RANGE other_range;
  float* result;
};
// Message 111: either address may be null.
struct AP4_DIMSPARM {
  uint32_t* rows;
  uint32_t* columns;
};
// Messages 337 and 338: the two rows or columns.
struct AP4_SWAPPARM {
  int32_t a;
  int32_t b;
};
#pragma pack(pop)
static_assert(sizeof(AP4_ALLOCPARM) == 12);
static_assert(sizeof(AP4_NEWPARM) == 12);
static_assert(sizeof(AP4_EXTENTPARM) == 20);
static_assert(sizeof(AP4_GETELEMENTPARM) == 12);
static_assert(sizeof(AP4_SETELEMENTPARM) == 12);
static_assert(sizeof(AP4_COPYRANGEPARM) == 28);
static_assert(sizeof(AP4_SETDATAPARM) == 12);
static_assert(sizeof(AP4_SPANPARM) == 8);
static_assert(sizeof(AP4_FILLPARM) == 20);
static_assert(sizeof(AP4_DIMSPARM) == 8);
static_assert(sizeof(AP4_PAIRPARM) == 36);
static_assert(sizeof(AP4_SCALARPARM) == 20);
static_assert(sizeof(AP4_DOTPARM) == 40);
static_assert(sizeof(AP4_SWAPPARM) == 8);
static_assert(sizeof(AP4_MINMAXPARM) == 24);
static_assert(sizeof(AP4_MINMAXEXCLUDINGPARM) == 28);
static_assert(sizeof(AP4_MINMAXPOSITIONSPARM) == 32);
static_assert(sizeof(AP4_STATPARM) == 24);

APEXPORT uint32_t AP4_Dispatcher_ARRAY(void* object, uint16_t message, void* parameter);

uint16_t ap4_InitClass(uint16_t class_id);
uint16_t ap4_TermClass(uint16_t class_id);

// Range resolution, which every range operation goes through: the range's
// extent (rows, columns), or (-1, -1) for an invalid range or an object that
// is not an array. A start of (-1, -1) becomes (0, 0) and the end
// (rows - 1, columns - 1), written back to the caller's cells.
AP4_CELL ap4c_ClampCellRange(const AP4_ARRAY* array, AP4_CELL* start, AP4_CELL* end);

// ---------------------------------------------------------------------------
// FFT kernels on plain float vectors of 2^k points, in place. A complex
// vector is split: the 2^k real parts, then the 2^k imaginary parts.

// Direction codes: any other value acts as forward for the complex
// transform and as inverse for the real-spectrum pass.
constexpr int16_t AP4C_FFT_FORWARD = 2;
constexpr int16_t AP4C_FFT_INVERSE = 3;

// Swaps v[i] and v[rev(i)] over the 2^k floats of v.
void ap4c_BitReverse(float* v, int16_t k);
// Transform of 2^k complex points, k = 1..19, from bit-reversed input to
// natural order: forward with the kernel e^(-2 pi i jk/N), inverse with
// e^(+2 pi i jk/N); neither divides by N.
void ap4c_ComplexFFT(float* v, int16_t k, int16_t direction);
// For a real sequence of N = 2^k points held as N/2 complex points: forward
// turns their N/2-point transform into Y[0] = X[0] and Y[j] = 2 X[j],
// j = 1..N/2 - 1, of the sequence's spectrum X (the Nyquist term is
// dropped); the inverse direction prepares such a spectrum so that the
// inverse complex transform gives 2N times the sequence without its
// Nyquist component, even samples in the real half, odd in the imaginary.
void ap4c_RealSpectrumPass(float* v, int16_t k, int16_t direction);

// ---------------------------------------------------------------------------
// Natural cubic splines. An axis is an origin and a spacing; a spacing that
// compares equal to 0 is refused.

// A new array of the range's extent whose first row holds the second
// derivatives of the natural spline through the range's first row (at
// least 3 columns), 0 at both ends and at the neighbours of a missing value;
// null on failure.
AP4_ARRAY* ap4c_SplineSecondDerivatives(const AP4_ARRAY* array, AP4_CELL start, AP4_CELL end, float dx);
// The spline's cubic between two knots at x; missing when the knots coincide.
float ap4c_SplineEvaluate(float x, float x_lo, float x_hi, float y_lo, float y_hi, float d2_lo, float d2_hi);
// A new one-row array of n values of the spline through a one-row array
// (more than 2 columns) on the axis (x0, dx), taken at new_x0 + i·new_dx;
// new_x0 must not lie before x0. A point whose interval touches a missing
// value is missing; null on failure.
AP4_ARRAY* ap4c_SplineResampleRow(const AP4_ARRAY* array, float x0, float dx, float new_x0, float new_dx, int32_t n);

// Bicubic resampling of an array of at least 4 rows and 4 columns on the
// grid (x0 + r·dx, y0 + c·dy), x along the rows, onto the n × m grid from
// (new_x0, new_y0) with steps new_dx, new_dy, which must lie inside the
// array's; the first and last cells' polynomials are extended to its edges.
// A new n × m array, or null.
AP4_ARRAY* ap4c_BicubicResample(const AP4_ARRAY* array, float x0, float y0, float dx, float dy, float new_x0,
                                float new_y0, float new_dx, float new_dy, int32_t n, int32_t m);
// The central differences in grid steps (along rows, along columns, cross)
// at the four corners of a cell, given as addresses of interior elements
// of an array whose rows are row_length long.
void ap4c_BicubicCornerDerivatives(const float* const corner[4], int32_t row_length, float gx[4], float gy[4],
                                   float gxy[4]);
// The coefficients c[4a + b] of sum c[a][b] t^a u^b that take the values
// and derivatives given at the corners (t, u) = (0, 0), (1, 0), (1, 1), (0, 1).
void ap4c_BicubicCoefficients(const float value[4], const float gx[4], const float gy[4], const float gxy[4],
                              float c[16]);

// ---------------------------------------------------------------------------
// Apodization windows on plain float vectors of n points, in place, with
// the centre c (the interferogram peak) where the weight is 1. The
// normalised distance of point i is x = (i - c) / (n - c). A null vector or
// a centre outside 0..n-1 leaves the data unchanged.

void ap4c_ApodizeTriangle(float* data, uint32_t n, int32_t c);           // 1 - |x|
void ap4c_ApodizeNortonBeerWeak(float* data, uint32_t n, int32_t c);
void ap4c_ApodizeNortonBeerMedium(float* data, uint32_t n, int32_t c);
void ap4c_ApodizeNortonBeerStrong(float* data, uint32_t n, int32_t c);
void ap4c_ApodizeCosine(float* data, int32_t n, int32_t c);              // cos(pi/2 x)
void ap4c_ApodizeBlackmanHarris(float* data, int32_t n, int32_t c);      // four terms in cos(k pi x)
void ap4c_ApodizeHamming(float* data, int32_t n, int32_t c);             // 0.54 + 0.46 cos(pi x)
// C0 + C1 q + C2 q^2 + C3 q^3 + C4 q^4 with q = 1 - x^2.
void ap4c_ApodizePolynomial(float* data, uint32_t n, int32_t c, float c0, float c1, float c2, float c3, float c4);
// Weights i / m for the first 2m points and 2 after them; m = 0 changes nothing.
void ap4c_RampSingleSided(float* data, int32_t n, uint32_t m);

// The object and its common protocol, as the messages named beside them.
AP4_ARRAY* ap4a_Allocate(uint16_t class_id, AP_OBJECT* owner, uint32_t rows, uint32_t columns);         // 2
AP4_ARRAY* ap4a_New(uint16_t class_id, uint32_t rows, uint32_t columns, HWND window);                  // 4
uint32_t ap4a_Delete(AP4_ARRAY* array, HWND window);                                                   // 5
AP4_ARRAY* ap4a_Duplicate(AP4_ARRAY* array, HWND window);                                              // 6
uint32_t ap4a_GetSize(AP4_ARRAY* array);                                                               // 7
uint16_t ap4a_GetClassName(const AP4_ARRAY* array, char* buffer);                                      // 9
uint16_t ap4a_Copy(AP4_ARRAY* array, AP4_ARRAY* target, HWND window);                                  // 22
uint32_t ap4a_GetStoredSize(const AP4_ARRAY* array);                                                   // 107
// The file block at the file object's position. Read answers the array
// read, or null; with create set the object is a pointer to the class id.
AP4_ARRAY* ap4a_Read(void* object, void* file, uint16_t create);                                       // 17
uint16_t ap4a_Write(const AP4_ARRAY* array, void* file);                                               // 18

// Elements and ranges.
uint16_t ap4a_GetExtent(const AP4_ARRAY* array, AP4_RANGE range, AP4_CELL* extent);                    // 36
uint16_t ap4a_GetElement(const AP4_ARRAY* array, AP4_CELL cell, float* value);                         // 37
uint16_t ap4a_SetElement(AP4_ARRAY* array, AP4_CELL cell, float value);                                // 38
AP4_ARRAY* ap4a_ExtractRange(const AP4_ARRAY* array, AP4_RANGE range);                                 // 39
uint16_t ap4a_CopyRangeTo(const AP4_ARRAY* array, AP4_RANGE range, AP4_ARRAY* target, AP4_CELL at);    // 40
GU3_HANDLE ap4a_CopyDataOut(const AP4_ARRAY* array);                                                   // 41
uint16_t ap4a_SetDataIn(AP4_ARRAY* array, uint32_t rows, uint32_t columns, GU3_HANDLE block);          // 42
uint16_t ap4a_InsertRows(AP4_ARRAY* array, int32_t index, int32_t count);                              // 43
uint16_t ap4a_DeleteRows(AP4_ARRAY* array, int32_t index, int32_t count);                              // 44
uint16_t ap4a_InsertColumns(AP4_ARRAY* array, int32_t index, int32_t count);                           // 45
uint16_t ap4a_DeleteColumns(AP4_ARRAY* array, int32_t index, int32_t count);                           // 46
uint16_t ap4a_FillRange(AP4_ARRAY* array, AP4_RANGE range, float value);                               // 47
float* ap4a_GetDataAddress(const AP4_ARRAY* array);                                                    // 101
uint16_t ap4a_GetDims(const AP4_ARRAY* array, uint32_t* rows, uint32_t* columns);                      // 111
uint16_t ap4a_SwapRows(AP4_ARRAY* array, int32_t a, int32_t b);                                        // 337
uint16_t ap4a_SwapColumns(AP4_ARRAY* array, int32_t a, int32_t b);                                     // 338

// Arithmetic and matrix operations. Element-wise results and products are
// worked in double precision and stored as f32. A sum or difference is
// missing where either operand is; a quotient also where the divisor's
// magnitude is at most FLT_MIN; a product through the arithmetic. With a
// value, missing elements stay missing; dividing a range by a value that
// compares equal to 0 makes the whole range missing.
AP4_ARRAY* ap4a_AddArrays(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                          AP4_RANGE other_range);                                                      // 48
uint16_t ap4a_AddScalar(AP4_ARRAY* array, AP4_RANGE range, float value);                              // 49
AP4_ARRAY* ap4a_SubtractArrays(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                               AP4_RANGE other_range);                                                 // 50
uint16_t ap4a_SubtractScalar(AP4_ARRAY* array, AP4_RANGE range, float value);                         // 51
AP4_ARRAY* ap4a_MatrixProduct(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                              AP4_RANGE other_range);                                                  // 52
AP4_ARRAY* ap4a_MultiplyArrays(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                               AP4_RANGE other_range);                                                 // 53
uint16_t ap4a_MultiplyScalar(AP4_ARRAY* array, AP4_RANGE range, float value);                         // 54
AP4_ARRAY* ap4a_DivideArrays(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                             AP4_RANGE other_range);                                                   // 55
uint16_t ap4a_DivideScalar(AP4_ARRAY* array, AP4_RANGE range, float value);                           // 56
AP4_ARRAY* ap4a_Transpose(const AP4_ARRAY* array);                                                     // 58
// The left (kind 1) or right (kind 2) pseudo-inverse, through the symmetric
// inverse with the given fallback mode (0: message 57, 1: message 343); null
// for another kind or a shape the kind does not suit.
constexpr uint16_t AP4_PSEUDO_INVERSE_LEFT = 1;
constexpr uint16_t AP4_PSEUDO_INVERSE_RIGHT = 2;
AP4_ARRAY* ap4a_PseudoInverse(const AP4_ARRAY* array, uint16_t kind, uint16_t mode);                  // 57 343

// Statistics of a range. Minimum and maximum skip missing elements and,
// unless the exclusion value is itself missing, those about equal to it;
// the first of equal extremes gives the position (absolute cells, either
// address may be null); with nothing left both are missing. A data block
// that cannot be read gives 0 with the minimum 0 and the maximum 1; an
// invalid range gives 0 with both missing.
uint16_t ap4a_MinMaxExcluding(const AP4_ARRAY* array, AP4_RANGE range, float* minimum, AP4_CELL* minimum_at,
                              float* maximum, AP4_CELL* maximum_at, float exclusion);                  // 59 108 332
uint16_t ap4a_MinMaxAll(const AP4_ARRAY* array, AP4_RANGE range, float* minimum, AP4_CELL* minimum_at, float* maximum,
                        AP4_CELL* maximum_at);
// A missing element counts as the replacement value, or is left out when the
// replacement is AP_NOT_GIVEN. The sum accumulates in single precision; the
// mean is missing when no element is taken; the deviation is the sample
// one (divisor: elements taken - 1), 0 with the result 0 when fewer than two
// are taken, missing with the result 0 when the mean fails.
uint16_t ap4a_Sum(const AP4_ARRAY* array, AP4_RANGE range, float replacement, float* sum);           // 60
uint16_t ap4a_Mean(const AP4_ARRAY* array, AP4_RANGE range, float replacement, float* mean);         // 61
uint16_t ap4a_StdDev(const AP4_ARRAY* array, AP4_RANGE range, float replacement, float* deviation);  // 62
// The sum of products of two equally long one-row or one-column ranges,
// missing as soon as one pair holds a missing value; 1, or 0 for ranges
// that do not pair or a missing result address.
uint16_t ap4b_DotProduct(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other, AP4_RANGE other_range,
                         float* result);                                                               // 80

// ---------------------------------------------------------------------------
// Row scaling, the local polynomial fit, and the text form of an array with
// the stored comparison

constexpr uint16_t AP4_MSG_READ_TEXT = 91;
constexpr uint16_t AP4_MSG_WRITE_TEXT = 92;
constexpr uint16_t AP4_MSG_COMPARE_STORED = 93;
constexpr uint16_t AP4_MSG_SCALE_ROWS = 339;
constexpr uint16_t AP4_MSG_POLY_FIT = 358;

#pragma pack(push, 2)
// Message 358: the values and how many there are (n) and of them to take
// (m: the last n when m > n), the degree (2 or 3), the abscissa mode and
// where the value, slope and curvature at x = 0 go (each may be null).
struct AP4_POLYFITPARM {
  const float* data;
  int32_t n;
  int32_t m;
  int32_t degree;
  int32_t abscissa;
  float* value;
  float* slope;
  float* curvature;
};
// Message 93: the reference (an array, or a file object holding one as
// text), the error count, the open report file and the name reported.
struct AP4_COMPAREPARM {
  void* reference;
  int16_t* error_count;
  void* report;
  const char* name;
};
#pragma pack(pop)
static_assert(sizeof(AP4_POLYFITPARM) == 32);
static_assert(sizeof(AP4_COMPAREPARM) == 16);

// Message 59: the minimum and maximum of a range, missing values skipped.
uint16_t ap4a_MinMax(const AP4_ARRAY* array, AP4_RANGE range, float* minimum, float* maximum);        // 59
// A new array of the other range's size whose row i is scaled by the i-th
// value of this array's range: along its first row when it has as many
// columns as the other range has rows, else down its first column when it
// has as many rows; null when neither fits.
AP4_ARRAY* ap4a_ScaleRowsByVector(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                                  AP4_RANGE other_range);                                              // 339
// Abscissa modes of the polynomial fit: the first point at 0 going down,
// the last point at 0, or (any other mode) centred on the middle point.
constexpr int32_t AP4_POLYFIT_FIRST_AT_ZERO = 1;
constexpr int32_t AP4_POLYFIT_LAST_AT_ZERO = 2;
// Least-squares polynomial of degree 2 or 3 through the points, giving its
// value, slope and curvature (twice the square coefficient) at x = 0. The
// outputs start at 0; 0 for another degree, a negative count or a failed
// step; 1 with the outputs left at 0 for fewer points than coefficients.
uint16_t ap4a_PolyFit(const float* data, int32_t n, int32_t m, int32_t degree, int32_t abscissa, float* value,
                      float* slope, float* curvature);                                                 // 358

// The text form at a file object's position: "\r\n" rows "," columns
// "\r\n", then each row's values as "%e" (missing: "#VALUE!") separated
// by "," and ended by "\r\n". Write answers 1 when all was written or the
// array has no data; read answers a new array, or null with the file's
// position as it was for a text that is damaged, cut short or announces more
// values than it holds.
uint16_t ap4c_WriteText(const AP4_ARRAY* array, void* file);                                           // 92
AP4_ARRAY* ap4c_ReadText(uint16_t class_id, void* file);                                               // 91
// Compares the array with the reference (an array, or read as text from a
// file object) within 5e-05, counting a difference or a failed comparison
// in *error_count; a difference writes the name and the array's text to the
// report. The compared array belongs to the comparison from the call on: it
// is deleted before the answer, whatever the answer is. A reference given as
// an array stays the caller's.
uint16_t ap4c_CompareWithStored(AP4_ARRAY* array, void* reference, int16_t* error_count, void* report,
                                const char* name);                                                     // 93

// The whole extent of an array, as a range's start cell of (-1, -1) names it.
constexpr AP4_RANGE AP4_WHOLE_RANGE{{AP4_WHOLE, AP4_WHOLE}, {AP4_WHOLE, AP4_WHOLE}};

// True for a readable object of class 4.
bool ap4a_is_array(const void* object);

// ---------------------------------------------------------------------------
// Scope guards of the array operations, shared by the array layer and the
// numeric operations built on it.

// Begin-change when made, end-change when the scope ends, so that an
// operation closes its bracket on every path. When the change cannot begin
// (a window that may not see the object change and no copy to give it) the
// operation changes nothing.
class ap4a_change_bracket {
 public:
  explicit ap4a_change_bracket(const AP4_ARRAY* array)
      : part_(reinterpret_cast<AP2_OBJECT*>(array->head.parent)), begun_(ap2_BeginChange_OBJ(part_) != 0) {}
  ~ap4a_change_bracket() {
    if (begun_) ap2_EndChange_OBJ(part_);
  }
  ap4a_change_bracket(const ap4a_change_bracket&) = delete;
  ap4a_change_bracket& operator=(const ap4a_change_bracket&) = delete;
  bool begun() const { return begun_; }

 private:
  AP2_OBJECT* part_;
  bool begun_;
};

// A new array that is deleted again when the scope ends, unless the
// operation hands it out; an estimate that iterations replace is deleted
// when the next one is set.
class ap4a_new_array {
 public:
  explicit ap4a_new_array(AP4_ARRAY* array = nullptr) : array_(array) {}
  ~ap4a_new_array() { reset(nullptr); }
  ap4a_new_array(const ap4a_new_array&) = delete;
  ap4a_new_array& operator=(const ap4a_new_array&) = delete;
  void reset(AP4_ARRAY* array) {
    if (array_ != nullptr && array_ != array) ap4a_Delete(array_, nullptr);
    array_ = array;
  }
  AP4_ARRAY* get() const { return array_; }
  AP4_ARRAY* release() {
    AP4_ARRAY* array = array_;
    array_ = nullptr;
    return array;
  }

 private:
  AP4_ARRAY* array_;
};

// ---------------------------------------------------------------------------
// Derivatives, smoothing, function application, determinant, and the
// interferogram toolkit: phase, apodization and the Fourier transform of
// one-row arrays.

constexpr uint16_t AP4_MSG_APPLY_FUNCTION = 63;
constexpr uint16_t AP4_MSG_RANGE_TRANSFORM = 64;
constexpr uint16_t AP4_MSG_DERIVATIVE = 67;
constexpr uint16_t AP4_MSG_SECOND_DERIVATIVE = 68;
constexpr uint16_t AP4_MSG_SG_SMOOTH = 69;
constexpr uint16_t AP4_MSG_RESIZE_ROW = 71;
constexpr uint16_t AP4_MSG_APODIZE = 72;
constexpr uint16_t AP4_MSG_PHASE = 73;
constexpr uint16_t AP4_MSG_PHASE_CORRECT = 74;
constexpr uint16_t AP4_MSG_FFT = 75;
constexpr uint16_t AP4_MSG_DETERMINANT = 82;

// Apodization kinds; 0 and every kind above 7 take the Hamming window.
constexpr uint16_t AP4_APODIZE_TRIANGLE = 1;
constexpr uint16_t AP4_APODIZE_NONE = 2;
constexpr uint16_t AP4_APODIZE_NORTON_BEER_WEAK = 3;
constexpr uint16_t AP4_APODIZE_NORTON_BEER_MEDIUM = 4;
constexpr uint16_t AP4_APODIZE_NORTON_BEER_STRONG = 5;
constexpr uint16_t AP4_APODIZE_COSINE = 6;
constexpr uint16_t AP4_APODIZE_BLACKMAN_HARRIS = 7;

// Phase correction mode that keeps the magnitude; any other uses a phase array.
constexpr int16_t AP4_PHASE_MAGNITUDE = 1;
// Phase array mode that takes the four-quadrant arc tangent; any other takes
// atan(im / re).
constexpr uint16_t AP4_PHASE_FOUR_QUADRANT = 0;

// The function of message 63, called with the address of each element.
using AP4_ELEMENTFUNCTION = void (*)(float* element);

#pragma pack(push, 2)
// Message 63.
struct AP4_APPLYPARM {
  AP4_RANGE range;
  AP4_ELEMENTFUNCTION function;
};
// Message 64: a one-row array is resampled onto the axis
// (a[2] + i·a[3], i < n) from its own (a[0], a[1]); any other array onto
// the grid from (a[2], b[2]) with steps (a[3], b[3]), n × m points, from its
// own grid at (a[0], b[0]) with steps (a[1], b[1]).
struct AP4_TRANSFORMPARM {
  float a[4];
  int32_t n;
  float b[4];
  int32_t m;
};
// Messages 67 and 68: a range and the point spacing h.
struct AP4_DERIVATIVEPARM {
  AP4_RANGE range;
  float spacing;
};
// Message 69: a range and the window width in points.
struct AP4_SMOOTHPARM {
  AP4_RANGE range;
  int32_t window;
};
// Message 71: the target length 2^k, a word not read, the centre burst.
struct AP4_RESIZEPARM {
  uint16_t k;
  uint32_t unused;
  int32_t centre;
};
// Message 72.
struct AP4_APODIZEPARM {
  int16_t kind;
  int16_t ramp;
  uint32_t unused;
  int32_t centre;
};
// Message 73: segment length, transform length 2^k, apodization kind, a
// word not read, the centre burst and the arc-tangent mode.
struct AP4_PHASEPARM {
  int32_t length;
  uint16_t k;
  uint16_t kind;
  uint32_t unused;
  int32_t centre;
  uint16_t mode;
};
// Message 74.
struct AP4_PHASECORRECTPARM {
  int16_t mode;
  AP4_ARRAY* phase;
};
// Message 75: a direction flag (0: the complex transform of the halves), the
// kind (AP4C_FFT_FORWARD real forward, AP4C_FFT_INVERSE its inverse) and a
// word not read.
struct AP4_FFTPARM {
  int16_t direction;
  int16_t kind;
  uint32_t unused;
};
#pragma pack(pop)
static_assert(sizeof(AP4_APPLYPARM) == 20);
static_assert(sizeof(AP4_TRANSFORMPARM) == 40);
static_assert(sizeof(AP4_DERIVATIVEPARM) == 20);
static_assert(sizeof(AP4_SMOOTHPARM) == 20);
static_assert(sizeof(AP4_RESIZEPARM) == 10);
static_assert(sizeof(AP4_APODIZEPARM) == 12);
static_assert(sizeof(AP4_PHASEPARM) == 18);
static_assert(sizeof(AP4_PHASECORRECTPARM) == 6);
static_assert(sizeof(AP4_FFTPARM) == 8);

uint16_t ap4b_ApplyFunction(AP4_ARRAY* array, AP4_RANGE range, AP4_ELEMENTFUNCTION function);         // 63
AP4_ARRAY* ap4b_RangeTransform(const AP4_ARRAY* array, const AP4_TRANSFORMPARM* transform);           // 64
// Central differences along the columns over (2h); the edge columns of the
// array repeat their inner neighbour's. Null for fewer than 4 columns or a
// spacing that is about 0 or not finite.
AP4_ARRAY* ap4b_Derivative(const AP4_ARRAY* array, AP4_RANGE range, float spacing);                   // 67
AP4_ARRAY* ap4b_SecondDerivative(const AP4_ARRAY* array, AP4_RANGE range, float spacing);             // 68
// Quadratic Savitzky-Golay smoothing along the columns with an odd window
// of 5 to 25 points, narrowing towards the edges of the array.
AP4_ARRAY* ap4b_SGSmooth(const AP4_ARRAY* array, AP4_RANGE range, int32_t window);                    // 69
// Gaussian elimination with full pivoting: 1.0 for an array that is not
// square, 0.0 for a singular one.
float ap4b_Determinant(const AP4_ARRAY* array);                                                        // 82

// The interferogram toolkit works on one-row arrays only.
// Pads to (with a ramp from the last value back towards the first) or cuts
// to 2^k points, rotates the centre burst to point 0 and transforms.
uint16_t ap4b_ResizeRow(AP4_ARRAY* array, uint16_t k, int32_t centre);                                 // 71
// Optional single-sided ramp, then the window of the kind, around a centre
// that lies in the left half.
uint16_t ap4b_Apodize(AP4_ARRAY* array, int16_t kind, int16_t ramp, int32_t centre);                  // 72
// As ap4b_Apodize over the segment left when the zeros at both ends are
// trimmed, made symmetric about the centre where it can be.
uint16_t ap4b_ApodizeTrimmed(AP4_ARRAY* array, int16_t kind, int16_t ramp, uint32_t unused, int32_t centre);
AP4_ARRAY* ap4b_Phase(const AP4_ARRAY* array, int32_t length, uint16_t k, uint16_t kind, int32_t centre,
                      uint16_t mode);                                                                  // 73
uint16_t ap4b_PhaseCorrect(AP4_ARRAY* array, int16_t mode, const AP4_ARRAY* phase);                   // 74
// 16 to 262144 points, a power of two.
uint16_t ap4b_FFT(AP4_ARRAY* array, int16_t direction, int16_t kind);                                  // 75

// Truncation toward zero as the library's run-time does it: a NaN or a value
// outside the 32-bit range gives INT32_MIN.
int32_t ap1_TruncateToInt32(double value);

// ---------------------------------------------------------------------------
// DATAPAIR class (AP9): a growable list of (tag, x, y) points with the
// curves and polynomial fits made through them

constexpr uint16_t AP9_CLASS_ID = 9;

// DATAPAIR object, 14 bytes, a cell of the class heap "AP9_DATAPAIR".
//   0  2  class id 9
//   2  4  the object's AP2 part
//   6  4  number of pairs
//  10  4  GU3 handle of the pair block (16-byte entries), 0 without pairs;
//         the block may hold more entries than there are pairs
#pragma pack(push, 2)
struct AP9_DATAPAIR {
  AP_OBJECT head;
  uint32_t count;
  GU3_HANDLE pairs;
};
#pragma pack(pop)
static_assert(sizeof(AP9_DATAPAIR) == 14);

// Pair entry, 16 bytes, in memory and in a file alike.
//   0  2  tag
//   2  6  reserved: kept as read, zero in a new entry
//   8  4  x, f32
//  12  4  y, f32
#pragma pack(push, 2)
struct AP9_PAIR {
  uint16_t tag;
  uint8_t reserved[6];
  float x;
  float y;
};
#pragma pack(pop)
static_assert(sizeof(AP9_PAIR) == 16);

// Stored form, inside a section of a native file, little-endian:
//   0  4  number of pairs n, u32
//   4     n pair entries as in memory
// then the AP2 part's stored form (nothing).

constexpr uint16_t AP9_MSG_GET_COUNT = 36;
constexpr uint16_t AP9_MSG_GET_PAIR = 37;
constexpr uint16_t AP9_MSG_SET_PAIR = 38;
constexpr uint16_t AP9_MSG_INSERT_PAIRS = 39;
constexpr uint16_t AP9_MSG_DELETE_PAIRS = 40;
constexpr uint16_t AP9_MSG_TO_DEVICE_POINTS = 41;
constexpr uint16_t AP9_MSG_POLY_FIT_NORMAL = 42;
constexpr uint16_t AP9_MSG_INTERPOLATE = 43;
constexpr uint16_t AP9_MSG_INTERPOLATE_SMOOTH = 44;
constexpr uint16_t AP9_MSG_SORT = 45;
constexpr uint16_t AP9_MSG_REJECT_OUTLIERS = 48;
constexpr uint16_t AP9_MSG_RATIO_FIT = 49;

// Index of messages 39 and 40 that stands for the end of the list (39) or
// the whole list (40).
constexpr uint32_t AP9_ALL = 0xFFFFFFFF;
// Sort keys and the one order message 45 takes.
constexpr uint16_t AP9_KEY_X = 0;
constexpr uint16_t AP9_KEY_Y = 1;
constexpr uint16_t AP9_KEY_TAG = 2;
constexpr int16_t AP9_ASCENDING = -1;
// Message 42's order plus this also replaces each y by the fitted value.
constexpr uint16_t AP9_REPLACE_FITTED = 1000;
constexpr int16_t AP9_MAX_ORDER = 16;

// Status of ap9_SolveSymmetricSystem.
constexpr int16_t AP9_SOLVE_OK = 0;
constexpr int16_t AP9_SOLVE_TOO_LARGE = 101;
constexpr int16_t AP9_SOLVE_ZERO_PIVOT = 102;
constexpr int16_t AP9_SOLVE_ZERO_FIRST = 103;
constexpr int16_t AP9_SOLVE_ZERO_DIAGONAL = 104;

#pragma pack(push, 2)
// Message 2.
struct AP9_ALLOCPARM {
  AP_OBJECT* owner;
  uint32_t count;
};
// Message 4: the number of pairs and the window that initialises the AP2 part.
struct AP9_NEWPARM {
  uint32_t count;
  HWND window;
};
// Message 37: any out address may not be null.
struct AP9_GETPARM {
  uint32_t index;
  uint16_t* tag;
  float* x;
  float* y;
};
// Message 38.
struct AP9_SETPARM {
  uint32_t index;
  uint16_t tag;
  float x;
  float y;
};
// Messages 39 and 40.
struct AP9_SPANPARM {
  uint32_t index;
  int32_t count;
};
// Message 41: the data window, the device window and where the device
// coordinates of the pairs go (one u16 per pair each).
struct AP9_DEVICEPARM {
  float x1;
  float x2;
  float y1;
  float y2;
  int16_t px1;
  int16_t px2;
  int16_t py1;
  int16_t py2;
  uint16_t* xs;
  uint16_t* ys;
};
// Messages 43 and 44: n points from start to end; sort the pairs by x first
// when `sort` is not 0.
struct AP9_CURVEPARM {
  float start;
  float end;
  int32_t n;
  uint16_t sort;
};
// Message 45.
struct AP9_SORTPARM {
  uint16_t key;
  int16_t order;
};
// Message 48: the polynomial's coefficients as one column, c0 first; the
// side (2 exchanges the limits above and below) and the level.
struct AP9_OUTLIERPARM {
  AP4_ARRAY* coefficients;
  int16_t side;
  int16_t level;
};
#pragma pack(pop)
static_assert(sizeof(AP9_ALLOCPARM) == 8);
static_assert(sizeof(AP9_NEWPARM) == 8);
static_assert(sizeof(AP9_GETPARM) == 16);
static_assert(sizeof(AP9_SETPARM) == 14);
static_assert(sizeof(AP9_SPANPARM) == 8);
static_assert(sizeof(AP9_DEVICEPARM) == 32);
static_assert(sizeof(AP9_CURVEPARM) == 14);
static_assert(sizeof(AP9_SORTPARM) == 4);
static_assert(sizeof(AP9_OUTLIERPARM) == 8);

APEXPORT uint32_t AP9_Dispatcher_DATAPAIR(void* object, uint16_t message, void* parameter);

uint16_t ap9_InitClass(uint16_t class_id);
uint16_t ap9_TermClass(uint16_t class_id);

// True for a readable object of class 9.
bool ap9_is_datapair(const void* object);
// The pair entries, null without a block.
AP9_PAIR* ap9_pairs(const AP9_DATAPAIR* pairs);

AP9_DATAPAIR* ap9_Allocate(uint16_t class_id, AP_OBJECT* owner, uint32_t count);                       // 2
AP9_DATAPAIR* ap9_New(uint16_t class_id, uint32_t count, HWND window);                                // 4
uint32_t ap9_Destroy(AP9_DATAPAIR* pairs, HWND window);                                               // 5
AP9_DATAPAIR* ap9_Duplicate(AP9_DATAPAIR* pairs, HWND window);                                        // 6
uint32_t ap9_GetSize(AP9_DATAPAIR* pairs);                                                            // 7
AP9_DATAPAIR* ap9_Read(void* object, void* file, uint16_t create);                                    // 17
uint16_t ap9_Write(const AP9_DATAPAIR* pairs, void* file);                                            // 18
uint16_t ap9_Copy(AP9_DATAPAIR* pairs, AP9_DATAPAIR* target, HWND window);                            // 22
uint32_t ap9_GetCount(const AP9_DATAPAIR* pairs);                                                     // 36
uint16_t ap9_GetPair(const AP9_DATAPAIR* pairs, uint32_t index, uint16_t* tag, float* x, float* y);   // 37
uint16_t ap9_SetPair(AP9_DATAPAIR* pairs, uint32_t index, uint16_t tag, float x, float y);            // 38
uint16_t ap9_InsertPairs(AP9_DATAPAIR* pairs, uint32_t index, int32_t count);                         // 39
uint16_t ap9_DeletePairs(AP9_DATAPAIR* pairs, uint32_t index, uint32_t count);                        // 40
uint16_t ap9_ToDevicePoints(const AP9_DATAPAIR* pairs, const AP9_DEVICEPARM* window);                 // 41
uint16_t ap9_Sort(AP9_DATAPAIR* pairs, uint16_t key, int16_t order);                                  // 45

// Curves and fits; each result is a new ARRAY, null on failure.
AP4_ARRAY* ap9_PolyFitNormal(AP9_DATAPAIR* pairs, uint16_t order);                                    // 42
AP4_ARRAY* ap9_Interpolate(AP9_DATAPAIR* pairs, float start, float end, int32_t n, uint16_t sort);    // 43
AP4_ARRAY* ap9_InterpolateSmooth(AP9_DATAPAIR* pairs, float start, float end, uint32_t n, uint16_t sort);  // 44
int16_t ap9_RejectOutliers(AP9_DATAPAIR* pairs, const AP4_ARRAY* coefficients, int16_t side, int16_t level);  // 48
AP4_ARRAY* ap9_RatioFit(const AP9_DATAPAIR* pairs, int16_t order);                                    // 49
// The least-squares polynomial y = sum c_k x^k of the order through the
// pseudo-inverse: an (order + 1) × 1 ARRAY of c0..c_order.
AP4_ARRAY* ap9_PolyFit(const AP9_DATAPAIR* pairs, int16_t order);
// Solves the symmetric system of n equations (n × n row-major, only the
// lower triangle read) by an L D Lᵀ factorisation without pivoting;
// matrix and right-hand side are used as work space. AP9_SOLVE_OK or the
// status of the failure.
int16_t ap9_SolveSymmetricSystem(int16_t n, double* matrix, double* rhs, double* solution);

// Begin-change on a DATAPAIR when made, end-change when the scope ends.
class ap9_change_bracket {
 public:
  explicit ap9_change_bracket(const AP9_DATAPAIR* pairs)
      : part_(reinterpret_cast<AP2_OBJECT*>(pairs->head.parent)), begun_(ap2_BeginChange_OBJ(part_) != 0) {}
  ~ap9_change_bracket() {
    if (begun_) ap2_EndChange_OBJ(part_);
  }
  ap9_change_bracket(const ap9_change_bracket&) = delete;
  ap9_change_bracket& operator=(const ap9_change_bracket&) = delete;
  bool begun() const { return begun_; }

 private:
  AP2_OBJECT* part_;
  bool begun_;
};

// Refines a peak found at (row, column) by the parabola fitted to the
// window of points around it (direction 1 a maximum, 2 a minimum): the
// vertex's column and value, or the column and its element as they are.
void ap4c_RefinePeakParabola(const AP4_ARRAY* array, int32_t row, int32_t column, int16_t direction, int16_t window,
                             float* position, float* value);

// The file reads of a stored block: a read that asks for more bytes than the
// file holds after its position (false when the file cannot tell), and the
// mark on a file object of a block cut short.
bool ap4a_falls_short(void* file, uint32_t bytes);
void ap4a_cut_short(void* file);

// ---------------------------------------------------------------------------
// Signal and pair operations of the ARRAY class

constexpr uint16_t AP4_MSG_PEAK_SEARCH_SORTED = 70;
constexpr uint16_t AP4_MSG_PLOT_MIN_MAX = 77;
constexpr uint16_t AP4_MSG_REGRESSION_SLOPE = 78;
constexpr uint16_t AP4_MSG_PROJECTION_RESIDUAL = 83;
constexpr uint16_t AP4_MSG_PEAK_SEARCH = 112;
constexpr uint16_t AP4_MSG_KRONECKER_PRODUCT = 352;
constexpr uint16_t AP4_MSG_FFT_CONVOLVE = 79;
constexpr uint16_t AP4_MSG_BYTE_IMAGE = 66;
constexpr uint16_t AP4_MSG_SELF_DECONVOLVE = 76;
constexpr uint16_t AP4_MSG_EXTRACT_FACTORS = 81;

#pragma pack(push, 2)
// A peak of the peak search's table, 16 bytes: positions are columns of the
// array with fractions.
struct AP4_PEAK {
  float position;      // refined
  float value;         // refined
  float raw_position;  // as the search found it
  float raw_value;
};
// Messages 70 and 112 (112 reads the sort flag after the table; 70 always
// sorts): a one-row range, the threshold a peak must exceed, the kernel's
// hysteresis, the direction (2 = downward peaks), the table's capacity, the
// flag set when the table was full and the table.
struct AP4_PEAKSEARCHPARM {
  AP4_RANGE range;
  float threshold;
  float kernel_value;
  uint16_t direction;
  uint32_t capacity;
  uint16_t* full;
  AP4_PEAK* table;
  uint16_t sort;
};
// Message 83: a one-row range of this array and the array whose rows it is
// projected onto.
struct AP4_PROJECTIONPARM {
  AP4_RANGE range;
  AP4_ARRAY* basis;
};
// Message 77: a one-row range (from right to left draws it mirrored), the
// y limits, the pixel columns and height, the range's x limits and where
// the device rows of each pixel column's lowest and highest value go.
struct AP4_PLOTPARM {
  AP4_RANGE range;
  float y_low;
  float y_high;
  int16_t pixels;
  int16_t height;
  float x1;
  float x2;
  uint16_t* minima;
  uint16_t* maxima;
};
// Message 79: the range (its size only; the result starts at column 0),
// the odd-length one-row kernel and the mode (0 convolution, 1 division).
struct AP4_CONVOLVEPARM {
  AP4_RANGE range;
  AP4_ARRAY* kernel;
  uint16_t mode;
};
// Message 66: the range, the values of the lowest and highest level
// (missing: the array's minimum or maximum), the image's rows and columns
// and the number of levels (1 or 2).
struct AP4_BYTEIMAGEPARM {
  AP4_RANGE range;
  float low;
  float high;
  int16_t rows;
  int16_t columns;
  uint16_t levels;
};
// Message 76: a range in one row, the band's half width in points, the
// enhancement factor, the window mode (below 8) and the half length of the
// transform (0: the largest).
struct AP4_DECONVOLVEPARM {
  AP4_RANGE range;
  float half_width;
  float factor;
  uint16_t mode;
  uint32_t points;
};
// Message 81: the number of factors wanted, the share of the total (in
// per cent) after which extraction stops, the mode (1 and 2: a square
// cross-product matrix; 3: scores not normalised) and where the scores,
// loadings, eigenvalues, total and number found go.
struct AP4_FACTORPARM {
  int32_t count;
  float percentage;
  uint16_t mode;
  AP4_ARRAY** scores;
  AP4_ARRAY** loadings;
  AP4_ARRAY** eigenvalues;
  float* total;
  uint32_t* found;
  uint32_t unused;
};
#pragma pack(pop)
static_assert(sizeof(AP4_PLOTPARM) == 44);
static_assert(sizeof(AP4_PEAK) == 16);
static_assert(sizeof(AP4_PEAKSEARCHPARM) == 40);
static_assert(sizeof(AP4_PROJECTIONPARM) == 20);
static_assert(sizeof(AP4_CONVOLVEPARM) == 22);
static_assert(sizeof(AP4_BYTEIMAGEPARM) == 30);
static_assert(sizeof(AP4_DECONVOLVEPARM) == 30);
static_assert(sizeof(AP4_FACTORPARM) == 34);

// The number of peaks entered, largest first unless sorted by position
// (sort 1); -1 for a range that is not one row, 0 without the flag or table.
int32_t ap4b_PeakSearch(const AP4_ARRAY* array, AP4_RANGE range, float threshold, float kernel_value,
                        uint16_t direction, uint32_t capacity, uint16_t* full, AP4_PEAK* table,
                        uint16_t sort);                                                                // 70 112
// The slope of the regression of the first range on the second, each about
// its own mean; 1 when a pair of present values took part (the slope is
// written either way), 0 for ranges that are not one row of the same
// length of at least 2.
uint16_t ap4b_RegressionSlope(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other, AP4_RANGE other_range,
                              float* slope);                                                           // 78
// One u16 device row per pixel column for its lowest and its highest value,
// 0x8000 for a pixel column without values; a row beyond 16 bits is held
// at 32767 or marked as without values.
uint16_t ap4b_PlotMinMax(const AP4_ARRAY* array, AP4_RANGE range, float y_low, float y_high, int16_t pixels,
                         int16_t height, float x1, float x2, uint16_t* minima, uint16_t* maxima);         // 77
// Positions where both one-row ranges hold a present value; 0 when refused.
uint32_t ap4b_CountValidPairs(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* other,
                              AP4_RANGE other_range);
AP4_ARRAY* ap4b_ProjectionResidual(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* basis);  // 83
// Missing where either factor is.
AP4_ARRAY* ap4b_KroneckerProduct(const AP4_ARRAY* array, const AP4_ARRAY* other);                    // 352
// Each run of missing values becomes the line between its neighbours, or
// the one neighbour it has, or 0 without any.
uint16_t ap4b_FillNaNGaps(AP4_ARRAY* array);
// The row convolved with the kernel centred on each point (mode 0), or the
// row whose convolution with this one gives the kernel (mode 1); the range's
// columns from column 0. Null for an even or too long kernel, a row or
// padded length the transform does not take, or (division) a frequency at
// which the row is 0.
AP4_ARRAY* ap4b_FFTConvolve(const AP4_ARRAY* array, AP4_RANGE range, const AP4_ARRAY* kernel,
                            uint16_t mode);                                                           // 79
// A block of rows × columns bytes, the range resampled onto that grid and
// each point quantised between low and high; null for a one-row array,
// counts below 1 or levels other than 1 and 2.
GU3_HANDLE ap4b_ByteImage(const AP4_ARRAY* array, AP4_RANGE range, float low, float high, int16_t rows,
                          int16_t columns, uint16_t levels);                                           // 66
// The range (one row of any array, gaps filled, less the line through its
// ends) with its bands narrowed by the factor; as many points as the range,
// those past the transform's half length 0, and the range's sum. Null for
// a mode of 8 or more, a range over several rows, a factor that is not
// positive or a length the transform does not take.
AP4_ARRAY* ap4b_FourierSelfDeconvolve(const AP4_ARRAY* array, AP4_RANGE range, float half_width, float factor,
                                      uint16_t mode, uint32_t points);                                // 76
// Up to count factors of the array by iterated principal components, until
// their eigenvalues explain more than the percentage of the total (the sum
// of squares, or the trace in modes 1 and 2): scores (rows × found),
// loadings (columns × found) and eigenvalues (1 × found), all new. 0 and
// nothing delivered on failure.
uint16_t ap4b_ExtractFactors(const AP4_ARRAY* array, int32_t count, float percentage, uint16_t mode,
                             AP4_ARRAY** scores, AP4_ARRAY** loadings, AP4_ARRAY** eigenvalues, float* total,
                             uint32_t* found);                                                         // 81

// ---------------------------------------------------------------------------
// Cells and ranges as the spectrum combinations and baselines call them
// (ap4a.cpp)

// A cell made of its row and column.
AP4_CELL ap4a_MakeCell(int32_t row, int32_t column);
// Message 38 with the cell given as row and column.
uint16_t ap4a_SetElements(AP4_ARRAY* array, int32_t row, int32_t column, float value);
// Message 40 seen from the receiving end: the source's range copied into
// this array from the cell `at` on; 0 when it does not fit.
uint16_t ap4a_CopyRangeFrom(AP4_ARRAY* array, AP4_CELL at, const AP4_ARRAY* source, AP4_RANGE range);
