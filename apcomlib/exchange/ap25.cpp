// AP25 X-Y PAIRS_FILE: the format object of the X-Y pairs text file, one
// point a line: X, the list separator of the international settings, Y.
//
// Owns the class's instance heap; an object holds only its owner, the
// spectrum-file object (ap21.cpp) that opened the file, and answers the
// frame of ap63.cpp. The format test looks at the first line; the reader
// gives the file's pairs as a DATAPAIR object (class 9), which messages 168
// (a spectrum and its header from the pairs) and 250 (the pairs' values
// onto that spectrum's grid) turn into a spectrum. The writer writes a
// spectrum, or the part of it inside an X range, one line a point.
// Numbers are written and read with '.' as their decimal point, whatever
// the process locale.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "exchange/exchange.h"
#include "platform/memory.h"
#include "util/util.h"

namespace {

// The first line the format test looks at lies in this many bytes.
constexpr uint32_t kTestBytes = 79;
// "%e" of a float, with its three-digit exponent and the separator.
constexpr size_t kNumberSize = 32;

// Header values of a spectrum made from pairs.
constexpr uint32_t kWavenumbers = 1;
constexpr uint32_t kAbsorbance = 17;
constexpr float kDefaultLaser = 15798.0f;
constexpr double kFirstSpacing = 0.125;

AP20_FILE* ap25_file(AP_OBJECT* format) { return ap21_FormatFile(format); }

bool ap25_blank(char c) { return c == ' '; }

// "%e" as the library's run-time writes it (three exponent digits,
// 1.000000e+003), formatted without the process locale.
size_t ap25_format_number(float value, char* out) {
  auto [end, error] = std::to_chars(out, out + kNumberSize - 1, static_cast<double>(value),
                                    std::chars_format::scientific, 6);
  if (error != std::errc()) return 0;
  *end = '\0';
  char* exponent = std::strchr(out, 'e');
  if (exponent != nullptr && std::strlen(exponent) == 4) {
    std::memmove(exponent + 3, exponent + 2, 3);
    exponent[2] = '0';
    ++end;
  }
  return static_cast<size_t>(end - out);
}

// A number text as GU4_IsNumber accepts it, read with '.' as the decimal
// point; a text that does not read whole (a decimal comma, say) is none.
bool ap25_number(const char* text, float* value) {
  if (GU4_IsNumber(text) == GU4_NOT_A_NUMBER) return false;
  while (ap25_blank(*text) || *text == '\t') ++text;
  if (*text == '+') ++text;
  const char* end = text + std::strlen(text);
  double number = 0;
  const auto [stop, error] = std::from_chars(text, end, number);
  if (error != std::errc() || stop == text) return false;
  for (const char* rest = stop; rest != end; ++rest) {
    if (!ap25_blank(*rest) && *rest != '\t') return false;
  }
  *value = static_cast<float>(number);
  return true;
}

// Splits a line into its X and Y texts: X ends at the first list separator,
// tab or blank after the leading blanks; Y is what follows those.
bool ap25_split(std::string& line, char separator, const char** x, const char** y) {
  size_t start = 0;
  while (start < line.size() && ap25_blank(line[start])) ++start;
  size_t end = start;
  while (end < line.size() && line[end] != separator && line[end] != '\t' && !ap25_blank(line[end])) ++end;
  if (end == start || end == line.size()) return false;
  auto skip_blanks = [&](size_t at) {
    while (at < line.size() && (ap25_blank(line[at]) || line[at] == '\t')) ++at;
    return at;
  };
  size_t after = skip_blanks(end);
  if (after < line.size() && line[after] == separator) after = skip_blanks(after + 1);
  line[end] = '\0';
  *x = line.c_str() + start;
  *y = line.c_str() + after;
  return true;
}

// The pairs of a DATAPAIR object, read through its messages.
struct Pairs {
  std::vector<float> x;
  std::vector<float> y;
};

bool ap25_get_pairs(AP_OBJECT* pairs, Pairs* out) {
  if (gu2_ClassIdOf(pairs) != AP9_CLASS_ID) return false;
  const uint32_t count = GU2_DoMethod_MSG(AP9_MSG_GET_COUNT, pairs, nullptr);
  if (count == 0) return false;
  out->x.resize(count);
  out->y.resize(count);
  for (uint32_t index = 0; index < count; ++index) {
    uint16_t tag = 0;
    AP9_GETPARM parameter{index, &tag, &out->x[index], &out->y[index]};
    if (GU2_DoMethod_MSG(AP9_MSG_GET_PAIR, pairs, &parameter) == 0) return false;
  }
  return true;
}

bool ap25_set_pair(AP_OBJECT* pairs, uint32_t index, float x, float y) {
  AP9_SETPARM parameter{index, 0, x, y};
  return GU2_DoMethod_MSG(AP9_MSG_SET_PAIR, pairs, &parameter) != 0;
}

AP_OBJECT* ap25_new_pairs(const Pairs& pairs) {
  uint16_t class_id = AP9_CLASS_ID;
  AP9_NEWPARM parameter{static_cast<uint32_t>(pairs.x.size()), nullptr};
  auto* made = ap_result_object<AP_OBJECT>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &parameter));
  if (made == nullptr) return nullptr;
  for (uint32_t index = 0; index < pairs.x.size(); ++index) {
    if (!ap25_set_pair(made, index, pairs.x[index], pairs.y[index])) {
      ap20_DestroyObject(made);
      return nullptr;
    }
  }
  return made;
}

