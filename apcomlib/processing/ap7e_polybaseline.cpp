// The iterative polynomial baseline: a polynomial is fitted to the present
// points of a region, the points standing clearly above it (the peaks) are
// dropped, and the fit is repeated on what is left until no point drops or
// the passes run out; the last polynomial is subtracted. Beside it, the test
// whether an X falls on a spectrum's axis.
//
// ap7_AnalysisMessage calls these for messages 203, 261 and 273; the quality
// checks and the cleaned copy of a region reach the baseline through those
// messages. Everything the fit makes lives for the call only, and the
// caller's spectrum is never changed: peaks that point down are fitted on a
// negated copy.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

#include "core/core.h"
#include "processing/processing.h"

namespace {

constexpr int32_t kDefaultPasses = 20;
// However many passes a caller asks for: each pass walks the whole region
// and builds a whole baseline.
constexpr int32_t kMostPasses = 1000;
// The baseline is evaluated from at most eight coefficients.
constexpr uint16_t kMostOrder = 7;
constexpr char kTitleMark[] = "*";

struct ap7e_pairs_deleter {
  void operator()(AP9_DATAPAIR* pairs) const { ap9_Destroy(pairs, nullptr); }
};
using ap7e_pairs = std::unique_ptr<AP9_DATAPAIR, ap7e_pairs_deleter>;

// The values of a spectrum and how many the data row holds; null when it
// has none.
const float* ap7e_values(const AP7_SPECTRUM* spectrum, int32_t& count) {
  const AP7_SPECTRUM* checked = ap7a_spectrum(spectrum);
  const float* values = ap7b_GetDataPtr(checked);
  const uint32_t columns = values != nullptr ? checked->data->columns : 0;
  count = static_cast<int32_t>(std::min<uint32_t>(columns, INT32_MAX));
  return values;
}

// The index range of x1..x2 on A, cut to the points both A and B hold.
bool ap7e_shared_indexes(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float x1, float x2, int32_t& first, int32_t& last) {
  AP4_RANGE range{};
  if (ap7b_XRangeToIndexRange(ap7a_spectrum(a), &x1, &x2, &range.start, &range.end) <= 0) return false;
  int32_t a_count = 0;
  int32_t b_count = 0;
  if (ap7e_values(a, a_count) == nullptr || ap7e_values(b, b_count) == nullptr) return false;
  first = range.start.column;
  last = std::min({range.end.column, a_count - 1, b_count - 1});
  return first <= last;
}

// Every value times -1; the header (title, history) stays as it is.
bool ap7e_negate(AP7_SPECTRUM* spectrum) {
  ap7a_change_bracket bracket(spectrum);
  return bracket.begun() && ap4a_MultiplyScalar(spectrum->data, AP4_WHOLE_RANGE, -1.0f) != 0;
}

// The fit points: each present value of the m points from index `start`
// as (0, x, y); the pair count is the number stored. Null when the pairs
// cannot be made.
ap7e_pairs ap7e_region_pairs(const AP7_SPECTRUM* work, int32_t start, int32_t m) {
  ap7e_pairs pairs(ap9_New(AP9_CLASS_ID, static_cast<uint32_t>(m), nullptr));
  AP9_PAIR* entries = ap9_pairs(pairs.get());
  int32_t held = 0;
  const float* y = ap7e_values(work, held);
  if (entries == nullptr || y == nullptr || int64_t{start} + m > held) return nullptr;
  const double first_x = ap7a_record(work)->first_x;
  const double spacing = ap7b_GetXSpacing(work);
  uint32_t stored = 0;
  for (int32_t i = start; i < start + m; ++i) {
    if (ap1_is_missing(y[i])) continue;
    entries[stored].tag = 0;
    entries[stored].x = static_cast<float>(first_x + spacing * i);
    entries[stored].y = y[i];
    ++stored;
  }
  pairs->count = stored;
  return pairs;
}

// The polynomial evaluated on the whole axis of the spectrum.
AP7_SPECTRUM* ap7e_baseline_of(const AP7_SPECTRUM* spectrum, const AP4_ARRAY* coefficients) {
  const AP41_HEADERDATA* record = ap7a_record(spectrum);
  return ap7d_NewFromData(AP7_CLASS_ID, record->first_x, record->last_x, record->points, coefficients);
}

// The difference of the spectrum and its baseline over the region, with
// the baseline carrying a copy of the spectrum's header.
AP7_SPECTRUM* ap7e_subtract_baseline(AP7_SPECTRUM* spectrum, AP7_SPECTRUM* baseline, float x1, float x2) {
  AP41_SPECTRALHEADER* header = ap7b_DuplicateHeader(spectrum);
  if (header == nullptr) return nullptr;
  if (!ap7b_SetHeader(baseline, header)) {
    AP_WINDOWPARM window{nullptr, 0};
    GU2_DoMethod_MSG(AP_MSG_DESTROY, header, &window);
    return nullptr;
  }
  return ap7a_SubtractSpectra(spectrum, x1, x2, baseline);
}

bool ap7e_direction_known(uint16_t direction) {
  return direction == AP7_BASELINE_OWN_DIRECTION || direction == AP7_BASELINE_PEAKS_UP ||
         direction == AP7_BASELINE_PEAKS_DOWN;
}

}  // namespace

