// A spectrum made from polynomial coefficients: the baselines fitted by
// the processing operations are evaluated on the axis of the spectrum they
// belong to, point for point, so that the two subtract index by index.
#include <cmath>

#include "spectrum/spectrum.h"

namespace {

constexpr uint32_t kMostCoefficients = 8;

// The number of coefficients of a one-row or one-column array, 0 for any
// other shape.
uint32_t ap7d_coefficient_count(const AP4_ARRAY* coefficients) {
  const uint32_t rows = coefficients->rows;
  const uint32_t columns = coefficients->columns;
  if (rows == 1) return columns;
  return columns == 1 ? rows : 0;
}

}  // namespace

AP7_SPECTRUM* ap7d_NewFromData(uint16_t class_id, float first_x, float last_x, uint32_t count,
                               const AP4_ARRAY* coefficients) {
  if (class_id != AP7_CLASS_ID || count < 2 || count > AP7_MOST_POINTS || !std::isfinite(first_x) ||
      !std::isfinite(last_x))
    return nullptr;
  const float* c = ap4a_GetDataAddress(coefficients);
  if (c == nullptr) return nullptr;
  const uint32_t terms = ap7d_coefficient_count(coefficients);
  if (terms < 1 || terms > kMostCoefficients) return nullptr;
  ap7a_new_spectrum made(ap7a_NewInit(AP7_CLASS_ID, count, nullptr));
  AP41_HEADERDATA* record = ap7a_record(made.get());
  float* y = ap7b_GetDataPtr(made.get());
  if (record == nullptr || y == nullptr) return nullptr;
  record->first_x = first_x;
  record->last_x = last_x;
  // Horner's rule in double precision: the X values of a spectrum are large
  // beside the baseline, and the powers must not swamp it.
  const double step = (double{last_x} - first_x) / (count - 1);
  for (uint32_t i = 0; i < count; ++i) {
    const double x = first_x + step * i;
    double sum = 0.0;
    for (uint32_t j = terms; j-- > 0;) sum = sum * x + c[j];
    y[i] = static_cast<float>(sum);
  }
  return made.release();
}
