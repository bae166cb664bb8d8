#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spectrum/spectrum_fixture.h"

namespace {

using namespace spectrumtest;

class SpectrumTexts : public SpectrumTest {
 protected:
  void SetUp() override {
    SpectrumTest::SetUp();
    spectrum_ = make(2);
  }
  void TearDown() override {
    EXPECT_EQ(destroy(spectrum_), 1u);
    SpectrumTest::TearDown();
  }

  std::string history() { return text_of(spectrum_->history); }
  std::string comment() { return text_of(spectrum_->comment); }

  AP7_SPECTRUM* spectrum_ = nullptr;
};

uint32_t send_text(uint16_t message, AP7_SPECTRUM* spectrum, const char* text) {
  return send(message, spectrum, const_cast<char*>(text));
}

// ---------------------------------------------------------------------------
// Append, read, replace

TEST_F(SpectrumTexts, AppendsJoinWithoutASeparator) {
  EXPECT_EQ(send_text(AP7_MSG_ADD_HISTORY, spectrum_, "first\r\n"), 1u);
  EXPECT_EQ(send_text(AP7_MSG_ADD_HISTORY, spectrum_, "second"), 1u);
  EXPECT_EQ(history(), "first\r\nsecond");
  EXPECT_EQ(send_text(AP7_MSG_ADD_COMMENT, spectrum_, "note"), 1u);
  EXPECT_EQ(comment(), "note");
}

TEST_F(SpectrumTexts, AnEmptyAppendSucceedsAndChangesNothing) {
  send_text(AP7_MSG_ADD_HISTORY, spectrum_, "kept");
  EXPECT_EQ(send_text(AP7_MSG_ADD_HISTORY, spectrum_, ""), 1u);
  EXPECT_EQ(history(), "kept");
}

TEST_F(SpectrumTexts, TextsAreHandedOutAndAnEmptyTextIsNull) {
  EXPECT_EQ(send(AP7_MSG_GET_HISTORY, spectrum_), 0u);
  EXPECT_EQ(send(AP7_MSG_GET_COMMENT, spectrum_), 0u);
  send_text(AP7_MSG_ADD_HISTORY, spectrum_, "h");
  send_text(AP7_MSG_ADD_COMMENT, spectrum_, "c");
  EXPECT_STREQ(ap_result_object<char>(send(AP7_MSG_GET_HISTORY, spectrum_)), "h");
  EXPECT_STREQ(ap_result_object<char>(send(AP7_MSG_GET_COMMENT, spectrum_)), "c");
  EXPECT_EQ(ap_result_object<AP48_TEXT>(send(AP7_MSG_HISTORY_OBJECT, spectrum_)), packed(spectrum_->history));
  EXPECT_EQ(ap_result_object<AP48_TEXT>(send(AP7_MSG_COMMENT_OBJECT, spectrum_)), packed(spectrum_->comment));
}

TEST_F(SpectrumTexts, ReplacingTheCommentLeavesTheHistory) {
  send_text(AP7_MSG_ADD_HISTORY, spectrum_, "history");
  send_text(AP7_MSG_ADD_COMMENT, spectrum_, "old comment");
  EXPECT_EQ(send_text(AP7_MSG_SET_COMMENT, spectrum_, "new"), 1u);
  EXPECT_EQ(comment(), "new");
  EXPECT_EQ(history(), "history");
}

TEST_F(SpectrumTexts, ReplacingTheHistoryWithoutASettingsObjectHoldsExactlyTheText) {
  GU6_SetConfig("CustomerInfo", "UseLogin", "1");
  send_text(AP7_MSG_ADD_HISTORY, spectrum_, "old history");
  EXPECT_EQ(send_text(AP7_MSG_SET_HISTORY, spectrum_, "new history"), 1u);
  EXPECT_EQ(history(), "new history");
}

TEST_F(SpectrumTexts, ANullTextOrAMissingTextObjectFailsWithoutChange) {
  send_text(AP7_MSG_ADD_HISTORY, spectrum_, "kept");
  EXPECT_EQ(send_text(AP7_MSG_ADD_HISTORY, spectrum_, nullptr), 0u);
  EXPECT_EQ(send_text(AP7_MSG_SET_HISTORY, spectrum_, nullptr), 0u);
  EXPECT_EQ(history(), "kept");
  AP48_TEXT* history_text = spectrum_->history;
  spectrum_->history = nullptr;
  EXPECT_EQ(send_text(AP7_MSG_ADD_HISTORY, spectrum_, "x"), 0u);
  EXPECT_EQ(send(AP7_MSG_GET_HISTORY, spectrum_), 0u);
  EXPECT_EQ(send(AP7_MSG_HISTORY_OBJECT, spectrum_), 0u);
  spectrum_->history = history_text;
  EXPECT_EQ(history(), "kept");
}

// ---------------------------------------------------------------------------
// Keywords (319)

struct KeywordCase {
  const char* name;
  const char* keyword;
  uint32_t found;
  std::string value;
};

class HistoryKeyword : public SpectrumTexts, public testing::WithParamInterface<KeywordCase> {};

TEST_P(HistoryKeyword, GivesWhatFollowsTheKeywordToTheEndOfItsLine) {
  const std::string long_value(100, 'w');
  const std::string text = "Operator: alice\r\nInstrument: bench 3\r\nNote: " + long_value + "\r\n";
  send_text(AP7_MSG_ADD_HISTORY, spectrum_, text.c_str());
  char value[AP48_FIELD_WIDTH + 8];
  std::memset(value, 'x', sizeof value);
  AP7_KEYWORDPARM parameter{GetParam().keyword, value};
  EXPECT_EQ(send(AP7_MSG_HISTORY_KEYWORD, spectrum_, &parameter), GetParam().found);
  if (GetParam().found) {
    EXPECT_EQ(std::string(value), GetParam().value);
  }
}

INSTANTIATE_TEST_SUITE_P(Keywords, HistoryKeyword,
                         testing::Values(KeywordCase{"middle_line", "Instrument: ", 1, "bench 3"},
                                         KeywordCase{"first_line", "Operator: ", 1, "alice"},
                                         // A value longer than a keyword field is cut to fit one.
                                         KeywordCase{"cut_to_the_field", "Note: ", 1, std::string(80, 'w')},
                                         KeywordCase{"absent", "Sample: ", 0, ""},
                                         KeywordCase{"empty_keyword", "", 0, ""}),
                         [](const testing::TestParamInfo<KeywordCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// The login line

// Stand-ins for the host's objects: the settings object (its user name and
// display references), a display object (its flags and item) and the item
// of class 32 that the login line tells of a change.
constexpr uint16_t kHostClass = 202;
constexpr uint16_t kItemClass = 32;

struct HostObject {
  uint16_t class_id = kHostClass;
  std::string user_name;
  uint32_t display = 0;
  uint32_t fallback = 0;
  uint16_t flags = 0;
  uint32_t item = 0;
  uint16_t refresh = 0;
  std::vector<std::string> calls;
};

uint32_t address_of(const HostObject& object) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&object)); }

