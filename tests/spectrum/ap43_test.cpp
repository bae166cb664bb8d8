#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "files/files_fixture.h"
#include "spectrum/spectrum.h"
#include "support/test_home.h"

namespace {

using filetest::get16;
using filetest::get32;

const APX_CLASSREC& record(uint16_t class_id) { return APX_GetClassTable()->classes[class_id]; }

class TitleTest : public filetest::FileObjects {
 protected:
  // A title made as the GAML import makes one (message 4).
  static AP43_TITLE* make(HWND window = nullptr) {
    uint16_t class_id = AP43_CLASS_ID;
    AP_NEWPARM parameter{AP43_CLASS_ID, window};
    return ap_result_object<AP43_TITLE>(send(AP_MSG_NEW, &class_id, &parameter));
  }
  static uint32_t destroy_title(AP43_TITLE* title, HWND window = nullptr) {
    AP_WINDOWPARM parameter{window, 0};
    return send(AP_MSG_DESTROY, title, &parameter);
  }
  static uint32_t set_text(AP43_TITLE* title, const std::string& text, uint16_t force = 1) {
    GU2_PARMVALUE parameter{AP43_TEXT_PARM, const_cast<char*>(text.c_str()), force};
    return send(GU2_MSG_SET_PARM_VALUE, title, &parameter);
  }
  static uint32_t set_number(AP43_TITLE* title, uint32_t number) {
    GU2_PARMVALUE parameter{0, &number, 0};
    return send(GU2_MSG_SET_PARM_VALUE, title, &parameter);
  }
  static std::string text_of(AP43_TITLE* title) {
    char buffer[AP43_TEXT_SIZE + 3] = {};
    GU2_PARMVALUE parameter{AP43_TEXT_PARM, buffer, 0};
    EXPECT_EQ(send(GU2_MSG_GET_PARM_VALUE, title, &parameter), 1u);
    return buffer;
  }
  static uint32_t number_of(AP43_TITLE* title) {
    uint32_t number = 0xEEEEEEEE;
    GU2_PARMVALUE parameter{0, &number, 0};
    EXPECT_EQ(send(GU2_MSG_GET_PARM_VALUE, title, &parameter), 1u);
    return number;
  }
  static uint16_t live() { return record(AP43_CLASS_ID).live; }
};

// ---------------------------------------------------------------------------
// Layout and class

TEST(TitleLayout, TheObjectIs267BytesWithItsRecordInlineAfterThePart) {
  EXPECT_EQ(AP43_TITLE_BYTES, 267u);
  EXPECT_EQ(sizeof(AP43_TITLE), 268u) << "a cell starts every title on an even address";
  EXPECT_EQ(offsetof(AP43_TITLE, params), 2u);
  EXPECT_EQ(offsetof(AP43_TITLE, number), 6u);
  EXPECT_EQ(offsetof(AP43_TITLE, text), 10u);
}

TEST_F(TitleTest, LoadRegistersTheClassUnderThePARAMSClass) {
  EXPECT_EQ(APX_GetClassState(AP43_CLASS_ID), 1);
  EXPECT_EQ(APX_GetClassParentID(AP43_CLASS_ID), AP13_CLASS_ID);
  EXPECT_EQ(GU2_GetDispatcher(AP43_CLASS_ID), AP43_Dispatcher_TITLE);
}

TEST_F(TitleTest, TheClassTableHasTwoRowsForA261ByteRecord) {
  const auto* table = static_cast<const AP13_PARMTABLE*>(packed(record(AP43_CLASS_ID).class_data));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(packed(table->row_bytes), 0u);
  EXPECT_EQ(packed(table->data_size), 261u);
  EXPECT_EQ(packed(table->one), 1u);
  EXPECT_EQ(packed(table->name_group), 1043u);
  EXPECT_EQ(packed(table->count), 2u);
  EXPECT_EQ(packed(table->reserved), 0u);
  const AP13_PARMENTRY* rows = packed(table->rows);
  EXPECT_EQ(packed(rows[0].type), AP13_TYPE_DWORD);
  EXPECT_EQ(packed(rows[0].size), 4u);
  EXPECT_EQ(packed(rows[0].limits), AP13_LIMITS_FREE);
  EXPECT_EQ(packed(rows[0].offset), 0u);
  EXPECT_STREQ(packed(rows[0].default_text), "0");
  EXPECT_EQ(packed(rows[1].number), 1u);
  EXPECT_EQ(packed(rows[1].type), AP13_TYPE_STRING);
  EXPECT_EQ(packed(rows[1].size), 257u);
  EXPECT_EQ(packed(rows[1].limits), AP13_LIMITS_FREE);
  EXPECT_EQ(packed(rows[1].offset), 4u) << "the offset plus the size of parameter 0";
  EXPECT_STREQ(packed(rows[1].default_text), "");
  EXPECT_EQ(AP13_TableLimits(table)[0], nullptr);
  EXPECT_EQ(AP13_TableLimits(table)[1], nullptr);
  EXPECT_EQ(AP13_TableLimits(table)[2], nullptr) << "the closing word";
  GU3_HANDLE block = packed(record(AP43_CLASS_ID).data_block);
  EXPECT_EQ(GU3_NumElements_MM(block) * GU3_LenElements_MM(block), 32u);
}

TEST_F(TitleTest, TerminationFreesTheHeapAndTheTableOnce) {
  EXPECT_EQ(ap43_TermClass_TITLE(AP43_CLASS_ID), 1);
  EXPECT_EQ(packed(record(AP43_CLASS_ID).instance_heap), nullptr);
  EXPECT_EQ(packed(record(AP43_CLASS_ID).class_data), nullptr);
  EXPECT_EQ(ap43_TermClass_TITLE(AP43_CLASS_ID), 0);
  EXPECT_EQ(make(), nullptr) << "no heap, no title";
  EXPECT_EQ(ap43_InitClass_TITLE(41), 0);
}

// ---------------------------------------------------------------------------
// Lifecycle and the common messages

TEST_F(TitleTest, ANewTitleHasTheDefaultsAndIsSaved) {
  AP43_TITLE* title = make();
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(number_of(title), 0u);
  EXPECT_EQ(text_of(title), "");
  EXPECT_EQ(packed(title->params->data), reinterpret_cast<uint8_t*>(&title->number));
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, title), static_cast<uint32_t>(AP2_SAVED));
  EXPECT_EQ(destroy_title(title), AP_DESTROYED);
}

