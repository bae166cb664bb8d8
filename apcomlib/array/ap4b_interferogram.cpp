// The interferogram toolkit of the ARRAY class: the operations that turn a
// measured interferogram, held as a one-row array, into a spectrum.
// Lengthening or shortening to a power of two followed by the transform,
// apodization around the centre burst (plain, or over the segment left when
// the zero padding at both ends is trimmed), the Fourier transform in its
// real and complex forms, the phase array of an interferogram, phase
// correction of a transformed one and Fourier self-deconvolution of a
// spectral range.
//
// AP4_Dispatcher_ARRAY calls these for messages 71 to 76; the spectrum
// layer chains them (phase array, apodize, transform, phase-correct) and
// calls the trimmed apodization for the benches that pad their
// interferograms. The numeric kernels (FFT passes, windows, ramp, the
// rotation of the centre burst) live in their own modules; this one fixes
// their order, arguments and data layout. After a forward real transform
// the row holds the real parts in its first half and the imaginary parts in
// its second half.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "array/array.h"
#include "chemometrics/chemometrics.h"

namespace {

// Transform lengths that message 75 takes: 2^4 to 2^18 points.
constexpr uint16_t kSmallestOrder = 4;
constexpr uint16_t kLargestOrder = 18;
// A one-sided segment whose right part exceeds its left by fewer points than
// this is cut to a symmetric one.
constexpr int64_t kOneSidedMargin = 6;

// The single-precision pi/2, pi and 2 pi of the phase arithmetic.
constexpr float kHalfPi = 1.5707963f;
constexpr float kPi = 3.1415927f;
constexpr float kTwoPi = 6.2831855f;

// Self-deconvolution: the largest half length, the narrowest half width,
// the window factors of modes 1 and 2 and of every other mode.
constexpr uint32_t kLargestHalf = 16384;
constexpr float kNarrowestWidth = 0.005f;
constexpr uint16_t kDeconvolutionModes = 8;
constexpr float kSincWindowFactor = 2.2598f;
constexpr float kSincSquaredFactor = 2.174f;
constexpr float kCosineFactor = 2.0f;

bool ap4b_one_row(const AP4_ARRAY* array) { return ap4a_is_array(array) && array->rows == 1; }

bool ap4b_order_transforms(uint32_t k) { return k >= kSmallestOrder && k <= kLargestOrder; }

// log2 of a transformable length, or 0.
uint16_t ap4b_order_of(uint32_t length) {
  for (uint16_t k = kSmallestOrder; k <= kLargestOrder; ++k)
    if (length == uint32_t{1} << k) return k;
  return 0;
}

// The optional ramp, then the window of the kind, over n points with the
// centre c (0 <= c < n).
void ap4b_weight(float* data, uint32_t n, int32_t c, int16_t kind, bool ramp) {
  if (ramp) ap4c_RampSingleSided(data, static_cast<int32_t>(n), static_cast<uint32_t>(c));
  switch (static_cast<uint16_t>(kind)) {
    case AP4_APODIZE_NONE: break;
    case AP4_APODIZE_TRIANGLE: ap4c_ApodizeTriangle(data, n, c); break;
    case AP4_APODIZE_NORTON_BEER_WEAK: ap4c_ApodizeNortonBeerWeak(data, n, c); break;
    case AP4_APODIZE_NORTON_BEER_MEDIUM: ap4c_ApodizeNortonBeerMedium(data, n, c); break;
    case AP4_APODIZE_NORTON_BEER_STRONG: ap4c_ApodizeNortonBeerStrong(data, n, c); break;
    case AP4_APODIZE_COSINE: ap4c_ApodizeCosine(data, static_cast<int32_t>(n), c); break;
    case AP4_APODIZE_BLACKMAN_HARRIS: ap4c_ApodizeBlackmanHarris(data, static_cast<int32_t>(n), c); break;
    default: ap4c_ApodizeHamming(data, static_cast<int32_t>(n), c); break;
  }
}

// Removes the second half of a row, the imaginary parts once the first half
// holds the result.
bool ap4b_drop_second_half(AP4_ARRAY* array) {
  const uint32_t half = array->columns / 2;
  return ap4a_DeleteColumns(array, static_cast<int32_t>(half), static_cast<int32_t>(array->columns - half)) != 0;
}

// Point H + j becomes a copy of point H - j (j = 1 ... H - 1); point H
// stays as it is.
void ap4b_mirror(float* row, uint32_t half) {
  for (uint32_t j = 1; j < half; ++j) row[half + j] = row[half - j];
}

// The range of a copy of the array with its gaps filled, less the straight
// line through the range's first and last values; null when it cannot be
// had.
AP4_ARRAY* ap4b_detrended(const AP4_ARRAY* array, AP4_RANGE range, uint32_t n) {
  ap4a_new_array copy(ap4a_Duplicate(const_cast<AP4_ARRAY*>(array), nullptr));
  if (copy.get() == nullptr || !ap4b_FillNaNGaps(copy.get())) return nullptr;
  ap4a_new_array extracted(ap4a_ExtractRange(copy.get(), range));
  float* d = extracted.get() != nullptr ? ap4a_GetDataAddress(extracted.get()) : nullptr;
  if (d == nullptr || extracted.get()->columns != n) return nullptr;
  const float first = d[0];
  const float slope = n > 1 ? (d[n - 1] - first) / static_cast<float>(n - 1) : 0.0f;
  for (uint32_t i = 0; i < n; ++i) d[i] -= first + slope * static_cast<float>(i);
  return extracted.release();
}

// The row's sum over its present values.
float ap4b_sum(const AP4_ARRAY* row) {
  float sum = 0.0f;
  ap4a_Sum(row, AP4_WHOLE_RANGE, AP_NOT_GIVEN, &sum);
  return sum;
}

}  // namespace

