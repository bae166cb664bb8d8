#include <string>

#include <gtest/gtest.h>

#include "platform/codepage.h"

namespace {

std::u16string to_utf16(UINT code_page, const std::string& bytes) {
  const int needed = MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string out(needed, u'\0');
  EXPECT_EQ(MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), needed),
            needed);
  return out;
}

std::string from_utf16(UINT code_page, const std::u16string& text, BOOL* used_default = nullptr) {
  const int needed =
      WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(needed, '\0');
  EXPECT_EQ(WideCharToMultiByte(code_page, 0, text.data(), static_cast<int>(text.size()), out.data(), needed, nullptr,
                                used_default),
            needed);
  return out;
}

TEST(CodePage1252, MapsTheHighControlRangeAndLatin1) {
  EXPECT_EQ(to_utf16(CP_ACP, "\x80\x8A\x99\x9F"), u"\u20AC\u0160\u2122\u0178");
  EXPECT_EQ(to_utf16(CP_WINDOWS_1252, "\xB5\xE9\xFF"), u"\u00B5\u00E9\u00FF");
  EXPECT_EQ(to_utf16(CP_ACP, "\x81\x8D"), u"\u0081\u008D");  // unassigned bytes keep their value
}

TEST(CodePage1252, RoundTripsEveryByte) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
  EXPECT_EQ(from_utf16(CP_ACP, to_utf16(CP_ACP, all)), all);
}

TEST(CodePage1252, CharactersWithoutAByteBecomeTheDefault) {
  BOOL used_default = FALSE;
  EXPECT_EQ(from_utf16(CP_ACP, u"a\u03A9b", &used_default), "a?b");
  EXPECT_EQ(used_default, TRUE);
}

TEST(CodePageUtf8, RoundTripsTheWholeRangeThroughSurrogates) {
  const std::string text = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A, e-acute, euro, U+1F600
  const std::u16string wide = to_utf16(CP_UTF8, text);
  EXPECT_EQ(wide, u"A\u00E9\u20AC\U0001F600");
  EXPECT_EQ(from_utf16(CP_UTF8, wide), text);
}

TEST(CodePageUtf8, MalformedSequencesBecomeReplacementCharacters) {
  EXPECT_EQ(to_utf16(CP_UTF8, "\xC3"), u"\uFFFD");                  // truncated
  EXPECT_EQ(to_utf16(CP_UTF8, "\xC0\xAF"), u"\uFFFD\uFFFD");        // overlong
  EXPECT_EQ(to_utf16(CP_UTF8, "\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
  EXPECT_EQ(to_utf16(CP_UTF8, "\xFF" "a"), u"\uFFFDa");
  EXPECT_EQ(from_utf16(CP_UTF8, u"\xD800x"), "\xEF\xBF\xBDx");  // lone surrogate
}

TEST(CodePages, NulTerminatedSourcesCountTheNulAndSmallBuffersFail) {
  char16_t wide[8];
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 8), 4);
  EXPECT_EQ(wide[3], u'\0');
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, wide, 3), 0);
  char narrow[8];
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00E9", -1, narrow, 8, nullptr, nullptr), 3);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00E9", -1, narrow, 2, nullptr, nullptr), 0);
  EXPECT_EQ(MultiByteToWideChar(437, 0, "abc", -1, wide, 8), 0);  // unknown code page
}

TEST(CodePages, AnsiCharactersAreSingleBytes) {
  const char text[] = "\xE9x";
  EXPECT_EQ(CharNextA(text), text + 1);
  EXPECT_EQ(CharNextA(text + 2), text + 2);  // stays on the NUL
  EXPECT_EQ(CharPrevA(text, text + 1), text);
  EXPECT_EQ(CharPrevA(text, text), text);
  EXPECT_EQ(IsDBCSLeadByte(0xE9), FALSE);
}

TEST(CodePages, UpperCasingChangesOnlyTheLettersInPlace) {
  char text[] = "log(a)+1e-3*k";
  EXPECT_EQ(CharUpperA(text), text);
  EXPECT_STREQ(text, "LOG(A)+1E-3*K");
  EXPECT_EQ(CharUpperA(nullptr), nullptr);
}

}  // namespace
