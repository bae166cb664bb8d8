// Small operations on two spectra: whether their X spacings agree, and a
// spectrum's object list copied onto another.
//
// The spacing test decides whether two spectra share a common index range
// (the axis module) and may be combined; the list copy serves the spectrum's
// copy and every operation that gives a new spectrum the list of the one it
// was made from. AP7_Dispatcher_SPECTRUM calls both for their messages.
#include <algorithm>
#include <cmath>

#include "core/core.h"
#include "spectrum/spectrum.h"

namespace {

// Spacings agree when they differ by at most this share of the larger one.
constexpr double kSpacingTolerance = 0.01;

}  // namespace

// The larger spacing is taken by magnitude, so that two axes running
// downward compare as two running upward do.
uint16_t ap7d_CompareSpacing(const AP7_SPECTRUM* spectrum, const AP7_SPECTRUM* other) {
  if (ap7a_spectrum(spectrum) == nullptr || ap7a_spectrum(other) == nullptr) return 0;
  const double spacing = ap7b_GetXSpacing(spectrum);
  const double other_spacing = ap7b_GetXSpacing(other);
  const double larger = std::max(std::fabs(spacing), std::fabs(other_spacing));
  if (AP1_KovFloatCompareSG_MATH(static_cast<float>(larger), 0.0f)) return 0;
  return std::fabs(spacing - other_spacing) / larger <= kSpacingTolerance ? 1 : 0;
}

// The other spectrum's list goes, with its members, only once the deep
// duplicate that replaces it exists; a spectrum without a list leaves the
// other's as it is.
uint16_t ap7d_CopyListTo(const AP7_SPECTRUM* spectrum, AP7_SPECTRUM* other) {
  const AP7_SPECTRUM* source = ap7a_spectrum(spectrum);
  AP7_SPECTRUM* target = ap7a_spectrum(other);
  if (source == nullptr || target == nullptr) return 0;
  if (source->list == nullptr || source == target) return 1;
  AP40_LLIST* copy = ap40_Duplicate_LLIST(source->list, nullptr, 1);
  if (copy == nullptr) return 0;
  if (target->list != nullptr) ap40_Destroy_LLIST(target->list, nullptr, 1);
  target->list = copy;
  return 1;
}