uint16_t ap4b_FFT(AP4_ARRAY* array, int16_t direction, int16_t kind) {
  if (!ap4b_one_row(array)) return 0;
  const uint32_t n = array->columns;
  const uint16_t k = ap4b_order_of(n);
  float* values = ap4a_GetDataAddress(array);
  if (k == 0 || values == nullptr) return 0;
  const bool forward_real = direction != 0 && kind == AP4C_FFT_FORWARD;
  const bool interleave = direction != 0 && !forward_real;
  // The interleave's block is had before anything changes.
  GU3_HANDLE block = interleave ? GU3_Allocate_MM(n, sizeof(float), GU3_KIND_GLOBAL) : nullptr;
  auto* scratch = static_cast<float*>(GU3_GetPointer_MM(block, 0, nullptr, nullptr));
  if (interleave && scratch == nullptr) {
    GU3_Free_MM(block);
    return 0;
  }
  {
    ap4a_change_bracket bracket(array);
    if (!bracket.begun()) {
      GU3_Free_MM(block);
      return 0;
    }
    float* second = values + n / 2;
    if (forward_real) {
      ap4c_BitReverse(values, static_cast<int16_t>(k));
      ap4c_ComplexFFT(values, static_cast<int16_t>(k - 1), AP4C_FFT_FORWARD);
      ap4c_RealSpectrumPass(values, static_cast<int16_t>(k), AP4C_FFT_FORWARD);
    } else {
      if (interleave) ap4c_RealSpectrumPass(values, static_cast<int16_t>(k), kind);
      ap4c_BitReverse(values, static_cast<int16_t>(k - 1));
      ap4c_BitReverse(second, static_cast<int16_t>(k - 1));
      ap4c_ComplexFFT(values, static_cast<int16_t>(k - 1), kind);
    }
    if (interleave) {
      for (uint32_t i = 0; i < n / 2; ++i) {
        scratch[2 * i] = values[i];
        scratch[2 * i + 1] = second[i];
      }
      std::memcpy(values, scratch, n * sizeof(float));
    }
  }
  GU3_Free_MM(block);
  return 1;
}

