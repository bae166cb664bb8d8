// Spectra from the columns of an array, and signal correction.
//
// The results of a factor analysis or a curve resolution come back as the
// columns of an ARRAY; each column becomes a spectrum like a template (its
// duplicate with the column as its values): a numbered spectrum, an
// eigenvector spectrum, or a pure-component spectrum scaled by its range.
// Signal correction brings one spectrum onto another by the least-squares
// slope and offset of the one on the other over their common region.
//
// Exported, and answered for messages 285 to 288 by ap7_AnalysisMessage,
// the spectrum the message was sent to being the template (or, for the
// correction, the spectrum corrected). Each returns a new spectrum that the
// caller owns; the inputs stay as they were.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/core.h"
#include "platform/memory.h"
#include "processing/processing.h"
#include "util/util.h"

namespace {

constexpr char kNumberFormat[] = "#%ld";
// A prefixed numbered title is cut to this many characters.
constexpr size_t kPrefixedTitleLength = 40;
// The correction needs this many points in common, and as many pairs that
// pass the value limits.
constexpr int32_t kFewestPairs = 3;

// A caller's text of at most a title's length, or null when none is given.
const char* ap7c_text(const char* text) {
  return text != nullptr && !IsBadStringPtrA(text, sizeof(AP41_HEADERDATA::title)) ? text : nullptr;
}

void ap7c_set_title(AP7_SPECTRUM* spectrum, const std::string& title) {
  AP41_HEADERDATA* record = ap7a_record(spectrum);
  capobj_StrCopyN(title.c_str(), record->title, sizeof record->title);
}

void ap7c_put(float* out, float value) {
  if (!IsBadWritePtr(out, sizeof(float))) *out = value;
}

}  // namespace

bool ap7c_format_takes(const char* format, const char* kinds) {
  constexpr char kLongKind = 'l';
  constexpr char kDoubleKind = 'f';
  constexpr char kTextKind = 's';
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') continue;
    ++p;
    if (*p == '%') continue;
    while (*p != '\0' && std::strchr("-+ #0", *p) != nullptr) ++p;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    if (*p == '.') {
      ++p;
      while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    }
    const bool is_long = *p == 'l';
    if (is_long) ++p;
    char kind = 0;
    if (is_long && (*p == 'd' || *p == 'i')) kind = kLongKind;
    if (*p != '\0' && std::strchr("feEgG", *p) != nullptr) kind = kDoubleKind;
    if (!is_long && *p == 's') kind = kTextKind;
    if (kind == 0 || *kinds != kind) return false;
    ++kinds;
  }
  return *kinds == '\0';
}

namespace {

// The text of the column-title group, or null when the resources lack it.
const char* ap7c_title_text(uint16_t number) {
  return GU4_GetAssocString(AP7_GROUP_COLUMN_TITLES, number, nullptr, nullptr);
}

std::string ap7c_number_text(uint32_t column) {
  char text[sizeof(AP41_HEADERDATA::title)];
  std::snprintf(text, sizeof text, kNumberFormat, static_cast<long>(column) + 1);
  return text;
}

// A duplicate of the template whose values are the column's; null unless
// the array is one, the column one of its columns and as long as the
// template's data (a shorter one would leave the template's own values
// behind it).
AP7_SPECTRUM* ap7c_NewFromColumn(AP7_SPECTRUM* spectrum, AP4_ARRAY* array, uint32_t column) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || !ap4a_is_array(array) || column >= array->columns)
    return nullptr;
  const float* source = ap4a_GetDataAddress(array);
  ap7a_new_spectrum made(ap7a_Duplicate(spectrum, nullptr));
  float* y = ap7b_GetDataPtr(made.get());
  if (source == nullptr || y == nullptr || array->rows != made.get()->data->columns) return nullptr;
  for (uint32_t r = 0; r < array->rows; ++r) y[r] = source[uint64_t{r} * array->columns + column];
  return made.release();
}

// The extremes of the column's present values in the new spectrum.
struct ap7c_extremes {
  float minimum;
  float maximum;
};

ap7c_extremes ap7c_extremes_of(const AP7_SPECTRUM* spectrum, uint32_t count) {
  const float* y = ap7b_GetDataPtr(spectrum);
  ap7c_extremes extremes{AP1_GetNaNSG_MATH(), AP1_GetNaNSG_MATH()};
  for (uint32_t i = 0; i < count; ++i) {
    if (ap1_is_missing(y[i])) continue;
    if (ap1_is_missing(extremes.minimum) || y[i] < extremes.minimum) extremes.minimum = y[i];
    if (ap1_is_missing(extremes.maximum) || y[i] > extremes.maximum) extremes.maximum = y[i];
  }
  return extremes;
}