// One line of the writer: X and the separator, then Y or the missing text.
bool ap25_write_line(AP20_FILE* file, float x, float y, char separator) {
  char line[2 * kNumberSize + 4];
  size_t length = ap25_format_number(x, line);
  line[length++] = separator;
  if (std::isnan(y)) {
    std::memcpy(line + length, AP25_MISSING_TEXT, sizeof AP25_MISSING_TEXT - 1);
    length += sizeof AP25_MISSING_TEXT - 1;
  } else {
    length += ap25_format_number(y, line + length);
  }
  line[length++] = '\r';
  line[length++] = '\n';
  return ap20_Write(file, line, static_cast<uint32_t>(length)) == length;
}

}  // namespace

// ---------------------------------------------------------------------------
// Lines and interpolation, shared with the JCAMP-DX reader

bool ap25_LineReader::next(std::string* line) {
  line->clear();
  for (;;) {
    if (at_ == filled_) {
      filled_ = ap20_Read(file_, block_, sizeof block_);
      at_ = 0;
      if (filled_ == 0) break;
    }
    const char* begin = block_ + at_;
    const auto* end = static_cast<const char*>(std::memchr(begin, '\n', filled_ - at_));
    if (end != nullptr) {
      line->append(begin, end);
      at_ += static_cast<uint32_t>(end - begin) + 1;
      return finish(line);
    }
    line->append(begin, filled_ - at_);
    at_ = filled_;
  }
  if (line->empty()) return false;
  return finish(line);
}

bool ap25_LineReader::finish(std::string* line) {
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return true;
}

double ap25_QuadraticInterpolation::at(double x) {
  const size_t n = x_.size();
  if (n < 3) return n == 1 ? y_[0] : line_at(x);
  if (!started_ || x_[cursor_] < x) {
    while (x_[cursor_] < x && cursor_ < n - 2) ++cursor_;
    coefficients();
    started_ = true;
  }
  return x * (x * a_ + b_) + c_;
}

double ap25_QuadraticInterpolation::line_at(double x) const {
  const double h = static_cast<double>(x_[1]) - x_[0];
  if (AP1_KovFloatCompareDB_MATH(h, 0.0)) return y_[0];
  return y_[0] + (x - x_[0]) * (static_cast<double>(y_[1]) - y_[0]) / h;
}

void ap25_QuadraticInterpolation::coefficients() {
  const double x0 = x_[cursor_ - 1], x1 = x_[cursor_], x2 = x_[cursor_ + 1];
  const double y0 = y_[cursor_ - 1], y1 = y_[cursor_], y2 = y_[cursor_ + 1];
  const double h1 = x1 - x0, h2 = x2 - x1, d1 = y1 - y0, d2 = y2 - y1;
  const double denominator = h1 * h2 * (x0 - x2);
  if (AP1_KovFloatCompareDB_MATH(denominator, 0.0)) {
    a_ = b_ = 0.0;
  } else {
    a_ = (d1 * h2 - d2 * h1) / denominator;
    b_ = ((x1 + x0) * h1 * d2 - (x2 + x1) * h2 * d1) / denominator;
  }
  c_ = y1 - a_ * x1 * x1 - b_ * x1;
}