float ap7e_MaxAbsDifference(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float x1, float x2) {
  int32_t first = 0;
  int32_t last = -1;
  if (!ap7e_shared_indexes(a, b, x1, x2, first, last)) return 0.0f;
  int32_t count = 0;
  const float* ya = ap7e_values(a, count);
  const float* yb = ap7e_values(b, count);
  double largest = 0.0;
  for (int32_t i = first; i <= last; ++i) {
    if (ap1_is_missing(ya[i]) || ap1_is_missing(yb[i])) continue;
    largest = std::max(largest, std::fabs(double{ya[i]} - yb[i]));
  }
  return static_cast<float>(largest);
}

uint16_t ap7e_ClipAboveBaseline(AP7_SPECTRUM* a, AP7_SPECTRUM* b, float threshold, float x1, float x2) {
  int32_t first = 0;
  int32_t last = -1;
  if (!ap7e_shared_indexes(a, b, x1, x2, first, last)) return 0;
  ap7a_change_bracket bracket(a);
  if (!bracket.begun()) return 0;
  float* ya = ap7b_GetDataPtr(a);
  const float* yb = ap7b_GetDataPtr(b);
  for (int32_t i = first; i <= last; ++i) {
    const bool missing = ap1_is_missing(ya[i]) || ap1_is_missing(yb[i]);
    if (missing || (ya[i] > yb[i] && std::fabs(double{ya[i]} - yb[i]) > threshold)) ya[i] = AP1_GetNaNSG_MATH();
  }
  return 1;
}

AP7_SPECTRUM* ap7e_IterativeBaselineFit(AP7_SPECTRUM* spectrum, float x1, float x2, uint16_t order, uint16_t offset,
                                        int32_t passes, uint16_t direction) {
  if (ap7a_record(ap7a_spectrum(spectrum)) == nullptr || spectrum->data == nullptr) return nullptr;
  if (std::isnan(x1) || std::isnan(x2) || order < 1 || order > kMostOrder || !ap7e_direction_known(direction))
    return nullptr;
  if (direction == AP7_BASELINE_OWN_DIRECTION && ap7d_GetPeakDirection(spectrum) != AP1_PEAKS_UP) return nullptr;
  if (x1 > x2) std::swap(x1, x2);

  const bool down = direction == AP7_BASELINE_PEAKS_DOWN;
  ap7a_new_spectrum negated(down ? ap7a_Duplicate(spectrum, nullptr) : nullptr);
  if (down && (negated.get() == nullptr || !ap7e_negate(negated.get()))) return nullptr;
  AP7_SPECTRUM* source = down ? negated.get() : spectrum;

  AP4_RANGE region{};
  const int32_t m = ap7b_XRangeToIndexRange(source, &x1, &x2, &region.start, &region.end);
  if (m <= 0) return nullptr;
  const int32_t start = region.start.column;
  ap7a_new_spectrum work(ap7a_Duplicate(source, nullptr));
  if (work.get() == nullptr) return nullptr;

  // Each pass that goes on drops at least one point, so the passes end by
  // themselves within m + 1; the limit bounds the work of a long region.
  const int32_t limit = passes < 0 ? kDefaultPasses : std::min(passes, kMostPasses);
  ap4a_new_array coefficients;
  uint32_t previous = static_cast<uint32_t>(m) + 1;
  for (int32_t pass = 0; pass < limit; ++pass) {
    ap7e_pairs pairs = ap7e_region_pairs(work.get(), start, m);
    if (pairs == nullptr) return nullptr;
    if (pairs->count == previous) break;
    previous = pairs->count;
    ap4a_new_array fit(ap9_PolyFitNormal(pairs.get(), order));
    if (fit.get() == nullptr) continue;
    ap7a_new_spectrum baseline(ap7e_baseline_of(source, fit.get()));
    if (baseline.get() == nullptr) return nullptr;
    const float threshold = 0.5f * ap7e_MaxAbsDifference(work.get(), baseline.get(), x1, x2);
    if (!ap7e_ClipAboveBaseline(work.get(), baseline.get(), threshold, x1, x2)) return nullptr;
    coefficients.reset(fit.release());
  }

  // The final fit; when it fails the last pass's polynomial stands.
  ap7e_pairs pairs = ap7e_region_pairs(work.get(), start, m);
  if (pairs == nullptr) return nullptr;
  if (AP4_ARRAY* fit = ap9_PolyFitNormal(pairs.get(), order)) coefficients.reset(fit);
  if (coefficients.get() == nullptr) return nullptr;
  ap7a_new_spectrum baseline(ap7e_baseline_of(source, coefficients.get()));
  if (baseline.get() == nullptr) return nullptr;

  ap7a_new_spectrum result(ap7e_subtract_baseline(source, baseline.get(), x1, x2));
  if (result.get() == nullptr) return nullptr;
  if (down && !ap7e_negate(result.get())) return nullptr;
  const std::string title = std::string(kTitleMark) + ap7a_record(spectrum)->title;
  AP41_HEADERDATA* made = ap7a_record(result.get());
  capobj_StrCopyN(title.c_str(), made->title, sizeof made->title);
  if (offset) {
    float minimum = 0.0f;
    float maximum = 0.0f;
    if (!ap7a_MinMax(result.get(), x1, x2, &minimum, &maximum)) return nullptr;
    if (!ap1_is_missing(minimum) && !ap7a_AddScalar(result.get(), x1, x2, -minimum)) return nullptr;
  }
  return result.release();
}

uint16_t ap7e_XInRange(const AP7_SPECTRUM* spectrum, float x) {
  int32_t index = 0;
  return ap7b_XToIndex(ap7a_spectrum(spectrum), x, &index) != 0 ? 1 : 0;
}
