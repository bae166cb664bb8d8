#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "core/core.h"
#include "core/params_fixture.h"
#include "platform/user.h"

namespace {

using namespace paramstest;

// A second class whose settable values are a Word 7 and a Bool TRUE, with
// an address and a row without limits that are not settable between them.
constexpr uint16_t kSmallClass = 203;

class Choices : public ParamSet {
 protected:
  void SetUp() override {
    ParamSet::SetUp();
    add_texts();
  }
  uint32_t count(uint16_t row) {
    AP13_INDEXPARM parameter{row};
    return send(AP13_MSG_GET_CHOICE_COUNT, object_, &parameter);
  }
  template <typename T>
  uint32_t value(uint16_t row, uint32_t n, T* out) {
    AP13_CHOICEVALUEPARM parameter{row, n, out};
    return send(AP13_MSG_GET_CHOICE_VALUE, object_, &parameter);
  }
  std::string text(uint16_t row, uint32_t n, uint16_t width = 0xFFFF, uint16_t precision = 0) {
    char buffer[64] = {};
    AP13_CHOICETEXTPARM parameter{row, n, width, precision, buffer};
    return send(AP13_MSG_GET_CHOICE_TEXT, object_, &parameter) == 1 ? buffer : "<failed>";
  }
  // The answer and the position written through the block's reference; the
  // block itself must come back as it went.
  template <typename T>
  std::pair<uint32_t, uint32_t> find(uint16_t row, T wanted) {
    uint32_t position = 0xDEAD;
    AP13_FINDCHOICEPARM parameter{row, &position, &wanted};
    const uint32_t result = send(AP13_MSG_FIND_CHOICE_INDEX, object_, &parameter);
    EXPECT_EQ(packed(parameter.n), &position);
    EXPECT_EQ(packed(parameter.value), static_cast<const void*>(&wanted));
    return {result, position};
  }
};

// ---------------------------------------------------------------------------
// Choices (messages 49 to 52)

TEST_F(Choices, AStepRangeCountsItsGridAndFindsAValuesPosition) {
  EXPECT_EQ(count(kInt), 6u) << "{0, 10, 2}: (10 - 0) / 2 + 1";
  int16_t fifth = 0;
  EXPECT_EQ(value(kInt, 5, &fifth), 1u);
  EXPECT_EQ(fifth, 10);
  EXPECT_EQ(find<int16_t>(kInt, 10), std::make_pair(1u, 5u));
  EXPECT_EQ(find<int16_t>(kInt, 5).first, 0u);
  EXPECT_EQ(text(kInt, 3), "6");
}

TEST_F(Choices, ARangeCountsEveryValueFromItsMinimum) {
  EXPECT_EQ(count(kWord), 5u);
  uint16_t first = 0;
  EXPECT_EQ(value(kWord, 0, &first), 1u);
  EXPECT_EQ(first, 1);
  EXPECT_EQ(count(kDouble), 0u) << "a range of doubles has no list";
}

TEST_F(Choices, FloatStepsAreComputedInDoublePrecision) {
  float single = 0.0f;
  EXPECT_EQ(value(kSingle, 3, &single), 1u);
  EXPECT_EQ(single, static_cast<float>(3 * static_cast<double>(0.25f) + 0.0));
  double tenth = 0.0;
  EXPECT_EQ(value(kDoubleStep, 7, &tenth), 1u);
  EXPECT_EQ(tenth, 0.0 + 7 * 0.1);
  EXPECT_EQ(text(kSingle, 2, 5, 2), "0.50");
}

TEST_F(Choices, AListGivesItsValuesAndRefusesAPositionBeyondIt) {
  EXPECT_EQ(count(kLong), 3u);
  int32_t listed = 0;
  EXPECT_EQ(value(kLong, 2, &listed), 1u);
  EXPECT_EQ(listed, 100000);
  int32_t untouched = 12345;
  EXPECT_EQ(value(kLong, 3, &untouched), 0u);
  EXPECT_EQ(untouched, 12345);
  EXPECT_EQ(text(kLong, 0), "-7");
  EXPECT_EQ(text(kLong, 3), "<failed>");
  EXPECT_EQ(find<float>(kSingleList, 2.5f), std::make_pair(1u, 2u));
}

TEST_F(Choices, AChoiceRowListsTheTextsOfItsGroup) {
  EXPECT_EQ(count(kChoice), 3u);
  uint16_t number = 0;
  EXPECT_EQ(value(kChoice, 2, &number), 1u);
  EXPECT_EQ(number, 3);
  EXPECT_EQ(text(kChoice, 1), "Two");
  EXPECT_EQ(text(kChoice, 1, 2), "<failed>") << "Two does not fit a width of 2";
  EXPECT_EQ(find<uint16_t>(kChoice, 1), std::make_pair(1u, 0u));
}

TEST_F(Choices, FindingAChoiceNeedsAPlaceForThePosition) {
  int16_t ten = 10;
  AP13_FINDCHOICEPARM nowhere{kInt, nullptr, &ten};
  EXPECT_EQ(send(AP13_MSG_FIND_CHOICE_INDEX, object_, &nowhere), 0u);
}

TEST_F(Choices, RowsWithoutAListAnswerAsTheirKindSays) {
  EXPECT_EQ(count(kForcedLong), AP13_NO_CHOICES) << "kind 0";
  EXPECT_EQ(count(kDWord), 0u) << "a mask";
  EXPECT_EQ(count(kBool), 0u) << "free";
  int32_t untouched = 5;
  EXPECT_EQ(value(kForcedLong, 0, &untouched), 0u);
  EXPECT_EQ(find<int32_t>(kForcedLong, -3).first, 0u);
  EXPECT_EQ(count(kRowCount), 65535u);
  EXPECT_EQ(value(kRowCount, 0, &untouched), 0u);
  EXPECT_EQ(text(kRowCount, 0), "<failed>");
  EXPECT_EQ(find<int32_t>(kRowCount, 0).first, 0u);
}

TEST_F(ParamSet, AChoiceGroupThatNoModuleHasHasNoList) {
  AP13_INDEXPARM parameter{kChoice};
  EXPECT_EQ(send(AP13_MSG_GET_CHOICE_COUNT, object_, &parameter), AP13_NO_CHOICES);
}

// ---------------------------------------------------------------------------
// All values as one text (messages 53 and 54)

class BulkText : public ParamsTest {
 protected:
  void SetUp() override {
    ParamsTest::SetUp();
    build_table(small_, kNameGroup,
                {{0, AP13_TYPE_WORD, 2, AP13_LIMITS_FREE, 0, "7"},
                 {1, AP13_TYPE_ADDR, 4, AP13_LIMITS_FREE, 0, "0"},
                 {2, AP13_TYPE_BOOL, 2, AP13_LIMITS_FREE, 0, "TRUE"},
                 {3, AP13_TYPE_LONG, 4, AP13_LIMITS_NONE, 0, "1"},
                 {4, AP13_TYPE_STRING, 12, AP13_LIMITS_FREE, 0, "note"}},
                {});
    register_set_class(kSmallClass, small_);
    object_ = make(nullptr, kSmallClass);
    ASSERT_NE(object_, nullptr);
  }
  void TearDown() override {
    destroy(object_);
    ParamsTest::TearDown();
  }
  TableBlock small_;
  AP13_CHILD* object_ = nullptr;
};

TEST_F(BulkText, JoinsTheSettableValuesWithCommas) {
  char buffer[64] = {};
  EXPECT_EQ(send(AP13_MSG_GET_ALL_TEXT, object_, buffer), 1u);
  EXPECT_STREQ(buffer, "7,TRUE,note");
}

TEST_F(BulkText, TakesTheValuesBackInOrder) {
  const char text[] = "9,FALSE,memo";
  EXPECT_EQ(send(AP13_MSG_SET_ALL_TEXT, object_, const_cast<char*>(text)), 1u);
  EXPECT_EQ(stored(object_, 0), bytes_of<uint16_t>(9));
  EXPECT_EQ(stored(object_, 2), bytes_of<int16_t>(0));
  EXPECT_EQ(text_of(object_, 4), "memo");
  EXPECT_STREQ(text, "9,FALSE,memo") << "the caller's text is not cut";
  char buffer[64] = {};
  EXPECT_EQ(send(AP13_MSG_GET_ALL_TEXT, object_, buffer), 1u);
  EXPECT_STREQ(buffer, "9,FALSE,memo");
}

TEST_F(BulkText, FewerPiecesThanValuesSetThoseThereAre) {
  char text[] = "3";
  EXPECT_EQ(send(AP13_MSG_SET_ALL_TEXT, object_, text), 1u);
  EXPECT_EQ(stored(object_, 0), bytes_of<uint16_t>(3));
  EXPECT_EQ(text_of(object_, 2), "TRUE");
}

TEST_F(BulkText, ARefusedPieceStopsAndKeepsTheValuesBeforeIt) {
  char text[] = "8\nmaybe,later";
  EXPECT_EQ(send(AP13_MSG_SET_ALL_TEXT, object_, text), 0u);
  EXPECT_EQ(stored(object_, 0), bytes_of<uint16_t>(8));
  EXPECT_EQ(text_of(object_, 2), "TRUE");
  EXPECT_EQ(text_of(object_, 4), "note");
}

TEST_F(BulkText, TheTextGoesOnlyToABufferThatTakesItWhole) {
  char* small = GU3_GetStringSpaceEx(6);
  ASSERT_NE(small, nullptr);
  std::memcpy(small, "keep!", 6);
  EXPECT_EQ(send(AP13_MSG_GET_ALL_TEXT, object_, small), 0u);
  EXPECT_STREQ(small, "keep!");
  char* enough = GU3_GetStringSpaceEx(12);
  EXPECT_EQ(send(AP13_MSG_GET_ALL_TEXT, object_, enough), 1u);
  EXPECT_STREQ(enough, "7,TRUE,note");
  GU3_RemoveString(small);
  GU3_RemoveString(enough);
}

TEST_F(ParamSet, AValueWithoutATextFormFailsTheWholeText) {
  char buffer[1024] = {};
  EXPECT_EQ(send(AP13_MSG_GET_ALL_TEXT, object_, buffer), 0u) << "the arrays behind handles have no plain text";
}

// ---------------------------------------------------------------------------
// First invalid value, data block (messages 55 to 57, 68)

TEST_F(ParamSet, TellsTheFirstInvalidValue) {
  EXPECT_EQ(send(AP13_MSG_VALIDATE_ALL, object_), AP13_ALL_VALID);
  auto* data = ap_result_object<uint8_t>(send(AP13_MSG_GET_DATA_PTR, object_));
  EXPECT_EQ(data, data_of(object_));
  EXPECT_EQ(send(AP13_MSG_GET_DATA_SIZE, object_), data_size());
  const uint16_t above = 9;
  std::memcpy(data + table_.rows[kWord].offset, &above, sizeof above);
  const int32_t unlisted = 8;
  std::memcpy(data + table_.rows[kLong].offset, &unlisted, sizeof unlisted);
  EXPECT_EQ(send(AP13_MSG_VALIDATE_ALL, object_), static_cast<uint32_t>(kWord));
  EXPECT_EQ(send(AP13_MSG_VALIDATE_EACH, object_), 1u);
}

// ---------------------------------------------------------------------------
// Copying the values that differ (message 59)

class CopyDiffering : public ParamsTest {
 protected:
  void SetUp() override {
    ParamsTest::SetUp();
    source_ = make();
    target_ = make(window(&received_));
    ASSERT_NE(target_, nullptr);
  }
  void TearDown() override {
    destroy(source_);
    destroy(target_, windows_.front());
    ParamsTest::TearDown();
  }
  uint32_t copy(int16_t first = -1, int16_t last = -1, void* to = nullptr) {
    parameter_ = AP13_COPYDIFFPARM{static_cast<AP_OBJECT*>(to != nullptr ? to : target_), first, last};
    return send(AP13_MSG_COPY_DIFFERING, source_, &parameter_);
  }
  AP13_CHILD* source_ = nullptr;
  AP13_CHILD* target_ = nullptr;
  AP13_COPYDIFFPARM parameter_{};
  std::vector<std::pair<UINT, WPARAM>> received_;
};

TEST_F(CopyDiffering, EqualObjectsCopyNothingAndSendNoNotice) {
  EXPECT_EQ(copy(), 0u);
  EXPECT_TRUE(received_.empty());
}

TEST_F(CopyDiffering, CopiesEachDifferingValueWithItsNotice) {
  ASSERT_EQ(set_text(source_, kInt, "8"), 1u);
  ASSERT_EQ(set_text(source_, kString, "changed"), 1u);
  ASSERT_EQ(set_text(source_, kDoubleStep, "0.9"), 1u);
  ASSERT_EQ(set_text(source_, kCArray, "zyxwvu", 1), 1u);
  EXPECT_EQ(copy(), 4u);
  EXPECT_EQ(stored(target_, kInt), bytes_of<int16_t>(8));
  EXPECT_EQ(text_of(target_, kString), "changed");
  EXPECT_EQ(stored(target_, kDoubleStep), bytes_of(0.9));
  EXPECT_EQ(stored(target_, kCArray), "zyxwvu");
  std::vector<WPARAM> words;
  for (const auto& notice : received_) words.push_back(notice.second);
  EXPECT_EQ(words, (std::vector<WPARAM>{kInt + 1u, kString + 1u, kDoubleStep + 1u}));
}

TEST_F(CopyDiffering, RawRowsAreCopiedStraightInWithoutAChange) {
  put(source_, kCArray, std::array<char, 6>{'z', 'y', 'x', 'w', 'v', 'u'});
  data_of(source_)[source_->params->table->rows[kLList].offset + 23] = 'Z';
  EXPECT_EQ(copy(), 2u);
  EXPECT_EQ(stored(target_, kCArray), "zyxwvu");
  EXPECT_EQ(stored(target_, kLList), std::string(kListDefault, 23) + "Z");
  EXPECT_TRUE(received_.empty());
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, target_), 2u) << "still saved";
}