uint16_t ap4b_ResizeRow(AP4_ARRAY* array, uint16_t k, int32_t centre) {
  if (!ap4b_one_row(array) || !ap4b_order_transforms(k)) return 0;
  const uint32_t length = uint32_t{1} << k;
  // The centre burst is rotated to point 0, so it must lie in the new row.
  if (centre < 0 || static_cast<uint32_t>(centre) > length) return 0;
  const float* old_values = ap4a_GetDataAddress(array);
  if (old_values == nullptr) return 0;
  ap4a_change_bracket bracket(array);
  if (!bracket.begun()) return 0;
  const uint32_t n = array->columns;
  if (length > n) {
    // The padding runs from the last value back towards the first, so that
    // the row joins up again once the centre is rotated to point 0.
    const float first = old_values[0];
    const float last = old_values[n - 1];
    const uint32_t added = length - n;
    if (ap4a_InsertColumns(array, static_cast<int32_t>(n), static_cast<int32_t>(added)) == 0) return 0;
    float* values = ap4a_GetDataAddress(array);
    if (values == nullptr) return 0;
    const auto divisor = static_cast<float>(added + 1);
    for (uint32_t j = 1; j <= added; ++j) values[n - 1 + j] = last - static_cast<float>(j) * (last - first) / divisor;
  } else if (ap4a_DeleteColumns(array, static_cast<int32_t>(length), static_cast<int32_t>(n - length)) == 0) {
    return 0;
  }
  if (ap4c_PrepareFFTBuffer(array, static_cast<uint32_t>(centre)) == 0) return 0;
  return ap4b_FFT(array, 1, AP4C_FFT_FORWARD);
}

uint16_t ap4b_Apodize(AP4_ARRAY* array, int16_t kind, int16_t ramp, int32_t centre) {
  if (!ap4b_one_row(array)) return 0;
  const uint32_t n = array->columns;
  float* values = ap4a_GetDataAddress(array);
  if (values == nullptr || centre < 0 || static_cast<uint32_t>(centre) > n / 2) return 0;
  ap4a_change_bracket bracket(array);
  if (!bracket.begun()) return 0;
  ap4b_weight(values, n, centre, kind, ramp != 0);
  return 1;
}

uint16_t ap4b_ApodizeTrimmed(AP4_ARRAY* array, int16_t kind, int16_t ramp, uint32_t /*unused*/, int32_t centre) {
  if (!ap4b_one_row(array)) return 0;
  const int64_t n = array->columns;
  float* values = ap4a_GetDataAddress(array);
  if (values == nullptr || centre < 0 || centre >= n) return 0;
  // Zeros are trimmed up to the centre on either side, never past it, so the
  // centre stays inside the segment.
  int64_t start = 0;
  while (start < centre && values[start] == 0.0f) ++start;
  int64_t end = n - 1;
  while (end > centre && values[end] == 0.0f) --end;
  int64_t length = end - start + 1;
  int64_t c = centre - start;
  int64_t zero_from = 0, zero_count = 0;
  if (c > length - c) {
    // Centre in the right part: drop the left excess so it sits in the middle.
    zero_from = start;
    zero_count = 2 * c - length;
    start += zero_count;
    length -= zero_count;
    c -= zero_count;
  } else if (c < length - c && (length - c) - c < kOneSidedMargin) {
    // Nearly symmetric: cut the right excess. A centre at the segment's
    // first point would leave nothing to weight.
    if (c == 0) return 0;
    zero_from = start + 2 * c;
    zero_count = length - 2 * c;
    length = 2 * c;
  }
  ap4a_change_bracket bracket(array);
  if (!bracket.begun()) return 0;
  for (int64_t i = 0; i < zero_count; ++i) values[zero_from + i] = 0.0f;
  ap4b_weight(values + start, static_cast<uint32_t>(length), static_cast<int32_t>(c), kind,
              ramp != 0 && c != length / 2);
  return 1;
}

