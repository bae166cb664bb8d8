#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "array/array.h"
#include "core/core.h"
#include "core/params_fixture.h"
#include "platform/user.h"

namespace {

using namespace paramstest;

const APX_CLASSREC& record(uint16_t class_id) { return APX_GetClassTable()->classes[class_id]; }

// ---------------------------------------------------------------------------
// Layout

TEST(ParameterTableLayout, ARowIsFourteenBytesInItsOrder) {
  static const char text[] = "7";
  const AP13_PARMENTRY row{0x0102, 0x0304, 0x0506, 0x0708, 0x090A, text};
  uint8_t bytes[sizeof row];
  std::memcpy(bytes, &row, sizeof row);
  const uint8_t expected[10] = {0x02, 0x01, 0x04, 0x03, 0x06, 0x05, 0x08, 0x07, 0x0A, 0x09};
  EXPECT_EQ(sizeof row, 14u);
  EXPECT_EQ(std::memcmp(bytes, expected, sizeof expected), 0);
  const char* stored = nullptr;
  std::memcpy(&stored, bytes + 10, sizeof stored);
  EXPECT_EQ(stored, text);
}

TEST(ParameterTableLayout, TheHeadIsTwentyBytesFollowedByTheLimitsAndAZero) {
  EXPECT_EQ(offsetof(AP13_PARMTABLE, row_bytes), 0u);
  EXPECT_EQ(offsetof(AP13_PARMTABLE, data_size), 2u);
  EXPECT_EQ(offsetof(AP13_PARMTABLE, one), 6u);
  EXPECT_EQ(offsetof(AP13_PARMTABLE, name_group), 8u);
  EXPECT_EQ(offsetof(AP13_PARMTABLE, count), 10u);
  EXPECT_EQ(offsetof(AP13_PARMTABLE, reserved), 12u);
  EXPECT_EQ(offsetof(AP13_PARMTABLE, rows), 16u);
  // The title's two rows make a 32-byte block, the spectral header's 59 one of 260.
  EXPECT_EQ(AP13_TableBytes(2), 32u);
  EXPECT_EQ(AP13_TableBytes(59), 20u + 59u * 4u + 4u);
  std::vector<uint8_t> block(AP13_TableBytes(2), 0xEE);
  auto* table = reinterpret_cast<AP13_PARMTABLE*>(block.data());
  EXPECT_EQ(reinterpret_cast<uint8_t*>(AP13_TableLimits(table)), block.data() + 20);
}

TEST(ParameterTableLayout, ThePartIsSixteenBytes) {
  EXPECT_EQ(sizeof(AP13_PARAMS), 16u);
  EXPECT_EQ(offsetof(AP13_PARAMS, owner_class), 6u);
  EXPECT_EQ(offsetof(AP13_PARAMS, table), 8u);
  EXPECT_EQ(offsetof(AP13_PARAMS, data), 12u);
}

TEST_F(ParamsTest, TheTestTablesSizeWordCountsFourteenBytesARow) {
  EXPECT_EQ(table_.table()->row_bytes, kRowCount * 14u);
  EXPECT_EQ(packed(table_.table()->data_size), data_size());
}

// ---------------------------------------------------------------------------
// Class, lifecycle and the common protocol

TEST_F(ParamsTest, LoadRegistersTheClassWithItsParentAndDispatcher) {
  EXPECT_EQ(APX_GetClassState(AP13_CLASS_ID), 1);
  EXPECT_EQ(APX_GetClassParentID(AP13_CLASS_ID), AP2_CLASS_ID);
  EXPECT_EQ(GU2_GetDispatcher(AP13_CLASS_ID), AP13_Dispatcher_PARAMS);
  EXPECT_NE(packed(record(AP13_CLASS_ID).instance_heap), nullptr);
}

TEST_F(ParamsTest, UnloadFreesTheInstanceHeap) {
  apcom_UnregisterClasses();
  EXPECT_EQ(packed(record(AP13_CLASS_ID).instance_heap), nullptr);
  EXPECT_EQ(ap13_TermClass_PARAMS(AP13_CLASS_ID), 0) << "nothing is left to free";
  EXPECT_EQ(ap13_InitClass_PARAMS(12), 0);
}

TEST_F(ParamsTest, ANewObjectTakesItsDefaultsAndIsSaved) {
  AP13_CHILD* object = make();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(packed(object->params->owner_class), kSetClass);
  EXPECT_EQ(packed(object->params->data), data_of(object));
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, object), static_cast<uint32_t>(AP2_SAVED));
  EXPECT_EQ(stored(object, kInt), bytes_of<int16_t>(4));
  EXPECT_EQ(stored(object, kSingle), bytes_of(0.5f));
  EXPECT_EQ(stored(object, kCArray), "ABCDEF") << "a row of limits kind 0 takes its default too";
  EXPECT_EQ(stored(object, kForcedLong), bytes_of<int32_t>(-3));
  EXPECT_EQ(stored(object, kLList), std::string(kListDefault, 24));
  EXPECT_EQ(stored(object, kChoice), bytes_of<uint16_t>(2)) << "a choice's default is its number";
  const auto* owned = ap13_load<const char*>(data_of(object) + object->params->table->rows[kOwnedText].offset);
  ASSERT_NE(owned, nullptr);
  EXPECT_STREQ(owned, "owned");
  EXPECT_EQ(destroy(object), AP_DESTROYED);
}

