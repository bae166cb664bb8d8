#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "array/array.h"

namespace {

float from_bits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

uint32_t bits_of(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

const float kMissing = AP1_GetNaNSG_MATH();
const float kInfinity = std::numeric_limits<float>::infinity();

struct FloatPair {
  const char* name;
  float a;
  float b;
  uint16_t equal;
};

class SingleCompare : public testing::TestWithParam<FloatPair> {};

TEST_P(SingleCompare, DecidesEquality) {
  const FloatPair& c = GetParam();
  EXPECT_EQ(AP1_KovFloatCompareSG_MATH(c.a, c.b), c.equal);
  EXPECT_EQ(AP1_KovFloatCompareSG_MATH(c.b, c.a), c.equal) << "the compare is symmetric";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SingleCompare,
    testing::Values(FloatPair{"TwoMissing", kMissing, kMissing, 1},
                    FloatPair{"MissingAndZero", kMissing, 0.0f, 0},
                    FloatPair{"QuietNaNPatternIsMissing", from_bits(0x7FC00000), kMissing, 1},
                    FloatPair{"InfinityIsNotMissing", kInfinity, kMissing, 0},
                    FloatPair{"BothBelowSmallestNormal", 1e-39f, -1e-40f, 1},
                    FloatPair{"SmallestNormalAndZero", FLT_MIN, 0.0f, 1},
                    FloatPair{"SubnormalAndTiny", 1e-39f, 1e-30f, 0},
                    FloatPair{"ZeroAndTiny", 0.0f, 1e-30f, 0},
                    FloatPair{"WithinTwoToMinus21", 1.0f, 1.0f + std::ldexp(1.0f, -21), 1},
                    FloatPair{"BeyondTwoToMinus19", 1.0f, 1.0f + std::ldexp(1.0f, -19), 0},
                    FloatPair{"JustBelowTolerance", 1.0f, 1.0f + std::ldexp(1.0f, -20) - std::ldexp(1.0f, -23), 1},
                    FloatPair{"DividedByTheLargerMagnitude", 1.0f, 1.0f + std::ldexp(1.0f, -20), 1},
                    FloatPair{"ExactlyAtTolerance", 2.0f, 2.0f - std::ldexp(1.0f, -19), 0},
                    FloatPair{"HalfTheTolerance", 2.0f, 2.0f - std::ldexp(1.0f, -20), 1},
                    FloatPair{"OppositeSigns", 1.0f, -1.0f, 0},
                    FloatPair{"NotGivenMarker", AP_NOT_GIVEN, -3720006.5f, 1},
                    FloatPair{"NotGivenNeighbour", AP_NOT_GIVEN, -3720000.0f, 0},
                    FloatPair{"EqualInfinities", kInfinity, kInfinity, 0},
                    FloatPair{"LargeValues", 3.0e38f, 3.0e38f, 1}),
    [](const testing::TestParamInfo<FloatPair>& info) { return std::string(info.param.name); });

struct DoublePair {
  const char* name;
  double a;
  double b;
  uint16_t equal;
};

class DoubleCompare : public testing::TestWithParam<DoublePair> {};

TEST_P(DoubleCompare, DecidesEquality) {
  const DoublePair& c = GetParam();
  EXPECT_EQ(AP1_KovFloatCompareDB_MATH(c.a, c.b), c.equal);
  EXPECT_EQ(AP1_KovFloatCompareDB_MATH(c.b, c.a), c.equal);
}

const double kMissingDb = AP1_GetNaNDB_MATH();

INSTANTIATE_TEST_SUITE_P(
    Cases, DoubleCompare,
    testing::Values(DoublePair{"TwoMissing", kMissingDb, kMissingDb, 1},
                    DoublePair{"MissingAndZero", kMissingDb, 0.0, 0},
                    DoublePair{"InfinityIsNotMissing", std::numeric_limits<double>::infinity(), kMissingDb, 0},
                    DoublePair{"BothBelowSmallestNormal", 1e-310, -1e-320, 1},
                    DoublePair{"ZeroAndTiny", 0.0, 1e-300, 0},
                    DoublePair{"WithinTwoToMinus48", 1.0, 1.0 + std::ldexp(1.0, -48), 1},
                    DoublePair{"ExactlyAtTolerance", 2.0, 2.0 - std::ldexp(1.0, -46), 0},
                    DoublePair{"HalfTheTolerance", 2.0, 2.0 - std::ldexp(1.0, -47), 1},
                    DoublePair{"BeyondTwoToMinus46", 1.0, 1.0 + std::ldexp(1.0, -46), 0},
                    DoublePair{"SinglePrecisionStepIsDifferent", 1.0, 1.0 + std::ldexp(1.0, -30), 0}),
    [](const testing::TestParamInfo<DoublePair>& info) { return std::string(info.param.name); });

TEST(Markers, MissingValuesHaveEveryBitSet) {
  EXPECT_EQ(bits_of(AP1_GetNaNSG_MATH()), 0xFFFFFFFFu);
  uint64_t bits;
  const double missing = AP1_GetNaNDB_MATH();
  std::memcpy(&bits, &missing, sizeof bits);
  EXPECT_EQ(bits, 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(bits_of(AP_NOT_GIVEN), 0xCA630D1Au);
}

TEST(Markers, MissingIsDecidedByBitsNotByNaNRules) {
  EXPECT_TRUE(ap1_is_missing(from_bits(0x7FC00000)));
  EXPECT_TRUE(ap1_is_missing(from_bits(0xFFC00001)));
  EXPECT_FALSE(ap1_is_missing(from_bits(0x7F800000)));  // infinity
  EXPECT_TRUE(ap1_is_missing_db(kMissingDb));
  EXPECT_FALSE(ap1_is_missing_db(std::numeric_limits<double>::infinity()));
}

struct RootCase {
  const char* name;
  float input;
  float expected;  // compared bit for bit
};

class SquareRoot : public testing::TestWithParam<RootCase> {};

TEST_P(SquareRoot, FollowsTheMarkerRules) {
  const RootCase& c = GetParam();
  EXPECT_EQ(bits_of(AP1_SquareRoot_MATH(c.input)), bits_of(c.expected));
  float in_place = c.input;
  AP1_SQRT_MATH(&in_place);
  EXPECT_EQ(bits_of(in_place), bits_of(c.expected));
}

INSTANTIATE_TEST_SUITE_P(Cases, SquareRoot,
                         testing::Values(RootCase{"Positive", 6.25f, 2.5f},
                                         RootCase{"Negative", -4.0f, kMissing},
                                         RootCase{"TinyNegative", -1e-40f, 0.0f},
                                         RootCase{"TinyPositive", 1e-39f, 0.0f},
                                         RootCase{"Missing", kMissing, kMissing}),
                         [](const testing::TestParamInfo<RootCase>& info) { return std::string(info.param.name); });

TEST(MathHelpers, NullPointersAreLeftAlone) {
  AP1_SQRT_MATH(nullptr);
  AP1_Square_MATH(nullptr);
  float value = -3.0f;
  AP1_Square_MATH(&value);
  EXPECT_EQ(value, 9.0f);
}

TEST(MathHelpers, MinAndMaxIgnoreMissingOperands) {
  EXPECT_EQ(AP1_Min_MATH(kMissing, kMissing), FLT_MAX);
  EXPECT_EQ(AP1_Max_MATH(kMissing, kMissing), -FLT_MAX);
  EXPECT_EQ(AP1_Min_MATH(kMissing, 2.0f), 2.0f);
  EXPECT_EQ(AP1_Min_MATH(2.0f, kMissing), 2.0f);
  EXPECT_EQ(AP1_Max_MATH(kMissing, -2.0f), -2.0f);
  EXPECT_EQ(AP1_Min_MATH(1.0f, 2.0f), 1.0f);
  EXPECT_EQ(AP1_Max_MATH(1.0f, 2.0f), 2.0f);
  // Equal operands: the maximum answers the second, so a -0.0 shows which.
  EXPECT_TRUE(std::signbit(AP1_Max_MATH(0.0f, -0.0f)));
  EXPECT_TRUE(std::signbit(AP1_Min_MATH(0.0f, -0.0f)));
}

TEST(MathHelpers, ElementPairs) {
  AP1_ELEMENT element{};
  EXPECT_EQ(AP1_lpMakeElement_MATH(&element, 3, 7), 1);
  EXPECT_EQ(element.first, 3u);
  EXPECT_EQ(element.second, 7u);
  EXPECT_EQ(AP1_lpMakeElement_MATH(nullptr, 3, 7), 0);
  EXPECT_EQ(AP1_CompareElements_MATH(3, 7, 3, 7), 1);
  EXPECT_EQ(AP1_CompareElements_MATH(3, 7, 7, 3), 0);
}

TEST(MathHelpers, BitWords) {
  uint32_t word = 0;
  EXPECT_EQ(AP1_SetBitLong_MATH(&word, 31), 1);
  EXPECT_EQ(word, 0x80000000u);
  EXPECT_EQ(AP1_SetBitLong_MATH(&word, 32), 0);
  EXPECT_EQ(word, 0x80000000u);
  EXPECT_EQ(AP1_SetBitLong_MATH(nullptr, 1), 0);
  EXPECT_EQ(ap1_ClearBitLong(&word, 31), 1);
  EXPECT_EQ(word, 0u);
  EXPECT_EQ(ap1_ClearBitLong(&word, 40), 0);
}

}  // namespace