// ---------------------------------------------------------------------------
// Format test and read

uint16_t ap25_FormatTest(AP_OBJECT* format) {
  AP20_FILE* file = ap25_file(format);
  char text[kTestBytes + 1] = {};
  if (file == nullptr || !ap20_Seek(file, 0, FILE_BEGIN)) return 0;
  const uint32_t read = ap20_Read(file, text, kTestBytes);
  text[read] = '\0';
  text[std::strcspn(text, "\r\n")] = '\0';
  if (text[0] == '\0') return 0;
  const char separator = GUX_GetInternationalChar(GUX_LIST);
  const char* after_blanks = text + std::strspn(text, " ");
  if (std::strchr(text, separator) == nullptr && std::strchr(text, '\t') == nullptr &&
      std::strchr(after_blanks, ' ') == nullptr)
    return 0;
  const char delimiters[] = {' ', separator, '\t', '\0'};
  const char* first = GU4_StrTok(text, delimiters);
  const char* second = first != nullptr ? GU4_StrTok(nullptr, delimiters) : nullptr;
  return second != nullptr && GU4_IsNumber(first) != GU4_NOT_A_NUMBER && GU4_IsNumber(second) != GU4_NOT_A_NUMBER
             ? 1
             : 0;
}

// Lines that are not two numbers (headings, "#NaN" values) are passed
// over; a file without a pair gives null.
AP_OBJECT* ap25_Read(AP_OBJECT* format) {
  AP20_FILE* file = ap25_file(format);
  const uint32_t size = ap20_GetFileSize(file);
  if (file == nullptr || size == 0 || size == 0xFFFFFFFF || !ap20_Seek(file, 0, FILE_BEGIN)) return nullptr;
  const char separator = GUX_GetInternationalChar(GUX_LIST);
  Pairs pairs;
  ap25_LineReader lines(file);
  std::string line;
  while (lines.next(&line)) {
    const char* x_text = nullptr;
    const char* y_text = nullptr;
    float x = 0;
    float y = 0;
    if (!ap25_split(line, separator, &x_text, &y_text) || !ap25_number(x_text, &x) || !ap25_number(y_text, &y))
      continue;
    pairs.x.push_back(x);
    pairs.y.push_back(y);
  }
  return pairs.x.empty() ? nullptr : ap25_new_pairs(pairs);
}

// ---------------------------------------------------------------------------
// Write

// A spectrum with an infinite value or X limit is refused before anything
// is written: the format has no text for it that reads back.
uint16_t ap25_Write(AP_OBJECT* format, AP_OBJECT* spectrum_object) {
  AP20_FILE* file = ap25_file(format);
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  const AP41_HEADERDATA* record = ap7a_record(spectrum);
  const float* y = ap7b_GetDataPtr(spectrum);
  if (file == nullptr || record == nullptr || y == nullptr || spectrum->data->columns < record->points) return 0;
  const uint32_t points = record->points;
  if (std::isinf(record->first_x) || std::isinf(record->last_x) ||
      std::any_of(y, y + points, [](float value) { return std::isinf(value); }))
    return 0;
  const float spacing = points < 2 ? 1.0f : (record->last_x - record->first_x) / static_cast<float>(points - 1);
  const char separator = GUX_GetInternationalChar(GUX_LIST);
  for (uint32_t i = 0; i < points; ++i) {
    const float x = record->first_x + static_cast<float>(i) * spacing;
    if (!ap25_write_line(file, x, y[i], separator)) return 0;
  }
  return 1;
}

uint16_t ap25_WriteRange(AP_OBJECT* format, AP_OBJECT* spectrum_object, float x1, float x2) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  if (ap25_file(format) == nullptr || spectrum == nullptr) return 0;
  AP7_SPECTRUM* cut = ap7a_Duplicate(spectrum, nullptr);
  if (cut == nullptr) return 0;
  const uint16_t written =
      ap7b_ClampXRange(cut, &x1, &x2) > 0 && ap25_Write(format, reinterpret_cast<AP_OBJECT*>(cut)) ? 1 : 0;
  ap7a_Delete(cut, nullptr);
  return written;
}

// ---------------------------------------------------------------------------
// Spectra from pairs

