// AP23 JCAMP_FILE: the format object of JCAMP-DX 5.01 text files.
//
// Owns the class's instance heap; an object holds only its owner, the
// spectrum-file object (ap21.cpp) that opened the file, and answers the
// frame of ap63.cpp. The format test looks for "##TITLE" and "##JCAMP-DX"
// on the first lines. The reader fills a new spectrum's header from the
// labelled data records and its values from one data table: (X++(Y..Y)) in
// every digit form of the standard (AFFN, PAC, SQZ, DIF with its Y check,
// DUP), or (XY..XY) pairs resampled onto an even grid. The writer writes the
// header records, the history flags as data-processing lines, and the table
// as plain integers scaled by a power of ten. Numbers are read and written
// with '.' as their decimal point, whatever the process locale.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "exchange/exchange.h"
#include "platform/codepage.h"
#include "platform/memory.h"
#include "platform/timelocale.h"
#include "util/util.h"

namespace {

// The first line of a file the format test accepts lies in this many bytes.
constexpr size_t kTestLine = 256;
// Labels and values are handled to this many characters, and a record's
// continuation lines to this many in all.
constexpr size_t kMostText = 255;
constexpr size_t kMostRecord = 65536;

// Unit codes of the spectrum header that the records name.
constexpr uint32_t kWavenumbers = 1;
constexpr uint32_t kNanometres = 3;
constexpr uint32_t kMicrometres = 4;
constexpr uint32_t kMinutes = 6;
constexpr uint32_t kUnknownX = 7;
constexpr uint32_t kOtherX = 40;
constexpr uint32_t kRamanShift = 32;
constexpr uint32_t kPercentReflectance = 11;
constexpr uint32_t kPercentTransmittance = 16;
constexpr uint32_t kAbsorbance = 17;
constexpr uint32_t kKubelkaMunk = 20;
constexpr uint32_t kReflectance = 21;
constexpr uint32_t kTransmittance = 23;
constexpr uint32_t kRamanIntensity = 31;
constexpr float kDefaultLaser = 15798.0f;

AP20_FILE* ap23_file(AP_OBJECT* format) { return ap21_FormatFile(format); }

// ---------------------------------------------------------------------------
// Labels

// A label or enumerated value without blanks, backslashes, underscores,
// slashes, hyphens and dollar signs, at most kMostText characters.
std::string ap23_normal(const std::string& text) {
  std::string normal;
  for (char c : text) {
    if (std::strchr(" \t\\_/-$", c) == nullptr) normal += c;
    if (normal.size() == kMostText) break;
  }
  return normal;
}

// Two texts match when they agree without regard to case over the shorter
// one's length; a text too short to name anything ("##", "") matches none.
bool ap23_matches(const std::string& text, const char* keyword) {
  const size_t length = std::min(text.size(), std::strlen(keyword));
  if (length == 0 || (length <= 2 && text[0] == '#')) return false;
  for (size_t i = 0; i < length; ++i) {
    if (std::toupper(static_cast<unsigned char>(text[i])) != std::toupper(static_cast<unsigned char>(keyword[i])))
      return false;
  }
  return true;
}

bool ap23_holds_label(const std::string& line) { return line.find("##") != std::string::npos; }

// The label of a record's line in normal form: the text before its "=".
std::string ap23_label(const std::string& line) { return ap23_normal(line.substr(0, line.find('='))); }

// The value of a record: after the first "=", without leading blanks.
std::string ap23_value(const std::string& record) {
  const size_t equals = record.find('=');
  if (equals == std::string::npos) return std::string();
  const size_t start = record.find_first_not_of(" \t", equals + 1);
  return start == std::string::npos ? std::string() : record.substr(start);
}

// A number with '.' as its decimal point, exponent form included; leading
// blanks and a '+' are allowed, and what follows the number is not read.
bool ap23_number(const char* text, double* value) {
  while (*text == ' ' || *text == '\t') ++text;
  if (*text == '+') ++text;
  const auto [stop, error] = std::from_chars(text, text + std::strlen(text), *value);
  return error == std::errc() && stop != text;
}

bool ap23_float(const std::string& text, float* value) {
  double number = 0;
  if (!ap23_number(text.c_str(), &number)) return false;
  *value = static_cast<float>(number);
  return true;
}

// ---------------------------------------------------------------------------
// The labelled data records

struct ReadState {
  AP7_SPECTRUM* spectrum = nullptr;
  AP41_HEADERDATA* record = nullptr;
  bool interferogram = false;
  bool raman = false;
  bool pairs_table = false;
  float x_scale = 1.0f;
  double y_factor = 1.0;
  GU4_TM when{};
  bool date_given = false;
  bool time_given = false;
  bool long_date = false;
  int counted = 0;  // "##NPOINTS" and "##ZPD" records
  uint16_t error = 0;
};

struct UnitName {
  const char* name;
  uint32_t code;
};

// The first unit whose name the value matches; false for none.
bool ap23_unit_of(const std::string& value, const UnitName* units, size_t count, uint32_t* code) {
  const std::string normal = ap23_normal(value);
  if (normal.empty()) return false;
  for (size_t i = 0; i < count; ++i) {
    if (ap23_matches(normal, units[i].name)) {
      *code = units[i].code;
      return true;
    }
  }
  return false;
}

// "Y/M/D" or "H:M:S": up to three whole numbers between separators; the
// text after the last one read.
int ap23_fields(const char* text, char separator, int32_t* fields, const char** rest) {
  int read = 0;
  while (read < 3) {
    while (*text == ' ') ++text;
    if (*text < '0' || *text > '9') break;
    int32_t number = 0;
    while (*text >= '0' && *text <= '9') {
      if (number < 100000) number = number * 10 + (*text - '0');
      ++text;
    }
    fields[read++] = number;
    if (*text != separator) break;
    ++text;
  }
  if (rest != nullptr) *rest = text;
  return read;
}

// A date is taken only when its month and day exist; a four-digit year is
// counted from 1900 as the broken-down time counts it.
bool ap23_set_date(ReadState* state, int32_t year, int32_t month, int32_t day) {
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  state->when.tm_year = year >= 1900 ? year - 1900 : year;
  state->when.tm_mon = month - 1;
  state->when.tm_mday = day;
  state->date_given = true;
  return true;
}

bool ap23_set_time(ReadState* state, const int32_t* fields, int count) {
  if (count < 2 || fields[0] > 23 || fields[1] > 59 || (count == 3 && fields[2] > 60)) return false;
  state->when.tm_hour = fields[0];
  state->when.tm_min = fields[1];
  state->when.tm_sec = count == 3 ? fields[2] : 0;
  state->time_given = true;
  return true;
}

// A zone of "+hhmm" or "-hhmm" after the seconds moves the time to local
// time: by the local offset east of UTC (daylight saving counted when the
// date read lies in it) less the zone's.
void ap23_apply_zone(ReadState* state, const char* after_seconds) {
  const char* zone = std::strpbrk(after_seconds, "+-");
  if (zone == nullptr) return;
  int32_t digits[4];
  for (int i = 0; i < 4; ++i) {
    if (zone[1 + i] < '0' || zone[1 + i] > '9') return;
    digits[i] = zone[1 + i] - '0';
  }
  const int32_t minutes = (zone[0] == '-' ? -1 : 1) * ((digits[0] * 10 + digits[1]) * 60 + digits[2] * 10 + digits[3]);
  if (minutes == 0) return;
  TIME_ZONE_INFORMATION information{};
  GetTimeZoneInformation(&information);
  int32_t local = -information.Bias;
  GU4_TM probe = state->when;
  probe.tm_isdst = -1;
  const GU4_CALTIME calendar = GU4_Timeout(GU4_tm2Time(&probe));
  const GU4_TM* broken = GU4_localtime(&calendar);
  if (broken != nullptr && broken->tm_isdst > 0) local -= information.DaylightBias;
  state->when.tm_min += local - minutes;
}

void ap23_long_date(ReadState* state, const std::string& value) {
  int32_t date[3] = {};
  const char* rest = nullptr;
  if (ap23_fields(value.c_str(), '/', date, &rest) != 3 || !ap23_set_date(state, date[0], date[1], date[2])) return;
  state->long_date = true;
  int32_t time[3] = {};
  const char* after = nullptr;
  if (!ap23_set_time(state, time, ap23_fields(rest, ':', time, &after))) return;
  if (*after == '.') {
    ++after;
    while (*after >= '0' && *after <= '9') ++after;
  }
  ap23_apply_zone(state, after);
}

void ap23_append_comment(ReadState* state, const std::string& text) {
  ap7d_AddCommentText(state->spectrum, (text + " ").c_str());
}

constexpr const char* kCommentLabels[] = {
    "##SAMPLEDESCRIPTION", "##CROSSREFERENCE", "##SPECTROMETERDATASYSTEM", "##SAMPLINGPROCEDURE",
    "##INSTRUMENTALPARAMETERS", "##CASNAME", "##NAMES", "##MOLFORM", "##CASREGISTRYNO", "##WISWESSER",
    "##BEILSTEINLAWSONNO", "##MP", "##BP", "##REFRACTIVEINDEX", "##DENSITY", "##MW", "##CONCENTRATIONS",
    "##STATE", "##PATHLENGTH", "##PRESSURE", "##TEMPERATURE", "##DATAPROCESSING", "##POWER",
    "##IDEALCHEMISTRY", "##LOCALITY", "##OPERATOR"};

constexpr UnitName kXUnitNames[] = {
    {"1CM", kWavenumbers}, {"MICROMETERS", kMicrometres}, {"NANOMETERS", kNanometres},
    {"RAMANSHIFT", kRamanShift}, {"SECONDS", kMinutes}};
constexpr UnitName kYUnitNames[] = {
    {"TRANSMITTANCE", kTransmittance}, {"REFLECTANCE", kReflectance}, {"ABSORBANCE", kAbsorbance},
    {"KUBELKAMUNK", kKubelkaMunk}, {"ARBITRARYUNITS", AP63_OTHER_UNITS}, {"TRANSFLECTANCE", kTransmittance},
    {"RAMANINTENSITY", kRamanIntensity}};
constexpr UnitName kAUnitNames[] = {{"ARBITRARYUNITS", AP63_OTHER_UNITS}, {"VOLTS", AP41_YUNITS_INTERFEROGRAM}};

// The interferogram's post-peak and transform points follow from the point
// count and the peak once both records are seen.
void ap23_count_record(ReadState* state) {
  AP41_HEADERDATA* record = state->record;
  if (++state->counted != 2 || !state->interferogram || record->FinalPeakPos > record->points) return;
  record->NumPostPeakPts = record->points - record->FinalPeakPos;
  uint64_t power = 1;
  while (power < record->NumPostPeakPts) power *= 2;
  record->NumTransformPts = static_cast<uint32_t>(std::min<uint64_t>(2 * power, UINT32_MAX));
}

// One record (its label line and continuation lines joined by blanks),
// handled by the first label of the table it matches.
void ap23_handle_record(ReadState* state, const std::string& text) {
  AP41_HEADERDATA* record = state->record;
  const std::string label = ap23_label(text);
  const std::string value = ap23_value(text);
  const std::string normal = ap23_normal(value);
  float number = 0;
  uint32_t code = 0;
  if (ap23_matches(label, "##TITLE")) {
    capobj_StrCopyN(value.substr(0, kMostText).c_str(), record->title, sizeof record->title);
  } else if (ap23_matches(label, "##DATATYPE")) {
    if (ap23_matches(normal, "INFRAREDSPECTRUM")) {
      state->interferogram = false;
    } else if (ap23_matches(normal, "RAMANSPECTRUM")) {
      state->raman = true;
      state->interferogram = false;
    } else if (ap23_matches(normal, "INFRAREDINTERFEROGRAM")) {
      state->interferogram = true;
    }
  } else if (ap23_matches(label, "##XUNITS")) {
    if (!ap23_unit_of(value, kXUnitNames, std::size(kXUnitNames), &code)) {
      state->error = AP23_ERROR_XUNITS;
      code = kOtherX;
    }
    record->x_units = code;
    if (code == kMinutes) state->x_scale = 1.0f / 60.0f;
  } else if (ap23_matches(label, "##DATE")) {
    int32_t date[3] = {};
    if (!state->long_date && ap23_fields(value.c_str(), '/', date, nullptr) == 3)
      ap23_set_date(state, date[0], date[1], date[2]);
  } else if (ap23_matches(label, "##TIME")) {
    int32_t time[3] = {};
    if (!(state->long_date && state->time_given)) ap23_set_time(state, time, ap23_fields(value.c_str(), ':', time, nullptr));
  } else if (ap23_matches(label, "##LONGDATE")) {
    ap23_long_date(state, value);
  } else if (ap23_matches(label, "##RUNITS")) {
    if (ap23_matches(normal, "MICROMETERS")) {
      record->x_units = kMicrometres;
    } else {
      state->error = AP23_ERROR_RUNITS;
    }
  } else if (ap23_matches(label, "##YUNITS")) {
    if (state->interferogram) return;
    if (ap23_unit_of(value, kYUnitNames, std::size(kYUnitNames), &code)) {
      record->y_units = code;
    } else {
      state->error = AP23_ERROR_YUNITS;
    }
  } else if (ap23_matches(label, "##AUNITS")) {
    if (!state->interferogram) return;
    if (ap23_unit_of(value, kAUnitNames, std::size(kAUnitNames), &code)) {
      record->y_units = code;
    } else {
      state->error = AP23_ERROR_AUNITS;
    }
  } else if (ap23_matches(label, "##FIRSTX") || ap23_matches(label, "##FIRSTR")) {
    if (ap23_matches(label, "##FIRSTR") == state->interferogram && ap23_float(value, &number)) record->first_x = number;
  } else if (ap23_matches(label, "##LASTX") || ap23_matches(label, "##LASTR")) {
    if (ap23_matches(label, "##LASTR") == state->interferogram && ap23_float(value, &number)) record->last_x = number;
  } else if (ap23_matches(label, "##YFACTOR") || ap23_matches(label, "##AFACTOR")) {
    double factor = 0;
    if (ap23_matches(label, "##AFACTOR") == state->interferogram && ap23_number(value.c_str(), &factor))
      state->y_factor = factor;
  } else if (ap23_matches(label, "##NPOINTS")) {
    const int32_t points = GU4_atol(normal.c_str());
    record->points = points > 0 ? static_cast<uint32_t>(points) : 0;
    ap23_count_record(state);
  } else if (ap23_matches(label, "##ALIAS")) {
    const size_t slash = value.find('/');
    if (slash != std::string::npos && ap23_float(value.substr(slash + 1), &number)) record->SSP = number;
  } else if (ap23_matches(label, "##ZPD")) {
    const int32_t peak = GU4_atol(normal.c_str());
    record->FinalPeakPos = peak > 0 ? static_cast<uint32_t>(peak) : 0;
    ap23_count_record(state);
  } else {
    for (const char* comment_label : kCommentLabels) {
      if (ap23_matches(label, comment_label)) {
        ap23_append_comment(state, text);
        return;
      }
    }
  }
}

// The header values that follow from the records; false when the X range
// cannot be that of a table (both ends 0, equal or not finite).
bool ap23_finish_header(ReadState* state) {
  AP41_HEADERDATA* record = state->record;
  // The record is packed: its fields are read into values, not referred to.
  const float first_x = record->first_x;
  const float last_x = record->last_x;
  const float low = std::min(first_x, last_x);
  const float high = std::max(first_x, last_x);
  if (AP1_KovFloatCompareSG_MATH(record->first_x, 0.0f) && AP1_KovFloatCompareSG_MATH(record->last_x, 0.0f))
    return false;
  if (state->raman) {
    record->y_units = kRamanIntensity;
    if (record->x_units == kWavenumbers && low < 4000.0f)
      record->x_units = kRamanShift;
  }
  if (state->date_given && state->time_given) {
    state->when.tm_isdst = -1;
    record->time = GU4_tm2Time(&state->when);
  }
  record->NumScans = 1;
  record->NumScanPts = record->points;
  if (!state->interferogram) {
    record->SSP = high >= 7850.0f ? 1.0f : 2.0f;
  } else {
    record->first_x = 0.0f;
    record->last_x = record->points > 0 ? static_cast<float>(record->points - 1) : 0.0f;
    record->x_units = AP41_XUNITS_POINTS;
    record->LaserFreq = kDefaultLaser;
  }
  if (record->NumPostPeakPts == 0 && record->points > 1) {
    double ratio = record->LaserFreq == 0.0f ? kDefaultLaser / static_cast<double>(record->SSP)
                                             : record->LaserFreq / static_cast<double>(record->SSP);
    if (record->SSP == 0.0f) ratio = record->LaserFreq == 0.0f ? kDefaultLaser / 2.0 : record->LaserFreq / 2.0;
    const double span = std::fabs(static_cast<double>(record->last_x) - record->first_x);
    const double post_peak = std::trunc((record->points - 1) * ratio / span);
    if (std::isfinite(post_peak) && post_peak >= 0 && post_peak <= UINT32_MAX)
      record->NumPostPeakPts = static_cast<uint32_t>(post_peak);
  }
  record->first_x *= state->x_scale;
  record->last_x *= state->x_scale;
  return std::isfinite(record->first_x) && std::isfinite(record->last_x) && record->first_x != record->last_x;
}

// ---------------------------------------------------------------------------
// The (X++(Y..Y)) table in the standard's digit forms

enum class Form { none, absolute, difference, missing };

// The digit a character of the compressed forms stands for, with its sign.
bool ap23_squeezed(char c, int* digit) {
  if (c == '@') return *digit = 0, true;
  if (c >= 'A' && c <= 'I') return *digit = c - 'A' + 1, true;
  if (c >= 'a' && c <= 'i') return *digit = -(c - 'a' + 1), true;
  return false;
}
bool ap23_differenced(char c, int* digit) {
  if (c == '%') return *digit = 0, true;
  if (c >= 'J' && c <= 'R') return *digit = c - 'J' + 1, true;
  if (c >= 'j' && c <= 'r') return *digit = -(c - 'j' + 1), true;
  return false;
}
bool ap23_duplicated(char c, int* digit) {
  if (c >= 'S' && c <= 'Z') return *digit = c - 'S' + 1, true;
  if (c == 's') return *digit = 9, true;
  return false;
}
bool ap23_digit(char c) { return c >= '0' && c <= '9'; }

// The values of a table in file order, with what is needed to check each
// line against the last: the previous value, whether the previous line
// ended on a difference, and the table's bound.
class TableDecoder {
 public:
  explicit TableDecoder(uint32_t most) : most_(most) {}
  // Decodes one data line; false when the line breaks the standard's rules
  // or the table's bound.
  bool line(const std::string& text);
  const std::vector<float>& values() const { return values_; }

