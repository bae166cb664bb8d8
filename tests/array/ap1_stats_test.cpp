#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"

namespace {

// Linear interpolation in 1/df between two tabulated degrees of freedom
// (0 standing for infinity), as a reader of a printed table does it.
double between(double df, double df_before, double v_before, double df_after, double v_after) {
  const double x = 1.0 / df;
  const double x_before = 1.0 / df_before;
  const double x_after = df_after == 0 ? 0.0 : 1.0 / df_after;
  return (x - x_after) / (x_before - x_after) * (v_before - v_after) + v_after;
}

// ---------------------------------------------------------------------------
// Student's t, from the standard table of critical values at 0.05

struct TCase {
  const char* name;
  int32_t df;
  int16_t two_sided;
  double expected;
};

class TStatistic : public testing::TestWithParam<TCase> {};

TEST_P(TStatistic, LooksUpOrInterpolatesInOneOverDf) {
  const TCase& c = GetParam();
  EXPECT_NEAR(AP1_TStatistic_MATH(c.df, c.two_sided), c.expected, 1e-5 * c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TStatistic,
    testing::Values(TCase{"OneTwoSided", 1, 1, 12.706}, TCase{"OneOneSided", 1, 0, 6.314},
                    TCase{"TenTwoSided", 10, 1, 2.228}, TCase{"TenOneSided", 10, 0, 1.812},
                    TCase{"Thirty", 30, 1, 2.042}, TCase{"HundredTwentyOneSided", 120, 0, 1.658},
                    TCase{"Infinity", 99999, 1, 1.960},
                    TCase{"ThirtyFiveBetweenThirtyAndForty", 35, 1, between(35, 30, 2.042, 40, 2.021)},
                    TCase{"TwoHundredBetween120AndInfinity", 200, 0, between(200, 120, 1.658, 0, 1.645)},
                    TCase{"BeyondTheLastRow", 150000, 1, between(150000, 120, 1.980, 0, 1.960)},
                    TCase{"NoDegrees", 0, 1, 1e20}, TCase{"NegativeDegrees", -4, 0, 1e20}),
    [](const testing::TestParamInfo<TCase>& info) { return std::string(info.param.name); });

TEST(TStatisticRounding, ThirtyFiveGivesTwoPointZeroThree) {
  EXPECT_NEAR(AP1_TStatistic_MATH(35, 1), 2.030, 0.0005);
}

// ---------------------------------------------------------------------------
// F, from the standard table of upper 0.05 critical values

struct FCase {
  const char* name;
  int32_t df1;
  int32_t df2;
  double expected;
};

class FStatistic : public testing::TestWithParam<FCase> {};

TEST_P(FStatistic, LooksUpOrInterpolatesInBothDimensions) {
  const FCase& c = GetParam();
  EXPECT_NEAR(AP1_FStatistic_MATH(c.df1, c.df2), c.expected, 1e-5 * c.expected);
}

// Rows 25 and 30 of the table, columns 10 and 12: 2.24 2.16 / 2.16 2.09.
const double kRow25At11 = between(11, 10, 2.24, 12, 2.16);
const double kRow30At11 = between(11, 10, 2.16, 12, 2.09);

INSTANTIATE_TEST_SUITE_P(
    Cases, FStatistic,
    testing::Values(FCase{"OneOne", 1, 1, 161.0}, FCase{"TwoTwo", 2, 2, 19.0}, FCase{"TenTen", 10, 10, 2.98},
                    FCase{"OneInfinity", 1, 99999, 3.84}, FCase{"InfinityInfinity", 99999, 99999, 1.00},
                    FCase{"InfinityOne", 99999, 1, 254.0}, FCase{"FiveTwenty", 5, 20, 2.71},
                    FCase{"ColumnsTenAndTwelveOfRowThirteen", 11, 13, between(11, 10, 2.67, 12, 2.60)},
                    FCase{"RowsTwentyFiveAndThirtyOfColumnTen", 10, 27, between(27, 25, 2.24, 30, 2.16)},
                    FCase{"NeitherTabulated", 11, 27, between(27, 25, kRow25At11, 30, kRow30At11)},
                    FCase{"DenominatorBeyond120", 1, 1000, between(1000, 120, 3.92, 0, 3.84)},
                    FCase{"NoNumerator", 0, 5, 1e20}, FCase{"NoDenominator", 5, 0, 1e20}),
    [](const testing::TestParamInfo<FCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Ran1: Park and Miller's minimal standard with a Bays-Durham shuffle

// The minimal standard by plain 64-bit arithmetic rather than Schrage's method.
int32_t minimal_standard(int32_t seed) {
  return static_cast<int32_t>(static_cast<int64_t>(seed) * 16807 % 2147483647);
}

struct ShuffledSequence {
  int32_t seed;
  int32_t table[32];
  int32_t last;

  explicit ShuffledSequence(int32_t start) : seed(start) {
    for (int step = 0; step < 8; ++step) seed = minimal_standard(seed);
    for (int j = 31; j >= 0; --j) table[j] = seed = minimal_standard(seed);
    last = table[0];
  }
  float next() {
    seed = minimal_standard(seed);
    const int j = last / 67108864;
    last = table[j];
    table[j] = seed;
    const float value = static_cast<float>(4.656613e-10 * last);
    return value > 0.9999999f ? 0.9999999f : value;
  }
};

TEST(Ran1, FollowsTheShuffledMinimalStandardFromANegativeSeed) {
  ShuffledSequence reference(7);
  int32_t seed = -7;
  for (int draw = 0; draw < 200; ++draw) {
    float value = -1.0f;
    ASSERT_EQ(AP1_Ran1_MATH(&seed, &value), 1);
    const float expected = reference.next();
    ASSERT_EQ(seed, reference.seed) << "draw " << draw;
    ASSERT_EQ(value, expected) << "draw " << draw;
    ASSERT_GE(value, 0.0f);
    ASSERT_LT(value, 1.0f);
  }
}

// Park and Miller's published check: from 1, the 10000th state is 1043618065.
TEST(Ran1, ItsSeedsAreTheMinimalStandardSequence) {
  int32_t seed = 0;  // below 1: starts from 1
  float value = 0.0f;
  for (int draw = 0; draw < 10000 - 40; ++draw) AP1_Ran1_MATH(&seed, &value);
  EXPECT_EQ(seed, 1043618065);
}

TEST(Ran1, ASeedBelowOneStartsOver) {
  int32_t seed = -3;
  float first = 0.0f, again = 0.0f;
  AP1_Ran1_MATH(&seed, &first);
  float skipped = 0.0f;
  for (int draw = 0; draw < 5; ++draw) AP1_Ran1_MATH(&seed, &skipped);
  seed = -3;
  AP1_Ran1_MATH(&seed, &again);
  EXPECT_EQ(first, again);
  EXPECT_EQ(AP1_Ran1_MATH(nullptr, &again), 0);
}

// ---------------------------------------------------------------------------
// Ran3: Knuth's subtractive generator

class Subtractive {
 public:
  explicit Subtractive(int32_t seed) {
    const int64_t big = 1000000000;
    int64_t mj = std::llabs(161803398 - std::llabs(static_cast<int64_t>(seed))) % big;
    ma_[55] = mj;
    int64_t mk = 1;
    for (int i = 1; i <= 54; ++i) {
      const int ii = (21 * i) % 55;
      ma_[ii] = mk;
      mk = mj - mk;
      if (mk < 0) mk += big;
      mj = ma_[ii];
    }
    for (int pass = 0; pass < 4; ++pass) {
      for (int i = 1; i <= 55; ++i) {
        ma_[i] -= ma_[1 + (i + 30) % 55];
        if (ma_[i] < 0) ma_[i] += big;
      }
    }
  }
  float next() {
    if (++inext_ == 56) inext_ = 1;
    if (++inextp_ == 56) inextp_ = 1;
    int64_t mj = ma_[inext_] - ma_[inextp_];
    if (mj < 0) mj += 1000000000;
    ma_[inext_] = mj;
    return static_cast<float>(static_cast<double>(mj) * 1e-9);
  }

 private:
  int64_t ma_[56] = {};
  int inext_ = 0;
  int inextp_ = 31;
};

void expect_ran3_sequence(int32_t start) {
  Subtractive reference(start);
  int32_t seed = start;
  for (int draw = 0; draw < 200; ++draw) {
    float value = -1.0f;
    ASSERT_EQ(AP1_Ran3_MATH(&seed, &value), 1);
    ASSERT_EQ(seed, 1) << "set-up leaves the seed at 1";
    ASSERT_EQ(value, reference.next()) << "draw " << draw;
    ASSERT_GE(value, 0.0f);
    ASSERT_LT(value, 1.0f);
  }
}

TEST(Ran3, FollowsKnuthsSubtractiveGeneratorFromANegativeSeed) { expect_ran3_sequence(-12345); }

// A seed larger than the generator's constant still starts a table of
// values in [0, 1).
TEST(Ran3, ASeedBeyondItsConstantStaysWithinTheUnitInterval) { expect_ran3_sequence(-2000000000); }

TEST(Ran3, APositiveSeedContinuesTheSequence) {
  int32_t seed = -5;
  Subtractive reference(-5);
  float value = 0.0f;
  AP1_Ran3_MATH(&seed, &value);
  reference.next();
  seed = 77;  // not negative: no new set-up
  AP1_Ran3_MATH(&seed, &value);
  EXPECT_EQ(value, reference.next());
  EXPECT_EQ(seed, 77);
}

// ---------------------------------------------------------------------------
// Typed comparison

struct CompareCase {
  const char* name;
  std::string a;
  uint16_t op;
  std::string b;
  uint16_t type;
  int16_t holds;
};

template <typename T>
std::string raw(T value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

class Compare : public testing::TestWithParam<CompareCase> {};

TEST_P(Compare, TellsWhetherTheRelationHolds) {
  CompareCase c = GetParam();
  EXPECT_EQ(AP1_Compare_MATH(c.a.data(), c.op, c.b.data(), c.type), c.holds);
}

const float kOne = 1.0f;
const float kOneAndABit = 1.0f + std::ldexp(1.0f, -22);

INSTANTIATE_TEST_SUITE_P(
    Cases, Compare,
    testing::Values(
        CompareCase{"SignedShortLess", raw<int16_t>(-2), AP1_OP_LESS, raw<int16_t>(1), AP1_TYPE_I16, 1},
        CompareCase{"UnsignedShortNotLess", raw<uint16_t>(0xFFFE), AP1_OP_LESS, raw<uint16_t>(1), AP1_TYPE_U16, 0},
        CompareCase{"BoolEqual", raw<int16_t>(1), AP1_OP_EQUAL, raw<int16_t>(1), AP1_TYPE_BOOL, 1},
        CompareCase{"SignedLongGreaterEqual", raw<int32_t>(-5), AP1_OP_GREATER_EQUAL, raw<int32_t>(-5),
                    AP1_TYPE_I32, 1},
        CompareCase{"UnsignedLongGreater", raw<uint32_t>(0x80000000), AP1_OP_GREATER, raw<uint32_t>(1),
                    AP1_TYPE_U32, 1},
        CompareCase{"HandleLessEqual", raw<uint32_t>(3), AP1_OP_LESS_EQUAL, raw<uint32_t>(2), AP1_TYPE_HANDLE, 0},
        CompareCase{"NotEqual", raw<int32_t>(3), AP1_OP_NOT_EQUAL, raw<int32_t>(4), AP1_TYPE_I32, 1},
        CompareCase{"SingleLessIsStrict", raw(kOne), AP1_OP_LESS, raw(kOneAndABit), AP1_TYPE_F32, 1},
        CompareCase{"SingleEqualIsTolerant", raw(kOne), AP1_OP_EQUAL, raw(kOneAndABit), AP1_TYPE_F32, 1},
        CompareCase{"SingleNotEqualIsTolerant", raw(kOne), AP1_OP_NOT_EQUAL, raw(kOneAndABit), AP1_TYPE_F32, 0},
        CompareCase{"SingleGreaterEqualByTolerance", raw(kOne), AP1_OP_GREATER_EQUAL, raw(kOneAndABit),
                    AP1_TYPE_F32, 1},
        CompareCase{"DoubleLessEqual", raw(1.0), AP1_OP_LESS_EQUAL, raw(2.0), AP1_TYPE_F64, 1},
        CompareCase{"DoubleGreater", raw(1.0), AP1_OP_GREATER, raw(2.0), AP1_TYPE_F64, 0},
        CompareCase{"TextIgnoresCase", std::string("Hello\0", 6), AP1_OP_EQUAL, std::string("hELLO\0", 6),
                    AP1_TYPE_TEXT, 1},
        CompareCase{"TextOrder", std::string("abc\0", 4), AP1_OP_LESS, std::string("ABD\0", 4), AP1_TYPE_TEXT, 1},
        CompareCase{"LengthTextBeginningALongerOne", std::string("\2ab", 3), AP1_OP_EQUAL, std::string("\3ABC", 4),
                    AP1_TYPE_LENGTH_TEXT, 1},
        CompareCase{"LengthTextOrder", std::string("\2ab", 3), AP1_OP_GREATER, std::string("\2aa", 3),
                    AP1_TYPE_LENGTH_TEXT, 1},
        CompareCase{"AddressEqual", raw<uint32_t>(9), AP1_OP_EQUAL, raw<uint32_t>(9), AP1_TYPE_ADDRESS, 1},
        CompareCase{"AddressHasNoOrder", raw<uint32_t>(1), AP1_OP_LESS, raw<uint32_t>(9), AP1_TYPE_ADDRESS, 0},
        CompareCase{"ListNotEqual", raw<uint32_t>(1), AP1_OP_NOT_EQUAL, raw<uint32_t>(9), AP1_TYPE_LIST, 1},
        CompareCase{"AlwaysForAnyType", raw<uint32_t>(1), AP1_OP_ALWAYS, raw<uint32_t>(9), 99, 1},
        CompareCase{"UnknownType", raw<uint32_t>(1), AP1_OP_EQUAL, raw<uint32_t>(1), 13, 0},
        CompareCase{"UnknownOperator", raw<uint32_t>(1), 8, raw<uint32_t>(1), AP1_TYPE_U32, 0}),
    [](const testing::TestParamInfo<CompareCase>& info) { return std::string(info.param.name); });

TEST(CompareNull, EitherValueMissingIsFalseEvenForAlways) {
  int32_t value = 0;
  EXPECT_EQ(AP1_Compare_MATH(nullptr, AP1_OP_ALWAYS, &value, AP1_TYPE_I32), 0);
  EXPECT_EQ(AP1_Compare_MATH(&value, AP1_OP_ALWAYS, nullptr, AP1_TYPE_I32), 0);
}

// ---------------------------------------------------------------------------
// Split segments

struct Segment {
  float start;
  float end;
  uint16_t points;
};

struct SplitCase {
  const char* name;
  uint16_t mode;
  float x1;
  float x2;
  uint16_t points;
  std::vector<Segment> segments;
};

uint16_t rounded(double x) { return static_cast<uint16_t>(std::trunc(x + 0.5)); }

// Mode 1 on 4000..400 with 1000 points: the part below 2000 has twice the density.
const uint16_t kHighPart = rounded(1000.0 * 2000 / (2000 + 2 * 1600));
// Mode 2 on 3000..500 with 900 points: densities 1, 2, 4 from high to low.
const double kThreeTotal = 800 + 2 * 1200 + 4 * 500;
const uint16_t kTop = rounded(900 * 800 / kThreeTotal);
const uint16_t kBottom = rounded(900 * 4 * 500 / kThreeTotal);

class SplitSegments : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitSegments, DividesTheRange) {
  const SplitCase& c = GetParam();
  AP1_SEGMENTS out;
  std::memset(&out, 0x5A, sizeof out);
  ASSERT_EQ(AP1_DetermineSplitSegments_MATH(c.mode, c.x1, c.x2, c.points, &out), 1);
  ASSERT_EQ(out.count, c.segments.size());
  for (size_t i = 0; i < 3; ++i) {
    const Segment expected = i < c.segments.size() ? c.segments[i] : Segment{0.0f, 0.0f, 0};
    EXPECT_EQ(out.start[i], expected.start) << i;
    EXPECT_EQ(out.end[i], expected.end) << i;
    EXPECT_EQ(out.points[i], expected.points) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitSegments,
    testing::Values(
        SplitCase{"WholeHighToLow", 0, 400, 4000, 100, {{4000, 400, 100}}},
        SplitCase{"WholeHighToLowAlso", 5, 4000, 400, 100, {{4000, 400, 100}}},
        SplitCase{"WholeLowToHigh", 3, 4000, 400, 100, {{400, 4000, 100}}},
        SplitCase{"WholeLowToHighAlso", 4, 400, 4000, 100, {{400, 4000, 100}}},
        SplitCase{"AtTwoThousand", 1, 4000, 400, 1000,
                  {{2000, 400, static_cast<uint16_t>(1000 - kHighPart)}, {4000, 2000, kHighPart}}},
        SplitCase{"BothAboveTwoThousand", 1, 3000, 2000, 500, {{3000, 2000, 500}}},
        SplitCase{"BothBelowTwoThousand", 1, 1500, 400, 500, {{1500, 400, 500}}},
        SplitCase{"AtBothBoundaries", 2, 500, 3000, 900,
                  {{1000, 500, kBottom}, {2200, 1000, static_cast<uint16_t>(900 - kTop - kBottom)}, {3000, 2200, kTop}}},
        SplitCase{"AcrossTheUpperBoundaryOnly", 2, 3000, 1200, 600,
                  {{2200, 1200, static_cast<uint16_t>(600 - rounded(600.0 * 800 / (800 + 2 * 1000)))},
                   {3000, 2200, rounded(600.0 * 800 / (800 + 2 * 1000))}}},
        SplitCase{"AcrossTheLowerBoundaryOnly", 2, 2000, 400, 600,
                  {{1000, 400, static_cast<uint16_t>(600 - rounded(600.0 * 1000 / (1000 + 2 * 600)))},
                   {2000, 1000, rounded(600.0 * 1000 / (1000 + 2 * 600))}}},
        SplitCase{"WithinTheMiddle", 2, 2100, 1100, 50, {{2100, 1100, 50}}},
        SplitCase{"AnEmptyPartIsLeftOut", 1, 2001, 400, 10, {{2000, 400, 10}}},
        SplitCase{"UnknownModeIsEmpty", 9, 4000, 400, 100, {}}),
    [](const testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST(SplitSegmentsExample, FourThousandToFourHundredGives615And385) {
  AP1_SEGMENTS out;
  ASSERT_EQ(AP1_DetermineSplitSegments_MATH(1, 4000, 400, 1000, &out), 1);
  EXPECT_EQ(out.points[0], 615);
  EXPECT_EQ(out.points[1], 385);
  EXPECT_EQ(AP1_DetermineSplitSegments_MATH(1, 4000, 400, 1000, nullptr), 0);
}

}  // namespace
