// Small spectrum services: the scaled subtraction of one spectrum from
// another, the test whether a file is a group file, the folding of an
// interferogram around its centre burst, one value set by X with a notice
// that names the point, a spectrum evaluated from a polynomial, and the
// narrowing of an X range to its valid (non-missing) ends.
//
// AP7_Dispatcher_SPECTRUM calls the first four for messages 100, 207, 209
// and 211; the peak search and the Fourier self-deconvolution start from
// the narrowed range, so that missing values at the ends of a stretch take
// no part in them.
#include <algorithm>
#include <cmath>

#include "chemometrics/chemometrics.h"
#include "core/core.h"
#include "files/files.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

namespace {

// The change notice names a point by its column + 1 up to this column.
constexpr int32_t kNamedColumns = 32767;
constexpr uint32_t kMostCoefficients = 8;

}  // namespace

uint16_t ap7d_SubtractScaled(AP7_SPECTRUM* spectrum, float x1, float x2, AP7_SPECTRUM* other, float k) {
  AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  const AP41_HEADERDATA* other_record = ap7a_record(ap7a_spectrum(other));
  if (record == nullptr || other_record == nullptr || spectrum->data == nullptr || other->data == nullptr) return 0;
  AP4_RANGE range{};
  AP4_RANGE other_range{};
  if (ap7b_CommonIndexRange(spectrum, &x1, &x2, &range.start, &range.end, other, &other_range.start,
                            &other_range.end) < 1)
    return 0;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun() || !ap4d_SubtractScaledRange(spectrum->data, range, other->data, other_range, k)) return 0;
  ap7b_ClampXRange(spectrum, &x1, &x2);
  const float a = record->p39;
  const float b = other_record->p39;
  record->p39 = AP1_SquareRoot_MATH(a * a + b * b);
  ap7b_SetHistoryFlag(reinterpret_cast<AP_OBJECT*>(spectrum), AP41_HISTORY_ADD_SUBTRACT);
  return 1;
}

uint16_t ap7d_IsGroupFile(const char* path) {
  if (IsBadStringPtrA(path, MAX_PATH)) return 0;
  auto* group = reinterpret_cast<AP51_GROUP_FILE*>(ap2_New_OBJ(AP51_CLASS_ID, nullptr));
  if (group == nullptr) return 0;
  uint16_t class_id = 0;
  uint16_t result = 0;
  const uint16_t known = ap20_SetFileName(group->head.parent, nullptr, path) != 0 &&
                                 ap51_IdentifyFormat(group, &class_id, &result) != 0
                             ? 1
                             : 0;
  AP_WINDOWPARM window{nullptr, 0};
  GU2_DoMethod_MSG(AP_MSG_DESTROY, group, &window);
  return known;
}

// Both ends of the fold must lie inside the data: the centre burst may sit
// anywhere, so the points after it are checked as well as those before.
AP4_ARRAY* ap7d_FoldInterferogram(AP7_SPECTRUM* spectrum, uint16_t n, uint16_t offset) {
  const AP41_HEADERDATA* record = ap7a_record(ap7a_spectrum(spectrum));
  if (record == nullptr || spectrum->data == nullptr || record->y_units != AP41_YUNITS_INTERFEROGRAM || n == 0)
    return nullptr;
  const uint64_t reach = uint64_t{n} + offset;
  const uint64_t centre = record->FinalPeakPos;
  const uint64_t points = std::min<uint64_t>(record->points, spectrum->data->columns);
  if (centre < reach || points <= 2 * reach || centre + reach > points) return nullptr;
  const float* y = ap7b_GetDataPtr(spectrum);
  AP4_ARRAY* folded = ap4a_New(AP4_CLASS_ID, 1, n, nullptr);
  float* out = ap4a_GetDataAddress(folded);
  if (y == nullptr || out == nullptr) {
    if (folded != nullptr) ap4a_Delete(folded, nullptr);
    return nullptr;
  }
  for (uint32_t i = 0; i < n; ++i) out[i] = (y[centre - offset - i] + y[centre + offset + i]) / 2.0f;
  return folded;
}

uint16_t ap7d_SetValueAtXNotify(AP7_SPECTRUM* spectrum, float x, float value) {
  AP4_CELL cell{};
  if (ap7a_spectrum(spectrum) == nullptr || spectrum->data == nullptr || !ap7b_XToIndex64(spectrum, x, &cell)) return 0;
  ap7a_change_bracket bracket(spectrum);
  if (!bracket.begun()) return 0;
  const uint16_t set = ap4a_SetElement(spectrum->data, cell, value);
  const auto word = static_cast<uint16_t>(cell.column < kNamedColumns ? cell.column + 1 : 0);
  ap2_SetUserWord_OBJ(reinterpret_cast<AP2_OBJECT*>(spectrum->data->head.parent), word);
  return set;
}

AP7_SPECTRUM* ap7d_NewFromPolynomial(HWND owner, float x1, float x2, uint32_t n, const AP4_ARRAY* coefficients) {
  const float* c = ap4a_GetDataAddress(coefficients);
  if (c == nullptr || n < 2 || coefficients->columns != 1 || coefficients->rows < 1 ||
      coefficients->rows > kMostCoefficients)
    return nullptr;
  AP7_SPECTRUM* spectrum = ap7a_NewInit(AP7_CLASS_ID, n, owner);
  float* y = ap7b_GetDataPtr(spectrum);
  if (y == nullptr) {
    if (spectrum != nullptr) ap7a_Delete(spectrum, nullptr);
    return nullptr;
  }
  if (x1 > x2) std::swap(x1, x2);
  const float step = (x2 - x1) / static_cast<float>(n - 1);
  const int32_t m = static_cast<int32_t>(coefficients->rows);
  for (uint32_t i = 0; i < n; ++i) {
    const float at = x1 + static_cast<float>(i) * step;
    float sum = 0.0f;
    for (int32_t j = m - 1; j >= 1; --j) sum = (sum + c[j]) * at;
    y[i] = sum + c[0];
  }
  return spectrum;
}

int32_t ap7d_TrimXRangeToValid(AP7_SPECTRUM* spectrum, float* x1, float* x2, float* first_value, float* last_value) {
  AP4_CELL first{};
  AP4_CELL last{};
  if (ap7b_XRangeToIndexRange(ap7a_spectrum(spectrum), x1, x2, &first, &last) <= 0) return 0;
  const int32_t count = ap4d_TrimNaNEnds(spectrum->data, &first, &last, first_value, last_value);
  if (count > 0) {
    ap7b_IndexToX(spectrum, first.column, x1);
    ap7b_IndexToX(spectrum, last.column, x2);
  }
  return count;
}
