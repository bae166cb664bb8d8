// MATH helpers for statistics, random numbers, typed comparison and split
// segments: the critical values of Student's t and of F at the 0.05 level
// from built-in tables with interpolation in 1/df, the two published
// uniform generators (Park and Miller's minimal standard with a Bays-Durham
// shuffle, and Knuth's subtractive generator), the comparison of two values
// of a storage type under an operator that the parameter tables and lists
// use, and the division of an X range into segments of different point
// densities.
//
// Owns the generators' state, which lives for the process and is unguarded.
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "array/array.h"
#include "platform/codepage.h"

namespace {

// ---------------------------------------------------------------------------
// Tables

// Student's t at the 0.05 level: df, two-sided (t 0.975) and one-sided
// (t 0.95), to three decimals; the last row stands for infinity.
struct TRow {
  int32_t df;
  float two_sided;
  float one_sided;
};
constexpr TRow kTTable[] = {
    {1, 12.706f, 6.314f}, {2, 4.303f, 2.920f},  {3, 3.182f, 2.353f},  {4, 2.776f, 2.132f},  {5, 2.571f, 2.015f},
    {6, 2.447f, 1.943f},  {7, 2.365f, 1.895f},  {8, 2.306f, 1.860f},  {9, 2.262f, 1.833f},  {10, 2.228f, 1.812f},
    {11, 2.201f, 1.796f}, {12, 2.179f, 1.782f}, {13, 2.160f, 1.771f}, {14, 2.145f, 1.761f}, {15, 2.131f, 1.753f},
    {16, 2.120f, 1.746f}, {17, 2.110f, 1.740f}, {18, 2.101f, 1.734f}, {19, 2.093f, 1.729f}, {20, 2.086f, 1.725f},
    {21, 2.080f, 1.721f}, {22, 2.074f, 1.717f}, {23, 2.069f, 1.714f}, {24, 2.064f, 1.711f}, {25, 2.060f, 1.708f},
    {26, 2.056f, 1.706f}, {27, 2.052f, 1.703f}, {28, 2.048f, 1.701f}, {29, 2.045f, 1.699f}, {30, 2.042f, 1.697f},
    {40, 2.021f, 1.684f}, {60, 2.000f, 1.671f}, {120, 1.980f, 1.658f}, {AP1_INFINITE_DF, 1.960f, 1.645f},
};
constexpr size_t kTRows = std::size(kTTable);

// Upper 0.05 critical values of F to three significant digits, by
// denominator df2 (rows) and numerator df1 (columns).
constexpr int32_t kFNumerator[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 15, 20, 24, 30, 40, 60, 120, AP1_INFINITE_DF};
constexpr int32_t kFDenominator[] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13,  14, 15,
                                     16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 30, 40, 60, 120, AP1_INFINITE_DF};