uint32_t host_dispatcher(void* object, uint16_t message, void* parameter) {
  auto* host = static_cast<HostObject*>(object);
  switch (message) {
    case AP_MSG_BEGIN_CHANGE: host->calls.push_back("begin"); return 1;
    case AP_MSG_END_CHANGE: host->calls.push_back("end"); return 1;
    case GU2_MSG_GET_PARM_STR: {
      auto* get = static_cast<GU2_PARMSTR*>(parameter);
      if (get->index != 58) return 0;
      std::strncpy(get->buffer, host->user_name.c_str(), get->size);
      return 1;
    }
    case GU2_MSG_GET_PARM_VALUE: {
      auto* get = static_cast<GU2_PARMVALUE*>(parameter);
      switch (get->index) {
        case 29: std::memcpy(get->value, &host->display, 4); return 1;
        case 27: std::memcpy(get->value, &host->fallback, 4); return 1;
        case 3: std::memcpy(get->value, &host->flags, 2); return 1;
        case 4: std::memcpy(get->value, &host->item, 4); return 1;
        case 17: std::memcpy(get->value, &host->refresh, 2); return 1;
        default: return 0;
      }
    }
    case GU2_MSG_SET_PARM_VALUE: {
      auto* set = static_cast<GU2_PARMVALUE*>(parameter);
      if (set->index != 17) return 0;
      std::memcpy(&host->refresh, set->value, 2);
      host->calls.push_back("set " + std::to_string(host->refresh));
      return 1;
    }
    default: return 0;
  }
}

class LoginLine : public SpectrumTexts {
 protected:
  void SetUp() override {
    SpectrumTexts::SetUp();
    GU2_ImmedSetDispatcher(kHostClass, host_dispatcher);
    GU2_ImmedSetDispatcher(kItemClass, host_dispatcher);
    settings_.user_name = "jdoe";
  }
  static void add_label() {
    utiltest::add_resource_module("login_texts.dll",
                                  utiltest::ModuleBuilder().group(AP7_GROUP_LOGIN, {{AP7_LOGIN_LABEL, "User: ", 0}}));
  }

