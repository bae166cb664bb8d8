#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/core.h"
#include "core/object_fixture.h"

namespace {

class Texts : public ObjectTest {
 protected:
  static AP48_TEXT* make_text(HWND window = nullptr) { return make<AP48_TEXT>(AP48_CLASS_ID, window); }
  static AP48_TEXT* make_text(const char* content) {
    AP48_TEXT* text = make_text();
    EXPECT_EQ(append(text, content), 1u);
    return text;
  }
  static uint32_t append(AP48_TEXT* text, const char* added) {
    return send(AP48_MSG_APPEND, text, const_cast<char*>(added));
  }
  static uint32_t prepend(AP48_TEXT* text, const char* added) {
    return send(AP48_MSG_PREPEND, text, const_cast<char*>(added));
  }
  static uint32_t set_field(AP48_TEXT* text, const char* keyword, const char* value) {
    AP48_FIELDPARM parameter{keyword, value};
    return send(AP48_MSG_SET_FIELD, text, &parameter);
  }
  static const char* content(AP48_TEXT* text) { return ap_result_object<const char>(send(AP48_MSG_TEXT, text)); }
  static uint32_t length(AP48_TEXT* text) { return send(AP48_MSG_LENGTH, text); }
  static AP2_OBJECT* part(AP48_TEXT* text) { return reinterpret_cast<AP2_OBJECT*>(packed(text->head.parent)); }
};

TEST_F(Texts, RecordIsTenBytesWithTheTextAfterTheHead) {
  EXPECT_EQ(offsetof(AP48_TEXT, head), 0u);
  EXPECT_EQ(offsetof(AP48_TEXT, text), 6u);
  EXPECT_EQ(offsetof(AP48_FIELDPARM, value), 4u);
}

TEST_F(Texts, ClassInitialisationMakesAHeapOf150TenByteCells) {
  GU3_HANDLE heap = class_record(AP48_CLASS_ID).instance_heap;
  EXPECT_EQ(GU3_NumElements_MM(heap), 150u);
  EXPECT_EQ(GU3_LenElements_MM(heap), 10u);
  EXPECT_EQ(class_record(AP48_CLASS_ID).parent_id, AP2_CLASS_ID);
  EXPECT_EQ(GU2_GetDispatcher(AP48_CLASS_ID), AP48_Dispatcher_TEXT);
  EXPECT_EQ(ap48_InitClass(47), 0);
  EXPECT_EQ(ap48_TermClass(47), 0);
  EXPECT_EQ(ap48_TermClass(AP48_CLASS_ID), 1);
  EXPECT_EQ(packed(class_record(AP48_CLASS_ID).instance_heap), nullptr);
  EXPECT_EQ(make_text(), nullptr);
}

TEST_F(Texts, NewTextIsEmptyAndTheOuterObjectOfItsRootPart) {
  HWND w = window();
  AP48_TEXT* text = make_text(w);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->head.class_id, AP48_CLASS_ID);
  ASSERT_NE(part(text), nullptr);
  EXPECT_EQ(packed(part(text)->outer), &text->head);
  EXPECT_EQ(packed(part(text)->dependents->count), 1u);  // the window
  EXPECT_EQ(content(text), nullptr);
  EXPECT_EQ(length(text), 0u);
  EXPECT_EQ(class_record(AP48_CLASS_ID).live, 1);
  EXPECT_EQ(class_record(AP48_CLASS_ID).created, 1);
}

TEST_F(Texts, AppendingTwoPiecesJoinsThemWithANotice4800Each) {
  HWND w = window();
  AP48_TEXT* text = make_text(w);
  EXPECT_EQ(append(text, "abc"), 1u);
  EXPECT_EQ(append(text, "def"), 1u);
  EXPECT_STREQ(content(text), "abcdef");
  EXPECT_EQ(length(text), 6u);
  EXPECT_EQ(change_words(w), (std::vector<WPARAM>{4800, 4800}));
  EXPECT_EQ(send(AP_MSG_GET_CHANGE_STATE, text), static_cast<uint32_t>(AP2_CHANGED));
}

