#include <cstring>

#include "util_fixture.h"

namespace {

class Strings : public utiltest::Utilities {};

struct NumberCase {
  const char* text;
  int16_t kind;
};

class NumberKinds : public Strings, public testing::WithParamInterface<NumberCase> {};

TEST_P(NumberKinds, ClassifyTheText) { EXPECT_EQ(GU4_IsNumber(GetParam().text), GetParam().kind) << GetParam().text; }

INSTANTIATE_TEST_SUITE_P(
    Cases, NumberKinds,
    testing::Values(NumberCase{"12", 3}, NumberCase{"-12", 2}, NumberCase{"+7", 2}, NumberCase{" 1,000 ", 3},
                    NumberCase{"1.5", 4}, NumberCase{"-1.5", 4}, NumberCase{"1e5", 5}, NumberCase{"1E-5", 5},
                    NumberCase{"1e", 0}, NumberCase{"1 2", 0}, NumberCase{"1.2.3", 0}, NumberCase{"1e5.3", 0},
                    NumberCase{"+-1", 0}, NumberCase{".", 4}, NumberCase{"", 0}, NumberCase{"   ", 0},
                    NumberCase{"12a", 0}, NumberCase{"1-", 0}, NumberCase{nullptr, 0}));

TEST_F(Strings, NumbersFollowTheInternationalCharacters) {
  GUX_SetInternationalChar(',', GUX_DECIMAL);
  GUX_SetInternationalChar('.', GUX_THOUSANDS);
  EXPECT_EQ(GU4_IsNumber("1,5"), 4);
  EXPECT_EQ(GU4_IsNumber("1,5,3"), 0);  // ',' is now the decimal point
  EXPECT_EQ(GU4_IsNumber("1.5"), 4);    // '.' is always one
  GUX_SetInternationalChar('\'', GUX_THOUSANDS);
  GUX_SetInternationalChar('.', GUX_DECIMAL);
  EXPECT_EQ(GU4_IsNumber("1'000'000"), 3);
}

TEST_F(Strings, String2IntTakesTheLeadingIntegerOfNumbersOnly) {
  int32_t wide = 0;
  int16_t narrow = 0;
  EXPECT_EQ(GU4_String2Int(" -42.7", &wide, 4), 1);
  EXPECT_EQ(wide, -42);
  EXPECT_EQ(GU4_String2Int("70000", &narrow, 2), 1);
  EXPECT_EQ(narrow, static_cast<int16_t>(70000));
  EXPECT_EQ(GU4_String2Int("x1", &wide, 4), 0);
  const std::string long_number = std::string(200, ' ') + "5";  // beyond the 127-character work copy
  wide = 9;
  EXPECT_EQ(GU4_String2Int(long_number.c_str(), &wide, 4), 1);
  EXPECT_EQ(wide, 0);
}

TEST_F(Strings, IntegerTextsInRadixes) {
  char buffer[40];
  EXPECT_STREQ(GU4_itoa(-123, buffer, 10), "-123");
  EXPECT_STREQ(GU4_ltoa(255, buffer, 16), "ff");
  EXPECT_STREQ(GU4_ltoa(-1, buffer, 16), "ffffffff");
  EXPECT_STREQ(GU4_ltoa(5, buffer, 2), "101");
  EXPECT_EQ(GU4_ltoa(5, nullptr, 10), nullptr);
  EXPECT_EQ(GU4_atol("  -77x"), -77);
  double whole = 0;
  EXPECT_FLOAT_EQ(GU4_modf(-2.25f, &whole), -0.25f);
  EXPECT_EQ(whole, -2.0);
}

TEST_F(Strings, StrncpyTerminatesOnlyWhenTheSourceEndedFirst) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  GU4_Strncpy(buffer, "abc", 3);
  EXPECT_EQ(std::string(buffer, 4), "abcx");
  GU4_Strncpy(buffer, "ab", 3);
  EXPECT_STREQ(buffer, "ab");
  EXPECT_EQ(GU4_Strncpy(nullptr, "a", 1), nullptr);
}