TEST_F(CopyDiffering, TolerantlyEqualFloatsAreNotCopied) {
  put(source_, kDouble, 1.25 * (1 + std::ldexp(1.0, -50)));
  EXPECT_EQ(copy(), 0u);
}

TEST_F(CopyDiffering, KeepsToTheRangeGiven) {
  ASSERT_EQ(set_text(source_, kBool, "FALSE"), 1u);
  ASSERT_EQ(set_text(source_, kWord, "3"), 1u);
  EXPECT_EQ(copy(kInt, kWord), 1u);
  EXPECT_EQ(text_of(target_, kBool), "TRUE");
  EXPECT_EQ(stored(target_, kWord), bytes_of<uint16_t>(3));
  EXPECT_EQ(copy(0, kRowCount), AP13_BAD_INDEX) << "last + 1 beyond the count";
  EXPECT_EQ(copy(kRowCount, kRowCount), AP13_BAD_INDEX);
  EXPECT_EQ(copy(-2, 3), AP13_BAD_INDEX);
}

TEST_F(CopyDiffering, LengthPrefixedTextsOfOneLengthAreCopied) {
  ASSERT_EQ(set_text(source_, kPStr, "rascal"), 1u);
  ASSERT_EQ(set_text(source_, kWord, "4"), 1u);
  EXPECT_EQ(copy(), 2u);
  EXPECT_EQ(text_of(target_, kPStr), "rascal");
  EXPECT_EQ(stored(target_, kWord), bytes_of<uint16_t>(4));
}

