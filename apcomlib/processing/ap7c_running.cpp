// Running statistics over a set of spectra that is never held whole: the
// caller sends one spectrum per call, its points in an X region are added
// to running sums (ARRAY objects the caller owns and sizes, one row of n
// values, or 1 x 1 for the property sums of the correlation), and a call
// that names an output spectrum turns the sums into the mean, the sample
// standard deviation or the size of the correlation with a property.
//
// Exported, and answered for messages 289 to 291 by ap7_AnalysisMessage with
// the parameter block alone. The result is an error flag: 0 success, 1
// failure. Every sum is checked before any is changed, so that a refused
// spectrum leaves all of them as they were and the caller's count in step.
#include <cmath>

#include "chemometrics/chemometrics.h"
#include "processing/processing.h"

namespace {

constexpr uint32_t kDone = 0;
constexpr uint32_t kFailed = 1;

bool ap7c_row_of(const AP4_ARRAY* array, int32_t n) {
  return ap4a_is_array(array) && array->rows == 1 && n > 0 && array->columns == static_cast<uint32_t>(n);
}

bool ap7c_single(const AP4_ARRAY* array) { return ap7c_row_of(array, 1); }

// The region's points as a new 1 x n array; null unless the region holds
// exactly n points.
AP4_ARRAY* ap7c_RegionToArray(AP7_SPECTRUM* spectrum, float x1, float x2, int32_t n) {
  AP4_RANGE range{};
  if (n <= 0 || ap7b_XRangeToIndexRange(ap7a_spectrum(spectrum), &x1, &x2, &range.start, &range.end) != n)
    return nullptr;
  ap4a_new_array values(ap4a_New(AP4_CLASS_ID, 1, static_cast<uint32_t>(n), nullptr));
  if (values.get() == nullptr || !ap4a_CopyRangeTo(spectrum->data, range, values.get(), AP4_CELL{0, 0}))
    return nullptr;
  return values.release();
}

// The array written over the output's first points, then the output cut to
// x1..x2, which must leave n points. The copy is refused when the array
// does not fit in the output's data.
uint32_t ap7c_ArrayToSpectrum(AP7_SPECTRUM* output, const AP4_ARRAY* array, int32_t n, float x1, float x2) {
  if (ap7a_record(ap7a_spectrum(output)) == nullptr || output->data == nullptr ||
      !ap4a_CopyRangeTo(array, AP4_WHOLE_RANGE, output->data, AP4_CELL{0, 0}))
    return kFailed;
  return ap7b_ClampXRange(output, &x1, &x2) == static_cast<uint32_t>(n) ? kDone : kFailed;
}

// S2 - S1^2 / N as a new array.
AP4_ARRAY* ap7c_CorrectedSumOfSquares(AP4_ARRAY* squares, AP4_ARRAY* sum, uint16_t count) {
  ap4a_new_array term(ap4a_Duplicate(sum, nullptr));
  if (term.get() == nullptr || KX_AP4_SquareSummer_ARRAY(term.get(), sum, 0) != kDone ||
      !ap4a_DivideScalar(term.get(), AP4_WHOLE_RANGE, count))
    return nullptr;
  return ap4a_SubtractArrays(squares, AP4_WHOLE_RANGE, term.get(), AP4_WHOLE_RANGE);
}

// The region of the spectrum handed to the adding step; kDone when all its
// sums took it.
template <typename Add>
uint32_t ap7c_add(AP7_SPECTRUM* spectrum, float x1, float x2, int32_t n, Add add) {
  if (ap7a_spectrum(spectrum) == nullptr) return kFailed;
  ap4a_new_array values(ap7c_RegionToArray(spectrum, x1, x2, n));
  if (values.get() == nullptr) return kFailed;
  return add(values.get()) == kDone ? kDone : kFailed;
}

// The output made from the sums over `count` spectra and written.
template <typename Make>
uint32_t ap7c_write(AP7_SPECTRUM* output, float x1, float x2, int32_t n, Make make) {
  if (ap7a_spectrum(output) == nullptr) return kFailed;
  ap4a_new_array result(make());
  if (result.get() == nullptr) return kFailed;
  return ap7c_ArrayToSpectrum(output, result.get(), n, x1, x2);
}

float ap7c_element(const AP4_ARRAY* array) {
  float value = AP1_GetNaNSG_MATH();
  ap4a_GetElement(array, AP4_CELL{0, 0}, &value);
  return value;
}

// A copy of the array with each element multiplied by the value.
AP4_ARRAY* ap7c_scaled(AP4_ARRAY* array, float value) {
  ap4a_new_array copy(ap4a_Duplicate(array, nullptr));
  if (copy.get() == nullptr || !ap4a_MultiplyScalar(copy.get(), AP4_WHOLE_RANGE, value)) return nullptr;
  return copy.release();
}

// |r| point by point from the sums over `count` spectra.
AP4_ARRAY* ap7c_correlation(AP4_ARRAY* sum_x, AP4_ARRAY* sum_x2, AP4_ARRAY* sum_y, AP4_ARRAY* sum_y2,
                            AP4_ARRAY* sum_xy, uint16_t count) {
  ap4a_new_array syy(ap7c_CorrectedSumOfSquares(sum_y2, sum_y, count));
  ap4a_new_array sxx(ap7c_CorrectedSumOfSquares(sum_x2, sum_x, count));
  if (syy.get() == nullptr || sxx.get() == nullptr) return nullptr;
  ap4a_new_array product(ap7c_scaled(sxx.get(), ap7c_element(syy.get())));
  const float mean_y = count != 0 ? static_cast<float>(double{ap7c_element(sum_y)} / count) : AP1_GetNaNSG_MATH();
  ap4a_new_array cross(ap7c_scaled(sum_x, mean_y));
  if (product.get() == nullptr || cross.get() == nullptr) return nullptr;
  ap4a_new_array sxy(ap4a_SubtractArrays(sum_xy, AP4_WHOLE_RANGE, cross.get(), AP4_WHOLE_RANGE));
  if (sxy.get() == nullptr) return nullptr;
  ap4a_new_array sxy2(ap4a_MultiplyArrays(sxy.get(), AP4_WHOLE_RANGE, sxy.get(), AP4_WHOLE_RANGE));
  if (sxy2.get() == nullptr) return nullptr;
  ap4a_new_array r2(ap4a_DivideArrays(sxy2.get(), AP4_WHOLE_RANGE, product.get(), AP4_WHOLE_RANGE));
  if (r2.get() == nullptr || !ap4b_ApplyFunction(r2.get(), AP4_WHOLE_RANGE, KX_AP7_SquareRoot)) return nullptr;
  return r2.release();
}

}  // namespace

