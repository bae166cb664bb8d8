// Preprocessing and small statistics on ARRAY objects: mean-centring and
// variance scaling of the rows or columns of a data matrix, with filters on
// its observations and a companion matrix treated alike; the trimming of
// missing ends off a one-row range; the trapezoid areas of such a range
// above a level and above a straight baseline; and the straight-line
// least-squares fit of one array against another.
//
// Centring and scaling change their arrays in place, one row or column at a
// time, and hand out a new array of their statistics (ARRAY messages 103,
// 104, 109 and 110); the fit answers message 331. The spectrum layer calls
// the trim and the areas directly. Means and sums of squares are kept in
// single precision, areas in double.
#include <algorithm>
#include <cmath>
#include <vector>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"

namespace {

// One matrix of a centring or scaling seen as statistics (its columns or
// rows) by observations (its rows or columns), with the observations that
// its filters let into the statistics.
struct ap4d_view {
  AP4_ARRAY* array;
  float* values;
  uint32_t statistic_stride;
  uint32_t observation_stride;
  std::vector<bool> observed;
  float& at(uint32_t statistic, uint32_t observation) {
    return values[statistic * statistic_stride + observation * observation_stride];
  }
};

// The statistics of one centring or scaling: A and, when given, B.
struct ap4d_job {
  ap4d_view parts[2];
  uint32_t part_count;
  uint32_t statistics;
  bool exclude;
  float exclusion;
  // Left out of the statistics and never changed.
  bool protected_value(float value) const {
    return ap1_is_missing(value) || (exclude && AP1_KovFloatCompareSG_MATH(value, exclusion) != 0);
  }
};

// The first count elements of a GU3 block, read as size-byte values; null
// when the block holds fewer bytes than that.
const void* ap4d_block(GU3_HANDLE handle, uint32_t count, uint32_t size) {
  const uint64_t bytes = uint64_t{GU3_NumElements_MM(handle)} * GU3_LenElements_MM(handle);
  if (bytes < uint64_t{count} * size) return nullptr;
  return GU3_GetPointer_MM(handle, 0, nullptr, nullptr);
}

// The view of a matrix in an orientation, with its observation filters
// applied; false when a filter does not cover every observation.
bool ap4d_observe(AP4_ARRAY* array, uint16_t mode, const AP4D_FILTERS& filters, uint16_t label, const ap4d_job& job,
                  uint16_t reference_index, ap4d_view& view) {
  const bool per_column = mode == AP4D_PER_COLUMN;
  const uint32_t observations = per_column ? array->rows : array->columns;
  view.array = array;
  view.values = ap4a_GetDataAddress(array);
  view.statistic_stride = per_column ? 1 : array->columns;
  view.observation_stride = per_column ? array->columns : 1;
  view.observed.assign(observations, true);
  if (view.values == nullptr) return false;
  if (filters.counts != nullptr) {
    const auto* counts = static_cast<const int32_t*>(ap4d_block(filters.counts, observations, sizeof(int32_t)));
    if (counts == nullptr) return false;
    for (uint32_t k = 0; k < observations; ++k)
      if (counts[k] < 1) view.observed[k] = false;
  }
  if (filters.labels != nullptr) {
    const auto* labels = static_cast<const uint16_t*>(ap4d_block(filters.labels, observations, sizeof(uint16_t)));
    if (labels == nullptr) return false;
    for (uint32_t k = 0; k < observations; ++k)
      if (labels[k] != label) view.observed[k] = false;
  }
  // The reference is read only while the exclusion is on.
  const AP4_ARRAY* r = filters.reference;
  if (r == nullptr || !job.exclude) return true;
  if (!ap4a_is_array(r)) return false;
  // R(k, index) per column, R(index, k) per row.
  const float* rv = ap4a_GetDataAddress(r);
  const bool covers = per_column ? r->rows >= observations && reference_index < r->columns
                                 : reference_index < r->rows && r->columns >= observations;
  if (rv == nullptr || !covers) return false;
  for (uint32_t k = 0; k < observations; ++k) {
    const float value = per_column ? rv[k * r->columns + reference_index] : rv[reference_index * r->columns + k];
    if (AP1_KovFloatCompareSG_MATH(value, job.exclusion)) view.observed[k] = false;
  }
  return true;
}

// Checks the orientation, the companion and every filter before anything
// changes, and makes the result array, one value per statistic.
AP4_ARRAY* ap4d_prepare(AP4_ARRAY* a, uint16_t mode, const AP4D_FILTERS& filters, uint16_t label, AP4_ARRAY* b,
                        const AP4D_FILTERS& b_filters, uint16_t exclude, float exclusion, uint16_t reference_index,
                        ap4d_job& job) {
  if (mode != AP4D_PER_ROW && mode != AP4D_PER_COLUMN) return nullptr;
  if (!ap4a_is_array(a) || a->rows == 0) return nullptr;
  const bool per_column = mode == AP4D_PER_COLUMN;
  job.statistics = per_column ? a->columns : a->rows;
  job.exclude = exclude != 0;
  job.exclusion = exclusion;
  job.part_count = b != nullptr ? 2 : 1;
  if (b != nullptr) {
    // The same array as its own companion would be centred twice.
    if (b == a || !ap4a_is_array(b) || (per_column ? b->columns : b->rows) != job.statistics) return nullptr;
    if (!ap4d_observe(b, mode, b_filters, static_cast<uint16_t>(label + AP4D_COMPANION_LABEL_OFFSET), job,
                      reference_index, job.parts[1]))
      return nullptr;
  }
  if (!ap4d_observe(a, mode, filters, label, job, reference_index, job.parts[0])) return nullptr;
  return per_column ? ap4a_New(AP4_CLASS_ID, 1, job.statistics, nullptr)
                    : ap4a_New(AP4_CLASS_ID, job.statistics, 1, nullptr);
}

// The mean of the values that statistic j takes in, 0 when it takes none.
float ap4d_mean(ap4d_job& job, uint32_t j, int32_t& count) {
  float sum = 0.0f;
  count = 0;
  for (uint32_t p = 0; p < job.part_count; ++p) {
    ap4d_view& view = job.parts[p];
    for (uint32_t k = 0; k < view.observed.size(); ++k) {
      const float value = view.at(j, k);
      if (!view.observed[k] || job.protected_value(value)) continue;
      sum += value;
      ++count;
    }
  }
  return count > 0 ? sum / static_cast<float>(count) : 0.0f;
}

// Applies f to every value of statistic j that is not protected, in A and
// then in B, each inside its own change bracket; false when a change cannot
// begin.
template <typename F>
bool ap4d_change(ap4d_job& job, uint32_t j, F f) {
  for (uint32_t p = 0; p < job.part_count; ++p) {
    ap4d_view& view = job.parts[p];
    ap4a_change_bracket bracket(view.array);
    if (!bracket.begun()) return false;
    for (uint32_t k = 0; k < view.observed.size(); ++k) {
      float& value = view.at(j, k);
      if (!job.protected_value(value)) value = f(value);
    }
  }
  return true;
}

// The row of a one-row range, whose cells are resolved in place; null for
// an invalid range or one of more rows.
const float* ap4d_one_row(const AP4_ARRAY* array, AP4_CELL& start, AP4_CELL& end) {
  const AP4_CELL extent = ap4c_ClampCellRange(array, &start, &end);
  const float* values = ap4a_GetDataAddress(array);
  if (extent.row != 1 || values == nullptr) return nullptr;
  return values + static_cast<uint32_t>(start.row) * array->columns;
}

// Moves first and last inward past missing values; true when both then
// stand on valid values with first ≤ last.
bool ap4d_trim(const float* row, int32_t& first, int32_t& last) {
  while (first <= last) {
    bool moved = false;
    if (ap1_is_missing(row[first])) {
      ++first;
      moved = true;
    }
    if (first <= last && ap1_is_missing(row[last])) {
      --last;
      moved = true;
    }
    if (!moved) break;
  }
  return first <= last;
}

bool ap4d_writable(const float* address) { return !IsBadWritePtr(const_cast<float*>(address), sizeof *address); }

}  // namespace