TEST_F(ParamsTest, CreationAndDestructionCountThePartAndItsOwningClass) {
  AP13_CHILD* first = make();
  AP13_CHILD* second = make();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(record(AP13_CLASS_ID).live, 2);
  EXPECT_EQ(record(kSetClass).live, 2);
  EXPECT_EQ(record(kSetClass).created, 2);
  destroy(first);
  EXPECT_EQ(record(AP13_CLASS_ID).live, 1);
  EXPECT_EQ(record(kSetClass).live, 1);
  EXPECT_EQ(record(AP13_CLASS_ID).created, 2);
  destroy(second);
}

TEST_F(ParamsTest, APartNeedsItsOwnersTableAndReportsAMissingDataBlock) {
  EXPECT_EQ(ap13_Create_PARAMS(AP13_CLASS_ID, 77, nullptr, nullptr), nullptr) << "class 77 has no table";
  EXPECT_TRUE(platform::message_boxes().empty());
  uint16_t class_id = AP13_CLASS_ID;
  AP13_CREATEPARM parameter{kSetClass, nullptr, nullptr};
  auto* part = ap_result_object<AP13_PARAMS>(send(AP_MSG_CREATE, &class_id, &parameter));
  ASSERT_NE(part, nullptr);
  ASSERT_EQ(platform::message_boxes().size(), 1u);
  EXPECT_EQ(platform::message_boxes()[0].caption, "Debug");
  EXPECT_EQ(platform::message_boxes()[0].text, "Memory Allocation Error for AP13 Data.\r\n");
  EXPECT_EQ(ap2_GetSize_OBJ(reinterpret_cast<AP2_OBJECT*>(packed(part->head.parent))), 46u);
  AP2_OBJECT* root = reinterpret_cast<AP2_OBJECT*>(packed(part->head.parent));
  EXPECT_EQ(packed(root->outer), &part->head) << "without an outer object the part is its own";
  AP_WINDOWPARM no_window{nullptr, 0};
  EXPECT_EQ(send(AP_MSG_INIT, part, &no_window), 0u) << "nothing to reset without a data block";
  EXPECT_EQ(send(AP_MSG_DESTROY, part, &no_window), AP_DESTROYED);
}

TEST_F(ParamsTest, SizeAndClassNameOfThePart) {
  AP13_CHILD* object = make();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(send(AP_MSG_SIZE, object), 46u + data_size() + 16u);
  char name[32] = {};
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, object, name), 1u);
  EXPECT_STREQ(name, "AP13_PARAMS");
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, object, nullptr), 0u);
  destroy(object);
}

TEST_F(ParamsTest, InitialisingWithAWindowMakesItADependent) {
  std::vector<std::pair<UINT, WPARAM>> received;
  HWND watcher = window(&received);
  AP13_CHILD* object = make(watcher);
  ASSERT_NE(object, nullptr);
  const int16_t flag = 0;
  ASSERT_EQ(set(object, kBool, &flag), 1u);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].first, AP_NOTICE_CHANGED);
  destroy(object, watcher);
}

TEST_F(ParamsTest, ARefusedDestroyKeepsTheObjectAndItsOwnedText) {
  std::vector<std::pair<UINT, WPARAM>> received;
  HWND holder = window(&received);
  AP13_CHILD* object = make();
  ASSERT_NE(object, nullptr);
  AP_DEPENDENTWINDOWPARM hold{holder, AP2_KIND_CANT_DESTROY};
  ASSERT_EQ(send(AP_MSG_ADD_DEPENDENT_WINDOW, object, &hold), 1u);
  EXPECT_EQ(destroy(object), AP_DESTROY_REFUSED);
  EXPECT_EQ(record(kSetClass).live, 1);
  EXPECT_EQ(text_of(object, kString), "hello");
  const auto* owned = ap13_load<const char*>(data_of(object) + object->params->table->rows[kOwnedText].offset);
  EXPECT_STREQ(owned, "owned");
  EXPECT_EQ(destroy(object, holder), AP_DESTROYED);
}

TEST_F(ParamSet, MessagesWithoutARowAnswerZero) {
  char block[32] = {};
  for (uint16_t message : {0, 19, 20, 21, 24, 30, 35, 58, 69, 200}) {
    EXPECT_EQ(send(message, object_, block), 0u) << "message " << message;
  }
}

TEST_F(ParamsTest, APartOfAnotherClassOrNoneIsRefused) {
  AP2_OBJECT* root = ap2_Create_OBJ(AP2_CLASS_ID, nullptr);
  uint16_t count = 0;
  EXPECT_EQ(AP13_Dispatcher_PARAMS(root, AP13_MSG_GET_PARM_COUNT, &count), 0u);
  EXPECT_EQ(AP13_Dispatcher_PARAMS(nullptr, AP13_MSG_GET_PARM_COUNT, &count), 0u);
  EXPECT_EQ(AP13_Dispatcher_PARAMS(root, AP13_MSG_VALIDATE_ALL, nullptr), AP13_NOT_PARAMS);
  ap2_Destroy_OBJ(root, nullptr);
}

// ---------------------------------------------------------------------------
// Each row of the table: its default, its text with and without a width,
// a text it takes and one it refuses, and the number of its choices.

struct RowFacts {
  const char* name;
  uint16_t row;
  const char* default_text;  // free form; null: no plain text form
  uint16_t size;             // message 42's buffer size (width + 1) and precision
  uint16_t precision;
  const char* sized_text;  // null: that fails
  const char* taken;       // set with message 43, force 1
  std::string taken_value;  // the stored value afterwards (empty: unchanged)
  const char* refused;      // refused with force 1 (null: none)
  uint32_t choices;
};