 private:
  bool store(double value, Form form);
  bool repeat(uint64_t count);
  // A plain number's sign is first_digit's (±1); a compressed one's first
  // digit and sign are first_digit.
  bool number(const char*& at, const char* end, int first_digit, bool plain, double* value);

  uint32_t most_;
  std::vector<float> values_;
  double previous_ = 0;
  double difference_ = 0;
  Form last_ = Form::none;
  bool check_next_ = false;  // the next line opens with the Y check
  bool checking_ = false;    // this line's first value is the Y check
};

bool TableDecoder::store(double value, Form form) {
  if (checking_) {
    checking_ = false;
    if (form != Form::absolute || !AP1_KovFloatCompareDB_MATH(value, previous_)) return false;
    last_ = Form::absolute;
    return true;
  }
  if (values_.size() >= most_ || (form != Form::missing && !std::isfinite(static_cast<float>(value)))) return false;
  values_.push_back(form == Form::missing ? AP1_GetNaNSG_MATH() : static_cast<float>(value));
  if (form != Form::missing) previous_ = value;
  last_ = form;
  return true;
}

// A DUP count n: the last value or difference stands n times in all.
bool TableDecoder::repeat(uint64_t count) {
  if (count == 0 || last_ == Form::none) return false;
  if (count - 1 > most_ - values_.size()) return false;
  for (uint64_t i = 1; i < count; ++i) {
    if (last_ == Form::difference) {
      previous_ += difference_;
      if (!std::isfinite(static_cast<float>(previous_))) return false;
      values_.push_back(static_cast<float>(previous_));
    } else {
      values_.push_back(last_ == Form::missing ? AP1_GetNaNSG_MATH() : static_cast<float>(previous_));
    }
  }
  return true;
}

// The digits (with a decimal point, and an exponent "E±d" for a plain
// number) after a first digit that a compressed character gave.
bool TableDecoder::number(const char*& at, const char* end, int first_digit, bool plain, double* value) {
  std::string text = first_digit < 0 ? "-" : "";
  if (!plain) text += static_cast<char>('0' + std::abs(first_digit));
  bool digits = !plain;
  while (at < end && (ap23_digit(*at) || *at == '.')) {
    digits = digits || ap23_digit(*at);
    text += *at++;
  }
  if (plain && digits && end - at >= 3 && (*at == 'E' || *at == 'e') && (at[1] == '+' || at[1] == '-') &&
      ap23_digit(at[2])) {
    text.append(at, 2);
    at += 2;
    while (at < end && ap23_digit(*at)) text += *at++;
  }
  if (!digits) return false;
  const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return error == std::errc() && stop == text.data() + text.size() && std::isfinite(*value);
}

bool TableDecoder::line(const std::string& text) {
  const char* at = text.data();
  const char* end = at + std::min(text.size(), text.find("$$"));
  while (at < end && (*at == ' ' || *at == '\t')) ++at;
  if (at == end) return true;
  // The abscissa: a plain number, not kept.
  double ignored = 0;
  if (*at == '+' || *at == '-') ++at;
  if (!number(at, end, 1, true, &ignored)) return false;
  checking_ = check_next_;
  bool any = false;
  while (at < end) {
    const char c = *at;
    int digit = 0;
    double value = 0;
    if (c == ' ' || c == '\t' || c == ',' || c == ';') {
      ++at;
      continue;
    }
    any = true;
    if (c == '?') {
      ++at;
      if (!store(0, Form::missing)) return false;
    } else if (c == '+' || c == '-' || ap23_digit(c) || c == '.') {
      if (c == '+' || c == '-') ++at;
      if (!number(at, end, c == '-' ? -1 : 1, true, &value) || !store(value, Form::absolute)) return false;
    } else if (ap23_squeezed(c, &digit)) {
      ++at;
      if (!number(at, end, digit, false, &value) || !store(value, Form::absolute)) return false;
    } else if (ap23_differenced(c, &digit)) {
      ++at;
      if (last_ == Form::none || last_ == Form::missing) return false;
      if (!number(at, end, digit, false, &value)) return false;
      // A line without its Y check goes on from the last value.
      checking_ = false;
      difference_ = value;
      if (!store(previous_ + value, Form::difference)) return false;
    } else if (ap23_duplicated(c, &digit)) {
      ++at;
      uint64_t count = static_cast<uint64_t>(digit);
      while (at < end && ap23_digit(*at)) {
        count = count * 10 + static_cast<uint64_t>(*at++ - '0');
        if (count > most_ + 1ull) return false;
      }
      if (checking_ || !repeat(count)) return false;
    } else {
      return false;
    }
  }
  if (any) check_next_ = last_ == Form::difference;
  return true;
}

// The values handed to the spectrum, ascending in X, scaled by the Y
// factor. A table shorter than its header keeps the header's spacing from
// its first X (the error word says so); one longer has been refused.
bool ap23_set_values(ReadState* state, std::vector<float> values) {
  AP41_HEADERDATA* record = state->record;
  const uint32_t count = static_cast<uint32_t>(values.size());
  if (count < 2) {
    state->error = AP20_ERROR_DAMAGED;
    return false;
  }
  const float first_x = record->first_x;
  float last_x = record->last_x;
  if (count != record->points) {
    state->error = AP23_ERROR_POINT_COUNT;
    const double spacing = (static_cast<double>(last_x) - first_x) / (record->points - 1);
    last_x = static_cast<float>(first_x + spacing * (count - 1));
  }
  if (first_x > last_x) std::reverse(values.begin(), values.end());
  // A value the factor takes beyond a float's range is not held.
  for (float& value : values) {
    const float scaled = static_cast<float>(value * state->y_factor);
    if (std::isinf(scaled) || (std::isnan(scaled) && !std::isnan(value))) {
      state->error = AP20_ERROR_DAMAGED;
      return false;
    }
    value = scaled;
  }
  GU3_HANDLE block = GU3_Allocate_MM(count, sizeof(float), GU3_KIND_GLOBAL);
  auto* data = static_cast<float*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  if (data == nullptr) {
    GU3_Free_MM(block);
    return false;
  }
  std::copy(values.begin(), values.end(), data);
  if (!ap7b_SetDataHandle(state->spectrum, std::min(first_x, last_x), std::max(first_x, last_x), count, block)) {
    GU3_Free_MM(block);
    return false;
  }
  return true;
}

// Lines up to the end record; a table that meets another label or the
// file's end is not whole.
bool ap23_table_lines(ap25_LineReader* lines, ReadState* state, bool (*each)(void*, const std::string&),
                      void* context) {
  std::string line;
  while (lines->next(&line)) {
    if (ap23_holds_label(line)) {
      if (_stricmp(ap23_label(line).c_str(), "##END") != 0) {
        state->error = AP20_ERROR_DAMAGED;
        return false;
      }
      return true;
    }
    if (!each(context, line)) {
      state->error = AP20_ERROR_DAMAGED;
      return false;
    }
  }
  state->error = AP20_ERROR_SHORT_FILE;
  return false;
}

bool ap23_read_values(ap25_LineReader* lines, ReadState* state) {
  if (state->record->points < 2 || state->record->points > AP23_MOST_POINTS) {
    state->error = AP20_ERROR_DAMAGED;
    return false;
  }
  TableDecoder decoder(state->record->points);
  auto each = [](void* context, const std::string& line) { return static_cast<TableDecoder*>(context)->line(line); };
  if (!ap23_table_lines(lines, state, each, &decoder)) return false;
  return ap23_set_values(state, decoder.values());
}

// One pair a line: X up to the first separator, Y the rest.
struct PairsTable {
  uint32_t most;
  std::vector<float> x;
  std::vector<float> y;
};

bool ap23_pair_line(void* context, const std::string& line) {
  auto* table = static_cast<PairsTable*>(context);
  const char separators[] = {' ', '\t', ',', GUX_GetInternationalChar(GUX_LIST), '\0'};
  const size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos) return true;
  const size_t end = line.find_first_of(separators, start);
  if (end == std::string::npos) return false;
  std::string x_text = line.substr(start, end - start);
  size_t y_start = line.find_first_not_of(" \t", end);
  if (y_start != std::string::npos && std::strchr(separators, line[y_start]) != nullptr)
    y_start = line.find_first_not_of(" \t", y_start + 1);
  std::string y_text = y_start == std::string::npos ? std::string() : line.substr(y_start);
  if (GU4_IsNumber(x_text.c_str()) == GU4_NOT_A_NUMBER || GU4_IsNumber(y_text.c_str()) == GU4_NOT_A_NUMBER) return false;
  float x = 0;
  float y = 0;
  if (!ap23_float(x_text, &x) || !ap23_float(y_text, &y) || !std::isfinite(x) || !std::isfinite(y)) return false;
  if (table->x.size() >= table->most) return false;
  table->x.push_back(x);
  table->y.push_back(y);
  return true;
}

