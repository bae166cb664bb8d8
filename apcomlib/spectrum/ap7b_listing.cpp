// The plain-text listing of a spectrum in an open file object, and the
// comparison of a spectrum with a reference for test and verification runs.
//
// The listing is one item per line, each ended by "\r\n": the point count,
// the X and Y unit codes, first and last X, header parameter 39, the
// interferogram peak position (p22), header parameter 30, then one "%e"
// value per point in stored order, "#VALUE!" for a missing one. Lines are
// read whole, up to 150 characters: the fixed-point lines are padded with
// blanks, so a line is never cut at a blank. A listing whose first X is
// above its last reads back with the two exchanged and the values reversed.
// The reader refuses a count of 0 or less, a count the rest of the file
// cannot hold, a line that is too long and a listing cut short.
//
// The comparison takes its reference as a spectrum, or reads it from the
// file that the next line of a list file names; a mismatch beyond 1/500 of
// the spectrum's largest magnitude writes the name and the spectrum's
// listing to the report file. AP7_Dispatcher_SPECTRUM calls these for
// messages 91 to 93.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/core.h"
#include "files/files.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

// The longest line the reader takes, its line feed included.
constexpr int16_t kLineLimit = 150;
constexpr char kMissingText[] = "#VALUE!";
constexpr char kLineEnd[] = "\r\n";
// Lines before the values, each at least its line feed long.
constexpr uint64_t kHeaderLines = 8;
// What the writer gathers before it hands text to the file.
constexpr size_t kWriteChunk = 64 * 1024;
// A reference may differ from the spectrum by this part of the spectrum's
// largest magnitude.
constexpr double kToleranceDivisor = 500.0;

bool ap7b_read_line(void* file, char (&line)[kLineLimit]) { return ap20_GetFileName(file, "\n", kLineLimit, line) != 0; }

// The leading whole number of a line, 0 when it holds none; values beyond
// 32 bits are held at the nearer end.
int32_t ap7b_integer_of(const char* line) {
  const long long value = std::strtoll(line, nullptr, 10);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

float ap7b_decimal_of(const char* line) { return static_cast<float>(std::strtod(line, nullptr)); }

float ap7b_value_of(const char* line) { return line[0] == '#' ? AP1_GetNaNSG_MATH() : ap7b_decimal_of(line); }

bool ap7b_read_integer(void* file, int32_t* value) {
  char line[kLineLimit];
  if (!ap7b_read_line(file, line)) return false;
  *value = ap7b_integer_of(line);
  return true;
}

bool ap7b_read_decimal(void* file, float* value) {
  char line[kLineLimit];
  if (!ap7b_read_line(file, line)) return false;
  *value = ap7b_decimal_of(line);
  return true;
}

// The header lines after the count, straight into the record.
bool ap7b_read_header(void* file, AP41_HEADERDATA& record) {
  int32_t x_units = 0;
  int32_t y_units = 0;
  float first_x = 0.0f;
  float last_x = 0.0f;
  float p39 = 0.0f;
  int32_t peak = 0;
  float p30 = 0.0f;
  if (!ap7b_read_integer(file, &x_units) || !ap7b_read_integer(file, &y_units) ||
      !ap7b_read_decimal(file, &first_x) || !ap7b_read_decimal(file, &last_x) || !ap7b_read_decimal(file, &p39) ||
      !ap7b_read_integer(file, &peak) || !ap7b_read_decimal(file, &p30))
    return false;
  record.x_units = static_cast<uint32_t>(x_units);
  record.y_units = static_cast<uint32_t>(y_units);
  record.first_x = first_x;
  record.last_x = last_x;
  record.p39 = p39;
  record.FinalPeakPos = static_cast<uint32_t>(peak);
  record.p30 = p30;
  return true;
}

// True when the rest of the file can hold that many more lines.
bool ap7b_room_for(void* file, uint64_t lines) {
  AP20_FILE* part = ap20_file(file);
  const uint32_t size = ap20_GetFileSize(part);
  const uint32_t position = ap20_GetPosition(part);
  return size != 0xFFFFFFFF && position != 0xFFFFFFFF && position <= size && lines <= size - position;
}

// "%10.4lf" of any value, however many digits it takes.
std::string ap7b_fixed(double value) {
  const int length = std::snprintf(nullptr, 0, "%10.4f", value);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), "%10.4f", value);
  text.resize(static_cast<size_t>(length));
  return text;
}

std::string ap7b_whole(uint32_t value) { return std::to_string(static_cast<int32_t>(value)); }

// Text gathered for a file and handed to it in chunks; the first write that
// falls short makes every later one fail.
class ap7b_text_writer {
 public:
  explicit ap7b_text_writer(void* file) : file_(file) {}
  void line(const std::string& text) { line(text.c_str()); }
  void line(const char* text) {
    pending_ += text;
    pending_ += kLineEnd;
    if (pending_.size() >= kWriteChunk) flush();
  }
  bool finish() {
    flush();
    return ok_;
  }

 private:
  void flush() {
    if (ok_ && !pending_.empty())
      ok_ = ap20_Write(file_, pending_.data(), static_cast<uint32_t>(pending_.size())) == pending_.size();
    pending_.clear();
  }
  void* file_;
  std::string pending_;
  bool ok_ = true;
};

