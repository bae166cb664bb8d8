// Derivatives, smoothing and convolution of a spectrum's range, each a new
// spectrum.
//
// The range's index range goes to the ARRAY operation of the same message
// number, whose new one-row array becomes the data of a spectrum made like
// this one (ap7b_NewLike): its axis the range's, its title prefixed and its
// history bit set for the step, the list copied. This spectrum is never
// changed. AP7_Dispatcher_SPECTRUM calls these for messages 67, 68, 69 and
// 79.
#include <cstdint>

#include "core/core.h"
#include "spectrum/spectrum.h"
#include "util/util.h"

namespace {

// What the new spectrum of a step carries besides its values.
struct ap7a_step {
  int16_t history;
  uint16_t title;  // text of group 1007 put in front of the title; 0: none
  bool other_units;
};

constexpr ap7a_step kFirstDerivative{AP41_HISTORY_DERIVATIVE, AP7_TITLE_FIRST_DERIVATIVE, true};
constexpr ap7a_step kSecondDerivative{AP41_HISTORY_DERIVATIVE, AP7_TITLE_SECOND_DERIVATIVE, true};
constexpr ap7a_step kSmooth{AP41_HISTORY_SMOOTH, AP7_TITLE_SMOOTHED, false};
constexpr ap7a_step kConvolve{AP41_HISTORY_CONVOLVED, 0, false};

// The new spectrum of the values that make() returns for the range; nothing
// is made when the range misses the data.
template <typename Make>
AP7_SPECTRUM* ap7a_new_from_range(AP7_SPECTRUM* spectrum, float x1, float x2, const ap7a_step& step, Make make) {
  AP4_CELL first{};
  AP4_CELL last{};
  const int32_t count = ap7b_XRangeToIndexRange(ap7a_spectrum(spectrum), &x1, &x2, &first, &last);
  if (count < 1) return nullptr;
  ap7a_new_spectrum result(ap7b_NewLike(spectrum, nullptr));
  if (result.get() == nullptr) return nullptr;
  ap4a_new_array values(make(spectrum->data, AP4_RANGE{first, last}));
  if (values.get() == nullptr || values.get()->rows != 1 || values.get()->columns != static_cast<uint32_t>(count) ||
      !ap7a_LinkData(result.get(), values.get(), x1, x2, static_cast<uint32_t>(count)))
    return nullptr;
  values.release();
  AP7_SPECTRUM* made = result.get();
  if (step.other_units) ap7a_record(made)->y_units = AP41_YUNITS_OTHER;
  if (step.title != 0) {
    if (const char* prefix = GU4_GetAssocString(AP7_GROUP_TITLE_PREFIX, step.title, nullptr, nullptr))
      ap7d_PrependTitle(made, prefix);
  }
  if (!ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(made), step.history) || !ap7d_CopyListTo(spectrum, made))
    return nullptr;
  return result.release();
}

}  // namespace

AP7_SPECTRUM* ap7a_Derivative(AP7_SPECTRUM* spectrum, float x1, float x2) {
  const float spacing = ap7b_GetXSpacing(ap7a_spectrum(spectrum));
  return ap7a_new_from_range(spectrum, x1, x2, kFirstDerivative, [spacing](const AP4_ARRAY* data, AP4_RANGE range) {
    return ap4b_Derivative(data, range, spacing);
  });
}

AP7_SPECTRUM* ap7a_DerivativeRange(AP7_SPECTRUM* spectrum, float x1, float x2) {
  const float spacing = ap7b_GetXSpacing(ap7a_spectrum(spectrum));
  return ap7a_new_from_range(spectrum, x1, x2, kSecondDerivative, [spacing](const AP4_ARRAY* data, AP4_RANGE range) {
    return ap4b_SecondDerivative(data, range, spacing);
  });
}

AP7_SPECTRUM* ap7a_SGSmooth(AP7_SPECTRUM* spectrum, float x1, float x2, uint32_t window) {
  if (window > INT32_MAX) return nullptr;
  return ap7a_new_from_range(spectrum, x1, x2, kSmooth, [window](const AP4_ARRAY* data, AP4_RANGE range) {
    return ap4b_SGSmooth(data, range, static_cast<int32_t>(window));
  });
}

AP7_SPECTRUM* ap7a_Convolve(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* kernel, uint16_t option) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(kernel);
  if (checked == nullptr || checked->data == nullptr) return nullptr;
  // The ARRAY convolution gives its range's count of points from column 0:
  // the whole data are convolved, so that each point of the range sees its
  // true neighbours, and the range taken from the result.
  return ap7a_new_from_range(spectrum, x1, x2, kConvolve, [checked, option](const AP4_ARRAY* data, AP4_RANGE range) {
    ap4a_new_array whole(ap4b_FFTConvolve(data, AP4_WHOLE_RANGE, checked->data, option));
    return whole.get() != nullptr ? ap4a_ExtractRange(whole.get(), range) : nullptr;
  });
}