constexpr size_t kFColumns = std::size(kFNumerator);
constexpr size_t kFRows = std::size(kFDenominator);
constexpr float kFTable[kFRows][kFColumns] = {
    {161.0f, 200.0f, 216.0f, 225.0f, 230.0f, 234.0f, 237.0f, 239.0f, 241.0f, 242.0f, 244.0f, 246.0f, 248.0f, 249.0f, 250.0f, 251.0f, 252.0f, 253.0f, 254.0f},  // df2 1
    {18.5f, 19.0f, 19.2f, 19.2f, 19.3f, 19.3f, 19.4f, 19.4f, 19.4f, 19.4f, 19.4f, 19.4f, 19.4f, 19.5f, 19.5f, 19.5f, 19.5f, 19.5f, 19.5f},  // df2 2
    {10.1f, 9.55f, 9.28f, 9.12f, 9.01f, 8.94f, 8.89f, 8.85f, 8.81f, 8.79f, 8.74f, 8.70f, 8.66f, 8.64f, 8.62f, 8.59f, 8.57f, 8.55f, 8.53f},  // df2 3
    {7.71f, 6.94f, 6.59f, 6.39f, 6.26f, 6.16f, 6.09f, 6.04f, 6.00f, 5.96f, 5.91f, 5.86f, 5.80f, 5.77f, 5.75f, 5.72f, 5.69f, 5.66f, 5.63f},  // df2 4
    {6.61f, 5.79f, 5.41f, 5.19f, 5.05f, 4.95f, 4.88f, 4.82f, 4.77f, 4.74f, 4.68f, 4.62f, 4.56f, 4.53f, 4.50f, 4.46f, 4.43f, 4.40f, 4.36f},  // df2 5
    {5.99f, 5.14f, 4.76f, 4.53f, 4.39f, 4.28f, 4.21f, 4.15f, 4.10f, 4.06f, 4.00f, 3.94f, 3.87f, 3.84f, 3.81f, 3.77f, 3.74f, 3.70f, 3.67f},  // df2 6
    {5.59f, 4.74f, 4.35f, 4.12f, 3.97f, 3.87f, 3.79f, 3.73f, 3.68f, 3.64f, 3.57f, 3.51f, 3.44f, 3.41f, 3.38f, 3.34f, 3.30f, 3.27f, 3.23f},  // df2 7
    {5.32f, 4.46f, 4.07f, 3.84f, 3.69f, 3.58f, 3.50f, 3.44f, 3.39f, 3.35f, 3.28f, 3.22f, 3.15f, 3.12f, 3.08f, 3.04f, 3.01f, 2.97f, 2.93f},  // df2 8
    {5.12f, 4.26f, 3.86f, 3.63f, 3.48f, 3.37f, 3.29f, 3.23f, 3.18f, 3.14f, 3.07f, 3.01f, 2.94f, 2.90f, 2.86f, 2.83f, 2.79f, 2.75f, 2.71f},  // df2 9
    {4.96f, 4.10f, 3.71f, 3.48f, 3.33f, 3.22f, 3.14f, 3.07f, 3.02f, 2.98f, 2.91f, 2.85f, 2.77f, 2.74f, 2.70f, 2.66f, 2.62f, 2.58f, 2.54f},  // df2 10
    {4.84f, 3.98f, 3.59f, 3.36f, 3.20f, 3.09f, 3.01f, 2.95f, 2.90f, 2.85f, 2.79f, 2.72f, 2.65f, 2.61f, 2.57f, 2.53f, 2.49f, 2.45f, 2.40f},  // df2 11
    {4.75f, 3.89f, 3.49f, 3.26f, 3.11f, 3.00f, 2.91f, 2.85f, 2.80f, 2.75f, 2.69f, 2.62f, 2.54f, 2.51f, 2.47f, 2.43f, 2.38f, 2.34f, 2.30f},  // df2 12
    {4.67f, 3.81f, 3.41f, 3.18f, 3.03f, 2.92f, 2.83f, 2.77f, 2.71f, 2.67f, 2.60f, 2.53f, 2.46f, 2.42f, 2.38f, 2.34f, 2.30f, 2.25f, 2.21f},  // df2 13
    {4.60f, 3.74f, 3.34f, 3.11f, 2.96f, 2.85f, 2.76f, 2.70f, 2.65f, 2.60f, 2.53f, 2.46f, 2.39f, 2.35f, 2.31f, 2.27f, 2.22f, 2.18f, 2.13f},  // df2 14
    {4.54f, 3.68f, 3.29f, 3.06f, 2.90f, 2.79f, 2.71f, 2.64f, 2.59f, 2.54f, 2.48f, 2.40f, 2.33f, 2.29f, 2.25f, 2.20f, 2.16f, 2.11f, 2.07f},  // df2 15
    {4.49f, 3.63f, 3.24f, 3.01f, 2.85f, 2.74f, 2.66f, 2.59f, 2.54f, 2.49f, 2.42f, 2.35f, 2.28f, 2.24f, 2.19f, 2.15f, 2.11f, 2.06f, 2.01f},  // df2 16
    {4.45f, 3.59f, 3.20f, 2.96f, 2.81f, 2.70f, 2.61f, 2.55f, 2.49f, 2.45f, 2.38f, 2.31f, 2.23f, 2.19f, 2.15f, 2.10f, 2.06f, 2.01f, 1.96f},  // df2 17
    {4.41f, 3.55f, 3.16f, 2.93f, 2.77f, 2.66f, 2.58f, 2.51f, 2.46f, 2.41f, 2.34f, 2.27f, 2.19f, 2.15f, 2.11f, 2.06f, 2.02f, 1.97f, 1.92f},  // df2 18
    {4.38f, 3.52f, 3.13f, 2.90f, 2.74f, 2.63f, 2.54f, 2.48f, 2.42f, 2.38f, 2.31f, 2.23f, 2.16f, 2.11f, 2.07f, 2.03f, 1.98f, 1.93f, 1.88f},  // df2 19
    {4.35f, 3.49f, 3.10f, 2.87f, 2.71f, 2.60f, 2.51f, 2.45f, 2.39f, 2.35f, 2.28f, 2.20f, 2.12f, 2.08f, 2.04f, 1.99f, 1.95f, 1.90f, 1.84f},  // df2 20
    {4.32f, 3.47f, 3.07f, 2.84f, 2.68f, 2.57f, 2.49f, 2.42f, 2.37f, 2.32f, 2.25f, 2.18f, 2.10f, 2.05f, 2.01f, 1.96f, 1.92f, 1.87f, 1.81f},  // df2 21
    {4.30f, 3.44f, 3.05f, 2.82f, 2.66f, 2.55f, 2.46f, 2.40f, 2.34f, 2.30f, 2.23f, 2.15f, 2.07f, 2.03f, 1.98f, 1.94f, 1.89f, 1.84f, 1.78f},  // df2 22
    {4.28f, 3.42f, 3.03f, 2.80f, 2.64f, 2.53f, 2.44f, 2.37f, 2.32f, 2.27f, 2.20f, 2.13f, 2.05f, 2.01f, 1.96f, 1.91f, 1.86f, 1.81f, 1.76f},  // df2 23
    {4.26f, 3.40f, 3.01f, 2.78f, 2.62f, 2.51f, 2.42f, 2.36f, 2.30f, 2.25f, 2.18f, 2.11f, 2.03f, 1.98f, 1.94f, 1.89f, 1.84f, 1.79f, 1.73f},  // df2 24
    {4.24f, 3.39f, 2.99f, 2.76f, 2.60f, 2.49f, 2.40f, 2.34f, 2.28f, 2.24f, 2.16f, 2.09f, 2.01f, 1.96f, 1.92f, 1.87f, 1.82f, 1.77f, 1.71f},  // df2 25
    {4.17f, 3.32f, 2.92f, 2.69f, 2.53f, 2.42f, 2.33f, 2.27f, 2.21f, 2.16f, 2.09f, 2.01f, 1.93f, 1.89f, 1.84f, 1.79f, 1.74f, 1.68f, 1.62f},  // df2 30
    {4.08f, 3.23f, 2.84f, 2.61f, 2.45f, 2.34f, 2.25f, 2.18f, 2.12f, 2.08f, 2.00f, 1.92f, 1.84f, 1.79f, 1.74f, 1.69f, 1.64f, 1.58f, 1.51f},  // df2 40
    {4.00f, 3.15f, 2.76f, 2.53f, 2.37f, 2.25f, 2.17f, 2.10f, 2.04f, 1.99f, 1.92f, 1.84f, 1.75f, 1.70f, 1.65f, 1.59f, 1.53f, 1.47f, 1.39f},  // df2 60
    {3.92f, 3.07f, 2.68f, 2.45f, 2.29f, 2.18f, 2.09f, 2.02f, 1.96f, 1.91f, 1.83f, 1.75f, 1.66f, 1.61f, 1.55f, 1.50f, 1.43f, 1.35f, 1.25f},  // df2 120
    {3.84f, 3.00f, 2.60f, 2.37f, 2.21f, 2.10f, 2.01f, 1.94f, 1.88f, 1.83f, 1.75f, 1.67f, 1.57f, 1.52f, 1.46f, 1.39f, 1.32f, 1.22f, 1.00f},  // df2 infinity
};

