// A stretch of a spectrum as one line of delimited text, for exchange with
// other programs, and such a line put back into a spectrum.
//
// The line is "count;first X;last X;y0;y1;...": the count right-aligned in
// 10 characters, every number right-aligned in 12 with 5 significant digits
// as the library's run-time writes them (three exponent digits). The writer
// separates with the list separator of the international settings, the
// reader splits at "," only, so a line written with any other separator does
// not read back. The reader lays the line's values evenly over its own X
// range and interpolates them, through a data-pair object, onto the
// spectrum's points where the two ranges overlap. AP7_Dispatcher_SPECTRUM
// calls both for messages 212 and 216.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

constexpr uint32_t kCountWidth = 10;
constexpr uint32_t kNumberWidth = 12;
constexpr int kSignificantDigits = 5;
// The count, the two X values and the separator after each.
constexpr uint32_t kLeadBytes = kCountWidth + 1 + 2 * (kNumberWidth + 1);
constexpr char kReadSeparator = ',';
// A text asks for at most as many values as a spectrum can hold.
constexpr int32_t kMostTextPoints = 500000;

// "%12.5g" as the library's run-time writes it: an exponent of at least
// three digits (1.2346e+004). 0 when the field does not fit the room left.
int ap7d_write_number(char* out, size_t room, float value) {
  char number[32];
  std::snprintf(number, sizeof number, "%.*g", kSignificantDigits, static_cast<double>(value));
  char* exponent = std::strchr(number, 'e');
  if (exponent != nullptr && std::strlen(exponent) == 4) {
    std::memmove(exponent + 3, exponent + 2, 3);  // the two digits and the NUL
    exponent[2] = '0';
  }
  const int written = std::snprintf(out, room, "%*s", static_cast<int>(kNumberWidth), number);
  return written > 0 && static_cast<size_t>(written) < room ? written : 0;
}

// The text of the spectrum's whole data; null on failure.
GU3_HANDLE ap7d_text_of(AP7_SPECTRUM* cut) {
  const AP41_HEADERDATA* record = ap7a_record(cut);
  const float* y = ap7b_GetDataPtr(cut);
  const uint32_t points = record->points;
  if (y == nullptr || points == 0 || points > AP7_TEXT_RANGE_POINTS || cut->data->columns < points) return nullptr;
  const uint32_t bytes = kLeadBytes + (points - 1) + kNumberWidth * points + 1;
  GU3_HANDLE text = GU3_Allocate_MM(bytes, 1, GU3_KIND_GLOBAL);
  char* out = text != nullptr ? static_cast<char*>(GU3_GetPointer_MM(text, 0, nullptr, nullptr)) : nullptr;
  if (out == nullptr) {
    if (text != nullptr) GU3_Free_MM(text);
    return nullptr;
  }
  // Every field leaves room for the terminator, so a separator always fits.
  const char separator = GUX_GetInternationalChar(GUX_LIST);
  size_t used = static_cast<size_t>(std::snprintf(out, bytes, "%*lu", static_cast<int>(kCountWidth),
                                                  static_cast<unsigned long>(points)));
  bool fits = used < bytes;
  const float lead[2] = {record->first_x, record->last_x};
  for (uint32_t field = 0; fits && field < 2 + points; ++field) {
    out[used++] = separator;
    const int written = ap7d_write_number(out + used, bytes - used, field < 2 ? lead[field] : y[field - 2]);
    used += static_cast<size_t>(written);
    fits = written > 0;
  }
  if (!fits) {
    GU3_Free_MM(text);
    return nullptr;
  }
  out[used] = '\0';
  return text;
}

// The fields of a range text, read as atol and atof read them; the text
// itself is never written to.
class ap7d_fields {
 public:
  explicit ap7d_fields(const char* text) : next_(text) {}

  // The next field, or null after the last one.
  const char* next() {
    const char* field = next_;
    if (field != nullptr) {
      const char* separator = std::strchr(field, kReadSeparator);
      next_ = separator != nullptr ? separator + 1 : nullptr;
    }
    return field;
  }

  bool next_count(int32_t& count) {
    const char* field = next();
    if (field == nullptr) return false;
    errno = 0;
    const long value = std::strtol(field, nullptr, 10);
    if (errno == ERANGE || value > INT32_MAX || value < INT32_MIN) return false;
    count = static_cast<int32_t>(value);
    return true;
  }

  bool next_value(float& value) {
    const char* field = next();
    if (field == nullptr) return false;
    value = std::strtof(field, nullptr);
    return true;
  }

 private:
  const char* next_;
};

// The values of the text laid evenly over x1..x2 (from the end when the
// range runs downward, so that the pairs ascend), evaluated at count even
// steps over start..end; null on failure.
AP4_ARRAY* ap7d_evaluate(ap7d_fields& fields, int32_t n, float x1, float x2, float start, float end, int32_t count) {
  AP9_DATAPAIR* pairs = ap9_New(AP9_CLASS_ID, static_cast<uint32_t>(n), nullptr);
  if (pairs == nullptr) return nullptr;
  const bool descending = x1 > x2;
  const double step = n > 1 ? (double{x2} - x1) / (n - 1) : 0.0;
  bool set = true;
  for (int32_t k = 0; set && k < n; ++k) {
    float y = 0.0f;
    if (!fields.next_value(y)) y = AP1_GetNaNSG_MATH();
    const auto index = static_cast<uint32_t>(descending ? n - 1 - k : k);
    set = ap9_SetPair(pairs, index, 0, static_cast<float>(x1 + k * step), y) != 0;
  }
  AP4_ARRAY* curve = set ? ap9_Interpolate(pairs, start, end, count, 0) : nullptr;
  ap9_Destroy(pairs, nullptr);
  return curve;
}

}  // namespace

GU3_HANDLE ap7d_RangeToText(AP7_SPECTRUM* spectrum, float x1, float x2) {
  AP7_SPECTRUM* cut = ap7a_NewFromRange(spectrum, x1, x2);
  if (cut == nullptr) return nullptr;
  GU3_HANDLE text = ap7d_text_of(cut);
  ap7a_Delete(cut, nullptr);
  return text;
}

uint16_t ap7d_RangeFromText(AP7_SPECTRUM* spectrum, const char* text) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || IsBadStringPtrA(text, UINT32_MAX)) return 0;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  ap7d_fields fields(text);
  int32_t n = 0;
  float x1 = 0.0f;
  float x2 = 0.0f;
  if (!fields.next_count(n) || !fields.next_value(x1) || !fields.next_value(x2)) return 0;
  if (n <= 0 || n > kMostTextPoints || !std::isfinite(x1) || !std::isfinite(x2)) return 0;
  float start = x1;
  float end = x2;
  AP4_CELL first{};
  AP4_CELL last{};
  const int32_t count = ap7b_XRangeToIndexRange(spectrum, &start, &end, &first, &last);
  if (count <= 0) return 0;
  // The pairs are evaluated upward; a spectrum whose axis runs downward takes
  // the values in reverse.
  const bool downward = start > end;
  AP4_ARRAY* curve = ap7d_evaluate(fields, n, x1, x2, downward ? end : start, downward ? start : end, count);
  if (curve == nullptr) return 0;
  float* values = ap4a_GetDataAddress(curve);
  if (downward && values != nullptr) std::reverse(values, values + curve->columns);
  const AP4_RANGE whole{AP4_INVALID_RANGE, AP4_INVALID_RANGE};
  const uint16_t copied = ap4a_CopyRangeTo(curve, whole, spectrum->data, first);
  ap4a_Delete(curve, nullptr);
  if (!copied) return 0;
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_FROM_TEXT);
  return 1;
}
