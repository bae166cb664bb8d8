#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "core/core.h"
#include "core/object_fixture.h"
#include "platform/oleaut.h"

namespace {

using CopyFunction = char* (*)(const char*, char*, int32_t);

struct CopyCase {
  const char* what;
  const char* source;
  int32_t n;
  // The 8 bytes of the destination afterwards; it starts as 8 '#'.
  const char expected[8];
};

class BoundedCopy : public testing::TestWithParam<std::tuple<CopyFunction, CopyCase>> {};

TEST_P(BoundedCopy, FillsWithNulsAndEndsWithANulAtNMinusOne) {
  const auto [copy, given] = GetParam();
  char destination[8];
  std::memset(destination, '#', sizeof destination);
  EXPECT_EQ(copy(given.source, destination, given.n), destination);
  EXPECT_EQ(std::string(destination, sizeof destination), std::string(given.expected, sizeof destination));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoundedCopy,
    testing::Combine(testing::Values(capobj_StrCopyN, capobj_StrCopyN2),
                     testing::Values(CopyCase{"LongSourceKeepsNMinusOneCharacters", "abcdefghij", 4,
                                              {'a', 'b', 'c', '\0', '#', '#', '#', '#'}},
                                     CopyCase{"ShortSourceIsFilledWithNuls", "ab", 6,
                                              {'a', 'b', '\0', '\0', '\0', '\0', '#', '#'}},
                                     CopyCase{"SizeOneGivesAnEmptyText", "ab", 1,
                                              {'\0', '#', '#', '#', '#', '#', '#', '#'}},
                                     CopyCase{"SizeZeroWritesNothing", "ab", 0,
                                              {'#', '#', '#', '#', '#', '#', '#', '#'}},
                                     CopyCase{"NegativeSizeWritesNothing", "ab", -3,
                                              {'#', '#', '#', '#', '#', '#', '#', '#'}},
                                     CopyCase{"NullSourceCopiesAsEmpty", nullptr, 3,
                                              {'\0', '\0', '\0', '#', '#', '#', '#', '#'}})),
    [](const auto& info) {
      return std::string(std::get<0>(info.param) == capobj_StrCopyN ? "StrCopyN_" : "StrCopyN2_") +
             std::get<1>(info.param).what;
    });

// "Grüße € Ω": ü, ß and € have Windows-1252 bytes (0xFC, 0xDF, 0x80); Ω has
// none and becomes '?'.
const std::u16string kWide = u"Gr\u00FC\u00DFe \u20AC \u03A9";
const std::string kAnsi = "Gr\xFC\xDF" "e \x80 ?";

TEST(WrapperStrings, AnsiLengthCountsOneByteACharacterAndTheNul) {
  EXPECT_EQ(capobj_WideToMultiByteLen(kWide), static_cast<int32_t>(kAnsi.size() + 1));
  EXPECT_EQ(capobj_WideToMultiByteLen(u""), 1);
}

TEST(WrapperStrings, WideToAnsiGivesTheWindows1252Bytes) {
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  const int32_t exact = static_cast<int32_t>(kAnsi.size() + 1);
  EXPECT_EQ(capobj_WideToMultiByte(kWide, buffer, exact), buffer);
  EXPECT_EQ(std::string(buffer), kAnsi);
  EXPECT_EQ(buffer[exact], '#');
}

TEST(WrapperStrings, WideToAnsiIntoABufferOneByteTooSmallLeavesAnEmptyText) {
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(capobj_WideToMultiByte(kWide, buffer, static_cast<int32_t>(kAnsi.size())), nullptr);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], '#');
  EXPECT_EQ(capobj_WideToMultiByte(kWide, nullptr, 16), nullptr);
  EXPECT_EQ(capobj_WideToMultiByte(kWide, buffer, 0), nullptr);
}

TEST(WrapperStrings, AnsiToWideMapsEveryWindows1252Byte) {
  std::u16string wide = u"old";
  capobj_MultiByteToWide("\x80\x9F\xA0\xFF" "A", wide);
  EXPECT_EQ(wide, u"\u20AC\u0178\u00A0\u00FF" u"A");
  capobj_MultiByteToWide("", wide);
  EXPECT_EQ(wide, u"");
}

TEST(WrapperStrings, AnsiToWideOfANullTextLeavesTheStringAsItWas) {
  std::u16string wide = u"kept";
  capobj_MultiByteToWide(nullptr, wide);
  EXPECT_EQ(wide, u"kept");
}

TEST(WrapperStrings, ABstrFromTheConverterTravelsToAnsiAndBack) {
  BSTR path = SysAllocString(u"C:\\Spektren\\Probe \u00E4\u00F6\u00FC.spa");
  const std::u16string wide(path, SysStringLen(path));
  SysFreeString(path);
  char buffer[64];
  ASSERT_NE(capobj_WideToMultiByte(wide, buffer, sizeof buffer), nullptr);
  EXPECT_EQ(std::string(buffer), "C:\\Spektren\\Probe \xE4\xF6\xFC.spa");
  std::u16string back;
  capobj_MultiByteToWide(buffer, back);
  EXPECT_EQ(back, wide);
}

class WrapperClassAccess : public ObjectTest {};

TEST_F(WrapperClassAccess, DispatcherIsTheClassTablesSlot) {
  EXPECT_EQ(capobj_GetDispatcher(AP48_CLASS_ID), AP48_Dispatcher_TEXT);
  EXPECT_EQ(capobj_GetDispatcher(0), nullptr);
  EXPECT_EQ(capobj_GetDispatcher(251), nullptr);
}

TEST_F(WrapperClassAccess, ClassInfoWidensTheCountsAndTheState) {
  void* first = make<AP48_TEXT>(AP48_CLASS_ID);
  make<AP48_TEXT>(AP48_CLASS_ID);
  destroy(first);
  uint32_t live = 99, created = 99, state = 99;
  EXPECT_TRUE(capobj_GetClassInfo(AP48_CLASS_ID, &live, &created, &state));
  EXPECT_EQ(live, 1u);
  EXPECT_EQ(created, 2u);
  EXPECT_EQ(state, 1u);
  APX_SetClassState(5, APX_NOT_REGISTERED);
  EXPECT_TRUE(capobj_GetClassInfo(5, nullptr, nullptr, &state));
  EXPECT_EQ(state, 0xFFFFu);
  EXPECT_FALSE(capobj_GetClassInfo(AP_CLASS_LIMIT, &live, &created, &state));
}

// A wrapper as the converter's classes are: a table of virtual functions,
// then the accessory object.
class Wrapper {
 public:
  explicit Wrapper(AP_OBJECT* object) : object_(object) {}
  virtual ~Wrapper() = default;

 private:
  [[maybe_unused]] AP_OBJECT* object_;
};

TEST_F(WrapperClassAccess, WrappedObjectIsTheWrappersSecondWord) {
  auto* text = make<AP_OBJECT>(AP48_CLASS_ID);
  const Wrapper wrapper(text);
  EXPECT_EQ(capobj_GetWrappedObject(&wrapper), text);
  EXPECT_EQ(capobj_GetWrappedObject(nullptr), nullptr);
}

}  // namespace