TEST_F(TitleTest, LiveCountFollowsCreateAndDestroy) {
  AP43_TITLE* first = make();
  AP43_TITLE* second = make();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(live(), 2);
  EXPECT_EQ(destroy_title(first), AP_DESTROYED);
  EXPECT_EQ(live(), 1);
  EXPECT_EQ(record(AP43_CLASS_ID).created, 2);
  EXPECT_EQ(destroy_title(second), AP_DESTROYED);
  EXPECT_EQ(live(), 0);
}

TEST_F(TitleTest, ADestroyRefusedByADependentKeepsTheTitle) {
  AP43_TITLE* title = make();
  HWND holder = platform::create_window([](HWND, UINT, WPARAM, LPARAM) { return LRESULT{0}; });
  AP_DEPENDENTWINDOWPARM hold{holder, AP2_KIND_CANT_DESTROY};
  ASSERT_EQ(send(AP_MSG_ADD_DEPENDENT_WINDOW, title, &hold), 1u);
  EXPECT_EQ(destroy_title(title), AP_DESTROY_REFUSED);
  EXPECT_EQ(live(), 1);
  ASSERT_EQ(set_text(title, "still here"), 1u);
  EXPECT_EQ(destroy_title(title, holder), AP_DESTROYED) << "the holder itself may destroy it";
  platform::destroy_window(holder);
}

TEST_F(TitleTest, SizeIsThePartsSizePlusTheCell) {
  AP43_TITLE* title = make();
  const uint32_t part = sizeof(AP2_OBJECT) + 261 + sizeof(AP13_PARAMS);
  EXPECT_EQ(send(AP_MSG_SIZE, title), part + 267);
  EXPECT_EQ(send(AP_MSG_SIZE, nullptr), 0u);
  EXPECT_EQ(AP43_Dispatcher_TITLE(title->params, AP_MSG_SIZE, nullptr), 0u) << "not a title";
  destroy_title(title);
}