  HostObject settings_;
};

TEST_F(LoginLine, AppendsTheLabelAndTheUserNameWhenLoginIsConfigured) {
  add_label();
  GU6_SetConfig("CustomerInfo", "UseLogin", "1");
  send_text(AP7_MSG_ADD_HISTORY, spectrum_, "step\r\n");
  EXPECT_EQ(ap7d_AddLoginUserFrom(spectrum_, &settings_), 1u);
  EXPECT_EQ(history(), "step\r\nUser: jdoe\r\n");
}

TEST_F(LoginLine, NothingIsAppendedUnlessLoginOrSignaturesAreWanted) {
  add_label();
  EXPECT_EQ(ap7d_AddLoginUserFrom(spectrum_, &settings_), 0u);
  GU6_SetConfig("CustomerInfo", "UseLogin", "0");
  EXPECT_EQ(ap7d_AddLoginUserFrom(spectrum_, &settings_), 0u);
  EXPECT_EQ(history(), "");
}

TEST_F(LoginLine, AnEmptyNameOrAMissingLabelAppendsNothing) {
  GU6_SetConfig("CustomerInfo", "UseLogin", "1");
  EXPECT_EQ(ap7d_AddLoginUserFrom(spectrum_, &settings_), 0u);
  add_label();
  settings_.user_name.clear();
  EXPECT_EQ(ap7d_AddLoginUserFrom(spectrum_, &settings_), 0u);
  EXPECT_EQ(history(), "");
}

TEST_F(LoginLine, WithoutTheHostsSettingsObjectTheMessageAppendsNothing) {
  add_label();
  GU6_SetConfig("CustomerInfo", "UseLogin", "1");
  EXPECT_EQ(send(AP7_MSG_ADD_LOGIN_USER, spectrum_), 0u);
  EXPECT_EQ(history(), "");
}

TEST_F(LoginLine, TheDisplayItemIsMarkedAndRestoredInTwoChanges) {
  GU6_SetConfig("CustomerInfo", "UseLogin", "1");
  HostObject display;
  HostObject item;
  item.class_id = kItemClass;
  item.refresh = 7;
  display.flags = 1;
  display.item = address_of(item);
  settings_.fallback = address_of(display);
  ap7d_AddLoginUserFrom(spectrum_, &settings_);
  EXPECT_EQ(item.calls, (std::vector<std::string>{"begin", "set 65535", "end", "begin", "set 7", "end"}));
  EXPECT_EQ(item.refresh, 7);
}

TEST_F(LoginLine, ADisplayWithoutItsFirstFlagIsLeftAlone) {
  GU6_SetConfig("CustomerInfo", "UseLogin", "1");
  HostObject display;
  HostObject item;
  item.class_id = kItemClass;
  display.flags = 2;
  display.item = address_of(item);
  settings_.display = address_of(display);
  ap7d_AddLoginUserFrom(spectrum_, &settings_);
  EXPECT_TRUE(item.calls.empty());
}

// ---------------------------------------------------------------------------
// The history line of a step

class HistoryLine : public SpectrumTexts {
 protected:
  void SetUp() override {
    SpectrumTexts::SetUp();
    zone("UTC0");
  }
  static std::string now() {
    char text[81] = "";
    GU4_Time2StringSafe(GU4_SystemTime(), text, GU4_TIMEFMT_LONG2, sizeof text);
    return text;
  }
};

TEST_F(HistoryLine, IsTheLabelTheDateAndTimeAndALineEnd) {
  utiltest::add_resource_module("history_texts.dll",
                                utiltest::ModuleBuilder().group(AP7_GROUP_HISTORY, {{25, "Transformed ", 0}}));
  GU6_SetConfig("CustomerInfo", "UseLogin", "1");
  send_text(AP7_MSG_ADD_HISTORY, spectrum_, "before\r\n");
  const std::string earlier = now();
  EXPECT_EQ(ap7d_AddHistoryLine(spectrum_, 25), 1u);
  const std::string later = now();
  const std::string line = history().substr(std::strlen("before\r\n"));
  EXPECT_TRUE(line == "Transformed " + earlier + "\r\n" || line == "Transformed " + later + "\r\n") << line;
  EXPECT_FALSE(earlier.empty());
}

TEST_F(HistoryLine, WithoutItsLabelNothingIsAppended) {
  EXPECT_EQ(ap7d_AddHistoryLine(spectrum_, 25), 0u);
  EXPECT_EQ(history(), "");
}

}  // namespace