TEST_F(CopyDiffering, LengthPrefixedTextsOfDifferentLengthsEndTheCopy) {
  ASSERT_EQ(set_text(source_, kWord, "4"), 1u);
  ASSERT_EQ(set_text(source_, kPStr, "much longer"), 1u);
  ASSERT_EQ(set_text(source_, kDoubleStep, "0.9"), 1u);
  EXPECT_EQ(copy(), AP13_BAD_INDEX);
  EXPECT_EQ(parameter_.first, kPStr);
  EXPECT_EQ(stored(target_, kWord), bytes_of<uint16_t>(4)) << "the values before it stay copied";
  EXPECT_EQ(text_of(target_, kPStr), "pascal");
  EXPECT_EQ(stored(target_, kDoubleStep), bytes_of(0.3)) << "none after it is copied";
}

TEST_F(CopyDiffering, ReportsTheFirstValueItCouldNotCopyAndCopiesTheOthers) {
  ASSERT_EQ(set_text(source_, kForcedLong, "11", 1), 1u);  // the target refuses a set without force
  put(source_, kFloatAddr, uint32_t{0x1234});              // a handle has one owner
  ASSERT_EQ(set_text(source_, kDoubleStep, "0.2"), 1u);
  EXPECT_EQ(copy(), AP13_BAD_INDEX);
  EXPECT_EQ(parameter_.first, kFloatAddr);
  EXPECT_EQ(stored(target_, kFloatAddr), bytes_of<uint32_t>(0));
  EXPECT_EQ(stored(target_, kForcedLong), bytes_of<int32_t>(-3));
  EXPECT_EQ(stored(target_, kDoubleStep), bytes_of(0.2)) << "the rows after it are copied";
  put(source_, kFloatAddr, uint32_t{0});
  EXPECT_EQ(copy(), AP13_BAD_INDEX);
  EXPECT_EQ(parameter_.first, kForcedLong);
}