// Pairs whose X step is exactly 1 count points (an interferogram); others
// are a spectrum in wavenumbers, reversed in the pairs when descending so
// that the spectrum always runs up.
AP7_SPECTRUM* ap25_HeaderFromPairs(AP_OBJECT* pairs) {
  Pairs values;
  if (!ap25_get_pairs(pairs, &values)) return nullptr;
  const uint32_t n = static_cast<uint32_t>(values.x.size());
  AP7_SPECTRUM* spectrum = ap7a_NewInit(AP7_CLASS_ID, n, nullptr);
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  if (record == nullptr) {
    if (spectrum != nullptr) ap7a_Delete(spectrum, nullptr);
    return nullptr;
  }
  record->time = n;
  record->first_x = record->HPF = values.x.front();
  record->last_x = record->LPF = values.x.back();
  record->title[0] = '\0';
  record->BenchID = 0;
  record->DetectorID = 20000;
  record->BeamSplitterID = 0;
  record->Gain = 1.0f;
  record->NumScans = 1;
  record->LaserFreq = kDefaultLaser;
  record->BKNumScans = 1;
  record->BKGain = 1.0f;
  record->SourceID = 0;
  float step = n > 1 ? values.x[1] - values.x[0] : 0.0f;
  if (step == 1.0f) {
    record->x_units = AP41_XUNITS_POINTS;
    record->y_units = AP41_YUNITS_INTERFEROGRAM;
    record->NumScanPts = n;
    record->SSP = 2.0f;
    record->PhaseCorrID = 0;
    record->ApodID = 0;
    uint32_t peak = 0;
    for (uint32_t i = 1; i < n; ++i) {
      if (std::fabs(values.y[i]) > std::fabs(values.y[peak])) peak = i;
    }
    record->FinalPeakPos = peak;
    record->p30 = static_cast<float>(peak);
    uint64_t transform = 1;
    while (transform <= n - peak) transform *= 2;
    record->NumTransformPts = static_cast<uint32_t>(transform);
    record->NumPostPeakPts = static_cast<uint32_t>(transform / 2);
    return spectrum;
  }
  record->x_units = kWavenumbers;
  record->y_units = kAbsorbance;
  record->PhaseCorrID = 1;
  record->ApodID = 1;
  if (step < 0.0f) {
    for (uint32_t i = 0; i < n; ++i) {
      if (!ap25_set_pair(pairs, i, values.x[n - 1 - i], values.y[n - 1 - i])) {
        ap7a_Delete(spectrum, nullptr);
        return nullptr;
      }
    }
    // The resampling runs over the limits kept in p14 and p15.
    record->first_x = record->HPF = values.x.back();
    record->last_x = record->LPF = values.x.front();
    step = -step;
  }
  double spacing = kFirstSpacing;
  while (spacing <= step && std::isfinite(spacing)) spacing *= 2.0;
  const float first_x = record->first_x;
  const float last_x = record->last_x;
  const float highest = std::max(first_x, last_x);
  record->SSP = highest > kDefaultLaser ? 0.5f : highest > kDefaultLaser / 2.0f ? 1.0f : 2.0f;
  record->NumPostPeakPts = static_cast<uint32_t>(std::trunc(16384.0 / (spacing * record->SSP) + 0.5));
  record->NumTransformPts = 2 * record->NumPostPeakPts;
  record->FinalPeakPos = record->NumPostPeakPts < static_cast<uint32_t>(std::trunc(8192.0 * record->SSP))
                             ? record->NumPostPeakPts
                             : 1024;
  record->p30 = static_cast<float>(record->FinalPeakPos);
  record->NumScanPts = record->FinalPeakPos + record->NumPostPeakPts;
  return spectrum;
}

