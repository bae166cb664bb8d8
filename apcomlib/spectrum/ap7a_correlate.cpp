// The concentration text of a spectrum and the correlation of two spectra.
//
// The concentration text lists the values of an ARRAY in the comment text as
// "Concs={...}c", each number with fewer decimals the larger it is. The
// correlation compares two spectra of one spacing over their common X range
// through cut copies of both: the coefficient of the values as they are,
// about their means or of the differences of points two apart, and a status
// code saying which check failed. AP7_Dispatcher_SPECTRUM calls these for
// messages 327 and 329.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/core.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

// Decimals of a concentration: the first limit its magnitude lies below
// gives them; larger values take none.
struct ap7a_decimals {
  double below;
  int decimals;
};
constexpr ap7a_decimals kConcentrationDecimals[] = {{1, 5}, {10, 4}, {100, 3}, {1000, 2}, {10000, 1}};

void ap7a_append_concentration(std::string& text, float value) {
  int decimals = 0;
  for (const ap7a_decimals& limit : kConcentrationDecimals) {
    if (std::isnan(value) || std::fabs(value) < limit.below) {
      decimals = limit.decimals;
      break;
    }
  }
  char number[64];
  const int written = std::snprintf(number, sizeof number, "%.*f", decimals, static_cast<double>(value));
  if (written > 0) text.append(number, std::min<size_t>(static_cast<size_t>(written), sizeof number - 1));
}

// The two spectra's shared stretch, lowest and highest X, whichever way each
// axis runs.
struct ap7a_span {
  float low;
  float high;
};

ap7a_span ap7a_span_of(const AP41_HEADERDATA& record) {
  return {std::min(record.first_x, record.last_x), std::max(record.first_x, record.last_x)};
}

bool ap7a_not_given(float x) { return AP1_KovFloatCompareSG_MATH(x, AP_NOT_GIVEN) != 0; }

// The coefficient of the cut values: mode 0 as they are, 1 about their
// means, 2 of the differences two points apart. 0 when no pair of present
// values takes part.
uint32_t ap7a_coefficient(const float* a, const float* b, uint32_t n, uint32_t mode, float* result) {
  const uint32_t step = mode == AP7_CORRELATE_DIFFERENCES ? 2 : 0;
  if (n <= step) return AP7_CORRELATION_NO_PAIRS;
  const auto usable = [&](uint32_t i) {
    return !std::isnan(a[i]) && !std::isnan(b[i]) && !std::isnan(a[i + step]) && !std::isnan(b[i + step]);
  };
  uint32_t pairs = 0;
  float sum_a = 0.0f;
  float sum_b = 0.0f;
  for (uint32_t i = 0; i + step < n; ++i) {
    if (!usable(i)) continue;
    ++pairs;
    sum_a += a[i];
    sum_b += b[i];
  }
  if (pairs == 0) return AP7_CORRELATION_NO_PAIRS;
  const float mean_a = mode == AP7_CORRELATE_CENTRED ? sum_a / static_cast<float>(pairs) : 0.0f;
  const float mean_b = mode == AP7_CORRELATE_CENTRED ? sum_b / static_cast<float>(pairs) : 0.0f;
  double ab = 0.0;
  double aa = 0.0;
  double bb = 0.0;
  for (uint32_t i = 0; i + step < n; ++i) {
    if (!usable(i)) continue;
    const double u = step != 0 ? double{a[i + step]} - a[i] : double{a[i]} - mean_a;
    const double v = step != 0 ? double{b[i + step]} - b[i] : double{b[i]} - mean_b;
    ab += u * v;
    aa += u * u;
    bb += v * v;
  }
  const bool flat_a = AP1_KovFloatCompareDB_MATH(aa, 0.0) != 0;
  const bool flat_b = AP1_KovFloatCompareDB_MATH(bb, 0.0) != 0;
  if (flat_a || flat_b) {
    *result = flat_a && flat_b ? 1.0f : 0.0f;
    return AP7_CORRELATION_DONE;
  }
  const double r2 = std::clamp(ab * ab / (aa * bb), 0.0, 1.0);
  *result = static_cast<float>(ab < 0 ? -std::sqrt(r2) : std::sqrt(r2));
  return AP7_CORRELATION_DONE;
}

}  // namespace