AP4_ARRAY* ap4b_Phase(const AP4_ARRAY* array, int32_t length, uint16_t k, uint16_t kind, int32_t centre,
                      uint16_t mode) {
  if (!ap4b_one_row(array) || !ap4b_order_transforms(k)) return nullptr;
  const int64_t columns = array->columns;
  const int64_t transform_length = int64_t{1} << k;
  if (length < 1 || length > columns || length > transform_length) return nullptr;
  const int32_t half = length / 2;
  // The segment centre - half .. centre - half + length - 1 must lie in the row.
  if (centre < half || int64_t{centre} - half + length > columns) return nullptr;
  const AP4_RANGE segment_range{{0, centre - half}, {0, centre - half + length - 1}};
  ap4a_new_array segment(ap4a_ExtractRange(array, segment_range));
  if (segment.get() == nullptr || ap4b_Apodize(segment.get(), static_cast<int16_t>(kind), 0, half) == 0 ||
      ap4b_ResizeRow(segment.get(), k, half) == 0)
    return nullptr;
  float* values = ap4a_GetDataAddress(segment.get());
  if (values == nullptr) return nullptr;
  const uint32_t points = segment.get()->columns / 2;
  for (uint32_t i = 0; i < points; ++i) {
    const float re = values[i];
    const float im = values[points + i];
    if (mode != AP4_PHASE_FOUR_QUADRANT)
      values[i] = re == 0.0f ? kHalfPi : static_cast<float>(std::atan(double{im} / re));
    else
      values[i] = static_cast<float>(std::atan2(double{im}, double{re}));
  }
  if (!ap4b_drop_second_half(segment.get())) return nullptr;
  return segment.release();
}

uint16_t ap4b_PhaseCorrect(AP4_ARRAY* array, int16_t mode, const AP4_ARRAY* phase) {
  if (!ap4b_one_row(array) || array->columns < 2) return 0;
  float* values = ap4a_GetDataAddress(array);
  if (values == nullptr) return 0;
  const uint32_t half = array->columns / 2;
  const float* im = values + half;
  if (mode == AP4_PHASE_MAGNITUDE) {
    ap4a_change_bracket bracket(array);
    if (!bracket.begun()) return 0;
    for (uint32_t i = 0; i < half; ++i)
      values[i] = static_cast<float>(std::sqrt(double{values[i]} * values[i] + double{im[i]} * im[i]));
    return ap4b_drop_second_half(array) ? 1 : 0;
  }
  if (!ap4b_one_row(phase)) return 0;
  const uint32_t m = phase->columns;
  // Each phase point covers s points of the spectrum; more phase points
  // than spectrum points would give a step of 0.
  const uint32_t s = half / m;
  const float* p = ap4a_GetDataAddress(phase);
  if (s == 0 || p == nullptr) return 0;
  ap4a_change_bracket bracket(array);
  if (!bracket.begun()) return 0;
  auto rotate = [values, im](uint32_t i, float angle) {
    values[i] = static_cast<float>(std::cos(double{angle}) * values[i] + std::sin(double{angle}) * im[i]);
  };
  for (uint32_t j = 0; j + 1 < m; ++j) {
    float d = p[j + 1] - p[j];
    if (d > kPi) d -= kTwoPi;
    if (d < -kPi) d += kTwoPi;
    const float step = d / static_cast<float>(s);
    float angle = p[j];
    for (uint32_t t = 0; t < s; ++t, angle += step) rotate(j * s + t, angle);
  }
  for (uint32_t t = 0; t < s; ++t) rotate((m - 1) * s + t, p[m - 1]);
  return ap4b_drop_second_half(array) ? 1 : 0;
}