class Rows : public ParamSet, public testing::WithParamInterface<RowFacts> {
 protected:
  void SetUp() override {
    ParamSet::SetUp();
    add_texts();
  }
};

TEST_P(Rows, DefaultText) {
  const RowFacts& c = GetParam();
  EXPECT_EQ(text_of(object_, c.row), c.default_text != nullptr ? c.default_text : "<failed>");
}

TEST_P(Rows, TextWithWidthAndPrecision) {
  const RowFacts& c = GetParam();
  char buffer[AP13_LARGEST_VALUE] = {};
  const uint32_t result = get_text(object_, c.row, buffer, c.size, c.precision);
  EXPECT_EQ(result, c.sized_text != nullptr ? 1u : 0u);
  if (c.sized_text != nullptr) {
    EXPECT_STREQ(buffer, c.sized_text);
  }
}

TEST_P(Rows, TakesAValidTextAndRefusesAnInvalidOne) {
  const RowFacts& c = GetParam();
  const std::string before = stored(object_, c.row);
  EXPECT_EQ(set_text(object_, c.row, c.taken, 1), 1u);
  const std::string after = stored(object_, c.row);
  if (c.taken_value.empty()) {
    EXPECT_EQ(after, before);
  } else {
    EXPECT_EQ(after.substr(0, c.taken_value.size()), c.taken_value);
  }
  if (c.refused != nullptr) {
    EXPECT_EQ(set_text(object_, c.row, c.refused, 1), 0u);
    EXPECT_EQ(stored(object_, c.row), after);
  }
}

TEST_P(Rows, CountsItsChoices) {
  const RowFacts& c = GetParam();
  AP13_INDEXPARM parameter{c.row};
  EXPECT_EQ(send(AP13_MSG_GET_CHOICE_COUNT, object_, &parameter), c.choices);
}

const std::string kTooLongForTheTitle(81, 't');
const std::string kTooLongForTheShortText(17, 's');

INSTANTIATE_TEST_SUITE_P(
    EveryTypeAndLimitsKind, Rows,
    testing::Values(
        RowFacts{"Bool", kBool, "TRUE", 6, 0, "TRUE", "false", bytes_of<int16_t>(0), "yes", 0},
        RowFacts{"IntStep", kInt, "4", 4, 0, "4 ", "6", bytes_of<int16_t>(6), "5", 6},
        RowFacts{"WordRange", kWord, "1", 3, 0, "1 ", "5", bytes_of<uint16_t>(5), "6", 5},
        RowFacts{"LongList", kLong, "0", 2, 0, "0", "-7", bytes_of<int32_t>(-7), "7", 3},
        RowFacts{"DWordMask", kDWord, "5", 2, 0, "5", "12", bytes_of<uint32_t>(12), "16", 0},
        RowFacts{"SingleStep", kSingle, "0.500000", 6, 2, "0.50", "0.75", bytes_of(0.75f), "0.3", 5},
        RowFacts{"DoubleRange", kDouble, "1.250000", 6, 3, "1.250", "2.5", bytes_of(2.5), "2.6", 0},
        RowFacts{"String", kString, "hello", 4, 0, nullptr, "abc", std::string("abc\0", 4),
                 kTooLongForTheTitle.c_str(), 0},
        RowFacts{"PStr", kPStr, "pascal", 10, 0, "pascal", "xyz", std::string("\3xyz", 4),
                 kTooLongForTheShortText.c_str(), 0},
        RowFacts{"Addr", kAddr, "0", 2, 0, "0", "123", bytes_of<uint32_t>(123), "-1", 0},
        RowFacts{"WinID", kWinID, "0", 2, 0, "0", "65537", bytes_of<uint32_t>(65537), "x", 0},
        RowFacts{"LList", kLList, kListDefault, 25, 0, kListDefault, "ABCDEFGHIJKLMNOPQRSTUVWX", "ABCDEFGHIJKLMNOPQRSTUVWX",
                 nullptr, 0},
        RowFacts{"CArray", kCArray, "ABCDEF", 7, 0, "ABCDEF", "abcdef", "abcdef", nullptr, AP13_NO_CHOICES},
        RowFacts{"Colour", kColor, "255,0,0", 8, 0, "255,0,0", "0,128,255", bytes_of<uint32_t>(0x02FF8000),
                 "256,0,0", 0},
        RowFacts{"ArrayReference", kAP4Addr, "0", 2, 0, "0", "5", "", nullptr, 0},
        RowFacts{"StringArray", kStrArray, nullptr, 8, 0, nullptr, "1", "", nullptr, 0},
        RowFacts{"Floats", kFloatAddr, nullptr, 8, 0, nullptr, "1", "", nullptr, 0},
        RowFacts{"Bools", kBoolAddr, nullptr, 8, 0, nullptr, "1", "", nullptr, 0},
        RowFacts{"Words", kWordAddr, nullptr, 8, 0, nullptr, "1", "", nullptr, 0},
        RowFacts{"Longs", kLongAddr, nullptr, 8, 0, nullptr, "1", "", nullptr, 0},
        RowFacts{"Doubles", kDoubleAddr, nullptr, 8, 0, nullptr, "1", "", nullptr, 0},
        RowFacts{"DWords", kDWordAddr, nullptr, 8, 0, nullptr, "1", "", nullptr, 0},
        RowFacts{"Choice", kChoice, "Two", 3, 0, nullptr, "three", bytes_of<uint16_t>(3), "Four", 3},
        RowFacts{"SingleList", kSingleList, "1.500000", 4, 1, "1.5", "2.5", bytes_of(2.5f), "2", 3},
        RowFacts{"NoLimits", kForcedLong, "-3", 3, 0, "-3", "-9", bytes_of<int32_t>(-9), "1.5", AP13_NO_CHOICES},
        RowFacts{"DoubleStepOfATenth", kDoubleStep, "0.300000", 4, 1, "0.3", "0.7", bytes_of(0.7), "0.75", 11}),
    [](const testing::TestParamInfo<RowFacts>& info) { return std::string(info.param.name); });