// The point pairs of the correction that count: both present and, with
// the limits, both within low..high.
struct ap7c_pairs {
  const float* a;
  const float* b;
  int32_t count;
  bool limit;
  float low;
  float high;

  bool counts(int32_t i) const {
    const float x = a[i];
    const float y = b[i];
    if (ap1_is_missing(x) || ap1_is_missing(y)) return false;
    return !limit || (low <= x && x <= high && low <= y && y <= high);
  }
};

// The least-squares slope of A on B about their means, and the offset
// mean A - slope * mean B. False when too few pairs count.
bool ap7c_fit(const ap7c_pairs& pairs, double& slope, double& offset) {
  int32_t used = 0;
  double sum_a = 0.0;
  double sum_b = 0.0;
  for (int32_t i = 0; i < pairs.count; ++i) {
    if (!pairs.counts(i)) continue;
    ++used;
    sum_a += pairs.a[i];
    sum_b += pairs.b[i];
  }
  if (used < kFewestPairs) return false;
  const double mean_a = sum_a / used;
  const double mean_b = sum_b / used;
  double cross = 0.0;
  double spread = 0.0;
  for (int32_t i = 0; i < pairs.count; ++i) {
    if (!pairs.counts(i)) continue;
    const double centred_b = pairs.b[i] - mean_b;
    cross += (pairs.a[i] - mean_a) * centred_b;
    spread += centred_b * centred_b;
  }
  slope = spread != 0.0 ? cross / spread : 0.0;
  offset = mean_a - slope * mean_b;
  return true;
}

// The region of the correction inside the common X range of the two
// spectra, whichever way their axes run; false when it lies outside it.
bool ap7c_common_region(const AP41_HEADERDATA* a, const AP41_HEADERDATA* b, float& x1, float& x2) {
  const float a_first = a->first_x;
  const float a_last = a->last_x;
  const float b_first = b->first_x;
  const float b_last = b->last_x;
  const float low = std::max(std::min(a_first, a_last), std::min(b_first, b_last));
  const float high = std::min(std::max(a_first, a_last), std::max(b_first, b_last));
  if (ap1_not_given(x1)) {
    x1 = low;
    x2 = high;
  } else {
    if (x1 > x2) std::swap(x1, x2);
    x1 = std::max(x1, low);
    x2 = std::min(x2, high);
  }
  return x1 <= x2;
}

// The values of the common index range of a spectrum, when its data row
// holds them.
const float* ap7c_span(const AP7_SPECTRUM* spectrum, AP4_CELL first, int32_t count) {
  const float* y = ap7b_GetDataPtr(spectrum);
  if (y == nullptr || first.column < 0 || int64_t{first.column} + count > spectrum->data->columns) return nullptr;
  return y + first.column;
}

AP7_SPECTRUM* ap7c_correct(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float x1, float x2, int16_t scale, int16_t offset,
                           int16_t limit, float low, float high, float* slope_out, float* offset_out) {
  const AP41_HEADERDATA* ra = ap7a_record(ap7a_spectrum(a));
  const AP41_HEADERDATA* rb = ap7a_record(ap7a_spectrum(b));
  if (ra == nullptr || rb == nullptr || std::isnan(x1) || std::isnan(x2)) return nullptr;
  float spacing_a = 0.0f;
  float spacing_b = 0.0f;
  if (!ap7b_GetXSpacingOut(a, &spacing_a) || !ap7b_GetXSpacingOut(b, &spacing_b) ||
      !AP1_KovFloatCompareSG_MATH(spacing_a, spacing_b) || !ap7c_common_region(ra, rb, x1, x2))
    return nullptr;
  AP4_CELL first_a{};
  AP4_CELL last_a{};
  AP4_CELL first_b{};
  AP4_CELL last_b{};
  const int32_t k = ap7b_CommonIndexRange(a, &x1, &x2, &first_a, &last_a, b, &first_b, &last_b);
  if (k < kFewestPairs) return nullptr;
  const ap7c_pairs pairs{ap7c_span(a, first_a, k), ap7c_span(b, first_b, k), k, limit != 0, low, high};
  double slope = 0.0;
  double shift = 0.0;
  if (pairs.a == nullptr || pairs.b == nullptr || !ap7c_fit(pairs, slope, shift)) return nullptr;

  ap7a_new_spectrum result(ap7a_Duplicate(a, nullptr));
  if (result.get() == nullptr) return nullptr;
  if (offset) {
    ap7c_put(offset_out, static_cast<float>(shift));
    if (!ap7a_SubtractScalar(result.get(), AP_NOT_GIVEN, AP_NOT_GIVEN, static_cast<float>(shift))) return nullptr;
  }
  const auto s = static_cast<float>(slope);
  if (scale && !AP1_KovFloatCompareSG_MATH(s, 0.0f)) {
    ap7c_put(slope_out, s);
    if (!ap7a_MultiplyScalar(result.get(), AP_NOT_GIVEN, AP_NOT_GIVEN, static_cast<float>(1.0 / slope)))
      return nullptr;
  }
  return result.release();
}

}  // namespace