TEST_F(CopyDiffering, TheTargetMustBeOfTheSameClassWithTheSameTable) {
  TableBlock other;
  build_table(other, kNameGroup);
  register_set_class(kSmallClass, other);
  AP13_CHILD* stranger = make(nullptr, kSmallClass);
  ASSERT_NE(stranger, nullptr);
  EXPECT_EQ(copy(-1, -1, stranger), 0u) << "neither class 13 nor the source's class";
  EXPECT_EQ(copy(-1, -1, stranger->params), AP13_BAD_INDEX) << "a part owned by another class";
  destroy(stranger);
  EXPECT_EQ(copy(-1, -1, target_->params), 0u) << "the target's own part takes it as well";
}

// ---------------------------------------------------------------------------
// Listing into a text object (message 60)

class Listing : public ParamSet {
 protected:
  void SetUp() override {
    ParamSet::SetUp();
    use_stand_ins();
  }
  uint32_t list(StubText* text) {
    AP13_LISTPARM parameter{reinterpret_cast<AP_OBJECT*>(text), nullptr};
    return send(AP13_MSG_LIST_TO_TEXT, object_, &parameter);
  }
};

TEST_F(Listing, WritesTheTitleAndALinePerParameter) {
  add_texts();
  StubText text;
  EXPECT_EQ(list(&text), 1u);
  ASSERT_EQ(text.lines.size(), kRowCount + 2u);
  EXPECT_EQ(text.lines[0], "Test Set\r\n");
  EXPECT_EQ(text.lines[1 + kBool], " Flag TRUE\r\n");
  EXPECT_EQ(text.lines[1 + kSingle], " Fraction 0.500000\r\n");
  EXPECT_EQ(text.lines[1 + kChoice], " Mode Two\r\n");
  EXPECT_EQ(text.lines[1 + kCArray], " Bytes ABCDEF\r\n");
  EXPECT_EQ(text.lines[1 + kFloatAddr], std::string(" Floats ") + kNotGiven + "\r\n");
  EXPECT_EQ(text.lines[1 + kOwnedText], std::string(" Owned ") + kNotGiven + "\r\n");
  EXPECT_EQ(text.lines.back(), "\r\n");
}

TEST_F(Listing, AFailedAppendLeavesTheTextObjectToItsOwner) {
  add_texts();
  StubText text;
  text.refuse_from = 3;
  EXPECT_EQ(list(&text), 0u);
  EXPECT_EQ(text.lines.size(), 3u);
  EXPECT_EQ(text.destroyed, 0);
}