TEST_F(ParamSet, RawRowsGiveTheirBytesAsText) {
  char buffer[32];
  std::memset(buffer, '*', sizeof buffer);
  EXPECT_EQ(get_text(object_, kCArray, buffer, 8, 0), 1u);
  EXPECT_EQ(std::string(buffer, 8), "ABCDEF**");
  EXPECT_EQ(get_text(object_, kLList, buffer, 8, 0), 0u) << "24 bytes do not fit a buffer of 8";
}

TEST_F(ParamSet, TheOwnedTextHasNoTextFormButIsSetFromText) {
  EXPECT_EQ(text_of(object_, kOwnedText), "<failed>");
  EXPECT_EQ(set_text(object_, kOwnedText, "replaced"), 1u);
  EXPECT_STREQ(ap13_load<const char*>(data_of(object_) + object_->params->table->rows[kOwnedText].offset), "replaced");
  EXPECT_EQ(set_text(object_, kOwnedText, ""), 1u);
  EXPECT_EQ(ap13_load<const char*>(data_of(object_) + object_->params->table->rows[kOwnedText].offset), nullptr)
      << "an empty text stores nothing";
}

// ---------------------------------------------------------------------------
// Values by value (messages 40 and 41)

TEST_F(ParamSet, ARowWithoutLimitsIsStoredOnlyWithForce) {
  const int32_t value = 77;
  EXPECT_EQ(set(object_, kForcedLong, &value, 0), 0u);
  EXPECT_EQ(stored(object_, kForcedLong), bytes_of<int32_t>(-3));
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, object_), static_cast<uint32_t>(AP2_SAVED)) << "a refused set changes nothing";
  EXPECT_EQ(set(object_, kForcedLong, &value, 1), 1u);
  EXPECT_EQ(stored(object_, kForcedLong), bytes_of<int32_t>(77));
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, object_), static_cast<uint32_t>(AP2_CHANGED));
}

TEST_F(ParamSet, ForceDoesNotLiftValidation) {
  const int16_t off_grid = 5;
  EXPECT_EQ(set(object_, kInt, &off_grid, 1), 0u);
  EXPECT_EQ(stored(object_, kInt), bytes_of<int16_t>(4));
}

TEST_F(ParamsTest, ASetSendsTheChangeNoticeWithIndexPlusOne) {
  std::vector<std::pair<UINT, WPARAM>> received;
  HWND watcher = window(&received);
  AP13_CHILD* object = make(watcher);
  ASSERT_NE(object, nullptr);
  const int32_t value = 0;
  ASSERT_EQ(set(object, 3, &value), 1u);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].first, AP_NOTICE_CHANGED);
  EXPECT_EQ(received[0].second, 4u);
  const uint16_t level = 2;
  ASSERT_EQ(set(object, kWord, &level), 1u);
  EXPECT_EQ(received.back().second, kWord + 1u);
  EXPECT_EQ(set(object, kInt, &level), 1u) << "2 lies on the grid {0, 10, 2}";
  const int16_t refused = 3;
  const size_t notices = received.size();
  EXPECT_EQ(set(object, kInt, &refused), 0u);
  EXPECT_EQ(received.size(), notices) << "a refused set sends no notice";
  destroy(object, watcher);
}

TEST_F(ParamSet, AStringIsCutToItsSizeLessOne) {
  const std::string eighty(80, 'e');
  EXPECT_EQ(set(object_, kString, eighty.c_str()), 1u);
  char buffer[80];
  ASSERT_EQ(get(object_, kString, buffer), 1u);
  EXPECT_EQ(std::string(buffer), std::string(79, 'e'));
}

TEST_F(ParamSet, ALengthPrefixedValueIsStoredPrefixedAndReadTerminated) {
  const std::string text = "abc";
  EXPECT_EQ(set(object_, kPStr, text.c_str()), 1u);
  EXPECT_EQ(stored(object_, kPStr).substr(0, 4), "\3abc");
  char buffer[16];
  std::memset(buffer, '*', sizeof buffer);
  ASSERT_EQ(get(object_, kPStr, buffer), 1u);
  EXPECT_STREQ(buffer, "abc");
  // A text as long as the row keeps room for its length byte: 15 characters.
  const std::string sixteen(16, 'p');
  EXPECT_EQ(set(object_, kPStr, sixteen.c_str()), 1u);
  ASSERT_EQ(get(object_, kPStr, buffer), 1u);
  EXPECT_EQ(std::string(buffer), std::string(15, 'p'));
}

TEST_F(ParamSet, SettingALengthPrefixedValueLeavesTheCallersTextAlone) {
  char text[] = "unchanged";
  EXPECT_EQ(set(object_, kPStr, text), 1u);
  EXPECT_STREQ(text, "unchanged");
  EXPECT_EQ(set_text(object_, kPStr, text), 1u);
  EXPECT_STREQ(text, "unchanged");
  EXPECT_EQ(text_of(object_, kPStr), "unchanged");
}

