// The concentration text of a spectrum and the correlation of two spectra.
//
// The concentration text lists the values of an ARRAY in the comment text as
// "Concs={...}c", each number with fewer decimals the larger it is. The
// correlation compares two spectra of one spacing over their common X range
// through cut copies of both: the coefficient of the values as they are,
// about their means or of the differences of points two apart, and a status
// code saying which check failed; and the similarity index of two spectra,
// the size of the coefficient of their differences on a scale of 100.
// AP7_Dispatcher_SPECTRUM calls these for messages 327, 329 and 292.
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
  const float first_x = record.first_x;  // packed: read by value
  const float last_x = record.last_x;
  return {std::min(first_x, last_x), std::max(first_x, last_x)};
}

// The sums of products of the cut values over the pairs where all values
// taken are present: mode 0 the values as they are, 1 about their means,
// 2 the differences of points two apart.
struct ap7a_sums {
  uint32_t pairs = 0;
  double ab = 0.0;
  double aa = 0.0;
  double bb = 0.0;
};

ap7a_sums ap7a_sums_of(const float* a, const float* b, uint32_t n, uint32_t mode) {
  ap7a_sums sums;
  const uint32_t step = mode == AP7_CORRELATE_DIFFERENCES ? 2 : 0;
  if (n <= step) return sums;
  const auto usable = [&](uint32_t i) {
    return !std::isnan(a[i]) && !std::isnan(b[i]) && !std::isnan(a[i + step]) && !std::isnan(b[i + step]);
  };
  float sum_a = 0.0f;
  float sum_b = 0.0f;
  for (uint32_t i = 0; i + step < n; ++i) {
    if (!usable(i)) continue;
    ++sums.pairs;
    sum_a += a[i];
    sum_b += b[i];
  }
  if (sums.pairs == 0) return sums;
  const float mean_a = mode == AP7_CORRELATE_CENTRED ? sum_a / static_cast<float>(sums.pairs) : 0.0f;
  const float mean_b = mode == AP7_CORRELATE_CENTRED ? sum_b / static_cast<float>(sums.pairs) : 0.0f;
  for (uint32_t i = 0; i + step < n; ++i) {
    if (!usable(i)) continue;
    const double u = step != 0 ? double{a[i + step]} - a[i] : double{a[i]} - mean_a;
    const double v = step != 0 ? double{b[i + step]} - b[i] : double{b[i]} - mean_b;
    sums.ab += u * v;
    sums.aa += u * u;
    sums.bb += v * v;
  }
  return sums;
}

// The coefficient of the cut values in the mode; 0 when no pair of present
// values takes part.
uint32_t ap7a_coefficient(const float* a, const float* b, uint32_t n, uint32_t mode, float* result) {
  const ap7a_sums sums = ap7a_sums_of(a, b, n, mode);
  if (sums.pairs == 0) return AP7_CORRELATION_NO_PAIRS;
  const bool flat_a = AP1_KovFloatCompareDB_MATH(sums.aa, 0.0) != 0;
  const bool flat_b = AP1_KovFloatCompareDB_MATH(sums.bb, 0.0) != 0;
  if (flat_a || flat_b) {
    *result = flat_a && flat_b ? 1.0f : 0.0f;
    return AP7_CORRELATION_DONE;
  }
  const double r2 = std::clamp(sums.ab * sums.ab / (sums.aa * sums.bb), 0.0, 1.0);
  *result = static_cast<float>(sums.ab < 0 ? -std::sqrt(r2) : std::sqrt(r2));
  return AP7_CORRELATION_DONE;
}

// The common X range of two spectra, narrowed to x1..x2 when both are given:
// the correlation's status of that step.
uint32_t ap7a_common_range(const AP41_HEADERDATA& a, const AP41_HEADERDATA& b, float& x1, float& x2) {
  const ap7a_span span_a = ap7a_span_of(a);
  const ap7a_span span_b = ap7a_span_of(b);
  const float low = std::max(span_a.low, span_b.low);
  const float high = std::min(span_a.high, span_b.high);
  if (!(low <= high)) return AP7_CORRELATION_NO_OVERLAP;
  if (ap1_not_given(x1) || ap1_not_given(x2)) {
    x1 = low;
    x2 = high;
    return AP7_CORRELATION_DONE;
  }
  if (x2 < x1) std::swap(x1, x2);
  if (!(x1 <= high && x2 >= low)) return AP7_CORRELATION_RANGE_OUTSIDE;
  x1 = std::max(x1, low);
  x2 = std::min(x2, high);
  return AP7_CORRELATION_DONE;
}

// The points both the header and the data array of a spectrum hold; the
// packed fields are read by value.
uint32_t ap7a_held_points(const AP7_SPECTRUM* spectrum) {
  const uint32_t points = ap7a_record(spectrum)->points;
  const uint32_t columns = spectrum->data->columns;
  return std::min(points, columns);
}

// Copies of both spectra cut to x1..x2, and the points each holds.
struct ap7a_cut_pair {
  ap7a_new_spectrum a;
  ap7a_new_spectrum b;
  const float* values_a;
  const float* values_b;
  uint32_t points_a;
  uint32_t points_b;

  ap7a_cut_pair(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other, float x1, float x2)
      : a(ap7a_NewFromRangeStrict(spectrum, x1, x2)),
        b(ap7a_NewFromRangeStrict(other, x1, x2)),
        values_a(ap7b_GetDataPtr(a.get())),
        values_b(ap7b_GetDataPtr(b.get())),
        points_a(values_a != nullptr ? ap7a_held_points(a.get()) : 0),
        points_b(values_b != nullptr ? ap7a_held_points(b.get()) : 0) {}
};

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
  const uint32_t common = ap7a_common_range(*a, *b, x1, x2);
  if (common != AP7_CORRELATION_DONE) return common;
  const ap7a_cut_pair cut(spectrum, other, x1, x2);
  const uint32_t n = std::min(cut.points_a, cut.points_b);
  if (n < 2) return AP7_CORRELATION_CUT_FAILED;
  return ap7a_coefficient(cut.values_a, cut.values_b, n, mode, result);
}

// The square of the coefficient is taken whatever its sign; flat
// differences (a zero sum of squares) give no index rather than a quotient
// of zeros.
uint16_t ap7d_SimilarityIndex(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other, float x1, float x2, uint16_t sharpen,
                              float* index) {
  const bool writable = !IsBadWritePtr(index, sizeof(float));
  if (writable) *index = 0.0f;
  const AP41_HEADERDATA* a = ap7a_record(ap7a_spectrum(spectrum));
  const AP41_HEADERDATA* b = ap7a_record(ap7a_spectrum(other));
  if (a == nullptr || b == nullptr || !writable) return 0;
  if (ap7a_common_range(*a, *b, x1, x2) != AP7_CORRELATION_DONE) return 0;
  const ap7a_cut_pair cut(spectrum, other, x1, x2);
  if (cut.points_a == 0 || cut.points_a != cut.points_b) return 0;
  const ap7a_sums sums = ap7a_sums_of(cut.values_a, cut.values_b, cut.points_a, AP7_CORRELATE_DIFFERENCES);
  const double squares = sums.aa * sums.bb;
  if (sums.pairs == 0 || !(squares > 0.0)) return 0;
  double r = std::sqrt(std::min(sums.ab * sums.ab / squares, 1.0));
  if (sharpen != 0) r = (r + std::pow(r, 21)) / 2;
  *index = static_cast<float>(std::clamp(100.0 * r, 0.0, 100.0));
  return 1;
}
