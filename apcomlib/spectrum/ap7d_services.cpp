// Small spectrum services that other spectrum operations call: the
// narrowing of an X range to its valid (non-missing) ends.
//
// The peak search and the Fourier self-deconvolution start from the
// narrowed range, so that missing values at the ends of a stretch take no
// part in them.
#include "chemometrics/chemometrics.h"
#include "core/core.h"
#include "platform/memory.h"
#include "spectrum/spectrum.h"

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
