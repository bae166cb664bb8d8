#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "processing/quality_fixture.h"
#include "util/util_fixture.h"

namespace {

using qualitytest::send;
using qualitytest::as_parameter;
using qualitytest::set;
using qualitytest::set_text;

HWND const kWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));

// Longer than any fixed line buffer would hold.
const std::string kLongStatus = "Spectral range: " + std::string(600, 'r');

std::vector<utiltest::Record> report_texts(bool with_header) {
  std::vector<utiltest::Record> texts = {
      {1, "Settings: ", 0},   {2, "Title: ", 0},        {5, "Accessory: ", 0},  {6, "Results", 0},
      {7, " to ", 0},         {8, kLongStatus, 0},      {9, "Range problem", 0}, {12, "Range ", 0},
      {13, " in ", 0},        {14, "Amplitude ok", 0},  {15, "Amplitude low", 0}, {16, "Limits ", 0},
      {17, " amplitude ", 0}, {20, "Area ", 0},         {21, " score ", 0},      {18, "Carbon dioxide ok", 0},
      {19, "Carbon dioxide high", 0}, {34, "Fine mode ok", 0}, {35, "Fine mode problem", 0},
      {44, "Signal ok", 0},   {45, "Signal noisy", 0},  {56, "Reference shifted", 0}, {60, "Ratio A ok", 0},
      {61, "Ratio A high", 0}, {66, " %", 0},
  };
  if (with_header) texts.push_back({0, "Quality report", 0});
  return texts;
}

class ReportTest : public QualityTest {
 protected:
  void install(bool with_header) {
    utiltest::ModuleBuilder builder;
    builder.group(439, report_texts(with_header));
    static int installed = 0;
    const std::string name = "report" + std::to_string(++installed) + ".dll";
    utiltest::add_resource_module(name.c_str(), builder);
  }
  AP48_TEXT* new_text() {
    AP48_TEXT* text = spectrumtest::new_text("");
    texts_.push_back(text);
    return text;
  }
  void TearDown() override {
    for (AP48_TEXT* text : texts_) spectrumtest::destroy(text);
    QualityTest::TearDown();
  }
  uint32_t report(AP121_SQR* result, AP48_TEXT* text, HWND window = kWindow) {
    AP121_REPORTPARM block{text, window};
    return send(AP121_MSG_REPORT, result, &block);
  }

  std::vector<AP48_TEXT*> texts_;
};

TEST_F(ReportTest, TheReportOfASetOfResultsReadsWhole) {
  install(true);
  AP121_SQR* result = make_sqr();
  const std::string path = "C:\\" + std::string(250, 'p') + ".sqs";
  set_text(result, AP121_PATH_LONG, path);
  set_text(result, AP121_TITLE, "Daily");
  set_text(result, AP121_ACCESSORY_NAME, "ATR");
  set<uint32_t>(result, AP121_EXPECTED_LOW, 400);
  set<uint32_t>(result, AP121_EXPECTED_HIGH, 4000);
  set<uint32_t>(result, AP121_INSTRUMENT_LOW, 650);
  set<uint32_t>(result, AP121_INSTRUMENT_HIGH, 4000);
  set<float>(result, AP121_AMPLITUDE, 0.05f);
  set<float>(result, AP121_CO2_AREA, 12.3f);
  set<float>(result, AP121_CO2_SCORE, 88.5f);
  send(AP121_MSG_SET_DONE, result, as_parameter(2 | 4 | 0x40 | 0x100000 | 0x8000000));
  send(AP121_MSG_SET_DONE, result, as_parameter(0x80000001));
  send(AP121_MSG_SET_FAILURES, result, as_parameter(0x40));
  send(AP121_MSG_SET_WARNINGS, result, as_parameter(0x8000000 | 0x100));  // 0x100 did not run
  send(AP121_MSG_SET_WARNINGS, result, as_parameter(0x80000001));
  AP48_TEXT* text = new_text();
  ASSERT_EQ(report(result, text), 1u);
  const std::string expected = "Quality report\r\n"
                               "Settings: " + path + "\r\n"
                               "Title: Daily\r\n"
                               "Accessory: ATR\r\n"
                               "\r\nResults\r\n" +
                               kLongStatus + "\r\n"
                               "Range 400 to 4000 in 650 to 4000\r\n"
                               "Fine mode ok\r\n"
                               "Amplitude low\r\n"
                               "Limits   5.6 to   9.8 amplitude 0.050\r\n"
                               "Carbon dioxide ok\r\n"
                               "Area  12.3 % score  88.5 %\r\n"
                               "Reference shifted\r\n"
                               "\r\n"
                               "Ratio A high\r\n";
  EXPECT_EQ(spectrumtest::text_of(text), expected);
}

TEST_F(ReportTest, WithoutTheFirstTextNothingIsWrittenAndTheTextIsDestroyed) {
  install(false);
  AP121_SQR* result = make_sqr();
  send(AP121_MSG_SET_DONE, result, as_parameter(2));
  AP48_TEXT* text = new_text();
  const uint16_t before = live(AP48_CLASS_ID);
  EXPECT_EQ(report(result, text), 0u);
  EXPECT_EQ(live(AP48_CLASS_ID), before - 1);
  texts_.pop_back();
}

TEST_F(ReportTest, AMissingObjectOrWindowWritesNothing) {
  install(true);
  AP121_SQR* result = make_sqr();
  AP48_TEXT* text = new_text();
  AP120_SQ* settings = make_sq();
  EXPECT_EQ(report(result, nullptr), 0u);
  EXPECT_EQ(report(result, text, nullptr), 0u);
  // Message 60 of the settings class lists its parameters; the report
  // itself refuses them.
  AP121_REPORTPARM block{text, kWindow};
  EXPECT_EQ(AP121_Dispatcher_SQR(settings, AP121_MSG_REPORT, &block), 0u);
  EXPECT_EQ(report(result, reinterpret_cast<AP48_TEXT*>(result)), 0u);
  EXPECT_EQ(spectrumtest::text_of(text), "");
}

}  // namespace