// Pairs resampled by the parabola through neighbouring pairs onto the
// grid of a multiple of 15798/32768 next to the pairs' spacing.
bool ap23_read_pairs(ap25_LineReader* lines, ReadState* state) {
  AP41_HEADERDATA* record = state->record;
  if (record->points < 2 || record->points > AP23_MOST_POINTS) {
    state->error = AP20_ERROR_DAMAGED;
    return false;
  }
  if (record->first_x > record->last_x) {
    const float first_x = record->last_x;
    record->last_x = record->first_x;
    record->first_x = first_x;
  }
  PairsTable table{record->points, {}, {}};
  if (!ap23_table_lines(lines, state, ap23_pair_line, &table) || table.x.size() < 2) return false;
  if (table.x.front() > table.x.back()) {
    std::reverse(table.x.begin(), table.x.end());
    std::reverse(table.y.begin(), table.y.end());
  }
  record->LaserFreq = kDefaultLaser;
  const float d = (record->last_x - record->first_x) * 0.95f / static_cast<float>(record->points - 1);
  float s = 0.125f;
  while (s <= 32.0f && s < d) s *= 2.0f;
  const float step = s * kDefaultLaser / 32768.0f;
  const double i0 = std::trunc(record->first_x / step + 0.9);
  const double i1 = std::trunc(record->last_x / step);
  const double x0 = i0 * step;
  const double grid = std::trunc((i1 * step - x0) / step + 1.5);
  if (!(grid >= 2 && grid <= AP23_MOST_POINTS)) {
    state->error = AP20_ERROR_DAMAGED;
    return false;
  }
  const auto count = static_cast<uint32_t>(grid);
  GU3_HANDLE block = GU3_Allocate_MM(count, sizeof(float), GU3_KIND_GLOBAL);
  auto* data = static_cast<float*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  if (data == nullptr) {
    GU3_Free_MM(block);
    return false;
  }
  ap25_QuadraticInterpolation curve(table.x, table.y);
  for (uint32_t k = 0; k < count; ++k)
    data[k] = static_cast<float>(curve.at(x0 + k * static_cast<double>(step)) * state->y_factor);
  const float last_x = static_cast<float>(x0 + (count - 1) * static_cast<double>(step));
  if (!ap7b_SetDataHandle(state->spectrum, static_cast<float>(x0), last_x, count, block)) {
    GU3_Free_MM(block);
    return false;
  }
  record->time = GU4_SystemTime();
  return true;
}