AP4_ARRAY* ap4d_CenterRange(AP4_ARRAY* a, uint16_t mode, AP4D_FILTERS filters, uint16_t label, AP4_ARRAY* b,
                            AP4D_FILTERS b_filters, uint16_t exclude, float exclusion, uint16_t reference_index) {
  ap4d_job job{};
  ap4a_new_array means(ap4d_prepare(a, mode, filters, label, b, b_filters, exclude, exclusion, reference_index, job));
  float* out = ap4a_GetDataAddress(means.get());
  if (out == nullptr) return nullptr;
  for (uint32_t j = 0; j < job.statistics; ++j) {
    int32_t count = 0;
    const float mean = ap4d_mean(job, j, count);
    out[j] = mean;
    if (!ap4d_change(job, j, [mean](float value) { return value - mean; })) return nullptr;
  }
  return means.release();
}

AP4_ARRAY* ap4d_ScaleRange(AP4_ARRAY* a, uint16_t mode, AP4D_FILTERS filters, uint16_t label, uint16_t kind,
                           AP4_ARRAY* b, AP4D_FILTERS b_filters, uint16_t exclude, float exclusion,
                           uint16_t reference_index) {
  ap4d_job job{};
  ap4a_new_array divisors(
      ap4d_prepare(a, mode, filters, label, b, b_filters, exclude, exclusion, reference_index, job));
  float* out = ap4a_GetDataAddress(divisors.get());
  if (out == nullptr) return nullptr;
  for (uint32_t j = 0; j < job.statistics; ++j) {
    int32_t count = 0;
    const float mean = ap4d_mean(job, j, count);
    float ss = 0.0f;
    for (uint32_t p = 0; p < job.part_count; ++p) {
      ap4d_view& view = job.parts[p];
      for (uint32_t k = 0; k < view.observed.size(); ++k) {
        const float value = view.at(j, k);
        if (!view.observed[k] || job.protected_value(value)) continue;
        const float deviation = value - mean;
        ss += deviation * deviation;
      }
    }
    float s = count > 1 ? std::sqrt(ss / static_cast<float>(count - 1)) : 1.0f;
    if (kind == AP4D_SCALE_ROOT_DEVIATION) s = std::sqrt(s);
    if (AP1_KovFloatCompareSG_MATH(s, 0.0f)) {
      s = 1.0f;
    } else if (!ap4d_change(job, j, [s](float value) { return value / s; })) {
      return nullptr;
    }
    out[j] = s;
  }
  return divisors.release();
}