// The range, less the line through its end values, is transformed as an
// even row, its decay multiplied away under a window that truncates the
// noise, and transformed back; the result keeps the range's sum.
AP4_ARRAY* ap4b_FourierSelfDeconvolve(const AP4_ARRAY* array, AP4_RANGE range, float half_width, float factor,
                                      uint16_t mode, uint32_t points) {
  if (!ap4a_is_array(array) || mode >= kDeconvolutionModes) return nullptr;
  const AP4_CELL extent = ap4c_ClampCellRange(array, &range.start, &range.end);
  if (extent.row != 1 || extent.column < 1) return nullptr;
  const auto n = static_cast<uint32_t>(extent.column);
  const uint32_t half = points != 0 && points < kLargestHalf ? points : kLargestHalf;
  const float width = half_width < kNarrowestWidth ? kNarrowestWidth : half_width;
  const float p = std::max(static_cast<float>(points), static_cast<float>(n));
  const float window = mode == 1 ? kSincWindowFactor : mode == 2 ? kSincSquaredFactor : kCosineFactor;
  const float limit = factor * window * (p + 1.0f) / width;
  // Without a positive truncation point the window would divide by 0.
  if (!(limit > 0.0f)) return nullptr;

  ap4a_new_array working(ap4b_detrended(array, range, n));
  if (working.get() == nullptr) return nullptr;
  AP4_ARRAY* row = working.get();
  const float s0 = ap4b_sum(row);
  if (half >= n) {
    if (!ap4a_InsertColumns(row, static_cast<int32_t>(n), static_cast<int32_t>(2 * half - n))) return nullptr;
  } else if (!ap4a_DeleteColumns(row, static_cast<int32_t>(half), static_cast<int32_t>(n - half)) ||
             !ap4a_InsertColumns(row, static_cast<int32_t>(half), static_cast<int32_t>(half))) {
    return nullptr;
  }
  ap4b_mirror(ap4a_GetDataAddress(row), half);
  if (!ap4b_FFT(row, 1, AP4C_FFT_INVERSE)) return nullptr;

  float* d = ap4a_GetDataAddress(row);
  const float decay = width * kPi / (2.0f * (p + 1.0f));
  uint32_t t = std::max<int32_t>(ap1_TruncateToInt32(limit), 1);
  if (t < half)
    std::fill(d + t, d + half + 1, 0.0f);
  else
    t = half;
  for (uint32_t i = 1; i <= t; ++i) {
    const float x = static_cast<float>(i) * kPi / limit;
    const float rise = std::exp(decay * static_cast<float>(i));
    float g = 0.0f;
    if (mode == 2)
      g = rise * std::sin(x) / x;
    else if (mode == 1)
      g = rise * (limit - static_cast<float>(i)) * std::sin(x) / (x * limit);
    else
      g = rise * (std::cos(x) + 1.0f) / 2.0f;
    d[i] *= g;
  }
  ap4b_mirror(d, half);
  if (!ap4b_FFT(row, 1, AP4C_FFT_FORWARD)) return nullptr;
  if (half >= n) {
    ap4a_DeleteColumns(row, static_cast<int32_t>(n), static_cast<int32_t>(2 * half - n));
  } else {
    ap4a_DeleteColumns(row, static_cast<int32_t>(half), static_cast<int32_t>(half));
    ap4a_InsertColumns(row, static_cast<int32_t>(half), static_cast<int32_t>(n - half));
  }
  // A row that sums to 0 either side has no sum to keep.
  const float s1 = AP1_KovFloatCompareSG_MATH(s0, 0.0f) ? 0.0f : ap4b_sum(row);
  const float scale = AP1_KovFloatCompareSG_MATH(s1, 0.0f) ? 1.0f / (4.0f * static_cast<float>(half)) : s0 / s1;
  ap4a_MultiplyScalar(row, AP4_WHOLE_RANGE, scale);
  return working.release();
}
