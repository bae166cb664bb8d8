// The readable report of a quality-check result (SQR message 60): a header
// with the settings path, title and accessory, a status line for every
// test that ran, the detail lines of its measured values and the problem
// lines, appended line by line to a TEXT object.
//
// The wording is the host's (association group 439); this module gives the
// order, the choice between the pass and the problem wording and the number
// formats. Lines are built whole, however long the texts and path are.
#include <cstdio>
#include <string>

#include "processing/processing.h"
#include "platform/memory.h"
#include "util/util.h"

namespace {

constexpr uint16_t kReportGroup = 439;
constexpr char kLineEnd[] = "\r\n";
// Single values at or below this take three decimals.
constexpr float kSmallValue = 0.1f;

// Texts of the group by number.
constexpr uint16_t kHeader = 0;
constexpr uint16_t kPathLabel = 1;
constexpr uint16_t kTitleLabel = 2;
constexpr uint16_t kAccessoryLabel = 5;
constexpr uint16_t kResultsLabel = 6;
constexpr uint16_t kSeparator = 7;

enum class Detail { kNone, kRanges, kAmplitude, kAreaPair, kScorePair };

// A status line: its bit, its text number and the detail it may carry with
// the texts and values the detail uses.
struct StatusLine {
  uint32_t bit;
  uint16_t text;
  Detail detail;
  uint16_t first_text;
  uint16_t first_value;
  uint16_t second_text;
  uint16_t second_value;
};

const StatusLine kStatusLines[] = {
    {2, 8, Detail::kRanges, 12, 0, 13, 0},
    {4, 34, Detail::kNone, 0, 0, 0, 0},
    {8, 36, Detail::kNone, 0, 0, 0, 0},
    {0x10, 38, Detail::kNone, 0, 0, 0, 0},
    {0x20, 40, Detail::kNone, 0, 0, 0, 0},
    {0x40, 14, Detail::kAmplitude, 16, 0, 17, 0},
    {AP121_SECOND_WORD | 4, 64, Detail::kAmplitude, 16, 0, 17, 0},
    {0x80, 42, Detail::kNone, 0, 0, 0, 0},
    {0x100, 44, Detail::kNone, 0, 0, 0, 0},
    {0x10000, 46, Detail::kNone, 0, 0, 0, 0},
    {0x20000, 48, Detail::kNone, 0, 0, 0, 0},
    {0x40000, 50, Detail::kNone, 0, 0, 0, 0},
    {0x80000, 52, Detail::kNone, 0, 0, 0, 0},
    {0x100000, 18, Detail::kAreaPair, 20, AP121_CO2_AREA, 21, AP121_CO2_SCORE},
    {0x200000, 22, Detail::kAreaPair, 24, AP121_WATER_AREA, 25, AP121_WATER_SCORE},
    {0x400000, 54, Detail::kNone, 0, 0, 0, 0},
    {0x800000, 26, Detail::kScorePair, 28, AP121_BASELINE_SENS, 29, AP121_BASELINE_RANGE_SCORE},
    {0x1000000, 30, Detail::kScorePair, 32, AP121_BASELINE_SENS, 33, AP121_BASELINE_MEAN_SCORE},
    {0x2000000, 18, Detail::kScorePair, 20, AP121_CO2_BAND_SENS, 21, AP121_CO2_BAND_SCORE},
    {0x4000000, 22, Detail::kScorePair, 24, AP121_WATER_BAND_SENS, 25, AP121_WATER_BAND_SCORE},
};
const StatusLine kClosingLines[] = {
    {AP121_SECOND_WORD | 1, 60, Detail::kNone, 0, 0, 0, 0},
    {AP121_SECOND_WORD | 2, 62, Detail::kNone, 0, 0, 0, 0},
};
struct ProblemLine {
  uint32_t bit;
  uint16_t text;
};
const ProblemLine kProblemLines[] = {{0x8000000, 56}, {0x10000000, 57}, {0x20000000, 58}, {0x40000000, 59}};
// The unit text after each area value.
constexpr uint16_t kAreaUnit = 66;

const char* ap121_text(uint16_t number) { return GU4_GetAssocString(kReportGroup, number, nullptr, nullptr); }
std::string ap121_text_or_empty(uint16_t number) {
  const char* text = ap121_text(number);
  return text != nullptr ? text : "";
}

// A number in the report's formats, with the library's decimal character.
std::string ap121_number(const char* format, double value) {
  char printed[64];
  std::snprintf(printed, sizeof printed, format, value);
  GUX_ChangeUSDecimalToInternat(printed);
  return printed;
}
std::string ap121_one_decimal(float value) { return ap121_number("%5.1f", value); }
// The single-value format: three decimals for small values.
std::string ap121_single(float value) { return ap121_number(value <= kSmallValue ? "%5.3f" : "%5.1f", value); }

class Report {
 public:
  Report(AP121_SQR* result, AP48_TEXT* text) : result_(result), text_(text) {}