// The records up to the data label, which leaves the lines at the table;
// false when the file ends before it.
bool ap23_read_records(ap25_LineReader* lines, ReadState* state) {
  std::string record;
  std::string line;
  if (!lines->next(&record)) return false;
  for (;;) {
    const std::string label = ap23_label(record);
    if (ap23_holds_label(record) && (ap23_matches(label, "##XYDATA") || ap23_matches(label, "##RADATA"))) {
      state->pairs_table = ap23_matches(ap23_normal(ap23_value(record)), "(XY..XY)") &&
                           ap23_normal(ap23_value(record)).size() >= std::strlen("(XY..XY)");
      return true;
    }
    if (!lines->next(&line)) return false;
    if (!ap23_holds_label(line)) {
      if (record.size() < kMostRecord) record += ' ' + line;
      continue;
    }
    if (ap23_holds_label(record)) ap23_handle_record(state, record);
    record.swap(line);
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Format test, title and read

uint16_t ap23_FormatTest(AP_OBJECT* format) {
  AP20_FILE* file = ap23_file(format);
  if (file == nullptr || !ap20_Seek(file, 0, FILE_BEGIN)) return 0;
  ap25_LineReader lines(file);
  std::string line;
  if (!lines.next(&line) || line.size() >= kTestLine || _stricmp(ap23_label(line).c_str(), "##TITLE") != 0) return 0;
  if (!lines.next(&line)) return 0;
  if (!ap23_holds_label(line) && !lines.next(&line)) return 0;
  if (line.size() >= kTestLine || !ap23_holds_label(line)) return 0;
  return _stricmp(ap23_label(line).c_str(), "##JCAMPDX") == 0 ? 1 : 0;
}

// The text after the first line's "=", and the second line when it goes on
// with the title.
uint16_t ap23_GetTitle(AP_OBJECT* format, char* buffer) {
  AP20_FILE* file = ap23_file(format);
  if (file == nullptr || IsBadWritePtr(buffer, kMostText + 1) || !ap20_Seek(file, 0, FILE_BEGIN)) return 0;
  ap25_LineReader lines(file);
  std::string first;
  std::string second;
  if (!lines.next(&first) || !lines.next(&second)) return 0;
  const size_t equals = first.find('=');
  std::string title = equals == std::string::npos ? std::string() : first.substr(equals + 1);
  if (!ap23_holds_label(second)) title += second;
  capobj_StrCopyN(title.substr(0, kMostText).c_str(), buffer, kMostText + 1);
  return 1;
}

AP7_SPECTRUM* ap23_Read(AP_OBJECT* format) {
  AP20_FILE* file = ap23_file(format);
  if (file == nullptr || !ap20_Seek(file, 0, FILE_BEGIN)) return nullptr;
  ReadState state;
  state.spectrum = ap7a_NewInit(AP7_CLASS_ID, 0, nullptr);
  state.record = ap7a_record(state.spectrum);
  if (state.record == nullptr || ap7d_GetCommentObject(state.spectrum) == nullptr) {
    if (state.spectrum != nullptr) ap7a_Delete(state.spectrum, nullptr);
    return nullptr;
  }
  ap63_HeaderDefaults(state.record);
  ap25_LineReader lines(file);
  bool read = ap23_read_records(&lines, &state);
  if (!read) state.error = AP20_ERROR_SHORT_FILE;
  if (read && !ap23_finish_header(&state)) {
    read = false;
    state.error = AP20_ERROR_DAMAGED;
  }
  if (read) read = state.pairs_table ? ap23_read_pairs(&lines, &state) : ap23_read_values(&lines, &state);
  if (state.error != 0) ap20_SetFileError(file, state.error);
  if (!read) {
    ap7a_Delete(state.spectrum, nullptr);
    return nullptr;
  }
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(state.spectrum), AP41_HISTORY_FROM_JCAMP);
  if (const char* history = GU4_GetAssocString(AP23_HISTORY_GROUP, AP23_HISTORY_NUMBER, nullptr, nullptr))
    ap7d_AddHistoryText(state.spectrum, history);
  return state.spectrum;
}

// ---------------------------------------------------------------------------
// Write

namespace {

// Lines of a record are cut to this many characters before their CR LF.
constexpr size_t kMostLine = 78;
constexpr size_t kTitleInLine = 70;
constexpr size_t kOriginInLine = 69;
constexpr size_t kDescriptionLabel = 20;
constexpr size_t kDescriptionTitle = 58;
// The free layout's lines stay below this many characters; the fixed one
// holds this many values a line.
constexpr size_t kFreeLine = 78;
constexpr uint32_t kFixedValues = 8;
constexpr float kNearIRFactor = 1.0e6f;
constexpr char kNearIRFactorText[] = "0.000001";
constexpr float kMinutesFactor = 60.0f;
constexpr char kPublicDomain[] = "Public Domain";
constexpr char kMissingToken[] = "?";

bool ap23_near_ir() {
  char value[GU6_CONFIG_VALUE_LENGTH + 1] = {};
  return GU6_GetConfig(AP23_CONFIG_SECTION, AP23_NEAR_IR_KEY, value) != nullptr;
}

bool ap23_percent(uint32_t y_units) { return y_units == kPercentTransmittance || y_units == kPercentReflectance; }

// v, the largest magnitude in table units, and its power of ten; false
// when the values cannot be scaled (an infinite one, or a gain of 0).
bool ap23_y_factor(AP7_SPECTRUM* spectrum, const AP41_HEADERDATA* record, bool near_ir, float* factor) {
  float minimum = AP1_GetNaNSG_MATH();
  float maximum = AP1_GetNaNSG_MATH();
  ap7a_MinMax(spectrum, AP_NOT_GIVEN, AP_NOT_GIVEN, &minimum, &maximum);
  float v = std::max(std::fabs(minimum), std::fabs(maximum));
  if (ap23_percent(record->y_units)) v *= 0.01f;
  if (record->y_units == AP41_YUNITS_INTERFEROGRAM) v /= record->Gain;
  if (std::isinf(v) || (std::isnan(v) && !std::isnan(minimum))) return false;
  int32_t e = 1;
  if (v >= 1e-10f) {
    if (v <= 1.0f) {
      while (v < 0.1f) {
        --e;
        v *= 10.0f;
      }
    } else {
      while (v > 1.0f) {
        ++e;
        v /= 10.0f;
      }
    }
  }
  *factor = near_ir ? kNearIRFactor : static_cast<float>(std::pow(10.0, 10 - e));
  return true;
}

// What both writing steps take from the spectrum, checked before anything
// is written.
struct WriteFrame {
  AP20_FILE* file = nullptr;
  AP7_SPECTRUM* spectrum = nullptr;
  const AP41_HEADERDATA* record = nullptr;
  const float* y = nullptr;
  uint32_t n = 0;
  bool near_ir = false;
  bool interferogram = false;
  float k = 1.0f;        // X factor
  float dx = 0.0f;       // X step in X-factor units
  float s = 1.0f;        // retardation step
  uint32_t gap = 0;      // leading missing values
  float factor = 1.0f;   // F
  float scale = 1.0f;    // table value per Y value
  float minimum = 0.0f;  // of the present Y values
  float maximum = 0.0f;
};

// Y in the units the header gives: fractions for percentages, volts over
// the gain for an interferogram.
float ap23_converted(const WriteFrame& frame, float y) {
  if (ap23_percent(frame.record->y_units)) return y / 100.0f;
  if (frame.interferogram) return y / frame.record->Gain;
  return y;
}

bool ap23_frame(AP_OBJECT* format, AP_OBJECT* spectrum_object, WriteFrame* frame) {
  frame->file = ap23_file(format);
  frame->spectrum = ap7a_spectrum(spectrum_object);
  frame->record = ap7a_record(frame->spectrum);
  const AP41_HEADERDATA* record = frame->record;
  if (frame->file == nullptr || record == nullptr) return false;
  frame->y = ap7b_GetDataPtr(frame->spectrum);
  frame->n = record->points;
  if (frame->y == nullptr || frame->spectrum->data->columns < frame->n || frame->n < 2) return false;
  if (!std::isfinite(record->first_x) || !std::isfinite(record->last_x) ||
      (AP1_KovFloatCompareSG_MATH(record->first_x, 0.0f) && AP1_KovFloatCompareSG_MATH(record->last_x, 0.0f)))
    return false;
  frame->near_ir = ap23_near_ir();
  frame->interferogram = record->y_units == AP41_YUNITS_INTERFEROGRAM;
  frame->k = record->x_units == kMinutes ? kMinutesFactor : 1.0f;
  frame->dx = (record->last_x - record->first_x) / static_cast<float>(frame->n - 1) * frame->k;
  if (frame->interferogram) {
    frame->s = record->SSP * 10000.0f / (record->LaserFreq * 2.0f);
    if (!std::isfinite(frame->s) || !std::isfinite(record->LaserFreq) || !std::isfinite(record->SSP) ||
        !std::isfinite(1.0f / record->Gain))
      return false;
  }
  if (!std::isfinite(frame->dx) || !std::isfinite(frame->k * record->first_x) ||
      !std::isfinite(frame->k * record->last_x))
    return false;
  while (frame->gap < frame->n && std::isnan(frame->y[frame->gap])) ++frame->gap;
  if (frame->gap == frame->n || !ap23_y_factor(frame->spectrum, record, frame->near_ir, &frame->factor)) return false;
  float conversion = 1.0f;
  if (ap23_percent(record->y_units)) conversion = 0.01f;
  if (frame->interferogram) conversion = 1.0f / record->Gain;
  frame->scale = conversion * frame->factor;
  frame->minimum = frame->maximum = frame->y[frame->gap];
  for (uint32_t i = frame->gap; i < frame->n; ++i) {
    const float y = frame->y[i];
    if (std::isnan(y)) continue;
    if (!(std::fabs(y * frame->scale) < 2147483648.0f)) return false;
    frame->minimum = std::min(frame->minimum, y);
    frame->maximum = std::max(frame->maximum, y);
  }
  return true;
}

// A number in a printf format, with '.' as its decimal point.
std::string ap23_format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  GUX_ChangeInternatDecimalToUS(text);
  return text;
}

// "%.6E" with a three-digit exponent, as the platform's run-time writes it.
std::string ap23_exponent(double value) {
  char text[GU4_EXPONENT_TEXT_SIZE];
  gu4_FormatExponent(value, text);
  if (char* e = std::strchr(text, 'e')) *e = 'E';
  GUX_ChangeInternatDecimalToUS(text);
  return text;
}

std::string ap23_integer(int32_t value) {
  char text[16];
  GU4_ltoa(value, text, 10);
  return text;
}

bool ap23_put(AP20_FILE* file, std::string line) {
  line += "\r\n";
  return ap20_Write(file, line.data(), static_cast<uint32_t>(line.size())) == line.size();
}

bool ap23_put_record(AP20_FILE* file, const char* label, const std::string& value) {
  return ap23_put(file, std::string(label) + "=" + value);
}

const char* ap23_x_units(uint32_t code, bool interferogram) {
  switch (code) {
    case kWavenumbers:
    case 5:
    case 24:
    case 25:                 return "1/CM";
    case AP41_XUNITS_POINTS:
    case kMicrometres:       return interferogram ? "1/CM" : "MICROMETERS";
    case kNanometres:        return "NANOMETERS";
    case kMinutes:           return "SECONDS";
    case kUnknownX:          return "UNKNOWN";
    case kRamanShift:        return "RAMAN SHIFT(1/CM)";
    default:                 return "";
  }
}

// A percent reflectance is written as the reflectance it is: its values
// go out as fractions, as those of percent transmittance do.
const char* ap23_y_units(uint32_t code) {
  switch (code) {
    case kPercentTransmittance:
    case kTransmittance:      return "TRANSMITTANCE";
    case kPercentReflectance:
    case kReflectance:        return "REFLECTANCE";
    case kAbsorbance:         return "ABSORBANCE";
    case kKubelkaMunk:        return "KUBELKA MUNK";
    case kRamanIntensity:     return "RAMAN INTENSITY";
    default:                  return "ARBITRARY UNITS";
  }
}

const char* ap23_data_type(uint32_t y_units) {
  if (y_units == AP41_YUNITS_INTERFEROGRAM) return "INFRARED INTERFEROGRAM";
  return y_units == kRamanIntensity ? "RAMAN SPECTRUM" : "INFRARED SPECTRUM";
}

bool ap23_put_date(AP20_FILE* file, GU4_TIME time) {
  const GU4_CALTIME calendar = GU4_Timeout(time);
  const GU4_TM* broken = GU4_localtime(&calendar);
  const GU4_TM when = broken != nullptr ? *broken : GU4_TM{};
  char date[48];
  if (when.tm_year > 99) {
    std::snprintf(date, sizeof date, "%.4d/%.2d/%.2d", when.tm_year + 1900, when.tm_mon + 1, when.tm_mday);
  } else {
    std::snprintf(date, sizeof date, "%.2d/%.2d/%.2d", when.tm_year, when.tm_mon + 1, when.tm_mday);
  }
  char clock[48];
  std::snprintf(clock, sizeof clock, "%.2d:%.2d:%.2d", when.tm_hour, when.tm_min, when.tm_sec);
  return ap23_put_record(file, when.tm_year > 99 ? "##LONGDATE" : "##DATE", date) &&
         ap23_put_record(file, "##TIME", clock);
}

std::string ap23_sample_description(const std::string& title, float number) {
  std::string line = "##SAMPLEDESCRIPTION=";
  if (kDescriptionLabel + title.size() > kMostLine) return line + title.substr(0, kDescriptionTitle);
  line += title + "        $$" + ap23_format("%7.2f", number);
  return line.substr(0, kMostLine);
}

// The records from "##TITLE" to "##DATA PROCESSING" with its history lines.
bool ap23_put_opening(const WriteFrame& frame, float number) {
  AP20_FILE* file = frame.file;
  const AP41_HEADERDATA* record = frame.record;
  const std::string title(record->title, strnlen(record->title, sizeof record->title));
  char company[GU6_CONFIG_VALUE_LENGTH + 1] = {};
  const std::string origin =
      GU6_GetConfig(AP23_CONFIG_SECTION, AP23_COMPANY_KEY, company) != nullptr ? std::string(company) : kPublicDomain;
  if (!ap23_put_record(file, "##TITLE", title.substr(0, kTitleInLine)) ||
      !ap23_put_record(file, "##JCAMP-DX", "5.01  $$ Corvane v. " + ap23_integer(record->p42)) ||
      !ap23_put_record(file, "##DATATYPE", ap23_data_type(record->y_units)) ||
      !ap23_put_record(file, "##ORIGIN", origin.substr(0, kOriginInLine)) ||
      !ap23_put_record(file, "##OWNER", "Corvane") || !ap23_put_date(file, record->time))
    return false;
  if (frame.near_ir && !ap23_put(file, ap23_sample_description(title, number))) return false;
  if (!ap23_put_record(file, "##DATA PROCESSING", "")) return false;
  for (int16_t flag = 0; const char* text = ap7b_HistoryFlagText(flag); ++flag) {
    if (ap7b_TestHistoryFlag(reinterpret_cast<AP_OBJECT*>(frame.spectrum), flag) && !ap23_put(file, text))
      return false;
  }
  return true;
}

// The X of the first written point: the first X and one step for each
// leading missing value, added one by one as the table's lines are.
float ap23_first_written_x(const WriteFrame& frame) {
  float x = frame.k * frame.record->first_x;
  for (uint32_t i = 0; i < frame.gap; ++i) x += frame.dx;
  return x;
}

bool ap23_put_axes(const WriteFrame& frame) {
  AP20_FILE* file = frame.file;
  const AP41_HEADERDATA* record = frame.record;
  const bool ifg = frame.interferogram;
  const char* f6 = "%.6f";
  if (!ap23_put_record(file, "##XUNITS", ap23_x_units(record->x_units, ifg))) return false;
  if (ifg ? !ap23_put_record(file, "##RUNITS", "MICROMETERS") || !ap23_put_record(file, "##AUNITS", "VOLTS")
          : !ap23_put_record(file, "##YUNITS", ap23_y_units(record->y_units)))
    return false;
  const float first_written = ap23_first_written_x(frame);
  const float first_x = ifg ? 0.0f : first_written;
  float last_x = frame.k * record->last_x;
  if (ifg)
    last_x = AP1_KovFloatCompareSG_MATH(record->SSP, 0.0f) ? record->LaserFreq / 2.0f : record->LaserFreq / record->SSP;
  const uint32_t written = frame.n - frame.gap;
  if (!ap23_put_record(file, "##FIRSTX", ap23_format(f6, first_x)) ||
      !ap23_put_record(file, "##LASTX", ap23_format(f6, last_x)) ||
      !ap23_put_record(file, ifg ? "##FIRSTA" : "##FIRSTY", ap23_format(f6, ap23_converted(frame, frame.y[frame.gap]))))
    return false;
  if (ifg && (!ap23_put_record(file, "##FIRSTR", ap23_format(f6, frame.s * first_written)) ||
              !ap23_put_record(file, "##LASTR", ap23_format(f6, static_cast<float>(written - 1) * frame.s))))
    return false;
  if (!ifg && (!ap23_put_record(file, "##MAXX", ap23_format(f6, std::max(first_x, last_x))) ||
               !ap23_put_record(file, "##MINX", ap23_format(f6, std::min(first_x, last_x)))))
    return false;
  return ap23_put_record(file, ifg ? "##MAXA" : "##MAXY", ap23_format(f6, ap23_converted(frame, frame.maximum))) &&
         ap23_put_record(file, ifg ? "##MINA" : "##MINY", ap23_format(f6, ap23_converted(frame, frame.minimum))) &&
         ap23_put_record(file, ifg ? "##RFACTOR" : "##XFACTOR", ap23_format(f6, ifg ? frame.s : 1.0f)) &&
         ap23_put_record(file, ifg ? "##AFACTOR" : "##YFACTOR",
                         frame.near_ir ? kNearIRFactorText : ap23_exponent(1.0f / frame.factor)) &&
         ap23_put_record(file, "##NPOINTS", ap23_integer(static_cast<int32_t>(written))) &&
         ap23_put_record(file, ifg ? "##DELTAR" : "##DELTAX", ap23_format(f6, ifg ? frame.s : frame.dx)) &&
         (!ifg || (ap23_put_record(file, "##ALIAS", "1/" + ap23_format("%.0f", record->SSP)) &&
                   ap23_put_record(file, "##ZPD", ap23_integer(static_cast<int32_t>(record->FinalPeakPos))))) &&
         ap23_put_record(file, ifg ? "##RADATA" : "##XYDATA", ifg ? "(R++(A..A))" : "(X++(Y..Y))");
}

// The X that starts a table line: "%.3f", or in the fixed layout a whole
// number as "%4ld".
std::string ap23_x_text(float x, bool fixed) {
  const float whole = std::floor(x);
  if (fixed && std::fabs(whole) < 2147483648.0f && AP1_KovFloatCompareSG_MATH(x, whole)) {
    char text[16];
    std::snprintf(text, sizeof text, "%4ld", static_cast<long>(whole));
    return text;
  }
  return ap23_format("%.3f", x);
}

std::string ap23_token(float y, float scale, bool fixed) {
  if (std::isnan(y)) return fixed ? std::string("      ") + kMissingToken : kMissingToken;
  char text[16];
  std::snprintf(text, sizeof text, fixed ? "%7ld" : "%ld", static_cast<long>(static_cast<int32_t>(y * scale)));
  return text;
}

bool ap23_put_table(const WriteFrame& frame) {
  const bool fixed = frame.near_ir;
  float x = ap23_first_written_x(frame);
  std::string line = ap23_x_text(x, fixed) + " ";
  uint32_t count = 0;
  for (uint32_t i = frame.gap; i < frame.n; ++i) {
    const std::string token = ap23_token(frame.y[i], frame.scale, fixed);
    const bool fits = fixed ? ++count <= kFixedValues : line.size() + 1 + token.size() < kFreeLine;
    if (!fits) {
      if (!ap23_put(frame.file, line)) return false;
      count = 1;
      line = ap23_x_text(x, fixed) + " ";
    }
    line += token + " ";
    x += frame.dx;
  }
  return ap23_put(frame.file, line);
}

}  // namespace