APEXPORT AP7_SPECTRUM* AP7_BuildNumberedSpectrum_SPECTRUM(AP7_SPECTRUM* spectrum, AP4_ARRAY* array, uint32_t column,
                                                          int16_t mode, const char* text) {
  ap7a_new_spectrum made(ap7c_NewFromColumn(spectrum, array, column));
  if (made.get() == nullptr) return nullptr;
  const char* given = ap7c_text(text);
  if (mode == AP7_NUMBERED_FORMAT) {
    const char* format = ap7c_title_text(AP7_TITLE_NUMBERED);
    if (format != nullptr && ap7c_format_takes(format, "l")) {
      char title[sizeof(AP41_HEADERDATA::title)];
      std::snprintf(title, sizeof title, format, static_cast<long>(column) + 1);
      ap7c_set_title(made.get(), title);
    }
  } else if (mode == AP7_NUMBERED_PREFIXED) {
    const char* prefix = ap7c_title_text(AP7_TITLE_NUMBERED_PREFIX);
    std::string title = std::string(prefix != nullptr ? prefix : "") + (given ? given : ap7c_number_text(column));
    ap7c_set_title(made.get(), title.substr(0, kPrefixedTitleLength));
  } else if (mode == AP7_NUMBERED_TEXT && given != nullptr) {
    ap7c_set_title(made.get(), given);
  } else {
    ap7c_set_title(made.get(), ap7c_number_text(column));
  }
  return made.release();
}

APEXPORT AP7_SPECTRUM* AP7_BuildEigenSpectrum_SPECTRUM(AP7_SPECTRUM* spectrum, AP4_ARRAY* array, uint32_t column,
                                                       float a, float b) {
  ap7a_new_spectrum made(ap7c_NewFromColumn(spectrum, array, column));
  if (made.get() == nullptr) return nullptr;
  const char* format = ap7c_title_text(AP7_TITLE_EIGENVECTOR);
  if (format != nullptr && ap7c_format_takes(format, "lff")) {
    char title[sizeof(AP41_HEADERDATA::title)];
    std::snprintf(title, sizeof title, format, static_cast<long>(column) + 1, double{a}, double{b});
    ap7c_set_title(made.get(), title);
  }
  return made.release();
}

APEXPORT AP7_SPECTRUM* AP7_BuildPureSpectrum_SPECTRUM(AP7_SPECTRUM* spectrum, AP4_ARRAY* array, uint32_t column,
                                                      const char* title, float* reference) {
  ap7a_new_spectrum made(ap7c_NewFromColumn(spectrum, array, column));
  if (made.get() == nullptr) return nullptr;
  const ap7c_extremes extremes = ap7c_extremes_of(made.get(), array->rows);
  const bool peaks_down = ap7d_GetPeakDirection(spectrum) == AP1_PEAKS_DOWN;
  float value = peaks_down ? extremes.maximum : extremes.minimum;
  const float range = extremes.maximum - extremes.minimum;
  if (!ap1_is_missing(range) && !AP1_KovFloatCompareSG_MATH(range, 0.0f)) {
    if (!ap7a_DivideScalar(made.get(), AP_NOT_GIVEN, AP_NOT_GIVEN, range)) return nullptr;
    value /= range;
  }
  ap7c_put(reference, value);
  if (const char* given = ap7c_text(title)) ap7c_set_title(made.get(), given);
  return made.release();
}

APEXPORT AP7_SPECTRUM* AP7_SignalCorrect_SPECTRUM(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float x1, float x2, int16_t scale,
                                                  int16_t offset, int16_t limit, float low, float high,
                                                  float* slope_out, float* offset_out) {
  ap7c_put(slope_out, 0.0f);
  ap7c_put(offset_out, 0.0f);
  AP7_SPECTRUM* result = ap7c_correct(a, b, x1, x2, scale, offset, limit, low, high, slope_out, offset_out);
  if (result == nullptr) {
    ap7c_put(slope_out, 0.0f);
    ap7c_put(offset_out, 0.0f);
  }
  return result;
}