TEST_F(TitleTest, ClassNameIsAP43_TITLE) {
  AP43_TITLE* title = make();
  char name[32] = {};
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, title, name), 1u);
  EXPECT_STREQ(name, "AP43_TITLE");
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, title, nullptr), 0u);
  destroy_title(title);
}

TEST_F(TitleTest, DuplicateAndCopyCarryBothParameters) {
  AP43_TITLE* title = make();
  ASSERT_EQ(set_text(title, "C:\\out\\group.spg"), 1u);
  ASSERT_EQ(set_number(title, 7), 1u);
  AP_WINDOWPARM none{nullptr, 0};
  auto* copy = ap_result_object<AP43_TITLE>(send(AP_MSG_DUPLICATE, title, &none));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->class_id, AP43_CLASS_ID);
  EXPECT_EQ(text_of(copy), "C:\\out\\group.spg");
  EXPECT_EQ(number_of(copy), 7u);
  AP43_TITLE* other = make();
  AP_COPYPARM into{reinterpret_cast<AP_OBJECT*>(other), nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, title, &into), 1u);
  EXPECT_EQ(text_of(other), "C:\\out\\group.spg");
  AP_COPYPARM into_file{reinterpret_cast<AP_OBJECT*>(make_file()), nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, title, &into_file), 0u) << "only into a title";
  destroy_title(copy);
  destroy_title(other);
  destroy_title(title);
}

// ---------------------------------------------------------------------------
// Parameter 1

TEST_F(TitleTest, ParameterOneTakesA257ByteTextWithForce) {
  AP43_TITLE* title = make();
  const std::string path = "C:\\" + std::string(253, 'p');  // 256 characters and the NUL: 257 bytes
  ASSERT_EQ(path.size() + 1, 257u);
  EXPECT_EQ(set_text(title, path, 1), 1u);
  EXPECT_EQ(text_of(title), path);
  EXPECT_EQ(std::string(title->text), path);
  destroy_title(title);
}

TEST_F(TitleTest, ALongerTextStopsAtTheRecordsEnd) {
  // Two neighbouring cells of the heap: a text running past the lower
  // title's record would overwrite the upper title's class id.
  AP43_TITLE* first = make();
  AP43_TITLE* second = make();
  ASSERT_NE(second, nullptr);
  AP43_TITLE* lower = first < second ? first : second;
  AP43_TITLE* upper = first < second ? second : first;
  ASSERT_EQ(reinterpret_cast<uint8_t*>(upper) - reinterpret_cast<uint8_t*>(lower),
            static_cast<ptrdiff_t>(sizeof(AP43_TITLE)));
  const std::string long_text(257, 'x');
  EXPECT_EQ(set_text(lower, long_text), 1u) << "a text of the row's size still validates";
  EXPECT_EQ(text_of(lower), std::string(256, 'x')) << "stored without its last character";
  EXPECT_EQ(lower->text[256], '\0');
  EXPECT_EQ(set_text(lower, std::string(258, 'y')), 0u) << "longer than the row: refused";
  EXPECT_EQ(text_of(lower), std::string(256, 'x'));
  EXPECT_EQ(upper->class_id, AP43_CLASS_ID);
  EXPECT_EQ(number_of(upper), 0u);
  destroy_title(second);
  destroy_title(first);
}

TEST_F(TitleTest, TheParameterMessagesAreThePARAMSParts) {
  AP43_TITLE* title = make();
  uint16_t count = 0;
  EXPECT_EQ(send(AP13_MSG_GET_PARM_COUNT, title, &count), 1u);
  EXPECT_EQ(count, 2u);
  GU2_PARMSTRSET text{AP43_TEXT_PARM, "by text", 0};
  EXPECT_EQ(send(GU2_MSG_SET_PARM_STR, title, &text), 1u);
  char buffer[AP43_TEXT_SIZE] = {};
  GU2_PARMSTR read{AP43_TEXT_PARM, sizeof buffer, 0xFFFF, buffer};
  EXPECT_EQ(send(GU2_MSG_GET_PARM_STR, title, &read), 1u);
  EXPECT_STREQ(buffer, "by text");
  EXPECT_EQ(send(AP13_MSG_GET_DATA_SIZE, title), 261u);
  EXPECT_EQ(send(AP13_MSG_VALIDATE_ALL, title), AP13_ALL_VALID);
  destroy_title(title);
}

