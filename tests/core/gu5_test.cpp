#include <clocale>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "core/core.h"
#include "core/core_fixture.h"
#include "platform/user.h"
#include "support/test_home.h"

namespace {

class Log : public CoreTest {
 protected:
  void TearDown() override {
    GU5_SetLogFile("");
    GU5_TimeDateStamp(0);
    CoreTest::TearDown();
  }
  static std::string path(const char* name) { return testsupport::home() + "/" + name; }
};

struct AssertCase {
  int16_t line;
  const char* text1;
  const char* text2;
  const char* shown;
};

class AssertionBox : public Log, public testing::WithParamInterface<AssertCase> {};

TEST_P(AssertionBox, ShowsTheLineInSixColumnsThenBothTexts) {
  const AssertCase& c = GetParam();
  EXPECT_EQ(GU5_Assert(c.text1, c.text2, c.line), IDOK);
  ASSERT_EQ(platform::message_boxes().size(), 1u);
  EXPECT_EQ(platform::message_boxes()[0].caption, "Assertion Failure");
  EXPECT_EQ(platform::message_boxes()[0].text, c.shown);
  EXPECT_EQ(platform::message_boxes()[0].type, MB_OK);
}

INSTANTIATE_TEST_SUITE_P(Cases, AssertionBox,
                         testing::Values(AssertCase{12, "x", "y", "Line:      12 x y"},
                                         AssertCase{-3, "ap13.cpp", "index < count", "Line:      -3 ap13.cpp index < count"},
                                         AssertCase{32767, "a", "b", "Line:   32767 a b"},
                                         AssertCase{1, nullptr, nullptr, "Line:       1  "}));

TEST_F(Log, DebugBoxShowsTheTextUnderDebug) {
  EXPECT_EQ(GU5_DlgMessage("Memory Allocation Error"), IDOK);
  ASSERT_EQ(platform::message_boxes().size(), 1u);
  EXPECT_EQ(platform::message_boxes()[0].caption, "Debug");
  EXPECT_EQ(platform::message_boxes()[0].text, "Memory Allocation Error");
}

TEST_F(Log, EachMessageIsOneLineAndANewNameStartsAFreshFile) {
  const std::string file = path("run.log");
  GU5_SetLogFile(file.c_str());
  GU5_LogMessage("a");
  GU5_LogMessage("b");
  EXPECT_EQ(testsupport::read_file(file), "a\nb\n");
  GU5_SetLogFile(nullptr);  // changes nothing
  GU5_LogMessage(nullptr);  // writes nothing
  GU5_LogMessage("c");
  EXPECT_EQ(testsupport::read_file(file), "a\nb\nc\n");
  GU5_SetLogFile(file.c_str());
  GU5_LogMessage("d");
  EXPECT_EQ(testsupport::read_file(file), "d\n");
}

TEST_F(Log, AnEmptyNameSwitchesTheLogOff) {
  const std::string file = path("off.log");
  GU5_SetLogFile(file.c_str());
  GU5_SetLogFile("");
  GU5_LogMessage("a");
  EXPECT_FALSE(testsupport::file_exists(file));
}

// A cut name could name, and truncate, another file: a name too long for the
// 144-character buffer is refused and the log goes on where it was.
TEST_F(Log, ANameTooLongForItsBufferIsRefused) {
  const std::string kept = path("kept.log");
  GU5_SetLogFile(kept.c_str());
  const std::string prefix = path("");
  const std::string longest = prefix + std::string(143 - prefix.size(), 'n');
  const std::string too_long = longest + "x";
  GU5_SetLogFile(too_long.c_str());
  GU5_LogMessage("a");
  EXPECT_EQ(testsupport::read_file(kept), "a\n");
  EXPECT_FALSE(testsupport::file_exists(too_long));
  EXPECT_FALSE(testsupport::file_exists(too_long.substr(0, 143)));

  GU5_SetLogFile(longest.c_str());
  GU5_LogMessage("b");
  EXPECT_EQ(testsupport::read_file(longest), "b\n");
}

TEST_F(Log, WithTheTimeStampEachLineBeginsWithTheLocalTime) {
  const std::string file = path("stamped.log");
  GU5_SetLogFile(file.c_str());
  EXPECT_EQ(GU5_TimeDateStamp(1), 1);
  GU5_LogMessage("a");
  GU5_LogMessage("b");
  const std::string stamp = "(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                            "[ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}";
  EXPECT_TRUE(std::regex_match(testsupport::read_file(file), std::regex(stamp + "  a\n" + stamp + "  b\n")))
      << testsupport::read_file(file);
}

// The time text against the C library's own formatting of the same clock,
// with English names whatever the user's locale.
TEST_F(Log, TimeIsTheLocalTimeInTheAsctimeForm) {
  setenv("TZ", "UTC", 1);
  tzset();
  std::setlocale(LC_TIME, "C");
  const std::time_t before = std::time(nullptr);
  const std::string text = GetTime();
  const std::time_t after = std::time(nullptr);
  EXPECT_EQ(text.size(), 24u);
  bool matched = false;
  for (std::time_t moment = before; moment <= after; ++moment) {
    char expected[32];
    std::strftime(expected, sizeof expected, "%a %b %e %H:%M:%S %Y", std::gmtime(&moment));
    matched = matched || text == expected;
  }
  EXPECT_TRUE(matched) << text;
}

TEST_F(Log, ModesAreReportedBackAsGiven) {
  EXPECT_EQ(GU5_MessageMode(4, 0), 4);
  EXPECT_EQ(GU5_MessageMode(9, 1), 9);
  EXPECT_EQ(GU5_TimeDateStamp(0), 0);
}

}  // namespace