int32_t ap4d_TrimNaNEnds(const AP4_ARRAY* array, AP4_CELL* start, AP4_CELL* end, float* first, float* last) {
  if (!ap4d_writable(first) || !ap4d_writable(last) || IsBadWritePtr(start, sizeof *start) ||
      IsBadWritePtr(end, sizeof *end))
    return 0;
  *first = AP1_GetNaNSG_MATH();
  *last = AP1_GetNaNSG_MATH();
  AP4_CELL from = *start;
  AP4_CELL to = *end;
  const float* row = ap4d_one_row(array, from, to);
  if (row == nullptr || !ap4d_trim(row, from.column, to.column)) return 0;
  *start = from;
  *end = to;
  *first = row[from.column];
  *last = row[to.column];
  return to.column - from.column + 1;
}

int16_t ap4d_RangeArea(const AP4_ARRAY* array, AP4_CELL start, AP4_CELL end, AP4_CELL baseline_start,
                       AP4_CELL baseline_end, uint16_t direction, float level, float* area_level,
                       float* area_baseline) {
  if (!ap4d_writable(area_level) || !ap4d_writable(area_baseline)) return 0;
  *area_level = 0.0f;
  *area_baseline = 0.0f;
  const float* baseline = ap4d_one_row(array, baseline_start, baseline_end);
  const float* row = ap4d_one_row(array, start, end);
  int32_t& b1 = baseline_start.column;
  int32_t& b2 = baseline_end.column;
  int32_t& xa = start.column;
  int32_t& xb = end.column;
  if (baseline == nullptr || row == nullptr || !ap4d_trim(baseline, b1, b2) || !ap4d_trim(row, xa, xb)) return 0;
  const double y1 = baseline[b1];
  const double slope = b1 == b2 ? 0.0 : (baseline[b2] - y1) / (b2 - b1);
  const auto line = [&](int32_t x) { return y1 + (x - b1) * slope; };
  double above_level = row[xa] - static_cast<double>(level);
  double above_line = row[xa] - line(xa);
  if (xa < xb) {
    double sum_y = 0.0;
    double sum_level = 0.0;
    double sum_line = 0.0;
    for (int32_t x = xa; x <= xb; ++x) {
      if (ap1_is_missing(row[x])) continue;
      const double w = x == xa || x == xb ? 0.5 : 1.0;
      sum_y += w * row[x];
      sum_level += w * level;
      sum_line += w * line(x);
    }
    above_level = sum_y - sum_level;
    above_line = sum_y - sum_line;
  }
  const double sign = direction == AP1_PEAKS_DOWN ? -1.0 : 1.0;
  *area_level = static_cast<float>(sign * above_level);
  *area_baseline = static_cast<float>(sign * above_line);
  return 1;
}