TEST_F(ParamSet, TextTypesRefuseANullValue) {
  for (uint16_t row : {kString, kPStr, kOwnedText}) EXPECT_EQ(set(object_, row, nullptr, 1), 0u) << row;
}

TEST_F(ParamSet, AnIndexBeyondTheCountIsMinusOneAsSixteenBits) {
  int32_t value = 0;
  char buffer[16];
  EXPECT_EQ(get(object_, kRowCount, &value), AP13_BAD_INDEX);
  EXPECT_EQ(set(object_, kRowCount, &value, 1), AP13_BAD_INDEX);
  EXPECT_EQ(get_text(object_, kRowCount, buffer, sizeof buffer, 0), AP13_BAD_INDEX);
  EXPECT_EQ(set_text(object_, kRowCount, "1"), AP13_BAD_INDEX);
  EXPECT_EQ(GU2_GetParmValue_MSG(object_, kRowCount, &value), -1);
  AP13_INDEXPARM index{kRowCount};
  EXPECT_EQ(send(AP13_MSG_GET_PARM_TYPE, object_, &index), 65535u);
  EXPECT_EQ(send(AP13_MSG_RESET_PARM, object_, &index), AP13_BAD_INDEX);
  AP13_NAMEPARM name{kRowCount, buffer};
  EXPECT_EQ(send(AP13_MSG_GET_PARM_NAME, object_, &name), AP13_BAD_INDEX);
}

// ---------------------------------------------------------------------------
// Title, count, type and name (messages 36 to 39)

TEST_F(ParamSet, TellsItsClassTitleCountTypesAndNames) {
  add_texts();
  const char* title = nullptr;
  EXPECT_EQ(send(AP13_MSG_GET_CLASS_TITLE, object_, &title), 1u);
  EXPECT_STREQ(title, "Test Set");
  uint16_t count = 0;
  EXPECT_EQ(send(AP13_MSG_GET_PARM_COUNT, object_, &count), 1u);
  EXPECT_EQ(count, kRowCount);
  for (uint16_t row = 0; row < kRowCount; ++row) {
    AP13_INDEXPARM index{row};
    EXPECT_EQ(send(AP13_MSG_GET_PARM_TYPE, object_, &index), table_.rows[row].type);
  }
  char name[32] = {};
  AP13_NAMEPARM parameter{kColor, name};
  EXPECT_EQ(send(AP13_MSG_GET_PARM_NAME, object_, &parameter), 1u);
  EXPECT_STREQ(name, "Colour");
}

TEST_F(ParamSet, WithoutItsTextsTheTitleAndNamesAreMissing) {
  const char* title = nullptr;
  EXPECT_EQ(send(AP13_MSG_GET_CLASS_TITLE, object_, &title), 0u);
  char name[32] = {};
  AP13_NAMEPARM parameter{0, name};
  EXPECT_EQ(send(AP13_MSG_GET_PARM_NAME, object_, &parameter), 0u);
}

// ---------------------------------------------------------------------------
// Resets, text validation and comparison (messages 44 to 48)

TEST_F(ParamSet, ResetsBringBackTheDefaults) {
  add_texts();
  ASSERT_EQ(set_text(object_, kChoice, "One"), 1u);
  ASSERT_EQ(set_text(object_, kString, "other"), 1u);
  ASSERT_EQ(set_text(object_, kCArray, "zzzzzz", 1), 1u);
  AP13_INDEXPARM choice{kChoice};
  EXPECT_EQ(send(AP13_MSG_RESET_PARM, object_, &choice), 1u);
  EXPECT_EQ(stored(object_, kChoice), bytes_of<uint16_t>(2));
  EXPECT_EQ(text_of(object_, kString), "other");
  EXPECT_EQ(send(AP13_MSG_RESET_ALL, object_), 1u);
  EXPECT_EQ(text_of(object_, kString), "hello");
  EXPECT_EQ(stored(object_, kCArray), "ABCDEF");
}

TEST_F(ParamSet, AResetAllStopsAtARowWithoutDefault) {
  ASSERT_EQ(set_text(object_, kString, "kept"), 1u);
  ASSERT_EQ(set_text(object_, kBool, "FALSE"), 1u);
  table_.rows[kInt].default_text = nullptr;
  EXPECT_EQ(send(AP13_MSG_RESET_ALL, object_), 0u);
  EXPECT_EQ(text_of(object_, kBool), "TRUE") << "rows before the failure are reset";
  EXPECT_EQ(text_of(object_, kString), "kept") << "rows after it are not";
}

TEST_F(ParamSet, ValidatesATextByItsRow) {
  add_texts();
  struct Case {
    uint16_t row;
    const char* text;
    uint32_t valid;
  };
  for (const Case& c : {Case{kInt, "8", 1}, Case{kInt, "7", 0}, Case{kInt, "x", 0}, Case{kChoice, "ONE", 1},
                        Case{kChoice, "Four", 0}, Case{kDoubleStep, "0.4", 1}, Case{kString, "short", 1}}) {
    AP13_TEXTPARM parameter{c.row, c.text};
    EXPECT_EQ(send(AP13_MSG_VALIDATE_TEXT, object_, &parameter), c.valid) << c.row << " " << c.text;
  }
  EXPECT_EQ(stored(object_, kInt), bytes_of<int16_t>(4)) << "validation stores nothing";
}