TEST_F(Texts, PrependingPutsThePieceInFront) {
  HWND w = window();
  AP48_TEXT* text = make_text("abc");
  add_window(text, w, AP2_KIND_NOTIFY_CHANGE);
  EXPECT_EQ(prepend(text, "x"), 1u);
  EXPECT_STREQ(content(text), "xabc");
  EXPECT_EQ(change_words(w), std::vector<WPARAM>{4800});
  AP48_TEXT* empty = make_text();
  EXPECT_EQ(prepend(empty, "only"), 1u);
  EXPECT_STREQ(content(empty), "only");
}

TEST_F(Texts, AJoinedTextTakesANewBlockAndRemovesTheOldOne) {
  AP48_TEXT* text = make_text("abc");
  char* before = const_cast<char*>(content(text));
  append(text, "d");
  EXPECT_NE(content(text), before);
  EXPECT_EQ(GU3_RemoveString(before), 0);  // already removed
}

TEST_F(Texts, APieceTakenFromTheTextItselfJoinsWhole) {
  AP48_TEXT* text = make_text("abc");
  EXPECT_EQ(append(text, content(text)), 1u);
  EXPECT_STREQ(content(text), "abcabc");
  EXPECT_EQ(prepend(text, content(text) + 4), 1u);
  EXPECT_STREQ(content(text), "bcabcabc");
}

TEST_F(Texts, TextsLongerThan64KbAreJoinedWhole) {
  const std::string long_piece(70000, 'L');
  AP48_TEXT* text = make_text(long_piece.c_str());
  EXPECT_EQ(length(text), 70000u);
  EXPECT_EQ(append(text, "tail"), 1u);
  EXPECT_EQ(prepend(text, "head"), 1u);
  EXPECT_EQ(length(text), 70008u);
  EXPECT_EQ(std::string(content(text)), "head" + long_piece + "tail");
  EXPECT_EQ(GU3_VerifyStringSize(content(text), 70009), 1);
}

TEST_F(Texts, AJoinTheStringSpaceCannotHoldKeepsTheTextAndStillNotifies) {
  HWND w = window();
  AP48_TEXT* text = make_text(w);
  append(text, "kept");
  const std::string too_long(GU3_STRING_SPACE_BYTES, 'x');
  EXPECT_EQ(append(text, too_long.c_str()), 0u);
  EXPECT_EQ(prepend(text, too_long.c_str()), 0u);
  EXPECT_STREQ(content(text), "kept");
  EXPECT_EQ(change_words(w), (std::vector<WPARAM>{4800, 4800, 4800}));
  EXPECT_EQ(append(text, nullptr), 0u);
  EXPECT_EQ(change_words(w).size(), 3u);  // no text, no change
}

TEST_F(Texts, ClearingRemovesTheTextWithNotice4800AndAnEmptyTextQuietly) {
  HWND w = window();
  AP48_TEXT* text = make_text(w);
  EXPECT_EQ(send(AP48_MSG_CLEAR, text), 1u);
  EXPECT_TRUE(change_words(w).empty());
  append(text, "abc");
  char* removed = const_cast<char*>(content(text));
  EXPECT_EQ(send(AP48_MSG_CLEAR, text), 1u);
  EXPECT_EQ(content(text), nullptr);
  EXPECT_EQ(length(text), 0u);
  EXPECT_EQ(GU3_RemoveString(removed), 0);
  EXPECT_EQ(change_words(w), (std::vector<WPARAM>{4800, 4800}));
}

// A field line: the keyword at its start, filled to 81 characters, then a
// carriage return and a line after it.
std::string field_line(const std::string& keyword) {
  return keyword + std::string(81 - keyword.size(), '.') + "\r\nnext line";
}