TEST_F(Listing, AMissingNameEndsTheListing) {
  StubText text;
  EXPECT_EQ(list(&text), 0u);
  EXPECT_EQ(text.lines.size(), 1u) << "the title line, from the fallback";
  EXPECT_EQ(list(nullptr), 0u);
}

TEST_F(Listing, GoesOnlyIntoATextObject) {
  add_texts();
  AP13_LISTPARM parameter{reinterpret_cast<AP_OBJECT*>(object_), nullptr};
  EXPECT_EQ(send(AP13_MSG_LIST_TO_TEXT, object_, &parameter), 0u);
}

// ---------------------------------------------------------------------------
// Class flags and value sizes (messages 61 to 63)

struct FlagCase {
  uint16_t owner;
  uint32_t masked;
};

class ClassFlags : public ParamsTest, public testing::WithParamInterface<FlagCase> {};

TEST_P(ClassFlags, MaskByTheOwningClass) {
  APX_GetClassTable()->classes[GetParam().owner].class_data = table_.table();
  std::vector<uint8_t> data(data_size());
  AP13_PARAMS* part = ap13_Create_PARAMS(AP13_CLASS_ID, GetParam().owner, nullptr, data.data());
  ASSERT_NE(part, nullptr);
  AP13_FLAGPARM all{-1};
  EXPECT_EQ(send(AP13_MSG_TEST_CLASS_FLAG, part, &all), GetParam().masked);
  AP13_FLAGPARM none{0};
  EXPECT_EQ(send(AP13_MSG_TEST_CLASS_FLAG, part, &none), 0u);
  ap13_Destroy_PARAMS(part, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Owners, ClassFlags,
                         testing::Values(FlagCase{6, 4}, FlagCase{35, 8}, FlagCase{38, 2}, FlagCase{56, 1},
                                         FlagCase{64, 16}, FlagCase{kSetClass, 0}));

struct SizeCase {
  const char* name;
  uint16_t row;
  int16_t width;
  int16_t precision;
  uint32_t expected;
};

const uint32_t kNotGivenBytes = sizeof(kNotGiven);  // its length + 1

class TextSizes : public ParamSet, public testing::WithParamInterface<SizeCase> {
 protected:
  void SetUp() override {
    ParamSet::SetUp();
    add_texts();
    use_stand_ins();
    handles_ = {held<float>({1, 2, 3}), held<int16_t>({1, 0, 1, 1}), held<uint16_t>({5, 6}),
                held<double>({1, 2}), held_strings({"ab", "cde", "f"})};
    put(object_, kFloatAddr, handles_[0]);
    put(object_, kBoolAddr, handles_[1]);
    put(object_, kWordAddr, handles_[2]);
    put(object_, kDoubleAddr, handles_[3]);
    put(object_, kStrArray, handles_[4]);
    array_.rows = 2;
    array_.columns = 3;
    array_.values.assign(6, 0.0f);
    put(object_, kAP4Addr, &array_);
  }
  void TearDown() override {
    ParamSet::TearDown();
    for (GU3_HANDLE handle : handles_) GU3_Free_MM(handle);
  }
  std::vector<GU3_HANDLE> handles_;
  StubArray array_;
};

TEST_P(TextSizes, IsWhatTheValuesTextNeeds) {
  const SizeCase& c = GetParam();
  AP13_TEXTSIZEPARM parameter{c.row, c.width, c.precision};
  EXPECT_EQ(send(AP13_MSG_GET_TEXT_SIZE, object_, &parameter), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextSizes,
    testing::Values(SizeCase{"BoolWithoutWidth", kBool, 0, 0, 0}, SizeCase{"BoolWithWidth", kBool, 5, 0, 6},
                    SizeCase{"IntIsItsWidthAndTerminator", kInt, 3, 0, 4},
                    SizeCase{"LongMayNeedTheNotGivenText", kLong, 3, 0, std::max(4u, kNotGivenBytes)},
                    SizeCase{"DoubleWithWideWidth", kDouble, 20, 3, std::max(21u, kNotGivenBytes)},
                    SizeCase{"StringNeedsItsRow", kString, 10, 0, 81},
                    SizeCase{"ColourNeedsTwelve", kColor, 1, 0, 12}, SizeCase{"ColourWithoutWidth", kColor, 0, 0, 0},
                    SizeCase{"ArrayOfTwoRowsAndThreeColumns", kAP4Addr, 0, 0, 2 * 3 * 10 + 3 + 2 * 2},
                    SizeCase{"ArrayWithWidth", kAP4Addr, 7, 0, 2 * 3 * 7 + 3 + 2 * 2},
                    SizeCase{"StringsCountAndCharacters", kStrArray, 0, 0, 3 + 6},
                    SizeCase{"FloatsDefaultToTen", kFloatAddr, 0, 0, 3 + 3 * 10 + 1},
                    SizeCase{"WordsDefaultToEight", kWordAddr, 0, 0, 2 + 2 * 8 + 1},
                    SizeCase{"DoublesDefaultToTwenty", kDoubleAddr, 0, 0, 2 + 2 * 20 + 1},
                    SizeCase{"BoolsAtLeastSix", kBoolAddr, 4, 0, 4 + 4 * 6 + 1},
                    SizeCase{"BoolsWiderWidth", kBoolAddr, 8, 0, 4 + 4 * 8 + 1},
                    SizeCase{"NoBlockNoSize", kLongAddr, 5, 0, 0}, SizeCase{"OwnedTextHasNone", kOwnedText, 5, 0, 0},
                    SizeCase{"BeyondTheCount", kRowCount, 5, 0, 0}),
    [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

TEST_F(ParamSet, TellsARowsSize) {
  for (uint16_t row : {kBool, kString, kLList, kDouble}) {
    AP13_INDEXPARM parameter{row};
    EXPECT_EQ(send(AP13_MSG_GET_PARM_SIZE, object_, &parameter), table_.rows[row].size);
  }
  AP13_INDEXPARM beyond{kRowCount};
  EXPECT_EQ(send(AP13_MSG_GET_PARM_SIZE, object_, &beyond), 0u);
}

// ---------------------------------------------------------------------------
// The arrays behind the reference types, written out and filled (64, 65)

class DeepText : public ParamsTest {
 protected:
  void SetUp() override {
    ParamsTest::SetUp();
    use_stand_ins();
    object_ = make(window(&received_));
    ASSERT_NE(object_, nullptr);
  }
  void TearDown() override {
    destroy(object_, windows_.front());
    for (GU3_HANDLE handle : handles_) GU3_Free_MM(handle);
    ParamsTest::TearDown();
  }
  GU3_HANDLE keep(GU3_HANDLE handle) {
    handles_.push_back(handle);
    return handle;
  }
  std::pair<uint32_t, std::string> format(uint16_t row, uint16_t width, uint16_t precision, uint16_t size,
                                          uint16_t deep = 1) {
    std::vector<char> buffer(size + 8, '*');
    buffer.back() = '\0';
    AP13_FORMATPARM parameter{row, width, precision, buffer.data(), size, deep};
    const uint32_t result = send(AP13_MSG_FORMAT_PARM, object_, &parameter);
    return {result, std::string(buffer.data())};
  }
  uint32_t parse(uint16_t row, const char* text, uint16_t deep = 1) {
    AP13_PARSEPARM parameter{row, text, 1, deep};
    return send(AP13_MSG_PARSE_PARM, object_, &parameter);
  }
  AP13_CHILD* object_ = nullptr;
  std::vector<GU3_HANDLE> handles_;
  std::vector<std::pair<UINT, WPARAM>> received_;
};

TEST_F(DeepText, WritesHeldElementsByTheirElementType) {
  put(object_, kFloatAddr, keep(held<float>({1.5f, -2.0f, 0.25f})));
  put(object_, kBoolAddr, keep(held<int16_t>({1, 0})));
  put(object_, kDoubleAddr, keep(held<double>({0.125})));
  EXPECT_EQ(format(kFloatAddr, 6, 2, 64), std::make_pair(1u, std::string("1.50\t-2.00\t0.25\r\n")));
  EXPECT_EQ(format(kBoolAddr, 5, 0, 64), std::make_pair(1u, std::string("TRUE\tFALSE\r\n")));
  EXPECT_EQ(format(kDoubleAddr, 0xFFFF, 0, 64), std::make_pair(1u, std::string("0.125000\r\n")));
  EXPECT_EQ(format(kFloatAddr, 6, 2, 64, 0).first, 0u) << "without the deep flag there is no text";
}

// Every piece costs its length and a separator; a piece that would use up
// the buffer (less its terminator) ends the text with failure.
TEST_F(DeepText, StopsWhereTheBufferEnds) {
  put(object_, kFloatAddr, keep(held<float>({1.5f, -2.0f, 0.25f})));
  EXPECT_EQ(format(kFloatAddr, 6, 2, 13), std::make_pair(0u, std::string("1.50\t-2.00\t")));
  EXPECT_EQ(format(kFloatAddr, 6, 2, 12), std::make_pair(0u, std::string("1.50\t")));
}

TEST_F(DeepText, WritesTheStringsOfAStringArray) {
  put(object_, kStrArray, keep(held_strings({"ab", "cde"})));
  EXPECT_EQ(format(kStrArray, 0, 0, 32), std::make_pair(1u, std::string("ab\tcde\r\n")));
}

TEST_F(DeepText, WritesAnArrayRowByRow) {
  StubArray array;
  array.rows = 2;
  array.columns = 2;
  array.values = {1, 2, 3, 4};
  put(object_, kAP4Addr, &array);
  EXPECT_EQ(format(kAP4Addr, 4, 1, 64), std::make_pair(1u, std::string("1.0\t2.0\r\n3.0\t4.0\r\n")));
  const std::string reference = std::to_string(reinterpret_cast<uintptr_t>(&array));
  EXPECT_EQ(format(kAP4Addr, 0xFFFF, 0, 64, 0), std::make_pair(1u, reference)) << "plainly, its reference";
}

TEST_F(DeepText, AReferenceToAnythingButAnArrayIsNotFollowed) {
  put(object_, kAP4Addr, object_);
  EXPECT_EQ(format(kAP4Addr, 4, 1, 64).first, 0u);
  EXPECT_EQ(parse(kAP4Addr, "1\t2\r\n"), 0u);
}

TEST_F(DeepText, FillsHeldElementsInPlaceWithTheChangeNotice) {
  GU3_HANDLE floats = keep(held<float>({0, 0, 0}));
  put(object_, kFloatAddr, floats);
  EXPECT_EQ(parse(kFloatAddr, "7.5\t8\t-9\r\n"), 1u);
  const auto* values = static_cast<const float*>(GU3_GetPointer_MM(floats, 0, nullptr, nullptr));
  EXPECT_EQ(std::vector<float>(values, values + 3), (std::vector<float>{7.5f, 8.0f, -9.0f}));
  ASSERT_EQ(received_.size(), 1u);
  EXPECT_EQ(received_[0].second, kFloatAddr + 1u);
}

TEST_F(DeepText, APieceThatIsNoNumberFailsButTheOthersAreTaken) {
  GU3_HANDLE longs = keep(held<int32_t>({1, 2, 3}));
  put(object_, kLongAddr, longs);
  EXPECT_EQ(parse(kLongAddr, "10\tx\t30\r"), 0u);
  const auto* values = static_cast<const int32_t*>(GU3_GetPointer_MM(longs, 0, nullptr, nullptr));
  EXPECT_EQ(std::vector<int32_t>(values, values + 3), (std::vector<int32_t>{10, 2, 30}));
}

TEST_F(DeepText, WithoutTheDeepFlagNothingChanges) {
  GU3_HANDLE words = keep(held<uint16_t>({1, 2}));
  put(object_, kWordAddr, words);
  EXPECT_EQ(parse(kWordAddr, "5\t6\r", 0), 1u);
  const auto* values = static_cast<const uint16_t*>(GU3_GetPointer_MM(words, 0, nullptr, nullptr));
  EXPECT_EQ(values[0], 1);
  EXPECT_TRUE(received_.empty());
}

TEST_F(DeepText, FillsAnArrayInsideItsChangeBracket) {
  StubArray array;
  array.rows = 2;
  array.columns = 2;
  array.values = {0, 0, 0, 0};
  put(object_, kAP4Addr, &array);
  EXPECT_EQ(parse(kAP4Addr, "1\t2\r\n3\t4\r\n"), 1u);
  EXPECT_EQ(array.values, (std::vector<float>{1, 2, 3, 4}));
  EXPECT_EQ(array.begun, 1);
  EXPECT_EQ(array.ended, 1);
  EXPECT_EQ(parse(kAP4Addr, "5\t6\r\n7"), 0u) << "the last row has no line end";
}

TEST_F(DeepText, ReplacesTheFirstStringsOfAStringArray) {
  GU3_HANDLE old = held_strings({"ab", "cde", "f"});
  put(object_, kStrArray, old);
  EXPECT_EQ(parse(kStrArray, "x\tyy\t"), 1u);
  auto* block = ap13_load<GU3_HANDLE>(data_of(object_) + table_.rows[kStrArray].offset);
  ASSERT_NE(block, old);
  keep(block);
  const auto* bytes = static_cast<const char*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  const std::string expected = std::string("\3\0\4\0x\0yy\0f\0", 11);
  EXPECT_EQ(std::string(bytes, GU3_NumElements_MM(block)), expected);
  EXPECT_EQ(GU3_NumElements_MM(old), 0u) << "the old block is freed";
}

TEST_F(ParamsTest, TheSpectralHeadersTitleLosesItsControlCharacters) {
  TableBlock header;
  build_table(header, 1041);
  register_set_class(kSmallClass, header);
  AP13_CHILD* object = make(nullptr, kSmallClass);
  ASSERT_NE(object, nullptr);
  const char text[] = "two\tlines\r\nhere";
  AP13_PARSEPARM parameter{8, text, 0, 0};
  EXPECT_EQ(send(AP13_MSG_PARSE_PARM, object, &parameter), 1u);
  EXPECT_EQ(text_of(object, 8), "two lines  here");
  EXPECT_STREQ(text, "two\tlines\r\nhere");
  destroy(object);
}

// ---------------------------------------------------------------------------
// Description of a parameter (message 66)

TEST_F(ParamsTest, DescribesTypeLimitsDefaultAndExtent) {
  use_stand_ins();
  AP13_CHILD* object = make();
  ASSERT_NE(object, nullptr);
  GU3_HANDLE floats = held<float>({1, 2, 3, 4});
  GU3_HANDLE strings = held_strings({"a", "b"});
  put(object, kFloatAddr, floats);
  put(object, kStrArray, strings);
  StubArray array;
  array.rows = 3;
  array.columns = 5;
  array.values.assign(15, 0.0f);
  put(object, kAP4Addr, &array);
  table_.rows[kWord].default_text = nullptr;
  struct Case {
    uint16_t row;
    const char* text;
    uint32_t first, second;
  };
  for (const Case& c : {Case{kInt, "4", 0, 0}, Case{kWord, "NULL", 0, 0}, Case{kCArray, "ABCDEF", 0, 0},
                        Case{kLList, kListDefault, 0, 0}, Case{kFloatAddr, "0", 1, 4}, Case{kStrArray, "0", 1, 2},
                        Case{kAP4Addr, "0", 3, 5}, Case{kDoubleAddr, "0", 0, 0}}) {
    uint16_t type = 0, limits = 0;
    char text[64] = {};
    uint32_t extent[2] = {9, 9};
    AP13_DESCRIBEPARM parameter{c.row, &type, &limits, text, extent};
    EXPECT_EQ(send(AP13_MSG_DESCRIBE_PARM, object, &parameter), 1u) << c.row;
    EXPECT_EQ(type, table_.rows[c.row].type);
    EXPECT_EQ(limits, table_.rows[c.row].limits);
    EXPECT_STREQ(text, c.text);
    EXPECT_EQ(extent[0], c.first) << c.row;
    EXPECT_EQ(extent[1], c.second) << c.row;
  }
  uint16_t type = 0, limits = 0;
  char text[64] = {};
  uint32_t extent[2] = {};
  AP13_DESCRIBEPARM owned{kOwnedText, &type, &limits, text, extent};
  EXPECT_EQ(send(AP13_MSG_DESCRIBE_PARM, object, &owned), 0u);
  destroy(object);
  GU3_Free_MM(floats);
  GU3_Free_MM(strings);
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Taking values from a stored block (message 67)

class TakeValues : public ParamSet {
 protected:
  uint32_t take(const std::string& bytes, uint32_t stored_size, uint8_t* data = nullptr) {
    testsupport::write_file("block.bin", bytes);
    AP20_FILE* file = open_file("block.bin", AP20_MODE_READ);
    AP13_TAKEPARM parameter{reinterpret_cast<AP_OBJECT*>(file), data != nullptr ? data : data_of(object_),
                            stored_size, data_size()};
    const uint32_t result = send(AP13_MSG_TAKE_VALUES, object_, &parameter);
    close(file);
    return result;
  }
  std::string block() const { return std::string(reinterpret_cast<const char*>(data_of(object_)), data_size()); }
};

TEST_F(TakeValues, AnswersTheBytesReadAndTakesTheValidValues) {
  std::string bytes = block();
  bytes.replace(table_.rows[kInt].offset, 2, bytes_of<int16_t>(10));
  bytes.replace(table_.rows[kDoubleStep].offset, 8, bytes_of(0.6));
  EXPECT_EQ(take(bytes, data_size()), data_size());
  EXPECT_EQ(stored(object_, kInt), bytes_of<int16_t>(10));
  EXPECT_EQ(stored(object_, kDoubleStep), bytes_of(0.6));
}

// The whole stored block must come, or nothing is taken: not even the
// values that lay in the part that was read.
TEST_F(TakeValues, AShortReadStoresNothing) {
  const std::string before = block();
  std::string bytes = block();
  bytes.replace(table_.rows[kInt].offset, 2, bytes_of<int16_t>(10));
  EXPECT_EQ(take(bytes.substr(0, 40), data_size()), 0u);
  EXPECT_EQ(block(), before);
}

TEST_F(TakeValues, OnlyThePartsOwnBlockAndSizeAreTaken) {
  std::vector<uint8_t> elsewhere(data_size());
  EXPECT_EQ(take(block(), data_size(), elsewhere.data()), 0u);
  AP13_TAKEPARM wrong_size{nullptr, data_of(object_), data_size(), data_size() + 1};
  EXPECT_EQ(send(AP13_MSG_TAKE_VALUES, object_, &wrong_size), 0u);
}

TEST_F(TakeValues, OnlyAnOpenFileObjectIsReadFrom) {
  const std::string before = block();
  AP13_TAKEPARM from_a_part{reinterpret_cast<AP_OBJECT*>(packed(object_->params)), data_of(object_), data_size(),
                            data_size()};
  EXPECT_EQ(send(AP13_MSG_TAKE_VALUES, object_, &from_a_part), 0u);
  EXPECT_EQ(block(), before);
}

TEST_F(TakeValues, TheTakenBlockIsOneChangeWithOneNotice) {
  std::vector<std::pair<UINT, WPARAM>> received;
  HWND watcher = window(&received);
  AP_DEPENDENTWINDOWPARM add{watcher, AP2_KIND_NOTIFY_CHANGE};
  ASSERT_EQ(send(AP_MSG_ADD_DEPENDENT_WINDOW, object_, &add), 1u);
  // Stored without the last row: that one is reset inside the same change.
  EXPECT_NE(take(block().substr(0, table_.rows[kDoubleStep].offset), table_.rows[kDoubleStep].offset), 0u);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].first, AP_NOTICE_CHANGED);
  EXPECT_EQ(received[0].second, 0u) << "no single parameter";
  AP_WINDOWPARM remove{watcher, 0};
  send(AP_MSG_REMOVE_DEPENDENT, object_, &remove);
}

}  // namespace