TEST_F(ParamSet, ComparesAGivenValueWithTheStoredOne) {
  const int16_t two = 2;
  const float almost_half = 0.5f * (1 + std::ldexp(1.0f, -22));
  struct Case {
    uint16_t row;
    uint16_t op;
    const void* value;
    uint32_t holds;
  };
  for (const Case& c : {Case{kInt, AP1_OP_LESS, &two, 1}, Case{kInt, AP1_OP_GREATER, &two, 0},
                        Case{kInt, AP1_OP_ALWAYS, &two, 1}, Case{kSingle, AP1_OP_EQUAL, &almost_half, 1},
                        Case{kSingle, AP1_OP_GREATER, &almost_half, 1}, Case{kString, AP1_OP_EQUAL, "HELLO", 1}}) {
    AP13_COMPAREPARM parameter{c.row, c.op, c.value};
    EXPECT_EQ(send(AP13_MSG_COMPARE_VALUE, object_, &parameter), c.holds) << c.row << " op " << c.op;
  }
}

// ---------------------------------------------------------------------------
// Copy and duplicate

TEST_F(ParamsTest, ADuplicateHoldsEqualValuesAndItsOwnText) {
  AP13_CHILD* object = make();
  ASSERT_NE(object, nullptr);
  ASSERT_EQ(set_text(object, kString, "copied"), 1u);
  ASSERT_EQ(set_text(object, kOwnedText, "mine"), 1u);
  AP_WINDOWPARM no_window{nullptr, 0};
  auto* copy = ap_result_object<AP13_CHILD>(send(AP_MSG_DUPLICATE, object, &no_window));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::memcmp(data_of(copy), data_of(object), table_.rows[kOwnedText].offset), 0);
  const auto* source_text = ap13_load<const char*>(data_of(object) + table_.rows[kOwnedText].offset);
  const auto* copy_text = ap13_load<const char*>(data_of(copy) + table_.rows[kOwnedText].offset);
  ASSERT_NE(copy_text, nullptr);
  EXPECT_NE(copy_text, source_text);
  EXPECT_STREQ(copy_text, "mine");
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, copy), send(AP_MSG_GET_CHANGE_STATE, object));
  destroy(object);
  EXPECT_STREQ(copy_text, "mine") << "each object owns its own text";
  destroy(copy);
}

TEST_F(ParamsTest, CopyingIntoAnObjectReplacesItsOwnedText) {
  AP13_CHILD* source = make();
  AP13_CHILD* target = make();
  ASSERT_NE(target, nullptr);
  ASSERT_EQ(set_text(source, kOwnedText, "from the source"), 1u);
  ASSERT_EQ(set_text(target, kOwnedText, "the target's own"), 1u);
  AP_COPYPARM parameter{reinterpret_cast<AP_OBJECT*>(target), nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, source, &parameter), 1u);
  EXPECT_STREQ(ap13_load<const char*>(data_of(target) + table_.rows[kOwnedText].offset), "from the source");
  destroy(source);
  destroy(target);
}

TEST_F(ParamsTest, CopyNeedsAPartOfTheSameTable) {
  AP13_CHILD* source = make();
  ASSERT_NE(source, nullptr);
  AP2_OBJECT* root = ap2_Create_OBJ(AP2_CLASS_ID, nullptr);
  EXPECT_EQ(ap13_Copy_PARAMS(source->params, reinterpret_cast<AP13_PARAMS*>(root), nullptr), 0);
  ap2_Destroy_OBJ(root, nullptr);
  destroy(source);
}

// ---------------------------------------------------------------------------
// Finding the part