float ap23_GetYFactor(AP_OBJECT* spectrum_object) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  const AP41_HEADERDATA* record = ap7a_record(spectrum);
  float factor = 1.0f;
  if (record == nullptr || !ap23_y_factor(spectrum, record, ap23_near_ir(), &factor)) return 1.0f;
  return factor;
}

uint16_t ap23_WriteHeader(AP_OBJECT* format, AP_OBJECT* spectrum, float number) {
  WriteFrame frame;
  if (!ap23_frame(format, spectrum, &frame)) return 0;
  return ap23_put_opening(frame, number) && ap23_put_axes(frame) ? 1 : 0;
}

// The end record follows the table whatever became of it.
uint16_t ap23_WriteData(AP_OBJECT* format, AP_OBJECT* spectrum) {
  WriteFrame frame;
  if (!ap23_frame(format, spectrum, &frame)) return 0;
  const bool table = ap23_put_table(frame);
  const bool end = ap23_put_record(frame.file, "##END", "");
  return table && end ? 1 : 0;
}

uint16_t ap23_Write(AP_OBJECT* format, AP_OBJECT* spectrum) {
  AP20_FILE* file = ap23_file(format);
  if (file == nullptr || !ap20_Seek(file, 0, FILE_BEGIN)) return 0;
  return ap23_WriteHeader(format, spectrum, 1.0f) && ap23_WriteData(format, spectrum) ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Class initialisation, termination and dispatcher

uint16_t ap23_InitClass(uint16_t class_id) {
  if (class_id != AP23_CLASS_ID) return 0;
  return apx_InitInstanceHeap(class_id, AP21_FORMAT_CELLS_PER_BLOCK, AP21_FORMAT_CELL_BYTES, "AP23");
}

uint16_t ap23_TermClass(uint16_t class_id) {
  if (class_id != AP23_CLASS_ID) return 0;
  return apx_FreeInstanceHeap(class_id);
}

APEXPORT uint32_t AP23_Dispatcher_JCAMP(void* object, uint16_t message, void* parameter) {
  const bool to_class = message == AP_MSG_CREATE || message == AP_MSG_NEW;
  AP_OBJECT* format = to_class ? nullptr : ap63_FormatObject(object, AP23_CLASS_ID);
  const auto* header = static_cast<const AP21_HEADERPARM*>(parameter);
  switch (message) {
    case AP21_FORMAT_TEST:       return ap23_FormatTest(format);
    case AP21_FORMAT_READ:       return ap_object_result(ap23_Read(format));
    case AP21_FORMAT_WRITE:      return ap23_Write(format, static_cast<AP_OBJECT*>(parameter));
    case AP23_MSG_TITLE:         return ap23_GetTitle(format, static_cast<char*>(parameter));
    case AP23_MSG_WRITE_HEADER:  return IsBadReadPtr(header, sizeof *header) ? 0 : ap23_WriteHeader(format, header->spectrum, header->value);
    case AP23_MSG_WRITE_DATA:    return ap23_WriteData(format, static_cast<AP_OBJECT*>(parameter));
    default:                     return ap63_FrameMessage(format, AP23_CLASS_ID, AP23_CLASS_NAME, message, parameter);
  }
}