TEST_F(Texts, FieldAtAKeywordTakesTheValueThenBlanksTo81Characters) {
  AP48_TEXT* text = make_text(("first\r\n" + field_line("KEY:")).c_str());
  EXPECT_EQ(set_field(text, "KEY:", "123456789"), 1u);
  EXPECT_EQ(std::string(content(text)), "first\r\n123456789" + std::string(72, ' ') + "\r\nnext line");
}

TEST_F(Texts, FieldValueIsCutAtTheEndOfTheKeywordsLine) {
  // The line from the keyword holds 10 characters; the blanks still run to 81.
  const std::string before = "KEY:" + std::string(6, '.') + "\r" + std::string(100, '-');
  AP48_TEXT* text = make_text(before.c_str());
  EXPECT_EQ(set_field(text, "KEY:", std::string(20, 'v').c_str()), 1u);
  EXPECT_EQ(std::string(content(text)), std::string(10, 'v') + std::string(71, ' ') + std::string(30, '-'));
}

TEST_F(Texts, FieldNeverReachesPastTheEndOfTheText) {
  AP48_TEXT* text = make_text("lead KEY");
  // A string stored right after the text's block must stay as it is.
  char* neighbour = GU3_StoreStringEx("neighbour");
  EXPECT_EQ(set_field(text, "KEY", "123456789"), 1u);
  EXPECT_STREQ(content(text), "lead 123");
  EXPECT_EQ(length(text), 8u);
  EXPECT_STREQ(neighbour, "neighbour");
  EXPECT_EQ(GU3_RemoveString(neighbour), 1);
}

TEST_F(Texts, FieldChangeCarriesTheUserWordAsItStands) {
  HWND w = window();
  AP48_TEXT* text = make_text(w);
  append(text, field_line("KEY").c_str());
  AP_WORDPARM word{77};
  send(AP_MSG_SET_USER_WORD, text, &word);
  EXPECT_EQ(set_field(text, "KEY", "v"), 1u);
  EXPECT_EQ(change_words(w), (std::vector<WPARAM>{4800, 77}));
}

struct MissingFieldCase {
  const char* what;
  const char* text;  // null: the object holds no text
  const char* keyword;
  const char* value;
};

class MissingField : public Texts, public testing::WithParamInterface<MissingFieldCase> {};

TEST_P(MissingField, AnswersZeroAndLeavesTheTextAsItWas) {
  const MissingFieldCase& given = GetParam();
  AP48_TEXT* text = make_text();
  if (given.text != nullptr) append(text, given.text);
  EXPECT_EQ(set_field(text, given.keyword, given.value), 0u);
  if (given.text != nullptr) {
    EXPECT_STREQ(content(text), given.text);
  } else {
    EXPECT_EQ(content(text), nullptr);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, MissingField,
                         testing::Values(MissingFieldCase{"KeywordNotInText", "abc", "KEY", "v"},
                                         MissingFieldCase{"NoText", nullptr, "KEY", "v"},
                                         MissingFieldCase{"NoKeyword", "KEY", nullptr, "v"},
                                         MissingFieldCase{"NoValue", "KEY", "KEY", nullptr}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(Texts, DuplicateHoldsAnEqualTextInABlockOfItsOwn) {
  AP48_TEXT* text = make_text("history");
  AP_WINDOWPARM no_window{nullptr, 0};
  auto* copy = ap_result_object<AP48_TEXT>(send(AP_MSG_DUPLICATE, text, &no_window));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->head.class_id, AP48_CLASS_ID);
  EXPECT_EQ(packed(part(copy)->outer), &copy->head);
  EXPECT_STREQ(content(copy), "history");
  EXPECT_NE(content(copy), content(text));
  send(AP48_MSG_CLEAR, text);
  EXPECT_STREQ(content(copy), "history");
}

TEST_F(Texts, CopyReplacesTheTargetsTextOrEmptiesIt) {
  AP48_TEXT* source = make_text("source");
  AP48_TEXT* target = make_text("target");
  AP_COPYPARM into_target{&target->head, nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, source, &into_target), 1u);
  EXPECT_STREQ(content(target), "source");
  AP48_TEXT* empty = make_text();
  AP_COPYPARM from_empty{&target->head, nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, empty, &from_empty), 1u);
  EXPECT_EQ(content(target), nullptr);
  AP_OBJECT* bare = ap2_New_OBJ(AP2_CLASS_ID, nullptr);
  AP_COPYPARM into_bare{bare, nullptr};
  EXPECT_EQ(send(AP_MSG_COPY, source, &into_bare), 0u);  // the target must be a text
}