TEST_F(ParamsTest, ThePartIsFoundDownAnObjectsChain) {
  AP13_CHILD* object = make();
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(ap13_FindParamsPart(object), packed(object->params));
  EXPECT_EQ(ap13_FindParamsPart(object->params), packed(object->params));
  EXPECT_EQ(ap13_FindParamsPart(packed(object->params->head.parent)), nullptr) << "an AP2 part has no parent";
  uint16_t unknown = 249;
  EXPECT_EQ(ap13_FindParamsPart(&unknown), nullptr);
  EXPECT_EQ(ap13_FindParamsPart(nullptr), nullptr);
  destroy(object);
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Stream (messages 17 and 18): u16 owning class id, u32 block size, block

constexpr uint16_t kStreamClass = 204;

class Streams : public ParamsTest {
 protected:
  void SetUp() override {
    ParamsTest::SetUp();
    build_table(stream_table_, kNameGroup,
                {{0, AP13_TYPE_BOOL, 2, AP13_LIMITS_FREE, 0, "TRUE"},
                 {1, AP13_TYPE_INT, 2, AP13_LIMITS_STEP, 0, "4"},
                 {2, AP13_TYPE_WORD, 2, AP13_LIMITS_FREE, 0, "7"},
                 {3, AP13_TYPE_LONG, 4, AP13_LIMITS_FREE, 0, "-1"},
                 {4, AP13_TYPE_DWORD, 4, AP13_LIMITS_FREE, 0, "5"},
                 {5, AP13_TYPE_SINGLE, 4, AP13_LIMITS_FREE, 0, "0.5"},
                 {6, AP13_TYPE_DOUBLE, 8, AP13_LIMITS_FREE, 0, "1.25"},
                 {7, AP13_TYPE_STRING, 12, AP13_LIMITS_FREE, 0, "text"},
                 {8, AP13_TYPE_PSTR, 8, AP13_LIMITS_FREE, 0, "ps"},
                 {9, AP13_TYPE_CARRAY, 4, AP13_LIMITS_NONE, 0, "ABCD"},
                 {10, AP13_TYPE_COLOR, 4, AP13_LIMITS_FREE, 0, "1,2,3"},
                 {11, AP13_TYPE_ADDR, 4, AP13_LIMITS_FREE, 0, "0"}},
                {nullptr, &kIntLimits});
    register_set_class(kStreamClass, stream_table_);
  }

  static AP13_CHILD* make_stream_object() { return make(nullptr, kStreamClass); }

  // The block of the values the tests set, row by row from the layout.
  static std::string set_values_block() {
    return bytes_of<int16_t>(0) + bytes_of<int16_t>(8) + bytes_of<uint16_t>(300) + bytes_of<int32_t>(-2) +
           bytes_of<uint32_t>(0x01020304) + bytes_of(2.5f) + bytes_of(-0.75) + std::string("abc\0\0\0\0\0\0\0\0\0", 12) +
           std::string("\3xyz\0\0\0\0", 8) + "WXYZ" + bytes_of<uint32_t>(0x021E140A) + bytes_of<uint32_t>(0);
  }
  static void set_values(AP13_CHILD* object) {
    ASSERT_EQ(set_text(object, 0, "FALSE"), 1u);
    ASSERT_EQ(set_text(object, 1, "8"), 1u);
    ASSERT_EQ(set_text(object, 2, "300"), 1u);
    ASSERT_EQ(set_text(object, 3, "-2"), 1u);
    ASSERT_EQ(set_text(object, 4, "16909060"), 1u);
    ASSERT_EQ(set_text(object, 5, "2.5"), 1u);
    ASSERT_EQ(set_text(object, 6, "-0.75"), 1u);
    ASSERT_EQ(set_text(object, 7, "abc"), 1u);
    ASSERT_EQ(set_text(object, 8, "xyz"), 1u);
    ASSERT_EQ(set_text(object, 9, "WXYZ", 1), 1u);
    ASSERT_EQ(set_text(object, 10, "10,20,30"), 1u);
  }
  static std::string stream_of(const std::string& block, uint16_t owner = kStreamClass) {
    return bytes_of<uint16_t>(owner) + bytes_of<uint32_t>(static_cast<uint32_t>(block.size())) + block;
  }
  static std::string block_of(AP13_CHILD* object) {
    return std::string(reinterpret_cast<const char*>(data_of(object)), packed(object->params->table->data_size));
  }
  static void write(void* object, const std::string& name, uint32_t expected = 1) {
    AP20_FILE* file = open_file(name, AP20_MODE_CREATE);
    EXPECT_EQ(send(AP_MSG_WRITE, object, file), expected);
    close(file);
  }
  static uint32_t read(void* object, const std::string& name, uint32_t* position = nullptr) {
    AP20_FILE* file = open_file(name, AP20_MODE_READ);
    AP_READPARM parameter{reinterpret_cast<AP_OBJECT*>(file), 0};
    const uint32_t result = send(AP_MSG_READ, object, &parameter);
    if (position != nullptr) *position = send(AP20_MSG_POSITION, file);
    close(file);
    return result;
  }

  TableBlock stream_table_;
};

TEST_F(Streams, AWrittenStreamIsTheOwnerTheSizeAndTheBlock) {
  AP13_CHILD* object = make_stream_object();
  ASSERT_NE(object, nullptr);
  set_values(object);
  ASSERT_EQ(block_of(object), set_values_block());
  write(object, "a.bin");
  EXPECT_EQ(file_bytes("a.bin"), stream_of(set_values_block()));
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, object), static_cast<uint32_t>(AP2_SAVED));
  destroy(object);
}

TEST_F(Streams, ReadBackAndWrittenAgainTheStreamIsTheSameByteForByte) {
  AP13_CHILD* written = make_stream_object();
  AP13_CHILD* reader = make_stream_object();
  ASSERT_NE(reader, nullptr);
  set_values(written);
  write(written, "a.bin");
  EXPECT_EQ(read(reader, "a.bin"), ap_object_result(packed(reader->params)));
  EXPECT_EQ(block_of(reader), set_values_block());
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, reader), static_cast<uint32_t>(AP2_SAVED));
  write(reader, "b.bin");
  EXPECT_EQ(file_bytes("b.bin"), file_bytes("a.bin"));
  destroy(written);
  destroy(reader);
}

TEST_F(Streams, ASaveWritesThroughTheOuterObject) {
  AP13_CHILD* object = make_stream_object();
  ASSERT_NE(object, nullptr);
  AP20_FILE* file = open_file("saved.bin", AP20_MODE_CREATE);
  EXPECT_EQ(send(AP_MSG_SAVE, object, file), 1u);
  close(file);
  EXPECT_EQ(file_bytes("saved.bin"), stream_of(block_of(object)));
  destroy(object);
}

TEST_F(Streams, AddressesAreNotTakenFromAFile) {
  AP13_CHILD* object = make_stream_object();
  ASSERT_NE(object, nullptr);
  std::string block = set_values_block();
  block.replace(block.size() - 4, 4, bytes_of<uint32_t>(0xDEADBEEF));
  testsupport::write_file("addr.bin", stream_of(block));
  EXPECT_NE(read(object, "addr.bin"), 0u);
  EXPECT_EQ(stored(object, 11), bytes_of<uint32_t>(0));
  EXPECT_EQ(stored(object, 10), bytes_of<uint32_t>(0x021E140A));
  destroy(object);
}