// Where a df stands in a table's list: its own entry, or the first greater
// one (the last, infinity, when none is greater). Callers have refused df
// below the first entry, so a place that is not exact is never the first.
struct Place {
  size_t index;
  bool exact;
};

template <typename DfOf>
Place ap1b_place(size_t count, int32_t df, DfOf df_of) {
  for (size_t i = 0; i < count; ++i) {
    if (df_of(i) == df) return Place{i, true};
    if (df_of(i) > df) return Place{i, false};
  }
  return Place{count - 1, false};
}

// Linear interpolation in 1/df between the entries i - 1 and i of a list,
// the last entry's 1/df being 0.
template <typename DfOf>
double ap1b_interpolate(size_t count, size_t i, int32_t df, DfOf df_of, double v_before, double v_at) {
  const double x = 1.0 / df;
  const double x_at = i + 1 == count ? 0.0 : 1.0 / df_of(i);
  const double x_before = 1.0 / df_of(i - 1);
  return (x - x_at) / (x_before - x_at) * (v_before - v_at) + v_at;
}

int32_t ap1b_numerator(size_t i) { return kFNumerator[i]; }
int32_t ap1b_denominator(size_t i) { return kFDenominator[i]; }

// F along one row of the table, exact or interpolated in 1/df1.
double ap1b_f_in_row(size_t row, Place column, int32_t df1) {
  if (column.exact) return kFTable[row][column.index];
  return ap1b_interpolate(kFColumns, column.index, df1, ap1b_numerator, kFTable[row][column.index - 1],
                          kFTable[row][column.index]);
}