TEST_F(Texts, DestroyRemovesTheTextAndFreesTheCell) {
  AP48_TEXT* text = make_text("gone");
  char* removed = const_cast<char*>(content(text));
  EXPECT_EQ(destroy(text), AP_DESTROYED);
  EXPECT_EQ(GU3_RemoveString(removed), 0);
  EXPECT_EQ(class_record(AP48_CLASS_ID).live, 0);
  EXPECT_EQ(class_record(AP2_CLASS_ID).live, 0);
  EXPECT_EQ(make_text(), text);  // the released cell is handed out again
}

TEST_F(Texts, DestroyRefusedByACantDestroyWindowKeepsTheText) {
  HWND holder = window();
  AP48_TEXT* text = make_text("kept");
  add_window(text, holder, AP2_KIND_CANT_DESTROY);
  EXPECT_EQ(destroy(text), AP_DESTROY_REFUSED);
  EXPECT_STREQ(content(text), "kept");
  EXPECT_EQ(class_record(AP48_CLASS_ID).live, 1);
}

TEST_F(Texts, SizeNameAndDumpAnswerForTheWholeObject) {
  AP48_TEXT* text = make_text(window());
  EXPECT_EQ(send(AP_MSG_SIZE, text), 46u + 18u + 10u);
  char name[16] = "";
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, text, name), 1u);
  EXPECT_STREQ(name, "AP48_TEXT");
  EXPECT_EQ(send(AP_MSG_CLASS_NAME, text), 0u);
  char dump[512] = "";
  EXPECT_EQ(send(AP_MSG_DUMP, text, dump), 1u);
  EXPECT_EQ(std::string(dump).rfind("AP48_TEXT:  ", 0), 0u);
}

TEST_F(Texts, DirectCallsAnswerAsTheirMessages) {
  AP48_TEXT* text = make_text();
  EXPECT_EQ(ap48_GetText(text), nullptr);
  EXPECT_EQ(ap48_GetTextLength(text), 0u);
  EXPECT_EQ(ap48_AppendText(text, "abc"), 1);
  EXPECT_EQ(ap48_AppendText(text, "de"), 1);
  EXPECT_STREQ(ap48_GetText(text), "abcde");
  EXPECT_EQ(ap48_GetTextLength(text), 5u);
  AP48_TEXT* target = make_text("old");
  EXPECT_EQ(ap48_CopyContents(text, target, nullptr), 1);
  EXPECT_STREQ(ap48_GetText(target), "abcde");
  EXPECT_NE(ap48_GetText(target), ap48_GetText(text));
  EXPECT_EQ(ap48_ClearText(text), 1);
  EXPECT_EQ(ap48_GetText(text), nullptr);
  EXPECT_STREQ(ap48_GetText(target), "abcde");
  EXPECT_EQ(ap48_AppendText(nullptr, "x"), 0);
  EXPECT_EQ(ap48_CopyContents(text, nullptr, nullptr), 0);
}

TEST_F(Texts, TextsHaveNoFileFormAndAnswerZeroToTheMessagesTheyDoNotHandle) {
  AP48_TEXT* text = make_text("abc");
  AP_READPARM read{nullptr, 1};
  uint16_t other = 0;
  for (uint16_t message : {0, 14, 17, 18, 19, 20, 21, 23, 24, 42, 43, 56}) {
    void* parameter = message == AP_MSG_READ ? static_cast<void*>(&read) : &other;
    EXPECT_EQ(send(message, text, parameter), 0u) << message;
  }
  EXPECT_STREQ(content(text), "abc");
}

}  // namespace