APEXPORT void KX_AP7_SquareRoot(float* value) { AP1_SQRT_MATH(value); }

APEXPORT uint32_t AP7_Mean_SPECTRUM(AP7_SPECTRUM* spectrum, float x1, float x2, int32_t n, uint16_t count,
                                    AP4_ARRAY* sum, AP7_SPECTRUM* output) {
  if (!ap7c_row_of(sum, n) || (spectrum == nullptr && output == nullptr)) return kFailed;
  uint32_t flag = kDone;
  uint16_t added = count;
  if (spectrum != nullptr) {
    flag = ap7c_add(spectrum, x1, x2, n, [&](AP4_ARRAY* values) { return KX_AP4_Summer_ARRAY(sum, values, count); });
    if (flag == kDone) ++added;
  }
  if (output != nullptr) {
    flag |= ap7c_write(output, x1, x2, n, [&]() -> AP4_ARRAY* {
      ap4a_new_array mean(ap4a_Duplicate(sum, nullptr));
      if (mean.get() == nullptr || !ap4a_DivideScalar(mean.get(), AP4_WHOLE_RANGE, added)) return nullptr;
      return mean.release();
    });
  }
  return flag;
}

APEXPORT uint32_t AP7_KX_Variance_SPECTRUM(AP7_SPECTRUM* spectrum, float x1, float x2, int32_t n, uint16_t count,
                                           AP4_ARRAY* sum, AP4_ARRAY* squares, AP7_SPECTRUM* output) {
  if (!ap7c_row_of(sum, n) || !ap7c_row_of(squares, n) || (spectrum == nullptr && output == nullptr)) return kFailed;
  uint32_t flag = kDone;
  uint16_t added = count;
  if (spectrum != nullptr) {
    flag = ap7c_add(spectrum, x1, x2, n, [&](AP4_ARRAY* values) {
      return KX_AP4_Summer_ARRAY(sum, values, count) + KX_AP4_SquareSummer_ARRAY(squares, values, count);
    });
    if (flag == kDone) ++added;
  }
  if (output != nullptr) {
    flag |= ap7c_write(output, x1, x2, n, [&]() -> AP4_ARRAY* {
      ap4a_new_array deviation(ap7c_CorrectedSumOfSquares(squares, sum, added));
      if (deviation.get() == nullptr ||
          !ap4a_DivideScalar(deviation.get(), AP4_WHOLE_RANGE, static_cast<float>(added) - 1.0f) ||
          !ap4b_ApplyFunction(deviation.get(), AP4_WHOLE_RANGE, KX_AP7_SquareRoot))
        return nullptr;
      return deviation.release();
    });
  }
  return flag;
}

APEXPORT uint32_t AP7_Correlation_SPECTRUM(AP7_SPECTRUM* spectrum, float x1, float x2, int32_t n, uint16_t count,
                                           AP4_ARRAY* sum_x, AP4_ARRAY* sum_x2, AP4_ARRAY* property,
                                           AP4_ARRAY* sum_y, AP4_ARRAY* sum_y2, AP4_ARRAY* sum_xy,
                                           AP7_SPECTRUM* output) {
  if (!ap7c_row_of(sum_x, n) || !ap7c_row_of(sum_x2, n) || !ap7c_row_of(sum_xy, n) || !ap7c_single(sum_y) ||
      !ap7c_single(sum_y2) || (spectrum == nullptr && output == nullptr))
    return kFailed;
  uint32_t flag = kDone;
  uint16_t added = count;
  if (spectrum != nullptr) {
    if (!ap7c_single(property)) return kFailed;
    flag = ap7c_add(spectrum, x1, x2, n, [&](AP4_ARRAY* values) {
      return KX_AP4_Summer_ARRAY(sum_x, values, count) + KX_AP4_SquareSummer_ARRAY(sum_x2, values, count) +
             KX_AP4_Summer_ARRAY(sum_y, property, count) + KX_AP4_SquareSummer_ARRAY(sum_y2, property, count) +
             KX_AP4_ConstSummer_ARRAY(sum_xy, values, property, count);
    });
    if (flag == kDone) ++added;
  }
  if (output != nullptr) {
    flag |= ap7c_write(output, x1, x2, n,
                       [&]() { return ap7c_correlation(sum_x, sum_x2, sum_y, sum_y2, sum_xy, added); });
  }
  return flag;
}