// ---------------------------------------------------------------------------
// Generators

// Park and Miller's minimal standard, by Schrage's method.
constexpr int32_t kRan1Multiplier = 16807;
constexpr int32_t kRan1Modulus = 2147483647;
constexpr int32_t kRan1Quotient = 127773;
constexpr int32_t kRan1Remainder = 2836;
constexpr int kRan1Table = 32;
constexpr int kRan1WarmUp = 8;
constexpr int32_t kRan1Divisor = 1 + (kRan1Modulus - 1) / kRan1Table;  // 67108864
constexpr double kRan1Scale = 4.656613e-10;
constexpr float kRan1Largest = 0.9999999f;

int32_t g_ran1_last = 0;
int32_t g_ran1_table[kRan1Table];

int32_t ap1b_park_miller(int32_t seed) {
  const int32_t k = seed / kRan1Quotient;
  int32_t next = kRan1Multiplier * (seed - k * kRan1Quotient) - kRan1Remainder * k;
  if (next < 0) next += kRan1Modulus;
  return next;
}

// Knuth's subtractive generator.
constexpr int32_t kRan3Modulus = 1000000000;
constexpr int32_t kRan3Seed = 161803398;
constexpr int kRan3Entries = 55;
constexpr int kRan3Lag = 31;
constexpr int kRan3Spread = 21;

int32_t g_ran3[kRan3Entries + 1];
int g_ran3_next = 0;
int g_ran3_lagged = 0;
bool g_ran3_set_up = false;

int32_t ap1b_wrap(int32_t value) { return value < 0 ? value + kRan3Modulus : value; }