// The pairs' values as the spectrum's data: a spectrum in wavenumbers is
// resampled onto the wanted number of points (header p2) from p14 to p15.
uint16_t ap25_DataFromPairs(AP_OBJECT* spectrum_object, AP_OBJECT* pairs) {
  AP7_SPECTRUM* spectrum = ap7a_spectrum(spectrum_object);
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  Pairs values;
  if (record == nullptr || !ap25_get_pairs(pairs, &values)) return 0;
  const uint32_t n = static_cast<uint32_t>(values.x.size());
  uint32_t count = n;
  float first_x = record->first_x;
  float last_x = record->last_x;
  if (record->x_units == kWavenumbers) {
    count = record->time;
    if (count == 0) return 0;
  }
  GU3_HANDLE block = GU3_Allocate_MM(count, sizeof(float), GU3_KIND_GLOBAL);
  auto* data = static_cast<float*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  if (data == nullptr) {
    GU3_Free_MM(block);
    return 0;
  }
  if (record->x_units == kWavenumbers) {
    const double low = record->HPF;
    const double step = count > 1 ? (static_cast<double>(record->LPF) - low) / (count - 1) : 0.0;
    ap25_QuadraticInterpolation curve(values.x, values.y);
    double x = low;
    for (uint32_t i = 0; i < count; ++i) {
      x = std::max(0.0, low + i * step);
      data[i] = static_cast<float>(curve.at(x));
    }
    first_x = static_cast<float>(low);
    last_x = static_cast<float>(x);
  } else {
    std::copy(values.y.begin(), values.y.end(), data);
    if (record->x_units == AP41_XUNITS_POINTS) {
      first_x = 0.0f;
      last_x = static_cast<float>(n - 1);
    }
  }
  if (!ap7b_SetDataHandle(spectrum, first_x, last_x, count, block)) {
    GU3_Free_MM(block);
    return 0;
  }
  record->time = GU4_SystemTime();
  record->HPF = 10.0f;
  record->LPF = 11000.0f;
  if (const char* history = GU4_GetAssocString(AP25_HISTORY_GROUP, AP25_HISTORY_NUMBER, nullptr, nullptr))
    ap7d_AddHistoryText(spectrum, history);
  return 1;
}

// ---------------------------------------------------------------------------
// Class initialisation, termination and dispatcher

uint16_t ap25_InitClass(uint16_t class_id) {
  if (class_id != AP25_CLASS_ID) return 0;
  return apx_InitInstanceHeap(class_id, AP21_FORMAT_CELLS_PER_BLOCK, AP21_FORMAT_CELL_BYTES, "AP25");
}

uint16_t ap25_TermClass(uint16_t class_id) {
  if (class_id != AP25_CLASS_ID) return 0;
  return apx_FreeInstanceHeap(class_id);
}

namespace {

uint32_t ap25_block_size(uint16_t message) {
  switch (message) {
    case AP25_MSG_WRITE_RANGE: return sizeof(AP21_RANGEPARM);
    case AP25_MSG_DATA_FROM_PAIRS: return sizeof(AP25_DATAPARM);
    case AP63_MSG_NO_EFFECT: return sizeof(AP25_WHICHPARM);
    default: return 0;
  }
}

}  // namespace

APEXPORT uint32_t AP25_Dispatcher_XYPAIRS(void* object, uint16_t message, void* parameter) {
  if (IsBadReadPtr(parameter, ap25_block_size(message))) return 0;
  const bool to_class = message == AP_MSG_CREATE || message == AP_MSG_NEW;
  AP_OBJECT* format = to_class ? nullptr : ap63_FormatObject(object, AP25_CLASS_ID);
  const auto* range = static_cast<const AP21_RANGEPARM*>(parameter);
  const auto* data = static_cast<const AP25_DATAPARM*>(parameter);
  auto* pairs = static_cast<AP_OBJECT*>(parameter);
  switch (message) {
    case AP21_FORMAT_TEST:          return format != nullptr ? ap25_FormatTest(format) : AP25_NOT_MINE;
    case AP21_FORMAT_READ:          return ap_object_result(ap25_Read(format));
    case AP21_FORMAT_WRITE:         return ap25_Write(format, static_cast<AP_OBJECT*>(parameter));
    case AP25_MSG_WRITE_RANGE:      return ap25_WriteRange(format, range->spectrum, range->x1, range->x2);
    case AP25_MSG_HEADER_FROM_PAIRS: return format != nullptr ? ap_object_result(ap25_HeaderFromPairs(pairs)) : 0;
    case AP25_MSG_DATA_FROM_PAIRS:  return format != nullptr ? ap25_DataFromPairs(data->spectrum, data->pairs) : 0;
    case AP21_FORMAT_TITLE:
    case AP20_MSG_SET_ERROR:        return 0;
    default:                        return ap63_FrameMessage(format, AP25_CLASS_ID, AP25_CLASS_NAME, message, parameter);
  }
}