TEST_F(Strings, PrependCutsTheTextAndRefusesAPrefixThatFillsTheBuffer) {
  char buffer[8] = "abcdef";
  EXPECT_EQ(GU4_Prepend(buffer, "xy", 6), 5);
  EXPECT_STREQ(buffer, "xyabc");
  char room[16] = "tail";
  EXPECT_EQ(GU4_Prepend(room, "head-", sizeof room), 9);
  EXPECT_STREQ(room, "head-tail");
  char full[6] = "abc";
  EXPECT_EQ(GU4_Prepend(full, "123456", 6), 0);  // no room for the terminator
  EXPECT_STREQ(full, "abc");
  EXPECT_EQ(GU4_Prepend(full, "1234", 6), 5);
  EXPECT_STREQ(full, "1234a");
  EXPECT_EQ(GU4_Prepend(full, "12345", 6), 5);  // the prefix and its terminator just fit
  EXPECT_STREQ(full, "12345");
}

TEST_F(Strings, EditsAndPascalStrings) {
  char text[16] = "1.500000";
  EXPECT_EQ(GU4_Strip(text, '0'), 3);
  EXPECT_STREQ(text, "1.5");
  uint8_t pascal[16];
  EXPECT_EQ(GU4_ASCIIZ2Pascal("abc", pascal), 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(pascal), 5), std::string("\x03" "abc\0", 5));
  char back[16];
  EXPECT_EQ(GU4_Pascal2ASCIIZ(pascal, back), 3);
  EXPECT_STREQ(back, "abc");
  EXPECT_EQ(GU4_CharCount("caf\xE9"), 4u);
  EXPECT_EQ(GU4_CharWidthInBytes("\xE9"), 1);
  char spaced[16] = "  in  ";
  EXPECT_STREQ(TrimTrailingSpaces(TrimLeadingSpaces(spaced)), "in");
  EXPECT_STREQ(SkipLeadingSpaces("  x "), "x ");
}

TEST_F(Strings, SearchFindsCharactersSetsRunsAndParts) {
  const char* text = "a;b,c";
  EXPECT_EQ(GU4_StrChr(text, ','), text + 3);
  EXPECT_EQ(GU4_StrChr(text, '\0'), text + 5);
  EXPECT_EQ(GU4_StrChr(text, 'z'), nullptr);
  EXPECT_EQ(GU4_StrPbrk(text, ",;"), text + 1);
  EXPECT_EQ(GU4_StrPbrk(text, "xyz"), nullptr);
  EXPECT_EQ(GU4_strspn("aab;", "ab"), 3u);
  EXPECT_EQ(GU4_StrStr("spectrum", "ctr"), 1);
  EXPECT_EQ(GU4_StrStr("spectrum", "rum!"), 0);
  EXPECT_EQ(GU4_StrStr("spectrum", ""), 1);
  EXPECT_EQ(GU4_StrStr(nullptr, "a"), 0);
}

TEST_F(Strings, TokensSkipRunsOfDelimitersAndEndWithNull) {
  char text[] = "a,,b";
  EXPECT_STREQ(GU4_StrTok(text, ","), "a");
  EXPECT_STREQ(GU4_StrTok(nullptr, ","), "b");
  EXPECT_EQ(GU4_StrTok(nullptr, ","), nullptr);
  char plain[] = "nodelimiter";
  EXPECT_EQ(GU4_StrTokSafe(plain, ","), nullptr);
  char words[] = "x y";
  EXPECT_STREQ(GU4_StrTokSafe(words, " "), "x");
  char limited[] = "abc;def";
  EXPECT_EQ(GU4_StrnTok(limited, ";", 3), nullptr);
  EXPECT_STREQ(GU4_StrnTok(limited, ";", 4), "abc");
  // A buffer filled to its end, without a terminator, is read no further.
  char unterminated[3] = {'a', 'b', 'c'};
  EXPECT_EQ(GU4_StrnTok(unterminated, ";", sizeof unterminated), nullptr);
}

TEST_F(Strings, ParseSplitsTrimsAndCountsDelimitedFields) {
  char a[16], b[16], c[16];
  char* fields[] = {a, b, c, nullptr};
  EXPECT_EQ(Parse("a ; b ;c", fields, ';'), 2);
  EXPECT_STREQ(a, "a");
  EXPECT_STREQ(b, "b");
  EXPECT_STREQ(c, "c");
  char* two[] = {a, b, nullptr};
  EXPECT_EQ(Parse("1;2;3;4", two, ';'), 2);  // the work ends with the buffers
  EXPECT_STREQ(b, "2");
  char* none[] = {nullptr};
  EXPECT_EQ(Parse("1;2", none, ';'), 0);  // no buffer is written through a null
  EXPECT_EQ(Parse("1;2", fields, '\0'), 0);
}

}  // namespace