void ap1b_ran3_set_up(int32_t seed) {
  // Both magnitudes: a seed beyond the constant would start the table below
  // 0, and the deviates would leave [0, 1).
  int32_t mj = static_cast<int32_t>(std::llabs(kRan3Seed - std::llabs(static_cast<int64_t>(seed))) % kRan3Modulus);
  g_ran3[kRan3Entries] = mj;
  int32_t mk = 1;
  for (int i = 1; i < kRan3Entries; ++i) {
    const int ii = (kRan3Spread * i) % kRan3Entries;
    g_ran3[ii] = mk;
    mk = ap1b_wrap(mj - mk);
    mj = g_ran3[ii];
  }
  for (int pass = 0; pass < 4; ++pass) {
    for (int k = 1; k <= kRan3Entries; ++k) g_ran3[k] = ap1b_wrap(g_ran3[k] - g_ran3[1 + (k + 30) % kRan3Entries]);
  }
  g_ran3_next = 0;
  g_ran3_lagged = kRan3Lag;
  g_ran3_set_up = true;
}

// ---------------------------------------------------------------------------
// Comparison

// Whether the operator holds between two values in the relation given:
// less, greater, equal (exact for integers, tolerant for floats).
bool ap1b_relation(bool less, bool greater, bool equal, uint16_t op) {
  switch (op) {
    case AP1_OP_LESS: return less;
    case AP1_OP_GREATER: return greater;
    case AP1_OP_EQUAL: return equal;
    case AP1_OP_LESS_EQUAL: return less || equal;
    case AP1_OP_GREATER_EQUAL: return greater || equal;
    case AP1_OP_NOT_EQUAL: return !equal;
    default: return false;
  }
}

template <typename T>
bool ap1b_holds(T a, T b, uint16_t op) {
  return ap1b_relation(a < b, a > b, a == b, op);
}

// Case-insensitive order of the first `length` bytes of two texts.
int ap1b_order(const uint8_t* a, const uint8_t* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const int difference = std::tolower(a[i]) - std::tolower(b[i]);
    if (difference != 0) return difference;
  }
  return 0;
}

// ---------------------------------------------------------------------------
// Split segments

// Modes: the whole range from high to low (0, 5) or from low to high (3, 4);
// divided at 2000 (1); divided at 2200 and 1000 (2).
constexpr uint16_t kModeHighToLow = 0;
constexpr uint16_t kModeOneBoundary = 1;
constexpr uint16_t kModeTwoBoundaries = 2;
constexpr uint16_t kModeLowToHigh = 3;
constexpr uint16_t kModeLowToHighAlso = 4;
constexpr uint16_t kModeHighToLowAlso = 5;
constexpr float kOneBoundary = 2000.0f;
constexpr float kUpperBoundary = 2200.0f;
constexpr float kLowerBoundary = 1000.0f;

uint16_t ap1b_round(double x) { return static_cast<uint16_t>(std::trunc(x + 0.5)); }

void ap1b_add_segment(AP1_SEGMENTS* out, float start, float end, uint16_t points) {
  out->start[out->count] = start;
  out->end[out->count] = end;
  out->points[out->count] = points;
  ++out->count;
}

// A part of a divided range is written only when it has points.
void ap1b_add_part(AP1_SEGMENTS* out, float start, float end, uint16_t points) {
  if (points != 0) ap1b_add_segment(out, start, end, points);
}

// Two parts on either side of a boundary, the lower with twice the density.
void ap1b_two_parts(AP1_SEGMENTS* out, float hi, float lo, float boundary, uint16_t points) {
  if ((hi >= boundary && lo >= boundary) || (hi <= boundary && lo <= boundary)) {
    ap1b_add_segment(out, hi, lo, points);
    return;
  }
  const double upper = static_cast<double>(hi) - boundary;
  const double lower = static_cast<double>(boundary) - lo;
  const uint16_t n_hi = ap1b_round(points * upper / (upper + 2.0 * lower));
  ap1b_add_part(out, boundary, lo, static_cast<uint16_t>(points - n_hi));
  ap1b_add_part(out, hi, boundary, n_hi);
}

