#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "array/array.h"
#include "core/core.h"
#include "core/params_fixture.h"
#include "util/util.h"

namespace {

using paramstest::bytes_of;
using paramstest::ParamsTest;

const float kSingleNaN = AP1_GetNaNSG_MATH();
const double kDoubleNaN = AP1_GetNaNDB_MATH();

using TextForms = ParamsTest;

// ---------------------------------------------------------------------------
// Formatting one value

struct FormatCase {
  const char* name;
  uint16_t type;
  std::string value;
  int16_t width;
  int16_t precision;
  const char* expected;  // null: the format fails
};

class Formatting : public TextForms, public testing::WithParamInterface<FormatCase> {};

TEST_P(Formatting, WritesTheTextForm) {
  const FormatCase& c = GetParam();
  add_texts();
  char buffer[AP13_LARGEST_VALUE] = {};
  const int16_t result = ap13_FormatValue_PARAMS(c.value.data(), c.type, c.width, c.precision, buffer, sizeof buffer);
  if (c.expected == nullptr) {
    EXPECT_EQ(result, 0);
  } else {
    EXPECT_EQ(result, 1);
    EXPECT_STREQ(buffer, c.expected);
  }
}

// Width -1 with precision 0, or precision -1, is the free form; otherwise a
// number is printed left-justified to the width and the padding cut again,
// down to at least two characters.
INSTANTIATE_TEST_SUITE_P(
    Cases, Formatting,
    testing::Values(
        FormatCase{"BoolNonZeroIsTrue", AP13_TYPE_BOOL, bytes_of<int16_t>(2), -1, 0, "TRUE"},
        FormatCase{"BoolZeroIsFalse", AP13_TYPE_BOOL, bytes_of<int16_t>(0), 5, 0, "FALSE"},
        FormatCase{"IntFitsItsWidth", AP13_TYPE_INT, bytes_of<int16_t>(-12), 3, 0, "-12"},
        FormatCase{"IntLongerThanItsWidthFails", AP13_TYPE_INT, bytes_of<int16_t>(-123), 3, 0, nullptr},
        FormatCase{"PaddingIsCutToTwoCharacters", AP13_TYPE_INT, bytes_of<int16_t>(4), 5, 0, "4 "},
        FormatCase{"FreeFormHasNoPadding", AP13_TYPE_INT, bytes_of<int16_t>(4), 5, -1, "4"},
        FormatCase{"WordReadsSixteenBits", AP13_TYPE_WORD, bytes_of<uint16_t>(65535), -1, 0, "65535"},
        FormatCase{"WinIDPrintsItsLowSixteenBits", AP13_TYPE_WINID, bytes_of<uint32_t>(0x00020007), -1, 0, "7"},
        FormatCase{"LongIsSigned", AP13_TYPE_LONG, bytes_of<int32_t>(-100000), -1, 0, "-100000"},
        FormatCase{"DWordIsUnsigned", AP13_TYPE_DWORD, bytes_of<uint32_t>(4000000000u), -1, 0, "4000000000"},
        FormatCase{"AddrIsANumber", AP13_TYPE_ADDR, bytes_of<uint32_t>(1234), -1, 0, "1234"},
        FormatCase{"ArrayReferenceIsANumber", AP13_TYPE_AP4ADDR, bytes_of<uint32_t>(99), -1, 0, "99"},
        FormatCase{"SingleFreeFormHasSixDecimals", AP13_TYPE_SINGLE, bytes_of(1.5f), -1, 0, "1.500000"},
        FormatCase{"SingleWithPrecision", AP13_TYPE_SINGLE, bytes_of(0.5f), 7, 3, "0.500"},
        FormatCase{"SingleRoundsToItsPrecision", AP13_TYPE_SINGLE, bytes_of(2.0f / 3.0f), 8, 4, "0.6667"},
        FormatCase{"SingleTooWideFails", AP13_TYPE_SINGLE, bytes_of(1234.5f), 4, 1, nullptr},
        FormatCase{"DoubleWithPrecision", AP13_TYPE_DOUBLE, bytes_of(1.2345), 6, 2, "1.23"},
        FormatCase{"StringFreeFormWhole", AP13_TYPE_STRING, std::string("a long text\0", 12), -1, 0, "a long text"},
        FormatCase{"StringWithinWidth", AP13_TYPE_STRING, std::string("abc\0", 4), 10, 0, "abc"},
        FormatCase{"ColourAsRedGreenBlue", AP13_TYPE_COLOR, bytes_of<uint32_t>(0x02FF8000), -1, 0, "0,128,255"},
        FormatCase{"ColourLongerThanItsWidthFails", AP13_TYPE_COLOR, bytes_of<uint32_t>(0x02FF8000), 5, 0, nullptr},
        FormatCase{"StringArrayHasNoPlainForm", AP13_TYPE_STSTRARRAY, bytes_of<uint32_t>(0), -1, 0, nullptr},
        FormatCase{"HandleArrayHasNoPlainForm", AP13_TYPE_GU3MEMFLOATADDR, bytes_of<uint32_t>(0), -1, 0, nullptr},
        FormatCase{"OwnedTextHasNoPlainForm", AP13_TYPE_OWNEDTEXT, bytes_of<uint32_t>(0), -1, 0, nullptr},
        FormatCase{"UnknownTypeFails", 24, bytes_of<uint32_t>(0), -1, 0, nullptr},
        FormatCase{"SingleNaNIsNotGiven", AP13_TYPE_SINGLE, bytes_of(kSingleNaN), -1, 0, paramstest::kNotGiven},
        FormatCase{"DoubleNaNIsNotGiven", AP13_TYPE_DOUBLE, bytes_of(kDoubleNaN), -1, 0, paramstest::kNotGiven},
        FormatCase{"AllOnesDWordIsNotGiven", AP13_TYPE_DWORD, bytes_of<uint32_t>(0xFFFFFFFF), -1, 0,
                   paramstest::kNotGiven},
        FormatCase{"AllOnesAddrIsNotGiven", AP13_TYPE_ADDR, bytes_of<uint32_t>(0xFFFFFFFF), -1, 0,
                   paramstest::kNotGiven},
        FormatCase{"LongReservedValueIsNotGiven", AP13_TYPE_LONG, bytes_of<int32_t>(INT32_MIN), -1, 0,
                   paramstest::kNotGiven},
        // Only the one reserved value: a Long with bit 0x00800000 is a number.
        FormatCase{"LongWithBit23IsANumber", AP13_TYPE_LONG, bytes_of<int32_t>(0x00800000), -1, 0, "8388608"},
        FormatCase{"LongMinusOneIsANumber", AP13_TYPE_LONG, bytes_of<int32_t>(-1), -1, 0, "-1"}),
    [](const testing::TestParamInfo<FormatCase>& info) { return std::string(info.param.name); });

TEST_F(TextForms, AStringLongerThanItsWidthIsWrittenCutAndFails) {
  char buffer[16] = {};
  EXPECT_EQ(ap13_FormatValue_PARAMS("hello", AP13_TYPE_STRING, 3, 0, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "hel");
}

TEST_F(TextForms, RawBytesAreCopiedToTheWidthWithoutTerminator) {
  char buffer[8];
  std::memset(buffer, '*', sizeof buffer);
  EXPECT_EQ(ap13_FormatValue_PARAMS("AB\0CDEF", AP13_TYPE_CARRAY, 6, 0, buffer, sizeof buffer), 1);
  EXPECT_EQ(std::string(buffer, 8), std::string("AB\0CDE**", 8));
}

TEST_F(TextForms, TheLibrarysOwnNotGivenTextStandsInWithoutTheAssociationText) {
  char buffer[16] = {};
  const float missing = kSingleNaN;
  EXPECT_EQ(ap13_FormatValue_PARAMS(&missing, AP13_TYPE_SINGLE, -1, 0, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, ap13_not_given_text());
  EXPECT_GT(std::strlen(buffer), 0u);
}

TEST_F(TextForms, NumbersAreWrittenWithTheLibrarysDecimalCharacter) {
  GUX_SetInternationalChar(',', GUX_DECIMAL);
  char buffer[16] = {};
  const float value = 1.5f;
  EXPECT_EQ(ap13_FormatValue_PARAMS(&value, AP13_TYPE_SINGLE, 6, 2, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "1,50");
}

TEST_F(TextForms, ABufferTooSmallForTheTextIsNotWritten) {
  char buffer[8];
  std::memset(buffer, '*', sizeof buffer);
  const int32_t value = 1234567;
  EXPECT_EQ(ap13_FormatValue_PARAMS(&value, AP13_TYPE_LONG, -1, 0, buffer, 7), 0);
  EXPECT_EQ(std::string(buffer, 8), "********");
  const int16_t flag = 0;
  EXPECT_EQ(ap13_FormatValue_PARAMS(&flag, AP13_TYPE_BOOL, -1, 0, buffer, 5), 0) << "FALSE needs 6 bytes";
}

TEST_F(TextForms, AStringSpaceBlockIsHeldToItsOwnSize) {
  char* block = GU3_GetStringSpaceEx(4);
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "xyz", 4);
  const int32_t value = 12345;
  EXPECT_EQ(ap13_FormatValue_PARAMS(&value, AP13_TYPE_LONG, -1, 0, block, 0), 0);
  EXPECT_STREQ(block, "xyz");
  const int32_t small = 123;
  EXPECT_EQ(ap13_FormatValue_PARAMS(&small, AP13_TYPE_LONG, -1, 0, block, 0), 1);
  EXPECT_STREQ(block, "123");
  GU3_RemoveString(block);
}

// ---------------------------------------------------------------------------
// Parsing one value

struct ParseCase {
  const char* name;
  uint16_t type;
  const char* text;
  std::string expected;  // empty: the parse fails
};

class Parsing : public TextForms, public testing::WithParamInterface<ParseCase> {};

TEST_P(Parsing, ReadsTheValue) {
  const ParseCase& c = GetParam();
  const void* value = nullptr;
  const int16_t result = ap13_ParseValue_PARAMS(c.text, c.type, &value);
  if (c.expected.empty()) {
    EXPECT_EQ(result, 0);
  } else {
    ASSERT_EQ(result, 1);
    EXPECT_EQ(std::string(static_cast<const char*>(value), c.expected.size()), c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Parsing,
    testing::Values(
        ParseCase{"TrueInLowerCase", AP13_TYPE_BOOL, "true", bytes_of<int16_t>(1)},
        ParseCase{"FalseInMixedCase", AP13_TYPE_BOOL, "FaLsE", bytes_of<int16_t>(0)},
        ParseCase{"YesIsNoBool", AP13_TYPE_BOOL, "yes", ""},
        ParseCase{"NegativeInt", AP13_TYPE_INT, "-5", bytes_of<int16_t>(-5)},
        ParseCase{"NegativeLong", AP13_TYPE_LONG, "-5", bytes_of<int32_t>(-5)},
        ParseCase{"NegativeWordFails", AP13_TYPE_WORD, "-5", ""},
        ParseCase{"NegativeDWordFails", AP13_TYPE_DWORD, "-5", ""},
        ParseCase{"IntAtItsLimit", AP13_TYPE_INT, "-32768", bytes_of<int16_t>(-32768)},
        ParseCase{"IntBeyondItsRangeIsRefused", AP13_TYPE_INT, "32768", ""},
        ParseCase{"WordAtItsLimit", AP13_TYPE_WORD, "65535", bytes_of<uint16_t>(65535)},
        ParseCase{"WordBeyondItsRangeIsRefused", AP13_TYPE_WORD, "65536", ""},
        ParseCase{"LongBeyondItsRangeIsRefused", AP13_TYPE_LONG, "2147483648", ""},
        ParseCase{"DWordAtItsLimit", AP13_TYPE_DWORD, "4294967295", bytes_of<uint32_t>(4294967295u)},
        ParseCase{"DWordBeyondItsRangeIsRefused", AP13_TYPE_DWORD, "4294967296", ""},
        ParseCase{"ThousandsSeparatorIsNoNumber", AP13_TYPE_LONG, "1,000", ""},
        ParseCase{"ADecimalIsNoInteger", AP13_TYPE_INT, "1.5", ""},
        ParseCase{"BlanksAroundAnInteger", AP13_TYPE_LONG, " 42 ", bytes_of<int32_t>(42)},
        ParseCase{"HandleTypesReadUnsigned", AP13_TYPE_GU3MEMWORDADDR, "77", bytes_of<uint32_t>(77)},
        ParseCase{"WinIDReadsThirtyTwoBits", AP13_TYPE_WINID, "65537", bytes_of<uint32_t>(65537)},
        ParseCase{"SingleWithExponent", AP13_TYPE_SINGLE, "2.5e3", bytes_of(2500.0f)},
        ParseCase{"SingleRoundsOnce", AP13_TYPE_SINGLE, "0.1", bytes_of(0.1f)},
        ParseCase{"SingleOverflowIsRefused", AP13_TYPE_SINGLE, "1e39", ""},
        ParseCase{"DoubleKeepsItsPrecision", AP13_TYPE_DOUBLE, "0.1", bytes_of(0.1)},
        ParseCase{"DoubleWithThousandsIsNoNumber", AP13_TYPE_DOUBLE, "1,000.5", ""},
        ParseCase{"TextIsNoNumber", AP13_TYPE_DOUBLE, "abc", ""},
        ParseCase{"ColourRedGreenBlue", AP13_TYPE_COLOR, "255,0,0", bytes_of<uint32_t>(0x020000FF)},
        ParseCase{"ColourAcrossLines", AP13_TYPE_COLOR, "1\n2\n3", bytes_of<uint32_t>(0x02030201)},
        ParseCase{"ColourPartBeyond255IsRefused", AP13_TYPE_COLOR, "256,0,0", ""},
        ParseCase{"ColourOfTwoPartsIsRefused", AP13_TYPE_COLOR, "1,2", ""},
        ParseCase{"ColourOfFourPartsIsRefused", AP13_TYPE_COLOR, "1,2,3,4", ""},
        ParseCase{"OwnedTextIsNotParsed", AP13_TYPE_OWNEDTEXT, "x", ""},
        ParseCase{"UnknownTypeFails", 24, "1", ""}),
    [](const testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST_F(TextForms, TextTypesHandBackTheTextItself) {
  const char text[] = "as it is";
  for (uint16_t type : {AP13_TYPE_STRING, AP13_TYPE_PSTR, AP13_TYPE_LLIST, AP13_TYPE_CARRAY}) {
    const void* value = nullptr;
    EXPECT_EQ(ap13_ParseValue_PARAMS(text, type, &value), 1);
    EXPECT_EQ(value, text) << "type " << type;
  }
}

TEST_F(TextForms, NumbersAreReadInTheLibrarysNotation) {
  GUX_SetInternationalChar(',', GUX_DECIMAL);
  GUX_SetInternationalChar('.', GUX_THOUSANDS);
  const void* value = nullptr;
  ASSERT_EQ(ap13_ParseValue_PARAMS("1,5", AP13_TYPE_DOUBLE, &value), 1);
  EXPECT_EQ(*static_cast<const double*>(value), 1.5);
}

TEST_F(TextForms, AColourReadBackFormatsAsItWasWritten) {
  const void* value = nullptr;
  ASSERT_EQ(ap13_ParseValue_PARAMS("255,0,0", AP13_TYPE_COLOR, &value), 1);
  char buffer[16] = {};
  EXPECT_EQ(ap13_FormatValue_PARAMS(value, AP13_TYPE_COLOR, -1, 0, buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "255,0,0");
}

// ---------------------------------------------------------------------------
// Length-prefixed texts

TEST_F(TextForms, ALengthPrefixedTextIsCutToItsCapacity) {
  uint8_t out[8];
  EXPECT_EQ(ap13_CToPascal_PARAMS("abcdefghij", out, sizeof out), 1);
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out + 1), 7), "abcdefg");
  const std::string long_text(300, 'x');
  uint8_t wide[400];
  EXPECT_EQ(ap13_CToPascal_PARAMS(long_text.c_str(), wide, sizeof wide), 1);
  EXPECT_EQ(wide[0], 255) << "one length byte holds at most 255";
}

TEST_F(TextForms, ALengthPrefixedTextIsTerminatedWithinItsCapacity) {
  const uint8_t pascal[] = {10, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};
  char out[5];
  EXPECT_EQ(ap13_PascalToC_PARAMS(pascal, out, sizeof out), 1);
  EXPECT_STREQ(out, "abcd");
}

// ---------------------------------------------------------------------------
// Validation against a row (message 46)

struct ValidationCase {
  const char* name;
  uint16_t row;
  std::string value;
  uint32_t valid;
};

class Validation : public ParamsTest, public testing::WithParamInterface<ValidationCase> {};

TEST_P(Validation, HoldsTheValueToItsRow) {
  const ValidationCase& c = GetParam();
  AP13_CHILD* object = make();
  ASSERT_NE(object, nullptr);
  AP13_VALUEPARM parameter{c.row, c.value.data()};
  EXPECT_EQ(send(AP13_MSG_VALIDATE_PARM, object, &parameter), c.valid);
  EXPECT_EQ(destroy(object), AP_DESTROYED);
}

using namespace paramstest;

INSTANTIATE_TEST_SUITE_P(
    Cases, Validation,
    testing::Values(
        ValidationCase{"BoolOne", kBool, bytes_of<int16_t>(1), 1},
        ValidationCase{"BoolTwoIsInvalid", kBool, bytes_of<int16_t>(2), 0},
        ValidationCase{"StepOnTheGrid", kInt, bytes_of<int16_t>(4), 1},
        ValidationCase{"StepOffTheGrid", kInt, bytes_of<int16_t>(5), 0},
        ValidationCase{"StepBeyondMax", kInt, bytes_of<int16_t>(12), 0},
        ValidationCase{"StepAtMax", kInt, bytes_of<int16_t>(10), 1},
        ValidationCase{"RangeLow", kWord, bytes_of<uint16_t>(1), 1},
        ValidationCase{"RangeBelow", kWord, bytes_of<uint16_t>(0), 0},
        ValidationCase{"RangeAbove", kWord, bytes_of<uint16_t>(6), 0},
        ValidationCase{"ListedValue", kLong, bytes_of<int32_t>(100000), 1},
        ValidationCase{"NegativeListedValue", kLong, bytes_of<int32_t>(-7), 1},
        ValidationCase{"UnlistedValue", kLong, bytes_of<int32_t>(7), 0},
        ValidationCase{"WithinTheMask", kDWord, bytes_of<uint32_t>(0x0A), 1},
        ValidationCase{"OutsideTheMask", kDWord, bytes_of<uint32_t>(0x10), 0},
        ValidationCase{"SingleOnTheGrid", kSingle, bytes_of(0.5f), 1},
        ValidationCase{"SingleAtTheGridsEnd", kSingle, bytes_of(1.0f), 1},
        ValidationCase{"SingleOffTheGrid", kSingle, bytes_of(0.3f), 0},
        ValidationCase{"SingleNaNUnderAStep", kSingle, bytes_of(AP1_GetNaNSG_MATH()), 0},
        ValidationCase{"DoubleRangeEnd", kDouble, bytes_of(2.5), 1},
        ValidationCase{"DoubleTolerantlyAtTheRangeEnd", kDouble, bytes_of(2.5 * (1 + std::ldexp(1.0, -49))), 1},
        ValidationCase{"DoubleBeyondTheRange", kDouble, bytes_of(2.6), 0},
        ValidationCase{"DoubleNaNUnderARange", kDouble, bytes_of(AP1_GetNaNDB_MATH()), 0},
        ValidationCase{"SingleTolerantlyListed", kSingleList, bytes_of(1.5f * (1 + std::ldexp(1.0f, -22))), 1},
        ValidationCase{"SingleNotListed", kSingleList, bytes_of(2.0f), 0},
        // A step of 0.1 has no exact binary form: its grid validates within
        // the rounding of the values.
        ValidationCase{"StepOfATenthSeven", kDoubleStep, bytes_of(0.7), 1},
        ValidationCase{"StepOfATenthThree", kDoubleStep, bytes_of(0.3), 1},
        ValidationCase{"StepOfATenthOne", kDoubleStep, bytes_of(1.0), 1},
        ValidationCase{"StepOfATenthOffTheGrid", kDoubleStep, bytes_of(0.75), 0},
        ValidationCase{"NoLimitsTakesAnyValue", kForcedLong, bytes_of<int32_t>(INT32_MAX), 1},
        ValidationCase{"ChoiceTakesAnyNumber", kChoice, bytes_of<uint16_t>(99), 1},
        ValidationCase{"StringAtItsSize", kString, std::string(80, 'x') + '\0', 1},
        ValidationCase{"StringBeyondItsSize", kString, std::string(81, 'x') + '\0', 0},
        ValidationCase{"RawBytesAlwaysValid", kCArray, std::string(6, '\xFF'), 1}),
    [](const testing::TestParamInfo<ValidationCase>& info) { return std::string(info.param.name); });

TEST_F(ParamSet, AStepOfZeroMakesEveryValueInvalid) {
  static const I16Step zero_step{0, 10, 0};
  AP13_TableLimits(table_.table())[kInt] = &zero_step;
  for (int16_t value : {0, 2, 10}) {
    AP13_VALUEPARM parameter{kInt, &value};
    EXPECT_EQ(send(AP13_MSG_VALIDATE_PARM, object_, &parameter), 0u) << value;
  }
}

TEST_F(ParamSet, AKindThatNeedsARecordIsInvalidWithoutOne) {
  AP13_TableLimits(table_.table())[kWord] = nullptr;
  const uint16_t value = 3;
  AP13_VALUEPARM parameter{kWord, &value};
  EXPECT_EQ(send(AP13_MSG_VALIDATE_PARM, object_, &parameter), 0u);
}

TEST_F(ParamSet, ANullTextIsValidAndAnIndexBeyondTheCountIsMinusOne) {
  AP13_VALUEPARM text{kString, nullptr};
  EXPECT_EQ(send(AP13_MSG_VALIDATE_PARM, object_, &text), 1u);
  AP13_VALUEPARM beyond{kRowCount, &text};
  EXPECT_EQ(send(AP13_MSG_VALIDATE_PARM, object_, &beyond), AP13_BAD_INDEX);
}

}  // namespace