// The line is the one the areas measure from: through the ends of the
// trimmed baseline, held level beyond them.
AP4_ARRAY* ap4d_SubtractLinearBaseline(const AP4_ARRAY* array, AP4_CELL start, AP4_CELL end, AP4_CELL baseline_start,
                                       AP4_CELL baseline_end, uint16_t mode) {
  const float* baseline = ap4d_one_row(array, baseline_start, baseline_end);
  const float* row = ap4d_one_row(array, start, end);
  int32_t& b1 = baseline_start.column;
  int32_t& b2 = baseline_end.column;
  if (baseline == nullptr || row == nullptr || !ap4d_trim(baseline, b1, b2)) return nullptr;
  const AP4_RANGE range{start, end};
  const bool add = mode == AP1_PEAKS_DOWN;
  if (b1 == b2) {
    ap4a_new_array copy(ap4a_ExtractRange(array, range));
    if (copy.get() == nullptr) return nullptr;
    const uint16_t done = add ? ap4a_AddScalar(copy.get(), AP4_WHOLE_RANGE, baseline[b1])
                              : ap4a_SubtractScalar(copy.get(), AP4_WHOLE_RANGE, baseline[b1]);
    return done ? copy.release() : nullptr;
  }
  AP9_DATAPAIR* pairs = ap9_New(AP9_CLASS_ID, 2, nullptr);
  if (pairs == nullptr) return nullptr;
  ap9_SetPair(pairs, 0, 0, static_cast<float>(b1), baseline[b1]);
  ap9_SetPair(pairs, 1, 0, static_cast<float>(b2), baseline[b2]);
  ap4a_new_array curve(ap9_Interpolate(pairs, static_cast<float>(start.column), static_cast<float>(end.column),
                                       end.column - start.column + 1, 0));
  ap9_Destroy(pairs, nullptr);
  if (curve.get() == nullptr) return nullptr;
  return add ? ap4a_AddArrays(array, range, curve.get(), AP4_WHOLE_RANGE)
             : ap4a_SubtractArrays(array, range, curve.get(), AP4_WHOLE_RANGE);
}

uint16_t ap4d_LinearRegression(const AP4_ARRAY* y, const AP4_ARRAY* x, int32_t n, float* intercept, float* slope,
                               float* error1, float* error2) {
  bool writable = true;
  for (float* output : {intercept, slope, error1, error2}) {
    if (ap4d_writable(output))
      *output = 0.0f;
    else
      writable = false;
  }
  if (!writable || !ap4a_is_array(y) || !ap4a_is_array(x) || n < 2) return 0;
  const auto count_asked = static_cast<uint64_t>(n);
  if (count_asked > uint64_t{y->rows} * y->columns || count_asked > uint64_t{x->rows} * x->columns) return 0;
  const float* yv = ap4a_GetDataAddress(y);
  const float* xv = ap4a_GetDataAddress(x);
  if (yv == nullptr || xv == nullptr) return 0;
  const auto pair = [&](int32_t i) { return !ap1_is_missing(xv[i]) && !ap1_is_missing(yv[i]); };
  float sum_x = 0.0f;
  float sum_y = 0.0f;
  int32_t count = 0;
  for (int32_t i = 0; i < n; ++i) {
    if (!pair(i)) continue;
    sum_x += xv[i];
    sum_y += yv[i];
    ++count;
  }
  if (count < 2) return 0;
  const float mx = sum_x / static_cast<float>(count);
  const float my = sum_y / static_cast<float>(count);
  float sxx = 0.0f;
  float sxy = 0.0f;
  float syy = 0.0f;
  for (int32_t i = 0; i < n; ++i) {
    if (!pair(i)) continue;
    const float dx = xv[i] - mx;
    const float dy = yv[i] - my;
    sxx += dx * dx;
    sxy += dx * dy;
    syy += dy * dy;
  }
  if (AP1_KovFloatCompareSG_MATH(sxx, 0.0f)) return 0;
  const float b = sxy / sxx;
  const float a = my - b * mx;
  // The residual sum of squares of the line, per point.
  const float v = (b * b * sxx + syy - 2.0f * b * sxy) / static_cast<float>(count);
  *intercept = a;
  *slope = b;
  *error1 = AP1_SquareRoot_MATH(std::max(0.0f, v / static_cast<float>(count)));
  *error2 = AP1_SquareRoot_MATH(std::max(0.0f, v / sxx));
  return 1;
}