// ---------------------------------------------------------------------------
// Stream

TEST_F(TitleTest, StreamWritesOwnerSizeAndRecordAndReadsThemBackIntoANewTitle) {
  AP43_TITLE* title = make();
  ASSERT_EQ(set_text(title, "out.spg"), 1u);
  ASSERT_EQ(set_number(title, 0x01020304), 1u);
  AP20_FILE* file = opened_file(path("title.bin"), AP20_MODE_CREATE);
  EXPECT_EQ(send(AP_MSG_WRITE, title, file), 1u);
  send(AP20_MSG_CLOSE, file);

  const std::string bytes = testsupport::read_file(path("title.bin"));
  ASSERT_EQ(bytes.size(), 2u + 4u + 261u);
  EXPECT_EQ(get16(bytes, 0), AP43_CLASS_ID);
  EXPECT_EQ(get32(bytes, 2), 261u);
  EXPECT_EQ(get32(bytes, 6), 0x01020304u);
  EXPECT_EQ(bytes.substr(10, 8), std::string("out.spg\0", 8));
  EXPECT_EQ(bytes.substr(18), std::string(261 - 4 - 8, '\0'));

  ASSERT_EQ(open(file, AP20_MODE_READ), 1u);
  uint16_t class_id = AP43_CLASS_ID;
  AP_READPARM read{reinterpret_cast<AP_OBJECT*>(file), 1};
  auto* copy = ap_result_object<AP43_TITLE>(send(AP_MSG_READ, &class_id, &read));
  ASSERT_NE(copy, nullptr);
  EXPECT_NE(copy, title);
  EXPECT_EQ(text_of(copy), "out.spg");
  EXPECT_EQ(number_of(copy), 0x01020304u);
  EXPECT_EQ(live(), 2);
  destroy_title(copy);
  destroy_title(title);
}

TEST_F(TitleTest, AReadWithoutCreateFillsTheTitleItself) {
  testsupport::write_file("one.bin", std::string("\x2B\x00\x05\x01\x00\x00", 6) + std::string("\x09\x00\x00\x00", 4) +
                                         std::string("x\0", 2) + std::string(261 - 6, '\0'));
  AP43_TITLE* title = make();
  AP20_FILE* file = opened_file(path("one.bin"), AP20_MODE_READ);
  AP_READPARM read{reinterpret_cast<AP_OBJECT*>(file), 0};
  EXPECT_EQ(send(AP_MSG_READ, title, &read), ap_object_result(title));
  EXPECT_EQ(number_of(title), 9u);
  EXPECT_EQ(text_of(title), "x");
  destroy_title(title);
}

TEST_F(TitleTest, ACreatingReadThatFailsLeavesNoTitleBehind) {
  testsupport::write_file("short.bin", std::string("\x2B\x00", 2));
  testsupport::write_file("other.bin", std::string("\x29\x00\x05\x01\x00\x00", 6) + std::string(261, '\0'));
  uint16_t class_id = AP43_CLASS_ID;
  for (const char* name : {"short.bin", "other.bin"}) {
    AP20_FILE* file = opened_file(path(name), AP20_MODE_READ);
    AP_READPARM read{reinterpret_cast<AP_OBJECT*>(file), 1};
    EXPECT_EQ(send(AP_MSG_READ, &class_id, &read), 0u) << name;
    EXPECT_EQ(live(), 0) << name;
  }
  AP20_FILE* closed = named_file(path("short.bin"));
  AP_READPARM read{reinterpret_cast<AP_OBJECT*>(closed), 1};
  EXPECT_EQ(send(AP_MSG_READ, &class_id, &read), 0u) << "a closed file";
  EXPECT_EQ(live(), 0);
}

}  // namespace