void ap7b_log(const char* label, const char* name) { GU5_Message((std::string(label) + name).c_str()); }

// The reference spectrum read from the file that the list file's next line
// names, or null.
AP7_SPECTRUM* ap7b_read_listed(void* list) {
  char path[kLineLimit];
  return ap7b_read_line(list, path) ? ap7b_ReadSpectrumFile(path) : nullptr;
}

// D = spectrum - reference over the X extent they share, or null.
AP4_ARRAY* ap7b_difference(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* reference) {
  AP4_RANGE range{};
  AP4_RANGE reference_range{};
  if (ap7b_CommonPoints(spectrum, reference, &range, &reference_range) <= 0) return nullptr;
  return ap4a_SubtractArrays(spectrum->data, range, reference->data, reference_range);
}

bool ap7b_is_file(const void* object) { return gu2_ClassIdOf(object) == AP20_CLASS_ID; }

}  // namespace

AP7_SPECTRUM* ap7b_ReadText(uint16_t class_id, void* file) {
  if (class_id != AP7_CLASS_ID || !ap20_IsOpen(file)) return nullptr;
  int32_t points = 0;
  if (!ap7b_read_integer(file, &points) || points <= 0) return nullptr;
  const auto count = static_cast<uint32_t>(points);
  if (!ap7b_room_for(file, kHeaderLines - 1 + count)) return nullptr;
  ap7a_new_spectrum made(ap7a_NewInit(AP7_CLASS_ID, count, nullptr));
  AP41_HEADERDATA* record = ap7a_record(made.get());
  float* values = ap7b_GetDataPtr(made.get());
  if (record == nullptr || values == nullptr || !ap7b_read_header(file, *record)) return nullptr;
  const bool reversed = record->first_x > record->last_x;
  if (reversed) {
    const float first_x = record->first_x;
    record->first_x = record->last_x;
    record->last_x = first_x;
  }
  char line[kLineLimit];
  for (uint32_t i = 0; i < count; ++i) {
    if (!ap7b_read_line(file, line)) return nullptr;
    values[i] = ap7b_value_of(line);
  }
  if (reversed) {
    for (uint32_t i = 0, j = count - 1; i < j; ++i, --j) {
      const float value = values[i];
      values[i] = values[j];
      values[j] = value;
    }
  }
  return made.release();
}

uint16_t ap7b_WriteText(AP7_SPECTRUM* spectrum, void* file) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || !ap20_IsOpen(file)) return 0;
  const uint32_t points = record->points;
  const float* values = ap7b_GetDataPtr(spectrum);
  const uint32_t columns = spectrum->data != nullptr ? spectrum->data->columns : 0;
  if (values == nullptr || columns < points) return 0;
  ap7b_text_writer out(file);
  out.line(ap7b_whole(points));
  out.line(ap7b_whole(record->x_units));
  out.line(ap7b_whole(record->y_units));
  out.line(ap7b_fixed(record->first_x));
  out.line(ap7b_fixed(record->last_x));
  out.line(ap7b_fixed(record->p39));
  out.line(ap7b_whole(record->FinalPeakPos));
  out.line(ap7b_fixed(record->p30));
  char number[GU4_EXPONENT_TEXT_SIZE];
  for (uint32_t i = 0; i < points; ++i) {
    if (ap1_is_missing(values[i])) {
      out.line(kMissingText);
    } else {
      gu4_FormatExponent(values[i], number);
      out.line(number);
    }
  }
  return out.finish() ? 1 : 0;
}

uint16_t ap7b_CompareWithStored(AP7_SPECTRUM* spectrum, void* reference, uint16_t* error_count, void* report,
                                const char* name) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || error_count == nullptr || name == nullptr ||
      !ap7b_is_file(report) || (!ap7b_is_file(reference) && ap7a_spectrum(reference) == nullptr))
    return 0;
  const bool given = ap7a_spectrum(reference) != nullptr;
  const ap7a_new_spectrum read(given ? nullptr : ap7b_read_listed(reference));
  AP7_SPECTRUM* stored = given ? static_cast<AP7_SPECTRUM*>(reference) : read.get();
  const ap4a_new_array difference(stored != nullptr ? ap7b_difference(spectrum, stored) : nullptr);
  if (difference.get() == nullptr) {
    ++*error_count;
    ap7b_log("\tUnable to perform comparison for ", name);
    return 0;
  }
  constexpr AP4_RANGE whole = AP4_WHOLE_RANGE;
  float low = 0.0f;
  float high = 0.0f;
  ap4a_MinMax(spectrum->data, whole, &low, &high);
  const double tolerance = std::fmax(std::fabs(low), std::fabs(high)) / kToleranceDivisor;
  ap4a_MinMax(difference.get(), whole, &low, &high);
  if (!(std::fabs(low) > tolerance) && !(std::fabs(high) > tolerance)) return 1;
  ap20_Write(report, name, static_cast<uint32_t>(std::strlen(name)));
  ap7b_WriteText(spectrum, report);
  ++*error_count;
  ap7b_log("\tError on ", name);
  return 0;
}