// Three parts at 2200 and 1000 with the densities 1, 2 and 4 from high to low.
void ap1b_three_parts(AP1_SEGMENTS* out, float hi, float lo, uint16_t points) {
  const bool top = hi >= kUpperBoundary && lo >= kUpperBoundary;
  const bool middle = hi <= kUpperBoundary && lo >= kLowerBoundary;
  const bool bottom = hi <= kLowerBoundary && lo <= kLowerBoundary;
  if (top || middle || bottom) {
    ap1b_add_segment(out, hi, lo, points);
  } else if (lo >= kLowerBoundary) {
    ap1b_two_parts(out, hi, lo, kUpperBoundary, points);
  } else if (hi <= kUpperBoundary) {
    ap1b_two_parts(out, hi, lo, kLowerBoundary, points);
  } else {
    const double upper = static_cast<double>(hi) - kUpperBoundary;
    const double lower = 4.0 * (static_cast<double>(kLowerBoundary) - lo);
    const double total = upper + 2.0 * (kUpperBoundary - kLowerBoundary) + lower;
    const uint16_t n_top = ap1b_round(points * upper / total);
    const uint16_t n_bottom = ap1b_round(points * lower / total);
    ap1b_add_part(out, kLowerBoundary, lo, n_bottom);
    ap1b_add_part(out, kUpperBoundary, kLowerBoundary, static_cast<uint16_t>(points - n_top - n_bottom));
    ap1b_add_part(out, hi, kUpperBoundary, n_top);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Statistics tables

APEXPORT float AP1_TStatistic_MATH(int32_t df, int16_t two_sided) {
  if (df <= 0) return AP1_NO_STATISTIC;
  auto df_of = [](size_t i) { return kTTable[i].df; };
  auto value_of = [two_sided](size_t i) { return two_sided != 0 ? kTTable[i].two_sided : kTTable[i].one_sided; };
  const Place place = ap1b_place(kTRows, df, df_of);
  if (place.exact) return value_of(place.index);
  return static_cast<float>(
      ap1b_interpolate(kTRows, place.index, df, df_of, value_of(place.index - 1), value_of(place.index)));
}

APEXPORT float AP1_FStatistic_MATH(int32_t df1, int32_t df2) {
  if (df1 < 1 || df2 <= 0) return AP1_NO_STATISTIC;
  const Place column = ap1b_place(kFColumns, df1, ap1b_numerator);
  const Place row = ap1b_place(kFRows, df2, ap1b_denominator);
  if (row.exact) return static_cast<float>(ap1b_f_in_row(row.index, column, df1));
  return static_cast<float>(ap1b_interpolate(kFRows, row.index, df2, ap1b_denominator,
                                             ap1b_f_in_row(row.index - 1, column, df1),
                                             ap1b_f_in_row(row.index, column, df1)));
}

// ---------------------------------------------------------------------------
// Random numbers

APEXPORT int16_t AP1_Ran1_MATH(int32_t* seed, float* value) {
  if (seed == nullptr || value == nullptr) return 0;
  if (*seed < 1 || g_ran1_last == 0) {
    *seed = -*seed < 1 ? 1 : -*seed;
    for (int j = kRan1Table + kRan1WarmUp - 1; j >= 0; --j) {
      *seed = ap1b_park_miller(*seed);
      if (j < kRan1Table) g_ran1_table[j] = *seed;
    }
    g_ran1_last = g_ran1_table[0];
  }
  *seed = ap1b_park_miller(*seed);
  int32_t j = g_ran1_last / kRan1Divisor;
  if (j < 0) j = 0;
  if (j >= kRan1Table) j = kRan1Table - 1;
  g_ran1_last = g_ran1_table[j];
  g_ran1_table[j] = *seed;
  const float deviate = static_cast<float>(kRan1Scale * g_ran1_last);
  *value = deviate > kRan1Largest ? kRan1Largest : deviate;
  return 1;
}

APEXPORT int16_t AP1_Ran3_MATH(int32_t* seed, float* value) {
  if (seed == nullptr || value == nullptr) return 0;
  if (*seed < 0 || !g_ran3_set_up) {
    ap1b_ran3_set_up(*seed);
    *seed = 1;
  }
  if (++g_ran3_next == kRan3Entries + 1) g_ran3_next = 1;
  if (++g_ran3_lagged == kRan3Entries + 1) g_ran3_lagged = 1;
  const int32_t next = ap1b_wrap(g_ran3[g_ran3_next] - g_ran3[g_ran3_lagged]);
  g_ran3[g_ran3_next] = next;
  *value = static_cast<float>(next * (1.0 / kRan3Modulus));
  return 1;
}

// ---------------------------------------------------------------------------
// Typed comparison

APEXPORT int16_t AP1_Compare_MATH(void* a, uint16_t op, void* b, uint16_t type) {
  if (a == nullptr || b == nullptr) return 0;
  if (op == AP1_OP_ALWAYS) return 1;
  bool holds = false;
  switch (type) {
    case AP1_TYPE_BOOL:
    case AP1_TYPE_I16: holds = ap1b_holds(ap13_load<int16_t>(a), ap13_load<int16_t>(b), op); break;
    case AP1_TYPE_U16: holds = ap1b_holds(ap13_load<uint16_t>(a), ap13_load<uint16_t>(b), op); break;
    case AP1_TYPE_I32: holds = ap1b_holds(ap13_load<int32_t>(a), ap13_load<int32_t>(b), op); break;
    case AP1_TYPE_U32:
    case AP1_TYPE_HANDLE: holds = ap1b_holds(ap13_load<uint32_t>(a), ap13_load<uint32_t>(b), op); break;
    case AP1_TYPE_F32: {
      const float x = ap13_load<float>(a), y = ap13_load<float>(b);
      holds = ap1b_relation(x < y, x > y, AP1_KovFloatCompareSG_MATH(x, y) != 0, op);
      break;
    }
    case AP1_TYPE_F64: {
      const double x = ap13_load<double>(a), y = ap13_load<double>(b);
      holds = ap1b_relation(x < y, x > y, AP1_KovFloatCompareDB_MATH(x, y) != 0, op);
      break;
    }
    case AP1_TYPE_TEXT: holds = ap1b_holds(_stricmp(static_cast<const char*>(a), static_cast<const char*>(b)), 0, op); break;
    case AP1_TYPE_LENGTH_TEXT: {
      // A text equals every longer text that it begins.
      const auto* x = static_cast<const uint8_t*>(a);
      const auto* y = static_cast<const uint8_t*>(b);
      holds = ap1b_holds(ap1b_order(x + 1, y + 1, x[0] < y[0] ? x[0] : y[0]), 0, op);
      break;
    }
    case AP1_TYPE_ADDRESS:
    case AP1_TYPE_LIST:
      if (op == AP1_OP_EQUAL || op == AP1_OP_NOT_EQUAL)
        holds = ap1b_holds(ap13_load<uint32_t>(a), ap13_load<uint32_t>(b), op);
      break;
    default: break;
  }
  return holds ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Split segments

APEXPORT int16_t AP1_DetermineSplitSegments_MATH(uint16_t mode, float x1, float x2, uint16_t points,
                                                 AP1_SEGMENTS* out) {
  if (out == nullptr) return 0;
  *out = AP1_SEGMENTS{};
  const float hi = x1 > x2 ? x1 : x2;
  const float lo = x1 > x2 ? x2 : x1;
  switch (mode) {
    case kModeHighToLow:
    case kModeHighToLowAlso: ap1b_add_segment(out, hi, lo, points); break;
    case kModeLowToHigh:
    case kModeLowToHighAlso: ap1b_add_segment(out, lo, hi, points); break;
    case kModeOneBoundary: ap1b_two_parts(out, hi, lo, kOneBoundary, points); break;
    case kModeTwoBoundaries: ap1b_three_parts(out, hi, lo, points); break;
    default: break;
  }
  return 1;
}