uint16_t ap7a_AddConcentrationText(AP7_SPECTRUM* spectrum, AP4_ARRAY* values) {
  if (ap7a_spectrum(spectrum) == nullptr || !ap4a_is_array(values)) return 0;
  const float* y = ap4a_GetDataAddress(values);
  const uint32_t count = values->columns;
  if (y == nullptr && count != 0) return 0;
  const char separator = GUX_GetInternationalChar(GUX_LIST);
  const char* comment = ap7d_GetCommentText(spectrum);
  std::string text;
  if (comment != nullptr && comment[0] != '\0' && comment[std::char_traits<char>::length(comment) - 1] != '\n')
    text = "\r\n";
  text += "Concs={";
  for (uint32_t i = 0; i < count; ++i) {
    ap7a_append_concentration(text, y[i]);
    text += separator;
  }
  text += "}c\r\n";
  return ap7d_AddCommentText(spectrum, text.c_str());
}

// The cut copies need not hold equally many points when the two grids are
// offset: only the points both hold are paired.
uint32_t ap7a_CorrelateSpectra(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other, uint32_t mode, float x1, float x2,
                               float* result) {
  const bool writable = !IsBadWritePtr(result, sizeof(float));
  if (writable) *result = 0.0f;
  const AP41_HEADERDATA* a = ap7a_record(ap7a_spectrum(spectrum));
  const AP41_HEADERDATA* b = ap7a_record(ap7a_spectrum(other));
  if (a == nullptr || b == nullptr) return AP7_CORRELATION_NOT_SPECTRA;
  if (!writable) return AP7_CORRELATION_NO_RESULT;
  if (mode > AP7_CORRELATE_DIFFERENCES) return AP7_CORRELATION_BAD_MODE;
  if (!AP1_KovFloatCompareSG_MATH(ap7b_GetXSpacing(spectrum), ap7b_GetXSpacing(other)))
    return AP7_CORRELATION_SPACINGS_DIFFER;
  const ap7a_span span_a = ap7a_span_of(*a);
  const ap7a_span span_b = ap7a_span_of(*b);
  const float low = std::max(span_a.low, span_b.low);
  const float high = std::min(span_a.high, span_b.high);
  if (!(low <= high)) return AP7_CORRELATION_NO_OVERLAP;
  if (ap7a_not_given(x1) || ap7a_not_given(x2)) {
    x1 = low;
    x2 = high;
  } else {
    if (x2 < x1) std::swap(x1, x2);
    if (!(x1 <= high && x2 >= low)) return AP7_CORRELATION_RANGE_OUTSIDE;
    x1 = std::max(x1, low);
    x2 = std::min(x2, high);
  }
  ap7a_new_spectrum cut_a(ap7a_NewFromRangeStrict(spectrum, x1, x2));
  ap7a_new_spectrum cut_b(ap7a_NewFromRangeStrict(other, x1, x2));
  const float* values_a = ap7b_GetDataPtr(cut_a.get());
  const float* values_b = ap7b_GetDataPtr(cut_b.get());
  if (values_a == nullptr || values_b == nullptr) return AP7_CORRELATION_CUT_FAILED;
  const uint32_t n = std::min({ap7a_record(cut_a.get())->points, ap7a_record(cut_b.get())->points,
                               cut_a.get()->data->columns, cut_b.get()->data->columns});
  if (n < 2) return AP7_CORRELATION_CUT_FAILED;
  return ap7a_coefficient(values_a, values_b, n, mode, result);
}