  bool ok() const { return ok_; }

  // Appends a line and its end; the report's state is the answer. Once an
  // append failed nothing more is written.
  void append(const std::string& line) {
    if (!ok_) return;
    std::string whole = line + kLineEnd;
    ok_ = GU2_DoMethod_MSG(AP48_MSG_APPEND, text_, &whole[0]) != 0;
  }

  // Without the report's first text nothing is written, and the report
  // fails.
  void header() {
    const char* title = ap121_text(kHeader);
    if (title == nullptr) return;
    ok_ = true;
    append(title);
    labelled(kPathLabel, AP121_PATH_LONG);
    labelled(kTitleLabel, AP121_TITLE);
    labelled(kAccessoryLabel, AP121_ACCESSORY_NAME);
    if (const char* results = ap121_text(kResultsLabel)) append(std::string(kLineEnd) + results);
  }

  void status(const StatusLine& line) {
    if (!done(line.bit)) return;
    const char* text = ap121_text(static_cast<uint16_t>(problem(line.bit) ? line.text + 1 : line.text));
    if (text == nullptr) return;
    append(text);
    if (line.detail != Detail::kNone) append(detail(line));
  }

  void problem_line(const ProblemLine& line) {
    if (!done(line.bit) || !problem(line.bit)) return;
    if (const char* text = ap121_text(line.text)) append(text);
  }

 private:
  bool done(uint32_t bit) const { return ap121_AnyBit(result_, AP121_DONE, bit); }
  bool problem(uint32_t bit) const {
    return ap121_AnyBit(result_, AP121_WARNINGS, bit) || ap121_AnyBit(result_, AP121_FAILURES, bit);
  }
  float value(uint16_t number) const { return ap12x_get<float>(result_->params, number); }
  std::string range_end(uint16_t number) const {
    return std::to_string(static_cast<int32_t>(ap12x_get<uint32_t>(result_->params, number)));
  }

  void labelled(uint16_t label, uint16_t parameter) {
    const char* text = ap121_text(label);
    if (text == nullptr) return;
    append(std::string(text) + reinterpret_cast<const char*>(ap13_GetValuePtr_PARAMS(result_->params, parameter)));
  }

  std::string detail(const StatusLine& line) const {
    const std::string s = ap121_text_or_empty(kSeparator);
    const std::string first = ap121_text_or_empty(line.first_text);
    const std::string second = ap121_text_or_empty(line.second_text);
    switch (line.detail) {
      case Detail::kRanges:
        return first + range_end(AP121_EXPECTED_LOW) + s + range_end(AP121_EXPECTED_HIGH) + second +
               range_end(AP121_INSTRUMENT_LOW) + s + range_end(AP121_INSTRUMENT_HIGH);
      case Detail::kAmplitude:
        return first + ap121_single(value(AP121_AMPLITUDE_LOW)) + s + ap121_single(value(AP121_AMPLITUDE_HIGH)) +
               second + ap121_single(value(AP121_AMPLITUDE));
      case Detail::kAreaPair: {
        const std::string unit = ap121_text_or_empty(kAreaUnit);
        return first + ap121_one_decimal(value(line.first_value)) + unit + second +
               ap121_one_decimal(value(line.second_value)) + unit;
      }
      case Detail::kScorePair:
        return first + ap121_one_decimal(value(line.first_value)) + second + ap121_one_decimal(value(line.second_value));
      case Detail::kNone: break;
    }
    return std::string();
  }

  AP121_SQR* result_;
  AP48_TEXT* text_;
  bool ok_ = false;
};

}  // namespace

uint32_t ap121_Report(AP121_SQR* result, AP48_TEXT* text, HWND window) {
  if (result == nullptr || window == nullptr || IsBadReadPtr(text, sizeof(uint16_t)) ||
      ap13_load<uint16_t>(text) != AP48_CLASS_ID)
    return 0;
  Report report(result, text);
  report.header();
  for (const StatusLine& line : kStatusLines) report.status(line);
  for (const ProblemLine& line : kProblemLines) report.problem_line(line);
  report.append("");
  for (const StatusLine& line : kClosingLines) report.status(line);
  if (report.ok()) return 1;
  AP_WINDOWPARM destroy{window, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, text, &destroy);
  return 0;
}