TEST_F(Streams, AnotherOwningClassIsRefused) {
  AP13_CHILD* object = make_stream_object();
  ASSERT_NE(object, nullptr);
  testsupport::write_file("other.bin", stream_of(set_values_block(), kSetClass));
  const std::string before = block_of(object);
  EXPECT_EQ(read(object, "other.bin"), 0u);
  EXPECT_EQ(block_of(object), before);
  destroy(object);
}

// Only a transfer that moved every byte counts: a stream that ends after
// the owning class id fails and leaves the values as they were.
TEST_F(Streams, AStreamThatEndsEarlyFailsAndChangesNothing) {
  AP13_CHILD* object = make_stream_object();
  ASSERT_NE(object, nullptr);
  const std::string before = block_of(object);
  const std::string whole = stream_of(set_values_block());
  for (size_t length : {size_t{2}, size_t{4}, size_t{6}, whole.size() - 1}) {
    testsupport::write_file("short.bin", whole.substr(0, length));
    EXPECT_EQ(read(object, "short.bin"), 0u) << length << " bytes";
    EXPECT_EQ(block_of(object), before) << length << " bytes";
  }
  destroy(object);
}

TEST_F(Streams, AShorterStoredBlockGivesTheRestTheirDefaults) {
  AP13_CHILD* object = make_stream_object();
  ASSERT_NE(object, nullptr);
  ASSERT_EQ(set_text(object, 4, "99"), 1u);
  ASSERT_EQ(set_text(object, 7, "other"), 1u);
  // Rows 0 to 3 end at byte 10.
  testsupport::write_file("old.bin", stream_of(set_values_block().substr(0, 10)));
  uint32_t position = 0;
  EXPECT_NE(read(object, "old.bin", &position), 0u);
  EXPECT_EQ(position, 16u);
  EXPECT_EQ(stored(object, 2), bytes_of<uint16_t>(300));
  EXPECT_EQ(stored(object, 3), bytes_of<int32_t>(-2));
  EXPECT_EQ(stored(object, 4), bytes_of<uint32_t>(5));
  EXPECT_EQ(text_of(object, 7), "text");
  destroy(object);
}

TEST_F(Streams, ALongerStoredBlockIsReadWholeAndItsExcessPassedOver) {
  AP13_CHILD* object = make_stream_object();
  ASSERT_NE(object, nullptr);
  const std::string block = set_values_block() + "excess";
  testsupport::write_file("new.bin", stream_of(block) + "next");
  uint32_t position = 0;
  EXPECT_NE(read(object, "new.bin", &position), 0u);
  EXPECT_EQ(position, 6u + block.size());
  EXPECT_EQ(block_of(object), set_values_block());
  destroy(object);
}

TEST_F(Streams, StoredValuesThatAreInvalidOrUnsoundAreNotTaken) {
  AP13_CHILD* object = make_stream_object();
  ASSERT_NE(object, nullptr);
  std::string block = set_values_block();
  block.replace(2, 2, bytes_of<int16_t>(5));         // off the grid {0, 10, 2}
  block.replace(26, 12, std::string(12, 'x'));        // a text without its end
  block.replace(38, 1, std::string(1, '\x08'));       // a length byte that leaves no room
  testsupport::write_file("bad.bin", stream_of(block));
  EXPECT_NE(read(object, "bad.bin"), 0u);
  EXPECT_EQ(stored(object, 1), bytes_of<int16_t>(4));
  EXPECT_EQ(text_of(object, 7), "text");
  EXPECT_EQ(text_of(object, 8), "ps");
  EXPECT_EQ(stored(object, 2), bytes_of<uint16_t>(300)) << "the sound values are taken";
  destroy(object);
}

TEST_F(Streams, AStoredSizeBeyondAnyTableIsRefusedBeforeUse) {
  AP13_CHILD* object = make_stream_object();
  ASSERT_NE(object, nullptr);
  const std::string before = block_of(object);
  for (uint32_t size : {0u, 0x20000u, 0xFFFFFFF0u}) {
    testsupport::write_file("huge.bin", bytes_of<uint16_t>(kStreamClass) + bytes_of<uint32_t>(size) + "abc");
    EXPECT_EQ(read(object, "huge.bin"), 0u) << size;
  }
  EXPECT_EQ(block_of(object), before);
  destroy(object);
}

TEST_F(Streams, AFileThatIsNotOpenIsRefused) {
  AP13_CHILD* object = make_stream_object();
  ASSERT_NE(object, nullptr);
  ASSERT_EQ(set_text(object, 2, "1"), 1u);
  AP20_FILE* file = open_file("closed.bin", AP20_MODE_CREATE);
  ASSERT_EQ(send(AP20_MSG_CLOSE, file), 1u);
  EXPECT_EQ(send(AP_MSG_WRITE, object, file), 0u);
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, object), static_cast<uint32_t>(AP2_CHANGED));
  AP_READPARM parameter{reinterpret_cast<AP_OBJECT*>(file), 0};
  EXPECT_EQ(send(AP_MSG_READ, object, &parameter), 0u);
  close(file);
  destroy(object);
}

TEST_F(Streams, ABarePartIsNotMadeFromAFile) {
  testsupport::write_file("any.bin", stream_of(set_values_block()));
  AP20_FILE* file = open_file("any.bin", AP20_MODE_READ);
  uint16_t class_id = AP13_CLASS_ID;
  AP_READPARM parameter{reinterpret_cast<AP_OBJECT*>(file), 1};
  EXPECT_EQ(send(AP_MSG_READ, &class_id, &parameter), 0u);
  EXPECT_EQ(record(AP13_CLASS_ID).live, 0);
  close(file);
}

}  // namespace
